#include "diskfacts/linux_disk_facts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/image_formats.h"
#include "support/test_support.h"

namespace tessaly::diskfacts {
namespace {

namespace fs = std::filesystem;

// A block device folder in a fake sysfs tree, at its place in the device tree.
std::string sysfsDisk(const test::TempDir& root, const std::string& place, const char* size,
                      const char* removable, const char* model = nullptr,
                      const char* type = nullptr) {
  fs::path block = fs::path(root.path()) / "devices" / place;
  fs::create_directories(block / "device");
  std::ofstream(block / "size") << size << '\n';
  std::ofstream(block / "removable") << removable << '\n';
  if (model) std::ofstream(block / "device" / "model") << model << '\n';
  if (type) std::ofstream(block / "device" / "type") << type << '\n';
  return block.string();
}

TEST(SysfsFacts, SizeRemovableModelAndBus) {
  test::TempDir sys;
  std::string stick =
      sysfsDisk(sys, "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
                "31277056", "1", "Cruzer Blade    ", "0");
  fs::create_directories(sys.file("dev/block"));
  fs::create_directory_symlink(stick, sys.file("dev/block/8:16"));  // as /sys/dev/block links

  LinuxDiskFacts f;
  ASSERT_EQ(readSysfsFacts(sys.file("dev/block/8:16"), f), SysfsAnswer::Disk);
  EXPECT_EQ(f.bytes, 31277056ull * 512);
  EXPECT_TRUE(f.removable);
  EXPECT_EQ(f.model, "Cruzer Blade    ");
  EXPECT_EQ(f.bus, "usb");  // the USB transport, not the SCSI host beneath it

  // A partition: its own size, its disk's model and removable bit.
  fs::create_directory(stick + "/sdb1");
  std::ofstream(stick + "/sdb1/size") << "2048\n";
  std::ofstream(stick + "/sdb1/partition") << "1\n";
  LinuxDiskFacts part;
  ASSERT_EQ(readSysfsFacts(stick + "/sdb1", part), SysfsAnswer::Disk);
  EXPECT_EQ(part.bytes, 2048u * 512);
  EXPECT_EQ(part.model, "Cruzer Blade    ");
  EXPECT_TRUE(part.removable);

  for (auto [place, bus] : std::initializer_list<std::pair<const char*, const char*>>{
           {"pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda", "ata"},
           {"pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "nvme"},
           {"pci0000:00/0000:00:02.0/virtio1/block/vda", "virtio"},
           {"pci0000:00/0000:00:01.0/host2/target2:0:0/2:0:0:0/block/sdc", "scsi"},
           {"virtual/block/loop0", ""}}) {
    LinuxDiskFacts other;
    ASSERT_EQ(readSysfsFacts(sysfsDisk(sys, place, "8", "0"), other), SysfsAnswer::Disk);
    EXPECT_EQ(other.bus, bus) << place;
  }

  EXPECT_EQ(readSysfsFacts(sysfsDisk(sys, "host1/block/sr0", "9", "1", "DVD", "5"), f),
            SysfsAnswer::NotADisk);
  EXPECT_EQ(readSysfsFacts(sys.file("dev/block/9:9"), f), SysfsAnswer::Unreadable);
}

TEST(GatherDiskFacts, ImageFilesAreMeasuredAndOtherPathsAreNoDrives) {
  test::TempDir dir;
  std::ofstream(dir.file("disk.img")).close();
  fs::resize_file(dir.file("disk.img"), 5u << 20);
  auto facts = gatherDiskFacts(7, dir.file("disk.img"));
  ASSERT_TRUE(facts);
  EXPECT_TRUE(facts->imageFile);
  EXPECT_EQ(facts->slot, 7u);
  EXPECT_EQ(facts->bytes, 5u << 20);
  // A container image measures as the disk inside it, not as the file.
  test::run("qemu-img create -q -f qcow2 '" + dir.file("disk.qcow2") + "' 7M");
  if (platform::imageFormatAvailable(platform::ImageFormat::Qcow)) {
    EXPECT_EQ(gatherDiskFacts(1, dir.file("disk.qcow2"))->bytes, 7u << 20);
  }
  EXPECT_FALSE(gatherDiskFacts(0, dir.file("missing.img")));
  EXPECT_FALSE(gatherDiskFacts(0, dir.path()));
  EXPECT_FALSE(gatherDiskFacts(0, "/dev/null"));
}

}  // namespace
}  // namespace tessaly::diskfacts

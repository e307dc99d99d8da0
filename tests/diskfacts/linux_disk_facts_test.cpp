#include "diskfacts/linux_disk_facts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "diskfacts/disk_facts_key.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace tessaly::diskfacts {
namespace {

namespace fs = std::filesystem;

// A sysfs tree in a temporary folder: block device folders at their places in the
// device tree, with the attributes the helper reads.
struct FakeSysfs {
  test::TempDir dir;

  std::string disk(const std::string& place, const std::string& size, const std::string& removable,
                   std::optional<std::string> model = std::nullopt,
                   std::optional<std::string> type = std::nullopt) {
    fs::path block = fs::path(dir.path()) / "devices" / place;
    fs::create_directories(block / "device");
    std::ofstream(block / "size") << size << '\n';
    std::ofstream(block / "removable") << removable << '\n';
    if (model) std::ofstream(block / "device" / "model") << *model << '\n';
    if (type) std::ofstream(block / "device" / "type") << *type << '\n';
    return block.string();
  }
};

TEST(SysfsFacts, AUsbStickBehindItsScsiHost) {
  FakeSysfs sys;
  std::string block =
      sys.disk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
               "31277056", "1", "Cruzer Blade    ", "0");
  // Reached through a link, as /sys/dev/block/MAJOR:MINOR is.
  fs::create_directories(sys.dir.file("dev/block"));
  fs::create_directory_symlink(block, sys.dir.file("dev/block/8:16"));

  LinuxDiskFacts f;
  ASSERT_EQ(readSysfsFacts(sys.dir.file("dev/block/8:16"), f), SysfsAnswer::Disk);
  EXPECT_EQ(f.bytes, 31277056ull * 512);
  EXPECT_TRUE(f.removable);
  EXPECT_EQ(f.model, "Cruzer Blade    ");
  EXPECT_EQ(f.bus, "usb");
}

TEST(SysfsFacts, BusesFromThePlaceInTheDeviceTree) {
  FakeSysfs sys;
  struct Case {
    const char* place;
    const char* bus;
  } cases[] = {
      {"pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda", "ata"},
      {"pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "nvme"},
      {"pci0000:00/0000:00:02.0/virtio1/block/vda", "virtio"},
      {"pci0000:00/0000:00:01.0/host2/target2:0:0/2:0:0:0/block/sdc", "scsi"},
      {"platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", "mmc"},
      {"vbd-51712/block/xvda", "xen"},
      {"virtual/block/loop0", ""},
  };
  for (const auto& c : cases) {
    LinuxDiskFacts f;
    ASSERT_EQ(readSysfsFacts(sys.disk(c.place, "2048", "0"), f), SysfsAnswer::Disk) << c.place;
    EXPECT_EQ(f.bus, c.bus) << c.place;
    EXPECT_EQ(f.model, "");  // no model attribute there
    EXPECT_FALSE(f.removable);
  }
}

TEST(SysfsFacts, APartitionTakesModelAndRemovableFromItsDisk) {
  FakeSysfs sys;
  std::string disk = sys.disk("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host7/block/sdd", "7821312",
                              "1", "Flash Disk");
  fs::create_directory(disk + "/sdd1");
  std::ofstream(disk + "/sdd1/size") << "7819264\n";
  std::ofstream(disk + "/sdd1/partition") << "1\n";

  LinuxDiskFacts f;
  ASSERT_EQ(readSysfsFacts(disk + "/sdd1", f), SysfsAnswer::Disk);
  EXPECT_EQ(f.bytes, 7819264ull * 512);
  EXPECT_TRUE(f.removable);
  EXPECT_EQ(f.model, "Flash Disk");
  EXPECT_EQ(f.bus, "usb");
}

TEST(SysfsFacts, OtherScsiDevicesAndMissingFoldersAreNoDisks) {
  FakeSysfs sys;
  LinuxDiskFacts f;
  EXPECT_EQ(readSysfsFacts(sys.disk("host1/block/sr0", "2097151", "1", "DVD-RW", "5"), f),
            SysfsAnswer::NotADisk);
  EXPECT_EQ(readSysfsFacts(sys.disk("host1/block/sde", "100", "0", "MO", "7"), f),
            SysfsAnswer::Disk);
  EXPECT_EQ(readSysfsFacts(sys.dir.file("dev/block/9:9"), f), SysfsAnswer::Unreadable);
}

TEST(GatherDiskFacts, ImageFilesAreMeasuredAndOtherPathsAreNoDrives) {
  test::TempDir dir;
  std::string image = dir.file("disk.img");
  std::ofstream(image).close();
  fs::resize_file(image, 5u << 20);
  auto facts = gatherDiskFacts(7, image);
  ASSERT_TRUE(facts);
  EXPECT_TRUE(facts->imageFile);
  EXPECT_EQ(facts->slot, 7u);
  EXPECT_EQ(facts->bytes, 5u << 20);

  EXPECT_FALSE(gatherDiskFacts(0, dir.file("missing.img")));
  EXPECT_FALSE(gatherDiskFacts(0, dir.path()));   // a folder
  EXPECT_FALSE(gatherDiskFacts(0, "/dev/null"));  // a character device
}

// The helper as the main program starts it: the registry folder, then the device table.
TEST(DiskfactsProgram, DescribesTheNamedSlotsAndSkipsEmptyOnes) {
  test::TempDir dir;
  platform::Registry registry(dir.file("registry"));
  for (const char* key : {kDiskFactsKey, kCylinderKey, kHeadKey, kSectorsPerTrackKey, kSizeKey,
                          kModelKey, kMediaTypeKey})
    ASSERT_TRUE(registry.createKey(key));
  for (const char* name : {"a.img", "c.img"}) {
    std::ofstream(dir.file(name)).close();
    fs::resize_file(dir.file(name), 80026361856);  // sparse
  }

  test::run("'" + test::stageDir() + "/diskfacts' --registry '" + registry.folder() + "' -- '" +
            dir.file("a.img") + "' '" + dir.file("b.img") + "' '" + dir.file("c.img") + "'");
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Disk0", "Disk2"}));
  EXPECT_EQ(registry.value(kDiskFactsKey, "Disk2"), "HDD");
  EXPECT_EQ(registry.value(kSizeKey, "Disk2"), "80026361856");
  EXPECT_EQ(registry.value(kModelKey, "Disk0"), "Disk image");
  EXPECT_EQ(registry.value(kMediaTypeKey, "Disk0"), "Fixed hard disk media");
  EXPECT_EQ(registry.value(kHeadKey, "Disk0"), "255");
  EXPECT_EQ(registry.value(kCylinderKey, "Disk0"), "9729");
  EXPECT_EQ(registry.value(kSectorsPerTrackKey, "Disk0"), "63");
  EXPECT_EQ(registry.value(kSizeKey, "Disk1"), std::nullopt);
}

}  // namespace
}  // namespace tessaly::diskfacts

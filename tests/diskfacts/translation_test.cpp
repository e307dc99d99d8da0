// The helper's two pure steps: Linux facts -> drive property texts -> disk-facts values.
#include <gtest/gtest.h>

#include <map>

#include "diskfacts/disk_facts_key.h"
#include "diskfacts/drive_properties.h"
#include "diskfacts/geometry_probe.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace tessaly::diskfacts {
namespace {

LinuxDiskFacts drive(std::string bus, std::uint64_t bytes, bool removable = false,
                     std::string model = "") {
  LinuxDiskFacts f;
  f.slot = 1;
  f.bus = std::move(bus);
  f.bytes = bytes;
  f.removable = removable;
  f.model = std::move(model);
  return f;
}

// What stays in the disk-facts key; "kinds" joins every kind written, in order.
std::map<std::string, std::string> written(const DriveProperties& p) {
  std::map<std::string, std::string> out;
  for (const auto& v : probeValues(p)) {
    out[v.key] = v.value;
    if (v.key == kDiskFactsKey) out["kinds"] += v.value + " ";
  }
  return out;
}
std::map<std::string, std::string> written(const LinuxDiskFacts& f) {
  return written(describeDrive(f));
}

TEST(DescribeDrive, ImageFilesAndBlockDevices) {
  LinuxDiskFacts image;
  image.slot = 4;
  image.imageFile = true;
  image.bytes = 1073741824;
  image.heads = 16;  // an image has no geometry of its own
  auto p = describeDrive(image);
  EXPECT_EQ(p.index, "4");
  EXPECT_EQ(p.model, "Disk image");
  EXPECT_EQ(p.mediaType, "Fixed hard disk media");
  EXPECT_EQ(p.size, "1073741824");
  EXPECT_EQ(p.totalHeads + "/" + p.sectorsPerTrack + "/" + p.totalCylinders, "255/63/130");

  auto disk = drive("ata", 80026361856, false, "ST380011A       ");
  disk.heads = 16;
  disk.sectorsPerTrack = 63;
  p = describeDrive(disk);
  EXPECT_EQ(p.interfaceType, "IDE");
  EXPECT_EQ(p.model, "ST380011A");
  EXPECT_EQ(p.totalHeads + "/" + p.sectorsPerTrack + "/" + p.totalCylinders, "16/63/155061");
  disk.heads = disk.sectorsPerTrack = 0;  // HDIO_GETGEO gave nothing
  p = describeDrive(disk);
  EXPECT_EQ(p.totalHeads + "/" + p.sectorsPerTrack + "/" + p.totalCylinders, "255/63/9729");

  EXPECT_EQ(describeDrive(drive("usb", 1)).interfaceType, "USB");
  EXPECT_EQ(describeDrive(drive("ieee1394", 1)).interfaceType, "1394");
  for (const char* bus : {"nvme", "virtio", "scsi", "xen", "mmc"})
    EXPECT_EQ(describeDrive(drive(bus, 1)).interfaceType, "SCSI") << bus;
  EXPECT_EQ(describeDrive(drive("", 1)).interfaceType, "");
}

TEST(ProbeRules, KindsOfLinuxDrives) {
  auto nvme = written(drive("nvme", 512110190592));
  EXPECT_EQ(nvme["kinds"], "HDD ");
  EXPECT_EQ(nvme[kSizeKey], "512110190592");

  auto stick = written(drive("usb", 16013942784, true));
  EXPECT_EQ(stick[kMediaTypeKey], "Removable media other than floppy");
  EXPECT_EQ(stick["kinds"], "ZIP ");

  // External media is stored as fixed hard disk media, and is a hard disk.
  auto external = written(drive("usb", 1000204886016));
  EXPECT_EQ(external[kMediaTypeKey], "Fixed hard disk media");
  EXPECT_EQ(external["kinds"], "HDD ");

  // A "UFD USB Device" behind a SCSI interface: the later rule wins.
  EXPECT_EQ(written(drive("scsi", 4009754624, true, "UFD USB Device"))["kinds"], "UFD HDD ");
  EXPECT_EQ(written(drive("usb", 4009754624, true, "UFD USB Device"))["kinds"], "UFD ");
  EXPECT_EQ(written(drive("scsi", 100663296, true))["kinds"], "HDD ZIP ");

  // An empty card-reader slot: the not-inserted model and an empty kind, nothing else.
  auto slot = written(drive("usb", 0, true, "SD/MMC"));
  EXPECT_EQ(slot,
            (std::map<std::string, std::string>{{kModelKey, " ( Disk is not inserted properly ) "},
                                                {kDiskFactsKey, ""},
                                                {"kinds", " "}}));
}

TEST(ProbeRules, MediaTypesNoLinuxDriveReports) {
  DriveProperties p = describeDrive(drive("ata", 80026361856, false, "ST380011A"));
  EXPECT_EQ(probeValues(p), (std::vector<FactValue>{{kDiskFactsKey, "HDD"},
                                                    {kMediaTypeKey, "Fixed hard disk media"},
                                                    {kSizeKey, "80026361856"},
                                                    {kModelKey, "ST380011A"},
                                                    {kHeadKey, "255"},
                                                    {kCylinderKey, "9729"},
                                                    {kSectorsPerTrackKey, "63"}}));

  p.mediaType = "Removable media";  // not "other than floppy": no kind, facts still written
  auto values = written(p);
  EXPECT_EQ(values.count("kinds"), 0u);
  EXPECT_EQ(values[kMediaTypeKey], "Removable media");
  EXPECT_EQ(values[kCylinderKey], "9729");

  p.mediaType = "hard disk media";
  EXPECT_EQ(written(p)[kMediaTypeKey], "Fixed hard disk media");
  p.mediaType = "External Hard Disk Media";  // comparisons are case-sensitive
  EXPECT_EQ(written(p)[kMediaTypeKey], "External Hard Disk Media");
  EXPECT_EQ(written(p).count("kinds"), 0u);
}

TEST(ProbeRules, AKeyThatDoesNotExistLosesOnlyItsValue) {
  test::TempDir dir;
  platform::Registry registry(dir.file("registry"));
  for (const char* key : {kDiskFactsKey, kSizeKey, kModelKey, kMediaTypeKey, kCylinderKey})
    ASSERT_TRUE(registry.createKey(key));  // no Head, no SectorsPerTrack
  writeProbeValues(registry, describeDrive(drive("scsi", 100663296, true)));
  EXPECT_EQ(registry.value(kDiskFactsKey, "Disk1"), "ZIP");
  EXPECT_EQ(registry.value(kCylinderKey, "Disk1"), "12");
  EXPECT_FALSE(registry.keyExists(kHeadKey));
}

}  // namespace
}  // namespace tessaly::diskfacts

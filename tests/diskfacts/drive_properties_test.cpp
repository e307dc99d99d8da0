#include "diskfacts/drive_properties.h"

#include <gtest/gtest.h>

#include <map>

#include "diskfacts/disk_facts_key.h"
#include "diskfacts/geometry_probe.h"

namespace tessaly::diskfacts {
namespace {

LinuxDiskFacts blockDevice(std::string bus, std::uint64_t bytes, bool removable = false) {
  LinuxDiskFacts f;
  f.slot = 1;
  f.bus = std::move(bus);
  f.bytes = bytes;
  f.removable = removable;
  return f;
}

// What the helper leaves in the disk-facts key for these facts, value by value.
std::map<std::string, std::string> written(const LinuxDiskFacts& facts) {
  std::map<std::string, std::string> out;
  for (const auto& v : probeValues(describeDrive(facts))) out[v.key] = v.value;
  return out;
}

TEST(DescribeDrive, AnImageFileIsAFixedDiskOf255HeadsAnd63Sectors) {
  LinuxDiskFacts f;
  f.slot = 4;
  f.imageFile = true;
  f.bytes = 1073741824;
  f.model = "ignored";
  f.heads = 16;  // an image has no geometry of its own
  f.sectorsPerTrack = 32;
  auto p = describeDrive(f);
  EXPECT_EQ(p.index, "4");
  EXPECT_EQ(p.mediaType, "Fixed hard disk media");
  EXPECT_EQ(p.model, "Disk image");
  EXPECT_EQ(p.size, "1073741824");
  EXPECT_EQ(p.totalHeads, "255");
  EXPECT_EQ(p.sectorsPerTrack, "63");
  EXPECT_EQ(p.totalCylinders, "130");  // 130 whole cylinders of 8225280 bytes fit
  EXPECT_EQ(written(f)[kDiskFactsKey], "HDD");
}

TEST(DescribeDrive, ABlockDeviceUsesItsGeometryAndAnUnpaddedModel) {
  auto f = blockDevice("ata", 80026361856);
  f.model = "ST380011A       ";
  f.heads = 16;
  f.sectorsPerTrack = 63;
  auto p = describeDrive(f);
  EXPECT_EQ(p.interfaceType, "IDE");
  EXPECT_EQ(p.model, "ST380011A");
  EXPECT_EQ(p.totalHeads, "16");
  EXPECT_EQ(p.totalCylinders, "155061");  // 80026361856 / (16 * 63 * 512), rounded down
  EXPECT_EQ(p.size, "80026361856");

  f.heads = 0;  // no answer from HDIO_GETGEO
  f.sectorsPerTrack = 0;
  p = describeDrive(f);
  EXPECT_EQ(p.totalHeads, "255");
  EXPECT_EQ(p.sectorsPerTrack, "63");
  EXPECT_EQ(p.totalCylinders, "9729");
}

TEST(DescribeDrive, BusesBecomeInterfaceTypes) {
  EXPECT_EQ(describeDrive(blockDevice("usb", 1)).interfaceType, "USB");
  EXPECT_EQ(describeDrive(blockDevice("ieee1394", 1)).interfaceType, "1394");
  for (const char* bus : {"nvme", "virtio", "scsi", "xen", "mmc"})
    EXPECT_EQ(describeDrive(blockDevice(bus, 1)).interfaceType, "SCSI") << bus;
  EXPECT_EQ(describeDrive(blockDevice("", 1)).interfaceType, "");
}

TEST(DescribeDrive, KindsOfLinuxDrivesThroughTheProbeRules) {
  // A fixed disk on an ATA, NVMe or virtio bus is a hard disk.
  EXPECT_EQ(written(blockDevice("nvme", 512110190592))[kDiskFactsKey], "HDD");

  // A USB stick with its removable bit set is a removable disk.
  auto stick = written(blockDevice("usb", 16013942784, true));
  EXPECT_EQ(stick[kMediaTypeKey], "Removable media other than floppy");
  EXPECT_EQ(stick[kDiskFactsKey], "ZIP");

  // A USB hard disk reports external media, which is stored as a fixed hard disk.
  auto external = written(blockDevice("usb", 1000204886016));
  EXPECT_EQ(external[kMediaTypeKey], "Fixed hard disk media");
  EXPECT_EQ(external[kDiskFactsKey], "HDD");

  // A stick whose model reads "UFD USB Device" behind a SCSI host ends as a hard disk.
  auto ufd = blockDevice("scsi", 4009754624, true);
  ufd.model = "UFD USB Device";
  EXPECT_EQ(written(ufd)[kDiskFactsKey], "HDD");

  // An empty card-reader slot: facts written, but an empty kind, so it is not listed.
  auto slot = written(blockDevice("usb", 0, true));
  EXPECT_EQ(slot[kModelKey], " ( Disk is not inserted properly ) ");
  EXPECT_EQ(slot[kDiskFactsKey], "");
  EXPECT_EQ(slot.count(kSizeKey), 0u);
}

}  // namespace
}  // namespace tessaly::diskfacts

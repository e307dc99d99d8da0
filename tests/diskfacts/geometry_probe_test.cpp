#include "diskfacts/geometry_probe.h"

#include <gtest/gtest.h>

#include "diskfacts/disk_facts_key.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace tessaly::diskfacts {
namespace {

DriveProperties fixedDisk() {
  DriveProperties d;
  d.index = "0";
  d.interfaceType = "IDE";
  d.mediaType = kFixedHardDiskMedia;
  d.size = "80026361856";
  d.model = "ST380011A";
  d.totalHeads = "255";
  d.totalCylinders = "9729";
  d.sectorsPerTrack = "63";
  return d;
}

// The kind values written, in order (the last one is what stays in the key).
std::vector<std::string> kinds(const std::vector<FactValue>& values) {
  std::vector<std::string> out;
  for (const auto& v : values)
    if (v.key == kDiskFactsKey) out.push_back(v.value);
  return out;
}

std::string valueOf(const std::vector<FactValue>& values, const std::string& key) {
  std::string out = "<unset>";
  for (const auto& v : values)
    if (v.key == key) out = v.value;
  return out;
}

TEST(GeometryProbe, AFixedDiskGetsItsKindThenSixFactsInOrder) {
  EXPECT_EQ(probeValues(fixedDisk()), (std::vector<FactValue>{{kDiskFactsKey, "HDD"},
                                                              {kMediaTypeKey, kFixedHardDiskMedia},
                                                              {kSizeKey, "80026361856"},
                                                              {kModelKey, "ST380011A"},
                                                              {kHeadKey, "255"},
                                                              {kCylinderKey, "9729"},
                                                              {kSectorsPerTrackKey, "63"}}));
}

TEST(GeometryProbe, LaterKindRulesReplaceEarlierOnes) {
  auto stick = fixedDisk();
  stick.model = kUfdModel;
  stick.mediaType = kRemovableMediaOtherThanFloppy;
  stick.interfaceType = "USB";
  EXPECT_EQ(kinds(probeValues(stick)), (std::vector<std::string>{"UFD"}));

  stick.interfaceType = "SCSI";  // the same stick behind a SCSI interface ends as a hard disk
  EXPECT_EQ(kinds(probeValues(stick)), (std::vector<std::string>{"UFD", "HDD"}));

  auto zip = fixedDisk();
  zip.mediaType = kRemovableMediaOtherThanFloppy;
  zip.interfaceType = "IDE";
  EXPECT_EQ(kinds(probeValues(zip)), (std::vector<std::string>{"ZIP"}));
  zip.interfaceType = "SCSI";  // HDD first, then ZIP wins
  EXPECT_EQ(kinds(probeValues(zip)), (std::vector<std::string>{"HDD", "ZIP"}));

  auto ufdFixed = fixedDisk();
  ufdFixed.model = kUfdModel;  // that model on fixed media is no hard disk
  EXPECT_EQ(kinds(probeValues(ufdFixed)), (std::vector<std::string>{"UFD"}));
}

TEST(GeometryProbe, PlainRemovableMediaGetsNoKindButItsFactsAreWritten) {
  auto drive = fixedDisk();
  drive.mediaType = "Removable media";
  drive.interfaceType = "USB";
  auto values = probeValues(drive);
  EXPECT_TRUE(kinds(values).empty());
  EXPECT_EQ(values.size(), 6u);
  EXPECT_EQ(valueOf(values, kMediaTypeKey), "Removable media");
  EXPECT_EQ(valueOf(values, kModelKey), "ST380011A");
}

TEST(GeometryProbe, OnlyAnExactHardDiskMediaEndingIsNormalised) {
  auto drive = fixedDisk();
  drive.mediaType = "External hard disk media";
  auto values = probeValues(drive);
  EXPECT_EQ(valueOf(values, kMediaTypeKey), kFixedHardDiskMedia);
  EXPECT_EQ(kinds(values), (std::vector<std::string>{"HDD"}));

  drive.mediaType = "hard disk media";
  EXPECT_EQ(valueOf(probeValues(drive), kMediaTypeKey), kFixedHardDiskMedia);

  drive.mediaType = "External Hard Disk Media";  // comparisons are case-sensitive
  values = probeValues(drive);
  EXPECT_EQ(valueOf(values, kMediaTypeKey), "External Hard Disk Media");
  EXPECT_TRUE(kinds(values).empty());

  drive.mediaType = "ard disk media";  // shorter than the ending
  EXPECT_EQ(valueOf(probeValues(drive), kMediaTypeKey), "ard disk media");
}

TEST(GeometryProbe, ADriveWithoutMediaOnlyGetsTheNotInsertedModelAndAnEmptyKind) {
  auto slot = fixedDisk();
  slot.mediaType = "";
  slot.interfaceType = "SCSI";
  EXPECT_EQ(probeValues(slot),
            (std::vector<FactValue>{{kModelKey, kNotInsertedModel}, {kDiskFactsKey, ""}}));
}

TEST(GeometryProbe, WritesIntoExistingKeysAndAMissingKeyLosesOnlyItsValue) {
  test::TempDir dir;
  platform::Registry registry(dir.file("registry"));
  for (const char* key :
       {kDiskFactsKey, kMediaTypeKey, kSizeKey, kModelKey, kCylinderKey, kSectorsPerTrackKey})
    ASSERT_TRUE(registry.createKey(key));  // no Head key

  auto drive = fixedDisk();
  drive.index = "3";
  drive.interfaceType = "SCSI";
  drive.mediaType = kRemovableMediaOtherThanFloppy;
  writeProbeValues(registry, drive);
  EXPECT_EQ(registry.value(kDiskFactsKey, "Disk3"), "ZIP");
  EXPECT_EQ(registry.valueNames(kDiskFactsKey), (std::vector<std::string>{"Disk3"}));
  EXPECT_EQ(registry.value(kSizeKey, "Disk3"), "80026361856");
  EXPECT_EQ(registry.value(kSectorsPerTrackKey, "Disk3"), "63");
  EXPECT_FALSE(registry.keyExists(kHeadKey));
  EXPECT_EQ(registry.value(kHeadKey, "Disk3"), std::nullopt);
}

}  // namespace
}  // namespace tessaly::diskfacts

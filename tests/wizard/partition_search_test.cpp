// The partition page on disks without a usable table: a volume without one offered as
// "Whole disk (FS)", and Search More Partitions on a disk whose table was zeroed.
#include "wizard_fixture.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

bool hasPath(const std::vector<std::string>& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

TEST_F(WizardTest, AVolumeWithoutATableIsOfferedAsTheWholeDiskAndScanned) {
  // A FAT12 stick, which the partition-type list does not offer.
  ASSERT_FALSE(open({imagePath("bare_fat12")}).has_value());
  toPartitionPage();
  EXPECT_EQ(treePaths(wid::kPartitionTree), (std::vector<std::string>{"Disk 0", "Disk 0/Whole disk (FAT12)"}));
  EXPECT_EQ(text(wid::kStartSector), "0");
  EXPECT_EQ(text(wid::kEndSector), "8192");
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(window->wizardPage(), WizardPage::Results);
  EXPECT_EQ(text(wid::kFileSystem), "FAT12");
  EXPECT_EQ(text(wid::kRange), "0 - 8191");
  EXPECT_TRUE(messages().empty());
  const auto paths = treePaths(wid::kFolderTree);
  EXPECT_TRUE(hasPath(paths, "Root/Documents/Old Archive/Deep Folder")) << paths.size();
}

TEST_F(WizardTest, SearchMorePartitionsListsTheVolumesOfAZeroedTableOneSearchAtATime) {
  const std::string image = imagePath("three_volumes");
  auto zeroed = std::make_shared<PatchedDevice>(platform::FileDevice::open(image));
  for (std::size_t b = 446; b < 510; ++b) zeroed->patchByte(0, b, 0);
  // The search waits at the FAT32 volume's boot sector until released.
  auto hold = std::make_shared<HoldingDevice>(zeroed, 43008, 43009);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  EXPECT_EQ(treePaths(wid::kPartitionTree), std::vector<std::string>{"Disk 0"});

  ASSERT_TRUE(click(wid::kSearchMorePartitions));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  EXPECT_TRUE(window->partitionSearchRunning());
  EXPECT_NE(window->onlineHelpText().find("This Disk does not contain any Partition"), std::string::npos);
  EXPECT_TRUE(shown(wid::kPartitionSearchProgress));
  EXPECT_EQ(text(wid::kPartitionSearchText), "Searching Partition...");
  EXPECT_FALSE(enabled(wid::kNext));
  // A second press, Next and Back do nothing while it runs.
  window->command(wid::kSearchMorePartitions);
  window->command(wid::kNext);
  window->command(wid::kBack);
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  hold->release();
  ASSERT_TRUE(pumpUntil([&] { return !window->partitionSearchRunning(); }));
  pump();

  EXPECT_EQ(treePaths(wid::kPartitionTree),
            (std::vector<std::string>{"Disk 0", "Disk 0/Partition - 1 ( FAT16 )", "Disk 0/Partition - 2 ( FAT32 )",
                                      "Disk 0/Partition - 3 ( NTFS )"}));
  EXPECT_EQ(text(wid::kStartSector), "63");
  EXPECT_EQ(text(wid::kEndSector), "41023");
  EXPECT_FALSE(shown(wid::kPartitionSearchProgress));
  EXPECT_TRUE(enabled(wid::kNext) && enabled(wid::kBack) && enabled(wid::kSearchMorePartitions));
  EXPECT_NE(window->onlineHelpText().find("Click on Next Button to recover selected partition"), std::string::npos);
  screenshot("partition-page-after-search");

  // The partition found is scanned like a listed one.
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(text(wid::kRange), "63 - 41022");
  EXPECT_TRUE(hasPath(treePaths(wid::kFolderTree), "Root/Documents/Old Archive/Deep Folder"));
}

TEST_F(WizardTest, CloseDuringAPartitionSearchAsksEndsTheSearchAndLeavesItsReport) {
  const std::string image = imagePath("three_volumes");
  auto zeroed = std::make_shared<PatchedDevice>(platform::FileDevice::open(image));
  for (std::size_t b = 446; b < 510; ++b) zeroed->patchByte(0, b, 0);
  auto hold = std::make_shared<HoldingDevice>(zeroed, 43008, 43009);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kSearchMorePartitions));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));

  // No keeps the search running.
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kCancel));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Do you want to exit from Tessaly?" + std::string(27, ' '));
  EXPECT_TRUE(window->partitionSearchRunning());
  EXPECT_FALSE(terminatedWith.has_value());

  // Yes ends the search (released from its read once asked), reports it and ends the program.
  ReleasingDialogs releasing;
  releasing.hold = hold;
  releasing.messageAnswers = {kIdYes};
  window->session().dialogs = &releasing;
  ASSERT_TRUE(click(wid::kCancel));
  EXPECT_EQ(terminatedWith, 0);
  EXPECT_FALSE(window->partitionSearchRunning());
  const std::vector<std::uint8_t> report = readFile(window->session().dataFolder() + "/LogDetails.txt");
  const std::string text(report.begin(), report.end());
  EXPECT_NE(text.find("Disk Number : 0\r\nModel Number : Disk image\r\nPartition Number : Unknown\r\n"
                      "Partition Type : Unknown\r\nSearch Mode : Quick\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Search Range"), std::string::npos);
}

}  // namespace
}  // namespace tessaly::wizard::test

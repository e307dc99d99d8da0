// The disk page and the partition page: what a click shows, what Next refuses and with
// which message, and where Back leads.
#include "wizard_fixture.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

TEST_F(WizardTest, ADiskShowsItsFactsAndOffersEveryModeTheFloppyOnlyQuick) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  EXPECT_EQ(window->session().selectedDiskName, "Disk0");
  EXPECT_EQ(window->session().selectedDisk, 0);
  const auto rows = window->listRows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front(), "Physical Disk Number : 0");
  // fat_disk has 112640 sectors: 55 MB.
  EXPECT_EQ(rows.back(), "Disk Size  : 55 MB");
  EXPECT_TRUE(enabled(wid::kQuick) && enabled(wid::kAdvanced) && enabled(wid::kRaw));
  EXPECT_EQ(window->stepPicture(), "Step2.bmp");
  EXPECT_NE(window->onlineHelpText().find("   Click on Next Button to Proceed..."), std::string::npos);
  EXPECT_FALSE(enabled(wid::kNext));

  ASSERT_TRUE(clickTree(control::kDiskTree, "1.44\" Floppy"));
  EXPECT_TRUE(window->listRows().empty());
  EXPECT_TRUE(enabled(wid::kQuick));
  EXPECT_FALSE(enabled(wid::kAdvanced));
  EXPECT_FALSE(enabled(wid::kRaw));

  // "My Computer" chooses nothing.
  ASSERT_TRUE(clickTree(control::kDiskTree, "My Computer"));
  EXPECT_EQ(window->session().selectedDiskName, "1.44\" Floppy");

  ASSERT_TRUE(click(wid::kQuick));
  EXPECT_EQ(window->recoveryMode(), kModeQuick);
  EXPECT_TRUE(enabled(wid::kNext));
  EXPECT_NE(window->onlineHelpText().find("   Click Next Button to Proceed..."), std::string::npos);
}

TEST_F(WizardTest, QuickNextOnADiskListsItsPartitionsAndFillsThePageFromTheFirst) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toPartitionPage();
  EXPECT_EQ(treePaths(wid::kPartitionTree),
            (std::vector<std::string>{"Disk 0", "Disk 0/Partition - 1 ( FAT16 )",
                                      "Disk 0/Partition - 2 ( FAT32 )"}));
  EXPECT_EQ(window->stepPicture(), "Step4.bmp");
  EXPECT_TRUE(shown(wid::kPartitionTree));
  EXPECT_FALSE(shown(control::kDiskTree));
  EXPECT_TRUE(enabled(wid::kBack));
  EXPECT_EQ(text(wid::kModeField), "Quick Mode");
  EXPECT_EQ(text(wid::kStartSector), "2048");
  EXPECT_EQ(text(wid::kEndSector), "43008");
  // Quick mode: the range comes from the partition, the type list stays hidden.
  EXPECT_FALSE(shown(wid::kPartitionType));
  EXPECT_FALSE(enabled(wid::kStartSector));
  EXPECT_EQ(window->listRows(),
            (std::vector<std::string>{"Disk Number :0", "Partition Number : 1",
                                      "Partition Type : FAT16", "Search Mode : Quick",
                                      "Start Sector : 2048", "End Sector : 43008"}));

  ASSERT_TRUE(clickTree(wid::kPartitionTree, "Partition - 2 ( FAT32 )"));
  EXPECT_EQ(window->session().partitionSelection.partitionIndex, 1u);
  EXPECT_EQ(text(wid::kStartSector), "43008");
  EXPECT_EQ(text(wid::kEndSector), "112640");
  EXPECT_EQ(window->listRows()[1], "Partition Number : 2");
  EXPECT_EQ(window->listRows()[2], "Partition Type : FAT32");
}

TEST_F(WizardTest, BackFromThePartitionPageReturnsToTheDiskPageWithNoModeChosen) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Disk);
  EXPECT_EQ(window->recoveryMode(), kModeNone);
  EXPECT_EQ(window->focusContext(), 1);
  EXPECT_EQ(window->stepPicture(), "Step1.bmp");
  EXPECT_TRUE(shown(control::kDiskTree));
  EXPECT_FALSE(shown(wid::kPartitionTree));
  EXPECT_FALSE(static_cast<wxRadioButton*>(window->control(wid::kQuick))->GetValue());
  EXPECT_FALSE(enabled(wid::kNext));
  EXPECT_FALSE(menuEnabled(wid::kMenuSaveLog));
  EXPECT_TRUE(menuEnabled(wid::kMenuLoadLog));
}

// Next on the partition page refuses a typed range that the range check refuses, with its
// message, and stays. Which ranges are refused is the range check's (rules_test); Quick
// mode takes the listed partition's range, so the typed range is Advanced mode's.
TEST_F(WizardTest, NextRefusesABadRangeWithItsMessageAndStays) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kAdvanced));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_EQ(window->wizardPage(), WizardPage::Partition);
  static_cast<wxChoice*>(window->control(wid::kPartitionType))->SetSelection(0);
  static_cast<wxTextCtrl*>(window->control(wid::kStartSector))->ChangeValue("100");
  static_cast<wxTextCtrl*>(window->control(wid::kEndSector))->ChangeValue("101");
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "End sector should be bigger than start sector");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  EXPECT_FALSE(window->scanRunning());
}

TEST_F(WizardTest, NextShowsTheChosenRangeInTheSummaryAndTheList) {
  // The scan waits inside its sweep, so the scan page is still up when it is looked at.
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(imagePath("fat_disk")),
                                              10000, 43008);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  EXPECT_EQ(text(wid::kSelectedDisk), "Disk0");
  EXPECT_EQ(text(wid::kRange), "2048 - 43007");
  EXPECT_EQ(text(wid::kFileSystem), "FAT16");
  EXPECT_EQ(text(wid::kSelectedMode), "Quick Mode");
  const auto& sel = window->session().partitionSelection;
  EXPECT_EQ(sel.firstSector, 2048u);
  EXPECT_EQ(sel.lastSector, 43007u);
  EXPECT_EQ(sel.fileSystem, FileSystem::Fat16);
  EXPECT_EQ(sel.searchMode, "Quick Mode");
  EXPECT_EQ(window->listRows(),
            (std::vector<std::string>{"Disk Number : 0", "Partiton Number : 1",
                                      "Partition Type : FAT16", "Search Range : 2048 To 43007",
                                      "Search Mode : Quick Mode"}));
  EXPECT_FALSE(menuEnabled(wid::kMenuSaveLog));
  EXPECT_FALSE(menuEnabled(wid::kMenuLoadLog));
  hold->release();
  ASSERT_TRUE(waitForScan());
}

TEST_F(WizardTest, SearchEntireDiskTakesTheWholeDiskAndUncheckingRestoresThePartition) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toPartitionPage();
  ASSERT_TRUE(click(wid::kSearchEntireDisk));
  EXPECT_TRUE(window->entireDiskSelected());
  EXPECT_EQ(text(wid::kStartSector), "0");
  EXPECT_EQ(text(wid::kEndSector), "112640");
  EXPECT_FALSE(enabled(wid::kSearchMorePartitions));
  EXPECT_FALSE(enabled(wid::kPartitionTree));

  ASSERT_TRUE(click(wid::kSearchEntireDisk));
  EXPECT_FALSE(window->entireDiskSelected());
  EXPECT_EQ(text(wid::kStartSector), "2048");
  EXPECT_EQ(text(wid::kEndSector), "43008");
  EXPECT_TRUE(enabled(wid::kPartitionTree));

  // Checked again, Next scans sectors 0 to the disk's last one.
  ASSERT_TRUE(click(wid::kSearchEntireDisk));
  ASSERT_TRUE(click(wid::kNext));
  EXPECT_EQ(window->session().partitionSelection.firstSector, 0u);
  EXPECT_EQ(window->session().partitionSelection.lastSector, 112639u);
  ASSERT_TRUE(waitForScan());
}

TEST_F(WizardTest, AdvancedOnAnNtfsRangeWithoutNtfsFindsNothingAndLetsTheUserGoBack) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  ASSERT_TRUE(click(wid::kAdvanced));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_EQ(window->wizardPage(), WizardPage::Partition);
  static_cast<wxChoice*>(window->control(wid::kPartitionType))->SetSelection(2);  // NTFS
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  // The FAT disk holds no NTFS record or boot sector.
  EXPECT_EQ(messages(), (std::vector<std::string>{"No file system could be identified"}));
  EXPECT_EQ(window->focusContext(), 4);
  EXPECT_TRUE(enabled(wid::kBack));
  EXPECT_FALSE(enabled(wid::kNext));
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
}

TEST_F(WizardTest, TheFloppyWithoutADisketteStaysOnTheDiskPageWithNothingChosen) {
  ASSERT_FALSE(open({imagePath("fat_disk")}, home.file("no-such-floppy.img")).has_value());
  ASSERT_TRUE(clickTree(control::kDiskTree, "1.44\" Floppy"));
  ASSERT_TRUE(click(wid::kQuick));
  ASSERT_TRUE(click(wid::kNext));
  EXPECT_EQ(window->wizardPage(), WizardPage::Disk);
  EXPECT_FALSE(window->scanRunning());
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(static_cast<wxRadioButton*>(window->control(wid::kQuick))->GetValue());
  EXPECT_EQ(window->diskTree().selected(), window->diskTree().root());
}

}  // namespace
}  // namespace tessaly::wizard::test

// The Advanced FAT path through the window: the partition page with its range, the sweep,
// the file-system page with its tree and summary rows, Next into the chosen file
// system's results, Back to choose the other one; no file system found; Stop during the
// sweep.
#include "wizard_fixture.h"

#include <algorithm>

#include "fat/file_system_search.h"

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

class AdvancedTest : public WizardTest {
 protected:
  // Disk0 in Advanced mode, up to the partition page, with the range and type typed in.
  void toRange(const std::string& first, const std::string& end, int typeIndex) {
    ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
    ASSERT_TRUE(click(wid::kAdvanced));
    ASSERT_TRUE(click(wid::kNext));
    ASSERT_EQ(window->wizardPage(), WizardPage::Partition);
    EXPECT_EQ(text(wid::kModeField), "Advance");
    EXPECT_TRUE(shown(wid::kPartitionType));
    EXPECT_TRUE(enabled(wid::kStartSector));
    EXPECT_EQ(window->listRows(), (std::vector<std::string>{"Partition Number : 1", "Search Mode : Advance"}));
    type(*panel(), wid::kStartSector, first);
    type(*panel(), wid::kEndSector, end);
    static_cast<wxChoice*>(window->control(wid::kPartitionType))->SetSelection(typeIndex);
  }
  bool has(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  }
};

TEST_F(AdvancedTest, TheFileSystemsOfTheWholeDiskAreListedAndEachIsBuiltInTurn) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toRange("0", "112640", 0);  // FAT16
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());

  // The file-system page.
  EXPECT_EQ(window->wizardPage(), WizardPage::Scan);
  EXPECT_EQ(window->stepPicture(), "Step6.bmp");
  EXPECT_TRUE(shown(wid::kFileSystemTree));
  EXPECT_FALSE(shown(wid::kPartitionTree));
  EXPECT_FALSE(shown(control::kStopSearching));
  EXPECT_EQ(treePaths(wid::kFileSystemTree),
            (std::vector<std::string>{"File Systems", "File Systems/File System 1 - FAT16",
                                      "File Systems/File System 2 - FAT32"}));
  EXPECT_EQ(window->listRows(),
            (std::vector<std::string>{"File System - 1", "Partition Type : FAT16", "File System Start : 2156",
                                      "Sectors Per Clusters : 4"}));
  EXPECT_TRUE(enabled(wid::kNext));
  EXPECT_TRUE(enabled(wid::kBack));
  EXPECT_TRUE(messages().empty());
  screenshot("advanced-file-systems");

  ASSERT_TRUE(clickTree(wid::kFileSystemTree, "File System 2 - FAT32"));
  EXPECT_EQ(window->chosenFileSystem(), 1u);
  EXPECT_EQ(window->listRows()[1], "Partition Type : FAT32");
  EXPECT_NE(window->onlineHelpText().find("Click on Next Button to Proceed..."), std::string::npos);

  // Next: the chosen file system's results.
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(window->wizardPage(), WizardPage::Results);
  EXPECT_EQ(window->stepPicture(), "Step7.bmp");
  EXPECT_FALSE(shown(wid::kFileSystemTree));
  EXPECT_TRUE(shown(wid::kFolderTree));
  EXPECT_FALSE(enabled(wid::kNext));
  EXPECT_EQ(window->listColumns().at(0), "Name");
  EXPECT_EQ(window->scan().workingVolume.fileSystem, FileSystem::Fat32);
  const auto fat32 = treePaths(wid::kFolderTree);
  EXPECT_TRUE(has(fat32, "Root/Documents")) << fat32.size();
  EXPECT_TRUE(has(fat32, "Root/Lost"));
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  screenshot("advanced-results");

  // Back: the file-system page again; the other file system is built in its place.
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Scan);
  EXPECT_TRUE(shown(wid::kFileSystemTree));
  EXPECT_FALSE(shown(wid::kFolderTree));
  ASSERT_TRUE(clickTree(wid::kFileSystemTree, "File System 1 - FAT16"));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(window->scan().workingVolume.fileSystem, FileSystem::Fat16);
  const auto fat16 = treePaths(wid::kFolderTree);
  EXPECT_TRUE(has(fat16, "Root/Documents"));

  // Back twice: the partition page of Advanced mode.
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kBack));
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  EXPECT_FALSE(shown(wid::kFileSystemTree));
  EXPECT_TRUE(shown(wid::kPartitionType));
}

TEST_F(AdvancedTest, ARangeWithoutAFileSystemLeavesNextDisabledAndBackFocused) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  toRange("0", "2000", 1);  // FAT32, before the first partition
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(messages(), (std::vector<std::string>{"No file system could be identified"}));
  EXPECT_FALSE(enabled(wid::kNext));
  EXPECT_TRUE(enabled(wid::kBack));
  EXPECT_EQ(window->focusContext(), 4);
  EXPECT_EQ(treePaths(wid::kFileSystemTree), (std::vector<std::string>{"File Systems"}));
}

TEST_F(AdvancedTest, StopDuringTheSweepAsksNothingAndIdentifiesWhatWasFound) {
  const std::string image = imagePath("fat_disk");
  // Hold the sweep inside the FAT32 partition: the FAT16 one is swept whole by then.
  auto hold = std::make_shared<HoldingDevice>(platform::FileDevice::open(image), 60000, 112640);
  devices.attach(platform::DeviceTable::physicalDriveName(0), hold);
  ASSERT_FALSE(open({image}).has_value());
  toRange("0", "112640", 0);
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(pumpUntil([&] { return hold->holding(); }));
  EXPECT_TRUE(window->scan().sweepRunning);
  ASSERT_TRUE(click(control::kStopSearching));
  hold->release();
  ASSERT_TRUE(waitForScan());
  EXPECT_TRUE(messages().empty());
  // The FAT16 file system swept before the hold; the FAT32 one's directories all lie
  // beyond it, so its boot sector alone makes no file system.
  EXPECT_LT(window->scan().directorySectors.back().sector, 60040u);
  EXPECT_EQ(treePaths(wid::kFileSystemTree),
            (std::vector<std::string>{"File Systems", "File Systems/File System 1 - FAT16"}));
  EXPECT_TRUE(enabled(wid::kNext));
}

}  // namespace
}  // namespace tessaly::wizard::test

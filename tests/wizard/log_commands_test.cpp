// Save Log and Load Log in the window: the file-name rules and questions of the save, a
// loaded log's results page, and what a cancelled or refused load leaves.
#include "wizard_fixture.h"

#include <filesystem>
#include <fstream>

#include "records/recovery_log.h"

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;

void writeBytes(const std::string& path, std::vector<std::uint8_t> bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST_F(WizardTest, ASavedLogLoadsBackIntoTheResultsWithoutAScan) {
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  const std::vector<std::string> scanned = treePaths(wid::kFolderTree);

  // "case1" is saved as CASE1.SAV; saving it again asks the program's own question, and
  // No asks for another name: "old.sav" is saved as OLD.SAV without a question.
  dialogs.fileAnswers = {home.file("case1")};
  ASSERT_TRUE(click(wid::kSaveLogButton));
  ASSERT_TRUE(fs::exists(home.file("CASE1.SAV")));
  EXPECT_EQ(dialogs.fileChoosers.back().rfind("save *.SAV in ", 0), 0u);
  dialogs.fileAnswers = {home.file("case1"), home.file("old.sav")};
  dialogs.messageAnswers = {kIdNo};
  ASSERT_TRUE(click(wid::kMenuSaveLog));
  EXPECT_EQ(messages(),
            std::vector<std::string>{home.file("CASE1.SAV") +
                                     " already exists. Do you want to overwrite this file?"});
  EXPECT_TRUE(fs::exists(home.file("OLD.SAV")));

  // The recovery is kept, so Back does not offer to save it; the disk page has no disk
  // chosen, and Load Log says so.
  ASSERT_TRUE(click(wid::kBack));
  ASSERT_TRUE(click(wid::kBack));
  ASSERT_EQ(window->wizardPage(), WizardPage::Disk);
  ASSERT_TRUE(click(wid::kLoadLogButton));
  EXPECT_EQ(messages().back(), "First Select Hard Disk");
  EXPECT_EQ(messages().size(), 2u);

  // A log made in Advanced mode (its mode byte, after the model "Disk image") is loaded
  // as a finished Quick scan of the disk chosen now.
  std::vector<std::uint8_t> log = readFile(home.file("CASE1.SAV"));
  ASSERT_EQ(std::string(log.begin() + 26, log.begin() + 36), "Disk image");
  log[46] = 2;
  writeBytes(home.file("ADVANCED.SAV"), log);
  ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
  dialogs.fileAnswers = {home.file("ADVANCED.SAV")};
  ASSERT_TRUE(click(wid::kLoadLogButton));
  ASSERT_TRUE(waitForScan());
  EXPECT_EQ(window->wizardPage(), WizardPage::Results);
  EXPECT_EQ(window->recoveryMode(), kModeQuick);
  EXPECT_EQ(treePaths(wid::kFolderTree), scanned);
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  EXPECT_EQ(listColumn(0).size(), 5u);
  EXPECT_TRUE(shown(wid::kFolderTree) && !shown(control::kDiskTree));
  screenshot("log-loaded-results");

  // Back from a loaded log finds the partition page made for the disk.
  ASSERT_TRUE(click(wid::kBack));
  EXPECT_EQ(window->wizardPage(), WizardPage::Partition);
  EXPECT_TRUE(shown(wid::kPartitionTree));
  EXPECT_FALSE(window->loadingLog());
}

TEST_F(WizardTest, ARefusedOrCancelledLoadLeavesThePageAsItWas) {
  ASSERT_FALSE(open({imagePath("fat_disk")}, imagePath("fat_floppy")).has_value());
  RecoveryLog other;
  other.diskModel = "ST3200822A";
  other.working.fileSystem = FileSystem::Fat16;
  writeBytes(home.file("OTHER.SAV"), encodeRecoveryLog(other));
  RecoveryLog mine = other;
  mine.diskModel = "Disk image";
  std::vector<std::uint8_t> cut = encodeRecoveryLog(mine);
  cut.pop_back();
  writeBytes(home.file("CUT.SAV"), cut);

  auto loadOnDiskPage = [&](std::optional<std::string> file) {
    ASSERT_TRUE(clickTree(control::kDiskTree, "Disk0"));
    dialogs.fileAnswers = {file};
    ASSERT_TRUE(click(wid::kMenuLoadLog));
    EXPECT_EQ(window->wizardPage(), WizardPage::Disk);
    EXPECT_TRUE(shown(control::kDiskTree) && shown(wid::kSelectDiskBox) &&
                !shown(wid::kPartitionTree));
    EXPECT_FALSE(enabled(wid::kQuick) || enabled(wid::kNext));
    EXPECT_TRUE(menuEnabled(wid::kMenuLoadLog));
  };
  loadOnDiskPage(home.file("OTHER.SAV"));
  EXPECT_EQ(messages().back(), "You Have Selected Wrong Disk");
  loadOnDiskPage(home.file("CUT.SAV"));
  EXPECT_EQ(messages().back(), "Error in file");
  loadOnDiskPage(std::nullopt);  // cancelled
  EXPECT_EQ(messages().size(), 2u);

  // A floppy's result cannot be saved.
  ASSERT_TRUE(clickTree(control::kDiskTree, "1.44\" Floppy"));
  ASSERT_TRUE(click(wid::kQuick));
  ASSERT_TRUE(click(wid::kNext));
  ASSERT_TRUE(waitForScan());
  dialogs.fileAnswers = {home.file("floppy")};
  ASSERT_TRUE(click(wid::kSaveLogButton));
  EXPECT_EQ(messages().back(), "Recovery can not be saved for Floppy");
  EXPECT_TRUE(dialogs.fileAnswers.size() == 1u && enabled(wid::kBack));
}

}  // namespace
}  // namespace tessaly::wizard::test

// The save walks: whole recoveries of the mtools-built volumes checked byte for byte
// against what was written before deletion, and the walk rules on crafted volumes.
#include "recovery/recover.h"
#include "save/save_job.h"
#include "save/save_walks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "../fat/crafted_fat.h"
#include "fat/quick_scan.h"
#include "partition/volume.h"
#include "save/save_engine.h"
#include "recovery/folder_contents.h"
#include "support/manifest.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// Every file under a folder, by its path relative to it, with its SHA-256.
std::map<std::string, std::string> treeHashes(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      out[fs::relative(entry.path(), root).string()] = test::sha256File(entry.path().string());
  return out;
}

class Recovery : public ::testing::TestWithParam<test::FatVolumeCase> {};

TEST_P(Recovery, EveryDeletedFileComesBackByteForByteInItsFolder) {
  const auto [image, volumeName] = GetParam();
  const auto manifest = test::loadManifest(test::manifestPath(image));
  const auto volume = test::entriesOf(manifest, volumeName, "volume").at(0);
  const auto folders = test::entriesOf(manifest, volumeName, "folder");
  const std::string lostPath = test::entriesOf(manifest, volumeName, "lost").at(0).path;

  test::TempDir install, out;
  std::unique_ptr<test::TestSession> t;
  if (volume.path == "FAT12") {
    t = std::make_unique<test::TestSession>(std::make_shared<platform::MemoryDevice>(1));
    t->devices.setFloppy(test::imagePath(image));
    t->session.selectedDiskName = "1.44\" Floppy";
  } else {
    t = std::make_unique<test::TestSession>(test::imagePath(image));
  }
  Session& s = t->session;
  ScanState& scan = t->scan;
  s.installFolder = install.path();
  s.partitionSelection.fileSystem = fileSystemFromName(volume.path);
  s.partitionSelection.firstSector = volume.firstSector;
  s.partitionSelection.lastSector = volume.path == "FAT12" ? 2880 : volume.lastSector;
  if (volume.path != "FAT12") validatePartition(s, scan);
  runQuickFatScan(s, scan);

  // The root's own files from the list, every folder's from the checked tree.
  const TreeItem root = scan.folderTree.root();
  toggleCheck(scan.folderTree, root);
  SaveJob job(scan);
  job.destinationFolder = out.path();
  saveRootAndCheckedFolders(s, job, true);
  const int counted = job.filesToSave;
  EXPECT_TRUE(job.done.load());

  // The expected destination tree, from the manifest alone.
  std::string orphan;
  for (TreeItem child : scan.folderTree.children(scan.folderTree.children(root).at(0)))
    orphan = scan.folderTree.text(child);
  auto folderPath = [&](const std::string& path) {
    if (path.rfind(lostPath, 0) != 0) return test::fatListedPath(folders, path);
    const std::string rest = test::fatListedPath(folders, path, lostPath);
    return "Lost/" + orphan + (rest.empty() ? "" : "/" + rest);
  };
  std::map<std::string, std::string> expected;
  for (const auto& f : test::entriesOf(manifest, volumeName, "file")) {
    if (!f.deleted) continue;
    std::string folder = folderPath(test::parentPath(f.path));
    expected[(folder.empty() ? "" : folder + "/") + test::fatListedName(test::baseName(f.path), true)] = f.sha256;
  }
  EXPECT_EQ(treeHashes(out.path()), expected);
  EXPECT_EQ(counted, static_cast<int>(expected.size()));
  EXPECT_EQ(job.outcome.filesCompleted.load(), static_cast<int>(expected.size()));
  EXPECT_EQ(job.outcome.writeFailures.load(), 0);
  EXPECT_TRUE(t->dialogs.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Volumes, Recovery,
                         ::testing::ValuesIn(test::kFatVolumeCases), test::FatVolumeCaseName());

// A crafted FAT16 volume: Root holds folder A (cluster 5, live) holding folder B (cluster
// 9, live); each folder has one live and one deleted file; the root has deleted files.
struct WalkVolume : test::CraftedFat {
  test::TempDir out;
  FileListModel list;
  SaveJob job{scan()};
  WalkVolume() : CraftedFat(FileSystem::Fat16, 1, 800, 4) {
    entry(rootSector(), 0, "A          ", 0x10, 5);
    entry(rootSector(), 1, "\xE5" "OOT1   TXT", 0x20, 40, 100, date(2005, 6, 15));
    entry(rootSector(), 2, "\xE5" "OOT2   TXT", 0x20, 41, 200, date(2031 - 1, 1, 2));
    entry(rootSector(), 3, "LIVE    TXT", 0x20, 42, 300);
    entry(rootSector(), 4, "\xE5" "OOT3   DOC", 0x20, 43, 400);
    entry(rootSector(), 5, "\xE5" "OOT4   TXT", 0x20, 44, 500);
    directory(5, 0);
    entry(clusterSector(5), 2, "B          ", 0x10, 9);
    entry(clusterSector(5), 3, "KEPT    TXT", 0x20, 50, 10);
    entry(clusterSector(5), 4, "\xE5" "GONE   TXT", 0x20, 51, 20, date(2004, 3, 3));
    directory(9, 5);
    entry(clusterSector(9), 2, "KEPT    TXT", 0x20, 60, 30);
    entry(clusterSector(9), 3, "\xE5" "GONE   TXT", 0x20, 61, 40, date(2004, 5, 11));
    chain({5});
    chain({9});
    scan().partitionValid = 1;
    job.progressIntervalMs = 0;
    runQuickFatScan(session(), scan());
    job.destinationFolder = out.path();
    job.fileList = &list;
  }
  static std::uint16_t date(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  }
  // The folder at a path of one-letter names below the root ("AB": Root/A/B).
  TreeItem item(const std::string& path) {
    std::string full = "Root";
    for (const char c : path) full += std::string("/") + c;
    return test::treeItemAt(scan().folderTree, full);
  }
  std::vector<std::string> saved() {
    std::vector<std::string> names;
    for (const auto& [path, hash] : treeHashes(out.path())) names.push_back(path);
    return names;
  }
  void listRoot() {
    FolderContents contents = listFolder(session(), scan(), scan().folderTree.root());
    list.setRows(contents.rows);
  }
};

TEST(SaveWalks, TheTreeSourceSavesOnlyCheckedFoldersIntoTheirTreePath) {
  WalkVolume v;
  SaveJob& s = v.job;
  // B checked, A only partly (as when A had other, unchecked children).
  v.scan().folderTree.setState(v.item("AB"), kChecked);
  v.scan().folderTree.setState(v.item("A"), kPartlyChecked);
  v.scan().folderTree.setState(v.scan().folderTree.root(), kPartlyChecked);
  s.source = SaveSource::CheckedFolders;
  runSizeCalculation(v.session(), s);
  EXPECT_EQ(s.filesToSave.load(), 1);
  EXPECT_EQ(s.bytesToSave.load(), 40u);
  runSave(v.session(), s);
  EXPECT_EQ(v.saved(), (std::vector<std::string>{"A/B/_GONE.TXT"}));
}

TEST(SaveWalks, SelectionModesOfTheFileList) {
  WalkVolume v;
  SaveJob& s = v.job;
  v.listRoot();  // rows: Lost, A, then the four deleted root files
  ASSERT_EQ(v.list.size(), 6u);
  v.list.select(2, true);
  v.list.select(3, true);
  s.source = SaveSource::FileList;
  s.options.selectionMode = SelectionMode::NotSelected;  // the rows not selected
  runSave(v.session(), s);
  EXPECT_EQ(v.saved(), (std::vector<std::string>{"A/B/_GONE.TXT", "A/_GONE.TXT", "_OOT3.DOC", "_OOT4.TXT"}));
}

TEST(SaveWalks, TheDateFilterAppliesToFilesFoundInsideFolders) {
  WalkVolume v;
  SaveJob& s = v.job;
  s.options.earlierDate = {10, 5, 2004};
  s.options.afterDate = {1, 1, 2004};
  toggleCheck(v.scan().folderTree, v.scan().folderTree.root());
  s.source = SaveSource::CheckedFolders;
  runSave(v.session(), s);
  EXPECT_EQ(v.saved(), (std::vector<std::string>{"A/_GONE.TXT"}));  // 3 March passes, 11 May does not

  WalkVolume wide;
  wide.job.options.earlierDate = {31, 12, 2030};
  wide.job.options.afterDate = {1, 1, 1970};
  EXPECT_TRUE(wide.job.options.datePasses({15, 6, 2005}));
  EXPECT_FALSE(wide.job.options.datePasses({2, 1, 2031}));
}

TEST(SaveWalks, CountingTakesListedFilesTheDeletedFilterWillRefuse) {
  WalkVolume v;
  SaveJob& s = v.job;
  v.listRoot();
  v.list.selectAll(true);
  s.source = SaveSource::FileList;
  s.options.deletedFilter = DeletedFilter::ExcludeDeleted;  // exclude deleted files
  runSizeCalculation(v.session(), s);
  EXPECT_EQ(s.filesToSave.load(), 6);  // the four root files and A's and B's deleted files
  runSave(v.session(), s);
  EXPECT_TRUE(v.saved().empty());
}

TEST(SaveWalks, AListSaveIntoADestinationThatCannotBeMadeShowsInavlidPath) {
  WalkVolume v;
  SaveJob& s = v.job;
  std::ofstream(v.out.file("plain")) << "a file, not a folder";
  s.destinationFolder = v.out.file("plain/inside");
  v.listRoot();
  v.list.selectAll(true);
  s.source = SaveSource::FileList;
  runSave(v.session(), s);
  ASSERT_EQ(v.t->dialogs.messages.size(), 1u);
  EXPECT_EQ(v.t->dialogs.messages[0].text, "Inavlid Path");
  EXPECT_EQ(v.t->dialogs.messages[0].icon, MessageIcon::None);
}

TEST(SaveWalks, ItemPathsForShowingAndForSaving) {
  WalkVolume v;
  EXPECT_EQ(itemPath(v.scan().folderTree, v.scan().folderTree.root()), "");
  EXPECT_EQ(itemPath(v.scan().folderTree, v.item("AB")), "A\\B");
  const TreeItem b = v.item("AB");
  EXPECT_EQ(itemFolderPath(v.scan().folderTree, b), "A/B");
  v.scan().folderTree.setText(v.item("A"), "..");
  EXPECT_EQ(itemFolderPath(v.scan().folderTree, b), "_../B");
}

}  // namespace
}  // namespace tessaly

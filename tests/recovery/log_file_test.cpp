// Recovery logs of real scans: a log saved after a Quick scan loads back into the same
// tree and the same files, and what cannot be loaded leaves nothing changed.
#include "recovery/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "fat/quick_scan.h"
#include "partition/partition_walk.h"
#include "partition/volume.h"
#include "recovery/quick_scan.h"
#include "recovery/recover.h"
#include "save/save_job.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// A Quick scan of partition `index` (from 0) of an image, as the partition page starts it.
void scanPartition(test::TestSession& t, std::size_t index) {
  Session& s = t.session;
  TreeModel partitions;
  partitions.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(s, partitions, 0);
  const DiskPartitionList& list = s.partitionLists[0];
  ASSERT_LT(index, static_cast<std::size_t>(list.count));
  s.partitionSelection.partitionIndex = static_cast<std::uint32_t>(index);
  s.partitionSelection.fileSystem = list.fileSystems[index];
  s.partitionSelection.firstSector = list.entries[index].startSector;
  s.partitionSelection.lastSector = list.entries[index].endSector - 1;
  s.partitionSelection.searchMode = "Quick Mode";
  validatePartition(s, t.scan);
  ASSERT_EQ(runQuickScan(s, t.scan), ScanEnd::Finished);
}

// Every folder's files saved into a folder, by relative path and SHA-256.
std::map<std::string, std::string> recoverAll(Session& session, ScanState& scan,
                                              const std::string& into) {
  toggleCheck(scan.folderTree, scan.folderTree.root());
  SaveJob job(scan);
  job.destinationFolder = into;
  saveRootAndCheckedFolders(session, job, true);
  std::map<std::string, std::string> hashes;
  for (const auto& entry : fs::recursive_directory_iterator(into))
    if (entry.is_regular_file())
      hashes[fs::relative(entry.path(), into).string()] = test::sha256File(entry.path().string());
  return hashes;
}

struct LogCase {
  const char* image;
  std::size_t partition;
  const char* name;
};

class LoadedLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(LoadedLog, GivesTheScansTreeFilesAndLogBack) {
  const LogCase c = GetParam();
  test::TempDir dir;
  test::TestSession scanned(test::imagePath(c.image));
  scanned.session.installFolder = dir.path();
  scanPartition(scanned, c.partition);
  const std::string path = dir.file("SCAN.SAV");
  ASSERT_EQ(saveRecoveryLogFile(scanned.session, scanned.scan, 1, path), LogSaveEnd::Written);

  test::TestSession loaded(test::imagePath(c.image));
  loaded.session.installFolder = dir.path();
  LogRead read = readRecoveryLogFile(path, "");
  ASSERT_EQ(read.end, LogLoadEnd::Loaded);
  loadRecoveryLog(loaded.session, loaded.scan, read.log);

  EXPECT_EQ(test::treePaths(loaded.scan.folderTree), test::treePaths(scanned.scan.folderTree));
  // Every folder lists the same files with the same deleted marks ...
  EXPECT_EQ(test::listEveryFolder(loaded.session, loaded.scan).dump,
            test::listEveryFolder(scanned.session, scanned.scan).dump);
  // ... they are saved with the same bytes ...
  EXPECT_EQ(recoverAll(loaded.session, loaded.scan, dir.file("from-log")),
            recoverAll(scanned.session, scanned.scan, dir.file("from-scan")));
  // ... through the same $MFT runs (a file continued in extension records needs them) ...
  auto runs = [](const RunTable& table) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (std::size_t i = 0; i < table.size(); ++i)
      out.emplace_back(table.start(i), table.length(i));
    return out;
  };
  EXPECT_EQ(runs(loaded.scan.mftRuns), runs(scanned.scan.mftRuns));
  // ... and the loaded result, saved again, is the same log byte for byte.
  ASSERT_EQ(saveRecoveryLogFile(loaded.session, loaded.scan, 1, dir.file("AGAIN.SAV")),
            LogSaveEnd::Written);
  EXPECT_EQ(test::readFile(dir.file("AGAIN.SAV")), test::readFile(path));
}

INSTANTIATE_TEST_SUITE_P(QuickScans, LoadedLog,
                         ::testing::Values(LogCase{"fat_disk", 0, "Fat16"},
                                           LogCase{"fat_disk", 1, "Fat32"},
                                           LogCase{"ntfs_files", 0, "Ntfs"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(RecoveryLogFile, RefusedLogsAndSavesChangeNothing) {
  test::TempDir dir;
  test::TestSession t(test::imagePath("fat_disk"));
  t.session.installFolder = dir.path();
  t.session.currentDiskModel = "ST3200822A";
  scanPartition(t, 1);
  const std::string path = dir.file("GOOD.SAV");
  ASSERT_EQ(saveRecoveryLogFile(t.session, t.scan, 1, path), LogSaveEnd::Written);
  const std::vector<std::uint8_t> bytes = test::readFile(path);

  // Another disk's model, even one that merely begins the same.
  EXPECT_EQ(readRecoveryLogFile(path, "ST3200822AS").end, LogLoadEnd::WrongDisk);
  EXPECT_EQ(readRecoveryLogFile(dir.file("MISSING.SAV"), "ST3200822A").end, LogLoadEnd::CannotOpen);
  // A log cut short is an error in the file, not a partial load.
  std::ofstream(dir.file("CUT.SAV"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size() - 1));
  EXPECT_EQ(readRecoveryLogFile(dir.file("CUT.SAV"), "ST3200822A").end, LogLoadEnd::ErrorInFile);
  EXPECT_EQ(readRecoveryLogFile(path, "ST3200822A").end, LogLoadEnd::Loaded);

  // A floppy's result and a scan that found no folder are not saved at all.
  test::TestSession floppy(std::make_shared<platform::MemoryDevice>(1));
  floppy.session.selectedDiskName = "1.44\" Floppy";
  EXPECT_EQ(saveRecoveryLogFile(floppy.session, floppy.scan, 1, dir.file("F.SAV")),
            LogSaveEnd::Floppy);
  test::TestSession empty(std::make_shared<platform::MemoryDevice>(64));
  empty.scan.workingVolume.fileSystem = FileSystem::Fat16;
  EXPECT_EQ(saveRecoveryLogFile(empty.session, empty.scan, 1, dir.file("E.SAV")),
            LogSaveEnd::EmptyCatalogue);
  EXPECT_FALSE(fs::exists(dir.file("F.SAV")) || fs::exists(dir.file("E.SAV")));
}

}  // namespace
}  // namespace tessaly

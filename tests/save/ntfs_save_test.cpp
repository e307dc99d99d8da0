// NTFS saving on the volume ntfs-3g filled: resident, non-resident, fragmented and
// sparse files, and whole recoveries of the deleted ones, checked byte for byte against
// what was written before deletion.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "../ntfs/ntfs_builders.h"
#include "../ntfs/ntfs_manifest.h"
#include "partition/volume.h"
#include "save/save_engine.h"
#include "save/save_walks.h"
#include "session/folder_contents.h"
#include "session/quick_scan.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class NtfsSave : public ::testing::Test {
 protected:
  test::Manifest manifest{test::manifestPath("ntfs_files")};
  test::TempDir install, out;
  std::unique_ptr<test::TestSession> t;

  void SetUp() override {
    ASSERT_FALSE(manifest.entries.empty());
    t = std::make_unique<test::TestSession>(test::imagePath("ntfs_files"));
    Session& s = t->session;
    s.installFolder = install.path();
    s.saveProgressIntervalMs = 0;
    const std::uint32_t start = manifest.number("partition_start");
    s.partitionSelection.fileSystem = "NTFS";
    s.partitionSelection.firstSector = start;
    s.partitionSelection.lastSector = start + manifest.number("partition_sectors") - 1;
    s.partitionValid = static_cast<std::int16_t>(validatePartition(s));
    ASSERT_TRUE(runQuickScan(s));
  }
  std::map<std::string, std::string> savedHashes() {
    std::map<std::string, std::string> hashes;
    for (const auto& entry : fs::recursive_directory_iterator(out.path()))
      if (entry.is_regular_file())
        hashes[fs::relative(entry.path(), out.path()).string()] = test::sha256File(entry.path().string());
    return hashes;
  }
};

TEST_F(NtfsSave, EveryKindOfFileIsSavedFromItsRecord) {
  // Live files too: their runs are intact, so this reads resident data, fragmented and
  // sparse run lists through the same path a deleted file takes.
  Session& s = t->session;
  int checked = 0;
  for (const auto& e : manifest.entries) {
    if (e.folder || e.path.find("posix only") != std::string::npos) continue;
    const std::string dest = out.file("r" + std::to_string(e.record));
    EXPECT_TRUE(saveNtfsFile(s, dest, e.name(), e.size, static_cast<std::uint32_t>(manifest.recordSector(e.record)),
                             false, e.deleted))
        << e.path;
    EXPECT_EQ(test::sha256File(dest), e.sha) << e.path << " (" << e.runsText << ")";
    ++checked;
  }
  EXPECT_GT(checked, 50);
}

TEST_F(NtfsSave, ARecoveryBringsBackEveryDeletedFileInItsFolder) {
  Session& s = t->session;
  const TreeItem root = s.folderTree.root();
  toggleCheck(s.folderTree, root);
  s.destinationFolder = out.path();
  saveRootAndCheckedFolders(s, true);
  const int counted = s.filesToSave;

  std::map<std::string, std::string> expected;
  for (const auto& e : manifest.entries)
    if (!e.folder && e.deleted) expected[e.path] = e.sha;
  EXPECT_EQ(savedHashes(), expected);
  EXPECT_EQ(counted, static_cast<int>(expected.size()));
  EXPECT_EQ(s.saveOutcome.filesCompleted.load(), static_cast<int>(expected.size()));
  EXPECT_EQ(s.saveOutcome.writeFailures.load(), 0);
}

TEST_F(NtfsSave, AListedDeletedFolderIsSavedWithItsSubfolders) {
  Session& s = t->session;
  // The file list of "Pictures": the deleted folder "Trip" among its rows.
  TreeItem pictures = kNoItem;
  for (TreeItem child : s.folderTree.children(s.folderTree.root()))
    if (s.folderTree.text(child) == "Pictures") pictures = child;
  ASSERT_NE(pictures, kNoItem);
  FolderContents contents = listFolder(s, pictures);
  s.fileList.setRows(contents.rows);
  for (std::size_t i = 0; i < s.fileList.size(); ++i)
    if (s.fileList.row(i).columns[kColName] == "Trip") s.fileList.select(i, true);
  ASSERT_EQ(s.fileList.selectedCount(), 1u);
  s.destinationFolder = out.path();
  s.saveSource = 2;
  runSave(s);
  std::map<std::string, std::string> expected;
  for (const auto& e : manifest.entries)
    if (!e.folder && e.deleted && e.path.rfind("Pictures/Trip/", 0) == 0) expected[e.path.substr(9)] = e.sha;
  EXPECT_EQ(savedHashes(), expected);
}

TEST(NtfsSaveSize, AFileOfMoreThanFourGibibytesIsSavedWhole) {
  // One sparse run of 5 GiB: nothing is read, every byte is a zero, the size is 64-bit.
  const std::uint64_t size = 5ull << 30;
  test::RecordBuilder record(1);
  record.fileName(5, 1, u"huge.bin");
  record.nonResident(0x80, {0x04, 0x00, 0x00, 0x14, 0x00}, size);
  auto disk = std::make_shared<platform::MemoryDevice>(64);
  auto bytes = record.protectedBytes();
  std::copy(bytes.begin(), bytes.end(), disk->bytes().begin() + 10 * 512);
  test::TestSession t(disk);
  t.session.workingVolume.fileSystem = "NTFS";
  t.session.workingVolume.sectorsPerCluster = 8;
  t.session.workingVolume.cluster0Sector = 0;
  EXPECT_TRUE(saveNtfsFile(t.session, "/dev/null", "huge.bin", size, 10, false, true));
  EXPECT_EQ(t.session.saveOutcome.bytesWritten.load(), size);
}

}  // namespace
}  // namespace tessaly

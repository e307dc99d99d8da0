// The Quick NTFS scan on the ntfs_files image (mkntfs + ntfs-3g), checked against the
// manifest the image builder wrote while every file was live: the folder tree with its
// deleted marks, the deleted files of every folder, a folder hung under "Lost" when its
// parent's record is destroyed, and list mode against table mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "ntfs/entry_tables.h"
#include "support/manifest.h"
#include "partition/volume.h"
#include "recovery/folder_contents.h"
#include "recovery/quick_scan.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::Entry;
using test::Manifest;

using ScannedFolder = test::ListedFolder;

class QuickNtfsScan : public ::testing::Test {
 protected:
  Manifest manifest{test::manifestPath("ntfs_files")};
  test::TempDir install;
  std::shared_ptr<test::PatchedDevice> disk;
  std::unique_ptr<test::TestSession> t;
  std::map<std::string, ScannedFolder> folders;  // "Pictures/Trip" -> ...
  std::string dump;                               // the whole result, for comparing two scans

  // Scans the image's partition with its boot sector validated, as the scan command does;
  // the records named are destroyed first (both sectors zeroed).
  void scan(std::size_t memoryLimit = SIZE_MAX, const std::vector<std::uint32_t>& destroyed = {}) {
    ASSERT_FALSE(manifest.entries.empty()) << "manifest missing or empty";
    std::shared_ptr<platform::Device> file = platform::FileDevice::open(test::imagePath("ntfs_files"));
    ASSERT_TRUE(file);
    disk = std::make_shared<test::PatchedDevice>(file);
    for (std::uint32_t record : destroyed) {
      const std::uint64_t sector = manifest.recordSector(record);
      ASSERT_NE(sector, 0u);
      disk->zero(sector);
      disk->zero(sector + 1);
    }
    t = std::make_unique<test::TestSession>(disk);
    Session& s = t->session;
    s.installFolder = install.path();
    s.memoryLimit = memoryLimit;
    const std::uint32_t start = manifest.partitionStart();
    s.partitionSelection.fileSystem = FileSystem::Ntfs;
    s.partitionSelection.firstSector = start;
    s.partitionSelection.lastSector = start + manifest.partitionSectors() - 1;
    ASSERT_EQ(validatePartition(s, t->scan), 1);
    ASSERT_EQ(runQuickScan(s, t->scan), ScanEnd::Finished);
    test::ListedScan listed = test::listEveryFolder(s, t->scan);
    folders = std::move(listed.folders);
    dump = std::move(listed.dump);
  }

  // A file row as the manifest says it must be: name, size, record sector, parent
  // number, own number.
  std::string expectedRow(const Entry& e) const {
    return e.name() + "|" + std::to_string(e.size) + "|" + std::to_string(manifest.recordSector(e.record)) +
           "|" + std::to_string(manifest.parentRecord(e)) + "|" + std::to_string(e.record);
  }
  static std::string scannedRow(const FileRow& row) {
    return row.columns[kColName] + "|" + row.columns[kColSize] + "|" + row.columns[kColDebug1] + "|" +
           row.columns[kColDebug2] + "|" + row.columns[kColDebug3];
  }
  std::map<std::string, std::multiset<std::string>> scannedRows() const {
    std::map<std::string, std::multiset<std::string>> rows;
    for (const auto& [path, folder] : folders)
      for (const FileRow& row : folder.files) rows[path].insert(scannedRow(row));
    return rows;
  }
};

TEST_F(QuickNtfsScan, EveryFolderAndDeletedFileIsWhereTheBuilderPutIt) {
  ASSERT_NO_FATAL_FAILURE(scan());
  // Folders: the root, "Lost", the volume's own $Extend and every folder made, with the
  // deleted marks of the manifest.
  std::map<std::string, bool> expectedFolders{{"", false}, {"Lost", false}, {"$Extend", false}};
  std::map<std::string, std::multiset<std::string>> expectedRows;
  int deletedFiles = 0;
  for (const Entry& e : manifest.entries) {
    if (e.folder) expectedFolders[e.path] = e.deleted;
    if (!e.folder && e.deleted) {
      expectedRows[e.parentPath()].insert(expectedRow(e));
      ++deletedFiles;
    }
  }
  ASSERT_GE(deletedFiles, 4);
  std::map<std::string, bool> scannedFolders;
  for (const auto& [path, folder] : folders) scannedFolders[path] = folder.deleted;
  EXPECT_EQ(scannedFolders, expectedFolders) << dump;

  // Files: exactly the deleted ones, each under its folder, with its size, its record's
  // sector, its parent's and its own record number. Live files are not listed.
  EXPECT_EQ(scannedRows(), expectedRows) << dump;
  for (const auto& [path, folder] : folders)
    for (const FileRow& row : folder.files) {
      EXPECT_EQ(row.columns[kColType], classifyFileType(row.columns[kColName]).typeText);
      // A creation time the calendar could convert.
      EXPECT_NE(row.columns[kColDate], "") << row.columns[kColName];
      EXPECT_EQ(std::count(row.columns[kColTime].begin(), row.columns[kColTime].end(), ':'), 2);
    }
}

TEST_F(QuickNtfsScan, TheTablesHoldEveryNamedRecordThePosixOnlyOneToo) {
  ASSERT_NO_FATAL_FAILURE(scan());
  ScanState& s = t->scan;
  ASSERT_TRUE(s.entryTablesOk);
  NtfsEntryTable folderTable(s, EntryKind::Folder);
  NtfsEntryTable fileTable(s, EntryKind::File);
  auto find = [](const NtfsEntryTable& table, std::uint32_t self) -> std::optional<NtfsEntry> {
    for (std::size_t i = 0; i < table.size(); ++i)
      if (table.self(i) == self) return table.entry(i);
    return std::nullopt;
  };
  const auto root = find(folderTable, 5);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->parent, 5u);
  EXPECT_EQ(root->kind, RowKind::Folder);
  for (const Entry& e : manifest.entries) {
    SCOPED_TRACE(e.path);
    const auto entry = find(e.folder ? folderTable : fileTable, e.record);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, e.name());
    EXPECT_EQ(entry->parent, manifest.parentRecord(e));
    EXPECT_EQ(entry->size, e.folder ? 0 : e.size);
    EXPECT_EQ(entry->sector, manifest.recordSector(e.record));
    EXPECT_EQ(entry->deleted, e.deleted);
    EXPECT_EQ(entry->kind, e.folder ? RowKind::Folder : RowKind::File);
  }
  // The folders end in parent order.
  for (std::size_t i = 1; i < folderTable.size(); ++i)
    EXPECT_LE(folderTable.entry(i - 1).parent, folderTable.entry(i).parent);
}

TEST_F(QuickNtfsScan, AFolderWhoseParentRecordIsGoneHangsUnderLost) {
  const Entry* pictures = manifest.find("Pictures");
  ASSERT_TRUE(pictures);
  for (std::size_t limit : {SIZE_MAX, std::size_t{0}}) {
    SCOPED_TRACE(limit == 0 ? "list mode" : "table mode");
    folders.clear();
    dump.clear();
    ASSERT_NO_FATAL_FAILURE(scan(limit, {pictures->record}));
    // Pictures is gone; its deleted subfolder Trip, with what lay in it, is under "Lost".
    EXPECT_FALSE(folders.count("Pictures")) << dump;
    ASSERT_TRUE(folders.count("Lost/Trip")) << dump;
    EXPECT_TRUE(folders["Lost/Trip"].deleted);
    ASSERT_TRUE(folders.count("Lost/Trip/Notes")) << dump;
    EXPECT_TRUE(folders["Lost/Trip/Notes"].deleted);
    auto rows = scannedRows();
    EXPECT_EQ(rows["Lost/Trip"], std::multiset<std::string>{expectedRow(*manifest.find("Pictures/Trip/day1.jpg"))});
    EXPECT_EQ(rows["Lost/Trip/Notes"],
              std::multiset<std::string>{expectedRow(*manifest.find("Pictures/Trip/Notes/note.txt"))});
    // The other folders keep their places.
    EXPECT_TRUE(folders.count("Documents/Letters"));
    EXPECT_TRUE(folders.count("Archive/Many"));
  }
}

TEST_F(QuickNtfsScan, ListModeGivesTheSameTreeAndRows) {
  ASSERT_NO_FATAL_FAILURE(scan());
  ASSERT_TRUE(t->scan.entryTablesOk);
  const std::string table = dump;
  folders.clear();
  dump.clear();
  ASSERT_NO_FATAL_FAILURE(scan(0));
  ASSERT_FALSE(t->scan.entryTablesOk);
  EXPECT_TRUE(t->scan.folderEntries.empty());
  const auto namedFiles = std::count_if(manifest.entries.begin(), manifest.entries.end(),
                                       [](const Entry& e) { return !e.folder && e.dosName != "-"; });
  EXPECT_GT(t->scan.fileTable.rowCount(), static_cast<std::size_t>(namedFiles));
  EXPECT_EQ(dump, table);
  EXPECT_NE(table.find("old.txt|"), std::string::npos);
}

}  // namespace
}  // namespace tessaly

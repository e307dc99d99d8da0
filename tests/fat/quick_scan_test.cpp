// The Quick scan on volumes built by mkfs.fat and mtools: the tree and the file rows are
// checked against what the image builder put there, not against this code's own output.
#include "fat/quick_scan.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "partition/volume.h"
#include "recovery/folder_contents.h"
#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ManifestEntry;

using ScannedFolder = test::ListedFolder;

struct Scan {
  test::TempDir install;
  std::unique_ptr<test::TestSession> t;
  std::map<std::string, ScannedFolder> folders;  // "Documents/Old Archive" -> ...
  std::string dump;                               // everything, for comparing two scans

  Scan(const std::string& image, const ManifestEntry& volume, std::size_t memoryLimit = SIZE_MAX) {
    if (volume.path == "FAT12") {
      t = std::make_unique<test::TestSession>(std::make_shared<platform::MemoryDevice>(1));
      t->devices.setFloppy(image);
      t->session.selectedDiskName = "1.44\" Floppy";
    } else {
      t = std::make_unique<test::TestSession>(image);
    }
    Session& s = t->session;
    s.installFolder = install.path();
    s.memoryLimit = memoryLimit;
    s.partitionSelection.fileSystem = fileSystemFromName(volume.path);
    s.partitionSelection.firstSector = volume.firstSector;
    s.partitionSelection.lastSector = volume.path == "FAT12" ? 2880 : volume.lastSector;
    if (volume.path != "FAT12") validatePartition(s, t->scan);
    runQuickFatScan(s, t->scan);
    test::ListedScan listed = test::listEveryFolder(s, t->scan);
    folders = std::move(listed.folders);
    dump = std::move(listed.dump);
  }
};

class QuickFatScan : public ::testing::TestWithParam<test::FatVolumeCase> {};

TEST_P(QuickFatScan, FindsEveryFolderAndDeletedFileTheBuilderPutThere) {
  const auto [image, volumeName] = GetParam();
  auto manifest = test::loadManifest(test::manifestPath(image));
  auto volumes = test::entriesOf(manifest, volumeName, "volume");
  ASSERT_EQ(volumes.size(), 1u);
  Scan scan(test::imagePath(image), volumes[0]);
  auto folders = test::entriesOf(manifest, volumeName, "folder");
  auto files = test::entriesOf(manifest, volumeName, "file");
  auto lost = test::entriesOf(manifest, volumeName, "lost");
  ASSERT_EQ(lost.size(), 1u);
  const std::string lostPath = lost[0].path;                 // /LOSTPARENT/ORPHAN
  const std::string lostParent = test::parentPath(lostPath);  // overwritten

  // The orphan hangs under "Lost" as "Dir" + number, with its subfolders named.
  std::string orphanName;
  for (const auto& [path, folder] : scan.folders) {
    std::smatch m;
    if (std::regex_match(path, m, std::regex(R"(Lost/(Dir\d+))"))) orphanName = m[1];
  }
  ASSERT_FALSE(orphanName.empty()) << scan.dump;

  auto treePathOf = [&](const std::string& manifestPath) -> std::string {
    if (manifestPath.rfind(lostPath, 0) == 0) {
      const std::string rest = test::fatListedPath(folders, manifestPath, lostPath);
      return "Lost/" + orphanName + (rest.empty() ? "" : "/" + rest);
    }
    return test::fatListedPath(folders, manifestPath);
  };

  std::set<std::string> expectedFolders{"", "Lost", "Lost/" + orphanName};
  for (const auto& f : folders) {
    if (f.path == lostParent) continue;  // its directory was overwritten
    const std::string path = treePathOf(f.path);
    expectedFolders.insert(path);
    auto found = scan.folders.find(path);
    ASSERT_NE(found, scan.folders.end()) << f.path << " -> " << path << "\n" << scan.dump;
    EXPECT_EQ(found->second.deleted, f.deleted) << path;
  }
  std::set<std::string> scannedFolders;
  for (const auto& [path, folder] : scan.folders) scannedFolders.insert(path);
  EXPECT_EQ(scannedFolders, expectedFolders);

  // Every deleted file in its folder, with size, date and time as written; no live file.
  std::map<std::string, std::multiset<std::string>> expectedRows;
  for (const auto& f : files) {
    if (!f.deleted) continue;
    const std::string folder = treePathOf(test::parentPath(f.path));
    expectedRows[folder].insert(test::fatListedName(test::baseName(f.path), true) + "|" +
                                std::to_string(f.size) + "|" + f.date + "|" + f.time);
  }
  for (const auto& [path, folder] : scan.folders) {
    std::multiset<std::string> rows;
    for (const FileRow& row : folder.files)
      rows.insert(row.columns[kColName] + "|" + row.columns[kColSize] + "|" + row.columns[kColDate] +
                  "|" + row.columns[kColTime]);
    EXPECT_EQ(rows, expectedRows[path]) << "folder '" << path << "'";
  }
}

TEST_P(QuickFatScan, ListModeGivesTheSameTreeAndRows) {
  const auto [image, volumeName] = GetParam();
  auto manifest = test::loadManifest(test::manifestPath(image));
  auto volume = test::entriesOf(manifest, volumeName, "volume").at(0);
  Scan table(test::imagePath(image), volume);
  Scan list(test::imagePath(image), volume, 0);
  // Without memory for the FAT's bitmap the list scan reads every cluster; the table scan
  // only those that can start a folder. Both find the same.
  auto everyCluster = [](const Scan& scan) {
    for (const auto& text : scan.t->report.statuses())
      if (text.find("every cluster") != std::string::npos) return true;
    return false;
  };
  EXPECT_FALSE(everyCluster(table));
  EXPECT_TRUE(everyCluster(list));
  EXPECT_TRUE(table.t->scan.directoryTable.tableMode() || table.t->scan.directoryTable.empty());
  EXPECT_EQ(list.dump, table.dump);
  EXPECT_GT(table.t->scan.catalogue.recordCount(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Volumes, QuickFatScan,
                         ::testing::ValuesIn(test::kFatVolumeCases), test::FatVolumeCaseName());

}  // namespace
}  // namespace tessaly

// The sweep, the lost-directory search and the tree builder on crafted volumes.
#include <gtest/gtest.h>

#include <set>

#include "fat/crafted_fat.h"
#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"

namespace tessaly {
namespace {

std::vector<std::string> namesUnder(ScanState& s, TreeItem item) { return test::childNames(s.folderTree, item); }

TreeItem childNamed(ScanState& s, TreeItem item, const std::string& name) {
  for (TreeItem c : s.folderTree.children(item))
    if (s.folderTree.text(c) == name) return c;
  return kNoItem;
}

TEST(Sweep, AVolumeWithoutDirectoriesYieldsTheLostRowAlone) {
  test::CraftedFat v;
  sweepDirectories(v.session(), v.scan());
  const DirectoryTable& table = v.scan().directoryTable;
  ASSERT_EQ(table.rowCount(), 1u);
  EXPECT_FALSE(table.tableMode());
  EXPECT_EQ(table.name(0), "Lost");
  EXPECT_EQ(table.self(0), kLostId);
  for (const auto& text : v.t->report.statuses())
    EXPECT_EQ(text.find("Dumping"), std::string::npos);
}

TEST(Sweep, DirectoriesMustNameThemselvesAndSortByParent) {
  test::CraftedFat v(FileSystem::Fat16, 2);
  v.directory(10, 12);      // child of 12
  v.directory(12, 0);       // in the root
  v.directory(14, 0, 99);   // a stale copy: its "." names cluster 99
  v.directory(16, 10);
  sweepDirectories(v.session(), v.scan());
  const DirectoryTable& table = v.scan().directoryTable;
  ASSERT_EQ(table.rowCount(), 4u);
  EXPECT_TRUE(table.tableMode());
  EXPECT_EQ(table.name(0), "Lost");
  EXPECT_EQ(table.self(1), 12u);  // parent 0 right after "Lost"
  EXPECT_EQ(table.self(2), 16u);  // parent 10
  EXPECT_EQ(table.self(3), 10u);  // parent 12
  EXPECT_EQ(table.row(1).sector, v.clusterSector(12));
  EXPECT_EQ(v.t->report.lastCounter(Counter::FoldersFound), "4");
}

TEST(Sweep, OnlyFreeClustersAndChainStartsAreReadUnlessTheFatIsImplausible) {
  test::CraftedFat v(FileSystem::Fat16, 1);
  v.directory(30, 0);       // deleted: its cluster is free
  v.chain({40});            // live
  v.directory(40, 0);
  v.chain({20, 21, 22});    // a file whose second cluster holds a copy of a folder's start
  v.directory(21, 0);
  sweepDirectories(v.session(), v.scan());
  std::set<std::uint32_t> found;
  for (std::size_t i = 1; i < v.scan().directoryTable.rowCount(); ++i) found.insert(v.scan().directoryTable.self(i));
  EXPECT_EQ(found, (std::set<std::uint32_t>{30, 40}));
  EXPECT_EQ(v.t->report.lastStatus().find("every cluster"), std::string::npos);

  // Entries pointing outside the volume in both copies: every cluster is read, and the
  // status line says why.
  for (std::uint32_t c = 100; c < 110; ++c) v.fat(c, 0xFF00);
  v.t->report.clear();
  sweepDirectories(v.session(), v.scan());
  EXPECT_EQ(v.scan().directoryTable.rowCount(), 4u);
  bool said = false;
  for (const auto& text : v.t->report.statuses()) said = said || text.find("every cluster") != std::string::npos;
  EXPECT_TRUE(said);
}

TEST(Sweep, StopEndsThePassAndKeepsWhatWasFound) {
  test::CraftedFat v;
  v.directory(10, 0);
  v.directory(200, 0);
  // The report stands in for the Stop button: the first progress update stops the sweep.
  v.t->report.setListener([&](const test::RecordingReport::Event& e) {
    if (e.kind == test::RecordingReport::Event::ScanProgress) v.scan().stopRequested = true;
  });
  sweepDirectories(v.session(), v.scan());
  EXPECT_FALSE(v.scan().sweepRunning);
  EXPECT_LT(v.scan().directoryTable.rowCount(), 3u);
}

TEST(LostDirectories, RowsWithoutTheirParentGoUnderLost) {
  for (bool listMode : {false, true}) {
    test::CraftedFat v;
    Session& session = v.session();
  ScanState& s = v.scan();
    DirectoryTable& table = s.directoryTable;
    if (!listMode) {
      ASSERT_TRUE(table.enterTableMode(session.memoryLimit, 4));
    }
    table.append(DirectoryRow::lost());
    DirectoryRow a, b, c;
    a.self = 5, a.parent = 0, b.self = 9, b.parent = 5, c.self = 11, c.parent = 77;
    for (auto* r : {&a, &b, &c}) r->name = "Dir";
    table.append(a), table.append(b), table.append(c);
    markLostDirectories(session, s);
    EXPECT_EQ(table.parent(0), 0u);
    EXPECT_EQ(table.parent(1), 0u);
    EXPECT_EQ(table.parent(2), 5u);
    EXPECT_EQ(table.parent(3), kLostId) << (listMode ? "list" : "table");
    EXPECT_EQ(v.t->report.statuses(),
              (std::vector<std::string>{"Searching Lost Directories 2/4", "Searching Lost Directories 3/4"}));
  }
}

// The status lines of the lost-directory check and of the scan around it, without a
// language file and with the English one loaded: message 184 has a short English text of
// its own for the counting line.
TEST(LostDirectories, StatusLinesWithAndWithoutTheEnglishFile) {
  for (bool english : {false, true}) {
    SCOPED_TRACE(english ? "English file" : "no language file");
    test::CraftedFat v;
    Session& session = v.session();
    if (english) session.messages = std::make_shared<MessageCatalogue>(test::stageDir(), "EnglishA.dat");
    ScanState& s = v.scan();
    s.directoryTable.enterTableMode(session.memoryLimit, 4);
    s.directoryTable.append(DirectoryRow::lost());
    for (std::uint32_t i = 1; i <= 3; ++i) {
      DirectoryRow r;
      r.self = 10 + i;
      r.parent = 50;
      s.directoryTable.append(r);
    }
    markLostDirectories(session, s);
    const std::string counting = english ? "Searching Lost Directories. Please Wait..." : "Searching Lost Directories ";
    EXPECT_EQ(v.t->report.statuses(), (std::vector<std::string>{counting + "1/4", counting + "2/4", counting + "3/4"}));

    v.t->report.clear();
    s.partitionValid = 1;
    runQuickFatScan(session, s);
    const auto lines = v.t->report.statuses();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Searching Lost Directories. Please Wait...");
    EXPECT_EQ(lines.back(), "Building Folder Tree. Please Wait...");
  }
}

struct TreeVolume : test::CraftedFat {
  TreeVolume() : CraftedFat(FileSystem::Fat16) {}
  void runScan() {
    scan().partitionValid = 1;  // the layout is known; there is no boot sector to read
    runQuickFatScan(session(), scan());
  }
  TreeItem root() { return scan().folderTree.root(); }
};

TEST(TreeBuilder, NamesFoldersFromTheirParentsAndMarksDeletedSubtrees) {
  TreeVolume v;
  v.entry(v.rootSector(), 0, "A          ", 0x10, 5);
  v.entry(v.rootSector(), 1, "\xE5" "DEL       ", 0x10, 20);
  v.directory(5, 0);
  v.entry(v.clusterSector(5), 2, "B          ", 0x10, 9);
  v.directory(9, 5);
  v.directory(20, 0);
  v.entry(v.clusterSector(20), 2, "LIVE       ", 0x10, 21);  // live entry inside a deleted folder
  v.directory(21, 20);
  v.chain({5});
  v.chain({20});
  v.runScan();
  
  ScanState& s = v.scan();
  EXPECT_EQ(s.folderTree.text(v.root()), "Root");
  EXPECT_EQ(namesUnder(s, v.root()), (std::vector<std::string>{"Lost", "A", "_DEL"}));
  TreeItem a = childNamed(s, v.root(), "A");
  EXPECT_EQ(namesUnder(s, a), (std::vector<std::string>{"B"}));
  TreeItem deleted = childNamed(s, v.root(), "_DEL");
  TreeItem live = childNamed(s, deleted, "LIVE");
  ASSERT_NE(live, kNoItem);
  FolderRecord record;
  ASSERT_TRUE(s.catalogue.findTreeItem(live, &record));
  EXPECT_EQ(record.deleted, 1u);  // a deleted folder's children are deleted
  EXPECT_EQ(record.namesResolved, 1u);
  EXPECT_EQ(s.catalogue.treeBuilding.load(), 0u);
}

TEST(TreeBuilder, ADeletedFolderWhoseEntriesAreLostIsReadOnceForAllItsChildren) {
  TreeVolume v;
  auto disk = std::make_shared<platform::FaultyDevice>(v.device);  // records every read
  v.t->devices.attach(platform::DeviceTable::physicalDriveName(0), disk);
  v.entry(v.rootSector(), 0, "\xE5" "OLD       ", 0x10, 20);
  v.directory(20, 0);  // its entries were in a later cluster, now lost
  for (std::uint32_t c = 30; c < 35; ++c) v.directory(c, 20);
  v.runScan();
  ScanState& s = v.scan();
  const TreeItem old = childNamed(s, v.root(), "_OLD");
  ASSERT_NE(old, kNoItem);
  const auto children = namesUnder(s, old);
  ASSERT_EQ(children.size(), 5u);
  for (const auto& name : children) EXPECT_EQ(name.rfind("Dir", 0), 0u) << name;
  // The sweep, the climb towards the root and one reading of the directory.
  std::size_t reads = 0;
  for (const auto& request : disk->requests())
    reads += request.offset <= v.clusterSector(20) * 512 && request.offset + request.length > v.clusterSector(20) * 512;
  EXPECT_LE(reads, 3u);
}

TEST(TreeBuilder, ALiveRootEntryNameWinsWhateverTheOrder) {
  for (bool liveFirst : {true, false}) {
    TreeVolume v;
    v.entry(v.rootSector(), liveFirst ? 0 : 1, "LIVE       ", 0x10, 5);
    v.entry(v.rootSector(), liveFirst ? 1 : 0, "\xE5" "ONE       ", 0x10, 5);
    v.directory(5, 0);
    v.runScan();
    EXPECT_EQ(namesUnder(v.scan(), v.root()), (std::vector<std::string>{"Lost", "LIVE"}));
  }
}

TEST(TreeBuilder, ImplausibleLongNamesAndHiddenSubdirectoriesKeepTheirDirNames) {
  TreeVolume v;
  v.longName(v.rootSector(), 0, 0x41, "bad?name");
  v.entry(v.rootSector(), 1, "BADNAM~1   ", 0x10, 5);
  v.directory(5, 0);
  v.entry(v.clusterSector(5), 2, "HIDDEN     ", 0x12, 9);  // hidden bit too: not exactly 0x10
  v.directory(9, 5);
  v.chain({5});
  v.runScan();
  
  ScanState& s = v.scan();
  auto top = namesUnder(s, v.root());
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[1].rfind("Dir", 0), 0u);
  EXPECT_EQ(namesUnder(s, childNamed(s, v.root(), top[1]))[0].rfind("Dir", 0), 0u);
}

TEST(TreeBuilder, DotDotLinksThatFormACycleEnd) {
  TreeVolume v;
  // 30 and 31 name each other as parents; neither reaches the root.
  v.directory(30, 31);
  v.directory(31, 30);
  v.entry(v.clusterSector(30), 2, "X          ", 0x10, 31);
  v.entry(v.clusterSector(31), 2, "Y          ", 0x10, 30);
  v.runScan();  // must return
  EXPECT_GE(v.scan().catalogue.recordCount(), 1u);
}

TEST(TreeBuilder, OpeningAFolderRenamesItsChildrenOnce) {
  TreeVolume v;
  v.entry(v.rootSector(), 0, "A          ", 0x10, 5);
  v.directory(5, 0);
  v.entry(v.clusterSector(5), 2, "B          ", 0x10, 9);
  v.directory(9, 5);
  v.chain({5});
  v.runScan();
  Session& session = v.session();
  ScanState& s = v.scan();
  TreeItem a = childNamed(s, v.root(), "A");
  TreeItem b = childNamed(s, a, "B");
  // As after loading a recovery log: names not resolved yet, and a new name on disk.
  s.folderTree.setText(b, "Dir2");
  s.catalogue.findTreeItem(a);
  s.catalogue.setCursor(s.catalogue.lastRecord());
  s.catalogue.nextFlag(ScanCatalogue::Field::NamesResolved, 'w', 0);
  v.sector(v.clusterSector(5))[64] = 0xE5;  // B's entry now deleted
  resolveChildNames(session, s, a);
  EXPECT_EQ(s.folderTree.text(b), "_");
  FolderRecord record;
  s.catalogue.findTreeItem(b, &record);
  EXPECT_EQ(record.name, "_");
  EXPECT_EQ(record.deleted, 1u);
  s.folderTree.setText(b, "unchanged");
  resolveChildNames(session, s, a);  // resolved once only
  EXPECT_EQ(s.folderTree.text(b), "unchanged");
}

}  // namespace
}  // namespace tessaly

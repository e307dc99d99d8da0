// The Quick MFT scan, the NTFS lost-folder check, the NTFS tree and the NTFS file rows on
// crafted $MFTs: the cases the real image does not hold (states, odd runs, sizes above
// 4 GiB, attribute-list segments, metadata records, stops in the middle of the walk).
#include <gtest/gtest.h>

#include <algorithm>

#include "fat/directory_sweep.h"
#include "fat/tree_builder.h"
#include "ntfs/entry_tables.h"
#include "ntfs/file_list.h"
#include "ntfs/mft_quick_scan.h"
#include "ntfs_builders.h"
#include "recovery/folder_contents.h"
#include "recovery/quick_scan.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::MemoryDevice;
using test::RecordBuilder;

constexpr std::uint64_t kFiveGiB = 5ull << 30;

// A $MFT on a memory disk. By default one run of 64 records at sector 1000; tests may
// give other runs before placing records.
struct CraftedMft {
  static constexpr std::uint32_t kMft = 1000;
  std::shared_ptr<MemoryDevice> disk = std::make_shared<MemoryDevice>(4096);
  std::unique_ptr<test::TestSession> t = std::make_unique<test::TestSession>(disk);
  test::TempDir install;

  explicit CraftedMft(std::size_t memoryLimit = SIZE_MAX) {
    Session& s = session();
    s.installFolder = install.path();
    s.memoryLimit = memoryLimit;
    s.partitionSelection.fileSystem = FileSystem::Ntfs;
    state().volume.fileSystem = FileSystem::Ntfs;
    state().workingVolume.fileSystem = FileSystem::Ntfs;
    state().mftRuns.append(kMft, 128);
  }
  Session& session() { return t->session; }
  ScanState& state() { return t->scan; }

  void putAt(std::uint32_t sector, const RecordBuilder& b) {
    auto bytes = b.protectedBytes();
    std::copy(bytes.begin(), bytes.end(), disk->bytes().begin() + static_cast<long>(sector) * 512);
  }
  void put(std::uint32_t record, const RecordBuilder& b) { putAt(sectorOfRecord(state().mftRuns, record), b); }

  static RecordBuilder named(std::uint8_t state, std::uint32_t parent, const std::u16string& name,
                             std::uint8_t nameSpace = mft::kNamespaceWin32) {
    RecordBuilder b(state);
    b.standardInfo(1, 2, 3);
    b.fileName(parent, nameSpace, name, 0x01D0000000000000ull + parent);
    return b;
  }
  void folder(std::uint32_t record, std::uint8_t state, std::uint32_t parent, const std::u16string& name) {
    put(record, named(state, parent, name));
  }
  void file(std::uint32_t record, std::uint8_t state, std::uint32_t parent, const std::u16string& name,
            std::uint64_t size = 10) {
    RecordBuilder b = named(state, parent, name);
    if (size > 100)
      b.nonResident(mft::kTypeData, {0x11, 1, 50}, size);
    else
      b.resident(mft::kTypeData, test::Bytes(size, 'x'));
    put(record, b);
  }

  void walk() { scanMftQuick(session(), state()); }
  // What the scan thread does after the walk.
  void scanAndBuild() {
    walk();
    markLostNtfsFolders(session(), state());
    buildNtfsTree(session(), state());
  }

  TreeItem root() { return state().folderTree.root(); }
  TreeItem child(TreeItem item, const std::string& name) {
    for (TreeItem c : state().folderTree.children(item))
      if (state().folderTree.text(c) == name) return c;
    return kNoItem;
  }
  std::vector<std::string> names(TreeItem item) { return test::childNames(state().folderTree, item); }
  std::vector<NtfsEntry> entries(EntryKind kind) {
    NtfsEntryTable table(state(), kind);
    std::vector<NtfsEntry> out;
    for (std::size_t i = 0; i < table.size(); ++i) out.push_back(table.entry(i));
    return out;
  }
  std::optional<NtfsEntry> entry(EntryKind kind, std::uint32_t self) {
    for (const NtfsEntry& e : entries(kind))
      if (e.self == self) return e;
    return std::nullopt;
  }
};

const std::size_t kModes[] = {SIZE_MAX, 0};
std::string modeName(std::size_t limit) { return limit == 0 ? "list mode" : "table mode"; }

TEST(MftQuickScan, RecordStatesGiveKindAndDeletedMark) {
  for (std::size_t limit : kModes) {
    SCOPED_TRACE(modeName(limit));
    CraftedMft m(limit);
    m.file(30, 0, 5, u"gone.txt");
    m.file(31, 1, 5, u"live.txt");
    m.folder(32, 2, 5, u"GoneDir");
    m.folder(33, 3, 5, u"LiveDir");
    m.file(34, 9, 5, u"other.txt");  // any other state: a file in use
    m.walk();
    EXPECT_EQ(m.state().entryTablesOk, limit != 0);
    if (limit != 0) {
      // Arrays of the counted size: two folder entries more than the folders found, one
      // per file.
      EXPECT_EQ(m.state().folderEntries.capacity(), 4u);
      EXPECT_EQ(m.state().fileEntries.capacity(), 3u);
    }
    struct Want {
      EntryKind kind;
      std::uint32_t self;
      RowKind rowKind;
      bool deleted;
    };
    for (Want w : {Want{EntryKind::File, 30, RowKind::File, true}, Want{EntryKind::File, 31, RowKind::File, false},
                   Want{EntryKind::Folder, 32, RowKind::Folder, true},
                   Want{EntryKind::Folder, 33, RowKind::Folder, false},
                   Want{EntryKind::File, 34, RowKind::File, false}}) {
      auto e = m.entry(w.kind, w.self);
      ASSERT_TRUE(e) << w.self;
      EXPECT_EQ(e->kind, w.rowKind) << w.self;
      EXPECT_EQ(e->deleted, w.deleted) << w.self;
      EXPECT_EQ(e->sector, sectorOfRecord(m.state().mftRuns, w.self));
      EXPECT_EQ(e->parent, 5u);
    }
    EXPECT_FALSE(m.entry(EntryKind::File, 32));
    EXPECT_FALSE(m.entry(EntryKind::Folder, 30));
    EXPECT_EQ(m.entry(EntryKind::Folder, 32)->size, 0u);
    EXPECT_EQ(m.entry(EntryKind::File, 30)->size, 10u);
    EXPECT_EQ(m.entry(EntryKind::File, 30)->date, std::to_string(0x01D0000000000005ull));
  }
}

TEST(MftQuickScan, NamesAndSizesComeFromTheAttributeListSegmentsInOrder) {
  for (std::size_t limit : kModes) {
    SCOPED_TRACE(modeName(limit));
    CraftedMft m(limit);
    // Record 40 keeps only its standard information; its name and data lie in record 41,
    // and the POSIX name of record 42, listed first, counts only when no segment has
    // another.
    RecordBuilder base(0);
    base.standardInfo(1, 2, 3);
    base.resident(mft::kTypeAttributeList,
                  test::attributeListContent({{mft::kTypeStandardInformation, 40},
                                              {mft::kTypeFileName, 42},
                                              {mft::kTypeFileName, 41},
                                              {mft::kTypeData, 41}}));
    m.put(40, base);
    RecordBuilder dosOnlyElsewhere(1);
    dosOnlyElsewhere.fileName(5, mft::kNamespacePosix, u"posix name");
    m.put(42, dosOnlyElsewhere);
    RecordBuilder extension(1);
    extension.fileName(7, mft::kNamespaceWin32AndDos, u"SPLIT.BIN");
    extension.nonResident(mft::kTypeData, {0x11, 1, 60}, kFiveGiB);
    m.put(41, extension);
    m.folder(7, 3, 5, u"Seven");
    // A record whose only name is POSIX gives an entry under it.
    RecordBuilder posix(0);
    posix.fileName(5, mft::kNamespacePosix, u"posix only.txt");
    m.put(43, posix);
    m.walk();
    auto e = m.entry(EntryKind::File, 40);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "SPLIT.BIN");
    EXPECT_EQ(e->parent, 7u);
    EXPECT_EQ(e->size, kFiveGiB);
    EXPECT_TRUE(e->deleted);
    ASSERT_TRUE(m.entry(EntryKind::File, 43));
    EXPECT_EQ(m.entry(EntryKind::File, 43)->name, "posix only.txt");
  }
}

TEST(MftQuickScan, AnOddRunEndsWithAPlaceReachingPastItAndTheNextRunCountsOn) {
  CraftedMft m;
  m.state().mftRuns.clear();
  m.state().mftRuns.append(1000, 5);  // places 1000, 1002, 1004 (records 0, 1, 2)
  m.state().mftRuns.append(0, 2);     // sparse: place 0 (record 3)
  m.state().mftRuns.append(2000, 4);  // places 2000, 2002 (records 4, 5)
  // Record 2 lies at 1004 and 1005, just past its run; its name is in its second sector.
  RecordBuilder straddling(1);
  straddling.resident(0x100, test::Bytes(480, 0));
  ASSERT_GT(straddling.next(), 512u);
  straddling.fileName(5, mft::kNamespaceWin32, u"straddling.txt");
  m.putAt(1004, straddling);
  m.putAt(1000, CraftedMft::named(1, 5, u"first.txt"));
  m.putAt(2000, CraftedMft::named(1, 5, u"after.txt"));
  m.putAt(2002, CraftedMft::named(1, 5, u"last.txt"));
  m.walk();
  std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>> got;
  for (const NtfsEntry& e : m.entries(EntryKind::File)) got.emplace_back(e.name, e.self, e.sector);
  EXPECT_EQ(got, (decltype(got){{"first.txt", 0, 1000},
                                 {"straddling.txt", 2, 1004},
                                 {"after.txt", 4, 2000},
                                 {"last.txt", 5, 2002}}));
  // Six places of two sectors over 11 sectors of runs: the count passes the total, the
  // progress bar stops at 100.
  EXPECT_EQ(m.t->report.lastStatus(), "Sector  12 / 11");
  const auto progress = m.t->report.scanPercents();
  EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 100);
}

TEST(MftQuickScan, WhenEitherArrayIsRefusedBothTablesAreLists) {
  CraftedMft m;
  m.folder(30, 3, 5, u"Dir");
  for (std::uint32_t r = 31; r < 41; ++r) m.file(r, 0, 30, u"f" + std::u16string(1, char16_t(u'a' + r - 31)));
  // Room for the folder array (two folders found: 3 entries) but not for the 10 files.
  m.session().memoryLimit = 3 * kNtfsEntryBytes;
  m.scanAndBuild();
  EXPECT_FALSE(m.state().entryTablesOk);
  EXPECT_TRUE(m.state().folderEntries.empty());
  EXPECT_EQ(m.state().fileTable.rowCount(), 10u);
  TreeItem dir = m.child(m.root(), "Dir");
  ASSERT_NE(dir, kNoItem);
  EXPECT_EQ(listFolder(m.session(), m.state(), dir).rows.size(), 10u);
}

TEST(MftQuickScan, LostKeepsParentFiveAndSortsAmongTheFolders) {
  for (std::size_t limit : kModes) {
    SCOPED_TRACE(modeName(limit));
    CraftedMft m(limit);
    // No record 5: a folder of the root is still never lost.
    m.folder(30, 3, 2, u"Orphan");  // parent 2 is no folder
    m.folder(31, 3, 5, u"Top");
    m.folder(32, 3, 31, u"Child");
    m.folder(33, 2, 99, u"Stray");  // parent 99 is not in the table
    m.walk();
    // The walk files the folders whose parent is no folder under "Lost" before the sort.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;  // (self, parent)
    for (const NtfsEntry& e : m.entries(EntryKind::Folder)) order.emplace_back(e.self, e.parent);
    const decltype(order) sorted{{kLostId, 5}, {31, 5}, {32, 31}, {30, kLostId}, {33, kLostId}};
    EXPECT_EQ(order, sorted);
    EXPECT_EQ(m.entries(EntryKind::Folder)[0].name, "Lost");

    markLostNtfsFolders(m.session(), m.state());
    order.clear();
    for (const NtfsEntry& e : m.entries(EntryKind::Folder)) order.emplace_back(e.self, e.parent);
    EXPECT_EQ(order, sorted);

    buildNtfsTree(m.session(), m.state());
    EXPECT_EQ(m.names(m.root()), (std::vector<std::string>{"Lost", "Top"}));
    EXPECT_EQ(m.names(m.child(m.root(), "Lost")), (std::vector<std::string>{"Orphan", "Stray"}));
    EXPECT_EQ(m.names(m.child(m.root(), "Top")), (std::vector<std::string>{"Child"}));
    FolderRecord stray;
    ASSERT_TRUE(m.state().catalogue.findTreeItem(m.child(m.child(m.root(), "Lost"), "Stray"), &stray));
    EXPECT_EQ(stray.deleted, 1u);
    EXPECT_EQ(stray.selfId, 33u);
    // A folder's date and time are both its FILETIME.
    EXPECT_EQ(stray.date, 0x01D0000000000000ull + 99);
    EXPECT_EQ(stray.time, stray.date);
    EXPECT_EQ(m.state().catalogue.treeBuilding.load(), 0u);
    // The list form's rows are in the catalogue now.
    if (limit == 0) {
      EXPECT_EQ(m.state().directoryTable.rowCount(), 0u);
    }
  }
}

TEST(MftQuickScan, FileRowsShowDeletedFilesOfRecordTwentyOnInFullSize) {
  for (std::size_t limit : kModes) {
    SCOPED_TRACE(modeName(limit));
    CraftedMft m(limit);
    m.folder(5, 3, 5, u".");
    m.file(19, 0, 5, u"metadata.bin");  // below 20: never listed, deleted or not
    m.file(20, 0, 5, u"huge.bin", kFiveGiB);
    m.file(21, 1, 5, u"live.txt");
    m.folder(22, 3, 5, u"Docs");
    m.file(23, 0, 22, u"report.doc", 300);
    m.scanAndBuild();
    EXPECT_EQ(m.names(m.root()), (std::vector<std::string>{"Lost", "Docs"}));  // not the root itself

    // The root has no catalogue record: its files are those of record 5.
    FolderContents root = listFolder(m.session(), m.state(), m.root());
    EXPECT_EQ(root.folderId, 5u);
    ASSERT_EQ(root.rows.size() - root.folderRows, 1u);
    const FileRow& huge = root.rows.back();
    EXPECT_EQ(huge.columns[kColName], "huge.bin");
    EXPECT_EQ(huge.columns[kColType], "Deleted File");
    EXPECT_EQ(huge.image, 19);
    EXPECT_EQ(huge.columns[kColSize], "5368709120");
    EXPECT_EQ(huge.columns[kColDebug1], std::to_string(sectorOfRecord(m.state().mftRuns, 20)));
    EXPECT_EQ(huge.columns[kColDebug2], "5");
    EXPECT_EQ(huge.columns[kColDebug3], "20");
    // 0x01D0000000000005 is 2014-11-14 11:41:59 UTC.
    EXPECT_EQ(huge.columns[kColDate], "14-Nov-2014");
    EXPECT_EQ(huge.columns[kColTime], "11:41:59");

    auto docs = listNtfsFiles(m.state(), 22);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].columns[kColType], "Deleted Word File");
    EXPECT_EQ(docs[0].columns[kColSize], "300");
  }
}

TEST(MftQuickScan, AWalkEndedMidwayStillGivesTheTreeOfWhatItFound) {
  CraftedMft m;
  m.folder(5, 3, 5, u".");
  // Ended before its sort, the walk leaves X (parent 60) before C (parent 40).
  m.folder(30, 3, 60, u"X");
  m.folder(31, 3, 40, u"C");
  m.folder(40, 3, 5, u"P40");
  m.folder(60, 3, 5, u"P60");
  m.folder(62, 3, 5, u"Late");  // after the stop
  // The Stop command: the worker is ended when the entry pass reaches record 61.
  m.t->report.setListener([&](const test::RecordingReport::Event& e) {
    if (e.kind == test::RecordingReport::Event::Status && e.text == "Sector  " + std::to_string(2 * 62) + " / 128")
      m.session().worker.end();
  });
  EXPECT_THROW(m.walk(), WorkerEnded);
  m.session().worker.reset();
  finishStoppedScan(m.session(), m.state());
  const TreeItem root = m.root();
  EXPECT_EQ(m.names(root), (std::vector<std::string>{"Lost", "P40", "P60"}));
  EXPECT_EQ(m.names(m.child(root, "P40")), (std::vector<std::string>{"C"}));
  EXPECT_EQ(m.names(m.child(root, "P60")), (std::vector<std::string>{"X"}));
}

TEST(NtfsTree, RepeatedOwnNumbersCannotMakeTheBuildEndless) {
  CraftedMft m;
  ScanState& s = m.state();
  ASSERT_TRUE(allocateEntryTables(s, SIZE_MAX, 4, 0));
  // C (10) is in the root; B (20) in C; A repeats C's number and lies in B.
  for (auto [name, self, parent] : {std::tuple{"Lost", kLostId, 5u}, std::tuple{"C", 10u, 5u},
                                    std::tuple{"A", 10u, 20u}, std::tuple{"B", 20u, 10u}})
    appendEntry(s, EntryKind::Folder, name, parent, 0, 0, self, 0, false);
  buildNtfsTree(m.session(), s);
  const TreeItem b = m.child(m.child(m.root(), "C"), "B");
  ASSERT_NE(b, kNoItem);
  EXPECT_EQ(m.names(b), (std::vector<std::string>{"A"}));
  EXPECT_TRUE(m.names(m.child(b, "A")).empty());
  EXPECT_EQ(s.catalogue.recordCount(), 4u);
}

TEST(MftQuickScan, ReleasingTheResultsFreesTheNtfsTables) {
  for (std::size_t limit : kModes) {
    CraftedMft m(limit);
    m.file(30, 0, 5, u"a.txt");
    m.folder(31, 3, 5, u"D");
    m.walk();
    releaseScanState(m.state());
    EXPECT_FALSE(m.state().entryTablesOk);
    EXPECT_EQ(m.state().folderEntries.capacity(), 0u);
    EXPECT_EQ(m.state().fileEntries.capacity(), 0u);
    EXPECT_TRUE(m.state().directoryTable.empty());
    EXPECT_TRUE(m.state().fileTable.empty());
    EXPECT_TRUE(listNtfsFiles(m.state(), 5).empty());
  }
}

}  // namespace
}  // namespace tessaly

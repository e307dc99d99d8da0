#include "fat/tree_builder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk/le.h"
#include "disk/name_text.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/directory_entry.h"
#include "ntfs/entry_tables.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;
using Field = ScanCatalogue::Field;

namespace {

using Sector = std::array<std::uint8_t, 512>;

bool startsWithDir(const std::string& name) {
  return name.size() >= 3 && std::tolower(static_cast<unsigned char>(name[0])) == 'd' &&
         std::tolower(static_cast<unsigned char>(name[1])) == 'i' &&
         std::tolower(static_cast<unsigned char>(name[2])) == 'r';
}

// One directory sector; a sector that cannot be read comes back as zeros, which end
// every walk over its entries.
Sector readSector(Session& session, std::uint64_t s) {
  Sector sector{};
  if (!readDiskSectors(session, s, 1, sector).delivered()) sector.fill(0);
  return sector;
}

std::span<const std::uint8_t> entryAt(const Sector& sector, std::size_t i) {
  return std::span<const std::uint8_t>(sector).subspan(i * de::kSize, de::kSize);
}

// The root naming pass: root entries name the table's top-level rows.
void nameFromRootSector(Session& session, ScanState& scan, const Sector& sector, DirectorySector place) {
  DirectoryTable& table = scan.directoryTable;
  const FileSystem fs = scan.fileSystem();
  for (std::size_t i = 0; i < de::kPerSector; ++i) {
    auto entry = entryAt(sector, i);
    if (entry[0] == 0) return;
    if (isDotEntry(entry) || entry[de::kAttributes] == de::kLongNameAttributes) continue;
    auto name = decodeEntryName(session, sector, i * de::kSize, place);
    if (!name) continue;
    const std::uint32_t p = entryCluster(entry, fs);
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
      if (table.self(r) != p || table.parent(r) != 0) continue;
      // A live entry's name is kept; a name taken from a deleted entry or a "Dir" name
      // gives way.
      if (!startsWithDir(table.name(r)) && !table.deleted(r)) break;
      table.setName(r, name->name);
      table.setDeleted(r, name->deleted);
      break;
    }
  }
}

void rootNamingPass(Session& session, ScanState& scan) {
  const VolumeParameters& v = scan.workingVolume;
  if (v.fileSystem == FileSystem::Fat32) {
    const ClusterChain chain = walkDirectoryChain(session, v, v.rootDirStart, 0);
    for (const DirectorySector& place : chainSectors(v, chain))
      nameFromRootSector(session, scan, readSector(session, place.number), place);
    return;
  }
  if (v.rootDirStart == 0) return;
  for (std::uint32_t s = 0; s < v.rootDirSectors; ++s) {
    const std::uint64_t number = std::uint64_t{v.rootDirStart} + s;
    nameFromRootSector(session, scan, readSector(session, number), DirectorySector::contiguous(number));
  }
}

// Where insertChildren finds the children of each NTFS folder: every folder row, in
// table order, under its parent number, worked out in one pass over the table. On the
// table the scan leaves (sorted by parent) these are exactly the rows a scan that stops at
// the first greater parent reaches; a table that is not sorted (a walk ended before its
// sort) loses no folder, and the tree costs one pass instead of one per folder.
//
// Each row goes into the tree once at most. Own numbers are unique in a table the scan
// made, so this changes nothing there; a table with repeated own numbers could otherwise
// make a folder its own descendant and the build endless.
class NtfsChildIndex {
 public:
  explicit NtfsChildIndex(const NtfsEntryTable& folders) : inserted_(folders.size(), false) {
    for (std::size_t r = 0; r < folders.size(); ++r)
      if (folders.kind(r) == RowKind::Folder) children_[folders.parent(r)].push_back(r);
  }
  const std::vector<std::size_t>& children(std::uint32_t folderId) const {
    static const std::vector<std::size_t> none;
    auto it = children_.find(folderId);
    return it == children_.end() ? none : it->second;
  }
  // True the first time a row is asked for.
  bool take(std::size_t r) {
    if (inserted_[r]) return false;
    inserted_[r] = true;
    return true;
  }

 private:
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> children_;
  std::vector<bool> inserted_;
};

// Inserts the NTFS child folders of folder `folderId` under its item. No naming: the
// entries carry their names; a folder's date and time are both its FILETIME.
void insertNtfsChildren(Session& session, ScanState& scan, const NtfsEntryTable& folders, NtfsChildIndex& index,
                        std::uint32_t folderId, TreeItem item) {
  for (std::size_t r : index.children(folderId)) {
    if (!index.take(r)) continue;
    const NtfsEntry entry = folders.entry(r);
    const auto time = static_cast<std::uint64_t>(entry.fileTime());
    insertFolder(session, scan, item, entry.name, entry.self, time, time, entry.parent, entry.deleted ? 1 : 0);
  }
}

// Steps shared by the builders once the top-level folders are in: the root named and
// expanded, then the breadth-first walk over the catalogue (which also visits the
// records appended while it runs), calling visit(record) and showing the progress.
template <typename Visit>
void walkCatalogue(Session& session, ScanState& scan, TreeItem root, Visit&& visit) {
  ScanCatalogue& catalogue = scan.catalogue;
  Report& report = *session.report;
  scan.folderTree.expand(root);
  scan.folderTree.setText(root, "Root");
  report.scanProgress(0);
  int shown = 0;
  for (std::size_t k = 0; k < catalogue.recordCount(); ++k) {
    session.safePoint();
    FolderRecord record;
    catalogue.readRecord(k, record);
    visit(record);
    const int percent = catalogue.folderCount > 0
                            ? static_cast<int>(static_cast<std::int64_t>(k + 1) * 100 / catalogue.folderCount)
                            : 100;
    if (percent > shown) {
      shown = percent;
      report.scanProgress(percent);
      report.scanProgressText(std::to_string(percent) + "% ");
    }
  }
}

// The end of a build: the tree may be expanded by the user again, every folder collapsed
// and its children's names counted as resolved, the tree enabled.
void finishTree(ScanState& scan) {
  ScanCatalogue& catalogue = scan.catalogue;
  catalogue.treeBuilding = 0;
  for (std::size_t k = 0; k < catalogue.recordCount(); ++k) {
    FolderRecord record;
    catalogue.readRecord(k, record);
    scan.folderTree.collapse(record.treeItem);
    catalogue.setCursor(static_cast<std::uint32_t>(k * folderrecord::kSize));
    catalogue.nextFlag(Field::NamesResolved, 'w', 1);
  }
  scan.folderTree.setEnabled(true);
}

// Where the children of each FAT folder are in the table, found in one pass over it and
// a sort, so that a tree of n folders does not cost n walks over the table. The table is
// sorted by parent, except for the rows marked lost (kLostId) or with no parent
// (0xFFFFFFFF), which keep their places. A folder's children are its folder rows in
// table order that come before any row of a greater parent, the marked rows aside: on a
// table that is not sorted (a walk ended before its sort) the same rows as a walk from
// the top that stops at the first greater parent.
class FatChildIndex {
 public:
  explicit FatChildIndex(const DirectoryTable& table) {
    std::uint32_t highest = 0;  // the greatest parent so far, the marked rows aside
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
      if (table.kind(r) != RowKind::Folder) continue;
      const std::uint32_t parent = table.parent(r);
      if (parent >= highest) rows_.push_back({parent, static_cast<std::uint32_t>(r)});
      if (parent != 0xFFFFFFFFu && parent != kLostId) highest = std::max(highest, parent);
    }
    std::sort(rows_.begin(), rows_.end());
  }
  // The rows of folder `folderId`'s children, in table order.
  template <typename Visit>
  void forEachChild(std::uint32_t folderId, Visit&& visit) const {
    auto it = std::lower_bound(rows_.begin(), rows_.end(), std::pair<std::uint32_t, std::uint32_t>{folderId, 0});
    for (; it != rows_.end() && it->first == folderId; ++it) visit(std::size_t{it->second});
  }

 private:
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rows_;  // parent, row
};

// Inserts the child folders of FAT folder `folderId` under its item; mode 'y' names them
// from the folder's directory entries first.
void insertFatChildren(Session& session, ScanState& scan, const FatChildIndex& index, std::uint32_t folderId,
                       TreeItem item, char mode, std::uint32_t parentId, std::uint32_t deleted) {
  DirectoryTable& table = scan.directoryTable;
  // One reading of the folder's directory names every child it can: a child still
  // without a name after it (its entry was in a cluster of a deleted folder that is
  // lost) does not read the directory again, which would name nothing new.
  bool named = false;
  index.forEachChild(folderId, [&](std::size_t r) {
    if (r < scan.rowsInTree.size()) {
      if (scan.rowsInTree[r]) return;  // already in the tree: this second path is not followed
      scan.rowsInTree[r] = true;
    }
    if (mode == 'y' && !named && startsWithDir(table.name(r))) {
      nameChildren(session, scan, folderId, parentId, r, deleted);
      named = true;
    }
    if (deleted != 0) table.setDeleted(r, true);
    DirectoryRow row = table.row(r);
    insertFolder(session, scan, item, row.name, row.self, row.date, row.time, row.parent, row.deleted ? 1 : deleted);
  });
}

}  // namespace

void insertChildren(Session& session, ScanState& scan, const std::string& parentText, TreeItem item, char mode,
                    std::uint32_t parentId, std::uint32_t deleted) {
  // The id as the text was formatted ("%d"): the same 32 bits.
  const auto folderId = static_cast<std::uint32_t>(std::stoll(parentText));
  if (scan.fileSystem() == FileSystem::Ntfs) {
    const NtfsEntryTable folders(scan, EntryKind::Folder);
    NtfsChildIndex index(folders);
    insertNtfsChildren(session, scan, folders, index, folderId, item);
    return;
  }
  const FatChildIndex index(scan.directoryTable);
  insertFatChildren(session, scan, index, folderId, item, mode, parentId, deleted);
}

void nameChildren(Session& session, ScanState& scan, std::uint32_t a, std::uint32_t parentId, std::size_t start,
                  std::uint32_t folderDeleted) {
  if (a == kLostId) return;  // directories right under "Lost" keep their "Dir" names
  DirectoryTable& table = scan.directoryTable;
  const VolumeParameters& v = scan.workingVolume;

  // Is the folder still connected to the root? Follow ".." links upwards, at most as
  // many as the table has rows, so that links forming a cycle end. What each folder on
  // the way was found to be is kept for the rest of the build: a deep tree reads each
  // link once, not once per folder below it.
  std::vector<std::uint32_t> climbed;
  std::unordered_set<std::uint32_t> onTheWay;
  std::optional<bool> reaches;
  std::uint32_t c = a;
  for (std::size_t steps = 0; steps <= table.rowCount() && !reaches; ++steps) {
    if (auto known = scan.reachesRoot.find(c); known != scan.reachesRoot.end()) {
      reaches = known->second;
      break;
    }
    if (!onTheWay.insert(c).second) break;  // the links loop
    climbed.push_back(c);
    Sector first = readSector(session, v.clusterSector(c));
    if (!isDirectoryStart(first)) break;
    c = entryCluster(entryAt(first, 1), v.fileSystem);
    if (c == 0) reaches = true;
  }
  for (std::uint32_t folder : climbed) scan.reachesRoot[folder] = reaches.value_or(false);
  const std::uint32_t walkParent = reaches.value_or(false) ? parentId : kLostId;

  const ClusterChain chain = walkDirectoryChain(session, v, a, walkParent);
  for (const DirectorySector& place : chainSectors(v, chain)) {
    Sector sector = readSector(session, place.number);
    for (std::size_t i = 0; i < de::kPerSector; ++i) {
      auto entry = entryAt(sector, i);
      if (entry[de::kAttributes] != de::kDirectoryBit) continue;
      if (entry[0] == 0) break;
      if (isDotEntry(entry)) continue;
      auto name = decodeEntryName(session, sector, i * de::kSize, place);
      if (!name) continue;
      const bool isDeleted = name->deleted || folderDeleted != 0;
      const std::uint32_t own = entryCluster(entry, v.fileSystem);
      for (std::size_t r = start; r < table.rowCount(); ++r) {
        const std::uint32_t parent = table.parent(r);
        if (parent > a) break;
        if (table.self(r) == own && parent == a) {
          table.setName(r, name->name);
          table.setDeleted(r, isDeleted);
          break;
        }
      }
    }
  }
}

int buildFatTree(Session& session, ScanState& scan) {
  DirectoryTable& table = scan.directoryTable;
  TreeModel& tree = scan.folderTree;
  const FileSystem fs = scan.fileSystem();
  const bool fat = isFat(fs);
  if (tree.root() == kNoItem) tree.insert(kNoItem, "Root", kImageClosedFolder, kImageClosedFolder);
  const TreeItem root = tree.root();
  scan.rowsInTree.assign(table.rowCount(), false);
  scan.reachesRoot.clear();

  rootNamingPass(session, scan);

  if (fat) {
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
      if (table.parent(r) != 0) continue;
      scan.rowsInTree[r] = true;
      DirectoryRow row = table.row(r);
      insertFolder(session, scan, root, row.name, row.self, row.date, row.time, 0, row.deleted ? 1 : 0);
    }
  }
  // Names and deleted marks change while the tree is built, parents do not.
  std::optional<FatChildIndex> index;
  if (fat) index.emplace(table);
  walkCatalogue(session, scan, root, [&](const FolderRecord& record) {
    if (index) {
      insertFatChildren(session, scan, *index, record.selfId, record.treeItem, 'y', record.parentId, record.deleted);
    } else if (fs == FileSystem::Ntfs) {
      const std::string id = std::to_string(static_cast<std::int32_t>(record.selfId));
      insertChildren(session, scan, id, record.treeItem, 'n', 0, 0);
    }
  });

  if (!table.tableMode()) table.clear();
  scan.rowsInTree = {};
  scan.reachesRoot = {};
  finishTree(scan);
  return 1;
}

int buildLoadedTree(Session& session, ScanState& scan) {
  DirectoryTable& table = scan.directoryTable;
  TreeModel& tree = scan.folderTree;
  const FileSystem fs = scan.fileSystem();
  if (tree.root() == kNoItem) tree.insert(kNoItem, "Root", kImageClosedFolder, kImageClosedFolder);
  const TreeItem root = tree.root();
  scan.rowsInTree.assign(table.rowCount(), false);
  if (fs == FileSystem::Fat16 || fs == FileSystem::Fat32) {
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
      if (table.parent(r) != 0) continue;
      scan.rowsInTree[r] = true;
      DirectoryRow row = table.row(r);
      insertFolder(session, scan, root, row.name, row.self, row.date, row.time, 0, row.deleted ? 1 : 0);
    }
  }
  std::optional<FatChildIndex> index;
  if (fs != FileSystem::Ntfs) index.emplace(table);
  walkCatalogue(session, scan, root, [&](const FolderRecord& record) {
    if (index)
      insertFatChildren(session, scan, *index, record.selfId, record.treeItem, 'n', 0, 0);
    else
      insertChildren(session, scan, std::to_string(static_cast<std::int32_t>(record.selfId)), record.treeItem, 'n',
                     0, 0);
  });
  table.clear();
  scan.rowsInTree = {};
  finishTree(scan);
  return 1;
}

int buildNtfsTree(Session& session, ScanState& scan) {
  TreeModel& tree = scan.folderTree;
  if (tree.root() == kNoItem) tree.insert(kNoItem, "Root", kImageClosedFolder, kImageClosedFolder);
  const TreeItem root = tree.root();
  NtfsEntryTable folders(scan, EntryKind::Folder);

  // Top level: "Lost" (hung under the root) and the folders whose parent is the root
  // directory, but not the root directory itself.
  for (std::size_t r = 0; r < folders.size(); ++r)
    if (folders.self(r) == kLostId) folders.setParent(r, kNtfsRootRecord);
  NtfsChildIndex index(folders);
  for (std::size_t r = 0; r < folders.size(); ++r) {
    if (folders.parent(r) != kNtfsRootRecord || folders.self(r) == kNtfsRootRecord) continue;
    index.take(r);
    const NtfsEntry entry = folders.entry(r);
    const auto time = static_cast<std::uint64_t>(entry.fileTime());
    insertFolder(session, scan, root, entry.name, entry.self, time, time, kNtfsRootRecord, entry.deleted ? 1 : 0);
  }

  walkCatalogue(session, scan, root, [&](const FolderRecord& record) {
    insertNtfsChildren(session, scan, folders, index, record.selfId, record.treeItem);
    tree.expand(record.treeItem);
  });

  // In list form the folders are rows of the DirectoryTable; the catalogue holds them now.
  if (!folders.tableMode()) scan.directoryTable.clear();
  finishTree(scan);
  return 1;
}

int renameChildrenInSector(Session& session, ScanState& scan, DirectorySector place, std::uint32_t a,
                           TreeItem /*item*/) {
  ScanCatalogue& catalogue = scan.catalogue;
  const FileSystem fs = scan.fileSystem();
  Sector sector = readSector(session, place.number);
  for (std::size_t i = 0; i < de::kPerSector; ++i) {
    auto entry = entryAt(sector, i);
    if (entry[0] == 0) return 0;
    if (isDotEntry(entry) || entry[de::kAttributes] == de::kLongNameAttributes) continue;
    auto name = decodeEntryName(session, sector, i * de::kSize, place);
    if (!name) continue;
    const std::uint32_t own = entryCluster(entry, fs);
    for (std::size_t n = 0;; ++n) {
      FolderRecord record;
      if (!catalogue.readRecord(n, record)) break;
      if (record.selfId != own || record.parentId != a) continue;
      scan.folderTree.setText(record.treeItem, name->name);
      ScanCatalogue::NameBuffer buffer{};
      const std::string_view stored = utf8Prefix(name->name, buffer.size());
      std::memcpy(buffer.data(), stored.data(), stored.size());
      catalogue.setCursor(static_cast<std::uint32_t>(n * folderrecord::kSize));
      catalogue.nextName('w', buffer);
      if (name->deleted) {
        catalogue.setCursor(static_cast<std::uint32_t>(n * folderrecord::kSize));
        catalogue.nextFlag(Field::Deleted, 'w', 1);
      }
      break;
    }
  }
  return 1;
}

void resolveChildNames(Session& session, ScanState& scan, TreeItem item) {
  ScanCatalogue& catalogue = scan.catalogue;
  if (catalogue.treeBuilding) return;
  FolderRecord record;
  if (!catalogue.findTreeItem(item, &record) || record.namesResolved != 0) return;
  catalogue.setCursor(catalogue.lastRecord());
  catalogue.nextFlag(Field::NamesResolved, 'w', 1);
  const VolumeParameters& v = scan.workingVolume;
  if (record.selfId == kLostId || !v.isFat()) return;
  const ClusterChain chain = walkDirectoryChain(session, v, record.selfId, record.parentId);
  for (const DirectorySector& place : chainSectors(v, chain))
    if (renameChildrenInSector(session, scan, place, record.selfId, item) == 0) return;
}

}  // namespace tessaly

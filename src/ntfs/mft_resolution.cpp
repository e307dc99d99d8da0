#include "ntfs/mft_resolution.h"

#include <algorithm>
#include <functional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "disk/sector_reader.h"
#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "ntfs/entry_tables.h"
#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "session/scan_progress.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {

constexpr std::size_t kReadBlock = 4096;  // spill records read at a time

// Calls visit(k, record) for every spill record in order. False when the file could not
// be read to its end (the records before were visited).
bool forEachSpillRecord(ScanState& scan, const std::function<void(std::size_t, const SpillRecord&)>& visit) {
  SpillFile& spill = scan.spillFile;
  std::vector<SpillRecord> block;
  for (std::size_t first = 0; first < spill.count(); first += kReadBlock) {
    block.clear();
    const std::size_t n = std::min(kReadBlock, spill.count() - first);
    if (!spill.readRange(first, n, block)) return false;
    for (std::size_t i = 0; i < block.size(); ++i) visit(first + i, block[i]);
  }
  return true;
}

void noteSpillFailure(ScanState& scan) {
  scan.notes.push_back("The spill file " + scan.spillFile.path() +
                       " could not be read or written back whole: some records keep no number.");
}

// A directory record without a number, waiting for an index block to name it.
struct Unnumbered {
  std::string name;
  std::size_t index = 0;  // of its spill record
  std::uint32_t parent = 0;
  std::uint64_t date = 0;          // $STANDARD_INFORMATION modification time
  std::uint64_t nameCreation = 0;  // $FILE_NAME creation time, which index entries copy
  bool numbered = false;
};

std::string assignedText(const ScanState& scan) {
  return "Assigned " + std::to_string(scan.assignedCount) + " / " + std::to_string(scan.ntfsFolders.size());
}

void showAssigned(Session& session, ScanState& scan, ScanProgress& progress) {
  session.report->status(assignedText(scan));
  session.report->counter(Counter::Assigned, scan.assignedCount);
  progress.set(scan.assignedCount, scan.ntfsFolders.size());
}

// The directories without a number, by parent.
std::vector<Unnumbered> unnumberedFolders(Session& session, ScanState& scan) {
  Report& report = *session.report;
  const std::string total = std::to_string(scan.spillFile.count());
  std::vector<Unnumbered> folders;
  MftRecord record{};
  if (!forEachSpillRecord(scan, [&](std::size_t k, const SpillRecord& r) {
        if (k % 1000 == 0)
          report.status(" Extracting Directory Entries ........." + std::to_string(k) + " / " + total);
        if (!r.folder || r.selfMft != 0) return;
        Unnumbered u{r.name, k, r.parentMft, r.date, 0, false};
        // Index entries carry the $FILE_NAME creation time, which a directory whose
        // contents changed no longer shares with its modification time.
        if (readRecordAt(session, r.sector, record))
          if (auto name = findPreferredFileName(record)) u.nameCreation = name->creationTime;
        folders.push_back(std::move(u));
      }))
    noteSpillFailure(scan);
  std::stable_sort(folders.begin(), folders.end(),
                   [](const Unnumbered& a, const Unnumbered& b) { return a.parent < b.parent; });
  return folders;
}

// Directories named by the entries of the index blocks.
void numberFromIndexBlocks(Session& session, ScanState& scan, std::vector<Unnumbered>& folders) {
  Report& report = *session.report;
  const std::vector<IndexBlockRow>& rows = scan.indexBlocks.rows;
  const std::string total = std::to_string(rows.size());
  report.status(" Assigning MFT Numbers Phase 1 \\ 2   ...");
  report.scanProgress(0);
  ScanProgress progress(report);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    session.safePoint();
    const std::vector<std::uint8_t> block = readIndexBlockAt(session, rows[k].sector);
    forEachIndexEntry(block, block.size(), [&](const IndexEntry& entry) {
      if (!entry.isDirectory) return;
      auto [from, to] = std::equal_range(folders.begin(), folders.end(), Unnumbered{{}, 0, entry.parent},
                                         [](const Unnumbered& a, const Unnumbered& b) { return a.parent < b.parent; });
      for (auto it = from; it != to; ++it) {
        if (it->numbered || it->name != entry.name) continue;
        if (it->date != entry.creationTime && it->nameCreation != entry.creationTime) continue;
        if (!scan.spillFile.updateSelfMft(it->index, entry.recordNumber)) noteSpillFailure(scan);
        it->numbered = true;
        break;
      }
    });
    if (k % 100 == 0 || k + 1 == rows.size())
      report.status(" Assigning MFT Numbers Phase 1 \\ 2 ( " + std::to_string(k + 1) + "/" + total + " ) .....");
    progress.set(k + 1, rows.size());
  }
}

// Every record still without a number is the one after the record before it.
void numberByPosition(Session& session, ScanState& scan) {
  session.report->status(" Assigning MFT Numbers Phase 2 \\ 2   ...");
  std::uint32_t running = 1;
  std::vector<std::pair<std::size_t, std::uint32_t>> updates;
  if (!forEachSpillRecord(scan, [&](std::size_t k, const SpillRecord& r) {
        std::uint32_t self = r.selfMft;
        if (self == 0) {
          self = running + 1;
          updates.emplace_back(k, self);
        }
        running = self;
      }))
    noteSpillFailure(scan);
  for (const auto& [k, self] : updates)
    if (!scan.spillFile.updateSelfMft(k, self)) {
      noteSpillFailure(scan);
      break;
    }
  scan.spillFile.close();
}

NtfsFolderRow folderRow(const SpillRecord& r) {
  NtfsFolderRow row;
  row.sector = r.sector;
  row.self = r.selfMft;
  row.parent = r.parentMft;
  row.date = r.date;
  row.name = r.name;
  row.firstRun = r.firstRun;
  row.deleted = r.deleted;
  return row;
}

// The sector of the first unmatched first index block (vcn 0) of each owner, looked up
// by the owner's record number. Blocks only ever leave the table (verifyFileSystem takes
// those it confirms), so the lookup is made again whenever the table has shrunk.
class FirstIndexBlocks {
 public:
  explicit FirstIndexBlocks(const ScanState& scan) : rows_(scan.indexBlocks.rows) {}
  std::optional<std::uint32_t> of(std::uint32_t self) {
    if (builtFor_ != rows_.size()) {
      sectors_.clear();
      for (const IndexBlockRow& row : rows_)
        if (row.vcn == 0 && row.fsNumber == kIndexUnmatched) sectors_.emplace(row.mftReference, row.sector);
      builtFor_ = rows_.size();
    }
    const auto it = sectors_.find(self);
    if (it == sectors_.end()) return std::nullopt;
    return it->second;
  }

 private:
  const std::vector<IndexBlockRow>& rows_;
  std::unordered_map<std::uint32_t, std::uint32_t> sectors_;
  std::size_t builtFor_ = static_cast<std::size_t>(-1);
};

void addFileSystem(ScanState& scan, std::uint32_t first, std::uint32_t end, std::uint32_t spc, bool derived) {
  FileSystemRow row;
  row.sector = first;
  row.cluster0Start = first;
  row.totalSectors = end;
  row.sectorsPerCluster = spc;
  row.type = FileSystem::Ntfs;
  row.derived = derived;
  scan.fileSystems.push_back(row);
}

// Volumes whose boot sector is gone, from pairs of directories.
void fileSystemsFromIndexBlocks(Session& session, ScanState& scan) {
  const auto last = static_cast<std::uint32_t>(session.partitionSelection.lastSector);
  std::vector<NtfsFolderRow>& rows = scan.ntfsFolders;
  FirstIndexBlocks firstBlocks(scan);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    session.safePoint();
    if (rows[r].fsNumber != kFolderUnmatched) continue;
    const std::uint32_t k = rows[r].firstRun;
    const auto a = firstBlocks.of(rows[r].self);
    if (!a) {
      rows[r].fsNumber = kFolderNoEvidence;
      continue;
    }
    for (std::size_t w = r + 1; w < rows.size(); ++w) {
      if (rows[w].fsNumber != kFolderUnmatched || rows[w].firstRun == 0) continue;
      const std::uint32_t h = rows[w].firstRun;
      const auto a2 = firstBlocks.of(rows[w].self);
      if (!a2 || *a2 == *a || h == k) continue;
      const IndexGeometry g = geometryFromIndexBlocks(*a, k, *a2, h);
      if (g.sectorsPerCluster == 0) continue;
      if (verifyFileSystem(session, scan, g.sectorsPerCluster, g.firstSector, last)) {
        addFileSystem(scan, g.firstSector, last, g.sectorsPerCluster, true);
        break;
      }
    }
  }
}

}  // namespace

IndexGeometry geometryFromIndexBlocks(std::uint32_t a, std::uint32_t k, std::uint32_t a2, std::uint32_t h) {
  if (k == h) return {};
  const std::int64_t s = (std::int64_t{a} - std::int64_t{a2}) / (std::int64_t{k} - std::int64_t{h});
  if (s < 1 || s > 128 || (s & (s - 1)) != 0) return {};
  const std::int64_t f = std::int64_t{a} - std::int64_t{k} * s;
  if (f < 0) return {};
  return {static_cast<std::uint32_t>(s), static_cast<std::uint32_t>(f)};
}

bool verifyFileSystem(Session& session, ScanState& scan, std::uint32_t c, std::uint32_t f, std::uint32_t e) {
  ScanProgress progress(*session.report);
  const auto number = static_cast<std::uint32_t>(scan.fileSystems.size() + 1);
  std::vector<IndexBlockRow>& blocks = scan.indexBlocks.rows;
  std::array<std::uint8_t, kSectorSize> sector{};
  bool confirmed = false;
  for (NtfsFolderRow& row : scan.ntfsFolders) {
    if (row.sector <= f || row.sector > e || row.fsNumber != kFolderUnmatched || row.firstRun == 0) continue;
    session.safePoint();
    const std::uint64_t at = std::uint64_t{f} + std::uint64_t{row.firstRun} * c;
    sector.fill(0);
    if (!readDiskSectors(session, at, 1, sector).delivered() || !isIndexBlock(sector)) continue;
    confirmed = true;
    ++scan.assignedCount;
    row.fsNumber = number;
    showAssigned(session, scan, progress);
    for (auto it = blocks.begin(); it != blocks.end() && it->sector <= e; ++it) {
      if (it->sector != at) continue;
      blocks.erase(it);
      break;
    }
  }
  return confirmed;
}

void resolveMftReferences(Session& session, ScanState& scan) {
  Report& report = *session.report;
  report.stopOffered(false);
  scan.assignedCount = 0;
  scan.fileSystems.clear();
  scan.ntfsFolders.clear();

  // Every record gets a number.
  std::vector<Unnumbered> unnumbered = unnumberedFolders(session, scan);
  numberFromIndexBlocks(session, scan, unnumbered);
  std::vector<Unnumbered>().swap(unnumbered);
  numberByPosition(session, scan);

  // The directories with an index allocation, in disk order.
  report.scanProgress(0);
  std::vector<bool> withRun;  // per directory record, in order
  const std::string total = std::to_string(scan.spillFile.count());
  if (!forEachSpillRecord(scan, [&](std::size_t k, const SpillRecord& r) {
        if (k % 1000 == 0)
          report.status(" Extracting Directory Entries ........." + std::to_string(k) + " / " + total);
        if (!r.folder) return;
        withRun.push_back(r.firstRun != 0);
        if (r.firstRun != 0) scan.ntfsFolders.push_back(folderRow(r));
      }))
    noteSpillFailure(scan);

  // Only the first block of each directory index is used from here on.
  std::erase_if(scan.indexBlocks.rows, [](const IndexBlockRow& row) { return row.vcn != 0; });

  // The volumes whose boot sector was found.
  report.status("Analysing File Systems List");
  for (const NtfsBootCandidate& boot : scan.bootCandidates) {
    session.safePoint();
    const std::uint64_t end = std::uint64_t{boot.sector} + boot.totalSectors;
    if (boot.sectorsPerCluster == 0 || end > UINT32_MAX) continue;
    if (verifyFileSystem(session, scan, boot.sectorsPerCluster, boot.sector, static_cast<std::uint32_t>(end)))
      addFileSystem(scan, boot.sector, static_cast<std::uint32_t>(end), boot.sectorsPerCluster, false);
  }
  // The volumes found from their index blocks alone.
  fileSystemsFromIndexBlocks(session, scan);

  // Every directory, in disk order; those with an index allocation keep the
  // file system found for them.
  std::vector<NtfsFolderRow> withIndex;
  withIndex.swap(scan.ntfsFolders);
  std::size_t next = 0, m = 0;
  if (!forEachSpillRecord(scan, [&](std::size_t, const SpillRecord& r) {
        if (!r.folder) return;
        const bool run = m < withRun.size() && withRun[m];
        ++m;
        if (run && next < withIndex.size())
          scan.ntfsFolders.push_back(std::move(withIndex[next++]));
        else
          scan.ntfsFolders.push_back(folderRow(r));
      }))
    noteSpillFailure(scan);
  scan.spillFile.close();

  // A directory without evidence joins the volume of the one before it on disk.
  ScanProgress progress(report);
  std::uint32_t current = 1;
  for (NtfsFolderRow& row : scan.ntfsFolders) {
    if (row.fsNumber != kFolderUnmatched && row.fsNumber != kFolderNoEvidence) {
      current = row.fsNumber;
      continue;
    }
    row.fsNumber = current;
    ++scan.assignedCount;
    showAssigned(session, scan, progress);
  }

  // The entry tables, empty but for "Lost".
  releaseEntryTables(scan);
  const std::size_t folders = scan.ntfsFolders.size();
  const std::size_t records = scan.spillFile.count();
  allocateEntryTables(scan, session.memoryLimit, folders + 1, records > folders ? records - folders : 0);
  (void)appendEntry(scan, EntryKind::Folder, "Lost", kLostId, 0, 0, kLostId, 0, false);
}

bool prepareChosenNtfs(Session& session, ScanState& scan, std::size_t chosen) {
  if (chosen >= scan.fileSystems.size()) return false;
  const FileSystemRow& row = scan.fileSystems[chosen];
  const auto n = static_cast<std::uint32_t>(chosen + 1);
  Report& report = *session.report;

  // The chosen volume's folders, each once.
  NtfsEntryTable folders(scan, EntryKind::Folder);
  std::set<std::tuple<std::string, std::uint32_t, std::uint32_t, std::string>> present;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const NtfsEntry e = folders.entry(i);
    present.emplace(e.name, e.self, e.parent, e.date);
  }
  for (const NtfsFolderRow& f : scan.ntfsFolders) {
    if (f.fsNumber != n) continue;
    if (!present.emplace(f.name, f.self, f.parent, std::to_string(f.date)).second) continue;
    (void)appendEntry(scan, EntryKind::Folder, f.name, f.parent, 0, 0, f.self, f.date, f.deleted);
  }
  // Ordered by parent, as the tree builder expects.
  NtfsEntryTable(scan, EntryKind::Folder).sortByParent();

  // The working volume, the lost-folder check and the tree.
  VolumeParameters v;
  v.fileSystem = FileSystem::Ntfs;
  v.cluster0Sector = static_cast<std::uint32_t>(row.cluster0Start);
  v.sectorsPerCluster = row.sectorsPerCluster;
  scan.volume = v;
  scan.workingVolume = v;
  report.status(session.text(msg::kSearchingLostDirectories));
  markLostNtfsFolders(session, scan);
  resetResults(scan);
  report.status(session.text(msg::kBuildingFolderTree));
  buildNtfsTree(session, scan);

  // Every file record, of whatever volume; the views attach them to folders by
  // parent number. A file of this volume whose parent is no folder would be listed
  // nowhere: it goes under "Lost".
  std::set<std::uint32_t> folderNumbers{kNtfsRootRecord};
  {
    NtfsEntryTable all(scan, EntryKind::Folder);
    for (std::size_t i = 0; i < all.size(); ++i) folderNumbers.insert(all.self(i));
  }
  std::vector<NtfsEntry>().swap(scan.fileEntries);
  scan.fileTable.release();
  if (scan.entryTablesOk) {
    // The array holds the files the memory limit allows; any beyond find no room.
    const std::size_t records = scan.spillFile.count();
    const std::size_t room = records > scan.ntfsFolders.size() ? records - scan.ntfsFolders.size() : 0;
    scan.fileEntries.reserve(std::min(room, session.memoryLimit / kNtfsEntryBytes));
  }
  const std::uint64_t first = row.sector;
  const std::uint64_t end = row.totalSectors;
  if (!forEachSpillRecord(scan, [&](std::size_t, const SpillRecord& r) {
        if (r.folder) return;
        std::uint32_t parent = r.parentMft;
        if (r.sector >= first && r.sector <= end && !folderNumbers.count(parent)) parent = kLostId;
        (void)appendEntry(scan, EntryKind::File, r.name, parent, r.size, r.sector, r.selfMft, r.date, r.deleted);
      }))
    noteSpillFailure(scan);
  scan.spillFile.close();
  return true;
}

}  // namespace tessaly

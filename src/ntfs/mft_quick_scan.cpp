#include "ntfs/mft_quick_scan.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ntfs/entry_tables.h"
#include "ntfs/mft_record.h"
#include "partition/partition_types.h"
#include "session/scan_progress.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {


// The records an entry is taken from: the visited record and the segments its resident
// attribute list names, in list order and without repeats. The visited record is used as
// read; every other segment is read at its own place by the $MFT's runs, once, and only
// when it is asked for. A segment that cannot be found or does not read as a record
// gives nothing.
class Segments {
 public:
  Segments(Session& session, const ScanState& scan, const MftRecord& visited, std::uint32_t number)
      : session_(session), mftRuns_(scan.mftRuns), visited_(visited), number_(number) {
    std::vector<std::uint32_t> numbers{number};
    // The list may be resident or stored in clusters of its own (a long one).
    const VolumeParameters& v = scan.workingVolume;
    for (std::uint32_t n : listedSegments(session, visited, v.cluster0Sector, v.sectorsPerCluster))
      numbers.push_back(n);
    for (std::uint32_t n : numbers)
      if (std::find(numbers_.begin(), numbers_.end(), n) == numbers_.end()) numbers_.push_back(n);
    loaded_.resize(numbers_.size());
  }

  std::size_t size() const { return numbers_.size(); }

  const MftRecord* record(std::size_t i) {
    if (numbers_[i] == number_) return &visited_;
    Loaded& slot = loaded_[i];
    if (!slot.tried) {
      slot.tried = true;
      const std::uint32_t sector = sectorOfRecord(mftRuns_, numbers_[i]);
      slot.ok = sector != 0 && readRecordAt(session_, sector, slot.record);
    }
    return slot.ok ? &slot.record : nullptr;
  }

 private:
  struct Loaded {
    bool tried = false;
    bool ok = false;
    MftRecord record{};
  };
  Session& session_;
  const RunTable& mftRuns_;
  const MftRecord& visited_;
  std::uint32_t number_;
  std::vector<std::uint32_t> numbers_;
  std::vector<Loaded> loaded_;
};

struct ScannedEntry {
  EntryKind kind = EntryKind::File;
  FileName fileName;
  std::uint64_t size = 0;
  bool deleted = false;
  std::vector<NtfsStream> streams;  // of a file; `self` is filled in when it is placed
};

// The named streams of a file's segments, each once, with the size its first extent
// states.
std::vector<NtfsStream> streamsOf(Segments& segments) {
  std::vector<NtfsStream> streams;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const MftRecord* segment = segments.record(i);
    if (!segment) continue;
    for (const NamedStream& s : findNamedStreams(*segment)) {
      if (!s.resident && s.lowestVcn != 0) continue;
      const bool seen = std::any_of(streams.begin(), streams.end(),
                                    [&](const NtfsStream& t) { return t.name == s.name; });
      if (!seen) streams.push_back({0, s.name, s.size});
    }
  }
  return streams;
}

// The name a deleted file is given whose every name is gone: ntfs-3g removes a file's
// last $FILE_NAME when it deletes a file that has an attribute list, and frees the
// extension records, so only the base record with its list and its data is left.
// Such a record is named by its number and filed under "Lost" (its parent is unknown).
std::optional<FileName> namelessFileName(const MftRecord& record, std::uint32_t number) {
  if (recordState(record) != mft::kStateDeletedFile || !isBaseRecord(record) || !hasAttributeList(record) ||
      locateData(record).kind == DataKind::None)
    return std::nullopt;
  FileName name;
  name.name = "Record " + std::to_string(number);
  name.parent = 0;  // record 0 is the $MFT, never a folder: the file goes under "Lost"
  if (auto times = readStandardTimes(record)) name.creationTime = times->creation;
  return name;
}

// The entry a record gives, or nothing when none of its segments has a name.
std::optional<ScannedEntry> entryOf(Session& session, const ScanState& scan, const MftRecord& record,
                                    std::uint32_t number) {
  Segments segments(session, scan, record, number);
  std::optional<FileName> name;
  for (std::size_t i = 0; i < segments.size() && !name; ++i)
    if (const MftRecord* segment = segments.record(i)) name = findWindowsFileName(*segment);
  // The POSIX name only when no segment has any other.
  for (std::size_t i = 0; i < segments.size() && !name; ++i)
    if (const MftRecord* segment = segments.record(i)) name = findFileName(*segment, mft::kNamespacePosix);
  if (!name) name = namelessFileName(record, number);
  if (!name) return std::nullopt;

  ScannedEntry entry;
  entry.fileName = std::move(*name);
  const std::uint8_t state = recordState(record);
  if (isDirectoryState(state)) {
    entry.kind = EntryKind::Folder;
    entry.deleted = state == mft::kStateDeletedDirectory;
    return entry;
  }
  entry.kind = EntryKind::File;
  entry.deleted = state == mft::kStateDeletedFile;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const MftRecord* segment = segments.record(i);
    if (!segment) continue;
    if (auto size = findDataSize(*segment)) {
      entry.size = *size;
      break;
    }
  }
  entry.streams = streamsOf(segments);
  return entry;
}

// What the entry pass learns of each record, for the parent check after it.
struct RecordFacts {
  std::uint16_t sequence = 0;
  bool inUse = false;
  bool folderEntry = false;  // the record gave a folder entry
};

// An entry as it was placed in its table, with the parent reference it names.
struct PlacedEntry {
  EntryKind kind;
  std::size_t index;
  std::uint32_t parent;
  std::uint16_t parentSequence;
};

// Whether a parent reference leads to the folder it named: a record that gave a folder
// entry and still carries the reference's sequence number. A record is given a new
// sequence number when it is freed (seen on volumes written by Windows and by ntfs-3g:
// a deleted folder's header holds one more than its files' references), so a folder
// that is not in use matches the number one below its own as well. A reference without
// a sequence number (0) is taken on the record number alone.
bool parentResolves(const std::vector<RecordFacts>& facts, std::uint32_t parent, std::uint16_t sequence) {
  // The tree always has its root, even when the root's own record gave no entry.
  const bool known = parent < facts.size() && facts[parent].folderEntry;
  if (parent == kNtfsRootRecord && !known) return true;
  if (!known) return false;
  const RecordFacts& folder = facts[parent];
  if (sequence == 0 || folder.sequence == sequence) return true;
  return !folder.inUse && folder.sequence == static_cast<std::uint16_t>(sequence + 1);
}

// Files and folders whose parent reference does not resolve (the record is missing, is
// no folder, or was given to another file or folder since) are filed under "Lost".
void fileOrphansUnderLost(ScanState& scan, const std::vector<RecordFacts>& facts,
                          const std::vector<PlacedEntry>& placed) {
  NtfsEntryTable folders(scan, EntryKind::Folder);
  NtfsEntryTable files(scan, EntryKind::File);
  for (const PlacedEntry& e : placed) {
    if (parentResolves(facts, e.parent, e.parentSequence)) continue;
    (e.kind == EntryKind::Folder ? folders : files).setParent(e.index, kLostId);
  }
}

}  // namespace

void scanMftQuick(Session& session, ScanState& scan) {
  Report& report = *session.report;
  const RunTable& runs = scan.mftRuns;
  const std::uint64_t total = runs.totalSectors();
  const std::string totalText = std::to_string(total);
  MftRecord record{};

  report.counter(Counter::FoldersFound, std::nullopt);
  report.counter(Counter::BootSectorsFound, std::nullopt);
  // A new scan: list mode until the tables are allocated, "Lost" as the first folder row.
  releaseEntryTables(scan);
  DirectoryRow lost = DirectoryRow::lost();
  lost.parent = kNtfsRootRecord;
  scan.directoryTable.append(lost);

  // Counting pass: how many folders ("Lost" among them) and files the tables must hold.
  std::size_t folders = 1;
  std::size_t files = 0;
  std::uint64_t counter = 1;
  std::uint64_t examined = 0;
  {
    ScanProgress progress(report);
    forEachMftPlace(runs, [&](std::uint32_t sector) {
      if (session.deviceLost()) return;
      session.safePoint();
      examined += 2;
      report.status("Sector  " + std::to_string(examined) + " / " + totalText + "   (Analysing Directories/Files)");
      const bool isRecord = readRecordAt(session, sector, record);
      ++counter;
      if (!isRecord) return;
      if (isDirectoryState(recordState(record)))
        ++folders;
      else
        ++files;
      report.counter(Counter::FoldersFound, counter);
      progress.set(examined, total);
    });
  }

  // Two folder entries more than the folders found; a refusal leaves list mode.
  if (allocateEntryTables(scan, session.memoryLimit, folders + 1, files)) {
    // The array's "Lost" entry takes the place of the list's row.
    scan.directoryTable.release();
    const NtfsEntry l = lostFolderEntry();
    (void)appendEntry(scan, EntryKind::Folder, l.name, l.parent, l.size, l.sector, l.self, 0, l.deleted);
  }

  // Entry pass: the place in the walk is the record number, record or not.
  std::uint32_t number = 0;
  counter = 1;
  examined = 0;
  std::vector<RecordFacts> facts;
  std::vector<PlacedEntry> placed;
  std::vector<std::pair<std::uint32_t, NtfsExtension>> extensions;  // base record number, extension
  {
    ScanProgress progress(report);
    forEachMftPlace(runs, [&](std::uint32_t sector) {
      if (session.deviceLost()) return;
      session.safePoint();
      const std::uint32_t self = number++;
      examined += 2;
      report.status("Sector  " + std::to_string(examined) + " / " + totalText);
      ++counter;
      if (!readRecordAt(session, sector, record)) return;
      if (facts.size() <= self) facts.resize(std::size_t{self} + 1);
      facts[self].sequence = recordSequence(record);
      facts[self].inUse = !isDeletedState(recordState(record));
      if (!isBaseRecord(record))
        extensions.push_back({u32le(record, mft::kBaseRecord), {self, u16le(record, mft::kBaseRecord + 6)}});
      if (auto entry = entryOf(session, scan, record, self)) {
        const bool folder = entry->kind == EntryKind::Folder;
        const std::size_t index = NtfsEntryTable(scan, entry->kind).size();
        if (appendEntry(scan, entry->kind, entry->fileName.name, entry->fileName.parent, folder ? 0 : entry->size,
                        sector, self, entry->fileName.creationTime, entry->deleted)) {
          facts[self].folderEntry = folder;
          placed.push_back({entry->kind, index, entry->fileName.parent, entry->fileName.parentSequence});
          for (NtfsStream& stream : entry->streams) {
            stream.self = self;
            scan.ntfsStreams.push_back(std::move(stream));
          }
        }
        report.counter(Counter::FoldersFound, counter);
      }
      progress.set(examined, total);
    });
  }

  // The extension records by their base record's place, for the save of files whose
  // attribute list no longer names them all.
  for (const auto& [base, extension] : extensions) {
    const std::uint32_t sector = sectorOfRecord(runs, base);
    if (sector != 0) scan.ntfsExtensions[sector].push_back(extension);
  }
  fileOrphansUnderLost(scan, facts, placed);
  NtfsEntryTable(scan, EntryKind::Folder).sortByParent();
}

}  // namespace tessaly

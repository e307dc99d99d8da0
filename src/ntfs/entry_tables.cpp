#include "ntfs/entry_tables.h"

#include <algorithm>
#include <limits>
#include <new>

#include "disk/name_text.h"
#include "partition/partition_types.h"
#include "session/scan_state.h"

namespace tessaly {

namespace {

// Unsigned decimal text of up to 64 bits; anything else reads as 0.
std::uint64_t decimal(const std::string& text) {
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (v > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return 0;
    v = v * 10 + digit;
  }
  return v;
}

std::vector<NtfsEntry>& entriesOf(ScanState& scan, EntryKind kind) {
  return kind == EntryKind::Folder ? scan.folderEntries : scan.fileEntries;
}

DirectoryTable& rowsOf(ScanState& scan, EntryKind kind) {
  return kind == EntryKind::Folder ? scan.directoryTable : scan.fileTable;
}

template <typename T>
void freeVector(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

std::size_t countOrphanedNtfsFiles(ScanState& scan) {
  std::size_t orphans = 0;
  forEachRecoverableNtfsFile(scan, kLostId, [&](const NtfsEntry&) { ++orphans; });
  return orphans;
}

std::int64_t NtfsEntry::fileTime() const { return static_cast<std::int64_t>(decimal(date)); }

NtfsEntry lostFolderEntry() {
  NtfsEntry lost;
  lost.name = "Lost";
  lost.sector = 0;
  lost.self = kLostId;
  lost.parent = kNtfsRootRecord;
  lost.date = "0";
  lost.size = 0;
  lost.kind = RowKind::Folder;
  lost.deleted = false;
  return lost;
}

DirectoryRow entryRow(const NtfsEntry& entry) {
  DirectoryRow row;
  row.name = entry.name;
  row.sector = entry.sector;
  row.self = entry.self;
  row.parent = entry.parent;
  row.date = decimal(entry.date);
  row.size = entry.size;
  row.kind = entry.kind;
  row.deleted = entry.deleted;
  return row;
}

NtfsEntry entryFromRow(const DirectoryRow& row) {
  NtfsEntry entry;
  entry.name = row.name;
  entry.sector = row.sector;
  entry.self = row.self;
  entry.parent = row.parent;
  entry.date = std::to_string(row.date);
  entry.size = row.size;
  entry.kind = row.kind;
  entry.deleted = row.deleted;
  return entry;
}

void releaseEntryTables(ScanState& scan) {
  freeVector(scan.folderEntries);
  freeVector(scan.fileEntries);
  scan.entryTablesOk = false;
  scan.directoryTable.release();
  scan.fileTable.release();
  freeVector(scan.ntfsStreams);
  std::unordered_map<std::uint32_t, std::vector<NtfsExtension>>().swap(scan.ntfsExtensions);
}

bool allocateEntryTables(ScanState& scan, std::size_t memoryLimit, std::size_t folders, std::size_t files) {
  scan.entryTablesOk = false;
  freeVector(scan.folderEntries);
  freeVector(scan.fileEntries);
  const std::size_t most = memoryLimit / kNtfsEntryBytes;
  try {
    if (folders > most) throw std::bad_alloc();
    scan.folderEntries.reserve(folders);
    if (files > most) throw std::bad_alloc();
    scan.fileEntries.reserve(files);
  } catch (const std::bad_alloc&) {
    freeVector(scan.folderEntries);
    freeVector(scan.fileEntries);
    return false;
  }
  scan.entryTablesOk = true;
  return true;
}

bool appendEntry(ScanState& scan, EntryKind kind, const std::string& name, std::uint32_t parent,
                 std::uint64_t size, std::uint32_t sector, std::uint32_t self, std::uint64_t date, bool deleted) {
  NtfsEntry entry;
  entry.name = std::string(utf8Prefix(name, kMaxEntryName));
  entry.sector = sector;
  entry.parent = parent;
  entry.self = self;
  entry.date = std::to_string(date);
  entry.size = size;
  entry.kind = kind == EntryKind::Folder ? RowKind::Folder : RowKind::File;
  entry.deleted = deleted;
  if (!scan.entryTablesOk) {
    rowsOf(scan, kind).append(entryRow(entry));
    return true;
  }
  std::vector<NtfsEntry>& entries = entriesOf(scan, kind);
  // The arrays were sized by the counting pass; more entries than it counted (a disk
  // that changed between the passes) find no room.
  if (entries.size() >= entries.capacity()) return false;
  entries.push_back(std::move(entry));
  return true;
}

// ------------------------------------------------------------------ NtfsEntryTable

NtfsEntryTable::NtfsEntryTable(ScanState& scan, EntryKind kind) {
  if (scan.entryTablesOk)
    entries_ = &entriesOf(scan, kind);
  else
    rows_ = &rowsOf(scan, kind);
}

std::size_t NtfsEntryTable::size() const {
  return entries_ ? entries_->size() : rows_->rowCount();
}

NtfsEntry NtfsEntryTable::entry(std::size_t i) const {
  return entries_ ? entries_->at(i) : entryFromRow(rows_->row(i));
}

std::uint32_t NtfsEntryTable::self(std::size_t i) const {
  return entries_ ? entries_->at(i).self : rows_->self(i);
}

std::uint32_t NtfsEntryTable::parent(std::size_t i) const {
  return entries_ ? entries_->at(i).parent : rows_->parent(i);
}

RowKind NtfsEntryTable::kind(std::size_t i) const {
  return entries_ ? entries_->at(i).kind : rows_->kind(i);
}

bool NtfsEntryTable::deleted(std::size_t i) const {
  return entries_ ? entries_->at(i).deleted : rows_->deleted(i);
}

void NtfsEntryTable::setParent(std::size_t i, std::uint32_t value) {
  if (entries_)
    entries_->at(i).parent = value;
  else
    rows_->setParent(i, value);
}

void NtfsEntryTable::sortByParent() {
  if (entries_) {
    std::stable_sort(entries_->begin(), entries_->end(),
                     [](const NtfsEntry& a, const NtfsEntry& b) { return a.parent < b.parent; });
  } else {
    rows_->sortByParent();
  }
}

}  // namespace tessaly

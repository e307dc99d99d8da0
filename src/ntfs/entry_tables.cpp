#include "ntfs/entry_tables.h"

#include <algorithm>
#include <limits>
#include <new>

#include "partition/partition_types.h"
#include "session/session.h"

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

std::vector<NtfsEntry>& entriesOf(Session& session, EntryKind kind) {
  return kind == EntryKind::Folder ? session.folderEntries : session.fileEntries;
}

DirectoryTable& rowsOf(Session& session, EntryKind kind) {
  return kind == EntryKind::Folder ? session.directoryTable : session.fileTable;
}

template <typename T>
void freeVector(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

std::int64_t NtfsEntry::fileTime() const { return static_cast<std::int64_t>(decimal(date)); }

NtfsEntry lostFolderEntry() {
  NtfsEntry lost;
  lost.name = "Lost";
  lost.sector = 0;
  lost.self = kLostId;
  lost.parent = kNtfsRootRecord;
  lost.date = "0";
  lost.size = 0;
  lost.type = "FOLDER";
  lost.deleted = "0";
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
  row.type = entry.type;
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
  entry.type = row.type;
  entry.deleted = row.deleted;
  return entry;
}

void releaseEntryTables(Session& session) {
  freeVector(session.folderEntries);
  freeVector(session.fileEntries);
  session.entryTablesOk = false;
  session.directoryTable.release();
  session.fileTable.release();
}

bool allocateEntryTables(Session& session, std::size_t folders, std::size_t files) {
  session.entryTablesOk = false;
  freeVector(session.folderEntries);
  freeVector(session.fileEntries);
  const std::size_t most = std::numeric_limits<std::size_t>::max() / kNtfsEntryBytes;
  try {
    if (folders > most || !session.canAllocate(folders * kNtfsEntryBytes)) throw std::bad_alloc();
    session.folderEntries.reserve(folders);
    if (files > most || !session.canAllocate(files * kNtfsEntryBytes)) throw std::bad_alloc();
    session.fileEntries.reserve(files);
  } catch (const std::bad_alloc&) {
    freeVector(session.folderEntries);
    freeVector(session.fileEntries);
    return false;
  }
  session.entryTablesOk = true;
  return true;
}

bool appendEntry(Session& session, EntryKind kind, const std::string& name, std::uint32_t parent,
                 std::uint64_t size, std::uint32_t sector, const std::string& type,
                 std::uint32_t self, std::uint64_t date, const std::string& deleted) {
  NtfsEntry entry;
  entry.name = name.substr(0, kMaxEntryName);
  entry.sector = sector;
  entry.parent = parent;
  entry.self = self;
  entry.date = std::to_string(date);
  entry.size = size;
  entry.type = type;
  entry.deleted = deleted;
  if (!session.entryTablesOk) {
    rowsOf(session, kind).append(entryRow(entry));
    return true;
  }
  std::vector<NtfsEntry>& entries = entriesOf(session, kind);
  // The arrays were sized by the counting pass; more entries than it counted (a disk
  // that changed between the passes) find no room.
  if (entries.size() >= entries.capacity()) return false;
  entries.push_back(std::move(entry));
  return true;
}

// ------------------------------------------------------------------ NtfsEntryTable

NtfsEntryTable::NtfsEntryTable(Session& session, EntryKind kind) {
  if (session.entryTablesOk)
    entries_ = &entriesOf(session, kind);
  else
    rows_ = &rowsOf(session, kind);
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

std::string NtfsEntryTable::type(std::size_t i) const {
  return entries_ ? entries_->at(i).type : rows_->type(i);
}

std::string NtfsEntryTable::deleted(std::size_t i) const {
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

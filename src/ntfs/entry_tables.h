// The NTFS entry tables: one entry per MFT record that carries a usable name, folders and
// files apart. The Quick MFT scan fills them; the lost-folder check, the tree builder,
// the file list and the save engine read them.
//
// Two storages, as every engine table has:
// - table mode (ScanState::entryTablesOk): the arrays ScanState::folderEntries and
//   ScanState::fileEntries, allocated once at the size the scan's counting pass found;
// - list mode: the folders are rows of ScanState::directoryTable and the files rows of
//   ScanState::fileTable, with the DirectoryTable's eleven columns as decimal text.
// NtfsEntryTable reads and changes whichever storage holds the entries, so that no
// consumer needs to know which it is.
//
// Sizes are 64-bit in both storages; the date is the decimal text of a 64-bit FILETIME.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/name_text.h"
#include "fat/directory_table.h"

namespace tessaly {

struct ScanState;

struct NtfsEntry {
  std::string name;          // UTF-8 file name, at most kMaxEntryName bytes
  std::uint32_t sector = 0;  // first sector of the entry's MFT record
  std::uint32_t parent = 0;  // parent directory's record number
  std::uint32_t self = 0;    // the entry's own record number
  std::string date;          // decimal text of the $FILE_NAME creation time
  std::uint64_t size = 0;    // size of the unnamed $DATA (0 for folders)
  RowKind kind = RowKind::File;
  bool deleted = false;

  // The date text read as a signed 64-bit FILETIME (0 when it is no number).
  std::int64_t fileTime() const;
};

// A named $DATA stream of a file entry ("file:stream"), listed after its file.
struct NtfsStream {
  std::uint32_t self = 0;  // the file's own record number
  std::string name;        // the stream's name, UTF-8
  std::uint64_t size = 0;
};

// An extension record of a file: a record whose base reference (8 bytes at 32) names the
// file's base record.
struct NtfsExtension {
  std::uint32_t record = 0;        // the extension record's own number
  std::uint16_t baseSequence = 0;  // the sequence number its base reference gives
};

enum class EntryKind : char { Folder = 'D', File = 'F' };

// The record number of the NTFS root directory: the parent of every top-level folder.
constexpr std::uint32_t kNtfsRootRecord = 5;
// Records below this number are the volume's own metadata files; they are never listed.
constexpr std::uint32_t kFirstListedRecord = 20;
// What one entry of the array form costs against the memory limit: a
// fixed-size record (name 260, three numbers, date 30, size 8, type 10, deleted 2).
constexpr std::size_t kNtfsEntryBytes = 260 + 3 * 4 + 30 + 8 + 10 + 2;
// The longest name an entry keeps, in UTF-8 bytes: any NTFS name fits.
constexpr std::size_t kMaxEntryName = kMaxNameBytes;

// The "Lost" pseudo-folder: own number 268435455, parent the root.
NtfsEntry lostFolderEntry();

// The list form's row of an entry and back.
DirectoryRow entryRow(const NtfsEntry& entry);
NtfsEntry entryFromRow(const DirectoryRow& row);

// Empties both tables and both lists and gives back their memory; list mode.
void releaseEntryTables(ScanState& scan);

// Table mode with room for `folders` folder and `files` file entries. When either array
// is refused (by memoryLimit or the heap) both are freed and list mode stays:
// entryTablesOk is true only when both could be had at their full size. Entries already
// held are not moved; the scan calls this before it adds any but "Lost".
bool allocateEntryTables(ScanState& scan, std::size_t memoryLimit, std::size_t folders, std::size_t files);

// Adds an entry to the folder or the file table, in whichever storage holds it. The
// date is given as the 64-bit FILETIME and kept as its decimal text; a name longer than
// kMaxEntryName bytes is cut before the character that would not fit. In table mode an array that is full refuses the entry (false).
bool appendEntry(ScanState& scan, EntryKind kind, const std::string& name, std::uint32_t parent,
                 std::uint64_t size, std::uint32_t sector, std::uint32_t self, std::uint64_t date, bool deleted);

// One of the two tables through its current storage.
class NtfsEntryTable {
 public:
  NtfsEntryTable(ScanState& scan, EntryKind kind);

  bool tableMode() const { return entries_ != nullptr; }
  std::size_t size() const;
  NtfsEntry entry(std::size_t i) const;
  std::uint32_t self(std::size_t i) const;
  std::uint32_t parent(std::size_t i) const;
  RowKind kind(std::size_t i) const;
  bool deleted(std::size_t i) const;
  void setParent(std::size_t i, std::uint32_t parent);
  // Ascending by parent number; entries of equal parent keep their order.
  void sortByParent();

 private:
  std::vector<NtfsEntry>* entries_ = nullptr;  // table mode
  DirectoryTable* rows_ = nullptr;             // list mode
};

// The files of folder `folderId` that are shown and saved: the file entries, in table
// order, whose parent is folderId, whose own number is 20 or more and which are deleted.
template <typename Visit>
void forEachRecoverableNtfsFile(ScanState& scan, std::uint32_t folderId, Visit&& visit) {
  NtfsEntryTable files(scan, EntryKind::File);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files.parent(i) != folderId || files.self(i) < kFirstListedRecord) continue;
    NtfsEntry entry = files.entry(i);
    if (entry.deleted) visit(entry);
  }
}

// How many of the files shown (as forEachRecoverableNtfsFile picks them) are orphans
// filed under "Lost": their parent reference led to no folder.
std::size_t countOrphanedNtfsFiles(ScanState& scan);

}  // namespace tessaly

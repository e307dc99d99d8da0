// MFT file records ("FILE"): reading and repairing one, walking its attributes and the
// accessors that take out the fields the NTFS engine works with.
//
// Every accessor works on a caller's buffer, keeps no state and reports "not found" by
// its result. Records are 1024 bytes and must be repaired (applyUpdateSequence, done by
// readRecordAt) before they are read. Every walk stays inside the record whatever its
// bytes say: a field or content that would reach byte 1023 of the record, or lie outside
// its attribute, counts as absent.
//
// Record numbers and parent numbers are the low 32 bits of the 48-bit references; the
// sequence part of a $FILE_NAME's parent reference is kept beside it. Times are raw 64-bit FILETIME values. Names
// are the stored UTF-16 as UTF-8, up to the stored length and ending at the first
// character 0; a surrogate without its partner reads as U+FFFD.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/le.h"
#include "ntfs/mft_layout.h"

namespace tessaly {

class Session;

// One MFT record as read from the disk.
using MftRecord = std::array<std::uint8_t, mft::kRecordSize>;

// Most segment numbers taken from one attribute list.
constexpr std::size_t kMaxSegments = 100;

// ------------------------------------------------------------------ whole records

// Repairs a record or index block in place: for i = 1 … n−1 the last two bytes of
// sector i−1 receive the i-th entry of the update sequence array (offset at 4, count n at
// 6). Only the first `size` bytes of the buffer are touched; a sector whose end, or an
// array entry that, lies beyond them ends the repair. The sequence number itself is not
// compared with the sector ends, so a torn write is not detected.
void applyUpdateSequence(MutableByteSpan buffer, std::size_t size);

// True when the buffer begins with "FILE" (an MFT record) or "INDX" (an index block).
bool isFileRecord(ByteSpan buffer);
bool isIndexBlock(ByteSpan buffer);

// Reads the two sectors of the record at disk sector `sector` into `record`, zeroed
// first, and repairs it. True when the result begins with "FILE". Sectors the bad-sector
// policy skipped stay zero; a device that cannot be read gives no record.
bool readRecordAt(Session& session, std::uint64_t sector, MftRecord& record);

// The record's sequence number (2 bytes at 16).
std::uint16_t recordSequence(ByteSpan record);
// The record state byte (offset 22): 0 deleted file, 1 file in use, 2 deleted
// directory, 3 directory in use; other values count as a file in use.
std::uint8_t recordState(ByteSpan record);
// The allocated size of the record (4 bytes at 28).
std::uint32_t recordAllocatedSize(ByteSpan record);
inline bool isDirectoryState(std::uint8_t state) {
  return state == mft::kStateDeletedDirectory || state == mft::kStateDirectory;
}
inline bool isDeletedState(std::uint8_t state) {
  return state == mft::kStateDeletedFile || state == mft::kStateDeletedDirectory;
}

// ------------------------------------------------------------------ attribute walk

// One attribute found by the walk. `bytes` is the attribute from its first byte to its
// stated end, cut at the record's limit, so fields read from it cannot leave either.
struct Attribute {
  std::size_t position = 0;  // offset of the attribute in the record
  std::uint32_t type = 0;
  std::uint32_t length = 0;
  std::uint8_t nonResident = 0;
  std::uint8_t nameLength = 0;
  ByteSpan bytes;

  // Resident content (offset and length from the header), or nothing when it does not
  // lie inside the attribute.
  std::optional<ByteSpan> residentContent() const;
};

// Walks a record's attributes from the first-attribute offset (2 bytes at 20). The walk
// ends at a type of 0 or 0xFFFFFFFF, at a header that would reach byte 1023, and after
// an attribute whose length is 0, above 1024 or leads to or beyond byte 1023. Each step
// moves forward, so a record yields at most ~1000 attributes.
class AttributeWalk {
 public:
  explicit AttributeWalk(ByteSpan record);
  std::optional<Attribute> next();

 private:
  ByteSpan record_;
  std::size_t position_ = 0;
  bool ended_ = false;
};

// One entry of an $ATTRIBUTE_LIST.
struct AttributeListEntry {
  std::uint32_t type = 0;
  std::uint16_t length = 0;
  std::uint8_t nameLength = 0;
  std::uint32_t segment = 0;  // record number holding the attribute (low 32 bits)
};

// Walks the entries of an attribute list's bytes in order, calling visit(entry) until it
// returns false. The walk ends at a type of 0 or 0xFFFFFFFF, an entry length of 0, or an
// entry whose fixed fields would leave `list`; each step moves forward.
template <typename Visit>
void forEachListEntry(ByteSpan list, Visit&& visit) {
  std::size_t position = 0;
  while (fits(list, position, mft::kListEntrySegment + 4)) {
    AttributeListEntry entry;
    entry.type = u32le(list, position + mft::kListEntryType);
    entry.length = u16le(list, position + mft::kListEntryLength);
    if (entry.type == 0 || entry.type == mft::kTypeEnd || entry.length == 0) return;
    entry.nameLength = u8at(list, position + mft::kListEntryNameLength);
    entry.segment = u32le(list, position + mft::kListEntrySegment);
    if (!visit(entry)) return;
    position += entry.length;
  }
}

// A UTF-16 name of `chars` characters at `offset` as UTF-8, ending at the first character
// 0; nothing when the name does not lie wholly in `bytes`.
std::optional<std::string> ntfsName(ByteSpan bytes, std::size_t offset, std::size_t chars);

// ------------------------------------------------------------------ accessors

struct StandardTimes {
  std::uint64_t creation = 0;
  std::uint64_t modification = 0;
  std::uint64_t access = 0;
};
// The times of the first $STANDARD_INFORMATION.
std::optional<StandardTimes> readStandardTimes(ByteSpan record);

struct FileName {
  std::string name;
  std::uint32_t parent = 0;  // parent directory's record number
  std::uint64_t creationTime = 0;
  std::uint16_t parentSequence = 0;  // the sequence number the parent record had
};
// The first unnamed, resident $FILE_NAME whose namespace byte equals `nameSpace`
// (mft::kNamespacePosix … kNamespaceWin32AndDos).
std::optional<FileName> findFileName(ByteSpan record, std::uint8_t nameSpace);

// Win32, then Win32 and DOS, then DOS.
std::optional<FileName> findWindowsFileName(ByteSpan record);
// The lookup every caller makes: findWindowsFileName, and the POSIX name (which volumes
// written through Linux carry alone) when the record has none of those.
std::optional<FileName> findPreferredFileName(ByteSpan record);

struct FileNameWithTimes {
  std::optional<FileName> fileName;
  std::uint64_t modificationTime = 0;  // of $STANDARD_INFORMATION; 0 when it has none
};
// findFileName plus the $STANDARD_INFORMATION modification time, which is returned even
// when no name matches.
FileNameWithTimes findFileNameWithTimes(ByteSpan record, std::uint8_t nameSpace);

// The size of the first unnamed $DATA: its 64-bit real size when non-resident, its
// content length when resident. Named streams are skipped.
std::optional<std::uint64_t> findDataSize(ByteSpan record);

enum class DataKind : std::uint8_t { None = 0, Resident = 1, NonResident = 2 };
struct DataLocation {
  std::size_t position = 0;  // offset of the attribute in the record
  DataKind kind = DataKind::None;
};
// Where the first unnamed $DATA attribute is and how its data are stored. A non-resident
// flag other than 0 or 1 gives kind None.
DataLocation locateData(ByteSpan record);

// One named $DATA attribute (a named stream, "file:stream") as a record holds it.
struct NamedStream {
  std::string name;           // UTF-8
  std::size_t position = 0;   // offset of the attribute in the record
  bool resident = false;
  std::uint64_t lowestVcn = 0;  // non-resident: the first cluster this extent maps
  // Resident: the content length. Non-resident: the real size, which only the extent
  // that starts at cluster 0 states.
  std::uint64_t size = 0;
};
// The named $DATA attributes of a record, in walk order. An attribute whose name does not
// lie inside it, whose non-resident flag is neither 0 nor 1 or whose size fields leave it
// is left out.
std::vector<NamedStream> findNamedStreams(ByteSpan record);

// True when the record is a base record: its base reference (8 bytes at 32) is 0.
bool isBaseRecord(ByteSpan record);
// True when the record has an $ATTRIBUTE_LIST, resident or not.
bool hasAttributeList(ByteSpan record);

// Appends the segment record number of every entry of the record's resident
// $ATTRIBUTE_LIST to `recordNumbers`, in list order (kMaxSegments at most). The entries
// are walked inside the list's content only.
void collectAttributeList(ByteSpan record, std::vector<std::uint32_t>& recordNumbers);

// A directory's own record number, read from the first entry of its "$I30" index root
// (that entry's parent); 0 when the root is missing, too short, or holds only its end
// entry. 0xFFFFFFFF reads as 0.
std::uint32_t directorySelfNumber(ByteSpan record);

// The first cluster (relative to the volume start, low 32 bits) of the directory's
// "$I30" index allocation, taken from the first pair of its run list; 0 when there is
// none.
std::uint32_t firstIndexRun(ByteSpan record);

}  // namespace tessaly

// OLE2 compound documents (Word, Excel and PowerPoint files): the header, the file
// allocation table that gives a document's length, the directory whose streams give its
// type, and the fixed probes and end markers used when those tables cannot be read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "disk/le.h"
#include "raw/raw_format.h"
#include "raw/raw_types.h"

namespace tessaly::raw {

inline constexpr std::string_view kOle2Signature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

// Header fields (offsets into the first 512 bytes).
namespace ole2 {
inline constexpr std::size_t kByteOrder = 0x1C;        // u16, FFFE
inline constexpr std::size_t kSectorShift = 0x1E;      // u16, 9 or 12
inline constexpr std::size_t kFatSectors = 0x2C;       // u32
inline constexpr std::size_t kFirstDirectory = 0x30;   // u32 sector id
inline constexpr std::size_t kFirstDifat = 0x44;       // u32 sector id
inline constexpr std::size_t kDifatSectors = 0x48;     // u32
inline constexpr std::size_t kHeaderDifat = 0x4C;      // 109 × u32 sector ids
inline constexpr std::size_t kHeaderDifatCount = 109;

inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;

// Directory entries (128 bytes each).
inline constexpr std::size_t kEntryBytes = 128;
inline constexpr std::size_t kEntryNameLength = 64;  // u16, bytes including the terminator
inline constexpr std::size_t kEntryType = 66;        // u8: 1 storage, 2 stream, 5 root
inline constexpr std::size_t kEntryLeft = 68;        // u32 entry ids
inline constexpr std::size_t kEntryRight = 72;
inline constexpr std::size_t kEntryChild = 76;
inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

// Documents longer than this are not taken from their tables.
inline constexpr std::uint64_t kMaxDocumentBytes = 1ULL << 32;
// Directory sectors read at most; entries beyond them are not looked at.
inline constexpr std::uint32_t kMaxDirectorySectors = 4096;
}  // namespace ole2

struct Ole2Header {
  std::uint32_t sectorBytes = 0;  // 512 or 4096
  std::uint32_t fatSectors = 0;
  std::uint32_t firstDirectorySector = 0;
  std::uint32_t firstDifatSector = 0;
  std::uint32_t difatSectors = 0;
  std::array<std::uint32_t, ole2::kHeaderDifatCount> headerDifat{};
};

// The header when its signature, byte order, sector size and table counts are sound.
std::optional<Ole2Header> parseOle2Header(ByteSpan header);

// A document read from its own tables.
struct Ole2Document {
  std::optional<RawType> type;  // from the root's streams; none for other compound files
  std::uint64_t bytes = 0;      // through the end of the last sector in use
};

// Reads the allocation table (through the DIFAT chain for large files) and the
// directory; nullopt when the header or any table cannot be read.
std::optional<Ole2Document> readOle2Document(ByteSource& bytes);

// The fixed probes: Excel when "Microsoft Excel 5.0" lies 2080 bytes after the header's
// start or "Microsoft Excel" 4768 bytes after it, PowerPoint when the PowerPoint stream
// name lies 1152 bytes after it, Word otherwise.
RawType ole2ProbeType(ByteSource& bytes);

// The end markers: the sector holding the Workbook entry (Excel), the Current User entry
// (PowerPoint) or the "Word.Document" text (Word).
bool ole2EndsDocument(ByteSpan sector, RawType type);

extern const RawFormat kOle2Format;

}  // namespace tessaly::raw

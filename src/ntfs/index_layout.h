// Field offsets of an NTFS directory index block ("INDX") and of its index entries.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::indx {

// Block header.
constexpr std::size_t kSignature = 0;  // "INDX"
constexpr std::size_t kUpdateSequenceOffset = 4;
constexpr std::size_t kUpdateSequenceCount = 6;
constexpr std::size_t kVcn = 16;              // 64-bit; the low 32 bits are used
constexpr std::size_t kEntriesBase = 24;      // entry offsets count from here
constexpr std::size_t kFirstEntryOffset = 24; // 32-bit, relative to kEntriesBase
constexpr std::size_t kAllocatedSize = 32;    // of the entry area; the block is this + 24

// Largest block the engine reads.
constexpr std::size_t kMaxBlockSize = 65536;

// Index entry.
constexpr std::size_t kEntryRecord = 0;        // low 32 bits of the named record's reference
constexpr std::size_t kEntryLength = 8;
constexpr std::size_t kEntryFlags = 12;
constexpr std::size_t kEntryParent = 16;       // low 32 bits of the owner's reference
constexpr std::size_t kEntryCreationTime = 24;
constexpr std::size_t kEntryFlagsHigh = 74;    // high half of the $FILE_NAME flags
constexpr std::size_t kEntryHeaderReach = 76;  // the fixed fields end here
constexpr std::size_t kEntryNameLength = 80;
constexpr std::size_t kEntryNamespace = 81;
constexpr std::size_t kEntryName = 82;

constexpr std::uint32_t kLastEntryFlag = 0x02;     // in the entry flags: the end entry
constexpr std::uint16_t kDirectoryFlag = 0x1000;  // in the high half of the $FILE_NAME flags

}  // namespace tessaly::indx

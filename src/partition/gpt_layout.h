// Field offsets of a GUID partition table: the header (at sector 1, its backup at the
// disk's last sector) and the entries it points to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::gpt {

constexpr std::size_t kSignature = 0;             // "EFI PART"
constexpr std::size_t kHeaderSize = 12;           // 32-bit, bytes covered by the CRC
constexpr std::size_t kHeaderCrc = 16;            // CRC-32 of the header with this field zeroed
constexpr std::size_t kMyLba = 24;                // 64-bit
constexpr std::size_t kAlternateLba = 32;         // 64-bit
constexpr std::size_t kEntriesLba = 72;           // 64-bit
constexpr std::size_t kEntryCount = 80;           // 32-bit
constexpr std::size_t kEntrySize = 84;            // 32-bit
constexpr std::size_t kEntriesCrc = 88;           // CRC-32 of count × size bytes of entries

constexpr std::uint32_t kMinHeaderSize = 92;
constexpr std::uint32_t kMinEntrySize = 128;

// One entry.
constexpr std::size_t kEntryTypeGuid = 0;   // 16 bytes, all zero for an unused entry
constexpr std::size_t kEntryFirstLba = 32;  // 64-bit
constexpr std::size_t kEntryLastLba = 40;   // 64-bit, inclusive

}  // namespace tessaly::gpt

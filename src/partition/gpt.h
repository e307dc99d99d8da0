// GUID partition tables: a disk whose master boot record holds only the protective entry
// (type 0xEE) describes its partitions in a header at sector 1 (its backup at the disk's
// last sector) and an array of entries. Both CRCs are checked; a damaged primary gives
// way to the backup. The parsers take bytes; readGptPartitions reads the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/le.h"

namespace tessaly {

class Session;

// CRC-32 (the polynomial 0xEDB88320, as GPT and zip use it).
std::uint32_t crc32(ByteSpan bytes, std::uint32_t crc = 0);

struct GptHeader {
  std::uint64_t myLba = 0;
  std::uint64_t alternateLba = 0;
  std::uint64_t entriesLba = 0;
  std::uint32_t entryCount = 0;
  std::uint32_t entrySize = 0;
  std::uint32_t entriesCrc = 0;
  std::uint64_t entryBytes() const { return std::uint64_t{entryCount} * entrySize; }
};

// Most bytes of entries read (the usual array is 16 KiB).
constexpr std::uint64_t kMaxGptEntryBytes = 1 << 20;

// The header in sector, read from lba: its signature, its CRC, its own position and an
// entry array of sane size. nullopt otherwise.
std::optional<GptHeader> parseGptHeader(ByteSpan sector, std::uint64_t lba);

struct GptPartition {
  int entry = 0;  // 1-based position in the array
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
};

// The entries in use whose range lies inside the disk, in array order. Entries that fail
// the header's CRC give nothing.
std::vector<GptPartition> parseGptEntries(ByteSpan entries, const GptHeader& header,
                                          std::uint64_t diskSectors);

// True when the master boot record's only entry is the protective one.
bool isProtectiveMbr(ByteSpan mbr);

struct GptRead {
  bool found = false;   // a header (primary or backup) and its entries passed their checks
  bool backup = false;  // the backup header was used
  std::vector<GptPartition> partitions;
};

// Reads the table of the selected disk.
GptRead readGptPartitions(Session& session, std::uint64_t diskSectors);

}  // namespace tessaly

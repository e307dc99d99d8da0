#include "partition/gpt.h"

#include <array>

#include "disk/sector_reader.h"
#include "partition/boot_sector.h"
#include "partition/gpt_layout.h"
#include "session/session.h"

namespace tessaly {

namespace {

std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

}  // namespace

std::uint32_t crc32(ByteSpan bytes, std::uint32_t crc) {
  static const auto table = makeCrcTable();
  crc = ~crc;
  for (std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::optional<GptHeader> parseGptHeader(ByteSpan sector, std::uint64_t lba) {
  if (!bytesEqual(sector, gpt::kSignature, "EFI PART")) return std::nullopt;
  const std::uint32_t size = u32le(sector, gpt::kHeaderSize);
  if (size < gpt::kMinHeaderSize || size > sector.size()) return std::nullopt;
  std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + size);
  put32le(copy, gpt::kHeaderCrc, 0);
  if (crc32(copy) != u32le(sector, gpt::kHeaderCrc)) return std::nullopt;

  GptHeader h;
  h.myLba = u64le(sector, gpt::kMyLba);
  h.alternateLba = u64le(sector, gpt::kAlternateLba);
  h.entriesLba = u64le(sector, gpt::kEntriesLba);
  h.entryCount = u32le(sector, gpt::kEntryCount);
  h.entrySize = u32le(sector, gpt::kEntrySize);
  h.entriesCrc = u32le(sector, gpt::kEntriesCrc);
  if (h.myLba != lba || h.entrySize < gpt::kMinEntrySize || h.entrySize % 8 != 0 ||
      h.entryCount == 0 || h.entryBytes() > kMaxGptEntryBytes)
    return std::nullopt;
  return h;
}

std::vector<GptPartition> parseGptEntries(ByteSpan entries, const GptHeader& header,
                                          std::uint64_t diskSectors) {
  std::vector<GptPartition> partitions;
  if (entries.size() < header.entryBytes() ||
      crc32(entries.first(header.entryBytes())) != header.entriesCrc)
    return partitions;
  for (std::uint32_t i = 0; i < header.entryCount; ++i) {
    const ByteSpan entry = entries.subspan(std::size_t{i} * header.entrySize, header.entrySize);
    bool used = false;
    for (std::size_t b = 0; b < 16; ++b) used = used || u8at(entry, gpt::kEntryTypeGuid + b) != 0;
    if (!used) continue;
    GptPartition p;
    p.entry = static_cast<int>(i) + 1;
    p.first = u64le(entry, gpt::kEntryFirstLba);
    p.last = u64le(entry, gpt::kEntryLastLba);
    if (p.first == 0 || p.last < p.first || p.last >= diskSectors) continue;
    partitions.push_back(p);
  }
  return partitions;
}

bool isProtectiveMbr(ByteSpan mbr) {
  namespace bs = bootsector;
  bool protective = false;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint8_t type = u8at(mbr, bs::kPartitionEntries + i * bs::kEntrySize + bs::kEntryType);
    if (type == bs::kProtectiveType)
      protective = true;
    else if (type != 0)
      return false;
  }
  return protective;
}

GptRead readGptPartitions(Session& session, std::uint64_t diskSectors) {
  GptRead result;
  auto tryHeader = [&](std::uint64_t lba) -> bool {
    if (lba == 0 || lba >= diskSectors) return false;
    std::array<std::uint8_t, kSectorSize> sector{};
    if (!readDiskSectors(session, lba, 1, sector).delivered()) return false;
    const auto header = parseGptHeader(sector, lba);
    if (!header) return false;
    std::vector<std::uint8_t> entries((header->entryBytes() + kSectorSize - 1) / kSectorSize * kSectorSize);
    const auto count = static_cast<std::uint32_t>(entries.size() / kSectorSize);
    if (header->entriesLba >= diskSectors || count > diskSectors - header->entriesLba ||
        !readDiskSectors(session, header->entriesLba, count, entries).delivered())
      return false;
    if (crc32(ByteSpan(entries).first(header->entryBytes())) != header->entriesCrc) return false;
    result.partitions = parseGptEntries(entries, *header, diskSectors);
    result.found = true;
    return true;
  };
  if (tryHeader(1)) return result;
  result.backup = tryHeader(diskSectors - 1);
  return result;
}

}  // namespace tessaly

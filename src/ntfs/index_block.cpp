#include "ntfs/index_block.h"

#include <algorithm>

#include "disk/sector_reader.h"
#include "ntfs/index_layout.h"
#include "ntfs/mft_record.h"

namespace tessaly {

std::uint64_t indexBlockSize(ByteSpan block) {
  return std::uint64_t{u32le(block, indx::kAllocatedSize)} + indx::kEntriesBase;
}

std::uint32_t indexBlockVcn(ByteSpan block) { return u32le(block, indx::kVcn); }

std::vector<std::uint8_t> readIndexBlockAt(Session& session, std::uint64_t sector) {
  std::vector<std::uint8_t> first(kSectorSize, 0);
  if (!readDiskSectors(session, sector, 1, first).delivered()) return {};
  const std::uint64_t size = indexBlockSize(first);
  if (size > indx::kMaxBlockSize) return {};
  const auto sectors = static_cast<std::uint32_t>(size / kSectorSize);
  if (sectors == 0) return {};
  std::vector<std::uint8_t> block(std::size_t{sectors} * kSectorSize, 0);
  if (!readDiskSectors(session, sector, sectors, block).delivered()) return {};
  applyUpdateSequence(block, block.size());
  return block;
}

void forEachIndexEntry(ByteSpan block, std::size_t blockSize,
                       const std::function<void(const IndexEntry&)>& visitor) {
  const ByteSpan area = block.first(std::min(blockSize, block.size()));
  std::size_t position = indx::kEntriesBase + std::size_t{u32le(area, indx::kFirstEntryOffset)};
  while (fits(area, position + indx::kEntryNameLength, 1)) {
    const ByteSpan entry = area.subspan(position);
    // The end entry carries no name: what lies at its name offset are stale bytes of
    // entries that were moved or removed.
    if ((u32le(entry, indx::kEntryFlags) & indx::kLastEntryFlag) != 0) return;
    const std::uint8_t nameLength = u8at(entry, indx::kEntryNameLength);
    if (nameLength == 0) return;
    auto name = ntfsName(entry, indx::kEntryName, nameLength);
    if (!name || !fits(entry, 0, indx::kEntryHeaderReach)) return;

    IndexEntry visited;
    visited.recordNumber = u32le(entry, indx::kEntryRecord);
    visited.parent = u32le(entry, indx::kEntryParent);
    visited.creationTime = u64le(entry, indx::kEntryCreationTime);
    visited.isDirectory = (u16le(entry, indx::kEntryFlagsHigh) & indx::kDirectoryFlag) != 0;
    visited.nameSpace = u8at(entry, indx::kEntryNamespace);
    visited.name = std::move(*name);
    visitor(visited);

    const std::uint16_t length = u16le(entry, indx::kEntryLength);
    if (length == 0) return;
    position += length;
  }
}

}  // namespace tessaly

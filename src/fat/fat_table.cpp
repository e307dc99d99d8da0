#include "fat/fat_table.h"

#include <algorithm>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/directory_entry.h"
#include "session/session.h"

namespace tessaly {

std::uint32_t clusterLimit(const VolumeParameters& v, std::uint64_t lastSector) {
  std::uint64_t limit = fatEntryCount(v);
  if (const auto held = v.clustersBefore(lastSector + 1)) limit = std::min(limit, *held);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, 0x0FFFFFF7));
}

std::optional<std::uint32_t> decodeFatEntry(FileSystem fs, std::span<const std::uint8_t> bytes,
                                            std::uint64_t firstByte, std::uint32_t c) {
  std::uint64_t at = 0;
  std::size_t width = 4;
  if (fs == FileSystem::Fat12) {
    at = std::uint64_t{c} * 3 / 2;
    width = 2;
  } else if (fs == FileSystem::Fat16) {
    at = std::uint64_t{c} * 2;
    width = 2;
  } else if (fs == FileSystem::Fat32) {
    at = std::uint64_t{c} * 4;
  } else {
    return std::nullopt;
  }
  if (at < firstByte || !fits(bytes, at - firstByte, width)) return std::nullopt;
  const std::size_t o = static_cast<std::size_t>(at - firstByte);
  if (fs == FileSystem::Fat32) return u32le(bytes, o);
  const std::uint32_t pair = u16le(bytes, o);
  if (fs == FileSystem::Fat16) return pair;
  return c % 2 == 0 ? (pair & 0x0FFF) : (pair >> 4);
}

FatTable::FatTable(Session& session, const VolumeParameters& volume, std::uint64_t fatStart,
                   std::uint32_t windowSectors)
    : session_(session),
      volume_(volume),
      fatStart_(fatStart),
      windowSectors_(std::max<std::uint32_t>(windowSectors, 2)) {}

bool FatTable::load(std::uint64_t firstSector) {
  const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      windowSectors_, volume_.fatSectors > firstSector ? volume_.fatSectors - firstSector : 0));
  loaded_ = false;
  if (count == 0) return false;
  window_.assign(std::size_t{count} * kSectorSize, 0);
  if (!readDiskSectors(session_, fatStart_ + firstSector, count, window_).ok()) return false;
  windowFirst_ = firstSector;
  loaded_ = true;
  return true;
}

std::optional<std::uint32_t> FatTable::entry(std::uint32_t c) {
  if (fatStart_ == 0 || c >= fatEntryCount(volume_)) return std::nullopt;
  const FileSystem fs = volume_.fileSystem;
  if (loaded_) {
    if (auto e = decodeFatEntry(fs, window_, windowFirst_ * kSectorSize, c)) return e;
  }
  // The window that starts at the sector holding the entry's first byte (a FAT12 entry
  // across two sectors then lies wholly inside it).
  const std::uint64_t at = fs == FileSystem::Fat12   ? std::uint64_t{c} * 3 / 2
                           : fs == FileSystem::Fat16 ? std::uint64_t{c} * 2
                                                     : std::uint64_t{c} * 4;
  if (!load(at / kSectorSize)) return std::nullopt;
  return decodeFatEntry(fs, window_, windowFirst_ * kSectorSize, c);
}

std::vector<std::uint32_t> freeClusterRun(FatTable& fat1, std::uint32_t first, std::uint32_t needed,
                                          std::uint32_t limit) {
  std::vector<std::uint32_t> run;
  if (needed == 0 || first < 2 || first >= limit || !fat1.isFree(first)) return run;
  run.reserve(needed);
  for (std::uint32_t c = first; c < limit && run.size() < needed; ++c) {
    const auto e = fat1.entry(c);
    if (!e) return {};  // a FAT that cannot be read gives no guess
    if (*e == 0) run.push_back(c);
  }
  if (run.size() < needed) run.clear();
  return run;
}

std::uint32_t deletedFileStart(FatTable& fat1, std::uint32_t entryCluster,
                               std::uint32_t folderCluster, std::uint32_t limit) {
  const std::uint32_t low = entryCluster & 0xFFFF;
  const std::uint32_t folderHigh = folderCluster & 0xFFFF0000;
  if ((entryCluster >> 16) != 0 || low < 2 || folderHigh == 0) return entryCluster;
  const auto lowEntry = fat1.entry(low);
  if (!lowEntry) return entryCluster;
  if (*lowEntry == 0 && low >= folderCluster) return entryCluster;
  const std::uint32_t candidate = folderHigh | low;
  if (candidate >= limit || !fat1.isFree(candidate)) return entryCluster;
  return candidate;
}

EntryStarts::EntryStarts(Session& session, const VolumeParameters& volume,
                         std::uint32_t folderCluster, std::uint64_t lastSector)
    : fileSystem_(volume.fileSystem),
      fat1_(session, volume, volume.fat1Start, 8),
      folderCluster_(folderCluster),
      limit_(clusterLimit(volume, lastSector)) {}

std::uint32_t EntryStarts::of(std::span<const std::uint8_t> entry, bool deleted) {
  const std::uint32_t given = entryCluster(entry, fileSystem_);
  if (fileSystem_ != FileSystem::Fat32 || !deleted) return given;
  return deletedFileStart(fat1_, given, folderCluster_, limit_);
}

}  // namespace tessaly

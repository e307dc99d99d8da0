// FAT entries read through a window of whole FAT sectors, for walks that visit many
// neighbouring entries (free-cluster runs, the allocation of clusters near a folder):
// one read per window instead of one per entry. Every entry read is bounded by the
// FAT's length and by the volume's clusters.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "partition/partition_types.h"

namespace tessaly {

class Session;

// One past the highest cluster number of the volume: bounded by what one FAT holds and,
// when the volume's last sector is known, by the clusters that fit before it.
std::uint32_t clusterLimit(const VolumeParameters& volume, std::uint64_t lastSector);

class FatTable {
 public:
  // The FAT that starts at fatStart; windowSectors sectors are read at a time.
  FatTable(Session& session, const VolumeParameters& volume, std::uint64_t fatStart,
           std::uint32_t windowSectors = 64);

  // The entry of cluster c, as stored (FAT32: all 32 bits); nothing when c is outside the
  // FAT or its sectors could not be read.
  std::optional<std::uint32_t> entry(std::uint32_t c);
  // Free: the entry reads as 0.
  bool isFree(std::uint32_t c) {
    auto e = entry(c);
    return e && *e == 0;
  }

 private:
  bool load(std::uint64_t firstSector);

  Session& session_;
  VolumeParameters volume_;
  std::uint64_t fatStart_;
  std::uint32_t windowSectors_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowFirst_ = 0;  // FAT-relative sector of window_[0]
  bool loaded_ = false;
};

// The clusters free in FAT 1 from first upwards, in ascending order, until there are
// needed of them (clusters in use are passed over). Nothing when first itself is in use
// or unreadable, or when fewer than needed free clusters lie below limit.
std::vector<std::uint32_t> freeClusterRun(FatTable& fat1, std::uint32_t first, std::uint32_t needed,
                                          std::uint32_t limit);

// The first cluster of a deleted FAT32 entry whose high word some drivers clear on
// deletion. entryCluster is the cluster as the entry gives it and folderCluster the first
// cluster of the folder that holds the entry. When the high word is 0 and the low word
// names a cluster in use or below the folder's first cluster, the high word is taken
// from the folder's first cluster (files are written near their folder), provided the
// cluster so named is free and below limit; otherwise entryCluster stays.
std::uint32_t deletedFileStart(FatTable& fat1, std::uint32_t entryCluster,
                               std::uint32_t folderCluster, std::uint32_t limit);

// The first clusters of the entries of one folder: as the entry gives them, and for a
// deleted FAT32 entry through deletedFileStart.
class EntryStarts {
 public:
  EntryStarts(Session& session, const VolumeParameters& volume, std::uint32_t folderCluster,
              std::uint64_t lastSector);
  std::uint32_t of(std::span<const std::uint8_t> entry, bool deleted);

 private:
  FileSystem fileSystem_;
  FatTable fat1_;
  std::uint32_t folderCluster_;
  std::uint32_t limit_;
};

// Decodes entry c of a FAT held in bytes, whose first byte is FAT byte firstByte; nothing
// when the entry does not lie wholly inside.
std::optional<std::uint32_t> decodeFatEntry(FileSystem fileSystem,
                                            std::span<const std::uint8_t> bytes,
                                            std::uint64_t firstByte, std::uint32_t c);

}  // namespace tessaly

// FAT12, FAT16 and FAT32 entries read straight from the first FAT on the disk (the table
// is never loaded whole), and the walks that follow a directory's or a file's chain.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly {

class Session;
struct VolumeParameters;

// Cluster numbers in chain order.
using ClusterChain = std::vector<std::uint32_t>;

// Directory chains are followed for at most this many clusters ...
constexpr std::uint32_t kMaxDirectoryLinks = 1000;
// ... and those of directories under "Lost" for this many links (26 clusters).
constexpr std::uint32_t kMaxLostDirectoryLinks = 25;

// Appends a cluster; ends the program with "Not Enough Memory" when memory runs out.
void appendCluster(Session& session, ClusterChain& list, std::uint32_t cluster);

// The chain of a directory of the volume, from FAT 1 (parentId 268435455 marks a
// directory under "Lost").
ClusterChain walkDirectoryChain(Session& session, const VolumeParameters& volume, std::uint32_t firstCluster,
                                std::uint32_t parentId);
// The chain of a file of the volume, from FAT 1.
ClusterChain walkFileChain(Session& session, const VolumeParameters& volume, std::uint32_t firstCluster);

// The FAT entry of cluster c in the FAT that starts at fatStart: FAT12 entries read two
// sectors so that an entry across a sector boundary is whole. Nothing when the sector
// could not be read whole (FAT16, FAT32); on FAT12 an unread sector reads as 0, the end.
struct FatEntry {
  std::uint32_t value = 0;
  bool read = false;
};
FatEntry readFatEntry(Session& session, const VolumeParameters& volume, std::uint64_t fatStart,
                      std::uint32_t c);

// How many entries one FAT of the volume holds: the bound of every chain walk.
std::uint64_t fatEntryCount(const VolumeParameters& volume);

}  // namespace tessaly

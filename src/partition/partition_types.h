// The partition listing of a disk, the user's choice of a range, and the layout of a
// volume as computed from its boot sector.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "session/tree_model.h"
#include "session/values.h"

namespace tessaly {

constexpr std::uint32_t kLostId = 268435455;  // 0x0FFFFFFF, the "Lost" pseudo-folder

// Where a listed partition was found.
enum class PartitionOrigin {
  Table,      // the master boot record or an extended boot record
  WholeDisk,  // no partition table: sector 0 is the volume's boot sector
  Gpt,        // an entry of a GUID partition table
  Search,     // the partition search, by its boot sector
};

struct PartitionEntry {
  TreeItem treeItem = kNoItem;
  std::uint64_t startSector = 0;
  std::uint64_t endSector = 0;  // first sector after the partition
  PartitionOrigin origin = PartitionOrigin::Table;
};

struct DiskPartitionList {
  static constexpr int kMaxNames = 26;
  std::int32_t count = 0;
  std::array<FileSystem, kMaxNames> fileSystems{};
  std::array<PartitionEntry, 50> entries{};
  // Set when the tables held more partitions than the listing can name; they are not listed.
  bool truncated = false;
};

struct PartitionSelection {
  std::uint16_t diskNumber = 0;
  std::uint32_t partitionIndex = 0;
  FileSystem fileSystem = FileSystem::None;
  std::string searchMode;
  std::uint64_t firstSector = 0;
  std::uint64_t lastSector = 0;  // inclusive
  std::uint16_t selectedDisk = 0;
};

struct VolumeParameters {
  std::uint32_t fatSectors = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t rootDirSectors = 0;
  std::uint32_t rootDirStart = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t cluster0Sector = 0;
  std::uint32_t fat1Start = 0;
  std::uint32_t fat2Start = 0;
  std::uint32_t mftStart = 0;
  std::uint32_t mftMirrorStart = 0;
  std::uint32_t mftRecordSectors = 0;
  std::uint32_t indexBufferSectors = 0;
  FileSystem fileSystem = FileSystem::None;

  // Sectors by which cluster 0 lies before sector 0, else 0. A FAT volume whose data area
  // starts less than two clusters into the disk (one at sector 0 with large clusters and
  // small FATs) puts cluster 0 there, and cluster0Sector holds it wrapped to 32 bits.
  std::uint64_t cluster0BeforeDisk() const {
    const std::uint64_t before = (std::uint64_t{1} << 32) - cluster0Sector;
    return sectorsPerCluster <= 128 && before <= 2ull * sectorsPerCluster ? before : 0;
  }
  // Where cluster 0 begins, negative when it lies before sector 0.
  std::int64_t cluster0() const {
    const std::uint64_t before = cluster0BeforeDisk();
    return before != 0 ? -static_cast<std::int64_t>(before) : std::int64_t{cluster0Sector};
  }
  // First sector of cluster c. Clusters 0 and 1 of a volume whose cluster 0 lies before
  // the disk keep the wrapped sector, past the volume, rather than one inside it.
  std::uint64_t clusterSector(std::uint32_t c) const {
    const std::uint64_t offset = std::uint64_t{c} * sectorsPerCluster;
    const std::uint64_t before = cluster0BeforeDisk();
    return before != 0 && offset >= before ? offset - before : std::uint64_t{cluster0Sector} + offset;
  }
  // Clusters from cluster 0 up to sector `end` (not included); nothing when cluster 0 does
  // not begin before `end` or the cluster size is 0.
  std::optional<std::uint64_t> clustersBefore(std::uint64_t end) const {
    if (sectorsPerCluster == 0) return std::nullopt;
    if (const std::uint64_t before = cluster0BeforeDisk(); before != 0) return (end + before) / sectorsPerCluster;
    if (end <= cluster0Sector) return std::nullopt;
    return (end - cluster0Sector) / sectorsPerCluster;
  }
  bool isFat() const { return tessaly::isFat(fileSystem); }
};

// The fixed layout of a 1.44 MB floppy.
inline VolumeParameters floppyParameters() {
  VolumeParameters v;
  v.fatSectors = 9;
  v.sectorsPerCluster = 1;
  v.rootDirSectors = 14;
  v.rootDirStart = 19;
  v.reservedSectors = 1;
  v.cluster0Sector = 31;
  v.fat1Start = 1;
  v.fat2Start = 10;
  v.fileSystem = FileSystem::Fat12;
  return v;
}

}  // namespace tessaly

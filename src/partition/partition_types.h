// The partition listing of a disk, the user's choice of a range, and the layout of a
// volume as computed from its boot sector.
#pragma once

#include <array>
#include <cstdint>
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

  // First sector of cluster c.
  std::uint64_t clusterSector(std::uint32_t c) const {
    return std::uint64_t{cluster0Sector} + std::uint64_t{c} * sectorsPerCluster;
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

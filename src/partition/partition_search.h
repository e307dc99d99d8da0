// The partition search: when the tables no longer list a disk's partitions, the first
// sectors of every cylinder (head 1, else head 0) and every sector on a 1 MiB boundary
// are tested for the boot sector of a FAT16, FAT32 or NTFS volume, and each one found is
// listed as the table walk would list it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "disk/le.h"
#include "partition/partition_types.h"
#include "session/tree_model.h"

namespace tessaly {

class Session;

struct SearchGeometry {
  std::uint32_t cylinders = 0;
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
};

// A geometry of other than 63 sectors per track is searched as 255 heads of 63 sectors:
// cylinders = sectors per track × heads × cylinders ÷ 16065 (a 32-bit product).
SearchGeometry translateGeometry(SearchGeometry reported);

// Partitions made since 2008 start on multiples of this many sectors.
constexpr std::uint64_t kAlignedStep = 2048;

// The file system a found boot sector's marks give ("32" at 85, "16" at 57, "NTFS" at
// 3; None without one) and the volume's end: start + the 32-bit total at 0x20 (FAT; the
// 16-bit total at 0x13 when that is 0) or the 64-bit total at 0x28 (NTFS).
struct FoundBootSector {
  FileSystem fileSystem = FileSystem::None;
  std::uint64_t end = 0;
};
FoundBootSector classifyFoundBootSector(ByteSpan sector, std::uint64_t start);

struct SearchOptions {
  SearchGeometry geometry;      // as reported; translated by the search
  std::uint64_t diskSectors = 0;  // the aligned tests reach this far (0: the cylinders only)
  std::function<void(int)> progress;  // percent, called when it changes
  const std::atomic<bool>* stop = nullptr;
};

struct SearchOutcome {
  std::uint64_t reads = 0;  // sectors read
  bool stopped = false;
};

// Empties the selected disk's listing (removing its tree items), then searches and
// lists what it finds under the tree's root, in disk order, numbered from 1. A boot
// sector met twice (the same sector, or a backup copy inside a volume already listed)
// is listed once. The listing stops at the most it can name, marked truncated.
SearchOutcome searchPartitions(Session& session, TreeModel& tree, const SearchOptions& options);

}  // namespace tessaly

// The partition listing of a hard disk: its master boot record and chain of extended
// boot records, each partition named by its drive letter or its number.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "session/tree_model.h"
#include "session/values.h"

namespace tessaly {

class Session;

// Most records an extended chain may have; a chain that is longer, or that links back
// to a record already read, ends there.
constexpr int kMaxExtendedRecords = 256;

// Lists the partitions of the selected disk under the tree's root item and fills the
// disk's DiskPartitionList. tableSector is 0 for the master boot record.
void walkPartitionTable(Session& session, TreeModel& tree, std::uint32_t tableSector);

// "X:\" of the fixed volume whose boot sector has the same identity, or "".
std::string findDriveLetter(Session& session, std::span<const std::uint8_t> bootSector);

// The file system a partition's first sector and type byte give: FAT32, FAT16, NTFS,
// or None (not listed).
FileSystem classifyPartition(std::span<const std::uint8_t> firstSector, std::uint8_t typeByte);

}  // namespace tessaly

// The partition listing of a hard disk: its master boot record and chain of extended
// boot records, each partition named by its drive letter or its number.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "partition/partition_types.h"
#include "session/tree_model.h"
#include "session/values.h"

namespace tessaly {

class Session;

// Most records an extended chain may have; a chain that is longer, or that links back
// to a record already read, ends there.
constexpr int kMaxExtendedRecords = 256;

// Lists the partitions of the selected disk under the tree's root item and fills the
// disk's DiskPartitionList. tableSector is 0 for the master boot record. There, a disk
// without a table whose sector 0 is a volume's boot sector lists that volume as
// "Whole disk (FS)", and a disk with a protective record lists its GUID partition table.
void walkPartitionTable(Session& session, TreeModel& tree, std::uint32_t tableSector);

// Appends one volume to the listing under the tree's root with the label given; false,
// with the listing marked truncated, when it already holds as many as it can name.
bool listVolume(TreeModel& tree, DiskPartitionList& list, FileSystem fileSystem,
                std::uint64_t start, std::uint64_t end, PartitionOrigin origin,
                const std::string& label);

// The selected disk's size in sectors (0 when it cannot be opened).
std::uint64_t selectedDiskSectors(Session& session);

// How the selected range (session.partitionSelection) lies on its disk.
struct RangeOnDisk {
  bool clipped = false;   // it ran past the disk's last sector, and now ends there
  bool offDisk = false;   // it begins past the disk's last sector: nothing of it can be read
  std::string note;       // what to tell the user, when either is true
};
// Ends the selected range at the disk's last sector when a partition entry or a typed
// range runs past it, so that a scan never walks sectors the disk does not have. A
// floppy, or a disk whose size is not known, is left as it is.
RangeOnDisk clipSelectionToDisk(Session& session);

// "X:\" of the fixed volume whose boot sector has the same identity, or "".
std::string findDriveLetter(Session& session, std::span<const std::uint8_t> bootSector);

// The file system a partition's first sector and type byte give: FAT32, FAT16, NTFS,
// or None (not listed).
FileSystem classifyPartition(std::span<const std::uint8_t> firstSector, std::uint8_t typeByte);

}  // namespace tessaly

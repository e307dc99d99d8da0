// Advanced FAT: FAT16 and FAT32 file systems whose boot sector or position is not
// trusted. One sweep over a sector range notes FAT boot sectors and directory starts;
// the directories are then fitted to the boot sectors, and those that fit none are
// paired to solve for the cluster size and the cluster-0 sector. The file system the user
// chooses gets its layout completed (its FATs searched for when unknown), its directory
// table, the lost-directory check and its folder tree.
#pragma once

#include <cstdint>
#include <optional>

#include "disk/le.h"
#include "fat/file_system_lists.h"

namespace tessaly {

class Session;
struct ScanState;

// ---------------------------------------------------------------- sector parsers
// The BootSectorList row of a FAT16 or FAT32 boot sector at sector s: the 0x55 0xAA
// signature and "32" at byte 85 (FAT32) or "16" at byte 57 (FAT16). Nothing otherwise.
std::optional<FileSystemRow> bootSectorRow(ByteSpan sector, std::uint64_t s);

// The DirectorySectorList row of a sector s that starts with "." and "..".
std::optional<DirectorySectorRow> directorySectorRow(ByteSpan sector, std::uint64_t s);

// Two directories f and o (o found after f) that can belong to one file system: the
// cluster size h and the cluster-0 sector z with f.sector = z + h * f.self and
// o.sector = z + h * o.self.
struct PairFit {
  std::uint32_t sectorsPerCluster = 0;
  std::int64_t cluster0Sector = 0;
  bool operator==(const PairFit&) const = default;
};
std::optional<PairFit> fitPair(const DirectorySectorRow& f, const DirectorySectorRow& o);

// A sector that begins a FAT: 0xF8 0xFF 0xFF.
bool isFatStart(ByteSpan sector);

// ---------------------------------------------------------------- the search
// Sweeps session.partitionSelection's range in 40-sector chunks into scan.bootSectors and
// scan.directorySectors, counting both. Ends at the next chunk when scan.stopRequested is
// set, or when the disk stops answering, keeping what was found.
void sweepForFileSystems(Session& session, ScanState& scan);

// Fills scan.fileSystems and the file system of every directory row: first by the boot
// sectors found, then by pairs of directories. The type of a derived file system is the
// selection's, or FAT32 once one of its directories lies above cluster 65536.
void identifyFileSystems(Session& session, ScanState& scan);

// Where the FATs of a file system without a boot sector lie: the first two sectors that
// begin a FAT below cluster 0 (FAT32) or below cluster 2 (FAT16, whose root folder lies
// between), searched from 550 (FAT16) or 30000 (FAT32) sectors below cluster 0, or from
// sector 63 or `lowest`, whichever is lower, when that would not leave a positive number.
// FAT32 FATs longer than that window are then searched for downwards from cluster 0, not
// below `lowest`. Zeros when either is not found.
struct FatPositions {
  std::uint64_t first = 0;
  std::uint64_t second = 0;
};
FatPositions searchFats(Session& session, std::int64_t cluster0Sector,
                        std::uint32_t sectorsPerCluster, FileSystem type, std::uint64_t lowest);

// Prepares row `chosen` (0-based) of scan.fileSystems: completes its layout, sets the
// working volume, fills the directory table with its directories, runs the lost-directory
// check and builds the folder tree afresh. False (nothing changed) for a row that does
// not exist or whose layout lies beyond the sectors a FAT volume can address.
bool prepareChosenFileSystem(Session& session, ScanState& scan, std::size_t chosen);

}  // namespace tessaly

// The three lists of an Advanced FAT search: the FAT boot sectors a sweep found (each with
// the layout it describes), the directory starts it found, and the file systems made of
// them. The user's choice is a row of the file-system list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "session/values.h"

namespace tessaly {

// One row of BootSectorList and of FileSystemList. A row derived from a pair of
// directories holds only the sectors per cluster, the cluster-0 sector and the type
// (its "Sector" is 0); the FAT search of the chosen file system fills the rest. A value
// of 0 stands for an empty cell.
struct FileSystemRow {
  std::uint64_t sector = 0;             // "Sector": the boot sector
  std::uint32_t sectorsPerFat = 0;      // "SPF"
  std::uint32_t sectorsPerCluster = 0;  // "SPC"
  std::uint32_t rootSectors = 0;        // "Root Sectors": FAT16 root entries / 16
  std::uint64_t rootStart = 0;          // "Root Start": FAT32 root cluster, FAT16 sector
  std::uint32_t reservedSectors = 0;    // "Reserve Sectors"
  std::int64_t cluster0Start = 0;       // "Cluster0Start": where cluster 0 would begin
  std::uint64_t firstFat = 0;           // "firstFAT"
  std::uint64_t secondFat = 0;          // "secondFAT"
  std::uint64_t totalSectors = 0;       // "TotalSectors": the first sector after the volume
  FileSystem type = FileSystem::None;   // "PartType": FAT16 or FAT32
  bool derived = false;                 // made from a pair of directories

  static const std::array<const char*, 11> kColumnNames;
  bool operator==(const FileSystemRow&) const = default;
};

// The file system a directory start belongs to.
constexpr std::int32_t kUnassigned = 0;
constexpr std::int32_t kUnassignable = -1;

// One row of DirectorySectorList: a sector that starts with a "." and a ".." entry.
struct DirectorySectorRow {
  std::uint64_t sector = 0;
  std::uint32_t selfCluster = 0;    // of the "." entry, the high word always taken
  std::uint32_t parentCluster = 0;  // of the ".." entry, likewise
  std::int32_t fileSystem = kUnassigned;  // n: row n (1-based) of FileSystemList
  std::uint16_t date = 0;                 // of the "." entry
  std::uint16_t time = 0;

  bool operator==(const DirectorySectorRow&) const = default;
};

using BootSectorList = std::vector<FileSystemRow>;
using DirectorySectorList = std::vector<DirectorySectorRow>;
using FileSystemList = std::vector<FileSystemRow>;

// How far identifyFileSystems got: 1 after fitting directories to boot sectors, 2 at the
// end.
enum class IdentifyStatus { NotRun = 0, BootSectorsDone = 1, Done = 2 };

}  // namespace tessaly

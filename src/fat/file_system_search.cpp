#include "fat/file_system_search.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "disk/sector_reader.h"
#include "fat/directory_entry.h"
#include "fat/directory_sweep.h"
#include "fat/quick_scan.h"
#include "fat/tree_builder.h"
#include "partition/boot_sector.h"
#include "partition/volume.h"
#include "session/scan_progress.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;
namespace de = direntry;

const std::array<const char*, 11> FileSystemRow::kColumnNames = {
    "Sector",          "SPF",           "SPC",      "Root Sectors", "Root Start", "Reserve Sectors",
    "Cluster0Start",   "firstFAT",      "secondFAT", "TotalSectors", "PartType"};

namespace {
constexpr std::size_t kTotalSectors16 = 0x13;
constexpr std::size_t kTotalSectors32 = 0x20;
constexpr std::size_t kFat32Digits = 85;  // "32" of "FAT32" at byte 82
constexpr std::size_t kFat16Digits = 57;  // "16" of "FAT16" at byte 54
}  // namespace

std::optional<FileSystemRow> bootSectorRow(ByteSpan sector, std::uint64_t s) {
  if (u8at(sector, bs::kSignature) != 0x55 || u8at(sector, bs::kSignature + 1) != 0xAA) return std::nullopt;
  const bool fat32 = bytesEqual(sector, kFat32Digits, "32");
  const bool fat16 = !fat32 && bytesEqual(sector, kFat16Digits, "16");
  if (!fat32 && !fat16) return std::nullopt;
  FileSystemRow row;
  row.sector = s;
  row.sectorsPerCluster = u8at(sector, bs::kSectorsPerCluster);
  row.reservedSectors = u16le(sector, bs::kReservedSectors);
  const std::uint64_t fatsEnd = s + row.reservedSectors;
  row.firstFat = fatsEnd;
  if (fat32) {
    row.type = FileSystem::Fat32;
    row.sectorsPerFat = u32le(sector, bs::kFat32Sectors);
    row.rootStart = u32le(sector, bs::kFat32RootCluster);
    row.totalSectors = s + u32le(sector, kTotalSectors32);
  } else {
    row.type = FileSystem::Fat16;
    row.sectorsPerFat = u16le(sector, bs::kFat16Sectors);
    row.rootSectors = u16le(sector, bs::kRootEntries) / 16u;
    row.rootStart = fatsEnd + 2ull * row.sectorsPerFat;
    const std::uint32_t small = u16le(sector, kTotalSectors16);
    row.totalSectors = s + (small != 0 ? small : u32le(sector, kTotalSectors32));
  }
  row.secondFat = fatsEnd + row.sectorsPerFat;
  row.cluster0Start = static_cast<std::int64_t>(fatsEnd + 2ull * row.sectorsPerFat + row.rootSectors) -
                      2 * static_cast<std::int64_t>(row.sectorsPerCluster);
  return row;
}

std::optional<DirectorySectorRow> directorySectorRow(ByteSpan sector, std::uint64_t s) {
  if (!isDirectoryStart(sector)) return std::nullopt;
  const ByteSpan dot = sector.subspan(0, de::kSize);
  const ByteSpan dotdot = sector.subspan(de::kSize, de::kSize);
  DirectorySectorRow row;
  row.sector = s;
  row.selfCluster = entryCluster(dot, FileSystem::Fat32);
  row.parentCluster = entryCluster(dotdot, FileSystem::Fat32);
  row.date = u16le(dot, de::kDate);
  row.time = u16le(dot, de::kTime);
  return row;
}

std::optional<PairFit> fitPair(const DirectorySectorRow& f, const DirectorySectorRow& o) {
  const std::uint64_t u = f.selfCluster, l = f.sector, m = o.selfCluster, t = o.sector;
  if (!(u < m && l < t && m < t && m < l)) return std::nullopt;
  if ((t - l) % (m - u) != 0) return std::nullopt;
  const std::uint64_t h = (t - l) / (m - u);
  if (h == 0 || h > 128 || (h & (h - 1)) != 0) return std::nullopt;
  if (!(h * u < l && h * m < t)) return std::nullopt;
  return PairFit{static_cast<std::uint32_t>(h), l - h * u};
}

bool isFatStart(ByteSpan sector) {
  return u8at(sector, 0) == 0xF8 && u8at(sector, 1) == 0xFF && u8at(sector, 2) == 0xFF;
}

void sweepForFileSystems(Session& session, ScanState& scan) {
  Report& report = *session.report;
  const std::uint64_t first = session.partitionSelection.firstSector;
  const std::uint64_t last = session.partitionSelection.lastSector;
  const std::string lastText = std::to_string(last);
  scan.bootSectors.clear();
  scan.directorySectors.clear();
  scan.fileSystems.clear();
  scan.identifyStatus = IdentifyStatus::NotRun;
  std::uint64_t bootCount = 0, directoryCount = 0;
  report.counter(Counter::BootSectorsFound, 0);
  report.counter(Counter::FoldersFound, 0);
  report.status("Sector  0 / " + lastText);
  scan.sweepRunning = true;
  scan.stopRequested = false;

  ScanProgress progress(report);
  std::vector<std::uint8_t> chunk(kChunkSectors * kSectorSize);
  std::uint32_t sinceStatus = 0;
  for (std::uint64_t s = first; !scan.stopRequested && s < last; s += kChunkSectors) {
    session.safePoint();
    // The chunk ends with the range; a chunk that cannot be read recognises nothing.
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, last - s + 1));
    std::fill(chunk.begin(), chunk.end(), 0);
    const ReadResult read = readDiskSectors(session, s, count, std::span(chunk).first(count * kSectorSize));
    if (read.lost()) break;
    if (read.delivered()) {
      for (std::uint32_t j = 0; j < count; ++j) {
        const ByteSpan sector = ByteSpan(chunk).subspan(j * kSectorSize, kSectorSize);
        // A FAT start and a directory start both begin with fixed bytes: most sectors are
        // neither and are passed over on their first bytes.
        if (auto boot = bootSectorRow(sector, s + j)) {
          scan.bootSectors.push_back(*boot);
          report.counter(Counter::BootSectorsFound, ++bootCount);
        }
        if (auto directory = directorySectorRow(sector, s + j)) {
          scan.directorySectors.push_back(*directory);
          report.counter(Counter::FoldersFound, ++directoryCount);
        }
      }
    }
    sinceStatus += kChunkSectors;
    if (sinceStatus >= 1000) {
      sinceStatus = 0;
      report.status("Sector  " + std::to_string(s) + " / " + lastText);
    }
    progress.set(s, last);
  }
  scan.sweepRunning = false;
}

namespace {

// The identification's progress: one step per directory given a file system or given up.
class IdentifyProgress {
 public:
  IdentifyProgress(Report& report, std::size_t directories) : report_(report), total_(directories) {}
  void step(std::size_t steps = 1) {
    done_ += steps;
    const int percent =
        total_ == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(done_ * 100 / total_, 100));
    if (percent == shown_) return;
    shown_ = percent;
    report_.scanProgress(percent);
    report_.scanProgressText(std::to_string(percent) + " % ");
  }

 private:
  Report& report_;
  std::size_t total_;
  std::size_t done_ = 0;
  int shown_ = 0;
};

// Phase 1: the directories that lie where a boot sector's layout puts their cluster.
void fitToBootSectors(ScanState& scan, IdentifyProgress& progress) {
  for (const FileSystemRow& boot : scan.bootSectors) {
    // A damaged boot sector's cluster size would make every sector fit (0) or none.
    if (!isValidSectorsPerCluster(boot.sectorsPerCluster)) continue;
    const std::int64_t z = boot.cluster0Start;
    const std::uint64_t p = boot.sectorsPerCluster;
    std::int32_t n = 0;
    for (DirectorySectorRow& d : scan.directorySectors) {
      if (d.fileSystem != kUnassigned) continue;
      const auto sector = static_cast<std::int64_t>(d.sector);
      if (sector < z || d.sector > boot.totalSectors) continue;
      if (sector != z + static_cast<std::int64_t>(p * d.selfCluster)) continue;
      if (n == 0) {
        scan.fileSystems.push_back(boot);
        n = static_cast<std::int32_t>(scan.fileSystems.size());
      }
      d.fileSystem = n;
      progress.step();
    }
  }
}

// Phase 2: file systems solved from pairs of directories that no boot sector claimed.
void fitPairs(ScanState& scan, FileSystem selection, IdentifyProgress& progress) {
  DirectorySectorList& dirs = scan.directorySectors;
  for (std::size_t fi = 0; fi < dirs.size(); ++fi) {
    if (dirs[fi].fileSystem != kUnassigned) continue;
    std::optional<PairFit> fit;
    std::size_t oi = fi + 1;
    for (; oi < dirs.size(); ++oi) {
      if (dirs[oi].fileSystem != kUnassigned) continue;
      if ((fit = fitPair(dirs[fi], dirs[oi]))) break;
    }
    if (!fit) {
      dirs[fi].fileSystem = kUnassignable;
      progress.step();
      continue;
    }
    FileSystemRow row;
    row.derived = true;
    row.sectorsPerCluster = fit->sectorsPerCluster;
    row.cluster0Start = static_cast<std::int64_t>(fit->cluster0Sector);
    row.type = selection;
    scan.fileSystems.push_back(row);
    const auto n = static_cast<std::int32_t>(scan.fileSystems.size());
    dirs[fi].fileSystem = n;
    dirs[oi].fileSystem = n;
    progress.step(2);
    std::uint32_t largest = dirs[oi].selfCluster;
    for (DirectorySectorRow& d : dirs) {
      if (d.fileSystem != kUnassigned) continue;
      if (d.sector != fit->cluster0Sector + std::uint64_t{fit->sectorsPerCluster} * d.selfCluster) continue;
      d.fileSystem = n;
      largest = std::max(largest, d.selfCluster);
      progress.step();
    }
    // FAT16 numbers its clusters in 16 bits: a directory above that is FAT32's.
    if (selection != FileSystem::Fat32 && largest > 65536) scan.fileSystems.back().type = FileSystem::Fat32;
  }
}

}  // namespace

void identifyFileSystems(Session& session, ScanState& scan) {
  Report& report = *session.report;
  scan.fileSystems.clear();
  for (DirectorySectorRow& d : scan.directorySectors) d.fileSystem = kUnassigned;
  report.status(session.text(msg::kIdentifyingFromBootSectors));
  report.scanProgress(0);
  report.scanProgressText("0  % ");
  IdentifyProgress progress(report, scan.directorySectors.size());
  fitToBootSectors(scan, progress);
  scan.identifyStatus = IdentifyStatus::BootSectorsDone;
  report.status(session.text(msg::kIdentifyingFromDirectories));
  fitPairs(scan, session.partitionSelection.fileSystem, progress);
  scan.identifyStatus = IdentifyStatus::Done;
}

FatPositions searchFats(Session& session, std::uint64_t cluster0Sector, FileSystem type) {
  const std::uint64_t back = type == FileSystem::Fat32 ? 30000 : 550;
  const std::uint64_t start = cluster0Sector > back ? cluster0Sector - back : 63;
  FatPositions found;
  std::vector<std::uint8_t> chunk(kChunkSectors * kSectorSize);
  for (std::uint64_t s = start; s < cluster0Sector; s += kChunkSectors) {
    session.safePoint();
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, cluster0Sector - s));
    std::fill(chunk.begin(), chunk.end(), 0);
    const ReadResult read = readDiskSectors(session, s, count, std::span(chunk).first(count * kSectorSize));
    if (read.lost()) break;
    for (std::uint32_t j = 0; j < count; ++j) {
      if (!isFatStart(ByteSpan(chunk).subspan(j * kSectorSize, kSectorSize))) continue;
      if (found.first == 0) {
        found.first = s + j;
      } else {
        found.second = s + j;
        return found;
      }
    }
  }
  return {};
}

bool prepareChosenFileSystem(Session& session, ScanState& scan, std::size_t chosen) {
  if (chosen >= scan.fileSystems.size()) return false;
  FileSystemRow& row = scan.fileSystems[chosen];
  constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  if (row.cluster0Start < 0 || static_cast<std::uint64_t>(row.cluster0Start) > kMax32) return false;
  const auto cluster0 = static_cast<std::uint32_t>(row.cluster0Start);
  const FileSystem type = row.type;

  // The directory table: "Lost", then the file system's directories in sweep order.
  DirectoryTable& table = scan.directoryTable;
  const auto n = static_cast<std::int32_t>(chosen + 1);
  const std::size_t rows = static_cast<std::size_t>(
      std::count_if(scan.directorySectors.begin(), scan.directorySectors.end(),
                    [n](const DirectorySectorRow& d) { return d.fileSystem == n; }));
  table.release();
  if (!table.enterTableMode(session.memoryLimit, rows + 1)) table.enterListMode();
  table.append(DirectoryRow::lost());
  std::size_t index = 0;
  for (const DirectorySectorRow& d : scan.directorySectors) {
    if (d.fileSystem != n) continue;
    DirectoryRow r;
    r.name = "DIR" + std::to_string(index++);
    r.sector = static_cast<std::uint32_t>(std::min<std::uint64_t>(d.sector, kMax32));
    r.self = d.selfCluster;
    r.parent = d.parentCluster;
    r.date = d.date;
    r.time = d.time;
    r.attr = de::kDirectoryBit;
    r.kind = RowKind::Folder;
    table.append(r);
  }

  // Without a boot sector the FATs are searched for below the data area.
  if (row.firstFat == 0) {
    const FatPositions fats = searchFats(session, cluster0, type);
    if (fats.first != 0 && fats.second != 0) {
      row.firstFat = fats.first;
      row.secondFat = fats.second;
      row.sectorsPerFat = static_cast<std::uint32_t>(std::min<std::uint64_t>(fats.second - fats.first, kMax32));
      row.rootStart = type == FileSystem::Fat32 ? 2 : fats.second + row.sectorsPerFat;
    }
  }

  VolumeParameters v;
  v.fileSystem = type;
  v.cluster0Sector = cluster0;
  v.fat1Start = static_cast<std::uint32_t>(std::min(row.firstFat, kMax32));
  v.fat2Start = static_cast<std::uint32_t>(std::min(row.secondFat, kMax32));
  v.reservedSectors = row.reservedSectors;
  v.rootDirSectors = row.rootSectors == 0 && type == FileSystem::Fat16 ? 32 : row.rootSectors;
  v.rootDirStart = row.rootStart == 0 ? 2 : static_cast<std::uint32_t>(std::min(row.rootStart, kMax32));
  v.sectorsPerCluster = row.sectorsPerCluster;
  v.fatSectors = row.sectorsPerFat;
  scan.volume = v;
  scan.workingVolume = v;

  Report& report = *session.report;
  report.status(session.text(msg::kSearchingLostDirectories));
  markLostDirectories(session, scan);
  table.sortByParent();
  report.status(session.text(msg::kBuildingFolderTree));
  resetResults(scan);
  buildFatTree(session, scan);
  return true;
}

}  // namespace tessaly

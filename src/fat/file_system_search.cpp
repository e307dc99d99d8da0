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
    "Sector",        "SPF",      "SPC",       "Root Sectors", "Root Start", "Reserve Sectors",
    "Cluster0Start", "firstFAT", "secondFAT", "TotalSectors", "PartType"};

namespace {
constexpr std::size_t kTotalSectors16 = 0x13;
constexpr std::size_t kTotalSectors32 = 0x20;
constexpr std::size_t kFat32Digits = 85;  // "32" of "FAT32" at byte 82
constexpr std::size_t kFat16Digits = 57;  // "16" of "FAT16" at byte 54
}  // namespace

std::optional<FileSystemRow> bootSectorRow(ByteSpan sector, std::uint64_t s) {
  if (u8at(sector, bs::kSignature) != 0x55 || u8at(sector, bs::kSignature + 1) != 0xAA)
    return std::nullopt;
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
  row.cluster0Start =
      static_cast<std::int64_t>(fatsEnd + 2ull * row.sectorsPerFat + row.rootSectors) -
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
  // Cluster 0 may lie up to two clusters before sector 0 (a volume at the start of the
  // disk whose small FATs end within two clusters), never further: cluster 2, the first
  // one with data, starts at sector 1 at the earliest. m < l keeps h * u far below 2^63.
  const std::int64_t z = static_cast<std::int64_t>(l) - static_cast<std::int64_t>(h * u);
  if (z <= -2 * static_cast<std::int64_t>(h)) return std::nullopt;
  return PairFit{static_cast<std::uint32_t>(h), z};
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
    // The chunk ends with the range. Sectors that cannot be read recognise nothing: they
    // would otherwise still hold the chunk before.
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, last - s + 1));
    const ReadResult read =
        readDiskSectors(session, s, count, std::span(chunk).first(count * kSectorSize));
    if (read.lost()) break;
    for (const SectorRange& skipped : read.skipped) {
      const auto from = chunk.begin() + static_cast<long>((skipped.first - s) * kSectorSize);
      std::fill(from, from + static_cast<long>(std::size_t{skipped.count} * kSectorSize), 0);
    }
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
  IdentifyProgress(Report& report, std::size_t directories)
      : report_(report), total_(directories) {}
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
    row.cluster0Start = fit->cluster0Sector;
    row.type = selection;
    scan.fileSystems.push_back(row);
    const auto n = static_cast<std::int32_t>(scan.fileSystems.size());
    dirs[fi].fileSystem = n;
    dirs[oi].fileSystem = n;
    progress.step(2);
    std::uint32_t largest = dirs[oi].selfCluster;
    for (DirectorySectorRow& d : dirs) {
      if (d.fileSystem != kUnassigned) continue;
      if (static_cast<std::int64_t>(d.sector) !=
          fit->cluster0Sector + std::int64_t{fit->sectorsPerCluster} * d.selfCluster)
        continue;
      d.fileSystem = n;
      largest = std::max(largest, d.selfCluster);
      progress.step();
    }
    // FAT16 numbers its clusters in 16 bits: a directory above that is FAT32's.
    if (selection != FileSystem::Fat32 && largest > 65536)
      scan.fileSystems.back().type = FileSystem::Fat32;
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

namespace {

// Reads sectors [from, to) in chunks and calls take(sector) for each FAT start, in
// ascending order, or descending when down is set; take returns true to stop.
template <typename Take>
void forEachFatStart(Session& session, std::uint64_t from, std::uint64_t to, bool down,
                     Take&& take) {
  std::vector<std::uint8_t> chunk(kChunkSectors * kSectorSize);
  std::uint64_t remaining = to > from ? to - from : 0;
  while (remaining > 0) {
    session.safePoint();
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSectors, remaining));
    const std::uint64_t s = down ? from + remaining - count : to - remaining;
    std::fill(chunk.begin(), chunk.end(), 0);
    if (readDiskSectors(session, s, count, std::span(chunk).first(count * kSectorSize)).lost())
      return;
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::uint32_t j = down ? count - 1 - k : k;
      if (isFatStart(ByteSpan(chunk).subspan(j * kSectorSize, kSectorSize)) && take(s + j)) return;
    }
    remaining -= count;
  }
}

}  // namespace

FatPositions searchFats(Session& session, std::int64_t cluster0Sector,
                        std::uint32_t sectorsPerCluster, FileSystem type, std::uint64_t lowest) {
  const std::int64_t back = type == FileSystem::Fat32 ? 30000 : 550;
  // From sector 63, where the first partition of a disk begins, or from the range's start
  // when that lies lower: a volume at the start of the disk has its first FAT below 63.
  const std::uint64_t start = cluster0Sector > back
                                  ? static_cast<std::uint64_t>(cluster0Sector - back)
                                  : std::min<std::uint64_t>(63, lowest);
  // FAT16 FATs end before the root folder and cluster 2, which with large clusters and
  // small FATs can lie above cluster 0, or with cluster 0 before sector 0 all of them do.
  // FAT32 FATs reach cluster 2 and always begin more than two clusters below it.
  const std::int64_t top =
      type == FileSystem::Fat32 ? cluster0Sector
                                : cluster0Sector + 2 * std::int64_t{sectorsPerCluster};
  FatPositions found;
  forEachFatStart(session, start, static_cast<std::uint64_t>(std::max<std::int64_t>(top, 0)), false,
                  [&](std::uint64_t s) {
                    (found.first == 0 ? found.first : found.second) = s;
                    return found.second != 0;
                  });
  if (found.second != 0 || type != FileSystem::Fat32 || cluster0Sector <= 0)
    return found.second != 0 ? found : FatPositions{};
  // FATs longer than the window (FAT32 volumes of more than about 7 GiB): the nearest two
  // FAT starts below cluster 0, no further down than the range or the largest two FATs.
  constexpr std::uint64_t kLargestFats = 2 * (1ull << 21) + 64;
  const auto below = static_cast<std::uint64_t>(cluster0Sector);
  const std::uint64_t floor = std::max(lowest, below > kLargestFats ? below - kLargestFats : 0);
  found = {};
  forEachFatStart(session, floor, below, true, [&](std::uint64_t s) {
    (found.second == 0 ? found.second : found.first) = s;
    return found.first != 0;
  });
  return found.first != 0 ? found : FatPositions{};
}

bool prepareChosenFileSystem(Session& session, ScanState& scan, std::size_t chosen) {
  if (chosen >= scan.fileSystems.size()) return false;
  FileSystemRow& row = scan.fileSystems[chosen];
  constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  // Cluster 0 up to two clusters before sector 0 is kept wrapped to 32 bits, as the
  // volume's parameters read it; further down no cluster with data could lie on the disk.
  if (row.cluster0Start <= -2 * std::int64_t{row.sectorsPerCluster} ||
      row.cluster0Start > static_cast<std::int64_t>(kMax32))
    return false;
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
    const FatPositions fats =
        searchFats(session, row.cluster0Start, row.sectorsPerCluster, type,
                   session.partitionSelection.firstSector);
    if (fats.first != 0 && fats.second != 0) {
      row.firstFat = fats.first;
      row.secondFat = fats.second;
      row.sectorsPerFat =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(fats.second - fats.first, kMax32));
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
  v.rootDirStart =
      row.rootStart == 0 ? 2 : static_cast<std::uint32_t>(std::min(row.rootStart, kMax32));
  v.sectorsPerCluster = row.sectorsPerCluster;
  v.fatSectors = row.sectorsPerFat;
  // Without its boot sector a FAT16 root folder is taken as 512 entries long, but it ends
  // where cluster 2 begins: read further, it would list the first folder's entries again.
  if (row.rootSectors == 0 && type == FileSystem::Fat16 && row.rootStart != 0 &&
      row.rootStart < v.clusterSector(2))
    v.rootDirSectors = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(v.rootDirSectors, v.clusterSector(2) - row.rootStart));
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

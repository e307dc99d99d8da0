#include "fat/directory_sweep.h"

#include <array>
#include <new>
#include <unordered_set>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "disk/sector_list.h"
#include "fat/cluster_candidates.h"
#include "fat/directory_entry.h"
#include "ntfs/entry_tables.h"
#include "partition/volume.h"
#include "session/scan_progress.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;

namespace {

// A directory start found by the first pass, with what its "." and ".." entries said.
struct Candidate {
  std::uint32_t sector;
  std::uint32_t cluster;
  std::uint32_t parent;
  std::uint32_t size;
  std::uint16_t date;
  std::uint16_t time;
  std::uint8_t attr;
  bool namesItself;  // its "." entry names its own cluster: a directory row
};

// The row a directory start gives, or nothing when its "." entry names another cluster.
bool rowFor(std::span<const std::uint8_t> sector, std::uint32_t s, std::uint32_t c,
            FileSystem fileSystem, DirectoryRow& row) {
  if (!isDirectoryStart(sector)) return false;
  std::span<const std::uint8_t> dot = sector.subspan(0, de::kSize);
  std::span<const std::uint8_t> dotdot = sector.subspan(de::kSize, de::kSize);
  if (entryCluster(dot, fileSystem) != c) return false;
  row.sector = s;
  row.self = c;
  row.parent = entryCluster(dotdot, fileSystem);
  row.date = u16le(dot, de::kDate);
  row.time = u16le(dot, de::kTime);
  row.size = u32le(dot, de::kFileSize);
  row.attr = u8at(dot, de::kAttributes);
  row.sysID = 0;
  row.kind = RowKind::Folder;
  return true;
}


// Clusters whose first sector one batch reads (at most), and clusters looked at per
// batch, so that Stop and the progress are heard from on a volume with few candidates.
constexpr std::size_t kBatchSectors = 2048;
constexpr std::uint32_t kBatchClusters = 1u << 20;

// Reads the first sector of every cluster from the first (every one, or those of
// candidates), in order, in batches: onBatch(sector) before each batch, then visit(s, c,
// sector) for each cluster of it until visit answers false. The next batch is asked of
// the system while one is read. Ends on Stop. False when the disk stopped answering.
template <typename OnBatch, typename Visit>
bool sweepClusterStarts(Session& session, ScanState& scan, const ClusterCandidates* candidates,
                        std::uint64_t firstSector, std::uint64_t lastSector, std::uint32_t spc, OnBatch onBatch,
                        Visit visit) {
  struct Batch {
    std::uint64_t from = 0;  // the sector the batch's clusters start at
    std::vector<std::uint64_t> sectors;
    std::vector<std::uint32_t> clusters;
  };
  std::vector<std::uint8_t> buffer(kBatchSectors * 512);
  std::uint64_t s = firstSector;
  std::uint32_t c = 2;
  auto fill = [&](Batch& batch) {
    batch.from = s;
    batch.sectors.clear();
    batch.clusters.clear();
    for (std::uint32_t looked = 0;
         s < lastSector && batch.sectors.size() < kBatchSectors && looked < kBatchClusters; s += spc, ++c, ++looked) {
      if (candidates && !candidates->contains(c)) continue;
      batch.sectors.push_back(s);
      batch.clusters.push_back(c);
    }
  };
  Batch current, next;
  bool more = s < lastSector;
  if (more) fill(current);
  while (!scan.stopRequested && more) {
    session.safePoint();
    onBatch(current.from);
    more = s < lastSector;
    if (more) {
      fill(next);
      prefetchSectorList(session, next.sectors);
    }
    // On a disk that stops answering, the sectors read before it did are still looked at.
    std::size_t delivered = 0;
    const bool lost = readSectorList(session, current.sectors, buffer, &delivered).lost();
    for (std::size_t i = 0; i < delivered; ++i) {
      if (scan.stopRequested) return true;
      if (!visit(current.sectors[i], current.clusters[i], std::span<const std::uint8_t>(buffer).subspan(i * 512, 512)))
        return true;
    }
    if (lost) return false;
    std::swap(current, next);
  }
  return true;
}

}  // namespace

void sweepDirectories(Session& session, ScanState& scan) {
  DirectoryTable& table = scan.directoryTable;
  const VolumeParameters& v = scan.volume;
  const FileSystem fileSystem = session.partitionSelection.fileSystem;
  const std::uint64_t lastSector = session.partitionSelection.lastSector;
  const std::string last = std::to_string(static_cast<std::uint32_t>(lastSector));
  Report& report = *session.report;

  report.counter(Counter::BootSectorsFound, 0);
  report.counter(Counter::FoldersFound, 0);
  report.status("Sector  0 / " + last);
  table.release();
  table.append(DirectoryRow::lost());  // list form until the array is made
  std::uint32_t found = 1;
  report.counter(Counter::FoldersFound, found);
  bool tableMode = true;
  scan.sweepRunning = true;
  scan.stopRequested = false;
  const bool fatType = isFat(fileSystem);
  // A cluster size of 0 would never advance; such a volume has no clusters to sweep.
  const bool sweepable = fatType && isValidSectorsPerCluster(v.sectorsPerCluster);
  const std::uint32_t spc = v.sectorsPerCluster;
  const std::uint64_t firstCluster = v.clusterSector(2);
  ScanProgress progress(report);

  // The clusters that can start a folder, from the FATs; every cluster when they cannot say.
  std::optional<ClusterCandidates> fromFats;
  if (sweepable) fromFats = ClusterCandidates::fromFats(session, v, lastSector, scan.stopRequested);
  const ClusterCandidates* candidatesOnly = fromFats ? &*fromFats : nullptr;
  const std::string sweepNote = fromFats ? "" : ", every cluster: the FAT cannot tell where folders may start";

  // Pass 1: the first sector of each cluster that can start a folder; directory starts
  // become candidates.
  std::vector<Candidate> candidates;
  if (sweepable) {
    sweepClusterStarts(
        session, scan, candidatesOnly, firstCluster, lastSector, spc,
        [&](std::uint64_t s) {
          report.status("Sector  " + std::to_string(s) + " / " + last + "   (Analysing Directories/Files" + sweepNote +
                        ")");
          progress.set(s, lastSector);
        },
        [&](std::uint64_t s, std::uint32_t c, std::span<const std::uint8_t> first) {
          if (!isDirectoryStart(first)) return true;
          try {
            if (!session.canAllocate((candidates.size() + 1) * sizeof(Candidate))) throw std::bad_alloc();
            DirectoryRow row;
            const bool namesItself = rowFor(first, static_cast<std::uint32_t>(s), c, fileSystem, row);
            std::span<const std::uint8_t> dot = first.subspan(0, de::kSize);
            std::span<const std::uint8_t> dotdot = first.subspan(de::kSize, de::kSize);
            candidates.push_back({static_cast<std::uint32_t>(s), c, entryCluster(dotdot, fileSystem),
                                  u32le(dot, de::kFileSize), u16le(dot, de::kDate), u16le(dot, de::kTime),
                                  u8at(dot, de::kAttributes), namesItself});
          } catch (const std::bad_alloc&) {
            tableMode = false;
            return false;
          }
          report.counter(Counter::FoldersFound, ++found);
          return true;
        });
  }
  scan.sweepRunning = false;
  report.stopOffered(false);

  // No directory outside the root: the "Lost" row alone, in list form.
  if (found == 1 && tableMode) return;

  if (tableMode) tableMode = table.enterTableMode(session.memoryLimit, candidates.size() + 1);

  if (tableMode) {
    // Pass 2: the directory starts whose "." entry names their own cluster become rows,
    // from what the first pass read (the sector is not read again).
    report.status("Dumping Directories/Files Information");
    std::size_t k = 0;
    for (const Candidate& candidate : candidates) {
      session.safePoint();
      ++k;
      if (candidate.namesItself) {
        DirectoryRow row;
        row.sector = candidate.sector;
        row.self = candidate.cluster;
        row.parent = candidate.parent;
        row.date = candidate.date;
        row.time = candidate.time;
        row.size = candidate.size;
        row.attr = candidate.attr;
        row.name = "Dir" + std::to_string(table.rowCount());
        table.append(row);
        report.counter(Counter::FoldersFound, table.rowCount());
      }
      progress.set(k + 1, candidates.size() + 1);
    }
    std::vector<Candidate>().swap(candidates);
    table.sortByParent();
    return;
  }

  // List mode: the whole range swept again, each directory straight into a text row.
  std::vector<Candidate>().swap(candidates);
  table.enterListMode();
  scan.sweepRunning = true;
  sweepClusterStarts(
      session, scan, candidatesOnly, firstCluster, lastSector, spc,
      [&](std::uint64_t s) {
        report.status("Sector  " + std::to_string(s) + " / " + last + sweepNote);
        progress.set(s, lastSector);
      },
      [&](std::uint64_t s, std::uint32_t c, std::span<const std::uint8_t> first) {
        DirectoryRow row;
        if (rowFor(first, static_cast<std::uint32_t>(s), c, fileSystem, row)) {
          row.name = "Dir" + std::to_string(table.rowCount());
          table.append(row);
          report.counter(Counter::FoldersFound, table.rowCount());
        }
        return true;
      });
  scan.sweepRunning = false;
  table.sortByParent();
}

namespace {

// Rows whose parent is neither the root marker nor the own id of a row go under "Lost".
template <typename Table>
void markLost(Session& session, Table& table, std::size_t n, std::uint32_t rootMarker) {
  Report& report = *session.report;
  report.stopOffered(false);
  report.scanProgressText("");
  // Every row's own id, for the "is the parent in the table" question.
  std::unordered_set<std::uint32_t> selves;
  selves.reserve(n);
  for (std::size_t j = 0; j < n; ++j) selves.insert(table.self(j));
  const std::string status = session.text(msg::kSearchingLostDirectoriesCount);
  ScanProgress progress(report);
  for (std::size_t j = 0; j < n; ++j) {
    session.safePoint();
    const std::uint32_t parent = table.parent(j);
    if (parent == rootMarker) continue;
    if (!selves.count(parent)) table.setParent(j, kLostId);
    if (j != 0) {
      report.status(status + std::to_string(j) + "/" + std::to_string(n));
      progress.set(j, n);
    }
  }
}

}  // namespace

void markLostDirectories(Session& session, ScanState& scan) {
  markLost(session, scan.directoryTable, scan.directoryTable.rowCount(), 0);
}

void markLostNtfsFolders(Session& session, ScanState& scan) {
  NtfsEntryTable folders(scan, EntryKind::Folder);
  markLost(session, folders, folders.size(), kNtfsRootRecord);
}

}  // namespace tessaly

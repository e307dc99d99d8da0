#include "fat/directory_sweep.h"

#include <array>
#include <new>
#include <unordered_set>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/directory_entry.h"
#include "ntfs/entry_tables.h"
#include "partition/volume.h"
#include "session/scan_progress.h"
#include "session/session.h"

namespace tessaly {

namespace de = direntry;

namespace {

struct Candidate {
  std::uint32_t sector;
  std::uint32_t cluster;
};

// The row a directory start gives, or nothing when its "." entry names another cluster.
bool rowFor(const std::array<std::uint8_t, 512>& sector, std::uint32_t s, std::uint32_t c,
            const std::string& fileSystem, DirectoryRow& row) {
  if (!isDirectoryStart(sector)) return false;
  std::span<const std::uint8_t> dot(sector.data(), de::kSize);
  std::span<const std::uint8_t> dotdot(sector.data() + de::kSize, de::kSize);
  if (entryCluster(dot, fileSystem) != c) return false;
  row.sector = s;
  row.self = c;
  row.parent = entryCluster(dotdot, fileSystem);
  row.date = u16le(dot, de::kDate);
  row.time = u16le(dot, de::kTime);
  row.size = u32le(dot, de::kFileSize);
  row.attr = u8at(dot, de::kAttributes);
  row.sysID = 0;
  row.type = "FOLDER";
  return true;
}


}  // namespace

void sweepDirectories(Session& session) {
  DirectoryTable& table = session.directoryTable;
  const VolumeParameters& v = session.volume;
  const std::string fileSystem = session.partitionSelection.fileSystem;
  const std::uint64_t lastSector = session.partitionSelection.lastSector;
  const std::string last = std::to_string(static_cast<std::uint32_t>(lastSector));
  const bool floppy = session.floppySelected();
  Controls& ui = *session.controls;

  ui.setText(control::kBootSectorsCount, "0");
  ui.setText(control::kFoundCount, "0");
  ui.setText(control::kStatusLine, "Sector  0 / " + last);
  table.release();
  table.append(DirectoryRow::lost());  // list form until the array is made
  std::uint32_t found = 1;
  ui.setText(control::kFoundCount, std::to_string(found));
  bool tableMode = true;
  session.sweepRunning = true;
  session.stopRequested = false;

  const bool fatType = fileSystem == "FAT12" || fileSystem == "FAT16" || fileSystem == "FAT32";
  // A cluster size of 0 would never advance; such a volume has no clusters to sweep.
  const bool sweepable = fatType && isValidSectorsPerCluster(v.sectorsPerCluster);
  const std::uint32_t spc = v.sectorsPerCluster;
  const std::uint64_t firstCluster = std::uint64_t{v.cluster0Sector} + 2ull * spc;
  ScanProgress progress(session);
  std::array<std::uint8_t, 512> sector{};

  // Pass 1: every cluster's first sector; directory starts become candidates.
  std::vector<Candidate> candidates;
  if (sweepable) {
    std::uint32_t sinceStatus = 0;
    std::uint32_t c = 2;
    for (std::uint64_t s = firstCluster; !session.stopRequested && s < lastSector; s += spc, ++c) {
      session.safePoint();
      if (++sinceStatus >= 10 || floppy) {
        ui.setText(control::kStatusLine, "Sector  " + std::to_string(s) + " / " + last +
                                             "   (Analysing Directories/Files)");
        sinceStatus = 0;
      }
      sector.fill(0);
      readDiskSectors(session, s, 1, sector);
      if (isDirectoryStart(sector)) {
        try {
          if (!session.canAllocate((candidates.size() + 1) * sizeof(Candidate))) throw std::bad_alloc();
          candidates.push_back({static_cast<std::uint32_t>(s), c});
        } catch (const std::bad_alloc&) {
          tableMode = false;
          break;
        }
        ui.setText(control::kFoundCount, std::to_string(++found));
      }
      progress.set(s, lastSector);
    }
  }
  session.sweepRunning = false;
  ui.show(control::kStopSearching, false);

  // No directory outside the root: the "Lost" row alone, in list form.
  if (found == 1 && tableMode) return;

  if (tableMode) tableMode = table.enterTableMode(session, candidates.size() + 1);

  if (tableMode) {
    // Pass 2: the candidates read again; a directory must still start there and name itself.
    ui.setText(control::kStatusLine, "Dumping Directories/Files Information");
    std::size_t k = 0;
    for (const Candidate& candidate : candidates) {
      session.safePoint();
      ++k;
      sector.fill(0);
      readDiskSectors(session, candidate.sector, 1, sector);
      DirectoryRow row;
      if (rowFor(sector, candidate.sector, candidate.cluster, fileSystem, row)) {
        row.name = "Dir" + std::to_string(table.rowCount());
        row.deleted = "0";
        table.append(row);
        ui.setText(control::kFoundCount, std::to_string(table.rowCount()));
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
  session.sweepRunning = true;
  std::uint32_t sinceStatus = 0;
  std::uint32_t c = 2;
  for (std::uint64_t s = firstCluster; !session.stopRequested && s < lastSector; s += spc, ++c) {
    session.safePoint();
    if (++sinceStatus >= 1000 || floppy) {
      ui.setText(control::kStatusLine, "Sector  " + std::to_string(s) + " / " + last);
      sinceStatus = 0;
    }
    sector.fill(0);
    readDiskSectors(session, s, 1, sector);
    DirectoryRow row;
    if (rowFor(sector, static_cast<std::uint32_t>(s), c, fileSystem, row)) {
      row.name = "Dir" + std::to_string(table.rowCount());
      table.append(row);
      ui.setText(control::kFoundCount, std::to_string(table.rowCount()));
    }
    progress.set(s, lastSector);
  }
  session.sweepRunning = false;
  table.sortByParent();
}

namespace {

// Rows whose parent is neither the root marker nor the own id of a row go under "Lost".
template <typename Table>
void markLost(Session& session, Table& table, std::size_t n, std::uint32_t rootMarker) {
  Controls& ui = *session.controls;
  ui.enable(control::kStopSearching, false);
  ui.show(control::kStopSearching, false);
  ui.setText(control::kScanProgress, "");
  // Every row's own id, for the "is the parent in the table" question.
  std::unordered_set<std::uint32_t> selves;
  selves.reserve(n);
  for (std::size_t j = 0; j < n; ++j) selves.insert(table.self(j));
  const std::string status = session.text(184, "Searching Lost Directories ");
  ScanProgress progress(session);
  for (std::size_t j = 0; j < n; ++j) {
    session.safePoint();
    const std::uint32_t parent = table.parent(j);
    if (parent == rootMarker) continue;
    if (!selves.count(parent)) table.setParent(j, kLostId);
    if (j != 0) {
      ui.setText(control::kStatusLine, status + std::to_string(j) + "/" + std::to_string(n));
      progress.set(j, n);
    }
  }
}

}  // namespace

void markLostDirectories(Session& session) {
  markLost(session, session.directoryTable, session.directoryTable.rowCount(), 0);
}

void markLostNtfsFolders(Session& session) {
  NtfsEntryTable folders(session, EntryKind::Folder);
  markLost(session, folders, folders.size(), kNtfsRootRecord);
}

}  // namespace tessaly

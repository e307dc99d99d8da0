#include "partition/partition_search.h"

#include <algorithm>
#include <array>
#include <vector>

#include "disk/sector_reader.h"
#include "partition/boot_sector.h"
#include "partition/partition_walk.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

bool hasSignature(const Sector& s) { return s[bs::kSignature] == 0x55 && s[bs::kSignature + 1] == 0xAA; }

// What a found boot sector is known by: a copy of it elsewhere in its volume (NTFS keeps
// one at its end) is the same volume.
struct Identity {
  FileSystem fileSystem;
  std::uint64_t serial;
  std::uint64_t start, end;
};

std::uint64_t serialOf(const Sector& s, FileSystem fs) {
  switch (fs) {
    case FileSystem::Ntfs: return u64le(s, bs::kNtfsSerial);
    case FileSystem::Fat32: return u32le(s, bs::kFat32Serial);
    default: return u32le(s, bs::kFat16Serial);
  }
}

class Search {
 public:
  Search(Session& session, TreeModel& tree, const SearchOptions& options)
      : session_(session), tree_(tree), options_(options),
        list_(session.partitionLists[session.selectedDisk]) {}

  SearchOutcome run() {
    empty();
    const SearchGeometry g = translateGeometry(options_.geometry);
    const std::uint64_t perCylinder = std::uint64_t{g.heads} * g.sectorsPerTrack;
    const std::uint64_t covered = std::uint64_t{g.cylinders} * perCylinder;
    const std::uint64_t end = std::max(covered, options_.diskSectors);
    for (std::uint32_t k = 0; k < g.cylinders && !done(); ++k) {
      progress(std::uint64_t{k} * 100 / g.cylinders);
      const std::uint64_t c = k * perCylinder;
      // Head 1 of the cylinder, else head 0.
      std::uint64_t partSector = c + g.sectorsPerTrack;
      Sector s = read(partSector);
      bool headZeroRead = false;
      if (!hasSignature(s)) {
        partSector = c;
        s = read(c);
        headZeroRead = true;
      }
      std::vector<std::uint64_t> aligned;
      for (std::uint64_t a = (c + kAlignedStep - 1) / kAlignedStep * kAlignedStep; a < c + perCylinder;
           a += kAlignedStep)
        if (a != c + g.sectorsPerTrack && !(headZeroRead && a == c)) aligned.push_back(a);
      // In disk order: what lies before the cylinder's head-1 sector first.
      bool partDone = false;
      for (std::uint64_t a : aligned) {
        if (!partDone && a > partSector) {
          consider(partSector, s);
          partDone = true;
        }
        if (!done()) consider(a, read(a));
      }
      if (!partDone && !done()) consider(partSector, s);
    }
    // Past the last whole cylinder, the aligned sectors up to the disk's end.
    for (std::uint64_t a = (covered + kAlignedStep - 1) / kAlignedStep * kAlignedStep;
         g.cylinders > 0 && a < end && !done(); a += kAlignedStep)
      consider(a, read(a));
    outcome_.stopped = options_.stop && options_.stop->load();
    progress(100);
    return outcome_;
  }

 private:
  bool done() const {
    return list_.truncated || (options_.stop && options_.stop->load()) || session_.deviceLost();
  }

  void progress(std::uint64_t percent) {
    if (!options_.progress || static_cast<int>(percent) == lastPercent_) return;
    lastPercent_ = static_cast<int>(percent);
    options_.progress(lastPercent_);
  }

  Sector read(std::uint64_t sector) {
    session_.safePoint();
    ++outcome_.reads;
    Sector s{};
    if (!readDiskSectors(session_, sector, 1, s).delivered()) s.fill(0);
    return s;
  }

  void empty() {
    for (int i = 0; i < list_.count; ++i) {
      PartitionEntry& entry = list_.entries[static_cast<std::size_t>(i)];
      if (entry.treeItem != kNoItem) tree_.remove(entry.treeItem);
      entry = PartitionEntry{};
      list_.fileSystems[static_cast<std::size_t>(i)] = FileSystem::None;
    }
    list_.count = 0;
    list_.truncated = false;
    session_.firstPartitionItem = kNoItem;
  }

  void consider(std::uint64_t sector, const Sector& s) {
    if (!hasSignature(s)) return;
    const FoundBootSector found = classifyFoundBootSector(s, sector);
    if (found.fileSystem == FileSystem::None) return;
    const Identity identity{found.fileSystem, serialOf(s, found.fileSystem), sector, found.end};
    for (const Identity& seen : seen_) {
      if (seen.start == sector) return;
      if (seen.fileSystem == identity.fileSystem && seen.serial == identity.serial &&
          sector > seen.start && sector <= seen.end)
        return;
    }
    const std::string label = "Partition - " + std::to_string(list_.count + 1) + " ( " +
                              std::string(fileSystemName(found.fileSystem)) + " )";
    if (listVolume(tree_, list_, found.fileSystem, sector, found.end, PartitionOrigin::Search, label)) {
      seen_.push_back(identity);
      if (session_.firstPartitionItem == kNoItem)
        session_.firstPartitionItem = list_.entries[0].treeItem;
    }
  }

  Session& session_;
  TreeModel& tree_;
  const SearchOptions& options_;
  DiskPartitionList& list_;
  std::vector<Identity> seen_;
  SearchOutcome outcome_;
  int lastPercent_ = -1;
};

}  // namespace

SearchGeometry translateGeometry(SearchGeometry g) {
  if (g.sectorsPerTrack == 63) return g;
  g.cylinders = g.sectorsPerTrack * g.heads * g.cylinders / 16065;
  g.heads = 255;
  g.sectorsPerTrack = 63;
  return g;
}

FoundBootSector classifyFoundBootSector(ByteSpan s, std::uint64_t start) {
  FoundBootSector found;
  if (bytesEqual(s, 85, "32"))
    found.fileSystem = FileSystem::Fat32;
  else if (bytesEqual(s, 57, "16"))
    found.fileSystem = FileSystem::Fat16;
  else if (bytesEqual(s, bs::kNtfsMark, "NTFS"))
    found.fileSystem = FileSystem::Ntfs;
  else
    return found;
  // A FAT volume below 65536 sectors keeps its size in the 16-bit total instead.
  std::uint64_t total = 0;
  if (found.fileSystem == FileSystem::Ntfs)
    total = u64le(s, bs::kNtfsTotalSectors);
  else if ((total = u32le(s, bs::kTotalSectors32)) == 0)
    total = u16le(s, bs::kTotalSectors16);
  // A total that runs past the last sector number ends the volume there.
  found.end = total > UINT64_MAX - start ? UINT64_MAX : start + total;
  return found;
}

SearchOutcome searchPartitions(Session& session, TreeModel& tree, const SearchOptions& options) {
  if (session.selectedDisk >= session.partitionLists.size()) return {};
  return Search(session, tree, options).run();
}

}  // namespace tessaly

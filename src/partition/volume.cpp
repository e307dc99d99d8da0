#include "partition/volume.h"

#include <array>
#include <optional>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "partition/boot_sector.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

// Reads one sector into a cleared buffer, so a sector that stays unreadable fails
// whatever test it was read for instead of passing on stale bytes.
Sector readOne(Session& session, std::uint64_t sector) {
  Sector s{};
  if (!readDiskSectors(session, sector, 1, s).delivered()) s.fill(0);
  return s;
}

bool hasSignature(const Sector& s) { return s[510] == 0x55 && s[511] == 0xAA; }

bool isDirectorySector(const Sector& s) {
  return bytesEqual(s, 0, ". ") && bytesEqual(s, 32, ".. ");
}

int validateFat16(Session& session, VolumeParameters& v) {
  const PartitionSelection& sel = session.partitionSelection;
  const auto first = static_cast<std::uint32_t>(sel.firstSector);
  Sector boot = readOne(session, first);
  if (!hasSignature(boot)) return 0;
  const std::uint32_t reserved = u16le(boot, bs::kReservedSectors);
  const std::uint32_t fatSectors = u16le(boot, bs::kFat16Sectors);
  const std::uint32_t spc = u8at(boot, bs::kSectorsPerCluster);
  // Values a damaged boot sector can carry that would make every later step divide
  // by zero or run forever.
  if (!isValidSectorsPerCluster(spc) || fatSectors == 0) return 0;
  Sector fat2 = readOne(session, std::uint64_t{first} + reserved + fatSectors);
  if (fat2[0] != 0xF8) return 0;

  v.fatSectors = fatSectors;
  v.sectorsPerCluster = spc;
  v.rootDirSectors = u16le(boot, bs::kRootEntries) / 16u;
  v.reservedSectors = reserved;
  v.rootDirStart = first + reserved + 2 * fatSectors;
  v.cluster0Sector = v.rootDirStart + v.rootDirSectors - 2 * spc;
  v.fat1Start = first + reserved;
  v.fat2Start = v.fat1Start + fatSectors;
  v.fileSystem = sel.fileSystem;
  return 1;
}

int validateFat32(Session& session, VolumeParameters& v) {
  const PartitionSelection& sel = session.partitionSelection;
  const auto first = static_cast<std::uint32_t>(sel.firstSector);
  Sector boot = readOne(session, first);
  if (!hasSignature(boot)) {
    boot = readOne(session, std::uint64_t{first} + 6);
    if (!hasSignature(boot)) return 0;
  }
  struct Values {
    std::uint32_t reserved, fatSectors, spc, root;
  };
  auto take = [](const Sector& b) {
    return Values{u16le(b, bs::kReservedSectors), u32le(b, bs::kFat32Sectors),
                  u8at(b, bs::kSectorsPerCluster), u32le(b, bs::kFat32RootCluster)};
  };
  auto usable = [](const Values& x) { return isValidSectorsPerCluster(x.spc) && x.fatSectors != 0; };
  auto secondFatOk = [&](const Values& x) {
    return usable(x) &&
           readOne(session, std::uint64_t{first} + x.reserved + x.fatSectors)[0] == 0xF8;
  };
  Values values = take(boot);
  if (!secondFatOk(values)) {
    values = take(readOne(session, std::uint64_t{first} + 6));
    if (!secondFatOk(values)) return 0;
  }
  v.reservedSectors = values.reserved;
  v.fatSectors = values.fatSectors;
  v.sectorsPerCluster = values.spc;
  v.rootDirStart = values.root;
  v.rootDirSectors = 0;
  v.cluster0Sector = first + values.reserved + 2 * values.fatSectors - 2 * values.spc;
  v.fat1Start = first + values.reserved;
  v.fat2Start = v.fat1Start + values.fatSectors;
  v.fileSystem = sel.fileSystem;
  return 1;
}

int validateNtfs(Session& session, VolumeParameters& v) {
  const PartitionSelection& sel = session.partitionSelection;
  const auto first = static_cast<std::uint32_t>(sel.firstSector);
  const auto last = static_cast<std::uint32_t>(sel.lastSector);

  std::uint32_t current = first;
  Sector boot = readOne(session, current);
  if (!hasSignature(boot)) {
    current = last;
    boot = readOne(session, current);
    if (!hasSignature(boot)) return 0;
  }
  auto switchCopy = [&] {
    current = current == first ? last : first;
    boot = readOne(session, current);
  };
  auto recordSectors = [](const Sector& b, std::uint32_t spc) -> std::optional<std::uint32_t> {
    std::uint32_t value = u32le(b, bs::kNtfsClustersPerRecord);
    if (value == 0xF6) return 2;
    std::uint32_t sectors = value * spc;
    if (sectors == 2 || sectors == 4 || sectors == 6 || sectors == 8) return sectors;
    return std::nullopt;
  };

  std::uint32_t spc = u8at(boot, bs::kSectorsPerCluster);
  if (!isValidSectorsPerCluster(spc)) {
    switchCopy();
    spc = u8at(boot, bs::kSectorsPerCluster);
    if (!isValidSectorsPerCluster(spc)) return 0;
  }
  auto record = recordSectors(boot, spc);
  if (!record) {
    switchCopy();
    spc = u8at(boot, bs::kSectorsPerCluster);
    if (!isValidSectorsPerCluster(spc)) return 0;
    record = recordSectors(boot, spc);
    if (!record) return 0;
  }

  auto findRecordStart = [&](std::size_t field) -> std::uint32_t {
    std::uint32_t sector = first + u32le(boot, field) * spc;
    if (bytesEqual(readOne(session, sector), 0, "FILE")) return sector;
    switchCopy();
    sector = first + u32le(boot, field) * spc;
    if (bytesEqual(readOne(session, sector), 0, "FILE")) return sector;
    return 0;
  };
  v.mftStart = findRecordStart(bs::kNtfsMftCluster);
  v.mftMirrorStart = findRecordStart(bs::kNtfsMirrorCluster);
  if (v.mftStart == 0 && v.mftMirrorStart == 0) return 0;

  v.sectorsPerCluster = spc;
  v.mftRecordSectors = *record;
  std::uint32_t index = u32le(boot, bs::kNtfsClustersPerIndex);
  v.indexBufferSectors = index == 0xF4 ? 8 : index * spc;
  v.cluster0Sector = first;
  v.fileSystem = sel.fileSystem;
  return 1;
}

}  // namespace

bool isValidSectorsPerCluster(std::uint32_t spc) {
  return spc != 0 && spc <= 128 && (spc & (spc - 1)) == 0;
}

int validatePartition(Session& session, ScanState& scan) {
  session.report->status("Validating Partition ...");
  int result = 0;
  switch (session.partitionSelection.fileSystem) {
    // A FAT12 volume that is not a floppy (a small stick) has the FAT16 layout.
    case FileSystem::Fat12:
    case FileSystem::Fat16: result = validateFat16(session, scan.volume); break;
    case FileSystem::Fat32: result = validateFat32(session, scan.volume); break;
    case FileSystem::Ntfs: result = validateNtfs(session, scan.volume); break;
    default: break;
  }
  scan.partitionValid = static_cast<std::int16_t>(result);
  return result;
}

int calculatePartitionParameters(Session& session, VolumeParameters& v, const std::atomic<bool>* stop) {
  const PartitionSelection& sel = session.partitionSelection;
  const bool fat32 = sel.fileSystem == FileSystem::Fat32;
  if (!fat32 && sel.fileSystem != FileSystem::Fat16) return 0;

  session.report->status(session.text(msg::kCalculatingPartitionParameters));
  session.report->showScanProgress();

  const auto first = static_cast<std::uint32_t>(sel.firstSector);
  const auto last = static_cast<std::uint32_t>(sel.lastSector);

  // Reserved sectors: the last sector of the search window that starts like a FAT.
  const std::uint32_t from = fat32 ? first + 30 : first;
  const std::uint32_t to = fat32 ? first + 59 : first + 9;
  std::uint32_t reserved = fat32 ? 32 : 1;
  std::uint32_t match = 0;
  for (std::uint32_t s = from; s <= to; ++s) {
    Sector sector = readOne(session, s);
    if (sector[0] == 0xF8 && sector[1] == 0xFF) match = s;
  }
  if (match != 0 && match != first) reserved = match - first;

  if (fat32) {
    v.rootDirStart = 2;
    v.rootDirSectors = 0;
  } else {
    v.rootDirSectors = 32;
  }

  bool haveAnchor = false;
  std::uint32_t d = 0, c = 0;
  std::uint32_t counter = 0;
  const std::uint64_t lastSector = sel.lastSector;
  for (std::uint32_t i = first; i < last; ++i) {
    if ((stop && stop->load()) || session.deviceLost()) break;
    session.safePoint();
    Sector sector = readOne(session, i);
    bool tested = false;
    if (isDirectorySector(sector)) {
      std::uint32_t low = u16le(sector, bs::kDotClusterLow);
      std::uint32_t high = u16le(sector, bs::kDotClusterHigh);
      if (!haveAnchor) {
        std::uint32_t own = low | (high << 16);
        if (own >= 2 && own <= 0xFFFFFFFE) {
          haveAnchor = true;
          d = i;
          c = own;
        }
      } else {
        tested = true;
        std::uint32_t b = fat32 ? (low | (high << 16)) : low;
        if (b != c && !(fat32 && b == 0xFFFFFFFF)) {
          const std::uint32_t distance = i - d;
          const std::uint32_t step = b - c;
          if (distance % step == 0 && b < i && b < d) {
            const std::uint32_t spc = distance / step;
            // The FATs (and the FAT16 root area) must fit between the reserved sectors
            // and the data area; a pair that leaves them no room is no layout.
            const std::uint64_t before = std::uint64_t{spc} * (c - 2) + reserved +
                                         (first) + (fat32 ? 0 : 32);
            if (isValidSectorsPerCluster(spc) && d - spc * c == i - spc * b && c >= 2 && d > before) {
              v.sectorsPerCluster = spc;
              v.cluster0Sector = d - spc * c;
              const std::uint32_t areas = d - spc * (c - 2) - reserved - first;
              v.fatSectors = (fat32 ? areas : areas - 32) / 2;
              v.reservedSectors = reserved;
              v.fat1Start = first + reserved;
              v.fat2Start = v.fat1Start + v.fatSectors;
              if (!fat32) v.rootDirStart = v.fat2Start + v.fatSectors;
              v.fileSystem = sel.fileSystem;
              return 1;
            }
          }
        }
      }
    }
    if (!tested && ++counter >= 500) {
      counter = 0;
      std::uint64_t percent = lastSector == 0 ? 100 : std::uint64_t{i} * 100 / lastSector;
      session.report->scanProgress(static_cast<int>(percent > 100 ? 100 : percent));
    }
  }
  return 0;
}

}  // namespace tessaly

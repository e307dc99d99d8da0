#include "partition/partition_walk.h"

#include <array>
#include <optional>
#include <set>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "partition/bare_volume.h"
#include "partition/boot_sector.h"
#include "partition/gpt.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

bool isLink(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

struct Entry {
  std::uint8_t type;
  std::uint64_t first;
  std::uint64_t size;
};

Entry entryAt(const Sector& record, int i) {
  std::size_t at = bs::kPartitionEntries + static_cast<std::size_t>(i) * bs::kEntrySize;
  return {u8at(record, at + bs::kEntryType), u32le(record, at + bs::kEntryFirstSector),
          u32le(record, at + bs::kEntrySize32)};
}

// A sector that cannot be read reads as zeros (the reader clears what it could not
// fill, and the callers clear first), so it matches no mark.
void readSector(Session& session, std::uint64_t sector, Sector& buffer) {
  if (!readDiskSectors(session, sector, 1, buffer).delivered()) buffer.fill(0);
}

// The label of a listed partition: its drive letter or number, then its file system.
std::string partitionLabel(Session& session, FileSystem fileSystem, std::uint64_t start, int number) {
  Sector boot{};
  readSector(session, start, boot);
  std::string letter = findDriveLetter(session, boot);
  std::string label = letter.empty() ? "Partition - " + std::to_string(number) : letter;
  return label + " ( " + std::string(fileSystemName(fileSystem)) + " )";
}

// Lists one classified partition; false when the listing is full.
bool listPartition(Session& session, TreeModel& tree, DiskPartitionList& list,
                   FileSystem fileSystem, std::uint64_t start, std::uint64_t size,
                   bool primary, PartitionOrigin origin = PartitionOrigin::Table) {
  const std::string label =
      origin == PartitionOrigin::WholeDisk
          ? "Whole disk (" + std::string(fileSystemName(fileSystem)) + ")"
          : partitionLabel(session, fileSystem, start, list.count + 1);
  const bool listed = listVolume(tree, list, fileSystem, start, start + size, origin, label);
  if (listed && primary && session.firstPartitionItem == kNoItem)
    session.firstPartitionItem = list.entries[static_cast<std::size_t>(list.count - 1)].treeItem;
  return listed;
}

// A GUID partition table's entries whose first sector carries a file-system mark.
void walkGpt(Session& session, TreeModel& tree, DiskPartitionList& list, const GptRead& gpt) {
  for (const GptPartition& p : gpt.partitions) {
    Sector boot{};
    readSector(session, p.first, boot);
    const FileSystem fs = classifyPartition(boot, 0);
    if (fs == FileSystem::None) continue;
    if (!listPartition(session, tree, list, fs, p.first, p.last - p.first + 1, true,
                       PartitionOrigin::Gpt))
      return;
  }
}

}  // namespace

std::uint64_t selectedDiskSectors(Session& session) {
  auto device = session.devices.open(session.selectedDevicePath());
  return device ? device->size() / kSectorSize : 0;
}

RangeOnDisk clipSelectionToDisk(Session& session) {
  RangeOnDisk out;
  PartitionSelection& sel = session.partitionSelection;
  if (session.floppySelected()) return out;
  const std::uint64_t diskSectors = selectedDiskSectors(session);
  if (diskSectors == 0 || sel.lastSector < diskSectors) return out;
  const std::string disk = std::to_string(diskSectors) + " sectors";
  if (sel.firstSector >= diskSectors) {
    out.offDisk = true;
    out.note = "The selected range begins at sector " + std::to_string(sel.firstSector) +
               ", past the end of the disk (" + disk + "): there is nothing to scan.";
    return out;
  }
  out.clipped = true;
  out.note = "The selected range ends at sector " + std::to_string(sel.lastSector) +
             ", past the end of the disk (" + disk + "): it is scanned up to sector " +
             std::to_string(diskSectors - 1) + ".";
  sel.lastSector = diskSectors - 1;
  return out;
}

bool listVolume(TreeModel& tree, DiskPartitionList& list, FileSystem fileSystem,
                std::uint64_t start, std::uint64_t end, PartitionOrigin origin,
                const std::string& label) {
  if (list.count >= DiskPartitionList::kMaxNames) {
    list.truncated = true;
    return false;
  }
  list.fileSystems[static_cast<std::size_t>(list.count)] = fileSystem;
  PartitionEntry& entry = list.entries[static_cast<std::size_t>(list.count)];
  ++list.count;
  entry.startSector = start;
  entry.endSector = end;
  entry.origin = origin;
  entry.treeItem = tree.insert(tree.root(), label, 1, 1);
  return true;
}

FileSystem classifyPartition(std::span<const std::uint8_t> sector, std::uint8_t type) {
  if (bytesEqual(sector, bs::kFat32Mark, "FAT32")) return FileSystem::Fat32;
  if (bytesEqual(sector, bs::kFat16Mark, "FAT16")) return FileSystem::Fat16;
  if (bytesEqual(sector, bs::kNtfsMark, "NTFS")) return FileSystem::Ntfs;
  switch (type) {
    case 0x04: case 0x06: case 0x0E: case 0x01: return FileSystem::Fat16;
    case 0x0B: case 0x0C: return FileSystem::Fat32;
    case 0x07: return FileSystem::Ntfs;
    default: return FileSystem::None;
  }
}

void walkPartitionTable(Session& session, TreeModel& tree, std::uint32_t tableSector) {
  if (session.selectedDisk >= session.partitionLists.size()) return;
  DiskPartitionList& list = session.partitionLists[session.selectedDisk];
  list = DiskPartitionList{};
  session.firstPartitionItem = kNoItem;

  Sector mbr{};
  readSector(session, tableSector, mbr);
  const std::uint64_t diskSectors = selectedDiskSectors(session);
  // A volume without a table: its boot sector is sector 0. When sector 0 could also be
  // read as a table, the table is walked first and the volume listed only if it gives
  // nothing. A floppy image keeps the floppy path and is not listed.
  std::optional<BareVolume> bare;
  if (tableSector == 0) bare = findBareVolume(session, diskSectors);
  if (bare && bare->floppy) return;
  auto listWholeDisk = [&] {
    if (bare && list.count == 0)
      listPartition(session, tree, list, bare->fileSystem, 0, bare->sectors, true,
                    PartitionOrigin::WholeDisk);
  };
  if (bare && !bare->table) return listWholeDisk();

  if (mbr[bs::kSignature] != 0x55 && mbr[bs::kSignature + 1] != 0xAA) return;
  if (tableSector == 0 && isProtectiveMbr(mbr)) {
    const GptRead gpt = readGptPartitions(session, diskSectors);
    if (gpt.found) return walkGpt(session, tree, list, gpt);
  }

  // Primary pass. The work buffer is cleared before each read, so an unreadable boot
  // sector falls through to its type byte instead of taking the previous sector's mark.
  std::uint64_t extendedBase = 0;
  bool haveExtended = false;
  bool full = false;
  for (int i = 0; i < 4 && !full; ++i) {
    Entry e = entryAt(mbr, i);
    if (e.type == 0) continue;
    Sector work{};
    readSector(session, e.first, work);
    const FileSystem fs = classifyPartition(work, e.type);
    if (fs != FileSystem::None) {
      full = !listPartition(session, tree, list, fs, e.first, e.size, true);
    } else if (isLink(e.type)) {
      extendedBase = e.first;
      haveExtended = true;
    }
  }

  // Extended chain: bounded, and ended at a record that was read before.
  std::set<std::uint64_t> visited;
  std::uint64_t current = extendedBase;
  for (int records = 0; haveExtended && !full && records < kMaxExtendedRecords; ++records) {
    if (!visited.insert(current).second) break;
    Sector record{};
    readSector(session, current, record);
    bool link = false;
    std::uint64_t next = 0;
    for (int i = 0; i < 4 && !full; ++i) {
      Entry e = entryAt(record, i);
      if (e.type == 0) continue;
      Sector work{};
      if (!isLink(e.type)) readSector(session, current + e.first, work);
      const FileSystem fs = classifyPartition(work, e.type);
      if (fs != FileSystem::None) {
        full = !listPartition(session, tree, list, fs, current + e.first, e.size, false);
      } else if (isLink(e.type)) {
        link = true;
        next = extendedBase + e.first;
      }
    }
    if (!link) break;
    current = next;
  }
  listWholeDisk();
}

std::string findDriveLetter(Session& session, std::span<const std::uint8_t> bootSector) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!session.devices.isFixedDrive(letter)) continue;
    Sector volume{};
    SectorReadRequest request;
    request.devicePath = "\\\\.\\c:";
    request.devicePath[4] = static_cast<char>(letter - 'A' + 'a');
    request.sectorCount = 1;
    request.buffer = volume;
    if (!readSectors(session, request).delivered()) continue;

    auto same = [&](std::size_t serial) {
      return u32le(volume, serial) == u32le(bootSector, serial) &&
             u32le(volume, bs::kHiddenSectors) == u32le(bootSector, bs::kHiddenSectors);
    };
    bool match = false;
    if (bytesEqual(volume, 57, "16") || bytesEqual(volume, 85, "16")) {
      match = same(bs::kFat16Serial);
    } else if (bytesEqual(volume, 85, "32")) {
      match = same(bs::kFat32Serial);
    } else if (bytesEqual(volume, bs::kNtfsMark, "NTFS")) {
      match = same(bs::kNtfsSerial);
    }
    if (match) return std::string(1, letter) + ":\\";
  }
  return "";
}

}  // namespace tessaly

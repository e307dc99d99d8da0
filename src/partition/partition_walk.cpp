#include "partition/partition_walk.h"

#include <array>
#include <set>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "partition/boot_sector.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

bool isLink(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

struct Entry {
  std::uint8_t type;
  std::uint32_t first;
  std::uint32_t size;
};

Entry entryAt(const Sector& record, int i) {
  std::size_t at = bs::kPartitionEntries + static_cast<std::size_t>(i) * bs::kEntrySize;
  return {u8at(record, at + bs::kEntryType), u32le(record, at + bs::kEntryFirstSector),
          u32le(record, at + bs::kEntrySize32)};
}

// A sector that cannot be read reads as zeros (the reader clears what it could not
// fill, and the callers clear first), so it matches no mark.
void readSector(Session& session, std::uint32_t sector, Sector& buffer) {
  if (!readDiskSectors(session, sector, 1, buffer).delivered()) buffer.fill(0);
}

// Lists one classified partition; false when the listing is full.
bool listPartition(Session& session, TreeModel& tree, DiskPartitionList& list,
                   FileSystem fileSystem, std::uint32_t start, std::uint32_t size,
                   bool primary) {
  if (list.count >= DiskPartitionList::kMaxNames) {
    list.truncated = true;
    return false;
  }
  list.fileSystems[static_cast<std::size_t>(list.count)] = fileSystem;
  ++list.count;
  const int number = list.count;

  Sector boot{};
  readSector(session, start, boot);
  std::string letter = findDriveLetter(session, boot);
  std::string label = letter.empty() ? "Partition - " + std::to_string(number) : letter;
  label += " ( " + std::string(fileSystemName(fileSystem)) + " )";

  PartitionEntry& entry = list.entries[static_cast<std::size_t>(number - 1)];
  entry.startSector = start;
  entry.endSector = start + size;
  entry.treeItem = tree.insert(tree.root(), label, 1, 1);
  if (primary && session.firstPartitionItem == kNoItem) session.firstPartitionItem = entry.treeItem;
  return true;
}

}  // namespace

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
  if (mbr[bs::kSignature] != 0x55 && mbr[bs::kSignature + 1] != 0xAA) return;

  // Primary pass. The work buffer is cleared before each read, so an unreadable boot
  // sector falls through to its type byte instead of taking the previous sector's mark.
  std::uint32_t extendedBase = 0;
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
  std::set<std::uint32_t> visited;
  std::uint32_t current = extendedBase;
  for (int records = 0; haveExtended && !full && records < kMaxExtendedRecords; ++records) {
    if (!visited.insert(current).second) break;
    Sector record{};
    readSector(session, current, record);
    bool link = false;
    std::uint32_t next = 0;
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

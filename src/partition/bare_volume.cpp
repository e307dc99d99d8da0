#include "partition/bare_volume.h"

#include <algorithm>
#include <array>

#include "disk/sector_reader.h"
#include "partition/boot_sector.h"
#include "partition/volume.h"
#include "session/session.h"

namespace tessaly {

namespace bs = bootsector;

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

bool hasSignature(ByteSpan s) { return u8at(s, bs::kSignature) == 0x55 && u8at(s, bs::kSignature + 1) == 0xAA; }

BootSectorFacts fatFacts(ByteSpan s) {
  BootSectorFacts facts;
  const std::uint8_t jump = u8at(s, bs::kJump);
  const std::uint32_t spc = u8at(s, bs::kSectorsPerCluster);
  const std::uint32_t reserved = u16le(s, bs::kReservedSectors);
  const std::uint32_t fats = u8at(s, bs::kFatCount);
  const std::uint8_t media = u8at(s, bs::kMediaByte);
  if ((jump != 0xEB && jump != 0xE9) || !isValidSectorsPerCluster(spc) || reserved == 0 ||
      fats < 1 || fats > 2 || (media != 0xF0 && media < 0xF8))
    return facts;
  const std::uint32_t total16 = u16le(s, bs::kTotalSectors16);
  const std::uint64_t total = total16 != 0 ? total16 : u32le(s, bs::kTotalSectors32);
  const std::uint32_t fat16Size = u16le(s, bs::kFat16Sectors);
  const std::uint64_t fatSize = fat16Size != 0 ? fat16Size : u32le(s, bs::kFat32Sectors);
  const std::uint64_t rootSectors = (std::uint64_t{u16le(s, bs::kRootEntries)} * 32 + 511) / 512;
  const std::uint64_t system = reserved + fats * fatSize + rootSectors;
  if (total == 0 || fatSize == 0 || total <= system) return facts;
  const std::uint64_t clusters = (total - system) / spc;
  if (fat16Size == 0)
    facts.fileSystem = FileSystem::Fat32;
  else
    facts.fileSystem = clusters < 4085 ? FileSystem::Fat12 : FileSystem::Fat16;
  facts.sectors = total;
  facts.mediaByte = media;
  facts.reservedSectors = reserved;
  return facts;
}

BootSectorFacts ntfsFacts(ByteSpan s) {
  BootSectorFacts facts;
  const std::uint64_t total = u64le(s, bs::kNtfsTotalSectors);
  if (!isValidSectorsPerCluster(u8at(s, bs::kSectorsPerCluster)) || total == 0 ||
      total == UINT64_MAX)
    return facts;
  facts.fileSystem = FileSystem::Ntfs;
  facts.sectors = total + 1;  // the backup boot sector follows the volume
  return facts;
}

}  // namespace

BootSectorFacts readBootSectorFacts(ByteSpan s) {
  if (!hasSignature(s) || u16le(s, bs::kBytesPerSector) != kSectorSize) return {};
  if (bytesEqual(s, bs::kNtfsMark, "NTFS    ")) return ntfsFacts(s);
  return fatFacts(s);
}

bool isPartitionTable(ByteSpan s, std::uint64_t diskSectors) {
  bool used = false;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t at = bs::kPartitionEntries + i * bs::kEntrySize;
    const std::uint8_t flag = u8at(s, at + bs::kEntryBootFlag);
    if (flag != 0x00 && flag != 0x80) return false;
    const std::uint8_t type = u8at(s, at + bs::kEntryType);
    if (type == 0) continue;
    const std::uint64_t first = u32le(s, at + bs::kEntryFirstSector);
    const std::uint64_t size = u32le(s, at + bs::kEntrySize32);
    if (first == 0 || size == 0 || first + size > diskSectors) return false;
    used = true;
  }
  return used;
}

bool isFloppySize(std::uint64_t sectors) {
  for (std::uint64_t floppy : {720u, 1440u, 2400u, 2880u, 5760u})
    if (sectors == floppy) return true;
  return false;
}

std::optional<BareVolume> findBareVolume(Session& session, std::uint64_t diskSectors) {
  auto read = [&](std::uint64_t sector) {
    Sector s{};
    if (!readDiskSectors(session, sector, 1, s).delivered()) s.fill(0);
    return s;
  };
  const Sector boot = read(0);
  const BootSectorFacts facts = readBootSectorFacts(boot);
  if (facts.fileSystem == FileSystem::None) return std::nullopt;

  if (facts.fileSystem == FileSystem::Ntfs) {
    // The MFT or its mirror must be where the boot sector says.
    const std::uint64_t spc = u8at(boot, bs::kSectorsPerCluster);
    const bool mft = bytesEqual(read(u64le(boot, bs::kNtfsMftCluster) * spc), 0, "FILE") ||
                     bytesEqual(read(u64le(boot, bs::kNtfsMirrorCluster) * spc), 0, "FILE");
    if (!mft) return std::nullopt;
  } else if (read(facts.reservedSectors)[0] != facts.mediaByte) {
    return std::nullopt;
  }
  BareVolume volume;
  volume.fileSystem = facts.fileSystem;
  volume.sectors = diskSectors == 0 ? facts.sectors : std::min(facts.sectors, diskSectors);
  volume.floppy = facts.fileSystem == FileSystem::Fat12 &&
                  (isFloppySize(facts.sectors) || isFloppySize(diskSectors));
  volume.table = isPartitionTable(boot, diskSectors);
  return volume;
}

}  // namespace tessaly

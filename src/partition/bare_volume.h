// Volumes without a partition table: a disk or image whose sector 0 is the boot sector of
// a FAT12/16/32 or NTFS volume (a partition imaged on its own, a stick formatted from
// sector 0, a floppy). The parsers take a sector's bytes; only findBareVolume reads.
#pragma once

#include <cstdint>
#include <optional>

#include "disk/le.h"
#include "session/values.h"

namespace tessaly {

class Session;

// What a volume's own boot sector says about it.
struct BootSectorFacts {
  FileSystem fileSystem = FileSystem::None;  // None: not a usable boot sector
  std::uint64_t sectors = 0;                 // the volume's size (NTFS: with its backup boot sector)
  std::uint8_t mediaByte = 0;                // FAT: the first byte of each FAT
  std::uint32_t reservedSectors = 0;         // FAT: where the first FAT begins
};

// Decodes a FAT or NTFS boot sector: both signature bytes, 512 bytes per sector, a valid
// cluster size, and a layout that leaves room for data. A FAT volume's type follows its
// layout: FAT32 when the 16-bit FAT size is 0, otherwise FAT12 below 4085 clusters and
// FAT16 above.
BootSectorFacts readBootSectorFacts(ByteSpan sector);

// True when the four entries of a master boot record form a table: every boot flag 0x00
// or 0x80, at least one entry in use, and every entry in use of a non-zero type with a
// range that begins after sector 0 and ends inside the disk. A volume's boot code read as
// a table fails these.
bool isPartitionTable(ByteSpan sector, std::uint64_t diskSectors);

// The sizes of floppy disks (360 KB ... 2.88 MB), in sectors.
bool isFloppySize(std::uint64_t sectors);

struct BareVolume {
  FileSystem fileSystem = FileSystem::None;
  std::uint64_t sectors = 0;  // clipped to the disk
  bool floppy = false;        // a FAT12 floppy image, scanned as a floppy
  bool table = false;         // sector 0 also reads as a partition table
};

// The volume whose boot sector is sector 0 of the selected disk, when its first FAT
// begins with its media byte (FAT) or its MFT or mirror begins with "FILE" (NTFS).
std::optional<BareVolume> findBareVolume(Session& session, std::uint64_t diskSectors);

}  // namespace tessaly

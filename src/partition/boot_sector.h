// Field offsets of the master boot record, extended boot records and the boot sectors
// of FAT and NTFS volumes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::bootsector {

// Master and extended boot records.
constexpr std::size_t kPartitionEntries = 446;  // four entries of 16 bytes
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kEntryType = 4;
constexpr std::size_t kEntryFirstSector = 8;
constexpr std::size_t kEntrySize32 = 12;  // size in sectors
constexpr std::size_t kSignature = 510;   // 0x55 0xAA
constexpr std::size_t kEntryBootFlag = 0;  // 0x00 or 0x80
constexpr std::uint8_t kProtectiveType = 0xEE;  // the one entry of a GPT disk's record

// File-system marks in a partition's first sector.
constexpr std::size_t kFat32Mark = 82;  // "FAT32"
constexpr std::size_t kFat16Mark = 54;  // "FAT16"
constexpr std::size_t kNtfsMark = 3;    // "NTFS"

// BIOS parameter block.
constexpr std::size_t kJump = 0x00;            // 0xEB or 0xE9
constexpr std::size_t kBytesPerSector = 0x0B;
constexpr std::size_t kSectorsPerCluster = 0x0D;
constexpr std::size_t kReservedSectors = 0x0E;
constexpr std::size_t kRootEntries = 0x11;
constexpr std::size_t kFatCount = 0x10;
constexpr std::size_t kTotalSectors16 = 0x13;
constexpr std::size_t kMediaByte = 0x15;
constexpr std::size_t kFat16Sectors = 0x16;
constexpr std::size_t kHiddenSectors = 0x1C;
constexpr std::size_t kTotalSectors32 = 0x20;
constexpr std::size_t kFat32Sectors = 0x24;
constexpr std::size_t kFat32RootCluster = 0x2C;
constexpr std::size_t kFat16Serial = 0x27;
constexpr std::size_t kFat32Serial = 0x43;
constexpr std::size_t kNtfsTotalSectors = 0x28;  // 64-bit, without the backup boot sector
constexpr std::size_t kNtfsMftCluster = 0x30;
constexpr std::size_t kNtfsMirrorCluster = 0x38;
constexpr std::size_t kNtfsClustersPerRecord = 0x40;
constexpr std::size_t kNtfsClustersPerIndex = 0x44;
constexpr std::size_t kNtfsSerial = 0x48;

// Directory sectors: a "." entry followed by a ".." entry.
constexpr std::size_t kDotClusterLow = 0x1A;
constexpr std::size_t kDotClusterHigh = 0x14;

}  // namespace tessaly::bootsector

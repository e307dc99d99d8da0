// Volumes without a partition table, and GUID partition tables: the boot-sector and table
// parsers on crafted bytes, the listing on crafted disks and on images the tools made.
#include <gtest/gtest.h>

#include "disk/le.h"
#include "partition/bare_volume.h"
#include "partition/gpt.h"
#include "partition/partition_walk.h"
#include "recovery/quick_scan.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using Sector = std::array<std::uint8_t, 512>;

// A FAT boot sector: 512 bytes per sector, 2 FATs, the sizes given.
Sector fatBoot(std::uint8_t spc, std::uint16_t reserved, std::uint16_t rootEntries, std::uint32_t total,
               std::uint16_t fat16Size, std::uint32_t fat32Size = 0) {
  Sector s{};
  s[0] = 0xEB;
  put16le(s, 0x0B, 512);
  s[0x0D] = spc;
  put16le(s, 0x0E, reserved);
  s[0x10] = 2;
  put16le(s, 0x11, rootEntries);
  if (total < 65536) put16le(s, 0x13, static_cast<std::uint16_t>(total)); else put32le(s, 0x20, total);
  s[0x15] = 0xF8;
  put16le(s, 0x16, fat16Size);
  put32le(s, 0x24, fat32Size);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

void tableEntry(std::span<std::uint8_t> s, int i, std::uint8_t flag, std::uint8_t type, std::uint32_t first,
                std::uint32_t size) {
  const std::size_t at = 446 + static_cast<std::size_t>(i) * 16;
  s[at] = flag;
  s[at + 4] = type;
  put32le(s, at + 8, first);
  put32le(s, at + 12, size);
}

TEST(BootSectorFacts, TheLayoutGivesTheFatTypeAndNtfsCountsItsBackupSector) {
  // 8192 sectors of 4-sector clusters: about 2000 clusters, FAT12.
  EXPECT_EQ(readBootSectorFacts(fatBoot(4, 1, 512, 8192, 6)).fileSystem, FileSystem::Fat12);
  // 40960 sectors of 4-sector clusters: about 10000 clusters, FAT16.
  const auto fat16 = readBootSectorFacts(fatBoot(4, 4, 512, 40960, 40));
  EXPECT_EQ(fat16.fileSystem, FileSystem::Fat16);
  EXPECT_EQ(fat16.sectors, 40960u);
  EXPECT_EQ(readBootSectorFacts(fatBoot(1, 32, 0, 69632, 0, 540)).fileSystem, FileSystem::Fat32);

  Sector ntfs{};
  std::copy_n("NTFS    ", 8, ntfs.begin() + 3);
  put16le(ntfs, 0x0B, 512);
  ntfs[0x0D] = 8;
  put64le(ntfs, 0x28, 63487);
  ntfs[510] = 0x55;
  ntfs[511] = 0xAA;
  EXPECT_EQ(readBootSectorFacts(ntfs).sectors, 63488u);

  // What is not a usable boot sector: another sector size, no room for data, no jump.
  Sector big = fatBoot(4, 4, 512, 40960, 40);
  put16le(big, 0x0B, 4096);
  EXPECT_EQ(readBootSectorFacts(big).fileSystem, FileSystem::None);
  EXPECT_EQ(readBootSectorFacts(fatBoot(4, 4, 512, 80, 40)).fileSystem, FileSystem::None);
  Sector noJump = fatBoot(4, 4, 512, 40960, 40);
  noJump[0] = 0;
  EXPECT_EQ(readBootSectorFacts(noJump).fileSystem, FileSystem::None);
}

TEST(PartitionTable, BootCodeIsNotReadAsATable) {
  Sector table{};
  tableEntry(table, 0, 0x80, 0x0C, 2048, 10000);
  EXPECT_TRUE(isPartitionTable(table, 20000));
  EXPECT_FALSE(isPartitionTable(table, 12000));  // ends beyond the disk
  Sector text{};
  std::copy_n("Non-system disk. Press any key", 30, text.begin() + 446);
  EXPECT_FALSE(isPartitionTable(text, 1u << 30));
  EXPECT_FALSE(isPartitionTable(Sector{}, 20000));  // no entry in use
}

// Each listed partition as "label start-end".
std::vector<std::string> listingOf(std::shared_ptr<platform::Device> disk) {
  test::TestSession t(std::move(disk));
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(t.session, tree, 0);
  std::vector<std::string> out;
  const auto& list = t.session.partitionLists[0];
  for (int i = 0; i < list.count; ++i) {
    const auto& e = list.entries[static_cast<std::size_t>(i)];
    out.push_back(tree.text(e.treeItem) + " " + std::to_string(e.startSector) + "-" + std::to_string(e.endSector));
  }
  return out;
}

// A crafted disk whose sector 0 is a FAT32 volume's boot sector (its FAT behind it).
struct BareDisk {
  std::shared_ptr<platform::MemoryDevice> device = std::make_shared<platform::MemoryDevice>(70000);
  BareDisk() {
    const Sector boot = fatBoot(1, 32, 0, 69632, 0, 540);
    std::copy(boot.begin(), boot.end(), device->sector(0).begin());
    device->sector(32)[0] = 0xF8;
  }
  std::vector<std::string> labels() { return listingOf(device); }
};

TEST(BareVolume, ListedAsTheWholeDiskEvenWhenItsBootCodeLooksLikeATable) {
  BareDisk plain;
  EXPECT_EQ(plain.labels(), std::vector<std::string>{"Whole disk (FAT32) 0-69632"});

  // Boot code that looks like a FAT16 entry but runs beyond the disk is no table.
  BareDisk lookalike;
  tableEntry(lookalike.device->sector(0), 0, 0x00, 0x06, 100, 0xFFFFFF00);
  EXPECT_EQ(lookalike.labels(), std::vector<std::string>{"Whole disk (FAT32) 0-69632"});
  // Boot code that passes for a table whose entries list nothing: the volume is listed.
  BareDisk plausible;
  tableEntry(plausible.device->sector(0), 0, 0x00, 0x83, 100, 200);
  EXPECT_EQ(plausible.labels(), std::vector<std::string>{"Whole disk (FAT32) 0-69632"});

  // A boot sector whose FAT does not begin with its media byte is not trusted.
  BareDisk noFat;
  noFat.device->sector(32)[0] = 0;
  EXPECT_TRUE(noFat.labels().empty());
}

TEST(Gpt, HeaderAndEntryChecksums) {
  // One entry at sectors beyond 2^32, in a 128-entry array.
  std::vector<std::uint8_t> entries(128 * 128);
  entries[0] = 0xA2;  // type GUID in use
  put64le(entries, 32, 5'000'000'000ULL);
  put64le(entries, 40, 6'000'000'000ULL);
  Sector header{};
  std::copy_n("EFI PART", 8, header.begin());
  put32le(header, 12, 92);
  put64le(header, 24, 1);
  put64le(header, 72, 2);
  put32le(header, 80, 128);
  put32le(header, 84, 128);
  put32le(header, 88, crc32(entries));
  put32le(header, 16, crc32(std::span(header).first(92)));
  const auto parsed = parseGptHeader(header, 1);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_FALSE(parseGptHeader(header, 2).has_value());  // not where it says it is
  const auto partitions = parseGptEntries(entries, *parsed, 8'000'000'000ULL);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0].first, 5'000'000'000ULL);
  EXPECT_EQ(partitions[0].last, 6'000'000'000ULL);
  EXPECT_TRUE(parseGptEntries(entries, *parsed, 5'500'000'000ULL).empty());  // ends beyond the disk

  entries[100] ^= 1;
  EXPECT_TRUE(parseGptEntries(entries, *parsed, 8'000'000'000ULL).empty());
  header[30] ^= 1;
  EXPECT_FALSE(parseGptHeader(header, 1).has_value());
}

TEST(Gpt, TheToolsTableIsListedAndADamagedHeaderGivesWayToTheBackup) {
  const std::vector<std::string> expected{"Partition - 1 ( FAT32 ) 2048-71680",
                                          "Partition - 2 ( NTFS ) 73728-137216"};
  auto image = platform::DeviceTable::fromPaths({test::imagePath("gpt_disk")}).open(
      platform::DeviceTable::physicalDriveName(0));
  ASSERT_TRUE(image);
  EXPECT_EQ(listingOf(image), expected);
  auto damaged = std::make_shared<test::PatchedDevice>(image);
  damaged->patchByte(1, 0, 0);  // the primary header's signature
  EXPECT_EQ(listingOf(damaged), expected);
  auto entries = std::make_shared<test::PatchedDevice>(image);
  entries->patchByte(2, 40, 0x77);  // the primary entries no longer match their CRC
  EXPECT_EQ(listingOf(entries), expected);
}

TEST(Gpt, AVolumeBeyondTwoTebibytesIsRefusedNotReadAtTruncatedSectors) {
  // A disk of 8 * 10^9 sectors, all zeros, so that the volume lies on it.
  struct LargeDisk : platform::Device {
    bool read(std::uint64_t, std::span<std::uint8_t> buffer) override {
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      return true;
    }
    std::uint64_t size() const override { return 8'000'000'000ULL * 512; }
  };
  test::TestSession t(std::make_shared<LargeDisk>());
  t.session.partitionSelection = {0, 0, FileSystem::Fat32, "Quick Mode", 5'000'000'000ULL, 6'000'000'000ULL, 0};
  EXPECT_EQ(runQuickScan(t.session, t.scan), ScanEnd::NotAvailable);
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].text, kBeyond32BitMessage);
}

}  // namespace
}  // namespace tessaly

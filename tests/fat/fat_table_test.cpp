#include "fat/fat_table.h"

#include <gtest/gtest.h>

#include <random>

#include "fat/cluster_chain.h"
#include "fat/crafted_fat.h"

namespace tessaly {
namespace {

TEST(FatTable, WindowedEntriesEqualTheEntriesReadOneByOne) {
  for (FileSystem fs : {FileSystem::Fat12, FileSystem::Fat16, FileSystem::Fat32}) {
    test::CraftedFat v(fs, 1, 600, 5);
    std::mt19937 random(7);
    for (std::uint32_t s = 0; s < v.v.fatSectors; ++s)
      for (auto& byte : v.sector(v.v.fat1Start + s)) byte = static_cast<std::uint8_t>(random());
    // Windows of 2 sectors: FAT12 entries across sector and window edges are read whole.
    FatTable fat1(v.session(), v.v, v.v.fat1Start, 2);
    const auto count = static_cast<std::uint32_t>(fatEntryCount(v.v));
    for (std::uint32_t c = 0; c < count; ++c)
      ASSERT_EQ(fat1.entry(c), readFatEntry(v.session(), v.v, v.v.fat1Start, c).value) << c;
    EXPECT_FALSE(fat1.entry(count).has_value());
  }
}

TEST(FatTable, ADeletedFat32StartTakesItsFoldersHighWordOnlyWhenThatClusterIsFree) {
  test::CraftedFat v(FileSystem::Fat32, 1, 1200, 520);  // FAT entries up to 66560
  const std::uint32_t folder = 0x10005, limit = 0x10100;
  v.fat(0x30, 0x0FFFFFFF);  // the low words of both starts are in use ...
  v.fat(0x40, 0x0FFFFFFF);
  v.fat(0x10040, 0x0FFFFFFF);  // ... and so is 0x10040
  FatTable fat1(v.session(), v.v, v.v.fat1Start);
  EXPECT_EQ(deletedFileStart(fat1, 0x30, folder, limit), 0x10030u);
  EXPECT_EQ(deletedFileStart(fat1, 0x40, folder, limit), 0x40u);
  EXPECT_EQ(deletedFileStart(fat1, 0x30, 0x50, limit), 0x30u);  // the folder lies below 65536
  EXPECT_EQ(deletedFileStart(fat1, 0x10060, folder, limit), 0x10060u);  // a high word is kept
  EXPECT_EQ(deletedFileStart(fat1, 0x30, folder, 0x10020), 0x30u);      // beyond the volume
}

}  // namespace
}  // namespace tessaly

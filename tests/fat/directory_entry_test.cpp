#include "fat/directory_entry.h"

#include <gtest/gtest.h>

#include "fat/crafted_fat.h"

namespace tessaly {
namespace {

std::span<const std::uint8_t> entryOf(test::CraftedFat& v, std::uint64_t s, std::size_t i) {
  return v.sector(s).subspan(i * 32, 32);
}

TEST(DirectoryEntry, ShortNamesDropPaddingAndMarkDeletedEntries) {
  test::CraftedFat v;
  v.entry(100, 0, "MY FILE TXT", 0x20, 5);
  v.entry(100, 1, "README  \x20MD", 0x20, 5);
  v.entry(100, 2, "\xE5OTES   TXT", 0x20, 5);
  v.entry(100, 3, "NOEXT      ", 0x20, 5);
  EXPECT_EQ(buildShortName(entryOf(v, 100, 0)).name, "MYFILE.TXT");
  EXPECT_EQ(buildShortName(entryOf(v, 100, 1)).name, "READMEMD");
  ShortName deleted = buildShortName(entryOf(v, 100, 2));
  EXPECT_EQ(deleted.name, "_OTES.TXT");
  EXPECT_TRUE(deleted.deleted);
  EXPECT_FALSE(buildShortName(entryOf(v, 100, 0)).deleted);
  EXPECT_EQ(buildShortName(entryOf(v, 100, 3)).name, "NOEXT");
}

TEST(DirectoryEntry, PlausibleNames) {
  EXPECT_TRUE(isPlausibleName("Budget 2024.xls"));
  EXPECT_TRUE(isPlausibleName(""));
  for (const char* bad : {"a|b", "a?b", "a*b", "a<b", "a>b", "a\"b", "a\\b", "a/b", "a\x01"
                          "b", "caf\xE9"})
    EXPECT_FALSE(isPlausibleName(bad)) << bad;
}

TEST(DirectoryEntry, DirectoryStartsAndFirstClusters) {
  test::CraftedFat v;
  v.directory(10, 0);
  EXPECT_TRUE(isDirectoryStart(v.sector(v.clusterSector(10))));
  v.entry(v.clusterSector(11), 0, ".", 0x10, 11);
  EXPECT_FALSE(isDirectoryStart(v.sector(v.clusterSector(11))));  // no ".." after it

  v.entry(100, 0, "BIG", 0x10, 0x00020003);
  EXPECT_EQ(entryCluster(entryOf(v, 100, 0), FileSystem::Fat32), 0x00020003u);
  EXPECT_EQ(entryCluster(entryOf(v, 100, 0), FileSystem::Fat16), 0x0003u);
  EXPECT_EQ(entryCluster(entryOf(v, 100, 0), FileSystem::Fat12), 0x0003u);
}

TEST(DirectoryEntry, LongNamesAreCollectedBackwardsFromTheShortEntry) {
  test::CraftedFat v;
  Session& s = v.session();
  // 26 characters: two entries, no terminator, ends after the entry with sequence 0x42.
  const std::string name26 = "abcdefghijklmnopqrstuvwxyz";
  v.entry(100, 0, "OTHER   TXT", 0x20, 2);
  v.longName(100, 1, 0x42, name26.substr(13));
  v.longName(100, 2, 0x01, name26.substr(0, 13));
  v.entry(100, 3, "ABCDEF~1   ", 0x20, 7);
  auto found = assembleLongName(s, v.sector(100), 3 * 32, DirectorySector::contiguous(100));
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, name26);

  // A short name alone has no long name; a shorter long name ends at its zero character.
  EXPECT_FALSE(assembleLongName(s, v.sector(100), 0, DirectorySector::contiguous(100)));
  v.longName(101, 0, 0x41, "Old Archive");
  v.entry(101, 1, "OLDARC~1   ", 0x10, 9);
  EXPECT_EQ(assembleLongName(s, v.sector(101), 32, DirectorySector::contiguous(101)), "Old Archive");
  // A deleted name keeps its characters: only the sequence byte is overwritten.
  v.sector(101)[0] = 0xE5;
  v.sector(101)[32] = 0xE5;
  auto deleted = decodeEntryName(s, v.sector(101), 32, DirectorySector::contiguous(101));
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->name, "Old Archive");
  EXPECT_TRUE(deleted->deleted);
}

TEST(DirectoryEntry, NamesThatFailThePlausibilityCheckSkipTheEntry) {
  test::CraftedFat v;
  Session& s = v.session();
  v.longName(100, 0, 0x41, "what?");
  v.entry(100, 1, "WHAT~1  TXT", 0x20, 9);
  EXPECT_FALSE(decodeEntryName(s, v.sector(100), 32, DirectorySector::contiguous(100)));
  v.entry(100, 2, "A|B     TXT", 0x20, 9);
  EXPECT_FALSE(decodeEntryName(s, v.sector(100), 64, DirectorySector::contiguous(100)));
}

TEST(DirectoryEntry, LongNameBeforeAClusterBoundaryIsFoundThroughTheChain) {
  test::CraftedFat v;
  Session& s = v.session();
  // The directory's clusters 40 and 60 are not adjacent: the long name ends cluster 40,
  // the short entry begins cluster 60.
  v.longName(v.clusterSector(40), 15, 0x41, "Split Name");
  v.entry(v.clusterSector(60), 0, "SPLITN~1   ", 0x10, 12);
  std::vector<DirectorySector> sectors = chainSectors(v.scan().workingVolume, {40, 60});
  ASSERT_EQ(sectors.size(), 2u);
  EXPECT_EQ(sectors[1].previous, v.clusterSector(40));
  EXPECT_EQ(assembleLongName(s, v.sector(v.clusterSector(60)), 0, sectors[1]), "Split Name");
  // The sector with the next lower number is another cluster's: no long name there.
  EXPECT_FALSE(assembleLongName(s, v.sector(v.clusterSector(60)), 0,
                                DirectorySector::contiguous(v.clusterSector(60))));
}

}  // namespace
}  // namespace tessaly

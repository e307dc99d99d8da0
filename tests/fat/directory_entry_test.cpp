#include "fat/directory_entry.h"

#include <gtest/gtest.h>

#include <random>

#include "fat/crafted_fat.h"

namespace tessaly {
namespace {

namespace de = direntry;

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

TEST(DirectoryEntry, ShortNamesReadThroughCodePage437AndTheLowerCaseFlags) {
  test::CraftedFat v;
  v.entry(100, 0, "CAF\x82    TXT", 0x20, 5);  // 0x82 is "é"
  v.entry(100, 1, "\xE5" "EPORT  BIN", 0x20, 5);
  v.sector(100)[32 + de::kCaseFlags] = 0x18;  // name and extension lower case
  v.entry(100, 2, "README  TXT", 0x20, 5);
  v.sector(100)[64 + de::kCaseFlags] = 0x08;  // only the name
  v.entry(100, 3, "\x05" "BC     TXT", 0x20, 5);  // 0x05 stands for 0xE5, "σ"
  EXPECT_EQ(buildShortName(entryOf(v, 100, 0)).name, "CAF\u00e9.TXT");
  EXPECT_EQ(buildShortName(entryOf(v, 100, 1)).name, "_eport.bin");
  EXPECT_EQ(buildShortName(entryOf(v, 100, 2)).name, "readme.TXT");
  EXPECT_EQ(buildShortName(entryOf(v, 100, 3)).name, "\u03c3BC.TXT");
  EXPECT_FALSE(buildShortName(entryOf(v, 100, 3)).deleted);
  // As a system writes "café.txt": "CAFÉ    TXT" with both flags.
  v.entry(100, 4, "CAF\x90    TXT", 0x20, 5);
  v.sector(100)[4 * 32 + de::kCaseFlags] = 0x18;
  EXPECT_EQ(buildShortName(entryOf(v, 100, 4)).name, "caf\u00e9.txt");

  // The flags are ignored when a long name is present.
  v.longName(101, 0, 0x41, "Mixed.Bin");
  v.entry(101, 1, "MIXED   BIN", 0x20, 5);
  v.sector(101)[32 + de::kCaseFlags] = 0x18;
  EXPECT_EQ(decodeEntryName(v.session(), v.sector(101), 32, DirectorySector::contiguous(101))->name, "Mixed.Bin");
}

TEST(DirectoryEntry, PlausibleNamesAreUtf8WithoutControlsOrReservedCharacters) {
  for (const char* good : {"Budget 2024.xls", "", "caf\u00e9.txt", "\u041f\u0440\u0438\u0432\u0435\u0442.txt",
                           "\u65e5\u672c\u8a9e.txt", "\U0001F600.txt"})
    EXPECT_TRUE(isPlausibleName(good)) << good;
  for (const char* bad : {"a|b", "a?b", "a*b", "a<b", "a>b", "a\"b", "a\\b", "a/b", "a\x01"
                          "b", "a\x7f", "a\u0085", "a\uFFFE", "a\uFFFF",
                          "caf\xE9",        // a code page byte, not UTF-8
                          "a\xED\xA0\x80",  // a surrogate without its partner
                          "a\xC0\xAF"})     // an overlong "/"
    EXPECT_FALSE(isPlausibleName(bad)) << bad;
}

TEST(DirectoryEntry, SectorsOfRandomBytesGiveNoNames) {
  test::CraftedFat v;
  std::mt19937 random(1234);
  std::size_t names = 0;
  for (std::uint64_t s = 100; s < 164; ++s) {
    for (auto& b : v.sector(s)) b = static_cast<std::uint8_t>(random());
    for (std::size_t i = 0; i < de::kPerSector; ++i) {
      const auto entry = entryOf(v, s, i);
      if (entry[0] == 0) break;
      if (isDotEntry(entry) || entry[de::kAttributes] == de::kLongNameAttributes) continue;
      if (decodeEntryName(v.session(), v.sector(s), i * de::kSize, DirectorySector::contiguous(s))) ++names;
    }
  }
  EXPECT_EQ(names, 0u);
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

TEST(DirectoryEntry, LongNamesAreUtf16WithSurrogatePairs) {
  test::CraftedFat v;
  Session& s = v.session();
  // U+0100 has a low byte of 0: only a whole character of 0 ends a name.
  v.longName(100, 0, 0x41, u"\u65e5\u0100 \U0001F600.txt");
  v.entry(100, 1, "_~1     TXT", 0x20, 9);
  EXPECT_EQ(decodeEntryName(s, v.sector(100), 32, DirectorySector::contiguous(100))->name,
            "\u65e5\u0100 \U0001F600.txt");
  // A high surrogate without its low half makes the name implausible.
  v.longName(100, 2, 0x41, u"bad\xD83D.txt");
  v.entry(100, 3, "BAD~1   TXT", 0x20, 9);
  EXPECT_FALSE(decodeEntryName(s, v.sector(100), 96, DirectorySector::contiguous(100)));
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

// The partition search on crafted disks (where it reads, what it lists, where it stops)
// and on the tools' disk whose table was zeroed.
#include "partition/partition_search.h"

#include <gtest/gtest.h>

#include "disk/le.h"
#include "platform/geometry.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

// A crafted disk of 63-sector tracks and 4 heads (252 sectors a cylinder).
struct SearchDisk {
  static constexpr std::uint32_t kHeads = 4, kCylinders = 40;
  std::shared_ptr<platform::MemoryDevice> device =
      std::make_shared<platform::MemoryDevice>(std::size_t{kCylinders} * kHeads * 63);

  void boot(std::uint64_t sector, const std::string& fs, std::uint64_t total, std::uint32_t serial = 0) {
    auto s = device->sector(sector);
    if (fs == "FAT32") {
      std::copy_n("FAT32", 5, s.begin() + 82);
      put32le(s, 0x20, static_cast<std::uint32_t>(total));
      put32le(s, 0x43, serial);
    } else if (fs == "FAT16") {
      std::copy_n("FAT16", 5, s.begin() + 54);
      put32le(s, 0x20, static_cast<std::uint32_t>(total));
      put32le(s, 0x27, serial);
    } else {
      std::copy_n("NTFS    ", 8, s.begin() + 3);
      put64le(s, 0x28, total);
      put64le(s, 0x48, serial);
    }
    s[510] = 0x55;
    s[511] = 0xAA;
  }

  struct Result {
    std::vector<std::string> listed;
    SearchOutcome outcome;
    bool truncated;
  };
  Result search() {
    test::TestSession t(device);
    TreeModel tree;
    tree.insert(kNoItem, "Disk 0", 1, 1);
    SearchOptions options;
    options.geometry = {kCylinders, kHeads, 63};
    options.diskSectors = device->size() / 512;
    Result r;
    r.outcome = searchPartitions(t.session, tree, options);
    const auto& list = t.session.partitionLists[0];
    for (int i = 0; i < list.count; ++i) {
      const auto& e = list.entries[static_cast<std::size_t>(i)];
      r.listed.push_back(tree.text(e.treeItem) + " " + std::to_string(e.startSector) + "-" +
                         std::to_string(e.endSector));
    }
    r.truncated = list.truncated;
    return r;
  }
};

TEST(PartitionSearch, GeometryOfOtherThan63SectorsIsTranslated) {
  const SearchGeometry g = translateGeometry({1000, 64, 32});
  EXPECT_EQ(g.cylinders, 127u);
  EXPECT_EQ(g.heads, 255u);
  EXPECT_EQ(g.sectorsPerTrack, 63u);
  const SearchGeometry kept = translateGeometry({500, 16, 63});
  EXPECT_EQ(kept.heads, 16u);
  EXPECT_EQ(kept.cylinders, 500u);
}

TEST(PartitionSearch, FindsHeadOneHeadZeroAndAlignedBootSectorsOnlyThere) {
  SearchDisk d;
  d.boot(63, "FAT32", 1000);            // cylinder 0, head 1: the first read
  d.boot(2 * 252, "FAT16", 0);          // cylinder 2, head 0: a total of 0 ends at its start
  d.boot(5 * 252 + 10, "FAT32", 100);   // neither head 0 nor head 1 of a cylinder: not found
  // On a 1 MiB boundary, with a 64-bit total; its backup copy at its end is the same volume.
  d.boot(4096, "NTFS", 5'000'000'000ULL, 77);
  d.boot(8192, "NTFS", 5'000'000'000ULL, 77);
  const auto r = d.search();
  EXPECT_EQ(r.listed, (std::vector<std::string>{"Partition - 1 ( FAT32 ) 63-1063", "Partition - 2 ( FAT16 ) 504-504",
                                                "Partition - 3 ( NTFS ) 4096-5000004096"}));
  // Head 1 of each of the 40 cylinders, head 0 of the 39 whose head 1 has no signature,
  // and the five 1 MiB boundaries (sector 0 among them: cylinder 0's head 0 was not read).
  EXPECT_EQ(r.outcome.reads, 40u + 39u + 5u);
}

TEST(PartitionSearch, StopsAtTwentySixPartitionsWithoutOverwriting) {
  SearchDisk d;
  for (std::uint32_t k = 0; k < 30; ++k) d.boot(k * 252 + 63, "FAT32", 10, k);
  const auto r = d.search();
  ASSERT_EQ(r.listed.size(), 26u);
  EXPECT_EQ(r.listed.back(), "Partition - 26 ( FAT32 ) " + std::to_string(25 * 252 + 63) + "-" +
                                 std::to_string(25 * 252 + 73));
  EXPECT_TRUE(r.truncated);
}

TEST(PartitionSearch, FindsTheVolumesOfADiskWhoseTableWasZeroed) {
  auto image = platform::DeviceTable::fromPaths({test::imagePath("three_volumes")})
                   .open(platform::DeviceTable::physicalDriveName(0));
  ASSERT_TRUE(image);
  auto zeroed = std::make_shared<test::PatchedDevice>(image);
  for (std::size_t b = 446; b < 510; ++b) zeroed->patchByte(0, b, 0);
  test::TestSession t(zeroed);
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  SearchOptions options;
  const auto g = platform::imageGeometry(image->size());
  options.geometry = {static_cast<std::uint32_t>(g.cylinders), g.tracksPerCylinder, g.sectorsPerTrack};
  options.diskSectors = image->size() / 512;
  std::vector<int> percents;
  options.progress = [&](int p) { percents.push_back(p); };
  searchPartitions(t.session, tree, options);
  const auto& list = t.session.partitionLists[0];
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.fileSystems[0], FileSystem::Fat16);
  EXPECT_EQ(list.entries[0].startSector, 63u);
  EXPECT_EQ(list.entries[0].endSector, 63u + 40960u);
  EXPECT_EQ(list.fileSystems[1], FileSystem::Fat32);
  EXPECT_EQ(list.entries[1].startSector, 43008u);
  EXPECT_EQ(list.fileSystems[2], FileSystem::Ntfs);
  EXPECT_EQ(list.entries[2].startSector, 112640u);
  EXPECT_EQ(list.entries[2].endSector, 112640u + 63487u);
  EXPECT_EQ(percents.back(), 100);
}

}  // namespace
}  // namespace tessaly

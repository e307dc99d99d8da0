#include "fat/cluster_chain.h"

#include <gtest/gtest.h>

#include "fat/crafted_fat.h"

namespace tessaly {
namespace {

using Chain = std::vector<std::uint32_t>;

Chain directoryChain(test::CraftedFat& v, std::uint32_t first, std::uint32_t parentId = 0) {
  return walkDirectoryChain(v.session(), v.scan().workingVolume, first, parentId);
}

Chain fileChain(test::CraftedFat& v, std::uint32_t first) {
  return walkFileChain(v.session(), v.scan().workingVolume, first);
}

TEST(ClusterChain, Fat16ChainsEndAtTheEndMarkOrTheSectorIndexCheck) {
  test::CraftedFat v(FileSystem::Fat16);
  v.chain({5, 6});
  EXPECT_EQ(directoryChain(v, 5), (Chain{5, 6}));
  EXPECT_EQ(fileChain(v, 5), (Chain{5, 6}));
  // A reserved value below the end mark is followed like a cluster number; its sector
  // index lies beyond the FAT and ends the walk.
  v.fat(7, 0xFFF8);
  EXPECT_EQ(directoryChain(v, 7), (Chain{7, 0xFFF8}));
  EXPECT_EQ(fileChain(v, 7), (Chain{7, 0xFFF8}));
  v.fat(8, 0);
  EXPECT_EQ(fileChain(v, 8), (Chain{8}));
  v.fat(9, 1);
  EXPECT_EQ(fileChain(v, 9), (Chain{9}));
}

TEST(ClusterChain, Fat12EntriesStraddlingSectorsAreReadWhole) {
  test::CraftedFat v(FileSystem::Fat12);
  // Cluster 3 (odd): high nibble of byte 4 and byte 5 shifted by 4.
  v.sector(1)[4] = 0x40;
  v.sector(1)[5] = 0x00;
  FatEntry e = readFatEntry(v.session(), v.v, v.v.fat1Start, 3);
  EXPECT_EQ(e.value, 0x004u);
  // Cluster 341's entry begins at byte 511 of the FAT's first sector.
  v.fat(341, 0xABC);
  EXPECT_EQ(readFatEntry(v.session(), v.v, v.v.fat1Start, 341).value, 0xABCu);
  v.fat(340, 0x123);
  EXPECT_EQ(readFatEntry(v.session(), v.v, v.v.fat1Start, 340).value, 0x123u);
  EXPECT_EQ(readFatEntry(v.session(), v.v, v.v.fat1Start, 341).value, 0xABCu);
  v.chain({341, 342, 345});
  EXPECT_EQ(directoryChain(v, 341), (Chain{341, 342, 345}));
}

TEST(ClusterChain, ChainsThatLoopEndBeforeTheirFirstRepeatedCluster) {
  for (FileSystem fs : {FileSystem::Fat12, FileSystem::Fat16}) {
    test::CraftedFat v(fs);
    v.fat(10, 11);
    v.fat(11, 12);
    v.fat(12, 11);
    EXPECT_EQ(fileChain(v, 10), (Chain{10, 11, 12}));
    EXPECT_EQ(directoryChain(v, 10), (Chain{10, 11, 12}));
  }
}

TEST(ClusterChain, LostDirectoriesAreFollowedForTwentySixClusters) {
  test::CraftedFat v(FileSystem::Fat16);
  std::vector<std::uint32_t> clusters;
  for (std::uint32_t c = 100; c < 140; ++c) clusters.push_back(c);
  for (std::size_t i = 0; i < clusters.size(); ++i)
    v.fat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFF);
  EXPECT_EQ(directoryChain(v, 100, kLostId).size(), 26u);
  EXPECT_EQ(directoryChain(v, 100, 0).size(), 40u);
  EXPECT_EQ(fileChain(v, 100).size(), 40u);
}

TEST(ClusterChain, Fat32UsesAllThirtyTwoBitsOfAnEntry) {
  test::CraftedFat v(FileSystem::Fat32, 1, 600, 4);
  v.fat(5, 6);
  v.fat(6, 0x10000007);  // a reserved top bit set: at or above the end mark
  EXPECT_EQ(directoryChain(v, 5), (Chain{5, 6}));
  v.fat(6, 0x0FFFFFF8);
  EXPECT_EQ(fileChain(v, 5), (Chain{5, 6, 0x0FFFFFF8}));
}

}  // namespace
}  // namespace tessaly

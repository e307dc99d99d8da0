#include "partition/partition_walk.h"

#include <gtest/gtest.h>

#include "disk/le.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::MemoryDevice;

// A crafted disk: partition records and boot sectors written byte by byte.
struct CraftedDisk {
  std::shared_ptr<MemoryDevice> device = std::make_shared<MemoryDevice>(4096);

  void signature(std::uint64_t sector, std::uint8_t b510 = 0x55, std::uint8_t b511 = 0xAA) {
    device->sector(sector)[510] = b510;
    device->sector(sector)[511] = b511;
  }
  void entry(std::uint64_t sector, int i, std::uint8_t type, std::uint32_t first, std::uint32_t size) {
    auto s = device->sector(sector);
    std::size_t at = 446 + static_cast<std::size_t>(i) * 16;
    s[at + 4] = type;
    put32le(s, at + 8, first);
    put32le(s, at + 12, size);
  }
  void mark(std::uint64_t sector, std::size_t offset, const std::string& text) {
    auto s = device->sector(sector);
    std::copy(text.begin(), text.end(), s.begin() + static_cast<long>(offset));
  }
};

struct Walk {
  test::TestSession t;
  TreeModel tree;
  explicit Walk(std::shared_ptr<platform::Device> disk) : t(std::move(disk)) {
    tree.insert(kNoItem, "Disk 0", 1, 1);
    walkPartitionTable(t.session, tree, 0);
  }
  const DiskPartitionList& list() const { return t.session.partitionLists[0]; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (int i = 0; i < list().count; ++i) out.emplace_back(fileSystemName(list().fileSystems[static_cast<std::size_t>(i)]));
    return out;
  }
  std::vector<std::string> labels() const {
    std::vector<std::string> out;
    for (TreeItem item : tree.children(tree.root())) out.push_back(tree.text(item));
    return out;
  }
};

TEST(PartitionWalk, MarksWinOverTypeBytesAndTypeBytesStandInForMissingMarks) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x07, 100, 50);  // NTFS type, FAT32 mark
  d.mark(100, 82, "FAT32");
  d.entry(0, 1, 0x01, 200, 50);  // FAT12 type byte without mark counts as FAT16
  d.entry(0, 2, 0x83, 300, 50);  // a Linux partition whose sector says FAT12: not listed
  d.mark(300, 54, "FAT12");
  d.entry(0, 3, 0x0C, 400, 50);
  Walk w(d.device);
  EXPECT_EQ(w.names(), (std::vector<std::string>{"FAT32", "FAT16", "FAT32"}));
  EXPECT_EQ(w.labels(), (std::vector<std::string>{"Partition - 1 ( FAT32 )", "Partition - 2 ( FAT16 )",
                                                  "Partition - 3 ( FAT32 )"}));
  EXPECT_EQ(w.list().entries[0].startSector, 100u);
  EXPECT_EQ(w.list().entries[0].endSector, 150u);
  EXPECT_EQ(w.t.session.firstPartitionItem, w.list().entries[0].treeItem);
}

TEST(PartitionWalk, SignatureNeedsOnlyOneOfItsTwoBytes) {
  CraftedDisk d;
  d.signature(0, 0x55, 0x00);
  d.entry(0, 0, 0x06, 100, 50);
  EXPECT_EQ(Walk(d.device).list().count, 1);

  CraftedDisk none;
  none.signature(0, 0x00, 0x00);
  none.entry(0, 0, 0x06, 100, 50);
  Walk w(none.device);
  EXPECT_EQ(w.list().count, 0);
  EXPECT_TRUE(w.labels().empty());
}

TEST(PartitionWalk, ExtendedChainLocatesEachRecordFromTheBase) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x0B, 63, 100);
  d.entry(0, 1, 0x05, 1000, 2000);
  // First extended record at the base: a logical FAT16 at +63 and a link to +500.
  d.entry(1000, 0, 0x06, 63, 300);
  d.entry(1000, 1, 0x05, 500, 400);
  // Second record at base + 500 (not at 1000 + 500 + ...): a logical NTFS at +63.
  d.entry(1500, 0, 0x07, 63, 200);
  d.mark(1563, 3, "NTFS");
  Walk w(d.device);
  ASSERT_EQ(w.names(), (std::vector<std::string>{"FAT32", "FAT16", "NTFS"}));
  EXPECT_EQ(w.list().entries[1].startSector, 1063u);
  EXPECT_EQ(w.list().entries[1].endSector, 1363u);
  EXPECT_EQ(w.list().entries[2].startSector, 1563u);
  EXPECT_EQ(w.list().entries[2].endSector, 1763u);
  EXPECT_EQ(w.t.session.firstPartitionItem, w.list().entries[0].treeItem);
}

TEST(PartitionWalk, ExtendedEntryWithAFileSystemMarkIsListedNotFollowed) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x05, 100, 500);
  d.mark(100, 54, "FAT16");
  d.entry(100, 0, 0x06, 10, 20);  // would be a logical partition if followed
  Walk w(d.device);
  EXPECT_EQ(w.names(), (std::vector<std::string>{"FAT16"}));
}

TEST(PartitionWalk, TypeByteOneWithoutMarkIsFat16InTheExtendedChainToo) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x0F, 100, 500);
  d.entry(100, 0, 0x01, 10, 20);
  Walk w(d.device);
  EXPECT_EQ(w.names(), (std::vector<std::string>{"FAT16"}));
  EXPECT_EQ(w.list().entries[0].startSector, 110u);
}

TEST(PartitionWalk, ChainThatLinksBackEnds) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x05, 100, 2000);
  d.entry(100, 0, 0x06, 10, 20);
  d.entry(100, 1, 0x05, 300, 100);
  d.entry(400, 0, 0x06, 10, 20);
  d.entry(400, 1, 0x05, 0, 100);  // back to the first record
  Walk w(d.device);
  EXPECT_EQ(w.list().count, 2);
}

TEST(PartitionWalk, MoreThanTwentySixPartitionsListTheFirstTwentySix) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x05, 100, 3900);
  for (std::uint32_t k = 0; k < 30; ++k) {
    std::uint64_t record = 100 + 100 * k;
    d.entry(record, 0, 0x06, 10, 20);
    if (k + 1 < 30) d.entry(record, 1, 0x05, 100 * (k + 1), 100);
  }
  Walk w(d.device);
  EXPECT_EQ(w.list().count, 26);
  EXPECT_TRUE(w.list().truncated);
  EXPECT_EQ(w.labels().size(), 26u);
  EXPECT_EQ(w.labels().back(), "Partition - 26 ( FAT16 )");
}

TEST(PartitionWalk, UnreadableBootSectorFallsThroughToItsTypeByte) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x07, 100, 50);
  d.mark(100, 3, "NTFS");
  d.entry(0, 1, 0x06, 200, 50);
  auto faulty = std::make_shared<platform::FaultyDevice>(d.device);
  faulty->failSector(200);
  test::TestSession t(faulty);
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(t.session, tree, 0);
  const auto& list = t.session.partitionLists[0];
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.fileSystems[1], FileSystem::Fat16);  // not the NTFS mark of the sector before
}

TEST(PartitionWalk, PartitionsAreNamedByTheFixedVolumeWithTheSameIdentity) {
  CraftedDisk d;
  d.signature(0);
  d.entry(0, 0, 0x06, 100, 50);
  d.mark(100, 54, "FAT16");
  auto boot = d.device->sector(100);
  put32le(boot, 0x27, 0x12345678);  // serial
  put32le(boot, 0x1C, 100);         // hidden sectors
  d.entry(0, 1, 0x06, 200, 50);
  d.mark(200, 54, "FAT16");
  put32le(d.device->sector(200), 0x27, 0x9999);

  auto volumeC = std::make_shared<MemoryDevice>(1);  // another volume
  volumeC->bytes()[57] = '1';
  volumeC->bytes()[58] = '6';
  auto volumeD = std::make_shared<MemoryDevice>(std::vector<std::uint8_t>(boot.begin(), boot.end()));

  test::TestSession t(d.device);
  t.devices.attach("\\\\.\\c:", volumeC);
  t.devices.attach("\\\\.\\d:", volumeD);
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(t.session, tree, 0);
  auto items = tree.children(tree.root());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(tree.text(items[0]), "D:\\ ( FAT16 )");
  EXPECT_EQ(tree.text(items[1]), "Partition - 2 ( FAT16 )");
}

}  // namespace
}  // namespace tessaly

#include "partition/volume.h"
#include "partition/partition_walk.h"

#include <gtest/gtest.h>

#include <regex>

#include "disk/le.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::MemoryDevice;

struct Crafted {
  std::shared_ptr<MemoryDevice> device = std::make_shared<MemoryDevice>(2048);
  test::TestSession t{device};
  std::span<std::uint8_t> sector(std::uint64_t n) { return device->sector(n); }
  void select(const std::string& fs, std::uint64_t first, std::uint64_t last) {
    t.session.partitionSelection.fileSystem = fileSystemFromName(fs);
    t.session.partitionSelection.firstSector = first;
    t.session.partitionSelection.lastSector = last;
  }
  void fat16Boot(std::uint64_t at, std::uint8_t spc, std::uint16_t reserved, std::uint16_t fatSectors,
                 std::uint16_t rootEntries) {
    auto s = sector(at);
    s[0x0D] = spc;
    put16le(s, 0x0E, reserved);
    put16le(s, 0x11, rootEntries);
    put16le(s, 0x16, fatSectors);
    s[510] = 0x55;
    s[511] = 0xAA;
  }
  void ntfsBoot(std::uint64_t at, std::uint8_t spc, std::uint32_t perRecord, std::uint32_t mftCluster,
                std::uint32_t mirrorCluster) {
    auto s = sector(at);
    std::copy_n("NTFS    ", 8, s.begin() + 3);
    s[0x0D] = spc;
    put32le(s, 0x30, mftCluster);
    put32le(s, 0x38, mirrorCluster);
    put32le(s, 0x40, perRecord);
    put32le(s, 0x44, 0xF4);
    s[510] = 0x55;
    s[511] = 0xAA;
  }
  void fileRecord(std::uint64_t at) { std::copy_n("FILE", 4, sector(at).begin()); }
  void directory(std::uint64_t at, std::uint32_t cluster) {
    auto s = sector(at);
    std::copy_n(".          ", 11, s.begin());
    std::copy_n("..         ", 11, s.begin() + 32);
    put16le(s, 0x1A, static_cast<std::uint16_t>(cluster));
    put16le(s, 0x14, static_cast<std::uint16_t>(cluster >> 16));
  }
};

TEST(ValidatePartition, Fat16NeedsTheSecondFatToStartWithF8) {
  Crafted c;
  c.fat16Boot(100, 4, 1, 10, 512);
  c.sector(111)[0] = 0xF0;
  c.select("FAT16", 100, 1999);
  EXPECT_EQ(validatePartition(c.t.session, c.t.scan), 0);
  c.sector(111)[0] = 0xF8;
  ASSERT_EQ(validatePartition(c.t.session, c.t.scan), 1);
  const auto& v = c.t.scan.volume;
  EXPECT_EQ(v.rootDirStart, 100u + 1 + 20);
  EXPECT_EQ(v.rootDirSectors, 32u);
  EXPECT_EQ(v.cluster0Sector, 121u + 32 - 8);
  EXPECT_EQ(v.fat1Start, 101u);
  EXPECT_EQ(v.fat2Start, 111u);
  EXPECT_EQ(c.t.report.lastStatus(), "Validating Partition ...");
}

TEST(ValidatePartition, AbsurdBootSectorValuesAreRefused) {
  Crafted c;
  c.fat16Boot(100, 0, 1, 10, 512);  // zero sectors per cluster
  c.sector(111)[0] = 0xF8;
  c.select("FAT16", 100, 1999);
  EXPECT_EQ(validatePartition(c.t.session, c.t.scan), 0);
  c.fat16Boot(100, 3, 1, 10, 512);  // not a power of two
  EXPECT_EQ(validatePartition(c.t.session, c.t.scan), 0);
  c.fat16Boot(100, 4, 1, 0, 512);  // no FAT at all
  c.sector(101)[0] = 0xF8;
  EXPECT_EQ(validatePartition(c.t.session, c.t.scan), 0);
  c.select("HPFS", 100, 1999);
  EXPECT_EQ(validatePartition(c.t.session, c.t.scan), 0);
}

TEST(ValidatePartition, NtfsRecordSizes) {
  struct Case {
    std::uint8_t spc;
    std::uint32_t perRecord;
    std::uint32_t expected;
  };
  for (Case k : {Case{8, 0xF6, 2}, Case{4, 1, 4}, Case{2, 3, 6}}) {
    Crafted c;
    c.ntfsBoot(0, k.spc, k.perRecord, 4, 100);
    c.fileRecord(4u * k.spc);
    c.fileRecord(100u * k.spc);
    c.select("NTFS", 0, 1999);
    ASSERT_EQ(validatePartition(c.t.session, c.t.scan), 1) << int(k.spc);
    EXPECT_EQ(c.t.scan.volume.mftRecordSectors, k.expected);
    EXPECT_EQ(c.t.scan.volume.mftStart, 4u * k.spc);
    EXPECT_EQ(c.t.scan.volume.indexBufferSectors, 8u);
    EXPECT_EQ(c.t.scan.volume.cluster0Sector, 0u);
  }
  Crafted bad;
  bad.ntfsBoot(0, 4, 3, 4, 100);  // 12 sectors per record
  bad.fileRecord(16);
  bad.select("NTFS", 0, 1999);
  EXPECT_EQ(validatePartition(bad.t.session, bad.t.scan), 0);
}

TEST(ValidatePartition, NtfsWithAGarbledMirrorStillValidates) {
  Crafted c;
  c.ntfsBoot(0, 8, 0xF6, 4, 200);
  c.fileRecord(32);
  c.select("NTFS", 0, 1999);
  ASSERT_EQ(validatePartition(c.t.session, c.t.scan), 1);
  EXPECT_EQ(c.t.scan.volume.mftStart, 32u);
  EXPECT_EQ(c.t.scan.volume.mftMirrorStart, 0u);
}

TEST(ValidatePartition, NtfsUsesTheBackupCopyAtTheLastSector) {
  Crafted c;
  c.ntfsBoot(0, 3, 0xF6, 4, 100);   // impossible sectors per cluster
  c.ntfsBoot(1999, 8, 0xF6, 4, 100);
  c.fileRecord(32);
  c.fileRecord(800);
  c.select("NTFS", 0, 1999);
  ASSERT_EQ(validatePartition(c.t.session, c.t.scan), 1);
  EXPECT_EQ(c.t.scan.volume.sectorsPerCluster, 8u);
  EXPECT_EQ(c.t.scan.volume.mftStart, 32u);
  EXPECT_EQ(c.t.scan.volume.mftMirrorStart, 800u);
}

TEST(CalculatePartitionParameters, DerivesTheClusterSizeFromTwoDirectories) {
  Crafted c;
  c.sector(100 + 3)[0] = 0xF8;  // FAT at +3 and at +6: the last one wins
  c.sector(100 + 3)[1] = 0xFF;
  c.sector(100 + 6)[0] = 0xF8;
  c.sector(100 + 6)[1] = 0xFF;
  c.directory(1000, 5);
  c.directory(1032, 9);
  c.select("FAT16", 100, 2047);
  ASSERT_EQ(calculatePartitionParameters(c.t.session, c.t.scan.volume), 1);
  const auto& v = c.t.scan.volume;
  EXPECT_EQ(v.sectorsPerCluster, 8u);
  EXPECT_EQ(v.cluster0Sector, 960u);
  EXPECT_EQ(v.reservedSectors, 6u);
  EXPECT_EQ(v.rootDirSectors, 32u);
  // d - spc*(c-2) - reserved - first - 32 = 1000 - 24 - 6 - 100 - 32 = 838, halved.
  EXPECT_EQ(v.fatSectors, 419u);
  EXPECT_EQ(v.fat1Start, 106u);
  EXPECT_EQ(v.rootDirStart, 106u + 2 * 419);
  EXPECT_EQ(c.t.report.lastStatus(), "Calculating Partition Params...");
}

TEST(CalculatePartitionParameters, FailsWithoutAMatchingPair) {
  Crafted c;
  c.directory(1000, 5);
  c.directory(1030, 9);  // 30 sectors for 4 clusters is no cluster size
  c.select("FAT16", 100, 2047);
  EXPECT_EQ(calculatePartitionParameters(c.t.session, c.t.scan.volume), 0);
  c.select("NTFS", 100, 2047);
  EXPECT_EQ(calculatePartitionParameters(c.t.session, c.t.scan.volume), 0);
}

// ------------------------------------------------------------ real volumes

struct SfdiskPartition {
  std::uint64_t start, size;
};

std::vector<SfdiskPartition> sfdiskPartitions(const std::string& image) {
  std::string json = test::run("sfdisk --json '" + image + "'");
  std::vector<SfdiskPartition> out;
  std::regex entry(R"re("start":\s*(\d+),\s*"size":\s*(\d+),\s*"type":\s*"(\w+)")re");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), entry); it != std::sregex_iterator(); ++it) {
    if ((*it)[3] == "5") continue;  // the extended partition itself
    out.push_back({std::stoull((*it)[1]), std::stoull((*it)[2])});
  }
  return out;
}

// The layout mtools reads from a FAT boot sector.
struct MinfoLayout {
  unsigned spc, reserved, fatSectors, rootSlots;
};

MinfoLayout minfo(const std::string& image, std::uint64_t start) {
  std::string out = test::run("minfo -i '" + image + "@@" + std::to_string(start * 512) + "' 2>/dev/null");
  auto number = [&](const std::string& label) {
    std::smatch m;
    std::regex re(label + R"([:=]\s*(\d+))");
    return std::regex_search(out, m, re) ? static_cast<unsigned>(std::stoul(m[1])) : 0u;
  };
  unsigned fat = number("sectors per fat");
  if (fat == 0) fat = number("Big fatlen");
  return {number("cluster size"), number("reserved \\(boot\\) sectors"), fat,
          number("max available root directory slots")};
}

std::vector<std::pair<std::string, VolumeParameters>> listAndValidate(test::TestSession& t) {
  TreeModel tree;
  tree.insert(kNoItem, "Disk 0", 1, 1);
  walkPartitionTable(t.session, tree, 0);
  std::vector<std::pair<std::string, VolumeParameters>> out;
  const auto& list = t.session.partitionLists[0];
  for (int i = 0; i < list.count; ++i) {
    const auto& e = list.entries[static_cast<std::size_t>(i)];
    t.session.partitionSelection.fileSystem = list.fileSystems[static_cast<std::size_t>(i)];
    t.session.partitionSelection.firstSector = e.startSector;
    t.session.partitionSelection.lastSector = e.endSector - 1;
    t.scan.volume = {};
    EXPECT_EQ(validatePartition(t.session, t.scan), 1) << "partition " << i + 1;
    out.emplace_back(fileSystemName(list.fileSystems[static_cast<std::size_t>(i)]), t.scan.volume);
  }
  return out;
}

TEST(RealVolumes, ListingMatchesSfdiskAndEachLayoutMatchesItsBootSector) {
  const std::string image = test::imagePath("mbr_fat");
  auto expected = sfdiskPartitions(image);
  ASSERT_EQ(expected.size(), 3u);
  test::TestSession t(image);
  auto volumes = listAndValidate(t);
  ASSERT_EQ(volumes.size(), 3u);
  const auto& list = t.session.partitionLists[0];
  const char* names[] = {"FAT32", "FAT16", "FAT32"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(fileSystemName(list.fileSystems[i]), names[i]);
    EXPECT_EQ(list.entries[i].startSector, expected[i].start);
    EXPECT_EQ(list.entries[i].endSector, expected[i].start + expected[i].size);

    const auto& v = volumes[i].second;
    MinfoLayout m = minfo(image, expected[i].start);
    const auto first = static_cast<std::uint32_t>(expected[i].start);
    EXPECT_EQ(v.sectorsPerCluster, m.spc);
    EXPECT_EQ(v.reservedSectors, m.reserved);
    EXPECT_EQ(v.fatSectors, m.fatSectors);
    EXPECT_EQ(v.fat1Start, first + m.reserved);
    EXPECT_EQ(v.fat2Start, first + m.reserved + m.fatSectors);
    const std::uint32_t rootSectors = i == 1 ? m.rootSlots / 16 : 0;
    EXPECT_EQ(v.rootDirSectors, rootSectors);
    EXPECT_EQ(v.cluster0Sector, first + m.reserved + 2 * m.fatSectors + rootSectors - 2 * m.spc);
    if (i == 1) EXPECT_EQ(v.rootDirStart, first + m.reserved + 2 * m.fatSectors);
    else EXPECT_EQ(v.rootDirStart, 2u);
  }
}

TEST(RealVolumes, Fat32WithAWipedBootSectorValidatesFromItsBackup) {
  const std::string image = test::imagePath("mbr_fat");
  auto patched = std::make_shared<test::PatchedDevice>(platform::FileDevice::open(image));
  test::TestSession reference(image);
  auto expected = listAndValidate(reference);
  patched->zero(2048);
  test::TestSession t(patched);
  auto volumes = listAndValidate(t);
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_EQ(volumes[0].second.cluster0Sector, expected[0].second.cluster0Sector);
  EXPECT_EQ(volumes[0].second.fatSectors, expected[0].second.fatSectors);
  EXPECT_EQ(volumes[0].second.rootDirStart, 2u);
}

TEST(RealVolumes, Fat16WithoutABootSectorGetsItsLayoutFromItsDirectories) {
  const std::string image = test::imagePath("mbr_fat");
  const std::uint64_t first = 74096, last = 114095;
  MinfoLayout m = minfo(image, first);
  auto patched = std::make_shared<test::PatchedDevice>(platform::FileDevice::open(image));
  patched->zero(first);
  test::TestSession t(patched);
  t.session.partitionSelection.fileSystem = FileSystem::Fat16;
  t.session.partitionSelection.firstSector = first;
  t.session.partitionSelection.lastSector = last;
  EXPECT_EQ(validatePartition(t.session, t.scan), 0);
  ASSERT_EQ(calculatePartitionParameters(t.session, t.scan.volume), 1);
  const auto& v = t.scan.volume;
  EXPECT_EQ(v.sectorsPerCluster, m.spc);
  EXPECT_EQ(v.cluster0Sector, first + m.reserved + 2 * m.fatSectors + m.rootSlots / 16 - 2 * m.spc);
  EXPECT_EQ(v.reservedSectors, m.reserved);
  EXPECT_EQ(v.fatSectors, m.fatSectors);
  EXPECT_EQ(v.rootDirStart, first + m.reserved + 2 * m.fatSectors);
}

TEST(RealVolumes, NtfsWithAnImpossibleClusterSizeValidatesFromTheBackupAtTheLastSector) {
  const std::string image = test::imagePath("ntfs_disk");
  const std::uint64_t first = 2048, last = 2048 + 40960 - 1;
  // The facts of the volume as ntfs-3g's own tool reports them.
  test::TempDir dir;
  test::run("dd if='" + image + "' of='" + dir.file("vol.img") +
            "' bs=512 skip=2048 count=40960 status=none");
  std::string info = test::run("ntfsinfo -m '" + dir.file("vol.img") + "' 2>/dev/null");
  auto number = [&](const std::string& label) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(info, m, std::regex(label + R"(:\s*(\d+))"))) << label;
    return static_cast<std::uint32_t>(std::stoul(m[1]));
  };
  const std::uint32_t spc = number("Cluster Size") / 512;
  const std::uint32_t mftLcn = number("LCN of Data Attribute for FILE_MFT");
  const std::uint32_t mirrorLcn = number("LCN of Data Attribute for File_MFTMirr");
  const std::uint32_t recordSectors = number("MFT Record Size") / 512;
  const std::uint32_t indexSectors = number("Index Block Size") / 512;

  auto patched = std::make_shared<test::PatchedDevice>(platform::FileDevice::open(image));
  patched->patchByte(first, 0x0D, 3);
  test::TestSession t(patched);
  t.session.partitionSelection.fileSystem = FileSystem::Ntfs;
  t.session.partitionSelection.firstSector = first;
  t.session.partitionSelection.lastSector = last;
  ASSERT_EQ(validatePartition(t.session, t.scan), 1);
  const auto& v = t.scan.volume;
  EXPECT_EQ(v.sectorsPerCluster, spc);
  EXPECT_EQ(v.mftStart, first + mftLcn * spc);
  EXPECT_EQ(v.mftMirrorStart, first + mirrorLcn * spc);
  EXPECT_EQ(v.mftRecordSectors, recordSectors);
  EXPECT_EQ(v.indexBufferSectors, indexSectors);
  EXPECT_EQ(v.cluster0Sector, first);
}

}  // namespace
}  // namespace tessaly

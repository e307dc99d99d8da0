#include "ntfs/run_list.h"

#include <gtest/gtest.h>

#include "ntfs/mft_record.h"
#include "ntfs/ntfs_builders.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::MemoryDevice;
using test::Bytes;
using test::RecordBuilder;

using Runs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // (start, length)

Runs runsOf(const RunTable& table) {
  Runs out;
  for (std::size_t i = 0; i < table.size(); ++i) out.emplace_back(table.start(i), table.length(i));
  return out;
}

Runs decode(const Bytes& pairs, std::uint32_t partitionStart = 1000, std::uint32_t spc = 8,
            bool* complete = nullptr) {
  RunTable table;
  const bool done = decodeRunList(pairs, partitionStart, spc, table);
  if (complete) *complete = done;
  return runsOf(table);
}

// ------------------------------------------------------------------ decoding

TEST(RunListDecoding, OffsetsAreSignedAndRelativeToThePreviousRealRun) {
  bool complete = false;
  // 4 clusters at 16, then 2 clusters one cluster before them (offset FF = -1).
  EXPECT_EQ(decode({0x11, 0x04, 0x10, 0x11, 0x02, 0xFF, 0x00}, 1000, 8, &complete),
            (Runs{{1000 + 128, 32}, {1000 + 120, 16}}));
  EXPECT_TRUE(complete);
  // A two-byte negative offset: 0x1000 then -0x0100.
  EXPECT_EQ(decode({0x21, 0x01, 0x00, 0x10, 0x21, 0x01, 0x00, 0xFF, 0x00}, 0, 1),
            (Runs{{0x1000, 1}, {0x0F00, 1}}));
}

TEST(RunListDecoding, ASparseRunKeepsStartZeroAndTheNextIsPlacedFromTheRunBeforeIt) {
  EXPECT_EQ(decode({0x11, 0x04, 0x10, 0x01, 0x03, 0x11, 0x02, 0x05, 0x00}),
            (Runs{{1000 + 128, 32}, {0, 24}, {1000 + 168, 16}}));
  // A leading sparse run: the first real run is still absolute.
  EXPECT_EQ(decode({0x01, 0x02, 0x11, 0x01, 0x07, 0x00}), (Runs{{0, 16}, {1000 + 56, 8}}));
}

TEST(RunListDecoding, FieldsUpToEightBytesKeepTheirLowFourBytes) {
  // Length 0x1_00000002 clusters and offset 0x1_00000010: the high halves drop out.
  EXPECT_EQ(decode({0x88, 0x02, 0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0x00}, 1000, 1),
            (Runs{{1000 + 0x10, 2}}));
  // An eight-byte -1 is still negative.
  EXPECT_EQ(decode({0x11, 0x01, 0x10, 0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                    0x00},
                   0, 1),
            (Runs{{0x10, 1}, {0x0F, 1}}));
}

TEST(RunListDecoding, MalformedListsEndWithoutReadingPastThem) {
  bool complete = true;
  // A nine-byte length field is refused.
  EXPECT_TRUE(decode({0x11, 0x01, 0x10, 0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0x00}, 0, 1, &complete)
                  .size() == 1);
  EXPECT_FALSE(complete);
  // Fields that would run past the attribute's end, and a list without its 0 byte.
  EXPECT_TRUE(decode({0x21, 0x01}, 0, 1, &complete).empty());
  EXPECT_FALSE(complete);
  EXPECT_EQ(decode({0x11, 0x01, 0x10}, 0, 1, &complete).size(), 1u);
  EXPECT_FALSE(complete);
}

// ------------------------------------------------------------------ the table

TEST(RunTableBounds, GrowthFollowsTheMemoryLimitAndTheCountStaysBounded) {
  // The first 1024 entries refused: a fixed table of 2000.
  RunTable fixed(1000);
  for (std::uint32_t i = 0; i < 2000; ++i) ASSERT_TRUE(fixed.append(i, 1)) << i;
  EXPECT_FALSE(fixed.append(1, 1));
  EXPECT_TRUE(fixed.exhausted());
  EXPECT_EQ(fixed.size(), 2000u);

  // Room for exactly 1024 entries: the growth after them fails.
  RunTable tight(1024 * 8);
  for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_TRUE(tight.append(i, 1));
  EXPECT_FALSE(tight.append(1, 1));

  RunTable unlimited;
  for (std::size_t i = 0; i < RunTable::kMaxRuns; ++i) ASSERT_TRUE(unlimited.append(1, 1));
  EXPECT_FALSE(unlimited.append(1, 1));
  unlimited.clear();
  EXPECT_TRUE(unlimited.empty());
  EXPECT_FALSE(unlimited.exhausted());

  // Decoding into a full table stops there.
  RunTable two(std::numeric_limits<std::size_t>::max(), 2);
  EXPECT_FALSE(decodeRunList(Bytes{0x11, 1, 1, 0x11, 1, 1, 0x11, 1, 1, 0}, 0, 1, two));
  EXPECT_EQ(two.size(), 2u);
}

TEST(SectorOfRecord, WalksTheRunsAndGivesZeroPastTheEnd) {
  RunTable runs;
  runs.append(500, 16);  // records 0 … 7
  runs.append(900, 3);   // record 8, and the first half of record 9
  runs.append(0, 4);     // sparse: counted from 0
  runs.append(2000, 8);
  EXPECT_EQ(sectorOfRecord(runs, 0), 500u);
  EXPECT_EQ(sectorOfRecord(runs, 7), 514u);
  EXPECT_EQ(sectorOfRecord(runs, 8), 900u);
  EXPECT_EQ(sectorOfRecord(runs, 9), 902u);  // odd run: the record's first sector is its last
  EXPECT_EQ(sectorOfRecord(runs, 10), 1u);
  EXPECT_EQ(sectorOfRecord(runs, 11), 3u);
  EXPECT_EQ(sectorOfRecord(runs, 12), 2000u + 1);
  EXPECT_EQ(sectorOfRecord(runs, 15), 2000u + 7);  // the last run's last sector
  EXPECT_EQ(sectorOfRecord(runs, 16), 0u);  // 2 × 16 = 32 of 31 sectors: past the last run
  EXPECT_EQ(sectorOfRecord(runs, 0xFFFFFFFF), 0u);
  EXPECT_EQ(sectorOfRecord(RunTable{}, 0), 0u);
}

// ------------------------------------------------------------------ crafted volumes

// A volume at sector 64 with 2-sector clusters. The $MFT lies at cluster 8 (sector 80,
// records 0 … 31) and cluster 100 (sector 264, records 32 … 39).
struct CraftedVolume {
  static constexpr std::uint32_t kStart = 64;
  static constexpr std::uint32_t kSpc = 2;
  static constexpr std::uint32_t kMftSector = kStart + 8 * kSpc;
  std::shared_ptr<MemoryDevice> disk = std::make_shared<MemoryDevice>(4096);
  test::TestSession t{disk};

  CraftedVolume() {
    t.scan.workingVolume.cluster0Sector = kStart;
    t.scan.workingVolume.sectorsPerCluster = kSpc;
    RecordBuilder root(3);
    root.fileName(5, 3, u".");
    put(5, root);
  }
  static std::uint32_t cluster(std::uint32_t lcn) { return kStart + lcn * kSpc; }
  std::uint32_t recordSector(std::uint32_t n) const {
    return n < 32 ? kMftSector + 2 * n : cluster(100) + 2 * (n - 32);
  }
  void putAt(std::uint32_t sector, const RecordBuilder& b) {
    auto bytes = b.protectedBytes();
    std::copy(bytes.begin(), bytes.end(), disk->bytes().begin() + static_cast<long>(sector) * 512);
  }
  void put(std::uint32_t n, const RecordBuilder& b) { putAt(recordSector(n), b); }
  // Record 0 with the two runs of the $MFT and, optionally, an attribute list.
  void mftRecord(const std::vector<test::ListEntry>& list = {}) {
    RecordBuilder b;
    b.standardInfo(0, 0, 0);
    if (!list.empty()) b.resident(mft::kTypeAttributeList, test::attributeListContent(list));
    b.fileName(5, 3, u"$MFT");
    b.nonResident(mft::kTypeData, {0x11, 32, 8, 0x11, 8, 92}, 40 * 1024);
    put(0, b);
  }
  void build() { buildMftRunList(t.session, t.scan, kStart, kMftSector, kSpc); }
};

TEST(MftRunList, WithoutAnAttributeListTheRunsAreThoseOfRecordZero) {
  CraftedVolume v;
  v.mftRecord();
  v.build();
  EXPECT_EQ(runsOf(v.t.scan.mftRuns),
            (Runs{{CraftedVolume::kMftSector, 64}, {CraftedVolume::cluster(100), 16}}));
  EXPECT_EQ(sectorOfRecord(v.t.scan.mftRuns, 0), CraftedVolume::kMftSector);
  EXPECT_EQ(sectorOfRecord(v.t.scan.mftRuns, 33), CraftedVolume::cluster(100) + 2);
}

TEST(MftRunList, ADamagedRootRecordOrRecordZeroLeavesTheTableEmpty) {
  CraftedVolume v;
  v.mftRecord();
  v.t.scan.mftRuns.append(1, 1);  // left from an earlier scan
  v.disk->bytes()[std::size_t{v.recordSector(5)} * 512] = 'X';
  v.build();
  EXPECT_TRUE(v.t.scan.mftRuns.empty());

  CraftedVolume w;
  w.disk->bytes()[std::size_t{w.recordSector(0)} * 512] = 'X';
  w.build();
  EXPECT_TRUE(w.t.scan.mftRuns.empty());
}

TEST(MftRunList, ADamagedRecordZeroIsReadFromTheMirrorAndRepeatedRunsAreCut) {
  // Record 0 zeroed, its copy in $MFTMirr at cluster 200.
  CraftedVolume v;
  v.mftRecord();
  const std::uint32_t mirror = CraftedVolume::cluster(200);
  std::copy_n(v.disk->bytes().begin() + std::size_t{v.recordSector(0)} * 512, 1024,
              v.disk->bytes().begin() + std::size_t{mirror} * 512);
  std::fill_n(v.disk->bytes().begin() + std::size_t{v.recordSector(0)} * 512, 1024, 0);
  EXPECT_EQ(buildMftRunList(v.t.session, v.t.scan, CraftedVolume::kStart, CraftedVolume::kMftSector,
                            CraftedVolume::kSpc, mirror),
            MftSource::Mirror);
  EXPECT_EQ(runsOf(v.t.scan.mftRuns),
            (Runs{{CraftedVolume::kMftSector, 64}, {CraftedVolume::cluster(100), 16}}));
  // Without a mirror the $MFT is lost.
  EXPECT_EQ(buildMftRunList(v.t.session, v.t.scan, CraftedVolume::kStart, CraftedVolume::kMftSector,
                            CraftedVolume::kSpc, 0),
            MftSource::Lost);

  // A second run over the clusters of the first: the list ends before it, with a note.
  CraftedVolume w;
  w.t.session.partitionSelection.firstSector = CraftedVolume::kStart;
  w.t.session.partitionSelection.lastSector = 4095;
  RecordBuilder b;
  b.fileName(5, 3, u"$MFT");
  b.nonResident(mft::kTypeData, {0x11, 32, 8, 0x11, 32, 0}, 40 * 1024);
  w.put(0, b);
  EXPECT_EQ(buildMftRunList(w.t.session, w.t.scan, CraftedVolume::kStart, CraftedVolume::kMftSector,
                            CraftedVolume::kSpc),
            MftSource::Own);
  EXPECT_EQ(runsOf(w.t.scan.mftRuns), (Runs{{CraftedVolume::kMftSector, 64}}));
  EXPECT_EQ(w.t.scan.notes.size(), 1u);
}

TEST(MftRunList, ExtensionRecordsAddTheirRunsEachStartingAbsolute) {
  CraftedVolume v;
  v.mftRecord({{0x10, 0}, {0x30, 0}, {0x80, 0}, {0x80, 33}, {0xB0, 0}});
  RecordBuilder extension;
  extension.nonResident(mft::kTypeData, {0x21, 4, 0x90, 0x00, 0x00}, 0);  // 4 clusters at 0x90
  v.put(33, extension);
  v.build();
  EXPECT_EQ(runsOf(v.t.scan.mftRuns),
            (Runs{{CraftedVolume::kMftSector, 64},
                  {CraftedVolume::cluster(100), 16},
                  {CraftedVolume::cluster(0x90), 8}}));
  EXPECT_EQ(sectorOfRecord(v.t.scan.mftRuns, 40), CraftedVolume::cluster(0x90));

  // A segment the runs so far cannot place ends the walk with what was decoded.
  CraftedVolume w;
  w.mftRecord({{0x80, 0}, {0x80, 500}, {0x80, 33}});
  w.put(33, extension);
  w.build();
  EXPECT_EQ(w.t.scan.mftRuns.size(), 2u);
}

// A file record (number 30) with a non-resident attribute list at cluster 300 whose
// $DATA is spread over records 30 and 31. One $DATA entry of the list straddles the
// list's first sector end, and a stale entry lies past the list's real size.
struct FragmentedFile : CraftedVolume {
  FragmentedFile() {
    mftRecord();
    build();
    std::vector<test::ListEntry> entries{{0x80, 50, u"abcde"}};  // named: 40 bytes
    for (int i = 0; i < 13; ++i) entries.push_back({0x30, 30});
    entries.push_back({0x80, 30});
    entries.push_back({0x80, 31});  // bytes 488 … 520
    entries.push_back({0x80, 31});  // repeated
    entries.push_back({0x80, 32, u"ads"});
    Bytes list = test::attributeListContent(entries);
    const std::size_t realSize = list.size();
    Bytes stale = test::attributeListContent({{0x80, 99}});
    list.insert(list.end(), stale.begin(), stale.end());
    std::copy(list.begin(), list.end(), disk->bytes().begin() + std::size_t{cluster(300)} * 512);

    RecordBuilder base;
    base.standardInfo(0, 0, 0);
    base.nonResident(mft::kTypeAttributeList, {0x21, 1, 0x2C, 0x01}, realSize);  // cluster 300
    base.fileName(5, 1, u"big.bin");
    base.nonResident(mft::kTypeData, {0x11, 2, 0x50}, 0, u"ads");  // named, ahead
    base.nonResident(mft::kTypeData, {0x21, 4, 0xE8, 0x03}, 10 * 1024);  // 4 at cluster 1000
    put(30, base);
    RecordBuilder extension;
    // 6 clusters at 0x578, then 1 cluster two before them.
    extension.nonResident(mft::kTypeData, {0x21, 6, 0x78, 0x05, 0x11, 1, 0xFE, 0x00}, 0);
    put(31, extension);
  }
};

TEST(DataRunList, SegmentsOfANonResidentListAreFollowedInOrder) {
  FragmentedFile f;
  EXPECT_EQ(collectSegments(f.t.session, f.t.scan.workingVolume, f.recordSector(30), mft::kTypeData),
            (std::vector<std::uint32_t>{30, 31}));
  EXPECT_TRUE(collectSegments(f.t.session, f.t.scan.workingVolume, f.recordSector(5), mft::kTypeData).empty());

  RunTable table;
  table.append(7, 7);  // a caller's table is emptied first
  buildDataRunList(f.t.session, f.t.scan.mftRuns, CraftedVolume::kStart, f.recordSector(30), CraftedVolume::kSpc,
                   table);
  EXPECT_EQ(runsOf(table), (Runs{{CraftedVolume::cluster(1000), 8},
                                 {CraftedVolume::cluster(0x578), 12},
                                 {CraftedVolume::cluster(0x576), 2}}));

  // Without the $MFT's runs the segments cannot be found: nothing is decoded.
  f.t.scan.mftRuns.clear();
  buildDataRunList(f.t.session, f.t.scan.mftRuns, CraftedVolume::kStart, f.recordSector(30), CraftedVolume::kSpc,
                   table);
  EXPECT_TRUE(table.empty());
}

TEST(DataRunList, ARecordWithoutAListGivesTheRunsOfItsUnnamedData) {
  CraftedVolume v;
  RecordBuilder file;
  file.fileName(5, 1, u"a.bin");
  file.nonResident(mft::kTypeData, {0x11, 2, 0x50}, 0, u"ads");
  file.nonResident(mft::kTypeData, {0x11, 4, 0x40, 0x01, 3, 0x11, 1, 0xF0, 0x00}, 8 * 1024);
  v.put(20, file);
  RunTable table;
  buildDataRunList(v.t.session, v.t.scan.mftRuns, CraftedVolume::kStart, v.recordSector(20), CraftedVolume::kSpc,
                   table);
  EXPECT_EQ(runsOf(table), (Runs{{CraftedVolume::cluster(0x40), 8},
                                 {0, 6},
                                 {CraftedVolume::cluster(0x30), 2}}));

  RecordBuilder resident;
  resident.fileName(5, 1, u"small.txt");
  resident.resident(mft::kTypeData, Bytes(64, 'x'));
  v.put(21, resident);
  buildDataRunList(v.t.session, v.t.scan.mftRuns, CraftedVolume::kStart, v.recordSector(21), CraftedVolume::kSpc,
                   table);
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace tessaly

// The Advanced NTFS engine on bytes and on the ntfs_files image: the spill file, the
// sweep's sector tests, the geometry rule, numbering by position, and a stopped sweep.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ntfs/mft_resolution.h"
#include "ntfs/mft_sweep.h"
#include "ntfs/spill_file.h"
#include "ntfs_builders.h"
#include "recovery/advanced_scan.h"
#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

SpillRecord sample(std::uint32_t sector, std::uint32_t self = 0, bool folder = false) {
  SpillRecord r;
  r.name = "report.doc";
  r.sector = sector;
  r.parentMft = 64;
  r.date = 0x01D5'1234'5678'9ABCull;
  r.size = 5'000'000'000ull;  // beyond 32 bits
  r.folder = folder;
  r.selfMft = self;
  r.firstRun = folder ? 77 : 0;
  r.deleted = true;
  return r;
}

TEST(SpillFile, RecordsKeepEveryFieldAndSelfMftIsRewrittenInPlace) {
  test::TempDir dir;
  SpillFile spill;
  ASSERT_TRUE(spill.create(dir.path()));
  EXPECT_EQ(spill.path(), dir.file("TempInfo1.dat"));
  SpillRecord longName = sample(300);
  longName.name.clear();
  for (int i = 0; i < 200; ++i) longName.name += "\xC3\xA9";  // 400 bytes of "é"
  for (const SpillRecord& r : {sample(100), sample(200, 0, true), longName}) ASSERT_TRUE(spill.append(r));
  ASSERT_TRUE(spill.flush());
  EXPECT_EQ(fs::file_size(spill.path()), 3u * 325u);

  const SpillBytes bytes = encodeSpillRecord(sample(100));
  EXPECT_EQ(bytes[0], '<');
  EXPECT_EQ(bytes[324], '>');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[301]), 4), "File");
  EXPECT_EQ(bytes[274], '0');

  EXPECT_EQ(spill.read(0), sample(100));
  EXPECT_EQ(spill.read(1), sample(200, 0, true));
  const auto cut = spill.read(2);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->name.size(), 254u);  // whole characters within the 255-byte field
  ASSERT_TRUE(spill.updateSelfMft(1, 4242));
  spill.close();
  EXPECT_EQ(spill.read(1)->selfMft, 4242u);  // reopened
  EXPECT_EQ(spill.read(0)->selfMft, 0u);

  // A file cut short, or a record whose markers are gone, is no record.
  spill.close();
  fs::resize_file(spill.path(), 2 * 325 + 100);
  EXPECT_FALSE(spill.read(2));
  EXPECT_TRUE(spill.read(1));
  std::vector<std::uint8_t> damaged(bytes.begin(), bytes.end());
  damaged[266] = 'x';
  EXPECT_FALSE(decodeSpillRecord(damaged));
}

TEST(SpillFile, AWriteThatFailsEndsTheFileAtTheRecordsWritten) {
  test::TempDir dir;
  SpillFile spill;
  ASSERT_TRUE(spill.create(dir.path()));
  // The file may grow to 300 records: writes beyond fail (EFBIG) instead of signalling.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old;
  limit.rlim_cur = 300 * 325;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::size_t appended = 0;
  while (appended < 1000 && spill.append(sample(static_cast<std::uint32_t>(appended)))) ++appended;
  const bool flushed = spill.flush();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previous);
  EXPECT_LT(appended, 1000u);
  EXPECT_FALSE(flushed && appended == 1000);
  // Only whole batches that reached the file count; each of them reads back.
  EXPECT_LE(spill.count(), 300u);
  EXPECT_GT(spill.count(), 0u);
  ASSERT_TRUE(spill.read(spill.count() - 1));
  EXPECT_EQ(spill.read(spill.count() - 1)->sector, spill.count() - 1);
  EXPECT_FALSE(spill.read(spill.count()));
}

TEST(SpillFile, ALockedFileGivesTheNameWithTheNextDigitAndAStaleOneIsReplaced) {
  test::TempDir dir;
  std::ofstream(dir.file("TempInfo1.dat")) << "stale";
  {
    SpillFile spill;
    ASSERT_TRUE(spill.create(dir.path()));
    EXPECT_EQ(spill.path(), dir.file("TempInfo1.dat"));
    EXPECT_EQ(fs::file_size(spill.path()), 0u);
    // While this scan holds it, another gets the next name.
    SpillFile other;
    ASSERT_TRUE(other.create(dir.path()));
    EXPECT_EQ(other.path(), dir.file("TempInfo2.dat"));
  }
  // Ten names held: no spill file.
  std::vector<int> held;
  for (char d = '1'; d <= '9' + 1; ++d) {
    const std::string name = dir.file(std::string("TempInfo") + d + ".dat");
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    held.push_back(fd);
  }
  SpillFile none;
  EXPECT_FALSE(none.create(dir.path()));
  for (int fd : held) ::close(fd);
}

TEST(MftSweepSectors, OnlyWholeRecordsAndOwnedIndexBlocksAreKept) {
  test::Bytes sector(512, 0);
  std::copy_n("FILE", 4, sector.begin());
  put16le(sector, 28, 1024);
  EXPECT_TRUE(isSweptFileRecord(sector));
  put16le(sector, 28, 4096);  // a record of another size
  EXPECT_FALSE(isSweptFileRecord(sector));
  put16le(sector, 28, 1024);
  sector[510] = 0x55;
  sector[511] = 0xAA;  // a boot sector is never a record
  EXPECT_FALSE(isSweptFileRecord(sector));

  // An index block's owner is the parent of its first entry (at 24 + 40 + 16).
  test::Bytes block(4096, 0);
  std::copy_n("INDX", 4, block.begin());
  put32le(block, 24, 40);
  put32le(block, 28, 4096 - 24);
  put32le(block, 32, 4096 - 24);
  put64le(block, 16, 3);
  for (std::uint32_t owner : {0u, 4u, 0xFFFFFFFFu}) {
    put32le(block, 24 + 40 + 16, owner);
    EXPECT_FALSE(indexBlockRow(block, 700)) << owner;
  }
  put32le(block, 24 + 40 + 16, 5);
  EXPECT_EQ(indexBlockRow(block, 700), (IndexBlockRow{700, 5, 3, kIndexUnmatched}));
  put32le(block, 32, 20);  // too short to hold its first entry
  EXPECT_FALSE(indexBlockRow(block, 700));

  test::Bytes boot(512, 0);
  std::copy_n("NTFS", 4, boot.begin() + 3);
  boot[13] = 8;
  put32le(boot, 40, 8191);
  put32le(boot, 48, 4);
  put32le(boot, 56, 500);
  put32le(boot, 68, 244);
  EXPECT_FALSE(ntfsBootCandidate(boot, 2048));  // no 55 AA
  boot[510] = 0x55;
  boot[511] = 0xAA;
  EXPECT_EQ(ntfsBootCandidate(boot, 2048), (NtfsBootCandidate{2048, 8, 8, 8191, 4, 500}));
  put32le(boot, 68, 2);
  EXPECT_EQ(ntfsBootCandidate(boot, 2048)->indexBlockSectors, 16u);
}

TEST(MftSweepSectors, RecordsAreNumberedBySystemNameIndexRootOrOwnHeader) {
  auto parsed = [](test::RecordBuilder& b) { return parseSweptRecord(b.bytes(), 900); };
  test::RecordBuilder mftFile;
  mftFile.fileName(5, mft::kNamespaceWin32AndDos, u"$MFT");
  EXPECT_EQ(parsed(mftFile).selfMft, 1u);
  test::RecordBuilder lower;
  lower.fileName(5, mft::kNamespaceWin32AndDos, u"$mft");
  EXPECT_EQ(parsed(lower).selfMft, 0u);
  test::RecordBuilder upcase;
  upcase.fileName(5, mft::kNamespaceWin32AndDos, u"$UpCase");
  EXPECT_EQ(parsed(upcase).selfMft, 10u);

  // A deleted directory whose index root holds only its end entry: no number from it,
  // but the record's header carries one; the POSIX name is taken when it is the only one.
  test::RecordBuilder folder(mft::kStateDeletedDirectory);
  folder.standardInfo(1, 222, 3);
  folder.fileName(64, mft::kNamespacePosix, u"Trip", 111);
  folder.indexRoot(67, u"");
  SpillRecord r = parsed(folder);
  EXPECT_EQ(r.name, "Trip");
  EXPECT_EQ(r.parentMft, 64u);
  EXPECT_EQ(r.date, 222u);  // the modification time
  EXPECT_TRUE(r.folder);
  EXPECT_TRUE(r.deleted);
  EXPECT_EQ(r.selfMft, 0u);
  put32le(folder.raw(), 44, 67);
  EXPECT_EQ(parsed(folder).selfMft, 67u);
  // A directory whose index root names a child gives the child's parent as its number.
  test::RecordBuilder named(mft::kStateDirectory);
  named.fileName(5, mft::kNamespaceWin32, u"Docs");
  named.indexRoot(88, u"a.txt");
  EXPECT_EQ(parsed(named).selfMft, 88u);
}

TEST(MftResolution, TheGeometryComesFromTwoFirstIndexBlocks) {
  // First index blocks 16 sectors apart, first runs 2 clusters apart: 8 sectors per
  // cluster, and the volume starts where cluster 0 of either would lie.
  EXPECT_EQ(geometryFromIndexBlocks(2048 + 8 * 30, 30, 2048 + 8 * 28, 28), (IndexGeometry{8, 2048}));
  EXPECT_EQ(geometryFromIndexBlocks(2048 + 8 * 28, 28, 2048 + 8 * 30, 30), (IndexGeometry{8, 2048}));
  EXPECT_EQ(geometryFromIndexBlocks(1000, 30, 994, 28), IndexGeometry{});  // quotient 3
  EXPECT_EQ(geometryFromIndexBlocks(1000, 30, 1000, 28), IndexGeometry{});  // quotient 0
  EXPECT_EQ(geometryFromIndexBlocks(1000, 30, 984, 30), IndexGeometry{});  // the same run
  EXPECT_EQ(geometryFromIndexBlocks(100, 30, 84, 28), IndexGeometry{});    // before sector 0
}

TEST(MftResolution, RecordsWithoutANumberAreNumberedByPosition) {
  test::TempDir dir;
  test::TestSession t(std::make_shared<platform::MemoryDevice>(std::size_t{64}));
  t.session.scratchFolder = dir.path();
  t.session.partitionSelection.lastSector = 64;
  ASSERT_TRUE(t.scan.spillFile.create(dir.path()));
  // No number, no number, 40, no number, a folder without a number.
  for (std::uint32_t self : {0u, 0u, 40u, 0u}) ASSERT_TRUE(t.scan.spillFile.append(sample(10, self)));
  ASSERT_TRUE(t.scan.spillFile.append(sample(12, 0, true)));
  resolveMftReferences(t.session, t.scan);
  std::vector<std::uint32_t> numbers;
  for (std::size_t k = 0; k < 5; ++k) numbers.push_back(t.scan.spillFile.read(k)->selfMft);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{2, 3, 40, 41, 42}));
  // No boot sector and one directory: no file system; the tables hold "Lost" alone.
  EXPECT_TRUE(t.scan.fileSystems.empty());
  ASSERT_EQ(t.scan.folderEntries.size(), 1u);
  EXPECT_EQ(t.scan.folderEntries[0].name, "Lost");
}

TEST(AdvancedNtfsSearch, AStopDuringTheSweepKeepsWhatWasFoundAndGoesOn) {
  const test::Manifest manifest(test::manifestPath("ntfs_files"));
  auto run = [&](bool stop, std::size_t& records) {
    test::TempDir dir;
    test::TestSession t(test::imagePath("ntfs_files"));
    t.session.scratchFolder = dir.path();
    PartitionSelection& sel = t.session.partitionSelection;
    sel.fileSystem = FileSystem::Ntfs;
    sel.firstSector = manifest.partitionStart();
    sel.lastSector = manifest.volume.lastSector;
    // Stop once the first chunk's records are counted.
    if (stop)
      t.report.setListener([&](const test::RecordingReport::Event& e) {
        if (e.kind == test::RecordingReport::Event::Counter && e.counter == Counter::FoldersFound && e.value > 0)
          t.scan.stopRequested = true;
      });
    EXPECT_EQ(runAdvancedNtfsSearch(t.session, t.scan), ScanEnd::Finished);
    records = t.scan.spillFile.count();
    const std::size_t boots = t.scan.bootCandidates.size();
    EXPECT_EQ(t.scan.fileSystems.size(), 1u);
    if (!t.scan.fileSystems.empty()) {
      EXPECT_EQ(t.scan.fileSystems[0].sectorsPerCluster, 8u);
    }
    return boots;
  };
  std::size_t all = 0, kept = 0;
  // The whole sweep meets the boot sector and its copy at the volume's end; the stopped
  // one only the first, and every record of the $MFT, which lies in its first chunk, but
  // not the four copies in $MFTMirr further on.
  EXPECT_EQ(run(false, all), 2u);
  EXPECT_EQ(run(true, kept), 1u);
  EXPECT_GT(kept, 120u);
  EXPECT_EQ(kept + 4, all);
}

}  // namespace
}  // namespace tessaly

#include "disk/sector_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <numeric>

#include "disk/sector_list.h"
#include "platform/device_batch.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using platform::FaultyDevice;
using platform::MemoryDevice;
using test::TestSession;

// A disk of 200 sectors; every byte of sector n is n & 0xFF.
std::shared_ptr<MemoryDevice> numberedDisk() {
  auto disk = std::make_shared<MemoryDevice>(200);
  for (std::size_t n = 0; n < 200; ++n)
    std::fill_n(disk->bytes().begin() + static_cast<long>(n * 512), 512, static_cast<std::uint8_t>(n));
  return disk;
}

struct ReaderFixture : ::testing::Test {
  std::shared_ptr<FaultyDevice> disk = std::make_shared<FaultyDevice>(numberedDisk());
  TestSession t{disk};
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(100 * 512, 0xEE);

  ReadStatus read(std::uint64_t first, std::uint32_t count) {
    last = readDiskSectors(t.session, first, count, buffer);
    return last.status;
  }
  ReadResult last;
  std::vector<std::size_t> lengths() const {
    std::vector<std::size_t> out;
    for (auto& r : disk->requests()) out.push_back(r.length);
    return out;
  }
  std::uint8_t sectorByte(std::size_t indexInBuffer) const { return buffer[indexInBuffer * 512 + 7]; }
};

TEST_F(ReaderFixture, SplitsRequestsIntoChunksOfFortyAndATail) {
  EXPECT_EQ(read(10, 40), ReadStatus::Ok);
  EXPECT_EQ(lengths(), (std::vector<std::size_t>{20480}));
  EXPECT_EQ(sectorByte(0), 10);
  EXPECT_EQ(sectorByte(39), 49);

  disk->clearRequests();
  EXPECT_EQ(read(10, 41), ReadStatus::Ok);
  EXPECT_EQ(lengths(), (std::vector<std::size_t>{20480, 512}));
  EXPECT_EQ(disk->requests()[1].offset, 50u * 512);
  EXPECT_EQ(sectorByte(40), 50);

  disk->clearRequests();
  EXPECT_EQ(read(0, 80), ReadStatus::Ok);
  EXPECT_EQ(lengths(), (std::vector<std::size_t>{20480, 20480}));

  disk->clearRequests();
  EXPECT_EQ(read(0, 100), ReadStatus::Ok);
  EXPECT_EQ(lengths(), (std::vector<std::size_t>{20480, 20480, 10240}));
  EXPECT_EQ(sectorByte(99), 99);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 0);
}

TEST_F(ReaderFixture, FailingChunkIsReadAgainSectorBySectorAfterRetry) {
  disk->failSector(5);
  t.dialogs.badSectorAnswers = {BadSectorAnswer::Retry};
  // Chunk 0 fails; its retry leaves sector 5 unread, and the result says so.
  EXPECT_EQ(read(0, 100), ReadStatus::SectorsSkipped);
  EXPECT_EQ(last.skipped, (std::vector<SectorRange>{{5, 1}}));
  auto requests = disk->requests();
  ASSERT_EQ(requests.size(), 1u + 40u + 1u + 1u);
  EXPECT_EQ(requests[0].length, 20480u);
  EXPECT_FALSE(requests[0].ok);
  for (std::size_t j = 0; j < 40; ++j) {
    EXPECT_EQ(requests[1 + j].offset, j * 512);
    EXPECT_EQ(requests[1 + j].length, 512u);
  }
  EXPECT_EQ(requests[41].offset, 40u * 512);
  EXPECT_EQ(requests[41].length, 20480u);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 1);
  // The good sectors of the failed chunk arrived; the bad one kept the old bytes.
  EXPECT_EQ(sectorByte(4), 4);
  EXPECT_EQ(sectorByte(5), 0xEE);
  EXPECT_EQ(sectorByte(6), 6);
}

TEST_F(ReaderFixture, ResultListsTheSkippedRangesOfEveryChunkAndTheTail) {
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  disk->failSector(10);  // an early chunk
  disk->failSector(90);  // the tail
  EXPECT_EQ(read(0, 100), ReadStatus::SectorsSkipped);
  EXPECT_EQ(last.skipped, (std::vector<SectorRange>{{0, 40}, {80, 20}}));
  EXPECT_EQ(t.dialogs.badSectorPrompts, 0);
}

TEST_F(ReaderFixture, SkipAllFailsWithoutPromptAndLeavesTheRange) {
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  disk->failSector(3);
  EXPECT_EQ(read(0, 10), ReadStatus::SectorsSkipped);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 0);
  EXPECT_EQ(disk->requests().size(), 1u);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(sectorByte(i), 0xEE);
}

TEST_F(ReaderFixture, RetryAndSkipAskAgainWhileTheAllAnswersSilenceThePrompt) {
  disk->failSector(0);
  t.dialogs.badSectorAnswers = {BadSectorAnswer::Retry, BadSectorAnswer::Skip, BadSectorAnswer::RetryAll};
  read(0, 1);
  read(0, 1);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 2);
  EXPECT_EQ(t.session.badSectorPolicy.load(), BadSectorAnswer::Skip);
  read(0, 1);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 3);
  EXPECT_EQ(t.session.badSectorPolicy.load(), BadSectorAnswer::RetryAll);
  disk->clearRequests();
  read(0, 1);
  read(0, 1);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 3);
  // Retry All still reads the range again, one sector at a time.
  EXPECT_EQ(disk->requests().size(), 4u);
}

TEST_F(ReaderFixture, SkipAllChosenOnceHoldsForEveryLaterRead) {
  disk->failSector(2);
  t.dialogs.badSectorAnswers = {BadSectorAnswer::SkipAll};
  read(0, 5);
  read(0, 5);
  read(0, 100);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 1);
}

TEST_F(ReaderFixture, TailThatFailsIsStillReadSectorBySector) {
  t.session.badSectorPolicy = BadSectorAnswer::RetryAll;
  disk->failSector(85);
  EXPECT_EQ(read(0, 100), ReadStatus::SectorsSkipped);
  EXPECT_EQ(sectorByte(84), 84);
  EXPECT_EQ(sectorByte(85), 0xEE);
  EXPECT_EQ(sectorByte(86), 86);
}

TEST_F(ReaderFixture, DeviceThatCannotBeOpenedFailsAndClearsTheBuffer) {
  SectorReadRequest request;
  request.devicePath = platform::DeviceTable::physicalDriveName(3);
  request.sectorCount = 7;
  request.buffer = buffer;
  EXPECT_EQ(readSectors(t.session, request).status, ReadStatus::Failed);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[7 * 512 - 1], 0);
  EXPECT_EQ(buffer[7 * 512], 0xEE);
  EXPECT_TRUE(disk->requests().empty());
}

TEST_F(ReaderFixture, RemovedDeviceIsLostAtOnceWithoutThePrompt) {
  EXPECT_EQ(read(0, 1), ReadStatus::Ok);
  disk->breakDown(FaultyDevice::Breakdown::Removed);
  EXPECT_EQ(read(1, 5), ReadStatus::DeviceLost);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(t.dialogs.badSectorPrompts, 0);
  EXPECT_TRUE(t.session.deviceLost());
  // Later reads do not touch the device again.
  disk->clearRequests();
  EXPECT_EQ(read(0, 1), ReadStatus::DeviceLost);
  EXPECT_TRUE(disk->requests().empty());
}

TEST_F(ReaderFixture, ALostDeviceIsTriedAgainAfterTheWatchIsReset) {
  disk->breakDown(FaultyDevice::Breakdown::Removed);
  EXPECT_EQ(read(0, 1), ReadStatus::DeviceLost);
  disk->breakDown(FaultyDevice::Breakdown::None);  // plugged in again
  EXPECT_EQ(read(0, 1), ReadStatus::DeviceLost);
  t.session.deviceWatch.reset();
  EXPECT_EQ(read(0, 1), ReadStatus::Ok);
  EXPECT_FALSE(t.session.deviceLost());
}

TEST_F(ReaderFixture, DeviceFailingEveryReadIsLostOnceASectorThatReadBeforeFails) {
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  EXPECT_EQ(read(3, 1), ReadStatus::Ok);
  disk->breakDown(FaultyDevice::Breakdown::FailsEverything);
  for (int n = 1; n < DeviceWatch::kFailuresBeforeCheck; ++n)
    EXPECT_EQ(read(10 + static_cast<std::uint64_t>(n), 1), ReadStatus::SectorsSkipped) << n;
  EXPECT_FALSE(t.session.deviceLost());
  disk->clearRequests();
  EXPECT_EQ(read(50, 1), ReadStatus::DeviceLost);
  // The check read sector 3 again, which read before.
  ASSERT_EQ(disk->requests().size(), 2u);
  EXPECT_EQ(disk->requests()[1].offset, 3u * 512);
}

TEST_F(ReaderFixture, ARunOfBadSectorsIsNoLostDevice) {
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  EXPECT_EQ(read(3, 1), ReadStatus::Ok);
  for (std::uint64_t s = 10; s < 30; ++s) disk->failSector(s);
  for (std::uint64_t s = 10; s < 30; ++s) EXPECT_EQ(read(s, 1), ReadStatus::SectorsSkipped);
  EXPECT_FALSE(t.session.deviceLost());
  EXPECT_EQ(read(31, 1), ReadStatus::Ok);
}

TEST_F(ReaderFixture, FloppyEntryReadsTheFloppyWhateverTheDeviceName) {
  auto floppy = std::make_shared<MemoryDevice>(10);
  floppy->bytes()[512 * 3] = 0x42;
  t.devices.attach("\\\\.\\A:", floppy);
  t.session.selectedDiskName = "1.44\" Floppy";
  EXPECT_EQ(read(3, 1), ReadStatus::Ok);
  EXPECT_EQ(buffer[0], 0x42);
  EXPECT_TRUE(disk->requests().empty());
}

TEST_F(ReaderFixture, DisksBeyondTheTenSlotsCannotBeRead) {
  t.session.selectedDisk = 10;
  EXPECT_EQ(read(0, 1), ReadStatus::Failed);
  EXPECT_EQ(buffer[0], 0);
}

TEST_F(ReaderFixture, SectorListsReadBatchesAndABadSectorByThePolicy) {
  t.session.badSectorPolicy = BadSectorAnswer::SkipAll;
  disk->failSector(11);
  const std::vector<std::uint64_t> sectors{3, 10, 11, 12, 150};
  last = readSectorList(t.session, sectors, buffer);
  EXPECT_EQ(last.status, ReadStatus::SectorsSkipped);
  EXPECT_EQ(last.skipped, (std::vector<SectorRange>{{11, 1}}));
  EXPECT_EQ((std::vector<int>{sectorByte(0), sectorByte(1), sectorByte(2), sectorByte(3), sectorByte(4)}),
            (std::vector<int>{3, 10, 0, 12, 150}));
}

TEST(FileDevice, HolesOfASparseImageReadAsZerosAndPiecesInOneBatch) {
  test::TempDir dir;
  const std::string path = dir.file("sparse.img");
  std::ofstream(path, std::ios::binary).close();
  ASSERT_EQ(::truncate(path.c_str(), 64 << 20), 0);
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    for (std::uint64_t s : {40000ull, 40003ull, 100000ull}) {
      f.seekp(static_cast<std::streamoff>(s * 512));
      f << "sector " << s;
    }
  }
  auto device = platform::FileDevice::open(path);
  ASSERT_TRUE(device);
  const auto data = platform::dataFrom(*device, 0);
  ASSERT_TRUE(data.has_value());
  EXPECT_GT(data->start, 0u);  // the file begins with a hole ...
  EXPECT_LE(data->start, 40000u * 512);
  EXPECT_GT(data->end, 40003u * 512);  // ... and sector 40003 lies in its first data
  EXPECT_EQ(platform::dataFrom(*device, (64u << 20) - 512)->start, 64u << 20);  // no data after 100000

  TestSession t(path);
  std::vector<std::uint8_t> buffer(5 * 512, 0xEE);
  const std::vector<std::uint64_t> sectors{7, 40000, 40003, 70000, 100000};
  ASSERT_TRUE(readSectorList(t.session, sectors, buffer).ok());
  auto text = [&](std::size_t i) {
    const char* at = reinterpret_cast<const char*>(&buffer[i * 512]);
    return std::string(at, ::strnlen(at, 512));
  };
  EXPECT_EQ(text(1), "sector 40000");
  EXPECT_EQ(text(2), "sector 40003");
  EXPECT_EQ(text(4), "sector 100000");
  for (std::size_t i : {0u, 3u}) EXPECT_EQ(std::count(&buffer[i * 512], &buffer[i * 512 + 512], 0), 512) << i;
}

TEST(FileDevice, ReadsThroughTheWindowAndPastItsEdges) {
  test::TempDir dir;
  std::string path = dir.file("disk.img");
  std::vector<std::uint8_t> bytes(300 * 1024);
  std::iota(bytes.begin(), bytes.end(), 0);
  {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  auto device = platform::FileDevice::open(path);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->size(), bytes.size());
  std::vector<std::uint8_t> out(512);
  for (std::uint64_t offset : {0ull, 512ull, 130560ull, 131072ull - 256, 299ull * 1024}) {
    ASSERT_TRUE(device->read(offset, out)) << offset;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<long>(offset))) << offset;
  }
  std::vector<std::uint8_t> large(100 * 1024);
  ASSERT_TRUE(device->read(4096, large));
  EXPECT_TRUE(std::equal(large.begin(), large.end(), bytes.begin() + 4096));
  // Past the end: a failure, not a short read passed off as data.
  EXPECT_FALSE(device->read(bytes.size() - 256, out));
  EXPECT_FALSE(device->read(bytes.size() + 512, out));
  EXPECT_FALSE(platform::FileDevice::open(dir.file("missing.img")));
}

// The bytes and read calls this process has made so far (/proc/self/io).
std::pair<std::uint64_t, std::uint64_t> bytesAndReads() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0, bytes = 0, reads = 0;
  while (io >> key >> value) {
    if (key == "rchar:") bytes = value;
    if (key == "syscr:") reads = value;
  }
  return {bytes, reads};
}

TEST(FileDevice, AScatteredReadTakesItsPageAndAWalkGrowsToWholeWindows) {
  test::TempDir dir;
  const std::string path = dir.file("disk.img");
  std::vector<std::uint8_t> bytes(4 << 20);
  std::iota(bytes.begin(), bytes.end(), 0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  auto device = platform::FileDevice::open(path);
  ASSERT_TRUE(device);
  std::vector<std::uint8_t> out(512);
  if (bytesAndReads().first == 0) GTEST_SKIP() << "no /proc/self/io";

  // Directories all over the disk: each read fetches the page it lies in, no more (the
  // look at /proc/self/io reads a few hundred bytes itself).
  for (std::uint64_t offset : {1000448ull, 3000320ull, 200704ull, 2000384ull}) {
    const auto before = bytesAndReads();
    ASSERT_TRUE(device->read(offset, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<long>(offset)));
    EXPECT_LE(bytesAndReads().first - before.first, 4096u + 1024u) << offset;
  }
  // A sweep of every sector of 2 MiB: the windows double up to 128 KiB, so the walk
  // costs a few more reads than 2 MiB / 128 KiB, and reads each byte once.
  const auto before = bytesAndReads();
  for (std::uint64_t offset = 2u << 20; offset < (4u << 20); offset += 512) {
    ASSERT_TRUE(device->read(offset, out));
    ASSERT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + static_cast<long>(offset))) << offset;
  }
  const auto after = bytesAndReads();
  EXPECT_LE(after.second - before.second, 16u + 6u);
  EXPECT_LE(after.first - before.first, (2u << 20) + 4096u);
}

TEST(FileDevice, SaysItIsGoneOnceItsFileShrinksOrGoesAway) {
  test::TempDir dir;
  const std::string path = dir.file("disk.img");
  std::vector<std::uint8_t> bytes(64 * 1024, 7);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 64 * 1024);
  auto device = platform::FileDevice::open(path);
  ASSERT_TRUE(device);
  EXPECT_FALSE(device->gone());
  ::truncate(path.c_str(), 32 * 1024);
  EXPECT_TRUE(device->gone());

  auto other = platform::FileDevice::open(path);
  ASSERT_TRUE(other);
  EXPECT_FALSE(other->gone());
  ::unlink(path.c_str());
  EXPECT_TRUE(other->gone());
}

}  // namespace
}  // namespace tessaly

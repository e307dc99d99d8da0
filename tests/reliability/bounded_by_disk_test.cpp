// Damaged sizes never make a scan or a recovery walk sectors the disk does not have, nor
// save more than the volume holds: a range or partition past the disk's end is scanned up
// to the end (and says so), a $MFT whose runs leave the disk is refused, and a file whose
// size is beyond its volume is saved up to what the volume holds and reported truncated.
// Each case used to run for minutes or write gigabytes; each must end at once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "cli/commands.h"
#include "disk/le.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Far above what any of these takes when bounded, far below what the unbounded walks took.
constexpr auto kQuick = std::chrono::seconds(10);

struct CliRun {
  int code = -1;
  std::string out, err;
  std::uint64_t savedBytes = 0;
  std::map<std::string, std::uint64_t> sizes;  // of the saved files, by path below the destination
  Clock::duration took{};
};

// Runs `command` (partitions, scan or recover) in this process over `disk`; a recovery saves into a
// fresh folder whose files are measured.
CliRun runCli(const std::string& command, std::vector<std::string> args,
           const std::shared_ptr<platform::Device>& disk) {
  test::TempDir home, dest;
  platform::DeviceTable devices;
  devices.attach(platform::DeviceTable::physicalDriveName(0), disk);
  devices.attach(platform::DeviceTable::floppyName(), disk);
  if (command == "recover")
    for (std::string more : {"--out", dest.path().c_str(), "--replace", "yes-all"}) args.push_back(more);
  args.push_back("--quiet");
  ::setenv("TESSALY_HOME", home.path().c_str(), 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  CliRun r;
  const auto start = Clock::now();
  r.code = command == "scan"         ? cli::scanCommand(args, devices)
           : command == "partitions" ? cli::partitionsCommand(args, devices)
                                     : cli::recoverCommand(args, devices);
  r.took = Clock::now() - start;
  r.out = testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  ::unsetenv("TESSALY_HOME");
  for (const auto& entry : fs::recursive_directory_iterator(dest.path()))
    if (entry.is_regular_file()) {
      r.sizes[fs::relative(entry.path(), dest.path()).string()] = entry.file_size();
      r.savedBytes += entry.file_size();
    }
  return r;
}

std::shared_ptr<test::PatchedDevice> patched(const std::string& image) {
  return std::make_shared<test::PatchedDevice>(platform::FileDevice::open(image));
}

void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putU64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The first partition-table entry's length set to `sectors`.
void setFirstPartitionLength(test::PatchedDevice& disk, std::uint32_t start, std::uint32_t sectors) {
  auto mbr = disk.sector(0);
  putU32(mbr, 446 + 8, start);
  putU32(mbr, 446 + 12, sectors);
  disk.patch(0, mbr);
}

// The unnamed non-resident $DATA attribute of the NTFS record at `sector`, when it lies
// whole in the record's first sector (before its update sequence number): its offset.
std::optional<std::size_t> dataAttribute(const std::vector<std::uint8_t>& record) {
  if (!std::equal(record.begin(), record.begin() + 4, "FILE")) return std::nullopt;
  std::size_t at = u16le(record, 20);
  while (at + 72 <= 508) {
    const std::uint32_t type = u32le(record, at), length = u32le(record, at + 4);
    if (type == 0xFFFFFFFF || length < 16) return std::nullopt;
    if (type == 0x80 && record[at + 8] == 1 && record[at + 9] == 0)
      return at + length <= 508 ? std::optional(at) : std::nullopt;
    at += length;
  }
  return std::nullopt;
}

TEST(BoundedByTheDisk, ARangePastTheEndOfTheDiskIsScannedUpToTheEndAndSaysSo) {
  const std::string image = test::imagePath("fat_disk");
  const auto disk = patched(image);
  const CliRun clipped = runCli("scan", {image, "--range", "2048", "4294967295", "--fs", "FAT16"}, disk);
  EXPECT_EQ(clipped.code, 0) << clipped.err;
  EXPECT_LT(clipped.took, kQuick);
  EXPECT_NE(clipped.err.find("past the end of the disk (112640 sectors): it is scanned up to sector 112639"),
            std::string::npos)
      << clipped.err;
  // The volume at its start is listed as a scan of its partition lists it.
  const CliRun partition = runCli("scan", {image, "--partition", "1"}, disk);
  ASSERT_EQ(partition.code, 0) << partition.err;
  const auto listing = [](const std::string& out) { return out.substr(out.find('\n')); };
  EXPECT_EQ(listing(clipped.out), listing(partition.out));

  // The Advanced search of the same range sweeps up to the end and finds the volumes.
  const CliRun advanced = runCli(
      "scan", {image, "--range", "2048", "4294967295", "--fs", "FAT16", "--mode", "advanced"}, disk);
  EXPECT_LT(advanced.took, kQuick);
  EXPECT_NE(advanced.err.find("past the end of the disk"), std::string::npos) << advanced.err;

  // A range that begins past the end has nothing to scan.
  const CliRun beyond = runCli("scan", {image, "--range", "200000", "4294967295", "--fs", "FAT16"}, disk);
  EXPECT_NE(beyond.code, 0);
  EXPECT_NE(beyond.err.find("begins at sector 200000, past the end of the disk"), std::string::npos)
      << beyond.err;
}

TEST(BoundedByTheDisk, APartitionThatStartsPastTheEndIsListedButNotSearchedForItsParameters) {
  const std::string image = test::imagePath("fat_disk");
  const auto disk = patched(image);
  // Far past the disk's 112640 sectors, and long: a parameter search of the entry's range
  // would try sector after sector for minutes.
  setFirstPartitionLength(*disk, 0x10000000, 0x7FFFFFFF);
  const CliRun r = runCli("partitions", {image}, disk);
  EXPECT_LT(r.took, kQuick);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("starts past the end of the disk: nothing to scan"), std::string::npos) << r.out;
}

TEST(BoundedByTheDisk, APartitionPastTheEndWithAHugeMftRunIsClippedAndTheMftRefused) {
  const std::string image = test::imagePath("ntfs_files");
  const auto disk = patched(image);
  const std::uint32_t first = u32le(disk->sector(0), 446 + 8);
  const auto boot = disk->sector(first);
  const std::uint64_t mft = first + u64le(boot, 0x30) * boot[0x0D];
  // The partition claims 2^31 - 1 sectors; the $MFT's one run 0xFFFFFF clusters, which
  // that partition could hold but the disk cannot.
  setFirstPartitionLength(*disk, first, 0x7FFFFFFF);
  auto record = disk->sector(mft);
  const auto data = dataAttribute(record);
  ASSERT_TRUE(data);
  const std::size_t pairs = *data + u16le(record, *data + 32);
  const std::vector<std::uint8_t> run{0x31, 0xFF, 0xFF, 0xFF, record[pairs + 2], 0x00};
  ASSERT_EQ(record[pairs], 0x11) << "the $MFT's run list is not one short run";
  std::copy(run.begin(), run.end(), record.begin() + static_cast<long>(pairs));
  disk->patch(mft, record);

  const CliRun r = runCli("recover", {image, "--partition", "1"}, disk);
  EXPECT_LT(r.took, kQuick);
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("past the end of the disk"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("MFT of this volume could not be read"), std::string::npos) << r.err;
  EXPECT_EQ(r.savedBytes, 0u);
}

TEST(BoundedByTheDisk, AFatFileLargerThanItsVolumeIsSavedUpToWhatTheVolumeHoldsAndReportedTruncated) {
  const std::string image = test::imagePath("fat_floppy");
  const std::uint64_t imageBytes = fs::file_size(image);
  for (const std::uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(size);
    const auto disk = patched(image);
    const auto boot = disk->sector(0);
    const std::uint64_t root = u16le(boot, 14) + std::uint64_t{boot[16]} * u16le(boot, 22);
    // The first deleted file of the root folder claims `size` bytes.
    auto entries = disk->sector(root);
    std::size_t at = 0;
    while (at < 512 && !(entries[at] == 0xE5 && entries[at + 11] == 0x20)) at += 32;
    ASSERT_LT(at, 512u);
    putU32(entries, at + 28, size);
    disk->patch(root, entries);

    const CliRun r = runCli("recover", {image, "--floppy"}, disk);
    EXPECT_LT(r.took, kQuick);
    EXPECT_EQ(r.code, 3) << r.out << r.err;
    std::uint64_t largest = 0;
    for (const auto& [path, bytes] : r.sizes) largest = std::max(largest, bytes);
    EXPECT_LE(largest, imageBytes);
    const std::string truncated = "(its size, " + std::to_string(size) + " bytes, is more than the volume holds";
    EXPECT_NE(r.out.find("  truncated: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(truncated), std::string::npos) << r.out;
  }
}

TEST(BoundedByTheDisk, AnNtfsFileLargerThanItsVolumeIsSavedUpToWhatTheVolumeHoldsAndReportedTruncated) {
  const std::string image = test::imagePath("ntfs_files");
  const auto disk = patched(image);
  const std::uint32_t first = u32le(disk->sector(0), 446 + 8);
  const std::uint64_t volumeBytes = (std::uint64_t{u32le(disk->sector(0), 446 + 12)}) * 512;
  const auto boot = disk->sector(first);
  const std::uint64_t mft = first + u64le(boot, 0x30) * boot[0x0D];
  // Every user file (deleted ones too) with a non-resident $DATA: 2^40 bytes in one sparse run of 2^29 - 1
  // clusters (sparse runs hold zeros, so nothing of it is read from the disk).
  int patchedRecords = 0;
  for (std::uint64_t n = 64; n < 200; ++n) {
    auto record = disk->sector(mft + 2 * n);
    const auto data = dataAttribute(record);
    if (!data) continue;
    const std::size_t pairs = *data + u16le(record, *data + 32);
    if (pairs + 6 > *data + u32le(record, *data + 4)) continue;
    putU64(record, *data + 40, std::uint64_t{1} << 40);  // allocated
    putU64(record, *data + 48, std::uint64_t{1} << 40);  // real
    putU64(record, *data + 56, std::uint64_t{1} << 40);  // initialized
    const std::vector<std::uint8_t> sparse{0x04, 0xFF, 0xFF, 0xFF, 0x1F, 0x00};
    std::copy(sparse.begin(), sparse.end(), record.begin() + static_cast<long>(pairs));
    disk->patch(mft + 2 * n, record);
    ++patchedRecords;
  }
  ASSERT_GT(patchedRecords, 0);

  const CliRun r = runCli("recover", {image, "--partition", "1"}, disk);
  EXPECT_LT(r.took, kQuick);
  EXPECT_EQ(r.code, 3) << r.out << r.err;
  EXPECT_NE(r.out.find("(its size, 1099511627776 bytes, is more than the volume holds"),
            std::string::npos)
      << r.out;
  std::uint64_t largest = 0;
  for (const auto& [path, bytes] : r.sizes) largest = std::max(largest, bytes);
  EXPECT_LE(largest, volumeBytes);
  EXPECT_GT(largest, 0u);
}

}  // namespace
}  // namespace tessaly

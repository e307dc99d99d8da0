// Bad sectors at each place the engines read: boot sectors, FATs, directories, MFT
// records, index blocks and file data. With the policy "skip all" every recovery ends by
// itself with an exit status; a sector of a file that cannot be read is saved as zeros
// (with "retry all" that sector alone, with "skip all" the whole read it was part of).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/commands.h"
#include "disk/le.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using platform::FaultyDevice;

struct Recovery {
  int code = -1;
  std::string err;
  std::map<std::string, std::vector<std::uint8_t>> files;  // by path below the destination
};

Recovery recover(const std::string& image, int partition, const std::vector<std::uint64_t>& bad,
                 const std::string& policy = "skip-all") {
  test::TempDir home, out;
  auto faulty = std::make_shared<FaultyDevice>(platform::FileDevice::open(image));
  for (auto sector : bad) faulty->failSector(sector);
  platform::DeviceTable devices;
  devices.attach(platform::DeviceTable::physicalDriveName(0), faulty);
  ::setenv("TESSALY_HOME", home.path().c_str(), 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Recovery r;
  r.code =
      cli::recoverCommand({image, "--partition", std::to_string(partition), "--out", out.path(),
                           "--quiet", "--bad-sectors", policy, "--replace", "yes-all"},
                          devices);
  (void)testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  ::unsetenv("TESSALY_HOME");
  for (const auto& entry : fs::recursive_directory_iterator(out.path()))
    if (entry.is_regular_file())
      r.files[fs::relative(entry.path(), out.path()).string()] =
          test::readFile(entry.path().string());
  return r;
}

std::vector<std::uint8_t> sectorOf(const std::vector<std::uint8_t>& disk, std::uint64_t n) {
  return {disk.begin() + static_cast<long>(n * 512),
          disk.begin() + static_cast<long>(n * 512 + 512)};
}

// The disk sector that holds bytes [512, 1024) of a recovered file: the sector after the
// one that holds its first 512 bytes (files are written whole in their first clusters).
std::optional<std::uint64_t> secondSectorOf(const std::vector<std::uint8_t>& disk,
                                            std::uint64_t first, std::uint64_t last,
                                            const std::vector<std::uint8_t>& file) {
  for (std::uint64_t n = first; n < last; ++n)
    if (std::equal(file.begin(), file.begin() + 1024, disk.begin() + static_cast<long>(n * 512)))
      return n + 1;
  return std::nullopt;
}

// A recovered file of at least three sectors whose bytes are not repeated elsewhere.
std::string largeFile(const Recovery& clean) {
  std::string best;
  for (const auto& [path, bytes] : clean.files)
    if (bytes.size() >= 1536 && (best.empty() || bytes.size() > clean.files.at(best).size()))
      best = path;
  return best;
}

void expectEndsCleanly(const Recovery& r, const Recovery& clean, std::uint64_t diskBytes) {
  EXPECT_TRUE(r.code == 0 || r.code == 1 || r.code == 3) << r.code << ": " << r.err;
  std::uint64_t total = 0;
  for (const auto& [path, bytes] : r.files) total += bytes.size();
  EXPECT_LE(total, diskBytes);
  EXPECT_LE(r.files.size(), clean.files.size() + 1);
}

// An unreadable sector inside a file's data: with "retry all" the file is saved whole
// but for zeros in that sector; with "skip all" the sector and perhaps its neighbours in
// the same read are zeros and every other byte is the file's. Other files are whole.
void expectFileDataHole(const std::string& image, int partition, std::uint64_t first,
                        std::uint64_t last) {
  const auto disk = test::readFile(image);
  const Recovery clean = recover(image, partition, {});
  ASSERT_EQ(clean.code, 0) << clean.err;
  const std::string victim = largeFile(clean);
  ASSERT_FALSE(victim.empty());
  const auto& original = clean.files.at(victim);
  const auto bad = secondSectorOf(disk, first, last, original);
  ASSERT_TRUE(bad) << victim << " not found on the disk";
  for (const std::string policy : {"retry-all", "skip-all"}) {
    SCOPED_TRACE(policy);
    const Recovery holed = recover(image, partition, {*bad}, policy);
    EXPECT_TRUE(holed.code == 0 || holed.code == 3) << holed.err;
    ASSERT_TRUE(holed.files.count(victim));
    const auto& saved = holed.files.at(victim);
    ASSERT_EQ(saved.size(), original.size());
    EXPECT_TRUE(
        std::all_of(saved.begin() + 512, saved.begin() + 1024, [](auto b) { return b == 0; }));
    if (policy == "retry-all") {
      EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + 512, original.begin()));
      EXPECT_TRUE(std::equal(saved.begin() + 1024, saved.end(), original.begin() + 1024));
    }
    for (std::size_t i = 0; i < saved.size(); ++i)
      if (saved[i] != original[i] && saved[i] != 0) {
        ADD_FAILURE() << victim << " differs at byte " << i;
        break;
      }
    for (const auto& [path, bytes] : clean.files)
      if (path != victim) {
        EXPECT_TRUE(holed.files.count(path) && holed.files.at(path) == bytes) << path;
      }
  }
}

TEST(BadSectors, FatStructuresThatCannotBeReadEndTheRecoveryCleanly) {
  const std::string image = test::imagePath("fat_disk");
  const auto disk = test::readFile(image);
  for (int partition : {1, 2}) {
    const std::uint64_t first = partition == 1 ? 2048 : 43008;
    SCOPED_TRACE(partition == 1 ? "FAT16" : "FAT32");
    const auto boot = sectorOf(disk, first);
    const std::uint64_t reserved = u16le(boot, 0x0E);
    const std::uint64_t fatSectors = partition == 1 ? u16le(boot, 0x16) : u32le(boot, 0x24);
    const std::uint64_t fat1 = first + reserved;
    const std::uint64_t dataStart = fat1 + 2 * fatSectors;
    // The root directory: after the FATs on FAT16, its cluster on FAT32.
    const std::uint64_t root =
        partition == 1 ? dataStart : dataStart + (u32le(boot, 0x2C) - 2) * boot[0x0D];
    const Recovery clean = recover(image, partition, {});
    ASSERT_EQ(clean.code, 0) << clean.err;
    for (const auto& [site, sectors] :
         std::vector<std::pair<std::string, std::vector<std::uint64_t>>>{
             {"boot sector", {first}},
             {"first FAT", {fat1, fat1 + 1}},
             {"both FATs", {fat1, fat1 + fatSectors}},
             {"root directory", {root}}}) {
      SCOPED_TRACE(site);
      expectEndsCleanly(recover(image, partition, sectors), clean, disk.size());
    }
  }
}

TEST(BadSectors, ASkippedSectorOfAFatFileIsSavedAsZeros) {
  expectFileDataHole(test::imagePath("fat_disk"), 1, 2048, 43008);
}

TEST(BadSectors, NtfsStructuresThatCannotBeReadEndTheRecoveryCleanly) {
  const std::string image = test::imagePath("ntfs_files");
  const auto disk = test::readFile(image);
  const std::uint64_t first = u32le(sectorOf(disk, 0), 446 + 8);
  const auto boot = sectorOf(disk, first);
  const std::uint64_t mft = first + u64le(boot, 0x30) * boot[0x0D];
  const Recovery clean = recover(image, 1, {});
  ASSERT_EQ(clean.code, 0) << clean.err;
  // The first index block after the MFT's start: the root folder's or another folder's.
  std::uint64_t index = 0;
  for (std::uint64_t n = first; n * 512 + 4 <= disk.size() && !index; ++n)
    if (std::equal(disk.begin() + static_cast<long>(n * 512),
                   disk.begin() + static_cast<long>(n * 512 + 4), "INDX"))
      index = n;
  ASSERT_NE(index, 0u);
  for (const auto& [site, sectors] :
       std::vector<std::pair<std::string, std::vector<std::uint64_t>>>{
           {"boot sector", {first}},
           {"$MFT's own record", {mft}},
           {"the records of the first files", {mft + 2 * 64, mft + 2 * 64 + 1, mft + 2 * 65}},
           {"an index block", {index}}}) {
    SCOPED_TRACE(site);
    expectEndsCleanly(recover(image, 1, sectors), clean, disk.size());
  }
}

TEST(BadSectors, ASkippedSectorOfAnNtfsFileIsSavedAsZeros) {
  const std::string image = test::imagePath("ntfs_files");
  const auto disk = test::readFile(image);
  const std::uint64_t first = u32le(sectorOf(disk, 0), 446 + 8);
  expectFileDataHole(image, 1, first, disk.size() / 512);
}

}  // namespace
}  // namespace tessaly

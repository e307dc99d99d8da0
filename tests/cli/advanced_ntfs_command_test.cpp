// tessaly-cli recover --mode advanced on damaged copies of the ntfs_files image: with the
// boot sector and its copy gone the volume is found from its index blocks; with the
// $MFT's first records overwritten the tree is rebuilt with "Lost". Either way every
// deleted file whose record and data survive is recovered byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct Damaged {
  test::TempDir dir;
  test::Manifest manifest{test::manifestPath("ntfs_files")};
  std::string image = dir.file("ntfs.img");
  std::vector<std::uint8_t> bytes;

  Damaged() {
    fs::copy_file(test::imagePath("ntfs_files"), image);
    bytes = test::readFile(image);
  }
  void fill(std::uint64_t sector, std::uint64_t count, std::uint8_t value) {
    std::fill_n(bytes.begin() + static_cast<long>(sector * 512), count * 512, value);
  }
  void write() const {
    std::ofstream(image, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string command(const std::string& verb, const std::string& extra = "") const {
    return "TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' " + verb + " '" +
           image + "' --partition 1 --mode advanced " + extra + " 2>&1 </dev/null";
  }
  // Every file recovered into out: its path below out and its SHA-256.
  std::map<std::string, std::string> recover(const std::string& out) const {
    const std::string output = test::run(command("recover", "--quiet --out '" + out + "'") + "; true");
    std::map<std::string, std::string> files;
    if (!fs::exists(out)) {
      ADD_FAILURE() << output;
      return files;
    }
    for (const auto& e : fs::recursive_directory_iterator(out))
      if (e.is_regular_file()) files[fs::relative(e.path(), out).string()] = test::sha256File(e.path().string());
    return files;
  }
  // The manifest's SHA-256 of a file ("Pictures/Trip/day1.jpg"), and a folder's record.
  std::string sha(const std::string& path) const {
    const test::Entry* e = manifest.find(path);
    return e ? e->sha : "not in the manifest: " + path;
  }
  std::uint32_t record(const std::string& path) const {
    const test::Entry* e = manifest.find(path);
    return e ? e->record : 0;
  }
};

TEST(AdvancedNtfsCommand, WithBothBootSectorsGoneTheVolumeIsFoundFromItsIndexBlocks) {
  Damaged d;
  std::size_t zeroed = 0;
  for (std::size_t s = 0; s < d.bytes.size() / 512; ++s) {
    const std::uint8_t* p = d.bytes.data() + s * 512;
    if (p[510] == 0x55 && p[511] == 0xAA && std::equal(p + 3, p + 7, "NTFS")) {
      d.fill(s, 1, 0);
      ++zeroed;
    }
  }
  ASSERT_EQ(zeroed, 2u);
  d.write();

  const std::string scan = test::run(d.command("scan") + "; true");
  EXPECT_NE(scan.find("1 file system found (0 boot sectors"), std::string::npos) << scan;
  EXPECT_NE(scan.find("* File System 1 - NTFS   cluster 0 at sector " + std::to_string(d.manifest.partitionStart()) +
                      ", 8 sectors per cluster, from its index blocks"),
            std::string::npos)
      << scan;

  const auto files = d.recover(d.dir.file("out"));
  for (const std::string path : {"Archive/filler.bin", "Projects/old.txt", "Projects/old big.dat",
                                 "Pictures/Trip/day1.jpg", "Pictures/Trip/Notes/note.txt"}) {
    const auto it = files.find(path);
    ASSERT_NE(it, files.end()) << path;
    EXPECT_EQ(it->second, d.sha(path)) << path;
  }
  // Only deleted files are recovered, each once.
  EXPECT_EQ(files.size(), 5u);
}

TEST(AdvancedNtfsCommand, WithTheFirstRecordsOverwrittenTheTreeIsRebuiltWithLost) {
  Damaged d;
  // Records 0 to 66 ($MFT … Pictures) overwritten: the root directory, Documents,
  // Letters and Pictures are gone, so the deleted folder Pictures/Trip has no parent.
  ASSERT_EQ(d.record("Pictures"), 66u);
  d.fill(d.manifest.recordSector(0), 2 * 67, 0xE5);
  d.write();

  const std::string scan = test::run(d.command("scan") + "; true");
  EXPECT_NE(scan.find("* File System 1 - NTFS   cluster 0 at sector " + std::to_string(d.manifest.partitionStart()) +
                      ", 8 sectors per cluster, boot sector at"),
            std::string::npos)
      << scan;

  const auto files = d.recover(d.dir.file("out"));
  const std::map<std::string, std::string> expected = {
      {"Archive/filler.bin", "Archive/filler.bin"},
      {"Projects/old.txt", "Projects/old.txt"},
      {"Projects/old big.dat", "Projects/old big.dat"},
      {"Lost/Trip/day1.jpg", "Pictures/Trip/day1.jpg"},
      {"Lost/Trip/Notes/note.txt", "Pictures/Trip/Notes/note.txt"}};
  for (const auto& [saved, original] : expected) {
    const auto it = files.find(saved);
    ASSERT_NE(it, files.end()) << saved;
    EXPECT_EQ(it->second, d.sha(original)) << saved;
  }
  EXPECT_EQ(files.size(), expected.size());
}

}  // namespace
}  // namespace tessaly

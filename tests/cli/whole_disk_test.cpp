// tessaly-cli on disks as people bring them: volumes without a table, a whole disk in one
// command, a disk whose table was zeroed (--search) and a GUID partition table; every
// recovered file checked byte for byte against what the tools wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct Cli {
  test::TempDir dir;
  std::string command(const std::string& args) const {
    return "TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' " + args +
           " 2>&1 </dev/null";
  }
  // Output and exit status.
  std::pair<std::string, int> call(const std::string& args) const {
    std::string output;
    FILE* pipe = ::popen(command(args).c_str(), "r");
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int raw = ::pclose(pipe);
    return {output, WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
  }
  // A copy of an image with bytes zeroed.
  std::string zeroedCopy(const std::string& image, std::uint64_t offset, std::uint64_t count) const {
    const std::string copy = dir.file(fs::path(image).filename().string());
    test::run("cp --sparse=always '" + image + "' '" + copy + "' && dd if=/dev/zero of='" + copy +
              "' bs=1 seek=" + std::to_string(offset) + " count=" + std::to_string(count) +
              " conv=notrunc status=none");
    return copy;
  }
};

// The hashes of the files under a folder, and of the deleted files of a manifest's volume:
// a recovery brings back exactly the deleted files.
std::vector<std::string> savedHashes(const std::string& folder) {
  std::vector<std::string> hashes;
  if (fs::exists(folder))
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file()) hashes.push_back(test::sha256File(entry.path().string()));
  std::sort(hashes.begin(), hashes.end());
  return hashes;
}
std::vector<std::string> deletedHashes(const std::string& image, const std::string& volume) {
  std::vector<std::string> hashes;
  for (const auto& f : test::entriesOf(test::loadManifest(test::manifestPath(image)), volume, "file"))
    if (f.deleted) hashes.push_back(f.sha256);
  std::sort(hashes.begin(), hashes.end());
  return hashes;
}

TEST(WholeDisk, VolumesWithoutATableAreListedScannedAndRecoveredWithoutOptions) {
  Cli cli;
  for (const auto& [image, volume, fsName] : {std::tuple{"bare_fat32", "fat32", "FAT32"},
                                              std::tuple{"bare_fat12", "stick", "FAT12"},
                                              std::tuple{"bare_ntfs", "ntfs", "NTFS"}}) {
    SCOPED_TRACE(image);
    const std::string path = test::imagePath(image);
    const auto [listing, listed] = cli.call("partitions '" + path + "'");
    EXPECT_EQ(listed, 0);
    EXPECT_NE(listing.find("1  Whole disk (" + std::string(fsName) + ")  start 0"), std::string::npos) << listing;
    EXPECT_NE(listing.find("no partition table"), std::string::npos) << listing;

    const std::string out = cli.dir.file(std::string("out-") + image);
    const auto [summary, status] = cli.call("recover '" + path + "' --out '" + out + "' --quiet");
    EXPECT_EQ(status, 0) << summary;
    EXPECT_EQ(savedHashes(out), deletedHashes(image, volume)) << summary;
  }
}

TEST(WholeDisk, FloppyNamedForAnotherVolumeFailsAndSaysHowToScanIt) {
  Cli cli;
  const auto [message, status] =
      cli.call("recover '" + test::imagePath("bare_fat32") + "' --floppy --out '" + cli.dir.file("o") + "'");
  EXPECT_EQ(status, 1);
  EXPECT_NE(message.find("this image holds a FAT32 volume, not a floppy: use --partition 1"), std::string::npos)
      << message;
  EXPECT_FALSE(fs::exists(cli.dir.file("o")));
}

TEST(WholeDisk, OneCommandRecoversEveryVolumeIntoItsOwnFolder) {
  Cli cli;
  const std::string image = test::imagePath("three_volumes");
  const std::string out = cli.dir.file("out");
  const auto [summary, status] = cli.call("recover '" + image + "' --out '" + out + "' --quiet");
  EXPECT_EQ(status, 0) << summary;
  EXPECT_EQ(savedHashes(out + "/1-FAT16"), deletedHashes("three_volumes", "fat16"));
  EXPECT_EQ(savedHashes(out + "/2-FAT32"), deletedHashes("three_volumes", "fat32"));
  EXPECT_EQ(savedHashes(out + "/3-NTFS"), deletedHashes("three_volumes", "ntfs"));
  EXPECT_NE(summary.find("Volume 2: Partition - 2 ( FAT32 ), sectors 43008 - 112639: Recovered"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("from 3 of 3 volumes"), std::string::npos) << summary;

  // scan prints each volume; --json carries one object per volume.
  const auto [json, scanned] = cli.call("scan '" + image + "' --json");
  EXPECT_EQ(scanned, 0);
  EXPECT_NE(json.find("\"volumes\":[{\"number\":1,\"label\":\"Partition - 1 ( FAT16 )\""), std::string::npos)
      << json.substr(0, 300);
  EXPECT_NE(json.find("{\"number\":3,\"label\":\"Partition - 3 ( NTFS )\""), std::string::npos);
}

TEST(WholeDisk, ASearchFindsTheVolumesOfAZeroedTableAndNumbersThemForRecovery) {
  Cli cli;
  // The table's four entries zeroed; the boot code and the signature kept.
  const std::string image = cli.zeroedCopy(test::imagePath("three_volumes"), 446, 64);
  EXPECT_NE(cli.call("partitions '" + image + "'").first.find("no partitions listed"), std::string::npos);
  const auto [listing, listed] = cli.call("partitions '" + image + "' --search");
  EXPECT_EQ(listed, 0);
  EXPECT_NE(listing.find("1  Partition - 1 ( FAT16 )  start 63  end 41022"), std::string::npos) << listing;
  EXPECT_NE(listing.find("2  Partition - 2 ( FAT32 )  start 43008"), std::string::npos) << listing;
  EXPECT_NE(listing.find("3  Partition - 3 ( NTFS )  start 112640"), std::string::npos) << listing;

  // Every volume found, the one at sector 63 and the two on 1 MiB boundaries, recovered.
  const std::string out = cli.dir.file("out");
  const auto [summary, status] = cli.call("recover '" + image + "' --search --out '" + out + "' --quiet");
  EXPECT_EQ(status, 0) << summary;
  EXPECT_EQ(savedHashes(out + "/1-FAT16"), deletedHashes("three_volumes", "fat16"));
  EXPECT_EQ(savedHashes(out + "/2-FAT32"), deletedHashes("three_volumes", "fat32"));
  EXPECT_EQ(savedHashes(out + "/3-NTFS"), deletedHashes("three_volumes", "ntfs"));
  // One of them by its number.
  const auto [one, oneStatus] = cli.call("recover '" + image + "' --search --partition 2 --out '" +
                                         cli.dir.file("two") + "' --quiet");
  EXPECT_EQ(oneStatus, 0) << one;
  EXPECT_EQ(savedHashes(cli.dir.file("two")), deletedHashes("three_volumes", "fat32"));
}

TEST(WholeDisk, AGuidPartitionTableIsRecoveredLikeAnMbrDiskAndFromItsBackupHeader) {
  Cli cli;
  // The primary header zeroed: the backup at the disk's last sector is read.
  const std::string image = cli.zeroedCopy(test::imagePath("gpt_disk"), 512, 512);
  const auto [listing, listed] = cli.call("partitions '" + image + "'");
  EXPECT_NE(listing.find("2  Partition - 2 ( NTFS )  start 73728  end 137215"), std::string::npos) << listing;
  const std::string out = cli.dir.file("out");
  const auto [summary, status] = cli.call("recover '" + image + "' --out '" + out + "' --quiet");
  EXPECT_EQ(status, 0) << summary;
  EXPECT_EQ(savedHashes(out + "/1-FAT32"), deletedHashes("gpt_disk", "fat32"));
  EXPECT_EQ(savedHashes(out + "/2-NTFS"), deletedHashes("gpt_disk", "ntfs"));
}

}  // namespace
}  // namespace tessaly

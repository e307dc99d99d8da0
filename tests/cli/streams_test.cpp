// Named streams and attribute lists on a volume written through ntfs-3g (streams_ntfs):
// listed by tessaly-cli scan, saved by tessaly-cli recover, checked byte for byte against
// what was written before the deletions.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class Streams : public ::testing::Test {
 protected:
  test::Manifest manifest{test::manifestPath("streams_ntfs")};
  test::TempDir dir;
  std::string image = test::imagePath("streams_ntfs");

  void SetUp() override {
    if (manifest.entries.empty())
      GTEST_SKIP() << "streams_ntfs was not built: ntfs-3g cannot mount here";
  }
  std::string cli(const std::string& args) const {
    return test::run("TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() +
                     "/tessaly-cli' " + args + " 2>/dev/null </dev/null");
  }
  std::string sha(const std::string& path) const { return manifest.find(path)->sha; }
  // Every file saved below `out`, by its path below it.
  static std::set<std::string> savedFiles(const std::string& out) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(out))
      if (e.is_regular_file()) files.insert(fs::relative(e.path(), out).string());
    return files;
  }
};

TEST_F(Streams, AreListedAfterTheirFileAndSavedBesideItOnlyWhenAskedFor) {
  const std::string scan = cli("scan '" + image + "' --partition 1");
  EXPECT_NE(scan.find("- mult1.dat  |  Deleted File  |  3000 bytes"), std::string::npos) << scan;
  EXPECT_NE(scan.find("- mult1.dat:ADS  |  Stream  |  1234 bytes"), std::string::npos) << scan;
  EXPECT_NE(scan.find("- mult1.dat:Zone.Identifier  |  Stream  |  26 bytes"), std::string::npos)
      << scan;

  const std::string plain = dir.file("plain");
  cli("recover '" + image + "' --partition 1 --out '" + plain + "'");
  EXPECT_EQ(test::sha256File(plain + "/mult1.dat"), sha("mult1.dat"));
  for (const std::string& f : savedFiles(plain))
    EXPECT_EQ(f.find("mult1.dat") == 0, f == "mult1.dat") << f;

  const std::string out = dir.file("streams");
  const std::string summary =
      cli("recover '" + image + "' --partition 1 --streams --out '" + out + "'");
  EXPECT_NE(summary.find("2 named streams saved beside their files\n"), std::string::npos)
      << summary;
  for (const char* path : {"mult1.dat", "mult1.dat:ADS", "mult1.dat:Zone.Identifier"})
    EXPECT_EQ(test::sha256File(out + "/" + path), sha(path)) << path;
}

// A destination mounted through ntfs-3g: a FUSE mount, which the save does not trust with
// ":" in names.
TEST_F(Streams, OnADestinationThatRefusesColonsAreSavedAsNameUnderscoreStream) {
  const std::string volume = dir.file("dest.img"), mount = dir.file("dest");
  test::run("truncate -s 8M '" + volume + "' && mkntfs -F -q -Q '" + volume +
            "' >/dev/null 2>&1; mkdir -p '" + mount + "'");
  if (test::run("ntfs-3g '" + volume + "' '" + mount + "' >/dev/null 2>&1 && echo mounted") !=
      "mounted\n")
    GTEST_SKIP() << "cannot mount an ntfs-3g destination here";
  struct Unmount {
    std::string mount;
    ~Unmount() { test::run("fusermount -u '" + mount + "' 2>/dev/null || umount '" + mount + "'"); }
  } unmount{mount};

  const std::string summary =
      cli("recover '" + image + "' --partition 1 --streams --out '" + mount + "/out'");
  EXPECT_NE(summary.find("as NAME_STREAM: the destination does not take ':' in names"),
            std::string::npos)
      << summary;
  EXPECT_EQ(test::sha256File(mount + "/out/mult1.dat_ADS"), sha("mult1.dat:ADS"));
  EXPECT_EQ(test::sha256File(mount + "/out/mult1.dat_Zone.Identifier"),
            sha("mult1.dat:Zone.Identifier"));
}

// ntfs-3g removes the last name of a deleted file that has an attribute list and drops
// its freed extension records from the list; the rest of its run list is in an extension
// record that still names the base record.
TEST_F(Streams, ADeletedFileSpreadOverSeveralRecordsIsSavedWholeUnderLostByItsRecordNumber) {
  const test::Entry* gone = manifest.find("frag-gone.bin");
  ASSERT_TRUE(gone);
  const std::string name = "Record " + std::to_string(gone->record);
  const std::string scan = cli("scan '" + image + "' --partition 1");
  EXPECT_NE(
      scan.find("- " + name + "  |  Deleted File  |  " + std::to_string(gone->size) + " bytes"),
      std::string::npos)
      << scan;
  const std::string out = dir.file("out");
  const std::string summary = cli("recover '" + image + "' --partition 1 --out '" + out + "'");
  EXPECT_EQ(test::sha256File(out + "/Lost/" + name), gone->sha) << summary;
  EXPECT_EQ(summary.find("incomplete"), std::string::npos) << summary;
}

}  // namespace
}  // namespace tessaly

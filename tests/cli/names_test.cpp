// Files as people name and store them, recovered by tessaly-cli from volumes the real
// tools wrote: names in several scripts on FAT (mtools) and NTFS (ntfs-3g, POSIX names
// alone), compressed NTFS files, and NTFS files whose folder's record went to another
// file or folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/manifest.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct Cli {
  test::TempDir dir;
  std::string run(const std::string& args) const {
    return test::run("TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() +
                     "/tessaly-cli' " + args + " 2>/dev/null </dev/null");
  }
};

// True when the text is valid UTF-8 (iconv refuses anything else).
bool validUtf8(const test::TempDir& dir, const std::string& text) {
  const std::string file = dir.file("text");
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return std::system(
             ("iconv -f UTF-8 -t UTF-8 '" + file + "' >'" + dir.file("iconv.out") + "' 2>&1")
                 .c_str()) == 0;
}

// "café.txt" and "report.bin" are 8.3 names mtools stores as a short entry alone (through
// the code page, with the lower-case flags): deleted, their first letter reads "_".
std::string listedFatName(const std::string& name) {
  if (name == "caf\u00e9.txt" || name == "report.bin") return "_" + name.substr(1);
  return name;
}

TEST(Names, FatNamesInEveryScriptAreListedAndRecoveredUnderThemByteForByte) {
  const test::ManifestFile manifest = test::loadManifest(test::manifestPath("names_fat"));
  const std::string image = test::imagePath("names_fat");
  int partition = 0;
  for (const char* volume : {"fat16", "fat32"}) {
    SCOPED_TRACE(volume);
    ++partition;
    Cli cli;
    const std::string json =
        cli.run("scan '" + image + "' --partition " + std::to_string(partition) + " --json");
    EXPECT_TRUE(validUtf8(cli.dir, json));
    const std::string out = cli.dir.file("out");
    cli.run("recover '" + image + "' --partition " + std::to_string(partition) + " --out '" + out +
            "' --quiet");
    int recovered = 0;
    for (const test::ManifestEntry& e : test::entriesOf(manifest, volume, "file")) {
      if (!e.deleted) continue;
      const std::string name = listedFatName(test::baseName(e.path));
      EXPECT_NE(json.find("\"name\":\"" + name + "\""), std::string::npos) << name << "\n" << json;
      const std::string saved = out + test::parentPath(e.path) + "/" + name;
      ASSERT_TRUE(fs::exists(saved)) << saved;
      EXPECT_EQ(test::sha256File(saved), e.sha256) << saved;
      ++recovered;
    }
    EXPECT_EQ(recovered, 9);
  }
}

TEST(Names, NtfsVolumeWrittenThroughLinuxGivesBackNamesCompressedFilesAndOrphans) {
  const test::Manifest manifest(test::manifestPath("names_ntfs"));
  if (manifest.entries.empty()) GTEST_SKIP() << "names_ntfs was not built: ntfs-3g cannot mount here";
  const std::string image = test::imagePath("names_ntfs");
  Cli cli;
  const std::string scan = cli.run("scan '" + image + "' --partition 1");
  EXPECT_NE(scan.find("2 orphaned files under Lost"), std::string::npos) << scan;
  const std::string json = cli.run("scan '" + image + "' --partition 1 --json");
  EXPECT_TRUE(validUtf8(cli.dir, json));
  EXPECT_NE(json.find("\"name\":\"\U0001F600 smile.txt\""), std::string::npos) << json;

  const std::string out = cli.dir.file("out");
  const std::string summary = cli.run("recover '" + image + "' --partition 1 --out '" + out + "'");
  int checked = 0;
  for (const test::Entry& e : manifest.entries) {
    if (e.folder || !e.deleted) continue;
    SCOPED_TRACE(e.path);
    // A file whose folder's record now holds another file or folder is filed under Lost.
    const bool orphan = e.path.starts_with("Gone");
    const std::string saved = out + "/" + (orphan ? "Lost/" + e.name() : e.path);
    ASSERT_TRUE(fs::exists(saved)) << summary;
    EXPECT_EQ(test::sha256File(saved), e.sha);
    ++checked;
  }
  EXPECT_EQ(checked, 9);
  // The folder that took Gone2's record holds nothing of the old folder.
  EXPECT_FALSE(fs::exists(out + "/Fresh/old.dat"));
}

}  // namespace
}  // namespace tessaly

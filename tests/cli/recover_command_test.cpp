// tessaly-cli recover as installed: the options reach the save, the summary tells what
// was written, and the exit status says whether everything could be.
#include <gtest/gtest.h>

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
  int status(const std::string& args) const {
    const int raw = std::system(command(args + " >/dev/null").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

TEST(RecoverCommand, ARangeWithOptionsSavesTheChosenFiles) {
  Cli cli;
  const std::string image = test::imagePath("fat_disk");
  const std::string out = cli.dir.file("out");
  // The FAT16 partition by its sectors, only the Documents folder, only .doc files.
  const std::string summary =
      test::run(cli.command("recover '" + image + "' --range 2048 43007 --fs FAT16 --out '" + out +
                            "' --folder Documents --ext doc --quiet"));
  EXPECT_NE(summary.find("Recovered 2 files (6600 bytes)"), std::string::npos) << summary;
  EXPECT_TRUE(fs::exists(out + "/Documents/A Very Long File Name For Testing Purposes.doc"));
  EXPECT_TRUE(fs::exists(out + "/Documents/Old Archive/_lan.doc"));
  EXPECT_FALSE(fs::exists(out + "/_OTES.TXT"));  // the root was not chosen

  // A second run answers "no to all" to every existing file: nothing is written.
  const std::string again = test::run(cli.command("recover '" + image + "' --range 2048 43007 --fs FAT16 --out '" +
                                                  out + "' --folder Documents --ext doc --replace no-all --quiet"));
  EXPECT_NE(again.find("Recovered 0 files"), std::string::npos) << again;
}

// FRAG.BIN was written into four holes between live files and deleted; HIFILE.BIN's entry
// lost the high word of its first cluster after deletion; LOWFILE.BIN and MOVED.BIN start
// below cluster 65536 (MOVED.BIN in a folder above it).
TEST(RecoverCommand, FreeClustersAndTheClearedHighWordBringBackWhatContiguousCannot) {
  Cli cli;
  const std::string image = test::imagePath("fat_methods");
  const auto manifest = test::loadManifest(test::manifestPath("fat_methods"));
  auto recover = [&](const std::string& range, const std::string& mode) {
    const std::string out = cli.dir.file(mode + range.substr(0, 5));
    const std::string summary = test::run(cli.command("recover '" + image + "' --range " + range + " --out '" + out +
                                                      "' --saving-mode " + mode + " --quiet"));
    return std::pair{out, summary};
  };
  const auto frag = test::entriesOf(manifest, "fat16", "file").at(0);
  for (const char* mode : {"free", "auto", "contiguous"}) {
    const auto [out, summary] = recover("2048 22527 --fs FAT16", mode);
    const bool guessedRight = std::string(mode) != "contiguous";
    EXPECT_EQ(test::sha256File(out + "/" + test::fatListedName("FRAG.BIN", true)) == frag.sha256, guessedRight)
        << mode;
    EXPECT_EQ(summary.find("free clusters (guessed)") != std::string::npos, guessedRight) << summary;
  }
  const auto [out, summary] = recover("22528 92527 --fs FAT32", "auto");
  for (const auto& file : test::entriesOf(manifest, "fat32", "file")) {
    const std::string saved = out + test::parentPath(file.path) + "/" + test::fatListedName(test::baseName(file.path), true);
    EXPECT_EQ(test::sha256File(saved), file.sha256) << file.path << "\n" << summary;
  }
}

TEST(RecoverCommand, UsageAndFailuresGiveClearStatuses) {
  Cli cli;
  const std::string image = test::imagePath("fat_disk");
  EXPECT_EQ(cli.status("recover '" + image + "' --partition 1"), 2);  // no --out
  EXPECT_EQ(cli.status("recover '" + image + "' --partition 9 --out '" + cli.dir.file("o") + "'"), 1);
  EXPECT_EQ(cli.status("recover '" + cli.dir.file("missing.img") + "' --partition 1 --out x"), 1);
  EXPECT_EQ(cli.status("recover '" + image + "' --partition 1 --ext d.c --out x"), 2);
  EXPECT_EQ(cli.status("recover '" + image + "' --partition 1 --after 32-01-2005 --out x"), 2);
  // A destination that cannot be made.
  test::run("touch '" + cli.dir.file("plain") + "'");
  EXPECT_EQ(cli.status("recover '" + image + "' --partition 1 --out '" + cli.dir.file("plain/x") + "'"), 1);
  // A destination whose files cannot be written: every write fails, and the run says so.
  fs::create_directories(cli.dir.file("ro"));
  if (::geteuid() != 0) {
    fs::permissions(cli.dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(cli.status("recover '" + image + "' --partition 1 --out '" + cli.dir.file("ro") +
                         "' --write-errors skip"),
              1);
  }
}

}  // namespace
}  // namespace tessaly

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

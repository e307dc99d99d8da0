// tessaly-cli scan and recover in Advanced mode as installed, over the whole of fat_disk:
// both file systems are listed, each can be chosen, and choosing one recovers what a
// Quick recovery of its partition does.
#include <gtest/gtest.h>

#include <regex>

#include "support/test_support.h"

namespace tessaly {
namespace {

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

TEST(AdvancedCommand, TheFileSystemsOfARangeAreListedAndEachCanBeChosen) {
  Cli cli;
  const std::string disk = "'" + test::imagePath("fat_disk") + "' --range 0 112639 --fs FAT16 --mode advanced";
  const std::string first = test::run(cli.command("scan " + disk));
  EXPECT_NE(first.find("2 file systems found"), std::string::npos) << first;
  EXPECT_NE(first.find("* File System 1 - FAT16   cluster 0 at sector 2156, 4 sectors per cluster, boot sector at 2048"),
            std::string::npos)
      << first;
  EXPECT_NE(first.find("  File System 2 - FAT32"), std::string::npos) << first;
  EXPECT_NE(first.find("FAT16 volume on"), std::string::npos) << first;

  const std::string second = test::run(cli.command("scan " + disk + " --filesystem 2 --json"));
  EXPECT_NE(second.find("\"fileSystem\":\"FAT32\""), std::string::npos) << second;
  EXPECT_NE(second.find("\"chosenFileSystem\":2"), std::string::npos) << second;
  EXPECT_NE(second.find("{\"type\":\"FAT32\",\"cluster0Sector\":"), std::string::npos) << second;
  EXPECT_NE(second.find("\"name\":\"Documents\""), std::string::npos) << second;

  EXPECT_EQ(cli.status("scan " + disk + " --filesystem 3"), 1);
  EXPECT_EQ(cli.status("scan " + disk + " --filesystem 0"), 2);
  EXPECT_EQ(cli.status("scan '" + test::imagePath("fat_disk") + "' --partition 1 --filesystem 1"), 2);
  // A range holding no FAT file system.
  EXPECT_EQ(cli.status("scan '" + test::imagePath("fat_disk") + "' --range 0 2000 --fs FAT32 --mode advanced"), 1);
}

TEST(AdvancedCommand, AChosenFileSystemRecoversWhatItsPartitionDoes) {
  Cli cli;
  const std::string image = "'" + test::imagePath("fat_disk") + "'";
  const std::regex summary(R"(Recovered (\d+) files \((\d+) bytes\))");
  std::smatch quick, advanced;
  const std::string q = test::run(cli.command("recover " + image + " --partition 2 --quiet --out '" +
                                              cli.dir.file("quick") + "'"));
  const std::string a = test::run(cli.command("recover " + image + " --range 0 112639 --fs FAT16 --mode advanced " +
                                              "--filesystem 2 --quiet --out '" + cli.dir.file("advanced") + "'"));
  ASSERT_TRUE(std::regex_search(q, quick, summary)) << q;
  ASSERT_TRUE(std::regex_search(a, advanced, summary)) << a;
  EXPECT_EQ(advanced[1], quick[1]);
  EXPECT_EQ(advanced[2], quick[2]);
  EXPECT_GT(std::stoi(quick[1]), 5);
}

}  // namespace
}  // namespace tessaly

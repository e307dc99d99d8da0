// tessaly-cli scan and recover in Advanced mode as installed, over the whole of fat_disk:
// both file systems are listed, each can be chosen, and choosing one recovers what a
// Quick recovery of its partition does; and over a volume at the start of its disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "support/test_support.h"

namespace tessaly {
namespace {

struct Cli {
  test::TempDir dir;
  std::string command(const std::string& args) const {
    return "TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' " +
           args + " 2>&1 </dev/null";
  }
  int status(const std::string& args) const {
    const int raw = std::system(command(args + " >/dev/null").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

TEST(AdvancedCommand, TheFileSystemsOfARangeAreListedAndEachCanBeChosen) {
  Cli cli;
  const std::string disk =
      "'" + test::imagePath("fat_disk") + "' --range 0 112639 --fs FAT16 --mode advanced";
  const std::string first = test::run(cli.command("scan " + disk));
  EXPECT_NE(first.find("2 file systems found"), std::string::npos) << first;
  EXPECT_NE(first.find("* File System 1 - FAT16   cluster 0 at sector 2156, 4 sectors per cluster, "
                       "boot sector at 2048"),
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
  EXPECT_EQ(cli.status("scan '" + test::imagePath("fat_disk") + "' --partition 1 --filesystem 1"),
            2);
  // A range holding no FAT file system.
  EXPECT_EQ(cli.status("scan '" + test::imagePath("fat_disk") +
                       "' --range 0 2000 --fs FAT32 --mode advanced"),
            1);
}

TEST(AdvancedCommand, AChosenFileSystemRecoversWhatItsPartitionDoes) {
  Cli cli;
  const std::string image = "'" + test::imagePath("fat_disk") + "'";
  const std::regex summary(R"(Recovered (\d+) files \((\d+) bytes\))");
  std::smatch quick, advanced;
  const std::string q = test::run(cli.command(
      "recover " + image + " --partition 2 --quiet --out '" + cli.dir.file("quick") + "'"));
  const std::string a =
      test::run(cli.command("recover " + image + " --range 0 112639 --fs FAT16 --mode advanced " +
                            "--filesystem 2 --quiet --out '" + cli.dir.file("advanced") + "'"));
  ASSERT_TRUE(std::regex_search(q, quick, summary)) << q;
  ASSERT_TRUE(std::regex_search(a, advanced, summary)) << a;
  EXPECT_EQ(advanced[1], quick[1]);
  EXPECT_EQ(advanced[2], quick[2]);
  EXPECT_GT(std::stoi(quick[1]), 5);
}

TEST(AdvancedCommand, AVolumeAtTheStartOfTheDiskIsRebuiltWithItsFatsWithOrWithoutItsBootSector) {
  // 32-sector clusters and FATs of 18 sectors from sector 1: cluster 0 lies at -26. The
  // deleted file went into the cluster F2 left free and on after F3's: only its FAT tells
  // where it goes on.
  Cli cli;
  const std::string image = cli.dir.file("vol.img"), lost = cli.dir.file("lost.img");
  std::vector<std::uint8_t> content(300000), cluster(16384);
  std::mt19937 random(5);
  for (auto& b : content) b = static_cast<std::uint8_t>(random());
  for (auto& b : cluster) b = static_cast<std::uint8_t>(random());
  const auto write = [](const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  write(cli.dir.file("S.BIN"), content);
  write(cli.dir.file("C.BIN"), cluster);
  const std::string m = " -i '" + image + "' ";
  test::run("mkfs.fat -a -F 16 -s 32 -r 16 -C '" + image + "' 71680 >/dev/null && mmd" + m + "::/DIR ::/DIR/SUB");
  for (const char* name : {"F1", "F2", "F3"})
    test::run("mcopy" + m + "'" + cli.dir.file("C.BIN") + "' ::/DIR/" + name + ".BIN");
  test::run("mdel" + m + "::/DIR/F2.BIN && mcopy" + m + "'" + cli.dir.file("S.BIN") + "' ::/DIR/S.BIN && mdel" + m +
            "::/DIR/S.BIN");
  std::filesystem::copy_file(image, lost);
  std::vector<std::uint8_t> disk = test::readFile(lost);
  std::fill(disk.begin(), disk.begin() + 512, 0);
  write(lost, disk);

  for (const std::string& scanned : {image, lost}) {
    const std::string out = cli.dir.file(scanned == image ? "with" : "without");
    const std::string ran = test::run(cli.command("recover '" + scanned +
                                                  "' --range 0 143359 --fs FAT16 --mode advanced --out '" + out + "'"));
    EXPECT_NE(ran.find("cluster 0 at sector -26, 32 sectors per cluster"), std::string::npos) << ran;
    EXPECT_NE(ran.find("Recovered 1 file (300000 bytes)"), std::string::npos) << ran;
    EXPECT_EQ(test::readFile(out + "/DIR/_.BIN"), content) << ran;
  }
}

}  // namespace
}  // namespace tessaly

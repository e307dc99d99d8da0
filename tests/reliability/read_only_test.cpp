// Nothing the command line does opens a disk for writing: each mode runs under strace,
// which records every open of a file of the disk with its flags, and the disk's checksum
// is the same afterwards. The same on a read-only loop device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct Open {
  std::string path, flags;
};

class TracedCli {
 public:
  // Runs tessaly-cli ARGS under strace; returns its exit status. Every open of a path
  // that begins with one of `watched` is kept in opens.
  int run(const std::string& args, const std::vector<std::string>& watched) {
    const std::string log = dir.file("strace.log");
    // LeakSanitizer cannot run under a tracer; the sanitizer build's other checks still do.
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 TESSALY_HOME='" + dir.file("home") + "' strace -f -qq -o '" + log +
                                "' -e trace=open,openat,creat,truncate '" + test::stageDir() +
                                "/tessaly-cli' " + args + " --quiet </dev/null >'" +
                                dir.file("out") + "' 2>&1";
    const int raw = std::system(command.c_str());
    std::ifstream in(log);
    const std::regex call(
        R"re((open|openat|creat|truncate)\((?:AT_FDCWD, )?"([^"]*)"(?:, ([A-Z_|]+))?)re");
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (!std::regex_search(line, m, call)) continue;
      for (const auto& prefix : watched)
        if (m[2].str().rfind(prefix, 0) == 0)
          opens.push_back({m[2], m[1] == "open" || m[1] == "openat" ? m[3].str() : m[1].str()});
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string output() const { return test::run("cat '" + dir.file("out") + "'"); }

  test::TempDir dir;
  std::vector<Open> opens;
};

bool writes(const std::string& flags) {
  return flags == "creat" || flags == "truncate" ||
         std::regex_search(flags, std::regex("O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND"));
}

std::map<std::string, std::string> checksums(const std::vector<std::string>& files) {
  std::map<std::string, std::string> out;
  for (const auto& f : files) out[f] = test::sha256File(f);
  return out;
}

// The segments of an E01 set: STEM.E01, STEM.E02, ...
std::vector<std::string> segmentsOf(const std::string& stem) {
  std::vector<std::string> files;
  const fs::path p(stem);
  for (const auto& entry : fs::directory_iterator(p.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(p.filename().string() + ".E", 0) == 0) files.push_back(entry.path().string());
  }
  return files;
}

void expectReadOnly(const TracedCli& cli, std::size_t atLeast) {
  EXPECT_GE(cli.opens.size(), atLeast) << "the disk's files were not seen opened: " << cli.output();
  for (const auto& open : cli.opens)
    EXPECT_FALSE(writes(open.flags)) << open.path << " opened " << open.flags;
}

TEST(ReadOnly, EveryModeOfTheCommandLineOpensTheDisksFilesForReadingOnly) {
  const std::string fat = test::imagePath("fat_disk");
  const std::string ntfs = test::imagePath("ntfs_files");
  const std::string e01 = fs::path(fat).replace_filename("fat_disk_containers").string();
  std::vector<std::string> files{fat, ntfs};
  for (const auto& f : segmentsOf(e01)) files.push_back(f);
  ASSERT_GE(files.size(), 3u) << "the E01 set is missing";
  const auto before = checksums(files);

  TracedCli cli;
  const std::string out = cli.dir.path();
  struct Mode {
    std::string args;
    int status;
  };
  const std::vector<Mode> modes{
      {"partitions '" + fat + "'", 0},
      {"scan '" + fat + "' --partition 1 --log '" + out + "/fat.sav'", 0},
      {"recover '" + fat + "' --load-log '" + out + "/FAT.SAV' --out '" + out + "/from-log'", 0},
      {"recover '" + fat + "' --partition 2 --out '" + out + "/fat32'", 0},
      {"scan '" + fat + "' --partition 1 --mode advanced", 0},
      {"recover '" + fat + "' --partition 2 --mode advanced --out '" + out + "/advanced'", 0},
      {"recover '" + ntfs + "' --partition 1 --out '" + out + "/ntfs'", 0},
      {"carve '" + fat + "' --range 2048 8191 --types doc,xls,ppt,zip --out '" + out + "/carved'",
       0},
      {"recover '" + e01 + ".E01' --partition 1 --out '" + out + "/e01'", 0},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.args);
    const std::size_t seen = cli.opens.size();
    EXPECT_EQ(cli.run(mode.args, files), mode.status) << cli.output();
    EXPECT_GT(cli.opens.size(), seen) << "the disk's files were not seen opened";
  }
  expectReadOnly(cli, modes.size());
  EXPECT_EQ(checksums(files), before);
}

TEST(ReadOnly, ARecoveryFromAReadOnlyLoopDeviceOpensItForReadingOnly) {
  const std::string image = test::imagePath("fat_disk");
  test::TempDir dir;
  const int attached = std::system(
      ("losetup -r -f --show '" + image + "' >'" + dir.file("loop") + "' 2>/dev/null").c_str());
  if (attached != 0)
    GTEST_SKIP() << "no loop device can be attached here (needs root and /dev/loop-control)";
  std::string loop = test::run("cat '" + dir.file("loop") + "'");
  loop.erase(loop.find_last_not_of("\n") + 1);
  struct Detach {
    std::string device;
    ~Detach() { (void)std::system(("losetup -d '" + device + "'").c_str()); }
  } detach{loop};
  const std::string before = test::sha256File(image);

  TracedCli cli;
  EXPECT_EQ(
      cli.run("recover '" + loop + "' --partition 1 --out '" + cli.dir.file("out-files") + "'",
              {loop}),
      0)
      << cli.output();
  expectReadOnly(cli, 1);
  EXPECT_FALSE(fs::is_empty(cli.dir.file("out-files")));
  EXPECT_EQ(test::sha256File(image), before);
}

}  // namespace
}  // namespace tessaly

// tessaly-cli carve as installed: the types and the range named reach the search, every
// file is written whole, the summary counts each type, and the exit status tells
// a usage error from a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct CarveCli {
  test::TempDir dir;
  std::string command(const std::string& args) const {
    return "TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' carve " + args +
           " 2>&1 </dev/null";
  }
  int status(const std::string& args) const {
    const int raw = std::system(command(args + " >/dev/null").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

std::vector<std::uint8_t> corpus(const std::string& name) {
  return test::readFile(test::sourceDir() + "/tests/data/raw/" + name);
}

// 4 MiB of random filler with a document at sector 300 and, in the sector right after
// it, an archive; a spreadsheet further on.
std::string makeDisk(const test::TempDir& dir) {
  std::vector<std::uint8_t> disk(4 << 20);
  std::mt19937 random(11);
  for (auto& b : disk) b = static_cast<std::uint8_t>(random());
  std::size_t at = 300 * 512;
  for (const char* name : {"letter.doc", "comment.zip"}) {
    const auto file = corpus(name);
    std::copy(file.begin(), file.end(), disk.begin() + static_cast<long>(at));
    at += (file.size() + 511) / 512 * 512;
  }
  const auto sheet = corpus("ledger.xls");
  std::copy(sheet.begin(), sheet.end(), disk.begin() + 5000 * 512);
  const std::string path = dir.file("disk.img");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(disk.data()),
                                              static_cast<std::streamsize>(disk.size()));
  return path;
}

TEST(CarveCommand, WritesEachFileWholeAndCountsItsType) {
  CarveCli cli;
  const std::string disk = makeDisk(cli.dir);
  const std::string out = cli.dir.file("out");
  const std::string summary = test::run(cli.command("'" + disk + "' --types doc,xls,zip --out '" + out + "' --quiet"));
  EXPECT_NE(summary.find("Carved 3 files into " + out), std::string::npos) << summary;
  EXPECT_NE(summary.find("Total Word File(s) Recovered :  1\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Total Excel File(s) Recovered :  1\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Total Zip File(s) Recovered :  1\n"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("PowerPoint"), std::string::npos) << summary;  // not asked for
  EXPECT_EQ(test::readFile(out + "/DOC0.DOC"), corpus("letter.doc"));
  EXPECT_EQ(test::readFile(out + "/ZIP1.ZIP"), corpus("comment.zip"));
  EXPECT_EQ(test::readFile(out + "/XLS2.XLS"), corpus("ledger.xls"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);

  // A range is searched from its first to its last sector, and only for the types named.
  const std::string ranged = cli.dir.file("ranged");
  const std::string json =
      test::run(cli.command("'" + disk + "' --range 4000 8191 --types doc,xls --out '" + ranged + "' --json"));
  EXPECT_NE(json.find(R"("name":"XLS0.XLS","type":"Excel","firstSector":5000)"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("counts":{"Word":0,"Excel":1})"), std::string::npos) << json;
}

TEST(CarveCommand, UsageErrorsAndFailuresHaveTheirStatuses) {
  CarveCli cli;
  const std::string disk = makeDisk(cli.dir);
  const std::string out = " --out '" + cli.dir.file("o") + "'";
  EXPECT_EQ(cli.status("'" + disk + "' --types doc"), 2);  // no --out
  EXPECT_EQ(cli.status("'" + disk + "' --types doc,pdf" + out), 2);
  EXPECT_EQ(cli.status("'" + disk + "' --range 900 100 --types doc" + out), 2);
  EXPECT_EQ(cli.status("'" + disk + "' --range 100 8192 --types doc" + out), 1);  // past the disk's end
  EXPECT_EQ(cli.status("'" + cli.dir.file("missing.img") + "' --types doc" + out), 1);
  test::run("touch '" + cli.dir.file("plain") + "'");
  EXPECT_EQ(cli.status("'" + disk + "' --types doc --out '" + cli.dir.file("plain/x") + "'"), 1);
}

}  // namespace
}  // namespace tessaly

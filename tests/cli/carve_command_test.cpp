// tessaly-cli carve as installed: the types and the range named reach the search, every
// file is written whole, the summary counts each type, and the exit status tells
// a usage error from a failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct CarveCli {
  test::TempDir dir;
  std::string command(const std::string& args) const {
    return "TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() + "/tessaly-cli' carve " +
           args + " 2>&1 </dev/null";
  }
  int status(const std::string& args) const {
    const int raw = std::system(command(args + " >/dev/null").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
};

std::vector<std::uint8_t> corpus(const std::string& name) {
  return test::readFile(test::sourceDir() + "/tests/data/raw/" + name);
}

TEST(CarveCommand, CarvesTheTypesAndRangeNamedAndTellsUsageErrorsFromFailures) {
  CarveCli cli;
  const std::string disk = test::carvingDisk(cli.dir);
  const std::string out = cli.dir.file("out");
  const std::string summary =
      test::run(cli.command("'" + disk + "' --types doc,xls,zip --out '" + out + "' --quiet"));
  EXPECT_NE(
      summary.find("Carved 3 files into " + out +
                   "\n  Total Word File(s) Recovered :  1\n"
                   "  Total Excel File(s) Recovered :  1\n  Total Zip File(s) Recovered :  1\n"),
      std::string::npos)
      << summary;
  EXPECT_EQ(test::readFile(out + "/DOC0.DOC"), corpus("letter.doc"));
  EXPECT_EQ(test::readFile(out + "/ZIP1.ZIP"), corpus("comment.zip"));
  EXPECT_EQ(test::readFile(out + "/XLS2.XLS"), corpus("ledger.xls"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);

  // A range is searched from its first to its last sector, for the types named only.
  const std::string json =
      test::run(cli.command("'" + disk + "' --range 14000 16383 --types doc,xls --out '" +
                            cli.dir.file("ranged") + "' --json"));
  EXPECT_NE(json.find(R"("name":"XLS0.XLS","type":"Excel","firstSector":15000)"), std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("counts":{"Word":0,"Excel":1})"), std::string::npos) << json;

  const std::string o = " --out '" + cli.dir.file("o") + "'";
  EXPECT_EQ(cli.status("'" + disk + "' --types doc,pdf" + o), 2);
  EXPECT_EQ(cli.status("'" + disk + "' --range 900 100 --types doc" + o), 2);
  EXPECT_EQ(cli.status("'" + disk + "' --range 100 16384 --types doc" + o),
            1);  // past the disk's end
  EXPECT_EQ(cli.status("'" + cli.dir.file("missing.img") + "' --types doc" + o), 1);
}

}  // namespace
}  // namespace tessaly

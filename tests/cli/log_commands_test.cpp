// tessaly-cli scan --log and recover --load-log: a log written after a scan recovers the
// same files without scanning, and a log of another disk is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

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
  // What the command printed on either stream, then "status=N".
  std::string outcome(const std::string& args) const {
    return test::run(command(args) + "; echo status=$?");
  }
};

std::map<std::string, std::string> hashes(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      out[fs::relative(entry.path(), root).string()] = test::sha256File(entry.path().string());
  return out;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(LogCommands, ALogRecoversWhatTheScanDoesAndOnlyOnItsDisk) {
  Cli cli;
  const std::string image = "'" + test::imagePath("fat_disk") + "'";
  // The file name is upper-cased and given its extension.
  EXPECT_EQ(
      cli.status("scan " + image + " --partition 2 --quiet --log '" + cli.dir.file("case1") + "'"),
      0);
  const std::string log = cli.dir.file("CASE1.SAV");
  ASSERT_TRUE(fs::exists(log));

  test::run(cli.command("recover " + image + " --partition 2 --quiet --out '" +
                        cli.dir.file("scanned") + "'"));
  const std::string summary =
      test::run(cli.command("recover " + image + " --load-log '" + log + "' --quiet --out '" +
                            cli.dir.file("logged") + "'"));
  EXPECT_NE(summary.find("Recovered 12 files"), std::string::npos) << summary;
  EXPECT_EQ(hashes(cli.dir.file("logged")), hashes(cli.dir.file("scanned")));

  // The same log names another disk model: refused, nothing recovered.
  std::vector<std::uint8_t> bytes = test::readFile(log);
  ASSERT_GT(bytes.size(), 30u);
  bytes[26] ^= 0x20;
  writeBytes(cli.dir.file("OTHER.SAV"), bytes);
  const std::string other =
      cli.outcome("recover " + image + " --load-log '" + cli.dir.file("OTHER.SAV") + "' --out '" +
                  cli.dir.file("x") + "'");
  EXPECT_NE(other.find("You Have Selected Wrong Disk"), std::string::npos) << other;
  EXPECT_NE(other.find("status=1"), std::string::npos) << other;
  EXPECT_FALSE(fs::exists(cli.dir.file("x")));
}

}  // namespace
}  // namespace tessaly

// tessaly-cli disks, run as installed: the staged program with diskfacts beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

struct DisksCommand : ::testing::Test {
  test::TempDir dir;

  std::string image(const std::string& name, std::uint64_t bytes) {
    std::string path = dir.file(name);
    std::ofstream(path).close();
    fs::resize_file(path, bytes);
    return path;
  }
  std::string disks(const std::string& cli, const std::string& args) {
    return test::run("TESSALY_HOME='" + dir.file("home") + "' '" + cli + "' disks " + args);
  }
};

TEST_F(DisksCommand, ListsTheFloppyAndEachImageWithItsFacts) {
  std::string a = image("a.img", 1073741824), b = image("b.img", 80026361856);
  std::string out = disks(test::stageDir() + "/tessaly-cli", "'" + a + "' '" + b + "'");
  std::string expected;
  for (const std::string& line : std::vector<std::string>{
           "My Computer", "  1.44\" Floppy", "  Disk0  (" + a + ")",
           "      Physical Disk Number : 0", "      Model   : Disk image",
           "      Media Type   : Fixed hard disk media", "      Cylinder   : 130",
           "      Head   : 255", "      Sectors Per Track   : 63", "      Disk Size  : 1024 MB",
           "  Disk1  (" + b + ")", "      Physical Disk Number : 1", "      Model   : Disk image",
           "      Media Type   : Fixed hard disk media", "      Cylinder   : 9729",
           "      Head   : 255", "      Sectors Per Track   : 63", "      Disk Size  : 76319 MB"})
    expected += line + "\n";
  EXPECT_EQ(out, expected);

  // The facts went through the user's registry folder.
  EXPECT_TRUE(fs::exists(dir.file("home/registry/TY Windows/Size")));

  std::string json = disks(test::stageDir() + "/tessaly-cli", "--json '" + a + "'");
  EXPECT_NE(json.find("{\"entry\":\"1.44\\\" Floppy\",\"floppy\":true}"), std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"label\":\"Disk Size  : \",\"value\":\"1024 MB\"}"), std::string::npos)
      << json;
}

TEST_F(DisksCommand, ACopyWithoutTheHelperBesideItListsOnlyTheRoot) {
  fs::create_directories(dir.file("lonely"));
  fs::copy_file(test::stageDir() + "/tessaly-cli", dir.file("lonely/tessaly-cli"));
  std::string a = image("a.img", 1 << 20);
  EXPECT_EQ(disks(dir.file("lonely/tessaly-cli"), "'" + a + "' 2>/dev/null"), "My Computer\n");
}

}  // namespace
}  // namespace tessaly

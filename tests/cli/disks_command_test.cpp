// tessaly-cli disks as installed: the staged program with diskfacts beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(DisksCommand, ListsTheFloppyAndEachImageWithItsFacts) {
  test::TempDir dir;
  std::string a = dir.file("a.img"), b = dir.file("b.img");
  std::ofstream(a).close();
  std::ofstream(b).close();
  std::filesystem::resize_file(a, 1073741824);
  std::filesystem::resize_file(b, 80026361856);
  std::string out = test::run("TESSALY_HOME='" + dir.file("home") + "' '" + test::stageDir() +
                              "/tessaly-cli' disks '" + a + "' '" + b + "'");
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
  EXPECT_TRUE(std::filesystem::exists(dir.file("home/registry/TY Windows/Size")));
}

}  // namespace
}  // namespace tessaly

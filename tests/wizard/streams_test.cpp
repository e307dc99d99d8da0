// The named streams of NTFS files in the results page.
#include "wizard_fixture.h"

#include <filesystem>

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

TEST_F(WizardTest, NamedStreamsAreListedAsRowsOfTheirOwnAfterTheirFile) {
  if (std::filesystem::file_size(imagePath("streams_ntfs")) == 0)
    GTEST_SKIP() << "streams_ntfs was not built: ntfs-3g cannot mount here";
  ASSERT_FALSE(open({imagePath("streams_ntfs")}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Root"));
  EXPECT_EQ(listColumn(0),
            (std::vector<std::string>{"Lost", "$Extend", "mult1.dat", "mult1.dat:ADS",
                                      "mult1.dat:Zone.Identifier"}));
  EXPECT_EQ(listColumn(1),
            (std::vector<std::string>{"FOLDER", "FOLDER", "Deleted File", "Stream", "Stream"}));
  EXPECT_EQ(listColumn(2), (std::vector<std::string>{"0", "0", "3000", "1234", "26"}));
  screenshot("streams-ntfs-root");
}

}  // namespace
}  // namespace tessaly::wizard::test

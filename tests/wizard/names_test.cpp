// Names in several scripts and orphaned NTFS files in the results page.
#include "wizard_fixture.h"

#include <filesystem>

namespace tessaly::wizard::test {
namespace {

namespace wid = wizard::id;

TEST_F(WizardTest, NamesOfEveryScriptAndOrphansUnderLostAreListed) {
  if (std::filesystem::file_size(imagePath("names_ntfs")) == 0)
    GTEST_SKIP() << "names_ntfs was not built: ntfs-3g cannot mount here";
  ASSERT_FALSE(open({imagePath("names_ntfs")}).has_value());
  scanPartition("Partition - 1 ( NTFS )");
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Lost"));
  EXPECT_EQ(listColumn(0), (std::vector<std::string>{"orphan.dat", "old.dat"}));
  ASSERT_TRUE(clickTree(wid::kFolderTree, "Documents"));
  EXPECT_EQ(listColumn(0),
            (std::vector<std::string>{"na\u00efve r\u00e9sum\u00e9.txt",
                                      "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.txt",
                                      "\u65e5\u672c\u8a9e.txt", "\U0001F600 smile.txt"}));
  screenshot("names-ntfs-documents");
}

}  // namespace
}  // namespace tessaly::wizard::test

#include "records/directory_list.h"

#include <gtest/gtest.h>

#include <tuple>

#include "records/line_printer.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

std::string listOf(const TreeModel& tree, std::string_view lineEnd) {
  std::string out;
  EXPECT_TRUE(writeDirectoryList(tree, tree.root(), lineEnd, [&out](std::string_view bytes) {
    out += bytes;
    return true;
  }));
  return out;
}

TEST(DirectoryList, ListsEveryPairDepthFirstWithTheParentsPath) {
  TreeModel tree;
  const TreeItem root = tree.insert(kNoItem, "Root", 3, 3);
  EXPECT_EQ(listOf(tree, kViewLineEnd), "");
  const TreeItem a = tree.insert(root, "A", 3, 3);
  const TreeItem b = tree.insert(a, "B", 3, 3);
  tree.insert(b, "C", 3, 3);
  tree.insert(root, "D", 3, 3);
  EXPECT_EQ(listOf(tree, kViewLineEnd), "Root-> A\r\nA-> B\r\nA\\B-> C\r\nRoot-> D\r\n");
  EXPECT_EQ(listOf(tree, kPrintLineEnd), "Root-> A\xE6" "A-> B\xE6" "A\\B-> C\xE6" "Root-> D\xE6");
}

TEST(DirectoryList, ChildrenOfAPartitionItemListUnderRootDirectory) {
  TreeModel tree;
  const TreeItem root = tree.insert(kNoItem, "Root", 3, 3);
  const TreeItem partition = tree.insert(root, "Partition 1", 3, 3);
  const TreeItem docs = tree.insert(partition, "Docs", 3, 3);
  tree.insert(docs, "Old", 3, 3);
  EXPECT_EQ(listOf(tree, kViewLineEnd),
            "Root-> Partition 1\r\nRoot Directory -> Docs\r\nRoot Directory -> Old\r\n");
}

TEST(DirectoryList, PrintFileReadsBackLineByLineKeepingNamesWithE6) {
  TreeModel tree;
  const TreeItem root = tree.insert(kNoItem, "Root", 3, 3);
  const TreeItem cjk = tree.insert(root, "\xE6\x9C\xAC", 3, 3);  // a name whose first byte is 0xE6
  tree.insert(cjk, "x", 3, 3);
  test::TempDir dir;
  const std::string path = directoryListPath(dir.path(), true);
  ASSERT_TRUE(writeDirectoryListFile(tree, path, kPrintLineEnd));
  EXPECT_EQ(printFileLines(test::readFile(path)),
            (std::vector<std::string>{"Root-> \xE6\x9C\xAC", "\xE6\x9C\xAC-> x"}));
  EXPECT_FALSE(writeDirectoryListFile(tree, dir.file("none/list.dat"), kPrintLineEnd));
}

TEST(LinePrinter, PagesBreakPastTheBottomMarginAndCarryTheHeader) {
  const PrintMetrics m{.dotsPerInchX = 600, .dotsPerInchY = 400, .pageWidth = 5000, .pageHeight = 1000,
                       .lineHeight = 100};
  std::vector<std::string> lines;
  for (int i = 0; i < 16; ++i) lines.push_back("line " + std::to_string(i));
  const std::vector<PrintedPage> pages = layOutLines(lines, m);
  // Lines go at y = 200, 300 ... while y is at most 1000 - 200.
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].lines.size(), 7u);
  EXPECT_EQ(pages[2].lines.size(), 2u);
  const PlacedText& first = pages[1].lines.front();
  EXPECT_EQ(std::tie(first.text, first.x, first.y), std::make_tuple("line 7", 300, 200));
  EXPECT_EQ(pages[1].lines.back().y, 800);
  const PrintedPage& page = pages[2];
  EXPECT_EQ(std::tie(page.title.text, page.title.x, page.title.y), std::make_tuple("Tessaly Log", 300, 50));
  EXPECT_EQ(std::tie(page.pageNumber.text, page.pageNumber.x), std::make_tuple("3", 4700));
  EXPECT_TRUE(page.pageNumber.rightAligned);
  EXPECT_EQ(std::tie(page.rule.x1, page.rule.y1, page.rule.x2, page.rule.penWidth),
            std::make_tuple(300, 150, 4700, 6));
  EXPECT_TRUE(layOutLines({}, m).empty());
}

}  // namespace
}  // namespace tessaly

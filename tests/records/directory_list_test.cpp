#include "records/directory_list.h"

#include <gtest/gtest.h>

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
  PrintMetrics m;
  m.dotsPerInchX = 600;
  m.dotsPerInchY = 400;
  m.pageWidth = 5000;
  m.pageHeight = 1000;
  m.lineHeight = 100;
  std::vector<std::string> lines;
  for (int i = 0; i < 16; ++i) lines.push_back("line " + std::to_string(i));
  const std::vector<PrintedPage> pages = layOutLines(lines, m);
  // Lines go at y = 200, 300 ... while y is at most 1000 - 200.
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].lines.size(), 7u);
  EXPECT_EQ(pages[2].lines.size(), 2u);
  EXPECT_EQ(pages[1].lines.front().text, "line 7");
  EXPECT_EQ(pages[1].lines.front().y, 200);
  EXPECT_EQ(pages[1].lines.back().y, 800);
  EXPECT_EQ(pages[1].lines.back().x, 300);
  const PrintedPage& page = pages[2];
  EXPECT_EQ(page.number, 3);
  EXPECT_EQ(page.title.text, "Tessaly Log");
  EXPECT_EQ(page.title.y, 200 - 150);
  EXPECT_EQ(page.pageNumber.text, "3");
  EXPECT_TRUE(page.pageNumber.rightAligned);
  EXPECT_EQ(page.pageNumber.x, 5000 - 300);
  EXPECT_EQ(page.rule.y1, 150);
  EXPECT_EQ(page.rule.x2, 4700);
  EXPECT_EQ(page.rule.penWidth, 6);
  EXPECT_TRUE(layOutLines({}, m).empty());
}

}  // namespace
}  // namespace tessaly

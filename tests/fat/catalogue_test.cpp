#include "fat/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using Field = ScanCatalogue::Field;

struct CatalogueFixture : ::testing::Test {
  test::TempDir install;
  test::TestSession t{std::make_shared<platform::MemoryDevice>(1)};
  ScanCatalogue& catalogue = t.scan.catalogue;
  TreeItem root = kNoItem;

  void SetUp() override {
    t.session.installFolder = install.path();
    root = t.scan.folderTree.insert(kNoItem, "Root", 3, 3);
  }
  // Inserts folders "F0" ... through the one writer the tree builders use.
  std::vector<TreeItem> insert(int n, std::uint32_t firstSelf = 100) {
    std::vector<TreeItem> items;
    for (int i = 0; i < n; ++i)
      items.push_back(insertFolder(t.session, t.scan, root, "F" + std::to_string(i), firstSelf + i,
                                   0x3000 + i, 0x4000 + i, 0, i % 2));
    return items;
  }
  std::string file() const { return install.file(kCatalogueFileName); }
};

TEST_F(CatalogueFixture, EveryFolderInsertAppendsOneRecordOf546Bytes) {
  auto items = insert(5);
  EXPECT_EQ(fs::file_size(file()), 5u * 546);
  EXPECT_EQ(catalogue.catalogueLength(), 5u * 546);
  EXPECT_EQ(catalogue.folderCount, 5);
  ASSERT_EQ(catalogue.nodes.size(), 5u);
  EXPECT_EQ(catalogue.nodes[2].treeItem, items[2]);
  EXPECT_EQ(catalogue.treeBuilding.load(), 1u);
  // The tree side: last child of the parent, closed-folder image, unchecked boxes, expanded parent.
  EXPECT_EQ(t.scan.folderTree.children(root), items);
  EXPECT_EQ(t.scan.folderTree.image(items[0]), kImageClosedFolder);
  EXPECT_EQ(t.scan.folderTree.state(items[0]), kUnchecked);
  EXPECT_EQ(t.scan.folderTree.state(root), kUnchecked);
  EXPECT_TRUE(t.scan.folderTree.expanded(root));

  // The record layout on disk, read byte for byte.
  auto bytes = test::readFile(file());
  const std::size_t r = 3 * 546;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[r])), "F3");
  EXPECT_EQ(bytes[r + 2], 0);
  auto u32 = [&](std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
           std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
  };
  EXPECT_EQ(u32(r + 510), items[3]);
  EXPECT_EQ(u32(r + 514), 0u);
  EXPECT_EQ(u32(r + 518), 103u);
  EXPECT_EQ(u32(r + 522), 0x3003u);
  EXPECT_EQ(u32(r + 526), 0u);
  EXPECT_EQ(u32(r + 530), 0x4003u);
  EXPECT_EQ(u32(r + 538), 1u);
  EXPECT_EQ(u32(r + 542), 0u);
}

TEST_F(CatalogueFixture, ANewTreeStartsFromAnEmptyFileEvenWithAnOldOneLeft) {
  std::ofstream(file(), std::ios::binary) << std::string(546 * 7, 'x');
  insert(2);
  EXPECT_EQ(fs::file_size(file()), 2u * 546);
  FolderRecord record;
  ASSERT_TRUE(catalogue.readRecord(0, record));
  EXPECT_EQ(record.name, "F0");
}

TEST_F(CatalogueFixture, ANameThatCannotBeDeletedMovesTheCatalogueToTheNextDigit) {
  fs::create_directories(install.file("TYDataFile1.dat/keep"));  // a non-empty folder
  insert(3);
  EXPECT_TRUE(fs::is_directory(file()));
  EXPECT_EQ(catalogue.path(), install.file("TYDataFile2.dat"));
  EXPECT_EQ(fs::file_size(install.file("TYDataFile2.dat")), 3u * 546);
}

TEST_F(CatalogueFixture, TenNamesThatCannotBeDeletedEndTheProgram) {
  for (int digit = 1; digit <= 10; ++digit) {
    std::string name = std::string("TYDataFile") + static_cast<char>('0' + digit) + ".dat";
    fs::create_directories(install.file(name + "/keep"));
  }
  fs::create_directories(install.file("TYDataFile;.dat/keep"));  // '9' + 2
  EXPECT_THROW(insert(1), ProgramExit);
  ASSERT_EQ(t.dialogs.messages.size(), 1u);
  EXPECT_EQ(t.dialogs.messages[0].text, "Failed to create Information file");
  EXPECT_EQ(t.dialogs.messages[0].icon, MessageIcon::Error);
}

TEST_F(CatalogueFixture, CursorProtocolForSeveralFieldsOfOneRecord) {
  auto items = insert(6);
  // Record 3 read by the calling convention: next-accessors, the cursor set back to
  // lastRecord before each further field.
  catalogue.setCursor(0);
  catalogue.first(Field::Item);
  catalogue.next(Field::Item);
  catalogue.next(Field::Item);
  EXPECT_EQ(catalogue.next(Field::SelfId), 103u);
  catalogue.setCursor(catalogue.lastRecord());
  EXPECT_EQ(catalogue.next(Field::ParentId), 0u);
  catalogue.setCursor(catalogue.lastRecord());
  EXPECT_EQ(catalogue.nextFlag(Field::Deleted, 'r'), 1u);
  EXPECT_EQ(catalogue.cursor(), 4u * 546);
  EXPECT_EQ(catalogue.lastRecord(), 3u * 546);

  // First-accessors: record 0, cursor left at record 1, lastRecord 0 after the item.
  EXPECT_EQ(catalogue.first(Field::Item), items[0]);
  EXPECT_EQ(catalogue.cursor(), 546u);
  EXPECT_EQ(catalogue.lastRecord(), 0u);
  EXPECT_EQ(catalogue.first(Field::Date), 0x3000u);

  // At the end a next-accessor returns 0 and leaves the cursor.
  catalogue.setCursor(6 * 546);
  EXPECT_FALSE(catalogue.hasMoreRecords());
  EXPECT_EQ(catalogue.next(Field::SelfId), 0u);
  EXPECT_EQ(catalogue.cursor(), 6u * 546);

  FolderRecord found;
  ASSERT_TRUE(catalogue.findTreeItem(items[4], &found));
  EXPECT_EQ(found.selfId, 104u);
  EXPECT_EQ(catalogue.lastRecord(), 4u * 546);
  EXPECT_FALSE(catalogue.findTreeItem(9999));
}

TEST_F(CatalogueFixture, LongNamesAreStoredWholeButReadAsTheirFirst255Bytes) {
  std::string name(300, 'n');
  for (std::size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char>('a' + i % 26);
  insertFolder(t.session, t.scan, root, name, 7, 0, 0, 0, 0);
  auto bytes = test::readFile(file());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), name);
  ScanCatalogue::NameBuffer buffer;
  buffer.fill('#');
  catalogue.firstName('r', buffer);
  EXPECT_EQ(std::string(buffer.data(), buffer.size()), name.substr(0, 255));
}

TEST_F(CatalogueFixture, WritingDeletedChangesOnlyItsFourBytes) {
  insert(4);
  auto before = test::readFile(file());
  catalogue.setCursor(0);
  catalogue.first(Field::Item);
  catalogue.next(Field::Item);
  catalogue.next(Field::Item);  // record 2 found
  catalogue.setCursor(catalogue.lastRecord());
  EXPECT_EQ(catalogue.nextFlag(Field::Deleted, 'w', 0x01020304), 0x01020304u);
  auto changedBytes = [&](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (a[i] != b[i]) changed.push_back(i);
    return changed;
  };
  auto afterDeleted = test::readFile(file());
  ASSERT_EQ(afterDeleted.size(), before.size());
  const std::size_t r = 2 * 546;
  EXPECT_EQ(changedBytes(before, afterDeleted),
            (std::vector<std::size_t>{r + 538, r + 539, r + 540, r + 541}));

  catalogue.setCursor(catalogue.lastRecord());
  EXPECT_EQ(catalogue.nextFlag(Field::NamesResolved, 'w', 1), 0u);
  EXPECT_EQ(changedBytes(afterDeleted, test::readFile(file())), (std::vector<std::size_t>{r + 542}));
  FolderRecord record;
  catalogue.readRecord(2, record);
  EXPECT_EQ(record.deleted, 0x01020304u);
  EXPECT_EQ(record.namesResolved, 1u);
}

TEST_F(CatalogueFixture, AccessorsOnAMissingFileReadNothing) {
  EXPECT_EQ(catalogue.first(Field::SelfId), 0u);
  EXPECT_FALSE(catalogue.hasMoreRecords());
  EXPECT_EQ(catalogue.catalogueLength(), 0u);
}

}  // namespace
}  // namespace tessaly

#include "session/file_rows.h"

#include <gtest/gtest.h>

#include "../fat/crafted_fat.h"
#include "fat/file_list.h"
#include "fat/quick_scan.h"
#include "recovery/folder_contents.h"

namespace tessaly {
namespace {

TEST(FileTypes, EndingsAreComparedExactlyAndInOrder) {
  struct Case {
    const char* name;
    int image;
    const char* type;
  };
  for (Case c : {Case{"REPORT.DOC", 4, "Deleted Word File"}, Case{"report.doc", 4, "Deleted Word File"},
                 Case{"Report.Doc", 19, "Deleted File"}, Case{"page.html", 12, "Deleted Internet file"},
                 Case{"PAGE.HTML", 12, "Deleted Internet file"}, Case{"PAGE.HTM", 19, "Deleted File"},
                 Case{"tune.au", 17, "Deleted Sound file"}, Case{"TUNE.AU", 17, "Deleted Sound file"},
                 Case{"x.h", 11, "Deleted Header file"}, Case{"x.hpp", 19, "Deleted File"},
                 Case{"DOC", 19, "Deleted File"}, Case{".h", 11, "Deleted Header file"},
                 Case{"setup.exe", 7, "Deleted Executable file"}, Case{"a.ZIP", 2, "Deleted Winzip File"},
                 Case{"notes.LOG", 20, "Deleted Text file"}}) {
    FileType t = classifyFileType(c.name);
    EXPECT_EQ(t.image, c.image) << c.name;
    EXPECT_EQ(t.typeText, c.type) << c.name;
  }
}

TEST(FileTypes, DateAndTimeTexts) {
  // 9 March 2005, 14:05:30.
  const std::uint32_t date = ((2005 - 1980) << 9) | (3 << 5) | 9;
  const std::uint32_t time = (14 << 11) | (5 << 5) | 15;
  EXPECT_EQ(fatDateText(date), "09-Mar-2005");
  EXPECT_EQ(fatTimeText(time), "14:05");
  EXPECT_EQ(fatDateText((24 << 9) | (0 << 5) | 5), "05-Err-2004");
  EXPECT_EQ(fatDateText((24 << 9) | (13 << 5) | 5), "05-Err-2004");
  // 2004-03-07 09:05:03 UTC as a FILETIME.
  const std::int64_t fileTime = (1078650303LL + 11644473600LL) * 10000000LL;
  EXPECT_EQ(ntfsDateText(fileTime), "7-Mar-2004");
  EXPECT_EQ(ntfsTimeText(fileTime), "9:5:3");
  EXPECT_EQ(ntfsDateText(0), "1-Jan-1601");
  EXPECT_EQ(ntfsDateText(-1), "");
}

struct ListVolume : test::CraftedFat {
  ListVolume() : CraftedFat(FileSystem::Fat16, 1, 600, 4) {}
};

TEST(FatFileList, RootAreaEndMarksEndOnlyTheirSector) {
  ListVolume v;
  Session& s = v.session();
  const VolumeParameters& volume = v.scan().workingVolume;
  v.entry(v.rootSector(0), 0, "\xE5" "IRST   TXT", 0x20, 30, 10);
  // Sector 1 of the root begins with an end mark; sector 2 follows it in the root area.
  v.v.rootDirSectors = 3;
  v.scan().workingVolume = v.v;
  v.entry(v.rootSector(2), 0, "\xE5" "HIRD   TXT", 0x20, 31, 20);
  auto rows = listFatFiles(s, volume, 0, false);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].columns[kColName], "_HIRD.TXT");

  // In a directory with clusters the end mark ends the whole listing.
  v.chain({40, 41});
  v.directory(40, 0);
  v.entry(v.clusterSector(40), 2, "\xE5" "NE     TXT", 0x20, 50, 5);
  for (std::size_t i = 3; i < 16; ++i)  // live files fill the first cluster
    v.entry(v.clusterSector(40), i, "LIVE" + std::to_string(10 + i) + "  TXT", 0x20, 52, 5);
  v.entry(v.clusterSector(41), 0, "\xE5" "WO     TXT", 0x20, 51, 5);
  EXPECT_EQ(listFatFiles(s, volume, 40, false).size(), 2u);
  v.sector(v.clusterSector(40))[3 * 32] = 0;  // an end mark after the first entry
  EXPECT_EQ(listFatFiles(s, volume, 40, false).size(), 1u);
}

TEST(FatFileList, LiveFilesAreListedOnlyInDeletedFolders) {
  ListVolume v;
  Session& s = v.session();
  const VolumeParameters& volume = v.scan().workingVolume;
  v.chain({40});
  v.entry(v.clusterSector(40), 0, ".", 0x10, 40);
  v.entry(v.clusterSector(40), 1, "..", 0x10, 0);
  v.entry(v.clusterSector(40), 2, "LIVE    DOC", 0x20, 60, 1234, 0x3269, 0x70A0);
  v.entry(v.clusterSector(40), 3, "SUBDIR     ", 0x10, 70);
  EXPECT_TRUE(listFatFiles(s, volume, 40, false).empty());
  auto rows = listFatFiles(s, volume, 40, true);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].columns[kColName], "LIVE.DOC");
  EXPECT_EQ(rows[0].columns[kColType], "Deleted Word File");
  EXPECT_EQ(rows[0].image, 4);
  EXPECT_EQ(rows[0].columns[kColSize], "1234");
  EXPECT_EQ(rows[0].columns[kColDate], "09-Mar-2005");
  EXPECT_EQ(rows[0].columns[kColTime], "14:05");
  EXPECT_EQ(rows[0].columns[kColDebug1], "60");
}

TEST(FolderContents, SubfoldersOfADeletedFolderAreShownDeletedAndStaySo) {
  ListVolume v;
  ScanState& s = v.scan();
  v.entry(v.rootSector(), 0, "\xE5" "ONE       ", 0x10, 5);
  v.directory(5, 0);
  v.entry(v.clusterSector(5), 2, "KID        ", 0x10, 9);
  v.directory(9, 5);
  v.chain({5});
  s.partitionValid = 1;
  runQuickFatScan(v.session(), s);
  TreeItem gone = s.folderTree.children(s.folderTree.root()).at(1);
  // Clear the child's mark as a log load would leave it, then list the deleted parent.
  TreeItem kid = s.folderTree.children(gone).at(0);
  s.catalogue.findTreeItem(kid);
  s.catalogue.setCursor(s.catalogue.lastRecord());
  s.catalogue.nextFlag(ScanCatalogue::Field::Deleted, 'w', 0);
  FolderContents contents = listFolder(v.session(), s, gone);
  ASSERT_EQ(contents.folderRows, 1u);
  EXPECT_EQ(contents.rows[0].columns[kColName], "KID");
  EXPECT_EQ(contents.rows[0].columns[kColType], "Deleted FOLDER");
  EXPECT_EQ(contents.rows[0].columns[kColDebug1], "9");
  EXPECT_EQ(contents.rows[0].columns[kColDebug2], "5");
  EXPECT_EQ(contents.rows[0].columns[kColDebug3], std::to_string(kid));
  FolderRecord record;
  s.catalogue.findTreeItem(kid, &record);
  EXPECT_EQ(record.deleted, 1u);
  EXPECT_TRUE(listFolder(v.session(), s, kid).deleted);
}

}  // namespace
}  // namespace tessaly

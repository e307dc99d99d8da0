#include "records/report.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tessaly {
namespace {

// The range's low 32 bits are above 2,147,483,647.
ReportFacts facts(int recoveryMode) {
  return {.selectedDisk = 1, .model = "WDC WD800", .partitionIndex = 2, .fileSystem = "FAT32",
          .recoveryMode = recoveryMode, .firstSector = 63, .lastSector = 0x1'8000'0000};
}

TEST(Report, EachOccasionWritesItsBlock) {
  const std::string head = "Disk Number : 1\r\nModel Number : WDC WD800\r\nPartition Number : 2\r\n"
                           "Partition Type : FAT32\r\n";
  const std::string tail = "Search Entire Disk Status: FALSE\r\nSearch Range : 63 to -2147483648\r\n";
  struct Case {
    ReportOccasion occasion;
    int mode;
    std::string expected;
  };
  const Case cases[] = {
      {ReportOccasion::QuickScanFinished, 1,
       head + "Search Mode : Quick\r\nSearch Range : 63 to -2147483648\r\n"},
      {ReportOccasion::AdvancedFatFinished, 2, head + "Search Mode : Advance\r\n" + tail},
      {ReportOccasion::AdvancedNtfsFinished, 2, head + "Search Mode : Advance\r\n" + tail},
      {ReportOccasion::Stopped, 2,
       "Physical Disk Number : 1\r\nModel Number : WDC WD800\r\nPartition Number : 3\r\n"
       "Partition Type : FAT32\r\nSearch Mode : Advance\r\n" + tail},
      {ReportOccasion::Stopped, 3,
       "Physical Disk Number : 1\r\nModel Number : WDC WD800\r\nPartition Number : 3\r\n"
       "Partition Type : FAT32\r\n" + tail},
      {ReportOccasion::ClosedDuringScan, 1, head + "Search Mode : Quick\r\n" + tail},
      {ReportOccasion::ClosedDuringScan, 3, head + tail},
      {ReportOccasion::ClosedDuringPartitionSearch, 2,
       "Disk Number : 1\r\nModel Number : WDC WD800\r\nPartition Number : Unknown\r\n"
       "Partition Type : Unknown\r\nSearch Mode : Advance\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.occasion) * 10 + c.mode);
    EXPECT_EQ(reportBlock(c.occasion, facts(c.mode)), c.expected);
  }
}

TEST(Report, PrintedLinesKeepWhatAnOccasionDoesNotReplace) {
  PrintedReportLines kept;
  for (auto& line : kept.lines) line = "old";
  ReportFacts f = facts(3);
  f.searchEntireDisk = true;
  const PrintedReportLines stopped = updatePrintedLines(kept, ReportOccasion::Stopped, f);
  EXPECT_EQ(stopped.lines, (std::array<std::string, 7>{
                               "Physical Disk Number : 1", "Model Number : WDC WD800", "Partition Number : 2",
                               "Partition Type : FAT32", "old", "Search Range : 63 to -2147483648",
                               "Search Entire Disk Status: TRUE"}));
  const PrintedReportLines closed =
      updatePrintedLines(kept, ReportOccasion::ClosedDuringPartitionSearch, facts(1));
  EXPECT_EQ(closed.lines, (std::array<std::string, 7>{
                              "Disk Number : 1", "Model Number : WDC WD800",
                              "Partition Number : Unknown (partition searching aborted)",
                              "Partition Type : Unknown (partition searching aborted)", "Search Mode : Quick",
                              "old", "old"}));
}

TEST(Report, EntryCarriesSeparatorDateAndTimeWithoutLeadingZeros) {
  std::tm t{};
  t.tm_mday = 3, t.tm_mon = 2, t.tm_year = 126;  // 3 March 2026
  t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 7;
  EXPECT_EQ(reportEntry(t, "Block\r\n"), "\r\n" + std::string(63, '=') + " \r\n\r\n3\\3\\2026\r\n9:5:7\r\nBlock\r\n");
}

std::string contents(const std::string& path) {
  const std::vector<std::uint8_t> bytes = test::readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Report, FileStartsAfreshOnlyPastTenMebibytes) {
  test::TempDir dir;
  const std::string path = reportFilePath(dir.path());
  const ReportAppend first = appendReportEntry(path, "one");
  EXPECT_TRUE(first.written && !first.existed);
  EXPECT_EQ(contents(path), "one");

  std::filesystem::resize_file(path, kReportSizeLimit);
  const ReportAppend second = appendReportEntry(path, "two");
  EXPECT_TRUE(second.written && second.existed);
  EXPECT_EQ(std::filesystem::file_size(path), kReportSizeLimit + 3);

  std::filesystem::resize_file(path, kReportSizeLimit + 1);
  EXPECT_TRUE(appendReportEntry(path, "three").written);
  EXPECT_EQ(contents(path), "three");

  EXPECT_FALSE(appendReportEntry(dir.file("missing/" + std::string(kReportFileName)), "x").written);
}

}  // namespace
}  // namespace tessaly

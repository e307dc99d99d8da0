// The report file "LogDetails.txt": a running account of the recoveries, one entry
// appended whenever a scan ends, is stopped, or is cut short by closing the program.
// An entry is a separator, the local date and time and the occasion's report block,
// single-byte text with CR LF line ends. The file starts afresh with the new entry once
// it has grown past 10 MiB.
//
// Beside the file, the seven lines that Print Report prints are kept in memory; every
// occasion replaces some or all of them.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace tessaly {

constexpr const char* kReportFileName = "LogDetails.txt";
// A file larger than this is emptied before the next entry; one of exactly this size
// is still appended to.
constexpr std::uint64_t kReportSizeLimit = 10485760;

enum class ReportOccasion {
  QuickScanFinished,            // FAT or NTFS
  AdvancedFatFinished,          // sweep and file-system matching
  AdvancedNtfsFinished,         // resolution
  Stopped,                      // Stop answered Yes
  ClosedDuringScan,             // close answered Yes while a scan runs
  ClosedDuringPartitionSearch,  // close answered Yes while a partition search runs
};

// What a report tells about the recovery.
struct ReportFacts {
  std::uint16_t selectedDisk = 0;
  std::string model;
  std::uint32_t partitionIndex = 0;  // 0-based
  std::string fileSystem;
  int recoveryMode = 1;  // 1 Quick, 2 Advanced, 3 Raw
  bool searchEntireDisk = false;
  std::uint64_t firstSector = 0;
  std::uint64_t lastSector = 0;
};

// The block of an occasion, each line ended by "\r\n".
std::string reportBlock(ReportOccasion occasion, const ReportFacts& facts);

// The seven lines of Print Report in their printed order.
struct PrintedReportLines {
  enum Line { Disk, Model, PartitionNumber, PartitionType, SearchMode, SearchRange, EntireDisk };
  std::array<std::string, 7> lines{};
};
// The kept lines after an occasion: the lines it replaces changed, the others as they were.
PrintedReportLines updatePrintedLines(const PrintedReportLines& kept, ReportOccasion occasion,
                                      const ReportFacts& facts);

// A whole entry: separator, empty line, date (3\3\2026), time (9:5:7), then the block.
std::string reportEntry(const std::tm& localTime, std::string_view block);
std::tm localReportTime();

// True when a report file of this size is emptied before the next entry.
bool reportStartsAfresh(std::uint64_t fileSize);

std::string reportFilePath(const std::string& installFolder);

struct ReportAppend {
  bool written = false;  // the whole entry reached the file
  bool existed = false;  // the file was there before (the caller marks the log count)
};
// Appends entry to the file at path, creating it when missing and emptying it first when
// it is past the size limit. A file that cannot be opened loses the entry silently.
ReportAppend appendReportEntry(const std::string& path, std::string_view entry);

}  // namespace tessaly

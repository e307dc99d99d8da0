// The rows of the file list at the results step: folder rows and the rows of the
// recoverable files of a folder, with their type texts, icons and date and time texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The list's columns: "Name", "Type", "Size", "Date", "Time" and three hidden ones.
enum FileColumn { kColName, kColType, kColSize, kColDate, kColTime, kColDebug1, kColDebug2, kColDebug3 };
constexpr int kFileColumns = 8;

struct FileRow {
  int image = 0;  // index in the list's small-icon images
  std::array<std::string, kFileColumns> columns{};
};

struct FileType {
  int image;
  std::string typeText;
};

// The type text and icon of a file from its name's ending (exact, case-sensitive).
FileType classifyFileType(std::string_view name);

// "Jan" ... "Dec"; any other month number gives "Err".
std::string monthName(int month);

// FAT: day with two digits, month name, year ("09-Mar-2005"); hour and minute with two
// digits ("14:05").
std::string fatDateText(std::uint32_t dosDate);
std::string fatTimeText(std::uint32_t dosTime);

// NTFS (a FILETIME, UTC): "7-Mar-2004" and "9:5:3", without leading zeros. Values the
// calendar cannot convert give "".
std::string ntfsDateText(std::int64_t fileTime);
std::string ntfsTimeText(std::int64_t fileTime);

struct CivilTime {
  int year, month, day, hour, minute, second;
};
// A FILETIME as a UTC calendar time; false for negative values.
bool fileTimeToCivil(std::int64_t fileTime, CivilTime& out);

}  // namespace tessaly

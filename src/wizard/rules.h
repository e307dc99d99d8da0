// The wizard's rules that need no window: reading the sector fields, checking the range
// that Next on the partition page accepts, and the help pane's text blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/message_table.h"
#include "session/values.h"

namespace tessaly::wizard {

// The partition-type list: FAT16, FAT32, NTFS and the "select" entry.
constexpr int kTypeFat16 = 0, kTypeFat32 = 1, kTypeNtfs = 2, kTypeNone = 3;
int typeIndexOf(FileSystem fileSystem);
FileSystem typeOfIndex(int index);  // None for the "select" entry

// A sector field read as a signed 32-bit number: optional blanks, an optional '-', then
// digits and nothing else. nullopt when the field does not hold such a number.
std::optional<std::int32_t> parseSigned32(const std::string& text);

// What Next on the partition page makes of the type list and the two sector fields.
struct RangeInput {
  int typeIndex = kTypeNone;
  std::string startText;
  std::string endText;
  bool entireDisk = false;
  std::uint64_t diskSizeBytes = 0;  // "TY Windows\Size" of the disk, for the entire disk
};
struct RangeResult {
  std::optional<Message> refusal;  // nothing: accepted
  std::int32_t start = 0;
  std::int32_t last = 0;  // the last sector in the range
};
RangeResult checkRange(const RangeInput& input);

// What Start Recovery makes of the raw page's Sector Range: start and end sectors as
// typed (unsigned), the end the first sector after the range.
struct RawRangeInput {
  std::string startText;
  std::string endText;
  std::uint64_t diskSectors = 0;
};
struct RawRangeResult {
  std::optional<Message> refusal;  // nothing: accepted
  bool restoreEnd = false;         // the end field gets the disk's sector count back
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};
RawRangeResult checkRawRange(const RawRangeInput& input);

// The help pane's text: the heading block, the lines, and the closing rule.
inline constexpr const char* kHelpHeading =
    "____________________ ONLINE HELP _____________________________";
inline constexpr const char* kHelpRule =
    "_____________________________________________________________";
inline constexpr const char* kHelpLineBreak = "\r\r\n";
// The closing rule of the text shown while the partition search runs.
inline constexpr const char* kHelpSearchRule =
    "______________________________________________________________";
std::string helpText(const std::vector<std::string>& lines, const std::string& rule = kHelpRule);

// Help pane texts of the wizard.
namespace help {
inline const std::vector<std::string> kStart = {"   Click on a Disk to select it..."};
inline const std::vector<std::string> kProceed = {"   Click on Next Button to Proceed..."};
inline const std::vector<std::string> kModeChosen = {"   Click Next Button to Proceed..."};
inline const std::vector<std::string> kStoring = {"   Storing Information Please Wait..."};
inline const std::vector<std::string> kPartitionPage = {
    "   Click on Next Button to recover selected partition   (OR)",
    "   Select partition that you want to recover   (OR) ",
    "   Click on Search More Partitions button to searching more partition"};
inline const std::vector<std::string> kSearching = {"   Searching Partitions Please Wait...", ""};
inline const std::vector<std::string> kNoPartition = {
    "   This Disk does not contain any Partition",
    "   Click on Search More Partition to search Partition (OR)",
    "   Click on Back button to select another Hard Disk"};
inline const std::vector<std::string> kNothingFound = {
    "   This Disk does not contain any Partition",
    "   Click on Back button to select another Hard Disk"};
// Added when the disk holds more partitions than the list can name.
inline const std::vector<std::string>::value_type kMorePartitions =
    "   The disk holds more partitions than the 26 listed here";
}  // namespace help

// The label rows of the information list on the partition page.
struct InfoRow {
  std::string label, value;
  std::string text() const { return label + value; }
};
std::vector<InfoRow> quickPartitionRows(unsigned disk, unsigned partitionNumber,
                                        const std::string& type, std::uint64_t start,
                                        std::uint64_t end);
std::vector<InfoRow> scanRangeRows(unsigned disk, unsigned partitionNumber, const std::string& type,
                                   std::uint64_t start, std::uint64_t last,
                                   const std::string& modeText);

}  // namespace tessaly::wizard

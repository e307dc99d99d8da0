#include "wizard/rules.h"

#include <limits>

namespace tessaly::wizard {

int typeIndexOf(FileSystem fileSystem) {
  switch (fileSystem) {
    case FileSystem::Fat16: return kTypeFat16;
    case FileSystem::Fat32: return kTypeFat32;
    case FileSystem::Ntfs: return kTypeNtfs;
    default: return kTypeNone;
  }
}

FileSystem typeOfIndex(int index) {
  switch (index) {
    case kTypeFat16: return FileSystem::Fat16;
    case kTypeFat32: return FileSystem::Fat32;
    case kTypeNtfs: return FileSystem::Ntfs;
    default: return FileSystem::None;
  }
}

std::optional<std::int32_t> parseSigned32(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    // Beyond the 32-bit range the field does not hold a number.
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0))
      return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

RangeResult checkRange(const RangeInput& input) {
  RangeResult r;
  if (input.typeIndex < kTypeFat16 || input.typeIndex > kTypeNtfs) {
    r.refusal = msg::kSelectPartitionType;
    return r;
  }
  auto start = parseSigned32(input.startText);
  if (!start) {
    r.refusal = msg::kStartSectorNotValid;
    return r;
  }
  std::int32_t end = 0;
  if (input.entireDisk) {
    // The disk's sector count taken as a signed 32-bit number: a disk of 2^31 sectors
    // or more gives a negative end, which the comparison below refuses.
    end = static_cast<std::int32_t>(static_cast<std::uint32_t>(input.diskSizeBytes / 512));
    start = 0;
  } else {
    auto parsed = parseSigned32(input.endText);
    if (!parsed) {
      r.refusal = msg::kEndSectorNotValid;
      return r;
    }
    end = *parsed;
  }
  // The field holds the first sector after the range.
  const std::int32_t last = end > 0 ? end - 1 : end;
  if (!(*start < last)) {
    r.refusal = msg::kEndBelowStart;
    return r;
  }
  r.start = *start;
  r.last = last;
  return r;
}

namespace {

// Digits only (blanks around them allowed), at most 64 bits.
std::optional<std::uint64_t> parseUnsigned(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = first; i <= last; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

RawRangeResult checkRawRange(const RawRangeInput& input) {
  RawRangeResult r;
  const auto end = parseUnsigned(input.endText);
  if (!end) {
    r.refusal = msg::kInvalidEndSector;
    r.restoreEnd = true;
    return r;
  }
  const auto start = parseUnsigned(input.startText);
  if (!start) {
    r.refusal = msg::kInvalidStartSector;
  } else if (*start >= *end) {
    r.refusal = msg::kStartNotBelowEnd;
  } else if (*end > input.diskSectors) {
    r.refusal = msg::kInvalidEndSector;
  } else {
    r.start = *start;
    r.end = *end;
  }
  return r;
}

std::string helpText(const std::vector<std::string>& lines, const std::string& rule) {
  std::string text = std::string(kHelpHeading) + kHelpLineBreak + kHelpLineBreak;
  for (const std::string& line : lines) text += line + kHelpLineBreak;
  return text + rule;
}

std::vector<InfoRow> quickPartitionRows(unsigned disk, unsigned partitionNumber,
                                        const std::string& type, std::uint64_t start,
                                        std::uint64_t end) {
  return {{"Disk Number :", std::to_string(disk)},
          {"Partition Number : ", std::to_string(partitionNumber)},
          {"Partition Type : ", type},
          {"Search Mode : ", "Quick"},
          {"Start Sector : ", std::to_string(start)},
          {"End Sector : ", std::to_string(end)}};
}

std::vector<InfoRow> scanRangeRows(unsigned disk, unsigned partitionNumber, const std::string& type,
                                   std::uint64_t start, std::uint64_t last,
                                   const std::string& modeText) {
  return {{"Disk Number : ", std::to_string(disk)},
          {"Partiton Number : ", std::to_string(partitionNumber)},
          {"Partition Type : ", type},
          {"Search Range : ", std::to_string(start) + " To " + std::to_string(last)},
          {"Search Mode : ", modeText}};
}

}  // namespace tessaly::wizard

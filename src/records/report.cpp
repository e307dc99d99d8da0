#include "records/report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessaly {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr const char* kUnknownPartition = "Unknown (partition searching aborted)";

bool isAdvancedOccasion(ReportOccasion o) {
  return o == ReportOccasion::AdvancedFatFinished || o == ReportOccasion::AdvancedNtfsFinished;
}

// "Quick" or "Advance" after the recovery mode; nothing in Raw mode.
std::string_view modeText(int recoveryMode) {
  if (recoveryMode == 1) return "Quick";
  if (recoveryMode == 2) return "Advance";
  return {};
}

std::string_view searchModeOf(ReportOccasion occasion, int recoveryMode) {
  if (occasion == ReportOccasion::QuickScanFinished) return "Quick";
  if (isAdvancedOccasion(occasion)) return "Advance";
  return modeText(recoveryMode);
}

// Numbers appear as the 32-bit signed values they were kept as.
std::string signed32(std::uint64_t v) { return std::to_string(static_cast<std::int32_t>(v)); }

std::string diskLine(ReportOccasion occasion, const ReportFacts& f) {
  return (occasion == ReportOccasion::Stopped ? "Physical Disk Number : " : "Disk Number : ") +
         std::to_string(f.selectedDisk);
}
std::string modelLine(const ReportFacts& f) { return "Model Number : " + f.model; }
std::string partitionNumberLine(std::string_view value) { return "Partition Number : " + std::string(value); }
std::string partitionTypeLine(std::string_view value) { return "Partition Type : " + std::string(value); }
std::string searchModeLine(std::string_view mode) { return "Search Mode : " + std::string(mode); }
std::string entireDiskLine(const ReportFacts& f) {
  return std::string("Search Entire Disk Status: ") + (f.searchEntireDisk ? "TRUE" : "FALSE");
}
std::string rangeLine(const ReportFacts& f) {
  return "Search Range : " + signed32(f.firstSector) + " to " + signed32(f.lastSector);
}

}  // namespace

std::string reportBlock(ReportOccasion occasion, const ReportFacts& facts) {
  const bool searching = occasion == ReportOccasion::ClosedDuringPartitionSearch;
  std::string block;
  auto line = [&block](const std::string& text) {
    block += text;
    block += kLineEnd;
  };
  line(diskLine(occasion, facts));
  line(modelLine(facts));
  if (searching) {
    line(partitionNumberLine("Unknown"));
    line(partitionTypeLine("Unknown"));
  } else {
    const std::uint32_t shown = facts.partitionIndex + (occasion == ReportOccasion::Stopped ? 1 : 0);
    line(partitionNumberLine(signed32(shown)));
    line(partitionTypeLine(facts.fileSystem));
  }
  const std::string_view mode = searchModeOf(occasion, facts.recoveryMode);
  if (!mode.empty()) line(searchModeLine(mode));
  if (searching) return block;
  if (occasion != ReportOccasion::QuickScanFinished) line(entireDiskLine(facts));
  line(rangeLine(facts));
  return block;
}

PrintedReportLines updatePrintedLines(const PrintedReportLines& kept, ReportOccasion occasion,
                                      const ReportFacts& facts) {
  using L = PrintedReportLines;
  const bool searching = occasion == ReportOccasion::ClosedDuringPartitionSearch;
  PrintedReportLines p = kept;
  p.lines[L::Disk] = diskLine(occasion, facts);
  p.lines[L::Model] = modelLine(facts);
  p.lines[L::PartitionNumber] =
      partitionNumberLine(searching ? kUnknownPartition : signed32(facts.partitionIndex));
  p.lines[L::PartitionType] = partitionTypeLine(searching ? kUnknownPartition : facts.fileSystem);
  const std::string_view mode = modeText(facts.recoveryMode);
  if (!mode.empty()) p.lines[L::SearchMode] = searchModeLine(mode);
  if (!searching) {
    p.lines[L::SearchRange] = rangeLine(facts);
    p.lines[L::EntireDisk] = entireDiskLine(facts);
  }
  return p;
}

std::string reportEntry(const std::tm& t, std::string_view block) {
  std::string entry;
  entry += kLineEnd;
  entry.append(63, '=');
  entry += ' ';
  entry += kLineEnd;
  entry += kLineEnd;
  entry += std::to_string(t.tm_mday) + "\\" + std::to_string(t.tm_mon + 1) + "\\" +
           std::to_string(t.tm_year + 1900);
  entry += kLineEnd;
  entry += std::to_string(t.tm_hour) + ":" + std::to_string(t.tm_min) + ":" + std::to_string(t.tm_sec);
  entry += kLineEnd;
  entry += block;
  return entry;
}

std::tm localReportTime() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

bool reportStartsAfresh(std::uint64_t fileSize) { return fileSize > kReportSizeLimit; }

std::string reportFilePath(const std::string& installFolder) {
  return installFolder + "/" + kReportFileName;
}

ReportAppend appendReportEntry(const std::string& path, std::string_view entry) {
  ReportAppend result;
  struct stat st {};
  result.existed = ::stat(path.c_str(), &st) == 0;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return result;
  off_t size = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  if (reportStartsAfresh(static_cast<std::uint64_t>(size))) {
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return result;
    }
    size = 0;
  }
  std::size_t done = 0;
  while (done < entry.size()) {
    const ssize_t n = ::pwrite(fd, entry.data() + done, entry.size() - done, size + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  result.written = done == entry.size() && ::fsync(fd) == 0;
  ::close(fd);
  return result;
}

}  // namespace tessaly

#include "recovery/advanced_scan.h"

#include "fat/file_system_search.h"
#include "partition/partition_walk.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

ScanEnd runAdvancedFatSearch(Session& session, ScanState& scan) {
  session.deviceWatch.reset();
  const FileSystem fs = session.partitionSelection.fileSystem;
  if (fs != FileSystem::Fat16 && fs != FileSystem::Fat32) return ScanEnd::NotAvailable;
  Report& report = *session.report;
  // A range that runs past the end of the disk is swept up to its end.
  const RangeOnDisk onDisk = clipSelectionToDisk(session);
  if (onDisk.offDisk) {
    report.status(onDisk.note);
    session.messageBox(onDisk.note, MessageButtons::Ok, MessageIcon::Information);
    return ScanEnd::NotAvailable;
  }
  if (onDisk.clipped) {
    report.status(onDisk.note);
    scan.notes.push_back(onDisk.note);
  }
  report.counterLabel(Counter::FoldersFound, session.text(msg::kDirectoriesFound));
  sweepForFileSystems(session, scan);
  report.stopOffered(false);
  identifyFileSystems(session, scan);
  if (!session.deviceLost()) return ScanEnd::Finished;
  const std::string message = deviceLostMessage(session);
  report.status(message);
  session.messageBox(message, MessageButtons::Ok, MessageIcon::Error);
  return ScanEnd::DeviceLost;
}

std::string fileSystemItemText(std::size_t i, const FileSystemRow& row) {
  return "File System " + std::to_string(i + 1) + " - " + std::string(fileSystemName(row.type));
}

std::vector<std::string> fileSystemSummaryRows(std::size_t i, const FileSystemRow& row) {
  return {"File System - " + std::to_string(i + 1),
          "Partition Type : " + std::string(fileSystemName(row.type)),
          "File System Start : " + std::to_string(row.cluster0Start),
          "Sectors Per Clusters : " + std::to_string(row.sectorsPerCluster)};
}

std::optional<std::size_t> fileSystemNumberOfItem(const std::string& text, bool fatSelection) {
  const std::size_t tail = fatSelection ? 8 : 7;
  if (text.size() <= 12 || text.size() < 12 + tail + 1 || text.rfind("File System ", 0) != 0)
    return std::nullopt;
  const std::string digits = text.substr(12, text.size() - 12 - tail);
  if (digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return static_cast<std::size_t>(std::stoul(digits));
}

}  // namespace tessaly

#include "recovery/advanced_scan.h"

#include <cstdint>

#include "fat/file_system_search.h"
#include "ntfs/mft_resolution.h"
#include "ntfs/mft_sweep.h"
#include "partition/partition_walk.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {

// A range that runs past the end of the disk is swept up to its end, with a note; false
// when it starts past the end and there is nothing to sweep.
bool clipRangeToDisk(Session& session, ScanState& scan) {
  const RangeOnDisk onDisk = clipSelectionToDisk(session);
  if (onDisk.offDisk) {
    session.report->status(onDisk.note);
    session.messageBox(onDisk.note, MessageButtons::Ok, MessageIcon::Information);
    return false;
  }
  if (onDisk.clipped) {
    session.report->status(onDisk.note);
    scan.notes.push_back(onDisk.note);
  }
  scan.diskEndNote = onDisk.clipped ? onDisk.note : std::string();
  return true;
}

// Finished, or the disk stopped answering: then the status line and a message say so.
ScanEnd endOfSearch(Session& session) {
  if (!session.deviceLost()) return ScanEnd::Finished;
  const std::string message = deviceLostMessage(session);
  session.report->status(message);
  session.messageBox(message, MessageButtons::Ok, MessageIcon::Error);
  return ScanEnd::DeviceLost;
}

}  // namespace

ScanEnd runAdvancedFatSearch(Session& session, ScanState& scan) {
  session.deviceWatch.reset();
  const FileSystem fs = session.partitionSelection.fileSystem;
  if (fs != FileSystem::Fat16 && fs != FileSystem::Fat32) return ScanEnd::NotAvailable;
  Report& report = *session.report;
  if (!clipRangeToDisk(session, scan)) return ScanEnd::NotAvailable;
  report.counterLabel(Counter::FoldersFound, session.text(msg::kDirectoriesFound));
  sweepForFileSystems(session, scan);
  report.stopOffered(false);
  identifyFileSystems(session, scan);
  return endOfSearch(session);
}

ScanEnd runAdvancedNtfsSearch(Session& session, ScanState& scan) {
  session.deviceWatch.reset();
  if (session.partitionSelection.fileSystem != FileSystem::Ntfs) return ScanEnd::NotAvailable;
  if (!clipRangeToDisk(session, scan)) return ScanEnd::NotAvailable;
  Report& report = *session.report;
  report.counterLabel(Counter::FoldersFound, "Files Found");
  const SweepEnd swept = sweepNtfsRange(session, scan);
  report.stopOffered(false);
  if (swept == SweepEnd::Beyond32Bits || swept == SweepEnd::NoSpillFile) {
    const std::string message =
        swept == SweepEnd::Beyond32Bits
            ? std::string("This range reaches beyond the first 2 TiB of the disk, which the Advanced NTFS "
                          "search cannot number. Choose a range that ends below sector 4294967296.")
            : "The spill file TempInfo1.dat could not be created in " + session.catalogueFolder() +
                  ": the records found cannot be kept.";
    scan.notes.push_back(message);
    report.status(message);
    session.messageBox(message, MessageButtons::Ok, MessageIcon::Error);
    return ScanEnd::NoFileSystem;
  }
  resolveMftReferences(session, scan);
  return endOfSearch(session);
}

ScanEnd runAdvancedSearch(Session& session, ScanState& scan) {
  if (session.partitionSelection.fileSystem == FileSystem::Ntfs) return runAdvancedNtfsSearch(session, scan);
  return runAdvancedFatSearch(session, scan);
}

bool prepareChosen(Session& session, ScanState& scan, std::size_t chosen) {
  if (chosen < scan.fileSystems.size() && scan.fileSystems[chosen].type == FileSystem::Ntfs)
    return prepareChosenNtfs(session, scan, chosen);
  return prepareChosenFileSystem(session, scan, chosen);
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

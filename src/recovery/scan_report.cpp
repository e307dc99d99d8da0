#include "recovery/scan_report.h"

#include "platform/paths.h"
#include "session/session.h"

namespace tessaly {

ReportFacts reportFacts(const Session& session, int recoveryMode, bool searchEntireDisk) {
  const PartitionSelection& s = session.partitionSelection;
  ReportFacts facts;
  facts.selectedDisk = s.selectedDisk;
  facts.model = session.currentDiskModel;
  facts.partitionIndex = s.partitionIndex;
  facts.fileSystem = std::string(fileSystemName(s.fileSystem));
  facts.recoveryMode = recoveryMode;
  facts.searchEntireDisk = searchEntireDisk;
  facts.firstSector = s.firstSector;
  facts.lastSector = s.lastSector;
  return facts;
}

std::string reportPath(const Session& session) {
  return platform::joinPath(session.dataFolder(), kReportFileName);
}

bool writeScanReport(Session& session, ReportOccasion occasion, const ReportFacts& facts,
                     PrintedReportLines& printed) {
  if (session.floppySelected()) return false;
  printed = updatePrintedLines(printed, occasion, facts);
  const ReportAppend append = appendReportEntry(
      reportPath(session), reportEntry(localReportTime(), reportBlock(occasion, facts)));
  if (append.written && append.existed) session.registry.writeValue(kReportCountKey, "Count", "1");
  return append.written;
}

}  // namespace tessaly

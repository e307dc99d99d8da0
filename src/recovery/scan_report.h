// The recovery report of an occasion (a scan finished, stopped, or cut short by closing):
// the facts of the session's choice, the block appended to the report file and the
// lines Print Report prints. The codec is records/report.h.
#pragma once

#include <string>

#include "records/report.h"

namespace tessaly {

class Session;

// The registry key whose "Count" value is set to "1" once an entry has been appended to
// a report file that was there before.
inline constexpr const char* kReportCountKey = "TY Windows\\LogCount";

// What the report of the current choice tells: the disk, its model, the partition, the
// file system and the sectors of session.partitionSelection.
ReportFacts reportFacts(const Session& session, int recoveryMode, bool searchEntireDisk);

// The report file: "LogDetails.txt" in the session's data folder.
std::string reportPath(const Session& session);

// Appends the occasion's entry to the report file and replaces the printed lines it
// replaces. A floppy writes no report. False when the entry did not reach the file (the
// recovery goes on all the same).
bool writeScanReport(Session& session, ReportOccasion occasion, const ReportFacts& facts,
                     PrintedReportLines& printed);

}  // namespace tessaly

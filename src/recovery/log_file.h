// Saving a scan's result as a recovery log and putting a loaded log in place of a scan,
// whatever the file system: what the Save Log and Load Log commands of the wizard and
// the CLI's --log and --load-log run. The byte layout is records/recovery_log.h.
#pragma once

#include <optional>
#include <string>

#include "config/message_table.h"
#include "records/recovery_log.h"

namespace tessaly {

class Session;
struct ScanState;

// The message the save shows when the catalogue is empty; the program goes on.
inline constexpr const char* kEmptyCatalogueMessage =
    "Cannot continue further, error in creating file";
// The extension filter of the log file choosers.
inline constexpr const char* kLogFilter = "*.SAV";

// Everything a scan's log holds: the session's choice and disk model, the scan's two
// parameter records, every catalogue record in order and, on NTFS, every file entry.
RecoveryLog recoveryLogOf(const Session& session, ScanState& scan, int recoveryMode);

enum class LogSaveEnd {
  Written,
  Floppy,          // "Recovery can not be saved for Floppy": nothing written
  EmptyCatalogue,  // the scan found no folder: nothing written
  CannotOpen,      // "Unable to open file": nothing written
};
// Writes the log of the scan to path (replacing a file there). A file that could not be
// written whole is removed rather than left half written.
LogSaveEnd saveRecoveryLogFile(const Session& session, ScanState& scan, int recoveryMode,
                               const std::string& path);

enum class LogLoadEnd {
  Loaded,
  CannotOpen,   // "Unable to open file"
  ErrorInFile,  // "Error in file": damaged, truncated or not a log
  WrongDisk,    // "You Have Selected Wrong Disk"
};
struct LogRead {
  LogLoadEnd end = LogLoadEnd::Loaded;
  RecoveryLog log;  // whole only when end is Loaded
};
// Reads and checks a log file without changing anything: a damaged file and a log of
// another disk (its model text differs from currentModel) are refused here.
LogRead readRecoveryLogFile(const std::string& path, const std::string& currentModel);

// The message of a refused save or load; nullopt for Written and Loaded (and for an empty
// catalogue, whose text has no number: kEmptyCatalogueMessage).
std::optional<Message> logSaveMessage(LogSaveEnd end);
std::optional<Message> logLoadMessage(LogLoadEnd end);

// Puts a checked log in place of a scan: the session's partition choice (for the disk
// selected now), both parameter records, the folder table (FAT) or the NTFS folder and
// file tables, and the folder tree built from them, as a finished Quick scan leaves
// them. scan must be a fresh scan state. Each folder keeps the deleted mark the log
// gives it, so that a deleted folder's files are listed and saved as after the scan.
void loadRecoveryLog(Session& session, ScanState& scan, const RecoveryLog& log);

}  // namespace tessaly

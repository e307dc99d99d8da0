// What the scan and recover commands share: the disk and the range named on the command
// line, a session over them, and the Quick scan.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/frontend.h"
#include "recovery/log_file.h"
#include "recovery/quick_scan.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly::cli {

// Options every scanning command takes (besides its own).
inline const std::set<std::string> kScanValued = {"partition", "fs",   "bad-sectors", "memory-limit",
                                                  "mode",      "filesystem"};
inline const std::set<std::string> kScanFlags = {"floppy", "range", "json", "quiet"};

class ScanRun {
 public:
  // Parses DISK and --partition N | --floppy | --range FIRST LAST --fs FS from args.
  // On a usage or open error prints it and returns nullptr with exitCode set.
  // The disk is opened through devices (a device attached to it for slot 0 or the floppy
  // is used ahead of the path named).
  static std::unique_ptr<ScanRun> open(const Args& args, const std::vector<std::string>& argv,
                                       const DialogAnswers& answers, int& exitCode, platform::DeviceTable& devices);
  ~ScanRun();

  // Validates (or calculates) the layout and runs the Quick scan into a new scan state.
  // NotAvailable when the file system cannot be scanned in Quick mode (the reason is
  // printed); DeviceLost when the disk stopped answering (the message was shown).
  // In Advanced mode: the search of the range, then the chosen file system's tree;
  // NoFileSystem when none was identified or the chosen one does not exist (printed).
  ScanEnd scan();
  bool advanced() const { return advanced_; }
  // The chosen file system, 1-based as the file-system tree numbers them (Advanced).
  std::size_t chosenFileSystem() const { return chosenFileSystem_; }
  // Instead of a scan: puts the recovery log at path in place of one, after checking
  // that it was made on this disk. Prints the reason when it is refused.
  LogLoadEnd loadLog(const std::string& path);
  // Writes the log of the last scan to path (the name rule of Save Log applied first).
  // False, with the reason printed, when nothing was written.
  bool saveLog(const std::string& path);

  Session& session() { return *session_; }
  // The scan of the last scan() (null before it).
  ScanState& scanState() { return *scan_; }
  CliReport& report() { return report_; }
  const std::string& disk() const { return disk_; }
  std::string rangeText() const;

 private:
  ScanRun(bool quiet, const DialogAnswers& answers, platform::DeviceTable& devices);
  ScanEnd scanAdvanced();
  platform::DeviceTable& devices_;
  CliReport report_;
  CliDialogs dialogs_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<ScanState> scan_;
  std::string disk_;
  std::string label_;
  std::string scratch_;
  bool advanced_ = false;
  std::size_t chosenFileSystem_ = 1;
};

// The file systems an Advanced search found, one line each, for the text output.
void printFileSystems(std::ostream& out, const ScanState& scan, std::size_t chosen);

}  // namespace tessaly::cli

// What the scan and recover commands share: the disk and the range named on the command
// line, a session over them, and the Quick scan.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/frontend.h"
#include "session/session.h"

namespace tessaly::cli {

// Options every scanning command takes (besides its own).
inline const std::set<std::string> kScanValued = {"partition", "fs", "bad-sectors", "memory-limit"};
inline const std::set<std::string> kScanFlags = {"floppy", "range", "json", "quiet"};

class ScanRun {
 public:
  // Parses DISK and --partition N | --floppy | --range FIRST LAST --fs FS from args.
  // On a usage or open error prints it and returns nullptr with exitCode set.
  static std::unique_ptr<ScanRun> open(const Args& args, const std::vector<std::string>& argv,
                                       const DialogAnswers& answers, int& exitCode);
  ~ScanRun();

  // Validates (or calculates) the layout and runs the Quick scan. False when the file
  // system cannot be scanned in Quick mode; the reason is printed.
  bool scan();

  Session& session() { return *session_; }
  CliControls& controls() { return controls_; }
  const std::string& disk() const { return disk_; }
  std::string rangeText() const;

 private:
  ScanRun(bool quiet, const DialogAnswers& answers);
  platform::DeviceTable devices_;
  CliControls controls_;
  CliDialogs dialogs_;
  std::unique_ptr<Session> session_;
  std::string disk_;
  std::string label_;
  std::string scratch_;
};

}  // namespace tessaly::cli

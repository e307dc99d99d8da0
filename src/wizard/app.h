// The program: reads its command line into the device table, creates the main window,
// initialises it and runs it until it closes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"
#include "wizard/wx.h"

namespace tessaly::wizard {

// tessaly [--floppy IMAGE] [DISK ...]: the disks (or images) fill the device table's
// slots in order; with none named the machine's own disks do. nullopt on a usage error
// (message set).
struct CommandLine {
  std::vector<std::string> disks;
  std::optional<std::string> floppy;
};
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& message);
platform::DeviceTable deviceTableFor(const CommandLine& line);

class App : public wxApp {
 public:
  bool OnInit() override;
  int OnExit() override;
  // The program's exit code (1 when it could not start).
  int exitCode() const { return exitCode_; }

 private:
  std::optional<platform::DeviceTable> devices_;
  int exitCode_ = 0;
};

}  // namespace tessaly::wizard

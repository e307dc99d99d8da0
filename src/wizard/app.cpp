#include "wizard/app.h"

#include <iostream>

#include "session/session.h"
#include "wizard/main_window.h"

namespace tessaly::wizard {

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& message) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--floppy") {
      if (i + 1 >= args.size()) {
        message = "--floppy needs an image file";
        return std::nullopt;
      }
      line.floppy = args[++i];
    } else if (arg.rfind("--", 0) == 0) {
      message = "unknown option " + arg;
      return std::nullopt;
    } else {
      line.disks.push_back(arg);
    }
  }
  return line;
}

platform::DeviceTable deviceTableFor(const CommandLine& line) {
  platform::DeviceTable devices = line.disks.empty()
                                      ? platform::DeviceTable::fromSystem()
                                      : platform::DeviceTable::fromPaths(line.disks, line.floppy);
  if (line.floppy) devices.setFloppy(*line.floppy);
  return devices;
}

bool App::OnInit() {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i].utf8_string());
  std::string message;
  auto line = parseCommandLine(args, message);
  if (!line) {
    std::cerr << "tessaly: " << message << "\nusage: tessaly [--floppy IMAGE] [DISK ...]\n";
    exitCode_ = 2;
    return false;
  }
  devices_.emplace(deviceTableFor(*line));

  WindowOptions options;
  options.devices = &*devices_;
  auto* window = new MainWindow(std::move(options));
  try {
    window->initialise();
  } catch (const ProgramExit& exit) {
    // The reason was shown already ("Tessaly is not installed properly", ...).
    exitCode_ = exit.code;
    window->Destroy();
    return false;
  }
  window->Show();
  return true;
}

int App::OnExit() { return exitCode_; }

}  // namespace tessaly::wizard

// tessaly-cli register [FOLDER]: records the installation folder (where the programs,
// the catalogue component and the language files lie) in the configuration key of the
// user's registry folder. Without FOLDER, the folder of tessaly-cli itself.
#include <iostream>

#include "cli/commands.h"
#include "config/configuration.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace tessaly::cli {

int registerCommand(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::cerr << "usage: tessaly-cli register [INSTALL-FOLDER]\n";
    return 2;
  }
  const std::string folder = args.empty() ? platform::executableFolder() : args[0];
  if (!platform::isDirectory(folder)) {
    std::cerr << "tessaly-cli: " << folder << " is not a folder\n";
    return 1;
  }
  auto registry = platform::Registry::forUser();
  if (!registerInstallFolder(registry, folder)) {
    std::cerr << "tessaly-cli: cannot write the configuration into " << registry.folder() << '\n';
    return 1;
  }
  std::cout << "Installation folder " << folder << " registered in " << registry.folder() << '\n';
  return 0;
}

}  // namespace tessaly::cli

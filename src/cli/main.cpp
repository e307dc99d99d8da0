// tessaly-cli: a headless front end over the Tessaly core.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/image_formats.h"
#include "session/session.h"

namespace {

void usage() {
  std::cerr
      << "usage: tessaly-cli COMMAND [ARGS]\n"
         "commands:\n"
         "  disks [--floppy IMAGE] [DISK ...]\n"
         "                             list the disks (all of this machine when none is\n"
         "                             named) with their model, media, geometry and size\n"
         "  partitions DISK            list the partitions of a disk or disk image\n"
         "  register [FOLDER]          record the installation folder in the settings\n"
         "  scan DISK (--partition N | --range FIRST LAST --fs FS) | scan IMAGE --floppy\n"
         "                             Quick scan: the folder tree and the deleted files\n"
         "                             (--log FILE.SAV keeps the result in a recovery log)\n"
         "  recover DISK ... --out DIR  scan, then save the recoverable files into DIR\n"
         "  recover DISK --load-log FILE.SAV --out DIR\n"
         "                             the same from a recovery log, without scanning\n"
         "  carve DISK [--range FIRST LAST] --types doc,xls,ppt,zip --out DIR\n"
         "                             raw recovery: documents and archives found by content\n"
         "  --version                  the version and the image formats this build reads\n"
         "exit status:\n"
         "  0  done: the volume was read, every listed file saved whole\n"
         "  1  failed: nothing readable, no file system, the MFT lost, a write error, or\n"
         "     a destination on the disk being recovered (--allow-same-disk overrides)\n"
         "  2  usage error\n"
         "  3  recover finished, but some files are incomplete (unreadable bytes saved\n"
         "     as zeros; each file and its missing byte ranges are listed)\n"
         "  130, 143, 129  stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP: what was saved\n"
         "     before the stop is kept, the file being saved is not\n";
}

void version() {
  std::cout << "tessaly-cli " TESSALY_VERSION "\nImage formats: raw";
  for (const auto& format : tessaly::platform::availableImageFormats()) std::cout << ", " << format;
  std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    usage();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    version();
    return 0;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  try {
    if (command == "disks") return tessaly::cli::disksCommand(args);
    if (command == "partitions") return tessaly::cli::partitionsCommand(args);
    if (command == "register") return tessaly::cli::registerCommand(args);
    if (command == "scan") return tessaly::cli::scanCommand(args);
    if (command == "recover") return tessaly::cli::recoverCommand(args);
    if (command == "carve") return tessaly::cli::carveCommand(args);
  } catch (const tessaly::ProgramExit& exit) {
    return exit.code;
  }
  std::cerr << "tessaly-cli: unknown command '" << command << "'\n";
  usage();
  return 2;
}

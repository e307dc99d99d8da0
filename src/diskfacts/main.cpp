// diskfacts: the disk-facts helper. One pass over the drives of the device table; for each
// drive it writes the disk-facts key (kind, media type, size, model, geometry) that the
// main program lists the disks from. It shows nothing and ends when the values are written.
//
//   diskfacts [--registry FOLDER] [-- DISK ...]
//
// The main program starts it with the folder of its registry and, after "--", the disks of
// its own device table in slot order (possibly none), so that both programs number the
// disks alike: slot n is disk n. Run with no "--" and no disks it describes the whole-disk
// block devices of this machine, as the main program does when no disk is named.
// Without --registry it writes to the per-user registry folder.
#include <cstdio>
#include <string>
#include <vector>

#include "diskfacts/drive_properties.h"
#include "diskfacts/geometry_probe.h"
#include "diskfacts/linux_disk_facts.h"
#include "platform/device.h"
#include "platform/registry.h"

int main(int argc, char** argv) {
  using namespace tessaly;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string registryFolder;
  std::vector<std::string> disks;
  bool disksNamed = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {
      disks.insert(disks.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      disksNamed = true;
      break;
    }
    if (args[i] == "--registry" && i + 1 < args.size()) {
      registryFolder = args[++i];
    } else if (args[i].rfind("--", 0) == 0) {
      std::fprintf(stderr, "usage: diskfacts [--registry FOLDER] [-- DISK ...]\n");
      return 2;
    } else {
      disks.push_back(args[i]);
      disksNamed = true;
    }
  }

  platform::Registry registry =
      registryFolder.empty() ? platform::Registry::forUser() : platform::Registry(registryFolder);
  platform::DeviceTable table =
      disksNamed ? platform::DeviceTable::fromPaths(disks) : platform::DeviceTable::fromSystem();

  for (unsigned slot = 0; slot < table.disks().size(); ++slot) {
    auto facts = diskfacts::gatherDiskFacts(slot, table.disks()[slot]);
    if (!facts) continue;  // nothing there, or not a disk drive: no values at all
    diskfacts::writeProbeValues(registry, diskfacts::describeDrive(*facts));
  }
  return 0;
}

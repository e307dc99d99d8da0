#include "session/session.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

Session::Session(platform::DeviceTable& deviceTable, Report& reportSink, Dialogs& dialogSink)
    : devices(deviceTable), report(&reportSink), dialogs(&dialogSink) {
  for (unsigned n = 0; n < physicalDrivePaths.size(); ++n)
    physicalDrivePaths[n] = platform::DeviceTable::physicalDriveName(n);
}

bool Session::floppySelected() const {
  return selectedDiskName.size() >= 6 &&
         selectedDiskName.compare(selectedDiskName.size() - 6, 6, "Floppy") == 0;
}

std::string Session::selectedDiskDescription() const {
  const std::string name =
      floppySelected() ? platform::DeviceTable::floppyName() : selectedDevicePath();
  std::string text = selectedDiskName.empty() ? name : selectedDiskName;
  // A device put in the table by the program itself has no path to show.
  if (auto path = devices.resolve(name); path && *path != text && path->rfind("<attached", 0) != 0)
    text += " (" + *path + ")";
  return text;
}

std::string Session::catalogueFolder() const {
  if (!scratchFolder.empty()) return scratchFolder;
  return dataFolder();
}

std::string Session::dataFolder() const {
  if (!installFolder.empty() && ::access(installFolder.c_str(), W_OK) == 0) return installFolder;
  std::string data = platform::Registry::userHome() + "/data";
  for (std::size_t i = 1; i <= data.size(); ++i) {
    if (i == data.size() || data[i] == '/') ::mkdir(data.substr(0, i).c_str(), 0755);
  }
  return data;
}

}  // namespace tessaly

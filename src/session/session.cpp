#include "session/session.h"

namespace tessaly {

Session::Session(platform::DeviceTable& deviceTable, Controls& controlSink, Dialogs& dialogSink)
    : devices(deviceTable), controls(&controlSink), dialogs(&dialogSink) {
  for (unsigned n = 0; n < physicalDrivePaths.size(); ++n)
    physicalDrivePaths[n] = platform::DeviceTable::physicalDriveName(n);
}

bool Session::floppySelected() const {
  return selectedDiskName.size() >= 6 &&
         selectedDiskName.compare(selectedDiskName.size() - 6, 6, "Floppy") == 0;
}

}  // namespace tessaly

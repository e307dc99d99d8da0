#include "save/destination_check.h"

#include "platform/disk_identity.h"
#include "session/safe_text.h"
#include "session/session.h"

namespace tessaly {

namespace {

// The file or device behind the selected disk; empty for a device the program put in
// the table itself (tests), which lies on no disk of this machine.
std::string selectedDiskPath(const Session& session) {
  const std::string name =
      session.floppySelected() ? platform::DeviceTable::floppyName() : session.selectedDevicePath();
  const auto path = session.devices.resolve(name);
  if (!path || path->rfind("<attached", 0) == 0) return "";
  return *path;
}

}  // namespace

DestinationVerdict checkDestination(const Session& session, const std::string& folder) {
  const std::string disk = selectedDiskPath(session);
  const auto problem = platform::destinationProblem(disk, folder);
  if (!problem) return DestinationVerdict::Fine;
  return *problem == platform::DestinationProblem::SameDisk ? DestinationVerdict::SameDisk
                                                            : DestinationVerdict::SystemFolder;
}

std::string destinationProblemText(const Session& session, const std::string& folder,
                                   DestinationVerdict verdict) {
  const std::string where = terminalText(folder);
  if (verdict == DestinationVerdict::SystemFolder)
    return "The folder " + where +
           " belongs to the system's devices or kernel: recovered files cannot be saved there.";
  return "The folder " + where + " is on " + terminalText(session.selectedDiskDescription()) +
         ", the disk being recovered. Every file saved there can overwrite deleted files still to "
         "be recovered. "
         "Save to a folder on another disk.";
}

bool confirmDestination(Session& session, const std::string& folder) {
  const DestinationVerdict verdict = checkDestination(session, folder);
  if (verdict == DestinationVerdict::Fine) return true;
  const std::string text = destinationProblemText(session, folder, verdict);
  if (verdict == DestinationVerdict::SystemFolder) {
    session.messageBox(text, MessageButtons::Ok, MessageIcon::Error);
    return false;
  }
  return session.messageBox(text + "\n\nSave there anyway?", MessageButtons::YesNo,
                            MessageIcon::Warning) == kIdYes;
}

}  // namespace tessaly

// Whether a folder may receive recovered files: never, unasked, a folder on the disk
// being read (each file written there can land on clusters of deleted files still to be
// recovered), nor one inside the system's device, process or kernel folders.
#pragma once

#include <string>

namespace tessaly {

class Session;

enum class DestinationVerdict {
  Fine,
  SameDisk,      // on the disk being read: refused unless the user goes on knowingly
  SystemFolder,  // /dev, /proc, /sys and the like: always refused
};

// The verdict for a destination folder (which need not exist yet) and the selected disk.
DestinationVerdict checkDestination(const Session& session, const std::string& folder);

// The message for a verdict other than Fine, naming the folder and the disk.
std::string destinationProblemText(const Session& session, const std::string& folder,
                                   DestinationVerdict verdict);

// The question a front end asks before it takes a folder: a system folder is refused
// with a message; a folder on the disk being read is taken only when the user answers
// Yes to the warning. True when the folder may be used.
bool confirmDestination(Session& session, const std::string& folder);

}  // namespace tessaly

// The check every saving command makes of its output folder before it writes anything.
#pragma once

#include <string>

namespace tessaly {
class Session;
}

namespace tessaly::cli {

// False, with the reason printed, when nothing may be saved into folder: it is on the
// disk being read (unless allowSameDisk, which prints a warning and goes on) or in the
// system's device or kernel folders.
bool destinationAllowed(const Session& session, const std::string& folder, bool allowSameDisk);

}  // namespace tessaly::cli

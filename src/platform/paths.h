// Folders the program asks the system for: its own executable's, the temporary folder.
#pragma once

#include <string>

namespace tessaly::platform {

// GetTempPathA: $TMPDIR, else /tmp.
std::string tempFolder();
// The folder of the running program (from /proc/self/exe).
std::string executableFolder();
// Joins a folder and a name with one "/" between them.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tessaly::platform

// The stand-in for starting a program and waiting for it to end.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaly::platform {

// Starts the program (an absolute path) with the given arguments and waits for it.
// Returns its exit status, or nullopt when it could not be started or did not end normally.
std::optional<int> runAndWait(const std::string& program, const std::vector<std::string>& args);

// Starts a program found on PATH without waiting (xdg-open, xdg-email).
// False when it could not be started.
bool startDetached(const std::string& program, const std::vector<std::string>& args);

// True when a program of that name can be started from PATH.
bool programOnPath(const std::string& program);

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);

}  // namespace tessaly::platform

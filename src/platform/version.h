// The stand-in for GetVersionExA. Tessaly on Linux reports the NT family, version 5.1,
// so disk facts come from the diskfacts helper; tests may ask for other answers.
#pragma once

#include <cstdint>
#include <optional>

namespace tessaly::platform {

constexpr std::uint32_t kPlatformWin32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr std::uint32_t kPlatformWin32Nt = 2;       // VER_PLATFORM_WIN32_NT

struct VersionInfo {
  std::uint32_t platformId = kPlatformWin32Nt;
  std::uint32_t major = 5;
  std::uint32_t minor = 1;
};

// Null stands for a failing call (both record sizes refused).
std::optional<VersionInfo> versionInfo();
// Tests: replace the answer (nullopt inside the optional = the call fails); reset() restores.
void overrideVersion(std::optional<std::optional<VersionInfo>> answer);

}  // namespace tessaly::platform

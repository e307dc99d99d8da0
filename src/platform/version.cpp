#include "platform/version.h"

#include <mutex>

namespace tessaly::platform {

namespace {
std::mutex versionMutex;
std::optional<std::optional<VersionInfo>> versionOverride;
}  // namespace

std::optional<VersionInfo> versionInfo() {
  std::lock_guard lock(versionMutex);
  if (versionOverride) return *versionOverride;
  return VersionInfo{};
}

void overrideVersion(std::optional<std::optional<VersionInfo>> answer) {
  std::lock_guard lock(versionMutex);
  versionOverride = std::move(answer);
}

}  // namespace tessaly::platform

#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tessaly::platform {

std::string tempFolder() {
  if (const char* t = std::getenv("TMPDIR"); t && *t) return t;
  return "/tmp";
}

std::string executableFolder() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<std::size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace tessaly::platform

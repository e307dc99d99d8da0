#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace tessaly::platform {

namespace {

std::optional<pid_t> spawn(const std::string& program, const std::vector<std::string>& args,
                           bool searchPath) {
  std::vector<std::string> storage;
  storage.push_back(program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = searchPath ? ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)
                      : ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return std::nullopt;
  return pid;
}

}  // namespace

std::optional<int> runAndWait(const std::string& program, const std::vector<std::string>& args) {
  auto pid = spawn(program, args, false);
  if (!pid) return std::nullopt;
  int status = 0;
  while (::waitpid(*pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    // posix_spawn reports an exec failure of the child as exit status 127.
    if (code == 127 && !fileExists(program)) return std::nullopt;
    return code;
  }
  return std::nullopt;
}

bool startDetached(const std::string& program, const std::vector<std::string>& args) {
  auto pid = spawn(program, args, true);
  if (!pid) return false;
  // A detached waiter reaps the opener when it ends, so no zombie stays behind.
  std::thread([p = *pid] {
    int status = 0;
    while (::waitpid(p, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

bool programOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::string candidate = folder.empty() ? std::string(".") : folder;
    candidate.append("/").append(program);
    if (fileExists(candidate) && ::access(candidate.c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tessaly::platform

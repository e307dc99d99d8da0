#include "platform/disk_identity.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace tessaly::platform {

namespace {

// How deep loops on files on loops, and device-mapper stacks, are followed.
constexpr int kMaxDepth = 16;

std::string devText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

std::string fileKey(const struct stat& st) {
  return "file:" + devText(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::optional<dev_t> parseDev(const std::string& text) {
  unsigned maj = 0, min = 0;
  char colon = 0;
  std::istringstream in(text);
  if (!(in >> maj >> colon >> min) || colon != ':') return std::nullopt;
  return makedev(maj, min);
}

// The whole disk of a block device: a partition's parent, else the device itself.
dev_t wholeDisk(dev_t dev) {
  const std::string sys = "/sys/dev/block/" + devText(dev);
  if (::access((sys + "/partition").c_str(), F_OK) == 0) {
    if (auto parent = parseDev(firstLine(sys + "/../dev"))) return *parent;
  }
  return dev;
}

std::string sysName(dev_t dev) {
  char target[PATH_MAX] = {};
  const std::string link = "/sys/dev/block/" + devText(dev);
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return "";
  std::string path(target, static_cast<std::size_t>(n));
  return path.substr(path.rfind('/') + 1);
}

struct Mount {
  std::string point;
  std::string type;
  std::string source;
};

std::string unescapeMountField(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The mount of /proc/self/mountinfo with this device number whose mount point is the
// longest that holds `path`.
std::optional<Mount> mountOf(dev_t dev, const std::string& path) {
  std::ifstream in("/proc/self/mountinfo");
  std::optional<Mount> best;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devField, root, point, field;
    fields >> id >> parent >> devField >> root >> point;
    if (devField != devText(dev)) continue;
    while (fields >> field && field != "-") {
    }
    Mount m;
    fields >> m.type >> m.source;
    m.point = unescapeMountField(point);
    m.source = unescapeMountField(m.source);
    const bool holds = m.point == "/" || path == m.point || path.rfind(m.point + "/", 0) == 0;
    if (holds && (!best || m.point.size() > best->point.size())) best = m;
  }
  return best;
}

std::string existingFolder(std::string folder) {
  while (!folder.empty()) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved)) return resolved;
    const auto slash = folder.find_last_of('/');
    if (slash == std::string::npos) return ::realpath(".", resolved) ? resolved : "";
    folder = slash == 0 ? "/" : folder.substr(0, slash);
  }
  return "";
}

void addBlockDevice(dev_t dev, std::set<std::string>& keys, int depth);

// The disks a file lies on: the block device of its file system, found through the
// mount when the device number is not a block device's (FUSE, btrfs and the like).
void addFileSystemOf(const std::string& path, const struct stat& st, std::set<std::string>& keys,
                     int depth, std::string* type = nullptr) {
  if (depth > kMaxDepth) return;
  const auto mount = mountOf(st.st_dev, path);
  if (type && mount) *type = mount->type;
  if (::access(("/sys/dev/block/" + devText(st.st_dev)).c_str(), F_OK) == 0)
    addBlockDevice(st.st_dev, keys, depth + 1);
  if (!mount || mount->source.empty() || mount->source[0] != '/') return;
  struct stat source {};
  if (::stat(mount->source.c_str(), &source) != 0) return;
  if (S_ISBLK(source.st_mode)) {
    addBlockDevice(source.st_rdev, keys, depth + 1);
  } else if (S_ISREG(source.st_mode)) {
    // A file system read straight from an image file (ntfs-3g on a file).
    keys.insert(fileKey(source));
    char resolved[PATH_MAX];
    if (::realpath(mount->source.c_str(), resolved))
      addFileSystemOf(resolved, source, keys, depth + 1);
  }
}

void addBlockDevice(dev_t dev, std::set<std::string>& keys, int depth) {
  if (depth > kMaxDepth) return;
  const dev_t whole = wholeDisk(dev);
  if (!keys.insert("dev:" + devText(whole)).second) return;
  const std::string name = sysName(whole);
  if (name.empty()) return;
  // A loop device: the file behind it, and the disk that file lies on.
  const std::string backing = firstLine("/sys/block/" + name + "/loop/backing_file");
  struct stat st {};
  if (!backing.empty() && ::stat(backing.c_str(), &st) == 0) {
    keys.insert(fileKey(st));
    addFileSystemOf(backing, st, keys, depth + 1);
  }
  // A device-mapper (or md) device: the devices below it.
  for (const std::string& slavesOf :
       {"/sys/dev/block/" + devText(dev) + "/slaves", "/sys/block/" + name + "/slaves"}) {
    DIR* dir = ::opendir(slavesOf.c_str());
    if (!dir) continue;
    std::vector<std::string> slaves;
    while (dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.') slaves.push_back(e->d_name);
    ::closedir(dir);
    for (const std::string& slave : slaves)
      if (auto slaveDev = parseDev(firstLine(slavesOf + "/" + slave + "/dev")))
        addBlockDevice(*slaveDev, keys, depth + 1);
  }
}

}  // namespace

DiskKeys scannedDiskKeys(const std::string& path) {
  DiskKeys result;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return result;
  if (S_ISBLK(st.st_mode)) {
    result.keys.insert("dev:" + devText(wholeDisk(st.st_rdev)));
    return result;
  }
  if (!S_ISREG(st.st_mode)) return result;
  // An image file, and every loop device that reads it.
  result.keys.insert(fileKey(st));
  if (DIR* dir = ::opendir("/sys/block")) {
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name.rfind("loop", 0) != 0) continue;
      const std::string backing = firstLine("/sys/block/" + name + "/loop/backing_file");
      struct stat b {};
      if (backing.empty() || ::stat(backing.c_str(), &b) != 0) continue;
      if (b.st_dev != st.st_dev || b.st_ino != st.st_ino) continue;
      if (auto dev = parseDev(firstLine("/sys/block/" + name + "/dev")))
        result.keys.insert("dev:" + devText(*dev));
    }
    ::closedir(dir);
  }
  return result;
}

DiskKeys destinationDiskKeys(const std::string& folder) {
  DiskKeys result;
  const std::string existing = existingFolder(folder);
  struct stat st {};
  if (existing.empty() || ::stat(existing.c_str(), &st) != 0) return result;
  addFileSystemOf(existing, st, result.keys, 0, &result.fileSystemType);
  return result;
}

std::optional<DestinationProblem> destinationProblem(const std::string& scannedPath,
                                                     const std::string& folder) {
  const DiskKeys destination = destinationDiskKeys(folder);
  for (const char* type :
       {"devtmpfs", "proc", "sysfs", "devpts", "cgroup", "cgroup2", "debugfs", "securityfs"})
    if (destination.fileSystemType == type) return DestinationProblem::SystemFolder;
  for (const std::string& key : scannedDiskKeys(scannedPath).keys)
    if (destination.keys.count(key)) return DestinationProblem::SameDisk;
  return std::nullopt;
}

}  // namespace tessaly::platform

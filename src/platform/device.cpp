#include "platform/device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "platform/image_formats.h"

namespace tessaly::platform {

namespace {

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Errors that say the device itself went away, not one of its sectors.
bool isDeviceGoneError(int error) { return error == ENODEV || error == ENXIO || error == EBADF; }

}  // namespace

// ---------------------------------------------------------------- FileDevice

namespace {
// The window of a read that jumps away from the last one: the page it lies in (the
// bytes beyond it would be read from the device for nothing when they are not cached).
constexpr std::size_t kJumpWindow = 4 * 1024;
}  // namespace

FileDevice::FileDevice(int fd, std::string path, std::uint64_t size, bool block)
    : fd_(fd), path_(std::move(path)), size_(size), blockDevice_(block) {}

bool FileDevice::preadAll(std::uint64_t offset, std::uint8_t* out, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (isDeviceGoneError(errno)) gone_ = true;
      return false;
    }
    if (n == 0) return false;  // past the end of the device
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool FileDevice::gone() const {
  if (gone_) return true;
  // The path no longer names a device or file, or what it names is smaller than at open.
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return errno == ENOENT || errno == ENODEV || errno == ENXIO;
  if (blockDevice_) {
    unsigned long long bytes = 0;
    if (::ioctl(fd_, BLKGETSIZE64, &bytes) != 0) return isDeviceGoneError(errno);
    return bytes < size_;
  }
  struct stat own {};
  if (::fstat(fd_, &own) != 0) return true;
  return static_cast<std::uint64_t>(own.st_size) < size_;
}

FileDevice::~FileDevice() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<FileDevice> FileDevice::open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::uint64_t size = 0;
  bool block = S_ISBLK(st.st_mode);
  if (block) {
    unsigned long long bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
  } else if (S_ISREG(st.st_mode)) {
    size = static_cast<std::uint64_t>(st.st_size);
  } else {
    ::close(fd);
    return nullptr;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::unique_ptr<FileDevice>(new FileDevice(fd, path, size, block));
}

bool FileDevice::readDirect(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  return preadAll(offset, buffer.data(), buffer.size());
}

namespace {
// The window's bytes start on a page boundary: the kernel copies into a buffer that is not
// aligned several times slower, which would make every sweep far slower than reading
// the device.
constexpr std::size_t kPage = 4096;
std::uint8_t* pageAligned(std::vector<std::uint8_t>& bytes) {
  const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
  return bytes.data() + ((kPage - at % kPage) % kPage);
}
}  // namespace

bool FileDevice::read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (buffer.empty()) return true;
  // Large requests go straight to the device; the window serves small ones.
  if (buffer.size() > kWindow / 4) return readDirect(offset, buffer);
  std::lock_guard lock(mutex_);
  auto inWindow = [&] {
    return windowLength_ > 0 && offset >= windowStart_ &&
           offset + buffer.size() <= windowStart_ + windowLength_;
  };
  if (!inWindow()) {
    if (window_.empty()) window_.resize(kWindow + kPage);
    std::uint64_t start = offset & ~static_cast<std::uint64_t>(4095);
    // A read a little past the window continues a walk: each window of a walk is twice
    // the last, up to kWindow, so that a sweep costs one system call per kWindow. A jump
    // elsewhere takes the pages of the request, so that scattered reads (directories
    // all over the disk) neither copy nor fetch from the device what nobody asked for.
    const std::uint64_t windowEnd = windowStart_ + windowLength_;
    const bool walking = windowLength_ > 0 && offset >= windowEnd && offset - windowEnd < kWindow;
    const std::size_t needed =
        (static_cast<std::size_t>(offset - start) + buffer.size() + kPage - 1) & ~std::size_t{kPage - 1};
    std::size_t length = std::max(needed, walking ? std::min(kWindow, 2 * windowLength_) : kJumpWindow);
    if (size_ > 0) {
      if (start >= size_) return false;
      length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - start));
    }
    windowLength_ = 0;
    if (!preadAll(start, pageAligned(window_), length)) {
      // A failing window (a bad sector somewhere in it) must not hide the good
      // bytes of this request: read exactly what was asked for.
      return readDirect(offset, buffer);
    }
    windowStart_ = start;
    windowLength_ = length;
    if (!inWindow()) return readDirect(offset, buffer);
  }
  std::memcpy(buffer.data(), pageAligned(window_) + (offset - windowStart_), buffer.size());
  return true;
}

// ---------------------------------------------------------------- MemoryDevice

bool MemoryDevice::read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset > bytes_.size() || buffer.size() > bytes_.size() - offset) return false;
  std::memcpy(buffer.data(), bytes_.data() + offset, buffer.size());
  return true;
}

// ---------------------------------------------------------------- FaultyDevice

void FaultyDevice::failSector(std::uint64_t sector) {
  std::lock_guard lock(mutex_);
  bad_.insert(sector);
}

void FaultyDevice::healSector(std::uint64_t sector) {
  std::lock_guard lock(mutex_);
  bad_.erase(sector);
}

void FaultyDevice::breakDown(Breakdown kind, std::size_t reads) {
  std::lock_guard lock(mutex_);
  breakdown_ = kind;
  readsUntilBreakdown_ = reads;
  breakdownSector_.reset();
  broken_ = kind != Breakdown::None && reads == 0;
}

void FaultyDevice::breakDownAt(Breakdown kind, std::uint64_t sector) {
  std::lock_guard lock(mutex_);
  breakdown_ = kind;
  breakdownSector_ = sector;
  broken_ = false;
}

bool FaultyDevice::gone() const {
  std::lock_guard lock(mutex_);
  return broken_ && breakdown_ == Breakdown::Removed;
}

bool FaultyDevice::read(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  bool ok = true;
  {
    std::lock_guard lock(mutex_);
    if (breakdown_ != Breakdown::None && !broken_) {
      if (breakdownSector_) {
        broken_ = !buffer.empty() && offset / 512 <= *breakdownSector_ &&
                  *breakdownSector_ <= (offset + buffer.size() - 1) / 512;
      } else if (readsUntilBreakdown_ == 0) {
        broken_ = true;
      } else {
        --readsUntilBreakdown_;
      }
    }
    if (broken_) {
      ok = false;
    } else if (!buffer.empty()) {
      std::uint64_t first = offset / 512;
      std::uint64_t last = (offset + buffer.size() - 1) / 512;
      auto it = bad_.lower_bound(first);
      if (it != bad_.end() && *it <= last) ok = false;
    }
    requests_.push_back({offset, buffer.size(), ok});
  }
  if (!ok) return false;
  return inner_->read(offset, buffer);
}

std::vector<FaultyDevice::Request> FaultyDevice::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FaultyDevice::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

// ---------------------------------------------------------------- DeviceTable

std::string DeviceTable::physicalDriveName(unsigned n) {
  return "\\\\.\\PhysicalDrive" + std::to_string(n);
}

std::string DeviceTable::volumeName(char letter) {
  return std::string("\\\\.\\") + letter + ":";
}

DeviceTable::DeviceTable(DeviceTable&& other) noexcept {
  std::lock_guard lock(other.mutex_);
  disks_ = std::move(other.disks_);
  floppy_ = std::move(other.floppy_);
  volumes_ = std::move(other.volumes_);
  attached_ = std::move(other.attached_);
  opened_ = std::move(other.opened_);
  lastName_ = std::move(other.lastName_);
  lastDevice_ = std::move(other.lastDevice_);
  openErrors_ = std::move(other.openErrors_);
}

std::string DeviceTable::key(const std::string& name) const { return lower(name); }

void DeviceTable::attach(const std::string& name, std::shared_ptr<Device> device) {
  std::lock_guard lock(mutex_);
  lastName_.clear();
  lastDevice_.reset();
  attached_[key(name)] = std::move(device);
  opened_.erase(key(name));
}

std::optional<std::string> DeviceTable::resolve(const std::string& name) const {
  const std::string k = key(name);
  {
    std::lock_guard lock(mutex_);
    if (attached_.count(k)) return "<attached " + name + ">";
  }
  const std::string drivePrefix = "\\\\.\\physicaldrive";
  if (k.rfind(drivePrefix, 0) == 0) {
    std::string digits = k.substr(drivePrefix.size());
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    unsigned n = static_cast<unsigned>(std::stoul(digits));
    if (n >= disks_.size()) return std::nullopt;
    return disks_[n];
  }
  // "\\.\X:" volume names.
  if (k.size() == 6 && k.rfind("\\\\.\\", 0) == 0 && k[5] == ':') {
    char letter = k[4];
    if (letter == 'a') return floppy_.empty() ? std::nullopt : std::optional(floppy_);
    if (letter >= 'c' && letter <= 'z') {
      std::size_t index = static_cast<std::size_t>(letter - 'c');
      if (index < volumes_.size()) return volumes_[index];
    }
  }
  return std::nullopt;
}

std::shared_ptr<Device> DeviceTable::open(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    if (lastDevice_ && name == lastName_) return lastDevice_;
  }
  const std::string k = key(name);
  std::shared_ptr<Device> device;
  {
    std::lock_guard lock(mutex_);
    if (auto it = attached_.find(k); it != attached_.end())
      device = it->second;
    else if (auto opened = opened_.find(k); opened != opened_.end())
      device = opened->second;
  }
  if (!device) {
    auto path = resolve(name);
    if (!path) return nullptr;
    // An image file may be a container: the disk inside it is what is read.
    OpenedImage image = openImage(*path);
    std::lock_guard lock(mutex_);
    if (!image.device) {
      openErrors_[k] = std::move(image.error);
      return nullptr;
    }
    openErrors_.erase(k);
    device = std::move(image.device);
    opened_.emplace(k, device);
  }
  std::lock_guard lock(mutex_);
  lastName_ = name;
  lastDevice_ = device;
  return device;
}

std::string DeviceTable::openError(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = openErrors_.find(key(name));
  return it == openErrors_.end() ? std::string() : it->second;
}

bool DeviceTable::isFixedDrive(char letter) const {
  char l = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (l < 'c' || l > 'z') return false;
  {
    std::lock_guard lock(mutex_);
    if (attached_.count(key(volumeName(l)))) return true;
  }
  return static_cast<std::size_t>(l - 'c') < volumes_.size();
}

DeviceTable DeviceTable::fromPaths(const std::vector<std::string>& disks,
                                   std::optional<std::string> floppy) {
  DeviceTable table;
  table.disks_ = disks;
  if (floppy) table.floppy_ = *floppy;
  return table;
}

namespace {

bool isWholeDiskName(const std::string& name) {
  auto startsWith = [&](const char* p) { return name.rfind(p, 0) == 0; };
  if (startsWith("sd") || startsWith("vd") || startsWith("hd") || startsWith("xvd")) {
    // sda, vdb, xvdc: letters only after the prefix.
    std::size_t prefix = startsWith("xvd") ? 3 : 2;
    if (name.size() <= prefix) return false;
    return std::all_of(name.begin() + static_cast<long>(prefix), name.end(),
                       [](char c) { return c >= 'a' && c <= 'z'; });
  }
  if (startsWith("nvme")) {
    // nvme0n1, not nvme0n1p1 nor the controller nvme0.
    auto n = name.find('n', 4);
    return n != std::string::npos && name.find('p', n) == std::string::npos;
  }
  if (startsWith("mmcblk")) {
    return name.find('p', 6) == std::string::npos && name.find("boot") == std::string::npos &&
           name.find("rpmb") == std::string::npos;
  }
  return false;
}

}  // namespace

DeviceTable DeviceTable::fromSystem() {
  DeviceTable table;
  std::vector<std::string> names;
  if (DIR* dir = ::opendir("/sys/block")) {
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (isWholeDiskName(name)) names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) table.disks_.push_back("/dev/" + name);

  // Volumes: partition block devices in /proc/partitions order.
  std::ifstream partitions("/proc/partitions");
  std::string line;
  while (std::getline(partitions, line)) {
    std::istringstream fields(line);
    std::string major, minor, blocks, name;
    if (!(fields >> major >> minor >> blocks >> name)) continue;
    if (major == "major") continue;
    if (isWholeDiskName(name)) continue;
    bool isPartition = false;
    for (const auto& disk : names) {
      if (name.size() > disk.size() && name.rfind(disk, 0) == 0) isPartition = true;
    }
    if (isPartition && table.volumes_.size() < 24) table.volumes_.push_back("/dev/" + name);
  }
  return table;
}

}  // namespace tessaly::platform

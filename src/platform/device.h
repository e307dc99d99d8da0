// Raw device access: the stand-in for opening "\\.\PhysicalDriveN", "\\.\A:" and
// "\\.\X:" read-only and reading bytes at an offset. Nothing here can write.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace tessaly::platform {

// One opened device. Implementations must be safe to call from several threads.
class Device {
 public:
  virtual ~Device() = default;
  // Reads exactly buffer.size() bytes at byte offset; false on any failure or short read.
  virtual bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;
  // Size in bytes, 0 when unknown.
  virtual std::uint64_t size() const = 0;
  // True once the device has stopped answering for good (removed, or its medium gone),
  // as opposed to a read that failed on a bad sector. Asked after a failed read.
  virtual bool gone() const { return false; }
};

// A disk image file or a block device, opened O_RDONLY. Keeps a small read-ahead
// window so that sector-by-sector sweeps cost one system call per window, not per sector.
class FileDevice final : public Device {
 public:
  static std::unique_ptr<FileDevice> open(const std::string& path);
  ~FileDevice() override;
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return size_; }
  // A read failed with "no such device", the path no longer names it, or it shrank.
  bool gone() const override;
  bool isBlockDevice() const { return blockDevice_; }
  int descriptor() const { return fd_; }

  static constexpr std::size_t kWindow = 128 * 1024;

 private:
  FileDevice(int fd, std::string path, std::uint64_t size, bool block);
  bool readDirect(std::uint64_t offset, std::span<std::uint8_t> buffer);
  bool preadAll(std::uint64_t offset, std::uint8_t* out, std::size_t length);

  int fd_;
  std::string path_;
  std::atomic<bool> gone_{false};
  std::uint64_t size_;
  bool blockDevice_;
  std::mutex mutex_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;
};

// A device held in memory; used by tests and for crafted sectors.
class MemoryDevice final : public Device {
 public:
  explicit MemoryDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  explicit MemoryDevice(std::size_t sectors) : bytes_(sectors * 512, 0) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return bytes_.size(); }
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  std::span<std::uint8_t> sector(std::uint64_t n) {
    return std::span<std::uint8_t>(bytes_).subspan(n * 512, 512);
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Wraps another device and fails every read that touches one of the chosen sectors.
// It can also stop answering altogether: removed (every read fails and the device says
// it is gone) or failing every read while it still claims to be there, at once or after
// a number of reads. Records every read request (offset, length) so tests can see how a
// read was split.
class FaultyDevice final : public Device {
 public:
  enum class Breakdown { None, Removed, FailsEverything };

  explicit FaultyDevice(std::shared_ptr<Device> inner) : inner_(std::move(inner)) {}
  void failSector(std::uint64_t sector);
  void healSector(std::uint64_t sector);
  // The breakdown begins once `reads` more reads have been served ...
  void breakDown(Breakdown kind, std::size_t reads = 0);
  // ... or with the first read that touches `sector`.
  void breakDownAt(Breakdown kind, std::uint64_t sector);
  bool read(std::uint64_t offset, std::span<std::uint8_t> buffer) override;
  std::uint64_t size() const override { return inner_->size(); }
  bool gone() const override;

  struct Request {
    std::uint64_t offset;
    std::size_t length;
    bool ok;
  };
  std::vector<Request> requests() const;
  void clearRequests();

 private:
  std::shared_ptr<Device> inner_;
  mutable std::mutex mutex_;
  std::set<std::uint64_t> bad_;
  std::vector<Request> requests_;
  Breakdown breakdown_ = Breakdown::None;
  std::size_t readsUntilBreakdown_ = 0;
  std::optional<std::uint64_t> breakdownSector_;
  bool broken_ = false;
};

// The device names of the table, resolved to what Linux has.
//   \\.\PhysicalDriveN -> slot N: a disk or image named on the command line, or a
//                         whole-disk block device of /sys/block;
//   \\.\A:             -> the floppy (an image given with --floppy, else /dev/fd0);
//   \\.\X: (C..Z)      -> the partition block devices of /proc/partitions, lettered from C.
// Names are compared without regard to letter case. Opened devices stay open for the
// life of the table; a name that resolves to nothing, or cannot be opened, yields null.
class DeviceTable {
 public:
  DeviceTable() = default;
  DeviceTable(DeviceTable&& other) noexcept;
  DeviceTable& operator=(DeviceTable&&) = delete;
  // The whole-disk block devices and partition volumes of this machine.
  static DeviceTable fromSystem();
  // Disks (or image files) named explicitly, in slot order. No volume letters.
  static DeviceTable fromPaths(const std::vector<std::string>& disks,
                               std::optional<std::string> floppy = std::nullopt);

  void setDisks(std::vector<std::string> paths) { disks_ = std::move(paths); }
  void setFloppy(std::string path) { floppy_ = std::move(path); }
  void setVolumes(std::vector<std::string> paths) { volumes_ = std::move(paths); }
  // Puts a ready device (usually in memory) behind a device name, ahead of any path.
  void attach(const std::string& name, std::shared_ptr<Device> device);

  const std::vector<std::string>& disks() const { return disks_; }
  const std::string& floppy() const { return floppy_; }
  const std::vector<std::string>& volumes() const { return volumes_; }

  // Opens a disk, a raw image or a container image (see image_formats.h), read-only.
  std::shared_ptr<Device> open(const std::string& name);
  // Why the last open of a name failed, in words for the user; empty when it did not.
  std::string openError(const std::string& name) const;
  // The path (or attached marker) behind a device name, if any.
  std::optional<std::string> resolve(const std::string& name) const;
  // GetDriveTypeA(...) == DRIVE_FIXED for the root "X:\".
  bool isFixedDrive(char letter) const;

  static std::string physicalDriveName(unsigned n);
  static std::string volumeName(char letter);
  static const char* floppyName() { return "\\\\.\\A:"; }

 private:
  std::string key(const std::string& name) const;

  std::vector<std::string> disks_;
  std::string floppy_ = "/dev/fd0";
  std::vector<std::string> volumes_;
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Device>> attached_;
  std::map<std::string, std::shared_ptr<Device>> opened_;
  std::map<std::string, std::string> openErrors_;
  // The name asked for last, exactly as given, and its device: sweeps ask for one
  // device hundreds of thousands of times.
  std::string lastName_;
  std::shared_ptr<Device> lastDevice_;
};

}  // namespace tessaly::platform

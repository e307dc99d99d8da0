// Which devices stopped answering during the work that runs (see DeviceWatch).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tessaly {

namespace platform {
class Device;
}

// Watches the devices a session reads for one that stops answering: a device that says
// it is gone, or a run of failing reads after which a sector that read before fails
// too. Such a device is lost for the rest of the run: reads of it fail at once, without
// the bad-sector prompt. The reader asks on every read: while nothing fails, an answer
// costs no lock.
class DeviceWatch {
 public:
  // Consecutive failing reads of one device after which the last good sector is read again.
  static constexpr int kFailuresBeforeCheck = 8;

  bool lost() const;
  // Forgets what was seen: a new scan or save starts with every device trusted again.
  void reset();

  // Used by the reader.
  bool isLost(const platform::Device* device) const;
  void readWell(const platform::Device* device, std::uint64_t sector);
  // A read of sector failed; returns the sector to read again when the run of failures
  // calls for the check.
  std::optional<std::uint64_t> readFailed(const platform::Device* device);
  void markLost(const platform::Device* device);

 private:
  mutable std::mutex mutex_;
  // The device whose reads all went well since a good sector was noted (fast path).
  std::atomic<const platform::Device*> clean_{nullptr};
  std::atomic<bool> anyLost_{false};
  const platform::Device* device_ = nullptr;
  std::optional<std::uint64_t> lastGood_;
  int failures_ = 0;
  std::vector<const platform::Device*> lost_;
};

}  // namespace tessaly

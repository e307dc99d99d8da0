#include "session/device_watch.h"

#include <algorithm>

namespace tessaly {

bool DeviceWatch::lost() const { return anyLost_.load(); }

void DeviceWatch::reset() {
  std::lock_guard lock(mutex_);
  clean_ = nullptr;
  anyLost_ = false;
  device_ = nullptr;
  lastGood_.reset();
  failures_ = 0;
  lost_.clear();
}

bool DeviceWatch::isLost(const platform::Device* device) const {
  if (!anyLost_.load(std::memory_order_acquire)) return false;
  std::lock_guard lock(mutex_);
  return std::find(lost_.begin(), lost_.end(), device) != lost_.end();
}

void DeviceWatch::readWell(const platform::Device* device, std::uint64_t sector) {
  // Nothing to note while the same device keeps reading well: the good sector noted first
  // stands for all of them.
  if (clean_.load(std::memory_order_acquire) == device) return;
  std::lock_guard lock(mutex_);
  device_ = device;
  lastGood_ = sector;
  failures_ = 0;
  clean_ = device;
}

std::optional<std::uint64_t> DeviceWatch::readFailed(const platform::Device* device) {
  std::lock_guard lock(mutex_);
  clean_ = nullptr;
  if (device != device_) {
    device_ = device;
    lastGood_.reset();
    failures_ = 0;
  }
  if (++failures_ < kFailuresBeforeCheck || !lastGood_) return std::nullopt;
  failures_ = 0;
  return lastGood_;
}

void DeviceWatch::markLost(const platform::Device* device) {
  std::lock_guard lock(mutex_);
  clean_ = nullptr;
  anyLost_ = true;
  if (std::find(lost_.begin(), lost_.end(), device) == lost_.end()) lost_.push_back(device);
}

}  // namespace tessaly

#include "session/device_watch.h"

#include <algorithm>

namespace tessaly {

bool DeviceWatch::lost() const {
  std::lock_guard lock(mutex_);
  return !lost_.empty();
}

void DeviceWatch::reset() {
  std::lock_guard lock(mutex_);
  device_ = nullptr;
  lastGood_.reset();
  failures_ = 0;
  lost_.clear();
}

bool DeviceWatch::isLost(const platform::Device* device) const {
  std::lock_guard lock(mutex_);
  return std::find(lost_.begin(), lost_.end(), device) != lost_.end();
}

void DeviceWatch::readWell(const platform::Device* device, std::uint64_t sector) {
  std::lock_guard lock(mutex_);
  if (device != device_) device_ = device;
  lastGood_ = sector;
  failures_ = 0;
}

std::optional<std::uint64_t> DeviceWatch::readFailed(const platform::Device* device) {
  std::lock_guard lock(mutex_);
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
  if (std::find(lost_.begin(), lost_.end(), device) == lost_.end()) lost_.push_back(device);
}

}  // namespace tessaly

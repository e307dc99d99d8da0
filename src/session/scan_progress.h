// The scan progress bar, updated only when its whole-percent value changes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "session/report.h"

namespace tessaly {

class ScanProgress {
 public:
  explicit ScanProgress(Report& report) : report_(report) {}
  // value of total, at most 100 per cent; an empty total shows 100.
  void set(std::uint64_t value, std::uint64_t total) {
    const int percent =
        total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(value * 100 / total, 100));
    if (percent == last_) return;
    last_ = percent;
    report_.scanProgress(percent);
  }

 private:
  Report& report_;
  int last_ = -1;
};

}  // namespace tessaly

// The scan progress bar (control 1046), updated only when its whole-percent value changes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "session/session.h"

namespace tessaly {

class ScanProgress {
 public:
  explicit ScanProgress(Session& session) : session_(session) {}
  // value of total, at most 100 per cent; an empty total shows 100.
  void set(std::uint64_t value, std::uint64_t total) {
    const int percent =
        total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(value * 100 / total, 100));
    if (percent == last_) return;
    last_ = percent;
    session_.controls->setProgress(control::kScanProgress, percent);
  }

 private:
  Session& session_;
  int last_ = -1;
};

}  // namespace tessaly

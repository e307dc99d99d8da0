#include "session/worker_gate.h"

namespace tessaly {

void WorkerGate::pause() {
  int expected = kRun;
  state_.compare_exchange_strong(expected, kPause);
}

void WorkerGate::resume() {
  {
    std::lock_guard lock(mutex_);
    int expected = kPause;
    state_.compare_exchange_strong(expected, kRun);
  }
  changed_.notify_all();
}

void WorkerGate::end() {
  {
    std::lock_guard lock(mutex_);
    state_.store(kEnd);
  }
  changed_.notify_all();
}

void WorkerGate::reset() {
  {
    std::lock_guard lock(mutex_);
    state_.store(kRun);
  }
  changed_.notify_all();
}

void WorkerGate::slowCheckpoint() {
  std::unique_lock lock(mutex_);
  waiting_ = true;
  changed_.wait(lock, [this] { return state_.load() != kPause; });
  waiting_ = false;
  if (state_.load() == kEnd) throw WorkerEnded{};
}

}  // namespace tessaly

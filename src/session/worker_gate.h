// Pausing and ending a worker thread at its next safe point. While the front end asks a
// question about the running work, the worker waits at its next safe point (a sweep
// chunk, a record, a file block); after "end" it unwinds from there without touching
// anything further.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tessaly {

// Thrown from a safe point of a worker that was ended; the worker's body catches it at
// its top and returns.
struct WorkerEnded {};

class WorkerGate {
 public:
  // From the front end.
  void pause();
  void resume();
  void end();
  // Ready for the next worker.
  void reset();
  bool pauseRequested() const { return state_.load() == kPause; }
  bool endRequested() const { return state_.load() == kEnd; }
  // True while the worker waits at a safe point.
  bool waiting() const { return waiting_.load(); }

  // From the worker: waits while paused; throws WorkerEnded once ended.
  void checkpoint() {
    if (state_.load(std::memory_order_relaxed) != kRun) slowCheckpoint();
  }

 private:
  static constexpr int kRun = 0, kPause = 1, kEnd = 2;
  void slowCheckpoint();
  std::atomic<int> state_{kRun};
  std::atomic<bool> waiting_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace tessaly

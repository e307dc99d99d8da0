#include "cli/interrupts.h"

#include <signal.h>

#include <array>

namespace tessaly::cli {

namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> receivedSignal{0};
std::atomic<std::atomic<bool>*> stopFlag{nullptr};
static_assert(std::atomic<int>::is_always_lock_free &&
              std::atomic<std::atomic<bool>*>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);
std::array<struct sigaction, kSignals.size()> previous{};

// Only lock-free atomics are touched here, which is safe in a signal handler. The
// handler is installed to reset itself, so a second signal takes its default action.
extern "C" void onSignal(int signal) {
  int none = 0;
  receivedSignal.compare_exchange_strong(none, signal);
  if (std::atomic<bool>* flag = stopFlag.load()) flag->store(true);
}

}  // namespace

Interrupts::Interrupts() {
  receivedSignal = 0;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
}

Interrupts::~Interrupts() {
  stopFlag = nullptr;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
}

void Interrupts::watch(std::atomic<bool>* flag) {
  stopFlag = flag;
  // A signal that came before the flag was watched still stops the work.
  if (flag && receivedSignal.load() != 0) flag->store(true);
}

int Interrupts::received() {
  return receivedSignal.load();
}

}  // namespace tessaly::cli

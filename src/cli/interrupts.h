// SIGINT, SIGTERM and SIGHUP during a scan or a save: the first one sets the stop flag
// that the work looks at (the flag the wizard's Stop button sets), so that the work ends
// at its next block and the command can say what was done; a second one ends the
// process at once.
#pragma once

#include <atomic>

namespace tessaly::cli {

class Interrupts {
 public:
  // Installs the handlers; they are taken back when this object goes.
  Interrupts();
  ~Interrupts();
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;

  // The flag a signal sets from now on (nullptr: none). The flag must outlive the watch.
  static void watch(std::atomic<bool>* flag);
  // The signal that arrived, 0 when none did.
  static int received();
  // The exit status for the signal received: 128 + its number (130 for SIGINT).
  static int exitStatus() { return 128 + received(); }
};

}  // namespace tessaly::cli

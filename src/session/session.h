// The state of one run of Tessaly: the front end, the configuration, the disks and the
// user's choice among them, the bad-sector policy and the worker gate. Created once per
// process and passed by reference. What one scan finds lives in a ScanState
// (session/scan_state.h), what one save does in a SaveJob (save/save_job.h).
// Flags that cross threads are atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "config/message_table.h"
#include "config/messages.h"
#include "partition/partition_types.h"
#include "platform/device.h"
#include "platform/registry.h"
#include "session/device_watch.h"
#include "session/dialogs.h"
#include "session/report.h"
#include "session/worker_gate.h"

namespace tessaly {

// Thrown where the program must end (an unrecoverable condition after its message, or
// an exit path). Front ends catch it at the top of main or of a worker and end the
// process with the code; tests catch it and look.
struct ProgramExit {
  int code = 0;
};

class Session {
 public:
  Session(platform::DeviceTable& devices, Report& report, Dialogs& dialogs);

  // ------------------------------------------------------------------ front end
  platform::DeviceTable& devices;
  Report* report;
  Dialogs* dialogs;
  std::shared_ptr<MessageCatalogue> messages = std::make_shared<MessageCatalogue>();

  // The catalogue text of a message, or its English text when the catalogue has none.
  std::string text(const Message& message) const {
    return messages->text(message.number, message.english);
  }
  // A system-modal message box with the program's title.
  int messageBox(const std::string& message, MessageButtons buttons = MessageButtons::Ok,
                 MessageIcon icon = MessageIcon::None) const {
    return dialogs->messageBox(message, kProgramTitle, buttons, icon);
  }
  // Ends the program (see ProgramExit).
  [[noreturn]] void endProgram(int code) const { throw ProgramExit{code}; }

  // ------------------------------------------------------------------ configuration
  // The per-user registry folder (tests point it at a temporary one).
  platform::Registry registry = platform::Registry::forUser();
  // The installation folder ("FilePath" of the configuration key), read at start.
  std::string installFolder;
  // Where the scan catalogue is kept: scratchFolder when a front end set one, else the
  // installation folder, or, when that cannot be written (an installation shared by all
  // users), the user's own data folder.
  std::string catalogueFolder() const;
  std::string scratchFolder;
  // Where the program keeps the files it writes for the user (the report file, the
  // directory lists): the installation folder, or the user's own data folder when the
  // installation folder cannot be written.
  std::string dataFolder() const;

  // ------------------------------------------------------------------ disk access
  char osFamily = 'N';
  std::uint16_t selectedDisk = 0;
  std::string selectedDiskName;
  std::atomic<BadSectorAnswer> badSectorPolicy{BadSectorAnswer::Retry};
  std::array<std::string, 10> physicalDrivePaths{};
  // Devices that stopped answering during this run.
  DeviceWatch deviceWatch;
  // The device path a request for the selected disk uses ("" when the disk is beyond
  // the ten slots and cannot be read).
  std::string selectedDevicePath() const {
    return selectedDisk < physicalDrivePaths.size() ? physicalDrivePaths[selectedDisk] : "";
  }
  bool floppySelected() const;
  // The selected disk as the user knows it, with the file or device behind it.
  std::string selectedDiskDescription() const;
  bool deviceLost() const { return deviceWatch.lost(); }

  // ------------------------------------------------------------------ disks and partitions
  // Hard disks found by the last enumeration.
  int hardDiskCount = 0;
  // The floppy entry is in the disk tree: it is appended once per run.
  bool floppyEntryListed = false;
  // The model of the disk whose facts were shown last (the reports name it).
  std::string currentDiskModel;
  std::array<DiskPartitionList, 10> partitionLists{};
  TreeItem firstPartitionItem = kNoItem;
  PartitionSelection partitionSelection;

  // ------------------------------------------------------------------ workers
  // The front end pauses or ends the running worker through this gate; engines call
  // safePoint() where a worker may wait or end.
  WorkerGate worker;
  void safePoint() { worker.checkpoint(); }
  // Bytes the engines may take for an in-memory table; a larger table goes to list mode.
  std::size_t memoryLimit = std::numeric_limits<std::size_t>::max();
  bool canAllocate(std::size_t bytes) const { return bytes <= memoryLimit; }
};

}  // namespace tessaly

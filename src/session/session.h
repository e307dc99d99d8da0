// The state of one run of Tessaly. The design's globals are members of this one object,
// created once per process and passed by reference; their names are the design's.
// Flags that cross threads are atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "config/messages.h"
#include "fat/catalogue.h"
#include "fat/cluster_chain.h"
#include "fat/directory_table.h"
#include "ntfs/entry_tables.h"
#include "ntfs/run_list.h"
#include "partition/partition_types.h"
#include "platform/device.h"
#include "platform/registry.h"
#include "save/save_options.h"
#include "session/file_list_model.h"
#include "session/tree_model.h"
#include "session/ui.h"
#include "session/worker_gate.h"

namespace tessaly {

// Thrown where the design ends the program (an unrecoverable condition after its
// message, or an exit path). Front ends catch it at the top of main or of a worker and
// end the process with the code; tests catch it and look.
struct ProgramExit {
  int code = 0;
};

class Session {
 public:
  Session(platform::DeviceTable& devices, Controls& controls, Dialogs& dialogs);

  // ------------------------------------------------------------------ front end
  platform::DeviceTable& devices;
  Controls* controls;
  Dialogs* dialogs;
  std::shared_ptr<MessageCatalogue> messages = std::make_shared<MessageCatalogue>();

  // The catalogue text of a message number, or the English text when it has none.
  std::string text(int number, std::string_view english) const {
    return messages->text(number, english);
  }
  // A system-modal message box with the program's title.
  int messageBox(const std::string& message, MessageButtons buttons = MessageButtons::Ok,
                 MessageIcon icon = MessageIcon::None) const {
    return dialogs->messageBox(message, kProgramTitle, buttons, icon);
  }
  // Ends the program (see ProgramExit).
  [[noreturn]] void endProgram(int code) const { throw ProgramExit{code}; }

  // ------------------------------------------------------------------ configuration
  // HKEY_CLASSES_ROOT: the per-user registry folder (tests point it at a temporary one).
  platform::Registry registry = platform::Registry::forUser();
  // The installation folder ("FilePath" of the configuration key), read at start.
  std::string installFolder;
  // Where the scan catalogue is kept: scratchFolder when a front end set one, else the
  // installation folder, or, when that cannot be written (an installation shared by all
  // users), the user's own data folder.
  std::string catalogueFolder() const;
  std::string scratchFolder;

  // ------------------------------------------------------------------ disk access
  char osFamily = 'N';
  std::uint16_t selectedDisk = 0;
  std::string selectedDiskName;
  std::atomic<int> badSectorPolicy{0};
  std::array<std::string, 10> physicalDrivePaths{};
  // The device path a request for the selected disk uses ("" when the disk is beyond
  // the ten slots and cannot be read).
  std::string selectedDevicePath() const {
    return selectedDisk < physicalDrivePaths.size() ? physicalDrivePaths[selectedDisk] : "";
  }
  bool floppySelected() const;

  // ------------------------------------------------------------------ partitions
  std::array<DiskPartitionList, 10> partitionLists{};
  TreeItem firstPartitionItem = kNoItem;
  PartitionSelection partitionSelection;
  VolumeParameters volume;         // computed from the boot sector (or calculated)
  VolumeParameters workingVolume;  // copied from it when a scan starts
  std::int16_t partitionValid = 0;

  // ------------------------------------------------------------------ workers
  // The front end pauses or ends the running worker through this gate; engines call
  // safePoint() where a worker may wait or end.
  WorkerGate worker;
  void safePoint() { worker.checkpoint(); }

  // ------------------------------------------------------------------ scans
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> sweepRunning{false};
  // Bytes the engines may take for an in-memory table; a larger table goes to list mode.
  std::size_t memoryLimit = std::numeric_limits<std::size_t>::max();
  bool canAllocate(std::size_t bytes) const { return bytes <= memoryLimit; }

  // ------------------------------------------------------------------ disk enumeration
  // Hard disks found by the last enumeration.
  int hardDiskCount = 0;
  // The floppy entry is in the disk tree: it is appended once per run.
  bool floppyEntryListed = false;
  // The model of the disk whose facts were shown last (the reports name it).
  std::string currentDiskModel;

  // ------------------------------------------------------------------ FAT engine
  DirectoryTable directoryTable;
  ClusterChain directoryChain;  // filled by walkDirectoryChain and the save engine
  ClusterChain fileChain;       // filled by walkFileChain

  // ------------------------------------------------------------------ results
  TreeModel folderTree;
  ScanCatalogue catalogue;

  // ------------------------------------------------------------------ saving
  SaveOptions options;
  std::atomic<int> stopSaving{0};       // 1 ends the whole save
  std::atomic<int> skipCurrentFile{0};  // 1 abandons the file being written
  std::atomic<int> replacePolicy{0};    // 0 Yes, 1 No, 2 Yes to All, 3 No to All
  std::atomic<int> filesSaved{0};       // files begun in this save
  std::atomic<int> filesToSave{0};      // counted by the size calculation
  std::atomic<std::uint64_t> bytesToSave{0};
  std::atomic<std::uint64_t> bytesSaved{0};
  std::int64_t saveStartTime = 0;  // seconds of the calendar clock
  std::atomic<int> saveDone{0};
  std::int16_t saveSource = 1;  // 1 the checked folders of the tree, 2 the file list
  std::string destinationFolder;
  FileListModel fileList;
  // What a save really achieved, for the front ends' summaries: files whose every byte
  // was written, the bytes written, and the files that could not be written.
  struct SaveOutcome {
    std::atomic<int> filesCompleted{0};
    std::atomic<std::uint64_t> bytesWritten{0};
    std::atomic<int> writeFailures{0};
    void reset() { filesCompleted = 0, bytesWritten = 0, writeFailures = 0; }
  } saveOutcome;
  // Least time between two progress updates of the Saving dialog (0: after every block).
  int saveProgressIntervalMs = 100;

  // ------------------------------------------------------------------ NTFS engine
  // The $MFT's run table: rebuilt by buildMftRunList at the start of every Quick NTFS
  // scan, then read by the MFT walk and by sectorOfRecord (scan and save) until the next.
  RunTable mftRuns;

  // ------------------------------------------------------------------ NTFS entry tables
  // The folders and files of the last Quick NTFS scan (ntfs/entry_tables.h). Table mode
  // (entryTablesOk): the two arrays, folderEntries[0] being "Lost". List mode: the folders
  // are rows of directoryTable, the files rows of fileTable. Emptied by the next scan and
  // by releaseScanState.
  std::vector<NtfsEntry> folderEntries;
  std::vector<NtfsEntry> fileEntries;
  bool entryTablesOk = false;
  DirectoryTable fileTable;
};

}  // namespace tessaly

// How the engines tell the front end what they are doing: typed calls that the wizard
// maps onto its window, the CLI onto its progress line and tests record. Every call may
// come from a worker thread. Questions go through Dialogs instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

// The counters a scan shows beside its progress.
enum class Counter {
  BootSectorsFound,  // boot sectors a search found
  FoldersFound,      // directories (FAT) or MFT records (NTFS) found; its label says which
  Assigned,          // directories given a volume by an Advanced scan
};

class Report {
 public:
  virtual ~Report() = default;

  // ---------------------------------------------------------------- scans
  virtual void status(const std::string& /*text*/) {}
  // A counter's value; nullopt blanks it.
  virtual void counter(Counter /*which*/, std::optional<std::uint64_t> /*value*/) {}
  virtual void counterLabel(Counter /*which*/, const std::string& /*label*/) {}
  // The scan's progress bar, 0 to 100, and the text drawn on it ("" for none).
  virtual void scanProgress(int /*percent*/) {}
  virtual void scanProgressText(const std::string& /*text*/) {}
  virtual void showScanProgress() {}
  // The folder the scan is working in.
  virtual void currentFolder(const std::string& /*path*/) {}
  // Whether the user may stop the running step: offered (shown, enabled and focused)
  // or withdrawn (hidden and disabled).
  virtual void stopOffered(bool /*offered*/) {}
  // The disk list is filled and ready for a choice.
  virtual void diskListReady() {}

  // ---------------------------------------------------------------- saves
  // Files counted so far by the size calculation.
  virtual void saveCounted(int /*files*/) {}
  // A file was admitted to the save: the files begun of those counted, its name and
  // the path it is written to.
  virtual void saveFileStarted(int /*filesBegun*/, int /*filesCounted*/,
                               const std::string& /*name*/, const std::string& /*path*/) {}
  // A listed folder's files are being saved into path.
  virtual void saveFolderStarted(const std::string& /*path*/) {}
  // Bytes of the whole save written of those counted, and the percentage.
  virtual void saveData(std::uint64_t /*written*/, std::uint64_t /*total*/, int /*percent*/) {}
  // Seconds since the save began and the estimate of those left.
  virtual void saveTimes(std::int64_t /*elapsed*/, std::int64_t /*remaining*/) {}
  // Bytes of the current file written of its size.
  virtual void saveCurrentFile(std::uint64_t /*written*/, std::uint64_t /*size*/) {}
};

// A front end that shows nothing.
class NullReport final : public Report {};

}  // namespace tessaly

// One save: where its files come from, the options it applies, its destination, the
// answers it keeps, its counters and flags, and what it achieved. A front end creates
// one for each save (the size count and the save proper share it); the save walks and
// the save engine fill it in; the front end reads the figures and the outcome.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "disk/sector_reader.h"
#include "save/save_options.h"
#include "session/file_list_model.h"
#include "session/scan_state.h"
#include "session/values.h"

namespace tessaly {

// How one file of a save ended, where it did not end as a whole copy.
enum class FileOutcome {
  WriteFailed,       // the destination could not be written
  SourceUnreadable,  // the scanned disk could not be read (it stopped answering)
  Incomplete,        // saved under its name, but some of its bytes could not be read (zeros there)
  Encrypted,         // saved as stored on the disk: encrypted, unreadable without its key
  Damaged,           // saved under its name, but compressed data of it did not decompress (zeros there)
};

// Bytes of a saved file, from its start.
struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool operator==(const ByteRange&) const = default;
};

struct FileNote {
  std::string path;
  FileOutcome outcome;
  // Sectors of the source that could not be read, where they are known.
  std::vector<SectorRange> missing;
  // Incomplete and Damaged: the bytes of the file that hold zeros instead of its data
  // (Damaged: each compression unit that did not decompress whole).
  std::vector<ByteRange> missingBytes;
  // Incomplete: its size was more than its volume could hold, so it was saved only up to
  // that (the last missing range runs from there to the size it gave).
  bool truncated = false;
};

// What a save really achieved, for the front ends' summaries.
class SaveOutcome {
 public:
  std::atomic<int> filesCompleted{0};  // files whose every byte was written
  std::atomic<std::uint64_t> bytesWritten{0};
  std::atomic<int> writeFailures{0};
  std::atomic<int> sourceFailures{0};   // files never reported saved: their source failed
  std::atomic<int> filesIncomplete{0};  // saved under their names with bytes that could not be read
  std::atomic<int> filesKept{0};        // files already in the destination, left as they were
    // FAT files completed, by how their clusters were found (SaveMethod order).
  std::array<std::atomic<int>, kSaveMethods> filesByMethod{};
  std::atomic<int> encryptedFiles{0};  // saved as stored, encrypted; not counted as completed
  std::atomic<int> streamsSaved{0};    // named streams saved whole beside their files
  // The destination refused ":" in names: streams were saved as NAME_STREAM.
  std::atomic<bool> streamsRenamed{false};

  // Records a file that did not end as a whole copy.
  void note(FileNote note);
  std::vector<FileNote> notes() const;
  void reset();

 private:
  mutable std::mutex mutex_;
  std::vector<FileNote> notes_;
};

struct SaveJob {
  explicit SaveJob(ScanState& from) : scan(from) {}
  SaveJob(const SaveJob&) = delete;
  SaveJob& operator=(const SaveJob&) = delete;

  // ------------------------------------------------------------------ what and where
  ScanState& scan;  // the finished scan the files come from
  SaveSource source = SaveSource::CheckedFolders;
  FileListModel* fileList = nullptr;  // the list whose chosen rows a FileList save takes
  SaveOptions options;
  std::string destinationFolder;

  // ------------------------------------------------------------------ answers and flags
  std::atomic<ReplaceAnswer> replacePolicy{ReplaceAnswer::Yes};
  std::atomic<bool> stopSaving{false};       // ends the whole save
  std::atomic<bool> skipCurrentFile{false};  // abandons the file being written
  std::atomic<bool> done{false};
  std::atomic<bool> stopped{false};  // the last walk ended by Stop (or Abort, or a signal)

  // ------------------------------------------------------------------ figures
  std::atomic<int> filesSaved{0};   // files begun in this save
  std::atomic<int> filesToSave{0};  // counted by the size calculation
  std::atomic<std::uint64_t> bytesToSave{0};
  std::atomic<std::uint64_t> bytesSaved{0};
  std::int64_t startTime = 0;  // seconds of the calendar clock
  // Least time between two progress reports (0: after every block).
  int progressIntervalMs = 100;

  SaveOutcome outcome;
};

}  // namespace tessaly

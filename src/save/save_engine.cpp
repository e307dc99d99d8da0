#include "save/save_engine.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "platform/process.h"
#include "session/session.h"

namespace tessaly {

namespace {

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A destination file whose every write is checked, including the final flush: a full
// destination disk shows as a failure, never as a short file passed off as saved.
class DestinationFile {
 public:
  explicit DestinationFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_) std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~DestinationFile() { close(); }
  bool opened() const { return file_ != nullptr; }
  bool write(const std::uint8_t* data, std::size_t size) {
    if (!file_ || failed_) return false;
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
    return !failed_;
  }
  // True when everything written reached the file.
  bool close() {
    if (!file_) return !failed_;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
  }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

// The error-writing prompt: Abort ends the save, Skip abandons this file.
void errorWriting(Session& session, const std::string& path) {
  ++session.saveOutcome.writeFailures;
  int answer = session.dialogs->askErrorWriting(path);
  if (answer == answer::kAbort) {
    session.skipCurrentFile = 0;
    session.stopSaving = 1;
  } else {
    session.skipCurrentFile = 1;
    session.stopSaving = 0;
  }
}

std::string megabytes(std::uint64_t bytes) { return std::to_string(bytes / 1048576) + " MB"; }

std::string minutesAndSeconds(std::int64_t seconds) {
  return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

// Admission of a file to an interactive save: the deleted-file and extension filters,
// then the replace question. Counts and shows the file when it is admitted.
bool admit(Session& session, const std::string& destPath, const std::string& name, bool deleted) {
  const SaveOptions& o = session.options;
  if (o.deletedFilter == 1 && deleted) return false;
  if (o.deletedFilter == 2 && !deleted) return false;
  if (!o.extensionPasses(name)) return false;
  if (fileExists(destPath)) {
    int policy = session.replacePolicy;
    if (policy == answer::kNoToAll) return false;
    if (policy != answer::kYesToAll) {
      policy = session.dialogs->askReplace(destPath);
      session.replacePolicy = policy;
      if (policy == answer::kNo || policy == answer::kNoToAll) return false;
    }
  }
  const int saved = ++session.filesSaved;
  Controls& ui = *session.controls;
  ui.setText(control::kSaveTotalFiles, std::to_string(saved) + " / " + std::to_string(session.filesToSave.load()));
  ui.setText(control::kSaveFilePath, destPath);
  ui.setText(control::kSaveFileName, name);
  return true;
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace

std::string safeComponent(const std::string& name) {
  std::string out;
  for (char c : name) out += (c == '/' || c == '\0') ? '_' : c;
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

void updateSaveProgress(Session& session, std::uint64_t written, std::uint64_t size, bool currentFile,
                        bool force) {
  static thread_local std::chrono::steady_clock::time_point last{};
  const auto clock = std::chrono::steady_clock::now();
  if (!force && session.saveProgressIntervalMs > 0 &&
      clock - last < std::chrono::milliseconds(session.saveProgressIntervalMs))
    return;
  last = clock;
  Controls& ui = *session.controls;
  const std::uint64_t saved = session.bytesSaved;
  std::uint64_t total = session.bytesToSave;
  ui.setText(control::kSaveDataDone, megabytes(saved));
  ui.setText(control::kSaveDataTotal, megabytes(total));
  if (total == 0) total = 1;
  const std::uint64_t percent = std::min<std::uint64_t>(saved * 100 / total, 100);
  ui.setProgress(control::kSaveProgress, static_cast<int>(percent));
  ui.setText(control::kSaveProgress, std::to_string(percent) + "% ");
  const std::int64_t elapsed = now() - session.saveStartTime;
  if (elapsed > 0) {
    const std::uint64_t rate = saved / static_cast<std::uint64_t>(elapsed);
    if (rate > 0) {
      const std::uint64_t left = total > saved ? (total - saved) / rate : 0;
      ui.setText(control::kSaveTimeRemaining, minutesAndSeconds(static_cast<std::int64_t>(left)));
      ui.setText(control::kSaveTimeElapsed, minutesAndSeconds(elapsed));
    }
  }
  if (currentFile) ui.setText(control::kSaveCurrentFile, std::to_string(written) + " / " + std::to_string(size));
}

void walkSaveChain(Session& session, const std::string& fs, std::uint32_t c, std::uint32_t fatStart,
                   std::uint32_t n) {
  ClusterChain& list = session.directoryChain;
  appendCluster(session, list, c);
  VolumeParameters v = session.workingVolume;
  v.fileSystem = fs;
  if (fs == "FAT12") {
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value >= 0xFFF) return;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  } else if (fs == "FAT16") {
    if (n < 1 || fatStart == 0) return;
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value == 0xFFFF) return;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  } else if (fs == "FAT32") {
    if (n < 1) return;
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value >= 0x0FFFFFFF) return;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  }
}

bool saveFatFile(Session& session, const std::string& destPath, const std::string& name,
                 std::uint32_t size, std::uint32_t firstCluster, bool interactive, bool deleted) {
  session.skipCurrentFile = 0;
  if (interactive && !admit(session, destPath, name, deleted)) return false;

  const VolumeParameters& v = session.workingVolume;
  const std::uint32_t spc = v.sectorsPerCluster;
  if (spc == 0) return false;
  const std::uint64_t clusterBytes = std::uint64_t{spc} * 512;
  const auto needed = static_cast<std::uint32_t>((size + clusterBytes - 1) / clusterBytes);

  // The clusters: a chain is used only when it has exactly the clusters the size needs.
  ClusterChain& chain = session.directoryChain;
  chain.clear();
  auto tryFat = [&](std::uint32_t fatStart) {
    chain.clear();
    walkSaveChain(session, v.fileSystem, firstCluster, fatStart, needed);
    if (chain.size() == needed) return true;
    chain.clear();
    return false;
  };
  bool useChain = false;
  switch (session.options.savingMode) {
    case 0: useChain = tryFat(v.fat1Start) || tryFat(v.fat2Start); break;
    case 1: useChain = tryFat(v.fat1Start); break;
    case 2: useChain = tryFat(v.fat2Start); break;
    default: break;
  }

  DestinationFile out(destPath);
  if (!out.opened()) {
    chain.clear();
    if (interactive) errorWriting(session, destPath);
    return false;
  }

  const std::uint32_t blockSectors = spc >= 8 ? 8 : 1;
  const std::size_t blockBytes = std::size_t{blockSectors} * 512;
  std::vector<std::uint8_t> block(blockBytes);
  std::uint64_t written = 0;
  std::uint32_t c = firstCluster;
  for (std::size_t index = 0;; ++index) {
    const std::uint64_t s = v.clusterSector(c);
    for (std::uint32_t offset = 0; offset < spc; offset += blockSectors) {
      if (session.skipCurrentFile || session.stopSaving) {
        out.close();  // what was written stays
        chain.clear();
        session.skipCurrentFile = 0;
        return false;
      }
      session.safePoint();
      // A cleared block: a bad sector that is skipped saves zeros, not older bytes.
      std::fill(block.begin(), block.end(), 0);
      readDiskSectors(session, s + offset, blockSectors, block);
      const std::uint64_t left = size - written;
      if (left <= blockBytes) {
        const bool ok = out.write(block.data(), static_cast<std::size_t>(left)) && out.close();
        chain.clear();
        if (!ok) {
          if (interactive) errorWriting(session, destPath);
          return false;
        }
        session.saveOutcome.bytesWritten += left;
        if (interactive) ++session.saveOutcome.filesCompleted;
        return true;
      }
      if (!out.write(block.data(), blockBytes)) {
        out.close();
        chain.clear();
        if (interactive) errorWriting(session, destPath);
        return false;
      }
      written += blockBytes;
      session.bytesSaved += blockBytes;
      session.saveOutcome.bytesWritten += blockBytes;
      if (interactive) updateSaveProgress(session, written, size, true);
    }
    c = useChain ? (index + 1 < chain.size() ? chain[index + 1] : c + 1) : c + 1;
  }
}

namespace {

// Copies the runs of a non-resident file. Sparse runs (no disk position) hold zeros.
bool copyNtfsRuns(Session& session, const std::string& destPath, std::uint64_t size, const RunTable& runs,
                  bool interactive) {
  DestinationFile out(destPath);
  if (!out.opened()) {
    if (interactive) errorWriting(session, destPath);
    return false;
  }
  const std::uint32_t spc = session.workingVolume.sectorsPerCluster;
  if (spc == 0) return out.close() && size == 0;
  const std::uint32_t blockSectors = spc >= 8 ? 8 : 1;
  const std::size_t blockBytes = std::size_t{blockSectors} * 512;
  std::vector<std::uint8_t> block(blockBytes);
  std::uint64_t written = 0;
  auto finish = [&]() {
    if (!out.close()) {
      if (interactive) errorWriting(session, destPath);
      return false;
    }
    return written >= size;
  };
  if (size == 0) return finish();
  for (std::size_t r = 0; r < runs.size(); ++r) {
    std::uint64_t s = runs.start(r);
    const bool sparse = runs.start(r) == 0;
    const std::uint32_t clusters = runs.length(r) / spc;
    for (std::uint32_t k = 0; k < clusters; ++k, s += spc) {
      for (std::uint32_t offset = 0; offset < spc; offset += blockSectors) {
        if (session.skipCurrentFile || session.stopSaving) {
          out.close();
          session.skipCurrentFile = 0;
          return false;
        }
        session.safePoint();
        std::fill(block.begin(), block.end(), 0);
        if (!sparse) readDiskSectors(session, s + offset, blockSectors, block);
        const std::uint64_t piece = std::min<std::uint64_t>(blockBytes, size - written);
        if (!out.write(block.data(), static_cast<std::size_t>(piece))) {
          out.close();
          if (interactive) errorWriting(session, destPath);
          return false;
        }
        written += piece;
        session.bytesSaved += piece;
        session.saveOutcome.bytesWritten += piece;
        if (interactive) updateSaveProgress(session, written, size, false);
        if (written >= size) return finish();
      }
    }
  }
  return finish();  // the runs ended before the size: the file stays short
}

}  // namespace

bool saveNtfsFile(Session& session, const std::string& destPath, const std::string& name,
                  std::uint64_t size, std::uint32_t recordSector, bool interactive, bool deleted) {
  session.skipCurrentFile = 0;
  if (interactive) {
    if (!admit(session, destPath, name, deleted)) return false;
    updateSaveProgress(session, 0, size, false, true);
  }
  MftRecord record{};
  readRecordAt(session, recordSector, record);
  const DataLocation data = locateData(record);
  bool ok = false;
  if (data.kind == DataKind::Resident) {
    const std::uint64_t start = data.position + 24;
    if (start + size > 1023) return false;  // the value would reach past the record
    DestinationFile out(destPath);
    if (!out.opened()) {
      if (interactive) errorWriting(session, destPath);
      return false;
    }
    ok = out.write(record.data() + start, static_cast<std::size_t>(size)) && out.close();
    if (!ok) {
      if (interactive) errorWriting(session, destPath);
      return false;
    }
    if (size != 0) session.bytesSaved += 512;
    session.saveOutcome.bytesWritten += size;
  } else if (data.kind == DataKind::NonResident) {
    RunTable runs(session.memoryLimit);
    buildDataRunList(session, session.workingVolume.cluster0Sector, recordSector,
                     session.workingVolume.sectorsPerCluster, runs);
    if (runs.empty()) return false;
    ok = copyNtfsRuns(session, destPath, size, runs, interactive);
  }
  if (ok && interactive) ++session.saveOutcome.filesCompleted;
  return ok;
}

bool openSavedFile(const std::string& path) { return platform::startDetached("xdg-open", {path}); }

}  // namespace tessaly

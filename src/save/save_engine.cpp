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
#include "ntfs/compressed_data.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "platform/process.h"
#include "save/save_job.h"
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
void errorWriting(Session& session, SaveJob& job, const std::string& path) {
  ++job.outcome.writeFailures;
  job.outcome.note({path, FileOutcome::WriteFailed, {}});
  if (session.dialogs->askErrorWriting(path) == WriteErrorAnswer::Abort) {
    job.skipCurrentFile = false;
    job.stopSaving = true;
  } else {
    job.skipCurrentFile = true;
    job.stopSaving = false;
  }
}

// A file whose source could not be read: what was written stays, but the file is not
// counted as saved. When the disk stopped answering (or cannot be read at all) no later
// file can be read either, and the save ends.
void sourceFailed(SaveJob& job, const std::string& path, const ReadResult& read) {
  ++job.outcome.sourceFailures;
  job.outcome.note({path, FileOutcome::SourceUnreadable, read.skipped});
  job.stopSaving = true;
}

// Admission of a file to an interactive save: the deleted-file and extension filters,
// then the replace question. Counts and shows the file when it is admitted.
bool admit(Session& session, SaveJob& job, const std::string& destPath, const std::string& name, bool deleted) {
  const SaveOptions& o = job.options;
  if (o.deletedFilter == DeletedFilter::ExcludeDeleted && deleted) return false;
  if (o.deletedFilter == DeletedFilter::DeletedOnly && !deleted) return false;
  if (!o.extensionPasses(name)) return false;
  if (fileExists(destPath)) {
    ReplaceAnswer policy = job.replacePolicy;
    if (policy == ReplaceAnswer::NoToAll) return false;
    if (policy != ReplaceAnswer::YesToAll) {
      policy = session.dialogs->askReplace(destPath);
      job.replacePolicy = policy;
      if (policy == ReplaceAnswer::No || policy == ReplaceAnswer::NoToAll) return false;
    }
  }
  const int saved = ++job.filesSaved;
  session.report->saveFileStarted(saved, job.filesToSave.load(), name, destPath);
  return true;
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// An encrypted file: its bytes can only be saved as they are stored, unreadable without
// the owner's key. The file name line says so and the outcome counts it apart.
void noteEncrypted(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
                   bool interactive) {
  ++job.outcome.encryptedFiles;
  job.outcome.note({destPath, FileOutcome::Encrypted, {}});
  if (interactive)
    session.report->saveFileStarted(job.filesSaved, job.filesToSave.load(), name + " (encrypted: saved as stored)",
                                    destPath);
}

}  // namespace

std::string safeComponent(const std::string& name) {
  std::string out;
  for (char c : name) out += (c == '/' || c == '\0') ? '_' : c;
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

std::string megabytesText(std::uint64_t bytes) { return std::to_string(bytes / 1048576) + " MB"; }

std::string minutesAndSecondsText(std::int64_t seconds) {
  return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

void updateSaveProgress(Session& session, SaveJob& job, std::uint64_t written, std::uint64_t size,
                        bool currentFile, bool force) {
  static thread_local std::chrono::steady_clock::time_point last{};
  const auto clock = std::chrono::steady_clock::now();
  if (!force && job.progressIntervalMs > 0 && clock - last < std::chrono::milliseconds(job.progressIntervalMs))
    return;
  last = clock;
  Report& report = *session.report;
  const std::uint64_t saved = job.bytesSaved;
  const std::uint64_t counted = job.bytesToSave;
  const std::uint64_t total = counted == 0 ? 1 : counted;
  const std::uint64_t percent = std::min<std::uint64_t>(saved * 100 / total, 100);
  report.saveData(saved, counted, static_cast<int>(percent));
  const std::int64_t elapsed = now() - job.startTime;
  if (elapsed > 0) {
    const std::uint64_t rate = saved / static_cast<std::uint64_t>(elapsed);
    if (rate > 0) {
      const std::uint64_t left = total > saved ? (total - saved) / rate : 0;
      report.saveTimes(elapsed, static_cast<std::int64_t>(left));
    }
  }
  if (currentFile) report.saveCurrentFile(written, size);
}

ClusterChain walkSaveChain(Session& session, const VolumeParameters& v, std::uint32_t c, std::uint32_t fatStart,
                           std::uint32_t n) {
  ClusterChain list;
  appendCluster(session, list, c);
  const FileSystem fs = v.fileSystem;
  if (fs == FileSystem::Fat12) {
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value >= 0xFFF) return list;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  } else if (fs == FileSystem::Fat16) {
    if (n < 1 || fatStart == 0) return list;
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value == 0xFFFF) return list;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  } else if (fs == FileSystem::Fat32) {
    if (n < 1) return list;
    for (std::uint32_t k = 0; k < n; ++k) {
      FatEntry e = readFatEntry(session, v, fatStart, c);
      if (e.value == 0 || e.value >= 0x0FFFFFFF) return list;
      appendCluster(session, list, e.value);
      c = e.value;
    }
  }
  return list;
}

bool saveFatFile(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
                 std::uint32_t size, std::uint32_t firstCluster, bool interactive, bool deleted) {
  job.skipCurrentFile = false;
  if (interactive && !admit(session, job, destPath, name, deleted)) return false;

  const VolumeParameters& v = job.scan.workingVolume;
  const std::uint32_t spc = v.sectorsPerCluster;
  if (spc == 0) return false;
  const std::uint64_t clusterBytes = std::uint64_t{spc} * 512;
  const auto needed = static_cast<std::uint32_t>((size + clusterBytes - 1) / clusterBytes);

  // The clusters: a chain is used only when it has exactly the clusters the size needs.
  ClusterChain chain;
  auto tryFat = [&](std::uint32_t fatStart) {
    chain = walkSaveChain(session, v, firstCluster, fatStart, needed);
    if (chain.size() == needed) return true;
    chain.clear();
    return false;
  };
  bool useChain = false;
  switch (job.options.savingMode) {
    case SavingMode::Auto: useChain = tryFat(v.fat1Start) || tryFat(v.fat2Start); break;
    case SavingMode::Fat1: useChain = tryFat(v.fat1Start); break;
    case SavingMode::Fat2: useChain = tryFat(v.fat2Start); break;
    case SavingMode::Contiguous: break;
  }

  DestinationFile out(destPath);
  if (!out.opened()) {
    if (interactive) errorWriting(session, job, destPath);
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
      if (job.skipCurrentFile || job.stopSaving) {
        out.close();  // what was written stays
        job.skipCurrentFile = false;
        return false;
      }
      session.safePoint();
      // A cleared block: a bad sector that is skipped saves zeros, not older bytes.
      std::fill(block.begin(), block.end(), 0);
      const ReadResult read = readDiskSectors(session, s + offset, blockSectors, block);
      if (!read.delivered()) {
        out.close();
        sourceFailed(job, destPath, read);
        return false;
      }
      const std::uint64_t left = size - written;
      if (left <= blockBytes) {
        const bool ok = out.write(block.data(), static_cast<std::size_t>(left)) && out.close();
        if (!ok) {
          if (interactive) errorWriting(session, job, destPath);
          return false;
        }
        job.outcome.bytesWritten += left;
        if (interactive) ++job.outcome.filesCompleted;
        return true;
      }
      if (!out.write(block.data(), blockBytes)) {
        out.close();
        if (interactive) errorWriting(session, job, destPath);
        return false;
      }
      written += blockBytes;
      job.bytesSaved += blockBytes;
      job.outcome.bytesWritten += blockBytes;
      if (interactive) updateSaveProgress(session, job, written, size, true);
    }
    c = useChain ? (index + 1 < chain.size() ? chain[index + 1] : c + 1) : c + 1;
  }
}

namespace {

// Copies the runs of a non-resident file. Sparse runs (no disk position) hold zeros.
bool copyNtfsRuns(Session& session, SaveJob& job, const std::string& destPath, std::uint64_t size,
                  const RunTable& runs, bool interactive) {
  DestinationFile out(destPath);
  if (!out.opened()) {
    if (interactive) errorWriting(session, job, destPath);
    return false;
  }
  const std::uint32_t spc = job.scan.workingVolume.sectorsPerCluster;
  if (spc == 0) return out.close() && size == 0;
  const std::uint32_t blockSectors = spc >= 8 ? 8 : 1;
  const std::size_t blockBytes = std::size_t{blockSectors} * 512;
  std::vector<std::uint8_t> block(blockBytes);
  std::uint64_t written = 0;
  auto finish = [&]() {
    if (!out.close()) {
      if (interactive) errorWriting(session, job, destPath);
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
        if (job.skipCurrentFile || job.stopSaving) {
          out.close();
          job.skipCurrentFile = false;
          return false;
        }
        session.safePoint();
        std::fill(block.begin(), block.end(), 0);
        if (!sparse) {
          const ReadResult read = readDiskSectors(session, s + offset, blockSectors, block);
          if (!read.delivered()) {
            out.close();
            sourceFailed(job, destPath, read);
            return false;
          }
        }
        const std::uint64_t piece = std::min<std::uint64_t>(blockBytes, size - written);
        if (!out.write(block.data(), static_cast<std::size_t>(piece))) {
          out.close();
          if (interactive) errorWriting(session, job, destPath);
          return false;
        }
        written += piece;
        job.bytesSaved += piece;
        job.outcome.bytesWritten += piece;
        if (interactive) updateSaveProgress(session, job, written, size, false);
        if (written >= size) return finish();
      }
    }
  }
  return finish();  // the runs ended before the size: the file stays short
}

// Copies a compressed non-resident file unit by unit, decompressed. A unit whose data do
// not decode whole keeps what decoded and zeros after it.
bool copyCompressedNtfsRuns(Session& session, SaveJob& job, const std::string& destPath, std::uint64_t size,
                            const RunTable& runs, std::uint32_t unitClusters, bool interactive) {
  DestinationFile out(destPath);
  if (!out.opened()) {
    if (interactive) errorWriting(session, job, destPath);
    return false;
  }
  const CompressedData data(runs, job.scan.workingVolume.sectorsPerCluster, unitClusters);
  std::vector<std::uint8_t> unit;
  std::uint64_t written = 0;
  for (std::uint64_t u = 0; written < size; ++u) {
    if (job.skipCurrentFile || job.stopSaving) {
      out.close();
      job.skipCurrentFile = false;
      return false;
    }
    session.safePoint();
    const CompressedData::Unit read = data.readUnit(session, u, unit);
    if (!read.read.delivered()) {
      out.close();
      sourceFailed(job, destPath, read.read);
      return false;
    }
    const std::uint64_t piece = std::min<std::uint64_t>(unit.size(), size - written);
    if (!out.write(unit.data(), static_cast<std::size_t>(piece))) {
      out.close();
      if (interactive) errorWriting(session, job, destPath);
      return false;
    }
    written += piece;
    job.bytesSaved += piece;
    job.outcome.bytesWritten += piece;
    if (interactive) updateSaveProgress(session, job, written, size, false);
  }
  if (!out.close()) {
    if (interactive) errorWriting(session, job, destPath);
    return false;
  }
  return true;
}

}  // namespace

bool saveNtfsFile(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
                  std::uint64_t size, std::uint32_t recordSector, bool interactive, bool deleted) {
  job.skipCurrentFile = false;
  if (interactive) {
    if (!admit(session, job, destPath, name, deleted)) return false;
    updateSaveProgress(session, job, 0, size, false, true);
  }
  const VolumeParameters& v = job.scan.workingVolume;
  MftRecord record{};
  (void)readRecordAt(session, recordSector, record);
  if (session.deviceLost()) {
    sourceFailed(job, destPath, {ReadStatus::DeviceLost, {}});
    return false;
  }
  const DataLocation data = locateData(record);
  bool ok = false;
  if (data.kind == DataKind::Resident) {
    const std::uint64_t start = data.position + 24;
    if (start + size > 1023) return false;  // the value would reach past the record
    DestinationFile out(destPath);
    if (!out.opened()) {
      if (interactive) errorWriting(session, job, destPath);
      return false;
    }
    ok = out.write(record.data() + start, static_cast<std::size_t>(size)) && out.close();
    if (!ok) {
      if (interactive) errorWriting(session, job, destPath);
      return false;
    }
    if (size != 0) job.bytesSaved += 512;
    job.outcome.bytesWritten += size;
  } else if (data.kind == DataKind::NonResident) {
    RunTable runs(session.memoryLimit);
    buildDataRunList(session, job.scan.mftRuns, v.cluster0Sector, recordSector, v.sectorsPerCluster, runs);
    if (session.deviceLost()) {
      sourceFailed(job, destPath, {ReadStatus::DeviceLost, {}});
      return false;
    }
    if (runs.empty()) return false;
    const std::uint16_t flags = u16le(record, data.position + kAttrFlags);
    const std::uint8_t unitShift = u8at(record, data.position + kAttrCompressionUnit);
    if ((flags & kAttrFlagEncrypted) != 0) noteEncrypted(session, job, destPath, name, interactive);
    if ((flags & kAttrFlagCompressed) != 0 && unitShift > 0 && unitShift <= kMaxCompressionUnitShift)
      ok = copyCompressedNtfsRuns(session, job, destPath, size, runs, 1u << unitShift, interactive);
    else
      ok = copyNtfsRuns(session, job, destPath, size, runs, interactive);
    // An encrypted file's bytes are saved as stored, but that is no recovered file.
    if ((flags & kAttrFlagEncrypted) != 0) return false;
  }
  if (ok && interactive) ++job.outcome.filesCompleted;
  return ok;
}

bool openSavedFile(const std::string& path) { return platform::startDetached("xdg-open", {path}); }

}  // namespace tessaly

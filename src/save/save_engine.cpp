#include "save/save_engine.h"

#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "fat/cluster_chain.h"
#include "fat/fat_table.h"
#include "ntfs/compressed_data.h"
#include "ntfs/mft_record.h"
#include "ntfs/run_list.h"
#include "platform/process.h"
#include "save/destination_file.h"
#include "save/save_job.h"
#include "session/safe_text.h"
#include "session/session.h"

namespace tessaly {

namespace {

// What lies at a destination path: nothing, a regular file, or something else.
enum class AtPath { Nothing, File, Other };
AtPath whatIsAt(int dirFd, const std::string& path) {
  struct stat st {};
  if (::fstatat(dirFd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return AtPath::Nothing;
  return S_ISREG(st.st_mode) ? AtPath::File : AtPath::Other;
}

// The error-writing prompt: Abort ends the save, Skip abandons this file.
void errorWriting(Session& session, SaveJob& job, const std::string& path) {
  ++job.outcome.writeFailures;
  job.outcome.note({path, FileOutcome::WriteFailed, {}, {}});
  if (session.dialogs->askErrorWriting(path) == WriteErrorAnswer::Abort) {
    job.skipCurrentFile = false;
    job.stopSaving = true;
  } else {
    job.skipCurrentFile = true;
    job.stopSaving = false;
  }
}

// Where a file is created: destPath itself, or, inside an open destination folder, the
// last component of destPath (destPath is still the path shown and noted).
std::string createdName(const std::string& destPath, int dirFd) {
  if (dirFd == AT_FDCWD) return destPath;
  const auto slash = destPath.rfind('/');
  return slash == std::string::npos ? destPath : destPath.substr(slash + 1);
}

// One file's copy into the destination: its file (under a temporary name until it is
// whole), the bytes of it that could not be read, and how it ends. A copy that is left
// without finish() removes its temporary.
class FileCopy {
 public:
  FileCopy(Session& session, SaveJob& job, const std::string& destPath, bool interactive, int dirFd)
      : session_(session),
        job_(job),
        path_(destPath),
        interactive_(interactive),
        out_(createdName(destPath, dirFd), dirFd) {
    if (!out_.opened()) writeFailed();
  }
  bool opened() const { return out_.opened(); }

  // Notes the sectors a block read left unread. The block began at disk sector
  // blockSector and holds file bytes from fileOffset on, `piece` of them.
  void unread(const ReadResult& read, std::uint64_t blockSector, std::uint64_t fileOffset,
              std::uint64_t piece) {
    for (const SectorRange& r : read.skipped) {
      if (r.first < blockSector) continue;
      const std::uint64_t at = (r.first - blockSector) * kSectorSize;
      if (at >= piece) continue;
      missing(fileOffset + at,
              std::min<std::uint64_t>(std::uint64_t{r.count} * kSectorSize, piece - at));
    }
  }
  // Notes bytes of the file that hold no data of it.
  void missing(std::uint64_t offset, std::uint64_t length) {
    if (length == 0) return;
    if (!missing_.empty() && missing_.back().offset + missing_.back().length == offset)
      missing_.back().length += length;
    else
      missing_.push_back({offset, length});
  }
  // The file's size claims more than its volume holds: only `kept` bytes are saved, and
  // the rest is noted missing.
  void truncate(std::uint64_t kept, std::uint64_t size) {
    if (kept >= size) return;
    keptBytes_ = kept;
    statedSize_ = size;
    truncated_ = true;
  }
  bool write(const std::uint8_t* data, std::size_t size) {
    if (out_.write(data, size)) return true;
    out_.abandon();
    writeFailed();
    return false;
  }
  // Notes bytes of the file whose compressed data did not decompress.
  void damaged(std::uint64_t offset, std::uint64_t length) {
    if (length > 0) damaged_.push_back({offset, length});
  }
  // The last byte is written: the file takes its name. A file with unread or
  // undecodable bytes keeps its name and is counted incomplete, its note saying which.
  bool finish() {
    if (!out_.commit()) {
      writeFailed();
      return false;
    }
    if (!counted_) return true;
    if (!damaged_.empty()) job_.outcome.note({path_, FileOutcome::Damaged, {}, damaged_});
    // Kept apart from the unread ranges, so that it is always the last range.
    if (truncated_) missing_.push_back({keptBytes_, statedSize_ - keptBytes_});
    if (!missing_.empty()) job_.outcome.note({path_, FileOutcome::Incomplete, {}, missing_, truncated_});
    if (!missing_.empty() || !damaged_.empty()) {
      if (interactive_) ++job_.outcome.filesIncomplete;
    } else if (stream_) {
      ++job_.outcome.streamsSaved;
    } else if (interactive_) {
      ++job_.outcome.filesCompleted;
    }
    return true;
  }
  // The copy is a named stream: whole, it counts as a stream saved, not as a file.
  void countAsStream() { stream_ = true; }
  // The file is saved but is no recovered file (encrypted: unreadable without its key).
  void leaveUncounted() { counted_ = false; }
  // Skip, Stop or a signal: the file is not whole, so its temporary goes.
  void stop() {
    out_.abandon();
    job_.skipCurrentFile = false;
  }
  // The disk could not be read at all (it stopped answering): the file is not saved,
  // and no later file can be read either, so the save ends.
  void sourceFailed(const ReadResult& read) {
    out_.abandon();
    ++job_.outcome.sourceFailures;
    job_.outcome.note({path_, FileOutcome::SourceUnreadable, read.skipped, {}});
    job_.stopSaving = true;
  }

 private:
  void writeFailed() {
    if (interactive_) errorWriting(session_, job_, path_);
  }
  Session& session_;
  SaveJob& job_;
  std::string path_;
  bool interactive_;
  DestinationFile out_;
  std::vector<ByteRange> missing_;
  std::vector<ByteRange> damaged_;
  bool truncated_ = false;
  std::uint64_t keptBytes_ = 0, statedSize_ = 0;
  bool counted_ = true;
  bool stream_ = false;
};

void sourceFailed(SaveJob& job, const std::string& path, const ReadResult& read) {
  ++job.outcome.sourceFailures;
  job.outcome.note({path, FileOutcome::SourceUnreadable, read.skipped, {}});
  job.stopSaving = true;
}

// Admission of a file to an interactive save: the deleted-file and extension filters,
// then the replace question. Counts and shows the file when it is admitted.
bool admit(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
           bool deleted, int dirFd) {
  const SaveOptions& o = job.options;
  if (o.deletedFilter == DeletedFilter::ExcludeDeleted && deleted) return false;
  if (o.deletedFilter == DeletedFilter::DeletedOnly && !deleted) return false;
  if (!o.extensionPasses(name)) return false;
  // Only a regular file can be replaced; anything else under the name is refused when
  // the file is opened, with the error-writing prompt.
  if (whatIsAt(dirFd, createdName(destPath, dirFd)) == AtPath::File) {
    ReplaceAnswer policy = job.replacePolicy;
    if (policy != ReplaceAnswer::YesToAll) {
      if (policy != ReplaceAnswer::NoToAll) {
        policy = session.dialogs->askReplace(destPath);
        job.replacePolicy = policy;
      }
      if (policy == ReplaceAnswer::No || policy == ReplaceAnswer::NoToAll) {
        ++job.outcome.filesKept;
        return false;
      }
    }
  }
  const int saved = ++job.filesSaved;
  session.report->saveFileStarted(saved, job.filesToSave.load(), name, destPath);
  return true;
}

// The sector after the selected volume, and never past the end of the disk; nothing when
// neither is known (a selection without a range, as some callers leave it, bounds nothing).
std::optional<std::uint64_t> volumeEnd(Session& session) {
  const PartitionSelection& selection = session.partitionSelection;
  std::optional<std::uint64_t> end;
  if (selection.lastSector > selection.firstSector) end = selection.lastSector + 1;
  const std::string device = session.floppySelected() ? platform::DeviceTable::floppyName()
                                                      : session.selectedDevicePath();
  if (const auto disk = session.devices.open(device); disk && disk->size() >= kSectorSize) {
    const std::uint64_t sectors = disk->size() / kSectorSize;
    end = std::min(end.value_or(sectors), sectors);
  }
  return end;
}

// The clusters of a FAT volume from cluster `first` on: no more than its FAT has entries
// and than the volume holds on the disk. A file's size beyond them is damage, and the
// file is saved only up to them (never gigabytes read past the volume's end).
std::optional<std::uint64_t> fatClustersFrom(Session& session, const VolumeParameters& v,
                                             std::uint32_t first) {
  std::optional<std::uint64_t> limit;
  if (v.fatSectors != 0) limit = fatEntryCount(v);
  const auto end = volumeEnd(session);
  if (const auto held = end ? v.clustersBefore(*end) : std::nullopt)
    limit = std::min(limit.value_or(*held), *held);
  if (!limit) return std::nullopt;
  return *limit > first ? *limit - first : 0;
}

// The bytes of an NTFS volume from its first cluster to its end on the disk.
std::optional<std::uint64_t> ntfsVolumeBytes(Session& session, const VolumeParameters& v) {
  const auto end = volumeEnd(session);
  if (!end) return std::nullopt;
  return *end > v.cluster0Sector ? (*end - v.cluster0Sector) * kSectorSize : 0;
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// An encrypted file: its bytes can only be saved as they are stored, unreadable without
// the owner's key. The file name line says so and the outcome counts it apart.
void noteEncrypted(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
                   bool interactive) {
  ++job.outcome.encryptedFiles;
  job.outcome.note({destPath, FileOutcome::Encrypted, {}, {}});
  if (interactive)
    session.report->saveFileStarted(job.filesSaved, job.filesToSave.load(), name + " (encrypted: saved as stored)",
                                    destPath);
}

}  // namespace

std::string safeComponent(const std::string& name) {
  std::string out = savedNameText(name);
  for (char& c : out)
    if (c == '/') c = '_';
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

FileClusters chooseFileClusters(Session& session, const VolumeParameters& v, SavingMode mode,
                                std::uint32_t firstCluster, std::uint32_t needed) {
  // A chain is used only when it has exactly the clusters the size needs.
  auto chainIn = [&](std::uint32_t fatStart) {
    ClusterChain chain = walkSaveChain(session, v, firstCluster, fatStart, needed);
    if (chain.size() != needed) chain.clear();
    return chain;
  };
  auto freeRun = [&]() {
    FatTable fat1(session, v, v.fat1Start);
    return freeClusterRun(fat1, firstCluster, needed, clusterLimit(v, session.partitionSelection.lastSector));
  };
  FileClusters out;
  switch (mode) {
    case SavingMode::Auto:
      if (!(out.chain = chainIn(v.fat1Start)).empty()) {
        out.method = SaveMethod::Fat1Chain;
      } else if (!(out.chain = chainIn(v.fat2Start)).empty()) {
        out.method = SaveMethod::Fat2Chain;
      } else if (!(out.chain = freeRun()).empty()) {
        out.method = SaveMethod::FreeClusters;
      }
      break;
    case SavingMode::Fat1:
      if (!(out.chain = chainIn(v.fat1Start)).empty()) out.method = SaveMethod::Fat1Chain;
      break;
    case SavingMode::Fat2:
      if (!(out.chain = chainIn(v.fat2Start)).empty()) out.method = SaveMethod::Fat2Chain;
      break;
    case SavingMode::FreeClusters:
      if (!(out.chain = freeRun()).empty()) out.method = SaveMethod::FreeClusters;
      break;
    case SavingMode::Contiguous:
      break;
  }
  return out;
}

bool saveFatFile(Session& session, SaveJob& job, const std::string& destPath,
                 const std::string& name, std::uint32_t size, std::uint32_t firstCluster,
                 bool interactive, bool deleted, int dirFd) {
  job.skipCurrentFile = false;
  if (interactive && !admit(session, job, destPath, name, deleted, dirFd)) return false;

  const VolumeParameters& v = job.scan.workingVolume;
  const std::uint32_t spc = v.sectorsPerCluster;
  if (spc == 0) return false;
  const std::uint64_t clusterBytes = std::uint64_t{spc} * 512;
  const std::uint32_t stated = size;
  if (const auto held = fatClustersFrom(session, v, 2))
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, *held * clusterBytes));
  const auto needed = static_cast<std::uint32_t>((size + clusterBytes - 1) / clusterBytes);

  const FileClusters clusters = chooseFileClusters(session, v, job.options.savingMode, firstCluster, needed);
  const ClusterChain& chain = clusters.chain;
  const bool useChain = !chain.empty();
  // Clusters taken one after another from the first end where the volume ends.
  if (const auto after = fatClustersFrom(session, v, firstCluster); after && !useChain)
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, *after * clusterBytes));

  FileCopy copy(session, job, destPath, interactive, dirFd);
  if (!copy.opened()) return false;
  copy.truncate(size, stated);
  // A whole file also counts under the way its clusters were found.
  auto finishCounted = [&] {
    const bool done = copy.finish();
    if (done && interactive) ++job.outcome.filesByMethod[static_cast<std::size_t>(clusters.method)];
    return done;
  };
  if (size == 0) return finishCounted();

  const std::uint32_t blockSectors = spc >= 8 ? 8 : 1;
  const std::size_t blockBytes = std::size_t{blockSectors} * 512;
  std::vector<std::uint8_t> block(blockBytes);
  std::uint64_t written = 0;
  std::uint32_t c = firstCluster;
  for (std::size_t index = 0;; ++index) {
    const std::uint64_t s = v.clusterSector(c);
    for (std::uint32_t offset = 0; offset < spc; offset += blockSectors) {
      if (job.skipCurrentFile || job.stopSaving) {
        copy.stop();
        return false;
      }
      session.safePoint();
      // A cleared block: a bad sector that is skipped saves zeros, not older bytes.
      std::fill(block.begin(), block.end(), 0);
      const ReadResult read = readDiskSectors(session, s + offset, blockSectors, block);
      if (!read.delivered()) {
        copy.sourceFailed(read);
        return false;
      }
      const std::uint64_t piece = std::min<std::uint64_t>(blockBytes, size - written);
      copy.unread(read, s + offset, written, piece);
      if (!copy.write(block.data(), static_cast<std::size_t>(piece))) return false;
      written += piece;
      job.outcome.bytesWritten += piece;
      if (written >= size) return finishCounted();  // the final piece is not counted in the progress
      job.bytesSaved += piece;
      if (interactive) updateSaveProgress(session, job, written, size, true);
    }
    c = useChain ? (index + 1 < chain.size() ? chain[index + 1] : c + 1) : c + 1;
  }
}

namespace {

// Copies the runs of a non-resident file. Sparse runs (no disk position) hold zeros.
// Runs that end before the size leave the file short, and the rest is noted missing.
bool copyNtfsRuns(Session& session, SaveJob& job, FileCopy& copy, std::uint64_t size,
                  const RunTable& runs, bool interactive) {
  const std::uint32_t spc = job.scan.workingVolume.sectorsPerCluster;
  std::uint64_t written = 0;
  if (spc == 0 || size == 0) {
    copy.missing(0, size);
    return copy.finish();
  }
  const std::uint32_t blockSectors = spc >= 8 ? 8 : 1;
  const std::size_t blockBytes = std::size_t{blockSectors} * 512;
  std::vector<std::uint8_t> block(blockBytes);
  for (std::size_t r = 0; r < runs.size(); ++r) {
    std::uint64_t s = runs.start(r);
    const bool sparse = runs.start(r) == 0;
    const std::uint32_t clusters = runs.length(r) / spc;
    for (std::uint32_t k = 0; k < clusters; ++k, s += spc) {
      for (std::uint32_t offset = 0; offset < spc; offset += blockSectors) {
        if (job.skipCurrentFile || job.stopSaving) {
          copy.stop();
          return false;
        }
        session.safePoint();
        std::fill(block.begin(), block.end(), 0);
        const std::uint64_t piece = std::min<std::uint64_t>(blockBytes, size - written);
        if (!sparse) {
          const ReadResult read = readDiskSectors(session, s + offset, blockSectors, block);
          if (!read.delivered()) {
            copy.sourceFailed(read);
            return false;
          }
          copy.unread(read, s + offset, written, piece);
        }
        if (!copy.write(block.data(), static_cast<std::size_t>(piece))) return false;
        written += piece;
        job.bytesSaved += piece;
        job.outcome.bytesWritten += piece;
        if (interactive) updateSaveProgress(session, job, written, size, false);
        if (written >= size) return copy.finish();
      }
    }
  }
  copy.missing(written, size - written);
  return copy.finish();
}

// Copies a compressed non-resident file unit by unit, decompressed. A unit whose data do
// not decode whole keeps what decoded and zeros after it, and is noted damaged.
bool copyCompressedNtfsRuns(Session& session, SaveJob& job, FileCopy& copy, std::uint64_t size,
                            const RunTable& runs, std::uint32_t unitClusters, bool interactive) {
  const CompressedData data(runs, job.scan.workingVolume.sectorsPerCluster, unitClusters);
  std::vector<std::uint8_t> unit;
  std::uint64_t written = 0;
  for (std::uint64_t u = 0; written < size; ++u) {
    if (job.skipCurrentFile || job.stopSaving) {
      copy.stop();
      return false;
    }
    session.safePoint();
    const CompressedData::Unit read = data.readUnit(session, u, unit);
    if (!read.read.delivered()) {
      copy.sourceFailed(read.read);
      return false;
    }
    const std::uint64_t piece = std::min<std::uint64_t>(unit.size(), size - written);
    if (piece == 0) break;
    if (read.damaged) copy.damaged(written, piece);
    if (!copy.write(unit.data(), static_cast<std::size_t>(piece))) return false;
    written += piece;
    job.bytesSaved += piece;
    job.outcome.bytesWritten += piece;
    if (interactive) updateSaveProgress(session, job, written, size, false);
  }
  copy.missing(written, size - written);
  return copy.finish();
}

}  // namespace

namespace {

// The extension records the scan found for the file whose base record (`base`) is at
// recordSector, whose base reference carries the base record's sequence number or, for a
// freed base record, the one before it (a record is given a new number when it is freed).
std::vector<std::uint32_t> extensionsOf(const ScanState& scan, std::uint32_t recordSector, const MftRecord& base) {
  std::vector<std::uint32_t> records;
  const auto at = scan.ntfsExtensions.find(recordSector);
  if (at == scan.ntfsExtensions.end()) return records;
  const std::uint16_t sequence = recordSequence(base);
  const bool freed = isDeletedState(recordState(base));
  for (const NtfsExtension& e : at->second)
    if (e.baseSequence == sequence || (freed && static_cast<std::uint16_t>(e.baseSequence + 1) == sequence))
      records.push_back(e.record);
  return records;
}

// Copies one $DATA attribute of the record at recordSector (read into `record`): the
// unnamed one, or the named stream `stream`. Resident data are copied from the record
// holding them; non-resident data through the attribute's runs, decompressed when the
// attribute is compressed. An encrypted attribute is saved as stored and noted, never
// counted as recovered.
bool copyNtfsData(Session& session, SaveJob& job, FileCopy& copy, const std::string& destPath,
                  const std::string& name, std::uint64_t size, std::uint32_t recordSector,
                  const MftRecord& base, const MftRecord& record, std::size_t position, bool resident,
                  const std::string* stream, bool interactive) {
  const VolumeParameters& v = job.scan.workingVolume;
  const std::uint16_t flags = u16le(record, position + kAttrFlags);
  const bool encrypted = (flags & kAttrFlagEncrypted) != 0;
  if (encrypted) {
    noteEncrypted(session, job, destPath, name, interactive);
    copy.leaveUncounted();
  }
  if (resident) {
    // The value as far as the record holds it; a stated size beyond it is noted missing.
    // It begins where the header says (after the name of a named stream), never inside
    // the 24-byte header.
    const std::size_t start = position + std::max<std::size_t>(u16le(record, position + 20), 24);
    const std::uint64_t stated = u32le(record, position + 16);
    const std::uint64_t room = start < record.size() ? record.size() - start : 0;
    const std::uint64_t present = std::min({size, stated, room});
    if (!copy.write(record.data() + start, static_cast<std::size_t>(present))) return false;
    copy.missing(present, size - present);
    if (!copy.finish()) return false;
    if (size != 0) job.bytesSaved += 512;
    job.outcome.bytesWritten += present;
    return !encrypted;
  }
  RunTable runs(session.memoryLimit);
  // A file whose extension records the attribute list may no longer all name (a deleted
  // one), and every named stream, are read extent by extent.
  const std::vector<std::uint32_t> extensions = extensionsOf(job.scan, recordSector, base);
  if (stream || !extensions.empty())
    buildExtentRunList(session, job.scan.mftRuns, v.cluster0Sector, recordSector, v.sectorsPerCluster,
                       stream ? *stream : std::string(), extensions, runs);
  else
    buildDataRunList(session, job.scan.mftRuns, v.cluster0Sector, recordSector, v.sectorsPerCluster, runs);
  if (session.deviceLost()) {
    copy.sourceFailed({ReadStatus::DeviceLost, {}});
    return false;
  }
  if (runs.empty() && size != 0) {
    copy.stop();
    return false;
  }
  const std::uint8_t unitShift = u8at(record, position + kAttrCompressionUnit);
  // A size beyond what the volume holds on the disk is saved up to there, noted truncated.
  const std::uint64_t stated = size;
  if (const auto room = ntfsVolumeBytes(session, v)) size = std::min(size, *room);
  copy.truncate(size, stated);
  bool ok = false;
  if ((flags & kAttrFlagCompressed) != 0 && unitShift > 0 && unitShift <= kMaxCompressionUnitShift)
    ok = copyCompressedNtfsRuns(session, job, copy, size, runs, 1u << unitShift, interactive);
  else
    ok = copyNtfsRuns(session, job, copy, size, runs, interactive);
  return ok && !encrypted;
}

// The folder part of a path ("." for a bare name).
std::string parentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether names with ":" can be made in the open destination folder: a FAT or NTFS
// mount refuses them (EINVAL) or would take them as something else. Probed by the
// folder's file system type, then by making and removing a file of such a name.
bool takesColon(int dirFd) {
  struct statfs fs {};
  if (::fstatfs(dirFd, &fs) == 0) {
    constexpr long kRefusing[] = {0x4d44 /* FAT */, 0x5346544e /* NTFS */, 0x7366746e /* ntfs3 */,
                                  0x2011BAB0 /* exFAT */, 0x65735546 /* FUSE: ntfs-3g, exFAT */};
    for (long type : kRefusing)
      if (static_cast<long>(fs.f_type) == type) return false;
  }
  static constexpr char kProbe[] = ".tessaly-probe:stream";
  const int fd = ::openat(dirFd, kProbe, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno != EINVAL;
  ::close(fd);
  ::unlinkat(dirFd, kProbe, 0);
  return true;
}

// The named streams of the file whose record is `record`, each saved beside destPath as
// destPath + ":" + stream (or "_" where the destination refuses ":").
void saveNtfsStreams(Session& session, SaveJob& job, const std::string& destPath, const std::string& name,
                     std::uint32_t recordSector, const MftRecord& record, bool interactive, int dirFd) {
  const VolumeParameters& v = job.scan.workingVolume;
  // The records that may hold a stream: the file's own and its segments.
  std::vector<MftRecord> holders{record};
  std::vector<std::uint32_t> segments = listedSegments(session, record, v.cluster0Sector, v.sectorsPerCluster);
  for (std::uint32_t n : extensionsOf(job.scan, recordSector, record))
    if (std::find(segments.begin(), segments.end(), n) == segments.end()) segments.push_back(n);
  for (std::uint32_t segment : segments) {
    const std::uint32_t sector = sectorOfRecord(job.scan.mftRuns, segment);
    MftRecord other{};
    if (sector != 0 && sector != recordSector && readRecordAt(session, sector, other)) holders.push_back(other);
  }
  std::vector<std::string> done;
  std::optional<bool> colon;
  for (const MftRecord& holder : holders) {
    for (const NamedStream& s : findNamedStreams(holder)) {
      if (job.stopSaving) return;
      // A non-resident stream is found by its first extent, which states its size.
      if ((!s.resident && s.lowestVcn != 0) || std::find(done.begin(), done.end(), s.name) != done.end()) continue;
      done.push_back(s.name);
      if (!colon) {
        const int folder = dirFd == AT_FDCWD
                               ? ::open(parentFolder(destPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : dirFd;
        colon = folder >= 0 && takesColon(folder);
        if (folder >= 0 && folder != dirFd) ::close(folder);
        if (!*colon) job.outcome.streamsRenamed = true;
      }
      const std::string streamPath = destPath + (*colon ? ":" : "_") + safeComponent(s.name);
      job.skipCurrentFile = false;
      FileCopy copy(session, job, streamPath, interactive, dirFd);
      if (!copy.opened()) continue;
      copy.countAsStream();
      (void)copyNtfsData(session, job, copy, streamPath, name + ":" + s.name, s.size, recordSector, record,
                         holder, s.position, s.resident, &s.name, interactive);
    }
  }
}

}  // namespace

bool saveNtfsFile(Session& session, SaveJob& job, const std::string& destPath,
                  const std::string& name, std::uint64_t size, std::uint32_t recordSector,
                  bool interactive, bool deleted, int dirFd) {
  job.skipCurrentFile = false;
  if (interactive) {
    if (!admit(session, job, destPath, name, deleted, dirFd)) return false;
    updateSaveProgress(session, job, 0, size, false, true);
  }
  MftRecord record{};
  (void)readRecordAt(session, recordSector, record);
  if (session.deviceLost()) {
    sourceFailed(job, destPath, {ReadStatus::DeviceLost, {}});
    return false;
  }
  const DataLocation data = locateData(record);
  if (data.kind == DataKind::None) return false;
  bool ok = false;
  {
    FileCopy copy(session, job, destPath, interactive, dirFd);
    if (!copy.opened()) return false;
    ok = copyNtfsData(session, job, copy, destPath, name, size, recordSector, record, record, data.position,
                      data.kind == DataKind::Resident, nullptr, interactive);
  }
  if (job.options.streams && !job.stopSaving && !session.deviceLost())
    saveNtfsStreams(session, job, destPath, name, recordSector, record, interactive, dirFd);
  return ok;
}

bool openSavedFile(const std::string& path) { return platform::startDetached("xdg-open", {path}); }

}  // namespace tessaly

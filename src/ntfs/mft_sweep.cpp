#include "ntfs/mft_sweep.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <vector>

#include "disk/sector_reader.h"
#include "ntfs/index_block.h"
#include "ntfs/index_layout.h"
#include "session/scan_progress.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {
constexpr std::size_t kBootSignature = 510;
constexpr std::size_t kBootOemName = 3;  // "NTFS"
constexpr std::size_t kBootSectorsPerCluster = 13;
constexpr std::size_t kBootTotalSectors = 40;
constexpr std::size_t kBootMftCluster = 48;
constexpr std::size_t kBootMftMirrorCluster = 56;
constexpr std::size_t kBootIndexBlockClusters = 68;
// The record's own number, which NTFS 3.1 keeps in the header after the update
// sequence offset moved to 48.
constexpr std::size_t kRecordOwnNumber = 44;
constexpr std::size_t kNewHeaderUpdateSequence = 48;
// The sweep reads 1000 sectors at a time.
constexpr std::uint32_t kSweepChunk = 1000;
constexpr std::size_t kRecordSectorsStep = 10000;

constexpr const char* kAnalysing = "   (Analysing Directories/Files)";
}  // namespace

bool endsLikeBootSector(ByteSpan sector) {
  return u8at(sector, kBootSignature) == 0x55 && u8at(sector, kBootSignature + 1) == 0xAA;
}

bool isSweptFileRecord(ByteSpan sector) {
  return !endsLikeBootSector(sector) && bytesEqual(sector, 0, "FILE") &&
         u16le(sector, mft::kAllocatedSize) == mft::kRecordSize;
}

std::optional<NtfsBootCandidate> ntfsBootCandidate(ByteSpan sector, std::uint32_t s) {
  if (!endsLikeBootSector(sector) || !bytesEqual(sector, kBootOemName, "NTFS")) return std::nullopt;
  NtfsBootCandidate c;
  c.sector = s;
  c.sectorsPerCluster = u8at(sector, kBootSectorsPerCluster);
  const std::uint32_t perBlock = u32le(sector, kBootIndexBlockClusters);
  c.indexBlockSectors = perBlock == 244 ? 8 : perBlock * c.sectorsPerCluster;
  c.totalSectors = u32le(sector, kBootTotalSectors);
  c.mftCluster = u32le(sector, kBootMftCluster);
  c.mftMirrorCluster = u32le(sector, kBootMftMirrorCluster);
  return c;
}

std::optional<IndexBlockRow> indexBlockRow(ByteSpan block, std::uint32_t s) {
  const std::size_t first = indx::kEntriesBase + std::size_t{u32le(block, indx::kFirstEntryOffset)};
  const std::uint64_t size = std::min<std::uint64_t>(indexBlockSize(block), block.size());
  if (size < first + 44 || !fits(block, first + indx::kEntryParent, 4)) return std::nullopt;
  const std::uint32_t owner = u32le(block, first + indx::kEntryParent);
  if (owner <= 4 || owner == 0xFFFFFFFF) return std::nullopt;
  return IndexBlockRow{s, owner, indexBlockVcn(block), kIndexUnmatched};
}

std::uint32_t systemRecordNumber(const std::string& name) {
  static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 10> kSystem = {{
      {"$MFT", 1}, {"$MFTMirror", 1}, {"$LogFile", 2}, {"$Volume", 3}, {"$AttrDef", 4},
      {"$Bitmap", 6}, {"$Boot", 7}, {"$BadClus", 8}, {"$Secure", 9}, {"$UpCase", 10}}};
  for (const auto& [text, number] : kSystem)
    if (name == text) return number;
  return 0;
}

SpillRecord parseSweptRecord(const MftRecord& record, std::uint32_t s) {
  SpillRecord r;
  r.sector = s;
  // The modification time comes with the first lookup, name or not.
  std::uint64_t modification = 0;
  std::optional<FileName> name;
  for (std::uint8_t space : {mft::kNamespaceWin32, mft::kNamespaceWin32AndDos, mft::kNamespaceDos,
                             mft::kNamespacePosix}) {
    FileNameWithTimes found = findFileNameWithTimes(record, space);
    if (space == mft::kNamespaceWin32) modification = found.modificationTime;
    if (found.fileName) {
      name = std::move(found.fileName);
      break;
    }
  }
  if (name) {
    r.name = std::move(name->name);
    r.parentMft = name->parent;
    r.date = modification;
  }
  const std::uint8_t state = recordState(record);
  r.folder = isDirectoryState(state);
  if (r.folder) {
    r.selfMft = directorySelfNumber(record);
    r.firstRun = firstIndexRun(record);
    r.deleted = state == mft::kStateDeletedDirectory;
  } else {
    r.selfMft = systemRecordNumber(r.name);
    r.deleted = state == mft::kStateDeletedFile;
  }
  r.size = findDataSize(record).value_or(0);
  if (r.selfMft == 0 && u16le(record, mft::kUpdateSequenceOffset) >= kNewHeaderUpdateSequence)
    r.selfMft = u32le(record, kRecordOwnNumber);
  return r;
}

namespace {

// What the sweep proper collects before the dump.
struct Found {
  std::vector<std::uint32_t> recordSectors;
  bool full = false;  // the memory limit refused more room: the sweep ended there
};

// Takes the index block that begins at sector s: from the chunk when it lies wholly in
// it, else read from the disk.
void takeIndexBlock(Session& session, ScanState& scan, ByteSpan chunk, std::size_t offset, std::uint32_t s,
                    Found& found) {
  const std::uint64_t size = indexBlockSize(chunk.subspan(offset));
  if (size > indx::kMaxBlockSize) return;
  const std::size_t whole = static_cast<std::size_t>(size / kSectorSize) * kSectorSize;
  if (whole == 0) return;
  std::vector<std::uint8_t> block;
  if (offset + whole <= chunk.size()) {
    block.assign(chunk.begin() + static_cast<long>(offset), chunk.begin() + static_cast<long>(offset + whole));
    applyUpdateSequence(block, block.size());
  } else {
    block = readIndexBlockAt(session, s);
    if (block.empty()) return;
  }
  auto row = indexBlockRow(block, s);
  if (!row) return;
  std::vector<IndexBlockRow>& rows = scan.indexBlocks.rows;
  if (rows.size() == rows.capacity() && !session.canAllocate((rows.size() * 2 + 16) * sizeof(IndexBlockRow))) {
    found.full = true;
    return;
  }
  rows.push_back(*row);
}

void sweep(Session& session, ScanState& scan, Found& found) {
  Report& report = *session.report;
  const std::uint64_t first = session.partitionSelection.firstSector;
  const std::uint64_t last = session.partitionSelection.lastSector;
  const std::string lastText = std::to_string(static_cast<std::uint32_t>(last));
  // The range's last sector is swept too: a volume's backup boot sector lies there, and it
  // is what names the volume when the first boot sector is gone.
  if (last < first) return;
  std::uint64_t boots = 0;
  // A range shorter than a chunk gets a buffer of its own size.
  std::vector<std::uint8_t> chunk((last - first < kSweepChunk ? last - first + 1 : kSweepChunk) * kSectorSize);
  ScanProgress progress(report);
  std::uint32_t sinceStatus = 0;
  std::size_t shownRecords = 0;
  for (std::uint64_t s = first; s <= last && !scan.stopRequested && !found.full;) {
    session.safePoint();
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kSweepChunk, last - s + 1));
    const std::span<std::uint8_t> bytes = std::span(chunk).first(std::size_t{count} * kSectorSize);
    const ReadResult read = readDiskSectors(session, s, count, bytes);
    if (read.lost()) return;
    // Sectors that could not be read recognise nothing.
    for (const SectorRange& skipped : read.skipped)
      std::fill_n(bytes.begin() + static_cast<long>((skipped.first - s) * kSectorSize),
                  std::size_t{skipped.count} * kSectorSize, 0);
    if (read.delivered()) {
      for (std::uint32_t j = 0; j < count && !found.full; ++j) {
        const ByteSpan sector = ByteSpan(bytes).subspan(std::size_t{j} * kSectorSize, kSectorSize);
        const auto at = static_cast<std::uint32_t>(s + j);
        if (!endsLikeBootSector(sector)) {
          if (isSweptFileRecord(sector)) {
            std::vector<std::uint32_t>& sectors = found.recordSectors;
            if (sectors.size() == sectors.capacity() &&
                !session.canAllocate((sectors.size() + kRecordSectorsStep) * sizeof(std::uint32_t))) {
              found.full = true;
              break;
            }
            if (sectors.size() == sectors.capacity()) sectors.reserve(sectors.size() + kRecordSectorsStep);
            sectors.push_back(at);
          } else if (isIndexBlock(sector)) {
            takeIndexBlock(session, scan, bytes, std::size_t{j} * kSectorSize, at, found);
          }
        } else if (auto boot = ntfsBootCandidate(sector, at)) {
          scan.bootCandidates.push_back(*boot);
          report.counter(Counter::BootSectorsFound, ++boots);
        }
      }
    }
    if (found.recordSectors.size() != shownRecords) {
      shownRecords = found.recordSectors.size();
      report.counter(Counter::FoldersFound, shownRecords);
    }
    sinceStatus += count;
    if (sinceStatus >= 1000) {
      sinceStatus = 0;
      report.status("Sector  " + std::to_string(s) + " / " + lastText + kAnalysing);
    }
    progress.set(s, last);
    s += count;
  }
}

// The records of recordSectors[first, end) read together: a run of records with gaps of
// at most kDumpGap sectors, within kSweepChunk sectors from the first.
constexpr std::uint32_t kDumpGap = 16;
std::size_t dumpWindowEnd(const std::vector<std::uint32_t>& sectors, std::size_t first) {
  std::size_t end = first + 1;
  while (end < sectors.size() && sectors[end] > sectors[end - 1] && sectors[end] - sectors[end - 1] <= kDumpGap &&
         std::uint64_t{sectors[end]} + 2 - sectors[first] <= kSweepChunk)
    ++end;
  return end;
}

// Parses every noted record into the spill file, in disk order. Records that lie close
// together (a $MFT's) are read in one request rather than two sectors at a time.
void dump(Session& session, ScanState& scan, const Found& found) {
  Report& report = *session.report;
  const std::vector<std::uint32_t>& sectors = found.recordSectors;
  const std::size_t total = sectors.size() + scan.indexBlocks.rows.size();
  report.scanProgress(0);
  report.status("Dumping Directories/Files Information");
  ScanProgress progress(report);
  // Grown to the largest window read, at most kSweepChunk sectors.
  std::vector<std::uint8_t> window;
  MftRecord record{};
  for (std::size_t i = 0; i < sectors.size();) {
    session.safePoint();
    const std::size_t end = dumpWindowEnd(sectors, i);
    const std::uint32_t from = sectors[i];
    const auto count = static_cast<std::uint32_t>(std::uint64_t{sectors[end - 1]} + 2 - from);
    if (window.size() < std::size_t{count} * kSectorSize) window.resize(std::size_t{count} * kSectorSize);
    const std::span<std::uint8_t> bytes = std::span(window).first(std::size_t{count} * kSectorSize);
    std::fill(bytes.begin(), bytes.end(), 0);
    const ReadResult read = readDiskSectors(session, from, count, bytes);
    if (read.lost()) break;
    // Sectors that could not be read give no record, as readRecordAt would.
    for (const SectorRange& skipped : read.skipped)
      std::fill_n(bytes.begin() + static_cast<long>((skipped.first - from) * kSectorSize),
                  std::size_t{skipped.count} * kSectorSize, 0);
    for (; i < end; ++i) {
      const std::size_t at = std::size_t{sectors[i] - from} * kSectorSize;
      std::copy_n(bytes.begin() + static_cast<long>(at), record.size(), record.begin());
      applyUpdateSequence(record, record.size());
      if (!read.delivered() || !isFileRecord(record)) continue;
      const SpillRecord parsed = parseSweptRecord(record, sectors[i]);
      if (!scan.spillFile.append(parsed)) {
        scan.notes.push_back("The spill file " + scan.spillFile.path() +
                             " could not be written: only the records written before are used.");
        scan.spillFile.close();
        return;
      }
      if (parsed.folder) ++scan.folderRecordCount;
    }
    progress.set(i, total);
  }
  if (!scan.spillFile.flush())
    scan.notes.push_back("The spill file " + scan.spillFile.path() +
                         " could not be written: only the records written before are used.");
  scan.spillFile.close();
}

}  // namespace

SweepEnd sweepNtfsRange(Session& session, ScanState& scan) {
  Report& report = *session.report;
  const std::uint64_t last = session.partitionSelection.lastSector;
  scan.spillFile.remove();
  scan.indexBlocks.rows.clear();
  scan.bootCandidates.clear();
  scan.ntfsFolders.clear();
  scan.fileSystems.clear();
  scan.folderRecordCount = 0;
  report.counter(Counter::FoldersFound, 0);
  report.counter(Counter::BootSectorsFound, 0);
  report.status("Sector  0 / " + std::to_string(static_cast<std::uint32_t>(last)) + kAnalysing);
  // Records, blocks and file systems are numbered by 32-bit sectors.
  if (last > std::numeric_limits<std::uint32_t>::max()) return SweepEnd::Beyond32Bits;

  scan.sweepRunning = true;
  Found found;
  sweep(session, scan, found);
  scan.sweepRunning = false;
  const bool lost = session.deviceLost();
  if (found.full)
    scan.notes.push_back("The memory limit was reached during the sweep: it ended at the last record found.");
  if (found.recordSectors.empty() && scan.indexBlocks.rows.empty())
    return lost ? SweepEnd::DeviceLost : SweepEnd::Finished;
  if (!scan.spillFile.create(session.catalogueFolder())) return SweepEnd::NoSpillFile;
  if (!lost) dump(session, scan, found);
  return lost || session.deviceLost() ? SweepEnd::DeviceLost : SweepEnd::Finished;
}

}  // namespace tessaly

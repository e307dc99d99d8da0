#include "ntfs/run_list.h"

#include <algorithm>
#include <map>
#include <optional>

#include "disk/sector_reader.h"
#include "ntfs/mft_layout.h"
#include "ntfs/mft_record.h"
#include "session/scan_state.h"
#include "session/session.h"

namespace tessaly {

namespace {

// The root directory's record: a $MFT without it is not trusted.
constexpr std::uint32_t kRootRecord = 5;

constexpr std::size_t kEntryBytes = 2 * sizeof(std::uint32_t);  // one start and one length

// The first unnamed $DATA attribute of a record.
std::optional<Attribute> unnamedData(ByteSpan record) {
  AttributeWalk walk(record);
  while (auto attribute = walk.next()) {
    if (attribute->type == mft::kTypeData && attribute->nameLength == 0) return attribute;
  }
  return std::nullopt;
}

// The run list of a non-resident attribute, from its mapping-pairs offset to its end.
// An offset that is negative or not below 1024 is taken as 64, where an unnamed
// attribute's run list begins.
ByteSpan mappingPairs(const Attribute& attribute) {
  int offset = s16le(attribute.bytes, mft::kAttrMappingPairs);
  if (offset < 0 || offset >= static_cast<int>(mft::kRecordSize))
    offset = static_cast<int>(mft::kAttrMftRunList);
  const auto at = static_cast<std::size_t>(offset);
  return at < attribute.bytes.size() ? attribute.bytes.subspan(at) : ByteSpan{};
}

// The $MFT's run list is read at the fixed offset 64 of its $DATA, whatever the header says.
ByteSpan mftPairs(const Attribute& attribute) {
  return mft::kAttrMftRunList < attribute.bytes.size()
             ? attribute.bytes.subspan(mft::kAttrMftRunList)
             : ByteSpan{};
}

// Appends the runs of a record's unnamed non-resident $DATA (one segment).
void decodeData(ByteSpan record, bool isMft, std::uint32_t partitionStart,
                std::uint32_t sectorsPerCluster, RunTable& table) {
  auto data = unnamedData(record);
  if (!data || data->nonResident != 1) return;
  decodeRunList(isMft ? mftPairs(*data) : mappingPairs(*data), partitionStart, sectorsPerCluster,
                table);
}

// The bytes of a non-resident attribute list, read run by run up to its real size.
std::vector<std::uint8_t> readListData(Session& session, const Attribute& list,
                                       std::uint32_t partitionStart,
                                       std::uint32_t sectorsPerCluster) {
  const std::uint64_t realSize = u64le(list.bytes, mft::kAttrRealSize);
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(realSize, kMaxAttributeListBytes));
  RunTable runs(std::numeric_limits<std::size_t>::max(), kMaxAttributeListRuns);
  decodeRunList(mappingPairs(list), partitionStart, sectorsPerCluster, runs);

  std::vector<std::uint8_t> bytes;
  bytes.reserve(wanted);
  std::vector<std::uint8_t> sector(kSectorSize);
  for (std::size_t i = 0; i < runs.size() && bytes.size() < wanted; ++i) {
    for (std::uint32_t s = 0; s < runs.length(i) && bytes.size() < wanted; ++s) {
      std::fill(sector.begin(), sector.end(), std::uint8_t{0});
      // A list whose sectors cannot be read ends where the reading failed.
      if (runs.start(i) != 0 && !readDiskSectors(session, std::uint64_t{runs.start(i)} + s, 1, sector).delivered())
        return bytes;
      bytes.insert(bytes.end(), sector.begin(), sector.end());
    }
  }
  if (bytes.size() > wanted) bytes.resize(wanted);
  return bytes;
}

// The segments of a record whose attribute-list entries `take` accepts, by its attribute
// list, in list order and without repeats.
template <typename Take>
std::vector<std::uint32_t> listSegments(Session& session, ByteSpan record, std::uint32_t partitionStart,
                                        std::uint32_t sectorsPerCluster, Take&& take) {
  AttributeWalk walk(record);
  std::optional<Attribute> list;
  while (auto attribute = walk.next()) {
    if (attribute->type == mft::kTypeAttributeList) {
      list = attribute;
      break;
    }
  }
  if (!list) return {};

  std::vector<std::uint8_t> stored;
  ByteSpan entries;
  if (list->nonResident == 0) {
    auto content = list->residentContent();
    if (!content) return {};
    entries = *content;
  } else {
    stored = readListData(session, *list, partitionStart, sectorsPerCluster);
    entries = stored;
  }

  std::vector<std::uint32_t> segments;
  forEachListEntry(entries, [&](const AttributeListEntry& entry) {
    if (take(entry) && std::find(segments.begin(), segments.end(), entry.segment) == segments.end())
      segments.push_back(entry.segment);
    return segments.size() < kMaxSegments;
  });
  return segments;
}

// The segments of a record that hold the unnamed attribute of `type`, by its attribute list.
std::vector<std::uint32_t> segmentsOf(Session& session, ByteSpan record, std::uint32_t type,
                                      std::uint32_t partitionStart, std::uint32_t sectorsPerCluster) {
  return listSegments(session, record, partitionStart, sectorsPerCluster, [type](const AttributeListEntry& e) {
    return e.type == type && e.nameLength == 0;
  });
}

}  // namespace

// ------------------------------------------------------------------ RunTable

RunTable::RunTable(std::size_t memoryLimit, std::size_t maxRuns)
    : memoryLimit_(memoryLimit), maxRuns_(std::min(maxRuns, kMaxRuns)) {
  fixed_ = memoryLimit_ < kGrowthStep * kEntryBytes;
  capacity_ = std::min(fixed_ ? kFallbackCapacity : kGrowthStep, maxRuns_);
}

void RunTable::clear() {
  starts_.clear();
  lengths_.clear();
  exhausted_ = false;
}

bool RunTable::grow() {
  if (fixed_) return false;
  const std::size_t wanted = std::min(capacity_ + kGrowthStep, maxRuns_);
  if (wanted <= capacity_ || wanted > memoryLimit_ / kEntryBytes) return false;
  capacity_ = wanted;
  return true;
}

bool RunTable::append(std::uint32_t start, std::uint32_t length) {
  if (starts_.size() >= capacity_ && !grow()) {
    exhausted_ = true;
    return false;
  }
  starts_.push_back(start);
  lengths_.push_back(length);
  return true;
}

std::uint64_t RunTable::totalSectors() const {
  std::uint64_t total = 0;
  for (auto length : lengths_) total += length;
  return total;
}

// ------------------------------------------------------------------ decoding

bool decodeRunList(ByteSpan pairs, std::uint32_t partitionStart, std::uint32_t sectorsPerCluster,
                   RunTable& table) {
  std::size_t position = 0;
  std::uint64_t cluster = 0;  // of the last run with an offset; wraps like the sectors do
  while (fits(pairs, position, 1)) {
    const std::uint8_t header = pairs[position];
    if (header == 0) return true;
    const std::size_t lengthBytes = header & 0x0F;
    const std::size_t offsetBytes = header >> 4;
    if (lengthBytes > 8 || offsetBytes > 8 || !fits(pairs, position + 1, lengthBytes + offsetBytes))
      return false;
    const std::uint64_t clusters = uNle(pairs, position + 1, lengthBytes);
    const auto length = static_cast<std::uint32_t>(clusters * sectorsPerCluster);
    std::uint32_t start = 0;
    if (offsetBytes != 0) {
      std::uint64_t delta = uNle(pairs, position + 1 + lengthBytes, offsetBytes);
      const std::size_t bits = 8 * offsetBytes;
      if (bits < 64 && (delta >> (bits - 1)) != 0) delta |= ~std::uint64_t{0} << bits;
      cluster += delta;
      start = static_cast<std::uint32_t>(partitionStart + cluster * sectorsPerCluster);
    }
    if (!table.append(start, length)) return false;
    position += 1 + lengthBytes + offsetBytes;
  }
  return false;
}

// ------------------------------------------------------------------ tables

namespace {

// The $MFT's runs as far as they are sound: a run that lies outside the volume, repeats
// clusters of an earlier run or takes the $MFT beyond the volume's size ends the list
// there, so that a damaged run list cannot make the walk read the same records again and
// again. True when runs were cut off.
bool cutDamagedMftRuns(RunTable& table, std::uint64_t firstSector, std::uint64_t volumeSectors) {
  std::map<std::uint64_t, std::uint64_t> taken;  // start -> end of each run kept
  std::uint64_t total = 0;
  std::size_t sound = 0;
  for (; sound < table.size(); ++sound) {
    const std::uint64_t start = table.start(sound), length = table.length(sound);
    total += length;
    if (total > volumeSectors) break;
    if (start == 0) continue;  // sparse: no clusters
    const std::uint64_t end = start + length;
    if (start < firstSector || end > firstSector + volumeSectors) break;
    auto next = taken.lower_bound(start);
    if (next != taken.end() && next->first < end) break;
    if (next != taken.begin() && std::prev(next)->second > start) break;
    taken.emplace(start, end);
  }
  if (sound == table.size()) return false;
  RunTable kept = table;
  table.clear();
  for (std::size_t i = 0; i < sound; ++i) table.append(kept.start(i), kept.length(i));
  return true;
}

}  // namespace

namespace {

MftSource readMftRuns(Session& session, ScanState& scan, std::uint32_t partitionStart,
                      std::uint32_t mftSector, std::uint32_t sectorsPerCluster,
                      std::uint32_t mirrorSector) {
  RunTable& table = scan.mftRuns;
  table = RunTable(session.memoryLimit);
  MftRecord record{};
  // Record 0 from the $MFT itself; when it is damaged, from $MFTMirr, which holds the
  // first four records again. $MFT's own record 1 (the mirror's file) says where the
  // mirror lies when it can be read, ahead of the boot sector.
  MftSource source = MftSource::Own;
  if (mftSector == 0 || !readRecordAt(session, mftSector, record)) {
    if (mftSector != 0 && readRecordAt(session, std::uint64_t{mftSector} + 2, record)) {
      RunTable mirror;
      decodeData(record, false, partitionStart, sectorsPerCluster, mirror);
      if (!mirror.empty() && mirror.start(0) != 0) mirrorSector = mirror.start(0);
    }
    if (mirrorSector == 0 || !readRecordAt(session, mirrorSector, record)) return MftSource::Lost;
    source = MftSource::Mirror;
  }
  decodeData(record, true, partitionStart, sectorsPerCluster, table);
  // The first run is where record 0 lies; without it no record can be found.
  if (table.empty()) return MftSource::Lost;
  const std::uint32_t ownSector = mftSector != 0 ? mftSector : table.start(0);
  // A $MFT whose root directory record is damaged is not trusted at all.
  MftRecord root{};
  const std::uint32_t rootSector = sectorOfRecord(table, kRootRecord);
  if (rootSector == 0 || !readRecordAt(session, rootSector, root)) {
    table.clear();
    return MftSource::Lost;
  }

  const auto segments =
      segmentsOf(session, record, mft::kTypeData, partitionStart, sectorsPerCluster);
  if (segments.empty()) return source;
  table.clear();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    // The first segment (normally record 0 itself) is taken to lie in the first run;
    // the others are found through the runs decoded so far.
    std::uint64_t sector = std::uint64_t{ownSector} + 2 * std::uint64_t{segments[i]};
    if (i > 0) {
      sector = sectorOfRecord(table, segments[i]);
      if (sector == 0) return source;
    }
    if (i == 0 && source == MftSource::Mirror && segments[0] == 0) {
      if (!readRecordAt(session, mirrorSector, record)) return source;
    } else if (!readRecordAt(session, sector, record)) {
      return source;
    }
    decodeData(record, true, partitionStart, sectorsPerCluster, table);
    if (table.exhausted()) return source;
  }
  return source;
}

}  // namespace

MftSource buildMftRunList(Session& session, ScanState& scan, std::uint32_t partitionStart,
                          std::uint32_t mftSector, std::uint32_t sectorsPerCluster,
                          std::uint32_t mirrorSector) {
  const MftSource source =
      readMftRuns(session, scan, partitionStart, mftSector, sectorsPerCluster, mirrorSector);
  const PartitionSelection& selection = session.partitionSelection;
  // (A selection without a range, as some callers leave it, bounds nothing.)
  const std::uint64_t volumeSectors = selection.lastSector > selection.firstSector
                                          ? selection.lastSector - selection.firstSector + 1
                                          : 0;
  if (source != MftSource::Lost && volumeSectors > 0 &&
      cutDamagedMftRuns(scan.mftRuns, selection.firstSector, volumeSectors))
    scan.notes.push_back(
        "The $MFT's run list is damaged (runs repeat clusters or leave the volume): "
        "its records are read up to the first damaged run");
  return source;
}

void buildDataRunList(Session& session, const RunTable& mftRuns, std::uint32_t partitionStart,
                      std::uint32_t recordSector, std::uint32_t sectorsPerCluster, RunTable& table) {
  table.clear();
  MftRecord record{};
  if (!readRecordAt(session, recordSector, record)) return;
  decodeData(record, false, partitionStart, sectorsPerCluster, table);

  const auto segments =
      segmentsOf(session, record, mft::kTypeData, partitionStart, sectorsPerCluster);
  if (segments.empty()) return;
  table.clear();
  for (auto segment : segments) {
    const std::uint32_t sector = sectorOfRecord(mftRuns, segment);
    if (sector == 0 || !readRecordAt(session, sector, record)) return;
    decodeData(record, false, partitionStart, sectorsPerCluster, table);
    if (table.exhausted()) return;
  }
}

std::uint32_t sectorOfRecord(const RunTable& mftRuns, std::uint32_t recordNumber) {
  const std::uint64_t target = 2 * std::uint64_t{recordNumber};
  std::uint64_t before = 0;
  for (std::size_t i = 0; i < mftRuns.size(); ++i) {
    if (before + mftRuns.length(i) > target)
      return static_cast<std::uint32_t>(mftRuns.start(i) + (target - before));
    before += mftRuns.length(i);
  }
  return 0;
}

std::vector<std::uint32_t> listedSegments(Session& session, ByteSpan record, std::uint32_t partitionStart,
                                          std::uint32_t sectorsPerCluster) {
  return listSegments(session, record, partitionStart, sectorsPerCluster,
                      [](const AttributeListEntry&) { return true; });
}

void buildExtentRunList(Session& session, const RunTable& mftRuns, std::uint32_t partitionStart,
                        std::uint32_t recordSector, std::uint32_t sectorsPerCluster, const std::string& stream,
                        const std::vector<std::uint32_t>& extensions, RunTable& table) {
  table.clear();
  MftRecord record{};
  if (!readRecordAt(session, recordSector, record)) return;
  struct Extent {
    std::uint64_t first = 0, last = 0;  // the clusters (VCNs) the extent maps
    RunTable runs;
  };
  std::vector<Extent> extents;
  auto take = [&](const MftRecord& r) {
    AttributeWalk walk(r);
    while (auto a = walk.next()) {
      if (a->type != mft::kTypeData || a->nonResident != 1) continue;
      if (stream.empty() ? a->nameLength != 0
                         : ntfsName(a->bytes, u16le(a->bytes, mft::kAttrNameOffset), a->nameLength) != stream)
        continue;
      Extent e{u64le(a->bytes, mft::kAttrLowestVcn), u64le(a->bytes, mft::kAttrHighestVcn),
               RunTable(session.memoryLimit)};
      if (std::any_of(extents.begin(), extents.end(), [&](const Extent& x) { return x.first == e.first; })) continue;
      decodeRunList(mappingPairs(*a), partitionStart, sectorsPerCluster, e.runs);
      extents.push_back(std::move(e));
    }
  };
  take(record);
  std::vector<std::uint32_t> segments = listedSegments(session, record, partitionStart, sectorsPerCluster);
  for (std::uint32_t n : extensions)
    if (std::find(segments.begin(), segments.end(), n) == segments.end()) segments.push_back(n);
  for (std::uint32_t segment : segments) {
    const std::uint32_t sector = sectorOfRecord(mftRuns, segment);
    MftRecord other{};
    if (sector == 0 || sector == recordSector || !readRecordAt(session, sector, other)) continue;
    take(other);
  }
  std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.first < b.first; });
  // Each extent must begin where the one before it ended; a gap ends the list.
  std::uint64_t next = 0;
  for (const Extent& e : extents) {
    if (e.first != next || e.last < e.first) return;
    for (std::size_t i = 0; i < e.runs.size(); ++i)
      if (!table.append(e.runs.start(i), e.runs.length(i))) return;
    next = e.last + 1;
  }
}

std::vector<std::uint32_t> collectSegments(Session& session, const VolumeParameters& volume,
                                           std::uint32_t recordSector, std::uint32_t type) {
  MftRecord record{};
  if (!readRecordAt(session, recordSector, record)) return {};
  return segmentsOf(session, record, type, volume.cluster0Sector, volume.sectorsPerCluster);
}

}  // namespace tessaly

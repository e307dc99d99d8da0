#include "ntfs/compressed_data.h"

#include <algorithm>

#include "ntfs/lznt1.h"

namespace tessaly {

CompressedData::CompressedData(const RunTable& runs, std::uint32_t sectorsPerCluster,
                               std::uint32_t unitClusters)
    : runs_(runs),
      spc_(std::max<std::uint32_t>(sectorsPerCluster, 1)),
      unitClusters_(std::max<std::uint32_t>(unitClusters, 1)) {
  std::uint64_t vcn = 0;
  runEnds_.reserve(runs.size());
  for (std::size_t r = 0; r < runs.size(); ++r) {
    vcn += runs.length(r) / spc_;
    runEnds_.push_back(vcn);
  }
}

std::uint64_t CompressedData::clusterSector(std::uint64_t vcn) const {
  const auto it = std::upper_bound(runEnds_.begin(), runEnds_.end(), vcn);
  if (it == runEnds_.end()) return 0;
  const auto r = static_cast<std::size_t>(it - runEnds_.begin());
  if (runs_.start(r) == 0) return 0;
  const std::uint64_t runFirst = r == 0 ? 0 : runEnds_[r - 1];
  return runs_.start(r) + (vcn - runFirst) * spc_;
}

CompressedData::Unit CompressedData::readUnit(Session& session, std::uint64_t index,
                                              std::vector<std::uint8_t>& out) const {
  Unit unit;
  out.assign(unitBytes(), 0);
  const std::size_t clusterBytes = std::size_t{spc_} * kSectorSize;
  // The unit's allocated clusters come first; the sparse ones after them mark it compressed.
  std::vector<std::uint8_t> stored;
  std::uint32_t allocated = 0;
  for (std::uint32_t k = 0; k < unitClusters_; ++k) {
    const std::uint64_t sector = clusterSector(index * unitClusters_ + k);
    if (sector == 0) continue;
    stored.resize((allocated + 1) * clusterBytes, 0);
    const ReadResult read = readDiskSectors(
        session, sector, spc_, std::span(stored).subspan(allocated * clusterBytes, clusterBytes));
    ++allocated;
    if (!read.delivered()) return {read, false};
    if (!read.ok()) {
      unit.read.status = ReadStatus::SectorsSkipped;
      unit.read.skipped.insert(unit.read.skipped.end(), read.skipped.begin(), read.skipped.end());
    }
  }
  if (allocated == unitClusters_)
    std::copy(stored.begin(), stored.end(), out.begin());
  else if (allocated > 0)
    unit.damaged = !lznt1Decompress(stored, out);
  return unit;
}

}  // namespace tessaly

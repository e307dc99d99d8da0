#include "fat/cluster_candidates.h"

#include <bit>

#include "fat/fat_table.h"
#include "session/session.h"

namespace tessaly {

namespace {

void set(std::vector<std::uint64_t>& bits, std::uint32_t c) {
  bits[c / 64] |= std::uint64_t{1} << (c % 64);
}

// The first of the values that mark bad clusters and chain ends (0xFF7, 0xFFF7, 0x0FFFFFF7).
std::uint32_t badMark(FileSystem fs) {
  return fs == FileSystem::Fat12 ? 0xFF7 : fs == FileSystem::Fat16 ? 0xFFF7 : 0x0FFFFFF7;
}

}  // namespace

std::uint64_t ClusterCandidates::count() const {
  std::uint64_t n = 0;
  for (std::uint64_t word : bits_) n += static_cast<std::uint64_t>(std::popcount(word));
  return n;
}

bool ClusterCandidates::addCopy(FatTable& fat, FileSystem fs, std::vector<std::uint64_t>& pointed,
                                const std::atomic<bool>& stop) {
  std::fill(pointed.begin(), pointed.end(), 0);
  std::vector<std::uint64_t> free(bits_.size(), 0);
  const std::uint32_t bad = badMark(fs);
  std::uint64_t outside = 0;
  for (std::uint32_t c = 2; c < limit_; ++c) {
    if (c % 65536 == 0 && stop) return false;
    const auto read = fat.entry(c);
    if (!read) return false;
    const std::uint32_t e = fs == FileSystem::Fat32 ? (*read & 0x0FFFFFFF) : *read;
    if (e == 0)
      set(free, c);
    else if (e >= 2 && e < limit_ && e != c)
      set(pointed, e);  // a cluster that names itself starts its own (looping) chain
    else if (e < bad)
      ++outside;  // 1, or a cluster beyond the volume
  }
  if (outside > limit_ / kImplausibleShare) return false;
  // Free, or in use with no entry pointing to it; clusters 0 and 1 are never candidates.
  for (std::size_t w = 0; w < bits_.size(); ++w) bits_[w] |= free[w] | ~pointed[w];
  bits_[0] &= ~std::uint64_t{3};
  if (limit_ % 64 != 0) bits_.back() &= (std::uint64_t{1} << (limit_ % 64)) - 1;
  return true;
}

std::optional<ClusterCandidates> ClusterCandidates::fromFats(Session& session,
                                                             const VolumeParameters& v,
                                                             std::uint64_t lastSector,
                                                             const std::atomic<bool>& stop) {
  if (!v.isFat() || v.fat1Start == 0) return std::nullopt;
  const std::uint32_t limit = clusterLimit(v, lastSector);
  if (limit <= 2) return std::nullopt;
  // The candidates, and per copy the free and pointed-to clusters.
  if (!session.canAllocate(3 * ((std::size_t{limit} + 63) / 64) * 8)) return std::nullopt;
  ClusterCandidates out(limit);
  std::vector<std::uint64_t> pointed(out.bits_.size(), 0);
  bool used = false;
  for (std::uint32_t start : {v.fat1Start, v.fat2Start}) {
    if (start == 0 || (start == v.fat2Start && start == v.fat1Start)) continue;
    FatTable fat(session, v, start, 256);
    if (out.addCopy(fat, v.fileSystem, pointed, stop)) used = true;
    if (stop) return std::nullopt;
  }
  if (!used) return std::nullopt;
  return out;
}

}  // namespace tessaly

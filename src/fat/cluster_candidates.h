// Which clusters of a FAT volume can hold the first cluster of a folder: a cluster that
// is free (a deleted folder's) or that starts a chain, no entry pointing to it (a live or
// orphaned folder's). The middle of a chain cannot. Found by reading each FAT copy once,
// streamed, into a bitmap of one bit per cluster.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "partition/partition_types.h"

namespace tessaly {

class Session;
class FatTable;

class ClusterCandidates {
 public:
  // From FAT 1 and FAT 2 of the volume whose clusters end before lastSector: a cluster
  // that is a candidate by either copy counts. A copy that cannot be read, or whose
  // entries point outside the volume too often, is not used; nothing when no copy can
  // be, when the bitmaps do not fit the session's memory limit, or on stop.
  static std::optional<ClusterCandidates> fromFats(Session& session, const VolumeParameters& volume,
                                                   std::uint64_t lastSector,
                                                   const std::atomic<bool>& stop);

  // Clusters beyond the FAT's reach are candidates: nothing says they are not.
  bool contains(std::uint32_t c) const { return c >= limit_ || (bits_[c / 64] >> (c % 64)) & 1; }
  std::uint32_t limit() const { return limit_; }
  std::uint64_t count() const;

 private:
  explicit ClusterCandidates(std::uint32_t limit)
      : bits_((std::size_t{limit} + 63) / 64, 0), limit_(limit) {}
  // Adds the candidates of one FAT copy; false when the copy is unreadable or implausible.
  bool addCopy(FatTable& fat, FileSystem fileSystem, std::vector<std::uint64_t>& pointed,
               const std::atomic<bool>& stop);

  std::vector<std::uint64_t> bits_;
  std::uint32_t limit_;
};

// A FAT copy is implausible when more than this share (1 in N) of its entries point
// outside the volume.
constexpr std::uint32_t kImplausibleShare = 100;

}  // namespace tessaly

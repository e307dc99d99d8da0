// The data of a compressed NTFS attribute, unit by unit: each compression unit's clusters
// are found through the attribute's runs, read and, when the unit is stored compressed,
// decompressed (LZNT1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "disk/le.h"
#include "disk/sector_reader.h"
#include "ntfs/run_list.h"

namespace tessaly {

class Session;

// The $DATA attribute header's flags (2 bytes at 12) and the compression unit (the
// power of two of its clusters, 1 byte at 34, non-resident only).
constexpr std::size_t kAttrFlags = 12;
constexpr std::size_t kAttrCompressionUnit = 34;
constexpr std::uint16_t kAttrFlagCompressed = 0x0001;
constexpr std::uint16_t kAttrFlagEncrypted = 0x4000;
// Larger units than 2^8 clusters are no unit any NTFS writes; such a header is damaged.
constexpr std::uint8_t kMaxCompressionUnitShift = 8;

class CompressedData {
 public:
  // runs: the attribute's runs in sectors (start 0: sparse), as buildDataRunList gives.
  CompressedData(const RunTable& runs, std::uint32_t sectorsPerCluster, std::uint32_t unitClusters);

  std::size_t unitBytes() const { return std::size_t{unitClusters_} * spc_ * kSectorSize; }

  struct Unit {
    ReadResult read;       // of the unit's clusters; Ok for a sparse unit
    bool damaged = false;  // compressed data that did not decode whole
  };
  // Fills `out` (resized to unitBytes()) with the data of unit `index`: zeros for a unit
  // without clusters, the clusters as stored for a unit whose clusters are all allocated,
  // else the decompressed form of its allocated clusters. Clusters beyond the runs read
  // as sparse.
  Unit readUnit(Session& session, std::uint64_t index, std::vector<std::uint8_t>& out) const;

 private:
  // The first sector of the cluster with this number in the attribute (VCN); 0 when it is
  // sparse or beyond the runs.
  std::uint64_t clusterSector(std::uint64_t vcn) const;

  const RunTable& runs_;
  std::uint32_t spc_;
  std::uint32_t unitClusters_;
  std::vector<std::uint64_t> runEnds_;  // VCN after each run
};

}  // namespace tessaly

// Many single sectors of the selected disk read at once, for sweeps that look at one
// sector in each of many clusters.
#pragma once

#include <cstdint>
#include <span>

#include "disk/sector_reader.h"

namespace tessaly {

// One sector at each of the given sector numbers (ascending, no repeats), into
// consecutive 512-byte slots of buffer. Sectors at most kListGapSectors apart are read by
// one batched device read, and every batch of the list is asked of the system before the
// first is read; the holes of a sparse image file read as zeros without a read.
// A batch that fails is read again sector by sector, each with the bad-sector policy.
// When the disk stops answering, *delivered (if given) is the number of first slots that
// hold what was read before; the other slots are cleared.
constexpr std::uint32_t kListGapSectors = 32;
ReadResult readSectorList(Session& session, std::span<const std::uint64_t> sectors,
                          std::span<std::uint8_t> buffer, std::size_t* delivered = nullptr);

// Asks the system to start reading what readSectorList would read of these sectors and
// returns without waiting: a sweep asks for its next list while it reads the present one.
void prefetchSectorList(Session& session, std::span<const std::uint64_t> sectors);

}  // namespace tessaly

// The Quick MFT scan: every record of the $MFT, in the order of its runs, becomes a folder
// or file entry (ntfs/entry_tables.h) when it carries a usable name. The record's place
// in the walk is its MFT number.
#pragma once

#include <cstdint>

#include "ntfs/run_list.h"
#include "partition/partition_types.h"

namespace tessaly {

class Session;
struct ScanState;

// Calls visit(sector) for every record place of the $MFT: for each run of nonzero length,
// its start + 0, 2, 4, … below its length (a sparse run starts at 0). A run of odd length
// thus ends with a place whose second sector lies just past the run. Sectors are 32-bit,
// as sectorOfRecord computes them, and the walk ends before the record number reaches
// the "Lost" folder's own number, so that the two can never be confused.
template <typename Visit>
void forEachMftPlace(const RunTable& runs, Visit&& visit) {
  std::uint64_t places = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::uint32_t start = runs.start(i);
    const std::uint32_t length = runs.length(i);
    for (std::uint64_t offset = 0; offset < length; offset += 2) {
      if (places++ >= kLostId) return;
      visit(static_cast<std::uint32_t>(start + offset));
    }
  }
}

// Fills the entry tables from scan.mftRuns (built by buildMftRunList): a counting
// pass, the allocation of the tables at that size (list mode when it is refused), an
// entry pass, and the folders sorted by parent. Reports the status line, the record
// counter and the progress; calls session.safePoint() at every record place. A disk that
// stops answering ends the passes with the entries found so far.
void scanMftQuick(Session& session, ScanState& scan);

}  // namespace tessaly

// The Advanced NTFS sweep: every sector of the scan range is looked at once, and three
// kinds are kept — MFT file records ("FILE", 1024 bytes), directory index blocks
// ("INDX") and NTFS boot sectors. File records are only noted by their sector during
// the sweep; afterwards each is read again, parsed and written to the spill file, so the
// memory a record costs is four bytes while the sweep runs and nothing after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disk/le.h"
#include "ntfs/mft_record.h"
#include "ntfs/spill_file.h"
#include "ntfs/sweep_tables.h"

namespace tessaly {

class Session;
struct ScanState;

// ---------------------------------------------------------------- sector parsers
// A sector that ends in 55 AA is a boot sector candidate and never a record or block.
bool endsLikeBootSector(ByteSpan sector);
// A sector the sweep keeps as a file record: no 55 AA at its end, "FILE", and 1024 as
// the low 16 bits of the record's allocated size.
bool isSweptFileRecord(ByteSpan sector);
// An NTFS boot sector (55 AA at 510, "NTFS" at 3) found at sector s.
std::optional<NtfsBootCandidate> ntfsBootCandidate(ByteSpan sector, std::uint32_t s);
// The row of a repaired index block found at sector s: its owner is the parent number
// of its first entry; nothing when that is 0–4 or 0xFFFFFFFF or the block is too short
// to hold the entry.
std::optional<IndexBlockRow> indexBlockRow(ByteSpan block, std::uint32_t s);

// The selfMFT a file gets by its name ("$MFT" 1, "$LogFile" 2, … "$UpCase" 10; exact
// case); 0 for any other name.
std::uint32_t systemRecordNumber(const std::string& name);

// The spill record of a repaired MFT record found at sector s. The name is taken in the
// order Win32, Win32 and DOS, DOS, and POSIX when the record has no other; without one
// the name is empty and the parent and date 0. A directory's selfMFT is the owner named
// by its index root, a file's the system number of its name; when that gives 0 and the
// record header carries its own number (update sequence array at 48 or beyond, as NTFS
// 3.1 writes it), that number is taken.
SpillRecord parseSweptRecord(const MftRecord& record, std::uint32_t s);

// ---------------------------------------------------------------- the sweep
enum class SweepEnd {
  Finished,      // the range was swept (or the sweep was stopped) and the records dumped
  Beyond32Bits,  // the range reaches beyond sector 2^32 − 1, which the sweep cannot number
  NoSpillFile,   // the spill file could not be created: no record was kept
  DeviceLost,    // the disk stopped answering; what was found before is kept
};

// Sweeps session.partitionSelection's range [firstSector, lastSector) in chunks of
// 1000 sectors into scan.bootCandidates, scan.indexBlocks and the records noted, then
// dumps the records into scan.spillFile (created afresh in session.catalogueFolder()).
// Counts records (FoldersFound) and boot sectors (BootSectorsFound) and shows the
// status line and progress; scan.stopRequested ends the sweep at the next chunk and the
// dump still runs. A spill write that fails ends the dump with the records written.
SweepEnd sweepNtfsRange(Session& session, ScanState& scan);

}  // namespace tessaly

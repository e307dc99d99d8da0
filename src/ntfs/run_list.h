// Run lists (mapping pairs) of non-resident NTFS attributes, decoded into sector tables:
// the $MFT's own table (ScanState::mftRuns), through which any record is found by its
// number, and the table of a file's $DATA that is to be saved. Both follow the
// $ATTRIBUTE_LIST into extension records when an attribute is spread over several.
//
// Every value is 32-bit, as the tables that consume them are: sectors at or beyond 2^32
// and runs of 2^32 sectors or more cannot be represented and are truncated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "disk/le.h"

namespace tessaly {

class Session;
struct ScanState;
struct VolumeParameters;

// A decoded run list: for run i its first disk sector (0 for a sparse run) and its
// length in sectors.
//
// The table grows in steps of 1024 entries while the memory limit it was made with
// allows; when even the first 1024 entries are refused it holds at most 2000. It never
// holds more than 32767 runs. A table that cannot take another run stays as it is and
// append() says so; the decoding of the current attribute then ends.
class RunTable {
 public:
  static constexpr std::size_t kGrowthStep = 1024;
  static constexpr std::size_t kFallbackCapacity = 2000;
  static constexpr std::size_t kMaxRuns = 32767;

  // memoryLimit is the session's (Session::memoryLimit); maxRuns may lower the bound.
  explicit RunTable(std::size_t memoryLimit = std::numeric_limits<std::size_t>::max(),
                    std::size_t maxRuns = kMaxRuns);

  void clear();
  // Stores one run; false (nothing stored) when the table is full.
  bool append(std::uint32_t start, std::uint32_t length);
  // True once a run has been refused (until clear()).
  bool exhausted() const { return exhausted_; }

  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::uint32_t start(std::size_t i) const { return starts_[i]; }
  std::uint32_t length(std::size_t i) const { return lengths_[i]; }
  const std::vector<std::uint32_t>& starts() const { return starts_; }
  const std::vector<std::uint32_t>& lengths() const { return lengths_; }
  // The sum of all run lengths, in sectors.
  std::uint64_t totalSectors() const;

 private:
  bool grow();

  std::vector<std::uint32_t> starts_;
  std::vector<std::uint32_t> lengths_;
  std::size_t memoryLimit_;
  std::size_t maxRuns_;
  std::size_t capacity_;
  bool fixed_ = false;  // the first 1024 entries were refused: 2000 at most, never grown
  bool exhausted_ = false;
};

// Decodes one segment's run list (the mapping pairs at the start of `pairs`, which ends
// where the attribute ends) and appends its runs to `table`. Each pair is a header byte
// (low nibble: size L of the length field, high nibble: size O of the offset field),
// then L bytes of cluster count and O bytes of signed cluster offset relative to the
// previous run that had one; the segment's first such run is relative to 0. A run
// without an offset field is sparse (start 0). Starts are partitionStart + cluster ×
// sectorsPerCluster. The walk ends at a header byte of 0, a field wider than 8 bytes, a
// field that would leave `pairs`, or a full table. Returns false when it ended early
// for any reason but the 0 header byte.
bool decodeRunList(ByteSpan pairs, std::uint32_t partitionStart, std::uint32_t sectorsPerCluster,
                   RunTable& table);

// Where the $MFT's own record was read from.
enum class MftSource {
  Own,     // record 0 at mftSector
  Mirror,  // record 0 was damaged: its copy in $MFTMirr (at mirrorSector) was used
  Lost,    // neither copy could be read, or the root directory's record (5) is damaged
};

// Fills scan.mftRuns from the $DATA of the $MFT's record 0 (at mftSector, or in $MFTMirr
// when that copy fails its checks) and from its extension records. The table stays empty
// (Lost) when neither copy of record 0 is a record, or when record 5 (the root
// directory), found through the runs, is not; a segment record that cannot be found or
// read ends the walk with the runs decoded so far. mftSector may be 0 when the boot
// sector's $MFT cluster held no record.
MftSource buildMftRunList(Session& session, ScanState& scan, std::uint32_t partitionStart,
                          std::uint32_t mftSector, std::uint32_t sectorsPerCluster,
                          std::uint32_t mirrorSector = 0);

// Fills `table` from the first unnamed non-resident $DATA of the record at recordSector
// and, when the record has an attribute list, from that attribute's extent in each
// extension record in list order (found through mftRuns). A record or segment that cannot
// be read ends the walk with the runs decoded so far.
void buildDataRunList(Session& session, const RunTable& mftRuns, std::uint32_t partitionStart,
                      std::uint32_t recordSector, std::uint32_t sectorsPerCluster, RunTable& table);

// The first sector of MFT record `recordNumber` (2 sectors per record) by the runs of
// `mftRuns`, or 0 when no run covers it. A record inside a sparse run is counted from
// sector 0, as the MFT walk visits it.
std::uint32_t sectorOfRecord(const RunTable& mftRuns, std::uint32_t recordNumber);

// Reads the record at recordSector and lists, in order and without repeats, the record
// numbers of the segments that hold the unnamed attribute of the given type, as its
// $ATTRIBUTE_LIST names them (kMaxSegments at most). A non-resident list is read through
// its own run list, placed with the volume's cluster0Sector and sectorsPerCluster, up to
// its real size. Empty when the record has no attribute list or cannot be read.
std::vector<std::uint32_t> collectSegments(Session& session, const VolumeParameters& volume,
                                           std::uint32_t recordSector, std::uint32_t type);

// Every segment record number a record's $ATTRIBUTE_LIST names (resident or not, read as
// collectSegments reads it), in list order and without repeats, kMaxSegments at most;
// empty when the record has no attribute list.
std::vector<std::uint32_t> listedSegments(Session& session, ByteSpan record, std::uint32_t partitionStart,
                                          std::uint32_t sectorsPerCluster);

// Fills `table` from the extents of one non-resident $DATA attribute of the file whose
// base record is at recordSector: the unnamed one when `stream` is empty, else the named
// stream `stream` (UTF-8). Extents are taken from the base record, from every segment its
// attribute list names and from the records `extensions` (records whose base reference
// names this file: a deleted file's list may no longer name them), each record found
// through mftRuns and read once; an extent whose first cluster was already taken is
// passed over. They are joined in the order of their first clusters, and the first extent
// that does not begin where the one before ended (or at cluster 0) ends the table.
void buildExtentRunList(Session& session, const RunTable& mftRuns, std::uint32_t partitionStart,
                        std::uint32_t recordSector, std::uint32_t sectorsPerCluster, const std::string& stream,
                        const std::vector<std::uint32_t>& extensions, RunTable& table);

// Most bytes of a non-resident attribute list that are read.
constexpr std::size_t kMaxAttributeListBytes = 256 * 1024;
// Most runs of a non-resident attribute list's own run list.
constexpr std::size_t kMaxAttributeListRuns = 300;

}  // namespace tessaly

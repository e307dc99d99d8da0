// The tables of an Advanced NTFS scan besides the spill file: the NTFS boot sectors the
// sweep found, the directory index blocks it found, and the folder table that the
// reference resolution builds from the swept directory records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// An NTFS boot sector found by the sweep, with the layout it states.
struct NtfsBootCandidate {
  std::uint32_t sector = 0;             // where it was found: the volume's first sector
  std::uint32_t sectorsPerCluster = 0;  // byte 13
  std::uint32_t indexBlockSectors = 0;  // clusters per index block (byte 68) in sectors
  std::uint32_t totalSectors = 0;       // low half of the 64-bit count at 40
  std::uint32_t mftCluster = 0;         // low half at 48
  std::uint32_t mftMirrorCluster = 0;   // low half at 56
  bool operator==(const NtfsBootCandidate&) const = default;
};

// The file system an index block or a folder was matched to.
constexpr std::int32_t kIndexUnmatched = -1;

// An index block found by the sweep.
struct IndexBlockRow {
  std::uint32_t sector = 0;        // where the block starts
  std::uint32_t mftReference = 0;  // the record number of the directory that owns it
  std::uint32_t vcn = 0;           // low half of the block's VCN
  std::int32_t fsNumber = kIndexUnmatched;
  bool operator==(const IndexBlockRow&) const = default;
};

struct IndexBlockTable {
  std::vector<IndexBlockRow> rows;
};

// fsNumber of a folder row: not yet matched, or no index evidence for it.
constexpr std::uint32_t kFolderUnmatched = 0;
constexpr std::uint32_t kFolderNoEvidence = 0xFFFFFFFF;

// A swept directory record in the folder table of the reference resolution.
struct NtfsFolderRow {
  std::uint32_t sector = 0;    // of the directory record
  std::uint32_t self = 0;      // its MFT number
  std::uint32_t parent = 0;
  std::uint32_t fsNumber = kFolderUnmatched;  // else the file system's number, 1-based
  std::uint64_t date = 0;
  std::string name;
  std::uint32_t firstRun = 0;
  bool deleted = false;
};

}  // namespace tessaly

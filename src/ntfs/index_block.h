// Directory index blocks ("INDX"): reading one found at a sector and walking its
// entries. Blocks are repaired with applyUpdateSequence (mft_record.h) before they are
// walked; every walk stays inside the block whatever its bytes say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disk/le.h"

namespace tessaly {

class Session;

// One entry of an index block, as handed to the visitor of forEachIndexEntry.
struct IndexEntry {
  std::uint32_t recordNumber = 0;  // the file or directory the entry names
  std::uint32_t parent = 0;        // the directory that owns the index
  std::uint64_t creationTime = 0;  // from the entry's copy of $FILE_NAME
  bool isDirectory = false;
  std::uint8_t nameSpace = 0;
  std::string name;  // UTF-8, as for record names
};

// The whole size of the block whose header is in `block` (allocated size + 24).
std::uint64_t indexBlockSize(ByteSpan block);

// The block's VCN within its directory's index allocation (low 32 bits).
std::uint32_t indexBlockVcn(ByteSpan block);

// Reads the index block that begins at disk sector `sector`: its first sector gives the
// block size; a block above 65536 bytes is not read (empty result); otherwise the whole
// sectors of the block are read and repaired. The result holds those sectors; it is
// empty when the disk could not be read.
std::vector<std::uint8_t> readIndexBlockAt(Session& session, std::uint64_t sector);

// Walks the entries of a repaired block of `blockSize` bytes (at most block.size()):
// from 24 + the first-entry offset, while an entry's name length (at 80) lies inside the
// block. The walk ends at the end entry (flag 0x02), at a name length of 0, at an entry
// whose header or name would leave the block, and after an entry whose length is 0 or
// leads out of the block.
void forEachIndexEntry(ByteSpan block, std::size_t blockSize,
                       const std::function<void(const IndexEntry&)>& visitor);

}  // namespace tessaly

// LZNT1, the compression of NTFS files whose $DATA carries the compressed flag.
//
// A compressed file is cut into compression units (16 clusters as a rule). A unit whose
// clusters are all sparse reads as zeros, one whose clusters are all allocated is stored
// as it is, and one with fewer allocated clusters than it spans holds its data in LZNT1
// form in the allocated ones. The form is a series of chunks, each of at most 4096
// bytes of data: a 2-byte header (bits 0–11 the chunk's stored size less 3, bit 15 set
// when the chunk is compressed; a header of 0 ends the series), then either the 4096
// bytes as they are or groups of one flag byte and eight items, each a literal byte
// (flag bit 0) or a 2-byte back reference (flag bit 1) whose split between offset and
// length depends on how much of the chunk has been written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disk/le.h"

namespace tessaly {

// The bytes one LZNT1 chunk stands for.
constexpr std::size_t kLznt1ChunkSize = 4096;

// Decompresses `in` into `out`, which receives up to out.size() bytes: chunk after chunk,
// each at the next multiple of 4096 bytes (a chunk that gives fewer bytes leaves zeros).
// Bytes of `out` not written are left as they are. Returns false when the data are
// damaged (a chunk or a back reference leaving its bounds); what was decoded until then
// stays in `out`. Nothing is ever read or written outside the two spans.
bool lznt1Decompress(ByteSpan in, MutableByteSpan out);

}  // namespace tessaly

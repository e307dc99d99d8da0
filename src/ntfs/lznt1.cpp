#include "ntfs/lznt1.h"

#include <algorithm>

namespace tessaly {

namespace {

constexpr std::uint16_t kChunkCompressed = 0x8000;
constexpr std::uint16_t kChunkSizeMask = 0x0FFF;

// Decodes the compressed data of one chunk into `out` (at most 4096 bytes). False when a
// back reference points before the chunk's start or the data end inside an item.
bool decodeChunk(ByteSpan in, MutableByteSpan out) {
  std::size_t i = 0;
  std::size_t o = 0;
  while (i < in.size() && o < out.size()) {
    const std::uint8_t flags = in[i++];
    for (int bit = 0; bit < 8 && i < in.size() && o < out.size(); ++bit) {
      if ((flags & (1u << bit)) == 0) {
        out[o++] = in[i++];
        continue;
      }
      if (!fits(in, i, 2)) return false;
      const std::uint16_t token = u16le(in, i);
      i += 2;
      // The more of the chunk is written, the more bits the offset takes: 4 at first,
      // one more each time the written length passes a power of two from 16 on.
      unsigned offsetBits = 4;
      for (std::size_t reach = o - 1; o > 0 && reach >= 0x10; reach >>= 1) ++offsetBits;
      const unsigned lengthBits = 16 - offsetBits;
      const std::size_t offset = (std::size_t{token} >> lengthBits) + 1;
      const std::size_t length = (std::size_t{token} & ((1u << lengthBits) - 1)) + 3;
      if (offset > o) return false;
      // Byte by byte: a reference may overlap what it writes.
      for (std::size_t k = 0; k < length && o < out.size(); ++k, ++o) out[o] = out[o - offset];
    }
  }
  return true;
}

}  // namespace

bool lznt1Decompress(ByteSpan in, MutableByteSpan out) {
  std::size_t i = 0;
  std::size_t o = 0;
  while (fits(in, i, 2) && o < out.size()) {
    const std::uint16_t header = u16le(in, i);
    if (header == 0) return true;
    const std::size_t stored = static_cast<std::size_t>(header & kChunkSizeMask) + 1;
    i += 2;
    if (!fits(in, i, stored)) return false;
    const ByteSpan data = in.subspan(i, stored);
    const MutableByteSpan target = out.subspan(o, std::min(kLznt1ChunkSize, out.size() - o));
    if ((header & kChunkCompressed) != 0) {
      if (!decodeChunk(data, target)) return false;
    } else {
      std::copy_n(data.begin(), std::min(data.size(), target.size()), target.begin());
    }
    i += stored;
    o += kLznt1ChunkSize;
  }
  return true;
}

}  // namespace tessaly

// The one way on-disk bytes are decoded: bounds-checked little-endian reads over a span.
// A field that does not lie wholly inside the span reads as 0; callers that must tell
// "absent" from "zero" ask fits() first. The check is written so that it cannot overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tessaly {

using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

inline bool fits(ByteSpan bytes, std::size_t off, std::size_t n) {
  return !(off > bytes.size() || n > bytes.size() - off);
}

inline std::uint8_t u8at(ByteSpan bytes, std::size_t off) {
  return fits(bytes, off, 1) ? bytes[off] : 0;
}

inline std::uint16_t u16le(ByteSpan bytes, std::size_t off) {
  if (!fits(bytes, off, 2)) return 0;
  return static_cast<std::uint16_t>(bytes[off] | (bytes[off + 1] << 8));
}

inline std::uint32_t u32le(ByteSpan bytes, std::size_t off) {
  if (!fits(bytes, off, 4)) return 0;
  return std::uint32_t{bytes[off]} | (std::uint32_t{bytes[off + 1]} << 8) |
         (std::uint32_t{bytes[off + 2]} << 16) | (std::uint32_t{bytes[off + 3]} << 24);
}

inline std::uint64_t u64le(ByteSpan bytes, std::size_t off) {
  if (!fits(bytes, off, 8)) return 0;
  return std::uint64_t{u32le(bytes, off)} | (std::uint64_t{u32le(bytes, off + 4)} << 32);
}

inline std::int16_t s16le(ByteSpan bytes, std::size_t off) {
  return static_cast<std::int16_t>(u16le(bytes, off));
}

// Little-endian unsigned number of n bytes (n up to 8); 0 when it does not fit.
inline std::uint64_t uNle(ByteSpan bytes, std::size_t off, std::size_t n) {
  if (n > 8 || !fits(bytes, off, n)) return 0;
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{bytes[off + i]} << (8 * i);
  return v;
}

// True when the bytes at off equal text exactly.
inline bool bytesEqual(ByteSpan bytes, std::size_t off, std::string_view text) {
  if (!fits(bytes, off, text.size())) return false;
  return std::memcmp(bytes.data() + off, text.data(), text.size()) == 0;
}

inline void put16le(MutableByteSpan bytes, std::size_t off, std::uint16_t v) {
  if (!fits(bytes, off, 2)) return;
  bytes[off] = static_cast<std::uint8_t>(v);
  bytes[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32le(MutableByteSpan bytes, std::size_t off, std::uint32_t v) {
  if (!fits(bytes, off, 4)) return;
  for (int i = 0; i < 4; ++i) bytes[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void put64le(MutableByteSpan bytes, std::size_t off, std::uint64_t v) {
  put32le(bytes, off, static_cast<std::uint32_t>(v));
  put32le(bytes, off + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace tessaly

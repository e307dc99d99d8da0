// File names as the file systems store them, turned into UTF-8 text: UTF-16 for FAT
// long names and NTFS names, code page 437 for FAT short names. Every name the engines
// list, show, store and save is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "disk/le.h"

namespace tessaly {

// The UTF-8 length of the longest name either file system stores: 255 UTF-16 units, each
// at most 3 bytes (a surrogate pair is 2 units and 4 bytes).
constexpr std::size_t kMaxNameBytes = 255 * 3;

// What becomes of a surrogate without its partner.
enum class LoneSurrogate {
  // Kept as its own 3-byte form, which is not valid UTF-8: isPlausibleName refuses it.
  Keep,
  // U+FFFD, so that the text stays valid UTF-8.
  Replace,
};

// Appends one code point as UTF-8 (a surrogate as its 3-byte form).
void appendUtf8(std::string& out, char32_t codePoint);

// `units` UTF-16LE code units at `offset` of `bytes` as UTF-8, pairs joined. Reading ends
// at the first unit of 0 when stopAtZero is set. Nothing when the units do not lie wholly
// in `bytes`.
std::optional<std::string> utf16leToUtf8(ByteSpan bytes, std::size_t offset, std::size_t units,
                                         LoneSurrogate lone, bool stopAtZero = true);

// One code page 437 byte as a code point: 0x00–0x7F as ASCII (0x7F stays DEL), the upper
// half as the letters, signs and box-drawing characters it shows.
char32_t cp437CodePoint(std::uint8_t byte);
std::string cp437ToUtf8(std::span<const std::uint8_t> bytes);

// The code point of well-formed UTF-8 at `position`, which then moves past it; nothing
// (and `position` unchanged) for a malformed, overlong, truncated or surrogate sequence.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& position);

// The longest start of `text` of at most maxBytes bytes that does not cut a character.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace tessaly

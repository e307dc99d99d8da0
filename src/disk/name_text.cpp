#include "disk/name_text.h"

namespace tessaly {

namespace {

// The upper half of code page 437, 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

bool isHighSurrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<std::string> utf16leToUtf8(ByteSpan bytes, std::size_t offset, std::size_t units,
                                         LoneSurrogate lone, bool stopAtZero) {
  if (units > bytes.size() / 2 || !fits(bytes, offset, 2 * units)) return std::nullopt;
  auto unit = [&](std::size_t i) -> char32_t { return u16le(bytes, offset + 2 * i); };
  auto single = [&](std::string& out, char32_t u) {
    appendUtf8(out, lone == LoneSurrogate::Keep ? u : char32_t{0xFFFD});
  };
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t u = unit(i);
    if (u == 0 && stopAtZero) break;
    if (isHighSurrogate(u) && i + 1 < units && isLowSurrogate(unit(i + 1))) {
      appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
      single(out, u);
    } else {
      appendUtf8(out, u);
    }
  }
  return out;
}

char32_t cp437CodePoint(std::uint8_t byte) {
  return byte < 0x80 ? char32_t{byte} : char32_t{kCp437High[byte - 0x80]};
}

std::string cp437ToUtf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::uint8_t b : bytes) appendUtf8(out, cp437CodePoint(b));
  return out;
}

std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& position) {
  if (position >= text.size()) return std::nullopt;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(position);
  std::size_t length = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    ++position;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (length > text.size() - position) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char c = byte(position + i);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || isHighSurrogate(cp) || isLowSurrogate(cp)) return std::nullopt;
  position += length;
  return cp;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t cut = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
  for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++i)
    --cut;
  return text.substr(0, cut);
}

}  // namespace tessaly

#include "session/safe_text.h"

#include <cstdio>

namespace tessaly {

bool isUnsafeCodePoint(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

std::size_t safetext::decode(std::string_view text, std::size_t i, char32_t& codePoint) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t n = 0;
  char32_t c = 0, least = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    n = 2, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are no valid UTF-8.
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  codePoint = c;
  return n;
}

std::string terminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  walkSafeText(
      text, [&](std::string_view kept) { out += kept; },
      [&](char32_t c, std::string_view bytes) {
        char buf[16];
        if (bytes.size() == 1)
          std::snprintf(buf, sizeof buf, "\\x%02x",
                        static_cast<unsigned>(static_cast<unsigned char>(bytes[0])));
        else
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
        out += buf;
      });
  return out;
}

std::string savedNameText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  walkSafeText(
      text, [&](std::string_view kept) { out += kept; },
      [&](char32_t c, std::string_view bytes) {
        // A stray byte above the C1 range is harmless in a file name (names of no known
        // code page keep their bytes); control characters are not.
        out += bytes.size() == 1 && c >= 0xA0 ? bytes : std::string_view("_");
      });
  return out;
}

std::string displayText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  walkSafeText(
      text, [&](std::string_view kept) { out += kept; },
      [&](char32_t, std::string_view) { out += "\xEF\xBF\xBD"; });
  return out;
}

}  // namespace tessaly

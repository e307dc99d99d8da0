// The one rule for names and other text read off a disk before it is shown, printed or
// used as a file name: control characters (U+0000-U+001F, U+007F, U+0080-U+009F) and
// the bidirectional overrides and isolates (U+202A-U+202E, U+2066-U+2069) never reach
// a terminal, a window or a file name raw, and neither do bytes that are not UTF-8.
// Everything else of the text is kept as it is.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// Whether a code point is one the rule keeps out.
bool isUnsafeCodePoint(char32_t c);

// Walks UTF-8 text: calls keep(bytes) for each run of safe characters and
// unsafe(codePoint, bytes) for each unsafe character or stray byte (a stray byte's code
// point is its own value).
template <typename Keep, typename Unsafe>
void walkSafeText(std::string_view text, Keep&& keep, Unsafe&& unsafe);

// For a terminal: unsafe characters written as visible escapes ("\x1b", "\u202e").
std::string terminalText(std::string_view text);
// For a file or folder name: unsafe characters replaced with "_" (stray bytes from 0xA0
// up are kept).
std::string savedNameText(std::string_view text);
// For a window: unsafe characters replaced with U+FFFD.
std::string displayText(std::string_view text);

// ------------------------------------------------------------------ implementation

namespace safetext {
// The length of the UTF-8 sequence at text[i] and its code point; 0 when the bytes
// there are no valid sequence.
std::size_t decode(std::string_view text, std::size_t i, char32_t& codePoint);
}  // namespace safetext

template <typename Keep, typename Unsafe>
void walkSafeText(std::string_view text, Keep&& keep, Unsafe&& unsafe) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    std::size_t n = safetext::decode(text, i, c);
    const bool stray = n == 0;
    if (stray) {
      n = 1;
      c = static_cast<unsigned char>(text[i]);
    }
    if (stray || isUnsafeCodePoint(c)) {
      if (i > run) keep(text.substr(run, i - run));
      unsafe(c, text.substr(i, n));
      run = i + n;
    }
    i += n;
  }
  if (text.size() > run) keep(text.substr(run));
}

}  // namespace tessaly

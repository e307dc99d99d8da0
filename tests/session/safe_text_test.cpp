// The one rule for text read off a disk: control characters, direction overrides and
// stray bytes never come out raw, and everything else of the text is kept.
#include "session/safe_text.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(SafeText, UnsafeCharactersAreEscapedReplacedOrMarkedAndTheRestKept) {
  // ESC "[2J", DEL, U+0085 (C1, as UTF-8), "é", U+202E, U+2066, a stray 0x9B (a C1 byte
  // that is no UTF-8) and a stray 0xE9.
  const std::string name = "\x1b[2J\x7f\xc2\x85\xc3\xa9\xe2\x80\xae\xe2\x81\xa6\x9b\xe9.txt";
  EXPECT_EQ(terminalText(name), "\\x1b[2J\\x7f\\u0085\xc3\xa9\\u202e\\u2066\\x9b\\xe9.txt");
  EXPECT_EQ(savedNameText(name), "_[2J__\xc3\xa9___\xe9.txt");
  EXPECT_EQ(displayText("a\x1b"
                        "b"),
            "a\xef\xbf\xbd"
            "b");
  // Overlong forms and surrogates are no UTF-8: each of their bytes is stray.
  EXPECT_EQ(terminalText("\xc0\x9b\xed\xa0\x80"), "\\xc0\\x9b\\xed\\xa0\\x80");
  // Text without anything unsafe passes unchanged, four-byte characters included.
  const std::string plain = "Budget 2024 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x81.xls";
  EXPECT_EQ(terminalText(plain), plain);
  EXPECT_EQ(savedNameText(plain), plain);
}

}  // namespace
}  // namespace tessaly

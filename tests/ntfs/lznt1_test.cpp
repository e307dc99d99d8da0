#include "ntfs/lznt1.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Lznt1, CompressedAndStoredChunksFillTheirOwn4096Bytes) {
  // "abc", then a reference 3 back for 6 bytes (offset 4 bits, length 12 bits while fewer
  // than 17 bytes are written): "abcabcabc". Then a stored chunk of 4096 bytes of 'z'.
  Bytes in = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x03, 0x20};
  in.push_back(0xFF);
  in.push_back(0x3F);
  in.insert(in.end(), 4096, 'z');
  in.insert(in.end(), {0, 0});
  Bytes out(3 * 4096, 0xEE);
  EXPECT_TRUE(lznt1Decompress(in, out));
  EXPECT_EQ(std::string(out.begin(), out.begin() + 9), "abcabcabc");
  EXPECT_EQ(out[9], 0xEE);  // the rest of a short chunk is left as it was
  EXPECT_EQ(Bytes(out.begin() + 4096, out.begin() + 8192), Bytes(4096, 'z'));
  EXPECT_EQ(out[8192], 0xEE);  // the end mark stops the series

  // A reference reaching before the chunk's start is damage.
  Bytes bad = {0x02, 0xB0, 0x01, 0x00, 0x20};
  EXPECT_FALSE(lznt1Decompress(bad, out));
}

TEST(Lznt1, DamagedDataNeverWritesOutsideTheOutput) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    Bytes in(random() % 9000);
    for (auto& b : in) b = static_cast<std::uint8_t>(random());
    // Headers that claim compressed chunks, so that the decoder's paths are taken.
    if (in.size() > 2) in[1] = static_cast<std::uint8_t>(0xB0 | (in[1] & 0x0F));
    const std::size_t size = random() % 10000;
    Bytes guarded(size + 64, 0xA5);
    (void)lznt1Decompress(in, MutableByteSpan(guarded).subspan(32, size));
    for (std::size_t i = 0; i < 32; ++i) {
      ASSERT_EQ(guarded[i], 0xA5) << round;
      ASSERT_EQ(guarded[size + 32 + i], 0xA5) << round;
    }
  }
}

}  // namespace
}  // namespace tessaly

#include "quarn/os/crc32.h"

#include <gtest/gtest.h>

#include <cstring>

// The system's CRC starts at 0 and is never inverted, so it differs from the
// common CRC-32 (which gives 0x352441C2 for "abc").
TEST(Crc32, KnownVectors) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"", 0x00000000u},
      {"abc", 0xCA6598D0u},
      {"a", 0x3AB551CEu},
      {"123456789", 0x2DFD2D88u},
  };
  for (const Case& c : cases) {
    Crc32 crc;
    EXPECT_EQ(crc.update(c.text, std::strlen(c.text)), c.value) << c.text;
    EXPECT_EQ(crc32_of(c.text, std::strlen(c.text)), c.value) << c.text;
  }
}

TEST(Crc32, PartsEqualWholeAndResetStartsOver) {
  const char text[] = "The quick brown fox jumps over the lazy dog";
  size_t n = std::strlen(text);
  uint32_t whole = crc32_of(text, n);
  for (size_t cut = 0; cut <= n; cut += 7) {
    Crc32 crc;
    crc.update(text, cut);
    EXPECT_EQ(crc.update(text + cut, n - cut), whole) << cut;
    EXPECT_EQ(crc.update(text, 0), whole);  // an empty update changes nothing
    crc.reset();
    EXPECT_EQ(crc.value(), 0u);
  }
}

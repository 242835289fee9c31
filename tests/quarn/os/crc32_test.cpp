#include "quarn/os/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

// Every length and alignment against the textbook bit-at-a-time form, fed
// in pieces that split the eight-byte steps anywhere.
TEST(Crc32, AgreesWithTheBitwiseFormAtEveryLengthAndSplit) {
  std::vector<unsigned char> data(300);
  uint32_t seed = 12345;
  for (auto& b : data) b = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
  const auto bitwise = [&](size_t from, size_t n) {
    uint32_t c = 0;  // the system's form: from 0, never inverted
    for (size_t i = from; i < from + n; i++) {
      c ^= data[i];
      for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return c;
  };
  for (size_t from : {0u, 1u, 3u, 7u})
    for (size_t n = 0; n + from <= data.size(); n += 7) {
      EXPECT_EQ(crc32_of(data.data() + from, n), bitwise(from, n)) << from << " " << n;
      Crc32 parts;
      const size_t cut = n / 3;
      parts.update(data.data() + from, cut);
      EXPECT_EQ(parts.update(data.data() + from + cut, n - cut), bitwise(from, n)) << from << " " << n;
    }
}

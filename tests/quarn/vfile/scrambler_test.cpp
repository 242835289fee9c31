#include "quarn/vfile/scrambler.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FileScrambler, ZeroWordsSelectDefaultSeeds) {
  FileScrambler s;
  s.set_state(0, 0, 0);
  uint32_t a, b, c;
  s.get_state(&a, &b, &c);
  EXPECT_EQ(a, static_cast<uint32_t>(FileScrambler::DEFAULT_A));
  EXPECT_EQ(b, static_cast<uint32_t>(FileScrambler::DEFAULT_B));
  EXPECT_EQ(c, static_cast<uint32_t>(FileScrambler::DEFAULT_C));
  s.set_state(7, 0, 9);
  s.get_state(&a, &b, &c);
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(b, static_cast<uint32_t>(FileScrambler::DEFAULT_B));
  EXPECT_EQ(c, 9u);
}

TEST(FileScrambler, RoundTripAndChunking) {
  const uint32_t keys[] = {1, 0x12345678, 0xFFFFFFFF, 0x80000000};
  for (uint32_t key : keys) {
    unsigned char plain[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    unsigned char whole[10];
    std::memcpy(whole, plain, 10);
    FileScrambler s;
    s.set_state(key, 0, 0);
    s.apply(whole, 10);
    EXPECT_NE(std::memcmp(whole, plain, 10), 0) << key;
    unsigned char parts[10];
    std::memcpy(parts, plain, 10);
    FileScrambler t;
    t.set_state(key, 0, 0);
    t.apply(parts, 3);
    t.apply(parts + 3, 7);
    EXPECT_EQ(std::memcmp(whole, parts, 10), 0) << key;
    FileScrambler u;
    u.set_state(key, 0, 0);
    u.apply(whole, 10);
    EXPECT_EQ(std::memcmp(whole, plain, 10), 0) << key;
  }
}

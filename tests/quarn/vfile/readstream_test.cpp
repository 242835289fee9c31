#include "quarn/vfile/readstream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

TEST(ReadStream, MemoryReadsThenReportsTheEnd) {
  const uint8_t data[8] = {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
  ReadStream rs;
  EXPECT_EQ(rs.kind(), ReadStream::NONE);
  rs.open_memory(data, 8);
  EXPECT_EQ(rs.read_int(), 1);
  EXPECT_EQ(rs.read_int(), -2);
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(rs.error(), 0);
  EXPECT_EQ(rs.read_int(), 0);
  EXPECT_NE(rs.error(), 0);  // a read past the end is reported, not silent
  EXPECT_EQ(rs.tell(), 8);
}

TEST(ReadStream, PartialReadDeliversNothing) {
  const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
  ReadStream rs;
  rs.open_memory(data, 6);
  EXPECT_EQ(rs.read_ushort(), 0x0201);
  vector v{7, 7, 7};
  rs.read_vector(&v);
  EXPECT_TRUE(v == vector(7, 7, 7));  // untouched
  quaternion q{1, 1, 1, 1};
  rs.read_quaternion(&q);
  EXPECT_EQ(q.x, 1.0f);
  EXPECT_EQ(rs.tell(), 2);
  EXPECT_EQ(rs.read_byte(), 3);
  EXPECT_EQ(rs.read_ubyte(), 4);
  EXPECT_EQ(rs.read_short(), 0x0605);
  EXPECT_EQ(rs.read_float(), 0.0f);
}

TEST(ReadStream, MemorySeeks) {
  const uint8_t data[10] = {};
  struct Case {
    int start;
    int offset;
    int whence;
    int result;
    int pos;
  } cases[] = {
      {5, 0, 0, 0, 0},     // rewind
      {5, 3, 0, 0, 3},
      {5, 10, 0, 0, 10},   // the end itself
      {5, 11, 0, -1, 5},
      {5, 2, 1, 0, 7},
      {5, 6, 1, -1, 5},
      {5, 2, 2, 0, 3},     // whence 2 steps backward
      {5, 6, 2, -1, 5},    // not before the start
      {5, -1, 0, -1, 5},
      {5, 0, 7, -1, 5},
  };
  for (const Case& c : cases) {
    ReadStream rs;
    rs.open_memory(data, 10);
    ASSERT_EQ(rs.seek(c.start, 0), 0);
    EXPECT_EQ(rs.seek(c.offset, c.whence), c.result) << c.offset << "/" << c.whence;
    EXPECT_EQ(rs.tell(), c.pos) << c.offset << "/" << c.whence;
  }
}

TEST(ReadStream, MemoryStrings) {
  const char data[] = "hello\0world";  // and the literal's own terminator
  ReadStream rs;
  rs.open_memory(data, sizeof data);
  char buf[4];
  EXPECT_STREQ(rs.read_string(buf, sizeof buf), "hel");
  EXPECT_EQ(rs.tell(), 6);
  char big[16];
  EXPECT_STREQ(rs.read_string(big, sizeof big), "world");
  EXPECT_EQ(rs.error(), 0);
  const char unterminated[3] = {'a', 'b', 'c'};
  rs.open_memory(unterminated, 3);
  EXPECT_STREQ(rs.read_string(big, sizeof big), "abc");
  EXPECT_NE(rs.error(), 0);
  rs.reset();
  EXPECT_EQ(rs.read(big, 1), 0);
}

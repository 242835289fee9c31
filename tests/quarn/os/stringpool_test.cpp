#include "quarn/os/stringpool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "quarn/os/textbuffer.h"
#include "tests/support/critical_error_trap.h"

TEST(StringPool, ExactFitSucceedsOneMoreByteIsFatal) {
  CriticalErrorTrap trap;
  StringPool pool;
  pool.alloc(10);
  EXPECT_NE(pool.add("abcd"), nullptr);   // 5 bytes
  EXPECT_NE(pool.add("efgh"), nullptr);   // exactly fills the 10
  EXPECT_EQ(pool.free_bytes(), 0);
  try {
    pool.add("");
    FAIL() << "expected a fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Length of string pool exceeded.");
  }
  pool.reset();
  EXPECT_EQ(pool.used(), 0);
  EXPECT_EQ(pool.count(), 0);
}

TEST(StringPool, FindOrAddSharesIgnoringCase) {
  StringPool pool;
  pool.alloc(64);
  const char* data = pool.add("data");
  const char* other = pool.add("other");
  EXPECT_EQ(pool.find_or_add("Data"), data);
  EXPECT_EQ(pool.find_or_add("OTHER"), other);
  const char* fresh = pool.find_or_add("fresh");
  EXPECT_STREQ(fresh, "fresh");
  EXPECT_EQ(pool.count(), 3);
  EXPECT_EQ(pool.add(nullptr), nullptr);
  // After truncation the pool only finds what is still stored.
  pool.truncate(5);
  EXPECT_EQ(pool.find_or_add("data"), data);
  EXPECT_NE(pool.find_or_add("other"), nullptr);
  EXPECT_EQ(pool.used(), 11);
}

TEST(StringPool, AttachedBufferIsNotFreed) {
  char buf[16];
  {
    StringPool pool;
    pool.attach(buf, sizeof buf, false);
    EXPECT_EQ(pool.add("abc"), buf);
    pool.free();
    EXPECT_EQ(pool.buffer(), nullptr);
  }
  EXPECT_STREQ(buf, "abc");
}

TEST(TextBuffer, LineLimitKeepsLastLines) {
  TextBuffer tb(nullptr, 256, 3);
  for (int i = 1; i <= 5; ++i) {
    tb.printf("line %d\n", i);
  }
  // Five line feeds make six lines, the last one empty.
  EXPECT_STREQ(tb.text(), "line 4\nline 5\n");
  EXPECT_EQ(tb.lines(), 3);
  TextBuffer tb2(nullptr, 256, 3);
  tb2.append("a\nb\nc\nd\ne");
  EXPECT_STREQ(tb2.text(), "c\nd\ne");
}

TEST(TextBuffer, OverrunReplacesContent) {
  char buf[20];
  TextBuffer tb(buf, sizeof buf, 0);
  tb.append("0123456789");
  EXPECT_STREQ(tb.text(), "0123456789");
  tb.append("0123456789");
  EXPECT_STREQ(tb.text(), "Buffer overrun!");
  TextBuffer tiny(nullptr, 4, 0);  // grows to hold the message
  EXPECT_GE(tiny.capacity(), 16);
  tiny.append("way too long for it");
  EXPECT_STREQ(tiny.text(), "Buffer overrun!");
  tiny.clear();
  EXPECT_STREQ(tiny.text(), "");
  EXPECT_EQ(tiny.lines(), 1);
}

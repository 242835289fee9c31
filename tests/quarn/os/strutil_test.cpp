#include "quarn/os/strutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(StrUtil, FormatThousands) {
  struct Case {
    int value;
    const char* want;
  } cases[] = {{-1234567, "-1,234,567"}, {999, "999"}, {1000, "1,000"}, {0, "0"}, {-100, "-100"},
               {2147483647, "2,147,483,647"}};
  char buf[32];
  for (const Case& c : cases) {
    ASSERT_NE(str_format_thousands(buf, sizeof buf, c.value), nullptr);
    EXPECT_STREQ(buf, c.want);
  }
  EXPECT_EQ(str_format_thousands(buf, 5, 1000), nullptr);  // "1,000" needs 6
  EXPECT_NE(str_format_thousands(buf, 6, 1000), nullptr);
}

TEST(StrUtil, ByteSize) {
  struct Case {
    int bytes;
    const char* want;
  } cases[] = {{998, "998 bytes"}, {999, "0.98 KB"}, {1000000, "976.56 KB"}, {1048576, "1.00 MB"}};
  char buf[32];
  for (const Case& c : cases) {
    EXPECT_STREQ(str_byte_size(buf, sizeof buf, c.bytes), c.want);
  }
}

TEST(StrUtil, TrimCaseAndSearch) {
  char buf[32];
  EXPECT_STREQ(str_trim(buf, "  a b \t\n"), "a b");
  EXPECT_STREQ(str_copy_trim_left(buf, "  a b "), "a b ");
  EXPECT_STREQ(str_copy_trim_right(buf, "  a b \n"), "  a b");
  EXPECT_STREQ(str_trim(buf, 3, "  abcdef "), "ab");  // bounded
  EXPECT_TRUE(str_is_blank(" \t\n"));
  EXPECT_TRUE(str_is_blank(nullptr));
  EXPECT_FALSE(str_is_blank(" x"));
  char t[8] = "AbC";
  EXPECT_STREQ(str_lower(t), "abc");
  EXPECT_STREQ(str_upper(t), "ABC");
  char small[4] = "ab";
  EXPECT_TRUE(str_append_char(small, sizeof small, 'c'));
  EXPECT_FALSE(str_append_char(small, sizeof small, 'd'));
  EXPECT_STREQ(small, "abc");
  const char* list = ".vbm .tga .m2v ";
  EXPECT_EQ(ext_in_list(list, ".TGA "), list + 5);
  EXPECT_EQ(ext_in_list(list, ".wav "), nullptr);
  const char* movies = "*.bik ";
  EXPECT_EQ(ext_in_list(movies, ".bik "), movies + 1);
}

TEST(StrUtil, PaddedColumns) {
  char buf[64];
  str_format_padded(buf, sizeof buf, 2, 12, "Label", "%d", 42);
  EXPECT_STREQ(buf, "  Label     42");  // label + value fill 12
  str_format_column(buf, sizeof buf, 0, 8, "Key", "%s", "value");
  EXPECT_STREQ(buf, "Key     value");
  str_format_padded(buf, sizeof buf, 0, 3, "LongLabel", "%d", 1);
  EXPECT_STREQ(buf, "LongLabel 1");  // at least one blank
  str_format_padded(buf, 8, 0, 20, "Label", "%d", 1);
  EXPECT_EQ(std::strlen(buf), 7u);  // bounded
}

static int ten_per_char(const char* t) { return static_cast<int>(std::strlen(t)) * 10; }

TEST(StrUtil, FitWidth) {
  char buf[32];
  EXPECT_STREQ(text_fit_width(buf, sizeof buf, "short", 100, ten_per_char), "short");
  EXPECT_STREQ(text_fit_width(buf, sizeof buf, "a long title", 80, ten_per_char), "a lon...");
  EXPECT_STREQ(text_fit_width(buf, sizeof buf, "abcdef", 10, ten_per_char), "...");
  EXPECT_STREQ(text_fit_width(buf, 6, "abcdefghij", 1000, ten_per_char), "abcde");
}

TEST(StrUtil, FullWidthRoundTrip) {
  uint16_t codes[64];
  int n = str_to_fullwidth(codes, 64, " 09AZaz!?");
  ASSERT_EQ(n, 9);
  const uint16_t want[] = {0x8140, 0x824F, 0x8258, 0x8260, 0x8279, 0x8281, 0x829A, 0x8149, 0x8148};
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(codes[i], want[i]) << i;
  }
  char back[64];
  EXPECT_EQ(str_from_fullwidth(back, sizeof back, codes), 9);
  EXPECT_STREQ(back, " 09AZaz!?");
  // Every character of the range maps and maps back.
  char all[128];
  int k = 0;
  for (int c = ' '; c <= 'z'; ++c) all[k++] = static_cast<char>(c);
  all[k] = 0;
  EXPECT_EQ(str_to_fullwidth(codes, 64, all), 63);  // bounded by the destination
  uint16_t big[128];
  EXPECT_EQ(str_to_fullwidth(big, 128, all), k);
  EXPECT_EQ(str_from_fullwidth(back, sizeof back, big), 63);
  char full[128];
  EXPECT_EQ(str_from_fullwidth(full, sizeof full, big), k);
  EXPECT_STREQ(full, all);
  // Stops at the first character outside the table.
  EXPECT_EQ(str_to_fullwidth(big, 128, "ab{c"), 2);
  const uint16_t odd[] = {0x8281, 0x1234, 0x8282, 0};
  EXPECT_EQ(str_from_fullwidth(back, sizeof back, odd), 1);
}

#include "quarn/os/textstring.h"

#include <gtest/gtest.h>

#include "quarn/math/vector.h"

TEST(TextString, ConstructionAndAssign) {
  TextString empty;
  EXPECT_STREQ(empty.c_str(), "");
  EXPECT_TRUE(empty.is_empty());
  EXPECT_EQ(TextString('x'), "x");
  TextString room(5);
  EXPECT_STREQ(room.c_str(), "");
  TextString neg(-3);
  EXPECT_TRUE(neg.is_empty());

  TextString s("hello world");
  s.assign("abcdef", 3);
  EXPECT_STREQ(s.c_str(), "abc");
  s.assign(nullptr);
  EXPECT_TRUE(s.is_empty());
  s = static_cast<const char*>(nullptr);
  EXPECT_STREQ(s.c_str(), "");
  // Assigning a part of itself must not read freed memory.
  s = "selfcopy";
  s.assign(s.c_str() + 4);
  EXPECT_STREQ(s.c_str(), "copy");
  TextString copy(s);
  copy.to_upper();
  EXPECT_STREQ(s.c_str(), "copy");
  EXPECT_STREQ(copy.c_str(), "COPY");
}

TEST(TextString, Substrings) {
  TextString s("abcdef");
  struct Case {
    TextString got;
    const char* want;
  } cases[] = {
      {s.left(0), ""},       {s.left(2), "ab"},       {s.left(99), "abcdef"},  {s.right(-1), ""},
      {s.right(2), "ef"},    {s.right(6), "abcdef"},  {s.right(40), "abcdef"}, {s.mid(2, 3), "cde"},
      {s.mid(4, 10), "ef"},  {s.mid(6, 1), ""},       {s.substring(1, 3), "bcd"}, {s.substring(2), "cdef"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(c.got.c_str(), c.want);
  }
}

TEST(TextString, FindIgnoresCase) {
  TextString s("Data\\Tables\\items.TBL");
  EXPECT_EQ(s.find("tables"), 5);
  EXPECT_EQ(s.find("\\", true), 11);
  EXPECT_EQ(s.find(".tbl"), 17);
  EXPECT_EQ(s.find("nothere"), -1);
  EXPECT_EQ(s.find(""), 0);
  EXPECT_EQ(s.find(nullptr), 0);
}

TEST(TextString, TrimBlankAndAt) {
  TextString s(" \t hi there \n");
  EXPECT_FALSE(s.is_blank());
  s.trim();
  EXPECT_STREQ(s.c_str(), "hi there");
  TextString blank(" \t\n ");
  EXPECT_TRUE(blank.is_blank());
  blank.trim();
  EXPECT_TRUE(blank.is_empty());
  EXPECT_EQ(s.at(0), 'h');
  EXPECT_EQ(s.at(100), 0);
  EXPECT_EQ(s.at(-1), 0);
  s.at(200) = 'x';  // the scratch character; the string is untouched
  EXPECT_STREQ(s.c_str(), "hi there");
  EXPECT_EQ(s.at(200), 0);
}

TEST(TextString, ConcatenationAndComparison) {
  TextString a("Foo");
  TextString b = a + "bar" + '!' + TextString("X");
  EXPECT_STREQ(b.c_str(), "Foobar!X");
  EXPECT_STREQ(("<" + a).c_str(), "<Foo");
  EXPECT_STREQ(('(' + a).c_str(), "(Foo");
  a += a;
  EXPECT_STREQ(a.c_str(), "FooFoo");

  EXPECT_TRUE(TextString("DATA") == "data");
  EXPECT_TRUE("abc" < TextString("ABD"));
  EXPECT_TRUE(TextString() == TextString(""));
  EXPECT_TRUE(TextString() != "a");
  EXPECT_TRUE(TextString() < "a");
  EXPECT_TRUE(TextString("a") > TextString());
  EXPECT_TRUE(TextString("b") >= "B");
  EXPECT_TRUE(TextString("a") <= "B");
}

TEST(TextString, NumberForms) {
  EXPECT_STREQ(TextString::from_int(-42).c_str(), "-42");
  EXPECT_STREQ(TextString::from_hex(255).c_str(), "0xff");
  EXPECT_STREQ(TextString::from_hex(0xDEADBEEFu).c_str(), "0xdeadbeef");
  EXPECT_STREQ(TextString::from_float(1.23456f, 2).c_str(), "1.23");
  EXPECT_STREQ(TextString::from_byte_size(1048576).c_str(), "1.00 MB");
  EXPECT_STREQ(TextString::from_vector(vector{1.0f, -2.5f, 0.0f}, 1).c_str(), "< 1.0, -2.5, 0.0 >");
  EXPECT_FLOAT_EQ(TextString("2.5").to_float(), 2.5f);
  EXPECT_FLOAT_EQ(TextString().to_float(), 0.0f);
}

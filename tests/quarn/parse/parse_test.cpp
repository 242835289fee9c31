#include "quarn/parse/parse.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/crc32.h"
#include "quarn/os/textstring.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/critical_error_trap.h"

namespace {

void open_text(ParseContext& pc, const std::string& text, const char* name = "test.tbl") {
  pc.open_memory(name, text.data(), text.size());
}

// Runs f, which must end in a fatal error, and returns the error's text.
template <typename F>
std::string fatal_text(F f) {
  CriticalErrorTrap trap;
  try {
    f();
  } catch (const CriticalErrorThrown& e) {
    return e.text;
  }
  ADD_FAILURE() << "no fatal error";
  return "";
}

// The "Expected ..." and line parts of a parse error.
struct ErrorParts {
  int line = -1;
  std::string expected;
  std::string found;
  std::string prior;
};

ErrorParts split_error(const std::string& msg) {
  ErrorParts p;
  size_t at = msg.find("at line #");
  if (at != std::string::npos) p.line = atoi(msg.c_str() + at + 9);
  size_t e = msg.find("\nExpected ");
  size_t b = msg.find(" but found this text:\n\n[");
  if (e != std::string::npos && b != std::string::npos) p.expected = msg.substr(e + 10, b - e - 10);
  size_t f0 = b == std::string::npos ? b : b + 24;
  size_t f1 = msg.find("]\n\nPrior text was this:\n\n[");
  if (f0 != std::string::npos && f1 != std::string::npos) {
    p.found = msg.substr(f0, f1 - f0);
    size_t p0 = f1 + 26;
    size_t p1 = msg.rfind("]\n");
    if (p1 != std::string::npos && p1 >= p0) p.prior = msg.substr(p0, p1 - p0);
  }
  return p;
}

ErrorParts parse_error(const std::string& text, void (*reader)(ParseContext&)) {
  ParseContext pc;
  open_text(pc, text);
  return split_error(fatal_text([&] { reader(pc); }));
}

}  // namespace

TEST(Parse, RequiredAndOptionalLiteralsIgnoreCase) {
  ParseContext pc;
  open_text(pc, "$name: 5\n+Slot: 2\n#end\n");
  pc.require_string("$Name:");
  EXPECT_EQ(pc.read_int(), 5);
  EXPECT_FALSE(pc.optional_string("+Other:"));
  EXPECT_TRUE(pc.check_string("+SLOT:"));
  EXPECT_TRUE(pc.optional_string("+slot:"));
  EXPECT_EQ(pc.read_int(), 2);
  EXPECT_TRUE(pc.optional_string("#End"));
  EXPECT_TRUE(pc.at_end() || (pc.skip_space(), pc.at_end()));

  ErrorParts e = parse_error("$Nam 5", [](ParseContext& p) { p.require_string("$Name:"); });
  EXPECT_EQ(e.expected, "\"$Name:\"");
  EXPECT_EQ(e.found, "$Nam 5");
  EXPECT_EQ(e.line, 1);
}

TEST(Parse, ErrorMessageHasTheExactForm) {
  std::string msg = fatal_text([] {
    ParseContext pc;
    pc.open_memory("items.tbl", "#Items\r\n$Name: \"Sword\"\r\n$Cost 5\r\n", 33);
    pc.require_string("#Items");
    pc.require_string("$Name:");
    char buf[32];
    pc.read_string(buf, sizeof buf);
    pc.require_string("$Cost:");
  });
  EXPECT_EQ(msg,
            "Parsing file \"items.tbl\", at line #3\nExpected \"$Cost:\" but found this text:\n\n"
            "[$Cost 5\x16\x16]\n\nPrior text was this:\n\n[#Items\x16\x16$Name: \"Sword\"\x16\x16]\n");
}

TEST(Parse, ErrorShowsFortyCharactersEachSideWithControlsReplaced) {
  std::string before(50, 'a');
  before[45] = '\t';
  std::string after = "\x01" + std::string(60, 'b');
  ErrorParts e = parse_error(before + " " + after, [](ParseContext& p) {
    p.skip_to_string("\x01");
    p.require_string("$X");
  });
  std::string want_prior = before.substr(11) + " ";
  want_prior[45 - 11] = '\x16';
  EXPECT_EQ(e.prior, want_prior);
  EXPECT_EQ(e.found, "\x16" + std::string(39, 'b'));

  // Near the start and the end there is less to show.
  e = parse_error("ab", [](ParseContext& p) {
    p.skip_to_string("b");
    p.read_int();
  });
  EXPECT_EQ(e.prior, "a");
  EXPECT_EQ(e.found, "b");
}

TEST(Parse, LineNumbersAreRightForEveryLineEnd) {
  // The error sits on the fourth line, after a block comment and a line
  // comment; every convention must say so.
  const char* lines[] = {"$A: 1", "/* one", "two */ $B: 2", "// note", "$C 3"};
  struct Case {
    const char* name;
    const char* eol;
  } cases[] = {{"CR LF", "\r\n"}, {"LF", "\n"}, {"CR", "\r"}};
  for (const Case& c : cases) {
    std::string text;
    for (const char* l : lines) text += std::string(l) + c.eol;
    ErrorParts e = parse_error(text, [](ParseContext& p) {
      p.require_string("$A:");
      p.read_int();
      p.require_string("$B:");
      p.read_int();
      p.require_string("$C:");
    });
    EXPECT_EQ(e.line, 5) << c.name;
    EXPECT_EQ(e.expected, "\"$C:\"") << c.name;
  }
}

TEST(Parse, IntegersDecimalHexAndWrapping) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0x1F", 31},        {"0X1f", 31},          {"-12", -12},
      {"  \r\n 7", 7},     {"4294967297", 1},     {"-2147483648", INT_MIN},
      {"2147483648", INT_MIN}, {"-0x10", -16},    {"12abc", 12},
  };
  for (const Case& c : cases) {
    ParseContext pc;
    open_text(pc, c.text);
    EXPECT_EQ(pc.read_int(), c.value) << c.text;
  }
  ParseContext pc;
  open_text(pc, "0xFFFFFFFF 0x100000001");
  EXPECT_EQ(pc.read_uint(), 0xFFFFFFFFu);
  EXPECT_EQ(pc.read_uint(), 1u);

  for (const char* bad : {"0x ", "-", "abc", "+5", ""}) {
    ErrorParts e = parse_error(bad, [](ParseContext& p) { p.read_int(); });
    EXPECT_EQ(e.expected, "an integer") << bad;
  }
  ErrorParts e = parse_error("0x zz", [](ParseContext& p) { p.read_int(); });
  EXPECT_EQ(e.found, "0x zz");  // reported at the start of the bad number
  e = parse_error("-5", [](ParseContext& p) { p.read_uint(); });
  EXPECT_EQ(e.expected, "a uint");
}

TEST(Parse, Floats) {
  struct Case {
    const char* text;
    float value;
    const char* rest;
  } cases[] = {
      {".5", 0.5f, ""},       {"-.25", -0.25f, ""}, {"7", 7.0f, ""},
      {"1e3", 1.0f, "e3"},    {"-0.5", -0.5f, ""},  {"-3.75,", -3.75f, ","},
      {"12.", 12.0f, ""},     {"0.125", 0.125f, ""},
      // The integer part wraps as an int does; the sign covers the fraction.
      {"-2147483648.5", -2147483648.5f, ""}, {"-2147483647.75", -2147483647.75f, ""},
      {"4294967297.5", 1.5f, ""},            {"-4294967297.5", -1.5f, ""},
  };
  for (const Case& c : cases) {
    ParseContext pc;
    open_text(pc, c.text);
    EXPECT_FLOAT_EQ(pc.read_float(), c.value) << c.text;
    EXPECT_STREQ(pc.cursor(), c.rest) << c.text;
  }
  ParseContext pc;
  open_text(pc, "-0.5");
  EXPECT_TRUE(std::signbit(pc.read_float()));
  ErrorParts e = parse_error("x", [](ParseContext& p) { p.read_float(); });
  EXPECT_EQ(e.expected, "an integer");
}

TEST(Parse, VectorsAndMatrices) {
  ParseContext pc;
  open_text(pc, "<1.5, -2, 3>  <1.5 -2 3> [<1,0,0> <0,1,0>, <0,0,1>]");
  vector a, b;
  pc.read_vector(a);
  pc.read_vector(b);
  EXPECT_EQ(a, b);
  EXPECT_FLOAT_EQ(a.x, 1.5f);
  EXPECT_FLOAT_EQ(a.y, -2.0f);
  EXPECT_FLOAT_EQ(a.z, 3.0f);
  matrix m;
  pc.read_matrix(m);
  EXPECT_FLOAT_EQ(m.right.x, 1.0f);
  EXPECT_FLOAT_EQ(m.up.y, 1.0f);
  EXPECT_FLOAT_EQ(m.forward.z, 1.0f);
  EXPECT_FLOAT_EQ(m.forward.x, 0.0f);

  // A missing '>' is found where the next field begins.
  ErrorParts e = parse_error("$Pos: <1 2 3\n$Next: 4\n", [](ParseContext& p) {
    p.require_string("$Pos:");
    vector v;
    p.read_vector(v);
  });
  EXPECT_EQ(e.expected, "a vector terminator");
  EXPECT_EQ(e.line, 2);
  struct Bad {
    const char* text;
    bool is_matrix;
    const char* expected;
  } bad[] = {{"1 2 3", false, "a vector"},
             {"<1 2 x>", false, "an integer"},
             {"<1 0 0> <0 1 0> <0 0 1>", true, "a matrix"},
             {"[<1 0 0> <0 1 0> <0 0 1>", true, "a matrix terminator"}};
  for (const Bad& b : bad) {
    e = parse_error(b.text, b.is_matrix ? +[](ParseContext& p) {
      matrix m2;
      p.read_matrix(m2);
    } : +[](ParseContext& p) {
      vector v;
      p.read_vector(v);
    });
    EXPECT_EQ(e.expected, b.expected) << b.text;
  }
}

TEST(Parse, QuotedStrings) {
  ParseContext pc;
  open_text(pc, "\"Long Sword\" {braced text} \"\"");
  TextString s;
  EXPECT_EQ(pc.read_text_string(s), 10);
  EXPECT_STREQ(s.c_str(), "Long Sword");
  char buf[16];
  EXPECT_EQ(pc.read_string(buf, sizeof buf, '{', '}'), 11);
  EXPECT_STREQ(buf, "braced text");
  EXPECT_EQ(pc.read_string(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");

  for (const char* eol : {"\r\n", "\n", "\r"}) {
    ErrorParts e = parse_error(std::string("\"open") + eol + "next\"", [](ParseContext& p) {
      TextString t;
      p.read_text_string(t);
    });
    EXPECT_EQ(e.expected, "a string terminator");
    EXPECT_EQ(e.line, 1);
  }
  ErrorParts e = parse_error("'x'", [](ParseContext& p) {
    char b[8];
    p.read_string(b, sizeof b);
  });
  EXPECT_EQ(e.expected, "a string");

  // A text of capacity characters or more does not fit; the message names
  // the file and the line, so one table among many can be found.
  std::string msg = fatal_text([] {
    ParseContext p;
    const std::string text = "$Name: \"ok\"\r\n\r\n$Desc: \"12345678\"";
    p.open_memory("monster.tbl", text.c_str(), text.size());
    char b[8];
    p.require_string("$Name:");
    p.read_string(b, sizeof b);
    p.require_string("$Desc:");
    p.read_string(b, sizeof b);
  });
  EXPECT_EQ(msg, "Parsing file \"monster.tbl\", at line #3\n"
                 "Not enough storage provided (8) for parsed C string (len=8)");
  ParseContext fits;
  open_text(fits, "\"1234567\"");
  char b8[8];
  EXPECT_EQ(fits.read_string(b8, sizeof b8), 7);
}

// A number outside its field's range is the parse error at the number,
// naming the range and the field; the ends of the range are taken.
TEST(Parse, NumbersOutsideTheirRangeAreRefusedWithTheField) {
  struct Case {
    const char* text;
    int32_t value;  // -1: refused
  } cases[] = {{"65535", 65535}, {"0", 0}, {"70000", -1}, {"-1", -1}, {"65536", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = std::string("$Name: x\n+Duration: ") + c.text + "\n";
    if (c.value >= 0) {
      ParseContext pc;
      open_text(pc, text);
      pc.require_string("$Name:");
      pc.require_string("x");
      pc.require_string("+Duration:");
      EXPECT_EQ(pc.read_int_in(0, 65535, "+Duration:"), c.value);
      continue;
    }
    ErrorParts e = parse_error(text, [](ParseContext& pc) {
      pc.require_string("$Name:");
      pc.require_string("x");
      pc.require_string("+Duration:");
      pc.read_int_in(0, 65535, "+Duration:");
    });
    EXPECT_EQ(e.line, 2);
    EXPECT_EQ(e.expected, "a number from 0 to 65535 for +Duration:");
    EXPECT_EQ(e.found.rfind(c.text, 0), 0u) << e.found;
  }
}

TEST(Parse, OptionalQuotedStringAndBooleans) {
  ParseContext pc;
  open_text(pc, "\"Fire\" \"Ice\" yes No TRUE false");
  EXPECT_FALSE(pc.optional_quoted_string("Ice"));
  EXPECT_TRUE(pc.optional_quoted_string("fire"));
  EXPECT_TRUE(pc.optional_quoted_string("Ice"));
  EXPECT_TRUE(pc.read_bool());
  EXPECT_FALSE(pc.read_bool());
  EXPECT_TRUE(pc.read_bool());
  EXPECT_FALSE(pc.read_bool());
  ErrorParts e = parse_error("maybe", [](ParseContext& p) { p.read_bool(); });
  EXPECT_EQ(e.expected, "a boolean value");
}

TEST(Parse, ReadLineStopsAtEveryKindOfLineEnd) {
  for (const char* eol : {"\r\n", "\n", "\r"}) {
    std::string text = std::string("first line") + eol + "second" + eol + "third";
    ParseContext pc;
    open_text(pc, text);
    char buf[64];
    ASSERT_TRUE(pc.read_line(buf, sizeof buf));
    EXPECT_STREQ(buf, "first line");
    EXPECT_EQ(pc.line(), 2);
    TextString s;
    ASSERT_TRUE(pc.read_line_string(s));
    EXPECT_STREQ(s.c_str(), "second");
    // A line that does not fit is left alone.
    char small[5];
    EXPECT_FALSE(pc.read_line(small, sizeof small));
    EXPECT_STREQ(pc.cursor(), "third");
    ASSERT_TRUE(pc.read_line(buf, sizeof buf));
    EXPECT_STREQ(buf, "third");
    EXPECT_FALSE(pc.read_line(buf, sizeof buf));
    EXPECT_FALSE(pc.read_line_string(s));
    EXPECT_STREQ(s.c_str(), "");
  }
  ParseContext pc;
  open_text(pc, "\n\n   indented\n");
  char buf[32];
  EXPECT_TRUE(pc.skip_and_read_line(buf, sizeof buf));
  EXPECT_STREQ(buf, "indented");
  EXPECT_EQ(pc.line(), 4);
}

TEST(Parse, SearchingAndSkipping) {
  const char* text =
      "#Sounds\n$Name: \"a\"\n#End\n"
      "#Music\n$Name: \"b\"\n#End\n";
  ParseContext pc;
  open_text(pc, text);
  // The stop text comes first: not found, nothing moved.
  EXPECT_FALSE(pc.skip_to_string("#Music", "#End"));
  EXPECT_EQ(pc.cursor(), pc.text());
  EXPECT_TRUE(pc.skip_to_string("#Music"));
  EXPECT_EQ(pc.line(), 4);
  EXPECT_TRUE(pc.skip_to_and_require("$Name:", "#End"));
  TextString s;
  pc.read_text_string(s);
  EXPECT_STREQ(s.c_str(), "b");
  // Not found after the cursor: find_string starts again at the top.
  EXPECT_FALSE(pc.skip_to_string("#Sounds"));
  EXPECT_TRUE(pc.find_string("#Sounds"));
  EXPECT_EQ(pc.line(), 1);
  ParsePos pos;
  pc.save_pos(pos);
  EXPECT_FALSE(pc.find_string("#Nothing"));
  EXPECT_EQ(pc.cursor(), pos.cursor);
  EXPECT_TRUE(pc.find_and_require("#Sounds"));
  pc.skip_line();
  EXPECT_EQ(pc.line(), 2);
  char buf[32];
  EXPECT_EQ(pc.read_until(buf, sizeof buf, "\"a\""), 7);
  EXPECT_STREQ(buf, "$Name: ");
  EXPECT_EQ(pc.read_until(buf, 4, "#End"), 3);  // cut to the buffer
  EXPECT_STREQ(buf, "\"a\"");
  EXPECT_TRUE(pc.check_string("#End"));
  // Without the text: the rest of the line.
  EXPECT_EQ(pc.read_until(buf, sizeof buf, "#Missing"), 4);
  EXPECT_STREQ(buf, "#End");
  pc.rewind();
  EXPECT_EQ(pc.line(), 1);
  EXPECT_EQ(pc.cursor(), pc.text());
}

TEST(Parse, ATableWithSectionsAndOptionalFields) {
  const char* text =
      "// sounds of the demo\r\n"
      "#Sounds\r\n"
      "$Name: \"door\"   $Volume: 0.8\r\n"
      "+Loop: yes\r\n"
      "$Name: \"step\"   $Volume: .25 /* quiet */\r\n"
      "#End\r\n";
  ParseContext pc;
  open_text(pc, text, "sounds.tbl");
  pc.require_string("#Sounds");
  struct Row {
    std::string name;
    float volume;
    bool loop;
  };
  std::vector<Row> rows;
  while (pc.optional_string("$Name:")) {
    Row r;
    char buf[32];
    pc.read_string(buf, sizeof buf);
    r.name = buf;
    pc.require_string("$Volume:");
    r.volume = pc.read_float();
    r.loop = pc.optional_string("+Loop:") ? pc.read_bool() : false;
    rows.push_back(r);
  }
  pc.require_string("#End");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "door");
  EXPECT_TRUE(rows[0].loop);
  EXPECT_EQ(rows[1].name, "step");
  EXPECT_FLOAT_EQ(rows[1].volume, 0.25f);
  EXPECT_FALSE(rows[1].loop);
  EXPECT_EQ(pc.line(), 6);
  EXPECT_EQ(pc.crc(), crc32_of(text, strlen(text)));
}

namespace {
bool element_name(int32_t* slot, int index, const char* name) {
  if (strcmp(name, "ten") == 0) {
    *slot = 10 + index;
    return true;
  }
  return false;
}
}  // namespace

TEST(Parse, Lists) {
  ParseContext pc;
  open_text(pc,
            "(\"a\" \"B c\") (1 -2, 0x10 \"ten\") (0.5 -1 .25) (\"fire\" \"ICE\") \"Ice\" ()");
  TextString names[4];
  EXPECT_EQ(pc.read_string_list(names, 4), 2);
  EXPECT_STREQ(names[1].c_str(), "B c");
  int32_t ints[4];
  EXPECT_EQ(pc.read_int_list(ints, 4, element_name), 4);
  EXPECT_EQ(ints[0], 1);
  EXPECT_EQ(ints[1], -2);
  EXPECT_EQ(ints[2], 16);
  EXPECT_EQ(ints[3], 13);
  float floats[3];
  EXPECT_EQ(pc.read_float_list(floats, 3), 3);
  EXPECT_FLOAT_EQ(floats[2], 0.25f);
  const char* flag_names[] = {"fire", "ice", "poison", nullptr};
  EXPECT_EQ(pc.read_flags(flag_names, 8), 3u);
  EXPECT_EQ(pc.read_type(flag_names, 3), 1);
  EXPECT_EQ(pc.read_int_list(ints, 4), 0);

  struct Bad {
    const char* text;
    const char* expected;
    const char* found;
  } bad[] = {
      {"1 2", "an integer list", "1 2"},
      {"(1 2", "an integer list terminator", ""},
      {"(1 \"eleven\")", "an integer list element", "\"eleven\")"},
      {"(1 2 3 4 5)", "an integer list terminator", "5)"},  // over the capacity
  };
  for (const Bad& b : bad) {
    ErrorParts e = parse_error(b.text, [](ParseContext& p) {
      int32_t v[4];
      p.read_int_list(v, 4, element_name);
    });
    EXPECT_EQ(e.expected, b.expected) << b.text;
    EXPECT_EQ(e.found, b.found) << b.text;
  }
  ErrorParts e = parse_error("(\"fire\" \"wind\")", [](ParseContext& p) {
    const char* n[] = {"fire", "ice"};
    p.read_flags(n, 2);
  });
  EXPECT_EQ(e.expected, "a valid flag name");
  EXPECT_EQ(e.found, "\"wind\")");
  e = parse_error("\"poison\"", [](ParseContext& p) {
    const char* n[] = {"fire", "ice", "poison"};
    p.read_type(n, 2);  // the count ends the table
  });
  EXPECT_EQ(e.expected, "a valid type string");
  e = parse_error("(\"a\" \"b\" \"c\")", [](ParseContext& p) {
    TextString s[2];
    p.read_string_list(s, 2);
  });
  EXPECT_EQ(e.expected, "a string list terminator");
  e = parse_error("(1 x)", [](ParseContext& p) {
    float f[4];
    p.read_float_list(f, 4);
  });
  EXPECT_EQ(e.expected, "a float list terminator");
  // Names are bounded: 256 characters are no type name.
  e = parse_error("\"" + std::string(256, 'n') + "\"", [](ParseContext& p) {
    const char* n[] = {"fire"};
    p.read_type(n, 1);
  });
  EXPECT_EQ(e.expected, "a valid type string");
}

TEST(Parse, MultiLineText) {
  ParseContext pc;
  open_text(pc, "$Text:\r\n  The first line\r\nand the second  \r\n$end text\r\n$Next:");
  pc.require_string("$Text:");
  TextString t;
  pc.read_text(t, "$end text");
  EXPECT_STREQ(t.c_str(), "The first line\r\nand the second");
  EXPECT_EQ(pc.line(), 4);
  EXPECT_TRUE(pc.optional_string("$Next:"));

  for (const char* eol : {"\r\n", "\n"}) {
    std::string text = std::string("one") + eol + "two" + eol + "$end text";
    ParseContext p;
    open_text(p, text);
    TextString j;
    p.read_text_joined(j, "$end text");
    EXPECT_STREQ(j.c_str(), "one two");
  }
  ErrorParts e = parse_error("words without end", [](ParseContext& p) {
    TextString s;
    p.read_text(s, "$end text");
  });
  EXPECT_EQ(e.expected, "multiline terminator \"$end text\"");
}

TEST(Parse, WrittenTextReadsBack) {
  EXPECT_EQ(parse_format_text(""), "$end text\r\n\r\n");
  EXPECT_EQ(parse_format_text("short"), "short\r\n$end text\r\n\r\n");

  // 100 characters: the break is the last blank at or before index 69.
  std::string words;
  while (words.size() < 100) words += "word ";
  words.resize(100);
  std::string out = parse_format_text(words.c_str());
  size_t first = out.find("\r\n");
  EXPECT_LE(first, 70u);
  EXPECT_EQ(out.substr(0, first), words.substr(0, first));
  EXPECT_EQ(words[first], ' ');

  // No blank before index 70: the first one after it; none at all: all.
  std::string longword(90, 'x');
  EXPECT_EQ(parse_format_text((longword + " tail").c_str()), longword + "\r\ntail\r\n$end text\r\n\r\n");
  EXPECT_EQ(parse_format_text(longword.c_str()), longword + "\r\n$end text\r\n\r\n");

  // What the writer wrote, the reader reads as the same words.
  std::string text;
  for (int i = 0; i < 40; i++) text += "line" + std::to_string(i) + (i % 7 == 6 ? "\n" : " ");
  text.pop_back();
  std::string file = "$Text:\r\n" + parse_format_text(text.c_str()) + "$Next:";
  ParseContext pc;
  open_text(pc, file);
  pc.require_string("$Text:");
  TextString back;
  pc.read_text_joined(back, "$end text");
  std::string flat = text;
  for (char& c : flat)
    if (c == '\n') c = ' ';
  EXPECT_EQ(std::string(back.c_str()), flat);
  for (size_t at = 0, nl; (nl = file.find('\n', at)) != std::string::npos; at = nl + 1) {
    EXPECT_EQ(file[nl - 1], '\r');  // every line ends in CR LF
  }
  EXPECT_TRUE(pc.optional_string("$Next:"));
}

TEST(Parse, WriterTexts) {
  vector v(1.0f, -2.5f, 0.25f);
  EXPECT_STREQ(parse_vector_text(v, 2).c_str(), "< 1.00, -2.50, 0.25 >");
  EXPECT_STREQ(parse_bool_text(true).c_str(), "true");
  char buf[256];
  EXPECT_EQ(parse_bool_text(false, buf), 5);
  EXPECT_STREQ(buf, "false");
  matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  parse_matrix_text(m, 1, buf, sizeof buf);
  EXPECT_STREQ(buf, "\n\t[ < 1.0, 0.0, 0.0 >\n\t  < 0.0, 1.0, 0.0 >\n\t  < 0.0, 0.0, 1.0 > ]");
  EXPECT_STREQ(parse_matrix_text(m, 1).c_str(), buf);
  // Read back through the parser.
  ParseContext pc;
  open_text(pc, buf);
  matrix back;
  pc.read_matrix(back);
  EXPECT_FLOAT_EQ(back.up.y, 1.0f);

  // Long numbers are written whole, so the text still reads back.
  vector far(-2.0e9f, -2.0e9f, -2.0e9f);
  matrix big(far, far, vector(-2.0e9f, 1, -2.0e9f));
  TextString text = parse_matrix_text(big, 30);
  ParseContext pb;
  open_text(pb, text.c_str());
  pb.read_matrix(back);
  EXPECT_FLOAT_EQ(back.right.z, -2.0e9f);
  EXPECT_FLOAT_EQ(back.up.x, -2.0e9f);
  EXPECT_FLOAT_EQ(back.forward.y, 1.0f);
  char small[16];
  EXPECT_EQ(parse_vector_text(v, 2, small, sizeof small), 15);  // cut to the buffer
  EXPECT_STREQ(small, "< 1.00, -2.50, ");
}

TEST(Parse, FilesThroughTheFileLayer) {
  namespace fs = std::filesystem;
  fs::path root = fs::temp_directory_path() / ("parse_test_" + std::to_string(getpid()));
  fs::create_directories(root);
  {
    std::ofstream(root / "Weapons.TBL", std::ios::binary) << "#Weapons\n$Name: \"Axe\"\n#End\n";
  }
  vfile_set_root(root.c_str(), false);
  {
    ParseContext pc;
    ASSERT_EQ(pc.open("weapons.tbl", 0), 0);
    pc.require_string("#Weapons");
    // A second file may be open beside the first.
    ParseContext inner;
    ASSERT_EQ(inner.open("weapons.tbl", 0), 0);
    EXPECT_EQ(inner.crc(), pc.crc());
    inner.close();
    ErrorParts e = split_error(fatal_text([&] { pc.require_string("#End"); }));
    EXPECT_EQ(e.line, 2);
    EXPECT_EQ(e.expected, "\"#End\"");
    pc.close();
    // Reopening works and starts at the top.
    ASSERT_EQ(pc.open("weapons.tbl", 0), 0);
    EXPECT_EQ(pc.line(), 1);
    EXPECT_TRUE(pc.check_string("#Weapons"));
  }
  ParseContext missing;
  EXPECT_LT(missing.open("nothing.tbl", 0), 0);
  EXPECT_EQ(fatal_text([] {
              ParseContext p;
              p.open_or_die("nothing.tbl", 0);
            }),
            "Unable to open parse file nothing.tbl");
  // Written multi-line text ends its lines in CR LF whether the file was
  // opened in text mode or not, and reads back line for line.
  std::string words;
  while (words.size() < 150) words += "some words ";
  for (unsigned mode : {VF_WRITE, VF_WRITE | VF_TEXT}) {
    FileHandle out;
    ASSERT_EQ(out.open("written.tbl", mode, 0), 0);
    const char* head = (mode & VF_TEXT) ? "$Text:\n" : "$Text:\r\n";
    out.write(head, static_cast<int>(strlen(head)));
    parse_write_text(words.c_str(), out);
    out.close();
    std::ifstream in(root / "written.tbl", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "$Text:\r\n" + parse_format_text(words.c_str())) << mode;
    EXPECT_EQ(bytes.find("\r\r"), std::string::npos) << mode;
    ParseContext w;
    ASSERT_EQ(w.open("written.tbl", 0), 0);
    w.require_string("$Text:");
    TextString back;
    w.read_text_joined(back, "$end text");
    EXPECT_EQ(w.line(), 5) << mode;  // three lines of text, then "$end text"
  }

  // Long file names are cut for messages, never overrun.
  std::string long_name(100, 'n');
  ParseContext named;
  named.open_memory(long_name.c_str(), "x", 1);
  EXPECT_EQ(strlen(named.filename()), size_t{PARSE_MAX_FILENAME_LEN});
  vfile_shutdown();
  fs::remove_all(root);
}

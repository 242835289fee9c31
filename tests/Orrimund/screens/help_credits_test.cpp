// The credits text's markers and wrapping, and the help pages' order.
#include "Orrimund/screens/help_credits.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Wraps every 10 characters, so that the test knows where lines break.
int wrap10(const char* line, bool, std::vector<std::string>* out) {
  const std::string s = line;
  if (s.empty()) out->emplace_back();
  for (size_t i = 0; i < s.size(); i += 10) out->push_back(s.substr(i, 10));
  return static_cast<int>(out->size());
}

TEST(Credits, MarkersSetTheFontAndTheLeftEdgeAndAreNotShown) {
  const auto lines = credits_parse("*Title\r\nCentred\r\n!Left\r\n@Run\r\nStill left\r\n-\r\nCentred again\r\n&More\r\n",
                                   wrap10);
  struct Want {
    const char* text;
    bool title, left;
  } want[] = {{"Title", true, false}, {"Centred", false, false}, {"Left", false, true},
              {"Run", false, true},   {"Still left", false, true}, {"-", false, false},
              {"Centred ag", false, false}, {"ain", false, false}, {"More", false, false}};
  ASSERT_EQ(lines.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < lines.size(); i++) {
    EXPECT_EQ(lines[i].text, want[i].text) << i;
    EXPECT_EQ(lines[i].title, want[i].title) << i;
    EXPECT_EQ(lines[i].left, want[i].left) << i;
  }
}

TEST(Credits, AnEmptyFileHasNoLinesAndALongLineKeepsSixteen) {
  EXPECT_TRUE(credits_parse("", wrap10).empty());
  EXPECT_TRUE(credits_parse(nullptr, wrap10).empty());
  // 400 characters wrap into 40 pieces; 16 stay. The text is larger than
  // the old fixed buffer, and nothing runs past anything.
  std::string big;
  for (int i = 0; i < 40; i++) big += std::string(400, static_cast<char>('a' + i % 26)) + "\n";
  const auto lines = credits_parse(big.c_str(), wrap10);
  EXPECT_EQ(lines.size(), 40u * 16u);
  EXPECT_EQ(lines[15].text, std::string(10, 'a'));
  EXPECT_EQ(lines[16].text, std::string(10, 'b'));
}

TEST(Help, FourPagesInTheirOrder) {
  EXPECT_STREQ(help_page_title(0), "Mouse Controls");
  EXPECT_STREQ(help_page_title(1), "Keyboard Controls");
  EXPECT_STREQ(help_page_title(2), "Keyboard Controls");
  EXPECT_STREQ(help_page_title(3), "Automap Controls");
  EXPECT_EQ(help_page_title(4), nullptr);
}

}  // namespace

// Text panels on a fake font of fixed-width glyphs (8 pixels, lines 10
// pixels high) and a recording renderer: wrapping at the panel's width, the
// ring of 64 entries, spacers, paging, the colours of quoted speech, the
// scroll speed and the links' hover rectangles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "levelscripts/text_panel.h"

namespace {

constexpr int GLYPH = 8, LINE = 10;

struct Drawn {
  int x, y;
  std::string text;
  int r, g, b;
};
std::vector<Drawn> Draws;
uint32_t Now = 1000;
int Mouse_x = -1, Mouse_y = -1;

// Breaks at spaces so that no line is wider than `width`.
int fake_wrap(const char* text, int width, const char** starts, int* lengths, int max) {
  const int per_line = width / GLYPH;
  int n = 0;
  const char* p = text;
  while (*p && n < max) {
    while (*p == ' ') p++;
    if (!*p) break;
    const char* line = p;
    const char* last_fit = nullptr;
    const char* q = p;
    while (*q) {
      const char* word_end = q;
      while (*word_end && *word_end != ' ') word_end++;
      if (word_end - line > per_line && last_fit) break;
      last_fit = word_end;
      q = word_end;
      if (*q == ' ') q++;
      if (word_end - line >= per_line) break;
    }
    starts[n] = line;
    lengths[n] = static_cast<int>(last_fit - line);
    n++;
    p = last_fit;
  }
  return n;
}

TextPanelFont fake_font() {
  TextPanelFont f;
  f.height = [] { return LINE; };
  f.wrap = fake_wrap;
  f.width = [](const char*, int length) { return length * GLYPH; };
  f.draw = [](int x, int y, const char* text, TextPanelColour c) { Draws.push_back({x, y, text, c.r, c.g, c.b}); };
  f.mouse = [](int* x, int* y) {
    *x = Mouse_x;
    *y = Mouse_y;
  };
  f.now_ms = [] { return Now; };
  return f;
}

class TextPanels : public ::testing::Test {
 protected:
  void SetUp() override {
    text_panel_set_font(fake_font());
    Draws.clear();
    Speaker_panel.set_geometry(100, 200, 64, 3);  // 8 glyphs wide, 30 pixels high
    Choice_panel.set_geometry(300, 200, 64, 3);
  }
  void TearDown() override {
    Speaker_panel.reset();
    Choice_panel.clear();
  }
};

TEST_F(TextPanels, EntriesWrapAtThePanelsWidth) {
  // 8 glyphs a line: "one two" (7), "three" (5), "four" (4).
  const TextPanelEntry* e = Speaker_panel.add("one two three four", TP_PLAIN, false, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->height, 3 * LINE);
  EXPECT_EQ(e->width, 64);
  Speaker_panel.draw();
  ASSERT_EQ(Draws.size(), 3u);
  EXPECT_EQ(Draws[0].text, "one two");
  EXPECT_EQ(Draws[1].text, "three");
  EXPECT_EQ(Draws[1].y, LINE);
  EXPECT_EQ(Draws[2].text, "four");
  EXPECT_EQ(Draws[2].r, 180);
  // A wider panel takes it on one line.
  Speaker_panel.set_geometry(0, 0, 200, 3);
  EXPECT_EQ(Speaker_panel.add("one two three four", TP_PLAIN, false, 0)->height, LINE);
}

TEST_F(TextPanels, PostsGetASpacerBetweenThemButNotFirst) {
  hud_text_post("first", TP_COPIED, 0);
  EXPECT_EQ(Speaker_panel.count, 1);
  hud_text_post("second", TP_COPIED, 0);
  ASSERT_EQ(Speaker_panel.count, 3);
  EXPECT_EQ(Speaker_panel.at_slot(1).text, nullptr);
  EXPECT_EQ(Speaker_panel.at_slot(2).offset, 2 * LINE);
  EXPECT_EQ(Speaker_panel.total_height, 3 * LINE);
  // Kind 1 keeps its own copy; the tag is kept only for kinds 0 and 2.
  char text[] = "mine";
  const TextPanelEntry* e = Speaker_panel.add(text, TP_COPIED, false, 7);
  std::strcpy(text, "gone");
  EXPECT_STREQ(e->text, "mine");
  EXPECT_EQ(e->tag, 0);
  EXPECT_EQ(Speaker_panel.add("line", TP_PLAIN, false, 7)->tag, 7);
}

TEST_F(TextPanels, AFullRingDropsItsOldestWithoutMovingTheRest) {
  for (int i = 0; i < TEXT_PANEL_ENTRIES; i++) Speaker_panel.add("a", i < 2 ? TP_COPIED : TP_PLAIN, false, 0);
  EXPECT_EQ(Speaker_panel.strings_in_use(), 2);
  const int scroll_before = Speaker_panel.target;
  Speaker_panel.add("b", TP_PLAIN, false, 0);
  EXPECT_EQ(Speaker_panel.count, TEXT_PANEL_ENTRIES);
  EXPECT_EQ(Speaker_panel.head, 1);
  EXPECT_EQ(Speaker_panel.target, scroll_before + LINE);
  EXPECT_FLOAT_EQ(Speaker_panel.scroll, static_cast<float>(scroll_before + LINE));
  EXPECT_EQ(Speaker_panel.strings_in_use(), 1);  // the dropped kind-1 text freed its slot
  EXPECT_FALSE(Speaker_panel.scrolling());
}

TEST_F(TextPanels, Kind1TextsWithoutSpacersRunOutOfSlots) {
  for (int i = 0; i < TEXT_PANEL_STRING_SLOTS; i++) ASSERT_NE(Speaker_panel.add("t", TP_COPIED, false, 0), nullptr);
  EXPECT_EQ(Speaker_panel.add("t", TP_COPIED, false, 0), nullptr);
  EXPECT_EQ(Speaker_panel.count, TEXT_PANEL_STRING_SLOTS);
  // Posts with spacers never do: a full ring frees its oldest text first.
  Speaker_panel.reset();
  for (int i = 0; i < 200; i++) ASSERT_NE(hud_text_post("posted", TP_COPIED, 0), nullptr) << i;
}

TEST_F(TextPanels, PagingStopsAtTheLastPageAndSkipsSpacers) {
  // Shorter than the view: stays at 0.
  Speaker_panel.add("short", TP_PLAIN, false, 0);
  Speaker_panel.page_down();
  EXPECT_EQ(Speaker_panel.target, 0);
  // Five one-line entries in a three-line view: the last page ends at the
  // bottom, two lines on.
  Speaker_panel.reset();
  for (int i = 0; i < 5; i++) Speaker_panel.add("line", TP_PLAIN, false, 0);
  Speaker_panel.page_down();
  EXPECT_EQ(Speaker_panel.target, -2 * LINE);
  // A page whose first line would be a spacer starts at the next entry.
  Speaker_panel.reset();
  for (int i = 0; i < 3; i++) Speaker_panel.add("line", TP_PLAIN, false, 0);
  Speaker_panel.add(nullptr, TP_PLAIN, false, 0);
  for (int i = 0; i < 4; i++) Speaker_panel.add("line", TP_PLAIN, false, 0);
  Speaker_panel.page_down();
  EXPECT_EQ(Speaker_panel.target, -4 * LINE);
}

TEST_F(TextPanels, QuotedSpeechIsDrawnInItsOwnColour) {
  Speaker_panel.set_geometry(0, 0, 400, 3);
  Speaker_panel.add("He said \"stop now\" twice", TP_SPEECH, false, 0);
  Speaker_panel.draw();
  ASSERT_EQ(Draws.size(), 3u);
  EXPECT_EQ(Draws[0].text, "He said ");
  EXPECT_EQ(Draws[0].g, 197);
  EXPECT_EQ(Draws[1].text, "\"stop now\"");
  EXPECT_EQ(Draws[1].x, 8 * GLYPH);
  EXPECT_EQ(Draws[1].b, 184);
  EXPECT_EQ(Draws[2].text, " twice");
  EXPECT_EQ(Draws[2].x, 18 * GLYPH);
  EXPECT_EQ(Draws[2].g, 197);
  // A quote opened on one line and closed on the next colours the start of
  // the next line as quoted.
  Draws.clear();
  Speaker_panel.set_geometry(0, 0, 64, 3);
  Speaker_panel.add("a \"bc de\" f", TP_SPEECH, false, 0);
  Speaker_panel.draw();
  ASSERT_GE(Draws.size(), 4u);
  EXPECT_EQ(Draws[1].text, "\"bc");
  EXPECT_EQ(Draws[2].text, "de\"");
  EXPECT_EQ(Draws[2].b, 184);
  EXPECT_EQ(Draws[3].text, " f");
  EXPECT_EQ(Draws[3].g, 197);
}

TEST_F(TextPanels, SeventyPixelsScrollInAbout490Ms) {
  for (int i = 0; i < 12; i++) Speaker_panel.add("line", TP_PLAIN, false, 0);
  Speaker_panel.target = -70;
  Speaker_panel.draw();  // the first step after a change moves nothing
  EXPECT_FLOAT_EQ(Speaker_panel.scroll, 0.0f);
  Now += 245;
  Speaker_panel.draw();
  EXPECT_NEAR(Speaker_panel.scroll, -35.0f, 0.01f);
  Now += 250;
  Speaker_panel.draw();
  EXPECT_FLOAT_EQ(Speaker_panel.scroll, -70.0f);
  EXPECT_FALSE(Speaker_panel.scrolling());
}

// The link lights up where it is drawn: on its own line, not at the
// panel's corner.
TEST_F(TextPanels, ALinkIsHoveredInsideItsOwnRectangle) {
  Choice_panel.add("first choice", TP_CHOICE, 1);
  const TextPanelEntry* more = Choice_panel.add(nullptr, TP_MORE, 0);
  ASSERT_EQ(more->offset, 2 * LINE);  // "first" and "choice" on two lines
  const int top = 200 + 2 * LINE;
  struct Case {
    int x, y;
    bool hovered;
  } cases[] = {{300, top, true}, {300 + 4 * GLYPH - 1, top + LINE - 1, true}, {300 + 4 * GLYPH, top, false},
               {300, top - 1, false}, {300, 200, false}};
  for (const Case& c : cases) EXPECT_EQ(Choice_panel.link_hovered(*more, c.x, c.y), c.hovered) << c.x << "," << c.y;
  Mouse_x = 301;
  Mouse_y = top + 1;
  Choice_panel.draw();
  EXPECT_EQ(Draws.back().text, "more");
  EXPECT_EQ(Draws.back().b, 158);
}

TEST_F(TextPanels, VisibilityAsTheConversationAsksIt) {
  for (int i = 0; i < 4; i++) Choice_panel.add("choice", TP_CHOICE, i + 1);
  EXPECT_TRUE(Choice_panel.entry_visible(Choice_panel.entry_slot(2)));
  EXPECT_FALSE(Choice_panel.entry_visible(Choice_panel.entry_slot(3)));  // below the view
  Choice_panel.scroll = -10.0f;
  EXPECT_FALSE(Choice_panel.entry_visible(Choice_panel.entry_slot(0)));  // above it
  EXPECT_EQ(Choice_panel.entry_top(Choice_panel.entry_slot(3)), 20);
  for (int i = 0; i < 4; i++) Speaker_panel.add("line", TP_PLAIN, false, 0);
  EXPECT_TRUE(Speaker_panel.entry_fits(Speaker_panel.entry_slot(2)));
  EXPECT_FALSE(Speaker_panel.entry_fits(Speaker_panel.entry_slot(3)));
  EXPECT_EQ(Speaker_panel.first_unscrolled(), 0);
  EXPECT_EQ(Speaker_panel.last_started(), Speaker_panel.entry_slot(2));
}

}  // namespace

// The message popup's question and answer, its layout at each resolution,
// and the HUD message lines' limits and fade.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/popup.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
std::vector<int> g_answers;
int answer(int b) {
  g_answers.push_back(b);
  return 0;
}

class Popup : public FrontTest {
 protected:
  const char* const labels[3] = {"Yes", "No", "Maybe"};
  void SetUp() override {
    FrontTest::SetUp();
    g_answers.clear();
  }
  void TearDown() override {
    popup_close();
    FrontTest::TearDown();
  }
  // A point on button i's label (labels are 8 pixels a character, 10 high).
  void over_button(int i) { move(popup_button_center_x(i), popup_button_row_y() + 5); }
};

TEST_F(Popup, ButtonsSitAtEqualSharesOfTheWidthAtEachResolution) {
  const struct {
    int w, h, pw, ph, text_top, row_off;
  } layouts[] = {{640, 480, 293, 165, 45, 101}, {800, 600, 366, 206, 56, 126}, {1024, 768, 469, 264, 72, 162}};
  for (const auto& l : layouts) {
    screen(l.w, l.h);
    for (int n = 1; n <= 3; n++) {
      MessagePopup("Title", "Text", -1, -1, n, labels, nullptr, 0);
      int x, y, w, h;
      popup_rect(&x, &y, &w, &h);
      EXPECT_EQ(w, l.pw);
      EXPECT_EQ(x, (l.w - l.pw) / 2);
      EXPECT_EQ(y, (l.h - l.ph) / 2);
      for (int i = 0; i < n; i++)
        EXPECT_EQ(popup_button_center_x(i), x + static_cast<int>(std::lround((i + 1.0) / (n + 1) * l.pw)))
            << l.w << " n=" << n << " i=" << i;
      EXPECT_EQ(popup_button_row_y(), y + l.text_top + l.row_off - 10);
      popup_close();
    }
  }
  // Kept on the screen; over-long texts cut to their buffers.
  screen(640, 480);
  const std::string long_title(40, 't'), long_text(300, 'x'), long_label(40, 'l');
  const char* const big[4] = {long_label.c_str(), "b", "c", "d"};
  MessagePopup(long_title.c_str(), long_text.c_str(), 600, 400, 7, big, nullptr, 0);
  int x, y, w, h;
  popup_rect(&x, &y, &w, &h);
  EXPECT_EQ(x, 640 - 293);
  EXPECT_EQ(y, 480 - 165);
  EXPECT_EQ(std::string(popup_title()).size(), 32u);
  EXPECT_EQ(std::string(popup_text()).size(), 255u);
}

TEST_F(Popup, PressAndReleaseOnAButtonAnswersTheCaller) {
  MessagePopup("New game", "Are you sure?", -1, -1, 2, labels, answer, 0);
  over_button(1);
  EXPECT_EQ(frame(KEY_ENTER), 0);  // every key is the popup's while it is open
  press();
  frame();
  EXPECT_TRUE(popup_is_open());
  release();
  frame();
  EXPECT_FALSE(popup_is_open());
  EXPECT_EQ(g_answers, (std::vector<int>{1}));
  EXPECT_TRUE(played(35));
}

TEST_F(Popup, MovingOffTheButtonBeforeReleasingAnswersNothing) {
  MessagePopup("New game", "Are you sure?", -1, -1, 2, labels, answer, 0);
  over_button(0);
  frame();
  press();
  frame();
  move(5, 5);
  frame();
  release();
  frame();
  EXPECT_TRUE(popup_is_open());
  EXPECT_TRUE(g_answers.empty());
  // Pressed off every button and released there: still open, still silent.
  press();
  frame();
  release();
  frame();
  EXPECT_TRUE(popup_is_open());
  EXPECT_TRUE(g_answers.empty());
  // Back on the button it answers.
  over_button(0);
  frame();
  press();
  frame();
  release();
  frame();
  EXPECT_EQ(g_answers, (std::vector<int>{0}));
}

TEST_F(Popup, EscapeClosesWithoutAnAnswerUnlessForbidden) {
  MessagePopup("t", "x", -1, -1, 1, labels, answer, POPUP_NO_ESCAPE);
  frame(KEY_ESC);
  EXPECT_TRUE(popup_is_open());
  popup_close();
  MessagePopup("t", "x", -1, -1, 1, labels, answer, 0);
  frame(KEY_ESC);
  EXPECT_FALSE(popup_is_open());
  EXPECT_EQ(popup_last_result(), POPUP_ESCAPED);
  EXPECT_TRUE(g_answers.empty());
  // A popup without buttons that forbade Escape could never close: Escape
  // still works for it.
  MessagePopup("t", "x", -1, -1, 0, nullptr, answer, POPUP_NO_ESCAPE);
  frame(KEY_ESC);
  EXPECT_FALSE(popup_is_open());
}

TEST_F(Popup, APausingPopupHoldsTheGameUntilItCloses) {
  MessagePopup("t", "x", -1, -1, 1, labels, answer, POPUP_PAUSES);
  EXPECT_TRUE(in_ui_mode());
  const int before = timer_game_clock;
  over_button(0);
  frame();
  press();
  frame();
  release();
  frame();
  EXPECT_FALSE(in_ui_mode());
  (void)before;
  // Opened over a game already paused, it leaves the pause to its owner.
  enter_ui_mode(0, 0);
  MessagePopup("t", "x", -1, -1, 1, labels, answer, POPUP_PAUSES);
  frame(KEY_ESC);
  EXPECT_FALSE(popup_is_open());
  EXPECT_TRUE(in_ui_mode());
  leave_ui_mode();
  // In a networked game nothing pauses.
  GameFlags = GF_NETWORKED;
  MessagePopup("t", "x", -1, -1, 1, labels, answer, POPUP_PAUSES);
  EXPECT_FALSE(in_ui_mode());
  GameFlags = GF_SINGLE_PLAYER;
}

TEST_F(Popup, LongTextsBreakIntoAtMostSixteenCentredLines) {
  std::string text;
  for (int i = 0; i < 40; i++) text += "word ";
  MessagePopup("t", text.c_str(), -1, -1, 0, nullptr, nullptr, 0);
  rec.reset();
  popup_render();
  // Each text line starts at one y; the text lines are 35 characters (280
  // pixels) wide at most, centred on the popup.
  int x, y, w, h;
  popup_rect(&x, &y, &w, &h);
  int lines = 0;
  int last_y = -1;
  for (const BitmapCall& b : rec.bitmaps) {
    if (b.y >= y + 45 && b.y != last_y && b.y < y + 45 + 16 * 10) lines++, last_y = b.y;
  }
  EXPECT_EQ(lines, 6);  // 200 characters, 35 to a line
}

// ---- HUD message lines --------------------------------------------------------------------

using MessageLine = FrontTest;

TEST_F(MessageLine, SixtyThreeCharactersShowSixtyFourAreRefused) {
  const std::string ok(63, 'a'), too_long(64, 'b');
  EXPECT_EQ(hud_message(ok.c_str()), 1);
  EXPECT_EQ(hud_message(too_long.c_str()), 0);
  EXPECT_EQ(std::string(hud_message_text()), ok);  // the old text stays
  EXPECT_EQ(hud_message(""), 1);                   // only the terminator: 1 byte, allowed
  EXPECT_EQ(hud_message(nullptr), 0);
}

TEST_F(MessageLine, FadesLinearlyOverFourSecondsOfGameTime) {
  hud_message("Counterattack!");
  const struct {
    int ms;
    float fade;
  } at[] = {{0, 1.0f}, {1000, 0.75f}, {2000, 0.5f}, {4000, 0.0f}};
  const int start = timer_game_clock;
  for (const auto& a : at) {
    timer_game_clock = start + a.ms;
    EXPECT_NEAR(hud_message_fade(), a.fade, 1e-4) << a.ms;
  }
  // The band's alpha is 196 times the fade: at 2 s, 98.
  timer_game_clock = start + 2000;
  rec.reset();
  hud_message_render();
  ASSERT_EQ(rec.rects.size(), 1u);
  EXPECT_EQ(rec.rects[0].y, 10);
  EXPECT_EQ(rec.rects[0].w, 640);
  EXPECT_EQ(rec.rects[0].color, Color(0, 0, 0, 98));
  // While the game clock is held the line holds too; once its time is over
  // the next input frame clears it.
  timer_game_clock = start + 4001;
  timer_real_clock += 5000;
  screen_process_input(0);
  EXPECT_FALSE(hud_message_active());
}

TEST_F(MessageLine, SecondLineTakesFifteenCharacters) {
  hud_message2("fifteen chars!!");
  rec.reset();
  hud_message2_render();
  EXPECT_FALSE(rec.bitmaps.empty());
  EXPECT_EQ(rec.bitmaps.front().x, 143);
  EXPECT_EQ(rec.bitmaps.front().y, 163);
  hud_messages_clear();
  hud_message2("sixteen chars!!!");
  rec.reset();
  hud_message2_render();
  EXPECT_TRUE(rec.bitmaps.empty());
}

// ---- tooltip ---------------------------------------------------------------------------------

using Tooltip = FrontTest;

TEST_F(Tooltip, ShowsAfterTheMouseRestsAndHidesWhenItLeavesTheAnchor) {
  move(200, 200);
  frame();
  tooltip_hide();  // re-armed: 600 ms from now
  frame(0, 300);
  EXPECT_FALSE(tooltip_ready());
  frame(0, 301);
  EXPECT_TRUE(tooltip_ready());
  tooltip_show(190, 190, 20, 20, "Inventory");
  EXPECT_TRUE(tooltip_shown());
  EXPECT_FALSE(tooltip_ready());
  move(205, 205);  // still on the anchor
  frame();
  EXPECT_TRUE(tooltip_shown());
  move(300, 300);
  frame();
  EXPECT_FALSE(tooltip_shown());
  EXPECT_EQ(tooltip_show(0, 0, 1, 1, std::string(64, 'x').c_str()), 0);
  EXPECT_FALSE(tooltip_shown());
}
}  // namespace

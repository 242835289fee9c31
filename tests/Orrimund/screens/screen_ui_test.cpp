// The shared drawing helpers, the choice list and the loading bar, checked
// against the numbers of their layouts.
#include <gtest/gtest.h>

#include <cmath>

#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/screen_ui.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
using UiHelpers = FrontTest;

TEST(PointInRect, LeftAndTopEdgesAreInsideRightAndBottomAreNot) {
  const struct {
    int x, y;
    bool inside;
  } cases[] = {{10, 20, true}, {39, 69, true}, {40, 20, false}, {10, 70, false}, {9, 20, false}, {10, 19, false}};
  for (const auto& c : cases) EXPECT_EQ(point_in_rect(c.x, c.y, 10, 20, 30, 50), c.inside) << c.x << "," << c.y;
  EXPECT_FALSE(point_in_rect(0, 0, 0, 0, 0, 0));  // an empty rectangle holds nothing
}

TEST_F(UiHelpers, BitmapsGrowByAQuarterAt800x600Only) {
  art("hundred640.tga", 100, 40);
  const struct {
    int w, h, drawn_w, drawn_h;
  } cases[] = {{640, 480, 100, 40}, {800, 600, 125, 50}, {1024, 768, 100, 40}};
  for (const auto& c : cases) {
    screen(c.w, c.h);
    const int bm = bm_load("hundred640.tga");
    ui_draw_bitmap_scaled(bm, 7, 9);
    ASSERT_EQ(rec.bitmaps.size(), 1u);
    EXPECT_EQ(rec.bitmaps[0].w, c.drawn_w) << c.w;
    EXPECT_EQ(rec.bitmaps[0].h, c.drawn_h) << c.w;
    EXPECT_EQ(rec.bitmaps[0].x, 7);
    ui_draw_bitmap_scaled(-1, 0, 0);  // no bitmap: nothing drawn
    EXPECT_EQ(rec.bitmaps.size(), 1u);
  }
}

TEST_F(UiHelpers, PanelBoxIsShadowThreeBevelsAndInside) {
  ui_draw_panel_box(100, 50, 60, 40);
  ASSERT_EQ(rec.rects.size(), 5u);
  EXPECT_EQ(rec.rects[0].x, 108);
  EXPECT_EQ(rec.rects[0].y, 55);
  // Bevel i: (x + i, y + 2 - i, w - 2i, h - 2(2 - i)).
  for (int i = 0; i <= 2; i++) {
    EXPECT_EQ(rec.rects[1 + i].x, 100 + i);
    EXPECT_EQ(rec.rects[1 + i].y, 52 - i);
    EXPECT_EQ(rec.rects[1 + i].w, 60 - 2 * i);
    EXPECT_EQ(rec.rects[1 + i].h, 40 - 2 * (2 - i));
  }
  EXPECT_EQ(rec.rects[4].x, 102);
  EXPECT_EQ(rec.rects[4].w, 56);
  EXPECT_EQ(rec.rects[4].h, 36);
}

TEST_F(UiHelpers, PulsesFollowTheUiClock) {
  Ui_clock = 0.5f;  // slow: (sin(pi/2) + 1) / 2 = 1; fast: (sin(3pi/2) + 1) / 2 = 0
  EXPECT_NEAR(ui_pulse_slow(), 1.0f, 1e-5);
  EXPECT_NEAR(ui_pulse_fast(), 0.0f, 1e-5);
  float r = 0.8f, g = 0.5f, b = 0.1f;
  ui_pulse_color_slow(&r, &g, &b, 0.25f);  // times 1.25, clamped
  EXPECT_FLOAT_EQ(r, 1.0f);
  EXPECT_FLOAT_EQ(g, 0.625f);
  EXPECT_FLOAT_EQ(b, 0.125f);
}

TEST_F(UiHelpers, LoadingBarFillsStepByStepAndNeverPastItsWidth) {
  const struct {
    int w, h, bar_x, bar_y, bar_w, bar_h, box_x, box_y;
  } screens[] = {{640, 480, 160, 248, 320, 28, 145, 190},
                 {800, 600, 200, 310, 400, 35, 181, 238},
                 {1024, 768, 256, 397, 512, 45, 232, 304}};
  for (const auto& s : screens) {
    screen(s.w, s.h);
    loading_screen_begin(3);
    EXPECT_EQ(loading_bar_fill_width(), 0);
    for (int step = 1; step <= 5; step++) {
      rec.reset();
      loading_bar_step();
      const int expected = static_cast<int>(std::lround(s.bar_w * std::min(step / 3.0, 1.0)));
      EXPECT_EQ(loading_bar_fill_width(), expected) << s.w << " step " << step;
      ASSERT_EQ(rec.rects.size(), 1u);
      EXPECT_EQ(rec.rects[0].x, s.bar_x);
      EXPECT_EQ(rec.rects[0].y, s.bar_y);
      EXPECT_EQ(rec.rects[0].w, expected);
      EXPECT_EQ(rec.rects[0].h, s.bar_h);
      EXPECT_EQ(rec.rects[0].color, Color(36, 121, 28, 255));
      ASSERT_FALSE(rec.bitmaps.empty());
      EXPECT_EQ(rec.bitmaps.back().x, s.box_x);
      EXPECT_EQ(rec.bitmaps.back().y, s.box_y);
    }
    loading_screen_end();
  }
  // Nothing to load is a full bar, not a division by zero.
  loading_screen_begin(0);
  EXPECT_EQ(loading_bar_fill_width(), 512);
  loading_screen_end();
}

TEST_F(UiHelpers, VersionLabelSitsRightAlignedAboveTheBottom) {
  rec.reset();
  ui_draw_version();
  // "v1.01": 5 characters of 8 pixels, 10 from the right, one font height
  // plus 5 above the bottom.
  ASSERT_FALSE(rec.bitmaps.empty());
  EXPECT_EQ(rec.bitmaps.front().x, 640 - 10 - 40);
  EXPECT_EQ(rec.bitmaps.front().y, 480 - 15);
}

TEST_F(UiHelpers, PartyStepSkipsMembersThatCannotActAndWraps) {
  party.selected = 2;
  EXPECT_TRUE(party_select_next(false));  // 3 cannot act: on to 0
  EXPECT_EQ(party.selected, 0);
  EXPECT_TRUE(party_select_next(true));  // backwards from 0: 3 skipped, 2
  EXPECT_EQ(party.selected, 2);
  for (FrontPartyMember& m : party.members) m.can_act = false;
  party.members[2].can_act = true;
  EXPECT_FALSE(party_select_next(false));  // only itself
}

// ---- choice list ---------------------------------------------------------------------

class ChoiceList : public FrontTest {
 protected:
  const char* items[4] = {"Heal", "Bash", "Sneak", "Steal"};
  int x = 0, y = 0, w = 0, h = 0;
  void open(uint32_t flags, const int* words = nullptr, const uint8_t* enabled = nullptr) {
    choice_list_open("Skills", 100, 100, 4, items, flags, words, enabled);
    choice_list_rect(&x, &y, &w, &h);
  }
  // Centre of item i: rows of one font height (10) below the title.
  int item_y(int i) const { return y + 3 + 10 + 10 * i + 5; }
  int input(int key = 0) {
    timer_real_clock += 10;
    Screen_mouse.dx = Screen_mouse.dy = 0;
    return choice_list_input(key);
  }
};

TEST_F(ChoiceList, SizeComesFromTheWidestTextAndThePadding) {
  open(0);
  EXPECT_EQ(w, 6 * 8 + 10);      // "Skills" and "Sneak"/"Steal" are widest at 6 and 5 characters
  EXPECT_EQ(h, 10 * 5 + 6);      // title and four items
  const char* many[20];
  for (const char*& m : many) m = "x";
  choice_list_open(nullptr, -1, -1, 20, many, 0, nullptr, nullptr);
  choice_list_rect(&x, &y, &w, &h);
  EXPECT_EQ(h, 16 * 10 + 6);     // at most 16 items, no title row
  EXPECT_EQ(x, (640 - w) / 2);   // below 0 centres
  choice_list_open("t", 10, 10, 0, many, 0, nullptr, nullptr);  // nothing to list: unchanged
  int x2, y2, w2, h2;
  choice_list_rect(&x2, &y2, &w2, &h2);
  EXPECT_EQ(h2, h);
  choice_list_open("t", 630, 470, 2, many, 0, nullptr, nullptr);  // kept on the screen
  choice_list_rect(&x, &y, &w, &h);
  EXPECT_EQ(x, 640 - w);
  EXPECT_EQ(y, 480 - h);
}

TEST_F(ChoiceList, PressAndReleaseOnAnItemChoosesIt) {
  open(0);
  Screen_mouse.x = x + 10, Screen_mouse.y = item_y(2);
  EXPECT_EQ(input(), CHOICE_NONE);
  Screen_mouse.left_pressed = Screen_mouse.left_down = true;
  EXPECT_EQ(input(), CHOICE_NONE);
  Screen_mouse.left_pressed = false;
  EXPECT_EQ(input(), CHOICE_NONE);  // still held
  Screen_mouse.left_down = false;
  EXPECT_EQ(input(), 2);
  EXPECT_TRUE(played(35));
  EXPECT_FALSE(choice_list_is_open());
  EXPECT_EQ(input(), CHOICE_CLOSED);
}

TEST_F(ChoiceList, DisabledItemsCannotBeChosenOnlyLeft) {
  const uint8_t none[4] = {0, 0, 0, 0};
  open(0, nullptr, none);
  Screen_mouse.x = x + 10, Screen_mouse.y = item_y(1);
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = true;
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = false;
  EXPECT_EQ(input(), CHOICE_NONE);  // released inside the list: back to idle
  EXPECT_TRUE(choice_list_is_open());
  EXPECT_EQ(input(KEY_ESC), CHOICE_CLOSED);
  // A click outside closes it as well, with the refusal sound.
  open(0, nullptr, none);
  Screen_mouse.x = x + 10, Screen_mouse.y = item_y(1);
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = true;
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = false;
  Screen_mouse.x = 5, Screen_mouse.y = 5;
  EXPECT_EQ(input(), CHOICE_CLOSED);
  EXPECT_TRUE(played(36));
}

TEST_F(ChoiceList, DraggingAnItemHandsItsWordToTheHudButAPressOnNothingDragsNothing) {
  const int words[4] = {(7 << 2) | 2, 9 << 2, 0, 0};
  open(CHOICE_DRAG_TO_HUD, words);
  // A press that starts between rows (on the title) and moves off.
  Screen_mouse.x = x + 10, Screen_mouse.y = y + 5;
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = true;
  input();
  Screen_mouse.left_pressed = false;
  Screen_mouse.x = 5, Screen_mouse.y = 5;
  input();
  EXPECT_FALSE(hud_dragging());
  Screen_mouse.left_down = false;
  input();
  // A press on item 0 that leaves it starts the drag.
  open(CHOICE_DRAG_TO_HUD, words);
  Screen_mouse.x = x + 10, Screen_mouse.y = item_y(0);
  input();
  Screen_mouse.left_pressed = Screen_mouse.left_down = true;
  input();
  Screen_mouse.left_pressed = false;
  Screen_mouse.x = 5, Screen_mouse.y = 5;
  input();
  EXPECT_TRUE(hud_dragging());
  hud_drag_cancel();
}
}  // namespace

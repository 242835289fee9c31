// The screen manager with fake screens: which screen gets the keys and the
// mouse, in what order things are opened, closed and drawn, and the button
// records built from the resource rows at each resolution.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "quarn/os/key.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
std::vector<std::string> g_log;

// A fake screen logging its operations; its input consumes key 99 only.
template <int Id>
ScreenOps fake_ops() {
  ScreenOps o;
  o.open = [](void* arg, bool not_main) {
    g_log.push_back("open " + std::to_string(Id) + (arg ? " arg" : "") + (not_main ? "" : " from-main"));
  };
  o.close = [] { g_log.push_back("close " + std::to_string(Id)); };
  o.input = [](int key) {
    g_log.push_back("input " + std::to_string(Id) + " " + std::to_string(key));
    return key == 99 ? 0 : key;
  };
  o.render = [] { g_log.push_back("render " + std::to_string(Id)); };
  o.hit_test = [](int x, int) { return x < 100; };
  return o;
}

class ScreenManager : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    screen_register(SCREEN_STATUS, fake_ops<2>());       // modal
    screen_register(SCREEN_AUTOMAP, fake_ops<3>());      // not modal
    screen_register(SCREEN_CONTAINER, fake_ops<4>());    // not modal, needs its container
    screen_register(SCREEN_JOURNAL, fake_ops<10>());     // modal, shows a character
    g_log.clear();
  }
  void TearDown() override {
    for (int id : {2, 3, 4, 10}) screen_register(id, ScreenOps{});
    FrontTest::TearDown();
  }
};

TEST_F(ScreenManager, ModalScreensKeepTheKeysFromTheHud) {
  ASSERT_TRUE(set_screen(SCREEN_STATUS));
  EXPECT_TRUE(screen_is_modal());
  g_log.clear();
  // Escape reaches the status screen, and the HUD (which would open the game
  // menu) never sees it.
  EXPECT_EQ(frame(KEY_ESC), KEY_ESC);
  EXPECT_EQ(g_log, (std::vector<std::string>{"input 2 1"}));
  EXPECT_EQ(screen_get_current(), SCREEN_STATUS);
  EXPECT_TRUE(screen_mouse_over());  // the whole screen
}

TEST_F(ScreenManager, APanelScreenPassesItsLeftoverKeysToTheHud) {
  ASSERT_TRUE(set_screen(SCREEN_AUTOMAP));
  g_log.clear();
  EXPECT_EQ(frame(99), 0);  // the screen's own key
  EXPECT_EQ(frame(KEY_ESC), 0);  // the HUD's: the game menu
  EXPECT_EQ(screen_get_current(), SCREEN_GAME_MENU);
  EXPECT_EQ(g_log, (std::vector<std::string>{"input 3 99", "input 3 1", "close 3"}));
  // Over its own panel the mouse belongs to the front end, elsewhere not.
  set_screen(SCREEN_AUTOMAP);
  move(50, 100);
  frame();
  EXPECT_TRUE(screen_mouse_over());
  move(300, 100);
  frame();
  EXPECT_FALSE(screen_mouse_over());
  move(20, 440);  // the HUD's menu button
  frame();
  EXPECT_TRUE(screen_mouse_over());
}

TEST_F(ScreenManager, AScreenThatNeedsItsArgumentRefusesToOpenWithout) {
  set_screen(SCREEN_AUTOMAP);
  g_log.clear();
  EXPECT_FALSE(set_screen(SCREEN_CONTAINER, nullptr));
  EXPECT_EQ(screen_get_current(), SCREEN_AUTOMAP);
  EXPECT_TRUE(g_log.empty());  // the automap was not closed either
  int container = 5;
  EXPECT_TRUE(set_screen(SCREEN_CONTAINER, &container));
  EXPECT_EQ(g_log, (std::vector<std::string>{"close 3", "open 4 arg"}));
  EXPECT_FALSE(set_screen(24));
  EXPECT_FALSE(set_screen(-1));
  EXPECT_FALSE(set_screen(SCREEN_LOBBY_CHAT));  // not in this build: no way out of it
  EXPECT_EQ(screen_get_current(), SCREEN_CONTAINER);
}

TEST_F(ScreenManager, WithNobodyToShowTheHudOpensAndTheOldScreenClosesOnce) {
  set_screen(SCREEN_AUTOMAP);
  party.members.clear();
  party.selected = -1;
  g_log.clear();
  EXPECT_TRUE(set_screen(SCREEN_JOURNAL));
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  EXPECT_EQ(g_log, (std::vector<std::string>{"close 3"}));
  // With the selected hero gone the first member that can act is shown.
  four_heroes();
  party.selected = -1;
  party.members[0].can_act = false;
  EXPECT_TRUE(set_screen(SCREEN_JOURNAL));
  EXPECT_EQ(screen_get_character(), 1);
}

TEST_F(ScreenManager, TheScreenCharacterStepsOverMembersThatCannotAct) {
  set_screen(SCREEN_STATUS);
  EXPECT_EQ(screen_get_character(), 0);
  screen_next_character();
  EXPECT_EQ(screen_get_character(), 1);
  screen_next_character();
  screen_next_character();  // 3 cannot act: round to 0
  EXPECT_EQ(screen_get_character(), 0);
  screen_prev_character();  // backwards past 3
  EXPECT_EQ(screen_get_character(), 2);
}

TEST_F(ScreenManager, ClosingAModalScreenToTheHudForgetsTheClick) {
  set_screen(SCREEN_STATUS);
  move(300, 200);
  press();
  frame();
  EXPECT_TRUE(Screen_mouse.left_down);
  set_screen(SCREEN_HUD);
  EXPECT_FALSE(Screen_mouse.left_down);
  EXPECT_FALSE(Screen_mouse.left_pressed);
}

TEST_F(ScreenManager, TheMainMenuTellsTheNextScreenWhereItCameFrom) {
  set_screen(SCREEN_MAIN_MENU);
  g_log.clear();
  set_screen(SCREEN_STATUS);
  set_screen(SCREEN_JOURNAL);
  EXPECT_EQ(g_log, (std::vector<std::string>{"open 2 from-main", "close 2", "open 10"}));
}

TEST_F(ScreenManager, CutscenesLetOnlyASkipThroughAndDrawNothing) {
  set_screen(SCREEN_AUTOMAP);
  game_flags_set(GF_CUTSCENE);
  g_log.clear();
  EXPECT_EQ(frame(KEY_ESC), KEY_ESC);  // no skippable cutscene: handed back
  EXPECT_EQ(frame(99), 99);
  screen_render();
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(screen_get_current(), SCREEN_AUTOMAP);
  game_flags_clear(GF_CUTSCENE);
}

TEST_F(ScreenManager, DrawingOrderIsHudScreenPopupThenMessages) {
  // A popup closes a side panel such as the automap, but not the container.
  set_screen(SCREEN_AUTOMAP);
  const char* const ok[] = {"OK"};
  MessagePopup("t", "x", -1, -1, 1, ok, nullptr, 0);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  int container = 1;
  set_screen(SCREEN_CONTAINER, &container);
  MessagePopup("t", "x", -1, -1, 1, ok, nullptr, 0);
  EXPECT_EQ(screen_get_current(), SCREEN_CONTAINER);
  hud_message("Stole 5 gold!");
  rec.reset();
  g_log.clear();
  screen_render();
  // The HUD bar is the first bitmap, before the screen's own drawing; the
  // message band is the last rectangle.
  ASSERT_FALSE(rec.bitmaps.empty());
  EXPECT_EQ(rec.bitmaps.front().y, 416);
  EXPECT_EQ(g_log, (std::vector<std::string>{"render 4"}));
  ASSERT_FALSE(rec.rects.empty());
  EXPECT_EQ(rec.rects.back().y, 10);
  popup_close();
  // show_ui hides the HUD and the HUD no longer takes the mouse.
  Hud_hidden = true;
  rec.reset();
  screen_render();
  for (const BitmapCall& b : rec.bitmaps) EXPECT_NE(b.y, 416);
  move(160, 440);  // a portrait
  frame();
  EXPECT_FALSE(screen_mouse_over());
  Hud_hidden = false;
  EXPECT_TRUE(screen_mouse_over());
}

TEST_F(ScreenManager, ViewRectLeavesTheHudBarOutExceptOverModalScreens) {
  int x, y, w, h;
  screen_set_view_rect();
  gr_get_clip(&x, &y, &w, &h);
  EXPECT_EQ(h, 480 - 64);
  set_screen(SCREEN_STATUS);
  screen_set_view_rect();
  gr_get_clip(&x, &y, &w, &h);
  EXPECT_EQ(h, 480);
  game_flags_set(GF_CUTSCENE);  // a 2:1 letterbox
  screen_set_view_rect();
  gr_get_clip(&x, &y, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 320);
  EXPECT_EQ(y, 80);
  game_flags_clear(GF_CUTSCENE);
  gr_reset_clip();
}

// Button records: names without '.' take the art suffix and the UI scale.
TEST_F(ScreenManager, ButtonsTakeTheirSizeFromTheArtAtEachResolution) {
  art("Plate640.tga", 100, 20);
  art("Plate1024.tga", 160, 32);
  art("fixed.tga", 30, 10);
  ScreenResource rows[3] = {{"Plate", {10, 20, 30}, {40, 50, 60}, 0},
                            {"fixed.tga", {1, 2, 3}, {4, 5, 6}, 1},
                            {"missing", {7, 8, 9}, {7, 8, 9}, 1}};
  const struct {
    int w, h, r, plate_w, plate_h;
  } cases[] = {{640, 480, 0, 100, 20}, {800, 600, 1, 125, 25}, {1024, 768, 2, 160, 32}};
  for (const auto& c : cases) {
    screen(c.w, c.h);
    ScreenButton b[3];
    screen_buttons_build(rows, 3, b);
    EXPECT_EQ(b[0].x, rows[0].x[c.r]);
    EXPECT_EQ(b[0].y, rows[0].y[c.r]);
    EXPECT_EQ(b[0].w, c.plate_w) << c.w;
    EXPECT_EQ(b[0].h, c.plate_h) << c.w;
    EXPECT_EQ(b[0].flags, SB_DRAWN);  // row 0 is the background
    EXPECT_EQ(b[1].w, 30) << c.w;     // named with its extension: as it is
    EXPECT_EQ(b[1].flags, 0);
    EXPECT_EQ(b[2].bitmap, -1);       // missing: never drawn nor hit
    EXPECT_EQ(b[2].w, 0);
    EXPECT_FALSE(screen_button_hit(b[2], 8, 7));
  }
}
}  // namespace

// The title's main menu, the end splash and the game menu, driven by mouse
// and keys as a player does.
#include <gtest/gtest.h>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/menus.h"
#include "Orrimund/screens/popup.h"
#include "quarn/os/key.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
class Menus : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    game_state_reset();
  }
  void TearDown() override {
    popup_close();
    set_screen(SCREEN_HUD);
    game_state_reset();
    FrontTest::TearDown();
  }
  void answer(int i) {
    ASSERT_TRUE(popup_is_open());
    click(popup_button_center_x(i), popup_button_row_y() + 5);
  }
};

TEST_F(Menus, MainMenuItemsSitWhereTheirRowsPlaceThem) {
  const struct {
    int w, h;
    double scale;
  } cases[] = {{640, 480, 1.0}, {800, 600, 1.25}, {1024, 768, 1.0}};
  const int xs[] = {371, 371, 421, 441}, ys[] = {211, 264, 317, 370};
  for (const auto& c : cases) {
    screen(c.w, c.h);
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(Main_menu_buttons[1 + 2 * i].x, static_cast<int>(xs[i] * c.scale + 0.5)) << c.w;
      EXPECT_EQ(Main_menu_buttons[1 + 2 * i].y, static_cast<int>(ys[i] * c.scale + 0.5)) << c.w;
    }
  }
}

TEST_F(Menus, HoveringStartLightsItAndAClickStartsTheNewGame) {
  set_screen(SCREEN_MAIN_MENU);
  move(380, 220);
  frame();
  EXPECT_TRUE(Main_menu_buttons[1].flags & SB_HIGHLIGHT);
  EXPECT_FALSE(Main_menu_buttons[3].flags & SB_HIGHLIGHT);
  rec.reset();
  screen_render();
  ASSERT_EQ(rec.bitmaps.size(), 2u);  // the background and the lit Start
  EXPECT_EQ(rec.bitmaps[1].x, 371);
  // Pressed and released elsewhere: nothing.
  press();
  frame();
  move(100, 100);
  frame();
  release();
  frame();
  EXPECT_TRUE(party.started.empty());
  click(380, 220);
  ASSERT_EQ(party.started.size(), 1u);
  EXPECT_EQ(party.started[0], "rand-forest01");
  EXPECT_TRUE(played(35));
  frame(49);  // N: a new game as well
  EXPECT_EQ(party.started.size(), 2u);
}

TEST_F(Menus, EscapeOnTheTitleShowsTheSplashWhichQuitsOnAKeyOrAfterTenSeconds) {
  set_screen(SCREEN_MAIN_MENU);
  EXPECT_EQ(frame(KEY_ESC), 0);
  EXPECT_EQ(screen_get_current(), SCREEN_END_SPLASH);
  EXPECT_FALSE(game_state_pending());  // never at once
  frame();
  EXPECT_FALSE(game_state_pending());
  frame(KEY_SPACEBAR);
  EXPECT_EQ(game_state_requested(), GS_QUIT);
  // Left alone, after 10 s.
  game_state_reset();
  set_screen(SCREEN_MAIN_MENU);
  frame(16);  // Q
  EXPECT_EQ(screen_get_current(), SCREEN_END_SPLASH);
  frame(0, 9000);
  EXPECT_FALSE(game_state_pending());
  frame(0, 1001);
  EXPECT_EQ(game_state_requested(), GS_QUIT);
  // Quit by the mouse plays the closing sound.
  game_state_reset();
  set_screen(SCREEN_MAIN_MENU);
  sounds.clear();
  click(450, 380);
  EXPECT_EQ(screen_get_current(), SCREEN_END_SPLASH);
  EXPECT_TRUE(played(36));
  rec.reset();
  screen_render();
  ASSERT_EQ(rec.bitmaps.size(), 1u);
  EXPECT_EQ(rec.bitmaps[0].w, 640);
}

TEST_F(Menus, GameMenuPausesOnlyWhatItPausedItself) {
  set_screen(SCREEN_GAME_MENU);
  EXPECT_TRUE(in_ui_mode());
  set_screen(SCREEN_HUD);
  EXPECT_FALSE(in_ui_mode());
  enter_ui_mode(0, 0);  // already paused
  set_screen(SCREEN_GAME_MENU);
  set_screen(SCREEN_HUD);
  EXPECT_TRUE(in_ui_mode());
  leave_ui_mode();
}

TEST_F(Menus, GameMenuRowsByResolutionAndHiddenInANetworkedGame) {
  const struct {
    int w, h, r;
  } cases[] = {{640, 480, 0}, {800, 600, 1}, {1024, 768, 2}};
  const int bkg[3][2] = {{240, 136}, {300, 170}, {384, 218}};
  const int quit[3][2] = {{280, 289}, {350, 361}, {444, 464}};
  for (const auto& c : cases) {
    screen(c.w, c.h);
    EXPECT_EQ(Game_menu_buttons[0].x, bkg[c.r][0]);
    EXPECT_EQ(Game_menu_buttons[0].y, bkg[c.r][1]);
    EXPECT_EQ(Game_menu_buttons[6].x, quit[c.r][0]);
    EXPECT_EQ(Game_menu_buttons[6].y, quit[c.r][1]);
  }
  GameFlags = GF_NETWORKED;
  set_screen(SCREEN_GAME_MENU);
  EXPECT_FALSE(in_ui_mode());  // the world runs on under a networked game's menu
  for (int r = 2; r <= 4; r++) EXPECT_TRUE(Game_menu_buttons[r].flags & SB_HIDDEN);
  EXPECT_FALSE(Game_menu_buttons[5].flags & SB_HIDDEN);
  // Hovering where Save would be lights nothing.
  move(Game_menu_buttons[3].x + 2, Game_menu_buttons[3].y + 2);
  frame();
  EXPECT_FALSE(Game_menu_buttons[3].flags & SB_HIGHLIGHT);
  set_screen(SCREEN_HUD);
  GameFlags = GF_SINGLE_PLAYER;
  set_screen(SCREEN_GAME_MENU);
  for (int r = 2; r <= 4; r++) EXPECT_FALSE(Game_menu_buttons[r].flags & SB_HIDDEN);
  // Hovering New lights "Game" with it.
  move(Game_menu_buttons[2].x + 2, Game_menu_buttons[2].y + 2);
  frame();
  EXPECT_TRUE(Game_menu_buttons[2].flags & SB_HIGHLIGHT);
  EXPECT_TRUE(Game_menu_buttons[1].flags & SB_HIGHLIGHT);
}

TEST_F(Menus, SavingInCombatWarnsAndLeavesTheMenuOpen) {
  party.save_code = SAVE_IN_COMBAT;
  set_screen(SCREEN_GAME_MENU);
  const ScreenButton save = Game_menu_buttons[3];
  click(save.x + 2, save.y + 2);
  ASSERT_TRUE(popup_is_open());
  EXPECT_STREQ(popup_title(), "Warning");
  EXPECT_STREQ(popup_text(), "Cannot save in combat.");
  answer(0);
  EXPECT_EQ(screen_get_current(), SCREEN_GAME_MENU);
  EXPECT_TRUE(in_ui_mode());
  party.save_code = SAVE_NOT_HERE;
  click(save.x + 2, save.y + 2);
  EXPECT_STREQ(popup_text(), "Cannot save in Ivory Fens.");
}

TEST_F(Menus, QuitAsksFirstAndYesGoesToTheTitle) {
  set_screen(SCREEN_GAME_MENU);
  const ScreenButton quit = Game_menu_buttons[6];
  click(quit.x + 2, quit.y + 2);
  ASSERT_TRUE(popup_is_open());
  EXPECT_STREQ(popup_title(), "Quit game");
  EXPECT_STREQ(popup_text(), "Are you sure?");
  answer(1);  // No
  EXPECT_FALSE(game_state_pending());
  EXPECT_EQ(screen_get_current(), SCREEN_GAME_MENU);
  click(quit.x + 2, quit.y + 2);
  answer(0);  // Yes
  EXPECT_EQ(game_state_requested(), GS_TITLE);
  // New game asks the same way.
  const ScreenButton fresh = Game_menu_buttons[2];
  click(fresh.x + 2, fresh.y + 2);
  EXPECT_STREQ(popup_title(), "New game");
  answer(0);
  ASSERT_EQ(party.started.size(), 1u);
  EXPECT_EQ(party.started[0], "rand-forest01");
  EXPECT_TRUE(game_flags_test(GF_SKIP_SWAP));
  game_flags_clear(GF_SKIP_SWAP);
  // The close box closes the menu.
  const ScreenButton box = Game_menu_buttons[7];
  click(box.x + 2, box.y + 2);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  EXPECT_TRUE(played(36));
}
}  // namespace

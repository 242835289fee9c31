// The HUD: its layout at the three resolutions from the bar's numbers, the
// gameplay keys as a single-player, world-map and networked game take them,
// the click machine, the exit prompt and quick save.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/key.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
int g_status_opened = 0;

class Hud : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    g_status_opened = 0;
    ScreenOps status;
    status.open = [](void*, bool) { g_status_opened++; };
    status.input = [](int key) {
      if (key == KEY_ESC) set_screen(SCREEN_HUD);
      return 0;
    };
    screen_register(SCREEN_STATUS, status);
  }
  void TearDown() override {
    popup_close();
    screen_register(SCREEN_STATUS, ScreenOps{});
    Hud_level_index = 1;
    FrontTest::TearDown();
  }
  // Answers the open popup's button i.
  void answer(int i) {
    ASSERT_TRUE(popup_is_open());
    move(popup_button_center_x(i), popup_button_row_y() + 5);
    frame();
    press();
    frame();
    release();
    frame();
  }
};

int round_scaled(int v, double s) { return static_cast<int>(std::floor(v * s + 0.5)); }

TEST_F(Hud, LayoutFollowsTheBarNumbersAtEachResolution) {
  const struct {
    int w, h, r;
    double scale;  // of the 640 places
    int hot_x, hot_y, hot_step, hot_size;
  } cases[] = {{640, 480, 0, 1.0, 514, 400, 40, 32},
               {800, 600, 1, 1.25, 643, 500, 50, 40},
               {1024, 768, 2, 1.6, 887, 680, 43, 51}};
  for (const auto& c : cases) {
    screen(c.w, c.h);
    frame();
    // The bar sits at the bottom, as high as its art drawn at the UI scale.
    const ScreenButton& bar = Hud_buttons[0];
    EXPECT_EQ(bar.x, 0);
    EXPECT_EQ(bar.y, round_scaled(416, c.scale)) << c.w;
    EXPECT_EQ(hud_bar_height(), c.h - bar.y) << c.w;
    EXPECT_EQ(bar.w, c.w);
    // Portrait frames 51 pixels apart from (50, 416) on the 640 layout.
    for (int i = 0; i < 5; i++) {
      EXPECT_EQ(Hud_buttons[1 + i].x, round_scaled(50 + 51 * i, c.scale)) << c.w << " frame " << i;
      EXPECT_EQ(Hud_buttons[1 + i].y, round_scaled(416, c.scale));
    }
    // The three menu buttons at x 8, y 419, 439 and 459.
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(Hud_buttons[33 + 2 * i].x, round_scaled(8, c.scale));
      EXPECT_EQ(Hud_buttons[33 + 2 * i].y, round_scaled(419 + 20 * i, c.scale));
    }
    // Hot buttons: three to a row, two rows.
    for (int s = 0; s < 6; s++) {
      int x, y, w, h;
      hud_hot_rect(s, &x, &y, &w, &h);
      EXPECT_EQ(x, c.hot_x + (s % 3) * c.hot_step) << c.w << " slot " << s;
      EXPECT_EQ(y, c.hot_y + (s / 3) * c.hot_step);
      EXPECT_EQ(w, c.hot_size);
      EXPECT_EQ(h, c.hot_size);
    }
    // Four heroes: four portraits, their bitmaps by hero number and art set.
    EXPECT_EQ(hud_portrait_count(), 4);
    const char* suffix = c.r == 2 ? "1024.tga" : "640.tga";
    for (int i = 0; i < 4; i++) {
      const std::string want = "hud-charportrait0" + std::to_string(i + 1) + "-" + suffix;
      EXPECT_STREQ(bm_get_filename(Hud_buttons[6 + i].bitmap), want.c_str());
      EXPECT_TRUE(Hud_buttons[6 + i].flags & SB_DRAWN);
    }
    // Each portrait's bars lie under its frame, grown as the places are.
    for (int i = 0; i < 4; i++) {
      int x, y, w, hp, ap, h;
      hud_bar_rects(i, &x, &y, &w, &hp, &ap, &h);
      EXPECT_EQ(x, Hud_buttons[1 + i].x + round_scaled(2, c.scale));
      EXPECT_EQ(y, Hud_buttons[1 + i].y + round_scaled(50, c.scale)) << c.w;
      EXPECT_EQ(w, round_scaled(44, c.scale)) << c.w;
      EXPECT_GE(y, Hud_buttons[1 + i].y + Hud_buttons[1 + i].h) << "bars over the portrait at " << c.w;
    }
    EXPECT_TRUE(Hud_buttons[10].flags & SB_HIDDEN);  // no fifth member
    EXPECT_TRUE(Hud_buttons[11].flags & SB_DRAWN);   // the selected member's frame
    EXPECT_FALSE(Hud_buttons[12].flags & SB_DRAWN);
  }
}

TEST_F(Hud, BarsShowPointsAsShareOfTheirWidth) {
  frame();
  // Zazuru: 45 of 90 hit points, 20 of 80 action points.
  int x, y, w, hp, ap, h;
  hud_bar_rects(1, &x, &y, &w, &hp, &ap, &h);
  EXPECT_EQ(hp, w / 2);
  EXPECT_EQ(ap, w / 4);
  rec.reset();
  hud_render();
  bool hp_drawn = false, ap_drawn = false;
  for (const RectCall& r : rec.rects) {
    if (r.x == x && r.w == hp && r.color == Color(110, 0, 0, 255)) hp_drawn = true;
    if (r.x == x && r.w == ap && r.color == Color(10, 23, 115, 255)) ap_drawn = true;
  }
  EXPECT_TRUE(hp_drawn);
  EXPECT_TRUE(ap_drawn);
  // Colour states: Rivud below a fifth of his points, Rivadara down.
  EXPECT_EQ(hud_portrait_state(0), 0);
  EXPECT_EQ(hud_portrait_state(2), 4);
  EXPECT_EQ(hud_portrait_state(3), 5);
  EXPECT_TRUE(Hud_buttons[18].flags & SB_DRAWN);  // Rivud's level-up mark
}

TEST_F(Hud, EscapeOpensTheGameMenuWhichHoldsTheGame) {
  EXPECT_EQ(frame(KEY_ESC), 0);
  EXPECT_EQ(screen_get_current(), SCREEN_GAME_MENU);
  EXPECT_TRUE(in_ui_mode());
  EXPECT_TRUE(played(35));
  EXPECT_EQ(frame(KEY_ESC), 0);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  EXPECT_FALSE(in_ui_mode());
  // While a spell waits for its party target Escape only ends the wait.
  Hud_target_word = 2;
  frame(KEY_ESC);
  EXPECT_EQ(Hud_target_word, -1);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
}

TEST_F(Hud, KeysByKindOfGame) {
  // Tab and F5-F9 select members; Space pauses.
  frame(KEY_TAB);
  EXPECT_EQ(party.selected, 1);
  frame(KEY_TAB | KEY_SHIFTED);
  EXPECT_EQ(party.selected, 0);
  frame(65);  // F7: portrait 2
  EXPECT_EQ(party.selected, 2);
  frame(KEY_SPACEBAR);
  EXPECT_TRUE(in_ui_mode());
  frame(KEY_SPACEBAR);
  EXPECT_FALSE(in_ui_mode());
  // On the world map the number keys, Tab, Enter, S, H and C do nothing.
  Hud_level_index = HUD_WORLD_MAP_LEVEL;
  sounds.clear();
  party.selected = 0;
  for (int key : {2, 3, KEY_TAB, KEY_ENTER, 31, 35, 46}) EXPECT_EQ(frame(key), 0) << key;
  EXPECT_EQ(party.selected, 0);
  EXPECT_TRUE(sounds.empty());
  EXPECT_FALSE(popup_is_open());
  Hud_level_index = 1;
  // In a networked game the keys of a single player's game do nothing.
  GameFlags = GF_NETWORKED;
  sounds.clear();
  for (int key : {16, KEY_ENTER, KEY_F1 + 2, KEY_F1 + 3, 31 | KEY_CTRLED, 38 | KEY_CTRLED}) EXPECT_EQ(frame(key), 0);
  EXPECT_TRUE(sounds.empty());
  EXPECT_FALSE(popup_is_open());
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  GameFlags = GF_SINGLE_PLAYER;
  // Keys not in the table come back.
  EXPECT_EQ(frame(KEY_PAGEUP), KEY_PAGEUP);
}

TEST_F(Hud, RowsHiddenOnTheWorldMapOrInANetworkedGameAreNeitherDrawnNorClicked) {
  ScreenOps panel;
  panel.render = [] {};
  screen_register(SCREEN_SKILLS, panel);
  screen_register(SCREEN_JOURNAL, panel);
  frame();
  const ScreenButton skills = Hud_buttons[59];   // hover row, kind 33
  const ScreenButton journal = Hud_buttons[53];  // hover row, kind 17
  click(skills.x + 2, skills.y + 2);
  EXPECT_EQ(screen_get_current(), SCREEN_SKILLS);
  set_screen(SCREEN_HUD);
  Hud_level_index = HUD_WORLD_MAP_LEVEL;
  click(skills.x + 2, skills.y + 2);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  rec.reset();
  hud_render();
  for (const BitmapCall& b : rec.bitmaps) EXPECT_NE(b.x, skills.x);
  Hud_level_index = 1;
  GameFlags = GF_NETWORKED;
  click(journal.x + 2, journal.y + 2);
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  rec.reset();
  hud_render();
  for (const BitmapCall& b : rec.bitmaps) EXPECT_NE(b.x, journal.x);
  GameFlags = GF_SINGLE_PLAYER;
  click(journal.x + 2, journal.y + 2);
  EXPECT_EQ(screen_get_current(), SCREEN_JOURNAL);
  set_screen(SCREEN_HUD);
  screen_register(SCREEN_SKILLS, ScreenOps{});
  screen_register(SCREEN_JOURNAL, ScreenOps{});
}

TEST_F(Hud, ClickingTheMenuButtonOpensTheGameMenuAndRightClickingAPortraitTheStatus) {
  const ScreenButton& menu = Hud_buttons[33];
  click(menu.x + 3, menu.y + 3);
  EXPECT_EQ(screen_get_current(), SCREEN_GAME_MENU);
  frame(KEY_ESC);
  const ScreenButton& portrait2 = Hud_buttons[24];  // hover row of portrait 2
  right_click(portrait2.x + 10, portrait2.y + 10);
  EXPECT_EQ(party.selected, 2);
  EXPECT_EQ(g_status_opened, 1);
  EXPECT_EQ(screen_get_current(), SCREEN_STATUS);
  // Pressing a button and releasing off it does nothing.
  frame(KEY_ESC);
  move(menu.x + 3, menu.y + 3);
  frame();
  press();
  frame();
  move(300, 100);
  frame();
  release();
  frame();
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
}

TEST_F(Hud, DroppingADraggedSkillFillsTheSlotAndClearsItsOldPlace) {
  Hud_hot[0][0] = {1, 1, 12};
  hud_drag_begin(0, 0, 20, 10, true, 12);
  int x, y, w, h;
  hud_hot_rect(4, &x, &y, &w, &h);
  move(x + 5, y + 5);
  press();
  frame();
  release();
  frame();
  EXPECT_FALSE(hud_dragging());
  EXPECT_EQ(Hud_hot[0][4].in_use, 1);
  EXPECT_EQ(Hud_hot[0][4].is_skill, 1);
  EXPECT_EQ(Hud_hot[0][4].value, 12);
  EXPECT_EQ(Hud_hot[0][0].in_use, 0);
  // Dropped elsewhere nothing changes.
  hud_drag_begin(0, 0, 20, 10, false, 3);
  move(100, 100);
  press();
  frame();
  release();
  frame();
  for (const HudHotButton& hb : Hud_hot[0]) EXPECT_FALSE(hb.in_use && hb.value == 3);
}

// A hot button holding a spell casts it for the selected hero, clicked or
// by its number key; one that cannot be cast now only sounds its failure.
TEST_F(Hud, AHotButtonCastsItsSpellWhenClickedOrByItsKey) {
  Hud_hot[0][1] = {1, 0, 25};
  int x, y, w, h;
  hud_hot_rect(1, &x, &y, &w, &h);
  move(x + 5, y + 5);
  press();
  frame();
  release();
  frame();
  ASSERT_EQ(party.casts.size(), 1u);
  EXPECT_EQ(party.casts[0], 25);
  EXPECT_EQ(sounds.back(), 35);
  frame(3);  // the key "2": hot button 1
  ASSERT_EQ(party.casts.size(), 2u);
  EXPECT_EQ(party.casts[1], 25);
  party.can_cast = false;
  sounds.clear();
  frame(3);
  EXPECT_EQ(party.casts.size(), 2u);
  ASSERT_FALSE(sounds.empty());
  EXPECT_EQ(sounds.back(), 36);
  Hud_hot[0][1] = {};
}

// A hot button holding a skill: the selected hero uses it; pick lock first
// waits for the portrait of the member who picks; a skill that cannot be
// used now sounds its failure and is not tried.
TEST_F(Hud, AHotButtonUsesItsSkillAndPickLockWaitsForAMember) {
  Hud_hot[0][0] = {1, 1, 19};  // assess
  Hud_hot[0][3] = {1, 1, 21};  // pick lock
  int x, y, w, h;
  hud_hot_rect(0, &x, &y, &w, &h);
  click(x + 5, y + 5);
  ASSERT_EQ(party.skills_used.size(), 1u);
  EXPECT_EQ(party.skills_used[0].skill, 19);
  EXPECT_EQ(party.skills_used[0].member, 0);
  EXPECT_EQ(sounds.back(), 35);

  frame(5);  // the key "4": hot button 3
  EXPECT_EQ(party.skills_used.size(), 1u);
  EXPECT_EQ(Hud_target_word, 2);
  EXPECT_EQ(sounds.back(), 39);
  // Zazuru's portrait names the picker.
  const ScreenButton& zazuru = Hud_buttons[22];
  click(zazuru.x + zazuru.w / 2, zazuru.y + zazuru.h / 2);
  ASSERT_EQ(party.skills_used.size(), 2u);
  EXPECT_EQ(party.skills_used[1].skill, 21);
  EXPECT_EQ(party.skills_used[1].member, 1);
  EXPECT_EQ(Hud_target_word, -1);

  // A portrait clicked without the wait uses nothing: for that frame it
  // names Zazuru to whatever is aimed at a creature.
  EXPECT_EQ(hud_portrait_clicked(), -1);
  click(zazuru.x + zazuru.w / 2, zazuru.y + zazuru.h / 2);
  EXPECT_EQ(party.skills_used.size(), 2u);
  EXPECT_EQ(hud_portrait_clicked(), 1);
  frame();
  EXPECT_EQ(hud_portrait_clicked(), -1);

  party.can_use_skill = false;
  party.selected = 0;
  sounds.clear();
  frame(2);
  frame(5);
  EXPECT_EQ(party.skills_used.size(), 2u);
  EXPECT_EQ(Hud_target_word, -1);
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0], 36);
  EXPECT_EQ(sounds[1], 36);
}

TEST_F(Hud, ExitPromptAsksOrRefusesByTheLeaveState) {
  const struct {
    int leave;
    const char* target;
    int level;
    const char* title;
    const char* text;
  } cases[] = {{LEAVE_ENEMIES, nullptr, 1, "Cannot Leave", "Hostile monsters nearby"},
               {LEAVE_SPREAD_OUT, nullptr, 1, "Cannot Leave", "Party members too far away"},
               {LEAVE_OK, "Ivory Fens", 1, "New Area", "Exit to Ivory Fens?"},
               {LEAVE_OK, nullptr, 1, "New Area", "Exit level?"},
               {LEAVE_OK, "Ivory Fens", HUD_WORLD_MAP_LEVEL, "New Area", "Enter Ivory Fens?"},
               {LEAVE_OK, nullptr, HUD_WORLD_MAP_LEVEL, "New Area", "Enter location?"}};
  for (const auto& c : cases) {
    party.pending_exit = true;
    party.leave_state = c.leave;
    party.target = c.target;
    Hud_level_index = c.level;
    frame();
    ASSERT_TRUE(popup_is_open()) << c.text;
    EXPECT_STREQ(popup_title(), c.title);
    EXPECT_STREQ(popup_text(), c.text);
    EXPECT_TRUE(in_ui_mode());
    answer(c.leave == LEAVE_OK ? 1 : 0);  // "No" or "OK"
    EXPECT_FALSE(popup_is_open());
    EXPECT_FALSE(in_ui_mode());
  }
  EXPECT_EQ(party.refused, 6);
  EXPECT_EQ(party.accepted, 0);
  party.pending_exit = true;
  party.leave_state = LEAVE_OK;
  frame();
  answer(0);
  EXPECT_EQ(party.accepted, 1);
  frame();
  EXPECT_FALSE(popup_is_open());  // accepted: not asked again
}

TEST_F(Hud, QuickSaveCountsSlotsWithoutTheQuickSaveItself) {
  party.dir = (root / "saves").string();
  std::filesystem::create_directories(party.dir);
  for (int i = 0; i < 31; i++) std::ofstream(party.dir + "/orrimund" + std::to_string(i) + ".sav") << "x";
  std::ofstream(party.dir + "/QuickSave.sav") << "x";
  std::ofstream(party.dir + "/notes.txt") << "x";
  EXPECT_EQ(hud_count_saves(party.dir.c_str()), 31);
  frame(31 | KEY_CTRLED);
  ASSERT_EQ(party.saves_written.size(), 1u);
  EXPECT_EQ(party.saves_written[0], "quicksave.sav");
  EXPECT_STREQ(hud_message_text(), "Quick save succesful.");
  // The 32nd slot taken: refused.
  std::ofstream(party.dir + "/orrimund31.sav") << "x";
  frame(31 | KEY_CTRLED);
  ASSERT_TRUE(popup_is_open());
  EXPECT_STREQ(popup_title(), "Quick save");
  EXPECT_STREQ(popup_text(), "No more savegame slots.");
  popup_close();
  EXPECT_EQ(party.saves_written.size(), 1u);
  // Refusals of the saving rule, and a failed write.
  const struct {
    int code;
    const char* text;
  } refusals[] = {{SAVE_IN_COMBAT, "Cannot save in combat."},
                  {SAVE_NOT_HERE, "Cannot save in this area."},
                  {SAVE_SUMMON, "Cannot save while summon is emerging."}};
  for (const auto& r : refusals) {
    party.save_code = r.code;
    frame(31 | KEY_CTRLED);
    ASSERT_TRUE(popup_is_open());
    EXPECT_STREQ(popup_text(), r.text);
    popup_close();
  }
  std::filesystem::remove(party.dir + "/orrimund31.sav");
  party.save_code = SAVE_ALLOWED;
  party.save_result = false;
  frame(31 | KEY_CTRLED);
  ASSERT_TRUE(popup_is_open());
  EXPECT_STREQ(popup_text(), "Error during quick save.");
  EXPECT_TRUE(in_ui_mode());
}

TEST_F(Hud, F3NamesTheReasonSavingIsRefused) {
  const struct {
    int code;
    const char* text;
  } cases[] = {{SAVE_IN_COMBAT, "Cannot save in combat."},
               {SAVE_NOT_HERE, "Cannot save in Ivory Fens."},
               {SAVE_SUMMON, "Cannot save during summon."},
               {7, "Cannot save now."}};
  for (const auto& c : cases) {
    party.save_code = c.code;
    frame(KEY_F1 + 2);
    ASSERT_TRUE(popup_is_open());
    EXPECT_STREQ(popup_title(), "Warning");
    EXPECT_STREQ(popup_text(), c.text);
    popup_close();
  }
}

TEST_F(Hud, ThePartyReachesTheHudThroughItsHooks) {
  ASSERT_NE(Party_hooks.hud_message, nullptr);
  Party_hooks.hud_message("Stole 12 gold!");
  EXPECT_STREQ(hud_message_text(), "Stole 12 gold!");
  EXPECT_TRUE(hud_message_active());
  // A selection made while a button is held drops the press.
  const ScreenButton& menu = Hud_buttons[33];
  move(menu.x + 3, menu.y + 3);
  frame();
  press();
  frame();
  EXPECT_EQ(hud_click_state(), 1);
  ASSERT_NE(Party_hooks.hud_clear_buttons, nullptr);
  Party_hooks.hud_clear_buttons();
  release();
  frame();
  EXPECT_EQ(screen_get_current(), SCREEN_HUD);
  ASSERT_NE(Party_hooks.screen_special, nullptr);
  Party_hooks.screen_special();
}

TEST_F(Hud, GameOverWaitsThreeSecondsThenAnyKeyGoesToTheTitle) {
  game_state_reset();
  game_flags_set(GF_PARTY_DEAD);
  frame();
  EXPECT_EQ(hud_click_state(), 5);
  frame(KEY_SPACEBAR, 1000);
  EXPECT_FALSE(game_state_pending());
  frame(0, 2100);
  frame(KEY_SPACEBAR);
  EXPECT_TRUE(game_state_pending());
  EXPECT_EQ(game_state_requested(), GS_TITLE);
  game_flags_clear(GF_PARTY_DEAD);
}
}  // namespace

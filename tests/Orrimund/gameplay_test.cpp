// The gameplay state without a window: a level started by name within its
// field, the loading steps in order, a failed load back on the title with
// the level released, and control passing from a dead hero.
#include "Orrimund/gameplay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/ai/ai_core.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/screens/screens.h"
#include "quarn/os/timer.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "levelscripts/level_scripts.h"
#include "tests/support/world_kit.h"

namespace {

std::vector<std::string> Steps;
int Fail_at = -1;

template <int N>
bool fake_step() {
  Steps.push_back(std::to_string(N));
  return N != Fail_at;
}

class Gameplay : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    party_init();
    for (int i = 0; i < Num_level_load_steps; i++) saved[i] = Level_load_steps[i];
    static bool (*const fakes[])() = {fake_step<0>, fake_step<1>, fake_step<2>, fake_step<3>, fake_step<4>,
                                      fake_step<5>, fake_step<6>, fake_step<7>};
    for (int i = 0; i < Num_level_load_steps; i++) Level_load_steps[i].run = fakes[i];
    Steps.clear();
    Fail_at = -1;
    game_state_reset();
  }
  void TearDown() override {
    for (int i = 0; i < Num_level_load_steps; i++) Level_load_steps[i] = saved[i];
    party_free_all();
    game_state_reset();
    GameFlags = 0;
  }
  LevelLoadStep saved[16];
};

}  // namespace

TEST_F(Gameplay, StartLevelKeepsNamesInTheirFieldAndPicksTheStart) {
  ASSERT_TRUE(start_level("rand-forest01", "gate"));
  EXPECT_STREQ(LevelName, "rand-forest01");
  EXPECT_STREQ(StartName, "gate");
  EXPECT_EQ(game_state_requested(), GS_NEW_GAME);
  EXPECT_EQ(LevelStartMode, 1u);
  // No start given and no script entries: the level's own name.
  ASSERT_TRUE(start_level("demo_indoor", nullptr));
  EXPECT_STREQ(StartName, "demo_indoor");
  // The tutorial opens on masad's own start.
  ASSERT_TRUE(start_level("MASAD", "masad"));
  EXPECT_EQ(Tutorial_opening, 1);
  ASSERT_TRUE(start_level("masad", "harbour"));
  EXPECT_EQ(Tutorial_opening, 0);
  // Names that would run past the field are refused whole.
  game_state_reset();
  const std::string long_name(LEVEL_NAME_MAX, 'x');
  EXPECT_FALSE(start_level(long_name.c_str(), nullptr));
  EXPECT_FALSE(start_level("masad", long_name.c_str()));
  EXPECT_STREQ(LevelName, "masad");
  EXPECT_FALSE(game_state_pending());
}

TEST_F(Gameplay, TheLoadRunsItsStepsInOrderAndStopsAtAFailure) {
  EXPECT_TRUE(level_load());
  std::vector<std::string> all;
  for (int i = 0; i < Num_level_load_steps; i++) all.push_back(std::to_string(i));
  EXPECT_EQ(Steps, all);
  EXPECT_STREQ(Level_load_steps[1].name, "level file and visibility");

  Steps.clear();
  Fail_at = 1;
  EXPECT_FALSE(level_load());
  EXPECT_EQ(Steps, (std::vector<std::string>{"0", "1"}));
}

TEST_F(Gameplay, AFailedLoadGoesBackToTheTitleWithNothingLeft) {
  Fail_at = 1;
  ASSERT_TRUE(start_level("rand-forest01", nullptr));
  game_state_commit();  // the new-game state
  game_state_request(GS_GAMEPLAY);
  game_state_commit();
  hero_create("Ruvizo", 1, true, false, -1);  // what the party step would have made
  gameplay_enter();
  EXPECT_EQ(Level_load_failed, 1);
  EXPECT_EQ(game_state_requested(), GS_TITLE);
  EXPECT_EQ(party_first(), nullptr);
  EXPECT_EQ(entity_count(entity_live_list()), 0);
  EXPECT_FALSE(game_flags_test(GF_LEVEL_IN_PLAY));
}

TEST_F(Gameplay, AChangeOfLevelKeepsTheHeroesWithoutTheirOrdersAndDropsTheRest) {
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  living_entity* rat = kit.spawn(kit.type("Rat"), {3, 0, 0});
  const int rat_handle = rat->handle;
  ASSERT_GE(ai_queue_walk_to(&ruvizo->ai, vector(7, 0, -2), 0, false, 999999), 0);
  level_objects_release(false);
  EXPECT_EQ(entity_from_handle(rat_handle), nullptr);
  ASSERT_EQ(party_first() ? member_entity(party_first()) : nullptr, ruvizo);
  for (const ai_action& a : ruvizo->ai.queue) EXPECT_EQ(a.type, AI_ACTION_NONE);
  EXPECT_EQ(ruvizo->ai.state, AI_STATE_IDLE);
}

TEST_F(Gameplay, ControlPassesToTheFirstLivingMemberAndThenTheGameEnds) {
  living_entity* ruvizo = hero_create("Ruvizo", 1, true, true, -1);
  living_entity* rivud = hero_create("Rivud", 1, false, true, -1);
  member_take_control(Selected_record);
  EXPECT_FALSE(dead_hero_switch());
  ruvizo->state |= ES_DEAD;
  EXPECT_TRUE(dead_hero_switch());
  EXPECT_EQ(Selected_entity, rivud);
  rivud->state |= ES_DEAD;
  EXPECT_FALSE(dead_hero_switch());
  EXPECT_TRUE(game_flags_test(GF_PARTY_DEAD));
}

namespace {

std::vector<std::string> Ran;
int Network_state = 0;

}  // namespace

TEST_F(Gameplay, TheFrameRunsEachModesStepsAndStopsTheClocksInUiMode) {
  GameplayFrameHooks h;
  h.automap_reveal_party = [] { Ran.push_back("automap"); };
  h.script_timers = [] { Ran.push_back("timers"); };
  const GameplayFrameHooks saved = gameplay_frame_hooks();
  gameplay_set_frame_hooks(h);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  ai_queue_walk_to(&rat->ai, vector(10, 0, 0), 0, true, 100);
  FrameTimer = 0.1f;
  Level_time = Game_time = 0.0f;

  Ran.clear();
  game_flags_set(GF_UI_MODE);
  const vector before = rat->pos;
  for (int i = 0; i < 10; i++) gameplay_frame();
  EXPECT_EQ(Level_time, 0.0f);
  EXPECT_EQ(Game_time, 0.0f);
  EXPECT_EQ(rat->pos.x, before.x);
  EXPECT_EQ(Ran.size(), 10u);  // the automap only
  game_flags_clear(GF_UI_MODE);

  Ran.clear();
  gameplay_frame();
  EXPECT_EQ(Ran, (std::vector<std::string>{"automap", "timers"}));
  EXPECT_FLOAT_EQ(Level_time, 0.1f);

  // In a cutscene the automap marks nothing; the cutscene's characters
  // still step, from the cutscene's part of the frame.
  Ran.clear();
  game_flags_set(GF_CUTSCENE);
  gameplay_frame();
  EXPECT_EQ(Ran, (std::vector<std::string>{"timers"}));
  game_flags_clear(GF_CUTSCENE);
  gameplay_set_frame_hooks(saved);
}

TEST_F(Gameplay, TheViewShakesOutsideUiModeOnly) {
  const matrix camera = matrix::from_angles(0.0f, 0.0f, 0.5f);
  EXPECT_EQ(gameplay_view_orientation(camera, false).forward.x, camera.forward.x);  // no shake: as it is
  // A quarter turn about the view's own forward axis: its right becomes its
  // up, its up the old right reversed, and it still looks the same way.
  game_camera.shake = matrix::from_rows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1});
  const matrix v = gameplay_view_orientation(camera, false);
  for (int i = 0; i < 3; i++) {
    EXPECT_NEAR(v.right[i], camera.up[i], 1e-6f) << i;
    EXPECT_NEAR(v.up[i], -camera.right[i], 1e-6f) << i;
    EXPECT_NEAR(v.forward[i], camera.forward[i], 1e-6f) << i;
  }
  const matrix ui = gameplay_view_orientation(camera, true);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ui.right[i], camera.right[i]) << i;
  game_camera.shake = identity_matrix;
}

TEST_F(Gameplay, ClicksReachTheWorldOnlyOutsideCutscenesAndThreeScreens) {
  EXPECT_TRUE(gameplay_world_actions_allowed(false));
  EXPECT_FALSE(gameplay_world_actions_allowed(true));
  game_flags_set(GF_CUTSCENE);
  EXPECT_FALSE(gameplay_world_actions_allowed(false));
  game_flags_clear(GF_CUTSCENE);
  int argument = 0;
  for (int screen : {SCREEN_CONTAINER, SCREEN_GAME_MENU, SCREEN_ASSESS}) {
    ScreenOps ops;
    ops.render = [] {};
    screen_register(screen, ops);
    ASSERT_TRUE(set_screen(screen, &argument)) << screen;
    EXPECT_FALSE(gameplay_world_actions_allowed(false)) << screen;
  }
  set_screen(SCREEN_HUD, nullptr);
  // A networked game lets clicks through in its states 5 and 6 only.
  GameplayFrameHooks h = gameplay_frame_hooks();
  h.network_game_state = [] { return Network_state; };
  gameplay_set_frame_hooks(h);
  game_flags_set(GF_NETWORKED);
  for (int state : {0, 4, 5, 6, 7}) {
    Network_state = state;
    EXPECT_EQ(gameplay_world_actions_allowed(false), state == 5 || state == 6) << state;
  }
  game_flags_clear(GF_NETWORKED);
  h.network_game_state = nullptr;
  gameplay_set_frame_hooks(h);
}

TEST_F(Gameplay, TheCursorAimsOnlyWhileATargetIsPending) {
  Cursor_walk = 7;
  Cursor_target = 8;
  struct Case {
    int targeting;
    int level;
    int cursor;
  };
  for (const Case& c : {Case{TARGETING_NONE, 0, 7}, Case{TARGETING_CREATURE, 0, 8}, Case{TARGETING_POINT, 0, 8},
                        Case{TARGETING_LOCK, 0, 7}, Case{TARGETING_CREATURE, WORLDMAP_LEVEL_INDEX, 7}}) {
    Hud_targeting = c.targeting;
    Level_script_current = c.level;
    cursor_choose();
    EXPECT_EQ(cursor_get(), c.cursor) << c.targeting << " " << c.level;
  }
  Hud_targeting = TARGETING_NONE;
  Level_script_current = -1;
  Cursor_walk = Cursor_target = -1;
}

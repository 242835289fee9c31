// The level-script table and its hooks: rows found by name in a fixed order,
// hooks current only for a level with a script outside networked games, the
// frame's order and gates, creatures raised to the party on arrival, and the
// level change of a confirmed exit.
#include "levelscripts/level_scripts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/script_world.h"
#include "quarn/math/floatops.h"
#include "tests/support/critical_error_trap.h"

namespace {

std::vector<std::string> Calls;

struct Hooks : ::testing::Test {
  void SetUp() override {
    Calls.clear();
    script_world_reset();
    GameFlags = GF_SINGLE_PLAYER;
    Do_frame_callback = true;
    level_script_set_hooks(
        3, [] { Calls.push_back("init"); }, [] { Calls.push_back("frame"); }, [] { Calls.push_back("exit"); },
        [](const char* n) {
          Calls.push_back(std::string("use ") + n);
          return true;
        },
        level_script_false_hook, nullptr);
    Script_world.update_ambient_sounds = [] { Calls.push_back("ambient"); };
    Script_world.music_timer_step = [] { Calls.push_back("music"); };
    Script_world.step_script_characters = [] { Calls.push_back("characters"); };
    Script_world.test_exit_triggers = [] { Calls.push_back("triggers"); };
    Script_world.read_level_script_data = [] { Calls.push_back("data"); };
    Script_world.kill_level_effects = [](bool restarting) { Calls.push_back(restarting ? "effects reset" : "effects"); };
    Script_world.stop_avoidance_splines = [] { Calls.push_back("splines"); };
  }
  void TearDown() override {
    level_script_set_hooks(3, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    script_world_reset();
    GameFlags = 0;
    Level_script_current = -1;
  }
  void enter(const char* level) {
    ASSERT_TRUE(level_position_set_level(level, ""));
    level_script_setup();
  }
};

}  // namespace

TEST(LevelScriptTable, LookupsAndEstimates) {
  EXPECT_EQ(level_script_info_lookup("VOZIDO"), 0);
  EXPECT_EQ(level_script_info_lookup("endgame"), 48);
  EXPECT_EQ(level_script_info_lookup("worldmap1"), WORLDMAP_LEVEL_INDEX);
  EXPECT_EQ(level_script_info_lookup("Sewerboss"), 50);
  EXPECT_EQ(level_script_info_lookup("nowhere"), -1);
  EXPECT_EQ(level_script_info_lookup(nullptr), -1);
  EXPECT_EQ(level_script_load_steps("endgame"), 10000);
  EXPECT_EQ(level_script_load_steps("nowhere"), 10000);
  EXPECT_EQ(level_script_load_steps("MASAD"), 4000);
  EXPECT_EQ(level_script_load_steps("rand-forest01"), 2700);
}

TEST(LevelScriptTable, LevelNamesNeverRunPastTheirField) {
  ASSERT_TRUE(level_position_set_level("masad", "intro"));
  std::string long_name(LEVEL_NAME_LEN, 'x');
  EXPECT_FALSE(level_position_set_level(long_name.c_str(), ""));
  EXPECT_FALSE(level_position_set_level("masad", long_name.c_str()));
  EXPECT_STREQ(Level_position.level, "masad");
  EXPECT_STREQ(Level_position.script, "intro");
  std::string longest(LEVEL_NAME_LEN - 1, 'y');
  EXPECT_TRUE(level_position_set_level(longest.c_str(), nullptr));
  EXPECT_EQ(std::string(Level_position.level), longest);
  EXPECT_STREQ(Level_position.script, "");
}

TEST(ScriptFilenames, EntriesCapsAndTheUnlistedDefault) {
  const char text[] =
      "$Level: \"masad\"\r\n+Script: \"start\"\r\n+Dialogue: 3 4\r\n+Levelcap: 12\r\n+Script: \"back\"\r\n"
      "$Level: \"sewer\"\r\n"
      "$Level: \"nowhere\"\r\n+Script: \"lost\"\r\n"
      "$Level: \"test\"\r\n+Script: \"never\"\r\n#End\r\n";
  script_filenames_load_text("script_filenames.tbl", text, sizeof text - 1);
  EXPECT_EQ(level_script_name_index(3, "START"), 0);
  EXPECT_EQ(level_script_name_index(3, "back"), 1);
  EXPECT_EQ(level_script_name_index(3, "other"), -1);
  EXPECT_EQ(level_script_level_cap(3, 0), 12);
  EXPECT_EQ(level_script_level_cap(3, 1), LEVEL_CAP_DEFAULT);
  int a, b;
  level_script_dialogue_values(3, 0, &a, &b);
  EXPECT_EQ(a * 10 + b, 34);
  // A script name the table does not list, or a level without entries, caps
  // at the default instead of reading outside the table.
  EXPECT_EQ(level_script_level_cap(3, level_script_name_index(3, "other")), LEVEL_CAP_DEFAULT);
  EXPECT_EQ(level_script_level_cap(9, 0), LEVEL_CAP_DEFAULT);
  // The unknown level ended the reading: "test" has nothing.
  EXPECT_EQ(level_script_name_index(2, "never"), -1);
  EXPECT_NE(script_filenames_checksum(), 0u);
}

TEST(ScriptFilenames, AnEighthScriptOfALevelIsATableError) {
  std::string text = "$Level: \"masad\"\r\n";
  for (int i = 0; i < 8; i++) text += "+Script: \"s" + std::to_string(i) + "\"\r\n";
  text += "#End\r\n";
  CriticalErrorTrap trap;
  EXPECT_THROW(script_filenames_load_text("script_filenames.tbl", text.c_str(), static_cast<int>(text.size())),
               CriticalErrorThrown);
}

TEST_F(Hooks, SetupMakesTheRowCurrentAndReadsTheScriptDataAlways) {
  enter("MASAD");
  EXPECT_EQ(Level_script_current, 3);
  EXPECT_EQ(Calls, (std::vector<std::string>{"data"}));
  EXPECT_TRUE(level_script_use_hook("gate"));
  Calls.clear();
  // A level without a script plays without hooks, its data read all the same.
  enter("sewer");
  EXPECT_EQ(Level_script_current, 9);
  EXPECT_EQ(Calls, (std::vector<std::string>{"data"}));
  EXPECT_EQ(Level_hook_frame, nullptr);
  EXPECT_FALSE(level_script_use_hook("gate"));
  // A networked game runs no level's hooks.
  GameFlags = GF_NETWORKED;
  enter("masad");
  EXPECT_EQ(Level_hook_init, nullptr);
  EXPECT_FALSE(level_script_use_hook("gate"));
}

TEST_F(Hooks, TheFrameRunsInOrderAndItsGatesHold) {
  enter("masad");
  Calls.clear();
  level_script_frame();
  EXPECT_EQ(Calls, (std::vector<std::string>{"ambient", "music", "characters", "triggers", "frame"}));

  Calls.clear();
  Do_frame_callback = false;
  level_script_frame();
  EXPECT_EQ(Calls, (std::vector<std::string>{"ambient", "music", "characters", "triggers"}));
  Do_frame_callback = true;

  Calls.clear();
  game_flags_set(GF_CUTSCENE);
  level_script_frame();
  EXPECT_EQ(Calls, (std::vector<std::string>{"ambient", "characters"}));
  game_flags_clear(GF_CUTSCENE);

  Calls.clear();
  Script_world.cutscene_script_name = [] { return "intro_cscript"; };
  level_script_frame();
  EXPECT_EQ(Calls, (std::vector<std::string>{"ambient", "music", "characters"}));
}

TEST_F(Hooks, ExitAndRestartRunTheirHooksInOrder) {
  enter("masad");
  Calls.clear();
  level_script_exit();
  EXPECT_EQ(Calls, (std::vector<std::string>{"effects", "splines", "exit"}));
  Calls.clear();
  Level_position.restart_word = 7;
  level_script_restart();
  EXPECT_EQ(Calls, (std::vector<std::string>{"exit", "init", "splines"}));
  EXPECT_EQ(Level_position.restart_word, 0u);
}

namespace {
struct Creature {
  int level, base;
};
std::vector<Creature> Creatures;
int Hero_level = -1;
void install_creatures() {
  Script_world.creature_count = [] { return static_cast<int>(Creatures.size()); };
  Script_world.creature_level = [](int i) { return Creatures[i].level; };
  Script_world.creature_base_level = [](int i) { return Creatures[i].base; };
  Script_world.creature_set_level = [](int i, int l) { Creatures[i].level = l; };
  Script_world.selected_hero_level = [] { return Hero_level; };
}
}  // namespace

TEST_F(Hooks, ArrivingRaisesCreaturesToTheHeroWithinTheCap) {
  const char text[] = "$Level: \"masad\"\r\n+Script: \"start\"\r\n+Levelcap: 6\r\n#End\r\n";
  script_filenames_load_text("script_filenames.tbl", text, sizeof text - 1);
  install_creatures();
  enter("masad");
  std::strcpy(Level_position.script, "start");

  // No selected hero: every creature goes to its type's base level.
  Creatures = {{9, 2}, {1, 3}};
  Hero_level = -1;
  level_start_scripts(true);
  EXPECT_EQ(Creatures[0].level, 2);
  EXPECT_EQ(Creatures[1].level, 3);

  // Hero at 5: the factor in [0.8, 1.2) is drawn once, from the shared
  // sequence; a creature above the hero keeps its level, the others get
  // the product clamped to the cap.
  Creatures = {{1, 1}, {5, 1}, {8, 1}};
  Hero_level = 5;
  os_srand(77);
  float factor = frand_range(0.8f, 1.2f);
  int expected = static_cast<int>(factor * 5 + 0.5f);
  if (expected > 6) expected = 6;
  os_srand(77);
  level_start_scripts(true);
  EXPECT_EQ(Creatures[0].level, expected);
  EXPECT_EQ(Creatures[1].level, expected);
  EXPECT_EQ(Creatures[2].level, 8);

  // Not arriving (a loaded game): nobody changes.
  Creatures = {{1, 1}};
  level_start_scripts(false);
  EXPECT_EQ(Creatures[0].level, 1);
  EXPECT_EQ(Calls.front(), "data");
}

TEST_F(Hooks, NetworkedArrivalSetsEveryCreatureByDifficulty) {
  install_creatures();
  Script_world.mp_party_level = [] { return 30; };
  Script_world.mp_level_multiplier = [] { return 1.0f; };
  static int difficulty;
  Script_world.mp_difficulty = [] { return difficulty; };
  GameFlags = GF_NETWORKED;
  enter("sewer");
  struct Case {
    int difficulty, expected;
  };
  // The cap of an unlisted script is 100: bounds 1..100, 25..125, 50..150.
  for (Case c : {Case{0, 30}, Case{1, 30}, Case{2, 50}, Case{7, 30}}) {
    difficulty = c.difficulty;
    Creatures = {{90, 1}};
    level_start_scripts(true);
    EXPECT_EQ(Creatures[0].level, c.expected) << "difficulty " << c.difficulty;
  }
}

TEST_F(Hooks, AConfirmedExitMovesThePositionAndRequestsTheGameplayState) {
  enter("masad");
  static const char* dest;
  dest = "sewer";
  Script_world.confirmed_exit = [](const char** level, const char** script, int* index) {
    *level = dest;
    *script = "from_masad";
    *index = 2;
    return true;
  };
  game_state_reset();
  level_script_change();
  EXPECT_STREQ(Level_position.previous, "masad");
  EXPECT_STREQ(Level_position.level, "sewer");
  EXPECT_STREQ(Level_position.script, "from_masad");
  EXPECT_EQ(Level_position.entry_index, 2);
  EXPECT_TRUE(game_state_pending());
  EXPECT_EQ(game_state_requested(), GS_GAMEPLAY);

  // A destination too long for the position block changes nothing.
  std::string long_name(40, 'z');
  dest = long_name.c_str();
  game_state_reset();
  level_script_change();
  EXPECT_STREQ(Level_position.level, "sewer");
  EXPECT_FALSE(game_state_pending());
}

TEST(QuestLookup, DisplayNamesAndUnlockRows) {
  char out[64];
  level_display_name(out, sizeof out, level_script_info_lookup("thalem2d"));
  EXPECT_STREQ(out, "Thalem Outskirts");
  level_display_name(out, sizeof out, WORLDMAP_LEVEL_INDEX);
  EXPECT_STREQ(out, "World Map");
  level_display_name(out, sizeof out, level_script_info_lookup("tancredhouse"));
  EXPECT_STREQ(out, "Tancred's Haven");
  level_display_name(out, sizeof out, level_script_info_lookup("Rand-ForestNite1"));
  EXPECT_STREQ(out, "Random Enc. -- Forest Night");
  level_display_name(out, sizeof out, -1);
  EXPECT_STREQ(out, "Unknown");
  level_display_name(out, sizeof out, level_script_info_lookup("endgame"));
  EXPECT_STREQ(out, "Unknown");
  // The caller's size bounds the write.
  char small[6];
  level_display_name(small, sizeof small, 3);
  EXPECT_STREQ(small, "Masad");

  EXPECT_EQ(level_unlock_row_find(3), 0);
  EXPECT_EQ(level_unlock_row_find(2), -1);
  EXPECT_EQ(level_unlock_row_find(37), 24);
  EXPECT_STREQ(level_select_row_name(13), "Tower of Eleh");
  EXPECT_EQ(level_select_row_name(25), nullptr);

  EXPECT_TRUE(is_cutscene_script_name("masad_cscript.tbl"));
  EXPECT_FALSE(is_cutscene_script_name("_cscript.tbl"));
  EXPECT_FALSE(is_cutscene_script_name("masad_CSCRIPT.tbl"));
  EXPECT_FALSE(is_cutscene_script_name("masad_demoscript.tbl"));
}

// The world map's encounter roll and the encounter levels, on the fake host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "levelscripts/Scripts/worldmap.h"
#include "quarn/os/console.h"
#include "tests/support/fake_script_host.h"

namespace {
struct Flag {
  int level;
  const char* name;
};
struct EncounterCase {
  const char* what;
  int stage;
  std::vector<Flag> flags;
  std::map<std::string, float> markers;
  std::vector<float> draws;
  std::map<std::string, int> items;
  const char* level;
  const char* script;
};
}  // namespace

TEST(Encounters, TablesPickLevelAndScriptByStageTerrainFlagsAndDraws) {
  const std::map<std::string, float> grass = {{"$grass01", 3}, {"$forest01", 9}, {"$hills01", 20}};
  const std::map<std::string, float> forest = {{"$grass01", 30}, {"$forest02", 4}};
  const std::map<std::string, float> hills = {{"$hills002", 5}, {"$forest02", 40}};
  const std::map<std::string, float> khosani = {{"$hills001", 5}, {"$hills002", 7}};
  const std::map<std::string, float> desert = {{"$desert01", 5}, {"$kasdrian01", 8}};
  const std::map<std::string, float> kasdrian = {{"$desert01", 50}, {"$kasdrian01", 8}};
  const Flag korel[] = {{L_THALEM1AA, "unhide_korel"}};
  const EncounterCase cases[] = {
      // Table A (stages 0-3).
      {"A grass day", 1, {}, grass, {0.2f}, {}, "rand-grassland01", "rand-grassland01"},
      {"A grass dusk", 1, {}, grass, {0.5f}, {}, "rand-grassland01", "rand-grassland01_v2"},
      {"A grass night", 1, {}, grass, {0.55f}, {}, "rand-grasslandnite01", "rand-grasslandnite01"},
      {"A Korel wins the coin", 2, {korel[0]}, grass, {0.3f}, {}, "rand-grassland01", "rand-grassland01_v3"},
      {"A Korel loses the coin", 2, {korel[0]}, grass, {0.7f, 0.1f}, {}, "rand-grassland01", "rand-grassland01"},
      {"A Korel gone", 2, {korel[0], {L_RAND_GRASSLAND01, "no_more_korel"}}, grass, {0.9f}, {},
       "rand-grasslandnite01", "rand-grasslandnite01"},
      {"A forest night", 0, {}, forest, {0.4f}, {}, "rand-forestnite1", "rand-forestnite1"},
      {"A forest day", 0, {}, forest, {0.6f}, {}, "rand-forest01", "rand-forest01"},
      {"A hills", 3, {}, hills, {0.6f}, {}, "rand-hills01", "rand-hills01"},
      {"A no markers is hills", 3, {}, {}, {0.1f}, {}, "rand-hillsnite01", "rand-hillsnite01"},
      {"A tie keeps hills", 3, {}, {{"$hills01", 5}, {"$grass01", 5}}, {0.1f}, {}, "rand-hillsnite01",
       "rand-hillsnite01"},
      // Table B (stages 4-8).
      {"B ghost rider first", 5, {{L_CATACOMBS, "got_ring_of_light"}, {L_KHOSANI_LAB, "got_ring_of_fire"}}, grass,
       {}, {}, "rand-forestnite1", "rand-forestnite1_v2"},
      {"B phoenix rider", 5, {{L_KHOSANI_LAB, "got_ring_of_fire"}}, grass, {}, {}, "rand-hills01",
       "rand-hills01_v2"},
      {"B beaten riders fall to terrain", 5,
       {{L_CATACOMBS, "got_ring_of_light"}, {L_RAND_FORESTNITE1, "ghost_killed"}}, forest, {0.1f}, {},
       "rand-forest01", "rand-forest01_v3"},
      {"B stone ring does not hold the forest", 6, {{L_IKAEMOS_TOP_INT, "got_ring_of_stone"}}, hills, {0.8f}, {},
       "rand-hills01", "rand-hills01"},
      {"B grass v3", 4, {}, grass, {0.05f}, {}, "rand-grassland01", "rand-grassland01_v3"},
      {"B grass nite 2", 4, {}, grass, {0.3f}, {}, "rand-grasslandnite01", "rand-grasslandnite012"},
      {"B grass nite", 4, {}, grass, {0.6f}, {}, "rand-grasslandnite01", "rand-grasslandnite01"},
      {"B forest v4", 4, {}, forest, {0.3f}, {}, "rand-forest01", "rand-forest01_v4"},
      {"B forest v3 night from stage 7", 7, {}, forest, {0.6f}, {}, "rand-forestnite1", "rand-forestnite1_v3"},
      {"B forest night before 7", 6, {}, forest, {0.6f}, {}, "rand-forestnite1", "rand-forestnite1"},
      {"B Khosani road", 5, {}, khosani, {0.5f}, {}, "rand-hills01", "rand-hills01_v3"},
      {"B Khosani found", 5, {{L_WORLDMAP1, "found_khosani"}}, khosani, {0.5f}, {}, "rand-hillsnite01",
       "rand-hillsnite01_v3"},
      {"B other hills low", 5, {}, hills, {0.2f}, {}, "rand-hillsnite01", "rand-hillsnite01_v2"},
      // Table C (stages 9-14).
      {"C desert night plain", 10, {}, desert, {0.2f, 0.1f}, {}, "rand-desertnite01", "rand-desertnite01"},
      {"C desert v2", 10, {}, desert, {0.7f, 0.5f, 0.2f}, {}, "rand-desert", "rand-desert_v2"},
      {"C desert v3", 12, {}, desert, {0.7f, 0.5f, 0.8f}, {}, "rand-desert", "rand-desert_v3"},
      {"C kasdria v2", 14, {}, kasdrian, {0.7f, 0.5f, 0.5f}, {}, "rand-kasdria01", "rand-kasdria01_v2"},
      {"C kasdria night", 9, {}, kasdrian, {0.2f, 0.2f}, {}, "rand-kasdrianite01", "rand-kasdrianite01"},
      // Table D (stage 15 on).
      {"D page seven", 16, {{L_RAND_FOREST01, "nhuvasarim_mq_bought_page7"}}, {}, {}, {}, "rand-icelandnite01",
       "rand-icelandnite01_v2"},
      {"D extra 1 once", 15, {}, {}, {0.3f}, {}, "rand-iceland01", "rand-iceland01_v2"},
      {"D haenul quest", 15, {{L_TEST, "extra_1"}, {L_KHOSANI_STRNG, "khosanistrng_haenulquest"}}, {}, {}, {},
       "rand-iceland01", "rand-iceland01_v4"},
      {"D gem held", 15, {{L_TEST, "extra_1"}, {L_KHOSANI_STRNG, "khosanistrng_haenulquest"}}, {}, {0.6f},
       {{"eraekor gemstone", 1}}, "rand-iceland01", "rand-iceland01"},
      {"D iceland night", 20, {{L_TEST, "extra_1"}}, {}, {0.9f}, {}, "rand-icelandnite01", "rand-icelandnite01"},
  };
  for (const EncounterCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeScriptHost h;
    for (const Flag& f : c.flags) h.put(f.level, f.name);
    h.markers = c.markers;
    h.draws.assign(c.draws.begin(), c.draws.end());
    h.items = c.items;
    EncounterChoice got = encounter_choose(c.stage);
    EXPECT_STREQ(got.level, c.level);
    EXPECT_STREQ(got.script, c.script);
    EXPECT_TRUE(h.draws.empty()) << "draws left unused";
    EXPECT_EQ(h.draws_past_end, 0) << "more draws taken than scripted";
  }
}

TEST(Encounters, OneTimeExtrasSetTheirFlags) {
  FakeScriptHost h;
  h.draws = {0.3f};
  encounter_choose(15);
  EXPECT_TRUE(h.get(L_TEST, "extra_1"));
  h.put(L_KHOSANI_STRNG, "khosanistrng_haenulquest");
  encounter_choose(15);
  EXPECT_TRUE(h.get(L_TEST, "extra_5"));
}

namespace {
// The map with the party arriving from a town; the leader walks.
struct MapFixture : ::testing::Test {
  FakeScriptHost h;
  void SetUp() override {
    h.previous = "thalem1aa";
    h.markers = {{"$forest01", 3}};
    h.run_init(L_WORLDMAP1);
    h.clear_log();
  }
  // Frames every 100 ms up to `ms` later.
  void walk(int ms) {
    for (int t = 0; t < ms; t += 100) {
      h.now += 100;
      h.run_frame(L_WORLDMAP1);
    }
  }
};
}  // namespace

TEST_F(MapFixture, TheFirstRollComes20SecondsAfterEntryThenEvery10) {
  h.draws = {0.9f, 0.9f, 0.1f, 0.6f};
  walk(19900);
  EXPECT_EQ(h.draws.size(), 4u);
  walk(100);
  EXPECT_EQ(h.draws.size(), 3u);
  walk(9900);
  EXPECT_EQ(h.draws.size(), 3u);
  walk(100);
  EXPECT_EQ(h.draws.size(), 2u);
  EXPECT_FALSE(h.logged("hud Encounter!"));
  walk(10000);  // r = 0.1 < 0.5: an encounter, forest by day (0.6)
  EXPECT_TRUE(h.logged("hud Encounter!"));
  EXPECT_TRUE(h.logged("debug loading rand-forest01"));
  EXPECT_TRUE(h.logged("load rand-forest01 rand-forest01 1"));
}

TEST_F(MapFixture, AStandingHeroTheNoEncounterStateOrTheSwitchOffMeanNoRoll) {
  h.leader_moving = 0.0f;
  h.draws = {0.0f};
  walk(60000);
  EXPECT_EQ(h.draws.size(), 1u);
  h.leader_moving = 1.0f;
  h.encounters_off = true;
  walk(60000);
  EXPECT_EQ(h.draws.size(), 1u);
  h.encounters_off = false;
  console_execute("random_encounters off");
  walk(60000);
  EXPECT_EQ(h.draws.size(), 1u);
  EXPECT_FALSE(Random_encounters_enabled);
  console_execute("random_encounters");
  EXPECT_TRUE(Random_encounters_enabled);
  walk(10000);
  EXPECT_TRUE(h.logged("hud Encounter!"));
}

TEST_F(MapFixture, ARiderRingWhoseRiderWasNotMetForcesTheRoll) {
  h.put(L_KHOSANI_LAB, "got_ring_of_fire");
  h.stage = 5;
  h.draws = {0.99f};
  walk(20000);
  EXPECT_TRUE(h.logged("load rand-hills01 rand-hills01_v2 1"));
  // Once the phoenix's intro has played, the ring forces nothing more.
  h.put(L_RAND_HILLS01, "phoenix_intro_played");
  h.clear_log();
  h.draws = {0.99f};
  walk(10000);
  EXPECT_FALSE(h.logged("hud Encounter!"));
}

TEST_F(MapFixture, TheStoneRingForcesNothing) {
  h.put(L_IKAEMOS_TOP_INT, "got_ring_of_stone");
  h.stage = 5;
  h.draws = {0.99f, 0.99f, 0.99f};
  walk(40000);
  EXPECT_FALSE(h.logged("hud Encounter!"));
}

TEST_F(MapFixture, AnEncounterStoresThePlaceAndTheReturnRestoresIt) {
  h.leader_at.pos = {120.5f, 3.25f, -44.0f};
  h.leader_at.heading = 1.25f;
  h.leader_at.plane = 2;
  h.draws = {0.0f, 0.0f};
  walk(20000);
  ASSERT_TRUE(h.logged("load rand-forestnite1 rand-forestnite1 1"));
  EXPECT_EQ(h.floats["4 worldmap_last_pos_x"], 120.5f);
  EXPECT_EQ(h.floats["4 worldmap_last_pos_z"], -44.0f);
  EXPECT_EQ(h.floats["4 worldmap_last_pos_heading"], 1.25f);
  EXPECT_EQ(h.ints["4 worldmap_last_pos_plane"], 2);
  // Back from the encounter level (its name in any case).
  h.run_exit(L_WORLDMAP1);
  h.previous = "RAND-FORESTNITE1";
  h.clear_log();
  h.run_init(L_WORLDMAP1);
  EXPECT_TRUE(h.logged("party_starts 120.5 3.25 -44 1.25 2"));
  // From a town the map keeps its own starts.
  h.previous = "thalem1aa";
  h.clear_log();
  h.run_init(L_WORLDMAP1);
  EXPECT_TRUE(h.lines("party_starts").empty());
}

TEST_F(MapFixture, TheWalkerIsSlowedAndGetsItsOwnSpeedBackAfterAHeroSwitch) {
  // Init averaged walk 2 and run 6 for hero 7; a second init keeps that.
  EXPECT_EQ(h.run_speeds[7], 4.0f);
  console_execute("reinits worldmap");
  EXPECT_EQ(h.run_speeds[7], 4.0f);
  h.leader_handle = 9;  // F6 on the map
  h.clear_log();
  h.run_exit(L_WORLDMAP1);
  EXPECT_TRUE(h.logged("run_speed 7 6"));
  EXPECT_TRUE(h.lines("run_speed 9").empty());
  EXPECT_TRUE(h.logged("party_show_only -1"));
}

TEST_F(MapFixture, ReinitsWorldmapRunsTheInitAgain) {
  console_execute("reinits worldmap");
  EXPECT_TRUE(h.logged("music worldmap1"));
  h.clear_log();
  console_execute("reinits thalem");
  EXPECT_FALSE(h.logged("music worldmap1"));
}

TEST(EncounterLevels, InitsStoreTheirMusicAndHideByFlags) {
  FakeScriptHost h;
  struct Case {
    int row;
    const char* variant;
    const char* music;
  } cases[] = {{L_RAND_ICELAND01, "", "rand-iceland01"},        {L_RAND_ICELANDNITE01, "", "rand-iceland01"},
               {L_RAND_GRASSLANDNITE01, "", "rand-grassland01"}, {L_RAND_DESERTNITE01, "", "Rand-Desert"},
               {L_RAND_DESERT, "", "rand-desert"},              {L_RAND_HILLSNITE01, "", "rand-hills01"},
               {L_RAND_KASDRIA01, "", "rand-kasdria01"},        {L_RAND_KASDRIANITE01, "", "rand-kasdria01"}};
  for (const Case& c : cases) {
    h.clear_log();
    h.variant = c.variant;
    h.run_init(c.row);
    EXPECT_TRUE(h.logged(std::string("music ") + c.music)) << c.row;
  }
  h.put(L_RAND_KASDRIANITE01, "cat_quest_done");
  h.variant = "rand-kasdrianite01_v3";
  h.clear_log();
  h.run_init(L_RAND_KASDRIANITE01);
  EXPECT_TRUE(h.logged("hide Death"));
  h.variant = "rand-kasdria01_v3";
  h.run_init(L_RAND_KASDRIA01);
  EXPECT_FALSE(h.logged("hide Ahlang"));
  h.put(L_RAND_KASDRIA01, "ahlang_quest_done");
  h.run_init(L_RAND_KASDRIA01);
  EXPECT_TRUE(h.logged("hide Ahlang"));
}

TEST(EncounterLevels, GrasslandShowsKorelsBandOnlyInItsVariantAndTurnsItHostile) {
  FakeScriptHost h;
  h.put(L_THALEM1AA, "unhide_korel");
  h.run_init(L_RAND_GRASSLAND01);
  EXPECT_TRUE(h.hidden.count("lord korel"));
  EXPECT_TRUE(h.logged("stage 0"));
  EXPECT_TRUE(h.logged("equip Zazuru Spineslicer"));
  h.variant = "rand-grassland01_v3";
  h.run_init(L_RAND_GRASSLAND01);
  EXPECT_FALSE(h.hidden.count("lord korel"));
  EXPECT_FALSE(h.hidden.count("bandit#6"));
  EXPECT_TRUE(h.hidden.count("zane"));
  h.clear_log();
  h.run_event(L_RAND_GRASSLAND01, "korelhostile");
  EXPECT_EQ(h.lines("hostile ").size(), 7u);
  EXPECT_TRUE(h.logged("hostile Lord Korel"));
}

TEST(EncounterLevels, TheForestRoadShowsItsFourInstructionsOneAfterAnother) {
  FakeScriptHost h;
  h.run_init(L_RAND_FOREST01);
  EXPECT_TRUE(h.logged("give Ring of Stone"));
  for (int i = 0; i < 4; i++) {
    ASSERT_TRUE(h.popup_is_open);
    h.press(0);
  }
  auto popups = h.lines("popup Instructions");
  ASSERT_EQ(popups.size(), 4u);
  EXPECT_EQ(popups[0], "popup Instructions | Left-click an opponent to start combat.\n\nRight-click to perform "
                       "chain attacks. [OK]");
  EXPECT_EQ(popups[3], "popup Instructions | Press F1 for more help or open readme.txt for more information. [OK]");
  EXPECT_FALSE(h.popup_is_open);
}

TEST(EncounterLevels, ThePhoenixRiderFightsDismountsEscapesAndIsGoneForGood) {
  FakeScriptHost h;
  h.variant = "rand-hills01_v2";
  h.run_init(L_RAND_HILLS01);
  EXPECT_TRUE(h.logged("exit_off worldmap1"));
  h.run_frame(L_RAND_HILLS01);
  EXPECT_TRUE(h.lines("cutscene").empty());
  h.near["$bosstrigger"] = 5.0f;
  h.run_frame(L_RAND_HILLS01);
  h.run_frame(L_RAND_HILLS01);
  EXPECT_EQ(h.count("cutscene PHNX-Intro"), 1);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("play_music Boss loop"));
  h.dead.insert("warhorse1");
  h.run_frame(L_RAND_HILLS01);
  EXPECT_TRUE(h.logged("cutscene PHNX-Dismount"));
  h.dead.insert("phoenix rider");
  h.run_frame(L_RAND_HILLS01);
  h.run_frame(L_RAND_HILLS01);
  EXPECT_EQ(h.count("cutscene PHNX-Escape"), 1);
  h.end_cutscenes();
  EXPECT_TRUE(h.get(L_RAND_HILLS01, "phoenix_killed"));
  EXPECT_TRUE(h.get(L_RAND_HILLS01, "phoenix_killed2"));
  EXPECT_TRUE(h.logged("exit_on worldmap1"));
  h.clear_log();
  h.run_init(L_RAND_HILLS01);
  EXPECT_TRUE(h.logged("hide Phoenix Rider"));
  EXPECT_FALSE(h.logged("exit_off worldmap1"));
  h.run_event(L_RAND_HILLS01, "GotoKhosani");
  EXPECT_TRUE(h.get(L_WORLDMAP1, "found_khosani"));
}

// Masad, the tutorial village, and the developer's test level, on the fake
// host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "tests/support/fake_script_host.h"

TEST(Masad, ANewGamePlaysThePreIntroThenTheIntroOnce) {
  FakeScriptHost h;
  h.run_init(L_MASAD);
  EXPECT_TRUE(h.logged("exit_off worldmap1"));
  EXPECT_TRUE(h.logged("music masad"));
  h.run_frame(L_MASAD);
  h.run_frame(L_MASAD);
  EXPECT_EQ(h.lines("cutscene").size(), 1u);
  EXPECT_TRUE(h.logged("equip (leader) Tunic"));
  // The flag is set before the cutscene starts.
  auto set = std::find(h.log.begin(), h.log.end(), "set_flag 3 masad_intro 1");
  auto cs = std::find(h.log.begin(), h.log.end(), "cutscene Game-Pre-Intro");
  ASSERT_NE(set, h.log.end());
  EXPECT_LT(set, cs);
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Game-Pre-Intro", "cutscene Game-Intro"}));
  EXPECT_TRUE(h.logged("ai_off CS#"));
  // A save made in Masad comes back with the flag: nothing plays.
  h.clear_log();
  h.run_init(L_MASAD);
  h.run_frame(L_MASAD);
  EXPECT_TRUE(h.lines("cutscene").empty());
}

TEST(Masad, TheBarriersFollowTheCombatLesson) {
  struct Case {
    bool p2;
    bool door1_open;
    bool fire2_hidden;
  } cases[] = {{false, false, false}, {true, true, true}};
  for (const Case& c : cases) {
    FakeScriptHost h;
    h.put(L_MASAD, "masad_intro");
    if (c.p2) h.put(L_MASAD, "masad_basic_combat_tutorial_part2");
    h.run_init(L_MASAD);
    EXPECT_EQ(h.two_stage["invis-door01"], c.door1_open);
    EXPECT_TRUE(h.two_stage["invis-door02"]);
    EXPECT_TRUE(h.two_stage["invis-door03"]);
    EXPECT_TRUE(h.logged("fx_hide masad-firedoor1.vfx"));
    EXPECT_EQ(h.logged("fx_hide masad-firedoor2.vfx"), c.fire2_hidden);
  }
}

TEST(Masad, TheTutorialStepsGatherTalkAndStartTheBarbarian) {
  FakeScriptHost h;
  h.put(L_MASAD, "masad_intro");
  h.run_init(L_MASAD);
  h.char_distance["nath"] = 9.5f;
  h.run_frame(L_MASAD);
  EXPECT_EQ(h.lines("order"), (std::vector<std::string>{"order Khag 15 2", "order Uvala 15 2", "order Nath 15 2"}));
  // No talk while another conversation runs.
  h.near["$nath_trigger"] = 2.0f;
  h.conversation_running = true;
  h.run_frame(L_MASAD);
  EXPECT_FALSE(h.logged("talk Nath"));
  h.conversation_running = false;
  h.run_frame(L_MASAD);
  h.run_frame(L_MASAD);
  EXPECT_EQ(h.count("talk Nath"), 1);
  // The barbarian waits for the talk and the cut trigger, never in a cutscene.
  h.near["$cuttrig"] = 2.0f;
  h.cutscene_running = true;
  h.run_frame(L_MASAD);
  EXPECT_FALSE(h.logged("cutscene Barbarian-Intro"));
  h.cutscene_running = false;
  h.run_frame(L_MASAD);
  EXPECT_TRUE(h.logged("cutscene Barbarian-Intro"));
  EXPECT_TRUE(h.logged("resume Barbarian Fighter#$npc037"));
  // The boss music waits while the game is paused, then plays once.
  h.paused = true;
  h.run_frame(L_MASAD);
  EXPECT_FALSE(h.logged("play_music Boss loop"));
  h.paused = false;
  h.run_frame(L_MASAD);
  h.run_frame(L_MASAD);
  EXPECT_EQ(h.count("play_music Boss loop"), 1);
  h.dead.insert("barbarian fighter#$npc037");
  h.run_frame(L_MASAD);
  h.run_frame(L_MASAD);
  EXPECT_EQ(h.count("play_music masad loop"), 1);
}

TEST(Masad, TheWayOutOpensOnlyAfterTheBarbarianAndArrivesAtEntryTwo) {
  FakeScriptHost h;
  h.put(L_MASAD, "masad_intro");
  h.run_init(L_MASAD);
  EXPECT_FALSE(h.run_use(L_MASAD, "worldmap1"));
  EXPECT_TRUE(h.lines("cutscene").empty());
  h.dead.insert("barbarian fighter#$npc037");
  EXPECT_FALSE(h.run_use(L_MASAD, "WORLDMAP1"));
  EXPECT_TRUE(h.logged("cutscene Nar-Leaving-Masad"));
  EXPECT_TRUE(h.lines("load").empty());
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("load worldmap1 worldmap1 2"));
  h.clear_log();
  h.run_use(L_MASAD, "thalem1aa");
  EXPECT_TRUE(h.lines("cutscene").empty());
}

TEST(Masad, TheSecondVariantHasNoTutorial) {
  FakeScriptHost h;
  h.variant = "MASAD_V2";
  h.run_init(L_MASAD);
  EXPECT_TRUE(h.logged("stage 0"));
  EXPECT_FALSE(h.logged("exit_off worldmap1"));
  for (const char* d : {"invis-door01", "invis-door02", "invis-door03"}) EXPECT_TRUE(h.two_stage[d]) << d;
  for (const char* fx : {"fx_hide masad-firedoor1.vfx", "fx_hide masad-firedoor2.vfx", "fx_hide masad-fire1.vfx"})
    EXPECT_TRUE(h.logged(fx)) << fx;
  h.clear_log();
  h.near["$cuttrig"] = h.near["$nath_trigger"] = 0.0f;
  h.char_distance["nath"] = 0.0f;
  h.dead.insert("barbarian fighter#$npc037");
  h.run_frame(L_MASAD);
  EXPECT_TRUE(h.log.empty());
}

TEST(Masad, EventsSetTheTalkFlagAndSendOrders) {
  FakeScriptHost h;
  h.run_event(L_MASAD, "talknath");
  EXPECT_TRUE(h.get(L_MASAD, "masad_talked_to_nath"));
  h.run_event(L_MASAD, "LaekhoCall");
  h.run_event(L_MASAD, "KILLAESIK");
  h.run_event(L_MASAD, "Other");
  EXPECT_EQ(h.lines("order"),
            (std::vector<std::string>{"order Kasdrian Scout#$npc014 15 1", "order Aesik 15 1"}));
}

TEST(TestLevel, ActsOnlyInDeveloperMode) {
  FakeScriptHost h;
  h.wielded.insert("katana");
  h.run_init(L_TEST);
  h.run_frame(L_TEST);
  EXPECT_TRUE(h.log.empty());
  h.developer = true;
  h.run_init(L_TEST);
  h.run_frame(L_TEST);
  EXPECT_TRUE(h.logged("stage 22"));
  EXPECT_TRUE(h.logged("hero_say Ruvizo 0.5 I'm wielding a katana."));
  EXPECT_FALSE(h.run_use(L_TEST, "worldmap1"));
}

// The temple of Zhorek, the ending and Ikaemos, on the fake host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "tests/support/fake_script_host.h"

TEST(TempleInt2, MachivalsFormsFallInOrderAndTheFirstEndingRequestsTheScreensState) {
  FakeScriptHost h;
  h.party = {"ruvizo", "zazuru", "rivud", "rivadara"};
  h.run_init(L_TEMPLE_INT2);
  EXPECT_TRUE(h.logged("exit_off thalem3a"));
  h.run_frame(L_TEMPLE_INT2);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("open T-CRoom-L0WoodDoor02"));
  EXPECT_TRUE(h.logged("play_music Machival loop"));
  h.run_frame(L_TEMPLE_INT2);
  EXPECT_TRUE(h.logged("resurrect Black Knight"));
  for (const char* form : {"evil zhorek", "evil ruvizo", "machival"}) {
    h.dead.insert(form);
    h.run_frame(L_TEMPLE_INT2);
    h.run_frame(L_TEMPLE_INT2);
    h.end_cutscenes();
  }
  EXPECT_EQ(h.lines("cutscene"),
            (std::vector<std::string>{"cutscene Nar-TempleAct4", "cutscene Machival-intro", "cutscene Machival-Trans1",
                                      "cutscene Machival-Trans2", "cutscene Machival-Death"}));
  EXPECT_TRUE(h.logged("boss_transform"));
  EXPECT_TRUE(h.logged("hide Black Knight#6"));
  EXPECT_FALSE(h.party_has("Rivud"));
  EXPECT_EQ(h.count("play_music Questions"), 1);
  // The knights stay down once Machival has fallen.
  h.clear_log();
  h.run_frame(L_TEMPLE_INT2);
  EXPECT_FALSE(h.logged("resurrect Black Knight"));
  EXPECT_FALSE(h.logged("play_music Questions"));
  h.near["$end2trig"] = 4.0f;
  h.run_frame(L_TEMPLE_INT2);
  EXPECT_TRUE(h.party_has("Rivud"));
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene End1-EnterForge", "cutscene End1-Montage"}));
  EXPECT_TRUE(h.logged("state 9"));
}

TEST(TempleInt2, LeavingBeforeMachivalFallsIsRefusedAfterItPlaysTheSecondEnding) {
  FakeScriptHost h;
  h.run_init(L_TEMPLE_INT2);
  EXPECT_FALSE(h.run_use(L_TEMPLE_INT2, "thalem3a"));
  EXPECT_TRUE(h.logged("hero_say Ruvizo 5 We're not leaving until we've captured Machival!"));
  EXPECT_TRUE(h.lines("cutscene End2").empty());
  h.put(L_TEMPLE_INT2, "mach_killed");
  h.run_use(L_TEMPLE_INT2, "THALEM3A");
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene End2"),
            (std::vector<std::string>{"cutscene End2-LeaveTemple", "cutscene End2-Montage"}));
  EXPECT_TRUE(h.logged("state 9"));
}

TEST(TempleInt, TheTigerRiderEndsTheSecondActAndHandsOverToTheNextHero) {
  FakeScriptHost h;
  h.party = {"ruvizo", "rivud"};
  h.variant = "templeint_v2";
  h.run_init(L_TEMPLE_INT);
  EXPECT_TRUE(h.logged("stage 8"));
  EXPECT_TRUE(h.logged("party_remove Zazuru"));
  h.near["$tigertrigger"] = 4.0f;
  h.run_frame(L_TEMPLE_INT);
  h.end_cutscenes();
  h.run_frame(L_TEMPLE_INT);
  EXPECT_TRUE(h.logged("play_music Boss loop"));
  h.boss_stages["tiger rider"] = 1;
  h.run_frame(L_TEMPLE_INT);
  h.dead.insert("tiger rider");
  h.run_frame(L_TEMPLE_INT);
  h.run_frame(L_TEMPLE_INT);
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Tiger-Intro", "cutscene Tiger-Dismount",
                                                            "cutscene Tiger-Escape", "cutscene Act2-Outro"}));
  EXPECT_TRUE(h.logged("strip Ruvizo keep Short Sword"));
  EXPECT_TRUE(h.logged("party_remove Ruvizo"));
  EXPECT_TRUE(h.logged("load eleh eleh -1"));
  EXPECT_TRUE(h.get(L_TEMPLE_INT, "act2_done"));
}

TEST(TempleInt, WithNobodyToTakeOverTheActDoesNotEndIntoAnEmptyParty) {
  FakeScriptHost h;
  h.party = {"ruvizo"};
  h.variant = "templeint_v2";
  h.put(L_TEMPLE_INT, "tiger_intro_played");
  h.put(L_TEMPLE_INT, "tiger_dismount_played");
  h.dead.insert("tiger rider");
  h.run_frame(L_TEMPLE_INT);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("debug No character!"));
  EXPECT_TRUE(h.party_has("Ruvizo"));
  EXPECT_TRUE(h.lines("load").empty());
}

TEST(TempleInt, WindowsAndMosaicsPlayTheirMythsThenTheHierophantTalks) {
  FakeScriptHost h;
  h.run_init(L_TEMPLE_INT);
  h.run_event(L_TEMPLE_INT, "MosaicCutscene3");
  h.cutscene_running = true;
  h.run_frame(L_TEMPLE_INT);
  EXPECT_TRUE(h.lines("cutscene").empty());
  h.cutscene_running = false;
  h.run_frame(L_TEMPLE_INT);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("cutscene ZhorekMyth2c"));
  EXPECT_TRUE(h.logged("talk Hierophant"));
  EXPECT_FALSE(h.run_use(L_TEMPLE_INT, "thalem1c"));
  EXPECT_TRUE(h.logged("hero_say Ruvizo 5 We're supposed to wait for Tessam."));
}

TEST(IkaemosTopInt, DaggerSlotsOpenTheDoorAndTheRingDecidesThePriestKing) {
  FakeScriptHost h;
  h.run_init(L_IKAEMOS_TOP_INT);
  for (int i = 1; i <= 4; i++)
    EXPECT_TRUE(h.run_use(L_IKAEMOS_TOP_INT, ("Puzzle-Slot0" + std::to_string(i)).c_str()));
  EXPECT_TRUE(h.run_use(L_IKAEMOS_TOP_INT, "Puzzle-Slot02"));
  EXPECT_EQ(h.count("hero_say Ruvizo 5 We've unlocked it already."), 1);
  EXPECT_TRUE(h.get(L_IKAEMOS_TOP_INT, "ikaemos_slot2"));
  EXPECT_TRUE(h.run_use(L_IKAEMOS_TOP_INT, "Box01"));
  EXPECT_FALSE(h.run_use(L_IKAEMOS_TOP_INT, "ikaemosext"));
  EXPECT_TRUE(h.logged("hero_say Ruvizo 5 I need to get the ring of stone!"));
  h.run_frame(L_IKAEMOS_TOP_INT);
  EXPECT_TRUE(h.logged("open Door02-01"));
  h.near["$ipktrigger"] = 2.0f;
  h.run_frame(L_IKAEMOS_TOP_INT);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("exit_off ikaemosext"));
  h.dead.insert("ikaemos priest king");
  h.run_frame(L_IKAEMOS_TOP_INT);
  EXPECT_FALSE(h.get(L_IKAEMOS_TOP_INT, "got_ring_of_stone"));
  EXPECT_FALSE(h.logged("exit_on ikaemosext"));
  h.items["ring of stone"] = 1;
  h.run_frame(L_IKAEMOS_TOP_INT);
  EXPECT_TRUE(h.get(L_IKAEMOS_TOP_INT, "got_ring_of_stone"));
  EXPECT_TRUE(h.logged("exit_on ikaemosext"));
  EXPECT_TRUE(h.logged("text Ruvizo acquired Summon Golem!"));
}

TEST(IkaemosBottomInt2, TitusIsImmuneUntilTheRingAndZazuruRepeatsHerLine) {
  FakeScriptHost h;
  h.run_init(L_IKAEMOS_BOTTOM_INT2);
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  h.end_cutscenes();  // timer 30000 from now
  h.now += 29999;
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  EXPECT_EQ(h.lines("hero_say").size(), 0u);
  h.now += 1;
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  h.now += 24999;
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  h.now += 1;
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  EXPECT_EQ(h.count("hero_say Zazuru 5 He's immune to our attacks!"), 2);
  h.dead.insert("titus");
  h.items["ring of stone"] = 1;
  h.run_frame(L_IKAEMOS_BOTTOM_INT2);
  EXPECT_TRUE(h.get(L_IKAEMOS_BOTTOM_INT2, "trapped_titus"));
  EXPECT_TRUE(h.logged("cutscene Titus-Death"));
  h.clear_log();
  h.run_init(L_IKAEMOS_BOTTOM_INT2);
  EXPECT_TRUE(h.logged("hide Titus"));
}

TEST(Ikaemos, OutsideIntrosPlayOnce) {
  FakeScriptHost h;
  for (int row : {L_IKAEMOS_EXT, L_IKAEMOS_EXT2}) {
    h.run_init(row);
    h.run_frame(row);
    h.run_frame(row);
  }
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Nar-Ikaemos", "cutscene Nar-IkaemosAct4"}));
}

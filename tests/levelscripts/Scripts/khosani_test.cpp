// The Khosani stronghold and lab, Odrin and the catacombs, on the fake host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "tests/support/fake_script_host.h"

TEST(Catacombs, TheSkullDoorWaitsForBothBallsThenCaradosAndTheRing) {
  FakeScriptHost h;
  h.run_init(L_CATACOMBS);
  EXPECT_TRUE(h.logged("music Catacombs"));
  EXPECT_TRUE(h.logged("stage 3"));
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.logged("cutscene cryptintro"));
  h.near["$doortrigger"] = 5.0f;
  h.run_use(L_CATACOMBS, "Puzzle-Pedestal01");
  EXPECT_TRUE(h.logged("fx_place CatacombsEffect.vfx Puzzle-Ball01"));
  h.run_frame(L_CATACOMBS);
  EXPECT_FALSE(h.get(L_CATACOMBS, "maindoor_open"));
  h.run_use(L_CATACOMBS, "Puzzle-Ball02");
  h.run_frame(L_CATACOMBS);
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.two_stage["puzzle-skulldoor01"]);
  EXPECT_EQ(h.count("hero_say Rivadara 6 Here it is! The tomb of the goddess Odrin!"), 1);
  h.near["$ctrigger"] = 3.0f;
  h.run_frame(L_CATACOMBS);
  EXPECT_EQ(h.count("cutscene Carados-Intro"), 1);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("resume Bone Mage#Guard2"));
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.logged("play_music Boss loop"));
  h.dead.insert("carados");
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.get(L_CATACOMBS, "catacombs_boss_dead"));
  EXPECT_FALSE(h.get(L_CATACOMBS, "got_ring_of_light"));
  h.items["ring of light"] = 1;
  h.run_frame(L_CATACOMBS);
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.get(L_CATACOMBS, "got_ring_of_light"));
  EXPECT_EQ(h.count("text Ruvizo acquired Summon Mist Elemental!"), 1);
  EXPECT_EQ(h.count("play_music Catacombs loop"), 1);
  // A reload puts balls, effects and doors back and Carados stays gone.
  h.clear_log();
  h.two_stage.clear();
  h.run_init(L_CATACOMBS);
  EXPECT_TRUE(h.logged("fx_place CatacombsEffect.vfx Puzzle-Ball02"));
  EXPECT_TRUE(h.two_stage["puzzle-skulldoor01"]);
  EXPECT_TRUE(h.logged("hide Carados"));
  h.run_frame(L_CATACOMBS);
  EXPECT_TRUE(h.lines("cutscene").empty());
}

TEST(Catacombs, TheKingsTombBonusNeedsExactlyTheTwoRightTombs) {
  struct Case {
    std::vector<const char*> opened;  // in order
    bool crypt;
    bool bonus;
  } cases[] = {
      {{"cry_kinge"}, false, false},
      {{"cry_kinge", "cry_kingf"}, true, true},
      {{"cry_kingf", "cry_kinge"}, true, true},
      {{"cry_kinga", "cry_kinge", "cry_kingf"}, true, false},
      {{"cry_kinge", "cry_kingm", "cry_kingf"}, true, false},
      {{"cry_kingb", "cry_kingc"}, false, false},
  };
  for (const Case& c : cases) {
    FakeScriptHost h;
    std::string what;
    for (const char* t : c.opened) {
      what += std::string(t) + " ";
      EXPECT_FALSE(h.run_use(L_CATACOMBS, t));
    }
    SCOPED_TRACE(what);
    EXPECT_EQ(h.get(L_CATACOMBS, "main_crypt_open"), c.crypt);
    EXPECT_EQ(h.two_stage["cry_tombcen"], c.crypt);
    EXPECT_EQ(h.count("xp 2000"), c.bonus ? 1 : 0);
  }
}

TEST(KhosaniLab, PylonTriggersWorkOnTheOppositeDoorAndReleaseGolemsWhenNothingChanges) {
  // trigger, door, the state it sets: left opens 01, 02, 05; right the rest.
  struct Case {
    const char* trigger;
    const char* door;
    bool open;
  } cases[] = {
      {"LeftPylonTrigger-06", "lab-rm3-doorpylon01", true},  {"LeftPylonTrigger-05", "lab-rm3-doorpylon02", true},
      {"LeftPylonTrigger-04", "lab-rm3-doorpylon03", false}, {"LeftPylonTrigger-03", "lab-rm3-doorpylon04", false},
      {"LeftPylonTrigger-02", "lab-rm3-doorpylon05", true},  {"LeftPylonTrigger-01", "lab-rm3-doorpylon06", false},
      {"RightPylonTrigger-06", "lab-rm3-doorpylon01", false}, {"RightPylonTrigger-04", "lab-rm3-doorpylon03", true},
      {"RightPylonTrigger-01", "lab-rm3-doorpylon06", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trigger);
    FakeScriptHost h;
    h.two_stage[c.door] = !c.open;
    EXPECT_TRUE(h.run_use(L_KHOSANI_LAB, c.trigger));
    EXPECT_EQ(h.two_stage[c.door], c.open);
    EXPECT_TRUE(h.lines("resume").empty());
  }
  // A use that finds its pylon already set releases the next trap, at most four.
  FakeScriptHost h;
  h.two_stage["lab-rm3-doorpylon01"] = true;
  for (int i = 0; i < 6; i++) h.run_use(L_KHOSANI_LAB, "LeftPylonTrigger-06");
  EXPECT_EQ(h.lines("resume"), (std::vector<std::string>{"resume Onyx Golem#1", "resume Onyx Golem#2",
                                                          "resume Onyx Golem#3", "resume Onyx Golem#4"}));
  EXPECT_TRUE(h.get(L_KHOSANI_LAB, "room2_door4"));
  for (int i = 1; i <= 4; i++) h.dead.insert("onyx golem#" + std::to_string(i));
  h.run_frame(L_KHOSANI_LAB);
  EXPECT_TRUE(h.get(L_KHOSANI_LAB, "room2_killed"));
  for (int i = 1; i <= 6; i++) EXPECT_TRUE(h.two_stage["lab-rm3-doorpylon0" + std::to_string(i)]);
}

TEST(KhosaniLab, RunesMustBeTurnedInOrderElseASteelGolemAndTheRunesTurnBack) {
  FakeScriptHost h;
  h.run_init(L_KHOSANI_LAB);
  h.run_use(L_KHOSANI_LAB, "Lab-Rm7-Runenumber01");
  h.run_use(L_KHOSANI_LAB, "Lab-Rm7-Runenumber02");
  EXPECT_TRUE(h.two_stage["lab-rm7-runenumber02"]);
  h.run_use(L_KHOSANI_LAB, "Lab-Rm7-Runenumber04");  // 03 not turned
  EXPECT_FALSE(h.two_stage["lab-rm7-runenumber04"]);
  EXPECT_TRUE(h.logged("resume Steel Golem#1"));
  EXPECT_TRUE(h.logged("open LAB-Rm2-SDoor05"));
  h.now += 1999;
  h.run_frame(L_KHOSANI_LAB);
  EXPECT_TRUE(h.two_stage["lab-rm7-runenumber01"]);
  h.now += 1;
  h.run_frame(L_KHOSANI_LAB);
  EXPECT_FALSE(h.two_stage["lab-rm7-runenumber01"]);
  EXPECT_FALSE(h.two_stage["lab-rm7-runenumber02"]);
  // The golems come out in the order 1, 4, 3, 2.
  for (const char* r : {"Lab-Rm7-Runenumber03", "Lab-Rm7-Runenumber05", "Lab-Rm7-Runenumber06"})
    h.run_use(L_KHOSANI_LAB, r);
  EXPECT_EQ(h.lines("resume Steel"), (std::vector<std::string>{"resume Steel Golem#1", "resume Steel Golem#4",
                                                                "resume Steel Golem#3", "resume Steel Golem#2"}));
  // In order, the sixth opens the door.
  FakeScriptHost g;
  for (int i = 1; i <= 6; i++) g.run_use(L_KHOSANI_LAB, ("Lab-Rm7-Runenumber0" + std::to_string(i)).c_str());
  EXPECT_TRUE(g.logged("open LAB-Rm4-Door04"));
  EXPECT_TRUE(g.get(L_KHOSANI_LAB, "room7_finished"));
  EXPECT_TRUE(g.lines("resume").empty());
}

TEST(KhosaniLab, AnnouncementsGiveTheDeferredExperienceOfCleanTests) {
  struct Case {
    const char* failed;  // flag of a failed test, or null
    const char* room;
    const char* xp;
  } cases[] = {{nullptr, "$rm2", "xp 1000"}, {"room1_stepped", "$rm2", nullptr},
               {nullptr, "$rm4", "xp 1200"}, {"room2_door4", "$rm4", nullptr},
               {nullptr, "$rm8", "xp 2000"}, {"room7_killed", "$rm8", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.room) + (c.failed ? c.failed : ""));
    FakeScriptHost h;
    h.two_stage["gate-room2"] = true;
    if (c.failed) h.put(L_KHOSANI_LAB, c.failed);
    h.near[c.room] = 2.0f;
    h.run_frame(L_KHOSANI_LAB);
    EXPECT_EQ(h.lines("say Dizavadi").size(), 1u);
    EXPECT_EQ(h.lines("xp").size(), c.xp ? 1u : 0u);
    if (c.xp) EXPECT_TRUE(h.logged(c.xp));
  }
}

TEST(KhosaniLab, TheSalamankaTransformsTwiceThenGivesTheRing) {
  FakeScriptHost h;
  h.run_init(L_KHOSANI_LAB);
  h.near["$salstart"] = 3.0f;
  h.run_frame(L_KHOSANI_LAB);
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("give Ring of Fire"));
  h.boss_stages["giant salamanka"] = 1;
  h.run_frame(L_KHOSANI_LAB);
  h.boss_stages["giant salamanka"] = 2;
  h.run_frame(L_KHOSANI_LAB);
  h.dead.insert("giant salamanka");
  h.run_frame(L_KHOSANI_LAB);
  h.end_cutscenes();
  h.run_frame(L_KHOSANI_LAB);
  EXPECT_EQ(h.lines("cutscene"),
            (std::vector<std::string>{"cutscene GiantSalamanka-Intro", "cutscene GiantSalamanka-Trans1",
                                      "cutscene GiantSalamanka-Trans2", "cutscene GiantSalamanka-Death"}));
  // Each change goes on in the boss layer once its cutscene has played.
  EXPECT_EQ(h.lines("boss_stage_done"), (std::vector<std::string>{"boss_stage_done Giant Salamanka 1",
                                                                  "boss_stage_done Giant Salamanka 2"}));
  EXPECT_TRUE(h.get(L_KHOSANI_LAB, "got_ring_of_fire"));
  EXPECT_TRUE(h.logged("open BOSS-GateB-Door01"));
  EXPECT_TRUE(h.logged("text Ruvizo acquired Summon Red Minotaur!"));
}

TEST(KhosaniLab, FlippersTurnTheirNeighboursAndRaiseFullColumns) {
  FakeScriptHost h;
  // Cell 09 is row 1, column 1 (of seven columns): it turns 02, 16, 08, 10.
  h.run_use(L_KHOSANI_LAB, "puzzle-flippers09");
  for (const char* on : {"puzzle-flippers02", "puzzle-flippers16", "puzzle-flippers08", "puzzle-flippers10"})
    EXPECT_TRUE(h.two_stage[on]) << on;
  EXPECT_FALSE(h.two_stage["puzzle-flippers09"]);
  // Column 0 becomes whole with 01 and 15 too: platform 01 rises.
  h.two_stage["puzzle-flippers01"] = true;
  h.two_stage["puzzle-flippers15"] = true;
  h.run_use(L_KHOSANI_LAB, "puzzle-flippers21");  // turns 14 and 20 only
  EXPECT_TRUE(h.two_stage["lavaplatform01"]);
  EXPECT_FALSE(h.two_stage["lavaplatform02"]);
  EXPECT_FALSE(h.run_use(L_KHOSANI_LAB, "puzzle-flippers99"));
}

TEST(KhosaniStrng, VariantsSetStageDoorsAndExits) {
  struct Case {
    const char* variant;
    const char* stage;
    bool door1, door2;
    const char* exit;
  } cases[] = {{"khosanistrng_v6", "stage 20", false, true, nullptr},
               {"khosanistrng_v5", "stage 18", false, false, nullptr},
               {"khosanistrng_v4", "stage 17", true, false, "exit_on khosanilab2"},
               {"khosanistrng_v3", "stage 15", false, true, "exit_off khosanilab2"},
               {"", "stage 5", false, false, "exit_on khosanilab"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    FakeScriptHost h;
    h.variant = c.variant;
    h.run_init(L_KHOSANI_STRNG);
    EXPECT_TRUE(h.logged(c.stage));
    EXPECT_EQ(h.two_stage["door-fliplaby01"], c.door1);
    EXPECT_EQ(h.two_stage["door-fliplaby02"], c.door2);
    if (c.exit) EXPECT_TRUE(h.logged(c.exit));
    EXPECT_TRUE(h.get(L_WORLDMAP1, "found_khosani"));
  }
}

TEST(KhosaniStrng, DizavadiSwitchesEveryGreeting) {
  FakeScriptHost h;
  h.run_event(L_KHOSANI_STRNG, "Dizavadi");
  EXPECT_EQ(h.lines("topic_on").size(), 21u);
  EXPECT_TRUE(h.logged("topic_on Khosani Priestess#9 / \"Hail\"#2"));
  EXPECT_TRUE(h.logged("topic_off Keeper of Lore / \"Hail\""));
  EXPECT_TRUE(h.get(L_KHOSANI_STRNG, "khosani_strng_dizavadi"));
}

TEST(OdrinExt, RivadaraJoinsAfterTheIntroAndTheFloorsMoveThroughAFade) {
  FakeScriptHost h;
  h.run_init(L_ODRIN_EXT);
  h.run_frame(L_ODRIN_EXT);
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Nar-Odrin", "cutscene OdrinIntro"}));
  h.char_distance["abbot laurent"] = 3.5f;
  h.run_frame(L_ODRIN_EXT);
  EXPECT_TRUE(h.logged("party_add Rivadara"));
  h.end_cutscenes();
  EXPECT_TRUE(h.logged("talk Abbot Laurent"));
  h.clear_log();
  h.run_event(L_ODRIN_EXT, "GoUp");
  for (int t = 0; t < 30; t++) {
    h.now += 100;
    h.run_frame(L_ODRIN_EXT);
  }
  EXPECT_EQ(h.log, (std::vector<std::string>{"input_lock", "fade_out 1000", "hero_place Ruvizo $goup",
                                             "hero_place Rivadara $goup", "camera_mode 2", "fade_in 1000",
                                             "input_unlock"}));
}

TEST(OdrinExt02, DevizivCannotBeHurtWithoutTheRingOfLight) {
  FakeScriptHost h;
  h.variant = "OdrinExt02_v2";
  h.run_init(L_ODRIN_EXT02);
  h.char_distance["deviziv"] = 15.0f;
  h.run_frame(L_ODRIN_EXT02);
  h.end_cutscenes();
  h.now += 29999;
  h.run_frame(L_ODRIN_EXT02);
  EXPECT_TRUE(h.lines("hero_say").empty());
  h.now += 1;
  h.run_frame(L_ODRIN_EXT02);
  h.run_frame(L_ODRIN_EXT02);
  EXPECT_EQ(h.count("hero_say Rivadara 5 We're not hurting him at all!"), 1);
  h.dead.insert("deviziv");
  h.run_frame(L_ODRIN_EXT02);
  EXPECT_FALSE(h.get(L_ODRIN_EXT02, "trapped_deviziv"));
  h.items["ring of light"] = 1;
  h.run_frame(L_ODRIN_EXT02);
  EXPECT_TRUE(h.get(L_ODRIN_EXT02, "trapped_deviziv"));
  EXPECT_TRUE(h.logged("cutscene Deviziv-Death"));
}

TEST(KhosaniLab2, PyrulIsTrappedOnce) {
  FakeScriptHost h;
  h.run_init(L_KHOSANI_LAB2);
  h.near["$salstart"] = 1.0f;
  h.run_frame(L_KHOSANI_LAB2);
  h.dead.insert("pyrul");
  h.run_frame(L_KHOSANI_LAB2);
  h.run_frame(L_KHOSANI_LAB2);
  EXPECT_EQ(h.count("cutscene Pyrul-Death"), 1);
  EXPECT_TRUE(h.logged("open BOSS-GateB-Door01"));
}

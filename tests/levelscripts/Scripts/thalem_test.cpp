// The city of Thalem, on the fake host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "levelscripts/Scripts/thalem.h"
#include "tests/support/fake_script_host.h"

TEST(Sneak, TheRewardFallsFiftyAnAttemptDownToTheBaseAndNeverBelow) {
  struct Case {
    bool suit;
    int attempts;
    int xp;
  } cases[] = {{false, 0, 700}, {false, 1, 650}, {false, 4, 500}, {false, 5, 500}, {false, 40, 500},
               {true, 0, 400},  {true, 3, 250},  {true, 15, 200}};
  for (const Case& c : cases) EXPECT_EQ(sneak_reward(c.suit, c.attempts), c.xp) << c.suit << " " << c.attempts;
  FakeScriptHost h;
  h.ints["24 lpalaceint_int_sneak_attempts"] = 15;
  h.put(L_LPALACE_INT, "got_suit");
  h.run_event(L_LPALACE_INT, "StartCutscene");
  EXPECT_TRUE(h.logged("hero_xp Rivud 200"));
  EXPECT_TRUE(h.logged("text <Rivud gained xp 200>"));
  EXPECT_TRUE(h.get(L_LPALACE_INT, "lpalaceint_tessam_found"));
}

TEST(Sneak, ACaughtRivudFadesOutReturnsToHerStartAndCountsTheAttempt) {
  FakeScriptHost h;
  h.stage = 1;
  h.run_init(L_LPALACE_INT);
  EXPECT_TRUE(h.logged("party_remove Ruvizo"));
  h.clear_log();
  h.char_distance["palace guard#3a"] = 6.0f;
  h.seeing.insert("palace guard#3a");
  h.run_frame(L_LPALACE_INT);
  EXPECT_TRUE(h.logged("say Palace Guard#3a 3 You there! Halt! You have no business here!"));
  EXPECT_TRUE(h.logged("input_lock"));
  // 2000 ms later the picture fades out over 1000 ms; then she is back.
  h.now += 1999;
  h.run_frame(L_LPALACE_INT);
  EXPECT_FALSE(h.logged("fade_out 1000"));
  h.now += 1;
  h.run_frame(L_LPALACE_INT);
  EXPECT_TRUE(h.logged("fade_out 1000"));
  h.now += 1000;
  h.run_frame(L_LPALACE_INT);
  EXPECT_TRUE(h.logged("hero_place Rivud $player01"));
  EXPECT_TRUE(h.logged("input_unlock"));
  EXPECT_TRUE(h.logged("fade_in 1000"));
  EXPECT_EQ(h.ints["24 lpalaceint_int_sneak_attempts"], 1);
  // The next capture calls the next alarm line; the fourth moves the guard.
  for (int i = 0; i < 3; i++) {
    h.run_frame(L_LPALACE_INT);
    h.now += 2000;
    h.run_frame(L_LPALACE_INT);
    h.now += 1000;
    h.run_frame(L_LPALACE_INT);
  }
  EXPECT_EQ(h.ints["24 lpalaceint_int_sneak_attempts"], 4);
  EXPECT_TRUE(h.logged("say Palace Guard#3a 3 Halt! In the name of the king!"));
  EXPECT_TRUE(h.logged("place Palace Guard#1a $Teleport001"));
}

TEST(Sneak, WithTheSuitGuardsOnlySendTheServantBack) {
  FakeScriptHost h;
  h.stage = 1;
  h.put(L_LPALACE_INT, "got_suit");
  h.run_init(L_LPALACE_INT);
  h.char_distance["palace guard#3a"] = 6.0f;
  h.seeing.insert("palace guard#3a");
  h.run_frame(L_LPALACE_INT);
  h.now += 5000;
  h.run_frame(L_LPALACE_INT);
  EXPECT_TRUE(h.logged("say Palace Guard#3a 5 You're not supposed to be here, servant."));
  EXPECT_TRUE(h.logged("say Palace Guard#3a 5 Go back. You're not allowed this way, servant."));
  EXPECT_FALSE(h.logged("input_lock"));
  EXPECT_EQ(h.lines("order Palace Guard#3b").size(), 2u);
}

TEST(Sneak, RuvizoBantersEveryFiveSecondsByTheAttempts) {
  FakeScriptHost h;
  h.stage = 1;
  h.run_init(L_LPALACE_INT);
  h.char_distance["ruvizo#npc"] = 4.0f;
  h.ints["24 lpalaceint_int_sneak_attempts"] = 2;
  h.run_frame(L_LPALACE_INT);
  h.now += 4999;
  h.run_frame(L_LPALACE_INT);
  EXPECT_EQ(h.lines("say Ruvizo#npc").size(), 1u);
  EXPECT_TRUE(h.logged("say Ruvizo#npc 5 You've never done this before, have you?"));
  EXPECT_TRUE(h.logged("hero_say Rivud 5 Keep your mouth shut, and stay right where you are!"));
  h.now += 1;
  h.run_frame(L_LPALACE_INT);
  EXPECT_EQ(h.lines("say Ruvizo#npc").size(), 2u);
}

TEST(ThalemTriggers, EachLevelShowsOnlyThePeriodsGroup) {
  struct Case {
    int row;
    const char* variant;
    int stage;
    std::vector<const char*> on;
    std::vector<const char*> off;
  } cases[] = {
      {L_THALEM1AB, "thalem1ab", 0, {"trigger_on v11", "trigger_on v14"}, {"trigger_off v21", "trigger_off v34"}},
      {L_THALEM1AB, "thalem1ab_v2", 4, {"trigger_on v21", "trigger_on v24"}, {"trigger_off v11", "trigger_off v31"}},
      {L_THALEM1AB, "thalem1ab_v3", 6, {"trigger_on v31"}, {"trigger_off v11", "trigger_off v21"}},
      {L_THALEM1AA, "thalem1aa_v3", 6, {"trigger_on d1_v3", "trigger_on ab4_v3", "trigger_on sewer"},
       {"trigger_off b2_v2"}},
      {L_THALEM1AA, "", 0, {"trigger_off sewer"}, {}},
      {L_TANCREDHOUSE, "tancredhouse_v3", 7, {"trigger_on v41"}, {"trigger_off v31", "trigger_off v11"}},
      {L_TANCREDHOUSE, "", 5, {"trigger_on v21"}, {"trigger_off v41"}},
      {L_THALEM1D, "thalem1d_v2", 4, {"trigger_on v21"}, {"trigger_off v11", "trigger_off v31"}},
      {L_THALEM1B, "thalem1b_v3", 6, {"trigger_off v33", "trigger_off v11", "trigger_on sewer"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + std::to_string(c.stage));
    FakeScriptHost h;
    h.variant = c.variant;
    h.stage = c.stage;  // what the flags reach
    h.run_init(c.row);
    for (const char* l : c.on) EXPECT_TRUE(h.logged(l)) << l;
    for (const char* l : c.off) EXPECT_TRUE(h.logged(l)) << l;
  }
}

TEST(Thalem1b, SlumQuestsFollowTheItemsAndGoldAndTheBaciteTrade) {
  FakeScriptHost h;
  h.run_event(L_THALEM1B, "CheckEyes");
  EXPECT_TRUE(h.logged("topic_on A Beggar With No Eyes / \"I'm working on it.\""));
  EXPECT_TRUE(h.logged("topic_off A Beggar With No Eyes / Give him the eyes."));
  h.gold_amount = 24;
  h.run_event(L_THALEM1B, "CheckGold");
  h.run_event(L_THALEM1B, "CheckGold2");
  EXPECT_TRUE(h.logged("topic_on Gorbus the Guard / Give him 20 gold."));
  EXPECT_TRUE(h.logged("topic_off Dagis the Forger / Pay 25 gold."));
  h.put(L_SEWER, "sewer_flag_found_crate");
  h.run_event(L_THALEM1B, "CheckCrate");
  EXPECT_TRUE(h.logged("topic_on Pedrog / Tell him what you found in the sewers."));
  EXPECT_TRUE(h.logged("topic_off Pedrog / \"Not yet.\""));
  h.items["bacite tail"] = 3;
  h.run_event(L_THALEM1B, "TradeBacite");
  EXPECT_TRUE(h.logged("remove Bacite Tail 3"));
  EXPECT_TRUE(h.logged("text <lost items: \"Bacite Tails\">"));
  EXPECT_TRUE(h.logged("text <party received 30 gold>"));
  EXPECT_EQ(h.gold_amount, 54);
  h.clear_log();
  h.run_event(L_THALEM1B, "TradeBacite");
  EXPECT_TRUE(h.log.empty());
}

TEST(Thalem1aa, GargoyleBloodPicksOneTopic) {
  struct Case {
    int held;
    bool some, six;
  } cases[] = {{0, false, false}, {1, true, false}, {5, true, false}, {6, false, true}, {9, false, true}};
  for (const Case& c : cases) {
    FakeScriptHost h;
    h.items["gargoyle blood"] = c.held;
    h.run_event(L_THALEM1AA, "CheckBlood");
    EXPECT_TRUE(h.logged(std::string(c.some ? "topic_on" : "topic_off") +
                         " Krys the Lantern Maker / \"I have some gargoyle blood.\""));
    EXPECT_TRUE(h.logged(std::string(c.six ? "topic_on" : "topic_off") +
                         " Krys the Lantern Maker / \"I have six drams of gargoyle blood.\""));
  }
}

TEST(Sewer, RemarksOneAFrameAndTheCrateWhenTheThievesFall) {
  FakeScriptHost h;
  h.run_init(L_SEWER);
  EXPECT_TRUE(h.logged("trigger_on sewer01"));
  EXPECT_TRUE(h.logged("trigger_off sewer14"));
  h.near["$npc097"] = h.near["$npc096"] = 3.0f;
  h.run_frame(L_SEWER);
  EXPECT_EQ(h.lines("hero_say").size(), 1u);
  h.run_frame(L_SEWER);
  EXPECT_TRUE(h.logged("hero_say Rivud 4 Ugh! And you thought pigs smelled bad."));
  for (const char* t : {"thief#$npc092", "thief#$npc093", "thief#$npc094"}) h.dead.insert(t);
  h.run_frame(L_SEWER);
  EXPECT_TRUE(h.get(L_SEWER, "sewer_flag_found_crate"));
}

TEST(Sewerboss, TheFightStartsOnceAndTheExitsWaitForTheThreeBossGolems) {
  FakeScriptHost h;
  h.run_init(L_SEWERBOSS);
  h.clear_log();
  h.near["$tbintro"] = 5.0f;
  h.run_frame(L_SEWERBOSS);
  h.run_frame(L_SEWERBOSS);
  EXPECT_EQ(h.count("cutscene TB-Intro"), 1);
  EXPECT_TRUE(h.logged("exit_off lpalaceint"));
  h.end_cutscenes();
  EXPECT_EQ(h.lines("order").size(), 5u);
  h.now += 500;
  h.run_frame(L_SEWERBOSS);
  EXPECT_TRUE(h.logged("play_music Sewer Boss loop"));
  h.dead.insert("broken brass golem#boss1");
  h.dead.insert("broken brass golem#boss2");
  h.run_frame(L_SEWERBOSS);
  EXPECT_FALSE(h.logged("exit_on lpalaceint"));
  h.dead.insert("iron golem#boss");
  h.run_frame(L_SEWERBOSS);
  h.run_frame(L_SEWERBOSS);
  EXPECT_EQ(h.count("exit_on lpalaceint"), 1);
  EXPECT_TRUE(h.get(L_SEWER, "tb_killed"));
  h.run_exit(L_SEWERBOSS);
  EXPECT_TRUE(h.logged("avoid_off"));
}

TEST(ThalemBlockedExits, HeroesSayWhyTheWayIsClosed) {
  struct Case {
    int row;
    int stage;
    const char* dest;
    const char* line;
  } cases[] = {
      {L_THALEM1AA, 0, "sewer", "hero_say Ruvizo 5 This grate is locked. I can't get in."},
      {L_THALEM1C, 3, "thalem1e", "hero_say Ruvizo 5 These guards won't let me pass."},
      {L_THALEM1E, 1, "lpalaceint", "hero_say Ruvizo 5 These guards won't let me pass."},
      {L_THALEM2D, 7, "thalem2aa", "hero_say Ruvizo 5 Too many soldiers guard the gate. We can't go that way."},
      {L_THALEM2AA, 8, "thalem1b", "hero_say Ruvizo 5 Too many soldiers guard the bridge. We can't cross here."},
      {L_THALEM3D, 15, "sewer", "hero_say Ruvizo 5 A powerful magic holds me back. I can't go any farther."},
      {L_THALEM3A, 16, "templeint", "hero_say Ruvizo 5 We're not ready to confront Machival yet."},
      {L_LPALACE_INT02, 16, "worldmap1", "hero_say Zazuru 5 We're not leaving without the Khosani scrolls."},
      {L_LPALACE_INT, 1, "thalem1e", "hero_say Rivud 5 I'm not leaving until I find Tessam."},
  };
  for (const Case& c : cases) {
    FakeScriptHost h;
    h.stage = c.stage;
    EXPECT_FALSE(h.run_use(c.row, c.dest));
    EXPECT_TRUE(h.logged(c.line)) << c.line;
    h.clear_log();
    h.run_use(c.row, "somewhere_else");
    EXPECT_TRUE(h.lines("hero_say").empty());
  }
}

TEST(Thalem1c, RivudsIntroRunsOnceAndLeadsToTheSewer) {
  FakeScriptHost h;
  h.near["$rivudintro"] = 5.0f;
  h.run_frame(L_THALEM1C);
  h.run_frame(L_THALEM1C);
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Rivud-Intro", "cutscene Rivud-Intro-p2"}));
  EXPECT_TRUE(h.logged("load sewer sewer -1"));
  EXPECT_TRUE(h.logged("hide Palace Guard#$npc044"));
}

// The besieged city and the abbey of the last act snow while the party is
// there: their inits start it and their exits stop it.
TEST(LastAct, SnowFallsFromEntryUntilTheLevelIsLeft) {
  for (int row : {L_THALEM3A, L_THALEM3D, L_ODRIN_EXT02}) {
    FakeScriptHost h;
    h.stage = 16;
    h.run_init(row);
    EXPECT_EQ(h.lines("snow"), std::vector<std::string>{"snow_on"}) << row;
    h.run_frame(row);
    h.clear_log();
    h.run_exit(row);
    EXPECT_EQ(h.lines("snow"), std::vector<std::string>{"snow_off"}) << row;
  }
}

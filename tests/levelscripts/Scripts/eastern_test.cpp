// The eastern levels, on the fake host.
#include <gtest/gtest.h>

#include "levelscripts/Scripts/story_scripts.h"
#include "tests/support/fake_script_host.h"

TEST(Shenwu, WavesComeInOrderEachWhenThePreviousFalls) {
  FakeScriptHost h;
  h.put(L_SHENWU, "li_intro");
  h.run_init(L_SHENWU);
  h.run_event(L_SHENWU, "EnemyAttack");
  EXPECT_TRUE(h.logged("exit_off worldmap1"));
  EXPECT_TRUE(h.logged("show Kasdrian Soldier#w1"));
  h.clear_log();
  auto kill = [&](std::initializer_list<const char*> names) {
    for (const char* n : names) h.dead.insert(lower(n));
    h.run_frame(L_SHENWU);
    h.run_frame(L_SHENWU);
  };
  h.run_frame(L_SHENWU);
  EXPECT_TRUE(h.lines("hero_say").empty());
  kill({"Kasdrian Soldier#w1"});
  kill({"Kasdrian Soldier#w2a", "Kasdrian Soldier#w2b"});
  EXPECT_EQ(h.lines("hero_say").size(), 1u);
  kill({"Kasdrian Soldier#w2c"});
  kill({"Kasdrian Samurai#w3b", "Kasdrian Mage#w3"});  // the third of wave 3 may live
  kill({"Kasdrian Greater Mage#w4", "Kasdrian Soldier#w4a", "Kasdrian Soldier#w4b", "General Wentao#w4"});
  EXPECT_EQ(h.lines("hero_say"),
            (std::vector<std::string>{"hero_say Ruvizo 5 I see three more soldiers coming!",
                                      "hero_say Rivadara 5 Those are scouts. The army won't be far behind!",
                                      "hero_say Rivud 5 Here comes Wentao and his soldiers!",
                                      "hero_say Ruvizo 5 That must be the last of them."}));
  EXPECT_TRUE(h.get(L_SHENWU, "shenwu_flag_finished_quest"));
  EXPECT_TRUE(h.logged("topic_on Guardian of the Shrine / \"Wentao has been defeated.\""));
}

TEST(Shenwu, PoisonStaysOnEveryHeroUntilCured) {
  FakeScriptHost h;
  h.put(L_SHENWU, "li_intro");
  h.party = {"ruvizo", "rivud"};
  h.hero_near["$poison3"] = 1.0f;
  h.run_frame(L_SHENWU);
  EXPECT_TRUE(h.get(L_SHENWU, "poisoned"));
  EXPECT_TRUE(h.logged("status Ruvizo 11 -24"));
  EXPECT_TRUE(h.logged("status Rivud 11 -24"));
  h.hero_near.clear();
  h.clear_log();
  for (int i = 0; i < 5; i++) h.run_frame(L_SHENWU);
  EXPECT_TRUE(h.lines("status").empty());  // they still carry it
  h.statuses.erase("rivud#11");            // worn off: it comes back
  h.run_frame(L_SHENWU);
  EXPECT_TRUE(h.logged("status Rivud 11 -24"));
  h.run_event(L_SHENWU, "CurePoison");
  EXPECT_FALSE(h.get(L_SHENWU, "poisoned"));
  EXPECT_TRUE(h.logged("cure 11"));
  h.clear_log();
  h.run_frame(L_SHENWU);
  EXPECT_TRUE(h.lines("status").empty());
}

TEST(Shenwu, RemarksOneAFrameOnlyOnce) {
  FakeScriptHost h;
  h.put(L_SHENWU, "li_intro");
  h.near["$pit"] = h.near["$bones"] = h.near["$lair"] = 2.0f;
  for (int i = 0; i < 5; i++) h.run_frame(L_SHENWU);
  EXPECT_EQ(h.lines("hero_say"),
            (std::vector<std::string>{"hero_say Rivud 5 By the sword of Zhorek, look at those bones!",
                                      "hero_say Ruvizo 5 Looks like a pit trap. I see spikes at the bottom!"}));
  EXPECT_TRUE(h.get(L_SHENWU, "shenwu_flag_lair_comment"));
}

TEST(VozidoCaverns, ASpearTrapFiresAtMostOnceEvery6000Ms) {
  FakeScriptHost h;
  h.run_init(L_VOZIDO_CAVERNS);
  h.clear_log();
  h.hero_near["$spike1b"] = 1.0f;
  for (int t = 0; t < 6000; t += 100) {
    h.run_frame(L_VOZIDO_CAVERNS);
    h.now += 100;
  }
  EXPECT_EQ(h.count("fx_show wc-trap1.vfx"), 1);
  EXPECT_EQ(h.count("sound vozido_caverns_speartrap_up.wav"), 1);
  EXPECT_EQ(h.lines("hurt $spike1").size(), 3u);  // each point's heroes, 140 and status 13
  EXPECT_TRUE(h.logged("hurt $spike1b 3 140 13 1"));
  h.run_frame(L_VOZIDO_CAVERNS);
  EXPECT_EQ(h.count("fx_show wc-trap1.vfx"), 2);
  // The second trap is the switch's, on its own timer.
  h.run_use(L_VOZIDO_CAVERNS, "Switch-03");
  h.run_use(L_VOZIDO_CAVERNS, "Switch-03");
  EXPECT_EQ(h.count("fx_show wc-trap2.vfx"), 1);
  EXPECT_TRUE(h.logged("hurt $spike2a 3 150 13 1"));
}

TEST(VozidoCaverns, TheRingOfWaterNeedsTheNaliAndTheRing) {
  FakeScriptHost h;
  h.run_init(L_VOZIDO_CAVERNS);
  h.near["$healpoint"] = 3.0f;
  h.run_frame(L_VOZIDO_CAVERNS);
  EXPECT_TRUE(h.logged("hero_say Ruvizo 5 Not yet! I must find the Tail of the Rokhul."));
  EXPECT_TRUE(h.run_use(L_VOZIDO_CAVERNS, "Plant01-07"));
  EXPECT_TRUE(h.logged("heal_party"));
  h.run_frame(L_VOZIDO_CAVERNS);
  EXPECT_TRUE(h.logged("hero_say Ruvizo 5 The Ring of Water must be around here somewhere."));
  h.items["ring of water"] = 1;
  h.run_frame(L_VOZIDO_CAVERNS);
  EXPECT_TRUE(h.get(L_VOZIDO_CAVERNS, "got_ring_of_water"));
  EXPECT_TRUE(h.logged("cutscene Hand-Restoration"));
  EXPECT_TRUE(h.logged("text Ruvizo acquired Summon Blue Imp!"));
}

TEST(Jadetemple, TheSpiritComesWhenAllFourRidersFallInAnyOrder) {
  const char* riders[4] = {"tiger rider", "ghost rider", "dadevoz ivido", "phoenix rider"};
  int orders[3][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 0, 3, 1}};
  for (auto& order : orders) {
    FakeScriptHost h;
    h.variant = "jadetemple_v2";
    h.run_init(L_JADETEMPLE);
    for (int i = 0; i < 4; i++) {
      EXPECT_FALSE(h.get(L_JADETEMPLE, "got_laharah_spirit"));
      h.dead.insert(riders[order[i]]);
      h.run_frame(L_JADETEMPLE);
    }
    EXPECT_TRUE(h.get(L_JADETEMPLE, "got_laharah_spirit"));
    EXPECT_EQ(h.count("text Ruvizo acquired Summon Spirit of Laharah!"), 1);
    EXPECT_TRUE(h.logged("fade_out 5000"));
    h.now += 4999;
    h.run_frame(L_JADETEMPLE);
    EXPECT_FALSE(h.logged("load worldmap1 worldmap1 -1"));
    h.now += 1;
    h.run_frame(L_JADETEMPLE);
    h.run_frame(L_JADETEMPLE);
    EXPECT_EQ(h.count("load worldmap1 worldmap1 -1"), 1);
    EXPECT_TRUE(h.logged("fade_in 2000"));
  }
}

TEST(Jadetemple, CalveksTwoFormsThenTheRingAndTheWayToTheStronghold) {
  FakeScriptHost h;
  h.party = {"ruvizo", "zazuru", "rivud", "rivadara"};
  h.run_init(L_JADETEMPLE);
  h.near["$calvektrigger"] = 5.0f;
  h.run_frame(L_JADETEMPLE);
  h.end_cutscenes();
  h.dead.insert("calvek");
  h.run_frame(L_JADETEMPLE);
  h.end_cutscenes();
  h.dead.insert("calvek oni");
  h.run_frame(L_JADETEMPLE);
  h.end_cutscenes();
  EXPECT_EQ(h.lines("cutscene"), (std::vector<std::string>{"cutscene Calvek-Intro", "cutscene Calvek-Trans",
                                                            "cutscene Calvek-Death"}));
  EXPECT_TRUE(h.get(L_JADETEMPLE, "got_ring_of_jade"));
  EXPECT_TRUE(h.logged("give Ring of Jade"));
  EXPECT_FALSE(h.party_has("Rivud"));
  h.run_event(L_JADETEMPLE, "EndCutscene");
  h.paused = true;
  h.run_frame(L_JADETEMPLE);
  EXPECT_FALSE(h.logged("load khosanistrng khosanistrng_v3 -1"));
  h.paused = false;
  h.run_frame(L_JADETEMPLE);
  EXPECT_TRUE(h.party_has("Rivud"));
  EXPECT_TRUE(h.logged("load khosanistrng khosanistrng_v3 -1"));
}

TEST(Jadetemple, DragonScalesPickTheTopicOfTheirCountAndAreLostWithALine) {
  for (int held = 0; held <= 4; held++) {
    FakeScriptHost h;
    const char* scales[4] = {"green dragon scale", "red dragon scale", "gray dragon scale", "blue dragon scale"};
    for (int i = 0; i < held; i++) h.items[scales[i]] = 1;
    h.run_event(L_JADETEMPLE, "CheckScales");
    EXPECT_EQ(h.logged("topic_on Gongji / \"I found what you are seeking.\""), held > 0);
    EXPECT_EQ(h.lines("topic_on Gongji / Give").size(), held > 0 ? 1u : 0u);
    if (held == 3) EXPECT_TRUE(h.logged("topic_on Gongji / Give him the three dragon scales.#3"));
    h.run_event(L_JADETEMPLE, "LoseScales");
    EXPECT_EQ(static_cast<int>(h.lines("remove").size()), held);
    if (held) EXPECT_TRUE(h.logged("text <lost item: \"Green Dragon Scale\">"));
  }
}

TEST(Vozido, RivadaraJoinsTheFrameAfterTheEventOutsideUiMode) {
  FakeScriptHost h;
  h.put(L_VOZIDO, "vozido_intro");
  h.run_init(L_VOZIDO);
  EXPECT_TRUE(h.logged("exit_off vozidocaverns"));
  h.run_event(L_VOZIDO, "AddRivadara");
  h.paused = true;
  h.run_frame(L_VOZIDO);
  EXPECT_FALSE(h.party_has("Rivadara"));
  h.paused = false;
  h.run_frame(L_VOZIDO);
  EXPECT_TRUE(h.party_has("Rivadara"));
  EXPECT_TRUE(h.logged("hide Rivadara#npc"));
  EXPECT_TRUE(h.logged("entry 3"));
  EXPECT_TRUE(h.logged("hero_place Rivadara $npc003"));
  h.run_event(L_VOZIDO, "CheckItems");
  EXPECT_TRUE(h.logged("topic_off Sizhe / \"I brought the things you asked for.\""));
  for (const char* i : {"onyx carp", "gulan's knife", "stick of charcoal", "minhe's bowl"}) h.items[i] = 1;
  h.run_event(L_VOZIDO, "CheckItems");
  EXPECT_TRUE(h.logged("topic_on Sizhe / \"I brought the things you asked for.\""));
  h.run_event(L_VOZIDO, "GotDraught");
  EXPECT_TRUE(h.logged("exit_on vozidocaverns"));
}

TEST(Vozido2, TheFourFightsMoveTheJadeSoldiersOnInTurn) {
  FakeScriptHost h;
  h.variant = "vozido2";
  h.run_init(L_VOZIDO2);
  h.clear_log();
  const std::vector<std::vector<const char*>> fights = {
      {"kasdrian soldier#1", "kasdrian soldier#2", "kasdrian soldier#3", "kasdrian soldier#4"},
      {"kasdrian samurai#1", "kasdrian soldier#5", "kasdrian archer#1", "kasdrian soldier#6"},
      {"kasdrian soldier#$npc035", "kasdrian soldier#$npc036", "kasdrian soldier#$npc037", "kasdrian soldier#$npc038"},
      {"kasdrian soldier#$npc039", "kasdrian soldier#$npc040", "kasdrian soldier#$npc041"}};
  // The second fight's enemies falling first changes nothing.
  for (const char* n : fights[1]) h.dead.insert(n);
  h.run_frame(L_VOZIDO2);
  EXPECT_TRUE(h.lines("order Jade").empty());
  for (const char* n : fights[0]) h.dead.insert(n);
  for (int i = 0; i < 4; i++) h.run_frame(L_VOZIDO2);
  for (const auto& f : {fights[2], fights[3]})
    for (const char* n : f) h.dead.insert(n);
  for (int i = 0; i < 4; i++) h.run_frame(L_VOZIDO2);
  EXPECT_EQ(h.lines("order Jade Temple Soldier#LT"),
            (std::vector<std::string>{"order Jade Temple Soldier#LT 15 2", "order Jade Temple Soldier#LT 15 3",
                                      "order Jade Temple Soldier#LT 15 4", "order Jade Temple Soldier#LT 15 5"}));
  EXPECT_TRUE(h.get(L_VOZIDO2, "vozido2_fight4_won"));
}

TEST(Eleh, RuvizoJoinsAndTheWayOutOpens) {
  FakeScriptHost h;
  h.run_init(L_ELEH);
  EXPECT_TRUE(h.logged("quest Find Ruvizo"));
  EXPECT_TRUE(h.logged("exit_off worldmap1"));
  h.run_frame(L_ELEH);
  EXPECT_TRUE(h.logged("cutscene Nar-Eleh-Intro"));
  EXPECT_FALSE(h.run_use(L_ELEH, "worldmap1"));
  EXPECT_TRUE(h.logged("hero_say Rivud 5 I must find Ruvizo. I won't leave Eleh without him."));
  h.run_event(L_ELEH, "JoinRuvizo");
  h.run_frame(L_ELEH);
  EXPECT_TRUE(h.party_has("Ruvizo"));
  EXPECT_TRUE(h.logged("exit_on worldmap1"));
  EXPECT_TRUE(h.logged("hero_place Ruvizo $npc094"));
  h.near["$porttrig"] = 10.0f;
  h.run_frame(L_ELEH);
  h.run_frame(L_ELEH);
  EXPECT_EQ(h.count("close Portcullis"), 1);
}

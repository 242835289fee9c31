// The level scripts' library on the world test kit with a real party: the
// script events conversations execute (experience, skill points, gold,
// items, topics) with their HUD lines, continuations after cutscenes, the
// capacities of ambient sounds, clicks and avoidance splines, and the
// console's door and topic commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/gameflags.h"
#include "Orrimund/player/party.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "tests/support/world_kit.h"

namespace {

std::vector<std::string> Hud;
std::string Said;
std::vector<std::string> Topics;

class Ops : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    party_init();
    party_set_hooks(PartyHooks());
    for (int i = 0; i < 4; i++) kit.set_party_start(i, vector{static_cast<float>(i) * 2, 0, 0}, 0.0f);
    item_pool_init();
    party_inventory_init();
    Hud.clear();
    Said.clear();
    Topics.clear();
    Script_world.hud_message = [](const char* t) { Hud.emplace_back(t); };
    Script_world.topic_set_available = [](const char* topic, bool on) {
      Topics.push_back(std::string(topic) + (on ? " on" : " off"));
    };
    console_set_output_hook([](const char* t) { Said += t; });
    ruvizo = hero_create("Ruvizo", 1, true, true, -1);
    rivud = hero_create("Rivud", 1, false, true, -1);
  }
  void TearDown() override {
    console_set_output_hook(nullptr);
    script_world_reset();
    avoid_splines_reset();
    party_free_all();
    GameFlags = 0;
    No_cutscenes = false;
    Level_hook_frame = nullptr;
  }
  static ScriptEvent event(int type, int value, int hero = -1, const char* name = "topic", const char* flag = "") {
    return ScriptEvent{name, flag, type, value, hero};
  }
  living_entity* ruvizo = nullptr;
  living_entity* rivud = nullptr;
};

TEST_F(Ops, ExperienceGoesToTheLivingAndSaysSo) {
  ASSERT_NE(ruvizo, nullptr);
  ASSERT_NE(rivud, nullptr);
  const uint32_t before = ruvizo->experience, rivud_before = rivud->experience;
  ScriptEvent e = event(SE_XP, 40);
  script_event_execute(&e);
  EXPECT_EQ(ruvizo->experience, before + 40);
  EXPECT_EQ(rivud->experience, rivud_before + 40);
  ASSERT_EQ(Hud.size(), 1u);
  EXPECT_EQ(Hud[0], "<party gained 40 XP>");
  // One hero by type; a dead one gets nothing and no line.
  int rivud_type = -1;
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (member_entity(p) == rivud) rivud_type = p->type;
  e = event(SE_XP, 7, rivud_type);
  script_event_execute(&e);
  EXPECT_EQ(rivud->experience, rivud_before + 47);
  EXPECT_EQ(Hud.back(), std::string("<") + rivud->get_name() + " gained 7 XP>");
  rivud->state |= ES_DEAD;
  Hud.clear();
  script_event_execute(&e);
  EXPECT_EQ(rivud->experience, rivud_before + 47);
  EXPECT_TRUE(Hud.empty());
  rivud->state &= ~ES_DEAD;
}

TEST_F(Ops, GoldNeverGoesBelowNothingAndItemsComeAndGo) {
  Party_inventory.gold = 20;
  ScriptEvent pay = event(SE_GOLD, -50);
  script_event_execute(&pay);
  EXPECT_EQ(Party_inventory.gold, 0u);
  EXPECT_EQ(Hud.back(), "<party paid 50 gold>");
  ScriptEvent earn = event(SE_GOLD, 75);
  script_event_execute(&earn);
  EXPECT_EQ(Party_inventory.gold, 75u);
  EXPECT_EQ(Hud.back(), "<party received 75 gold>");

  const int tonic = item_lookup("Health Tonic");
  ASSERT_GE(tonic, 0);
  ScriptEvent gain = event(SE_GAIN_ITEM, tonic);
  script_event_execute(&gain);
  script_event_execute(&gain);
  const int entry = party_inventory_find_by_index(tonic);
  ASSERT_GE(entry, 0);
  EXPECT_EQ(Party_inventory.entries[entry].count, 2u);
  EXPECT_EQ(Hud.back(), std::string("<gained item: \"") + Item_infos[tonic].name + "\">");
  ScriptEvent lose = event(SE_LOSE_ITEM, tonic);
  script_event_execute(&lose);
  EXPECT_EQ(Party_inventory.entries[party_inventory_find_by_index(tonic)].count, 1u);
  script_event_execute(&lose);
  EXPECT_LT(party_inventory_find_by_index(tonic), 0);
  Hud.clear();
  script_event_execute(&lose);  // nothing left: nothing said
  EXPECT_TRUE(Hud.empty());
  ScriptEvent bad = event(SE_GAIN_ITEM, 100000);
  script_event_execute(&bad);
  EXPECT_TRUE(Hud.empty());
}

TEST_F(Ops, TopicsFollowItemsAndGold) {
  const int tonic = item_lookup("Health Tonic");
  Party_inventory.gold = 10;
  struct Case {
    ScriptEvent e;
    const char* expect;  // the topic change, or "" for none
  } cases[] = {
      {event(SE_TOPIC_IF_ITEM, 0, -1, "cure", "Health Tonic"), "cure off"},
      {event(SE_TOPIC_OFF_IF_ITEM, 0, -1, "cure", "Health Tonic"), ""},
      {event(SE_TOPIC_IF_GOLD, 10, -1, "bribe"), "bribe on"},
      {event(SE_TOPIC_IF_GOLD, 11, -1, "bribe"), "bribe off"},
      {event(SE_TOPIC_OFF_IF_GOLD, 11, -1, "bribe"), ""},
      {event(SE_TOPIC_OFF_IF_GOLD, 5, -1, "bribe"), "bribe off"},
  };
  for (const Case& c : cases) {
    Topics.clear();
    script_event_execute(&c.e);
    EXPECT_EQ(Topics.empty() ? std::string() : Topics[0], c.expect) << c.e.type << " " << c.e.value;
  }
  party_inventory_add_by_index(tonic, 1, -1, false);
  Topics.clear();
  ScriptEvent have = event(SE_TOPIC_IF_ITEM, 0, -1, "cure", "Health Tonic");
  script_event_execute(&have);
  ASSERT_EQ(Topics.size(), 1u);
  EXPECT_EQ(Topics[0], "cure on");
}

int Continued = 0;
bool Playing = false;
void count_continuation() { Continued++; }
void own_frame_hook() {}

TEST_F(Ops, AContinuationRunsAfterTheCutsceneOrAtOnce) {
  Continued = 0;
  script_run_when_ready("intro", count_continuation);  // nothing plays cutscenes
  EXPECT_EQ(Continued, 1);
  Script_world.cutscene_play = [](const char*) { return Playing = true; };
  Script_world.cutscene_playing = [] { return Playing; };
  Level_hook_frame = own_frame_hook;
  script_run_when_ready("intro", count_continuation);
  EXPECT_EQ(Continued, 1);
  ASSERT_NE(Level_hook_frame, own_frame_hook);
  Level_hook_frame();  // still playing
  EXPECT_EQ(Continued, 1);
  Playing = false;
  Level_hook_frame();
  EXPECT_EQ(Continued, 2);
  EXPECT_EQ(Level_hook_frame, own_frame_hook);
  No_cutscenes = true;
  script_run_when_ready("intro", count_continuation);
  EXPECT_EQ(Continued, 3);
  // No living member: nothing at all.
  No_cutscenes = false;
  ruvizo->state |= ES_DEAD;
  rivud->state |= ES_DEAD;
  script_run_when_ready("intro", count_continuation);
  EXPECT_EQ(Continued, 3);
  ruvizo->state &= ~ES_DEAD;
  rivud->state &= ~ES_DEAD;
}

TEST_F(Ops, RecordsKeepTheirCapacities) {
  ambient_sounds_clear();
  EXPECT_FALSE(ambient_sound_add(-1, vector(0, 0, 0)));
  for (int i = 0; i < MAX_AMBIENT_SOUNDS; i++) EXPECT_TRUE(ambient_sound_add(1000 + i, vector(float(i), 0, 0)));
  EXPECT_FALSE(ambient_sound_add(5, vector(0, 0, 0)));
  EXPECT_EQ(ambient_sound_find(vector(3, 0, 0)), 3);
  ambient_sound_remove(3);
  EXPECT_EQ(ambient_sound_find(vector(3, 0, 0)), -1);
  EXPECT_EQ(ambient_sound_find(vector(4, 0, 0)), 3);  // the gap closed
  ambient_sounds_clear();
  EXPECT_EQ(ambient_sound_count(), 0);

  for (int i = 0; i < MAX_AVOID_SPLINES; i++) EXPECT_TRUE(avoid_spline_register(100 + i));
  Said.clear();
  EXPECT_FALSE(avoid_spline_register(999));
  EXPECT_NE(Said.find("Ran out of level_script_avoid_spline slots"), std::string::npos);
  EXPECT_EQ(avoid_spline_find(999), -1);
  avoid_spline_release(104);
  EXPECT_TRUE(avoid_spline_register(999));
  EXPECT_EQ(avoid_spline_find(999), 4);

  clicks_reset();
  for (int i = 0; i < MAX_CLICK_RECORDS; i++) EXPECT_EQ(click_add(i), i);
  EXPECT_EQ(click_add(77), -1);
  click_remove(7);
  EXPECT_FALSE(click_test(7));
  EXPECT_EQ(click_add(77), 7);  // the first free slot
  EXPECT_TRUE(click_test(77));
  clicks_reset();
}

TEST_F(Ops, NavpointTestsWarnAboutUnknownPoints) {
  navpoints_reset(false);
  Said.clear();
  EXPECT_FALSE(script_leader_near_navpoint("nowhere", 5.0f));
  EXPECT_NE(Said.find("WARNING: Script trying to check navpoint that doesn't exist!"), std::string::npos);
  navpoint_add_from_node("well", vector(1, 0.5f, 0), matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1)));
  EXPECT_TRUE(script_leader_near_navpoint("well", 1.5f));
  EXPECT_FALSE(script_leader_near_navpoint("well", 0.5f));
}

TEST_F(Ops, TheConsoleTopicAndDoorCommandsCheckTheirWords) {
  struct Case {
    const char* line;
    const char* answer;
  } cases[] = {
      {"dialogue_make_topic_available tessam", "Usage: dialogue_make_topic_available person topic"},
      {"dialogue_make_topic_unavailable a b c", "Usage: dialogue_make_topic_unavailable person topic"},
      {"dialogue_make_topic_available tessam ring", "No conversations are loaded."},
      {"door_open", "Usage: door_open door_name"},
      {"door_toggle nodoor", "No door named nodoor in the level."},
  };
  for (const Case& c : cases) {
    Said.clear();
    console_execute(c.line);
    EXPECT_NE(Said.find(c.answer), std::string::npos) << c.line << " said " << Said;
  }
  std::string person, topic;
  static std::string* P = &person;
  static std::string* T = &topic;
  Script_world.person_topic_set_available = [](const char* p, const char* t, bool) { *P = p, *T = t; };
  console_execute("dialogue_make_topic_available Tessam Ring");
  EXPECT_EQ(person, "Tessam");
  EXPECT_EQ(topic, "Ring");
}

}  // namespace

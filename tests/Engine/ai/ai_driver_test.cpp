// The AI driver on the world kit: who is run and who is culled, the think
// step's timers, pause_ai, the attack slots around an entity, knock-downs
// and stuns, death, timed sound events and the AI console.
#include "Engine/ai/ai_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/ai/ai_core.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

std::vector<const ai_component*> Thought;
std::vector<const ai_component*> Handled;
std::string Said;
bool Shown = true;

class AiDriver : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_init_tables();
    AiDriverHooks h;
    h.think = [](ai_component* ai) { Thought.push_back(ai); };
    for (auto& handler : h.handlers) handler = [](ai_component* ai) { Handled.push_back(ai); };
    h.on_screen = [](const living_entity*) { return Shown; };
    h.controlled = [] { return static_cast<const living_entity*>(Controlled); };
    h.hud_message = [](const char* text) { Said += text; };
    h.sound_length = [](int object, int) { return object == 7 ? 2.0f : 0.0f; };
    ai_set_driver_hooks(h);
    Thought.clear();
    Handled.clear();
    Said.clear();
    Shown = true;
    Ai_paused = false;
    hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {3, 0, 0});
    hero->set_team(0);
    rat->set_team(2);  // the monsters' team, hostile to the party
    Controlled = hero;
  }
  void TearDown() override {
    ai_set_driver_hooks(AiDriverHooks{});
    Ai_paused = false;
    ai_clear_sound_events();
  }
  void frame(float dt = 1.0f / 30.0f) {
    kit.advance(dt);
    ai_frame(dt);
  }
  int thinks(const living_entity* e) {
    int n = 0;
    for (const ai_component* a : Thought) n += a == &e->ai;
    return n;
  }
  int handled(const living_entity* e) {
    int n = 0;
    for (const ai_component* a : Handled) n += a == &e->ai;
    return n;
  }
  static living_entity* Controlled;
  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};
living_entity* AiDriver::Controlled = nullptr;

TEST_F(AiDriver, ThinkingWaitsOnTimersByKindAndState) {
  // Over two seconds: a hero thinks every 50-100 ms, a creature out of
  // combat every 250-500 ms, one in combat every 50 ms (plus a frame).
  ai_set_state(&rat->ai, AI_STATE_IDLE, 0);
  for (int i = 0; i < 60; i++) frame();
  EXPECT_GE(thinks(hero), 2000 / 134);
  EXPECT_LE(thinks(hero), 2000 / 50 + 1);
  EXPECT_GE(thinks(rat), 2000 / 534);
  EXPECT_LE(thinks(rat), 2000 / 250 + 1);
  Thought.clear();
  Handled.clear();
  rat->ai.target = hero->handle;
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 15);
  for (int i = 0; i < 60; i++) frame();
  EXPECT_GE(thinks(rat), 2000 / 67 - 1);
  // Every entity that runs has its state handler run each frame.
  EXPECT_EQ(handled(rat), 60);
}

TEST_F(AiDriver, PauseAiHoldsAllButTheFlaggedEntities) {
  Ai_paused = true;
  hero->ai.flags |= AIF_PLAYER_CAST_BLOCK;
  for (int i = 0; i < 10; i++) frame();
  EXPECT_GT(handled(hero), 0);
  EXPECT_EQ(handled(rat), 0);
  EXPECT_EQ(thinks(rat), 0);
}

TEST_F(AiDriver, OffScreenCreaturesWaitForTheirTimerUnlessFighting) {
  Shown = false;
  ai_set_state(&rat->ai, AI_STATE_IDLE, 0);
  rat->ai.cull_timer = timestamp_set(timer_game_clock, 750);
  for (int i = 0; i < 30; i++) frame();  // one second: the 750 ms timer lets it through once
  EXPECT_EQ(handled(rat), 1);
  EXPECT_EQ(handled(hero), 30);  // heroes run off screen too
  // On screen, a creature runs every frame (else it would walk in jumps).
  Shown = true;
  Handled.clear();
  for (int i = 0; i < 30; i++) frame();
  EXPECT_EQ(handled(rat), 30);
  Shown = false;
  Handled.clear();
  rat->ai.target = hero->handle;
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 15);
  for (int i = 0; i < 5; i++) frame();
  EXPECT_EQ(handled(rat), 5);
  // The dead stand still on screen and off.
  ai_set_state(&rat->ai, AI_STATE_IDLE, 0);
  rat->state |= ES_DEAD;
  Shown = true;
  Handled.clear();
  for (int i = 0; i < 30; i++) frame();
  EXPECT_EQ(handled(rat), 0);
}

TEST_F(AiDriver, TheDeadGoInactive) {
  rat->state |= ES_DEAD;
  rat->flags |= OF_KEEP_FLOOR;  // always updated, so the process reaches the dead step
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 15);
  frame();
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_INACTIVE, 0));
  EXPECT_EQ(thinks(rat), 0);
}

TEST_F(AiDriver, AttackSlotsByDirectionAndTime) {
  ai_component* ai = &rat->ai;
  living_entity* a = kit.spawn(kit.type("Rat"), {6, 0, 0}, OBJ_CREATURE, 1, true);   // east of the rat
  living_entity* b = kit.spawn(kit.type("Rat"), {3, 0, 5}, OBJ_CREATURE, 1, true);   // north
  a->pos = vector(6, 0, 0);
  b->pos = vector(3, 0, 5);
  EXPECT_EQ(ai_best_slot_for(ai, a), 0);
  EXPECT_EQ(ai_best_slot_for(ai, b), 1);
  EXPECT_EQ(ai_claim_attack_slot(ai, a, 4000, -1), 0);
  EXPECT_EQ(ai_count_attack_slots(ai), 1);
  // b wants slot 0 for longer than a holds it: refused; for less: taken.
  EXPECT_EQ(ai_claim_attack_slot(ai, b, 5000, 0), -1);
  EXPECT_EQ(ai_claim_attack_slot(ai, b, 1000, 0), 0);
  EXPECT_EQ(ai->attack_slots[0].attacker, b->handle);
  // b claims again from the north: it moves there and keeps its smaller time.
  kit.advance(0.2f);
  EXPECT_EQ(ai_claim_attack_slot(ai, b, 3000, -1), 1);
  EXPECT_EQ(ai->attack_slots[0].attacker, -1);
  EXPECT_EQ(timestamp_time_left(ai->attack_slots[1].time, timer_game_clock), 800);
  // A holder that is gone frees its slot for anyone.
  b->deinit();
  EXPECT_EQ(ai_count_attack_slots(ai), 0);
  EXPECT_EQ(ai_claim_attack_slot(ai, a, 9000, 1), 1);
}

TEST_F(AiDriver, KnockDownsStunsAndHolds) {
  ai_knock_down(&hero->ai, 2000);
  EXPECT_TRUE(ai_is_in_state(&hero->ai, AI_STATE_DISABLED, 44));
  EXPECT_EQ(Said, "Knocked Down!");
  // A harder blow while down restarts the fall; a lighter one does nothing.
  kit.advance(1.0f);
  const int32_t before = hero->ai.state_timer;
  ai_knock_down(&hero->ai, 500);
  EXPECT_EQ(hero->ai.state_timer, before);
  ai_knock_down(&hero->ai, 3000);
  EXPECT_EQ(hero->ai.state_timer, timer_game_clock);
  EXPECT_EQ(hero->ai.knock_down_ms, 3000);

  ai_knock_down(&rat->ai, 1000);
  EXPECT_EQ(Said, "Knocked Down!");  // only the controlled hero's shows
  ai_core_reset_to_idle(&rat->ai);
  rat->character->ai_cannot_be_stunned = true;
  ai_stun(&rat->ai, 1000);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_IDLE, 0));
  rat->character->ai_cannot_be_stunned = false;
  ai_stun(&rat->ai, 1000);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_DISABLED, 47));
  // A caster cannot be disabled.
  ai_set_state(&hero->ai, AI_STATE_CAST_SPELL, 39);
  ai_hold(&hero->ai, 1000);
  EXPECT_TRUE(ai_is_in_state(&hero->ai, AI_STATE_CAST_SPELL, 39));
}

TEST_F(AiDriver, SoundEventsCountDownFiveAtMost) {
  EXPECT_FALSE(ai_add_sound_event(3, 1));   // the object has no sound
  EXPECT_FALSE(ai_add_sound_event(38, 7));  // kinds from 38 on are not timed
  for (int i = 0; i < 5; i++) EXPECT_TRUE(ai_add_sound_event(i, 7));
  EXPECT_FALSE(ai_add_sound_event(5, 7));
  EXPECT_FLOAT_EQ(Ai_sound_events[0].seconds, 2.0f / 15.0f * 1.5f);
  frame(0.15f);
  EXPECT_EQ(ai_count_sound_events(), 5);
  frame(0.15f);
  EXPECT_EQ(ai_count_sound_events(), 0);
}

TEST_F(AiDriver, StateConsoleCommand) {
  static std::string out;
  out.clear();
  console_set_output_hook([](const char* t) { out += t; });
  console_execute("ai_state");
  EXPECT_EQ(out.rfind("Usage: ai_state <state name>\n\nThe following states are available:\n\nAI_STATE_INACTIVE\n", 0),
            0u);
  out.clear();
  Study_object = nullptr;
  console_execute("ai_state AI_STATE_COMBAT");
  EXPECT_EQ(out, "Error: No study object selected\n");
  Study_object = rat;
  out.clear();
  console_execute("ai_state AI_STATE_FLYING");
  EXPECT_EQ(out, "Error: Invalid state name\n");
  console_execute("ai_state ai_state_traveling");
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_TRAVELING, -1));
  out.clear();
  console_execute("ai_frame_update_rate 31");
  EXPECT_EQ(out, "Invalid range for value\n");
  out.clear();
  console_execute("ai_frame_update_rate 12");
  EXPECT_EQ(out, "Ai frame update rate is 12\n");
  Ai_frame_update_rate = 8;
  console_set_output_hook(nullptr);
  Study_object = nullptr;
}

TEST_F(AiDriver, CloseActionNeedsAnEnemysBackWithinReach) {
  // The rat faces +z; the hero behind it (at -z) within 2.0 may strike.
  rat->pos = vector(0, 0, 0);
  rat->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  hero->pos = vector(0, 0, -1.2f);
  EXPECT_TRUE(ai_close_action_ok(&hero->ai, rat));
  hero->pos = vector(0, 0, 1.2f);  // in front
  EXPECT_FALSE(ai_close_action_ok(&hero->ai, rat));
  hero->pos = vector(0, 0, -4.0f);  // too far
  EXPECT_FALSE(ai_close_action_ok(&hero->ai, rat));
  hero->pos = vector(0, 0, -1.2f);
  rat->character->ai_no_close_action = true;
  EXPECT_FALSE(ai_close_action_ok(&hero->ai, rat));
  rat->character->ai_no_close_action = false;
}

}  // namespace

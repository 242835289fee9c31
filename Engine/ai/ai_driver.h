#pragma once
// The AI driver: once per object frame it walks the living entities and
// runs each one's AI process (culling, thinking with the order queue, the
// handler of its state, movement). The state handlers and the think
// routine belong to the behaviour layer and arrive through hooks, as do
// the game's answers (conversation, cutscene, bosses, the HUD, what is on
// screen). Also here: the attack slots around an entity, knock-downs and
// stuns, death, summoning, timed sound events and the AI console.
#include <cstdint>

#include "Engine/ai/ai_component.h"

class living_entity;

// Console variables.
extern bool Ai_paused;                  // pause_ai
extern bool Ai_path_wandering_enabled;  // ai_wander
extern int Ai_frame_update_rate;        // ai_frame_update_rate, 1-30
extern float Slowdown_scaler;           // slowdown_scaler
extern int Attack_point_debug;          // attack_point
extern int Offense_point_debug;         // offense_point

// Sixteen horizontal directions, 22.5 degrees apart (ai_init_tables).
extern vector Ai_directions[16];
extern const vector Ai_attack_slot_dirs[AI_ATTACK_SLOTS];
void ai_init_tables();

using AiStateHandler = void (*)(ai_component* ai);

struct AiDriverHooks {
  // The behaviour layer: the think routine (target choice and behaviour),
  // each state's handler (null: none), the travelling variants' step in
  // sub-states 3-5 and the special move's in 43.
  void (*think)(ai_component* ai) = nullptr;
  AiStateHandler handlers[AI_NUM_STATES] = {};
  void (*path_variant_step)(ai_component* ai) = nullptr;
  void (*special_move_step)(ai_component* ai) = nullptr;
  void (*group_update)() = nullptr;  // the group controller, once a frame
  // The game around it; unset hooks answer as a single-player game with no
  // conversation, no cutscene, no bosses and everything on screen.
  bool (*conversation_running)() = nullptr;
  bool (*cutscene_running)() = nullptr;
  bool (*on_screen)(const living_entity* e) = nullptr;
  bool (*point_visible)(const vector& point) = nullptr;
  void (*boss_update)(living_entity* e) = nullptr;
  void (*boss_after_update)(living_entity* e) = nullptr;
  void (*boss_setup)(living_entity* e) = nullptr;
  // The controlled hero's line on the HUD ("Knocked Down!").
  const living_entity* (*controlled)() = nullptr;
  void (*hud_message)(const char* text) = nullptr;
  // The length in seconds of the sound an object carries for an event
  // kind; 0 when it has none.
  float (*sound_length)(int object, int kind) = nullptr;
  // Network replication of knock-downs and stuns (networked games only).
  void (*send_knock_down)(living_entity* e, int ms) = nullptr;
  void (*send_stun)(living_entity* e, int ms) = nullptr;
};
void ai_set_driver_hooks(const AiDriverHooks& hooks);
const AiDriverHooks& ai_driver_hooks();

// The driver, called by the object frame while the game is not paused.
void ai_frame(float frametime);
// One entity's AI process.
void ai_process_entity(living_entity* e, float frametime);
// The think step: the think routine and the queue, on its timer.
void ai_think(ai_component* ai);
// The time an update covers: the entity's AI time accumulated since its
// last update (a rider without its own, its mount's; outside the driver,
// the frame time).
float ai_time_step(const ai_component* ai);
// The culling test: true when the entity is updated this frame.
bool ai_cull_update(ai_component* ai, float frametime);

// Profile figures, in microseconds per second, refreshed every 500 ms.
struct AiProfile {
  int64_t total_us = 0, studied_us = 0;
  int entities_run = 0, entities_culled = 0;
};
const AiProfile& ai_profile();

// Timed sound events: {object, kind, seconds left}, five at most.
struct AiSoundEvent {
  int32_t object = -1;
  int32_t kind = 0;
  float seconds = 0.0f;
};
extern AiSoundEvent Ai_sound_events[5];
bool ai_add_sound_event(int kind, int object);
void ai_clear_sound_events();
int ai_count_sound_events();

// Attack slots: the places around an entity its attackers take.
int ai_claim_attack_slot(ai_component* ai, const living_entity* attacker, int time_ms, int slot);
int ai_count_attack_slots(const ai_component* ai);
int ai_best_slot_for(const ai_component* ai, const living_entity* attacker);
int ai_count_attackers_of_leader(const ai_component* ai, bool only_claimed);
int ai_count_attackers(const ai_component* ai);
bool ai_close_action_ok(const ai_component* ai, const living_entity* target);

// Disabling, death and summoning.
void ai_knock_down(ai_component* ai, int ms);
void ai_stun(ai_component* ai, int ms);
void ai_hold(ai_component* ai, int ms);
void ai_die(ai_component* ai);
void ai_start_summoning(ai_component* ai);
void ai_counter_attack(ai_component* ai, int target);
void ai_start_travel_anim(ai_component* ai, bool run);
void ai_reset_player_after_load(ai_component* ai);

bool ai_is_combat_sub16(const ai_component* ai);
bool ai_is_combat_sub22(const ai_component* ai);  // 22 or 23
bool ai_is_combat_sub17(const ai_component* ai);

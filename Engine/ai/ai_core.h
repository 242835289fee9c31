#pragma once
// The AI's states and its queue of orders. The state handlers proper
// (thinking, following, fighting) belong to the behaviour layer; here each
// state has its entry and exit rules, and the queue starts what its head
// asks for. Paths come from whatever planner navigation installs.
#include <cstddef>
#include <cstdint>

#include "Engine/ai/ai_component.h"

// The names ai_state prints, in state order.
extern const char* const Ai_state_names[AI_NUM_STATES];

// Navigation's planner. Returns a new path or null when none exists; with no
// planner installed a straight line from start to goal is the path.
using AiPlanner = ai_path* (*)(const vector& start, int start_record, const vector& goal, int goal_value,
                              float radius, bool check);
void ai_set_planner(AiPlanner planner);

// The behaviour layer's answer to an approach order (types 2 and 8): run
// on every queue execution while the order leads the queue, since the one
// approached keeps moving.
using AiApproach = int (*)(ai_component* ai, int target);
void ai_set_approach(AiApproach approach);

// States.
int ai_set_state(ai_component* ai, int state, int sub_state);
int ai_get_behaviour(const ai_component* ai);
void ai_set_combat(ai_component* ai);
void ai_set_mount_idle(ai_component* ai);
void ai_attack_entity(ai_component* ai, int target);
void ai_travel_to_within(ai_component* ai, const vector& point, int distance);
void ai_travel_stop_queue(ai_component* ai);
void ai_hide_toggle(ai_component* ai);
bool ai_is_head_action_current(const ai_component* ai);
bool ai_is_combat_sub_15_31_63(const ai_component* ai);
bool ai_can_act(const ai_component* ai);
// The core's own versions of the operations the entity code reaches
// through AiHooks; ai_install_core makes them the hooks.
void ai_core_reset(ai_component* ai);
void ai_core_init_for_spawn(ai_component* ai);
void ai_core_release(ai_component* ai);
void ai_core_reset_to_idle(ai_component* ai);
void ai_core_reset_to_inactive(ai_component* ai);
void ai_core_travel_to(ai_component* ai, const vector& point);
void ai_install_core();

// Paths.
int ai_plan_path(ai_component* ai, const vector& start, int start_record, const vector& goal, int goal_value,
                 float radius, bool append, bool check);
bool ai_get_path_end(const ai_component* ai, vector* out);

// The queue.
int ai_queue_add(ai_component* ai, int type, int priority, uint32_t flags, int target, const vector* point,
                 int point_value, int spell, float fvalue);
int ai_queue_place(ai_component* ai, int type, int priority, uint32_t flags, int target, const vector* point,
                   int point_value, int spell);
int ai_queue_find(const ai_component* ai, uint32_t mask, int type, uint32_t flags, int target, const vector* point,
                  int point_value, int spell);
bool ai_queue_remove(ai_component* ai, int slot);
void ai_queue_clear(ai_component* ai);
void ai_queue_remove_type(ai_component* ai, int type);
void ai_queue_remove_attacks(ai_component* ai);
void ai_queue_remove_casts(ai_component* ai);
bool ai_queue_has_active(const ai_component* ai);
void ai_queue_mark_all(ai_component* ai);
void ai_queue_remove_unmarked(ai_component* ai);
void ai_queue_sort(ai_component* ai);
void ai_queue_execute(ai_component* ai);
// The refresh verdict of one slot: 0 keep, 1 remove, 3 suspend.
int ai_queue_refresh_verdict(const ai_component* ai, int slot);

int ai_queue_attack(ai_component* ai, int target, int priority);
int ai_queue_walk_to(ai_component* ai, const vector& point, int value, bool run, int priority);
int ai_queue_path_to(ai_component* ai, const vector& point, int value, int priority, bool check_start);
int ai_queue_action3(ai_component* ai, int spell, int priority);
int ai_queue_action4(ai_component* ai, int spell, int target, int priority);
int ai_queue_cast_at_point(ai_component* ai, int spell, const vector& point, int value, int priority);
int ai_queue_action6(ai_component* ai, int toggle, int priority);
int ai_queue_action15(ai_component* ai);
// The close special attack: refused (-1) beyond 2.0 or unless the actor
// stands behind the target.
int ai_queue_close_action(ai_component* ai, int target, int priority);
// Picks up a ground item within 2.25 into the party inventory.
int ai_queue_pick_up(ai_component* ai, int object, int priority);

// The queue's network and save record: a 4-byte behaviour, then for
// creatures and neutral entities five 48-byte slots.
constexpr size_t AI_QUEUE_SLOT_BYTES = 48;
constexpr size_t AI_QUEUE_RECORD_BYTES = 4 + AI_QUEUE_LENGTH * AI_QUEUE_SLOT_BYTES;
size_t ai_queue_write(const ai_component* ai, uint8_t* out, size_t room);
// Returns the bytes read, or 0 (nothing changed) when the record is short.
size_t ai_queue_read(ai_component* ai, const uint8_t* in, size_t size);
uint32_t ai_name_checksum(const char* name);

// One line per state and queue slot, as the console prints them.
void ai_describe(const ai_component* ai, char* out, size_t room);

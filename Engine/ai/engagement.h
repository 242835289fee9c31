#pragma once
// How every fighting entity closes in on its target, where around it it
// stands, when it strikes or casts and when it gives up. The combat state
// handler sends sub-states 15, 16, 22/23 and 34 here; attack orders start
// with ai_engage. Ordinary creatures get the boss layer's defaults.
#include "Engine/ai/ai_component.h"

// Combat sub-states these routines move between.
constexpr int AI_SUB_MELEE = 15, AI_SUB_CAST = 16, AI_SUB_FIRST_STRIKE = 17, AI_SUB_CHOOSE_SPELL = 21,
              AI_SUB_APPROACH_SLOT = 22, AI_SUB_APPROACH_RANGE = 23, AI_SUB_FOLLOW_PATH = 34,
              AI_SUB_STRIKE_AFTER_PATH = 63;
// How far inside the preferred range counts as "there".
constexpr float AI_RANGE_SLACK = 0.2f;
constexpr int AI_REPLAN_MS = 500;

// The ground-plane edge distance from the entity to its target.
float ai_target_distance(const ai_component* ai, const living_entity* target);
bool ai_in_preferred_range(const ai_component* ai, float distance);
// The slot (0-4) whose direction points most nearly from the target toward
// `from`; ties keep the lower index.
int ai_facing_slot(const vector& target_pos, const vector& from);
// The slot between two slots two steps apart round the circle of five, -1
// when they are not two apart.
int ai_detour_slot(int a, int b);
// The radius the attack slots are taken at.
float ai_slot_radius(const living_entity* self, const living_entity* target, float preferred_range);

bool ai_engage(ai_component* ai, int target);
bool ai_approach(ai_component* ai, living_entity* target, bool casting);
bool ai_approach_slot(ai_component* ai, living_entity* target);
bool ai_approach_range(ai_component* ai, living_entity* target);
// Toward the nearest free tag-defined attack position of the target (held
// from then on), or its reference point when none is free.
bool ai_approach_tag_position(ai_component* ai, living_entity* target);
// The world point of the target's tag attack position `i`.
vector ai_tag_position_point(const living_entity* target, int i);
// Turns toward the target: false while still turning. A leader with tag
// positions that faces its target frees them for its followers.
bool ai_step_to_target(ai_component* ai, living_entity* target);
// True when some live entity follows this one (its AI's leader).
bool ai_leads_followers(const living_entity* e);
// Combat sub-state 14: the change between the standing and the ready
// stance (ai->stance_wanted, -1 the other one), by its transition move or,
// without one, a half-second cross-fade. True when done.
bool ai_combat_stance(ai_component* ai);
// Walks the planned path one step: true while it still moves.
bool ai_follow_path(ai_component* ai);
void ai_alert_guards(ai_component* attacked, living_entity* attacker);
// 1 within the range, 0 while chasing, -1 with no way there or stuck.
int ai_chase_to_range(ai_component* ai, living_entity* target, float range);

// The sub-state handlers.
void ai_combat_melee(ai_component* ai);
void ai_combat_cast(ai_component* ai);
void ai_combat_approach(ai_component* ai);
void ai_combat_follow_path(ai_component* ai);
void ai_combat_first_strike(ai_component* ai);
void ai_combat_strike_after_path(ai_component* ai);
// Runs the handler of the entity's combat sub-state; false when the
// sub-state is not one of these routines'.
bool ai_combat_dispatch(ai_component* ai);

#pragma once
// The AI component every living entity embeds, as the entities see it: its
// state word, flags, target and queue, and the few orders the entity code
// gives it. The AI proper (its states, queue handlers and path following)
// fills the hooks below at start-up; until then, and in tests without a
// fake, each operation keeps only the bookkeeping the entity code reads
// back (the state it was told to enter, the behaviour it was given).
#include <cstdint>

#include "quarn/math/vector.h"

class living_entity;

enum AiStateId {
  AI_STATE_INACTIVE = 0, AI_STATE_IDLE = 1, AI_STATE_TRAVELING = 2, AI_STATE_COMBAT = 3, AI_STATE_CAST_SPELL = 4,
  AI_STATE_PATROL = 5, AI_STATE_SUMMONING = 6, AI_STATE_BANISHING = 7, AI_STATE_DISABLED = 8, AI_STATE_HIDING = 9,
  AI_STATE_SNEAKING = 10, AI_STATE_MOUNT_TRAVEL = 11, AI_STATE_MOUNT_IDLE = 12
};

enum AiFlags : uint32_t {
  AIF_PLAYER_CAST_BLOCK = 0x1, AIF_BACKSTAB = 0x2, AIF_MELEE = 0x20, AIF_SPAWNED_CREATURE = 64,
  AIF_SPELL_BLOCK = 128
};

constexpr int AI_QUEUE_LENGTH = 5;
constexpr int AI_ACTION_NONE = -1;
// The action type of a queued walk: an entity with one counts as moving.
constexpr int AI_ACTION_WALK = 9;

struct ai_action {
  int32_t type = AI_ACTION_NONE;
  int32_t priority = 0;
  int32_t target = -1;
  int32_t arg = 0;
  uint32_t flags = 0;
};

struct ai_component {
  living_entity* owner = nullptr;
  int32_t state = AI_STATE_INACTIVE;
  int32_t sub_state = 0;
  uint32_t flags = 0;
  int32_t target = -1;
  int32_t special_move = -1;  // move id of a move the AI started, -1 none
  int32_t behaviour = 0;
  int32_t current_action = -1;  // index into queue, -1 none
  bool paused = false;
  ai_action queue[AI_QUEUE_LENGTH];
};

// The AI's side of each operation; null entries fall back to the built-in
// bookkeeping. The AI subsystem installs its table at start-up, the world
// test kit a recording fake.
struct AiHooks {
  void (*init)(ai_component* ai) = nullptr;
  void (*init_for_spawn)(ai_component* ai) = nullptr;
  void (*shutdown)(ai_component* ai) = nullptr;
  void (*reset_to_idle)(ai_component* ai) = nullptr;
  void (*reset_to_inactive)(ai_component* ai) = nullptr;
  void (*set_behaviour)(ai_component* ai, int value) = nullptr;
  void (*do_action)(ai_component* ai, int action, int target, int arg, uint32_t flags) = nullptr;
  void (*turn_toward)(ai_component* ai, const vector& point, int flag) = nullptr;
  void (*travel_to)(ai_component* ai, const vector& point) = nullptr;
  bool (*is_busy)(const ai_component* ai) = nullptr;
  // A formation point around a leader for party slots 4 and above.
  bool (*formation_point)(const living_entity* leader, vector* pos, int slot) = nullptr;
};
void ai_set_hooks(const AiHooks& hooks);
const AiHooks& ai_hooks();

void ai_init(ai_component* ai);
void ai_init_for_spawn(ai_component* ai);
void ai_shutdown(ai_component* ai);
void ai_reset_to_idle(ai_component* ai);
void ai_reset_to_inactive(ai_component* ai);
void ai_set_behaviour(ai_component* ai, int value);
void ai_do_action(ai_component* ai, int action, int target, int arg, uint32_t flags);
void ai_turn_toward(ai_component* ai, const vector& point, int flag);
void ai_travel_to(ai_component* ai, const vector& point);

inline int ai_get_state(const ai_component* ai) { return ai->state; }
inline bool ai_is_in_state(const ai_component* ai, int state, int sub_state) {
  return ai->state == state && (sub_state < 0 || ai->sub_state == sub_state);
}
inline bool ai_is_casting(const ai_component* ai) { return ai->state == AI_STATE_CAST_SPELL; }
inline bool ai_is_traveling_sub0(const ai_component* ai) { return ai->state == AI_STATE_TRAVELING && ai->sub_state == 0; }
inline bool ai_is_traveling_sub1(const ai_component* ai) { return ai->state == AI_STATE_TRAVELING && ai->sub_state == 1; }
inline bool ai_is_uninterruptible(const ai_component* ai) {
  return (ai->state == AI_STATE_COMBAT && ai->sub_state == 14) ||
         (ai->state == AI_STATE_SNEAKING && (ai->sub_state == 12 || ai->sub_state == 13));
}
bool ai_is_busy(const ai_component* ai);
// True when an action of the type is queued.
bool ai_has_queued(const ai_component* ai, int type);

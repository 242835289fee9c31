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

// The AI flag word. One table for every part of the game: the bits that
// already had meanings for the entity code keep their values and names.
enum AiFlags : uint32_t {
  AIF_PLAYER_CAST_BLOCK = 0x1,   // exclusive attack/path orders; keeps thinking while pause_ai holds
  AIF_BACKSTAB = 0x2,            // an uninterruptible move runs
  AIF_LASTING_COMBAT = 0x4,      // a lasting combat sub-state (22-29) is active
  AIF_RAN_THIS_FRAME = 0x8,      // set by the culling test
  AIF_FIGHT_SLEEPER = 0x10,      // the fight goes on against a sleeping or charmed target
  AIF_MELEE = 0x20,
  AIF_SPAWNED_CREATURE = 0x40,   // also: update once more after becoming visible
  AIF_SPELL_BLOCK = 0x80,        // low on action points; blocks casting
  AIF_SUMMON_ON_SIGHT = 0x200,
  AIF_PARTY_SNEAK = 0x4000000,
  AIF_NEAR_FORMATION = 0x8000000,
  AIF_CATCH_UP = 0x10000000,
  AIF_SPELL_STARTED = 0x40000000,
  AIF_MOVE_HALF_DONE = 0x80000000u
};
// The names the flag table gives the shared low bits.
constexpr uint32_t AIF_EXCLUSIVE_ORDERS = AIF_PLAYER_CAST_BLOCK;
constexpr uint32_t AIF_UNINTERRUPTIBLE = AIF_BACKSTAB;
constexpr uint32_t AIF_LOW_AP = AIF_SPELL_BLOCK;

constexpr int AI_QUEUE_LENGTH = 5;
constexpr int AI_ACTION_NONE = 0;
// The action type of a queued walk: an entity with one counts as moving.
constexpr int AI_ACTION_WALK = 9;
constexpr int AI_NO_SPELL = 108;
constexpr int AI_NUM_STATES = 13;
constexpr int AI_ATTACK_SLOTS = 5;
// The stance change's move before its first step, and when it has none.
constexpr int32_t AI_STANCE_UNSTARTED = -2, AI_STANCE_BLEND = -1;
constexpr int AI_OFFENSE_POINTS = 8;

// Action flags.
enum AiActionFlags : uint32_t {
  AIA_LOCKED = 0x1, AIA_QUEUED = 0x2, AIA_SUSPENDED = 0x8, AIA_RUN = 0x10, AIA_PASSIVE = 0x20, AIA_MARKED = 0x40,
  AIA_HERO_ORDER = 0x100, AIA_NO_START_CHECK = 0x200
};

// A planned path: its points in walking order; pieces planned in append
// mode chain through next.
struct ai_path {
  int count = 0;
  vector points[32];
  ai_path* next = nullptr;
};
void ai_path_free(ai_path* path);

struct ai_action {
  int32_t type = AI_ACTION_NONE;
  uint32_t flags = 0;
  uint32_t serial = 0;
  float time = 0.0f;
  int32_t priority = -1;
  vector point{0, 0, 0};
  int32_t arg = 0;  // the point value
  int32_t spell = AI_NO_SPELL;
  int32_t target = -1;
  float fvalue = 0.0f;
  ai_path* path = nullptr;
};

struct ai_attack_slot {
  int32_t attacker = -1;
  int32_t time = 0;
};

struct ai_component {
  living_entity* owner = nullptr;
  int32_t state = AI_STATE_INACTIVE;
  int32_t sub_state = 0;
  int32_t prev_state = -1, prev_sub_state = -1;
  int32_t resume_state = -1, resume_sub_state = -1;
  uint32_t flags = 0;
  int32_t target = -1;          // the combat target
  int32_t pending_target = -1;  // becomes the combat target on entering COMBAT
  int32_t special_move = -1;    // move id of a move the AI started, -1 none
  int32_t behaviour = 0;
  int32_t current_action = -1;  // slot of the running action, -1 none
  bool paused = false;
  int32_t state_timer = 0;      // game clock at the last state change
  int32_t think_timer = 0;
  int32_t sneak_timer = 0;
  int32_t disable_timer = 0;
  int32_t repath_timer = 0;
  int32_t knock_down_ms = 0;
  int32_t distance = 0;
  vector travel_target{0, 0, 0};
  vector spell_point{0, 0, 0};
  int32_t spell_value = 0;
  float move_float = 0.0f;
  int32_t offense_point_index = -1;
  // Engagement: the distance it wants to strike or cast from, the attack
  // slot it claimed on its target (-1 none), and the spell its choice left
  // to cast (-1 none).
  float preferred_range = 0.0f;
  int32_t position_slot = -1;
  int32_t pending_spell = -1;
  int32_t reserved_area = -1;
  int32_t spell = -1, last_spell = -1;
  uint32_t head_serial = 0;
  int32_t moving = 0;
  ai_path* path = nullptr;
  vector path_goal{0, 0, 0};
  int32_t path_timers[2] = {0, 0};
  uint8_t path_flags = 0;
  // Path following: `moving` of the previous frame; the wobble's timer and
  // value; the side-step's value and timer (no steering round others while
  // it runs); the entity steered round last (-1 none).
  int32_t prev_moving = 0;
  int32_t wobble_timer = 0;
  float wobble = 0.0f;
  float side_step = 0.0f;
  int32_t side_step_timer = 0;
  int32_t avoided = -1;
  // The driver's bookkeeping: game time gathered for the entity's AI, the
  // culling test's 750 ms timer, and the leader the group control gives it.
  float ai_time = 0.0f;
  int32_t cull_timer = 0;
  int32_t leader = -1;
  // How visible hiding and sneaking leave it: 1 fully, 0 not at all.
  float visibility = 1.0f;
  // The number (1-5) of its place in its leader's formation, 0 none.
  int32_t formation = 0;
  // Its group (PartyController record index), -1 none.
  int32_t group = -1;
  // The wander's pause between points (-1 not set).
  int32_t spare_timer = -1;
  // The stance change of combat sub-state 14: the stance asked for (-1 the
  // other one, 0 standing, 1 ready), when the change began, its move, the
  // stance it goes to and whether the halfway switch has happened.
  int8_t stance_wanted = -1;
  bool stance_want_ready = false, stance_switched = false;
  int32_t stance_timer = -1;
  int32_t stance_move = AI_STANCE_UNSTARTED;
  // When a summon that rose without its emergence effect has emerged (game
  // clock; -1 none): until then it keeps AI flag 2.
  int32_t emerge_timer = -1;
  // The turn move it plays while turning on the spot (-1 none): the angle
  // it set out to turn, the rate the move plays at and how much of it the
  // heading has followed so far.
  int32_t turn_move = -1;
  float turn_angle = 0.0f, turn_rate = 1.0f, turn_done = 0.0f;
  ai_attack_slot attack_slots[AI_ATTACK_SLOTS];
  int32_t offense_points[AI_OFFENSE_POINTS] = {-1, -1, -1, -1, -1, -1, -1, -1};
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

#include "Engine/ai/ai_core.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/party_controller.h"
#include "quarn/os/timer.h"

const char* const Ai_state_names[AI_NUM_STATES] = {
    "AI_STATE_INACTIVE", "AI_STATE_IDLE",     "AI_STATE_TRAVELING",   "AI_STATE_COMBAT", "AI_STATE_CAST_SPELL",
    "AI_STATE_PATROL",   "AI_STATE_SUMMONING", "AI_STATE_BANISHING",  "AI_STATE_DISABLED", "AI_STATE_HIDING",
    "AI_STATE_SNEAKING", "AI_STATE_MOUNT_TRAVEL", "AI_STATE_MOUNT_IDLE"};

namespace {

constexpr uint32_t ES_SNEAKING = 0x400;
constexpr int DISTANCE_UNBOUNDED = 999999;
constexpr int PLAYER_ORDER = 999999;
// Bits the find and stance tests ignore when comparing action flags.
constexpr uint32_t FLAGS_IGNORED = AIA_QUEUED | 0x4 | AIA_SUSPENDED | AIA_HERO_ORDER | AIA_NO_START_CHECK;

AiPlanner Planner = nullptr;
AiApproach Approach = nullptr;
uint32_t Next_serial = 1;

int32_t now() { return timer_game_clock; }

living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }
uint32_t owner_flags(const ai_component* ai) { return ai->owner ? ai->owner->state : 0; }
int owner_type(const ai_component* ai) { return ai->owner ? ai->owner->type : OBJ_CREATURE; }
bool is_hero(const ai_component* ai) { return owner_type(ai) == OBJ_PLAYER; }
bool combat_ready(const ai_component* ai) { return (owner_flags(ai) & ES_COMBAT_READY) != 0; }
bool sneaking(const ai_component* ai) { return (owner_flags(ai) & ES_SNEAKING) != 0; }
bool dead(const living_entity* e) { return !e || (e->state & ES_DEAD); }
void stop(ai_component* ai) {
  if (ai->owner) ai->owner->set_move_mode(0.0f);
}

// The field bits that identify an action of each type.
enum : uint32_t { FB_TARGET = 4, FB_POINT = 8, FB_SPELL = 16, FB_FLOAT = 32 };
uint32_t field_bits(int type) {
  switch (type) {
    case 1: case 2: case 8: case 14: case 17: return FB_TARGET;
    case 4: return FB_TARGET | FB_SPELL;
    case 3: return FB_SPELL;
    case 5: return FB_POINT | FB_SPELL;
    case 9: case 10: case 12: return FB_POINT;
    case 13: return FB_POINT | FB_FLOAT;
    default: return 0;
  }
}

bool is_current(const ai_component* ai, int slot) {
  return ai->queue[slot].type != AI_ACTION_NONE && ai->queue[slot].serial == ai->head_serial && ai->head_serial;
}

ai_path* straight_line(const vector& start, int, const vector& goal, int, float, bool) {
  ai_path* p = new ai_path;
  p->count = 2;
  p->points[0] = start;
  p->points[1] = goal;
  return p;
}

void free_offense_point(ai_component* ai) {
  living_entity* t = resolve(ai->target);
  if (t && t->character && t->character->offense_point_count > 0 && ai->offense_point_index >= 0 &&
      ai->offense_point_index < AI_OFFENSE_POINTS &&
      ai->owner && t->ai.offense_points[ai->offense_point_index] == ai->owner->handle)
    t->ai.offense_points[ai->offense_point_index] = -1;
  ai->offense_point_index = -1;
}

}  // namespace

void ai_set_planner(AiPlanner planner) { Planner = planner; }
void ai_set_approach(AiApproach approach) { Approach = approach; }

void ai_path_free(ai_path* path) {
  while (path) {
    ai_path* next = path->next;
    delete path;
    path = next;
  }
}

// ---- states ---------------------------------------------------------------------

int ai_set_state(ai_component* ai, int state, int sub_state) {
  if (ai->state == state && ai->sub_state == sub_state) return 0;
  if (state == AI_STATE_DISABLED && (ai_is_casting(ai) || ai_is_uninterruptible(ai))) return 0;
  const int old = ai->state, old_sub = ai->sub_state;
  ai->prev_state = old;
  ai->prev_sub_state = old_sub;
  if (old == AI_STATE_CAST_SPELL && state != AI_STATE_CAST_SPELL) ai->spell = -1;
  ai->reserved_area = -1;
  ai->state = state;
  ai->sub_state = sub_state;
  ai->state_timer = now();
  if (state == -1) return 1;
  if (old == AI_STATE_HIDING && old_sub != 11 && state != AI_STATE_HIDING) {
    ai->resume_state = state;
    ai->resume_sub_state = sub_state;
    ai->state = AI_STATE_HIDING;
    ai->sub_state = 11;
    ai->flags |= AIF_UNINTERRUPTIBLE;
    return 1;
  }
  if (sneaking(ai) && state != AI_STATE_TRAVELING && state != AI_STATE_SNEAKING && state != AI_STATE_IDLE) {
    ai_queue_action15(ai);
    return 1;
  }
  if (state == AI_STATE_COMBAT && sub_state == 14) ai->stance_move = AI_STANCE_UNSTARTED;
  if (state == AI_STATE_DISABLED || (state == AI_STATE_COMBAT && sub_state == 14))
    ai->flags |= AIF_UNINTERRUPTIBLE;
  else
    ai->flags &= ~AIF_UNINTERRUPTIBLE;
  if (old == AI_STATE_COMBAT && state != AI_STATE_COMBAT) {
    free_offense_point(ai);
    ai->flags &= ~(AIF_FIGHT_SLEEPER | AIF_LOW_AP);
  }
  if (state == AI_STATE_IDLE) {
    ai->target = -1;
    ai->spell = -1;
    ai->distance = 0;
  }
  if (state == AI_STATE_COMBAT && old != AI_STATE_COMBAT) {
    if (ai->pending_target != -1) {
      ai->target = ai->pending_target;
      ai->pending_target = -1;
    }
    if (sub_state == 15 || sub_state == 16) {
      stop(ai);
      ai->flags &= ~AIF_LASTING_COMBAT;
      if (ai->owner) {
        if (living_entity* m = ai->owner->get_mount()) ai_set_mount_idle(&m->ai);
        ai->owner->combat.target = ai->target;
      }
    } else if (sub_state == 21) {
      ai->flags &= ~AIF_LASTING_COMBAT;
      ai->state_timer = now() + timestamp_random_ms(500, 1500);
    } else if (sub_state >= 22 && sub_state <= 29) {
      ai->flags |= AIF_LASTING_COMBAT;
    } else {
      ai->flags &= ~AIF_LASTING_COMBAT;
    }
  }
  if (state == AI_STATE_TRAVELING && sub_state == 6) ai->target = -1;
  ai->moving = 0;
  ai->path_flags &= ~2;
  return 1;
}

int ai_get_behaviour(const ai_component* ai) {
  if (ai->behaviour != 0) return ai->behaviour;
  living_entity* t = resolve(ai->target);
  return t && t->type == OBJ_BOSS ? 2 : 0;
}

void ai_set_combat(ai_component* ai) { ai_set_state(ai, AI_STATE_COMBAT, -1); }

void ai_set_mount_idle(ai_component* ai) {
  stop(ai);
  ai_set_state(ai, AI_STATE_MOUNT_IDLE, -1);
  ai->distance = 0;
  ai->flags &= ~AIF_CATCH_UP;
}

void ai_attack_entity(ai_component* ai, int target) {
  ai->target = target;
  ai->distance = DISTANCE_UNBOUNDED;
  if (ai->owner) ai->owner->combat.target = target;
  ai_set_state(ai, AI_STATE_COMBAT, 15);
}

void ai_core_travel_to(ai_component* ai, const vector& point) {
  ai->travel_target = point;
  ai->distance = DISTANCE_UNBOUNDED;
  if (!ai_is_traveling_sub1(ai)) {
    ai_set_state(ai, AI_STATE_TRAVELING, 1);
    ai_queue_clear(ai);
  }
  ai->flags &= ~AIF_CATCH_UP;
}

void ai_travel_to_within(ai_component* ai, const vector& point, int distance) {
  ai->travel_target = point;
  ai->distance = distance;
  ai_set_state(ai, AI_STATE_TRAVELING, 2);
}

void ai_travel_stop_queue(ai_component* ai) {
  ai->distance = DISTANCE_UNBOUNDED;
  ai_set_state(ai, AI_STATE_TRAVELING, 1);
  ai->flags &= ~AIF_CATCH_UP;
  ai_queue_clear(ai);
}

void ai_hide_toggle(ai_component* ai) {
  if (ai->state != AI_STATE_HIDING)
    ai_queue_add(ai, 16, PLAYER_ORDER, 0, -1, nullptr, 0, AI_NO_SPELL, 0.0f);
  else
    ai_core_reset_to_idle(ai);
}

bool ai_is_head_action_current(const ai_component* ai) {
  return ai->state == AI_STATE_TRAVELING && ai->queue[0].type != AI_ACTION_NONE &&
         ai->queue[0].serial == ai->head_serial;
}

bool ai_is_combat_sub_15_31_63(const ai_component* ai) {
  return ai->state == AI_STATE_COMBAT && (ai->sub_state == 15 || ai->sub_state == 31 || ai->sub_state == 63);
}

bool ai_can_act(const ai_component* ai) {
  if (ai_is_uninterruptible(ai)) return false;
  if (ai->state == AI_STATE_DISABLED && (ai->sub_state == 45 || ai->sub_state == 46)) return false;
  if (!ai->owner) return true;
  if (ai->owner->character && ai->owner->character->ai_cannot_act) return false;
  if (ai->owner->has_status_effect(10)) return false;
  return !ai->owner->is_rider() && !ai->owner->is_mount();
}

void ai_core_reset(ai_component* ai) {
  ai->owner = nullptr;
  ai_set_state(ai, -1, -1);
  ai->behaviour = -1;
  ai->think_timer = now();
  ai->repath_timer = now() + timestamp_random_ms(0, 50);
  ai_path_free(ai->path);
  ai->path = nullptr;
  for (ai_action& a : ai->queue) {
    ai_path_free(a.path);
    a = ai_action{};
  }
  ai->current_action = -1;
  ai->reserved_area = -1;
  ai->offense_point_index = -1;
  ai->leader = ai->group = -1;
  ai->formation = 0;
  ai->visibility = 1.0f;
  for (ai_attack_slot& s : ai->attack_slots) s = ai_attack_slot{};
  for (int32_t& p : ai->offense_points) p = -1;
}

void ai_core_release(ai_component* ai) {
  // A torn-down entity's handle may soon name another: it must not stay
  // listed in a group.
  if (ai->owner) party_leave(ai->owner);
  ai_path_free(ai->path);
  ai->path = nullptr;
  ai_queue_clear(ai);
}

namespace {
struct BehaviourPair {
  int type, behaviour;
};
constexpr BehaviourPair Behaviours[] = {{159, 5}, {163, 4}, {164, 5}, {166, 5}, {69, 4}, {65, 4}, {61, 4},
                                        {44, 4},  {60, 5},  {185, 4}, {189, 5}, {190, 5}, {152, 5}, {212, 5}};
}  // namespace

void ai_core_init_for_spawn(ai_component* ai) {
  ai_core_reset_to_idle(ai);
  ai_queue_clear(ai);
  ai->behaviour = -1;
  if (ai->owner && ai->owner->character) {
    for (const BehaviourPair& b : Behaviours)
      if (b.type == ai->owner->character->kind) ai->behaviour = b.behaviour;
  }
  for (ai_attack_slot& s : ai->attack_slots) s = ai_attack_slot{};
  for (int32_t& p : ai->offense_points) p = -1;
  ai_path_free(ai->path);
  ai->path = nullptr;
  ai->head_serial = 0;
  ai->target = ai->pending_target = ai->last_spell = -1;
  ai->spare_timer = now();
}

void ai_core_reset_to_idle(ai_component* ai) {
  for (int guard = 0; ai && guard < 8; ++guard) {
    stop(ai);
    ai_set_state(ai, AI_STATE_IDLE, 0);
    ai->distance = 0;
    ai->flags &= ~(AIF_CATCH_UP | AIF_FIGHT_SLEEPER);
    living_entity* m = ai->owner ? ai->owner->get_mount() : nullptr;
    ai = m ? &m->ai : nullptr;
  }
}

void ai_core_reset_to_inactive(ai_component* ai) {
  ai->flags &= ~AIF_CATCH_UP;
  ai_set_state(ai, AI_STATE_INACTIVE, 0);
  if (ai->owner)
    if (living_entity* m = ai->owner->get_mount()) ai_core_reset_to_idle(&m->ai);
}

void ai_install_core() {
  AiHooks h = ai_hooks();
  h.init_for_spawn = ai_core_init_for_spawn;
  h.shutdown = ai_core_release;
  h.reset_to_idle = ai_core_reset_to_idle;
  h.reset_to_inactive = ai_core_reset_to_inactive;
  h.travel_to = ai_core_travel_to;
  ai_set_hooks(h);
}

// ---- paths ----------------------------------------------------------------------

int ai_plan_path(ai_component* ai, const vector& start, int start_record, const vector& goal, int goal_value,
                 float radius, bool append, bool check) {
  if (start_record < 0) {
    ai_path_free(ai->path);
    ai->path = nullptr;
    return -1;
  }
  ai_path* p = (Planner ? Planner : straight_line)(start, start_record, goal, goal_value, radius, check);
  if (!p) return -1;
  if (append && ai->path) {
    ai_path* last = ai->path;
    while (last->next) last = last->next;
    last->next = p;
  } else {
    ai_path_free(ai->path);
    ai->path = p;
  }
  ai->path_goal = goal;
  ai->path_timers[0] = ai->path_timers[1] = now() + 1000;
  ai->path_flags = check ? ai->path_flags & ~8 : ai->path_flags | 8;
  if (ai->state == AI_STATE_COMBAT) ai->path_flags |= 8;
  return 0;
}

bool ai_get_path_end(const ai_component* ai, vector* out) {
  const ai_path* p = ai->path;
  if (!p) return false;
  while (p->next) p = p->next;
  if (p->count <= 0) return false;
  *out = p->points[p->count - 1];
  return true;
}

// ---- the queue ------------------------------------------------------------------

int ai_queue_find(const ai_component* ai, uint32_t mask, int type, uint32_t flags, int target, const vector* point,
                  int point_value, int spell) {
  const uint32_t fb = field_bits(type);
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    const ai_action& a = ai->queue[i];
    if ((mask & 0x1) && a.type != type) continue;
    if ((mask & 0x2) && (a.flags & ~FLAGS_IGNORED) != (flags & ~FLAGS_IGNORED)) continue;
    if ((mask & 0x4) && (fb & FB_TARGET) && type != 2 && a.target != target) continue;
    if ((mask & 0x8) && (fb & FB_POINT) && point &&
        (a.point.x != point->x || a.point.y != point->y || a.point.z != point->z || a.arg != point_value))
      continue;
    if ((mask & 0x10) && (fb & FB_SPELL) && a.spell != spell) continue;
    if ((mask & 0x40) && is_current(ai, i)) continue;
    return i;
  }
  return -1;
}

bool ai_queue_remove(ai_component* ai, int slot) {
  if (slot < 0 || slot >= AI_QUEUE_LENGTH) return false;
  ai_action& a = ai->queue[slot];
  if (a.type != AI_ACTION_NONE && a.serial == ai->head_serial) ai->head_serial = 0;
  if (ai->current_action == slot) ai->current_action = -1;
  ai_path_free(a.path);
  a = ai_action{};
  return true;
}

void ai_queue_clear(ai_component* ai) {
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) ai_queue_remove(ai, i);
}

void ai_queue_remove_type(ai_component* ai, int type) {
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i)
    if (ai->queue[i].type == type) ai_queue_remove(ai, i);
}
void ai_queue_remove_attacks(ai_component* ai) { ai_queue_remove_type(ai, 1); }
void ai_queue_remove_casts(ai_component* ai) {
  for (int t = 3; t <= 5; ++t) ai_queue_remove_type(ai, t);
}

bool ai_queue_has_active(const ai_component* ai) {
  for (const ai_action& a : ai->queue)
    if (a.type != AI_ACTION_NONE && !(a.flags & AIA_PASSIVE)) return true;
  return false;
}

void ai_queue_mark_all(ai_component* ai) {
  for (ai_action& a : ai->queue)
    if (a.type != AI_ACTION_NONE) a.flags |= AIA_MARKED;
}

void ai_queue_remove_unmarked(ai_component* ai) {
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i)
    if (ai->queue[i].type != AI_ACTION_NONE && !(ai->queue[i].flags & AIA_MARKED)) ai_queue_remove(ai, i);
}

int ai_queue_place(ai_component* ai, int type, int priority, uint32_t flags, int target, const vector* point,
                   int point_value, int spell) {
  int best = -1;
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    if (ai->queue[i].flags & AIA_LOCKED) continue;
    if (best < 0 || ai->queue[i].priority < ai->queue[best].priority) best = i;
  }
  if (best < 0) return -1;
  if (!(flags & AIA_LOCKED) && priority <= ai->queue[best].priority) return -1;
  ai_queue_remove(ai, best);
  ai_action& a = ai->queue[best];
  a.type = type;
  a.priority = priority;
  a.flags = flags | AIA_QUEUED;
  a.serial = Next_serial++;
  if (Next_serial == 0) Next_serial = 1;
  a.time = static_cast<float>(now()) / 1000.0f;
  a.target = target;
  if (point) a.point = *point;
  a.arg = point_value;
  a.spell = spell;
  return best;
}

int ai_queue_add(ai_component* ai, int type, int priority, uint32_t flags, int target, const vector* point,
                 int point_value, int spell, float fvalue) {
  if (type == 1) {
    ai_queue_remove_type(ai, 1);
    ai_queue_remove_type(ai, 14);
  } else if (type == 9) {
    ai_queue_remove_type(ai, 9);
  } else if (type >= 3 && type <= 5) {
    ai_queue_remove_casts(ai);
  }
  if ((ai->flags & AIF_EXCLUSIVE_ORDERS) && (type == 1 || type == 9)) {
    ai_queue_remove_type(ai, 9);
    ai_queue_remove_type(ai, 1);
  }
  const int same = ai_queue_find(ai, 0x1F, type, flags, target, point, point_value, spell);
  if (same >= 0) {
    ai->queue[same].priority = priority;
    if (type == 2) ai->queue[same].target = target;
    return same;
  }
  const int slot = ai_queue_place(ai, type, priority, flags, -1, nullptr, 0, AI_NO_SPELL);
  if (slot < 0) return -1;
  ai_action& a = ai->queue[slot];
  const uint32_t fb = field_bits(type);
  if (fb & FB_TARGET) a.target = target;
  if ((fb & FB_POINT) && point) {
    a.point = *point;
    a.arg = point_value;
  }
  if (fb & FB_SPELL) a.spell = spell;
  if (fb & FB_FLOAT) a.fvalue = fvalue;
  return slot;
}

int ai_queue_attack(ai_component* ai, int target, int priority) {
  living_entity* t = resolve(target);
  if (dead(t)) return -1;
  if (ai->owner && t->team == ai->owner->team) return -1;
  if (ai->flags & AIF_EXCLUSIVE_ORDERS) ai_queue_remove_attacks(ai);
  return ai_queue_add(ai, 1, priority, 0, target, nullptr, 0, AI_NO_SPELL, 0.0f);
}

int ai_queue_walk_to(ai_component* ai, const vector& point, int value, bool run, int priority) {
  return ai_queue_add(ai, 12, priority, run ? AIA_RUN : 0, -1, &point, value, AI_NO_SPELL, 0.0f);
}

int ai_queue_path_to(ai_component* ai, const vector& point, int value, int priority, bool check_start) {
  return ai_queue_add(ai, 9, priority, check_start ? 0 : AIA_NO_START_CHECK, -1, &point, value, AI_NO_SPELL, 0.0f);
}

int ai_queue_action3(ai_component* ai, int spell, int priority) {
  return ai_queue_add(ai, 3, priority, 0, -1, nullptr, 0, spell, 0.0f);
}

int ai_queue_action4(ai_component* ai, int spell, int target, int priority) {
  if (dead(resolve(target)) && spell != 3 && spell != 5) return -1;
  return ai_queue_add(ai, 4, priority, 0, target, nullptr, 0, spell, 0.0f);
}

int ai_queue_cast_at_point(ai_component* ai, int spell, const vector& point, int value, int priority) {
  return ai_queue_add(ai, 5, priority, 0, -1, &point, value, spell, 0.0f);
}

int ai_queue_action6(ai_component* ai, int toggle, int priority) {
  bool want = toggle != 0;
  if (combat_ready(ai)) want = !want;
  const int found = ai_queue_find(ai, 0x3, 6, 0, -1, nullptr, 0, AI_NO_SPELL);
  if ((ai_is_uninterruptible(ai) || found >= 0) && !(ai->flags & AIF_MOVE_HALF_DONE)) want = !want;
  if (want) {
    if (!is_hero(ai) && ai_has_queued(ai, 6)) return 0;
    return ai_queue_place(ai, 6, priority, 0, -1, nullptr, 0, AI_NO_SPELL);
  }
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i)
    if (ai->queue[i].type == 6 && !is_current(ai, i) && i != found) ai_queue_remove(ai, i);
  return -1;
}

int ai_queue_close_action(ai_component* ai, int target, int priority) {
  living_entity* t = resolve(target);
  if (!ai->owner || !t || ai->owner->distance_to(t, false, -1) > 2.0f) return -1;
  vector to = ai->owner->pos - t->pos;
  const float len = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
  const vector& f = t->orient.forward;
  if (len <= 0.0f || -(to.x * f.x + to.y * f.y + to.z * f.z) / len <= 0.707f) return -1;
  return ai_queue_add(ai, 14, priority, 0, target, nullptr, 0, AI_NO_SPELL, 0.0f);
}

int ai_queue_pick_up(ai_component* ai, int object, int priority) {
  return ai_queue_add(ai, 17, priority, 0, object, nullptr, 0, AI_NO_SPELL, 0.0f);
}

int ai_queue_action15(ai_component* ai) {
  return ai_queue_add(ai, 15, PLAYER_ORDER, 0, -1, nullptr, 0, AI_NO_SPELL, 0.0f);
}

int ai_queue_refresh_verdict(const ai_component* ai, int slot) {
  const ai_action& a = ai->queue[slot];
  const bool cur = is_current(ai, slot);
  if (ai->state == AI_STATE_DISABLED) return 3;
  living_entity* t = resolve(a.target);
  const bool moving = ai->owner && ai->owner->move_speed > 0.0f;
  switch (a.type) {
    case 1:
      if (ai_is_casting(ai)) return 3;
      if (!combat_ready(ai)) return 0;
      if (!t || (t->state & ES_DOWN)) return 1;
      if (t->state & ES_DEAD) return 3;
      if (ai->owner && ai->owner->team == 0 && t->team == 0 && !t->has_status_effect(16)) return 1;
      return 0;
    case 2: case 8:
      return dead(t) ? 1 : 0;
    case 3: case 4: case 5:
      if (cur) return ai_is_casting(ai) ? 0 : 1;
      if (a.type == 4 && !t) return 1;
      return 0;
    case 6: case 7:
      if (cur) {
        if (combat_ready(ai) && sneaking(ai)) return 3;
        return ai_is_uninterruptible(ai) ? 0 : 1;
      }
      return ai_is_casting(ai) || ai->state == AI_STATE_SNEAKING ? 3 : 0;
    case 9:
      if (!cur) return 0;
      return ai->path ? 0 : 1;
    case 12:
      return !cur || ai->path ? 0 : 1;
    case 14:
      if (!t) return 1;
      if (sneaking(ai)) return 0;
      if (cur) return ai_is_in_state(ai, AI_STATE_COMBAT, 17) ? 0 : 1;
      return moving || ai_is_uninterruptible(ai) || ai_is_casting(ai) ? 3 : 0;
    case 15:
      if (cur) return ai->state == AI_STATE_SNEAKING ? 0 : (!combat_ready(ai) ? 3 : 1);
      return moving || ai_is_casting(ai) || ai_is_uninterruptible(ai) ? 3 : 0;
    case 16:
      if (cur) return ai->state == AI_STATE_HIDING ? 0 : (!combat_ready(ai) ? 3 : 0);
      return moving || ai_is_casting(ai) ? 3 : 0;
    default:
      return 0;
  }
}

namespace {
// a before b. Stance switches and sneak toggles lead; of two such, the
// lower slot leads, so the order is strict and every input sorts alike.
bool action_before(const ai_action& a, int ai_slot, const ai_action& b, int bi_slot) {
  const bool am = a.flags & AIA_MARKED, bm = b.flags & AIA_MARKED;
  if (am != bm) return !am;
  const bool as = a.flags & AIA_SUSPENDED, bs = b.flags & AIA_SUSPENDED;
  if (as != bs) return !as;
  const bool af = a.type == 6 || a.type == 15, bf = b.type == 6 || b.type == 15;
  if (af != bf) return af;
  if (af) return ai_slot < bi_slot;
  if (a.priority != b.priority) return a.priority > b.priority;
  if (a.time != b.time) return a.time > b.time;
  return a.serial > b.serial;
}
}  // namespace

void ai_queue_sort(ai_component* ai) {
  int order[AI_QUEUE_LENGTH] = {0, 1, 2, 3, 4};
  for (int i = 1; i < AI_QUEUE_LENGTH; ++i) {
    const int k = order[i];
    int j = i - 1;
    while (j >= 0 && action_before(ai->queue[k], k, ai->queue[order[j]], order[j])) {
      order[j + 1] = order[j];
      --j;
    }
    order[j + 1] = k;
  }
  ai_action sorted[AI_QUEUE_LENGTH];
  int running = -1;
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    sorted[i] = ai->queue[order[i]];
    if (order[i] == ai->current_action) running = i;
  }
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) ai->queue[i] = sorted[i];
  ai->current_action = running;
}

namespace {

int start_attack(ai_component* ai, const ai_action& a) {
  living_entity* t = resolve(a.target);
  if (dead(t) || owner_type(ai) == OBJ_NEUTRAL) return -1;
  ai_queue_remove_type(ai, 9);
  if (ai->state == AI_STATE_COMBAT && ai->target == a.target) return 0;
  ai->target = a.target;
  ai->offense_point_index = -1;
  if (ai->owner) ai->owner->combat.target = a.target;
  if (combat_ready(ai) || is_hero(ai)) {
    if ((a.flags & AIA_HERO_ORDER) || t->has_status_effect(9)) ai->flags |= AIF_FIGHT_SLEEPER;
    if (ai->state != AI_STATE_COMBAT) ai_set_state(ai, AI_STATE_COMBAT, 15);
    return 0;
  }
  ai_core_reset_to_idle(ai);
  ai_queue_add(ai, 6, PLAYER_ORDER, 0, -1, nullptr, 0, AI_NO_SPELL, 0.0f);
  return 0;
}

int start_cast(ai_component* ai, const ai_action& a, int sub) {
  ai->spell = a.spell;
  ai->last_spell = a.spell;
  ai_set_state(ai, AI_STATE_CAST_SPELL, sub);
  ai->flags &= ~AIF_SPELL_STARTED;
  ai->special_move = -1;
  stop(ai);
  return 0;
}

int start_path_move(ai_component* ai, ai_action& a) {
  const vector from = ai->owner ? ai->owner->pos : vector(0, 0, 0);
  const float r = ai->owner ? ai->owner->get_radius() : 0.5f;
  if (a.type == 12 && a.path) {
    ai_path_free(ai->path);
    ai->path = a.path;
    a.path = nullptr;
    ai->path_goal = a.point;
    ai->path_timers[0] = ai->path_timers[1] = now() + 1000;
  } else if (ai_plan_path(ai, from, a.arg < 0 ? 0 : a.arg, a.point, a.arg, r, false,
                          !(a.flags & AIA_NO_START_CHECK)) < 0) {
    return -1;
  }
  ai_path* keep = ai->path;
  ai->path = nullptr;  // a state change must not see the old path as this one's
  ai_set_state(ai, AI_STATE_TRAVELING, a.type == 12 ? 6 : 0);
  ai->path = keep;
  ai->moving = 1;
  return 0;
}

int start_stance(ai_component* ai) {
  if (ai_is_uninterruptible(ai)) return is_hero(ai) ? 1 : 0;
  stop(ai);
  ai->flags &= ~AIF_MOVE_HALF_DONE;
  ai->special_move = -1;
  ai->disable_timer = now();
  ai_set_state(ai, AI_STATE_COMBAT, 14);
  return 0;
}

}  // namespace

void ai_queue_execute(ai_component* ai) {
  if (ai->state == AI_STATE_SUMMONING) return;
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    if (ai->queue[i].type == AI_ACTION_NONE) continue;
    const int v = ai_queue_refresh_verdict(ai, i);
    if (v == 0) ai->queue[i].flags &= ~AIA_SUSPENDED;
    else if (v == 3) ai->queue[i].flags |= AIA_SUSPENDED;
    else ai_queue_remove(ai, i);
  }
  ai_queue_sort(ai);
  ai_action& h = ai->queue[0];
  if (h.type == AI_ACTION_NONE || (h.flags & AIA_SUSPENDED)) return;
  if ((h.type == 2 || h.type == 8) && Approach) {
    ai->head_serial = h.serial;
    ai->current_action = 0;
    if (Approach(ai, h.target) < 0) ai_queue_remove(ai, 0);
    return;
  }
  if (h.serial == ai->head_serial && ai->state != AI_STATE_IDLE) return;
  ai->head_serial = h.serial;
  ai->current_action = 0;
  switch (h.type) {
    case 1: start_attack(ai, h); break;
    case 3: start_cast(ai, h, 39); break;
    case 4:
      if (resolve(h.target)) {
        ai->target = h.target;
        start_cast(ai, h, 40);
      }
      break;
    case 5:
      ai->spell_point = h.point;
      ai->spell_value = h.arg;
      start_cast(ai, h, 41);
      break;
    case 6: case 7: start_stance(ai); break;
    case 9: case 12: start_path_move(ai, h); break;
    case 13:
      ai->spell_point = h.point;
      ai->spell_value = h.arg;
      ai->move_float = h.fvalue;
      ai_set_state(ai, AI_STATE_TRAVELING, 8);
      break;
    case 15:
      if (ai->state != AI_STATE_SNEAKING && !sneaking(ai)) ai_set_state(ai, AI_STATE_SNEAKING, 12);
      else ai_set_state(ai, AI_STATE_SNEAKING, 13);
      break;
    case 14: {
      living_entity* t = resolve(h.target);
      if (!ai->owner || dead(t) || ai->owner->distance_to(t, false, -1) > 2.0f) break;
      if (sneaking(ai)) {
        ai_queue_action15(ai);
        break;
      }
      ai->target = h.target;
      ai->offense_point_index = -1;
      ai->flags |= AIF_FIGHT_SLEEPER;
      ai->owner->combat.set_target(ai->owner, t);
      ai->owner->combat.set_attack_style(18);
      ai_set_state(ai, AI_STATE_COMBAT, 17);
      break;
    }
    case 17: {
      const int target = h.target;
      ai_queue_remove(ai, 0);
      game_object* o = target < 0 ? nullptr : obj_from_handle(target);
      if (!o || !ai->owner || o->type != OBJ_GROUND_ITEM) break;
      const vector d = o->pos - ai->owner->pos;
      if (d.x * d.x + d.y * d.y + d.z * d.z <= 2.25f * 2.25f)
        party_inventory_pickup(static_cast<ground_item*>(o), true);
      break;
    }
    case 16:
      if (ai->state != AI_STATE_HIDING) {
        ai->flags |= AIF_UNINTERRUPTIBLE;
        ai_set_state(ai, AI_STATE_HIDING, 9);
      }
      break;
    default: break;
  }
}

// ---- the save record ------------------------------------------------------------

uint32_t ai_name_checksum(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : ""); *p; ++p)
    h = h * 31u + *p;
  return h;
}

namespace {
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void putf(uint8_t* p, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(p, v);
}
float getf(const uint8_t* p) {
  const uint32_t v = get32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
bool writes_queue(const ai_component* ai) { return owner_type(ai) == OBJ_CREATURE || owner_type(ai) == OBJ_NEUTRAL; }

int handle_from_checksum(uint32_t sum) {
  for (living_entity* e = entity_first(entity_live_list()); e; e = entity_next(entity_live_list(), e))
    if (ai_name_checksum(e->get_name()) == sum) return e->handle;
  return -1;
}
}  // namespace

size_t ai_queue_write(const ai_component* ai, uint8_t* out, size_t room) {
  const size_t need = writes_queue(ai) ? AI_QUEUE_RECORD_BYTES : 4;
  if (room < need) return 0;
  put32(out, static_cast<uint32_t>(ai->behaviour));
  if (need == 4) return 4;
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    const ai_action& a = ai->queue[i];
    uint8_t* p = out + 4 + i * AI_QUEUE_SLOT_BYTES;
    put32(p, static_cast<uint32_t>(a.type));
    put32(p + 4, a.flags);
    put32(p + 8, a.serial);
    putf(p + 12, a.time);
    put32(p + 16, static_cast<uint32_t>(a.priority));
    putf(p + 20, a.point.x);
    putf(p + 24, a.point.y);
    putf(p + 28, a.point.z);
    put32(p + 32, static_cast<uint32_t>(a.arg));
    put32(p + 36, static_cast<uint32_t>(a.spell));
    living_entity* t = resolve(a.target);
    put32(p + 40, ai_name_checksum(t ? t->get_name() : ""));
    putf(p + 44, a.fvalue);
  }
  return need;
}

size_t ai_queue_read(ai_component* ai, const uint8_t* in, size_t size) {
  const size_t need = writes_queue(ai) ? AI_QUEUE_RECORD_BYTES : 4;
  if (!in || size < need) return 0;
  const int32_t behaviour = static_cast<int32_t>(get32(in));
  if (need == 4) {
    ai->behaviour = behaviour;
    return 4;
  }
  ai_action slots[AI_QUEUE_LENGTH];
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) {
    const uint8_t* p = in + 4 + i * AI_QUEUE_SLOT_BYTES;
    ai_action& a = slots[i];
    a.type = static_cast<int32_t>(get32(p));
    // A type the queue does not know reads as an empty slot, so nothing
    // ever starts from a damaged record.
    if (a.type < 0 || a.type > 17) a.type = AI_ACTION_NONE;
    if (a.type == AI_ACTION_NONE) {
      a = ai_action{};
      continue;
    }
    a.flags = get32(p + 4);
    a.serial = get32(p + 8);
    a.time = getf(p + 12);
    a.priority = static_cast<int32_t>(get32(p + 16));
    a.point = vector(getf(p + 20), getf(p + 24), getf(p + 28));
    a.arg = static_cast<int32_t>(get32(p + 32));
    a.spell = static_cast<int32_t>(get32(p + 36));
    const uint32_t sum = get32(p + 40);
    a.target = sum == ai_name_checksum("") ? -1 : handle_from_checksum(sum);
    a.fvalue = getf(p + 44);
    if (a.serial >= Next_serial) Next_serial = a.serial + 1;
  }
  ai_queue_clear(ai);
  ai->behaviour = behaviour;
  for (int i = 0; i < AI_QUEUE_LENGTH; ++i) ai->queue[i] = slots[i];
  return need;
}

void ai_describe(const ai_component* ai, char* out, size_t room) {
  if (!room) return;
  const char* name = ai->state >= 0 && ai->state < AI_NUM_STATES ? Ai_state_names[ai->state] : "NONE";
  int n = std::snprintf(out, room, "%s sub %d target %d\n", name, ai->sub_state, ai->target);
  for (int i = 0; i < AI_QUEUE_LENGTH && n >= 0 && static_cast<size_t>(n) < room; ++i) {
    const ai_action& a = ai->queue[i];
    if (a.type == AI_ACTION_NONE) continue;
    n += std::snprintf(out + n, room - n, "  [%d] type %d pri %d target %d%s%s\n", i, a.type, a.priority, a.target,
                       a.serial == ai->head_serial ? " running" : "", (a.flags & AIA_SUSPENDED) ? " suspended" : "");
  }
}

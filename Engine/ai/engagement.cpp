#include "Engine/ai/engagement.h"

#include <algorithm>
#include <cmath>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_think.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/ai/boss_layer.h"
#include "Engine/ai/predict_move.h"
#include "Engine/ai/spell_choice.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {

constexpr int ACTION_ATTACK = 1;
constexpr int ACTION_GUARD = 8;
constexpr int ALERT_PRIORITY = 2000;
constexpr int FIRST_STRIKE_PRIORITY = 1000;
constexpr int SPELL_PRIORITY = 999999;
// Steering: how far one step turns, and how closely it must face before
// it counts as facing.
constexpr float TURN_STEP_RADIANS = 0.5f;
constexpr float FACING_COS = 0.97f;
constexpr float WAYPOINT_REACHED = 0.3f;
// The stance change waits until the body has all but stopped.
constexpr float STANCE_SETTLE_DISTANCE = 0.1f;
// Transition move variations of the character table.
constexpr int VAR_STAND_TO_READY = 35, VAR_READY_TO_STAND = 36, VAR_STAND_TO_READY_HURT = 37,
              VAR_READY_TO_STAND_HURT = 38;

int32_t now() { return timer_game_clock; }

bool gone(const living_entity* e) { return !e || (e->state & ES_DEAD); }

float reach_of(const living_entity* e) {
  return e->character && e->character->attack_radius > 0.0f ? e->character->attack_radius : 1.0f;
}

vector reference_point(const living_entity* e) { return e->pos + e->offset; }

vector flat_dir(const vector& from, const vector& to) {
  vector d(to.x - from.x, 0.0f, to.z - from.z);
  const float len = std::sqrt(d.x * d.x + d.z * d.z);
  return len > 0.0f ? vector(d.x / len, 0.0f, d.z / len) : vector(0.0f, 0.0f, 0.0f);
}

float dist3(const vector& a, const vector& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool walkable(const vector& p, int layer) {
  const EntityWorldHooks& w = entity_world();
  return !w.point_walkable || w.point_walkable(p, layer);
}

bool line_walkable(const vector& a, const vector& b, const living_entity* self) {
  const EntityWorldHooks& w = entity_world();
  if (!w.obstacle_query) return true;
  return w.obstacle_query(a, b, self->get_radius(), 0, self->layer) == 0;
}

bool plan_to(ai_component* ai, const vector& goal, float stop_radius) {
  living_entity* self = ai->owner;
  return ai_plan_path(ai, self->pos, std::max(self->layer, 0), goal, self->layer, stop_radius, false, false) == 0;
}

void mount_travel(living_entity* self) {
  if (living_entity* m = self->get_mount()) ai_set_state(&m->ai, AI_STATE_MOUNT_TRAVEL, -1);
}

// The entities in a fighting sub-state against the target.
int count_attackers(const living_entity* target) {
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e == target || e->ai.target != target->handle || e->ai.state != AI_STATE_COMBAT) continue;
    const int s = e->ai.sub_state;
    n += (s == AI_SUB_MELEE || s == 31 || s == 63 || s == AI_SUB_CAST || s == AI_SUB_APPROACH_SLOT ||
          s == AI_SUB_APPROACH_RANGE)
             ? 1
             : 0;
  }
  return n;
}

void choose_or_fight(ai_component* ai, bool casting) {
  const int behaviour = ai_get_behaviour(ai);
  int sub = casting ? AI_SUB_CAST : AI_SUB_MELEE;
  if (!(ai->flags & AIF_SPELL_BLOCK) && (behaviour == 4 || behaviour == 5)) sub = AI_SUB_CHOOSE_SPELL;
  ai_set_state(ai, AI_STATE_COMBAT, sub);
}

// A leader that has turned to its target gives its tag positions up and
// lets its followers choose their places afresh.
void release_for_followers(living_entity* self) {
  for (int32_t& h : self->attack_tag_holders) h = -1;
  const living_entity* target = entity_from_handle(self->ai.target);
  living_entity* list = entity_live_list();
  for (living_entity* f = entity_first(list); f; f = entity_next(list, f)) {
    if (f == self || gone(f) || f->ai.leader != self->handle) continue;
    f->ai.position_slot = -1;
    if (f->ai.state == AI_STATE_IDLE && (self->state & ES_AI_INTERRUPTED) && !gone(target)) {
      f->ai.target = target->handle;
      ai_engage(&f->ai, target->handle);
    }
  }
}

void start_attack(ai_component* ai, living_entity* target) {
  living_entity* self = ai->owner;
  self->combat.target = target->handle;
  self->combat.engage(boss_current_offense_variation(ai));
  ai_claim_attack_slot(&self->ai, target, 0, -1);
  ai_claim_attack_slot(&target->ai, self, 0, -1);
  ai_alert_guards(&target->ai, self);
}

}  // namespace

float ai_target_distance(const ai_component* ai, const living_entity* target) {
  if (!ai->owner || !target) return 0.0f;
  // From the tag of the position held, when the target has such positions.
  int bone = -1;
  const int slot = ai->position_slot;
  if (slot >= 0 && slot < boss_attack_position_count(target) && target->attack_tag_holders[slot] == ai->owner->handle)
    bone = target->character->attack_tag_bones[slot];
  return std::max(ai->owner->distance_to(target, true, bone), 0.0f);
}

vector ai_tag_position_point(const living_entity* t, int i) {
  vector p = reference_point(t);
  if (!t->instance || !t->character || i < 0 || i >= NUM_ATTACK_TAGS || t->character->attack_tag_bones[i] < 0)
    return p;
  const vector b = t->instance->bone_position(t->character->attack_tag_bones[i]);
  return p + t->orient.right * b.x + t->orient.up * b.y + t->orient.forward * b.z;
}

bool ai_approach_tag_position(ai_component* ai, living_entity* target) {
  living_entity* self = ai->owner;
  const int count = boss_attack_position_count(target);
  int held = ai->position_slot >= 0 && ai->position_slot < count &&
                     target->attack_tag_holders[ai->position_slot] == self->handle
                 ? ai->position_slot
                 : -1;
  vector goal = reference_point(target);
  if (held < 0) {
    float best = 0.0f;
    for (int i = 0; i < count; i++) {
      const living_entity* holder = entity_from_handle(target->attack_tag_holders[i]);
      if (!gone(holder) && holder != self) continue;
      if (target->is_boss() && !boss_allows_move(boss_type_id(target), i)) continue;
      const float d = dist3(ai_tag_position_point(target, i), self->pos);
      if (held < 0 || d < best) held = i, best = d;
    }
  }
  if (held >= 0) goal = ai_tag_position_point(target, held);
  if (!plan_to(ai, goal, 0.0f) &&
      ai_plan_path(ai, self->pos, std::max(self->layer, 0), goal, std::max(self->layer, 0), 0.0f, false, false) != 0)
    return false;
  ai->position_slot = held;
  if (held >= 0) target->attack_tag_holders[held] = self->handle;
  return true;
}

bool ai_in_preferred_range(const ai_component* ai, float distance) {
  return distance < ai->preferred_range + AI_RANGE_SLACK;
}

int ai_facing_slot(const vector& target_pos, const vector& from) {
  const vector d = flat_dir(target_pos, from);
  int best = 0;
  float best_dot = -2.0f;
  for (int i = 0; i < AI_ATTACK_SLOTS; ++i) {
    const float dot = d.x * Ai_attack_slot_dirs[i].x + d.z * Ai_attack_slot_dirs[i].z;
    if (dot > best_dot) best_dot = dot, best = i;
  }
  return best;
}

int ai_detour_slot(int a, int b) {
  const int gap = (a - b + AI_ATTACK_SLOTS) % AI_ATTACK_SLOTS;
  if (gap != 2 && gap != 3) return -1;
  switch (a + b) {
    case 2: return 1;
    case 3: return 4;
    case 4: return 2;
    case 5: return 0;
    case 6: return 3;
    default: return -1;
  }
}

float ai_slot_radius(const living_entity* self, const living_entity* target, float preferred_range) {
  return self->get_radius() + target->get_radius() + preferred_range - AI_RANGE_SLACK;
}

bool ai_engage(ai_component* ai, int target_handle) {
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(target_handle);
  if (!self) return false;
  if (gone(target)) {
    ai_reset_to_idle(ai);
    return true;
  }
  const float d = ai_target_distance(ai, target);
  if (self->type != OBJ_PLAYER && self->character && self->character->fov_range > 0.0f &&
      d > self->character->fov_range) {
    const int slot = ai_queue_find(ai, 0x5, ACTION_ATTACK, 0, target_handle, nullptr, 0, AI_NO_SPELL);
    if (slot >= 0) ai_queue_remove(ai, slot);
    ai_reset_to_idle(ai);
    return true;
  }
  float spell_range = 0.0f;
  bool casting = self->wants_spell(&spell_range);
  const float reach = reach_of(self);
  ai->preferred_range = casting ? spell_range : reach;
  // A boss fights at the range of the attack it has chosen.
  if (self->is_boss() && boss_type_id(self) != BOSS_TIGER_RIDER) {
    ai->preferred_range = reach;
    boss_get_offense_range(ai, nullptr, nullptr);
  }

  // A target with tag positions is approached by them while none is held.
  if (!casting && !ai_in_preferred_range(ai, d) && boss_attack_position_count(target) > 0 &&
      ai->position_slot < 0)
    return ai_approach(ai, target, false);
  bool back_off = false;
  if (casting && d < reach + AI_RANGE_SLACK) {
    // A caster the others are not yet crowding fights hand to hand; with
    // two or more already on the target it keeps its distance.
    if (count_attackers(target) < 2) {
      casting = false;
      ai->preferred_range = reach;
    } else {
      back_off = true;
    }
  }
  if (!back_off && ai_in_preferred_range(ai, d)) {
    if (ai->pending_spell < 0) {
      if (casting)
        choose_or_fight(ai, true);
      else if (!(ai->flags & AIF_SPELL_BLOCK) && (ai_get_behaviour(ai) == 4 || ai_get_behaviour(ai) == 5))
        ai_set_state(ai, AI_STATE_COMBAT, AI_SUB_CHOOSE_SPELL);
      else
        ai_set_state(ai, AI_STATE_COMBAT, AI_SUB_MELEE);
      return true;
    }
    const int spell = ai->pending_spell;
    ai->pending_spell = -1;
    return ai_queue_action4(ai, spell, ai->target, SPELL_PRIORITY) < 0;
  }
  return ai_approach(ai, target, casting);
}

bool ai_approach(ai_component* ai, living_entity* target, bool casting) {
  ai->path_goal = target->pos;
  ai->repath_timer = timestamp_set(now(), AI_REPLAN_MS);
  if (ai->pending_spell < 0 && !casting) {
    if (!ai_approach_slot(ai, target)) return false;
    ai_set_state(ai, AI_STATE_COMBAT, AI_SUB_APPROACH_SLOT);
    return true;
  }
  if (!ai_approach_range(ai, target)) return false;
  ai_set_state(ai, AI_STATE_COMBAT, AI_SUB_APPROACH_RANGE);
  return true;
}

bool ai_approach_range(ai_component* ai, living_entity* target) {
  living_entity* self = ai->owner;
  const float f = frand_range(0.5f, 1.0f);
  const vector dir = flat_dir(target->pos, self->pos);
  const vector goal = target->pos + dir * (f * ai->preferred_range);
  if (!plan_to(ai, goal, 0.0f)) return false;
  mount_travel(self);
  return true;
}

bool ai_approach_slot(ai_component* ai, living_entity* target) {
  living_entity* self = ai->owner;
  const float d = ai_target_distance(ai, target);
  if (ai_in_preferred_range(ai, d)) return false;
  vector aim = reference_point(target);
  if (target->get_anim_distance() > 0.0f && d >= 5.0f && self->get_anim_distance() >= 0.1f) {
    vector ahead;
    predict_move_end_position(&target->ai, &ahead, 1.0f);
    if (line_walkable(aim, ahead, self)) aim = ahead;
  }
  const float R = ai_slot_radius(self, target, ai->preferred_range);
  if (boss_attack_position_count(target) > 0) {
    // Let go of the position held; the nearest free one is taken afresh.
    const int held = ai->position_slot;
    if (held >= 0 && held < NUM_ATTACK_TAGS && target->attack_tag_holders[held] == self->handle)
      target->attack_tag_holders[held] = -1;
    ai->position_slot = -1;
    return ai_approach_tag_position(ai, target);
  }

  bool open[AI_ATTACK_SLOTS];
  for (int i = 0; i < AI_ATTACK_SLOTS; ++i) {
    const living_entity* holder = entity_from_handle(target->ai.attack_slots[i].attacker);
    open[i] = gone(holder) || holder == self;
  }
  const int facing = ai_facing_slot(aim, self->pos);
  for (;;) {
    int best = -1;
    float best_d = 0.0f;
    for (int i = 0; i < AI_ATTACK_SLOTS; ++i) {
      if (!open[i]) continue;
      const float di = dist3(aim + Ai_attack_slot_dirs[i] * R, self->pos);
      if (best < 0 || di < best_d) best = i, best_d = di;
    }
    if (best < 0) break;
    const vector spot = aim + Ai_attack_slot_dirs[best] * R;
    if (!walkable(spot, self->layer)) {
      open[best] = false;
      continue;
    }
    // Going straight to a slot on the far side would walk through the
    // target: go round by the slot between.
    vector detour;
    bool has_detour = false;
    const int via = ai_detour_slot(best, facing);
    if (via >= 0) {
      detour = aim + Ai_attack_slot_dirs[via] * R;
      has_detour = line_walkable(self->pos, detour, self) && line_walkable(detour, spot, self);
    }
    if (!plan_to(ai, spot, 0.0f)) {
      // No way there: answering true here would have the entity re-engage
      // every frame, so it says so and the caller tries again later.
      return false;
    }
    if (has_detour && !self->is_rider() && ai->path && ai->path->count < 32) {
      // The detour is the first leg: after the start point when the plan
      // begins with one.
      ai_path* p = ai->path;
      const int at = p->count > 0 && dist3(p->points[0], self->pos) < 1e-3f ? 1 : 0;
      for (int i = p->count; i > at; --i) p->points[i] = p->points[i - 1];
      p->points[at] = detour;
      p->count++;
    }
    mount_travel(self);
    const int ms = static_cast<int>(std::min(0.3f * best_d, 2.5f) * 1000.0f);
    ai->position_slot = ai_claim_attack_slot(&target->ai, self, ms, best);
    return true;
  }
  if (!walkable(aim, self->layer) && entity_world().push_out_of_obstacles)
    entity_world().push_out_of_obstacles(&aim, self->size_class(), self->layer);
  if (!plan_to(ai, aim, R)) return false;
  mount_travel(self);
  ai_claim_attack_slot(&target->ai, self, 1000, -1);
  ai->position_slot = -1;
  return true;
}

namespace {

// One turning step of the body toward the target: false while it still turns.
bool turn_toward_target(living_entity* body, const living_entity* target) {
  const vector want = flat_dir(body->pos, reference_point(target));
  if (want.x == 0.0f && want.z == 0.0f) return true;
  const vector fwd = flat_dir(vector(0, 0, 0), body->orient.forward);
  const float cosine = fwd.x * want.x + fwd.z * want.z;
  if (cosine >= FACING_COS) return true;
  // Turn by at most one step toward the target.
  const float have = std::atan2(fwd.x, fwd.z), goal = std::atan2(want.x, want.z);
  float delta = goal - have;
  while (delta > 3.14159265f) delta -= 6.2831853f;
  while (delta < -3.14159265f) delta += 6.2831853f;
  const float turn = std::clamp(delta, -TURN_STEP_RADIANS, TURN_STEP_RADIANS);
  const float h = have + turn;
  body->orient.forward = vector(std::sin(h), 0.0f, std::cos(h));
  body->orient.up = vector(0.0f, 1.0f, 0.0f);
  body->orient.right = vector(std::cos(h), 0.0f, -std::sin(h));
  return std::fabs(delta) <= TURN_STEP_RADIANS && std::cos(delta - turn) >= FACING_COS;
}

}  // namespace

bool ai_step_to_target(ai_component* ai, living_entity* target) {
  living_entity* self = ai->owner;
  ai->flags &= ~AIF_CATCH_UP;
  if (ai->special_move >= 0 && !self->is_boss()) {
    // A move cuts across a turn: the entity turns no more. Left set, the
    // turning mark would have its attackers count it as reached for as long
    // as it fights, swinging from where they stand without ever landing.
    ai->flags &= ~AIF_MELEE;
    return true;
  }
  if (!turn_toward_target(self->get_mount() ? self->get_mount() : self, target)) return false;
  if (multi_entity_is_local(self) && ai_leads_followers(self) && boss_attack_position_count(self) > 0)
    release_for_followers(self);
  return true;
}

bool ai_leads_followers(const living_entity* e) {
  if (!e || e->handle < 0) return false;
  living_entity* list = entity_live_list();
  for (living_entity* f = entity_first(list); f; f = entity_next(list, f))
    if (f != e && !gone(f) && f->ai.leader == e->handle) return true;
  return false;
}

bool ai_combat_stance(ai_component* ai) {
  living_entity* self = ai->owner;
  const bool ready = (self->state & ES_COMBAT_READY) != 0;
  const bool want = ai->stance_wanted < 0 ? (ai->stance_move == AI_STANCE_UNSTARTED ? !ready : ai->stance_want_ready)
                                          : ai->stance_wanted != 0;
  if (ai->stance_move == AI_STANCE_UNSTARTED) {
    // Asked for the stance it already holds: nothing to change.
    if (want == ready) {
      ai->stance_wanted = -1;
      return true;
    }
    self->set_move_mode(0.0f);
    if (self->get_anim_distance() > STANCE_SETTLE_DISTANCE) return false;
    ai->stance_want_ready = want;
    ai->stance_switched = false;
    ai->stance_timer = now();
    const bool hurt = self->is_weak();
    const Move_info* m = nullptr;
    if (hurt) m = self->find_move(MOVE_TRANSITION, ready ? VAR_READY_TO_STAND_HURT : VAR_STAND_TO_READY_HURT);
    if (!m) m = self->find_move(MOVE_TRANSITION, ready ? VAR_READY_TO_STAND : VAR_STAND_TO_READY);
    const int id = m ? self->play_move(m, 1.0f, false, true, 0) : -1;
    ai->stance_move = id >= 0 ? id : AI_STANCE_BLEND;
    ai->special_move = id >= 0 ? id : -1;
  }
  auto toggle_once = [&] {
    if (ai->stance_switched) return;
    ai->stance_switched = true;
    self->state ^= ES_COMBAT_READY;
  };
  auto finish = [&] {
    if (ai->stance_want_ready) self->state |= ES_COMBAT_READY;
    else self->state &= ~ES_COMBAT_READY;
    self->stance_blend = 0.0f;
    ai->stance_move = AI_STANCE_UNSTARTED;
    ai->stance_wanted = -1;
    ai->special_move = -1;
    return true;
  };
  if (ai->stance_move == AI_STANCE_BLEND) {
    // No move for it: the two stances cross-fade over half a second, the
    // stance itself changing halfway.
    const float t = 0.002f * static_cast<float>(now() - ai->stance_timer);
    if (t >= 0.5f) toggle_once();
    if (t >= 1.0f) return finish();
    const float old_weight = (std::cos(3.14159265f * t) + 1.0f) * 0.5f;
    // The movement blend weighs the current stance by 1 - stance_blend.
    self->stance_blend = ai->stance_switched ? old_weight : 1.0f - old_weight;
    return false;
  }
  if (self->move_finished(ai->stance_move)) return finish();
  if (self->get_move_progress(ai->stance_move) > 0.5f) toggle_once();
  return false;
}

bool ai_follow_path(ai_component* ai) {
  living_entity* self = ai->owner;
  ai_path* p = ai->path;
  while (p && p->count == 0) p = p->next;
  if (!p) {
    self->set_move_mode(0.0f);
    return false;
  }
  vector next = p->points[0];
  const float dx = next.x - self->pos.x, dz = next.z - self->pos.z;
  if (dx * dx + dz * dz < WAYPOINT_REACHED * WAYPOINT_REACHED) {
    for (int i = 1; i < p->count; ++i) p->points[i - 1] = p->points[i];
    p->count--;
    return ai_follow_path(ai);
  }
  const vector dir = flat_dir(self->pos, next);
  self->orient.forward = dir;
  self->orient.up = vector(0.0f, 1.0f, 0.0f);
  self->orient.right = vector(dir.z, 0.0f, -dir.x);
  self->set_move_mode(self->run_speed > 0.0f ? self->run_speed : 1.0f);
  return true;
}

void ai_alert_guards(ai_component* attacked, living_entity* attacker) {
  living_entity* self = attacked->owner;
  if (!self || gone(attacker)) return;
  // The one struck weighs the attacker against its present target, heroes
  // as well: a hero standing by while a monster strikes him fights back.
  if (!self->is_boss() || !boss_has_own_targeting(self)) ai_consider_target(attacked, attacker->handle);
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e == self || e == attacker) continue;
    if (ai_queue_find(&e->ai, 0x5, ACTION_GUARD, 0, self->handle, nullptr, 0, AI_NO_SPELL) >= 0)
      ai_queue_attack(&e->ai, attacker->handle, ALERT_PRIORITY);
  }
}

void ai_combat_melee(ai_component* ai) {
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(ai->target);
  if (gone(target)) {
    ai_reset_to_idle(ai);
    return;
  }
  float d = ai_target_distance(ai, target);
  if ((target->ai.flags & AIF_MELEE) && !(target->is_boss() && d >= 5.0f)) d = 0.0f;
  float range = 0.0f;
  if (self->wants_spell(&range) && (count_attackers(target) >= 2 || d > reach_of(self))) {
    if (ai_engage(ai, ai->target)) return;
  }
  boss_get_offense_range(ai, nullptr, nullptr);
  if (target->get_anim_distance() > 0.0f) d *= 4.0f / 9.0f;
  if (!ai_in_preferred_range(ai, d) && ai_engage(ai, ai->target)) return;
  if (!ai_step_to_target(ai, target) && !self->combat.is_attacking()) return;
  if (self->combat.is_attacking()) return;
  start_attack(ai, target);
}

void ai_combat_cast(ai_component* ai) {
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(ai->target);
  if (gone(target)) {
    ai_reset_to_idle(ai);
    return;
  }
  float range = 0.0f;
  if (!self->wants_spell(&range)) {
    ai_engage(ai, ai->target);
    return;
  }
  const float d = ai_target_distance(ai, target);
  boss_get_offense_range(ai, nullptr, nullptr);
  const float half = ai->preferred_range * 0.5f;
  if (!(ai_in_preferred_range(ai, d) && d >= half) && ai_engage(ai, ai->target)) return;
  if (ai_step_to_target(ai, target) && !self->combat.is_attacking()) start_attack(ai, target);
}

void ai_combat_approach(ai_component* ai) {
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(ai->target);
  if (gone(target)) {
    ai_reset_to_idle(ai);
    return;
  }
  if (!ai->path) {
    ai_engage(ai, ai->target);
    return;
  }
  float range = 0.0f;
  const bool casting = self->wants_spell(&range);
  if (casting) ai->preferred_range = range;
  float lower = casting ? ai->preferred_range * 0.5f : 0.0f;
  boss_get_offense_range(ai, &lower, nullptr);
  const float d = std::max(ai_target_distance(ai, target), 0.01f);
  if (d >= lower && d <= ai->preferred_range && std::fabs(self->pos.y - target->pos.y) < 3.0f) {
    ai_path_free(ai->path);
    ai->path = nullptr;
    self->set_move_mode(0.0f);
    if (casting)
      choose_or_fight(ai, true);
    else
      ai_set_state(ai, AI_STATE_COMBAT, AI_SUB_MELEE);
    return;
  }
  if (ai_follow_path(ai)) {
    if (!(ai->flags & AIF_CATCH_UP) && timestamp_elapsed(ai->repath_timer, now())) {
      ai->repath_timer = timestamp_set(now(), AI_REPLAN_MS);
      ai_engage(ai, ai->target);
    }
    return;
  }
  if (living_entity* m = self->get_mount()) ai_set_mount_idle(&m->ai);
  ai_engage(ai, ai->target);
}

void ai_combat_follow_path(ai_component* ai) {
  if (ai->path && ai_follow_path(ai) && !timestamp_elapsed(ai->state_timer + 2500, now())) return;
  ai_engage(ai, ai->target);
}

void ai_combat_first_strike(ai_component* ai) {
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(ai->target);
  if (gone(target) || self->distance_to(target, false, -1) > 2.0f) {
    ai_reset_to_idle(ai);
    return;
  }
  if (!ai_step_to_target(ai, target)) return;
  self->combat.target = target->handle;
  if (!self->combat.engage(0)) return;
  const int handle = target->handle;
  ai_reset_to_idle(ai);
  ai_queue_attack(ai, handle, FIRST_STRIKE_PRIORITY);
  if (target->ai.state != AI_STATE_COMBAT) {
    ai_queue_attack(&target->ai, self->handle, FIRST_STRIKE_PRIORITY);
    ai_queue_execute(&target->ai);
  }
}

void ai_combat_strike_after_path(ai_component* ai) {
  living_entity* self = ai->owner;
  if (ai->path && ai_follow_path(ai)) return;
  living_entity* target = entity_from_handle(ai->target);
  if (gone(target)) {
    ai_reset_to_idle(ai);
    return;
  }
  if ((ai_step_to_target(ai, target) || self->combat.is_attacking()) && !self->combat.is_attacking()) {
    self->combat.target = target->handle;
    self->combat.engage(0);
  }
}

int ai_chase_to_range(ai_component* ai, living_entity* target, float range) {
  living_entity* self = ai->owner;
  if (self->distance_to(target, false, -1) <= range) {
    ai_path_free(ai->path);
    ai->path = nullptr;
    self->set_move_mode(0.0f);
    return 1;
  }
  if (!ai->path || timestamp_elapsed(ai->repath_timer, now())) {
    vector aim;
    predict_move_end_position(&target->ai, &aim, 1.0f);
    if (!walkable(aim, self->layer)) aim = target->pos;
    if (!plan_to(ai, aim, range)) return -1;
    ai_claim_attack_slot(&target->ai, self, 1000, -1);
    ai->repath_timer = timestamp_set(now(), AI_REPLAN_MS);
  }
  if (ai_follow_path(ai)) return 0;
  return self->get_anim_distance() < 0.01f ? -1 : 0;
}

bool ai_combat_dispatch(ai_component* ai) {
  if (ai->state != AI_STATE_COMBAT || !ai->owner) return false;
  switch (ai->sub_state) {
    case AI_SUB_MELEE: ai_combat_melee(ai); return true;
    case AI_SUB_CAST: ai_combat_cast(ai); return true;
    case AI_SUB_APPROACH_SLOT:
    case AI_SUB_APPROACH_RANGE: ai_combat_approach(ai); return true;
    case AI_SUB_CHOOSE_SPELL: ai_combat_choose_spell(ai); return true;
    case AI_SUB_FIRST_STRIKE: ai_combat_first_strike(ai); return true;
    case AI_SUB_FOLLOW_PATH: ai_combat_follow_path(ai); return true;
    case AI_SUB_STRIKE_AFTER_PATH: ai_combat_strike_after_path(ai); return true;
    default: return false;
  }
}

#include "Engine/ai/ai_think.h"

#include <algorithm>
#include <cmath>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/party_controller.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "quarn/os/timer.h"

namespace {

AiThinkHooks Hooks;
int32_t Hero_spread_timer = -1;

constexpr float kPi = 3.14159265f;
// The tables give no type a target preference; at 0.25 an entity that is
// hit keeps its target exactly when that one is the nearer.
constexpr float kPreference = 0.25f;
constexpr float kSightCone = 0.71f;
constexpr uint32_t ES_SNEAKING = 0x400;
constexpr uint32_t ES_UNSEEN = 0x20000;
constexpr int STAT_STEALTH = 22;
constexpr int FOLLOW_PRIORITY = 500;
constexpr int STEP_ASIDE_PRIORITY = 5000;
constexpr int ATTACKED_PRIORITY = 1000;
constexpr int SPREAD_MS = 2000;

int32_t now() { return timer_game_clock; }
living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }
bool gone(const living_entity* e) { return !e || (e->state & ES_DEAD) || e->type == OBJ_FREE; }
vector flat(const vector& v) { return vector(v.x, 0.0f, v.z); }
float flat_len(const vector& v) { return std::sqrt(v.x * v.x + v.z * v.z); }
float flat_dist2(const vector& a, const vector& b) { return flat(a - b).length_squared(); }

const living_entity* controlled() {
  const AiDriverHooks& h = ai_driver_hooks();
  return h.controlled ? h.controlled() : nullptr;
}

float speed_of(const living_entity* e) { return e->instance ? e->instance->motion_speed() : e->move_speed; }

bool sees(const living_entity* from, const living_entity* to) {
  return Hooks.can_see ? Hooks.can_see(from, to) : true;
}

// The leader's position a little ahead along its walk.
vector ahead_of(const living_entity* leader, float seconds) {
  return leader->pos + flat(leader->velocity) * seconds;
}

bool leads_group_of(const living_entity* leader, const ai_component* ai) { return ai->leader == leader->handle; }

}  // namespace

void ai_set_think_hooks(const AiThinkHooks& hooks) { Hooks = hooks; }
void ai_think_reset() { Hero_spread_timer = -1; }

int ai_team_eagerness(int own, int target) {
  static const int table[4][4] = {{0, 0, 80, 100}, {0, 0, 0, 0}, {100, 60, 10, 25}, {100, 80, 60, 40}};
  if (own < 0 || own > 3 || target < 0 || target > 3) return 0;
  return table[own][target];
}

// ---- perception -------------------------------------------------------------------

void ai_score_candidate(AiCandidates* c, living_entity* q, bool ignore_boss) {
  living_entity* s = c->seeker;
  (void)ignore_boss;
  if (!s || !q || q == s || q->type == OBJ_NEUTRAL) return;
  if (q->state & (ES_UNSEEN | ES_DEAD)) return;
  if (q->hp <= 0.0f || q->ai.state == AI_STATE_HIDING || !s->is_hostile_to(q)) return;
  const vector to = q->pos - s->pos;
  const float d = to.length();
  const float f = d > 0.0f ? vector::dot(to * (1.0f / d), s->orient.forward) : 1.0f;
  const Character_info* ci = s->character;
  float r = ci ? ci->fov_range : 0.0f;
  const float near = ci ? ci->detection_range : 0.0f;
  const bool sneaks = (q->state & ES_SNEAKING) != 0;
  if (sneaks) {
    if (q->has_status_effect(STATUS_FADED) || s->has_status_effect(STATUS_BLIND)) return;
    r *= 1.0f - 0.6f * std::fmax(0.0f, q->get_stat(STAT_STEALTH));  // an absent stat reads below 0
  }
  if (d > r) return;
  if (d > near && f < kSightCone) return;
  if (s->has_status_effect(STATUS_BLIND) && d > near) return;
  if (q->has_status_effect(STATUS_FADED)) {
    if (q->get_status_effect_strength(STATUS_FADED) > 0.0f) return;
    if (d > near) return;
  }
  if ((sneaks || ai_is_in_state(&q->ai, AI_STATE_COMBAT, 17)) && f < kSightCone) return;
  if (q->type == OBJ_PLAYER && Hooks.cutscene_script_running && Hooks.cutscene_script_running()) return;
  if ((q->state & ES_SUMMONED) && q->ai.state == AI_STATE_SUMMONING) return;
  const float climb = s->type == OBJ_BOSS ? 7.5f : 3.0f;
  if (std::fabs(q->pos.y - s->pos.y) >= climb) return;
  if (ai_count_attackers_of_leader(&q->ai, false) >= c->attacker_limit) return;
  if (!sees(s, q)) return;
  float level = q->combat.get_attack_level();
  const int b = ai_get_behaviour(&q->ai);
  if (b == 3 || b == 4 || b == 5) level *= 1.25f;
  if (level <= 0.0f) level = 1.0f;
  float score;
  if (!c->best) {
    score = d;
  } else {
    score = (1.5f - kPreference) * (d * c->level / level);
    if (q->has_status_effect(STATUS_SLEEP)) score = r;
    if (score >= c->score) return;
  }
  c->best = q;
  c->score = score;
  c->level = level;
}

void ai_seek_target(ai_component* ai, int mode) {
  living_entity* e = ai->owner;
  (void)mode;
  if (!e) return;
  living_entity* old = resolve(ai->target);
  if (old && (old->state & (ES_DOWN | ES_DEAD))) {
    ai->target = -1;
    old = nullptr;
  }
  if (old) {
    const float reach = e->character ? e->character->attack_radius : 0.0f;
    if (e->type == OBJ_BOSS || e->distance_to(old, false, -1) <= 1.5f * reach + 2.0f) return;
  }
  AiCandidates c;
  c.seeker = e;
  living_entity* list = entity_live_list();
  for (living_entity* q = entity_first(list); q; q = entity_next(list, q)) ai_score_candidate(&c, q, false);
  if (!c.best || c.best == old) return;
  const int eager = ai_team_eagerness(e->team, c.best->team);
  if (eager <= 0) return;
  ai_queue_attack(ai, c.best->handle, 10 * eager);
}

void ai_consider_target(ai_component* ai, int attacker) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (game_flags_test(GF_NETWORKED) && (multi_is_client() || !multi_entity_is_local(e))) return;
  if (ai->flags & AIF_FIGHT_SLEEPER) return;
  if ((ai->flags & AIF_PLAYER_CAST_BLOCK) && ai->state != AI_STATE_IDLE && !ai_is_in_state(ai, AI_STATE_TRAVELING, 5))
    return;
  living_entity* a = resolve(attacker);
  if (attacker == ai->target || gone(a) || !e->is_hostile_to(a)) return;
  if (living_entity* t = resolve(ai->target); t && !gone(t)) {
    const float da = flat_dist2(e->pos, a->pos), dt = flat_dist2(e->pos, t->pos);
    if (4.0f * kPreference * da >= dt) return;
  }
  ai_queue_attack(ai, attacker, ATTACKED_PRIORITY);
}

// ---- the heroes' spread round their targets -----------------------------------------

float ai_bearing(const living_entity* member, const living_entity* target) {
  // Where the member stands seen from the target: the directions are those
  // the attack slots are taken along.
  vector u = flat((member->pos + member->offset) - (target->pos + target->offset));
  const float l = flat_len(u);
  if (l <= 0.0f) return 0.0f;
  u = u * (1.0f / l);
  int i = 0, j = -1;
  float best = -2.0f, second = -2.0f;
  for (int k = 0; k < AI_ATTACK_SLOTS; k++) {
    const float d = vector::dot(u, Ai_attack_slot_dirs[k]);
    if (d > best) {
      second = best;
      j = i;
      best = d;
      i = k;
    } else if (d > second) {
      second = d;
      j = k;
    }
  }
  if (j < 0) j = i;
  const vector& di = Ai_attack_slot_dirs[i];
  const float cross = std::fabs(u.x * di.z - u.z * di.x);
  const float a = std::asin(std::fmin(1.0f, cross));
  // The runner-up on the higher side means the member lies past slot i.
  const bool up = j == (i + 1) % AI_ATTACK_SLOTS;
  float b = static_cast<float>(i) + (up ? 1.0f : -1.0f) * a * (5.0f / (2.0f * kPi));
  if (b < 0.0f) b += 5.0f;
  return b;
}

namespace {

bool spread_to(living_entity* member, living_entity* target, float bearing) {
  bearing = std::fmod(bearing, 5.0f);
  if (bearing < 0.0f) bearing += 5.0f;
  const int lo = static_cast<int>(bearing) % AI_ATTACK_SLOTS, hi = (lo + 1) % AI_ATTACK_SLOTS;
  const float w = bearing - std::floor(bearing);
  vector dir = Ai_attack_slot_dirs[lo] * (1.0f - w) + Ai_attack_slot_dirs[hi] * w;
  const float l = flat_len(dir);
  if (l <= 0.0f) return false;
  dir = dir * (1.0f / l);
  const float spacing = member->get_radius() + target->get_radius() + member->ai.preferred_range;
  const vector point = target->pos + target->offset + dir * (0.66f * spacing);
  const EntityWorldHooks& w_hooks = entity_world();
  if (w_hooks.point_walkable && !w_hooks.point_walkable(point, member->layer)) return false;
  if (ai_plan_path(&member->ai, member->pos, 0, point, 0, member->get_radius(), false, true) < 0) return false;
  ai_path* keep = member->ai.path;
  member->ai.path = nullptr;
  ai_set_state(&member->ai, AI_STATE_COMBAT, 34);
  member->ai.path = keep;
  member->ai.moving = 1;
  return true;
}

struct Attacker {
  living_entity* e;
  float bearing;
};

void spread_round(living_entity* target, Attacker* a, int n) {
  std::sort(a, a + n, [](const Attacker& x, const Attacker& y) { return x.bearing < y.bearing; });
  if (n == 2) {
    // Bearings wrap at 5: two just either side of slot 0 are neighbours too.
    const float gap = a[1].bearing - a[0].bearing;
    if (gap < 0.75f) spread_to(a[0].e, target, a[0].bearing + 1.0f);
    else if (5.0f - gap < 0.75f) spread_to(a[1].e, target, a[1].bearing + 1.0f);
    return;
  }
  auto gap = [&](int from, int to) {
    float g = a[(to + n) % n].bearing - a[(from + n) % n].bearing;
    if (g < 0.0f) g += 5.0f;
    return g;
  };
  for (int i = 0; i < n; i++) {
    if (gap(i - 1, i) >= 0.75f) continue;
    const float next = gap(i, i + 1);
    if (next >= 2.0f) {
      spread_to(a[i].e, target, a[i].bearing + 1.0f);
    } else if (next >= 1.5f) {
      spread_to(a[i].e, target, a[i].bearing + 0.75f);
    } else {
      const float before = gap(i - 2, i - 1);
      const int p = (i - 1 + n) % n;
      if (before >= 2.0f) spread_to(a[p].e, target, a[p].bearing - 1.0f);
      else if (before >= 1.5f) spread_to(a[p].e, target, a[p].bearing - 0.75f);
      else continue;
    }
    return;
  }
}

}  // namespace

void ai_hero_think() {
  if (Hero_spread_timer >= 0 && !timestamp_elapsed(Hero_spread_timer, now())) return;
  Hero_spread_timer = timestamp_set(now(), SPREAD_MS);
  living_entity* members[8];
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e && n < 8; e = entity_next(list, e))
    if (e->type == OBJ_PLAYER && !gone(e)) members[n++] = e;
  for (int i = 0; i < n; i++)
    if (members[i]->ai.sub_state == 34) return;
  living_entity* targets[8];
  int nt = 0;
  for (int i = 0; i < n; i++) {
    if (!ai_is_combat_sub_15_31_63(&members[i]->ai)) continue;
    living_entity* t = resolve(members[i]->ai.target);
    if (gone(t) || std::find(targets, targets + nt, t) != targets + nt) continue;
    targets[nt++] = t;
  }
  for (int k = 0; k < nt; k++) {
    Attacker a[8];
    int na = 0;
    for (int i = 0; i < n; i++)
      if (ai_is_combat_sub_15_31_63(&members[i]->ai) && members[i]->ai.target == targets[k]->handle)
        a[na++] = {members[i], ai_bearing(members[i], targets[k])};
    if (na >= 2) spread_round(targets[k], a, na);
  }
}

// ---- following -----------------------------------------------------------------------

int ai_follow_leader(living_entity* e, living_entity* leader) {
  ai_component* ai = &e->ai;
  vector end;
  if (ai_is_in_state(ai, AI_STATE_TRAVELING, 3) && ai_get_path_end(ai, &end) && flat_dist2(end, leader->pos) < 0.01f)
    return 0;
  const float ahead = 0.0005f * static_cast<float>(std::max(0, timestamp_time_left(ai->think_timer, now())));
  const vector goal = ai_formation_point(ahead_of(leader, ahead), leader->orient.forward, ai->formation);
  if (ai_plan_path(ai, e->pos, 0, goal, 0, e->get_radius(), false, true) < 0) return -1;
  ai_path* keep = ai->path;
  ai->path = nullptr;
  ai_set_state(ai, AI_STATE_TRAVELING, 3);
  ai->path = keep;
  return 0;
}

int ai_approach_target(ai_component* ai, int target) {
  living_entity* e = ai->owner;
  living_entity* t = resolve(target);
  if (!e || gone(t)) return -1;
  if (ai->state == AI_STATE_COMBAT || ai_is_casting(ai) || ai->state == AI_STATE_DISABLED) return 1;
  if (!leads_group_of(t, ai)) {
    // Not its leader: close in to striking distance by path.
    const float d = e->distance_to(t, false, -1);
    if (d <= 2.0f) return 0;
    return ai_follow_leader(e, t) < 0 ? 1 : 0;
  }
  // A follower standing in its place without knowing which one it is (a
  // load gives back the stand but not the place, and the leader handed
  // places out before the follower named its leader) would take the
  // leader's own spot for its place and walk into him: the leader hands
  // out places now.
  if ((ai->formation < 1 || ai->formation > 5) && ai_is_in_state(ai, AI_STATE_TRAVELING, 5))
    ai_assign_formation(&t->ai);
  const float ahead = 0.00033333333f * static_cast<float>(std::max(0, timestamp_time_left(ai->think_timer, now())));
  const vector point = ai_formation_point(ahead_of(t, ahead), t->orient.forward, ai->formation);
  const bool leader_moves = t->anim_distance >= 0.01f;
  const bool following = ai_is_in_state(ai, AI_STATE_TRAVELING, 3) || ai_is_in_state(ai, AI_STATE_TRAVELING, 4);
  const float d2 = flat_dist2(e->pos, point);
  // A hero keeps close to its place; a pack member may stand further off.
  const float base = t->type == OBJ_PLAYER ? 1.0f : 9.0f;
  if (!(following && leader_moves) && d2 <= base) {
    if (!ai_is_in_state(ai, AI_STATE_TRAVELING, 5)) {
      ai_path_free(ai->path);
      ai->path = nullptr;
      ai_set_state(ai, AI_STATE_TRAVELING, 5);
    }
    return 0;
  }
  // Already on its way to where its place is now: the path stands.
  vector end;
  if (following && ai_get_path_end(ai, &end) && flat_dist2(end, point) < 1.0f) return 0;
  float length = 7.0f;
  if (ai_plan_path(ai, e->pos, 0, point, 0, e->get_radius(), false, true) == 0 && ai->path) {
    length = 0.0f;
    vector prev = e->pos;
    for (const ai_path* p = ai->path; p; p = p->next)
      for (int i = 0; i < p->count; i++) {
        length += flat_len(p->points[i] - prev);
        prev = p->points[i];
      }
  }
  if (t == controlled() && length < 20.0f) ai->flags |= AIF_NEAR_FORMATION;
  if (length < 7.0f && leader_moves) {
    const vector to = flat(point - e->pos);
    const float l = flat_len(to);
    if (l > 0.0f && vector::dot(to * (1.0f / l), t->orient.forward) < 0.0f) {
      // Its place lies behind it: it lets the leader come up.
      ai_path_free(ai->path);
      ai->path = nullptr;
      ai_set_state(ai, AI_STATE_TRAVELING, 4);
      return 0;
    }
  }
  const float needed = speed_of(t) < 0.1f ? 16.0f : 0.25f;
  // Once the leader stops, one already on its way walks on into its place
  // (it stops within the base distance, above): halting up to four units
  // short left followers behind in the last room when the leader had just
  // passed a doorway.
  const bool walks_on = following && needed > 0.25f && d2 > 0.25f && ai->path;
  if (d2 <= needed && !walks_on) {
    ai_path_free(ai->path);
    ai->path = nullptr;
    if (!ai_is_in_state(ai, AI_STATE_TRAVELING, 5)) ai_set_state(ai, AI_STATE_TRAVELING, 5);
    return 0;
  }
  if (!ai->path) return 1;
  ai_path* keep = ai->path;
  ai->path = nullptr;
  if (!following) ai->moving = 1;
  ai_set_state(ai, AI_STATE_TRAVELING, 3);
  ai->path = keep;
  if (!following) ai->moving = 1;
  return 0;
}

// ---- the think routine -----------------------------------------------------------------

void ai_think_routine(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || e->type == OBJ_NEUTRAL || e->type == OBJ_GROUND_ITEM) return;
  const living_entity* boss = controlled();
  if (e == boss || party_group_leader(e) == e) ai_assign_formation(ai);
  for (ai_attack_slot& s : ai->attack_slots) {
    living_entity* h = resolve(s.attacker);
    if (!h) continue;
    const bool lasting = ai_is_combat_sub22(&h->ai) && h->ai.leader == e->handle;
    if (!lasting && e->distance_to(h, false, -1) > 2.5f) s.attacker = -1;
  }
  for (int i = 0; i < AI_OFFENSE_POINTS; i++) {
    living_entity* h = resolve(ai->offense_points[i]);
    if (h && (h->ai.leader != e->handle || h->ai.offense_point_index != i)) ai->offense_points[i] = -1;
  }
  const bool standing = ai->state == AI_STATE_IDLE || ai_is_in_state(ai, AI_STATE_TRAVELING, 5);
  living_entity* list = entity_live_list();
  for (living_entity* o = entity_first(list); o; o = entity_next(list, o)) {
    if (o == e || gone(o)) continue;
    const vector v = flat(e->pos - o->pos);
    const float l = flat_len(v);
    // One that has just set off toward this one: it makes way. So it does
    // for one walking its way pressed up against it: in a doorway only one
    // passes at a time, and one standing in it would hold those behind for
    // good.
    const bool set_off = o->ai.state == AI_STATE_TRAVELING && now() - o->ai.state_timer < 200 && speed_of(o) > 0.0f;
    const bool pressing = o->ai.state == AI_STATE_TRAVELING && o->ai.path && l < 1.25f * (e->get_radius() + o->get_radius());
    if ((set_off || pressing) && standing && e != boss && l < 3.2f && l > 0.0f &&
        vector::dot(v * (1.0f / l), o->orient.forward) > 0.5f) {
      const vector& side = o->orient.right;
      const vector goal = e->pos + side * (vector::dot(v, side) <= 0.0f ? -2.5f : 2.5f);
      if (ai_queue_path_to(ai, goal, 0, STEP_ASIDE_PRIORITY, true) >= 0) ai_queue_execute(ai);
    }
    if (l < 2.5f) {
      ai_claim_attack_slot(&o->ai, e, 0, -1);
      ai_claim_attack_slot(ai, o, 0, -1);
    }
  }
  if (e->type == OBJ_PLAYER) {
    ai_hero_think();
    if (boss && e == boss) {
      ai_queue_remove_type(ai, 2);
    } else if (boss && boss->type == OBJ_PLAYER && !(e->state & ES_DEAD)) {
      ai->leader = boss->handle;
      ai_queue_add(ai, 2, FOLLOW_PRIORITY, AIA_LOCKED, boss->handle, nullptr, 0, AI_NO_SPELL, 0.0f);
    }
  }
  if (e->type == OBJ_PLAYER && (e->state & ES_SUMMONED) && !game_flags_test(GF_SOLO)) {
    living_entity* l = party_group_leader(e);
    if (l && l != e && l->character && l->character->kind == 0 && flat_len(l->pos - e->pos) > 50.0f) ai_die(ai);
  }
  if (!(ai->flags & AIF_PLAYER_CAST_BLOCK) && ai->group < 0 && e->type != OBJ_PLAYER) ai_seek_target(ai, 2);
}

void ai_think_install() {
  AiDriverHooks h = ai_driver_hooks();
  h.think = ai_think_routine;
  h.group_update = party_update;
  ai_set_driver_hooks(h);
  ai_set_approach(ai_approach_target);
}

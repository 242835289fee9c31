#include "Engine/ai/ai_behaviour.h"

#include <cmath>
#include <cstring>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_states.h"
#include "Engine/ai/ai_think.h"
#include "Engine/ai/path_follow.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/ai_turning.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "Engine/characterinfo/characterinfo.h"
#include "quarn/os/timer.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kStandingSpeed = 0.01f;

living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }

vector flat(const vector& v) { return vector(v.x, 0.0f, v.z); }
float flat_len(const vector& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

void set_heading(living_entity* e, const vector& dir) {
  const float h = std::atan2(dir.x, dir.z);
  const float s = std::sin(h), c = std::cos(h);
  e->orient = matrix(vector(c, 0, -s), vector(0, 1, 0), vector(s, 0, c));
}

float current_speed(const living_entity* e) { return e->instance ? e->instance->motion_speed() : e->move_speed; }

// The speed the entity walks a path at: its run when the order asks to
// run, else its walk. Before its first move the animation speeds are not
// known yet, so the walk is taken from its animation directly.
float max_speed(const living_entity* e) {
  const ai_component* ai = &e->ai;
  bool run = false;
  if (ai->current_action >= 0 && ai->current_action < AI_QUEUE_LENGTH)
    run = (ai->queue[ai->current_action].flags & AIA_RUN) != 0;
  float walk = e->walk_speed, r = e->run_speed;
  if (walk <= 0.0f && e->instance) {
    if (e->anim[SA_NORM_WALK] >= 0) walk = e->instance->anim_root_speed(e->anim[SA_NORM_WALK]);
    if (e->anim[SA_NORM_RUN] >= 0) r = e->instance->anim_root_speed(e->anim[SA_NORM_RUN]);
  }
  if (r <= 0.0f) r = walk;
  return run ? r : walk;
}

// The path's first node, and the dropping of nodes in front.
vector* first_node(ai_component* ai) {
  while (ai->path && ai->path->count <= 0) {
    ai_path* next = ai->path->next;
    ai->path->next = nullptr;
    ai_path_free(ai->path);
    ai->path = next;
  }
  return ai->path ? &ai->path->points[0] : nullptr;
}

const vector* second_node(const ai_component* ai) {
  const ai_path* p = ai->path;
  if (!p) return nullptr;
  if (p->count > 1) return &p->points[1];
  for (p = p->next; p; p = p->next)
    if (p->count > 0) return &p->points[0];
  return nullptr;
}

bool is_last_node(const ai_component* ai) { return second_node(ai) == nullptr; }

void pop_node(ai_component* ai) {
  ai_path* p = ai->path;
  if (!p || p->count <= 0) return;
  ai->path_goal = p->points[0];
  std::memmove(&p->points[0], &p->points[1], sizeof(vector) * static_cast<size_t>(p->count - 1));
  p->count--;
  first_node(ai);
}

void free_path(ai_component* ai) {
  ai_path_free(ai->path);
  ai->path = nullptr;
}

// The direction of the leg that ends at the first node: from the node
// passed last.
vector leg_direction(const ai_component* ai, const vector& node) {
  vector d = flat(node - ai->path_goal);
  const float l = flat_len(d);
  return l > 0.0f ? d * (1.0f / l) : vector(0, 0, 0);
}

// Steering around other entities (closest approach). Sets the travel
// target and returns true when it chose one.
bool steer(ai_component* ai, float distance_left) {
  living_entity* e = ai->owner;
  // Turning off a wall edge ahead wins over going round others for a while.
  if (!timestamp_elapsed(ai->side_step_timer, timer_game_clock)) return false;
  const float radius = e->get_radius();
  const float horizon = std::fmin(distance_left - radius, 1.0f);
  // Its own velocity is the one it means to walk at: one held up against
  // another entity has moved nowhere, and must still steer off it.
  // A hero come up against the controlled hero goes round it at once.
  if (e->type == OBJ_PLAYER) {
    const living_entity* lead = ai_driver_hooks().controlled ? ai_driver_hooks().controlled() : nullptr;
    if (lead && lead != e && !(lead->state & ES_DEAD)) {
      const float reach = 1.25f * (radius + lead->get_radius());
      if (flat(lead->pos - e->pos).length_squared() < reach * reach) {
        ai_steer_round(ai, lead, 0.0f);
        return true;
      }
    }
  }
  vector vel = flat(e->orient.forward) * current_speed(e);
  if (vel.length_squared() < 0.05f) return false;
  living_entity* target = resolve(ai->target);
  living_entity* target_mount = target ? target->get_mount() : nullptr;
  living_entity* list = entity_live_list();
  living_entity* best = nullptr;
  float best_t = 1e30f;
  // Already pressed against someone ahead: no approach is left to predict,
  // but it must still go round (else both stand for good). The last such
  // in list order, taken when no approach is coming.
  living_entity* pressed = nullptr;
  const float ex = e->pos.x, ez = e->pos.z, fx = e->orient.forward.x, fz = e->orient.forward.z;
  // One pass over the crowd, in plain sums: this runs for every walker
  // against every other each frame.
  for (living_entity* o = list->next_entity; o && o != list; o = o->next_entity) {
    if (o == e || o == target || o == target_mount || (o->state & ES_DEAD)) continue;
    const float tx = o->pos.x - ex, tz = o->pos.z - ez;
    if (tx * fx + tz * fz <= 0.0f) continue;
    const float d2 = tx * tx + tz * tz;
    const float reach = 1.25f * (radius + o->get_radius());
    const float reach2 = reach * reach;
    if (d2 < reach2) pressed = o;
    if (d2 >= 50.0f) continue;
    // The closest approach (ai_closest_approach_time) over the ground.
    const float dvx = o->velocity.x - vel.x, dvz = o->velocity.z - vel.z;
    const float l2 = dvx * dvx + dvz * dvz;
    const float t = l2 < 0.0001f ? 0.0f : -(tx * dvx + tz * dvz) / l2;
    if (!(t > 0.0f && t < horizon) || t >= best_t) continue;
    const float px = tx + dvx * t, pz = tz + dvz * t;
    if (px * px + pz * pz < reach2) {
      best_t = t;
      best = o;
    }
  }
  if (!best && pressed) {
    best = pressed;
    best_t = 0.0f;
  }
  if (!best) return false;
  ai_steer_round(ai, best, best_t);
  return true;
}

}  // namespace

float ai_closest_approach_time(const vector& vel_a, const vector& vel_b, const living_entity* a,
                               const living_entity* b) {
  const vector dv = vel_b - vel_a;
  const float l2 = dv.length_squared();
  if (l2 < 0.0001f) return 0.0f;
  return vector::dot(a->pos - b->pos, dv) / l2;
}

void ai_steer_round(ai_component* ai, const living_entity* other, float t) {
  living_entity* e = ai->owner;
  if (!e || !other) return;
  ai->avoided = other->handle;
  const float sum = e->get_radius() + other->get_radius();
  const vector vel = flat(e->orient.forward) * current_speed(e);
  const vector pa = e->pos + vel * t, pb = other->pos + flat(other->velocity) * t;
  const vector side = flat(e->orient.right);
  // Whether there is ground beside the other on the entity's own side, else
  // on the far side: against a wall the side-step turns the other way, and
  // harder.
  const float own = vector::dot(flat(pa - pb), side) < 0.0f ? -1.0f : 1.0f;
  const int cls = other->size_class();
  const int sector = path_sector_at(cls, other->pos.x, other->pos.z);
  const float beside = 0.8f * sum;
  const bool near_side = path_point_in_sector(pb + side * (own * beside), cls, sector);
  const bool far_side = !near_side && path_point_in_sector(pb - side * (own * beside), cls, sector);
  vector push = flat(pb - pa);
  const float d = flat_len(push);
  push = d > 0.0f ? push * (std::fmax(0.0f, 2.0f * sum - d) / d) : vector(0, 0, 0);
  const float rate = e->character ? e->character->moving_turn_rate : 0.0f;
  ai->side_step = beside > 0.0f ? -vector::dot(push, side) * rate / beside : 0.0f;
  if (!near_side && far_side) ai->side_step *= -1.5f;
  // One unit off to the side away from the other's predicted place.
  ai->travel_target = vector::dot(flat(pb - e->pos), side) < 0.0f ? e->pos + side : e->pos - side;
  const vector to = flat(other->pos - e->pos);
  const float tl = flat_len(to);
  if (tl < 0.5f && tl > 0.0f && vector::dot(to * (1.0f / tl), e->orient.forward) > 0.5f)
    ai->path_flags |= PF_STAND;
  ai->moving = 2;
}

float ai_corner_factor(float cosine) {
  int k = static_cast<int>(5.0f * cosine + 5.5f);
  if (k < 0) k = 0;
  if (k > 10) k = 10;
  return std::sqrt(k / 10.0f);
}

bool ai_step_toward(ai_component* ai, const vector& point, float rate_scale) {
  living_entity* e = ai->owner;
  if (!e) return false;
  const float dt = ai_time_step(ai);
  ai->flags &= ~0x20u;
  vector dir = flat(point - (e->pos + e->offset));
  const float l = flat_len(dir);
  if (l <= 0.0f) return false;
  dir = dir * (1.0f / l);
  float c = vector::dot(dir, e->orient.forward);
  c = std::fmax(-1.0f, std::fmin(1.0f, c));
  const float angle = std::acos(c);
  const float side = vector::dot(dir, e->orient.right) < 0.0f ? -1.0f : 1.0f;
  const Character_info* ci = e->character;
  float rate;
  if (current_speed(e) < kStandingSpeed)
    rate = ci ? (c >= 0.3f ? ci->fast_turn_rate : ci->slow_turn_rate) : 0.0f;
  else
    rate = ci ? ci->moving_turn_rate : 0.0f;
  if (rate <= 0.0f) rate = 2.0f;  // a type without rates still turns
  float step = -1.0f;
  // Far round on the spot: the turn move carries the heading, and once
  // started it plays out.
  const bool far_round = c < 0.707f;
  if (Use_turn_anims && current_speed(e) < kStandingSpeed && (far_round || ai->turn_move >= 0))
    step = ai_turn_move_step(ai, angle, side, far_round);
  else if (ai->turn_move >= 0)
    ai_turn_move_done(ai);
  if (step < 0.0f) step = rate * dt * rate_scale;
  if (ai->flags & AIF_CATCH_UP) step *= Turn_scaler;
  if (step >= angle) {
    set_heading(e, dir);
    if (ai->turn_move >= 0) ai_turn_move_done(ai);
    return false;
  }
  const float h = std::atan2(e->orient.forward.x, e->orient.forward.z) + side * step;
  set_heading(e, vector(std::sin(h), 0, std::cos(h)));
  ai->flags |= 0x20u;
  return true;
}

int ai_follow_path(ai_component* ai, float speed) {
  living_entity* e = ai->owner;
  if (!e) return 0;
  ai->path_flags &= ~PF_STAND;
  if (first_node(ai)) {
    ai_path_shortcut(ai);
    ai_path_blocking_test(ai);
  }
  if (ai->path_flags & PF_AREA_BLOCKED) {
    e->set_move_mode(0.0f);
    return 1;
  }
  vector* node = first_node(ai);
  if (!node) {
    ai->flags &= ~AIF_CATCH_UP;
    return 0;
  }
  if (ai->moving == 1 && !(ai->flags & AIF_CATCH_UP)) {
    // A new path: the node passed last is where the entity stands.
    ai->path_goal = flat(e->pos) + vector(0, node->y, 0);
    ai->travel_target = *node;
    if (!ai_step_toward(ai, *node)) ai->moving = 0;
    e->set_move_mode(0.0f);
    return 1;
  }
  // Nodes that lie behind along their leg are passed.
  for (;;) {
    const vector leg = leg_direction(ai, *node);
    const vector to = flat(*node - e->pos);
    if (vector::dot(to, leg) >= 0.0f && flat_len(to) > 0.05f) break;
    pop_node(ai);
    node = first_node(ai);
    if (!node) {
      e->set_move_mode(0.0f);
      return 0;
    }
  }
  vector dir = flat(*node - e->pos);
  const float dist = flat_len(dir);
  dir = dist > 0.0f ? dir * (1.0f / dist) : e->orient.forward;
  // The distance left: to the first node, then along the rest.
  float left = dist;
  {
    vector prev = *node;
    for (const ai_path* p = ai->path; p; p = p->next)
      for (int i = p == ai->path ? 1 : 0; i < p->count; i++) {
        left += flat_len(p->points[i] - prev);
        prev = p->points[i];
      }
  }
  ai->prev_moving = ai->moving;
  ai->moving = 0;
  const float M = max_speed(e);
  const float now_speed = current_speed(e);
  bool turning;
  if ((ai->flags & AIF_CATCH_UP) || now_speed < kStandingSpeed) {
    ai->travel_target = *node;
    if (!(ai->flags & AIF_CATCH_UP)) ai_side_step_check(ai, *node, left, now_speed, M);
    turning = ai_step_toward(ai, ai->travel_target);
    if (turning) {
      ai->path_flags |= PF_STAND;
      if (current_speed(e) < kStandingSpeed) {
        e->set_move_mode(0.0f);
        // Standing and turning: unless it already nearly faces the node, it
        // does not set off yet.
        if (vector::dot(dir, e->orient.forward) < 0.7f) return 1;
        ai->path_flags &= ~PF_STAND;
      }
    } else {
      ai->flags &= ~AIF_CATCH_UP;
    }
  } else {
    const bool steered = steer(ai, left);
    const vector leg = leg_direction(ai, *node);
    if (!Ai_wobble_on || !Ai_path_wandering_enabled || (ai->path_flags & PF_NO_WOBBLE) || ai_path_near_avoidance(ai)) {
      if (!steered) {
        ai->travel_target = *node;
        if (is_last_node(ai)) ai->travel_target = *node + leg * 0.5f;
      }
      ai_side_step_check(ai, *node, left, now_speed, M);
      if (vector::dot(dir, e->orient.forward) < 0.0f) ai->path_flags |= PF_STAND;
    } else {
      if (!steered) {
        ai->travel_target = *node;
        // A follower keeps to its leader's track; others may stray a little
        // while much of the way is left.
        const bool following = ai->state == AI_STATE_TRAVELING && ai->sub_state == 3;
        const float tolerance = following ? 0.0f : std::fmax(0.0f, std::fmin((left - 0.75f) * 0.2f, 1.5f));
        if (timestamp_elapsed(ai->wobble_timer, timer_game_clock)) {
          ai->wobble_timer = timestamp_set(timer_game_clock, 25);
          ai_wobble(ai, 0.5f);
          ai_wobble_look_ahead(ai, leg, tolerance, now_speed, M);
        }
      }
      ai_side_step_check(ai, *node, left, now_speed, M);
      if (vector::dot(dir, e->orient.forward) < 0.0f) {
        ai->travel_target = *node;
        ai->path_flags |= PF_STAND;
      }
      if (is_last_node(ai) && flat_len(ai->travel_target - *node) == 0.0f) ai->travel_target = *node + leg * 0.5f;
    }
    if (!ai_step_toward(ai, ai->travel_target)) ai->flags &= ~AIF_CATCH_UP;
  }
  if (left <= 0.0f) {
    free_path(ai);
    e->set_move_mode(0.0f);
    return 0;
  }
  // A shut door on the way ends the walk before it.
  if (ai_path_door_shut(ai)) {
    free_path(ai);
    e->set_move_mode(0.0f);
    return 0;
  }
  // The speed.
  float v;
  if (speed >= 0.0001f) {
    const float braking = e->distance_to_reach_speed(speed);
    const float accel = e->speedup_rate;
    // A type that does not accelerate has no braking length to speak of.
    const float b = accel > 0.0f && M > 0.0f ? (2.0f * M) * (2.0f * M) / (2.0f * accel * M) : 0.0f;
    if (braking >= left) v = speed;
    else v = left <= b ? 0.5f * (speed + M) : M;
  } else {
    v = e->get_stopping_distance(nullptr) < left ? M : 0.0f;
    // Close to the end a walker with no braking figures still stops on it.
    const float dt = ai_time_step(ai);
    if (v == M && left < M * dt) v = left / std::fmax(dt, 0.001f);
  }
  if (const vector* second = second_node(ai)) {
    vector d2 = flat(*second - e->pos);
    const float l2 = flat_len(d2);
    const float cosine = l2 > 0.0f ? vector::dot(dir, d2 * (1.0f / l2)) : 1.0f;
    const float corner = ai_corner_factor(cosine) * M;
    if (corner < current_speed(e) && e->slowdown_rate > 0.0f) {
      const float s = current_speed(e);
      const float need = (s * s - corner * corner) / (2.0f * e->slowdown_rate);
      if (need > dist) v = std::fmin(v, corner);
    }
  }
  v = std::fmin(v, (vector::dot(dir, e->orient.forward) + 1.0f) * 0.5f * M);
  if (ai->path_flags & PF_STAND) v = 0.0f;
  if (M > 0.0f) v = std::fmin(v, M);
  if (v < 0.0f) v = 0.0f;
  e->set_move_mode(v);
  return 1;
}

vector ai_formation_point(const vector& leader_pos, const vector& forward, int n) {
  static const float offsets[5][2] = {{-2.0f, -2.0f}, {2.0f, -2.0f}, {0.0f, -4.0f}, {4.0f, -4.0f}, {-4.0f, -4.0f}};
  if (n < 1 || n > 5) return leader_pos;
  const float lat = offsets[n - 1][0], lon = offsets[n - 1][1];
  return vector(leader_pos.x + lon * forward.x + lat * forward.z, leader_pos.y,
                leader_pos.z + lon * forward.z - lat * forward.x);
}

vector ai_formation_point_of(const ai_component* ai, const living_entity* leader) {
  return ai_formation_point(leader->pos, leader->orient.forward, ai->formation);
}

void ai_assign_formation(ai_component* ai) {
  living_entity* leader = ai->owner;
  if (!leader) return;
  living_entity* followers[5];
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* o = entity_first(list); o && n < 5; o = entity_next(list, o))
    if (o != leader && o->ai.leader == leader->handle && !(o->state & ES_DEAD)) followers[n++] = o;
  bool taken[5] = {};
  for (int i = 0; i < n; i++) {
    int best = -1;
    float best_d = 0.0f;
    for (int k = 0; k < 5; k++) {
      if (taken[k]) continue;
      const vector p = ai_formation_point(leader->pos, leader->orient.forward, k + 1);
      const float d = flat(p - followers[i]->pos).length_squared();
      if (best < 0 || d < best_d) {
        best = k;
        best_d = d;
      }
    }
    if (best < 0) break;
    taken[best] = true;
    followers[i]->ai.formation = best + 1;
  }
}

void ai_travel_target_step(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (ai_step_toward(ai, ai->travel_target, 2.0f)) return;
  const bool networked = game_flags_test(GF_NETWORKED);
  living_entity* list = entity_live_list();
  float slowest = 99.9f;
  bool mixed = false;
  if (!networked) {
    for (living_entity* m = entity_first(list); m; m = entity_next(list, m)) {
      if (m == e || m->type != OBJ_PLAYER || (m->state & ES_DEAD)) continue;
      if (m->ai.state == AI_STATE_TRAVELING && m->ai.sub_state == 0) ai_queue_remove_type(&m->ai, 9);
      if (!(m->state & ES_SUMMONED) && !m->has_status_effect(STATUS_SLOW)) slowest = std::fmin(slowest, max_speed(m));
      if (!(m->ai.flags & AIF_NEAR_FORMATION)) mixed = true;
      // A member in the way steps aside, diagonally ahead, away from the side it stands on.
      const vector r = flat(m->pos - e->pos);
      const float d = flat_len(r);
      if (m->ai.state != AI_STATE_TRAVELING || d >= 3.0f || d <= 0.0f) continue;
      if (vector::dot(r * (1.0f / d), e->orient.forward) <= 0.5f) continue;
      const vector& f = e->orient.forward;
      const vector& side = e->orient.right;
      const bool left = r.z * f.x - r.x * f.z >= 0.0f;
      vector goal = m->pos + (left ? (f - side) : (f + side)) * 3.0f;
      if (entity_world().push_out_of_obstacles) entity_world().push_out_of_obstacles(&goal, 1, m->layer);
      if (ai_plan_path(&m->ai, m->pos, 0, goal, 0, m->get_radius(), false, true) == 0) {
        ai_set_state(&m->ai, AI_STATE_TRAVELING, 43);
        m->ai.moving = 1;
      }
    }
  }
  const float M = max_speed(e);
  const float dist = flat_len(ai->travel_target - e->pos);
  float v = dist < 0.25f ? 0.0f : std::fmin(dist * M, M);
  v = std::fmin(v, mixed ? slowest * 0.8f : slowest);
  if (M > 0.0f) v = std::fmin(v, M);
  e->set_move_mode(v);
}

namespace {

living_entity* group_leader(const ai_component* ai) {
  living_entity* l = resolve(ai->leader);
  return l && !(l->state & ES_DEAD) && l != ai->owner ? l : nullptr;
}

void follow_leader_step(ai_component* ai) {
  living_entity* e = ai->owner;
  living_entity* leader = group_leader(ai);
  if (!leader) {
    ai_reset_to_idle(ai);
    return;
  }
  float speed = current_speed(leader);
  if (ai->sub_state == 4) speed *= 0.5f;
  if (ai_follow_path(ai, speed)) return;
  if (e->anim_distance >= 0.0001f) {
    ai->travel_target = e->pos + leader->orient.forward;
    ai_step_toward(ai, ai->travel_target);
    e->set_move_mode(std::fmin(speed, e->run_speed > 0.0f ? e->run_speed : max_speed(e)));
  } else {
    ai_set_state(ai, AI_STATE_TRAVELING, 5);
  }
}

void stand_by_leader_step(ai_component* ai) {
  living_entity* e = ai->owner;
  living_entity* leader = group_leader(ai);
  if (!leader) {
    ai_reset_to_idle(ai);
    return;
  }
  e->set_move_mode(0.0f);
  if (e->anim_distance >= 0.0001f) return;
  ai->travel_target = leader->pos + leader->offset;
  ai_step_toward(ai, ai->travel_target);
}

// A wander point: a random place round the spell point that the graph
// knows for the entity's size.
void wander_step(ai_component* ai) {
  living_entity* e = ai->owner;
  if (ai->spare_timer >= 0 && timestamp_elapsed(ai->spare_timer, timer_game_clock)) {
    bool found = false;
    vector p;
    for (int i = 0; i < 10 && !found; i++) {
      const float a = static_cast<float>(os_rand() % 3600) * (kPi / 1800.0f);
      const float frac = static_cast<float>(os_rand() % 1000) / 1000.0f;
      const float r = std::fmax(2.0f, frac * ai->move_float + 0.1f);
      p = ai->spell_point + vector(std::cos(a) * r, 0.0f, std::sin(a) * r);
      found = !entity_world().point_walkable || entity_world().point_walkable(p, e->layer);
    }
    if (!found) {
      ai_reset_to_idle(ai);
      return;
    }
    if (ai_plan_path(ai, e->pos, 0, p, 0, e->get_radius(), false, true) == 0) ai->moving = 1;
    ai->spare_timer = -1;
  }
  if (!ai_follow_path(ai, 0.0f)) {
    e->set_move_mode(0.0f);
    if (ai->spare_timer < 0) ai->spare_timer = timestamp_set(timer_game_clock, timestamp_random_ms(15000, 20000));
  }
}

}  // namespace

void ai_traveling_handler(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  if (living_entity* m = e->get_mount(); m && ai_is_in_state(&m->ai, AI_STATE_TRAVELING, 0)) return;
  switch (ai->sub_state) {
    case 0:
    case 6:
    case 7:
    case 43:
      if (!ai_follow_path(ai, 0.0f)) {
        e->set_move_mode(0.0f);
        ai_reset_to_idle(ai);
      }
      break;
    case 1:
      ai_travel_target_step(ai);
      break;
    case 2:
      if (!ai_step_toward(ai, ai->travel_target)) ai_reset_to_idle(ai);
      break;
    case 3:
    case 4:
      follow_leader_step(ai);
      break;
    case 5:
      stand_by_leader_step(ai);
      break;
    case 8:
      wander_step(ai);
      break;
    default:
      ai_reset_to_idle(ai);
      break;
  }
}

void ai_behaviour_install() {
  AiDriverHooks h = ai_driver_hooks();
  h.handlers[AI_STATE_TRAVELING] = ai_traveling_handler;
  ai_set_driver_hooks(h);
  ai_states_install();
  ai_think_install();
}

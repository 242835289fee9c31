// Living entities frame by frame: the movement step with its eased speed
// and root motion, the movement-animation blend, upkeep (timers, action
// points, status effects, floor light), corpses, footsteps, and the spell
// and knock-down starts the AI asks for.
#include <cmath>
#include <cstdio>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {

constexpr float kStanding = 0.0005f;
constexpr int AP_REGEN_MS = 7500;

vector to_world(const matrix& m, const vector& v) {
  return vector(m.right.x * v.x + m.up.x * v.y + m.forward.x * v.z, m.right.y * v.x + m.up.y * v.y + m.forward.y * v.z,
                m.right.z * v.x + m.up.z * v.y + m.forward.z * v.z);
}

float length(const vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

struct Tint {
  int id;
  uint8_t r, g, b;
};
const Tint Status_tints[] = {{0, 0, 0, 0},       {1, 128, 0, 128},   {2, 255, 255, 255}, {4, 255, 255, 255},
                             {3, 0, 0, 255},     {5, 255, 255, 0},   {6, 255, 0, 0},     {9, 0, 200, 200},
                             {11, 0, 255, 0},    {12, 128, 55, 0},   {13, 128, 55, 0}};

bool drives_statuses() { return !game_is_networked() || multi_is_host(); }

}  // namespace

// ---- speeds -------------------------------------------------------------------

float living_entity::get_anim_distance() const { return move_speed < kStanding && desired_speed < kStanding && anim_distance < kStanding ? 0.0f : anim_distance; }

void living_entity::get_velocity(vector* out) const {
  const float d = get_anim_distance();
  *out = vector(orient.forward.x * d, orient.forward.y * d, orient.forward.z * d);
}

float living_entity::get_speed() const {
  vector v;
  get_velocity(&v);
  return length(v);
}

// A rate of 0 means the table asks for no easing: the speed changes at
// once, so no distance is needed to reach it.
float living_entity::get_stopping_distance(vector* out_velocity) const {
  const float s = instance ? instance->motion_speed() : 0.0f;
  if (out_velocity) get_velocity(out_velocity);
  const float rate = slowdown_rate * speed_scale;
  if (speed_scale == 0.0f || rate <= 0.0f) return 0.0f;
  return s * s / (2.0f * rate);
}

float living_entity::distance_to_reach_speed(float v) const {
  const float s = instance ? instance->motion_speed() : 0.0f;
  const float a = v > s ? speedup_rate * speed_scale : -slowdown_rate * speed_scale;
  if (a == 0.0f) return 0.0f;
  const float t = (v - s) / a;
  return s * t + a * t * t / 2.0f;
}

void living_entity::set_anim_rate(float v) {
  const float W = walk_speed, R = run_speed;
  if (v >= R - 0.01f) v = R;
  if (v <= W) {
    if (W <= 0.0f) move_blend = 0.0f;
    else move_blend = std::fabs(R - W) < 0.01f ? v / W : v / (2.0f * W);
  } else {
    move_blend = R > W ? 0.5f + (v - W) / (2.0f * (R - W)) : 0.0f;
  }
}

void living_entity::set_movement_anim() {
  if (state & ES_DEAD) return;
  if (!instance) return;
  if (ai_is_in_state(&ai, AI_STATE_DISABLED, 45) || ai_is_in_state(&ai, AI_STATE_DISABLED, 46)) return;
  const bool ready = (state & ES_COMBAT_READY) != 0;
  int idle, walk, run, idle_other;
  if (state & ES_AI_INTERRUPTED) {
    idle = anim[SA_CLOAKED_READY];
    walk = anim[SA_CLOAKED_SNEAK];
    run = -1;
    idle_other = idle;
  } else if (is_weak()) {
    idle = anim[ready ? SA_READY_HURT : SA_STAND_HURT];
    idle_other = anim[ready ? SA_STAND_HURT : SA_READY_HURT];
    walk = anim[ready ? SA_WALK_HURT : SA_NORM_WALK_HURT];
    run = anim[ready ? SA_RUN_HURT : SA_NORM_RUN_HURT];
  } else {
    idle = anim[ready ? SA_READY : SA_STAND];
    idle_other = anim[ready ? SA_STAND : SA_READY];
    walk = anim[ready ? SA_WALK : SA_NORM_WALK];
    run = anim[ready ? SA_RUN : SA_NORM_RUN];
  }
  walk_speed = walk >= 0 ? instance->anim_root_speed(walk) : 0.0f;
  run_speed = run >= 0 ? instance->anim_root_speed(run) : walk_speed;
  for (int a : anim) {
    if (a >= 0) instance->set_anim_weight(a, 0.0f);
  }
  auto weight = [&](int a, float w) {
    if (a >= 0) instance->set_anim_weight(a, instance->anim_weight(a) + w);
  };
  if (ai.state == AI_STATE_HIDING) {
    weight(anim[SA_HIDE_READY], stance_blend);
    weight(anim[SA_READY], 1.0f - stance_blend);
    return;
  }
  const float b = move_blend;
  if (b < kStanding) {
    if (ai_is_busy(&ai) && idle != idle_other) {
      weight(idle, 1.0f - stance_blend);
      weight(idle_other, stance_blend);
    } else {
      weight(idle, 1.0f);
    }
  } else if (run >= 0) {
    if (b < 0.5f) {
      weight(idle, 1.0f - 2.0f * b);
      weight(walk, 2.0f * b);
    } else if (b >= 1.0f) {
      weight(run, 1.0f);
    } else {
      weight(walk, 1.0f - 2.0f * (b - 0.5f));
      weight(run, 2.0f * (b - 0.5f));
    }
  } else {
    weight(idle, 1.0f - b);
    weight(walk, b);
    if (b > 1.0f) std::printf("%s %f\n", name, b);
  }
}

// ---- the movement step ---------------------------------------------------------

void living_entity::move(vector* out_delta, const vector* plane) {
  const float step = frame_step;
  slowdown_rate = character ? character->slowdown_rate : slowdown_rate;
  float s = instance ? instance->motion_speed() : 0.0f;
  const float up = speedup_rate * speed_scale * step, down = slowdown_rate * speed_scale * step;
  if (s < desired_speed) s = speedup_rate <= 0.0f ? desired_speed : std::fmin(s + up, desired_speed);
  else if (s > desired_speed) s = slowdown_rate <= 0.0f ? desired_speed : std::fmax(s - down, desired_speed);
  set_anim_rate(s);
  set_movement_anim();
  anim_distance = s;
  vector delta = instance ? to_world(orient, instance->motion_step(step)) : vector(0, 0, 0);
  if (plane) {
    const float d = delta.x * plane->x + delta.y * plane->y + delta.z * plane->z;
    delta = vector(delta.x - plane->x * d, delta.y - plane->y * d, delta.z - plane->z * d);
  }
  bool nonzero = delta.x != 0.0f || delta.y != 0.0f || delta.z != 0.0f;
  bool blocked = false;
  vector pushed;
  if (collide_with_entities(delta, &pushed, true)) {
    // Slide round the one in the way rather than stop dead against it: an
    // entity pressed against another would otherwise never get past it.
    // The slide is taken only when it is no longer than the step and runs
    // into nobody else.
    // The pushed point lies on the other's edge; a hair further out along
    // the push, so that the point itself is clear of it.
    const float px = pushed.x - (pos.x + delta.x), pz = pushed.z - (pos.z + delta.z);
    const float pl = std::sqrt(px * px + pz * pz);
    const float nudge = pl > 0.0f ? 0.001f / pl : 0.0f;
    const vector slide(pushed.x + px * nudge - pos.x, delta.y, pushed.z + pz * nudge - pos.z);
    const float step_len = std::sqrt(delta.x * delta.x + delta.z * delta.z);
    if (std::sqrt(slide.x * slide.x + slide.z * slide.z) <= step_len && !collide_with_entities(slide, nullptr, true))
      delta = slide;
    else
      delta = vector(0, 0, 0), blocked = true;
    nonzero = delta.x != 0.0f || delta.y != 0.0f || delta.z != 0.0f;
  }
  if (!blocked && (nonzero || (character && (character->flags & CIF_ELONGATED)))) {
    collide_move(&delta);
    pos = vector(pos.x + delta.x, pos.y + delta.y, pos.z + delta.z);
  }
  const float moved = length(delta);
  velocity = step > 0.0f && moved > 0.0f ? vector(delta.x / step, delta.y / step, delta.z / step) : vector(0, 0, 0);
  if ((moved < 0.01f && (flags & OF_ACTIVE)) || (moved >= 0.01f && multi_entity_is_local(this))) settle_on_floor();
  if (out_delta) *out_delta = delta;
  upkeep();
  frame_step = 0.0f;
}

bool living_entity::collide_move(vector* delta) {
  if (state & ES_FREE_MOVE) return false;
  const EntityWorldHooks& w = entity_world();
  const int size = character ? character->size : 1;
  bool changed = false;
  const vector to(pos.x + delta->x, pos.y + delta->y, pos.z + delta->z);
  vector crossing, slide;
  if (w.obstacle_crossing && w.obstacle_crossing(pos, to, size, layer, &crossing, &slide)) {
    vector end = slide;
    if (!(w.point_walkable && w.point_walkable(slide, layer))) {
      end = crossing;
      if (w.push_out_of_obstacles) w.push_out_of_obstacles(&end, size, layer);
    }
    *delta = vector(end.x - pos.x, delta->y, end.z - pos.z);
    changed = true;
  } else if (w.push_out_of_obstacles) {
    vector end = to;
    w.push_out_of_obstacles(&end, size, layer);
    if (end.x != to.x || end.z != to.z) {
      *delta = vector(end.x - pos.x, delta->y, end.z - pos.z);
      changed = true;
    }
  }
  // A long creature's head reaches obstacles before its body: where the
  // head's move crosses one, the head's slide is taken, if the body can
  // stand where that leaves it.
  if (character && (character->flags & CIF_ELONGATED) && character->head_bone >= 0 && instance &&
      w.obstacle_crossing) {
    const vector local = to_world(orient, instance->bone_position(character->head_bone));
    const vector head(pos.x + local.x, pos.y + local.y, pos.z + local.z);
    if (!w.point_walkable || w.point_walkable(head, layer)) {
      const vector head_to(head.x + delta->x, head.y + delta->y, head.z + delta->z);
      vector head_cross, head_slide;
      if (w.obstacle_crossing(head, head_to, size, layer, &head_cross, &head_slide)) {
        const vector body_end(pos.x + head_slide.x - head.x, pos.y, pos.z + head_slide.z - head.z);
        if (!w.point_walkable || w.point_walkable(body_end, layer)) {
          *delta = vector(head_slide.x - head.x, delta->y, head_slide.z - head.z);
          changed = true;
        }
      }
    }
  }
  return changed;
}

// ---- upkeep --------------------------------------------------------------------

void living_entity::upkeep() {
  const float step = frame_step;
  if (has_status_effect(STATUS_PARALYZE) || has_status_effect(STATUS_SLEEP) || has_status_effect(STATUS_TURNED)) {
    state |= ES_HELD;
    ai_reset_to_inactive(&ai);
  } else if (instance) {
    instance->process(step);
  }
  const float dt = step > 0.0f ? step : FrameTimer;
  auto fall = [dt](float& t) { t = t - dt < 0.0f ? 0.0f : t - dt; };
  fall(damage_timer);
  fall(position_bonus_timer);
  fall(float_time);
  if (special_move_id >= 0 && move_finished(special_move_id)) {
    state &= ~ES_HELD_BY_SCRIPT;
    special_move_id = -1;
  }
  if (ap_regen_timer != -1 && timestamp_elapsed(ap_regen_timer, timer_game_clock)) {
    const int max = get_max_points(1);
    int next = ap + entity_ap_regen_amount(this);
    if (next > max) next = ap > max ? ap : max;
    ap = static_cast<int16_t>(next);
    ap_regen_timer = timestamp_set(timer_game_clock, AP_REGEN_MS);
  }
  status_frame();
  if (!(state & ES_DOWN) && floor_mesh != 65535 && floor_poly != 65535 && entity_world().light_at) {
    int r = 255, g = 255, b = 255;
    entity_world().light_at(pos, &r, &g, &b);
    floor_light = (r + g + b) / 3.0f / 255.0f * 0.55f;
  }
}

void living_entity::status_frame() {
  if (drives_statuses()) refresh_item_status_effects();
  if (game_flags_test(GF_CUTSCENE)) return;
  const EntityEffectHooks& fx = entity_effects();
  const int32_t now = timer_game_clock;
  int visible = 0;
  for (int id = 0; id < NUM_STATUS_EFFECTS; id++) {
    status_effect_slot& s = status[id];
    if (s.mode == STATUS_INACTIVE) continue;
    if (s.mode != STATUS_EQUIPMENT && s.end_time == -1) continue;
    for (const Tint& t : Status_tints) {
      if (t.id == id && instance) instance->set_tint(t.r, t.g, t.b);
    }
    if (s.visual >= 0 && fx.alive && !fx.alive(s.visual)) s.visual = -1;
    if (!multi_is_client() && s.period >= 1 && s.period_timer != -1 && timestamp_elapsed(s.period_timer, now)) {
      if (id == STATUS_REGEN || id == STATUS_POISON) {
        change_hp(s.strength, s.source);
      } else if (id == STATUS_DOT_A || id == STATUS_DOT_B) {
        float amount = s.strength;
        if (amount < 0.0f && !No_resist) {
          const int spell = s.origin;
          const int damage_type = spell >= 0 && spell < MAX_SPELLS ? Spells[spell].damage_type : -1;
          if (damage_type >= 0) amount *= 1.0f - get_resistance(damage_type);
          if (amount < 0.0f) amount *= 1.0f - get_resistance(3);
          if (amount >= 0.0f) amount = 0.0f;
        }
        change_hp(amount, s.source);
      }
      s.period_timer = timestamp_set(now, s.period);
    }
    const bool timed = s.mode == STATUS_TIMED || s.mode == STATUS_NOT_CURABLE;
    if (id != STATUS_TURNED && timed && drives_statuses() && timestamp_elapsed(s.end_time, now)) {
      cure_status_effect(id, true, true);
      if (id == STATUS_SILENCE) ai.flags &= ~AIF_SPELL_BLOCK;
      continue;
    }
    if (id == STATUS_TURNED && s.end_time != -1 && s.strength <= 0.0f) {
      cure_status_effect(id, true, true);
      continue;
    }
    if (id != STATUS_FADED && id != STATUS_PARALYZE && id != STATUS_DOT_A && id != STATUS_DOT_B) visible++;
  }
  if (!instance) return;
  if (has_status_effect(STATUS_PARALYZE)) {
    if (!(state & ES_SPELL_PARALYSED)) instance->set_tint(255, 255, 255);
  } else if (has_status_effect(STATUS_FADED)) {
    const bool shown = fx.has_status_kind && (fx.has_status_kind(this, 5) || fx.has_status_kind(this, 6));
    if (!shown) instance->set_alpha(20);
  } else if (!(state & ES_AI_INTERRUPTED) && ai.state != AI_STATE_HIDING) {
    instance->set_alpha(255);
  }
  if (visible == 0 && !has_status_effect(STATUS_PARALYZE) && !has_status_effect(STATUS_FADED)) instance->reset_tint();
}

// ---- corpses --------------------------------------------------------------------

void living_entity::retire_corpse() {
  if (state & ES_KEEP_MODEL) flags &= ~OF_ACTIVE;
  else flags |= OF_DELETE;
}

void living_entity::process_dead(float frametime) {
  const bool death_playing = death_move && current_move == death_move && current_move_id >= 0 &&
                             get_move_time_left(current_move_id, nullptr);
  if (instance) {
    instance->process(frametime);
    if (death_playing) {
      vector delta = to_world(orient, instance->motion_step(frametime));
      if (delta.x != 0.0f || delta.z != 0.0f) {
        collide_move(&delta);
        pos = vector(pos.x + delta.x, pos.y + delta.y, pos.z + delta.z);
        settle_on_floor();
      }
    }
  }
  const bool finished = !death_playing;
  if (!((state & ES_DEATH_KIND) && finished)) {
    frame_step = frametime;
    upkeep();
    frame_step = 0.0f;
  }
  // Only the kinds that mark their death (state 0x8000) are retired once it
  // has played; every other corpse lies where it fell.
  if (!finished || !(state & ES_DEATH_KIND)) return;
  if (move_effect < 0) {
    retire_corpse();
  } else if (!entity_effects().alive || !entity_effects().alive(move_effect)) {
    retire_corpse();
  } else {
    flags &= ~OF_ACTIVE;
  }
  auto fall = [frametime](float& t) { t = t - frametime < 0.0f ? 0.0f : t - frametime; };
  fall(damage_timer);
  fall(position_bonus_timer);
  fall(float_time);
}

// ---- footsteps ------------------------------------------------------------------

void living_entity::find_foot_bones() {
  foot_bones[0] = foot_bones[1] = -1;
  if (!instance) return;
  foot_bones[0] = static_cast<int16_t>(instance->find_bone("BDBN-Foot-L"));
  foot_bones[1] = static_cast<int16_t>(instance->find_bone("BDBN-Foot-R"));
}

void living_entity::update_footsteps() {
  if (!instance) return;
  static const char* const Events[2] = {"left-foot", "right-foot"};
  for (int foot = 0; foot < 2; foot++) {
    if (foot_bones[foot] < 0) continue;
    const vector local = instance->bone_position(foot_bones[foot]);
    const vector w = to_world(orient, local);
    if (instance->event_fired(Events[foot])) {
      play_footstep(vector(pos.x + w.x, pos.y + w.y, pos.z + w.z), foot == 0);
      return;
    }
  }
}

void living_entity::play_footstep(const vector& at, bool left) {
  if (!character) return;
  const EntityWorldHooks& w = entity_world();
  int surface = w.surface_of && floor_mesh != 65535 ? w.surface_of(floor_mesh, floor_poly) : 0;
  if (surface < 0 || surface >= NUM_FOOTSTEP_SURFACES) surface = 0;
  int sets = character->footstep_set_count;
  if (sets < 1) sets = 1;
  if (sets > MAX_FOOTSTEP_SETS) sets = MAX_FOOTSTEP_SETS;
  const int set = sets == 1 ? 0 : os_rand() % sets;
  const int sound = character->footsteps[left ? 0 : 1][set][surface].index;
  if (sound < 0) return;
  const EntitySoundHooks& snd = entity_sounds();
  const int channel = snd.play_3d ? snd.play_3d(sound, at) : -1;
  if (channel >= 0 && snd.set_rate) snd.set_rate(channel, frand_range(0.9f, 1.0f));
}

int living_entity::start_knockdown(int variation) {
  if (is_boss()) return -1;
  const Move_info* m = charinfo_get_move(character, MOVE_FLINCH, variation, false);
  const int id = play_move(m, 1.0f, true, true, 1);
  if (id < 0) return -1;
  special_move_id = id;
  state |= ES_HELD_BY_SCRIPT;
  set_held(1);
  combat.phase = 0;
  return id;
}

// ---- spells for the AI -------------------------------------------------------------

bool living_entity::wants_spell(float* range) {
  if (is_boss()) {
    const EntityGameHooks& g = entity_game();
    return g.boss_wants_spell && g.boss_wants_spell(this, range);
  }
  const bool ai_allows = !(ai.flags & AIF_SPELL_BLOCK) && !(type == OBJ_PLAYER && (ai.flags & AIF_PLAYER_CAST_BLOCK));
  if (!has_status_effect(STATUS_SILENCE) && ai_allows &&
      (ai.state == AI_STATE_CAST_SPELL || ai.state == AI_STATE_PATROL)) {
    // An entity without action points at all never casts.
    const int max = get_max_points(1);
    const float ratio = max > 0 ? static_cast<float>(ap) / static_cast<float>(max) : 0.0f;
    if (ratio > (type == OBJ_PLAYER ? 0.25f : 0.05f)) {
      if (range) *range = 8.0f;
      return true;
    }
  }
  const item_instance* weapon = equipment[EQ_WEAPON];
  if (weapon && weapon->info && weapon->info->type == ITEM_WEAPON && weapon->info->use_effect && weapon->charges > 0) {
    if (range) *range = weapon->info->weapon.attack_radius;
    return true;
  }
  return false;
}

bool living_entity::can_cast_spell(int spell) {
  if (spell < 0 || spell >= MAX_SPELLS) return false;
  const Spell_info& s = Spells[spell];
  const int skill = s.spell_class >= 0 && s.spell_class < NUM_SPELL_CLASSES ? Spell_class_skill[s.spell_class] : -1;
  if (skill < 0) return false;
  if (has_status_effect(STATUS_SILENCE)) return false;
  if (!find_move(MOVE_CAST, s.variation)) return false;
  if (ap < s.cost) return false;
  const EntityGameHooks& g = entity_game();
  if (g.cooldown_running && g.cooldown_running(this, spell)) return false;
  return get_stat(skill) >= s.skill;
}

int living_entity::cast_spell(int spell, int flag) {
  if (spell < 0 || spell >= MAX_SPELLS) return -1;
  const Spell_info& s = Spells[spell];
  int id;
  if (is_boss()) {
    id = current_move_id;
  } else {
    id = play_move(find_move(MOVE_CAST, s.variation), 1.0f, false, false, flag);
    if (id < 0) return -1;
  }
  if (type == OBJ_PLAYER && (s.flags & SPELL_FADE_PROPS) && current_move && instance) {
    const float length = instance->anim_length(current_move->anim_slot);
    if (length > 0.0f) entity_add_fade(this, id, 0.5f / length);
  }
  const EntityGameHooks& g = entity_game();
  const int effect = g.cast_effect ? g.cast_effect(this, spell) : -1;
  if (s.cast_sound.index >= 0 && entity_sounds().play_3d) entity_sounds().play_3d(s.cast_sound.index, pos);
  if (g.cooldown_start) g.cooldown_start(this, spell, effect);
  if (Use_spell_ap && !multi_is_client()) {
    const int cost = spell >= 38 && spell <= 53 ? Skills[spell - 2].ap_cost : static_cast<int>(s.cost);
    int next = ap - cost;
    if (next < -32768) next = -32768;
    ap = static_cast<int16_t>(next);
  }
  return id;
}

// ---- the object frame's entity steps -------------------------------------------

void entities_live_frame(float frametime) {
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e;) {
    living_entity* next = entity_next(list, e);
    e->frame_step = frametime;
    e->move(nullptr, nullptr);
    combat_entity_step(e);
    e = next;
  }
}

void entities_footsteps_frame(float) {
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) e->update_footsteps();
}

void entities_dead_frame(float frametime) {
  living_entity* list = entity_dead_list();
  for (living_entity* e = entity_first(list); e;) {
    living_entity* next = entity_next(list, e);
    e->process_dead(frametime);
    e = next;
  }
}

#include "Engine/ai/ai_driver.h"

#include <strings.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/characterinfo.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

bool Ai_paused = false;
bool Ai_path_wandering_enabled = true;
int Ai_frame_update_rate = 8;
float Slowdown_scaler = 4.0f;
int Attack_point_debug = -1;
int Offense_point_debug = -1;

vector Ai_directions[16];
const vector Ai_attack_slot_dirs[AI_ATTACK_SLOTS] = {
    vector(1.0f, 0, 0), vector(0.309017f, 0, 0.951057f), vector(-0.809017f, 0, 0.587785f),
    vector(-0.809017f, 0, -0.587785f), vector(0.309017f, 0, -0.951057f)};

AiSoundEvent Ai_sound_events[5];

namespace {

AiDriverHooks Hooks;
AiProfile Profile, Accumulated;
int32_t Profile_timer = -1;  // real clock
bool Ai_running = false;

constexpr uint32_t ES_SNEAKING = 0x400;
constexpr uint32_t ES_SLOW_DOWN_EXEMPT = 0x800;
constexpr uint32_t ES_UPDATED = 0x4000;
constexpr int CULL_PERIOD_MS = 750;
constexpr int SNEAK_LEAVE_TYPE = 15;

int32_t now() { return timer_game_clock; }
living_entity* resolve(int handle) { return handle < 0 ? nullptr : entity_from_handle(handle); }
bool alive(const living_entity* e) { return e && !(e->state & ES_DEAD) && e->type != OBJ_FREE; }

int64_t micros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool is_lying(const ai_component* ai) {
  return ai->state == AI_STATE_DISABLED && (ai->sub_state == 44 || ai->sub_state == 45);
}

bool networked_client() { return multi_is_client(); }

// The entity is simulated elsewhere: a networked client runs the AI of its
// own hero only.
bool runs_here(const living_entity* e) { return !networked_client() || multi_entity_is_local(e); }

}  // namespace

void ai_set_driver_hooks(const AiDriverHooks& hooks) { Hooks = hooks; }
const AiDriverHooks& ai_driver_hooks() { return Hooks; }
const AiProfile& ai_profile() { return Profile; }

void ai_init_tables() {
  for (int i = 0; i < 16; i++) {
    const double a = i * 22.5 * M_PI / 180.0;
    Ai_directions[i] = vector(static_cast<float>(std::cos(a)), 0.0f, static_cast<float>(std::sin(a)));
  }
}

// ---- sound events -------------------------------------------------------------------

bool ai_add_sound_event(int kind, int object) {
  if (kind < 0 || kind >= 38 || !Hooks.sound_length) return false;
  const float length = Hooks.sound_length(object, kind);
  if (length <= 0.0f) return false;
  for (AiSoundEvent& ev : Ai_sound_events) {
    if (ev.object != -1) continue;
    ev = {object, kind, length * (1.0f / 15.0f) * 1.5f};
    return true;
  }
  return false;
}

void ai_clear_sound_events() {
  for (AiSoundEvent& ev : Ai_sound_events) ev = AiSoundEvent{};
}

int ai_count_sound_events() {
  int n = 0;
  for (const AiSoundEvent& ev : Ai_sound_events) n += ev.object != -1;
  return n;
}

// ---- the driver -----------------------------------------------------------------------

void ai_frame(float frametime) {
  Ai_running = true;
  if (!timestamp_elapsed(Profile_timer, timer_real_clock) && Profile_timer >= 0) {
  } else {
    Profile.total_us = Accumulated.total_us * 1000 / 500;
    Profile.studied_us = Accumulated.studied_us * 1000 / 500;
    Profile.entities_run = Accumulated.entities_run;
    Profile.entities_culled = Accumulated.entities_culled;
    Accumulated = AiProfile{};
    Profile_timer = timestamp_set(timer_real_clock, 500);
  }
  const int64_t start = micros();
  for (AiSoundEvent& ev : Ai_sound_events) {
    if (ev.object == -1) continue;
    ev.seconds -= frametime;
    if (ev.seconds <= 0.0f) ev = AiSoundEvent{};
  }
  if (Hooks.group_update && !(Hooks.cutscene_running && Hooks.cutscene_running())) Hooks.group_update();

  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) e->state &= ~ES_UPDATED;
  for (living_entity* e = entity_first(list); e;) {
    // The process may kill the entity and move it to the dead list.
    living_entity* next = entity_next(list, e);
    if (e->type != OBJ_NEUTRAL || !(e->state & ES_DOWN)) {
      e->last_pos = e->pos;
      e->last_orient = e->orient;
      ai_process_entity(e, frametime);
    }
    e = next;
  }
  if (Hooks.boss_after_update)
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->type == OBJ_BOSS) Hooks.boss_after_update(e);
  Accumulated.total_us += micros() - start;
  Ai_running = false;
}

float ai_time_step(const ai_component* ai) {
  float t = ai->ai_time;
  if (t <= 0.0f && ai->owner)
    if (const living_entity* m = ai->owner->get_mount()) t = m->ai.ai_time;
  if (t <= 0.0f) t = FrameTimer;
  // Never more than one throttled period and a frame, however long the
  // game stood.
  return std::fmin(t, CULL_PERIOD_MS / 1000.0f + 0.1f);
}

bool ai_cull_update(ai_component* ai, float frametime) {
  living_entity* e = ai->owner;
  ai->flags |= AIF_RAN_THIS_FRAME;
  if (!e || networked_client()) return true;
  bool update;
  if (e->flags & OF_KEEP_FLOOR) {  // object flag 2: always updated
    update = true;
  } else if (ai->state == AI_STATE_COMBAT) {
    update = true;
  } else if (e->type == OBJ_PLAYER || e->is_rider() || ai_is_uninterruptible(ai) || (e->state & ES_DOWN) ||
             e->type == OBJ_BOSS) {
    update = true;
  } else if (e->state & ES_DEAD) {
    update = false;
  } else if (Hooks.on_screen ? Hooks.on_screen(e) : true) {
    // What the player sees moves every frame: a creature on screen that ran
    // only on the 750 ms timer would walk in jumps. The timer is for those
    // out of sight.
    update = true;
  } else if (!timestamp_elapsed(ai->cull_timer, now())) {
    ai->flags &= ~AIF_RAN_THIS_FRAME;
    e->state &= ~(ES_THROTTLED | ES_THROTTLED_LAST);
    update = false;
  } else {
    ai->cull_timer = timestamp_set(now(), CULL_PERIOD_MS);
    update = true;
    if (ai->flags & AIF_SPAWNED_CREATURE) {
      vector ahead = e->pos + e->orient.forward * (5.0f * e->get_radius());
      if (Hooks.point_visible && Hooks.point_visible(ahead)) {
        ai->flags &= ~AIF_RAN_THIS_FRAME;
        update = false;
      }
    }
  }
  if (update && (ai->flags & AIF_SPAWNED_CREATURE) && !(e->flags & OF_KEEP_FLOOR) && e->type != OBJ_PLAYER) {
    ai->flags &= ~AIF_SPAWNED_CREATURE;
    ai->ai_time = frametime;
  }
  return update;
}

void ai_think(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || (e->state & (ES_HELD | ES_DEAD))) return;
  if (!timestamp_elapsed(ai->think_timer, now())) return;
  ai->flags &= ~AIF_NEAR_FORMATION;
  int wait;
  if (e->type == OBJ_PLAYER)
    wait = ai_is_head_action_current(ai) ? 500 : timestamp_random_ms(50, 100);
  else
    wait = ai->state == AI_STATE_COMBAT ? 50 : timestamp_random_ms(250, 500);
  ai->think_timer = timestamp_set(now(), wait);
  if (runs_here(e)) {
    if (Hooks.think) Hooks.think(ai);
    ai_queue_execute(ai);
  }
  if (ai->state == AI_STATE_TRAVELING) {
    if (ai->sub_state >= 3 && ai->sub_state <= 5 && Hooks.path_variant_step) Hooks.path_variant_step(ai);
    if (ai->sub_state == 43 && Hooks.special_move_step) Hooks.special_move_step(ai);
  }
}

void ai_process_entity(living_entity* e, float frametime) {
  ai_component* ai = &e->ai;
  const int64_t start = micros();
  const bool conversation = Hooks.conversation_running && Hooks.conversation_running();
  if (Ai_paused && !(ai->flags & AIF_PLAYER_CAST_BLOCK)) return;
  if (conversation &&
      (e->type == OBJ_CREATURE || (ai->state == AI_STATE_COMBAT && ai->sub_state != 14)))
    return;
  ai->ai_time += frametime;
  if (!ai_cull_update(ai, frametime)) {
    Accumulated.entities_culled++;
    return;
  }
  Accumulated.entities_run++;
  e->state |= ES_UPDATED;
  if ((e->state & ES_SNEAKING) && timestamp_elapsed(ai->sneak_timer, now()) &&
      ai_queue_find(ai, 1, SNEAK_LEAVE_TYPE, 0, -1, nullptr, 0, AI_NO_SPELL) < 0)
    ai_queue_action15(ai);
  if (ai->emerge_timer >= 0 && timestamp_elapsed(ai->emerge_timer, now())) {
    ai->emerge_timer = -1;
    ai->flags &= ~AIF_UNINTERRUPTIBLE;
  }
  if ((e->state & ES_DEAD) && e->type != OBJ_BOSS) {
    ai_reset_to_idle(ai);
    ai_reset_to_inactive(ai);
  }
  ai_think(ai);
  if (e->type == OBJ_BOSS && Hooks.boss_update) Hooks.boss_update(e);
  if (e->mount_link >= 0 && !resolve(e->mount_link)) e->mount_link = -1;
  const int state = ai->state;
  if (state >= 0 && state < AI_NUM_STATES && Hooks.handlers[state]) Hooks.handlers[state](ai);
  if ((state == AI_STATE_INACTIVE || state == AI_STATE_IDLE || state == AI_STATE_MOUNT_IDLE) &&
      multi_entity_is_local(e))
    e->set_move_mode(0.0f);
  if ((e->state & ES_SNEAKING) && ai->state != AI_STATE_SNEAKING && Hooks.handlers[AI_STATE_SNEAKING])
    Hooks.handlers[AI_STATE_SNEAKING](ai);

  // A throttled entity moves by all the time since its last update, not by
  // this frame's alone, or it would walk at a fraction of its speed.
  e->frame_step = ai_time_step(ai);
  ai->ai_time = 0.0f;
  if ((ai->flags & AIF_CATCH_UP) && !(e->state & ES_SLOW_DOWN_EXEMPT)) {
    // Behind its path start: it runs faster for this step only.
    const float desired = e->desired_speed;
    e->desired_speed *= Slowdown_scaler;
    e->move(nullptr, nullptr);
    e->desired_speed = desired;
  } else {
    e->move(nullptr, nullptr);
  }
  const int64_t spent = micros() - start;
  if (e == Study_object) Accumulated.studied_us += spent;
}

// ---- attack slots -----------------------------------------------------------------------

namespace {
int best_slot(const ai_component* ai, const living_entity* attacker) {
  const living_entity* self = ai->owner;
  vector d = attacker->pos - (self ? self->pos + self->offset : vector(0, 0, 0));
  int best = 0;
  float best_dot = -1e30f;
  for (int i = 0; i < AI_ATTACK_SLOTS; i++) {
    const vector& s = Ai_attack_slot_dirs[i];
    const float dot = d.x * s.x + d.y * s.y + d.z * s.z;
    if (dot > best_dot) {  // a later slot wins only when strictly larger
      best_dot = dot;
      best = i;
    }
  }
  return best;
}
}  // namespace

int ai_best_slot_for(const ai_component* ai, const living_entity* attacker) {
  return attacker ? best_slot(ai, attacker) : -1;
}

int ai_claim_attack_slot(ai_component* ai, const living_entity* attacker, int time_ms, int slot) {
  if (!attacker || attacker->is_mount()) return -1;
  for (ai_attack_slot& s : ai->attack_slots) {
    if (s.attacker != attacker->handle) continue;
    const int left = timestamp_time_left(s.time, now());
    if (left >= 0 && left <= time_ms) time_ms = left;
    s = ai_attack_slot{};
  }
  if (slot < 0 || slot >= AI_ATTACK_SLOTS) slot = best_slot(ai, attacker);
  ai_attack_slot& s = ai->attack_slots[slot];
  const bool free = !alive(resolve(s.attacker));
  if (!free && timestamp_time_left(s.time, now()) <= time_ms) return -1;
  s.attacker = attacker->handle;
  s.time = timestamp_set(now(), time_ms);
  return slot;
}

int ai_count_attack_slots(const ai_component* ai) {
  int n = 0;
  for (const ai_attack_slot& s : ai->attack_slots) n += alive(resolve(s.attacker)) ? 1 : 0;
  return n;
}

int ai_count_attackers_of_leader(const ai_component* ai, bool only_claimed) {
  if (!ai->owner) return 0;
  const int self = ai->owner->handle;
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e->ai.leader != self || e == ai->owner) continue;
    const ai_component* o = &e->ai;
    bool counts = ai_is_combat_sub_15_31_63(o) || ai_is_combat_sub16(o) || ai_is_combat_sub22(o);
    if (!counts && !only_claimed)
      for (const ai_action& a : o->queue)
        if (a.type == 1 && a.target == self) counts = true;
    n += counts;
  }
  return n;
}

int ai_count_attackers(const ai_component* ai) {
  if (!ai->owner) return 0;
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
    if (e->ai.leader == ai->owner->handle && e != ai->owner && ai_is_combat_sub_15_31_63(&e->ai)) n++;
  return n;
}

bool ai_close_action_ok(const ai_component* ai, const living_entity* target) {
  const living_entity* self = ai->owner;
  if (!self || !target || !self->is_hostile_to(target)) return false;
  if (target->character && target->character->ai_no_close_action) return false;
  if (self->distance_to(target, false, -1) > 2.0f) return false;
  vector to = self->pos - target->pos;
  const float len = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
  if (len <= 0.0f) return false;
  const vector& f = target->orient.forward;
  return -(to.x * f.x + to.y * f.y + to.z * f.z) / len > 0.707f;
}

// ---- disabling, death, summoning -----------------------------------------------------------

bool ai_is_combat_sub16(const ai_component* ai) { return ai_is_in_state(ai, AI_STATE_COMBAT, 16); }
bool ai_is_combat_sub22(const ai_component* ai) {
  return ai->state == AI_STATE_COMBAT && (ai->sub_state == 22 || ai->sub_state == 23);
}
bool ai_is_combat_sub17(const ai_component* ai) { return ai_is_in_state(ai, AI_STATE_COMBAT, 17); }

void ai_knock_down(ai_component* ai, int ms) {
  if (!ai_can_act(ai) && !is_lying(ai)) return;
  living_entity* e = ai->owner;
  if (e && multi_is_host() && Hooks.send_knock_down) Hooks.send_knock_down(e, ms);
  if (!is_lying(ai)) {
    ai->knock_down_ms = ms;
    ai->disable_timer = now();
    ai->special_move = -1;
    ai_set_state(ai, AI_STATE_DISABLED, 44);
    if (e && Hooks.controlled && Hooks.controlled() == e && Hooks.hud_message) Hooks.hud_message("Knocked Down!");
  } else if (ms > ai->knock_down_ms - (now() - ai->disable_timer)) {
    // A harder blow while down: the fall starts again.
    ai->knock_down_ms = ms;
    ai->disable_timer = now();
    ai->state_timer = now();
  }
}

void ai_stun(ai_component* ai, int ms) {
  living_entity* e = ai->owner;
  if (e && ((e->character && e->character->ai_cannot_be_stunned) || e->is_rider())) return;
  if (e && multi_is_host() && Hooks.send_stun) Hooks.send_stun(e, ms);
  ai->knock_down_ms = ms;
  ai->disable_timer = now();
  ai->special_move = -1;
  ai_set_state(ai, AI_STATE_DISABLED, 47);
}

void ai_hold(ai_component* ai, int ms) {
  ai->knock_down_ms = ms;
  ai->disable_timer = now();
  if (ai->owner) ai->owner->set_held(ms);
  ai_set_state(ai, AI_STATE_DISABLED, 49);
}

void ai_die(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e) return;
  const Move_info* death = e->find_move(6, 34);
  if (death) {
    e->play_move(death, 1.0f, false, true, 0);
    console_printf("AI_CLASS : DIE\n");
    return;
  }
  console_printf("AI_CLASS : OF_SHOULD_BE_DEAD\n");
  object_mark_deleted(e);
}

void ai_start_summoning(ai_component* ai) {
  living_entity* e = ai->owner;
  ai_set_state(ai, AI_STATE_SUMMONING, -1);
  if (!e) return;
  e->set_movement_anim();
  e->flags |= OF_ACTIVE;
  const Move_info* emerge = e->find_move(12, -1);
  ai->special_move = emerge ? e->play_move(emerge, 1.0f, false, true, 0) : -1;
}

void ai_counter_attack(ai_component* ai, int target) {
  living_entity* t = resolve(target);
  if (t) ai->travel_target = t->pos;
  ai->target = target;
  if (ai->owner) ai->owner->combat.target = target;
  ai->distance = 999999;
  ai_set_state(ai, AI_STATE_COMBAT, 63);
}

void ai_start_travel_anim(ai_component* ai, bool run) {
  ai->distance = 999999;
  ai_set_state(ai, AI_STATE_TRAVELING, 0);
  if (living_entity* e = ai->owner) e->set_move_mode(run ? e->run_speed : e->walk_speed);
}

void ai_reset_player_after_load(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || e->type != OBJ_PLAYER) return;
  ai_path_free(ai->path);
  ai->path = nullptr;
  ai_queue_clear(ai);
  ai_init_for_spawn(ai);
  e->clear_held();
  e->speed_scale = e->speed_scale_default;
  e->state &= ~(0x1u | ES_ON_FLOOR | ES_SNEAKING);
  e->mount_link = -1;
  ai->leader = -1;
}

// ---- console ---------------------------------------------------------------------------------

namespace {

ConsoleCommand cc_ai_frame_update_rate("ai_frame_update_rate",
                                       "Set the rate at which AI is updated in frames for offscreen creatures", [] {
  console_get_arg(ARG_INT | ARG_NONE);
  if (Console_run) {
    if (Console_arg.type & ARG_NONE) {
      console_printf("Usage: ai_frame_update_rate <value>\n");
      return;
    }
    if (Console_arg.int_value < 1 || Console_arg.int_value > 30) {
      console_printf("Invalid range for value\n");
      return;
    }
    Ai_frame_update_rate = Console_arg.int_value;
  }
  if (Console_status) console_printf("Ai frame update rate is %d\n", Ai_frame_update_rate);
});

ConsoleCommand cc_slowdown_scaler("slowdown_scaler", "Set the slowdown scaler", [] {
  console_get_arg(ARG_FLOAT | ARG_INT | ARG_NONE);
  if (Console_run) {
    if (Console_arg.type & ARG_NONE) {
      console_printf("Usage: slowdown_scaler <value>\n");
      return;
    }
    Slowdown_scaler = Console_arg.float_value;
  }
  if (Console_status) console_printf("Slowdown scaler is %.3f\n", Slowdown_scaler);
});

ConsoleCommand cc_attack_point("attack_point", "attack point", [] {
  console_get_arg(ARG_INT);
  if (!Console_run) return;
  const int n = Console_arg.int_value;
  const int count = Study_object && Study_object->character ? Study_object->character->offense_point_count : 0;
  Attack_point_debug = n >= 0 && n <= count ? n : -1;
});

ConsoleCommand cc_offense_point("offense_point", "offense point", [] {
  console_get_arg(ARG_INT);
  if (Console_run) Offense_point_debug = Console_arg.int_value;
});

ConsoleCommand cc_ai_state("ai_state", "Change the AI state of the study object", [] {
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!Console_run) return;
  if (Console_arg.type & ARG_NONE) {
    console_printf("Usage: ai_state <state name>\n\n");
    console_printf("The following states are available:\n\n");
    for (const char* name : Ai_state_names) console_printf("%s\n", name);
    return;
  }
  if (!Study_object) {
    console_printf("Error: No study object selected\n");
    return;
  }
  for (int i = 0; i < AI_NUM_STATES; i++) {
    if (strcasecmp(Console_arg.original, Ai_state_names[i]) == 0) {
      ai_set_state(&Study_object->ai, i, -1);
      return;
    }
  }
  console_printf("Error: Invalid state name\n");
});

// Developer commands for driving and reading the AI of a running game:
// ai_study names the study object, ai_order gives an entity an order as
// the player's clicks would, ai_dump prints every live entity's state and
// queue.
living_entity* entity_arg() {
  console_get_arg(ARG_STRING);
  // Names compare without case, so the lower-cased, unquoted text serves.
  living_entity* e = entity_find_by_name(Console_arg.text);
  if (!e || !obj_is_living_entity(e)) console_printf("Error: No entity named %s\n", Console_arg.text);
  return e && obj_is_living_entity(e) ? e : nullptr;
}

ConsoleCommand cc_ai_study("ai_study", "Selects the study object by its name", [] {
  if (!Console_run) return;
  if (living_entity* e = entity_arg()) {
    Study_object = e;
    console_printf("Study object is %s\n", e->get_name());
  }
});

ConsoleCommand cc_ai_order("ai_order", "Orders an entity: ai_order <name> walk <x> <y> <z> | attack <name>", [] {
  if (!Console_run) return;
  living_entity* e = entity_arg();
  if (!e) return;
  console_get_arg(ARG_STRING);
  int slot = -1;
  if (std::strcmp(Console_arg.text, "walk") == 0) {
    float p[3];
    for (float& f : p) {
      console_get_arg(ARG_FLOAT | ARG_INT);
      f = Console_arg.float_value;
    }
    slot = ai_queue_walk_to(&e->ai, vector(p[0], p[1], p[2]), 0, false, 999999);
  } else if (std::strcmp(Console_arg.text, "attack") == 0) {
    living_entity* t = entity_arg();
    if (!t) return;
    slot = ai_queue_attack(&e->ai, t->handle, 999999);
  } else {
    console_printf("Usage: ai_order <name> walk <x> <y> <z> | attack <name>\n");
    return;
  }
  if (slot < 0) console_printf("%s refuses the order\n", e->get_name());
  else console_printf("%s takes the order in slot %d\n", e->get_name(), slot);
});

ConsoleCommand cc_ai_dump("ai_dump", "Prints the AI state and queue of every live entity", [] {
  if (!Console_run) return;
  living_entity* list = entity_live_list();
  char text[1024];
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    ai_describe(&e->ai, text, sizeof text);
    console_printf("%s at %.2f %.2f %.2f: %s", e->get_name(), e->pos.x, e->pos.y, e->pos.z, text);
  }
});

CONSOLE_BOOL_VARIABLE(cc_pause_ai, "pause_ai", "Toggles Ai_paused", Ai_paused);
CONSOLE_BOOL_VARIABLE(cc_ai_wander, "ai_wander", "Toggles Ai_path_wandering_enabled", Ai_path_wandering_enabled);

}  // namespace

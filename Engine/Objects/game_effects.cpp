#include "Engine/Objects/game_effects.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_outcome.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"

namespace {

game_effect Effects[MAX_GAME_EFFECTS];
game_effect Active;  // sentinel of the active list
int Count = 0;
FxLayer Layer;
FxHits Hits;

struct Attachment {
  int32_t effect = -1;
  int32_t entity = -1;
};
Attachment Attachments[MAX_FX_ATTACHMENTS];

void list_reset() { Active.fx_next = Active.fx_prev = &Active; }

living_entity* living(int handle) { return static_cast<living_entity*>(obj_living_entity_from_handle(handle)); }

bool spins(const game_effect* fx) { return Layer.random_spin && Layer.random_spin(fx->name); }

bool advance(game_effect* fx, float dt) {
  if (fx->instance < 0 || !Layer.advance) return true;
  return Layer.advance(fx->instance, dt, fx->pos, fx->orient);
}

void refresh_attachment_flag(int entity) {
  living_entity* e = living(entity);
  if (!e) return;
  bool any = false;
  for (const Attachment& a : Attachments) any |= a.entity == entity && a.effect != -1;
  if (any) e->state |= ES_HAS_ATTACHMENT;
  else e->state &= ~ES_HAS_ATTACHMENT;
}

void attach_record(game_effect* fx, int entity) {
  for (Attachment& a : Attachments) {
    if (a.effect != -1) continue;
    a = {fx->handle, entity};
    refresh_attachment_flag(entity);
    return;
  }
}

void deliver(game_effect* fx, living_entity* target, const vector* point) {
  if (!Hits.hit || !target) return;
  living_entity* owner = living(fx->owner);
  Hits.hit(fx->spell, owner, target, point, fx->source_item, game_is_networked() ? fx->outcome : nullptr);
}

// Flight toward the target's middle. A target that is gone ends the flight
// without a hit; one that moved is followed, so a flight never stalls.
bool update_homing(game_effect* fx, float dt) {
  living_entity* t = living(fx->entity);
  if (!(fx->bits & FXS_ARRIVED)) {
    if (!t) return true;
    fx->aim = t->pos + vector(0, t->get_height() * 0.5f, 0);
    vector d = fx->aim - fx->pos;
    const float len = d.length();
    const float step = FX_HOMING_SPEED * dt;
    if (len > step && len > 0.0f) {
      d = d * (1.0f / len);
      fx->pos = fx->pos + d * step;
      fx->orient = matrix::from_forward(d);
      advance(fx, dt);
      return false;
    }
    fx->pos = fx->aim;
    fx->bits |= FXS_ARRIVED;
  }
  const bool done = advance(fx, dt);
  if (!(fx->bits & FXS_HIT_DONE)) {
    fx->bits |= FXS_HIT_DONE;
    deliver(fx, t, &fx->aim);
  }
  return done;
}

bool update_fade(game_effect* fx, float dt, float progress) {
  living_entity* e = living(fx->entity);
  if (!e) return true;
  fx->pos = e->pos;
  if (!spins(fx)) fx->orient = e->orient;
  const bool done = advance(fx, dt);
  // The progress is read before the step; the last step lands on the end.
  if (done) progress = 1.0f;
  const float p = fx->kind == FX_FADE_IN ? 1.0f - progress : progress;
  if (e->instance) e->instance->set_alpha(static_cast<uint8_t>(255.0f - p * 235.0f));
  return done;
}

bool update_attached(game_effect* fx, float dt) {
  game_object* o = obj_from_handle(fx->entity);
  if (o) {
    fx->pos = fx->kind == FX_ATTACHED_BONE ? o->pos + o->offset : o->pos;
    if (!spins(fx)) fx->orient = o->orient;
  }
  const bool done = advance(fx, dt);
  if (fx->kind == FX_PETRIFY) {
    living_entity* e = living(fx->entity);
    if (!e || e->has_status_effect(STATUS_PARALYZE)) return false;
    fx_attach_to_entity("stone-fade.vfx", e->handle, false, false);
    return true;
  }
  return done;
}

bool update_ring(game_effect* fx, float dt) {
  fx->radius += dt * FX_RING_SPEED;
  const bool ended = fx->radius >= FX_RING_END;
  if (!game_is_networked()) {
    for (int k = 0; k < fx->target_count; k++) {
      living_entity* t = living(fx->targets[k]);
      if (!t) {
        fx->targets[k] = -1;
        continue;
      }
      if ((t->pos - fx->pos).length() > fx->radius) continue;
      deliver(fx, t, nullptr);
      fx->targets[k] = -1;
    }
  } else if (fx->outcome && (fx->spell == 23 || fx->spell == 30)) {
    for (int k = 1; k <= 6; k++) {
      living_entity* t = living(fx->outcome->i(k));
      if (!t) continue;
      if (!ended && (t->pos - fx->pos).length() > fx->radius) continue;
      deliver(fx, t, nullptr);
      fx->outcome->set_i(k, -1);
    }
  }
  return ended;
}

// One frame of one effect; true when it has ended.
bool update(game_effect* fx, float dt) {
  switch (fx->kind) {
    case FX_HOMING: return update_homing(fx, dt);
    case FX_FADE_OUT:
    case FX_FADE_IN: {
      float p = 1.0f;
      if (fx->instance >= 0 && Layer.progress) p = Layer.progress(fx->instance);
      return update_fade(fx, dt, p > 1.0f ? 1.0f : p < 0.0f ? 0.0f : p);
    }
    case FX_ATTACHED:
    case FX_ATTACHED_BONE:
    case FX_PETRIFY:
    case FX_STATUS_VISUAL: return update_attached(fx, dt) && fx->kind != FX_STATUS_VISUAL;
    case FX_RING: return update_ring(fx, dt);
    case FX_SPELL_HIT:
      if (!obj_from_handle(fx->owner) || !obj_from_handle(fx->entity)) return true;
      return advance(fx, dt);
    case FX_TIMED_HIT:
    case FX_DELAYED_HIT: {
      if (!fx->timer.elapsed()) return false;
      const bool done = advance(fx, dt);
      const bool due = fx->kind == FX_TIMED_HIT || !Layer.frame || Layer.frame(fx->instance) >= 14.0f;
      if (due && !(fx->bits & FXS_HIT_DONE)) {
        fx->bits |= FXS_HIT_DONE;
        if (fx->kind == FX_TIMED_HIT && fx->spell == 102 && !game_is_networked()) {
          living_entity* list = entity_live_list();
          for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
            if (e->handle != fx->owner) deliver(fx, e, nullptr);
        } else {
          deliver(fx, living(fx->entity), nullptr);
        }
      }
      return done && (fx->bits & FXS_HIT_DONE);
    }
    default: return advance(fx, dt);
  }
}

}  // namespace

void fx_set_layer(const FxLayer& layer) { Layer = layer; }
void fx_set_hits(const FxHits& hits) { Hits = hits; }

void game_effect::deinit() {
  if (outcome) spell_outcome_free(outcome);
  outcome = nullptr;
  if (instance >= 0 && Layer.release) Layer.release(instance);
  instance = -1;
  for (Attachment& a : Attachments) {
    if (a.effect != handle) continue;
    const int entity = a.entity;
    a = Attachment();
    refresh_attachment_flag(entity);
  }
  if (fx_next) {
    fx_prev->fx_next = fx_next;
    fx_next->fx_prev = fx_prev;
    fx_next = fx_prev = nullptr;
    Count--;
  }
  type = OBJ_FREE;
  game_object::deinit();
}

void fx_init() {
  list_reset();
  for (Attachment& a : Attachments) a = Attachment();
  Count = 0;
}

void fx_reset() {
  if (!Active.fx_next) list_reset();
  while (Active.fx_next != &Active) Active.fx_next->deinit();
  fx_init();
}

game_effect* fx_create(const char* name, int kind, const vector& pos, const matrix& orient, bool visible) {
  if (!Active.fx_next) list_reset();
  game_effect* fx = nullptr;
  for (game_effect& e : Effects) {
    if (e.type == OBJ_FREE) {
      fx = &e;
      break;
    }
  }
  if (!fx) {
    std::printf("FAILED TO CREATE EFFECT IN FX_ADD_EFFECT()\n");
    return nullptr;
  }
  fx->setup(OBJ_GAME_EFFECT);
  Count++;
  fx->fx_prev = Active.fx_prev;
  fx->fx_next = &Active;
  Active.fx_prev->fx_next = fx;
  Active.fx_prev = fx;
  fx->bits = 0;
  std::snprintf(fx->name, sizeof fx->name, "%s", name ? name : "");
  fx->instance = Layer.create && name ? Layer.create(name, visible) : -1;
  if (fx->instance < 0) {
    std::printf("FAILED EFFECT CREATION!\n");
    fx->deinit();
    return nullptr;
  }
  fx->kind = kind;
  fx->pos = fx->last_pos = pos;
  fx->orient = orient;
  if (spins(fx)) {
    const float a = frand() * 6.2831853f;
    fx->orient = matrix(vector(std::cos(a), 0, -std::sin(a)), vector(0, 1, 0), vector(std::sin(a), 0, std::cos(a)));
  }
  fx->spell = fx->entity = fx->owner = fx->move = -1;
  fx->outcome = nullptr;
  fx->source_item = nullptr;
  fx->target_count = 0;
  fx->radius = 0.0f;
  fx->timer.invalidate();
  for (int32_t& t : fx->targets) t = -1;
  return fx;
}

int fx_add_effect(const char* name, const vector& pos, const matrix& orient, bool visible) {
  game_effect* fx = fx_create(name, FX_PLACED, pos, orient, visible);
  return fx ? fx->handle : -1;
}

int fx_attach_to_entity(const char* name, int entity, bool hidden, bool follow_bone) {
  game_object* o = obj_from_handle(entity);
  if (!o) return -1;
  game_effect* fx = fx_create(name, follow_bone ? FX_ATTACHED_BONE : FX_ATTACHED, o->pos, o->orient, !hidden);
  if (!fx) return -1;
  fx->entity = entity;
  attach_record(fx, entity);
  return fx->handle;
}

int fx_add_homing_effect(const char* name, int spell, const vector& start, int owner, int target) {
  game_effect* fx = fx_create(name, FX_HOMING, start, identity_matrix, true);
  if (!fx) return -1;
  fx->spell = spell;
  fx->owner = owner;
  fx->entity = target;
  fx->start = start;
  return fx->handle;
}

int fx_add_fade(living_entity* e, const char* name, bool fade_in) {
  if (!e) return -1;
  game_effect* fx = fx_create(name, fade_in ? FX_FADE_IN : FX_FADE_OUT, e->pos, e->orient, true);
  if (!fx) return -1;
  fx->entity = e->handle;
  return fx->handle;
}

int fx_add_petrify_effect(living_entity* e) {
  if (!e) return -1;
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->kind == FX_PETRIFY && fx->entity == e->handle) return fx->handle;
  const int h = fx_attach_to_entity("stone-loop.vfx", e->handle, false, false);
  if (game_effect* fx = fx_get(h)) fx->kind = FX_PETRIFY;
  return h;
}

int fx_add_area_effect(const char* name, int spell, int owner, const vector& pos, const SpellOutcome* outcome) {
  game_effect* fx = fx_create(name, FX_RING, pos, identity_matrix, true);
  if (!fx) return -1;
  fx->spell = spell;
  fx->owner = owner;
  fx->timer.set(1060);
  if (outcome) fx->outcome = spell_outcome_store(*outcome);
  living_entity* o = living(owner);
  if (!game_is_networked() && o) {
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e && fx->target_count < 6; e = entity_next(list, e))
      if (o->is_hostile_to(e) && (e->pos - pos).length() <= 10.0f) fx->targets[fx->target_count++] = e->handle;
  }
  return fx->handle;
}

int fx_add_spell_hit_effect(int spell, int owner, int target) {
  living_entity* o = living(owner);
  living_entity* t = living(target);
  if (!o || !t || spell < 0 || spell >= MAX_SPELLS || !Spells[spell].hit_effect) return -1;
  vector d = t->pos - o->pos;
  const matrix m = d.length() > 0.0f ? matrix::from_forward(d) : t->orient;
  game_effect* fx = fx_create(Spells[spell].hit_effect, FX_SPELL_HIT, t->pos, m, true);
  if (!fx) return -1;
  fx->spell = spell;
  fx->owner = owner;
  fx->entity = target;
  return fx->handle;
}

int fx_add_timed_hit(const char* name, int spell, int owner, int target, int delay_ms, const vector& pos) {
  game_effect* fx = fx_create(name, FX_TIMED_HIT, pos, identity_matrix, true);
  if (!fx) return -1;
  fx->spell = spell;
  fx->owner = owner;
  fx->entity = target;
  fx->timer.set(delay_ms);
  return fx->handle;
}

game_effect* fx_get(int handle) {
  game_object* o = obj_from_handle(handle);
  return o && o->type == OBJ_GAME_EFFECT ? static_cast<game_effect*>(o) : nullptr;
}

void fx_kill(int handle) {
  if (game_effect* fx = fx_get(handle)) fx->flags |= OF_DELETE;
}

void fx_destroy(int handle) {
  if (game_effect* fx = fx_get(handle)) fx->deinit();
}

bool fx_stop_entity_effects(int entity, bool destroy_now) {
  bool any = false;
  for (game_effect* fx = Active.fx_next; fx && fx != &Active;) {
    game_effect* next = fx->fx_next;
    if (fx->entity == entity && (fx->kind == FX_ATTACHED || fx->kind == FX_ATTACHED_BONE ||
                                 fx->kind == FX_STATUS_VISUAL || fx->kind == FX_PETRIFY)) {
      any = true;
      if (destroy_now) fx->deinit();
      else fx->flags |= OF_DELETE;
    }
    fx = next;
  }
  return any;
}

int fx_count() { return Count; }

void fx_frame(float dt, bool paused) {
  if (paused || !Active.fx_next) return;
  for (game_effect* fx = Active.fx_next; fx != &Active; fx = fx->fx_next) {
    if (fx->flags & (OF_DELETE | 0x40)) continue;
    if (update(fx, dt)) fx->flags |= OF_DELETE;
  }
}

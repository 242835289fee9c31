#include "Engine/Objects/game_effects.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <initializer_list>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_outcome.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/bmpman/bmpman.h"
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

int Falloff[FX_FALLOFF_TEXTURES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
uint8_t Falloff_pixels[FX_FALLOFF_TEXTURES][FX_FALLOFF_SIZE * FX_FALLOFF_SIZE];

bool one_of(int v, std::initializer_list<int> list) {
  for (int x : list)
    if (x == v) return true;
  return false;
}
bool zone_spell(int s) { return one_of(s, {26, 29, 31, 35, 78}); }

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
  const int source = fx->source >= 0 ? fx->source : fx->source_item ? SS_ITEM_CHARGE : SS_CAST;
  Hits.hit(fx->spell, owner, target, point, fx->source_item, game_is_networked() ? fx->outcome : nullptr, source);
}

// Flight toward the target's middle. A target that is gone ends the flight
// without a hit; one that moved is followed, so a flight never stalls.
bool update_homing(game_effect* fx, float dt) {
  living_entity* t = living(fx->entity);
  const bool sprite = (fx->bits & FXS_SPRITE) != 0;
  if (!(fx->bits & FXS_ARRIVED)) {
    if (!t) return true;
    fx->aim = t->pos + vector(0, t->get_height() * 0.5f, 0);
    vector d = fx->aim - fx->pos;
    const float len = d.length();
    const float step = (sprite ? FX_SPRITE_SPEED : FX_HOMING_SPEED) * dt;
    if (len > step && len > 0.0f) {
      d = d * (1.0f / len);
      fx->pos = fx->pos + d * step;
      fx->orient = matrix::from_forward(d);
      // The trail point is dragged along once it lags more than 9 units.
      if (sprite && (fx->pos - fx->trail).length() > 9.0f)
        fx->trail = fx->pos - (fx->pos - fx->trail) * (9.0f / (fx->pos - fx->trail).length());
      advance(fx, dt);
      return false;
    }
    fx->pos = fx->aim;
    fx->bits |= FXS_ARRIVED;
    if (sprite) {
      // The owner's blow lands now; the trail catches up, then it ends.
      if (Hits.sprite_arrived) Hits.sprite_arrived(living(fx->owner));
      fx->timer.set(static_cast<int>((fx->aim - fx->trail).length() * 0.75f * 1000.0f * 0.05f));
      return false;
    }
  }
  if (sprite) {
    vector d = fx->aim - fx->trail;
    const float len = d.length();
    if (len > FX_SPRITE_SPEED * dt) fx->trail = fx->trail + d * (FX_SPRITE_SPEED * dt / len);
    else fx->trail = fx->aim;
    return fx->timer.elapsed();
  }
  const bool done = advance(fx, dt);
  if (!(fx->bits & FXS_HIT_DONE)) {
    fx->bits |= FXS_HIT_DONE;
    vector at = fx->aim;
    if (fx->spell == 26 || fx->spell == 78) at.y += 0.6f;
    deliver(fx, t, &at);
  }
  return done;
}

// A status visual renews its look every ten seconds for as long as it is
// kept.
bool update_status_visual(game_effect* fx, float dt) {
  game_object* o = obj_from_handle(fx->entity);
  if (o) {
    fx->pos = o->pos;
    if (!spins(fx)) fx->orient = o->orient;
  }
  const bool done = advance(fx, dt);
  if (fx->timer.elapsed() || (done && fx->instance >= 0)) {
    if (fx->instance >= 0 && Layer.release) Layer.release(fx->instance);
    fx->instance = Layer.create ? Layer.create("spell-status.vfx", fx->visible) : -1;
    fx->timer.set(FX_STATUS_RENEW_MS);
  }
  return false;
}

// An item's effect rides on the bone its wearer holds it by: a weapon's on
// the primary hand, a shield's on the shield's bone or else the secondary
// hand.
void bind_to_prop(game_effect* fx, living_entity* e, const Item_info* info) {
  constexpr int primary_hand = 0, secondary_hand = 1, shield = 15;  // prop slots
  if (!Layer.bind || !e->character) return;
  const int16_t* bones = e->character->prop_tag_bones;
  auto bind = [&](int slot) { return bones[slot] >= 0 && Layer.bind(fx->instance, e->handle, bones[slot]); };
  if (info->type == ITEM_WEAPON) bind(primary_hand);
  else if (!bind(shield)) bind(secondary_hand);
}

// An item's own effect lives while the item is worn; a weapon's shows only
// in the combat stance and plays out when its wearer leaves it.
bool update_item(game_effect* fx, float dt) {
  living_entity* e = living(fx->entity);
  if (!e || !fx->source_item) return true;
  const Item_info* info = fx->source_item;
  const bool worn = entity_find_equipped(e, info) >= 0;
  if (worn) {
    const bool make = info->type == ITEM_WEAPON ? e->stance_anim == 0 : true;
    if (make && fx->instance < 0 && info->attached_effect && Layer.create) {
      fx->instance = Layer.create(info->attached_effect, fx->visible);
      fx->timer.invalidate();
      if (fx->instance >= 0) bind_to_prop(fx, e, info);
    }
    if (info->type == ITEM_WEAPON && e->stance_anim != 0 && fx->instance >= 0 && !fx->timer.is_valid()) {
      const int life = Layer.longest_life_ms ? Layer.longest_life_ms(fx->instance) : 0;
      if (life <= 0) {
        if (Layer.release) Layer.release(fx->instance);
        fx->instance = -1;
      } else {
        if (Layer.stop) Layer.stop(fx->instance);
        fx->timer.set(life);
      }
    }
    if (fx->instance >= 0 && fx->timer.is_valid() && fx->timer.elapsed()) {
      if (Layer.release) Layer.release(fx->instance);
      fx->instance = -1;
      fx->timer.invalidate();
    }
    fx->pos = e->pos;
    fx->orient = e->orient;
    if (fx->instance >= 0) advance(fx, dt);
  }
  return (e->state & ES_DOWN) || !worn;
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
  living_entity* e = living(fx->entity);
  if (fx->kind == FX_PETRIFY) {
    if (!e || e->has_status_effect(STATUS_PARALYZE)) return false;
    fx_attach_to_entity("stone-fade.vfx", e->handle, -1, -1, false, false);
    return true;
  }
  if (fx->spell == 14 && !(fx->bits & FXS_CAST)) {
    if (e && !e->has_status_effect(STATUS_TIMED_FX)) {
      if (Spells[14].hit_effect) fx_attach_to_entity(Spells[14].hit_effect, e->handle, -1, -1, false, false);
      return true;
    }
    return done;
  }
  if (fx->spell == 36 && done && !(fx->bits & FXS_CAST) && e && Spells[36].misc_effect) {
    const int v = fx_attach_to_entity(Spells[36].misc_effect, e->handle, -1, -1, true, true);
    e->set_status_effect_visual(STATUS_TURNED, v);
  }
  return done;
}

bool update_ring(game_effect* fx, float dt) {
  // The ring's look plays on, but its end is the radius's, not the look's.
  advance(fx, dt);
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
    case FX_PETRIFY: return update_attached(fx, dt);
    case FX_STATUS_VISUAL: return update_status_visual(fx, dt);
    case FX_ITEM: return update_item(fx, dt);
    case FX_CAMERA: {
      vector p;
      matrix m;
      if (Hits.camera && Hits.camera(&p, &m)) {
        fx->pos = p;
        // Facing the camera: its orientation mirrored.
        fx->orient = matrix(m.right * -1.0f, m.up, m.forward * -1.0f);
      }
      return advance(fx, dt);
    }
    case FX_BEAM:
      if (fx->sound >= 0 && fx->made.time_since() > FX_BEAM_SOUND_MS) {
        if (Hits.sound_stop) Hits.sound_stop(fx->sound, 200);
        fx->sound = -1;
      }
      return advance(fx, dt);
    case FX_TIMED_AREA:
      if (fx->timer.is_valid() && fx->timer.elapsed()) {
        fx->timer.invalidate();
        if (Hits.area_elapsed) Hits.area_elapsed(living(fx->entity));
      }
      return advance(fx, dt);
    case FX_ROCK_ERUPTION: {
      const bool done = advance(fx, dt);
      if (!(fx->bits & FXS_HIT_DONE) && Layer.frame && Layer.frame(fx->instance) >= 55.25f) {
        fx->bits |= FXS_HIT_DONE;
        if (Hits.rock_eruption) Hits.rock_eruption(living(fx->entity));
      }
      return done;
    }
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
const FxHits& fx_hits() { return Hits; }

void game_effect::deinit() {
  if (outcome) spell_outcome_free(outcome);
  outcome = nullptr;
  if (instance >= 0 && Layer.release) Layer.release(instance);
  instance = -1;
  if (sound >= 0 && Hits.sound_stop) Hits.sound_stop(sound, 200);
  sound = -1;
  if (avoid >= 0) {
    std::printf("Destroying AA\n");
    if (Hits.avoid_remove) Hits.avoid_remove(avoid);
  }
  avoid = -1;
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

namespace {

// A record from the pool on the active list; with_instance starts the named
// effect (a plain sprite has none).
game_effect* create_record(const char* name, int kind, const vector& pos, const matrix& orient, bool visible,
                           bool with_instance) {
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
  fx->instance = with_instance && Layer.create && name ? Layer.create(name, visible) : -1;
  if (with_instance && fx->instance < 0) {
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
  fx->source = -1;
  fx->target_count = 0;
  fx->radius = 0.0f;
  fx->sound = fx->avoid = fx->texture = -1;
  fx->visible = visible;
  fx->made.set(0);
  fx->timer.invalidate();
  for (int32_t& t : fx->targets) t = -1;
  return fx;
}

}  // namespace

game_effect* fx_create(const char* name, int kind, const vector& pos, const matrix& orient, bool visible) {
  return create_record(name, kind, pos, orient, visible, true);
}

int fx_add_effect(const char* name, const vector& pos, const matrix& orient, bool visible) {
  game_effect* fx = fx_create(name, FX_PLACED, pos, orient, visible);
  return fx ? fx->handle : -1;
}

int fx_attach_to_entity(const char* name, int entity, int bone, int move, bool hidden, bool follow_bone) {
  game_object* o = obj_from_handle(entity);
  if (!o) return -1;
  game_effect* fx = fx_create(name, follow_bone ? FX_ATTACHED_BONE : FX_ATTACHED, o->pos, o->orient, !hidden);
  if (!fx) return -1;
  fx->entity = entity;
  fx->move = move;
  if (Layer.bind) Layer.bind(fx->instance, entity, bone);
  // Its first frame, so that it stands on its bones before it is drawn.
  if (Layer.advance) Layer.advance(fx->instance, 0.0f, fx->pos, fx->orient);
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
  const int h = fx_attach_to_entity("stone-loop.vfx", e->handle, -1, -1, false, false);
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

int fx_add_camera_effect(const char* name, bool hidden) {
  vector p(0, 0, 0);
  matrix m = identity_matrix;
  if (Hits.camera) Hits.camera(&p, &m);
  game_effect* fx = fx_create(name, FX_CAMERA, p, m, !hidden);
  return fx ? fx->handle : -1;
}

int fx_add_spell_homing(int spell, const vector& start, int owner, int target) {
  if (spell < 0 || spell >= MAX_SPELLS) return -1;
  if (spell != 55) return fx_add_homing_effect(Spells[spell].misc_effect, spell, start, owner, target);
  // Spell 55 flies a plain sprite: no instance, its own bitmap.
  game_effect* fx = create_record(FX_SPRITE_BITMAP, FX_HOMING, start, identity_matrix, true, false);
  if (!fx) return -1;
  fx->bits = FXS_SPRITE;
  fx->start = fx->trail = start;
  fx->spell = spell;
  fx->owner = owner;
  fx->entity = target;
  fx->texture = Hits.sprite_bitmap ? Hits.sprite_bitmap(FX_SPRITE_BITMAP) : -1;
  return fx->handle;
}

bool fx_entity_has_kind(int entity, int kind) {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->entity == entity && fx->kind == kind && !(fx->flags & OF_DELETE)) return true;
  return false;
}

namespace {
void kill_where(int entity, bool (*match)(const game_effect*)) {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->entity == entity && match(fx)) fx_kill(fx->handle);
}
}  // namespace

int fx_add_status_effect(living_entity* e, int kind) {
  if (!e || (kind != FX_STATUS_VISUAL && kind != FX_PETRIFY)) return -1;
  if (fx_entity_has_kind(e->handle, FX_PETRIFY)) return -1;
  kill_where(e->handle, [](const game_effect* fx) { return fx->kind == FX_STATUS_VISUAL; });
  const int h = fx_attach_to_entity(Spells[11].hit_effect, e->handle, -1, -1, false, false);
  if (game_effect* fx = fx_get(h)) {
    fx->kind = kind;
    fx->timer.set(FX_STATUS_RENEW_MS);
  }
  return h;
}

int fx_add_status_visual(living_entity* e) {
  if (!e || e->has_status_effect(STATUS_FADED) || fx_entity_has_kind(e->handle, FX_PETRIFY)) return -1;
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->entity == e->handle && fx->kind == FX_STATUS_VISUAL && !(fx->flags & OF_DELETE)) return fx->handle;
  const int h = fx_attach_to_entity("spell-status.vfx", e->handle, -1, -1, false, false);
  if (game_effect* fx = fx_get(h)) {
    fx->kind = FX_STATUS_VISUAL;
    fx->bits |= FXS_RENEWABLE;
    fx->timer.set(FX_STATUS_RENEW_MS);
  }
  return h;
}

int fx_attach_timed_effect(living_entity* e) {
  if (!e) return -1;
  const int h = fx_attach_to_entity(Spells[14].misc_effect, e->handle, -1, -1, false, true);
  if (game_effect* fx = fx_get(h)) {
    fx->spell = 14;
    fx->timer.set(Spells[14].duration * 1000);
  }
  return h;
}

int fx_add_timed_area_effect(const char* name, const vector& pos, const matrix& orient, int entity, int time_ms,
                             float size, float weight) {
  game_effect* fx = fx_create(name, FX_TIMED_AREA, pos, orient, true);
  if (!fx) return -1;
  fx->entity = entity;
  fx->timer.set(time_ms);
  if (size != 0.0f && Hits.avoid_add) fx->avoid = Hits.avoid_add(pos, orient, size, size, weight);
  return fx->handle;
}

int fx_add_rock_eruption(living_entity* e) {
  if (!e) return -1;
  game_effect* fx = fx_create("Titus-RockErrupt.VFX", FX_ROCK_ERUPTION, e->pos, e->orient, true);
  if (!fx) return -1;
  fx->entity = e->handle;
  return fx->handle;
}

int fx_add_item_effect(living_entity* e, const Item_info* item) {
  if (!e || !item || !item->attached_effect) return -1;
  if (item->type != ITEM_WEAPON && !(item->type == ITEM_ARMOR && item->slot == 5)) return -1;
  // The instance is made by the frame when the item shows; the record is
  // made from the item's own effect so that a missing file fails here.
  game_effect* fx = fx_create(item->attached_effect, FX_ITEM, e->pos, e->orient, true);
  if (!fx) return -1;
  if (Layer.release) Layer.release(fx->instance);
  fx->instance = -1;
  fx->entity = e->handle;
  fx->source_item = item;
  return fx->handle;
}

int fx_add_world_effect(const char* name, int flags) {
  game_effect* fx = fx_create(name, FX_PLACED, vector(0, 0, 0), identity_matrix, (flags & 1) == 0);
  if (!fx) return -1;
  if (Hits.world_effect) Hits.world_effect(fx->handle, name);
  return fx->handle;
}

bool fx_get_progress(int handle, float* fraction) {
  game_effect* fx = fx_get(handle);
  if (!fx || fx->instance < 0) {
    if (fraction) *fraction = 1.0f;
    return true;
  }
  const float p = Layer.progress ? Layer.progress(fx->instance) : 1.0f;
  if (fraction) *fraction = p > 1.0f ? 1.0f : p < 0.0f ? 0.0f : p;
  return p >= 1.0f;
}

bool fx_stop_by_owner(int owner) {
  bool any = false;
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->owner == owner) {
      fx_kill(fx->handle);
      any = true;
    }
  return any;
}

void fx_remove_entity_effects(int entity) {
  kill_where(entity, [](const game_effect* fx) {
    return fx->kind == FX_STATUS_VISUAL || (fx->kind == FX_ATTACHED && (fx->bits & FXS_RENEWABLE));
  });
}

void fx_remove_entity_status_effects(int entity) {
  kill_where(entity, [](const game_effect* fx) { return fx->kind == FX_PETRIFY; });
}

void fx_hide_by_name(const char* name) {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (name && strcasecmp(fx->name, name) == 0) {
      fx->visible = false;
      if (fx->instance >= 0 && Layer.show) Layer.show(fx->instance, false);
    }
}

int fx_count_special_spell_effects() {
  int n = 0;
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (!(fx->flags & OF_DELETE) && one_of(fx->spell, {26, 29, 78})) n++;
  return n;
}

void fx_cutscene_hide_others(bool (*in_cutscene_pool)(const char* name)) {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next) {
    if (in_cutscene_pool && in_cutscene_pool(fx->name)) continue;
    fx->flags |= OF_FX_CUTSCENE_HIDDEN;
    if (fx->instance >= 0 && Layer.show) Layer.show(fx->instance, false);
  }
}

void fx_cutscene_show_others() {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next) {
    if (!(fx->flags & OF_FX_CUTSCENE_HIDDEN)) continue;
    fx->flags &= ~OF_FX_CUTSCENE_HIDDEN;
    if (fx->instance >= 0 && Layer.show) Layer.show(fx->instance, fx->visible);
  }
}

void fx_kill_spell_effects() {
  for (game_effect* fx = Active.fx_next; fx && fx != &Active; fx = fx->fx_next)
    if (fx->spell >= 0) fx_kill(fx->handle);
}

void fx_startup() {
  fx_init();
  // Soft round spots: bright at the centre, falling off with the distance
  // to it (255 / 32 a pixel); texture k at (k + 1) / 16 of full strength.
  for (int k = 0; k < FX_FALLOFF_TEXTURES; k++) {
    const float c = (FX_FALLOFF_SIZE - 1) * 0.5f;
    for (int y = 0; y < FX_FALLOFF_SIZE; y++)
      for (int x = 0; x < FX_FALLOFF_SIZE; x++) {
        const float d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c));
        float v = 255.0f - d * 255.0f / 32.0f;
        v = v < 0.0f ? 0.0f : v;
        Falloff_pixels[k][y * FX_FALLOFF_SIZE + x] = static_cast<uint8_t>(v * static_cast<float>(k + 1) / 16.0f);
      }
    Falloff[k] = bm_create(BM_FORMAT_ALPHA8, FX_FALLOFF_SIZE, FX_FALLOFF_SIZE, Falloff_pixels[k]);
  }
}

bool fx_node(int handle, const char* name, vector* pos, matrix* orient) {
  game_effect* fx = fx_get(handle);
  vector local;
  matrix turn;
  if (!fx || fx->instance < 0 || !Layer.node || !Layer.node(fx->instance, name, &local, &turn)) return false;
  // Nodes stand in the effect's own frame.
  vector world;
  local.unrotated(world, fx->orient);
  if (pos) *pos = fx->pos + world;
  if (orient) *orient = fx->orient;
  return true;
}

void fx_show_node(int handle, const char* name, bool visible) {
  game_effect* fx = fx_get(handle);
  if (fx && fx->instance >= 0 && Layer.show_node) Layer.show_node(fx->instance, name, visible);
}

int fx_falloff_texture(int index) { return index >= 0 && index < FX_FALLOFF_TEXTURES ? Falloff[index] : -1; }

namespace {

// Zone statuses: an entity standing in the area of a missile, beam or wall
// carries that zone's status; out of every zone of a status, it loses it.
void zone_statuses(game_effect* const* zones, int count) {
  static const int ids[3] = {14, 15, 17};
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e->type == OBJ_NEUTRAL) continue;
    bool inside[3] = {false, false, false};
    for (int z = 0; z < count; z++) {
      const game_effect* fx = zones[z];
      living_entity* owner = living(fx->owner);
      if (!owner) break;
      if (fx->spell == 35 && fx->made.time_since() < FX_WALL_ZONE_DELAY_MS) continue;
      if (!Hits.avoid_contains || !Hits.avoid_contains(fx->avoid, e->pos, e)) continue;
      const int id = fx->spell == 31 ? 17 : fx->spell == 35 ? 15 : 14;
      inside[id == 14 ? 0 : id == 15 ? 1 : 2] = true;
      if (e->has_status_effect(id)) continue;
      int level = owner->level;
      if (fx->source_item && fx->source_item->use_effect && fx->source_item->use_effect->level > 0)
        level = fx->source_item->use_effect->level;
      float strength = spell_status_strength(id, level);
      if (fx->spell == 26 || fx->spell == 78) strength = -static_cast<float>(level);
      e->apply_status_effect(id, FX_ZONE_STATUS_MS, fx->spell, strength, owner->handle, false);
    }
    for (int k = 0; k < 3; k++)
      if (!inside[k] && e->has_status_effect(ids[k])) e->cure_status_effect(ids[k], true, false);
  }
}

}  // namespace

void fx_frame(float dt, bool paused) {
  if (paused || !Active.fx_next) return;
  game_effect* zones[FX_MAX_ZONES];
  int zone_count = 0;
  for (game_effect* fx = Active.fx_next; fx != &Active; fx = fx->fx_next) {
    if (fx->sound >= 0 && Hits.sound_move) Hits.sound_move(fx->sound, fx->pos);
    if (fx->flags & (OF_DELETE | OF_FX_CUTSCENE_HIDDEN)) continue;
    if (update(fx, dt)) {
      fx->flags |= OF_DELETE;
      continue;
    }
    // Zones past the fourteenth wait for a later frame.
    if (zone_spell(fx->spell) && fx->avoid >= 0 && zone_count < FX_MAX_ZONES) zones[zone_count++] = fx;
  }
  zone_statuses(zones, zone_count);
}

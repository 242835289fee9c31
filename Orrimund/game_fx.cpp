// What puts the game effects on screen: their instances are the effect
// layer's (made by name from the effect list, stepped at the effect's place,
// drawn by the scene pass), the entity code's effect hooks make and end them,
// and a cast move attaches its spell's cast effect.
#include "Orrimund/game_fx.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/spell_hits.h"
#include "Engine/Objects/summons.h"
#include "Engine/ai/avoidance.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/emitter.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/s3d/collide.h"
#include "Orrimund/control/game_camera.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/grclip.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/rendering/scene.h"
#include "Orrimund/player/party.h"
#include "Orrimund/player/party_summon.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/lights.h"
#include "quarn/os/console.h"

namespace {

constexpr int MAX_INSTANCES = 64;

// An element that the layer itself puts on a bone each step (meshes and
// light channels; emitters, particle emitters and nodes follow their bone
// inside the instance).
struct BoneElement {
  int element;
  int bone;
};

struct Slot {
  EffectInstance* inst = nullptr;
  bool visible = true;
  int entity = -1;  // whose skeleton its elements ride on, -1 none
  std::vector<BoneElement> on_bones;
};
Slot Slots[MAX_INSTANCES];

EffectInstance* instance_of(int i) { return i >= 0 && i < MAX_INSTANCES ? Slots[i].inst : nullptr; }

character_instance* skeleton_of(int entity) {
  living_entity* e = entity_from_handle(entity);
  return e && e->instance ? entity_model_character(e->instance) : nullptr;
}

// Every element but the scene's root on the bone of its own name, or all on
// the given bone.
bool bind(int i, int entity, int bone) {
  EffectInstance* inst = instance_of(i);
  character_instance* ch = skeleton_of(entity);
  if (!inst || !ch || !ch->base) return false;
  Slot& slot = Slots[i];
  slot.entity = entity;
  slot.on_bones.clear();
  int bound = 0;
  for (int n = 0; n < effect_instance_elements(inst); n++) {
    const int kind = effect_instance_element(inst, n).kind;
    if (kind == EEK_ITEM || kind == EEK_NONE) continue;
    int b = bone;
    if (b < 0) {
      const char* own = effect_instance_element_name(inst, n);
      if (!own || strcasecmp(own, "Scene Root") == 0) continue;
      b = character_find_bone(ch->base, own);
      if (b < 0) continue;
    }
    if (kind == EEK_MESH || kind == EEK_CHANNEL) slot.on_bones.push_back({n, b});
    else effect_instance_bind_element(inst, n, ch, static_cast<uint32_t>(b));
    bound++;
  }
  return bone >= 0 || bound > 0;
}

// An entity that is gone leaves its effects where they stand: nothing of
// them may reach its skeleton any more.
void unbind(int i) {
  EffectInstance* inst = instance_of(i);
  Slot& slot = Slots[i];
  for (int n = 0; inst && n < effect_instance_elements(inst); n++) {
    const int kind = effect_instance_element(inst, n).kind;
    if (kind == EEK_EMITTER || kind == EEK_VIF || kind == EEK_NODE) effect_instance_bind_element(inst, n, nullptr, 0);
  }
  slot.entity = -1;
  slot.on_bones.clear();
}

int create(const char* name, bool visible) {
  int free_slot = -1;
  for (int i = 0; i < MAX_INSTANCES && free_slot < 0; i++)
    if (!Slots[i].inst) free_slot = i;
  if (free_slot < 0) return -1;
  EffectInstance* inst = effect_create_by_name(name, 0);
  if (!inst) return -1;
  effect_instance_start(inst, false, false);
  Slots[free_slot] = {inst, visible};
  return free_slot;
}

// Mesh and light elements stand where the effect stands; emitters take the
// place as their parent when they throw.
bool advance(int i, float dt, const vector& pos, const matrix& orient) {
  EffectInstance* inst = instance_of(i);
  if (!inst) return true;
  Slot& slot = Slots[i];
  character_instance* ch = slot.entity >= 0 ? skeleton_of(slot.entity) : nullptr;
  if (slot.entity >= 0 && !ch) unbind(i);
  for (int n = 0; n < effect_instance_elements(inst); n++) {
    const int kind = effect_instance_element(inst, n).kind;
    if (kind == EEK_MESH || kind == EEK_CHANNEL) effect_instance_set_element_transform(inst, n, pos, orient);
  }
  // Elements on bones stand where their bone stands in the entity's pose.
  for (const BoneElement& b : slot.on_bones) {
    vector p;
    matrix m;
    ch->get_tag_transform(b.bone, orient, pos, &m, &p);
    effect_instance_set_element_transform(inst, b.element, p, m);
  }
  transform parent;
  parent.pos = pos;
  parent.orient = orient;
  return !effect_instance_update(inst, dt, &parent, 0);
}

void release(int i) {
  if (EffectInstance* inst = instance_of(i)) effect_instance_release(inst);
  if (i >= 0 && i < MAX_INSTANCES) Slots[i] = Slot();
}

// The lights of the effects' channels that shine now, for the level's draw.
int light_channels(LevelDynLight* out, int capacity) {
  int n = 0;
  for (const Slot& slot : Slots) {
    const EffectInstance* inst = slot.inst;
    if (!inst || !slot.visible) continue;
    for (const EffectChannelRecord* r = inst->channels; r && n < capacity;
         r = r->next == inst->channels ? nullptr : r->next) {
      if ((r->flags & ECR_HIDDEN) || r->state.light < 0 || !light_get_enabled(r->state.light)) continue;
      vector at;
      if (!light_get_position(r->state.light, at)) continue;
      const AnimChannelState& st = r->state;
      out[n++] = LevelDynLight{at,   st.red / 255.0f, st.green / 255.0f, st.blue / 255.0f, st.intensity / 256.0f,
                               1,    r->def.radius,   r->def.outer_radius};
    }
  }
  return n;
}


float frame(int i) {
  const EffectInstance* inst = instance_of(i);
  return inst ? inst->frame : 0.0f;
}

float progress(int i) {
  const EffectInstance* inst = instance_of(i);
  if (!inst || inst->length <= 0) return 1.0f;
  return inst->frame / static_cast<float>(inst->length);
}

void show(int i, bool visible) {
  if (i >= 0 && i < MAX_INSTANCES) Slots[i].visible = visible;
}

bool node(int i, const char* name, vector* pos, matrix* orient) {
  const EffectInstance* inst = instance_of(i);
  const int n = inst ? effect_instance_find_element(inst, name) : -1;
  if (n < 0) return false;
  effect_instance_get_element_transform(inst, n, pos, orient);
  return true;
}

void stop(int i) {
  if (EffectInstance* inst = instance_of(i)) effect_instance_stop(inst);
}

int longest_life_ms(int i) {
  const EffectInstance* inst = instance_of(i);
  return inst ? static_cast<int>(effect_instance_time_left(inst) * 1000.0f) : 0;
}

void show_node(int i, const char* name, bool visible) {
  EffectInstance* inst = instance_of(i);
  const int n = inst ? effect_instance_find_element(inst, name) : -1;
  if (n >= 0) effect_instance_show_element(inst, n, visible);
}

// A plain sprite: its bitmap at its place, drawn facing the screen.
void draw_sprite(const game_effect* fx) {
  GrVertex v;
  if (gr_3d_rotate_point(v, fx->pos) & CLIP_BEHIND) return;
  if (!(gr_3d_project_point(v) & PF_PROJECTED)) return;
  int w = 0, h = 0;
  bm_get_info(fx->texture, &w, &h);
  if (w <= 0) return;
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(fx->texture, static_cast<int>(v.sx) - w / 2 - gr_screen.offset_x,
            static_cast<int>(v.sy) - h / 2 - gr_screen.offset_y, Gr_preset[1]);
}

void draw(int handle) {
  const game_effect* fx = fx_get(handle);
  if (fx && fx->instance < 0 && (fx->bits & FXS_SPRITE) && fx->texture >= 0) {
    draw_sprite(fx);
    return;
  }
  if (!fx || fx->instance < 0 || fx->instance >= MAX_INSTANCES || !Slots[fx->instance].visible) return;
  effect_instance_render_all(Slots[fx->instance].inst, 0);
}

int scene_effects(SceneEffect* out, int capacity) {
  int n = 0;
  for (game_object* o = objects_first(); o && n < capacity; o = objects_next(o)) {
    if (o->type != OBJ_GAME_EFFECT || (o->flags & OF_DELETE)) continue;
    const game_effect* fx = static_cast<const game_effect*>(o);
    const bool sprite = fx->instance < 0 && (fx->bits & FXS_SPRITE) && fx->texture >= 0;
    if (!sprite && (fx->instance < 0 || fx->instance >= MAX_INSTANCES || !Slots[fx->instance].visible)) continue;
    // Emitters throw their items well past the effect's place: a loose
    // bound, and no owner, so the effect is culled by its own sphere.
    out[n++] = SceneEffect{fx->handle, fx->pos, 6.0f, false, -1, draw};
  }
  return n;
}

// ---- the entity code's hooks --------------------------------------------------------

int attach(living_entity* e, const char* name, int) { return e ? fx_attach_to_entity(name, e->handle, -1, -1, false, false) : -1; }
int place(const char* name, const vector& pos) { return fx_add_effect(name, pos, identity_matrix, true); }
bool alive(int handle) {
  const game_effect* fx = fx_get(handle);
  return fx && !(fx->flags & OF_DELETE);
}

// The cast effect of a cast move rides on its caster; a missile spell
// remembers where the effect holds the missile.
int cast_effect(living_entity* e, int spell) {
  if (!e || spell < 0 || spell >= MAX_SPELLS || !Spells[spell].cast_effect) return -1;
  const int h = fx_attach_to_entity(Spells[spell].cast_effect, e->handle, -1, -1, false, true);
  game_effect* fx = fx_get(h);
  if (!fx) return -1;
  fx->bits |= FXS_CAST;
  fx->spell = spell;
  fx->move = e->current_move_id;
  fx->owner = e->handle;
  if (spell_is_missile(spell)) spell_record_launch_point(e, h);
  return h;
}

// Rectangles along the orientation's forward and side axes.
int avoid_add(const vector& centre, const matrix& orient, float half_length, float half_width, float weight) {
  // A square stands round its centre; a longer area runs along its leg.
  vector points[2] = {centre - orient.forward * half_length, centre + orient.forward * half_length};
  AvoidShape shape{};
  shape.kind = AA_TYPE_RECT;
  shape.count = half_length == half_width ? 1 : 2;
  shape.points = shape.count == 1 ? &centre : points;
  shape.size_x = 2.0f * half_width;
  shape.size_y = 2.0f * half_length;
  shape.weight = weight;
  shape.owner = -1;
  return aa_add(shape);
}

// ---- developers and tests ---------------------------------------------------------

// The nearest living creature the hero is hostile to, else none.
living_entity* nearest_foe(living_entity* hero) {
  living_entity* best = nullptr;
  float best_d = 0.0f;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e == hero || (e->state & ES_DEAD) || !hero->is_hostile_to(e)) continue;
    const float d = (e->pos - hero->pos).length_squared();
    if (!best || d < best_d) best = e, best_d = d;
  }
  return best;
}

// A cast ordered as the hot keys order one: the controlled hero casts the
// spell at the nearest foe (an offensive spell) or at itself.
ConsoleCommand cc_cast("cast", "Orders the controlled hero to cast a spell (number) at a foe or itself", [] {
  console_get_arg(ARG_INT);
  const int spell = Console_arg.int_value;
  if (!Console_run) return;
  living_entity* hero = Selected_entity;
  if (!hero || spell < 0 || spell >= MAX_SPELLS) {
    console_printf("No cast of spell %d\n", spell);
    return;
  }
  living_entity* target = (Spells[spell].flags & SPELL_OFFENSIVE) ? nearest_foe(hero) : hero;
  if (!target) {
    console_printf("No target for spell %d\n", spell);
    return;
  }
  ai_queue_action4(&hero->ai, spell, target->handle, 999999);
  console_printf("%s casts %s at %s\n", hero->get_name(), Spells[spell].name, target->get_name());
});

ConsoleCommand cc_effects("effects", "Prints the game effects in play", [] {
  if (!Console_run) return;
  int n = 0;
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    if (o->type != OBJ_GAME_EFFECT) continue;
    const game_effect* fx = static_cast<const game_effect*>(o);
    console_printf("Effect %s kind %d spell %d at %.2f %.2f %.2f\n", fx->name, fx->kind, fx->spell, fx->pos.x,
                   fx->pos.y, fx->pos.z);
    n++;
  }
  console_printf("%d effects\n", n);
});

ConsoleCommand cc_hit_points("hit_points", "Prints the hit points of every living entity", [] {
  if (!Console_run) return;
  living_entity* list = entity_live_list();
  int n = 0;
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e), n++)
    console_printf("HP %s %.1f of %d state 0x%x ai flags 0x%x at %.2f %.2f %.2f\n", e->get_name(), e->hp,
                   e->get_max_points(0), static_cast<unsigned>(e->state), static_cast<unsigned>(e->ai.flags), e->pos.x,
                   e->pos.y, e->pos.z);
  console_printf("Hit points of %d entities\n", n);
});

}  // namespace

void game_fx_install() {
  FxLayer l;
  l.create = create;
  l.advance = advance;
  l.release = release;
  l.frame = frame;
  l.progress = progress;
  l.show = show;
  l.node = node;
  l.stop = stop;
  l.longest_life_ms = longest_life_ms;
  l.show_node = show_node;
  l.bind = bind;
  fx_set_layer(l);
  fx_init();
  spell_launch_points_reset();

  FxHits fh = fx_hits();
  fh.hit = spell_fx_hit;
  fh.sound_move = [](int emitter, const vector& p) { snd_emitter_update(emitter, &p, nullptr, 1.0f); };
  fh.sound_stop = [](int emitter, int ms) { snd_emitter_delete(emitter, ms); };
  fh.camera = [](vector* p, matrix* m) {
    float fov = 0.0f;
    game_camera.get_view(p, m, &fov);
    return true;
  };
  fh.avoid_add = avoid_add;
  fh.avoid_remove = aa_remove;
  fh.avoid_contains = [](int area, const vector& p, const living_entity* e) {
    return area >= 0 && aa_point_in_handle(p, -1, e ? e->size_class() : 0, area);
  };
  fh.sprite_bitmap = [](const char* name) { return bm_load(name); };
  fh.sprite_arrived = [](living_entity* owner) {
    if (owner) combat_entity_step(owner);
  };
  fx_set_hits(fh);

  SpellCastHooks sc;
  sc.sound = [](GameSound* snd, const vector* at) {
    gamesound_ensure_loaded(snd, true);
    if (snd->index < 0) return;
    if (at) gamesound_play_3d(snd->index, at);
    else gamesound_play(snd->index, 1.0f, 0.0f);
  };
  sc.emitter = [](GameSound* snd, const vector& at) {
    gamesound_ensure_loaded(snd, true);
    if (snd->index < 0) return -1;
    const int e = snd_emitter_create(snd->index, 100, 0);
    if (e >= 0) snd_emitter_update(e, &at, nullptr, 1.0f);
    return e;
  };
  sc.ground_below = [](const vector& p) {
    CollisionQuery q{};
    q.start = p + vector(0, 1.0f, 0);
    q.delta = vector(0, -4.0f, 0);
    CollisionResult r{};
    collide_level(&q, &r);
    return r.count > 0;
  };
  sc.path_free = [](const living_entity*, const vector& from, const vector& to) {
    CollisionQuery q{};
    q.start = from + vector(0, 0.5f, 0);
    q.delta = to - from;
    CollisionResult r{};
    collide_level(&q, &r);
    return r.count <= 0;
  };
  spell_cast_set_hooks(sc);

  SpellHitHooks sh = spell_hits_hooks();
  sh.play_sound = spell_play_sound;
  sh.party_standing = [] {
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (living_entity* e = member_entity(p); e && !(e->state & ES_DOWN)) return true;
    return party_first() == nullptr;
  };
  spell_hits_set_hooks(sh);

  SummonHooks sm;
  sm.join_party = party_summon_join;
  sm.lend_hit_points = party_summon_lend;
  sm.camera_to = [](living_entity* e) { game_camera.set_target(e ? e->handle : -1); };
  summons_set_hooks(sm);

  EntityEffectHooks h = entity_effects();
  h.attach = attach;
  h.place = place;
  h.alive = alive;
  h.kill = fx_kill;
  h.remove_status_visuals = [](living_entity* e) { fx_remove_entity_effects(e ? e->handle : -1); };
  h.attach_timed = [](living_entity* e) { return fx_attach_timed_effect(e); };
  // Kinds 5 and 6 are the fades of a status; 9 and 10 its visuals.
  h.attach_status = [](living_entity* e, int kind) {
    if (kind == FX_FADE_OUT || kind == FX_FADE_IN) return fx_add_fade(e, Spells[11].hit_effect, kind == FX_FADE_IN);
    return fx_add_status_effect(e, kind);
  };
  h.has_status_kind = [](const living_entity* e, int kind) { return e && fx_entity_has_kind(e->handle, kind); };
  h.item_effect = fx_add_item_effect;
  entity_set_effect_hooks(h);

  EntityGameHooks g = entity_game();
  g.cast_effect = cast_effect;
  entity_set_game_hooks(g);

}

int game_fx_scene_effects(SceneEffect* out, int capacity) { return scene_effects(out, capacity); }
int game_fx_light_channels(LevelDynLight* out, int capacity) { return light_channels(out, capacity); }

#include "Engine/Objects/spell_cast.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/spell_hits.h"
#include "Engine/Objects/summons.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"

namespace {

SpellCastHooks Hooks;

bool one_of(int s, std::initializer_list<int> list) {
  for (int v : list)
    if (v == s) return true;
  return false;
}

// Spells whose outcome lands at once on the target (or the caster).
bool immediate(int s) {
  return one_of(s, {0, 1, 2, 6, 7, 8, 11, 13, 14, 15, 16, 17, 19, 33, 34, 36, 37, 60, 61, 62, 63, 64, 65, 66, 76});
}
bool missile(int s) { return one_of(s, {24, 25, 26, 32, 77, 78, 91}); }
bool party_spell(int s) { return one_of(s, {4, 21, 22}); }

living_entity* living(int handle) {
  living_entity* e = entity_from_handle(handle);
  return e && obj_is_living_entity(e) ? e : nullptr;
}

const char* hit_name(int s) { return s >= 0 && s < MAX_SPELLS ? Spells[s].hit_effect : nullptr; }

// A player character's party spell reaches every player character that
// lives; another caster's reaches the living of its own team, and itself.
template <typename F>
void for_party_of(living_entity* caster, F&& each) {
  bool self = false;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e->state & ES_DEAD) continue;
    const bool member = caster->type == OBJ_PLAYER ? e->type == OBJ_PLAYER
                                                   : e->type != OBJ_PLAYER && e->get_team() == caster->get_team();
    if (!member) continue;
    if (e == caster) self = true;
    each(e);
  }
  if (!self && caster->type != OBJ_PLAYER && !(caster->state & ES_DEAD)) each(caster);
}

void attach_outcome(int fx, const SpellOutcome& o) {
  if (game_effect* g = fx_get(fx)) g->outcome = spell_outcome_store(o);
}

// Timed and delayed hits keep the source kind their hit is to carry.
int timed_hit(int spell, int owner, int target, int ms, const vector& at, int source) {
  const int fx = fx_add_timed_hit(hit_name(spell), spell, owner, target, ms, at);
  if (game_effect* g = fx_get(fx)) g->source = source;
  return fx;
}

int delayed_hit(int spell, int owner, int target, int ms, const vector& at, int source) {
  const int fx = timed_hit(spell, owner, target, ms, at, source);
  if (game_effect* g = fx_get(fx)) g->kind = FX_DELAYED_HIT;
  return fx;
}

SpellHitRecord record_of(const SpellRelease& r) {
  SpellHitRecord h;
  h.spell = r.spell;
  h.caster = r.caster;
  h.has_pos = r.has_pos;
  h.pos = r.pos;
  h.has_orient = r.has_orient;
  h.orient = r.orient;
  h.source = r.source;
  h.item = r.item;
  h.outcome = r.outcome;
  return h;
}

// The deciding side applies a release itself and sends the same record.
void release_to_peers(const SpellRelease& r, const living_entity* caster, const living_entity* target) {
  spell_hit(r);
  if (!Hooks.send) return;
  uint8_t buf[RLS_SPL_SIZE];
  rls_spl_write(r, caster->net_handle, target ? target->net_handle : -1, buf);
  Hooks.send(buf, RLS_SPL_SIZE);
}

void put32(uint8_t*& p, uint32_t v) {
  for (int i = 0; i < 4; i++) *p++ = static_cast<uint8_t>(v >> (8 * i));
}
void putf(uint8_t*& p, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(p, v);
}
uint32_t get32(const uint8_t*& p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(*p++) << (8 * i);
  return v;
}
float getf(const uint8_t*& p) {
  const uint32_t v = get32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

}  // namespace

void spell_cast_set_hooks(const SpellCastHooks& hooks) { Hooks = hooks; }

// ---- RLS_SPL -------------------------------------------------------------------------

void rls_spl_write(const SpellRelease& r, int32_t caster_net, int32_t target_net, uint8_t out[RLS_SPL_SIZE]) {
  uint8_t* p = out;
  put32(p, static_cast<uint32_t>(caster_net));
  put32(p, static_cast<uint32_t>(r.spell));
  put32(p, static_cast<uint32_t>(target_net));
  *p++ = static_cast<uint8_t>((r.has_pos ? 1 : 0) | (r.has_orient ? 2 : 0));
  *p++ = static_cast<uint8_t>(r.source);
  const int item = r.item ? static_cast<int>(r.item - Item_infos) : -1;
  *p++ = static_cast<uint8_t>(item & 0xFF);
  *p++ = static_cast<uint8_t>((item >> 8) & 0xFF);
  for (int i = 0; i < 3; i++) putf(p, r.has_pos ? r.pos[i] : 0.0f);
  for (int i = 0; i < 9; i++) putf(p, r.has_orient ? r.orient.m(i) : 0.0f);
  for (int i = 0; i < 3; i++) putf(p, r.release_pos[i]);
  spell_outcome_write(r.outcome, p);
}

bool rls_spl_read(const uint8_t* payload, int size, RlsSpl* out) {
  if (!payload || size != RLS_SPL_SIZE) return false;
  const uint8_t* p = payload;
  RlsSpl m;
  SpellRelease& r = m.release;
  m.caster_net = static_cast<int32_t>(get32(p));
  r.spell = static_cast<int32_t>(get32(p));
  m.target_net = static_cast<int32_t>(get32(p));
  const uint8_t flags = *p++;
  r.source = *p++;
  m.item_index = static_cast<int16_t>(p[0] | p[1] << 8);
  p += 2;
  if (r.spell < 0 || r.spell >= MAX_SPELLS || r.source > SS_WEAK || (flags & ~3) != 0) return false;
  if (m.target_net < -1 || m.item_index < -1 || m.item_index >= Num_item_infos) return false;
  r.has_pos = (flags & 1) != 0;
  r.has_orient = (flags & 2) != 0;
  float f[15];
  for (float& v : f) {
    v = getf(p);
    if (!std::isfinite(v)) return false;
  }
  r.pos = {f[0], f[1], f[2]};
  for (int i = 0; i < 9; i++) r.orient.m(i) = f[3 + i];
  r.release_pos = {f[12], f[13], f[14]};
  r.outcome = spell_outcome_read(p);
  const int layout = r.outcome.layout();
  if (layout > OL_FIVE_STATUSES && layout != OUTCOME_EMPTY) return false;
  r.item = m.item_index >= 0 ? &Item_infos[m.item_index] : nullptr;
  *out = m;
  return true;
}

bool rls_spl_received(const uint8_t* payload, int size, living_entity* (*by_net_id)(int id)) {
  RlsSpl m;
  if (!rls_spl_read(payload, size, &m) || !by_net_id) return false;
  living_entity* caster = by_net_id(m.caster_net);
  if (!caster) return false;
  living_entity* target = m.target_net >= 0 ? by_net_id(m.target_net) : nullptr;
  if (m.target_net >= 0 && !target) return false;
  m.release.caster = caster->handle;
  m.release.target = target ? target->handle : -1;
  spell_hit(m.release);
  return true;
}

// ---- sounds, launch points and the small effect operations --------------------------

namespace {

struct LaunchPoint {
  int32_t effect = -1;
  matrix orient{};
  vector pos{0, 0, 0};
};
LaunchPoint Launch[MAX_LAUNCH_POINTS];

void play(GameSound& snd, int spell, const vector* at) {
  if (!Hooks.sound || !snd.file_name) return;
  if (spell >= 50 && spell <= 53) {
    Hooks.sound(&snd, nullptr);
    snd.index = -1;  // registered anew next time
    return;
  }
  Hooks.sound(&snd, at);
}

bool valid_spell(int s) { return s >= 0 && s < MAX_SPELLS; }

// The running cast effect of a caster's cast of a spell, -1 none.
int running_cast_effect(const living_entity* caster, int spell) {
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    if (o->type != OBJ_GAME_EFFECT || (o->flags & OF_DELETE)) continue;
    const game_effect* fx = static_cast<const game_effect*>(o);
    if ((fx->bits & FXS_CAST) && fx->owner == caster->handle && fx->spell == spell) return fx->handle;
  }
  return -1;
}

int add_avoid(const vector& centre, const matrix& orient, float half_length, float half_width) {
  const FxHits& h = fx_hits();
  return h.avoid_add ? h.avoid_add(centre, orient, half_length, half_width, 0.5f) : -1;
}

}  // namespace

bool spell_is_missile(int spell) { return missile(spell); }

void spell_play_cast_sound(int spell, const living_entity* e) {
  if (valid_spell(spell) && e) play(Spells[spell].cast_sound, spell, &e->pos);
}
void spell_play_sound(int spell, const vector& at) {
  if (valid_spell(spell)) play(Spells[spell].hit_sound, spell, &at);
}
void spell_play_misc_sound(int spell, const vector& at) {
  if (valid_spell(spell)) play(Spells[spell].misc_sound, spell, &at);
}

void spell_launch_points_reset() {
  for (LaunchPoint& l : Launch) l = LaunchPoint();
}

bool spell_record_launch_point(living_entity* caster, int cast_effect) {
  if (!caster || !fx_get(cast_effect)) return false;
  vector p;
  matrix m;
  if (!fx_node(cast_effect, "$missile", &p, &m)) return false;
  for (LaunchPoint& l : Launch) {
    if (l.effect != -1) continue;
    l = {cast_effect, m, p};
    return true;
  }
  // A full table forgets the effects that are gone; this cast keeps nothing.
  for (LaunchPoint& l : Launch)
    if (!fx_get(l.effect)) l = LaunchPoint();
  return false;
}

int spell_take_launch_point(int cast_effect, vector* pos, matrix* orient) {
  for (int i = 0; i < MAX_LAUNCH_POINTS; i++) {
    if (Launch[i].effect != cast_effect || cast_effect == -1) continue;
    if (pos) *pos = Launch[i].pos;
    if (orient) *orient = Launch[i].orient;
    Launch[i] = LaunchPoint();
    return i;
  }
  return -1;
}

int spell_spawn_hit_effect(int spell, int cast_effect, living_entity* caster, living_entity* target,
                           const vector* pos, const matrix* orient) {
  if (!valid_spell(spell) || !Spells[spell].hit_effect) return -1;
  vector p;
  matrix m;
  if (target && pos && orient) {
    p = *pos, m = *orient;
  } else if (target && spell_take_launch_point(cast_effect, &p, &m) >= 0) {
  } else {
    return -1;
  }
  const int h = target ? fx_add_homing_effect(Spells[spell].hit_effect, spell, p, caster ? caster->handle : -1,
                                              target->handle)
                       : -1;
  if (h >= 0) spell_play_misc_sound(spell, p);
  return h;
}

void spell_create_missile(living_entity* owner, int effect, const vector& start, float, const matrix& orient) {
  game_effect* fx = fx_get(effect);
  if (!fx) return;
  fx->kind = FX_BEAM;
  fx->spell = 26;
  fx->owner = owner ? owner->handle : -1;
  fx->start = start;
  fx->avoid = add_avoid(start, orient, 1.0f, 1.0f);
}

int spell_create_beam(int spell, living_entity* caster, const vector& toward, float, vector* end_a, vector* end_b) {
  if (!caster || !valid_spell(spell) || !Spells[spell].hit_effect) return -1;
  vector d = toward - caster->pos;
  d.y = 0.0f;
  const matrix m = d.length() > 0.0f ? matrix::from_forward(d * (1.0f / d.length())) : caster->orient;
  const int h = fx_add_effect(Spells[spell].hit_effect, caster->pos, m, true);
  game_effect* fx = fx_get(h);
  if (!fx) return -1;
  fx->kind = FX_BEAM;
  fx->spell = spell;
  fx->owner = caster->handle;
  // Two runs of ground nodes out from the middle; each ends at its last
  // node over ground, and every node from the first one past the edge on
  // is hidden.
  vector ends[2] = {caster->pos, caster->pos};
  const int runs[2][2] = {{7, 1}, {8, 13}};
  for (int r = 0; r < 2; r++) {
    bool cut = false;
    const int step = runs[r][1] > runs[r][0] ? 1 : -1;
    for (int n = runs[r][0];; n += step) {
      char name[16];
      std::snprintf(name, sizeof name, "$ground%02d", n);
      vector p;
      matrix nm;
      if (fx_node(h, name, &p, &nm)) {
        if (!cut && (!Hooks.ground_below || Hooks.ground_below(p))) ends[r] = p;
        else cut = true;
        if (cut) fx_show_node(h, name, false);
      }
      if (n == runs[r][1]) break;
    }
  }
  const vector mid = (ends[0] + ends[1]) * 0.5f;
  const float length = (ends[1] - ends[0]).length();
  fx->avoid = add_avoid(mid, m, length * 0.5f + 1.5f, 1.5f);
  if (Hooks.emitter && Spells[spell].hit_sound.file_name) fx->sound = Hooks.emitter(&Spells[spell].hit_sound, mid);
  if (end_a) *end_a = ends[0];
  if (end_b) *end_b = ends[1];
  return h;
}

int spell_create_wall(living_entity* owner, const vector& pos, float, const matrix& orient) {
  if (!Spells[35].hit_effect) return -1;
  const int h = fx_add_effect(Spells[35].hit_effect, pos, orient, true);
  game_effect* fx = fx_get(h);
  if (!fx) return -1;
  fx->kind = FX_BEAM;
  fx->spell = 35;
  fx->owner = owner ? owner->handle : -1;
  fx->avoid = add_avoid(pos, orient, 1.65f, 1.65f);
  return h;
}

matrix spell_aim_free_side(const living_entity* e, float distance) {
  if (!e) return identity_matrix;
  matrix sides[4];
  bool free_side[4];
  int free_count = 0;
  for (int k = 0; k < 4; k++) {
    const float a = k * 1.5707963f;
    const vector f = e->orient.forward * std::cos(a) + e->orient.right * std::sin(a);
    sides[k] = matrix::from_forward(f);
    free_side[k] = !Hooks.path_free || Hooks.path_free(e, e->pos, e->pos + f * distance);
    free_count += free_side[k];
  }
  int pick = static_cast<int>(frand() * static_cast<float>(free_count ? free_count : 4));
  for (int k = 0; k < 4; k++) {
    if (free_count && !free_side[k]) continue;
    if (pick-- == 0) return sides[k];
  }
  return sides[0];
}

// ---- releases --------------------------------------------------------------------------

bool spell_hit(const SpellRelease& r) {
  const int s = r.spell;
  if (s < 0 || s >= MAX_SPELLS) return false;
  living_entity* caster = living(r.caster);
  if (!caster) return false;
  living_entity* target = r.target >= 0 ? living(r.target) : nullptr;
  if (r.target >= 0 && !target) return false;
  const SpellHitRecord rec = record_of(r);
  const bool needs_target = (Spells[s].flags & SPELL_TARGET_CHARACTER) != 0;
  bool found = false;
  vector at = caster->pos;
  if (one_of(s, {12, 101, 103})) {
    if (!target) return false;
    attach_outcome(timed_hit(s, r.caster, r.target, 1000, target->pos, r.source), r.outcome);
    at = target->pos, found = true;
  } else if (s == 23 || s == 30) {
    if (r.item && Spells[s].cast_effect) fx_attach_to_entity(Spells[s].cast_effect, caster->handle, -1, -1, false, true);
    fx_add_area_effect(hit_name(s), s, r.caster, caster->pos, &r.outcome);
    found = true;
  } else if (one_of(s, {28, 79, 100})) {
    // Each of the four carries only its own target's take-hold bit.
    for (int k = 0; k < 4; k++) {
      living_entity* t = living(r.outcome.i(1 + k));
      if (!t) continue;
      SpellOutcome own = r.outcome;
      own.w[0] &= ~(0x3FFFFFu << 7);
      if (r.outcome.took_hold(k)) own.set_took_hold(k);
      attach_outcome(delayed_hit(s, r.caster, t->handle, 500 * k, t->pos, r.source), own);
    }
    found = true;
  } else if (s == 29 || s == 31) {
    vector a, b;
    attach_outcome(spell_create_beam(s, caster, r.has_pos ? r.pos : caster->pos + caster->orient.forward, 0.0f, &a, &b),
                   r.outcome);
    found = true;
  } else if (s == 35) {
    attach_outcome(spell_create_wall(caster, r.has_pos ? r.pos : caster->pos, 0.0f,
                                     r.has_orient ? r.orient : caster->orient),
                   r.outcome);
    at = r.has_pos ? r.pos : caster->pos, found = true;
  } else if (s == 102) {
    attach_outcome(timed_hit(s, r.caster, -1, 3350, caster->pos, r.source), r.outcome);
    found = true;
  } else if (missile(s)) {
    if (!target) return false;
    if (r.source == SS_WEAPON_SPECIAL || r.source == SS_ARMOUR_SPECIAL) {
      target->apply_spell_effect(rec);
    } else {
      attach_outcome(fx_add_homing_effect(hit_name(s), s, r.release_pos, r.caster, r.target), r.outcome);
    }
    at = target->pos, found = true;
  } else if (immediate(s)) {
    living_entity* t = target ? target : (needs_target ? nullptr : caster);
    if (t) {
      t->apply_spell_effect(rec);
      at = t->pos, found = true;
    }
  } else if (party_spell(s)) {
    for_party_of(caster, [&](living_entity* e) { e->apply_spell_effect(rec); });
    found = true;
  } else if (s >= 38 && s <= 49) {
    summon_creature(caster, r.has_pos ? r.pos : caster->pos, s);
  } else if (s == 54) {
    summon_end_current();
  }
  if (found) spell_play_sound(s, at);
  return found;
}

void spell_fx_hit(int spell, living_entity* owner, living_entity* target, const vector* point,
                  const Item_info* item, const SpellOutcome* outcome, int source) {
  if (!target) return;
  if (outcome) {
    SpellHitRecord rec;
    rec.spell = spell;
    rec.caster = owner ? owner->handle : -1;
    rec.has_pos = point != nullptr;
    if (point) rec.pos = *point;
    rec.source = source;
    rec.item = item;
    rec.outcome = *outcome;
    target->apply_spell_effect(rec);
  } else if (owner) {
    target->get_hit_by_spell(spell, owner->handle, point, nullptr, source, item, 0.0f, true);
  }
}

void spell_cast(living_entity* caster, int spell, int target, const vector* pos, const matrix* orient,
                const Item_info* item, int source) {
  if (!caster || spell < 0 || spell >= MAX_SPELLS) return;
  if (game_is_networked()) {
    SpellRelease r;
    r.caster = caster->handle;
    r.spell = spell;
    r.target = target;
    r.has_pos = pos != nullptr;
    if (pos) r.pos = *pos;
    r.has_orient = orient != nullptr;
    if (orient) r.orient = *orient;
    r.item = item;
    r.source = source;
    r.release_pos = caster->pos;
    if (missile(spell) && !item) {
      // A missile leaves from where the cast effect holds it.
      matrix m;
      spell_take_launch_point(running_cast_effect(caster, spell), &r.release_pos, &m);
    }
    r.outcome = spell_compute_outcome(caster, spell, target, item, source, 0.0f);
    if (spell == 101 && r.outcome.layout() == OL_FIVE_STATUSES) r.spell = 103;
    release_to_peers(r, caster, living(target));
    return;
  }
  // An item's charge casts as kind 5; the full-level, skill and special
  // kinds stay as given.
  const int kind = item && !one_of(source, {SS_WEAPON_SPECIAL, SS_ARMOUR_SPECIAL, SS_SKILL_CAST, SS_FULL})
                       ? SS_ITEM_CHARGE
                       : source;
  if (charinfo_find_summoned_type(spell) >= 0) summon_creature(caster, pos ? *pos : caster->pos, spell);
  living_entity* t = living(target);
  const int c = caster->handle;
  auto hit = [&](living_entity* e, int s) { e->get_hit_by_spell(s, c, pos, orient, kind, item, 0.0f, true); };
  vector at = caster->pos;
  if (spell >= 104 && spell <= 107) {
    // Centred on the first hero.
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->type == OBJ_PLAYER && e->character && e->character->kind == 0) {
        at = e->pos;
        break;
      }
  }
  bool sound = true;
  const int s = spell;
  if (one_of(s, {0, 1, 2, 6, 7, 8, 11, 13, 15, 16, 17, 19, 33, 34, 36, 37, 76, 80, 85, 86, 89, 90})) {
    if (!t) return;
    if (s == 17) fx_add_spell_hit_effect(s, c, target);
    hit(t, s);
    at = t->pos;
  } else if (s == 14) {
    hit(caster, s);
  } else if (s == 72) {
    if (!t) return;
    for (int k : {7, 8, 67}) hit(t, k);
    at = t->pos;
  } else if (party_spell(s)) {
    for_party_of(caster, [&](living_entity* e) { hit(e, s); });
  } else if (one_of(s, {3, 5, 12, 84, 87, 101})) {
    if (!t) return;
    const int fx = timed_hit(s, c, target, s == 3 || s == 5 ? 6250 : 1000, t->pos, kind);
    if (game_effect* g = fx_get(fx); g && (s == 3 || s == 5)) g->orient = spell_aim_free_side(t, 4.5f);
    at = t->pos;
  } else if (s == 102) {
    timed_hit(s, c, -1, 3350, caster->pos, kind);
  } else if (one_of(s, {28, 79, 100})) {
    int32_t picked[4];
    spell_pick_random_targets(picked, caster, s);
    for (int k = 0; k < 4; k++)
      if (living_entity* e = living(picked[k])) {
        const int fx = delayed_hit(s, c, e->handle, 500 * k, e->pos, kind);
        if (game_effect* g = fx_get(fx)) g->orient = spell_aim_free_side(e, 4.24f);
      }
  } else if (one_of(s, {23, 30, 88})) {
    if (item && Spells[s].cast_effect) fx_attach_to_entity(Spells[s].cast_effect, c, -1, -1, false, true);
    if (game_effect* g = fx_get(fx_add_area_effect(hit_name(s), s, c, caster->pos, nullptr))) {
      g->source = kind;
      g->source_item = item;
    }
  } else if (missile(s)) {
    if (!t) return;
    if (kind == SS_WEAPON_SPECIAL || kind == SS_ARMOUR_SPECIAL) {
      hit(t, s);
    } else {
      vector from = caster->pos + vector{0, 1.2f, 0};
      matrix m;
      if (kind != SS_ITEM_CHARGE) spell_take_launch_point(running_cast_effect(caster, s), &from, &m);
      if (game_effect* g = fx_get(fx_add_homing_effect(hit_name(s), s, from, c, target))) {
        g->source = kind;
        g->source_item = item;
      }
    }
    at = t->pos;
  } else if (s == 29 || s == 31) {
    vector a, b;
    spell_create_beam(s, caster, pos ? *pos : (t ? t->pos : caster->pos + caster->orient.forward), 0.0f, &a, &b);
    at = pos ? *pos : caster->pos;
  } else if (s == 35) {
    at = pos ? *pos : (t ? t->pos : caster->pos);
    spell_create_wall(caster, at, 0.0f, orient ? *orient : caster->orient);
  } else if (s == 54) {
    summon_end_current();
  } else if (s >= 104 && s <= 107) {
    const vector centre = at;
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      const bool creature = (e->type == OBJ_CREATURE || e->type == OBJ_BOSS) && (e->pos - centre).length() < 100.0f;
      const bool member = (s == 105 || s == 107) && e->type == OBJ_PLAYER && !(e->state & ES_SUMMONED);
      if (creature || member) {
        if (s == 104) e->get_hit_by_spell(s, c, &centre, &caster->orient, kind, item, 0.0f, true);
        else hit(e, s);
      }
    }
  } else if (s >= 38 && s <= 53) {
    sound = s >= 50;
  } else if (one_of(s, {81, 82}) || (s >= 92 && s <= 99)) {
    sound = false;
  } else {
    sound = false;
  }
  if (sound) spell_play_sound(s, at);
}

// ---- specials of items and abilities ------------------------------------------------

namespace {

void release_special(living_entity* owner, living_entity* other, int s, int kind, const Item_info* item,
                     float damage) {
  if (s < 0 || s >= MAX_SPELLS || !other) return;
  living_entity* on = (Spells[s].flags & SPELL_BENEFICIAL) ? owner : other;
  const vector place = on->pos + vector{0, 1.2f, 0};
  if (game_is_networked()) {
    SpellRelease r;
    r.caster = owner->handle;
    r.spell = s;
    r.target = on->handle;
    r.has_pos = true;
    r.pos = place;
    r.item = item;
    r.source = kind;
    r.release_pos = owner->pos;
    r.outcome = spell_compute_outcome(owner, s, on->handle, item, kind, damage);
    release_to_peers(r, owner, on);
  } else if (Spells[s].flags & SPELL_HIT_ONLY) {
    on->get_hit_by_spell(s, owner->handle, &place, &on->orient, kind, item, damage, false);
    spell_play_sound(s, place);
  } else {
    spell_cast(owner, s, on->handle, &place, &on->orient, item, kind);
  }
}

const Item_info* equipped(const living_entity* e, int slot) {
  const item_instance* it = e->equipment[slot];
  return it ? it->info : nullptr;
}

}  // namespace

void spell_apply_on_hit_spells(living_entity* attacker, living_entity* victim, float damage) {
  if (!attacker || !victim) return;
  if (const Character_info* c = attacker->character)
    if (c->special_spell != 65535 && frand() < c->special_chance)
      release_special(attacker, victim, c->special_spell, SS_TYPE_SPECIAL, nullptr, damage);
  const Item_info* w = equipped(attacker, EQ_WEAPON);
  if (w && w->type == ITEM_WEAPON && w->weapon.triggered && frand() < w->weapon.triggered->chance)
    release_special(attacker, victim, w->weapon.triggered->spell, SS_WEAPON_SPECIAL, w, damage);
}

void spell_apply_on_struck_spells(living_entity* victim, living_entity* attacker, float damage) {
  if (!victim || !attacker) return;
  if (const Character_info* c = victim->character)
    if (c->reflex_spell != 65535 && frand() < c->reflex_chance)
      release_special(victim, attacker, c->reflex_spell, SS_TYPE_REFLEX, nullptr, damage);
  for (int slot = 0; slot < EQ_WEAPON2; slot++) {
    const Item_info* a = equipped(victim, slot);
    if (a && a->type == ITEM_ARMOR && a->armor.triggered && frand() < a->armor.triggered->chance)
      release_special(victim, attacker, a->armor.triggered->spell, SS_ARMOUR_SPECIAL, a, damage);
  }
}

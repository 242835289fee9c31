#include "Engine/Objects/spell_cast.h"

#include <cmath>
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

int timed_hit(int spell, int owner, int target, int ms, const vector& at) {
  return fx_add_timed_hit(hit_name(spell), spell, owner, target, ms, at);
}

int delayed_hit(int spell, int owner, int target, int ms, const vector& at) {
  const int fx = timed_hit(spell, owner, target, ms, at);
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
    attach_outcome(timed_hit(s, r.caster, r.target, 1000, target->pos), r.outcome);
    at = target->pos, found = true;
  } else if (s == 23 || s == 30) {
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
      attach_outcome(delayed_hit(s, r.caster, t->handle, 500 * k, t->pos), own);
    }
    found = true;
  } else if (s == 102) {
    attach_outcome(timed_hit(s, r.caster, -1, 3350, caster->pos), r.outcome);
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
  if (found) {
    const SpellHitHooks& h = spell_hits_hooks();
    if (h.play_sound) h.play_sound(s, at);
  }
  return found;
}

void spell_fx_hit(int spell, living_entity* owner, living_entity* target, const vector* point,
                  const Item_info* item, const SpellOutcome* outcome) {
  if (!target) return;
  if (outcome) {
    SpellHitRecord rec;
    rec.spell = spell;
    rec.caster = owner ? owner->handle : -1;
    rec.has_pos = point != nullptr;
    if (point) rec.pos = *point;
    rec.item = item;
    rec.outcome = *outcome;
    target->apply_spell_effect(rec);
  } else if (owner) {
    target->get_hit_by_spell(spell, owner->handle, point, nullptr, item ? SS_ITEM_CHARGE : SS_CAST, item, 0.0f,
                             true);
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
    r.outcome = spell_compute_outcome(caster, spell, target, item, source, 0.0f);
    if (spell == 101 && r.outcome.layout() == OL_FIVE_STATUSES) r.spell = 103;
    release_to_peers(r, caster, living(target));
    return;
  }
  const int kind = item ? SS_ITEM_CHARGE : source;
  if (charinfo_find_summoned_type(spell) >= 0) summon_creature(caster, pos ? *pos : caster->pos, spell);
  living_entity* t = living(target);
  const int c = caster->handle;
  auto hit = [&](living_entity* e, int s) { e->get_hit_by_spell(s, c, pos, orient, kind, item, 0.0f, true); };
  vector at = caster->pos;
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
    timed_hit(s, c, target, s == 3 || s == 5 ? 6250 : 1000, t->pos);
    at = t->pos;
  } else if (s == 102) {
    timed_hit(s, c, -1, 3350, caster->pos);
  } else if (one_of(s, {28, 79, 100})) {
    int32_t picked[4];
    spell_pick_random_targets(picked, caster, s);
    for (int k = 0; k < 4; k++)
      if (living_entity* e = living(picked[k])) delayed_hit(s, c, e->handle, 500 * k, e->pos);
  } else if (one_of(s, {23, 30, 88})) {
    fx_add_area_effect(hit_name(s), s, c, caster->pos, nullptr);
  } else if (missile(s)) {
    if (!t) return;
    if (kind == SS_WEAPON_SPECIAL || kind == SS_ARMOUR_SPECIAL) hit(t, s);
    else fx_add_homing_effect(hit_name(s), s, caster->pos + vector{0, 1.2f, 0}, c, target);
    at = t->pos;
  } else if (s == 54) {
    summon_end_current();
  } else if (s >= 104 && s <= 107) {
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      const bool creature = (e->type == OBJ_CREATURE || e->type == OBJ_BOSS) && (e->pos - at).length() < 100.0f;
      const bool member = (s == 105 || s == 107) && e->type == OBJ_PLAYER && !(e->state & ES_SUMMONED);
      if (creature || member) hit(e, s);
    }
  } else {
    sound = false;
  }
  if (sound) {
    const SpellHitHooks& h = spell_hits_hooks();
    if (h.play_sound) h.play_sound(s, at);
  }
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
    const SpellHitHooks& h = spell_hits_hooks();
    if (h.play_sound) h.play_sound(s, place);
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

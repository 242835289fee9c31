// Deciding a spell's outcome: the effect level of its source, the take-hold
// roll, the damage roll with resistances and party scaling, who can be
// affected, the multi-target pickers, and the pool of travelling outcomes.
#include "Engine/Objects/spell_outcome.h"

#include <cmath>
#include <cstring>

#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/math/floatops.h"

namespace {

SpellOutcome Pool[SPELL_OUTCOME_POOL];
int (*Ghost_stage)() = nullptr;
int (*Party_count)() = nullptr;

constexpr float kNearRange = 5.003f;
constexpr float kPlayerRange = 10.003f;

bool valid(int spell) { return spell >= 0 && spell < MAX_SPELLS; }
bool offensive(int spell) { return valid(spell) && (Spells[spell].flags & SPELL_OFFENSIVE); }
bool needs_character(int spell) { return valid(spell) && (Spells[spell].flags & SPELL_TARGET_CHARACTER); }
int kind_of(const living_entity* e) { return e && e->character ? e->character->kind : -1; }

bool control_rule(const living_entity* e) { return !(e->type == OBJ_BOSS || (e->state & ES_CONTROL_IMMUNE)); }

bool is_status_spell(int s) {
  for (int v : {2, 6, 7, 8, 11, 14, 16, 19, 21, 22, 34, 36, 37, 60, 61, 76})
    if (v == s) return true;
  return false;
}

// The take-hold roll: a fresh number at or above the threshold succeeds.
bool roll(int spell, living_entity* caster, living_entity* target, int level, int source, float* resistance) {
  float r, threshold;
  spell_hit_threshold(&r, &threshold, spell, caster, target, level, source);
  if (resistance) *resistance = r;
  return !(frand() < threshold);
}

float magic_resistance(const living_entity* target) { return target ? target->get_resistance(3) : 0.0f; }

// Hostile live entities near the caster, in list order, at most `max`.
int near_hostiles(living_entity* caster, float range, bool players_only, living_entity** out, int max) {
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e && n < max; e = entity_next(list, e)) {
    if (e == caster || !caster->is_hostile_to(e)) continue;
    if (players_only && e->type != OBJ_PLAYER) continue;
    if ((e->pos - caster->pos).length() >= range) continue;
    out[n++] = e;
  }
  return n;
}

int status_duration(const living_entity* caster, int spell, int level) {
  const int kind = kind_of(caster);
  if (kind == 195) return level * 3000;
  if (kind == 182) return level * 4000;
  return spell_status_duration(spell, level);
}

}  // namespace

float SpellOutcome::f(int k) const {
  float v;
  std::memcpy(&v, &w[k], 4);
  return v;
}
void SpellOutcome::set_f(int k, float v) { std::memcpy(&w[k], &v, 4); }

void spell_outcome_set_ghost_stage(int (*stage)()) { Ghost_stage = stage; }
void spell_outcome_set_party_count(int (*count)()) { Party_count = count; }

// ---- the pieces ------------------------------------------------------------------------

int spell_effect_level(const living_entity* caster, int spell, const Item_info* item, int source) {
  const int own = caster->level;
  const Character_info* ci = caster->character;
  switch (source) {
    case SS_TYPE_SPECIAL: return ci && ci->special_extra > 0 ? ci->special_extra : own;
    case SS_TYPE_REFLEX: return ci && ci->reflex_extra > 0 ? ci->reflex_extra : own;
    case SS_WEAPON_SPECIAL:
    case SS_ARMOUR_SPECIAL: {
      if (!item) return -1;
      const TriggeredEffect* t = nullptr;
      if (source == SS_WEAPON_SPECIAL && item->type == ITEM_WEAPON) t = item->weapon.triggered;
      if (source == SS_ARMOUR_SPECIAL && item->type == ITEM_ARMOR) t = item->armor.triggered;
      if (!t) return -1;
      return t->level != 0 && t->level > 0 ? t->level : own;
    }
    case SS_ITEM_CHARGE:
      return item && item->use_effect && item->use_effect->level > 0 ? item->use_effect->level : own;
    case SS_SKILL_CAST: {
      const float m = 1.0f + 0.15f * caster->skill_cast_bonus;
      const int base = spell == 0 ? own / 3 : spell == 4 ? static_cast<int>(own * 0.25f) : static_cast<int>(own * 0.5f);
      return static_cast<int>(base * m);
    }
    case SS_FULL: return 100;
    default: return own;
  }
}

void spell_hit_threshold(float* resistance, float* threshold, int spell, living_entity* caster,
                         living_entity* target, int level, int source) {
  float c;
  if (kind_of(caster) == 182) c = 2.0f * (caster ? caster->level : 0) * 0.01f;
  else if (spell == 80 && Ghost_stage && Ghost_stage() == 3) c = 0.5f;
  else if (source == SS_WEAK) c = 0.3f;
  else c = valid(spell) ? Spells[spell].hit_chance : 0.0f;
  const float r = magic_resistance(target);
  *resistance = r;
  *threshold = 1.0f - (1.0f - ((r + 0.5f) - level * 0.04f)) * c;
}

float spell_damage(const living_entity* target, int spell, int count, int die, float resistance) {
  if (count > 0 && die == 0) return static_cast<float>(-count);
  if (count == 0 || die == 0) return 0.0f;
  float total = 0.0f;
  for (int i = 0; i < count; i++) total += std::floor(frand() * die + 1.0f);
  if (!No_resist && total < 0.0f) {
    const int type = valid(spell) ? Spells[spell].damage_type : -1;
    if (target && type >= 0) total = (1.0f - target->get_resistance(type)) * total;
    if (total < 0.0f && resistance != 0.0f) {
      total = (1.0f - resistance) * total;
      if (total >= 0.0f) total = 0.0f;
    }
  }
  const int n = Party_count ? Party_count() : 0;
  float f = n < 3 ? 0.0f : n == 3 ? 0.15f : n == 4 ? 0.3f : 0.45f;
  if (!target || target->type != OBJ_PLAYER) f = -f;
  if (total > 0.0f) f = 0.0f;
  return total * (1.0f + f);
}

float spell_can_affect(const living_entity* e, int spell) {
  if (!e) return 0.0f;
  const uint32_t flags = e->character ? e->character->flags : 0;
  switch (spell) {
    case 0: case 4: return e->hp < static_cast<float>(e->get_max_points(0)) ? 1.0f : 0.0f;
    case 1:
      for (int s : {0, 1, 3, 9, 10, 11, 12, 13})
        if (e->has_status_effect(s)) return 1.0f;
      return 0.0f;
    case 3: case 5: return (e->state & ES_DOWN) ? 0.0f : 1.0f;
    case 7: case 9: return (flags & CIF_NOBLIND) ? 0.0f : 1.0f;
    case 8: return (flags & CIF_NOSILENCE) ? 0.0f : control_rule(e) ? 1.0f : 0.0f;
    case 12: case 23: case 34: case 36: case 37: case 61: case 67: return control_rule(e) ? 1.0f : 0.0f;
    case 13: return e->level < 2 ? 0.0f : control_rule(e) ? 1.0f : 0.0f;
    case 15: return 1.0f - e->get_resistance(2);
    case 17: return e->ap >= 1 ? 1.0f : 0.0f;
    case 25: case 26: case 28: case 29: case 30: return 1.0f - e->get_resistance(0);
    case 32: case 33: case 35: return 1.0f - e->get_resistance(1);
    default: return 1.0f;
  }
}

void spell_pick_random_targets(int32_t out[4], living_entity* caster, int spell) {
  if (!caster || !valid(spell) || !(spell == 28 || spell == 79 || spell == 100)) return;
  // Held in arrays of our own; the live list is never touched.
  living_entity* F[MAX_LIVING_ENTIITES];
  living_entity* O[MAX_LIVING_ENTIITES];
  int nf = 0, no = 0;
  const float d2 = Spells[spell].distance * Spells[spell].distance;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e->type == OBJ_NEUTRAL || e->get_team() == 1) continue;
    if ((e->pos - caster->pos).length_squared() >= d2) continue;
    if (e != caster && !caster->can_see(e)) continue;
    if ((caster->get_team() == 0 && e->get_team() == 0) || e == caster) F[nf++] = e;
    else O[no++] = e;
  }
  if (nf == 0) return;
  const bool no_others = no == 0;
  int picked_f = 0, picked_o = 0;  // the first picked_x of each list are taken
  auto pick = [](living_entity** v, int n, int& picked) {
    const int untaken = n - picked;
    if (picked > 0 && (untaken == 0 || os_rand() % (2 * untaken) == 0)) return v[os_rand() % picked];
    const int k = picked + os_rand() % untaken;
    living_entity* e = v[k];
    v[k] = v[picked];
    v[picked++] = e;
    return e;
  };
  for (int slot = 0; slot < 4; slot++) {
    const bool friendly = no_others || (os_rand() & 7) == 0;
    living_entity* e = friendly ? pick(F, nf, picked_f) : pick(O, no, picked_o);
    out[slot] = e->handle;
  }
}

// ---- the outcome -----------------------------------------------------------------------

SpellOutcome spell_compute_outcome(living_entity* caster, int spell, int target_handle, const Item_info* item,
                                   int source, float scale) {
  SpellOutcome o;
  const SpellOutcome empty = o;
  if (!caster || !valid(spell) || spell > 103) return o;
  living_entity* t = entity_from_handle(target_handle);
  if (Spells[spell].distance > 0.0f && t && (t->pos - caster->pos).length() > Spells[spell].distance) return o;
  const int level = spell_effect_level(caster, spell, item, source);
  if (level < 0) return o;
  const int die = Spells[spell].die;
  float resistance = 0.0f;
  auto hostile = [&o] { o.set_category(2); };
  switch (spell) {
    case 0:
    case 4:
      if (needs_character(spell) && !t) return empty;
      o.set_layout(OL_HP);
      o.set_took_hold(0);
      o.set_f(1, spell_damage(t, spell, level, die, 0.0f));
      return o;
    case 1:
      o.set_layout(OL_STATUS);
      o.set_i(1, 0);
      o.set_f(2, level >= 100 ? 1.0f : 0.0f);
      if (spell_can_affect(t, 1) > 0.01f) o.set_took_hold(0);
      return o;
    case 12:
    case 101: {
      if (!t) return empty;
      if (spell == 101 && No_resist) return empty;
      if (!(spell_can_affect(t, spell) > 0.0f)) return empty;
      const bool held = roll(spell, caster, t, level, source, nullptr);
      if (spell == 12 && !(held || No_resist)) return empty;
      if (spell == 101 && !held) return spell_compute_outcome(caster, 103, target_handle, item, source, scale);
      o.set_layout(OL_HP);
      o.set_took_hold(0);
      o.set_f(1, -static_cast<float>(t->get_max_points(0)));
      return o;
    }
    case 103: {
      static const int subs[5][2] = {{61, 10}, {7, 0}, {60, 11}, {8, 1}, {23, 3}};
      o.set_layout(OL_FIVE_STATUSES);
      for (int k = 0; k < 5; k++) {
        o.set_i(1 + k, 0);
        o.set_f(6 + k, 0.0f);
        const int sub = subs[k][0];
        if (!(spell_can_affect(t, sub) > 0.01f)) continue;
        const bool skip = No_resist || !offensive(103);
        if (!skip && !roll(sub, caster, t, level, source, nullptr)) continue;
        o.set_i(1 + k, spell_status_duration(sub, level));
        o.set_f(6 + k, spell_status_strength(subs[k][1], level));
      }
      return o;
    }
    case 15: case 25: case 32: case 77: case 91: {
      if (!t) return empty;
      int count = level;
      if (source == SS_CAST) {
        const int cls = spell_get_class(spell);
        const int skill = cls >= 0 && cls < NUM_SPELL_CLASSES ? Spell_class_skill[cls] : -1;
        const float v = skill >= 0 ? caster->get_stat(skill) : 0.0f;
        count = static_cast<int>((v + 1.0f) * level);
      }
      float threshold;
      spell_hit_threshold(&resistance, &threshold, spell, caster, t, level, source);
      o.set_layout(OL_HP);
      o.set_took_hold(0);
      o.set_f(1, spell_damage(t, spell, count, -die, resistance));
      hostile();
      return o;
    }
    case 26: case 78: case 64: case 65: case 66: {
      if (!t) return empty;
      float threshold;
      spell_hit_threshold(&resistance, &threshold, spell, caster, t, level, source);
      o.set_layout(OL_HP);
      o.set_took_hold(0);
      o.set_f(1, spell_damage(t, spell, level, spell >= 64 && spell <= 66 ? 0 : -die, resistance));
      hostile();
      return o;
    }
    case 33: {
      if (!t || !(spell_can_affect(t, 33) > 0.0f)) return empty;
      float threshold;
      spell_hit_threshold(&resistance, &threshold, spell, caster, t, level, source);
      o.set_f(1, spell_damage(t, 33, level, -die, resistance));
      o.set_i(2, roll(33, caster, t, level, source, nullptr) ? spell_status_duration(33, level) : 0);
      o.set_layout(OL_HP_AND_STATUS);
      o.set_took_hold(0);
      hostile();
      return o;
    }
    case 24: {
      if (!t) return empty;
      o.set_layout(OL_HP_BOTH);
      o.set_took_hold(0);
      hostile();
      float threshold;
      spell_hit_threshold(&resistance, &threshold, spell, caster, t, level, source);
      o.set_f(1, t->type == OBJ_BOSS || (t->state & ES_CONTROL_IMMUNE) ? spell_damage(t, 24, level, -die, resistance)
                                                                        : -0.5f * t->hp);
      o.set_f(2, -0.5f * caster->hp);
      return o;
    }
    case 13:
      if (!t) return empty;
      o.set_layout(OL_TOOK_HOLD);
      if (!(spell_can_affect(t, 13) > 0.0f)) return o;
      if (roll(13, caster, t, level, source, nullptr) || No_resist) o.set_took_hold(0);
      return o;
    case 17: {
      if (!t) return empty;
      if (!(roll(17, caster, t, level, source, nullptr) || No_resist)) return empty;
      o.set_layout(OL_AP_DRAIN);
      o.set_took_hold(0);
      hostile();
      int drained = frand() < 0.05f ? t->ap : static_cast<int>(t->ap * level * 0.01f + 0.5f);
      o.set_i(1, drained > 0 ? drained : 0);
      return o;
    }
    case 23: {
      o.set_layout(OL_MULTI_STATUS);
      hostile();
      o.set_i(7, status_duration(caster, 23, level));
      o.set_f(8, spell_status_strength(3, level));
      living_entity* near[6];
      const int n = near_hostiles(caster, kNearRange, false, near, 6);
      for (int k = 0; k < 6; k++) o.set_i(1 + k, k < n ? near[k]->handle : -1);
      for (int k = 0; k < n; k++) {
        if (spell_can_affect(near[k], 23) != 0.0f && (roll(23, caster, near[k], level, source, nullptr) || No_resist))
          o.set_took_hold(k);
      }
      return o;
    }
    case 28: case 30: case 79: case 100: case 102: {
      o.set_layout(OL_MULTI_DAMAGE);
      hostile();
      for (int k = 0; k < 6; k++) {
        o.set_i(1 + k, -1);
        o.set_f(7 + k, 0.0f);
      }
      const int per_die = kind_of(caster) == 88 ? -10 : -die;
      living_entity* hit[6];
      int n = 0;
      if (spell == 30 || spell == 102) {
        living_entity* near[6];
        const int m = near_hostiles(caster, spell == 30 ? kNearRange : kPlayerRange, spell == 102, near, 6);
        for (int k = 0; k < m; k++)
          if (spell_can_affect(near[k], spell) != 0.0f) hit[n++] = near[k];
      } else {
        int32_t handles[4] = {-1, -1, -1, -1};
        spell_pick_random_targets(handles, caster, spell);
        for (int32_t h : handles)
          if (living_entity* e = entity_from_handle(h)) hit[n++] = e;
      }
      for (int k = 0; k < n; k++) {
        float threshold, r;
        spell_hit_threshold(&r, &threshold, spell, caster, hit[k], level, source);
        o.set_i(1 + k, hit[k]->handle);
        o.set_took_hold(k);
        o.set_f(7 + k, spell_damage(hit[k], spell, level, per_die, r));
      }
      return o;
    }
    case 62:
    case 63:
      if (!t || !roll(spell, caster, t, level, source, nullptr)) return empty;
      o.set_layout(spell == 62 ? OL_HP : OL_AMOUNT);
      o.set_took_hold(0);
      o.set_f(1, level * scale * 0.05f);
      return o;
    default:
      break;
  }
  if (is_status_spell(spell)) {
    if (needs_character(spell) && !t) return empty;
    o.set_layout(OL_STATUS);
    o.set_i(1, status_duration(caster, spell, level));
    o.set_f(2, spell_status_strength(spell_status_slot(spell), level));
    if (offensive(spell) && spell != 36) hostile();
    if (!(spell_can_affect(t, spell) > 0.01f)) return o;
    if (!offensive(spell) || No_resist || roll(spell, caster, t, level, source, nullptr)) o.set_took_hold(0);
    return o;
  }
  return empty;
}

// ---- the wire and the pool -------------------------------------------------------------

void spell_outcome_write(const SpellOutcome& o, uint8_t out[SPELL_OUTCOME_WORDS * 4]) {
  for (int k = 0; k < SPELL_OUTCOME_WORDS; k++)
    for (int b = 0; b < 4; b++) out[4 * k + b] = static_cast<uint8_t>(o.w[k] >> (8 * b));
}

SpellOutcome spell_outcome_read(const uint8_t in[SPELL_OUTCOME_WORDS * 4]) {
  SpellOutcome o;
  for (int k = 0; k < SPELL_OUTCOME_WORDS; k++) {
    o.w[k] = 0;
    for (int b = 0; b < 4; b++) o.w[k] |= static_cast<uint32_t>(in[4 * k + b]) << (8 * b);
  }
  return o;
}

void spell_outcomes_init() {
  for (SpellOutcome& o : Pool) o = SpellOutcome();
}

SpellOutcome* spell_outcome_take() {
  for (SpellOutcome& o : Pool) {
    if (o.in_use()) continue;
    o = SpellOutcome();
    o.w[0] |= 1;
    return &o;
  }
  return nullptr;
}

SpellOutcome* spell_outcome_store(const SpellOutcome& src) {
  SpellOutcome* o = spell_outcome_take();
  if (!o) return nullptr;
  *o = src;
  o->w[0] |= 1;
  return o;
}

void spell_outcome_free(SpellOutcome* o) {
  if (o >= Pool && o < Pool + SPELL_OUTCOME_POOL) *o = SpellOutcome();
}

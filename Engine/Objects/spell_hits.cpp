#include "Engine/Objects/spell_hits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/combat.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"

namespace {

SpellHitHooks Hooks;

bool deciding_machine() { return !game_is_networked() || multi_is_host(); }

bool without_action(int s) {
  if (s < 0 || s > 103) return true;
  for (int v : {3, 5, 9, 10, 18, 20, 27, 29, 31, 35})
    if (v == s) return true;
  return (s >= 38 && s <= 59) || (s >= 67 && s <= 75) || (s >= 80 && s <= 90) || (s >= 92 && s <= 99);
}

bool is_status_spell(int s) {
  for (int v : {2, 6, 7, 8, 11, 14, 16, 19, 21, 22, 34, 36, 37, 60, 61, 76})
    if (v == s) return true;
  return false;
}

}  // namespace

void spell_hits_set_hooks(const SpellHitHooks& hooks) { Hooks = hooks; }
const SpellHitHooks& spell_hits_hooks() { return Hooks; }

void living_entity::apply_spell_effect(const SpellHitRecord& r) {
  if ((state & ES_DOWN) || hp <= 0.0f) return;
  const int s = r.spell;
  if (without_action(s)) return;
  const SpellOutcome& o = r.outcome;
  const bool host = deciding_machine();
  const bool held = o.took_hold(0);
  const bool offensive = (Spells[s].flags & SPELL_OFFENSIVE) != 0;
  living_entity* caster = entity_from_handle(r.caster);
  bool sound = true, show = true, at_place = false, hostile = false;
  vector sound_at = pos;
  switch (s) {
    case 1:
      if (host && held) {
        for (int id : {0, 1, 3, 9, 10, 11, 12, 13, 16}) cure_status_effect(id, o.f(2) != 0.0f, false);
      }
      break;
    case 4:
      if (caster) sound_at = caster->pos;
      sound = caster == this;
      break;
    case 23: {
      sound = false;
      for (int k = 0; k < 6; k++) {
        if (o.i(1 + k) != handle) continue;
        if (o.took_hold(k)) {
          if (host) apply_status_effect(STATUS_CURSE, o.i(7), 23, o.f(8), r.caster, false);
          hostile = true;
        } else {
          show = false;
        }
        break;
      }
      break;
    }
    case 24: case 25: case 26: case 32: case 77: case 78: case 91: at_place = r.has_pos && r.has_orient; break;
    case 28: case 30: case 79: case 100: sound = false; break;
    case 33: hostile = held && (o.f(1) < 0.0f || o.i(2) > 0); break;
    case 103: {
      static const int subs[5][2] = {{61, STATUS_PARALYZE}, {7, STATUS_BLIND}, {60, STATUS_POISON},
                                     {8, STATUS_SILENCE}, {23, STATUS_CURSE}};
      for (int k = 0; k < 5; k++)
        if (o.i(1 + k) != 0) apply_status_effect(subs[k][1], o.i(1 + k), subs[k][0], o.f(6 + k), r.caster, false);
      break;
    }
    default:
      if (is_status_spell(s)) {
        if (held) {
          if (host) apply_status_effect(spell_status_slot(s), o.i(1), s, o.f(2), r.caster, false);
          hostile = offensive && s != 36;
        } else if (s == 36) {
          show = false;
        }
      }
      break;
  }
  if (sound && Hooks.play_sound) Hooks.play_sound(s, sound_at);
  const char* effect = Spells[s].hit_effect;
  if (show && effect) {
    if ((s == 23 || s == 30) && caster) {
      fx_add_spell_hit_effect(s, r.caster, handle);
    } else if ((at_place || s == 26) && r.has_pos) {
      fx_add_effect(effect, r.pos, r.has_orient ? r.orient : orient, true);
    } else {
      fx_attach_to_entity(effect, handle, -1, -1, false, true);
    }
  }
  const int category = o.category();
  auto react = [&] {
    if (category != 0) combat.react_to_hit(category);
  };
  switch (o.layout()) {
    case OL_HP:
      if (host) change_hp(o.f(1), r.caster, 0, 0);
      if (o.f(1) < 0.0f) react();
      break;
    case OL_AMOUNT:
      // Mind drain takes action points on every path: the local hit takes
      // them too, so the outcome's amount is a loss here as well.
      if (host) change_ap(-o.f(1));
      if (o.f(1) > 0.0f) react();
      break;
    case OL_STATUS:
    case OL_MULTI_STATUS:
      if (hostile) react();
      break;
    case OL_MULTI_DAMAGE:
      for (int k = 0; k < 6; k++) {
        if (o.i(1 + k) != handle || !o.took_hold(k)) continue;
        if (host) change_hp(o.f(7 + k), r.caster, 0, 0);
        if (o.f(7 + k) < 0.0f) react();
        break;
      }
      break;
    case OL_HP_AND_STATUS:
      if (!held) break;
      if (host) {
        change_hp(o.f(1), r.caster, 0, 0);
        if (o.i(2) > 0) apply_status_effect(STATUS_SLEEP, o.i(2), 33, 0.0f, r.caster, false);
      }
      if (hostile) react();
      break;
    case OL_HP_BOTH:
      if (host) {
        change_hp(o.f(1), r.caster, 0, 0);
        if (caster) caster->change_hp(o.f(2), -1, 0, 0);
      }
      if (o.f(1) < 0.0f) react();
      break;
    case OL_TOOK_HOLD:
      if (held && level_drains < UINT16_MAX) level_drains++;
      if (held && level > 1) {
        level--;
        compute_stats();
      }
      break;
    case OL_AP_DRAIN:
      if (!held) break;
      if (host) {
        change_ap(-static_cast<float>(o.i(1)));
        if (caster) caster->change_ap(static_cast<float>(o.i(1) < 20 ? o.i(1) : 20));
      }
      react();
      break;
    default: break;
  }
  if (host && offensive && caster && Hooks.consider_target) Hooks.consider_target(this, caster);
}

// ---- the local hit ---------------------------------------------------------------------

namespace {

bool local_status_spell(int s) {
  for (int v : {2, 6, 7, 8, 16, 19, 21, 22, 23, 34, 36, 37, 60, 61, 67, 80, 85, 86, 88, 89, 90})
    if (v == s) return true;
  return false;
}

int kind_number(const living_entity* e) { return e && e->character ? e->character->kind : -1; }

}  // namespace

void living_entity::get_hit_by_spell(int s, int caster_handle, const vector* at, const matrix* turn, int source,
                                     const Item_info* item, float amount, bool named) {
  if (s < 0 || s >= MAX_SPELLS || source < 0 || source > SS_WEAK) return;
  if (((state & ES_DOWN) || hp <= 0.0f) && s != 3 && s != 5 && s != 105) return;
  if (Hooks.party_standing && !Hooks.party_standing()) return;
  if (boss_is_serpent_hit_rider(this)) return;
  // A boss keeps count of who turned spells on it.
  if (type == OBJ_BOSS) boss_record_damage(this, 0.0f, caster_handle, false);
  if (s == 72) {
    for (int k : {7, 8, 67}) get_hit_by_spell(k, caster_handle, at, turn, source, item, amount, false);
    if (Spells[7].hit_effect &&
        (has_status_effect(0) || has_status_effect(1) || has_status_effect(9)))
      fx_attach_to_entity(Spells[7].hit_effect, handle, -1, -1, false, true);
    return;
  }
  living_entity* c = entity_from_handle(caster_handle);
  if (!c) return;
  const Spell_info& info = Spells[s];
  if ((info.flags & SPELL_OFFENSIVE) && type == OBJ_PLAYER && c->get_team() != 0 && combat_hooks().party_combat_ready)
    combat_hooks().party_combat_ready();
  if (info.distance > 0.0f && (c->pos - pos).length() > info.distance) return;
  int L = spell_effect_level(c, s, item, source);
  if (L < 0) return;
  float R = 0.0f, t = 0.0f;
  spell_hit_threshold(&R, &t, s, c, this, L, source);
  auto holds = [&](bool inclusive) {
    if (No_resist) return true;
    const float u = frand();
    return inclusive ? !(u <= t) : !(u < t);
  };
  const int S = spell_status_slot(s);
  const int src = named ? s : -1;
  const char* effect = named ? info.hit_effect : (info.preloaded_hit_effect ? info.preloaded_hit_effect : info.hit_effect);
  const matrix& facing = turn ? *turn : orient;
  // The spell's hit effect at the place the spell lands; made or not.
  auto at_place = [&](const char* name) { return name && at ? fx_add_effect(name, *at, facing, true) : -1; };
  auto unnamed_note = [&] {
    if (!named) std::printf("Trying to get_hit_by_spell by an invalid method!!\n");
  };
  auto hit_by = [&](std::initializer_list<int> list) {
    for (int k : list) get_hit_by_spell(k, caster_handle, at, turn, source, item, amount, false);
  };
  int count = 0, die = 0, flinch = 0;
  bool use_resistance = true, show = true, alert = false;
  float gain = 0.0f;
  bool gain_set = false;
  switch (s) {
    case 0: case 4: count = L, die = info.die; break;
    case 1:
      for (int id : {0, 1, 3, 9, 10, 11, 12, 13, 16}) cure_status_effect(id, L >= 100, false);
      break;
    case 3: case 5: case 105:
      if (s == 105 && type != OBJ_PLAYER) {
        count = 7 * c->level, flinch = 130;
        break;
      }
      show = false;
      resurrect();
      hp = s == 5 ? static_cast<float>(get_max_points(0))
                  : (s == 3 ? 1.0f : std::min(std::max(2.0f * c->level, hp), static_cast<float>(get_max_points(0))));
      break;
    case 11: case 14:
      show = false;
      apply_status_effect(S, spell_status_duration(s, L), src,
                          s == 11 && !game_is_networked() && L >= 50 ? 1.0f : 0.0f, caster_handle, false);
      break;
    case 13:
      if (holds(false)) {
        if (level_drains < UINT16_MAX) level_drains++;
        if (level > 1) {
          level--;
          compute_stats();
        }
      }
      break;
    case 15:
      alert = true, flinch = 130, die = -info.die;
      count = source == SS_CAST ? static_cast<int>((1.0f + c->get_stat(30)) * L) : L;
      break;
    case 17:
      alert = true, show = false;
      if (holds(false)) {
        const float have = ap > 0 ? static_cast<float>(ap) : 0.0f;
        float d = frand() < 0.05f ? have : std::floor(have * L * 0.01f + 0.5f);
        if (d < 0.0f) d = 0.0f;
        change_ap(-d);
        c->change_ap(d < 20.0f ? d : 20.0f);
        start_knockdown(130);
      }
      break;
    case 25: case 26: case 32: case 77: case 91: {
      alert = true, show = false, die = -info.die;
      count = L;
      if (source == SS_CAST && s == 25) count = static_cast<int>((1.0f + c->get_stat(32)) * L);
      if (source == SS_CAST && s == 32) count = static_cast<int>((1.0f + c->get_stat(33)) * L);
      combat.react_to_hit(2);
      unnamed_note();
      const int fx = at_place(effect);
      if (named && s == 26 && fx >= 0 && at) spell_create_missile(c, fx, *at, 0.0f, facing);
      break;
    }
    case 12: case 84: case 87: case 101:
      alert = true, show = s == 101;
      if (type == OBJ_BOSS || (state & ES_CONTROL_IMMUNE)) break;
      if (!holds(false)) {
        if (s == 101) get_hit_by_spell(103, caster_handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, false);
        break;
      }
      if (s == 84) show = true;
      count = static_cast<int>(std::ceil(hp)), die = 0, use_resistance = false, flinch = 130;
      if (type != OBJ_PLAYER)
        for (int slot = 0; slot < EQ_WEAPON2; slot++)
          if (item_instance* it = entity_unequip_slot(this, slot, false)) item_free(it);
      break;
    case 24:
      alert = true, show = false;
      combat.react_to_hit(2);
      if (type == OBJ_BOSS || (state & ES_CONTROL_IMMUNE)) {
        count = L, die = -info.die;
        unnamed_note();
        at_place(effect);
        break;
      }
      use_resistance = false;
      at_place(effect);
      std::printf("jade dmg: %d\n", static_cast<int>(hp / 2.0f));
      change_hp(-hp / 2.0f, caster_handle, 1, 0);
      break;
    case 56: case 78: {
      alert = true, show = false, count = 3, die = -info.die;
      combat.react_to_hit(2);
      const int fx = at_place(effect);
      if (named && fx >= 0 && at) spell_create_missile(c, fx, *at, 0.0f, facing);
      if (s == 78 && (!named || fx >= 0) && Hooks.trip) Hooks.trip(this, 3000 + static_cast<int>(frand() * 4000.0f));
      break;
    }
    case 57:
      alert = true, show = false, count = 3, die = -info.die;
      combat.react_to_hit(2);
      break;
    case 58:
      show = false;
      if (holds(false) && Hooks.push) Hooks.push(this, c);
      break;
    case 59:
      show = false;
      if (holds(false) && Hooks.trip) Hooks.trip(this, 3000 + static_cast<int>(frand() * 4000.0f));
      break;
    case 73: {
      const int k = kind_number(c);
      apply_status_effect(STATUS_PARALYZE, k == 89 ? 3000 : k == 87 ? 8000 : 5000, 73, 0.0f, caster_handle, false);
      return;
    }
    case 76:
      show = false;
      if (holds(false)) apply_status_effect(STATUS_PARALYZE, 180000, src, 0.0f, -1, false);
      break;
    case 103: {
      show = false;
      static const int pairs[5][2] = {{61, 10}, {7, 0}, {60, 11}, {8, 1}, {23, 3}};
      for (const auto& p : pairs) {
        if ((info.flags & SPELL_OFFENSIVE) && !holds(true)) continue;
        if (spell_can_affect(this, p[0]) > 0.01f)
          apply_status_effect(p[1], spell_status_duration(p[0], L), named ? p[0] : -1,
                              spell_status_strength(p[1], L), caster_handle, false);
      }
      break;
    }
    case 106:
      hit_by({23, 7, 8, 60});
      count = 10 * c->level, die = 0, flinch = 130;
      show = has_status_effect(STATUS_CURSE) || has_status_effect(STATUS_BLIND) || has_status_effect(STATUS_SILENCE) ||
             has_status_effect(STATUS_POISON);
      break;
    case 107:
      if (type != OBJ_PLAYER) {
        count = 8 * c->level, die = 0, flinch = 130, show = false;
        break;
      }
      hit_by({22, 19, 2, 16});
      show = has_status_effect(2) || has_status_effect(4) || has_status_effect(5) || has_status_effect(6);
      break;
    case 28: case 30: case 79: case 100:
      alert = true, show = false, count = L, flinch = 130;
      die = kind_number(c) == 88 ? -10 : -info.die;
      break;
    case 33: count = L, die = -info.die; break;
    case 62:
      show = false;
      if (holds(false)) gain = amount * 0.05f * L, gain_set = true;
      break;
    case 63:
      show = false;
      if (holds(false)) change_ap(-(amount * 0.05f * L));
      break;
    case 64: case 65: case 66: show = false, count = L; break;
    case 68:
      show = false;
      if (holds(false)) change_ap(-static_cast<float>(L));
      break;
    case 102:
      alert = true, show = false;
      if (holds(false)) count = L, die = -info.die;
      break;
    case 104:
      alert = true, show = false, count = 20 * c->level, flinch = 130;
      at_place(info.hit_effect);
      break;
    default:
      if (local_status_spell(s)) {
        show = false;
        if (s == 23 && !(c->state & ES_OWN_MODEL)) {
          if (!named) std::printf("Preloaded curse\n");
          const int fx = fx_attach_to_entity(effect, handle, -1, -1, false, true);
          if (game_effect* g = fx_get(fx)) {
            const vector d = c->pos - pos;
            if (d.length() > 0.0f) g->orient = matrix::from_forward(d * (1.0f / d.length()));
          }
        }
        if ((info.flags & SPELL_OFFENSIVE) && !holds(true)) {
          if (effect && s != 23 && s != 36 && !(c->state & ES_OWN_MODEL)) fx_attach_to_entity(effect, handle, -1, -1, false, true);
          break;
        }
        int D = spell_status_duration(s, L);
        if (kind_number(c) == 195) D = c->level * 3000;
        else if (kind_number(c) == 182) D = c->level * 4000;
        if (!(spell_can_affect(this, s) > 0.01f)) break;
        apply_status_effect(S, D, src, spell_status_strength(S, L), caster_handle, source == SS_FULL);
      }
      break;
  }
  const float h = gain_set ? gain : spell_damage(this, s, count, die, use_resistance ? R : 0.0f);
  change_hp(h, caster_handle, 0, 0);
  if (h < 0.0f && flinch) start_knockdown(flinch);
  if (show && effect) fx_attach_to_entity(effect, handle, -1, -1, false, true);
  if (s == 33) {
    if (!No_resist && frand() <= R) {
      combat.react_to_hit(2);
    } else {
      apply_status_effect(STATUS_SLEEP, spell_status_duration(33, L), src, 0.0f, caster_handle, false);
      start_knockdown(129);
    }
  }
  if (alert && Hooks.consider_target) Hooks.consider_target(this, c);
}

#include "Engine/Objects/spell_hits.h"

#include <initializer_list>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"

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
      fx_attach_to_entity(effect, handle, false, true);
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

// What a blow does: whether it lands or is parried or dodged, its damage
// through armour, chains, skills, resistances, position and curses, and
// how it shows (hit sounds, blood and sparks, splots on the ground).
#include <cmath>
#include <cstdio>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"

namespace {

float positive(float v) { return v > 0.0f ? v : 0.0f; }

const Item_info* weapon_of(const living_entity* e) {
  const item_instance* w = e->equipment[EQ_WEAPON];
  return w && w->info && w->info->type == ITEM_WEAPON ? w->info : nullptr;
}

int material_of(const item_instance* it) {
  return it && it->info ? it->info->default_material : -1;
}

const Material_info* material_info(int m) { return m >= 0 && m < NUM_MATERIALS ? &Materials[m] : nullptr; }

// Weapon blows whose chance comes from the weapon skill.
bool is_weapon_blow(int t) {
  return t == CS_DOUBLE || (t >= 56 && t <= 63) || (t >= 68 && t <= 70) || t == CS_MUG || t == CS_NONE;
}

// The five status changes of an aimed weapon blow.
float status_adjusted(float h, const living_entity* a, const living_entity* d) {
  if (a->has_status_effect(STATUS_BLIND)) h *= 0.3f;
  if (a->has_status_effect(STATUS_TIMED_FX)) h += 0.2f;
  if (d->has_status_effect(STATUS_TIMED_FX)) h += 0.1f;
  if (d->has_status_effect(STATUS_FADED)) h *= 0.5f;
  if (a->has_status_effect(STATUS_CRIPPLE)) h -= 0.2f;
  return positive(h);
}

// Levels are at least 1 wherever 1500 is divided by one.
int level_divisor(const living_entity* e) { return e->level < 1 ? 1 : e->level; }

float cap(float v, float c) { return v > c ? c : v; }

void attach(living_entity* v, const char* effect) {
  if (entity_effects().attach) entity_effects().attach(v, effect, -1);
}

void hud(const char* text) {
  if (combat_hooks().hud_message) combat_hooks().hud_message(text);
}

vector local_to_world(const vector& origin, const matrix& m, const vector& p) {
  return origin + m.right * p.x + m.up * p.y + m.forward * p.z;
}

// Shows an effect where the attacker's blow meets the body: false (and
// nothing shown) when there is no such point.
bool at_hit_point(living_entity* a, living_entity* v, const char* effect) {
  vector at;
  if (living_entity::nearest_hit_point(a, v, &at) < 0) return false;
  if (entity_effects().place) entity_effects().place(effect, at);
  return true;
}


}  // namespace

// ---- hit resolution --------------------------------------------------------------------

void combat_state::hit_chance(combat_state* atk, bool pre_roll) {
  living_entity* a = atk->owner;
  living_entity* d = owner;
  atk->hits = 0;
  if (!pre_roll) last_variation = 0;
  float P = positive(d->get_stat(CS_PARRY));
  float D = positive(d->get_stat(CS_DODGE));
  float H = 0.0f;
  const int t = atk->attack_type;
  if (t >= 71 && t <= 78) {
    H = 1.0f, P = 0.0f, D = 0.0f;
  } else if (t == CS_COUNTER) {
    P = 0.0f, D = 0.0f;
  } else if (is_weapon_blow(t)) {
    H = status_adjusted(atk->get_weapon_skill(), a, d);
  } else if (t == 65) {
    H = a->get_stat(CS_ICE);
  } else if (t == 66) {
    H = a->get_stat(CS_FIRE);
  } else if (t == 67) {
    H = a->get_stat(CS_ENERGY);
  } else if (t == 80 || t == 81) {
    H = cap(status_adjusted(a->get_stat(t), a, d), 0.95f);
  } else if (t == CS_PUSH || t == CS_KICK || t == CS_TRIP || t == 82 || t == 83) {
    H = a->get_stat(t);
    P = 0.0f;
  } else if (t == CS_BACKSTAB) {
    if (d->ai.state != AI_STATE_COMBAT) D = 0.0f;
    P = 0.0f;
    H = cap(a->get_stat(CS_BACKSTAB) * static_cast<float>(1500 / level_divisor(d)), 0.95f);
  } else if (t >= 53 && t <= 55) {
    P = 0.0f, D = 0.0f;
    H = cap(a->get_stat(t) * static_cast<float>(1500 / level_divisor(d)), 0.95f);
  }
  H = positive(H);
  if (pre_roll) P = 0.0f;
  if (d->has_status_effect(STATUS_SLOW) || ai_is_busy(&d->ai)) D = positive(D - 0.2f);
  D *= 0.5f;
  if (d->move_blend > 0.5f) D = 0.0f;
  const float T = H + D + P;
  float Sp = 0.0f, Sd = 0.0f;
  if (T > 0.0f) {
    Sp = P / T;
    Sd = D / T;
  }
  float r = frand();
  if (Super_power && a->type == OBJ_PLAYER) r = 1.0f;
  if (!pre_roll) {
    if (r < Sp) play_parry(atk);
    else if (r < Sp + Sd) play_dodge();
    else {
      phase = CP_STRUCK;
      atk->hits++;
    }
  } else if (t == CS_BACKSTAB ? r < H : r >= Sd) {
    atk->hits++;
  }
  if (t == CS_DOUBLE) {
    const float r2 = frand();
    if (Sp + Sd <= r2) {
      if (!pre_roll) {
        phase = CP_STRUCK;
        defence_move = nullptr;
      }
      atk->hits++;
    }
  }
}

// ---- damage ----------------------------------------------------------------------------

float combat_state::get_armor_rating() const {
  static const int armour_slots[] = {EQ_HANDS, EQ_FEET, EQ_SHIELD, EQ_TORSO, EQ_LEGS};
  float sum = 0.0f;
  bool worn = false;
  for (int s : armour_slots) {
    const item_instance* it = owner->equipment[s];
    if (!it || !it->info || it->info->type != ITEM_ARMOR) continue;
    worn = true;
    const Material_info* m = material_info(it->info->default_material);
    sum += (m ? m->protection_multiplier : 1.0f) * it->info->armor.protection;
  }
  float rating = worn ? sum : positive(owner->get_stat(1));
  rating += 0.01f * owner->level;
  if (owner->has_status_effect(STATUS_BLESS)) rating += owner->get_status_effect_strength(STATUS_BLESS);
  return rating;
}

float combat_position_bonus(const living_entity* a, const living_entity* v) {
  float p = 0.0f;
  if (a->pos.y > v->pos.y + 0.25f) p = 0.25f;
  else if (a->pos.y < v->pos.y - 0.25f) p = -0.25f;
  if (ai_is_in_state(&v->ai, AI_STATE_DISABLED, AI_SUB_DOWN)) return p + 0.5f;
  vector u = v->pos - a->pos;
  const float len = u.length();
  if (len > 0.0f && vector::dot(u * (1.0f / len), v->orient.forward) >= 0.0f) p += 0.15f;
  return p;
}

float combat_state::compute_damage() {
  living_entity* A = owner;
  living_entity* V = get_target();
  if (!V) return 0.0f;
  if (V->has_status_effect(STATUS_FADED) && frand() < 0.25f) return 0.0f;
  const float absorb = cap(0.5f * V->combat.get_armor_rating(), 0.75f);
  const int t = attack_type;
  int t1 = -1, t2 = -1;
  float B = 0.0f;
  if (t == CS_COUNTER || t == CS_DOUBLE || t == CS_BACKSTAB || (t >= 53 && t <= 63) || (t >= 65 && t <= 71) ||
      t == CS_MUG || t == CS_NONE) {
    const Item_info* w = weapon_of(A);
    float d, m;
    if (w && !(A->character->flags & CIF_USE_MONSTER_DAMAGE)) {
      d = w->weapon.damage;
      t1 = w->weapon.damage_type;
      t2 = w->weapon.elemental_damage;
      const Material_info* mi = material_info(w->default_material);
      m = mi ? mi->damage_modifier : 0.0f;
    } else {
      d = A->character->damage;
      t1 = A->character->kind == 176 ? 4 : 6;
      m = 0.0f;
    }
    float dd = d * 0.1f;
    if (A->has_status_effect(STATUS_POWER)) dd *= 2.0f;
    const float B0 = (m + dd) * (0.5f * A->level + 1.0f);
    const int active = combat_hooks().party_count_active ? combat_hooks().party_count_active() : 0;
    float s = active < 3 ? 0.0f : active == 3 ? 0.2f : active == 4 ? 0.4f : 0.6f;
    if (A->type == OBJ_PLAYER) s = -s;
    B = ((frand() - 0.5f) + s) * B0 * 0.6f + B0;
    if (A->character->kind == 145) B *= 2.0f;
    if (t == CS_BACKSTAB) {
      if (A->type == OBJ_BOSS || (A->state & ES_CONTROL_IMMUNE)) B *= 2.0f;
      else {
        B *= positive(A->get_stat(CS_BACKSTAB)) * 10.0f + 1.2f;
        B *= unaware ? 2.5f : 0.5f;
      }
    } else if (t >= 53 && t <= 55) {
      B *= 0.5f;
    } else if (t == 61) {
      B *= 0.7f;
    }
  } else if (t == CS_PUSH) {
    gentle_steps += 2;
  } else if (t == CS_KICK) {
    B = A->level * 4.0f;
    t1 = 6;
  } else if (t == 80) {
    B = A->level * 10.0f;
  } else if (t == 83) {
    B = A->level * 8.0f;
  }
  float B1 = (1.0f - absorb) * B * (0.1f * chain_count + 1.0f);
  switch (t) {
    case 56: case 57: case 58: B1 *= 0.3f; break;
    case 59: B1 *= 1.3f - A->hp / static_cast<float>(A->get_max_points(0)); break;
    case 60: {
      // No action points to speak of: the burst has nothing to draw on.
      const int max_ap = A->get_max_points(1);
      B1 *= max_ap > 0 ? static_cast<float>(A->ap) / max_ap : 0.0f;
      break;
    }
    case 62: B1 *= 0.5f; A->change_hp(B1, A->handle); break;
    case 63:
      V->change_ap(-0.1f * B1);
      A->change_ap(0.1f * B1);
      B1 = 0.0f;
      break;
    case 65: t2 = 1; break;
    case 66: t2 = 0; break;
    case 67: t2 = 2; break;
    case 68: B1 *= 2.0f; A->change_hp(-B1 * 2.0f / 3.0f, A->handle); break;
    case 69: V->change_ap(-0.25f * B1); B1 = 0.0f; break;
    case 70: B1 *= 0.15f; break;
    case 71:
    case 72: {
      living_entity* list = entity_live_list();
      for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
        if (e == A || e->type == OBJ_PLAYER) continue;
        if ((e->pos - A->pos).length_squared() >= 25.0f) continue;
        if (t == 71) e->change_hp(-0.75f * B1, A->handle);
        else if (combat_hooks().hit_by_spell) combat_hooks().hit_by_spell(e, 59, A, 6);
      }
      B1 = 0.0f;
      break;
    }
    case 73: case 74: case 75:
      if (combat_hooks().hit_by_spell) combat_hooks().hit_by_spell(A, t == 73 ? 0 : t == 74 ? 19 : 16, A, 6);
      break;
    case 76: case 77: case 78:
      if (combat_hooks().cast_on_self) combat_hooks().cast_on_self(A, t == 76 ? 21 : t == 77 ? 4 : 22);
      break;
    case CS_MUG: {
      B1 *= 0.5f;
      const int gold = static_cast<int>(B1);
      if (combat_hooks().party_add_gold) combat_hooks().party_add_gold(gold);
      char text[64];
      snprintf(text, sizeof text, "Stole %d gold!", gold);
      hud(text);
      break;
    }
    default: break;
  }
  const float f1 = 1.0f - (t1 >= 0 ? V->get_resistance(t1) : 0.0f);
  const float f2 = 1.0f - (t2 >= 0 ? V->get_resistance(t2) : 0.0f);
  const float f = f1 < 0.0f ? f1 : f2 < 0.0f ? f2 : f1 * f2;
  const float B2 = f * B1;
  position_bonus = combat_position_bonus(A, V);
  float B3 = B2 * (1.0f + position_bonus);
  if (V->has_status_effect(STATUS_CURSE)) B3 *= 1.0f + V->get_status_effect_strength(STATUS_CURSE);
  const float crit = A->get_stat(CS_CRITICAL);
  if (crit > 0.0f && crit > frand()) B3 *= 2.0f;
  if (Super_power && A->type == OBJ_PLAYER) B3 = 200.0f;
  return std::floor(B3);
}

// ---- applying the blows ----------------------------------------------------------------

void combat_state::process_hit(bool react) {
  if (hits <= 0) return;
  living_entity* A = owner;
  living_entity* V = get_target();
  if (!V) return;
  const CombatHooks& h = combat_hooks();
  const int location = A->current_move ? A->current_move->location : 0;
  float D;
  if (game_is_networked() && multi_is_client()) {
    D = compute_damage();
    if (V->hp - D <= 0.0f) return;
  } else {
    D = compute_damage();
    // A blow of a skill says which, so a chosen attack style can be seen landing.
    const bool skilled = attack_type != CS_NONE && attack_type >= 0 && attack_type < NUM_SKILLS;
    console_printf("%s hits %s for %.0f, %.0f left%s%s\n", A->get_name(), V->get_name(), D, V->hp - D,
                   skilled ? " with " : "", skilled ? Skills[attack_type].name : "");
    if (A->position_bonus_timer <= 0.0f || position_bonus != 0.0f) A->position_bonus_timer = 2.0f;
    if (h.struck_specials) h.struck_specials(V, A, D);
    if (!V->change_hp(-D, A->handle, 1, 0) || V->ai.state == AI_STATE_DISABLED) {
      spill_blood(D);
      return;
    }
    if (h.hit_specials) h.hit_specials(A, V, D);
    if (hits > 1 && attack_type == CS_DOUBLE) {
      const float D2 = compute_damage() * positive(A->get_stat(CS_DOUBLE));
      if (h.struck_specials) h.struck_specials(V, A, D2);
      if (!V->change_hp(-D2, A->handle, 1, 0) || V->ai.state == AI_STATE_DISABLED) {
        spill_blood(D);
        return;
      }
      if (h.hit_specials) h.hit_specials(A, V, D2);
    }
  }
  spill_blood(D);
  auto reacts = [&] {
    if (react) V->combat.play_reaction_checked(location);
  };
  auto standard = [&] {
    combat_play_hit_sound(A, V);
    combat_spawn_blood(A, V);
    reacts();
  };
  auto aimed = [&](int status, const char* effect) {
    standard();
    living_entity* hero = entity_game().selected ? entity_game().selected() : nullptr;
    if (hero && frand() < hero->get_stat(CS_AIMED)) {
      V->apply_status_effect(status, 15000, -1, 0.0f, A->handle, false);
      attach(V, effect);
    }
  };
  switch (attack_type) {
    case CS_COUNTER: case CS_DOUBLE: case 61: case 71: case CS_NONE: standard(); break;
    case CS_BACKSTAB:
      if (h.game_sound) h.game_sound(7, V->pos);
      for (int i = 0; i < 3; i++) combat_spawn_blood(A, V);
      reacts();
      break;
    case 59: case 62: case 68: standard(); attach(V, "generichit01.vfx"); break;
    case 60: case 63: case 69: standard(); attach(V, "generichit03.vfx"); break;
    case 65: case 66: case 67:
      combat_play_hit_sound(A, V);
      combat_spawn_blood(A, V);
      if (at_hit_point(A, V, attack_type == 65   ? "spell-icicle-target.vfx"
                             : attack_type == 66 ? "firearrow-target.vfx"
                                                 : "generichit03.vfx"))
        reacts();
      break;
    case 70:
      standard();
      V->apply_status_effect(STATUS_SILENCE, 15000, -1, 0.0f, A->handle, false);
      attach(V, "generichit05.vfx");
      break;
    case 53: case 56: aimed(STATUS_BLIND, "generichit04.vfx"); break;
    case 54: case 57: aimed(STATUS_CRIPPLE, "generichit03.vfx"); break;
    case 55: case 58: aimed(STATUS_SLOW, "generichit05.vfx"); break;
    case CS_PUSH: V->combat.play_reaction_checked(location); break;
    case CS_KICK:
      if (react && h.push) h.push(V, A);
      break;
    case 82:
      if (h.push) h.push(V, A);
      break;
    case CS_TRIP: case 81:
      if (h.trip) h.trip(V, 3000 + static_cast<int>(frand() * 4000.0f));
      break;
    default: break;
  }
}

// ---- presentation ----------------------------------------------------------------------


int living_entity::nearest_hit_point(const living_entity* a, const living_entity* v, vector* at) {
  if (!a || !v || a->current_move_id < 0 || !a->current_move) return -1;
  if (!v->instance || v->instance->bone_count() <= 0) return -1;
  // Where the blow comes from: the hand bone (the primary prop slot's), or
  // the attacker's chest when its type names none.
  const int hand = a->character ? a->character->prop_tag_bones[0] : -1;
  vector from;
  matrix hand_orient = identity_matrix;
  if (hand >= 0 && a->instance) {
    from = local_to_world(a->pos + a->offset, a->orient, a->instance->bone_position(hand));
    hand_orient = a->instance->bone_orientation(hand);
  } else {
    from = a->pos + a->offset + a->orient.up * (0.5f * a->get_height());
  }
  // With a weapon, the point the move names on its model, carried by the
  // hand. A model that is not loaded leaves the hand itself.
  const item_instance* weapon = a->equipment[EQ_WEAPON];
  const char* point = a->current_move->contact_tag;
  if (weapon && weapon->info && point && point[0]) {
    vector p;
    matrix o;
    const int found = item_model_point(*weapon->info, point, &p, &o);
    if (found == 0) return -1;
    if (found > 0) {
      const vector in_model = hand_orient.right * p.x + hand_orient.up * p.y + hand_orient.forward * p.z;
      from = from + a->orient.right * in_model.x + a->orient.up * in_model.y + a->orient.forward * in_model.z;
    }
  }
  int best = -1;
  float best_d2 = 1e7f;
  const int n = v->instance->bone_count();
  for (int i = 0; i < n; i++) {
    const vector p = local_to_world(v->pos + v->offset, v->orient, v->instance->bone_position(i));
    const float d2 = (p - from).length_squared();
    if (d2 < best_d2) best_d2 = d2, best = i, *at = p;
  }
  return best;
}

void combat_spawn_blood(living_entity* a, living_entity* v) {
  const int skin = v->character ? v->character->skin_material : 0;
  if (!((skin >= 1 && skin <= 3) || (skin >= 9 && skin <= 16))) return;
  if (skin == 1) at_hit_point(a, v, "blood.vfx");
  else if (skin == 3 || skin == 9) at_hit_point(a, v, "sparkhit01.vfx");
}

void combat_spark_on_parry(living_entity* a, living_entity* v) {
  if (!(frand() <= 0.8f)) return;
  const int m = material_of(a->equipment[EQ_WEAPON]);
  if (m >= 10 && m <= 16) at_hit_point(a, v, "sparkhit01.vfx");
}

void combat_play_hit_sound(living_entity* a, living_entity* v) {
  if (!combat_hooks().hit_sound) return;
  const int am = a->equipment[EQ_WEAPON] ? material_of(a->equipment[EQ_WEAPON]) : a->character->skin_material;
  const int vm = v->equipment[EQ_TORSO] ? material_of(v->equipment[EQ_TORSO]) : v->character->skin_material;
  combat_hooks().hit_sound(am, vm, v->pos);
}

void combat_state::spill_blood(float d) {
  living_entity* v = get_target();
  if (!v || !v->character) return;
  const int skin = v->character->skin_material;
  if (skin != 1 && skin != 2) return;
  const CombatHooks& h = combat_hooks();
  if (!h.decal) return;
  int r = 255, g = 255, b = 255;
  if (entity_world().light_at) entity_world().light_at(v->pos, &r, &g, &b);
  const uint8_t tint = static_cast<uint8_t>((r + g + b) / 3);
  enum { SMALL, MEDIUM, LARGE };
  int sizes[3], n = 0;
  if (v->size_class() <= 1) {
    sizes[n++] = d > 15.0f ? LARGE : d <= 5.0f ? SMALL : MEDIUM;
  } else {
    if (d > 15.0f) sizes[n++] = LARGE;
    else if (d > 5.0f) sizes[n++] = MEDIUM;
    sizes[n++] = SMALL;
  }
  static const char* const bitmaps[3] = {"BloodSplot-small02.tga", "BloodSplot-med02.tga", "BloodSplot-large02.tga"};
  static const float extents[3] = {0.2f, 0.3f, 0.45f};
  const float radius = v->get_radius();
  for (int i = 0; i < n; i++) {
    const float angle = frand() * 6.2831853f;
    const vector at = v->pos + vector(std::cos(angle) * radius, 0.0f, std::sin(angle) * radius);
    vector dir;
    do {
      dir = vector(frand() - 0.5f, 0.0f, frand() - 0.5f);
    } while (dir.length() < 0.03f);
    h.decal(bitmaps[sizes[i]], at, dir, radius * extents[sizes[i]], tint);
  }
}

#include "Engine/ai/spell_choice.h"

#include <initializer_list>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/spell_outcome.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/engagement.h"
#include "Engine/Objects/objects.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

int32_t Creature_spell_timers[MAX_SPELLS];

namespace {

// Blind, silence, curse, sleep, paralyse, poison, cripple, slow.
constexpr int CURABLE[] = {0, 1, 3, 9, 10, 11, 12, 13};

bool curable(const living_entity* e) {
  for (int s : CURABLE)
    if (e->has_status_effect(s)) return true;
  return false;
}

}  // namespace

float ai_weigh_allies(SpellCandidate* allies, int count, bool heal, bool cure) {
  float total = 0.0f;
  for (int i = 0; i < count; i++) {
    SpellCandidate& a = allies[i];
    a.weight = 0.0f;
    a.bits = 0;
    if (!a.entity) continue;
    const float max_hp = static_cast<float>(a.entity->get_max_points(0));
    if (heal && max_hp > 0.0f && a.entity->hp < 0.5f * max_hp) {
      a.bits |= SPELL_COND_WOUNDED;
      a.weight = 50.0f - 100.0f * (a.entity->hp / max_hp);
    }
    if (cure && curable(a.entity)) {
      a.bits |= SPELL_COND_CURABLE;
      a.weight += 10.0f;
    }
    total += a.weight;
  }
  return total;
}

int ai_choose_support_spell(living_entity* caster, SpellCandidate* allies, int count, int* chosen) {
  *chosen = -1;
  const bool heal = caster->can_cast_spell(SPELL_ID_HEAL);
  const bool cure = caster->can_cast_spell(SPELL_ID_CURE);
  const bool creature = caster->type == OBJ_CREATURE;
  const bool group = caster->can_cast_spell(SPELL_ID_GROUP_HEAL) &&
                     (!creature || timer_game_clock >= Creature_spell_timers[SPELL_ID_GROUP_HEAL]);
  const float total = ai_weigh_allies(allies, count, heal, cure);
  if (!(total > 0.0f)) return -1;
  int wounded = 0;
  for (int i = 0; i < count; i++) wounded += (allies[i].bits & SPELL_COND_WOUNDED) ? 1 : 0;
  if (group && wounded > 2) return SPELL_ID_GROUP_HEAL;
  const float r = frand();
  float running = 0.0f;
  for (int i = 0; i < count; i++) {
    running += allies[i].weight;
    if (running / total > r) {
      *chosen = i;
      if (allies[i].bits & SPELL_COND_WOUNDED) return SPELL_ID_HEAL;
      if (allies[i].bits & SPELL_COND_CURABLE) return SPELL_ID_CURE;
      return -1;
    }
  }
  return -1;
}

namespace {

constexpr int CAST_PRIORITY = 999999;
constexpr int CHOICE_GIVE_UP_MS = 7000;
constexpr uint32_t AIF_NO_SPELL_CHOICE = 0x4;
// A target drained this often is left alone by the drain spell.
constexpr int SPELL_13_MAX_DRAINS = 5;

bool creature_timer_reached(const living_entity* e, int spell) {
  return e->type != OBJ_CREATURE || timer_game_clock >= Creature_spell_timers[spell];
}

uint32_t condition_bits(const living_entity* e) {
  uint32_t b = 0;
  if (e->has_status_effect(STATUS_SLEEP)) b |= SPELL_COND_ASLEEP;
  if (e->has_status_effect(STATUS_TURNED)) b |= SPELL_COND_TURNED;
  if (e->has_status_effect(STATUS_PARALYZE)) b |= SPELL_COND_PARALYSED;
  if (e->has_status_effect(STATUS_BLIND)) b |= SPELL_COND_BLIND;
  if (e->has_status_effect(STATUS_SILENCE)) b |= SPELL_COND_SILENCED;
  if (e->has_status_effect(STATUS_POISON)) b |= SPELL_COND_POISONED;
  return b;
}

bool claimed_by_anyone(const living_entity* target) {
  for (const ai_attack_slot& s : target->ai.attack_slots) {
    const living_entity* a = entity_from_handle(s.attacker);
    if (a && !(a->state & ES_DEAD)) return true;
  }
  return false;
}

bool is_controlled(const living_entity* e) {
  const EntityGameHooks& g = entity_game();
  return g.selected && g.selected() == e;
}

// Up to SPELL_CANDIDATES live entities the filter accepts, nearest first,
// with their distances.
template <class Accept>
int gather(const living_entity* from, SpellCandidate* out, Accept accept) {
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if ((e->state & ES_DEAD) || !accept(e)) continue;
    const float d = from->distance_to(e, false, -1);
    int at = n < SPELL_CANDIDATES ? n++ : SPELL_CANDIDATES;
    if (at == SPELL_CANDIDATES) {
      if (d >= out[SPELL_CANDIDATES - 1].weight) continue;
      at = SPELL_CANDIDATES - 1;
    }
    while (at > 0 && out[at - 1].weight > d) {
      out[at] = out[at - 1];
      --at;
    }
    out[at] = SpellCandidate{e, d, 0};
  }
  return n;
}

void queue_cast(ai_component* ai, int spell, living_entity* on) {
  if (on)
    ai_queue_action4(ai, spell, on->handle, CAST_PRIORITY);
  else
    ai_queue_action3(ai, spell, CAST_PRIORITY);
  ai_queue_execute(ai);
}

void give_up_choice(ai_component* ai) {
  ai->flags |= AIF_SPELL_BLOCK;
  ai_engage(ai, ai->target);
}

// The gate of the single-type spells: a draw, scaled down while the spell's
// creature timer still runs, must reach the threshold. A spell without a
// duration is never scaled (its share of the duration has no meaning).
bool timer_gate(const living_entity* self, int spell, float threshold) {
  const float r = frand();
  float f = 1.0f;
  const int left = Creature_spell_timers[spell] - timer_game_clock;
  const int duration = Spells[spell].duration;
  if (self->type == OBJ_CREATURE && left > 0 && duration > 0 && duration != SPELL_NO_DURATION)
    f = 1.0f - static_cast<float>(left) / (static_cast<float>(duration) * 1000.0f);
  return r * f >= threshold;
}

float hp_share(const living_entity* e) {
  const float max = static_cast<float>(e->get_max_points(0));
  return max > 0.0f ? e->hp / max : 0.0f;
}

template <class Weigh>
int weighted_candidate(SpellCandidate* list, int count, Weigh weigh) {
  float total = 0.0f;
  for (int i = 0; i < count; i++) {
    total += list[i].entity ? weigh(list[i]) : 0.0f;
    list[i].weight = total;
  }
  if (!(total > 0.0f)) return -1;
  const float r = frand() * total;
  for (int i = 0; i < count; i++)
    if (list[i].weight > r) return i;
  return -1;
}

}  // namespace

int ai_choose_spell_6(const ai_component* ai, SpellCandidate* list, int count, int* chosen) {
  living_entity* self = ai->owner;
  *chosen = -1;
  if (!self || !self->can_cast_spell(6) || !timer_gate(self, 6, 0.9f)) return -1;
  *chosen = weighted_candidate(list, count, [](const SpellCandidate& c) {
    return (c.bits & SPELL_COND_POISONED) ? 0.0f : hp_share(c.entity);
  });
  return *chosen >= 0 ? 6 : -1;
}

int ai_choose_spell_13(const ai_component* ai, SpellCandidate* list, int count, int* chosen) {
  living_entity* self = ai->owner;
  *chosen = -1;
  if (!self || !self->can_cast_spell(13) || !creature_timer_reached(self, 13) || !timer_gate(self, 13, 0.95f))
    return -1;
  *chosen = weighted_candidate(list, count, [](const SpellCandidate& c) {
    const int drains = c.entity->level_drains;
    return drains < SPELL_13_MAX_DRAINS && c.entity->level >= 2 ? 0.5f / static_cast<float>(drains + 1) : 0.0f;
  });
  return *chosen >= 0 ? 13 : -1;
}

int ai_choose_spell_24(const ai_component* ai, SpellCandidate* list, int count, int* chosen) {
  living_entity* self = ai->owner;
  *chosen = -1;
  if (!self || !self->can_cast_spell(24) || !timer_gate(self, 24, 0.95f)) return -1;
  *chosen = weighted_candidate(list, count, [](const SpellCandidate& c) {
    const float share = hp_share(c.entity);
    return share <= 0.25f ? 0.0f : share;
  });
  return *chosen >= 0 ? 24 : -1;
}

float spell_ai_condition(const living_entity* target, int spell) {
  if (!target || spell < 0 || spell >= MAX_SPELLS) return 0.0f;
  return spell_can_affect(target, spell) > 0.0f ? 1.0f : 0.0f;
}

float ai_condition_factor(const living_entity* caster) {
  (void)caster;
  return 1.0f;
}

float ai_spell_weight(const ai_component* ai, int spell, int candidate, const SpellCandidate* list, int count,
                      float total, SpellPick* picks, int* pick_count, int room) {
  living_entity* self = ai->owner;
  if (!self || spell < 0 || spell >= MAX_SPELLS || !self->can_cast_spell(spell)) return total;
  const SpellCandidate& c = list[candidate];
  const living_entity* target = c.entity;
  float w = 10.0f;
  if (spell == 33 || spell == 37) {
    if (c.bits & SPELL_COND_ASLEEP)
      w = 0.0f;
    else if (!claimed_by_anyone(target)) {
      const living_entity* leader = entity_from_handle(target->ai.leader);
      w = leader && leader->get_team() == self->get_team() ? 15.0f : 10.0f;
    } else {
      w = 0.0f;
    }
  } else if (spell == 36) {
    w = (c.bits & SPELL_COND_TURNED) ? 0.0f : 10.0f;
  } else if (spell == 34) {
    w = (c.bits & SPELL_COND_PARALYSED) ? 0.0f : 10.0f;
  } else if (spell == 26 && self->type == OBJ_PLAYER) {
    float sum = 0.0f;
    bool others = false;
    for (int i = 0; i < count; i++) {
      const living_entity* m = list[i].entity;
      if (!m || m == self || m->ai.target != target->handle || m->ai.state != AI_STATE_COMBAT) continue;
      others = true;
      sum += 5.0f * m->get_resistance(0);
    }
    w = others ? sum : 10.0f;
  }
  if (spell == ai->last_spell) w *= 4.0f;
  const float condition = spell_ai_condition(target, spell);
  if (condition < 0.1f) return total;
  // An entity without action points cannot afford any spell: dividing by
  // them would give no weight a meaning.
  if (self->ap <= 0) return total;
  w = ((condition - 1.0f) * ai_condition_factor(self) + 1.0f) * w - Spells[spell].cost / static_cast<float>(self->ap) * 5.0f;
  if (!(w >= 0.0f)) return total;
  total += w;
  if (*pick_count < room) picks[(*pick_count)++] = SpellPick{spell, total};
  return total;
}

int ai_choose_spell_7_8(const ai_component* ai, SpellCandidate* list, int count, int* chosen) {
  living_entity* self = ai->owner;
  *chosen = -1;
  if (!self || self->type == OBJ_PLAYER) return -1;
  if (!(frand() < 0.7f)) return -1;
  const bool seven = self->can_cast_spell(7) && creature_timer_reached(self, 7);
  const bool eight = self->can_cast_spell(8) && creature_timer_reached(self, 8);
  float total = 0.0f;
  for (int i = 0; i < count; i++) {
    SpellCandidate& c = list[i];
    if (seven && !(c.bits & SPELL_COND_BLIND)) c.bits |= SPELL_COND_WANTS_7;
    if (eight && !(c.bits & SPELL_COND_SILENCED)) c.bits |= SPELL_COND_WANTS_8;
    c.weight = total;
    if (c.bits & (SPELL_COND_WANTS_7 | SPELL_COND_WANTS_8)) total += is_controlled(c.entity) ? 15.0f : 10.0f;
    c.weight = total;
  }
  if (!(total > 0.0f)) return -1;
  const float r = frand() * total;
  const int behaviour = ai_get_behaviour(ai);
  const bool caster = behaviour == 4 || behaviour == 5;
  for (int i = 0; i < count; i++) {
    if (!(list[i].bits & (SPELL_COND_WANTS_7 | SPELL_COND_WANTS_8)) || !(list[i].weight > r)) continue;
    *chosen = i;
    if ((list[i].bits & SPELL_COND_WANTS_8) && (is_controlled(list[i].entity) || caster)) return 8;
    if ((list[i].bits & SPELL_COND_WANTS_7) && !caster) return 7;
    return -1;
  }
  return -1;
}

int ai_choose_offense_spell(ai_component* ai, SpellCandidate* list, int* count, int* chosen) {
  *chosen = -1;
  living_entity* self = ai->owner;
  living_entity* target = entity_from_handle(ai->target);
  int at = -1;
  for (int i = 0; i < *count; i++)
    if (list[i].entity == target) at = i;
  if (target && at < 0 && *count < SPELL_CANDIDATES) {
    at = (*count)++;
    list[at] = SpellCandidate{target, 0.0f, 0};
  }
  for (int i = 0; i < *count; i++) list[i].bits = list[i].entity ? condition_bits(list[i].entity) : 0;
  if (!self || !target || at < 0) return -1;
  *chosen = at;
  if (!(self->get_team() == 0 && target->get_team() == 0)) {
    int c = -1;
    int spell = ai_choose_spell_7_8(ai, list, *count, &c);
    const int kind = self->character ? self->character->kind : -1;
    if (spell < 0 && kind == 202) spell = ai_choose_spell_6(ai, list, *count, &c);
    if (spell < 0 && kind == 9) spell = ai_choose_spell_24(ai, list, *count, &c);
    if (spell < 0 && kind == 185) spell = ai_choose_spell_13(ai, list, *count, &c);
    if (spell >= 0) {
      *chosen = c;
      return spell;
    }
  }
  SpellPick picks[3];
  int n = 0;
  float total = 0.0f;
  // Spell 26 is left out while an effect of its kind (26, 29, 78) lives.
  const bool spread_free = fx_count_special_spell_effects() == 0;
  for (int spell : {15, 25, 26}) {
    if (spell == 26 && !spread_free) continue;
    total = ai_spell_weight(ai, spell, at, list, *count, total, picks, &n, 3);
  }
  if (!(total > 0.0f)) return -1;
  const float r = frand() * total;
  for (int i = 0; i < n; i++)
    if (picks[i].running > r) return picks[i].spell;
  return picks[n - 1].spell;
}

void ai_combat_choose_spell(ai_component* ai) {
  living_entity* self = ai->owner;
  if (!self) return;
  self->set_move_mode(0.0f);
  if (timer_game_clock - ai->state_timer > CHOICE_GIVE_UP_MS || is_controlled(self) ||
      (ai->flags & AIF_NO_SPELL_CHOICE)) {
    give_up_choice(ai);
    return;
  }
  if (ai->pending_spell >= 0) {
    for (const ai_action& a : ai->queue)
      if ((a.type == 3 || a.type == 4) && a.spell == ai->pending_spell) return;
  }
  ai->flags &= ~AIF_SPELL_BLOCK;
  float range = 0.0f;
  if (self->has_status_effect(STATUS_SILENCE) || !self->wants_spell(&range)) {
    give_up_choice(ai);
    return;
  }
  if (ai_get_behaviour(ai) == 5 && self->type != OBJ_PLAYER) {
    // A healer looks after its own side, never its target's.
    SpellCandidate allies[SPELL_CANDIDATES + 1];
    const int team = self->get_team();
    int n = gather(self, allies, [&](const living_entity* e) { return e->get_team() == team; });
    bool has_self = false;
    for (int i = 0; i < n; i++) has_self |= allies[i].entity == self;
    if (!has_self) allies[n++] = SpellCandidate{self, 0.0f, 0};
    int ally = -1;
    const int spell = ai_choose_support_spell(self, allies, n, &ally);
    if (spell >= 0) {
      queue_cast(ai, spell, ally >= 0 ? allies[ally].entity : nullptr);
      return;
    }
  }
  SpellCandidate list[SPELL_CANDIDATES];
  int n = gather(self, list, [&](const living_entity* e) {
    return self->type == OBJ_PLAYER ? (e->type == OBJ_PLAYER && e != self) : (e->type == OBJ_PLAYER && self->is_hostile_to(e));
  });
  int chosen = -1;
  const int spell = ai_choose_offense_spell(ai, list, &n, &chosen);
  if (spell < 0) {
    give_up_choice(ai);
    return;
  }
  ai->pending_spell = spell;
  living_entity* on = chosen >= 0 ? list[chosen].entity : nullptr;
  living_entity* target = entity_from_handle(ai->target);
  if (target && self->distance_to(target, false, -1) > Spells[spell].distance) {
    ai_engage(ai, ai->target);
    return;
  }
  queue_cast(ai, spell, on);
}

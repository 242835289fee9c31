#include "Engine/ai/spell_choice.h"

#include "Engine/Objects/living_entity.h"
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

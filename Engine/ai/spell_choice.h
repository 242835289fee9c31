#pragma once
// Creature spell choice, the healing part: which ally a healer (behaviour
// 5) heals or cures, and when the group heal is worth it. Weights come
// from each ally's wounds and curable statuses; the draw is the game's
// seeded source.
#include <cstdint>

#include "Engine/characterinfo/spells.h"

class living_entity;

// Condition bits of a candidate.
constexpr uint32_t SPELL_COND_WOUNDED = 1;  // below half its HP
constexpr uint32_t SPELL_COND_CURABLE = 2;  // under a curable status

// Spells of the healing choice.
constexpr int SPELL_ID_HEAL = 0;
constexpr int SPELL_ID_CURE = 1;
constexpr int SPELL_ID_GROUP_HEAL = 4;

struct SpellCandidate {
  living_entity* entity = nullptr;
  float weight = 0.0f;  // distance, then weight, then running weight
  uint32_t bits = 0;
};

// When each spell may next be used by a creature (game clock, ms); shared
// by all creatures.
extern int32_t Creature_spell_timers[MAX_SPELLS];

// Weighs the allies (weight and bits of each) and answers the sum: a
// wounded ally 50 - 100 x its HP share, a curable one 10 more.
float ai_weigh_allies(SpellCandidate* allies, int count, bool heal, bool cure);
// -1 none, SPELL_ID_HEAL or SPELL_ID_CURE with *chosen the ally, or
// SPELL_ID_GROUP_HEAL when more than two allies are wounded and it may be cast.
int ai_choose_support_spell(living_entity* caster, SpellCandidate* allies, int count, int* chosen);

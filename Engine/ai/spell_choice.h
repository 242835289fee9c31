#pragma once
// Creature spell choice, the healing part: which ally a healer (behaviour
// 5) heals or cures, and when the group heal is worth it. Weights come
// from each ally's wounds and curable statuses; the draw is the game's
// seeded source.
#include <cstdint>

#include "Engine/ai/ai_component.h"
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

// The offensive choice. Condition bits the offensive choice sets on its
// candidates.
constexpr uint32_t SPELL_COND_WANTS_7 = 16, SPELL_COND_WANTS_8 = 32, SPELL_COND_ASLEEP = 64,
                   SPELL_COND_TURNED = 128, SPELL_COND_PARALYSED = 0x100, SPELL_COND_BLIND = 0x200,
                   SPELL_COND_SILENCED = 0x400, SPELL_COND_POISONED = 0x800;
constexpr int SPELL_CANDIDATES = 10;

// A spell entered in a weighted draw with the running total up to it.
struct SpellPick {
  int spell = -1;
  float running = 0.0f;
};

// The weight of casting `spell` at list[candidate]; appended to picks (at
// most `room`) with the running total when positive. The new total.
float ai_spell_weight(const ai_component* ai, int spell, int candidate, const SpellCandidate* list, int count,
                      float total, SpellPick* picks, int* pick_count, int room);
// Support spells 7 (against blindness) and 8 (against silence): -1, 7 or 8
// with *chosen the candidate.
int ai_choose_spell_7_8(const ai_component* ai, SpellCandidate* list, int count, int* chosen);
// The support spells of single types: 6 (type 202) on a candidate not yet
// poisoned, 24 (type 9) on one above a quarter of its hit points; each
// weighted by the candidate's share of hit points and rationed by the
// spell's creature timer. -1, or the spell with *chosen the candidate.
int ai_choose_spell_6(const ai_component* ai, SpellCandidate* list, int count, int* chosen);
int ai_choose_spell_24(const ai_component* ai, SpellCandidate* list, int count, int* chosen);
// The level drain (13, type 185): weighted 0.5 / (drains + 1) on candidates
// of level 2 or more drained fewer than five times.
int ai_choose_spell_13(const ai_component* ai, SpellCandidate* list, int count, int* chosen);
// 1 when the spell can take effect on the target at all (its resistances,
// immunities and state allow it), else 0.
float spell_ai_condition(const living_entity* target, int spell);
// How much a caster's type lets a spell's condition scale its weight; 1
// for every type (with conditions of 1 or 0 it cancels out).
float ai_condition_factor(const living_entity* caster);
// Puts the AI's target in the list (count may grow), sets every candidate's
// bits and answers the spell to cast (-1 none) with *chosen its candidate.
int ai_choose_offense_spell(ai_component* ai, SpellCandidate* list, int* count, int* chosen);
// Combat sub-state 21: choose a spell and a target, then cast or close in.
void ai_combat_choose_spell(ai_component* ai);

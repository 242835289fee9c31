#pragma once
// Applying a spell's outcome record to a living entity: every machine
// applies the same record; hit points, action points and statuses change
// only on the host (or in a single-player game), effects and reactions
// everywhere.
#include <cstdint>

#include "Engine/Objects/spell_outcome.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct Item_info;

// The record a release carries: where the spell lands may be absent.
struct SpellHitRecord {
  int32_t spell = -1;
  int32_t caster = -1;
  bool has_pos = false;
  vector pos{0, 0, 0};
  bool has_orient = false;
  matrix orient{};
  int32_t source = 0;
  const Item_info* item = nullptr;
  SpellOutcome outcome;
};

// What applying needs beyond the entity: the spell's sound at a place and
// the AI's attention.
struct SpellHitHooks {
  void (*play_sound)(int spell, const vector& at) = nullptr;
  void (*consider_target)(living_entity* e, living_entity* caster) = nullptr;
  // The AI's trip (lying down for ms) and push away from the caster.
  void (*trip)(living_entity* e, int ms) = nullptr;
  void (*push)(living_entity* e, living_entity* caster) = nullptr;
  // Whether any party member still stands (a wiped party takes no spells).
  bool (*party_standing)() = nullptr;
};
void spell_hits_set_hooks(const SpellHitHooks& hooks);
const SpellHitHooks& spell_hits_hooks();

#pragma once
// Summoned creatures: a hero's summon grows with the experience of the
// matching elemental ring and joins the party at the price of part of the
// hero's maximum hit points; other casters' summons fight on their side.
#include "quarn/math/vector.h"

class living_entity;

struct SummonHooks {
  // The party takes a hero's summon in as a member.
  void (*join_party)(living_entity* caster, living_entity* summon) = nullptr;
  // The camera turns to a dragon that arrives.
  void (*camera_to)(living_entity* summon) = nullptr;
  // The hero lends its summon this much of its maximum hit points; the
  // party keeps the amount to give back when the summon goes.
  void (*lend_hit_points)(living_entity* caster, float amount) = nullptr;
};

// The state bit a dragon's arrival gives every entity outside the party:
// it stands still while the dragon is about.
constexpr uint32_t ES_STANDS_STILL = 16;
void summons_set_hooks(const SummonHooks& hooks);

// The ring experience that sets the level of a hero's summon of a kind.
int summon_ring_xp(int kind);
// The level a summon of a kind gets from the caster (at least 1).
int summon_level(const living_entity* caster, int kind);
// Summons the spell's creature at a place, facing the caster (an existing
// entity, when given, is moved there instead of making one); null when the
// spell summons nothing or no entity can be made.
living_entity* summon_creature(living_entity* caster, const vector& at, int spell, int existing = -1);
// The last creature a hero summoned (-1 none), and spell 54's ending of it.
int summon_current();
void summon_end_current();
// The current summon is gone (its death): nothing is current any more.
void summon_forget();

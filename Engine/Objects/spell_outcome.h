#pragma once
// The spell outcome: what a released spell does, decided once on the side
// that casts and then applied unchanged on every machine. Thirteen 32-bit
// words, little-endian on the wire: word 0 holds the in-use bit (0), the
// layout of words 1-12 (bits 1-6, 63 empty), the take-hold mask (bits
// 7-28, one per target) and the category (bits 29-31, 2 hostile).
#include <cstdint>

class living_entity;
struct Item_info;

constexpr int SPELL_OUTCOME_WORDS = 13;
constexpr int SPELL_OUTCOME_POOL = 16;
constexpr int OUTCOME_EMPTY = 63;

enum OutcomeLayout {
  OL_HP = 0, OL_AMOUNT = 1, OL_STATUS = 2, OL_MULTI_DAMAGE = 3, OL_MULTI_STATUS = 4, OL_HP_AND_STATUS = 5,
  OL_HP_BOTH = 6, OL_TOOK_HOLD = 7, OL_AP_DRAIN = 8, OL_FIVE_STATUSES = 9
};

// Source kinds: what released the spell.
enum SpellSource {
  SS_CAST = 0, SS_TYPE_SPECIAL = 1, SS_TYPE_REFLEX = 2, SS_WEAPON_SPECIAL = 3, SS_ARMOUR_SPECIAL = 4,
  SS_ITEM_CHARGE = 5, SS_SKILL_CAST = 6, SS_FULL = 7, SS_WEAK = 8
};

struct SpellOutcome {
  uint32_t w[SPELL_OUTCOME_WORDS] = {OUTCOME_EMPTY << 1};

  int layout() const { return static_cast<int>(w[0] >> 1 & 63); }
  void set_layout(int l) { w[0] = (w[0] & ~(63u << 1)) | (static_cast<uint32_t>(l) & 63) << 1; }
  bool took_hold(int target) const { return (w[0] >> (7 + target) & 1) != 0; }
  void set_took_hold(int target) { w[0] |= 1u << (7 + target); }
  int category() const { return static_cast<int>(w[0] >> 29); }
  void set_category(int c) { w[0] = (w[0] & 0x1FFFFFFFu) | static_cast<uint32_t>(c) << 29; }
  bool in_use() const { return (w[0] & 1) != 0; }
  float f(int i) const;
  void set_f(int i, float v);
  int32_t i(int k) const { return static_cast<int32_t>(w[k]); }
  void set_i(int k, int32_t v) { w[k] = static_cast<uint32_t>(v); }
};

SpellOutcome spell_compute_outcome(living_entity* caster, int spell, int target, const Item_info* item, int source,
                                   float scale);
void spell_hit_threshold(float* resistance, float* threshold, int spell, living_entity* caster,
                         living_entity* target, int level, int source);
float spell_can_affect(const living_entity* e, int spell);
float spell_damage(const living_entity* target, int spell, int count, int die, float resistance);
void spell_pick_random_targets(int32_t out[4], living_entity* caster, int spell);
// The effect level a source kind gives; -1 when the source has none.
int spell_effect_level(const living_entity* caster, int spell, const Item_info* item, int source);

// Bytes on the wire.
void spell_outcome_write(const SpellOutcome& o, uint8_t out[SPELL_OUTCOME_WORDS * 4]);
SpellOutcome spell_outcome_read(const uint8_t in[SPELL_OUTCOME_WORDS * 4]);

// The pool of outcomes that travel with delayed effects.
void spell_outcomes_init();
SpellOutcome* spell_outcome_take();
SpellOutcome* spell_outcome_store(const SpellOutcome& o);
void spell_outcome_free(SpellOutcome* o);

// The ghost boss's stage, which raises spell 80's chance; unset: none.
void spell_outcome_set_ghost_stage(int (*stage)());
// Party members active, for the party scaling of damage; unset: none.
void spell_outcome_set_party_count(int (*count)());

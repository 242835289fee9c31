#pragma once
// The spell table: 108 spells read once at start-up from "spells.tbl". Every
// user names a spell by its number 0..107, its place in the file, so the
// file must always hold exactly 108 records and keep each class together.
#include <cstdint>

#include "Engine/characterinfo/table_sound.h"

constexpr int MAX_SPELLS = 108;
constexpr int NUM_SPELL_CLASSES = 8;
constexpr int SPELL_STRING_POOL_SIZE = 12288;
constexpr uint16_t SPELL_NO_DURATION = 65535;

enum SpellClass { SPELL_HEAL, SPELL_DARK, SPELL_ENERGY, SPELL_HOLY, SPELL_FIRE, SPELL_ICE, SPELL_SUMMON, SPELL_MISC };
extern const char* const Spell_class_names[NUM_SPELL_CLASSES];
// The learned skill each class tests; -1 for misc.
extern const int Spell_class_skill[NUM_SPELL_CLASSES];

enum SpellFlags : uint32_t {
  SPELL_OFFENSIVE = 0x01, SPELL_TARGET_CHARACTER = 0x02, SPELL_TARGET_LOCATION = 0x04,
  SPELL_SERVER_AUTHORIZE = 0x08, SPELL_FADE_PROPS = 0x10, SPELL_BENEFICIAL = 0x20,
  SPELL_STATUS_CHANGE = 0x40, SPELL_HIT_ONLY = 0x80
};

struct Spell_info {
  int32_t spell_class = 0;
  int32_t number = 0;
  const char* name = nullptr;
  const char* cast_effect = nullptr;
  TableSound cast_sound = TABLE_SOUND_NONE;
  const char* hit_effect = nullptr;
  TableSound hit_sound = TABLE_SOUND_NONE;
  const char* preloaded_hit_effect = nullptr;
  const char* misc_effect = nullptr;
  TableSound misc_sound = TABLE_SOUND_NONE;
  const char* banish_effect = nullptr;
  int32_t variation = 0;
  float cost = 0.0f;
  float skill = 0.0f;
  float hit_chance = 1.0f;
  int32_t die = 0;
  uint16_t duration = SPELL_NO_DURATION;
  int16_t recovery_time = -1;
  int16_t ai_recovery_time = -1;
  int16_t loop_time = 0;
  int32_t emerge_time = 0;
  float distance = 0.0f;
  uint32_t flags = 0;
  int32_t damage_type = -1;
  float target_radius = 0.0f;
};

extern Spell_info Spells[MAX_SPELLS];

struct SpellClassRun {
  int count = 0;
  int first = 0;
};
extern SpellClassRun Spell_class_index[NUM_SPELL_CLASSES];

// Reads "spells.tbl" from the tables folder; a bad table is fatal through
// the parser.
void spells_load();
// The same from text in memory (tests, tools and the fuzz target).
void spells_load_text(const char* filename, const char* text, int length);
void spells_free();
// Entering gameplay: the sounds register again on first use in the level.
void spells_reset_for_level();

int spell_find_by_name(const char* name);
int spell_find_by_variation(int variation);
int spell_get_class(int spell);
const char* spell_cast_effect(int spell);
const char* spell_hit_effect(int spell);
const char* spell_preload_hit_effect(int spell);

// The status effect a status spell starts, -1 for other spells.
int spell_status_slot(int spell);
// Milliseconds the status of a spell lasts at a caster level.
int spell_status_duration(int spell, int level);
float spell_status_strength(int status, int level);
// Milliseconds between the repeating ticks of a status, 0 for none.
int status_tick_period(int status);

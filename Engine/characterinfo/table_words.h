#pragma once
// The word lists the game's data tables and its code share. Tables name
// things by these words; the code keeps only the numbers, so the order of
// every list is fixed: a new word goes at the end, never in between.
//
// Words are read without regard to case, quoted or bare; a bare word may be
// several words long ("tripped lie down"), and the longest list entry that
// ends at a word boundary wins.
#include <strings.h>

#include <cstdint>

class ParseContext;

// Hero kinds: the character kinds below 4.
enum HeroKind { HERO_RUVIZO = 0, HERO_ZAZURU = 1, HERO_RIVUD = 2, HERO_RIVADARA = 3, NUM_HEROES = 4 };
extern const char* const Hero_names[NUM_HEROES];

// Damage types, in this order everywhere.
enum DamageType {
  DAMAGE_FIRE, DAMAGE_ICE, DAMAGE_ENERGY, DAMAGE_MAGIC, DAMAGE_SLASHING, DAMAGE_PIERCING, DAMAGE_BLUNT,
  NUM_DAMAGE_TYPES
};
extern const char* const Damage_type_names[NUM_DAMAGE_TYPES];

// Resistance levels of a character type against one damage type.
enum ResistLevel {
  RESIST_WEAK, RESIST_VULNERABLE, RESIST_STANDARD, RESIST_STRONG, RESIST_INVULNERABLE, RESIST_STRENGTHEN,
  NUM_RESIST_LEVELS
};
extern const char* const Resist_level_names[NUM_RESIST_LEVELS];
// One minus the damage multiplier of a resistance level: weak -1.0 up to
// strengthen 1.5, which turns the damage into healing. Unknown levels: 0.
float charinfo_resistance_factor(int level);

constexpr int NUM_MOVE_LISTS = 16;
// Move lists 0..14 have names; list 15 has none and no table can fill it.
enum MoveList {
  MOVE_ATTACK, MOVE_SPECIAL_ATTACK, MOVE_PARRY, MOVE_DODGE, MOVE_FLINCH, MOVE_NONCOMBAT_FLINCH, MOVE_DEATH,
  MOVE_CAST, MOVE_MOVEMENT, MOVE_MISC, MOVE_TRANSITION, MOVE_RANGED_ATTACK, MOVE_EMERGE, MOVE_BANISH,
  MOVE_STATE
};
constexpr int NUM_NAMED_MOVE_LISTS = 15;
extern const char* const Move_list_names[NUM_NAMED_MOVE_LISTS];

constexpr int NUM_WEAPON_CLASSES = 9;
extern const char* const Weapon_class_names[NUM_WEAPON_CLASSES];

constexpr int NUM_MATERIALS = 17;
extern const char* const Material_names[NUM_MATERIALS];

constexpr int NUM_PROP_SLOTS = 16;
constexpr int PROP_SLOT_NONE = 17;
extern const char* const Prop_slot_names[NUM_PROP_SLOTS];

// Trigger types 1..13 (0 is "no trigger").
constexpr int NUM_TRIGGER_TYPES = 14;
enum TriggerType {
  TRIGGER_NONE = 0, TRIGGER_CRITICAL_END = 6, TRIGGER_IMPACT_START = 7, TRIGGER_NO_INTERRUPT = 9,
  TRIGGER_LEFT_FOOT = 12, TRIGGER_RIGHT_FOOT = 13
};
extern const char* const Trigger_type_names[NUM_TRIGGER_TYPES];  // entry 0 is null

constexpr int NUM_LOCATIONS = 4;  // 0 none, 1 low, 2 medium, 3 high
extern const char* const Location_names[NUM_LOCATIONS];  // entry 0 is null

// Move variations: 194 entries, entry 0 has no name.
constexpr int NUM_VARIATIONS = 194;
extern const char* const Variation_names[NUM_VARIATIONS];
// Variations the code tests by number.
enum Variation {
  VARIATION_STAND_TO_READY_HURT = 37, VARIATION_READY_TO_STAND_HURT = 38, VARIATION_HEAL = 41,
  VARIATION_SUMMON_FOREST = 128, VARIATION_TRIPPED_LIE_DOWN = 143, VARIATION_PUSHED = 145,
  VARIATION_STAND_HURT = 148, VARIATION_READY_HURT = 149, VARIATION_WALK_HURT = 154, VARIATION_RUN_HURT = 155,
  VARIATION_NORM_WALK_HURT = 156, VARIATION_NORM_RUN_HURT = 157, VARIATION_TURN_LEFT = 165,
  VARIATION_TURN_RIGHT = 166
};

constexpr int NUM_SIZES = 4;
extern const char* const Size_names[NUM_SIZES];
constexpr int NUM_TEAMS = 4;
extern const char* const Team_names[NUM_TEAMS];

// Index of name in a list of count entries (null entries skipped), ignoring
// case; -1 when absent.
int word_index(const char* const* names, int count, const char* name);
// The same over a table of records by their `name` field.
template <class Record>
int record_index(const Record* records, int count, const char* name) {
  if (!name) return -1;
  for (int i = 0; i < count; i++) {
    const char* n = records[i].name;
    if (n && strcasecmp(n, name) == 0) return i;
  }
  return -1;
}

// Reads one word of the list at the cursor, quoted or bare; anything else is
// the parser's error "a valid type string". Returns its index.
int read_word(ParseContext& pc, const char* const* names, int count);
// As read_word, but -1 with nothing consumed when no entry matches.
int optional_word(ParseContext& pc, const char* const* names, int count);

// Reads a table of the tables folder with a reader (a missing file is the
// parser's fatal open error), or the same table from text in memory.
using TableReader = void (*)(ParseContext& pc);
void table_read_file(const char* filename, TableReader read);
void table_read_text(const char* filename, const char* text, int length, TableReader read);

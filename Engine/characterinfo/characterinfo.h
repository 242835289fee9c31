#pragma once
// Character types: one Character_info record per type of creature, hero or
// townsperson, read at start-up from "<lower-cased type name>.tbl" for every
// type the built-in list flags for loading. Records and their moves live for
// the whole run; living entities point at them.
//
// Moves of one list are kept in reverse file order (each new move goes to
// the head), and alternate characters share their parent's moves.
#include <cstdint>

#include "Engine/characterinfo/table_sound.h"
#include "Engine/characterinfo/table_words.h"

#define MAX_CHARACTER_INFO 256
#define MAX_TOTAL_MOVES 3250
#define MAX_CASTABLE_SPELLS 250
#define CHARACTER_STRING_POOL_SIZE 84992
#define NUM_CHARACTER_TYPES 224
#define NUM_SKILLS 84
#define SKILL_NONE 85
#define MAX_DEFAULT_WEAPONS 2
#define MAX_MOVE_TRIGGERS 3
#define MAX_FOOTSTEP_SETS 3
#define NUM_FOOTSTEP_SURFACES 5
#define MAX_DROPS 5
#define MAX_MP_DROPS 17
#define NUM_ATTACK_TAGS 8

struct CharacterTypeRow {
  const char* name;
  int32_t kind;
  uint8_t load;
};
extern const CharacterTypeRow Character_type_list[NUM_CHARACTER_TYPES];

enum CharacterFlags : uint32_t {
  CIF_NO_SHADOW = 0x1, CIF_EDGED = 0x2, CIF_ELONGATED = 0x4, CIF_NOTRIP = 0x8, CIF_NOPUSH = 0x10,
  CIF_NOBACKSTAB = 0x20, CIF_NOAIMEDATTACK = 0x40, CIF_NOBLIND = 0x80, CIF_NOSILENCE = 0x100,
  CIF_USE_MONSTER_DAMAGE = 0x200, CIF_TAGS_RESOLVED = 0x400, CIF_FLYING = 0x800,
  CIF_SHORT_DIALOGUE_CAMERA = 0x1000, CIF_REALLY_SHORT_DIALOGUE_CAMERA = 0x2000,
  CIF_TALL_DIALOGUE_CAMERA = 0x4000, CIF_NO_DRAW = 0x8000, CIF_MP_COPY = 0x10000
};

struct MoveTrigger {
  int32_t type = 0;  // 0 = none
  float time = 0.0f;  // seconds
};

struct Move_info {
  const char* action = nullptr;
  const char* animation = nullptr;
  int32_t anim_slot = -1;  // also the move's id
  uint32_t class_mask = 1;
  int32_t list = 0;
  int32_t variation = 0;
  int32_t location = 0;
  MoveTrigger triggers[MAX_MOVE_TRIGGERS];
  TableSound sound = TABLE_SOUND_NONE;
  Move_info* next = nullptr;
  const char* contact_tag = nullptr;
  const char* effect = nullptr;
};

struct Character_info {
  const char* name = nullptr;
  const char* portrait = nullptr;
  const char* texture_effect = nullptr;
  const char* vfx = nullptr;
  int32_t kind = -1;
  uint32_t checksum = 0;
  int32_t anim_path_type = -1;
  uint32_t current_class_mask = 0;
  uint32_t allowed_weapon_classes = 0xFFFFFFFFu;
  uint16_t max_hit_points = 0, hit_points = 0, max_ability_points = 0, ability_points = 0;
  uint16_t experience_gained = 0;
  int32_t level = 1;
  float attack_radius = 0.0f;
  uint16_t damage = 0;
  uint16_t special_spell = 65535, special_extra = 0;
  float special_chance = 0.0f;
  uint16_t reflex_spell = 65535, reflex_extra = 0;
  float reflex_chance = 0.0f;
  Move_info* moves[NUM_MOVE_LISTS] = {};
  int32_t team = 0;
  int32_t size = 0;
  uint8_t skills[NUM_SKILLS] = {};
  uint8_t chain[4] = {SKILL_NONE, SKILL_NONE, SKILL_NONE, SKILL_NONE};  // up, down, right, left
  TableSound alert_sound = TABLE_SOUND_NONE;
  int32_t resistances[NUM_DAMAGE_TYPES] = {2, 2, 2, 2, 2, 2, 2};
  int16_t default_weapon_count = 0;
  uint16_t default_weapons[MAX_DEFAULT_WEAPONS] = {65535, 65535};
  int32_t default_weapon_materials[MAX_DEFAULT_WEAPONS] = {};
  int32_t default_prop_tag = PROP_SLOT_NONE;
  const char* prop_tags[NUM_PROP_SLOTS] = {};
  int16_t prop_tag_bones[NUM_PROP_SLOTS] = {};
  int16_t attack_tag_count = 0;
  int16_t attack_tag_bones[NUM_ATTACK_TAGS] = {};
  uint16_t footstep_set_count = 1;
  int16_t castable_spell_count = 0;
  // Footstep sounds of the left then the right foot, per set and surface.
  TableSound footsteps[2][MAX_FOOTSTEP_SETS][NUM_FOOTSTEP_SURFACES];
  int32_t skin_material = 1;
  int16_t* castable_spells = nullptr;
  float fov_range = 0.0f, detection_range = 0.0f;
  float speedup_rate = 0.0f, slowdown_rate = 0.0f;
  float slow_turn_rate = 0.0f, fast_turn_rate = 0.0f, moving_turn_rate = 0.0f;
  float intelligence = 0.5f;
  uint8_t has_light = 0;
  const char* light_tag = nullptr;
  float light_color[3] = {};
  float light_atten = 0.0f;
  uint32_t flags = 0;
  int32_t head_bone = -1;
  float head_height = 0.0f;
  float icon_height = 2.0f;
  int32_t alt_texture_set = -1;
  int32_t alt_texture_variant = 0;
  Character_info* parent = nullptr;
  int32_t drop_count = 0;
  int32_t drop_items[MAX_MP_DROPS] = {};
  float drop_chances[MAX_MP_DROPS] = {};
  int32_t mp_drop_count = 0;
  int32_t mp_drop_items[MAX_MP_DROPS] = {};
  float mp_drop_chances[MAX_MP_DROPS] = {};
  int32_t mp_drop_counts[MAX_MP_DROPS] = {};
  // Read by living-entity set-up: a particle emitter attached at a tag of
  // the model, and an ambient effect attached to every entity of the type.
  // No table key sets them yet; the game code may.
  const char* particle_emitter = nullptr;
  const char* emitter_tag = nullptr;
  const char* ambient_effect = nullptr;
  // Read by the AI: a type that never acts on its own, one that shrugs off
  // stuns, one no close special attack may be made on, and how many
  // numbered offense points attackers may hold around it. The type flag
  // word keeps its own meanings; no table key sets these yet.
  bool ai_cannot_act = false;
  bool ai_cannot_be_stunned = false;
  bool ai_no_close_action = false;
  int32_t offense_point_count = 0;
};

extern Character_info Character_infos[MAX_CHARACTER_INFO];
extern int Num_character_infos;
// Set by the console switch All_summons: every summoning skill is allowed.
extern bool All_summons;

// Reads every load-flagged type's table in list order, then builds the
// castable-spell lists. Runs once; a second call does nothing.
void charinfo_init();
// Parses one table into the next free record (and one more per alternate
// character); returns the record.
Character_info* charinfo_load_table(const char* filename);
// The same from text in memory (tests, tools and the fuzz target).
Character_info* charinfo_load_table_text(const char* filename, const char* text, int length);
// Builds the castable-spell lists of all loaded records.
void charinfo_build_castable_spells();
// Empties every record, move and string: tests and the fuzz target start
// from a clean table with it.
void charinfo_reset();

int charinfo_lookup(const char* name);
int charinfo_find_by_kind(int kind);
inline bool charinfo_is_hero(int kind) { return kind >= 0 && kind < 4; }
bool charinfo_is_boss_kind(int kind);
// Index of a name in the built-in type list (ignoring case), -1 when absent.
int charinfo_type_row(const char* name);
int32_t charinfo_species_hash(const char* name);

const Move_info* charinfo_find_move(const Character_info* ci, int move_id);
const Move_info* charinfo_get_move(const Character_info* ci, int list, int variation, bool strict);
const Move_info* charinfo_get_move_by_location(const Character_info* ci, int list, int location, bool strict);
int charinfo_collect_variations(int* out, const Character_info* ci, int list, int excluded_variation);
// Seconds into the move at which the trigger fires; 0 for no move. A move
// without that trigger is fatal "Trigger not found.".
float move_trigger_time(const Move_info* move, int trigger_type);
int charinfo_move_count(const Character_info* ci);
// The id (animation slot) of the first move, lists 0..15 in order, whose
// action or animation (with or without ".mvf") is the name, case ignored;
// -1 when none.
int charinfo_find_move_by_name(const Character_info* ci, const char* name);

// Bone lookups of a base character, supplied by the character models.
using CharinfoBoneLookup = int (*)(const void* base_character, const char* bone_name);
using CharinfoBoneDistance = float (*)(const void* base_character, int bone);
void charinfo_resolve_tags(Character_info* ci, const void* base_character, CharinfoBoneLookup lookup,
                           CharinfoBoneDistance distance);

Move_info* move_info_alloc();
void move_info_free(Move_info* move);

// Where developer files (the move dump, levelchars.txt) go: the user's data
// directory, $XDG_DATA_HOME (default ~/.local/share)/Quorvane/Orrimund Demo.
// False when the path does not fit.
bool charinfo_user_data_path(const char* name, char* out, int size);
// The developer dump of moves: off unless switched on before charinfo_init.
void charinfo_set_move_dump(bool on);
// Writes the move list of a type in the dump's form ("num mvfs" and the
// animations, list by list) to the console.
void charinfo_print_moves(const Character_info* ci);

#pragma once
// Writers of the game's data tables: spells, materials, items, experience,
// alternate textures and character tables. The demo builder and the tests
// build their tables with these, so both read exactly what the game reads.
// Lines end in CR LF, as the game's own tables do.
#include <string>
#include <utility>
#include <vector>

// ---- spells.tbl ------------------------------------------------------------
struct SpellRecord {
  std::string name;
  std::string spell_class = "misc";
  std::string damage_type;  // empty: none
  int hit_chance = -1;      // percent; -1: none
  std::string effects;      // effect and "+Variation:" lines, written as given
  float skill = 10.0f;      // percent
  float cost = 5.0f;
  float distance = 20.0f;
  std::string tail;  // optional keys and flags after "+Distance:", as given
};
// 108 records, each class together, with the variation of each spell's cast
// move and the names the demo uses: "Heal", "Fireball", ... Spell numbers
// keep the roles the game gives them.
std::vector<SpellRecord> table_demo_spells();
std::string table_spells_text(const std::vector<SpellRecord>& spells);

// ---- materials.tbl -----------------------------------------------------------
std::string table_materials_text();

// ---- items.tbl -----------------------------------------------------------------
struct ItemRecord {
  std::string name;
  std::string type = "Misc";  // "Weapon", "Armor" or "Misc"
  std::string slot;           // empty: none
  std::string flags;          // "+Flags:" words, empty: none
  int value = 1;
  std::string model = "item.vim";
  std::string before_type_part;  // modifier, effect, charge and "+Restricted:" lines
  std::string type_part;         // table_weapon_part / table_armor_part, or raw lines
  std::string description;       // empty: none
  std::string tail;              // "+RenderMask:" lines
};
std::string table_weapon_part(const char* skill, const char* weapon_class, int damage, const char* damage_type,
                              float speed, float attack_radius, float weight, const char* material,
                              const std::string& extra = "");
std::string table_armor_part(float speed, float weight, float protection, const char* material,
                             const std::string& textures = "");
// The demo's items: the three level items, the new player's items, the
// eight rings, the servant's outfit, the default weapons and a few more.
std::vector<ItemRecord> table_demo_items();
std::string table_items_text(const std::vector<ItemRecord>& items);

// ---- experience.tbl ----------------------------------------------------------
// Rows "n xp points factor hp0 ap0 ... hp3 ap3"; gains are written as given
// ("12" or "D 6").
struct ExperienceRowText {
  unsigned experience;
  int points;
  int factor;
  std::string gains[8];
};
std::vector<ExperienceRowText> table_demo_experience();
std::string table_experience_text(const std::vector<ExperienceRowText>& rows);

// ---- alt_textures.tbl ----------------------------------------------------------
struct AltTextureBaseRecord {
  std::string base;
  std::vector<std::vector<std::string>> groups;  // replaced texture, then replacements
};
std::string table_alt_textures_text(const std::vector<AltTextureBaseRecord>& bases);

// ---- character tables ----------------------------------------------------------
struct MoveRecord {
  std::string list = "attack";
  std::string animation;
  std::string action;
  std::string classes;    // "+Animation class:" words, empty: none
  std::string sound;      // "$Sound:" line body, empty: none
  std::string location;   // empty: none
  std::string variation;  // empty: none
  std::vector<std::pair<std::string, float>> triggers;  // type word, frame
};
struct CharacterRecord {
  std::string name;
  std::string flags;  // flag keys as given ("+Flying\r\n")
  std::string size = "medium";
  std::string team = "hostile";
  int hit_points = 20;
  int ability_points = 10;
  int level = 1;
  int experience = 0;  // "$Experience Gained:", written when above 0
  float attack_radius = 1.5f;
  std::vector<std::string> default_weapons;  // item names, optionally with " made of <material>"
  std::string after_weapons;                 // "$Damage:", abilities, as given
  std::string resistances;                   // lines inside the block, empty: no block
  std::string skills;                        // "$Up Skill:" ... "$Skill:" lines as given
  std::string before_moves;                  // footsteps, skin, classes, folders as given
  std::vector<MoveRecord> moves;
  std::string tail;  // drops, alert, light, alternates, as given
};
std::string table_character_text(const CharacterRecord& c);
std::string table_move_text(const MoveRecord& m);
// The standard moves a hero needs: attacks 1-5 with triggers 6 and 7, the
// special attacks push, kick and trip, parries and dodges by location,
// flinches, death, the state and misc moves, the movement set and one cast
// move per variation given.
std::vector<MoveRecord> table_hero_moves(const std::vector<std::string>& cast_variations);
// A complete hero table of a kind 0..3.
CharacterRecord table_demo_hero(int kind);
// A small but valid table of a type, with a few combat moves when complete.
CharacterRecord table_demo_creature(const char* name, bool complete);
// The file name a type's table is read from: lower-cased name and ".tbl".
std::string table_character_file_name(const char* type_name);

// Writes every table the game reads at start-up under <root>/data/tables:
// spells, materials, items, experience, alternate textures and the 160
// character tables (the heroes and a few creatures complete, the others
// small but valid). False, after a line on stderr, when a file cannot be
// written.
bool table_write_demo_tables(const std::string& root);

// Writes text to a file, making its folder; false on failure.
bool table_write_file(const std::string& path, const std::string& text);

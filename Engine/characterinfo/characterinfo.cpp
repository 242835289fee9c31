#include "Engine/characterinfo/characterinfo.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gamesound/sound.h"
#include "quarn/vfile/path_types.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

Character_info Character_infos[MAX_CHARACTER_INFO];
int Num_character_infos = 0;
bool All_summons = false;

namespace {

Move_info Moves[MAX_TOTAL_MOVES];
Move_info* Free_moves = nullptr;
bool Moves_ready = false;
bool Initialised = false;
int16_t Castable_spells[MAX_CASTABLE_SPELLS];

bool Dump_wanted = false;
FILE* Dump_file = nullptr;

// Animation folders already registered with the file layer, so a table read
// twice (or two types sharing a folder) does not add a second path type.
std::map<std::string, int>& anim_folders() {
  static std::map<std::string, int> folders;
  return folders;
}

constexpr int BOSS_KINDS[] = {81, 87, 88, 89, 90, 147, 172, 177, 183, 184, 193, 196, 197, 201};

const char* const Flag_keys[] = {"+No Shadow", "+No draw",   "+Edged",         "+Elongated",
                                 "+Notrip",    "+Nopush",    "+Nobackstab",    "+Noaimedattack",
                                 "+Noblind",   "+Nosilence", "+UseMonsterDamage", "+Flying",
                                 "+ShortDialogueCamera", "+ReallyShortDialogueCamera", "+TallDialogueCamera"};
const uint32_t Flag_bits[] = {CIF_NO_SHADOW, CIF_NO_DRAW,   CIF_EDGED,         CIF_ELONGATED,
                              CIF_NOTRIP,    CIF_NOPUSH,    CIF_NOBACKSTAB,    CIF_NOAIMEDATTACK,
                              CIF_NOBLIND,   CIF_NOSILENCE, CIF_USE_MONSTER_DAMAGE, CIF_FLYING,
                              CIF_SHORT_DIALOGUE_CAMERA, CIF_REALLY_SHORT_DIALOGUE_CAMERA, CIF_TALL_DIALOGUE_CAMERA};

const char* const Default_footsteps[2][NUM_FOOTSTEP_SURFACES] = {
    {"footsteps\\left_wood_d.wav", "footsteps\\left_stone_h.wav", "footsteps\\left_grass_a.wav",
     "footsteps\\left_sand_a.wav", "footsteps\\left_wet_a.wav"},
    {"footsteps\\right_wood_d.wav", "footsteps\\right_stone_h.wav", "footsteps\\right_grass_a.wav",
     "footsteps\\right_sand_a.wav", "footsteps\\right_wet_a.wav"}};

// Variations that only bosses keep: every other type drops these moves.
bool boss_only_variation(int v) {
  switch (v) {
    case VARIATION_STAND_TO_READY_HURT: case VARIATION_READY_TO_STAND_HURT: case VARIATION_STAND_HURT:
    case VARIATION_READY_HURT: case VARIATION_WALK_HURT: case VARIATION_RUN_HURT: case VARIATION_NORM_WALK_HURT:
    case VARIATION_NORM_RUN_HURT: case VARIATION_TURN_LEFT: case VARIATION_TURN_RIGHT: return true;
    default: return false;
  }
}

StringPool& pool() {
  static StringPool p;
  if (!p.buffer()) p.alloc(CHARACTER_STRING_POOL_SIZE);
  return p;
}

// Interned text: equal strings share one copy, so they compare by pointer.
// The index keeps start-up from comparing each new string with every old one.
std::map<std::string, const char*>& interned() {
  static std::map<std::string, const char*> index;
  return index;
}

const char* intern(const char* text) {
  if (!text) return nullptr;
  // By the exact text: pooling without regard to case would hand one
  // string's spelling to another ("rat" for the type name "Rat").
  std::string key(text);
  auto it = interned().find(key);
  if (it != interned().end()) return it->second;
  const char* stored = pool().add(text);
  interned().emplace(std::move(key), stored);
  return stored;
}

const char* read_text(ParseContext& pc) {
  char text[PARSE_MAX_NAME_LEN + 1];
  pc.read_string(text, sizeof text);
  return intern(text);
}

void threads_moves() {
  Free_moves = nullptr;
  for (int i = MAX_TOTAL_MOVES - 1; i >= 0; i--) {
    Moves[i] = Move_info();
    Moves[i].next = Free_moves;
    Free_moves = &Moves[i];
  }
  Moves_ready = true;
}

Character_info* take_slot() {
  if (Num_character_infos >= MAX_CHARACTER_INFO)
    critical_error_fmt("characterinfo", 0, "Character_info array is full.  Need to increase MAX_CHARACTER_INFO.");
  Character_info* ci = &Character_infos[Num_character_infos++];
  *ci = Character_info();
  return ci;
}

// The name of a section ("$Character:" or "+Alternate character:"), which
// must be a type of the built-in list.
void read_name(ParseContext& pc, Character_info* ci) {
  ci->name = read_text(pc);
  const int row = charinfo_type_row(ci->name);
  if (row < 0)
    critical_error_fmt("characterinfo", 0,
                       "Character type %s doesn't have a species type. Please add one to CharacterInfo.cpp.\n",
                       ci->name);
  ci->kind = Character_type_list[row].kind;
}

void read_resistances(ParseContext& pc, Character_info* ci) {
  for (int32_t& r : ci->resistances) r = RESIST_STANDARD;
  if (!pc.optional_string("+Resistances:")) return;
  while (!pc.optional_string("#Resistances End")) {
    const int type = read_word(pc, Damage_type_names, NUM_DAMAGE_TYPES);
    ci->resistances[type] = read_word(pc, Resist_level_names, NUM_RESIST_LEVELS);
  }
}

// A spell named by a quoted string, its chance in percent and, when the line
// goes on, an extra value.
void read_ability(ParseContext& pc, uint16_t* spell, uint16_t* extra, float* chance) {
  char name[PARSE_MAX_NAME_LEN + 1];
  pc.read_string(name, sizeof name);
  const int index = spell_find_by_name(name);
  *spell = index < 0 ? 65535 : static_cast<uint16_t>(index);
  *chance = static_cast<float>(pc.read_int()) / 100.0f;
  pc.skip_space_in_line();
  const char* c = pc.cursor();
  *extra = (c && *c && *c != '\r' && *c != '\n') ? static_cast<uint16_t>(pc.read_int()) : 0;
}

int read_skill_name(ParseContext& pc) {
  char name[PARSE_MAX_NAME_LEN + 1];
  pc.read_string(name, sizeof name);
  return skill_lookup(name);
}

// A footstep sound, registered with the sound table at once (-1 while the
// sound table has no room for it or its file is missing).
void footstep_sound(TableSound& s, const char* name, float min_distance, float volume, float rolloff) {
  s = TABLE_SOUND_NONE;
  s.file_name = intern(name);
  s.volume = static_cast<uint8_t>(std::fmin(std::fmax(volume * 255.0f, 0.0f), 255.0f));
  s.min_distance = static_cast<uint8_t>(std::fmin(std::fmax(min_distance, 0.0f), 255.0f));
  s.rolloff = static_cast<uint8_t>(std::fmin(std::fmax(rolloff, 0.0f), 255.0f));
  s.index = snd_load(s.file_name, min_distance, volume, rolloff, 0, false);
}

void read_footsteps(ParseContext& pc, Character_info* ci) {
  for (auto& foot : ci->footsteps)
    for (auto& set : foot)
      for (TableSound& sound : set) sound = TABLE_SOUND_NONE;
  if (!pc.check_string("+Footstep sounds:")) {
    ci->footstep_set_count = 1;
    for (int foot = 0; foot < 2; foot++)
      for (int s = 0; s < NUM_FOOTSTEP_SURFACES; s++)
        footstep_sound(ci->footsteps[foot][0][s], Default_footsteps[foot][s], 5.0f, 0.9f, 1.0f);
    return;
  }
  ci->footstep_set_count = 0;
  while (pc.check_string("+Footstep sounds:")) {
    if (ci->footstep_set_count >= MAX_FOOTSTEP_SETS) pc.error("at most 3 footstep sound sets");
    pc.require_string("+Footstep sounds:");
    const int set = ci->footstep_set_count++;
    const float min_distance = pc.read_float();
    const float volume = pc.read_float();
    const float rolloff = pc.read_float();
    for (int foot = 0; foot < 2; foot++) {
      for (int s = 0; s < NUM_FOOTSTEP_SURFACES; s++) {
        char name[TABLE_SOUND_NAME_MAX + 1];
        pc.read_string(name, sizeof name);
        footstep_sound(ci->footsteps[foot][set][s], name, min_distance, volume, rolloff);
      }
    }
  }
}

// "+Allowed weapon classes:": the rest of the line split at tabs and quotes.
void read_weapon_classes(ParseContext& pc, Character_info* ci) {
  ci->allowed_weapon_classes = 0xFFFFFFFFu;
  if (!pc.optional_string("+Allowed weapon classes:")) return;
  char line[512];
  pc.skip_space_in_line();
  if (!pc.read_line(line, sizeof line)) pc.error("a line of weapon class names");
  ci->allowed_weapon_classes = 0;
  for (char* piece = strtok(line, "\t\""); piece; piece = strtok(nullptr, "\t\"")) {
    char* end = piece + strlen(piece);
    while (*piece == ' ') piece++;
    while (end > piece && (end[-1] == ' ' || end[-1] == '\r')) *--end = '\0';
    if (!*piece) continue;
    const int c = word_index(Weapon_class_names, NUM_WEAPON_CLASSES, piece);
    if (c >= 0) ci->allowed_weapon_classes |= 1u << c;
  }
}

void register_anim_folder(Character_info* ci, const char* folder) {
  char dir[300];
  snprintf(dir, sizeof dir, "data%cca%c%s", '\\', '\\', folder ? folder : "");
  std::string key(dir);
  for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  auto it = anim_folders().find(key);
  if (it == anim_folders().end()) it = anim_folders().emplace(key, vfile_add_path_type(dir, ".mvf")).first;
  ci->anim_path_type = it->second;
}

void read_move_sound(ParseContext& pc, const char* folder, TableSound& out) {
  out = TABLE_SOUND_NONE;
  if (!pc.optional_string("$Sound:")) return;
  table_sound_read(pc, intern, folder, out);
}

void read_move(ParseContext& pc, Character_info* ci, const char* sound_folder, bool boss) {
  const int list = read_word(pc, Move_list_names, NUM_NAMED_MOVE_LISTS);
  Move_info* m = move_info_alloc();
  m->list = list;
  m->next = ci->moves[list];
  ci->moves[list] = m;
  pc.require_string("$Animation:");
  m->animation = read_text(pc);
  pc.optional_string("+Turning");
  if (pc.optional_string("+Animation class:")) {
    m->class_mask = 0;
    do {
      m->class_mask |= 1u << read_word(pc, Weapon_class_names, NUM_WEAPON_CLASSES);
    } while (!pc.check_string("$Action:"));
  }
  pc.require_string("$Action:");
  m->action = read_text(pc);
  read_move_sound(pc, sound_folder, m->sound);
  if (pc.optional_string("$Effect:")) m->effect = read_text(pc);
  for (;;) {
    if (pc.optional_string("$Location:")) m->location = read_word(pc, Location_names, NUM_LOCATIONS);
    else if (pc.optional_string("$Variation:")) m->variation = read_word(pc, Variation_names, NUM_VARIATIONS);
    else break;
  }
  if (pc.optional_string("$Contact tag:")) {
    m->contact_tag = read_text(pc);
    if (!pc.optional_string("on primary prop")) pc.optional_string("on secondary prop");
  }
  int triggers = 0;
  while (pc.check_string("$Trigger:")) {
    if (triggers >= MAX_MOVE_TRIGGERS) pc.error("at most 3 triggers in a move");
    pc.require_string("$Trigger:");
    m->triggers[triggers].type = read_word(pc, Trigger_type_names, NUM_TRIGGER_TYPES);
    m->triggers[triggers].time = pc.read_float() * 0.03333333f;
    triggers++;
  }
  if (!boss && boss_only_variation(m->variation)) {
    ci->moves[list] = m->next;
    move_info_free(m);
  }
}

// The item a drop names; one that does not exist is refused at its name, as
// the drop would otherwise hand out item -1.
int read_drop_item(ParseContext& pc, const char* field) {
  char name[PARSE_MAX_NAME_LEN + 1];
  pc.skip_space();
  ParsePos at;
  pc.save_pos(at);
  pc.read_string(name, sizeof name);
  const int item = item_lookup(name);
  if (item < 0) {
    pc.restore_pos(at);
    char expected[64];
    snprintf(expected, sizeof expected, "the name of an item of items.tbl for %s", field);
    pc.error(expected);
  }
  return item;
}

void read_drops(ParseContext& pc, Character_info* ci) {
  while (pc.optional_string("+Drop:")) {
    const int item = read_drop_item(pc, "+Drop:");
    const int pct = pc.read_int();
    if (ci->drop_count >= MAX_DROPS) continue;
    ci->drop_items[ci->drop_count] = item;
    ci->drop_chances[ci->drop_count++] = static_cast<float>(pct) / 100.0f;
  }
  while (pc.optional_string("+Multiplayer Drop:")) {
    const int item = read_drop_item(pc, "+Multiplayer Drop:");
    const int pct = pc.read_int();
    const int count = pc.read_int();
    if (ci->mp_drop_count >= MAX_MP_DROPS) continue;
    const int i = ci->mp_drop_count++;
    ci->mp_drop_items[i] = item;
    ci->mp_drop_chances[i] = static_cast<float>(pct) / 100.0f;
    ci->mp_drop_counts[i] = count;
  }
}

void dump_moves(FILE* f, const Character_info* ci) {
  std::fprintf(f, "num mvfs: %d\n", charinfo_move_count(ci));
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = ci->moves[list]; m; m = m->next) std::fprintf(f, "\t\"%s\"\n", m->animation);
  }
}

void read_section(ParseContext& pc, Character_info* ci) {
  pc.require_string("$Character:");
  read_name(pc, ci);
  ci->flags = 0;
  ci->current_class_mask = 0;
  ci->portrait = pc.optional_string("+Portrait Filename:") ? read_text(pc) : nullptr;
  ci->texture_effect = pc.optional_string("+Texture Effect:") ? read_text(pc) : nullptr;
  for (bool any = true; any;) {
    any = false;
    for (size_t i = 0; i < sizeof Flag_keys / sizeof Flag_keys[0]; i++) {
      if (pc.optional_string(Flag_keys[i])) {
        ci->flags |= Flag_bits[i];
        pc.optional_string(":");
        any = true;
      }
    }
  }
  ci->vfx = pc.optional_string("+Vfx:") ? read_text(pc) : nullptr;
  pc.require_string("$Size:");
  ci->size = read_word(pc, Size_names, NUM_SIZES);
  pc.require_string("$Team:");
  ci->team = read_word(pc, Team_names, NUM_TEAMS);
  int points[4];
  static const char* const point_keys[4] = {"$Max Hit Points:", "$Hit Points:", "$Max Ability Points:", "$Ability Points:"};
  // Hit points are scaled for two kinds; the scaled value must fit the field
  // too, so a number that would not is refused where it stands.
  const int scale = ci->kind == 176 ? 3 : ci->kind == 66 ? 2 : 1;
  for (int i = 0; i < 4; i++) {
    pc.require_string(point_keys[i]);
    points[i] = pc.read_int_in(0, 65535 / (i < 2 ? scale : 1), point_keys[i]);
  }
  ci->max_hit_points = static_cast<uint16_t>(points[0] * scale);
  ci->hit_points = static_cast<uint16_t>(points[1] * scale);
  ci->max_ability_points = static_cast<uint16_t>(points[2]);
  ci->ability_points = static_cast<uint16_t>(points[3]);
  pc.require_string("$Aggressiveness:");
  pc.read_float();
  pc.require_string("$Teamwork:");
  pc.read_float();
  pc.require_string("$Conservation:");
  pc.read_float();
  ci->intelligence = pc.optional_string("+Intelligence:") ? pc.read_float() / 100.0f : 0.5f;
  ci->experience_gained =
      pc.optional_string("$Experience Gained:") ? static_cast<uint16_t>(pc.read_int_in(0, 65535, "$Experience Gained:")) : 0;
  ci->level = pc.optional_string("$Level:") ? pc.read_int() : 1;
  pc.require_string("$Attack Radius:");
  ci->attack_radius = pc.read_float();
  ci->default_weapon_count = 0;
  while (pc.check_string("$Default Weapon:")) {
    if (ci->default_weapon_count >= MAX_DEFAULT_WEAPONS) pc.error("at most 2 default weapons");
    pc.require_string("$Default Weapon:");
    char item[PARSE_MAX_NAME_LEN + 1];
    pc.read_string(item, sizeof item);
    const int index = item_lookup(item);
    if (index < 0)
      critical_error_fmt("characterinfo", 0, "Unable to locate default weapon %s for character %s", item, ci->name);
    const int n = ci->default_weapon_count++;
    ci->default_weapons[n] = static_cast<uint16_t>(index);
    ci->default_weapon_materials[n] = pc.optional_string("made of") ? read_word(pc, Material_names, NUM_MATERIALS) : 0;
  }
  if (pc.optional_string("$Damage:")) ci->damage = static_cast<uint16_t>(pc.read_int_in(0, 65535, "$Damage:"));
  if (pc.optional_string("+Special ability:")) read_ability(pc, &ci->special_spell, &ci->special_extra, &ci->special_chance);
  if (pc.optional_string("+Reflex ability:")) read_ability(pc, &ci->reflex_spell, &ci->reflex_extra, &ci->reflex_chance);
  pc.require_string("$Field of view range:");
  ci->fov_range = pc.read_float();
  pc.require_string("$Detection range:");
  ci->detection_range = pc.read_float();
  pc.require_string("$Speedup rate:");
  ci->speedup_rate = pc.read_float() * 0.5f;
  pc.require_string("$Slowdown rate:");
  ci->slowdown_rate = pc.read_float() * 0.5f;
  pc.require_string("$Slow turn rate:");
  ci->slow_turn_rate = pc.read_float();
  pc.require_string("$Fast turn rate:");
  ci->fast_turn_rate = pc.read_float();
  pc.require_string("$Moving turn rate:");
  ci->moving_turn_rate = pc.read_float();
  ci->icon_height = pc.optional_string("$Icon Height:") ? pc.read_float() : 2.0f;

  for (int i = 0; i < NUM_PROP_SLOTS; i++) ci->prop_tags[i] = nullptr, ci->prop_tag_bones[i] = -1;
  ci->default_prop_tag = PROP_SLOT_NONE;
  for (;;) {
    bool is_default = pc.optional_string("$Default Prop Tag:");
    if (!is_default && !pc.optional_string("$Prop Tag:")) break;
    const int slot = read_word(pc, Prop_slot_names, NUM_PROP_SLOTS);
    pc.skip_space_in_line();
    if (pc.check_string("is ") || pc.check_string("is\t") || pc.check_string("is\"")) pc.optional_string("is");
    ci->prop_tags[slot] = read_text(pc);
    if (is_default) ci->default_prop_tag = slot;
  }

  read_resistances(pc, ci);

  memset(ci->skills, 0, sizeof ci->skills);
  ci->skills[2] = 10;
  static const char* const chain_keys[4] = {"$Up Skill:", "$Down Skill:", "$Left Skill:", "$Right Skill:"};
  static const int chain_byte[4] = {0, 1, 3, 2};  // kept as up, down, right, left
  for (int i = 0; i < 4; i++) {
    int skill = SKILL_NONE;
    if (pc.optional_string(chain_keys[i])) {
      skill = read_skill_name(pc);
      if (skill < 0) skill = SKILL_NONE;
    }
    ci->chain[chain_byte[i]] = static_cast<uint8_t>(skill);
  }
  while (pc.optional_string("$Skill:")) {
    const int skill = read_skill_name(pc);
    const int level = pc.read_int_in(0, 255, "$Skill:");
    if (skill >= 0) ci->skills[skill] = static_cast<uint8_t>(level);
  }

  read_footsteps(pc, ci);
  ci->skin_material = pc.optional_string("+Skin:") ? read_word(pc, Material_names, NUM_MATERIALS) : 1;
  for (Move_info*& head : ci->moves) head = nullptr;
  read_weapon_classes(pc, ci);
  if (pc.optional_string("+Anim Folder:")) {
    char folder[PARSE_MAX_NAME_LEN + 1];
    pc.read_string(folder, sizeof folder);
    register_anim_folder(ci, folder);
  } else {
    register_anim_folder(ci, ci->name);
  }
  char sound_folder[PARSE_MAX_NAME_LEN + 1] = {};
  if (pc.optional_string("+Sound Folder:")) pc.read_string(sound_folder, sizeof sound_folder);
  const char* folder = sound_folder[0] ? sound_folder : ci->name;
  const bool boss = charinfo_is_boss_kind(ci->kind);
  while (pc.optional_string("+Move:")) read_move(pc, ci, folder, boss);
  if (!charinfo_get_move(ci, MOVE_STATE, VARIATION_TRIPPED_LIE_DOWN, false)) ci->flags |= CIF_NOTRIP;
  if (!charinfo_get_move(ci, MOVE_MISC, VARIATION_PUSHED, false)) ci->flags |= CIF_NOPUSH;
  read_drops(pc, ci);
  if (pc.optional_string("+Alert:")) read_move_sound(pc, folder, ci->alert_sound);
  if (pc.optional_string("+CharacterLightPos:")) {
    ci->light_tag = read_text(pc);
    pc.require_string("+LightColor:");
    float color[3] = {};
    if (pc.read_float_list(color, 3) != 3) pc.error("three light colour values");
    memcpy(ci->light_color, color, sizeof color);
    pc.require_string("+LightAtten:");
    ci->light_atten = pc.read_float();
    ci->has_light = 1;
  }
  ci->alt_texture_set = alt_textures_base_index(ci->name);
  ci->alt_texture_variant = 0;
  ci->parent = nullptr;
  if (Dump_file) dump_moves(Dump_file, ci);
  while (pc.optional_string("+Alternate character:")) {
    Character_info* alt = take_slot();
    *alt = *ci;
    read_name(pc, alt);
    read_resistances(pc, alt);
    alt->alt_texture_variant = 1;
    alt->alt_texture_set = alt_textures_find_group(ci->name, alt->name) ? alt_textures_base_index(ci->name) : -1;
    alt->parent = ci;
    if (Dump_file) dump_moves(Dump_file, alt);
  }
}

Character_info* read_table(ParseContext& pc) {
  if (!Moves_ready) threads_moves();
  pc.require_string("#Character Info");
  Character_info* ci = take_slot();
  ci->checksum = pc.crc();
  // A table must name its type: a record without a name could never be
  // looked up and would break every lookup that compares names.
  do {
    read_section(pc, ci);
  } while (!pc.optional_string("#End"));
  return ci;
}

}  // namespace

int charinfo_type_row(const char* name) { return record_index(Character_type_list, NUM_CHARACTER_TYPES, name); }

bool charinfo_is_boss_kind(int kind) {
  for (int k : BOSS_KINDS) {
    if (k == kind) return true;
  }
  return false;
}

Character_info* charinfo_load_table(const char* filename) {
  ParseContext pc;
  if (pc.open(filename, Characterinfo_path_type >= 0 ? Characterinfo_path_type : VFILE_ANY_TYPE) != 0)
    critical_error_fmt("characterinfo", 0, "Couldn't open %s for parsing", filename);
  if (Dump_file) {
    char species[PARSE_MAX_NAME_LEN + 1];
    snprintf(species, sizeof species, "%s", filename);
    if (char* dot = strrchr(species, '.')) *dot = '\0';
    std::fprintf(Dump_file, "\nspecies name: \"%s\"\n", species);
    std::fprintf(Dump_file, "hash species name: %d\n", charinfo_species_hash(species));
  }
  return read_table(pc);
}

Character_info* charinfo_load_table_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  return read_table(pc);
}

void charinfo_init() {
  if (Initialised) return;
  Initialised = true;
  if (Dump_wanted) {
    char path[1024];
    if (charinfo_user_data_path("svf_info.txt", path, sizeof path)) Dump_file = std::fopen(path, "w");
  }
  threads_moves();
  for (const CharacterTypeRow& row : Character_type_list) {
    if (!row.load) continue;
    char file[PARSE_MAX_NAME_LEN + 1];
    snprintf(file, sizeof file, "%s.tbl", row.name);
    for (char* p = file; *p; p++) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    charinfo_load_table(file);
  }
  charinfo_build_castable_spells();
  int moves = 0;
  for (int i = 0; i < Num_character_infos; i++) moves += charinfo_move_count(&Character_infos[i]);
  console_printf("Read the character tables: %d character types, %d moves\n", Num_character_infos, moves);
  if (Dump_file) {
    std::fprintf(Dump_file, "\n%s", "#end");
    std::fclose(Dump_file);
    Dump_file = nullptr;
  }
}

void charinfo_build_castable_spells() {
  int used = 0;
  for (int i = 0; i < Num_character_infos; i++) {
    Character_info* ci = &Character_infos[i];
    ci->castable_spell_count = 0;
    ci->castable_spells = &Castable_spells[used];
    if (charinfo_is_hero(ci->kind) || charinfo_is_boss_kind(ci->kind)) continue;
    for (const Move_info* m = ci->moves[MOVE_CAST]; m; m = m->next) {
      const int spell = spell_find_by_variation(m->variation);
      if (spell < 0 || m->variation == 0) continue;
      if (used >= MAX_CASTABLE_SPELLS)
        critical_error_fmt("characterinfo", 0,
                           "Castable spell list is full (%d spells) at character %s.  Need to increase "
                           "MAX_CASTABLE_SPELLS.",
                           MAX_CASTABLE_SPELLS, ci->name ? ci->name : "");
      Castable_spells[used++] = static_cast<int16_t>(spell);
      ci->castable_spell_count++;
    }
  }
}

void charinfo_reset() {
  for (int i = 0; i < Num_character_infos; i++) Character_infos[i] = Character_info();
  Num_character_infos = 0;
  threads_moves();
  interned().clear();
  pool().reset();
  Initialised = false;
}

int charinfo_lookup(const char* name) { return record_index(Character_infos, Num_character_infos, name); }

int charinfo_find_by_kind(int kind) {
  for (int i = 0; i < Num_character_infos; i++) {
    if (Character_infos[i].kind == kind) return i;
  }
  return -1;
}

int32_t charinfo_species_hash(const char* name) {
  if (!name) return -1;
  uint32_t h = 0;
  for (const char* p = name; *p; p++) {
    h = (h << 6) | (h >> 26);
    h ^= static_cast<uint32_t>(tolower(static_cast<unsigned char>(*p)));
  }
  return static_cast<int32_t>(h);
}

const Move_info* charinfo_find_move(const Character_info* ci, int move_id) {
  if (!ci) return nullptr;
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = ci->moves[list]; m; m = m->next) {
      if ((list == MOVE_PARRY || list == MOVE_FLINCH) && m->location == 1) continue;
      if (m->anim_slot == move_id) return m;
    }
  }
  return nullptr;
}

namespace {

template <class Match>
const Move_info* get_move(const Character_info* ci, int list, bool strict, Match match) {
  if (!ci || list < 0 || list >= NUM_MOVE_LISTS) return nullptr;
  const Move_info* fallback = nullptr;
  for (const Move_info* m = ci->moves[list]; m; m = m->next) {
    if (!match(m)) continue;
    if (!charinfo_is_hero(ci->kind)) return m;
    if (m->anim_slot >= 0 && (m->class_mask & ci->current_class_mask)) return m;
    if (!fallback) fallback = m;
  }
  return strict ? nullptr : fallback;
}

}  // namespace

const Move_info* charinfo_get_move(const Character_info* ci, int list, int variation, bool strict) {
  return get_move(ci, list, strict, [&](const Move_info* m) { return m->variation == variation; });
}

const Move_info* charinfo_get_move_by_location(const Character_info* ci, int list, int location, bool strict) {
  return get_move(ci, list, strict, [&](const Move_info* m) { return m->location == location; });
}

int charinfo_collect_variations(int* out, const Character_info* ci, int list, int excluded_variation) {
  if (!ci || list < 0 || list >= NUM_MOVE_LISTS) return 0;
  int n = 0;
  for (const Move_info* m = ci->moves[list]; m; m = m->next) {
    if (m->variation < 1 || m->variation > 5 || m->variation == excluded_variation) continue;
    if (!(m->class_mask & ci->current_class_mask)) continue;
    out[n++] = m->variation;
  }
  return n;
}

float move_trigger_time(const Move_info* move, int trigger_type) {
  if (!move) return 0.0f;
  for (const MoveTrigger& t : move->triggers) {
    if (t.type == trigger_type) return t.time;
  }
  critical_error_fmt("characterinfo", 0, "Trigger not found.");
}

int charinfo_find_move_by_name(const Character_info* ci, const char* name) {
  if (!ci || !name) return -1;
  const size_t n = strlen(name);
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = ci->moves[list]; m; m = m->next) {
      if (m->action && strcasecmp(m->action, name) == 0) return m->anim_slot;
      if (!m->animation || strncasecmp(m->animation, name, n) != 0) continue;
      if (m->animation[n] == '\0' || strcasecmp(m->animation + n, ".mvf") == 0) return m->anim_slot;
    }
  }
  return -1;
}

int charinfo_move_count(const Character_info* ci) {
  int n = 0;
  for (int list = 0; ci && list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = ci->moves[list]; m; m = m->next) n++;
  }
  return n;
}

void charinfo_resolve_tags(Character_info* ci, const void* base_character, CharinfoBoneLookup lookup,
                           CharinfoBoneDistance distance) {
  if (!ci || (ci->flags & CIF_TAGS_RESOLVED) || !lookup) return;
  for (int i = 0; i < NUM_PROP_SLOTS; i++) {
    if (ci->prop_tags[i] && ci->prop_tag_bones[i] == -1)
      ci->prop_tag_bones[i] = static_cast<int16_t>(lookup(base_character, ci->prop_tags[i]));
  }
  ci->attack_tag_count = 0;
  for (int i = 1; i <= NUM_ATTACK_TAGS; i++) {
    char tag[16];
    snprintf(tag, sizeof tag, "$Attack%02d", i);
    const int bone = lookup(base_character, tag);
    if (bone >= 0) ci->attack_tag_bones[ci->attack_tag_count++] = static_cast<int16_t>(bone);
  }
  if (ci->flags & CIF_ELONGATED) {
    ci->head_bone = lookup(base_character, "$head");
    ci->head_height = (ci->head_bone >= 0 && distance) ? distance(base_character, ci->head_bone) : 0.0f;
  }
  ci->flags |= CIF_TAGS_RESOLVED;
}

Move_info* move_info_alloc() {
  if (!Moves_ready) threads_moves();
  if (!Free_moves) critical_error_fmt("characterinfo", 0, "Move_info array is full.  Need to increase MAX_TOTAL_MOVES.");
  Move_info* m = Free_moves;
  Free_moves = m->next;
  *m = Move_info();
  return m;
}

void move_info_free(Move_info* move) {
  if (!move) return;
  move->next = Free_moves;
  Free_moves = move;
}

bool charinfo_user_data_path(const char* name, char* out, int size) {
  std::string dir;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) dir = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home) dir = std::string(home) + "/.local/share";
  else dir = ".";
  dir += "/Quorvane/Orrimund Demo";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const int n = snprintf(out, static_cast<size_t>(size), "%s/%s", dir.c_str(), name);
  return n >= 0 && n < size;
}

void charinfo_set_move_dump(bool on) { Dump_wanted = on; }

void charinfo_print_moves(const Character_info* ci) {
  if (!ci) return;
  console_printf("%s: num mvfs: %d\n", ci->name, charinfo_move_count(ci));
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = ci->moves[list]; m; m = m->next) {
      console_printf("\t%s \"%s\" \"%s\" %s\n", list < NUM_NAMED_MOVE_LISTS ? Move_list_names[list] : "-",
                     m->animation ? m->animation : "", m->action ? m->action : "",
                     (m->variation > 0 && m->variation < NUM_VARIATIONS) ? Variation_names[m->variation] : "-");
    }
  }
}

namespace {

ConsoleCommand cc_all_summons("All_summons", "Toggles All_summons", [] {
  console_bool_var("All_summons", "All_summons", All_summons);
});

// Developer view of a type's moves: charinfo_moves "Name".
ConsoleCommand cc_charinfo_moves("charinfo_moves", "Lists the moves of a character type", [] {
  console_get_arg(ARG_STRING);
  const int index = charinfo_lookup(Console_arg.text);
  if (!Console_run) return;
  if (index < 0) {
    console_printf("No character type %s\n", Console_arg.text);
    return;
  }
  charinfo_print_moves(&Character_infos[index]);
});

}  // namespace

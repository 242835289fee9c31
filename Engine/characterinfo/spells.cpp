#include "Engine/characterinfo/spells.h"

#include <strings.h>

#include <cstring>

#include "Engine/characterinfo/table_words.h"
#include "quarn/vfile/path_types.h"
#include "quarn/os/stringpool.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

const char* const Spell_class_names[NUM_SPELL_CLASSES] = {"heal", "dark",   "energy", "holy",
                                                          "fire", "ice",    "summon", "misc"};
const int Spell_class_skill[NUM_SPELL_CLASSES] = {28, 29, 30, 31, 32, 33, 27, -1};

Spell_info Spells[MAX_SPELLS];
SpellClassRun Spell_class_index[NUM_SPELL_CLASSES];

namespace {

StringPool& pool() {
  static StringPool p;
  if (!p.buffer()) p.alloc(SPELL_STRING_POOL_SIZE);
  return p;
}

int Spell_sound_path_type = -1;

// One effect key with its optional sound. Returns false when no effect key
// is at the cursor.
bool read_effect(ParseContext& pc, Spell_info& s) {
  const char** effect = nullptr;
  TableSound* sound = nullptr;
  if (pc.optional_string("+Cast effect:")) {
    effect = &s.cast_effect, sound = &s.cast_sound;
  } else if (pc.optional_string("+Hit effect:")) {
    effect = &s.hit_effect, sound = &s.hit_sound;
  } else if (pc.optional_string("+Preloaded Hit effect:")) {
    effect = &s.preloaded_hit_effect, sound = &s.hit_sound;
  } else if (pc.optional_string("+Misc effect:")) {
    effect = &s.misc_effect, sound = &s.misc_sound;
  } else if (pc.optional_string("+Banish effect:")) {
    effect = &s.banish_effect, sound = &s.misc_sound;
  } else {
    return false;
  }
  *effect = pool().add_parsed(pc);
  if (pc.optional_string("$Sound:")) table_sound_read(pc, [](const char* name) { return pool().add(name); }, nullptr, *sound);
  return true;
}

void read_record(ParseContext& pc, int number, int* previous_class) {
  Spell_info& s = Spells[number];
  s = Spell_info();
  pc.require_string("$Spell:");
  s.number = number;
  pc.require_string("+Name:");
  s.name = pool().add_parsed(pc);
  pc.require_string("+Class:");
  s.spell_class = read_word(pc, Spell_class_names, NUM_SPELL_CLASSES);
  if (pc.optional_string("+Damage type:")) s.damage_type = read_word(pc, Damage_type_names, NUM_DAMAGE_TYPES);
  if (pc.optional_string("+Hit Chance:")) s.hit_chance = static_cast<float>(pc.read_int()) / 100.0f;
  for (;;) {
    while (read_effect(pc, s)) {
    }
    if (!pc.optional_string("+Variation:")) break;
    s.variation = read_word(pc, Variation_names, NUM_VARIATIONS);
  }
  pc.require_string("+Skill:");
  s.skill = pc.read_float() / 100.0f;
  pc.require_string("+Cost:");
  s.cost = pc.read_float();
  pc.require_string("+Distance:");
  s.distance = pc.read_float();
  if (pc.optional_string("+Die:")) s.die = pc.read_int();
  if (pc.optional_string("+Duration:")) s.duration = static_cast<uint16_t>(pc.read_int_in(0, 65535, "+Duration:"));
  // Without its own recovery time a spell recovers for as long as it lasts;
  // "no duration" (65535) read as a signed value means no cooldown at all.
  s.recovery_time = static_cast<int16_t>(s.duration);
  if (pc.optional_string("+Recovery time:"))
    s.recovery_time = static_cast<int16_t>(pc.read_int_in(-32768, 32767, "+Recovery time:"));
  s.ai_recovery_time = static_cast<int16_t>(SPELL_NO_DURATION);
  if (pc.optional_string("+AI Recovery time:"))
    s.ai_recovery_time = static_cast<int16_t>(pc.read_int_in(-32768, 32767, "+AI Recovery time:"));
  if (pc.optional_string("+Emerge time:")) s.emerge_time = pc.read_int();
  if (pc.optional_string("+Loop Time:")) s.loop_time = static_cast<int16_t>(pc.read_int_in(-32768, 32767, "+Loop Time:"));
  if (pc.optional_string("+Target radius:")) s.target_radius = pc.read_float();
  static const struct {
    const char* key;
    uint32_t bit;
  } flag_keys[] = {{"+Offensive", SPELL_OFFENSIVE},         {"+Beneficial", SPELL_BENEFICIAL},
                   {"+Target character", SPELL_TARGET_CHARACTER}, {"+Target location", SPELL_TARGET_LOCATION},
                   {"+Server authorize", SPELL_SERVER_AUTHORIZE}, {"+Fade Props", SPELL_FADE_PROPS},
                   {"+Status change", SPELL_STATUS_CHANGE}};
  for (bool any = true; any;) {
    any = false;
    for (const auto& f : flag_keys) {
      if (pc.optional_string(f.key)) s.flags |= f.bit, any = true;
    }
  }
  if (pc.optional_string("+Hit only")) s.flags |= SPELL_HIT_ONLY;

  SpellClassRun& run = Spell_class_index[s.spell_class];
  if (s.spell_class != *previous_class) run.count = 0, run.first = number;
  run.count++;
  *previous_class = s.spell_class;
}

void read_table(ParseContext& pc) {
  pool().reset();
  for (auto& run : Spell_class_index) run = SpellClassRun();
  pc.require_string("#Spells");
  int previous_class = -1;
  for (int i = 0; i < MAX_SPELLS; i++) read_record(pc, i, &previous_class);
  pc.require_string("#End");
  Spells[11].skill = 0.4f;
}

void register_sound_folder() {
  if (Spell_sound_path_type < 0) Spell_sound_path_type = vfile_add_path_type("data\\sounds\\spells", ".wav");
}

}  // namespace

void spells_load() {
  register_sound_folder();
  table_read_file("spells.tbl", read_table);
  console_printf("Read spells.tbl: %d spells\n", MAX_SPELLS);
}

void spells_load_text(const char* filename, const char* text, int length) {
  table_read_text(filename, text, length, read_table);
}

void spells_free() {
  for (Spell_info& s : Spells) s = Spell_info();
  pool().free();
}

void spells_reset_for_level() {
  for (Spell_info& s : Spells) {
    s.cast_sound.index = -1;
    s.hit_sound.index = -1;
    s.misc_sound.index = -1;
  }
}

int spell_find_by_name(const char* name) { return record_index(Spells, MAX_SPELLS, name); }

int spell_find_by_variation(int variation) {
  for (int i = 0; i < MAX_SPELLS; i++) {
    if (Spells[i].variation == variation) return i;
  }
  return -1;
}

int spell_get_class(int spell) {
  for (int c = 0; c < NUM_SPELL_CLASSES; c++) {
    const SpellClassRun& run = Spell_class_index[c];
    if (run.count > 0 && spell >= run.first && spell < run.first + run.count) return c;
  }
  return -1;
}

namespace {
bool valid(int spell) { return spell >= 0 && spell < MAX_SPELLS; }
}  // namespace

const char* spell_cast_effect(int spell) { return valid(spell) ? Spells[spell].cast_effect : nullptr; }
const char* spell_hit_effect(int spell) { return valid(spell) ? Spells[spell].hit_effect : nullptr; }

const char* spell_preload_hit_effect(int spell) {
  if (!valid(spell)) return nullptr;
  if (Spells[spell].preloaded_hit_effect) return Spells[spell].preloaded_hit_effect;
  return Spells[spell].hit_effect ? "GenericHit01.vfx" : nullptr;
}

int spell_status_slot(int spell) {
  switch (spell) {
    case 7: case 85: return 0;
    case 8: case 86: return 1;
    case 22: return 2;
    case 23: case 88: return 3;
    case 19: case 21: return 4;
    case 2: return 5;
    case 16: return 6;
    case 14: return 7;
    case 11: return 8;
    case 33: case 37: case 67: return 9;
    case 34: case 61: case 73: case 76: case 80: case 90: return 10;
    case 6: case 60: case 89: return 11;
    case 36: return 16;
    default: return -1;
  }
}

int spell_status_duration(int spell, int level) {
  switch (spell) {
    case 2: case 6: case 19: case 21: case 22: case 60: case 89: return 120000;
    case 7: case 8: case 14: case 16: case 23: case 33: case 37: case 61: case 67: case 85: case 86:
    case 88: case 90: return 60000;
    case 11: return level * 3000;
    case 34: return 30000;
    case 73: return 3000;
    case 76: return 180000;
    case 80: return 20000;
    default: return 0;
  }
}

float spell_status_strength(int status, int level) {
  switch (status) {
    case 2: case 3: case 4: return static_cast<float>(level) * 4.0f * 0.01f;
    case 5: return static_cast<float>(level * 2);
    case 8: return level >= 50 ? 1.0f : 0.0f;
    case 11: return -static_cast<float>(level * 2);
    case 14: return -static_cast<float>(level * 8);
    case 15: return -static_cast<float>(level * 4);
    case 16: return static_cast<float>(level * 10);
    default: return 0.0f;
  }
}

int status_tick_period(int status) {
  switch (status) {
    case 5: return 20000;
    case 8: return Spells[11].loop_time * 1000;
    case 11: return 10000;
    case 14: case 15: return 2000;
    case 17: return 5000;
    default: return 0;
  }
}

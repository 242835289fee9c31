#include "Engine/Objects/items.h"

#include <strings.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/item_paging.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/vfile/path_types.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/chainbuf.h"
#include "quarn/os/console.h"
#include "quarn/os/crc32.h"
#include "quarn/os/error.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

const char* const Item_slot_names[NUM_ITEM_SLOTS] = {"neck",  "finger", "hands", "feet",  "weapon",
                                                     "shield", "torso", "legs",  "heavy", "two-handed"};

Item_info Item_infos[MAX_ITEM_INFO];
int Num_item_infos = 0;
Material_info Materials[NUM_MATERIALS];
uint32_t Item_tables_checksum = 0;
int Num_live_items = 0;

namespace {

// The item names the game itself depends on at level load.
const char* const Item_flag_names[8] = {"not identified", "shadow", "no destroy", nullptr, nullptr,
                                        "multi easy only", "multi medium only", "multi hard only"};
const char* const Weapon_flag_names[4] = {"ranged", "no drop", "prop only", "magical"};
const char* const Stat_names[2] = {"MaxHP", "MaxAP"};
const char* const Restriction_words[4] = {"Ruvizo", "Rivadara", "Rivud", "Zazuru"};  // bits 1, 2, 4, 8
const char* const Hero_model_names[NUM_HERO_MODELS] = {"ruvizo", "heavy ruvizo", "zazuru", "heavy zazuru",
                                                       "rivud",  "heavy rivud",  "rivadara"};
const char* const Type_names[3] = {"Weapon", "Armor", "Misc"};

alignas(8) char Item_memory[ITEM_MEMORY_SIZE];
ChainBuffer& item_block() {
  static ChainBuffer block;
  static bool attached = (block.attach(Item_memory, ITEM_MEMORY_SIZE), true);
  (void)attached;
  return block;
}

item_instance Instances[MAX_ITEM_INSTANCES];
item_instance* Free_instances = nullptr;
bool Pool_ready = false;

// Room from the item memory block; running out is the table's fault and is
// reported where the table is read.
void* block_alloc(ParseContext& pc, int size) {
  void* p = item_block().alloc_zeroed(size);
  if (!p) pc.error("an item table that fits its 69632-byte memory block");
  return p;
}

// A copy in the item memory block of n characters and their terminator.
const char* block_copy(ParseContext& pc, const char* text, int n) {
  char* p = static_cast<char*>(block_alloc(pc, n + 1));
  memcpy(p, text, static_cast<size_t>(n) + 1);
  return p;
}

const char* block_text(ParseContext& pc) {
  char text[ITEM_TEXT_MAX + 1];
  const int n = pc.read_string(text, sizeof text);
  return block_copy(pc, text, n);
}

// An integer on the rest of the line, or the default when the line ends.
int line_int(ParseContext& pc, int fallback) {
  pc.skip_space_in_line();
  const char* c = pc.cursor();
  if (!c || *c == '\0' || *c == '\r' || *c == '\n') return fallback;
  if (!((*c >= '0' && *c <= '9') || *c == '-')) return fallback;
  return pc.read_int();
}

// The index a lookup gives a quoted name; an unknown name is reported at it.
int read_named(ParseContext& pc, int (*lookup)(const char*), const char* expected) {
  ParsePos at;
  pc.skip_space();
  pc.save_pos(at);
  char name[PARSE_MAX_NAME_LEN + 1];
  pc.read_string(name, sizeof name);
  const int index = lookup(name);
  if (index < 0) {
    pc.restore_pos(at);
    pc.error(expected);
  }
  return index;
}

int read_spell(ParseContext& pc) { return read_named(pc, spell_find_by_name, "the name of a spell of spells.tbl"); }
int read_skill(ParseContext& pc) { return read_named(pc, skill_lookup, "the name of a skill"); }

TriggeredEffect* read_triggered(ParseContext& pc) {
  if (!pc.optional_string("+Triggered Effect:")) return nullptr;
  auto* t = static_cast<TriggeredEffect*>(block_alloc(pc, sizeof(TriggeredEffect)));
  t->spell = read_spell(pc);
  t->chance = static_cast<float>(pc.read_int()) / 100.0f;
  t->level = line_int(pc, 0);
  return t;
}

// A modifier line beyond the record's room is an error at that line.
template <class T, int N>
T* next_mod(ParseContext& pc, T* (&mods)[N], const char* what) {
  for (T*& m : mods) {
    if (!m) {
      m = static_cast<T*>(block_alloc(pc, sizeof(T)));
      return m;
    }
  }
  pc.error(what);
}

void read_weapon(ParseContext& pc, Item_info& it) {
  WeaponPart& w = it.weapon;
  w.drop_tags[0] = w.drop_tags[1] = -1;
  w.render_distance = 1.0f;
  w.elemental_damage = -1;
  if (pc.optional_string("+Render distance:")) w.render_distance = pc.read_float();
  if (pc.optional_string("+Flags:")) {
    while (!pc.check_string("$Skill:") && !(w.flags & WF_PROP_ONLY)) {
      w.flags |= static_cast<uint16_t>(1u << read_word(pc, Weapon_flag_names, 4));
    }
  }
  // A weapon that is only ever a prop carries nothing more, not even a
  // description: the next entry (or the end) follows at once.
  if (w.flags & WF_PROP_ONLY) return;
  pc.require_string("$Skill:");
  w.skill = read_skill(pc);
  pc.require_string("$Class:");
  w.weapon_class = read_word(pc, Weapon_class_names, NUM_WEAPON_CLASSES);
  pc.require_string("$Damage:");
  w.damage = static_cast<uint16_t>(pc.read_int_in(0, 65535, "$Damage:"));
  pc.require_string("$Damage Type:");
  w.damage_type = read_word(pc, Damage_type_names, NUM_DAMAGE_TYPES);
  if (pc.optional_string("+Elemental Damage:")) w.elemental_damage = read_word(pc, Damage_type_names, NUM_DAMAGE_TYPES);
  pc.require_string("$Speed:");
  w.speed = pc.read_float();
  if (pc.optional_string("$Size:")) {
    char size[ITEM_TEXT_MAX + 1];
    pc.read_string(size, sizeof size);
  }
  pc.require_string("$Attack Radius:");
  w.attack_radius = pc.read_float();
  pc.require_string("$Weight:");
  w.weight = pc.read_float() / 100.0f;
  pc.require_string("$Default Material:");
  it.default_material = read_word(pc, Material_names, NUM_MATERIALS);
  w.triggered = read_triggered(pc);
}

void read_armor(ParseContext& pc, Item_info& it) {
  ArmorPart& a = it.armor;
  static const char* const hero_keys[4] = {"+Ruvizo", "+Zazuru", "+Rivud", "+Rivadara"};  // hero order
  static const uint8_t hero_bits[4] = {RESTRICT_RUVIZO, RESTRICT_ZAZURU, RESTRICT_RIVUD, RESTRICT_RIVADARA};
  for (;;) {
    int hero = -1;
    for (int h = 0; h < 4 && hero < 0; h++) {
      if (pc.optional_string(hero_keys[h])) hero = h;
    }
    if (hero < 0) break;
    bool heavy = false;
    pc.skip_space_in_line();
    if (pc.optional_string("Heavy")) heavy = true;
    // Parts: body (none given), cape or one hand, head, leg.
    int part = 0;
    bool cape = false;
    if (pc.optional_string("Cape")) part = 1, cape = true;
    else if (pc.optional_string("One Hand")) part = 1;
    else if (pc.optional_string("Head")) part = 2;
    else if (pc.optional_string("Leg")) part = 3;
    pc.require_string("Texture:");
    char name[ITEM_TEXT_MAX + 1];
    int n = pc.read_string(name, sizeof name);
    heavy = heavy || it.slot == SLOT_HEAVY;
    const int slot = it.slot;
    bool slot_ok = ((slot == SLOT_HANDS || slot == SLOT_FEET) && !heavy) ||
                   ((slot == SLOT_TORSO || slot == SLOT_LEGS || slot == SLOT_HEAVY) && (!heavy || hero != HERO_RIVADARA));
    bool part_ok = part == 0 || (part == 2 && (slot == SLOT_TORSO || slot == SLOT_HEAVY)) ||
                   (cape && (slot == SLOT_TORSO || slot == SLOT_HEAVY)) || (part == 1 && !cape && slot == SLOT_HANDS) ||
                   (part == 3 && slot == SLOT_HEAVY);
    if (!(it.restriction & hero_bits[hero]) || !slot_ok || !part_ok) continue;
    const int variant = hero + (heavy ? 4 : 0);
    a.textures[variant][part] = block_copy(pc, name, n);
    if (slot == SLOT_HANDS || slot == SLOT_FEET) {
      a.textures[hero + 4][0] = a.textures[hero][0];
      a.textures[hero + 4][1] = a.textures[hero][1];
    }
  }
  pc.require_string("$Speed:");
  a.speed = pc.read_float();
  pc.require_string("$Weight:");
  a.weight = pc.read_float() / 100.0f;
  pc.require_string("$Protection:");
  a.protection = pc.read_float() / 100.0f;
  pc.require_string("$Default Material:");
  it.default_material = read_word(pc, Material_names, NUM_MATERIALS);
  a.triggered = read_triggered(pc);
}

void read_entry(ParseContext& pc, Item_info& it) {
  it = Item_info();
  pc.require_string("$Name:");
  it.name = block_text(pc);
  pc.require_string("$Type:");
  {
    ParsePos at;
    pc.skip_space();
    pc.save_pos(at);
    char type[ITEM_TEXT_MAX + 1];
    pc.read_string(type, sizeof type);
    int t = word_index(Type_names, 3, type);
    if (t < 0) {
      pc.restore_pos(at);
      pc.error("\"Weapon\", \"Armor\" or \"Misc\"");
    }
    it.type = t;
  }
  it.slot = it.type == ITEM_WEAPON ? SLOT_WEAPON : -1;
  if (pc.optional_string("+Slot:")) it.slot = read_word(pc, Item_slot_names, NUM_ITEM_SLOTS);
  if (pc.optional_string("+Flags:")) {
    while (!pc.check_string("$Value:")) {
      int bit = read_word(pc, Item_flag_names, 8);
      it.flags |= static_cast<uint16_t>(1u << bit);
      if (bit == 0) it.flags |= IF_WAS_UNIDENTIFIED;
    }
  }
  pc.require_string("$Value:");
  it.value = pc.read_int();
  pc.require_string("$Icon:");
  {
    char icon[ITEM_TEXT_MAX + 1];
    pc.read_string(icon, sizeof icon);
  }
  pc.require_string("$Model:");
  it.model_name = block_text(pc);
  if (pc.optional_string("+Animation:")) {
    const char* effect = block_text(pc);
    if (it.type == ITEM_WEAPON || (it.type == ITEM_ARMOR && it.slot == SLOT_SHIELD)) it.attached_effect = effect;
  }
  if (pc.optional_string("+Bitmap:")) {
    char icon[ITEM_TEXT_MAX + 1];
    pc.read_string(icon, sizeof icon);
    it.icon = static_cast<uint16_t>(bm_load(icon));
  }
  while (pc.optional_string("+Skill Mod:")) {
    ItemSkillMod* m = next_mod(pc, it.skill_mods, "at most 4 skill modifiers");
    m->skill = read_skill(pc);
    m->fraction = static_cast<float>(pc.read_int()) / 100.0f;
  }
  while (pc.optional_string("+Resist Mod:")) {
    ItemResistMod* m = next_mod(pc, it.resist_mods, "at most 4 resist modifiers");
    m->damage_type = read_word(pc, Damage_type_names, NUM_DAMAGE_TYPES);
    m->fraction = static_cast<float>(pc.read_int()) / 100.0f;
  }
  while (pc.optional_string("+Stat Mod:")) {
    ItemStatMod* m = next_mod(pc, it.stat_mods, "at most 2 stat modifiers");
    m->stat = read_word(pc, Stat_names, 2);
    m->amount = pc.read_int();
  }
  for (;;) {
    if (pc.optional_string("+AP Regen:")) {
      it.ap_regen = static_cast<float>(pc.read_int()) / 100.0f;
    } else if (pc.optional_string("+Stealth")) {
      it.flags |= IF_STEALTH;
    } else if (pc.optional_string("+Effect:")) {
      ParsePos at;
      pc.skip_space();
      pc.save_pos(at);
      int slot = spell_status_slot(read_spell(pc));
      if (slot < 0 || slot >= NUM_ITEM_STATUS_SLOTS) {
        pc.restore_pos(at);
        pc.error("a spell whose status an item can give (status 0 to 8)");
      }
      it.status_levels[slot] = static_cast<uint8_t>(line_int(pc, 0));
    } else {
      break;
    }
  }
  bool self_only = false;
  if (pc.optional_string("+Charge Effect:") || (self_only = pc.optional_string("+Self Only Charge Effect:"))) {
    auto* c = static_cast<ChargeEffect*>(block_alloc(pc, sizeof(ChargeEffect)));
    c->spell = read_spell(pc);
    c->charges = pc.read_int();
    c->seconds = pc.read_int();
    c->level = line_int(pc, -1);
    c->self_only = self_only ? 1 : 0;
    if (pc.optional_string("+Disposable")) {
      c->disposable = pc.optional_string(":") ? static_cast<float>(pc.read_int()) / 100.0f : 1.0f;
    }
    it.use_effect = c;
  }
  if (pc.optional_string("+Restricted:")) {
    static const uint8_t bits[4] = {RESTRICT_RUVIZO, RESTRICT_RIVADARA, RESTRICT_RIVUD, RESTRICT_ZAZURU};
    it.restriction = 0;
    for (int w; (w = optional_word(pc, Restriction_words, 4)) >= 0;) it.restriction |= bits[w];
  }
  if (it.type == ITEM_WEAPON) {
    read_weapon(pc, it);
    if (it.weapon.flags & WF_PROP_ONLY) return;
  } else if (it.type == ITEM_ARMOR) {
    read_armor(pc, it);
  }
  if (pc.optional_string("+Description:")) it.description = block_text(pc);
  while (pc.optional_string("+RenderMask:")) {
    char model[64];
    pc.read_string(model, sizeof model);
    int32_t numbers[8];
    int n = pc.read_int_list(numbers, 8);
    int m = word_index(Hero_model_names, NUM_HERO_MODELS, model);
    if (m < 0) continue;
    it.render_masks[m] = 0;
    for (int i = 0; i < n; i++) {
      if (numbers[i] >= 1 && numbers[i] <= 8) it.render_masks[m] |= static_cast<uint8_t>(1u << (numbers[i] - 1));
    }
  }
}

void read_materials(ParseContext& pc) {
  pc.require_string("#Materials");
  for (int i = 0; i < NUM_MATERIALS; i++) {
    Material_info& m = Materials[i];
    pc.require_string("$Material:");
    m.index = i;
    pc.require_string("+Damage Modifier:");
    m.damage_modifier = pc.read_float();
    pc.require_string("+Weight Multiplier:");
    m.weight_multiplier = pc.read_float();
    pc.require_string("+Speed Multiplier:");
    m.speed_multiplier = pc.read_float();
    pc.require_string("+Protection Multiplier:");
    m.protection_multiplier = pc.read_float();
  }
  pc.require_string("#End");
  Item_tables_checksum += pc.crc();
}

void read_items(ParseContext& pc) {
  Num_item_infos = 0;
  pc.require_string("#Items");
  while (!pc.optional_string("#End")) {
    if (Num_item_infos < MAX_ITEM_INFO) {
      read_entry(pc, Item_infos[Num_item_infos++]);
    } else {
      // Entries past the table's room are read, so the file is still
      // checked, and dropped together with the memory they took.
      static Item_info scratch;
      const int used = item_block().used();
      read_entry(pc, scratch);
      item_block().set_used(used);
      scratch = Item_info();
    }
  }
  Item_tables_checksum += pc.crc();
  item_paging_reset();
}

void clear_tables() {
  item_paging_reset();
  for (int i = 0; i < Num_item_infos; i++) Item_infos[i] = Item_info();
  Num_item_infos = 0;
  item_block().rewind();
  Item_tables_checksum = 0;
}

int table_path_type() { return Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE; }

}  // namespace

void item_tables_init() {
  clear_tables();
  ParseContext pc;
  pc.open_or_die("materials.tbl", table_path_type());
  read_materials(pc);
  pc.open_or_die("items.tbl", table_path_type());
  read_items(pc);
  console_printf("Read materials.tbl and items.tbl: %d materials, %d items\n", NUM_MATERIALS, Num_item_infos);
}

void materials_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_materials(pc);
}

void items_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_items(pc);
}

void item_tables_init_text(const char* materials, int materials_length, const char* items, int items_length) {
  clear_tables();
  materials_load_text("materials.tbl", materials, materials_length);
  items_load_text("items.tbl", items, items_length);
}

void item_tables_free() { clear_tables(); }

void item_reset_identification() {
  for (int i = 0; i < Num_item_infos; i++) {
    Item_info& it = Item_infos[i];
    if (it.flags & IF_WAS_UNIDENTIFIED) it.flags |= IF_NOT_IDENTIFIED;
    else it.flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
  }
}

void item_pool_init() {
  Free_instances = nullptr;
  for (int i = MAX_ITEM_INSTANCES - 1; i >= 0; i--) {
    Instances[i] = item_instance{Free_instances, nullptr, 0, -1};
    Free_instances = &Instances[i];
  }
  Num_live_items = 0;
  Pool_ready = true;
}

item_instance* item_create(int index) {
  if (index < 0 || index >= MAX_ITEM_INFO || index >= Num_item_infos) return nullptr;
  if (!Pool_ready) item_pool_init();
  // Running out of instances is a soft failure: every caller tests for null.
  if (!Free_instances) return nullptr;
  item_instance* item = Free_instances;
  Free_instances = item->next_free;
  item->next_free = nullptr;
  item->info = &Item_infos[index];
  item->charges = item->info->use_effect ? item->info->use_effect->charges : 0;
  item->spare = -1;
  Num_live_items++;
  return item;
}

item_instance* item_create_by_name(const char* name) {
  int index = item_lookup(name);
  return index < 0 ? nullptr : item_create(index);
}

item_instance* item_create_misc_by_name(const char* name) { return item_create_by_name(name); }

void item_free(item_instance* item) {
  // A free instance has no item: freeing it again would put it on the free
  // list twice and hand it to two owners.
  if (!item || !item->info) return;
  item->info = nullptr;
  item->next_free = Free_instances;
  Free_instances = item;
  Num_live_items--;
}

int item_lookup(const char* name) { return record_index(Item_infos, Num_item_infos, name); }

int item_lookup_by_checksum(uint32_t checksum) {
  for (int i = 0; i < Num_item_infos; i++) {
    if (Item_infos[i].name && name_checksum(Item_infos[i].name) == checksum) return i;
  }
  return -1;
}

bool item_info_is_identified(const Item_info* info) {
  if (!info) return false;
  return game_is_networked() || !(info->flags & IF_NOT_IDENTIFIED);
}

bool item_is_identified(const item_instance* item) { return item && item_info_is_identified(item->info); }

bool item_can_destroy(const item_instance* item) { return item && item->info && !(item->info->flags & IF_NO_DESTROY); }

bool item_is_usable(const item_instance* item) {
  return item_is_identified(item) && item->info->use_effect != nullptr;
}

bool item_is_consumed(const Item_info* info) {
  if (!info || !info->use_effect) return true;
  if (info->use_effect->charges > 1) return false;
  return info->use_effect->disposable >= 1.0f;
}

bool weapon_is_ranged(const WeaponPart& weapon) { return (weapon.flags & WF_RANGED) != 0; }

bool item_hero_may_use(const ItemUser& user, const Item_info* info) {
  if (!info) return false;
  if (user.kind > 3 || user.kind < 0) return true;
  static const uint8_t bits[4] = {RESTRICT_RUVIZO, RESTRICT_ZAZURU, RESTRICT_RIVUD, RESTRICT_RIVADARA};
  if (!(info->restriction & bits[user.kind])) return false;
  if (user.kind == HERO_RUVIZO && (user.state & 0x2000000u) &&
      (info->slot == SLOT_SHIELD || info->slot == SLOT_TWO_HANDED))
    return false;
  return true;
}

bool item_instance_hero_may_use(const ItemUser& user, const item_instance* item) {
  return item && item_hero_may_use(user, item->info);
}

bool item_can_use(const ItemUser& user, const Item_info* info) {
  if (!info || !item_info_is_identified(info)) return false;
  if (info->slot == -1) return false;
  if (user.object_type != 7 || (user.state & 0x100u)) return true;
  if (!item_hero_may_use(user, info)) return false;
  auto level = [&](int skill) { return user.skill_level ? user.skill_level(user, skill) : 0; };
  float weight = 0.0f;
  if (info->type == ITEM_WEAPON) {
    if (!(user.weapon_classes & (1u << info->weapon.weapon_class))) return false;
    if (level(info->weapon.skill) <= 0) return false;
    weight = info->weapon.weight;
  } else if (info->type == ITEM_ARMOR) {
    weight = info->armor.weight;
  }
  if (weight > 0.0f && static_cast<float>(level(8)) < weight) return false;
  return true;
}

bool item_can_use_instance(const ItemUser& user, const item_instance* item) {
  return item && item_can_use(user, item->info);
}

std::string item_display_name(const Item_info* info) {
  if (!info || !info->name) return std::string();
  const char* hash = strchr(info->name, '#');
  if (!hash) return info->name;
  if (item_info_is_identified(info)) return std::string(hash + 1);
  return std::string(info->name, static_cast<size_t>(hash - info->name));
}

void item_display_name(char* out, int size, const Item_info* info) {
  if (!out || size <= 0) return;
  snprintf(out, static_cast<size_t>(size), "%s", item_display_name(info).c_str());
}

int hero_model_index(const char* model) { return word_index(Hero_model_names, NUM_HERO_MODELS, model); }

namespace {

struct SummoningRing {
  const char* item;
  const char* counter;
  const char* first;
  const char* second;
};
const SummoningRing Rings[8] = {
    {"Ring of Darkness", "dark_ring_xp", "  Blackfire Elemental\n", "  Spirit of Laharah\n"},
    {"Ring of Light", "light_ring_xp", "  Mist Elemental\n", "  Wraith\n"},
    {"Ring of Fire", "fire_ring_xp", "  Red Minotaur\n", "  Blood Elemental\n"},
    {"Ring of Stone", "stone_ring_xp", "  Stone Golem\n", "  Blade of Zhorek\n"},
    {"Ring of Water", "water_ring_xp", "  Blue Imp\n", "  Dragon of Water\n"},
    {"Ring of Four Winds", "wind_ring_xp", "  Celestial Samurai\n", "  Dragon of Four Winds\n"},
    {"Ring of Forest", "forest_ring_xp", "  Poison Elemental\n", "  Dragon of the Forest\n"},
    {"Ring of Jade", "jade_ring_xp", "  Jade Golem\n", "  Dragon of Jade\n"},
};

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* format, ...) {
  char line[600];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out += line;
}

// "+%d" or "-%d": the sign is written apart from the rounded magnitude.
void append_signed(std::string& out, const char* label, float value) {
  appendf(out, "%s: %c%d\n", label, value < 0.0f ? '-' : '+', static_cast<int>(std::lround(std::fabs(value))));
}

}  // namespace

std::string item_describe(const item_instance* item) {
  std::string out;
  if (!item || !item->info) return out;
  const Item_info& it = *item->info;
  for (const SummoningRing& ring : Rings) {
    if (!it.name || strcasecmp(it.name, ring.item) != 0) continue;
    const int power = level_int_get(SAVED_GAME_WIDE_LEVEL, ring.counter);
    out += "Summoning Ring\n";
    appendf(out, "Ring Power: %d\n", power);
    out += "Available Summons:\n";
    out += ring.first;
    const bool second = (&ring == &Rings[0]) ? level_flag_get(SAVED_GAME_WIDE_LEVEL, "got_laharah_spirit")
                                             : power >= 60000;
    if (second) out += ring.second;
    return out;
  }
  appendf(out, "Value: %d gp\n", it.value);
  if (it.type == ITEM_ARMOR) {
    appendf(out, "Protection: %d\n", static_cast<int>(std::lround(it.armor.protection * 100.0f)));
  } else if (it.type == ITEM_WEAPON && !(it.weapon.flags & WF_PROP_ONLY)) {
    appendf(out, "Damage: %d\n", it.weapon.damage);
    if (it.weapon.speed == 0.0f) out += "Speed: 1.00\n";
    else appendf(out, "Speed: %3.2f\n", static_cast<double>(1.0f / it.weapon.speed));
  }
  const bool networked = game_is_networked();
  for (const ItemSkillMod* m : it.skill_mods) {
    if (!m || m->skill < 0 || m->skill >= NUM_SKILLS) continue;
    int shown = m->skill;
    if (networked && shown == 20) shown = 17;
    else if (networked && shown == 21) shown = 29;
    append_signed(out, Skills[shown].name, m->fraction * 10.0f);
  }
  for (const ItemResistMod* m : it.resist_mods) {
    if (!m || m->damage_type < 0 || m->damage_type >= NUM_DAMAGE_TYPES) continue;
    char label[64];
    snprintf(label, sizeof label, "Resist %s", Damage_type_names[m->damage_type]);
    append_signed(out, label, m->fraction * 10.0f);
  }
  for (const ItemStatMod* m : it.stat_mods) {
    if (!m) continue;
    append_signed(out, m->stat == 0 ? "MaxHP" : "MaxAP", static_cast<float>(m->amount));
  }
  static const char* const status_names[NUM_ITEM_STATUS_SLOTS] = {
      "Blind", "Silenced", "Faith", "Cursed", "Blessed", "Regenerating", "Empowered", "Light", "Invisible"};
  std::string status;
  if (it.flags & IF_STEALTH) status = "Stealth";
  for (int s = 0; s < NUM_ITEM_STATUS_SLOTS; s++) {
    if (it.status_levels[s] == 255) continue;
    if (!status.empty()) status += ", ";
    status += status_names[s];
  }
  if (!status.empty()) out += "Status: " + status + "\n";
  if (it.use_effect) {
    const int spell = it.use_effect->spell;
    appendf(out, "Charges: %s (%d/%d)\n", (spell >= 0 && spell < MAX_SPELLS && Spells[spell].name) ? Spells[spell].name : "",
            item->charges, it.use_effect->charges);
  }
  const TriggeredEffect* triggered = it.type == ITEM_WEAPON ? it.weapon.triggered
                                     : it.type == ITEM_ARMOR ? it.armor.triggered
                                                             : nullptr;
  if (it.type == ITEM_WEAPON && (it.weapon.flags & WF_PROP_ONLY)) triggered = nullptr;
  if (triggered && triggered->spell >= 0 && triggered->spell < MAX_SPELLS && Spells[triggered->spell].name)
    appendf(out, "Effect: %s\n", Spells[triggered->spell].name);
  if (it.type == ITEM_WEAPON && !(it.weapon.flags & WF_PROP_ONLY)) {
    static const char* const req[5] = {"Sword", "Axe", "Blunt", "Staff", "Bow"};
    std::string line;
    if (it.weapon.skill >= 3 && it.weapon.skill <= 7) line = std::string("Skill Req: ") + req[it.weapon.skill - 3];
    if (it.weapon.weight > 0.0f) {
      line += line.empty() ? "Skill Req: " : ", ";
      appendf(line, "Heavy Arms %d", static_cast<int>(std::lround(it.weapon.weight * 10.0f)));
    }
    if (!line.empty()) out += line + "\n";
  } else if (it.type == ITEM_ARMOR && it.armor.weight > 0.0f) {
    appendf(out, "Skill Req: Heavy Arms %d\n", static_cast<int>(std::lround(it.armor.weight * 10.0f)));
  }
  static const uint8_t bits[4] = {RESTRICT_RUVIZO, RESTRICT_ZAZURU, RESTRICT_RIVUD, RESTRICT_RIVADARA};
  std::string heroes;
  for (int h = 0; h < 4; h++) {
    if (!(it.restriction & bits[h])) continue;
    if (!heroes.empty()) heroes += ", ";
    heroes += Hero_names[h];
  }
  out += "Equippable by: " + heroes + "\n";
  return out;
}

namespace {

void page_level_item(const char* name, const char* missing, const char* unpaged) {
  const int index = item_lookup(name);
  if (index < 0) critical_error_fmt("items", 0, "%s", missing);
  if (!item_page_in(index, ITEM_PAGING_LEVEL_SLOT)) critical_error_fmt("items", 0, "%s", unpaged);
}

void page_entity_items(const ItemLevelEntity& e) {
  if (e.state & 0x100u) {
    item_page_in(e.equipment[5], 8);
    item_page_in(e.equipment[9], 9);
    if (e.kind == 206) item_page_in(e.carried_item, 9);
    return;
  }
  if (e.paging_slots[0] < 0) return;
  item_page_in(e.equipment[5], e.paging_slots[0]);
  item_page_in(e.equipment[6], e.paging_slots[1]);
}

}  // namespace

void item_level_load(const ItemLevelEntity* entities, int count) {
  std::printf("============================== ITEM LEVEL LOAD!\n");
  item_paging_reset();
  page_level_item("Backpack", "Cannot find backpack!", "Cannot page backpack!");
  page_level_item("Leather Bag", "Cannot find leather bag!", "Cannot page leather bag!");
  page_level_item("Gold", "Cannot find gold!", "Cannot page gold!");
  for (int i = 0; i < count; i++) {
    const ItemLevelEntity& e = entities[i];
    if (!e.live || (e.state & 0x100u) || (e.kind >= 0 && e.kind < 4)) continue;
    for (int item : e.equipment) {
      if (item >= 0) item_page_in(item, ITEM_PAGING_LEVEL_SLOT);
    }
    if (e.kind == 87) item_page_in(item_lookup("TigerAxe"), ITEM_PAGING_LEVEL_SLOT);
  }
  for (int i = 0; i < count; i++) {
    if (entities[i].live) page_entity_items(entities[i]);
  }
  for (int i = 0; i < count; i++) {
    if (!entities[i].live) page_entity_items(entities[i]);
  }
}

void item_level_unload() {
  std::printf("============================== ITEM LEVEL UNLOAD!\n");
  for (int slot = 0; slot < NUM_ITEM_PAGING_SLOTS; slot++) item_page_out(slot);
  item_paging_reset();
}

namespace {

// Developer view of an item's pop-up text: item_info "Name".
ConsoleCommand cc_item_info("item_info", "Shows the information text of an item", [] {
  console_get_arg(ARG_STRING);
  if (!Console_run) return;
  item_instance* item = item_create_by_name(Console_arg.text);
  if (!item) {
    console_printf("No item %s\n", Console_arg.text);
    return;
  }
  console_printf("%s\n%s", item_display_name(item->info).c_str(), item_describe(item).c_str());
  item_free(item);
});

}  // namespace

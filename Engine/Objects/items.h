#pragma once
// Items: the definitions read at start-up from "items.tbl" (with the
// seventeen materials of "materials.tbl"), and the pool of item instances
// that point at them. Everything that can be carried is an instance.
//
// A name holding '#' carries the unidentified name before it and the
// identified name after it; item_display_name picks the right one.
#include <cstdint>
#include <cstring>
#include <string>

#define MAX_ITEM_INFO 521
#define MAX_ITEM_INSTANCES 1224
#define ITEM_MEMORY_SIZE 69632
#define MAX_ITEM_SKILL_MODS 4
#define MAX_ITEM_RESIST_MODS 4
#define MAX_ITEM_STAT_MODS 2
#define NUM_ITEM_STATUS_SLOTS 9
#define NUM_HERO_MODELS 7
#define ITEM_TEXT_MAX 511

enum ItemType { ITEM_WEAPON = 0, ITEM_ARMOR = 1, ITEM_MISC = 2 };
enum ItemSlot {
  SLOT_NECK, SLOT_FINGER, SLOT_HANDS, SLOT_FEET, SLOT_WEAPON, SLOT_SHIELD, SLOT_TORSO, SLOT_LEGS, SLOT_HEAVY,
  SLOT_TWO_HANDED, NUM_ITEM_SLOTS
};
extern const char* const Item_slot_names[NUM_ITEM_SLOTS];

enum ItemFlags : uint16_t {
  IF_NOT_IDENTIFIED = 0x1, IF_SHADOW = 0x2, IF_NO_DESTROY = 0x4, IF_WAS_UNIDENTIFIED = 0x8, IF_STEALTH = 0x10,
  IF_MULTI_EASY_ONLY = 0x20, IF_MULTI_MEDIUM_ONLY = 0x40, IF_MULTI_HARD_ONLY = 0x80
};
enum WeaponFlags : uint16_t { WF_RANGED = 1, WF_NO_DROP = 2, WF_PROP_ONLY = 4, WF_MAGICAL = 8 };
// Restriction bits (not in hero order).
enum ItemRestriction : uint8_t { RESTRICT_RUVIZO = 1, RESTRICT_RIVADARA = 2, RESTRICT_RIVUD = 4, RESTRICT_ZAZURU = 8 };

struct ItemSkillMod { int32_t skill; float fraction; };
struct ItemResistMod { int32_t damage_type; float fraction; };
struct ItemStatMod { int32_t stat; int32_t amount; };  // stat 0 MaxHP, 1 MaxAP
struct ChargeEffect {
  int32_t spell;
  int32_t charges;
  int32_t seconds;
  int32_t level;  // -1 when the table gives none
  uint8_t self_only;
  float disposable;  // 0 never consumed, 1.0 always
};
struct TriggeredEffect { int32_t spell; float chance; int32_t level; };

struct WeaponPart {
  uint16_t damage;
  uint16_t flags;
  int32_t skill;
  float speed;
  float attack_radius;
  float weight;
  int32_t drop_tags[2];  // mesh tags "$drop-ground01/02", -1 until paged in
  float render_distance;
  int32_t weapon_class;
  int32_t damage_type;
  int32_t elemental_damage;
  TriggeredEffect* triggered;
};

// Texture variants: hero number + 4 for the heavy model; parts body, cape or
// one hand, head, leg.
constexpr int NUM_ARMOR_VARIANTS = 8;
constexpr int NUM_ARMOR_PARTS = 4;
struct ArmorPart {
  const char* textures[NUM_ARMOR_VARIANTS][NUM_ARMOR_PARTS];
  float speed;
  float weight;
  float protection;
  TriggeredEffect* triggered;
};

struct Item_info {
  const char* name = nullptr;
  int32_t type = ITEM_MISC;
  int32_t default_material = 0;
  const char* model_name = nullptr;
  void* model = nullptr;  // set while paged in
  const char* attached_effect = nullptr;
  int32_t value = 0;
  int32_t slot = -1;
  ItemSkillMod* skill_mods[MAX_ITEM_SKILL_MODS] = {};
  ItemResistMod* resist_mods[MAX_ITEM_RESIST_MODS] = {};
  ItemStatMod* stat_mods[MAX_ITEM_STAT_MODS] = {};
  uint8_t status_levels[NUM_ITEM_STATUS_SLOTS] = {255, 255, 255, 255, 255, 255, 255, 255, 255};
  float ap_regen = 1.0f;
  ChargeEffect* use_effect = nullptr;
  uint16_t flags = 0;
  uint16_t icon = 0;
  uint8_t render_masks[NUM_HERO_MODELS] = {};
  uint8_t restriction = 15;
  union {
    WeaponPart weapon;
    ArmorPart armor;
  };
  const char* description = nullptr;

  Item_info() {
    std::memset(static_cast<void*>(&armor), 0, sizeof armor > sizeof weapon ? sizeof armor : sizeof weapon);
  }
};

struct Material_info {
  int32_t index;
  float damage_modifier;
  float weight_multiplier;
  float speed_multiplier;
  float protection_multiplier;
};

struct item_instance {
  item_instance* next_free;
  Item_info* info;
  int32_t charges;
  int32_t spare;
};

extern Item_info Item_infos[MAX_ITEM_INFO];
extern int Num_item_infos;
extern Material_info Materials[17];
extern uint32_t Item_tables_checksum;
extern int Num_live_items;

// Reads "materials.tbl" then "items.tbl" from the tables folder.
void item_tables_init();
// The same from texts in memory (tests, tools and the fuzz target).
void item_tables_init_text(const char* materials, int materials_length, const char* items, int items_length);
void materials_load_text(const char* filename, const char* text, int length);
void items_load_text(const char* filename, const char* text, int length);
void item_tables_free();
void item_reset_identification();

void item_pool_init();
// Null for an index outside the table and when all instances are in use.
item_instance* item_create(int index);
item_instance* item_create_by_name(const char* name);
item_instance* item_create_misc_by_name(const char* name);
// Gives the instance back; one already free is left as it is.
void item_free(item_instance* item);

int item_lookup(const char* name);
int item_lookup_by_checksum(uint32_t checksum);
bool item_is_identified(const item_instance* item);
bool item_info_is_identified(const Item_info* info);
bool item_can_destroy(const item_instance* item);
bool item_is_usable(const item_instance* item);
bool item_is_consumed(const Item_info* info);
bool weapon_is_ranged(const WeaponPart& weapon);

// What the use rules need to know of a living entity.
struct ItemUser {
  int kind = -1;               // character kind; heroes 0..3
  int object_type = 5;         // 7 = player character
  uint32_t state = 0;          // living-entity state bits (0x100, 0x2000000)
  uint32_t weapon_classes = 0xFFFFFFFFu;  // its type's allowed weapon classes
  int (*skill_level)(const ItemUser&, int skill) = nullptr;
  const void* entity = nullptr;
};
bool item_hero_may_use(const ItemUser& user, const Item_info* info);
bool item_instance_hero_may_use(const ItemUser& user, const item_instance* item);
bool item_can_use(const ItemUser& user, const Item_info* info);
bool item_can_use_instance(const ItemUser& user, const item_instance* item);

// The shown name, without the '#' part that does not apply.
std::string item_display_name(const Item_info* info);
void item_display_name(char* out, int size, const Item_info* info);
// The information text of the item pop-up.
std::string item_describe(const item_instance* item);
int hero_model_index(const char* model);

// The living entities of a level as item loading sees them.
struct ItemLevelEntity {
  int kind = -1;
  bool live = true;
  uint32_t state = 0;
  int equipment[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  // item indices
  int carried_item = -1;  // the definition a kind 206 entity carries
  int paging_slots[2] = {-1, -1};  // from item_paging_slot_for_player
};
void item_level_load(const ItemLevelEntity* entities, int count);
void item_level_unload();

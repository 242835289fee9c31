#pragma once
// The party inventory and the equipment blocks of living entities. The
// heroes share one inventory: up to MAX_ITEM_INFO stacks and a purse. A
// stack owns its item instance; an equipment block owns the instances in
// its ten slots (living_entity.h numbers them from 0: 0 neck, 1-2 rings,
// 3 hands, 4 feet, 5 weapon, 6 shield, 7 torso, 8 legs, 9 second weapon).
#include <cstdint>

#include "quarn/math/vector.h"

#define MAX_PARTY_INVENTORY 521
#define NEW_GAME_GOLD 30

struct item_instance;
struct Item_info;
class living_entity;
class ground_item;

struct InventoryEntry {
  uint32_t count = 0;
  item_instance* item = nullptr;
};

struct PartyInventory {
  InventoryEntry entries[MAX_PARTY_INVENTORY];
  int32_t count = 0;
  uint32_t gold = 0;
};
extern PartyInventory Party_inventory;

enum PartyItemKind { PIK_BAD = -1, PIK_WEAPON = 0, PIK_ARMOUR = 1, PIK_USABLE = 2, PIK_WEARABLE = 3, PIK_OTHER = 4 };
int party_item_kind(int definition_index);

void party_inventory_init();
void party_inventory_forget();
void party_inventory_clear();
void party_inventory_add(item_instance* item, int count, bool resort);
void party_inventory_add_by_index(int index, int count, int charges, bool resort);
void party_inventory_add_by_name(const char* name, int count, int charges, bool resort);
void party_inventory_pickup(ground_item* object, bool resort);
void party_inventory_remove(int entry, bool free_item, bool resort);
int party_inventory_find(const Item_info* info);
int party_inventory_find_by_index(int index);
// Casts an item's use effect through the spell-cast hook; false when it
// cannot be used.
bool party_inventory_use_item(living_entity* user, int entry, living_entity* target, const vector* target_pos,
                              int extra);
// Groups by kind (weapons, armour, usable, wearable, other), then orders by
// definition index; equal indices keep their order.
void party_inventory_sort(InventoryEntry* entries, int count);
struct IndexValuePair {
  int32_t index;
  int32_t value;
};
void party_inventory_sort_pairs(IndexValuePair* pairs, int count);

// The spell cast of item uses (spell_cast, source kind 5) and the level
// item list the pick-up updates: filled by the magic and scripting code.
struct InventoryHooks {
  void (*cast)(living_entity* user, int spell, living_entity* target, const vector* pos, const item_instance* item,
               int extra) = nullptr;
  void (*forget_level_item)(ground_item* object) = nullptr;
  // The level-script state (-1 and 4 suppress equipment status effects).
  int (*level_script_state)() = nullptr;
};
void inventory_set_hooks(const InventoryHooks& hooks);

void equipment_clear(item_instance** block);
void equipment_free_all(item_instance** block);
void entity_equip_item(item_instance** out1, item_instance** out2, living_entity* e, int slot, item_instance* item);
item_instance* entity_unequip_slot(living_entity* e, int slot, bool restore_look);
bool entity_use_equipped_item(living_entity* e, int slot, living_entity* target, const vector* pos, int extra);
int entity_find_equipped(const living_entity* e, const Item_info* info);
bool entity_has_equipped(const living_entity* e, const Item_info* info);
bool entity_wears_servant_outfit(const living_entity* e);
// A hero's heavy armour: a heavy item (item slot 8) in the torso slot.
bool entity_wears_heavy_armour(const living_entity* e);

#pragma once
// What the inventory screen does to the party's bag and a member's
// equipment, apart from drawing: the listed entries (all, or only the
// unidentified ones in identify mode), where an item may be dropped, equip
// from the bag, take off, the ring swap, destroy, the category jumps and the
// list's paging. Entries are followed by their item instance, never by a
// position kept from an earlier frame: the bag is re-sorted as items come
// and go, and in a networked game other players change it meanwhile.
#include <cstdint>

class living_entity;
struct item_instance;
struct Item_info;

// Equipment slots of the windows, by window kind.
enum InvWindow {
  INV_WIN_TORSO, INV_WIN_LEGS, INV_WIN_FEET, INV_WIN_RING1, INV_WIN_RING2, INV_WIN_NECK, INV_WIN_WEAPON,
  INV_WIN_SHIELD, INV_WIN_HANDS, INV_WIN_HEAVY, INV_NUM_WINDOWS
};
// The equipment slot a window shows.
int inv_window_slot(int window);

// Bag entries listed: all, or in identify mode the unidentified ones.
int inv_list_count(bool identify);
// The party-inventory index of listed entry k; -1 outside the list.
int inv_list_entry(int k, bool identify);
// The listed position of a party-inventory entry holding that instance; -1.
int inv_list_find(const item_instance* item, bool identify);
// The party-inventory index of the entry holding the instance; -1.
int inv_entry_of(const item_instance* item);

// How a use of the item begins: INV_USE_NOW on the shown member, or the
// world target its spell waits for (a use effect without a fixed target
// whose spell is aimed at a character or a place).
enum InvUseTarget { INV_USE_NOW, INV_USE_ON_CHARACTER, INV_USE_AT_PLACE };
int inv_use_target(const item_instance* item);

// Whether the item rules let the member wear the item at all (identified,
// restrictions, skills) and, for a shield, no two-handed weapon is held.
bool inv_may_equip(const living_entity* e, const item_instance* item);
// The windows an item may be dropped on, in the order they are tried:
// first then second ring, the heavy-armour window for torso and legs items
// while heavy armour is worn. Returns the count (0..2).
int inv_drop_windows(const living_entity* e, const Item_info* info, int out[2]);

// Equips the bag entry holding `item` into equipment slot `slot`: nothing
// when the slot already holds the same kind of item. A single item goes
// itself, one of a stack is a new instance and the stack shrinks. Whatever
// the equip displaces goes back into the bag. True when something changed.
bool inv_equip_from_bag(living_entity* e, item_instance* item, int slot);
// Takes the slot's item off into the bag; the weapon stays. True when taken.
bool inv_unequip(living_entity* e, int slot);
// The two rings change places.
bool inv_swap_rings(living_entity* e);
// One of the entry holding `item` is destroyed (the entry goes with its
// last); false when the bag no longer holds it or it may not be destroyed.
bool inv_destroy(const item_instance* item);

// List category of an entry: 0 weapons, 1 armour, 2 magic items, 3 jewellery,
// 4 miscellaneous.
int inv_entry_category(int party_index);
// The first listed entry of a category, -1 when there is none.
int inv_category_first(int category, bool identify);
// Paging of a list of `count` with `visible` rows; the top never passes the
// last full page.
int inv_page_up(int top, int visible);
int inv_page_down(int top, int count, int visible);
int inv_clamp_top(int top, int count, int visible);

// The member's skill level as the item rules read it: ten times the
// statistic, rounded.
int inv_skill_level(const living_entity* e, int skill);
// Identify: of the members whose identify cooldown has run out, the one
// with the best identify skill tries. The try is the appraise skill's when
// `appraise` is given (it answers whether the attempt was made); else the
// bare rule: the cooldown starts and an item whose appraisal
// (appraise_identifies) is below the skill becomes identified.
// -1 nobody could try, 0 failed, 1 identified.
struct InvIdentifyCooldown {
  bool (*cooling)(const living_entity* e) = nullptr;
  void (*start)(living_entity* e) = nullptr;
  bool (*appraise)(item_instance* item, living_entity* e) = nullptr;
};
int inv_identify(item_instance* item, living_entity* const* members, int member_count,
                 const InvIdentifyCooldown& cooldown = {});

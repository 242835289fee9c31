// The inventory screen's rules on the world kit's demo items: the listed
// entries, drops, equip and take off, the ring swap, destroy and paging.
#include "Orrimund/screens/inventory_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "tests/support/world_kit.h"

namespace {

using InventoryRulesTest = WorldTest;

int index_of(const char* name) {
  const int i = item_lookup(name);
  EXPECT_GE(i, 0) << name;
  return i;
}

uint32_t held(const char* name) {
  const int at = party_inventory_find_by_index(item_lookup(name));
  return at < 0 ? 0 : Party_inventory.entries[at].count;
}

item_instance* bag_item(const char* name) {
  const int at = party_inventory_find_by_index(item_lookup(name));
  return at < 0 ? nullptr : Party_inventory.entries[at].item;
}

const char* worn(const living_entity* e, int slot) {
  return e->equipment[slot] && e->equipment[slot]->info ? e->equipment[slot]->info->name : "";
}

TEST_F(InventoryRulesTest, AStackLeavesTwoAndASingleItemLeavesTheBag) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  party_inventory_add_by_name("Ring of Fire", 3, -1, true);
  item_instance* stack = bag_item("Ring of Fire");
  ASSERT_NE(stack, nullptr);
  ASSERT_TRUE(inv_equip_from_bag(e, stack, EQ_RING1));
  EXPECT_EQ(held("Ring of Fire"), 2u);
  EXPECT_STREQ(worn(e, EQ_RING1), "Ring of Fire");
  EXPECT_NE(e->equipment[EQ_RING1], stack) << "one of a stack is a new instance";
  // The same kind again on that slot changes nothing.
  EXPECT_FALSE(inv_equip_from_bag(e, bag_item("Ring of Fire"), EQ_RING1));
  EXPECT_EQ(held("Ring of Fire"), 2u);

  party_inventory_add_by_name("Ring of Jade", 1, -1, true);
  item_instance* jade = bag_item("Ring of Jade");
  ASSERT_TRUE(inv_equip_from_bag(e, jade, EQ_RING2));
  EXPECT_EQ(e->equipment[EQ_RING2], jade) << "a single item goes itself";
  EXPECT_EQ(held("Ring of Jade"), 0u);
  EXPECT_LT(inv_entry_of(jade), 0);
}

TEST_F(InventoryRulesTest, TheEntryDroppedIsTheOneEquippedWhateverTheDisplacedItemsDoToTheOrder) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  // Worn: a ring that sorts before everything in the bag once it is back.
  item_instance *o1, *o2;
  entity_equip_item(&o1, &o2, e, EQ_RING1, item_create_by_name("Ring of Darkness"));
  for (const char* name : {"Ring of Water", "Ring of Jade", "Ring of Forest"}) party_inventory_add_by_name(name, 1, -1, true);
  item_instance* water = bag_item("Ring of Water");
  ASSERT_TRUE(inv_equip_from_bag(e, water, EQ_RING1));
  EXPECT_EQ(e->equipment[EQ_RING1], water);
  EXPECT_EQ(held("Ring of Water"), 0u);
  EXPECT_EQ(held("Ring of Darkness"), 1u);
  EXPECT_EQ(held("Ring of Jade"), 1u);
  EXPECT_EQ(held("Ring of Forest"), 1u);
  EXPECT_EQ(Party_inventory.count, 3);
}

TEST_F(InventoryRulesTest, AShieldWaitsForTheTwoHandedWeaponWhichPutsTheShieldBack) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int axe = index_of("Axe"), shield = index_of("Chain Mail");
  Item_infos[axe].slot = SLOT_TWO_HANDED;
  Item_infos[shield].slot = SLOT_SHIELD;
  party_inventory_add_by_index(shield, 1, -1, true);
  party_inventory_add_by_index(axe, 1, -1, true);
  item_instance* s = bag_item("Chain Mail");
  EXPECT_TRUE(inv_may_equip(e, s));
  ASSERT_TRUE(inv_equip_from_bag(e, s, EQ_SHIELD));
  ASSERT_TRUE(inv_equip_from_bag(e, bag_item("Axe"), EQ_WEAPON));
  EXPECT_STREQ(worn(e, EQ_WEAPON), "Axe");
  EXPECT_EQ(e->equipment[EQ_SHIELD], nullptr);
  EXPECT_EQ(held("Chain Mail"), 1u) << "the displaced shield is back in the bag";
  EXPECT_FALSE(inv_may_equip(e, bag_item("Chain Mail"))) << "no shield beside a two-handed weapon";
  int wins[2];
  EXPECT_EQ(inv_drop_windows(e, &Item_infos[axe], wins), 1);
  EXPECT_EQ(wins[0], INV_WIN_WEAPON);
}

TEST_F(InventoryRulesTest, RingsSwapAndATakenOffItemGoesBackToTheBag) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  item_instance* fire = item_create_by_name("Ring of Fire");
  item_instance* jade = item_create_by_name("Ring of Jade");
  item_instance *o1, *o2;
  entity_equip_item(&o1, &o2, e, EQ_RING1, fire);
  entity_equip_item(&o1, &o2, e, EQ_RING2, jade);
  int wins[2];
  ASSERT_EQ(inv_drop_windows(e, fire->info, wins), 2);
  EXPECT_EQ(wins[0], INV_WIN_RING1);
  EXPECT_EQ(wins[1], INV_WIN_RING2);
  ASSERT_TRUE(inv_swap_rings(e));
  EXPECT_EQ(e->equipment[EQ_RING1], jade);
  EXPECT_EQ(e->equipment[EQ_RING2], fire);
  ASSERT_TRUE(inv_unequip(e, EQ_RING2));
  EXPECT_EQ(e->equipment[EQ_RING2], nullptr);
  EXPECT_EQ(held("Ring of Fire"), 1u);
  // The weapon is never dragged off.
  item_instance* claws = e->equipment[EQ_WEAPON];
  EXPECT_FALSE(inv_unequip(e, EQ_WEAPON));
  EXPECT_EQ(e->equipment[EQ_WEAPON], claws);
}

TEST_F(InventoryRulesTest, DestroyFindsItsItemAgainAfterTheBagChanged) {
  party_inventory_add_by_name("Health Tonic", 3, -1, true);
  party_inventory_add_by_name("Ring of Jade", 1, -1, true);
  item_instance* jade = bag_item("Ring of Jade");
  item_instance* tonic = bag_item("Health Tonic");
  // Asked about the ring; meanwhile an item sorting ahead of it arrives.
  party_inventory_add_by_name("Short Sword", 1, -1, true);
  ASSERT_TRUE(inv_destroy(jade));
  EXPECT_EQ(held("Ring of Jade"), 0u);
  EXPECT_EQ(held("Short Sword"), 1u);
  EXPECT_EQ(held("Health Tonic"), 3u);
  ASSERT_TRUE(inv_destroy(tonic));
  EXPECT_EQ(held("Health Tonic"), 2u) << "one of a stack";
  EXPECT_FALSE(inv_destroy(jade)) << "no longer held";
  Item_infos[index_of("Short Sword")].flags |= IF_NO_DESTROY;
  EXPECT_FALSE(inv_destroy(bag_item("Short Sword")));
  EXPECT_EQ(held("Short Sword"), 1u);
}

TEST_F(InventoryRulesTest, IdentifyModeListsOnlyTheUnidentifiedItems) {
  for (const char* name : {"Short Sword", "Worn Katana#Katana of the Pit", "Health Tonic", "Ring of Jade", "Backpack"})
    party_inventory_add_by_name(name, 1, -1, true);
  const int katana = index_of("Worn Katana#Katana of the Pit");
  Item_infos[katana].flags |= IF_NOT_IDENTIFIED;
  EXPECT_EQ(inv_list_count(false), 5);
  ASSERT_EQ(inv_list_count(true), 1);
  EXPECT_EQ(Party_inventory.entries[inv_list_entry(0, true)].item->info, &Item_infos[katana]);
  EXPECT_EQ(inv_list_entry(1, true), -1);
  // Categories in the bag's order: weapons, armour, magic, jewellery, misc.
  EXPECT_EQ(inv_category_first(0, false), 0);
  EXPECT_EQ(inv_category_first(1, false), -1);
  EXPECT_EQ(inv_entry_category(inv_list_entry(inv_category_first(2, false), false)), 2);
  EXPECT_EQ(inv_category_first(4, false), 4);
  // An unidentified item may not be worn.
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  EXPECT_FALSE(inv_may_equip(e, bag_item("Worn Katana#Katana of the Pit")));
}

TEST_F(InventoryRulesTest, PagingStopsAtTheLastFullPage) {
  struct Case {
    int top, count, visible, down, up;
  } cases[] = {
      {0, 17, 17, 0, 0},    // all fit: nothing moves
      {0, 18, 17, 1, 0},    // one more than a page
      {0, 40, 17, 17, 0},   // a whole page
      {17, 40, 17, 23, 0},  // the last full page
      {23, 40, 17, 23, 6},  // already there: page down does nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(inv_page_down(c.top, c.count, c.visible), c.down) << c.top << " of " << c.count;
    EXPECT_EQ(inv_page_up(c.top, c.visible), c.up) << c.top << " of " << c.count;
  }
  EXPECT_EQ(inv_clamp_top(30, 40, 17), 23);
  EXPECT_EQ(inv_clamp_top(-3, 40, 17), 0);
}

TEST_F(InventoryRulesTest, AUseWhoseSpellIsAimedWaitsForItsTarget) {
  item_instance* tonic = item_create_by_name("Health Tonic");
  ASSERT_NE(tonic, nullptr);
  ChargeEffect* fx = tonic->info->use_effect;
  ASSERT_NE(fx, nullptr);
  Spell_info& spell = Spells[fx->spell];
  const uint32_t kept_flags = spell.flags;
  const uint8_t kept_self = fx->self_only;
  struct Case {
    uint32_t flags;
    uint8_t self_only;
    int want;
  } cases[] = {
      {SPELL_TARGET_CHARACTER, 0, INV_USE_ON_CHARACTER},
      {SPELL_TARGET_LOCATION, 0, INV_USE_AT_PLACE},
      {SPELL_TARGET_CHARACTER | SPELL_TARGET_LOCATION, 0, INV_USE_ON_CHARACTER},
      {0, 0, INV_USE_NOW},
      // A use with its own fixed target never asks for one.
      {SPELL_TARGET_CHARACTER, 1, INV_USE_NOW},
  };
  for (const Case& c : cases) {
    spell.flags = c.flags;
    fx->self_only = c.self_only;
    EXPECT_EQ(inv_use_target(tonic), c.want) << c.flags << " " << int(c.self_only);
  }
  spell.flags = kept_flags;
  fx->self_only = kept_self;
  // Without a use effect there is nothing to aim.
  EXPECT_EQ(inv_use_target(bag_item("Short Sword") ? bag_item("Short Sword") : item_create_by_name("Short Sword")),
            INV_USE_NOW);
}

std::vector<const living_entity*> Cooling, Started;

TEST_F(InventoryRulesTest, IdentifyFallsToTheBestMemberNotCoolingDownAndStartsItsCooldown) {
  item_instance* katana = item_create_by_name("Worn Katana#Katana of the Pit");
  ASSERT_NE(katana, nullptr);
  const int32_t kept_value = katana->info->value;
  living_entity* sharp = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* dull = kit.spawn(kit.type("Rat"), {2, 0, 0});
  sharp->stats[20] = 50;  // 0.5
  dull->stats[20] = 30;   // 0.3
  living_entity* members[2] = {dull, sharp};
  InvIdentifyCooldown cd;
  cd.cooling = [](const living_entity* e) {
    return std::find(Cooling.begin(), Cooling.end(), e) != Cooling.end();
  };
  cd.start = [](living_entity* e) { Started.push_back(e); };
  struct Case {
    int value;  // appraisal sqrt(value) x 0.0014084507
    std::vector<const living_entity*> cooling;
    int result;
    const living_entity* tried;
  } cases[] = {
      {40000, {}, 1, sharp},                // 0.28: the best skill tries and knows it
      {40000, {sharp}, 1, dull},            // the best cools down: 0.3 is still enough
      {90000, {sharp}, 0, dull},            // 0.42 beats 0.3
      {90000, {}, 1, sharp},                // but not 0.5
      {40000, {sharp, dull}, -1, nullptr},  // nobody ready: nobody tries
  };
  for (const Case& c : cases) {
    katana->info->value = c.value;
    katana->info->flags |= IF_NOT_IDENTIFIED;
    Cooling = c.cooling;
    Started.clear();
    EXPECT_EQ(inv_identify(katana, members, 2, cd), c.result) << c.value;
    if (c.tried) {
      ASSERT_EQ(Started.size(), 1u) << c.value;
      EXPECT_EQ(Started[0], c.tried) << c.value;
    } else {
      EXPECT_TRUE(Started.empty());
    }
    EXPECT_EQ((katana->info->flags & IF_NOT_IDENTIFIED) == 0, c.result == 1) << c.value;
  }
  katana->info->value = kept_value;
  katana->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
}

// With the appraise skill given, the chosen member's try is the skill's:
// its refusal means nobody tried, and its verdict is read off the item.
std::vector<const living_entity*> Appraised;
bool Appraisal_runs = true, Appraisal_knows = true;

TEST_F(InventoryRulesTest, IdentifyHandsTheItemToTheAppraiseSkillOfTheChosenMember) {
  item_instance* katana = item_create_by_name("Worn Katana#Katana of the Pit");
  ASSERT_NE(katana, nullptr);
  living_entity* sharp = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* dull = kit.spawn(kit.type("Rat"), {2, 0, 0});
  sharp->stats[20] = 50;
  dull->stats[20] = 30;
  living_entity* members[2] = {dull, sharp};
  InvIdentifyCooldown skill;
  skill.appraise = [](item_instance* it, living_entity* e) {
    Appraised.push_back(e);
    if (Appraisal_runs && Appraisal_knows) it->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
    return Appraisal_runs;
  };
  const struct {
    bool runs, knows;
    int result;
  } cases[] = {{true, true, 1}, {true, false, 0}, {false, false, -1}};
  for (const auto& c : cases) {
    katana->info->flags |= IF_NOT_IDENTIFIED;
    Appraised.clear();
    Appraisal_runs = c.runs, Appraisal_knows = c.knows;
    EXPECT_EQ(inv_identify(katana, members, 2, skill), c.result);
    ASSERT_EQ(Appraised.size(), 1u);
    EXPECT_EQ(Appraised[0], sharp);
  }
  katana->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
}

}  // namespace

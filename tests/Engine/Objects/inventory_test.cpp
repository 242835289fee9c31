// The party inventory and the equipment slots of living entities.
#include <gtest/gtest.h>

#include <string>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "quarn/os/console.h"
#include "tests/support/world_kit.h"

namespace {

using PartyInventoryTest = WorldTest;

int index_of(const char* name) {
  const int i = item_lookup(name);
  EXPECT_GE(i, 0) << name;
  return i;
}

TEST_F(PartyInventoryTest, NewGameHasThirtyGoldAndGoldGoesToThePurse) {
  EXPECT_EQ(Party_inventory.gold, 30u);
  EXPECT_EQ(Party_inventory.count, 0);
  matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  ground_item* g = ground_item_drop(item_create_by_name("Gold"), {0, 0, 0}, m, 45, -1, -1);
  ASSERT_NE(g, nullptr);
  party_inventory_pickup(g, true);
  EXPECT_EQ(Party_inventory.gold, 75u);
  EXPECT_EQ(Party_inventory.count, 0);
  EXPECT_EQ(g->type, OBJ_FREE);
  console_execute("add_gold 100");
  EXPECT_EQ(Party_inventory.gold, 175u);
  EXPECT_EQ(kit.output.back(), "Added 100 gold to party.");
  console_execute("add_gold -1000");
  EXPECT_EQ(Party_inventory.gold, 0u);
}

TEST_F(PartyInventoryTest, IdenticalItemsStackAndChargesAreCapped) {
  const int sword = index_of("Short Sword");
  const int live = Num_live_items;
  party_inventory_add(item_create(sword), 1, true);
  party_inventory_add(item_create(sword), 1, true);
  ASSERT_EQ(Party_inventory.count, 1);
  EXPECT_EQ(Party_inventory.entries[0].count, 2u);
  EXPECT_EQ(Num_live_items, live + 1) << "the second instance is freed";
  // A wand of three charges: charges add, never beyond the start.
  const int wand = index_of("Health Tonic");
  Item_infos[wand].use_effect->charges = 3;
  Item_infos[wand].use_effect->disposable = 0.0f;
  party_inventory_add_by_index(wand, 1, 1, true);
  party_inventory_add_by_index(wand, 1, -1, true);
  const int at = party_inventory_find_by_index(wand);
  ASSERT_GE(at, 0);
  EXPECT_EQ(Party_inventory.entries[at].count, 1u);
  EXPECT_EQ(Party_inventory.entries[at].item->charges, 3);
}

TEST_F(PartyInventoryTest, TheFullInventoryDropsTheNextItem) {
  const int ring = index_of("Ring of Fire");
  for (int i = 0; i < MAX_PARTY_INVENTORY; i++) {
    Party_inventory.entries[i] = InventoryEntry{1, item_create(ring)};
    if (!Party_inventory.entries[i].item) {
      // The pool is smaller than the table: fill the rest with empty stacks.
      Party_inventory.entries[i] = InventoryEntry{1, nullptr};
    }
  }
  Party_inventory.count = MAX_PARTY_INVENTORY;
  const int live = Num_live_items;
  item_instance* extra = item_create_by_name("Dagger");
  ASSERT_NE(extra, nullptr);
  party_inventory_add(extra, 1, false);
  EXPECT_EQ(Party_inventory.count, MAX_PARTY_INVENTORY);
  EXPECT_EQ(Num_live_items, live) << "the dropped item is freed";
}

TEST_F(PartyInventoryTest, SortGroupsByKindThenIndex) {
  for (const char* name : {"Ring of Jade", "Chain Mail", "Health Tonic", "Long Sword", "Backpack", "Short Sword",
                           "Servant's Boots", "Ring of Fire"}) {
    party_inventory_add_by_name(name, 1, -1, false);
  }
  party_inventory_sort(Party_inventory.entries, Party_inventory.count);
  int last_kind = -1, last_index = -1;
  for (int i = 0; i < Party_inventory.count; i++) {
    const int index = static_cast<int>(Party_inventory.entries[i].item->info - Item_infos);
    const int kind = party_item_kind(index);
    ASSERT_GE(kind, last_kind) << i;
    if (kind == last_kind) {
      EXPECT_GT(index, last_index) << i;
    }
    last_kind = kind;
    last_index = index;
  }
  EXPECT_EQ(party_item_kind(index_of("Long Sword")), PIK_WEAPON);
  EXPECT_EQ(party_item_kind(index_of("Chain Mail")), PIK_ARMOUR);
  EXPECT_EQ(party_item_kind(index_of("Health Tonic")), PIK_USABLE);
  EXPECT_EQ(party_item_kind(index_of("Ring of Fire")), PIK_WEARABLE);
  EXPECT_EQ(party_item_kind(index_of("Backpack")), PIK_OTHER);
  EXPECT_EQ(party_item_kind(-1), PIK_BAD);
  // Equal indices keep their order.
  IndexValuePair pairs[] = {{5, 1}, {3, 2}, {5, 3}, {3, 4}};
  party_inventory_sort_pairs(pairs, 4);
  EXPECT_EQ(pairs[0].value, 2);
  EXPECT_EQ(pairs[1].value, 4);
  EXPECT_EQ(pairs[2].value, 1);
  EXPECT_EQ(pairs[3].value, 3);
}

TEST_F(PartyInventoryTest, TwoHandedWeaponsDisplaceWeaponAndShield) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int axe = index_of("Axe");
  const int shield = index_of("Chain Mail");
  Item_infos[axe].slot = SLOT_TWO_HANDED;
  Item_infos[shield].slot = SLOT_SHIELD;
  item_instance* claws = e->equipment[EQ_WEAPON];
  item_instance* s = item_create(shield);
  item_instance *out1, *out2;
  entity_equip_item(&out1, &out2, e, EQ_SHIELD, s);
  EXPECT_EQ(out1, nullptr);
  EXPECT_EQ(e->equipment[EQ_SHIELD], s);
  item_instance* two = item_create(axe);
  entity_equip_item(&out1, &out2, e, EQ_WEAPON, two);
  EXPECT_EQ(out1, claws);
  EXPECT_EQ(out2, s);
  EXPECT_EQ(e->equipment[EQ_WEAPON], two);
  EXPECT_EQ(e->equipment[EQ_SHIELD], nullptr);
  item_free(out1);
  // A shield while the two-handed weapon is held returns it.
  entity_equip_item(&out1, &out2, e, EQ_SHIELD, out2);
  EXPECT_EQ(out1, two);
  EXPECT_EQ(out2, nullptr);
  EXPECT_EQ(e->equipment[EQ_WEAPON], nullptr);
  item_free(out1);
}

TEST_F(PartyInventoryTest, WhatTheSlotHeldIsHandedBack) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  item_instance* fire = item_create_by_name("Ring of Fire");
  item_instance* jade = item_create_by_name("Ring of Jade");
  item_instance* water = item_create_by_name("Ring of Water");
  item_instance *out1, *out2;
  entity_equip_item(&out1, &out2, e, EQ_RING1, fire);
  entity_equip_item(&out1, &out2, e, EQ_RING2, jade);
  EXPECT_EQ(out1, nullptr);
  EXPECT_EQ(e->equipment[EQ_RING1], fire);
  entity_equip_item(&out1, &out2, e, EQ_RING1, water);
  EXPECT_EQ(out1, fire);
  EXPECT_EQ(out2, nullptr);
  EXPECT_EQ(e->equipment[EQ_RING1], water);
  EXPECT_EQ(e->equipment[EQ_RING2], jade);
  item_free(out1);
  // An item whose rules empty another slot, put where a ring is: the ring
  // comes back rather than being lost.
  item_instance* amulet = item_create_by_name("Cloudy Amulet#Amulet of Shadows");
  entity_equip_item(&out1, &out2, e, EQ_RING2, amulet);
  EXPECT_EQ(out1, jade);
  EXPECT_EQ(e->equipment[EQ_RING2], amulet);
  item_free(out1);
  // A slot outside the block takes nothing.
  item_instance* extra = item_create_by_name("Ring of Stone");
  entity_equip_item(&out1, &out2, e, NUM_EQUIPMENT_SLOTS, extra);
  EXPECT_EQ(out1, nullptr);
  item_free(extra);
}

TEST_F(PartyInventoryTest, HeavyArmourSwitchesTheHeroSkin) {
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  FakeModel* m = kit.model(hero);
  EXPECT_EQ(m->skin(), 0);
  EXPECT_EQ(m->layer_textures[4], "Ruvizo05.tga");  // layer 0 (skin) is mesh layer 4
  const int mail = index_of("Chain Mail");
  Item_infos[mail].slot = SLOT_HEAVY;
  Item_infos[mail].restriction = 15;
  Item_infos[mail].armor.textures[4][0] = "plate_body_r.tga";
  item_instance *out1, *out2;
  item_instance* plate = item_create(mail);
  entity_equip_item(&out1, &out2, hero, EQ_TORSO, plate);
  EXPECT_EQ(m->skin(), 1);
  EXPECT_EQ(m->layer_textures[0], "plate_body_r.tga");  // torso layer 1 is mesh layer 0
  EXPECT_EQ(hero->select_armour_model(), hero->equipment[EQ_TORSO]->info->render_masks[1]);
  // Taking it off restores the light skin and the defaults.
  item_free(entity_unequip_slot(hero, EQ_TORSO, true));
  EXPECT_EQ(m->skin(), 0);
  EXPECT_EQ(m->layer_textures[0], "Torso_Uwear_Ruvz.tga");
  EXPECT_EQ(hero->select_armour_model(), 6);
  // Rivadara has no heavy skin.
  living_entity* rivadara = kit.spawn(kit.type("Rivadara"), {3, 0, 0}, OBJ_PLAYER);
  entity_equip_item(&out1, &out2, rivadara, EQ_TORSO, item_create(mail));
  EXPECT_EQ(kit.model(rivadara)->skin(), 0);
}

TEST_F(PartyInventoryTest, UnequippingClampsPointsToTheNewMaximum) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  const int mail = index_of("Chain Mail");  // +5 MaxHP
  item_instance *out1, *out2;
  entity_equip_item(&out1, &out2, hero, EQ_TORSO, item_create(mail));
  const int with = hero->get_max_points(0);
  EXPECT_EQ(with, static_cast<int>(hero->max_hp_base) + 5);
  hero->hp = static_cast<float>(with);
  item_free(entity_unequip_slot(hero, EQ_TORSO, false));
  EXPECT_FLOAT_EQ(hero->hp, static_cast<float>(with - 5));
  EXPECT_EQ(entity_find_equipped(hero, &Item_infos[mail]), -1);
  EXPECT_EQ(entity_find_equipped(hero, hero->equipment[EQ_WEAPON]->info), EQ_WEAPON);
}

TEST_F(PartyInventoryTest, TheServantOutfitNeedsEveryPiece) {
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  EXPECT_FALSE(entity_wears_servant_outfit(hero));
  item_instance *out1, *out2;
  for (auto [name, slot] : {std::pair{"Servant's Gloves", EQ_HANDS}, {"Servant's Boots", EQ_FEET},
                            {"Servant's Blouse", EQ_TORSO}}) {
    entity_equip_item(&out1, &out2, hero, slot, item_create_by_name(name));
  }
  EXPECT_FALSE(entity_wears_servant_outfit(hero));
  entity_equip_item(&out1, &out2, hero, EQ_LEGS, item_create_by_name("Servant's Leggings"));
  EXPECT_TRUE(entity_wears_servant_outfit(hero));
  EXPECT_EQ(kit.model(hero)->layer_textures[0], "servant_body.tga");
}

TEST_F(PartyInventoryTest, UsingAnItemCastsAndSpendsIt) {
  int casts = 0;
  static int* counter;
  counter = &casts;
  InventoryHooks h;
  h.cast = [](living_entity*, int, living_entity*, const vector*, const item_instance*, int) { (*counter)++; };
  inventory_set_hooks(h);
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  party_inventory_add_by_name("Health Tonic", 2, -1, true);
  ASSERT_EQ(Party_inventory.count, 1);
  EXPECT_TRUE(party_inventory_use_item(hero, 0, hero, nullptr, 0));
  EXPECT_EQ(Party_inventory.entries[0].count, 1u);
  EXPECT_TRUE(party_inventory_use_item(hero, 0, hero, nullptr, 0));
  EXPECT_EQ(Party_inventory.count, 0);
  EXPECT_FALSE(party_inventory_use_item(hero, 0, hero, nullptr, 0));
  EXPECT_EQ(casts, 2);
  inventory_set_hooks(InventoryHooks{});
}

}  // namespace

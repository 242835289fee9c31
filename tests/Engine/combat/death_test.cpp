// Hit points, death with shared experience, levels, ring experience, loot
// into bags, containers and cooldowns on the world kit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/entity_death.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/experience.h"
#include "quarn/math/floatops.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

class Death_test : public WorldTest {
 protected:
  void SetUp() override {
    Debug_death = true;
    Players_immortal = false;
    Chance_to_drop_gold = 0.0f;
  }
  void TearDown() override { Chance_to_drop_gold = 0.25f; }

  // A creature type of the built-in list with its level, experience and drops.
  int creature(const char* name, int level, int xp, const std::string& tail = "") {
    CharacterRecord c = table_demo_creature("Rat", true);
    c.name = name;
    c.level = level;
    c.experience = xp;
    c.tail = tail;
    return kit.add_type(c);
  }
  std::vector<std::string> bag_items(const container_object* c) {
    std::vector<std::string> names;
    for (int i = 0; i < c->count; i++) names.push_back(c->get_item(i)->item->info->name);
    return names;
  }
  container_object* only_container() {
    container_object* found = nullptr;
    int n = 0;
    for (container_object& c : Containers) {
      if (c.type == OBJ_CONTAINER) found = &c, n++;
    }
    EXPECT_LE(n, 1);
    return found;
  }
};

TEST_F(Death_test, HitsWithinAFifthOfASecondShowAsOne) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  rat->change_hp(-5, -1);
  kit.advance(0.1f);
  rat->damage_timer -= 0.1f;
  rat->change_hp(-5, -1);
  EXPECT_EQ(rat->damage_shown, -10);
  rat->damage_timer -= 0.5f;
  rat->change_hp(-3, -1);
  EXPECT_EQ(rat->damage_shown, -3);
  rat->hp = static_cast<float>(rat->get_max_points(0)) - 10.0f;
  rat->damage_timer = 0.0f;
  rat->change_hp(30, -1);
  EXPECT_EQ(rat->damage_shown, 10);
  EXPECT_EQ(rat->hp, static_cast<float>(rat->get_max_points(0)));
}

TEST_F(Death_test, WithoutDebugDeathDamageDoesNothingButHealingApplies) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  Debug_death = false;
  rat->hp = 10.0f;
  EXPECT_TRUE(rat->change_hp(-50, -1));
  EXPECT_EQ(rat->hp, 10.0f);
  rat->change_hp(5, -1);
  EXPECT_EQ(rat->hp, 15.0f);
  Debug_death = true;
  EXPECT_FALSE(rat->change_hp(-50, -1)) << "this change killed it";
  EXPECT_TRUE(rat->state & ES_DEAD);
}

TEST_F(Death_test, DeathSharesExperienceAmongHeroesWithinTwentyUnits) {
  const int type = creature("Grub", 5, 20);
  living_entity* heroes[3];
  for (int i = 0; i < 3; i++) heroes[i] = kit.spawn(kit.type(i == 0 ? "Ruvizo" : i == 1 ? "Zazuru" : "Rivud"), {float(i), 0, 2}, OBJ_PLAYER);
  living_entity* far = kit.spawn(kit.type("Rivadara"), {30, 0, 0}, OBJ_PLAYER);
  kit.party = {heroes[0], heroes[1], heroes[2], far};
  living_entity* rat = kit.spawn(type, {0, 0, 0}, OBJ_CREATURE, 5);
  const uint32_t before = far->experience;
  rat->change_hp(-1000, heroes[0]->handle);
  ASSERT_LE(rat->hp, 0.0f);
  rat->die();
  // r = 5 / 5 = 1, so the total is 20 x 1 x 2 = 40 and each hero gets 13.
  EXPECT_STREQ(rat->float_text, "+40 xp");
  for (living_entity* h : heroes) EXPECT_EQ(h->experience, before + 13u);
  EXPECT_EQ(far->experience, before);
  EXPECT_EQ(rat->type, OBJ_DEAD_CREATURE);
  EXPECT_TRUE(rat->state & ES_DOWN);
  EXPECT_EQ(entity_first(entity_dead_list()), rat);
}

TEST_F(Death_test, ExperienceTotalFollowsTheLevelRatio) {
  const int type = creature("Mummy", 4, 30);
  for (int level : {1, 2, 4, 8, 12}) {
    living_entity* e = kit.spawn(type, {0, 0, 0}, OBJ_CREATURE, level);
    const float r = level / 4.0f;
    const float q = r < 1 ? r : std::pow(r, 1.25f);
    EXPECT_NEAR(death_experience_total(e, 1), 30.0f * q * 2.0f, 1e-3f) << level;
  }
}

TEST_F(Death_test, LevelGainRaisesPointsFromTheExperienceTable) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  const float hp_base = hero->max_hp_base;
  const int ap_base = hero->max_ap_base;
  ASSERT_EQ(hero->level, 1);
  hero->add_experience(static_cast<int>(xp_for_level(2)), false, false);
  EXPECT_EQ(hero->level, 2);
  // Zazuru's row gains 12 HP and 2 AP a level in the demo table.
  EXPECT_EQ(hero->max_hp_base, hp_base + 12.0f);
  EXPECT_EQ(hero->max_ap_base, ap_base + 2);
  EXPECT_EQ(hero->hp, static_cast<float>(hero->get_max_points(0)));
  EXPECT_STREQ(hero->float_text, "+Level!");
  ASSERT_FALSE(kit.hud.empty());
  EXPECT_EQ(kit.hud.back(), std::string(hero->get_name()) + " gained level 2!");
}

TEST_F(Death_test, RingSummonIsAnnouncedWhenTheCounterReachesSixtyThousand) {
  // Exactly 60,000 announces (the ring's description unlocks there too).
  kit.named_ints["fire_ring_xp"] = 59999;
  ring_add_xp("Ring of Fire", 1, 1000000);
  EXPECT_EQ(kit.named_ints["fire_ring_xp"], 60000);
  ASSERT_EQ(kit.hud.size(), 1u);
  EXPECT_EQ(kit.hud[0], "Ruvizo acquired Summon Blood Elemental!");
  ring_add_xp("Ring of Fire", 5, 1000000);
  EXPECT_EQ(kit.hud.size(), 1u) << "announced once";
  // The cap holds the counter; dragons need their ring in the party.
  kit.named_ints["water_ring_xp"] = 59000;
  ring_add_xp("Ring of Water", 5000, 59500);
  EXPECT_EQ(kit.named_ints["water_ring_xp"], 59500);
  ring_add_xp("Ring of Water", 5000, 100000);
  EXPECT_EQ(kit.hud.size(), 1u);
  rings_add_xp_all(10, 1000000);
  EXPECT_EQ(kit.named_ints["dark_ring_xp"], 10);
}

TEST_F(Death_test, LootGoesIntoABagWithEverythingDropped) {
  const int type = creature("Red Minotaur", 1, 5, "+Drop: \"Dagger\" 100\r\n+Drop: \"Health Tonic\" 100\r\n");
  living_entity* e = kit.spawn(type, {2, 0, 2});
  e->change_hp(-1000, -1);
  e->die();
  container_object* bag = only_container();
  ASSERT_TRUE(bag);
  const std::vector<std::string> names = bag_items(bag);
  // The claws do not drop; both table drops do.
  EXPECT_EQ(names, (std::vector<std::string>{"Dagger", "Health Tonic"}));
  EXPECT_EQ(bag->creation_value, 0.0f) << "a sure drop makes a plain bag";
  EXPECT_NEAR(bag->pos.x, 2.0f, 1.0f);
  EXPECT_NEAR(bag->pos.y, 0.2f, 1e-4f);
}

TEST_F(Death_test, LootBagTakeAllFillsTheInventory) {
  const int type = creature("Red Minotaur", 1, 5, "+Drop: \"Dagger\" 100\r\n+Drop: \"Club\" 100\r\n");
  Chance_to_drop_gold = 1.0f;
  const uint32_t gold = Party_inventory.gold;
  living_entity* e = kit.spawn(type, {0, 0, 0}, OBJ_CREATURE, 3);
  e->change_hp(-1000, -1);
  e->die();
  container_object* bag = only_container();
  ASSERT_TRUE(bag);
  ASSERT_EQ(bag->count, 3);
  EXPECT_TRUE(bag->get_item(0)->is_gold()) << "gold goes first";
  const int quantity = bag->get_item(0)->quantity;
  EXPECT_GE(quantity, 1);
  EXPECT_LE(quantity, 3 * 10);
  while (bag->count > 0) party_inventory_pickup(bag->get_item(0), true);
  EXPECT_EQ(Party_inventory.gold, gold + static_cast<uint32_t>(quantity));
  EXPECT_GE(party_inventory_find_by_index(item_lookup("Dagger")), 0);
  EXPECT_GE(party_inventory_find_by_index(item_lookup("Club")), 0);
}

TEST_F(Death_test, ContainersMergeGoldKeepSixteenAndNumberForty) {
  item_pool_init();
  container_object* c = container_create({0, 0, 0}, 0.0f);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->type, OBJ_CONTAINER);
  EXPECT_EQ(c->radius, 1.0f);
  const int look = c->look_item;
  EXPECT_TRUE(look == item_lookup("backpack") || look == item_lookup("leather bag"));
  const matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  auto drop = [&](const char* name, int q) { return ground_item_drop(item_create_by_name(name), {0, 0, 0}, m, q, -1, -1); };
  ASSERT_TRUE(c->add_item(drop("Club", 1)));
  ASSERT_TRUE(c->add_item(drop("Gold", 25)));
  EXPECT_TRUE(c->get_item(0)->is_gold());
  EXPECT_STREQ(c->get_item(1)->item->info->name, "Club");
  ground_item* more = drop("Gold", 10);
  const int handle = more->handle;
  ASSERT_TRUE(c->add_item(more));
  EXPECT_EQ(c->count, 2);
  EXPECT_EQ(c->get_item(0)->quantity, 35);
  EXPECT_EQ(obj_from_handle(handle), nullptr) << "the merged ground item is gone";
  while (c->count < CONTAINER_ITEMS) ASSERT_TRUE(c->add_item(drop("Dagger", 1)));
  ground_item* seventeenth = drop("Dagger", 1);
  EXPECT_FALSE(c->add_item(seventeenth));
  EXPECT_EQ(seventeenth->container, nullptr);
  ground_item* second = c->get_item(1);
  c->remove_item(second);
  EXPECT_EQ(second->container, nullptr);
  EXPECT_EQ(c->count, CONTAINER_ITEMS - 1);
  EXPECT_EQ(c->get_item(CONTAINER_ITEMS - 1), nullptr);
  ground_item* first = c->get_item(0);
  c->deinit();
  EXPECT_EQ(c->type, OBJ_FREE);
  EXPECT_EQ(first->container, nullptr);
  EXPECT_EQ(first->type, OBJ_GROUND_ITEM) << "items stay in the world";
  for (int i = 0; i < MAX_CONTAINERS; i++) ASSERT_TRUE(container_create({0, 0, 0}, 0.0f));
  EXPECT_EQ(container_create({0, 0, 0}, 0.0f), nullptr);
  containers_release();
}

TEST_F(Death_test, SpellCooldownsOfCreaturesAreShared) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  EXPECT_FALSE(rat->is_on_cooldown(17));
  rat->start_cooldown(28, 2.0f, 0.0f);
  for (int s : {17, 28, 30}) EXPECT_TRUE(rat->is_on_cooldown(s)) << s;
  objects_frame(0.0f, static_cast<uint32_t>(timer_game_clock) + 100000);
  for (int s : {17, 28, 30}) EXPECT_FALSE(rat->is_on_cooldown(s)) << s;
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {1, 0, 0}, OBJ_PLAYER);
  hero->start_cooldown(5, 1.0f, 0.5f);
  EXPECT_TRUE(hero->is_on_cooldown(5));
  EXPECT_FALSE(hero->is_on_cooldown(6));
  kit.advance(1.6f);
  EXPECT_FALSE(hero->is_on_cooldown(5));
}

}  // namespace

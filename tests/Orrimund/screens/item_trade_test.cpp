// Buying and selling at fixed prices, and taking a container's marked items,
// on the world kit's demo items.
#include "Orrimund/screens/item_trade.h"

#include <gtest/gtest.h>

#include <string>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "tests/support/world_kit.h"

namespace {

using ItemTradeTest = WorldTest;

int index_of(const char* name) {
  const int i = item_lookup(name);
  EXPECT_GE(i, 0) << name;
  return i;
}

uint32_t held(const char* name) {
  const int at = party_inventory_find_by_index(item_lookup(name));
  return at < 0 ? 0 : Party_inventory.entries[at].count;
}

TEST_F(ItemTradeTest, BuyingTakesThePriceAndExactGoldLeavesNothing) {
  const int sword = index_of("Short Sword");
  Party_inventory.gold = 100;
  // The price is the list's own, not the item's value of 40.
  EXPECT_EQ(buysell_buy({sword, 65}), BUY_DONE);
  EXPECT_EQ(Party_inventory.gold, 100u - 65u);
  EXPECT_EQ(held("Short Sword"), 1u);
  EXPECT_EQ(buysell_buy({sword, 36}), BUY_NO_GOLD);
  EXPECT_EQ(Party_inventory.gold, 35u);
  EXPECT_EQ(buysell_buy({sword, 35}), BUY_DONE);
  EXPECT_EQ(Party_inventory.gold, 0u);
  EXPECT_EQ(buysell_buy({Num_item_infos, 0}), BUY_BAD_ITEM);
  EXPECT_EQ(buysell_buy({sword, -5}), BUY_BAD_ITEM);
  EXPECT_EQ(Party_inventory.gold, 0u);
}

TEST_F(ItemTradeTest, AHeldChargedItemAtFullChargesIsNotBoughtAndOneBelowIsRecharged) {
  const int wand = index_of("Health Tonic");
  Item_infos[wand].use_effect->charges = 3;
  Item_infos[wand].use_effect->disposable = 0.0f;
  Party_inventory.gold = 50;
  party_inventory_add_by_index(wand, 1, 3, true);
  EXPECT_EQ(buysell_buy({wand, 20}), BUY_FULLY_CHARGED);
  EXPECT_EQ(Party_inventory.gold, 50u);
  const int at = party_inventory_find_by_index(wand);
  Party_inventory.entries[at].item->charges = 1;
  EXPECT_EQ(buysell_buy({wand, 20}), BUY_DONE);
  EXPECT_EQ(Party_inventory.gold, 30u);
  EXPECT_EQ(Party_inventory.entries[party_inventory_find_by_index(wand)].item->charges, 3);
  EXPECT_EQ(held("Health Tonic"), 1u) << "a recharge, not a second stack";
}

TEST_F(ItemTradeTest, SellingAddsTheBuyPriceAndTheLastOneLeavesTheList) {
  const int sword = index_of("Short Sword"), dagger = index_of("Dagger"), staff = index_of("Staff");
  party_inventory_add_by_index(sword, 2, -1, true);
  party_inventory_add_by_index(dagger, 1, -1, true);
  const ShopPair buys[3] = {{staff, 5}, {dagger, 7}, {sword, 12}};
  const ShopkeeperRecord merchant = {"Trader", 0, nullptr, 3, buys};
  int rows[8];
  ASSERT_EQ(buysell_sell_rows(merchant, rows, 8), 2) << "the staff is not held";
  Party_inventory.gold = 10;
  EXPECT_TRUE(buysell_sell(buys[2]));
  EXPECT_EQ(Party_inventory.gold, 22u);
  EXPECT_EQ(held("Short Sword"), 1u);
  EXPECT_TRUE(buysell_sell(buys[2]));
  EXPECT_EQ(Party_inventory.gold, 34u);
  EXPECT_EQ(held("Short Sword"), 0u);
  ASSERT_EQ(buysell_sell_rows(merchant, rows, 8), 1);
  EXPECT_EQ(rows[0], 1);
  // A row that went stale (the item is gone) changes nothing.
  EXPECT_FALSE(buysell_sell(buys[2]));
  EXPECT_FALSE(buysell_sell(buys[0]));
  EXPECT_EQ(Party_inventory.gold, 34u);
  // The purse is full at its top, never wrapped.
  Party_inventory.gold = UINT32_MAX - 3;
  EXPECT_TRUE(buysell_sell(buys[1]));
  EXPECT_EQ(Party_inventory.gold, UINT32_MAX);
}

class ContainerTakeTest : public WorldTest {
 protected:
  container_object* c = nullptr;
  void SetUp() override {
    WorldTest::SetUp();
    item_pool_init();
    c = container_create({0, 0, 0}, 0.0f);
    ASSERT_TRUE(c);
  }
  ground_item* put(const char* name, int quantity) {
    const matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
    ground_item* g = ground_item_drop(item_create_by_name(name), {0, 0, 0}, m, quantity, -1, -1);
    EXPECT_TRUE(g && c->add_item(g)) << name;
    return g;
  }
  std::string message(int total) {
    char text[64];
    container_take_message(total, text, sizeof text);
    return text;
  }
};

TEST_F(ContainerTakeTest, FiveTonicsAndTwentyGoldAreFiveItemsAndTheEmptiedContainerGoes) {
  put("Health Tonic", 5);
  put("Gold", 20);
  Party_inventory.gold = 30;
  const uint8_t marks[CONTAINER_ITEMS] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const int total = container_take(c, marks, CONTAINER_ITEMS);
  EXPECT_EQ(total, 5);
  EXPECT_EQ(message(total), "5 items picked up");
  EXPECT_EQ(Party_inventory.gold, 50u);
  EXPECT_EQ(held("Health Tonic"), 5u);
  EXPECT_EQ(c->type, OBJ_FREE);
  EXPECT_EQ(message(1), "1 item picked up");
  EXPECT_EQ(message(0), "");
}

TEST_F(ContainerTakeTest, MarksFollowTheShownPositionsAsItemsAreTaken) {
  put("Short Sword", 1);
  put("Dagger", 1);
  put("Staff", 1);
  put("Axe", 1);
  // Taking the first closes the gap; the third mark must still be the staff.
  const uint8_t marks[4] = {1, 0, 1, 0};
  EXPECT_EQ(container_take(c, marks, 4), 2);
  EXPECT_EQ(held("Short Sword"), 1u);
  EXPECT_EQ(held("Staff"), 1u);
  EXPECT_EQ(held("Dagger"), 0u);
  ASSERT_EQ(c->count, 2);
  EXPECT_STREQ(c->get_item(0)->item->info->name, "Dagger");
  EXPECT_STREQ(c->get_item(1)->item->info->name, "Axe");
  EXPECT_EQ(c->type, OBJ_CONTAINER);
}

TEST_F(ContainerTakeTest, NothingMarkedLeavesTheContainerAsItWas) {
  put("Short Sword", 1);
  put("Gold", 20);
  Party_inventory.gold = 30;
  const uint8_t marks[2] = {0, 0};
  const int total = container_take(c, marks, 2);
  EXPECT_EQ(message(total), "");
  EXPECT_EQ(c->count, 2);
  EXPECT_EQ(c->type, OBJ_CONTAINER);
  EXPECT_EQ(Party_inventory.gold, 30u);
  EXPECT_EQ(Party_inventory.count, 0);
  // Only gold taken: picked up, but no message. (Gold lies first.)
  ASSERT_TRUE(c->get_item(0)->is_gold());
  const uint8_t gold_only[2] = {1, 0};
  EXPECT_EQ(container_take(c, gold_only, 2), 0);
  EXPECT_EQ(Party_inventory.gold, 50u);
  // A container gone meanwhile is not touched.
  c->deinit();
  EXPECT_EQ(container_take(c, gold_only, 2), 0);
}

}  // namespace

// What the item screens tell the other players: an equipment change as
// member, slot and item index; a container's take as its handle, the marked
// and total counts, the items and the marks, its close as the handle alone;
// and nothing at all in a single-player game.
#include "Orrimund/screens/screen_net.h"

#include <gtest/gtest.h>

#include <vector>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Orrimund/screens/inventory_rules.h"
#include "Orrimund/screens/item_trade.h"
#include "tests/support/world_kit.h"

namespace {

struct EquipSend {
  living_entity* member;
  int slot, item;
};
struct ContainerSend {
  int handle, marked, count;
  std::vector<int> item_handles;
  std::vector<int> marks;
  int held_at_send;  // the container's item count when the send went out
};

std::vector<EquipSend> Equips;
std::vector<ContainerSend> Containers;
std::vector<living_entity*> Skills;
container_object* Watched = nullptr;

class ScreenNetTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    item_pool_init();
    Equips.clear();
    Containers.clear();
    Skills.clear();
    Watched = nullptr;
    ScreenNetHooks h;
    h.send_equip = [](living_entity* m, int slot, int item) { Equips.push_back({m, slot, item}); };
    h.send_container = [](int handle, int marked, int count, ground_item* const* items, const uint8_t* marks) {
      ContainerSend s{handle, marked, count, {}, {}, Watched ? Watched->count : -1};
      for (int i = 0; i < count; i++) {
        s.item_handles.push_back(items[i]->handle);
        s.marks.push_back(marks[i]);
      }
      Containers.push_back(s);
    };
    h.send_skills = [](living_entity* m) { Skills.push_back(m); };
    screen_set_net_hooks(h);
  }
  void TearDown() override {
    screen_set_net_hooks({});
    WorldTest::TearDown();
  }
  static void networked() { GameFlags = GF_NETWORKED; }
  static item_instance* bag_item(const char* name) {
    const int at = party_inventory_find_by_index(item_lookup(name));
    return at < 0 ? nullptr : Party_inventory.entries[at].item;
  }
  ground_item* put(container_object* c, const char* name, int quantity) {
    const matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
    ground_item* g = ground_item_drop(item_create_by_name(name), {0, 0, 0}, m, quantity, -1, -1);
    EXPECT_TRUE(g && c->add_item(g)) << name;
    return g;
  }
};

TEST_F(ScreenNetTest, EquipTakeOffAndRingSwapSendMemberSlotAndItemIndex) {
  networked();
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int fire = item_lookup("Ring of Fire"), jade = item_lookup("Ring of Jade");
  ASSERT_GE(fire, 0);
  ASSERT_GE(jade, 0);
  party_inventory_add_by_index(fire, 3, -1, true);
  party_inventory_add_by_index(jade, 1, -1, true);

  ASSERT_TRUE(inv_equip_from_bag(e, bag_item("Ring of Fire"), EQ_RING1));
  // A refused drop changed nothing, so it says nothing.
  EXPECT_FALSE(inv_equip_from_bag(e, bag_item("Ring of Fire"), EQ_RING1));
  ASSERT_TRUE(inv_equip_from_bag(e, bag_item("Ring of Jade"), EQ_RING2));
  ASSERT_TRUE(inv_swap_rings(e));
  ASSERT_TRUE(inv_unequip(e, EQ_RING2));
  EXPECT_FALSE(inv_unequip(e, EQ_WEAPON));

  struct Want {
    int slot, item;
  };
  const Want want[] = {
      {EQ_RING1, fire}, {EQ_RING2, jade},  // the two drops
      {EQ_RING1, jade}, {EQ_RING2, fire},  // the swap: both slots
      {EQ_RING2, -1},                      // taken off: the slot is empty
  };
  ASSERT_EQ(Equips.size(), std::size(want));
  for (size_t i = 0; i < Equips.size(); i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Equips[i].member, e);
    EXPECT_EQ(Equips[i].slot, want[i].slot);
    EXPECT_EQ(Equips[i].item, want[i].item);
  }
}

TEST_F(ScreenNetTest, ATakeSendsTheContainerAsShownBeforeAnythingLeavesIt) {
  networked();
  container_object* c = container_create({0, 0, 0}, 0.0f);
  ASSERT_TRUE(c);
  Watched = c;
  const int handle = c->handle;
  put(c, "Health Tonic", 2);
  put(c, "Ring of Jade", 1);
  put(c, "Gold", 15);
  // The marks belong to the rows as the container lists them.
  std::vector<int> shown;
  for (int i = 0; i < c->count; i++) shown.push_back(c->get_item(i)->handle);
  ASSERT_EQ(shown.size(), 3u);
  const int kept = shown[1];
  const uint8_t marks[CONTAINER_ITEMS] = {1, 0, 1};
  container_take(c, marks, CONTAINER_ITEMS);

  ASSERT_EQ(Containers.size(), 1u);
  const ContainerSend& s = Containers[0];
  EXPECT_EQ(s.handle, handle);
  EXPECT_EQ(s.marked, 2);
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(s.item_handles, shown);
  EXPECT_EQ(s.marks, (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(s.held_at_send, 3) << "sent before the first item left";
  ASSERT_EQ(c->count, 1);
  EXPECT_EQ(c->get_item(0)->handle, kept) << "the unmarked row stays";

  // Marks shorter than the list: the rest count as unmarked.
  put(c, "Health Tonic", 1);
  Containers.clear();
  Watched = nullptr;
  const uint8_t first_only[1] = {1};
  container_take(c, first_only, 1);
  ASSERT_EQ(Containers.size(), 1u);
  EXPECT_EQ(Containers[0].count, 2);
  EXPECT_EQ(Containers[0].marked, 1);
  EXPECT_EQ(Containers[0].marks, (std::vector<int>{1, 0}));
  EXPECT_EQ(c->count, 1);

  multi_send_container_close(handle);
  ASSERT_EQ(Containers.size(), 2u);
  EXPECT_EQ(Containers[1].handle, handle);
  EXPECT_EQ(Containers[1].marked, 0);
  EXPECT_EQ(Containers[1].count, 0);
}

TEST_F(ScreenNetTest, ASinglePlayerGameSendsNothingAndANetworkWithoutHooksDoesNotCrash) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  party_inventory_add_by_name("Ring of Fire", 1, -1, true);
  ASSERT_TRUE(inv_equip_from_bag(e, bag_item("Ring of Fire"), EQ_RING1));
  ASSERT_TRUE(inv_swap_rings(e));
  ASSERT_TRUE(inv_unequip(e, EQ_RING2));
  container_object* c = container_create({0, 0, 0}, 0.0f);
  ASSERT_TRUE(c);
  put(c, "Health Tonic", 1);
  const uint8_t all[CONTAINER_ITEMS] = {1};
  EXPECT_EQ(container_take(c, all, CONTAINER_ITEMS), 1);
  multi_send_container_close(7);
  multi_send_skills(e);
  EXPECT_TRUE(Equips.empty());
  EXPECT_TRUE(Containers.empty());
  EXPECT_TRUE(Skills.empty());

  // Networked, but the network layer installed nothing yet.
  networked();
  screen_set_net_hooks({});
  party_inventory_add_by_name("Ring of Jade", 1, -1, true);
  EXPECT_TRUE(inv_equip_from_bag(e, bag_item("Ring of Jade"), EQ_RING2));
  multi_send_container_close(7);
  multi_send_skills(e);
}

}  // namespace

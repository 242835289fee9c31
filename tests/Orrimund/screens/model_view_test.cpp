// The item screens' 3D views without a window: where a camera table puts a
// model (its turn checked against rotations worked out by hand), the pixel
// nudges, which items a member holds at which tag, and which paging slot
// each worn item's model goes to.
#include "Orrimund/screens/model_view.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <string>

#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "quarn/os/memory.h"
#include "tests/support/world_kit.h"

namespace {

const char* const Fake_items[] = {"Short Sword", "Ring of Jade"};
const char* const Fake_types[] = {"Ruvizo"};

int find(const char* const* list, int n, const char* name) {
  for (int i = 0; i < n; i++)
    if (strcasecmp(list[i], name) == 0) return i;
  return -1;
}
const IcamNames Names = {
    [](const char* n) { return find(Fake_items, 2, n); },
    [](int i) { return i >= 0 && i < 2 ? Fake_items[i] : static_cast<const char*>(nullptr); },
    [](const char* n) { return find(Fake_types, 1, n); },
    [](int i) { return i == 0 ? Fake_types[0] : static_cast<const char*>(nullptr); },
};

IcamTable& table() {
  static IcamTable t;
  const std::string text =
      "$Name: \"Short Sword\"\n$Offset: 0.1 -0.2 1.5\n$PBH: 0 0 0\n"
      "$Name: \"Ring of Jade\"\n$Offset: 0 0 0.8\n$PBH: 0 0 90\n#End\n"
      "$Name: \"Ruvizo\"\n$Offset: 0 -1.1 3\n$PBH: 0 0 0\n#End\n";
  new_icam_load_text(t, "inv_cameras.tbl", text.data(), static_cast<int>(text.size()), Names);
  return t;
}

// Where a point of the model ends up in the camera's frame.
vector placed(const matrix& orient, const vector& pos, const vector& local) {
  vector out;
  local.unrotated(out, orient);
  return out + pos;
}

void expect_near(const vector& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-3f);
  EXPECT_NEAR(v.y, y, 1e-3f);
  EXPECT_NEAR(v.z, z, 1e-3f);
}

// A table's heading 0 shows a model its front: its +z (the way figures
// face) comes back toward the camera, its own right goes to the camera's
// left, and the offset is where its origin stands. A spin turns it about
// its own up axis first: a quarter turn brings its right (+x) to face the
// camera's far side. Heading 90 turns a ring's front to the camera's left.
TEST(ModelView, TheTablePlacesAndTurnsAModelToFaceTheCamera) {
  const IcamTable& t = table();
  struct Case {
    const char* name;
    float spin;
    vector local, want;
  } cases[] = {
      {"Short Sword", 0.0f, {0, 0, 1}, {0.1f, -0.2f, 0.5f}},
      {"Short Sword", 0.0f, {1, 0, 0}, {-0.9f, -0.2f, 1.5f}},
      {"Short Sword", 0.0f, {0, 1, 0}, {0.1f, 0.8f, 1.5f}},
      {"short sword", 90.0f, {1, 0, 0}, {0.1f, -0.2f, 2.5f}},
      {"Ring of Jade", 0.0f, {0, 0, 1}, {-1.0f, 0.0f, 0.8f}},
      {"Ruvizo", 0.0f, {0, 2, 0}, {0.0f, 0.9f, 3.0f}},
  };
  for (const Case& c : cases) {
    matrix orient;
    vector pos;
    ASSERT_TRUE(model_view_place(t, c.name, c.spin, &orient, &pos, Names)) << c.name;
    SCOPED_TRACE(std::string(c.name) + " spin " + std::to_string(c.spin));
    expect_near(placed(orient, pos, c.local), c.want.x, c.want.y, c.want.z);
  }
  matrix orient = identity_matrix;
  vector pos(7, 7, 7);
  EXPECT_FALSE(model_view_place(t, "Long Sword", 0.0f, &orient, &pos, Names));
  expect_near(pos, 7, 7, 7);
}

TEST(ModelView, OnlyTheNamedItemsAndHeavyArmourAtTheLargestSizeAreNudged) {
  Item_info nodachi{}, jerkin{}, sword{}, plate{};
  nodachi.name = "Nodachi";
  jerkin.name = "Bone Jerkin#Jerkin of the Crypt";
  sword.name = "Short Sword";
  plate.name = "Plate Armour";
  plate.slot = SLOT_HEAVY;
  sword.slot = SLOT_WEAPON;
  struct Case {
    const Item_info* info;
    int res, dx, dy;
  } cases[] = {
      {&nodachi, 0, 1, -5},  {&nodachi, 1, 1, -6},  {&nodachi, 2, 2, -8}, {&jerkin, 0, -1, 13},
      {&sword, 0, 0, 0},     {&sword, 2, 0, 0},     {&plate, 0, 0, 0},     {&plate, 1, 0, 0},
      {&plate, 2, -15, 0},   {nullptr, 2, 0, 0},
  };
  for (const Case& c : cases) {
    int dx = 99, dy = 99;
    model_view_item_nudge(c.info, c.res, &dx, &dy);
    EXPECT_EQ(dx, c.dx) << (c.info ? c.info->name : "none") << " at " << c.res;
    EXPECT_EQ(dy, c.dy) << (c.info ? c.info->name : "none") << " at " << c.res;
  }
}

// Meshes that "load" without files: each paging records a token.
void* fake_load(const char*) { return mem_alloc(16); }
int fake_tag(void*, const char*) { return -1; }

class ModelViewWorld : public WorldTest {
 protected:
  void SetUp() override {
    previous_ = item_paging_set_loader({fake_load, fake_tag});
    item_paging_reset();
  }
  void TearDown() override {
    item_paging_reset();
    item_paging_set_loader(previous_);
  }
  item_instance* make(const char* name) {
    item_instance* it = item_create_by_name(name);
    EXPECT_NE(it, nullptr) << name;
    return it;
  }
  ItemMeshLoader previous_;
};

TEST_F(ModelViewWorld, TheWeaponAndAShieldAreHeldAtTheirTagsAndWornArmourIsNot) {
  living_entity* e = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  for (item_instance*& slot : e->equipment) slot = nullptr;
  Item_info shield_info = Item_infos[item_lookup("Chain Mail")];
  shield_info.slot = SLOT_SHIELD;
  item_instance shield{nullptr, &shield_info, 0, 0};
  item_instance* sword = make("Short Sword");
  item_instance* mail = make("Chain Mail");

  ModelViewHandItem hands[2];
  EXPECT_EQ(model_view_hand_items(e, hands, false), 0) << "empty hands";
  e->equipment[EQ_WEAPON] = sword;
  e->equipment[EQ_SHIELD] = &shield;
  ASSERT_EQ(model_view_hand_items(e, hands, false), 2);
  EXPECT_EQ(hands[0].info, sword->info);
  EXPECT_STREQ(hands[0].tag, "$weapon");
  EXPECT_EQ(hands[1].info, &shield_info);
  EXPECT_STREQ(hands[1].tag, "$shield");
  // Nothing is paged yet: a draw would have no mesh to hold.
  EXPECT_EQ(model_view_hand_items(e, hands, true), 0);
  // Armour a creature keeps in its shield slot is worn, not held.
  e->equipment[EQ_SHIELD] = mail;
  ASSERT_EQ(model_view_hand_items(e, hands, false), 1);
  EXPECT_STREQ(hands[0].tag, "$weapon");
  for (item_instance*& slot : e->equipment) slot = nullptr;
  item_free(sword);
  item_free(mail);
}

TEST_F(ModelViewWorld, WornItemsPageIntoTheMembersSlotsAndOneGeneralSlotEach) {
  living_entity* e = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  for (item_instance*& slot : e->equipment) slot = nullptr;
  e->equipment[EQ_WEAPON] = make("Short Sword");
  e->equipment[EQ_RING2] = make("Ring of Jade");
  e->equipment[EQ_TORSO] = make("Chain Mail");
  e->equipment[EQ_FEET] = make("Servant's Boots");
  model_view_page_worn(e, 0);
  // Zazuru is hero 1: his weapon goes to his first slot (2); the worn items
  // go to 10 + their place in neck, ring, ring, hands, feet, torso, legs.
  struct Case {
    int paging;
    const char* item;
  } cases[] = {{2, "Short Sword"}, {12, "Ring of Jade"}, {14, "Servant's Boots"}, {15, "Chain Mail"}};
  for (const Case& c : cases) {
    EXPECT_EQ(item_paging_slot_item(c.paging), item_lookup(c.item)) << c.item;
    EXPECT_NE(Item_infos[item_lookup(c.item)].model, nullptr) << c.item;
  }
  for (int s : {3, 10, 11, 13, 16}) EXPECT_EQ(item_paging_slot_item(s), -1) << s;
  ModelViewHandItem hands[2];
  EXPECT_EQ(model_view_hand_items(e, hands, true), 1) << "the paged weapon is held";
  for (item_instance*& slot : e->equipment) {
    if (slot) item_free(slot);
    slot = nullptr;
  }
}

}  // namespace

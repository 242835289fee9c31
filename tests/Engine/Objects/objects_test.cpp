#include "Engine/Objects/objects.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/saved_names.h"
#include "quarn/os/memory.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/game_tables.h"

namespace {

class Objects : public ::testing::Test {
 protected:
  void SetUp() override {
    objects_init();
    objects_set_next_generation(1);
    objects_set_frame_steps(ObjectFrameSteps());
    ground_item_set_floor_probe(nullptr);
    ground_item_set_container_ops(GroundContainerOps());
  }
  void TearDown() override { objects_reset_all(); }
  CriticalErrorTrap trap;
};

struct Thing : game_object {
  int torn_down = 0;
  void deinit() override {
    torn_down++;
    game_object::deinit();
  }
};

std::vector<std::string> Steps;

}  // namespace

TEST_F(Objects, HandlesCountUpAndStaleOnesFindNothing) {
  Thing a, b, c;
  a.setup(OBJ_CREATURE);
  b.setup(OBJ_CREATURE);
  EXPECT_EQ(a.handle, 1000);
  EXPECT_EQ(b.handle, 2001);
  EXPECT_EQ(obj_from_handle(1000), &a);
  EXPECT_EQ(obj_handle_slot(2001), 1);
  a.deinit();
  EXPECT_EQ(obj_from_handle(1000), nullptr);
  // The freed entry goes to the tail of the free list: slot 2 comes next.
  c.setup(OBJ_DEAD_CREATURE);
  EXPECT_EQ(c.handle, 3002);
  EXPECT_EQ(obj_from_handle(3002), &c);
  EXPECT_EQ(obj_living_entity_from_handle(3002), nullptr) << "dead creatures are objects, not living entities";
  EXPECT_EQ(obj_living_entity_from_handle(2001), &b);
  EXPECT_EQ(obj_from_handle(-1), nullptr);
  EXPECT_EQ(obj_from_handle(-5), nullptr);
  EXPECT_EQ(obj_from_handle(2002), nullptr) << "a wrong generation of a used slot";
  EXPECT_EQ(objects_count(), 2);
  objects_reset_all();  // before the objects go out of scope
}

TEST_F(Objects, ReusedSlotsAlwaysGetNewHandles) {
  std::vector<Thing> things(MAX_OBJECTS);
  for (Thing& t : things) t.setup(OBJ_ANIMATED_PROP);
  const int32_t old = things[0].handle;
  things[0].deinit();
  Thing late;
  late.setup(OBJ_CREATURE);
  EXPECT_EQ(obj_handle_slot(late.handle), 0);
  EXPECT_NE(late.handle, old);
  EXPECT_EQ(obj_from_handle(old), nullptr);
  Thing extra;
  try {
    extra.setup(OBJ_CREATURE);
    FAIL() << "a 1001st object must be fatal";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "No more free objects.  Please increase MAX_OBJECTS");
  }
  extra.deinit();
  late.deinit();
  for (Thing& t : things) t.deinit();
}

TEST_F(Objects, GenerationWrapsBeforeAnyHandleOverflows) {
  // The last generation handed out is 2,147,482: slot 999 then makes
  // 2,147,482,999, the largest handle, and the next generation is 1.
  std::vector<Thing> things(MAX_OBJECTS);
  objects_set_next_generation(2147482 - 999);
  for (Thing& t : things) {
    t.setup(OBJ_CREATURE);
    ASSERT_GT(t.handle, 0);
    ASSERT_LE(t.handle, INT_MAX);
    ASSERT_EQ(obj_from_handle(t.handle), &t);
  }
  EXPECT_EQ(things[999].handle, 2147482999);
  EXPECT_EQ(objects_next_generation(), 1);
  things[0].deinit();
  Thing again;
  again.setup(OBJ_CREATURE);
  EXPECT_EQ(again.handle, 1000);
  again.deinit();
  for (Thing& t : things) t.deinit();
}

TEST_F(Objects, FrameRunsItsStepsInOrderAndDeletesAtTheStartOfTheNext) {
  Steps.clear();
  ObjectFrameSteps steps;
  steps.ai_driver = [](float) { Steps.push_back("ai"); };
  steps.live_footsteps = [](float) { Steps.push_back("footsteps"); };
  steps.dead_update = [](float) { Steps.push_back("dead"); };
  steps.animate_prop = [](game_object* o, float) { Steps.push_back("prop " + std::to_string(o->handle)); };
  steps.door_meshes = [](float) { Steps.push_back("doors"); };
  objects_set_frame_steps(steps);
  Thing prop, creature;
  prop.setup(OBJ_ANIMATED_PROP);
  creature.setup(OBJ_CREATURE);
  Speech_slots[3] = {creature.handle, 0.5f};
  Speech_slots[4] = {creature.handle, 0.7f};
  Cooldowns[10] = {creature.handle, 1000};
  Cooldowns[11] = {creature.handle, 1001};
  object_mark_deleted(&creature);
  EXPECT_EQ(creature.torn_down, 0) << "flagging deletes nothing yet";
  objects_frame(0.6f, 1000);
  EXPECT_EQ(creature.torn_down, 1);
  EXPECT_EQ(obj_from_handle(creature.handle), nullptr);
  const std::vector<std::string> expected = {"ai", "footsteps", "dead", "prop 1000", "doors"};
  EXPECT_EQ(Steps, expected);
  EXPECT_EQ(Speech_slots[3].entity, -1) << "0.5 s left and a 0.6 s frame";
  EXPECT_FLOAT_EQ(Speech_slots[3].time_left, 0.0f);
  EXPECT_EQ(Speech_slots[4].entity, creature.handle);
  EXPECT_NEAR(Speech_slots[4].time_left, 0.1f, 1e-6);
  EXPECT_EQ(Cooldowns[10].entity, -1);
  EXPECT_EQ(Cooldowns[11].entity, creature.handle);

  // Flagged during a frame's AI step: torn down when the next frame starts,
  // before its AI runs.
  static Thing* victim;
  Thing second;
  second.setup(OBJ_CREATURE);
  victim = &second;
  Steps.clear();
  steps.ai_driver = [](float) {
    Steps.push_back(victim->torn_down ? "ai after teardown" : "ai");
    object_mark_deleted(victim);
  };
  objects_set_frame_steps(steps);
  objects_frame(0.01f, 2000);
  EXPECT_EQ(second.torn_down, 0);
  objects_frame(0.01f, 2010);
  EXPECT_EQ(second.torn_down, 1);
  EXPECT_EQ(Steps[Steps.size() - 5], "ai after teardown");
  objects_level_start();
  EXPECT_EQ(Speech_slots[4].entity, -1);
  EXPECT_EQ(Cooldowns[11].entity, -1);
  objects_reset_all();  // before the objects go out of scope
}

namespace {
bool probe(const vector& from, int sector, float* height, int* mesh) {
  if (sector == 7) return false;  // no mesh of that sector: the general floor
  *height = sector >= 0 ? from.y - 1.0f : from.y - 2.0f;
  *mesh = sector >= 0 ? 40 + sector : 9;
  return true;
}
int Bags_made = 0;
container_object* make_bag(const vector&, int) {
  static int storage;
  Bags_made++;
  return reinterpret_cast<container_object*>(&storage);
}
}  // namespace

TEST_F(Objects, GroundItemsSettleDropInBagsAndRunOut) {
  load_demo_spells_and_items();
  item_pool_init();
  const matrix identity{};
  ground_item* loose = ground_item_drop(item_create_by_name("Gold"), vector(1, 5, 2), identity, 30, -1, -1);
  ASSERT_NE(loose, nullptr);
  EXPECT_EQ(loose->type, OBJ_GROUND_ITEM);
  EXPECT_TRUE(loose->is_gold());
  EXPECT_EQ(loose->floor_mesh, -1) << "no level: nothing below";
  EXPECT_TRUE(loose->flags & OF_ACTIVE);
  ground_item_set_floor_probe(probe);
  ground_item* on_mesh = ground_item_drop(item_create_by_name("Dagger"), vector(0, 5, 0), identity, 1, 4, 2);
  EXPECT_FLOAT_EQ(on_mesh->pos.y, 4.0f);
  EXPECT_EQ(on_mesh->floor_mesh, 42);
  EXPECT_FALSE(on_mesh->is_gold());
  ground_item* fallback = ground_item_drop(item_create_by_name("Dagger"), vector(0, 5, 0), identity, 1, 4, 7);
  EXPECT_EQ(fallback->floor_mesh, 9);

  // No container to be had: the items lie loose instead of vanishing.
  ground_item* dropped = nullptr;
  EXPECT_EQ(ground_item_drop_in_bag(item_create_by_name("Club"), vector(3, 5, 3), identity, 1, -1, -1, &dropped), nullptr);
  ASSERT_NE(dropped, nullptr);
  EXPECT_EQ(dropped->container, nullptr);
  EXPECT_EQ(obj_from_handle(dropped->handle), dropped);
  GroundContainerOps ops;
  ops.create = make_bag;
  ground_item_set_container_ops(ops);
  container_object* bag = ground_item_drop_in_bag(item_create_by_name("Club"), vector(3, 5, 3), identity, 1, -1, -1, &dropped);
  EXPECT_NE(bag, nullptr);
  EXPECT_EQ(dropped->container, bag);
  EXPECT_EQ(Bags_made, 1);
  ground_item_set_container_ops(GroundContainerOps());

  const int live = Num_live_items;
  object_mark_deleted(loose);
  objects_delete_pending();
  EXPECT_EQ(loose->type, OBJ_FREE);
  EXPECT_EQ(Num_live_items, live - 1) << "the ground item frees its item";

  int placed = 0;
  while (ground_item_drop(nullptr, vector(0, 0, 0), identity, 1, -1, -1)) placed++;
  EXPECT_EQ(placed, MAX_GROUND_ITEMS - 4);
  objects_reset_all();
  EXPECT_EQ(objects_count(), 0);
  EXPECT_EQ(Num_live_items, 0);
  EXPECT_EQ(ground_item_at(0)->type, OBJ_FREE);
}

// ---- item paging -------------------------------------------------------------

namespace {
int Loads = 0;
void* fake_load(const char* name) {
  if (std::string(name) == "broken.vim") return nullptr;
  Loads++;
  return mem_alloc(64);
}
int fake_tag(void*, const char* tag) { return std::string(tag) == "$drop-ground01" ? 3 : -1; }

class Paging : public ::testing::Test {
 protected:
  void SetUp() override {
    load_demo_spells_and_items();
    previous = item_paging_set_loader({fake_load, fake_tag});
    item_paging_reset();
    Loads = 0;
  }
  void TearDown() override {
    item_paging_reset();
    item_paging_set_loader(previous);
  }
  ItemMeshLoader previous;
  CriticalErrorTrap trap;
};
}  // namespace

TEST_F(Paging, SharedMeshesLoadOnceAndAreHandedOver) {
  const int sword = item_lookup("Short Sword");
  ASSERT_TRUE(item_page_in(sword, 2));
  EXPECT_EQ(Item_infos[sword].weapon.drop_tags[0], 3);
  EXPECT_EQ(Item_infos[sword].weapon.drop_tags[1], -1);
  ASSERT_TRUE(item_page_in(sword, ITEM_PAGING_POPUP_SLOT));
  EXPECT_EQ(Loads, 1);
  EXPECT_TRUE(item_paging_slot_owns(2));
  EXPECT_FALSE(item_paging_slot_owns(ITEM_PAGING_POPUP_SLOT));
  void* mesh = Item_infos[sword].model;
  // The owner pages out: the pop-up slot takes the mesh over, unreloaded.
  item_page_out(2);
  EXPECT_TRUE(item_is_paged_in(sword));
  EXPECT_EQ(Item_infos[sword].model, mesh);
  EXPECT_TRUE(item_paging_slot_owns(ITEM_PAGING_POPUP_SLOT));
  EXPECT_EQ(Loads, 1);
  // The pop-up slot, owning it now, pages out while slot 5 shares it.
  ASSERT_TRUE(item_page_in(sword, 5));
  item_page_out(ITEM_PAGING_POPUP_SLOT);
  EXPECT_EQ(item_paging_slot_item(ITEM_PAGING_POPUP_SLOT), -1);
  EXPECT_EQ(item_paging_slot_item(5), sword);
  EXPECT_TRUE(item_paging_slot_owns(5));
  EXPECT_EQ(Item_infos[sword].model, mesh);
  // A slot that only shares leaves the mesh loaded; the last owner drops it.
  ASSERT_TRUE(item_page_in(sword, 6));
  item_page_out(6);
  EXPECT_TRUE(item_is_paged_in(sword));
  item_page_out(5);
  EXPECT_FALSE(item_is_paged_in(sword));
  EXPECT_FALSE(item_is_paged_in(-1));
}

TEST_F(Paging, SlotsReplaceTheirItemAndFailuresAreSoft) {
  const int sword = item_lookup("Short Sword");
  const int staff = item_lookup("Staff");
  ASSERT_TRUE(item_page_in(sword, 8));
  ASSERT_TRUE(item_page_in(staff, 8));
  EXPECT_FALSE(item_is_paged_in(sword)) << "the slot's old item went out";
  EXPECT_TRUE(item_is_paged_in(staff));
  EXPECT_FALSE(item_page_in(sword, 19));
  EXPECT_FALSE(item_page_in(9999, 3));
  Item_infos[sword].model_name = "broken.vim";
  EXPECT_FALSE(item_page_in(sword, 3));
  EXPECT_EQ(item_paging_slot_item(3), -1);
  int first, second;
  item_paging_slot_for_player(2, true, 0, &first, &second);
  EXPECT_EQ(first, 4);
  EXPECT_EQ(second, 5);
  item_paging_slot_for_player(40, false, 0, &first, &second);
  EXPECT_EQ(first, -1);
  game_flags_set(GF_NETWORKED);
  item_paging_slot_for_player(0, true, 3, &first, &second);
  EXPECT_EQ(first, 6);
  EXPECT_THROW(item_paging_slot_for_player(0, true, 4, &first, &second), CriticalErrorThrown);
  game_flags_clear(GF_NETWORKED);
}

TEST_F(Paging, LevelLoadPagesTheLevelItemsAndNeedsTheBags) {
  ItemLevelEntity entities[3];
  entities[0].kind = 87;  // a Tiger Rider with a club
  entities[0].equipment[5] = item_lookup("Club");
  entities[0].paging_slots[0] = -1;
  entities[1].kind = HERO_RIVUD;
  entities[1].equipment[5] = item_lookup("Short Sword");
  entities[1].paging_slots[0] = 4;
  entities[1].paging_slots[1] = 5;
  entities[2].kind = 86;
  entities[2].live = false;
  entities[2].state = 0x100;
  entities[2].equipment[9] = item_lookup("Dagger");
  item_level_load(entities, 3);
  for (const char* name : {"Backpack", "Leather Bag", "Gold", "Club", "TigerAxe", "Short Sword", "Dagger"})
    EXPECT_TRUE(item_is_paged_in(item_lookup(name))) << name;
  EXPECT_EQ(item_paging_slot_item(4), item_lookup("Short Sword"));
  EXPECT_EQ(item_paging_slot_item(9), item_lookup("Dagger"));
  item_level_unload();
  EXPECT_FALSE(item_is_paged_in(item_lookup("Gold")));

  std::vector<ItemRecord> items = table_demo_items();
  items.erase(items.begin() + 1);  // no leather bag
  const std::string text = table_items_text(items);
  items_load_text("items.tbl", text.data(), static_cast<int>(text.size()));
  try {
    item_level_load(nullptr, 0);
    FAIL() << "a level cannot load without its bags";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Cannot find leather bag!");
  }
}

#include "quarn/ca/vim.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/vim_writer.h"

TEST_F(Paging, MeshFilesPageIntoTheSlotsArena) {
  const std::string root = fresh_temp_dir("item_paging_vim") + "/";
  VimWriterMesh mesh;
  VimWriterGroup g;
  g.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  g.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  g.uvs = {{0, 0}, {1, 0}, {0, 1}};
  VimWriterFace f;
  f.v[0] = 0, f.v[1] = 1, f.v[2] = 2;
  g.faces = {f};
  mesh.groups = {g};
  VimWriterTag a, b;
  a.name = "$drop-ground02";
  b.name = "$drop-ground01";
  mesh.tags = {a, b};
  ASSERT_TRUE(vim_write_file(root + "short_sword.vim", mesh));
  vfile_set_root(root.c_str(), false);
  item_paging_set_loader(previous);  // the game's own .vim loader
  const int sword = item_lookup("Short Sword");
  ASSERT_TRUE(item_page_in(sword, 0));
  auto* loaded = static_cast<VimMesh*>(Item_infos[sword].model);
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->flags & VIM_FLAG_IN_ARENA) << "the mesh lives in the slot's arena";
  EXPECT_EQ(Item_infos[sword].weapon.drop_tags[0], 1);
  EXPECT_EQ(Item_infos[sword].weapon.drop_tags[1], 0);
  EXPECT_FALSE(mem_arena_active()) << "the heap is current again";
  EXPECT_FALSE(item_page_in(item_lookup("Staff"), 1)) << "no file for the staff";
  item_page_out(0);
  EXPECT_FALSE(item_is_paged_in(sword));
}

// Where blows show: blood and sparks at the struck body's skeleton point
// nearest to the attacker's hand or to the point its move names on its
// weapon. The kit's fake skeleton has four points (feet, head, snout); the
// expected points are worked out here from their places.
#include <gtest/gtest.h>

#include <cstring>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "tests/support/world_kit.h"

namespace {

constexpr int kFootL = 0, kHead = 2, kSnout = 3;

// A weapon model whose only point "$hit" lies 2.5 ahead of the hand.
int fake_tag(void*, const char* name) { return std::strcmp(name, "$hit") == 0 ? 0 : -1; }
void fake_transform(void*, int, vector* pos, matrix* orient) {
  *pos = vector(0, 0, 2.5f);
  *orient = identity_matrix;
}

class HitPoint : public WorldTest {
 protected:
  void SetUp() override {
    const int rat = kit.type("Rat");
    a = kit.spawn(rat, {0, 0, 0});
    a->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
    // The struck rat stands 1 ahead, facing back: its feet at (+-0.1, 0,
    // 1), head (0, 1.7, 1), snout (0, 0.5, -0.2).
    v = kit.spawn(rat, {0, 0, 1});
    v->orient = matrix(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1));
    move = a->character->moves[MOVE_ATTACK];
    ASSERT_NE(move, nullptr);
    a->play_move(move, 1.0f, false, true, 0);
    kept_hand = a->character->prop_tag_bones[0];
    kept_skin = v->character->skin_material;
    kept_loader = item_paging_set_loader(ItemMeshLoader{nullptr, fake_tag, fake_transform});
  }
  void TearDown() override {
    a->character->prop_tag_bones[0] = kept_hand;
    v->character->skin_material = kept_skin;
    const_cast<Move_info*>(move)->contact_tag = nullptr;
    if (sword) sword->info->model = nullptr;
    item_paging_set_loader(kept_loader);
  }
  void wield(bool loaded) {
    sword = item_create_by_name("Short Sword");
    ASSERT_NE(sword, nullptr);
    sword->info->model = loaded ? static_cast<void*>(&model_bytes) : nullptr;
    a->equipment[EQ_WEAPON] = sword;
  }

  living_entity* a = nullptr;
  living_entity* v = nullptr;
  const Move_info* move = nullptr;
  item_instance* sword = nullptr;
  int model_bytes = 0;
  int16_t kept_hand = -1;
  int32_t kept_skin = 0;
  ItemMeshLoader kept_loader;
};

void expect_at(const vector& got, const vector& want) {
  EXPECT_NEAR(got.x, want.x, 1e-4f);
  EXPECT_NEAR(got.y, want.y, 1e-4f);
  EXPECT_NEAR(got.z, want.z, 1e-4f);
}

TEST_F(HitPoint, TheNearestSkeletonPointToTheHand) {
  vector at;
  // No prop slot for the hand: from the attacker's chest, the snout is
  // nearest (the head lies a unit farther).
  a->character->prop_tag_bones[0] = -1;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), kSnout);
  expect_at(at, vector(0, 0.5f, -0.2f));
  // The hand on the head bone (0, 1.7, 0): the struck head, 1 away, beats
  // the snout, sqrt(1.2^2 + 0.2^2) away.
  a->character->prop_tag_bones[0] = kHead;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), kHead);
  expect_at(at, vector(0, 1.7f, 1));
  // The hand on the left foot (-0.1, 0, 0): the snout (0.55 away) beats
  // the feet (1.0 and 1.02 away).
  a->character->prop_tag_bones[0] = kFootL;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), kSnout);
}

TEST_F(HitPoint, AWeaponCarriesTheMovesPointFromTheHand) {
  a->character->prop_tag_bones[0] = kFootL;
  const_cast<Move_info*>(move)->contact_tag = "$hit";
  wield(true);
  vector at;
  // The point 2.5 ahead of the foot, (-0.1, 0, 2.5), is nearest the
  // struck feet: the one at (-0.1, 0, 1).
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), 1);
  expect_at(at, vector(-0.1f, 0, 1));
  // A model without the named point: no hit point, no blood.
  const_cast<Move_info*>(move)->contact_tag = "$tip";
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), -1);
  v->character->skin_material = 1;
  combat_spawn_blood(a, v);
  EXPECT_EQ(kit.effects_named("blood.vfx"), 0);
  // A model not loaded leaves the hand itself.
  const_cast<Move_info*>(move)->contact_tag = "$hit";
  sword->info->model = nullptr;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), kSnout);
}

TEST_F(HitPoint, BloodAndSparksShowAtThePoint) {
  a->character->prop_tag_bones[0] = kHead;
  v->character->skin_material = 1;  // flesh
  combat_spawn_blood(a, v);
  ASSERT_EQ(kit.effects_named("blood.vfx"), 1);
  for (const FakeEffect& e : kit.effects)
    if (e.name == "blood.vfx") {
      EXPECT_EQ(e.entity, -1);  // placed in the world, where the point is
      expect_at(e.pos, vector(0, 1.7f, 1));
    }
  v->character->skin_material = 3;  // stone
  combat_spawn_blood(a, v);
  EXPECT_EQ(kit.effects_named("sparkhit01.vfx"), 1);
  // Nothing without a move or without a skeleton.
  a->current_move_id = -1;
  vector at;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), -1);
  a->play_move(move, 1.0f, false, true, 0);
  EntityModel* body = v->instance;
  v->instance = nullptr;
  EXPECT_EQ(living_entity::nearest_hit_point(a, v, &at), -1);
  v->instance = body;
}

}  // namespace

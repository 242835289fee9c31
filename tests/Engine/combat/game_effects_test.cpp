// Game effects on the world kit: the pool of 48, missiles that home on a
// moving target, rings that hit what they reach, fades, petrification,
// timed hits and attachments.
#include "Engine/Objects/game_effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/Objects/living_entity.h"
#include "tests/support/world_kit.h"

namespace {

class Effects_test : public WorldTest {
 protected:
  // Object frames (teardown of the flagged) and effect frames together.
  void frames(float seconds, float dt = 1.0f / 30.0f) {
    for (float t = 0; t < seconds; t += dt) {
      kit.advance(dt);
      objects_delete_pending();
      fx_frame(dt, false);
    }
  }
};

TEST_F(Effects_test, FortyEighthIsTheLastUntilOneIsKilledAndTornDown) {
  int handles[MAX_GAME_EFFECTS];
  for (int& h : handles) {
    h = fx_add_effect("glow.vfx", {0, 0, 0}, identity_matrix, true);
    ASSERT_GE(h, 0);
  }
  EXPECT_EQ(fx_add_effect("glow.vfx", {0, 0, 0}, identity_matrix, true), -1);
  fx_kill(handles[7]);
  EXPECT_EQ(fx_add_effect("glow.vfx", {0, 0, 0}, identity_matrix, true), -1) << "freed at the next frame";
  objects_delete_pending();
  EXPECT_GE(fx_add_effect("glow.vfx", {0, 0, 0}, identity_matrix, true), 0);
  EXPECT_EQ(fx_count(), MAX_GAME_EFFECTS);
}

TEST_F(Effects_test, MissileHomesOnAMovingTargetAndHitsOnce) {
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 10});
  const int h = fx_add_homing_effect("fireball.vfx", 25, {0, 1, 0}, caster->handle, rat->handle);
  ASSERT_GE(h, 0);
  float travelled = 0.0f;
  vector last = fx_get(h)->pos;
  for (int f = 0; f < 60 && kit.fx_hits.empty(); f++) {
    rat->pos.x += 0.1f;  // it runs sideways
    frames(1.0f / 30.0f);
    if (game_effect* fx = fx_get(h)) {
      travelled += (fx->pos - last).length();
      last = fx->pos;
    }
  }
  ASSERT_EQ(kit.fx_hits.size(), 1u);
  EXPECT_EQ(kit.fx_hits[0], "25 " + std::to_string(rat->handle));
  EXPECT_LE(travelled, 12.0f * 2.0f) << "12 units a second at most";
  frames(2.0f);
  EXPECT_EQ(kit.fx_hits.size(), 1u);
  EXPECT_EQ(fx_get(h), nullptr) << "it ends with its instance";
}

TEST_F(Effects_test, MissileWhoseTargetIsGoneEndsWithoutAHit) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 10});
  const int h = fx_add_homing_effect("fireball.vfx", 25, {0, 1, 0}, -1, rat->handle);
  frames(0.1f);
  rat->flags |= OF_DELETE;
  objects_delete_pending();
  frames(0.2f);
  EXPECT_EQ(fx_get(h), nullptr);
  EXPECT_TRUE(kit.fx_hits.empty());
}

TEST_F(Effects_test, RingHitsOnlyWhatItsGrowingRadiusReaches) {
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  caster->set_team(0);
  living_entity* near = kit.spawn(kit.type("Rat"), {2, 0, 0});
  living_entity* far = kit.spawn(kit.type("Rat"), {8, 0, 0});
  near->set_team(2);
  far->set_team(2);
  const int h = fx_add_area_effect("ring.vfx", 30, caster->handle, {0, 0, 0}, nullptr);
  ASSERT_GE(h, 0);
  EXPECT_EQ(fx_get(h)->target_count, 2) << "both within 10 are collected";
  // 2 units at 4.72 a second: reached after about 0.42 s.
  frames(0.3f);
  EXPECT_TRUE(kit.fx_hits.empty());
  frames(0.2f);
  ASSERT_EQ(kit.fx_hits.size(), 1u);
  EXPECT_EQ(kit.fx_hits[0], "30 " + std::to_string(near->handle));
  frames(1.0f);
  EXPECT_EQ(kit.fx_hits.size(), 1u) << "the far one stays beyond 5.003";
  EXPECT_EQ(fx_get(h), nullptr);
}

TEST_F(Effects_test, FadeOutTakesAlphaFrom255To20) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  kit.fx_length["fade.vfx"] = 1.0f;
  fx_add_fade(rat, "fade.vfx", false);
  frames(1.0f / 30.0f);
  EXPECT_GE(kit.model(rat)->alpha(), 245);
  frames(1.2f);
  EXPECT_EQ(kit.model(rat)->alpha(), 20);
  living_entity* other = kit.spawn(kit.type("Rat"), {1, 0, 0});
  fx_add_fade(other, "fade.vfx", true);
  frames(1.2f);
  EXPECT_EQ(kit.model(other)->alpha(), 255);
}

TEST_F(Effects_test, PetrificationOutlivesItsInstanceUntilTheStatusEnds) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  rat->apply_status_effect(STATUS_PARALYZE, 60000, -1, 1.0f, -1, false);
  const int h = fx_add_petrify_effect(rat);
  ASSERT_GE(h, 0);
  EXPECT_EQ(fx_add_petrify_effect(rat), h) << "one a creature";
  EXPECT_TRUE(rat->state & ES_HAS_ATTACHMENT);
  frames(3.0f);
  EXPECT_NE(fx_get(h), nullptr);
  rat->cure_status_effect(STATUS_PARALYZE, true, true);
  frames(2.0f / 30.0f);
  EXPECT_EQ(fx_get(h), nullptr);
  bool faded = false;
  for (const FakeFxInstance& i : kit.fx_instances) faded |= i.name == "stone-fade.vfx";
  EXPECT_TRUE(faded);
  frames(2.0f);
  EXPECT_FALSE(rat->state & ES_HAS_ATTACHMENT) << "the last attachment gone clears the flag";
}

TEST_F(Effects_test, TimedHitWaitsForItsDelay) {
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 3});
  fx_add_timed_hit("bolt.vfx", 15, caster->handle, rat->handle, 500, rat->pos);
  frames(0.4f);
  EXPECT_TRUE(kit.fx_hits.empty());
  frames(0.2f);
  ASSERT_EQ(kit.fx_hits.size(), 1u);
  frames(2.0f);
  EXPECT_EQ(kit.fx_hits.size(), 1u);
}

TEST_F(Effects_test, MissingEffectFileCreatesNothing) {
  FxLayer none;
  none.create = [](const char*, bool) { return -1; };
  fx_set_layer(none);
  EXPECT_EQ(fx_add_effect("missing.vfx", {0, 0, 0}, identity_matrix, true), -1);
  EXPECT_EQ(fx_count(), 0);
}

}  // namespace

// ---- effects on the skeleton -----------------------------------------------------------

namespace {

struct Bind {
  int instance, entity, bone;
};
std::vector<Bind> Binds;
int Next_instance = 0;
int Advances = 0;
int Unresolved_bone = 99;  // a bone number the fake skeleton does not have

class Effects_bones_test : public WorldTest {
 protected:
  void SetUp() override {
    Binds.clear();
    Next_instance = Advances = 0;
    FxLayer l;
    l.create = [](const char*, bool) { return Next_instance++; };
    l.advance = [](int, float, const vector&, const matrix&) {
      Advances++;
      return false;
    };
    l.release = [](int) {};
    l.bind = [](int instance, int entity, int bone) {
      Binds.push_back({instance, entity, bone});
      return bone != Unresolved_bone;
    };
    fx_set_layer(l);
    hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  }
  living_entity* hero = nullptr;
};

TEST_F(Effects_bones_test, AnAttachedEffectRidesOnTheSkeletonFromItsFirstFrame) {
  const int h = fx_attach_to_entity("aura.vfx", hero->handle, -1, 12, false, false);
  game_effect* fx = fx_get(h);
  ASSERT_NE(fx, nullptr);
  ASSERT_EQ(Binds.size(), 1u);
  EXPECT_EQ(Binds[0].instance, fx->instance);
  EXPECT_EQ(Binds[0].entity, hero->handle);
  EXPECT_EQ(Binds[0].bone, -1) << "each element to the bone of its own name";
  EXPECT_EQ(fx->move, 12);
  EXPECT_EQ(Advances, 1) << "run for its first frame when made";
  Binds.clear();
  fx_attach_to_entity("aura.vfx", hero->handle, 5, -1, false, true);
  ASSERT_EQ(Binds.size(), 1u);
  EXPECT_EQ(Binds[0].bone, 5);
}

// Equipping an item with an effect of its own makes a kind-16 effect; its
// instance rides on the bone the wearer holds the item by: a weapon's on the
// primary hand, a shield's on the shield bone, or on the secondary hand
// when the type has no shield bone.
TEST_F(Effects_bones_test, EquippedItemEffectsShowOnTheirPropBones) {
  EntityEffectHooks h = entity_effects();
  h.item_effect = fx_add_item_effect;
  entity_set_effect_hooks(h);
  Character_info& type = *hero->character;
  int16_t saved[NUM_PROP_SLOTS];
  std::copy(std::begin(type.prop_tag_bones), std::end(type.prop_tag_bones), saved);
  type.prop_tag_bones[0] = 7, type.prop_tag_bones[1] = 3, type.prop_tag_bones[15] = -1;

  Item_info sword_info = Item_infos[item_lookup("Club")];
  sword_info.attached_effect = "flame-blade.vfx";
  item_instance* sword = item_create_by_name("Club");
  sword->info = &sword_info;
  hero->stance_anim = 0;
  entity_equip_item(nullptr, nullptr, hero, EQ_WEAPON, sword);
  game_effect* fx = fx_get(sword->spare);
  ASSERT_NE(fx, nullptr) << "the equip code made no item effect";
  EXPECT_EQ(fx->kind, FX_ITEM);
  fx_frame(0.1f, false);
  ASSERT_EQ(Binds.size(), 1u);
  EXPECT_EQ(Binds[0].bone, 7);

  Binds.clear();
  Item_info shield_info = sword_info;
  shield_info.type = ITEM_ARMOR;
  shield_info.slot = SLOT_SHIELD;
  shield_info.attached_effect = "ward.vfx";
  item_instance* shield = item_create_by_name("Club");
  shield->info = &shield_info;
  entity_equip_item(nullptr, nullptr, hero, EQ_SHIELD, shield);
  fx_frame(0.1f, false);
  ASSERT_EQ(Binds.size(), 1u) << "no shield bone: straight to the secondary hand";
  EXPECT_EQ(Binds[0].bone, 3);

  // With a shield bone that the skeleton cannot resolve, the secondary hand.
  Binds.clear();
  entity_unequip_slot(hero, EQ_SHIELD, false);
  fx_frame(0.1f, false);
  type.prop_tag_bones[15] = static_cast<int16_t>(Unresolved_bone);
  entity_equip_item(nullptr, nullptr, hero, EQ_SHIELD, shield);
  fx_frame(0.1f, false);
  ASSERT_EQ(Binds.size(), 2u);
  EXPECT_EQ(Binds[0].bone, Unresolved_bone);
  EXPECT_EQ(Binds[1].bone, 3);

  entity_unequip_slot(hero, EQ_SHIELD, false);
  entity_unequip_slot(hero, EQ_WEAPON, false);
  item_free(shield);
  item_free(sword);
  std::copy(std::begin(saved), std::end(saved), type.prop_tag_bones);
}

}  // namespace

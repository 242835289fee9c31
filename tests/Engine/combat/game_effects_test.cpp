// Game effects on the world kit: the pool of 48, missiles that home on a
// moving target, rings that hit what they reach, fades, petrification,
// timed hits and attachments.
#include "Engine/Objects/game_effects.h"

#include <gtest/gtest.h>

#include "Engine/Objects/entity_model.h"
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

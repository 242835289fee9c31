// The spell pieces around the effects on the world kit: the rows of the
// local spell hit that take points, hold or strip a target, the zone
// statuses of missile, beam and wall areas, the positionless sounds of
// spells 50-53, the missile launch points, status visuals that renew
// themselves and the plain sprite of spell 55.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/Objects/spell_hits.h"
#include "Engine/characterinfo/spells.h"
#include "tests/support/world_kit.h"

namespace {

std::vector<std::string> Played;
int Avoid_next = 0;
vector Avoid_centre[8];
float Avoid_half[8][2];

class Spell_effects_test : public WorldTest {
 protected:
  void SetUp() override {
    hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {0, 0, 2});
    hero->level = 6;
    Played.clear();
    Avoid_next = 0;
    SpellCastHooks h;
    h.sound = [](GameSound* s, const vector* at) {
      Played.push_back(std::string(s->file_name) + (at ? " at" : " nowhere") + " " + std::to_string(s->index));
      s->index = 77;  // registered by playing
    };
    spell_cast_set_hooks(h);
    FxHits f = fx_hits();
    f.avoid_add = [](const vector& c, const matrix&, float hl, float hw, float) {
      Avoid_centre[Avoid_next] = c;
      Avoid_half[Avoid_next][0] = hl;
      Avoid_half[Avoid_next][1] = hw;
      return Avoid_next++;
    };
    f.avoid_remove = [](int) {};
    // Squares round their centre.
    f.avoid_contains = [](int a, const vector& p, const living_entity*) {
      return a >= 0 && std::fabs(p.x - Avoid_centre[a].x) <= Avoid_half[a][1] &&
             std::fabs(p.z - Avoid_centre[a].z) <= Avoid_half[a][0];
    };
    fx_set_hits(f);
  }
  void TearDown() override {
    No_resist = false;
    spell_cast_set_hooks(SpellCastHooks{});
    spell_launch_points_reset();
  }
  void frames(float seconds, float dt = 1.0f / 30.0f) {
    for (float t = 0; t < seconds; t += dt) {
      kit.advance(dt);
      objects_delete_pending();
      fx_frame(dt, false);
    }
  }
  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};

TEST_F(Spell_effects_test, RowsThatTakePointsOrHold) {
  No_resist = true;
  rat->max_hp_base = 200;
  rat->hp = 17.4f;
  rat->get_hit_by_spell(12, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  EXPECT_LE(rat->hp, 0.0f) << "death touch: every hit point, rounded up, no resistance";

  living_entity* other = kit.spawn(kit.type("Rat"), {1, 0, 2});
  other->max_hp_base = 200;
  other->hp = 40.0f;
  other->get_hit_by_spell(24, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  EXPECT_FLOAT_EQ(other->hp, 20.0f) << "jade: half the current hit points";

  other->get_hit_by_spell(73, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  ASSERT_TRUE(other->has_status_effect(STATUS_PARALYZE));
  EXPECT_NEAR(other->get_status_effect_time(STATUS_PARALYZE), 5000, 50) << "another caster's kind: 5 s";
}

TEST_F(Spell_effects_test, FiveStatusesTakeHoldWhereTheyCanAffect) {
  No_resist = true;
  rat->get_hit_by_spell(103, hero->handle, nullptr, nullptr, SS_CAST, nullptr, 0.0f, true);
  const int pairs[5][2] = {{61, 10}, {7, 0}, {60, 11}, {8, 1}, {23, 3}};
  int started = 0;
  for (const auto& p : pairs) {
    const bool can = spell_can_affect(rat, p[0]) > 0.01f;
    EXPECT_EQ(rat->has_status_effect(p[1]), can) << "status " << p[1];
    started += can;
  }
  EXPECT_GT(started, 0);
}

TEST_F(Spell_effects_test, AWallGivesItsStatusAfterThreeSecondsAndLosesItOutside) {
  Spells[35].hit_effect = "wall.vfx";
  kit.fx_length["wall.vfx"] = 30.0f;
  const int wall = spell_create_wall(hero, rat->pos, 0.0f, identity_matrix);
  ASSERT_GE(wall, 0);
  EXPECT_FLOAT_EQ(Avoid_half[0][0], 1.65f) << "3.3 by 3.3";
  frames(1.0f);
  EXPECT_FALSE(rat->has_status_effect(15)) << "not before 3,000 ms";
  frames(2.2f);
  EXPECT_TRUE(rat->has_status_effect(15));
  EXPECT_FALSE(hero->has_status_effect(15)) << "the caster stands outside";
  rat->pos = vector(10, 0, 10);
  frames(0.1f);
  EXPECT_FALSE(rat->has_status_effect(15)) << "out of every zone: cured at once";
}

TEST_F(Spell_effects_test, MissileZoneGivesTheNegatedLevelAsStrength) {
  kit.fx_length["fire.vfx"] = 30.0f;
  const int fx = fx_add_effect("fire.vfx", rat->pos, identity_matrix, true);
  spell_create_missile(hero, fx, rat->pos, 0.0f, identity_matrix);
  frames(0.1f);
  ASSERT_TRUE(rat->has_status_effect(14));
  EXPECT_FLOAT_EQ(rat->get_status_effect_strength(14), -static_cast<float>(hero->level));
}

TEST_F(Spell_effects_test, SummonSoundsPlayWithoutAPlaceAndRegisterAnew) {
  Spells[50].hit_sound.file_name = "howl.wav";
  Spells[50].hit_sound.index = 5;
  Spells[24].hit_sound.file_name = "fireball.wav";
  Spells[24].hit_sound.index = 6;
  spell_play_sound(50, rat->pos);
  spell_play_sound(24, rat->pos);
  ASSERT_EQ(Played.size(), 2u);
  EXPECT_EQ(Played[0], "howl.wav nowhere 5");
  EXPECT_EQ(Spells[50].hit_sound.index, -1) << "its id is cleared so that it registers next time";
  EXPECT_EQ(Played[1], "fireball.wav at 6");
  EXPECT_EQ(Spells[24].hit_sound.index, 77);
}

TEST_F(Spell_effects_test, StatusVisualRenewsEveryTenSecondsAndIsShared) {
  kit.fx_length["spell-status.vfx"] = 30.0f;
  const int h = fx_add_status_visual(rat);
  ASSERT_GE(h, 0);
  EXPECT_EQ(fx_add_status_visual(rat), h) << "an existing visual is returned";
  const int first = fx_get(h)->instance;
  frames(9.5f);
  EXPECT_EQ(fx_get(h)->instance, first);
  frames(1.0f);
  ASSERT_NE(fx_get(h), nullptr) << "it lives until it is killed";
  EXPECT_NE(fx_get(h)->instance, first) << "renewed";
  fx_remove_entity_effects(rat->handle);
  frames(0.1f);
  EXPECT_EQ(fx_get(h), nullptr);
}

TEST_F(Spell_effects_test, TimedVisualEndsInTheHitEffectOnceTheStatusIsGone) {
  Spells[14].misc_effect = "haste-loop.vfx";
  Spells[14].hit_effect = "haste-end.vfx";
  Spells[14].duration = 20;
  kit.fx_length["haste-loop.vfx"] = 30.0f;
  rat->apply_status_effect(STATUS_TIMED_FX, 500, 14, 0.0f, -1, false);
  const int h = fx_attach_timed_effect(rat);
  ASSERT_GE(h, 0);
  frames(0.2f);
  EXPECT_NE(fx_get(h), nullptr) << "kept while the status holds";
  rat->cure_status_effect(STATUS_TIMED_FX, true, false);
  frames(0.1f);
  EXPECT_EQ(fx_get(h), nullptr);
  EXPECT_TRUE(fx_entity_has_kind(rat->handle, FX_ATTACHED)) << "the end look attached";
}

TEST_F(Spell_effects_test, PlainSpriteFliesAtTwentyAndWaitsForItsTrail) {
  rat->pos = vector(0, 0, 10);
  const int h = fx_add_spell_homing(55, vector(0, 0, 0), hero->handle, rat->handle);
  ASSERT_GE(h, 0);
  EXPECT_TRUE(fx_get(h)->bits & FXS_SPRITE);
  EXPECT_EQ(fx_get(h)->instance, -1) << "no instance";
  frames(0.3f);
  EXPECT_FALSE(fx_get(h)->bits & FXS_ARRIVED) << "6 of some 10 units";
  frames(0.3f);
  ASSERT_NE(fx_get(h), nullptr);
  EXPECT_TRUE(fx_get(h)->bits & FXS_ARRIVED);
  frames(1.0f);
  EXPECT_EQ(fx_get(h), nullptr) << "ends once its trail caught up";
}

}  // namespace

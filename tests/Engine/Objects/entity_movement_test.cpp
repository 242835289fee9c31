// The movement step, blend, upkeep and footsteps of living entities on the
// world kit.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

using EntityMovement = WorldTest;

TEST_F(EntityMovement, SpeedEasesUpAndDownAtTheTypesRates) {
  const int t = kit.type("Ruvizo");
  Character_infos[t].speedup_rate = 4.0f;
  Character_infos[t].slowdown_rate = 6.0f;
  living_entity* e = kit.spawn(t, {0, 0, 0}, OBJ_PLAYER);
  // Kit walks move at 1.5 units/s, runs at 4.
  e->set_move_mode(4.0f);
  kit.run(0.5f);
  EXPECT_NEAR(e->anim_distance, 2.0f, 1e-3f);
  // Distance so far: the speed after each frame times the frame.
  float z = 0.0f;
  for (int i = 1; i <= 15; i++) z += (4.0f * i / 30.0f) / 30.0f;
  EXPECT_NEAR(e->pos.z, z, 1e-3f);
  kit.run(1.0f);
  EXPECT_NEAR(e->anim_distance, 4.0f, 1e-4f);
  EXPECT_NEAR(e->move_blend, 1.0f, 1e-5f);
  EXPECT_NEAR(e->velocity.z, 4.0f, 1e-3f);
  e->set_move_mode(0.0f);
  kit.run(1.0f / 3.0f);
  EXPECT_NEAR(e->anim_distance, 2.0f, 1e-3f);
  kit.run(1.0f / 3.0f);
  EXPECT_NEAR(e->anim_distance, 0.0f, 1e-4f);
  EXPECT_FLOAT_EQ(e->get_speed(), 0.0f);
}

TEST_F(EntityMovement, ATypeWithoutEasingChangesSpeedAtOnce) {
  const int rat = kit.type("Rat");
  Character_infos[rat].speedup_rate = 0.0f;
  Character_infos[rat].slowdown_rate = 0.0f;
  living_entity* e = kit.spawn(rat, {0, 0, 0});
  e->set_move_mode(1.5f);
  kit.frame();
  EXPECT_NEAR(e->anim_distance, 1.5f, 1e-5f);
  EXPECT_FLOAT_EQ(e->get_stopping_distance(nullptr), 0.0f);
  EXPECT_FLOAT_EQ(e->distance_to_reach_speed(0.0f), 0.0f);
  EXPECT_TRUE(std::isfinite(e->pos.z));
}

TEST_F(EntityMovement, BlendReachesOneAtTheRunSpeed) {
  living_entity* e = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  e->set_movement_anim();
  ASSERT_FLOAT_EQ(e->walk_speed, 1.5f);
  ASSERT_FLOAT_EQ(e->run_speed, 4.0f);
  struct Case {
    float v, b;
  } cases[] = {{0.0f, 0.0f}, {0.75f, 0.25f}, {1.5f, 0.5f}, {2.75f, 0.75f}, {3.995f, 1.0f}, {9.0f, 1.0f}};
  for (const Case& c : cases) {
    e->set_anim_rate(c.v);
    EXPECT_NEAR(e->move_blend, c.b, 1e-5f) << c.v;
  }
  // Walking at half the blend weighs idle and walk evenly.
  e->move_blend = 0.25f;
  e->set_movement_anim();
  FakeModel* m = kit.model(e);
  EXPECT_NEAR(m->anim_weight(e->anim[SA_STAND]), 0.5f, 1e-5f);
  EXPECT_NEAR(m->anim_weight(e->anim[SA_NORM_WALK]), 0.5f, 1e-5f);
  EXPECT_NEAR(m->motion_speed(), 0.75f, 1e-5f);
}

TEST_F(EntityMovement, TurningAsksTheAiOnlyWhenNotFacing) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->face_point(0, 0, 5, 0);  // straight ahead
  EXPECT_EQ(kit.ai_calls["turn_toward"], 0);
  e->face_point(5, 0, 0, 0);
  EXPECT_EQ(kit.ai_calls["turn_toward"], 1);
}

TEST_F(EntityMovement, ObstaclesStopAndSlide) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  kit.add_obstacle(0.3f, 3.0f, 1.0f);
  e->set_move_mode(4.0f);
  kit.run(3.0f);
  for (const FakeObstacle& o : kit.obstacles) {
    const float d = std::hypot(e->pos.x - o.x, e->pos.z - o.z);
    EXPECT_GE(d, o.r - 1e-3f) << "walked into the obstacle";
  }
  EXPECT_GT(e->pos.z, 3.0f) << "slid past it";
}

TEST_F(EntityMovement, ALongCreaturesHeadStopsAtObstaclesFirst) {
  const int t = kit.type("Rat");
  Character_infos[t].flags |= CIF_ELONGATED;
  living_entity* e = kit.spawn(t, {0, 0, 0});
  Character_infos[t].head_bone = kit.model(e)->find_bone("BDBN-Snout");
  ASSERT_GE(Character_infos[t].head_bone, 0);
  kit.add_obstacle(0.3f, 4.0f, 1.0f);
  e->set_move_mode(1.5f);
  for (int i = 0; i < 90; i++) {
    kit.frame();
    const FakeObstacle& o = kit.obstacles[0];
    const float hd = std::hypot(e->pos.x - o.x, e->pos.z + 1.2f - o.z);
    ASSERT_GE(hd, o.r - 0.05f) << "the head went into the obstacle at frame " << i;
  }
  EXPECT_GT(e->pos.z, 1.5f) << "it moved";
}

TEST_F(EntityMovement, ActionPointsComeBackEverySevenAndAHalfSeconds) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  const int max = hero->get_max_points(1);
  hero->ap = 0;
  kit.run(7.4f);
  EXPECT_EQ(hero->ap, 0);
  kit.run(0.2f);
  const int step = max / 10 < 1 ? 1 : max / 10;
  EXPECT_EQ(hero->ap, step);
  kit.run(7.5f);
  EXPECT_EQ(hero->ap, 2 * step);
  // A creature has no regeneration.
  living_entity* rat = kit.spawn(kit.type("Rat"), {5, 0, 0});
  rat->ap = 0;
  kit.run(8.0f);
  EXPECT_EQ(rat->ap, 0);
}

TEST_F(EntityMovement, FootstepsPlayTheSurfaceSound) {
  const int t = kit.type("Rivud");
  Character_info& ci = Character_infos[t];
  ci.footstep_set_count = 1;
  for (int foot = 0; foot < 2; foot++) {
    for (int s = 0; s < NUM_FOOTSTEP_SURFACES; s++) ci.footsteps[foot][0][s].index = 10 * (foot + 1) + s;
  }
  ci.footsteps[0][0][3].index = -1;  // no sound on this surface
  living_entity* hero = kit.spawn(t, {0, 0, 0}, OBJ_PLAYER);
  kit.set_surface(0, 2);
  hero->set_move_mode(1.5f);
  kit.run(2.0f);
  int left = 0, right = 0;
  for (const FakeSound& s : kit.sounds) {
    left += s.sound == 12;
    right += s.sound == 22;
    EXPECT_TRUE(s.sound == 12 || s.sound == 22) << s.sound;
    EXPECT_GE(s.rate, 0.9f);
    EXPECT_LE(s.rate, 1.0f);
  }
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);
  // A left step on the silent surface plays nothing.
  kit.sounds.clear();
  kit.set_surface(0, 3);
  kit.run(2.0f);
  for (const FakeSound& s : kit.sounds) EXPECT_EQ(s.sound, 23);
  EXPECT_FALSE(kit.sounds.empty());
}

TEST_F(EntityMovement, ParalysisFreezesTheAnimationAndMovement) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_PARALYZE, 2000, -1, 0.0f, -1, false);
  const float processed = kit.model(e)->processed;
  kit.run(1.0f);
  EXPECT_FLOAT_EQ(kit.model(e)->processed, processed);
  EXPECT_TRUE(e->state & ES_HELD);
  EXPECT_EQ(kit.model(e)->tint[0], 255);
  kit.run(1.1f);
  EXPECT_FALSE(e->has_status_effect(STATUS_PARALYZE));
  EXPECT_FALSE(e->state & ES_HELD);
}

TEST_F(EntityMovement, MarkedCorpsesRetireWhenTheirDeathMoveEndsOthersLie) {
  for (const bool marked : {true, false}) {
    living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
    const Move_info* death = rat->find_move(MOVE_DEATH, 1);
    ASSERT_NE(death, nullptr);
    rat->death_move = death;
    rat->play_move(death, 1.0f, false, true, 0);
    entity_list_unlink(rat);
    entity_list_append(entity_dead_list(), rat);
    rat->type = OBJ_DEAD_CREATURE;
    rat->state |= ES_DEAD | ES_DOWN | (marked ? ES_DEATH_KIND : 0);
    const int h = rat->handle;
    kit.run(0.5f);
    EXPECT_FALSE(rat->flags & OF_DELETE);
    kit.run(0.6f);
    EXPECT_EQ((rat->flags & OF_DELETE) != 0, marked);
    kit.frame();
    EXPECT_EQ(entity_from_handle(h) == nullptr, marked);
    EXPECT_EQ(entity_count(entity_dead_list()), marked ? 0 : 1);
    if (!marked) EXPECT_TRUE(rat->flags & OF_ACTIVE) << "a plain corpse stays in the world";
    living_entities_reset();
  }
}

}  // namespace

namespace {

using EntitySpells = WorldTest;

TEST_F(EntitySpells, AiCastersWantASpellWhileTheyHaveActionPoints) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* hero = kit.spawn(kit.type("Rivud"), {3, 0, 0}, OBJ_PLAYER);
  for (living_entity* e : {rat, hero}) {
    e->max_ap_base = 100;
    e->ai.state = AI_STATE_CAST_SPELL;
  }
  // Ratio above 5 % for creatures, above 25 % for player characters.
  struct Case {
    living_entity* e;
    int ap;
    bool wants;
  } cases[] = {{rat, 5, false}, {rat, 6, true}, {hero, 25, false}, {hero, 26, true}};
  for (const Case& c : cases) {
    c.e->ap = static_cast<int16_t>(c.ap);
    float range = 0.0f;
    EXPECT_EQ(c.e->wants_spell(&range), c.wants) << c.e->get_name() << " " << c.ap;
    if (c.wants) {
      EXPECT_FLOAT_EQ(range, 8.0f);
    }
  }
  rat->ap = 50;
  rat->ai.state = AI_STATE_IDLE;
  EXPECT_FALSE(rat->wants_spell(nullptr));
  rat->ai.state = AI_STATE_PATROL;
  EXPECT_TRUE(rat->wants_spell(nullptr));
  rat->apply_status_effect(STATUS_SILENCE, 5000, -1, 0.0f, -1, false);
  EXPECT_FALSE(rat->wants_spell(nullptr));
  hero->ap = 50;
  hero->ai.flags |= AIF_PLAYER_CAST_BLOCK;
  EXPECT_FALSE(hero->wants_spell(nullptr));
  // No action points at all: never, and no division by zero.
  hero->ai.flags = 0;
  hero->max_ap_base = 0;
  hero->ap = 0;
  EXPECT_FALSE(hero->wants_spell(nullptr));
}

TEST_F(EntitySpells, CastingNeedsTheMoveTheSkillAndThePoints) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int fireball = spell_find_by_name("Fireball");
  ASSERT_GE(fireball, 0);
  const Spell_info& s = Spells[fireball];
  const int skill = Spell_class_skill[s.spell_class];
  rat->stats[skill] = 100;
  rat->ap = static_cast<int16_t>(s.cost + 5);
  EXPECT_TRUE(rat->can_cast_spell(fireball));
  rat->ap = static_cast<int16_t>(s.cost - 1);
  EXPECT_FALSE(rat->can_cast_spell(fireball)) << "too few action points";
  rat->ap = static_cast<int16_t>(s.cost + 5);
  ASSERT_GT(s.skill, 0.0f);
  rat->stats[skill] = 0;
  EXPECT_FALSE(rat->can_cast_spell(fireball)) << "too little skill";
  rat->stats[skill] = 100;
  // The rat has a cast move for fireball only.
  const int heal = spell_find_by_name("Heal");
  ASSERT_GE(heal, 0);
  ASSERT_NE(Spells[heal].variation, s.variation);
  EXPECT_FALSE(rat->can_cast_spell(heal)) << "no cast move";

  const int before = rat->ap;
  const int id = rat->cast_spell(fireball, 0);
  EXPECT_GE(id, 0);
  EXPECT_EQ(rat->current_move->list, MOVE_CAST);
  EXPECT_EQ(rat->ap, before - static_cast<int>(s.cost));
  Use_spell_ap = false;
  rat->cast_spell(fireball, 0);
  EXPECT_EQ(rat->ap, before - static_cast<int>(s.cost));
  Use_spell_ap = true;
  rat->apply_status_effect(STATUS_SILENCE, 5000, -1, 0.0f, -1, false);
  EXPECT_FALSE(rat->can_cast_spell(fireball));
}

}  // namespace

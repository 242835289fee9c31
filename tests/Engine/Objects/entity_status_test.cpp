// Status effects of living entities on the world kit: stacking, holds,
// ticks, cures, immunities and the effects that equipment grants.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "tests/support/world_kit.h"

namespace {

using StatusEffects = WorldTest;

TEST_F(StatusEffects, TheLongerRemainingTimeWins) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_SLEEP, 3000, -1, 0.0f, -1, false);
  EXPECT_EQ(e->get_status_effect_time(STATUS_SLEEP), 3000);
  e->apply_status_effect(STATUS_SLEEP, 2000, -1, 0.0f, -1, false);
  EXPECT_EQ(e->get_status_effect_time(STATUS_SLEEP), 3000);
  e->apply_status_effect(STATUS_SLEEP, 5000, -1, 0.0f, -1, false);
  EXPECT_EQ(e->get_status_effect_time(STATUS_SLEEP), 5000);
  // A strength replaces the old one only with a larger magnitude.
  e->apply_status_effect(STATUS_BLESS, 1000, -1, 0.2f, -1, false);
  e->apply_status_effect(STATUS_BLESS, 1000, -1, -0.3f, -1, false);
  EXPECT_FLOAT_EQ(e->get_status_effect_strength(STATUS_BLESS), -0.3f);
  e->apply_status_effect(STATUS_BLESS, 1000, -1, 0.1f, -1, false);
  EXPECT_FLOAT_EQ(e->get_status_effect_strength(STATUS_BLESS), -0.3f);
}

TEST_F(StatusEffects, SleepHoldsUntilDamageBreaksIt) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_SLEEP, 10000, -1, 0.0f, -1, false);
  EXPECT_TRUE(e->state & ES_HELD);
  EXPECT_EQ(e->ai.state, AI_STATE_INACTIVE);
  EXPECT_STREQ(e->float_text, "+Sleep");
  const float before = kit.model(e)->processed;
  kit.run(1.0f);
  EXPECT_FLOAT_EQ(kit.model(e)->processed, before) << "a sleeper's animation is frozen";
  EXPECT_TRUE(e->has_status_effect(STATUS_SLEEP));

  e->change_hp(-1.0f, -1);
  EXPECT_FALSE(e->has_status_effect(STATUS_SLEEP));
  EXPECT_FALSE(e->state & ES_HELD);
  EXPECT_EQ(e->ai.state, AI_STATE_IDLE);
  EXPECT_STREQ(e->float_text, "-Sleep");
  kit.run(0.5f);
  EXPECT_GT(kit.model(e)->processed, before);
}

TEST_F(StatusEffects, PoisonTicksByItsPeriodAndEndsOnTime) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const float hp0 = e->hp;
  e->apply_status_effect(STATUS_POISON, 25000, -1, -4.0f, -1, false);
  // The poison period is 10 s.
  kit.run(9.9f);
  EXPECT_FLOAT_EQ(e->hp, hp0);
  kit.run(0.2f);
  EXPECT_FLOAT_EQ(e->hp, hp0 - 4.0f);
  kit.run(10.0f);
  EXPECT_FLOAT_EQ(e->hp, hp0 - 8.0f);
  EXPECT_TRUE(e->has_status_effect(STATUS_POISON));
  kit.run(5.1f);
  EXPECT_FALSE(e->has_status_effect(STATUS_POISON));
  EXPECT_STREQ(e->float_text, "-Poison");
  EXPECT_FLOAT_EQ(e->hp, hp0 - 8.0f);
  EXPECT_EQ(kit.model(e)->tint[0], 255);
}

TEST_F(StatusEffects, TintsShowWhileActive) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_CURSE, 2000, -1, 0.1f, -1, false);
  kit.frame();
  EXPECT_EQ(kit.model(e)->tint[2], 255);
  EXPECT_EQ(kit.model(e)->tint[0], 0);
  kit.run(2.1f);
  EXPECT_FALSE(e->has_status_effect(STATUS_CURSE));
  EXPECT_EQ(kit.model(e)->tint[0], 255);
}

TEST_F(StatusEffects, NotCurableResistsAnUnforcedCure) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_PARALYZE, 5000, -1, 0.0f, -1, true);
  e->cure_status_effect(STATUS_PARALYZE, false, false);
  EXPECT_TRUE(e->has_status_effect(STATUS_PARALYZE));
  EXPECT_STREQ(e->float_text, "Cant cure!");
  EXPECT_FALSE(e->has_curable_status_effect(STATUS_PARALYZE));
  e->cure_all_status_effects();
  EXPECT_FALSE(e->has_status_effect(STATUS_PARALYZE));
  EXPECT_FALSE(e->state & ES_HELD);
}

TEST_F(StatusEffects, SpellParalysisMarksOnlyWhenItLengthens) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->apply_status_effect(STATUS_PARALYZE, 5000, 73, 0.0f, -1, false);
  EXPECT_TRUE(e->state & ES_SPELL_PARALYSED);
  e->apply_status_effect(STATUS_PARALYZE, 2000, 12, 0.0f, -1, false);
  EXPECT_FALSE(e->state & ES_SPELL_PARALYSED);
  e->apply_status_effect(STATUS_PARALYZE, 1000, 73, 0.0f, -1, false);
  EXPECT_FALSE(e->state & ES_SPELL_PARALYSED) << "shorter than the time left";
}

TEST_F(StatusEffects, ImmunitiesAndLevelsWithoutStatuses) {
  living_entity* boss = kit.spawn(kit.type("Golem"), {0, 0, 0}, OBJ_BOSS);
  for (int id : {STATUS_SILENCE, STATUS_CURSE, STATUS_SLEEP, STATUS_PARALYZE, STATUS_POISON, STATUS_SLOW, STATUS_TURNED}) {
    boss->apply_status_effect(id, 5000, -1, 1.0f, -1, false);
    EXPECT_FALSE(boss->has_status_effect(id)) << id;
  }
  boss->apply_status_effect(STATUS_BLIND, 5000, -1, 1.0f, -1, false);
  EXPECT_TRUE(boss->has_status_effect(STATUS_BLIND));

  living_entity* rat = kit.spawn(kit.type("Rat"), {3, 0, 0});
  rat->character->flags |= CIF_NOBLIND;
  rat->apply_status_effect(STATUS_BLIND, 5000, -1, 1.0f, -1, false);
  EXPECT_FALSE(rat->has_status_effect(STATUS_BLIND));
  rat->character->flags &= ~CIF_NOBLIND;
  rat->link_flags = 1;  // a rider
  rat->apply_status_effect(STATUS_SLOW, 5000, -1, 1.0f, -1, false);
  EXPECT_FALSE(rat->has_status_effect(STATUS_SLOW));
  rat->link_flags = 0;

  for (int level : {4, -1}) {
    kit.level_index = level;
    rat->apply_status_effect(STATUS_POISON, 5000, -1, -1.0f, -1, false);
    EXPECT_FALSE(rat->has_status_effect(STATUS_POISON)) << level;
  }
}

TEST_F(StatusEffects, SlowChangesTheSpeedScale) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->speed_scale_slow = 0.4f;
  e->apply_status_effect(STATUS_SLOW, 5000, -1, 0.0f, -1, false);
  EXPECT_FLOAT_EQ(e->speed_scale, 0.4f);
  EXPECT_TRUE(e->state & ES_SPEED_OVERRIDE);
  EXPECT_TRUE(e->is_weak());
  e->cure_status_effect(STATUS_SLOW, false, false);
  EXPECT_FLOAT_EQ(e->speed_scale, e->speed_scale_default);
  EXPECT_FALSE(e->state & ES_SPEED_OVERRIDE);
}

TEST_F(StatusEffects, EquipmentGrantsAtTheWearersLevelAndEndsWhenTakenOff) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_CREATURE, 12);
  const int amulet = item_lookup("Cloudy Amulet#Amulet of Shadows");
  ASSERT_GE(amulet, 0);
  Item_infos[amulet].status_levels[STATUS_BLESS] = 0;  // at the wearer's level
  item_instance* item = item_create(amulet);
  item_instance *out1, *out2;
  entity_equip_item(&out1, &out2, e, EQ_NECK, item);
  ASSERT_EQ(e->equipment[EQ_NECK], item);
  EXPECT_EQ(e->status[STATUS_BLESS].mode, STATUS_EQUIPMENT);
  EXPECT_NEAR(e->get_status_effect_strength(STATUS_BLESS), 12 * 4 * 0.01f, 1e-5f);
  // A timed Bless cannot displace it.
  e->apply_status_effect(STATUS_BLESS, 1000, -1, 0.9f, -1, false);
  EXPECT_EQ(e->status[STATUS_BLESS].mode, STATUS_EQUIPMENT);
  kit.run(2.0f);
  EXPECT_TRUE(e->has_status_effect(STATUS_BLESS));

  item_free(entity_unequip_slot(e, EQ_NECK, true));
  kit.frame();
  EXPECT_FALSE(e->has_status_effect(STATUS_BLESS));
}

}  // namespace

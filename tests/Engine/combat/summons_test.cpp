// Summons on the world kit: a hero's summon takes the level its ring
// experience gives and costs the hero maximum hit points; the console's
// "summon golem" needs a selected hero.
#include "Engine/Objects/summons.h"

#include <gtest/gtest.h>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_driver.h"
#include "quarn/os/timer.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "tests/support/world_kit.h"
#include "tools/writers/table_writers.h"

namespace {

class Summons_test : public WorldTest {};

TEST_F(Summons_test, HerosGolemTakesTheLevelItsRingExperienceGivesAndCostsMaxHitPoints) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  const int golem = charinfo_find_summoned_type(38);
  ASSERT_GE(golem, 0);
  const int kind = Character_infos[golem].kind;
  struct Case {
    int64_t xp;
    int level;
  } cases[] = {{0, 1}, {xp_for_level(4), 4}, {xp_for_level(4) - 1, 3}, {int64_t{2000000000}, 29}};
  for (const Case& c : cases) {
    // The ring a golem grows with is the one its kind names.
    if (kind == 4) level_int_set(4, "stone_ring_xp", static_cast<int>(c.xp));
    else GTEST_SKIP() << "the demo golem is not of the stone kind";
    hero->max_hp_base = 100.0f;
    hero->hp = static_cast<float>(hero->get_max_points(0));
    living_entity* g = summon_creature(hero, {3, 0, 0}, 38);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->level, c.level) << "xp " << c.xp;
    EXPECT_EQ(g->get_team(), hero->get_team());
    EXPECT_TRUE(g->state & ES_SUMMONED);
    EXPECT_EQ(summon_current(), g->handle);
    EXPECT_FLOAT_EQ(hero->max_hp_base, 100.0f * (1.0f - Skills[skill_find_summon_by_creature(Character_infos[golem].name)].factor));
  }
}

TEST_F(Summons_test, OtherCastersSummonAtTheirSummoningSkillAndJoinNoParty) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  rat->level = 6;
  const float skill = rat->get_stat(27);
  living_entity* g = summon_creature(rat, {2, 0, 0}, 38);
  ASSERT_NE(g, nullptr);
  const int want = static_cast<int>((skill + 0.5f) * 6 + 0.5f);
  EXPECT_EQ(g->level, want < 1 ? 1 : want);
  EXPECT_EQ(summon_current(), -1);
  EXPECT_EQ(summon_creature(rat, {2, 0, 0}, 15), nullptr) << "a spell that summons nothing";
}

TEST_F(Summons_test, RingShareOfSeventyPercent) {
  level_int_set(4, "light_ring_xp", 1000);
  EXPECT_EQ(summon_ring_xp(185), 700);
  EXPECT_EQ(summon_ring_xp(204), 1000);
  EXPECT_EQ(summon_ring_xp(12345), 0);
}

}  // namespace

namespace {

TEST_F(Summons_test, ASummonEmergesThroughAKindEightEffectOfItsSpell) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  Spells[38].hit_effect = "emerge.vfx";
  Spells[38].emerge_time = 2000;
  kit.fx_length["emerge.vfx"] = 5.0f;
  living_entity* g = summon_creature(hero, {3, 0, 0}, 38);
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(fx_entity_has_kind(g->handle, FX_TIMED_AREA));
  Spells[38].hit_effect = nullptr;
}

TEST_F(Summons_test, ADragonStopsEveryoneOutsideThePartyAndCostsTheCastersHitPoints) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {5, 0, 0});
  // Spell 50's skill summons the jade dragon and is a dragon summon.
  kit.add_type(table_demo_creature("Jade Dragon", true));
  int skill = -1;
  for (int i = 0; i < NUM_SKILLS && skill < 0; i++)
    if ((Skills[i].flags & SKILL_SUMMON) && Skills[i].spell == 50) skill = i;
  ASSERT_GE(skill, 0);
  ASSERT_TRUE(Skills[skill].flags & SKILL_DRAGON_SUMMON);
  hero->max_hp_base = 100.0f;
  hero->hp = static_cast<float>(hero->get_max_points(0));
  living_entity* d = summon_creature(hero, {3, 0, 0}, 50);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->state & 0x1820u, 0x1820u);
  EXPECT_TRUE(rat->state & ES_STANDS_STILL);
  EXPECT_FALSE(hero->state & ES_STANDS_STILL);
  EXPECT_FLOAT_EQ(hero->max_hp_base, 100.0f) << "a dragon costs no maximum";
  EXPECT_LE(hero->hp, (1.0f - Skills[skill].factor) * 100.0f + 0.001f);
}

}  // namespace

namespace {

// With the effect pool full the summon rises on the AI's own: flag 2 and an
// emerge timer of the spell's emerge time, after which the flag goes.
TEST_F(Summons_test, WithoutRoomForItsEffectASummonEmergesOnItsTimer) {
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  Spells[38].hit_effect = "emerge.vfx";
  Spells[38].emerge_time = 2000;
  while (fx_add_effect("filler.vfx", {0, 0, 0}, identity_matrix, true) >= 0) {
  }
  living_entity* g = summon_creature(hero, {3, 0, 0}, 38);
  Spells[38].hit_effect = nullptr;
  ASSERT_NE(g, nullptr);
  EXPECT_FALSE(fx_entity_has_kind(g->handle, FX_TIMED_AREA));
  EXPECT_TRUE(g->ai.flags & AIF_UNINTERRUPTIBLE);
  EXPECT_EQ(g->ai.emerge_timer, timer_game_clock + 2000);
  kit.advance(1.0f);
  ai_process_entity(g, 1.0f);
  EXPECT_TRUE(g->ai.flags & AIF_UNINTERRUPTIBLE) << "still emerging after one second";
  kit.advance(1.5f);
  ai_process_entity(g, 1.5f);
  EXPECT_FALSE(g->ai.flags & AIF_UNINTERRUPTIBLE);
  EXPECT_EQ(g->ai.emerge_timer, -1);
}

}  // namespace

// The rules of skill use: the lock-picking threshold with its 0.05 grace,
// appraising by an item's value, the spells the spells screen may cast, the
// passive skills, and the roll-out's tabs for a creature's skill levels.
#include "Orrimund/screens/skill_use.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Orrimund/screens/skills_screen.h"
#include "tests/support/world_kit.h"

TEST(SkillUse, ALockYieldsUpToFiveHundredthsAboveTheSkill) {
  struct Case {
    float level, difficulty;
    bool picked;
  } cases[] = {
      {0.35f, 0.40f, true},   // exactly the grace
      {0.30f, 0.40f, false},
      {0.40f, 0.40f, true},
      {0.10f, 0.15f, true},   // the demo's Rivud on the e2e's bag
      {0.10f, 0.16f, false},
      {0.00f, 0.00f, true},   // no lock at all
      {0.00f, 0.05f, true},
      {0.00f, 0.06f, false},
      {1.00f, 0.90f, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lock_pick_succeeds(c.level, c.difficulty), c.picked) << c.level << " against " << c.difficulty;
}

// sqrt(value) x 0.0014084507 below the level: an item worth 5041 (71
// squared) needs more than 0.1 (71 x 0.0014084507 = 0.1000).
TEST(SkillUse, AppraisingComparesTheRootOfTheValue) {
  EXPECT_TRUE(appraise_identifies(4900.0f, 0.1f));    // 70: 0.0986
  EXPECT_FALSE(appraise_identifies(5184.0f, 0.1f));   // 72: 0.1014
  EXPECT_TRUE(appraise_identifies(0.0f, 0.05f));
  EXPECT_FALSE(appraise_identifies(0.0f, 0.0f));      // below, not equal
  EXPECT_FALSE(appraise_identifies(1000000.0f, 1.0f));  // 1000: 1.408
  EXPECT_TRUE(appraise_identifies(250000.0f, 1.0f));    // 500: 0.704
}

TEST(SkillUse, OnlyTenSpellsAreCastFromTheScreen) {
  const int allowed[] = {0, 1, 2, 3, 7, 8, 11, 15, 25, 26};
  int n = 0;
  for (int s = -1; s < 110; s++) n += spell_castable_from_screen(s);
  EXPECT_EQ(n, 10);
  for (int s : allowed) EXPECT_TRUE(spell_castable_from_screen(s)) << s;
}

TEST(SkillUse, PassiveSkillsAreNeverUsedFromTheScreen) {
  for (int s : {0, 1, 2, 3, 9, 12, 24, 28, 35, 56, 83}) EXPECT_TRUE(skill_is_passive(s)) << s;
  for (int s : {SKILL_ASSESS, SKILL_APPRAISE, SKILL_PICK_LOCK, SKILL_SNEAK, SKILL_HIDE, 36, 51, SKILL_BANISH})
    EXPECT_FALSE(skill_is_passive(s)) << s;
  EXPECT_TRUE(skill_is_passive(-1));
  EXPECT_TRUE(skill_is_passive(200));
}

// The roll-out's tabs from a creature's skill levels (stats hold hundredths).
namespace {
using SkillsScreenTest = WorldTest;
}  // namespace

TEST_F(SkillsScreenTest, TabsListTheSkillsAboveZeroAndEmptyTabsAreSkipped) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  for (auto& s : e->stats) s = 0;
  int out[16];
  for (int c = 0; c < 6; c++) EXPECT_EQ(skills_category_entries(false, c, e, out, 16), 0) << c;
  EXPECT_EQ(skills_open_category(false, 1, e), -1);  // nothing anywhere: no tab
  e->stats[SKILL_HIDE] = 10;
  e->stats[SKILL_PICK_LOCK] = 10;
  e->stats[SKILL_ASSESS] = 5;
  ASSERT_EQ(skills_category_entries(false, 1, e, out, 16), 2);  // stealth, in table order
  EXPECT_EQ(out[0], SKILL_PICK_LOCK);
  EXPECT_EQ(out[1], SKILL_HIDE);
  EXPECT_EQ(skills_open_category(false, -1, e), 1);  // the first tab with entries
  EXPECT_EQ(skills_open_category(false, 3, e), 3);   // a kept tab that still has some
  e->stats[SKILL_ASSESS] = 0;
  EXPECT_EQ(skills_open_category(false, 3, e), 1);
  EXPECT_EQ(skills_category_entries(false, 7, e, out, 16), 0);
}

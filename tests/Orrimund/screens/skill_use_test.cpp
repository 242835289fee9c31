// The rules of skill use that need no world: the lock-picking threshold with
// its 0.05 grace, appraising by an item's value, the spells the spells
// screen may cast and the schools of the spell classes.
#include "Orrimund/screens/skill_use.h"

#include <gtest/gtest.h>

#include <cmath>

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

// Skill points on the status screen: raising against the level cap and the
// unspent points, lowering, accepting and declining.
#include "Orrimund/screens/status_skills.h"

#include <gtest/gtest.h>

namespace {

// Three skills of the type: 4 (stored 20, level 1), 20 identify and 21 lock
// picking (level 1), 9 needing level 5; one chain skill.
const StatusSkillSource Skills[] = {
    {4, 1, 20, 2.04f}, {SKILL_IDENTIFY, 1, 10, 1.0f}, {SKILL_LOCK_PICKING, 1, 0, 0.0f}, {9, 5, 0, 0.0f},
    {11, 1, 0, -1.0f}};
const int Chain[] = {30};

TEST(StatusSkills, RowsFollowLevelAndGameKind) {
  StatusSkills s;
  status_skills_build(s, Skills, 5, 3, Chain, 1, false);
  ASSERT_EQ(s.count, 4);
  EXPECT_EQ(s.rows[0].skill, 4);
  EXPECT_EQ(s.rows[0].base, 2);
  EXPECT_EQ(s.rows[0].shown, 20);
  EXPECT_EQ(s.rows[3].kind, STATUS_ROW_CHAIN);
  EXPECT_EQ(s.rows[3].skill, 30);
  status_skills_build(s, Skills, 5, 5, Chain, 1, true);
  ASSERT_EQ(s.count, 3) << "identify and lock picking hidden, level 5 skill shown";
  EXPECT_EQ(s.rows[0].skill, 4);
  EXPECT_EQ(s.rows[1].skill, 9);
}

TEST(StatusSkills, RaisingStopsAtTheLevelCapAndAtNoPoints) {
  StatusSkills s;
  status_skills_build(s, Skills, 5, 3, Chain, 1, false);
  int unspent = 10;
  // Level factor 4.04: cap round(40.4) = 40, so base 2 rises to 4 and stops.
  EXPECT_TRUE(status_skill_raise(s, 0, &unspent, 4.04f));
  EXPECT_TRUE(status_skill_raise(s, 0, &unspent, 4.04f));
  EXPECT_FALSE(status_skill_raise(s, 0, &unspent, 4.04f));
  EXPECT_EQ(s.rows[0].pending, 2);
  EXPECT_EQ(unspent, 8);
  EXPECT_FALSE(status_skill_raise(s, 3, &unspent, 9.0f)) << "chain rows are not raised";
  int none = 0;
  StatusSkills fresh;
  status_skills_build(fresh, Skills, 5, 3, Chain, 1, false);
  EXPECT_FALSE(status_skill_raise(fresh, 1, &none, 9.0f));
  EXPECT_FALSE(status_skill_lower(fresh, 1, &none));
  EXPECT_FALSE(fresh.changes);
}

TEST(StatusSkills, AcceptRaisesStoredBytesAndDeclineRestoresPoints) {
  StatusSkills s;
  status_skills_build(s, Skills, 5, 3, Chain, 1, false);
  int unspent = 3;
  ASSERT_TRUE(status_skill_raise(s, 0, &unspent, 9.0f));
  ASSERT_TRUE(status_skill_raise(s, 1, &unspent, 9.0f));
  ASSERT_TRUE(status_skill_raise(s, 1, &unspent, 9.0f));
  ASSERT_TRUE(status_skill_lower(s, 1, &unspent));
  EXPECT_EQ(unspent, 1);
  EXPECT_TRUE(s.changes);
  StatusSkills declined = s;
  int declined_unspent = unspent;
  status_skills_return(declined, &declined_unspent);
  EXPECT_EQ(declined_unspent, 3);
  EXPECT_FALSE(declined.changes);
  uint8_t stored[32] = {};
  stored[4] = 20;
  stored[SKILL_IDENTIFY] = 250;
  status_skills_apply(s, stored, 32);
  EXPECT_EQ(stored[4], 30);
  EXPECT_EQ(stored[SKILL_IDENTIFY], 255) << "a byte, clamped";
  EXPECT_EQ(unspent, 1);
  EXPECT_EQ(s.rows[0].pending, 0);
  EXPECT_FALSE(s.changes);
}

}  // namespace

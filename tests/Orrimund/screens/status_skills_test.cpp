// Skill points on the status screen: raising against the level cap and the
// unspent points, lowering, accepting and declining.
#include "Orrimund/screens/status_skills.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/game_tables.h"
#include "tools/writers/table_writers.h"

namespace {

// Three skills of the type: 4 (stored 20, level 1), 20 identify and 21 lock
// picking (level 1), 9 needing level 5; one chain skill.
const StatusSkillSource Type_skills[] = {
    {4, 1, 20, 2.04f}, {SKILL_IDENTIFY, 1, 10, 1.0f}, {SKILL_LOCK_PICKING, 1, 0, 0.0f}, {9, 5, 0, 0.0f},
    {11, 1, 0, -1.0f}};
const int Chain[] = {30};

TEST(StatusSkills, RowsFollowLevelAndGameKind) {
  StatusSkills s;
  status_skills_build(s, Type_skills, 5, 3, Chain, 1, false);
  ASSERT_EQ(s.count, 4);
  EXPECT_EQ(s.rows[0].skill, 4);
  EXPECT_EQ(s.rows[0].base, 2);
  EXPECT_EQ(s.rows[0].shown, 20);
  EXPECT_EQ(s.rows[3].kind, STATUS_ROW_CHAIN);
  EXPECT_EQ(s.rows[3].skill, 30);
  status_skills_build(s, Type_skills, 5, 5, Chain, 1, true);
  ASSERT_EQ(s.count, 3) << "identify and lock picking hidden, level 5 skill shown";
  EXPECT_EQ(s.rows[0].skill, 4);
  EXPECT_EQ(s.rows[1].skill, 9);
}

TEST(StatusSkills, RaisingStopsAtTheLevelCapAndAtNoPoints) {
  StatusSkills s;
  status_skills_build(s, Type_skills, 5, 3, Chain, 1, false);
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
  status_skills_build(fresh, Type_skills, 5, 3, Chain, 1, false);
  EXPECT_FALSE(status_skill_raise(fresh, 1, &none, 9.0f));
  EXPECT_FALSE(status_skill_lower(fresh, 1, &none));
  EXPECT_FALSE(fresh.changes);
}

TEST(StatusSkills, AcceptRaisesStoredBytesAndDeclineRestoresPoints) {
  StatusSkills s;
  status_skills_build(s, Type_skills, 5, 3, Chain, 1, false);
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

// The chain-key menu on the four heroes' own tables: a hero's chain rows are
// the skills he has learned; binding one to a key takes it off the key it
// had, and the row then names its new key.
TEST(StatusChainKeys, ARowBoundToAKeyLeavesItsOldKey) {
  CriticalErrorTrap trap;
  load_demo_spells_and_items();
  charinfo_reset();
  for (int h = 0; h < 4; h++) load_character(table_character_text(table_demo_hero(h)), false);
  saved_names_clear();
  ChainMember zazuru;
  zazuru.type = &Character_infos[charinfo_find_by_kind(HERO_ZAZURU)];
  zazuru.has_entity = true;
  zazuru.entity_name = "Zazuru";
  zazuru.ap = 50;
  // A new hero knows the first skill of each of his four groups, each on the
  // key of its slot (Caps Lock 0, Shift 1, Ctrl 2, Alt 3).
  int chains[8] = {};
  ASSERT_EQ(status_chain_skills(zazuru, chains, 8), 4);
  const char* keys[4] = {"CAPS", "SHFT", "CTRL", "ALT"};
  for (int slot = 0; slot < 4; slot++) {
    const int skill = Hero_starting_chain[1][slot];
    EXPECT_NE(std::find(chains, chains + 4, skill), chains + 4) << skill;
    EXPECT_STREQ(status_chain_key_of(zazuru, skill), keys[slot]);
  }
  StatusSkills s;
  status_skills_build(s, Type_skills, 5, 3, chains, 4, false);
  const int first_chain = 3;
  ASSERT_EQ(s.rows[first_chain].kind, STATUS_ROW_CHAIN);
  const int moved = s.rows[first_chain].skill;
  const char* old_key = status_chain_key_of(zazuru, moved);
  // The menu's third entry is CTRL.
  ASSERT_TRUE(status_chain_bind(s, first_chain, 2, zazuru));
  EXPECT_STREQ(status_chain_key_of(zazuru, moved), "CTRL");
  EXPECT_EQ(chain_config_get(HERO_ZAZURU, 2), moved);
  if (std::strcmp(old_key, "CTRL") != 0) {
    const int old_slot = static_cast<int>(std::find(keys, keys + 4, std::string(old_key)) - keys);
    EXPECT_EQ(chain_config_get(HERO_ZAZURU, old_slot), SKILL_NONE) << "the old key is free";
  }
  // A raisable row and an entry past the four keys bind nothing.
  EXPECT_FALSE(status_chain_bind(s, 0, 1, zazuru));
  EXPECT_FALSE(status_chain_bind(s, first_chain, 4, zazuru));
  EXPECT_STREQ(status_chain_key_of(zazuru, moved), "CTRL");
}

TEST(StatusBehaviours, TheSixClassesByNameAndTheUnsetOneAsTheNearestEnemy) {
  const char* names[] = {"Nearest enemy", "Assist", "Concentrate", "Support", "Concentrate & cast", "Support & cast"};
  for (int b = 0; b < 6; b++) EXPECT_STREQ(status_behaviour_name(b), names[b]);
  EXPECT_STREQ(status_behaviour_name(-1), "Nearest enemy");
  EXPECT_STREQ(status_behaviour_name(6), "Nearest enemy");
}

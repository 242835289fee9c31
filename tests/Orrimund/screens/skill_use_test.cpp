// The rules of skill use: the lock-picking threshold with its 0.05 grace,
// appraising by an item's value, the spells the spells screen may cast, the
// passive skills, the roll-out's tabs for a creature's skill levels, the
// attack styles a member readies for its next blow, banishing the party's
// summon, and appraising an item the inventory hands over.
#include "Orrimund/screens/skill_use.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_death.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/summons.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/table_words.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/player/party.h"
#include "Orrimund/player/party_summon.h"
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

// ---- attack styles and banishing, on the party ---------------------------------------------

namespace {

const matrix Facing_plus_z(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
const matrix Facing_minus_z(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1));

// Ruvizo leads the party (he holds push and summon from level 1) with a rat
// in front of him; both stand in a melee exchange when a test says so.
class PartySkills : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    Max_skills = false;
    Super_power = false;
    Assisted_chains = false;
    party_init();
    for (int i = 0; i < 4; i++) kit.set_party_start(i, vector{static_cast<float>(i) * 2, 0, -6}, 0.0f);
    hero = hero_create("Ruvizo", 1, true, false, -1);
    ASSERT_NE(hero, nullptr);
    ASSERT_EQ(Selected_entity, hero);
    kit.selected = hero;
    rat = kit.spawn(kit.type("Rat"), {0, 0, 1.0f});
    hero->orient = hero->last_orient = Facing_plus_z;
    rat->orient = rat->last_orient = Facing_minus_z;
    SummonHooks sm;
    sm.join_party = party_summon_join;
    sm.lend_hit_points = party_summon_lend;
    summons_set_hooks(sm);
    DeathHooks d = death_hooks();
    party_summon_death_hooks(&d);
    death_set_hooks(d);
  }
  void TearDown() override {
    party_free_all();
    summons_set_hooks(SummonHooks{});
    GameFlags = 0;
  }
  void melee() {
    for (living_entity* e : {hero, rat}) {
      e->ai.state = AI_STATE_COMBAT;
      e->ai.sub_state = AI_SUB_EXCHANGE_A;
    }
    hero->combat.target = rat->handle;
    rat->combat.target = hero->handle;
    hero->combat.target_combat = &rat->combat;
    rat->combat.target_combat = &hero->combat;
  }
  living_entity* summon_golem() {
    living_entity* g = summon_creature(hero, vector{2, 0, -2}, 38);
    EXPECT_NE(g, nullptr);
    return g;
  }

  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};

}  // namespace

// The Part's costs: push 1, kick 2, trip 2, the others nothing; push, kick
// and trip (flag bit 1) wait for a melee exchange (combat 15, 31 or 63).
TEST_F(PartySkills, AttackStylesAreReadiedForTheNextBlowWithTheirCost) {
  struct Case {
    int skill;
    int cost;
    bool exchange_only;
  } cases[] = {{13, 0, false}, {14, 1, true}, {15, 2, true}, {16, 2, true},
               {53, 0, false}, {54, 0, false}, {55, 0, false}};
  for (const Case& c : cases) {
    hero->stats[c.skill] = 10;
    hero->ap = 20.0f;
    hero->combat.skill = CS_NONE;
    hero->ai.state = AI_STATE_IDLE;
    hero->ai.sub_state = 0;
    EXPECT_EQ(skill_use(c.skill, nullptr), !c.exchange_only) << c.skill << " away from a fight";
    if (c.exchange_only) {
      EXPECT_EQ(hero->combat.skill, CS_NONE) << c.skill;
      EXPECT_FLOAT_EQ(hero->ap, 20.0f) << c.skill << " costs nothing when refused";
      for (int sub : {AI_SUB_MISSILE, AI_SUB_BACKSTAB}) {
        hero->ai.state = AI_STATE_COMBAT;
        hero->ai.sub_state = sub;
        EXPECT_FALSE(skill_use(c.skill, nullptr)) << c.skill << " in combat " << sub;
      }
      for (int sub : {AI_SUB_EXCHANGE_A, AI_SUB_EXCHANGE_B, AI_SUB_EXCHANGE_C}) {
        hero->ai.state = AI_STATE_COMBAT;
        hero->ai.sub_state = sub;
        EXPECT_TRUE(skill_usable(c.skill, hero)) << c.skill << " in combat " << sub;
      }
      EXPECT_TRUE(skill_use(c.skill, nullptr)) << c.skill;
    }
    EXPECT_EQ(hero->combat.skill, c.skill);
    EXPECT_FLOAT_EQ(hero->ap, 20.0f - static_cast<float>(c.cost)) << c.skill;
  }
}

TEST_F(PartySkills, AnAttackStyleNeedsItsLevelAndPointsAndNoNetworkForTheCloseOnes) {
  melee();
  hero->stats[15] = 0;  // Ruvizo has no kick
  EXPECT_FALSE(skill_use(15, nullptr));
  hero->stats[15] = 10;
  hero->ap = 1.0f;  // kick costs 2
  EXPECT_FALSE(skill_use(15, nullptr));
  EXPECT_FLOAT_EQ(hero->ap, 1.0f);
  EXPECT_TRUE(skill_use(14, nullptr));  // push costs 1
  EXPECT_FLOAT_EQ(hero->ap, 0.0f);
  hero->ap = 20.0f;
  hero->stats[13] = 10;
  hero->stats[53] = 10;
  // A networked game refuses 13 to 18, but not the aimed attacks.
  GameFlags = GF_NETWORKED;
  hero->combat.skill = CS_NONE;
  for (int s : {13, 14}) EXPECT_FALSE(skill_use(s, nullptr)) << s;
  EXPECT_EQ(hero->combat.skill, CS_NONE);
  EXPECT_TRUE(skill_use(53, nullptr));
  GameFlags = GF_SINGLE_PLAYER;
  hero->ai.state = AI_STATE_CAST_SPELL;
  EXPECT_FALSE(skill_use(53, nullptr));
}

// Ruvizo, the controlled hero, wins his first exchange: the readied push is
// struck with the push move and named in the hit log, and it is spent.
TEST_F(PartySkills, TheReadiedStyleIsStruckInTheNextExchange) {
  melee();
  rat->stats[CS_PARRY] = 0;
  rat->stats[CS_DODGE] = 0;
  ASSERT_TRUE(skill_use(14, nullptr));
  hero->combat.attack(false);
  EXPECT_EQ(hero->combat.phase, CP_ATTACKING);
  EXPECT_EQ(hero->combat.attack_type, 14);
  ASSERT_NE(hero->current_move, nullptr);
  EXPECT_EQ(hero->current_move->list, MOVE_SPECIAL_ATTACK);
  EXPECT_EQ(hero->combat.skill, CS_NONE) << "the style is spent on one blow";
  ASSERT_EQ(hero->combat.hits, 1) << "a push at 0.1 against no parry or dodge lands";
  kit.output.clear();
  hero->combat.process_hit(false);
  bool named = false;
  for (const std::string& line : kit.output)
    named |= line.find("Ruvizo hits Rat") == 0 && line.find(" left with push") != std::string::npos;
  EXPECT_TRUE(named) << (kit.output.empty() ? "no output" : kit.output.back());

  // An aimed attack at the eyes is a plain attack move of its own type.
  hero->combat.phase = CP_IDLE;
  rat->combat.phase = CP_IDLE;
  hero->combat.initiative = 0;
  hero->stats[53] = 10;
  ASSERT_TRUE(skill_use(53, nullptr));
  hero->combat.attack(false);
  EXPECT_EQ(hero->combat.attack_type, 53);
  ASSERT_NE(hero->current_move, nullptr);
  EXPECT_EQ(hero->current_move->list, MOVE_ATTACK);
}

TEST_F(PartySkills, BanishingSendsThePartysSummonBackAndFreesItsPlace) {
  for (const char* name : {"Rivud", "Rivadara", "Zazuru"}) ASSERT_NE(hero_create(name, 1, false, false, -1), nullptr);
  const float base = hero->max_hp_base;
  EXPECT_FALSE(skill_usable(SKILL_BANISH, hero)) << "nothing to banish";
  EXPECT_FALSE(skill_use(SKILL_BANISH, nullptr));
  // Twice over: with four heroes the summon takes the fifth and last record,
  // which banishing must give back for the next summon to join.
  for (int round = 0; round < 2; round++) {
    living_entity* golem = summon_golem();
    ASSERT_NE(golem, nullptr);
    ASSERT_NE(party_find_member(golem->handle), nullptr) << "round " << round;
    // Golem summoning lends a tenth of Ruvizo's maximum.
    EXPECT_FLOAT_EQ(hero->max_hp_base, base * 0.9f);
    EXPECT_TRUE(party_summon_lives());
    int out[4];
    ASSERT_EQ(skills_category_entries(false, 2, hero, out, 4), 1);
    EXPECT_EQ(out[0], SKILL_BANISH);
    // Power holds a summon against banishing.
    golem->apply_status_effect(STATUS_POWER, 10000, -1, 0.2f, -1, false);
    EXPECT_FALSE(skill_usable(SKILL_BANISH, hero));
    golem->cure_status_effect(STATUS_POWER, true, false);
    EXPECT_FALSE(skill_banish(rat)) << "a creature of flesh is no summon";
    EXPECT_GT(rat->hp, 0.0f);

    ASSERT_TRUE(skill_use(SKILL_BANISH, nullptr));
    combat_entity_step(golem);
    EXPECT_TRUE(golem->state & ES_DEAD);
    EXPECT_EQ(party_find_member(golem->handle), nullptr);
    EXPECT_EQ(summon_current(), -1);
    EXPECT_FLOAT_EQ(hero->max_hp_base, base) << "the lent hit points come back";
    EXPECT_FLOAT_EQ(Selected_record->pending_bonus, 0.0f);
    EXPECT_FALSE(party_summon_lives());
    EXPECT_EQ(party_record_count(), 4);
    EXPECT_EQ(Selected_entity, hero);
  }
}

// Appraising an item the inventory hands over: a party member with the
// skill tries, the root of the item's value decides, and the world's
// forbidding states and a missing skill refuse the try altogether.
namespace {
class Appraise : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    Max_skills = false;
    party_init();
    for (int i = 0; i < 4; i++) kit.set_party_start(i, vector{static_cast<float>(i) * 2, 0, 0}, 0.0f);
  }
  void TearDown() override {
    party_free_all();
    GameFlags = 0;
  }
};
}  // namespace

TEST_F(Appraise, TheInventorysItemIsIdentifiedWhenItsRootValueIsBelowTheSkill) {
  living_entity* rivud = hero_create("Rivud", 1, true, true, -1);
  ASSERT_NE(rivud, nullptr);
  rivud->stats[SKILL_APPRAISE] = 50;  // 0.5
  item_instance* katana = item_create_by_name("Worn Katana#Katana of the Pit");
  ASSERT_NE(katana, nullptr);
  const int32_t kept_value = katana->info->value;
  struct Case {
    int value;      // sqrt(value) x 0.0014084507
    uint32_t flags; // game flags in force
    int skill;      // hundredths
    bool tried, identified;
  } cases[] = {
      {90000, GF_SINGLE_PLAYER, 50, true, true},                    // 300: 0.4225
      {160000, GF_SINGLE_PLAYER, 50, true, false},                  // 400: 0.5634
      {126025, GF_SINGLE_PLAYER, 50, true, true},                   // 355: 0.5000 - just below
      {90000, GF_SINGLE_PLAYER | GF_CONVERSATION, 50, false, false},  // the world forbids it
      {90000, GF_SINGLE_PLAYER, 0, false, false},                   // no skill, no try
  };
  for (const Case& c : cases) {
    katana->info->value = c.value;
    katana->info->flags |= IF_NOT_IDENTIFIED;
    GameFlags = c.flags;
    rivud->stats[SKILL_APPRAISE] = c.skill;
    EXPECT_EQ(skill_appraise(katana, rivud), c.tried) << c.value;
    EXPECT_EQ(item_is_identified(katana), c.identified) << c.value;
  }
  GameFlags = GF_SINGLE_PLAYER;
  EXPECT_FALSE(skill_appraise(nullptr, rivud));
  katana->info->value = kept_value;
  katana->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
}

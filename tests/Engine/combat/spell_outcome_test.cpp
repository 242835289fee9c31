// Spell outcomes on the world kit: a table of spells against values the
// test computes from the rules with the same seeded draws, the roll's
// chance, the damage roll's resistances and party scaling, the pickers,
// the wire record and the pool.
#include "Engine/Objects/spell_outcome.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/math/floatops.h"
#include "quarn/os/os.h"
#include "tests/support/world_kit.h"

namespace {

int Party = 0;

class Outcome_test : public WorldTest {
 protected:
  void SetUp() override {
    No_resist = false;
    Party = 0;
    spell_outcome_set_party_count([] { return Party; });
    caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {0, 0, 2});
    rat->set_team(2);
    caster->set_team(0);
  }
  void TearDown() override {
    No_resist = false;
    spell_outcome_set_party_count(nullptr);
  }
  // A spell of the test's own numbers.
  static void shape(int s, int die, float chance, uint32_t flags, int damage_type = -1) {
    Spells[s].die = die;
    Spells[s].hit_chance = chance;
    Spells[s].flags = flags;
    Spells[s].distance = 0.0f;
    Spells[s].damage_type = damage_type;
  }
  // The roll's threshold by the rules.
  static float threshold(float c, float r, int level) { return 1.0f - (1.0f - ((r + 0.5f) - level * 0.04f)) * c; }
  // The damage roll by the rules, from the current draws.
  static float dice(int count, int die) {
    float total = 0;
    for (int i = 0; i < count; i++) total += std::floor(frand() * die + 1.0f);
    return total;
  }
  living_entity* caster = nullptr;
  living_entity* rat = nullptr;
};

TEST_F(Outcome_test, HealRollsItsDiceAndTakesHold) {
  shape(0, 6, 1.0f, SPELL_TARGET_CHARACTER | SPELL_BENEFICIAL);
  caster->level = 4;
  os_random_seed(9);
  const float expected = dice(4, 6);
  os_random_seed(9);
  const SpellOutcome o = spell_compute_outcome(caster, 0, rat->handle, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(o.layout(), OL_HP);
  EXPECT_TRUE(o.took_hold(0));
  EXPECT_EQ(o.category(), 0);
  EXPECT_FLOAT_EQ(o.f(1), expected);
  EXPECT_GT(expected, 0.0f);
  // A heal that needs a character has nothing to do without one.
  EXPECT_EQ(spell_compute_outcome(caster, 0, -1, nullptr, SS_CAST, 0.0f).layout(), OUTCOME_EMPTY);
  EXPECT_EQ(spell_compute_outcome(nullptr, 0, rat->handle, nullptr, SS_CAST, 0.0f).layout(), OUTCOME_EMPTY);
}

TEST_F(Outcome_test, OffensiveStatusSpellTakesHoldByTheRoll) {
  const int spell = 7;  // blindness
  shape(spell, 0, 0.6f, SPELL_TARGET_CHARACTER | SPELL_OFFENSIVE | SPELL_STATUS_CHANGE);
  caster->level = 5;
  const float r = rat->get_resistance(3);
  const float t = threshold(0.6f, r, 5);
  int held = 0;
  for (int seed = 1; seed <= 40; seed++) {
    os_random_seed(seed);
    const bool expected = !(frand() < t);
    os_random_seed(seed);
    const SpellOutcome o = spell_compute_outcome(caster, spell, rat->handle, nullptr, SS_CAST, 0.0f);
    ASSERT_EQ(o.layout(), OL_STATUS);
    ASSERT_EQ(o.category(), 2);
    ASSERT_EQ(o.i(1), spell_status_duration(spell, 5));
    ASSERT_FLOAT_EQ(o.f(2), spell_status_strength(spell_status_slot(spell), 5));
    ASSERT_EQ(o.took_hold(0), expected) << seed;
    held += expected;
  }
  EXPECT_GT(held, 0);
  EXPECT_LT(held, 40);
  No_resist = true;
  for (int seed = 1; seed <= 10; seed++) {
    os_random_seed(seed);
    EXPECT_TRUE(spell_compute_outcome(caster, spell, rat->handle, nullptr, SS_CAST, 0.0f).took_hold(0));
  }
}

TEST_F(Outcome_test, ChanceOfTakingHoldGrowsWithLevel) {
  shape(13, 0, 1.0f, SPELL_OFFENSIVE);
  rat->level = 3;
  for (int level : {10, 13, 20}) {
    float r, t;
    spell_hit_threshold(&r, &t, 13, caster, rat, level, SS_CAST);
    EXPECT_NEAR(1.0f - t, 1.0f * (0.5f - r + 0.04f * level), 1e-5f) << level;
  }
}

TEST_F(Outcome_test, DamageRollResistancesAndPartyScaling) {
  EXPECT_EQ(spell_damage(rat, 25, 3, 0, 0.7f), -3.0f);
  EXPECT_EQ(spell_damage(rat, 25, 0, 6, 0.7f), 0.0f);
  // Four members scale a rolled damage by 1.3 on a player character and by
  // 0.7 on a creature; healing is never scaled.
  Party = 4;
  Spells[25].damage_type = -1;
  os_random_seed(3);
  float total = 0;
  for (int i = 0; i < 5; i++) total += std::floor(frand() * -4 + 1.0f);
  ASSERT_LT(total, 0.0f);
  os_random_seed(3);
  EXPECT_FLOAT_EQ(spell_damage(caster, 25, 5, -4, 0.0f), total * 1.3f);
  os_random_seed(3);
  EXPECT_FLOAT_EQ(spell_damage(rat, 25, 5, -4, 0.0f), total * 0.7f);
  os_random_seed(4);
  const float heal = dice(3, 8);
  os_random_seed(4);
  EXPECT_FLOAT_EQ(spell_damage(rat, 25, 3, 8, 0.9f), heal);
  // Negative dice: the spell's type resistance, then the roll's.
  Party = 0;
  Spells[25].damage_type = 0;
  const float fire = rat->get_resistance(0);
  os_random_seed(5);
  total = 0;  // dice of -6 give floor(u x -6 + 1)
  for (int i = 0; i < 4; i++) total += std::floor(frand() * -6 + 1.0f);
  total *= 1.0f - fire;
  if (total < 0) total *= 1.0f - 0.25f;
  os_random_seed(5);
  EXPECT_FLOAT_EQ(spell_damage(rat, 25, 4, -6, 0.25f), total);
}

TEST_F(Outcome_test, AreaCurseRecordsNearHostilesAndSixEmptyHandlesWhenAlone) {
  shape(23, 0, 1.0f, SPELL_OFFENSIVE);
  caster->level = 30;  // the roll always succeeds
  rat->pos = vector(0, 0, 20);
  SpellOutcome o = spell_compute_outcome(caster, 23, -1, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(o.layout(), OL_MULTI_STATUS);
  EXPECT_EQ(o.category(), 2);
  for (int k = 1; k <= 6; k++) EXPECT_EQ(o.i(k), -1);
  rat->pos = vector(0, 0, 2);
  living_entity* far = kit.spawn(kit.type("Rat"), {6, 0, 0});
  far->set_team(2);
  o = spell_compute_outcome(caster, 23, -1, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(o.i(1), rat->handle);
  EXPECT_EQ(o.i(2), -1);
  EXPECT_TRUE(o.took_hold(0));
  EXPECT_EQ(o.i(7), spell_status_duration(23, 30));
}

TEST_F(Outcome_test, RingOfFireHitsEveryNearHostileWithItsOwnRoll) {
  shape(30, 8, 1.0f, SPELL_OFFENSIVE, 0);
  caster->level = 2;
  living_entity* second = kit.spawn(kit.type("Rat"), {1, 0, 1});
  second->set_team(2);
  os_random_seed(21);
  float expected[2];
  for (living_entity* e : {rat, second}) {
    float total = 0;
    for (int i = 0; i < 2; i++) total += std::floor(frand() * -8 + 1.0f);
    total *= 1.0f - e->get_resistance(0);
    const float r = e->get_resistance(3);
    if (total < 0 && r != 0) total = (1 - r) * total >= 0 ? 0 : (1 - r) * total;
    expected[e == rat ? 0 : 1] = total;
  }
  os_random_seed(21);
  const SpellOutcome o = spell_compute_outcome(caster, 30, -1, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(o.layout(), OL_MULTI_DAMAGE);
  EXPECT_EQ(o.i(1), rat->handle);
  EXPECT_EQ(o.i(2), second->handle);
  EXPECT_EQ(o.i(3), -1);
  EXPECT_TRUE(o.took_hold(0) && o.took_hold(1));
  EXPECT_FLOAT_EQ(o.f(7), expected[0]);
  EXPECT_FLOAT_EQ(o.f(8), expected[1]);
}

TEST_F(Outcome_test, DeathSpellThatFailsFallsBackToFiveStatuses) {
  shape(101, 0, 0.0f, SPELL_OFFENSIVE);  // chance 0: the roll fails
  const SpellOutcome o = spell_compute_outcome(caster, 101, rat->handle, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(o.layout(), OL_FIVE_STATUSES);
  shape(101, 0, 1.0f, SPELL_OFFENSIVE);
  caster->level = 40;
  const SpellOutcome kill = spell_compute_outcome(caster, 101, rat->handle, nullptr, SS_CAST, 0.0f);
  EXPECT_EQ(kill.layout(), OL_HP);
  EXPECT_FLOAT_EQ(kill.f(1), -static_cast<float>(rat->get_max_points(0)));
  No_resist = true;
  EXPECT_EQ(spell_compute_outcome(caster, 101, rat->handle, nullptr, SS_CAST, 0.0f).layout(), OUTCOME_EMPTY);
}

TEST_F(Outcome_test, SkillCastLevelsAndOutOfRangeTargets) {
  caster->level = 10;
  caster->skill_cast_bonus = 2.0f;
  EXPECT_EQ(spell_effect_level(caster, 0, nullptr, SS_SKILL_CAST), static_cast<int>(3 * 1.3f));
  EXPECT_EQ(spell_effect_level(caster, 4, nullptr, SS_SKILL_CAST), static_cast<int>(2 * 1.3f));
  EXPECT_EQ(spell_effect_level(caster, 9, nullptr, SS_SKILL_CAST), static_cast<int>(5 * 1.3f));
  EXPECT_EQ(spell_effect_level(caster, 9, nullptr, SS_FULL), 100);
  EXPECT_EQ(spell_effect_level(caster, 9, nullptr, SS_WEAPON_SPECIAL), -1) << "no item, no special";
  shape(0, 6, 1.0f, 0);
  Spells[0].distance = 1.0f;
  rat->hp = 1.0f;
  EXPECT_EQ(spell_compute_outcome(caster, 0, rat->handle, nullptr, SS_CAST, 0.0f).layout(), OUTCOME_EMPTY);
}

TEST_F(Outcome_test, DrainTakesAShareOfTheTargetsActionPoints) {
  shape(17, 0, 1.0f, SPELL_OFFENSIVE);
  caster->level = 30;
  rat->ap = 20;
  os_random_seed(2);
  frand();  // the take-hold roll
  const float all = frand();
  os_random_seed(2);
  const SpellOutcome o = spell_compute_outcome(caster, 17, rat->handle, nullptr, SS_CAST, 0.0f);
  ASSERT_EQ(o.layout(), OL_AP_DRAIN);
  EXPECT_EQ(o.i(1), all < 0.05f ? 20 : static_cast<int>(20 * 30 * 0.01f + 0.5f));
}

TEST_F(Outcome_test, PickerKeepsFourSlotsFromHeldListsAndLeavesTheLiveListAlone) {
  Spells[28].distance = 30.0f;
  const int before = entity_count(entity_live_list());
  int32_t out[4] = {-7, -7, -7, -7};
  spell_pick_random_targets(out, caster, 28);
  EXPECT_EQ(entity_count(entity_live_list()), before);
  for (int32_t h : out) EXPECT_TRUE(h == caster->handle || h == rat->handle) << h;
  int32_t none[4] = {-7, -7, -7, -7};
  spell_pick_random_targets(none, caster, 15);
  for (int32_t h : none) EXPECT_EQ(h, -7) << "only spells 28, 79 and 100 pick";
}

TEST_F(Outcome_test, WireRecordAndPool) {
  SpellOutcome o;
  o.set_layout(OL_MULTI_STATUS);
  o.set_took_hold(0);
  o.set_took_hold(5);
  o.set_category(2);
  o.set_i(1, 12345);
  o.set_f(8, -2.5f);
  uint8_t bytes[SPELL_OUTCOME_WORDS * 4];
  spell_outcome_write(o, bytes);
  EXPECT_EQ(bytes[0], static_cast<uint8_t>(OL_MULTI_STATUS << 1 | 1 << 7));
  EXPECT_EQ(bytes[1], 0x10) << "target 5 took hold: bit 12";
  EXPECT_EQ(bytes[3], 0x40) << "category 2: bits 29-31";
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 12345);
  const SpellOutcome back = spell_outcome_read(bytes);
  for (int k = 0; k < SPELL_OUTCOME_WORDS; k++) EXPECT_EQ(back.w[k], o.w[k]);
  spell_outcomes_init();
  SpellOutcome* taken[SPELL_OUTCOME_POOL];
  for (auto& t : taken) {
    t = spell_outcome_take();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->layout(), OUTCOME_EMPTY);
  }
  EXPECT_EQ(spell_outcome_take(), nullptr);
  spell_outcome_free(taken[3]);
  SpellOutcome* stored = spell_outcome_store(o);
  ASSERT_EQ(stored, taken[3]);
  EXPECT_TRUE(stored->in_use());
  EXPECT_EQ(stored->layout(), OL_MULTI_STATUS);
  spell_outcomes_init();
}

}  // namespace

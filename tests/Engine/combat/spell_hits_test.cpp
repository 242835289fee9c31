// Outcome records applied on the world kit: points and statuses change as
// the record says, reactions follow the category, mind drain takes action
// points, and the dead take nothing.
#include "Engine/Objects/spell_hits.h"

#include <gtest/gtest.h>

#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "tests/support/world_kit.h"

namespace {

class Spell_hits_test : public WorldTest {
 protected:
  void SetUp() override {
    caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {0, 0, 2});
  }
  SpellHitRecord record(int spell, int layout, bool held, int category) {
    SpellHitRecord r;
    r.spell = spell;
    r.caster = caster->handle;
    r.outcome.set_layout(layout);
    if (held) r.outcome.set_took_hold(0);
    r.outcome.set_category(category);
    return r;
  }
  living_entity* caster = nullptr;
  living_entity* rat = nullptr;
};

TEST_F(Spell_hits_test, DamageOutcomeTakesItsHitPointsAndTheTargetFlinches) {
  SpellHitRecord r = record(15, OL_HP, true, 2);
  r.outcome.set_f(1, -7.0f);
  const float before = rat->hp;
  rat->apply_spell_effect(r);
  EXPECT_FLOAT_EQ(rat->hp, before - 7.0f);
  EXPECT_EQ(rat->combat.phase, CP_REACTING);
}

TEST_F(Spell_hits_test, StatusOutcomeStartsOnlyWhenItTookHold) {
  Spells[7].flags |= SPELL_OFFENSIVE;
  SpellHitRecord r = record(7, OL_STATUS, false, 2);
  r.outcome.set_i(1, 6000);
  r.outcome.set_f(2, 0.5f);
  rat->apply_spell_effect(r);
  EXPECT_FALSE(rat->has_status_effect(spell_status_slot(7)));
  r.outcome.set_took_hold(0);
  rat->apply_spell_effect(r);
  const int slot = spell_status_slot(7);
  ASSERT_TRUE(rat->has_status_effect(slot));
  EXPECT_EQ(rat->get_status_effect_time(slot), 6000);
  EXPECT_EQ(rat->status[slot].origin, 7);
}

TEST_F(Spell_hits_test, MindDrainTakesActionPointsOnTheOutcomePath) {
  rat->max_ap_base = 30;
  rat->ap = 20;
  SpellHitRecord r = record(63, OL_AMOUNT, true, 0);
  r.outcome.set_f(1, 6.0f);
  rat->apply_spell_effect(r);
  EXPECT_EQ(rat->ap, 14);
}

TEST_F(Spell_hits_test, DrainGivesTheCasterAtMostTwenty) {
  rat->max_ap_base = 60;
  rat->ap = 50;
  caster->max_ap_base = 100;
  caster->ap = 0;
  SpellHitRecord r = record(17, OL_AP_DRAIN, true, 2);
  r.outcome.set_i(1, 45);
  rat->apply_spell_effect(r);
  EXPECT_EQ(rat->ap, 5);
  EXPECT_EQ(caster->ap, 20);
}

TEST_F(Spell_hits_test, MultiTargetDamageFindsItsOwnSlot) {
  living_entity* other = kit.spawn(kit.type("Rat"), {1, 0, 2});
  SpellHitRecord r = record(30, OL_MULTI_DAMAGE, false, 2);
  for (int k = 1; k <= 6; k++) r.outcome.set_i(k, -1);
  r.outcome.set_i(1, other->handle);
  r.outcome.set_i(2, rat->handle);
  r.outcome.set_took_hold(1);
  r.outcome.set_f(7, -3.0f);
  r.outcome.set_f(8, -9.0f);
  const float before = rat->hp;
  rat->apply_spell_effect(r);
  EXPECT_FLOAT_EQ(rat->hp, before - 9.0f);
}

TEST_F(Spell_hits_test, LevelDrainOnlyWhenItTookHoldAndTheDeadTakeNothing) {
  rat->level = 4;
  rat->apply_spell_effect(record(13, OL_TOOK_HOLD, false, 0));
  EXPECT_EQ(rat->level, 4);
  rat->apply_spell_effect(record(13, OL_TOOK_HOLD, true, 0));
  EXPECT_EQ(rat->level, 3);
  rat->hp = 0.0f;
  rat->apply_spell_effect(record(13, OL_TOOK_HOLD, true, 0));
  EXPECT_EQ(rat->level, 3);
  SpellHitRecord heal = record(0, OL_HP, true, 0);
  heal.outcome.set_f(1, 10.0f);
  rat->apply_spell_effect(heal);
  EXPECT_EQ(rat->hp, 0.0f);
}

}  // namespace

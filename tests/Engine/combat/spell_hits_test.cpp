// Outcome records applied on the world kit: points and statuses change as
// the record says, reactions follow the category, mind drain takes action
// points, and the dead take nothing.
#include "Engine/Objects/spell_hits.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/ai/boss_tally.h"
#include "Engine/characterinfo/characterinfo.h"
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

// ---- the bosses' part of a local hit ---------------------------------------------------

namespace {

bool Veto = false;
BossTally Tally;

class Spell_hits_boss_test : public Spell_hits_test {
 protected:
  void SetUp() override {
    Spell_hits_test::SetUp();
    Veto = false;
    Tally.clear();
    No_resist = true;
  }
  void TearDown() override {
    boss_modules_reset();
    No_resist = false;
    for (auto& [type, kind] : kinds) Character_infos[type].kind = kind;
  }
  // A type of the rat made of a boss's kind for the test.
  void make_kind(living_entity* e, int kind) {
    const int type = static_cast<int>(e->character - Character_infos);
    kinds.emplace_back(type, Character_infos[type].kind);
    Character_infos[type].kind = kind;
  }
  std::vector<std::pair<int, int>> kinds;
};

TEST_F(Spell_hits_boss_test, TheSerpentsVetoKeepsItsRiderFromASpellAndABossCountsItsCaster) {
  // Spell 25 is a plain damage row: count L, die minus the spell's die.
  Spells[25].die = 6;
  make_kind(rat, BOSS_SERPENT);
  BossModule serpent;
  serpent.vetoes_rider_hit = [](living_entity*) { return Veto; };
  ASSERT_TRUE(boss_register_module(BOSS_SERPENT, serpent));
  rat->hp = 50.0f;
  Veto = true;
  rat->get_hit_by_spell(25, caster->handle, nullptr, nullptr, 0, nullptr, 0.0f, true);
  EXPECT_FLOAT_EQ(rat->hp, 50.0f) << "a rider the serpent shields takes nothing";
  Veto = false;
  rat->get_hit_by_spell(25, caster->handle, nullptr, nullptr, 0, nullptr, 0.0f, true);
  EXPECT_LT(rat->hp, 50.0f) << "without the veto the rider is hit";

  // A boss (object type 9) notes the hero who cast at it, though the spell
  // itself changed nothing yet.
  living_entity* boss = kit.spawn(kit.type("Rat"), {0, 0, 4}, OBJ_BOSS);
  make_kind(boss, BOSS_TITUS);
  BossModule titus;
  titus.tally = &Tally;
  ASSERT_TRUE(boss_register_module(BOSS_TITUS, titus));
  EXPECT_LT(boss_tally_find(caster->handle, Tally), 0);
  boss->get_hit_by_spell(1, caster->handle, nullptr, nullptr, 0, nullptr, 0.0f, true);
  const int at = boss_tally_find(caster->handle, Tally);
  ASSERT_GE(at, 0);
  EXPECT_FLOAT_EQ(Tally.entries[at].total, 0.0f);
  EXPECT_GT(Tally.entries[at].expiry, 0);
}

}  // namespace

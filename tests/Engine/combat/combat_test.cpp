// The fight on the world kit: hit resolution against the weights and shares
// of the rules, damage through armour and resistance, exchanges, chains and
// counterattacks, one-sided cooldowns, and landing blows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/skills.h"
#include "quarn/math/floatops.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

#include "Engine/ai/boss_hooks.h"
#include "Engine/characterinfo/characterinfo.h"
#include "tools/writers/table_writers.h"

namespace {

const matrix Facing_plus_z(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
const matrix Facing_minus_z(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1));

class Combat_test : public WorldTest {
 protected:
  void SetUp() override {
    Super_power = false;
    Assisted_chains = false;
    hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {0, 0, 1.0f}, OBJ_CREATURE);
    hero->orient = hero->last_orient = Facing_plus_z;
    rat->orient = rat->last_orient = Facing_minus_z;
    hero->combat.target = rat->handle;
    rat->combat.target = hero->handle;
    hero->combat.target_combat = &rat->combat;
    rat->combat.target_combat = &hero->combat;
  }
  void TearDown() override { Super_power = false; }

  // A stat of 3..35 is read in steps of 0.05: set multiples of 5.
  static void set_stat(living_entity* e, int stat, int percent) { e->stats[stat] = static_cast<uint8_t>(percent); }
  static void disarm(living_entity* e) {
    item_free(e->equipment[EQ_WEAPON]);
    e->equipment[EQ_WEAPON] = nullptr;
  }
  static float draw(int seed) {
    os_random_seed(seed);
    return frand();
  }

  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};

// ---- hit resolution ----------------------------------------------------------------------

struct HitCase {
  const char* what;
  int attack_type;
  int unarmed, parry, dodge;  // percent
  bool running, slowed, pre_roll;
};

TEST_F(Combat_test, HitChanceFollowsWeightsSharesAndOneRoll) {
  const HitCase cases[] = {
      {"plain blow", CS_NONE, 60, 40, 40, false, false, false},
      {"plain blow, defender runs", CS_NONE, 60, 40, 40, true, false, false},
      {"plain blow, defender slowed", CS_NONE, 60, 20, 60, false, true, false},
      {"plain blow pre-rolled", CS_NONE, 60, 40, 40, false, false, true},
      {"counterattack", CS_COUNTER, 60, 90, 90, false, false, false},
      {"axespin", CS_AXESPIN, 0, 90, 90, false, false, false},
      {"kick", CS_KICK, 0, 90, 50, false, false, false},
  };
  // The rat strikes bare-clawed; the hero parries and dodges with its moves.
  disarm(rat);
  for (const HitCase& c : cases) {
    set_stat(rat, 0, c.unarmed);
    set_stat(rat, CS_KICK, 35);
    set_stat(hero, CS_PARRY, c.parry);
    set_stat(hero, CS_DODGE, c.dodge);
    hero->move_blend = c.running ? 0.8f : 0.0f;
    hero->cure_status_effect(STATUS_SLOW, true, false);
    if (c.slowed) hero->apply_status_effect(STATUS_SLOW, 10000, -1, 0.5f, -1, false);
    // The rules' weights, computed here.
    float H = 0.0f, P = c.parry / 100.0f, D = c.dodge / 100.0f;
    if (c.attack_type == CS_NONE) H = c.unarmed / 100.0f;
    if (c.attack_type == CS_AXESPIN) H = 1.0f, P = 0.0f, D = 0.0f;
    if (c.attack_type == CS_COUNTER) P = 0.0f, D = 0.0f;
    if (c.attack_type == CS_KICK) H = 0.35f, P = 0.0f;
    if (c.pre_roll) P = 0.0f;
    if (c.slowed) D = std::max(D - 0.2f, 0.0f);
    D *= 0.5f;
    if (c.running) D = 0.0f;
    const float T = H + D + P;
    const float Sp = T > 0 ? P / T : 0.0f, Sd = T > 0 ? D / T : 0.0f;
    int landed = 0;
    for (int seed = 1; seed <= 60; seed++) {
      const float r = draw(seed);
      const int expected_phase = c.pre_roll ? 0 : r < Sp ? CP_DEFENDING : r < Sp + Sd ? CP_DEFENDING : CP_STRUCK;
      const bool expected_hit = c.pre_roll ? r >= Sd : r >= Sp + Sd;
      hero->combat.phase = 0;
      hero->combat.defence_move = nullptr;
      rat->combat.attack_type = c.attack_type;
      os_random_seed(seed);
      hero->combat.hit_chance(&rat->combat, c.pre_roll);
      ASSERT_EQ(rat->combat.hits, expected_hit ? 1 : 0) << c.what << " seed " << seed << " r " << r;
      ASSERT_EQ(hero->combat.phase, expected_phase) << c.what << " seed " << seed;
      if (!c.pre_roll && r < Sp + Sd) {
        ASSERT_TRUE(hero->combat.defence_move);
        EXPECT_EQ(hero->combat.defence_move->list, r < Sp ? MOVE_PARRY : MOVE_DODGE) << c.what;
      }
      landed += expected_hit;
    }
    if (c.attack_type == CS_COUNTER || c.attack_type == CS_AXESPIN) EXPECT_EQ(landed, 60) << c.what << " always lands";
  }
}

TEST_F(Combat_test, BackstabAndAimedBlowsScaleWithTheDefendersLevel) {
  set_stat(hero, CS_BACKSTAB, 10);
  rat->level = 4;
  hero->combat.attack_type = CS_BACKSTAB;
  // 0.1 x (1500 / 4 = 375) is far above 0.95: capped.
  for (int seed = 1; seed <= 40; seed++) {
    const float r = draw(seed);
    os_random_seed(seed);
    rat->combat.hit_chance(&hero->combat, true);
    ASSERT_EQ(hero->combat.hits, r < 0.95f ? 1 : 0);
  }
  // A level of 0 is read as 1 rather than dividing by zero.
  rat->level = 0;
  rat->combat.hit_chance(&hero->combat, true);
  SUCCEED();
}

TEST_F(Combat_test, SuperPowerLandsEveryBlowForExactly200) {
  Super_power = true;
  set_stat(rat, CS_PARRY, 100);
  set_stat(rat, CS_DODGE, 100);
  hero->combat.attack_type = CS_NONE;
  for (int seed = 1; seed <= 20; seed++) {
    os_random_seed(seed);
    rat->combat.phase = 0;
    rat->combat.hit_chance(&hero->combat, false);
    ASSERT_EQ(hero->combat.hits, 1);
    EXPECT_EQ(hero->combat.compute_damage(), 200.0f);
  }
}

// ---- damage --------------------------------------------------------------------------------

// The rules' damage of an unarmed monster blow, for a target with no armour
// worn, standing level with it and facing it.
float monster_blow(const living_entity* a, float r, float resistance_factor, float absorb) {
  const float b0 = a->character->damage * 0.1f * (0.5f * a->level + 1.0f);
  const float b = (r - 0.5f) * b0 * 0.6f + b0;
  return std::floor((1.0f - resistance_factor) * (1.0f - absorb) * b);
}

TEST_F(Combat_test, ResistanceOfOneAndAHalfTurnsTheBlowIntoHealing) {
  disarm(rat);
  rat->level = 6;
  rat->combat.attack_type = CS_NONE;
  hero->character->resistances[6] = 5;  // "strengthen": factor 1.5 against blunt
  set_stat(hero, 1, 0);
  const float absorb = 0.5f * (0.01f * hero->level);
  const float expected = monster_blow(rat, draw(7), 1.5f, absorb);
  os_random_seed(7);
  const float d = rat->combat.compute_damage();
  EXPECT_EQ(d, expected);
  ASSERT_LT(d, 0.0f);
  hero->hp = 10.0f;
  hero->change_hp(-d, rat->handle);
  EXPECT_FLOAT_EQ(hero->hp, 10.0f - d);
}

TEST_F(Combat_test, ResistanceFactorsCombineAsTheRulesSay) {
  // Factors of the primary and the secondary damage type: a negative one
  // alone decides; else they multiply.
  Item_info* claws = &Item_infos[item_lookup("Claws")];
  struct Case {
    int primary_level, secondary_level;
    float factor;
  } cases[] = {{2, 2, 1.0f}, {3, 2, 0.5f}, {3, 3, 0.25f}, {5, 0, -0.5f}, {2, 5, -0.5f}, {0, 3, 1.0f}};
  rat->level = 10;
  rat->combat.attack_type = CS_NONE;
  const int saved_elemental = claws->weapon.elemental_damage;
  claws->weapon.elemental_damage = 0;  // fire
  for (const Case& c : cases) {
    hero->character->resistances[claws->weapon.damage_type] = c.primary_level;
    hero->character->resistances[0] = c.secondary_level;
    const float f1 = 1.0f - charinfo_resistance_factor(c.primary_level);
    const float f2 = 1.0f - charinfo_resistance_factor(c.secondary_level);
    const float f = f1 < 0 ? f1 : f2 < 0 ? f2 : f1 * f2;
    os_random_seed(3);
    const float r = frand();
    const float d = static_cast<float>(claws->weapon.damage) * 0.1f;
    const float m = Materials[claws->default_material].damage_modifier;
    const float b0 = (m + d) * (0.5f * rat->level + 1.0f);
    const float b = (r - 0.5f) * b0 * 0.6f + b0;
    const float absorb = std::min(0.5f * hero->combat.get_armor_rating(), 0.75f);
    os_random_seed(3);
    EXPECT_EQ(rat->combat.compute_damage(), std::floor(f * (1.0f - absorb) * b)) << c.primary_level << " " << c.secondary_level;
    EXPECT_FLOAT_EQ(f, c.factor);
  }
  claws->weapon.elemental_damage = saved_elemental;
}

TEST_F(Combat_test, ArmourNeverAbsorbsMoreThanThreeQuarters) {
  disarm(rat);
  rat->level = 20;
  rat->combat.attack_type = CS_NONE;
  hero->apply_status_effect(STATUS_BLESS, 10000, -1, 5.0f, -1, false);
  EXPECT_GT(hero->combat.get_armor_rating(), 5.0f);
  const float expected = monster_blow(rat, draw(11), charinfo_resistance_factor(hero->character->resistances[6]), 0.75f);
  os_random_seed(11);
  EXPECT_EQ(rat->combat.compute_damage(), expected);
  EXPECT_GT(expected, 0.0f);
}

TEST_F(Combat_test, PositionBonusForHeightAndBlowsFromBehind) {
  EXPECT_FLOAT_EQ(combat_position_bonus(rat, hero), 0.0f);  // face to face, level
  rat->pos.y = 0.5f;
  EXPECT_FLOAT_EQ(combat_position_bonus(rat, hero), 0.25f);
  rat->pos.y = -0.5f;
  EXPECT_FLOAT_EQ(combat_position_bonus(rat, hero), -0.25f);
  rat->pos.y = 0.0f;
  hero->orient = Facing_minus_z;  // the hero turns its back
  EXPECT_FLOAT_EQ(combat_position_bonus(rat, hero), 0.15f);
  hero->ai.state = AI_STATE_DISABLED;
  hero->ai.sub_state = AI_SUB_DOWN;
  EXPECT_FLOAT_EQ(combat_position_bonus(rat, hero), 0.5f);
}

TEST_F(Combat_test, StaminaBurstWithoutActionPointsDoesNothingInsteadOfDividingByZero) {
  disarm(hero);
  hero->max_ap_base = 0;
  hero->ap = 0;
  hero->combat.attack_type = 60;
  const float d = hero->combat.compute_damage();
  EXPECT_TRUE(std::isfinite(d));
  EXPECT_EQ(d, 0.0f);
}

TEST_F(Combat_test, MugStealsHalfTheBlowAsGold) {
  disarm(hero);
  hero->character->damage = 40;
  hero->combat.attack_type = CS_MUG;
  hero->level = 30;
  os_random_seed(5);
  hero->combat.compute_damage();
  ASSERT_FALSE(kit.hud.empty());
  EXPECT_EQ(kit.hud.back(), "Stole " + std::to_string(kit.gold_added) + " gold!");
  EXPECT_GT(kit.gold_added, 0);
}

// ---- exchanges, chains and counterattacks --------------------------------------------------

TEST_F(Combat_test, QueuedCounterattackWinsTheExchangeAndLands) {
  kit.party = {hero};
  hero->combat.skill = CS_COUNTER;
  set_stat(rat, CS_PARRY, 100);
  set_stat(rat, CS_DODGE, 100);
  hero->combat.attack(false);
  EXPECT_EQ(hero->combat.phase, CP_ATTACKING);
  EXPECT_EQ(hero->combat.attack_type, CS_COUNTER);
  EXPECT_EQ(rat->combat.phase, CP_STRUCK);
  EXPECT_EQ(hero->combat.hits, 1);
  ASSERT_FALSE(kit.hud.empty());
  EXPECT_EQ(kit.hud.back(), "Counterattack!");
}

TEST_F(Combat_test, SelectedHerosExchangesAlternateTheInitiative) {
  kit.party = {hero};
  set_stat(rat, CS_PARRY, 0);
  set_stat(rat, CS_DODGE, 0);
  set_stat(hero, CS_PARRY, 0);
  set_stat(hero, CS_DODGE, 0);
  for (int round = 0; round < 4; round++) {
    hero->combat.phase = rat->combat.phase = 0;
    hero->combat.last_variation = rat->combat.last_variation = 0;
    const bool hero_had = hero->combat.initiative;
    hero->combat.attack(false);
    EXPECT_EQ(hero->combat.initiative, hero_had ? 0 : 1) << round;
    EXPECT_EQ(rat->combat.initiative, hero_had ? 1 : 0) << round;
  }
}

TEST_F(Combat_test, InitiativeFromSpeeds) {
  set_stat(hero, CS_SPEED, 0);
  set_stat(rat, CS_SPEED, 0);
  EXPECT_FLOAT_EQ(hero->combat.initiative_chance(&rat->combat), 0.5f);
  set_stat(hero, CS_SPEED, 30);
  set_stat(rat, CS_SPEED, 10);
  const float a = hero->get_stat(CS_SPEED), d = rat->get_stat(CS_SPEED);
  EXPECT_FLOAT_EQ(hero->combat.initiative_chance(&rat->combat), a / (a + d));
}

TEST_F(Combat_test, ChainOfThreeStepsShrinksItsWindowAndRefusesRepeats) {
  disarm(hero);
  set_stat(hero, 0, 100);
  kit.party = {hero};
  const Move_info* attack = charinfo_get_move(hero->character, MOVE_ATTACK, 1, true);
  ASSERT_TRUE(attack);
  const float t7 = move_trigger_time(attack, TRIGGER_IMPACT_START);
  const float t6 = move_trigger_time(attack, TRIGGER_CRITICAL_END);
  ASSERT_GT(t6, t7);
  const float speed = hero->get_stat(CS_SPEED);
  ASSERT_GT(speed, 0.0f);
  auto at = [&](float since_start) {
    hero->combat.move_handle = hero->play_move(attack, 1.0f, false, true, 0);
    hero->combat.phase = CP_ATTACKING;
    hero->move_start = frame_clock - since_start;
  };
  // Before trigger 6 nothing counts.
  at(t6 * 0.5f);
  EXPECT_EQ(hero->combat.try_chain(14), -100.0f);
  float window = speed * 2.0f;
  const int skills[3] = {14, 15, 16};
  for (int step = 0; step < 3; step++) {
    at(t6 + 0.001f);
    const float w = skills[step] == 14 ? window * 2.0f : window;
    const float late = (t6 + 0.001f) - t7;
    const float got = hero->combat.try_chain(skills[step]);
    if (late >= w) {
      EXPECT_FLOAT_EQ(got, late - w) << "step " << step << " too late";
      return;
    }
    EXPECT_EQ(got, 0.0f) << "step " << step;
    EXPECT_EQ(hero->combat.chain_count, step + 1);
    EXPECT_EQ(hero->combat.last_chain_skill, skills[step]);
    window *= 0.9f;
  }
  at(t6 + 0.001f);
  EXPECT_EQ(hero->combat.try_chain(16), 100.0f) << "the same skill twice in a row";
  hero->combat.phase = CP_IDLE;
  EXPECT_EQ(hero->combat.try_chain(14), -100.0f);
}

// ---- one-sided attacks and landing -------------------------------------------------------

TEST_F(Combat_test, OneSidedCooldownIsThreeTenthsOverSpeedAndBoundedAtZeroSpeed) {
  rat->ai.state = AI_STATE_COMBAT;
  rat->ai.sub_state = AI_SUB_EXCHANGE_A;
  rat->stats[CS_SPEED] = 100;
  const float speed = rat->get_stat(CS_SPEED);
  rat->combat.update_attack();
  EXPECT_NEAR(rat->combat.attack_cooldown, 3.0f / (10.0f * speed), 1e-5f);
  rat->stats[CS_SPEED] = 0;
  rat->combat.phase = CP_IDLE;
  rat->combat.attack_cooldown = 0.0f;
  rat->combat.update_attack();
  EXPECT_TRUE(std::isfinite(rat->combat.attack_cooldown));
  EXPECT_NEAR(rat->combat.attack_cooldown, 3.0f, 1e-5f);
}

int Boss_offense_calls = 0;

TEST_F(Combat_test, ABossModuleVetoesOrTakesItsAttackOver) {
  int t = charinfo_lookup("Titus");
  if (t < 0) t = kit.add_type(table_demo_creature("Titus", true));
  living_entity* titus = kit.spawn(t, {0, 0, 1.0f}, OBJ_BOSS);
  titus->orient = titus->last_orient = Facing_minus_z;
  titus->combat.target = hero->handle;
  titus->ai.state = AI_STATE_COMBAT;
  titus->ai.sub_state = AI_SUB_EXCHANGE_A;
  boss_modules_reset();
  BossModule m;
  m.vetoes_attack = [](living_entity*, living_entity*) { return true; };
  boss_register_module(BOSS_TITUS, m);
  titus->combat.update_attack();
  EXPECT_EQ(titus->combat.phase, CP_IDLE);
  // Without the veto the module keeps the target unwarned and takes the
  // attack's hit into its own hands.
  Boss_offense_calls = 0;
  m.vetoes_attack = nullptr;
  m.offense_begin = [](combat_state*) { return ++Boss_offense_calls > 0; };
  m.attack_begin = [](living_entity*, int) { return true; };
  boss_register_module(BOSS_TITUS, m);
  titus->combat.attack_cooldown = 0.0f;
  titus->combat.update_attack();
  EXPECT_EQ(Boss_offense_calls, 1);
  EXPECT_EQ(titus->combat.phase, CP_BOSS);
  // Out of its attack's range (the reach, without an offense point) it
  // starts nothing.
  titus->combat.phase = CP_IDLE;
  titus->combat.attack_cooldown = 0.0f;
  titus->pos = vector(0, 0, 10.0f);
  titus->combat.update_attack();
  EXPECT_EQ(titus->combat.phase, CP_IDLE);
  EXPECT_EQ(Boss_offense_calls, 1);
  boss_modules_reset();
}

TEST_F(Combat_test, AttackerThatDoesNotFaceItsTargetStartsNoPlainAttack) {
  rat->orient = Facing_plus_z;  // the hero stands behind it
  rat->pos = vector(0, 0, 1.0f);
  rat->combat.target = hero->handle;
  EXPECT_EQ(rat->combat.pick_attack_move(true), nullptr);
  rat->orient = Facing_minus_z;
  EXPECT_NE(rat->combat.pick_attack_move(true), nullptr);
}

TEST_F(Combat_test, MonsterThatPicksCriticalHitStartsNoAttackThatTime) {
  rat->combat.play_skill_move(CS_CRITICAL);
  EXPECT_EQ(rat->combat.phase, CP_IDLE);
  rat->combat.play_skill_move(CS_AIMED);
  EXPECT_EQ(rat->combat.phase, CP_IDLE);
}

TEST_F(Combat_test, LandedBlowTakesHitPointsWithinReachOnly) {
  hero->ai.state = AI_STATE_COMBAT;
  hero->ai.sub_state = AI_SUB_EXCHANGE_A;
  hero->combat.hits = 1;
  hero->combat.attack_type = CS_NONE;
  set_stat(hero, CS_CRITICAL, 0);
  const float before = rat->hp;
  rat->pos = vector(0, 0, hero->character->attack_radius * 3.0f);
  EXPECT_EQ(hero->combat.land_hit(), 0);
  EXPECT_EQ(rat->hp, before);
  rat->pos = vector(0, 0, 0.5f);
  hero->combat.land_hit();
  EXPECT_LT(rat->hp, before);
  EXPECT_GT(kit.hit_sounds, 0);
}

// The approach stops a fighter where the gap between the two bodies is within
// its reach; the blow is measured the same way, so a fighter standing there
// lands it instead of swinging at the air for as long as the fight lasts.
TEST_F(Combat_test, BlowReachesAcrossTheGapBetweenTheBodiesAsTheApproachMeasuresIt) {
  hero->ai.state = AI_STATE_COMBAT;
  hero->ai.sub_state = AI_SUB_EXCHANGE_A;
  hero->combat.attack_type = CS_NONE;
  set_stat(hero, CS_CRITICAL, 0);
  const float reach = hero->character->attack_radius;
  const float bodies = hero->get_radius() + rat->get_radius();
  ASSERT_GT(bodies, 0.2f);
  struct Case {
    float gap;
    bool lands;
  } cases[] = {{reach - 0.1f, true}, {reach + 0.1f, false}};
  for (const Case& c : cases) {
    rat->pos = vector(0, 0, bodies + c.gap);
    const float before = rat->hp;
    hero->combat.hits = 1;
    hero->combat.land_hit();
    EXPECT_EQ(rat->hp < before, c.lands) << "gap " << c.gap;
  }
}

// ---- replication ---------------------------------------------------------------------------

TEST(ComSeq, RecordIsReadFieldByFieldAndRefusedWhenOdd) {
  const uint8_t bytes[COM_SEQ_SIZE] = {7, 0, 0, 0, 9, 0, 0, 0, 3, 0, 0, 0, 2, 0, 85, 0, 0, 0};
  ComSeq c;
  ASSERT_TRUE(com_seq_read(bytes, COM_SEQ_SIZE, &c));
  EXPECT_EQ(c.attacker, 7);
  EXPECT_EQ(c.defender, 9);
  EXPECT_EQ(c.variation, 3u);
  EXPECT_EQ(c.defence_kind, 2);
  EXPECT_EQ(c.no_defence, 0);
  EXPECT_EQ(c.attack_type, 85);
  uint8_t out[COM_SEQ_SIZE];
  com_seq_write(c, out);
  EXPECT_EQ(std::memcmp(out, bytes, COM_SEQ_SIZE), 0);
  EXPECT_FALSE(com_seq_read(bytes, COM_SEQ_SIZE - 1, &c));
  struct Bad {
    int at;
    uint8_t value;
  } bad[] = {{8, 6}, {12, 4}, {13, 2}, {14, 84 + 2}, {17, 1}};
  for (const Bad& b : bad) {
    uint8_t copy[COM_SEQ_SIZE];
    std::memcpy(copy, bytes, COM_SEQ_SIZE);
    copy[b.at] = b.value;
    EXPECT_FALSE(com_seq_read(copy, COM_SEQ_SIZE, &c)) << "byte " << b.at;
  }
  EXPECT_FALSE(com_seq_received(bytes, COM_SEQ_SIZE, [](int) -> living_entity* { return nullptr; }));
}

}  // namespace

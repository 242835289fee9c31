// The healing part of creature spell choice on the world kit: weights of
// wounded and poisoned allies from the Part's numbers, the healer who finds
// nobody to help, and the seeded draw over the weights.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/spell_choice.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/math/floatops.h"
#include "tests/support/world_kit.h"

namespace {

TEST(SpellChoice, AlliesWeighByTheirWoundsAndStatuses) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  std::vector<living_entity*> e;
  for (int i = 0; i < 4; i++) e.push_back(kit.spawn(rat, {float(i), 0, 0}));
  const float max = static_cast<float>(e[0]->get_max_points(0));
  ASSERT_GT(max, 0);
  e[0]->hp = 0.2f * max;  // wounded: 50 - 20 = 30
  e[1]->hp = 0.6f * max;  // not wounded
  e[2]->hp = max;
  e[2]->apply_status_effect(11, 10000, -1, 1.0f, -1, false);  // poisoned: 10
  e[3]->hp = 0.45f * max;  // wounded and poisoned: 5 + 10
  e[3]->apply_status_effect(11, 10000, -1, 1.0f, -1, false);
  SpellCandidate a[4];
  for (int i = 0; i < 4; i++) a[i].entity = e[i];
  EXPECT_NEAR(ai_weigh_allies(a, 4, true, true), 30 + 10 + 15, 1e-3);
  EXPECT_EQ(a[0].bits, SPELL_COND_WOUNDED);
  EXPECT_EQ(a[1].bits, 0u);
  EXPECT_EQ(a[2].bits, SPELL_COND_CURABLE);
  EXPECT_EQ(a[3].bits, SPELL_COND_WOUNDED | SPELL_COND_CURABLE);
  EXPECT_NEAR(ai_weigh_allies(a, 4, true, false), 35, 1e-3);
  EXPECT_NEAR(ai_weigh_allies(a, 4, false, true), 20, 1e-3);

  // Nobody wounded or curable: no support spell, whatever the healer knows.
  SpellCandidate fine[1];
  fine[0].entity = e[1];
  int chosen = 7;
  EXPECT_EQ(ai_choose_support_spell(e[2], fine, 1, &chosen), -1);
  EXPECT_EQ(chosen, -1);
}

}  // namespace

namespace {

// The next n draws of the seeded source, which is then seeded again so the
// code under test sees the same ones.
std::vector<float> upcoming_draws(WorldKit& kit, int seed, int n) {
  kit.seed(seed);
  std::vector<float> draws;
  for (int i = 0; i < n; i++) draws.push_back(frand());
  kit.seed(seed);
  return draws;
}

// Spells 15, 25 and 26 made castable by a hero of the kit: the cast move
// of Heal and a skill every hero has.
void make_castable(int spell, float cost) {
  Spells[spell].spell_class = Spells[SPELL_ID_HEAL].spell_class;
  Spells[spell].variation = Spells[SPELL_ID_HEAL].variation;
  Spells[spell].skill = 0.0f;
  Spells[spell].cost = cost;
}

TEST(SpellChoice, OffensiveSpellsAreDrawnByWeight) {
  WorldKit kit;
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 4});
  caster->ai.target = rat->handle;
  caster->ap = 20;
  make_castable(15, 3);
  make_castable(25, 6);
  make_castable(26, 7);
  caster->ai.last_spell = 25;
  // 10 less cost / AP x 5 each; the last spell cast weighs four times.
  const float w[3] = {10 - 3.0f / 20 * 5, 40 - 6.0f / 20 * 5, 10 - 7.0f / 20 * 5};
  const int ids[3] = {15, 25, 26};
  const float total = w[0] + w[1] + w[2];
  kit.seed(9);
  std::vector<float> draws;
  for (int i = 0; i < 50; i++) draws.push_back(frand());
  kit.seed(9);
  int seen[3] = {};
  for (int i = 0; i < 50; i++) {
    const float r = draws[i] * total;
    const int expected = r < w[0] ? 15 : r < w[0] + w[1] ? 25 : 26;
    SpellCandidate list[SPELL_CANDIDATES];
    int count = 0, chosen = -1;
    const int got = ai_choose_offense_spell(&caster->ai, list, &count, &chosen);
    EXPECT_EQ(got, expected) << i;
    EXPECT_EQ(count, 1);  // the target was put in the list
    EXPECT_EQ(list[chosen].entity, rat);
    for (int k = 0; k < 3; k++) seen[k] += got == ids[k];
  }
  EXPECT_GT(seen[1], seen[0] + seen[2]);
}

TEST(SpellChoice, NoActionPointsMeansNoSpell) {
  WorldKit kit;
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 4});
  caster->ai.target = rat->handle;
  for (int s : {15, 25, 26}) make_castable(s, 0);  // free, so castable at 0 AP
  caster->ap = 0;
  SpellCandidate list[SPELL_CANDIDATES];
  int count = 0, chosen = -1;
  EXPECT_EQ(ai_choose_offense_spell(&caster->ai, list, &count, &chosen), -1);
  caster->ap = 5;
  EXPECT_NE(ai_choose_offense_spell(&caster->ai, list, &count, &chosen), -1);
}

TEST(SpellChoice, ASilencedChooserFightsInstead) {
  WorldKit kit;
  living_entity* hero = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 1.5f});
  rat->ai.target = hero->handle;
  rat->ai.behaviour = 4;
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 21);
  rat->apply_status_effect(STATUS_SILENCE, 10000, -1, 1.0f, -1, false);
  ai_combat_choose_spell(&rat->ai);
  // The choice is skipped once: the rat strikes.
  EXPECT_TRUE(rat->ai.flags & AIF_SPELL_BLOCK);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_COMBAT, 15));
}

}  // namespace

namespace {

TEST(SpellChoice, Spell24GoesToTheHaleAndWaitsOnItsTimer) {
  WorldKit kit;
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0});  // a creature
  caster->ap = 50;
  make_castable(24, 1);
  Spells[24].duration = 10;  // seconds
  std::vector<living_entity*> c;
  const float shares[3] = {0.2f, 0.5f, 1.0f};  // the first is at or below a quarter
  for (int i = 0; i < 3; i++) {
    c.push_back(kit.spawn(kit.type("Rat"), {float(i), 0, 3}, OBJ_PLAYER));
    c[i]->hp = shares[i] * static_cast<float>(c[i]->get_max_points(0));
  }
  auto choose = [&](int* chosen) {
    SpellCandidate list[3];
    for (int i = 0; i < 3; i++) list[i].entity = c[i];
    return ai_choose_spell_24(&caster->ai, list, 3, chosen);
  };
  // Timer reached: the gate is a plain draw of 0.95 or more, then a draw
  // over 0 + 0.5 + 1.0.
  Creature_spell_timers[24] = timer_game_clock;
  const std::vector<float> draws = upcoming_draws(kit, 3, 400);
  size_t d = 0;
  int cast = 0;
  while (d + 1 < draws.size()) {
    int chosen = -1;
    const int got = choose(&chosen);
    if (draws[d++] < 0.95f) {
      EXPECT_EQ(got, -1);
      continue;
    }
    const float r = draws[d++] * 1.5f;
    EXPECT_EQ(got, 24);
    EXPECT_EQ(chosen, r < 0.5f ? 1 : 2);
    cast++;
  }
  EXPECT_GT(cast, 0);
  // With 9 of the 10 seconds still to run the gate's draw is scaled by 0.1:
  // it never reaches 0.95.
  Creature_spell_timers[24] = timer_game_clock + 9000;
  for (int i = 0; i < 100; i++) {
    int chosen = -1;
    EXPECT_EQ(choose(&chosen), -1);
  }
}

TEST(SpellChoice, TheDrainSparesTheWornDownAndTheFirstLevel) {
  WorldKit kit;
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0});  // a creature
  caster->ap = 50;
  make_castable(13, 1);
  Creature_spell_timers[13] = timer_game_clock;
  // Levels and drains of four candidates: 0.5 / (drains + 1) below five
  // drains from level 2 up, else nothing.
  const int levels[4] = {3, 4, 5, 1}, drains[4] = {0, 2, 5, 0};
  const float w[4] = {0.5f, 0.5f / 3.0f, 0.0f, 0.0f};
  std::vector<living_entity*> c;
  for (int i = 0; i < 4; i++) {
    c.push_back(kit.spawn(kit.type("Rat"), {float(i), 0, 3}, OBJ_PLAYER, levels[i]));
    c[i]->level_drains = static_cast<uint16_t>(drains[i]);
  }
  const std::vector<float> draws = upcoming_draws(kit, 5, 600);
  size_t d = 0;
  int cast = 0;
  while (d + 1 < draws.size()) {
    SpellCandidate list[4];
    for (int i = 0; i < 4; i++) list[i].entity = c[i];
    int chosen = -1;
    const int got = ai_choose_spell_13(&caster->ai, list, 4, &chosen);
    if (draws[d++] < 0.95f) {  // the gate, unscaled with the timer reached
      EXPECT_EQ(got, -1);
      continue;
    }
    const float r = draws[d++] * (w[0] + w[1]);
    EXPECT_EQ(got, 13);
    EXPECT_EQ(chosen, r < w[0] ? 0 : 1);
    cast++;
  }
  EXPECT_GT(cast, 5);

  // A drain that takes hold counts on its target, also at level 1.
  No_resist = true;
  for (int i : {0, 3}) {
    const int before = c[i]->level;
    c[i]->get_hit_by_spell(13, caster->handle, nullptr, nullptr, 0, nullptr, 0.0f, 0);
    EXPECT_EQ(c[i]->level_drains, drains[i] + 1) << i;
    EXPECT_EQ(c[i]->level, before > 1 ? before - 1 : 1) << i;
  }
  No_resist = false;
}

TEST(SpellChoice, UnfitSpellsAndSpell26WhileItsKindLivesAreLeftOut) {
  WorldKit kit;
  living_entity* caster = kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_PLAYER);
  const int rat_type = kit.type("Rat");
  living_entity* rat = kit.spawn(rat_type, {0, 0, 4});
  caster->ai.target = rat->handle;
  caster->ap = 20;
  make_castable(15, 0);
  make_castable(25, 0);
  make_castable(26, 0);
  auto picks = [&] {
    std::set<int> seen;
    for (int i = 0; i < 60; i++) {
      SpellCandidate list[SPELL_CANDIDATES];
      int count = 0, chosen = -1;
      seen.insert(ai_choose_offense_spell(&caster->ai, list, &count, &chosen));
    }
    return seen;
  };
  EXPECT_EQ(picks(), (std::set<int>{15, 25, 26}));
  // Spell 15 cannot touch a target invulnerable to its damage class (2).
  const int32_t kept = Character_infos[rat_type].resistances[2];
  Character_infos[rat_type].resistances[2] = 4;  // invulnerable
  EXPECT_EQ(spell_ai_condition(rat, 15), 0.0f);
  EXPECT_EQ(spell_ai_condition(rat, 25), 1.0f);
  EXPECT_EQ(picks(), (std::set<int>{25, 26}));
  Character_infos[rat_type].resistances[2] = kept;
  // While an effect of spell 26, 29 or 78 lives, 26 waits.
  for (int kind : {29, 78, 26}) {
    game_effect* fx = fx_create("test.vfx", 0, rat->pos, rat->orient, false);
    ASSERT_NE(fx, nullptr);
    fx->spell = kind;
    EXPECT_EQ(picks(), (std::set<int>{15, 25})) << kind;
    fx->flags |= OF_DELETE;
  }
  EXPECT_EQ(picks(), (std::set<int>{15, 25, 26}));
}

}  // namespace

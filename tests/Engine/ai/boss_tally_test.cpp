// The boss layer's attacker tally and choices on the world kit: sums and
// decay worked out here, reuse of a gone attacker's entry, the weighted
// target choice and the weighted index drawn from the seeded source with
// the expected picks computed in the test from the same draws.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/boss_tally.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

TEST(BossTally, RecordsDecaysAndReusesEntries) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  std::vector<living_entity*> heroes;
  for (int i = 0; i < 6; i++) heroes.push_back(kit.spawn(rat, {float(i), 0, 0}, OBJ_PLAYER));
  living_entity* monster = kit.spawn(rat, {0, 0, 5});
  BossTally t;
  boss_record_damage(t, -10, monster->handle, false);  // not a hero: no entry
  EXPECT_EQ(boss_tally_find(monster->handle, t), -1);
  boss_record_damage(t, -10, heroes[0]->handle, false);
  boss_record_damage(t, -4, heroes[0]->handle, true);
  const BossTallyEntry& e = t.entries[0];
  EXPECT_EQ(e.handle, heroes[0]->handle);
  EXPECT_FLOAT_EQ(e.total, -14);
  EXPECT_FLOAT_EQ(e.direct, -10);
  EXPECT_EQ(e.expiry, timer_game_clock + 20000);
  // Two seconds of decay in 1/30 s steps, against the same steps here.
  float recent = -14, lingering = -14;
  for (int i = 0; i < 60; i++) {
    boss_decay_tally(t, 1.0f / 30);
    recent -= (1.0f / 30) * recent * 0.1f;
    lingering -= (1.0f / 30) * lingering / 60.0f;
  }
  EXPECT_NEAR(e.recent, recent, 1e-4);
  EXPECT_NEAR(e.lingering, lingering, 1e-4);
  EXPECT_NEAR(e.recent, -14 * std::pow(1 - 0.1 / 30, 60), 1e-3);
  EXPECT_FLOAT_EQ(e.total, -14);
  // Five live attackers fill it; a sixth is dropped.
  for (int i = 1; i < 5; i++) boss_record_damage(t, -1, heroes[i]->handle, false);
  boss_record_damage(t, -1, heroes[5]->handle, false);
  EXPECT_EQ(boss_tally_find(heroes[5]->handle, t), -1);
  // A gone attacker's entry is reused, its direct total not carried over.
  object_mark_deleted(heroes[0]);
  objects_delete_pending();
  boss_record_damage(t, -3, heroes[5]->handle, true);
  EXPECT_EQ(boss_tally_find(heroes[5]->handle, t), 0);
  EXPECT_FLOAT_EQ(t.entries[0].direct, 0);
  EXPECT_FLOAT_EQ(t.entries[0].total, -3);
}

TEST(BossTally, TheChoiceWeighsRecentDamage) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* a = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* b = kit.spawn(rat, {3, 0, 0}, OBJ_PLAYER);
  living_entity* c = kit.spawn(rat, {6, 0, 0}, OBJ_PLAYER);
  BossTally t;
  boss_record_damage(t, -5, b->handle, false);
  BossCandidate cand[3];
  cand[0].entity = a, cand[0].distance = 4, cand[0].mask = 1;
  cand[1].entity = b, cand[1].distance = 2, cand[1].mask = 2;
  cand[2].entity = c, cand[2].distance = 9, cand[2].mask = 1;
  EXPECT_EQ(boss_choose_target(cand, 3, t, -1, false, BOSS_CHOOSE_NEAREST), b->handle);
  EXPECT_EQ(boss_choose_target(cand, 0, t, -1, false, 0), -1);
  // S = -10 (recent + lingering of b), base = 3; b weighs 3 + 20 = 23, a
  // and c 3 each, c the current target x 1.2.
  const float w[3] = {3, 23, 3 * 1.2f};
  for (int seed = 1; seed <= 40; seed++) {
    kit.seed(seed);
    const uint32_t state = os_rand_get_state();
    const float r = frand();
    os_rand_set_state(state);
    const float total = w[0] + w[1] + w[2];
    const int want = r < w[0] / total ? 0 : (r < (w[0] + w[1]) / total ? 1 : 2);
    EXPECT_EQ(boss_choose_target(cand, 3, t, c->handle, false, 0), cand[want].entity->handle) << seed;
    EXPECT_FLOAT_EQ(cand[2].weight, total);
  }
  // Mask 1 leaves b out; excluding the current target c leaves a alone.
  EXPECT_EQ(boss_choose_target(cand, 3, t, c->handle, true, 1), a->handle);
  // Only the excluded current target eligible: a total of 0 chooses nobody.
  EXPECT_EQ(boss_choose_target(cand + 2, 1, t, c->handle, true, 0), -1);
}

TEST(BossTally, WeightedIndexAndRandomIntFollowTheSeededDraws) {
  WorldKit kit;
  const float w[4] = {1, 0, 3, 4};
  for (int seed = 1; seed <= 50; seed++) {
    kit.seed(seed);
    const uint32_t state = os_rand_get_state();
    const float r = frand();
    const float r2 = frand();
    os_rand_set_state(state);
    int want = -1;
    float run = 0;
    for (int i = 0; i < 4 && want < 0; i++) {
      run += w[i];
      if (run / 8.0f > r) want = i;
    }
    EXPECT_EQ(boss_weighted_index(w, 4), want);
    EXPECT_NE(want, 1);
    EXPECT_EQ(boss_random_int(2000, 8000), 2000 + int(r2 * 6000));
  }
  const float zero[2] = {0, 0};
  EXPECT_EQ(boss_weighted_index(zero, 2), -1);
  EXPECT_EQ(boss_weighted_index(w, 0), -1);
}

}  // namespace

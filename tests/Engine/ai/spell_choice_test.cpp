// The healing part of creature spell choice on the world kit: weights of
// wounded and poisoned allies from the Part's numbers, the healer who finds
// nobody to help, and the seeded draw over the weights.
#include <gtest/gtest.h>

#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/spell_choice.h"
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

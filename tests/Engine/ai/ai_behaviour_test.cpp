// Path following and steering on the world kit: a walk order walks the
// entity to its goal; two creatures on crossing paths pass without
// overlapping; the corner rule and the closest approach time.
#include "Engine/ai/ai_behaviour.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

class AiBehaviour : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_init_tables();
    ai_set_driver_hooks(AiDriverHooks{});
    ai_behaviour_install();
    Ai_paused = false;
  }
  void TearDown() override { ai_set_driver_hooks(AiDriverHooks{}); }
  void frame(float dt = 1.0f / 30.0f) {
    kit.advance(dt);
    ai_frame(dt);
  }
  static float flat_distance(const vector& a, const vector& b) { return std::hypot(a.x - b.x, a.z - b.z); }
};

TEST_F(AiBehaviour, AWalkOrderWalksTheEntityToItsGoalAndEndsIdle) {
  living_entity* rat = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  ai_set_state(&rat->ai, AI_STATE_IDLE, 0);
  const vector goal(6.0f, 0.0f, -4.0f);  // behind and to the side: it turns first
  ASSERT_GE(ai_queue_walk_to(&rat->ai, goal, 0, false, 1000), 0);
  bool travelled = false;
  float before = flat_distance(rat->pos, goal);
  for (int i = 0; i < 30 * 20 && !(travelled && rat->ai.state == AI_STATE_IDLE); i++) {
    frame();
    if (rat->ai.state == AI_STATE_TRAVELING) travelled = true;
    // It never walks away from its goal by more than a step while turning.
    EXPECT_LE(flat_distance(rat->pos, goal), before + 0.3f);
  }
  EXPECT_TRUE(travelled);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
  EXPECT_LT(flat_distance(rat->pos, goal), 0.6f);
  EXPECT_EQ(rat->ai.path, nullptr);
}

TEST_F(AiBehaviour, AMultiLegPathIsWalkedNodeByNode) {
  living_entity* rat = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  ai_set_state(&rat->ai, AI_STATE_IDLE, 0);
  // An L round a corner: the entity must pass near the corner point.
  ai_set_planner([](const vector& start, int, const vector& goal, int, float, bool) {
    auto* p = new ai_path;
    p->count = 2;
    p->points[0] = vector(0.0f, 0.0f, 5.0f);
    p->points[1] = goal;
    (void)start;
    return p;
  });
  ASSERT_GE(ai_queue_walk_to(&rat->ai, vector(5.0f, 0.0f, 5.0f), 0, false, 1000), 0);
  float nearest_corner = 1e9f;
  for (int i = 0; i < 30 * 20 && (i == 0 || rat->ai.state != AI_STATE_IDLE); i++) {
    frame();
    nearest_corner = std::fmin(nearest_corner, flat_distance(rat->pos, vector(0, 0, 5)));
    // Never cuts across the inside of the corner.
    EXPECT_FALSE(rat->pos.x > 1.0f && rat->pos.z < 4.0f) << rat->pos.x << " " << rat->pos.z;
  }
  ai_set_planner(nullptr);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
  EXPECT_LT(nearest_corner, 1.0f);
  EXPECT_LT(flat_distance(rat->pos, vector(5, 0, 5)), 0.6f);
}

TEST_F(AiBehaviour, TwoCreaturesOnCrossingPathsNeverOverlap) {
  living_entity* a = kit.spawn(kit.type("Ruvizo"), {-5, 0, 0}, OBJ_PLAYER);
  living_entity* b = kit.spawn(kit.type("Rivud"), {5, 0, 0.2f}, OBJ_PLAYER);
  for (living_entity* e : {a, b}) ai_set_state(&e->ai, AI_STATE_IDLE, 0);
  ASSERT_GE(ai_queue_walk_to(&a->ai, vector(5, 0, 0), 0, false, 1000), 0);
  ASSERT_GE(ai_queue_walk_to(&b->ai, vector(-5, 0, 0.2f), 0, false, 1000), 0);
  const float touching = a->get_radius() + b->get_radius();
  float closest = 1e9f;
  for (int i = 0; i < 30 * 30 && (i == 0 || a->ai.state != AI_STATE_IDLE || b->ai.state != AI_STATE_IDLE); i++) {
    frame();
    closest = std::fmin(closest, flat_distance(a->pos, b->pos));
  }
  EXPECT_GE(closest, touching * 0.999f);
  // Both got past each other to their goals.
  EXPECT_LT(flat_distance(a->pos, vector(5, 0, 0)), 1.0f);
  EXPECT_LT(flat_distance(b->pos, vector(-5, 0, 0.2f)), 1.0f);
}

// A hero setting off from beside the controlled hero, close enough to touch
// within a quarter of their radii, goes round it at once, though it is not
// ahead; a creature setting off the same way only goes round what lies ahead
// of it.
TEST_F(AiBehaviour, AHeroGoesRoundTheControlledHeroBesideIt) {
  static living_entity* lead;
  AiDriverHooks hooks;
  hooks.controlled = [] { return static_cast<const living_entity*>(lead); };
  ai_set_driver_hooks(hooks);
  ai_behaviour_install();
  for (int object_type : {OBJ_PLAYER, OBJ_CREATURE}) {
    living_entity* e = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, object_type);
    lead = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
    const float sum = e->get_radius() + lead->get_radius(), reach = 1.25f * sum;
    // Beside the start, a little farther than touching.
    lead->pos = vector(sum + 0.2f * (reach - sum), 0, 0);
    for (living_entity* m : {e, lead}) ai_set_state(&m->ai, AI_STATE_IDLE, 0);
    ASSERT_GE(ai_queue_walk_to(&e->ai, vector(0, 0, 8), 0, false, 1000), 0);
    int went_round = 0;
    for (int i = 0; i < 30 * 10 && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) {
      frame();
      if (e->ai.moving == 2 && e->ai.avoided == lead->handle) went_round++;
    }
    if (object_type == OBJ_PLAYER) EXPECT_GT(went_round, 0);
    else EXPECT_EQ(went_round, 0);
    EXPECT_LT(flat_distance(e->pos, vector(0, 0, 8)), 1.0f) << object_type;
    for (living_entity* m : {e, lead}) {
      m->state |= ES_DEAD;
      m->pos = vector(40, 0, 40);
    }
  }
}

TEST_F(AiBehaviour, ACreatureWalksAtItsWalkSpeedOnScreenAndOff) {
  // On screen it moves every frame; out of sight the driver runs it only
  // every 750 ms, and each run must cover the time since the last one.
  struct Case {
    bool shown;
    float most_per_frame;  // the longest step between two frames, in walk-frames
  };
  for (const Case& c : {Case{true, 1.1f}, Case{false, 30.0f}}) {
    static bool shown;
    shown = c.shown;
    AiDriverHooks h = ai_driver_hooks();
    h.on_screen = [](const living_entity*) { return shown; };
    ai_set_driver_hooks(h);
    living_entity* grub = kit.spawn(kit.type("Ruvizo"), {0, 0, c.shown ? 0.0f : 5.0f}, OBJ_CREATURE);
    ai_set_state(&grub->ai, AI_STATE_IDLE, 0);
    const vector goal = grub->pos + grub->orient.forward * 30.0f;  // straight ahead: no turn first
    ASSERT_GE(ai_queue_walk_to(&grub->ai, goal, 0, false, 1000), 0);
    for (int i = 0; i < 30; i++) frame();  // it sets off within the first second
    const vector start = grub->pos;
    const float seconds = 6.0f;
    const float walk = grub->walk_speed > 0.0f ? grub->walk_speed : 1.5f;  // the kit's walks
    float longest = 0.0f;
    int still = 0;
    for (int i = 0; i < 30 * 6; i++) {
      const vector was = grub->pos;
      frame();
      longest = std::fmax(longest, flat_distance(was, grub->pos));
      still += flat_distance(was, grub->pos) == 0.0f;
    }
    ASSERT_EQ(grub->ai.state, AI_STATE_TRAVELING) << c.shown;
    const float covered = flat_distance(grub->pos, start);
    EXPECT_GT(covered, 0.8f * walk * seconds) << c.shown;
    EXPECT_LT(covered, 1.1f * walk * seconds) << c.shown;
    EXPECT_LE(longest, c.most_per_frame * walk / 30.0f) << c.shown;
    if (c.shown) EXPECT_EQ(still, 0);
    else EXPECT_GT(still, 30 * 6 - 10);
  }
}

TEST_F(AiBehaviour, TheLeaderWalksOutOfThePartysFormation) {
  // The demo's four start points, 1.5 apart; the leader's way out passes
  // right by the member diagonally behind it.
  const char* heroes[] = {"Ruvizo", "Rivud", "Ruvizo", "Rivud"};
  const vector starts[] = {{0, 0, 0}, {1.5f, 0, 0}, {0, 0, 1.5f}, {1.5f, 0, 1.5f}};
  living_entity* party[4];
  for (int i = 0; i < 4; i++) {
    party[i] = kit.spawn(kit.type(heroes[i]), starts[i], OBJ_PLAYER);
    party[i]->state |= 0x100;  // in the party
    ai_set_state(&party[i]->ai, AI_STATE_IDLE, 0);
  }
  const vector goal(6, 0, 8);
  ASSERT_GE(ai_queue_walk_to(&party[0]->ai, goal, 0, false, 1000), 0);
  for (int i = 0; i < 30 * 15 && !(i > 0 && party[0]->ai.state == AI_STATE_IDLE); i++) {
    frame();
    for (int j = 1; j < 4; j++)
      EXPECT_GE(flat_distance(party[0]->pos, party[j]->pos), 0.7f * (party[0]->get_radius() + party[j]->get_radius()));
  }
  EXPECT_EQ(party[0]->ai.state, AI_STATE_IDLE);
  EXPECT_LT(flat_distance(party[0]->pos, goal), 0.6f) << party[0]->pos.x << " " << party[0]->pos.z;
}

TEST_F(AiBehaviour, CornerSpeedFactorFollowsTheCosineSteps) {
  struct Case {
    float cosine, factor;
  } cases[] = {{-1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, std::sqrt(0.5f)}, {-0.85f, std::sqrt(0.1f)}, {0.5f, std::sqrt(0.8f)}};
  for (const Case& c : cases) EXPECT_NEAR(ai_corner_factor(c.cosine), c.factor, 1e-5f) << c.cosine;
}

TEST_F(AiBehaviour, ClosestApproachTimeOfTwoEntitiesHeadOn) {
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* b = kit.spawn(kit.type("Rat"), {10, 0, 0});
  // Closing at 2 + 3 units a second over 10 units: nearest after 2 s.
  EXPECT_NEAR(ai_closest_approach_time(vector(2, 0, 0), vector(-3, 0, 0), a, b), 2.0f, 1e-5f);
  EXPECT_EQ(ai_closest_approach_time(vector(1, 0, 0), vector(1, 0, 0), a, b), 0.0f);
}

TEST_F(AiBehaviour, TurningStepsAtTheTypesRateAndEndsFacingThePoint) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const vector behind = rat->pos - rat->orient.forward * 5.0f;
  int steps = 0;
  while (ai_step_toward(&rat->ai, behind) && steps < 1000) steps++;
  const float rate = rat->character->slow_turn_rate > 0 ? rat->character->slow_turn_rate : 2.0f;
  // Half a turn at the standing rate (the near rate takes over for the
  // last stretch, so it may be quicker, never slower).
  EXPECT_LE(steps, static_cast<int>(std::ceil(3.14159f / (rate * FrameTimer))) + 1);
  EXPECT_GT(steps, 0);
  vector to = behind - rat->pos;
  EXPECT_GT(vector::dot(to * (1.0f / to.length()), rat->orient.forward), 0.999f);
}

}  // namespace

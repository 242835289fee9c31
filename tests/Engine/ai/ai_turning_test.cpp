// Turning on the spot with turn moves: a standing creature that must turn
// far plays its turn move of the right side at a rate set by the angle and
// its heading follows the move; near turns, walkers and types without the
// moves turn at their rates; a catching-up entity turns faster by the turn
// scaler; and the two console commands.
#include "Engine/ai/ai_turning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/characterinfo/table_words.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kDt = 1.0f / 30.0f;

class AiTurning : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_init_tables();
    ai_behaviour_install();
    // Only the great creatures' tables keep turn moves.
    CharacterRecord r = table_demo_creature("Deviziv", true);
    for (const char* side : {"left", "right"}) {
      MoveRecord m;
      m.list = "misc";
      m.animation = std::string("wheel_") + side;
      m.action = std::string("turn ") + side;
      m.variation = std::string("turn ") + side;
      r.moves.push_back(m);
    }
    wheeler = kit.add_type(r);
    ASSERT_GE(wheeler, 0);
    kit.set_anim(wheeler, "wheel_left", kLength, 0.0f);
    kit.set_anim(wheeler, "wheel_right", kLength, 0.0f);
    Use_turn_anims = true;
    Turn_scaler = 2.0f;
  }
  void TearDown() override {
    Use_turn_anims = false;
    Turn_scaler = 2.0f;
  }
  // Standing at the origin facing +z (its right is +x).
  living_entity* spawn(int type) {
    living_entity* e = kit.spawn(type, {0, 0, 0});
    e->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
    e->set_move_mode(0.0f);
    return e;
  }
  // A point five units off at an angle from +z, positive to the right.
  static vector at_angle(float degrees) {
    const float a = degrees * kPi / 180.0f;
    return vector(5.0f * std::sin(a), 0.0f, 5.0f * std::cos(a));
  }
  static float heading(const living_entity* e) { return std::atan2(e->orient.forward.x, e->orient.forward.z); }
  static int current_variation(const living_entity* e) {
    return e->current_move_id >= 0 && e->current_move ? e->current_move->variation : -1;
  }
  static constexpr float kLength = 1.2f;
  int wheeler = -1;
};

TEST_F(AiTurning, AFarTurnOnTheSpotFollowsItsTurnMove) {
  struct Case {
    float degrees;
    int variation;
  } cases[] = {{120.0f, VARIATION_TURN_RIGHT}, {-90.0f, VARIATION_TURN_LEFT}, {170.0f, VARIATION_TURN_RIGHT}};
  for (const Case& c : cases) {
    living_entity* e = spawn(wheeler);
    const vector point = at_angle(c.degrees);
    const float angle = std::fabs(c.degrees) * kPi / 180.0f;
    const float rate = 120.0f / std::fabs(c.degrees) * 0.95f;
    const float duration = kLength / rate;
    // The first frame starts the move and turns nothing yet.
    EXPECT_TRUE(ai_step_toward(&e->ai, point)) << c.degrees;
    EXPECT_EQ(current_variation(e), c.variation) << c.degrees;
    EXPECT_NEAR(kit.model(e)->last_rate, rate, 1e-4f) << c.degrees;
    EXPECT_NEAR(heading(e), 0.0f, 1e-6f);
    // Its heading keeps pace with the move's clock, not with a turn rate.
    float t = 0.0f;
    bool turning = true;
    int frames = 0;
    while (turning && frames < 200) {
      kit.advance(kDt);
      t += kDt;
      frames++;
      turning = ai_step_toward(&e->ai, point);
      if (turning) {
        const float expect = angle * std::fmin(1.0f, t * rate / kLength);
        EXPECT_NEAR(std::fabs(heading(e)), expect, 2e-3f) << c.degrees << " at " << t;
        EXPECT_GT(heading(e) * c.degrees, -1e-6f) << "turns the wrong way";
      }
    }
    EXPECT_FALSE(turning);
    EXPECT_NEAR(t, duration, kDt + 1e-4f) << c.degrees;
    vector to = point - e->pos;
    EXPECT_GT(vector::dot(to * (1.0f / to.length()), e->orient.forward), 0.9999f) << c.degrees;
    // Facing the point, the move is over.
    EXPECT_EQ(e->current_move_id, -1) << c.degrees;
    EXPECT_EQ(e->ai.turn_move, -1);
    e->deinit();
  }
}

TEST_F(AiTurning, NearTurnsWalkersAndTypesWithoutTheMovesTurnAtTheirRate) {
  const int rat = kit.type("Rat");
  struct Case {
    const char* what;
    bool wheeler, on, moving;
    float degrees;
  } cases[] = {
      {"off", true, false, false, 120.0f},
      {"near", true, true, false, 40.0f},
      {"walking", true, true, true, 120.0f},
      {"no turn moves", false, true, false, 120.0f},
  };
  for (const Case& c : cases) {
    Use_turn_anims = c.on;
    living_entity* e = spawn(c.wheeler ? wheeler : rat);
    if (c.moving) kit.model(e)->set_anim_weight(e->anim[SA_NORM_WALK] >= 0 ? e->anim[SA_NORM_WALK] : e->anim[SA_WALK], 1.0f);
    const float before = heading(e);
    kit.advance(kDt);
    EXPECT_TRUE(ai_step_toward(&e->ai, at_angle(c.degrees))) << c.what;
    EXPECT_EQ(e->ai.turn_move, -1) << c.what;
    const int v = current_variation(e);
    EXPECT_TRUE(v != VARIATION_TURN_LEFT && v != VARIATION_TURN_RIGHT) << c.what;
    const Character_info* ci = e->character;
    const float cosine = std::cos(c.degrees * kPi / 180.0f);
    float r = c.moving ? ci->moving_turn_rate : (cosine >= 0.3f ? ci->fast_turn_rate : ci->slow_turn_rate);
    if (r <= 0.0f) r = 2.0f;
    EXPECT_NEAR(heading(e) - before, r * kDt, 1e-4f) << c.what;
    e->deinit();
  }
}

TEST_F(AiTurning, TurningTheOtherWayStopsTheRunningTurnMove) {
  living_entity* e = spawn(wheeler);
  ASSERT_TRUE(ai_step_toward(&e->ai, at_angle(150.0f)));
  const int right_slot = e->current_move->anim_slot;
  kit.advance(kDt);
  ASSERT_TRUE(ai_step_toward(&e->ai, at_angle(150.0f)));
  const float turned_right = heading(e);
  EXPECT_GT(turned_right, 0.0f);
  // The point jumps to its left: the right turn stops, a left one starts.
  kit.advance(kDt);
  EXPECT_TRUE(ai_step_toward(&e->ai, at_angle(-150.0f)));
  EXPECT_EQ(current_variation(e), VARIATION_TURN_LEFT);
  EXPECT_EQ(kit.model(e)->anim_weight(right_slot), 0.0f);
  EXPECT_NEAR(heading(e), turned_right, 1e-6f);
  kit.advance(kDt);
  EXPECT_TRUE(ai_step_toward(&e->ai, at_angle(-150.0f)));
  EXPECT_LT(heading(e), turned_right);
}

TEST_F(AiTurning, CatchingUpTurnsFasterByTheTurnScaler) {
  Use_turn_anims = false;
  living_entity* e = spawn(kit.type("Rat"));
  const vector point = at_angle(100.0f);
  kit.advance(kDt);
  ASSERT_TRUE(ai_step_toward(&e->ai, point));
  const float plain = heading(e);
  for (float scaler : {2.0f, 3.5f}) {
    Turn_scaler = scaler;
    e->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
    e->ai.flags |= AIF_CATCH_UP;
    ASSERT_TRUE(ai_step_toward(&e->ai, point));
    EXPECT_NEAR(heading(e), plain * scaler, 1e-4f) << scaler;
  }
}

TEST_F(AiTurning, ConsoleSetsTheScalerAndTogglesTurnMoves) {
  static std::string out;
  out.clear();
  console_set_output_hook([](const char* t) { out += t; });
  console_execute("turn_scaler");
  EXPECT_EQ(out, "Usage: turn_scaler <value>\n");
  out.clear();
  console_execute("turn_scaler 2.5");
  EXPECT_EQ(out, "Turn scaler is 2.500\n");
  EXPECT_FLOAT_EQ(Turn_scaler, 2.5f);
  Use_turn_anims = false;
  console_execute("Turn_anims");
  EXPECT_TRUE(Use_turn_anims);
  console_execute("Turn_anims off");
  EXPECT_FALSE(Use_turn_anims);
  console_set_output_hook(nullptr);
}

}  // namespace

#include "Orrimund/control/movement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "quarn/os/key.h"

namespace {

std::set<int> Held;
double held_fraction(int code) { return Held.count(code) ? 1.0 : 0.0; }
bool is_down(int code) { return Held.count(code) != 0; }
bool Focus = false;
bool text_focus() { return Focus; }

class Movement : public ::testing::Test {
 protected:
  void SetUp() override {
    Held.clear();
    Focus = false;
    Allow_movement_vel_change = false;
    static const MovementKeys keys{held_fraction, is_down, text_focus};
    movement_set_keys(&keys);
    movement_set_limits(10.0f, 1.0f, 0.1f, 0.1f);
    position = {0, 0, 0};
    orientation.identity();
  }
  void TearDown() override {
    movement_set_keys(nullptr);
    Allow_movement_vel_change = false;
  }
  vector position{0, 0, 0};
  matrix orientation;
};

TEST_F(Movement, VelocityReachesSixtyThreePercentAfterOneTimeConstant) {
  Held = {MOVE_KEY_A};
  for (int i = 0; i < 10; ++i) movement_apply_controls(position, orientation, 0.01f);
  const float expected = 10.0f * (1.0f - std::exp(-1.0f));
  EXPECT_NEAR(movement_velocity().z, expected, 1e-3f);
  EXPECT_NEAR(movement_velocity().z / 10.0f, 0.632f, 1e-3f);
  // Distance is the integral of the eased speed: 10 * (t - tau (1 - e^-1)).
  EXPECT_NEAR(position.z, 10.0f * (0.1f - 0.1f * (1.0f - std::exp(-1.0f))), 1e-4f);
  EXPECT_NEAR(position.x, 0.0f, 1e-6f);
}

TEST_F(Movement, ZeroTimeConstantIsAtMaximumAtOnce) {
  movement_set_limits(10.0f, 1.0f, 0.0f, 0.0f);
  Held = {MOVE_KEY_PAD3};
  movement_apply_controls(position, orientation, 0.05f);
  EXPECT_FLOAT_EQ(movement_velocity().x, 10.0f);
  EXPECT_NEAR(position.x, 0.5f, 1e-6f);
}

TEST_F(Movement, KeysMoveAlongTheOrientationsRows) {
  movement_set_limits(2.0f, 1.0f, 0.0f, 0.0f);
  // Turned a quarter about the vertical: forward is world +x.
  orientation = matrix::from_rows({0, 0, -1}, {0, 1, 0}, {1, 0, 0});
  Held = {MOVE_KEY_A, MOVE_KEY_PADPLUS};
  movement_apply_controls(position, orientation, 0.5f);
  EXPECT_NEAR(position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(position.y, 1.0f, 1e-5f);
  EXPECT_NEAR(position.z, 0.0f, 1e-5f);
}

struct ModifierCase {
  bool allowed;
  std::set<int> modifiers;
  float speed_scale, turn_scale;
};

TEST_F(Movement, ShiftAndCtrlScaleLimitsOnlyWhenAllowed) {
  const ModifierCase cases[] = {
      {false, {KEY_LSHIFT}, 1.0f, 1.0f},
      {false, {KEY_RCTRL}, 1.0f, 1.0f},
      {true, {}, 1.0f, 1.0f},
      {true, {KEY_RSHIFT}, 5.0f, 5.0f},
      {true, {KEY_LCTRL}, 0.1f, 0.25f},
      {true, {KEY_LSHIFT, KEY_RCTRL}, 0.5f, 1.25f},
  };
  for (const ModifierCase& c : cases) {
    movement_set_limits(10.0f, 1.0f, 0.0f, 0.0f);
    Allow_movement_vel_change = c.allowed;
    Held = c.modifiers;
    Held.insert(MOVE_KEY_A);
    Held.insert(MOVE_KEY_PAD6);
    orientation.identity();
    movement_apply_controls(position, orientation, 0.01f);
    EXPECT_NEAR(movement_velocity().z, 10.0f * c.speed_scale, 1e-4f) << c.allowed;
    EXPECT_NEAR(movement_turn_rates().y, 1.0f * c.turn_scale, 1e-5f) << c.allowed;
  }
}

TEST_F(Movement, BankingIsThreeQuartersOfPitching) {
  movement_set_limits(10.0f, 2.0f, 0.0f, 0.0f);
  Held = {MOVE_KEY_PAD8, MOVE_KEY_PAD7};
  movement_apply_controls(position, orientation, 0.01f);
  EXPECT_FLOAT_EQ(movement_turn_rates().x, 2.0f);
  EXPECT_FLOAT_EQ(movement_turn_rates().z, 1.5f);
  // Opposite keys cancel.
  movement_set_limits(10.0f, 2.0f, 0.0f, 0.0f);
  Held = {MOVE_KEY_PAD4, MOVE_KEY_PAD6, MOVE_KEY_PAD9};
  movement_apply_controls(position, orientation, 0.01f);
  EXPECT_FLOAT_EQ(movement_turn_rates().y, 0.0f);
  EXPECT_FLOAT_EQ(movement_turn_rates().z, -1.5f);
}

TEST_F(Movement, HeadingTurnStaysOrthonormalAndTurnsByRateTimesTime) {
  movement_set_limits(10.0f, 1.0f, 0.0f, 0.0f);
  Held = {MOVE_KEY_PAD6};
  for (int i = 0; i < 50; ++i) movement_apply_controls(position, orientation, 0.01f);
  // 0.5 rad of heading in all: forward leans sideways by sin(0.5).
  EXPECT_NEAR(std::fabs(orientation.forward.x), std::sin(0.5f), 1e-3f);
  EXPECT_NEAR(orientation.forward.z, std::cos(0.5f), 1e-3f);
  EXPECT_NEAR(orientation.forward.length(), 1.0f, 1e-5f);
  EXPECT_NEAR(vector::dot(orientation.forward, orientation.right), 0.0f, 1e-5f);
}

TEST_F(Movement, TextFocusStopsAllMotion) {
  Focus = true;
  Held = {MOVE_KEY_A, MOVE_KEY_PAD6};
  movement_apply_controls(position, orientation, 0.5f);
  EXPECT_EQ(position, (vector{0, 0, 0}));
  EXPECT_FLOAT_EQ(movement_velocity().z, 0.0f);
}

}  // namespace

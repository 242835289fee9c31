#include "Orrimund/control/movement.h"

#include "quarn/math/exp_approach.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

bool Allow_movement_vel_change = false;

namespace {

vector Max_velocity{0, 0, 0};
vector Max_turn_rate{0, 0, 0};
vector Velocity{0, 0, 0};
vector Turn_rates{0, 0, 0};  // pitch, heading, bank
float Linear_tau = 0;
float Turn_tau = 0;
bool Limits_set = false;

bool no_text_focus() { return false; }
const MovementKeys Keyboard{key_down_fraction, key_is_down, no_text_focus};
MovementKeys Keys = Keyboard;

float held(int positive, int negative) {
  return static_cast<float>(Keys.held_fraction(positive) - Keys.held_fraction(negative));
}

// Eases current toward wanted over dt; returns the distance covered.
float ease(float tau, float wanted, float& current, float dt) {
  float value = 0, covered = 0;
  exp_approach(tau, wanted, current, dt, &value, &covered);
  current = value;
  return covered;
}

ConsoleCommand cc_movement_vel_change("movement_vel_change", "Toggles Allow_movement_vel_change", [] {
  if (Console_run) {
    console_get_arg(ARG_TRUE | ARG_FALSE | ARG_NONE);
    if (Console_arg.type & ARG_TRUE)
      Allow_movement_vel_change = true;
    else if (Console_arg.type & ARG_FALSE)
      Allow_movement_vel_change = false;
    else
      Allow_movement_vel_change = !Allow_movement_vel_change;
  }
  if (Console_help)
    console_printf("Usage: %s [bool]\nSets %s to true or false. If nothing passed, then toggles it\n",
                   "movement_vel_change", "Allow_movement_vel_change");
  if (Console_status)
    console_printf("%s is %s\n", "Allow_movement_vel_change",
                   Allow_movement_vel_change ? "TRUE" : "FALSE");
});

}  // namespace

void movement_set_keys(const MovementKeys* keys) { Keys = keys ? *keys : Keyboard; }

void movement_set_limits(float max_speed, float max_turn_rate, float linear_tau, float turn_tau) {
  Max_velocity = {max_speed, max_speed, max_speed};
  Max_turn_rate = {max_turn_rate, max_turn_rate, max_turn_rate};
  Linear_tau = linear_tau;
  Turn_tau = turn_tau;
  Velocity = {0, 0, 0};
  Turn_rates = {0, 0, 0};
  Limits_set = true;
}

vector movement_velocity() { return Velocity; }
vector movement_turn_rates() { return Turn_rates; }

void movement_apply_controls(vector& position, matrix& orientation, float dt) {
  if (Keys.text_focus()) return;
  vector max_vel = Max_velocity;
  vector max_turn = Max_turn_rate;
  if (Allow_movement_vel_change) {
    if (Keys.is_down(KEY_LSHIFT) || Keys.is_down(KEY_RSHIFT)) {
      max_vel = max_vel * 5.0f;
      max_turn = max_turn * 5.0f;
    }
    if (Keys.is_down(KEY_LCTRL) || Keys.is_down(KEY_RCTRL)) {
      max_vel = max_vel * 0.1f;
      max_turn = max_turn * 0.25f;
    }
  }

  const float local_x = max_vel.x * held(MOVE_KEY_PAD3, MOVE_KEY_PAD1);
  const float local_y = max_vel.y * held(MOVE_KEY_PADPLUS, MOVE_KEY_PADENTER);
  const float local_z = max_vel.z * held(MOVE_KEY_A, MOVE_KEY_Z);
  const vector wanted = orientation.right * local_x + orientation.up * local_y +
                        orientation.forward * local_z;
  for (int axis = 0; axis < 3; ++axis)
    position[axis] += ease(Linear_tau, wanted[axis], Velocity[axis], dt);

  const vector wanted_turn{max_turn.x * held(MOVE_KEY_PAD8, MOVE_KEY_PAD2),
                           max_turn.y * held(MOVE_KEY_PAD6, MOVE_KEY_PAD4),
                           max_turn.z * held(MOVE_KEY_PAD7, MOVE_KEY_PAD9) * 0.75f};
  for (int axis = 0; axis < 3; ++axis) ease(Turn_tau, wanted_turn[axis], Turn_rates[axis], dt);

  matrix turn = matrix::from_angles(Turn_rates.x * dt, Turn_rates.z * dt, Turn_rates.y * dt);
  matrix turned;
  turn.multiply(turned, orientation);
  orientation = turned;
  orientation.orthonormalize();
}

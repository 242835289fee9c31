#pragma once
// Keyboard flight for free cameras: the keypad and A/Z move a position and
// turn an orientation, and velocities and turn rates ease toward what the
// keys ask instead of jumping.
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

// Scan codes of the flight keys (keypad keys keep these codes whatever
// NumLock says).
constexpr int MOVE_KEY_PAD1 = 79;
constexpr int MOVE_KEY_PAD2 = 80;
constexpr int MOVE_KEY_PAD3 = 81;
constexpr int MOVE_KEY_PAD4 = 75;
constexpr int MOVE_KEY_PAD6 = 77;
constexpr int MOVE_KEY_PAD7 = 71;
constexpr int MOVE_KEY_PAD8 = 72;
constexpr int MOVE_KEY_PAD9 = 73;
constexpr int MOVE_KEY_PADPLUS = 78;
constexpr int MOVE_KEY_PADENTER = 156;
constexpr int MOVE_KEY_A = 30;
constexpr int MOVE_KEY_Z = 44;

// Console switch "movement_vel_change": Shift and Ctrl scale the limits only
// while it is on.
extern bool Allow_movement_vel_change;

// Sets both maximum vectors (the same value on every axis), zeroes the
// current velocity and turn rates and marks the limits set.
void movement_set_limits(float max_speed, float max_turn_rate, float linear_tau, float turn_tau);

// Moves and turns by the keys held over the frame of dt seconds. Nothing
// happens while a text box holds the keyboard focus.
void movement_apply_controls(vector& position, matrix& orientation, float dt);

// Current velocity (world axes) and turn rates (pitch, heading, bank).
vector movement_velocity();
vector movement_turn_rates();

// Where key state comes from; the defaults read the keyboard. Tests put
// their own in; null restores the default.
struct MovementKeys {
  double (*held_fraction)(int scan_code);
  bool (*is_down)(int scan_code);
  bool (*text_focus)();
};
void movement_set_keys(const MovementKeys* keys);

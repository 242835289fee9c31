#pragma once
// Mouse input: buttons and wheel recorded on the window thread, read by the
// game through a snapshot taken once per frame.
#include <cstdint>

constexpr int MOUSE_LEFT_BUTTON = 0;
constexpr int MOUSE_RIGHT_BUTTON = 1;
constexpr int MOUSE_MIDDLE_BUTTON = 2;
constexpr int MOUSE_NUM_BUTTONS = 3;
constexpr int MOUSE_DBL_CLICK_MS = 400;

// Once at start-up, after the keyboard, with the screen size.
void mouse_init(int width, int height);
// Exit routine: stops the module (a later mouse_init starts it afresh).
void mouse_close();
// Once per frame on the main thread: snapshot of buttons, position, deltas.
void mouse_frame();
// Takes a snapshot, then forgets all pending button state.
void mouse_flush();
// Clears the snapshot's double-click flags and counts.
void mouse_clear_counts();
// Clears every live button's down flag and counts, discarding pending clicks.
void mouse_discard_clicks();

// Queries on the snapshot (button 0 left, 1 right, 2 middle).
bool mouse_down(int button);
bool mouse_double_click(int button);
int mouse_down_count(int button);
int mouse_up_count(int button);
bool mouse_pressed(int button);
bool mouse_released(int button);
int mouse_down_time(int button);

// 0, or -1 with zeros when the module is not started. z is the wheel.
int mouse_get_pos(int* x, int* y, int* z);
void mouse_get_delta(int* dx, int* dy, int* dz);
// Moves the system cursor to a point of the window (while active).
void mouse_set_pos(int x, int y);

// The window-thread hook (registered by mouse_init); tests feed it directly.
void mouse_message_hook(uint32_t message, uint64_t wparam, int64_t lparam);

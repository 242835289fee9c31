#pragma once
// The game-state machine and the main loop. Every screen of the program is a
// row of three operations (enter, frame, leave). Anyone may request another
// state; the driver carries the change out at the start of its next turn, so
// a state's operations never run while another state is half set up.
#include <cstdint>

#include "Engine/gameflags.h"

constexpr int GS_NONE = 0;
constexpr int GS_TITLE = 1;
constexpr int GS_NEW_GAME = 2;
constexpr int GS_QUIT = 3;
constexpr int GS_GAMEPLAY = 4;
constexpr int GS_HELP = 5;
constexpr int GS_CHARACTER_LIST = 6;
constexpr int GS_DEV_HELP = 7;
constexpr int GS_DEV_LEVEL_PICKER = 8;
constexpr int GS_CREDITS = 9;
constexpr int GS_MULTI_CHARACTER_SELECT = 10;
constexpr int GS_LOBBY_CHAT = 11;
constexpr int GS_LOBBY_GAME_LIST = 12;
constexpr int GS_LOBBY_CREATE_GAME = 13;
constexpr int GS_LOBBY_LEVEL_SELECT = 14;
constexpr int NUM_GAME_STATES = 15;

// Key codes the menu reader acts on itself.
constexpr int KEYCODE_SCREENSHOT = 183;     // Print Screen
constexpr int KEYCODE_SHIFT_ESC = 4097;     // Shift with Escape
constexpr int KEYCODE_FLUSH_KEYS = 32782;

using GameStateOp = void (*)();
struct GameStateOps {
  GameStateOp enter, frame, leave;  // a null operation is skipped
};
// Replaces one row and returns the old one. The rows of the states whose
// screens live elsewhere are filled by their modules at start-up; tests put
// in fakes. Out-of-range states are ignored.
GameStateOps game_state_set_ops(int state, const GameStateOps& ops);
GameStateOps game_state_get_ops(int state);

void game_state_reset();
// No check of the number; a later request before the driver runs replaces
// an earlier one.
void game_state_request(int state);
int game_state_current();
int game_state_previous();
int game_state_requested();
bool game_state_pending();
void game_state_commit();
// One turn: pending changes, frame time, mouse, network, preload step, the
// state's frame, dialog sweep, end of frame. Returns the current state.
int game_state_driver();
// Runs the driver until it returns GS_QUIT, or until `stop` (when given)
// answers true: the program's own way out for signals and a closed window.
void main_loop(bool (*stop)() = nullptr);

// The game's copies of the mouse, taken once per turn.
extern int Mouse_x, Mouse_y, Mouse_z;
extern int Mouse_prev_x, Mouse_prev_y;

// While set in the gameplay state, the end of frame draws the loading icon
// (a cutscene is loading).
extern uint8_t Loading_icon_shown;

// UI mode: the world pauses for a modal screen. `a` and `b` are passed to
// the sound pause.
void enter_ui_mode(int a, int b);
void leave_ui_mode();
int in_ui_mode();
void lock_player_input();
void unlock_player_input();

// The key reader of every menu-like state: waits while the window is not
// active, takes Print Screen and Shift+Escape itself (answering 0), and
// returns any other key (0 when none).
int menu_frame_input();
// Reads keys with menu_frame_input and gives each to `handler` until no key
// is left; with to_ui set the UI toolkit's windows see each key first.
// Returns the last key.
int state_key_loop(void (*handler)(int key), bool to_ui);

// Holds and releases the game clock, counting the holds.
void game_pause();
void game_resume();
int game_pause_depth();
// Forgets typed keys and mouse buttons.
void input_flush();

// The shell's own rows.
void title_enter();
void title_frame();
void title_leave();
void newgame_enter();
void newgame_frame();
void credits_enter();
void credits_frame();

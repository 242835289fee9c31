#pragma once
// The screen manager: which front-end screen shows over the game, and the
// one route of every frame's keys, mouse and 2D drawing through that screen,
// the HUD, the message popup, the tooltip and the HUD message lines. Exactly
// one ScreenId is current; 0 is the HUD alone. Screens register their
// operations once at start-up; the current id changes only through
// set_screen. The manager also owns what every screen shares: the layout
// row of the resolution, the art set, the UI scale and the button records.
#include <cstdint>

#include "quarn/gr/gr.h"

enum ScreenId : int32_t {
  SCREEN_HUD = 0,
  SCREEN_INVENTORY = 1,
  SCREEN_STATUS = 2,
  SCREEN_AUTOMAP = 3,
  SCREEN_CONTAINER = 4,
  SCREEN_SPELLS = 5,
  SCREEN_SKILLS = 6,
  SCREEN_BUY_SELL = 7,
  SCREEN_SAVE_LOAD = 8,
  SCREEN_GAME_MENU = 9,
  SCREEN_JOURNAL = 10,
  SCREEN_LOBBY_CHAT = 11,
  SCREEN_OPTIONS = 12,
  SCREEN_TEXT_BOX = 13,
  SCREEN_MAIN_MENU = 14,
  SCREEN_GAME_LIST = 15,
  SCREEN_MULTI_CREATE = 16,
  SCREEN_CREATE_GAME = 17,
  SCREEN_LEVEL_SELECT = 18,
  SCREEN_TRADE = 19,
  SCREEN_ASSESS = 20,
  SCREEN_CREDITS = 21,
  SCREEN_HELP = 22,
  SCREEN_END_SPLASH = 23,
};
constexpr int NUM_SCREENS = 24;

// One bitmap row of a screen's table. An empty name means no bitmap; a name
// without '.' gets the art set's suffix and is drawn at the UI scale.
struct ScreenResource {
  char name[36];
  int32_t x[3], y[3];  // by resolution row
  int32_t kind;        // read by each screen with its own bits
};
// A row with its own place at each resolution.
constexpr ScreenResource screen_row(const char* name, int x0, int y0, int x1, int y1, int x2, int y2, int kind) {
  ScreenResource r{};
  for (int i = 0; i < 35 && name[i]; i++) r.name[i] = name[i];
  r.x[0] = x0, r.y[0] = y0, r.x[1] = x1, r.y[1] = y1, r.x[2] = x2, r.y[2] = y2;
  r.kind = kind;
  return r;
}

constexpr int32_t SB_DRAWN = 0x1;      // drawn always
constexpr int32_t SB_HIGHLIGHT = 0x2;  // highlighted this frame
constexpr int32_t SB_HIDDEN = 0x4;
struct ScreenButton {
  int32_t flags = 0;
  int32_t bitmap = -1;
  int32_t x = 0, y = 0, w = 0, h = 0;  // screen pixels
};

// A screen's operations; any may be null.
struct ScreenOps {
  void (*load)() = nullptr;        // once at start-up
  void (*level_init)() = nullptr;  // at each level start
  // `argument` as the screen's open takes it; `not_from_main_menu` is true
  // unless the screen left was the main menu.
  void (*open)(void* argument, bool not_from_main_menu) = nullptr;
  void (*close)() = nullptr;
  int (*input)(int key) = nullptr;  // the key not consumed
  void (*render)() = nullptr;
  bool (*hit_test)(int x, int y) = nullptr;
  int (*special)() = nullptr;
};
void screen_register(int id, const ScreenOps& ops);

// The mouse as the front end sees it for one frame.
struct ScreenMouse {
  int x = 0, y = 0, dx = 0, dy = 0, wheel = 0;
  bool left_down = false, right_down = false, middle_down = false;
  bool left_pressed = false, right_pressed = false, middle_pressed = false;  // went down this frame
  int left_presses = 0;  // presses of the left button since the last frame
};
extern ScreenMouse Screen_mouse;
using ScreenMouseSource = void (*)(ScreenMouse* out);
// Tests install their own; null reads the mouse module.
void screen_set_mouse_source(ScreenMouseSource source);
// Forgets the buttons, so a closing click does not reach the world.
void screen_flush_mouse();

// Sounds of the front end, by game sound number; tests replace the player.
using FrontSoundPlayer = void (*)(int sound);
void front_set_sound_player(FrontSoundPlayer player);
void front_play_sound(int sound);

// ---- resolution and art -------------------------------------------------------
// Layout row (0 640x480, 1 800x600, 2 1024x768) from the screen width.
int ui_resolution();
int ui_art_set();           // 1 for the "1024" art, else 0
const char* ui_art_suffix();  // "640.tga" or "1024.tga"
float ui_get_scale();       // screen width / art width
int ui_scaled(int v);       // v times the UI scale, rounded
// Screen width / 640: how the HUD's places of the 640 layout grow.
float ui_layout_scale();
int ui_layout_scaled(int v);  // rounded
// Turns rows into buttons: each counts one unit of loading progress.
void screen_buttons_build(const ScreenResource* rows, int count, ScreenButton* out);
void screen_buttons_release(ScreenButton* buttons, int count);
// Every button with bit 0 or 1, in row order, in white.
void screen_buttons_render(const ScreenButton* buttons, int count);
void screen_buttons_clear_highlight(ScreenButton* buttons, int count);
bool screen_button_hit(const ScreenButton& b, int x, int y);

// UI colours.
extern const Color Ui_text_color, Ui_hover_color, Ui_disabled_color, Ui_white, Ui_line2_color,
    Ui_loading_bar_color, Ui_band_color;

// ---- the manager ------------------------------------------------------------------
void screens_load_all();
// `after_each` (when given) runs after each screen's part: the level loader
// steps its bar by it.
void screens_level_init_all(void (*after_each)() = nullptr);
// How many screens take part in the level start.
int screens_level_init_count();
void screens_reset();
// False when the change was refused: an id outside 0..23, or a screen that
// needs an argument given none.
bool set_screen(int id, void* argument = nullptr);
int screen_get_current();
bool screen_is_modal();
bool screen_id_is_modal(int id);
bool screen_mouse_over();
int screen_process_input(int key);
void screen_render();
void screen_set_view_rect();
int screen_call_special();
// The screen character: a party index, -1 none.
void screen_set_character(int member);
int screen_get_character();
// Steps the screen character to the next (or previous) party member that
// can act, wrapping; stays when none can.
void screen_next_character();
void screen_prev_character();

// Set by the shell: closing the text box shows the end splash.
extern bool Screen_end_splash_flag;
// The show_ui switch: while set the HUD is neither drawn nor hit.
extern bool Hud_hidden;

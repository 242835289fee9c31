#include "Orrimund/screens/menus.h"

#include <cstdio>
#include <cstring>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
// The main menu's places are one set for every resolution, laid on the 640
// art. At 800x600 that art is drawn 1.25 times larger, so the places grow
// with it; otherwise every highlight would miss the item it lights.
constexpr ScreenResource main_row(const char* name, int x, int y, int kind) {
  ScreenResource r{};
  for (int i = 0; i < 35 && name[i]; i++) r.name[i] = name[i];
  r.x[0] = x, r.y[0] = y, r.x[1] = (x * 125 + 50) / 100, r.y[1] = (y * 125 + 50) / 100, r.x[2] = x, r.y[2] = y;
  r.kind = kind;
  return r;
}
constexpr ScreenResource menu_row(const char* name, int x0, int y0, int x1, int y1, int x2, int y2, int kind) {
  return screen_row(name, x0, y0, x1, y1, x2, y2, kind);
}
}  // namespace

const ScreenResource Main_menu_rows[MAIN_MENU_ROWS] = {
    main_row("DemoMainMenu", 0, 0, 0),
    main_row("DemoMainMenuStartHiLite", 371, 211, 1),  main_row("DemoMainMenuStartPress", 371, 211, 0),
    main_row("DemoMainMenuContHiLite", 371, 264, 1),   main_row("DemoMainMenuContPress", 371, 264, 0),
    main_row("DemoMainMenuOptionHiLite", 421, 317, 1), main_row("DemoMainMenuOptionPress", 421, 317, 0),
    main_row("DemoMainMenuQuitHiLite", 441, 370, 1),   main_row("DemoMainMenuQuitPress", 441, 370, 0),
};
ScreenButton Main_menu_buttons[MAIN_MENU_ROWS];

const ScreenResource Game_menu_rows[GAME_MENU_ROWS] = {
    menu_row("MenuPopup-bkg", 240, 136, 300, 170, 384, 218, 0),
    menu_row("MenuPopup-Game", 280, 212, 350, 265, 444, 342, 1),
    menu_row("MenuPopup-New", 296, 227, 370, 284, 473, 366, 2),
    menu_row("MenuPopup-Save", 296, 239, 370, 299, 473, 387, 2),
    menu_row("MenuPopup-Load", 296, 252, 370, 315, 473, 405, 2),
    menu_row("MenuPopup-Options", 280, 269, 350, 336, 444, 429, 2),
    menu_row("MenuPopup-Quit", 280, 289, 350, 361, 444, 464, 2),
    menu_row("crossbox-hilite2", 352, 204, 440, 255, 573, 327, 4),
    menu_row("crossbox2", 352, 204, 440, 255, 573, 327, 0),
};
ScreenButton Game_menu_buttons[GAME_MENU_ROWS];

namespace {
uint8_t Load_mode = 0;
uint8_t Save_mode = 1;

bool mouse_on(const ScreenButton& b) { return screen_button_hit(b, Screen_mouse.x, Screen_mouse.y); }

// ---- main menu -------------------------------------------------------------------
int g_main_state = 0;
int g_main_pressed = -1;

void start_new_game() { front().start_level(NEW_GAME_LEVEL, nullptr); }

int main_menu_input(int key) {
  screen_buttons_clear_highlight(Main_menu_buttons, MAIN_MENU_ROWS);
  if (popup_is_open()) return key;
  if (g_main_state == 0) {
    for (int r = 1; r < MAIN_MENU_ROWS; r++) {
      if (Main_menu_rows[r].kind != 1 || !mouse_on(Main_menu_buttons[r])) continue;
      Main_menu_buttons[r].flags |= SB_HIGHLIGHT;
      g_main_pressed = r;
      if (Screen_mouse.left_pressed) g_main_state = 1;
      break;
    }
    switch (key) {
      case KEY_ESC:
      case 16:
        set_screen(SCREEN_END_SPLASH, nullptr);
        return 0;
      case 31:
      case 49:
        front_play_sound(35);
        start_new_game();
        return 0;
      case 38:
        front_play_sound(35);
        set_screen(SCREEN_SAVE_LOAD, &Load_mode);
        return 0;
      case KEY_F1: set_screen(SCREEN_HELP, nullptr); return 0;
      case KEY_F1 + 1: set_screen(SCREEN_OPTIONS, nullptr); return 0;
      default: return key;
    }
  }
  const int used = g_main_pressed + 1;
  const bool on = used > 0 && used < MAIN_MENU_ROWS && mouse_on(Main_menu_buttons[used]);
  if (on) Main_menu_buttons[used].flags |= SB_HIGHLIGHT;
  if (Screen_mouse.left_down) return key;
  g_main_state = 0;
  if (!on) return key;
  switch (used) {
    case 2: front_play_sound(35); start_new_game(); break;
    case 4: front_play_sound(35); set_screen(SCREEN_SAVE_LOAD, &Load_mode); break;
    case 6: front_play_sound(35); set_screen(SCREEN_OPTIONS, nullptr); break;
    case 8: front_play_sound(36); set_screen(SCREEN_END_SPLASH, nullptr); break;
    default: break;
  }
  return key;
}

// ---- end splash ----------------------------------------------------------------------
int g_splash = -1;
RealTimestamp g_splash_time;

// ---- game menu -------------------------------------------------------------------------
int g_game_state = 0;
int g_game_pressed = -1;
bool g_owns_ui_mode = false;

bool row_hidden(int r) { return (Game_menu_buttons[r].flags & SB_HIDDEN) != 0; }

void light(int r) {
  Game_menu_buttons[r].flags |= SB_HIGHLIGHT;
  if (r >= 2 && r <= 4) Game_menu_buttons[1].flags |= SB_HIGHLIGHT;
}

void warn(const char* text) {
  static const char* const ok[] = {"OK"};
  MessagePopup("Warning", text, -1, -1, 1, ok, nullptr, 0);
}

void game_menu_action(int r) {
  static const char* const yes_no[] = {"Yes", "No"};
  switch (r) {
    case 2:
      front_play_sound(35);
      MessagePopup("New game", "Are you sure?", -1, -1, 2, yes_no, [](int b) {
        if (b == 0) {
          front().start_level(NEW_GAME_LEVEL, nullptr);
          game_flags_set(GF_SKIP_SWAP);
        }
        return 0;
      }, 0);
      break;
    case 3:
      front_play_sound(35);
      switch (front().save_allowed()) {
        case SAVE_ALLOWED: set_screen(SCREEN_SAVE_LOAD, &Save_mode); break;
        case SAVE_IN_COMBAT: warn("Cannot save in combat."); break;
        case SAVE_NOT_HERE: {
          const char* name = front().level_display_name();
          char text[POPUP_TEXT_MAX + 1];
          if (!name || std::strcmp(name, "unknown") == 0) std::snprintf(text, sizeof text, "Cannot save here.");
          else std::snprintf(text, sizeof text, "Cannot save in %s.", name);
          warn(text);
          break;
        }
        case SAVE_SUMMON: warn("Cannot save during summon."); break;
        default: warn("Cannot save now."); break;
      }
      break;
    case 4: front_play_sound(35); set_screen(SCREEN_SAVE_LOAD, &Load_mode); break;
    case 5: front_play_sound(35); set_screen(SCREEN_OPTIONS, nullptr); break;
    case 6:
      front_play_sound(35);
      MessagePopup("Quit game", "Are you sure?", -1, -1, 2, yes_no, [](int b) {
        if (b != 0) return 0;
        // Leaving a networked session belongs to the session module.
        if (!game_is_networked()) game_state_request(GS_TITLE);
        return 0;
      }, 0);
      break;
    case 8: set_screen(SCREEN_HUD, nullptr); front_play_sound(36); break;
    default: break;
  }
}

int game_menu_input(int key) {
  screen_buttons_clear_highlight(Game_menu_buttons, GAME_MENU_ROWS);
  if (popup_is_open()) return key;
  if (g_game_state == 0) {
    g_game_pressed = -1;
    for (int r = 1; r < GAME_MENU_ROWS; r++) {
      const int k = Game_menu_rows[r].kind;
      if (row_hidden(r) || (k != 1 && k != 2 && k != 4) || !mouse_on(Game_menu_buttons[r])) continue;
      light(r);
      g_game_pressed = r;
      if ((k == 2 || k == 4) && Screen_mouse.left_pressed) g_game_state = 1;
      break;
    }
    if (key == KEY_ESC) {
      set_screen(SCREEN_HUD, nullptr);
      front_play_sound(36);
      return 0;
    }
    return key;
  }
  const int p = g_game_pressed;
  const int used = p >= 0 && Game_menu_rows[p].kind == 4 ? p + 1 : p;
  const bool on = used > 0 && used < GAME_MENU_ROWS && mouse_on(Game_menu_buttons[used]);
  if (on) light(used);
  if (Screen_mouse.left_down) return key;
  g_game_state = 0;
  if (on) game_menu_action(used);
  return key;
}
}  // namespace

void main_menu_register() {
  ScreenOps o;
  o.load = [] { screen_buttons_build(Main_menu_rows, MAIN_MENU_ROWS, Main_menu_buttons); };
  o.open = [](void*, bool) {
    g_main_state = 0;
    g_main_pressed = -1;
  };
  o.input = main_menu_input;
  o.render = [] { screen_buttons_render(Main_menu_buttons, MAIN_MENU_ROWS); };
  screen_register(SCREEN_MAIN_MENU, o);
}

void end_splash_register() {
  ScreenOps o;
  o.open = [](void*, bool) {
    g_splash = bm_load("DemoEndSplash.tga");
    if (g_splash >= 0 && bm_is_placeholder(g_splash)) g_splash = -1;
    g_splash_time.set(END_SPLASH_MS);
  };
  o.input = [](int key) {
    if (key != 0 || g_splash_time.elapsed()) game_state_request(GS_QUIT);
    return 0;
  };
  o.render = [] {
    if (g_splash < 0) return;
    int w = 0, h = 0;
    bm_get_size(g_splash, &w, &h);
    gr_set_color_rec(Ui_white);
    gr_bitmap_scaled(g_splash, 0, 0, gr_screen_width(), gr_screen_height(), 0, 0, w, h, Gr_preset[1]);
  };
  screen_register(SCREEN_END_SPLASH, o);
}

void game_menu_register() {
  ScreenOps o;
  o.level_init = [] { screen_buttons_build(Game_menu_rows, GAME_MENU_ROWS, Game_menu_buttons); };
  o.open = [](void*, bool) {
    g_game_state = 0;
    g_game_pressed = -1;
    g_owns_ui_mode = false;
    // A networked game's world runs on under the menu.
    if (game_is_single_player() && !in_ui_mode()) {
      enter_ui_mode(0, 0);
      g_owns_ui_mode = true;
    }
    for (int r = 2; r <= 4; r++) {
      if (game_is_networked()) Game_menu_buttons[r].flags |= SB_HIDDEN;
      else Game_menu_buttons[r].flags &= ~SB_HIDDEN;
    }
  };
  o.close = [] {
    if (g_owns_ui_mode) leave_ui_mode();
    g_owns_ui_mode = false;
  };
  o.input = game_menu_input;
  o.render = [] { screen_buttons_render(Game_menu_buttons, GAME_MENU_ROWS); };
  o.hit_test = [](int x, int y) { return screen_button_hit(Game_menu_buttons[0], x, y); };
  screen_register(SCREEN_GAME_MENU, o);
}

bool game_menu_owns_ui_mode() { return g_owns_ui_mode; }

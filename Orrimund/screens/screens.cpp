#include "Orrimund/screens/screens.h"

#include <cstdio>
#include <cstring>

#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/assess_screen.h"
#include "Orrimund/screens/automap_screen.h"
#include "Orrimund/screens/buysell_screen.h"
#include "Orrimund/screens/container_screen.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/help_credits.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/inventory_screen.h"
#include "Orrimund/screens/journal_screen.h"
#include "Orrimund/screens/menus.h"
#include "Orrimund/screens/options_screen.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/save_screen.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/skills_screen.h"
#include "Orrimund/screens/status_screen.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/timer.h"

const Color Ui_text_color(180, 180, 180, 255);
const Color Ui_hover_color(255, 255, 158, 255);
const Color Ui_disabled_color(90, 90, 90, 255);
const Color Ui_white(255, 255, 255, 255);
const Color Ui_line2_color(211, 106, 106, 255);
const Color Ui_loading_bar_color(36, 121, 28, 255);
const Color Ui_band_color(0, 0, 0, 196);

ScreenMouse Screen_mouse;
bool Screen_end_splash_flag = false;
bool Hud_hidden = false;

namespace {
ScreenOps g_ops[NUM_SCREENS];
int g_current = SCREEN_HUD;
int g_character = -1;
ScreenMouseSource g_mouse_source = nullptr;
FrontSoundPlayer g_sound_player = nullptr;

const ScreenOps* ops_of(int id) { return id >= 0 && id < NUM_SCREENS ? &g_ops[id] : nullptr; }

void mouse_from_module(ScreenMouse* out) {
  int z = 0;
  mouse_get_pos(&out->x, &out->y, &z);
  mouse_get_delta(&out->dx, &out->dy, &out->wheel);
  out->left_down = mouse_down(MOUSE_LEFT_BUTTON);
  out->right_down = mouse_down(MOUSE_RIGHT_BUTTON);
  out->middle_down = mouse_down(MOUSE_MIDDLE_BUTTON);
  out->left_pressed = mouse_pressed(MOUSE_LEFT_BUTTON);
  out->left_presses = mouse_down_count(MOUSE_LEFT_BUTTON);
  out->right_pressed = mouse_pressed(MOUSE_RIGHT_BUTTON);
  out->middle_pressed = mouse_pressed(MOUSE_MIDDLE_BUTTON);
}

// Screens whose open takes a pointer.
bool needs_argument(int id) {
  return id == SCREEN_INVENTORY || id == SCREEN_CONTAINER || id == SCREEN_SAVE_LOAD || id == SCREEN_TEXT_BOX ||
         id == SCREEN_ASSESS;
}

// Screens that show the party member set as the screen character.
bool needs_character(int id) {
  return id == SCREEN_INVENTORY || id == SCREEN_STATUS || id == SCREEN_BUY_SELL || id == SCREEN_JOURNAL;
}

bool registered(int id) {
  const ScreenOps& o = g_ops[id];
  return o.load || o.level_init || o.open || o.close || o.input || o.render || o.hit_test || o.special;
}

bool whole_screen(int id) {
  return id == 1 || id == 2 || id == 7 || id == 8 || id == 10 || id == 11 || id == 12 || (id >= 14 && id <= 18) ||
         (id >= 21 && id <= 23);
}

ConsoleCommand cc_show_ui("show_ui", "Toggles the visibility state of the HUD", [] {
  if (Console_run) Hud_hidden = !Hud_hidden;
  if (Console_status) {
    char line[64];
    std::snprintf(line, sizeof line, "HUD is %s\n", Hud_hidden ? "hidden" : "shown");
    console_output(line);
  }
});
}  // namespace

void screen_register(int id, const ScreenOps& ops) {
  if (id >= 0 && id < NUM_SCREENS) g_ops[id] = ops;
}

void screen_set_mouse_source(ScreenMouseSource source) { g_mouse_source = source; }

void screen_flush_mouse() {
  mouse_flush();
  Screen_mouse.left_down = Screen_mouse.right_down = Screen_mouse.middle_down = false;
  Screen_mouse.left_pressed = Screen_mouse.right_pressed = Screen_mouse.middle_pressed = false;
  Screen_mouse.left_presses = 0;
}

void front_set_sound_player(FrontSoundPlayer player) { g_sound_player = player; }
void front_play_sound(int sound) {
  if (g_sound_player) g_sound_player(sound);
  else gamesound_play_default(sound, 1.0f);
}

// ---- resolution and art ----------------------------------------------------------

int ui_resolution() {
  const int w = gr_screen_width();
  return w >= 1024 ? 2 : w >= 800 ? 1 : 0;
}
int ui_art_set() { return ui_resolution() == 2 ? 1 : 0; }
const char* ui_art_suffix() { return ui_art_set() ? "1024.tga" : "640.tga"; }
float ui_get_scale() {
  const int w = gr_screen_width();
  return w > 0 ? static_cast<float>(w) / (ui_art_set() ? 1024.0f : 640.0f) : 1.0f;
}
int ui_scaled(int v) { return static_cast<int>(v * ui_get_scale() + 0.5f); }
float ui_layout_scale() { return gr_screen_width() * 0.0015625f; }
int ui_layout_scaled(int v) { return static_cast<int>(v * ui_layout_scale() + 0.5f); }

void screen_buttons_build(const ScreenResource* rows, int count, ScreenButton* out) {
  const int r = ui_resolution();
  for (int i = 0; i < count; i++) {
    ScreenButton& b = out[i];
    b = ScreenButton{};
    load_progress_tick();
    const char* name = rows[i].name;
    bool scale = false;
    if (name[0]) {
      char file[64];
      if (!std::strchr(name, '.')) {
        std::snprintf(file, sizeof file, "%s%s", name, ui_art_suffix());
        scale = true;
      } else {
        std::snprintf(file, sizeof file, "%s", name);
      }
      b.bitmap = bm_load(file);
      // A missing file is a button that is never drawn nor hit, not a
      // placeholder grid over the screen.
      if (b.bitmap >= 0 && bm_is_placeholder(b.bitmap)) b.bitmap = -1;
    }
    b.x = rows[i].x[r];
    b.y = rows[i].y[r];
    if (b.bitmap >= 0) {
      int w = 0, h = 0;
      bm_get_size(b.bitmap, &w, &h);
      b.w = scale ? static_cast<int>(w * ui_get_scale() + 0.5f) : w;
      b.h = scale ? static_cast<int>(h * ui_get_scale() + 0.5f) : h;
    }
    if (i == 0) b.flags |= SB_DRAWN;
  }
}

void screen_buttons_release(ScreenButton* buttons, int count) {
  for (int i = 0; i < count; i++) buttons[i] = ScreenButton{};
}

void screen_buttons_render(const ScreenButton* buttons, int count) {
  for (int i = 0; i < count; i++) {
    const ScreenButton& b = buttons[i];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT)) || (b.flags & SB_HIDDEN)) continue;
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
}

void screen_buttons_clear_highlight(ScreenButton* buttons, int count) {
  for (int i = 0; i < count; i++) buttons[i].flags &= ~SB_HIGHLIGHT;
}

bool screen_button_hit(const ScreenButton& b, int x, int y) {
  return b.bitmap >= 0 && !(b.flags & SB_HIDDEN) && point_in_rect(x, y, b.x, b.y, b.w, b.h);
}

// ---- the manager --------------------------------------------------------------------

void screens_load_all() {
  // What the party asks of the screens.
  Party_hooks.screen_special = [] { screen_call_special(); };
  Party_hooks.hud_clear_buttons = hud_clear_pending_buttons;
  Party_hooks.hud_message = [](const char* text) { hud_message(text); };
  // The screens of this build; each later screen adds its line here.
  hud_register();
  main_menu_register();
  end_splash_register();
  game_menu_register();
  inventory_screen_register();
  save_screen_register();
  help_screen_register();
  credits_screen_register();
  options_screen_register();
  container_screen_register();
  journal_screen_register();
  status_screen_register();
  buysell_screen_register();
  assess_screen_register();
  automap_screen_register();
  skills_screen_register();
  g_current = SCREEN_HUD;
  g_character = -1;
  for (const ScreenOps& o : g_ops)
    if (o.load) o.load();
  bm_load("cursorspot-focus.tga");
  bm_load("cursorspot-focus-large.tga");
  bm_load(ui_art_set() ? "MessagePopupBckgrnd21024.tga" : "MessagePopupBkgrnd2640.tga");
  bm_load(ui_art_set() ? "LoadingPopup1024.tga" : "LoadingPopup640.tga");
}

void screens_level_init_all(void (*after_each)()) {
  g_character = -1;
  set_screen(SCREEN_HUD, nullptr);
  for (const ScreenOps& o : g_ops) {
    if (!o.level_init) continue;
    o.level_init();
    if (after_each) after_each();
  }
  hud_messages_clear();
  Hud_target_word = -1;
}

int screens_level_init_count() {
  int n = 0;
  for (const ScreenOps& o : g_ops) n += o.level_init != nullptr;
  return n;
}

void screens_reset() {
  g_character = -1;
  g_current = SCREEN_HUD;
  popup_close();
  choice_list_close();
  loading_screen_end();
  leave_ui_mode();
}

bool screen_id_is_modal(int id) {
  switch (id) {
    case 0: case 3: case 4: case 5: case 6: case 9: case 13: case 19: case 20: return false;
    default: return true;
  }
}

bool set_screen(int id, void* argument) {
  if (id < 0 || id >= NUM_SCREENS) return false;
  // A screen this build does not have would become current with nothing to
  // draw it or to leave it: the player would be stuck behind it.
  if (id != SCREEN_HUD && !registered(id)) return false;
  // A screen that works on what it is given cannot open on nothing: it would
  // run its input and drawing on stale or missing state.
  if (needs_argument(id) && !argument) return false;
  const int old = g_current;
  const bool old_modal = screen_id_is_modal(old);
  // Closed once, even when the request falls back to the HUD below.
  if (const ScreenOps* o = ops_of(old); o && o->close) o->close();
  if (old_modal) {
    if (id == SCREEN_HUD) screen_flush_mouse();
  } else if (needs_character(id) && g_character < 0) {
    const int sel = front().party_selected();
    if (sel >= 0 && sel < front().party_count()) {
      screen_set_character(sel);
    } else {
      int found = -1;
      for (int i = 0; i < front().party_count() && found < 0; i++)
        if (front().party_member(i).can_act) found = i;
      if (found >= 0) screen_set_character(found);
      else id = SCREEN_HUD, argument = nullptr;
    }
  }
  if (Screen_end_splash_flag && old == SCREEN_TEXT_BOX && id == SCREEN_HUD) id = SCREEN_END_SPLASH;
  g_current = id;
  if (const ScreenOps* o = ops_of(id); o && o->open) o->open(argument, old != SCREEN_MAIN_MENU);
  tooltip_hide();
  return true;
}

int screen_get_current() { return g_current; }
bool screen_is_modal() { return screen_id_is_modal(g_current); }

void screen_set_character(int member) {
  g_character = member;
  screen_call_special();
}
int screen_get_character() { return g_character; }

namespace {
void step_character(int dir) {
  const int n = front().party_count();
  if (n <= 0) return;
  const int start = g_character < 0 ? 0 : g_character;
  for (int k = 1; k <= n; k++) {
    const int i = ((start + dir * k) % n + n) % n;
    if (front().party_member(i).can_act) {
      screen_set_character(i);
      return;
    }
  }
  screen_set_character(start);
}
}  // namespace

void screen_next_character() { step_character(1); }
void screen_prev_character() { step_character(-1); }

int screen_call_special() {
  const ScreenOps* o = ops_of(g_current);
  return o && o->special ? o->special() : 0;
}

bool screen_mouse_over() {
  bool over = false;
  const int id = g_current;
  if (whole_screen(id)) {
    over = true;
  } else if (id != SCREEN_HUD) {
    const ScreenOps* o = ops_of(id);
    over = o && o->hit_test && o->hit_test(Screen_mouse.x, Screen_mouse.y);
  }
  if (Hud_hidden || screen_is_modal()) return over;
  return over || hud_mouse_over(Screen_mouse.x, Screen_mouse.y);
}

int screen_process_input(int key) {
  if (g_mouse_source) g_mouse_source(&Screen_mouse);
  else mouse_from_module(&Screen_mouse);
  Ui_clock += FrameTimer;
  hud_message_expire();
  tooltip_track(key);
  if (game_flags_test(GF_CUTSCENE)) {
    if (key == KEY_ESC && front().cutscene_skip()) return 0;
    return key;
  }
  if (popup_process_input(key)) key = 0;
  if (g_current >= 1 && g_current < NUM_SCREENS) {
    const ScreenOps* o = ops_of(g_current);
    if (o->input) key = o->input(key);
  }
  if (!screen_is_modal()) key = hud_process_input(key);
  return key;
}

void screen_render() {
  if (game_flags_test(GF_CUTSCENE | GF_NO_UI)) return;
  const bool modal = screen_is_modal();
  gr_reset_clip();
  if (!Hud_hidden && !modal) hud_render();
  if (g_current >= 1 && g_current < NUM_SCREENS) {
    const ScreenOps* o = ops_of(g_current);
    if (o->render) o->render();
  }
  popup_render();
  if (!Hud_hidden && !modal) hud_render_overlay();
  tooltip_render();
  if (!modal) {
    if (g_current != SCREEN_TEXT_BOX) hud_message_render();
    hud_message2_render();
  }
}

void screen_set_view_rect() {
  const int w = gr_screen_width(), h = gr_screen_height();
  if (game_flags_test(GF_CUTSCENE)) {
    gr_set_clip(0, (h - w / 2) / 2, w, w / 2);
    return;
  }
  if (Hud_hidden) {
    gr_set_clip(0, 0, w, h);
    return;
  }
  switch (g_current) {
    case 0: case 3: case 4: case 5: case 6: case 9: case 13: case 19: case 20:
      gr_set_clip(0, 0, w, h - hud_bar_height());
      break;
    default:
      gr_set_clip(0, 0, w, h);
      break;
  }
}

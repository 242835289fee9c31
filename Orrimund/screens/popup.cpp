#include "Orrimund/screens/popup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
constexpr uint32_t STILL_ON = 0x40000000u;
// By layout row: 640x480, 800x600, 1024x768.
constexpr int POP_W[3] = {293, 366, 469}, POP_H[3] = {165, 206, 264};
constexpr int TITLE_OFF[3] = {8, 10, 13};
constexpr int TEXT_TOP[3] = {45, 56, 72};
constexpr int TEXT_W[3] = {280, 350, 448};
constexpr int ROW_OFF[3] = {101, 126, 162};

struct Popup {
  char title[POPUP_TITLE_MAX + 1] = {};
  char text[POPUP_TEXT_MAX + 1] = {};
  int x = 0, y = 0;
  int count = 0;
  char labels[POPUP_MAX_BUTTONS][POPUP_LABEL_MAX + 1] = {};
  uint32_t user = 0;
  PopupCallback callback = nullptr;
  int state = 0;
  int pressed = -1;
  bool owns_ui_mode = false;  // this popup paused the game
  int background = -1;
} g_pop;
int g_last_result = -1;

void copy_cut(char* dest, size_t size, const char* src) { std::snprintf(dest, size, "%s", src ? src : ""); }

int font_h() { return gr_font_select(-1); }

void label_rect(int i, int* x, int* y, int* w, int* h) {
  gr_get_string_size(w, h, g_pop.labels[i]);
  *x = popup_button_center_x(i) - *w / 2;
  *y = popup_button_row_y();
}

int hovered_button() {
  for (int i = 0; i < g_pop.count; i++) {
    int x, y, w, h;
    label_rect(i, &x, &y, &w, &h);
    if (point_in_rect(Screen_mouse.x, Screen_mouse.y, x, y, w, h)) return i;
  }
  return -1;
}

void close_popup(int result) {
  g_pop.user &= ~(POPUP_OPEN | STILL_ON);
  // Only the pause this popup took is given back: a popup over the game
  // menu must not resume a game the menu holds.
  if (g_pop.owns_ui_mode) leave_ui_mode();
  g_pop.owns_ui_mode = false;
  g_last_result = result;
}
}  // namespace

void MessagePopup(const char* title, const char* text, int x, int y, int count, const char* const* labels,
                  PopupCallback callback, uint32_t user) {
  const int r = ui_resolution();
  const bool was_open = popup_is_open();
  const bool owned = was_open && g_pop.owns_ui_mode;
  g_pop = Popup{};
  g_pop.owns_ui_mode = owned;
  copy_cut(g_pop.title, sizeof g_pop.title, title);
  copy_cut(g_pop.text, sizeof g_pop.text, text);
  g_pop.count = std::clamp(count, 0, POPUP_MAX_BUTTONS);
  for (int i = 0; i < g_pop.count; i++) copy_cut(g_pop.labels[i], sizeof g_pop.labels[i], labels ? labels[i] : "");
  const int sw = gr_screen_width(), sh = gr_screen_height();
  g_pop.x = x < 0 ? (sw - POP_W[r]) / 2 : std::min(x, sw - POP_W[r]);
  g_pop.y = y < 0 ? (sh - POP_H[r]) / 2 : std::min(y, sh - POP_H[r]);
  // Without a button, Escape is the only way out: forbidding it would lock
  // the game behind the popup for good.
  if (g_pop.count == 0) user &= ~POPUP_NO_ESCAPE;
  g_pop.user = user | POPUP_OPEN;
  g_pop.callback = callback;
  g_pop.background = bm_load(ui_art_set() ? "MessagePopupBckgrnd21024.tga" : "MessagePopupBkgrnd2640.tga");
  if (g_pop.background >= 0 && bm_is_placeholder(g_pop.background)) g_pop.background = -1;
  if ((user & POPUP_PAUSES) && game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g_pop.owns_ui_mode = true;
  }
  const int cur = screen_get_current();
  if (cur == SCREEN_AUTOMAP || cur == SCREEN_SPELLS || cur == SCREEN_SKILLS || cur == SCREEN_TRADE)
    set_screen(SCREEN_HUD, nullptr);
  if (game_flags_test(GF_LEVEL_IN_PLAY)) front_play_sound(39);
}

bool popup_is_open() { return (g_pop.user & POPUP_OPEN) != 0; }
void popup_close() {
  if (popup_is_open()) close_popup(-1);
}
int popup_last_result() { return g_last_result; }
void popup_rect(int* x, int* y, int* w, int* h) {
  const int r = ui_resolution();
  *x = g_pop.x, *y = g_pop.y, *w = POP_W[r], *h = POP_H[r];
}
int popup_button_center_x(int i) {
  const int w = POP_W[ui_resolution()];
  return g_pop.x + static_cast<int>(std::lround(static_cast<double>(i + 1) / (g_pop.count + 1) * w));
}
int popup_button_row_y() {
  const int r = ui_resolution();
  return g_pop.y + TEXT_TOP[r] + ROW_OFF[r] - font_h();
}
const char* popup_title() { return g_pop.title; }
const char* popup_text() { return g_pop.text; }

bool popup_process_input(int key) {
  if (!popup_is_open()) return false;
  int result = -1;
  const int hovered = hovered_button();
  if (g_pop.state == 0) {
    g_pop.pressed = hovered;
    if (hovered >= 0) g_pop.user |= STILL_ON;
    else g_pop.user &= ~STILL_ON;
    if (Screen_mouse.left_pressed) {
      g_pop.state = 1;
    } else if (key == KEY_ESC && !(g_pop.user & POPUP_NO_ESCAPE)) {
      close_popup(POPUP_ESCAPED);
      front_play_sound(35);
      return true;
    }
  } else {
    g_pop.user &= ~STILL_ON;
    if (hovered >= 0 && hovered == g_pop.pressed) g_pop.user |= STILL_ON;
    if (Screen_mouse.left_down) return true;
    // Only a press and release on one real button answers: a release off
    // every button would close the popup without telling its caller.
    if ((g_pop.user & STILL_ON) && g_pop.pressed >= 0) {
      result = g_pop.pressed;
      close_popup(result);
      front_play_sound(35);
    } else {
      g_pop.state = 0;
    }
  }
  if (result >= 0 && g_pop.callback) {
    const PopupCallback cb = g_pop.callback;
    cb(result);
  }
  return true;
}

void popup_render() {
  if (!popup_is_open()) return;
  const int r = ui_resolution();
  gr_set_color_rec(Ui_white);
  if (g_pop.background >= 0) ui_draw_bitmap_scaled(g_pop.background, g_pop.x, g_pop.y);
  else ui_draw_panel_box(g_pop.x, g_pop.y, POP_W[r], POP_H[r]);
  gr_set_color_rec(Ui_text_color);
  gr_string(g_pop.x + TITLE_OFF[r], g_pop.y + TITLE_OFF[r], g_pop.title);
  int lengths[POPUP_MAX_LINES];
  const char* starts[POPUP_MAX_LINES];
  const int lines = gr_split_text(lengths, starts, g_pop.text, TEXT_W[r], POPUP_MAX_LINES);
  const int fh = font_h();
  char line[POPUP_TEXT_MAX + 1];
  for (int i = 0; i < lines; i++) {
    std::snprintf(line, sizeof line, "%.*s", lengths[i], starts[i]);
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, line);
    gr_string(g_pop.x + POP_W[r] / 2 - w / 2, g_pop.y + TEXT_TOP[r] + i * fh, line);
  }
  for (int i = 0; i < g_pop.count; i++) {
    int x, y, w, h;
    label_rect(i, &x, &y, &w, &h);
    const bool lit = i == g_pop.pressed && (g_pop.user & STILL_ON);
    gr_set_color_rec(lit ? Ui_hover_color : Ui_text_color);
    gr_string(x, y, g_pop.labels[i]);
  }
}

// ---- HUD message lines ---------------------------------------------------------------

namespace {
constexpr int MESSAGE_MS = 4000;
constexpr int LINE1_Y[3] = {10, 13, 16};
constexpr int LINE2_X[3] = {143, 179, 229}, LINE2_Y[3] = {163, 204, 261};
char g_line1[64] = {};
char g_line2[16] = {};
GameTimestamp g_line1_time, g_line2_time;

float fade_of(const GameTimestamp& t) { return std::clamp(t.time_left() * 0.00025f, 0.0f, 1.0f); }
Color faded(const Color& c, float f) {
  return Color(c.red, c.green, c.blue, static_cast<int>(std::lround(c.alpha * f)));
}
}  // namespace

int hud_message(const char* text) {
  const size_t n = text ? std::strlen(text) + 1 : 0;
  if (n < 1 || n > sizeof g_line1 || !text) return 0;
  std::memcpy(g_line1, text, n);
  g_line1_time.set(MESSAGE_MS);
  return 1;
}

void hud_message2(const char* text) {
  const size_t n = text ? std::strlen(text) + 1 : 0;
  if (n < 1 || n > sizeof g_line2 || !text) return;
  std::memcpy(g_line2, text, n);
  g_line2_time.set(MESSAGE_MS);
}

void hud_messages_clear() {
  g_line1_time.invalidate();
  g_line2_time.invalidate();
}
bool hud_message_active() { return g_line1_time.is_valid(); }
const char* hud_message_text() { return g_line1; }
float hud_message_fade() { return g_line1_time.is_valid() ? fade_of(g_line1_time) : 0.0f; }
void hud_message_expire() {
  if (g_line1_time.is_valid() && g_line1_time.elapsed()) g_line1_time.invalidate();
}

void hud_message_render() {
  if (!g_line1_time.is_valid() || screen_is_modal() || screen_get_current() == SCREEN_TEXT_BOX) return;
  const float f = fade_of(g_line1_time);
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, g_line1);
  const int y = LINE1_Y[ui_resolution()];
  ui_fill_rect(0, y, cw, h, faded(Ui_band_color, f));
  gr_set_color_rec(faded(Ui_text_color, f));
  gr_string((cw - w) / 2, y, g_line1);
}

void hud_message2_render() {
  if (!g_line2_time.is_valid() || screen_is_modal()) return;
  const int r = ui_resolution();
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  const int x = LINE2_X[r] + std::max(0, (cw - gr_screen_width()) / 2);
  gr_set_color_rec(faded(Ui_line2_color, fade_of(g_line2_time)));
  gr_string(x, LINE2_Y[r], g_line2);
}

// ---- tooltip ------------------------------------------------------------------------------

namespace {
constexpr int TIP_REST_MS = 600;
constexpr int PAD_L = 1, PAD_R = 0, PAD_T = 1, PAD_B = 1;
constexpr int TIP_DY[3] = {-5, -6, -8};
struct Tooltip {
  int ax = 0, ay = 0, aw = 0, ah = 0;
  char text[64] = {};
  int x = 0, y = 0, w = 0, h = 0;
  bool shown = false;
  RealTimestamp rest;
} g_tip;
}  // namespace

bool tooltip_ready() { return !g_tip.shown && g_tip.rest.is_valid() && g_tip.rest.elapsed(); }
bool tooltip_shown() { return g_tip.shown; }

void tooltip_hide() {
  g_tip.shown = false;
  g_tip.rest.set(TIP_REST_MS);
}

int tooltip_show(int x, int y, int w, int h, const char* text) {
  const size_t n = text ? std::strlen(text) + 1 : 0;
  if (n < 1 || n > sizeof g_tip.text) return 0;
  g_tip.ax = x, g_tip.ay = y, g_tip.aw = w, g_tip.ah = h;
  gr_get_string_size(&g_tip.w, &g_tip.h, text);
  const int r = ui_resolution();
  const int sw = gr_screen_width(), sh = gr_screen_height();
  g_tip.x = std::clamp(Screen_mouse.x - g_tip.w / 2 - PAD_L - 1, 0, std::max(0, sw - 3 - PAD_R - PAD_L - g_tip.w));
  g_tip.y = std::clamp(Screen_mouse.y + TIP_DY[r] - PAD_B - PAD_T - g_tip.h - 2, 0,
                       std::max(0, sh - 3 - PAD_B - PAD_T - g_tip.h));
  std::memcpy(g_tip.text, text, n);
  g_tip.shown = true;
  return 0;
}

void tooltip_track(int key) {
  const ScreenMouse& m = Screen_mouse;
  const bool buttons = m.left_down || m.right_down;
  if (!g_tip.shown) {
    if (m.dx == 0 && m.dy == 0 && m.wheel == 0 && !buttons && key == 0) {
      if (!g_tip.rest.is_valid()) g_tip.rest.set(TIP_REST_MS);
      return;
    }
    tooltip_hide();
    return;
  }
  if (m.wheel == 0 && !buttons && key == 0 && point_in_rect(m.x, m.y, g_tip.ax, g_tip.ay, g_tip.aw, g_tip.ah)) return;
  tooltip_hide();
}

void tooltip_render() {
  if (!g_tip.shown) return;
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  gr_reset_clip();
  const int bw = PAD_L + PAD_R + g_tip.w + 2, bh = PAD_T + PAD_B + g_tip.h + 2;
  ui_fill_rect(g_tip.x, g_tip.y, bw, bh, Ui_band_color);
  gr_set_color_rec(Ui_text_color);
  gr_line(g_tip.x, g_tip.y, g_tip.x + bw - 1, g_tip.y, Gr_preset[7]);
  gr_line(g_tip.x, g_tip.y + bh - 1, g_tip.x + bw - 1, g_tip.y + bh - 1, Gr_preset[7]);
  gr_line(g_tip.x, g_tip.y, g_tip.x, g_tip.y + bh - 1, Gr_preset[7]);
  gr_line(g_tip.x + bw - 1, g_tip.y, g_tip.x + bw - 1, g_tip.y + bh - 1, Gr_preset[7]);
  gr_string(g_tip.x + PAD_L + 1, g_tip.y + PAD_T + 1, g_tip.text);
  gr_set_clip(cx, cy, cw, ch);
}

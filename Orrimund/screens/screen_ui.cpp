#include "Orrimund/screens/screen_ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/os.h"

float Ui_clock = 0.0f;
int Loading_pace_ms = 0;

bool point_in_rect(int x, int y, int left, int top, int width, int height) {
  return left <= x && x < left + width && top <= y && y < top + height;
}

void ui_draw_bitmap_scaled(int bitmap, int x, int y, RenderStateWord mode) {
  if (bitmap < 0) return;
  int w = 0, h = 0;
  bm_get_size(bitmap, &w, &h);
  if (w <= 0 || h <= 0) return;
  gr_set_bitmap(bitmap);
  gr_bitmap_scaled(bitmap, x, y, ui_scaled(w), ui_scaled(h), 0, 0, w, h, mode);
}

void ui_fill_rect(int x, int y, int w, int h, const Color& c) {
  if (w <= 0 || h <= 0) return;
  gr_set_color_rec(c);
  gr_rect(x, y, w, h, Gr_preset[7]);
}

void ui_draw_panel_box(int x, int y, int width, int height) {
  ui_fill_rect(x + 8, y + 5, width, height, Color(0, 0, 0, 50));
  for (int i = 0; i <= 2; i++)
    ui_fill_rect(x + i, y + 2 - i, width - 2 * i, height - 2 * (2 - i), Color(110, 110, 110, 255));
  ui_fill_rect(x + 2, y + 2, width - 4, height - 4, Color(0, 0, 0, 255));
}

namespace {
constexpr float PI = 3.14159265358979f;
void pulse(float* r, float* g, float* b, float p) {
  *r = std::clamp(*r * p, 0.0f, 1.0f);
  *g = std::clamp(*g * p, 0.0f, 1.0f);
  *b = std::clamp(*b * p, 0.0f, 1.0f);
}
}  // namespace

float ui_pulse_fast() { return (std::sin(3.0f * PI * Ui_clock) + 1.0f) / 2.0f; }
float ui_pulse_slow() { return (std::sin(PI * Ui_clock) + 1.0f) / 2.0f; }
void ui_pulse_color(float* r, float* g, float* b, float bias) { pulse(r, g, b, ui_pulse_fast() + bias); }
void ui_pulse_color_slow(float* r, float* g, float* b, float bias) { pulse(r, g, b, ui_pulse_slow() + bias); }

// ---- choice list -------------------------------------------------------------------

namespace {
constexpr uint32_t CHOICE_OPEN = 0x80000000u;
constexpr uint32_t CHOICE_STILL_ON = 0x40000000u;
constexpr int CHOICE_PAD_X = 5, CHOICE_PAD_Y = 3;

struct ChoiceList {
  char title[64] = {};
  const char* items[CHOICE_MAX_ITEMS] = {};
  int count = 0;
  const int* words = nullptr;
  const uint8_t* enabled = nullptr;
  uint32_t flags = 0;
  int x = 0, y = 0, w = 0, h = 0;
  int state = 0;  // 0 idle, 1 held, 2 dragging
  int pressed = -1;
} g_choice;

int text_width(const char* t) {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, t);
  return w;
}

int items_top() {
  const int fh = gr_font_select(-1);
  return g_choice.y + CHOICE_PAD_Y + (g_choice.title[0] ? fh : 0);
}

bool item_enabled(int i) { return !g_choice.enabled || g_choice.enabled[i] != 0; }

// The enabled item under the mouse, -1 none.
int choice_hit(int mx, int my) {
  const int fh = gr_font_select(-1);
  const int top = items_top();
  for (int i = 0; i < g_choice.count; i++) {
    if (!item_enabled(i)) continue;
    if (point_in_rect(mx, my, g_choice.x + CHOICE_PAD_X, top + i * fh, g_choice.w - 2 * CHOICE_PAD_X, fh)) return i;
  }
  return -1;
}
}  // namespace

void choice_list_open(const char* title, int x, int y, int count, const char* const* items, uint32_t flags,
                      const int* item_words, const uint8_t* enabled) {
  if (count < 1 || !items) return;
  g_choice = ChoiceList{};
  std::snprintf(g_choice.title, sizeof g_choice.title, "%s", title ? title : "");
  g_choice.count = std::min(count, CHOICE_MAX_ITEMS);
  for (int i = 0; i < g_choice.count; i++) g_choice.items[i] = items[i] ? items[i] : "";
  g_choice.words = item_words;
  g_choice.enabled = enabled;
  g_choice.flags = flags & (CHOICE_CENTER_TITLE | CHOICE_CENTER_ITEMS | CHOICE_DRAG_TO_HUD);
  const int fh = gr_font_select(-1);
  int w = g_choice.title[0] ? text_width(g_choice.title) : 0;
  int h = g_choice.title[0] ? fh : 0;
  for (int i = 0; i < g_choice.count; i++) {
    w = std::max(w, text_width(g_choice.items[i]));
    h += fh;
  }
  g_choice.w = w + 2 * CHOICE_PAD_X;
  g_choice.h = h + 2 * CHOICE_PAD_Y;
  const int sw = gr_screen_width(), sh = gr_screen_height();
  g_choice.x = x < 0 ? (sw - g_choice.w) / 2 : std::min(x, sw - g_choice.w);
  g_choice.y = y < 0 ? (sh - g_choice.h) / 2 : std::min(y, sh - g_choice.h);
  g_choice.flags |= CHOICE_OPEN;
}

void choice_list_close() { g_choice.flags &= ~(CHOICE_OPEN | CHOICE_STILL_ON); }
bool choice_list_is_open() { return (g_choice.flags & CHOICE_OPEN) != 0; }

void choice_list_rect(int* x, int* y, int* w, int* h) {
  *x = g_choice.x, *y = g_choice.y, *w = g_choice.w, *h = g_choice.h;
}

int choice_list_input(int key) {
  if (!choice_list_is_open()) {
    g_choice.flags = 0;
    return CHOICE_CLOSED;
  }
  const ScreenMouse& m = Screen_mouse;
  const int hovered = choice_hit(m.x, m.y);
  switch (g_choice.state) {
    case 0:
      g_choice.pressed = hovered;
      if (hovered >= 0) g_choice.flags |= CHOICE_STILL_ON;
      else g_choice.flags &= ~CHOICE_STILL_ON;
      if (m.left_pressed) {
        g_choice.state = 1;
      } else if (key == KEY_ESC) {
        choice_list_close();
        return CHOICE_CLOSED;
      }
      return CHOICE_NONE;
    case 1: {
      // Only a real item may be dragged or chosen: a press that began over
      // nothing has no item to hand to the HUD.
      const int p = g_choice.pressed;
      if (p >= 0 && hovered != p && (g_choice.flags & CHOICE_DRAG_TO_HUD) && g_choice.words) {
        const int fh = gr_font_select(-1);
        const int word = g_choice.words[p];
        hud_drag_begin(g_choice.x + CHOICE_PAD_X, items_top() + p * fh, g_choice.w - 2 * CHOICE_PAD_X, fh,
                       (word & 2) != 0, word >> 2);
        g_choice.flags &= ~CHOICE_STILL_ON;
        g_choice.state = 2;
        return CHOICE_NONE;
      }
      if (p >= 0 && hovered == p) g_choice.flags |= CHOICE_STILL_ON;
      else g_choice.flags &= ~CHOICE_STILL_ON;
      if (m.left_down) return CHOICE_NONE;
      if (p >= 0 && (g_choice.flags & CHOICE_STILL_ON)) {
        choice_list_close();
        front_play_sound(35);
        return p;
      }
      if (!point_in_rect(m.x, m.y, g_choice.x, g_choice.y, g_choice.w, g_choice.h)) {
        choice_list_close();
        front_play_sound(36);
        return CHOICE_CLOSED;
      }
      g_choice.state = 0;
      return CHOICE_NONE;
    }
    default:
      if (!m.left_down) g_choice.state = 0;
      return CHOICE_NONE;
  }
}

void choice_list_render() {
  if (!choice_list_is_open()) return;
  ui_draw_panel_box(g_choice.x, g_choice.y, g_choice.w, g_choice.h);
  const int fh = gr_font_select(-1);
  auto text_x = [](const char* t, bool centre) {
    return centre ? g_choice.x + (g_choice.w - text_width(t)) / 2 : g_choice.x + CHOICE_PAD_X;
  };
  if (g_choice.title[0]) {
    gr_set_color_rec(Ui_text_color);
    gr_string(text_x(g_choice.title, g_choice.flags & CHOICE_CENTER_TITLE), g_choice.y + CHOICE_PAD_Y,
              g_choice.title);
  }
  const int top = items_top();
  for (int i = 0; i < g_choice.count; i++) {
    if (i == g_choice.pressed && (g_choice.flags & CHOICE_STILL_ON)) gr_set_color_rec(Ui_hover_color);
    else if (!item_enabled(i)) gr_set_color_rec(Ui_disabled_color);
    else gr_set_color_rec(Ui_text_color);
    gr_string(text_x(g_choice.items[i], g_choice.flags & CHOICE_CENTER_ITEMS), top + i * fh, g_choice.items[i]);
  }
}

// ---- loading box ------------------------------------------------------------------------

namespace {
constexpr int BOX_X[3] = {145, 181, 232}, BOX_Y[3] = {190, 238, 304};
constexpr int BAR_X[3] = {160, 200, 256}, BAR_Y[3] = {248, 310, 397};
constexpr int BAR_W[3] = {320, 400, 512}, BAR_H[3] = {28, 35, 45};

struct Loading {
  int steps = 0, total = 0;
  int backdrop = -1;
  std::vector<uint8_t> pixels;  // the backdrop's, alive while it is
  int box = -1;
} g_load;

void loading_draw() {
  if (!gr_is_initialised()) return;
  const int r = ui_resolution();
  gr_reset_clip();
  gr_set_color(255, 255, 255, 255);
  if (g_load.backdrop >= 0) gr_bitmap(g_load.backdrop, 0, 0, Gr_preset[1]);
  if (g_load.box < 0) g_load.box = bm_load(ui_art_set() ? "LoadingPopup1024.tga" : "LoadingPopup640.tga");
  gr_set_color(255, 255, 255, 255);
  ui_draw_bitmap_scaled(g_load.box, BOX_X[r], BOX_Y[r]);
  ui_fill_rect(BAR_X[r], BAR_Y[r], loading_bar_fill_width(), BAR_H[r], Ui_loading_bar_color);
  gr_flip();
  if (Loading_pace_ms > 0) os_sleep(Loading_pace_ms);
}

void read_pace() {
  const char* env = std::getenv("ORRIMUND_LOAD_PACE_MS");
  Loading_pace_ms = env ? std::clamp(std::atoi(env), 0, 1000) : 0;
}
}  // namespace

void loading_screen_end() {
  if (g_load.backdrop >= 0) bm_release(g_load.backdrop);
  g_load.backdrop = -1;
  g_load.pixels.clear();
  g_load.pixels.shrink_to_fit();
}

void loading_screen_begin(int total_steps) {
  // Every level load takes a new backdrop; the last one goes first, so a long
  // session does not run the bitmap slots out.
  loading_screen_end();
  read_pace();
  g_load.steps = 0;
  g_load.total = total_steps;
  if (!gr_is_initialised()) return;
  const int w = gr_screen_width(), h = gr_screen_height();
  g_load.pixels.assign(static_cast<size_t>(w) * h * 3, 0);
  const int format = gr_read_screen(0, 0, w, h, g_load.pixels.data());
  if (format == BM_FORMAT_565 || format == BM_FORMAT_BGR24)
    g_load.backdrop = bm_create(format, w, h, g_load.pixels.data());
  gr_flip();
  gr_set_color(255, 255, 255, 255);
  if (g_load.backdrop >= 0) gr_bitmap(g_load.backdrop, 0, 0, Gr_preset[1]);
}

void loading_bar_step() {
  g_load.steps++;
  loading_draw();
}

void loading_bar_finish() {
  g_load.steps = g_load.total;
  loading_draw();
}

int loading_bar_steps() { return g_load.steps; }
int loading_bar_total() { return g_load.total; }

int loading_bar_fill_width() {
  const int w = BAR_W[ui_resolution()];
  // A total of 0 would divide by zero: nothing to load is a full bar.
  if (g_load.total <= 0) return w;
  const double share = std::min(static_cast<double>(g_load.steps) / g_load.total, 1.0);
  return static_cast<int>(std::lround(w * std::max(share, 0.0)));
}

// ---- version label, party step -------------------------------------------------------

void ui_draw_version() {
  char text[16];
  std::snprintf(text, sizeof text, "v%d.%02d", 1, 1);
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text);
  gr_set_color(64, 64, 64, 255);
  gr_string(gr_screen_width() - 10 - w, gr_screen_height() - (gr_font_select(-1) + 5), text);
}

bool party_select_next(bool backwards) {
  FrontServices& f = front();
  const int n = f.party_count();
  const int start = f.party_selected();
  if (n <= 0) return false;
  const bool networked = game_is_networked();
  const int step = networked || !backwards ? 1 : -1;
  for (int k = 1; k <= n; k++) {
    const int i = (((start < 0 ? 0 : start) + step * k) % n + n) % n;
    const FrontPartyMember m = f.party_member(i);
    if (!m.can_act || (networked && !m.local)) continue;
    f.party_select(i);
    return i != start;
  }
  return false;
}

void console_get_name(char* out, int size) {
  console_get_arg(ARG_STRING);
  const char* typed = Console_arg.original;
  size_t n = std::strlen(typed);
  if (n >= 2 && typed[0] == '"' && typed[n - 1] == '"') typed++, n -= 2;
  std::snprintf(out, static_cast<size_t>(size), "%.*s", static_cast<int>(n), typed);
}

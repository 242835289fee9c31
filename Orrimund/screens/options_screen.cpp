#include "Orrimund/screens/options_screen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr.h"
#include "quarn/os/key.h"

namespace {
constexpr int ROWS = 65;
constexpr int PAIRS = 29;
// The check boxes' places, pair by pair, at the three resolutions.
constexpr int BOX[PAIRS][3][2] = {
    {{98, 208}, {123, 260}, {155, 342}},   {{160, 208}, {200, 260}, {252, 342}}, {{167, 287}, {209, 359}, {254, 474}},
    {{229, 287}, {286, 359}, {351, 474}},  {{167, 331}, {209, 414}, {254, 534}}, {{229, 331}, {286, 414}, {351, 534}},
    {{172, 376}, {215, 470}, {266, 601}},  {{262, 376}, {328, 470}, {403, 601}}, {{262, 396}, {328, 495}, {403, 630}},
    {{157, 437}, {196, 546}, {239, 702}},  {{256, 437}, {320, 546}, {393, 702}}, {{429, 135}, {536, 169}, {688, 218}},
    {{429, 154}, {536, 193}, {688, 247}},  {{429, 173}, {536, 216}, {688, 276}}, {{575, 135}, {719, 169}, {920, 218}},
    {{575, 154}, {719, 193}, {920, 247}},  {{575, 173}, {719, 216}, {920, 276}}, {{443, 219}, {554, 274}, {718, 346}},
    {{543, 219}, {679, 274}, {877, 346}},  {{555, 264}, {694, 330}, {887, 429}}, {{555, 283}, {694, 354}, {887, 457}},
    {{417, 328}, {521, 410}, {668, 531}},  {{497, 328}, {621, 410}, {794, 531}}, {{580, 328}, {725, 410}, {927, 531}},
    {{417, 377}, {521, 471}, {668, 599}},  {{497, 377}, {621, 471}, {794, 599}}, {{580, 377}, {725, 471}, {927, 599}},
    {{459, 426}, {574, 533}, {741, 661}},  {{520, 426}, {650, 533}, {838, 661}}};

// Which option a pair sets and to what; a toggle flips it.
enum Field { F8, F13, F9, F16, F12, F20, F24, F28, F32, F33, F36, F40, F44 };
struct Choice {
  Field field;
  int value;  // -1: a toggle
};
constexpr Choice CHOICES[PAIRS] = {{F8, 1},  {F8, 0},  {F13, 1}, {F13, 0}, {F9, 1},  {F9, 0},  {F16, 0}, {F16, 1},
                                   {F16, 2}, {F12, 1}, {F12, 0}, {F20, 0}, {F20, 1}, {F20, 2}, {F24, 0}, {F24, 1},
                                   {F24, 2}, {F28, 0}, {F28, 2}, {F32, -1}, {F33, -1}, {F36, 0}, {F36, 1}, {F36, 2},
                                   {F40, 0}, {F40, 1}, {F40, 2}, {F44, 1}, {F44, 0}};

ScreenResource Rows[ROWS];
ScreenButton B[ROWS];
constexpr int MUSIC_ROW = 1, SOUND_ROW = 2, PAIR_ROW0 = 3, ACCEPT_ROW = 61, CANCEL_ROW = 63;

void build_rows() {
  Rows[0] = screen_row("Options-Bkgrnd", 0, 0, 0, 0, 0, 0, 0);
  Rows[MUSIC_ROW] = screen_row("Meter-Drag-Bar", 59, 90, 74, 113, 94, 144, ROW_REPEAT);
  Rows[SOUND_ROW] = screen_row("Meter-Drag-Bar", 59, 137, 74, 171, 94, 219, ROW_REPEAT);
  for (int p = 0; p < PAIRS; p++) {
    const auto& b = BOX[p];
    Rows[PAIR_ROW0 + 2 * p] = screen_row("checkbox", b[0][0], b[0][1], b[1][0], b[1][1], b[2][0], b[2][1], 0);
    Rows[PAIR_ROW0 + 2 * p + 1] =
        screen_row("checkbox-hilite", b[0][0], b[0][1], b[1][0], b[1][1], b[2][0], b[2][1], ROW_CLICK);
  }
  Rows[ACCEPT_ROW] = screen_row("Icon-CheckHilite", 551, 18, 689, 23, 882, 31, ROW_SLOT);
  Rows[ACCEPT_ROW + 1] = screen_row("Icon-CheckPress", 551, 18, 689, 23, 882, 31, 0);
  Rows[CANCEL_ROW] = screen_row("Icon-GrnClseHilite", 599, 18, 749, 23, 959, 32, ROW_SLOT);
  Rows[CANCEL_ROW + 1] = screen_row("Icon-GrnClsePress", 599, 18, 749, 23, 959, 32, 0);
}

struct Options {
  GameOptions copy{};
  bool from_main_menu = false;
  bool owns_ui_mode = false;
  bool accepted = false;
  int state = 0;  // 0 idle, 1 button held, 2 slider dragged
  int held = -1;
  int slider = 0;  // 1 music, 2 sound
} g;

uint32_t* wide(Field f) {
  switch (f) {
    case F16: return &g.copy.dialog_camera;
    case F20: return &g.copy.level_detail_a;
    case F24: return &g.copy.level_detail_b;
    case F28: return &g.copy.detail_level;
    case F36: return &g.copy.detail_setting;
    case F40: return &g.copy.scene_setting;
    default: return nullptr;
  }
}
uint8_t* narrow(Field f) {
  switch (f) {
    case F8: return &g.copy.unused_8;
    case F9: return &g.copy.reverse_mouse_turn;
    case F12: return &g.copy.combat_display;
    case F13: return &g.copy.hud_switch;
    case F32: return &g.copy.detail_switch_32;
    case F33: return &g.copy.detail_switch_33;
    case F44: return &g.copy.detail_switch_44;
    default: return nullptr;
  }
}

bool chosen(int p) {
  const Choice& c = CHOICES[p];
  if (uint32_t* w = wide(c.field)) return static_cast<int>(*w) == c.value;
  const uint8_t* n = narrow(c.field);
  return c.value < 0 ? *n != 0 : *n == c.value;
}

void choose(int p) {
  const Choice& c = CHOICES[p];
  if (uint32_t* w = wide(c.field)) *w = static_cast<uint32_t>(c.value);
  else if (uint8_t* n = narrow(c.field)) *n = c.value < 0 ? !*n : static_cast<uint8_t>(c.value);
  front_play_sound(40);
}

bool pair_hidden(int p) {
  const Choice& c = CHOICES[p];
  if (c.field == F28 && gr_get_video_memory() <= 8 * 1024 * 1024) return true;
  return false;
}

void apply_volumes(const GameOptions& o) {
  snd_set_category_volume(0, o.sound_volume);
  music_set_volume(o.music_volume);
}

void close_screen(bool accept) {
  g.accepted = accept;
  front_play_sound(accept ? 35 : 36);
  set_screen(g.from_main_menu ? SCREEN_MAIN_MENU : SCREEN_HUD, nullptr);
}

void drag_slider() {
  const ScreenButton& bar = B[g.slider == 1 ? MUSIC_ROW : SOUND_ROW];
  const float v = options_slider_value(Screen_mouse.x - bar.x, bar.w);
  float& field = g.slider == 1 ? g.copy.music_volume : g.copy.sound_volume;
  if (v != field) {
    field = v;
    apply_volumes(g.copy);
  }
  if (!Screen_mouse.left_down) g.state = 0;
}

int options_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  const ScreenMouse& m = Screen_mouse;
  if (g.state == 2) {
    drag_slider();
    return 0;
  }
  if (g.state == 1) {
    const bool over = screen_button_hit(B[g.held], m.x, m.y);
    if (over) B[g.held].flags |= SB_HIGHLIGHT;
    if (m.left_down) return 0;
    g.state = 0;
    if (!over) return 0;
    if (g.held == ACCEPT_ROW) close_screen(true);
    else if (g.held == CANCEL_ROW) close_screen(false);
    else choose((g.held - PAIR_ROW0) / 2);
    return 0;
  }
  for (int r = 1; r < ROWS; r++) {
    if (!Rows[r].kind || !screen_button_hit(B[r], m.x, m.y)) continue;
    if (r >= PAIR_ROW0 && r < ACCEPT_ROW && pair_hidden((r - PAIR_ROW0) / 2)) continue;
    B[r].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) {
      if (r == MUSIC_ROW || r == SOUND_ROW) {
        g.state = 2;
        g.slider = r == MUSIC_ROW ? 1 : 2;
        drag_slider();
      } else {
        g.state = 1;
        g.held = r;
      }
    }
    break;
  }
  if (key == KEY_ESC) close_screen(false);
  return 0;
}

void options_render() {
  gr_set_color_rec(Ui_white);
  ui_draw_bitmap_scaled(B[0].bitmap, B[0].x, B[0].y);
  for (int s = 1; s <= 2; s++) {
    const ScreenButton& bar = B[s == 1 ? MUSIC_ROW : SOUND_ROW];
    ui_draw_bitmap_scaled(bar.bitmap, bar.x, bar.y);
    const float v = s == 1 ? g.copy.music_volume : g.copy.sound_volume;
    const int fill = static_cast<int>(std::lround(v * bar.w));
    ui_fill_rect(bar.x, bar.y + bar.h / 4, fill, bar.h / 2, Color(60, 140, 60, 255));
    ui_fill_rect(bar.x + fill - ui_scaled(3), bar.y, ui_scaled(6), bar.h, Ui_hover_color);
  }
  for (int p = 0; p < PAIRS; p++) {
    if (pair_hidden(p)) continue;
    const ScreenButton& box = B[PAIR_ROW0 + 2 * p];
    const ScreenButton& lit = B[PAIR_ROW0 + 2 * p + 1];
    gr_set_color_rec(Ui_white);
    if (chosen(p)) ui_draw_bitmap_scaled(box.bitmap, box.x, box.y);
    if (lit.flags & SB_HIGHLIGHT) ui_draw_bitmap_scaled(lit.bitmap, lit.x, lit.y);
  }
  for (int r : {ACCEPT_ROW, CANCEL_ROW}) {
    const bool pressed = g.state == 1 && g.held == r && (B[r].flags & SB_HIGHLIGHT);
    if (pressed) ui_draw_bitmap_scaled(B[r + 1].bitmap, B[r + 1].x, B[r + 1].y);
    else if (B[r].flags & SB_HIGHLIGHT) ui_draw_bitmap_scaled(B[r].bitmap, B[r].x, B[r].y);
  }
}

void options_open(void*, bool not_from_main_menu) {
  g.from_main_menu = !not_from_main_menu;
  g.owns_ui_mode = false;
  g.accepted = false;
  g.state = 0;
  if (not_from_main_menu && game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  g.copy = Game_options;
  if (gr_get_video_memory() <= 8 * 1024 * 1024) g.copy.detail_level = 0;
}

void options_close() {
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  if (g.accepted) {
    Game_options = g.copy;
    options_write();
    options_adjust_to_card();
  } else {
    apply_volumes(Game_options);
  }
  g.accepted = false;
}
}  // namespace

float options_slider_value(int offset, int width) {
  if (width <= 0) return 0.0f;
  const int x = std::clamp(offset, 0, width);
  return std::trunc((static_cast<float>(x) / width + 0.05f) * 10.0f) * 0.1f;
}

const GameOptions& options_screen_copy() { return g.copy; }

void options_screen_register() {
  build_rows();
  ScreenOps o;
  o.load = [] { screen_buttons_build(Rows, ROWS, B); };
  o.open = options_open;
  o.close = options_close;
  o.input = options_input;
  o.render = options_render;
  screen_register(SCREEN_OPTIONS, o);
}

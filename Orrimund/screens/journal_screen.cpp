#include "Orrimund/screens/journal_screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/quest_lookup.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

namespace {
constexpr auto row = screen_row;
constexpr int ROWS = 17;
const ScreenResource Rows[ROWS] = {
    row("QstJrn-Bkgrnd", 0, 0, 0, 0, 0, 0, 0),
    row("Icon-ArrwLFHilite", 21, 23, 26, 29, 33, 35, ROW_CLICK),
    row("Icon-ArrwLFPress", 21, 23, 26, 29, 33, 35, 0),
    row("Icon-ArrwRTHilite", 379, 23, 474, 29, 604, 35, ROW_CLICK),
    row("Icon-ArrwRTPress", 379, 23, 474, 29, 604, 35, 0),
    row("Icon-ArrwUPHilite", 291, 98, 364, 123, 464, 154, ROW_REPEAT),
    row("Icon-ArrwUPPress", 291, 98, 364, 123, 464, 154, 0),
    row("Icon-ArrwDNHilite", 291, 224, 364, 280, 464, 354, ROW_REPEAT),
    row("Icon-ArrwDNPress", 291, 224, 364, 280, 464, 354, 0),
    row("Icon-ArrwUPHilite", 615, 98, 769, 123, 982, 154, ROW_REPEAT),
    row("Icon-ArrwUPPress", 615, 98, 769, 123, 982, 154, 0),
    row("Icon-ArrwDNHilite", 615, 224, 769, 280, 982, 354, ROW_REPEAT),
    row("Icon-ArrwDNPress", 615, 224, 769, 280, 982, 354, 0),
    row("Icon-ArrwUPHilite", 616, 310, 770, 388, 982, 493, ROW_REPEAT),
    row("Icon-ArrwUPPress", 616, 310, 770, 388, 982, 493, 0),
    row("Icon-ArrwDNHilite", 616, 437, 770, 546, 982, 693, ROW_REPEAT),
    row("Icon-ArrwDNPress", 616, 437, 770, 546, 982, 693, 0),
};
ScreenButton B[ROWS];
constexpr int LIST_ROWS[3] = {10, 13, 13}, NAME_W[3] = {254, 318, 406}, TEXT_W[3] = {575, 719, 920};
constexpr int TRACK_X[2][3] = {{293, 366, 469}, {617, 771, 987}}, TRACK_Y[3] = {130, 163, 208},
              TRACK_LEN[3] = {81, 101, 130};
// Where the lists and the stage text begin.
constexpr int LIST_X[2][3] = {{30, 38, 48}, {354, 443, 567}}, LIST_Y[3] = {100, 125, 160};
constexpr int TEXT_X[3] = {30, 38, 48}, TEXT_Y[3] = {312, 390, 499};
constexpr int MAX_LINES = 16;

struct Journal {
  int quests[2][64] = {};
  int count[2] = {};
  int top[2] = {};
  int hovered = -1;  // quest index
  int selected = -1;
  std::string text;
  int lines = 0;
  int text_top = 0;
  int state = 0;  // 0 idle, 1 button held
  RowPress press;
  bool owns_ui_mode = false;
} g;

int res() { return ui_resolution(); }
int rows() { return LIST_ROWS[res()]; }

void select(int quest) {
  g.selected = quest;
  g.text.clear();
  g.lines = 0;
  g.text_top = 0;
  const int stage = quest_current_stage(quest);
  const QuestRecord* q = quest_get(quest);
  if (!q || stage < 0 || stage >= q->stage_count || !q->stages[stage].text) return;
  char wrapped[2048];
  const int n = text_wrap(wrapped, sizeof wrapped, q->stages[stage].text, TEXT_W[res()]);
  // At most 16 lines are kept.
  int seen = 0;
  for (char* p = wrapped; *p; p++)
    if (*p == '\n' && ++seen >= MAX_LINES) *p = 0;
  g.text = wrapped;
  g.lines = std::min(n, MAX_LINES) + 2;
}

void act(int action) {
  const int vis = rows();
  switch (action) {
    case 2: set_screen(SCREEN_STATUS, nullptr); front_play_sound(39); break;
    case 4: {
      static uint8_t normal = 0;
      set_screen(SCREEN_INVENTORY, &normal);
      front_play_sound(39);
      break;
    }
    case 6: case 10: {
      const int l = action == 6 ? 0 : 1;
      if (g.top[l] > 0) g.top[l]--;
      front_play_sound(37);
      break;
    }
    case 8: case 12: {
      const int l = action == 8 ? 0 : 1;
      if (g.top[l] < g.count[l] - vis) g.top[l]++;
      front_play_sound(37);
      break;
    }
    case 14:
      if (g.text_top > 0) g.text_top--;
      front_play_sound(37);
      break;
    case 16:
      if (g.text_top < g.lines - vis) g.text_top++;
      front_play_sound(37);
      break;
    default: break;
  }
}

bool enabled(int r) {
  const int vis = rows();
  if (r == 5 || r == 7) return g.count[0] > vis;
  if (r == 9 || r == 11) return g.count[1] > vis;
  if (r == 13 || r == 15) return g.lines > vis;
  return true;
}

void entry_rect(int l, int v, int* x, int* y, int* w, int* h) {
  const int fh = gr_font_select(-1);
  *x = LIST_X[l][res()], *y = LIST_Y[res()] + v * fh, *w = NAME_W[res()], *h = fh;
}

int journal_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  if (popup_is_open()) return key;
  const ScreenMouse& m = Screen_mouse;
  if (g.state == 1) {
    bool done = false;
    const int action = row_press_frame(g.press, B, &done);
    if (done) g.state = 0;
    act(action);
    return 0;
  }
  for (int r = 1; r < ROWS; r++) {
    if (!(Rows[r].kind & (ROW_CLICK | ROW_REPEAT)) || !enabled(r) || !screen_button_hit(B[r], m.x, m.y)) continue;
    B[r].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) {
      g.state = 1;
      act(row_press_begin(g.press, Rows, r));
    }
    break;
  }
  g.hovered = -1;
  for (int l = 0; l < 2 && g.state == 0; l++) {
    for (int v = 0; v < rows() && g.top[l] + v < g.count[l]; v++) {
      int x, y, w, h;
      entry_rect(l, v, &x, &y, &w, &h);
      if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
      g.hovered = g.quests[l][g.top[l] + v];
      if (m.left_pressed) select(g.hovered);
    }
  }
  if (key == KEY_ESC || key == 16) {
    set_screen(SCREEN_HUD, nullptr);
    front_play_sound(36);
  }
  return 0;
}

void journal_render() {
  const int r = res();
  for (int i = 0; i < ROWS; i++) {
    const ScreenButton& b = B[i];
    if (i != 0 && !(b.flags & SB_HIGHLIGHT)) continue;
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
  if (g.state == 1 && g.press.held >= 0 && (B[g.press.held].flags & SB_HIGHLIGHT))
    ui_draw_bitmap_scaled(B[g.press.held + 1].bitmap, B[g.press.held + 1].x, B[g.press.held + 1].y);
  for (int l = 0; l < 2; l++) {
    for (int v = 0; v < rows() && g.top[l] + v < g.count[l]; v++) {
      const int q = g.quests[l][g.top[l] + v];
      const QuestRecord* rec = quest_get(q);
      if (!rec || !rec->name) continue;
      int x, y, w, h;
      entry_rect(l, v, &x, &y, &w, &h);
      gr_set_color_rec(q == g.hovered || q == g.selected ? Ui_hover_color : Ui_text_color);
      gr_string(x, y, rec->name);
    }
    int ty = 0, th = 0;
    if (scroll_thumb(g.top[l], g.count[l], rows(), TRACK_Y[r], TRACK_LEN[r], &ty, &th))
      scroll_thumb_draw(scroll_thumb_bitmap(), TRACK_X[l][r], ty, th);
  }
  if (!g.text.empty()) {
    const int fh = gr_font_select(-1);
    int cx, cy, cw, ch;
    gr_get_clip(&cx, &cy, &cw, &ch);
    gr_set_clip(TEXT_X[r], TEXT_Y[r], TEXT_W[r], fh * rows());
    gr_set_color_rec(Ui_white);
    gr_string(0, -g.text_top * fh, g.text.c_str());
    gr_set_clip(cx, cy, cw, ch);
  }
}

void journal_open(void*, bool) {
  const bool keep = g.owns_ui_mode;
  g = Journal{};
  g.owns_ui_mode = keep;
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  for (int l = 0; l < 2; l++) g.count[l] = journal_list(l, g.quests[l], 64);
}

void journal_close() {
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  screen_set_character(-1);
}

// Developer route to the journal's contents: a quest on or off by name.
ConsoleCommand cc_quest("quest_journal", "Sets a quest (by name) active (1) or not (0)", [] {
  char name[CONSOLE_MAX_ARG + 1];
  console_get_name(name, sizeof name);
  console_get_arg(ARG_INT);
  if (!Console_run) return;
  const int q = quest_find(name);
  if (q < 0) {
    console_printf("No quest %s\n", name);
    return;
  }
  quest_journal_set(q, Console_arg.int_value);
  console_printf("Quest %s is %s\n", name, Console_arg.int_value ? "active" : "inactive");
});
}  // namespace

int journal_list(int list, int* quests, int capacity) {
  int n = 0;
  for (int q = 0; q < quest_count() && n < capacity; q++) {
    const QuestRecord* r = quest_get(q);
    if (r && quest_is_active(q) && (r->side_quest != 0) == (list != 0)) quests[n++] = q;
  }
  return n;
}

void journal_screen_register() {
  ScreenOps o;
  o.level_init = [] { screen_buttons_build(Rows, ROWS, B); };
  o.open = journal_open;
  o.close = journal_close;
  o.input = journal_input;
  o.render = journal_render;
  screen_register(SCREEN_JOURNAL, o);
}

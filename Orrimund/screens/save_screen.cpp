#include "Orrimund/screens/save_screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "Engine/gameflags.h"
#include "Engine/rendering/scene.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

namespace {
constexpr auto row = screen_row;
}  // namespace

const ScreenResource Save_screen_rows[SAVE_SCREEN_ROWS] = {
    row("SaveLoad-Bkgrnd", 0, 0, 0, 0, 0, 0, 0),
    row("SaveLoad-SG", 48, 10, 60, 13, 113, 18, 0),
    row("SaveLoad-LG", 48, 10, 60, 13, 113, 18, 0),
    row("SaveLoad-SF", 29, 55, 36, 69, 61, 91, 0),
    row("SaveLoad-LF", 29, 55, 36, 69, 61, 91, 0),
    row("Icon-ArrwLFHilite", 21, 23, 26, 29, 31, 34, ROW_CLICK),
    row("Icon-ArrwLFPress", 21, 23, 26, 29, 31, 34, 0),
    row("Icon-ArrwRTHilite", 316, 23, 395, 29, 504, 35, ROW_CLICK),
    row("Icon-ArrwRTPress", 316, 23, 395, 29, 504, 35, 0),
    row("Icon-ArrwUPHilite", 342, 108, 428, 115, 546, 170, ROW_REPEAT),
    row("Icon-ArrwUPPress", 342, 108, 428, 115, 546, 170, 0),
    row("Icon-ArrwDNHilite", 342, 215, 428, 264, 547, 337, ROW_REPEAT),
    row("Icon-ArrwDNPress", 342, 215, 428, 264, 547, 337, 0),
    row("SaveLoad-Save", 389, 229, 486, 286, 623, 366, 0),
    row("SaveLoad-Load", 389, 229, 486, 286, 623, 366, 0),
    row("SaveLoad-SL-HiLite", 389, 229, 486, 286, 623, 366, ROW_CLICK),
    row("SaveLoad-SL-Press", 389, 229, 486, 286, 623, 366, 0),
    row("CharCreateCancelHiLite", 485, 229, 606, 286, 777, 366, ROW_CLICK),
    row("CharCreateCancelPress", 485, 229, 606, 286, 777, 366, 0),
    row("CharCreateCancelHiLite", 52, 420, 65, 525, 83, 672, ROW_CLICK),
    row("CharCreateCancelPress", 52, 420, 65, 525, 83, 672, 0),
    row("Icon-GrnClseHilite", 599, 18, 749, 23, 959, 32, ROW_CLICK),
    row("Icon-GrnClsePress", 599, 18, 749, 23, 959, 32, 0),
};

namespace {
ScreenButton B[SAVE_SCREEN_ROWS];
constexpr int VISIBLE[3] = {9, 11, 11};
constexpr int LIST_X[3] = {27, 34, 43}, LIST_Y[3] = {103, 132, 165}, LIST_W[3] = {300, 375, 480};
constexpr int TRACK_X[3] = {344, 431, 552}, TRACK_Y[3] = {140, 175, 224}, TRACK_LEN[3] = {62, 78, 99};
constexpr int DESC_X[3] = {201, 251, 322}, DESC_Y[3] = {312, 390, 499}, DESC_W[3] = {400, 500, 640};
constexpr int DESC_LINES = 9;
constexpr int TIME_X[3] = {100, 125, 160}, TIME_Y[3] = {302, 378, 483}, DATE_Y[3] = {371, 464, 594};
constexpr int THUMB_X[3] = {385, 481, 616}, THUMB_Y[3] = {64, 80, 102}, THUMB_W[3] = {201, 251, 322},
              THUMB_H[3] = {151, 189, 242};
constexpr int DOUBLE_CLICK_MS = 400;
constexpr int N_THUMB = SAVE_THUMB_W * SAVE_THUMB_H;

enum { IDLE, BUTTON_HELD, ROW_PRESSED, THUMB_DRAG };

struct SaveScreen {
  bool save_mode = false;
  uint32_t opened = 0;  // bit 0 paused the game, bit 1 from the main menu
  SaveListEntry list[SAVE_LIST_MAX];
  int count = 0;
  int top = 0;
  int selected = -1;  // visible row
  int pressed = -1;
  int hovered_row = -1;
  int state = IDLE;
  RowPress press;
  int grab = 0;
  bool editing = false;
  char edit[256] = {};
  RealTimestamp blink;
  bool blink_on = false;
  bool mode_arrows = true;
  const void* last_click = nullptr;
  RealTimestamp last_click_time;
  char pending_file[SAVE_FILE_NAME_SIZE] = {};
} g;

// The picture captured on open and the selected save's own.
uint16_t Captured[N_THUMB];
uint16_t Shown[N_THUMB];
int Captured_bitmap = -1, Shown_bitmap = -1;

int res() { return ui_resolution(); }
int visible() { return VISIBLE[res()]; }
int selected_entry() { return g.selected < 0 ? -1 : g.top + g.selected; }
const SaveListEntry* selected_save() {
  const int e = selected_entry();
  return e >= 0 && e < g.count ? &g.list[e] : nullptr;
}

void select_row(int v) {
  g.selected = v;
  const SaveListEntry* s = selected_save();
  if (!s) {
    g.selected = -1;
    return;
  }
  std::snprintf(g.edit, sizeof g.edit, "%s", s->description);
  if (!save_list_is_new_entry(*s)) {
    save_read_thumbnail(s->file_name, Shown);
    if (Shown_bitmap >= 0) gr_texture_mark_dirty(Shown_bitmap);
  }
}

void rebuild() {
  g.count = save_list_build(g.save_mode, std::time(nullptr), g.list);
  g.top = std::clamp(g.top, 0, scroll_max_top(g.count, visible()));
}

void set_mode(bool save) {
  if (save && (g.opened & 2)) return;
  g.save_mode = save;
  g.top = 0;
  g.pressed = -1;
  g.selected = -1;
  g.editing = false;
  for (int r : {1, 3, 13}) {
    if (save) B[r].flags |= SB_DRAWN;
    else B[r].flags &= ~SB_DRAWN;
  }
  for (int r : {2, 4, 14}) {
    if (!save) B[r].flags |= SB_DRAWN;
    else B[r].flags &= ~SB_DRAWN;
  }
  rebuild();
  if (!save && g.count > 0) select_row(0);
}

void close_screen() { set_screen((g.opened & 2) ? SCREEN_MAIN_MENU : SCREEN_HUD, nullptr); }

void write_save(const char* file) {
  if (!front().save_write(file, g.edit)) {
    // The old file, if any, is still whole: the writer replaces it only once
    // the new one is complete.
    static const char* const ok[] = {"Ok"};
    MessagePopup("Error", "Unable to save game", -1, -1, 1, ok, nullptr, 0);
    return;
  }
  hud_message("Game Saved");
  close_screen();
}

void do_save() {
  const SaveListEntry* s = selected_save();
  if (!s || !save_list_may_save(front().save_allowed())) return;
  if (save_list_is_new_entry(*s)) {
    char name[SAVE_FILE_NAME_SIZE];
    if (save_new_file_name(name, sizeof name)) write_save(name);
    return;
  }
  std::snprintf(g.pending_file, sizeof g.pending_file, "%s", s->file_name);
  static const char* const yes_no[] = {"Yes", "No"};
  MessagePopup("Warning", "Overwrite existing savegame?", -1, -1, 2, yes_no, [](int b) {
    if (b == 0) write_save(g.pending_file);
    return 0;
  }, 0);
}

void do_load() {
  const SaveListEntry* s = selected_save();
  if (!s || save_list_is_new_entry(*s)) return;
  char file[SAVE_FILE_NAME_SIZE];
  std::snprintf(file, sizeof file, "%s", s->file_name);
  // The load starts a level: this screen's pause ends with it.
  if (g.opened & 1) leave_ui_mode();
  g.opened &= ~1u;
  if (!front().save_load(file)) {
    static const char* const ok[] = {"Ok"};
    MessagePopup("Error", "Unable to load game", -1, -1, 1, ok, nullptr, 0);
  }
}

void do_action() {
  if (g.save_mode) do_save();
  else do_load();
}

void ask_delete() {
  const SaveListEntry* s = selected_save();
  if (!s || save_list_is_new_entry(*s)) return;
  std::snprintf(g.pending_file, sizeof g.pending_file, "%s", s->file_name);
  static const char* const yes_no[] = {"Yes", "No"};
  MessagePopup("Confirm delete", "Are you sure?", -1, -1, 2, yes_no, [](int b) {
    if (b != 0) return 0;
    if (!vfile_delete_loose(g.pending_file, Savegame_path_type)) {
      static const char* const ok[] = {"Ok"};
      MessagePopup("Error", "Unable to delete", -1, -1, 1, ok, nullptr, 0);
      return 0;
    }
    set_mode(g.save_mode);
    return 0;
  }, 0);
}

void act(int action) {
  switch (action) {
    case 6: case 8:
      if (g.mode_arrows) {
        set_mode(!g.save_mode);
        front_play_sound(40);
      }
      break;
    case 10:
      if (g.top > 0) g.top--, g.selected = -1;
      front_play_sound(37);
      break;
    case 12:
      if (g.top < scroll_max_top(g.count, visible())) g.top++, g.selected = -1;
      front_play_sound(37);
      break;
    case 16: front_play_sound(35); do_action(); break;
    case 18: case 22: front_play_sound(36); close_screen(); break;
    case 20: front_play_sound(35); ask_delete(); break;
    default: break;
  }
}

bool row_enabled(int r) {
  const SaveListEntry* s = selected_save();
  if ((r == 5 || r == 7) && !g.mode_arrows) return false;
  if ((r == 9 || r == 11) && g.count <= visible()) return false;
  if (r == 15 && !s) return false;
  if (r == 19 && (!s || save_list_is_new_entry(*s))) return false;
  return true;
}

bool in_description(int x, int y) {
  const int r = res();
  const int fh = gr_font_select(-1);
  return point_in_rect(x, y, DESC_X[r], DESC_Y[r], DESC_W[r], fh * DESC_LINES);
}

void edit_key(int key) {
  const size_t n = std::strlen(g.edit);
  bool changed = true;
  if (key == KEY_BACKSP) {
    if (n > 0) g.edit[n - 1] = 0;
  } else if (key == KEY_ENTER) {
    g.editing = false;
  } else if (key == KEY_ESC) {
    g.edit[0] = 0;
    g.editing = false;
  } else {
    const int c = key ? key_to_ascii(key) : 0;
    if (c >= 32 && c < 127 && n < sizeof g.edit - 1) {
      g.edit[n] = static_cast<char>(c);
      g.edit[n + 1] = 0;
    } else {
      changed = false;
    }
  }
  if (changed) {
    g.blink_on = true;
    g.blink.set(500);
  }
}

void idle_input(int key) {
  const ScreenMouse& m = Screen_mouse;
  for (int r = 1; r < SAVE_SCREEN_ROWS; r++) {
    if (!(Save_screen_rows[r].kind & (ROW_CLICK | ROW_REPEAT)) || !row_enabled(r)) continue;
    if (!screen_button_hit(B[r], m.x, m.y)) continue;
    B[r].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) {
      g.state = BUTTON_HELD;
      act(row_press_begin(g.press, Save_screen_rows, r));
    }
    break;
  }
  const int rs = res();
  const int grab = g.state == IDLE && m.left_pressed
                       ? scroll_thumb_grab(g.top, g.count, visible(), TRACK_Y[rs], TRACK_LEN[rs], TRACK_X[rs], m.x, m.y)
                       : -1;
  if (grab >= 0) {
    g.state = THUMB_DRAG;
    g.grab = grab;
  }
  g.hovered_row = -1;
  const int shown = std::min(visible(), g.count - g.top);
  for (int v = 0; v < shown && g.state == IDLE; v++) {
    int x, y, w, h;
    save_screen_row_rect(v, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
    g.hovered_row = v;
    if (m.left_pressed) {
      const void* what = &g.list[g.top + v];
      const bool dbl = g.last_click == what && g.last_click_time.is_valid() && !g.last_click_time.elapsed();
      g.last_click = dbl ? nullptr : what;
      g.last_click_time.set(DOUBLE_CLICK_MS);
      g.state = ROW_PRESSED;
      g.pressed = v;
      if (dbl) {
        select_row(v);
        front_play_sound(35);
        do_action();
        return;
      }
    }
    break;
  }
  if (g.state == IDLE && g.save_mode && selected_save() && m.left_pressed && in_description(m.x, m.y)) {
    g.editing = true;
    g.blink_on = true;
    g.blink.set(500);
  }
  if (g.editing) {
    edit_key(key);
    return;
  }
  if (key == KEY_ESC) {
    front_play_sound(36);
    close_screen();
    return;
  }
  if (m.wheel > 0) g.top = std::max(0, g.top - visible()), g.selected = -1;
  else if (m.wheel < 0) g.top = std::min(scroll_max_top(g.count, visible()), g.top + visible()), g.selected = -1;
}

int save_input(int key) {
  screen_buttons_clear_highlight(B, SAVE_SCREEN_ROWS);
  if (popup_is_open()) return key;
  if (g.editing && g.blink.is_valid() && g.blink.elapsed()) {
    g.blink_on = !g.blink_on;
    g.blink.set(500);
  }
  switch (g.state) {
    case IDLE: idle_input(key); break;
    case BUTTON_HELD: {
      bool done = false;
      const int action = row_press_frame(g.press, B, &done);
      if (done) g.state = IDLE;
      act(action);
      break;
    }
    case ROW_PRESSED:
      if (Screen_mouse.left_down) break;
      if (g.pressed >= 0) {
        int x, y, w, h;
        save_screen_row_rect(g.pressed, &x, &y, &w, &h);
        if (point_in_rect(Screen_mouse.x, Screen_mouse.y, x, y, w, h)) select_row(g.pressed);
      }
      g.pressed = -1;
      g.state = IDLE;
      break;
    case THUMB_DRAG: {
      const int rs = res();
      g.top = scroll_top_from_thumb(Screen_mouse.y - g.grab, g.count, visible(), TRACK_Y[rs], TRACK_LEN[rs]);
      g.selected = -1;
      if (!Screen_mouse.left_down) g.state = IDLE;
      break;
    }
    default: g.state = IDLE; break;
  }
  return 0;
}

void centred(int cx, int y, const char* text) {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text);
  gr_string(cx - w / 2, y, text);
}

void save_render() {
  const int rs = res();
  for (int r = 0; r < SAVE_SCREEN_ROWS; r++) {
    const ScreenButton& b = B[r];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT))) continue;
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
  if (g.state == BUTTON_HELD && g.press.held >= 0 && (B[g.press.held].flags & SB_HIGHLIGHT)) {
    const ScreenButton& p = B[g.press.held + 1];
    ui_draw_bitmap_scaled(p.bitmap, p.x, p.y);
  }
  const int shown = std::min(visible(), g.count - g.top);
  for (int v = 0; v < shown; v++) {
    const SaveListEntry& e = g.list[g.top + v];
    int x, y, w, h;
    save_screen_row_rect(v, &x, &y, &w, &h);
    gr_set_color_rec(v == g.selected || v == g.hovered_row ? Ui_hover_color : Ui_text_color);
    if (save_list_is_new_entry(e)) {
      gr_string(x + 2, y, "<New Savegame>");
      continue;
    }
    char name[64];
    level_display_name(name, sizeof name, e.level);
    char played[16];
    save_format_play_time(e.play_time, played, sizeof played);
    int tw = 0, th = 0;
    gr_get_string_size(&tw, &th, played);
    // The level name gives way to the play time.
    int cut = static_cast<int>(std::strlen(name));
    int nw = 0;
    for (gr_get_string_size(&nw, &th, name, cut); cut > 0 && nw > w - tw - 10; gr_get_string_size(&nw, &th, name, cut))
      cut--;
    name[cut] = 0;
    gr_string(x + 2, y, name);
    gr_string(x + w - tw - 2, y, played);
  }
  int ty = 0, th = 0;
  if (scroll_thumb(g.top, g.count, visible(), TRACK_Y[rs], TRACK_LEN[rs], &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), TRACK_X[rs], ty, th);
  const SaveListEntry* s = selected_save();
  if (!s) return;
  char text[64];
  gr_set_color_rec(Ui_text_color);
  save_format_time(s->file_time, text, sizeof text);
  centred(TIME_X[rs], TIME_Y[rs], text);
  save_format_date(s->file_time, text, sizeof text);
  centred(TIME_X[rs], DATE_Y[rs], text);
  std::string desc = g.edit;
  if (g.editing && g.blink_on) desc += "|";
  char wrapped[600];
  const int fh = gr_font_select(-1);
  text_wrap(wrapped, sizeof wrapped, desc.c_str(), DESC_W[rs]);
  int lines = 0;
  for (char* p = wrapped; *p; p++)
    if (*p == '\n' && ++lines >= DESC_LINES) *p = 0;
  gr_string(DESC_X[rs], DESC_Y[rs] + fh, wrapped);
  const int bitmap = save_list_is_new_entry(*s) ? Captured_bitmap : Shown_bitmap;
  if (bitmap >= 0) {
    gr_set_color_rec(Ui_white);
    gr_set_bitmap(bitmap);
    gr_bitmap_scaled(bitmap, THUMB_X[rs], THUMB_Y[rs], THUMB_W[rs], THUMB_H[rs], 0, 0, SAVE_THUMB_W, SAVE_THUMB_H,
                     Gr_preset[1]);
  }
}

void save_open(void* argument, bool not_from_main_menu) {
  const bool save = *static_cast<uint8_t*>(argument) != 0;
  g.opened = 0;
  if (!not_from_main_menu) {
    g.opened |= 2;
  } else {
    save_capture_thumbnail(Captured);
    if (Captured_bitmap >= 0) gr_texture_mark_dirty(Captured_bitmap);
    if (!in_ui_mode()) {
      enter_ui_mode(0, 0);
      g.opened |= 1;
    }
  }
  if (save && (g.opened & 2)) {
    // Nothing can be saved from the title: the screen shows the loads.
  }
  g.editing = false;
  g.state = IDLE;
  g.top = 0;
  g.selected = g.pressed = g.hovered_row = -1;
  g.mode_arrows = !(g.opened & 2) && save_list_may_save(front().save_allowed());
  set_mode(save && !(g.opened & 2));
}

void save_close() {
  if (g.opened & 1) leave_ui_mode();
  g.opened &= ~1u;
  g.editing = false;
}
}  // namespace

void save_capture_thumbnail(uint16_t* pixels) {
  std::memset(pixels, 0, N_THUMB * 2);
  if (!gr_is_initialised()) return;
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  gr_set_clip(0, 0, SAVE_THUMB_W, SAVE_THUMB_H);
  const bool had = game_flags_test(GF_SAVE_THUMBNAIL);
  game_flags_set(GF_SAVE_THUMBNAIL);
  gr_clear();
  scene_render();
  if (!had) game_flags_clear(GF_SAVE_THUMBNAIL);
  static uint8_t read[N_THUMB * 3];
  const int format = gr_read_screen(0, 0, SAVE_THUMB_W, SAVE_THUMB_H, read);
  if (format == BM_FORMAT_565) {
    std::memcpy(pixels, read, N_THUMB * 2);
  } else if (format == BM_FORMAT_BGR24) {
    for (int i = 0; i < N_THUMB; i++) {
      const uint8_t* p = read + 3 * i;
      pixels[i] = static_cast<uint16_t>((p[2] >> 3) << 11 | (p[1] >> 2) << 5 | p[0] >> 3);
    }
  }
  gr_set_clip(cx, cy, cw, ch);
}

int save_screen_count() { return g.count; }
const SaveListEntry* save_screen_entry(int i) { return i >= 0 && i < g.count ? &g.list[i] : nullptr; }
int save_screen_selected() { return selected_entry(); }
bool save_screen_save_mode() { return g.save_mode; }

void save_screen_row_rect(int v, int* x, int* y, int* w, int* h) {
  const int r = ui_resolution();
  const int fh = gr_font_select(-1);
  *x = LIST_X[r], *y = LIST_Y[r] + v * fh, *w = LIST_W[r], *h = fh;
}

void save_screen_register() {
  ScreenOps o;
  o.load = [] {
    screen_buttons_build(Save_screen_rows, SAVE_SCREEN_ROWS, B);
    if (Captured_bitmap < 0) Captured_bitmap = bm_create(BM_FORMAT_565, SAVE_THUMB_W, SAVE_THUMB_H, Captured);
    if (Shown_bitmap < 0) Shown_bitmap = bm_create(BM_FORMAT_565, SAVE_THUMB_W, SAVE_THUMB_H, Shown);
    // A save from this screen keeps the picture taken when it opened, before
    // the screen covered the view; other saves take a fresh one.
    Script_world.capture_thumbnail = [](uint16_t* pixels) {
      if (screen_get_current() == SCREEN_SAVE_LOAD) std::memcpy(pixels, Captured, sizeof Captured);
      else save_capture_thumbnail(pixels);
    };
  };
  o.open = save_open;
  o.close = save_close;
  o.input = save_input;
  o.render = save_render;
  screen_register(SCREEN_SAVE_LOAD, o);
}

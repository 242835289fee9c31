#include "Orrimund/screens/help_credits.h"

#include <algorithm>
#include <cstring>

#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

namespace {
// ---- help ------------------------------------------------------------------------------
struct HelpRow {
  const char* control;
  const char* action;
};
struct HelpSection {
  const char* title;
  const HelpRow* rows;
  int count;
};
const HelpRow MOUSE[] = {{"Left click and release", "Run to point"},
                         {"Left click and hold", "Move towards mouse cursor"},
                         {"Left click on enemy", "Attack enemy"},
                         {"Left click on NPC", "Talk to NPC"},
                         {"Left click on gold/items", "Pick up gold/items"},
                         {"Middle click", "Use nearby object"},
                         {"Right click (in combat)", "Perform chain attack"},
                         {"Right click on portrait", "Status screen"}};
const HelpRow CAMERA[] = {{"Mouse at edge", "Rotates camera"}, {"Mouse wheel", "Zoom camera"},
                          {"Arrow keys", "Rotate/Zoom camera"}};
const HelpRow KEYS1[] = {{"C", "Cast spell"},
                         {"H", "Hold position (solo mode)"},
                         {"I", "Inventory screen"},
                         {"M", "Automap"},
                         {"Q", "Quest journal"},
                         {"R", "Status screen"},
                         {"S", "Use skill"},
                         {"X", "Use nearby object"},
                         {"1-6", "Hot buttons"},
                         {"TAB", "Switch to next party member"},
                         {"SHIFT-TAB", "Switch to previous party member"},
                         {"ENTER", "Toggle combat mode"},
                         {"SPACE or PAUSE", "Pause/unpause game"}};
const HelpRow KEYS2[] = {{"ESC", "Game menu"},          {"F1", "Help screen"},
                         {"F2", "Options"},            {"F3", "Save game menu"},
                         {"F4", "Load game menu"},     {"F5-F9", "Switch to party member"},
                         {"F12", "Change camera mode"}, {"CTRL-L", "Quick load"},
                         {"CTRL-S", "Quick save"},      {"PrntScrn", "Take screen shot"}};
const HelpRow AUTOMAP[] = {{"Left Click", "Select label / edit label text"},
                           {"Right click and drag", "Reposition map"},
                           {"CTRL-Left Click", "Place user label"},
                           {"DEL", "Delete selected label"}};
template <size_t N>
constexpr HelpSection section(const char* title, const HelpRow (&rows)[N]) {
  return {title, rows, static_cast<int>(N)};
}
const HelpSection PAGES[4][2] = {{section("Mouse Controls", MOUSE), section("Camera Controls", CAMERA)},
                                 {section("Keyboard Controls", KEYS1), {nullptr, nullptr, 0}},
                                 {section("Keyboard Controls", KEYS2), {nullptr, nullptr, 0}},
                                 {section("Automap Controls", AUTOMAP), {nullptr, nullptr, 0}}};
constexpr int NUM_PAGES = 4;

struct Help {
  int page = 0;
  bool from_main_menu = false;
  bool owns_ui_mode = false;
} g_help;

void help_close() {
  set_screen(g_help.from_main_menu ? SCREEN_MAIN_MENU : SCREEN_HUD, nullptr);
  front_play_sound(36);
}

void help_step(int dir) {
  g_help.page = (g_help.page + dir + NUM_PAGES) % NUM_PAGES;
  front_play_sound(37);
}

int help_input(int key) {
  switch (key) {
    case KEY_ESC: help_close(); return 0;
    case KEY_ENTER: case KEY_SPACEBAR: case 77: case 80: case KEY_RIGHT: case KEY_DOWN:  // 77, 80: keypad 6, 2
    case KEY_PAGEDOWN:
      help_step(1);
      return 0;
    case 72: case 75: case KEY_UP:  // 72, 75: keypad 8, 4
    case KEY_PAGEUP: case KEY_LEFT: help_step(-1); return 0;
    default: break;
  }
  if (Screen_mouse.wheel > 0) help_step(1);
  else if (Screen_mouse.wheel < 0) help_step(-1);
  return 0;
}

void centred(int y, const char* text, int font) {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text, -1, font);
  gr_string((gr_screen_width() - w) / 2, y, text, font);
}

void help_render() {
  const int sw = gr_screen_width(), sh = gr_screen_height();
  ui_fill_rect(0, 0, sw, sh, Color(16, 14, 20, 255));
  const int left = sw / 8, right = sw - sw / 8;
  ui_draw_panel_box(left - 16, sh / 16, right - left + 32, sh - sh / 8);
  int y = sh / 16 + 16;
  for (const HelpSection& s : PAGES[g_help.page]) {
    if (!s.title) continue;
    const int th = gr_font_select(1);
    gr_set_color_rec(Ui_hover_color);
    centred(y, s.title, 1);
    y += th + 6;
    const int fh = gr_font_select(-1);
    for (int i = 0; i < s.count; i++, y += fh + 2) {
      gr_set_color_rec(Ui_white);
      gr_string(left, y, s.rows[i].control);
      int w = 0, h = 0;
      gr_get_string_size(&w, &h, s.rows[i].action);
      gr_set_color_rec(Ui_text_color);
      gr_string(right - w, y, s.rows[i].action);
    }
    y += fh;
  }
  const int fh = gr_font_select(-1);
  gr_set_color_rec(Ui_text_color);
  const int bottom = sh - sh / 16 - 2 * fh - 12;
  centred(bottom, "Press Left or Right arrow key to change pages", -1);
  char page[32];
  std::snprintf(page, sizeof page, "Page %d/%d", g_help.page + 1, NUM_PAGES);
  centred(bottom + fh + 2, page, -1);
}

// ---- credits -------------------------------------------------------------------------------
constexpr int COLUMN_W[3] = {464, 580, 742}, COLUMN_X[3] = {380, 475, 608};
constexpr int MAX_WRAPPED = 16;

struct Credits {
  std::vector<CreditsLine> lines;
  float scroll = 0.0f;  // the first line's top
  RealTimestamp end;
  bool ending = false;
  float fade = 0.0f;  // 0 clear, 1 black
} g_credits;

int wrap_to_column(const char* line, bool title, std::vector<std::string>* out) {
  const int font = title ? 1 : -1;
  const int width = COLUMN_W[ui_resolution()];
  int lengths[MAX_WRAPPED];
  const char* starts[MAX_WRAPPED];
  const int n = gr_split_text(lengths, starts, line, width, MAX_WRAPPED, 0, font);
  for (int i = 0; i < n; i++) out->emplace_back(starts[i], static_cast<size_t>(lengths[i]));
  if (n == 0) out->emplace_back();
  return n;
}

int line_height(const CreditsLine& l) { return gr_font_select(l.title ? 1 : -1); }

void credits_start_end() {
  if (g_credits.ending) return;
  g_credits.ending = true;
  music_fade_out(500);
  g_credits.end.set(800);
}

void credits_open(void*, bool) {
  g_credits = Credits{};
  std::string text;
  FileHandle f;
  if (f.open("credits.tbl", VF_READ, VFILE_ANY_TYPE) != VF_OK) {
    game_state_request(GS_TITLE);
    return;
  }
  char buf[4096];
  for (int n; (n = f.read(buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  f.close();
  g_credits.lines = credits_parse(text.c_str(), wrap_to_column);
  g_credits.scroll = static_cast<float>(gr_screen_height() + 10);
  const int track = music_find("Credits");
  if (track >= 0) music_play(track, true);
}

int credits_input(int key) {
  if (key == KEY_ESC) credits_start_end();
  if (!g_credits.ending) {
    g_credits.scroll -= FrameTimer * 20.0f;
  } else {
    const float left = static_cast<float>(std::max(0, g_credits.end.time_left()));
    g_credits.fade = std::clamp(1.0f - (left - 300.0f) / 500.0f, 0.0f, 1.0f);
    if (g_credits.end.elapsed()) game_state_request(GS_TITLE);
  }
  return 0;
}

void credits_render() {
  const int sw = gr_screen_width(), sh = gr_screen_height();
  ui_fill_rect(0, 0, sw, sh, Color(10, 10, 20, 255));
  const int r = ui_resolution();
  int y = static_cast<int>(g_credits.scroll);
  for (const CreditsLine& l : g_credits.lines) {
    const int h = line_height(l);
    if (y > sh) break;
    if (y + h >= 0 && !l.text.empty()) {
      const int font = l.title ? 1 : -1;
      int w = 0, th = 0;
      gr_get_string_size(&w, &th, l.text.c_str(), -1, font);
      const int x = l.left ? COLUMN_X[r] - COLUMN_W[r] / 2 : COLUMN_X[r] - w / 2;
      gr_set_color_rec(l.title ? Ui_hover_color : Ui_white);
      gr_string(x, y, l.text.c_str(), font);
    }
    y += h;
  }
  // Everything has risen past the top: the end begins.
  if (y < -20) credits_start_end();
  if (g_credits.fade > 0.0f) ui_fill_rect(0, 0, sw, sh, Color(0, 0, 0, static_cast<int>(g_credits.fade * 255)));
}
}  // namespace

std::vector<CreditsLine> credits_parse(const char* text, int (*wrap)(const char*, bool, std::vector<std::string>*)) {
  std::vector<CreditsLine> out;
  bool left_run = false;
  const char* p = text ? text : "";
  while (*p) {
    const char* end = std::strpbrk(p, "\r\n");
    const size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
    // Lines are at most 512 characters; the rest of a longer one is dropped.
    std::string line(p, std::min<size_t>(len, 512));
    p += len;
    if (*p == '\r') p++;
    if (*p == '\n') p++;
    CreditsLine l;
    if (!line.empty() && line[0] == '-') left_run = false;
    if (!line.empty()) {
      switch (line[0]) {
        case '*': l.title = true; line.erase(0, 1); break;
        case '!': l.left = true; line.erase(0, 1); break;
        case '@': left_run = true; line.erase(0, 1); break;
        case '&': line.erase(0, 1); break;
        default: break;
      }
    }
    l.left = l.left || left_run;
    std::vector<std::string> parts;
    if (wrap) wrap(line.c_str(), l.title, &parts);
    else parts.push_back(line);
    if (parts.size() > static_cast<size_t>(MAX_WRAPPED)) parts.resize(MAX_WRAPPED);
    for (std::string& s : parts) {
      CreditsLine piece = l;
      piece.text = std::move(s);
      out.push_back(std::move(piece));
    }
  }
  return out;
}

namespace {
ConsoleCommand cc_credits("credits", "Shows the credits", [] {
  if (Console_run) game_state_request(GS_CREDITS);
});
}  // namespace

int credits_line_count() { return static_cast<int>(g_credits.lines.size()); }

int help_page() { return g_help.page; }
const char* help_page_title(int page) { return page >= 0 && page < NUM_PAGES ? PAGES[page][0].title : nullptr; }

void help_screen_register() {
  ScreenOps o;
  o.open = [](void*, bool not_from_main_menu) {
    g_help.page = 0;
    g_help.from_main_menu = !not_from_main_menu;
    g_help.owns_ui_mode = false;
    if (not_from_main_menu && game_is_single_player() && !in_ui_mode()) {
      enter_ui_mode(0, 0);
      g_help.owns_ui_mode = true;
    }
  };
  o.close = [] {
    if (g_help.owns_ui_mode) leave_ui_mode();
    g_help.owns_ui_mode = false;
  };
  o.input = help_input;
  o.render = help_render;
  screen_register(SCREEN_HELP, o);
}

void credits_screen_register() {
  ScreenOps o;
  o.open = credits_open;
  o.input = credits_input;
  o.render = credits_render;
  o.close = [] {
    g_credits.fade = 0.0f;
    const int track = music_find("Title");
    if (track >= 0) music_play(track, true);
  };
  screen_register(SCREEN_CREDITS, o);
}

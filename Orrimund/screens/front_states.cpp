#include "Orrimund/screens/front_states.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/os.h"
#include "quarn/ui/ui.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

std::string Debug_help_str;

namespace {
bool drawing() { return gr_is_initialised(); }

// ---- plain gameplay state ---------------------------------------------------------------
std::string g_loaded_level;

void gameplay_enter() {
  std::string level = front_pending_level();
  front_clear_pending_level();
  // The level load draws over the last picture shown.
  loading_screen_begin(2 + screens_level_init_count());
  if (!g_loaded_level.empty()) s3d_unload(&Level);
  g_loaded_level.clear();
  if (!level.empty()) {
    char file[64];
    std::snprintf(file, sizeof file, "%s%s", level.c_str(), std::strchr(level.c_str(), '.') ? "" : ".s3d");
    if (s3d_load(file, &Level) == 0) {
      g_loaded_level = file;
      std::printf("Level loaded: %s\n", file);
    } else {
      std::printf("Level %s could not be loaded\n", file);
    }
    std::fflush(stdout);
  }
  loading_bar_step();
  screens_level_init_all(loading_bar_step);
  game_flags_set(GF_LEVEL_IN_PLAY);
  loading_bar_finish();
  loading_screen_end();
  input_flush();
  // The clock held since the title runs in play.
  while (game_pause_depth() > 0) game_resume();
}

void gameplay_frame() {
  Menu_cursor_shown = 1;  // the HUD and the menus are worked with the mouse
  const int key = menu_frame_input();
  if (drawing()) {
    gr_reset_clip();
    gr_clear();
    screen_set_view_rect();
    gr_reset_clip();
  }
  screen_process_input(key);
  if (drawing()) screen_render();
}

void gameplay_leave() {
  popup_close();
  set_screen(SCREEN_HUD, nullptr);
  leave_ui_mode();
  game_flags_clear(GF_LEVEL_IN_PLAY);
  if (!g_loaded_level.empty()) s3d_unload(&Level);
  g_loaded_level.clear();
  game_pause();
}

// ---- help (state 5) -----------------------------------------------------------------------
struct HelpRow {
  const char* control;
  const char* meaning;
};
const HelpRow MOUSE_ROWS[] = {{"Right click and release", "Moves player to specified point"},
                              {"Right click and hold", "Makes player follow mouse cursor"},
                              {"Right click on enemy", "Invokes attack on that enemy"},
                              {"Left click", "Casts a spell, after a spell has been selected"}};
const HelpRow KEY_ROWS[] = {{"Tab", "Switches control between main characters"},
                            {"Enter", "Toggles combat mode"},
                            {"Space", "Pause/unpause the game"}};
const HelpRow CAMERA_ROWS[] = {{"Arrow keys", "Move camera"}};
constexpr int HELP_PAGES = 1;
int g_help_return = GS_TITLE;
int g_help_page = 0;
bool g_help_shown = false;

void help_key(int key) {
  switch (key) {
    case KEY_ESC: game_state_request(g_help_return); break;
    case 75: case KEY_LEFT: if (g_help_page > 0) g_help_page--; break;
    case 77: case KEY_RIGHT: g_help_page = (g_help_page + 1) % HELP_PAGES; break;
    default: break;
  }
}

void centred(int y, const char* text, int font) {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text, -1, font);
  gr_string((gr_screen_width() - w) / 2, y, text, font);
}

template <size_t N>
int help_section(int y, const char* title, const HelpRow (&rows)[N]) {
  const int large = 2;
  const int lh = gr_font_select(large);
  gr_set_color(255, 255, 255, 255);
  centred(y, title, large);
  const int fh = gr_font_select(1);
  y += lh + lh / 2;
  for (const HelpRow& r : rows) {
    gr_set_color(180, 180, 180, 255);
    gr_string(10, y, r.control, 1);
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, r.meaning, -1, 1);
    gr_string(630 * gr_screen_width() / 640 - w, y, r.meaning, 1);
    y += fh + 2;
  }
  return y;
}

void help_enter() {
  g_help_page = 0;
  g_help_return = game_state_previous() > 0 ? game_state_previous() : GS_TITLE;
  if (g_help_return == GS_GAMEPLAY) game_pause();
  g_help_shown = true;
  input_flush();
}

void help_frame() {
  Menu_cursor_shown = 0;
  if (drawing()) {
    gr_reset_clip();
    gr_clear();
    const int small = gr_font_select(0);
    gr_set_color(0, 255, 0, 128);
    centred(20, "Orrimund Help", 0);
    char page[32];
    std::snprintf(page, sizeof page, "Page %d of %d", g_help_page + 1, HELP_PAGES);
    centred(20 + small, page, 0);
    const int fh = gr_font_select(1);
    int y = help_section(76, "Mouse Controls", MOUSE_ROWS);
    y = help_section(y + 3 * fh, "Keyboard Controls", KEY_ROWS);
    help_section(y + 3 * fh, "Camera Controls", CAMERA_ROWS);
    gr_set_color(0, 255, 0, 128);
    centred((160 - fh) * 3, "ESC to exit this screen", 1);
  }
  state_key_loop(help_key, true);
}

void help_leave() {
  g_help_shown = false;
  if (drawing()) {
    for (int i = 0; i < 2; i++) {
      gr_reset_clip();
      gr_clear();
      gr_flip();
    }
  }
  if (g_help_return == GS_GAMEPLAY) game_resume();
}

// ---- character-type list (state 6) ---------------------------------------------------------
std::unique_ptr<UiWindow> g_type_window;
UiButton* g_type_button = nullptr;
UiListBox* g_type_list = nullptr;
int g_type_chosen = 0;

int typelist_event(int code, int id) {
  if (code == UI_EVENT_CLICK && id == 1) {
    g_type_button->set_hidden(true);
    g_type_list->set_hidden(false);
    g_type_list->select_by_value(g_type_chosen, true);
    g_type_list->set_focus();
    g_type_window->resize(100, 400);
    return 1;
  }
  if (code == UI_EVENT_ENTRY_CHOSEN && id == 2) {
    if (UiListEntry* e = g_type_list->get_selection()) {
      g_type_chosen = e->value;
      g_type_button->set_text(e->text);
    }
    g_type_list->set_hidden(true);
    g_type_button->set_hidden(false);
    g_type_window->resize(100, 15);
    return 1;
  }
  return 0;
}

void typelist_enter() {
  Ui_page_enabled = true;
  g_type_window = std::make_unique<UiWindow>();
  g_type_window->create(0, 0, 100, 15, 60, 0);
  g_type_window->callback = typelist_event;
  auto* button = new UiButton();
  button->create(g_type_window.get(), 0, 0, 100, 15, 1, 0, true);
  auto* list = new UiListBox();
  list->create(g_type_window.get(), 0, 0, 100, 400, 0, 0, 2, UI_LF_VSCROLL, true);
  g_type_button = button;
  g_type_list = list;
  for (int i = 0; i < Num_character_infos; i++)
    if (const char* name = Character_infos[i].name) list->add_entry(name)->value = i;
  list->set_hidden(true);
  list->set_selection(list->first_entry(), false);
  if (g_type_chosen < 0 || g_type_chosen >= Num_character_infos) g_type_chosen = 0;
  const char* chosen = Num_character_infos > 0 ? Character_infos[g_type_chosen].name : nullptr;
  button->set_text(chosen ? chosen : "");
}

void typelist_frame() {
  if (drawing()) {
    gr_reset_clip();
    gr_clear();
  }
  const int key = state_key_loop(nullptr, true);
  if (key == KEY_ESC) game_state_request(GS_TITLE);
  if (drawing()) ui_render();
  os_sleep(10);
}

void typelist_leave() {
  if (g_type_window) g_type_window->close();
  g_type_window.reset();
  g_type_button = nullptr;
  g_type_list = nullptr;
  Ui_page_enabled = false;
}

// ---- developer help text (state 7) ----------------------------------------------------------
void debughelp_enter() {
  if (Debug_help_str.empty()) Debug_help_str = "You forgot to set the 'Debug_help_str' variable up";
}
void debughelp_frame() {
  const int key = state_key_loop(nullptr, true);
  if (key == KEY_ESC) game_state_request(game_state_previous() > 0 ? game_state_previous() : GS_TITLE);
  if (!drawing()) return;
  gr_reset_clip();
  gr_clear();
  gr_set_color(96, 96, 96, 255);
  gr_string(0, 0, Debug_help_str.c_str());
}
void debughelp_leave() { Debug_help_str.clear(); }

// ---- level picker (state 8) ------------------------------------------------------------------
// The picker's toolkit objects live while the state does; made on first
// use, so nothing depends on the order of static construction.
struct Picker {
  UiWindow window;
  UiButton load, cancel;
  UiListBox levels, starts;
  UiStatic line;
  std::vector<std::string> names;
  std::vector<std::string> start_names;
};
std::unique_ptr<Picker> g_picker;
enum { PICK_LOAD = 1, PICK_CANCEL = 2, PICK_LEVELS = 3, PICK_STARTS = 4, PICK_LINE = 5 };

void fill_starts() {
  Picker& p = *g_picker;
  p.starts.clear();
  p.start_names.clear();
  UiListEntry* sel = p.levels.get_selection();
  if (!sel) return;
  const char* names[7] = {};
  const int n = front().level_start_names(sel->text, names, 7);
  for (int i = 0; i < n && i < 7; i++)
    if (names[i]) p.starts.add_entry(names[i])->value = i;
  if (p.starts.first_entry()) p.starts.set_selection(p.starts.first_entry(), false);
}

void picker_load() {
  UiListEntry* level = g_picker->levels.get_selection();
  if (!level) return;  // nothing chosen: nothing to load
  UiListEntry* start = g_picker->starts.get_selection();
  const std::string name = level->text;
  const std::string start_name = start ? start->text : "";
  front().start_level(name.c_str(), start ? start_name.c_str() : nullptr);
}

int picker_event(int code, int id) {
  if (code == UI_EVENT_CLICK && id == PICK_LOAD) picker_load();
  else if (code == UI_EVENT_CLICK && id == PICK_CANCEL) game_state_request(GS_TITLE);
  else if (code == UI_EVENT_SELECTION_CHANGED && id == PICK_LEVELS) fill_starts();
  else if (code == UI_EVENT_ENTRY_CHOSEN && (id == PICK_LEVELS || id == PICK_STARTS)) g_picker->load.press();
  else return 0;
  return 1;
}

void levelpicker_enter() {
  g_picker = std::make_unique<Picker>();
  Picker& p = *g_picker;
  Ui_page_enabled = true;
  p.window.create(0, 0, gr_screen_width(), gr_screen_height(), 80, 0);
  p.window.callback = picker_event;
  p.load.create(&p.window, 240, 420, 50, 25, PICK_LOAD, 0, false);
  p.load.set_text("Load");
  p.cancel.create(&p.window, 350, 420, 50, 25, PICK_CANCEL, 0, false);
  p.cancel.set_text("Cancel");
  p.levels.create(&p.window, 170, 70, 200, 300, 0, 0, PICK_LEVELS, UI_LF_VSCROLL, false);
  p.starts.create(&p.window, 400, 70, 150, 100, 0, 0, PICK_STARTS, UI_LF_VSCROLL, false);
  p.line.create(&p.window, 220, 390, 300, 30, PICK_LINE, false);
  VFileListEntry head;
  vfile_list_init(&head);
  vfile_list_files(&head, Models_path_type, "*.s3d", VF_LIST_SORT_NAME);
  for (VFileListEntry* e = head.next; e != &head; e = e->next) p.names.emplace_back(e->name);
  vfile_list_free(&head);
  for (size_t i = 0; i < p.names.size(); i++) p.levels.add_entry(p.names[i].c_str())->value = static_cast<int>(i);
  if (p.levels.first_entry()) p.levels.set_selection(p.levels.first_entry(), false);
  fill_starts();
  Menu_cursor_shown = 1;
}

void levelpicker_frame() {
  const int key = menu_frame_input();
  if (key == KEY_ESC) {
    game_state_request(GS_TITLE);
  } else if (key == KEY_ENTER) {
    if (g_picker && g_picker->levels.get_selection()) g_picker->load.press();
  } else {
    ui_process(key, 0);
  }
  if (drawing()) {
    gr_reset_clip();
    gr_clear();
    ui_render();
  }
}

void levelpicker_leave() {
  if (g_picker) g_picker->window.close();
  g_picker.reset();
  Ui_page_enabled = false;
}

void fill_if_empty(int state, const GameStateOps& ops) {
  const GameStateOps now = game_state_get_ops(state);
  if (!now.enter && !now.frame && !now.leave) game_state_set_ops(state, ops);
}
}  // namespace

void front_states_install() {
  fill_if_empty(GS_GAMEPLAY, {gameplay_enter, gameplay_frame, gameplay_leave});
  fill_if_empty(GS_HELP, {help_enter, help_frame, help_leave});
  fill_if_empty(GS_CHARACTER_LIST, {typelist_enter, typelist_frame, typelist_leave});
  fill_if_empty(GS_DEV_HELP, {debughelp_enter, debughelp_frame, debughelp_leave});
  fill_if_empty(GS_DEV_LEVEL_PICKER, {levelpicker_enter, levelpicker_frame, levelpicker_leave});
}

void front_title_enter() { set_screen(SCREEN_MAIN_MENU, nullptr); }

void front_title_frame() {
  const int key = menu_frame_input();
  screen_process_input(key);
  if (drawing()) screen_render();
}

int levelpicker_level_count() { return g_picker ? static_cast<int>(g_picker->names.size()) : 0; }
const char* levelpicker_level_name(int i) {
  return g_picker && i >= 0 && i < levelpicker_level_count() ? g_picker->names[i].c_str() : "";
}
const char* front_loaded_level() { return g_loaded_level.c_str(); }

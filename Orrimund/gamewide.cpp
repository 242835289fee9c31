#include "Orrimund/gamewide.h"

#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "Orrimund/fs_paths.h"
#include "Orrimund/gamestate.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"

bool Gamewide_show_framerate = false;
bool Gamewide_show_hud_info = true;
bool Gamewide_show_net_stats = true;
bool Gamewide_show_gr_info = false;
bool Print_screen_as_targa = false;
bool Max_skills = false;
bool US_open_demo = false;
bool Full_party = false;
bool Dump_sound_usage = false;
bool Give_all_items = false;
bool Render_3d_obstacles = false;

int Overlay_font = -1;

int Cursor_walk = -1;
int Cursor_target = -1;
int Cursorspot_walkto = -1;
int Cursorspot_target = -1;
int Cursorspot_invalid = -1;
int Cursor_loading_icon = -1;
uint8_t Menu_cursor_shown = 0;

namespace {
CONSOLE_BOOL_SWITCH(Cc_show_framerate, "show_framerate", "Toggles Gamewide_show_framerate",
                      Gamewide_show_framerate);
CONSOLE_BOOL_SWITCH(Cc_show_hud_info, "show_hud_info", "Toggles Gamewide_show_hud_info",
                      Gamewide_show_hud_info);
CONSOLE_BOOL_SWITCH(Cc_net_stats, "net_stats", "Toggles Gamewide_show_net_stats", Gamewide_show_net_stats);
CONSOLE_BOOL_SWITCH(Cc_gr_info, "gr_info", "Toggles Gamewide_show_gr_info", Gamewide_show_gr_info);
CONSOLE_BOOL_SWITCH(Cc_targa, "targa", "Toggles Print_screen_as_targa", Print_screen_as_targa);
CONSOLE_BOOL_SWITCH(Cc_max_skills, "max_skills", "Toggles Max_skills", Max_skills);
CONSOLE_BOOL_SWITCH(Cc_us_open_demo, "us_open_demo", "Toggles US_open_demo", US_open_demo);
CONSOLE_BOOL_SWITCH(Cc_full_party, "full_party", "Toggles Full_party", Full_party);
CONSOLE_BOOL_SWITCH(Cc_dump_sound_usage, "dump_sound_usage", "Toggles Dump_sound_usage", Dump_sound_usage);
CONSOLE_BOOL_SWITCH(Cc_give_all_items, "Give_all_items", "Toggles Give_all_items", Give_all_items);
CONSOLE_BOOL_SWITCH(Cc_render_3d_obstacles, "render_3d_obstacles", "Toggles Render_3d_obstacles",
                      Render_3d_obstacles);

int g_cursor = -1;

void draw_framerate() {
  // (not built yet) hidden while a screen other than 0 is open
  char text[32];
  std::snprintf(text, sizeof text, "FPS=%3.1f", static_cast<double>(frametime_fps));
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text, -1, Overlay_font);
  const int sw = gr_screen_width(), sh = gr_screen_height();
  gr_set_color(0, 0, 0, 192);
  gr_rect(sw - 72, sh - 12, w + 4, h + 4, Gr_preset[7]);
  gr_set_color(96, 96, 96, 255);
  gr_string(sw - 70, sh - 10, text, Overlay_font);
}

void draw_renderer_stats() {
  GrStats& s = Gr_stats;
  const int total = s.total;
  const struct {
    const char* format;
    int count;
  } lines[] = {{"PointRotation: %d%%", s.rotate},        {"Backface/FrustumCulling: %d%%", s.cull},
               {"Z-SortingFaces: %d%%", s.sort},         {"SmoothVertexLighting: %d%%", s.light},
               {"PolygonRendering: %d%%", s.draw},       {"EverythingElse: %d%%", s.other}};
  const FontInfo* font = gr_font_get(Overlay_font);
  const int line_height = font ? font->height : 0;
  int y = 0;
  for (const auto& l : lines) {
    char text[64];
    // 64-bit so large counts cannot overflow the percentage.
    std::snprintf(text, sizeof text, l.format, static_cast<int>(static_cast<int64_t>(l.count) * 100 / total));
    gr_string(0, y, text, Overlay_font);
    y += line_height + 1;
  }
  s = GrStats{};
}
}  // namespace

void cursors_load() {
  const struct {
    int* bitmap;
    const char* name;
  } cursors[] = {{&Cursor_walk, "cursor-walk.vbm"},           {&Cursor_target, "cursor-target.vbm"},
                 {&Cursorspot_walkto, "cursorspot-walkto.vbm"}, {&Cursorspot_target, "cursorspot-target.vbm"},
                 {&Cursorspot_invalid, "cursorspot-invalid.vbm"}, {&Cursor_loading_icon, "hud-loading.tga"}};
  for (const auto& c : cursors) {
    // A missing cursor is not drawn; the game runs on without it.
    FileHandle probe;
    if (probe.find(c.name, VFILE_ANY_TYPE)) *c.bitmap = bm_load(c.name);
    else std::printf("Cursor %s could not be loaded\n", c.name);
  }
}

void cursor_set(int bitmap) { g_cursor = bitmap; }
int cursor_get() { return g_cursor; }

void cursor_draw(int x, int y) {
  if (g_cursor < 0) return;
  if (g_cursor == Cursor_target) {
    int w = 0, h = 0;
    bm_get_size(g_cursor, &w, &h);
    x -= w / 2;
    y -= h / 2;
  }
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(g_cursor, x, y, Gr_preset[1]);
}

void overlays_draw(int state) {
  if (Gamewide_show_framerate) draw_framerate();
  if (Gamewide_show_gr_info && Gr_stats.total != 0) draw_renderer_stats();
  if (state == GS_GAMEPLAY && game_is_networked() && Gamewide_show_hud_info && Gamewide_show_net_stats) {
    // (not built yet) "Packets/sec", "bytes sent/sec", "bytes recv/sec" from the transport
  }
}

int screenshot_next_number(bool targa) {
  VFileListEntry head;
  vfile_list_init(&head);
  vfile_list_files(&head, Root_path_type, targa ? "screen*.tga" : "screen*.jpg", 0);
  // The listing comes in directory order, so the last name is not the
  // highest: take the highest number, or an older shot would be written over.
  int highest = -1;
  for (VFileListEntry* e = head.next; e != &head; e = e->next) {
    const char* digits = e->name + 6;  // after "screen"
    if (*digits < '0' || *digits > '9') continue;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (*end != '\0' || n >= INT_MAX) continue;
    if (n > highest) highest = static_cast<int>(n);
  }
  vfile_list_free(&head);
  return highest + 1;
}

void screenshot_write() {
  const bool targa = Print_screen_as_targa;
  char name[32];
  std::snprintf(name, sizeof name, "screen%03d", screenshot_next_number(targa));
  if (gr_save_screen(name, targa ? 0 : 1, Root_path_type))
    console_printf("%s %s%s.%s\n", "Screenshot written to", vfile_root(), name, targa ? "tga" : "jpg");
}

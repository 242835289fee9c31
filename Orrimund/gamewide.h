#pragma once
// Game-wide switches (each a console command), the diagnostic overlays drawn
// at the end of every frame, the mouse cursors and the screenshot writer.
#include <cstdint>

extern bool Gamewide_show_framerate;
extern bool Gamewide_show_hud_info;
extern bool Gamewide_show_net_stats;
extern bool Gamewide_show_gr_info;
extern bool Print_screen_as_targa;
extern bool Max_skills;
extern bool US_open_demo;
extern bool Full_party;
extern bool Dump_sound_usage;
extern bool Give_all_items;
extern bool Render_3d_obstacles;

// The font of the overlays (the game's main font); -1 draws none.
extern int Overlay_font;

// Cursor bitmaps (-1 until cursors_load finds them).
extern int Cursor_walk;
extern int Cursor_target;
extern int Cursorspot_walkto;
extern int Cursorspot_target;
extern int Cursorspot_invalid;
extern int Cursor_loading_icon;
// Whether the end of frame draws the current cursor.
extern uint8_t Menu_cursor_shown;

void cursors_load();
void cursor_set(int bitmap);
int cursor_get();
// The target cursor is centred on (x, y); every other one hangs from its
// top-left corner.
void cursor_draw(int x, int y);

// The frame-rate, renderer-statistics and network-statistics overlays.
void overlays_draw(int state);

// The number the next screenshot gets: one above the highest "screen<n>"
// of that format under the root, 0 when there is none.
int screenshot_next_number(bool targa);
// Writes "screen%03d" as Targa or JPEG under the installation root.
void screenshot_write();

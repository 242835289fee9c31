#pragma once
// Small pieces every screen shares: the rectangle test, bitmaps drawn at the
// UI scale, the bevelled panel box, the UI pulse, the choice list (a popup
// list of texts to pick one from), the loading box shown while a level
// loads, the version label and the step to the next party member.
#include <cstdint>

#include "quarn/gr/gr.h"

// Right and bottom edges are outside.
bool point_in_rect(int x, int y, int left, int top, int width, int height);

// Nothing for a handle below 0; else the whole bitmap at (x, y), its size
// times the UI scale (rounded).
void ui_draw_bitmap_scaled(int bitmap, int x, int y, RenderStateWord mode = Gr_preset[1]);
void ui_draw_panel_box(int x, int y, int width, int height);
// Fills a rectangle in a colour, alpha included.
void ui_fill_rect(int x, int y, int w, int h, const Color& c);

// The UI clock (seconds, advanced by screen_process_input) and its pulses.
extern float Ui_clock;
float ui_pulse_fast();
float ui_pulse_slow();
// Each channel times (pulse + bias), clamped to [0, 1].
void ui_pulse_color(float* r, float* g, float* b, float bias);
void ui_pulse_color_slow(float* r, float* g, float* b, float bias);

// ---- choice list ----------------------------------------------------------------
constexpr int CHOICE_MAX_ITEMS = 16;
constexpr uint32_t CHOICE_CENTER_TITLE = 0x1;
constexpr uint32_t CHOICE_CENTER_ITEMS = 0x2;
constexpr uint32_t CHOICE_DRAG_TO_HUD = 0x4;
constexpr int CHOICE_NONE = -1;    // nothing chosen yet
constexpr int CHOICE_CLOSED = -2;  // closed without a choice
// Ignored for count < 1 or no items. x or y below 0 centres the list. The
// item texts and both arrays stay the caller's and must outlive the list;
// `enabled` null means all enabled.
void choice_list_open(const char* title, int x, int y, int count, const char* const* items, uint32_t flags,
                      const int* item_words, const uint8_t* enabled);
void choice_list_close();
bool choice_list_is_open();
// The chosen index, CHOICE_NONE while nothing is chosen, CHOICE_CLOSED when
// the list closed without a choice.
int choice_list_input(int key);
void choice_list_render();
// The list's rectangle (for tests and hit tests).
void choice_list_rect(int* x, int* y, int* w, int* h);

// ---- loading box -----------------------------------------------------------------
// Copies the screen as the backdrop and starts counting; each step draws the
// box and a bar of round(bar width x min(steps / total, 1)).
void loading_screen_begin(int total_steps);
void loading_bar_step();
void loading_bar_finish();
// Releases the backdrop (also done by the next begin).
void loading_screen_end();
int loading_bar_steps();
int loading_bar_total();
// The bar's filled width for the current steps at this resolution.
int loading_bar_fill_width();
// Milliseconds each drawn step waits (the ORRIMUND_LOAD_PACE_MS developer
// route, 0 by default), so the bar can be watched on a fast machine.
extern int Loading_pace_ms;

// The next console argument as a name of several words: as typed, less the
// quotes round it (the console lower-cases its own copy).
void console_get_name(char* out, int size);

// "v1.01", right-aligned near the bottom right.
void ui_draw_version();

// Steps the controlled hero to the next (or previous) member that can act;
// true when the selection changed.
bool party_select_next(bool backwards);

#pragma once
// The save and load screen (screen 8): the saves on disk with level, play
// time, date, description and thumbnail; save a new game or over an old one,
// load one, delete one. Opened with one byte: 1 save, 0 load.
#include <cstdint>

#include "Orrimund/screens/save_list.h"
#include "Orrimund/screens/screens.h"

constexpr int SAVE_SCREEN_ROWS = 23;
extern const ScreenResource Save_screen_rows[SAVE_SCREEN_ROWS];

void save_screen_register();
// Renders the game view into a thumbnail (16-bit 5-6-5; all zero when the
// screen cannot be read back). The save writer asks for it through its hook.
void save_capture_thumbnail(uint16_t* pixels);

// For tests: the list shown, the selected entry (-1 none), the mode.
int save_screen_count();
const SaveListEntry* save_screen_entry(int i);
int save_screen_selected();
bool save_screen_save_mode();
// The list row rectangle of visible row v.
void save_screen_row_rect(int v, int* x, int* y, int* w, int* h);

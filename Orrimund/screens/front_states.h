#pragma once
// The game states the front end runs itself: the help page (5), the
// character-type list (6), the developer help text (7) and the developer
// level picker (8), and, until the gameplay module fills its row, a plain
// gameplay state (4) that loads the level asked for behind the loading box
// and plays under the HUD on an empty view.
#include <string>

// Fills the rows still empty; once at start-up, after the screens' load.
void front_states_install();
// The title state's work each frame: the key to the screens, then drawing.
void front_title_enter();
void front_title_frame();

// Filled by developer code before state 7 is requested.
extern std::string Debug_help_str;

// The level picker's window, for tests: its level names in order.
int levelpicker_level_count();
const char* levelpicker_level_name(int i);
// The level file the plain gameplay state loaded ("" none).
const char* front_loaded_level();

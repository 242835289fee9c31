#pragma once
// The title's main menu (screen 14), the end splash before quitting
// (screen 23) and the in-game menu (screen 9).
#include "Orrimund/screens/screens.h"

// The level a new game starts in.
constexpr const char* NEW_GAME_LEVEL = "rand-forest01";

constexpr int MAIN_MENU_ROWS = 9;
constexpr int GAME_MENU_ROWS = 9;
extern const ScreenResource Main_menu_rows[MAIN_MENU_ROWS];
extern ScreenButton Main_menu_buttons[MAIN_MENU_ROWS];
extern const ScreenResource Game_menu_rows[GAME_MENU_ROWS];
extern ScreenButton Game_menu_buttons[GAME_MENU_ROWS];

void main_menu_register();
void end_splash_register();
void game_menu_register();
// Milliseconds the end splash stays before quitting.
constexpr int END_SPLASH_MS = 10000;
// Whether the game menu put the game into UI mode itself.
bool game_menu_owns_ui_mode();

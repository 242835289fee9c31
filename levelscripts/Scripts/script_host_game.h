#pragma once
// The game's own script host, installed with the story's hooks at start-up.
void script_host_install_game();
// A level object's open and locked bits in the saved game, under the current
// level and script (the level's services use these for doors). False when
// the saved game keeps no states for the current level or has none for it.
bool script_door_state_get(const char* name, bool* open, bool* locked);
bool script_door_state_set(const char* name, bool open, bool locked);
// The developer mode the test level answers to (console "story_developer").
extern bool Story_developer_mode;

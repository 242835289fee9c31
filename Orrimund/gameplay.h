#pragma once
// The gameplay state (state 4): a level is started by name, loaded behind
// the loading box step by step, the party is created or placed at the
// level's start points, a waiting saved game is resumed, and every frame
// runs the world in the game's order. Leaving releases the level, keeping
// the party when the next state is the gameplay state again (a change of
// level) or help and the type list, which return to the game untouched.
#include <cstdint>

#define LEVEL_NAME_MAX 32

extern char LevelName[LEVEL_NAME_MAX];
extern char StartName[LEVEL_NAME_MAX];
extern uint32_t LevelStartMode;
extern uint8_t Tutorial_opening;
extern uint8_t Level_load_failed;
extern float Level_time, Game_time;
// The town flag of the level in play (its demo script table has "#Town").
extern bool Level_is_town;

// Starts a level by name and start point (null or empty: the level's first
// script entry, else the level's own name). False, with nothing changed, for
// a name that does not fit the level's name field.
bool start_level(const char* level, const char* start);

void gameplay_enter();
void gameplay_frame();
void gameplay_leave();

// The loading sequence: false when the level cannot be entered.
bool level_load();
void level_unload(bool full);
void level_objects_release(bool full);
// From "<start>_demoscript.tbl": the town flag, the character types it
// names and how many of those are not loaded; all 0 without the table.
void level_summary(const char* start, bool* town, int* types, int* types_to_load);
void party_create_for_level();
// Keeps a living hero under control; true when control changed.
bool dead_hero_switch();

// One step of the loading sequence: its name (for tests and the load
// report) and its work; a step that answers false fails the load.
struct LevelLoadStep {
  const char* name;
  bool (*run)();
};
// The steps in the order they run; tests replace them with fakes.
extern LevelLoadStep Level_load_steps[];
extern int Num_level_load_steps;

// Start-up: the gameplay state's row, the front end's view of the party,
// saves and levels, and the hooks of the party, the entities and the scene.
void gameplay_install();

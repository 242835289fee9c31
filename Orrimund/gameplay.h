#pragma once
// The gameplay state (state 4): a level is started by name, loaded behind
// the loading box step by step, the party is created or placed at the
// level's start points, a waiting saved game is resumed, and every frame
// runs the world in the game's order. Leaving releases the level, keeping
// the party when the next state is the gameplay state again (a change of
// level) or help and the type list, which return to the game untouched.
#include <cstdint>

#include "quarn/math/matrix.h"

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
// The frame's cursor: the target cursor while a creature or point is being
// aimed at, else the walk cursor (always over a screen element and on the
// world map).
void cursor_choose();
// Whether this frame's clicks may act on the world (UI mode given).
bool gameplay_world_actions_allowed(bool ui);
// Draws the world and the screens (the frame's last drawing step).
void gameplay_render();
// The orientation the frame's 3D view starts with: the camera's, with its
// shake outside UI mode.
matrix gameplay_view_orientation(const matrix& camera, bool ui);

// What the frame runs of the subsystems beside the gameplay state; a hook
// left null is skipped. (The cutscene's own step runs before the world
// input, so its track reaches the camera before the camera's update; the
// dialogue's step runs with the world.)
struct GameplayFrameHooks {
  void (*automap_reveal_party)() = nullptr;  // outside cutscenes: cells under the living party
  // The cutscene script's characters: in play before the level script's
  // frame (which steps the level's own), in a cutscene after it.
  void (*script_timers)() = nullptr;
  int (*network_game_state)() = nullptr;     // a networked game's state (world clicks only in 5 and 6)
};
void gameplay_set_frame_hooks(const GameplayFrameHooks& hooks);
const GameplayFrameHooks& gameplay_frame_hooks();
// The effect time a script sets for the world's effects (seconds; below 0:
// none, the effects take the frame time).
extern float Script_effect_time;
// The fog readout: shown for 10 s from this game-clock moment, kept up while
// the fog keeps changing; -1 off.
extern int32_t Fog_display_timer;

// One step of the loading sequence: its name (for tests and the load
// report) and its work; a step that answers false fails the load.
struct LevelLoadStep {
  const char* name;
  bool (*run)();
};
// The steps in the order they run; tests replace them with fakes.
extern LevelLoadStep Level_load_steps[];
extern int Num_level_load_steps;
// What the last level entry took (ms, on the system clock): each loading
// step, and from the request to the end of the first gameplay frame (-1
// until that frame has run). The console reports both.
#define MAX_LEVEL_LOAD_STEPS 16
extern int Level_load_step_ms[MAX_LEVEL_LOAD_STEPS];
extern int Level_entry_ms;

// Start-up: the gameplay state's row, the front end's view of the party,
// saves and levels, and the hooks of the party, the entities and the scene.
void gameplay_install();

#pragma once
// The level-script table: one row per level of the game, compiled in, in a
// fixed order. The row number is the level index, and named flags are kept
// per level index inside saved games, so the order of the rows is saved data
// and never changes. A level's hooks become current at level load
// (level_script_setup) and the shell calls them at fixed points.
#include <cstdint>

#define NUM_LEVEL_SCRIPTS 51
#define MAX_LEVEL_SCRIPT_ENTRIES 7
#define LEVEL_NAME_LEN 32
#define WORLDMAP_LEVEL_INDEX 4
#define MASAD_LEVEL_INDEX 3
// The estimate of a level the table does not know.
#define LEVEL_LOAD_STEPS_UNKNOWN 10000
// The cap of a level script entry without "+Levelcap:" (and of a script name
// the table does not list).
#define LEVEL_CAP_DEFAULT 100

struct ScriptEvent;

using LevelHook = void (*)();
using LevelUseHook = bool (*)(const char* name);
using LevelEventHook = void (*)(const ScriptEvent* event);

struct LevelScriptInfo {
  const char* name;
  LevelHook init;
  LevelHook frame;
  LevelHook exit;
  LevelUseHook use;
  LevelUseHook second_check;  // copied at set-up, never called
  LevelEventHook event;
  int32_t load_steps;
  // Filled by the named-flag store at start-up (demo_events.tbl).
  int32_t flag_count;
  const uint32_t* flag_checksums;
  int32_t automap_layers;
  int32_t int_count;
  const uint32_t* int_checksums;
  int32_t float_count;
  const uint32_t* float_checksums;
};

extern LevelScriptInfo Level_scripts[NUM_LEVEL_SCRIPTS];

// The two shared fillers of slots that need no work.
void level_script_empty_hook();
bool level_script_false_hook(const char* name);
// The event slot's empty filler.
void level_script_empty_event(const ScriptEvent* event);

// The level scripts of the story fill their rows' hooks at start-up through
// this; the row number and the estimate never change.
void level_script_set_hooks(int index, LevelHook init, LevelHook frame, LevelHook exit, LevelUseHook use,
                            LevelUseHook second_check, LevelEventHook event);

// Index of the level (ignoring case, first match), -1 when none.
int level_script_info_lookup(const char* name);
// The loading screen's step estimate for a level, LEVEL_LOAD_STEPS_UNKNOWN
// when the table has no row for it.
int level_script_load_steps(const char* name);

// The level position block: saved with the game.
struct LevelPosition {
  char level[LEVEL_NAME_LEN];
  char script[LEVEL_NAME_LEN];  // the arrival variant; empty for the default
  char previous[LEVEL_NAME_LEN];
  uint32_t restart_word;
  int32_t start_navpoints[4];
  int32_t entry_index;  // -1 none, treated as 1
};
extern LevelPosition Level_position;
// Copies at most LEVEL_NAME_LEN - 1 characters; false (and nothing changed)
// for a longer or null name, so a name never runs into its neighbours.
bool level_position_set_level(const char* level, const char* script);

extern int Level_script_current;  // -1 when no level is current

// Current hooks: all null without a level.
extern LevelHook Level_hook_init, Level_hook_frame, Level_hook_exit;
extern LevelUseHook Level_hook_use, Level_hook_second_check;
extern LevelEventHook Level_hook_event;

// Level load: makes the current level's row current and reads its script
// data (through the script-data hook, when one is installed).
void level_script_setup();
// Gameplay enter, after the party and the level's items are placed.
void level_start_scripts(bool arriving);
// Every gameplay frame, in normal play and in cutscenes.
void level_script_frame();
// Gameplay leave, and restart of the level's script data.
void level_script_exit();
// After the world and the screens are drawn: performs the level change of a
// confirmed exit trigger.
void level_script_change();
// The current use hook's answer, false without one.
bool level_script_use_hook(const char* name);
// Developer editor: exit hook then init hook, the level's characters and
// objects back to their start.
void level_script_restart();

// script_filenames.tbl: the arrival variants of each level, their dialogue
// values and level caps. Missing file: no entries.
void script_filenames_load();
void script_filenames_load_text(const char* filename, const char* text, int length);
// CRC-32 of the whole file as read (0 when there was none).
uint32_t script_filenames_checksum();
// Position 0..6 of the script name among the level's entries, -1 when absent.
int level_script_name_index(int level, const char* script);
// The script name of entry i, null when unused.
const char* level_script_entry_name(int level, int entry);
// The entry's level cap; LEVEL_CAP_DEFAULT for an entry that was not read or
// an index out of range, so creatures are never capped by garbage.
int level_script_level_cap(int level, int entry);
void level_script_dialogue_values(int level, int entry, int* v1, int* v2);

// Console switch: the frame hook runs only while true.
extern bool Do_frame_callback;
// Restart marker: set while a restart runs the exit hook.
extern bool Level_script_restarting;

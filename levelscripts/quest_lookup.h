#pragma once
// Small lookups shared by scripts, screens, the editor and the multiplayer
// level selection: quests by name, the journal notice, a quest's stage, the
// level-unlock table and the levels' display names.

#define NUM_LEVEL_UNLOCK_ROWS 25
#define NUM_LEVEL_DISPLAY_NAMES 51

struct LevelUnlockRow {
  int level;  // index in the level-script table
  const char* display_name;
  unsigned own_bits;
  unsigned required_bits;
};
extern const LevelUnlockRow Level_unlock_rows[NUM_LEVEL_UNLOCK_ROWS];

// The first declared quest of that name (ignoring case), -1 when none; a
// null name finds nothing.
int quest_find(const char* name);
// Sets or clears the quest's active bit and shows "Quest Journal Updated";
// indexes outside 0..199 do nothing.
void quest_journal_set(int quest, int on);
// Index of the last stage reached, -1 when inactive, unknown or none reached.
int quest_current_stage(int quest);

// Row 0..24 of the first row with that level index, -1 when none.
int level_unlock_row_find(int level);
// Display name of a row, null outside 0..24.
const char* level_select_row_name(int row);
// Writes the level's display name (cut before its first '#' or digit) into
// out, never more than size bytes with the end mark; "Unknown" when the
// table has none.
void level_display_name(char* out, int size, int level);
// True for names longer than "_cscript.tbl" that end with it (exact case).
bool is_cutscene_script_name(const char* name);

// The level's ambient sounds paused and resumed around a cutscene; the
// ambient records' owner installs these.
extern void (*Level_ambient_pause_hook)();
extern void (*Level_ambient_resume_hook)();
void level_ambient_pause();
void level_ambient_resume();

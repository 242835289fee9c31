#pragma once
// The story state of a campaign: named flags, integers and floats kept per
// level, the automap's explored cells, quests and game stages. Names are
// declared in demo_events.tbl, and the values live inside the save image, so
// saving and loading carry them with no further work. A name belongs to the
// first level that declares it, and is found only in that level.
#include <cstdint>

#include "Engine/characterinfo/saved_names.h"  // name_checksum, level_int_get/set, level_flag_get/set

#define MAX_QUESTS 200
#define MAX_QUEST_STAGES 12
#define QUEST_TEXT_POOL_SIZE 33792
// Every declared name of every level, flags, ints and floats together.
#define MAX_DECLARED_NAMES 8192
#define AUTOMAP_BITS_PER_LAYER 4096

struct QuestStage {
  const char* text;  // null for the invalidating entry
  uint32_t flag;     // 0 when the stage names no flag
};
struct QuestRecord {
  const char* name;
  uint32_t side_quest;  // 0 for a "+Main quest", 1 otherwise
  QuestStage stages[MAX_QUEST_STAGES];
  uint8_t stage_count;        // including the invalidating entry
  int8_t invalidating_entry;  // -1 when none
};

// Start-up, before the save image is laid out: the declarations and quests
// of demo_events.tbl (none when the file is missing) and each level's
// automap layer count from its "demo_%s.tbl".
void level_flags_init();
void demo_events_load_text(const char* filename, const char* text, int length);
// The automap layer count of one level from its table text (tests).
int automap_layer_count_from_text(const char* filename, const char* text, int length);

// Floats of a level; 0.0 when unknown.
float level_float_get(int level, const char* name);
void level_float_set(int level, const char* name, float value);
// bit = layer * 4096 + row * 64 + column; bits past the level's count are
// ignored.
bool level_automap_bit_get(int level, int bit);
void level_automap_bit_set(int level, int bit, bool on);
// The flag's bit in the first level that declares it as a flag.
bool flag_get_any_level(uint32_t checksum);
// Checksum forms of the level operations, for callers that keep checksums.
bool level_flag_get_checksum(int level, uint32_t checksum);

int level_visit_count(int level);
void level_visit_count_set(int level, int n);
void level_visit_count_increment(int level);

int quest_count();
const QuestRecord* quest_get(int index);
bool quest_is_active(int index);
void quest_set_active(int index, bool on);
// Clears every quest whose invalidating entry carries this flag.
void quests_evaluate(uint32_t checksum);

// Developer shortcut to a point of the story: stages 1..22.
void set_game_stage(int stage);
// 0..21: the furthest stage the flags tell.
int judge_game_stage();
// A new game: every hero may join again.
void game_stage_reset_joins();

// Why saving is refused now.
enum SaveRefusal { SAVE_ALLOWED = 0, SAVE_IN_COMBAT = 1, SAVE_NOT_HERE = 2, SAVE_SUMMONING = 3 };
int savegame_allowed_check();
// The latch level scripts set to forbid saving during a scripted scene.
extern uint8_t Savegame_no_save_latch;
void savegame_no_save_reset();

// The declarations of one level (0 when none), for the save image's layout.
int level_declared_flags(int level);
int level_declared_ints(int level);
int level_declared_floats(int level);
int level_automap_layers(int level);

#pragma once
// The cutscene table: named records that say which level a cutscene plays
// in, which streams hold its camera tracks, and which effects, sounds, fog,
// visibility sets and fades switch on at which of its tracks.
//
// Its file, "cutscenes.tbl", is one "$Cutscene:" block a record:
//   $Cutscene: "name"
//   +Level: "level"            ("any": every level)
//   +Script: "script"          (optional; the level script of
//                               play_and_load_cutscene)
//   +Stream: "file"            (up to 4, in order)
//   +Persistent effect: "file" [+On: "entity"]                      (up to 2)
//   +Timed effect: "file" +Track: n [+On: "entity"] [+Length: n]     (up to 10)
//   +Sound track: "file"       (optional)
//   +Timed sound: "name" +Track: n                                   (up to 4)
//   +Fog: near far +Track: n                                         (up to 16)
//   $VisSet: n  followed by  $vis: "name"  lines (up to 16 sets of 16 names)
//   +Fade: in|out start duration +Track: n                           (up to 16)
// Lists are kept in file order; the player walks them in track order.
// Entries past a limit are refused with a message naming the file.
#include <cstdint>

#define MAX_CUTSCENES 85
#define MAX_CUTSCENE_STREAMS 4
#define MAX_CUTSCENE_PERSISTENT_EFFECTS 2
#define MAX_CUTSCENE_TIMED_EFFECTS 10
#define MAX_CUTSCENE_TIMED_SOUNDS 4
#define MAX_CUTSCENE_FOGS 16
#define MAX_CUTSCENE_VIS_SETS 16
#define MAX_CUTSCENE_VIS_NAMES 16
#define MAX_CUTSCENE_FADES 16

enum CutsceneFadeKind { CUTSCENE_FADE_IN = 0, CUTSCENE_FADE_OUT = 1 };

struct CutsceneEffectEntry {
  const char* file = nullptr;
  const char* entity = nullptr;  // null: a free effect
  int16_t track = 0;             // timed effects
  int16_t length = 0;            // tracks; 0 until the cutscene ends
};
struct CutsceneSoundEntry {
  const char* name = nullptr;
  int16_t track = 0;
};
struct CutsceneFogEntry {
  float near_distance = 0.0f, far_distance = 0.0f;
  int16_t track = 0;
};
struct CutsceneVisSet {
  uint16_t track = 0;
  uint16_t name_count = 0;
  const char* names[MAX_CUTSCENE_VIS_NAMES] = {};
};
struct CutsceneFadeEntry {
  int32_t kind = CUTSCENE_FADE_IN;
  float start = 0.0f;     // s after the start of its track
  float duration = 0.0f;  // s
  int16_t track = 0;
};

struct CutsceneRecord {
  const char* name = nullptr;
  int32_t word = 0;  // kept with the record; the player does not read it
  const char* level = nullptr;
  const char* script = nullptr;
  int16_t stream_count = 0;
  const char* streams[MAX_CUTSCENE_STREAMS] = {};
  int16_t persistent_count = 0;
  CutsceneEffectEntry persistent[MAX_CUTSCENE_PERSISTENT_EFFECTS];
  int16_t timed_effect_count = 0;
  CutsceneEffectEntry timed_effects[MAX_CUTSCENE_TIMED_EFFECTS];
  const char* sound_track = nullptr;
  int16_t timed_sound_count = 0;
  CutsceneSoundEntry timed_sounds[MAX_CUTSCENE_TIMED_SOUNDS];
  int16_t fog_count = 0;
  CutsceneFogEntry fogs[MAX_CUTSCENE_FOGS];
  int16_t vis_set_count = 0;
  CutsceneVisSet vis_sets[MAX_CUTSCENE_VIS_SETS];
  int16_t fade_count = 0;
  CutsceneFadeEntry fades[MAX_CUTSCENE_FADES];
};

void cutscene_table_reset();
// Replaces the table with the records of the text. A text that does not
// follow the layout stops at the parser's error.
void cutscene_table_read_text(const char* filename, const char* text, int length);
// The same from the game's files; false (and an empty table) without one.
bool cutscene_table_load(const char* filename);
int cutscene_count();
const CutsceneRecord* cutscene_record_at(int index);

// The first record, in table order, named `name` (case ignored) whose level
// is `level`, "any" or "Placeholder" (case ignored). A "Placeholder" record
// still has to carry the name: it plays in every level, not under every name.
const CutsceneRecord* cutscene_find(const char* name, const char* level);
// The first record of that name, whatever its level.
const CutsceneRecord* cutscene_find_any_level(const char* name);

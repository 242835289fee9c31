#pragma once
// What the save and load screen lists and how it names and dates a save:
// the rules without the drawing, so that they hold whatever the screen shows.
#include <cstdint>
#include <ctime>

constexpr int SAVE_LIST_MAX = 32;
constexpr int SAVE_FILE_NAME_SIZE = 32;
constexpr int SAVE_THUMB_W = 201;
constexpr int SAVE_THUMB_H = 151;

struct SaveListEntry {
  char file_name[SAVE_FILE_NAME_SIZE];
  int level;   // -1 for the new-save entry
  int script;  // -1 for the new-save entry
  float play_time;
  time_t file_time;
  char description[256];
};

// Builds the list from the "*.sav" files of the save folder: only saves whose
// header reads as one of ours, at most 32. In save mode with room left the
// new-save entry comes first, dated `now`. A name too long for the entry is
// left out: cut short it would load or delete another file. Returns the count.
int save_list_build(bool save_mode, time_t now, SaveListEntry out[SAVE_LIST_MAX]);
bool save_list_is_new_entry(const SaveListEntry& e);

// The first "orrimund<n>.sav" not in the save folder; false when the name
// would not fit.
bool save_new_file_name(char* out, int size);

// Only an answer of 0 from the saving rule lets the game save; every other
// answer, known or not, refuses.
bool save_list_may_save(int allowed_check_answer);

// "%d:%02d am|pm" on a 12-hour clock and "Mon. d, yyyy", in local time.
void save_format_time(time_t t, char* out, int size);
void save_format_date(time_t t, char* out, int size);
// Play time as "hh:mm".
void save_format_play_time(float seconds, char* out, int size);

// The save's thumbnail: SAVE_THUMB_W x SAVE_THUMB_H 16-bit 5-6-5 pixels, read
// from behind its header. False (pixels all zero) when it cannot be read.
bool save_read_thumbnail(const char* file_name, uint16_t* pixels);

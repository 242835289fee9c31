#pragma once
// A sound that a data table names: the wave file and how it plays. The
// index stays -1 until the sound table registers the file on first use.
#include <cstdint>

class ParseContext;

struct TableSound {
  const char* name = nullptr;  // pooled, null when the table gives none
  int32_t index = -1;
  uint8_t volume = 0;        // the table's 0..1 times 255
  uint8_t min_distance = 0;  // whole units
  uint8_t rolloff = 0;
};

// The wave names a table may give are at most this long.
constexpr int TABLE_SOUND_NAME_MAX = 127;

// Reads a quoted wave name (at most TABLE_SOUND_NAME_MAX characters) and its
// volume, minimum distance and roll-off. A name without a backslash gets
// "folder\" in front when a folder is given. store keeps the name (a string
// pool of the table) and returns the kept copy.
using TableSoundStore = const char* (*)(const char* name);
void table_sound_read(ParseContext& pc, TableSoundStore store, const char* folder, TableSound& out);

#pragma once
// A sound that a data table names: the wave file and how it plays. The
// index stays -1 until the sound table registers the file on first use.
#include <cstdint>

#include "Engine/gamesound/gamesnd.h"

class ParseContext;

// The game sound record of the sound module: file name (pooled by the
// table, null when the table gives none), index (-1 until registered),
// volume (0..1 as 0..255), minimum distance and roll-off.
using TableSound = GameSound;
// An empty sound: no name, not registered.
constexpr TableSound TABLE_SOUND_NONE{nullptr, -1, 0, 0, 0};

// The wave names a table may give are at most this long.
constexpr int TABLE_SOUND_NAME_MAX = 127;

// Reads a quoted wave name (at most TABLE_SOUND_NAME_MAX characters) and its
// volume, minimum distance and roll-off. A name without a backslash gets
// "folder\" in front when a folder is given. store keeps the name (a string
// pool of the table) and returns the kept copy.
using TableSoundStore = const char* (*)(const char* name);
void table_sound_read(ParseContext& pc, TableSoundStore store, const char* folder, TableSound& out);

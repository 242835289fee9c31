#pragma once
// Named integers and flags of the saved game, as the character and item
// tables use them (chain-skill settings, ring experience, level flags).
// A small store in memory serves until level scripting installs the save
// image's store (saved_names_set_backend).
#include <cstdint>

#include "Engine/gameflags.h"  // game_is_networked

// The checksum of a lower-cased name: the key of named flags and integers
// and of item_lookup_by_checksum. Only A-Z are folded, and only the first 127
// characters count, as the saved keys were made.
uint32_t name_checksum(const char* name);

// Level 4 holds the game-wide integers (ring experience, chain skills).
constexpr int SAVED_GAME_WIDE_LEVEL = 4;
constexpr int SAVED_MAX_LEVEL = 50;

// 0 when the level or the name is unknown.
int level_int_get(int level, const char* name);
void level_int_set(int level, const char* name, int value);
bool level_flag_get(int level, const char* name);
void level_flag_set(int level, const char* name, bool value);
// Forgets every value (a new game).
void saved_names_clear();

// Level scripting keeps these values in the save image: once it installs its
// store, every operation above goes there (the store in memory is only for a
// world without scripting: tools and tests of the world systems).
struct SavedNamesBackend {
  int (*int_get)(int level, const char* name);
  void (*int_set)(int level, const char* name, int value);
  bool (*flag_get)(int level, const char* name);
  void (*flag_set)(int level, const char* name, bool value);
};
// Null goes back to the store in memory.
void saved_names_set_backend(const SavedNamesBackend* backend);

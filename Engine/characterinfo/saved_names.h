#pragma once
// Named integers and flags of the saved game, as the character and item
// tables use them (chain-skill settings, ring experience, level flags).
// Until the save image exists this is a small store in memory with the same
// operations; the save image takes over these names when it lands.
#include <cstdint>

#include "Engine/gameflags.h"  // game_is_networked

// The checksum of a lower-cased name: the key of named flags and integers
// and of item_lookup_by_checksum.
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

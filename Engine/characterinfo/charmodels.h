#pragma once
// Character models and animation sets: which of a type's move animations a
// level loads, how the missing ones borrow another move's, and the memory
// budget of each level start. A hero loads only the moves of the weapon
// class it holds (and of class "none") and reloads when the class changes;
// other types load everything.
//
// The loading itself (an animation into the type's base character) is the
// model code's: it is handed in as a function, so these rules run without
// files in tests.
#include <cstdint>

#include "Engine/characterinfo/characterinfo.h"

enum LevelPool { POOL_RUVIZO, POOL_ZAZURU, POOL_RIVUD, POOL_RIVADARA, POOL_SUMMON, NUM_LEVEL_POOLS };
constexpr int STATSCREEN_POOL_SIZE = 30720;
extern const char* const Level_pool_names[NUM_LEVEL_POOLS];

// What a level start knows that the rules read.
struct LevelAnimContext {
  bool networked = false;
  bool reduced = false;  // the level's reduced-animation flag
  const char* level_name = "";
  const char* variant_name = "";
};

// The byte sizes of the four hero pools and the summon pool.
void charinfo_pool_sizes(const LevelAnimContext& ctx, int32_t out[NUM_LEVEL_POOLS]);

// True when a move's animation is not loaded on this level. May set the
// move's slot to 1 (the levels that play animation 1 instead).
bool charinfo_level_anim_filter(const LevelAnimContext& ctx, const Character_info* type, Move_info* move,
                                bool temple);

// Fills moves without an animation from a donor move of the type.
void charinfo_share_anims(const LevelAnimContext& ctx, Character_info* type, bool temple);

// Every move's slot and sound back to -1 and the class mask to 0.
void charinfo_reset_anims(Character_info* type);

// Loads one move's animation; the slot, or -1 when it cannot be had.
using CharinfoLoadMove = int (*)(Character_info* type, Move_info* move);

// Loads the moves of a weapon class for a type: nothing when that class is
// already loaded. A hero outside a networked game loads the moves whose
// class mask meets the class or "none" (not the stat-screen poses 158 and
// 159); everyone else loads every move. Returns the moves loaded.
int charinfo_set_weapon_class(const LevelAnimContext& ctx, Character_info* type, int weapon_class,
                              CharinfoLoadMove load);

// The stat-screen pose of a hero type: its state move of variation
// "statscreen heavy" (159) or "statscreen light" (158); null when the type
// has none.
constexpr int VARIATION_STATSCREEN_LIGHT = 158;
constexpr int VARIATION_STATSCREEN_HEAVY = 159;
Move_info* charinfo_statscreen_move(Character_info* type, bool heavy);

// The stance number of a weapon class (class 0 -> 10, 1 -> 2, ... 8 -> 9).
int entity_stance_for_class(int weapon_class);

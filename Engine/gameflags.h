#pragma once
// The game-wide bits: one 32-bit word read and written by most of the game.
// Set and clear through the helpers so the meaning of each bit stays named.
#include <cstdint>

constexpr uint32_t GF_SINGLE_PLAYER = 0x1;
constexpr uint32_t GF_NETWORKED = 0x2;
constexpr uint32_t GF_UI_MODE = 0x4;              // the world is paused for a modal screen
constexpr uint32_t GF_CUTSCENE_WAITS = 0x8;       // a cutscene waits for its level
constexpr uint32_t GF_CUTSCENE_ON_ENTRY = 0x10;   // start the waiting cutscene on level entry
constexpr uint32_t GF_CUTSCENE = 0x20;            // a cutscene is running
constexpr uint32_t GF_SCREENSHOT = 0x40;          // write a screenshot at the end of the frame
constexpr uint32_t GF_NO_UI = 0x80;               // the front end draws nothing
constexpr uint32_t GF_CONVERSATION = 0x100;
constexpr uint32_t GF_LEVEL_IN_PLAY = 0x200;
constexpr uint32_t GF_CAMERA_TRACK = 0x800;       // a camera track holds the view; cleared when it ends
constexpr uint32_t GF_SOLO = 0x1000;
constexpr uint32_t GF_SKIP_SWAP = 0x8000;         // do not present this frame
constexpr uint32_t GF_INPUT_LOCKED = 0x10000;
constexpr uint32_t GF_SAVE_THUMBNAIL = 0x20000;   // the scene is drawn for a save picture
constexpr uint32_t GF_PARTY_DEAD = 0x40000;

// Zero at load; the title state sets it to GF_SINGLE_PLAYER.
extern uint32_t GameFlags;

inline void game_flags_set(uint32_t bits) { GameFlags |= bits; }
inline void game_flags_clear(uint32_t bits) { GameFlags &= ~bits; }
// True when any of the bits is set.
inline bool game_flags_test(uint32_t bits) { return (GameFlags & bits) != 0; }
inline bool game_is_networked() { return game_flags_test(GF_NETWORKED); }
inline bool game_is_single_player() { return game_flags_test(GF_SINGLE_PLAYER); }

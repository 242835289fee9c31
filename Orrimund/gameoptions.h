#pragma once
// The player's options, kept in orrimund.cfg under the installation root:
// 48 bytes, little-endian, field by field. A missing or short file leaves the
// defaults for whatever it does not hold.
#include <cstddef>
#include <cstdint>

constexpr int GAME_OPTIONS_SIZE = 48;
constexpr const char* GAME_OPTIONS_FILE = "orrimund.cfg";
// The 32-bit fields hold choices from 0 to this.
constexpr uint32_t GAME_OPTIONS_MAX_CHOICE = 2;

struct GameOptions {
  float sound_volume;         // sound effects, category 0
  float music_volume;
  uint8_t unused_8;           // kept in the file; nothing reads it
  uint8_t reverse_mouse_turn; // the camera's mouse turning reversed
  uint8_t unused_10;
  uint8_t unused_11;
  uint8_t combat_display;
  uint8_t hud_switch;
  uint8_t pad_14[2];
  uint32_t dialog_camera;     // the dcamera command
  uint32_t level_detail_a;
  uint32_t level_detail_b;
  uint32_t detail_level;      // 0 on cards with 8 MB of video memory or less
  uint8_t detail_switch_32;   // 1 when the renderer lacks the needed render state
  uint8_t detail_switch_33;
  uint8_t pad_34[2];
  uint32_t detail_setting;
  uint32_t scene_setting;
  uint8_t detail_switch_44;   // 0 when the renderer lacks the capability
  uint8_t pad_45[3];
};

extern GameOptions Game_options;

GameOptions game_options_defaults();
// Decodes what the bytes hold over `options`; a field cut off by the end of
// the data, and everything after it, keeps its value, as does a volume that is
// not a number from 0 to 1 and a 32-bit choice above 2. Returns the fields
// read.
int game_options_decode(const uint8_t* data, size_t size, GameOptions* options);
void game_options_encode(const GameOptions& options, uint8_t out[GAME_OPTIONS_SIZE]);

// Defaults, then orrimund.cfg over them; the volumes go to the sound.
void options_read();
// Replaces orrimund.cfg whole: the bytes go to a temporary file that takes
// the old one's place only once written, so a failed write leaves the file as
// it was. A failure is silent (false).
bool options_write();
// Options the card cannot carry: cards with 8 MB of video memory or less get
// the lowest detail level.
void options_adjust_to_card();

#include "Orrimund/gameoptions.h"

#include <cstring>
#include <type_traits>

#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Orrimund/fs_paths.h"
#include "quarn/gr/gr.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

GameOptions Game_options = game_options_defaults();

GameOptions game_options_defaults() {
  GameOptions o{};
  o.sound_volume = 0.8f;
  o.music_volume = 0.5f;
  o.unused_8 = 1;
  o.level_detail_a = 2;
  o.level_detail_b = 2;
  o.detail_level = 2;
  o.detail_switch_33 = 1;
  o.detail_setting = 2;
  return o;
}

namespace {
// One list of the fields in file order serves reading and writing, so the
// two can never disagree about the layout.
template <typename Options, typename Visit>
void visit_fields(Options& o, Visit&& v) {
  v(o.sound_volume);
  v(o.music_volume);
  v(o.unused_8);
  v(o.reverse_mouse_turn);
  v(o.unused_10);
  v(o.unused_11);
  v(o.combat_display);
  v(o.hud_switch);
  v(o.pad_14[0]);
  v(o.pad_14[1]);
  v(o.dialog_camera);
  v(o.level_detail_a);
  v(o.level_detail_b);
  v(o.detail_level);
  v(o.detail_switch_32);
  v(o.detail_switch_33);
  v(o.pad_34[0]);
  v(o.pad_34[1]);
  v(o.detail_setting);
  v(o.scene_setting);
  v(o.detail_switch_44);
  v(o.pad_45[0]);
  v(o.pad_45[1]);
  v(o.pad_45[2]);
}
}  // namespace

int game_options_decode(const uint8_t* data, size_t size, GameOptions* options) {
  ReadStream in;
  const int n = size > GAME_OPTIONS_SIZE ? GAME_OPTIONS_SIZE : static_cast<int>(size);
  in.open_memory(data, n);
  int fields = 0;
  bool ended = false;
  visit_fields(*options, [&](auto& field) {
    if (ended || in.tell() + static_cast<int>(sizeof field) > n) {
      ended = true;
      return;
    }
    using T = std::remove_reference_t<decltype(field)>;
    if constexpr (std::is_same_v<T, float>) {
      // The floats are volumes and go straight to the sound: anything but a
      // number from 0 to 1 keeps the value the field had.
      const float v = in.read_float();
      if (v >= 0.0f && v <= 1.0f) field = v;
    }
    else if constexpr (std::is_same_v<T, uint32_t>) {
      // Every 32-bit field is a detail level or camera choice, 0 to 2, that
      // renderers index tables with: anything else keeps the value it had.
      const uint32_t v = static_cast<uint32_t>(in.read_int());
      if (v <= GAME_OPTIONS_MAX_CHOICE) field = v;
    }
    else field = in.read_ubyte();
    fields++;
  });
  return fields;
}

void game_options_encode(const GameOptions& options, uint8_t out[GAME_OPTIONS_SIZE]) {
  int at = 0;
  visit_fields(options, [&](const auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    uint32_t bits;
    if constexpr (std::is_same_v<T, float>) std::memcpy(&bits, &field, 4);
    else bits = field;
    for (size_t i = 0; i < sizeof field; i++) out[at++] = static_cast<uint8_t>(bits >> (8 * i));
  });
}

void options_read() {
  Game_options = game_options_defaults();
  FileHandle f;
  if (f.open(GAME_OPTIONS_FILE, VF_READ, Root_path_type) >= 0) {
    uint8_t bytes[GAME_OPTIONS_SIZE];
    const int got = f.read(bytes, GAME_OPTIONS_SIZE);
    f.close();
    if (got > 0) game_options_decode(bytes, static_cast<size_t>(got), &Game_options);
  }
  snd_set_category_volume(0, Game_options.sound_volume);  // sound_volume to sound category 0
  music_set_volume(Game_options.music_volume);             // music_volume to the music player
}

bool options_write() {
  uint8_t bytes[GAME_OPTIONS_SIZE];
  game_options_encode(Game_options, bytes);
  FileHandle f;
  if (f.open(GAME_OPTIONS_FILE, VF_WRITE, Root_path_type) < 0) return false;
  const int written = f.write(bytes, GAME_OPTIONS_SIZE);
  return f.close() == 0 && written == GAME_OPTIONS_SIZE;
}

void options_adjust_to_card() {
  // (not built yet) offset 32 set and the level renderer's flag cleared when its render state is missing
  if (gr_is_initialised() && gr_get_video_memory() <= 8) Game_options.detail_level = 0;  // in MB
  // (not built yet) offset 44 cleared when the renderer lacks its capability
  // (not built yet) detail levels applied
}

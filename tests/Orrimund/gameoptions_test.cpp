// orrimund.cfg: 48 little-endian bytes with the defaults the options table
// gives; short and damaged files keep the defaults for what they lack.
#include "Orrimund/gameoptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"

namespace {
// The defaults as the bytes of the file, written out by hand from the table.
const std::vector<uint8_t> DEFAULT_BYTES = {
    0xCD, 0xCC, 0x4C, 0x3F,  // 0.8
    0x00, 0x00, 0x00, 0x3F,  // 0.5
    1, 0, 0, 0, 0, 0, 0, 0,  // switches and padding
    0, 0, 0, 0,              // dialog camera
    2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
    0, 1, 0, 0,              // switches at 32 and 33, padding
    2, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0};

struct OptionsFile : ::testing::Test {
  std::filesystem::path root;
  void SetUp() override {
    vfile_shutdown();
    root = fresh_temp_dir("gameoptions");
    vfile_set_root(root.c_str(), false);
    fs_register_path_types();
  }
  void TearDown() override {
    vfile_shutdown();
    Game_options = game_options_defaults();
    std::filesystem::remove_all(root);
  }
  void put(const std::vector<uint8_t>& bytes) {
    std::ofstream out(root / "orrimund.cfg", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
};
}  // namespace

TEST(GameOptionsBytes, DefaultsEncodeToTheTablesBytes) {
  ASSERT_EQ(DEFAULT_BYTES.size(), 48u);
  uint8_t out[GAME_OPTIONS_SIZE];
  game_options_encode(game_options_defaults(), out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + GAME_OPTIONS_SIZE), DEFAULT_BYTES);
}

TEST(GameOptionsBytes, EveryFieldLandsAtItsOffset) {
  GameOptions o{};
  o.sound_volume = 1.0f;            // 0x3F800000
  o.music_volume = 0.75f;           // 0x3F400000
  o.reverse_mouse_turn = 9;
  o.combat_display = 12;
  o.hud_switch = 13;
  o.pad_14[1] = 0x15;               // padding travels as it stands
  o.dialog_camera = 0x11223344;
  o.detail_level = 28;
  o.detail_switch_32 = 32;
  o.scene_setting = 0x40404040;
  o.detail_switch_44 = 44;
  o.pad_45[2] = 0x47;
  uint8_t out[GAME_OPTIONS_SIZE];
  game_options_encode(o, out);
  EXPECT_EQ(out[3], 0x3F);
  EXPECT_EQ(out[2], 0x80);
  EXPECT_EQ(out[7], 0x3F);
  EXPECT_EQ(out[6], 0x40);
  EXPECT_EQ(out[9], 9);
  EXPECT_EQ(out[12], 12);
  EXPECT_EQ(out[13], 13);
  EXPECT_EQ(out[15], 0x15);
  EXPECT_EQ(out[16], 0x44);
  EXPECT_EQ(out[19], 0x11);
  EXPECT_EQ(out[28], 28);
  EXPECT_EQ(out[32], 32);
  EXPECT_EQ(out[40], 0x40);
  EXPECT_EQ(out[44], 44);
  EXPECT_EQ(out[47], 0x47);
  // Read back, the choices must be ones the game offers.
  o.dialog_camera = 1;
  o.detail_level = 0;
  o.scene_setting = 2;
  game_options_encode(o, out);
  GameOptions back = game_options_defaults();
  EXPECT_EQ(game_options_decode(out, GAME_OPTIONS_SIZE, &back), 24);
  uint8_t again[GAME_OPTIONS_SIZE];
  game_options_encode(back, again);
  EXPECT_EQ(std::memcmp(out, again, GAME_OPTIONS_SIZE), 0);
}

TEST(GameOptionsBytes, ShortDataKeepsTheDefaultsOfWhatIsMissing) {
  struct Case {
    size_t size;
    int fields;
    float music;
    uint8_t reverse;
    uint32_t detail_level;
  } cases[] = {
      {0, 0, 0.5f, 0, 2},
      {6, 1, 0.5f, 0, 2},      // a cut float keeps its default
      {10, 4, 0.25f, 1, 2},
      {30, 13, 0.25f, 1, 2},   // detail level cut in the middle
      {32, 14, 0.25f, 1, 1},
      {47, 23, 0.25f, 1, 1},
      {100, 24, 0.25f, 1, 1},  // a longer file: the first 48 bytes
  };
  std::vector<uint8_t> bytes = DEFAULT_BYTES;
  bytes[4] = 0, bytes[5] = 0, bytes[6] = 0x80, bytes[7] = 0x3E;  // music 0.25
  bytes[9] = 1;
  bytes[28] = 1;
  bytes.resize(100, 0xAB);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    GameOptions o = game_options_defaults();
    EXPECT_EQ(game_options_decode(bytes.data(), c.size, &o), c.fields);
    EXPECT_EQ(o.music_volume, c.music);
    EXPECT_EQ(o.reverse_mouse_turn, c.reverse);
    EXPECT_EQ(o.detail_level, c.detail_level);
    EXPECT_EQ(o.sound_volume, 0.8f);
  }
}

// Volumes go straight to the sound: one that is not a number or lies
// outside 0 to 1 keeps the value it had (the default, when read at start).
TEST(GameOptionsBytes, VolumesThatAreNotNumbersOrOutOfRangeKeepTheirDefaults) {
  struct Case {
    uint8_t b[4];
    float expected;
  } cases[] = {
      {{0x00, 0x00, 0xC0, 0x7F}, 0.8f},  // NaN
      {{0x00, 0x00, 0xC0, 0xFF}, 0.8f},  // NaN with the sign set
      {{0x00, 0x00, 0x80, 0x7F}, 0.8f},  // +infinity
      {{0x00, 0x00, 0xC0, 0x3F}, 0.8f},  // 1.5
      {{0xCD, 0xCC, 0xCC, 0xBD}, 0.8f},  // -0.1
      {{0x00, 0x00, 0x80, 0x3F}, 1.0f},  // the ends of the range are kept
      {{0x00, 0x00, 0x00, 0x00}, 0.0f},
      {{0x00, 0x00, 0x80, 0x3E}, 0.25f},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = DEFAULT_BYTES;
    std::memcpy(&bytes[0], c.b, 4);
    std::memcpy(&bytes[4], c.b, 4);
    bytes[9] = 1;
    GameOptions o = game_options_defaults();
    EXPECT_EQ(game_options_decode(bytes.data(), bytes.size(), &o), 24);
    EXPECT_EQ(o.sound_volume, c.expected) << int(c.b[3]) << " " << int(c.b[2]);
    EXPECT_EQ(o.music_volume, c.expected == 0.8f ? 0.5f : c.expected);
    EXPECT_EQ(o.reverse_mouse_turn, 1);  // the fields after them are still read
  }
}

// Renderers index tables with the 32-bit choices: a hostile file must not
// hand them a value beyond 2. Each out-of-range field keeps its default while
// its neighbours are still read.
TEST(GameOptionsBytes, ChoicesAboveTwoKeepTheirDefaults) {
  struct Case {
    int offset;
    uint8_t b[4];
    uint32_t expected;
  } cases[] = {
      {16, {3, 0, 0, 0}, 0},              // dialog camera
      {20, {0xFF, 0xFF, 0xFF, 0xFF}, 2},  // -1 as a signed field
      {24, {0, 0, 0, 0x80}, 2},           // the most negative
      {28, {0, 1, 0, 0}, 2},              // 256: only the high byte set
      {36, {0x7F, 0xFF, 0xFF, 0xFF}, 2},
      {40, {2, 0, 0, 1}, 0},
      {28, {0, 0, 0, 0}, 0},              // in range: read as it stands
      {40, {2, 0, 0, 0}, 2},
      {20, {1, 0, 0, 0}, 1},
  };
  auto field = [](const GameOptions& o, int offset) {
    switch (offset) {
      case 16: return o.dialog_camera;
      case 20: return o.level_detail_a;
      case 24: return o.level_detail_b;
      case 28: return o.detail_level;
      case 36: return o.detail_setting;
      default: return o.scene_setting;
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    std::vector<uint8_t> bytes = DEFAULT_BYTES;
    std::memcpy(&bytes[c.offset], c.b, 4);
    bytes[9] = 1;   // before the field
    bytes[44] = 1;  // after it
    GameOptions o = game_options_defaults();
    EXPECT_EQ(game_options_decode(bytes.data(), bytes.size(), &o), 24);
    EXPECT_EQ(field(o, c.offset), c.expected);
    EXPECT_EQ(o.reverse_mouse_turn, 1);
    EXPECT_EQ(o.detail_switch_44, 1);
  }
}

TEST_F(OptionsFile, WriteThenReadRoundTripsAndTheFileIs48Bytes) {
  Game_options = game_options_defaults();
  Game_options.music_volume = 0.125f;
  Game_options.detail_level = 1;
  Game_options.hud_switch = 1;
  ASSERT_TRUE(options_write());
  EXPECT_EQ(std::filesystem::file_size(root / "orrimund.cfg"), 48u);
  Game_options = game_options_defaults();
  options_read();
  EXPECT_EQ(Game_options.music_volume, 0.125f);
  EXPECT_EQ(Game_options.detail_level, 1u);
  EXPECT_EQ(Game_options.hud_switch, 1);
  // Written again over a longer old file, it is replaced whole.
  put(std::vector<uint8_t>(200, 0x55));
  ASSERT_TRUE(options_write());
  EXPECT_EQ(std::filesystem::file_size(root / "orrimund.cfg"), 48u);
  for (const auto& e : std::filesystem::directory_iterator(root))
    EXPECT_TRUE(e.is_directory() || e.path().filename() == "orrimund.cfg") << e.path();
}

TEST_F(OptionsFile, MissingAndShortFilesLeaveTheDefaults) {
  Game_options.detail_level = 99;
  options_read();  // no file
  EXPECT_EQ(Game_options.detail_level, 2u);
  std::vector<uint8_t> shortfile(DEFAULT_BYTES.begin(), DEFAULT_BYTES.begin() + 10);
  shortfile[9] = 1;
  put(shortfile);
  options_read();
  EXPECT_EQ(Game_options.reverse_mouse_turn, 1);
  EXPECT_EQ(Game_options.detail_switch_33, 1);
  EXPECT_EQ(Game_options.detail_setting, 2u);
}

TEST(GameOptionsCard, SmallVideoMemoryForcesTheLowestDetailLevel) {
  struct Card : GrRecorder {
    int mb = 0;
    int video_memory() override { return mb; }
  } card;
  gr_set_recorder(&card);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  for (int mb : {4, 8, 9, 64}) {
    card.mb = mb;
    Game_options = game_options_defaults();
    options_adjust_to_card();
    EXPECT_EQ(Game_options.detail_level, mb <= 8 ? 0u : 2u) << mb;
  }
  gr_close();
  gr_set_recorder(nullptr);
  Game_options = game_options_defaults();
}

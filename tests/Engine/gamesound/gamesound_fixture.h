#pragma once
// The sound manager over the real output layer on the loopback device, with
// an installation root of its own holding the waves and tables of a test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Engine/gamesound/emitter.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Orrimund/fs_paths.h"
#include "Engine/gameflags.h"
#include "quarn/os/timer.h"
#include "quarn/platform/mmtimer.h"
#include "quarn/sound/ds.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/wave_writer.h"

class GameSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fresh_temp_dir("gamesound");
    std::filesystem::create_directories(root_ + "/data/sounds/pc");
    std::filesystem::create_directories(root_ + "/data/tables");
    vfile_shutdown();
    vfile_set_root(root_.c_str(), false);
    fs_register_path_types();
    snd_reset_for_tests();
    music_reset_for_tests();
    ds_platform_use_loopback(44100);
    mm_timer_set_manual(true);
  }
  void TearDown() override {
    snd_reset_for_tests();
    ds_platform_use_loopback(0);
    mm_timer_set_manual(false);
    vfile_shutdown();
  }
  void start(bool three_d) { ASSERT_EQ(snd_init(nullptr, 44100, 16, 2, three_d, false, false, false), 0); }
  void wave(const std::string& name, double seconds = 0.3, int rate = 22050) {
    ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/" + name,
                                wave_build_pcm(wave_tone(rate, 1, seconds, 440.0, 0.4), 1, rate, 16)));
  }
  void table(const std::string& name, const std::string& text) {
    ASSERT_TRUE(wave_write_file(root_ + "/data/tables/" + name, std::vector<uint8_t>(text.begin(), text.end())));
  }
  std::string root_;
};

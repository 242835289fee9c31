// The cutscene player's frame steps on a record of four one-second tracks:
// what each frame starts, in order, with the services as recording hooks.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "levelscripts/cutscene_player.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/cutscene_writer.h"

namespace {

std::vector<std::string> Log;

void say(const std::string& s) { Log.push_back(s); }

CutscenePlayerHooks recording_hooks() {
  CutscenePlayerHooks h;
  h.fade = [](int kind, int ms) { say(std::string(kind == CUTSCENE_FADE_IN ? "fade in " : "fade out ") + std::to_string(ms)); };
  h.fade_now = [](bool black) { say(black ? "black" : "clear"); };
  h.fog = [](float n, float f) { say("fog " + std::to_string(static_cast<int>(n)) + " " + std::to_string(static_cast<int>(f))); };
  h.camera_track = [](CampathTrack* t) {
    say("track " + std::to_string(static_cast<int>(t - Cutscene_player.tracks.tracks)));
  };
  h.effect_start = [](const CutsceneEffectEntry& e) {
    say(std::string("effect ") + e.file);
    return 7;
  };
  h.effect_stop_drawing = [](int handle) { say("hide " + std::to_string(handle)); };
  h.sound_play = [](const CutsceneSoundEntry& s) { say(std::string("sound ") + s.name); };
  h.stop = [] { say("stop"); };
  return h;
}

const char Record[] =
    "$Cutscene: \"Gate\" +Level: \"any\" +Stream: \"gate.csc\"\n"
    "+Timed effect: \"spark.vfx\" +Track: 1 +Length: 2\n"
    "+Timed sound: \"bell\" +Track: 2\n"
    "+Fog: 10 100 +Track: 0\n+Fog: 5 50 +Track: 2\n"
    "+Fade: in 0 0.5 +Track: 0\n+Fade: out 0.5 0.25 +Track: 2\n+Fade: in 0 0.25 +Track: 2\n";

class CutscenePlayerSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    cutscene_table_read_text("cutscenes.tbl", Record, sizeof Record - 1);
    cutscene_player_release();
    campath_release_keys();
    std::vector<CscTrack> tracks;
    for (int i = 0; i < 4; i++) {
      CscTrack t{static_cast<float>(i), static_cast<float>(i + 1)};
      t.positions = {{i * 4800, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
      tracks.push_back(t);
    }
    bytes_ = cutscene_stream_bytes(tracks);
    ReadStream rs;
    rs.open_memory(bytes_.data(), static_cast<int>(bytes_.size()));
    ASSERT_TRUE(cutscene_stream_read(rs, Cutscene_player.tracks));
    cutscene_player_set_hooks(recording_hooks());
    cutscene_player_begin(cutscene_find("gate", "demo_outdoor"));
  }
  void TearDown() override {
    cutscene_player_set_hooks({});
    cutscene_player_release();
    campath_release_keys();
    cutscene_table_reset();
  }
  // One gameplay frame at `ms` after the first.
  std::vector<std::string> frame(uint32_t ms) {
    Log.clear();
    cutscene_frame_camera(100000 + ms);
    cutscene_frame_events();
    return Log;
  }
  std::vector<uint8_t> bytes_;
};

using Steps = std::vector<std::string>;

TEST_F(CutscenePlayerSteps, EachFrameStartsWhatItsTrackAndTimeBring) {
  // Track 0: the first fade is a fade in, so the screen starts black.
  EXPECT_EQ(frame(0), (Steps{"track 0", "black", "fade in 500", "fog 10 100"}));
  EXPECT_EQ(frame(500), (Steps{"fog 10 100"}));
  EXPECT_EQ(frame(1000), (Steps{"track 1", "effect spark.vfx", "fog 10 100"}));
  // Track 2's fade out is due 0.5 s into the track; it waits.
  EXPECT_EQ(frame(2000), (Steps{"track 2", "sound bell", "fog 5 50"}));
  EXPECT_EQ(frame(2400), (Steps{"fog 5 50"}));
  // Two fades due together start in two frames.
  EXPECT_EQ(frame(2500), (Steps{"fade out 250", "fog 5 50"}));
  EXPECT_EQ(frame(2510), (Steps{"fade in 250", "fog 5 50"}));
  // The effect of length 2 started at track 1 stops drawing as track 3 begins.
  EXPECT_EQ(frame(3000), (Steps{"track 3", "hide 7", "fog 5 50"}));
  EXPECT_EQ(frame(4000), (Steps{"stop"}));
  EXPECT_FLOAT_EQ(Cutscene_player.frame_step, 1.0f);
}

TEST_F(CutscenePlayerSteps, NothingRunsWithoutARecord) {
  cutscene_player_release();
  EXPECT_EQ(frame(0), Steps{});
  EXPECT_EQ(Cutscene_player.current_track, -1);
  EXPECT_FLOAT_EQ(Cutscene_player.time_offset, -1.0f);
}

}  // namespace

namespace {

// Streams under the cutscene's own folder of a scratch root.
class CutsceneLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fresh_temp_dir("cutscene_loading");
    vfile_shutdown();
    vfile_set_root((root_ + "/").c_str(), false);
    std::filesystem::create_directories(root_ + "/data/cutscenes/gate");
    CscTrack a{0.0f, 1.5f}, b{1.5f, 2.0f};
    ASSERT_TRUE(cutscene_stream_write_file(root_ + "/data/cutscenes/gate/one.csc", {a}));
    ASSERT_TRUE(cutscene_stream_write_file(root_ + "/data/cutscenes/gate/two.csc", {b}));
    std::vector<uint8_t> bad = cutscene_stream_bytes({a}, 0x10000);
    FILE* f = std::fopen((root_ + "/data/cutscenes/gate/old.csc").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bad.data(), 1, bad.size(), f);
    std::fclose(f);
  }
  void TearDown() override {
    cutscene_player_release();
    campath_release_keys();
    cutscene_table_reset();
    vfile_shutdown();
  }
  const CutsceneRecord* record(const char* streams) {
    const std::string text = std::string("$Cutscene: \"gate_cscript.tbl\" +Level: \"any\" ") + streams + "\n";
    cutscene_table_read_text("cutscenes.tbl", text.data(), static_cast<int>(text.size()));
    return cutscene_record_at(0);
  }
  std::string root_;
};

TEST_F(CutsceneLoading, ReadsTheStreamsOfTheCutscenesFolderInOrder) {
  ASSERT_TRUE(cutscene_load_record(record("+Stream: \"one.csc\" +Stream: \"two.csc\"")));
  EXPECT_EQ(Cutscene_player.tracks.count, 2);
  EXPECT_FLOAT_EQ(Cutscene_player.end_time, 2.0f);
  EXPECT_FLOAT_EQ(Cutscene_player.time_offset, 0.0f);
  EXPECT_EQ(Cutscene_player.current_track, -1);
  ASSERT_GE(Cutscene_player.stream_path_type, 0);
  EXPECT_EQ(std::string(vfile_type_ext_list(Cutscene_player.stream_path_type)).rfind(".csc .mvf .vfx", 0), 0u);
  const int type = Cutscene_player.stream_path_type;
  cutscene_player_release();
  EXPECT_FALSE(vfile_type_valid(type));
}

TEST_F(CutsceneLoading, AStreamThatDoesNotReadReleasesThePlayer) {
  for (const char* streams : {"+Stream: \"one.csc\" +Stream: \"missing.csc\"", "+Stream: \"old.csc\""}) {
    EXPECT_FALSE(cutscene_load_record(record(streams))) << streams;
    EXPECT_EQ(Cutscene_player.record, nullptr);
    EXPECT_EQ(Cutscene_player.tracks.count, 0);
    EXPECT_EQ(Cutscene_player.stream_path_type, -1);
    EXPECT_FLOAT_EQ(Cutscene_player.time_offset, -1.0f);
    EXPECT_EQ(campath_position_keys_used(), 0);
  }
}

}  // namespace

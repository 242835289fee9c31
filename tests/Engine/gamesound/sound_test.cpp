#include <cmath>
#include <string>
#include <vector>

#include "tests/Engine/gamesound/gamesound_fixture.h"
#include "tests/support/critical_error_trap.h"

namespace {

TEST_F(GameSoundTest, GainPanAndDopplerRules) {
  start(false);
  wave("a.wav");
  int s = snd_load("a.wav", 2.0f, 0.8f, 1.0f, 0, false);
  int s2 = snd_load("a.wav", 2.0f, 0.8f, 2.0f, 0, false);
  ASSERT_GE(s, 8);
  ASSERT_NE(s, s2);
  // cutoff = min * volume / (rolloff * 0.1) + (1 - 1 / rolloff) * min
  EXPECT_FLOAT_EQ(snd_get_cutoff(s), 16.0f);
  EXPECT_FLOAT_EQ(snd_get_cutoff(s2), 9.0f);
  struct {
    int sound;
    vector at;
    float scale, gain;
  } gains[] = {
      {s, {0, 0, 0}, 2.0f, 1.6f},       // at the listener: no distance rule, no clamp
      {s, {0, 1, 0}, 1.0f, 0.8f},       // inside the minimum distance
      {s, {0, 0, 4}, 1.0f, 0.4f},       // k = (4 / 2 - 1) + 1
      {s, {0, 0, 4}, 0.5f, 0.2f},       // scale below 1 scales
      {s, {0, 0, 4}, 3.0f, 0.4f},       // scale above 1 does not
      {s, {16, 0, 0}, 1.0f, 0.1f},      // at the cutoff itself: not yet 0
      {s, {16.01f, 0, 0}, 1.0f, 0.0f},  // beyond it
      {s2, {0, 0, 4}, 1.0f, 0.8f / 3.0f},
  };
  for (auto g : gains) EXPECT_NEAR(snd_3d_gain(g.sound, &g.at, g.scale), g.gain, 1e-5) << g.at.x << " " << g.at.z;
  vector a{-1, 0, 4}, b{1, 0, 4};
  EXPECT_NEAR(snd_3d_gain_segment(s, &a, &b, 1.0f), 0.4f, 1e-5);

  struct {
    vector at;
    float pan;
  } pans[] = {{{0, 0, 0}, 0.0f}, {{0.4f, 0, 0}, 0.0f}, {{0.5f, 0, 0}, 0.0f}, {{3, 0, 0}, 1.0f},
              {{0, 0, 3}, 0.0f}, {{-2, 0, 2}, -0.70710678f}};
  for (auto p : pans) EXPECT_NEAR(snd_pan(&p.at), p.pan, 1e-5) << p.at.x;
  vector n1{-0.3f, 0, 0.2f}, n2{0.3f, 0, 0.2f}, f1{2, 0, -5}, f2{2, 0, 5};
  EXPECT_FLOAT_EQ(snd_pan_segment(&n1, &n2), 0.0f);
  EXPECT_FLOAT_EQ(snd_pan_segment(&f1, &f2), 2.0f);  // not normalised

  vector src{0, 0, 10}, toward{0, 0, -60}, still{0, 0, 0};
  EXPECT_EQ(snd_doppler(22050, &src, &toward), 24500);  // 22050 * 600 / 540
  EXPECT_EQ(snd_doppler(22050, &src, &still), 22050);
  vector lv{0, 0, 60};
  snd_set_listener(nullptr, &lv, nullptr);
  EXPECT_EQ(snd_doppler(22050, &src, &still), 24255);  // 22050 * 660 / 600
  vector here{0, 0, 0};
  EXPECT_EQ(snd_doppler(22050, &here, &toward), 22050);
}

// Entries freed between others: a sound loaded again is found past the
// hole, and a new one takes the lowest hole. Many entries, so matches lie
// anywhere in the table.
TEST_F(GameSoundTest, LoadingFindsEntriesPastFreedOnesAndFillsTheLowestHole) {
  start(false);
  std::vector<int> at;
  for (int i = 0; i < 40; i++) {
    const std::string name = "s" + std::to_string(i) + ".wav";
    wave(name.c_str());
    at.push_back(snd_load(name.c_str(), 1.0f, 1.0f, 1.0f, 0, false));
    ASSERT_EQ(at[i], SND_RESERVED_ENTRIES + i);
  }
  snd_unload(at[5]);
  snd_unload(at[20]);
  for (int i : {0, 6, 21, 30, 37, 38, 39}) {
    const std::string name = "S" + std::to_string(i) + ".WAV";
    EXPECT_EQ(snd_load(name.c_str(), 1.0f, 1.0f, 1.0f, 0, false), at[i]) << name;
  }
  EXPECT_EQ(snd_load("s20.wav", 1.0f, 1.0f, 1.0f, 0, false), at[5]);  // gone: loaded anew in the lowest hole
  EXPECT_EQ(snd_load("s5.wav", 1.0f, 1.0f, 1.0f, 0, false), at[20]);
  EXPECT_EQ(snd_load("s39.wav", 2.0f, 1.0f, 1.0f, 0, false), SND_RESERVED_ENTRIES + 40);  // other numbers: another entry
}

TEST_F(GameSoundTest, LoadingRules) {
  start(false);
  wave("a.wav");
  int a = snd_load("a.wav", 2.0f, 1.0f, 1.0f, 0, false);
  EXPECT_GE(a, SND_RESERVED_ENTRIES);
  EXPECT_EQ(snd_load("A.WAV", 2.0f, 1.0f, 1.0f, 3, false), a);
  EXPECT_EQ(snd_load("a.wav", 2.0f, 1.0f, 1.0f, 0, true), a);  // a match anywhere is reused
  EXPECT_EQ(snd_load("a.wav", 3.0f, 1.0f, 1.0f, 0, true), 0);
  int zero = snd_load("a.wav", 0.0f, 0.5f, 1.0f, 0, false);
  int neg = snd_load("a.wav", -3.0f, 0.5f, 1.0f, 0, false);
  EXPECT_FLOAT_EQ(snd_get_entry(zero)->min_distance, 1.0f);
  EXPECT_FLOAT_EQ(snd_get_entry(neg)->min_distance, 1.0f);
  EXPECT_FLOAT_EQ(snd_get_cutoff(zero), 5.0f);
  EXPECT_EQ(snd_load("missing.wav", 1.0f, 1.0f, 1.0f, 0, false), -1);
  std::string n39(35, 'x'), n40(36, 'x');
  wave(n39 + ".wav");
  wave(n40 + ".wav");
  EXPECT_GE(snd_load((n39 + ".wav").c_str(), 1.0f, 1.0f, 1.0f, 0, false), 0);
  EXPECT_EQ(snd_load((n40 + ".wav").c_str(), 1.0f, 1.0f, 1.0f, 0, false), -1);
  // Categories: a signed field of 27 bits.
  snd_set_category(a, -1);
  EXPECT_EQ(snd_entry_category(*snd_get_entry(a)), -1);
  EXPECT_EQ(snd_get_entry(640), nullptr);
  EXPECT_FLOAT_EQ(snd_get_cutoff(-1), 0.0f);

  // A missing file is not marked; one that cannot be decoded is marked once.
  int gone = snd_load("gone.wav", 1.0f, 1.0f, 1.0f, 0, false);
  EXPECT_EQ(gone, -1);
  wave("bad.wav");
  int bad = snd_load("bad.wav", 1.0f, 1.0f, 1.0f, 0, false);
  ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/bad.wav", {'n', 'o', 't', 'w', 'a', 'v', 'e'}));
  EXPECT_EQ(snd_page_in(bad, false), -1);
  EXPECT_TRUE(snd_get_entry(bad)->flags & SND_LOAD_FAILED);
  wave("bad.wav");
  EXPECT_EQ(snd_page_in(bad, false), -1);  // never retried
  std::filesystem::remove(root_ + "/data/sounds/pc/a.wav");
  EXPECT_EQ(snd_page_in(a, false), -1);
  EXPECT_FALSE(snd_get_entry(a)->flags & SND_LOAD_FAILED);
}

TEST_F(GameSoundTest, CategoryVolumesScalePlaysAndChannels) {
  start(false);
  wave("a.wav", 1.0);
  wave("m.wav", 1.0);
  int a = snd_load("a.wav", 1.0f, 0.5f, 1.0f, 0, false);
  int m = snd_load("m.wav", 1.0f, 1.0f, 1.0f, 1, false);
  snd_set_category_volume(1, 0.5f);
  int sa = snd_play_looping(a, 1.0f, 0.0f);
  int sm = snd_play_looping(m, 0.8f, 0.0f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sa)].volume, 0.5f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sm)].volume, 0.4f);
  // Setting a category scales its playing channels by the change (0.5 to
  // 1.0: the 0.8 play at 0.5 is heard at 0.8).
  snd_set_category_volume(1, 2.0f);
  EXPECT_FLOAT_EQ(snd_get_category_volume(1), 1.0f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sm)].volume, 0.8f);
  EXPECT_EQ(snd_count_playing(), 2);
  snd_pause_all(false);
  EXPECT_EQ(snd_count_playing(), 0);
  snd_resume_all();
  EXPECT_EQ(snd_count_playing(), 2);
  EXPECT_EQ(snd_play(-1, 1.0f, 0.0f), -1);
  EXPECT_EQ(snd_play(640, 1.0f, 0.0f), -1);
  EXPECT_EQ(snd_play(a, -1.0f, 0.0f), -1);
  int rate = 0, bits = 0, ch = 0;
  snd_get_format(a, &rate, &bits, &ch);
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(ch, 1);
  snd_stop_all();
  EXPECT_EQ(snd_count_playing(), 0);
}

TEST_F(GameSoundTest, NoSoundTurnsEverythingIntoQuickReturns) {
  EXPECT_EQ(snd_init(nullptr, 44100, 16, 2, false, false, true, false), -1);
  wave("a.wav");
  EXPECT_EQ(snd_load("a.wav", 1.0f, 1.0f, 1.0f, 0, false), -1);
  EXPECT_EQ(snd_play(8, 1.0f, 0.0f), -1);
  vector at{1, 2, 3};
  EXPECT_EQ(snd_play_3d(8, &at, false), -1);
  EXPECT_FALSE(snd_is_playing(0));
  EXPECT_EQ(snd_count_playing(), 0);
  snd_stop_all();
  snd_update();
}

TEST_F(GameSoundTest, SoundsTableReadAndGuarded) {
  start(false);
  table("sounds.tbl", "#Sounds Start\n\"one.wav\" 2.0 0.5 1.0\n\"two.wav\" 1 1 2\n#Sounds End\n");
  snd_read_sounds_tbl();
  EXPECT_STREQ(SoundTable[0].name, "one.wav");
  EXPECT_FLOAT_EQ(SoundTable[0].min_distance, 2.0f);
  EXPECT_FLOAT_EQ(SoundTable[0].volume, 0.5f);
  EXPECT_FLOAT_EQ(SoundTable[1].rolloff, 2.0f);
  EXPECT_FLOAT_EQ(SoundTable[1].cutoff_distance, 1.0f * 1.0f / 0.2f + 0.5f);
  EXPECT_EQ(SoundTable[1].ds_index, -1);

  // More lines than the table holds: the table fills and reading stops.
  std::string big = "#Sounds Start\n";
  for (int i = 0; i < 700; ++i) big += "\"s" + std::to_string(i) + ".wav\" 1 1 1\n";
  big += "#Sounds End\n";
  table("sounds.tbl", big);
  testing::internal::CaptureStdout();
  snd_read_sounds_tbl();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_STREQ(SoundTable[639].name, "s639.wav");
  EXPECT_NE(out.find("sounds.tbl"), std::string::npos);

  table("sounds.tbl", "#Sounds Start\n\"one.wav\" 2.0 0.5 1.0\n\"z.wav\" 1 1 -0.5\n#Sounds End\n");
  CriticalErrorTrap trap;
  try {
    snd_read_sounds_tbl();
    FAIL() << "a rolloff below 0 was accepted";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("sounds.tbl"), std::string::npos) << e.text;
    EXPECT_NE(e.text.find("line #3"), std::string::npos) << e.text;
  }
}

}  // namespace

namespace {

TEST_F(GameSoundTest, ThreeDPlaysGoThroughTheDeviceListener) {
  start(true);
  ASSERT_TRUE(snd_is_3d());
  wave("p.wav", 0.5);
  int s = snd_load("p.wav", 2.0f, 0.5f, 1.0f, 0, false);
  vector at{0, 0, 6}, zero{0, 0, 0};
  matrix m(vector{1, 0, 0}, vector{0, 1, 0}, vector{0, 0, 1});
  snd_set_listener(&zero, &zero, &m);
  int sig = snd_play_3d(s, &at, true);
  ASSERT_GE(sig, 0);
  int ch = ds_channel_from_handle(sig);
  ASSERT_NE(Sound_channels[ch].pds3db, nullptr);  // a positional channel, not a panned one
  EXPECT_FLOAT_EQ(Sound_channels[ch].volume, 0.5f);  // category x entry volume; distance is the device's
  EXPECT_EQ(snd_play_3d(-1, &at, false), -1);
  // Emitters in 3-D mode hand their positions to the channel.
  int e = snd_emitter_create(s, 0, 0);
  vector near{0, 0, 1};
  snd_emitter_update(e, &near, nullptr, 1.0f);
  EXPECT_NE(snd_emitter_get_channel(e), -1);
  EXPECT_FLOAT_EQ(Sound_emitters[e].gain, 0.5f);
}

TEST_F(GameSoundTest, UsedMarksPageInWhatALevelRegistered) {
  start(false);
  wave("a.wav");
  wave("b.wav");
  int a = snd_load("a.wav", 1.0f, 1.0f, 1.0f, 0, false);
  int music = snd_load("b.wav", 1.0f, 1.0f, 1.0f, 1, false);
  EXPECT_EQ(snd_get_entry(a)->ds_index, -1);
  snd_load_used();
  EXPECT_GE(snd_get_entry(a)->ds_index, 0);
  EXPECT_TRUE(snd_get_entry(music)->flags & SND_PAGED_IN);
  snd_release(a);
  snd_release(music);
  snd_clear_used_marks();
  EXPECT_FALSE(snd_get_entry(a)->flags & SND_PAGED_IN);
  snd_unload(music);
  EXPECT_EQ(snd_get_entry(music)->name[0], 0);
}

}  // namespace

// The sound manager on odd input: NaN volumes, stereo sounds in 3-D mode, a
// rolloff of 0, sources at and beyond the speed of sound, durations, and
// music returning to a file that is still fading.
#include <cfloat>
#include <cmath>
#include <limits>

#include "quarn/sound/stream.h"
#include "tests/Engine/gamesound/gamesound_fixture.h"

namespace {

std::vector<float> heard_left(int frames, std::vector<float>* right = nullptr) {
  std::vector<float> buf(static_cast<size_t>(frames) * 2);
  ds_platform_render(buf.data(), frames);
  std::vector<float> l;
  for (int i = 0; i < frames; ++i) {
    l.push_back(buf[static_cast<size_t>(2 * i)]);
    if (right) right->push_back(buf[static_cast<size_t>(2 * i + 1)]);
  }
  return l;
}

double rms(const std::vector<float>& v, size_t from) {
  double s = 0;
  for (size_t i = from; i < v.size(); ++i) s += static_cast<double>(v[i]) * v[i];
  return std::sqrt(s / static_cast<double>(v.size() - from));
}

TEST_F(GameSoundTest, NanVolumesFromAnyCallerAreSilence) {
  start(false);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  wave("a.wav", 1.0);
  int a = snd_load("a.wav", 1.0f, 1.0f, 1.0f, 0, false);
  int sig = snd_play_looping(a, 1.0f, 0.0f);
  ASSERT_GE(sig, 0);
  int ch = ds_channel_from_handle(sig);
  snd_set_volume(sig, nan);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  snd_set_volume_scaled(a, sig, nan);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  snd_set_volume(sig, 1.0f);
  // The options file's way in: a category volume of NaN.
  snd_set_category_volume(0, nan);
  EXPECT_EQ(snd_get_category_volume(0), 0.0f);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  EXPECT_LT(rms(heard_left(4410), 1000), 1e-6);
  EXPECT_EQ(snd_play(a, nan, 0.0f), -1);
  // Music through its own setter: silent, and back when set again.
  wave("m.wav", 1.0);
  table("music.tbl", "$Name: \"Title\"\n$Filename: \"m.wav\"\n#End\n");
  table("feedback.tbl", "#End\n");
  music_load_tables();
  music_play(music_find("Title"), true);
  ASSERT_TRUE(music_is_playing());
  int music = ds_channel_from_handle(music_signature());
  music_set_volume(nan);
  EXPECT_EQ(Sound_channels[music].volume, 0.0f);
  music_set_volume(0.5f);
  EXPECT_FLOAT_EQ(Sound_channels[music].volume, 0.5f);
}

// A stereo sound played positionally in 3-D mode plays flat: faded by the
// distance rule and panned toward its side, as without 3-D buffers.
TEST_F(GameSoundTest, StereoSoundsPlayFlatInThreeDMode) {
  start(true);
  ASSERT_TRUE(snd_is_3d());
  ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/st.wav",
                              wave_build_pcm(wave_tone(44100, 2, 1.0, 441.0, 0.5), 2, 44100, 16)));
  wave("mono.wav", 1.0, 44100);
  int st = snd_load("st.wav", 2.0f, 0.5f, 1.0f, 0, false);
  int mono = snd_load("mono.wav", 2.0f, 0.5f, 1.0f, 0, false);
  vector zero{0, 0, 0}, right{4, 0, 0};
  matrix m(vector{1, 0, 0}, vector{0, 1, 0}, vector{0, 0, 1});
  snd_set_listener(&zero, &zero, &m);
  EXPECT_TRUE(snd_positional(mono));
  EXPECT_FALSE(snd_positional(st));
  int sig = snd_play_3d(st, &right, true);
  ASSERT_GE(sig, 0);
  int ch = ds_channel_from_handle(sig);
  EXPECT_EQ(Sound_channels[ch].pds3db, nullptr);
  // d = 4, min 2, rolloff 1: k = 2, gain 0.5 / 2.
  EXPECT_FLOAT_EQ(Sound_channels[ch].volume, 0.25f);
  std::vector<float> r;
  std::vector<float> l = heard_left(8820, &r);
  // Full pan to the right lowers the left side by 10 dB.
  EXPECT_NEAR(20 * std::log10(rms(l, 2000) / rms(r, 2000)), -10.0, 0.3);
  snd_stop(sig);
  // An emitter of the stereo sound follows its source the same way.
  int e = snd_emitter_create(st, 0, 0);
  vector left{-8, 0, 0};
  snd_emitter_update(e, &left, nullptr, 1.0f);
  int ech = ds_channel_from_handle(snd_emitter_get_channel(e));
  ASSERT_GE(ech, 0);
  EXPECT_EQ(Sound_channels[ech].pds3db, nullptr);
  EXPECT_NEAR(Sound_channels[ech].volume, 0.5f / 4.0f, 1e-6);  // k = (8 / 2 - 1) + 1
  EXPECT_FLOAT_EQ(Sound_emitters[e].pan, -1.0f);
}

// A rolloff of 0 never fades, in the table as through snd_load.
TEST_F(GameSoundTest, RolloffZeroNeverFades) {
  start(false);
  wave("far.wav");
  table("sounds.tbl", "#Sounds Start\n\"far.wav\" 2.0 0.7 0\n#Sounds End\n");
  snd_read_sounds_tbl();
  EXPECT_STREQ(SoundTable[0].name, "far.wav");
  EXPECT_EQ(SoundTable[0].rolloff, 0.0f);
  EXPECT_EQ(SoundTable[0].cutoff_distance, FLT_MAX);
  int loaded = snd_load("far.wav", 2.0f, 0.7f, 0.0f, 0, false);
  for (int index : {0, loaded}) {
    for (float d : {1.0f, 50.0f, 5000.0f}) {
      vector at{d, 0, 0};
      EXPECT_FLOAT_EQ(snd_3d_gain(index, &at, 1.0f), 0.7f) << index << " at " << d;
    }
  }
}

// Sources closing at or beyond the speed of sound (600 units/s) play at the
// highest rate a channel takes; a listener outrunning the sound at the
// lowest; ordinary speeds keep the rule.
TEST_F(GameSoundTest, DopplerAtTheSpeedOfSoundIsClamped) {
  start(false);
  vector src{0, 0, 10};
  struct {
    float toward, listener_away;
    int rate;
  } cases[] = {
      {60, 0, 24500},     {599.99f, 0, 100000}, {600, 0, 100000}, {900, 0, 100000},
      {-600, 0, 11025},   {0, 700, 100},        {0, 600, 100},    {-60, 0, 20045},
  };
  for (auto c : cases) {
    vector v{0, 0, -c.toward}, lv{0, 0, -c.listener_away};
    snd_set_listener(nullptr, &lv, nullptr);
    EXPECT_EQ(snd_doppler(22050, &src, &v), c.rate) << c.toward << " " << c.listener_away;
  }
}

// Durations and data sizes of the decoded sound: a stereo second is one
// second of 176,400 bytes; five seconds of MS-ADPCM are their padded blocks.
TEST_F(GameSoundTest, DurationAndSizeOfTheDecodedSound) {
  start(false);
  ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/st.wav",
                              wave_build_pcm(wave_tone(44100, 2, 1.0, 441.0, 0.5), 2, 44100, 16)));
  ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/ad.wav",
                              wave_build_msadpcm(wave_tone(22050, 1, 5.0, 441.0, 0.5), 1, 22050, 512)));
  int st = snd_load("st.wav", 1.0f, 1.0f, 1.0f, 0, false);
  int ad = snd_load("ad.wav", 1.0f, 1.0f, 1.0f, 0, false);
  snd_page_in(st, false);
  snd_page_in(ad, false);
  EXPECT_NEAR(snd_get_duration(st), 1.0, 1e-6);
  EXPECT_EQ(snd_get_data_size(st), 176400);
  // 110,250 frames in blocks of 1,012: 109 blocks.
  EXPECT_NEAR(snd_get_duration(ad), 109.0 * 1012 / 22050, 1e-5);
  EXPECT_EQ(snd_get_data_size(ad), 109 * 1012 * 2);
}

// The demo's title and credits tunes share a file: going back to the title
// while its old channel still fades plays it from its start, whole.
TEST_F(GameSoundTest, MusicBackToAFadingTrackStartsAtItsBeginning) {
  start(false);
  auto noise = wave_noise(44100, 1, 3.0, 0.4, 17);
  ASSERT_TRUE(wave_write_file(root_ + "/data/sounds/pc/theme.wav", wave_build_pcm(noise, 1, 44100, 16)));
  table("music.tbl", "$Name: \"Title\"\n$Filename: \"theme.wav\"\n$Name: \"Credits\"\n$Filename: \"theme.wav\"\n#End\n");
  table("feedback.tbl", "#End\n");
  music_load_tables();
  music_play(music_find("Title"), true);
  for (int i = 0; i < 6; ++i) {
    heard_left(11025);
    mm_timer_fire_all();
  }
  music_play(music_find("Credits"), true);  // the title fades under it
  int old = -1;
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i)
    if (Sound_channels[i].pdsb && (Sound_channels[i].flags & SCF_FADING)) old = i;
  ASSERT_GE(old, 0);
  ds_set_volume(Sound_channels[old].signature, 0.0f);  // so only the new play is heard
  heard_left(2048);
  mm_timer_fire_all();
  // Back to the title while the credits' channel... and the first one fade.
  music_play(music_find("Title"), true);
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i)
    if (Sound_channels[i].pdsb && i != ds_channel_from_handle(music_signature()))
      ds_set_volume(Sound_channels[i].signature, 0.0f);
  heard_left(2048);  // the mixer eases the old channels' gains out
  std::vector<float> out;
  for (int i = 0; i < 12; ++i) {
    std::vector<float> part = heard_left(11025);
    out.insert(out.end(), part.begin(), part.end());
    mm_timer_fire_all();
  }
  // The new play began 2,048 frames before `out`: frame 2,048 of the file.
  size_t bad = 0;
  for (size_t k = 0; k + 2048 < noise.size() && k < out.size(); ++k)
    bad += std::fabs(out[k] - noise[k + 2048] / 32768.0f) > 1e-4f;
  EXPECT_EQ(bad, 0u);
}

}  // namespace

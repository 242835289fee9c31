#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/sound/eax.h"
#include "quarn/sound/stream.h"
#include "tests/quarn/sound/sound_fixture.h"

namespace {

double db(double ratio) { return 20.0 * std::log10(ratio); }

TEST(SoundVolumeTable, EntriesAndVolumeMapping) {
  ds_platform_use_loopback(kRate);
  ASSERT_EQ(ds_init(nullptr, kRate, 16, 2, false, false, true), 0);
  struct {
    int entry, mb;
  } entries[] = {{0, -10000}, {1, -6643}, {10, -3321}, {25, -2000}, {50, -1000}, {99, -14}, {100, 0}};
  for (auto e : entries) EXPECT_EQ(Ds_volume_table[e.entry], e.mb) << e.entry;
  struct {
    float v;
    int mb;
  } vols[] = {{0.004f, -10000}, {0.5f, -1000}, {1.7f, 0}, {-3.0f, -10000}, {0.259f, -2000}};
  for (auto v : vols) EXPECT_EQ(ds_volume_to_mb(v.v), v.mb) << v.v;
  EXPECT_STREQ(ds_error_text(DSERR_BUFFERLOST), "DSERR_BUFFERLOST");
  EXPECT_STREQ(ds_error_text(DS_OK), "DS_OK");
  EXPECT_STREQ(ds_error_text(0x12345678u), "unknown");
  EXPECT_EQ(ds_name_hash(""), 0u);
  EXPECT_EQ(ds_name_hash(nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(ds_name_hash("ab"), ((static_cast<uint32_t>('a') << 6) ^ 'b'));
  ds_close();
  ds_platform_use_loopback(0);
}

// The gains heard on each side, measured on the mix, against the
// attenuation law: volume in hundredths of a decibel, pan lowering only the
// far side (full pan is -10 dB, not silence).
TEST_F(SoundOutput, VolumeAndPanLawOnTheMix) {
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.5), 1, kRate, 16));
  ASSERT_GE(s, 0);
  const double ref = 0.5 / std::sqrt(2.0);  // rms of the tone at full volume
  struct {
    float volume, pan;
    double left_db, right_db;
  } cases[] = {
      {1.0f, 0.0f, 0.0, 0.0},        {0.5f, 0.0f, -10.0, -10.0},   {0.25f, 0.0f, -20.0, -20.0},
      {1.0f, 1.0f, -10.0, 0.0},      {1.0f, -0.5f, 0.0, -5.0},     {0.5f, 0.3f, -13.0, -10.0},
  };
  for (auto c : cases) {
    int sig = ds_play(s, c.volume, c.pan, true);
    ASSERT_GE(sig, 0);
    Rendered r = render(8820);
    EXPECT_NEAR(db(r.rms_l(2000, 8820) / ref), c.left_db, 0.2) << c.volume << " " << c.pan;
    EXPECT_NEAR(db(r.rms_r(2000, 8820) / ref), c.right_db, 0.2) << c.volume << " " << c.pan;
    ds_stop(sig);
  }
}

TEST_F(SoundOutput, ThirtyTwoChannelsThenNoneAndSignaturesWrap) {
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.1, 441.0, 0.1), 1, kRate, 16));
  std::vector<int> sigs;
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) sigs.push_back(ds_play(s, 1.0f, 0.0f, true));
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) EXPECT_EQ(sigs[static_cast<size_t>(i)], i);
  EXPECT_EQ(ds_play(s, 1.0f, 0.0f, false), -1);
  EXPECT_EQ(ds_count_playing(), 32);
  // Playing channels are never stolen; a stopped one is free again.
  ds_stop(sigs[5]);
  EXPECT_EQ(ds_channel_from_handle(sigs[5]), -1);
  int again = ds_play(s, 1.0f, 0.0f, false);
  EXPECT_EQ(ds_channel_from_handle(again), 5);
  ds_stop_all();
  EXPECT_EQ(ds_count_playing(), 0);
  EXPECT_EQ(ds_channel_from_handle(-1), -1);
}

TEST_F(SoundOutput, SignatureCounterWrapsToZero) {
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.1, 441.0, 0.1), 1, kRate, 16));
  ds_set_signature_counter(0x7fffffff);
  EXPECT_EQ(ds_play(s, 1.0f, 0.0f, false), 0x7fffffff);
  EXPECT_EQ(ds_play(s, 1.0f, 0.0f, false), 0);
  EXPECT_EQ(ds_play(s, 1.0f, 0.0f, false), 1);
}

TEST_F(SoundOutput, StopKeepsThePositionAndPlayResumes) {
  std::vector<int16_t> ramp(kRate);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i % 30000);
  int s = load("ramp.wav", wave_build_pcm(ramp, 1, kRate, 16));
  int sig = ds_play(s, 1.0f, 0.0f, false);
  int ch = ds_channel_from_handle(sig);
  render(1000);
  ds_pause_all(false);
  EXPECT_FALSE(ds_is_playing(sig));
  uint32_t pos = 0;
  Sound_channels[ch].pdsb->get_current_position(&pos, nullptr);
  EXPECT_EQ(pos, 2000u);
  Rendered quiet = render(500);
  EXPECT_LT(quiet.rms_l(100, 500), 1e-4);
  Sound_channels[ch].pdsb->get_current_position(&pos, nullptr);
  EXPECT_EQ(pos, 2000u);
  ds_resume_all();
  Rendered on = render(300);
  // The ramp goes on where it stopped: sample 1000 + i.
  EXPECT_NEAR(on.l[200], (1000.0 + 200.0) / 32768.0, 2e-3);
  Sound_channels[ch].pdsb->get_current_position(&pos, nullptr);
  EXPECT_EQ(pos, 2600u);
}

TEST_F(SoundOutput, PausedOneShotKeepsItsChannelUntilResumed) {
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.3), 1, kRate, 16));
  int voice = ds_play(s, 1.0f, 0.0f, false);
  ds_pause_all(false);
  // Other sounds play meanwhile (UI clicks): none may take the paused one.
  for (int i = 0; i < MAX_SOUND_CHANNELS - 1; ++i) EXPECT_GE(ds_play(s, 0.1f, 0.0f, true), 0);
  EXPECT_EQ(ds_play(s, 0.1f, 0.0f, false), -1);
  EXPECT_EQ(ds_channel_from_handle(voice), 0);
  ds_resume(voice);
  EXPECT_TRUE(ds_is_playing(voice));
}

TEST_F(SoundOutput, DuplicatesShareOneLoadedSound) {
  auto tone = wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.2), 1, kRate, 16);
  int a = load("Tone.wav", tone);
  int b = ds_load("TONE.WAV", (dir_ + "/Tone.wav").c_str(), 0, 0, false);
  EXPECT_EQ(a, b);
  EXPECT_EQ(Loaded_sounds[a].refs, 2);
  int one = ds_play(a, 1.0f, 0.0f, true);
  double single = render(4410).rms_l(1000, 4410);
  int two = ds_play(a, 1.0f, 0.0f, true);
  (void)two;
  ds_stop(one);
  one = ds_play(a, 1.0f, 0.0f, true);
  double both = render(4410).rms_l(1000, 4410);
  EXPECT_NEAR(both / single, 2.0, 0.05);
  ds_stop_all();
  ds_unload(a);
  EXPECT_EQ(Loaded_sounds[a].refs, 1);
  ds_unload(a);
  EXPECT_EQ(Loaded_sounds[a].name_hash, 0xFFFFFFFFu);
}

TEST_F(SoundOutput, FadesStepEvery75ms) {
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.3), 1, kRate, 16));
  int quick = ds_play(s, 1.0f, 0.0f, true);
  ds_fade_out(quick, 74);
  EXPECT_EQ(ds_channel_from_handle(quick), -1);

  int sig = ds_play(s, 0.8f, 0.0f, true);
  int ch = ds_channel_from_handle(sig);
  ds_fade_out(sig, 150);
  EXPECT_FLOAT_EQ(Sound_channels[ch].fade_step, 0.4f);
  ds_stop(sig);  // a fading channel is the fade's to finish
  EXPECT_EQ(ds_channel_from_handle(sig), ch);
  ds_update_fades();  // first step now
  EXPECT_NEAR(Sound_channels[ch].volume, 0.4f, 1e-6);
  ds_update_fades();  // not yet due
  EXPECT_NEAR(Sound_channels[ch].volume, 0.4f, 1e-6);
  timer_real_clock += 75;
  ds_update_fades();
  EXPECT_EQ(ds_channel_from_handle(sig), -1);
}

TEST_F(SoundOutput, CategoryVolumeAndFrequencyRules) {
  int a = load("a.wav", wave_build_pcm(wave_tone(kRate, 1, 0.2, 441.0, 0.3), 1, kRate, 16), false, 1);
  int b = load("b.wav", wave_build_pcm(wave_tone(kRate, 1, 0.2, 882.0, 0.3), 1, kRate, 16), false, 2);
  int sa = ds_play(a, 1.0f, 0.0f, true);
  int sb = ds_play(b, 1.0f, 0.0f, true);
  ds_set_category_volume(1, 0.25f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sa)].volume, 0.25f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sb)].volume, 1.0f);
  ds_set_category_volume(-1, 3.0f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(sa)].volume, 1.0f);
  // Buffers are made without frequency control, so the rate stays the file's.
  int hz = 0;
  EXPECT_EQ(ds_get_frequency(sa, &hz), -1);
  ds_set_frequency(sa, 22050);
  EXPECT_NE(std::string(ds_last_diagnostic()).find("DSERR_CONTROLUNAVAIL"), std::string::npos);
}

TEST_F(SoundOutput, StereoSoundsPlayFlatInThreeDMode) {
  int s = load("st.wav", wave_build_pcm(wave_tone(kRate, 2, 0.2, 441.0, 0.3), 2, kRate, 16));
  ASSERT_GE(s, 0);
  vector at{0, 0, 5}, vel{0, 0, 0};
  EXPECT_EQ(ds_play_3d(s, &at, &vel, 1.0f, 100.0f, 1.0f, false), -1);
  EXPECT_GE(ds_play(s, 1.0f, 0.0f, false), 0);
}

class SoundOutputDry : public SoundOutput {
 protected:
  void SetUp() override { start(true, false); }
};

TEST_F(SoundOutputDry, ThreeDSoundsFallOffAndMuteBeyondMaxDistance) {
  int s = load("m.wav", wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.5), 1, kRate, 16));
  vector zero{0, 0, 0};
  matrix m;
  m.right = vector{1, 0, 0};
  m.up = vector{0, 1, 0};
  m.forward = vector{0, 0, 1};
  ASSERT_EQ(ds_set_listener(&zero, &zero, &m), 0);
  auto level = [&](float dist) {
    vector at{0, 0, dist};
    int sig = ds_play_3d(s, &at, &zero, 2.0f, 20.0f, 1.0f, true);
    Rendered r = render(6000);
    ds_stop(sig);
    return r.rms_l(2000, 6000) + r.rms_r(2000, 6000);
  };
  double near = level(2.0f);
  // min / (min + rolloff * (d - min)) with the listener's rolloff of 2.
  EXPECT_NEAR(level(6.0f) / near, 2.0 / (2.0 + 2.0 * 4.0), 0.03);
  EXPECT_LT(level(25.0f), near * 1e-3);
}

}  // namespace

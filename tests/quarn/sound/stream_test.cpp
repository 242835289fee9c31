#include <cstdio>
#include <cstdlib>

#include "quarn/math/vector.h"
#include "quarn/platform/acm.h"
#include "quarn/sound/eax.h"
#include "quarn/sound/stream.h"
#include "tests/quarn/sound/sound_fixture.h"

namespace {

constexpr int kTick = kRate / 4;  // 250 ms of frames

// Plays a stream by rendering 250 ms and firing the timer, as the mixer and
// the multimedia timer would; returns the left channel.
std::vector<float> play_ticks(int ticks) {
  std::vector<float> out;
  for (int t = 0; t < ticks; ++t) {
    Rendered r = render(kTick);
    out.insert(out.end(), r.l.begin(), r.l.end());
    mm_timer_fire_all();
  }
  return out;
}

// Index in out where the samples (as floats) start, -1 when nowhere.
long find_run(const std::vector<float>& out, const std::vector<int16_t>& src, size_t from) {
  for (size_t i = from; i + 64 < out.size(); ++i) {
    bool ok = true;
    for (size_t k = 0; k < 64 && ok; ++k) ok = std::fabs(out[i + k] - src[k] / 32768.0f) < 1e-4f;
    if (ok) return static_cast<long>(i);
  }
  return -1;
}

size_t matching(const std::vector<float>& out, size_t at, const std::vector<int16_t>& src,
                size_t n, size_t src_from = 0) {
  size_t ok = 0;
  for (size_t k = 0; k < n && at + k < out.size() && src_from + k < src.size(); ++k)
    if (std::fabs(out[at + k] - src[src_from + k] / 32768.0f) < 1e-4f) ++ok;
  return ok;
}

TEST_F(SoundOutput, StreamPlaysTheFileInOrderThenStopsItself) {
  auto noise = wave_noise(kRate, 1, 3.0, 0.4, 7);
  int s = load("music.wav", wave_build_pcm(noise, 1, kRate, 16), true, 1);
  ASSERT_GE(s, 0);
  int sig = ds_stream_play(s, 1.0f, 0.0f, false);
  ASSERT_GE(sig, 0);
  int ch = ds_channel_from_handle(sig);
  EXPECT_EQ(Wave_streams[Sound_channels[ch].stream].ring_size, 2u * 88200u);
  std::vector<float> out = play_ticks(16);
  long at = find_run(out, noise, 0);
  ASSERT_GE(at, 0);
  EXPECT_LT(at, 64);
  EXPECT_EQ(matching(out, static_cast<size_t>(at), noise, noise.size()), noise.size());
  // After the data: silence, and after a ring of it the stream has stopped.
  size_t end = static_cast<size_t>(at) + noise.size();
  EXPECT_LT(Rendered::rms(out, end + 100, end + kRate), 1e-6);
  EXPECT_EQ(mm_timer_live_count(), 0);
  // Its channel is free again without anyone stopping the signature.
  int t = load("t.wav", wave_build_pcm(wave_tone(kRate, 1, 0.1, 441.0, 0.1), 1, kRate, 16));
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) ASSERT_GE(ds_play(t, 0.1f, 0.0f, true), 0) << i;
}

TEST_F(SoundOutput, LoopingStreamComesBackWithinOneRefill) {
  auto noise = wave_noise(kRate, 1, 2.6, 0.4, 9);
  int s = load("loop.wav", wave_build_pcm(noise, 1, kRate, 16), true, 1);
  int sig = ds_stream_play(s, 1.0f, 0.0f, true);
  ASSERT_GE(sig, 0);
  std::vector<float> out = play_ticks(28);
  long first = find_run(out, noise, 0);
  ASSERT_GE(first, 0);
  size_t end = static_cast<size_t>(first) + noise.size();
  long second = find_run(out, noise, end);
  ASSERT_GE(second, 0);
  EXPECT_LE(static_cast<size_t>(second) - end, static_cast<size_t>(kTick));
  EXPECT_EQ(matching(out, static_cast<size_t>(second), noise, noise.size()), noise.size());
  ds_stop(sig);
  EXPECT_EQ(mm_timer_live_count(), 0);
}

TEST_F(SoundOutput, LateTimerRefillStaysInsideTheScratch) {
  // 44.1 kHz stereo: a ring of 352,800 bytes, twice the decode scratch.
  auto noise = wave_noise(kRate, 2, 4.0, 0.3, 3);
  int s = load("big.wav", wave_build_msadpcm(noise, 2, kRate, 2048), true, 1);
  ASSERT_GE(s, 0);
  int sig = ds_stream_play(s, 1.0f, 0.0f, false);
  ASSERT_GE(sig, 0);
  int rec = Sound_channels[ds_channel_from_handle(sig)].stream;
  // One refill on time, then the timer sleeps while 1.9 s are mixed: most
  // of the ring is free.
  play_ticks(1);
  render(kRate * 19 / 10);
  uint32_t before = Wave_streams[rec].write_pos;
  stream_service(rec);
  uint32_t moved = (Wave_streams[rec].write_pos + Wave_streams[rec].ring_size - before) % Wave_streams[rec].ring_size;
  EXPECT_GT(moved, STREAM_DECODE_SCRATCH - 8144u);  // whole 8,144-byte blocks
  EXPECT_LE(moved, STREAM_DECODE_SCRATCH);
}

TEST_F(SoundOutput, StreamLimitsAndSilenceBytes) {
  std::vector<int16_t> tone = wave_tone(22050, 1, 0.3, 441.0, 0.3);
  int s8 = load("eight.wav", wave_build_pcm(tone, 1, 22050, 8), true);
  int sig = ds_stream_play(s8, 1.0f, 0.0f, false);
  int rec = Sound_channels[ds_channel_from_handle(sig)].stream;
  render(kTick);
  stream_service(rec);
  // The 8-bit ring after the data holds the unsigned midpoint.
  void *p1, *p2;
  uint32_t n1, n2;
  DsBuffer* ring = Sound_channels[ds_channel_from_handle(sig)].pdsb;
  ASSERT_FALSE(ds_failed(ring->lock(0, 0, &p1, &n1, &p2, &n2, true)));
  uint32_t data_bytes = static_cast<uint32_t>(tone.size());
  int mid = 0;
  for (uint32_t i = data_bytes + 16; i < data_bytes + 1000; ++i) mid += static_cast<uint8_t*>(p1)[i] == 128;
  EXPECT_EQ(mid, 984);
  ring->unlock(p1, n1, p2, n2);
  ds_stop(sig);

  int many = load("many.wav", wave_build_pcm(tone, 1, 22050, 16), true);
  int ok = 0;
  for (int i = 0; i < 17; ++i) ok += ds_stream_play(many, 0.5f, 0.0f, true) >= 0;
  EXPECT_EQ(ok, MAX_WAVE_STREAMS);

  // Format tag 3 (float) is not a wave we play.
  auto bytes = wave_build_pcm(tone, 1, 22050, 16);
  bytes[20] = 3;
  MmioFile* f;
  WaveFormat *ff, *bf;
  MmioChunk riff;
  EXPECT_EQ(wave_open_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &f, &ff, &bf, &riff), -1);
}

// MS-ADPCM made by another encoder and decoded by its own decoder: ours must
// give the same samples, whole and through the stream.
class AdpcmAgainstSox : public SoundOutput {
 protected:
  bool sox(const std::string& args) {
    std::string cmd = "sox " + args + " 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
  }
};

std::vector<int16_t> pcm16_samples(const std::vector<uint8_t>& file) {
  MmioFile* f;
  WaveFormat *ff, *bf;
  MmioChunk riff, data;
  std::vector<int16_t> out;
  if (wave_open_memory(file.data(), static_cast<uint32_t>(file.size()), &f, &ff, &bf, &riff) != 0) return out;
  if (wave_find_data(f, &data, &riff) == 0) {
    std::vector<uint8_t> b(data.size);
    uint32_t got = 0;
    wave_read(f, data.size, b.data(), &data, &got);
    for (size_t i = 0; i + 1 < got; i += 2) out.push_back(static_cast<int16_t>(b[i] | (b[i + 1] << 8)));
  }
  wave_free_formats(&ff, &bf);
  wave_close(f);
  return out;
}

TEST_F(AdpcmAgainstSox, SameSamplesWholeAndStreamed) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  struct {
    int channels, rate;
  } cases[] = {{1, 11025}, {2, 22050}, {1, 44100}, {2, 44100}};
  for (auto c : cases) {
    std::string tag = std::to_string(c.channels) + "_" + std::to_string(c.rate);
    std::string src = write("src" + tag + ".wav",
                            wave_build_pcm(wave_melody(c.rate, c.channels, 2.6, 0.6), c.channels, c.rate, 16));
    std::string adpcm = dir_ + "/adpcm" + tag + ".wav", ref = dir_ + "/ref" + tag + ".wav";
    ASSERT_TRUE(sox(src + " -e ms-adpcm " + adpcm));
    ASSERT_TRUE(sox(adpcm + " -e signed-integer -b 16 " + ref));
    std::vector<int16_t> want = pcm16_samples(read_file_bytes(ref));
    ASSERT_GT(want.size(), 1000u);

    // Whole: the static buffer's bytes.
    int s = ds_load(("a" + tag).c_str(), adpcm.c_str(), 0, 0, false);
    ASSERT_GE(s, 0) << tag;
    void *p1, *p2;
    uint32_t n1, n2;
    Loaded_sounds[s].pdsb->lock(0, 0, &p1, &n1, &p2, &n2, true);
    ASSERT_GE(n1 / 2, want.size()) << tag;
    const uint8_t* b = static_cast<const uint8_t*>(p1);
    size_t same = 0;
    for (size_t i = 0; i < want.size(); ++i)
      same += static_cast<int16_t>(b[2 * i] | (b[2 * i + 1] << 8)) == want[i];
    EXPECT_EQ(same, want.size()) << tag;
    Loaded_sounds[s].pdsb->unlock(p1, n1, p2, n2);

    // Streamed: refills take odd sizes, so blocks are split and given back.
    if (c.rate == kRate) {
      int st = ds_load(("s" + tag).c_str(), adpcm.c_str(), 0, 0, true);
      int sig = ds_stream_play(st, 1.0f, 0.0f, false);
      ASSERT_GE(sig, 0);
      std::vector<float> out = play_ticks(14);
      std::vector<int16_t> left;
      for (size_t i = 0; i < want.size(); i += static_cast<size_t>(c.channels)) left.push_back(want[i]);
      long at = find_run(out, left, 0);
      ASSERT_GE(at, 0) << tag;
      EXPECT_EQ(matching(out, static_cast<size_t>(at), left, left.size()), left.size()) << tag;
      ds_stop(sig);
    }
  }
}

TEST(MsAdpcm, OurEncoderRoundTripsThroughTheDecoder) {
  auto tone = wave_tone(22050, 1, 0.5, 300.0, 0.5);
  auto file = wave_build_msadpcm(tone, 1, 22050, 256);
  MmioFile* f;
  WaveFormat *ff, *bf;
  MmioChunk riff, data;
  ASSERT_EQ(wave_open_memory(file.data(), static_cast<uint32_t>(file.size()), &f, &ff, &bf, &riff), 0);
  EXPECT_EQ(bf->bits, 16);
  MsAdpcmInfo info;
  ASSERT_TRUE(msadpcm_parse_format(*ff, &info));
  EXPECT_EQ(info.samples_per_block, 500);
  ASSERT_EQ(wave_find_data(f, &data, &riff), 0);
  std::vector<uint8_t> block(256);
  uint32_t got = 0;
  wave_read(f, 256, block.data(), &data, &got);
  std::vector<int16_t> out(500);
  ASSERT_EQ(msadpcm_decode_block(info, block.data(), got, out.data()), 500);
  double err = 0;
  for (size_t i = 0; i < 500; ++i) err += std::fabs(out[i] - tone[i]);
  EXPECT_LT(err / 500, 300.0);  // within a few hundredths of full scale
  // A predictor beyond the table is a bad block, not a read past it.
  block[0] = 9;
  EXPECT_EQ(msadpcm_decode_block(info, block.data(), got, out.data()), -1);
  wave_free_formats(&ff, &bf);
  wave_close(f);
}

// Reverberation: the environment names, the decay clamp, and the tail a
// 3-D sound leaves in a cave where a flat sound leaves none.
TEST_F(SoundOutput, EnvironmentsByNameAndDecayClamp) {
  ASSERT_TRUE(ds_is_eax());
  EXPECT_EQ(ds_platform_environment(), 8);
  EXPECT_EQ(eax_set_environment("CAVE"), 0);
  EXPECT_EQ(ds_platform_environment(), 8);
  EXPECT_EQ(eax_set_environment("caves"), -1);
  struct {
    const char* name;
    int index;
    float decay;
  } presets[] = {{"generic", 0, 1.49f}, {"paddedcell", 1, 0.17f}, {"cave", 8, 2.91f},
                 {"underwater", 22, 1.49f}, {"psychotic", 25, 7.56f}, {"Hangar", 10, 10.05f}};
  for (auto p : presets) {
    EXPECT_EQ(eax_set_environment(p.name), 0);
    EXPECT_EQ(ds_platform_environment(), p.index);
    EXPECT_NEAR(ds_platform_decay_time(), p.decay, 1e-3) << p.name;
  }
  EXPECT_EQ(eax_set_decay_time(30.0f), 0);
  EXPECT_FLOAT_EQ(ds_platform_decay_time(), 20.0f);
  EXPECT_EQ(eax_set_decay_time(0.01f), 0);
  EXPECT_FLOAT_EQ(ds_platform_decay_time(), 0.1f);
  EXPECT_EQ(eax_set_environment_index(26), -1);
}

TEST_F(SoundOutput, CaveTailFollowsThreeDSoundsOnly) {
  ASSERT_EQ(eax_set_environment("cave"), 0);
  int s = load("burst.wav", wave_build_pcm(wave_noise(kRate, 1, 0.3, 0.5, 5), 1, kRate, 16));
  vector at{0, 0, 2}, zero{0, 0, 0};
  auto tail = [&](bool three_d) {
    int sig = three_d ? ds_play_3d(s, &at, &zero, 1.0f, 100.0f, 1.0f, false) : ds_play(s, 1.0f, 0.0f, false);
    EXPECT_GE(sig, 0);
    render(kRate / 5);
    ds_stop(sig);
    Rendered after = render(kRate / 2);
    render(kRate * 4);  // let any tail die before the next case
    return after.rms_l(kRate / 10, kRate / 2) + after.rms_r(kRate / 10, kRate / 2);
  };
  double flat = tail(false);
  double spatial = tail(true);
  EXPECT_LT(flat, 1e-6);
  EXPECT_GT(spatial, 1e-3);
}

}  // namespace

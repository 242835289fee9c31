// The output layer's answers on odd input: NaN volumes, durations of every
// kind of file, files it cannot play, and one file loaded both to stream and
// to play whole.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "quarn/sound/stream.h"
#include "tests/quarn/sound/sound_fixture.h"

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}
void tag(std::vector<uint8_t>& b, const char* t) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
}

// A RIFF WAVE file laid out field by field: "fmt " of 16 bytes (18 with the
// extra-size field for any tag but PCM), then "data".
std::vector<uint8_t> wave_bytes(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits,
                                uint16_t block_align, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> fmt;
  put16(fmt, format);
  put16(fmt, channels);
  put32(fmt, rate);
  put32(fmt, rate * block_align);
  put16(fmt, block_align);
  put16(fmt, bits);
  if (format != 1) put16(fmt, 0);
  std::vector<uint8_t> b;
  tag(b, "RIFF");
  put32(b, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size()));
  tag(b, "WAVE");
  tag(b, "fmt ");
  put32(b, static_cast<uint32_t>(fmt.size()));
  b.insert(b.end(), fmt.begin(), fmt.end());
  tag(b, "data");
  put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST_F(SoundOutput, NanVolumesAreSilenceNotACrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(ds_volume_to_mb(nan), -10000);
  EXPECT_EQ(ds_volume_to_mb(-nan), -10000);
  int s = load("tone.wav", wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.5), 1, kRate, 16));
  int sig = ds_play(s, nan, 0.0f, true);
  ASSERT_GE(sig, 0);
  int ch = ds_channel_from_handle(sig);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  EXPECT_LT(render(4410).rms_l(1000, 4410), 1e-6);
  ds_set_volume(sig, 1.0f);
  EXPECT_GT(render(4410).rms_l(1000, 4410), 0.1);
  ds_set_volume(sig, nan);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  // A NaN category volume silences the category; a fade then still ends.
  ds_set_volume(sig, 0.6f);
  ds_set_category_volume(0, nan);
  EXPECT_EQ(Sound_channels[ch].volume, 0.0f);
  ds_set_volume(sig, 0.6f);
  ds_fade_out(sig, 150);
  for (int i = 0; i < 4 && ds_channel_from_handle(sig) >= 0; ++i) {
    ds_update_fades();
    timer_real_clock += 75;
  }
  EXPECT_EQ(ds_channel_from_handle(sig), -1);
}

// Duration is frames over the rate, whatever the channels, bits or coding.
TEST_F(SoundOutput, DurationIsTheSoundsOwnLength) {
  struct {
    const char* name;
    std::vector<uint8_t> file;
    double seconds;
  } cases[] = {
      {"stereo16.wav", wave_build_pcm(wave_tone(22050, 2, 1.0, 441.0, 0.3), 2, 22050, 16), 1.0},
      {"mono8.wav", wave_build_pcm(wave_tone(11025, 1, 2.0, 441.0, 0.3), 1, 11025, 8), 2.0},
      // 55,125 frames in 512-byte blocks of 1,012: 55 blocks, the last padded.
      {"adpcm.wav", wave_build_msadpcm(wave_tone(11025, 1, 5.0, 441.0, 0.3), 1, 11025, 512), 55.0 * 1012 / 11025},
      // 44,100 stereo frames in 1,024-byte blocks of 1,012: 44 blocks.
      {"adpcm2.wav", wave_build_msadpcm(wave_tone(44100, 2, 1.0, 441.0, 0.3), 2, 44100, 1024), 44.0 * 1012 / 44100},
  };
  for (auto& c : cases) {
    int whole = load(c.name, c.file, false);
    int streamed = ds_load(c.name, (dir_ + "/" + c.name).c_str(), 0, 0, true);
    ASSERT_GE(whole, 0) << c.name;
    ASSERT_GE(streamed, 0) << c.name;
    EXPECT_NEAR(ds_get_duration(whole), c.seconds, 1e-5) << c.name;
    EXPECT_NEAR(ds_get_duration(streamed), c.seconds, 1e-5) << c.name;
  }
  // A short last MS-ADPCM block counts the frames its bytes reach: header
  // (two frames) and two per byte for mono.
  std::vector<uint8_t> file = wave_build_msadpcm(wave_tone(11025, 1, 0.5, 441.0, 0.3), 1, 11025, 512);
  uint32_t cut = 100;  // bytes taken off the last 512-byte block
  file.resize(file.size() - cut);
  // The data chunk is last: its size field sits right before its bytes.
  size_t data_at = 0;
  for (size_t i = 12; i + 8 <= file.size(); ++i)
    if (std::string(file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(i) + 4) == "data") {
      data_at = i;
      break;
    }
  ASSERT_GT(data_at, 0u);
  uint32_t bytes = static_cast<uint32_t>(file.size() - data_at - 8);
  uint32_t riff = static_cast<uint32_t>(file.size() - 8);
  for (int k = 0; k < 4; ++k) {
    file[data_at + 4 + static_cast<size_t>(k)] = static_cast<uint8_t>(bytes >> (8 * k));
    file[4 + static_cast<size_t>(k)] = static_cast<uint8_t>(riff >> (8 * k));
  }
  uint32_t blocks = bytes / 512, rest = bytes % 512;
  double frames = blocks * 1012.0 + 2 + (rest - 7) * 2;
  int s = load("short_last.wav", file, true);
  ASSERT_GE(s, 0);
  EXPECT_NEAR(ds_get_duration(s), frames / 11025, 1e-6);
}

// Files the layer cannot play say which file and why, on the standard error
// and in the layer's diagnostic (which the console shows).
TEST_F(SoundOutput, UnplayableFilesAreNamedWithTheirReason) {
  std::vector<uint8_t> four_bytes(4096, 0);
  struct {
    const char* name;
    std::vector<uint8_t> file;
    const char* why;
  } cases[] = {
      {"ima.wav", wave_bytes(0x11, 1, 22050, 4, 256, four_bytes), "IMA ADPCM"},
      {"float.wav", wave_bytes(3, 2, 44100, 32, 8, four_bytes), "32-bit floating-point"},
      {"pcm24.wav", wave_bytes(1, 2, 44100, 24, 6, four_bytes), "24-bit"},
      {"six.wav", wave_bytes(1, 6, 44100, 16, 12, four_bytes), "6 channels"},
      {"text.wav", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}, "not a RIFF WAVE"},
  };
  for (auto& c : cases) {
    for (bool stream : {false, true}) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(load(c.name, c.file, stream), -1) << c.name;
      std::string err = testing::internal::GetCapturedStderr();
      EXPECT_NE(err.find(c.name), std::string::npos) << err;
      EXPECT_NE(err.find(c.why), std::string::npos) << err;
      EXPECT_EQ(std::string(ds_last_diagnostic()), err);
    }
  }
}

// One wave streamed as music and played whole as an effect: two slots, each
// able to do its own kind of play.
TEST_F(SoundOutput, AStreamedFileStillPlaysWhole) {
  auto bytes = wave_build_pcm(wave_tone(kRate, 1, 0.5, 441.0, 0.5), 1, kRate, 16);
  int streamed = load("both.wav", bytes, true);
  ASSERT_GE(streamed, 0);
  int music = ds_stream_play(streamed, 1.0f, 0.0f, true);
  ASSERT_GE(music, 0);
  int whole = ds_load("both.wav", (dir_ + "/both.wav").c_str(), 0, 0, false);
  ASSERT_GE(whole, 0);
  EXPECT_NE(whole, streamed);
  EXPECT_GE(ds_play(whole, 1.0f, 0.0f, false), 0);
  // Asked again, each kind finds its own slot.
  EXPECT_EQ(ds_load("BOTH.WAV", (dir_ + "/both.wav").c_str(), 0, 0, true), streamed);
  EXPECT_EQ(ds_load("both.wav", (dir_ + "/both.wav").c_str(), 0, 0, false), whole);
  // And neither is taken for the other's kind of play.
  EXPECT_EQ(ds_stream_play(whole, 1.0f, 0.0f, false), -1);
  EXPECT_EQ(ds_play(streamed, 1.0f, 0.0f, false), -1);
}

// Setting a category volume scales each of its channels by the change.
TEST_F(SoundOutput, CategoryVolumeScalesEachChannel) {
  auto tone = wave_build_pcm(wave_tone(kRate, 1, 0.3, 441.0, 0.5), 1, kRate, 16);
  int a = load("a.wav", tone, false, 0);
  int m = load("m.wav", tone, false, 1);
  int quiet = ds_play(a, 0.1f, 0.0f, true);
  int loud = ds_play(a, 1.0f, 0.0f, true);
  int other = ds_play(m, 0.5f, 0.0f, true);
  auto vol = [](int sig) { return Sound_channels[ds_channel_from_handle(sig)].volume; };
  ds_set_category_volume(0, 0.9f);
  EXPECT_NEAR(vol(quiet), 0.09f, 1e-6);
  EXPECT_NEAR(vol(loud), 0.9f, 1e-6);
  EXPECT_FLOAT_EQ(vol(other), 0.5f);
  ds_set_category_volume(0, 0.45f);
  EXPECT_NEAR(vol(quiet), 0.045f, 1e-6);
  ds_set_category_volume(0, 1.0f);
  EXPECT_NEAR(vol(quiet), 0.1f, 1e-6);
  EXPECT_NEAR(vol(loud), 1.0f, 1e-6);
  // Heard: the quiet one stays 20 dB under the loud one (table entries 10
  // and 100) after the category went down and up again.
  ds_stop(loud);
  ds_stop(other);
  render(2048);
  double q = render(4410).rms_l(1000, 4410);
  int again = ds_play(a, 1.0f, 0.0f, true);
  ds_stop(quiet);
  render(2048);
  double l = render(4410).rms_l(1000, 4410);
  EXPECT_NEAR(20 * std::log10(q / l), -33.21, 0.2);  // 1000 * log2(0.1) hundredths of a dB
  (void)again;
}

}  // namespace

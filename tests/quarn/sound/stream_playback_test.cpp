// Streams as a player hears them: rendered through the loopback device at
// the stream's own rate (so every sample comes out as it is in the file),
// with the refill timer fired at uneven intervals, late ones among them, and
// compared sample by sample with the decoded file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/platform/acm.h"
#include "quarn/sound/stream.h"
#include "tests/quarn/sound/sound_fixture.h"

namespace {

// Milliseconds between refill ticks, used in turn: early, on time and late
// (640 ms is more than two periods and a half).
const int kTickMs[] = {250, 170, 330, 60, 250, 640, 110, 250, 20, 400};
constexpr int kLongestTickMs = 640;

struct Heard {
  std::vector<float> ch[2];
  // Frames rendered when the stream was first found no longer playing; -1
  // while it played to the end of the run.
  long stopped_at = -1;
};

// Decoded samples of a wave file, one vector per channel: PCM as it stands,
// MS-ADPCM block by block through the decoder.
std::vector<std::vector<int16_t>> decoded(const std::vector<uint8_t>& file) {
  MmioFile* f = nullptr;
  WaveFormat *ff = nullptr, *bf = nullptr;
  MmioChunk riff, data;
  std::vector<std::vector<int16_t>> out;
  EXPECT_EQ(wave_open_memory(file.data(), static_cast<uint32_t>(file.size()), &f, &ff, &bf, &riff), 0);
  EXPECT_EQ(wave_find_data(f, &data, &riff), 0);
  std::vector<uint8_t> bytes(data.size);
  uint32_t got = 0;
  wave_read(f, data.size, bytes.data(), &data, &got);
  bytes.resize(got);
  int ch = ff->channels;
  out.resize(static_cast<size_t>(ch));
  std::vector<int16_t> inter;
  if (ff->tag == WAVE_FORMAT_ADPCM) {
    MsAdpcmInfo info;
    EXPECT_TRUE(msadpcm_parse_format(*ff, &info));
    std::vector<int16_t> block(static_cast<size_t>(info.samples_per_block * ch));
    for (size_t at = 0; at < bytes.size(); at += static_cast<size_t>(info.block_align)) {
      uint32_t n = static_cast<uint32_t>(std::min<size_t>(info.block_align, bytes.size() - at));
      int frames = msadpcm_decode_block(info, bytes.data() + at, n, block.data());
      if (frames <= 0) break;
      inter.insert(inter.end(), block.begin(), block.begin() + frames * ch);
    }
  } else {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      inter.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  for (size_t i = 0; i < inter.size(); ++i) out[i % static_cast<size_t>(ch)].push_back(inter[i]);
  wave_free_formats(&ff, &bf);
  wave_close(f);
  return out;
}

bool same(float heard, int16_t sample) { return std::fabs(heard - sample / 32768.0f) < 1e-4f; }
bool silent(float heard) { return std::fabs(heard) < 1e-7f; }

// First frame from `from` where 64 frames of the reference start, -1 if none.
long find_start(const std::vector<float>& out, const std::vector<int16_t>& ref, size_t from) {
  for (size_t i = from; i + 64 <= out.size(); ++i) {
    size_t k = 0;
    while (k < 64 && same(out[i + k], ref[k])) ++k;
    if (k == 64) return static_cast<long>(i);
  }
  return -1;
}

class StreamPlayback : public ::testing::Test {
 protected:
  void TearDown() override {
    ds_close();
    ds_platform_use_loopback(0);
    mm_timer_set_manual(false);
  }
  void start(int rate) {
    if (rate_ == rate) return;
    if (rate_) ds_close();
    rate_ = rate;
    dir_ = fresh_temp_dir("stream_play");
    ds_platform_use_loopback(rate);
    mm_timer_set_manual(true);
    ASSERT_EQ(ds_init(nullptr, rate, 16, 2, false, false, true), 0);
  }
  int load_stream(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = dir_ + "/" + name;
    EXPECT_TRUE(wave_write_file(p, bytes));
    return ds_load(name.c_str(), p.c_str(), 0, 1, true);
  }
  // Renders `seconds` of the mix at uneven refill ticks.
  Heard drive(int sig, double seconds) {
    Heard h;
    size_t total = static_cast<size_t>(seconds * rate_);
    for (size_t t = 0; h.ch[0].size() < total; ++t) {
      int ms = kTickMs[t % std::size(kTickMs)];
      Rendered r = render(rate_ * ms / 1000);
      h.ch[0].insert(h.ch[0].end(), r.l.begin(), r.l.end());
      h.ch[1].insert(h.ch[1].end(), r.r.begin(), r.r.end());
      mm_timer_fire_all();
      if (h.stopped_at < 0 && !ds_is_playing(sig)) h.stopped_at = static_cast<long>(h.ch[0].size());
    }
    return h;
  }
  size_t frames_of_ms(int ms) const { return static_cast<size_t>(rate_) * static_cast<size_t>(ms) / 1000; }
  int rate_ = 0;
  std::string dir_;
};

struct Format {
  int rate, channels;
  bool adpcm;
};

std::string describe(const Format& f) {
  return std::to_string(f.rate) + " Hz " + (f.channels == 2 ? "stereo " : "mono ") +
         (f.adpcm ? "MS-ADPCM" : "PCM");
}

std::vector<uint8_t> build(const Format& f, const std::vector<int16_t>& samples) {
  return f.adpcm ? wave_build_msadpcm(samples, f.channels, f.rate, f.channels * 512)
                 : wave_build_pcm(samples, f.channels, f.rate, 16);
}

const Format kFormats[] = {
    {11025, 1, false}, {11025, 2, true},  {11025, 1, true},  {22050, 2, false},
    {22050, 1, true},  {22050, 2, true},  {44100, 1, false}, {44100, 2, false},
    {44100, 1, true},  {44100, 2, true},  {11025, 2, false}, {22050, 1, false},
};

// A looping track of noise (no silence of its own) over six ring wraps: each
// pass sample-exact on both channels, nothing between passes but silence no
// longer than one refill, no silent run inside the music.
TEST_F(StreamPlayback, LoopingStreamsAreWholeOnEveryPassAtEveryRate) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(describe(f));
    start(f.rate);
    // 2.7 s: passes end at every place in the ring, never on a wrap.
    auto file = build(f, wave_noise(f.rate, f.channels, 2.7, 0.4, 11));
    auto ref = decoded(file);
    int s = load_stream("loop" + std::to_string(f.rate) + std::to_string(f.channels) + (f.adpcm ? "a" : "p") + ".wav", file);
    ASSERT_GE(s, 0);
    int sig = ds_stream_play(s, 1.0f, 0.0f, true);
    ASSERT_GE(sig, 0);
    Heard h = drive(sig, 12.5);
    EXPECT_EQ(h.stopped_at, -1);
    for (int c = 0; c < 2; ++c) {
      const std::vector<float>& out = h.ch[c];
      const std::vector<int16_t>& want = ref[static_cast<size_t>(f.channels == 2 ? c : 0)];
      // MS-ADPCM pads its last block with silence of the file's own: that
      // is no dropout.
      size_t music = want.size();
      while (music > 0 && want[music - 1] == 0) --music;
      long at = find_start(out, want, 0);
      ASSERT_EQ(at, 0) << "channel " << c << ": the music does not start at once";
      int passes = 0;
      size_t longest_gap = 0, longest_quiet = 0;
      while (true) {
        size_t n = std::min(want.size(), out.size() - static_cast<size_t>(at));
        size_t bad = 0, first_bad = 0, quiet = 0;
        for (size_t k = 0; k < n; ++k) {
          float v = out[static_cast<size_t>(at) + k];
          if (!same(v, want[k]) && bad++ == 0) first_bad = k;
          quiet = silent(v) && k < music ? quiet + 1 : 0;
          longest_quiet = std::max(longest_quiet, quiet);
        }
        ASSERT_EQ(bad, 0u) << "channel " << c << ", pass " << passes << ": first wrong frame "
                           << first_bad << " of " << want.size() << " (output frame "
                           << at + static_cast<long>(first_bad) << ")";
        if (n < want.size()) break;
        ++passes;
        size_t end = static_cast<size_t>(at) + want.size();
        long next = find_start(out, want, end);
        if (next < 0) break;  // the run ended inside a gap or a first frame
        size_t gap = static_cast<size_t>(next) - end;
        for (size_t k = end; k < static_cast<size_t>(next); ++k)
          ASSERT_TRUE(silent(out[k])) << "channel " << c << ": sound between passes at " << k;
        longest_gap = std::max(longest_gap, gap);
        at = next;
      }
      EXPECT_GE(passes, 4) << "channel " << c;
      EXPECT_LE(longest_gap, frames_of_ms(kLongestTickMs)) << "channel " << c;
      EXPECT_LE(longest_quiet, frames_of_ms(1)) << "channel " << c;
    }
    ds_stop(sig);
    EXPECT_EQ(mm_timer_live_count(), 0);
  }
}

// One-shot streams, shorter than a refill, shorter than the ring and longer
// than it: every sample heard, once, then silence; the stream then lets its
// channel go by itself, within a refill of its last sample.
TEST_F(StreamPlayback, OneShotStreamsPlayOnceAndWhole) {
  const Format formats[] = {{22050, 1, false}, {44100, 2, true}, {11025, 2, false}};
  for (const Format& f : formats) {
    for (double seconds : {0.15, 1.0, 3.0}) {
      SCOPED_TRACE(describe(f) + ", " + std::to_string(seconds) + " s");
      start(f.rate);
      auto file = build(f, wave_noise(f.rate, f.channels, seconds, 0.4, 5));
      auto ref = decoded(file);
      int s = load_stream("once" + std::to_string(f.rate) + std::to_string(seconds) + ".wav", file);
      ASSERT_GE(s, 0);
      int sig = ds_stream_play(s, 1.0f, 0.0f, false);
      ASSERT_GE(sig, 0);
      Heard h = drive(sig, seconds + 4.5);
      for (int c = 0; c < 2; ++c) {
        const std::vector<float>& out = h.ch[c];
        const std::vector<int16_t>& want = ref[static_cast<size_t>(f.channels == 2 ? c : 0)];
        ASSERT_EQ(find_start(out, want, 0), 0) << "channel " << c;
        size_t bad = 0;
        for (size_t k = 0; k < want.size(); ++k) bad += !same(out[k], want[k]);
        EXPECT_EQ(bad, 0u) << "channel " << c;
        size_t loud = 0;
        for (size_t k = want.size(); k < out.size(); ++k) loud += !silent(out[k]);
        EXPECT_EQ(loud, 0u) << "channel " << c << ": sound after the end (heard twice?)";
      }
      ASSERT_GE(h.stopped_at, 0) << "the stream never stopped";
      EXPECT_GE(static_cast<size_t>(h.stopped_at), ref[0].size());
      EXPECT_LE(static_cast<size_t>(h.stopped_at), ref[0].size() + frames_of_ms(kLongestTickMs));
      EXPECT_EQ(mm_timer_live_count(), 0);
      ds_stop_all();
    }
  }
}

// One block that does not decode (a predictor beyond the coefficient table):
// what came before it plays, then silence, and the stream ends within one
// refill of that point instead of playing stale ring audio for ever. A
// looping track ends too, and the console is told which file.
TEST_F(StreamPlayback, ADamagedBlockEndsTheStreamWithAMessage) {
  struct {
    const char* where;
    int block;  // 1024-byte stereo blocks of 1,012 frames at 22,050 Hz
    bool looping;
  } cases[] = {{"in the first fill", 10, false}, {"in a refill", 70, false}, {"in a refill, looping", 70, true}};
  for (auto c : cases) {
    SCOPED_TRACE(c.where);
    start(22050);
    Format f{22050, 2, true};
    auto file = build(f, wave_noise(22050, 2, 5.0, 0.4, 3));
    auto ref = decoded(file);
    // The data chunk follows the 50-byte format of the seven coefficients.
    size_t data = 12 + 8 + 50 + 8;
    ASSERT_EQ(std::string(file.begin() + static_cast<long>(data) - 8, file.begin() + static_cast<long>(data) - 4), "data");
    file[data + static_cast<size_t>(c.block) * 1024] = 9;
    std::string name = std::string("damaged") + (c.looping ? "l" : "") + std::to_string(c.block) + ".wav";
    int s = load_stream(name, file);
    ASSERT_GE(s, 0);
    int sig = ds_stream_play(s, 1.0f, 0.0f, c.looping);
    ASSERT_GE(sig, 0);
    Heard h = drive(sig, 8.0);
    size_t good = static_cast<size_t>(c.block) * 1012;
    for (int ch = 0; ch < 2; ++ch) {
      size_t bad = 0, loud = 0;
      for (size_t k = 0; k < good; ++k) bad += !same(h.ch[ch][k], ref[static_cast<size_t>(ch)][k]);
      for (size_t k = good; k < h.ch[ch].size(); ++k) loud += !silent(h.ch[ch][k]);
      EXPECT_EQ(bad, 0u) << "channel " << ch;
      EXPECT_EQ(loud, 0u) << "channel " << ch;
    }
    ASSERT_GE(h.stopped_at, 0) << "the stream never stopped";
    EXPECT_LE(static_cast<size_t>(h.stopped_at), good + frames_of_ms(kLongestTickMs));
    ds_update_fades();  // the frame's sound update says it on the main thread
    std::string said = ds_last_diagnostic();
    EXPECT_NE(said.find(name), std::string::npos) << said;
    EXPECT_NE(said.find("byte " + std::to_string(c.block * 1024)), std::string::npos) << said;
    ds_stop_all();
  }
}

// A track faded out while the same file starts again (music returning to a
// tune that is still fading): each stream reads its own way through the file.
TEST_F(StreamPlayback, TwoStreamsOfOneFileKeepTheirOwnPlace) {
  start(22050);
  auto a = wave_noise(22050, 1, 3.0, 0.3, 21);
  auto file = wave_build_pcm(a, 1, 22050, 16);
  int s = load_stream("shared.wav", file);
  int first = ds_stream_play(s, 1.0f, -1.0f, true);
  ASSERT_GE(first, 0);
  drive(first, 2.3);
  // Quietened first (the mixer eases gains in over a few frames), so that
  // the right side holds only the second play of the same file.
  ds_set_volume(first, 0.0f);
  render(2048);
  int second = ds_stream_play(s, 1.0f, 1.0f, true);
  ASSERT_GE(second, 0);
  Heard h = drive(second, 3.5);
  // Right: the file from its first frame, whole, although the first stream
  // had read well past it.
  ASSERT_EQ(find_start(h.ch[1], a, 0), 0);
  size_t bad = 0;
  for (size_t k = 0; k < a.size(); ++k) bad += !same(h.ch[1][k], a[k]);
  EXPECT_EQ(bad, 0u);
  // And the first went on where it was: its next pass still starts whole.
  ds_set_volume(first, 1.0f);
  ds_stop(second);
  Heard rest = drive(first, 3.5);
  long again = find_start(rest.ch[0], a, 0);
  ASSERT_GE(again, 0);
  bad = 0;
  for (size_t k = 0; k < a.size() && static_cast<size_t>(again) + k < rest.ch[0].size(); ++k)
    bad += !same(rest.ch[0][static_cast<size_t>(again) + k], a[k]);
  EXPECT_EQ(bad, 0u);
}

}  // namespace

// Key tracks: the byte-coded streams decode frame by frame, rewind when an
// earlier frame is asked for, stay exhausted after the end mark, and never
// read past their stream.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/geom/effect_keys.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tools/writers/effect_writer.h"

namespace {
EffectKeyTrack track(const std::vector<uint8_t>& s, uint16_t base, bool narrow) {
  return effect_key_track_make(s.data(), static_cast<uint16_t>(s.size()), base, narrow);
}
}  // namespace

TEST(EffectKeyTrack, WideRunKeyAndEndMark) {
  const std::vector<uint8_t> s = {1, 10, 0x34, 0x12, 0x02, 0x01, 1, 0};
  const EffectKeyTrack t = track(s, 0, false);
  EffectKeyState st;
  for (int f = 0; f < 10; f++) EXPECT_EQ(effect_key_track_value(t, st, f), 0x1234) << f;
  EXPECT_EQ(effect_key_track_value(t, st, 10), 0x0102);
  EXPECT_EQ(effect_key_track_value(t, st, 11), EFFECT_KEY_NO_VALUE);
  EXPECT_TRUE(st.exhausted);
  // Exhausted sticks for this decoder, even when asked for frame 0 again.
  EXPECT_EQ(effect_key_track_value(t, st, 0), EFFECT_KEY_NO_VALUE);
  EXPECT_EQ(effect_key_track_value(t, st, 3), EFFECT_KEY_NO_VALUE);
  // Another decoder of the same track is not disturbed, and a reset by the
  // owner starts the track over.
  EffectKeyState other;
  EXPECT_EQ(effect_key_track_value(t, other, 4), 0x1234);
  st.reset();
  EXPECT_EQ(effect_key_track_value(t, st, 10), 0x0102);
}

TEST(EffectKeyTrack, AskingForAnEarlierFrameRewinds) {
  // Single keys 2, 4, 6, ... for frames 0..29.
  std::vector<int16_t> values;
  for (int f = 0; f < 30; f++) values.push_back(static_cast<int16_t>(2 * f + 2));
  const EffectTrackSpec spec = effect_track_frames(values);
  const EffectKeyTrack t = track(spec.stream, 0, false);
  EffectKeyState st;
  EXPECT_EQ(effect_key_track_value(t, st, 20), 42);
  EXPECT_EQ(st.frame, 20);
  EXPECT_EQ(effect_key_track_value(t, st, 5), 12);
  EXPECT_FALSE(st.exhausted);
  EXPECT_EQ(effect_key_track_value(t, st, 29), 60);
}

TEST(EffectKeyTrack, NarrowStreamWithBaseAndEndOfData) {
  const std::vector<uint8_t> s = {4, 6, 1, 3, 9};
  const EffectKeyTrack t = track(s, 100, true);
  EffectKeyState st;
  EXPECT_EQ(effect_key_track_value(t, st, 0), 104);
  EXPECT_EQ(effect_key_track_value(t, st, 1), 106);
  for (int f = 2; f <= 4; f++) EXPECT_EQ(effect_key_track_value(t, st, f), 109) << f;
  EXPECT_EQ(effect_key_track_value(t, st, 5), 0);
  EXPECT_FALSE(st.exhausted);
}

TEST(EffectKeyTrack, OddStreamsAndCutRecordsStayInside) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool narrow;
    int frame;
    int16_t want;
    bool exhausted;
  };
  const Case cases[] = {
      {{}, false, 0, 0, false},                   // empty stream
      {{1}, false, 0, 0, false},                  // run cut after its first byte
      {{1, 5, 0x20}, false, 2, 0, false},         // wide run without its high byte
      {{0x10}, false, 0, 0, false},               // wide key of one byte
      {{3, 4, 7, 7}, false, 1, 0, false},         // invalid run: inside it, 0
      {{3, 4, 7, 7}, false, 6, EFFECT_KEY_NO_VALUE, true},  // past it: the track ends
      {{2, 0, 1, 0}, false, 3, EFFECT_KEY_NO_VALUE, true},
      {{0xFE, 0xFF}, false, 0, -2, false},        // values are signed after the base
  };
  for (const Case& c : cases) {
    // Copy into a buffer of exactly the stream's size so that a read past it
    // shows under the address sanitizer.
    std::vector<uint8_t> exact(c.bytes);
    const EffectKeyTrack t = track(exact, 0, c.narrow);
    EffectKeyState st;
    EXPECT_EQ(effect_key_track_value(t, st, c.frame), c.want) << c.frame;
    EXPECT_EQ(st.exhausted, c.exhausted);
  }
}

// A track decoded once answers every frame, in any order and with any
// history, exactly as reading its stream does: hostile streams made at
// random, each read by a sequence of frames that jumps back and forth
// through two decoders at once, as emitters read f0 and f0 + 1.
TEST(EffectKeyTrack, DecodedTracksAnswerAsTheirStreamsDo) {
  uint32_t seed = 99;
  const auto next = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  int decoded = 0;
  for (int round = 0; round < 400; round++) {
    std::vector<uint8_t> bytes(next(40));
    for (auto& b : bytes) {
      // Mostly keys and runs of type 1, sometimes anything.
      const uint32_t k = next(8);
      b = static_cast<uint8_t>(k < 3 ? 1 : k < 4 ? 0 : next(256));
    }
    const bool narrow = next(2) == 1;
    const uint16_t base = static_cast<uint16_t>(next(3) == 0 ? next(65536) : 0);
    const EffectKeyTrack raw = track(bytes, base, narrow);
    const EffectKeyTrack fast = effect_key_track_decode(raw);
    decoded += fast.decoded != nullptr;
    EffectKeyState rs[2], fs[2];
    for (int step = 0; step < 200; step++) {
      const int which = static_cast<int>(next(2));
      const int f = next(10) == 0 ? static_cast<int>(next(20000)) - 10 : static_cast<int>(next(300));
      ASSERT_EQ(effect_key_track_value(fast, fs[which], f), effect_key_track_value(raw, rs[which], f))
          << "round " << round << " step " << step << " frame " << f;
      ASSERT_EQ(fs[which].exhausted, rs[which].exhausted);
      if (next(50) == 0) fs[which].reset(), rs[which].reset();
    }
  }
  EXPECT_EQ(decoded, 400);
}

TEST(EffectKeyTrack, LongRunsToTheLastFrameDecode) {
  // 64 runs of 255 frames and one of 64: frames 0..16383 exactly, then the end mark.
  std::vector<uint8_t> s;
  for (int r = 0; r < 64; r++) s.insert(s.end(), {1, 255, static_cast<uint8_t>(r), 0});
  s.insert(s.end(), {1, 64, 99, 0, 1, 0});
  const EffectKeyTrack raw = track(s, 0, false);
  const EffectKeyTrack fast = effect_key_track_decode(raw);
  ASSERT_NE(fast.decoded, nullptr);
  for (int f : {0, 254, 255, 16319, 16320, 16383, 16384, 30000}) {
    EffectKeyState a, b;
    EXPECT_EQ(effect_key_track_value(fast, a, f), effect_key_track_value(raw, b, f)) << f;
  }
  EffectKeyState st;
  EXPECT_EQ(effect_key_track_value(fast, st, 16383), 99);
  EXPECT_FALSE(st.exhausted);
}

TEST(EffectKeyTrack, BaseWrapsIn16Bits) {
  const std::vector<uint8_t> s = {1, 2, 0x00, 0x80};
  EffectKeyState st;
  EXPECT_EQ(effect_key_track_value(track(s, 0x8000, false), st, 0), 0);
}

TEST(EffectParamSet, SamplingBlendsTheWholeFrames) {
  EffectParamSetSpec p;
  p.key_count = 3;
  p.position[0] = effect_track_frames({0, 256, 512});  // x: 0, 1, 2
  p.position[1] = effect_track_constant(512);           // y: 2
  p.position[2] = effect_track_constant(0);
  p.rotation[3] = effect_track_constant(16382);  // identity (w = 16382/16383)
  p.scalar[0] = effect_track_frames({2, 4, 4});  // strength x 2000
  p.scalar[1] = effect_track_constant(128);      // 0.5
  EffectDefSpec d;
  d.name = "field";
  d.params = {p};
  const Image img = make_image({d});
  char err[128];
  ASSERT_TRUE(effect_image_check(img.view, err, sizeof err)) << err;
  const EffectDefArray params = effect_def_array(img.view, img.def(0), EFFECT_ARRAY_PARAM_SET);
  ASSERT_EQ(params.count, 1);
  EffectParamSetDef pd;
  ASSERT_TRUE(effect_param_set_def_at(img.view, params.record(0), pd));
  EXPECT_EQ(pd.key_count, 3);

  EffectParamRun run;
  run.reset();
  effect_param_set_sample(run, pd, 0.0f);
  effect_param_set_sample(run, pd, 0.5f);
  EXPECT_NEAR(run.position.x, 0.5f, 1e-5);
  EXPECT_NEAR(run.prev_position.x, 0.0f, 1e-5);
  EffectParamValues v;
  effect_param_set_values(run, pd, v, 0.5f);
  // Half-way between the previous (0) and current (0.5) samples.
  EXPECT_NEAR(v.position.x, 0.25f, 1e-5);
  EXPECT_NEAR(v.position.y, 2.0f, 1e-5);
  EXPECT_NEAR(v.axis.y, 1.0f, 1e-3);
  EXPECT_NEAR(v.scalar[0], 3.0f * 2000.0f, 1e-2);  // between 2 and 4, times 2000
  EXPECT_NEAR(v.scalar[1], 0.5f, 1e-5);
  // Beyond the keys the stored frame stops at the last key.
  effect_param_set_sample(run, pd, 7.25f);
  EXPECT_FLOAT_EQ(run.frame, 2.0f);
}

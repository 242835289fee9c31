// Camera tracks read from bytes laid out as the cutscene stream holds them
// (little-endian: start, end, a third float, position keys of a tick and
// three vectors, rotation keys of a tick, a quaternion and five floats), and
// the camera blend's eased weights and mixed pose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "levelscripts/camera_track.h"
#include "quarn/math/quaternion.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/readstream.h"

namespace {

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& f(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u32(u);
  }
  Bytes& u16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& v3(float x, float y, float z) { return f(x).f(y).f(z); }
};

// A rotation about the vertical axis by `deg`, as x, y, z, w.
Bytes& yaw_key(Bytes& s, uint32_t tick, float deg) {
  const float h = deg * 3.14159265f / 360.0f;
  s.u32(tick).f(0).f(std::sin(h)).f(0).f(std::cos(h));
  return s.f(0).f(0).f(0).f(0).f(0);  // tension, continuity, bias, ease to, ease from
}

// A track of 1 to 3 s: x goes 0 -> 10 with an outgoing tangent of 3 at the
// first key, and the camera turns 0 -> 90 degrees.
Bytes simple_track(float start = 1.0f, float end = 3.0f) {
  Bytes s;
  s.f(start).f(end).f(0.59f);
  s.u16(2);
  s.u32(4800).v3(0, 0, 0).v3(0, 0, 0).v3(3, 0, 0);
  s.u32(14400).v3(10, 0, 0).v3(0, 0, 0).v3(0, 0, 0);
  s.u16(2);
  yaw_key(s, 4800, 0);
  yaw_key(s, 14400, 90);
  return s;
}

bool read_track(CampathTrack& t, const Bytes& bytes, float offset) {
  ReadStream rs;
  rs.open_memory(bytes.b.data(), static_cast<int>(bytes.b.size()));
  return t.campath_read(rs, offset);
}

float yaw_of(const matrix& m) {
  quaternion q;
  q.from_matrix(m);
  return 2.0f * std::atan2(q.y, q.w) * 180.0f / 3.14159265f;
}

uint64_t Fake_ns = 0;
uint64_t fake_counter() { return Fake_ns; }
void fake_sleep(int ms) { Fake_ns += static_cast<uint64_t>(ms) * 1000000; }

class CameraTracks : public ::testing::Test {
 protected:
  void SetUp() override { campath_release_keys(); }
  void TearDown() override {
    campath_release_keys();
    timer_set_source(nullptr, nullptr);
  }
};

TEST_F(CameraTracks, SamplesBetweenKeysOnTheCutscenesClock) {
  CampathTrack t;
  ASSERT_TRUE(read_track(t, simple_track(), -1.0f));
  EXPECT_EQ(t.campath_get_type(), CAMPATH_KEYED);
  EXPECT_FLOAT_EQ(t.start, 1.0f);
  EXPECT_FLOAT_EQ(t.end, 3.0f);
  EXPECT_NEAR(t.third, 1.0f, 1e-6);  // 0.59 read times 1.6949153
  Fake_ns = 0;
  timer_set_source(fake_counter, fake_sleep);
  timer_init();
  campath_clock_start(timer_get(1000), 0.5f);
  // Bezier of 0, 3 (the tangent from the key), 10, 10 at a quarter of the
  // span: 3 * 3 * 0.75^2 * 0.25 + 3 * 10 * 0.75 * 0.25^2 + 10 * 0.25^3.
  Fake_ns += 1000ull * 1000000;  // t = 1.0 + 0.5
  t.campath_evaluate();
  EXPECT_NEAR(t.position().x, 2.828125f, 1e-4);
  EXPECT_NEAR(t.position().y, 0.0f, 1e-6);
  // Half way the turn is half done (the keys are symmetric).
  Fake_ns += 500ull * 1000000;  // t = 2.0
  t.campath_evaluate();
  EXPECT_NEAR(t.position().x, 0.375f * 3 + 0.375f * 10 + 0.125f * 10, 1e-4);
  EXPECT_NEAR(yaw_of(t.orientation()), 45.0f, 0.5f);
  // Before its start and after its end: the first and the last pose.
  struct {
    float at, x, yaw;
  } ends[] = {{0.0f, 0.0f, 0.0f}, {0.99f, 0.0f, 0.0f}, {3.0f, 10.0f, 90.0f}, {7.5f, 10.0f, 90.0f}};
  for (auto e : ends) {
    t.evaluate_at(e.at);
    EXPECT_NEAR(t.position().x, e.x, 1e-5) << e.at;
    EXPECT_NEAR(yaw_of(t.orientation()), e.yaw, 0.05f) << e.at;
  }
}

// A track starting 0.4 s or more after the cutscene's offset is moved to
// start there, keys and all; one starting sooner keeps its times; a negative
// offset moves nothing.
TEST_F(CameraTracks, ALateTrackIsMovedToTheOffset) {
  struct {
    float offset, start, end;
    int first_tick;
  } cases[] = {{0.7f, 1.0f, 3.0f, 4800}, {0.5f, 0.5f, 2.5f, 2400}, {-1.0f, 1.0f, 3.0f, 4800}, {0.0f, 0.0f, 2.0f, 0}};
  for (auto c : cases) {
    campath_release_keys();
    CampathTrack t;
    ASSERT_TRUE(read_track(t, simple_track(), c.offset));
    EXPECT_NEAR(t.start, c.start, 1e-6) << c.offset;
    EXPECT_NEAR(t.end, c.end, 1e-6) << c.offset;
    EXPECT_EQ(t.track.positions[0].tick, c.first_tick) << c.offset;
    EXPECT_EQ(t.track.rotations[1].tick, c.first_tick + 9600) << c.offset;
  }
}

// The pools hold 250 keys of each kind for every track of a cutscene; a
// track that needs more, or whose bytes end early, is refused and takes no
// keys. Releasing the cutscene's data empties the pools.
TEST_F(CameraTracks, PoolsAreSharedAndAnOverflowIsRefused) {
  auto track_of = [](int positions, int rotations) {
    Bytes s;
    s.f(0).f(1).f(0).u16(static_cast<uint16_t>(positions));
    for (int i = 0; i < positions; i++) s.u32(static_cast<uint32_t>(i * 10)).v3(1, 2, 3).v3(0, 0, 0).v3(0, 0, 0);
    s.u16(static_cast<uint16_t>(rotations));
    for (int i = 0; i < rotations; i++) yaw_key(s, static_cast<uint32_t>(i * 10), 0);
    return s;
  };
  CampathTrack a, b, c, d;
  ASSERT_TRUE(read_track(a, track_of(200, 10), -1));
  EXPECT_FALSE(read_track(b, track_of(51, 1), -1));
  EXPECT_FALSE(read_track(b, track_of(1, 241), -1));
  EXPECT_EQ(campath_position_keys_used(), 200);
  EXPECT_EQ(campath_rotation_keys_used(), 10);
  ASSERT_TRUE(read_track(c, track_of(50, 240), -1));
  EXPECT_EQ(campath_position_keys_used(), 250);
  EXPECT_EQ(campath_rotation_keys_used(), 250);
  // The first track's keys are its own still.
  EXPECT_FLOAT_EQ(a.track.positions[199].value.y, 2.0f);
  EXPECT_EQ(a.track.positions[199].tick, 1990);
  campath_release_keys();
  Bytes cut = track_of(3, 3);
  cut.b.resize(cut.b.size() - 5);
  EXPECT_FALSE(read_track(d, cut, -1));
  EXPECT_EQ(campath_position_keys_used(), 0);
  EXPECT_EQ(campath_rotation_keys_used(), 0);
}

// Eased weights of the blend (acceleration and deceleration 0.25), computed
// from the rule: k = 1 / 1.5; below 0.25 k / 0.25 w^2, to 0.75 k (2w - 0.25),
// above 1 - k / 0.25 (1 - w)^2.
TEST_F(CameraTracks, BlendEasesToTheFixedViewAndBack) {
  const float k = 1.0f / 1.5f;
  struct {
    float w, eased;
  } ease[] = {{0.0f, 0.0f}, {0.1f, k / 0.25f * 0.01f}, {0.5f, k * 0.75f}, {0.9f, 1.0f - k / 0.25f * 0.01f}, {1.0f, 1.0f}};
  for (auto e : ease) EXPECT_NEAR(camera_blend_ease(e.w), e.eased, 1e-6) << e.w;

  const float pi = 3.14159265f;
  const vector from_pos{0, 0, 0}, to_pos{10, 20, 30};
  const matrix from_m = matrix::from_angles(0, 0, 170 * pi / 180), to_m = matrix::from_angles(0, 0, -170 * pi / 180);
  CameraBlend blend(1.0f, 1.0f, 2.0f, to_pos, to_m);  // hold 1, in 1, out 2
  EXPECT_EQ(blend.campath_get_type(), CAMPATH_BLEND);
  struct {
    float step, weight;
  } steps[] = {{0.5f, k * 0.75f}, {1.0f, 1.0f}, {0.5f, 1.0f}, {1.0f, k * 0.75f}, {5.0f, 0.0f}};
  float elapsed = 0;
  for (auto s : steps) {
    elapsed += s.step;
    blend.camera_blend_update(s.step, from_pos, from_m);
    SCOPED_TRACE(elapsed);
    EXPECT_NEAR(blend.weight(), s.weight, 1e-6);
    EXPECT_NEAR(blend.position().z, 30 * s.weight, 1e-4);
  }
  EXPECT_EQ(blend.time_left(), 0.0f);
  // Half way between headings of 170 and -170 degrees lies 180, the short
  // way round, not 0.
  CameraBlend half(0.0f, 2.0f, 2.0f, to_pos, to_m);
  half.camera_blend_update(1.0f, from_pos, from_m);  // w = 0.5, eased 0.5
  ASSERT_NEAR(half.weight(), 0.5f, 1e-6);
  const matrix want = matrix::from_angles(0, 0, pi);
  const float* got = reinterpret_cast<const float*>(&half.orientation());
  const float* exp = reinterpret_cast<const float*>(&want);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(got[i], exp[i], 1e-4) << i;
}

// What the game camera asks of a playing track: the pose at the cutscene's
// clock whatever the frame time, the time left (0 at and after the end), and
// the field of view, which the camera divides by pi into degrees.
TEST_F(CameraTracks, TheCameraAdvancesATrackAndAsksItsTimeLeftAndFieldOfView) {
  CampathTrack t;
  ASSERT_TRUE(read_track(t, simple_track(), -1.0f));
  Fake_ns = 0;
  timer_set_source(fake_counter, fake_sleep);
  timer_init();
  campath_clock_start(timer_get(1000), 0.0f);
  Fake_ns += 2000ull * 1000000;  // t = 2.0, half way
  campath_advance(t, 0.016f);
  EXPECT_NEAR(t.position().x, 0.375f * 3 + 0.375f * 10 + 0.125f * 10, 1e-4);
  EXPECT_NEAR(campath_time_left(t), 1.0f, 1e-3);
  Fake_ns += 1500ull * 1000000;  // past the end
  EXPECT_FLOAT_EQ(campath_time_left(t), 0.0f);
  // 0.59 read, stored as 1.0 (radians): 180 / pi degrees once the camera divides.
  EXPECT_NEAR(campath_field_of_view(t) / 3.14159265f, 57.29578f, 1e-3);
}

}  // namespace

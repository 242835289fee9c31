// Animations: .mvf files of every version read into the key values their
// writer put in, and the key tracks evaluate between keys as the curves say.
#include "quarn/ca/skeleton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "quarn/vfile/readstream.h"
#include "tests/quarn/ca/ca_test_util.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/mvf_writer.h"

namespace {

// Angle about +y of a rotation that turns only about y.
float y_degrees(const quaternion& q) { return 2.0f * std::atan2(q.y, q.w) * 180.0f / kPi; }

// Two bones. Bone 0 turns 0 -> 90 -> 180 degrees about y over ticks 0,
// 1600, 3200 and moves along a Bézier; bone 1 holds one key.
MvfWriterAnim walk_anim(int version) {
  MvfWriterAnim a;
  a.version = version;
  a.first_tick = 0;
  a.last_tick = 3200;
  a.root_displacement = {2, 5, 0.00001f};
  MvfWriterBone b0;
  b0.weight = 10;
  for (int i = 0; i < 3; ++i) {
    MvfWriterRotationKey k;
    k.tick = 1600 * i;
    k.q = about_y(90.0f * i);
    b0.rotations.push_back(k);
  }
  MvfWriterPositionKey p0, p1;
  p0.tick = 0;
  p0.value = {0, 0, 0};
  p0.out_control = {1, 2, 0};
  p1.tick = 3200;
  p1.value = {4, 0, 0};
  p1.in_control = {3, 2, 0};
  b0.positions = {p0, p1};
  MvfWriterBone b1;
  b1.weight = 4;
  MvfWriterRotationKey only;
  only.tick = 800;
  only.q = about_y(-30.0f);
  b1.rotations = {only};
  MvfWriterPositionKey hold;
  hold.tick = 800;
  hold.value = {0, 1, 0};
  b1.positions = {hold};
  a.bones = {b0, b1};
  a.fade_in_frames = 3;
  a.fade_out_frames = 4;
  a.sounds = {{"left-foot", 800}, {"", 0}, {"right-foot", 2400}};
  return a;
}

bool read(skeleton& sk, const std::vector<uint8_t>& bytes) {
  ReadStream s;
  s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  return sk.read_mvf(s, "test.mvf", 0);
}

class Skeletons : public ::testing::Test {
 protected:
  void SetUp() override { skeleton_counters_reset(); }
  void TearDown() override { skeleton_counters_reset(); }
};

TEST_F(Skeletons, EveryVersionEvaluatesToTheWrittenKeys) {
  for (int version : {0, 1, 2, 4, 5, 7, 8}) {
    SCOPED_TRACE(version);
    skeleton sk("walk.mvf", "walk", 1, 0, 1);
    ASSERT_TRUE(read(sk, mvf_build(walk_anim(version))));
    EXPECT_EQ(sk.version, version);
    ASSERT_EQ(sk.bone_count, 2);
    EXPECT_EQ(sk.bone_weights[1], 4);
    EXPECT_EQ(sk.rotation_key_total, 4);
    EXPECT_EQ(sk.position_key_total, 3);
    const BoneTrack& t = sk.bone_tracks[0];
    // At the keys.
    EXPECT_NEAR(y_degrees(bone_track_rotation(t, 0, 0)), 0.0f, 0.01f);
    EXPECT_NEAR(y_degrees(bone_track_rotation(t, 1600, 0)), 90.0f, 0.01f);
    EXPECT_NEAR(y_degrees(bone_track_rotation(t, 5000, 0)), 180.0f, 0.01f);
    EXPECT_EQ(bone_track_evaluate(t, -50), vector(0, 0, 0));
    EXPECT_EQ(bone_track_evaluate(t, 3200), vector(4, 0, 0));
    // Between keys: slerp halfway is 45 degrees; the Bézier halfway point is
    // (P0 + 3 P1 + 3 P2 + P3) / 8.
    EXPECT_NEAR(y_degrees(bone_track_rotation(t, 800, 0)), 45.0f, 0.02f);
    EXPECT_NEAR(y_degrees(bone_track_rotation(t, 2000, 0)), 112.5f, 0.02f);
    const vector mid = bone_track_evaluate(t, 1600);
    EXPECT_NEAR(mid.x, (0 + 3 * 1 + 3 * 3 + 4) / 8.0f, 1e-5f);
    EXPECT_NEAR(mid.y, (3 * 2 + 3 * 2) / 8.0f, 1e-5f);
    // s = 0.25: (1-s)^3 P0 + 3 s (1-s)^2 P1 + 3 s^2 (1-s) P2 + s^3 P3.
    const vector q = bone_track_evaluate(t, 800);
    EXPECT_NEAR(q.x, 3 * 0.25f * 0.5625f * 1 + 3 * 0.0625f * 0.75f * 3 + 0.015625f * 4, 1e-5f);
    // A track of one key answers it everywhere.
    const BoneTrack& one = sk.bone_tracks[1];
    for (int tick : {-1000, 800, 90000}) {
      EXPECT_NEAR(y_degrees(bone_track_rotation(one, tick, 0)), -30.0f, 0.01f);
      EXPECT_EQ(bone_track_evaluate(one, tick), vector(0, 1, 0));
    }
    // Trailer.
    EXPECT_EQ(sk.fade_in, 480);
    EXPECT_EQ(sk.fade_out, 640);
    ASSERT_NE(sk.sound_events[0].name, nullptr);
    EXPECT_STREQ(sk.sound_events[0].name, "left-foot");
    EXPECT_EQ(sk.sound_events[0].tick, 800);
    EXPECT_EQ(sk.sound_events[1].name, nullptr);
    EXPECT_STREQ(sk.sound_events[2].name, "right-foot");
    EXPECT_EQ(sk.sound_events[4].name, nullptr);
    // Root motion: y dropped, tiny x/z flushed to 0.
    EXPECT_EQ(sk.root_displacement, vector(2, 0, 0));
  }
}

// A pose keeps, per track, where it found its keys last time and starts the
// next search there. Whatever that hint holds (fresh, stale, out of range),
// the answer is the one the search from scratch gives, and the hint is left
// on the key after the tick.
TEST_F(Skeletons, KeySearchHintsNeverChangeTheAnswer) {
  MvfWriterAnim a;
  a.last_tick = 4800;
  MvfWriterBone bone;
  const int rot_ticks[] = {0, 600, 600, 1500, 2400, 4000, 4800};  // one tick keyed twice
  for (int i = 0; i < 7; ++i) {
    MvfWriterRotationKey k;
    k.tick = rot_ticks[i];
    k.q = about_y(37.0f * i - 80.0f);
    k.ease_to = i == 3 ? 40 : 0;
    bone.rotations.push_back(k);
  }
  for (int i = 0; i < 4; ++i) {
    MvfWriterPositionKey p;
    p.tick = 1600 * i;
    p.value = {static_cast<float>(i), 0.5f * i * i, -1.0f * i};
    p.in_control = {i - 0.3f, 0, 0};
    p.out_control = {i + 0.3f, 1, 0};
    bone.positions.push_back(p);
  }
  a.bones = {bone};
  skeleton sk("hints.mvf", "hints", 1, 0, 0);
  ASSERT_TRUE(read(sk, mvf_build(a)));
  const BoneTrack& t = sk.bone_tracks[0];
  // Every key's tick and its neighbours, and ticks in between.
  std::vector<int> ticks;
  for (int k : {0, 600, 1500, 1600, 2400, 3200, 4000, 4800}) {
    for (int d = -1; d <= 1; ++d) ticks.push_back(k + d);
  }
  for (int tick = -100; tick <= 4900; tick += 37) ticks.push_back(tick);
  for (int32_t start : {0, -3, 1, 2, 3, 4, 5, 6, 7, 1000000}) {
    for (int tick : ticks) {
      int32_t rh = start, ph = start;
      const quaternion q = bone_track_rotation(t, tick, 0, &rh);
      const quaternion want_q = bone_track_rotation(t, tick, 0);
      EXPECT_EQ(std::memcmp(&q, &want_q, sizeof q), 0) << "hint " << start << " tick " << tick;
      const vector p = bone_track_evaluate(t, tick, &ph);
      const vector want_p = bone_track_evaluate(t, tick);
      EXPECT_EQ(std::memcmp(&p, &want_p, sizeof p), 0) << "hint " << start << " tick " << tick;
      if (tick > 0 && tick < 4800) {
        ASSERT_GE(rh, 1);
        ASSERT_LT(rh, 7);
        EXPECT_LE(t.rotations[rh - 1].tick, tick);
        EXPECT_GT(t.rotations[rh].tick, tick);
        EXPECT_GT(t.positions[ph].tick, tick);
      }
    }
  }
  // Frame after frame with one hint kept, as a pose does.
  int32_t rh = 0;
  for (int tick = 0; tick <= 4800; tick += 160) {
    const quaternion q = bone_track_rotation(t, tick, 0, &rh);
    const quaternion want_q = bone_track_rotation(t, tick, 0);
    EXPECT_EQ(std::memcmp(&q, &want_q, sizeof q), 0) << "tick " << tick;
  }
}

TEST_F(Skeletons, VersionZeroFilesStartWithTheFirstTickAndMayEndWithoutTrailer) {
  MvfWriterAnim a = walk_anim(0);
  a.first_tick = 320;
  a.last_tick = 3520;
  a.trailer = false;
  skeleton sk("old.mvf", "old", 0, 0, 0);
  ASSERT_TRUE(read(sk, mvf_build(a)));
  EXPECT_EQ(sk.version, 0);
  EXPECT_EQ(sk.first_tick, 320);
  EXPECT_EQ(sk.last_tick, 3520);
  EXPECT_EQ(sk.fade_in, 640);
  EXPECT_EQ(sk.fade_out, 640);
  for (const SoundEvent& ev : sk.sound_events) {
    EXPECT_EQ(ev.name, nullptr);
    EXPECT_EQ(ev.tick, 320);
  }
}

TEST_F(Skeletons, EaseShapesTheRotationParameter) {
  struct Case {
    float s, a, b, expect;
  };
  // A = 0.5, B = 0.5: c = 1; c/A s^2 while accelerating, then c (2s - A),
  // then 1 - c/B (1-s)^2. A + B > 1 is scaled back to 1.
  const Case cases[] = {
      {0.25f, 0, 0, 0.25f},    {0.25f, 0.5f, 0.5f, 0.125f}, {0.75f, 0.5f, 0.5f, 0.875f},
      {0.5f, 0.5f, 0.5f, 0.5f}, {0.5f, 0.2f, 0.2f, 0.5f},    {0.1f, 0.2f, 0.2f, 0.1f / 1.6f * 0.1f / 0.2f},
      {0.5f, 1.0f, 1.0f, 0.5f}, {0.0f, 0.5f, 0.5f, 0.0f},    {1.0f, 0.5f, 0.5f, 1.0f},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(bone_track_ease(c.s, c.a, c.b), c.expect, 1e-6f) << c.s << " " << c.a << " " << c.b;
  }
  // Through a track: ease-from 1 on the first key, s = 0.5 -> e = 0.25.
  MvfWriterAnim a = walk_anim(8);
  a.bones[0].rotations[0].ease_from = 1.0f;
  skeleton sk("e.mvf", "e", 1, 0, 0);
  ASSERT_TRUE(read(sk, mvf_build(a)));
  EXPECT_NEAR(y_degrees(bone_track_rotation(sk.bone_tracks[0], 800, 0)), 22.5f, 0.02f);
}

TEST_F(Skeletons, OldFilesGetKochanekBartelsControls) {
  // Uneven spacing and turns about two axes so the controls are not trivial.
  MvfWriterAnim a = walk_anim(0);
  auto& rot = a.bones[0].rotations;
  rot[1].tick = 1000;
  rot[1].q = {0.2f, 0.6f, 0.1f, 0.7f};
  float l = std::sqrt(0.04f + 0.36f + 0.01f + 0.49f);
  for (float& c : rot[1].q) c /= l;
  skeleton sk("kb.mvf", "kb", 1, 0, 0);
  ASSERT_TRUE(read(sk, mvf_build(a)));
  const BoneTrack& t = sk.bone_tracks[0];
  ASSERT_NE(t.control_a, nullptr);
  ASSERT_NE(t.control_b, nullptr);
  // With tension, continuity and bias 0, control a of the middle key is
  // q exp(((gP/h) d_in - (2 - gN/h) d_out) / 4 ...): computed here in plain
  // float arithmetic from its definition.
  quaternion qp, q, qn;
  sk.bone_tracks[0].rotations[0].q.to_quaternion(qp);
  sk.bone_tracks[0].rotations[1].q.to_quaternion(q);
  sk.bone_tracks[0].rotations[2].q.to_quaternion(qn);
  quaternion inv_p, inv_q, m1, m2, d_in, d_out;
  qp.conjugated(inv_p);
  q.conjugated(inv_q);
  inv_p.multiply(m1, q);
  inv_q.multiply(m2, qn);
  m1.log(d_in);
  m2.log(d_out);
  const float gp = 1000, gn = 2200, h = 0.5f * (gp + gn);
  const float fp = gp / h, fn = gn / h;
  quaternion ea{0.5f * (0.5f * fn * (d_in.x + d_out.x) - d_out.x), 0.5f * (0.5f * fn * (d_in.y + d_out.y) - d_out.y),
                0.5f * (0.5f * fn * (d_in.z + d_out.z) - d_out.z), 0};
  quaternion eb{0.5f * (d_in.x - 0.5f * fp * (d_in.x + d_out.x)), 0.5f * (d_in.y - 0.5f * fp * (d_in.y + d_out.y)),
                0.5f * (d_in.z - 0.5f * fp * (d_in.z + d_out.z)), 0};
  ea.exp_self();
  eb.exp_self();
  quaternion ca, cb, got_a, got_b;
  q.multiply(ca, ea);
  q.multiply(cb, eb);
  t.control_a[1].to_quaternion(got_a);
  t.control_b[1].to_quaternion(got_b);
  EXPECT_NEAR(got_a.x, ca.x, 2e-4f);
  EXPECT_NEAR(got_a.y, ca.y, 2e-4f);
  EXPECT_NEAR(got_a.w, ca.w, 2e-4f);
  EXPECT_NEAR(got_b.y, cb.y, 2e-4f);
  EXPECT_NEAR(got_b.z, cb.z, 2e-4f);
  // Squad passes through the keys.
  EXPECT_NEAR(bone_track_rotation(t, 1000, 1).y, q.y, 1e-4f);
}

TEST_F(Skeletons, SquadOnEvenTurnsAboutOneAxisIsTheSlerp) {
  skeleton sk("kb.mvf", "kb", 1, 0, 0);
  MvfWriterAnim a = walk_anim(0);
  a.bones[0].rotations.push_back({4800, about_y(270.0f)});
  ASSERT_TRUE(read(sk, mvf_build(a)));
  EXPECT_NEAR(y_degrees(bone_track_rotation(sk.bone_tracks[0], 2400, 1)), 135.0f, 0.05f);
}

TEST_F(Skeletons, MorphBlocks) {
  MvfWriterAnim a = walk_anim(7);
  a.morph = {{3, {{0, {1, 1, 1}}, {1, {2, 2, 2}}}}, {9, {{0, {0, 0, 0}}, {1, {5, 5, 5}}}}};
  skeleton sk7("m.mvf", "m", 0, 0, 0);
  ASSERT_TRUE(read(sk7, mvf_build(a)));
  ASSERT_EQ(sk7.morph_vertex_count, 2);
  EXPECT_EQ(sk7.morph_vertex_indices[1], 9);
  ASSERT_EQ(sk7.morph_tracks[1].key_count, 2);
  EXPECT_EQ(sk7.morph_tracks[1].keys[1].frame, 1);
  EXPECT_EQ(sk7.morph_tracks[1].keys[1].position, vector(5, 5, 5));
  EXPECT_EQ(sk7.morph_tracks[0].cursor, 1);

  a.version = 8;
  a.morph = {{-2, {{4, {1, 2, 3}}}}, {6, {{0, {0, 0, 0}}, {10, {1, 0, 0}}, {20, {2, 0, 0}}}}};
  skeleton sk8("m.mvf", "m", 0, 0, 0);
  ASSERT_TRUE(read(sk8, mvf_build(a)));
  EXPECT_EQ(sk8.morph_vertex_indices[0], -2);
  EXPECT_EQ(sk8.morph_tracks[0].key_count, 1);
  EXPECT_EQ(sk8.morph_tracks[0].keys[0].frame, 4);
  EXPECT_EQ(sk8.morph_tracks[1].key_count, 3);
  EXPECT_EQ(sk8.morph_tracks[1].keys[2].frame, 20);
}

TEST_F(Skeletons, KeyCountsBeyondSixteenBitsAreKept) {
  MvfWriterAnim a = walk_anim(8);
  auto& pos = a.bones[0].positions;
  pos.clear();
  for (int i = 0; i < 70000; ++i) {
    MvfWriterPositionKey k;
    k.tick = i;
    k.value = {static_cast<float>(i), 0, 0};
    k.in_control = k.out_control = k.value;
    pos.push_back(k);
  }
  skeleton sk("long.mvf", "long", 0, 0, 0);
  ASSERT_TRUE(read(sk, mvf_build(a)));
  EXPECT_EQ(sk.bone_tracks[0].position_count, 70000);
  EXPECT_EQ(bone_track_evaluate(sk.bone_tracks[0], 69999).x, 69999.0f);
  EXPECT_NEAR(bone_track_evaluate(sk.bone_tracks[0], 66000).x, 66000.0f, 1e-2f);
}

TEST_F(Skeletons, VelocityIsDisplacementPerSecond) {
  skeleton sk("v.mvf", "v", 1, 0, 0);
  MvfWriterAnim a = walk_anim(8);
  a.root_displacement = {3, 0, -6};
  ASSERT_TRUE(read(sk, mvf_build(a)));
  vector v;
  sk.get_velocity(&v);
  EXPECT_NEAR(v.x, 4.5f, 1e-5f);  // 3 over 3200 ticks = 2/3 s
  EXPECT_NEAR(v.z, -9.0f, 1e-5f);
  a.last_tick = 0;
  skeleton still("s.mvf", "s", 1, 0, 0);
  ASSERT_TRUE(read(still, mvf_build(a)));
  still.get_velocity(&v);
  EXPECT_EQ(v, vector(0, 0, 0));
}

TEST_F(Skeletons, DamagedFilesAreRefusedAndLeaveNothing) {
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> edit;
  };
  const std::vector<uint8_t> v8 = mvf_build(walk_anim(8));
  // Version 8 header: magic, version, first, last, 4 rotation, 3 root, bones,
  // rotation total (offset 48), position total (52).
  const Case cases[] = {
      {"rotation total too small", [](std::vector<uint8_t>& b) { b[48] = 2; }},
      {"position total too small", [](std::vector<uint8_t>& b) { b[52] = 1; }},
      {"totals larger than the bones", [](std::vector<uint8_t>& b) { b[52] = 9; }},
      {"negative bone count", [](std::vector<uint8_t>& b) { b[47] = 0x80; }},
      {"huge totals", [](std::vector<uint8_t>& b) { b[51] = 0x7f; }},
      {"last before first", [](std::vector<uint8_t>& b) { b[8] = 0x88; b[9] = 0x13; }},
      {"sound name without end", [](std::vector<uint8_t>& b) {
         const size_t trailer = b.size() - 8 - 5 * 259;
         std::fill(b.begin() + trailer + 8, b.begin() + trailer + 8 + 255, 'x');
       }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = v8;
    c.edit(bytes);
    skeleton sk("bad.mvf", "bad", 0, 0, 0);
    EXPECT_FALSE(read(sk, bytes)) << c.what;
    EXPECT_EQ(sk.bone_count, 0) << c.what;
    EXPECT_EQ(sk.bone_tracks, nullptr) << c.what;
  }
  // Keys out of tick order.
  MvfWriterAnim a = walk_anim(5);
  a.bones[0].rotations[2].tick = 100;
  skeleton unordered("u.mvf", "u", 0, 0, 0);
  EXPECT_FALSE(read(unordered, mvf_build(a)));
  // Every truncation inside the keys, for the versions with and without
  // totals. (A cut at the end of the keys is a file without trailer.)
  for (int version : {0, 2, 5, 8}) {
    const std::vector<uint8_t> good = mvf_build(walk_anim(version));
    const size_t keys_end = good.size() - 8 - 5 * 259 - (version >= 4 ? 8 : 0);
    for (size_t cut = 0; cut < good.size(); ++cut) {
      if (cut == keys_end) continue;
      skeleton sk("cut.mvf", "cut", 0, 0, 0);
      EXPECT_FALSE(read(sk, std::vector<uint8_t>(good.begin(), good.begin() + cut))) << version << " @" << cut;
    }
  }
  EXPECT_EQ(skeleton_counters().memory, 0);
}

TEST_F(Skeletons, CountersAndLimits) {
  const std::vector<uint8_t> bytes = mvf_build(walk_anim(8));
  {
    skeleton a("a.mvf", "a", 0, 0, 0);
    ASSERT_TRUE(read(a, bytes));
    EXPECT_EQ(skeleton_counters().count, 1);
    // 208 + 2 bones x 45 + 4 rotation keys x 20 + 3 position keys x 40.
    EXPECT_EQ(skeleton_counters().memory, 208 + 90 + 80 + 120);
    EXPECT_EQ(skeleton_counters().peak_memory, 498);
  }
  EXPECT_EQ(skeleton_counters().count, 0);
  EXPECT_EQ(skeleton_counters().memory, 0);
  EXPECT_EQ(skeleton_counters().peak_memory, 498);

  CriticalErrorTrap trap;
  skeleton_set_limits(1, -1);
  skeleton first("a.mvf", "a", 0, 0, 0);
  EXPECT_THROW(skeleton("b.mvf", "b", 0, 0, 0), CriticalErrorThrown);
  skeleton_set_limits(-1, 400);
  skeleton big("c.mvf", "c", 0, 0, 0);
  try {
    read(big, bytes);
    ADD_FAILURE() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Skeletons using too much memory");
  }
}

}  // namespace

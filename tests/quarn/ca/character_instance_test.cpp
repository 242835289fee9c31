// Character instances: clocks, phase, rate slots, fades, blending, root
// motion, turns and sound events, checked against numbers worked out here
// from the rules (not read back from the code).
#include "quarn/ca/character_instance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ca_test_util.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/mvf_writer.h"

namespace {

// Heading of an orientation that turns only about y, in degrees, signed so
// that the rotation about_y(a) reads as a.
float y_degrees(const matrix& m) {
  static const float sign = [] {
    matrix ref;
    const auto q = about_y(90);
    quaternion(q[0], q[1], q[2], q[3]).to_matrix(ref);
    return ref.forward.x > 0 ? 1.0f : -1.0f;
  }();
  return sign * std::atan2(m.forward.x, m.forward.z) * 180.0f / kPi;
}

// An animation over `span` ticks for `bones` bones that holds bone 1 at
// `angle` degrees about y; fades in frames; optional moving root.
MvfWriterAnim held(int bones, int span, float angle, int fade_frames = 0, std::array<float, 3> bone1_pos = {0, 0, 0}) {
  MvfWriterAnim a;
  a.last_tick = span;
  a.fade_in_frames = a.fade_out_frames = fade_frames;
  for (int b = 0; b < bones; ++b) {
    MvfWriterBone bone;
    MvfWriterRotationKey r;
    r.q = b == 1 ? about_y(angle) : about_y(0);
    bone.rotations = {r};
    MvfWriterPositionKey p;
    if (b == 1) p.value = bone1_pos;
    bone.positions = {p};
    a.bones.push_back(bone);
  }
  return a;
}

// A root that moves in a straight line from `from` to `to` over the span
// and turns about y by `turn` degrees.
MvfWriterAnim moving_root(int span, std::array<float, 3> to, float turn, std::array<float, 3> displacement) {
  MvfWriterAnim a = held(3, span, 0);
  a.root_displacement = displacement;
  MvfWriterPositionKey p0, p1;
  p1.tick = span;
  p1.value = to;
  for (int k = 0; k < 3; ++k) {
    p0.out_control[k] = to[k] / 3;
    p1.in_control[k] = 2 * to[k] / 3;
  }
  a.bones[0].positions = {p0, p1};
  MvfWriterRotationKey r0, r1;
  r1.tick = span;
  r1.q = about_y(turn);
  a.bones[0].rotations = {r0, r1};
  return a;
}

class Instances : public CaRootTest {
 protected:
  void SetUp() override {
    CaRootTest::SetUp();
    character_instance_system_init(-1);
    ASSERT_TRUE(vim_write_file(path("body.vim"), small_mesh()));
    const char* names[] = {"body"};
    bc_ = base_character_load(names, 1, nullptr, nullptr);
    ASSERT_NE(bc_, nullptr);
    High_lod = false;
  }
  void TearDown() override {
    High_lod = false;
    character_instance_system_shutdown();
    CaRootTest::TearDown();
  }
  int add(const std::string& name, const MvfWriterAnim& a, int kind, int root_tracking = 0) {
    EXPECT_TRUE(mvf_write_file(path(name + ".mvf"), a));
    return base_character_add_skeleton(bc_, (name + ".mvf").c_str(), name.c_str(), kind, 0, 0, root_tracking);
  }
  // A figure character (hero.vim) with animations written as
  // hero_<name>.mvf, each of the given kind; their slots, in order.
  BaseCharacter* figure_character(const FigureSpec& spec, const std::vector<std::pair<std::string, MvfWriterAnim>>& anims,
                                  const std::vector<int>& kinds, std::vector<int>* slots) {
    EXPECT_TRUE(vim_write_file(path("hero.vim"), figure_mesh(spec, 0)));
    const char* names[] = {"hero"};
    BaseCharacter* hero = base_character_load(names, 1, nullptr, nullptr);
    EXPECT_NE(hero, nullptr);
    for (size_t i = 0; hero && i < anims.size(); ++i) {
      const std::string file = "hero_" + anims[i].first + ".mvf";
      EXPECT_TRUE(mvf_write_file(path(file), anims[i].second));
      slots->push_back(base_character_add_skeleton(hero, file.c_str(), anims[i].first.c_str(), kinds[i], 0, 0, 0));
      EXPECT_GE(slots->back(), 0);
    }
    return hero;
  }
  float bone_heading(character_instance& ci, int bone) {
    transform t;
    ci.get_bone_transform(&t, bone);
    return y_degrees(t.orient);
  }
  BaseCharacter* bc_ = nullptr;
};

TEST_F(Instances, CyclesShareOnePhase) {
  const int a = add("a", held(3, 3200, 0), 1);
  const int b = add("b", held(3, 4800, 0), 1);
  const int s = add("s", held(3, 800, 0), 1);
  character_instance ci(bc_);
  ci.set_anim_weight(a, 1.0f);
  ci.set_anim_weight(b, 1.0f);
  ci.process(0.1f, 0, 0);  // 480 ticks
  // Phase rate is the mean of 1/3200 and 1/4800 per tick: 480 * 5/19200.
  EXPECT_NEAR(ci.phase, 0.125f, 1e-6f);
  EXPECT_EQ(ci.ticks[a], 400);
  EXPECT_EQ(ci.ticks[b], 600);
  EXPECT_EQ(ci.cycle_anim, b);
  // A cycle shorter than 1440 ticks runs at the rate of a 4800-tick one.
  character_instance short_one(bc_);
  short_one.set_anim_weight(s, 1.0f);
  short_one.process(0.1f, 0, 0);
  EXPECT_NEAR(short_one.phase, 0.1f, 1e-6f);
  EXPECT_EQ(short_one.ticks[s], 80);
  // Phase exchange.
  float word = 0;
  ci.exchange_anim_state(&word, 0);
  EXPECT_EQ(word, ci.phase);
  word = 0.5f;
  ci.exchange_anim_state(&word, 1);
  EXPECT_EQ(ci.phase, 0.5f);
}

TEST_F(Instances, SoundEventsFireOncePerPass) {
  MvfWriterAnim walk = held(3, 3200, 0);
  walk.sounds = {{"left-foot", 810}, {"right-foot", 100}};
  const int w = add("walk", walk, 1);
  character_instance ci(bc_);
  EXPECT_FALSE(ci.event_fired("left-foot"));  // no dominant cycle yet
  ci.set_anim_weight(w, 1.0f);
  // Each 0.1 s frame moves the phase by 480/3200 = 0.15; the clock is
  // 3200 * frac(0.15 k). An event fires in the frame whose step passes it,
  // the wrapping step included.
  std::vector<int> left, right, expect_left, expect_right;
  double prev_clock = 0;
  for (int k = 1; k <= 20; ++k) {
    ci.process(0.1f, 0, 0);
    if (ci.event_fired("left-foot")) left.push_back(k);
    if (ci.event_fired("right-foot")) right.push_back(k);
    EXPECT_FALSE(ci.event_fired("left-foot"));  // once
    const double f = 0.15 * k - std::floor(0.15 * k + 1e-9);
    const double clock = std::floor(3200 * f + 1e-6);
    const bool wrapped = clock < prev_clock;
    auto passes = [&](double t) { return wrapped ? (t > prev_clock || t < clock) : (prev_clock < t && t <= clock); };
    if (passes(810)) expect_left.push_back(k);
    if (passes(100)) expect_right.push_back(k);
    // The phase is kept in single precision: within a tick, round the cycle.
    const double d = std::fabs(ci.ticks[w] - clock);
    EXPECT_LE(std::min(d, 3200 - d), 1.0) << k;
    prev_clock = clock;
  }
  EXPECT_EQ(left, expect_left);
  EXPECT_EQ(right, expect_right);
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(right.size(), 3u);
}

TEST_F(Instances, ActionsRunAtTheirRateSlots) {
  const int act = add("act", held(3, 1600, 0), 0);
  const int other = add("other", held(3, 1600, 0), 0);
  character_instance ci(bc_);
  ci.start_anim(act, 1.0f, 0, 2.0f);
  int held_slots = 0, free_slots = 0;
  for (const AnimRateSlot& r : ci.rate_slots) {
    held_slots += r.anim == act;
    free_slots += r.anim == -1;
  }
  EXPECT_EQ(held_slots, 1);  // one slot, not every free one
  EXPECT_EQ(free_slots, 4);
  ci.process(0.1f, 0, 0);
  EXPECT_EQ(ci.ticks[act], 960);
  ci.set_anim_rate(act, 0.5f);
  ci.process(0.1f, 0, 0);
  EXPECT_EQ(ci.ticks[act], 1200);
  ci.start_anim(other, 1.0f, 0, 3.0f);  // a free slot is still there
  ci.process(0.1f, 0, 0);
  EXPECT_EQ(ci.ticks[other], 1440);
  EXPECT_EQ(ci.ticks[act], 1440);
  EXPECT_NEAR(ci.get_anim_time_left(act), 160.0f / 4800.0f, 1e-6f);
  EXPECT_NEAR(ci.get_anim_frame(act), 9.0f, 1e-6f);
  EXPECT_NEAR(ci.get_anim_length(act), 1600.0f / 4800.0f, 1e-6f);
  ci.process(0.1f, 0, 0);
  // Both ended: weights cleared, clocks at their last tick, slots freed.
  EXPECT_EQ(ci.weights[act], 0.0f);
  EXPECT_EQ(ci.ticks[other], 1600);
  for (const AnimRateSlot& r : ci.rate_slots) EXPECT_EQ(r.anim, -1);
  EXPECT_EQ(ci.get_anim_time_left(act), 0.0f);
  ci.set_anim_rate(act, 4.0f);  // no time left: nothing
  for (const AnimRateSlot& r : ci.rate_slots) EXPECT_EQ(r.anim, -1);

  // The current action holds its last frame and keeps its weight.
  ci.start_anim(act, 0.7f, 1, 1.0f);
  for (int i = 0; i < 5; ++i) ci.process(0.1f, 0, 0);
  EXPECT_EQ(ci.current_action, act);
  EXPECT_EQ(ci.ticks[act], 1600);
  EXPECT_EQ(ci.weights[act], 0.7f);
  ci.stop_base_anims();
  EXPECT_EQ(ci.weights[act], 0.0f);
  EXPECT_EQ(ci.current_action, -1);
  EXPECT_EQ(ci.root_anim, -1);
}

TEST_F(Instances, ActionsFadeInOverTheCycles) {
  // Cycle holds bone 1 at 0 degrees, the action at 90; fades of 2 frames
  // (320 ticks) over a 1600-tick action. Off the root bone, every weight is
  // scaled by (10 - fade(root action)) / 10; the cycle's by its bone weight
  // 10, the action's replaced by its fade.
  const int cyc = add("cyc", held(3, 3200, 0), 1);
  const int act = add("act", held(3, 1600, 90, 2), 0);
  struct Case {
    int clock;
    float expect;  // degrees
  };
  // fade at 160: 5 -> cycle 0.5*10 = 5, action 5: halfway, 45 degrees.
  // fade at 800: 10 -> cycle 0, action 10: 90. At 1440: 5 again.
  // At 80: fade 2.5 -> cycle 7.5, action 2.5: 22.5 degrees.
  const Case cases[] = {{160, 45.0f}, {800, 90.0f}, {1440, 45.0f}, {80, 22.5f}};
  for (const Case& c : cases) {
    character_instance ci(bc_);
    ci.set_anim_weight(cyc, 1.0f);
    ci.start_anim(act, 1.0f, 0, 1.0f);
    ci.increment_tick(c.clock);
    ci.process(0.0f, 0, 0);  // a fresh frame for the cache
    ASSERT_EQ(ci.ticks[act], c.clock);
    EXPECT_NEAR(bone_heading(ci, 1), c.expect, 0.05f) << c.clock;
  }
  // As the current action it counts in full from its first tick.
  character_instance ci(bc_);
  ci.set_anim_weight(cyc, 1.0f);
  ci.start_anim(act, 1.0f, 1, 1.0f);
  ci.increment_tick(160);
  ci.process(0.0f, 0, 0);
  // Cycle 0.5 * 10 = 5 against the action's 10: a third of the way.
  EXPECT_NEAR(bone_heading(ci, 1), 60.0f, 0.05f);
}

TEST_F(Instances, UpToEightAnimationsBlend) {
  // Cycles about one axis: the running slerp gives the weighted mean angle.
  const float angles[] = {10, 30, 50, 20, 80, 40, 60, 70, 170};
  int slots[9];
  for (int i = 0; i < 9; ++i) slots[i] = add("c" + std::to_string(i), held(3, 3200, angles[i], 0, {0, static_cast<float>(i), 0}), 1);
  for (int n : {1, 2, 3, 5, 8, 9}) {
    character_instance ci(bc_);
    for (int i = 0; i < n; ++i) ci.set_anim_weight(slots[i], i == 1 ? 3.0f : 1.0f);
    ci.process(0.0f, 0, 0);
    const int used = std::min(n, 8);
    float wsum = 0, angle = 0, y = 0;
    for (int i = 0; i < used; ++i) {
      const float w = i == 1 ? 3.0f : 1.0f;
      wsum += w;
      angle += w * angles[i];
      y += w * static_cast<float>(i);
    }
    transform t, parent;
    ci.get_bone_transform(&t, 1);
    ci.get_bone_transform(&parent, 0);
    EXPECT_NEAR(y_degrees(t.orient), angle / wsum, 0.05f) << n;
    EXPECT_NEAR(t.pos.y - parent.pos.y, y / wsum, 1e-4f) << n;
  }
}

TEST_F(Instances, RootMotionIsVerticalInTheBoneAndHorizontalAsMotion) {
  // Root goes from (0,0,0) to (1.6, 0.5, -0.8) in a straight line over 1600
  // ticks; the file's displacement is (1.6, 0, -0.8), 4.8 and -2.4 per second.
  const int walk = add("walk", moving_root(1600, {1.6f, 0.5f, -0.8f}, 0, {1.6f, 0, -0.8f}), 0, 1);
  character_instance ci(bc_);
  vector step;
  ci.get_motion_step(&step, 0.1f);
  EXPECT_EQ(step, vector(0, 0, 0));  // not started
  ci.start_anim(walk, 1.0f, 1, 1.0f);
  ci.process(0.1f, 0, 0);  // the root is sampled at clock 0, then 480
  ci.process(0.1f, 0, 0);  // sampled at 480: 0.3 of the way
  transform root;
  ci.get_bone_transform(&root, 0);
  EXPECT_NEAR(root.pos.y, 0.15f, 1e-5f);
  EXPECT_NEAR(root.pos.x, 0.0f, 1e-6f);
  EXPECT_NEAR(root.pos.z, 0.0f, 1e-6f);
  EXPECT_NEAR(ci.current_root.x, 0.48f, 1e-5f);
  EXPECT_EQ(ci.current_root.y, 0.0f);
  ci.blend_anim_motion();
  // Fades are 0 frames: the action counts in full and the root factor is 0.
  EXPECT_NEAR(ci.blended_motion.x, 4.8f, 1e-4f);
  EXPECT_NEAR(ci.blended_motion.z, -2.4f, 1e-4f);
  ci.get_motion_step(&step, 0.1f);
  EXPECT_NEAR(step.x, 0.48f + 0.48f, 1e-4f);
  EXPECT_NEAR(step.z, -0.24f - 0.24f, 1e-4f);
  EXPECT_EQ(step.y, 0.0f);
  // An offset handed in lifts the root at its next evaluation.
  ci.set_root_offset({0, 2, 0});
  ci.process(0.1f, 0, 0);
  ci.get_bone_transform(&root, 0);
  EXPECT_NEAR(root.pos.y, 2.0f + 0.3f, 1e-5f);
  // The cycle velocity sums weighted kind-1 velocities only.
  vector v;
  ci.get_anim_velocity(&v);
  EXPECT_EQ(v, vector(0, 0, 0));
}

TEST_F(Instances, TurnOfAFinishedRootTrackingActionIsHandedOutOnce) {
  const int turn = add("turn", moving_root(1600, {0, 0, 0}, 90, {0, 0, 0}), 0, 1);
  character_instance ci(bc_);
  ci.start_anim(turn, 1.0f, 0, 1.0f);
  for (int i = 0; i < 4; ++i) ci.process(0.1f, 0, 0);
  // Root sampled at 0, 480, 960, 1440; the action ends in the fourth step,
  // having last turned 1440/1600 of 90 degrees.
  const quaternion q = ci.get_turn();
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_NEAR(std::fabs(q.w), 81.0f * kPi / 180.0f, 1e-3f);
  EXPECT_EQ(ci.get_turn().w, 0.0f);
  EXPECT_EQ(ci.turn_start, CI_TURN_NOT_STARTED);
}

TEST_F(Instances, TagsBonePointsAndSkinning) {
  const int a = add("a", held(3, 1600, 0, 0, {0, 1, 0}), 1);  // bone 1 sits 1 above bone 0
  character_instance ci(bc_);
  ci.set_anim_weight(a, 1.0f);
  ci.process(0.0f, 0, 0);
  // Bone tag 0 hangs 0.25 along x off bone 2 (head).
  const int tag = ci.bone_count();
  matrix o;
  vector p;
  ci.get_tag_local(tag, &o, &p);
  EXPECT_NEAR(p.x, 0.25f, 1e-6f);
  EXPECT_NEAR(p.y, 1.0f, 1e-6f);
  vector head_pos;
  ci.get_bone_transform(&head_pos, nullptr, 2);
  EXPECT_NEAR(head_pos.y, 1.0f, 1e-6f);
  // In the world: a quarter turn of the object carries the tag's x offset
  // along the object's right axis.
  const matrix obj = matrix::from_axis_angle(vector(0, 1, 0), kPi / 2);
  ci.get_tag_transform(tag, obj, vector(10, 0, 0), &o, &p);
  EXPECT_NEAR(p.x, 10.0f + 0.25f * obj.right.x, 1e-5f);
  EXPECT_NEAR(p.z, 0.25f * obj.right.z, 1e-5f);
  EXPECT_NEAR(p.y, 1.0f, 1e-5f);
  // A tag index beyond the mesh answers the identity.
  testing::internal::CaptureStdout();
  transform t;
  ci.get_bone_transform(&t, tag + 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "CHAR INST : body\n");
  EXPECT_EQ(t.pos, vector(0, 0, 0));
  // Bone point of bone 1: its local point (0, 0.5, 0) through its transform.
  vector point;
  int32_t value = 0;
  ci.get_bone_point(&point, &value, 1);
  EXPECT_NEAR(point.y, 1.5f, 1e-6f);
  EXPECT_EQ(value, 7);
  ci.get_bone_point(&point, &value, 9);
  EXPECT_EQ(point, vector(0, 0, 0));
  // Skinning: the inverse rest (0, -1, 0) then the pose (0, 1, 0) cancel.
  ci.setup_matrices();
  EXPECT_NEAR(ci.skin[1].pos.y, 0.0f, 1e-6f);
  EXPECT_NEAR(ci.skin[2].pos.y, -1.0f, 1e-6f);
  vector c;
  float r;
  ci.get_bounds(&c, &r);
  EXPECT_EQ(r, 2.5f);
  EXPECT_EQ(c, vector(0.5f, 1.0f, 0.0f));
}

TEST_F(Instances, EmptyHolesAndMismatchedSkeletonsAreSafe) {
  {
    character_instance none(bc_);  // no animations yet
    EXPECT_EQ(none.ticks, nullptr);
    none.process(0.1f, 0, 2);
    transform t;
    none.get_bone_transform(&t, 2);
    EXPECT_EQ(t.pos, vector(0, 0, 0));
    EXPECT_NEAR(t.orient.up.y, 1.0f, 1e-6f);
    vector v;
    none.get_anim_velocity(&v);
    none.blend_anim_motion();
    none.get_motion_step(&v, 0.1f);
    EXPECT_EQ(none.get_anim_time_left(0), 0.0f);
    none.setup_matrices();
  }
  // A skeleton of 2 bones on a 3-bone mesh, one of 6 bones, and a hole.
  const int few = add("few", held(2, 3200, 30), 1);
  const int many = add("many", held(6, 3200, 60), 1);
  const int gone = add("gone", held(3, 3200, 0), 1);
  character_instance ci(bc_);
  ci.set_anim_weight(few, 1.0f);
  ci.set_anim_weight(many, 1.0f);
  ci.set_anim_weight(gone, 1.0f);
  base_character_remove_skeleton(bc_, gone);
  ci.process(0.1f, 0, 0);
  vector v;
  ci.get_anim_velocity(&v);  // the hole is skipped, not fatal
  ci.setup_matrices();
  // Bone 1: both drive it, 45 degrees; bone 2: only the 6-bone one (0).
  EXPECT_NEAR(bone_heading(ci, 1), 45.0f, 0.05f);
  EXPECT_EQ(ci.get_anim_time_left(gone), 0.0f);
  ci.start_anim(gone, 1.0f, 1, 2.0f);  // ignored
  EXPECT_EQ(ci.current_action, -1);

  // A copy poses on its own arrays.
  character_instance copy = ci;
  EXPECT_NE(copy.ticks, ci.ticks);
  copy.process(0.1f, 0, 0);
  EXPECT_NE(copy.ticks[few], ci.ticks[few]);
}

// Effects and weapons are held where the instance says a bone is, so that
// place must be where the drawn mesh shows it. A vertex bound wholly to a
// bone, skinned as the mesh drawer does (the bone's skin transform applied
// to the vertex's mesh position), must land on the bone's transform applied
// to the vertex's offset from the bone's rest joint; the joint itself lands
// on the bone's position. Checked for every bone of a walking, swinging
// figure over several frames.
TEST_F(Instances, BoneTransformsPlaceBonesWhereTheSkinDrawsThem) {
  FigureSpec spec;
  spec.name = "hero";
  spec.height = 1.2f;
  const VimWriterMesh mesh = figure_mesh(spec, 0);
  std::vector<int> slots;
  BaseCharacter* hero = figure_character(
      spec, {{"walk", figure_anim(spec, FigureMotion::walk, 5)}, {"attack", figure_anim(spec, FigureMotion::attack, 8)}},
      {1, 0}, &slots);
  ASSERT_NE(hero, nullptr);
  ASSERT_EQ(slots.size(), 2u);
  const int walk = slots[0], attack = slots[1];
  character_instance ci(hero);
  ci.set_anim_weight(walk, 1.0f);
  ci.start_anim(attack, 1.0f, 1, 1.0f);
  auto expect_near = [](const vector& got, const vector& want, const char* what, int bone, int frame) {
    EXPECT_NEAR(got.x, want.x, 1e-5f) << what << " bone " << bone << " frame " << frame;
    EXPECT_NEAR(got.y, want.y, 1e-5f) << what << " bone " << bone << " frame " << frame;
    EXPECT_NEAR(got.z, want.z, 1e-5f) << what << " bone " << bone << " frame " << frame;
  };
  int whole_vertices = 0;
  for (int frame = 0; frame < 10; ++frame) {
    ci.process(frame == 0 ? 0.0f : 1.0f / 30.0f, 0, 0);
    ci.setup_matrices();
    for (int b = 0; b < FIG_BONES; ++b) {
      const auto r = figure_rest(spec, b);
      const vector rest(r[0], r[1], r[2]);
      transform bone;
      ci.get_bone_transform(&bone, b);
      vector joint;
      ci.skin[b].apply(joint, rest);
      expect_near(joint, bone.pos, "joint", b, frame);
    }
    for (const VimWriterGroup& g : mesh.groups) {
      for (size_t i = 0; i < g.positions.size(); ++i) {
        if (g.skin[i][0] != 16) continue;
        const int b = g.skin[i][4];
        const auto r = figure_rest(spec, b);
        const vector p(g.positions[i][0], g.positions[i][1], g.positions[i][2]);
        vector drawn, held;
        ci.skin[b].apply(drawn, p);
        transform bone;
        ci.get_bone_transform(&bone, b);
        bone.apply(held, p - vector(r[0], r[1], r[2]));
        expect_near(drawn, held, "vertex", b, frame);
        ++whole_vertices;
      }
    }
  }
  EXPECT_GT(whole_vertices, 0);
  // The swing has moved the hand off its rest place by frame 9.
  transform hand;
  ci.get_bone_transform(&hand, FIG_R_HAND);
  const auto r = figure_rest(spec, FIG_R_HAND);
  EXPECT_GT((hand.pos - vector(r[0], r[1], r[2])).length(), 0.05f);
}

// The skinning poses every bone in one sweep; a single query poses a bone
// (and its parents) on demand. Both must give the same transforms, bit for
// bit, for bones blending one, two or more animations, with an action
// fading over cycles, frame after frame.
TEST_F(Instances, PosingEveryBoneAtOnceMatchesPosingEachOnDemand) {
  FigureSpec spec;
  spec.name = "hero";
  // A cycle that drives only the arms and one that drives only the legs, so
  // that bones blend one, two or three animations.
  MvfWriterAnim arms = figure_anim(spec, FigureMotion::run, 5);
  MvfWriterAnim legs = figure_anim(spec, FigureMotion::idle, 8);
  for (int b = 0; b < FIG_BONES; ++b) {
    const bool arm = b >= FIG_L_SHOULDER && b <= FIG_R_HAND;
    const bool leg = b >= FIG_L_THIGH;
    arms.bones[b].weight = arm ? 7 : 0;
    legs.bones[b].weight = leg ? 3 : 0;
  }
  std::vector<int> slots;
  BaseCharacter* hero = figure_character(spec,
                                         {{"walk", figure_anim(spec, FigureMotion::walk, 2)},
                                          {"arms", arms},
                                          {"legs", legs},
                                          {"attack", figure_anim(spec, FigureMotion::attack, 8)}},
                                         {1, 1, 1, 0}, &slots);
  ASSERT_NE(hero, nullptr);
  ASSERT_EQ(slots.size(), 4u);
  const int walk = slots[0], arms_anim = slots[1], legs_anim = slots[2], attack = slots[3];
  character_instance swept(hero);
  swept.set_anim_weight(walk, 0.8f);
  swept.set_anim_weight(arms_anim, 0.5f);
  swept.set_anim_weight(legs_anim, 0.3f);
  for (int frame = 0; frame < 40; ++frame) {
    if (frame == 5) swept.start_anim(attack, 1.0f, 0, 1.0f);  // fades in and out over the others
    character_instance queried = swept;
    swept.process(1.0f / 30.0f, 0, 0);
    queried.process(1.0f / 30.0f, 0, 0);
    swept.setup_matrices();
    // Children first, so that each query also poses its parents on demand.
    for (int b = FIG_BONES - 1; b >= 0; --b) {
      transform want, got;
      queried.get_bone_transform(&want, b);
      swept.get_bone_transform(&got, b);
      EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "bone " << b << " frame " << frame;
    }
    queried.setup_matrices();
    EXPECT_EQ(std::memcmp(swept.skin, queried.skin, sizeof(transform) * FIG_BONES), 0) << "frame " << frame;
  }
  EXPECT_EQ(swept.weights[attack], 0.0f);  // the action ran out and stopped
}

TEST_F(Instances, HighDetailSwitch) {
  add("a", held(3, 3200, 0), 1);
  character_instance ci(bc_);
  ci.process(0.1f, 0, 2);
  EXPECT_EQ(ci.level_of_detail, 2);
  High_lod = true;
  ci.process(0.1f, 1, 2);
  EXPECT_EQ(ci.level_of_detail, 0);
  EXPECT_EQ(ci.skip_matrices, 1);
  // The stamp runs 0..100 and round again.
  for (int i = 0; i < 200; ++i) ci.process(0.0f, 0, 0);
  EXPECT_GE(ci.frame_stamp, 0);
  EXPECT_LE(ci.frame_stamp, 100);
}

}  // namespace

// Decals on the level: where each instance's faces sit in the frame's face
// mask, and what happens to a level with more decal faces than it holds.
#include "Engine/rendering/decal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/os/timer.h"

namespace {

// A level of bare instances whose meshes have the given face counts; only
// what the mask reads is filled.
class DecalMaskTest : public ::testing::Test {
 protected:
  void build(const std::vector<std::pair<int, uint32_t>>& faces_and_flags) {
    saved_instances_ = Level.instances;
    saved_count_ = Level.instance_count;
    meshes_.assign(faces_and_flags.size(), LevelMesh{});
    instances_.assign(faces_and_flags.size(), LevelMeshInstance{});
    for (size_t i = 0; i < faces_and_flags.size(); i++) {
      meshes_[i].face_count = faces_and_flags[i].first;
      instances_[i].mesh = &meshes_[i];
      instances_[i].flags = faces_and_flags[i].second;
    }
    Level.instances = instances_.data();
    Level.instance_count = static_cast<int>(instances_.size());
  }
  void TearDown() override {
    Level.instances = saved_instances_;
    Level.instance_count = saved_count_;
  }
  LevelMeshInstance* saved_instances_ = nullptr;
  int saved_count_ = 0;
  std::vector<LevelMesh> meshes_;
  std::vector<LevelMeshInstance> instances_;
};

TEST_F(DecalMaskTest, RunsAreWholeBytesInInstanceOrderForDecalInstancesOnly) {
  // 5 faces take one byte, 9 take two; the plain instance takes none.
  build({{5, MI_GROUND}, {100, 0}, {9, MI_DECALS}, {8, MI_GROUND | MI_DECALS}});
  EXPECT_EQ(decal_mask_layout(), 3);
  EXPECT_EQ(decal_mask_offset(0), 0);
  EXPECT_EQ(decal_mask_offset(1), -1);
  EXPECT_EQ(decal_mask_offset(2), 8);
  EXPECT_EQ(decal_mask_offset(3), 24);
  EXPECT_EQ(decal_mask_offset(4), -1);

  decal_mask_set(2, 8);
  EXPECT_TRUE(decal_mask_test(2, 8));
  EXPECT_FALSE(decal_mask_test(3, 0)) << "a face of one run never shows in the next";
  decal_mask_set(0, 5);  // past the mesh's faces
  EXPECT_FALSE(decal_mask_test(0, 5));
  decal_mask_set(1, 0);
  EXPECT_FALSE(decal_mask_test(1, 0));
  decal_mask_clear();
  EXPECT_FALSE(decal_mask_test(2, 8));
}

TEST_F(DecalMaskTest, InstancesPastTheMaskGetNoDecals) {
  // 40,000 + 24,000 faces fit in 65,536 bits; the next 2,000 do not, but a
  // later small one still does.
  build({{40000, MI_GROUND}, {24000, MI_GROUND}, {2000, MI_GROUND}, {1000, MI_DECALS}});
  EXPECT_EQ(decal_mask_layout(), 3);
  EXPECT_EQ(decal_mask_offset(1), 40000);
  EXPECT_EQ(decal_mask_offset(2), -1);
  EXPECT_EQ(decal_mask_offset(3), 64000);
  decal_mask_set(2, 1999);
  EXPECT_FALSE(decal_mask_test(2, 1999));
  decal_mask_set(3, 999);  // the mask's last bits
  EXPECT_TRUE(decal_mask_test(3, 999));
}

}  // namespace

namespace {

// The pool of 32: lifetimes, take-over of the one with least time left,
// the last-second fade and the box's texture coordinates.
class DecalPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    timer_game_clock = 10000;
    decal_pool_reset();
  }
  int add(int lifetime) {
    return decal_add(7, vector(0, 0, 0), vector(1, 0, 0), vector(0, 0, 1), lifetime, false, 0, 0.5f);
  }
};

TEST_F(DecalPoolTest, AFullPoolGivesUpTheDecalWithLeastTimeLeft) {
  // 32 decals with 5,000 ms and up; the one of 3,000 placed 1 s later has
  // 2,000 left when the pool is full, less than all the others.
  for (int i = 0; i < 31; i++) add(5000 + 100 * i);
  timer_game_clock = 9000;
  const int short_one = add(3000);
  timer_game_clock = 10000;
  EXPECT_EQ(decal_used_count(), 32);
  int order[MAX_DECALS];
  ASSERT_EQ(decal_expiry_order(order, MAX_DECALS), 32);
  EXPECT_EQ(order[0], short_one);
  const int taken = add(8000);
  EXPECT_EQ(taken, short_one);
  EXPECT_EQ(decal_used_count(), 32);
  ASSERT_EQ(decal_expiry_order(order, MAX_DECALS), 32);
  EXPECT_EQ(order[31], taken) << "8,000 ms is the most time left";
}

TEST_F(DecalPoolTest, OneFrameDecalsGoFirstAndLeaveAtTheFramesEnd) {
  const int lasting = add(2000);
  const int frame_only = add(0);
  int order[MAX_DECALS];
  ASSERT_EQ(decal_expiry_order(order, MAX_DECALS), 2);
  EXPECT_EQ(order[0], frame_only);
  decal_end_frame();
  EXPECT_EQ(decal_get(frame_only), nullptr);
  EXPECT_NE(decal_get(lasting), nullptr);
}

TEST_F(DecalPoolTest, ALifetimeOf1500IsOpaqueForHalfASecondThenFades) {
  const Decal& d = *decal_get(add(1500));
  struct Case {
    int age, alpha;
  };
  for (const Case& c : {Case{0, 255}, Case{500, 255}, Case{750, 191}, Case{1000, 127}, Case{1499, 0}, Case{1500, 0}})
    EXPECT_NEAR(decal_alpha(d, 10000 + c.age), c.alpha, 1) << c.age;
  const Decal& frame_only = *decal_get(add(0));
  EXPECT_EQ(decal_alpha(frame_only, 99999), 255);
}

TEST_F(DecalPoolTest, TheBoxFacesOutAndItsCoordinatesRunAcrossIt) {
  // right (2,0,0) and up (0,0,1): normal right x up = (0,-2,0) -> (0,-1,0);
  // depth 2 x 0.5 = 1 along it.
  const Decal& d = *decal_get(decal_add(7, vector(10, 0, 5), vector(2, 0, 0), vector(0, 0, 1), 1000, true, 0, 0.5f));
  EXPECT_TRUE(d.state & DECAL_LIT);
  EXPECT_NEAR(d.normal.y, -1.0f, 1e-6);
  EXPECT_NEAR(d.radius, std::sqrt(4.0f + 1.0f + 1.0f), 1e-5);
  ASSERT_EQ(d.plane_count, 6);
  for (int i = 0; i < 6; i++) EXPECT_LE(d.planes[i].distance(vector(10, 0, 5)), 0.0f) << i;
  EXPECT_GT(d.planes[4].distance(vector(10, -1.5f, 5)), 0.0f);
  float u = 0, v = 0;
  decal_uv(d, vector(12, 0, 6), &u, &v);  // the + side of both: 0, 0
  EXPECT_NEAR(u, 0.0f, 1e-5);
  EXPECT_NEAR(v, 0.0f, 1e-5);
  decal_uv(d, vector(8, 0, 4), &u, &v);
  EXPECT_NEAR(u, 1.0f, 1e-5);
  EXPECT_NEAR(v, 1.0f, 1e-5);
  decal_uv(d, vector(10, 0.3f, 5), &u, &v);
  EXPECT_NEAR(u, 0.5f, 1e-5);
  EXPECT_NEAR(v, 0.5f, 1e-5);
}

TEST(DecalRotated, AxesTurnWithTheAngle) {
  struct Case {
    float angle;
    vector first, second;
  };
  const float a = 1.5f, b = 0.5f;
  for (const Case& c : {Case{0.0f, vector(0, 0, a), vector(b, 0, 0)}, Case{90.0f, vector(-a, 0, 0), vector(0, 0, b)},
                        Case{180.0f, vector(0, 0, -a), vector(-b, 0, 0)}}) {
    vector first, second;
    decal_rotated_axes(c.angle, a, b, &first, &second);
    EXPECT_NEAR(first.x, c.first.x, 1e-3) << c.angle;
    EXPECT_NEAR(first.y, 0.0f, 1e-6) << c.angle;
    EXPECT_NEAR(first.z, c.first.z, 1e-3) << c.angle;
    EXPECT_NEAR(second.x, c.second.x, 1e-3) << c.angle;
    EXPECT_NEAR(second.z, c.second.z, 1e-3) << c.angle;
  }
}

}  // namespace

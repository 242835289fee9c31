#include "quarn/gr/gr3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/gr/grclip.h"
#include "quarn/os/console.h"

namespace {

constexpr float PI = 3.14159265f;

// A 640 by 480 clip area with square pixels: the vertical half-angle's
// tangent is 0.75 of the horizontal one's.
class View3dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_screen_ = gr_screen;
    saved_far_min_ = Gr_far_min;
    saved_far_max_ = Gr_far_max;
    saved_fog_ = Gr_level_fog_multiplier;
    gr_screen.renderer = 0;
    gr_screen.clip_width = 640;
    gr_screen.clip_height = 480;
    gr_screen.offset_x = 0;
    gr_screen.offset_y = 0;
    gr_screen.aspect = 1.0f;
    gr_3d_set_far_plane(0.0f);
  }
  void TearDown() override {
    while (gr_3d_instance_depth() > 0) gr_3d_end_instance();
    gr_3d_set_far_plane(0.0f);
    gr_screen = saved_screen_;
    Gr_far_min = saved_far_min_;
    Gr_far_max = saved_far_max_;
    Gr_level_fog_multiplier = saved_fog_;
  }
  // Camera at the origin looking down +z with a 90 degree horizontal view.
  void start(const vector& eye = {0, 0, 0}, const matrix& m = identity_matrix, float fov = 90.0f) {
    gr_3d_start_frame(eye, m, fov, false);
  }
  GrVertex project(const vector& world) {
    GrVertex v;
    gr_3d_rotate_point(v, world);
    gr_3d_project_point(v);
    return v;
  }

  GrScreen saved_screen_;
  float saved_far_min_, saved_far_max_, saved_fog_;
};

TEST_F(View3dTest, PointOnTheAxisProjectsToTheCentre) {
  start();
  // View z of 1 is one far-scale away.
  const float s = gr_3d_zoom_scale(1.0f);
  GrVertex v = project({0, 0, 1.0f / s});
  EXPECT_NEAR(v.z, 1.0f, 1e-5f);
  EXPECT_EQ(v.proj_flags & PF_PROJECTED, PF_PROJECTED);
  EXPECT_NEAR(v.ooz, 1.0f, 1e-5f);
  EXPECT_FLOAT_EQ(v.sx, 320.0f);
  EXPECT_FLOAT_EQ(v.sy, 240.0f);
}

TEST_F(View3dTest, ProjectionOfKnownPoints) {
  start();
  struct Case {
    vector world;
    float sx, sy;
  } cases[] = {
      {{10, 0, 10}, 640, 240},     // 45 degrees right: the right edge
      {{-10, 0, 10}, 0, 240},
      {{0, 7.5f, 10}, 320, 0},     // vertical half-angle tangent 0.75: top edge
      {{0, -7.5f, 10}, 320, 480},
      {{5, 3.75f, 10}, 480, 120},  // half way to the corner
      {{1000, 0, 1}, 640, 240},    // far off to the side: held on the edge
      {{0, -1000, 1}, 320, 480},
  };
  for (const Case& c : cases) {
    GrVertex v = project(c.world);
    EXPECT_NEAR(v.sx, c.sx, 1e-3f) << c.world.x << "," << c.world.y << "," << c.world.z;
    EXPECT_NEAR(v.sy, c.sy, 1e-3f) << c.world.x << "," << c.world.y << "," << c.world.z;
  }
}

TEST_F(View3dTest, ClipOffsetMovesTheScreenPositionOnly) {
  gr_screen.offset_x = 100;
  gr_screen.offset_y = 50;
  gr_screen.clip_width = 200;
  gr_screen.clip_height = 150;
  start();
  GrVertex v = project({10, 0, 10});
  EXPECT_NEAR(v.sx, 300.0f, 1e-3f);
  EXPECT_NEAR(v.sy, 125.0f, 1e-3f);
  // Screen-to-ray works in clip-area coordinates.
  vector o, d;
  gr_3d_screen_to_ray(o, d, 200.0f, 75.0f);
  EXPECT_NEAR(d.x, std::sqrt(0.5f), 1e-5f);
  EXPECT_NEAR(d.z, std::sqrt(0.5f), 1e-5f);
}

TEST_F(View3dTest, PointAtTheEyeIsNotProjected) {
  start();
  GrVertex v;
  v.sx = -7.0f;
  const uint8_t codes = gr_3d_rotate_point(v, {0, 0, 0});
  EXPECT_NE(codes & CLIP_BEHIND, 0);
  EXPECT_EQ(gr_3d_project_point(v), PF_BEHIND);
  EXPECT_FLOAT_EQ(v.sx, -7.0f);
  // Already decided: a second call changes nothing.
  EXPECT_EQ(gr_3d_project_point(v), PF_BEHIND);
}

TEST_F(View3dTest, ClipCodesOfWorldPoints) {
  gr_3d_set_far_plane(100.0f);
  start();
  struct Case {
    vector world;
    uint8_t codes;
  } cases[] = {
      {{0, 0, 50}, 0},
      {{0, 0, 150}, CLIP_FAR},
      {{-60, 0, 50}, CLIP_LEFT},
      {{60, 0, 50}, CLIP_RIGHT},
      {{0, -40, 50}, CLIP_BOTTOM},
      {{0, 40, 50}, CLIP_TOP},
      {{0, 35, 50}, 0},  // inside: the vertical edge is at 37.5
      {{0, 0, -5}, CLIP_LEFT | CLIP_RIGHT | CLIP_BOTTOM | CLIP_TOP | CLIP_BEHIND},
  };
  for (const Case& c : cases) {
    GrVertex v;
    EXPECT_EQ(gr_3d_rotate_point(v, c.world), c.codes) << c.world.x << "," << c.world.y << "," << c.world.z;
    EXPECT_EQ(v.codes, c.codes);
    EXPECT_EQ(v.proj_flags, 0);
  }
}

TEST_F(View3dTest, FarPlaneLimitsAndSwitches) {
  struct Case {
    float set;
    bool on;
    float effective;  // what the depth scale is built from
  } cases[] = {
      {100.0f, true, 100.0f},
      {300.0f, true, 250.0f},  // held to Gr_far_max
      {10.0f, true, 31.25f},   // held to Gr_far_min
      {1.0f, false, 31.25f},   // off; the scale keeps the last distance
  };
  for (const Case& c : cases) {
    gr_3d_set_far_plane(c.set);
    start();
    Gr3dFrame f;
    gr_3d_get_frame(f);
    EXPECT_EQ(f.far_clipping, c.on) << c.set;
    EXPECT_NEAR(gr_3d_zoom_scale(1.0f), 0.98f / c.effective, 1e-7f) << c.set;
    if (c.on) {
      EXPECT_FLOAT_EQ(f.far_distance, c.set);
      EXPECT_FLOAT_EQ(f.depth_scale, 1.0f / c.set);
      EXPECT_FLOAT_EQ(gr_3d_far_depth(), c.set * 0.98f / c.effective);
    } else {
      EXPECT_EQ(f.far_distance, 0.0f);
      EXPECT_EQ(gr_3d_far_depth(), 0.0f);
      GrVertex v;
      EXPECT_EQ(gr_3d_rotate_point(v, {0, 0, 1e6f}) & CLIP_FAR, 0);
    }
  }
}

TEST_F(View3dTest, FarLimitsAreConsoleVariables) {
  console_init();
  ASSERT_EQ(console_execute("far_max 100"), 0);
  EXPECT_EQ(Gr_far_max, 100.0f);
  gr_3d_set_far_plane(300.0f);
  start();
  EXPECT_NEAR(gr_3d_zoom_scale(1.0f), 0.98f / 100.0f, 1e-7f);
  ASSERT_EQ(console_execute("far_min 40.5"), 0);
  EXPECT_EQ(Gr_far_min, 40.5f);
  for (const char* name : {"zmult", "zmax"}) EXPECT_NE(console_find_command(name), nullptr) << name;
}

TEST_F(View3dTest, FieldOfViewInDegreesOrAsATangent) {
  start({0, 0, 0}, identity_matrix, 90.0f);
  GrVertex a = project({3, -2, 10});
  float h, v;
  gr_3d_get_fov(h, v);
  EXPECT_NEAR(h, 90.0f, 1e-3f);
  EXPECT_NEAR(v, 2.0f * std::atan(0.75f) * 180.0f / PI, 1e-3f);
  EXPECT_NEAR(gr_3d_fov_other_axis(90.0f), v, 1e-3f);
  EXPECT_NEAR(gr_3d_fov_other_axis(1.0f), v, 1e-3f);

  start({0, 0, 0}, identity_matrix, 1.0f);
  GrVertex b = project({3, -2, 10});
  EXPECT_NEAR(a.sx, b.sx, 1e-3f);
  EXPECT_NEAR(a.sy, b.sy, 1e-3f);
}

TEST_F(View3dTest, ScreenToRayThroughKnownPixels) {
  // Camera at (5, 1, -2) turned a quarter to the right: forward is +x.
  const matrix m = matrix::from_angles(0.0f, 0.0f, PI / 2);
  const vector eye{5, 1, -2};
  start(eye, m);
  const float r = std::sqrt(0.5f);
  struct Case {
    float sx, sy;
    vector local;  // expected direction in the camera's frame
  } cases[] = {
      {320, 240, {0, 0, 1}},
      {640, 240, {r, 0, r}},
      {0, 240, {-r, 0, r}},
      {320, 0, {0, 0.6f, 0.8f}},  // tangent 0.75
      {320, 480, {0, -0.6f, 0.8f}},
  };
  for (const Case& c : cases) {
    vector o, d;
    gr_3d_screen_to_ray(o, d, c.sx, c.sy);
    EXPECT_EQ(o, eye);
    vector expect;
    c.local.unrotated(expect, m);
    EXPECT_NEAR(d.x, expect.x, 1e-5f) << c.sx << "," << c.sy;
    EXPECT_NEAR(d.y, expect.y, 1e-5f) << c.sx << "," << c.sy;
    EXPECT_NEAR(d.z, expect.z, 1e-5f) << c.sx << "," << c.sy;
  }
  // Round trip: the ray through a point's pixel passes through the point.
  const vector target{20, 4, 3};
  GrVertex v = project(target);
  vector o, d;
  gr_3d_screen_to_ray(o, d, v.sx, v.sy);
  vector to = target - eye;
  to.normalize();
  EXPECT_NEAR(vector::dot(d, to), 1.0f, 1e-5f);
}

TEST_F(View3dTest, SphereCulling) {
  gr_3d_set_far_plane(100.0f);
  start();
  struct Case {
    vector c;
    float r;
    bool culled;
  } cases[] = {
      {{0, 0, 50}, 1, false},
      {{0, 0, -5}, 1, true},        // behind the eye
      {{0, 0, -0.5f}, 1, false},    // around the eye
      {{-70, 0, 50}, 1, true},      // beyond the left plane
      {{-52, 0, 50}, 2, false},     // 1.41 beyond it, radius 2
      {{0, 45, 50}, 1, true},       // above
      {{0, 0, 102}, 1, true},       // beyond the far plane
      {{0, 0, 100.5f}, 1, false},   // touching it
  };
  for (const Case& c : cases)
    EXPECT_EQ(gr_3d_sphere_culled(c.c, c.r, true), c.culled) << c.c.x << "," << c.c.y << "," << c.c.z;
}

TEST_F(View3dTest, SphereCullingChoosesTheFarPlane) {
  Gr_level_fog_multiplier = 2.0f;
  gr_3d_set_far_plane(100.0f);  // frustum far at 200, the unfogged one at 100
  start();
  EXPECT_FALSE(gr_3d_sphere_culled({0, 0, 150}, 1, true));
  EXPECT_TRUE(gr_3d_sphere_culled({0, 0, 150}, 1, false));
  EXPECT_TRUE(gr_3d_sphere_culled({0, 0, 250}, 1, true));
  gr_3d_set_far_plane(0.0f);
  EXPECT_FALSE(gr_3d_sphere_culled({0, 0, 5000}, 1, false));
}

TEST_F(View3dTest, BoxCulling) {
  gr_3d_set_far_plane(100.0f);
  start();
  struct Case {
    vector mn, mx;
    bool culled;
  } cases[] = {
      {{-1, -1, 10}, {1, 1, 12}, false},
      {{-100, -1, 10}, {-50, 1, 12}, true},    // left of the view
      {{-100, -1, 10}, {-9, 1, 12}, false},    // reaching into it
      {{-1000, -1000, -1000}, {1000, 1000, 1000}, false},  // around everything
      {{-1, -1, -10}, {1, 1, -2}, true},       // behind
      {{-1, -1, 101}, {1, 1, 120}, true},      // beyond far
      {{-1, 20, 10}, {1, 30, 12}, true},       // above
  };
  for (const Case& c : cases)
    EXPECT_EQ(gr_3d_box_culled(c.mn, c.mx), c.culled) << c.mn.x << "," << c.mn.y << "," << c.mn.z;
}

TEST_F(View3dTest, OrientedBoxCullingUsesTheOrientation) {
  start();
  // A rod along its local x from 0 to 100, placed at (-55, 0, 50): unturned
  // it crosses the view; turned half round it points away to the left, and
  // turned a quarter it runs back toward the eye, still left of the view.
  const vector mn{0, -1, -1}, mx{100, 1, 1}, pos{-55, 0, 50};
  EXPECT_FALSE(gr_3d_oriented_box_culled(identity_matrix, pos, mn, mx));
  EXPECT_TRUE(gr_3d_oriented_box_culled(matrix::from_angles(0, 0, PI), pos, mn, mx));
  EXPECT_TRUE(gr_3d_oriented_box_culled(matrix::from_angles(0, 0, PI / 2), pos, mn, mx));
  // Turned the other way it runs out along +z into the widening view.
  EXPECT_FALSE(gr_3d_oriented_box_culled(matrix::from_angles(0, 0, -PI / 2), pos, mn, mx));
  EXPECT_FALSE(gr_3d_oriented_box_culled(identity_matrix, {0, 0, 10}, {-1, -1, -1}, {1, 1, 1}));
}

TEST_F(View3dTest, FrustumPlanesInOrder) {
  gr_3d_set_far_plane(100.0f);
  start();
  plane_record planes[MAX_FRUSTUM_PLANES];
  uint8_t codes[MAX_FRUSTUM_PLANES];
  ASSERT_EQ(gr_3d_get_frustum(planes, codes), 6);
  const uint8_t order[6] = {CLIP_LEFT, CLIP_RIGHT, CLIP_BOTTOM, CLIP_TOP, CLIP_BEHIND, CLIP_FAR};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(codes[i], order[i]);
    EXPECT_NEAR(planes[i].pl.normal.length(), 1.0f, 1e-5f);
    // A point well inside the view is behind every plane.
    EXPECT_LT(planes[i].pl.distance({0, 0, 50}), 0.0f) << i;
  }
  gr_3d_set_far_plane(0.0f);
  EXPECT_EQ(gr_3d_get_frustum(nullptr, codes), 5);
}

TEST_F(View3dTest, InstanceFrameMatchesTheWorld) {
  start({1, 2, -30}, matrix::from_angles(0.1f, 0.0f, 0.2f));
  const matrix obj = matrix::from_angles(0.3f, 0.5f, -1.1f);
  const vector obj_pos{4, -1, 7};
  const vector local{1.5f, -0.5f, 2.0f};
  vector world = local;
  world.from_frame(obj_pos, obj);

  GrVertex expect;
  gr_3d_rotate_point(expect, world);
  gr_3d_start_instance(obj_pos, obj, false);
  EXPECT_EQ(gr_3d_instance_depth(), 1);
  GrVertex got;
  gr_3d_rotate_point(got, local);
  EXPECT_NEAR(got.x, expect.x, 1e-5f);
  EXPECT_NEAR(got.y, expect.y, 1e-5f);
  EXPECT_NEAR(got.z, expect.z, 1e-5f);

  // The lighting frame only follows when asked.
  vector le;
  matrix lm;
  gr_3d_get_light_frame(le, lm);
  EXPECT_EQ(le, vector(1, 2, -30));
  gr_3d_start_instance(zero_vector, identity_matrix, true);
  gr_3d_get_light_frame(le, lm);
  vector eye;
  matrix vm;
  gr_3d_get_view(eye, vm);
  EXPECT_EQ(le, vector(1, 2, -30)) << "an identity frame leaves the light frame as it was";
  gr_3d_end_instance();

  gr_3d_end_instance();
  gr_3d_get_view(eye, vm);
  EXPECT_EQ(eye, vector(1, 2, -30));
  EXPECT_EQ(gr_3d_instance_depth(), 0);
}

TEST_F(View3dTest, InstanceStackOverflowIsRefused) {
  const vector eye{1, 2, 3};
  start(eye);
  for (int i = 0; i < MAX_INSTANCE_DEPTH + 3; i++) gr_3d_start_instance({1, 0, 0}, identity_matrix, true);
  EXPECT_EQ(gr_3d_instance_depth(), MAX_INSTANCE_DEPTH);
  vector e;
  matrix m;
  gr_3d_get_view(e, m);
  EXPECT_EQ(e, vector(1 - MAX_INSTANCE_DEPTH, 2, 3)) << "refused entries leave the view as it was";
  // The refused ones end first, then the real ones unwind.
  for (int i = 0; i < 3; i++) gr_3d_end_instance();
  EXPECT_EQ(gr_3d_instance_depth(), MAX_INSTANCE_DEPTH);
  for (int i = 0; i < MAX_INSTANCE_DEPTH; i++) gr_3d_end_instance();
  gr_3d_get_view(e, m);
  EXPECT_EQ(e, eye);
  gr_3d_end_instance();  // one too many: ignored
  gr_3d_get_view(e, m);
  EXPECT_EQ(e, eye);
}

TEST_F(View3dTest, PushTowardTheEye) {
  start();
  const float s = gr_3d_zoom_scale(1.0f);
  GrVertex v;
  gr_3d_rotate_point(v, {10, 5, 100});
  gr_3d_project_point(v);
  const float sx = v.sx;
  gr_3d_push_toward_eye(v, -50.0f);
  EXPECT_NEAR(v.z, 50.0f * s, 1e-6f);
  EXPECT_NEAR(v.x, 5.0f * s, 1e-6f);
  EXPECT_EQ(v.proj_flags & PF_PROJECTED, 0);
  gr_3d_project_point(v);
  EXPECT_NEAR(v.sx, sx, 1e-3f) << "moving along the eye ray keeps the pixel";
  // Too close to the eye: unchanged.
  const float z = v.z;
  gr_3d_push_toward_eye(v, -49.9f);
  EXPECT_EQ(v.z, z);
}

TEST_F(View3dTest, EyeQueries) {
  start({0, 0, -10});
  EXPECT_TRUE(gr_3d_facing_eye({0, 0, -1}, {0, 0, 0}));
  EXPECT_FALSE(gr_3d_facing_eye({0, 0, 1}, {0, 0, 0}));
  EXPECT_TRUE(gr_3d_eye_in_front(plane{{0, 0, -1}, 0}));
  EXPECT_FALSE(gr_3d_eye_in_front(plane{{0, 0, 1}, 0}));
  EXPECT_NEAR(gr_3d_eye_cos({0, 0, 2}, {0, 0, 5}), 1.0f, 1e-6f);
  EXPECT_NEAR(gr_3d_eye_cos({1, 0, 0}, {10, 0, 0}), std::sqrt(0.5f), 1e-6f);
  EXPECT_EQ(gr_3d_eye_cos({1, 0, 0}, {0, 0, -10}), 0.0f);
  vector vp{0, 0, 0.5f};
  EXPECT_NEAR(gr_3d_world_z(vp), 0.5f / gr_3d_zoom_scale(1.0f), 1e-2f);
  EXPECT_NEAR(gr_3d_screen_size(vp, 1.0f), 320.0f * gr_3d_zoom_scale(1.0f) / 0.5f, 1e-3f);
}

TEST_F(View3dTest, SaveAndRestoreTheView) {
  const matrix saved = matrix::from_angles(0.3f, -0.7f, 0.2f);
  start({1, 1, 1}, saved);
  gr_3d_save_view();
  gr_3d_set_far_plane(50.0f);
  start({9, 9, 9}, matrix::from_angles(0, 0, 1));
  gr_3d_restore_view();
  vector e;
  matrix m;
  gr_3d_get_view(e, m);
  EXPECT_EQ(e, vector(1, 1, 1));
  for (int k = 0; k < 9; ++k) EXPECT_FLOAT_EQ(m.m(k), saved.m(k)) << "element " << k;
  EXPECT_EQ(gr_3d_far_depth(), 0.0f) << "the clipper follows the restored far plane";
}

TEST_F(View3dTest, ComposeAppliesAToB) {
  const matrix a = matrix::from_angles(0, 0, PI / 2);  // local +z is world +x
  const vector pa{1, 2, 3};
  matrix b = matrix::from_angles(0.2f, 0, 0);
  vector pb{0, 0, 5};
  const matrix b0 = b;
  gr_3d_compose(a, pa, b, pb);
  EXPECT_NEAR(pb.x, 6.0f, 1e-5f);
  EXPECT_NEAR(pb.y, 2.0f, 1e-5f);
  EXPECT_NEAR(pb.z, 3.0f, 1e-5f);
  // A point of b's frame lands where a's transform takes b's placement of it.
  const vector local{0.5f, 1, 2};
  vector in_a = local;
  in_a.from_frame({0, 0, 5}, b0);
  vector want = in_a;
  want.from_frame(pa, a);
  vector got = local;
  got.from_frame(pb, b);
  EXPECT_NEAR(got.x, want.x, 1e-5f);
  EXPECT_NEAR(got.y, want.y, 1e-5f);
  EXPECT_NEAR(got.z, want.z, 1e-5f);
}

// The level renderer transforms and projects with the frame record alone;
// it must land every point where the view itself puts it, inside an
// instance too, and its depth must order points when far clipping is off.
TEST_F(View3dTest, FrameRecordProjectsLikeTheView) {
  gr_screen.offset_x = 30;
  gr_screen.offset_y = 20;
  gr_3d_set_far_plane(80.0f);
  start({1, 2, -30}, matrix::from_angles(0.1f, 0.0f, 0.2f), 70.0f);
  const vector points[] = {{3, -2, 10}, {-8, 6, 25}, {0, 0, 60}, {12, 1, 5}, {-40, 0, 10}, {2, 3, 200}};
  auto check = [&](const char* where) {
    Gr3dFrame f;
    gr_3d_get_frame(f);
    EXPECT_TRUE(f.far_clipping);
    EXPECT_FLOAT_EQ(f.far_z, gr_3d_far_depth());
    for (const vector& p : points) {
      GrVertex want;
      gr_3d_rotate_point(want, p);
      vector got = p - f.cam_pos;
      got.rotate(f.cam_orient);
      EXPECT_NEAR(got.x, want.x, 1e-5f) << where << " " << p.x;
      EXPECT_NEAR(got.y, want.y, 1e-5f) << where << " " << p.x;
      EXPECT_NEAR(got.z, want.z, 1e-5f) << where << " " << p.x;
      uint8_t codes = 0;
      if (got.z > f.far_z) codes |= CLIP_FAR;
      if (got.x < -got.z) codes |= CLIP_LEFT;
      if (got.x > got.z) codes |= CLIP_RIGHT;
      if (got.y < -got.z) codes |= CLIP_BOTTOM;
      if (got.y > got.z) codes |= CLIP_TOP;
      if (got.z <= 0) codes |= CLIP_BEHIND;
      EXPECT_EQ(codes, want.codes) << where << " " << p.x;
      if (want.codes) continue;
      gr_3d_project_point(want);
      EXPECT_NEAR((got.x / got.z + 1) * f.x_scale + f.x_offset, want.sx, 1e-2f) << where << " " << p.x;
      EXPECT_NEAR((1 - got.y / got.z) * f.y_scale + f.y_offset, want.sy, 1e-2f) << where << " " << p.x;
    }
  };
  check("world");
  const vector obj_pos{4, -1, 7};
  const matrix obj = matrix::from_angles(0.3f, 0.5f, -1.1f);
  gr_3d_start_instance(obj_pos, obj, false);
  check("instance");
  gr_3d_end_instance();

  gr_3d_set_far_plane(0.0f);
  start();
  Gr3dFrame f;
  gr_3d_get_frame(f);
  EXPECT_FALSE(f.far_clipping);
  EXPECT_EQ(f.far_distance, 0.0f);
  EXPECT_EQ(f.far_z, 0.0f);
  ASSERT_GT(f.depth_scale, 0.0f) << "a zero scale would draw everything at one depth";
  GrVertex near_v = project({0, 0, 5}), far_v = project({0, 0, 50});
  EXPECT_GT(std::min(f.depth_scale * near_v.ooz * f.zmult, f.zmax),
            std::min(f.depth_scale * far_v.ooz * f.zmult, f.zmax));
}

TEST_F(View3dTest, PushLeavesPointsAtOrBehindTheEyeAlone) {
  start();
  for (float z : {0.0f, -0.5f}) {
    vector p{0.3f, -0.2f, z};
    gr_3d_push_toward_eye(p, 10.0f);  // would reach a positive depth
    EXPECT_EQ(p, vector(0.3f, -0.2f, z)) << z;
  }
}

TEST_F(View3dTest, ClipPolygonKeepsCornersAndMarksNewVertices) {
  start();
  GrVertex v[3];
  gr_3d_rotate_point(v[0], {0, 0, 10});
  gr_3d_rotate_point(v[1], {30, 0, 10});  // beyond the right plane
  gr_3d_rotate_point(v[2], {0, 3, 10});
  for (int i = 0; i < 3; i++) v[i].corner = static_cast<uint8_t>(i);
  GrVertex* list[8] = {&v[0], &v[1], &v[2]};
  const int n = gr_3d_clip_polygon(3, list);
  ASSERT_EQ(n, 4);
  int kept = 0, made = 0;
  for (int i = 0; i < n; i++) {
    EXPECT_EQ(list[i]->codes & CLIP_RIGHT, 0);
    if (list[i] >= v && list[i] < v + 3) {
      EXPECT_EQ(list[i]->proj_flags & PF_TEMPORARY, 0);
      EXPECT_EQ(list[i]->corner, list[i] - v);
      kept++;
    } else {
      EXPECT_EQ(list[i]->proj_flags & PF_TEMPORARY, PF_TEMPORARY);
      made++;
    }
  }
  EXPECT_EQ(kept, 2);
  EXPECT_EQ(made, 2);

  // Wholly outside: nothing left, list untouched.
  gr_3d_rotate_point(v[0], {30, 0, 10});
  gr_3d_rotate_point(v[2], {30, 3, 10});
  GrVertex* out[8] = {&v[0], &v[1], &v[2]};
  EXPECT_EQ(gr_3d_clip_polygon(3, out), 0);
  EXPECT_EQ(out[0], &v[0]);
}

TEST_F(View3dTest, FrameStartEmptiesTheClipPool) {
  start();
  clip_new_vertex();
  ASSERT_EQ(clip_pool_used(), 1);
  start();
  EXPECT_EQ(clip_pool_used(), 0);
}

TEST(ShellSortTest, DescendingKeys) {
  DepthKey k[3] = {{1, 10}, {3, 30}, {2, 20}};
  gr_shell_sort_keys(k, 3);
  EXPECT_EQ(k[0].key, 3);
  EXPECT_EQ(k[1].key, 2);
  EXPECT_EQ(k[2].key, 1);
  EXPECT_EQ(k[0].value, 30);
  EXPECT_EQ(k[2].value, 10);

  std::vector<DepthKey> many;
  unsigned seed = 12345;
  for (int i = 0; i < 257; i++) {
    seed = seed * 1103515245u + 12345u;
    many.push_back({static_cast<float>((seed >> 8) % 1000) * 0.5f - 100.0f, i});
  }
  gr_shell_sort_keys(many.data(), static_cast<int>(many.size()));
  EXPECT_TRUE(std::is_sorted(many.begin(), many.end(),
                             [](const DepthKey& a, const DepthKey& b) { return a.key > b.key; }));
  gr_shell_sort_keys(nullptr, 0);
  DepthKey one{5, 1};
  gr_shell_sort_keys(&one, 1);
  EXPECT_EQ(one.key, 5);
}

TEST(LightRecordTest, DefaultsAndReset) {
  LightRecord l;
  EXPECT_EQ(l.kind, 0);
  EXPECT_EQ(l.index, -1);
  EXPECT_EQ(l.intensity, 255);
  EXPECT_EQ(l.range, -1.0f);
  l.kind = 4;
  l.range = 10;
  l.reset();
  EXPECT_EQ(l.kind, 0);
  EXPECT_EQ(l.range, -1.0f);
}

}  // namespace

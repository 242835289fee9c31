// The dynamic light pool: creation and limits, gathering per object,
// per-vertex colour and sphere-map coordinates.
#include "quarn/geom/lights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "tests/quarn/geom/recorded_screen.h"

namespace {

class Lights : public ::testing::Test {
 protected:
  void SetUp() override {
    lights_reset();
    lights_set_ambient(0, 0, 0);
    lights_set_max_per_object(MAX_DYN_LIGHTS);
    lights_set_gather_static(true);
    lights_set_view_space(false);
  }
  void TearDown() override {
    while (lights_gather_depth() > 0) lights_pop();
    lights_reset();
  }
  static void colour_at(const vector& p, const vector* n, uint8_t out[3], bool include_static = true,
                        bool no_ambient = false) {
    light_vertex_colour(out[0], out[1], out[2], p, n, include_static, no_ambient);
  }
};

TEST_F(Lights, FalloffBetweenTheRadiiAndTheLambertFactor) {
  const int i = light_create_point(vector(0, 0, 0), 4.0f, 6.0f, 1.0f, 1.0f, 0.5f, 0.0f, false);
  ASSERT_GE(i, 0);
  lights_gather(vector(5, 0, 0));
  uint8_t c[3];
  colour_at(vector(5, 0, 0), nullptr, c);  // no normal: distance fall-off only
  EXPECT_EQ(c[0], 127);  // 0.5 * 255, truncated
  EXPECT_EQ(c[1], 63);
  EXPECT_EQ(c[2], 0);
  const vector tilted = vector(-1, 1, 0) * (1.0f / std::sqrt(2.0f));  // 45 degrees off the light
  colour_at(vector(5, 0, 0), &tilted, c);
  EXPECT_EQ(c[0], static_cast<int>(0.5f * 0.70710678f * 255.0f));
  const vector away(1, 0, 0);  // the light is behind this normal
  colour_at(vector(5, 0, 0), &away, c);
  EXPECT_EQ(c[0], 0);
  colour_at(vector(3, 0, 0), nullptr, c);  // inside the radius: full
  EXPECT_EQ(c[0], 255);
  colour_at(vector(6.5f, 0, 0), nullptr, c);
  EXPECT_EQ(c[0], 0);

  float r, o;
  const int j = light_create_point(vector(0, 0, 0), 4.0f, 5.0f, 1.0f, 1, 1, 1, false);
  ASSERT_TRUE(light_get_radii(j, r, o));
  EXPECT_EQ(o, 6.0f) << "at least radius + 2";
}

TEST_F(Lights, GatheringKeepsTheStrongestUpToTheCap) {
  const vector at(0, 0, 0);
  const int weak = light_create_point(vector(9, 0, 0), 1, 10, 1.0f, 0.1f, 0.1f, 0.1f, false);
  const int strong = light_create_point(vector(1, 0, 0), 4, 10, 1.0f, 1.0f, 1.0f, 1.0f, false);
  const int middle = light_create_point(vector(0, 2, 0), 4, 10, 1.0f, 0.0f, 0.6f, 0.0f, false);
  const int faint = light_create_point(vector(0, 0, 3), 4, 10, 1.0f, 0.0f, 0.0f, 0.3f, false);
  light_create_point(vector(50, 0, 0), 4, 10, 1.0f, 1, 1, 1, false);  // out of reach
  lights_set_max_per_object(2);
  EXPECT_EQ(lights_gather(at), 2);
  EXPECT_EQ(light_at(0), light_get(strong));
  EXPECT_EQ(light_at(1), light_get(middle));
  lights_pop();
  lights_set_max_per_object(MAX_DYN_LIGHTS);
  EXPECT_EQ(lights_gather(at), 4);
  EXPECT_EQ(light_at(2), light_get(faint));
  EXPECT_EQ(light_at(3), light_get(weak));
  lights_pop();

  // Disabled and (when asked) static lights are left out.
  light_set_enabled(strong, false);
  light_set_static(middle, true);
  lights_set_gather_static(false);
  EXPECT_EQ(lights_gather(at), 2);
  lights_pop();
}

TEST_F(Lights, AmbientAndLightsClampAndFollowTheStaticRule) {
  lights_set_ambient(0.5f, 0.5f, 0.5f);
  light_create_point(vector(1, 0, 0), 4, 6, 1.0f, 1, 1, 1, false);
  lights_gather(vector(0, 0, 0));
  uint8_t c[3];
  colour_at(vector(0, 0, 0), nullptr, c);
  EXPECT_EQ(c[0], 255);
  EXPECT_EQ(c[2], 255);
  // No ambient: the non-static light is left out too.
  colour_at(vector(0, 0, 0), nullptr, c, true, true);
  EXPECT_EQ(c[0], 0);
  lights_pop();

  lights_set_ambient(0.0f, 0.0f, 0.0f);
  const int lamp = light_create_point(vector(-1, 0, 0), 4, 6, 1.0f, 0.0f, 0.0f, 1.0f, true);
  ASSERT_GE(lamp, 0);
  lights_gather(vector(0, 0, 0));
  colour_at(vector(0, 0, 0), nullptr, c, false, true);
  EXPECT_EQ(c[2], 0) << "static lights only when included";
  colour_at(vector(0, 0, 0), nullptr, c, true, true);
  EXPECT_EQ(c[2], 255);
  EXPECT_EQ(c[0], 0);
  lights_pop();
}

TEST_F(Lights, SpotLightsLightInsideTheirCone) {
  // Shining along +x with a 60 degree inner and 120 degree outer cone.
  light_create_spot(vector(0, 0, 0), vector(10, 0, 0), 1.0471976f, 2.0943951f, 20, 30, 1.0f, 1, 1, 1, false);
  lights_gather(vector(5, 0, 0));
  struct Case {
    vector p;
    int expected;
  } cases[] = {
      {vector(5, 0, 0), 255},
      {vector(5, 2, 0), 255},                            // 21.8 degrees off: inside the inner half-angle of 30
      {vector(-5, 0, 0), 0},                             // behind
      // 45 degrees: linear between the half-angles' cosines (30 and 60 degrees).
      {vector(5, 5, 0), static_cast<int>(255.0f * (0.70710678f - 0.5f) / (0.8660254f - 0.5f))},
  };
  for (const Case& c : cases) {
    uint8_t out[3];
    colour_at(c.p, nullptr, out);
    EXPECT_NEAR(out[0], c.expected, 1) << c.p.x << "," << c.p.y;
  }
  lights_pop();
  float inner, outer;
  light_get_cone(0, inner, outer);
  EXPECT_NEAR(outer, 2.0943951f, 1e-6f);
  const int point = light_create_point(vector(0, 0, 0), 1, 3, 1, 1, 1, 1, false);
  light_get_cone(point, inner, outer);
  EXPECT_EQ(inner, 0.0f);
  EXPECT_NEAR(outer, 6.2831853f, 1e-6f);
  vector t;
  light_get_target(point, t);
  EXPECT_EQ(t, vector(1, 0, 0));
}

TEST_F(Lights, AProjectedBitmapColoursTheSpot) {
  bm_init();
  // 2 by 2, blue-green-red bytes: red, green on the top row; blue, white below.
  std::vector<uint8_t> px = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  const int bmp = bm_create(BM_FORMAT_BGR24, 2, 2, px.data());
  ASSERT_GE(bmp, 0);
  // Shining down +z with a wide cone; the projection looks the same way.
  const int spot = light_create_spot(vector(0, 0, 0), vector(0, 0, 10), 2.0f, 2.5f, 20, 30, 1.0f, 1, 1, 1, false,
                                     bmp, &identity_matrix);
  ASSERT_GE(spot, 0);
  lights_gather(vector(0, 0, 5));
  struct Case {
    vector p;
    int r, g, b;
  } cases[] = {
      {vector(-1, 1, 5), 255, 0, 0},  // top left
      {vector(1, 1, 5), 0, 255, 0},
      {vector(-1, -1, 5), 0, 0, 255},
      {vector(1, -1, 5), 255, 255, 255},
      {vector(40, 0, 5), 0, 0, 0},    // beyond the bitmap
  };
  for (const Case& c : cases) {
    uint8_t out[3];
    colour_at(c.p, nullptr, out);
    EXPECT_EQ(out[0], c.r) << c.p.x << "," << c.p.y;
    EXPECT_EQ(out[1], c.g) << c.p.x << "," << c.p.y;
    EXPECT_EQ(out[2], c.b) << c.p.x << "," << c.p.y;
  }
  lights_pop();
  light_kill(spot);
  bm_close();
}

TEST_F(Lights, ThePoolIsFixedAndChangesAreCounted) {
  const uint32_t before = lights_change_count();
  light_create_point(vector(0, 0, 0), 1, 3, 1, 1, 1, 1, true);
  EXPECT_EQ(lights_change_count(), before) << "a static light changes nothing";
  for (int i = 1; i < MAX_DYN_LIGHTS; i++) ASSERT_GE(light_create_point(vector(0, 0, 0), 1, 3, 1, 1, 1, 1, false), 0);
  const uint32_t full = lights_change_count();
  EXPECT_EQ(full, before + MAX_DYN_LIGHTS - 1);
  EXPECT_EQ(light_create_point(vector(0, 0, 0), 1, 3, 1, 1, 1, 1, false), -1);
  EXPECT_EQ(lights_change_count(), full);
  EXPECT_EQ(lights_used_count(), MAX_DYN_LIGHTS);
  light_kill(7);
  EXPECT_EQ(lights_used_count(), MAX_DYN_LIGHTS - 1);
  EXPECT_EQ(light_create_point(vector(0, 0, 0), 1, 3, 1, 1, 1, 1, false), 7) << "the first free record";
  EXPECT_EQ(lights_count(), MAX_DYN_LIGHTS);
}

TEST_F(Lights, GatheringDeeperThanTheStackIsRefused) {
  light_create_point(vector(0, 0, 0), 4, 6, 1, 1, 1, 1, false);
  for (int i = 0; i < MAX_LIGHT_GATHER_DEPTH; i++) EXPECT_EQ(lights_gather(vector(0, 0, 0)), 1);
  EXPECT_EQ(lights_gather(vector(0, 0, 0)), 0);
  EXPECT_EQ(lights_gather_depth(), MAX_LIGHT_GATHER_DEPTH);
  lights_pop();  // the refused one
  EXPECT_EQ(lights_gather_depth(), MAX_LIGHT_GATHER_DEPTH);
  for (int i = 0; i < MAX_LIGHT_GATHER_DEPTH; i++) lights_pop();
  EXPECT_EQ(lights_gather_depth(), 0);
}

TEST_F(Lights, KilledLightsLeaveTheGatheredLists) {
  const int a = light_create_point(vector(1, 0, 0), 4, 6, 1, 1, 1, 1, false);
  light_create_point(vector(-1, 0, 0), 4, 6, 1, 1, 1, 1, false);
  EXPECT_EQ(lights_gather(vector(0, 0, 0)), 2);
  light_kill(a);
  EXPECT_EQ(lights_count(), 1);
  lights_pop();
}

TEST_F(Lights, LightsInAnObjectFrame) {
  // An object at (10, 0, 0) turned half round about y: a light at world
  // (12, 0, 0) is at (-2, 0, 0) in the object's frame.
  light_create_point(vector(12, 0, 0), 4, 6, 1, 1, 1, 1, false);
  lights_gather(vector(10, 0, 0));
  const matrix half_turn = matrix::from_angles(0.0f, 0.0f, 3.14159265f);
  lights_to_frame(vector(10, 0, 0), half_turn);
  lights_set_view_space(true);
  vector p;
  float r, o, cr, cg, cb;
  bool st;
  ASSERT_TRUE(light_info(0, p, r, o, cr, cg, cb, st));
  EXPECT_NEAR(p.x, -2.0f, 1e-5f);
  EXPECT_NEAR(p.z, 0.0f, 1e-5f);
  uint8_t c[3];
  const vector toward(-1, 0, 0);
  colour_at(vector(0, 0, 0), &toward, c);
  EXPECT_EQ(c[0], 255);
  lights_set_view_space(false);
  lights_pop();
}

TEST_F(Lights, DebugMarkersAreSmallGreenSpheres) {
  struct LineRecorder : GrRecorder {
    int lines = 0;
    bool all_green = true;
    void line3d(const GrVertex*, const GrVertex*, RenderStateWord) override {
      lines++;
      all_green = all_green && gr_screen.current_color == Color(0, 255, 0, 255);
    }
  } rec;
  const RecordingRenderer renderer(rec);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  gr_set_color(1, 2, 3, 4);
  light_create_point(vector(0, 0, 50), 1, 3, 1, 1, 1, 1, false);
  light_create_point(vector(1, 0, 50), 1, 3, 1, 1, 1, 1, true);
  lights_debug_draw();
  // Far off, each marker is three circles of five segments and three diameters.
  EXPECT_EQ(rec.lines, 2 * 3 * (5 + 1));
  EXPECT_TRUE(rec.all_green);
  EXPECT_EQ(gr_screen.current_color, Color(1, 2, 3, 4));
}

TEST(LightSphereMap, ReflectionsOfTheViewRay) {
  struct Case {
    vector point, normal;
    float u, v;
  } cases[] = {
      {vector(0, 0, 5), vector(0, 0, -1), 0.25f, 0.5f},                         // straight back
      {vector(0, 0, 5), vector(0, 0.5f, -0.8660254f), 0.25f, (1.0f - 0.8660254f) / 2.0f},  // 60 degrees up
      {vector(0, 0, 5), vector(-0.70710678f, 0, -0.70710678f), 0.0f, 0.5f},      // to -x: atan2 = pi
  };
  lights_set_view_space(false);
  for (const Case& c : cases) {
    float u, v;
    light_sphere_map(u, v, c.point, c.normal);
    // atan2(+0, -1) is pi, atan2(-0, -1) is -pi: either end of the seam.
    EXPECT_NEAR(std::fmod(u + 1.0f, 1.0f), std::fmod(c.u + 1.0f, 1.0f), 1e-5f) << c.normal.y;
    EXPECT_NEAR(v, c.v, 1e-5f);
  }
}

}  // namespace

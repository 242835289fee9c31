// 3D lines, polygons, sprites, beams and debug shapes against the recording
// renderer.
#include "quarn/gr/gr3d_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/grclip.h"
#include "quarn/os/console.h"
#include "tests/quarn/gr/draw3d_fixture.h"

namespace {

class Draw3d : public Draw3dTest {
 protected:
  void SetUp() override {
    Draw3dTest::SetUp();
    gr_set_use_buffered_alpha_polys(true);
    gr_set_color(255, 255, 255, 255);
    gr_set_bitmap(-1);
  }
  void TearDown() override {
    gr_alpha_flush();
    Draw3dTest::TearDown();
  }
};

// Where a plain 90-degree pinhole camera on a 640 by 480 screen with square
// pixels puts a camera-space point.
float pin_x(float x, float z) { return 320.0f + 320.0f * x / z; }
float pin_y(float y, float z) { return 240.0f - 320.0f * y / z; }

TEST_F(Draw3d, LinesBeyondOnePlaneNeverReachTheRenderer) {
  EXPECT_FALSE(gr_3d_draw_line(view_point(5, 0, 2), view_point(6, 1, 3), Gr_debug_state));
  EXPECT_TRUE(rec.lines.empty());
}

TEST_F(Draw3d, ALineCrossingASidePlaneIsDrawnClipped) {
  EXPECT_TRUE(gr_3d_draw_line(view_point(0, 0, 4), view_point(8, 0, 4), Gr_debug_state));
  ASSERT_EQ(rec.lines.size(), 1u);
  const Line3dCall& l = rec.lines[0];
  const GrVertex& inner = l.a.x < l.b.x ? l.a : l.b;
  const GrVertex& cut = l.a.x < l.b.x ? l.b : l.a;
  EXPECT_FLOAT_EQ(inner.sx, 320.0f);
  EXPECT_NEAR(cut.sx, 640.0f, 0.01f);  // the right edge
  EXPECT_EQ(clip_pool_used(), 0) << "the clipper's pool is emptied again";
  // World-point form, seen at its predicted pixels.
  rec.reset();
  EXPECT_TRUE(gr_3d_draw_line_world(vector(-1, 1, 5), vector(1, -0.5f, 5), Gr_debug_state));
  ASSERT_EQ(rec.lines.size(), 1u);
  EXPECT_NEAR(rec.lines[0].a.sx, pin_x(-1, 5), 0.01f);
  EXPECT_NEAR(rec.lines[0].b.sy, pin_y(-0.5f, 5), 0.01f);
}

TEST_F(Draw3d, PolygonsAreSortedWhenTranslucent) {
  struct Case {
    int vertex_alpha;  // -1: no own alpha
    int colour_alpha;
    RenderStateWord state;
    bool buffered;
    bool sorted;
  } cases[] = {
      {254, 255, RenderStateWord(1, 2, 0, 3, 4, 0), true, true},
      {254, 255, RenderStateWord(1, 2, 0, 3, 4, 0), false, false},
      {-1, 200, RenderStateWord(1, 2, 0, 3, 4, 0), true, true},   // the current colour's alpha
      {255, 255, RenderStateWord(1, 2, 3, 3, 4, 0), true, true},  // alpha source 3
      {255, 255, RenderStateWord(1, 2, 1, 3, 4, 0), true, true},  // alpha source 1
      {255, 255, RenderStateWord(1, 2, 2, 3, 4, 0), true, false},
      {255, 255, RenderStateWord(1, 2, 3, 3, 4, 0), false, false},
  };
  for (const Case& c : cases) {
    rec.reset();
    gr_set_use_buffered_alpha_polys(c.buffered);
    gr_set_color(255, 255, 255, c.colour_alpha);
    GrVertex p[3] = {view_point(0, 1, 4), view_point(1, -1, 6), view_point(-1, -1, 5)};
    GrVertex* list[3] = {&p[0], &p[1], &p[2]};
    if (c.vertex_alpha >= 0) {
      p[1].a = static_cast<uint8_t>(c.vertex_alpha);
      p[1].flags = GR_VERTEX_ALPHA;
      p[0].a = p[2].a = 255;
      p[0].flags = p[2].flags = GR_VERTEX_ALPHA;
    }
    EXPECT_TRUE(gr_3d_draw_poly(3, list, c.state));
    EXPECT_EQ(gr_alpha_record_count(), c.sorted ? 1 : 0) << c.state.bits << " " << c.buffered;
    EXPECT_EQ(rec.layered.size(), c.sorted ? 0u : 1u);
    if (c.sorted) {
      int used = 0;
      const uint8_t* s = gr_alpha_stream(&used);
      float depth;
      std::memcpy(&depth, s + 4, 4);
      EXPECT_EQ(depth, p[1].z) << "the largest view z";
    }
    gr_alpha_flush();
  }
}

TEST_F(Draw3d, ClipAndProjectRespectsTheCallersArray) {
  // A triangle poking out of the right and top planes becomes a square.
  GrVertex p[3] = {view_point(0, 0, 2), view_point(6, 0, 2), view_point(0, 6, 2)};
  GrVertex* list[8] = {&p[0], &p[1], &p[2]};
  GrVertex* small[3] = {&p[0], &p[1], &p[2]};
  EXPECT_EQ(gr_3d_clip_project_poly(3, small, 3), 0) << "four corners do not fit three slots";
  EXPECT_EQ(small[1], &p[1]) << "the caller's array is left alone";
  const int n = gr_3d_clip_project_poly(3, list, 8);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; i++) {
    EXPECT_TRUE(list[i]->proj_flags & PF_PROJECTED);
    EXPECT_LE(list[i]->sx, 640.0f + 0.01f);
    EXPECT_GE(list[i]->sy, -0.01f);
  }
  GrVertex out[3] = {view_point(5, 0, 2), view_point(6, 1, 2), view_point(6, -1, 2)};
  GrVertex* olist[3] = {&out[0], &out[1], &out[2]};
  EXPECT_EQ(gr_3d_clip_project_poly(3, olist, 3), 0);
}

TEST_F(Draw3d, SpriteExtentsFollowTheBitmapShape) {
  struct Case {
    int w, h;
    float size, angle;
    float x_half, y_half;
  } cases[] = {
      {64, 32, 1.0f, 0.0f, 2.0f, 1.0f},
      {32, 64, 1.0f, 0.0f, 1.0f, 2.0f},
      {32, 32, 0.5f, 0.0f, 0.5f, 0.5f},
      {64, 32, 1.0f, 1.5707963f, 1.0f, 2.0f},  // a quarter turn swaps the extents on screen
  };
  for (const Case& c : cases) {
    rec.reset();
    gr_set_bitmap(make_bitmap(c.w, c.h));
    ASSERT_TRUE(gr_3d_draw_sprite(vector(0, 0, 10), c.angle, c.size, Gr_preset[19]));
    gr_alpha_flush();  // the state's alpha source sorts it
    ASSERT_EQ(rec.layered.size(), 1u);
    float lo_x = 1e9f, hi_x = -1e9f, lo_y = 1e9f, hi_y = -1e9f;
    for (const GrVertex& v : rec.layered[0].points) {
      lo_x = std::min(lo_x, v.sx), hi_x = std::max(hi_x, v.sx);
      lo_y = std::min(lo_y, v.sy), hi_y = std::max(hi_y, v.sy);
    }
    EXPECT_NEAR(hi_x - lo_x, 2.0f * 320.0f * c.x_half / 10.0f, 0.05f) << c.w << "x" << c.h;
    EXPECT_NEAR(hi_y - lo_y, 2.0f * 320.0f * c.y_half / 10.0f, 0.05f) << c.w << "x" << c.h;
    // Drawn nearer by the size, texture corners (0,0) .. (1,1).
    for (const GrVertex& v : rec.layered[0].points) EXPECT_NEAR(v.z, gr_3d_zoom_scale(10.0f - c.size), 1e-5f);
  }
  gr_set_bitmap(MAX_BITMAPS - 1);  // a slot with no bitmap: width 0
  EXPECT_FALSE(gr_3d_draw_sprite(vector(0, 0, 10), 0.0f, 1.0f, Gr_preset[19]));
  EXPECT_FALSE(gr_3d_draw_sprite(vector(0, 0, -10), 0.0f, 1.0f, Gr_preset[19])) << "behind the eye";
  gr_set_bitmap(-1);
  EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(0, 0, 10), 0.0f, 4.0f, 2.0f, Gr_preset[19]));
}

TEST_F(Draw3d, BeamsAreAlwaysSorted) {
  gr_set_use_buffered_alpha_polys(false);
  EXPECT_TRUE(gr_3d_draw_beam(vector(-1, 0, 5), vector(1, 0, 7), 0.5f, Gr_preset[19]));
  EXPECT_EQ(gr_alpha_record_count(), 1);
  EXPECT_TRUE(rec.layered.empty());
  int used = 0;
  const uint8_t* s = gr_alpha_stream(&used);
  float depth;
  std::memcpy(&depth, s + 4, 4);
  EXPECT_NEAR(depth, gr_3d_zoom_scale(6.0f), 1e-6f) << "the midpoint's view depth";
  gr_alpha_flush();
  ASSERT_EQ(rec.layered.size(), 1u);
  const LayeredCall& c = rec.layered[0];
  ASSERT_EQ(c.points.size(), 4u);
  // Seen from the origin, the beam's width lies across the line of sight:
  // the corners at a sit 0.25 above and below it.
  EXPECT_NEAR(c.points[0].sy, pin_y(0.25f, 5), 0.01f);
  EXPECT_NEAR(c.points[3].sy, pin_y(-0.25f, 5), 0.01f);
  EXPECT_NEAR(c.points[1].sx, pin_x(1, 7), 0.01f);
  EXPECT_EQ(c.data[0][1].v, 1.0f);
}

TEST_F(Draw3d, WireSpheresUseFiveToThirtyTwoSegments) {
  struct Case {
    float radius, distance;
    int segments;
  } cases[] = {{0.01f, 10.0f, 5}, {1.0f, 5.0f, 32}, {0.5f, 10.0f, 16}};
  for (const Case& c : cases) {
    rec.reset();
    EXPECT_TRUE(gr_3d_draw_sphere(vector(0, 0, c.distance), c.radius, Gr_debug_state));
    // Three circles and three diameters.
    EXPECT_EQ(rec.lines.size(), static_cast<size_t>(3 * (c.segments + 1))) << c.radius;
  }
}

TEST_F(Draw3d, WireBoxesDrawTwelveEdges) {
  EXPECT_TRUE(gr_3d_draw_box(vector(0, 0, 10), identity_matrix, vector(2, 4, 6), Gr_debug_state));
  ASSERT_EQ(rec.lines.size(), 12u);
  // Edge 0-1 runs along x at y = -2, z = 7 (nearest face).
  EXPECT_NEAR(rec.lines[0].a.sx, pin_x(-1, 7), 0.01f);
  EXPECT_NEAR(rec.lines[0].b.sx, pin_x(1, 7), 0.01f);
  EXPECT_NEAR(rec.lines[0].a.sy, pin_y(-2, 7), 0.01f);
}

TEST_F(Draw3d, DebugAxesDrawThreeColouredArrowsAndKeepTheColour) {
  gr_set_color(9, 8, 7, 6);
  gr_3d_debug_axes(vector(0, 0, 10), identity_matrix, 1.0f);
  // Rows 0 and 1 make arrows; row 2 points along the line of sight.
  ASSERT_EQ(rec.lines.size(), 6u);
  EXPECT_EQ(rec.lines[0].color, Color(255, 0, 0, 255));
  EXPECT_EQ(rec.lines[3].color, Color(0, 255, 0, 255));
  EXPECT_EQ(rec.lines[0].state, Gr_debug_state.bits);
  EXPECT_EQ(gr_screen.current_color, Color(9, 8, 7, 6));
  // The x arrow's head point lies just beyond the tip: 0.9 + 1/8 of the way.
  EXPECT_NEAR(rec.lines[1].a.sx, pin_x(1.025f, 10), 0.01f);
  rec.reset();
  gr_3d_debug_arrow(0, 0, 10, 2, 0, 10, 1, 2, 3);
  ASSERT_EQ(rec.lines.size(), 3u);
  EXPECT_NEAR(rec.lines[1].a.sx, pin_x(1.25f, 10), 0.01f);  // the middle plus L/8
  EXPECT_NEAR(std::fabs(rec.lines[1].b.sy - rec.lines[2].b.sy), 2.0f * 320.0f * 0.125f / 10.0f, 0.01f);
}

TEST_F(Draw3d, ConsoleTogglesBufferedPolygons) {
  console_init();
  std::string out;
  static std::string* sink;
  sink = &out;
  console_set_output_hook([](const char* t) { *sink += t; });
  gr_set_use_buffered_alpha_polys(true);
  console_execute("use_buffered_alpha_polys");
  EXPECT_FALSE(Use_buffered_alpha_polys);
  EXPECT_NE(out.find("Use_buffered_alpha_polys is FALSE"), std::string::npos) << out;
  console_execute("use_buffered_alpha_polys true");
  EXPECT_TRUE(Use_buffered_alpha_polys);
  console_set_output_hook(nullptr);
}

}  // namespace

// Buffered translucent polygons: the record format, far-first replay,
// automatic flushing, and the in-place clip-and-draw path.
#include "quarn/gr/gr_alpha.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "quarn/gr/grclip.h"
#include "tests/quarn/gr/draw3d_fixture.h"

namespace {

class AlphaTest : public Draw3dTest {
 protected:
  void TearDown() override {
    gr_alpha_flush();
    Draw3dTest::TearDown();
  }
  // A translucent triangle at depth z whose first vertex's red is `tag`.
  static void record_triangle(float depth, float z, int tag) {
    static GrVertex p[3];
    p[0] = view_point(0, 1, z);
    p[1] = view_point(1, -1, z);
    p[2] = view_point(-1, -1, z);
    gr_alpha_poly_begin(true, depth, 0, false, 0.0f);
    gr_alpha_poly_state(Gr_preset[16], -1, 255, 255, 255, 128, 0);
    for (int i = 0; i < 3; i++) {
      gr_alpha_poly_vertex(&p[i]);
      gr_alpha_poly_rgb(i == 0 ? tag : 0, 0, 0);
    }
    ASSERT_TRUE(gr_alpha_poly_end());
  }
};

float f32_at(const uint8_t* s, int at) {
  float v;
  std::memcpy(&v, s + at, 4);
  return v;
}
int32_t i32_at(const uint8_t* s, int at) {
  return static_cast<int32_t>(s[at] | (s[at + 1] << 8) | (s[at + 2] << 16) | (static_cast<uint32_t>(s[at + 3]) << 24));
}

TEST_F(AlphaTest, RecordsAreByteCodedCommands) {
  GrVertex p = view_point(-3.0f, 0.5f, 2.0f);  // beyond the left plane: code 2
  const RenderStateWord state(1, 2, 3, 2, 1, 0);
  gr_alpha_poly_begin(true, 7.5f, 9, true, 1.25f);
  gr_alpha_poly_state(state, 42, 10, 20, 30, 40, 1);
  gr_alpha_poly_vertex(&p);
  gr_alpha_poly_uv(0.25f, 0.75f);
  gr_alpha_poly_rgb(1, 2, 3);
  gr_alpha_poly_alpha(99);
  ASSERT_TRUE(gr_alpha_poly_end());

  int used = 0;
  const uint8_t* s = gr_alpha_stream(&used);
  ASSERT_EQ(used, 12 + 16 + 16 + 12 + 4 + 4 + 4);
  EXPECT_EQ(gr_alpha_record_count(), 1);
  // begin with fixed depth
  EXPECT_EQ(s[0], 2);
  EXPECT_EQ(s[1], 9);
  EXPECT_EQ(f32_at(s, 4), 7.5f);
  EXPECT_EQ(f32_at(s, 8), 1.25f);
  // pass state
  EXPECT_EQ(s[12], 4);
  EXPECT_EQ(s[13], 1);
  EXPECT_EQ(static_cast<uint32_t>(i32_at(s, 16)), 1u | 2u << 5 | 3u << 10 | 2u << 15 | 1u << 20);
  EXPECT_EQ(i32_at(s, 20), 42);
  EXPECT_EQ(s[24], 10);
  EXPECT_EQ(s[27], 40);
  // vertex
  EXPECT_EQ(s[28], 3);
  EXPECT_EQ(s[29], CLIP_LEFT);
  EXPECT_EQ(f32_at(s, 32), p.x);
  EXPECT_EQ(f32_at(s, 36), p.y);
  EXPECT_EQ(f32_at(s, 40), p.z);
  // uv, rgb, alpha, end
  EXPECT_EQ(s[44], 5);
  EXPECT_EQ(f32_at(s, 48), 0.25f);
  EXPECT_EQ(f32_at(s, 52), 0.75f);
  EXPECT_EQ(s[56], 6);
  EXPECT_EQ(s[57], 1);
  EXPECT_EQ(s[59], 3);
  EXPECT_EQ(s[60], 7);
  EXPECT_EQ(s[61], 99);
  EXPECT_EQ(s[64], 8);
  EXPECT_TRUE(rec.layered.empty()) << "recorded, not drawn";
}

TEST_F(AlphaTest, FlushDrawsFarthestFirst) {
  const float depths[] = {5.0f, 9.0f, 1.0f, 9.0f, 7.0f, 3.0f};
  for (int i = 0; i < 6; i++) record_triangle(depths[i], 4.0f, 10 + i);
  EXPECT_TRUE(rec.layered.empty());
  gr_alpha_flush();
  ASSERT_EQ(rec.layered.size(), 6u);
  // By depth 9, 9, 7, 5, 3, 1. The two records at 9 come out in the order
  // the halving-gap sort leaves them (gap 3 moves the later one to the front).
  const int expected_tags[] = {13, 11, 14, 10, 15, 12};
  for (int i = 0; i < 6; i++) EXPECT_EQ(rec.layered[i].data[0][0].r, expected_tags[i]) << i;
  int used = 0;
  gr_alpha_stream(&used);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(gr_alpha_record_count(), 0);
  // An empty flush changes nothing.
  rec.reset();
  gr_alpha_flush();
  EXPECT_TRUE(rec.layered.empty());
}

TEST_F(AlphaTest, TheFlipReplaysTheBuffer) {
  record_triangle(2.0f, 4.0f, 1);
  gr_flip();
  EXPECT_EQ(rec.layered.size(), 1u);
  EXPECT_EQ(gr_alpha_record_count(), 0);
}

TEST_F(AlphaTest, TheIndexFlushesItselfWhenFull) {
  for (int i = 0; i < ALPHA_MAX_RECORDS; i++) record_triangle(1.0f, 4.0f, 1);
  EXPECT_EQ(gr_alpha_record_count(), ALPHA_MAX_RECORDS);
  EXPECT_TRUE(rec.layered.empty());
  record_triangle(1.0f, 4.0f, 2);
  EXPECT_EQ(rec.layered.size(), static_cast<size_t>(ALPHA_MAX_RECORDS));
  EXPECT_EQ(gr_alpha_record_count(), 1);
}

TEST_F(AlphaTest, LongRecordsNeverRunPastTheStream) {
  // Records of the largest polygon the replay can draw: the stream fills up
  // by bytes long before the index does, and flushes in time.
  static GrVertex p[ALPHA_MAX_VERTS];
  for (int i = 0; i < ALPHA_MAX_VERTS; i++) {
    const float a = 6.2831853f * i / ALPHA_MAX_VERTS;
    p[i] = view_point(std::cos(a), std::sin(a), 4.0f);
  }
  int flushes = 0;
  for (int r = 0; r < 200; r++) {
    const size_t before = rec.layered.size();
    gr_alpha_poly_begin(true, 1.0f, 0, false, 0.0f);
    for (int pass = 0; pass < ALPHA_MAX_PASSES; pass++) {
      gr_alpha_poly_state(Gr_preset[16], -1, 255, 255, 255, 100, pass);
      for (int i = 0; i < ALPHA_MAX_VERTS; i++) {
        if (pass == 0) gr_alpha_poly_vertex(&p[i]);
        gr_alpha_poly_uv(0.0f, 0.0f);
        gr_alpha_poly_rgb(1, 2, 3);
        gr_alpha_poly_alpha(100);
      }
    }
    ASSERT_TRUE(gr_alpha_poly_end());
    int used = 0;
    gr_alpha_stream(&used);
    ASSERT_LE(used, ALPHA_STREAM_SIZE);
    if (rec.layered.size() > before) flushes++;
  }
  EXPECT_GE(flushes, 1);
  gr_alpha_flush();
  ASSERT_EQ(rec.layered.size(), 200u);
  EXPECT_EQ(rec.layered.back().points.size(), static_cast<size_t>(ALPHA_MAX_VERTS));
  EXPECT_EQ(rec.layered.back().layers.size(), static_cast<size_t>(ALPHA_MAX_PASSES));
}

TEST_F(AlphaTest, PolygonsBeyondTheLimitsAreRefusedWhole) {
  static GrVertex p[ALPHA_MAX_VERTS + 1];
  for (auto& v : p) v = view_point(0, 0, 4.0f);
  for (bool translucent : {false, true}) {
    gr_alpha_poly_begin(translucent, 1.0f, 0, false, 0.0f);
    gr_alpha_poly_state(Gr_preset[16], -1, 255, 255, 255, 100, 0);
    for (auto& v : p) gr_alpha_poly_vertex(&v);
    EXPECT_FALSE(gr_alpha_poly_end()) << translucent;
    gr_alpha_poly_begin(translucent, 1.0f, 0, false, 0.0f);
    for (int pass = 0; pass <= ALPHA_MAX_PASSES; pass++) gr_alpha_poly_state(Gr_preset[16], -1, 1, 1, 1, 1, 0);
    for (int i = 0; i < 3; i++) gr_alpha_poly_vertex(&p[i]);
    EXPECT_FALSE(gr_alpha_poly_end()) << translucent;
  }
  int used = 0;
  gr_alpha_stream(&used);
  EXPECT_EQ(used, 0) << "a refused record leaves nothing behind";
  EXPECT_EQ(gr_alpha_record_count(), 0);
  gr_alpha_flush();
  EXPECT_TRUE(rec.layered.empty());
}

TEST_F(AlphaTest, ClippingThatNeedsTooManyNewVerticesIsRefused) {
  // A 32-corner tangle in view space that crosses the side and near planes
  // so often that cutting it would need over a hundred new vertices.
  static const float corners[ALPHA_MAX_VERTS][3] = {
      {-14.69f, 18.13f, -15.94f}, {-5.66f, -6.59f, 7.9f}, {2.6f, -21.71f, -29.81f}, {14.48f, 23.62f, -10.66f},
      {-33.66f, -22.32f, -3.15f}, {2.2f, -5.92f, 10.2f}, {15.29f, -28.32f, 15.26f}, {-11.21f, 28.7f, 7.74f},
      {2.14f, -26.05f, 7.13f}, {-9.22f, -10.84f, -46.69f}, {-15.76f, 22.28f, 23.44f}, {11.03f, 49.0f, -42.1f},
      {6.07f, -22.63f, 12.02f}, {12.77f, 23.65f, -19.74f}, {-30.79f, 25.92f, 40.48f}, {7.78f, 22.53f, -37.19f},
      {8.87f, -20.29f, -1.98f}, {-5.97f, 13.68f, 0.7f}, {15.77f, -4.52f, 0.12f}, {-0.93f, -37.8f, 39.97f},
      {11.88f, 9.44f, -30.53f}, {-17.5f, 8.6f, 23.08f}, {10.96f, 8.12f, -14.78f}, {2.6f, -15.76f, 16.69f},
      {-9.69f, -24.31f, -19.84f}, {7.3f, 8.56f, -2.99f}, {-8.91f, 3.15f, 1.34f}, {19.68f, -14.1f, 8.27f},
      {-9.15f, 18.36f, -1.04f}, {9.05f, -21.41f, -4.86f}, {-16.32f, 10.8f, 3.76f}, {38.75f, -14.57f, 7.85f},
  };
  static GrVertex p[ALPHA_MAX_VERTS];
  for (int i = 0; i < ALPHA_MAX_VERTS; i++) {
    p[i] = GrVertex();
    p[i].x = corners[i][0];
    p[i].y = corners[i][1];
    p[i].z = corners[i][2];
    p[i].codes = clip_codes_of(p[i].x, p[i].y, p[i].z);
  }
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (auto& v : p) gr_alpha_poly_vertex(&v);
  EXPECT_FALSE(gr_alpha_poly_end());
  EXPECT_TRUE(rec.layered.empty());
  // The next polygon has the whole pool again.
  GrVertex half[3] = {view_point(0, 0, 2), view_point(4, 0, 2), view_point(0, 1, 2)};
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (auto& v : half) gr_alpha_poly_vertex(&v);
  EXPECT_TRUE(gr_alpha_poly_end());
  EXPECT_EQ(rec.layered.size(), 1u);
}

TEST_F(AlphaTest, TintIsAppliedWhenRecordedNotAgainAtReplay) {
  gr_set_tint(true, 0.5f, 0.25f, 1.0f);
  GrVertex p[3] = {view_point(0, 1, 4), view_point(1, -1, 4), view_point(-1, -1, 4)};
  gr_alpha_poly_begin(true, 1.0f, 0, false, 0.0f);
  gr_alpha_poly_state(Gr_preset[16], -1, 30, 30, 40, 128, 0);  // sum 100
  for (auto& v : p) {
    gr_alpha_poly_vertex(&v);
    gr_alpha_poly_rgb(100, 50, 50);  // sum 200
  }
  ASSERT_TRUE(gr_alpha_poly_end());
  gr_alpha_flush();
  ASSERT_EQ(rec.layered.size(), 1u);
  const GrLayer& layer = rec.layered[0].layers[0];
  EXPECT_EQ(layer.r, 50);
  EXPECT_EQ(layer.g, 25);
  EXPECT_EQ(layer.b, 100);
  EXPECT_EQ(rec.layered[0].data[0][0].r, 100);
  EXPECT_EQ(rec.layered[0].data[0][0].g, 50);
  EXPECT_EQ(rec.layered[0].data[0][0].b, 200);
  EXPECT_TRUE(gr_screen.tint_on) << "the flush restores the tint";
  gr_set_tint(false, 1, 1, 1);
}

TEST_F(AlphaTest, InPlacePolygonsAreClippedOrRejected) {
  // Wholly beyond the right plane: rejected, the pool untouched.
  GrVertex out[3] = {view_point(5, 0, 2), view_point(6, 1, 2), view_point(6, -1, 2)};
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (auto& v : out) gr_alpha_poly_vertex(&v);
  EXPECT_FALSE(gr_alpha_poly_end());
  EXPECT_TRUE(rec.layered.empty());

  // Without a pass nothing is drawn.
  GrVertex in[3] = {view_point(0, 1, 4), view_point(1, -1, 4), view_point(-1, -1, 4)};
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  for (auto& v : in) gr_alpha_poly_vertex(&v);
  EXPECT_FALSE(gr_alpha_poly_end());

  // Across the right plane x = z at depth 2: cut there, u interpolated.
  GrVertex half[3] = {view_point(0, 0, 2), view_point(4, 0, 2), view_point(0, 1, 2)};
  const float us[3] = {0.0f, 1.0f, 0.0f};
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (int i = 0; i < 3; i++) {
    gr_alpha_poly_vertex(&half[i]);
    gr_alpha_poly_uv(us[i], 0.0f);
  }
  EXPECT_TRUE(gr_alpha_poly_end());
  ASSERT_EQ(rec.layered.size(), 1u);
  const LayeredCall& c = rec.layered[0];
  ASSERT_EQ(c.points.size(), 4u);
  for (size_t i = 0; i < c.points.size(); i++) {
    EXPECT_LE(c.points[i].x, c.points[i].z + 1e-5f);
    EXPECT_LE(c.points[i].sx, 640.0f);
    if ((c.points[i].proj_flags & PF_TEMPORARY) && c.points[i].y == 0.0f) {
      EXPECT_NEAR(c.data[0][i].u, 0.5f, 1e-5f);
    }
  }
}

TEST_F(AlphaTest, AVertexAtTheEyeIsClippedNotProjected) {
  // One vertex at z = 0 exactly, the others in front: the near cut replaces
  // it by two vertices on the near plane, all at finite screen positions.
  GrVertex p[3] = {view_point(0, 0, 0), view_point(1, 0, 2), view_point(-1, 0.5f, 2)};
  p[0].codes = clip_codes_of(p[0].x, p[0].y, p[0].z);
  ASSERT_TRUE(p[0].codes & CLIP_BEHIND);
  gr_alpha_poly_begin(false, 0, 0, false, 0);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (auto& v : p) gr_alpha_poly_vertex(&v);
  EXPECT_TRUE(gr_alpha_poly_end());
  ASSERT_EQ(rec.layered.size(), 1u);
  for (const GrVertex& v : rec.layered[0].points) {
    EXPECT_GE(v.z, GR_3D_NEAR_Z * 0.999f);
    EXPECT_TRUE(std::isfinite(v.sx) && std::isfinite(v.sy) && std::isfinite(v.ooz));
  }
}

TEST_F(AlphaTest, FixedDepthAppliesToEveryVertex) {
  GrVertex p[3] = {view_point(0, 1, 4), view_point(1, -1, 5), view_point(-1, -1, 6)};
  gr_alpha_poly_begin(false, 0, 0, true, 2.0f);
  gr_alpha_poly_state(Gr_preset[19], -1, 255, 255, 255, 255, 0);
  for (auto& v : p) gr_alpha_poly_vertex(&v);
  EXPECT_TRUE(gr_alpha_poly_end());
  ASSERT_EQ(rec.layered.size(), 1u);
  for (const GrVertex& v : rec.layered[0].points) {
    EXPECT_EQ(v.z, 2.0f);
    EXPECT_EQ(v.ooz, 0.5f);
  }
}

TEST_F(AlphaTest, ABitmapLargerThanTheCardGoesToTheTileSplitter) {
  const int big = make_bitmap(512, 512);
  GrVertex p[4] = {view_point(-1, 1, 4), view_point(1, 1, 4), view_point(1, -1, 4), view_point(-1, -1, 4)};
  const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
  // A 256 card cuts the quad once each way; a 1024 card holds it whole.
  for (auto [card, pieces] : {std::pair{256, 4u}, std::pair{1024, 1u}}) {
    rec.reset();
    gr_screen.max_texture_w = gr_screen.max_texture_h = card;
    gr_alpha_poly_begin(false, 0, 0, false, 0);
    gr_alpha_poly_state(Gr_preset[19], big, 255, 255, 255, 255, 0);
    for (int i = 0; i < 4; i++) {
      gr_alpha_poly_vertex(&p[i]);
      gr_alpha_poly_uv(us[i], vs[i]);
    }
    EXPECT_TRUE(gr_alpha_poly_end());
    EXPECT_EQ(rec.layered.size(), pieces) << card;
  }
}

}  // namespace

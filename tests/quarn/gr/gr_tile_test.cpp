// Cutting polygons along texture tile lines and choosing the tile.
#include "quarn/gr/gr_tile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/quarn/gr/draw3d_fixture.h"

namespace {

// A quad at depth 5 from x = -1 (u = u0) to x = 1 (u = u1) and y = 1 (v = v0)
// to y = -1 (v = v1), one layer over `bitmap`.
struct Quad {
  GrVertex p[4];
  GrLayeredVertex lv[4];
  GrLayeredVertex* list[4];
  GrLayer layer{};
  Quad(int bitmap, float u0, float u1, float v0, float v1) {
    const float xs[4] = {-1, 1, 1, -1}, ys[4] = {1, 1, -1, -1};
    const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
    for (int i = 0; i < 4; i++) {
      p[i] = GrVertex();
      p[i].x = xs[i];
      p[i].y = ys[i];
      p[i].z = 5.0f;
      lv[i].vertex = &p[i];
      lv[i].layer[0] = {us[i], vs[i], static_cast<uint8_t>(i * 60), 0, 0, 255};
      list[i] = &lv[i];
    }
    layer.state = Gr_preset[19];
    layer.bitmap = bitmap;
    layer.use_layer_uv = 1;
    layer.use_vertex_rgb = 1;
    layer.r = layer.g = layer.b = layer.a = 255;
  }
};

float min_u(const LayeredCall& c) {
  float m = c.data[0][0].u;
  for (auto& d : c.data[0]) m = std::min(m, d.u);
  return m;
}
float max_u(const LayeredCall& c) {
  float m = c.data[0][0].u;
  for (auto& d : c.data[0]) m = std::max(m, d.u);
  return m;
}

// Twice the signed area of the screen-independent (x, y) outline.
float area(const std::vector<GrVertex>& pts) {
  float a = 0.0f;
  for (size_t i = 0; i < pts.size(); i++) {
    const GrVertex& p = pts[i];
    const GrVertex& q = pts[(i + 1) % pts.size()];
    a += p.x * q.y - q.x * p.y;
  }
  return std::fabs(a) * 0.5f;
}

using TileTest = Draw3dTest;

TEST_F(TileTest, QuadsAreCutOnlyWhereTheyCrossATileLine) {
  struct Case {
    int w, h;
    float u0, u1, v0, v1;
    int pieces;
  } cases[] = {
      {512, 256, 0.0f, 1.0f, 0.0f, 1.0f, 2},   // cut once at u = 0.5
      {256, 256, 0.0f, 1.0f, 0.0f, 1.0f, 1},   // one tile: no cut
      {512, 256, 0.5f, 1.0f, 0.0f, 1.0f, 1},   // the line runs through vertices
      {512, 512, 0.0f, 1.0f, 0.0f, 1.0f, 4},   // once each way
      {256, 1024, 0.0f, 1.0f, 0.0f, 1.0f, 4},  // v lines at 0.25, 0.5, 0.75
      {1024, 256, 0.1f, 0.3f, 0.0f, 1.0f, 2},  // only the line at 0.25 is inside
  };
  for (const Case& c : cases) {
    rec.reset();
    Quad q(make_bitmap(c.w, c.h), c.u0, c.u1, c.v0, c.v1);
    EXPECT_EQ(gr_draw_polygon_tiled(4, q.list, 1, &q.layer), c.pieces) << c.w << "x" << c.h << " u " << c.u0;
    ASSERT_EQ(static_cast<int>(rec.layered.size()), c.pieces);
    // The pieces cover the quad exactly, and each lies within one tile.
    float total = 0.0f;
    const float step_u = std::min(1.0f, 256.0f / c.w), step_v = std::min(1.0f, 256.0f / c.h);
    for (const LayeredCall& piece : rec.layered) {
      total += area(piece.points);
      float lo_v = piece.data[0][0].v, hi_v = lo_v;
      for (auto& d : piece.data[0]) lo_v = std::min(lo_v, d.v), hi_v = std::max(hi_v, d.v);
      EXPECT_LE(std::floor(max_u(piece) / step_u - 1e-4f), std::floor(min_u(piece) / step_u + 1e-4f));
      EXPECT_LE(std::floor(hi_v / step_v - 1e-4f), std::floor(lo_v / step_v + 1e-4f));
    }
    EXPECT_NEAR(total, 4.0f, 1e-4f);
  }
}

TEST_F(TileTest, NewVerticesAreInterpolatedAndProjected) {
  Quad q(make_bitmap(512, 256), 0.0f, 1.0f, 0.0f, 1.0f);
  ASSERT_EQ(gr_draw_polygon_tiled(4, q.list, 1, &q.layer), 2);
  int on_line = 0;
  for (const LayeredCall& piece : rec.layered) {
    for (size_t i = 0; i < piece.points.size(); i++) {
      const GrVertex& p = piece.points[i];
      const GrLayerVertexData& d = piece.data[0][i];
      if (d.u != 0.5f) continue;
      on_line++;
      // Halfway along an edge from x = -1 to x = 1 at depth 5.
      EXPECT_FLOAT_EQ(p.x, 0.0f);
      EXPECT_FLOAT_EQ(p.z, 5.0f);
      EXPECT_TRUE(p.proj_flags & PF_PROJECTED);
      EXPECT_FLOAT_EQ(p.sx, 320.0f);  // the middle of the screen
      // The red of the edge's ends (0 and 60, or 180 and 120) halfway, truncated.
      EXPECT_TRUE(d.r == 30 || d.r == 150) << int(d.r);
    }
  }
  EXPECT_EQ(on_line, 4);  // two new vertices, each in both pieces
}

TEST_F(TileTest, CutsStopAtThePiecePool) {
  struct Case {
    int w, h;
    float u1;
    int pieces;
  } cases[] = {
      {512, 256, 31.9f, MAX_TILE_PIECES},  // 63 cuts fill the pool exactly
      {512, 512, 31.9f, MAX_TILE_PIECES},  // the v cut finds the pool full
      {512, 256, 40.0f, 1},                // more lines than pieces: drawn uncut
  };
  for (const Case& c : cases) {
    rec.reset();
    Quad q(make_bitmap(c.w, c.h), 0.0f, c.u1, 0.0f, 1.0f);
    EXPECT_EQ(gr_draw_polygon_tiled(4, q.list, 1, &q.layer), c.pieces) << c.h << " " << c.u1;
    ASSERT_EQ(static_cast<int>(rec.layered.size()), c.pieces);
    float total = 0.0f;
    for (const LayeredCall& piece : rec.layered) {
      EXPECT_LE(piece.points.size(), size_t{MAX_TILE_PIECE_VERTS});
      total += area(piece.points);
    }
    EXPECT_NEAR(total, 4.0f, 1e-3f);
  }
}

TEST_F(TileTest, TileChoiceFollowsTheAverageCoordinate) {
  gr_screen.max_texture_w = gr_screen.max_texture_h = 256;
  struct Case {
    int w, h;
    float u, v;
    int tile;
    float u_off, v_off, u_scale, v_scale;
  } cases[] = {
      {512, 256, 0.75f, 0.5f, 1, 0.5f, 0.0f, 2.0f, 1.0f},
      {512, 256, 0.25f, 0.5f, 0, 0.0f, 0.0f, 2.0f, 1.0f},
      {512, 512, 0.25f, 0.75f, 2, 0.0f, 0.5f, 2.0f, 2.0f},
      {128, 128, 0.9f, 0.9f, 0, 0.0f, 0.0f, 1.0f, 1.0f},  // smaller than a tile
      {512, 256, 1.25f, 0.5f, 0, 1.0f, 0.0f, 2.0f, 1.0f},  // wraps: tile 2 of 2 across
  };
  for (const Case& c : cases) {
    Quad q(-1, c.u, c.u, c.v, c.v);
    int w = c.w, h = c.h;
    float uo, vo, us, vs;
    EXPECT_EQ(gr_tile_for_polygon(4, q.list, 0, &w, &h, &uo, &vo, &us, &vs), c.tile) << c.w << " " << c.u;
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_FLOAT_EQ(uo, c.u_off);
    EXPECT_FLOAT_EQ(vo, c.v_off);
    EXPECT_FLOAT_EQ(us, c.u_scale);
    EXPECT_FLOAT_EQ(vs, c.v_scale);
  }
}

TEST_F(TileTest, PolygonsBeyondThePieceSizeAreRefused) {
  GrLayeredVertex* list[MAX_TILE_PIECE_VERTS + 1] = {};
  GrLayer layer{};
  EXPECT_EQ(gr_draw_polygon_tiled(MAX_TILE_PIECE_VERTS + 1, list, 1, &layer), 0);
  EXPECT_EQ(gr_draw_polygon_tiled(2, list, 1, &layer), 0);
  EXPECT_TRUE(rec.layered.empty());
}

}  // namespace

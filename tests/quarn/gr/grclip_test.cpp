#include "quarn/gr/grclip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/math/vector.h"

namespace {

GrVertex view_vertex(float x, float y, float z) {
  GrVertex v;
  v.x = x;
  v.y = y;
  v.z = z;
  v.codes = clip_codes_of(x, y, z);
  return v;
}

class ClipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clip_pool_reset();
    clip_set_far(false, 0.0f);
  }
  void TearDown() override {
    clip_pool_reset();
    clip_set_far(false, 0.0f);
  }
};

TEST_F(ClipTest, CodesNameEachPlane) {
  clip_set_far(true, 10.0f);
  struct Case {
    float x, y, z;
    uint8_t codes;
  } cases[] = {
      {0, 0, 1, 0},
      {1, 1, 1, 0},  // on the side planes counts as inside
      {0, 0, 10, 0},  // on the far plane too
      {0, 0, 10.5f, CLIP_FAR},
      {-2, 0, 1, CLIP_LEFT},
      {2, 0, 1, CLIP_RIGHT},
      {0, -2, 1, CLIP_BOTTOM},
      {0, 2, 1, CLIP_TOP},
      {2, 2, 1, CLIP_RIGHT | CLIP_TOP},
      {0, 0, 0, CLIP_BEHIND},
      {0, 0, -1, CLIP_LEFT | CLIP_RIGHT | CLIP_BOTTOM | CLIP_TOP | CLIP_BEHIND},
  };
  for (const Case& c : cases)
    EXPECT_EQ(clip_codes_of(c.x, c.y, c.z), c.codes) << c.x << "," << c.y << "," << c.z;
}

TEST_F(ClipTest, EdgeLandsExactlyOnEachPlane) {
  clip_set_far(true, 10.0f);
  struct Case {
    int code;
    vector in, out, expect;
  } cases[] = {
      {CLIP_RIGHT, {0, 0, 1}, {2, 0, 1}, {1, 0, 1}},
      {CLIP_LEFT, {0, 0, 1}, {-2, 0, 1}, {-1, 0, 1}},
      {CLIP_TOP, {0, 0, 1}, {0, 3, 1}, {0, 1, 1}},
      {CLIP_BOTTOM, {0, 0, 2}, {0, -4, 2}, {0, -2, 2}},
      {CLIP_FAR, {1, 0, 5}, {3, 0, 15}, {2, 0, 10}},
      {CLIP_RIGHT, {0, 0, 2}, {4, 0, 0}, {4.0f / 3, 0, 4.0f / 3}},  // heading toward the eye
  };
  for (const Case& c : cases) {
    GrVertex a = view_vertex(c.in.x, c.in.y, c.in.z);
    GrVertex b = view_vertex(c.out.x, c.out.y, c.out.z);
    ASSERT_EQ(a.codes & c.code, 0);
    ASSERT_NE(b.codes & c.code, 0);
    GrVertex* n = clip_edge(c.code, &a, &b);
    ASSERT_NE(n, nullptr);
    EXPECT_NEAR(n->x, c.expect.x, 1e-5f) << c.code;
    EXPECT_NEAR(n->y, c.expect.y, 1e-5f) << c.code;
    EXPECT_NEAR(n->z, c.expect.z, 1e-5f) << c.code;
    EXPECT_EQ(n->codes & c.code, 0) << "a cut vertex must not be outside its own plane";
    EXPECT_EQ(n->proj_flags, PF_TEMPORARY);
  }
}

TEST_F(ClipTest, EdgeInterpolatesOnlyAttributesBothEndsCarry) {
  GrVertex a = view_vertex(0, 0, 1);
  GrVertex b = view_vertex(2, 0, 1);
  a.flags = GR_VERTEX_UV | GR_VERTEX_RGB | GR_VERTEX_ALPHA;
  b.flags = GR_VERTEX_UV | GR_VERTEX_RGB;
  a.u = 0.0f, a.v = 1.0f, b.u = 1.0f, b.v = 0.0f;
  a.r = 0, a.g = 100, a.b = 255;
  b.r = 255, b.g = 101, b.b = 0;
  GrVertex* n = clip_edge(CLIP_RIGHT, &a, &b);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->flags, GR_VERTEX_UV | GR_VERTEX_RGB);
  EXPECT_FLOAT_EQ(n->u, 0.5f);
  EXPECT_FLOAT_EQ(n->v, 0.5f);
  EXPECT_EQ(n->r, 127);  // truncated, not rounded
  EXPECT_EQ(n->g, 100);
  EXPECT_EQ(n->b, 127);
}

TEST_F(ClipTest, FarCutOfAFadedOutVertexStaysInvisible) {
  clip_set_far(true, 10.0f);
  GrVertex a = view_vertex(0, 0, 0);
  a.z = 0.5f;
  a.codes = 0;
  GrVertex b = view_vertex(0, 0, 20);
  a.flags = b.flags = GR_VERTEX_ALPHA;
  a.a = 255;
  b.a = 0;
  GrVertex* n = clip_edge(CLIP_FAR, &a, &b);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->a, 0);
  // A side cut of the same ends interpolates as usual.
  GrVertex c = view_vertex(0, 0, 1);
  GrVertex d = view_vertex(2, 0, 1);
  c.flags = d.flags = GR_VERTEX_ALPHA;
  c.a = 200;
  d.a = 0;
  n = clip_edge(CLIP_RIGHT, &c, &d);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->a, 100);
}

TEST_F(ClipTest, LineCrossingBothSidesIsCutAtBoth) {
  GrVertex a = view_vertex(-3, 0, 1);
  GrVertex b = view_vertex(3, 0, 1);
  GrVertex* pa = &a;
  GrVertex* pb = &b;
  uint8_t codes = clip_line(pa, pb, a.codes | b.codes);
  EXPECT_EQ(codes, 0);
  EXPECT_EQ(pa->codes | pb->codes, 0);
  const float lo = std::fmin(pa->x, pb->x), hi = std::fmax(pa->x, pb->x);
  EXPECT_NEAR(lo, -1.0f, 1e-5f);
  EXPECT_NEAR(hi, 1.0f, 1e-5f);
  EXPECT_EQ(clip_pool_used(), 2);
}

TEST_F(ClipTest, LineBeyondTheFarPlaneIsCutOnIt) {
  clip_set_far(true, 5.0f);
  GrVertex a = view_vertex(0.5f, 0, 2);
  GrVertex b = view_vertex(1, 0.5f, 12);
  a.flags = b.flags = GR_VERTEX_UV;
  a.u = 0, b.u = 1;
  GrVertex* pa = &a;
  GrVertex* pb = &b;
  // Passed in either order, the far end is replaced.
  for (bool swapped : {false, true}) {
    clip_pool_reset();
    pa = swapped ? &b : &a;
    pb = swapped ? &a : &b;
    EXPECT_EQ(clip_line(pa, pb, a.codes | b.codes), 0) << swapped;
    GrVertex* cut = pa == &a ? pb : pa;
    ASSERT_NE(cut, &b);
    EXPECT_FLOAT_EQ(cut->z, 5.0f);
    EXPECT_NEAR(cut->x, 0.65f, 1e-5f);
    EXPECT_NEAR(cut->y, 0.15f, 1e-5f);
    EXPECT_NEAR(cut->u, 0.3f, 1e-5f);
  }
}

TEST_F(ClipTest, LineMissingTheViewKeepsSharedCodes) {
  // Beyond the left and the top planes, passing outside their corner.
  GrVertex a = view_vertex(-3, 0, 1);
  GrVertex b = view_vertex(0, 3, 1);
  GrVertex* pa = &a;
  GrVertex* pb = &b;
  clip_line(pa, pb, a.codes | b.codes);
  EXPECT_NE(pa->codes | pb->codes, 0) << "an end must still be outside so the line is dropped";
}

TEST_F(ClipTest, PolygonCutByOneSideGainsAVertex) {
  GrVertex a = view_vertex(0, 0, 1), b = view_vertex(2, 0, 1), c = view_vertex(0, 0.5f, 1);
  GrVertex* list[8] = {&a, &b, &c};
  GrVertex* scratch[8];
  int count = 3;
  ClipCodes codes;
  codes.or_codes = a.codes | b.codes | c.codes;
  codes.and_codes = a.codes & b.codes & c.codes;
  GrVertex** out = clip_polygon(list, scratch, count, codes, 8);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(codes.and_codes, 0);
  EXPECT_EQ(codes.or_codes, 0);
  int on_plane = 0;
  for (int i = 0; i < count; i++) {
    EXPECT_LE(out[i]->x, out[i]->z + 1e-6f);
    if (std::fabs(out[i]->x - out[i]->z) < 1e-6f) on_plane++;
  }
  EXPECT_EQ(on_plane, 2);
  EXPECT_EQ(out[0], &a) << "a vertex inside keeps its place and its record";
}

TEST_F(ClipTest, PolygonBeyondOneSideIsRejected) {
  GrVertex a = view_vertex(2, 0, 1), b = view_vertex(3, 0, 1), c = view_vertex(2, 0.5f, 1);
  GrVertex* list[8] = {&a, &b, &c};
  GrVertex* scratch[8];
  int count = 3;
  ClipCodes codes{static_cast<uint8_t>(a.codes | b.codes | c.codes),
                  static_cast<uint8_t>(a.codes & b.codes & c.codes)};
  clip_polygon(list, scratch, count, codes, 8);
  EXPECT_NE(codes.and_codes, 0);
}

TEST_F(ClipTest, PolygonCutByFarAndSidesStaysInside) {
  clip_set_far(true, 5.0f);
  // A big quad spanning the view left to right and reaching beyond the far
  // plane: cut by far, left and right.
  GrVertex a = view_vertex(-20, 0, 1), b = view_vertex(20, 0, 1), c = view_vertex(20, 0, 10),
           d = view_vertex(-20, 0, 10);
  GrVertex* list[16] = {&a, &b, &c, &d};
  GrVertex* scratch[16];
  int count = 4;
  ClipCodes codes;
  codes.and_codes = 0xff;
  for (int i = 0; i < 4; i++) {
    codes.or_codes |= list[i]->codes;
    codes.and_codes &= list[i]->codes;
  }
  GrVertex** out = clip_polygon(list, scratch, count, codes, 16);
  ASSERT_EQ(codes.and_codes, 0);
  ASSERT_GE(count, 4);
  for (int i = 0; i < count; i++) {
    EXPECT_EQ(clip_codes_of(out[i]->x, out[i]->y, out[i]->z + 1e-5f) & (CLIP_LEFT | CLIP_RIGHT), 0);
    EXPECT_LE(out[i]->z, 5.0f + 1e-5f);
  }
}

TEST_F(ClipTest, FullPoolRefusesAndDropsGeometry) {
  for (int i = 0; i < MAX_CLIP_VERTICES; i++) ASSERT_NE(clip_new_vertex(), nullptr);
  EXPECT_EQ(clip_new_vertex(), nullptr);
  EXPECT_EQ(clip_pool_used(), MAX_CLIP_VERTICES);

  GrVertex a = view_vertex(0, 0, 1), b = view_vertex(2, 0, 1), c = view_vertex(0, 0.5f, 1);
  GrVertex* pa = &a;
  GrVertex* pb = &b;
  clip_line(pa, pb, a.codes | b.codes);
  EXPECT_NE(pa->codes | pb->codes, 0) << "an uncut line must not be drawn";

  GrVertex* list[8] = {&a, &b, &c};
  GrVertex* scratch[8];
  int count = 3;
  ClipCodes codes{static_cast<uint8_t>(a.codes | b.codes | c.codes), 0};
  clip_polygon(list, scratch, count, codes, 8);
  EXPECT_NE(codes.and_codes, 0) << "an uncut polygon must not be drawn";

  clip_pool_reset();
  EXPECT_NE(clip_new_vertex(), nullptr);
}

TEST_F(ClipTest, PlaneNeverWritesPastTheOutputList) {
  GrVertex a = view_vertex(0, 0, 1), b = view_vertex(2, 0, 1), c = view_vertex(0, 0.5f, 1);
  GrVertex* src[3] = {&a, &b, &c};
  GrVertex* dst[4];
  GrVertex sentinel;
  dst[3] = &sentinel;
  int count = 3;
  ClipCodes codes;
  clip_plane(CLIP_RIGHT, src, dst, count, codes, 3);  // room for 3, needs 4
  EXPECT_EQ(dst[3], &sentinel);
  EXPECT_NE(codes.and_codes & CLIP_RIGHT, 0);
  // The source list needs no spare slots past its vertices.
  count = 3;
  clip_plane(CLIP_RIGHT, src, dst, count, codes, 4);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(codes.and_codes, 0);
}

TEST_F(ClipTest, SphereAgainstTheView) {
  struct Case {
    vector c;
    float r;
    int expect;
  } cases[] = {
      {{0, 0, 10}, 1, 1},
      {{0, 0, -2}, 1, -1},
      {{10, 0, 10}, 1, 0},    // centre on the right plane
      {{20, 0, 10}, 1, -1},   // well beyond it
      {{0, -20, 10}, 1, -1},  // below
      {{0, 0, 0.5f}, 1, 0},   // around the eye
      {{0, 0, -1}, 1, -1},    // touching the eye from behind
      {{0, 0, 1000}, 1, 1},   // the far plane is not tested
  };
  for (const Case& c : cases) EXPECT_EQ(clip_sphere_view(c.c, c.r), c.expect) << c.c.x << "," << c.c.z;
}

// ---- boxes ------------------------------------------------------------------

TEST(BoxTest, CornersFollowTheNumbering) {
  const vector mn{1, 2, 3}, mx{4, 5, 6};
  const vector expect[8] = {{4, 5, 3}, {4, 2, 3}, {1, 2, 3}, {1, 5, 3},
                            {4, 5, 6}, {4, 2, 6}, {1, 2, 6}, {1, 5, 6}};
  for (int i = 0; i < 8; i++) {
    vector c;
    box_corner(c, i, mn, mx);
    EXPECT_EQ(c, expect[i]) << i;
  }
}

TEST(BoxTest, FromPointsOverlapGrowSweep) {
  vector mn, mx;
  box_from_points(mn, mx, {3, -1, 5}, {1, 2, 5});
  EXPECT_EQ(mn, vector(1, -1, 5));
  EXPECT_EQ(mx, vector(3, 2, 5));

  EXPECT_TRUE(box_overlap({0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2})) << "touching corners overlap";
  EXPECT_FALSE(box_overlap({0, 0, 0}, {1, 1, 1}, {1.01f, 0, 0}, {2, 1, 1}));
  EXPECT_FALSE(box_overlap({0, 0, 0}, {1, 1, 1}, {0, 0, -3}, {1, 1, -2}));

  box_grow(mn, mx, {2, -3, 0}, {2, 0, 9});
  EXPECT_EQ(mn, vector(1, -3, 0));
  EXPECT_EQ(mx, vector(3, 2, 9));

  vector a{0, 0, 0}, b{1, 1, 1};
  box_sweep(a, b, {2, -3, 0});
  EXPECT_EQ(a, vector(0, -3, 0));
  EXPECT_EQ(b, vector(3, 1, 1));
}

// Every pair of consecutive outline corners must be an edge between a face
// turned toward the point and one turned away, and there must be no other
// such edge: that is what an outline is.
TEST(BoxTest, SilhouetteIsTheOutlineFromEveryRegion) {
  const vector mn{0, 0, 0}, mx{1, 1, 1};
  const float pos[3] = {0.5f, -1.0f, 2.0f};  // inside slab, below, above
  for (int ix = 0; ix < 3; ix++)
    for (int iy = 0; iy < 3; iy++)
      for (int iz = 0; iz < 3; iz++) {
        const vector p{pos[ix], pos[iy], pos[iz]};
        int corners[6];
        const int n = box_silhouette(corners, p, mn, mx);
        if (ix == 0 && iy == 0 && iz == 0) {
          EXPECT_EQ(n, 0);
          continue;
        }
        const int outside_axes = (ix != 0) + (iy != 0) + (iz != 0);
        EXPECT_EQ(n, outside_axes == 1 ? 4 : 6) << p.x << "," << p.y << "," << p.z;

        auto visible = [&](int axis, float side) {
          return side == 0.0f ? p[axis] < 0.0f : p[axis] > 1.0f;
        };
        auto outline_edge = [&](int c1, int c2) {
          vector a, b;
          box_corner(a, c1, mn, mx);
          box_corner(b, c2, mn, mx);
          int differ = -1, count = 0;
          for (int k = 0; k < 3; k++)
            if (a[k] != b[k]) differ = k, count++;
          if (count != 1) return false;
          int faces_seen = 0;
          for (int k = 0; k < 3; k++)
            if (k != differ && visible(k, a[k])) faces_seen++;
          return faces_seen == 1;
        };
        for (int i = 0; i < n; i++)
          EXPECT_TRUE(outline_edge(corners[i], corners[(i + 1) % n]))
              << "region " << ix << iy << iz << " corners " << corners[i] << "-" << corners[(i + 1) % n];
        int total = 0;
        for (int c1 = 0; c1 < 8; c1++)
          for (int c2 = c1 + 1; c2 < 8; c2++)
            if (outline_edge(c1, c2)) total++;
        EXPECT_EQ(total, n);
      }
}

TEST(BoxTest, SilhouetteBelowInZOnly) {
  int corners[6];
  ASSERT_EQ(box_silhouette(corners, {0.5f, 0.5f, -1}, {0, 0, 0}, {1, 1, 1}), 4);
  EXPECT_EQ(corners[0], 3);
  EXPECT_EQ(corners[1], 0);
  EXPECT_EQ(corners[2], 1);
  EXPECT_EQ(corners[3], 2);
  // A point on a face counts as inside on that axis.
  EXPECT_EQ(box_silhouette(corners, {1, 1, 0}, {0, 0, 0}, {1, 1, 1}), 0);
}

TEST(BoxTest, PlaneCornersAreTheExtremes) {
  const vector mn{-1, -2, -3}, mx{4, 5, 6};
  const vector normals[] = {{1, 0, 0},  {0, -1, 0},        {0, 0, 1},   {1, 1, 1},
                            {-1, 2, -3}, {0.3f, -0.2f, 0.9f}, {0, 0, 0}, {-0.5f, -0.5f, 0.7f}};
  for (const vector& n : normals) {
    plane p{n, 0.5f};
    int against, along;
    box_plane_corners(p, against, along);
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < 8; i++) {
      vector c;
      box_corner(c, i, mn, mx);
      lo = std::fmin(lo, p.distance(c));
      hi = std::fmax(hi, p.distance(c));
    }
    vector ca, cb;
    box_corner(ca, against, mn, mx);
    box_corner(cb, along, mn, mx);
    EXPECT_FLOAT_EQ(p.distance(ca), lo) << n.x << "," << n.y << "," << n.z;
    EXPECT_FLOAT_EQ(p.distance(cb), hi) << n.x << "," << n.y << "," << n.z;
  }
  // A zero component counts as negative: max on that axis against the normal.
  int against, along;
  box_plane_corners(plane{{0, 0, 1}, 0}, against, along);
  EXPECT_EQ(against, 0);  // x max, y max, z min
  EXPECT_EQ(along, 6);    // x min, y min, z max
}

TEST(BoxTest, CrossesPlane) {
  const vector mn{0, 0, 0}, mx{1, 1, 1};
  struct Case {
    float d;  // plane x = -d with normal +x
    bool expect;
  } cases[] = {
      {0.5f, false},  // box wholly in front
      {-0.5f, true},  // straddles
      {-1.0f, true},  // farthest corner touches
      {-2.0f, false}, // wholly behind
      {0.0f, true},   // nearest corner on the plane
  };
  for (const Case& c : cases)
    EXPECT_EQ(box_crosses_plane(mn, mx, plane{{1, 0, 0}, c.d}), c.expect) << c.d;
}

}  // namespace

#include "quarn/math/planeclip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr float PI = 3.14159265f;

plane make_plane(vector n, const vector& through) {
  n.normalize();
  plane p;
  return plane::from_normal_point(p, n, through);
}

// The square |x| <= 1, |z| <= 1 in the ground plane.
const vector SQUARE[4] = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};

float area(int n, const vector* pts) {
  vector c;
  return polygon_area_centroid(n, pts, c);
}

TEST(PlaneClip, Classify) {
  plane ground = make_plane({0, 1, 0}, {0, 0, 0});
  struct Case {
    float y, offset;
    int cls;
  } cases[] = {
      {0.0001f, 0, PLANE_ON},  // exactly the tolerance in front: on the plane
      {-0.0001f, 0, PLANE_ON},  {0.0002f, 0, PLANE_FRONT}, {-0.0002f, 0, PLANE_BEHIND},
      {1.0f, 1.0f, PLANE_ON},   {0.5f, 1.0f, PLANE_BEHIND}, {3.0f, 1.0f, PLANE_FRONT},
  };
  for (const Case& c : cases) EXPECT_EQ(plane_classify(ground, {5, c.y, -5}, c.offset), c.cls) << c.y;
}

TEST(PlaneClip, SquareByOnePlane) {
  vector out[8];
  // Through the middle: 4 points, half the area.
  int n = clip_polygon_by_plane(4, SQUARE, out, make_plane({1, 0, 0}, {0, 0, 0}));
  EXPECT_EQ(n, 4);
  EXPECT_FLOAT_EQ(area(n, out), 2.0f);
  for (int i = 0; i < n; ++i) EXPECT_LE(out[i].x, 0.0f);
  // A point exactly on the plane is kept.
  n = clip_polygon_by_plane(4, SQUARE, out, make_plane({1, 0, 0}, {1, 0, 0}));
  EXPECT_EQ(n, 4);
  EXPECT_FLOAT_EQ(area(n, out), 4.0f);

  // Through the corner (-1, -1) and the middle (1, 0) of the opposite side,
  // keeping the corner (1, -1): 4 points (the corner on the plane appears
  // again as the crossing of the edge leaving it), area 1.
  vector n_dir{-1, 0, 2};  // perpendicular to the line, toward (1, 1)
  n = clip_polygon_by_plane(4, SQUARE, out, make_plane(n_dir, {-1, 0, -1}));
  EXPECT_EQ(n, 4);
  EXPECT_NEAR(area(n, out), 1.0f, 1e-5f);
}

TEST(PlaneClip, ManyPlanes) {
  const vector tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
  const plane box[4] = {make_plane({1, 0, 0}, {5, 0, 0}), make_plane({-1, 0, 0}, {-5, 0, 0}),
                        make_plane({0, 0, 1}, {0, 0, 5}), make_plane({0, 0, -1}, {0, 0, -5})};
  vector out[CLIP_POLYGON_MAX];
  // Wholly behind every plane: unchanged.
  EXPECT_EQ(clip_polygon_to_planes(3, tri, out, box, 4), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], tri[i]);
  // Wholly in front of one plane: nothing left.
  const plane away = make_plane({0, 0, 1}, {0, 0, -1});
  const plane with_away[2] = {box[0], away};
  EXPECT_EQ(clip_polygon_to_planes(3, tri, out, with_away, 2), 0);
  // No planes: a copy.
  EXPECT_EQ(clip_polygon_to_planes(3, tri, out, nullptr, 0), 3);

  // Odd and even numbers of planes both end in the caller's array.
  const plane halves[3] = {make_plane({1, 0, 0}, {0, 0, 0}), make_plane({0, 0, 1}, {0, 0, 0}),
                           make_plane({1, 0, 1}, {-0.5f, 0, 0})};
  int n = clip_polygon_to_planes(4, SQUARE, out, halves, 1);
  EXPECT_FLOAT_EQ(area(n, out), 2.0f);
  n = clip_polygon_to_planes(4, SQUARE, out, halves, 2);
  EXPECT_FLOAT_EQ(area(n, out), 1.0f);
  n = clip_polygon_to_planes(4, SQUARE, out, halves, 3);
  EXPECT_NEAR(area(n, out), 1.0f - 0.5f * 0.5f * 0.5f, 1e-5f);  // the corner x + z > -0.5 cut off
}

TEST(PlaneClip, BuffersAreNeverOverrun) {
  // A 31-point circle; each plane shaves off one vertex and adds a point.
  vector circle[31];
  for (int i = 0; i < 31; ++i) {
    float a = 2 * PI * i / 31;
    circle[i].set(std::cos(a), 0, std::sin(a));
  }
  auto shave = [&](int i) { return make_plane(circle[i], circle[i] * 0.999f); };
  const plane one[1] = {shave(0)};
  const plane two[2] = {shave(0), shave(10)};

  struct Guarded {
    vector out[CLIP_POLYGON_MAX];
    vector guard[4];
  };
  auto g = std::make_unique<Guarded>();
  for (auto& v : g->guard) v.set(9, 9, 9);
  EXPECT_EQ(clip_polygon_to_planes(31, circle, g->out, one, 1), 32);
  // 33 points would not fit: refused, and nothing written past the array.
  EXPECT_EQ(clip_polygon_to_planes(31, circle, g->out, two, 2), 0);
  for (auto& v : g->guard) EXPECT_EQ(v, vector(9, 9, 9));

  // One plane: the caller's array holds count + 1 points, enough for any
  // convex polygon. A zigzag crosses the plane at every edge and would need
  // 4 kept points and 8 crossings; it is refused instead of written past.
  struct GuardedOne {
    vector out[9];
    vector guard[4];
  };
  auto g1 = std::make_unique<GuardedOne>();
  for (auto& v : g1->guard) v.set(9, 9, 9);
  vector zigzag[8];
  for (int i = 0; i < 8; ++i) zigzag[i].set(i % 2 ? 1.0f : -1.0f, 0, static_cast<float>(i < 4 ? i : 7 - i));
  EXPECT_EQ(clip_polygon_by_plane(8, zigzag, g1->out, make_plane({1, 0, 0}, {0, 0, 0})), 0);
  for (auto& v : g1->guard) EXPECT_EQ(v, vector(9, 9, 9));

  // 32 or more input points are refused outright.
  vector big[40];
  for (int i = 0; i < 40; ++i) big[i] = circle[i % 31];
  EXPECT_EQ(clip_polygon_to_planes(32, big, g->out, one, 1), 0);
  EXPECT_EQ(clip_polygon_to_planes(-1, big, g->out, one, 1), 0);
}

TEST(PlaneClip, VolumeTests) {
  // The unit cube as a volume of outward planes.
  const plane cube[6] = {make_plane({1, 0, 0}, {1, 0, 0}),  make_plane({-1, 0, 0}, {-1, 0, 0}),
                         make_plane({0, 1, 0}, {0, 1, 0}),  make_plane({0, -1, 0}, {0, -1, 0}),
                         make_plane({0, 0, 1}, {0, 0, 1}),  make_plane({0, 0, -1}, {0, 0, -1})};
  const vector inside_tri[3] = {{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}};
  const vector crossing_tri[3] = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}};
  const vector outside_tri[3] = {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}};

  EXPECT_FALSE(points_any_in_front(3, inside_tri, cube[0]));
  EXPECT_TRUE(points_any_in_front(3, crossing_tri, cube[0]));
  EXPECT_TRUE(points_behind_all_planes(3, inside_tri, cube, 6, 0));
  EXPECT_TRUE(points_behind_all_planes(3, crossing_tri, cube, 6, 0));
  EXPECT_FALSE(points_behind_all_planes(3, outside_tri, cube, 6, 0));
  EXPECT_TRUE(points_behind_all_planes(3, outside_tri, cube, 0, 0));  // no planes
  // The offset moves every plane outward.
  EXPECT_TRUE(points_behind_all_planes(3, outside_tri, cube, 6, 2.5f));

  struct Case {
    vector c;
    float r;
    bool touches, inside;
  } cases[] = {
      {{0, 0, 0}, 0.5f, true, true},    {{0, 0, 0}, 1.5f, true, false},
      {{1.8f, 0, 0}, 1.0f, true, false}, {{2.5f, 0, 0}, 1.0f, false, false},
      {{2.0f, 0, 0}, 1.0f, false, false},  // just touching counts as apart
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sphere_touches_volume(c.c, c.r, cube, 6, 0), c.touches) << c.c.x << " r " << c.r;
    EXPECT_EQ(sphere_inside_volume(c.c, c.r, cube, 6, 0), c.inside) << c.c.x << " r " << c.r;
  }
}

// ---------------------------------------------------------------------------

float area2(int n, const vector2* p) {
  float a = 0;
  for (int i = 0; i < n; ++i) {
    const vector2& u = p[i];
    const vector2& v = p[(i + 1) % n];
    a += u.x * v.y - v.x * u.y;
  }
  return std::fabs(a) * 0.5f;
}

const vector2 SQ2[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};

TEST(PlaneClip2d, ClipsEitherWinding) {
  const vector2 big_ccw[4] = {{-5, -5}, {5, -5}, {5, 5}, {-5, 5}};
  const vector2 big_cw[4] = {{-5, 5}, {5, 5}, {5, -5}, {-5, -5}};
  const vector2 half_ccw[4] = {{0, -5}, {5, -5}, {5, 5}, {0, 5}};
  const vector2 half_cw[4] = {{0, 5}, {5, 5}, {5, -5}, {0, -5}};
  vector2 out[CLIP_POLYGON_MAX];
  const vector2* result = nullptr;

  // Nothing to cut: the input itself comes back.
  EXPECT_EQ(clip_polygon_2d(4, big_ccw, 4, SQ2, out, &result), 4);
  EXPECT_EQ(result, SQ2);
  EXPECT_EQ(clip_polygon_2d(4, big_cw, 4, SQ2, out, &result), 4);
  EXPECT_EQ(result, SQ2);

  for (const vector2* clip : {half_ccw, half_cw}) {
    int n = clip_polygon_2d(4, clip, 4, SQ2, out, &result);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(result, out);
    EXPECT_NEAR(area2(n, out), 2.0f, 1e-5f);
    for (int i = 0; i < n; ++i) EXPECT_GE(out[i].x, -1e-5f);
  }

  // Wholly outside: nothing.
  const vector2 far_away[3] = {{10, 10}, {11, 10}, {10, 11}};
  EXPECT_EQ(clip_polygon_2d(3, far_away, 4, SQ2, out, &result), 0);
  // A diamond inside the square cuts off the four corners: 8 points.
  const vector2 diamond[4] = {{0, -1.5f}, {1.5f, 0}, {0, 1.5f}, {-1.5f, 0}};
  int n = clip_polygon_2d(4, diamond, 4, SQ2, out, &result);
  EXPECT_EQ(n, 8);
  EXPECT_NEAR(area2(n, out), 4.0f - 4 * 0.125f, 1e-5f);
}

TEST(PlaneClip2d, DegenerateAndOversizedInputs) {
  vector2 out[CLIP_POLYGON_MAX];
  const vector2* result = nullptr;
  // No clip edges: the polygon as it is.
  EXPECT_EQ(clip_polygon_2d(0, nullptr, 4, SQ2, out, &result), 4);
  EXPECT_EQ(result, SQ2);
  // Clip polygons of one and two points have no third point to read for the
  // winding; exact-size heap arrays let the sanitizer see any read past them.
  auto one = std::make_unique<vector2[]>(1);
  one[0] = {0, 0};
  EXPECT_EQ(clip_polygon_2d(1, one.get(), 4, SQ2, out, &result), 4);
  auto two = std::make_unique<vector2[]>(2);
  two[0] = {0, -5};
  two[1] = {0, 5};
  int n = clip_polygon_2d(2, two.get(), 4, SQ2, out, &result);
  EXPECT_GE(n, 0);
  EXPECT_LE(n, CLIP_POLYGON_MAX);

  // Too small and too large.
  EXPECT_EQ(clip_polygon_2d(4, SQ2, 2, SQ2, out, &result), 0);
  std::vector<vector2> many(40, vector2{0, 0});
  for (int i = 0; i < 40; ++i) many[i] = {std::cos(2 * PI * i / 40), std::sin(2 * PI * i / 40)};
  EXPECT_EQ(clip_polygon_2d(4, SQ2, 32, many.data(), out, &result), 0);
  EXPECT_EQ(clip_polygon_2d(33, many.data(), 4, SQ2, out, &result), 0);
  // 31 points clipped by a 32-edge polygon that cuts every corner: the
  // result would need more than 32 points, and is refused.
  std::vector<vector2> clip32(32);
  for (int i = 0; i < 32; ++i) {
    float a = 2 * PI * (i + 0.5f) / 32;
    clip32[i] = {0.99f * std::cos(a), 0.99f * std::sin(a)};
  }
  n = clip_polygon_2d(32, clip32.data(), 31, many.data(), out, &result);
  EXPECT_GE(n, 0);
  EXPECT_LE(n, CLIP_POLYGON_MAX);
}

}  // namespace

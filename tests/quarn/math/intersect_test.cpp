#include <type_traits>
#include "quarn/math/intersect.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

namespace {

constexpr float PI = 3.14159265f;

void expect_vec(const vector& got, const vector& want, float tol, const char* what = "") {
  EXPECT_NEAR(got.x, want.x, tol) << what;
  EXPECT_NEAR(got.y, want.y, tol) << what;
  EXPECT_NEAR(got.z, want.z, tol) << what;
}

const plane Ground{{0, 1, 0}, 0};  // y = 0, front up

// ---- planes -------------------------------------------------------------------

TEST(IxPlane, LineAndRay) {
  vector p;
  float t;
  ASSERT_TRUE(ix_line_plane({0, 5, 0}, {0, -2, 0}, Ground, p));
  expect_vec(p, {0, 0, 0}, 1e-6f);
  // A line meets the plane behind its origin too; a ray does not.
  ASSERT_TRUE(ix_line_plane_t({1, 5, 0}, {0, 1, 0}, Ground, t));
  EXPECT_FLOAT_EQ(t, -5.0f);
  EXPECT_FALSE(ix_ray_plane({1, 5, 0}, {0, 1, 0}, Ground, p));
  expect_vec(p, {1, 0, 0}, 1e-6f, "the point is written even behind");
  EXPECT_TRUE(ix_ray_plane({1, 5, 0}, {0, -1, 0}, Ground, p));
  // Parallel.
  EXPECT_FALSE(ix_line_plane({0, 5, 0}, {1, 0, 0}, Ground, p));
  EXPECT_FALSE(ix_ray_plane({0, 0, 0}, {1, 0, 0}, Ground, p));
}

TEST(IxPlane, Segments) {
  struct Case {
    vector o, d;
    bool point_form, front_form, t_form;
    float t;
  } cases[] = {
      {{0, 2, 0}, {0, -4, 0}, true, true, true, 0.5f},   // down through the plane
      {{0, -2, 0}, {0, 4, 0}, true, false, false, 0.5f},  // up from behind
      {{0, 2, 0}, {0, -1, 0}, false, false, false, 0},    // stops short
      {{0, 2, 0}, {0, -2, 0}, true, true, true, 1.0f},    // ends on it
      {{0, 0, 0}, {0, -1, 0}, true, true, true, 0.0f},    // starts on it
      {{0, 2, 0}, {3, 0, 0}, false, false, false, 0},     // parallel in front
  };
  for (const Case& c : cases) {
    vector p;
    float t = -99;
    EXPECT_EQ(ix_segment_plane_point(p, t, c.o, c.d, {5, 0, 5}, {0, 1, 0}), c.point_form) << c.o.y << c.d.y;
    if (c.point_form) {
      EXPECT_FLOAT_EQ(t, c.t);
    }
    t = -99;
    EXPECT_EQ(ix_segment_plane_front(p, t, c.o, c.d, Ground), c.front_form) << c.o.y << c.d.y;
    if (c.front_form) {
      EXPECT_FLOAT_EQ(t, c.t);
      EXPECT_NEAR(p.y, 0.0f, 1e-6f);
    }
    t = -99;
    EXPECT_EQ(ix_segment_plane_t(c.o, c.d, Ground, t), c.t_form) << c.o.y << c.d.y;
    if (c.t_form) {
      EXPECT_FLOAT_EQ(t, c.t);
    }
  }
  // The front form stores t even when it is out of range.
  vector p;
  float t = 0;
  EXPECT_FALSE(ix_segment_plane_front(p, t, {0, 2, 0}, {0, -1, 0}, Ground));
  EXPECT_FLOAT_EQ(t, 2.0f);
}

TEST(IxPlane, SegmentLyingInThePlaneTouchesAtOnce) {
  float t = -1;
  ASSERT_TRUE(ix_segment_plane_t({0, 0, 0}, {1, 0, 0}, Ground, t));
  EXPECT_EQ(t, 0.0f) << "no 0/0";
}

TEST(IxPlane, PlanePlaneLine) {
  struct Case {
    plane a, b;
  } cases[] = {
      {{{1, 0, 0}, -1}, {{0, 1, 0}, -2}},  // x = 1 and y = 2: along z
      {{{1, 0, 0}, -1}, {{0, 0, 1}, 3}},   // x = 1 and z = -3: along y
      {{{0, 1, 0}, 4}, {{0, 0, 1}, -2}},   // y = -4 and z = 2: along x
      {{{0.6f, 0.8f, 0}, -1}, {{0, 0.6f, 0.8f}, 2}},
  };
  for (const Case& c : cases) {
    vector p, d;
    ASSERT_TRUE(ix_plane_plane(c.a, c.b, p, d));
    EXPECT_NEAR(d.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(vector::dot(d, c.a.normal), 0.0f, 1e-5f);
    EXPECT_NEAR(vector::dot(d, c.b.normal), 0.0f, 1e-5f);
    EXPECT_NEAR(c.a.distance(p), 0.0f, 1e-4f);
    EXPECT_NEAR(c.b.distance(p), 0.0f, 1e-4f);
  }
  vector p, d;
  EXPECT_FALSE(ix_plane_plane({{0, 1, 0}, 0}, {{0, 1, 0}, -5}, p, d));
  EXPECT_FALSE(ix_plane_plane({{0, 1, 0}, 0}, {{0, -1, 0}, 0}, p, d));
}

TEST(IxPlane, MovingSphere) {
  float t;
  vector p;
  ASSERT_TRUE(ix_moving_sphere_plane({2, 3, 0}, {0, -4, 0}, 1.0f, Ground, t, p));
  EXPECT_FLOAT_EQ(t, 0.5f);
  expect_vec(p, {2, 0, 0}, 1e-6f);
  EXPECT_FALSE(ix_moving_sphere_plane({2, 3, 0}, {0, -1, 0}, 1.0f, Ground, t, p));  // stops short
  EXPECT_FALSE(ix_moving_sphere_plane({2, 3, 0}, {0, 4, 0}, 1.0f, Ground, t, p));   // moves away
}

// ---- triangles, polygons, quads ------------------------------------------------

TEST(IxPolygon, PointInPolygon) {
  const vector a{0, 0, 0}, b{2, 0, 0}, c{2, 0, 2}, d{0, 0, 2};
  const vector* square[4] = {&a, &b, &c, &d};
  const vector up{0, 1, 0}, down{0, -1, 0};
  struct Case {
    vector p;
    bool inside;
  } cases[] = {
      {{1, 0, 1}, true},     {{1.9f, 0, 0.1f}, true}, {{1, 0, 0}, true},  // on edge v0-v1
      {{0, 0, 0}, true},     {{2, 0, 2}, true},      // corners
      {{3, 0, 1}, false},    {{1, 0, -0.01f}, false}, {{-0.01f, 0, 1}, false},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(ix_point_in_polygon(k.p, 4, square, up), k.inside) << k.p.x << "," << k.p.z;
    EXPECT_EQ(ix_point_in_polygon(k.p, 4, square, down), k.inside) << "either normal sign";
  }
  EXPECT_FALSE(ix_point_in_polygon({1, 0, 1}, 2, square, up));
  EXPECT_FALSE(ix_point_in_polygon({1, 0, 1}, 0, square, up));
  // A fan with a collapsed triangle still finds the point in the other one.
  const vector e{1, 0, 0};
  const vector* fan[5] = {&a, &e, &b, &c, &d};
  EXPECT_TRUE(ix_point_in_polygon({1.5f, 0, 1}, 5, fan, up));
  const vector* flat[3] = {&a, &e, &b};
  EXPECT_FALSE(ix_point_in_polygon({1, 0, 0.5f}, 3, flat, up));
}

TEST(IxPolygon, LineAndSegmentTriangle) {
  const vector a{0, 0, 0}, b{0, 0, 4}, c{4, 0, 0};  // wound so the front faces up
  const vector* tri[3] = {&a, &b, &c};
  plane pl;
  pl.from_points(a, b, c);
  ASSERT_GT(pl.normal.y, 0.9f);
  vector p;
  float t;
  struct Case {
    vector o, d;
    bool line, segment;
    float t;
  } cases[] = {
      {{1, 2, 1}, {0, -4, 0}, true, true, 0.5f},
      {{1, 2, 1}, {0, -1, 0}, true, false, 2.0f},  // too short for the segment
      {{3, 2, 3}, {0, -4, 0}, false, false, 0},    // outside the triangle
      {{1, -2, 1}, {0, 4, 0}, true, false, 0.5f},  // from behind
      {{1, 2, 1}, {1, 0, 0}, false, false, 0},     // parallel
  };
  for (const Case& k : cases) {
    EXPECT_EQ(ix_line_triangle(k.o, k.d, tri, pl, p, t), k.line) << k.o.x << k.d.y;
    if (k.line) {
      EXPECT_FLOAT_EQ(t, k.t);
      expect_vec(p, {k.o.x, 0, k.o.z}, 1e-5f);
    }
    EXPECT_EQ(ix_segment_triangle(k.o, k.d, tri, pl, p, t), k.segment) << k.o.x << k.d.y;
  }
}

TEST(IxPolygon, Parallelogram) {
  const vector corner{0, 0, 0}, e1{2, 0, 0}, e2{1, 0, 2};  // slanted
  vector p;
  float u, v;
  ASSERT_TRUE(ix_segment_parallelogram({1.5f, 1, 1}, {0, -2, 0}, corner, e1, e2, p, u, v));
  EXPECT_NEAR(u, 0.5f, 1e-5f);
  EXPECT_NEAR(v, 0.5f, 1e-5f);
  expect_vec(p, {1.5f, 0, 1}, 1e-5f);
  EXPECT_FALSE(ix_segment_parallelogram({-1, 1, 1}, {0, -2, 0}, corner, e1, e2, p, u, v));  // off u
  EXPECT_FALSE(ix_segment_parallelogram({1.5f, 1, 3}, {0, -2, 0}, corner, e1, e2, p, u, v)); // off v
  EXPECT_FALSE(ix_segment_parallelogram({1.5f, 1, 1}, {0, -0.5f, 0}, corner, e1, e2, p, u, v));
  EXPECT_FALSE(ix_segment_parallelogram({1.5f, 1, 1}, {1, 0, 0}, corner, e1, e2, p, u, v));
}

TEST(IxPolygon, LineQuad) {
  // p1 p2 along one edge, p3 p4 along the opposite one.
  const vector p1{0, 0, 0}, p2{0, 0, 2}, p3{4, 0, 0}, p4{4, 0, 2};
  vector p;
  float s;
  ASSERT_TRUE(ix_line_quad({1, 3, 1}, {0, -1, 0}, p1, p2, p3, p4, p, s));
  expect_vec(p, {1, 0, 1}, 1e-5f);
  EXPECT_NEAR(s, 0.25f, 1e-5f);
  EXPECT_FALSE(ix_line_quad({5, 3, 1}, {0, -1, 0}, p1, p2, p3, p4, p, s));
  EXPECT_FALSE(ix_line_quad({1, 3, 1}, {1, 0, 0}, p1, p2, p3, p4, p, s));
}

// ---- spheres ------------------------------------------------------------------------

TEST(IxSphere, SphereSphere) {
  EXPECT_TRUE(ix_sphere_sphere({0, 0, 0}, {1.5f, 0, 0}, 1, 1));
  EXPECT_FALSE(ix_sphere_sphere({0, 0, 0}, {2, 0, 0}, 1, 1)) << "touching is not overlapping";
  EXPECT_TRUE(ix_sphere_sphere({0, 0, 0}, {0, 0, 0}, 0.1f, 0.1f));
}

TEST(IxSphere, RaySphere) {
  struct Case {
    vector o, d;
    bool hit;
    float t;
  } cases[] = {
      {{0, 0, -10}, {0, 0, 1}, true, 9.0f},
      {{0, 0.5f, -10}, {0, 0, 1}, true, 10.0f - std::sqrt(0.75f)},
      {{0, 0, 10}, {0, 0, 1}, false, 0},      // pointing away
      {{0, 2, -10}, {0, 0, 1}, false, 0},     // passing by
      {{0, 0.5f, 0}, {0, 0, 1}, true, 0.0f},  // inside: the origin, t 0
      {{0, 0, -1}, {0, 0, -1}, true, 0.0f},   // on the surface
  };
  for (const Case& c : cases) {
    vector p;
    float t = 123.0f;
    EXPECT_EQ(ix_ray_sphere(p, t, c.o, c.d, {0, 0, 0}, 1.0f), c.hit) << c.o.y << "," << c.o.z;
    if (c.hit) {
      EXPECT_NEAR(t, c.t, 1e-5f);
      expect_vec(p, c.o + c.d * c.t, 1e-5f);
    }
  }
}

TEST(IxSphere, SegmentSphere) {
  const vector c{0, 0, 0};
  struct Case {
    vector a, b;
    bool hit;
    vector point;
  } cases[] = {
      {{-5, 0, 0}, {5, 0, 0}, true, {-1, 0, 0}},     // through: the entry point
      {{0.5f, 0, 0}, {5, 0, 0}, true, {0.5f, 0, 0}}, // starts inside
      {{-0.2f, 0, 0}, {0.2f, 0, 0}, true, {-0.2f, 0, 0}},
      {{-5, 0.5f, 0}, {5, 0.5f, 0}, true, {-std::sqrt(0.75f), 0.5f, 0}},
      {{-5, 2, 0}, {5, 2, 0}, false, {}},            // line misses
      // Segments whose line passes through but which stop short or start
      // past it: no contact.
      {{-5, 0, 0}, {-1.5f, 0, 0}, false, {}},
      {{-3, 0.9f, 0}, {-0.5f, 0.9f, 0}, false, {}},
      {{1.5f, 0, 0}, {5, 0, 0}, false, {}},
      {{0.9f, 0.9f, 0}, {5, 0.9f, 0}, false, {}},     // leaves it behind
      {{0, 0.5f, 0}, {0, 0.5f, 0}, true, {0, 0.5f, 0}},  // zero length inside
      {{0, 3, 0}, {0, 3, 0}, false, {}},                  // zero length outside
  };
  for (const Case& k : cases) {
    vector p{99, 99, 99};
    EXPECT_EQ(ix_segment_sphere(p, k.a, k.b, c, 1.0f), k.hit) << k.a.x << "," << k.a.y << " " << k.b.x;
    if (k.hit) expect_vec(p, k.point, 1e-5f);
  }
}

TEST(IxSphere, SegmentLengthInSphere) {
  const vector c{0, 0, 0};
  EXPECT_NEAR(ix_segment_length_in_sphere({-5, 0, 0}, {5, 0, 0}, c, 2), 4.0f, 1e-5f);
  EXPECT_NEAR(ix_segment_length_in_sphere({0, 0, 0}, {5, 0, 0}, c, 2), 2.0f, 1e-5f);
  EXPECT_NEAR(ix_segment_length_in_sphere({-0.5f, 0, 0}, {0.5f, 0, 0}, c, 2), 1.0f, 1e-5f);
  EXPECT_EQ(ix_segment_length_in_sphere({-5, 3, 0}, {5, 3, 0}, c, 2), 0.0f);
  EXPECT_EQ(ix_segment_length_in_sphere({3, 0, 0}, {5, 0, 0}, c, 2), 0.0f);
  EXPECT_EQ(ix_segment_length_in_sphere({0, 0, 0}, {0, 0, 0}, c, 2), 0.0f) << "a point has no length";
}

TEST(IxSphere, Silhouette) {
  float circle, cone, offset;
  ASSERT_TRUE(ix_sphere_silhouette({0, 0, -2}, {0, 0, 0}, 1, circle, cone, offset));
  EXPECT_NEAR(circle, std::sqrt(3.0f) / 2, 1e-5f);
  EXPECT_NEAR(offset, 0.5f, 1e-6f);
  EXPECT_NEAR(cone, PI / 3, 1e-5f);
  EXPECT_FALSE(ix_sphere_silhouette({0, 0, -0.5f}, {0, 0, 0}, 1, circle, cone, offset));  // inside
  EXPECT_FALSE(ix_sphere_silhouette({0, 0, -1}, {0, 0, 0}, 1, circle, cone, offset));     // on it
  EXPECT_FALSE(ix_sphere_silhouette({0, 0, 0}, {0, 0, 0}, 1, circle, cone, offset));
  EXPECT_FALSE(ix_sphere_silhouette({0, 0, -2}, {0, 0, 0}, 0, circle, cone, offset));
}

// ---- boxes --------------------------------------------------------------------------

TEST(IxBox, PointTests) {
  const vector mn{0, 0, 0}, mx{1, 2, 3};
  EXPECT_TRUE(ix_point_box({1, 2, 3}, mn, mx)) << "inclusive";
  EXPECT_FALSE(ix_point_box({1.01f, 1, 1}, mn, mx));
  EXPECT_TRUE(ix_point_box_expanded({1.4f, -0.4f, 3.5f}, 0.5f, mn, mx));
  EXPECT_FALSE(ix_point_box_expanded({1.6f, 1, 1}, 0.5f, mn, mx));
  EXPECT_TRUE(ix_box_box(mn, mx, {1, 2, 3}, {4, 4, 4}));
  EXPECT_FALSE(ix_box_box(mn, mx, {1, 2, 3.1f}, {4, 4, 4}));

  // A 2 by 2 by 10 box long along its local z, turned to lie along world x.
  const matrix m = matrix::from_angles(0, 0, PI / 2);
  const vector center{10, 0, 0}, size{2, 2, 10};
  EXPECT_TRUE(ix_point_box_oriented({14.5f, 0, 0}, center, m, size));
  EXPECT_FALSE(ix_point_box_oriented({10, 0, 4}, center, m, size));
  EXPECT_TRUE(ix_point_box_oriented_expanded({10, 0, 1.5f}, 0.6f, center, m, size));
  EXPECT_FALSE(ix_point_box_oriented_expanded({10, 0, 1.5f}, 0.4f, center, m, size));
}

TEST(IxBox, RayBoundingBox) {
  const vector mn{-1, -1, -1}, mx{1, 1, 1};
  struct Case {
    vector o, d;
    bool hit;
    vector point;
  } cases[] = {
      {{0, 0, 0}, {1, 0, 0}, true, {0, 0, 0}},      // inside: the origin
      {{-5, 0, 0}, {1, 0, 0}, true, {-1, 0, 0}},
      {{-5, -5, 0}, {1, 1, 0}, true, {-1, -1, 0}},  // through an edge
      {{5, 0.5f, 0}, {-1, 0, 0}, true, {1, 0.5f, 0}},
      {{-5, 0, 0}, {-1, 0, 0}, false, {}},          // pointing away
      {{-5, 2, 0}, {1, 0, 0}, false, {}},           // parallel, beside
      {{-5, 0, 0}, {1, 2, 0}, false, {}},           // steep: passes above
      {{0, 5, 0}, {0, -1, 0}, true, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    vector p{99, 99, 99};
    EXPECT_EQ(ix_ray_boundingbox(mn, mx, c.o, c.d, p), c.hit) << c.o.x << "," << c.o.y << " " << c.d.x;
    if (c.hit) expect_vec(p, c.point, 1e-5f);
  }
}

TEST(IxBox, SegmentBox) {
  const vector mn{-1, -1, -1}, mx{1, 1, 1};
  struct Case {
    vector a, b;
    bool hit;
    vector point;
  } cases[] = {
      {{0, 0, 0}, {0.5f, 0, 0}, true, {0, 0, 0}},    // both inside: the first end
      {{5, 0, 0}, {0.5f, 0, 0}, true, {0.5f, 0, 0}}, // an end inside
      {{-5, 0, 0}, {5, 0, 0}, true, {-1, 0, 0}},
      {{0, 0, -5}, {0, 0, 5}, true, {0, 0, -1}},
      {{-5, 0, 0}, {-2, 0, 0}, false, {}},           // both beyond min x
      {{-3, 0, 0}, {0, 3, 0}, false, {}},            // past the corner
      {{-3, 0.5f, 0}, {0.5f, 5, 0}, false, {}},      // crosses x = -1 above the box
      {{-1, -1, -1}, {-1, -1, -1}, true, {-1, -1, -1}},  // a point on the corner
  };
  for (const Case& c : cases) {
    vector p{99, 99, 99};
    EXPECT_EQ(ix_segment_box(mn, mx, c.a, c.b, p), c.hit) << c.a.x << "," << c.a.y << " " << c.b.x;
    if (c.hit) expect_vec(p, c.point, 1e-5f);
  }
}

TEST(IxBox, OrientedSegmentAndRay) {
  // Box 2 by 2 by 2 at (10, 0, 0) turned 45 degrees about y: its corner
  // points along world x.
  const matrix m = matrix::from_angles(0, 0, PI / 4);
  const vector center{10, 0, 0}, size{2, 2, 2};
  const float r2 = std::sqrt(2.0f);
  vector p;
  ASSERT_TRUE(ix_linesegment_box_oriented(center, m, size, {0, 0, 0}, {20, 0, 0}, p));
  expect_vec(p, {10 - r2, 0, 0}, 1e-4f);
  EXPECT_FALSE(ix_linesegment_box_oriented(center, m, size, {0, 0, 0}, {8, 0, 0}, p));
  // Beside the corner: inside the unturned box's outline, outside the turned one.
  EXPECT_FALSE(ix_linesegment_box_oriented(center, m, size, {10.9f, -5, 0.9f}, {10.9f, 5, 0.9f}, p));
  // And the other way round: outside the unturned one, through the turned one.
  ASSERT_TRUE(ix_linesegment_box_oriented(center, m, size, {0, 0, 1.2f}, {20, 0, 1.2f}, p));
  expect_vec(p, {10 - (r2 - 1.2f), 0, 1.2f}, 1e-4f);
  ASSERT_TRUE(ix_ray_box_oriented({0, 0, 0}, {1, 0, 0}, center, m, size, p));
  expect_vec(p, {10 - r2, 0, 0}, 1e-4f);
  EXPECT_FALSE(ix_ray_box_oriented({0, 0, 0}, {-1, 0, 0}, center, m, size, p));
  EXPECT_FALSE(ix_ray_box_oriented({10.9f, -5, 0.9f}, {0, 1, 0}, center, m, size, p));
  ASSERT_TRUE(ix_ray_box_oriented({10, 0, 0}, {0, 1, 0}, center, m, size, p));
  expect_vec(p, {10, 0, 0}, 1e-5f);
}

// A plain separating-axis check over the fifteen candidate axes, written
// from the vectors, to hold the table-driven one against.
bool separated_on(const vector& axis, const vector ax[3], const vector bx[3], const vector& t, const vector& a,
                  const vector& b) {
  if (axis.length_squared() < 1e-8f) return false;
  float ra = 0, rb = 0;
  for (int i = 0; i < 3; i++) {
    ra += a[i] * std::fabs(vector::dot(ax[i], axis));
    rb += b[i] * std::fabs(vector::dot(bx[i], axis));
  }
  return std::fabs(vector::dot(t, axis)) > ra + rb + 1e-4f;
}

TEST(IxBox, ObbObb) {
  float r[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  const vector half{1, 1, 1};
  EXPECT_EQ(ix_obb_obb(r, {0, 0, 0}, half, half), 0) << "the same box in the same place";
  EXPECT_EQ(ix_obb_obb(r, {2.5f, 0, 0}, half, half), 1);
  EXPECT_EQ(ix_obb_obb(r, {0, 0, -2.5f}, half, half), 3);
  EXPECT_EQ(ix_obb_obb(r, {1.9f, 1.9f, 1.9f}, half, half), 0);

  // Random placements: the answer must agree with the plain check, and a
  // reported axis must really separate the boxes.
  unsigned seed = 7;
  auto rnd = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>((seed >> 8) & 0xffff) / 65535.0f;
  };
  int separated = 0, overlapping = 0;
  for (int n = 0; n < 2000; n++) {
    const matrix m = matrix::from_angles(rnd() * 6.28f, rnd() * 6.28f, rnd() * 6.28f);
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) r[i][j] = m.row(j)[i];  // column j: B's axis j in A's frame
    const vector t{rnd() * 6 - 3, rnd() * 6 - 3, rnd() * 6 - 3};
    const vector a{0.2f + rnd(), 0.2f + rnd(), 0.2f + rnd()};
    const vector b{0.2f + rnd(), 0.2f + rnd(), 0.2f + rnd()};
    const vector ax[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const vector bx[3] = {m.right, m.up, m.forward};
    vector axes[16];
    axes[1] = ax[0], axes[2] = ax[1], axes[3] = ax[2];
    axes[4] = bx[0], axes[5] = bx[1], axes[6] = bx[2];
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) ax[i].cross(axes[7 + 3 * i + j], bx[j]);
    bool any = false;
    for (int k = 1; k <= 15; k++) any = any || separated_on(axes[k], ax, bx, t, a, b);

    const int got = ix_obb_obb(r, t, a, b);
    if (got == 0) {
      overlapping++;
      EXPECT_FALSE(any) << "missed a separating axis, case " << n;
    } else {
      separated++;
      ASSERT_GE(got, 1);
      ASSERT_LE(got, 15);
      const vector& axis = axes[got];
      float ra = 0, rb = 0;
      for (int i = 0; i < 3; i++) {
        ra += a[i] * std::fabs(vector::dot(ax[i], axis));
        rb += b[i] * std::fabs(vector::dot(bx[i], axis));
      }
      EXPECT_GT(std::fabs(vector::dot(t, axis)), ra + rb - 1e-4f) << "axis " << got << " case " << n;
    }
  }
  EXPECT_GT(separated, 100);
  EXPECT_GT(overlapping, 100);
}

// ---- moving spheres and slabs --------------------------------------------------------

TEST(IxMovingSphere, Edge) {
  const vector e0{0, 0, 0}, e1{0, 0, 10};  // an edge along z
  struct Case {
    vector start, vel;
    float limit;
    bool hit;
    float t;
    vector point;
  } cases[] = {
      {{5, 0, 5}, {-8, 0, 0}, 2.0f, true, 0.5f, {0, 0, 5}},          // square on
      {{5, 0, 5}, {-2, 0, 0}, 2.0f, false, 0, {}},                   // stops short
      {{5, 0, 5}, {-8, 0, 0}, 0.4f, false, 0, {}},                   // beyond the limit
      {{5, 3, 5}, {-8, 0, 0}, 2.0f, false, 0, {}},                   // passes above
      {{0.98f, 0, 5}, {-1, 0, 0}, 2.0f, true, 1e-6f, {0, 0, 5}},     // overlapping a little
      {{5, 0, -3}, {-8, 0, 0}, 2.0f, false, 0, {}},                  // passes before the edge
      {{0, 0, -5}, {0, 0, 8}, 2.0f, true, 0.5f, {0, 0, 0}},          // along it: meets the corner
      {{5, 0, 5}, {0, 0, 0}, 2.0f, false, 0, {}},                    // not moving
  };
  for (const Case& c : cases) {
    vector p{99, 99, 99};
    float t = -1;
    EXPECT_EQ(ix_moving_sphere_edge(p, c.start, c.vel, 1.0f, e0, e1, t, c.limit), c.hit)
        << c.start.x << "," << c.start.y << "," << c.start.z;
    if (c.hit) {
      EXPECT_NEAR(t, c.t, 1e-5f);
      expect_vec(p, c.point, 1e-4f);
    }
  }
}

TEST(IxMovingSphere, Polygon) {
  // A wall square in the plane x = 0, from z 0 to 4 and y 0 to 4.
  const vector a{0, 0, 0}, b{0, 4, 0}, c{0, 4, 4}, d{0, 0, 4};
  const vector* wall[4] = {&a, &b, &c, &d};
  vector p;
  float t;
  // Moving past the wall's edge at z = 4, half a unit beyond it.
  ASSERT_TRUE(ix_moving_sphere_polygon(p, {-3, 2, 4.5f}, {6, 0, 0}, 1.0f, 4, wall, t));
  expect_vec(p, {0, 2, 4}, 1e-4f);
  EXPECT_NEAR(t, (3.0f - std::sqrt(0.75f)) / 6.0f, 1e-4f);
  // Far from every edge.
  EXPECT_FALSE(ix_moving_sphere_polygon(p, {-3, 2, 20}, {6, 0, 0}, 1.0f, 4, wall, t));
  EXPECT_FALSE(ix_moving_sphere_polygon(p, {-3, 2, 6}, {6, 0, 0}, 1.0f, 0, wall, t));
}

TEST(IxMovingSphere, Slab) {
  vector p{99, 99, 99};
  float enter, span;
  // Slab of half-thickness 1 around y = 5.
  ASSERT_TRUE(ix_segment_slab(p, {0, 0, 0}, {0, 10, 0}, 1.0f, {0, 1, 0}, {0, 5, 0}, enter, span));
  EXPECT_NEAR(enter, 0.4f, 1e-6f);
  EXPECT_NEAR(span, 0.2f, 1e-6f);
  expect_vec(p, {0, 5, 0}, 1e-5f);
  // Starting inside.
  EXPECT_TRUE(ix_segment_slab(p, {0, 5, 0}, {0, 10, 0}, 1.0f, {0, 1, 0}, {0, 5, 0}, enter, span));
  EXPECT_LT(enter, 0.0f);
  // Stops short, already past, parallel.
  EXPECT_FALSE(ix_segment_slab(p, {0, 0, 0}, {0, 3, 0}, 1.0f, {0, 1, 0}, {0, 5, 0}, enter, span));
  EXPECT_FALSE(ix_segment_slab(p, {0, 7, 0}, {0, 3, 0}, 1.0f, {0, 1, 0}, {0, 5, 0}, enter, span));
  EXPECT_FALSE(ix_segment_slab(p, {0, 5, 0}, {3, 0, 0}, 1.0f, {0, 1, 0}, {0, 5, 0}, enter, span));
}

// ---- distances -------------------------------------------------------------------------

TEST(IxDistance, SegmentsCross2d) {
  struct Case {
    vector2 p1, p2, q1, q2;
    bool cross;
  } cases[] = {
      {{0, 0}, {2, 2}, {0, 2}, {2, 0}, true},
      {{0, 0}, {2, 0}, {2, 0}, {3, 5}, true},    // touching end to end
      {{0, 0}, {2, 0}, {0, 1}, {2, 1}, false},   // parallel
      {{0, 0}, {2, 0}, {1, 0}, {3, 0}, false},   // collinear overlap counts as parallel
      {{0, 0}, {1, 1}, {3, 0}, {2, 1}, false},   // lines cross beyond the ends
  };
  for (const Case& c : cases) EXPECT_EQ(ix_segments_cross_2d(c.p1, c.p2, c.q1, c.q2), c.cross);
}

TEST(IxDistance, ClosestPoints) {
  vector out;
  EXPECT_FLOAT_EQ(ix_closest_point_on_line({3, 4, 0}, {0, 0, 0}, {1, 0, 0}, out), 3.0f);
  expect_vec(out, {3, 0, 0}, 1e-6f);
  EXPECT_FLOAT_EQ(ix_closest_point_on_line({-3, 4, 0}, {0, 0, 0}, {1, 0, 0}, out), -3.0f);

  struct Case {
    vector p;
    float t;
    vector out;
  } cases[] = {
      {{1, 5, 0}, 1.0f, {1, 0, 0}},
      {{-4, 1, 0}, 0.0f, {0, 0, 0}},  // before the start
      {{9, 1, 0}, 2.0f, {2, 0, 0}},   // past the end
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(ix_closest_point_on_segment(c.p, {0, 0, 0}, {2, 0, 0}, out), c.t);
    expect_vec(out, c.out, 1e-6f);
  }
  EXPECT_EQ(ix_closest_point_on_segment({5, 5, 5}, {1, 1, 1}, {1, 1, 1}, out), 0.0f);
  expect_vec(out, {1, 1, 1}, 0.0f);
}

// A scope records nothing, so the profiled tests answer inside an open scope
// exactly as the geometry says: a ray along +x from the origin meets the
// sphere of radius 1 round (5, 0, 0) at x = 4.
TEST(IxProfile, ProfiledTestsAnswerAsTheGeometrySays) {
  static_assert(!std::is_copy_constructible_v<profile_scope>);
  profile_scope outer("outer");
  vector p;
  float t = -1;
  for (int pass = 0; pass < 2; ++pass) {
    profile_scope inner("inner");
    ASSERT_TRUE(ix_ray_sphere(p, t, {0, 0, 0}, {1, 0, 0}, {5, 0, 0}, 1.0f));
    EXPECT_FLOAT_EQ(t, 4.0f);
    expect_vec(p, {4, 0, 0}, 1e-6f);
  }
  EXPECT_FALSE(ix_ray_sphere(p, t, {0, 0, 0}, {1, 0, 0}, {5, 3, 0}, 1.0f));
  EXPECT_STREQ(outer.name(), "outer");
}

}  // namespace

#include "quarn/math/vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

#include "quarn/math/floatops.h"
#include "quarn/math/matrix.h"

namespace {

constexpr float PI = 3.14159265f;

void expect_vec(const vector& v, float x, float y, float z, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

TEST(Vector, LayoutIsThreePackedFloats) {
  // Vectors are filled element by element from files and arrays of them are
  // handed to the renderers.
  static_assert(sizeof(vector) == 12);
  static_assert(sizeof(vector2) == 8);
  static_assert(sizeof(plane) == 16);
  static_assert(std::is_trivially_copyable_v<vector>);
  static_assert(std::is_trivially_default_constructible_v<vector>);
  EXPECT_TRUE(zero_vector.is_zero());
}

TEST(Vector, ComparisonAndValidity) {
  vector z{0, 0, 0};
  EXPECT_FALSE(z.near_equal({0.0001f, 0, 0}));
  EXPECT_TRUE(z.near_equal({0.00009f, 0, 0}));
  EXPECT_TRUE(z.near_equal({0, -0.00009f, 0.00009f}));
  EXPECT_TRUE((vector{1, 2, 3} == vector{1, 2, 3}));
  EXPECT_FALSE((vector{1, 2, 3} == vector{1, 2, 3.0000005f}));
  EXPECT_FALSE(vector(NAN, 0, 0).is_valid());
  EXPECT_TRUE(vector(INFINITY, 0, 0).is_valid());
  EXPECT_FALSE(vector(0, 0, 1e-30f).is_zero());
}

TEST(Vector, ArithmeticAndOutForms) {
  vector a{1, 2, 3}, b{4, -5, 6}, out;
  expect_vec(a + b, 5, -3, 9);
  expect_vec(a - b, -3, 7, -3);
  a.cross(out, b);
  expect_vec(out, 2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4);
  // cross into one of its own operands
  vector c = a;
  c.cross(c, b);
  EXPECT_EQ(c, out);
  EXPECT_EQ(vector::dot(a, b), 4 - 10 + 18);
  EXPECT_EQ(a.dot(b), 12.0f);
  expect_vec(a.scaled(out, 2), 2, 4, 6);
  expect_vec(vector_scaled(out, -1, a), -1, -2, -3);
  vector d = a;
  d.divide(4);
  expect_vec(d, 0.25f, 0.5f, 0.75f);
  expect_vec(a.plus_scalar(out, 1), 2, 3, 4);
  expect_vec(a.minus_scalar(out, 1), 0, 1, 2);
  EXPECT_EQ(vec_mag_squared(a), 14.0f);
  EXPECT_FLOAT_EQ(vector(3, 4, 0).length(), 5.0f);
  vector e = a.assign(b);
  EXPECT_EQ(a, b);
  EXPECT_EQ(e, b);
}

TEST(Vector, ApproxLength) {
  struct Case {
    vector v;
    float expected;
  } cases[] = {{{3, 4, 0}, 4 + 0.375f * 3}, {{1, 1, 1}, 1.5625f}, {{0, 0, -2}, 2.0f},
               {{-1, 2, 3}, 3 + 0.375f * 2 + 0.1875f}, {{3, -2, 1}, 3 + 0.375f * 2 + 0.1875f}};
  for (const Case& c : cases) EXPECT_FLOAT_EQ(c.v.approx_length(), c.expected);
  EXPECT_FLOAT_EQ(vector_distance_approx({1, 1, 1}, {4, 5, 1}), 5.125f);
}

TEST(Vector, NormalizeVariantsAndZeroInput) {
  vector v{0, 3, 4};
  EXPECT_FLOAT_EQ(v.normalize_len(), 5.0f);
  expect_vec(v, 0, 0.6f, 0.8f);

  vector z{0, 0, 0};
  z.normalize_safe();
  EXPECT_EQ(z, vector(1, 0, 0));
  z.zero();
  EXPECT_EQ(z.normalize_safe_len(), 1.0f);
  EXPECT_EQ(z, vector(1, 0, 0));
  z.zero();
  z.normalize();
  EXPECT_FALSE(std::isfinite(z.x));  // unchecked form, as documented

  vector2 z2{0, 0};
  EXPECT_EQ(z2.normalize(), 1.0f);
  EXPECT_EQ(z2, vector2(1, 0));
  vector2 w{3, 4};
  EXPECT_FLOAT_EQ(w.normalize(), 5.0f);
  EXPECT_FLOAT_EQ(w.x, 0.6f);
}

TEST(Vector, RotateTakesWorldIntoFrameAndUnrotateBack) {
  // A frame turned 90 degrees of heading: its forward is world +x.
  matrix m = matrix::from_angles(0, 0, PI / 2);
  vector v{1, 0, 0}, out;
  v.rotated(out, m);
  expect_vec(out, 0, 0, 1);  // world +x is the frame's forward
  vector back;
  out.unrotated(back, m);
  expect_vec(back, 1, 0, 0);

  vector origin{10, 0, 0};
  vector p{10, 0, 5};
  p.to_frame(origin, m);
  expect_vec(p, -5, 0, 0);
  p.from_frame(origin, m);
  expect_vec(p, 10, 0, 5);
}

TEST(Vector, DistancesAndProjections) {
  vector a{1, 2, 3}, b{4, 6, 3}, out;
  EXPECT_FLOAT_EQ(vector_distance(a, b), 5.0f);
  EXPECT_FLOAT_EQ(vector_distance_squared(a, b), 25.0f);
  EXPECT_FLOAT_EQ(vector_plane_distance({0, 5, 0}, {0, 1, 0}, {7, 2, 7}), 3.0f);
  EXPECT_FLOAT_EQ(vector_direction(out, b, a), 5.0f);
  expect_vec(out, 0.6f, 0.8f, 0);
  EXPECT_FLOAT_EQ(vector_along(out, {2, 3, 4}, {0, 1, 0}), 3.0f);
  expect_vec(out, 0, 3, 0);
  expect_vec(vector_across(out, {2, 3, 4}, {0, 1, 0}), 2, 0, 4);
  EXPECT_FLOAT_EQ(vector_component_toward({1, 1, 0}, {0, 0, 0}, {0, 10, 0}), 1.0f);
  expect_vec(vector_project_to_plane(out, {1, 5, 1}, {0, 1, 0}, {0, 2, 0}), 1, 2, 1);
  expect_vec(triangle_normal(out, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}), 0, -1, 0);
  expect_vec(triangle_unit_normal(out, {0, 0, 0}, {2, 0, 0}, {2, 0, 2}), 0, -1, 0);
}

TEST(Vector, SignedAngleAndRotations) {
  vector x{1, 0, 0}, z{0, 0, 1}, up{0, 1, 0};
  EXPECT_NEAR(vector_signed_angle(x, z, up), -PI / 2, 1e-6f);
  EXPECT_NEAR(vector_signed_angle(z, x, up), PI / 2, 1e-6f);
  // Parallel unit vectors whose dot rounds past 1 still give 0, not NaN.
  vector a{0.6f, 0.8f, 0.0f};
  EXPECT_EQ(vector_signed_angle(a, a * 3.0f, up), 0.0f);

  // Turning about the forward axis: positive angles follow the bank.
  vector out;
  vector_rotate_about(out, {1, 0, 5}, PI / 2, {0, 0, 5}, z);
  expect_vec(out, 0, -1, 5);
  vector_rotate_about(out, {0, -1, 5}, -PI / 2, {0, 0, 5}, z);
  expect_vec(out, 1, 0, 5);

  // rotate_toward moves v by a fraction of the angle toward w.
  vector_rotate_toward(out, x, z, 0.5f);
  expect_vec(out, std::sqrt(0.5f), 0, std::sqrt(0.5f));
  vector_rotate_toward(out, x, z, 1.0f);
  expect_vec(out, 0, 0, 1);
}

TEST(Vector, RandomDirectionsDrawZFirstThenAngle) {
  uint32_t keep = os_rand_get_state();
  os_srand(2024);
  float z = frand_range(-1, 1);
  float theta = frand() * 6.2831855f;
  os_srand(2024);
  vector v = vector::random_unit();
  float r = std::sqrt(1 - z * z);
  EXPECT_FLOAT_EQ(v.z, z);
  EXPECT_FLOAT_EQ(v.x, r * std::cos(theta));
  EXPECT_FLOAT_EQ(v.y, r * std::sin(theta));

  os_srand(2024);
  vector w = vector::random_unit_2();
  EXPECT_EQ(v, w);

  os_srand(7);
  for (int i = 0; i < 2000; ++i) {
    vector u = vector::random_unit();
    ASSERT_NEAR(u.length(), 1.0f, 1e-5f);
    vector cap = vector::random_in_cap(0.9f);
    ASSERT_GE(cap.z, 0.9f);
    vector cone = vector::random_in_cone(vector{0, 1, 0}, 0.8f);
    ASSERT_GE(cone.y, 0.8f - 1e-5f);
  }
  os_rand_set_state(keep);
}

TEST(Vector2, SegmentTests) {
  vector2 out;
  EXPECT_FLOAT_EQ(vector2_closest_on_segment({5, 3}, {0, 0}, {10, 0}, out), 9.0f);
  EXPECT_EQ(out, vector2(5, 0));
  EXPECT_FLOAT_EQ(vector2_closest_on_segment({-3, 4}, {0, 0}, {10, 0}, out), 25.0f);
  EXPECT_EQ(out, vector2(0, 0));
  EXPECT_FLOAT_EQ(point_segment_distance_sq({13, 4}, {0, 0}, {10, 0}, out), 25.0f);
  EXPECT_EQ(out, vector2(10, 0));
  EXPECT_FLOAT_EQ(vector2_line_distance_squared({13, 4}, {0, 0}, {10, 0}), 16.0f);
  EXPECT_FLOAT_EQ(vector2_distance({0, 0}, {3, 4}), 5.0f);
  // A segment of zero length: its one point, never NaN.
  EXPECT_FLOAT_EQ(vector2_closest_on_segment({3, 4}, {1, 1}, {1, 1}, out), 13.0f);
  EXPECT_EQ(out, vector2(1, 1));
  float t = -1;
  EXPECT_FALSE(vector2_segment_circle({0, 0}, {0, 0}, {5, 0}, 1, t));
  vector2 p;
  EXPECT_EQ(p.from_xz({1, 2, 3}), vector2(1, 3));
}

TEST(Vector2, SegmentCircle) {
  struct Case {
    vector2 a, b, c;
    float r;
    bool hit;
    float t;
  } cases[] = {
      {{0, 0}, {10, 0}, {5, 0}, 1, true, 0.4f},       // enters at x = 4
      {{0, 0}, {10, 0}, {5, 2}, 1, false, 0},         // passes by
      {{5, 0.5f}, {10, 0}, {5, 0}, 1, true, 0.0f},    // starts inside, leaves: t = 0
      {{0, 0}, {3, 0}, {5, 0}, 1, false, 0},          // stops short
      {{10, 0}, {0, 0}, {5, 0}, 1, true, 0.4f},       // reversed
  };
  for (const Case& c : cases) {
    float t = -1;
    EXPECT_EQ(vector2_segment_circle(c.a, c.b, c.c, c.r, t), c.hit);
    if (c.hit) {
      EXPECT_NEAR(t, c.t, 1e-6f);
    }
  }
  float t = -1;
  EXPECT_TRUE(sweep_point_circle({0, 0}, {0, 10}, {0, 5}, 0.5f, t));
  EXPECT_NEAR(t, 0.45f, 1e-6f);
}

TEST(Plane, BuildDistanceAndFrames) {
  plane pl;
  pl.from_points({0, 2, 0}, {0, 2, 1}, {1, 2, 1});  // normal +y at y = 2
  expect_vec(pl.normal, 0, 1, 0);
  EXPECT_FLOAT_EQ(pl.d, -2.0f);
  EXPECT_FLOAT_EQ(pl.distance({5, 7, 5}), 5.0f);

  plane q;
  plane::from_normal_point(q, {1, 0, 0}, {3, 0, 0});
  EXPECT_FLOAT_EQ(q.distance({4, 9, 9}), 1.0f);

  // The plane x = 3 seen from a frame at (1, 0, 0) turned so that its
  // forward is world +x: there it is z = 2.
  plane f;
  q.to_frame(f, matrix::from_angles(0, 0, PI / 2), {1, 0, 0});
  expect_vec(f.normal, 0, 0, 1);
  EXPECT_NEAR(f.d, -2.0f, 1e-6f);
  EXPECT_NEAR(f.distance({0, 0, 2}), 0.0f, 1e-6f);
}

TEST(PlaneRecord, KeepsFlagPlaneAndBoxCorners) {
  plane_record r(5, vector{0, 1, 0}, vector{0, 2, 0});
  EXPECT_EQ(r.flags & 0xFF, 5);
  EXPECT_FLOAT_EQ(r.pl.d, -2.0f);
  EXPECT_GE(r.corner_against, 0);
  EXPECT_LE(r.corner_against, 7);
  EXPECT_GE(r.corner_along, 0);
  EXPECT_LE(r.corner_along, 7);
  EXPECT_NE(r.corner_against, r.corner_along);
  plane_record s(1, vector{0, 0, 0}, vector{1, 0, 0}, vector{1, 0, 1});
  plane_record t;
  t.assign(s);
  EXPECT_EQ(t.flags, 1);
  EXPECT_EQ(t.pl.normal, s.pl.normal);
  EXPECT_EQ(t.corner_along, s.corner_along);
}

TEST(Bulk, BoundingSphere) {
  vector one{3, 4, 5}, c;
  float r = -1;
  bounding_sphere(&one, 1, c, r);
  EXPECT_EQ(c, one);
  EXPECT_EQ(r, 0.0f);

  vector pts[] = {{-1, 0, 0}, {1, 0, 0}, {0, 0.5f, 0}, {0, 0, 0.9f}, {0.3f, -0.2f, 0.1f}};
  bounding_sphere(pts, 5, c, r);
  expect_vec(c, 0, 0, 0);
  EXPECT_FLOAT_EQ(r, 1.0f);

  // A point outside the first guess grows the sphere; every point ends inside.
  vector more[] = {{-1, 0, 0}, {1, 0, 0}, {0, 1.5f, 0}, {0.2f, -0.9f, 0.7f}};
  bounding_sphere(more, 4, c, r);
  for (const vector& p : more) EXPECT_LE(vector_distance(p, c), r * 1.00001f);
}

TEST(Bulk, AreaAndCentroid) {
  vector sq[] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}};
  vector c;
  EXPECT_FLOAT_EQ(polygon_area_centroid(4, sq, c), 4.0f);
  expect_vec(c, 1, 0, 1);
  vector tri[] = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}};
  EXPECT_FLOAT_EQ(polygon_area_centroid(3, tri, c), 4.5f);
  expect_vec(c, 1, 1, 0);
  // No area: the mean of the points, never a division by zero.
  vector line[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  EXPECT_EQ(polygon_area_centroid(3, line, c), 0.0f);
  EXPECT_TRUE(c.is_valid());
  expect_vec(c, 1, 0, 0);
}

TEST(Bulk, DominantAxis) {
  struct Case {
    vector n;
    int index, u, v;
  } cases[] = {
      {{1, 1, 0}, 1, 0, 2},   // tie goes to the later axis
      {{0, 0, -1}, 2, 0, 1},  // negative: swapped order
      {{0, 0, 1}, 2, 1, 0},   {{2, 1, 1}, 0, 2, 1}, {{-2, 1, 1}, 0, 1, 2},
      {{1, 1, 1}, 2, 1, 0},   {{0, -3, 1}, 1, 2, 0},
  };
  for (const Case& c : cases) {
    int i, u, v;
    dominant_axis(c.n, i, u, v);
    EXPECT_EQ(i, c.index) << c.n.x << "," << c.n.y << "," << c.n.z;
    EXPECT_EQ(u, c.u) << c.n.x << "," << c.n.y << "," << c.n.z;
    EXPECT_EQ(v, c.v) << c.n.x << "," << c.n.y << "," << c.n.z;
  }
}

}  // namespace

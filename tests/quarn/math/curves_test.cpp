#include "quarn/math/curves.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expect_vec(const vector& v, const vector& e, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, e.x, eps);
  EXPECT_NEAR(v.y, e.y, eps);
  EXPECT_NEAR(v.z, e.z, eps);
}

TEST(Curves, BernsteinBases) {
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    float sum = 0;
    for (int i = 0; i < 4; ++i) sum += bernstein3(i, t);
    EXPECT_NEAR(sum, 1.0f, 1e-6f);
    EXPECT_EQ(bernstein3(4, t), 0.0f);
    EXPECT_EQ(bernstein3(-1, t), 0.0f);
  }
  EXPECT_FLOAT_EQ(bernstein3(1, 0.5f), 0.375f);

  EXPECT_EQ(factorial(0), 1.0);
  EXPECT_EQ(factorial(-3), 1.0);
  EXPECT_EQ(factorial(5), 120.0);
  // Past 12! a 32-bit integer would have overflowed.
  EXPECT_EQ(factorial(13), 6227020800.0);
  EXPECT_EQ(factorial(19), 121645100408832000.0);
  // The largest binomial a 20-point curve needs: C(19, 9) = 92378.
  EXPECT_NEAR(bernstein(9, 19, 0.5f), 92378.0 / 524288.0, 1e-7);
  for (float t : {0.1f, 0.5f, 0.8f}) {
    double sum = 0;
    for (int i = 0; i <= 19; ++i) sum += bernstein(i, 19, t);
    EXPECT_NEAR(sum, 1.0, 1e-5) << t;
  }
  EXPECT_EQ(bernstein(20, 19, 0.5f), 0.0f);
}

TEST(Curves, CubicBezierEndsAndCopies) {
  bezier_cubic c({0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0});
  vector out;
  c.evaluate(&out, 0);
  expect_vec(out, {0, 0, 0});
  c.evaluate(&out, 1);
  expect_vec(out, {4, 0, 0});
  c.evaluate(&out, 0.5f);
  expect_vec(out, {2, 1.5f, 0});
  c.evaluate(nullptr, 0.5f);  // nothing happens

  // A copy evaluates its own points, even after the source changes.
  bezier_cubic copy = c;
  c.points[3].set(100, 100, 100);
  copy.evaluate(&out, 1);
  expect_vec(out, {4, 0, 0});
  bezier_cubic assigned;
  assigned = copy;
  EXPECT_EQ(assigned.ptrs[2], &assigned.points[2]);
  assigned.evaluate(&out, 1);
  expect_vec(out, {4, 0, 0});
}

TEST(Curves, BezierCurveThroughItsEnds) {
  bezier_curve b;
  EXPECT_EQ(b.count, 0);
  EXPECT_TRUE(b.points[19].is_zero());
  vector pts[20];
  for (int i = 0; i < 20; ++i) pts[i].set(static_cast<float>(i), static_cast<float>(i % 3), -1.0f * i);
  b.set_values(20, pts);
  vector out;
  b.evaluate(&out, 0);
  expect_vec(out, pts[0]);
  b.evaluate(&out, 1);
  expect_vec(out, pts[19], 1e-4f);
  // x = i along a line: the curve's x is 19 t (linear precision).
  b.evaluate(&out, 0.3f);
  EXPECT_NEAR(out.x, 19 * 0.3f, 1e-4f);

  // Pointer form: a null pointer keeps the slot.
  const vector a{1, 1, 1}, c{3, 3, 3};
  const vector* ptrs[3] = {&a, nullptr, &c};
  b.set_points(3, ptrs);
  EXPECT_EQ(b.count, 3);
  EXPECT_EQ(b.points[1], pts[1]);
  EXPECT_EQ(b.points[2], c);
  b.evaluate(nullptr, 0.5f);
}

TEST(Curves, BezierCurveRefusesTooManyPoints) {
  // Twenty-one points would have been written past the 20 slots.
  struct Guarded {
    bezier_curve curve;
    vector after[4];
  } g;
  for (auto& v : g.after) v.set(7, 7, 7);
  vector pts[25];
  for (auto& p : pts) p.set(1, 2, 3);
  g.curve.set_values(21, pts);
  EXPECT_EQ(g.curve.count, 0);
  const vector* ptrs[25];
  for (int i = 0; i < 25; ++i) ptrs[i] = &pts[i];
  g.curve.set_points(25, ptrs);
  EXPECT_EQ(g.curve.count, 0);
  g.curve.set_values(-1, pts);
  EXPECT_EQ(g.curve.count, 0);
  for (auto& v : g.after) EXPECT_EQ(v, vector(7, 7, 7));
  vector out{9, 9, 9};
  g.curve.evaluate(&out, 0.5f);
  EXPECT_TRUE(out.is_zero());
}

TEST(Curves, CatmullRomPassesThroughItsPoints) {
  const vector pts[] = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {6, 1, 2}, {7, 0, 0}};
  catmull_rom_curve c;
  c.set(5, pts);
  EXPECT_EQ(c.count, 5);
  // Ends extended by a tenth of the end segments.
  expect_vec(c.slots[0], {-0.1f, -0.2f, 0});
  expect_vec(c.slots[6], {7.1f, -0.1f, -0.2f});
  vector out;
  for (int k = 0; k < 5; ++k) {
    c.evaluate(&out, static_cast<float>(k));
    expect_vec(out, pts[k]);
  }
  c.evaluate(&out, 10.0f);
  expect_vec(out, pts[4]);
  // Before the start: the first point (clamped), never a slot before it.
  c.evaluate(&out, -3.5f);
  expect_vec(out, pts[0]);
  c.evaluate(&out, NAN);
  expect_vec(out, pts[0]);
  // Between points it moves smoothly.
  vector a, b;
  c.evaluate(&a, 1.999f);
  c.evaluate(&b, 2.001f);
  EXPECT_LT(vector_distance(a, b), 0.02f);
}

TEST(Curves, CatmullRomLimitsAndSmallCounts) {
  vector pts[21];
  for (int i = 0; i < 21; ++i) pts[i].set(static_cast<float>(i), 0, 0);
  catmull_rom_curve c;
  c.set(21, pts);
  EXPECT_EQ(c.count, 0);
  vector out{5, 5, 5};
  c.evaluate(&out, 0.5f);
  EXPECT_TRUE(out.is_zero());

  c.set(20, pts);
  EXPECT_EQ(c.count, 20);
  c.evaluate(&out, 19.0f);
  expect_vec(out, pts[19]);
  c.evaluate(&out, 10.5f);
  EXPECT_NEAR(out.x, 10.5f, 1e-4f);

  // One point: every u gives it; its ends are the point itself.
  const vector one{4, 5, 6};
  c.set(1, &one);
  EXPECT_EQ(c.slots[0], one);
  EXPECT_EQ(c.slots[2], one);
  c.evaluate(&out, 0.0f);
  EXPECT_EQ(out, one);
  c.evaluate(&out, 0.7f);
  EXPECT_EQ(out, one);

  // Two points: a straight segment.
  const vector two[] = {{0, 0, 0}, {2, 0, 0}};
  c.set(2, two);
  c.evaluate(&out, 0.5f);
  EXPECT_NEAR(out.x, 1.0f, 1e-5f);
}

}  // namespace

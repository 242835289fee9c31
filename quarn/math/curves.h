#pragma once
// Curves over vector control points: a cubic Bezier segment, a Bezier curve
// of up to 20 points and a Catmull-Rom spline through up to 20 points.
#include <cstdint>

#include "quarn/math/vector.h"

constexpr int CURVE_MAX_POINTS = 20;

// (1-t)^3, 3t(1-t)^2, 3t^2(1-t), t^3 for i = 0..3; 0 for any other i.
float bernstein3(int i, float t);
// n! (1 for n < 1), exact in a double up to 22!.
double factorial(int n);
// C(n, i) (1 - t)^(n - i) t^i; 0 when i is outside 0..n.
float bernstein(int i, int n, float t);

struct bezier_cubic {
  vector points[4];
  // Evaluation reads the points through these; each points into `points`.
  vector* ptrs[4];

  bezier_cubic();
  bezier_cubic(const vector& p0, const vector& p1, const vector& p2, const vector& p3);
  // Copies point at their own points, never at the source's.
  bezier_cubic(const bezier_cubic& o);
  bezier_cubic& operator=(const bezier_cubic& o);

  // Nothing happens when out is null.
  void evaluate(vector* out, float t) const;
};

struct bezier_curve {
  vector points[CURVE_MAX_POINTS];
  int32_t count;

  bezier_curve();
  // More than 20 points (or a negative count) are refused: the count becomes
  // 0 and nothing is stored. A null pointer leaves its slot as it was.
  void set_points(int n, const vector* const* pts);
  void set_values(int n, const vector* pts);
  // Bernstein sum over the points; out starts at zero. Nothing happens when
  // out is null.
  void evaluate(vector* out, float t) const;
};

struct catmull_rom_curve {
  // Slot 0 and slot count + 1 are the end points extended by a tenth of the
  // end segments; slots 1..count the points.
  vector slots[CURVE_MAX_POINTS + 2];
  int32_t count;

  catmull_rom_curve() : count(0) {}
  // More than 20 points (or a negative count) leave the count at 0.
  void set(int n, const vector* pts);
  // u = k passes through point k (0-based); u <= 0 gives the first point and
  // u >= count - 1 the last. An empty curve gives the zero vector. Nothing
  // happens when out is null.
  void evaluate(vector* out, float u) const;
};

#include "quarn/math/curves.h"

#include <cmath>

float bernstein3(int i, float t) {
  float s = 1.0f - t;
  switch (i) {
    case 0: return s * s * s;
    case 1: return 3.0f * t * s * s;
    case 2: return 3.0f * t * t * s;
    case 3: return t * t * t;
    default: return 0.0f;
  }
}

// Doubles rather than 32-bit integers: 13! already overflows an int.
double factorial(int n) {
  double f = 1.0;
  for (int k = 2; k <= n; ++k) f *= k;
  return f;
}

float bernstein(int i, int n, float t) {
  if (i < 0 || i > n) return 0.0f;
  double c = factorial(n) / (factorial(i) * factorial(n - i));
  return static_cast<float>(c * std::pow(1.0 - t, n - i) * std::pow(static_cast<double>(t), i));
}

// ---------------------------------------------------------------------------

bezier_cubic::bezier_cubic() {
  for (int i = 0; i < 4; ++i) ptrs[i] = &points[i];
}

bezier_cubic::bezier_cubic(const vector& p0, const vector& p1, const vector& p2, const vector& p3)
    : points{p0, p1, p2, p3} {
  for (int i = 0; i < 4; ++i) ptrs[i] = &points[i];
}

bezier_cubic::bezier_cubic(const bezier_cubic& o) {
  for (int i = 0; i < 4; ++i) {
    points[i] = *o.ptrs[i];
    ptrs[i] = &points[i];
  }
}

bezier_cubic& bezier_cubic::operator=(const bezier_cubic& o) {
  if (this != &o) {
    vector copy[4] = {*o.ptrs[0], *o.ptrs[1], *o.ptrs[2], *o.ptrs[3]};
    for (int i = 0; i < 4; ++i) {
      points[i] = copy[i];
      ptrs[i] = &points[i];
    }
  }
  return *this;
}

void bezier_cubic::evaluate(vector* out, float t) const {
  if (out == nullptr) return;
  vector r{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 4; ++i) r += *ptrs[i] * bernstein3(i, t);
  *out = r;
}

// ---------------------------------------------------------------------------

bezier_curve::bezier_curve() : count(0) {
  for (auto& p : points) p.zero();
}

void bezier_curve::set_points(int n, const vector* const* pts) {
  if (n < 0 || n > CURVE_MAX_POINTS || (n > 0 && pts == nullptr)) {
    count = 0;
    return;
  }
  count = n;
  for (int i = 0; i < n; ++i)
    if (pts[i] != nullptr) points[i] = *pts[i];
}

void bezier_curve::set_values(int n, const vector* pts) {
  if (n < 0 || n > CURVE_MAX_POINTS || (n > 0 && pts == nullptr)) {
    count = 0;
    return;
  }
  count = n;
  for (int i = 0; i < n; ++i) points[i] = pts[i];
}

void bezier_curve::evaluate(vector* out, float t) const {
  if (out == nullptr) return;
  vector r{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < count; ++i) r += points[i] * bernstein(i, count - 1, t);
  *out = r;
}

// ---------------------------------------------------------------------------

void catmull_rom_curve::set(int n, const vector* pts) {
  if (n < 0 || n > CURVE_MAX_POINTS || (n > 0 && pts == nullptr)) {
    count = 0;
    return;
  }
  count = n;
  if (n == 0) return;
  for (int i = 0; i < n; ++i) slots[i + 1] = pts[i];
  // A single point has no end segment to extend: its ends are the point.
  const vector& second = n >= 2 ? slots[2] : slots[1];
  const vector& before_last = n >= 2 ? slots[n - 1] : slots[n];
  slots[0] = slots[1] + (slots[1] - second) * 0.1f;
  slots[n + 1] = slots[n] + (slots[n] - before_last) * 0.1f;
}

void catmull_rom_curve::evaluate(vector* out, float u) const {
  if (out == nullptr) return;
  if (count < 1) {
    out->zero();
    return;
  }
  if (u >= static_cast<float>(count - 1)) {
    *out = slots[count];
    return;
  }
  // Before the start (or NaN) there is no slot to read: the first point.
  if (!(u > 0.0f)) {
    *out = slots[1];
    return;
  }
  int i = static_cast<int>(std::floor(u));
  float f = u - static_cast<float>(i);
  float f2 = f * f, f3 = f2 * f;
  float w0 = -0.5f * f3 + f2 - 0.5f * f;
  float w1 = 1.5f * f3 - 2.5f * f2 + 1.0f;
  float w2 = -1.5f * f3 + 2.0f * f2 + 0.5f * f;
  float w3 = 0.5f * f3 - 0.5f * f2;
  *out = slots[i] * w0 + slots[i + 1] * w1 + slots[i + 2] * w2 + slots[i + 3] * w3;
}

#include "quarn/math/vector.h"

#include <cmath>

#include "quarn/math/floatops.h"
#include "quarn/math/matrix.h"

namespace {
// acos of a dot product that rounding may have pushed just past +-1.
float acos_clamped(float c) {
  if (c > 1.0f) c = 1.0f;
  if (c < -1.0f) c = -1.0f;
  return std::acos(c);
}
}  // namespace

bool vector::near_equal(const vector& o) const {
  return float_eq(x, o.x) && float_eq(y, o.y) && float_eq(z, o.z);
}

float vector::length() const { return std::sqrt(x * x + y * y + z * z); }

float vector::approx_length() const {
  float a = std::fabs(x);
  float b = std::fabs(y);
  float c = std::fabs(z);
  // Two compare-and-swap steps: a >= b, then c placed against them.
  if (a < b) {
    float t = a;
    a = b;
    b = t;
  }
  // b is the smaller of |x|, |y|; order it against c, then a against c.
  if (b < c) {
    float t = b;
    b = c;
    c = t;
  }
  if (a < b) {
    float t = a;
    a = b;
    b = t;
  }
  return a + (0.125f * c + 0.25f * b) * 1.5f;
}

vector& vector::normalize() { return scale(1.0f / length()); }

float vector::normalize_len() {
  float len = length();
  scale(1.0f / len);
  return len;
}

vector& vector::normalized(vector& out) const {
  float k = 1.0f / length();
  return out.set(x * k, y * k, z * k);
}

vector& vector::normalize_safe() {
  float len = length();
  if (len > 0.0f) return scale(1.0f / len);
  return set(1.0f, 0.0f, 0.0f);
}

float vector::normalize_safe_len() {
  float len = length();
  if (len > 0.0f) {
    scale(1.0f / len);
    return len;
  }
  set(1.0f, 0.0f, 0.0f);
  return 1.0f;
}

vector& vector::rotated(vector& out, const matrix& m) const {
  return out.set(dot(*this, m.right), dot(*this, m.up), dot(*this, m.forward));
}

vector& vector::rotate(const matrix& m) {
  vector t;
  rotated(t, m);
  return *this = t;
}


vector& vector::unrotate(const matrix& m) {
  vector t;
  unrotated(t, m);
  return *this = t;
}

vector& vector::to_frame(const vector& origin, const matrix& m) {
  *this -= origin;
  return rotate(m);
}

vector& vector::from_frame(const vector& origin, const matrix& m) {
  unrotate(m);
  return *this += origin;
}

namespace {
vector random_with_z(float z) {
  // z is drawn by the caller before the angle: the order is behaviour.
  float theta = frand() * 6.2831855f;
  float r = std::sqrt(1.0f - z * z);
  return {r * std::cos(theta), r * std::sin(theta), z};
}
}  // namespace

vector vector::random_unit() {
  float z = frand_range(-1.0f, 1.0f);
  return random_with_z(z);
}

vector vector::random_unit_2() {
  float z = frand_range(-1.0f, 1.0f);
  return random_with_z(z);
}

vector vector::random_in_cap(float zmin) {
  float z = frand_range(zmin, 1.0f);
  return random_with_z(z);
}

vector vector::random_in_cone(const vector& direction, float cos_limit) {
  matrix f = matrix::from_forward_raw(direction);
  vector v = random_in_cap(cos_limit);
  return v.unrotate(f);
}

// ---------------------------------------------------------------------------

vector& vector_scaled(vector& out, float s, const vector& v) { return out.set(v.x * s, v.y * s, v.z * s); }

float vector_distance(const vector& a, const vector& b) { return (a - b).length(); }

float vector_distance_squared(const vector& a, const vector& b) { return (a - b).length_squared(); }

float vector_distance_approx(const vector& a, const vector& b) { return (a - b).approx_length(); }

float vector_plane_distance(const vector& p, const vector& n, const vector& q) {
  return vector::dot(n, p - q);
}

float vector_direction(vector& out, const vector& a, const vector& b) {
  out = a - b;
  return out.normalize_len();
}

float vector_along(vector& out, const vector& v, const vector& n) {
  float d = vector::dot(v, n);
  n.scaled(out, d);
  return d;
}

vector& vector_across(vector& out, const vector& v, const vector& n) {
  float d = vector::dot(v, n);
  return out.set(v.x - n.x * d, v.y - n.y * d, v.z - n.z * d);
}

float vector_component_toward(const vector& v, const vector& a, const vector& b) {
  vector dir = b - a;
  dir.normalize();
  return vector::dot(v, dir);
}

vector& vector_project_to_plane(vector& out, const vector& p, const vector& n, const vector& q) {
  float k = vector::dot(p, n) - vector::dot(q, n);
  return out.set(p.x - n.x * k, p.y - n.y * k, p.z - n.z * k);
}

vector& triangle_normal(vector& out, const vector& p1, const vector& p2, const vector& p3) {
  vector e1 = p2 - p1;
  vector e2 = p3 - p2;
  return e1.cross(out, e2);
}

vector& triangle_unit_normal(vector& out, const vector& p1, const vector& p2, const vector& p3) {
  triangle_normal(out, p1, p2, p3);
  return out.normalize();
}

float vector_signed_angle(const vector& a, const vector& b, const vector& axis) {
  vector na, nb, naxis, c;
  a.normalized(na);
  b.normalized(nb);
  axis.normalized(naxis);
  float angle = acos_clamped(vector::dot(na, nb));
  a.cross(c, b);
  if (vector::dot(c, naxis) < 0.0f) angle = -angle;
  return angle;
}

vector& vector_rotate_about(vector& out, const vector& p, float angle, const vector& center,
                            const vector& axis) {
  matrix f = matrix::from_forward(axis);
  matrix b = matrix::from_angles(0.0f, angle, 0.0f);
  vector local = p - center;
  local.rotate(f).rotate(b);
  local.unrotate(f);
  out = local + center;
  return out;
}

vector& vector_rotate_toward(vector& out, const vector& v, const vector& w, float fraction) {
  vector axis;
  v.cross(axis, w);
  axis.normalize();
  float angle = acos_clamped(vector::dot(v, w));
  return vector_rotate_about(out, v, -angle * fraction, zero_vector, axis);
}

// ---------------------------------------------------------------------------

float vector2::length() const { return std::sqrt(x * x + y * y); }

float vector2::normalize() {
  float len = length();
  if (len > 0.0f) {
    float k = 1.0f / len;
    x *= k;
    y *= k;
    return len;
  }
  set(1.0f, 0.0f);
  return 1.0f;
}

vector2& vector2_scaled(vector2& out, float s, const vector2& v) { return out.set(v.x * s, v.y * s); }

float vector2_distance(const vector2& a, const vector2& b) { return (a - b).length(); }

float vector2_distance_squared(const vector2& a, const vector2& b) { return (a - b).length_squared(); }

float vector2_line_distance_squared(const vector2& p, const vector2& a, const vector2& b) {
  vector2 u = p - a;
  vector2 e = b - a;
  float d = vector2::dot(u, e);
  return u.length_squared() - d * d / e.length_squared();
}

float vector2_closest_on_segment(const vector2& p, const vector2& a, const vector2& b, vector2& out) {
  vector2 e = b - a;
  float t = vector2::dot(p - a, e) / e.length_squared();
  // max first, then min. A zero-length segment gives t NaN, which fmax turns
  // into 0: the answer is a (= b), never a NaN point.
  t = std::fmax(t, 0.0f);
  t = std::fmin(t, 1.0f);
  out = a + e * t;
  return (out - p).length_squared();
}

bool vector2_segment_circle(const vector2& a, const vector2& b, const vector2& c, float r, float& t) {
  vector2 f = a - c;
  if (f.length_squared() <= r * r) {
    t = 0.0f;
    return true;
  }
  vector2 d = b - a;
  float bb = vector2::dot(f, d);
  float aa = d.length_squared();
  float cc = f.length_squared() - r * r;
  float disc = bb * bb - cc * aa;
  if (disc < 0.0f) return false;
  float root = std::sqrt(disc);
  float t1 = (root - bb) / aa;
  float t2 = (-bb - root) / aa;
  if (t2 < t1) {
    float tmp = t1;
    t1 = t2;
    t2 = tmp;
  }
  if (t1 >= 0.0f && t1 <= 1.0f) {
    t = t1;
    return true;
  }
  if (t2 >= 0.0f && t2 <= 1.0f) {
    t = t2;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

plane& plane::from_points(const vector& p1, const vector& p2, const vector& p3) {
  triangle_unit_normal(normal, p1, p2, p3);
  d = -vector::dot(normal, p1);
  return *this;
}

plane& plane::from_normal_point(plane& out, const vector& n, const vector& p) {
  out.normal = n;
  out.d = -vector::dot(n, p);
  return out;
}

plane& plane::to_frame(plane& out, const matrix& m, const vector& t) const {
  vector n;
  normal.rotated(n, m);
  out.d = d + vector::dot(normal, t);
  out.normal = n;
  return out;
}

// ---------------------------------------------------------------------------

void bounding_sphere(const vector* points, int count, vector& center, float& radius) {
  if (points == nullptr || count <= 0) return;
  vector min_x{1e8f, 1e8f, 1e8f}, min_y = min_x, min_z = min_x;
  vector max_x{-1e8f, -1e8f, -1e8f}, max_y = max_x, max_z = max_x;
  for (int i = 0; i < count; ++i) {
    const vector& p = points[i];
    if (p.x < min_x.x) min_x = p;
    if (p.x > max_x.x) max_x = p;
    if (p.y < min_y.y) min_y = p;
    if (p.y > max_y.y) max_y = p;
    if (p.z < min_z.z) min_z = p;
    if (p.z > max_z.z) max_z = p;
  }
  float span_x = vector_distance_squared(max_x, min_x);
  float span_y = vector_distance_squared(max_y, min_y);
  float span_z = vector_distance_squared(max_z, min_z);
  vector a = min_x, b = max_x;
  float span = span_x;
  if (span_y > span) {
    a = min_y;
    b = max_y;
    span = span_y;
  }
  if (span_z > span) {
    a = min_z;
    b = max_z;
  }
  vector c = (a + b) * 0.5f;
  float r2 = vector_distance_squared(b, c);
  float r = std::sqrt(r2);
  for (int i = 0; i < count; ++i) {
    const vector& p = points[i];
    float d2 = vector_distance_squared(p, c);
    if (d2 > r2) {
      float dist = std::sqrt(d2);
      float nr = (dist + r) * 0.5f;
      r = nr;
      r2 = nr * nr;
      float k = dist - nr;
      c.set((nr * c.x + k * p.x) / dist, (nr * c.y + k * p.y) / dist, (nr * c.z + k * p.z) / dist);
    }
  }
  center = c;
  radius = r;
}

float polygon_area_centroid(int count, const vector* points, vector& centroid) {
  centroid.zero();
  if (points == nullptr || count <= 0) return 0.0f;
  float total = 0.0f;
  vector sum{0.0f, 0.0f, 0.0f};
  for (int k = 1; k + 1 < count; ++k) {
    vector n;
    float area = 0.5f * triangle_normal(n, points[0], points[k], points[k + 1]).length();
    vector mean = (points[0] + points[k] + points[k + 1]) * (1.0f / 3.0f);
    sum += mean * area;
    total += area;
  }
  if (total > 0.0f) {
    centroid = sum * (1.0f / total);
    return total;
  }
  // No area to weigh by: the plain mean is the only sensible middle.
  for (int i = 0; i < count; ++i) centroid += points[i];
  centroid.scale(1.0f / static_cast<float>(count));
  return 0.0f;
}

void dominant_axis(const vector& n, int& index, int& u, int& v) {
  float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  if (ax <= ay)
    index = ay <= az ? 2 : 1;
  else
    index = ax <= az ? 2 : 0;
  static const int table[3][2] = {{2, 1}, {0, 2}, {1, 0}};
  if (n[index] > 0.0f) {
    u = table[index][0];
    v = table[index][1];
  } else {
    u = table[index][1];
    v = table[index][0];
  }
}

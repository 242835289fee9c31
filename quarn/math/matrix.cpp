#include "quarn/math/matrix.h"

#include <cmath>

#include "quarn/math/floatops.h"

namespace {
// x times y, the ordinary row-by-column product of the stored arrays: row i
// of the result is row i of x unrotated by y.
matrix product(const matrix& x, const matrix& y) {
  matrix out;
  x.right.unrotated(out.right, y);
  x.up.unrotated(out.up, y);
  x.forward.unrotated(out.forward, y);
  return out;
}

bool has_length(const vector& v) { return v.length() > 0.0f; }
}  // namespace

matrix matrix::from_floats(float m0, float m1, float m2, float m3, float m4, float m5, float m6,
                           float m7, float m8) {
  return {vector{m0, m1, m2}, vector{m3, m4, m5}, vector{m6, m7, m8}};
}

matrix matrix::from_sincos(float sa, float ca, float sb, float cb, float sc, float cc) {
  matrix m;
  m.set_sincos(sa, ca, sb, cb, sc, cc);
  return m;
}

matrix& matrix::set_sincos(float sa, float ca, float sb, float cb, float sc, float cc) {
  right.set(cb * cc + sa * sb * sc, ca * sb, sa * sb * cc - cb * sc);
  up.set(sa * cb * sc - sb * cc, ca * cb, sa * cb * cc + sb * sc);
  forward.set(ca * sc, -sa, ca * cc);
  return *this;
}

matrix matrix::from_angles(float pitch, float bank, float heading) {
  matrix m;
  m.set_angles(pitch, bank, heading);
  return m;
}

matrix& matrix::set_angles(float pitch, float bank, float heading) {
  return set_sincos(std::sin(pitch), std::cos(pitch), std::sin(bank), std::cos(bank),
                    std::sin(heading), std::cos(heading));
}

matrix matrix::from_axis_angle(const vector& axis, float angle) {
  matrix m;
  m.set_axis_angle(axis, angle);
  return m;
}

matrix& matrix::set_axis_angle(const vector& n, float angle) {
  float s = std::sin(angle * 0.5f);
  float x = s * n.x, y = s * n.y, z = s * n.z;
  float w = std::cos(angle * 0.5f);
  right.set(1.0f - 2.0f * y * y - 2.0f * z * z, 2.0f * (w * z + x * y), 2.0f * x * z - 2.0f * w * y);
  up.set(2.0f * x * y - 2.0f * w * z, 1.0f - 2.0f * x * x - 2.0f * z * z, 2.0f * (w * x + y * z));
  forward.set(2.0f * (w * y + x * z), 2.0f * y * z - 2.0f * w * x, 1.0f - 2.0f * x * x - 2.0f * y * y);
  return *this;
}

matrix& matrix::identity() { return *this = identity_matrix; }

matrix matrix::from_forward_raw(const vector& f) {
  matrix m;
  m.forward = f;
  if (f.x == 0.0f && f.z == 0.0f) {
    m.right.set(1.0f, 0.0f, 0.0f);
    if (f.y >= 0.0f)
      m.up.set(0.0f, 0.0f, -1.0f);
    else
      m.up.set(0.0f, 0.0f, 1.0f);
    return m;
  }
  m.right.set(f.z, 0.0f, -f.x);
  m.right.normalize();
  m.forward.cross(m.up, m.right);
  return m;
}

matrix matrix::from_forward(const vector& f) {
  vector n;
  return from_forward_raw(f.normalized(n));
}

matrix matrix::from_forward_up(const vector& f, const vector& up_hint) {
  matrix m;
  f.normalized(m.forward);
  m.up = up_hint;
  if (m.up.normalize_len() == 0.0f) return from_forward(f);
  m.up.cross(m.right, m.forward);
  if (m.right.normalize_len() == 0.0f) return from_forward(f);
  m.forward.cross(m.up, m.right);
  return m;
}

matrix matrix::from_forward_right(const vector& f, const vector& right_hint) {
  matrix m;
  f.normalized(m.forward);
  m.right = right_hint;
  if (m.right.normalize_len() == 0.0f) return from_forward(f);
  m.forward.cross(m.up, m.right);
  if (m.up.normalize_len() == 0.0f) return from_forward(f);
  m.up.cross(m.right, m.forward);
  return m;
}

matrix matrix::random() { return from_forward_raw(vector::random_unit_2()); }

// ---------------------------------------------------------------------------

matrix& matrix::multiply(matrix& out, const matrix& b) const { return out = product(b, *this); }

matrix& matrix::multiply_transposed(matrix& out, const matrix& b) const {
  matrix bt;
  b.transposed(bt);
  return out = product(bt, *this);
}

matrix& matrix::multiply_by_transpose(matrix& out, const matrix& b) const {
  // (B A^T) row i = (dot(B.ri, A.r0), dot(B.ri, A.r1), dot(B.ri, A.r2)).
  matrix t;
  b.right.rotated(t.right, *this);
  b.up.rotated(t.up, *this);
  b.forward.rotated(t.forward, *this);
  return out = t;
}

matrix& matrix::transposed(matrix& out) const {
  matrix t = from_floats(right.x, up.x, forward.x, right.y, up.y, forward.y, right.z, up.z, forward.z);
  return out = t;
}

matrix& matrix::transpose() { return transposed(*this); }

float matrix::determinant() const {
  const float m0 = right.x, m1 = right.y, m2 = right.z;
  const float m3 = up.x, m4 = up.y, m5 = up.z;
  const float m6 = forward.x, m7 = forward.y, m8 = forward.z;
  return m8 * m0 * m4 + m3 * m2 * m7 + m5 * m1 * m6 - m2 * m6 * m4 - m5 * m0 * m7 - m3 * m1 * m8;
}

bool matrix::inverse(matrix& out) const {
  float det = determinant();
  if (det == 0.0f) {
    out = *this;
    return false;
  }
  const float m0 = right.x, m1 = right.y, m2 = right.z;
  const float m3 = up.x, m4 = up.y, m5 = up.z;
  const float m6 = forward.x, m7 = forward.y, m8 = forward.z;
  float k = 1.0f / det;
  out = from_floats(det2(m4, m5, m7, m8) * k, -det2(m1, m2, m7, m8) * k, det2(m1, m2, m4, m5) * k,
                    -det2(m3, m5, m6, m8) * k, det2(m0, m2, m6, m8) * k, -det2(m0, m2, m3, m5) * k,
                    det2(m3, m4, m6, m7) * k, -det2(m0, m1, m6, m7) * k, det2(m0, m1, m3, m4) * k);
  return true;
}

bool matrix::invert() { return inverse(*this); }

matrix& matrix::change_basis(const matrix& b, const matrix& c) {
  matrix bt, ct;
  b.transposed(bt);
  c.transposed(ct);
  *this = product(product(product(*this, bt), ct), b);
  return orthogonalize();
}

bool matrix::near_equal(const matrix& b) const {
  return std::fabs(vector::dot(right, b.right) - 1.0f) <= 5e-7f &&
         std::fabs(vector::dot(up, b.up) - 1.0f) <= 5e-7f &&
         std::fabs(vector::dot(forward, b.forward) - 1.0f) <= 5e-7f;
}

bool matrix::is_degenerate() const {
  if (right.is_zero() || up.is_zero() || forward.is_zero()) return true;
  for (int j = 0; j < 3; ++j)
    if (right[j] == 0.0f && up[j] == 0.0f && forward[j] == 0.0f) return true;
  return false;
}

bool matrix::is_valid() const { return right.is_valid() && up.is_valid() && forward.is_valid(); }

// ---------------------------------------------------------------------------

matrix& matrix::orthogonalize() {
  vector f;
  forward.normalized(f);
  vector u;
  if (has_length(up)) {
    up.normalized(u);
  } else if (has_length(right)) {
    f.cross(u, right);
  } else if (f.x == 0.0f && f.z == 0.0f && f.y != 0.0f) {
    u.set(0.0f, 0.0f, 1.0f);
  } else {
    u.set(0.0f, 1.0f, 0.0f);
  }
  u.cross(right, f);
  f.cross(up, right);
  forward = f;
  return *this;
}

matrix& matrix::orthogonalized(matrix& out) const {
  out = *this;
  return out.orthogonalize();
}

matrix& matrix::orthonormalize() {
  // The default up for a forward row: straight up or down gets (0, 0, -1).
  auto default_up = [](const vector& f) {
    if (f.x == 0.0f && f.z == 0.0f && f.y != 0.0f) return vector{0.0f, 0.0f, -1.0f};
    return vector{0.0f, 1.0f, 0.0f};
  };

  bool use_up = false;
  if (has_length(forward)) {
    forward.normalize();
    use_up = true;
  } else if (has_length(up)) {
    vector c;
    if (has_length(right) && !up.near_equal(right) && has_length(up.cross(c, right))) {
      forward = c.normalize();
    } else if (up.x == 0.0f && up.y == 0.0f && up.z != 0.0f) {
      forward.set(1.0f, 0.0f, 0.0f);
    } else {
      forward.set(0.0f, 0.0f, 1.0f);
    }
    use_up = true;
  } else {
    // Forward and up both zero: nothing to keep but the right row.
    forward.set(0.0f, 0.0f, 1.0f);
  }

  if (use_up && has_length(up) && !up.near_equal(forward)) {
    vector r;
    up.normalize();
    // A parallel (but not equal) up gives no right axis; rebuild it below.
    if (has_length(up.cross(r, forward))) {
      right = r.normalize();
      forward.cross(up, right);
      return *this;
    }
  }

  vector u;
  if (!has_length(right) || right.near_equal(forward) || !has_length(forward.cross(u, right)))
    u = default_up(forward);
  else
    u.normalize();
  u.cross(right, forward);
  right.normalize();
  forward.cross(up, right);
  return *this;
}

matrix& matrix::orthonormalized(matrix& out) const {
  out = *this;
  return out.orthonormalize();
}

// ---------------------------------------------------------------------------

void matrix::to_angles(float& pitch, float& bank, float& heading) const {
  const float m1 = right.y, m4 = up.y;
  const float m6 = forward.x, m7 = forward.y, m8 = forward.z;
  if (m6 == 0.0f && m8 == 0.0f)
    heading = 0.0f;
  else
    heading = atan2_fast(m6, m8);
  float sh = std::sin(heading), ch = std::cos(heading);
  float cos_pitch = std::fabs(ch) >= std::fabs(sh) ? m8 / ch : m6 / sh;
  if (cos_pitch == 0.0f && m7 == 0.0f)
    pitch = 0.0f;
  else
    pitch = atan2_fast(-m7, cos_pitch);
  if (cos_pitch == 0.0f) {
    bank = 0.0f;
    return;
  }
  float sb = m1 / cos_pitch, cb = m4 / cos_pitch;
  if (sb == 0.0f && cb == 0.0f)
    bank = 0.0f;
  else
    bank = atan2_fast(sb, cb);
}

void matrix::to_axis_angle(vector& axis, float& angle) const {
  const float m0 = right.x, m1 = right.y, m2 = right.z;
  const float m3 = up.x, m4 = up.y, m5 = up.z;
  const float m6 = forward.x, m7 = forward.y, m8 = forward.z;
  float c = (m0 + m4 + m8 - 1.0f) * 0.5f;
  if (c > 0.9999999f) {
    angle = 0.0f;
    axis.set(1.0f, 0.0f, 0.0f);
    return;
  }
  if (c > -0.9999999f) {
    angle = std::acos(c);
    axis.set(m5 - m7, m6 - m2, m1 - m3);
    axis.normalize();
    return;
  }
  angle = 3.1415927f;
  int i;
  if (m8 > std::fmax(m0, m4))
    i = 2;
  else
    i = m4 > m0 ? 1 : 0;
  if (i == 0) {
    float s = std::sqrt(m0 + 1.0f);
    axis.set(s, m1 / s, m2 / s);
  } else if (i == 1) {
    float s = std::sqrt(m4 + 1.0f);
    axis.set(m3 / s, s, m5 / s);
  } else {
    float s = std::sqrt(m8 + 1.0f);
    axis.set(m6 / s, m7 / s, s);
  }
  axis.normalize();
}

// ---------------------------------------------------------------------------

transform& transform::from_matrix(const matrix& m) {
  orient = m;
  pos.zero();
  return *this;
}

transform& transform::from_vectors(const vector& r, const vector& u, const vector& f, const vector& p) {
  orient = matrix{r, u, f};
  pos = p;
  return *this;
}

transform& transform::set(const vector& p, const matrix& m) {
  orient = m;
  pos = p;
  return *this;
}

transform& transform::identity() { return *this = identity_transform; }

vector& transform::apply(vector& out, const vector& p) const {
  vector t;
  p.unrotated(t, orient);
  return out = t + pos;
}

transform& transform::multiply_by_frame(const transform& a, const transform& b) {
  return a.multiply_frame(*this, b);
}

transform& transform::inverse(transform& out) const {
  transform t;
  orient.transposed(t.orient);
  pos.rotated(t.pos, orient);
  t.pos.negate();
  return out = t;
}

bool transform::near_equal(const transform& o) const { return orient.near_equal(o.orient) && pos == o.pos; }

#pragma once
// Orientation matrices and rigid transforms.
//
// Conventions every caller shares:
// - Rows are the frame's right (local x), up (local y) and forward (local z)
//   axes in world (or parent) coordinates: m0 m1 m2 / m3 m4 m5 / m6 m7 m8.
// - vector::rotate (M v, the dot with each row) takes a world direction into
//   the frame; vector::unrotate (M^T v) takes it back out.
// - Angles are pitch (about x), bank (about z), heading (about y), in that
//   argument order. Positive pitch tips forward downward; heading turns
//   forward toward +x.
// - Two product orders live side by side: matrix::multiply puts the OTHER
//   matrix on the left (out = B A: rotating by out is rotating by A, then B);
//   the transform products put the called-on transform on the left.
#include <cstdint>

#include "quarn/math/vector.h"

struct quaternion;

struct matrix {
  vector right, up, forward;

  matrix() = default;
  constexpr matrix(const vector& r, const vector& u, const vector& f) : right(r), up(u), forward(f) {}

  // Row i (0 right, 1 up, 2 forward); element i of m0..m8.
  vector& row(int i) { return i == 0 ? right : (i == 1 ? up : forward); }
  const vector& row(int i) const { return i == 0 ? right : (i == 1 ? up : forward); }
  float& m(int i) { return row(i / 3)[i % 3]; }
  float m(int i) const { return row(i / 3)[i % 3]; }

  // Builders return a new matrix; set_* fill this one.
  static matrix from_floats(float m0, float m1, float m2, float m3, float m4, float m5, float m6,
                            float m7, float m8);
  static matrix from_rows(const vector& r, const vector& u, const vector& f) { return {r, u, f}; }
  static matrix from_sincos(float sa, float ca, float sb, float cb, float sc, float cc);
  matrix& set_sincos(float sa, float ca, float sb, float cb, float sc, float cc);
  static matrix from_angles(float pitch, float bank, float heading);
  matrix& set_angles(float pitch, float bank, float heading);
  // Rotation about a unit axis.
  static matrix from_axis_angle(const vector& axis, float angle);
  matrix& set_axis_angle(const vector& axis, float angle);
  matrix& identity();
  static void copy(matrix& out, const matrix& in) { out = in; }
  // Looking along f (normalised); straight up or down gets right (1, 0, 0).
  // f must not be zero.
  static matrix from_forward(const vector& f);
  // The same with f used as given.
  static matrix from_forward_raw(const vector& f);
  // With an up or right hint; a zero or parallel hint falls back to
  // from_forward.
  static matrix from_forward_up(const vector& f, const vector& up_hint);
  static matrix from_forward_right(const vector& f, const vector& right_hint);
  // from_forward_raw of vector::random_unit_2 (draws from the shared
  // sequence).
  static matrix random();

  // out = B A (rotating by out = rotating by this, then by B).
  matrix& multiply(matrix& out, const matrix& b) const;
  // out = B^T A.
  matrix& multiply_transposed(matrix& out, const matrix& b) const;
  // out = B A^T.
  matrix& multiply_by_transpose(matrix& out, const matrix& b) const;
  matrix& transposed(matrix& out) const;
  matrix& transpose();
  float determinant() const;
  // General inverse. A singular matrix (determinant exactly 0) is left as it
  // is and false is returned.
  bool invert();
  // out = inverse of this, or a copy of this when singular. Returns false
  // when singular.
  bool inverse(matrix& out) const;
  // this = orthogonalize(this B^T C^T B), products of the stored arrays.
  matrix& change_basis(const matrix& b, const matrix& c);

  // Each pair of same rows agrees to within float noise (|dot - 1| <= 5e-7).
  bool near_equal(const matrix& b) const;
  // Some row or column is exactly all zeros.
  bool is_degenerate() const;
  // No element is NaN.
  bool is_valid() const;

  // Forward keeps its direction; right and up are rebuilt from it (not
  // renormalised when up was not perpendicular). Forward must not be zero.
  matrix& orthogonalize();
  matrix& orthogonalized(matrix& out) const;
  // Forward first, then up, then right, each normalised; zero or parallel
  // rows are replaced.
  matrix& orthonormalize();
  matrix& orthonormalized(matrix& out) const;

  // Angles in (-pi/2, 3pi/2), the range of atan2_fast.
  void to_angles(float& pitch, float& bank, float& heading) const;
  void to_axis_angle(vector& axis, float& angle) const;
};

// ---------------------------------------------------------------------------
// A placed frame: applying it to a local point p gives unrotate(p, orient) +
// pos.
inline vector& vector::unrotated(vector& out, const matrix& m) const {
  return out.set(x * m.right.x + y * m.up.x + z * m.forward.x,
                 x * m.right.y + y * m.up.y + z * m.forward.y,
                 x * m.right.z + y * m.up.z + z * m.forward.z);
}

struct transform {
  matrix orient;
  vector pos;

  transform() = default;
  constexpr transform(const matrix& m, const vector& p) : orient(m), pos(p) {}

  // Matrix with a zero position.
  transform& from_matrix(const matrix& m);
  transform& from_vectors(const vector& r, const vector& u, const vector& f, const vector& p);
  transform& set(const vector& p, const matrix& m);
  transform& identity();
  void get_matrix(matrix& out) const { out = orient; }
  void set_position(const vector& p) { pos = p; }
  void get_position(vector& out) const { out = pos; }

  // out = unrotate(p, orient) + pos.
  vector& apply(vector& out, const vector& p) const;
  // out = this x b as 4x4 row matrices (rows r0, r1, r2, pos): applying out
  // equals applying this, then b.
  transform& multiply_frame(transform& out, const transform& b) const;
  // this = a x b, as multiply_frame.
  transform& multiply_by_frame(const transform& a, const transform& b);
  // out.orient = orient^T, out.pos = -rotate(pos, orient).
  transform& inverse(transform& out) const;
  // matrix::near_equal of the orientations, exact equality of the positions.
  bool near_equal(const transform& o) const;

  // Through quaternions (defined with them).
  transform& from_quaternion(const quaternion& q, const vector& p);
  // Slerp of the two rotations, linear blend of the positions.
  static transform& interpolate(transform& out, const transform& t1, const transform& t2, float t);
  static transform& from_quaternions(transform& out, const quaternion& q1, const quaternion& q2,
                                     const vector& p1, const vector& p2, float t);
};

// Inline: posing a character composes two of these per bone every frame.
[[gnu::always_inline]] inline transform& transform::multiply_frame(transform& out, const transform& b) const {
  transform t;
  orient.right.unrotated(t.orient.right, b.orient);
  orient.up.unrotated(t.orient.up, b.orient);
  orient.forward.unrotated(t.orient.forward, b.orient);
  pos.unrotated(t.pos, b.orient);
  t.pos += b.pos;
  return out = t;
}

// A pair of placed frames (position, orientation) behind a leading word.
struct frame_pose {
  vector pos;
  matrix orient;
};
struct frame_pair {
  int32_t flags;
  frame_pose frame[2];
  frame_pair& assign(const frame_pair& o) { return *this = o; }
};

inline constexpr matrix identity_matrix{
    vector{1.0f, 0.0f, 0.0f}, vector{0.0f, 1.0f, 0.0f}, vector{0.0f, 0.0f, 1.0f}};
inline constexpr transform identity_transform{identity_matrix, vector{0.0f, 0.0f, 0.0f}};

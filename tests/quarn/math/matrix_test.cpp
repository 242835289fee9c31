#include "quarn/math/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

#include "quarn/math/floatops.h"

namespace {

constexpr float PI = 3.14159265f;

void expect_vec(const vector& v, const vector& e, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, e.x, eps);
  EXPECT_NEAR(v.y, e.y, eps);
  EXPECT_NEAR(v.z, e.z, eps);
}

void expect_mat(const matrix& a, const matrix& b, float eps = 1e-5f) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.m(i), b.m(i), eps) << "element " << i;
}

void expect_orthonormal(const matrix& m, float eps = 1e-5f) {
  EXPECT_NEAR(m.right.length(), 1, eps);
  EXPECT_NEAR(m.up.length(), 1, eps);
  EXPECT_NEAR(m.forward.length(), 1, eps);
  EXPECT_NEAR(vector::dot(m.right, m.up), 0, eps);
  EXPECT_NEAR(vector::dot(m.up, m.forward), 0, eps);
  EXPECT_NEAR(vector::dot(m.forward, m.right), 0, eps);
  EXPECT_NEAR(m.determinant(), 1, eps * 4);
}

vector rot(const vector& v, const matrix& m) {
  vector out;
  return v.rotated(out, m);
}
vector unrot(const vector& v, const matrix& m) {
  vector out;
  return v.unrotated(out, m);
}

const matrix A = matrix::from_angles(0.3f, -0.7f, 1.1f);
const matrix B = matrix::from_angles(-1.2f, 0.4f, 2.5f);
const matrix C = matrix::from_angles(0.9f, 1.3f, -0.2f);
const vector V{0.3f, -1.7f, 2.2f};

TEST(Matrix, LayoutIsNineFloatsRowByRow) {
  static_assert(sizeof(matrix) == 36);
  static_assert(sizeof(transform) == 48);
  static_assert(std::is_trivially_copyable_v<transform>);
  matrix m = matrix::from_floats(0, 1, 2, 3, 4, 5, 6, 7, 8);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m.m(i), static_cast<float>(i));
  EXPECT_EQ(m.up, vector(3, 4, 5));
}

TEST(Matrix, AngleConventions) {
  expect_mat(matrix::from_angles(0, 0, 0), identity_matrix, 0);
  // Positive pitch tips forward down.
  expect_vec(matrix::from_angles(PI / 2, 0, 0).forward, {0, -1, 0});
  // Heading turns forward toward +x: rows (cos h, 0, -sin h), (0, 1, 0),
  // (sin h, 0, cos h).
  float h = 0.6f;
  expect_mat(matrix::from_angles(0, 0, h),
             matrix::from_floats(std::cos(h), 0, -std::sin(h), 0, 1, 0, std::sin(h), 0, std::cos(h)));
  matrix m;
  m.set_sincos(std::sin(0.3f), std::cos(0.3f), std::sin(0.2f), std::cos(0.2f), std::sin(0.8f), std::cos(0.8f));
  expect_mat(m, matrix::from_angles(0.3f, 0.2f, 0.8f), 0);
}

TEST(Matrix, ToAnglesRoundTripsAndUsesItsRange) {
  struct Case {
    float p, b, h;     // angles in
    float ep, eb, eh;  // angles expected back
  } cases[] = {
      {0.3f, 0.2f, 0.8f, 0.3f, 0.2f, 0.8f},
      {0, 0, 3.0f, 0, 0, 3.0f},
      {0, 0, -3.0f, 0, 0, -3.0f + 2 * PI},  // about 3.2832: (-pi/2, 3pi/2)
      {-0.5f, 2.0f, 0.1f, -0.5f, 2.0f, 0.1f},
      {1.2f, -1.0f, 4.0f, 1.2f, -1.0f, 4.0f},
  };
  for (const Case& c : cases) {
    float p, b, h;
    matrix::from_angles(c.p, c.b, c.h).to_angles(p, b, h);
    EXPECT_NEAR(p, c.ep, 1e-5f);
    EXPECT_NEAR(b, c.eb, 1e-5f);
    EXPECT_NEAR(h, c.eh, 1e-5f);
  }
  // Whatever angles come back rebuild the same orientation.
  uint32_t keep = os_rand_get_state();
  os_srand(11);
  for (int i = 0; i < 500; ++i) {
    float p0 = frand_range(-1.5f, 1.5f);
    float b0 = frand_range(-3.0f, 3.0f);
    float h0 = frand_range(-3.0f, 3.0f);
    matrix m = matrix::from_angles(p0, b0, h0);
    float p, b, h;
    m.to_angles(p, b, h);
    ASSERT_GT(h, -PI / 2 - 1e-6f);
    ASSERT_LT(h, 3 * PI / 2 + 1e-6f);
    matrix back = matrix::from_angles(p, b, h);
    for (int k = 0; k < 9; ++k) ASSERT_NEAR(back.m(k), m.m(k), 2e-5f) << i;
  }
  os_rand_set_state(keep);
}

TEST(Matrix, AxisAngle) {
  vector axis;
  float angle;
  identity_matrix.to_axis_angle(axis, angle);
  EXPECT_EQ(angle, 0.0f);
  EXPECT_EQ(axis, vector(1, 0, 0));

  matrix::from_axis_angle({0, 1, 0}, PI).to_axis_angle(axis, angle);
  EXPECT_FLOAT_EQ(angle, 3.1415927f);
  expect_vec(axis, {0, 1, 0});
  matrix::from_axis_angle({1, 0, 0}, PI).to_axis_angle(axis, angle);
  expect_vec(axis, {1, 0, 0});
  matrix::from_axis_angle({0, 0, 1}, PI).to_axis_angle(axis, angle);
  expect_vec(axis, {0, 0, 1});

  vector n{1, 2, -2};
  n.normalize();
  matrix::from_axis_angle(n, 1.0f).to_axis_angle(axis, angle);
  EXPECT_NEAR(angle, 1.0f, 1e-5f);
  expect_vec(axis, n);
  // A heading is a rotation about y: the axis-angle form agrees with the
  // angle form.
  expect_mat(matrix::from_axis_angle({0, 1, 0}, 0.7f), matrix::from_angles(0, 0, 0.7f));
}

TEST(Matrix, FromForwardFamily) {
  matrix m = matrix::from_forward({0, 5, 0});
  expect_vec(m.right, {1, 0, 0});
  expect_vec(m.up, {0, 0, -1});
  expect_vec(matrix::from_forward({0, -5, 0}).up, {0, 0, 1});
  m = matrix::from_forward({3, 0, 3});
  expect_orthonormal(m);
  expect_vec(m.forward, {std::sqrt(0.5f), 0, std::sqrt(0.5f)});
  EXPECT_EQ(m.right.y, 0.0f);  // a horizontal right axis
  expect_mat(matrix::from_forward({1, 0, 0}), matrix::from_angles(0, 0, PI / 2));

  matrix raw = matrix::from_forward_raw({0, 0, 2});
  EXPECT_EQ(raw.forward, vector(0, 0, 2));

  // Hints: a good one is followed, a zero or parallel one falls back.
  m = matrix::from_forward_up({0, 0, 1}, {1, 1, 0});
  expect_orthonormal(m);
  expect_vec(m.up, {std::sqrt(0.5f), std::sqrt(0.5f), 0});
  expect_mat(matrix::from_forward_up({1, 2, 3}, {2, 4, 6}), matrix::from_forward({1, 2, 3}));
  expect_mat(matrix::from_forward_up({1, 2, 3}, {0, 0, 0}), matrix::from_forward({1, 2, 3}));
  m = matrix::from_forward_right({0, 0, 1}, {0, -1, 0});
  expect_orthonormal(m);
  expect_vec(m.right, {0, -1, 0});
  expect_mat(matrix::from_forward_right({1, 2, 3}, {-1, -2, -3}), matrix::from_forward({1, 2, 3}));
}

TEST(Matrix, ProductOrders) {
  // multiply puts the OTHER matrix on the left: rotating by the result is
  // rotating by A, then by B.
  matrix out;
  A.multiply(out, B);
  expect_vec(rot(V, out), rot(rot(V, A), B));
  // out[i][j] = sum B[i][k] A[k][j], element by element.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      float s = 0;
      for (int k = 0; k < 3; ++k) s += B.m(i * 3 + k) * A.m(k * 3 + j);
      EXPECT_NEAR(out.m(i * 3 + j), s, 1e-6f);
    }
  // The result may be one of the operands.
  matrix a = A;
  a.multiply(a, B);
  expect_mat(a, out, 0);

  A.multiply_transposed(out, B);  // B^T A: rotate by A, then unrotate by B
  expect_vec(rot(V, out), unrot(rot(V, A), B));
  A.multiply_by_transpose(out, B);  // B A^T: unrotate by A, then rotate by B
  expect_vec(rot(V, out), rot(unrot(V, A), B));

  matrix t;
  A.transposed(t);
  expect_vec(rot(V, t), unrot(V, A));
  t.transpose();
  expect_mat(t, A, 0);
}

TEST(Matrix, ChangeBasisIsABtCtB) {
  matrix m = A;
  m.change_basis(B, C);
  // A B^T C^T B applied to V: B first, then C^T, then B^T, then A.
  expect_vec(rot(V, m), rot(unrot(unrot(rot(V, B), C), B), A));
  expect_orthonormal(m);
}

TEST(Matrix, DeterminantAndInverse) {
  matrix g = matrix::from_floats(2, 0, 1, 1, 3, 0, 0, 1, 4);
  EXPECT_FLOAT_EQ(g.determinant(), 2 * 12 - 0 + 1 * 1);
  matrix inv;
  EXPECT_TRUE(g.inverse(inv));
  matrix prod;
  inv.multiply(prod, g);  // g * inv
  expect_mat(prod, identity_matrix, 1e-6f);
  g.multiply(prod, inv);  // inv * g
  expect_mat(prod, identity_matrix, 1e-6f);
  EXPECT_NEAR(A.determinant(), 1.0f, 1e-5f);

  matrix s = matrix::from_floats(1, 2, 3, 0, 0, 0, 4, 5, 6);
  matrix before = s;
  EXPECT_FALSE(s.invert());
  expect_mat(s, before, 0);
  EXPECT_TRUE(s.is_degenerate());
  EXPECT_TRUE(matrix::from_floats(1, 0, 2, 3, 0, 4, 5, 0, 6).is_degenerate());  // zero column
  EXPECT_FALSE(A.is_degenerate());
  EXPECT_TRUE(A.is_valid());
  EXPECT_FALSE(matrix::from_floats(1, 0, 0, 0, NAN, 0, 0, 0, 1).is_valid());
}

TEST(Matrix, NearEqual) {
  EXPECT_TRUE(A.near_equal(A));
  // 1 - cos(angle) against 5e-7: a turn of 1e-4 is float noise, 2e-3 is not.
  EXPECT_TRUE(A.near_equal(matrix::from_angles(0.3f, -0.7f, 1.1f + 1e-4f)));
  EXPECT_FALSE(A.near_equal(matrix::from_angles(0.3f, -0.7f, 1.1f + 2e-3f)));
  EXPECT_FALSE(A.near_equal(B));
}

TEST(Matrix, Orthogonalize) {
  // Up leaning toward forward: forward keeps its direction, the others are
  // rebuilt perpendicular but not renormalised.
  matrix m = matrix::from_floats(1, 0, 0, 0, 1, 1, 0, 0, 2);
  m.orthogonalize();
  expect_vec(m.forward, {0, 0, 1});
  expect_vec(m.right, {std::sqrt(0.5f), 0, 0});
  EXPECT_NEAR(vector::dot(m.right, m.up), 0, 1e-6f);
  EXPECT_NEAR(vector::dot(m.forward, m.up), 0, 1e-6f);

  matrix noisy = matrix::from_floats(1, 0.01f, 0, -0.01f, 1, 0.02f, 0, 0, 1);
  noisy.orthogonalize();
  expect_orthonormal(noisy, 1e-3f);
  // No up: built from right.
  matrix noup = matrix::from_floats(1, 0, 0, 0, 0, 0, 0, 0, 1);
  noup.orthogonalize();
  expect_mat(noup, identity_matrix);
  // Nothing but forward, straight up.
  matrix onlyf = matrix::from_floats(0, 0, 0, 0, 0, 0, 0, 3, 0);
  onlyf.orthogonalize();
  EXPECT_TRUE(onlyf.is_valid());
  expect_vec(onlyf.forward, {0, 1, 0});
}

TEST(Matrix, OrthonormalizeAlwaysGivesARotation) {
  struct Case {
    matrix in;
    const char* what;
  } cases[] = {
      {matrix::from_floats(2, 0.1f, 0, 0.1f, 3, 0, 0, 0.2f, 5), "noisy"},
      {matrix::from_floats(1, 0, 0, 0, 1, 0, 0, 0, 0), "zero forward"},
      {matrix::from_floats(0, 0, 0, 0, 1, 0, 0, 0, 0), "up only"},
      {matrix::from_floats(0, 0, 0, 0, 0, 2, 0, 0, 0), "up only, along z"},
      {matrix::from_floats(1, 0, 0, 0, 0, 0, 0, 0, 0), "right only"},
      {matrix::from_floats(0, 0, 0, 0, 0, 0, 0, 0, 0), "all zero"},
      {matrix::from_floats(0, 0, 0, 0, 0, -1, 0, 0, 1), "up opposite forward"},
      {matrix::from_floats(0, 0, 1, 0, 0, 2, 0, 0, 1), "up and right along forward"},
      {matrix::from_floats(0, 0, 0, 0, 0, 0, 0, 1, 0), "forward straight up"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    matrix m;
    c.in.orthonormalized(m);
    ASSERT_TRUE(m.is_valid());
    expect_orthonormal(m);
  }
  // Forward keeps its direction, then up within the plane it spans with
  // forward.
  matrix m = matrix::from_floats(5, 0, 0, 0, 1, 1, 0, 0, 3);
  m.orthonormalize();
  expect_vec(m.forward, {0, 0, 1});
  expect_vec(m.up, {0, 1, 0});
  expect_vec(m.right, {1, 0, 0});
}

TEST(Transform, ApplyInverseAndProducts) {
  transform t{A, vector{1, 2, 3}};
  transform inv;
  t.inverse(inv);
  vector p{4, -5, 6}, w, back;
  t.apply(w, p);
  expect_vec(w, unrot(p, A) + vector{1, 2, 3});
  inv.apply(back, w);
  expect_vec(back, p);

  // Applying a product equals applying the called-on transform, then the
  // other.
  transform u{B, vector{-2, 0.5f, 7}}, tu, ut;
  t.multiply_frame(tu, u);
  vector step, expect;
  t.apply(step, p);
  u.apply(expect, step);
  tu.apply(w, p);
  expect_vec(w, expect);
  ut.multiply_by_frame(t, u);
  ut.apply(w, p);
  expect_vec(w, expect);
  // And a transform times its inverse is the identity.
  transform id;
  t.multiply_frame(id, inv);
  expect_mat(id.orient, identity_matrix);
  expect_vec(id.pos, zero_vector);

  transform z;
  z.identity();
  EXPECT_TRUE(z.near_equal(identity_transform));
  z.set(vector{1, 0, 0}, identity_matrix);
  EXPECT_FALSE(z.near_equal(identity_transform));
  z.from_matrix(B);
  EXPECT_EQ(z.pos, zero_vector);
  vector got;
  z.set_position({9, 8, 7});
  z.get_position(got);
  EXPECT_EQ(got, vector(9, 8, 7));
}

}  // namespace

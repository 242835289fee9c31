#include "quarn/math/quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "quarn/math/floatops.h"

namespace {

constexpr float PI = 3.14159265f;

void expect_quat(const quaternion& q, const quaternion& e, float eps = 1e-5f) {
  EXPECT_NEAR(q.x, e.x, eps);
  EXPECT_NEAR(q.y, e.y, eps);
  EXPECT_NEAR(q.z, e.z, eps);
  EXPECT_NEAR(q.w, e.w, eps);
}

// q or -q: both stand for the same rotation.
void expect_same_rotation(const quaternion& q, const quaternion& e, float eps = 1e-5f) {
  if (quaternion_dot(q, e) < 0) {
    quaternion n;
    expect_quat(q.negated(n), e, eps);
  } else {
    expect_quat(q, e, eps);
  }
}

void expect_packed(const packed_quaternion& q, const packed_quaternion& e, int units) {
  EXPECT_LE(std::abs(q.x - e.x), units) << q.x << " vs " << e.x;
  EXPECT_LE(std::abs(q.y - e.y), units) << q.y << " vs " << e.y;
  EXPECT_LE(std::abs(q.z - e.z), units) << q.z << " vs " << e.z;
  EXPECT_LE(std::abs(q.w - e.w), units) << q.w << " vs " << e.w;
}

quaternion axis_angle(vector n, float angle) {
  n.normalize();
  float s = std::sin(angle / 2);
  return {n.x * s, n.y * s, n.z * s, std::cos(angle / 2)};
}

packed_quaternion pack(const quaternion& q) {
  packed_quaternion p;
  return p.from_quaternion(q);
}

quaternion unpack(const packed_quaternion& p) {
  quaternion q;
  return p.to_quaternion(q);
}

vector rot(const vector& v, const matrix& m) {
  vector out;
  return v.rotated(out, m);
}

const quaternion QA = axis_angle({1, 2, 3}, 0.9f);
const quaternion QB = axis_angle({-2, 0.5f, 1}, 2.1f);

TEST(Quaternion, Layout) {
  static_assert(sizeof(quaternion) == 16);
  static_assert(sizeof(packed_quaternion) == 8);
  EXPECT_EQ(identity_packed_quaternion.w, 16383);
  EXPECT_EQ(identity_quaternion.w, 1.0f);
}

TEST(Quaternion, ProductComposesRotations) {
  quaternion i{1, 0, 0, 0}, j{0, 1, 0, 0}, out;
  expect_quat(i.multiply(out, j), {0, 0, 1, 0}, 0);
  expect_quat(j.multiply(out, i), {0, 0, -1, 0}, 0);
  // The matrix of a (x) b rotates by b, then by a.
  matrix ma, mb, mab;
  QA.to_matrix(ma);
  QB.to_matrix(mb);
  QA.multiply(out, QB).to_matrix(mab);
  vector v{0.4f, -1.1f, 2.0f};
  vector e = rot(rot(v, mb), ma), got = rot(v, mab);
  EXPECT_NEAR(got.x, e.x, 1e-5f);
  EXPECT_NEAR(got.y, e.y, 1e-5f);
  EXPECT_NEAR(got.z, e.z, 1e-5f);
}

TEST(Quaternion, MatrixConversionsRoundTrip) {
  // to_matrix is the transpose of matrix::from_axis_angle.
  vector n{1, 2, 3};
  n.normalize();
  matrix m, t;
  axis_angle(n, 0.9f).to_matrix(m);
  matrix::from_axis_angle(n, 0.9f).transposed(t);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(m.m(k), t.m(k), 1e-6f);

  // Every branch of the matrix-to-quaternion extraction: a positive trace,
  // and half turns about each axis (largest diagonal x, y, z).
  const quaternion cases[] = {QA, QB, axis_angle({1, 0, 0}, PI), axis_angle({0, 1, 0}, PI),
                              axis_angle({0, 0, 1}, PI), axis_angle({1, 0.2f, 0.1f}, 3.0f),
                              axis_angle({0.1f, 1, 0.2f}, 3.0f), axis_angle({0.1f, 0.2f, 1}, 3.0f)};
  for (const quaternion& q : cases) {
    quaternion back, raw;
    q.to_matrix(m);
    back.from_matrix(m);
    expect_same_rotation(back, q);
    raw.from_matrix_raw(m);
    expect_same_rotation(raw, q);
  }
}

TEST(Quaternion, AnglesToMatrixToQuaternionAndBack) {
  uint32_t keep = os_rand_get_state();
  os_srand(99);
  for (int i = 0; i < 300; ++i) {
    float p = frand_range(-1.5f, 1.5f), b = frand_range(-3, 3), h = frand_range(-3, 3);
    matrix m = matrix::from_angles(p, b, h), back;
    quaternion q;
    q.from_matrix(m).to_matrix(back);
    for (int k = 0; k < 9; ++k) ASSERT_NEAR(back.m(k), m.m(k), 2e-5f);
    float p2, b2, h2;
    back.to_angles(p2, b2, h2);
    matrix again = matrix::from_angles(p2, b2, h2);
    for (int k = 0; k < 9; ++k) ASSERT_NEAR(again.m(k), m.m(k), 5e-5f);
  }
  os_rand_set_state(keep);
}

TEST(Quaternion, ExpAndLog) {
  quaternion out;
  expect_quat(quaternion{0, 0, 0, 5}.exp(out), {0, 0, 0, 1}, 0);
  expect_quat(identity_quaternion.log(out), {0, 0, 0, 0}, 0);
  // log gives half the angle along the axis; exp undoes it.
  quaternion l;
  QA.log(l);
  vector n{1, 2, 3};
  n.normalize();
  expect_quat(l, {n.x * 0.45f, n.y * 0.45f, n.z * 0.45f, 0});
  quaternion e = l;
  e.exp_self();
  expect_quat(e, QA);
}

TEST(Quaternion, SlerpWrapsTAndTakesTheShortArc) {
  quaternion a, b;
  quaternion_slerp(a, QA, QB, 1.25f);
  quaternion_slerp(b, QA, QB, 0.25f);
  expect_quat(a, b, 1e-6f);
  quaternion_slerp(a, QA, QB, -0.25f);
  quaternion_slerp(b, QA, QB, 0.75f);
  expect_quat(a, b, 1e-6f);
  quaternion_slerp(a, QA, QB, 0.0f);
  expect_quat(a, QA);
  quaternion_slerp(a, QA, QB, 2.0f);  // wraps to 1, not 0
  expect_same_rotation(a, QB);

  // The ends and the middle of the short way.
  quaternion q1 = identity_quaternion, q2, neg;
  axis_angle({0, 1, 0}, 0.5f).negated(q2);  // same rotation, far hemisphere
  quaternion_slerp(a, q1, q2, 1.0f);
  expect_quat(a, axis_angle({0, 1, 0}, 0.5f));  // q2' = -q2
  quaternion_slerp(a, q1, q2, 0.5f);
  expect_quat(a, axis_angle({0, 1, 0}, 0.25f));

  // q against -q: the same rotation at every t.
  QA.negated(neg);
  for (float t : {0.0f, 0.3f, 0.7f, 1.0f}) {
    quaternion_slerp(a, QA, neg, t);
    expect_quat(a, QA);
  }

  // A result with w exactly 0 is nudged to 1e-6.
  quaternion_slerp(a, quaternion{1, 0, 0, 0}, quaternion{0, 1, 0, 0}, 0.5f);
  EXPECT_EQ(a.w, 1e-6f);
  EXPECT_NEAR(a.x, std::sqrt(0.5f), 1e-6f);

  // The output may be an input.
  quaternion_slerp(b, QA, QB, 0.25f);
  a = QA;
  quaternion_slerp(a, a, QB, 0.25f);
  expect_quat(a, b, 0);
}

TEST(Quaternion, SlerpTerminatesOnAnyT) {
  const float ts[] = {1e20f, -1e20f, std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                      17.0f, -17.0f, 16.5f};
  for (float t : ts) {
    quaternion out;
    quaternion_slerp(out, QA, QB, t);
    EXPECT_TRUE(std::isfinite(out.x) && std::isfinite(out.w)) << t;
    packed_quaternion p;
    packed_quaternion_slerp(p, pack(QA), pack(QB), t);
  }
  quaternion a, b;
  quaternion_slerp(a, QA, QB, 17.0f);  // a whole number wraps to 1
  expect_same_rotation(a, QB);
  quaternion_slerp(a, QA, QB, -17.0f);  // ... or to 0 from below
  expect_quat(a, QA);
  quaternion_slerp(a, QA, QB, 16.5f);
  quaternion_slerp(b, QA, QB, 0.5f);
  expect_quat(a, b);
}

// The polynomial slerp agrees with the library's slerp to float rounding,
// on every kind of pair (close, far, opposite, the longer way round, not of
// unit length); its batch form gives the single form's results bit for bit,
// whichever lanes fall back to the library and however the pairs divide
// into batches.
TEST(Quaternion, FastSlerpIsTheSlerpToRounding) {
  std::vector<quaternion> a, b;
  std::vector<float> t;
  const float ts[] = {0.0f, 1e-4f, 0.1f, 0.37f, 0.5f, 0.8f, 0.9999f, 1.0f, 1.25f, -0.25f};
  const float angles[] = {0.0f, 1e-5f, 2e-3f, 0.1f, 0.7f, 1.4f, 2.0f, 3.0f, 3.14159f};
  uint32_t seed = 1;
  for (float angle : angles) {
    for (float tv : ts) {
      seed = seed * 1103515245u + 12345u;
      const vector axis1(std::sin(seed * 0.1f), 1.0f, std::cos(seed * 0.3f));
      const vector axis2(std::cos(seed * 0.7f), std::sin(seed * 0.2f), 0.5f);
      const quaternion from = axis_angle(axis1, 0.3f * static_cast<float>(seed % 7));
      quaternion step = axis_angle(axis2, angle), to;
      from.multiply(to, step);
      a.push_back(from);
      b.push_back(to);
      t.push_back(tv);
      // The same pair the longer way round.
      quaternion neg;
      a.push_back(from);
      b.push_back(to.negated(neg));
      t.push_back(tv);
    }
  }
  a.push_back({0.1f, 0.2f, 0.3f, 0.4f});  // far from unit length
  b.push_back({0.4f, 0.1f, -0.2f, 0.9f});
  t.push_back(0.6f);
  for (size_t i = 0; i < a.size(); ++i) {
    quaternion want, got;
    quaternion_slerp(want, a[i], b[i], t[i]);
    quaternion_slerp_fast(got, a[i], b[i], t[i]);
    expect_quat(got, want, 3e-7f);
  }
  for (int n : {1, 2, 3, 31, 32, 33, static_cast<int>(a.size())}) {
    std::vector<quaternion> many(n);
    quaternion_slerp_fast_many(many.data(), a.data(), b.data(), t.data(), n);
    for (int i = 0; i < n; ++i) {
      quaternion one;
      quaternion_slerp_fast(one, a[i], b[i], t[i]);
      EXPECT_EQ(std::memcmp(&one, &many[i], sizeof one), 0) << "pair " << i << " of " << n;
    }
  }
  // In place, as a blend of many bones writes back over its first poses.
  std::vector<quaternion> in_place = a;
  quaternion_slerp_fast_many(in_place.data(), in_place.data(), b.data(), t.data(), static_cast<int>(a.size()));
  for (size_t i = 0; i < a.size(); ++i) {
    quaternion one;
    quaternion_slerp_fast(one, a[i], b[i], t[i]);
    EXPECT_EQ(std::memcmp(&one, &in_place[i], sizeof one), 0) << "pair " << i;
  }
}

TEST(Quaternion, SquadAndTangent) {
  quaternion out;
  quaternion_squad(out, QA, identity_quaternion, QB, QB, 0.0f);
  expect_quat(out, QA);
  quaternion_squad(out, QA, identity_quaternion, QB, QB, 1.0f);
  expect_same_rotation(out, QB);
  // Between the ends, with every key a turn about one axis, the blend is a
  // turn about that axis too: the angle of p..q at t, pulled by 2t(1-t)
  // towards the angle of a..b at t.
  const vector z{0, 0, 1};
  const float p = 0.1f, a = 0.9f, b = -0.3f, q = 1.2f;
  for (float t : {0.25f, 0.5f, 0.8f}) {
    const float h = 2.0f * t * (1.0f - t);
    SCOPED_TRACE(t);
    const float along = p + (q - p) * t, inner = a + (b - a) * t;
    quaternion_squad(out, axis_angle(z, p), axis_angle(z, a), axis_angle(z, b), axis_angle(z, q), t);
    expect_same_rotation(out, axis_angle(z, along + (inner - along) * h));
  }
  // The tangent between two turns about one axis is half their difference
  // along that axis.
  quaternion_squad_tangent(out, axis_angle(z, 0.3f), axis_angle(z, 1.1f));
  expect_quat(out, {0, 0, 0.4f, 0});
  // The tangent from q to itself is no rotation at all.
  quaternion_squad_tangent(out, QA, QA);
  expect_quat(out, {0, 0, 0, 0});
  // From the identity it is the log of the target.
  quaternion l;
  quaternion_squad_tangent(out, identity_quaternion, QB);
  expect_quat(out, QB.log(l));
}

TEST(Quaternion, TransformInterpolation) {
  transform t1, t2, out;
  t1.from_quaternion(identity_quaternion, {0, 0, 0});
  t2.from_quaternion(axis_angle({0, 1, 0}, 1.0f), {2, 4, 6});
  transform::interpolate(out, t1, t2, 0.5f);
  EXPECT_EQ(out.pos, vector(1, 2, 3));
  matrix half;
  axis_angle({0, 1, 0}, 0.5f).to_matrix(half);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(out.orient.m(k), half.m(k), 1e-5f);
  transform::from_quaternions(out, identity_quaternion, axis_angle({0, 1, 0}, 1.0f), {0, 0, 0}, {2, 4, 6}, 1.0f);
  EXPECT_TRUE(out.near_equal(t2));
}

TEST(PackedQuaternion, PackingTruncatesAndStaysDefined) {
  struct Case {
    float in;
    int16_t out;
  } cases[] = {{0.99999f, 16382}, {1.0f, 16383},    {-0.99999f, -16382}, {0.5f, 8191},
               {-1.0f, -16383},   {2.5f, 32767},    {-2.5f, -32767},     {std::numeric_limits<float>::quiet_NaN(), 0},
               {std::numeric_limits<float>::infinity(), 32767}};
  for (const Case& c : cases) {
    packed_quaternion p = pack({c.in, 0, 0, c.in});
    EXPECT_EQ(p.x, c.out) << c.in;
    EXPECT_EQ(p.w, c.out) << c.in;
  }
  // Unit quaternions survive packing within one quantum.
  uint32_t keep = os_rand_get_state();
  os_srand(5);
  for (int i = 0; i < 1000; ++i) {
    vector axis = vector::random_unit();
    quaternion q = axis_angle(axis, frand_range(-3, 3)), back = unpack(pack(q));
    ASSERT_NEAR(back.x, q.x, 1.0f / 16383);
    ASSERT_NEAR(back.y, q.y, 1.0f / 16383);
    ASSERT_NEAR(back.z, q.z, 1.0f / 16383);
    ASSERT_NEAR(back.w, q.w, 1.0f / 16383);
  }
  os_rand_set_state(keep);
}

TEST(PackedQuaternion, ComponentOperations) {
  packed_quaternion a{100, -200, 300, 16000}, b{1, 2, 3, 4}, out;
  expect_packed(a.conjugated(out), {-100, 200, -300, 16000}, 0);
  expect_packed(a.negated(out), {-100, 200, -300, -16000}, 0);
  expect_packed(a.add(out, b), {101, -198, 303, 16004}, 0);
  expect_packed(a.sub(out, b), {99, -202, 297, 15996}, 0);
  EXPECT_NEAR(packed_quaternion_dot(identity_packed_quaternion, identity_packed_quaternion), 1.0f, 1e-6f);
  // Four products of the largest components exceed 32 bits.
  packed_quaternion big{32767, 32767, 32767, 32767}, minus{-32768, 0, 0, 0};
  EXPECT_NEAR(packed_quaternion_dot(big, big), 4.0f * 32767 * 32767 / (16383.0f * 16383.0f), 1e-3f);
  expect_packed(minus.negated(out), {-32768, 0, 0, 0}, 0);  // 16-bit wrap
}

TEST(PackedQuaternion, Normalisation) {
  struct Case {
    packed_quaternion in, expected;
    int units;
  } cases[] = {
      {{0, 0, 0, 16383}, {0, 0, 0, 16383}, 0},
      {{0, 0, 0, 8000}, {0, 0, 0, 16383}, 1},
      {{0, 0, 0, -8000}, {0, 0, 0, -16383}, 1},
      {{3000, 0, 4000, 0}, {9829, 0, 13106, 0}, 1},
      {{32767, 32767, 32767, 32767}, {8191, 8191, 8191, 8191}, 1},  // corrupt data: no overflow
      {{0, 0, 0, 0}, {0, 0, 0, 16383}, 0},                          // no direction: identity
  };
  for (const Case& c : cases) {
    packed_quaternion out;
    expect_packed(c.in.normalized(out), c.expected, c.units);
  }
  packed_quaternion z{0, 0, 0, 0};
  z.normalize();
  expect_packed(z, identity_packed_quaternion, 0);
}

// A key pair's arc, worked out once, samples to exactly what the packed slerp
// gives for the same pair: the same shorter-way choice, the same branch for
// keys too close to tell apart, the same wrap of t and the same rounding.
TEST(PackedQuaternion, PreparedArcSamplesExactlyAsTheSlerp) {
  const packed_quaternion pa = pack(QA), pb = pack(QB);
  packed_quaternion neg_b, almost_a = pa;
  pb.negated(neg_b);
  almost_a.x = static_cast<int16_t>(almost_a.x + 1);
  const packed_quaternion pairs[][2] = {
      {pa, pb},
      {pa, neg_b},                                          // the shorter way is through -b
      {pa, pa},                                             // no arc at all
      {pa, almost_a},                                       // closer than the slerp tells apart
      {{16383, 0, 0, 0}, {0, 16383, 0, 0}},                 // a quarter turn apart; w comes out 0
      {identity_packed_quaternion, {0, 0, 0, -16383}},      // q and -q
      {{16383, 0, 0, 0}, {-16383, 0, 0, 0}},
      {{-32768, 32767, -32768, 32767}, {32767, -32768, 100, -5}},  // damaged keys, far off unit length
      {{0, 0, 0, 0}, pb},
  };
  const float ts[] = {0.0f, 0.001f, 0.25f, 0.5f, 0.73f, 0.999f, 1.0f, 1.25f, -0.25f, 40.5f,
                      std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
  for (const auto& pair : pairs) {
    packed_slerp_arc arc;
    arc.prepare(pair[0], pair[1]);
    for (float t : ts) {
      packed_quaternion want;
      packed_quaternion_slerp(want, pair[0], pair[1], t);
      quaternion want_f, got;
      want.to_quaternion(want_f);
      arc.sample_unpacked(got, t);
      EXPECT_EQ(std::memcmp(&got, &want_f, sizeof got), 0)
          << "pair (" << pair[0].x << "," << pair[0].y << "," << pair[0].z << "," << pair[0].w << ") t " << t
          << ": " << got.x << " " << got.y << " " << got.z << " " << got.w << " vs " << want_f.x << " " << want_f.y
          << " " << want_f.z << " " << want_f.w;
    }
  }
}

TEST(PackedQuaternion, MatchesTheFloatFormWithinQuantisation) {
  packed_quaternion pa = pack(QA), pb = pack(QB), out;
  quaternion f;

  expect_packed(pa.multiply(out, pb), pack(QA.multiply(f, QB)), 2);

  quaternion small{0.1f, -0.2f, 0.3f, 0};
  expect_packed(pack(small).exp(out), pack(small.exp(f)), 2);
  // log keeps the 16383 scale: (0.45 n) * 16383.
  expect_packed(pa.log(out), pack(QA.log(f)), 3);
  expect_packed(identity_packed_quaternion.log(out), {0, 0, 0, 0}, 0);

  for (float t : {0.0f, 0.2f, 0.5f, 0.9f, 1.0f, 1.25f, -0.25f}) {
    packed_quaternion ps;
    packed_quaternion_slerp(ps, pa, pb, t);
    quaternion fs;
    quaternion_slerp(fs, QA, QB, t);
    expect_packed(ps, pack(fs), 3);
  }
  // Slerp of q and -q: q.
  packed_quaternion neg, ps;
  pa.negated(neg);
  packed_quaternion_slerp(ps, pa, neg, 0.4f);
  expect_packed(ps, pa, 0);
  // An output w of 0 becomes 1.
  packed_quaternion_slerp(ps, packed_quaternion{16383, 0, 0, 0}, packed_quaternion{0, 16383, 0, 0}, 0.5f);
  EXPECT_EQ(ps.w, 1);

  quaternion sq, fsq;
  packed_quaternion_squad(sq, pa, identity_packed_quaternion, pb, pb, 0.3f);
  quaternion_squad(fsq, unpack(pa), identity_quaternion, unpack(pb), unpack(pb), 0.3f);
  expect_quat(sq, fsq, 3.0f / 16383);

  packed_quaternion tan;
  packed_quaternion_squad_tangent(tan, pa, pb);
  quaternion ftan;
  quaternion_squad_tangent(ftan, unpack(pa), unpack(pb));
  expect_packed(tan, pack(ftan), 4);
}

}  // namespace

#include "quarn/math/quaternion.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
constexpr float PACK_SCALE = 16383.0f;
constexpr float PACK_UNIT = PACKED_QUATERNION_UNIT;
constexpr float PACK_UNIT_SQ = 3.725745e-9f;    // 1 / 16383^2

// The key tracks sample arcs inline with these, so they live in the header.
constexpr auto& to_component = quaternion_detail::packed_component;
constexpr auto& wrap_t = quaternion_detail::slerp_wrap;

// 16-bit wrap-around, as the packed add and subtract of the key tracks.
int16_t wrap16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// The slerp weights of q1 and q2' for the cosine c between them.
void slerp_weights(float c, float t, float& s0, float& s1) {
  if (1.0f - c > 1e-6f) {
    if (c < -1.0f) c = -1.0f;
    float theta = std::acos(c);
    float s = std::sin(theta);
    s0 = std::sin((1.0f - t) * theta) / s;
    s1 = std::sin(t * theta) / s;
  } else {
    s0 = 0.0f;
    s1 = 1.0f;
  }
}

// The same weights with the arc's trigonometry by polynomials, worked in
// double so that only the final rounding to float remains (they agree with
// the library's to a unit or two in the last place). Blending two poses
// slerps once per bone, and the library's inverse cosine is the dearest
// step of it.
constexpr double HALF_PI = 1.5707963267948966;

// The polynomials are summed in pairs (powers of z and z^2 apart) rather
// than by Horner's rule, so that the terms do not wait on each other.
// asin(x) = x + x^3 g(x^2) for |x| <= 0.5, g fitted on [0, 0.25] to a
// relative 1e-9; sin(x) = x + x^3 h(x^2) for |x| <= pi/2, to 7e-11.
constexpr double ASIN_G[6] = {0.1666666633743091,  0.07500094543495803,  0.04459940152901313,
                              0.031100662730111132, 0.017149238381837982, 0.033690847164204264};
constexpr double SIN_H[5] = {-0.16666666663881224, 0.008333332768753105, -0.00019841086561407013,
                             2.7536463558630714e-06, -2.408019036217325e-08};

double asin_small(double x) {
  const double z = x * x, z2 = z * z;
  const double g =
      (ASIN_G[0] + z * ASIN_G[1]) + z2 * ((ASIN_G[2] + z * ASIN_G[3]) + z2 * (ASIN_G[4] + z * ASIN_G[5]));
  return x + x * z * g;
}

double sin_small(double x) {
  const double y = x * x, y2 = y * y;
  const double h = (SIN_H[0] + y * SIN_H[1]) + y2 * ((SIN_H[2] + y * SIN_H[3]) + y2 * SIN_H[4]);
  return x + x * y * h;
}

// The cosines the polynomials serve: an arc to tell apart, no wider than a
// quarter turn (the shorter way round never is, for unit inputs).
bool weights_by_polynomial(float c) { return 1.0f - c > 1e-6f && c >= 0.0f; }

void slerp_weights_fast(float c, float t, float& s0, float& s1) {
  if (!weights_by_polynomial(c)) {
    slerp_weights(c, t, s0, s1);
    return;
  }
  const double cd = c;
  const double theta = cd > 0.5 ? 2.0 * asin_small(std::sqrt((1.0 - cd) * 0.5)) : HALF_PI - asin_small(cd);
  const double inv_sine = 1.0 / std::sqrt((1.0 - cd) * (1.0 + cd));
  s0 = static_cast<float>(sin_small((1.0 - t) * theta) * inv_sine);
  s1 = static_cast<float>(sin_small(t * theta) * inv_sine);
}

#if defined(__SSE2__)
// slerp_weights_fast for two cosines at once, where both take the
// polynomial path: the same operations in the same order, two lanes wide,
// so that the results are the same to the bit.
void slerp_weights_fast2(const float* c, const float* t, float* s0, float* s1) {
  const __m128d one = _mm_set1_pd(1.0), half = _mm_set1_pd(0.5);
  auto k = [](double v) { return _mm_set1_pd(v); };
  auto asin2 = [&](__m128d x) {
    const __m128d z = _mm_mul_pd(x, x), z2 = _mm_mul_pd(z, z);
    const __m128d lo = _mm_add_pd(k(ASIN_G[0]), _mm_mul_pd(z, k(ASIN_G[1])));
    const __m128d mid = _mm_add_pd(k(ASIN_G[2]), _mm_mul_pd(z, k(ASIN_G[3])));
    const __m128d hi = _mm_add_pd(k(ASIN_G[4]), _mm_mul_pd(z, k(ASIN_G[5])));
    const __m128d g = _mm_add_pd(lo, _mm_mul_pd(z2, _mm_add_pd(mid, _mm_mul_pd(z2, hi))));
    return _mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, z), g));
  };
  auto sin2 = [&](__m128d x) {
    const __m128d y = _mm_mul_pd(x, x), y2 = _mm_mul_pd(y, y);
    const __m128d lo = _mm_add_pd(k(SIN_H[0]), _mm_mul_pd(y, k(SIN_H[1])));
    const __m128d mid = _mm_add_pd(k(SIN_H[2]), _mm_mul_pd(y, k(SIN_H[3])));
    const __m128d h = _mm_add_pd(lo, _mm_mul_pd(y2, _mm_add_pd(mid, _mm_mul_pd(y2, k(SIN_H[4])))));
    return _mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, y), h));
  };
  const __m128d cd = _mm_cvtps_pd(_mm_setr_ps(c[0], c[1], 0.0f, 0.0f));
  const __m128d td = _mm_cvtps_pd(_mm_setr_ps(t[0], t[1], 0.0f, 0.0f));
  const __m128d wide = _mm_mul_pd(_mm_set1_pd(2.0), asin2(_mm_sqrt_pd(_mm_mul_pd(_mm_sub_pd(one, cd), half))));
  const __m128d narrow = _mm_sub_pd(_mm_set1_pd(HALF_PI), asin2(cd));
  const __m128d is_wide = _mm_cmpgt_pd(cd, half);
  const __m128d theta = _mm_or_pd(_mm_and_pd(is_wide, wide), _mm_andnot_pd(is_wide, narrow));
  const __m128d inv_sine = _mm_div_pd(one, _mm_sqrt_pd(_mm_mul_pd(_mm_sub_pd(one, cd), _mm_add_pd(one, cd))));
  float r0[4], r1[4];
  _mm_storeu_ps(r0, _mm_cvtpd_ps(_mm_mul_pd(sin2(_mm_mul_pd(_mm_sub_pd(one, td), theta)), inv_sine)));
  _mm_storeu_ps(r1, _mm_cvtpd_ps(_mm_mul_pd(sin2(_mm_mul_pd(td, theta)), inv_sine)));
  s0[0] = r0[0], s0[1] = r0[1];
  s1[0] = r1[0], s1[1] = r1[1];
}
#endif

quaternion unpack(const packed_quaternion& p) {
  quaternion q;
  return p.to_quaternion(q);
}
}  // namespace

// ---------------------------------------------------------------------------

float quaternion_dot(const quaternion& a, const quaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

quaternion& quaternion::normalized(quaternion& out) const {
  float k = 1.0f / std::sqrt(x * x + y * y + z * z + w * w);
  return out.set(x * k, y * k, z * k, w * k);
}

quaternion& quaternion::normalize() { return normalized(*this); }

quaternion& quaternion::multiply(quaternion& out, const quaternion& b) const {
  const vector av{x, y, z}, bv{b.x, b.y, b.z};
  vector c;
  av.cross(c, bv);
  float rw = w * b.w - vector::dot(av, bv);
  return out.set(w * bv.x + b.w * av.x + c.x, w * bv.y + b.w * av.y + c.y, w * bv.z + b.w * av.z + c.z,
                 rw);
}

quaternion& quaternion::exp(quaternion& out) const {
  float len = std::sqrt(x * x + y * y + z * z);
  float k = len <= 1e-10f ? 1.0f : std::sin(len) / len;
  return out.set(k * x, k * y, k * z, std::cos(len));
}

quaternion& quaternion::exp_self() { return exp(*this); }

quaternion& quaternion::log(quaternion& out) const {
  float len = std::sqrt(x * x + y * y + z * z);
  float k = len > 0.0f ? std::atan2(len, w) / len : 0.0f;
  return out.set(k * x, k * y, k * z, 0.0f);
}

quaternion& quaternion::log_self() { return log(*this); }

matrix& quaternion::to_matrix(matrix& out) const {
  out.right.set(1.0f - 2.0f * y * y - 2.0f * z * z, 2.0f * x * y - 2.0f * w * z, 2.0f * x * z + 2.0f * w * y);
  out.up.set(2.0f * x * y + 2.0f * w * z, 1.0f - 2.0f * x * x - 2.0f * z * z, 2.0f * y * z - 2.0f * w * x);
  out.forward.set(2.0f * x * z - 2.0f * w * y, 2.0f * y * z + 2.0f * w * x, 1.0f - 2.0f * x * x - 2.0f * y * y);
  return out;
}

transform& quaternion::to_transform(transform& out) const {
  to_matrix(out.orient);
  out.pos.zero();
  return out;
}

quaternion& quaternion::from_matrix_raw(const matrix& mat) {
  const float m0 = mat.right.x, m1 = mat.right.y, m2 = mat.right.z;
  const float m3 = mat.up.x, m4 = mat.up.y, m5 = mat.up.z;
  const float m6 = mat.forward.x, m7 = mat.forward.y, m8 = mat.forward.z;
  float trace = m0 + m4 + m8;
  if (trace >= 0.0f) {
    float s = std::sqrt(trace + 1.0f);
    float k = 0.5f / s;
    return set((m7 - m5) * k, (m2 - m6) * k, (m3 - m1) * k, s * 0.5f);
  }
  int i = m4 > m0 ? 1 : 0;
  if (m8 > (i == 1 ? m4 : m0)) i = 2;
  if (i == 0) {
    float s = std::sqrt(m0 - (m4 + m8) + 1.0f);
    float k = 0.5f / s;
    return set(s * 0.5f, (m3 + m1) * k, (m6 + m2) * k, (m7 - m5) * k);
  }
  if (i == 1) {
    float s = std::sqrt(m4 - (m0 + m8) + 1.0f);
    float k = 0.5f / s;
    return set((m3 + m1) * k, s * 0.5f, (m7 + m5) * k, (m2 - m6) * k);
  }
  float s = std::sqrt(m8 - (m4 + m0) + 1.0f);
  float k = 0.5f / s;
  return set((m6 + m2) * k, (m7 + m5) * k, s * 0.5f, (m3 - m1) * k);
}

quaternion& quaternion::from_matrix(const matrix& m) {
  from_matrix_raw(m);
  return normalize();
}

quaternion& quaternion_slerp(quaternion& out, const quaternion& q1, const quaternion& q2, float t) {
  t = wrap_t(t);
  quaternion diff, sum, q2p = q2;
  q1.sub(diff, q2);
  q1.add(sum, q2);
  if (quaternion_dot(diff, diff) >= quaternion_dot(sum, sum)) q2.negated(q2p);
  float s0, s1;
  slerp_weights(quaternion_dot(q1, q2p), t, s0, s1);
  quaternion r{s0 * q1.x + s1 * q2p.x, s0 * q1.y + s1 * q2p.y, s0 * q1.z + s1 * q2p.z,
               s0 * q1.w + s1 * q2p.w};
  if (r.w == 0.0f) r.w = 1e-6f;
  return out = r;
}

quaternion& quaternion_slerp_fast(quaternion& out, const quaternion& q1, const quaternion& q2, float t) {
  quaternion_slerp_fast_many(&out, &q1, &q2, &t, 1);
  return out;
}

void quaternion_slerp_fast_many(quaternion* out, const quaternion* q1, const quaternion* q2, const float* t, int n) {
  // Three sweeps over a few slerps at a time, each with a short body, so
  // that the processor works on several slerps at once instead of waiting
  // out one chain of dependent steps after another.
  constexpr int CHUNK = 32;
  float c[CHUNK], tw[CHUNK], s0[CHUNK], s1[CHUNK];
  quaternion q2p[CHUNK];
  for (int base = 0; base < n; base += CHUNK) {
    const int m = n - base < CHUNK ? n - base : CHUNK;
    for (int i = 0; i < m; ++i) {
      const quaternion& a = q1[base + i];
      const quaternion& b = q2[base + i];
      tw[i] = wrap_t(t[base + i]);
      quaternion diff, sum;
      a.sub(diff, b);
      a.add(sum, b);
      q2p[i] = b;
      if (quaternion_dot(diff, diff) >= quaternion_dot(sum, sum)) b.negated(q2p[i]);
      c[i] = quaternion_dot(a, q2p[i]);
    }
    int i = 0;
#if defined(__SSE2__)
    for (; i + 1 < m; i += 2) {
      if (weights_by_polynomial(c[i]) && weights_by_polynomial(c[i + 1])) {
        slerp_weights_fast2(c + i, tw + i, s0 + i, s1 + i);
      } else {
        slerp_weights_fast(c[i], tw[i], s0[i], s1[i]);
        slerp_weights_fast(c[i + 1], tw[i + 1], s0[i + 1], s1[i + 1]);
      }
    }
#endif
    for (; i < m; ++i) slerp_weights_fast(c[i], tw[i], s0[i], s1[i]);
    for (int i = 0; i < m; ++i) {
      const quaternion& a = q1[base + i];
      const quaternion& b = q2p[i];
      quaternion r{s0[i] * a.x + s1[i] * b.x, s0[i] * a.y + s1[i] * b.y, s0[i] * a.z + s1[i] * b.z,
                   s0[i] * a.w + s1[i] * b.w};
      if (r.w == 0.0f) r.w = 1e-6f;
      out[base + i] = r;
    }
  }
}

quaternion& quaternion_squad(quaternion& out, const quaternion& p, const quaternion& a,
                             const quaternion& b, const quaternion& q, float t) {
  quaternion pq, ab;
  quaternion_slerp(pq, p, q, t);
  quaternion_slerp(ab, a, b, t);
  return quaternion_slerp(out, pq, ab, 2.0f * t * (1.0f - t));
}

quaternion& quaternion_squad_tangent(quaternion& out, const quaternion& qa, const quaternion& qb) {
  quaternion c, prod;
  qa.conjugated(c);
  c.normalize();
  c.multiply(prod, qb);
  return prod.log(out);
}

// ---------------------------------------------------------------------------

transform& transform::from_quaternion(const quaternion& q, const vector& p) {
  q.to_transform(*this);
  pos = p;
  return *this;
}

transform& transform::interpolate(transform& out, const transform& t1, const transform& t2, float t) {
  quaternion q1, q2;
  q1.from_matrix_raw(t1.orient);
  q2.from_matrix_raw(t2.orient);
  return from_quaternions(out, q1, q2, t1.pos, t2.pos, t);
}

transform& transform::from_quaternions(transform& out, const quaternion& q1, const quaternion& q2,
                                       const vector& p1, const vector& p2, float t) {
  quaternion q;
  quaternion_slerp(q, q1, q2, t);
  vector p = p1 * (1.0f - t) + p2 * t;
  q.to_transform(out);
  out.pos = p;
  return out;
}

// ---------------------------------------------------------------------------

packed_quaternion& packed_quaternion::from_quaternion(const quaternion& q) {
  return set(to_component(q.x * PACK_SCALE), to_component(q.y * PACK_SCALE), to_component(q.z * PACK_SCALE),
             to_component(q.w * PACK_SCALE));
}

packed_quaternion& packed_quaternion::conjugated(packed_quaternion& out) const {
  return out.set(wrap16(-x), wrap16(-y), wrap16(-z), w);
}

packed_quaternion& packed_quaternion::conjugate() { return conjugated(*this); }

packed_quaternion& packed_quaternion::negated(packed_quaternion& out) const {
  return out.set(wrap16(-x), wrap16(-y), wrap16(-z), wrap16(-w));
}

packed_quaternion& packed_quaternion::add(packed_quaternion& out, const packed_quaternion& o) const {
  return out.set(wrap16(x + o.x), wrap16(y + o.y), wrap16(z + o.z), wrap16(w + o.w));
}

packed_quaternion& packed_quaternion::sub(packed_quaternion& out, const packed_quaternion& o) const {
  return out.set(wrap16(x - o.x), wrap16(y - o.y), wrap16(z - o.z), wrap16(w - o.w));
}

namespace {
// The four products summed in 64 bits: four products of 16-bit values can
// exceed the 32-bit range on data that is not unit length.
int64_t packed_sum(const packed_quaternion& a, const packed_quaternion& b) {
  return int64_t{a.x} * b.x + int64_t{a.y} * b.y + int64_t{a.z} * b.z + int64_t{a.w} * b.w;
}
}  // namespace

float packed_quaternion_dot(const packed_quaternion& a, const packed_quaternion& b) {
  return static_cast<float>(packed_sum(a, b)) * PACK_UNIT_SQ;
}

packed_quaternion& packed_quaternion::normalized(packed_quaternion& out) const {
  int64_t n2 = packed_sum(*this, *this);
  if (n2 == 0) return out = identity_packed_quaternion;
  float k = PACK_SCALE / std::sqrt(static_cast<float>(n2));
  return out.set(to_component(x * k), to_component(y * k), to_component(z * k), to_component(w * k));
}

packed_quaternion& packed_quaternion::normalize() { return normalized(*this); }

packed_quaternion& packed_quaternion::multiply(packed_quaternion& out, const packed_quaternion& b) const {
  quaternion r;
  unpack(*this).multiply(r, unpack(b));
  return out.from_quaternion(r);
}

packed_quaternion& packed_quaternion::exp(packed_quaternion& out) const {
  float fx = x * PACK_UNIT, fy = y * PACK_UNIT, fz = z * PACK_UNIT;
  float len = std::sqrt(fx * fx + fy * fy + fz * fz);
  float k = len <= 1e-10f ? 1.0f : std::sin(len) / len;
  return out.set(to_component(k * x), to_component(k * y), to_component(k * z),
                 to_component(PACK_SCALE * std::cos(len)));
}

packed_quaternion& packed_quaternion::exp_self() { return exp(*this); }

packed_quaternion& packed_quaternion::log(packed_quaternion& out) const {
  float fx = x * PACK_UNIT, fy = y * PACK_UNIT, fz = z * PACK_UNIT;
  float len = std::sqrt(fx * fx + fy * fy + fz * fz);
  if (len == 0.0f) return out.set(0, 0, 0, 0);
  float k = std::atan2(len, w * PACK_UNIT) / len;
  return out.set(to_component(k * x), to_component(k * y), to_component(k * z), 0);
}

packed_quaternion& packed_quaternion_slerp(packed_quaternion& out, const packed_quaternion& q1,
                                           const packed_quaternion& q2, float t) {
  t = wrap_t(t);
  packed_quaternion diff, sum, q2p = q2;
  q1.sub(diff, q2);
  q1.add(sum, q2);
  if (packed_quaternion_dot(diff, diff) >= packed_quaternion_dot(sum, sum)) q2.negated(q2p);
  float s0, s1;
  slerp_weights(packed_quaternion_dot(q1, q2p), t, s0, s1);
  packed_quaternion r{to_component(s0 * q1.x + s1 * q2p.x), to_component(s0 * q1.y + s1 * q2p.y),
                      to_component(s0 * q1.z + s1 * q2p.z), to_component(s0 * q1.w + s1 * q2p.w)};
  if (r.w == 0) r.w = 1;
  return out = r;
}

void packed_slerp_arc::prepare(const packed_quaternion& q1, const packed_quaternion& q2) {
  packed_quaternion diff, sum, q2p = q2;
  q1.sub(diff, q2);
  q1.add(sum, q2);
  if (packed_quaternion_dot(diff, diff) >= packed_quaternion_dot(sum, sum)) q2.negated(q2p);
  from[0] = q1.x, from[1] = q1.y, from[2] = q1.z, from[3] = q1.w;
  to[0] = q2p.x, to[1] = q2p.y, to[2] = q2p.z, to[3] = q2p.w;
  // The same branch and the same calls as slerp_weights, so that sampling
  // repeats its arithmetic step for step.
  const float c = packed_quaternion_dot(q1, q2p);
  if (1.0f - c > 1e-6f) {
    angle = std::acos(c < -1.0f ? -1.0f : c);
    sine = std::sin(angle);
  } else {
    angle = 0.0f;
    sine = 0.0f;
  }
}

quaternion& packed_quaternion_squad(quaternion& out, const packed_quaternion& p, const packed_quaternion& a,
                                    const packed_quaternion& b, const packed_quaternion& q, float t) {
  packed_quaternion pq, ab, r;
  packed_quaternion_slerp(pq, p, q, t);
  packed_quaternion_slerp(ab, a, b, t);
  packed_quaternion_slerp(r, pq, ab, 2.0f * t * (1.0f - t));
  r.to_quaternion(out);
  if (out.w == 0.0f) out.w = 1e-6f;
  return out;
}

packed_quaternion& packed_quaternion_squad_tangent(packed_quaternion& out, const packed_quaternion& qa,
                                                   const packed_quaternion& qb) {
  packed_quaternion c, prod;
  qa.conjugated(c);
  c.normalize();
  c.multiply(prod, qb);
  return prod.log(out);
}

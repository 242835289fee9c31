#include "quarn/math/quaternion.h"

#include <cmath>
#include <cstdint>

namespace {
constexpr float PACK_SCALE = 16383.0f;
constexpr float PACK_UNIT = 6.103888e-5f;       // 1 / 16383
constexpr float PACK_UNIT_SQ = 3.725745e-9f;    // 1 / 16383^2

// trunc(v) as a 16-bit component. Animation data is read from files, so a
// corrupt key can reach here with NaN or huge values; those saturate rather
// than invoke an undefined conversion.
int16_t to_component(float v) {
  if (!(v == v)) return 0;
  if (v >= 32767.0f) return 32767;
  if (v <= -32767.0f) return -32767;
  return static_cast<int16_t>(v);
}

// 16-bit wrap-around, as the packed add and subtract of the key tracks.
int16_t wrap16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Wraps t into [0, 1] as repeated +1 / -1 steps would (1 stays 1), without
// looping forever on huge or infinite t.
float wrap_t(float t) {
  if (!std::isfinite(t)) return 0.0f;
  if (t < -16.0f || t > 16.0f) {
    bool positive = t > 0.0f;
    t -= std::floor(t);
    if (t == 0.0f && positive) t = 1.0f;  // a whole positive t ends at 1 by the stepping
  }
  while (t < 0.0f) t += 1.0f;
  while (t > 1.0f) t -= 1.0f;
  return t;
}

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

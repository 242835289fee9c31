#pragma once
// Rotations as unit quaternions (x, y, z vector part, w scalar), in a float
// form for computation and a packed 16-bit form (each component integer /
// 16383) that animation key tracks store to halve their memory.
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct quaternion {
  float x, y, z, w;

  quaternion() = default;
  constexpr quaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}

  quaternion& set(float ax, float ay, float az, float aw) {
    x = ax;
    y = ay;
    z = az;
    w = aw;
    return *this;
  }
  quaternion& copy(const quaternion& o) { return *this = o; }
  quaternion& identity() { return set(0.0f, 0.0f, 0.0f, 1.0f); }
  quaternion& conjugated(quaternion& out) const { return out.set(-x, -y, -z, w); }
  quaternion& conjugate() { return set(-x, -y, -z, w); }
  quaternion& negated(quaternion& out) const { return out.set(-x, -y, -z, -w); }
  quaternion& add(quaternion& out, const quaternion& o) const {
    return out.set(x + o.x, y + o.y, z + o.z, w + o.w);
  }
  quaternion& sub(quaternion& out, const quaternion& o) const {
    return out.set(x - o.x, y - o.y, z - o.z, w - o.w);
  }
  // A zero quaternion comes out non-finite.
  quaternion& normalized(quaternion& out) const;
  quaternion& normalize();
  // out = this (x) b (Hamilton product).
  quaternion& multiply(quaternion& out, const quaternion& b) const;
  // exp of the vector part (w is ignored) / log, giving w = 0.
  quaternion& exp(quaternion& out) const;
  quaternion& exp_self();
  quaternion& log(quaternion& out) const;
  quaternion& log_self();
  matrix& to_matrix(matrix& out) const;
  transform& to_transform(transform& out) const;
  // The inverse of to_matrix; from_matrix also normalises.
  quaternion& from_matrix_raw(const matrix& m);
  quaternion& from_matrix(const matrix& m);
};

float quaternion_dot(const quaternion& a, const quaternion& b);
// Along the shorter arc. t wraps into [0, 1] (1.25 acts as 0.25, -0.25 as
// 0.75); an exactly zero w in the result becomes 1e-6.
quaternion& quaternion_slerp(quaternion& out, const quaternion& q1, const quaternion& q2, float t);
// The same slerp with its trigonometry by polynomials: the result differs
// from quaternion_slerp's by float rounding only (under 3e-7 per component
// for unit inputs) at a fraction of the cost.
quaternion& quaternion_slerp_fast(quaternion& out, const quaternion& q1, const quaternion& q2, float t);
// out[i] = quaternion_slerp_fast(q1[i], q2[i], t[i]) for n pairs, with the
// same results, worked side by side (out may be q1 or q2).
void quaternion_slerp_fast_many(quaternion* out, const quaternion* q1, const quaternion* q2, const float* t, int n);
// slerp(slerp(p, q, t), slerp(a, b, t), 2t(1 - t)).
quaternion& quaternion_squad(quaternion& out, const quaternion& p, const quaternion& a,
                             const quaternion& b, const quaternion& q, float t);
// log(normalized(conjugated(qa)) (x) qb).
quaternion& quaternion_squad_tangent(quaternion& out, const quaternion& qa, const quaternion& qb);

// ---------------------------------------------------------------------------
constexpr int PACKED_QUATERNION_ONE = 16383;
constexpr float PACKED_QUATERNION_UNIT = 6.103888e-5f;  // 1 / 16383

struct packed_quaternion {
  int16_t x, y, z, w;

  packed_quaternion() = default;
  constexpr packed_quaternion(int16_t ax, int16_t ay, int16_t az, int16_t aw)
      : x(ax), y(ay), z(az), w(aw) {}

  packed_quaternion& set(int16_t ax, int16_t ay, int16_t az, int16_t aw) {
    x = ax;
    y = ay;
    z = az;
    w = aw;
    return *this;
  }
  packed_quaternion& copy(const packed_quaternion& o) { return *this = o; }
  static void copy(packed_quaternion& out, const packed_quaternion& in) { out = in; }

  // Pack: each component times 16383, truncated toward zero (0.99999 packs
  // to 16382). Values beyond +-1 saturate at +-32767 and NaN packs as 0, so
  // corrupt data cannot produce an undefined conversion.
  packed_quaternion& from_quaternion(const quaternion& q);
  // Unpack: each component times 1/16383 (inline: key tracks unpack on
  // every sample).
  quaternion& to_quaternion(quaternion& out) const {
    constexpr float unit = PACKED_QUATERNION_UNIT;
    return out.set(x * unit, y * unit, z * unit, w * unit);
  }

  packed_quaternion& conjugated(packed_quaternion& out) const;
  packed_quaternion& conjugate();
  packed_quaternion& negated(packed_quaternion& out) const;
  // 16-bit component-wise sums and differences (they wrap like 16-bit
  // integers).
  packed_quaternion& add(packed_quaternion& out, const packed_quaternion& o) const;
  packed_quaternion& sub(packed_quaternion& out, const packed_quaternion& o) const;
  // Scaled back to 16383 per unit. A zero quaternion has no direction and
  // becomes the identity.
  packed_quaternion& normalized(packed_quaternion& out) const;
  packed_quaternion& normalize();
  packed_quaternion& multiply(packed_quaternion& out, const packed_quaternion& b) const;
  packed_quaternion& exp(packed_quaternion& out) const;
  packed_quaternion& exp_self();
  // The result keeps the 16383 scale; w is 0.
  packed_quaternion& log(packed_quaternion& out) const;
};

// The integer sum of the four products, times 1/16383^2.
float packed_quaternion_dot(const packed_quaternion& a, const packed_quaternion& b);
// As quaternion_slerp on the packed values; an output w of 0 becomes 1.
packed_quaternion& packed_quaternion_slerp(packed_quaternion& out, const packed_quaternion& q1,
                                           const packed_quaternion& q2, float t);
namespace quaternion_detail {
// trunc(v) as a 16-bit component. Animation data is read from files, so a
// corrupt key can reach here with NaN or huge values; those saturate rather
// than invoke an undefined conversion.
inline int16_t packed_component(float v) {
  if (!(v == v)) return 0;
  if (v >= 32767.0f) return 32767;
  if (v <= -32767.0f) return -32767;
  return static_cast<int16_t>(v);
}

// Wraps a slerp parameter into [0, 1] as repeated +1 / -1 steps would (1
// stays 1), without looping forever on huge or infinite t.
inline float slerp_wrap(float t) {
  if (t >= 0.0f && t <= 1.0f) return t;  // the usual case, nothing to wrap
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
}  // namespace quaternion_detail

// The arc between two fixed packed rotations, worked out once: sampling it
// needs no inverse cosine, and a sample is exactly
// packed_quaternion_slerp(q1, q2, t). Key tracks keep one per key pair,
// because a pose samples the same pair frame after frame.
struct packed_slerp_arc {
  float from[4];  // q1's stored components
  float to[4];    // q2's, negated when that is the shorter way round
  float angle;    // between them; 0 when too close to tell apart
  float sine;     // sin(angle)
  void prepare(const packed_quaternion& q1, const packed_quaternion& q2);
  // The packed slerp's result, unpacked (each component times 1/16383).
  // Inline: key tracks call it for every bone of every pose.
  quaternion& sample_unpacked(quaternion& out, float t) const {
    using quaternion_detail::packed_component;
    t = quaternion_detail::slerp_wrap(t);
    float s0 = 0.0f, s1 = 1.0f;
    if (angle != 0.0f) {
      s0 = std::sin((1.0f - t) * angle) / sine;
      s1 = std::sin(t * angle) / sine;
    }
    constexpr float unit = PACKED_QUATERNION_UNIT;
#if defined(__SSE2__)
    // The four components side by side, each exactly as packed_component
    // and the unpacking treat it.
    const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(s0), _mm_loadu_ps(from)),
                                _mm_mul_ps(_mm_set1_ps(s1), _mm_loadu_ps(to)));
    const __m128 limited = _mm_and_ps(_mm_cmpord_ps(v, v),  // NaN packs as 0
                                      _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(-32767.0f)), _mm_set1_ps(32767.0f)));
    __m128i packed = _mm_cvttps_epi32(limited);
    // An output w of 0 becomes 1.
    const __m128i w_zero = _mm_and_si128(_mm_cmpeq_epi32(packed, _mm_setzero_si128()), _mm_setr_epi32(0, 0, 0, 1));
    packed = _mm_or_si128(packed, w_zero);
    float r[4];
    _mm_storeu_ps(r, _mm_mul_ps(_mm_cvtepi32_ps(packed), _mm_set1_ps(unit)));
    return out.set(r[0], r[1], r[2], r[3]);
#else
    const int16_t w = packed_component(s0 * from[3] + s1 * to[3]);
    return out.set(packed_component(s0 * from[0] + s1 * to[0]) * unit,
                   packed_component(s0 * from[1] + s1 * to[1]) * unit,
                   packed_component(s0 * from[2] + s1 * to[2]) * unit, (w == 0 ? 1 : w) * unit);
#endif
  }
};

// Three packed slerps; the result is unpacked (a w of 0 becomes 1e-6).
quaternion& packed_quaternion_squad(quaternion& out, const packed_quaternion& p,
                                    const packed_quaternion& a, const packed_quaternion& b,
                                    const packed_quaternion& q, float t);
packed_quaternion& packed_quaternion_squad_tangent(packed_quaternion& out,
                                                   const packed_quaternion& qa,
                                                   const packed_quaternion& qb);

inline constexpr quaternion identity_quaternion{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr packed_quaternion identity_packed_quaternion{0, 0, 0, 16383};

#pragma once
// Rotations as unit quaternions (x, y, z vector part, w scalar), in a float
// form for computation and a packed 16-bit form (each component integer /
// 16383) that animation key tracks store to halve their memory.
#include <cstdint>

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
// slerp(slerp(p, q, t), slerp(a, b, t), 2t(1 - t)).
quaternion& quaternion_squad(quaternion& out, const quaternion& p, const quaternion& a,
                             const quaternion& b, const quaternion& q, float t);
// log(normalized(conjugated(qa)) (x) qb).
quaternion& quaternion_squad_tangent(quaternion& out, const quaternion& qa, const quaternion& qb);

// ---------------------------------------------------------------------------
constexpr int PACKED_QUATERNION_ONE = 16383;

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
    constexpr float unit = 6.103888e-5f;  // 1 / 16383
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
// Three packed slerps; the result is unpacked (a w of 0 becomes 1e-6).
quaternion& packed_quaternion_squad(quaternion& out, const packed_quaternion& p,
                                    const packed_quaternion& a, const packed_quaternion& b,
                                    const packed_quaternion& q, float t);
packed_quaternion& packed_quaternion_squad_tangent(packed_quaternion& out,
                                                   const packed_quaternion& qa,
                                                   const packed_quaternion& qb);

inline constexpr quaternion identity_quaternion{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr packed_quaternion identity_packed_quaternion{0, 0, 0, 16383};

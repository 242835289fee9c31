#pragma once
// Little-endian reads of effect-image bytes for the element readers; the
// callers check bounds before reading.
#include <cmath>
#include <cstdint>
#include <cstring>

namespace effect_bytes {
inline uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t i16(const uint8_t* p) { return static_cast<int16_t>(u16(p)); }
inline uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
// Not-a-number and infinities read as 0 so that no image can poison a
// transform.
inline float f32(const uint8_t* p) {
  const uint32_t u = u32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return std::isfinite(f) ? f : 0.0f;
}
inline bool inside(uint32_t size, uint32_t off, uint64_t n) { return off <= size && n <= size - off; }
}  // namespace effect_bytes

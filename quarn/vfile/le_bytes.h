#pragma once
// Little-endian values in byte buffers, as every binary format of the game
// stores them: assembled byte by byte so that the host's layout never shows.
// For the file layer's readers and writers; not for other modules.
#include <cstdint>
#include <cstring>

namespace vfile_detail {

inline uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline float lef32(const unsigned char* p) {
  uint32_t u = le32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

inline void put_le32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

inline void put_lef32(unsigned char* p, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  put_le32(p, u);
}

}  // namespace vfile_detail

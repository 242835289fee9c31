#include "quarn/os/crc32.h"

#include <cstring>

namespace {

// Eight tables: t[0] is the byte-at-a-time table, t[k][i] the remainder of
// byte i followed by k zero bytes, so eight bytes are folded in with eight
// independent lookups instead of a chain of eight.
struct CrcTable {
  uint32_t t[8][256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
      }
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
};

const CrcTable& table() {
  static const CrcTable tab;
  return tab;
}

}  // namespace

uint32_t Crc32::update(const void* bytes, size_t count) {
  const auto& t = table().t;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  uint32_t v = value_;
  for (; count >= 8; count -= 8, p += 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= v;
    v = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; count > 0; --count, ++p) v = (v >> 8) ^ t[0][(v ^ *p) & 0xFF];
  value_ = v;
  return v;
}

uint32_t crc32_of(const void* bytes, size_t count) {
  Crc32 c;
  return c.update(bytes, count);
}

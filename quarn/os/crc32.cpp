#include "quarn/os/crc32.h"

namespace {

struct CrcTable {
  uint32_t t[256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
      }
      t[i] = c;
    }
  }
};

const CrcTable& table() {
  static const CrcTable tab;
  return tab;
}

}  // namespace

uint32_t Crc32::update(const void* bytes, size_t count) {
  const uint32_t* t = table().t;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  uint32_t v = value_;
  for (size_t i = 0; i < count; ++i) {
    v = (v >> 8) ^ t[(v ^ p[i]) & 0xFF];
  }
  value_ = v;
  return v;
}

uint32_t crc32_of(const void* bytes, size_t count) {
  Crc32 c;
  return c.update(bytes, count);
}

#pragma once
// Little-endian bytes laid down field by field, for fixtures that follow a
// file's or a record's layout rather than our writer.
#include <cstdint>
#include <cstring>
#include <vector>

struct LeBytes {
  std::vector<uint8_t> b;
  LeBytes& u8(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  LeBytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  LeBytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  LeBytes& f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return u32(v);
  }
  // A NUL-terminated string.
  LeBytes& str(const char* s) {
    b.insert(b.end(), s, s + std::strlen(s) + 1);
    return *this;
  }
};

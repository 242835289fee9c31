#include "quarn/vfile/scrambler.h"

void FileScrambler::set_state(uint32_t a, uint32_t b, uint32_t c) {
  a_ = a ? static_cast<int32_t>(a) : DEFAULT_A;
  b_ = b ? static_cast<int32_t>(b) : DEFAULT_B;
  c_ = c ? static_cast<int32_t>(c) : DEFAULT_C;
}

void FileScrambler::get_state(uint32_t* a, uint32_t* b, uint32_t* c) const {
  if (a) *a = static_cast<uint32_t>(a_);
  if (b) *b = static_cast<uint32_t>(b_);
  if (c) *c = static_cast<uint32_t>(c_);
}

void FileScrambler::apply(void* bytes, size_t count) {
  uint8_t* p = static_cast<uint8_t*>(bytes);
  // The registers are signed: the even cases shift arithmetically, copying
  // the top bit.
  int32_t a = a_, b = b_, c = c_;
  uint8_t k = 0;  // eight shifts per byte replace it completely
  for (size_t i = 0; i < count; ++i) {
    for (int step = 0; step < 8; ++step) {
      unsigned bit;
      if (a & 1) {
        a = static_cast<int32_t>((static_cast<uint32_t>(a) ^ 0xC0000031u) | 0x80000000u);
        if (b & 1) {
          b = static_cast<int32_t>((static_cast<uint32_t>(b) ^ 0x20000010u) | 0x40000000u);
          bit = 1;
        } else {
          b >>= 1;
          bit = 0;
        }
      } else {
        a >>= 1;
        if (c & 1) {
          c = static_cast<int32_t>((static_cast<uint32_t>(c) ^ 0x08000001u) | 0x10000000u);
          bit = 1;
        } else {
          c >>= 1;
          bit = 0;
        }
      }
      k = static_cast<uint8_t>((k << 1) | bit);
    }
    p[i] ^= k;
  }
  a_ = a;
  b_ = b;
  c_ = c;
}

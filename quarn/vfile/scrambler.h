#pragma once
// A keyed XOR byte stream from three 32-bit shift registers. Scrambling and
// unscrambling are the same operation.
#include <cstddef>
#include <cstdint>

class FileScrambler {
 public:
  static constexpr int32_t DEFAULT_A = 0x2B6E9F01;
  static constexpr int32_t DEFAULT_B = 0x5D1C47A3;
  static constexpr int32_t DEFAULT_C = 0x13F0B5C9;

  FileScrambler() { set_state(0, 0, 0); }
  // A zero word selects that register's default seed.
  void set_state(uint32_t a, uint32_t b, uint32_t c);
  void get_state(uint32_t* a, uint32_t* b, uint32_t* c) const;
  void apply(void* bytes, size_t count);

 private:
  int32_t a_, b_, c_;
};

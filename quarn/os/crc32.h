#pragma once
// The running CRC-32 of the system: reflected polynomial 0xEDB88320, but
// starting from 0 and never inverted, so fingerprints match stored ones.
#include <cstddef>
#include <cstdint>

class Crc32 {
 public:
  Crc32() : value_(0) {}
  void reset() { value_ = 0; }
  uint32_t update(const void* bytes, size_t count);
  uint32_t value() const { return value_; }

 private:
  uint32_t value_;
};

// One-shot form over a block.
uint32_t crc32_of(const void* bytes, size_t count);

#pragma once
// Packed flags, least significant bit first: bit i is bit (i & 7) of byte i >> 3.
#include <cstdint>

class ChainBuffer;

class BitArray {
 public:
  BitArray() : bytes_(nullptr), byte_count_(0), owned_(false) {}
  ~BitArray() { free(); }
  BitArray(const BitArray&) = delete;
  BitArray& operator=(const BitArray&) = delete;

  int create(int bit_count, bool owned = true);
  void attach(uint8_t* bytes, int bit_count);
  int create_in(ChainBuffer& chain, int bit_count);
  void fill(int value);
  bool test(int index) const;
  void set(int index, bool value);
  void free();

  uint8_t* bytes() const { return bytes_; }
  int byte_count() const { return byte_count_; }
  bool owned() const { return owned_; }

 private:
  uint8_t* bytes_;
  int byte_count_;
  bool owned_;
};

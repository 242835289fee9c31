#include "quarn/os/bitarray.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "quarn/os/chainbuf.h"

int BitArray::create(int bit_count, bool owned) {
  free();
  if (bit_count < 0) {
    return -1;
  }
  int n = (bit_count + 7) >> 3;
  bytes_ = static_cast<uint8_t*>(std::malloc(n > 0 ? static_cast<size_t>(n) : 1));
  if (!bytes_) {
    return -1;
  }
  byte_count_ = n;
  owned_ = owned;
  return 0;
}

void BitArray::attach(uint8_t* bytes, int bit_count) {
  free();
  bytes_ = bytes;
  byte_count_ = bit_count > 0 ? (bit_count + 7) >> 3 : 0;
  owned_ = false;
}

int BitArray::create_in(ChainBuffer& chain, int bit_count) {
  free();
  if (bit_count < 0) {
    return -1;
  }
  int n = (bit_count + 7) >> 3;
  void* p = chain.alloc(n);
  if (!p) {
    return -1;
  }
  bytes_ = static_cast<uint8_t*>(p);
  byte_count_ = n;
  owned_ = false;
  return 0;
}

void BitArray::fill(int value) {
  if (bytes_ && byte_count_ > 0) {
    std::memset(bytes_, value ? 0xFF : 0, static_cast<size_t>(byte_count_));
  }
}

bool BitArray::test(int index) const {
  assert(index >= 0 && (index >> 3) < byte_count_);
  return (bytes_[index >> 3] >> (index & 7)) & 1;
}

void BitArray::set(int index, bool value) {
  assert(index >= 0 && (index >> 3) < byte_count_);
  uint8_t m = static_cast<uint8_t>(1u << (index & 7));
  if (value) {
    bytes_[index >> 3] |= m;
  } else {
    bytes_[index >> 3] &= static_cast<uint8_t>(~m);
  }
}

void BitArray::free() {
  if (owned_) {
    std::free(bytes_);
  }
  bytes_ = nullptr;
  byte_count_ = 0;
  owned_ = false;
}

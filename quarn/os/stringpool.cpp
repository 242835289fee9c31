#include "quarn/os/stringpool.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "quarn/os/error.h"

StringPool::StringPool() : buffer_(nullptr), owned_(false), capacity_(0), used_(0), count_(0) {}

StringPool::~StringPool() { free(); }

void StringPool::attach(char* buffer, int capacity, bool owned) {
  free();
  buffer_ = buffer;
  capacity_ = buffer ? capacity : 0;
  owned_ = owned;
  used_ = 0;
  count_ = 0;
}

void StringPool::alloc(int capacity) {
  free();
  if (capacity < 0) {
    capacity = 0;
  }
  buffer_ = static_cast<char*>(std::malloc(static_cast<size_t>(capacity) + 1));
  if (!buffer_) {
    CRITICAL_ERROR("Failed to allocate %d bytes\n", capacity);
  }
  owned_ = true;
  capacity_ = capacity;
  used_ = 0;
  count_ = 0;
}

void StringPool::reset() {
  used_ = 0;
  count_ = 0;
}

void StringPool::free() {
  if (owned_) {
    std::free(buffer_);
  }
  buffer_ = nullptr;
  owned_ = false;
  capacity_ = 0;
  used_ = 0;
  count_ = 0;
}

void StringPool::truncate(int n) {
  if (n >= 0 && n <= capacity_) {
    used_ = n;
  }
}

const char* StringPool::add(const char* text) {
  if (!text) {
    return nullptr;
  }
  size_t len = std::strlen(text);
  if (!buffer_ || static_cast<size_t>(used_) + len + 1 > static_cast<size_t>(capacity_)) {
    critical_error(__FILE__, __LINE__, "Length of string pool exceeded.");
  }
  char* dest = buffer_ + used_;
  std::memcpy(dest, text, len + 1);
  used_ += static_cast<int>(len + 1);
  ++count_;
  return dest;
}

const char* StringPool::find_or_add(const char* text) {
  if (!text) {
    return nullptr;
  }
  // Truncation can leave the count ahead of the bytes; the scan follows the
  // bytes so it never reads beyond what is stored.
  const char* p = buffer_;
  const char* end = buffer_ ? buffer_ + used_ : nullptr;
  while (p && p < end) {
    size_t n = strnlen(p, static_cast<size_t>(end - p));
    if (p + n >= end) {
      break;
    }
    if (strcasecmp(p, text) == 0) {
      return p;
    }
    p += n + 1;
  }
  return add(text);
}

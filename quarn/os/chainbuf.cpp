#include "quarn/os/chainbuf.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// A heap block is a link word (the previous block) followed by the data.
static constexpr int LINK_SIZE = 8;

static char* link_of(const char* block) {
  char* prev;
  std::memcpy(&prev, static_cast<const void*>(block), sizeof prev);
  return prev;
}

ChainBuffer::ChainBuffer()
    : head_(nullptr), base_(nullptr), cursor_(nullptr), block_size_(0), free_(0), last_(nullptr), flags_(0) {}

ChainBuffer::~ChainBuffer() { free_all(); }

void ChainBuffer::realign() {
  uintptr_t c = reinterpret_cast<uintptr_t>(cursor_);
  c = (c + (ALIGN - 1)) & ~static_cast<uintptr_t>(ALIGN - 1);
  cursor_ = reinterpret_cast<char*>(c);
  intptr_t f = reinterpret_cast<intptr_t>(base_) + block_size_ - static_cast<intptr_t>(c);
  free_ = f > 0 ? static_cast<int>(f) : 0;
}

bool ChainBuffer::new_block() {
  if (!(flags_ & OWNS_BLOCKS) || block_size_ <= 0) {
    return false;
  }
  char* b = static_cast<char*>(std::malloc(static_cast<size_t>(block_size_) + LINK_SIZE));
  if (!b) {
    return false;
  }
  std::memcpy(static_cast<void*>(b), &head_, sizeof head_);
  head_ = b;
  base_ = b + LINK_SIZE;
  cursor_ = base_;
  realign();
  return true;
}

bool ChainBuffer::init(int block_size, bool may_chain) {
  free_all();
  flags_ = OWNS_BLOCKS | (may_chain ? MAY_CHAIN : 0u);
  block_size_ = block_size;
  last_ = nullptr;
  return !new_block();
}

void ChainBuffer::attach(void* memory, int size) {
  free_all();
  flags_ = 0;
  head_ = nullptr;
  base_ = static_cast<char*>(memory);
  block_size_ = memory ? size : 0;
  cursor_ = base_;
  last_ = nullptr;
  realign();
}

void ChainBuffer::rewind() {
  cursor_ = base_;
  last_ = nullptr;
  realign();
}

void* ChainBuffer::alloc(int n) {
  if (n < 0 || !base_) {
    return nullptr;
  }
  if (free_ < n) {
    if (!(flags_ & MAY_CHAIN) || !new_block() || n > free_) {
      return nullptr;
    }
  }
  char* p = cursor_;
  cursor_ += n;
  realign();
  last_ = p;
  return p;
}

void* ChainBuffer::alloc_zeroed(int n) {
  void* p = alloc(n);
  if (p && n > 0) {
    std::memset(p, 0, static_cast<size_t>(n));
  }
  return p;
}

void* ChainBuffer::grow_last(void* pointer, int new_size) {
  char* p = static_cast<char*>(pointer);
  if (!p || p != last_ || new_size < 0) {
    return nullptr;
  }
  if (p + new_size <= base_ + block_size_) {
    cursor_ = p + new_size;
    realign();
    return p;
  }
  if (!(flags_ & MAY_CHAIN) || new_size > block_size_) {
    return nullptr;
  }
  // Only the bytes the old allocation really had are copied.
  int old_size = static_cast<int>(cursor_ - p);
  if (old_size > static_cast<int>(base_ + block_size_ - p)) {
    old_size = static_cast<int>(base_ + block_size_ - p);
  }
  if (old_size > new_size) {
    old_size = new_size;
  }
  if (!new_block()) {
    return nullptr;
  }
  char* q = static_cast<char*>(alloc(new_size));
  if (!q) {
    return nullptr;
  }
  std::memcpy(q, p, static_cast<size_t>(old_size));
  return q;
}

int ChainBuffer::used() const {
  int total = block_size_ - free_;
  if (head_) {
    for (char* prev = link_of(head_); prev; prev = link_of(prev)) {
      total += block_size_;
    }
  }
  return total;
}

void ChainBuffer::set_used(int n) {
  if (!(flags_ & MAY_CHAIN) && n >= 0 && n <= block_size_ && base_) {
    cursor_ = base_ + n;
    realign();
  }
}

void ChainBuffer::free_all() {
  if (flags_ & OWNS_BLOCKS) {
    char* b = head_;
    while (b) {
      char* prev = link_of(b);
      std::free(b);
      b = prev;
    }
    head_ = nullptr;
    base_ = nullptr;
    cursor_ = nullptr;
    free_ = 0;
    last_ = nullptr;
    flags_ &= ~static_cast<unsigned>(OWNS_BLOCKS);
  }
}

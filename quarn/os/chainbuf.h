#pragma once
// Many small allocations that are released together: carved from one
// caller block, or from fixed-size heap blocks chained as each one fills.
// Allocations are 8-byte aligned so pointers and doubles stored in them are
// naturally aligned on a 64-bit machine.
#include <cstddef>

class ChainBuffer {
 public:
  static constexpr int ALIGN = 8;
  enum : unsigned { OWNS_BLOCKS = 1, MAY_CHAIN = 2 };

  ChainBuffer();
  ~ChainBuffer();
  ChainBuffer(const ChainBuffer&) = delete;
  ChainBuffer& operator=(const ChainBuffer&) = delete;

  // False on success, true when the first block cannot be allocated.
  bool init(int block_size, bool may_chain);
  void attach(void* memory, int size);
  void rewind();
  void* alloc(int n);
  void* alloc_zeroed(int n);
  void* grow_last(void* pointer, int new_size);
  int used() const;
  void set_used(int n);
  void free_all();

  int block_size() const { return block_size_; }
  int free_bytes() const { return free_; }
  char* base() const { return base_; }

 private:
  bool new_block();
  void realign();

  char* head_;   // newest heap block; its first word links to the previous one
  char* base_;
  char* cursor_;
  int block_size_;
  int free_;
  char* last_;
  unsigned flags_;
};

#include "quarn/os/chainbuf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>


// Allocations are 8-byte aligned on this machine (pointers and doubles live in
// them), so 1-, 2- and 3-byte allocations sit 8 bytes apart.
TEST(ChainBuffer, SmallAllocationsAreAligned) {
  ChainBuffer cb;
  ASSERT_FALSE(cb.init(256, true));
  char* base = static_cast<char*>(cb.alloc(1));
  char* b = static_cast<char*>(cb.alloc(2));
  char* c = static_cast<char*>(cb.alloc(3));
  EXPECT_EQ(b - base, 8);
  EXPECT_EQ(c - base, 16);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 8, 0u);
  EXPECT_EQ(cb.used(), 24);
}

TEST(ChainBuffer, ChainsAndRefusesOversize) {
  ChainBuffer cb;
  ASSERT_FALSE(cb.init(64, true));
  char* a = static_cast<char*>(cb.alloc(40));
  char* b = static_cast<char*>(cb.alloc(40));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(b, a + 40);  // a second block
  EXPECT_EQ(cb.used(), 64 + 40);
  EXPECT_EQ(cb.alloc(65), nullptr);
  std::memset(a, 1, 40);
  std::memset(b, 2, 40);

  ChainBuffer fixed;
  ASSERT_FALSE(fixed.init(64, false));
  EXPECT_NE(fixed.alloc(40), nullptr);
  EXPECT_EQ(fixed.alloc(40), nullptr);  // no chaining allowed
  fixed.rewind();
  EXPECT_NE(fixed.alloc(40), nullptr);
}

TEST(ChainBuffer, GrowLast) {
  ChainBuffer cb;
  ASSERT_FALSE(cb.init(64, true));
  char* p = static_cast<char*>(cb.alloc(16));
  std::memcpy(p, "0123456789abcdef", 16);
  EXPECT_EQ(cb.grow_last(p, 24), p);  // room in the block
  char* other = static_cast<char*>(cb.alloc(8));
  EXPECT_EQ(cb.grow_last(p, 32), nullptr);  // not the last allocation
  // Growing past the block moves the allocation and keeps only its own bytes.
  std::memcpy(other, "XYZXYZXY", 8);
  char* moved = static_cast<char*>(cb.grow_last(other, 60));
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, other);
  EXPECT_EQ(std::memcmp(moved, "XYZXYZXY", 8), 0);
  EXPECT_EQ(cb.grow_last(moved, 65), nullptr);  // larger than a block
}

TEST(ChainBuffer, AttachedBlockNeverFreedOrChained) {
  alignas(8) char mem[32];
  ChainBuffer cb;
  cb.attach(mem, sizeof mem);
  EXPECT_EQ(cb.alloc(16), mem);
  EXPECT_EQ(cb.alloc(24), nullptr);
  cb.set_used(0);
  EXPECT_EQ(cb.alloc(32), mem);
  cb.free_all();  // does not free the caller's block
  EXPECT_EQ(cb.base(), mem);
}

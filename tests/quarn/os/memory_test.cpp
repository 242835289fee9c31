#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "quarn/os/memory.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/test_files.h"

namespace {
// Restores the heap as the current allocator whatever a test left behind.
struct MemoryTest : ::testing::Test {
  void TearDown() override {
    mem_set_arena(nullptr);
    while (common_block_depth() > 0) ADD_FAILURE() << "common block left locked";
  }
};

}  // namespace

TEST_F(MemoryTest, ArenaRoundsToSixteenAndFillsExactly) {
  alignas(16) static uint8_t buffer[64];
  MemArena arena;
  arena.init(buffer, sizeof buffer, "a name longer than sixteen");
  EXPECT_STREQ(arena.name, "a name longer t");

  struct Step {
    uint32_t size;
    ptrdiff_t offset;  // -1: null expected
    uint32_t used_after;
  };
  const Step steps[] = {
      {1, 0, 16},     // one byte takes a whole step
      {0, 16, 16},    // nothing: the current top, nothing used
      {17, 16, 48},   // rounds up to 32
      {17, -1, 48},   // would end at 80 > 64
      {16, 48, 64},   // ends exactly at the size
      {1, -1, 64},    // one byte more
      {0, 64, 64},    // a zero-size request still answers the top
  };
  for (const Step& s : steps) {
    void* p = arena.alloc(s.size);
    if (s.offset < 0) {
      EXPECT_EQ(p, nullptr) << "size " << s.size;
    } else {
      EXPECT_EQ(static_cast<uint8_t*>(p) - buffer, s.offset) << "size " << s.size;
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    }
    EXPECT_EQ(arena.used, s.used_after) << "size " << s.size;
  }

  // Re-initialising empties it.
  arena.init(buffer, sizeof buffer, "again");
  EXPECT_EQ(arena.alloc(64), buffer);
}

TEST_F(MemoryTest, HugeRequestDoesNotWrapIntoAFit) {
  alignas(16) static uint8_t buffer[64];
  MemArena arena;
  arena.init(buffer, sizeof buffer, "wrap");
  ASSERT_NE(arena.alloc(16), nullptr);
  EXPECT_EQ(arena.alloc(0xFFFFFFF8u), nullptr);
  EXPECT_EQ(arena.used, 16u);
}

TEST_F(MemoryTest, CurrentArenaServesMemAllocAndFullArenaYieldsNull) {
  alignas(16) static uint8_t buffer[32];
  MemArena arena;
  arena.init(buffer, sizeof buffer, "current");
  EXPECT_FALSE(mem_arena_active());
  mem_set_arena(&arena);
  EXPECT_TRUE(mem_arena_active());
  EXPECT_EQ(mem_get_arena(), &arena);
  EXPECT_EQ(mem_alloc(20), buffer);
  EXPECT_EQ(mem_alloc(1), nullptr);  // full: null, no fatal error
  mem_set_arena(nullptr);

  void* heap = mem_alloc(20);
  ASSERT_NE(heap, nullptr);
  EXPECT_TRUE(heap < static_cast<void*>(buffer) || heap >= static_cast<void*>(buffer + sizeof buffer));
  mem_free(heap);
  void* zero = mem_alloc(0);  // a zero-size heap block is not a failure
  EXPECT_NE(zero, nullptr);
  mem_free(zero);
}

TEST_F(MemoryTest, CommonBlocksComeFromTheHeapEvenWithAnArenaCurrent) {
  alignas(16) static uint8_t buffer[4096];
  MemArena arena;
  arena.init(buffer, sizeof buffer, "loader");
  mem_set_arena(&arena);

  uint8_t* block = static_cast<uint8_t*>(common_block_lock(1000));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(block < buffer || block >= buffer + sizeof buffer);
  EXPECT_EQ(arena.used, 0u);
  EXPECT_EQ(mem_get_arena(), &arena);  // the caller's arena is back
  block[999] = 1;                      // the whole block is usable
  common_block_unlock(block);          // freeing it to the heap is sound

  // The same with an arena too small to hold the block at all.
  MemArena tiny;
  tiny.init(buffer, 16, "tiny");
  mem_set_arena(&tiny);
  void* big = common_block_lock(1 << 16);
  EXPECT_NE(big, nullptr);
  common_block_unlock(big);
}

TEST_F(MemoryTest, TwoCommonBlocksNestAndAThirdIsFatal) {
  void* a = common_block_lock(64);
  void* b = common_block_lock(64);
  EXPECT_NE(a, b);
  EXPECT_EQ(common_block_depth(), 2);
  {
    CriticalErrorTrap trap;
    try {
      common_block_lock(64);
      ADD_FAILURE() << "third lock succeeded";
    } catch (const CriticalErrorThrown& e) {
      EXPECT_EQ(e.text, "Common block is already locked.");
    }
  }
  common_block_unlock(b);
  common_block_unlock(a);
  EXPECT_EQ(common_block_depth(), 0);
}

TEST_F(MemoryTest, HeapExhaustionIsFatal) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer stops on an impossible allocation itself";
#else
  CriticalErrorTrap trap;
  try {
    mem_alloc(SIZE_MAX / 2);
    ADD_FAILURE() << "allocation succeeded";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text.rfind("Failed to allocate ", 0), 0u) << e.text;
    EXPECT_NE(e.text.find(" bytes\n"), std::string::npos) << e.text;
  }
#endif
}

TEST_F(MemoryTest, MemoryLogPadsToColumn66AndWritesNothingWhenClosed) {
  mem_log_printf("nothing", "%d", 1);  // closed: no effect, no crash
  EXPECT_FALSE(mem_log_enabled());

  std::string path = fresh_temp_dir("memlog_test") + "/memlog.txt";
  mem_log_open(path.c_str());
  ASSERT_TRUE(mem_log_enabled());
  mem_log_unindent();  // stays at level 0
  mem_log_printf("Meshes", "%d bytes", 1234);
  mem_log_indent();
  mem_log_printf("Skeleton", "%s", "12 KB");
  mem_log_unindent();
  mem_log_printf(std::string(70, 'x').c_str(), "%d", 7);  // too long to pad
  mem_log_close();
  EXPECT_FALSE(mem_log_enabled());

  std::string text = read_file(path);
  std::string line1 = "Meshes" + std::string(66 - 6 - 10, ' ') + "1234 bytes\r\n";
  std::string line2 = "   Skeleton" + std::string(66 - 11 - 5, ' ') + "12 KB\r\n";
  std::string line3 = std::string(70, 'x') + "7\r\n";
  EXPECT_EQ(text, line1 + line2 + line3);
  std::remove(path.c_str());
}

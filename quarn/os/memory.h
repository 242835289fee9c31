#pragma once
// The base library's allocator. Every allocation goes through it so that a
// loading step can redirect them into an arena that is dropped as a whole.
#include <cstddef>
#include <cstdint>

// A bump arena over memory its declarer owns. Allocations are rounded up to
// 16 bytes and aligned relative to the base, so a static base should be
// declared alignas(16). A full arena answers null; nothing is freed piece by
// piece: re-initialising the arena empties it.
struct MemArena {
  uint8_t* base = nullptr;
  uint32_t size = 0;
  uint32_t used = 0;
  char name[16] = {};

  void init(void* base, uint32_t size, const char* name);
  void* alloc(uint32_t size);
};

// Allocates from the current arena when one is set (null when it is full),
// else from the heap (a failed heap allocation is fatal:
// "Failed to allocate %d bytes\n"). File and line are for diagnostics.
void* mem_alloc_file(size_t size, const char* file, int line);
void* mem_alloc(size_t size);
// Returns a heap block. Arena blocks are never passed here.
void mem_free(void* block);

void mem_set_arena(MemArena* arena);
MemArena* mem_get_arena();
bool mem_arena_active();

// Large temporary buffers for the parser and the text-file reader; at most
// two are held at once, and they are given back in reverse order. They
// always come from the heap, whatever arena is current.
void* common_block_lock(size_t size);
void common_block_unlock(void* block);
// How many common blocks are held now (0 to 2).
int common_block_depth();

// The memory log: size reports of subsystems write through it, and nothing
// happens unless a developer opens it.
void mem_log_open(const char* filename);
void mem_log_close();
void mem_log_indent();
void mem_log_unindent();
bool mem_log_enabled();
void mem_log_printf(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The base library's exit routine, registered first by the main routine.
void mem_exit();

#include "quarn/os/memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarn/os/error.h"

namespace {
MemArena* g_current_arena = nullptr;

constexpr int COMMON_BLOCK_SLOTS = 2;
void* g_common_blocks[COMMON_BLOCK_SLOTS] = {};
int g_common_depth = 0;

FILE* g_log = nullptr;
bool g_log_enabled = false;
int g_log_indent = 0;
}  // namespace

void MemArena::init(void* new_base, uint32_t new_size, const char* new_name) {
  base = static_cast<uint8_t*>(new_base);
  size = new_size;
  used = 0;
  std::memset(name, 0, sizeof name);
  if (new_name) std::strncpy(name, new_name, sizeof name - 1);
}

void* MemArena::alloc(uint32_t bytes) {
  // 64-bit so that a request near 4 GB cannot wrap round into a "fit".
  uint64_t rounded = (uint64_t{bytes} + 15) & ~uint64_t{15};
  uint64_t new_used = uint64_t{used} + rounded;
  if (new_used > size) return nullptr;
  void* result = base + used;
  used = static_cast<uint32_t>(new_used);
  return result;
}

void* mem_alloc_file(size_t size, const char* file, int line) {
  (void)file;
  (void)line;
  if (g_current_arena) {
    if (size > UINT32_MAX) return nullptr;
    return g_current_arena->alloc(static_cast<uint32_t>(size));
  }
  // malloc(0) may answer null, which is not a failure.
  void* block = std::malloc(size ? size : 1);
  if (!block) critical_error_fmt(__FILE__, __LINE__, "Failed to allocate %zu bytes\n", size);
  return block;
}

void* mem_alloc(size_t size) { return mem_alloc_file(size, nullptr, 0); }

void mem_free(void* block) { std::free(block); }

void mem_set_arena(MemArena* arena) { g_current_arena = arena; }
MemArena* mem_get_arena() { return g_current_arena; }
bool mem_arena_active() { return g_current_arena != nullptr; }

void* common_block_lock(size_t size) {
  if (g_common_depth >= COMMON_BLOCK_SLOTS || g_common_blocks[g_common_depth])
    critical_error(__FILE__, __LINE__, "Common block is already locked.");
  // Common blocks are handed back with mem_free, so they must never be carved
  // from an arena, whatever arena the caller has made current.
  MemArena* saved = mem_get_arena();
  mem_set_arena(nullptr);
  void* block = mem_alloc_file(size, __FILE__, __LINE__);
  mem_set_arena(saved);
  g_common_blocks[g_common_depth++] = block;
  return block;
}

void common_block_unlock(void* block) {
  if (g_common_depth <= 0) return;
  --g_common_depth;
  mem_free(block);
  g_common_blocks[g_common_depth] = nullptr;
}

int common_block_depth() { return g_common_depth; }

void mem_log_open(const char* filename) {
  if (!filename || g_log) return;
  g_log = std::fopen(filename, "w");
  g_log_enabled = g_log != nullptr;
  g_log_indent = 0;
}

void mem_log_close() {
  if (g_log) std::fclose(g_log);
  g_log = nullptr;
  g_log_enabled = false;
}

void mem_log_indent() { ++g_log_indent; }
void mem_log_unindent() {
  if (g_log_indent > 0) --g_log_indent;
}
bool mem_log_enabled() { return g_log_enabled && g_log; }

void mem_log_printf(const char* name, const char* format, ...) {
  if (!g_log) return;
  char prefix[512];
  size_t plen = 0;
  prefix[0] = 0;
  for (int i = 0; i < g_log_indent && plen + 3 < sizeof prefix; ++i) {
    std::memcpy(prefix + plen, "   ", 3);
    plen += 3;
  }
  prefix[plen] = 0;
  std::snprintf(prefix + plen, sizeof prefix - plen, "%s", name ? name : "");
  plen = std::strlen(prefix);

  char value[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(value, sizeof value, format, ap);
  va_end(ap);

  // Pad so that the value ends in column 66.
  long pad = 66 - static_cast<long>(std::strlen(value)) - static_cast<long>(plen);
  while (pad-- >= 1 && plen + 1 < sizeof prefix) prefix[plen++] = ' ';
  prefix[plen] = 0;
  // The log is a text file of this program: lines end in CRLF.
  std::fprintf(g_log, "%s%s\r\n", prefix, value);
}

void mem_exit() {}

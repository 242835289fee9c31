// Fuzz target: lines of the effect list, split into a file name, a pool word
// and the names, each checked against its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "quarn/geom/effect_mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FILE* fp = fmemopen(text.data(), text.size() + 1, "r");
  if (!fp) return 0;
  char file[EFFECT_LIST_TOKEN_SIZE];
  char names[MAX_EFFECT_LIST_NAMES][EFFECT_LIST_TOKEN_SIZE];
  int lines = 0, pool = 0, count = 0;
  for (int guard = 0; guard < 10000; guard++) {
    const int r = effect_list_read_line(fp, &lines, file, &pool, &count, names);
    if (r < 0 && std::feof(fp)) break;
    if (r == 1 && (pool < 0 || pool > 5 || count < 1 || count > MAX_EFFECT_LIST_NAMES)) __builtin_trap();
  }
  std::fclose(fp);
  return 0;
}

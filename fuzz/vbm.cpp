// Fuzz target: VBM files (stills and animations) through the bitmap
// manager: header, the shared block of an animation, every frame's lock.
#include <cstddef>
#include <cstdint>

#include "fuzz/bm_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VbmHeader h;
  const char* why = vbm_parse_header(data, size, &h);
  if (!why && size <= (1u << 20) && bm_fuzz_write("fuzz.vbm", data, size)) bm_fuzz_load_and_lock("fuzz.vbm");
  if (why && size >= 32 && bm_fuzz_write("bad.vbm", data, size)) bm_fuzz_load_and_lock("bad.vbm");
  return 0;
}

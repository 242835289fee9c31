// Fuzz target: the animation pack reader, from bytes written as a pack file.
// Every entry of a pack that loads is read as an animation, as a character
// would read it from the pack.
#include <cstddef>
#include <cstdint>

#include "bm_fuzz_util.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/ca_internal.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!bm_fuzz_write("fuzz.pak", data, size)) return 0;
  ca_detail::names().reset();
  if (anim_pack_load("fuzz.pak")) {
    // Entry names are not exposed; the pack's own directory is walked again
    // through the lookup with the names it holds.
    const int count = static_cast<int>(data[8]);
    for (int i = 0; i < count && 16 + i * 72 + 64 <= static_cast<int>(size); ++i) {
      char name[65] = {};
      for (int k = 0; k < 64; ++k) name[k] = static_cast<char>(data[16 + i * 72 + k]);
      int entry_size = 0, offset = 0;
      if (anim_pack_find(name, &entry_size, &offset)) {
        if (offset < 0 || entry_size < 0 || offset + entry_size > static_cast<int>(size)) __builtin_trap();
        ReadStream s;
        s.open_memory(data + offset, entry_size);
        skeleton sk(name, "fuzz", 0, 0, 0);
        sk.read_mvf(s, nullptr, 0);
      }
    }
  }
  return 0;
}

// Fuzz target: the item camera table reader over arbitrary text, with a
// guard after the table. A bad table ends in the parse error, never in a
// crash, and the guard is never written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Orrimund/screens/item_cameras.h"
#include "fuzz/fatal_throw.h"

namespace {
int lookup(const char* name) { return name[0] ? static_cast<unsigned char>(name[0]) % 7 : -1; }
const char* name_of(int) { return "a"; }
const IcamNames Names = {lookup, name_of, lookup, name_of};

struct Guarded {
  IcamTable table;
  uint32_t guard;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_fatal_throws();
  static Guarded g;
  g.guard = 0x5a5a5a5a;
  try {
    new_icam_load_text(g.table, "fuzz_cameras.tbl", reinterpret_cast<const char*>(data), static_cast<int>(size),
                       Names);
    matrix m;
    vector v;
    new_icam_get(g.table, "a", &m, &v, Names);
  } catch (const FuzzFatal&) {
  }
  if (g.guard != 0x5a5a5a5a || g.table.count < 0 || g.table.count > MAX_ICAM_ENTRIES) std::abort();
  return 0;
}

// The cutscene table through its reader: a bad table ends in the parse
// error, never in a crash, and every record read can be found again.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "levelscripts/cutscene_table.h"
#include "quarn/os/error.h"

namespace {
struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};
void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool installed = (critical_error_set_handler(throw_handler), true);
  (void)installed;
  try {
    cutscene_table_read_text("cutscenes.tbl", reinterpret_cast<const char*>(data), static_cast<int>(size));
  } catch (const Fatal&) {
  }
  for (int i = 0; i < cutscene_count(); i++) {
    const CutsceneRecord* r = cutscene_record_at(i);
    if (!cutscene_find(r->name, r->level) || !cutscene_find_any_level(r->name)) __builtin_trap();
  }
  return 0;
}

// The cutscene table through its reader: a bad table ends in the parse
// error, never in a crash, and every record read can be found again.
#include <cstddef>
#include <cstdint>

#include "fatal_throw.h"
#include "levelscripts/cutscene_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_fatal_throws();
  try {
    cutscene_table_read_text("cutscenes.tbl", reinterpret_cast<const char*>(data), static_cast<int>(size));
  } catch (const FuzzFatal&) {
  }
  for (int i = 0; i < cutscene_count(); i++) {
    const CutsceneRecord* r = cutscene_record_at(i);
    if (!cutscene_find(r->name, r->level) || !cutscene_find_any_level(r->name)) __builtin_trap();
  }
  return 0;
}

// Cutscene scripts through their reader in the level "demo_outdoor": a bad
// table ends in the parse error, never in a crash, and undoing it always
// empties the cutscene's navpoints.
#include <cstddef>
#include <cstdint>

#include "fatal_throw.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_fatal_throws();
  level_position_set_level("demo_outdoor", "demo_outdoor");
  script_runner_reset();
  Cscript_cutscene_index = 0;
  try {
    cscript_table_read_text("fuzz_cscript.tbl", reinterpret_cast<const char*>(data), static_cast<int>(size));
  } catch (const FuzzFatal&) {
  }
  cscript_restore_objects();
  if (navpoint_count(true) != 0) __builtin_trap();
  return 0;
}

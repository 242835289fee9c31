// A .sav file as anyone may have left it in the save folder: any length, any
// bytes. The load check must answer yes or no without reading outside the
// file or any section; a file it accepts must also load and leave the image
// equal to its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Engine/Objects/items.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/savegame.h"
#include "tests/support/game_tables.h"
#include "tools/writers/script_table_writers.h"

namespace {
void set_up() {
  load_demo_spells_and_items();
  const std::string events = demo_events_text(game_event_declarations(), demo_quests());
  demo_events_load_text("demo_events.tbl", events.c_str(), static_cast<int>(events.size()));
  savegame_layout();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (set_up(), true);
  (void)ready;
  save_check_bytes(data, size);
  return 0;
}

// The level-scripting tables through their readers: the first byte chooses
// demo_events.tbl, script_filenames.tbl, a level table's automap section, a
// demo script table, a level data table, level_items.tbl or a dialogue table; the rest is the
// table. A bad table ends in the parse error, never in a
// crash, and whatever was read lays out an image that fits its capacity.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "levelscripts/conversation.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_runner.h"
#include "fuzz/fatal_throw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_fatal_throws();
  if (size < 1) return 0;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const int length = static_cast<int>(size - 1);
  try {
    switch (data[0] % 7) {
      case 0:
        demo_events_load_text("demo_events.tbl", text, length);
        savegame_layout();
        for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++) level_flag_get(l, "x");
        break;
      case 1:
        script_filenames_load_text("script_filenames.tbl", text, length);
        for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++) level_script_level_cap(l, level_script_name_index(l, "a"));
        break;
      case 2:
        automap_layer_count_from_text("demo_test.tbl", text, length);
        break;
      case 3:
        script_runner_reset();
        navpoints_reset(false);
        demo_script_table_read_text("test_demoscript.tbl", text, length);
        level_find_player_starts();
        break;
      case 4:
        script_runner_reset();
        level_data_table_read_text("demo_test.tbl", text, length);
        for (int i = 0; i < level_trigger_count(); i++) level_trigger_at(i);
        break;
      case 6:
        dlg_table_load_text("test_dlg.tbl", text, length);
        if (conversation_person_count() > 0 && conversation_begin(conversation_person(0)->name.c_str()) == 0)
          conversation_pick(conversation_first_offered());
        break;
      default:
        script_runner_reset();
        level_position_set_level("test", "test");
        level_items_read_text("level_items.tbl", text, length);
        break;
    }
  } catch (const FuzzFatal&) {
  }
  return 0;
}

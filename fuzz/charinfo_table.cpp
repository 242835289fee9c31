// Character tables of any shape through the game's reader, on top of the
// demo's spells and items. A table the reader refuses must end in the
// parse error or one of the reader's fatal messages, never in a crash or a
// read outside the text.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/error.h"
#include "tools/writers/table_writers.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

bool setup() {
  critical_error_set_handler(throw_handler);
  const std::string spells = table_spells_text(table_demo_spells());
  const std::string materials = table_materials_text();
  const std::string items = table_items_text(table_demo_items());
  spells_load_text("spells.tbl", spells.data(), static_cast<int>(spells.size()));
  item_tables_init_text(materials.data(), static_cast<int>(materials.size()), items.data(),
                        static_cast<int>(items.size()));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = setup();
  (void)ready;
  charinfo_reset();
  try {
    charinfo_load_table_text("fuzz.tbl", reinterpret_cast<const char*>(data), static_cast<int>(size));
    charinfo_build_castable_spells();
    for (int i = 0; i < Num_character_infos; i++) {
      const Character_info* ci = &Character_infos[i];
      charinfo_get_move(ci, MOVE_ATTACK, 1, false);
      int variations[MAX_TOTAL_MOVES];
      charinfo_collect_variations(variations, ci, MOVE_ATTACK, 0);
      charinfo_lookup(ci->name);
    }
  } catch (const Fatal&) {
    // The reader's refusal: what a bad table is meant to end in.
  }
  return 0;
}

// The other start-up tables through their readers: the first byte chooses
// spells.tbl, materials.tbl, items.tbl, alt_textures.tbl or experience.tbl,
// the rest is the table. Items are read on top of the demo's spells and
// materials. A bad table must end in the parse error, never in a crash.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/error.h"
#include "tools/writers/table_writers.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

const std::string& demo_spells() {
  static const std::string text = table_spells_text(table_demo_spells());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool installed = (critical_error_set_handler(throw_handler), true);
  (void)installed;
  if (size < 1) return 0;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const int length = static_cast<int>(size - 1);
  try {
    switch (data[0] % 5) {
      case 0:
        spells_load_text("spells.tbl", text, length);
        break;
      case 1:
        materials_load_text("materials.tbl", text, length);
        break;
      case 2: {
        spells_load_text("spells.tbl", demo_spells().data(), static_cast<int>(demo_spells().size()));
        items_load_text("items.tbl", text, length);
        item_pool_init();
        for (int i = 0; i < Num_item_infos; i++) {
          item_instance* item = item_create(i);
          item_describe(item);
          item_display_name(Item_infos[i].name ? &Item_infos[i] : nullptr);
          item_free(item);
        }
        break;
      }
      case 3:
        alt_textures_load_text("alt_textures.tbl", text, length);
        break;
      default:
        experience_load_text("experience.tbl", text, length);
        for (int level = 0; level < 80; level++) xp_for_level(level);
        break;
    }
  } catch (const Fatal&) {
    // The parse error: what a bad table is meant to end in.
  }
  return 0;
}

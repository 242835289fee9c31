// Visibility layer files, detail tables and shadow tables of any shape,
// against a level with a few groups. The first byte picks the reader. A text
// the readers refuse must end in the parse error, never in a crash or a read
// outside the text, and every layer's list must stay inside the shared lists.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/s3d.h"
#include "quarn/os/error.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

int32_t Members[4] = {0, 1, 2, 3};
VisGroup Groups[] = {
    {"$visTower", 1, &Members[0]},
    {"$visHIGHTower", 1, &Members[1]},
    {"$visDoors", 2, &Members[2]},
    {"props", 1, &Members[3]},
};

bool setup() {
  critical_error_set_handler(throw_handler);
  Level.vis_group_count = 4;
  Level.vis_groups = Groups;
  Level.vis_base = VisGroup{"$vis_base", 1, &Members[0]};
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = setup();
  (void)ready;
  if (size < 1) return 0;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const int length = static_cast<int>(size - 1);
  try {
    switch (data[0] % 3) {
      case 0: vis_parse_text("fuzz.vis", text, length); break;
      case 1: detail_levels_parse_text("detail_levels.tbl", text, length); break;
      default: shadows_parse_text("shadows.tbl", text, length); break;
    }
  } catch (const Fatal&) {
    // The parser's refusal: what a bad table is meant to end in.
  }
  int sum = 0;
  for (int l = -1; l <= MAX_VIS_LAYERS; l++) {
    Vis_current_layer = l;
    for (int detail = 0; detail < 3; detail++) {
      VisGroup* const* list = nullptr;
      const int n = vis_selected_groups(detail, &list);
      for (int i = 0; i < n; i++) sum += list[i]->count;
    }
  }
  for (int i = 0; i < Num_detail_levels; i++) sum += Detail_levels[i].name[0];
  for (int i = 0; i < Num_shadow_entries; i++) sum += Shadow_entries[i].name[0];
  // Every name read whole: the sum keeps the reads from being dropped.
  return sum == 0x7fffffff ? 1 : 0;
}

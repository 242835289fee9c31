// Demo step: every data table the game reads at start-up, under
// <root>/data/tables (the writers' demo tables), and a model for every demo
// item under <root>/data/models/items with its colours under
// <root>/data/maps/items, so that items page in and the screens show them.
#include <filesystem>
#include <set>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/icam_writer.h"
#include "tools/writers/item_model_writer.h"
#include "tools/writers/table_writers.h"
#include "tools/writers/vim_writer.h"
#include "tools/writers/wave_writer.h"

namespace {

bool demo_build_tables(const std::string& root) {
  if (!table_write_demo_tables(root)) return false;
  if (!icam_write_demo_tables(root)) return false;
  std::set<std::string> written;
  std::error_code ec;
  std::filesystem::create_directories(root + "/data/models/items", ec);
  std::filesystem::create_directories(root + "/data/maps/items", ec);
  for (const ItemRecord& item : table_demo_items()) {
    if (!written.insert(item.model).second) continue;
    ItemModelSpec spec = item_model_for(item);
    if (item.type == "Weapon") {
      // Weapons carry the two tags they are laid on the ground by.
      VimWriterTag a, b;
      a.name = "$drop-ground01";
      b.name = "$drop-ground02";
      b.position = {0.2f, 0, 0};
      spec.tags = {a, b};
    }
    if (!item_model_write(spec, root + "/data/models/items", item.model, root + "/data/maps/items")) return false;
  }
  // The built-in footstep sounds every character type without its own uses:
  // a short thud per foot and ground surface.
  std::filesystem::create_directories(root + "/data/sounds/pc/footsteps", ec);
  const char* const surfaces[5] = {"wood_d", "stone_h", "grass_a", "sand_a", "wet_a"};
  for (int foot = 0; foot < 2; foot++) {
    for (int s = 0; s < 5; s++) {
      const std::string file = std::string(foot ? "right_" : "left_") + surfaces[s] + ".wav";
      const auto samples = wave_noise(22050, 1, 0.08, 0.3 + 0.05 * s, static_cast<uint32_t>(foot * 5 + s + 1));
      if (!wave_write_file(root + "/data/sounds/pc/footsteps/" + file, wave_build_pcm(samples, 1, 22050, 16)))
        return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_tables, DEMO_ORDER_TABLES);

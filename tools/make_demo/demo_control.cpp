// Demo step: what a click acts on beyond the ground and the doors: a purse
// of gold lying by the party's start in the outdoor level, and a chest of
// gold, tonics and a ring behind the start of the new game's first level.
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

bool demo_build_control(const std::string& root) {
  LevelItemSpec purse;
  purse.level = "demo_outdoor";
  purse.name = "Purse";
  purse.script = "demo_outdoor";
  purse.item = "Gold";
  purse.navpoint = "purse";
  purse.count = 25;
  std::vector<LevelItemSpec> items = {purse};
  for (auto [name, item, count] : {std::tuple{"Camp Gold", "Gold", 50}, {"Camp Tonics", "Health Tonic", 2},
                                   {"Camp Ring", "Ring of Forest", 1}}) {
    LevelItemSpec chest;
    chest.level = chest.script = "rand-forest01";
    chest.name = name;
    chest.item = item;
    chest.navpoint = DEMO_CAMP_CHEST;
    chest.count = count;
    items.push_back(chest);
  }
  if (!table_write_file(root + "/data/tables/level_items.tbl", level_items_text(items))) {
    std::fprintf(stderr, "demo: cannot write the level items\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_control, DEMO_ORDER_TABLES + 320);

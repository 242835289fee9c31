// Demo step: what a click in the outdoor level acts on beyond the ground and
// the doors: a purse of gold lying by the party's start for a click to pick
// up.
#include <cstdio>
#include <string>

#include "tools/make_demo/demo_steps.h"
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
  if (!table_write_file(root + "/data/tables/level_items.tbl", level_items_text({purse}))) {
    std::fprintf(stderr, "demo: cannot write the purse of gold\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_control, DEMO_ORDER_TABLES + 320);

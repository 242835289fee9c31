// Demo step: what a click in the outdoor level acts on beyond the ground and
// the doors: a purse of gold lying by the party's start for a click to pick
// up, and the watchman's few words for a click to begin.
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
  const std::string watchman =
      "$Character: \"Watchman\"\r\n"
      "+Topic: {Greetings}\r\n"
      "+NPCText: {Halt. The road east is watched.}\r\n"
      "+PCText: {Good day to you.}\r\n"
      "$Initial topics: {Greetings}\r\n"
      "$End\r\n";
  if (!table_write_file(root + "/data/tables/level_items.tbl", level_items_text({purse})) ||
      !table_write_file(root + "/data/scripts/demo_outdoor_dlg.tbl", watchman)) {
    std::fprintf(stderr, "demo: cannot write the purse or the watchman's words\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_control, DEMO_ORDER_TABLES + 320);

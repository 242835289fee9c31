// Demo step: the script runner's tables of the outdoor demo level (and the
// locked gate of the new game's first level). A watchman
// patrols between two navpoints and keeps a shop; an exit east of the start
// leads to the indoor level's second entry, whose starts the indoor level's
// own table adds.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

bool demo_build_scripts(const std::string& root) {
  const std::string dir = root + "/data/scripts/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::vector<ScriptNavpointSpec> navs = {
      {"patrol_west", -3.0f, 0.0f, 7.0f, 0.0f, ""},
      {"patrol_east", 5.0f, 0.0f, 7.0f, 3.1415927f, ""},
      {"exit_indoor", 7.0f, 0.0f, -2.0f, 0.0f, ""},
      {"brook", -6.0f, 0.0f, -6.0f, 0.0f, "ambient sound"},
      {"purse", -1.5f, 0.0f, 2.0f, 0.0f, ""},  // where the demo's purse of gold lies
  };
  ScriptCharacterSpec watchman;
  watchman.name = "Watchman";
  watchman.start = "patrol_west";
  watchman.character = "Generic Fighter";
  // He stands a while at each end of his rounds, long enough to be talked to.
  watchman.actions = {"\"label\" 1",          "\"walk to\" \"patrol_east\"", "\"wait at\" \"patrol_east\" 4",
                      "\"walk to\" \"patrol_west\"", "\"wait at\" \"patrol_west\" 4", "\"goto\" 1"};
  LevelTriggerSpec exit;
  exit.name = "demo_indoor";
  exit.index = 2;
  exit.location = "exit_indoor";
  exit.radius = 1.5f;
  ShopkeeperSpec shop;
  shop.character = "Watchman";
  shop.sell = {"Health Tonic"};
  shop.buy = {"Health Tonic"};
  // A grey-blue haze a little closer than the default, and a murmur by the
  // brook west of the start.
  LevelFogSpec outdoor_fog;
  outdoor_fog.r = 150;
  outdoor_fog.g = 160;
  outdoor_fog.b = 175;
  outdoor_fog.near_dist = 28.0f;
  outdoor_fog.far_dist = 45.0f;
  outdoor_fog.eax = "forest";
  // The indoor level's second entry, where the outdoor exit arrives: room B.
  const std::vector<ScriptNavpointSpec> arrival = {
      {"$player2-01", 3.0f, 0.5f, -3.0f, 0.0f, ""},
      {"$player2-02", 3.0f, 0.5f, -1.5f, 0.0f, ""},
      {"$player2-03", 4.5f, 0.5f, -3.0f, 0.0f, ""},
      {"$player2-04", 4.5f, 0.5f, -1.5f, 0.0f, ""},
  };
  if (!table_write_file(dir + "demo_outdoor_demoscript.tbl", demo_script_text(false, navs, {watchman})) ||
      !table_write_file(dir + "demo_indoor_demoscript.tbl", demo_script_text(false, arrival, {})) ||
      // The new game's level locks its pen's gate, a little above Rivud's
      // first lock-picking skill (0.1) and within the grace a pick allows.
      !table_write_file(dir + "rand-forest01_demoscript.tbl",
                        demo_script_text(false, {}, {}, {{DEMO_PEN_GATE, 0.15f, ""}})) ||
      !table_write_file(dir + "demo_demo_outdoor.tbl", level_data_text({}, {exit}, {shop}, {{"snd_01.wav", "brook"}}, outdoor_fog))) {
    std::fprintf(stderr, "demo: cannot write the outdoor level's script tables\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_scripts, DEMO_ORDER_TABLES + 310);

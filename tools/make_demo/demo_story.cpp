// Demo step: small flat levels under the names the story's scripts use,
// with the navpoints, movable meshes, characters and exits their hooks
// name: the world map with its terrain markers and landmarks, the encounter
// levels and the Masad tutorial. Their names sort after the demo levels, so
// the level picker keeps those first.
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/level_builder.h"
#include "tools/writers/pfg_writer.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

struct StoryDoor {
  std::string name;
  float x, z;
};
struct StoryLevel {
  std::string name;
  const char* ground;
  std::vector<ScriptNavpointSpec> navpoints;
  std::vector<StoryDoor> doors;
  std::vector<ScriptCharacterSpec> characters;
  std::vector<LevelTriggerSpec> exits;
};

ScriptCharacterSpec standing(const std::string& name, const std::string& at, bool monster = false) {
  ScriptCharacterSpec c;
  c.name = name;
  c.start = at;
  c.character = "Generic Fighter";
  c.monster = monster;
  c.actions = {"\"wait at\" \"" + at + "\" 1"};
  return c;
}
LevelTriggerSpec exit_to(const std::string& level, const std::string& script, int entry, const std::string& at) {
  LevelTriggerSpec t;
  t.name = level;
  t.script = script;
  t.index = entry;
  t.location = at;
  t.radius = 1.5f;
  return t;
}
void add_starts(std::vector<ScriptNavpointSpec>& n, const std::string& prefix, float x, float z) {
  for (int i = 0; i < 4; i++)
    n.push_back({prefix + std::to_string(i + 1), x + 1.5f * (i % 2), 0.0f, z + 1.5f * (i / 2), 0.0f, ""});
}

std::vector<StoryLevel> story_levels() {
  std::vector<StoryLevel> levels;
  {
    StoryLevel w{"worldmap1", "demo_grass.tga", {}, {}, {}, {}};
    add_starts(w.navpoints, "$player0", 0.0f, 0.0f);
    add_starts(w.navpoints, "$player2-0", 4.0f, 4.0f);  // arriving from Masad
    for (const char* m : {"$forest01", "$grass01", "$hills001"}) w.navpoints.push_back({m, 0, 0, 0, 0, ""});
    w.navpoints[8] = {"$forest01", -15.0f, 0.0f, 0.0f, 0.0f, ""};
    w.navpoints[9] = {"$grass01", 15.0f, 0.0f, 0.0f, 0.0f, ""};
    w.navpoints[10] = {"$hills001", 0.0f, 0.0f, 18.0f, 0.0f, ""};
    w.navpoints.push_back({"$masad", 10.0f, 0.0f, -15.0f, 0.0f, ""});
    w.navpoints.push_back({"$thalem", -18.0f, 0.0f, 15.0f, 0.0f, ""});
    w.navpoints.push_back({"$odrin", 18.0f, 0.0f, 18.0f, 0.0f, ""});
    w.navpoints.push_back({"$to_masad", 10.0f, 0.0f, -18.0f, 0.0f, ""});
    w.exits.push_back(exit_to("masad", "masad_v2", 1, "$to_masad"));
    levels.push_back(w);
  }
  // Every encounter level the roll may pick, each a clearing with a way back;
  // rand-forest01 is the demo's own first level (the front end's step).
  for (const char* name : {"rand-forestnite1", "rand-grassland01", "rand-grasslandnite01",
                           "rand-hills01", "rand-hillsnite01", "rand-desert", "rand-desertnite01", "rand-kasdria01",
                           "rand-kasdrianite01", "rand-iceland01", "rand-icelandnite01"}) {
    StoryLevel f{name, "demo_grass.tga", {}, {}, {}, {}};
    add_starts(f.navpoints, "$player0", 0.0f, 0.0f);
    f.navpoints.push_back({"$leave", 8.0f, 0.0f, 0.0f, 0.0f, ""});
    f.exits.push_back(exit_to("worldmap1", "worldmap1", 1, "$leave"));
    levels.push_back(f);
  }
  {
    StoryLevel m{"masad", "demo_floor.tga", {}, {}, {}, {}};
    add_starts(m.navpoints, "$player0", 0.0f, 0.0f);
    for (auto [n, x, z] : {std::tuple{"$nath_trigger", 4.0f, 4.0f}, {"$cuttrig", 8.0f, -6.0f}, {"$nath", 5.0f, 5.0f},
                           {"$khag", 6.0f, 6.0f}, {"$uvala", 7.0f, 5.0f}, {"$barbarian", 10.0f, -8.0f},
                           {"$scout", -6.0f, -6.0f}, {"$scout2", -6.0f, 6.0f}, {"$aesik", -9.0f, 0.0f},
                           {"$to_map", 14.0f, 0.0f}})
      m.navpoints.push_back({n, x, 0.0f, z, 0.0f, ""});
    m.doors = {{"invis-door01", -4.0f, 0.0f}, {"invis-door02", 0.0f, 10.0f}, {"invis-door03", 0.0f, -10.0f}};
    m.characters = {standing("Nath", "$nath"),
                    standing("Khag", "$khag"),
                    standing("Uvala", "$uvala"),
                    standing("Barbarian Fighter#$npc037", "$barbarian", true),
                    standing("Kasdrian Scout#$npc002", "$scout", true),
                    standing("Kasdrian Scout#$npc014", "$scout2"),
                    standing("Aesik", "$aesik")};
    m.exits.push_back(exit_to("worldmap1", "worldmap1", 2, "$to_map"));
    levels.push_back(m);
  }
  {
    // The level table's "test" row: Orla talks there, and what she was told
    // is kept in saved games (the demo levels have no row).
    StoryLevel t{"test", "demo_floor.tga", {}, {}, {}, {}};
    add_starts(t.navpoints, "$player0", 0.0f, 0.0f);
    t.navpoints.push_back({"$orla", 2.5f, 0.0f, 3.5f, 0.0f, ""});
    t.characters = {standing("Orla", "$orla")};
    levels.push_back(t);
  }
  return levels;
}

bool demo_build_story(const std::string& root) {
  const std::string models = root + "/data/models/levels/";
  const std::string graphs = root + "/data/internal/";
  const std::string scripts = root + "/data/scripts/";
  std::error_code ec;
  for (const std::string& d : {models, graphs, scripts}) std::filesystem::create_directories(d, ec);
  for (const StoryLevel& l : story_levels()) {
    LevelBuilder b;
    const int ground = b.texture(l.ground);
    const int wood = b.texture("demo_wood.tga");
    b.max_cell = 8.0f;
    b.add_floor("ground", -24.0f, -24.0f, 24.0f, 24.0f, 0.0f, ground, MI_GROUND | MI_DECALS);
    b.max_cell = 4.0f;
    PfgLevel g;
    g.min_x = g.min_z = -24.0f;
    g.max_x = g.max_z = 24.0f;
    g.sector_splits = {0.0f};
    for (const StoryDoor& d : l.doors)
      b.add_door(d.name, vector{d.x - 1.0f, 0.0f, d.z - 0.2f}, vector{d.x + 1.0f, 2.5f, d.z + 0.2f},
                 vector{0.0f, -2.6f, 0.0f}, 1.0f, d.name + "_track", wood);
    if (!b.write_file(models + l.name + ".s3d") || !pfg_write_file(graphs + l.name + ".pfg", pfg_build(g)) ||
        !table_write_file(scripts + l.name + "_demoscript.tbl", demo_script_text(false, l.navpoints, l.characters)) ||
        !table_write_file(scripts + "demo_" + l.name + ".tbl", level_data_text({}, l.exits, {}))) {
      std::fprintf(stderr, "demo: cannot write the story level %s\n", l.name.c_str());
      return false;
    }
    // The script variants the world map and its encounters arrive with read
    // the same navpoints and characters (the runner cuts a script name to 16
    // characters before the suffix).
    for (const char* v : {"_v2", "_v3", "_v4", "_v5", "_v6", "2"}) {
      if (l.name == "worldmap1") break;
      const std::string file = (l.name + v).substr(0, 16) + "_demoscript.tbl";
      if (!table_write_file(scripts + file, demo_script_text(false, l.navpoints, l.characters))) return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_story, DEMO_ORDER_TABLES + 320);

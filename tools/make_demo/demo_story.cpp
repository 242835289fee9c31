// Demo step: small flat levels under the names the story's scripts use,
// with the navpoints, movable meshes, characters and exits their hooks
// name: the world map with its terrain markers and landmarks, the encounter
// levels, the Masad tutorial, the catacombs and the Khosani lab.
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tools/make_demo/demo_canvas.h"
#include "tools/make_demo/demo_steps.h"
#include "tools/writers/level_builder.h"
#include "tools/writers/pfg_writer.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

// A movable mesh: a box of half width w, height h and half depth d on the
// floor at (x, z), which sinks by `drop` as it opens.
struct StoryDoor {
  std::string name;
  float x, z;
  float w = 1.0f, h = 2.5f, d = 0.2f, drop = 2.6f;
};
// A lever, ball or rune: small, and it only dips when used.
StoryDoor knob(const std::string& name, float x, float z, float h = 1.0f) { return {name, x, z, 0.3f, h, 0.3f, 0.4f}; }
struct StoryLevel {
  std::string name;
  const char* ground;
  std::vector<ScriptNavpointSpec> navpoints;
  std::vector<StoryDoor> doors;
  std::vector<ScriptCharacterSpec> characters;
  std::vector<LevelTriggerSpec> exits;
  std::vector<std::pair<std::string, std::vector<vector>>> barriers;  // lines paths may not cross
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

// The leader at (x, z) and the others in a row behind it, out of the way of
// clicks on what lies ahead.
void add_starts_behind(std::vector<ScriptNavpointSpec>& n, const std::string& prefix, float x, float z) {
  n.push_back({prefix + "1", x, 0.0f, z, 0.0f, ""});
  for (int i = 0; i < 3; i++) n.push_back({prefix + std::to_string(i + 2), x - 1.5f + 1.5f * i, 0.0f, z - 1.5f, 0.0f, ""});
}

std::vector<StoryLevel> story_levels() {
  std::vector<StoryLevel> levels;
  {
    StoryLevel w{"worldmap1", "demo_grass.tga", {}, {}, {}, {}, {}};
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
    StoryLevel f{name, "demo_grass.tga", {}, {}, {}, {}, {}};
    add_starts(f.navpoints, "$player0", 0.0f, 0.0f);
    f.navpoints.push_back({"$leave", 8.0f, 0.0f, 0.0f, 0.0f, ""});
    f.exits.push_back(exit_to("worldmap1", "worldmap1", 1, "$leave"));
    levels.push_back(f);
  }
  {
    StoryLevel m{"masad", "demo_floor.tga", {}, {}, {}, {}, {}};
    add_starts(m.navpoints, "$player0", 0.0f, 0.0f);
    for (auto [n, x, z] : {std::tuple{"$nath_trigger", 4.0f, 4.0f}, {"$cuttrig", 8.0f, -6.0f}, {"$nath", 8.0f, 12.0f},
                           {"$khag", 9.0f, 13.0f}, {"$uvala", 10.0f, 12.0f}, {"$gather1", 3.0f, 8.0f},
                           {"$gather2", 5.0f, 8.0f}, {"$gather3", 7.0f, 8.0f}, {"$barbarian", 10.0f, -8.0f},
                           {"$scout", -20.0f, -20.0f}, {"$scout2", -6.0f, 6.0f}, {"$aesik", -9.0f, 0.0f},
                           {"$to_map", 14.0f, 0.0f}})
      m.navpoints.push_back({n, x, 0.0f, z, 0.0f, ""});
    m.doors = {{"invis-door01", -4.0f, 0.0f}, {"invis-door02", 0.0f, 10.0f}, {"invis-door03", 0.0f, -10.0f}};
    // The barbarian keeps out of the way until his intro lets him go, and
    // a hero fresh from the intro can beat him; the scout of the lessons
    // waits in a far corner, out of sight of the fight.
    ScriptCharacterSpec barbarian = standing("Barbarian Fighter#$npc037", "$barbarian", true);
    barbarian.character = "Grub";
    barbarian.actions = {"\"turn hostile\" 0", "\"wait for go\" 0", "\"turn hostile\" 1"};
    // The villagers stand apart until the gathering sends them on to their
    // places near the hero (their label 2).
    auto villager = [](const char* name, const char* at, const char* gather) {
      ScriptCharacterSpec v = standing(name, at);
      v.actions = {"\"wait for go\" 0", "\"label\" 2", std::string("\"walk to\" \"") + gather + "\""};
      return v;
    };
    m.characters = {villager("Nath", "$nath", "$gather1"),
                    villager("Khag", "$khag", "$gather2"),
                    villager("Uvala", "$uvala", "$gather3"),
                    barbarian,
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
  {
    // The catacombs: the two balls and the king tombs before the party, the
    // skull door beyond them (its trigger in reach of the start), Carados
    // down the hall behind.
    StoryLevel c{"Catacombs", "demo_floor.tga", {}, {}, {}, {}, {}};
    add_starts_behind(c.navpoints, "$player0", 0.0f, 0.0f);
    for (auto [n, x, z] : {std::tuple{"$npc009", -16.0f, 16.0f}, {"$npc010", 16.0f, 16.0f}, {"$npc011", -16.0f, -16.0f},
                           {"$doortrigger", 0.0f, 7.0f}, {"$ctrigger", 0.0f, -12.0f}, {"$carados", 0.0f, -20.0f}})
      c.navpoints.push_back({n, x, 0.0f, z, 0.0f, ""});
    c.doors = {knob("Puzzle-Ball01", -1.5f, 4.0f),  knob("Puzzle-Ball02", 1.5f, 4.0f),
               knob("cry_kinge", -4.0f, 4.0f),      knob("cry_kingf", 4.0f, 4.0f),
               {"cry_tombcen", 0.0f, 6.5f, 1.0f, 0.8f, 0.6f, 0.7f}, {"Puzzle-SkullDoor01", 0.0f, 11.0f}};
    // Carados keeps out of the fight until his intro lets him go.
    ScriptCharacterSpec carados = standing("Carados", "$carados", true);
    carados.character = "Grub";
    carados.actions = {"\"turn hostile\" 0", "\"wait for go\" 0", "\"turn hostile\" 1"};
    c.characters = {carados};
    levels.push_back(c);
  }
  {
    // The abbey of Odrin: the chicken yard ahead of the start, watched from
    // a camera point above it, with its two aspirants held until the party
    // comes by (their label 2 takes them to the hens).
    StoryLevel o{"OdrinExt", "demo_grass.tga", {}, {}, {}, {}, {}};
    add_starts_behind(o.navpoints, "$player0", 0.0f, 0.0f);
    for (auto [n, x, y, z] : {std::tuple{"$npc058", 6.0f, 0.0f, 0.0f}, {"$camera007", 12.0f, 5.0f, -6.0f},
                              {"$chick1", 7.0f, 0.0f, 5.0f}, {"$chick2", 12.0f, 0.0f, 2.0f},
                              {"$hens1", 9.0f, 0.0f, 2.0f}, {"$hens2", 10.0f, 0.0f, -1.0f}})
      o.navpoints.push_back({n, x, y, z, 0.0f, ""});
    for (auto [who, at, hens] : {std::tuple{"Aspirant#chick1", "$chick1", "$hens1"}, {"Aspirant#chick2", "$chick2", "$hens2"}}) {
      ScriptCharacterSpec a = standing(who, at);
      a.actions = {"\"wait for go\" 0", "\"label\" 2", std::string("\"walk to\" \"") + hens + "\""};
      o.characters.push_back(a);
    }
    levels.push_back(o);
  }
  {
    // The besieged city of the last act, under its snow.
    StoryLevel t{"thalem3a", "demo_floor.tga", {}, {}, {}, {}, {}};
    add_starts_behind(t.navpoints, "$player0", 0.0f, 0.0f);
    levels.push_back(t);
  }
  {
    // The temple of the ending: Machival alone, held until his intro's
    // order (label 1) lets him fight.
    StoryLevel t{"TempleInt2", "demo_floor.tga", {}, {}, {}, {}, {}};
    add_starts_behind(t.navpoints, "$player0", 0.0f, 0.0f);
    t.navpoints.push_back({"$machival", 0.0f, 0.0f, 7.0f, 0.0f, ""});
    t.navpoints.push_back({"$end2trig", -20.0f, 0.0f, -20.0f, 0.0f, ""});
    ScriptCharacterSpec machival = standing("Machival", "$machival", true);
    machival.character = "Grub";
    machival.actions = {"\"turn hostile\" 0", "\"wait for go\" 0", "\"label\" 1", "\"turn hostile\" 1"};
    t.characters = {machival};
    levels.push_back(t);
  }
  {
    // The Khosani lab: the pylon room's twelve low triggers, its six pylon
    // doors behind them and the memory room's six tall runes between, before
    // the start;
    // the rooms' markers round it; Dizavadi beside the party. Two barriers
    // stand off the lava.
    StoryLevel k{"KhosaniLab", "demo_floor.tga", {}, {}, {}, {}, {}};
    add_starts_behind(k.navpoints, "$player0", 0.0f, 0.0f);
    for (auto [n, x, z] : {std::tuple{"$rm1", 0.5f, 0.5f}, {"$rm2", -10.0f, -6.0f}, {"$rm4", 16.0f, -16.0f},
                           {"$rm5", 18.0f, 0.0f}, {"$rm7", -18.0f, 12.0f}, {"$rm8", -10.0f, -10.0f},
                           {"$symbol", 10.0f, -16.0f}, {"$platform", 20.0f, -20.0f}, {"$salstart", -20.0f, -20.0f},
                           {"$badplace", 0.0f, -3.0f}, {"$dizavadi", -2.5f, -1.0f}})
      k.navpoints.push_back({n, x, 0.0f, z, 0.0f, ""});
    for (int i = 1; i <= 6; i++) {
      char n[32];
      const float x = -5.0f + 2.0f * static_cast<float>(i - 1);
      std::snprintf(n, sizeof n, "LeftPylonTrigger-%02d", i);
      k.doors.push_back(knob(n, x, 3.0f, 0.6f));
      std::snprintf(n, sizeof n, "RightPylonTrigger-%02d", i);
      k.doors.push_back(knob(n, x + 0.8f, 3.0f, 0.6f));
      std::snprintf(n, sizeof n, "LAB-Rm3-DoorPylon%02d", i);
      k.doors.push_back({n, x + 0.4f, 9.0f, 0.6f, 2.0f, 0.3f, 2.1f});
      std::snprintf(n, sizeof n, "Lab-Rm7-Runenumber%02d", i);
      k.doors.push_back(knob(n, -2.5f + static_cast<float>(i - 1), 4.5f, 1.6f));
    }
    for (const char* d : {"Gate-Room2", "BOSS-GateA-Door01"}) k.doors.push_back({d, -10.0f, d[0] == 'G' ? -10.0f : -18.0f});
    k.characters = {standing("Dizavadi", "$dizavadi")};
    k.barriers = {{"avoid_lava01", {vector{12.0f, 0.0f, 4.0f}, vector{12.0f, 0.0f, 12.0f}}},
                  {"avoid_lava02", {vector{-12.0f, 0.0f, 4.0f}, vector{-12.0f, 0.0f, 12.0f}}}};
    levels.push_back(k);
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
      b.add_door(d.name, vector{d.x - d.w, 0.0f, d.z - d.d}, vector{d.x + d.w, d.h, d.z + d.d},
                 vector{0.0f, -d.drop, 0.0f}, 1.0f, d.name + "_track", wood);
    for (const auto& [name, line] : l.barriers) b.add_named_points(name, line);
    if (!b.write_file(models + l.name + ".s3d") || !pfg_write_file(graphs + l.name + ".pfg", pfg_build(g)) ||
        !table_write_file(scripts + l.name + "_demoscript.tbl", demo_script_text(false, l.navpoints, l.characters)) ||
        !table_write_file(scripts + "demo_" + l.name + ".tbl", level_data_text({}, l.exits, {}))) {
      std::fprintf(stderr, "demo: cannot write the story level %s\n", l.name.c_str());
      return false;
    }
    // The script variants the encounters and Masad are entered with read
    // the same navpoints and characters (the runner cuts a script name to 16
    // characters before the suffix).
    for (const char* v : {"_v2", "_v3", "_v4", "_v5", "_v6", "2"}) {
      if (l.name == "worldmap1" || l.name == "Catacombs" || l.name == "KhosaniLab") break;
      const std::string file = (l.name + v).substr(0, 16) + "_demoscript.tbl";
      if (!table_write_file(scripts + file, demo_script_text(false, l.navpoints, l.characters))) return false;
    }
  }
  return true;
}

// The world map's landmark arrow: white, pointing left, on clear ground;
// the game turns and scales it. Both art sets hold the same picture, as the
// game scales it for the screen itself.
bool demo_build_landmark_arrow(const std::string& root) {
  const std::string dir = root + "/data/interface/pc/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  constexpr int SIZE = 32;
  demo_art::Canvas c(SIZE, SIZE, demo_art::CLEAR);
  const demo_art::Rgba white{255, 255, 255};
  // The head: a triangle from its tip at the left edge to a base at x 16.
  for (int x = 1; x <= 16; x++) {
    const int half = (x - 1) * 13 / 15;
    c.fill(x, SIZE / 2 - half, 1, 2 * half + 1, white);
  }
  c.fill(16, SIZE / 2 - 4, SIZE - 18, 9, white);  // the shaft
  for (const char* suffix : {"640.tga", "1024.tga"}) {
    if (!c.write(dir + "LandmarkArrow" + suffix, true)) {
      std::fprintf(stderr, "demo: cannot write LandmarkArrow%s\n", suffix);
      return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_story, DEMO_ORDER_TABLES + 320);
DEMO_STEP(demo_build_landmark_arrow, DEMO_ORDER_IMAGES + 320);

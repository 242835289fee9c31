// Demo step: the automap of the demo's first level and the skills and
// spells roll-outs. rand-forest01 gets a level data table whose "#Automap"
// section names one map, a top view of the outdoor layout drawn to the box
// between its "$mapUpperLeft" and "$mapLowerRight" nodes (x grows to the
// left, z downwards), the permanent labels of automap_labels.tbl, and the
// map screen's panel, buttons and markers in both art sets. The roll-outs
// get their panels, a background naming each character type that has one,
// the six category icons of each screen (plain, lit and chosen), the list
// frames and the flip arrow.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_canvas.h"
#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {
using namespace demo_art;

FT_Face Bold = nullptr, Serif = nullptr;
std::string Dir;
bool Ok = true;
constexpr Rgba EDGE{110, 100, 80}, GOLD{230, 200, 120};
constexpr int MAP_PX = 200;  // the layer bitmap is square

void save(const Canvas& c, const std::string& name, bool alpha) {
  if (!c.write(Dir + "/" + name, alpha)) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", name.c_str());
    Ok = false;
  }
}

// World x, z to the layer bitmap's pixels.
double map_x(double x) { return (DEMO_MAP_UPPER_LEFT[0] - x) / (DEMO_MAP_UPPER_LEFT[0] - DEMO_MAP_LOWER_RIGHT[0]) * MAP_PX; }
double map_y(double z) { return (z - DEMO_MAP_UPPER_LEFT[1]) / (DEMO_MAP_LOWER_RIGHT[1] - DEMO_MAP_UPPER_LEFT[1]) * MAP_PX; }

void box(Canvas& c, double x0, double z0, double x1, double z1, Rgba fill, Rgba edge) {
  const int a = static_cast<int>(std::min(map_x(x0), map_x(x1))), b = static_cast<int>(std::min(map_y(z0), map_y(z1)));
  const int w = std::max(2, static_cast<int>(std::fabs(map_x(x1) - map_x(x0)))),
            h = std::max(2, static_cast<int>(std::fabs(map_y(z1) - map_y(z0))));
  c.fill(a, b, w, h, fill);
  c.frame(a, b, w, h, 1, edge);
}

void layer_bitmap() {
  Canvas c(MAP_PX, MAP_PX, {62, 92, 48});
  // Meadow patches, so that neighbouring cells look different.
  for (int j = 0; j < MAP_PX; j += 10)
    for (int i = 0; i < MAP_PX; i += 10)
      if ((i * 7 + j * 13) % 3 == 0) c.fill(i, j, 10, 10, {70, 104, 54});
  // The path from the start to the lookout and the tower.
  for (double t = 0; t <= 1.0; t += 0.01) {
    c.disc(map_x(-12 * t), map_y(-12 * t), 2.5, {150, 130, 90});
    c.disc(map_x(9 * t), map_y(9 * t), 2.5, {150, 130, 90});
  }
  box(c, -14, -14, -10, -10, {120, 120, 130}, {40, 40, 40});   // tower
  box(c, 6, 6, 12, 12, {130, 120, 100}, {40, 40, 40});         // lookout
  box(c, -8, -11, -7, -3, {90, 90, 90}, {30, 30, 30});         // the L wall
  box(c, -7, -4, -1, -3, {90, 90, 90}, {30, 30, 30});
  box(c, -4, 2, -2, 4, {140, 100, 60}, {60, 40, 20});          // crates
  box(c, 14, -10, 24, 0, {110, 110, 100}, {70, 70, 60});       // rock field
  c.disc(map_x(0.5), map_y(0.5), 4, {200, 80, 60});             // the camp
  c.frame(0, 0, MAP_PX, MAP_PX, 2, {30, 50, 25});
  save(c, "automap_forest.tga", false);
}

struct Set {
  int index;
  double s;
  const char* suffix;
  int S(double v) const { return static_cast<int>(std::lround(v * s)); }
};

void screen_art(const Set& set) {
  Canvas bg(set.S(320), set.S(420), {0, 0, 0});
  bg.gradient(0, 0, bg.w(), bg.h(), {46, 40, 34}, {20, 18, 16});
  bg.frame(0, 0, bg.w(), bg.h(), set.S(3), EDGE);
  bg.text(Serif, set.S(14), set.S(30), set.S(14), "Map", GOLD);
  const int ax = set.index ? 22 : 14, ay = set.index ? 125 : 78, aw = set.index ? 466 : 291, ah = set.index ? 426 : 266;
  bg.fill(ax, ay, aw, ah, {8, 8, 8});
  bg.frame(ax - 2, ay - 2, aw + 4, ah + 4, 2, EDGE);
  bg.text(Bold, set.S(9), set.S(160), set.S(358), "Layer", {180, 180, 180}, true);
  save(bg, std::string("Map-Bkgrnd") + set.suffix, false);
  for (int k = 0; k < 2; k++) {
    Canvas b(set.S(104), set.S(22), {40, 36, 30});
    const Rgba col = k ? PRESSED : LIT;
    b.frame(0, 0, b.w(), b.h(), 1, col);
    b.text(Bold, set.S(11), b.w() / 2, set.S(4), "Recenter", col, true);
    save(b, std::string(k ? "MapRecenterPress" : "MapRecenterHiLite") + set.suffix, false);
  }
  const int ls = set.index ? 16 : 10;
  Canvas label(ls, ls, CLEAR);
  for (int j = 0; j < ls; j++)
    for (int i = 0; i < ls; i++)
      if (std::fabs(i + 0.5 - ls / 2.0) + std::fabs(j + 0.5 - ls / 2.0) <= ls / 2.0)
        label.set(i, j, (std::fabs(i + 0.5 - ls / 2.0) + std::fabs(j + 0.5 - ls / 2.0) > ls / 2.0 - 1.5)
                            ? Rgba{40, 20, 0}
                            : Rgba{255, 200, 40});
  save(label, set.index ? "Map-Label1024.tga" : "Map-Label640.tga", true);
}

void markers() {
  Canvas here(12, 12, CLEAR);
  here.disc(6, 6, 5.5, {30, 10, 10});
  here.disc(6, 6, 4.0, {240, 60, 40});
  save(here, "You-R-Here.tga", true);
  // The camera's wedge points up: the screen turns it to the camera's heading.
  Canvas cam(16, 24, CLEAR);
  for (int j = 0; j < 24; j++)
    for (int i = 0; i < 16; i++)
      if (std::fabs(i + 0.5 - 8.0) < (24 - j) * 0.3) cam.set(i, j, {255, 255, 255, 96 + j * 4});
  save(cam, "hud-mapcamera.tga", true);
  // The reveal's stamp: opaque over the middle half, fading to nothing at
  // the rim, so that neighbouring stamps melt into one soft shape.
  Canvas mask(16, 16, CLEAR);
  for (int j = 0; j < 16; j++)
    for (int i = 0; i < 16; i++) {
      const double d = std::hypot(i + 0.5 - 8.0, j + 0.5 - 8.0) / 8.0;
      const double t = std::clamp((1.0 - d) / 0.5, 0.0, 1.0);
      const int a = static_cast<int>(std::lround(255.0 * t * t * (3.0 - 2.0 * t)));
      if (a > 0) mask.set(i, j, {255, 255, 255, a});
    }
  save(mask, "hud-mapmask01.tga", true);
}

void rollouts(const Set& set) {
  for (const char* name : {"Skills-Rollout", "Spells-Rollout"}) {
    Canvas bg(set.S(320), set.S(390), {0, 0, 0});
    bg.gradient(0, 0, bg.w(), bg.h(), {44, 38, 46}, {18, 16, 20});
    bg.frame(0, 0, bg.w(), bg.h(), set.S(3), EDGE);
    bg.text(Serif, set.S(13), set.S(20), set.S(14), name[1] == 'k' ? "Skills" : "Spells", GOLD);
    save(bg, std::string(name) + set.suffix, false);
  }
  const struct {
    const char* file;
    const char* hero;
  } heroes[] = {{"Spelllist-Ruvz", "Ruvizo"},        {"Spelllist-Zazr", "Zazuru"},
                {"Spelllist-Rivud", "Rivud"},         {"Spelllist-Rvda", "Rivadara"},
                {"Spelllist-Golem", "Golem"},         {"Spelllist-RedMin", "Red Minotaur"},
                {"Spelllist-BldeZhorek", "Blade of Zhorek"}, {"Spelllist-BlueImp", "Blue Imp"},
                {"Spelllist-BlkElem", "Blackfire Elemental"}, {"Spelllist-BldElem", "Blood Elemental"},
                {"Spelllist-PoisElem", "Poison Elemental"},   {"Spelllist-MstElem", "Mist Elemental"},
                {"Spelllist-Wraith", "Wraith"},       {"Spelllist-JdeGlm", "Jade Golem"},
                {"Spelllist-SpirLah", "Spirit of Laharah"},   {"Spelllist-CelSam", "Celestial Samurai"}};
  for (const auto& h : heroes) {
    Canvas c(set.S(220), set.S(26), CLEAR);
    c.text(Serif, set.S(14), c.w() / 2, set.S(4), h.hero, GOLD, true);
    save(c, std::string(h.file) + set.suffix, true);
  }
  const char* frames[] = {"Skilllist-Combat", "Skilllist-Stealth", "Skilllist-Creation",
                          "Skilllist-Exam",   "Skilllist-Weapons", "Skilllist-Spells"};
  for (const char* f : frames) {
    Canvas c(set.S(220), set.S(220), {12, 11, 14});
    c.frame(0, 0, c.w(), c.h(), 1, EDGE);
    save(c, std::string(f) + set.suffix, false);
  }
  const int a = set.S(18);
  for (int k = 0; k < 2; k++) {
    Canvas c(a * 2, a, {40, 36, 30});
    c.frame(0, 0, c.w(), c.h(), 1, k ? PRESSED : LIT);
    c.text(Bold, set.S(10), c.w() / 2, set.S(3), "<>", k ? PRESSED : LIT, true);
    save(c, std::string(k ? "Icon-ArrwBRTPress" : "Icon-ArrwBRTHilite") + set.suffix, false);
  }
}

// The category icons are one set, drawn unscaled.
void category_icons() {
  const struct {
    const char* name;
    const char* letter;
  } icons[] = {{"Skillicon-Combat", "C"}, {"Skillicon-Stealth", "S"}, {"Skillicon-Creation", "M"},
               {"Skillicon-Exam", "E"},   {"Skillicon-Weapons", "W"}, {"Skillicon-Spells", "P"},
               {"Spellicon-Heal", "H"},   {"Spellicon-Dark", "D"},    {"Spellicon-Energy", "E"},
               {"Spellicon-Holy", "O"},   {"Spellicon-Fire", "F"},    {"Spellicon-Ice", "I"}};
  const Rgba edge[3] = {EDGE, LIT, PRESSED};
  for (const auto& ic : icons)
    for (int k = 0; k < 3; k++) {
      Canvas c(36, 36, {50, 44, 36});
      c.frame(0, 0, 36, 36, 2, edge[k]);
      c.text(Bold, 16, 18, 7, ic.letter, k ? LIT : TEXT, true);
      save(c, std::string(ic.name) + "ABC"[k] + ".tga", false);
    }
}

bool tables(const std::string& root) {
  const std::string levels = root + "/data/tables/levels/";
  const std::string tables = root + "/data/tables/";
  std::error_code ec;
  std::filesystem::create_directories(levels, ec);
  const std::string data = level_data_with_automap(level_data_text({}, {}, {}), {{1, 1, "automap_forest.tga"}});
  const std::string labels = automap_labels_text(
      {{"rand-forest01", {{"Camp", "Permanent", 2.0f, 2.0f, 0}, {"Old Tower", "Permanent", -12.0f, -12.0f, 0}}}});
  if (!table_write_file(levels + "demo_rand-forest01.tbl", data) ||
      !table_write_file(tables + "automap_labels.tbl", labels)) {
    std::fprintf(stderr, "make_demo: cannot write the automap tables\n");
    return false;
  }
  return true;
}

bool demo_build_map_and_skills(const std::string& root) {
  if (!tables(root)) return false;
  Dir = root + "/data/interface/pc";
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  FT_Library lib;
  if (!open_faces(&lib, &Bold, &Serif)) return false;
  Ok = true;
  layer_bitmap();
  markers();
  category_icons();
  for (const Set& set : {Set{0, 1.0, "640.tga"}, Set{1, 1.6, "1024.tga"}}) {
    screen_art(set);
    rollouts(set);
  }
  FT_Done_FreeType(lib);
  return Ok;
}

}  // namespace

DEMO_STEP(demo_build_map_and_skills, DEMO_ORDER_IMAGES + 45);

// Demo step: the art of the skills and spells roll-outs in both sets: the
// roll-out panels, a background naming each base hero, the six category
// icons of each screen (plain, lit and chosen), the list frames and the
// flip arrow.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_canvas.h"
#include "tools/make_demo/demo_steps.h"

namespace {
using namespace demo_art;

FT_Face Bold = nullptr, Serif = nullptr;
std::string Dir;
bool Ok = true;
constexpr Rgba EDGE{110, 100, 80}, GOLD{230, 200, 120};

void save(const Canvas& c, const std::string& name, bool alpha) {
  if (!c.write(Dir + "/" + name, alpha)) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", name.c_str());
    Ok = false;
  }
}

struct Set {
  int index;
  double s;
  const char* suffix;
  int S(double v) const { return static_cast<int>(std::lround(v * s)); }
};

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
  } heroes[] = {{"Spelllist-Ruvz", "Ruvizo"}, {"Spelllist-Zazr", "Zazuru"}, {"Spelllist-Rivud", "Rivud"},
                {"Spelllist-Rvda", "Rivadara"}};
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

bool demo_build_skill_screens(const std::string& root) {
  Dir = root + "/data/interface/pc";
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  FT_Library lib;
  if (!open_faces(&lib, &Bold, &Serif)) return false;
  Ok = true;
  category_icons();
  for (const Set& set : {Set{0, 1.0, "640.tga"}, Set{1, 1.6, "1024.tga"}}) rollouts(set);
  FT_Done_FreeType(lib);
  return Ok;
}

}  // namespace

DEMO_STEP(demo_build_skill_screens, DEMO_ORDER_IMAGES + 46);

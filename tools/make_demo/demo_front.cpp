// Demo step: the front end's art, drawn from shapes and DejaVu text with
// FreeType: the title's main menu and end splash, the game menu, the message
// popup, the loading box, the HUD bar with its buttons and icons, and the
// heroes' portraits, in the "640" set (also drawn 1.25 times larger at
// 800x600) and the "1024" set. Also the level a new game starts in.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_canvas.h"
#include "tools/make_demo/demo_steps.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/image_writers.h"

namespace {
using namespace demo_art;

FT_Face Face_bold = nullptr, Face_serif = nullptr;
std::string Dir;
bool Ok = true;
void save(const Canvas& c, const std::string& name, bool alpha) {
  if (!c.write(Dir + "/" + name, alpha)) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", name.c_str());
    Ok = false;
  }
}

// ---- main menu and end splash -----------------------------------------------------
struct MenuItem {
  const char* base;  // row name less "HiLite"/"Press"
  const char* label;
  int x, y, w;
};
// Places of the items (the same pixels in both sets); each image is 40 high.
const MenuItem MENU_ITEMS[] = {{"DemoMainMenuStart", "Start", 371, 211, 200},
                               {"DemoMainMenuCont", "Continue", 371, 264, 200},
                               {"DemoMainMenuOption", "Options", 421, 317, 150},
                               {"DemoMainMenuQuit", "Quit", 441, 370, 130}};
constexpr int MENU_ITEM_H = 40;

void item_face(Canvas& c, int x, int y, const MenuItem& m, Rgba text, Rgba edge) {
  c.frame(x, y, m.w, MENU_ITEM_H, 2, edge);
  c.text(Face_serif, 22, x + m.w / 2, y + 7, m.label, text, true);
}

void main_menu(bool big) {
  const int w = big ? 1024 : 640, h = big ? 768 : 480;
  Canvas bg(w, h, {0, 0, 0});
  bg.gradient(0, 0, w, h, {24, 30, 58}, {58, 34, 22});
  bg.text(Face_serif, big ? 64 : 44, big ? 80 : 48, big ? 90 : 60, "Orrimund", {230, 200, 120});
  bg.text(Face_bold, 14, big ? 84 : 52, big ? 170 : 116, "a demo world", {150, 150, 170});
  for (const MenuItem& m : MENU_ITEMS) item_face(bg, m.x, m.y, m, TEXT, {90, 90, 110});
  save(bg, std::string("DemoMainMenu") + (big ? "1024.tga" : "640.tga"), false);
  for (const MenuItem& m : MENU_ITEMS) {
    Canvas lit(m.w, MENU_ITEM_H, {40, 40, 70});
    item_face(lit, 0, 0, m, LIT, LIT);
    save(lit, std::string(m.base) + "HiLite" + (big ? "1024.tga" : "640.tga"), false);
    Canvas press(m.w, MENU_ITEM_H, {70, 50, 20});
    item_face(press, 0, 0, m, PRESSED, PRESSED);
    save(press, std::string(m.base) + "Press" + (big ? "1024.tga" : "640.tga"), false);
  }
}

void end_splash() {
  Canvas c(640, 480, {0, 0, 0});
  c.gradient(0, 0, 640, 480, {10, 10, 30}, {30, 10, 10});
  c.text(Face_serif, 40, 320, 180, "Thank you for playing", {230, 200, 120}, true);
  c.text(Face_bold, 16, 320, 250, "Orrimund", {180, 180, 180}, true);
  save(c, "DemoEndSplash.tga", false);
}

// ---- game menu, popup, loading box --------------------------------------------------
struct GameMenuItem {
  const char* name;
  const char* label;
  int x[2], y[2];  // 640 set, 1024 set
};
const GameMenuItem GAME_ITEMS[] = {{"MenuPopup-Game", "Game", {280, 444}, {212, 342}},
                                   {"MenuPopup-New", "New", {296, 473}, {227, 366}},
                                   {"MenuPopup-Save", "Save", {296, 473}, {239, 387}},
                                   {"MenuPopup-Load", "Load", {296, 473}, {252, 405}},
                                   {"MenuPopup-Options", "Options", {280, 444}, {269, 429}},
                                   {"MenuPopup-Quit", "Quit", {280, 444}, {289, 464}}};
constexpr int GM_X[2] = {240, 384}, GM_Y[2] = {136, 218}, CROSS_X[2] = {352, 573}, CROSS_Y[2] = {204, 327};

void game_menu(int set) {
  const double s = set ? 1.6 : 1.0;
  const char* suffix = set ? "1024.tga" : "640.tga";
  const int size = set ? 16 : 11;
  const int w = static_cast<int>(160 * s), h = static_cast<int>(190 * s);
  Canvas bg(w, h, {0, 0, 0});
  bg.gradient(0, 0, w, h, {44, 40, 56}, {22, 20, 30});
  bg.frame(0, 0, w, h, 2, {110, 110, 110});
  bg.text(Face_serif, set ? 24 : 15, w / 2, static_cast<int>(12 * s), "Menu", {230, 200, 120}, true);
  for (const GameMenuItem& it : GAME_ITEMS)
    bg.text(Face_bold, size, it.x[set] - GM_X[set], it.y[set] - GM_Y[set], it.label, TEXT);
  const int cs = static_cast<int>(14 * s);
  auto cross = [&](Canvas& c, int x, int y, Rgba col) {
    for (int i = 2; i < cs - 2; i++) {
      c.fill(x + i, y + i, 2, 2, col);
      c.fill(x + cs - 2 - i, y + i, 2, 2, col);
    }
  };
  cross(bg, CROSS_X[set] - GM_X[set], CROSS_Y[set] - GM_Y[set], TEXT);
  save(bg, std::string("MenuPopup-bkg") + suffix, false);
  for (const GameMenuItem& it : GAME_ITEMS) {
    const int tw = Canvas::text_width(Face_bold, size, it.label) + 2;
    Canvas lit(tw, size + size / 2 + 2, CLEAR);
    lit.text(Face_bold, size, 0, 0, it.label, LIT);
    save(lit, std::string(it.name) + suffix, true);
  }
  Canvas hi(cs, cs, CLEAR);
  cross(hi, 0, 0, LIT);
  save(hi, std::string("crossbox-hilite2") + suffix, true);
  Canvas pr(cs, cs, CLEAR);
  cross(pr, 0, 0, PRESSED);
  save(pr, std::string("crossbox2") + suffix, true);
}

void popup_and_loading() {
  for (int set = 0; set < 2; set++) {
    const double s = set ? 1.6 : 1.0;
    const int pw = set ? 469 : 293, ph = set ? 264 : 165;
    Canvas pop(pw, ph, {0, 0, 0});
    pop.gradient(0, 0, pw, ph, {40, 36, 52}, {16, 14, 22});
    pop.frame(0, 0, pw, ph, 2, {110, 110, 110});
    pop.fill(static_cast<int>(6 * s), static_cast<int>(30 * s), pw - static_cast<int>(12 * s), 1, {90, 90, 110});
    save(pop, set ? "MessagePopupBckgrnd21024.tga" : "MessagePopupBkgrnd2640.tga", false);
    // The bar sits 15 and 58 (640 set) inside the box.
    const int bw = set ? 560 : 350, bh = set ? 160 : 100;
    Canvas box(bw, bh, {0, 0, 0});
    box.gradient(0, 0, bw, bh, {40, 36, 52}, {16, 14, 22});
    box.frame(0, 0, bw, bh, 2, {110, 110, 110});
    box.text(Face_serif, set ? 28 : 18, bw / 2, static_cast<int>(12 * s), "Loading...", {230, 200, 120}, true);
    const int bx = set ? 256 - 232 : 15, by = set ? 397 - 304 : 58, bar_w = set ? 512 : 320, bar_h = set ? 45 : 28;
    box.fill(bx, by, bar_w, bar_h, {20, 20, 20});
    box.frame(bx - 1, by - 1, bar_w + 2, bar_h + 2, 1, {110, 110, 110});
    save(box, set ? "LoadingPopup1024.tga" : "LoadingPopup640.tga", false);
  }
}

// ---- HUD ---------------------------------------------------------------------------------
void hud(int set) {
  const double s = set ? 1.6 : 1.0;
  const char* suffix = set ? "1024.tga" : "640.tga";
  auto S = [s](int v) { return static_cast<int>(std::lround(v * s)); };
  Canvas bar(S(640), S(64), {0, 0, 0});
  bar.gradient(0, 0, bar.w(), bar.h(), {70, 62, 50}, {34, 30, 24});
  bar.fill(0, 0, bar.w(), S(2), {140, 120, 80});
  const char* labels[] = {"Menu", "Map", "Solo"};
  for (int i = 0; i < 3; i++) {
    bar.frame(S(8), S(3 + 20 * i), S(36), S(18), 1, {110, 100, 80});
    bar.text(Face_bold, S(10), S(8 + 18), S(3 + 20 * i + 2), labels[i], TEXT, true);
  }
  save(bar, std::string("Main-HUD-MPH") + suffix, false);
  const int fs = S(48);
  Canvas frame(fs, fs, CLEAR);
  frame.frame(0, 0, fs, fs, S(3), {100, 90, 70});
  frame.fill(S(3), S(45), fs - S(6), S(3), {20, 20, 20});
  save(frame, std::string("Main-HUD-PortraitBkg") + suffix, true);
  Canvas sel(fs, fs, CLEAR);
  sel.frame(0, 0, fs, fs, S(3), {230, 190, 60});
  save(sel, std::string("Main-HUD-PortSelected") + suffix, true);
  Canvas hil(fs, fs, CLEAR);
  hil.frame(S(1), S(1), fs - S(2), fs - S(2), S(2), LIT);
  save(hil, std::string("Main-HUD-PortHiLite") + suffix, true);
  Canvas prs(fs, fs, CLEAR);
  prs.frame(S(1), S(1), fs - S(2), fs - S(2), S(2), PRESSED);
  save(prs, std::string("Main-HUD-PortPress") + suffix, true);
  Canvas lvl(S(12), S(12), CLEAR);
  lvl.disc(S(6), S(6), S(5), {80, 220, 80});
  lvl.text(Face_bold, S(10), S(6), 0, "+", {0, 0, 0}, true);
  save(lvl, std::string("Main-HUD-levelupicon") + suffix, true);
  const Rgba pause_cols[] = {{150, 150, 150}, LIT, PRESSED};
  const char* pause_names[] = {"Main-HUD-PauseA", "Main-HUD-PauseHiLite", "Main-HUD-PausePress"};
  for (int i = 0; i < 3; i++) {
    Canvas p(S(24), S(24), CLEAR);
    p.frame(0, 0, S(24), S(24), 1, pause_cols[i]);
    p.fill(S(7), S(5), S(3), S(14), pause_cols[i]);
    p.fill(S(14), S(5), S(3), S(14), pause_cols[i]);
    save(p, pause_names[i] + std::string(suffix), true);
  }
  for (int i = 0; i < 2; i++) {
    Canvas b(S(36), S(18), CLEAR);
    b.frame(0, 0, S(36), S(18), 1, i ? PRESSED : LIT);
    b.text(Face_bold, S(10), S(18), S(2), "", LIT, true);
    save(b, std::string(i ? "Main-HUD-BttnPress" : "Main-HUD-BttnHiLite") + suffix, true);
  }
  // At 1024x768 the area runs from (881, 674) to the screen's corner.
  Canvas hot(set ? 143 : 120, set ? 94 : 80, CLEAR);
  hot.fill(0, 0, hot.w(), hot.h(), {20, 18, 14, 200});
  hot.frame(0, 0, hot.w(), hot.h(), 1, {110, 100, 80});
  // The six slots by this set's geometry, relative to the area's corner.
  const int step = set ? 43 : 40, size = set ? 51 : 32, ox = set ? 6 : 4, oy = set ? 6 : 4;
  for (int i = 0; i < 6; i++) hot.frame(ox + (i % 3) * step, oy + (i / 3) * step, size, size, 1, {80, 72, 58});
  save(hot, std::string("Main-HUD-HotBtnBkg") + suffix, true);
}

// The icons are one set, drawn unscaled at every resolution.
void hud_icons() {
  struct Icon {
    const char* names[3];  // normal, hover, pressed
    const char* glyph;
  };
  const Icon icons[] = {{{"HUD-NonCmbtIconA", "HUD-NonCmbtIconB", "HUD-NonCmbtIconC"}, "P"},
                        {{"HUD-CmbtIconA", "HUD-CmbtIconB", "HUD-CmbtIconC"}, "X"},
                        {{"HUD-CharIconA", "HUD-CharIconB", "HUD-CharIconC"}, "R"},
                        {{"Skillicon-Spells2C", "Skillicon-Spells2A", "Skillicon-Spells2B"}, "C"},
                        {{"HUD-JrnIconA", "HUD-JrnIconB", "HUD-JrnIconC"}, "Q"},
                        {{"HUD-InvIconA", "HUD-InvIconB", "HUD-InvIconC"}, "I"},
                        {{"Skillicon-SkillsC", "Skillicon-SkillsA", "Skillicon-SkillsB"}, "S"}};
  const Rgba edge[] = {{110, 100, 80}, LIT, PRESSED};
  const Rgba fill[] = {{50, 44, 36}, {80, 70, 40}, {60, 40, 20}};
  for (const Icon& ic : icons)
    for (int k = 0; k < 3; k++) {
      Canvas c(28, 28, CLEAR);
      c.fill(0, 0, 28, 28, fill[k]);
      c.frame(0, 0, 28, 28, 2, edge[k]);
      c.text(Face_bold, 15, 14, 5, ic.glyph, k ? LIT : TEXT, true);
      save(c, std::string(ic.names[k]) + ".tga", false);
    }
}

// Heroes 1-4: a face of the hero's colour with the hero's initial.
void portraits() {
  const struct {
    const char* initial;
    Rgba colour;
  } heroes[] = {{"R", {170, 60, 50}}, {"Z", {60, 130, 170}}, {"V", {70, 150, 70}}, {"D", {150, 90, 170}}};
  for (int set = 0; set < 2; set++) {
    const int size = set ? 67 : 42;
    for (int i = 0; i < 4; i++) {
      Canvas c(size, size, {0, 0, 0});
      c.gradient(0, 0, size, size, heroes[i].colour, {20, 20, 20});
      c.disc(size / 2.0, size * 0.42, size * 0.28, {220, 190, 160});
      c.text(Face_bold, size / 3, size / 2, size * 58 / 100, heroes[i].initial, {20, 20, 20}, true);
      char name[64];
      std::snprintf(name, sizeof name, "hud-charportrait%02d-%s", i + 1, set ? "1024.tga" : "640.tga");
      save(c, name, false);
    }
  }
}

bool demo_build_front(const std::string& root) {
  Dir = root + "/data/interface/pc";
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  FT_Library lib;
  if (!open_faces(&lib, &Face_bold, &Face_serif)) return false;
  Ok = true;
  main_menu(false);
  main_menu(true);
  end_splash();
  game_menu(0);
  game_menu(1);
  popup_and_loading();
  hud(0);
  hud(1);
  hud_icons();
  portraits();
  // The selection rings under the controlled hero, for small and large heroes.
  for (int size : {32, 64}) {
    Canvas ring(size, size, CLEAR);
    for (int y = 0; y < size; y++)
      for (int x = 0; x < size; x++) {
        const double d = std::hypot(x + 0.5 - size / 2.0, y + 0.5 - size / 2.0);
        if (std::fabs(d - size * 0.42) < size * 0.05) ring.set(x, y, {120, 230, 120});
      }
    save(ring, size == 32 ? "cursorspot-focus.tga" : "cursorspot-focus-large.tga", true);
  }
  FT_Done_FreeType(lib);
  // The level a new game starts in: the outdoor layout under its own name,
  // with a locked pen.
  const std::string levels = root + "/data/models/levels";
  std::filesystem::create_directories(levels, ec);
  LevelBuilder forest;
  demo_level_outdoor(forest);
  demo_forest_pen(forest);
  // Where the level items of the new game's first level lie, in a chest a
  // few steps behind the party's start.
  forest.add_node(DEMO_CAMP_CHEST, vector{DEMO_CAMP_CHEST_AT[0], 0.5f, DEMO_CAMP_CHEST_AT[1]});
  if (!forest.write_file(levels + "/rand-forest01.s3d")) {
    std::fprintf(stderr, "make_demo: cannot write rand-forest01.s3d\n");
    return false;
  }
  return Ok;
}

}  // namespace

DEMO_STEP(demo_build_front, DEMO_ORDER_IMAGES + 30);

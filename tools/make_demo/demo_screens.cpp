// Demo step: the art of the item and save screens, in the "640" set (drawn
// 1.25 times larger at 800x600) and the "1024" set: the inventory with its
// slot windows, category icons and member names, the item info popup, the
// save and load screen, the arrows and close buttons they share and the
// scroll bar thumb. Each picture is laid out to the places the screens' rows
// give, so that a lit window or button falls on its frame.
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
constexpr Rgba EDGE{110, 100, 80}, DIM{70, 64, 52}, GOLD{230, 200, 120};

void save(const Canvas& c, const std::string& name, bool alpha) {
  if (!c.write(Dir + "/" + name, alpha)) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", name.c_str());
    Ok = false;
  }
}

struct Set {
  int index;  // 0 the 640 set, 1 the 1024 set
  double s;
  const char* suffix;
  int S(double v) const { return static_cast<int>(std::lround(v * s)); }
};

Canvas backdrop(const Set& set, const char* title, int title_x) {
  Canvas bg(set.S(640), set.S(480), {0, 0, 0});
  bg.gradient(0, 0, bg.w(), bg.h(), {46, 40, 34}, {20, 18, 16});
  bg.frame(0, 0, bg.w(), bg.h(), set.S(3), EDGE);
  bg.text(Serif, set.S(18), set.S(title_x), set.S(20), title, GOLD, true);
  return bg;
}

// A window's frame: dim on the backdrop, lit as the row's own picture.
void window_frame(Canvas& c, int x, int y, int w, int h, Rgba edge, int t) {
  c.frame(x, y, w, h, t, edge);
}

// Pictures of a word alone on a clear ground: titles in the serif face and
// gold, labels in the bold face and grey.
struct Label {
  const char* name;
  const char* text;
  int w, h, size;
  bool serif;
};
template <size_t N>
void labels(const Set& set, const Label (&list)[N]) {
  for (const Label& l : list) {
    Canvas c(set.S(l.w), set.S(l.h), CLEAR);
    c.text(l.serif ? Serif : Bold, set.S(l.size), c.w() / 2, set.S(l.h - l.size * 1.35) / 2, l.text,
           l.serif ? GOLD : TEXT, true);
    save(c, std::string(l.name) + set.suffix, true);
  }
}

// A row of five category icons, each plain, lit and pressed, lettered.
void category_icons(const Set& set, const char* const (&names)[5], const char* const (&states)[3]) {
  const char* const letters[5] = {"W", "A", "M", "J", "?"};
  const Rgba edge[3] = {EDGE, LIT, PRESSED};
  const int cs = set.S(36);
  for (int c = 0; c < 5; c++)
    for (int st = 0; st < 3; st++) {
      Canvas ic(cs, cs, {50, 44, 36});
      ic.frame(0, 0, cs, cs, set.S(2), edge[st]);
      ic.text(Bold, set.S(16), cs / 2, set.S(7), letters[c], st ? LIT : TEXT, true);
      save(ic, std::string(names[c]) + states[st] + set.suffix, false);
    }
}

// ---- arrows, close buttons, the thumb -------------------------------------------------------
void arrow(Canvas& c, int size, char dir, Rgba col) {
  const double m = size / 2.0;
  for (int j = 0; j < size; j++)
    for (int i = 0; i < size; i++) {
      const double u = i + 0.5 - m, v = j + 0.5 - m;  // a triangle pointing along dir
      double along = 0, across = 0;
      switch (dir) {
        case 'L': along = -u, across = v; break;
        case 'R': along = u, across = v; break;
        case 'U': along = -v, across = u; break;
        default: along = v, across = u; break;
      }
      if (along < m * 0.6 && std::fabs(across) < (m * 0.6 - along) * 0.8) c.put(i, j, col);
    }
}

void shared_icons(const Set& set) {
  const int a = set.S(18);
  const struct {
    const char* name;
    char dir;
  } arrows[] = {{"Icon-ArrwLF", 'L'}, {"Icon-ArrwRT", 'R'}, {"Icon-ArrwUP", 'U'}, {"Icon-ArrwDN", 'D'}};
  for (const auto& ar : arrows) {
    for (int k = 0; k < 2; k++) {
      Canvas c(a, a, {40, 36, 30, 255});
      c.frame(0, 0, a, a, 1, k ? PRESSED : LIT);
      arrow(c, a, ar.dir, k ? PRESSED : LIT);
      save(c, std::string(ar.name) + (k ? "Press" : "Hilite") + set.suffix, false);
    }
  }
  const int x = set.S(22);
  const struct {
    const char* base;
    Rgba fill;
  } closes[] = {{"Icon-Close", {60, 30, 30}}, {"Icon-GrnClse", {30, 60, 30}}};
  for (const auto& cl : closes)
    for (int k = 0; k < 2; k++) {
      Canvas c(x, x, cl.fill);
      const Rgba col = k ? PRESSED : LIT;
      c.frame(0, 0, x, x, 1, col);
      for (int i = set.S(5); i < x - set.S(5); i++) {
        c.fill(i, i, 2, 2, col);
        c.fill(x - 1 - i, i, 2, 2, col);
      }
      save(c, std::string(cl.base) + (k ? "Press" : "Hilite") + set.suffix, false);
    }
  Canvas thumb(set.S(12), set.S(16), {150, 135, 100});
  thumb.frame(0, 0, thumb.w(), thumb.h(), 1, {200, 180, 130});
  save(thumb, std::string("ScrollBarMid") + set.suffix, false);
}

// ---- the inventory --------------------------------------------------------------------------
struct Window {
  const char* name;
  int x, y, w, h;  // 640 set
};
constexpr Window WINDOWS[] = {
    {"Wndw-ArmrHilite", 23, 88, 100, 100},  {"Wndw-PntsHilite", 23, 193, 100, 100},
    {"Wndw-BtsHilite", 23, 298, 100, 66},   {"Wndw-Rng1Hilite", 23, 369, 36, 36},
    {"Wndw-Rng2Hilite", 63, 369, 36, 36},   {"Wndw-NckHilite", 191, 88, 56, 56},
    {"Wndw-WpnHilite", 253, 88, 60, 136},   {"Wndw-ShldHilite", 253, 230, 60, 100},
    {"Wndw-GntHilite", 253, 336, 60, 56},   {"Wndw-HvyArmrHilite", 18, 83, 110, 210}};
// Where the 1024 set puts the same windows.
constexpr int WINDOWS_1024[][2] = {{37, 141}, {37, 310}, {37, 478}, {37, 591}, {101, 591},
                                   {305, 141}, {405, 142}, {405, 369}, {405, 539}, {15, 136}};

void inventory(const Set& set) {
  const int k = set.index;
  Canvas bg = backdrop(set, "Inventory", 170);
  const int list_x = k ? 547 : 342, list_y = k ? 136 : 85, list_w = k ? 413 : 258, list_h = set.S(250);
  bg.fill(list_x - 3, list_y - 3, list_w + 6, list_h + 6, {14, 12, 10});
  bg.frame(list_x - 3, list_y - 3, list_w + 6, list_h + 6, 1, EDGE);
  bg.text(Bold, set.S(10), list_x, list_y - set.S(16), "Party items", TEXT);
  // The scroll track.
  const int bar_x = k ? 979 : 612, track = k ? 197 : 123, len = k ? 293 : 183;
  bg.fill(bar_x, track, set.S(12), len, {30, 26, 22});
  for (int i = 0; i < 10; i++) {
    const Window& w = WINDOWS[i];
    const int x = k ? WINDOWS_1024[i][0] : w.x, y = k ? WINDOWS_1024[i][1] : w.y;
    if (i == 9) continue;  // the heavy-armour frame has its own row
    bg.fill(x, y, set.S(w.w), set.S(w.h), {24, 22, 18});
    window_frame(bg, x, y, set.S(w.w), set.S(w.h), DIM, set.S(2));
  }
  bg.text(Bold, set.S(9), set.S(40), set.S(46), "< Member >", TEXT);
  save(bg, std::string("Inv-Bkgrnd") + set.suffix, false);
  for (int i = 0; i < 10; i++) {
    const Window& w = WINDOWS[i];
    Canvas lit(set.S(w.w), set.S(w.h), CLEAR);
    window_frame(lit, 0, 0, lit.w(), lit.h(), LIT, set.S(2));
    save(lit, std::string(w.name) + set.suffix, true);
  }
  Canvas heavy(set.S(110), set.S(210), {24, 22, 18});
  window_frame(heavy, 0, 0, heavy.w(), heavy.h(), DIM, set.S(3));
  save(heavy, std::string("Wndw-HvyArmr") + set.suffix, false);
  for (const char* hero : {"Ruvizo", "Zazuru", "Rivud", "Rivadara"}) {
    Canvas name(set.S(170), set.S(22), CLEAR);
    name.text(Serif, set.S(15), name.w() / 2, 0, hero, GOLD, true);
    save(name, std::string("Inv-Name-") + hero + set.suffix, true);
  }
  const char* const names[5] = {"Icon-Wpn", "Icon-Armr", "Icon-Mgk", "Icon-Jwlry", "Icon-Misc"};
  const char* const states[3] = {"Active", "Hilite", "Press"};
  category_icons(set, names, states);
}

// ---- the item info popup ----------------------------------------------------------------------
void item_info(const Set& set) {
  Canvas c(set.S(530), set.S(335), {0, 0, 0});
  c.gradient(0, 0, c.w(), c.h(), {44, 40, 56}, {20, 18, 26});
  c.frame(0, 0, c.w(), c.h(), set.S(2), EDGE);
  // The model's corner on the right, the text window on the left.
  c.frame(set.S(350), set.S(60), set.S(160), set.S(200), 1, DIM);
  c.fill(set.S(338), set.S(171), set.S(12), set.S(116), {30, 26, 22});
  save(c, std::string("ItemInfoPopupbkgrnd") + set.suffix, false);
}

// ---- the save and load screen ----------------------------------------------------------------
void save_load(const Set& set) {
  const int k = set.index;
  Canvas bg = backdrop(set, "", 320);
  auto at = [&](int x640, int x1024) { return k ? x1024 : x640; };
  // The list, the scroll track, the thumbnail's frame.
  const int lx = at(27, 43), ly = at(103, 165), lw = at(300, 480), lh = set.S(9 * 14);
  bg.fill(lx - 3, ly - 3, lw + 6, lh + 6, {14, 12, 10});
  bg.frame(lx - 3, ly - 3, lw + 6, lh + 6, 1, EDGE);
  bg.fill(at(344, 552), at(140, 224), set.S(12), at(62, 99), {30, 26, 22});
  const int tx = at(385, 616), ty = at(64, 102), tw = k ? 322 : 201, th = k ? 242 : 151;
  bg.frame(tx - 2, ty - 2, tw + 4, th + 4, 2, EDGE);
  // Labels of the buttons whose pictures are only lit frames.
  bg.text(Bold, set.S(11), at(485, 777) + set.S(45), at(229, 366) + set.S(7), "Cancel", TEXT, true);
  bg.text(Bold, set.S(11), at(52, 83) + set.S(45), at(420, 672) + set.S(7), "Delete", TEXT, true);
  bg.frame(at(485, 777), at(229, 366), set.S(90), set.S(28), 1, DIM);
  bg.frame(at(52, 83), at(420, 672), set.S(90), set.S(28), 1, DIM);
  bg.frame(at(389, 623), at(229, 366), set.S(90), set.S(28), 1, DIM);
  bg.text(Bold, set.S(10), at(201, 322), at(296, 478), "Description", TEXT);
  save(bg, std::string("SaveLoad-Bkgrnd") + set.suffix, false);
  const Label words[] = {{"SaveLoad-SG", "Save Game", 250, 36, 22, true},    {"SaveLoad-LG", "Load Game", 250, 36, 22, true},
                         {"SaveLoad-SF", "Saved games", 200, 20, 11, false}, {"SaveLoad-LF", "Saved games", 200, 20, 11, false},
                         {"SaveLoad-Save", "Save", 90, 28, 13, false},       {"SaveLoad-Load", "Load", 90, 28, 13, false}};
  labels(set, words);
  for (int p = 0; p < 2; p++) {
    const Rgba col = p ? PRESSED : LIT;
    Canvas f(set.S(90), set.S(28), CLEAR);
    f.frame(0, 0, f.w(), f.h(), set.S(2), col);
    save(f, std::string(p ? "SaveLoad-SL-Press" : "SaveLoad-SL-HiLite") + set.suffix, true);
    save(f, std::string(p ? "CharCreateCancelPress" : "CharCreateCancelHiLite") + set.suffix, true);
  }
}

// ---- the options screen -------------------------------------------------------------------
// Each option's label and the labels over its boxes, at the 640 places.
struct OptionLabel {
  const char* text;
  int x, y;
};
constexpr OptionLabel OPTION_LABELS[] = {
    {"Music volume", 59, 72},   {"Sound volume", 59, 119},  {"Option", 30, 208},        {"On", 98, 192},
    {"Off", 160, 192},          {"Solo switch", 30, 287},   {"On", 167, 271},           {"Off", 229, 271},
    {"Reverse mouse", 30, 331}, {"Dialogue camera", 30, 376}, {"Low", 190, 376},        {"Mid", 280, 376},
    {"High", 280, 396},         {"Combat display", 30, 437}, {"On", 175, 437},          {"Off", 274, 437},
    {"Level detail", 360, 115}, {"Low", 447, 135},          {"Mid", 447, 154},          {"High", 447, 173},
    {"Lights", 520, 115},       {"Low", 593, 135},          {"Mid", 593, 154},          {"High", 593, 173},
    {"Detail", 360, 219},       {"Low", 461, 219},          {"High", 561, 219},         {"Render switch", 440, 264},
    {"Second switch", 440, 283}, {"Textures", 330, 328},     {"Low", 435, 328},         {"Mid", 515, 328},
    {"High", 598, 328},         {"Scene", 330, 377},        {"Low", 435, 377},          {"Mid", 515, 377},
    {"High", 598, 377},         {"Extra", 380, 426},        {"On", 477, 426},           {"Off", 538, 426}};

void options_screen(const Set& set) {
  Canvas bg = backdrop(set, "Options", 320);
  for (const OptionLabel& l : OPTION_LABELS) bg.text(Bold, set.S(9), set.S(l.x), set.S(l.y), l.text, TEXT);
  save(bg, std::string("Options-Bkgrnd") + set.suffix, false);
  const int b = set.S(14);
  Canvas box(b, b, CLEAR);
  box.fill(set.S(3), set.S(3), b - 2 * set.S(3), b - 2 * set.S(3), LIT);
  box.frame(0, 0, b, b, 1, EDGE);
  save(box, std::string("checkbox") + set.suffix, true);
  Canvas lit(b, b, CLEAR);
  lit.frame(0, 0, b, b, set.S(2), LIT);
  save(lit, std::string("checkbox-hilite") + set.suffix, true);
  Canvas bar(set.S(200), set.S(14), {20, 18, 14});
  bar.frame(0, 0, bar.w(), bar.h(), 1, EDGE);
  save(bar, std::string("Meter-Drag-Bar") + set.suffix, false);
  const int c = set.S(22);
  for (int k = 0; k < 2; k++) {
    Canvas tick(c, c, {30, 60, 30});
    const Rgba col = k ? PRESSED : LIT;
    tick.frame(0, 0, c, c, 1, col);
    for (int i = 0; i < c / 3; i++) tick.fill(set.S(4) + i, c / 2 + i - set.S(2), 2, 2, col);
    for (int i = 0; i < c / 2; i++) tick.fill(set.S(4) + c / 3 + i, c / 2 + c / 3 - i - set.S(2), 2, 2, col);
    save(tick, std::string(k ? "Icon-CheckPress" : "Icon-CheckHilite") + set.suffix, false);
  }
}

// ---- the container panel -------------------------------------------------------------------
void container_panel(const Set& set) {
  Canvas panel(set.S(290), set.S(215), {0, 0, 0});
  panel.gradient(0, 0, panel.w(), panel.h(), {44, 40, 34}, {22, 20, 16});
  panel.frame(0, 0, panel.w(), panel.h(), set.S(2), EDGE);
  panel.text(Serif, set.S(15), panel.w() / 2, set.S(18), "Take items", GOLD, true);
  save(panel, std::string("Pickup") + set.suffix, false);
  const int b = set.S(14);
  for (int k = 0; k < 2; k++) {
    Canvas cross(b, b, CLEAR);
    const Rgba col = k ? LIT : EDGE;
    cross.frame(0, 0, b, b, k ? set.S(2) : 1, col);
    for (int i = set.S(3); i < b - set.S(3); i++) {
      cross.put(i, i, {200, 90, 90});
      cross.put(b - 1 - i, i, {200, 90, 90});
    }
    save(cross, std::string(k ? "crossbox-hilite" : "crossbox") + set.suffix, true);
  }
}

// ---- the quest journal ----------------------------------------------------------------------
void journal(const Set& set) {
  const int k = set.index;
  Canvas bg = backdrop(set, "Quest Journal", 200);
  auto at = [&](int x640, int x1024) { return k ? x1024 : x640; };
  const int ly = at(100, 160), lh = set.S(10 * 14);
  for (int l = 0; l < 2; l++) {
    const int lx = l ? at(354, 567) : at(30, 48), lw = set.S(254);
    bg.fill(lx - 4, ly - 4, lw + 8, lh + 8, {14, 12, 10});
    bg.frame(lx - 4, ly - 4, lw + 8, lh + 8, 1, EDGE);
    bg.text(Bold, set.S(10), lx, ly - set.S(20), l ? "Side quests" : "Main quests", TEXT);
    bg.fill(l ? at(617, 987) : at(293, 469), at(130, 208), set.S(12), at(81, 130), {30, 26, 22});
  }
  const int tx = at(30, 48), ty = at(312, 499);
  bg.fill(tx - 4, ty - 4, set.S(580), set.S(10 * 14) + 8, {14, 12, 10});
  bg.frame(tx - 4, ty - 4, set.S(580), set.S(10 * 14) + 8, 1, EDGE);
  bg.text(Bold, set.S(9), set.S(60), set.S(46), "< Status", TEXT);
  bg.text(Bold, set.S(9), set.S(300), set.S(46), "Inventory >", TEXT);
  save(bg, std::string("QstJrn-Bkgrnd") + set.suffix, false);
}

// ---- the status screen ----------------------------------------------------------------------
void status_screen(const Set& set) {
  const int k = set.index;
  Canvas bg = backdrop(set, "Status", 170);
  auto at = [&](int x640, int x1024) { return k ? x1024 : x640; };
  bg.fill(at(24, 40), at(94, 152), set.S(282), set.S(330), {14, 12, 10});
  bg.frame(at(24, 40), at(94, 152), set.S(282), set.S(330), 1, EDGE);
  bg.fill(at(336, 540), at(91, 148), set.S(262), set.S(150), {14, 12, 10});
  bg.frame(at(336, 540), at(91, 148), set.S(262), set.S(150), 1, EDGE);
  bg.text(Bold, set.S(10), at(342, 547), at(75, 124), "Skills", TEXT);
  save(bg, std::string("Skl-Bkgrnd") + set.suffix, false);
}

// ---- the buy and sell screen --------------------------------------------------------------------
void buy_sell(const Set& set) {
  Canvas bg = backdrop(set, "", 320);
  bg.fill(set.S(26), set.S(108), set.S(298), set.S(232), {14, 12, 10});
  bg.frame(set.S(26), set.S(108), set.S(298), set.S(232), 1, EDGE);
  bg.fill(set.S(344), set.S(143), set.S(12), set.S(194), {30, 26, 22});
  bg.frame(set.S(388), set.S(88), set.S(204), set.S(164), 1, DIM);
  bg.text(Bold, set.S(9), set.S(40), set.S(46), "< Status   Mode >", TEXT);
  bg.frame(set.S(421), set.S(352), set.S(70), set.S(26), 1, DIM);
  bg.frame(set.S(502), set.S(352), set.S(70), set.S(26), 1, DIM);
  bg.text(Bold, set.S(11), set.S(537), set.S(358), "Info", TEXT, true);
  save(bg, std::string("BuySell-Bkgrnd") + set.suffix, false);
  const Label words[] = {{"BuySell-Buy", "Buy", 120, 30, 20, true},       {"BuySell-Sell", "Sell", 120, 30, 20, true},
                         {"BuySell-Price", "Price", 80, 16, 10, false},   {"BuySell-Offer", "Offer", 80, 16, 10, false},
                         {"BuySell-BuyButton", "Buy", 70, 26, 12, false}, {"BuySell-SellButton", "Sell", 70, 26, 12, false}};
  labels(set, words);
  for (int p = 0; p < 2; p++) {
    Canvas f(set.S(70), set.S(26), CLEAR);
    f.frame(0, 0, f.w(), f.h(), set.S(2), p ? PRESSED : LIT);
    save(f, std::string(p ? "LBYChat-HelpPress" : "LBYChat-HelpHilite") + set.suffix, true);
  }
  const char* const names[5] = {"BuySell-Weap", "BuySell-Armr", "Buysell-Mgk", "Buysell-Jwlry", "Buysell-Misc"};
  const char* const states[3] = {"", "HiLite", "Press"};
  category_icons(set, names, states);
}

// ---- the assess panel ---------------------------------------------------------------------
void assess_panel(const Set& set) {
  Canvas panel(set.S(300), set.S(200), {0, 0, 0});
  panel.gradient(0, 0, panel.w(), panel.h(), {40, 36, 52}, {16, 14, 22});
  panel.frame(0, 0, panel.w(), panel.h(), set.S(2), EDGE);
  panel.fill(set.S(274), set.S(87), set.S(12), set.S(80), {30, 26, 22});
  save(panel, std::string("Assess-Bkgrnd") + set.suffix, false);
}

// The credits the credits screen scrolls: titles, centred names, a left-set
// block and an entry continued on a second line.
bool credits_table(const std::string& root) {
  const std::string dir = root + "/data/tables";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  FILE* f = std::fopen((dir + "/credits.tbl").c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "make_demo: cannot write credits.tbl\n");
    return false;
  }
  const char* const lines[] = {"*Orrimund", "", "a demo world", "", "*Design", "The Orrimund team", "",
                               "*Programming", "Engine and tools", "&and the screens", "", "@Thanks to",
                               "everyone who played", "-", "", "*The End"};
  for (const char* l : lines) std::fprintf(f, "%s\r\n", l);
  return std::fclose(f) == 0;
}

bool demo_build_screens(const std::string& root) {
  if (!credits_table(root)) return false;
  Dir = root + "/data/interface/pc";
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  FT_Library lib;
  if (!open_faces(&lib, &Bold, &Serif)) return false;
  Ok = true;
  for (const Set& set : {Set{0, 1.0, "640.tga"}, Set{1, 1.6, "1024.tga"}}) {
    shared_icons(set);
    inventory(set);
    item_info(set);
    save_load(set);
    options_screen(set);
    container_panel(set);
    journal(set);
    status_screen(set);
    buy_sell(set);
    assess_panel(set);
  }
  FT_Done_FreeType(lib);
  return Ok;
}

}  // namespace

DEMO_STEP(demo_build_screens, DEMO_ORDER_IMAGES + 40);

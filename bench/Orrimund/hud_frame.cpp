// One HUD frame (the bar, the portraits and their frames, the hit and
// ability bars, the icons and six filled hot buttons) through the screen
// manager with the OpenGL renderer, beside a plain OpenGL loop in the same
// context that draws the same bitmaps and rectangles from one atlas texture
// in one call. The argument is the number of party members (portraits and
// bar pairs grow with it). The front end also draws a two-digit label on
// each hot button, which the plain loop leaves out. Needs an X server: run
// under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "bench/gr/bench_screen.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/vf_writer.h"

namespace {
namespace fs = std::filesystem;

// A party of `count` members at part of their points.
class BenchParty : public FrontServices {
 public:
  int count = 5;
  int party_count() override { return count; }
  FrontPartyMember party_member(int i) override {
    return {"Hero", 1 + i % 4, 30 + 10 * i, 100, 20 + 15 * i, 100, true, i == 2};
  }
};
BenchParty Party;

struct Art {
  const char* name;
  int w, h;
};
const Art ART[] = {{"Main-HUD-MPH640.tga", 640, 64},          {"Main-HUD-PortraitBkg640.tga", 48, 48},
                   {"Main-HUD-PortSelected640.tga", 48, 48},  {"Main-HUD-levelupicon640.tga", 12, 12},
                   {"Main-HUD-PortHiLite640.tga", 48, 48},    {"Main-HUD-PortPress640.tga", 48, 48},
                   {"Main-HUD-PauseA640.tga", 24, 24},        {"Main-HUD-PauseHiLite640.tga", 24, 24},
                   {"Main-HUD-PausePress640.tga", 24, 24},    {"Main-HUD-BttnHiLite640.tga", 36, 18},
                   {"Main-HUD-BttnPress640.tga", 36, 18},     {"Main-HUD-HotBtnBkg640.tga", 120, 80},
                   {"hud-charportrait01-640.tga", 42, 42},    {"hud-charportrait02-640.tga", 42, 42},
                   {"hud-charportrait03-640.tga", 42, 42},    {"hud-charportrait04-640.tga", 42, 42}};
const char* const ICONS[] = {"HUD-NonCmbtIcon", "HUD-CmbtIcon", "HUD-CharIcon", "Skillicon-Spells2",
                             "HUD-JrnIcon",     "HUD-InvIcon",  "Skillicon-Skills"};

void write_art(const fs::path& dir) {
  fs::create_directories(dir);
  auto put = [&](const std::string& name, int w, int h, int seed) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < px.size(); i++) px[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    tga_write_file((dir / name).string(), px.data(), w, h, 24);
  };
  int seed = 0;
  for (const Art& a : ART) put(a.name, a.w, a.h, seed++);
  for (const char* icon : ICONS)
    for (const char* k : {"A", "B", "C"}) put(std::string(icon) + k + ".tga", 28, 28, seed++);
  // The other screens' art, so their start-up finds it (they draw nothing here).
  for (const char* other : {"MenuPopup-bkg", "MenuPopup-Game", "MenuPopup-New", "MenuPopup-Save", "MenuPopup-Load",
                            "MenuPopup-Options", "MenuPopup-Quit", "crossbox-hilite2", "crossbox2", "DemoMainMenu",
                            "DemoMainMenuStartHiLite", "DemoMainMenuStartPress", "DemoMainMenuContHiLite",
                            "DemoMainMenuContPress", "DemoMainMenuOptionHiLite", "DemoMainMenuOptionPress",
                            "DemoMainMenuQuitHiLite", "DemoMainMenuQuitPress", "LoadingPopup", "MessagePopupBkgrnd2"})
    put(std::string(other) + "640.tga", 16, 16, seed++);
  put("cursorspot-focus.tga", 16, 16, seed++);
  put("cursorspot-focus-large.tga", 16, 16, seed++);
}

VfWriterFont mono_font() {
  VfWriterFont f;
  f.first_char = 32;
  f.height = 10;
  f.default_advance = 8;
  for (int i = 0; i < 95; i++) {
    VfWriterGlyph g;
    g.advance = 8;
    g.width = 8;
    g.pixels.assign(8 * 10, 9);
    f.glyphs.push_back(g);
  }
  return f;
}

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  if (!bench_window("Orrimund HUD Bench")) return false;
  const fs::path root = fs::temp_directory_path() / "orrimund_bench_hud";
  fs::remove_all(root);
  write_art(root / "data" / "interface" / "pc");
  fs::create_directories(root / "data" / "fonts");
  vf_write_file((root / "data" / "fonts" / "mono.vf").string(), mono_font());
  vfile_set_root(root.c_str(), false);
  vfile_add_path_type("data\\fonts", ".vf");
  vfile_add_path_type("data\\interface\\pc", ".tga");
  bm_init();
  bench_screen(GR_OPENGL);
  gr_font_select(gr_font_load("mono.vf"));
  front_set_services(&Party);
  front_set_sound_player([](int) {});
  screen_set_mouse_source([](ScreenMouse* m) { *m = ScreenMouse{}; });
  screens_load_all();
  screens_level_init_all();
  for (int s = 0; s < HUD_NUM_HOT; s++) Hud_hot[0][s] = {1, 1, 10 + s};
  ok = true;
  return ok;
}

void front_end_frame() {
  gr_reset_clip();
  gr_clear();
  screen_process_input(0);
  screen_render();
}

// ---- the plain loop: the same quads from one atlas, in one call --------------------
struct Quad {
  float x, y, w, h;
  float s0, t0, s1, t1;  // atlas coordinates; a white corner for filled rectangles
  uint8_t r, g, b, a;
};
GLuint Atlas = 0;
int Atlas_side = 0;
std::vector<Quad> Quads;
int Quads_for = -1;

// Packs every drawn HUD bitmap into one atlas (rows, tallest first) and lists
// the frame's quads in drawing order.
void build_plain(int members) {
  Party.count = members;
  screens_level_init_all();
  screen_process_input(0);
  std::vector<int> bitmaps;
  for (const ScreenButton& b : Hud_buttons)
    if ((b.flags & (SB_DRAWN | SB_HIGHLIGHT)) && !(b.flags & SB_HIDDEN) && b.bitmap >= 0 &&
        std::find(bitmaps.begin(), bitmaps.end(), b.bitmap) == bitmaps.end())
      bitmaps.push_back(b.bitmap);
  Atlas_side = 1024;
  std::vector<uint8_t> atlas(static_cast<size_t>(Atlas_side) * Atlas_side * 4, 0);
  // A white block for the filled rectangles.
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) std::memset(&atlas[(y * Atlas_side + x) * 4], 255, 4);
  std::map<int, std::array<int, 4>> place;
  int cx = 8, cy = 0, row_h = 4;
  for (int bm : bitmaps) {
    int w, h;
    bm_get_size(bm, &w, &h);
    if (cx + w > Atlas_side) cx = 0, cy += row_h, row_h = 0;
    uint8_t* data = nullptr;
    uint8_t* pal = nullptr;
    const int format = bm_lock(bm, &data, &pal);
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    gr_opengl_convert(format, data, pal, w, h, rgba.data(), w, h);
    bm_unlock(bm);
    for (int y = 0; y < h; y++) std::memcpy(&atlas[((cy + y) * Atlas_side + cx) * 4], &rgba[y * w * 4], w * 4);
    place[bm] = {cx, cy, w, h};
    cx += w;
    row_h = std::max(row_h, h);
  }
  if (!Atlas) glGenTextures(1, &Atlas);
  glBindTexture(GL_TEXTURE_2D, Atlas);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, Atlas_side, Atlas_side, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas.data());
  const float n = 1.0f / Atlas_side;
  Quads.clear();
  for (const ScreenButton& b : Hud_buttons) {
    if (!((b.flags & (SB_DRAWN | SB_HIGHLIGHT)) && !(b.flags & SB_HIDDEN) && b.bitmap >= 0)) continue;
    const auto& p = place[b.bitmap];
    Quads.push_back({float(b.x), float(b.y), float(b.w), float(b.h), p[0] * n, p[1] * n, (p[0] + p[2]) * n,
                     (p[1] + p[3]) * n, 255, 255, 255, 255});
  }
  const float white = 2 * n;
  for (int slot = 0; slot < hud_portrait_count(); slot++) {
    int x, y, w, hp, ap, h;
    hud_bar_rects(slot, &x, &y, &w, &hp, &ap, &h);
    Quads.push_back({float(x), float(y), float(hp), float(h), white, white, white, white, 110, 0, 0, 255});
    Quads.push_back({float(x), float(y + h + 2), float(ap), float(h), white, white, white, white, 10, 23, 115, 255});
  }
  for (int s = 0; s < HUD_NUM_HOT; s++) {
    int x, y, w, h;
    hud_hot_rect(s, &x, &y, &w, &h);
    Quads.push_back({float(x), float(y), float(w), float(h), white, white, white, white, 110, 138, 177, 255});
  }
  Quads_for = members;
}

void plain_frame() {
  static std::vector<float> tex, pos;
  static std::vector<uint8_t> col;
  tex.clear(), pos.clear(), col.clear();
  for (const Quad& q : Quads) {
    const float xs[6] = {q.x + q.w, q.x + q.w, q.x, q.x + q.w, q.x, q.x};
    const float ys[6] = {q.y, q.y + q.h, q.y, q.y + q.h, q.y + q.h, q.y};
    const float ss[6] = {q.s1, q.s1, q.s0, q.s1, q.s0, q.s0};
    const float ts[6] = {q.t0, q.t1, q.t0, q.t1, q.t1, q.t0};
    for (int i = 0; i < 6; i++) {
      tex.insert(tex.end(), {ss[i], ts[i], 0.0f, 1.0f});
      pos.insert(pos.end(), {xs[i], ys[i], -1.0f});
      col.insert(col.end(), {q.r, q.g, q.b, q.a});
    }
  }
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glDisable(GL_BLEND);
  glRecti(0, 0, 640, 480);
  glEnable(GL_BLEND);
  gr_opengl_set_render_state(Gr_preset[1]);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Atlas);
  glTexCoordPointer(4, GL_FLOAT, 0, tex.data());
  glVertexPointer(3, GL_FLOAT, 0, pos.data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, col.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(pos.size() / 3));
}

void BM_HudFrame(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  Party.count = static_cast<int>(state.range(0));
  screens_level_init_all();
  front_end_frame();  // textures uploaded before the timing
  gr_flip();
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    glFinish();
  }
  bench_count_fps(state);
}
BENCHMARK(BM_HudFrame)->DenseRange(1, 5, 2)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PlainOpenglHudOneCall(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  build_plain(static_cast<int>(state.range(0)));
  state.counters["quads"] = static_cast<double>(Quads.size());
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  for (auto _ : state) {
    plain_frame();
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  gr_flip();  // the front end's texture cache believes its own are bound
  bench_count_fps(state);
}
BENCHMARK(BM_PlainOpenglHudOneCall)->DenseRange(1, 5, 2)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

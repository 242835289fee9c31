// The front end against the recording renderer: render-state presets,
// clipping of bitmaps, rectangles and lines, the fade, fog and layers.
#include "quarn/gr/gr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "tests/support/critical_error_trap.h"

namespace {

struct BitmapCall {
  int handle, x, y, w, h, sx, sy, sw, sh;
  uint32_t state;
};
struct PolyCall {
  std::vector<GrVertex> verts;
  uint32_t state;
  Color color;
  int bitmap;
};
struct LineCall {
  float x1, y1, x2, y2;
};

class Recorder : public GrRecorder {
 public:
  std::vector<std::string> calls;
  std::vector<BitmapCall> bitmaps;
  std::vector<PolyCall> polys;
  std::vector<LineCall> lines;
  int set_color_calls = 0;
  std::vector<bool> fog_calls;

  bool init(GrWindow) override {
    calls.push_back("init");
    return true;
  }
  void close() override { calls.push_back("close"); }
  void flip() override { calls.push_back("flip"); }
  void clear() override { calls.push_back("clear"); }
  void clear_depth() override { calls.push_back("clear_depth"); }
  void set_clip() override { calls.push_back("set_clip"); }
  void set_color() override { set_color_calls++; }
  void bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
              RenderStateWord s) override {
    bitmaps.push_back({handle, x, y, w, h, sx, sy, sw, sh, s.bits});
  }
  void line(float x1, float y1, float x2, float y2, RenderStateWord) override {
    lines.push_back({x1, y1, x2, y2});
  }
  void polygon(int count, GrVertex** v, RenderStateWord s) override {
    PolyCall p;
    for (int i = 0; i < count; i++) p.verts.push_back(*v[i]);
    p.state = s.bits;
    p.color = gr_screen.current_color;
    p.bitmap = gr_screen.current_bitmap;
    polys.push_back(p);
  }
  void fog_set(bool distances) override { fog_calls.push_back(distances); }
  void reset() {
    calls.clear();
    bitmaps.clear();
    polys.clear();
    lines.clear();
    set_color_calls = 0;
    fog_calls.clear();
  }
};

class GrFront : public ::testing::Test {
 protected:
  Recorder rec;
  void SetUp() override {
    bm_init();
    gr_set_recorder(&rec);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
    gr_fade_in(0);
    rec.reset();
  }
  void TearDown() override {
    gr_close();
    gr_set_recorder(nullptr);
  }
  // A user bitmap of the given size (pixels owned by the fixture).
  int make_bitmap(int w, int h) {
    pixels_.emplace_back(static_cast<size_t>(w) * h * 2, 0);
    return bm_create(BM_FORMAT_565, w, h, pixels_.back().data());
  }

 private:
  std::vector<std::vector<uint8_t>> pixels_;
};

TEST(GrRenderState, PresetsPackSixFiveBitFieldsLowFieldFirst) {
  static const int table[GR_NUM_PRESETS + 1][6] = {
      {0, 0, 0, 0, 0, 0}, {3, 2, 3, 3, 0, 3}, {3, 2, 3, 3, 0, 3}, {1, 1, 0, 3, 0, 3}, {1, 2, 3, 3, 0, 3},
      {1, 1, 0, 2, 0, 3}, {0, 0, 0, 3, 0, 3}, {0, 0, 0, 3, 0, 3}, {0, 0, 0, 3, 0, 3}, {0, 0, 0, 3, 4, 0},
      {0, 0, 0, 3, 4, 0}, {1, 1, 2, 3, 0, 0}, {1, 2, 3, 3, 0, 0}, {2, 2, 3, 3, 1, 0}, {2, 2, 3, 2, 1, 3},
      {1, 2, 3, 2, 1, 0}, {1, 2, 3, 2, 0, 0}, {1, 2, 0, 3, 4, 0}, {1, 2, 0, 0, 4, 0}, {1, 2, 3, 3, 4, 0},
      {1, 2, 3, 3, 1, 0}, {1, 2, 3, 3, 1, 0}, {2, 2, 0, 0, 4, 1}, {2, 2, 3, 2, 1, 1}, {1, 1, 2, 5, 4, 2},
      {0, 0, 0, 2, 1, 0}, {4, 1, 3, 3, 4, 0}, {6, 2, 3, 3, 4, 0}, {4, 2, 3, 2, 1, 0}, {4, 2, 3, 2, 4, 0},
      {1, 1, 2, 3, 4, 0}};
  for (int p = 1; p <= GR_NUM_PRESETS; p++) {
    uint32_t bits = 0;
    for (int f = 0; f < 6; f++) {
      EXPECT_EQ(Gr_preset[p].field(f), table[p][f]) << "preset " << p << " field " << f;
      bits |= static_cast<uint32_t>(table[p][f]) << (5 * f);
    }
    EXPECT_EQ(Gr_preset[p].bits, bits) << "preset " << p;
  }
  // Equal fields are the same state; the all-ones word matches none.
  EXPECT_EQ(Gr_preset[1], Gr_preset[2]);
  EXPECT_NE(Gr_preset[1], Gr_preset[4]);
  RenderStateWord w = Gr_preset[7];
  w.invalidate();
  for (int p = 1; p <= GR_NUM_PRESETS; p++) EXPECT_NE(w, Gr_preset[p]);
  EXPECT_EQ(RenderStateWord(31, 0, 0, 0, 0, 31).bits, 31u | (31u << 25));
}

TEST_F(GrFront, InitSetsTheScreenRecordAndStartsBlack) {
  Recorder r2;
  gr_set_recorder(&r2);
  gr_init(800, 600, GR_RECORDER, GR_WINDOW_AS_IS, 0, true);
  EXPECT_EQ(gr_screen.width, 800);
  EXPECT_EQ(gr_screen.clip_right, 799);
  EXPECT_EQ(gr_screen.clip_bottom, 599);
  EXPECT_EQ(gr_screen.clip_width, 800);
  EXPECT_EQ(gr_screen.current_bitmap, -1);
  EXPECT_EQ(gr_screen.vsync, 1);
  EXPECT_FLOAT_EQ(gr_get_aspect(), 800.0f / 600.0f * 0.75f);
  ASSERT_GE(r2.calls.size(), 2u);
  EXPECT_EQ(r2.calls.front(), "init");
  EXPECT_EQ(r2.calls.back(), "clear");  // no window: no flip
  // Black until a fade-in: the first flip covers the screen opaquely.
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 1.0f);
  gr_flip();
  ASSERT_EQ(r2.polys.size(), 1u);
  EXPECT_EQ(r2.polys[0].color, Color(0, 0, 0, 255));
  EXPECT_EQ(r2.polys[0].state, Gr_preset[7].bits);
  EXPECT_FLOAT_EQ(r2.polys[0].verts[2].sx, 800.0f);
  EXPECT_FLOAT_EQ(r2.polys[0].verts[2].sy, 600.0f);
  EXPECT_EQ(r2.calls.back(), "flip");
  // Gamma 1.8: the integer table brightens, the float table is the identity.
  EXPECT_EQ(Gr_gamma_int, 180);
  EXPECT_EQ(Gr_gamma_lookup[0], 0);
  EXPECT_EQ(Gr_gamma_lookup[255], 255);
  EXPECT_GT(Gr_gamma_lookup[64], 64);
  EXPECT_FLOAT_EQ(Gr_gamma_lookup_float[77], 77.0f);
  gr_close();
  gr_set_recorder(&rec);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
}

TEST_F(GrFront, InvalidWindowModeAndUnavailableRenderersAreFatal) {
  CriticalErrorTrap trap;
  try {
    gr_init(640, 480, GR_RECORDER, 199, 0, false);
    FAIL() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Invalid window_mode passed to gr_init\n");
  }
  // Glide runs in full screen only.
  EXPECT_THROW(gr_init(640, 480, GR_GLIDE, GR_WINDOWED, 0, false), CriticalErrorThrown);
  // OpenGL runs in a window only; the mode that leaves the window alone
  // starts nothing and is not an error.
  try {
    gr_init(640, 480, GR_OPENGL, GR_FULLSCREEN, 0, false);
    FAIL() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "OpenGl can only be used in windowed modes for now.\n");
  }
  gr_init(640, 480, GR_OPENGL, GR_WINDOW_AS_IS, 0, false);
  EXPECT_TRUE(gr_is_initialised());
  gr_close();
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
}

TEST_F(GrFront, SettingTheCurrentColourAgainDoesNotReachTheRenderer) {
  gr_set_color(1, 2, 3, 4);
  gr_set_color(1, 2, 3, 4);
  gr_set_color_rec(Color(1, 2, 3, 4));
  EXPECT_EQ(rec.set_color_calls, 1);
  gr_set_alpha(9);
  EXPECT_EQ(gr_screen.current_color, Color(1, 2, 3, 9));
  gr_set_color(1, 2, 3, 5);
  EXPECT_EQ(rec.set_color_calls, 2);
}

TEST_F(GrFront, ClipRectangleArithmetic) {
  struct Case {
    int x, y, w, h;
    int left, right, top, bottom;
  } cases[] = {
      {0, 0, 640, 480, 0, 639, 0, 479},
      {100, 50, 200, 100, 0, 199, 0, 99},
      {-10, -20, 100, 100, 10, 99, 20, 99},   // hangs off the top left
      {600, 440, 100, 100, 0, 39, 0, 39},     // hangs off the bottom right
      {-200, -200, 100, 100, 200, 200, 200, 200},  // wholly above and left
  };
  for (const auto& c : cases) {
    rec.reset();
    gr_set_clip(c.x, c.y, c.w, c.h);
    EXPECT_EQ(gr_screen.clip_left, c.left) << c.x;
    EXPECT_EQ(gr_screen.clip_right, c.right) << c.x;
    EXPECT_EQ(gr_screen.clip_top, c.top) << c.y;
    EXPECT_EQ(gr_screen.clip_bottom, c.bottom) << c.y;
    int x, y, w, h;
    gr_get_clip(&x, &y, &w, &h);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(w, c.right - c.left + 1);
    EXPECT_EQ(h, c.bottom - c.top + 1);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0], "set_clip");
  }
}

TEST_F(GrFront, BitmapIsClippedAtEveryEdge) {
  const int bm = make_bitmap(64, 64);
  struct Case {
    const char* what;
    int clip[4];
    int x, y;
    bool drawn;
    BitmapCall want;  // handle and state are filled in below
  } cases[] = {
      {"inside", {0, 0, 640, 480}, 10, 20, true, {0, 10, 20, 64, 64, 0, 0, 64, 64, 0}},
      {"top left", {0, 0, 640, 480}, -10, -20, true, {0, 0, 0, 54, 44, 10, 20, 54, 44, 0}},
      {"right", {0, 0, 640, 480}, 600, 0, true, {0, 600, 0, 40, 64, 0, 0, 40, 64, 0}},
      {"bottom", {0, 0, 640, 480}, 0, 450, true, {0, 0, 450, 64, 30, 0, 0, 64, 30, 0}},
      {"last column only", {0, 0, 640, 480}, 639, 0, true, {0, 639, 0, 1, 64, 0, 0, 1, 64, 0}},
      {"first column only", {0, 0, 640, 480}, -63, 0, true, {0, 0, 0, 1, 64, 63, 0, 1, 64, 0}},
      {"left of screen", {0, 0, 640, 480}, -64, 0, false, {}},
      {"right of screen", {0, 0, 640, 480}, 640, 0, false, {}},
      {"above", {0, 0, 640, 480}, 0, -64, false, {}},
      {"below", {0, 0, 640, 480}, 0, 480, false, {}},
      // Relative to a clip rectangle: coordinates start at its corner.
      {"inner clip", {100, 100, 50, 40}, -5, 10, true, {0, 0, 10, 50, 30, 5, 0, 50, 30, 0}},
  };
  for (const auto& c : cases) {
    rec.reset();
    gr_set_clip(c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
    gr_bitmap(bm, c.x, c.y, Gr_preset[1]);
    if (!c.drawn) {
      EXPECT_TRUE(rec.bitmaps.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(rec.bitmaps.size(), 1u) << c.what;
    const BitmapCall& b = rec.bitmaps[0];
    EXPECT_EQ(b.handle, bm);
    EXPECT_EQ(b.state, Gr_preset[1].bits);
    EXPECT_EQ(b.x, c.want.x) << c.what;
    EXPECT_EQ(b.y, c.want.y) << c.what;
    EXPECT_EQ(b.w, c.want.w) << c.what;
    EXPECT_EQ(b.h, c.want.h) << c.what;
    EXPECT_EQ(b.sx, c.want.sx) << c.what;
    EXPECT_EQ(b.sy, c.want.sy) << c.what;
    EXPECT_EQ(b.sw, c.want.w) << c.what;
    EXPECT_EQ(b.sh, c.want.h) << c.what;
  }
  rec.reset();
  gr_bitmap(-1, 0, 0, Gr_preset[1]);  // no bitmap: zero width, nothing drawn
  EXPECT_TRUE(rec.bitmaps.empty());
}

TEST_F(GrFront, BitmapExMovesTheSourceCornerAndCutsToTheBitmap) {
  const int bm = make_bitmap(32, 16);
  struct Case {
    const char* what;
    int x, y, w, h, sx, sy;
    bool drawn;
    int dx, dy, dw, dh, dsx, dsy;
  } cases[] = {
      {"plain", 5, 6, 8, 8, 4, 2, true, 5, 6, 8, 8, 4, 2},
      {"left edge moves source", -3, 0, 8, 8, 4, 2, true, 0, 0, 5, 8, 7, 2},
      {"top edge moves source", 0, -5, 8, 8, 4, 2, true, 0, 0, 8, 3, 4, 7},
      {"right edge", 636, 0, 8, 8, 0, 0, true, 636, 0, 4, 8, 0, 0},
      {"bottom edge", 0, 478, 8, 8, 0, 0, true, 0, 478, 8, 2, 0, 0},
      {"negative source x moves destination", 10, 10, 8, 8, -3, 0, true, 13, 10, 5, 8, 0, 0},
      {"negative source y moves destination", 10, 10, 8, 8, 0, -2, true, 10, 12, 8, 6, 0, 0},
      {"source cut to bitmap width", 0, 0, 20, 8, 24, 0, true, 0, 0, 8, 8, 24, 0},
      {"source cut to bitmap height", 0, 0, 8, 20, 0, 10, true, 0, 0, 8, 6, 0, 10},
      {"source beyond bitmap", 0, 0, 8, 8, 32, 0, false, 0, 0, 0, 0, 0, 0},
      {"clipped away", -20, 0, 8, 8, 0, 0, false, 0, 0, 0, 0, 0, 0},
      {"negative source pushed off screen", 636, 0, 8, 8, -6, 0, false, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    rec.reset();
    gr_bitmap_ex(bm, c.x, c.y, c.w, c.h, c.sx, c.sy, Gr_preset[4]);
    if (!c.drawn) {
      EXPECT_TRUE(rec.bitmaps.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(rec.bitmaps.size(), 1u) << c.what;
    const BitmapCall& b = rec.bitmaps[0];
    EXPECT_EQ(b.x, c.dx) << c.what;
    EXPECT_EQ(b.y, c.dy) << c.what;
    EXPECT_EQ(b.w, c.dw) << c.what;
    EXPECT_EQ(b.h, c.dh) << c.what;
    EXPECT_EQ(b.sx, c.dsx) << c.what;
    EXPECT_EQ(b.sy, c.dsy) << c.what;
  }
}

TEST_F(GrFront, ScaledBitmapPassesThroughUnclipped) {
  const int bm = make_bitmap(16, 16);
  gr_bitmap_scaled(bm, -50, -60, 700, 500, 1, 2, 3, 4, Gr_preset[4]);
  ASSERT_EQ(rec.bitmaps.size(), 1u);
  const BitmapCall& b = rec.bitmaps[0];
  EXPECT_EQ(b.x, -50);
  EXPECT_EQ(b.w, 700);
  EXPECT_EQ(b.sw, 3);
  EXPECT_EQ(b.sh, 4);
}

TEST_F(GrFront, RectFarEdgeQuirkClippingAndVertices) {
  gr_set_color(10, 20, 30, 40);
  gr_rect(10, 10, 0, 0, Gr_preset[7], 0.5f);  // w, h below 1: far edge x + w + 1
  gr_rect(100, 100, 20, 10, Gr_preset[7]);
  gr_rect(630, 470, 40, 40, Gr_preset[7]);  // cut at the bottom right
  gr_rect(50, 50, -10, -10, Gr_preset[7]);  // corners swapped into order
  gr_rect(700, 0, 10, 10, Gr_preset[7]);    // misses
  ASSERT_EQ(rec.polys.size(), 4u);
  const float want[4][4] = {{10, 10, 12, 12}, {100, 100, 120, 110}, {630, 470, 640, 480}, {41, 41, 51, 51}};
  for (int i = 0; i < 4; i++) {
    const PolyCall& p = rec.polys[i];
    ASSERT_EQ(p.verts.size(), 4u);
    EXPECT_FLOAT_EQ(p.verts[0].sx, want[i][0]) << i;
    EXPECT_FLOAT_EQ(p.verts[0].sy, want[i][1]) << i;
    EXPECT_FLOAT_EQ(p.verts[2].sx, want[i][2]) << i;
    EXPECT_FLOAT_EQ(p.verts[2].sy, want[i][3]) << i;
    EXPECT_FLOAT_EQ(p.verts[1].sx, want[i][2]) << i;  // top right
    EXPECT_FLOAT_EQ(p.verts[3].sy, want[i][3]) << i;  // bottom left
    for (const auto& v : p.verts) EXPECT_EQ(v.flags, 0);
    EXPECT_EQ(p.color, Color(10, 20, 30, 40));
  }
  EXPECT_FLOAT_EQ(rec.polys[0].verts[0].ooz, 0.5f);
  EXPECT_FLOAT_EQ(rec.polys[1].verts[3].ooz, 1.0f);
  // With a clip rectangle the corners are offset into it.
  rec.reset();
  gr_set_clip(200, 100, 50, 50);
  gr_rect(-5, 10, 20, 100, Gr_preset[7]);
  ASSERT_EQ(rec.polys.size(), 1u);
  EXPECT_FLOAT_EQ(rec.polys[0].verts[0].sx, 200.0f);
  EXPECT_FLOAT_EQ(rec.polys[0].verts[0].sy, 110.0f);
  EXPECT_FLOAT_EQ(rec.polys[0].verts[2].sx, 215.0f);
  EXPECT_FLOAT_EQ(rec.polys[0].verts[2].sy, 150.0f);
}

TEST_F(GrFront, CircleSegmentsAndClosure) {
  struct Case {
    int radius;
    size_t segments;
  } cases[] = {{1, 5}, {2, 6}, {10, 30}, {42, 126}, {43, 128}, {100, 128}};
  for (const auto& c : cases) {
    rec.reset();
    gr_circle(320, 240, c.radius, Gr_preset[7]);
    ASSERT_EQ(rec.lines.size(), c.segments) << c.radius;
    // Starts at angle 0 (straight below the centre) and ends there; ends meet.
    const float bottom = 240.0f + static_cast<float>(c.radius);
    for (const LineCall* l : {&rec.lines.front(), &rec.lines.back()}) {
      const bool at_start = (std::fabs(l->x1 - 320.0f) < 1e-3 && std::fabs(l->y1 - bottom) < 1e-3) ||
                            (std::fabs(l->x2 - 320.0f) < 1e-3 && std::fabs(l->y2 - bottom) < 1e-3);
      EXPECT_TRUE(at_start) << c.radius;
    }
    for (size_t i = 0; i + 1 < rec.lines.size(); i++) {
      const auto& a = rec.lines[i];
      const auto& b = rec.lines[i + 1];
      // gr_line orders the ends by y, so compare as sets.
      const bool shares = (std::fabs(a.x2 - b.x1) < 1e-3 && std::fabs(a.y2 - b.y1) < 1e-3) ||
                          (std::fabs(a.x1 - b.x1) < 1e-3 && std::fabs(a.y1 - b.y1) < 1e-3) ||
                          (std::fabs(a.x2 - b.x2) < 1e-3 && std::fabs(a.y2 - b.y2) < 1e-3) ||
                          (std::fabs(a.x1 - b.x2) < 1e-3 && std::fabs(a.y1 - b.y2) < 1e-3);
      EXPECT_TRUE(shares) << "radius " << c.radius << " segment " << i;
    }
  }
}

TEST_F(GrFront, LinesAreClippedOntoTheClipRectangle) {
  gr_line(-100, 100, 100, 300, Gr_preset[7]);  // enters through the left edge
  ASSERT_EQ(rec.lines.size(), 1u);
  EXPECT_FLOAT_EQ(rec.lines[0].x1, 0.0f);
  EXPECT_FLOAT_EQ(rec.lines[0].y1, 200.0f);
  EXPECT_FLOAT_EQ(rec.lines[0].x2, 100.0f);
  EXPECT_FLOAT_EQ(rec.lines[0].y2, 300.0f);
  rec.reset();
  gr_line(10, 400, 20, 10, Gr_preset[7]);  // ends ordered by y
  ASSERT_EQ(rec.lines.size(), 1u);
  EXPECT_FLOAT_EQ(rec.lines[0].y1, 10.0f);
  EXPECT_FLOAT_EQ(rec.lines[0].x1, 20.0f);
  rec.reset();
  gr_line(-10, -10, 700, 600, Gr_preset[7]);  // crosses the whole screen
  ASSERT_EQ(rec.lines.size(), 1u);
  for (float v : {rec.lines[0].x1, rec.lines[0].x2}) {
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 639.0f);
  }
  for (float v : {rec.lines[0].y1, rec.lines[0].y2}) {
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 479.0f);
  }
  rec.reset();
  gr_line(-10, -10, -5, 500, Gr_preset[7]);   // wholly left
  gr_line(700, 10, 650, 20, Gr_preset[7]);    // wholly right
  gr_line(-50, 10, 10, -50, Gr_preset[7]);    // passes the corner outside
  EXPECT_TRUE(rec.lines.empty());
}

TEST_F(GrFront, FadeOutAndInFollowTheFrameTime) {
  const float saved = FrameTimer;
  FrameTimer = 0.25f;
  gr_fade_out(1000);
  gr_flip();
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 0.25f);
  ASSERT_EQ(rec.polys.size(), 1u);
  EXPECT_EQ(rec.polys[0].color.alpha, 63);
  gr_flip();
  gr_flip();
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 0.75f);
  gr_flip();  // duration reached: black, and the fade ends
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 1.0f);
  gr_flip();
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 1.0f);

  gr_fade_in(500);
  gr_flip();
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 0.5f);
  rec.reset();
  gr_flip();
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 0.0f);
  EXPECT_TRUE(rec.polys.empty());  // level -1: no overlay
  gr_fade_out(0);
  EXPECT_FLOAT_EQ(gr_get_fade_level(), 1.0f);
  FrameTimer = saved;
}

TEST_F(GrFront, FlipResetsTheClipBeforePresenting) {
  gr_set_clip(10, 10, 20, 20);
  gr_flip();
  EXPECT_EQ(gr_screen.clip_width, 640);
  EXPECT_EQ(rec.calls.back(), "flip");
}

TEST_F(GrFront, FogNearIsLimitedByTheFarDistance) {
  struct Case {
    int renderer;
    float near_dist, far_dist, want_near;
  } cases[] = {
      {GR_RECORDER, 10, 100, 10},
      {GR_RECORDER, 80, 100, 50},
      {GR_GLIDE, 80, 100, 25},
      {GR_DIRECT3D, 10, 100, 10},
      {GR_DIRECT3D, 80, 100, 50},
  };
  for (const auto& c : cases) {
    gr_screen.renderer = c.renderer;
    gr_fog_set(true, 1, 2, 3, c.near_dist, c.far_dist);
    EXPECT_FLOAT_EQ(gr_screen.fog_near, c.want_near) << c.renderer;
    EXPECT_FLOAT_EQ(gr_screen.fog_far, 100.0f * Gr_level_fog_multiplier);
    EXPECT_EQ(gr_screen.fog_color, Color(1, 2, 3, 255));
    EXPECT_TRUE(std::isfinite(gr_screen.fog_alpha_scale));
  }
  gr_screen.renderer = GR_RECORDER;
  rec.fog_calls.clear();
  gr_fog_set(true, 0, 0, 0, 50, 50);  // zero span: no infinite scale
  EXPECT_TRUE(std::isfinite(gr_screen.fog_alpha_scale));
  gr_fog_set(false, 0, 0, 0, -1, -1);
  EXPECT_EQ(gr_screen.fog_on, 0);
  EXPECT_EQ(rec.fog_calls, (std::vector<bool>{true, false}));
}

TEST_F(GrFront, LayeredPolygonsAreDrawnOneLayerAtATime) {
  GrVertex v[3];
  GrLayeredVertex lv[3];
  GrLayeredVertex* list[3];
  for (int i = 0; i < 3; i++) {
    v[i].sx = static_cast<float>(i * 10);
    lv[i].vertex = &v[i];
    lv[i].layer[0] = {0.1f * i, 0.2f * i, static_cast<uint8_t>(10 + i), 20, 30, 40};
    lv[i].layer[1] = {0.5f, 0.5f, 1, 2, 3, static_cast<uint8_t>(50 + i)};
    list[i] = &lv[i];
  }
  const int bm_a = make_bitmap(8, 8), bm_b = make_bitmap(8, 8);
  GrLayer layers[2] = {
      {Gr_preset[19], bm_a, 1, 1, 0, 99, 98, 97, 96},  // layer uv and colours, constant alpha
      {Gr_preset[15], bm_b, 0, 0, 1, 7, 8, 9, 6},      // constant colour, vertex alpha
  };
  gr_screen.renderer = GR_RECORDER;
  gr_draw_polygon_layers(3, list, 2, layers);
  ASSERT_EQ(rec.polys.size(), 2u);
  const PolyCall& a = rec.polys[0];
  EXPECT_EQ(a.state, Gr_preset[19].bits);
  EXPECT_EQ(a.bitmap, bm_a);
  EXPECT_EQ(a.color, Color(255, 255, 255, 96));
  EXPECT_EQ(a.verts[2].flags, GR_VERTEX_UV | GR_VERTEX_RGB);
  EXPECT_FLOAT_EQ(a.verts[2].u, 0.2f);
  EXPECT_EQ(a.verts[2].r, 12);
  const PolyCall& b = rec.polys[1];
  EXPECT_EQ(b.state, Gr_preset[15].bits);
  EXPECT_EQ(b.bitmap, bm_b);
  EXPECT_EQ(b.color, Color(7, 8, 9, 255));
  EXPECT_EQ(b.verts[1].flags, GR_VERTEX_ALPHA);
  EXPECT_EQ(b.verts[1].a, 51);
}

TEST_F(GrFront, RotatedBitmapCorners) {
  const int bm = make_bitmap(40, 20);
  gr_bitmap_rotated(bm, 100, 50, 2.0f, 0.0f, Gr_preset[4]);
  gr_bitmap_rotated(bm, 100, 50, 1.0f, static_cast<float>(M_PI / 2), Gr_preset[4]);
  ASSERT_EQ(rec.polys.size(), 2u);
  const auto& p = rec.polys[0].verts;
  EXPECT_FLOAT_EQ(p[0].sx, 60.0f);
  EXPECT_FLOAT_EQ(p[0].sy, 30.0f);
  EXPECT_FLOAT_EQ(p[2].sx, 140.0f);
  EXPECT_FLOAT_EQ(p[2].sy, 70.0f);
  EXPECT_FLOAT_EQ(p[1].u, 1.0f);
  EXPECT_FLOAT_EQ(p[3].v, 1.0f);
  EXPECT_EQ(p[0].flags, GR_VERTEX_UV);
  EXPECT_EQ(rec.polys[0].bitmap, bm);
  const auto& q = rec.polys[1].verts;  // a quarter turn: (-20, -10) goes to (10, -20)
  EXPECT_NEAR(q[0].sx, 110.0f, 1e-4);
  EXPECT_NEAR(q[0].sy, 30.0f, 1e-4);
}

TEST_F(GrFront, RendererQueriesForOpenGL) {
  gr_screen.renderer = GR_OPENGL;
  EXPECT_TRUE(gr_render_state_supported(Gr_preset[19]));
  EXPECT_FALSE(gr_render_state_supported(Gr_preset[26]));
  EXPECT_FALSE(gr_render_state_supported(Gr_preset[27]));
  EXPECT_EQ(gr_get_video_memory(), 8);
  EXPECT_FALSE(gr_antialiasing_supported());
  gr_screen.renderer = 77;  // unknown renderers do nothing
  gr_clear();
  EXPECT_EQ(gr_read_screen(0, 0, 1, 1, nullptr), 0);
  gr_screen.renderer = GR_RECORDER;
  EXPECT_NEAR(gr_tint_brightness(255, 255, 255), 1.0f, 1e-6);
  EXPECT_NEAR(gr_tint_brightness(0, 0, 0), 0.6f, 1e-6);
}

TEST_F(GrFront, FlushTexturesForgetsTheCurrentBitmap) {
  gr_set_bitmap(5, 7);
  gr_flush_textures();
  EXPECT_EQ(gr_screen.current_bitmap, -1);
  EXPECT_EQ(gr_screen.current_bitmap_extra, -1);
  gr_zbuffer_clear(false);
  EXPECT_FALSE(gr_zbuffer_is_on());
  gr_zbuffer_clear(true);
  EXPECT_TRUE(gr_zbuffer_is_on());
  EXPECT_EQ(rec.calls.back(), "clear_depth");
}

std::string Console_text;

TEST_F(GrFront, ConsoleCommands) {
  console_set_output_hook([](const char* t) { Console_text += t; });
  const float fog = Gr_level_fog_multiplier, ratio = Gr_alpha_fog_ratio;
  EXPECT_EQ(console_execute("level_fog 2.5"), 0);
  EXPECT_FLOAT_EQ(Gr_level_fog_multiplier, 2.5f);
  EXPECT_EQ(console_execute("alpha_fog 0.5"), 0);
  EXPECT_FLOAT_EQ(Gr_alpha_fog_ratio, 0.5f);
  const bool stats = Gr_show_stats;
  EXPECT_EQ(console_execute("gr_show_stats"), 0);
  EXPECT_NE(Gr_show_stats, stats);
  Console_text.clear();
  EXPECT_EQ(console_execute("antialiasing"), 0);
  EXPECT_NE(Console_text.find("antialiasing not supported on this card."), std::string::npos);
  console_set_output_hook(nullptr);
  Gr_level_fog_multiplier = fog;
  Gr_alpha_fog_ratio = ratio;
  Gr_show_stats = stats;
}

}  // namespace

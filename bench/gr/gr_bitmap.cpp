// 10,000 small bitmaps a frame through gr_bitmap with the OpenGL renderer,
// beside two plain OpenGL loops in the same context: one bind and one draw
// per quad, and all the quads in one call from one atlas texture holding
// the sixteen pictures (the pixels of the last compared once, counter
// pixels_differ). Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/os.h"

namespace {

constexpr int kBitmaps = 16;
constexpr int kSize = 16;
constexpr int kPerFrame = 10000;

std::vector<std::vector<uint8_t>> Pixels;
int Handles[kBitmaps];
GLuint Plain_textures[kBitmaps];
GLuint Atlas;
constexpr int kAtlasSide = 4 * kSize;  // four pictures a row

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  os_init("Quorvane", "Orrimund Graphics Bench");
  if (!os_get_window()) {
    std::fprintf(stderr, "no X display: run under xvfb-run\n");
    return false;
  }
  bm_init();
  gr_init(640, 480, GR_OPENGL, GR_WINDOWED, os_get_window(), false);
  gr_fade_in(0);
  for (int i = 0; i < kBitmaps; i++) {
    Pixels.emplace_back(kSize * kSize * 3);
    for (size_t p = 0; p < Pixels[i].size(); p++) Pixels[i][p] = static_cast<uint8_t>(p * 7 + i * 31);
    Handles[i] = bm_create(BM_FORMAT_BGR24, kSize, kSize, Pixels[i].data());
  }
  // The plain loop's own copies of the same pictures.
  glGenTextures(kBitmaps, Plain_textures);
  std::vector<uint8_t> rgba(kSize * kSize * 4);
  for (int i = 0; i < kBitmaps; i++) {
    gr_opengl_convert(BM_FORMAT_BGR24, Pixels[i].data(), nullptr, kSize, kSize, rgba.data(), kSize, kSize);
    glBindTexture(GL_TEXTURE_2D, Plain_textures[i]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  }
  std::vector<uint8_t> atlas(kAtlasSide * kAtlasSide * 4);
  for (int i = 0; i < kBitmaps; i++) {
    gr_opengl_convert(BM_FORMAT_BGR24, Pixels[i].data(), nullptr, kSize, kSize, rgba.data(), kSize, kSize);
    const int ax = (i % 4) * kSize, ay = (i / 4) * kSize;
    for (int y = 0; y < kSize; y++)
      std::memcpy(&atlas[((ay + y) * kAtlasSide + ax) * 4], &rgba[y * kSize * 4], kSize * 4);
  }
  glGenTextures(1, &Atlas);
  glBindTexture(GL_TEXTURE_2D, Atlas);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kAtlasSide, kAtlasSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas.data());
  ok = true;
  return ok;
}

int pos_x(int i) { return (i * 37) % (640 - kSize); }
int pos_y(int i) { return (i * 53) % (480 - kSize); }

void front_end_frame() {
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < kPerFrame; i++) gr_bitmap(Handles[i % kBitmaps], pos_x(i), pos_y(i), Gr_preset[1]);
}

std::vector<float> Atlas_tex, Atlas_pos;
std::vector<uint8_t> Atlas_col;

void atlas_frame() {
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glDisable(GL_BLEND);
  glRecti(0, 0, 640, 480);
  glEnable(GL_BLEND);
  gr_opengl_set_render_state(Gr_preset[1]);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Atlas);
  size_t v = 0;
  auto put = [&](float x, float y, float s, float t) {
    float* tc = &Atlas_tex[v * 4];
    tc[0] = s, tc[1] = t, tc[2] = 0.0f, tc[3] = 1.0f;
    float* p = &Atlas_pos[v * 3];
    p[0] = x, p[1] = y, p[2] = -1.0f;
    v++;
  };
  const float step = static_cast<float>(kSize) / kAtlasSide;
  for (int i = 0; i < kPerFrame; i++) {
    const int b = i % kBitmaps;
    const float s0 = static_cast<float>(b % 4) * step, t0 = static_cast<float>(b / 4) * step;
    const float s1 = s0 + step, t1 = t0 + step;
    const float x0 = static_cast<float>(pos_x(i)), y0 = static_cast<float>(pos_y(i));
    const float x1 = x0 + kSize, y1 = y0 + kSize;
    put(x1, y0, s1, t0), put(x1, y1, s1, t1), put(x0, y0, s0, t0);
    put(x1, y1, s1, t1), put(x0, y1, s0, t1), put(x0, y0, s0, t0);
  }
  glTexCoordPointer(4, GL_FLOAT, 0, Atlas_tex.data());
  glVertexPointer(3, GL_FLOAT, 0, Atlas_pos.data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Atlas_col.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v));
}

int Atlas_pixels_differ = -1;

void compare_atlas_once() {
  if (Atlas_pixels_differ >= 0) return;
  Atlas_tex.resize(kPerFrame * 6 * 4);
  Atlas_pos.resize(kPerFrame * 6 * 3);
  Atlas_col.assign(kPerFrame * 6 * 4, 255);
  std::vector<uint8_t> a(640 * 480 * 3), b(640 * 480 * 3);
  front_end_frame();
  gr_read_screen(0, 0, 640, 480, a.data());
  gr_flip();
  atlas_frame();
  gr_read_screen(0, 0, 640, 480, b.data());
  // The front end's cache believes its own textures are bound.
  gr_flip();
  Atlas_pixels_differ = 0;
  for (size_t i = 0; i < a.size(); i += 3) Atlas_pixels_differ += std::memcmp(&a[i], &b[i], 3) != 0;
}

void BM_FrontEndBitmaps(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  compare_atlas_once();  // also uploads the textures before the timing
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    glFinish();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrontEndBitmaps)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglQuads(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  float tex[4][4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}};
  float pos[4][3];
  uint8_t col[4][4];
  for (auto& c : col) c[0] = c[1] = c[2] = c[3] = 255;
  for (auto _ : state) {
    gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
    glColor4ub(0, 0, 0, 255);
    glRecti(0, 0, 640, 480);
    gr_opengl_set_render_state(Gr_preset[1]);
    glEnable(GL_TEXTURE_2D);
    glTexCoordPointer(4, GL_FLOAT, 0, tex);
    glVertexPointer(3, GL_FLOAT, 0, pos);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, col);
    for (int i = 0; i < kPerFrame; i++) {
      glBindTexture(GL_TEXTURE_2D, Plain_textures[i % kBitmaps]);
      const float x = static_cast<float>(pos_x(i)), y = static_cast<float>(pos_y(i));
      pos[0][0] = x, pos[0][1] = y;
      pos[1][0] = x + kSize, pos[1][1] = y;
      pos[2][0] = x + kSize, pos[2][1] = y + kSize;
      pos[3][0] = x, pos[3][1] = y + kSize;
      for (auto& p : pos) p[2] = -1.0f;
      glDrawArrays(GL_POLYGON, 0, 4);
    }
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  // The front end's cache believes its textures are bound; they are not.
  gr_flip();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainOpenglQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglAtlasOneCall(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  compare_atlas_once();
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  for (auto _ : state) {
    atlas_frame();
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  gr_flip();
  state.counters["pixels_differ"] = Atlas_pixels_differ;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainOpenglAtlasOneCall)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// 10,000 small bitmaps a frame through gr_bitmap with the OpenGL renderer,
// beside a plain OpenGL loop drawing the same textured quads in the same
// context. Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
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
  ok = true;
  return ok;
}

int pos_x(int i) { return (i * 37) % (640 - kSize); }
int pos_y(int i) { return (i * 53) % (480 - kSize); }

void BM_FrontEndBitmaps(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  gr_set_color(255, 255, 255, 255);
  for (auto _ : state) {
    gr_clear();
    for (int i = 0; i < kPerFrame; i++) gr_bitmap(Handles[i % kBitmaps], pos_x(i), pos_y(i), Gr_preset[1]);
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

}  // namespace

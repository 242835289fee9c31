// The frame of 10,000 small bitmaps (bench_gr_bitmap's) through gr_bitmap
// with the Glide renderer on our Glide library, beside the same frame with
// the OpenGL renderer and two plain OpenGL loops in one context: one bind
// and one draw per quad, and every quad in one call from one atlas texture.
// Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
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
constexpr int kAtlasSide = 4 * kSize;

std::vector<std::vector<uint8_t>> Pixels;
int Handles[kBitmaps];
int Current = -1;
GLuint Plain_textures[kBitmaps];
GLuint Atlas = 0;

// Opens the screen with the renderer (closing the other one first).
bool use(int renderer) {
  static bool os_started = false;
  if (!os_started) {
    os_started = true;
    os_init("Quorvane", "Orrimund Glide Bench");
    if (!os_get_window()) {
      std::fprintf(stderr, "no X display: run under xvfb-run\n");
      return false;
    }
    bm_init();
    for (int i = 0; i < kBitmaps; i++) {
      Pixels.emplace_back(kSize * kSize * 3);
      for (size_t p = 0; p < Pixels[i].size(); p++) Pixels[i][p] = static_cast<uint8_t>(p * 7 + i * 31);
      Handles[i] = bm_create(BM_FORMAT_BGR24, kSize, kSize, Pixels[i].data());
    }
  }
  if (!os_get_window()) return false;
  if (Current == renderer) return true;
  if (Current >= 0) gr_close();
  gr_init(640, 480, renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
  gr_fade_in(0);
  Current = renderer;
  if (renderer == GR_OPENGL) {
    std::vector<uint8_t> rgba(kSize * kSize * 4), atlas(kAtlasSide * kAtlasSide * 4);
    glGenTextures(kBitmaps, Plain_textures);
    for (int i = 0; i < kBitmaps; i++) {
      gr_opengl_convert(BM_FORMAT_BGR24, Pixels[i].data(), nullptr, kSize, kSize, rgba.data(), kSize, kSize);
      glBindTexture(GL_TEXTURE_2D, Plain_textures[i]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
      const int ax = (i % 4) * kSize, ay = (i / 4) * kSize;
      for (int y = 0; y < kSize; y++)
        std::memcpy(&atlas[((ay + y) * kAtlasSide + ax) * 4], &rgba[y * kSize * 4], kSize * 4);
    }
    glGenTextures(1, &Atlas);
    glBindTexture(GL_TEXTURE_2D, Atlas);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kAtlasSide, kAtlasSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas.data());
  }
  return true;
}

int pos_x(int i) { return (i * 37) % (640 - kSize); }
int pos_y(int i) { return (i * 53) % (480 - kSize); }

void front_end_frame() {
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < kPerFrame; i++) gr_bitmap(Handles[i % kBitmaps], pos_x(i), pos_y(i), Gr_preset[1]);
}

void run_front_end(benchmark::State& state, int renderer) {
  if (!use(renderer)) {
    state.SkipWithError("no display");
    return;
  }
  front_end_frame();  // textures on the card before the timing
  gr_flip();
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    gr_finish();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_GlideBitmaps(benchmark::State& state) { run_front_end(state, GR_GLIDE); }
BENCHMARK(BM_GlideBitmaps)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenglRendererBitmaps(benchmark::State& state) { run_front_end(state, GR_OPENGL); }
BENCHMARK(BM_OpenglRendererBitmaps)->Unit(benchmark::kMillisecond)->UseRealTime();

// The plain loops' clear and bitmap state, through the renderer's own state
// mapping so both draw with the same GL state as the front end.
void plain_clear_for_bitmaps() {
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glRecti(0, 0, 640, 480);
  gr_opengl_set_render_state(Gr_preset[1]);
  glEnable(GL_TEXTURE_2D);
}

void BM_PlainOpenglQuads(benchmark::State& state) {
  if (!use(GR_OPENGL)) {
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
    plain_clear_for_bitmaps();
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
  gr_flip();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainOpenglQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglAtlasOneCall(benchmark::State& state) {
  if (!use(GR_OPENGL)) {
    state.SkipWithError("no display");
    return;
  }
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  std::vector<float> tex(kPerFrame * 6 * 4), pos(kPerFrame * 6 * 3);
  std::vector<uint8_t> col(kPerFrame * 6 * 4, 255);
  for (auto _ : state) {
    plain_clear_for_bitmaps();
    glBindTexture(GL_TEXTURE_2D, Atlas);
    size_t v = 0;
    auto put = [&](float x, float y, float s, float t) {
      float* tc = &tex[v * 4];
      tc[0] = s, tc[1] = t, tc[2] = 0.0f, tc[3] = 1.0f;
      float* p = &pos[v * 3];
      p[0] = x, p[1] = y, p[2] = -1.0f;
      v++;
    };
    const float step = static_cast<float>(kSize) / kAtlasSide;
    for (int i = 0; i < kPerFrame; i++) {
      const int b = i % kBitmaps;
      const float s0 = static_cast<float>(b % 4) * step, t0 = static_cast<float>(b / 4) * step;
      const float x0 = static_cast<float>(pos_x(i)), y0 = static_cast<float>(pos_y(i));
      put(x0 + kSize, y0, s0 + step, t0), put(x0 + kSize, y0 + kSize, s0 + step, t0 + step), put(x0, y0, s0, t0);
      put(x0 + kSize, y0 + kSize, s0 + step, t0 + step), put(x0, y0 + kSize, s0, t0 + step), put(x0, y0, s0, t0);
    }
    glTexCoordPointer(4, GL_FLOAT, 0, tex.data());
    glVertexPointer(3, GL_FLOAT, 0, pos.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, col.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v));
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  gr_flip();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainOpenglAtlasOneCall)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

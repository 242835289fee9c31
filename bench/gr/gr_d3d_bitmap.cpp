// 10,000 small bitmaps a frame through gr_bitmap with the Direct3D renderer
// (our layer over OpenGL), beside the strongest plain OpenGL loop in the same
// context: all the quads in one call from one atlas texture holding the
// sixteen pictures; the frame's pixels against drawing each bitmap alone
// (counter pixels_differ_alone), and the first frame after the textures were
// dropped apart from the steady ones. Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/gr.h"
#include "bench/gr/bench_screen.h"
#include "bench/gr/bitmap_frame.h"
#include "quarn/os/os.h"

namespace {

using namespace bitmap_frame;

std::vector<float> Atlas_tex, Atlas_pos;

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  if (!bench_window("Orrimund Direct3D Bench")) return false;
  bm_init();
  bench_screen(GR_DIRECT3D);
  if (!gr_d3d_device()) return false;
  make_pictures();
  std::vector<uint8_t> atlas(kAtlasSide * kAtlasSide * 4);
  for (int i = 0; i < kBitmaps; i++) {
    const int ax = (i % 4) * kSize, ay = (i / 4) * kSize;
    for (int y = 0; y < kSize; y++)
      for (int x = 0; x < kSize; x++) {
        const uint8_t* s = &Pixels[i][(y * kSize + x) * 3];
        uint8_t* d = &atlas[((ay + y) * kAtlasSide + ax + x) * 4];
        d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = 255;
      }
  }
  glGenTextures(1, &Atlas);
  upload_nearest(Atlas, kAtlasSide, atlas.data());
  Atlas_tex.resize(kMaxPerFrame * 6 * 2);
  Atlas_pos.resize(kMaxPerFrame * 6 * 2);
  ok = true;
  return ok;
}

void BM_Direct3DBitmaps(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display or no Direct3D");
    return;
  }
  const int differ = pixels_differ_from_alone();  // also uploads the textures before the timing
  FrameSize size(state);
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    glFinish();
  }
  bench_count_fps(state);
  state.counters["pixels_differ_alone"] = differ;
}
BENCHMARK(BM_Direct3DBitmaps)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Direct3DFirstFrame(benchmark::State& state) { run_first_frames(state, start()); }
BENCHMARK(BM_Direct3DFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglAtlasOneCall(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display or no Direct3D");
    return;
  }
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  FrameSize size(state);
  for (auto _ : state) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 480, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, Atlas);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    size_t v = 0;
    auto put = [&](float x, float y, float s, float t) {
      Atlas_tex[v * 2] = s, Atlas_tex[v * 2 + 1] = t;
      Atlas_pos[v * 2] = x, Atlas_pos[v * 2 + 1] = y;
      v++;
    };
    const float step = static_cast<float>(kSize) / kAtlasSide;
    for (int i = 0; i < Per_frame; i++) {
      const int b = i % kBitmaps;
      const float s0 = static_cast<float>(b % 4) * step, t0 = static_cast<float>(b / 4) * step;
      const float s1 = s0 + step, t1 = t0 + step;
      const float x0 = static_cast<float>(pos_x(i)), y0 = static_cast<float>(pos_y(i));
      const float x1 = x0 + kSize, y1 = y0 + kSize;
      put(x1, y0, s1, t0), put(x1, y1, s1, t1), put(x0, y0, s0, t0);
      put(x1, y1, s1, t1), put(x0, y1, s0, t1), put(x0, y0, s0, t0);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, Atlas_tex.data());
    glVertexPointer(2, GL_FLOAT, 0, Atlas_pos.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  // The layer's GL state is its own again on the next draw.
  gr_d3d_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  bench_count_fps(state);
}
BENCHMARK(BM_PlainOpenglAtlasOneCall)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

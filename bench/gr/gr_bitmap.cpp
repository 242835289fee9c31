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
#include "bench/gr/bench_screen.h"
#include "bench/gr/bitmap_frame.h"
#include "quarn/os/os.h"

namespace {
using namespace bitmap_frame;

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  if (!bench_window("Orrimund Graphics Bench")) return false;
  bm_init();
  bench_screen(GR_OPENGL);
  make_pictures();
  upload_plain_textures();
  ok = true;
  return ok;
}

int Atlas_pixels_differ = -1;

void compare_atlas_once() {
  if (Atlas_pixels_differ >= 0) return;
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
  const int differ = pixels_differ_from_alone();
  FrameSize size(state);
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    glFinish();
  }
  bench_count_fps(state);
  state.counters["pixels_differ_alone"] = differ;
}
BENCHMARK(BM_FrontEndBitmaps)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FrontEndFirstFrame(benchmark::State& state) { run_first_frames(state, start()); }
BENCHMARK(BM_FrontEndFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglQuads(benchmark::State& state) { run_plain(state, start(), plain_quads_frame); }
BENCHMARK(BM_PlainOpenglQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglAtlasOneCall(benchmark::State& state) {
  if (start()) compare_atlas_once();
  FrameSize size(state);
  run_plain(state, start(), atlas_frame);
  state.counters["pixels_differ"] = Atlas_pixels_differ;
}
BENCHMARK(BM_PlainOpenglAtlasOneCall)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

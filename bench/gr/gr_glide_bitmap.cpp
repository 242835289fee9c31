// The frame of 10,000 small bitmaps (bench_gr_bitmap's) through gr_bitmap
// with the Glide renderer on our Glide library, beside the same frame with
// the OpenGL renderer and two plain OpenGL loops in one context: one bind
// and one draw per quad, and every quad in one call from one atlas texture;
// the frame's pixels against drawing each bitmap alone (counter
// pixels_differ_alone), and the first frame after the textures were dropped
// apart from the steady ones. Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
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

int Current = -1;

// Opens the screen with the renderer (closing the other one first).
bool use(int renderer) {
  static bool os_started = false;
  if (!os_started) {
    os_started = true;
    if (!bench_window("Orrimund Glide Bench")) return false;
    bm_init();
    make_pictures();
  }
  if (!os_get_window()) return false;
  if (Current == renderer) return true;
  if (Current >= 0) gr_close();
  bench_screen(renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED);
  Current = renderer;
  if (renderer == GR_OPENGL) upload_plain_textures();
  return true;
}

void run_front_end(benchmark::State& state, int renderer) {
  if (!use(renderer)) {
    state.SkipWithError("no display");
    return;
  }
  // Also puts the textures on the card before the timing.
  const int differ = pixels_differ_from_alone();
  FrameSize size(state);
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    gr_finish();
  }
  bench_count_fps(state);
  state.counters["pixels_differ_alone"] = differ;
}

void BM_GlideBitmaps(benchmark::State& state) { run_front_end(state, GR_GLIDE); }
BENCHMARK(BM_GlideBitmaps)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GlideFirstFrame(benchmark::State& state) { run_first_frames(state, use(GR_GLIDE)); }
BENCHMARK(BM_GlideFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenglRendererBitmaps(benchmark::State& state) { run_front_end(state, GR_OPENGL); }
BENCHMARK(BM_OpenglRendererBitmaps)->Arg(kPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglQuads(benchmark::State& state) { run_plain(state, use(GR_OPENGL), plain_quads_frame); }
BENCHMARK(BM_PlainOpenglQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglAtlasOneCall(benchmark::State& state) {
  const bool ready = use(GR_OPENGL);
  FrameSize size(state);
  run_plain(state, ready, atlas_frame);
}
BENCHMARK(BM_PlainOpenglAtlasOneCall)->Arg(kPerFrame)->Arg(1000)->Arg(kMaxPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Cost of one empty turn of the main loop: the frame timing and the input
// snapshot, without the sleep that pads short frames.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/thread.h"
#include "quarn/platform/window.h"

namespace {
void no_sleep(int) {}

// The turns themselves, on whatever window backend the caller chose; with
// `draw`, the screen is cleared and flipped as well.
void run_frame_loop_turns(benchmark::State& state, bool draw = false) {
  timer_set_source(platform_counter_ns, no_sleep);
  timer_init();
  key_init(true);
  mouse_init(640, 480);
  for (auto _ : state) {
    os_poll();
    frametime_update();
    mouse_frame();
    benchmark::DoNotOptimize(key_inkey());
    benchmark::DoNotOptimize(FrameTimer);
    if (draw) {
      gr_clear();
      gr_flip();
    }
  }
  timer_set_source(nullptr, nullptr);
}

void BM_EmptyFrameLoopTurn(benchmark::State& state) {
  window_force_null_backend(true);
  run_frame_loop_turns(state);
}
BENCHMARK(BM_EmptyFrameLoopTurn);

// The parts on their own.
void BM_FrametimeUpdate(benchmark::State& state) {
  timer_set_source(platform_counter_ns, no_sleep);
  timer_init();
  for (auto _ : state) frametime_update();
  timer_set_source(nullptr, nullptr);
}
BENCHMARK(BM_FrametimeUpdate);

void BM_MouseFrame(benchmark::State& state) {
  window_force_null_backend(true);
  timer_init();
  mouse_init(640, 480);
  for (auto _ : state) mouse_frame();
}
BENCHMARK(BM_MouseFrame);

void BM_TimerGet(benchmark::State& state) {
  timer_init();
  for (auto _ : state) benchmark::DoNotOptimize(timer_get(1000000));
}
BENCHMARK(BM_TimerGet);
}  // namespace

namespace {
// With a real window, under xvfb-run. Argument 0: the window is hidden;
// 1: shown with the pointer over it; 2: shown, the game inactive and the
// pointer outside it. In every case the pointer's position comes from the
// window's own events, so no turn waits on the X server.
void place_window(int where) {
  window_force_null_backend(false);
  os_init("Quorvane", "Orrimund Demo");
  window_show(false);
  if (where == 0) return;
  window_set_position(0, 0);
  window_set_size(640, 480);
  window_show(true);
  window_set_cursor_pos(100, 100);
  if (where == 2) {
    // Inactive, so the game does not pull the pointer back in.
    window_post_message(OS_MSG_ACTIVATEAPP, 0, 0);
    platform_sleep_ms(100);
    window_set_cursor_pos(900, 700);
  }
  window_sync();
  platform_sleep_ms(200);
}

void BM_EmptyFrameLoopTurnWithWindow(benchmark::State& state) {
  place_window(static_cast<int>(state.range(0)));
  run_frame_loop_turns(state);
  os_shutdown();
}

// The same turn with the screen cleared and flipped by the OpenGL renderer,
// as every real frame does.
void BM_FrameLoopTurnWithClearAndFlip(benchmark::State& state) {
  place_window(static_cast<int>(state.range(0)));
  bm_init();
  gr_init(640, 480, GR_OPENGL, GR_WINDOWED, os_get_window(), false);
  run_frame_loop_turns(state, true);
  gr_close();
  os_shutdown();
}

int register_window_bench = [] {
  const char* display = std::getenv("DISPLAY");
  if (display && *display) {
    benchmark::RegisterBenchmark("BM_EmptyFrameLoopTurnWithWindow", BM_EmptyFrameLoopTurnWithWindow)
        ->Arg(0)
        ->Arg(1)
        ->Arg(2);
    benchmark::RegisterBenchmark("BM_FrameLoopTurnWithClearAndFlip", BM_FrameLoopTurnWithClearAndFlip)
        ->Arg(0)
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMicrosecond);
  }
  return 0;
}();
}  // namespace

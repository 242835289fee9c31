#pragma once
// The window and screen the renderer benches draw in, and their frame rate.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "quarn/gr/gr.h"
#include "quarn/os/os.h"

// Opens the game's window; false, with a note, when there is no X display.
inline bool bench_window(const char* title) {
  os_init("Quorvane", title);
  if (!os_get_window()) {
    std::fprintf(stderr, "no X display: run under xvfb-run\n");
    return false;
  }
  return true;
}

// A 640x480 screen with the renderer in the window, faded in at once.
inline void bench_screen(int renderer, int mode = GR_WINDOWED) {
  gr_init(640, 480, renderer, mode, os_get_window(), false);
  gr_fade_in(0);
}

// Frames a second over the timed loop.
inline void bench_count_fps(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Finding the gadget under the mouse in a window of 400 buttons (a 20 by 20
// grid, some overlapping), as every frame does for hover, clicks and
// tooltips; beside a plain baseline that keeps the same rectangles in one
// flat array (screen coordinates already summed) and scans it for the last
// one that holds the point, which is the same answer; and the strongest
// plain form, a forward scan from the oldest that stops at the first hit.
#include <benchmark/benchmark.h>

#include <vector>

#include "quarn/ui/ui.h"

namespace {

constexpr int kSide = 20;
constexpr int kPoints = 1024;

struct Rect {
  int x, y, w, h;
};

struct Scene {
  UiWindow window;
  std::vector<UiButton> buttons = std::vector<UiButton>(kSide * kSide);
  std::vector<Rect> rects;
  std::vector<int> px, py;
  Scene() {
    ui_init();
    window.create(10, 10, 620, 460, 1, 1);
    for (int i = 0; i < kSide * kSide; i++) {
      const int x = (i % kSide) * 30, y = (i / kSide) * 22;
      buttons[i].create(&window, x, y, 34, 24, i, 0, false);
      rects.push_back({10 + x, 10 + y, 34, 24});
    }
    uint32_t seed = 7;
    for (int i = 0; i < kPoints; i++) {
      seed = seed * 1103515245u + 12345u;
      px.push_back(static_cast<int>((seed >> 8) % 640));
      seed = seed * 1103515245u + 12345u;
      py.push_back(static_cast<int>((seed >> 8) % 480));
    }
  }
};

Scene& scene() {
  static Scene s;
  return s;
}

void BM_WindowGadgetAt(benchmark::State& state) {
  Scene& s = scene();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.window.gadget_at(s.px[i], s.py[i]));
    i = (i + 1) % kPoints;
  }
}
BENCHMARK(BM_WindowGadgetAt);

void BM_FlatRectScan(benchmark::State& state) {
  Scene& s = scene();
  size_t i = 0;
  for (auto _ : state) {
    const int x = s.px[i], y = s.py[i];
    int hit = -1;
    // Sibling order runs newest first and the last answer wins: the oldest
    // rectangle that holds the point.
    for (int k = static_cast<int>(s.rects.size()) - 1; k >= 0; k--) {
      const Rect& r = s.rects[k];
      if (x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h) hit = k;
    }
    benchmark::DoNotOptimize(hit);
    i = (i + 1) % kPoints;
  }
}
BENCHMARK(BM_FlatRectScan);

void BM_ForwardScanFirstHit(benchmark::State& state) {
  Scene& s = scene();
  size_t i = 0;
  for (auto _ : state) {
    const int x = s.px[i], y = s.py[i];
    int hit = -1;
    for (int k = 0; k < static_cast<int>(s.rects.size()); k++) {
      const Rect& r = s.rects[k];
      if (x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h) {
        hit = k;
        break;
      }
    }
    benchmark::DoNotOptimize(hit);
    i = (i + 1) % kPoints;
  }
}
BENCHMARK(BM_ForwardScanFirstHit);

}  // namespace

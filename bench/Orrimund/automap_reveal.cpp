// The automap's reveal, redrawn whenever the party walks onto a new cell:
// the mask sprite stamped on every explored cell of a layer bitmap. Ours
// samples the sprite for each stamp at its own sub-pixel place; the baseline
// scales the sprite once to a whole-pixel stamp and adds it at whole-pixel
// places, the least work that gives the same soft union (a little coarser).
// Arguments: explored cells along each side of a 64 x 64-cell map on a
// 512-pixel layer bitmap (8-pixel cells, 17-pixel stamps).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Orrimund/screens/automap_cells.h"

namespace {
constexpr int BITMAP = 512, CELLS = 64;
constexpr float CELL = 8.0f, SPRITE = 17.0f;

std::vector<uint8_t> soft_sprite() {
  std::vector<uint8_t> s(16 * 16);
  for (int j = 0; j < 16; j++)
    for (int i = 0; i < 16; i++) {
      const double d = std::hypot(i + 0.5 - 8.0, j + 0.5 - 8.0) / 8.0;
      s[j * 16 + i] = static_cast<uint8_t>(255.0 * std::clamp((1.0 - d) / 0.5, 0.0, 1.0));
    }
  return s;
}

std::vector<uint8_t> explored_square(int side) {
  std::vector<uint8_t> e(AUTOMAP_GRID * AUTOMAP_GRID, 0);
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++) e[y * AUTOMAP_GRID + x] = 1;
  return e;
}

void BM_RevealOurs(benchmark::State& state) {
  const std::vector<uint8_t> sprite = soft_sprite(), explored = explored_square(static_cast<int>(state.range(0)));
  std::vector<uint8_t> cover(BITMAP * BITMAP);
  for (auto _ : state) {
    automap_mask_cover(cover.data(), BITMAP, BITMAP, explored.data(), CELLS, CELLS, CELL, CELL, SPRITE, SPRITE,
                       AutomapMaskSprite{sprite.data(), 16, 16});
    benchmark::DoNotOptimize(cover.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}

void BM_RevealBaseline(benchmark::State& state) {
  const std::vector<uint8_t> sprite = soft_sprite(), explored = explored_square(static_cast<int>(state.range(0)));
  std::vector<uint8_t> cover(BITMAP * BITMAP);
  const int size = static_cast<int>(SPRITE);
  // The stamp, scaled once (nearest texel).
  std::vector<uint8_t> stamp(size * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) stamp[y * size + x] = sprite[(y * 16 / size) * 16 + x * 16 / size];
  for (auto _ : state) {
    std::fill(cover.begin(), cover.end(), uint8_t{0});
    for (int cy = 0; cy < CELLS; cy++)
      for (int cx = 0; cx < CELLS; cx++) {
        if (!explored[cy * AUTOMAP_GRID + cx]) continue;
        const int left = static_cast<int>((cx + 0.5f) * CELL - SPRITE / 2), top = static_cast<int>((cy + 0.5f) * CELL - SPRITE / 2);
        for (int y = std::max(0, -top); y < size && top + y < BITMAP; y++)
          for (int x = std::max(0, -left); x < size && left + x < BITMAP; x++) {
            uint8_t& c = cover[(top + y) * BITMAP + left + x];
            c = static_cast<uint8_t>(c + stamp[y * size + x] * (255 - c) / 255);
          }
      }
    benchmark::DoNotOptimize(cover.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
}  // namespace

BENCHMARK(BM_RevealOurs)->Arg(4)->Arg(16)->Arg(64);
BENCHMARK(BM_RevealBaseline)->Arg(4)->Arg(16)->Arg(64);

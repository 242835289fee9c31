// 1,000 translucent quads a frame: recorded into the byte stream, sorted
// far-first and replayed through the in-place path, beside a plain baseline
// that keeps the same quads as structs, sorts them with std::sort and sends
// each through the same in-place path. The renderer is the recording one
// with nothing installed, so only the buffering is measured.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/math/matrix.h"

namespace {

constexpr int kPolys = 1000;

struct Quad {
  GrVertex v[4];
  float depth;
};

std::vector<Quad>& quads() {
  static std::vector<Quad> q;
  if (!q.empty()) return q;
  gr_set_recorder(nullptr);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  q.resize(kPolys);
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<float>((seed >> 8) & 0xffff) / 65536.0f;
  };
  for (Quad& quad : q) {
    const float x = next() * 8 - 4, y = next() * 6 - 3, z = 2 + next() * 20;
    const vector c[4] = {{x, y, z}, {x + 0.5f, y, z}, {x + 0.5f, y - 0.5f, z}, {x, y - 0.5f, z}};
    for (int i = 0; i < 4; i++) gr_3d_rotate_point(quad.v[i], c[i]);
    quad.depth = quad.v[0].z;
  }
  return q;
}

void send(Quad& q, bool translucent) {
  static const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
  gr_alpha_poly_begin(translucent, q.depth, 0, false, 0.0f);
  gr_alpha_poly_state(Gr_preset[16], -1, 255, 255, 255, 128, 0);
  for (int i = 0; i < 4; i++) {
    q.v[i].proj_flags = 0;
    gr_alpha_poly_vertex(&q.v[i]);
    gr_alpha_poly_uv(us[i], vs[i]);
  }
  gr_alpha_poly_end();
}

void BM_AlphaStream(benchmark::State& state) {
  std::vector<Quad>& q = quads();
  for (auto _ : state) {
    for (Quad& quad : q) send(quad, true);
    gr_alpha_flush();
  }
  state.SetItemsProcessed(state.iterations() * kPolys);
}
BENCHMARK(BM_AlphaStream);

void BM_PlainSortedStructs(benchmark::State& state) {
  std::vector<Quad>& q = quads();
  std::vector<Quad> frame;
  frame.reserve(kPolys);
  for (auto _ : state) {
    frame.assign(q.begin(), q.end());  // what recording keeps: a copy of each polygon
    std::sort(frame.begin(), frame.end(), [](const Quad& a, const Quad& b) { return a.depth > b.depth; });
    for (Quad& quad : frame) send(quad, false);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(state.iterations() * kPolys);
}
BENCHMARK(BM_PlainSortedStructs);

}  // namespace

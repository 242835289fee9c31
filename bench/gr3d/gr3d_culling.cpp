// Throughput of the view's culling tests and of the segment/triangle tests
// that picking and collision run in bulk. Items per second is the figure.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/math/intersect.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

namespace {

constexpr int COUNT = 100000;

struct Rng {
  uint32_t s = 12345;
  float next(float lo, float hi) {
    s = s * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(s >> 8) / 16777216.0f;
  }
};

void start_view() {
  gr_screen.renderer = 0;
  gr_screen.clip_width = 640;
  gr_screen.clip_height = 480;
  gr_screen.offset_x = gr_screen.offset_y = 0;
  gr_screen.aspect = 1.0f;
  gr_3d_set_far_plane(200.0f);
  gr_3d_start_frame(vector{0, 0, 0}, matrix::from_angles(0.1f, 0.0f, 0.3f), 90.0f, false);
}

// Objects scattered in a cube around the eye: under a tenth of them are in
// view and every plane gets to reject some.
void BM_SphereCulling(benchmark::State& state) {
  start_view();
  Rng rng;
  std::vector<vector> centers(COUNT);
  std::vector<float> radii(COUNT);
  for (int i = 0; i < COUNT; i++) {
    centers[i].set(rng.next(-250, 250), rng.next(-250, 250), rng.next(-250, 250));
    radii[i] = rng.next(0.5f, 10.0f);
  }
  int visible = 0;
  for (auto _ : state) {
    visible = 0;
    for (int i = 0; i < COUNT; i++) visible += !gr_3d_sphere_culled(centers[i], radii[i], true);
    benchmark::DoNotOptimize(visible);
  }
  state.counters["visible"] = visible;
  state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_SphereCulling)->Unit(benchmark::kMillisecond);

void BM_BoxCulling(benchmark::State& state) {
  start_view();
  Rng rng;
  std::vector<vector> mins(COUNT), maxs(COUNT);
  for (int i = 0; i < COUNT; i++) {
    mins[i].set(rng.next(-250, 250), rng.next(-250, 250), rng.next(-250, 250));
    maxs[i] = mins[i] + vector{rng.next(1, 20), rng.next(1, 20), rng.next(1, 20)};
  }
  int visible = 0;
  for (auto _ : state) {
    visible = 0;
    for (int i = 0; i < COUNT; i++) visible += !gr_3d_box_culled(mins[i], maxs[i]);
    benchmark::DoNotOptimize(visible);
  }
  state.counters["visible"] = visible;
  state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_BoxCulling)->Unit(benchmark::kMillisecond);

// The plain forms of the two tests above: the view's own planes copied into a
// flat array and every object tested against them in the loop, stopping at
// the first plane that has it outside.
struct PlainPlane {
  float x, y, z, d;
};
std::vector<PlainPlane> plain_planes(std::vector<plane_record>& records) {
  records.resize(MAX_FRUSTUM_PLANES);
  records.resize(static_cast<size_t>(gr_3d_get_frustum(records.data(), nullptr)));
  std::vector<PlainPlane> out;
  for (const plane_record& r : records) out.push_back({r.pl.normal.x, r.pl.normal.y, r.pl.normal.z, r.pl.d});
  return out;
}

void BM_PlainSphereCulling(benchmark::State& state) {
  start_view();
  Rng rng;
  std::vector<vector> centers(COUNT);
  std::vector<float> radii(COUNT);
  for (int i = 0; i < COUNT; i++) {
    centers[i].set(rng.next(-250, 250), rng.next(-250, 250), rng.next(-250, 250));
    radii[i] = rng.next(0.5f, 10.0f);
  }
  std::vector<plane_record> records;
  const std::vector<PlainPlane> planes = plain_planes(records);
  const int np = static_cast<int>(planes.size());
  int visible = 0;
  for (auto _ : state) {
    visible = 0;
    for (int i = 0; i < COUNT; i++) {
      const vector& c = centers[i];
      bool out = false;
      for (int k = 0; k < np && !out; k++)
        out = c.x * planes[k].x + c.y * planes[k].y + c.z * planes[k].z + planes[k].d > radii[i];
      visible += !out;
    }
    benchmark::DoNotOptimize(visible);
  }
  state.counters["visible"] = visible;
  state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_PlainSphereCulling)->Unit(benchmark::kMillisecond);

void BM_PlainBoxCulling(benchmark::State& state) {
  start_view();
  Rng rng;
  std::vector<vector> mins(COUNT), maxs(COUNT);
  for (int i = 0; i < COUNT; i++) {
    mins[i].set(rng.next(-250, 250), rng.next(-250, 250), rng.next(-250, 250));
    maxs[i] = mins[i] + vector{rng.next(1, 20), rng.next(1, 20), rng.next(1, 20)};
  }
  std::vector<plane_record> records;
  const std::vector<PlainPlane> planes = plain_planes(records);
  const int np = static_cast<int>(planes.size());
  int visible = 0;
  for (auto _ : state) {
    visible = 0;
    for (int i = 0; i < COUNT; i++) {
      const vector &lo = mins[i], &hi = maxs[i];
      bool out = false;
      // The corner nearest the inside of each plane: min where the normal is positive.
      for (int k = 0; k < np && !out; k++) {
        const PlainPlane& p = planes[k];
        out = (p.x > 0 ? lo.x : hi.x) * p.x + (p.y > 0 ? lo.y : hi.y) * p.y + (p.z > 0 ? lo.z : hi.z) * p.z + p.d > 0;
      }
      visible += !out;
    }
    benchmark::DoNotOptimize(visible);
  }
  state.counters["visible"] = visible;
  state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_PlainBoxCulling)->Unit(benchmark::kMillisecond);

void BM_OrientedBoxCulling(benchmark::State& state) {
  start_view();
  Rng rng;
  std::vector<matrix> orients(COUNT);
  std::vector<vector> positions(COUNT);
  const vector half{5, 2, 8};
  for (int i = 0; i < COUNT; i++) {
    orients[i] = matrix::from_angles(rng.next(0, 6.28f), rng.next(0, 6.28f), rng.next(0, 6.28f));
    positions[i].set(rng.next(-250, 250), rng.next(-250, 250), rng.next(-250, 250));
  }
  int visible = 0;
  for (auto _ : state) {
    visible = 0;
    for (int i = 0; i < COUNT; i++) visible += !gr_3d_oriented_box_culled(orients[i], positions[i], -half, half);
    benchmark::DoNotOptimize(visible);
  }
  state.counters["visible"] = visible;
  state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_OrientedBoxCulling)->Unit(benchmark::kMillisecond);

struct Triangle {
  vector a, b, c;
  plane pl;
};

// Runs `test` over every ray and triangle pair and counts the hits.
template <class Test>
void time_triangle_hits(benchmark::State& state, const std::vector<Triangle>& tris,
                        const std::vector<vector>& origins, const std::vector<vector>& dirs, Test test) {
  int hits = 0;
  for (auto _ : state) {
    hits = 0;
    for (int i = 0; i < COUNT; i++) {
      const vector* v[3] = {&tris[i].a, &tris[i].b, &tris[i].c};
      vector p;
      float t;
      hits += test(origins[i], dirs[i], v, tris[i].pl, p, t);
    }
    benchmark::DoNotOptimize(hits);
  }
  state.counters["hits"] = hits;
  state.SetItemsProcessed(state.iterations() * COUNT);
}

// Segments dropped onto scattered triangles; about one in eight hits.
void BM_SegmentTriangle(benchmark::State& state) {
  Rng rng;
  std::vector<Triangle> tris(COUNT);
  std::vector<vector> origins(COUNT), dirs(COUNT);
  for (int i = 0; i < COUNT; i++) {
    Triangle& t = tris[i];
    t.a.set(rng.next(-1, 1), rng.next(-0.2f, 0.2f), rng.next(-1, 1));
    t.b = t.a + vector{rng.next(-1, 1), rng.next(-0.2f, 0.2f), 2.0f};
    t.c = t.a + vector{2.0f, rng.next(-0.2f, 0.2f), rng.next(-1, 1)};
    t.pl.from_points(t.a, t.b, t.c);
    if (t.pl.normal.y < 0) {
      std::swap(t.b, t.c);
      t.pl.from_points(t.a, t.b, t.c);
    }
    origins[i].set(rng.next(-1, 3), 5.0f, rng.next(-1, 3));
    dirs[i].set(rng.next(-0.5f, 0.5f), -10.0f, rng.next(-0.5f, 0.5f));
  }
  time_triangle_hits(state, tris, origins, dirs, ix_segment_triangle);
}
BENCHMARK(BM_SegmentTriangle)->Unit(benchmark::kMillisecond);

void BM_LineTriangle(benchmark::State& state) {
  Rng rng;
  std::vector<Triangle> tris(COUNT);
  std::vector<vector> origins(COUNT), dirs(COUNT);
  for (int i = 0; i < COUNT; i++) {
    Triangle& t = tris[i];
    t.a.set(rng.next(-1, 1), rng.next(-1, 1), 0.0f);
    t.b = t.a + vector{2.0f, rng.next(-1, 1), rng.next(-0.2f, 0.2f)};
    t.c = t.a + vector{rng.next(-1, 1), 2.0f, rng.next(-0.2f, 0.2f)};
    t.pl.from_points(t.a, t.b, t.c);
    origins[i].set(rng.next(-1, 3), rng.next(-1, 3), -5.0f);
    dirs[i].set(rng.next(-0.2f, 0.2f), rng.next(-0.2f, 0.2f), 1.0f);
  }
  time_triangle_hits(state, tris, origins, dirs, ix_line_triangle);
}
BENCHMARK(BM_LineTriangle)->Unit(benchmark::kMillisecond);

}  // namespace

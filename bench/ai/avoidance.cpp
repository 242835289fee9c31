// Path search on the demo's outdoor graph with avoidance areas against the
// same searches without them: the pools hold 14 primitives, so the fullest
// case is 14 prohibit rectangles, one in each of the squares the trips
// cross; two of the six trips go round the L-shaped wall either way. Also the cost of adding and removing
// one area among 13 (its outline, its cut against the walls, the relinking).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

void load_demo() {
  static std::vector<uint8_t> bytes;
  if (bytes.empty()) {
    PfgLevel level;
    demo_graph_outdoor(level);
    bytes = pfg_bytes(pfg_build(level));
  }
  ReadStream in;
  in.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  path_graph_read(in, static_cast<int>(bytes.size()), "demo_outdoor.pfg");
  aa_reset();
  path_pool_reset();
}

// Areas across the open ground between the hamlets (z from -10 to 12),
// away from the level's own obstacles.
const float Area_x[] = {14, 17, 20, 14, 17, 20, 14, 17, 20, -18, -20, -16, 2, 22};
const float Area_z[] = {-6, -6, -6, 0, 0, 0, 4, 4, 4, 2, -4, 7, 0, 10};

int add_areas(int n) {
  int added = 0;
  for (int i = 0; i < n; i++) {
    const vector c{Area_x[i], 0, Area_z[i]};
    const int s = path_sector_at(0, c.x, c.z);
    if (s >= 0 && aa_add_primitive(c, AA_TYPE_RECT | AA_TYPE_PROHIBIT, vector{0.4f, 0, 0}, vector{0, 0, 1.2f}, 0, s) >= 0)
      added++;
  }
  return added;
}

double trips() {
  const PathPoint from[] = {{12, -3}, {12, 2}, {-22, 0}, {23, -8}, {-4, -9}, {-12, -6}};
  const PathPoint to[] = {{23, -3}, {23, 6}, {-13, 5}, {12, 11}, {-10, -1}, {-3, -12}};
  double total = 0;
  for (int i = 0; i < 6; i++) {
    const int s0 = path_sector_at(0, from[i].x, from[i].z), s1 = path_sector_at(0, to[i].x, to[i].z);
    vector goal{to[i].x, 0, to[i].z};
    PathNode* p = find_path(vector{from[i].x, 0, from[i].z}, s0, goal, s1, 0, 0.0f);
    float x = from[i].x, z = from[i].z;
    for (PathNode* n = p; n; n = n->next) {
      total += std::hypot(n->x - x, n->z - z);
      x = n->x;
      z = n->z;
    }
    path_free(p);
  }
  return total;
}

void BM_search_with_areas(benchmark::State& state) {
  load_demo();
  const int added = add_areas(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trips());
  state.counters["areas"] = added;
  state.counters["length"] = trips();
  path_graph_free();
}
BENCHMARK(BM_search_with_areas)->Arg(0)->Arg(7)->Arg(14)->Unit(benchmark::kMicrosecond);

void BM_add_and_remove_area(benchmark::State& state) {
  load_demo();
  add_areas(13);
  const vector c{Area_x[13], 0, Area_z[13]};
  const int s = path_sector_at(0, c.x, c.z);
  for (auto _ : state) {
    const int id = aa_add_primitive(c, AA_TYPE_RECT | AA_TYPE_PROHIBIT, vector{0.4f, 0, 0}, vector{0, 0, 1.2f}, 0, s);
    benchmark::DoNotOptimize(id);
    aa_remove_primitive(id);
  }
  path_graph_free();
}
BENCHMARK(BM_add_and_remove_area)->Unit(benchmark::kMicrosecond);

}  // namespace

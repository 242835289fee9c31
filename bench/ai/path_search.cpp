// Path search against a textbook A* (binary heap, lazy deletion, arrays of
// g and closed flags indexed by node) over the same adjacency: on the demo
// level's graph and on generated lattices of 10,000 to 100,000 nodes with
// holes knocked out. Both start from cleared search state on every run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <queue>
#include <vector>

#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/ai/path_search_detail.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

struct Lattice {
  std::vector<PathPoint> points;
  std::vector<GraphNode> nodes;
  std::vector<GraphNode*> links;
  // The same adjacency as flat arrays for the baseline.
  std::vector<int> offsets, targets;
  int side = 0;
};

Lattice& lattice(int n) {
  static std::vector<std::pair<int, Lattice*>> made;
  for (auto& m : made)
    if (m.first == n) return *m.second;
  Lattice* L = new Lattice;
  L->side = static_cast<int>(std::ceil(std::sqrt(double(n))));
  const int side = L->side;
  L->points.resize(static_cast<size_t>(side) * side);
  L->nodes.resize(L->points.size());
  auto hole = [&](int x, int z) {
    // Walls with gaps: every 8th column is blocked except near its ends.
    return x % 8 == 4 && ((x / 8) % 2 == 0 ? z < side - 3 : z > 2);
  };
  for (int z = 0; z < side; z++)
    for (int x = 0; x < side; x++) L->points[z * side + x] = {float(x), float(z)};
  L->offsets.push_back(0);
  std::vector<std::vector<int>> adj(L->nodes.size());
  for (int z = 0; z < side; z++)
    for (int x = 0; x < side; x++) {
      if (hole(x, z)) continue;
      for (int dz = -1; dz <= 1; dz++)
        for (int dx = -1; dx <= 1; dx++) {
          const int nx = x + dx, nz = z + dz;
          if ((dx || dz) && nx >= 0 && nz >= 0 && nx < side && nz < side && !hole(nx, nz))
            adj[z * side + x].push_back(nz * side + nx);
        }
    }
  size_t total = 0;
  for (auto& a : adj) total += a.size();
  L->links.reserve(total);
  for (size_t i = 0; i < adj.size(); i++) {
    GraphNode& g = L->nodes[i];
    g = GraphNode{};
    g.point = &L->points[i];
    g.link_count = static_cast<int16_t>(adj[i].size());
    g.links = L->links.data() + L->links.size();
    for (int t : adj[i]) {
      L->links.push_back(&L->nodes[t]);
      L->targets.push_back(t);
    }
    L->offsets.push_back(static_cast<int>(L->targets.size()));
  }
  made.push_back({n, L});
  return *L;
}

// The far corner's node, or the nearest before it that is not a hole.
int last_open(const Lattice& L) {
  int i = static_cast<int>(L.points.size()) - 1;
  while (i > 0 && L.offsets[i + 1] == L.offsets[i]) i--;
  return i;
}

void install(Lattice& L) {
  path_graph_free();
  Path_graph.sectors[0][0].node_count = static_cast<int32_t>(L.nodes.size());
  Path_graph.sectors[0][0].nodes = L.nodes.data();
}

float ours(Lattice& L, int from, int to) {
  for (GraphNode& n : L.nodes) n.parent = nullptr;
  GraphNode* start = &L.nodes[from];
  start->parent = start;
  start->g = 0;
  int expanded = 0;
  path_astar_run(start, &L.nodes[to], nullptr, *L.nodes[to].point, 0, &expanded);
  return L.nodes[to].g;
}

float baseline(const Lattice& L, int from, int to) {
  const size_t n = L.points.size();
  std::vector<float> g(n, INFINITY);
  std::vector<char> closed(n, 0);
  using Item = std::pair<float, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
  auto h = [&](int i) { return std::hypot(L.points[i].x - L.points[to].x, L.points[i].z - L.points[to].z); };
  g[from] = 0;
  open.push({h(from), from});
  while (!open.empty()) {
    const int u = open.top().second;
    open.pop();
    if (closed[u]) continue;
    closed[u] = 1;
    if (u == to) break;
    for (int k = L.offsets[u]; k < L.offsets[u + 1]; k++) {
      const int v = L.targets[k];
      const float w = g[u] + std::hypot(L.points[u].x - L.points[v].x, L.points[u].z - L.points[v].z);
      if (w < g[v]) {
        g[v] = w;
        open.push({w + h(v), v});
      }
    }
  }
  return g[to];
}

void BM_lattice_ours(benchmark::State& state) {
  Lattice& L = lattice(static_cast<int>(state.range(0)));
  install(L);
  const int to = last_open(L);
  for (auto _ : state) benchmark::DoNotOptimize(ours(L, 0, to));
  state.counters["length"] = ours(L, 0, to);
  path_graph_free();
}
void BM_lattice_baseline(benchmark::State& state) {
  Lattice& L = lattice(static_cast<int>(state.range(0)));
  const int to = last_open(L);
  for (auto _ : state) benchmark::DoNotOptimize(baseline(L, 0, to));
  state.counters["length"] = baseline(L, 0, to);
}
BENCHMARK(BM_lattice_ours)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_lattice_baseline)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The demo level: the whole request (visibility of both ends, search,
// smoothing) round the L-shaped wall, and the search core between the two
// graph nodes farthest apart against the baseline over the same links.
struct Demo {
  std::vector<uint8_t> bytes;
  Lattice flat;
  Demo() {
    PfgLevel level;
    demo_graph_outdoor(level);
    bytes = pfg_bytes(pfg_build(level));
  }
  void load() {
    ReadStream in;
    in.open_memory(bytes.data(), static_cast<int>(bytes.size()));
    path_graph_read(in, static_cast<int>(bytes.size()), "demo_outdoor.pfg");
    path_pool_reset();
  }
};
Demo& demo() {
  static Demo d;
  return d;
}

void BM_demo_find_path(benchmark::State& state) {
  demo().load();
  for (auto _ : state) {
    vector goal{-10, 0, -1};
    PathNode* p = find_path(vector{-4, 0, -9}, 1, goal, 0, 0, 0.0f);
    benchmark::DoNotOptimize(p);
    path_free(p);
  }
}
BENCHMARK(BM_demo_find_path)->Unit(benchmark::kMicrosecond);

// The demo's size-class-0 nodes of both sectors as one flat list.
Lattice& demo_flat() {
  Demo& d = demo();
  if (!d.flat.nodes.empty()) return d.flat;
  d.load();
  std::vector<GraphNode*> all;
  for (int s = 0; s < PFG_SECTORS; s++)
    for (int i = 0; i < Path_graph.sectors[0][s].node_count; i++) all.push_back(&Path_graph.sectors[0][s].nodes[i]);
  Lattice& L = d.flat;
  L.points.resize(all.size());
  L.nodes.resize(all.size());
  L.offsets.push_back(0);
  for (size_t i = 0; i < all.size(); i++) L.points[i] = *all[i]->point;
  for (size_t i = 0; i < all.size(); i++) {
    for (int k = 0; k < all[i]->link_count; k++)
      for (size_t j = 0; j < all.size(); j++)
        if (all[j] == all[i]->links[k]) L.targets.push_back(static_cast<int>(j));
    L.offsets.push_back(static_cast<int>(L.targets.size()));
  }
  L.links.reserve(L.targets.size());
  for (size_t i = 0; i < all.size(); i++) {
    L.nodes[i] = GraphNode{};
    L.nodes[i].point = &L.points[i];
    L.nodes[i].link_count = static_cast<int16_t>(L.offsets[i + 1] - L.offsets[i]);
    L.nodes[i].links = L.links.data() + L.links.size();
    for (int k = L.offsets[i]; k < L.offsets[i + 1]; k++) L.links.push_back(&L.nodes[L.targets[k]]);
  }
  return L;
}

std::pair<int, int> far_pair(const Lattice& L) {
  std::pair<int, int> best{0, 0};
  float d = -1;
  for (size_t i = 0; i < L.points.size(); i++)
    for (size_t j = 0; j < L.points.size(); j++) {
      const float e = std::hypot(L.points[i].x - L.points[j].x, L.points[i].z - L.points[j].z);
      if (e > d && L.offsets[i + 1] > L.offsets[i] && L.offsets[j + 1] > L.offsets[j]) {
        d = e;
        best = {static_cast<int>(i), static_cast<int>(j)};
      }
    }
  return best;
}

void BM_demo_graph_ours(benchmark::State& state) {
  Lattice& L = demo_flat();
  install(L);
  const auto [a, b] = far_pair(L);
  for (auto _ : state) benchmark::DoNotOptimize(ours(L, a, b));
  state.counters["length"] = ours(L, a, b);
  path_graph_free();
}
void BM_demo_graph_baseline(benchmark::State& state) {
  Lattice& L = demo_flat();
  const auto [a, b] = far_pair(L);
  for (auto _ : state) benchmark::DoNotOptimize(baseline(L, a, b));
  state.counters["length"] = baseline(L, a, b);
}
BENCHMARK(BM_demo_graph_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_demo_graph_baseline)->Unit(benchmark::kMicrosecond);

}  // namespace

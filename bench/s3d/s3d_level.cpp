// Loading the larger demo level beside reading its bytes raw, and ray casts
// through towns of growing size beside a plain cull of the instances' boxes
// followed by a test of every triangle of those met.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Engine/s3d/collide.h"
#include "Engine/s3d/s3d.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/image_writers.h"

namespace {

std::string level_path;

void setup_level() {
  if (!level_path.empty()) return;
  const std::string dir = "/tmp/bench_s3d_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  LevelBuilder b;
  demo_level_outdoor(b);
  std::vector<uint8_t> grey(64 * 64 * 3, 128);
  for (const std::string& t : b.textures) tga_write_file(dir + "/" + t, grey.data(), 64, 64, 24);
  b.write_file(dir + "/" + DEMO_LEVEL_OUTDOOR);
  vfile_set_root(dir.c_str(), false);
  vfile_add_path_type("", ".s3d .tga");
  level_path = dir + "/" + DEMO_LEVEL_OUTDOOR;
  std::atexit([] { std::filesystem::remove_all(std::filesystem::path(level_path).parent_path()); });
}

// The load reads the level file only: the bitmap manager keeps the level's
// textures by name from the first load on (unloading leaves them, as the
// game does), and the lightmaps are inside the level file.
void BM_LoadLevel(benchmark::State& state) {
  setup_level();
  for (auto _ : state) {
    if (s3d_load(DEMO_LEVEL_OUTDOOR, &Level) != 0) state.SkipWithError("load failed");
    s3d_unload(&Level);
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(level_path));
}
BENCHMARK(BM_LoadLevel)->Unit(benchmark::kMicrosecond);

// The plain read of the same bytes: one read into a page-aligned buffer
// (faster here than stdio or than a buffer that does not start on a page).
char* read_all(const std::string& path, size_t size, char* buf) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  const bool ok = fd >= 0 && ::read(fd, buf, size) == static_cast<ssize_t>(size);
  if (fd >= 0) ::close(fd);
  return ok ? buf : nullptr;
}

void BM_ReadLevelBytes(benchmark::State& state) {
  setup_level();
  const size_t size = std::filesystem::file_size(level_path);
  char* buf = static_cast<char*>(std::aligned_alloc(4096, (size + 4095) & ~size_t(4095)));
  for (auto _ : state) {
    if (!read_all(level_path, size, buf)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buf);
  }
  std::free(buf);
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReadLevelBytes)->Unit(benchmark::kMicrosecond);

// A level whose textures the bitmap manager has not seen: each texture is
// looked up and its header read, as on the first load of a level.
void BM_LoadLevelNewTextures(benchmark::State& state) {
  setup_level();
  for (auto _ : state) {
    if (s3d_load(DEMO_LEVEL_OUTDOOR, &Level) != 0) state.SkipWithError("load failed");
    state.PauseTiming();
    s3d_unload(&Level);
    bm_close();  // the bitmap manager forgets the textures
    bm_init();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadLevelNewTextures)->Unit(benchmark::kMicrosecond);

// Its plain read: the level file, then each texture file's header.
void BM_ReadLevelAndTextureHeaders(benchmark::State& state) {
  setup_level();
  const size_t size = std::filesystem::file_size(level_path);
  char* buf = static_cast<char*>(std::aligned_alloc(4096, (size + 4095) & ~size_t(4095)));
  const std::string dir = std::filesystem::path(level_path).parent_path().string();
  LevelBuilder b;
  demo_level_outdoor(b);
  for (auto _ : state) {
    if (!read_all(level_path, size, buf)) state.SkipWithError("read failed");
    for (const std::string& t : b.textures) {
      char header[18];
      if (!read_all(dir + "/" + t, sizeof header, header)) state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(buf);
  }
  std::free(buf);
}
BENCHMARK(BM_ReadLevelAndTextureHeaders)->Unit(benchmark::kMicrosecond);

// Towns of 5, 10 and 20 blocks a side (54, 204 and 804 instances at one
// density), written once each beside the demo level.
void load_town(int side) {
  setup_level();
  const std::string name = "town" + std::to_string(side) + ".s3d";
  const std::string dir = std::filesystem::path(level_path).parent_path();
  if (!std::filesystem::exists(dir + "/" + name)) {
    LevelBuilder b;
    demo_level_town(b, side);
    b.write_file(dir + "/" + name);
  }
  if (s3d_load(name.c_str(), &Level) != 0) std::fprintf(stderr, "%s: load failed\n", name.c_str());
}

// Kind 0: what the game casts most, floor probes 40 units straight down and
// movement steps of 2 units; kind 1: long rays of 20 units in any
// direction, as picking and line-of-sight tests cast. Spread over the whole
// town, so a bigger town is not a denser one.
std::vector<CollisionQuery> rays(int kind, int side) {
  std::mt19937 gen(5);
  const float edge = side * DEMO_TOWN_BLOCK * 0.5f;
  std::uniform_real_distribution<float> xz(-edge, edge), y(0.5f, 6.0f), d(-1.0f, 1.0f);
  std::vector<CollisionQuery> out;
  for (int i = 0; i < 1024; i++) {
    CollisionQuery q{};
    q.start = vector{xz(gen), y(gen), xz(gen)};
    vector dir{d(gen), i % 2 ? -1.0f : d(gen) * 0.3f, d(gen)};
    dir.normalize();
    q.delta = dir * 20.0f;
    if (kind == 0 && i % 2) {
      q.start.y = 20.0f;
      q.delta = vector{0.0f, -40.0f, 0.0f};
    } else if (kind == 0) {
      q.start.y = 1.0f;
      q.delta = dir * 2.0f;
    }
    out.push_back(q);
  }
  return out;
}

void BM_RayTree(benchmark::State& state) {
  const int side = static_cast<int>(state.range(1));
  load_town(side);
  std::vector<CollisionQuery> qs = rays(static_cast<int>(state.range(0)), side);
  size_t i = 0, hits = 0;
  for (auto _ : state) {
    CollisionResult r;
    collide_level(&qs[i++ & 1023], &r);
    hits += r.count > 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_share"] = static_cast<double>(hits) / state.iterations();
  state.counters["instances"] = Level.instance_count;
}
BENCHMARK(BM_RayTree)->ArgsProduct({{0, 1}, {5, 10, 20}});

// The strongest plain form: every instance's world box in flat arrays, each
// tested against the segment, then every triangle of the boxes it meets.
// Each triangle is prepared once in world space: its plane (unnormalised
// normal and offset) in one array, which every ray reads through, and the two
// planes that give its barycentric coordinates in another, read only for the
// few whose plane the segment crosses. Of the plain triangle tests we tried
// this is the fastest (about 1.2x to 1.5x a Moller-Trumbore loop).
struct TriPlane {
  vector n;
  float d;
};
struct TriEdges {
  vector n1;
  float d1;
  vector n2;
  float d2;
  bool two_sided;
};

void BM_RayCullThenTriangles(benchmark::State& state) {
  const int side = static_cast<int>(state.range(1));
  load_town(side);
  std::vector<TriPlane> planes;
  std::vector<TriEdges> edges;
  const int n = Level.instance_count;
  std::vector<float> lo[3], hi[3];
  std::vector<int> first(n + 1, 0);
  for (int a = 0; a < 3; a++) lo[a].assign(n, FLT_MAX), hi[a].assign(n, -FLT_MAX);
  for (int i = 0; i < n; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    first[i] = static_cast<int>(planes.size());
    for (int f = 0; f < mi.mesh->face_count; f++) {
      const LevelFace& face = mi.mesh->faces[f];
      vector w[3];
      for (int k = 0; k < 3; k++) {
        mi.mesh->positions[face.v[k]].unrotated(w[k], mi.orient);
        w[k] += mi.pos;
        for (int a = 0; a < 3; a++) lo[a][i] = std::min(lo[a][i], w[k][a]), hi[a][i] = std::max(hi[a][i], w[k][a]);
      }
      const vector e1 = w[1] - w[0], e2 = w[2] - w[0];
      TriPlane p;
      e1.cross(p.n, e2);
      p.d = vector::dot(p.n, w[0]);
      const float inv = 1.0f / vector::dot(p.n, p.n);
      TriEdges e;
      e2.cross(e.n1, p.n);
      e.n1.scale(inv);
      e.d1 = -vector::dot(e.n1, w[0]);
      p.n.cross(e.n2, e1);
      e.n2.scale(inv);
      e.d2 = -vector::dot(e.n2, w[0]);
      e.two_sided = face.flags & FACE_TWO_SIDED;
      planes.push_back(p);
      edges.push_back(e);
    }
  }
  first[n] = static_cast<int>(planes.size());
  std::vector<CollisionQuery> qs = rays(static_cast<int>(state.range(0)), side);
  std::vector<int> met;
  met.reserve(n);
  size_t i = 0, hits = 0;
  for (auto _ : state) {
    const CollisionQuery& q = qs[i++ & 1023];
    float inv[3];
    for (int a = 0; a < 3; a++) inv[a] = 1.0f / q.delta[a];
    met.clear();
    for (int k = 0; k < n; k++) {
      float t0 = 0.0f, t1 = 1.0f;
      for (int a = 0; a < 3; a++) {
        const float ta = (lo[a][k] - q.start[a]) * inv[a], tb = (hi[a][k] - q.start[a]) * inv[a];
        t0 = std::max(t0, std::min(ta, tb));
        t1 = std::min(t1, std::max(ta, tb));
      }
      if (t0 <= t1) met.push_back(k);
    }
    float best = FLT_MAX;
    for (int m : met)
      for (int k = first[m]; k < first[m + 1]; k++) {
        const TriPlane& t = planes[k];
        const float s0 = vector::dot(t.n, q.start) - t.d;
        const float dn = vector::dot(t.n, q.delta);
        const float s1 = s0 + dn;
        if ((s0 > 0.0f && s1 > 0.0f) || (s0 < 0.0f && s1 < 0.0f) || dn == 0.0f) continue;
        const TriEdges& e = edges[k];
        if (dn > 0.0f && !e.two_sided) continue;
        const float tt = -s0 / dn;
        if (!(tt >= 0.0f && tt <= 1.0f && tt < best)) continue;
        const vector p = q.start + q.delta * tt;
        const float u = vector::dot(e.n1, p) + e.d1;
        if (u < 0.0f || u > 1.0f) continue;
        const float v = vector::dot(e.n2, p) + e.d2;
        if (v < 0.0f || u + v > 1.0f) continue;
        best = tt;
      }
    hits += best <= 1.0f;
    benchmark::DoNotOptimize(best);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_share"] = static_cast<double>(hits) / state.iterations();
  state.counters["instances"] = n;
}
BENCHMARK(BM_RayCullThenTriangles)->ArgsProduct({{0, 1}, {5, 10, 20}});

}  // namespace

// Posing character instances: 200 instances of a 32-bone character, each
// blending two cycles, advanced and skinned for one frame. Beside it, the
// floor: a plain loop that only slerps the two keys around the time for the
// same number of bone samples (no search, no blend, no hierarchy, no cache),
// in three forms: the library slerp, the polynomial slerp that blending
// uses (a batch at a time), and each key pair's arc worked out beforehand,
// as the key tracks keep it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/character_instance.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/mvf_writer.h"
#include "tools/writers/vim_writer.h"

namespace {

constexpr int kBones = 32;
constexpr int kInstances = 200;
constexpr int kKeys = 5;

MvfWriterAnim cycle(float amplitude, int span) {
  MvfWriterAnim a;
  a.last_tick = span;
  for (int b = 0; b < kBones; ++b) {
    MvfWriterBone bone;
    for (int k = 0; k < kKeys; ++k) {
      MvfWriterRotationKey r;
      r.tick = span * k / (kKeys - 1);
      const float h = amplitude * std::sin(k + b * 0.3f) * 0.5f;
      r.q = {std::sin(h), 0, 0, std::cos(h)};
      bone.rotations.push_back(r);
    }
    MvfWriterPositionKey p0, p1;
    p0.value = p0.in_control = p0.out_control = {0, 0.1f, 0};
    p1 = p0;
    p1.tick = span;
    bone.positions = {p0, p1};
    a.bones.push_back(bone);
  }
  return a;
}

struct World {
  BaseCharacter* bc = nullptr;
  int walk = -1, run = -1;
  World() {
    const auto dir = std::filesystem::temp_directory_path() / "orrimund_bench_ca";
    std::filesystem::create_directories(dir);
    const std::string root = dir.string() + "/";
    VimWriterMesh m;
    VimWriterGroup g;
    g.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    g.faces = {{{0, 1, 2}, 0}};
    m.groups = {g};
    for (int b = 0; b < kBones; ++b) {
      VimWriterBone bone;
      bone.name = "bone" + std::to_string(b);
      bone.parent = b - 1;
      m.bones.push_back(bone);
    }
    vim_write_file(root + "chain.vim", m);
    mvf_write_file(root + "chain_walk.mvf", cycle(0.6f, 5120));
    mvf_write_file(root + "chain_run.mvf", cycle(0.9f, 3200));
    vfile_set_root(root.c_str(), false);
    bm_init();
    character_instance_system_init(-1);
    const char* names[] = {"chain"};
    bc = base_character_load(names, 1, nullptr, nullptr);
    walk = base_character_add_skeleton(bc, "chain_walk.mvf", "walk", 1, 0, 0, 0);
    run = base_character_add_skeleton(bc, "chain_run.mvf", "run", 1, 0, 0, 0);
  }
};

World& world() {
  static World w;
  return w;
}

void BM_PoseInstances(benchmark::State& state) {
  World& w = world();
  std::vector<std::unique_ptr<character_instance>> all;
  for (int i = 0; i < kInstances; ++i) {
    all.push_back(std::make_unique<character_instance>(w.bc));
    all.back()->set_anim_weight(w.walk, 0.7f);
    all.back()->set_anim_weight(w.run, 0.3f + 0.001f * i);
  }
  for (auto _ : state) {
    for (auto& ci : all) {
      ci->process(1.0f / 30.0f, 0, 0);
      ci->setup_matrices();
    }
    benchmark::DoNotOptimize(all[0]->skin[kBones - 1]);
  }
  // Bone samples: every bone of every instance evaluates two animations.
  state.SetItemsProcessed(state.iterations() * kInstances * kBones * 2);
}
BENCHMARK(BM_PoseInstances)->Unit(benchmark::kMicrosecond);

// The floors advance a frame at a time through the walk, as a pose does:
// the key pair around the next frame's tick.
int next_key(int& tick) {
  tick = (tick + 160) % 5120;
  return tick * (kKeys - 1) / 5120;
}

void BM_SlerpFloor(benchmark::State& state) {
  World& w = world();
  const skeleton* s = w.bc->anims[w.walk];
  int tick = 0;
  for (auto _ : state) {
    quaternion sum{0, 0, 0, 0};
    const int k = next_key(tick);
    for (int n = 0; n < kInstances * 2; ++n) {
      for (int b = 0; b < kBones; ++b) {
        const BoneTrack& t = s->bone_tracks[b];
        quaternion q1, q2, out;
        t.rotations[k].q.to_quaternion(q1);
        t.rotations[k + 1].q.to_quaternion(q2);
        quaternion_slerp(out, q1, q2, 0.37f);
        sum.w += out.w;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kInstances * kBones * 2);
}
BENCHMARK(BM_SlerpFloor)->Unit(benchmark::kMicrosecond);

void BM_FastSlerpFloor(benchmark::State& state) {
  World& w = world();
  const skeleton* s = w.bc->anims[w.walk];
  const int samples = kInstances * 2 * kBones;
  std::vector<quaternion> a(samples), b(samples), out(samples);
  std::vector<float> t(samples, 0.37f);
  int tick = 0;
  for (auto _ : state) {
    const int k = next_key(tick);
    for (int n = 0; n < samples; ++n) {
      const BoneTrack& tr = s->bone_tracks[n % kBones];
      tr.rotations[k].q.to_quaternion(a[n]);
      tr.rotations[k + 1].q.to_quaternion(b[n]);
    }
    quaternion_slerp_fast_many(out.data(), a.data(), b.data(), t.data(), samples);
    benchmark::DoNotOptimize(out[samples - 1]);
  }
  state.SetItemsProcessed(state.iterations() * kInstances * kBones * 2);
}
BENCHMARK(BM_FastSlerpFloor)->Unit(benchmark::kMicrosecond);

void BM_ArcFloor(benchmark::State& state) {
  World& w = world();
  const skeleton* s = w.bc->anims[w.walk];
  std::vector<packed_slerp_arc> arcs(kBones * (kKeys - 1));
  for (int b = 0; b < kBones; ++b) {
    const BoneTrack& t = s->bone_tracks[b];
    for (int k = 0; k + 1 < kKeys; ++k) arcs[b * (kKeys - 1) + k].prepare(t.rotations[k].q, t.rotations[k + 1].q);
  }
  int tick = 0;
  for (auto _ : state) {
    quaternion sum{0, 0, 0, 0};
    const int k = next_key(tick);
    for (int n = 0; n < kInstances * 2; ++n) {
      for (int b = 0; b < kBones; ++b) {
        quaternion out;
        arcs[b * (kKeys - 1) + k].sample_unpacked(out, 0.37f);
        sum.w += out.w;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kInstances * kBones * 2);
}
BENCHMARK(BM_ArcFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

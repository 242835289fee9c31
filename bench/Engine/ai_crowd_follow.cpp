// The AI frame of 50, 100 and 175 creatures walking planned paths through
// one another in a crowd on the world kit (think step, path following with
// steering round the others, movement), against a plain loop over flat
// arrays doing the same steering sums: for every walker, the closest
// approach time and predicted distance to each other walker within reach,
// a turn toward its aim and a step along its heading.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "tests/support/world_kit.h"

namespace {

// Walkers start on two facing lines and cross to the other side, then back.
vector start_of(int i, int n) {
  const int rows = (n + 1) / 2;
  const float z = static_cast<float>(i / 2) * (40.0f / static_cast<float>(rows)) - 20.0f;
  return vector(i % 2 ? 12.0f : -12.0f, 0.0f, z);
}

void BM_AiCrowdFollow(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WorldKit kit;
  ai_install_core();
  ai_init_tables();
  ai_set_driver_hooks(AiDriverHooks{});
  ai_behaviour_install();
  const int rat = kit.type("Rat");
  std::vector<living_entity*> crowd;
  for (int i = 0; i < n; i++) {
    living_entity* e = kit.spawn(rat, start_of(i, n));
    e->flags |= OF_KEEP_FLOOR;  // always updated: no culling shortcut
    e->set_team(1);             // nobody picks a fight
    ai_set_state(&e->ai, AI_STATE_IDLE, 0);
    crowd.push_back(e);
  }
  for (auto _ : state) {
    state.PauseTiming();
    for (living_entity* e : crowd)
      if (e->ai.state == AI_STATE_IDLE) {
        const vector goal(-e->pos.x, 0.0f, e->pos.z + 1.0f);
        ai_queue_walk_to(&e->ai, goal, 0, false, 1000);
      }
    state.ResumeTiming();
    kit.advance(1.0f / 30.0f);
    ai_frame(1.0f / 30.0f);
  }
  ai_set_driver_hooks(AiDriverHooks{});
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AiCrowdFollow)->Arg(50)->Arg(100)->Arg(175);

struct Walker {
  float x, z, vx, vz, heading, speed, radius, aim_x, aim_z;
};

void BM_FlatSteeringBaseline(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Walker> w(n);
  for (int i = 0; i < n; i++) {
    const vector p = start_of(i, n);
    w[i] = {p.x, p.z, 0, 0, i % 2 ? 3.14159f * 1.5f : 3.14159f * 0.5f, 1.5f, 0.47f, -p.x, p.z};
  }
  const float dt = 1.0f / 30.0f;
  for (auto _ : state) {
    for (int i = 0; i < n; i++) {
      Walker& a = w[i];
      const float fx = std::sin(a.heading), fz = std::cos(a.heading);
      const float vx = fx * a.speed, vz = fz * a.speed;
      float best_t = 1e30f;
      int best = -1;
      for (int j = 0; j < n; j++) {
        if (j == i) continue;
        const Walker& b = w[j];
        const float tx = b.x - a.x, tz = b.z - a.z;
        if (tx * tx + tz * tz >= 50.0f || tx * fx + tz * fz <= 0.0f) continue;
        const float dvx = b.vx - vx, dvz = b.vz - vz;
        const float l2 = dvx * dvx + dvz * dvz;
        const float t = l2 < 0.0001f ? 0.0f : ((a.x - b.x) * dvx + (a.z - b.z) * dvz) / l2;
        if (!(t > 0.0f && t < 1.0f)) continue;
        const float px = (a.x + vx * t) - (b.x + b.vx * t), pz = (a.z + vz * t) - (b.z + b.vz * t);
        const float reach = 1.25f * (a.radius + b.radius);
        if (px * px + pz * pz < reach * reach && t < best_t) best_t = t, best = j;
      }
      float aim_x = a.aim_x, aim_z = a.aim_z;
      if (best >= 0) aim_x = a.x + fz, aim_z = a.z - fx;
      const float want = std::atan2(aim_x - a.x, aim_z - a.z);
      float d = want - a.heading;
      while (d > 3.14159f) d -= 6.28318f;
      while (d < -3.14159f) d += 6.28318f;
      const float step = 4.0f * dt;
      a.heading += std::fabs(d) <= step ? d : (d > 0 ? step : -step);
      a.vx = std::sin(a.heading) * a.speed;
      a.vz = std::cos(a.heading) * a.speed;
      a.x += a.vx * dt;
      a.z += a.vz * dt;
      if (std::fabs(a.x) > 12.0f) a.aim_x = -a.aim_x;
    }
    benchmark::DoNotOptimize(w.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FlatSteeringBaseline)->Arg(50)->Arg(100)->Arg(175);

}  // namespace

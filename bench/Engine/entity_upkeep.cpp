// The per-frame upkeep of living entities (movement step with eased speed,
// blend and root motion, floor settling, timers, action points, the 18
// status slots with their ticks, footsteps) for 50, 100 and 175 entities on
// the world kit, against a plain loop doing the same arithmetic over flat
// arrays: speed easing, the blend, the motion, the floor height, the timers
// and the status slots' end and tick checks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

constexpr float kDt = 1.0f / 30.0f;

void BM_EntityUpkeep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WorldKit kit;
  const int rat = kit.type("Rat");
  for (int i = 0; i < n; i++) {
    living_entity* e = kit.spawn(rat, {static_cast<float>(i % 15) * 3.0f, 0, static_cast<float>(i / 15) * 3.0f});
    e->set_team(1);
    e->set_move_mode(i % 3 == 0 ? 0.0f : 1.5f);
    e->apply_status_effect(STATUS_REGEN, 1000000, -1, 1.0f, -1, false);
    if (i % 2) e->apply_status_effect(STATUS_POISON, 1000000, -1, -1.0f, -1, false);
  }
  for (auto _ : state) {
    kit.advance(kDt);
    entities_live_frame(kDt);
    entities_footsteps_frame(kDt);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_EntityUpkeep)->Arg(50)->Arg(100)->Arg(175);

// The same work as plain arrays: one struct of arrays, no hooks, no lists.
struct Flat {
  std::vector<float> x, y, z, speed, desired, blend, timer, float_time;
  std::vector<int> ap, ap_timer;
  std::vector<int> status_end, status_tick, status_period;
  std::vector<float> status_strength, hp;
  std::vector<float> anim_time;
  std::vector<int> steps;
};

void BM_PlainUpkeep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Flat f;
  for (auto* v : {&f.x, &f.y, &f.z, &f.speed, &f.desired, &f.blend, &f.timer, &f.float_time, &f.hp, &f.anim_time}) {
    v->assign(n, 0.0f);
  }
  f.ap.assign(n, 0);
  f.ap_timer.assign(n, 7500);
  f.steps.assign(n, 0);
  f.status_end.assign(n * 18, -1);
  f.status_tick.assign(n * 18, -1);
  f.status_period.assign(n * 18, 0);
  f.status_strength.assign(n * 18, 0.0f);
  for (int i = 0; i < n; i++) {
    f.desired[i] = i % 3 == 0 ? 0.0f : 1.5f;
    f.hp[i] = 30.0f;
    f.status_end[i * 18 + 5] = 1000000;
    f.status_period[i * 18 + 5] = 20000;
    f.status_tick[i * 18 + 5] = 20000;
    if (i % 2) {
      f.status_end[i * 18 + 11] = 1000000;
      f.status_period[i * 18 + 11] = 10000;
      f.status_tick[i * 18 + 11] = 10000;
    }
  }
  const float walk = 1.5f, run = 4.0f, up = 2.0f, down = 3.0f;
  int now = 1000;
  for (auto _ : state) {
    now += 33;
    for (int i = 0; i < n; i++) {
      float s = f.speed[i];
      if (s < f.desired[i]) s = std::fmin(s + up * kDt, f.desired[i]);
      else if (s > f.desired[i]) s = std::fmax(s - down * kDt, f.desired[i]);
      f.speed[i] = s;
      const float b = s <= walk ? s / (2 * walk) : 0.5f + (s - walk) / (2 * (run - walk));
      f.blend[i] = b;
      const float motion = b < 0.5f ? 2 * b * walk : walk * (2 - 2 * b) + run * (2 * b - 1);
      bool blocked = false;
      if (s >= 0.001f) {
        const float px = f.x[i], pz = f.z[i] + motion * kDt;
        for (int o = 0; o < n && !blocked; o++) {
          if (o == i) continue;
          const float dx = px - f.x[o], dz = pz - f.z[o], rs = 0.94f * 0.75f;
          blocked = dx * dx + dz * dz < rs * rs && std::fabs(f.y[i] - f.y[o]) < 1.8f;
        }
      }
      if (!blocked) f.z[i] += motion * kDt;
      f.y[i] = 0.0f;  // the flat floor
      f.timer[i] = std::fmax(f.timer[i] - kDt, 0.0f);
      f.float_time[i] = std::fmax(f.float_time[i] - kDt, 0.0f);
      if (now >= f.ap_timer[i]) {
        f.ap[i] += 1;
        f.ap_timer[i] = now + 7500;
      }
      for (int k = 0; k < 18; k++) {
        const int at = i * 18 + k;
        if (f.status_end[at] < 0) continue;
        if (f.status_period[at] > 0 && now >= f.status_tick[at]) {
          f.hp[i] = std::fmax(f.hp[i] + f.status_strength[at], 0.0f);
          f.status_tick[at] = now + f.status_period[at];
        }
        if (now >= f.status_end[at]) f.status_end[at] = -1;
      }
      const float before = f.anim_time[i];
      f.anim_time[i] = std::fmod(before + kDt, 1.0f);
      if (motion > 0.0f && f.anim_time[i] < before) f.steps[i]++;
    }
    benchmark::DoNotOptimize(f.z.data());
    benchmark::DoNotOptimize(f.hp.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PlainUpkeep)->Arg(50)->Arg(100)->Arg(175);

}  // namespace

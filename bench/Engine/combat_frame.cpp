// One combat frame of fighters in pairs on the world kit: each fighter
// rolls its blow against its opponent (weights, shares, one roll), computes
// the damage (armour, spread, resistance factors, position, critical) and
// takes it off the opponent's hit points. Against a plain loop doing the
// same hit arithmetic over flat arrays. 40, 80 and 160 fighters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/living_entity.h"
#include "quarn/math/floatops.h"
#include "tests/support/world_kit.h"

namespace {

void BM_CombatFrame(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WorldKit kit;
  Debug_death = false;  // blows land without anyone dying mid-measure
  const int rat = kit.type("Rat");
  std::vector<living_entity*> f;
  for (int i = 0; i < n; i++) {
    const float x = static_cast<float>(i / 2) * 3.0f, z = static_cast<float>(i % 2);
    living_entity* e = kit.spawn(rat, {x, 0, z});
    e->orient = i % 2 ? matrix(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1)) : e->orient;
    e->stats[0] = 60;
    e->stats[9] = 30;
    e->stats[11] = 30;
    f.push_back(e);
  }
  for (int i = 0; i < n; i++) f[i]->combat.target = f[i ^ 1]->handle;
  float total = 0.0f;
  for (auto _ : state) {
    for (int i = 0; i < n; i++) {
      combat_state& c = f[i]->combat;
      living_entity* v = f[i ^ 1];
      c.attack_type = CS_NONE;
      v->combat.phase = CP_IDLE;
      v->combat.hit_chance(&c, false);
      if (c.hits > 0) {
        const float d = c.compute_damage();
        v->change_hp(-d, f[i]->handle);
        total += d;
      }
    }
  }
  benchmark::DoNotOptimize(total);
  Debug_death = true;
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CombatFrame)->Arg(40)->Arg(80)->Arg(160);

// The same arithmetic over flat arrays: stats, positions, facings, armour,
// resistances and hit points side by side.
void BM_PlainHitLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> hit(n, 0.6f), parry(n, 0.3f), dodge(n, 0.3f), blend(n, 0.0f), hp(n, 1e9f);
  std::vector<float> damage(n, 6.0f), level(n, 1.0f), armour(n, 0.01f), resist(n, 0.5f), crit(n, 0.0f);
  std::vector<float> x(n), y(n, 0.0f), z(n), fz(n);
  for (int i = 0; i < n; i++) {
    x[i] = static_cast<float>(i / 2) * 3.0f;
    z[i] = static_cast<float>(i % 2);
    fz[i] = i % 2 ? -1.0f : 1.0f;
  }
  float total = 0.0f;
  for (auto _ : state) {
    for (int i = 0; i < n; i++) {
      const int v = i ^ 1;
      const float H = hit[i], P = parry[v];
      float D = dodge[v] * 0.5f;
      if (blend[v] > 0.5f) D = 0.0f;
      const float T = H + D + P;
      const float sp = T > 0 ? P / T : 0.0f, sd = T > 0 ? D / T : 0.0f;
      const float r = frand();
      if (r < sp + sd) continue;
      const float absorb = std::min(0.5f * armour[v], 0.75f);
      const float b0 = damage[i] * 0.1f * (0.5f * level[i] + 1.0f);
      const float b = (frand() - 0.5f) * b0 * 0.6f + b0;
      const float f = 1.0f - resist[v];
      float p = y[i] > y[v] + 0.25f ? 0.25f : y[i] < y[v] - 0.25f ? -0.25f : 0.0f;
      const float ux = x[v] - x[i], uz = z[v] - z[i], len = std::sqrt(ux * ux + uz * uz);
      if (len > 0 && uz / len * fz[v] >= 0.0f) p += 0.15f;
      float d = f * (1.0f - absorb) * b * (1.0f + p);
      if (crit[i] > 0 && crit[i] > frand()) d *= 2.0f;
      d = std::floor(d);
      hp[v] -= d;
      total += d;
    }
  }
  benchmark::DoNotOptimize(total);
  benchmark::DoNotOptimize(hp.data());
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PlainHitLoop)->Arg(40)->Arg(80)->Arg(160);

}  // namespace

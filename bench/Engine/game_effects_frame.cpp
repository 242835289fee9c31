// One frame of game effects on the world kit: missiles flying toward
// targets far away (each turns toward its target's middle and steps 12
// units a second), then the zone test of every entity. Against a plain loop
// doing the same steering over flat arrays. 12, 24 and 48 missiles.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/living_entity.h"
#include "tests/support/world_kit.h"

namespace {

constexpr float Dt = 1.0f / 30.0f;

void BM_EffectsFrame(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WorldKit kit;
  kit.fx_length["missile.vfx"] = 1e9f;
  const int rat = kit.type("Rat");
  for (int i = 0; i < n; i++) {
    living_entity* t = kit.spawn(rat, {static_cast<float>(i) * 2.0f, 0, 1e6f}, OBJ_CREATURE, 1, true);
    fx_add_homing_effect("missile.vfx", 24, vector(static_cast<float>(i) * 2.0f, 1, 0), -1, t->handle);
  }
  for (auto _ : state) fx_frame(Dt, false);
  state.SetItemsProcessed(state.iterations() * n);
  fx_reset();
}
BENCHMARK(BM_EffectsFrame)->Arg(12)->Arg(24)->Arg(48);

// The same flight over flat arrays: aim at the target's middle, normalise,
// step, face the way it flies.
void BM_PlainFlightLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<vector> pos(n), target(n);
  std::vector<matrix> orient(n);
  for (int i = 0; i < n; i++) {
    pos[i] = vector(static_cast<float>(i) * 2.0f, 1, 0);
    target[i] = vector(static_cast<float>(i) * 2.0f, 0, 1e6f);
  }
  for (auto _ : state) {
    for (int i = 0; i < n; i++) {
      const vector aim = target[i] + vector(0, 0.9f, 0);
      vector d = aim - pos[i];
      const float len = d.length();
      if (len <= 12.0f * Dt) continue;
      d = d * (1.0f / len);
      pos[i] = pos[i] + d * (12.0f * Dt);
      orient[i] = matrix::from_forward(d);
    }
    benchmark::DoNotOptimize(pos.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PlainFlightLoop)->Arg(12)->Arg(24)->Arg(48);

}  // namespace

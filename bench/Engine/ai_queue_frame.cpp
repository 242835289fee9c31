// One AI think pass (refresh, sort and start of the head) for 50, 100 and
// 175 entities whose five queue slots are all full, against a plain loop over
// flat arrays doing the same checks: the verdict of each slot from its type
// and the entity's state, a sort of five priorities, and the head test.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "tests/support/world_kit.h"

namespace {

void fill(ai_component* ai, int seed) {
  ai_queue_clear(ai);
  for (int s = 0; s < AI_QUEUE_LENGTH; ++s) {
    const vector p(float(s + seed), 0, float(seed));
    ai_queue_add(ai, 13, 10 + s * 7 + seed % 5, 0, -1, &p, s, AI_NO_SPELL, 0.5f);
  }
}

void BM_AiQueueFrame(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<ai_component> ais(n);
  for (int i = 0; i < n; ++i) {
    ai_set_state(&ais[i], AI_STATE_IDLE, 0);
    fill(&ais[i], i);
  }
  for (auto _ : state) {
    for (ai_component& ai : ais) {
      // IDLE restarts the head every pass, so each pass does the full work.
      ai.state = AI_STATE_IDLE;
      ai_queue_execute(&ai);
    }
    benchmark::DoNotOptimize(ais.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AiQueueFrame)->Arg(50)->Arg(100)->Arg(175);

// The whole AI frame of the driver over live entities on the world kit,
// each with five queued orders: culling, the think step on its timer with
// the queue, and the entity's movement and upkeep. Its share beyond the
// upkeep alone is the upkeep bench's figure subtracted.
void BM_AiDriverFrame(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  WorldKit kit;
  ai_install_core();
  const int rat = kit.type("Rat");
  for (int i = 0; i < n; i++) {
    living_entity* e = kit.spawn(rat, {static_cast<float>(i % 15) * 3.0f, 0, static_cast<float>(i / 15) * 3.0f});
    e->flags |= OF_KEEP_FLOOR;  // always updated: no culling shortcut
    fill(&e->ai, i);
  }
  for (auto _ : state) {
    kit.advance(1.0f / 30.0f);
    ai_frame(1.0f / 30.0f);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AiDriverFrame)->Arg(50)->Arg(100)->Arg(175);

struct Flat {
  int state[AI_QUEUE_LENGTH];
  int type[AI_QUEUE_LENGTH];
  int priority[AI_QUEUE_LENGTH];
  unsigned flags[AI_QUEUE_LENGTH];
  int ai_state, sub_state;
  unsigned head_serial;
};

void BM_FlatArrayBaseline(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Flat> f(n);
  for (int i = 0; i < n; ++i)
    for (int s = 0; s < AI_QUEUE_LENGTH; ++s) {
      f[i].type[s] = 13;
      f[i].priority[s] = 10 + s * 7 + i % 5;
      f[i].flags[s] = 2;
    }
  for (auto _ : state) {
    for (Flat& e : f) {
      e.ai_state = AI_STATE_IDLE;
      for (int s = 0; s < AI_QUEUE_LENGTH; ++s) {
        const bool suspend = e.ai_state == AI_STATE_DISABLED;
        e.flags[s] = suspend ? e.flags[s] | 8 : e.flags[s] & ~8u;
      }
      int order[AI_QUEUE_LENGTH] = {0, 1, 2, 3, 4};
      std::sort(order, order + AI_QUEUE_LENGTH, [&](int a, int b) { return e.priority[a] > e.priority[b]; });
      const int h = order[0];
      if (!(e.flags[h] & 8)) {
        e.head_serial = static_cast<unsigned>(h);
        e.ai_state = AI_STATE_TRAVELING;
        e.sub_state = 8;
      }
    }
    benchmark::DoNotOptimize(f.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FlatArrayBaseline)->Arg(50)->Arg(100)->Arg(175);

}  // namespace

BENCHMARK_MAIN();

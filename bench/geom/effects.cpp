// Effects for one frame: 6,000 emitter items moved under gravity (50
// emitters of 120 live items, one effect frame of 1/15 s in two sub-steps),
// 3,000 VIF particles (30 emitters of 100), and 10,000 key-track samples
// read forward. Beside each, the plain loop that does the same arithmetic on
// a flat array with nothing else (no lists, no fixed point, no decoding).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_keys.h"
#include "quarn/geom/vif_emitter.h"
#include "quarn/math/floatops.h"
#include "tools/writers/effect_writer.h"

namespace {
struct EmitterWorld {
  std::vector<uint8_t> file;
  EffectImage img;
  std::vector<EffectEmitter*> emitters;
  float frame = 1.0f;

  EmitterWorld() {
    EffectDefSpec d;
    d.name = "bench";
    EffectEmitterSpec e;
    e.name = "jet";
    e.item_count = 120;
    e.flags = EMITTER_GRAVITY;
    e.lifetime_ticks = 4800 * 100;
    for (auto& t : e.position) t = effect_track_constant(0, 4000);
    e.rate = effect_track_frames({static_cast<int16_t>(120 * 4096 / 320)});
    d.emitters = {e};
    file = effect_file_build({d});
    img = effect_file_view(file);
    const uint32_t def = effect_image_def_offset(img, 0);
    effect_emitter_pool_reset();
    for (int i = 0; i < 50; i++) {
      EffectEmitter* em = effect_emitter_alloc();
      effect_emitter_bind_def(em, &img, def, effect_def_array(img, def, EFFECT_ARRAY_EMITTER).record(0));
      effect_emitter_take_items(em, 120);
      effect_emitter_step(em, 1.0f, nullptr, nullptr, false);  // spawns all 120
      emitters.push_back(em);
    }
  }
};

void BM_EmitterItems6000(benchmark::State& state) {
  EmitterWorld w;
  int live = 0;
  for (EffectEmitter* e : w.emitters) live += e->live;
  for (auto _ : state) {
    w.frame += 1.0f;
    if (static_cast<int>(w.frame) % 1000 == 0) {  // keep ages far from the lifetime
      state.PauseTiming();
      for (EffectEmitter* e : w.emitters)
        for (EffectItem* it = e->items; it; it = it->next) it->age = 0;
      state.ResumeTiming();
    }
    for (EffectEmitter* e : w.emitters) effect_emitter_step(e, w.frame, nullptr, nullptr, false);
  }
  state.counters["items"] = live;
  state.SetItemsProcessed(state.iterations() * live);
}
BENCHMARK(BM_EmitterItems6000);

struct PlainItem {
  float age, lifetime;
  vector velocity, position;
};
void BM_PlainItems6000(benchmark::State& state) {
  std::vector<PlainItem> items(6000);
  for (auto& it : items) it = {0.0f, 100.0f, {0, 1, 0}, {0, 0, 0}};
  const float dt = 1.0f / 15.0f, h = dt / 2;
  for (auto _ : state) {
    for (auto& it : items) {
      it.age += dt;
      if (it.age >= it.lifetime) it.age = 0;
    }
    for (int s = 0; s < 2; s++)
      for (auto& it : items) {
        const vector v0 = it.velocity;
        it.velocity.y -= 9.8f * h;
        it.position += (v0 + it.velocity) * (0.5f * h);
      }
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * 6000);
}
BENCHMARK(BM_PlainItems6000);

void BM_VifParticles3000(benchmark::State& state) {
  vif_emitter_pool_reset();
  VifEmitterDef d;
  d.count = 100;
  d.flags = VIF_ENABLED | VIF_GRAVITY;
  d.lifetime = 1e6f;
  d.speed = 1.0f;
  d.radius = 0.5f;
  d.orient.identity();
  d.interval.count = 1;
  d.interval.value[0] = 0.001f;
  std::vector<vif_particle_emitter*> es;
  for (int i = 0; i < 30; i++) {
    vif_particle_emitter* e = vif_emitter_instantiate(d, false);
    vif_emitter_update(e, d, true, nullptr, nullptr, 0.2f, 0.2f);  // fills all 100
    es.push_back(e);
  }
  float t = 0.2f;
  for (auto _ : state) {
    t += 1.0f / 30.0f;
    for (vif_particle_emitter* e : es) vif_emitter_update(e, d, false, nullptr, nullptr, t, 1.0f / 30.0f);
  }
  int live = 0;
  for (vif_particle_emitter* e : es) live += e->live;
  state.counters["particles"] = live;
  state.SetItemsProcessed(state.iterations() * live);
}
BENCHMARK(BM_VifParticles3000);

void BM_PlainParticles3000(benchmark::State& state) {
  std::vector<PlainItem> ps(3000);
  for (auto& p : ps) p = {0.0f, 1e6f, {0, 1, 0}, {0, 0, 0}};
  const float dt = 1.0f / 30.0f;
  for (auto _ : state) {
    for (auto& p : ps) {
      if (p.age < p.lifetime) {
        p.velocity.y -= 9.8f * dt;
        p.position += p.velocity * dt;
        p.age = std::min(p.age + dt, p.lifetime);
      }
    }
    benchmark::DoNotOptimize(ps.data());
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}
BENCHMARK(BM_PlainParticles3000);

void BM_KeyTrackDecode10000(benchmark::State& state) {
  std::vector<int16_t> values;
  for (int f = 0; f < 10000; f++) values.push_back(static_cast<int16_t>((f * 6) & 0x7FFE));
  const EffectTrackSpec spec = effect_track_frames(values);
  // As tracks of an image come: decoded when resolved. range(0) 0 reads the
  // stream itself instead.
  EffectKeyTrack t = effect_key_track_make(spec.stream.data(), static_cast<uint16_t>(spec.stream.size()), 0, false);
  if (state.range(0)) t = effect_key_track_decode(t);
  for (auto _ : state) {
    EffectKeyState st;
    int sum = 0;
    for (int f = 0; f < 10000; f++) sum += effect_key_track_value(t, st, f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_KeyTrackDecode10000)->Arg(1)->Arg(0);

void BM_PlainKeyArray10000(benchmark::State& state) {
  std::vector<int16_t> values;
  for (int f = 0; f < 10000; f++) values.push_back(static_cast<int16_t>((f * 6) & 0x7FFE));
  for (auto _ : state) {
    int sum = 0;
    for (int f = 0; f < 10000; f++) {
      benchmark::DoNotOptimize(f);
      sum += values[static_cast<size_t>(f)];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PlainKeyArray10000);
}  // namespace

BENCHMARK_MAIN();

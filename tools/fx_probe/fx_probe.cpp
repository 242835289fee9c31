// fx_probe: asks for the demo effects through the file layer and the asset
// preload queue as the game does, prints where each image was placed and
// what the placements evicted, then runs the effects' emitters for some
// frames of 1/15 s and prints their live counts and bounds:
//
//   fx_probe [frames]            (default 60)
//
// Placement lines:  place <name> file <file> pool <pool> at <preload|small N|large N|big|level|none>
// Eviction lines:   evicted <file>   /   restored <file>
// Frame lines:      frame <n> <element> live <count> [min <x> <y> <z> max <x> <y> <z>]
// Exit 0; 1 when the effect list or an effect cannot be had.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quarn/vfile/preload.h"
#include "Orrimund/fs_paths.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/vif_emitter.h"
#include "quarn/os/memory.h"

namespace {
alignas(64) uint8_t Level_bytes[1 << 20];
MemArena Level_arena;

std::string where(int base) {
  const EffectBase* b = effect_base_at(base);
  if (!b || !b->resident()) return "none";
  if (b->flags & EFB_OUTSIDE) return "level";
  for (int s = 0; s < EFFECT_SLOTS; s++) {
    if (effect_small_slot(s) == base) return "small " + std::to_string(s);
    if (effect_large_slot(s) == base) return "large " + std::to_string(s);
  }
  if (b->pool() == EFFECT_POOL_PRELOAD) return "preload";
  if (b->pool() == EFFECT_POOL_CUTSCENE) return "big";
  return "arena";
}

std::vector<bool> resident_now() {
  std::vector<bool> r;
  for (int i = 0; i < effect_base_count(); i++) r.push_back(effect_base_at(i)->resident());
  return r;
}

void print_changes(const std::vector<bool>& before) {
  for (int i = 0; i < effect_base_count(); i++) {
    const bool now = effect_base_at(i)->resident();
    if (before[i] && !now) std::printf("evicted %s\n", effect_base_at(i)->filename);
    if (!before[i] && now) std::printf("restored %s\n", effect_base_at(i)->filename);
  }
}

bool place(const char* name) {
  int index = -1;
  const std::vector<bool> before = resident_now();
  EffectDefRef ref = effect_base_find(name, &index);
  if (!ref) {
    std::printf("place %s at none\n", name);
    return false;
  }
  const EffectBase* b = effect_base_at(ref.base);
  std::printf("place %s file %s pool %s at %s\n", name, b->filename, effect_pool_name(b->pool()),
              where(ref.base).c_str());
  std::fflush(stdout);
  print_changes(before);
  return true;
}

struct Running {
  std::string name;
  int length;
  bool loop;
  EffectImage image;
  std::vector<EffectEmitter*> emitters;
  std::vector<EffectParamRun> params;
  std::vector<vif_particle_emitter*> vifs;
  std::vector<VifEmitterDef> vif_defs;
};

bool start(const char* name, bool loop, Running& r) {
  EffectDefRef ref = effect_base_find(name, nullptr);
  if (!ref) return false;
  r.name = name;
  r.loop = loop;
  r.image = ref.image;
  r.length = effect_def_length(r.image, ref.def);
  const EffectDefArray params = effect_def_array(r.image, ref.def, EFFECT_ARRAY_PARAM_SET);
  r.params.resize(static_cast<size_t>(params.count));
  for (auto& p : r.params) p.reset();
  const EffectDefArray ems = effect_def_array(r.image, ref.def, EFFECT_ARRAY_EMITTER);
  for (int i = 0; i < ems.count; i++) {
    EffectEmitter* e = effect_emitter_alloc();
    if (!e) break;
    effect_emitter_bind_def(e, &r.image, ref.def, ems.record(i));
    effect_emitter_take_items(e, e->def.item_count);
    for (int k = 0; k < EFFECT_EMITTER_LINKS; k++) {
      const int p = effect_emitter_link_index(e, k);
      e->params[k] = p >= 0 ? &r.params[static_cast<size_t>(p)] : nullptr;
    }
    r.emitters.push_back(e);
  }
  const EffectDefArray vifs = effect_def_array(r.image, ref.def, EFFECT_ARRAY_VIF);
  for (int i = 0; i < vifs.count; i++) {
    VifEmitterDef d;
    if (!vif_emitter_def_at(r.image, vifs.record(i), d)) continue;
    vif_particle_emitter* v = vif_emitter_instantiate(d, false);
    if (!v) continue;
    r.vifs.push_back(v);
    r.vif_defs.push_back(d);
  }
  return true;
}

void print_bounds(int frame, const char* what, int live, bool any, const vector& mn, const vector& mx) {
  if (!any) {
    std::printf("frame %d %s live %d\n", frame, what, live);
    return;
  }
  std::printf("frame %d %s live %d min %.3f %.3f %.3f max %.3f %.3f %.3f\n", frame, what, live, mn.x, mn.y, mn.z,
              mx.x, mx.y, mx.z);
}

void step(Running& r, int n) {
  const float dt = 1.0f / EFFECT_FRAMES_PER_SECOND;
  float frame = static_cast<float>(n);
  bool wrapped = false;
  if (r.loop && r.length > 0) {
    frame = static_cast<float>(n % r.length);
    wrapped = n % r.length == 0;
  }
  for (EffectEmitter* e : r.emitters) {
    if (!r.loop && n >= r.length) effect_emitter_stop(e);
    effect_emitter_step(e, frame, nullptr, nullptr, wrapped);
    vector mn, mx;
    const bool any = effect_emitter_bounds(e, mn, mx);
    print_bounds(n, (r.name + "/" + (e->def.name ? e->def.name : "?")).c_str(), e->live, any, mn, mx);
  }
  for (size_t i = 0; i < r.vifs.size(); i++) {
    vif_particle_emitter* v = r.vifs[i];
    vif_emitter_update(v, r.vif_defs[i], r.loop || n < r.length, nullptr, nullptr, n * dt, dt);
    vector mn{0, 0, 0}, mx{0, 0, 0};
    bool any = false;
    for (int k = v->live_list.first; k >= 0; k = v->particles[k].next) {
      const vector& p = v->particles[k].position;
      if (!any) mn = mx = p, any = true;
      mn.set(std::min(mn.x, p.x), std::min(mn.y, p.y), std::min(mn.z, p.z));
      mx.set(std::max(mx.x, p.x), std::max(mx.y, p.y), std::max(mx.z, p.z));
    }
    print_bounds(n, (r.name + "/" + (r.vif_defs[i].name ? r.vif_defs[i].name : "?")).c_str(), v->live, any, mn, mx);
  }
}
}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 60;
  if (frames < 0 || argc > 2) {
    std::fprintf(stderr, "usage: fx_probe [frames]\n");
    return 2;
  }
  fs_init();
  preload_init();
  vif_particle_emitters_init();
  Level_arena.init(Level_bytes, sizeof Level_bytes, "level");
  effects_set_level_arena(&Level_arena);
  if (effects_init() != 0) {
    std::fprintf(stderr, "fx_probe: the effect list cannot be read\n");
    return 1;
  }
  std::printf("effects files %d names %d\n", effect_base_count(), effect_name_count());
  if (effects_load_preload() != 0) {
    std::fprintf(stderr, "fx_probe: preload.rfx cannot be read\n");
    return 1;
  }
  std::printf("place hit-glow file preload.rfx pool preload at %s\n", where(effect_base_find_file("preload.rfx")).c_str());
  bool ok = true;
  for (const char* name : {"spark-burst", "fire-loop", "beam-streak", "blood-spray"}) ok = place(name) && ok;
  // A cutscene effect takes the shared region and sends the slots away; its
  // release brings them back.
  ok = place("scene-glow") && ok;
  const std::vector<bool> before = resident_now();
  std::printf("release cutscene\n");
  effects_release_cutscene_region();
  print_changes(before);
  if (!ok) return 1;

  std::vector<Running> running(4);
  const char* names[] = {"spark-burst", "fire-loop", "beam-streak", "blood-spray"};
  for (int i = 0; i < 4; i++)
    if (!start(names[i], i == 1, running[static_cast<size_t>(i)])) {
      std::fprintf(stderr, "fx_probe: %s cannot be started\n", names[i]);
      return 1;
    }
  for (int n = 1; n <= frames; n++)
    for (Running& r : running) step(r, n);
  return 0;
}

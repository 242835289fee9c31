// 48 effect instances of the demo's effects (every definition the demo
// builder writes, taken in turn: spark burst, fire with its force field and
// embers, the spell with its core, sparks and light, the streak, the blood
// spray, the cutscene curtain and the preloaded glow), all looping, updated
// and drawn for one frame through the recording renderer (the drawing
// arithmetic without a display).
// Baseline: the same element routines called straight on records kept in
// plain arrays, without the instance layer (its lists, numbering and element
// lookups), doing the same work: channels, emitters with their force fields
// and VIF emitters stepped, then meshes, emitters and VIF emitters drawn.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/math/floatops.h"
#include "tools/writers/effect_demo.h"
#include "tools/writers/effect_writer.h"

namespace {

constexpr float Step = 1.0f / 30.0f;

// Counts the polygons drawn, so that both loops can be seen to do the same
// work.
struct CountingRecorder : GrRecorder {
  int64_t polygons = 0;
  void polygon_layers(int, GrLayeredVertex**, int, const GrLayer*) override { polygons++; }
  void polygon(int, GrVertex**, RenderStateWord) override { polygons++; }
};

struct Scene {
  std::vector<uint8_t> bytes;
  EffectImage image;
  std::vector<uint32_t> defs;
  CountingRecorder recorder;

  Scene() {
    std::vector<EffectDefSpec> all;
    for (const DemoEffectFile& f : demo_effect_files())
      for (EffectDefSpec d : f.defs) {
        // Played straight from the image, as a spell would be.
        d.pool_class = EFFECT_POOL_SPELL;
        all.push_back(d);
      }
    bytes = effect_file_build(all);
    image = effect_file_view(bytes);
    for (size_t i = 0; i < all.size(); i++) defs.push_back(effect_image_def_offset(image, static_cast<int>(i)));
    bm_init();
    gr_set_recorder(&recorder);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
    lights_reset();
    effect_emitter_pool_reset();
    vif_emitter_pool_reset();
    effect_instances_reset();
    os_srand(7);
  }
  ~Scene() {
    effect_instances_reset();
    gr_close();
    gr_set_recorder(nullptr);
    bm_close();
  }
  uint32_t def_for(int i) const { return defs[static_cast<size_t>(i) % defs.size()]; }
  static void start_frame() {
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, -30), identity_matrix, 90.0f, false);
  }
  // Where instance i is held: a ring in front of the eye.
  static transform place(int i) {
    transform t;
    t.orient = identity_matrix;
    const float a = static_cast<float>(i) * 0.13f;
    t.pos = vector(8.0f * std::cos(a), 4.0f * std::sin(a), 0.0f);
    return t;
  }
};

void BM_EffectInstances(benchmark::State& state) {
  Scene scene;
  std::vector<EffectInstance*> insts;
  for (int i = 0; i < MAX_EFFECT_INSTANCES; i++) {
    EffectInstance* inst = effect_create_from_def(scene.image, scene.def_for(i), -1, 0, 0, false);
    if (!inst) continue;
    effect_instance_start(inst, true, false);
    insts.push_back(inst);
  }
  for (auto _ : state) {
    Scene::start_frame();
    for (size_t i = 0; i < insts.size(); i++) {
      const transform at = Scene::place(static_cast<int>(i));
      effect_instance_update(insts[i], Step, &at, 0);
      effect_instance_render_all(insts[i], 0);
    }
    gr_flip();
  }
  for (EffectInstance* inst : insts) effect_instance_release(inst);
  state.counters["instances"] = static_cast<double>(insts.size());
  state.counters["polygons"] = static_cast<double>(scene.recorder.polygons) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(insts.size()));
}
BENCHMARK(BM_EffectInstances);

// One instance's elements without the instance: each kind in its own array.
struct Plain {
  std::vector<MeshEffectElement> mesh;
  std::vector<MeshEffectState> mesh_state;
  std::vector<AnimChannelDef> channel;
  std::vector<AnimChannelState> channel_state;
  std::vector<EffectParamRun> params;
  std::vector<EffectParamSetDef> param_defs;
  std::vector<EffectEmitter*> emitters;
  std::vector<VifEmitterDef> vif_defs;
  std::vector<vif_particle_emitter*> vifs;
  float time = 0.0f;
  float length = 0.0f;  // seconds
};

void plain_make(Plain& p, const EffectImage& img, uint32_t def) {
  char err[200];
  const EffectDefArray meshes = effect_def_array(img, def, EFFECT_ARRAY_MESH);
  p.mesh.resize(static_cast<size_t>(meshes.count));
  p.mesh_state.resize(p.mesh.size());
  for (int m = 0; m < meshes.count; m++) {
    mesh_effect_relocate(p.mesh[m], img.data, img.size, meshes.record(m), err, sizeof err);
    mesh_effect_init(p.mesh_state[m], p.mesh[m]);
  }
  const EffectDefArray channels = effect_def_array(img, def, EFFECT_ARRAY_CHANNEL);
  p.channel.resize(static_cast<size_t>(channels.count));
  p.channel_state.resize(p.channel.size());
  for (int c = 0; c < channels.count; c++) {
    anim_channel_relocate(p.channel[c], img.data, img.size, channels.record(c), err, sizeof err);
    anim_channel_start(p.channel_state[c], p.channel[c], false);
  }
  const EffectDefArray params = effect_def_array(img, def, EFFECT_ARRAY_PARAM_SET);
  p.params.resize(static_cast<size_t>(params.count));
  p.param_defs.resize(p.params.size());
  for (int k = 0; k < params.count; k++) effect_param_set_def_at(img, params.record(k), p.param_defs[k]);
  const EffectDefArray emitters = effect_def_array(img, def, EFFECT_ARRAY_EMITTER);
  for (int k = 0; k < emitters.count; k++) {
    EffectEmitter* e = effect_emitter_alloc();
    if (!e) break;
    effect_emitter_bind_def(e, &img, def, emitters.record(k));
    effect_emitter_take_items(e, e->def.item_count);
    for (int l = 0; l < EFFECT_EMITTER_LINKS; l++) {
      const int link = effect_emitter_link_index(e, l);
      const bool linked = link >= 0 && link < params.count;
      e->params[l] = linked ? &p.params[static_cast<size_t>(link)] : nullptr;
      if (linked) e->param_defs[l] = p.param_defs[static_cast<size_t>(link)];
    }
    effect_emitter_start(e);
    p.emitters.push_back(e);
  }
  const EffectDefArray vifs = effect_def_array(img, def, EFFECT_ARRAY_VIF);
  for (int k = 0; k < vifs.count; k++) {
    VifEmitterDef d;
    if (!vif_emitter_def_at(img, vifs.record(k), d)) continue;
    vif_particle_emitter* v = vif_emitter_instantiate(d, false);
    if (!v) continue;
    p.vif_defs.push_back(d);
    p.vifs.push_back(v);
  }
  p.length = static_cast<float>(effect_def_length(img, def)) / 15.0f;
}

void BM_PlainElementLoop(benchmark::State& state) {
  Scene scene;
  std::vector<Plain> plain(MAX_EFFECT_INSTANCES);
  for (int i = 0; i < MAX_EFFECT_INSTANCES; i++)
    plain_make(plain[static_cast<size_t>(i)], scene.image, scene.def_for(i));
  // Mesh elements and lights stay where the instance would have placed them
  // (the demo's offsets are zero); emitters follow the place they are held.
  const vector origin(0, 0, 0);
  for (auto _ : state) {
    Scene::start_frame();
    for (size_t i = 0; i < plain.size(); i++) {
      Plain& p = plain[i];
      const transform at = Scene::place(static_cast<int>(i));
      p.time += Step;
      bool wrapped = false;
      if (p.time >= p.length && p.length > 0.0f) {
        p.time = std::fmod(p.time, p.length);
        wrapped = true;
      }
      const float frame = p.time * 15.0f;
      for (size_t c = 0; c < p.channel.size(); c++)
        anim_channel_update(p.channel_state[c], p.channel[c], frame, &origin, nullptr);
      for (EffectEmitter* e : p.emitters) effect_emitter_step(e, frame, &at.pos, &at.orient, wrapped);
      for (size_t v = 0; v < p.vifs.size(); v++)
        vif_emitter_update(p.vifs[v], p.vif_defs[v], true, &at.pos, &at.orient, p.time, Step);
      for (size_t m = 0; m < p.mesh.size(); m++)
        mesh_effect_render(p.mesh_state[m], p.mesh[m], frame, &origin, &identity_matrix, 0.0f);
      for (EffectEmitter* e : p.emitters) effect_emitter_draw(e, frame);
      for (size_t v = 0; v < p.vifs.size(); v++) vif_emitter_draw(p.vifs[v], p.vif_defs[v]);
    }
    gr_flip();
  }
  for (Plain& p : plain) {
    for (AnimChannelState& c : p.channel_state) anim_channel_stop(c);
    for (EffectEmitter* e : p.emitters) effect_emitter_free(e);
    for (size_t v = 0; v < p.vifs.size(); v++) vif_emitter_release(p.vifs[v], p.vif_defs[v]);
  }
  state.counters["polygons"] = static_cast<double>(scene.recorder.polygons) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * MAX_EFFECT_INSTANCES);
}
BENCHMARK(BM_PlainElementLoop);

}  // namespace

BENCHMARK_MAIN();

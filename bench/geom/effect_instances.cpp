// 48 effect instances, each of four sprite elements, an animated light and
// an emitter with 20 items, updated and drawn for one frame through the
// recording renderer (the drawing arithmetic without a display).
// Baseline: the same element routines called straight on records kept in
// plain arrays, without the instance layer (its lists, numbering and
// element lookups).
#include <benchmark/benchmark.h>

#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "tools/writers/effect_writer.h"

namespace {

struct Scene {
  std::vector<uint8_t> bytes;
  EffectImage image;
  uint32_t def = 0;
  GrRecorder recorder;

  Scene() {
    EffectDefSpec d;
    d.name = "bench";
    d.pool_class = EFFECT_POOL_SPELL;
    d.length = 60;
    MeshElementSpec sprite;
    sprite.display = MESH_DISPLAY_SPRITE;
    sprite.flags = 15u << 6;
    MeshFrameSpec f;
    f.size = 1.0f, f.length = 1.0f;
    for (int i = 0; i < 60; i++) {
      f.position = vector(static_cast<float>(i % 5), 0, 0);
      sprite.frames.push_back(f);
    }
    MaterialSpec mat;
    mat.rate = 15;
    mat.curve[2] = {0, 255, 255, 128, 0};
    sprite.materials = {mat};
    d.meshes.assign(4, sprite);
    ChannelElementSpec light;
    for (int k = 0; k < 60; k++) light.keys.push_back({vector(0, static_cast<float>(k % 3), 0), 256, 255, 200, 100, true});
    d.channels = {light};
    EffectEmitterSpec em;
    em.item_count = 20;
    d.emitters = {em};
    bytes = effect_file_build({d});
    image = effect_file_view(bytes);
    def = effect_image_def_offset(image, 0);
    bm_init();
    gr_set_recorder(&recorder);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  }
  ~Scene() {
    gr_close();
    gr_set_recorder(nullptr);
    bm_close();
  }
  void start_frame() {
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, -30), identity_matrix, 90.0f, false);
  }
};

void BM_EffectInstances(benchmark::State& state) {
  Scene scene;
  lights_reset();
  effect_emitter_pool_reset();
  effect_instances_reset();
  std::vector<EffectInstance*> insts;
  for (int i = 0; i < MAX_EFFECT_INSTANCES; i++) {
    EffectInstance* inst = effect_create_from_def(scene.image, scene.def, -1, 0, 0, false);
    effect_instance_start(inst, true, false);
    insts.push_back(inst);
  }
  for (auto _ : state) {
    scene.start_frame();
    for (EffectInstance* inst : insts) {
      effect_instance_update(inst, 1.0f / 30.0f, nullptr, 0);
      effect_instance_render_all(inst, 0);
    }
    gr_flip();
  }
  for (EffectInstance* inst : insts) effect_instance_release(inst);
  state.SetItemsProcessed(state.iterations() * MAX_EFFECT_INSTANCES);
}
BENCHMARK(BM_EffectInstances);

void BM_PlainElementLoop(benchmark::State& state) {
  Scene scene;
  lights_reset();
  effect_emitter_pool_reset();
  struct Plain {
    MeshEffectElement mesh[4];
    MeshEffectState mesh_state[4];
    AnimChannelDef channel;
    AnimChannelState channel_state;
    EffectEmitter* emitter;
    float time;
  };
  std::vector<Plain> plain(MAX_EFFECT_INSTANCES);
  const EffectDefArray meshes = effect_def_array(scene.image, scene.def, EFFECT_ARRAY_MESH);
  const EffectDefArray channels = effect_def_array(scene.image, scene.def, EFFECT_ARRAY_CHANNEL);
  const EffectDefArray emitters = effect_def_array(scene.image, scene.def, EFFECT_ARRAY_EMITTER);
  char err[200];
  for (Plain& p : plain) {
    for (int m = 0; m < 4; m++) {
      mesh_effect_relocate(p.mesh[m], scene.image.data, scene.image.size, meshes.record(m), err, sizeof err);
      mesh_effect_init(p.mesh_state[m], p.mesh[m]);
    }
    anim_channel_relocate(p.channel, scene.image.data, scene.image.size, channels.record(0), err, sizeof err);
    anim_channel_start(p.channel_state, p.channel, false);
    p.emitter = effect_emitter_alloc();
    effect_emitter_bind_def(p.emitter, &scene.image, scene.def, emitters.record(0));
    effect_emitter_take_items(p.emitter, p.emitter->def.item_count);
    effect_emitter_start(p.emitter);
    p.time = 0.0f;
  }
  const vector origin(0, 0, 0);
  for (auto _ : state) {
    scene.start_frame();
    for (Plain& p : plain) {
      p.time += 1.0f / 30.0f;
      if (p.time >= 4.0f) p.time -= 4.0f;
      const float frame = p.time * 15.0f;
      anim_channel_update(p.channel_state, p.channel, frame, nullptr, nullptr);
      effect_emitter_step(p.emitter, frame, nullptr, nullptr, false);
      for (int m = 0; m < 4; m++)
        mesh_effect_render(p.mesh_state[m], p.mesh[m], frame, &origin, &identity_matrix, 0.0f);
      effect_emitter_draw(p.emitter, frame);
    }
    gr_flip();
  }
  for (Plain& p : plain) {
    anim_channel_stop(p.channel_state);
    effect_emitter_free(p.emitter);
  }
  state.SetItemsProcessed(state.iterations() * MAX_EFFECT_INSTANCES);
}
BENCHMARK(BM_PlainElementLoop);

}  // namespace

BENCHMARK_MAIN();

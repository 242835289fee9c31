// Fuzz target: an effect file as read into effect memory. The header gives
// the image's sizes; a checked image is then walked the way the effect code
// walks it: every definition's emitters, parameter sets, nodes and VIF
// emitters are read, their key tracks decoded, and emitters stepped.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_image.h"
#include "quarn/geom/effect_keys.h"
#include "quarn/geom/vif_emitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < EFFECT_FILE_HEADER_SIZE) return 0;
  auto u16 = [&](int o) { return static_cast<uint32_t>(data[o] | data[o + 1] << 8); };
  auto u32 = [&](int o) { return u16(o) | u16(o + 2) << 16; };
  // Effect memory refuses a file whose length disagrees with its header;
  // here the second area takes the rest, so that mutated files still reach
  // the image checks.
  const uint32_t first = u32(4);
  if (first > size - EFFECT_FILE_HEADER_SIZE) return 0;
  const uint32_t second = static_cast<uint32_t>(size - EFFECT_FILE_HEADER_SIZE) - first;
  if (second > EFFECT_SECOND_SIZE_MASK) return 0;
  std::vector<uint8_t> image(data + EFFECT_FILE_HEADER_SIZE, data + size);
  EffectImage img = effect_image_view(image.data(), first, second, u16(0));
  char err[160];
  if (!effect_image_check(img, err, sizeof err)) return 0;
  effect_emitter_pool_reset();
  vif_emitter_pool_reset();
  for (uint32_t d = 0; d < img.def_count; d++) {
    const uint32_t def = effect_image_def_offset(img, static_cast<int>(d));
    (void)img.name_at(def);
    const EffectDefArray params = effect_def_array(img, def, EFFECT_ARRAY_PARAM_SET);
    for (int i = 0; i < params.count; i++) {
      EffectParamSetDef p;
      if (!effect_param_set_def_at(img, params.record(i), p)) continue;
      EffectParamRun run;
      run.reset();
      EffectParamValues v;
      for (float f : {0.0f, 1.5f, 3.0f, 0.25f}) {
        effect_param_set_sample(run, p, f);
        effect_param_set_values(run, p, v, f);
      }
    }
    const EffectDefArray emitters = effect_def_array(img, def, EFFECT_ARRAY_EMITTER);
    for (int i = 0; i < emitters.count; i++) {
      EffectEmitter* e = effect_emitter_alloc();
      if (!e) break;
      if (effect_emitter_bind_def(e, &img, def, emitters.record(i))) {
        effect_emitter_take_items(e, e->def.item_count > 64 ? 64 : e->def.item_count);
        for (int k = 0; k < 3; k++) (void)effect_emitter_link_index(e, k);
        for (float f : {1.0f, 2.5f, 4.0f, 1.0f}) effect_emitter_step(e, f, nullptr, nullptr, f == 1.0f);
        vector mn, mx;
        effect_emitter_bounds(e, mn, mx);
      }
      effect_emitter_free(e);
    }
    const EffectDefArray nodes = effect_def_array(img, def, EFFECT_ARRAY_NODE);
    for (int i = 0; i < nodes.count; i++) {
      EffectNode n{};
      effect_node_reset(&n);
      effect_node_update(&n, img, nodes.record(i), 2.5f);
    }
    const EffectDefArray vifs = effect_def_array(img, def, EFFECT_ARRAY_VIF);
    for (int i = 0; i < vifs.count; i++) {
      VifEmitterDef v;
      if (!vif_emitter_def_at(img, vifs.record(i), v)) continue;
      if (v.count > 200) v.count = 200;
      vif_particle_emitter* e = vif_emitter_instantiate(v, false);
      if (!e) continue;
      for (int k = 1; k <= 3; k++) vif_emitter_update(e, v, true, nullptr, nullptr, k * 0.05f, 0.05f);
      vector c;
      float r;
      vif_emitter_bounds(v, c, r);
      vif_emitter_release(e, v);
    }
  }
  return 0;
}

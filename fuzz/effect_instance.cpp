// Fuzz target: effect instances made from a damaged effect image. An image
// that passes the image check is played: every definition is instantiated,
// started, stepped (emitters sampling their material tracks, camera
// elements taking the camera), walked element by element, asked for its
// environment and released.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_image.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_tracks.h"
#include "quarn/geom/lights.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12 || size > (1u << 20)) return 0;
  // Header words: first-area size and definition count; the rest is the image.
  const uint32_t first = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16));
  const uint32_t defs = data[3] % 8;
  std::vector<uint8_t> image(data + 4, data + size);
  const auto n = static_cast<uint32_t>(image.size());
  if (first > n) return 0;
  EffectImage img = effect_image_view(image.data(), first, n - first, defs);
  char err[200];
  if (!effect_image_check(img, err, sizeof err)) return 0;
  lights_reset();
  effect_emitter_pool_reset();
  effect_instances_reset();
  for (uint32_t d = 0; d < defs; d++) {
    EffectInstance* inst = effect_create_from_def(img, effect_image_def_offset(img, static_cast<int>(d)), -1, 0, 0,
                                                  false);
    if (!inst) continue;
    effect_instance_start(inst, (d & 1) != 0, true);
    const int total = effect_instance_elements(inst);
    for (int i = -1; i <= total; i++) {
      (void)effect_instance_element_name(inst, i);
      (void)effect_instance_element_visible(inst, i);
      vector p;
      matrix m;
      effect_instance_get_element_transform(inst, i, &p, &m);
    }
    if (total > 0) effect_instance_set_element_transform(inst, 0, vector(1, 2, 3), identity_matrix);
    transform parent;
    parent.pos = vector(1, 0, -2);
    parent.orient = identity_matrix;
    for (int step = 0; step < 4; step++) {
      effect_instance_update(inst, 0.3f, (step & 1) ? &parent : nullptr, 0);
      vector p;
      matrix m;
      effect_camera_get(&p, &m);
      float value;
      effect_environment_apply(&value, inst);
    }
    for (int k = -1; k < 4; k++) {
      EffectItemLook look;
      effect_material_track_sample(img, inst->def, k, 7.5f, false, look);
      effect_material_track_sample(img, inst->def, k, 0.4f, true, look);
    }
    effect_instance_stop(inst);
    effect_instance_update(inst, 0.3f, nullptr, 0);
    effect_instance_release(inst);
  }
  return 0;
}

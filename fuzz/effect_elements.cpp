// Fuzz target: channel elements, mesh-effect elements (with their key
// tracks), their materials and motion paths read from an effect image. The first byte picks the record offset; every
// record that is accepted is then sampled as an effect would sample it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/geom/anim_channel.h"
#include "quarn/geom/mesh_effect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const uint32_t at = data[0];
  // A copy exactly as large as the input, so a read past it is caught.
  std::vector<uint8_t> image(data + 1, data + size);
  const auto n = static_cast<uint32_t>(image.size());
  char err[200];

  AnimChannelDef ch;
  if (anim_channel_relocate(ch, image.data(), n, at, err, sizeof err)) {
    AnimChannelState st;
    for (float t : {-1.0f, 0.0f, 0.5f, 3.7f, 1e7f}) anim_channel_evaluate(st, ch, t);
  }

  MeshEffectElement e;
  if (mesh_effect_relocate(e, image.data(), n, at, err, sizeof err)) {
    for (int i = 0; i < e.faces; i++) {
      const int m = e.face_material(e.face(i));
      MeshMaterial mat;
      if (m >= 0 && mesh_effect_material(e, m, mat))
        for (int c = 0; c < 3; c++) (void)mesh_material_curve(mat, c, 12.5f);
    }
    MeshMaterial mat;
    if (mesh_effect_material(e, e.sprite_material(), mat)) (void)mesh_material_curve(mat, 2, 1.0f);
    MeshEffectState st;
    mesh_effect_init(st, e);
    for (float t : {0.0f, 7.0f, 30.0f, 1e6f}) mesh_effect_prepare(st, e, t);
  }

  MotionPath path;
  if (motion_path_read(path, image.data(), n, at, err, sizeof err)) {
    vector p;
    quaternion q;
    for (float t : {-2.0f, 0.0f, 1.5f, 40.0f, 32767.5f}) (void)motion_path_sample(path, t, p, q);
  }

  MeshMaterial m;
  if (mesh_material_read(m, image.data(), n, at, err, sizeof err))
    for (int c = 0; c < 3; c++) (void)mesh_material_curve(m, c, 100.0f);
  return 0;
}

#include "quarn/geom/effect_tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_keys.h"

namespace {

uint32_t track_offset(const EffectImage& img, uint32_t def, int index) {
  const EffectDefArray tracks = effect_def_array(img, def, EFFECT_ARRAY_MATERIAL);
  return index >= 0 && index < tracks.count ? tracks.record(index) : 0;
}

struct InstallSampler {
  InstallSampler() { effect_emitter_set_material_sampler(effect_material_track_sample); }
} g_install_sampler;

}  // namespace

bool effect_material_track(const EffectImage& img, uint32_t def, int index, MeshMaterial& out) {
  const uint32_t at = track_offset(img, def, index);
  char err[120];
  return at && mesh_material_read(out, img.data, img.size, at, err, sizeof err);
}

bool effect_material_track_sample(const EffectImage& img, uint32_t def, int material, float time, bool normalised,
                                  EffectItemLook& out) {
  MeshMaterial m;
  if (!effect_material_track(img, def, material, m)) return false;
  const int frame = normalised ? mesh_layer_frame_normalised(m.layer[0], time) : mesh_layer_frame(m.layer[0], time);
  out.bitmap = m.layer[0].bitmap >= 0 ? frame : -1;
  const uint32_t at = track_offset(img, def, material);
  out.r = img.u8(at + MATERIAL_TRACK_COLOUR) / 255.0f;
  out.g = img.u8(at + MATERIAL_TRACK_COLOUR + 1) / 255.0f;
  out.b = img.u8(at + MATERIAL_TRACK_COLOUR + 2) / 255.0f;
  out.opacity = mesh_material_curve(m, 2, time);
  return true;
}

int effect_bitmap_load_named(const char* name) {
  if (!name || !*name || name[0] == '$') return -1;
  int h = bm_load(name);
  if (h < 0) h = bm_load(name);
  return h < 0 ? -1 : h;
}

void effect_material_load_bitmaps(EffectImage& img, uint32_t at) {
  for (uint32_t l = 0; l < 2; l++) {
    const uint32_t layer = at + 12 + l * MESH_MATERIAL_LAYER_SIZE;
    img.put_u32(layer, static_cast<uint32_t>(effect_bitmap_load_named(img.name(img.u32(layer + 4)))));
  }
  img.put_u32(at + 64, static_cast<uint32_t>(effect_bitmap_load_named(img.name(img.u32(at + 68)))));
}

bool effect_tracks_check(const EffectImage& img, uint32_t def, char* err, int err_size) {
  const EffectDefArray tracks = effect_def_array(img, def, EFFECT_ARRAY_MATERIAL);
  for (int i = 0; i < tracks.count; i++) {
    MeshMaterial m;
    if (!mesh_material_read(m, img.data, img.size, tracks.record(i), err, err_size)) return false;
  }
  // Seven key tracks of 12 bytes from offset 16: {u32 stream, u16 length, ...}.
  const EffectDefArray cameras = effect_def_array(img, def, EFFECT_ARRAY_CAMERA);
  for (int i = 0; i < cameras.count; i++)
    for (uint32_t k = 0; k < 7; k++) {
      const uint32_t track = cameras.record(i) + 16 + k * EFFECT_KEY_TRACK_SIZE;
      const uint32_t stream = img.u32(track), length = img.u16(track + 4);
      if (length && (stream == 0 || !img.has(stream, length))) {
        std::snprintf(err, static_cast<size_t>(err_size), "camera element %d: key track %u lies outside the image",
                      i, k);
        return false;
      }
    }
  return true;
}

int effect_environment_track(const EffectImage& img, uint32_t def) {
  const EffectDefArray sel = effect_def_array(img, def, EFFECT_ARRAY_ENVIRONMENT);
  if (sel.count < 1) return -1;
  const int index = img.i32(sel.offset);
  return track_offset(img, def, index) ? index : -1;
}

bool effect_cameras_evaluate(const EffectImage& img, uint32_t def, float frame, const vector* parent_pos,
                             const matrix* parent_orient, vector& pos, matrix& orient) {
  const EffectDefArray cameras = effect_def_array(img, def, EFFECT_ARRAY_CAMERA);
  for (int i = 0; i < cameras.count; i++) {
    const uint32_t r = cameras.record(i);
    const int keys = img.u16(r + CAMERA_KEYS) & 0x7FFF;
    const uint32_t bits = CAMERA_ENABLED | CAMERA_DRIVES;
    if ((img.u32(r + CAMERA_FLAGS) & bits) != bits || keys < 1) continue;
    // A camera record is keyed as a node is; a fresh node state reads it from
    // its start, so no run-time record is needed per camera.
    EffectNode node{};
    effect_node_reset(&node);
    if (!(frame >= 0.0f)) frame = 0.0f;
    effect_node_update(&node, img, r, std::min(frame, static_cast<float>(keys - 1)));
    if (parent_pos && parent_orient) {
      node.position.unrotated(pos, *parent_orient);
      pos += *parent_pos;
      effect_orient_in_frame(orient, node.orient, *parent_orient);
    } else {
      pos = node.position;
      orient = node.orient;
    }
    return true;
  }
  return false;
}

bool effect_environment_apply(float* out_value, const EffectInstance* inst) {
  if (!inst || !(inst->flags & EI_IN_USE)) return false;
  const int index = effect_environment_track(inst->image, inst->def);
  MeshMaterial m;
  if (index < 0 || !effect_material_track(inst->image, inst->def, index, m)) return false;
  for (int c = 0; c < 3; c++)
    Effect_environment.level[c] = static_cast<uint8_t>(std::lround(mesh_material_curve(m, c, inst->frame) * 255.0f));
  const uint32_t at = effect_def_array(inst->image, inst->def, EFFECT_ARRAY_MATERIAL).record(index);
  // No alpha byte: white must not read as -1, the "no colour" of a cleared
  // environment.
  Effect_environment.colour = static_cast<int32_t>(static_cast<uint32_t>(inst->image.u8(at + MATERIAL_TRACK_COLOUR)) << 16 |
                                                   static_cast<uint32_t>(inst->image.u8(at + MATERIAL_TRACK_COLOUR + 1)) << 8 |
                                                   inst->image.u8(at + MATERIAL_TRACK_COLOUR + 2));
  Effect_environment.flag = m.additive ? 1 : 0;
  Effect_environment.mode = static_cast<uint8_t>(m.mode & 7);
  if (out_value) *out_value = m.reserved;
  return true;
}

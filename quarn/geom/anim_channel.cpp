#include "quarn/geom/anim_channel.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/effect_instance_bytes.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/math/quaternion.h"

namespace {

using effect_bytes::inside;
constexpr auto rd16 = effect_bytes::u16;
constexpr auto rd32 = effect_bytes::u32;
constexpr auto rdf = effect_bytes::f32;

// The light index the control word can carry (signed 6 bits); the pool is
// larger, so the state keeps the full index and the word keeps what fits.
uint32_t control_with_light(uint32_t control, int light) {
  const uint32_t field = (light >= -32 && light < 32) ? static_cast<uint32_t>(light) & 0x3F : 0x3F;
  return (control & ~ACH_LIGHT_MASK) | (field << ACH_LIGHT_SHIFT);
}

}  // namespace

vector AnimChannelDef::key_position(int k) const {
  auto v = [&](uint32_t off) { return static_cast<float>(static_cast<int16_t>(rd16(image + off + 2u * k))) / 16.0f; };
  return vector(v(x), v(y), v(z));
}
int AnimChannelDef::key_intensity(int k) const { return static_cast<int16_t>(rd16(image + intensity + 2u * k)); }
uint8_t AnimChannelDef::key_colour(int channel, int k) const {
  const uint32_t off = channel == 0 ? red : channel == 1 ? green : blue;
  return image[off + k];
}
bool AnimChannelDef::key_on(int k) const { return (image[on_bits + k / 8] >> (k % 8)) & 1; }

bool anim_channel_relocate(AnimChannelDef& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                           int err_size) {
  out = AnimChannelDef{};
  if (!image || !inside(size, off, ANIM_CHANNEL_RECORD_SIZE)) {
    std::snprintf(err, err_size, "channel record at %u lies outside the image", off);
    return false;
  }
  const uint8_t* r = image + off;
  const int keys = rd16(r + 14) / 2;
  if (keys < 1 || keys > ANIM_CHANNEL_MAX_KEYS) {
    std::snprintf(err, err_size, "channel at %u has %d keys", off, keys);
    return false;
  }
  out.image = image;
  out.record = off;
  out.control = rd32(r + 8) & (ACH_BONE_MASK | ACH_FOLLOW_BONE | ACH_FIXED_POSITION);
  out.enabled = r[12] & 1;
  out.keys = keys;
  uint32_t* arrays[8] = {&out.x, &out.y, &out.z, &out.intensity, &out.red, &out.green, &out.blue, &out.on_bits};
  const uint32_t widths[8] = {2u * keys, 2u * keys, 2u * keys, 2u * keys, 1u * keys, 1u * keys, 1u * keys,
                              (keys + 7u) / 8u};
  for (int i = 0; i < 8; i++) {
    const uint32_t a = rd32(r + 16 + 4 * i);
    // Fixed-position channels need no position keys.
    if (i < 3 && (out.control & ACH_FIXED_POSITION) && a == 0) continue;
    if (a == 0 || !inside(size, a, widths[i])) {
      std::snprintf(err, err_size, "channel at %u: key array %d (offset %u) lies outside the image", off, i, a);
      out = AnimChannelDef{};
      return false;
    }
    *arrays[i] = a;
  }
  out.offset = vector(rdf(r + 48), rdf(r + 52), rdf(r + 56));
  for (int i = 0; i < 4; i++) out.orient[i] = rdf(r + 60 + 4 * i);
  out.radius = rdf(r + 76);
  out.outer_radius = rdf(r + 80);
  return true;
}

void anim_channel_evaluate(AnimChannelState& st, const AnimChannelDef& def, float t) {
  if (def.keys < 1) return;
  const int last = def.keys - 1;
  // Past the last key both indices are the last key (and before the first,
  // the first), so the streams are never read beyond their ends.
  int k;
  float f;
  if (!(t > 0.0f)) {
    k = 0, f = 0.0f;
  } else if (t >= static_cast<float>(last)) {
    k = last, f = 0.0f;
  } else {
    k = static_cast<int>(std::floor(t));
    f = t - static_cast<float>(k);
  }
  const int next = (k + 2 <= def.keys) ? k + 1 : k;
  const int a = static_cast<int>((1.0f - f) * 255.0f);
  const int b = static_cast<int>(f * 255.0f);
  if (!(st.control & ACH_FIXED_POSITION) && def.x) {
    const vector p0 = def.key_position(k), p1 = def.key_position(next);
    st.position = vector(p1.x * f + p0.x * (1 - f), p1.y * f + p0.y * (1 - f), p1.z * f + p0.z * (1 - f));
  }
  st.intensity = ((def.key_intensity(next) * b) >> 8) + ((def.key_intensity(k) * a) >> 8);
  uint8_t* rgb[3] = {&st.red, &st.green, &st.blue};
  for (int c = 0; c < 3; c++)
    *rgb[c] = static_cast<uint8_t>(((def.key_colour(c, next) * b) >> 8) + ((def.key_colour(c, k) * a) >> 8));
  st.control = def.key_on(next) ? (st.control | ACH_ON) : (st.control & ~ACH_ON);
  if (!(st.control & ACH_FIXED_POSITION) && (st.control & ACH_FOLLOW_BONE) && st.instance) {
    transform bone;
    st.instance->get_bone_transform(&bone, static_cast<int>(st.control & ACH_BONE_MASK));
    vector p;
    bone.apply(p, st.position);
    st.position = p;
  }
}

void anim_channel_start(AnimChannelState& st, const AnimChannelDef& def, bool no_light) {
  st.offset = vector(0, 0, 0);
  st.control = (st.control & ~(ACH_BONE_MASK | ACH_FOLLOW_BONE | ACH_FIXED_POSITION)) | def.control;
  st.light = -1;
  st.control = control_with_light(st.control, -1);
  if (def.keys < 1) return;
  st.position = def.x ? def.key_position(0) : vector(0, 0, 0);
  st.intensity = def.key_intensity(0);
  st.red = def.key_colour(0, 0), st.green = def.key_colour(1, 0), st.blue = def.key_colour(2, 0);
  if (no_light) return;
  st.light = light_create_point(st.position, def.radius, def.outer_radius, static_cast<float>(st.intensity) / 256.0f,
                                st.red / 255.0f, st.green / 255.0f, st.blue / 255.0f, false);
  if (st.light >= 0) light_set_enabled(st.light, false);
  st.control = control_with_light(st.control, st.light);
}

void anim_channel_stop(AnimChannelState& st) {
  if (st.light != -1) light_kill(st.light);
  st.light = -1;
  st.control = control_with_light(st.control, -1);
}

void anim_channel_update(AnimChannelState& st, const AnimChannelDef& def, float t, const vector* offset,
                         const matrix* orient) {
  anim_channel_evaluate(st, def, t);
  if (offset) st.offset = *offset;
  vector p = st.position;
  if (orient) p.unrotate(*orient);
  p = p + st.offset;
  if (st.light < 0) return;
  light_set_position(st.light, p);
  light_set_colour(st.light, static_cast<float>(st.intensity) / 256.0f, st.red / 255.0f, st.green / 255.0f,
                   st.blue / 255.0f);
  light_set_enabled(st.light, (st.control & ACH_ON) != 0);
}

void anim_apply_to_instance(character_instance* instance, const vector& position, const matrix& orient,
                            MeshDrawRecord& record, bool visible) {
  if (!visible || !instance || !instance->base) return;
  instance->setup_matrices();
  record.r = instance->colour[0], record.g = instance->colour[1], record.b = instance->colour[2];
  gr_mesh_set_character(instance->base, instance);
  const MeshRecord* mr = instance->base->current;
  if (!(record.flags & MESH_DRAW_HIDDEN) && mr) {
    VimMesh* mesh = (record.shadow != 0 && record.shadow != -1 && mr->shadow) ? mr->shadow : mr->mesh;
    if (mesh) {
      gr_mesh_set_current(mesh);
      gr_mesh_render(position, orient, record);
    }
  }
  gr_mesh_set_character(nullptr, nullptr);
}

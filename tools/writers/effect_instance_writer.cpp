#include "tools/writers/effect_instance_writer.h"

#include <cmath>
#include <cstring>

#include "quarn/geom/effect_image.h"
#include "tools/writers/byte_put.h"

void image_set_u8(std::vector<uint8_t>& image, uint32_t off, uint8_t v) {
  if (image.size() < off + 1u) image.resize(off + 1u);
  image[off] = v;
}
void image_set_u16(std::vector<uint8_t>& image, uint32_t off, uint16_t v) {
  image_set_u8(image, off + 1, static_cast<uint8_t>(v >> 8));
  image_set_u8(image, off, static_cast<uint8_t>(v));
}
void image_set_u32(std::vector<uint8_t>& image, uint32_t off, uint32_t v) {
  image_set_u16(image, off + 2, static_cast<uint16_t>(v >> 16));
  image_set_u16(image, off, static_cast<uint16_t>(v));
}
void image_set_f32(std::vector<uint8_t>& image, uint32_t off, float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  image_set_u32(image, off, u);
}
void image_set_vector(std::vector<uint8_t>& image, uint32_t off, const vector& v) {
  image_set_f32(image, off, v.x);
  image_set_f32(image, off + 4, v.y);
  image_set_f32(image, off + 8, v.z);
}
uint32_t image_append(std::vector<uint8_t>& image, const void* data, uint32_t n) {
  while (image.size() % 4) image.push_back(0);
  const uint32_t off = static_cast<uint32_t>(image.size());
  const auto* p = static_cast<const uint8_t*>(data);
  image.insert(image.end(), p, p + n);
  return off;
}

namespace {
uint32_t name_field(const EffectNameField& names, const std::string& s) {
  return s.empty() || !names ? 0u : names(s);
}
// A signed fixed-point field: v in units of 1/scale, rounded.
uint16_t fixed16(float v, float scale) { return static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * scale))); }
}  // namespace

void write_channel_element(std::vector<uint8_t>& image, uint32_t off, const ChannelElementSpec& spec,
                           const EffectNameField& names) {
  if (image.size() < off + 112u) image.resize(off + 112u);
  const size_t n = spec.keys.size();
  std::vector<uint8_t> axis[3], intensity, colour[3], on((n + 7) / 8, 0);
  for (size_t k = 0; k < n; k++) {
    const ChannelKeySpec& key = spec.keys[k];
    const float p[3] = {key.position.x, key.position.y, key.position.z};
    for (int a = 0; a < 3; a++) put_u16(axis[a], fixed16(p[a], 16.0f));
    put_u16(intensity, static_cast<uint16_t>(key.intensity));
    colour[0].push_back(key.r), colour[1].push_back(key.g), colour[2].push_back(key.b);
    if (key.on) on[k / 8] = static_cast<uint8_t>(on[k / 8] | (1u << (k % 8)));
  }
  image_set_u32(image, off + 0, name_field(names, spec.name));
  image_set_u32(image, off + 4, name_field(names, spec.parent));
  image_set_u32(image, off + 8, spec.control);
  image_set_u8(image, off + 12, spec.enabled ? 1 : 0);
  image_set_u16(image, off + 14, static_cast<uint16_t>(2 * n));
  const std::vector<uint8_t>* arrays[8] = {&axis[0], &axis[1], &axis[2], &intensity,
                                           &colour[0], &colour[1], &colour[2], &on};
  for (int a = 0; a < 8; a++) {
    const uint32_t at = image_append(image, arrays[a]->data(), static_cast<uint32_t>(arrays[a]->size()));
    image_set_u32(image, off + 16 + 4 * a, at);
  }
  image_set_vector(image, off + 48, spec.offset);
  for (int i = 0; i < 4; i++) image_set_f32(image, off + 60 + 4 * i, spec.orient[i]);
  image_set_f32(image, off + 76, spec.radius);
  image_set_f32(image, off + 80, spec.outer_radius);
}

void write_effect_material(std::vector<uint8_t>& image, uint32_t off, const MaterialSpec& spec,
                           const EffectNameField& names) {
  if (image.size() < off + 76u) image.resize(off + 76u);
  const uint32_t word = static_cast<uint32_t>(spec.mode & 7) | (spec.additive ? 0x40u : 0u) |
                        (static_cast<uint32_t>(spec.rate) << 7);
  image_set_u16(image, off + 0, static_cast<uint16_t>(word));
  for (int c = 0; c < 3; c++) image_set_u16(image, off + 2 + 2 * c, static_cast<uint16_t>(spec.curve[c].size()));
  for (int c = 0; c < 3; c++) image_set_u8(image, off + 8 + static_cast<uint32_t>(c), spec.colour[c]);
  image_set_u8(image, off + 11, spec.environment_strength);
  for (int l = 0; l < 2; l++) {
    const uint32_t at = off + 12 + 20 * l;
    const MaterialLayerSpec& ls = spec.layer[l];
    image_set_u32(image, at + 0, static_cast<uint32_t>(ls.bitmap));
    image_set_u32(image, at + 4, name_field(names, ls.name));
    image_set_f32(image, at + 8, ls.start);
    image_set_f32(image, at + 12, ls.speed);
    image_set_u32(image, at + 16, static_cast<uint32_t>(ls.play_mode));
  }
  for (int c = 0; c < 3; c++) {
    const uint32_t at =
        spec.curve[c].empty() ? 0
                              : image_append(image, spec.curve[c].data(), static_cast<uint32_t>(spec.curve[c].size()));
    image_set_u32(image, off + 52 + 4 * c, at);
  }
  image_set_u32(image, off + 64, static_cast<uint32_t>(spec.environment_bitmap));
  image_set_u32(image, off + 68, name_field(names, spec.environment_name));
  image_set_f32(image, off + 72, 0.55f);
}

void write_mesh_element(std::vector<uint8_t>& image, uint32_t off, const MeshElementSpec& spec,
                        const EffectNameField& names) {
  if (image.size() < off + 168u) image.resize(off + 168u);
  std::vector<uint8_t> faces(spec.faces.size() * 28, 0);
  for (size_t i = 0; i < spec.faces.size(); i++) {
    const MeshFaceSpec& f = spec.faces[i];
    const auto at = static_cast<uint32_t>(i * 28);
    image_set_u8(faces, at, static_cast<uint8_t>(f.slot));
    for (int j = 0; j < 3; j++) {
      image_set_u16(faces, at + 4 + 2 * j, f.vertex[j]);
      image_set_u16(faces, at + 10 + 2 * j, fixed16(f.u[j], 4096.0f));
      image_set_u16(faces, at + 16 + 2 * j, fixed16(f.v[j], 4096.0f));
      image_set_u16(faces, at + 22 + 2 * j, f.light[j]);
    }
  }
  std::vector<uint8_t> lights(static_cast<size_t>(spec.light_records) * 12, 0);
  for (int i = 0; i < spec.light_records; i++) {
    // An upward normal (bytes 128, 255, 128 decode to about (0, 1, 0)), one
    // packed normal averaged.
    const uint32_t word = (static_cast<uint32_t>(i & 0x7FF) << 1) | (128u << 12) | (255u << 20) | (1u << 28);
    image_set_u32(lights, static_cast<uint32_t>(i) * 12, word);
    image_set_u8(lights, static_cast<uint32_t>(i) * 12 + 11, 128);
  }
  std::vector<uint8_t> frames(spec.frames.size() * 72, 0);
  for (size_t i = 0; i < spec.frames.size(); i++) {
    const MeshFrameSpec& fr = spec.frames[i];
    const auto at = static_cast<uint32_t>(i * 72);
    const float p[3] = {fr.position.x, fr.position.y, fr.position.z};
    for (int a = 0; a < 3; a++) image_set_u16(frames, at + 2 * a, fixed16(p[a], 16.0f));
    for (int a = 0; a < 4; a++) image_set_u16(frames, at + 6 + 2 * a, fixed16(fr.rotation[a], 16383.0f));
    image_set_u16(frames, at + 14, fixed16(fr.size, 256.0f));
    image_set_u16(frames, at + 16, fixed16(fr.length, 256.0f));
    image_set_vector(frames, at + 20, fr.direction);
  }
  std::vector<uint8_t> subs(spec.sub_materials.size() * 12, 0);
  for (size_t i = 0; i < spec.sub_materials.size(); i++) {
    const auto at = static_cast<uint32_t>(i * 12);
    image_set_u16(subs, at, spec.sub_materials[i]);
    image_set_u16(subs, at + 4, static_cast<uint16_t>(spec.faces.size()));
    image_set_f32(subs, at + 8, 1.0f);
  }
  std::vector<uint8_t> verts;
  for (const vector& v : spec.vertex_positions)
    for (float c : {v.x, v.y, v.z}) put_u16(verts, fixed16(c, 256.0f));

  auto add = [&](const std::vector<uint8_t>& bytes) {
    return bytes.empty() ? 0u : image_append(image, bytes.data(), static_cast<uint32_t>(bytes.size()));
  };
  image_set_u32(image, off + 0, name_field(names, spec.name));
  image_set_u32(image, off + 4, name_field(names, spec.parent));
  image_set_u32(image, off + 8, spec.flags | (spec.vertex_positions.empty() ? 0u : 16u));
  image_set_u8(image, off + 12, spec.enabled ? 1 : 0);
  image_set_f32(image, off + 16, spec.start);
  image_set_u16(image, off + 20, static_cast<uint16_t>(spec.vertices));
  image_set_u16(image, off + 22, static_cast<uint16_t>(spec.frames.size()));
  image_set_u16(image, off + 24, static_cast<uint16_t>(spec.sub_materials.size()));
  const bool vertex_frames = !spec.vertex_positions.empty() && !spec.rigid;
  image_set_u16(image, off + 26, static_cast<uint16_t>(spec.display | (vertex_frames ? 4 : 0)));
  image_set_u16(image, off + 28, static_cast<uint16_t>(spec.faces.size()));
  image_set_u16(image, off + 30, static_cast<uint16_t>(spec.materials.size()));
  image_set_u16(image, off + 32, static_cast<uint16_t>(spec.light_records));
  image_set_u16(image, off + 34, static_cast<uint16_t>(spec.slots.size()));
  image_set_f32(image, off + 36, spec.radius);
  image_set_u32(image, off + 40, add(faces));
  image_set_u32(image, off + 44, add(spec.slots));
  image_set_u32(image, off + 48, add(lights));
  image_set_vector(image, off + 52, spec.rest);
  image_set_u32(image, off + 64, add(frames));
  image_set_u32(image, off + 68, add(verts));
  image_set_u32(image, off + 84, add(subs));
  image_set_u32(image, off + 88, name_field(names, spec.glow_name));
  image_set_f32(image, off + 96, spec.glow_size);
  image_set_vector(image, off + 100, spec.offset);
  for (int i = 0; i < 4; i++) image_set_f32(image, off + 112 + 4 * i, spec.orient[i]);
  for (int i = 0; i < 4; i++) image_set_f32(image, off + 128 + 4 * i, spec.rest_rotation[i]);
  image_set_vector(image, off + 144, spec.rest_scale);
  if (spec.flags & 2) {
    auto position_keys = [](const std::vector<MeshPositionKeySpec>& keys) {
      std::vector<uint8_t> bytes(keys.size() * 40, 0);
      for (size_t i = 0; i < keys.size(); i++) {
        const auto at = static_cast<uint32_t>(i * 40);
        image_set_u32(bytes, at, static_cast<uint32_t>(keys[i].tick));
        const vector* v[3] = {&keys[i].value, &keys[i].in, &keys[i].out};
        for (int k = 0; k < 3; k++) image_set_vector(bytes, at + 4 + 12 * k, *v[k]);
      }
      return bytes;
    };
    std::vector<uint8_t> rotations(spec.rotation_keys.size() * 16, 0);
    for (size_t i = 0; i < spec.rotation_keys.size(); i++) {
      const auto at = static_cast<uint32_t>(i * 16);
      const MeshRotationKeySpec& k = spec.rotation_keys[i];
      image_set_u32(rotations, at, static_cast<uint32_t>(k.tick));
      for (int c = 0; c < 4; c++) image_set_u16(rotations, at + 4 + 2 * c, fixed16(k.rotation[c], 16383.0f));
      image_set_u8(rotations, at + 12, k.ease_to);
      image_set_u8(rotations, at + 13, k.ease_from);
    }
    std::vector<uint8_t> set(32, 0);
    image_set_u16(set, 0, static_cast<uint16_t>(spec.position_keys.size()));
    image_set_u16(set, 2, static_cast<uint16_t>(spec.rotation_keys.size()));
    image_set_u16(set, 4, static_cast<uint16_t>(spec.third_keys.size()));
    const uint32_t set_at = image_append(image, set.data(), 32);
    image_set_u32(image, set_at + 8, add(position_keys(spec.position_keys)));
    image_set_u32(image, set_at + 12, add(rotations));
    image_set_u32(image, set_at + 16, add(position_keys(spec.third_keys)));
    image_set_u32(image, off + 76, set_at);
  }
  if (!spec.materials.empty()) {
    while (image.size() % 4) image.push_back(0);
    const auto list = static_cast<uint32_t>(image.size());
    image.resize(image.size() + spec.materials.size() * 76, 0);
    image_set_u32(image, off + 80, list);
    for (size_t i = 0; i < spec.materials.size(); i++)
      write_effect_material(image, list + static_cast<uint32_t>(i * 76), spec.materials[i], names);
  }
}

void write_motion_path(std::vector<uint8_t>& image, uint32_t off, const MotionPathSpec& spec) {
  if (image.size() < off + 20u) image.resize(off + 20u);
  std::vector<uint8_t> frames(spec.frames.size() * 14, 0);
  for (size_t i = 0; i < spec.frames.size(); i++) {
    const auto at = static_cast<uint32_t>(i * 14);
    const MotionPathFrameSpec& f = spec.frames[i];
    const float p[3] = {f.position.x, f.position.y, f.position.z};
    for (int a = 0; a < 3; a++) image_set_u16(frames, at + 2 * a, fixed16(p[a], 16.0f));
    for (int a = 0; a < 4; a++) image_set_u16(frames, at + 6 + 2 * a, fixed16(f.rotation[a], 16383.0f));
  }
  const int end = spec.end >= 0 ? spec.end : spec.first + static_cast<int>(spec.frames.size());
  image_set_u16(image, off, static_cast<uint16_t>(static_cast<int16_t>(spec.first)));
  image_set_u16(image, off + 2, static_cast<uint16_t>(static_cast<int16_t>(end)));
  const uint32_t at = frames.empty() ? 0u : image_append(image, frames.data(), static_cast<uint32_t>(frames.size()));
  image_set_u32(image, off + 4, at);
}

#include "quarn/geom/mesh_effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/skeleton.h"
#include "quarn/geom/effect_instance_bytes.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/math/quaternion.h"
#include "quarn/os/console.h"

namespace b = effect_bytes;

bool Dump_mesh_frames = false;
CONSOLE_BOOL_VARIABLE(cc_dump_mesh_frames, "dump_mesh_frames", "Toggles Dump_mesh_frames", Dump_mesh_frames);

void mesh_material_reset(MeshMaterial& m) { m = MeshMaterial{}; }

bool mesh_material_read(MeshMaterial& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                        int err_size) {
  mesh_material_reset(out);
  if (!image || !b::inside(size, off, MESH_MATERIAL_SIZE)) {
    std::snprintf(err, err_size, "material at %u lies outside the image", off);
    return false;
  }
  const uint8_t* r = image + off;
  const uint16_t word = b::u16(r);
  out.image = image;
  out.mode = word & 7;
  out.additive = (word & 0x40) != 0;
  out.rate = word >> 7;
  for (int c = 0; c < 3; c++) {
    out.length[c] = b::u16(r + 2 + 2 * c);
    out.curve[c] = b::u32(r + 52 + 4 * c);
    if (out.length[c] && (out.curve[c] == 0 || !b::inside(size, out.curve[c], out.length[c]))) {
      std::snprintf(err, err_size, "material at %u: curve %d of %d bytes lies outside the image", off, c,
                    out.length[c]);
      mesh_material_reset(out);
      return false;
    }
  }
  out.environment_strength = r[11];
  for (int l = 0; l < 2; l++) {
    const uint8_t* lr = r + 12 + MESH_MATERIAL_LAYER_SIZE * l;
    out.layer[l].bitmap = static_cast<int32_t>(b::u32(lr));
    out.layer[l].name = b::u32(lr + 4);
    out.layer[l].start = b::f32(lr + 8);
    out.layer[l].speed = b::f32(lr + 12);
    out.layer[l].play_mode = static_cast<int32_t>(b::u32(lr + 16));
  }
  out.environment_bitmap = static_cast<int32_t>(b::u32(r + 64));
  out.environment_name = b::u32(r + 68);
  out.reserved = b::f32(r + 72);
  return true;
}

float mesh_material_curve(const MeshMaterial& m, int curve, float time) {
  if (curve < 0 || curve > 2) return 0.0f;
  const int n = m.length[curve];
  if (n <= 0 || !m.image) return 1.0f;
  const uint8_t* c = m.image + m.curve[curve];
  const float s = std::max(0.0f, static_cast<float>(m.rate) * time / 15.0f);
  const float kf = std::floor(s);
  float v;
  if (kf + 1.0f < static_cast<float>(n)) {
    const int k = static_cast<int>(kf);
    const float f = s - kf;
    v = static_cast<float>(c[k]) * (1.0f - f) + static_cast<float>(c[k + 1]) * f;
  } else {
    v = c[n - 1];
  }
  return std::clamp(v / 255.0f, 0.0f, 1.0f);
}

float mesh_material_layer2_intensity(const MeshMaterial& m, float time) {
  return m.mode == 1 ? mesh_material_curve(m, 0, time) : 0.0f;
}

int mesh_layer_frame(const MeshMaterialLayer& layer, float time) {
  float seconds = 0.0f;
  const int n = bm_get_frame_info(layer.bitmap, &seconds);
  if (n <= 1 || !(seconds > 0.0f)) return layer.bitmap;
  const double per_frame = static_cast<double>(n) / seconds * layer.speed;  // frames per second
  double idx = std::floor((static_cast<double>(time) - layer.start) * per_frame / 15.0);
  if (!(idx > 0.0)) idx = 0.0;  // also catches not-a-number
  int index;
  if (layer.play_mode == 1) {
    index = static_cast<int>(std::min(idx, static_cast<double>(n - 1)));
  } else {
    index = static_cast<int>(std::fmod(idx, static_cast<double>(n)));
  }
  return layer.bitmap + index + 1;
}

int mesh_layer_frame_normalised(const MeshMaterialLayer& layer, float u) {
  const int n = bm_get_frame_info(layer.bitmap, nullptr);
  if (n <= 1) return layer.bitmap;
  const double raw = std::floor(static_cast<double>(n) * u) - std::floor(static_cast<double>(layer.start));
  if (!std::isfinite(raw)) return layer.bitmap + 1;
  int index = static_cast<int>(std::fmod(raw, static_cast<double>(n)));
  if (index < 0) index += n;
  return layer.bitmap + index + 1;
}

MeshFace MeshEffectElement::face(int i) const {
  const uint8_t* r = image + face_list + static_cast<uint32_t>(i) * MESH_FACE_SIZE;
  MeshFace f{};
  f.slot = static_cast<int8_t>(r[0]);
  for (int j = 0; j < 3; j++) {
    f.vertex[j] = b::u16(r + 4 + 2 * j);
    f.u[j] = static_cast<float>(b::i16(r + 10 + 2 * j)) / 4096.0f;
    f.v[j] = static_cast<float>(b::i16(r + 16 + 2 * j)) / 4096.0f;
    f.light[j] = b::u16(r + 22 + 2 * j);
  }
  return f;
}

int MeshEffectElement::face_material(const MeshFace& f) const {
  // The slot is checked against the table before the table is read, and the
  // material it names against the material count.
  if (f.slot < 0 || f.slot >= slots) return -1;
  const int m = image[slot_table + static_cast<uint32_t>(f.slot)];
  return m < materials ? m : -1;
}

int MeshEffectElement::sprite_material() const {
  if (sub_records > 0) {
    const int m = b::u16(image + sub_list);
    return m < materials ? m : -1;
  }
  return materials > 0 ? 0 : -1;
}

bool mesh_effect_material(const MeshEffectElement& e, int index, MeshMaterial& out) {
  if (index < 0 || index >= e.materials) {
    mesh_material_reset(out);
    return false;
  }
  char err[8];
  // The element's check has already read every material once.
  return mesh_material_read(out, e.image, UINT32_MAX, e.material_list + static_cast<uint32_t>(index) * MESH_MATERIAL_SIZE,
                            err, sizeof err);
}

bool mesh_effect_relocate(MeshEffectElement& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                          int err_size) {
  out = MeshEffectElement{};
  if (!image || !b::inside(size, off, MESH_ELEMENT_SIZE)) {
    std::snprintf(err, err_size, "mesh element at %u lies outside the image", off);
    return false;
  }
  const uint8_t* r = image + off;
  MeshEffectElement e;
  e.image = image;
  e.record = off;
  e.flags = b::u32(r + 8);
  e.enabled = r[12] & 1;
  e.start = b::f32(r + 16);
  e.vertices = b::u16(r + 20);
  e.frames = b::u16(r + 22);
  e.sub_records = b::u16(r + 24);
  e.display = b::u16(r + 26);
  e.faces = b::u16(r + 28);
  e.materials = b::u16(r + 30);
  e.light_records = b::u16(r + 32);
  e.slots = b::u16(r + 34);
  e.radius = b::f32(r + 36);
  e.face_list = b::u32(r + 40);
  e.slot_table = b::u32(r + 44);
  e.light_list = b::u32(r + 48);
  e.rest = vector(b::f32(r + 52), b::f32(r + 56), b::f32(r + 60));
  e.frame_list = b::u32(r + 64);
  e.vertex_data = b::u32(r + 68);
  e.normals = b::u32(r + 72);
  e.key_tracks = b::u32(r + 76);
  e.material_list = b::u32(r + 80);
  e.sub_list = b::u32(r + 84);
  e.glow_name = b::u32(r + 88);
  // 0 in the file; the definition's reset loads it by name.
  e.glow_handle = static_cast<int32_t>(b::u32(r + MESH_ELEMENT_GLOW_HANDLE));
  e.glow_size = b::f32(r + 96);
  e.offset = vector(b::f32(r + 100), b::f32(r + 104), b::f32(r + 108));
  for (int i = 0; i < 4; i++) e.orient[i] = b::f32(r + 112 + 4 * i);
  e.rest_rotation.set(b::f32(r + 128), b::f32(r + 132), b::f32(r + 136), b::f32(r + 140));
  const float rest_len = std::sqrt(quaternion_dot(e.rest_rotation, e.rest_rotation));
  // A rest rotation that is no rotation (all zero) stands for none.
  if (rest_len > 1e-6f) e.rest_rotation.set(e.rest_rotation.x / rest_len, e.rest_rotation.y / rest_len,
                                            e.rest_rotation.z / rest_len, e.rest_rotation.w / rest_len);
  else e.rest_rotation.identity();
  e.rest_scale = vector(b::f32(r + 144), b::f32(r + 148), b::f32(r + 152));

  auto fail = [&](const char* what) {
    std::snprintf(err, err_size, "mesh element at %u: %s", off, what);
    return false;
  };
  if (e.vertices > MESH_EFFECT_MAX_VERTICES) return fail("more vertices than the shared vertex buffer holds");
  if (e.faces > MESH_EFFECT_MAX_FACES) return fail("more faces than the shared sort list holds");
  auto array_ok = [&](uint32_t at, int count, uint64_t each) {
    return count == 0 || (at != 0 && b::inside(size, at, static_cast<uint64_t>(count) * each));
  };
  if (!array_ok(e.face_list, e.faces, MESH_FACE_SIZE)) return fail("face list lies outside the image");
  if (!array_ok(e.slot_table, e.slots, 1)) return fail("slot table lies outside the image");
  if (!array_ok(e.light_list, e.light_records, MESH_LIGHT_RECORD_SIZE))
    return fail("vertex light records lie outside the image");
  if (!array_ok(e.frame_list, e.frames, MESH_FRAME_SIZE)) return fail("frames lie outside the image");
  if (!array_ok(e.sub_list, e.sub_records, MESH_SUB_RECORD_SIZE)) return fail("sub-records lie outside the image");
  if (!array_ok(e.material_list, e.materials, MESH_MATERIAL_SIZE)) return fail("materials lie outside the image");
  if (e.vertex_data) {
    // What drawing reads: one fixed i16 set, one float set for a rigid
    // element, or a float set per frame.
    const uint64_t per = (e.flags & 16) ? 6u
                         : (e.display & MESH_DISPLAY_VERTEX_FRAMES) ? 36u * static_cast<uint64_t>(std::max(e.frames, 1))
                                                                    : 36u;
    if (!array_ok(e.vertex_data, e.vertices, per)) return fail("vertex data lies outside the image");
  }
  if ((e.flags & MESH_FLAG_KEY_TRACKS) && e.key_tracks) {
    if (!b::inside(size, e.key_tracks, MESH_KEY_SET_SIZE)) return fail("key-track set lies outside the image");
    static const int key_size[3] = {MESH_POSITION_KEY_SIZE, MESH_ROTATION_KEY_SIZE, MESH_POSITION_KEY_SIZE};
    for (int k = 0; k < 3; k++) {
      e.key_counts[k] = b::u16(image + e.key_tracks + 2 * k);
      e.key_lists[k] = b::u32(image + e.key_tracks + 8 + 4 * k);
      if (!array_ok(e.key_lists[k], e.key_counts[k], static_cast<uint64_t>(key_size[k])))
        return fail("key track lies outside the image");
    }
  }
  for (int i = 0; i < e.materials; i++) {
    MeshMaterial m;
    if (!mesh_material_read(m, image, size, e.material_list + static_cast<uint32_t>(i) * MESH_MATERIAL_SIZE, err,
                            err_size))
      return false;
  }
  for (int i = 0; i < e.faces; i++) {
    const MeshFace f = e.face(i);
    for (int j = 0; j < 3; j++) {
      if (f.vertex[j] >= e.vertices) return fail("a face names a vertex the element does not have");
      if (f.light[j] >= e.light_records) return fail("a face names a light record the element does not have");
    }
  }
  out = e;
  return true;
}

namespace {

// A coded position (sixteenths) and short quaternion, as frames and motion
// paths store them.
void coded_pose(const uint8_t* p, vector& position, quaternion& rotation) {
  position = vector(b::i16(p) / 16.0f, b::i16(p + 2) / 16.0f, b::i16(p + 4) / 16.0f);
  rotation.set(b::i16(p + 6) / 16383.0f, b::i16(p + 8) / 16383.0f, b::i16(p + 10) / 16383.0f,
               b::i16(p + 12) / 16383.0f);
}

void blend_coded_poses(const uint8_t* a, const uint8_t* n, float w, vector& position, quaternion& rotation) {
  vector pa, pn;
  quaternion qa, qn;
  coded_pose(a, pa, qa);
  coded_pose(n, pn, qn);
  position = pa * (1.0f - w) + pn * w;
  quaternion_slerp(rotation, qa, qn, w);
}

PositionKey position_key_at(const uint8_t* p) {
  PositionKey k;
  k.tick = static_cast<int32_t>(b::u32(p));
  k.value = vector(b::f32(p + 4), b::f32(p + 8), b::f32(p + 12));
  k.in_control = vector(b::f32(p + 16), b::f32(p + 20), b::f32(p + 24));
  k.out_control = vector(b::f32(p + 28), b::f32(p + 32), b::f32(p + 36));
  return k;
}

RotationKey rotation_key_at(const uint8_t* p) {
  RotationKey k{};
  k.tick = static_cast<int32_t>(b::u32(p));
  k.q.set(b::i16(p + 4), b::i16(p + 6), b::i16(p + 8), b::i16(p + 10));
  k.ease_to = p[12];
  k.ease_from = p[13];
  return k;
}

// The one or two keys of a track in the image that the shared key-track
// evaluation reads at `tick`: the end key outside the track, else the pair
// around it. Evaluated over this window it answers exactly what it would
// over the whole track, without the track being copied out of the image.
template <class Key, class Read>
int key_window(const uint8_t* keys, int count, int size, int tick, Read read, Key out[2]) {
  auto tick_of = [&](int i) { return static_cast<int32_t>(b::u32(keys + static_cast<uint32_t>(i * size))); };
  if (tick <= tick_of(0)) {
    out[0] = read(keys);
    return 1;
  }
  if (tick >= tick_of(count - 1)) {
    out[0] = read(keys + static_cast<uint32_t>((count - 1) * size));
    return 1;
  }
  int k = 1;
  while (k < count - 1 && tick_of(k) <= tick) k++;
  out[0] = read(keys + static_cast<uint32_t>((k - 1) * size));
  out[1] = read(keys + static_cast<uint32_t>(k * size));
  return 2;
}

// A rigid element's pose at time t (frames 15 a second): from its key
// tracks (flags bit 1) or from the frames chosen by the preparation.
void rigid_pose(MeshEffectState& st, const MeshEffectElement& e, float t) {
  st.rigid_scale = vector(1, 1, 1);
  st.rigid_turn = identity_matrix;
  st.rigid_move = vector(0, 0, 0);
  if (e.flags & MESH_FLAG_KEY_TRACKS) {
    const double s = static_cast<double>(t) / 15.0;
    const double ticks = std::trunc(s * 30.0 * 160.0) - std::trunc(static_cast<double>(e.start) * 30.0 * 160.0);
    const int tick = static_cast<int>(std::clamp(ticks, -1e9, 1e9));
    const uint8_t* keys[3];
    for (int k = 0; k < 3; k++) keys[k] = e.image + e.key_lists[k];
    // The tracks give the element's whole place: an empty track leaves the
    // rest value, so an element without keys stays where it rests.
    // Position and third tracks share the position layout.
    auto keyed_vector = [&](int k, const vector& rest) {
      if (e.key_counts[k] <= 0) return rest;
      PositionKey w[2];
      BoneTrack track{};
      track.position_count = key_window(keys[k], e.key_counts[k], MESH_POSITION_KEY_SIZE, tick, position_key_at, w);
      track.positions = w;
      return bone_track_evaluate(track, tick);
    };
    st.position = keyed_vector(0, e.rest);
    st.rigid_scale = keyed_vector(2, e.rest_scale);
    quaternion rotation = e.rest_rotation;
    if (e.key_counts[1] > 0) {
      RotationKey w[2];
      BoneTrack track{};
      track.rotation_count = key_window(keys[1], e.key_counts[1], MESH_ROTATION_KEY_SIZE, tick, rotation_key_at, w);
      track.rotations = w;
      rotation = bone_track_rotation(track, tick, 0);
    }
    rotation.to_matrix(st.rigid_turn);
  } else if (e.frames > 0) {
    quaternion q;
    blend_coded_poses(e.image + e.frame_list + static_cast<uint32_t>(st.frame) * MESH_FRAME_SIZE,
                      e.image + e.frame_list + static_cast<uint32_t>(st.next) * MESH_FRAME_SIZE, st.fraction,
                      st.rigid_move, q);
    q.to_matrix(st.rigid_turn);
  }
}

}  // namespace

void mesh_effect_init(MeshEffectState& st, const MeshEffectElement& e) {
  st = MeshEffectState{};
  st.position = e.rest;
  st.control = MESH_STATE_UNPREPARED;
  st.orient = identity_matrix;
  st.world_orient = identity_matrix;
}

bool mesh_effect_prepare(MeshEffectState& st, const MeshEffectElement& e, float t) {
  const float s = t / 15.0f;
  const float f = static_cast<float>(e.frame_rate()) * (s - e.start);
  if (!(f >= 0.0f) || f > static_cast<float>(e.frames)) {
    st.control |= MESH_STATE_UNPREPARED;
    return false;
  }
  const int last = std::max(e.frames - 1, 0);
  st.frame = std::min(static_cast<int>(std::floor(f)), last);
  st.next = std::min(st.frame + 1, last);
  st.fraction = (e.display & MESH_DISPLAY_STEPPED) ? 0.0f : f - std::floor(f);
  // Only faces read the rigid pose: a sprite or beam takes its place from
  // its frames below.
  if (!(e.display & (MESH_DISPLAY_VERTEX_FRAMES | MESH_DISPLAY_SPRITE | MESH_DISPLAY_BEAM))) rigid_pose(st, e, t);
  if (e.frames > 0 && (e.display & (MESH_DISPLAY_SPRITE | MESH_DISPLAY_BEAM))) {
    const uint8_t* a = e.image + e.frame_list + static_cast<uint32_t>(st.frame) * MESH_FRAME_SIZE;
    const uint8_t* n = e.image + e.frame_list + static_cast<uint32_t>(st.next) * MESH_FRAME_SIZE;
    const float w = st.fraction;
    auto mix = [&](const uint8_t* pa, const uint8_t* pn, float div) {
      return (static_cast<float>(b::i16(pa)) * (1 - w) + static_cast<float>(b::i16(pn)) * w) / div;
    };
    st.position = vector(mix(a, n, 16.0f), mix(a + 2, n + 2, 16.0f), mix(a + 4, n + 4, 16.0f));
    st.size = mix(a + 14, n + 14, 256.0f);
    st.length = mix(a + 16, n + 16, 256.0f);
    st.direction = vector(b::f32(a + 20), b::f32(a + 24), b::f32(a + 28));
  }
  st.control &= ~MESH_STATE_UNPREPARED;
  return true;
}

void mesh_effect_render(MeshEffectState& st, const MeshEffectElement& e, float time, const vector* world_position,
                        const matrix* world_orient, float value) {
  // What the instance's value means to the drawing is the caller's; the
  // alpha scale stays the state's own.
  (void)value;
  if (!e.image) return;
  if (!mesh_effect_prepare(st, e, time)) return;
  if (world_position) st.world_position = *world_position;
  if (world_orient) st.world_orient = *world_orient;
  // The element's own position rides on the world frame it was placed at.
  vector at = st.position;
  at.unrotate(st.world_orient);
  at = at + st.world_position;
  if (e.display & (MESH_DISPLAY_SPRITE | MESH_DISPLAY_BEAM)) {
    MeshMaterial m;
    if (!mesh_effect_material(e, e.sprite_material(), m)) return;
    const int alpha = std::clamp(static_cast<int>(mesh_material_curve(m, 2, time) * 255.0f * st.scale), 0, 255);
    const int second = m.mode == 1 ? std::clamp(static_cast<int>(mesh_material_curve(m, 0, time) * 255.0f), 0, 255) : -1;
    for (int layer = 0; layer < (second >= 0 ? 2 : 1); layer++) {
      const int bitmap = m.layer[layer].bitmap >= 0 ? mesh_layer_frame(m.layer[layer], time) : -1;
      gr_set_bitmap(bitmap);
      const int grey = layer == 0 ? 255 : second;
      gr_set_color(grey, grey, grey, gr_mesh_distance_alpha(alpha, at));
      const RenderStateWord state = bitmap < 0 ? Gr_preset[25] : (m.additive ? Gr_preset[15] : Gr_preset[19]);
      if (e.display & MESH_DISPLAY_BEAM) {
        vector d = st.direction;
        d.unrotate(st.world_orient);
        const vector half(d.x * st.length * 0.5f, d.y * st.length * 0.5f, d.z * st.length * 0.5f);
        gr_3d_draw_beam(at - half, at + half, st.size, state);
      } else {
        gr_3d_draw_rect_sprite(at, 0.0f, st.size, st.length, state);
      }
    }
  } else {
    mesh_effect_draw_faces(st, e, time);
  }
  if (e.glow_handle >= 0 && e.glow_size > 0.0f) {
    gr_set_bitmap(e.glow_handle);
    gr_set_color(255, 255, 255, gr_mesh_distance_alpha(255, st.world_position));
    gr_3d_draw_sprite(st.world_position, 0.0f, e.glow_size, Gr_preset[15]);
  }
}

namespace {

// The shared buffers of mesh drawing: one vertex record per element vertex
// and one sort entry per face, sized by the limits the reader enforces.
GrVertex g_points[MESH_EFFECT_MAX_VERTICES];
vector g_local[MESH_EFFECT_MAX_VERTICES];
struct SortEntry {
  float key;
  uint16_t face;
};
SortEntry g_sort[MESH_EFFECT_MAX_FACES];
int g_sort_count = 0;
uint8_t g_lit[MESH_EFFECT_MAX_VERTICES * 4];  // per light record: done flag
uint8_t g_colour[MESH_EFFECT_MAX_VERTICES * 4][3];

float normal_byte(uint32_t b) { return static_cast<float>(b) * 2.0f / 255.0f - 1.0f; }

// Vertex positions in the element's frame at the prepared frames.
void gather_vertices(const MeshEffectElement& e, const MeshEffectState& st) {
  const uint8_t* base = e.image + e.vertex_data;
  const bool fixed = (e.flags & 16) != 0;
  const bool per_frame = (e.display & MESH_DISPLAY_VERTEX_FRAMES) != 0 && !fixed;
  const bool rigid = !(e.display & MESH_DISPLAY_VERTEX_FRAMES);
  for (int i = 0; i < e.vertices; i++) {
    vector v;
    if (fixed) {
      const uint8_t* p = base + 6u * static_cast<uint32_t>(i);
      v = vector(b::i16(p) / 256.0f, b::i16(p + 2) / 256.0f, b::i16(p + 4) / 256.0f);
    } else {
      const uint32_t per = 36u * static_cast<uint32_t>(e.vertices);
      const uint8_t* a = base + (per_frame ? per * static_cast<uint32_t>(st.frame) : 0u) + 36u * i;
      const uint8_t* n = base + (per_frame ? per * static_cast<uint32_t>(st.next) : 0u) + 36u * i;
      const float w = per_frame ? st.fraction : 0.0f;
      v = vector(b::f32(a) * (1 - w) + b::f32(n) * w, b::f32(a + 4) * (1 - w) + b::f32(n + 4) * w,
                 b::f32(a + 8) * (1 - w) + b::f32(n + 8) * w);
    }
    if (e.flags & 4) v = vector(v.x * 64.0f, v.y * 64.0f, v.z * 64.0f);
    if (rigid) {
      v = vector(v.x * st.rigid_scale.x, v.y * st.rigid_scale.y, v.z * st.rigid_scale.z);
      v.unrotate(st.rigid_turn);
      v = v + st.rigid_move;
    }
    v.unrotate(st.orient);
    g_local[i] = v + st.position;
  }
}

}  // namespace

void mesh_env_wrap(float u[3]) {
  // A reflection that crosses the seam of the environment map keeps the
  // short way round: u only, v is left as it is.
  for (int j = 1; j < 3; j++) {
    if (u[j] - u[0] >= 0.5f)
      u[j] -= 1.0f;
    else if (u[0] - u[j] > 0.5f)
      u[j] += 1.0f;
  }
}

int mesh_effect_draw_faces(MeshEffectState& st, const MeshEffectElement& e, float time) {
  if (!e.image || e.faces == 0 || e.vertices == 0 || !e.vertex_data) return 0;
  gather_vertices(e, st);
  gr_3d_start_instance(st.world_position, st.world_orient, false);
  lights_gather(st.world_position, e.radius);
  for (int i = 0; i < e.vertices; i++) gr_3d_rotate_point(g_points[i], g_local[i]);
  std::memset(g_lit, 0, static_cast<size_t>(e.light_records));
  g_sort_count = 0;
  for (int fi = 0; fi < e.faces; fi++) {
    const MeshFace f = e.face(fi);
    if (f.slot < 0) {
      // Formatted for a developer's breakpoint, never shown: a face without
      // a material is simply not drawn.
      char note[96];
      std::snprintf(note, sizeof note, "Face is missing a material -- mesh %s\n", e.name ? e.name : "");
      continue;
    }
    const int mi = e.face_material(f);
    MeshMaterial m;
    if (mi < 0 || !mesh_effect_material(e, mi, m)) continue;
    if (m.layer[0].bitmap < 0 && m.layer[1].bitmap < 0) continue;
    const GrVertex& p0 = g_points[f.vertex[0]];
    const GrVertex& p1 = g_points[f.vertex[1]];
    const GrVertex& p2 = g_points[f.vertex[2]];
    if (p0.codes & p1.codes & p2.codes) continue;
    const vector a(p0.x, p0.y, p0.z), bb(p1.x, p1.y, p1.z), c(p2.x, p2.y, p2.z);
    vector n;
    (bb - a).cross(n, c - a);
    if (n.dot(a) >= 0.0f) continue;  // faces away from the eye
    const int floor_level = static_cast<int>(mesh_material_curve(m, 1, time) * 255.0f);
    for (int j = 0; j < 3; j++) {
      const int lr = f.light[j];
      if (g_lit[lr]) continue;
      g_lit[lr] = 1;
      uint8_t* col = g_colour[lr];
      if ((e.display & MESH_DISPLAY_UNLIT) || floor_level >= 254) {
        col[0] = col[1] = col[2] = 255;
        continue;
      }
      // The record holds its averaged normal; it is taken out to the world
      // with the vertex it lights.
      const uint8_t* rec = e.image + e.light_list + static_cast<uint32_t>(lr) * MESH_LIGHT_RECORD_SIZE;
      const uint32_t word = b::u32(rec);
      vector normal(normal_byte((word >> 12) & 255), normal_byte((word >> 20) & 255), normal_byte(rec[11]));
      const float len = normal.length();
      if (len > 0.0f) normal = vector(normal.x / len, normal.y / len, normal.z / len);
      normal.unrotate(st.world_orient);
      const int vi = std::min<int>(static_cast<int>((word >> 1) & 0x7FF), e.vertices - 1);
      vector world = g_local[vi];
      world.unrotate(st.world_orient);
      world = world + st.world_position;
      light_vertex_colour(col[0], col[1], col[2], world, &normal, true, false);
      for (int k = 0; k < 3; k++) col[k] = static_cast<uint8_t>(std::max<int>(col[k], floor_level));
    }
    const float bias = 61.0f * static_cast<float>(f.slot);
    const float key = std::max({p0.z + bias, p1.z + bias, p2.z + bias});
    g_sort[g_sort_count++] = {key, static_cast<uint16_t>(fi)};
  }
  const bool translucent = (st.control & MESH_STATE_TRANSLUCENT) != 0;
  if (!translucent)
    std::stable_sort(g_sort, g_sort + g_sort_count, [](const SortEntry& x, const SortEntry& y) { return x.key > y.key; });
  int submitted = 0;
  for (int s = 0; s < g_sort_count; s++) {
    const MeshFace f = e.face(g_sort[s].face);
    const int mi = e.face_material(f);
    MeshMaterial m;
    if (mi < 0 || mi >= e.materials || !mesh_effect_material(e, mi, m)) continue;
    const int alpha = std::clamp(static_cast<int>(mesh_material_curve(m, 2, time) * st.scale * 255.0f), 0, 255);
    gr_alpha_poly_begin(translucent, g_sort[s].key, 0, false, 0.0f);
    for (int j = 0; j < 3; j++) gr_alpha_poly_vertex(&g_points[f.vertex[j]]);
    const int bitmap = m.layer[0].bitmap >= 0 ? mesh_layer_frame(m.layer[0], time) : -1;
    gr_alpha_poly_state(m.additive ? Gr_preset[15] : Gr_preset[19], bitmap, 255, 255, 255, alpha, 0);
    for (int j = 0; j < 3; j++) {
      const uint8_t* col = g_colour[f.light[j]];
      gr_alpha_poly_uv(f.u[j], f.v[j]);
      gr_alpha_poly_rgb(col[0], col[1], col[2]);
      gr_alpha_poly_alpha(translucent ? alpha : gr_fog_alpha(alpha, g_points[f.vertex[j]].z));
    }
    if (m.mode == 1 && m.layer[1].bitmap >= 0) {
      const float intensity = mesh_material_curve(m, 0, time - e.start * 15.0f);
      const int layer2 = mesh_layer_frame(m.layer[1], time);
      // A second layer with its own alpha channel blends by it, faded with
      // distance; otherwise it is laid on by the intensity alone.
      const bool own_alpha = bm_has_alpha(layer2);
      const int a2 = own_alpha ? gr_mesh_distance_alpha(static_cast<int>(intensity * static_cast<float>(alpha)),
                                                        st.world_position)
                               : static_cast<int>(intensity * static_cast<float>(alpha) + 0.5f);
      const RenderStateWord state2 = own_alpha ? Gr_preset[19] : m.additive ? Gr_preset[15] : Gr_preset[18];
      gr_alpha_poly_state(state2, layer2, 255, 255, 255, a2, 1);
      for (int j = 0; j < 3; j++) {
        const uint8_t* col = g_colour[f.light[j]];
        gr_alpha_poly_uv(f.u[j], f.v[j]);
        gr_alpha_poly_rgb(static_cast<int>(col[0] * intensity), static_cast<int>(col[1] * intensity),
                          static_cast<int>(col[2] * intensity));
        gr_alpha_poly_alpha(a2);
      }
    }
    if (m.environment_bitmap >= 0) {
      const int ea = gr_mesh_distance_alpha(static_cast<int>(m.environment_strength * alpha / 255.0f + 0.5f),
                                            st.world_position);
      float u[3], v[3];
      for (int j = 0; j < 3; j++) {
        const GrVertex& p = g_points[f.vertex[j]];
        const uint8_t* rec = e.image + e.light_list + static_cast<uint32_t>(f.light[j]) * MESH_LIGHT_RECORD_SIZE;
        const uint32_t word = b::u32(rec);
        vector normal(normal_byte((word >> 12) & 255), normal_byte((word >> 20) & 255), normal_byte(rec[11]));
        light_sphere_map(u[j], v[j], vector(p.x, p.y, p.z), normal);
      }
      mesh_env_wrap(u);
      // Wrapped bilinear texture, texture colour alone, current alpha, alpha
      // blend, depth test without write, fog as the screen has it.
      gr_alpha_poly_state(RenderStateWord(1, 1, 0, 3, 1, 0), m.environment_bitmap, 255, 255, 255, ea, 2);
      for (int j = 0; j < 3; j++) {
        gr_alpha_poly_uv(u[j], v[j]);
        gr_alpha_poly_rgb(255, 255, 255);
        gr_alpha_poly_alpha(ea);
      }
    }
    if (gr_alpha_poly_end()) submitted++;
  }
  lights_pop();
  gr_3d_end_instance();
  return submitted;
}

int mesh_effect_sorted_faces(int* faces, int capacity) {
  const int n = std::min(capacity, g_sort_count);
  for (int i = 0; i < n; i++) faces[i] = g_sort[i].face;
  return n;
}

bool motion_path_read(MotionPath& out, const uint8_t* image, uint32_t size, uint32_t off, char* err, int err_size) {
  out = MotionPath{};
  if (!image || !b::inside(size, off, MOTION_PATH_SIZE)) {
    std::snprintf(err, err_size, "motion path at %u lies outside the image", off);
    return false;
  }
  MotionPath p;
  p.image = image;
  p.first = b::i16(image + off);
  p.end = b::i16(image + off + 2);
  p.frames = b::u32(image + off + 4);
  // A path that ends where it begins (or before) covers no time and reads no
  // frame.
  const int count = std::max(0, p.end - p.first);
  const uint64_t bytes = static_cast<uint64_t>(count) * MOTION_PATH_FRAME_SIZE;
  if (count > 0 && (p.frames == 0 || !b::inside(size, p.frames, bytes))) {
    std::snprintf(err, err_size, "motion path at %u: %d frames lie outside the image", off, count);
    return false;
  }
  out = p;
  return true;
}

bool motion_path_sample(const MotionPath& path, float t, vector& position, quaternion& rotation) {
  if (!path.image || !std::isfinite(t)) return false;
  const float kf = std::floor(t);
  if (kf < static_cast<float>(path.first) || kf + 1.0f >= static_cast<float>(path.end)) return false;
  const auto k = static_cast<uint32_t>(static_cast<int>(kf) - path.first);
  const uint8_t* a = path.image + path.frames + k * MOTION_PATH_FRAME_SIZE;
  blend_coded_poses(a, a + MOTION_PATH_FRAME_SIZE, t - kf, position, rotation);
  return true;
}

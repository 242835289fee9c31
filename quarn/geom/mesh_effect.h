#pragma once
// Mesh effects: effect elements that show geometry (a small animated mesh, a
// camera-facing sprite or a beam) with animated materials. The definition
// lives in an effect image and is read through a checked view; the per-element
// state belongs to the effect instance.
//
// The rule a caller must know: a view is made once per image by
// mesh_effect_relocate, which refuses any record whose counts, offsets or
// material slots do not fit the image; everything later trusts the view.
#include <cstdint>

#include "quarn/geom/effect_image.h"
#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

// Material (76 bytes):
//   0 u16 bits 0-2 mode (1: a second layer over the first), bit 6 additive
//         faces, bits 7-15 curve rate (curve bytes per second)
//   2 u16 x 3 curve lengths   8 u8 x 3 colour (material tracks only)   11 u8 environment strength
//  12 layer 1, 32 layer 2: {i32 first bitmap handle, u32 bitmap name offset,
//         f32 start time, f32 speed, i32 play mode}
//  52 u32 x 3 offsets of the curve bytes (0 with a length of 0)
//  64 i32 environment bitmap handle (below 0: none)
//  68 u32 environment bitmap name offset
//  72 f32 0.55, kept for the level renderer
constexpr int MESH_MATERIAL_SIZE = 76;
constexpr int MESH_MATERIAL_LAYER_SIZE = 20;
constexpr int MESH_FACE_SIZE = 28;
constexpr int MESH_LIGHT_RECORD_SIZE = 12;
constexpr int MESH_FRAME_SIZE = 72;
constexpr int MESH_SUB_RECORD_SIZE = 12;
constexpr int MESH_NORMAL_SIZE = 28;
constexpr int MESH_ELEMENT_SIZE = EFFECT_MESH_ELEMENT_SIZE;
constexpr int MESH_ELEMENT_GLOW_HANDLE = 92;
constexpr int MESH_KEY_SET_SIZE = 32;
constexpr int MESH_POSITION_KEY_SIZE = 40;
constexpr int MESH_ROTATION_KEY_SIZE = 16;
constexpr uint32_t MESH_FLAG_KEY_TRACKS = 2;

struct MeshMaterialLayer {
  int32_t bitmap = -1;
  uint32_t name = 0;
  float start = 0.0f, speed = 1.0f;
  int32_t play_mode = 0;
};

struct MeshMaterial {
  const uint8_t* image = nullptr;
  int mode = 7;
  bool additive = false;
  int rate = 0;
  int length[3] = {0, 0, 0};
  uint32_t curve[3] = {0, 0, 0};
  uint8_t environment_strength = 0;
  MeshMaterialLayer layer[2];
  int32_t environment_bitmap = -1;
  uint32_t environment_name = 0;
  float reserved = 0.55f;
};

// The material at off; false (message in err) when it or a curve lies
// outside the image.
bool mesh_material_read(MeshMaterial& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                        int err_size);
// Mode 7, no bitmaps, empty curves.
void mesh_material_reset(MeshMaterial& m);
// Curve 0: second-layer intensity, 1: floor of lit colours, 2: alpha. Time in
// effect frames (15 per second). 0..1; an empty curve answers 1.
float mesh_material_curve(const MeshMaterial& m, int curve, float time);
// Second-layer intensity: the first curve for mode-1 materials, else 0.
float mesh_material_layer2_intensity(const MeshMaterial& m, float time);

// The bitmap of a texture layer at a time in effect frames: a still bitmap
// gives its handle; an animation of n frames steps at the bitmap's own rate
// times the layer's speed from the layer's start, holding the last frame in
// play mode 1 and wrapping otherwise.
int mesh_layer_frame(const MeshMaterialLayer& layer, float time);
// The same at a normalised time u (0..1 over the animation).
int mesh_layer_frame_normalised(const MeshMaterialLayer& layer, float u);

// Mesh face (28 bytes): 0 i8 material slot (negative: none); 4 u16 x 3
// vertices; 10 i16 x 3 u, 16 i16 x 3 v (4.12); 22 u16 x 3 light records.
struct MeshFace {
  int8_t slot;
  uint16_t vertex[3];
  float u[3], v[3];
  uint16_t light[3];
};

// Mesh-effect element (168 bytes):
//   0 u32 own name, 4 u32 parent name
//   8 u32 flags: bit 1 rigid motion from the key tracks, bit 2 positions x 64,
//         bit 4 positions are one set of 8.8 triples, bits 6+ frames per second
//  12 u8  bit 0 enabled      13..15 unused
//  16 f32 start time (s)
//  20 u16 vertices, 22 u16 frames, 24 u16 sub-records, 26 u16 display word
//         (bit 0 sprite, bit 1 stepped frames, bit 2 per-frame vertex data,
//          bit 4 unlit faces, bit 11 beam)
//  28 u16 faces, 30 u16 materials, 32 u16 light records, 34 u16 slot count
//  36 f32 light-gathering radius
//  40 u32 faces, 44 u32 slot table (bytes), 48 u32 light records
//  52 f32 x 3 rest position
//  64 u32 frames (72 bytes each), 68 u32 per-vertex frame data, 72 u32 packed
//         normals, 76 u32 key-track set, 80 u32 materials, 84 u32 sub-records
//  88 u32 glow bitmap name, 92 i32 glow handle (0 in the file, set when the
//         definition is reset; below 0: none), 96 f32 glow size
// 100 f32 x 3 offset from the parent, 112 f32 x 4 orientation to the parent
// 128 f32 x 4 rest rotation, 144 f32 x 3 rest scale: what an empty rotation
//     or third key track gives (flags bit 1)
// 156..167 zero
// Frame (72 bytes): 0 i16 x 3 position in sixteenths; 6 i16 x 4 rotation
//   (x, y, z, w / 16383); 14 i16 size, 16 i16 length (8.8, sprites and
//   beams); 18 i16 pad; 20 f32 x 3 beam direction; 32..71 zero.
// Sub-record (12 bytes): 0 u16 material index, 2 u16 first face, 4 u16 face
//   count, 6 u16 unused, 8 f32 scale.
// Key-track set (32 bytes, read with flags bit 1): 0 u16 position keys,
//   2 u16 rotation keys, 4 u16 third keys, 6 u16 zero; 8 u32 position keys
//   (40 bytes each: i32 tick, f32 x 3 value, in-control, out-control, the
//   controls absolute); 12 u32 rotation keys (16 bytes each: i32 tick,
//   i16 x 4 quaternion x 16383, u8 ease-to, u8 ease-from, u16 zero);
//   16 u32 third keys (the position layout); 20..31 zero. The third track
//   scales the element per axis.
struct MeshEffectElement {
  const uint8_t* image = nullptr;
  uint32_t record = 0;
  const char* name = nullptr;  // resolved by the instance that owns the element
  uint32_t flags = 0;
  bool enabled = false;
  float start = 0.0f;
  int vertices = 0, frames = 0, sub_records = 0, display = 0;
  int faces = 0, materials = 0, light_records = 0, slots = 0;
  float radius = 0.0f;
  uint32_t face_list = 0, slot_table = 0, light_list = 0;
  vector rest{0, 0, 0};
  uint32_t frame_list = 0, vertex_data = 0, normals = 0, key_tracks = 0, material_list = 0, sub_list = 0;
  uint32_t glow_name = 0;
  int32_t glow_handle = -1;
  float glow_size = 0.0f;
  vector offset{0, 0, 0};
  float orient[4] = {0, 0, 0, 1};
  quaternion rest_rotation{0, 0, 0, 1};
  vector rest_scale{1, 1, 1};
  int key_counts[3] = {0, 0, 0};       // position, rotation, third
  uint32_t key_lists[3] = {0, 0, 0};

  int frame_rate() const { return static_cast<int>(flags >> 6); }
  MeshFace face(int i) const;
  // Index in the material list of a face's slot, or -1 for a negative slot
  // or one that names no material.
  int face_material(const MeshFace& f) const;
  // The material of the first sub-record (sprites and beams), else the first.
  int sprite_material() const;
};

constexpr int MESH_DISPLAY_SPRITE = 1;
constexpr int MESH_DISPLAY_STEPPED = 2;
constexpr int MESH_DISPLAY_VERTEX_FRAMES = 4;
constexpr int MESH_DISPLAY_UNLIT = 16;
constexpr int MESH_DISPLAY_BEAM = 0x800;
// Vertices one element may have: the shared vertex buffer of mesh drawing.
constexpr int MESH_EFFECT_MAX_VERTICES = 4000;
// Faces one element may sort: the shared sort list.
constexpr int MESH_EFFECT_MAX_FACES = 4000;

bool mesh_effect_relocate(MeshEffectElement& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                          int err_size);
bool mesh_effect_material(const MeshEffectElement& e, int index, MeshMaterial& out);

constexpr uint32_t MESH_STATE_UNPREPARED = 1u << 31;
constexpr uint32_t MESH_STATE_TRANSLUCENT = 1u << 28;

struct MeshEffectState {
  vector position{0, 0, 0};
  float size = 0.0f, length = 0.0f;
  float scale = 1.0f;
  uint32_t control = 0;
  vector direction{0, 0, 0};
  matrix orient;
  vector world_position{0, 0, 0};
  matrix world_orient;
  uint32_t last = 0;
  // Where the last preparation stands: frames k and next and the fraction.
  int frame = 0, next = 0;
  float fraction = 0.0f;
  // The pose of a rigid element at that time: vertices are scaled, turned
  // and moved by it before the instance's own orientation and position.
  vector rigid_scale{1, 1, 1};
  matrix rigid_turn = identity_matrix;
  vector rigid_move{0, 0, 0};
};

void mesh_effect_init(MeshEffectState& st, const MeshEffectElement& e);
// Chooses the frames at time t (effect frames). False, with the state
// marked unprepared, before the element's start or past its last frame.
bool mesh_effect_prepare(MeshEffectState& st, const MeshEffectElement& e, float t);

// Prepares the element at time t and, when it shows at that time, draws it:
// sprites and beams with their material's alpha and layer frames, and the
// glow sprite; the state's scale multiplies the alpha.
void mesh_effect_render(MeshEffectState& st, const MeshEffectElement& e, float time, const vector* world_position,
                        const matrix* world_orient, float value);

// Draws the element's faces (when it has faces and vertex data) into the
// buffered translucent polygons: lit through its vertex light records,
// farthest first unless the state is translucent. Answers the polygons
// handed over. The state must be prepared.
int mesh_effect_draw_faces(MeshEffectState& st, const MeshEffectElement& e, float time);
// Face numbers in the order of the last draw.
int mesh_effect_sorted_faces(int* faces, int capacity);
// Environment-map u of one face brought to the side of its first vertex
// (0.9 and 0.2 become 0.9 and 1.2).
void mesh_env_wrap(float u[3]);

// A motion path (20 bytes; the definition's records at offset 60 are the
// instance's motion paths, and the first one places the instance when it is
// made): 0 i16 first frame, 2 i16 end frame, 4 u32 offset of the path
// frames, 8..19 zero. One path frame (14 bytes) for each frame first..end-1:
// i16 x 3 position in sixteenths, i16 x 4 rotation (x, y, z, w / 16383), the
// coding of the element frames.
constexpr int MOTION_PATH_SIZE = 20;
constexpr int MOTION_PATH_FRAME_SIZE = 14;
constexpr int EFFECT_ARRAY_MOTION_PATH = EFFECT_ARRAY_SMALL;
struct MotionPath {
  const uint8_t* image = nullptr;
  int first = 0, end = 0;
  uint32_t frames = 0;
};
// False (message in err) when the record or its frames lie outside the image.
bool motion_path_read(MotionPath& out, const uint8_t* image, uint32_t size, uint32_t off, char* err, int err_size);
// The place on the path at time t (frames): false when floor(t) is before
// the first frame or floor(t) + 1 is not before the end; else the blend of
// the two frames around t (positions linearly, rotations spherically).
bool motion_path_sample(const MotionPath& path, float t, vector& position, quaternion& rotation);

// Set by the console command dump_mesh_frames; kept for developers.
extern bool Dump_mesh_frames;

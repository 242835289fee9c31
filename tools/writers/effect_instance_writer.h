#pragma once
// Builders of the element records of effect images that the instance code
// reads: channel elements (animated lights), and mesh-effect materials and
// faces. Records are written at an offset the caller reserved (records of one
// kind lie side by side); the arrays they point at are appended to the image.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quarn/math/vector.h"

// Gives the name field for a name (its place in the image's second area).
// Records written without one get 0 (no name) in every name field.
using EffectNameField = std::function<uint32_t(const std::string&)>;

struct ChannelKeySpec {
  vector position;         // whole sixteenths survive
  int16_t intensity = 256; // 8.8
  uint8_t r = 255, g = 255, b = 255;
  bool on = true;
};

struct ChannelElementSpec {
  std::string name, parent;
  uint32_t control = 0;           // bone index and the follow/fixed bits
  bool enabled = true;
  std::vector<ChannelKeySpec> keys;
  vector offset{0, 0, 0};
  float orient[4] = {0, 0, 0, 1};
  float radius = 10.0f, outer_radius = 20.0f;
};

// Writes the 112-byte record at off (the image grows to hold it) and appends
// its key arrays.
void write_channel_element(std::vector<uint8_t>& image, uint32_t off, const ChannelElementSpec& spec,
                           const EffectNameField& names = {});

struct MaterialLayerSpec {
  int32_t bitmap = -1;
  std::string name;  // of the bitmap
  float start = 0.0f, speed = 1.0f;
  int32_t play_mode = 0;
};

struct MaterialSpec {
  int mode = 0;
  bool additive = false;
  int rate = 15;  // curve bytes per second
  uint8_t colour[3] = {255, 255, 255};  // what emitter items and the environment take
  std::vector<uint8_t> curve[3];
  uint8_t environment_strength = 0;
  MaterialLayerSpec layer[2];
  int32_t environment_bitmap = -1;
  std::string environment_name;
};

// Writes the 76-byte material at off and appends its curves.
void write_effect_material(std::vector<uint8_t>& image, uint32_t off, const MaterialSpec& spec,
                           const EffectNameField& names = {});

// Little-endian stores into an image already large enough (grown when not).
void image_set_u8(std::vector<uint8_t>& image, uint32_t off, uint8_t v);
void image_set_u16(std::vector<uint8_t>& image, uint32_t off, uint16_t v);
void image_set_u32(std::vector<uint8_t>& image, uint32_t off, uint32_t v);
void image_set_f32(std::vector<uint8_t>& image, uint32_t off, float v);
void image_set_vector(std::vector<uint8_t>& image, uint32_t off, const vector& v);
// Appends bytes, aligned to 4, and answers their offset.
uint32_t image_append(std::vector<uint8_t>& image, const void* data, uint32_t n);

struct MeshFaceSpec {
  int8_t slot = 0;
  uint16_t vertex[3] = {0, 1, 2};
  float u[3] = {0, 1, 0}, v[3] = {0, 0, 1};
  uint16_t light[3] = {0, 1, 2};
};

struct MeshFrameSpec {
  vector position{0, 0, 0};  // whole sixteenths survive
  float size = 1.0f, length = 1.0f;  // 8.8
  vector direction{0, 0, 1};
  float rotation[4] = {0, 0, 0, 1};
};

// Keys of a mesh element's key tracks (flags bit 1): ticks of 1/4800 s from
// the element's start. Position and third keys carry absolute Bézier
// controls (a control equal to its value holds the curve flat there).
struct MeshPositionKeySpec {
  int32_t tick = 0;
  vector value{0, 0, 0}, in{0, 0, 0}, out{0, 0, 0};
};
struct MeshRotationKeySpec {
  int32_t tick = 0;
  float rotation[4] = {0, 0, 0, 1};
  uint8_t ease_to = 0, ease_from = 0;  // 0..127
};

struct MeshElementSpec {
  std::string name, parent;
  uint32_t flags = 0;  // frame rate in bits 6 and up
  bool enabled = true;
  float start = 0.0f;
  int vertices = 0;
  int display = 0;
  int light_records = 0;
  float radius = 10.0f;
  std::vector<MeshFaceSpec> faces;
  std::vector<uint8_t> slots;
  std::vector<MaterialSpec> materials;
  std::vector<MeshFrameSpec> frames;
  std::vector<uint16_t> sub_materials;  // one sub-record per entry
  std::vector<vector> vertex_positions;  // one fixed set (flags bit 4) when not empty
  bool rigid = false;  // the set is the element's shape, moved whole (no per-frame vertex data)
  vector rest{0, 0, 0};
  vector offset{0, 0, 0};
  float orient[4] = {0, 0, 0, 1};
  float glow_size = 0.0f;
  std::string glow_name;
  // Key tracks, written when flags bit 1 is set; the rest values stand in
  // for an empty track.
  std::vector<MeshPositionKeySpec> position_keys, third_keys;
  std::vector<MeshRotationKeySpec> rotation_keys;
  float rest_rotation[4] = {0, 0, 0, 1};
  vector rest_scale{1, 1, 1};
};

// A motion path of a definition: frames first..first + frames - 1 (the end
// is first + frames unless given).
struct MotionPathFrameSpec {
  vector position{0, 0, 0};  // whole sixteenths survive
  float rotation[4] = {0, 0, 0, 1};
};
struct MotionPathSpec {
  int first = 0;
  int end = -1;  // -1: first + the number of frames
  std::vector<MotionPathFrameSpec> frames;
};
// Writes the 20-byte path at off and appends its frames.
void write_motion_path(std::vector<uint8_t>& image, uint32_t off, const MotionPathSpec& spec);

// Writes the 168-byte element at off and appends its faces, slots, light
// records, frames, sub-records, materials and vertex data.
void write_mesh_element(std::vector<uint8_t>& image, uint32_t off, const MeshElementSpec& spec,
                        const EffectNameField& names = {});

#pragma once
// Animation channels: key streams inside an effect image that drive one
// dynamic light of the level's light pool (position, intensity, colour and an
// on/off bit per key), optionally carried by a bone of a character instance.
//
// The rule a caller must know: the definition is a checked view of the image
// (every stream lies inside it); the run-time state belongs to the effect
// instance, and every start is matched by a stop, which gives the light back.
#include <cstdint>

#include "quarn/geom/effect_image.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class character_instance;
struct MeshDrawRecord;

// Channel element record of an effect image (112 bytes, little-endian):
//   0 u32 own name, 4 u32 parent name (second-area offsets, as every element)
//   8 u32 control word: bits 0-22 bone index, bit 29 follow the bone,
//         bit 30 fixed position (the position keys are not used)
//  12 u8  bit 0 enabled (shown)            13 u8 unused
//  14 u16 twice the number of keys
//  16 u32 offsets of the x, y and z key arrays (i16 per key, sixteenths)
//  28 u32 offset of the intensity keys (i16 per key, 8.8 fixed point)
//  32 u32 offsets of the red, green and blue keys (one byte per key)
//  44 u32 offset of the on/off bits (one bit per key, key 0 in bit 0 of byte 0)
//  48 3 x f32 offset from the parent element
//  60 4 x f32 orientation relative to the parent (x, y, z, w quaternion)
//  76 f32 light radius (full strength inside), 80 f32 outer radius
//  84..111 zero
// Key arrays are read by key index, so a channel is sampled at any time
// without a decoder state.
constexpr int ANIM_CHANNEL_RECORD_SIZE = EFFECT_CHANNEL_ELEMENT_SIZE;
constexpr int ANIM_CHANNEL_MAX_KEYS = 4096;

constexpr uint32_t ACH_BONE_MASK = 0x7FFFFF;
constexpr int ACH_LIGHT_SHIFT = 23;
constexpr uint32_t ACH_LIGHT_MASK = 0x3Fu << ACH_LIGHT_SHIFT;
constexpr uint32_t ACH_FOLLOW_BONE = 1u << 29;
constexpr uint32_t ACH_FIXED_POSITION = 1u << 30;
constexpr uint32_t ACH_ON = 1u << 31;

// A channel record resolved against its image. Offsets are from the image
// start and were checked to hold `keys` entries.
struct AnimChannelDef {
  const uint8_t* image = nullptr;
  uint32_t record = 0;
  uint32_t control = 0;
  bool enabled = false;
  int keys = 0;
  uint32_t x = 0, y = 0, z = 0, intensity = 0, red = 0, green = 0, blue = 0, on_bits = 0;
  vector offset{0, 0, 0};
  float orient[4] = {0, 0, 0, 1};
  float radius = 0.0f, outer_radius = 0.0f;

  vector key_position(int k) const;
  int key_intensity(int k) const;  // 8.8
  uint8_t key_colour(int channel, int k) const;
  bool key_on(int k) const;
};

// Resolves the record at off of an image of size bytes. False (with a
// message in err) when the record or one of its key arrays lies outside the
// image or the key count is out of range.
bool anim_channel_relocate(AnimChannelDef& out, const uint8_t* image, uint32_t size, uint32_t off, char* err,
                           int err_size);

// Light index in the control word (-1: none); the pool holds 400, so the
// signed 6-bit field keeps only what fits and a larger index is kept beside.
struct AnimChannelState {
  character_instance* instance = nullptr;
  uint32_t control = 0;
  vector position{0, 0, 0};
  vector offset{0, 0, 0};
  uint8_t red = 0, green = 0, blue = 0;
  int32_t intensity = 0;  // 8.8
  int light = -1;         // index in the dynamic light pool
};

// Offset cleared, key-0 position taken, light -1; unless no_light, a point
// light is made (switched off) with the key-0 intensity and colour. A full
// pool leaves the channel without a light.
void anim_channel_start(AnimChannelState& st, const AnimChannelDef& def, bool no_light);
void anim_channel_stop(AnimChannelState& st);
// Samples the channel at a frame time (the last key holds past the end; a
// time before 0 holds the first key) into the state, without the light.
void anim_channel_evaluate(AnimChannelState& st, const AnimChannelDef& def, float t);
// Evaluates, stores the offset when given, and moves the light to
// unrotate(position, orient) + offset with the sampled intensity, colour and
// on bit.
void anim_channel_update(AnimChannelState& st, const AnimChannelDef& def, float t, const vector* offset,
                         const matrix* orient);

// Draws a posed character through the mesh drawer (its current variant, or
// its shadow mesh when the record asks and one exists) when visible is set.
void anim_apply_to_instance(character_instance* instance, const vector& position, const matrix& orient,
                            MeshDrawRecord& record, bool visible);

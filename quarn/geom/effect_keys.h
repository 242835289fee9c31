#pragma once
// Key tracks of effect images: one byte-coded stream per animated scalar
// (single keys, runs and an end mark, in one- or two-byte values), grouped
// into position, rotation and parameter-set tracks.
//
// The rule a caller must know: a track is read through a decoder state that
// belongs to the caller, never to the shared image, so every instance of an
// effect decodes on its own. Reading forward is cheap; asking for an earlier
// frame rewinds the state to the stream's start. Once a decoder meets the end
// mark it stays exhausted (4000, "no value") until its owner resets it.
#include <cstdint>

#include "quarn/geom/effect_image.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

class character_instance;

constexpr int16_t EFFECT_KEY_NO_VALUE = 4000;
constexpr int EFFECT_KEY_MAX_FRAME = 16383;

// A 12-byte key track of an image, resolved: its stream lies inside the
// image (a stream that does not is taken as empty).
struct EffectKeyTrack {
  const uint8_t* stream = nullptr;
  uint16_t length = 0;
  uint16_t base = 0;
  bool narrow = false;
  // The stream decoded once: the value of every frame up to where it ends,
  // then what lies past the end (0, or the exhausted mark). Null: read the
  // stream itself.
  bool end_exhausts = false;
  uint16_t decoded_count = 0;
  const int16_t* decoded = nullptr;
};

// Where a decoder stands: the byte of the current record, the frame at which
// that record begins, and the exhausted mark.
struct EffectKeyState {
  uint16_t read_pos = 0;
  uint16_t frame = 0;
  bool exhausted = false;
  void reset() { read_pos = 0, frame = 0, exhausted = false; }
};

EffectKeyTrack effect_key_track_at(const EffectImage& img, uint32_t off);
// A track built on bytes of the caller's (tests, tools).
EffectKeyTrack effect_key_track_make(const uint8_t* stream, uint16_t length, uint16_t base, bool narrow);
// The same track with its values decoded once, shared by every track of the
// same bytes; tracks resolved from an image come decoded. A stream running
// past the last frame is left to be read as it stands.
EffectKeyTrack effect_key_track_decode(const EffectKeyTrack& track);
// Back to the stream's start with the exhausted mark cleared.
inline void effect_key_track_relocate(EffectKeyState& st) { st.reset(); }
// The value at frame (0..16383): base + the decoded value as a signed 16-bit
// number; 4000 for an exhausted track; 0 past the stream's end or for an
// empty stream. A record cut short by the stream's end counts as the end.
int16_t effect_key_track_read(const EffectKeyTrack& track, EffectKeyState& st, int frame);
inline int16_t effect_key_track_value(const EffectKeyTrack& track, EffectKeyState& st, int frame) {
  if (!track.decoded) return effect_key_track_read(track, st, frame);
  if (st.exhausted) return EFFECT_KEY_NO_VALUE;
  if (frame < 0) frame = 0;
  if (frame > EFFECT_KEY_MAX_FRAME) frame = EFFECT_KEY_MAX_FRAME;
  if (frame < track.decoded_count) return track.decoded[frame];
  if (!track.end_exhausts) return 0;
  st.exhausted = true;
  return EFFECT_KEY_NO_VALUE;
}
// An orientation given in a frame, taken out to the frame's parent: each
// row unrotated by the frame.
inline void effect_orient_in_frame(matrix& out, const matrix& local, const matrix& frame) {
  local.right.unrotated(out.right, frame);
  local.up.unrotated(out.up, frame);
  local.forward.unrotated(out.forward, frame);
}
// A point given in a character's tag frame (the tag at rest, with no parent
// frame), carried out to the character's space; tag_orient answers the tag's
// orientation, for the caller to turn its own orientation by.
void effect_tag_place(character_instance* ch, int tag, vector& pos, matrix& tag_orient);
// 8.8 fixed point.
inline float effect_key_float(int16_t v) { return static_cast<float>(v) / 256.0f; }

struct EffectVectorTrack {
  EffectKeyTrack axis[3];
};
struct EffectVectorState {
  EffectKeyState axis[3];
  void reset() {
    for (auto& a : axis) a.reset();
  }
};
EffectVectorTrack effect_vector_track_at(const EffectImage& img, uint32_t off);
// (x, y, z) / 256.
vector effect_vector_track_value(const EffectVectorTrack& track, EffectVectorState& st, int frame);

struct EffectRotationTrack {
  EffectKeyTrack part[4];
};
struct EffectRotationState {
  EffectKeyState part[4];
  void reset() {
    for (auto& p : part) p.reset();
  }
};
EffectRotationTrack effect_rotation_track_at(const EffectImage& img, uint32_t off);
packed_quaternion effect_rotation_track_value(const EffectRotationTrack& track, EffectRotationState& st, int frame);

// Parameter sets (force fields): fields of the 160-byte record.
constexpr int EFFECT_PARAM_NAME = 0;
constexpr int EFFECT_PARAM_PARENT = 4;
constexpr int EFFECT_PARAM_EXTRA = 8;
constexpr int EFFECT_PARAM_KEYS = 12;  // bits 8-31 key count, low byte field kind
constexpr int EFFECT_PARAM_POSITION = 16;
constexpr int EFFECT_PARAM_ROTATION = 52;
constexpr int EFFECT_PARAM_SCALARS = 100;  // five key tracks
constexpr int EFFECT_PARAM_POINT_FIELD = 1;
constexpr int EFFECT_PARAM_SCALAR_COUNT = 5;

struct EffectParamSetDef {
  uint32_t offset = 0;  // of the record in the image; 0 = none
  int key_count = 0;
  int kind = 0;
  const char* name = nullptr;
  const char* parent = nullptr;
  EffectVectorTrack position;
  EffectRotationTrack rotation;
  EffectKeyTrack scalar[EFFECT_PARAM_SCALAR_COUNT];
};
// False when the record does not lie inside the image.
bool effect_param_set_def_at(const EffectImage& img, uint32_t off, EffectParamSetDef& out);
// The first scalar is strength (signed value x 2000); the others / 256.
float effect_param_scalar_float(int index, int16_t v);

constexpr uint32_t EFFECT_PARAM_BOUND = 1u << 30;
constexpr uint32_t EFFECT_PARAM_TAG_MASK = 0x1FFFFFFF;

// The run-time companion of a parameter set: the last two samples and the
// decoders of its tracks.
struct EffectParamRun {
  character_instance* bound = nullptr;
  uint32_t flags = 0;  // bit 30 bound, bits 0-28 tag number
  float frame = -1.0f;
  vector position{}, prev_position{};
  quaternion rotation{0, 0, 0, 1}, prev_rotation{0, 0, 0, 1};
  // One decoder for each of the two whole frames a sample blends, so that
  // sampling between the same two keys never rewinds.
  EffectVectorState position_keys[2];
  EffectRotationState rotation_keys[2];
  EffectKeyState scalar_keys[EFFECT_PARAM_SCALAR_COUNT][2];
  EffectParamRun* next = nullptr;
  EffectParamRun* prev = nullptr;

  // Decoders back to frame 0, samples cleared; the binding is kept.
  void reset();
};

// The sampled values of a field: position, axis, then strength, fall-off,
// turbulence amplitude, speed and scale.
struct EffectParamValues {
  vector position;
  vector axis;
  float scalar[EFFECT_PARAM_SCALAR_COUNT];
};

// Samples the set at a (fractional) frame into the run-time record.
void effect_param_set_sample(EffectParamRun& run, const EffectParamSetDef& def, float frame);
// The values at a frame, blended from the last two samples.
void effect_param_set_values(EffectParamRun& run, const EffectParamSetDef& def, EffectParamValues& out, float frame);

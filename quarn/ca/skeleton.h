#pragma once
// Animations (.mvf) and key tracks. A skeleton is one animation of a
// character kind: per bone a track of rotation keys and one of position keys,
// the animation's span in ticks, its root motion, fades, five named sound
// events and an optional morph block. All keys of an animation sit in two
// shared arrays that the bones' tracks slice.
//
// Time is in ticks: 160 per frame, 30 frames per second, 4800 per second.
// A file that does not read whole and consistent is refused (read_mvf gives
// false); every count in it is checked against the totals and the stream.
#include <cstdint>

#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

class ReadStream;

constexpr int TICKS_PER_FRAME = 160;
constexpr int TICKS_PER_SECOND = 4800;
constexpr uint32_t MVF_MAGIC = 0x46564D56;  // "VMVF"
constexpr int MAX_SOUND_EVENTS = 5;
constexpr int MVF_SOUND_NAME_BYTES = 255;
constexpr int SKELETON_FILE_NAME_MAX = 64;
// Limits a file must keep; they are far beyond any character of the game.
constexpr int MVF_MAX_BONES = 1024;
constexpr int MVF_MAX_KEYS = 1 << 20;

struct PositionKey {
  int32_t tick;
  vector value;
  vector in_control;   // Bézier control point before the key
  vector out_control;  // after the key
};

struct RotationKey {
  int32_t tick;
  packed_quaternion q;
  int8_t tension, continuity, bias;  // x127; only files below version 2 fill them
  uint8_t ease_to, ease_from;        // 0..127 meaning 0..1
};

struct BoneTrack {
  int32_t position_count;
  int32_t rotation_count;
  int32_t third_count;  // a third vector track; 0 for animations
  PositionKey* positions;
  RotationKey* rotations;
  PositionKey* third;
  // Kochanek-Bartels controls of each rotation key; allocated by
  // bone_track_precompute (null until then) and freed with
  // bone_track_free_controls.
  packed_quaternion* control_a;
  packed_quaternion* control_b;
  // The arc from each rotation key to the next (a slice of the skeleton's
  // rotation_arcs), so that mode-0 sampling skips the inverse cosine; null
  // samples the keys directly, with the same result.
  packed_slerp_arc* arcs;
};

struct MorphKey {
  uint16_t frame;
  vector position;
};

struct MorphTrack {
  int16_t key_count;
  MorphKey* keys;
  uint16_t cursor;
};

struct SoundEvent {
  const char* name;  // pooled, or null for an empty event
  int32_t tick;
};

// The track's position at a tick: Bézier between the keys around it; the
// end keys' values outside them; (0, 0, 0) without keys.
vector bone_track_evaluate(const BoneTrack& track, int tick);
// The track's rotation at a tick: eased slerp (mode 0) or squad through the
// controls (mode 1, falling back to slerp when there are none); identity
// without keys.
quaternion bone_track_rotation(const BoneTrack& track, int tick, int mode);
// Turns the tracks of a file below version 2 into the form the evaluators
// read: position controls become absolute, rotation controls are computed.
void bone_track_precompute(BoneTrack& track, int loop);
// The same two evaluations with the key search started at *key_hint, which
// is left at the key found: a track sampled frame after frame mostly stays
// between the same two keys. Any hint value is safe (0 for a fresh one).
vector bone_track_evaluate(const BoneTrack& track, int tick, int32_t* key_hint);
void bone_track_evaluate(const BoneTrack& track, int tick, int32_t* key_hint, vector* out);
quaternion bone_track_rotation(const BoneTrack& track, int tick, int mode, int32_t* key_hint);
// A mode-0 rotation in two steps, so that a caller posing many bones can do
// every search first and the arcs' sines together afterwards: either the
// answer is the returned arc's sample_unpacked at *e, or (null returned) *q.
const packed_slerp_arc* bone_track_rotation_arc(const BoneTrack& track, int tick, int32_t* key_hint, float* e,
                                                quaternion* q);
void bone_track_free_controls(BoneTrack& track);
// The eased parameter of a rotation span (exposed for the key-track users).
float bone_track_ease(float s, float a, float b);

class skeleton {
 public:
  // Counts the skeleton (fatal "Too many skeletons" past a set maximum).
  skeleton(const char* file_name, const char* anim_name, int kind, int unused, int root_tracking);
  ~skeleton();
  skeleton(const skeleton&) = delete;
  skeleton& operator=(const skeleton&) = delete;

  // True when the whole animation was read and checked; false leaves the
  // skeleton empty (no bones, no keys).
  bool read_mvf(ReadStream& stream, const char* file_name, int path_type);
  // Root displacement per second over the animation's span; zero for an
  // empty span.
  void get_velocity(vector* out) const;

  RotationKey* rotation_keys = nullptr;
  PositionKey* position_keys = nullptr;
  char file_name[SKELETON_FILE_NAME_MAX] = {};
  int32_t rotation_key_total = 0;
  int32_t position_key_total = 0;
  const char* name = nullptr;
  uint8_t kind = 0;           // 1 synchronised cycle, 0 one-shot action
  uint8_t root_tracking = 0;
  int32_t first_tick = 0;
  int32_t last_tick = 0;
  vector root_displacement{0, 0, 0};
  quaternion root_rotation{0, 0, 0, 1};
  int32_t bone_count = 0;
  uint8_t* bone_weights = nullptr;
  BoneTrack* bone_tracks = nullptr;
  int32_t morph_key_count = 0;
  int32_t morph_vertex_count = 0;
  int32_t* morph_vertex_indices = nullptr;
  MorphTrack* morph_tracks = nullptr;
  int32_t fade_in = 0;
  int32_t fade_out = 0;
  SoundEvent sound_events[MAX_SOUND_EVENTS] = {};
  int32_t version = 0;
  // Derived from the rotation keys at load, one per key; always on the heap,
  // so an arena's budget covers only what the file holds.
  packed_slerp_arc* rotation_arcs = nullptr;

 private:
  int32_t memory_counted_ = 0;
  bool in_arena_ = false;
  void release();
  void prepare_arcs();
  int memory_share() const;
  int morph_key_sum() const;
};
using Skeleton = skeleton;

// The global skeleton counters.
struct SkeletonCounters {
  int count;
  int max_count;   // -1: no limit
  int memory;
  int peak_memory;
  int memory_limit;  // -1: no limit
};
const SkeletonCounters& skeleton_counters();
void skeleton_counters_reset();
// Limits for developers and tests; the game itself never sets them.
void skeleton_set_limits(int max_count, int memory_limit);

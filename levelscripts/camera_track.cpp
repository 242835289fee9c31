#include "levelscripts/camera_track.h"

#include <algorithm>
#include <cmath>

#include "quarn/math/quaternion.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/readstream.h"

namespace {

PositionKey Position_pool[CAMPATH_POOL_KEYS];
RotationKey Rotation_pool[CAMPATH_POOL_KEYS];
// The working space of the rotation keys: their interpolation controls.
packed_quaternion Control_a_pool[CAMPATH_POOL_KEYS];
packed_quaternion Control_b_pool[CAMPATH_POOL_KEYS];
int Position_used = 0;
int Rotation_used = 0;

uint32_t Clock_started = 0;
float Clock_offset = 0.0f;

// Stored values of garbage floats stay inside their field.
int8_t to_signed8(float f, float scale) {
  const float v = f * scale;
  if (!(v > -128.0f)) return v == v ? -128 : 0;
  return static_cast<int8_t>(std::min(v, 127.0f));
}
uint8_t to_unsigned8(float f, float scale) {
  const float v = f * scale;
  if (!(v > 0.0f)) return 0;
  return static_cast<uint8_t>(std::min(v, 255.0f));
}
int32_t to_ticks(float seconds) {
  const float t = std::round(seconds * TICKS_PER_SECOND);
  if (!(t > -2147483520.0f)) return t == t ? INT32_MIN : 0;
  return t < 2147483520.0f ? static_cast<int32_t>(t) : INT32_MAX;
}

}  // namespace

void campath_clock_start(uint32_t started_ms, float offset) {
  Clock_started = started_ms;
  Clock_offset = offset;
}

float campath_clock_time() { return static_cast<float>(timer_get(1000) - Clock_started) * 0.001f + Clock_offset; }

int campath_position_keys_used() { return Position_used; }
int campath_rotation_keys_used() { return Rotation_used; }
void campath_release_keys() {
  Position_used = 0;
  Rotation_used = 0;
}

bool CampathTrack::campath_read(ReadStream& s, float offset) {
  start = s.read_float();
  end = s.read_float();
  int32_t shift = 0;
  if (offset >= 0.0f && start - offset >= CAMPATH_SHIFT_AFTER) {
    const float d = start - offset;
    start -= d;
    end -= d;
    shift = to_ticks(d);
  }
  third = s.read_float() * 1.6949153f;

  const int positions = s.read_ushort();
  if (s.error() || positions > CAMPATH_POOL_KEYS - Position_used) return false;
  PositionKey* pk = Position_pool + Position_used;
  for (int i = 0; i < positions; i++) {
    pk[i].tick = static_cast<int32_t>(static_cast<uint32_t>(s.read_int()) - static_cast<uint32_t>(shift));
    s.read_vector(&pk[i].value);
    s.read_vector(&pk[i].in_control);
    s.read_vector(&pk[i].out_control);
  }
  const int rotations = s.read_ushort();
  if (s.error() || rotations > CAMPATH_POOL_KEYS - Rotation_used) return false;
  RotationKey* rk = Rotation_pool + Rotation_used;
  for (int i = 0; i < rotations; i++) {
    rk[i].tick = static_cast<int32_t>(static_cast<uint32_t>(s.read_int()) - static_cast<uint32_t>(shift));
    quaternion q;
    s.read_quaternion(&q);
    rk[i].q.from_quaternion(q);
    rk[i].tension = to_signed8(s.read_float(), 127.0f);
    rk[i].continuity = to_signed8(s.read_float(), 127.0f);
    rk[i].bias = to_signed8(s.read_float(), 127.0f);
    rk[i].ease_to = to_unsigned8(s.read_float(), 2.54f);
    rk[i].ease_from = to_unsigned8(s.read_float(), 2.54f);
  }
  if (s.error()) return false;

  track = BoneTrack{};
  track.position_count = positions;
  track.rotation_count = rotations;
  track.positions = positions ? pk : nullptr;
  track.rotations = rotations ? rk : nullptr;
  track.control_a = rotations ? Control_a_pool + Rotation_used : nullptr;
  track.control_b = rotations ? Control_b_pool + Rotation_used : nullptr;
  Position_used += positions;
  Rotation_used += rotations;
  bone_track_precompute(track, 0);
  return true;
}

void CampathTrack::evaluate_at(float t) {
  t = std::clamp(t, start, std::max(start, end));
  const int tick = to_ticks(t);
  position_ = bone_track_evaluate(track, tick);
  bone_track_rotation(track, tick, 1).to_matrix(orientation_);
}

void CampathTrack::campath_evaluate() { evaluate_at(campath_clock_time()); }

void campath_advance(CampathTrack& track, float) { track.campath_evaluate(); }

float campath_time_left(const CampathTrack& track) {
  const float left = track.end - campath_clock_time();
  return left > 0.0f ? left : 0.0f;
}

float campath_field_of_view(const CampathTrack& track) {
  constexpr float DEGREES_PER_RADIAN_TIMES_PI = 180.0f;
  return track.third * DEGREES_PER_RADIAN_TIMES_PI;
}

float camera_blend_ease(float w) {
  if (w <= 0.0f || w >= 1.0f) return w;
  constexpr float a = 0.25f, b = 0.25f;
  constexpr float k = 1.0f / (2.0f - a - b);
  if (w < a) return k / a * w * w;
  if (w <= 1.0f - b) return k * (2.0f * w - a);
  return 1.0f - k / b * (1.0f - w) * (1.0f - w);
}

void CameraBlend::camera_blend_update(float frame_time, const vector& from_position, const matrix& from_orientation) {
  const float total = ease_in_ + hold_ + ease_out_;
  elapsed_ = std::min(elapsed_ + frame_time, total);
  float w;
  if (elapsed_ < ease_in_) {
    w = elapsed_ / ease_in_;
  } else if (elapsed_ <= ease_in_ + hold_ || ease_out_ <= 0.0f) {
    w = 1.0f;
  } else {
    w = 1.0f - (elapsed_ - ease_in_ - hold_) / ease_out_;
  }
  weight_ = w = camera_blend_ease(w);

  float from[3], to[3];
  from_orientation.to_angles(from[0], from[1], from[2]);
  to_orientation_.to_angles(to[0], to[1], to[2]);
  constexpr float pi = 3.14159265358979f;
  float mixed[3];
  for (int i = 0; i < 3; i++) {
    // The short way round.
    if (from[i] - to[i] >= pi) {
      from[i] -= 2.0f * pi;
    } else if (to[i] - from[i] >= pi) {
      to[i] -= 2.0f * pi;
    }
    mixed[i] = (1.0f - w) * from[i] + w * to[i];
  }
  orientation_ = matrix::from_angles(mixed[0], mixed[1], mixed[2]);
  position_ = from_position * (1.0f - w) + to_position_ * w;
}

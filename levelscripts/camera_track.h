#pragma once
// Camera motions of a cutscene: keyed tracks read from the cutscene's data
// stream and evaluated at the cutscene's clock, and the blend that eases the
// game camera to a fixed view and back.
#include <cstdint>

#include "quarn/ca/skeleton.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class ReadStream;

constexpr int CAMPATH_KEYED = 0;
constexpr int CAMPATH_BLEND = 1;
// Keys of each kind for all tracks of a cutscene together.
constexpr int CAMPATH_POOL_KEYS = 250;
// A track starting this long (s) or more after the cutscene's offset is
// moved earlier to start at the offset.
constexpr float CAMPATH_SHIFT_AFTER = 0.4f;

class CameraMotion {
 public:
  explicit CameraMotion(int type) : type_(type) {}
  virtual ~CameraMotion() = default;
  virtual const vector& position() const { return position_; }
  virtual const matrix& orientation() const { return orientation_; }
  int campath_get_type() const { return type_; }

 protected:
  int type_;
  vector position_{0, 0, 0};
  matrix orientation_ = identity_matrix;
};

class CampathTrack : public CameraMotion {
 public:
  CampathTrack() : CameraMotion(CAMPATH_KEYED) {}
  // Reads one track at the stream's position. A track that does not read
  // whole, or needs more keys than the pools have left, is refused (false)
  // and takes none of them.
  bool campath_read(ReadStream& stream, float offset);
  // The pose at the cutscene's time (campath_clock_*), clamped to the track.
  void campath_evaluate();
  // The pose at time t (s), clamped to the track.
  void evaluate_at(float t);

  float start = 0.0f, end = 0.0f;
  float third = 0.0f;  // stored times 1.6949153
  BoneTrack track{};
};

// The cutscene's clock: system milliseconds when it started and its time
// offset (s). The track's time is (now - started) / 1000 + offset.
void campath_clock_start(uint32_t started_ms, float offset);
float campath_clock_time();

// What the game camera asks of a playing track: the pose at the cutscene's
// clock (the frame time only tells that a frame passed; the clock is the
// system's), the time left to its end (0 at the end), and its field of view,
// the stored third value (radians) as the camera's track value, which the
// camera turns into degrees by dividing by pi.
void campath_advance(CampathTrack& track, float frame_time);
float campath_time_left(const CampathTrack& track);
float campath_field_of_view(const CampathTrack& track);

// Keys taken from the pools so far; campath_release_keys empties them when
// the cutscene's data is released.
int campath_position_keys_used();
int campath_rotation_keys_used();
void campath_release_keys();

// Eases the game camera's view (`from_position`, `from_orientation`, as it
// is each frame) toward a fixed view and back.
class CameraBlend : public CameraMotion {
 public:
  CameraBlend(float hold, float ease_in, float ease_out, const vector& to_position, const matrix& to_orientation)
      : CameraMotion(CAMPATH_BLEND),
        hold_(hold),
        ease_in_(ease_in),
        ease_out_(ease_out),
        to_position_(to_position),
        to_orientation_(to_orientation) {}
  // Advances by the frame time and mixes the camera's view with the fixed
  // one; the evaluated pose is then position() and orientation().
  void camera_blend_update(float frame_time, const vector& from_position, const matrix& from_orientation);
  // The game camera lets the blend go when this reaches exactly 0.
  float time_left() const { return ease_in_ + hold_ + ease_out_ - elapsed_; }
  float weight() const { return weight_; }

 private:
  float elapsed_ = 0.0f, hold_, ease_in_, ease_out_;
  float weight_ = 0.0f;
  vector to_position_;
  matrix to_orientation_;
};

// The eased weight: acceleration and deceleration fractions of 0.25.
float camera_blend_ease(float w);

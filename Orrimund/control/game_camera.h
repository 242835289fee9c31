#pragma once
// The game camera: one global object that follows the controlled hero from
// behind and above. Its place comes from an orbit (heading, distance, zoom,
// elevation) around a point on the hero, reached through a damped spring so
// the view never jumps; its look direction is smoothed over the last frames.
// It switches between a low explore view and a high combat view by itself,
// plays camera tracks, holds a scripted view and a stack of eight saved
// views, and can be flown freely. The world is reached only through
// CameraWorld, so the camera runs headless with scripted targets.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

// Modes.
constexpr int CAM_MODE_EXPLORE = 0;
constexpr int CAM_MODE_COMBAT = 1;
constexpr int CAM_MODE_AUTO = 2;
constexpr int CAM_MODE_HIGH_HELD = 3;
constexpr int CAM_MODE_RETURN = 4;
constexpr int CAM_MODE_TRANSITION = 5;

// Flags.
constexpr uint32_t CAM_ATTACHED = 0x1;
constexpr uint32_t CAM_ORBIT = 0x2;
constexpr uint32_t CAM_TRACK = 0x8;
constexpr uint32_t CAM_FREE = 0x10;
constexpr uint32_t CAM_DEFAULTS_STORED = 0x20;
constexpr uint32_t CAM_AUTO_ZOOM = 0x40;
constexpr uint32_t CAM_SCRIPT_VIEW = 0x80;
constexpr uint32_t CAM_ZOOM_SAVED = 0x100;
constexpr uint32_t CAM_BACK_TO_HIGH = 0x200;

constexpr int CAM_MAX_SAVED_VIEWS = 8;
constexpr int CAM_MAX_AVOID = 32;
constexpr float CAM_START_FOV = 73.74f;
constexpr float CAM_RETARGET_SNAP = 10.0f;  // retargeting this far or farther glides
constexpr float CAM_ENEMY_NEAR = 8.0f;

// Follow parameters: distance, elevation, zoom, target height, wanted height
// offset.
struct CameraParams {
  float distance, elevation, zoom, target_height, wanted_height_offset;
};
extern const CameraParams Camera_explore_params;
extern const CameraParams Camera_combat_params;

// What the camera needs to know of the followed entity.
struct CameraTarget {
  vector position;  // the entity's position plus its camera offset
  float heading;    // radians
  float speed;      // units per second
  float height;     // the entity's height
};

// A camera track as the camera plays it: the track's field-of-view value and
// its sampler, which answers false once the track has ended.
struct CameraTrack {
  float fov = 0;
  void* context = nullptr;
  bool (*sample)(void* context, float dt, vector* position, matrix* orientation) = nullptr;
};

// The world as the camera sees it. Every hook may be left null: then there
// is no target, no world map, no enemy, nothing in the way.
struct CameraWorld {
  bool (*target)(int handle, CameraTarget* out) = nullptr;
  bool (*world_map)() = nullptr;
  // An enemy of the hero near it (its attack target, or a hostile creature
  // closer than CAM_ENEMY_NEAR).
  bool (*enemies_near)(int handle) = nullptr;
  bool (*dialogue)() = nullptr;
  bool (*ai_paused)() = nullptr;
  bool (*solo)() = nullptr;
  bool (*cutscene)() = nullptr;
  // Taking a parameter set gives the area these fog distances when it has
  // none of its own.
  void (*default_fog)(float near_distance, float far_distance) = nullptr;
  // The level objects hit by the ray from `from` to `to`, first-hit order,
  // at most `capacity`.
  int (*ray_objects)(const vector& from, const vector& to, int* out, int capacity) = nullptr;
  // Mouse movement since the last frame and whether Ctrl is held (free flight).
  void (*mouse_delta)(int* dx, int* dy) = nullptr;
  bool (*ctrl_held)() = nullptr;
  int32_t (*now_ms)() = nullptr;  // game clock; the timer's game clock when null
};
void game_camera_set_world(const CameraWorld& world);

// A saved view, and the camera's record in a saved game (9 words).
struct CameraSavedView {
  uint32_t flags;
  float distance, heading, zoom, elevation, field_of_view, target_height;
  int32_t mode, previous_mode;
};
constexpr int CAM_SAVE_WORDS = 9;

struct GameCamera {
  int32_t mode = -1;
  int32_t previous_mode = -1;
  uint8_t unlock_allowed = 0;
  uint8_t unlocked = 0;
  uint32_t flags = 0;
  uint32_t saved_count = 0;
  CameraSavedView saved_views[CAM_MAX_SAVED_VIEWS] = {};
  float zoom_high = 1.0f, zoom_low = 0.8f;
  CameraTrack track;
  vector target_point{0, 0, 0};
  int target = -1;  // entity handle
  vector transition_goal{0, 0, 0};
  vector turn_request{0, 0, 0};
  int32_t spring_state = 0;
  CameraParams default_params{};
  float heading = 0, zoom = 0, elevation = 0, field_of_view = CAM_START_FOV, distance = 0, target_height = 0;
  float height_offset = 0, wanted_height_offset = 0;
  float saved_zoom = 0;
  vector position{0, 0, 0};
  matrix orientation = matrix::from_angles(0, 0, 0);
  int32_t combat_timer = 0;
  uint8_t was_combat = 0;
  vector look_samples[4] = {};
  float look_times[4] = {};
  int look_next = 0, look_count = 0;
  vector velocity{0, 0, 0};
  float smoothed_height = 0, wanted_height = 0;
  float turn_rate = 0, zoom_rate = 0, elevation_rate = 0;
  vector script_offset{0, 0, 0};
  matrix script_orientation = matrix::from_angles(0, 0, 0);
  vector free_position{0, 0, 0};
  matrix free_orientation = matrix::from_angles(0, 0, 0);
  // A shake of the view about its own axes, which the gameplay frame adds to
  // the orientation it draws with outside UI mode; none (the identity)
  // unless something shakes the camera.
  matrix shake = identity_matrix;
  // The view handed to the renderer.
  vector view_position{0, 0, 0};
  matrix view_orientation = matrix::from_angles(0, 0, 0);
  // Level objects between the camera and the hero this frame.
  int avoid[CAM_MAX_AVOID] = {};
  int avoid_count = 0;
  vector avoid_target{0, 0, 0}, avoid_camera{0, 0, 0};

  void construct();
  void init_defaults();
  void level_start();
  void reset_view(bool recompute, bool snap);
  void set_target(int handle);
  void set_input(float turn, float zoom_input, float elevation_input);
  void update(float dt);
  void set_mode(int m);
  bool cycle_mode();
  void behind_target();
  void attach();
  void set_follow_flags(bool orbit_update, bool free_movement);
  void push_view();
  void pop_view();
  void save(CameraSavedView* out) const;
  void load(const CameraSavedView& in);
  void play_track(const CameraTrack& t);
  void end_track(bool restore);
  void set_script_view(const vector* position, const matrix* orientation);
  void release_transition();
  void set_params(const CameraParams& p);

  // The orbit position around the target point.
  vector orbit_position() const;
  // The eye, orientation and field of view the renderer draws with.
  void get_view(vector* eye, matrix* orient, float* fov) const;

 private:
  bool target_state(CameraTarget* out) const;
  void compute_target_point(const CameraTarget& t);
  void take_params(const CameraParams& p, bool combat);
  void spring(float dt, const vector& wanted, float base);
  void look(float dt, bool average);
  void combat_switch();
  void geometry_avoidance();
  void hand_over(const vector& p, const matrix& o);
  void apply_script_view(vector* p, matrix* o) const;
};

extern GameCamera game_camera;

// Console state.
extern float Camera_zoom_limit;         // 1.0 with the limit on, 1000.0 off
extern float Camera_mlook_sensitivity;  // 1.0 at start
extern bool Camera_geometry_avoidance;  // false at start

// The distance rule of the enemies-near test: closer than CAM_ENEMY_NEAR.
inline bool camera_enemy_within_reach(const vector& hero, const vector& other) {
  return (other - hero).length_squared() < CAM_ENEMY_NEAR * CAM_ENEMY_NEAR;
}

// The 9-word save record, little-endian words.
void game_camera_record_write(const CameraSavedView& v, uint32_t out[CAM_SAVE_WORDS]);
CameraSavedView game_camera_record_read(const uint32_t in[CAM_SAVE_WORDS]);

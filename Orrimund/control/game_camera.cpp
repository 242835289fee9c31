#include "Orrimund/control/game_camera.h"

#include <cmath>
#include <cstring>

#include "Engine/gameflags.h"
#include "Orrimund/control/movement.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

const CameraParams Camera_explore_params{6.0f, 2.0f, 0.8f, 3.3f, -1.5f};
const CameraParams Camera_combat_params{6.0f, 7.0f, 1.0f, 0.3f, 1.0f};

GameCamera game_camera;
float Camera_zoom_limit = 1.0f;
float Camera_mlook_sensitivity = 1.0f;
bool Camera_geometry_avoidance = false;

namespace {

constexpr float PI = 3.14159265358979f;
constexpr float TWO_PI = 2.0f * PI;
constexpr float TURN_DEAD_ZONE = 0.17453294f;  // 10 degrees
constexpr float HIGH_ELEVATION = 4.0f;
constexpr float WORLD_MAP_ELEVATION = 12.0f;
constexpr float MOVING_SPEED = 0.01f;
constexpr float SETTLED = 0.001f;
constexpr float HEIGHT_STEP = 0.3f;
constexpr float HEIGHT_OFFSET_RATE = 1.5f;
constexpr float AVOID_MOVE = 0.08f;
constexpr int32_t COMBAT_TEST_MS = 1000;
constexpr int32_t COMBAT_HOLD_MS = 5000;

CameraWorld World;

bool ask(bool (*hook)()) { return hook && hook(); }
bool world_map() { return ask(World.world_map); }
int32_t now() { return World.now_ms ? World.now_ms() : timer_game_clock; }

float wrap_pi(float a) {
  while (a >= PI) a -= TWO_PI;
  while (a < -PI) a += TWO_PI;
  return a;
}

// Moves value toward goal by at most step.
void approach(float& value, float goal, float step) {
  if (value < goal) value = std::fmin(value + step, goal);
  else value = std::fmax(value - step, goal);
}

ConsoleCommand cc_zoom_limit("zoom_limit", "Toggle camera zoom limiting.", [] {
  if (Console_run) {
    console_get_arg(ARG_STRING | ARG_TRUE | ARG_FALSE | ARG_INT | ARG_FLOAT | ARG_NONE);
    const bool on = !(Console_arg.type & ARG_NONE) && std::strcmp(Console_arg.text, "on") == 0;
    Camera_zoom_limit = on ? 1.0f : 1000.0f;
  }
  if (Console_help) console_printf("Usage: zoom_limit [on | off]\n");
  if (Console_status)
    console_printf(Camera_zoom_limit <= 1.0f ? "Camera zoom limit is on.\n" : "Camera zoom limit is off.\n");
});

ConsoleCommand cc_geom_avoid("geom_avoid", "Toggles Camera_geometry_avoidance", [] {
  console_bool_var("geom_avoid", "Camera_geometry_avoidance", Camera_geometry_avoidance);
});

ConsoleCommand cc_mlook("mlook_sensitivity", "Sets the sensitivity value for mouse look.", [] {
  if (Console_run) {
    console_get_arg(ARG_FLOAT | ARG_INT | ARG_NONE);
    if (Console_arg.type & (ARG_FLOAT | ARG_INT)) Camera_mlook_sensitivity = Console_arg.float_value;
  }
  if (Console_help) console_printf("Sets the mouse look sensitivity.  Higher values cause higher sensitivity.\n");
  if (Console_status) console_printf("Mouse look sensitivity is %.3f\n", Camera_mlook_sensitivity);
});

}  // namespace

void game_camera_set_world(const CameraWorld& world) { World = world; }

void GameCamera::construct() {
  *this = GameCamera{};
  combat_timer = now();
  heading = zoom = elevation = 0;
  field_of_view = CAM_START_FOV;
  distance = target_height = 0;
  look_count = look_next = 0;
  flags &= ~(CAM_ATTACHED | CAM_ORBIT);
  zoom_low = 0.8f;
  zoom_high = 1.0f;
}

void GameCamera::init_defaults() {
  target = -1;
  turn_request = {0, 0, 0};
  if (!(flags & CAM_DEFAULTS_STORED)) default_params = Camera_explore_params;
  mode = -1;
  set_mode(CAM_MODE_AUTO);
  previous_mode = CAM_MODE_AUTO;
  reset_view(true, true);
}

void GameCamera::level_start() {
  field_of_view = CAM_START_FOV;
  avoid_count = 0;
  attach();
}

bool GameCamera::target_state(CameraTarget* out) const {
  return target >= 0 && World.target && World.target(target, out);
}

void GameCamera::compute_target_point(const CameraTarget& t) {
  target_point = t.position;
  target_point.y += target_height;
}

vector GameCamera::orbit_position() const {
  return {std::sin(heading) * distance * zoom + target_point.x,
          elevation * zoom + smoothed_height + height_offset,
          std::cos(heading) * distance * zoom + target_point.z};
}

void GameCamera::reset_view(bool recompute, bool snap) {
  CameraTarget t;
  if (recompute && target_state(&t)) compute_target_point(t);
  smoothed_height = wanted_height = target_point.y;
  height_offset = wanted_height_offset;
  if (snap) {
    if (world_map()) {
      elevation = WORLD_MAP_ELEVATION;
      zoom = 1.0f;
    }
    position = orbit_position();
    look_count = look_next = 0;
    velocity = {0, 0, 0};
    spring_state = 0;
    const vector at{target_point.x, smoothed_height + height_offset, target_point.z};
    if ((at - position).length_squared() > 0) orientation = matrix::from_forward(at - position);
  }
  combat_timer = now();
  was_combat = 0;
  flags &= ~CAM_BACK_TO_HIGH;
}

void GameCamera::hand_over(const vector& p, const matrix& o) {
  view_position = p;
  view_orientation = o;
}

void GameCamera::set_target(int handle) {
  if (handle == target) return;
  CameraTarget old_t, new_t;
  const bool had_old = target_state(&old_t);
  target = handle;
  const bool has_new = target_state(&new_t);
  const float d = had_old && has_new ? (new_t.position - old_t.position).length() : 999999.0f;
  if (!(flags & CAM_ATTACHED)) return;
  if (d >= CAM_RETARGET_SNAP) {
    reset_view(true, false);
    transition_goal = orbit_position();
    flags &= ~CAM_ORBIT;
    spring_state = 2;
    set_mode(CAM_MODE_TRANSITION);
  } else {
    reset_view(true, true);
    hand_over(position, orientation);
  }
}

void GameCamera::set_input(float turn, float zoom_input, float elevation_input) {
  turn_rate = turn;
  zoom_rate = zoom_input;
  elevation_rate = elevation_input;
}

void GameCamera::take_params(const CameraParams& p, bool combat) {
  distance = p.distance;
  elevation = p.elevation;
  zoom = p.zoom;
  target_height = p.target_height;
  wanted_height_offset = p.wanted_height_offset;
  if (World.default_fog) {
    if (combat) World.default_fog(35.0f, 50.0f);
    else World.default_fog(20.0f, 30.0f);
  }
}

void GameCamera::set_params(const CameraParams& p) {
  distance = p.distance;
  elevation = p.elevation;
  zoom = p.zoom;
  target_height = p.target_height;
  wanted_height_offset = p.wanted_height_offset;
  spring_state = 2;
}

void GameCamera::set_mode(int m) {
  if (m == mode) return;
  if (unlock_allowed && m == CAM_MODE_HIGH_HELD) {
    unlocked = 1;
    return;
  }
  unlocked = 0;
  const bool through_return = m == CAM_MODE_RETURN;
  if (m == CAM_MODE_RETURN) {
    if (!(flags & CAM_ORBIT)) {
      flags |= CAM_ORBIT;
      m = previous_mode;
    } else if (flags & CAM_BACK_TO_HIGH) {
      flags &= ~CAM_BACK_TO_HIGH;
      m = CAM_MODE_HIGH_HELD;
    } else {
      m = previous_mode;
    }
  }
  if (m == CAM_MODE_HIGH_HELD) flags |= CAM_ORBIT;
  if (m == mode) return;
  if (mode != CAM_MODE_HIGH_HELD && mode != CAM_MODE_TRANSITION) previous_mode = mode;
  if (mode == CAM_MODE_HIGH_HELD && m == CAM_MODE_TRANSITION) flags |= CAM_BACK_TO_HIGH;
  const int from = mode;
  mode = m;
  if (m == CAM_MODE_TRANSITION) return;
  if (m == CAM_MODE_COMBAT || m == CAM_MODE_HIGH_HELD) take_params(Camera_combat_params, true);
  else if (m == CAM_MODE_EXPLORE) take_params(Camera_explore_params, false);
  else if (m == CAM_MODE_AUTO && (from != m || through_return)) {
    take_params(Camera_explore_params, false);
    combat_timer = now();  // the enemies-near test runs at once
    was_combat = 0;
  }
  flags &= ~CAM_BACK_TO_HIGH;
  zoom = elevation >= HIGH_ELEVATION ? zoom_high : zoom_low;
}

bool GameCamera::cycle_mode() {
  if (world_map()) return false;
  switch (mode) {
    case CAM_MODE_EXPLORE: set_mode(CAM_MODE_COMBAT); return true;
    case CAM_MODE_COMBAT: set_mode(CAM_MODE_AUTO); return true;
    case CAM_MODE_AUTO: set_mode(CAM_MODE_EXPLORE); return true;
    case CAM_MODE_HIGH_HELD:
      if (!unlock_allowed) return false;
      set_mode(CAM_MODE_AUTO);
      return true;
    default: return false;
  }
}

void GameCamera::behind_target() {
  CameraTarget t;
  if (target_state(&t)) heading = wrap_pi(t.heading + PI);
}

void GameCamera::attach() {
  if (flags & CAM_TRACK) end_track(true);
  flags |= CAM_ATTACHED | CAM_ORBIT;
}

void GameCamera::set_follow_flags(bool orbit_update, bool free_movement) {
  if (flags & CAM_TRACK) end_track(!free_movement);
  flags &= ~(CAM_ATTACHED | CAM_ORBIT | CAM_FREE);
  if (orbit_update) flags |= CAM_ORBIT;
  if (free_movement) flags |= CAM_FREE;
}

void GameCamera::save(CameraSavedView* out) const {
  *out = {flags, distance, heading, zoom, elevation, field_of_view, target_height, mode, previous_mode};
}

void GameCamera::load(const CameraSavedView& in) {
  flags = in.flags;
  distance = in.distance;
  heading = in.heading;
  zoom = in.zoom;
  elevation = in.elevation;
  field_of_view = in.field_of_view;
  target_height = in.target_height;
  mode = in.mode;
  previous_mode = in.previous_mode;
}

void GameCamera::push_view() {
  if (saved_count >= CAM_MAX_SAVED_VIEWS) return;
  save(&saved_views[saved_count++]);
}

void GameCamera::pop_view() {
  if (saved_count == 0) return;
  load(saved_views[--saved_count]);
}

// A track authored relative to the scripted frame: rotated by its
// orientation, then moved to its position.
void GameCamera::apply_script_view(vector* p, matrix* o) const {
  if (!(flags & CAM_SCRIPT_VIEW)) return;
  vector rotated;
  p->unrotated(rotated, script_orientation);
  *p = rotated + script_offset;
  matrix combined;
  o->multiply(combined, script_orientation);
  *o = combined;
}

void GameCamera::play_track(const CameraTrack& t) {
  if (flags & CAM_TRACK) end_track(true);
  track = t;
  push_view();
  set_follow_flags(false, false);
  vector p = position;
  matrix o = orientation;
  if (track.sample) track.sample(track.context, 0.0f, &p, &o);
  apply_script_view(&p, &o);
  hand_over(p, o);
  field_of_view = track.fov * (1.0f / PI);
  flags |= CAM_TRACK;
}

void GameCamera::end_track(bool restore) {
  track = CameraTrack{};
  if (restore) pop_view();
  flags &= ~CAM_TRACK;
  game_flags_clear(GF_CAMERA_TRACK);
}

void GameCamera::set_script_view(const vector* p, const matrix* o) {
  if (!p || !o) {
    flags &= ~CAM_SCRIPT_VIEW;
    return;
  }
  script_offset = *p;
  script_orientation = *o;
  flags |= CAM_SCRIPT_VIEW;
}

void GameCamera::release_transition() {
  if (mode != CAM_MODE_TRANSITION && mode != CAM_MODE_HIGH_HELD) return;
  attach();
  set_mode(CAM_MODE_RETURN);
}

void GameCamera::spring(float dt, const vector& wanted, float base) {
  float k = base;
  if (elevation >= HIGH_ELEVATION) {
    const float dx = target_point.x - position.x, dz = target_point.z - position.z;
    const float below = zoom * elevation + (position.y - target_point.y);
    const float r = below != 0 ? (std::sqrt(dx * dx + dz * dz) + distance * zoom) / below : 0;
    if (r > 1.3f) k = 0.25f;
    else if (r >= 0.857f) k = base - (r - 0.857f) * (base - 0.25f) * 2.2573366f;
  }
  for (int i = 0; i < 3; i++) {
    const float before = wanted[i] - position[i];
    const float a = 2.0f * (before - k * velocity[i]) / (k * k);
    position[i] += (a * dt / 2.0f + velocity[i]) * dt;
    velocity[i] += a * dt;
    const float after = wanted[i] - position[i];
    if ((before > 0 && after < 0) || (before < 0 && after > 0)) {
      position[i] = wanted[i];  // the step overshot: settle instead of ringing
      velocity[i] = 0;
    }
  }
  approach(height_offset, wanted_height_offset, HEIGHT_OFFSET_RATE * dt);
}

void GameCamera::look(float dt, bool average) {
  const vector at{target_point.x, smoothed_height + height_offset, target_point.z};
  vector dir = at - position;
  if (dir.length_squared() <= 0) return;
  if (!average) {
    look_samples[0] = dir;
    look_times[0] = dt;
    look_count = 1;
    look_next = 1;
  } else {
    look_samples[look_next] = dir;
    look_times[look_next] = dt;
    look_next = (look_next + 1) % 4;
    if (look_count < 4) look_count++;
    vector sum{0, 0, 0};
    float weight = 0;
    for (int i = 0; i < look_count; i++) {
      sum += look_samples[i] * look_times[i];
      weight += look_times[i];
    }
    if (weight > 0 && sum.length_squared() > 0) dir = sum;
  }
  orientation = matrix::from_forward(dir);
}

void GameCamera::combat_switch() {
  if (!timestamp_elapsed(combat_timer, now())) return;
  combat_timer = timestamp_set(now(), COMBAT_TEST_MS);
  const bool near = World.enemies_near && World.enemies_near(target);
  if (elevation < HIGH_ELEVATION) {
    if (near) take_params(Camera_combat_params, true);
  } else if (!near) {
    if (was_combat) combat_timer = timestamp_set(now(), COMBAT_HOLD_MS);
    else take_params(Camera_explore_params, false);
  }
  was_combat = near ? 1 : 0;
}

void GameCamera::geometry_avoidance() {
  avoid_count = 0;
  if (!Camera_geometry_avoidance || !World.ray_objects || ask(World.cutscene)) return;
  CameraTarget t;
  if (!target_state(&t)) return;
  if ((t.position - avoid_target).length() > AVOID_MOVE) avoid_target = t.position;
  if ((position - avoid_camera).length() > AVOID_MOVE) avoid_camera = position;
  vector from = avoid_target;
  from.y += std::fmin(target_height, 0.8f * t.height);
  int found[CAM_MAX_AVOID];
  int n = World.ray_objects(from, avoid_camera, found, CAM_MAX_AVOID);
  auto keep = [&](int object) {
    for (int i = 0; i < avoid_count; i++)
      if (avoid[i] == object) return;
    if (avoid_count < CAM_MAX_AVOID) avoid[avoid_count++] = object;
  };
  for (int i = 0; i < n && i < CAM_MAX_AVOID; i++) keep(found[i]);
  if (avoid_count < CAM_MAX_AVOID) {
    n = World.ray_objects(avoid_camera, from, found, CAM_MAX_AVOID);
    for (int i = 0; i < n && i < CAM_MAX_AVOID; i++) keep(found[i]);
  }
}

void GameCamera::update(float dt) {
  CameraTarget t;
  const bool has_target = target_state(&t);
  if (has_target && (flags & CAM_ORBIT)) {
    compute_target_point(t);
    // The player's turn, zoom and tilt.
    const float divisor = elevation >= HIGH_ELEVATION ? 7.5f : 6.0f;
    heading += dt * TWO_PI / divisor * turn_rate;
    elevation += dt * elevation_rate * 4.0f;
    if (!(flags & CAM_AUTO_ZOOM)) zoom += dt * zoom_rate;
    if (heading > TWO_PI) heading -= TWO_PI;
    if (heading < -TWO_PI) heading += TWO_PI;
    zoom = std::fmin(std::fmax(zoom, 0.3f), Camera_zoom_limit);
    elevation = std::fmin(std::fmax(elevation, -2.0f), 9.0f);
    if (world_map()) {
      elevation = WORLD_MAP_ELEVATION;
      zoom = 1.0f;
    }
    // A requested turn, zooming out first when the camera sits low and close.
    flags &= ~CAM_AUTO_ZOOM;
    if (turn_request.length_squared() == 0) {
      if (flags & CAM_ZOOM_SAVED) {
        zoom = saved_zoom;
        flags &= ~CAM_ZOOM_SAVED;
      }
    } else {
      const float angle = std::atan2(turn_request.x, turn_request.z);
      float diff = wrap_pi(angle - heading);
      bool zooming = false;
      if (std::fabs(diff) > TURN_DEAD_ZONE) {
        if (elevation < HIGH_ELEVATION && zoom < 0.8f) {
          if (!(flags & CAM_ZOOM_SAVED)) {
            saved_zoom = zoom;
            flags |= CAM_ZOOM_SAVED;
          }
          flags |= CAM_AUTO_ZOOM;
          zoom += dt;
          zooming = true;  // the request waits until the zoom is out
        } else {
          diff = std::fmin(std::fmax(diff, -PI / 4), PI / 4);
          heading -= dt * diff;
        }
      }
      if (!zooming) turn_request = {0, 0, 0};
    }
    // The followed height, smoothed.
    if (std::fabs(target_point.y - smoothed_height) >= HEIGHT_STEP) wanted_height = target_point.y;
    const float gap = wanted_height - smoothed_height;
    approach(smoothed_height, wanted_height, std::fabs(dt * gap * 4.0f));
    if (std::fabs(wanted_height - smoothed_height) < 0.001f) smoothed_height = wanted_height;
    // The spring.
    const vector wanted = mode == CAM_MODE_TRANSITION ? transition_goal : orbit_position();
    spring(dt, wanted, mode == CAM_MODE_TRANSITION ? 0.3f : 0.5f);
    if (t.speed >= MOVING_SPEED) spring_state = 2;
    else if ((position - wanted).length() < SETTLED) spring_state = 0;
    if (spring_state == 0 && turn_rate != 0) spring_state = 1;
    look(dt, spring_state == 2);
  }
  geometry_avoidance();
  if (elevation >= HIGH_ELEVATION) zoom_high = zoom;
  else zoom_low = zoom;
  turn_rate = zoom_rate = elevation_rate = 0;

  // The world map holds its own elevation and zoom every frame, so a switch
  // of parameter sets there would only flicker the fog.
  if (mode == CAM_MODE_AUTO && has_target && !world_map() && !ask(World.dialogue) && !ask(World.ai_paused) &&
      !(ask(World.solo) && elevation < HIGH_ELEVATION) && (flags & CAM_ORBIT))
    combat_switch();

  if (has_target && (flags & CAM_ATTACHED) && (flags & CAM_ORBIT)) {
    hand_over(position, orientation);
    return;
  }
  if (flags & CAM_TRACK) {
    vector p = view_position;
    matrix o = view_orientation;
    const bool going = track.sample && track.sample(track.context, dt, &p, &o);
    apply_script_view(&p, &o);
    hand_over(p, o);
    if (!going) end_track(true);
    return;
  }
  if (mode == CAM_MODE_TRANSITION) {
    if (has_target) compute_target_point(t);
    spring(dt, transition_goal, 0.3f);
    if ((position - transition_goal).length() < SETTLED) spring_state = 0;
    hand_over(position, orientation);
    if (spring_state != 0 && (!has_target || t.speed < MOVING_SPEED)) return;
    flags |= CAM_ORBIT;
    set_mode(CAM_MODE_RETURN);
    return;
  }
  if (!(flags & CAM_ATTACHED) && (flags & CAM_FREE)) {
    if (World.ctrl_held && World.ctrl_held() && World.mouse_delta) {
      int dx = 0, dy = 0;
      World.mouse_delta(&dx, &dy);
      const matrix turn = matrix::from_angles(dy * Camera_mlook_sensitivity * 0.01f, 0,
                                              dx * Camera_mlook_sensitivity * 0.01f);
      matrix turned;
      turn.multiply(turned, free_orientation);
      free_orientation = turned;
      free_orientation.orthonormalize();
    }
    movement_apply_controls(free_position, free_orientation, dt);
    hand_over(free_position, free_orientation);
  }
}

void GameCamera::get_view(vector* eye, matrix* orient, float* fov) const {
  *eye = view_position;
  *orient = view_orientation;
  *fov = field_of_view;
}

void game_camera_record_write(const CameraSavedView& v, uint32_t out[CAM_SAVE_WORDS]) {
  auto bits = [](float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
  };
  out[0] = v.flags;
  out[1] = bits(v.distance);
  out[2] = bits(v.heading);
  out[3] = bits(v.zoom);
  out[4] = bits(v.elevation);
  out[5] = bits(v.field_of_view);
  out[6] = bits(v.target_height);
  out[7] = static_cast<uint32_t>(v.mode);
  out[8] = static_cast<uint32_t>(v.previous_mode);
}

CameraSavedView game_camera_record_read(const uint32_t in[CAM_SAVE_WORDS]) {
  auto real = [](uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  };
  return {in[0], real(in[1]), real(in[2]), real(in[3]), real(in[4]), real(in[5]), real(in[6]),
          static_cast<int32_t>(in[7]), static_cast<int32_t>(in[8])};
}

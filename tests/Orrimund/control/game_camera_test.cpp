#include "Orrimund/control/game_camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "Orrimund/control/world_input.h"
#include "quarn/os/console.h"

namespace {

// Scripted targets by handle, a clock the test moves, and the enemies the
// world reports near each target.
std::map<int, CameraTarget> Targets;
int32_t Now = 1000;
bool Enemy = false;
bool World_map = false;
int Fog_calls = 0;
float Fog_near = 0, Fog_far = 0;

bool target(int handle, CameraTarget* out) {
  auto it = Targets.find(handle);
  if (it == Targets.end()) return false;
  *out = it->second;
  return true;
}

class Camera : public ::testing::Test {
 protected:
  void SetUp() override {
    Targets.clear();
    Now = 1000;
    Enemy = false;
    World_map = false;
    Fog_calls = 0;
    Camera_zoom_limit = 1.0f;
    CameraWorld w;
    w.target = target;
    w.world_map = [] { return World_map; };
    w.enemies_near = [](int) { return Enemy; };
    w.now_ms = [] { return Now; };
    w.default_fog = [](float n, float f) {
      Fog_calls++;
      Fog_near = n;
      Fog_far = f;
    };
    game_camera_set_world(w);
    Targets[1] = {{0, 0, 0}, 0, 0, 1.8f};
    cam.construct();
    cam.init_defaults();
    cam.set_target(1);  // before attaching: no glide from nowhere
    cam.level_start();
    cam.reset_view(true, true);
  }
  void TearDown() override {
    game_camera_set_world(CameraWorld{});
    Camera_zoom_limit = 1.0f;
  }
  // Runs frames of dt seconds, moving the clock with them.
  void run(float seconds, float dt = 0.05f) {
    for (float t = 0; t < seconds - 1e-4f; t += dt) {
      Now += static_cast<int32_t>(dt * 1000.0f + 0.5f);
      cam.update(dt);
    }
  }
  GameCamera cam;
};

TEST_F(Camera, StartsAutomaticInTheExploreViewBehindItsTarget) {
  EXPECT_EQ(cam.mode, CAM_MODE_AUTO);
  EXPECT_EQ(cam.previous_mode, CAM_MODE_AUTO);
  EXPECT_FLOAT_EQ(cam.distance, 6.0f);
  EXPECT_FLOAT_EQ(cam.elevation, 2.0f);
  EXPECT_FLOAT_EQ(cam.target_height, 3.3f);
  EXPECT_FLOAT_EQ(cam.field_of_view, 73.74f);
  EXPECT_EQ(Fog_near, 20.0f);
  EXPECT_EQ(Fog_far, 30.0f);
  // The orbit: sin/cos(heading) x distance x zoom around the target point,
  // elevation x zoom above the smoothed height plus the height offset.
  const float z = cam.zoom;
  const vector o = cam.orbit_position();
  EXPECT_NEAR(o.x, std::sin(cam.heading) * 6.0f * z, 1e-5);
  EXPECT_NEAR(o.z, std::cos(cam.heading) * 6.0f * z, 1e-5);
  EXPECT_NEAR(o.y, 2.0f * z + 3.3f - 1.5f, 1e-5);
  cam.update(0.0f);
  vector eye;
  matrix orient;
  float fov;
  cam.get_view(&eye, &orient, &fov);
  EXPECT_NEAR((eye - o).length(), 0.0f, 1e-4);
}

TEST_F(Camera, RetargetingSnapsBelowTenUnitsAndGlidesFromTen) {
  struct Case {
    float distance;
    int mode;
  };
  for (const Case& c : {Case{9.9f, CAM_MODE_AUTO}, Case{10.0f, CAM_MODE_TRANSITION}}) {
    SetUp();
    Targets[2] = {{c.distance, 0, 0}, 0, 0, 1.8f};
    cam.set_target(2);
    EXPECT_EQ(cam.mode, c.mode) << c.distance;
    if (c.mode == CAM_MODE_AUTO) {
      EXPECT_NEAR((cam.position - cam.orbit_position()).length(), 0.0f, 1e-4) << "a snap lands at once";
    } else {
      EXPECT_GT((cam.position - cam.transition_goal).length(), 1.0f);
      run(3.0f);  // the glide ends and the camera returns to the mode it had
      EXPECT_EQ(cam.mode, CAM_MODE_AUTO);
      EXPECT_NEAR((cam.position - cam.orbit_position()).length(), 0.0f, 0.05);
    }
  }
}

TEST_F(Camera, ZoomStaysBetweenItsLimits) {
  cam.set_input(0, -100.0f, 0);
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.zoom, 0.3f);
  cam.set_input(0, 100.0f, 0);
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.zoom, 1.0f);
  // Without an argument the command switches the limit off.
  console_execute("zoom_limit");
  EXPECT_EQ(Camera_zoom_limit, 1000.0f);
  cam.set_input(0, 100.0f, 0);
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.zoom, 11.0f);
  console_execute("zoom_limit on");
  EXPECT_EQ(Camera_zoom_limit, 1.0f);
  // The input lasts one frame.
  const float h = cam.heading;
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.heading, h);
}

TEST_F(Camera, TurnInputFollowsTheDivisorOfItsElevation) {
  // heading += dt x 2 pi / 6 x turn low, / 7.5 from elevation 4.
  const float h0 = cam.heading;
  cam.set_input(1.0f, 0, 0);
  cam.update(0.1f);
  EXPECT_NEAR(cam.heading - h0, 0.1f * 2 * 3.14159265f / 6.0f, 1e-5);
  cam.set_mode(CAM_MODE_COMBAT);
  const float h1 = cam.heading;
  cam.set_input(1.0f, 0, 0);
  cam.update(0.1f);
  EXPECT_NEAR(cam.heading - h1, 0.1f * 2 * 3.14159265f / 7.5f, 1e-5);
}

TEST_F(Camera, ViewStackHoldsEightViews) {
  for (int i = 0; i < 9; i++) {
    cam.distance = static_cast<float>(i);
    cam.push_view();
  }
  EXPECT_EQ(cam.saved_count, 8u);
  cam.pop_view();
  EXPECT_FLOAT_EQ(cam.distance, 7.0f) << "the ninth push was ignored";
  for (int i = 0; i < 7; i++) cam.pop_view();
  EXPECT_FLOAT_EQ(cam.distance, 0.0f);
  cam.distance = 42.0f;
  cam.pop_view();
  EXPECT_FLOAT_EQ(cam.distance, 42.0f);
}

TEST_F(Camera, TurnRequestWithinTenDegreesIsDropped) {
  cam.set_mode(CAM_MODE_COMBAT);  // high view: no zoom-out first
  const float h = cam.heading;
  const float a = h + 0.17f;  // just under 10 degrees
  cam.turn_request = {std::sin(a), 0, std::cos(a)};
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.heading, h);
  EXPECT_EQ(cam.turn_request.length_squared(), 0.0f);
  // Farther: the heading moves by dt x the difference, at most pi/4.
  const float b = h + 1.0f;
  cam.turn_request = {std::sin(b), 0, std::cos(b)};
  cam.update(0.1f);
  EXPECT_NEAR(cam.heading, h - 0.1f * (3.14159265f / 4), 1e-5);
}

TEST_F(Camera, EnemyNearSwitchesToCombatAndBackAfterFiveSeconds) {
  run(1.0f);
  EXPECT_LT(cam.elevation, 4.0f);
  Enemy = true;
  run(1.05f);
  EXPECT_FLOAT_EQ(cam.elevation, 7.0f) << "the combat view within a second";
  EXPECT_EQ(Fog_near, 35.0f);
  Enemy = false;
  run(5.0f);
  EXPECT_FLOAT_EQ(cam.elevation, 7.0f) << "still holding five seconds after the last enemy";
  run(1.5f);
  EXPECT_FLOAT_EQ(cam.elevation, 2.0f);
}

TEST_F(Camera, EnemyNearIsCloserThanEightUnits) {
  struct Case {
    float distance;
    bool near;
  };
  for (const Case& c : {Case{7.9f, true}, Case{8.0f, false}})
    EXPECT_EQ(camera_enemy_within_reach(vector{1, 0, 2}, vector{1 + c.distance, 0.5f, 2}), c.near) << c.distance;
}

TEST_F(Camera, WorldMapHoldsElevationTwelveAndIgnoresModeCycling) {
  World_map = true;
  cam.set_input(0, 5.0f, -5.0f);
  cam.update(0.1f);
  EXPECT_FLOAT_EQ(cam.elevation, 12.0f);
  EXPECT_FLOAT_EQ(cam.zoom, 1.0f);
  const int m = cam.mode;
  EXPECT_FALSE(cam.cycle_mode());
  EXPECT_EQ(cam.mode, m);
  World_map = false;
  EXPECT_TRUE(cam.cycle_mode());
  EXPECT_EQ(cam.mode, CAM_MODE_EXPLORE);
}

TEST_F(Camera, HighViewHeldIsOnlyRecordedWhileUnlockIsAllowed) {
  cam.unlock_allowed = 1;
  cam.set_mode(CAM_MODE_HIGH_HELD);
  EXPECT_EQ(cam.mode, CAM_MODE_AUTO);
  EXPECT_EQ(cam.unlocked, 1);
  cam.unlock_allowed = 0;
  cam.set_mode(CAM_MODE_HIGH_HELD);
  EXPECT_EQ(cam.mode, CAM_MODE_HIGH_HELD);
  EXPECT_EQ(cam.unlocked, 0);
  EXPECT_FLOAT_EQ(cam.elevation, 7.0f);
  cam.set_mode(CAM_MODE_RETURN);
  EXPECT_EQ(cam.mode, CAM_MODE_AUTO);
}

TEST_F(Camera, SpringStepMatchesItsFormulaAndSnapsOnOvershoot) {
  // One axis by hand: a = 2 (w - p - k v) / k^2; p += (a dt / 2 + v) dt.
  cam.position = cam.orbit_position() + vector{-1.0f, 0, 0};
  cam.velocity = {0, 0, 0};
  const float w = cam.orbit_position().x, p0 = cam.position.x, k = 0.5f, dt = 0.02f;
  const float a = 2.0f * (w - p0) / (k * k);
  cam.update(dt);
  EXPECT_NEAR(cam.position.x, p0 + a * dt / 2 * dt, 1e-5);
  EXPECT_NEAR(cam.velocity.x, a * dt, 1e-4);
  // A long frame would carry it past: it lands on the wanted place.
  cam.update(0.6f);
  EXPECT_NEAR(cam.position.x, w, 1e-5);
  EXPECT_EQ(cam.velocity.x, 0.0f);
}

TEST_F(Camera, TracksTakeTheViewAndGiveItBack) {
  struct Track {
    int frames = 0;
  } state;
  CameraTrack t;
  t.fov = 3.14159265f * 60.0f;
  t.context = &state;
  t.sample = [](void* c, float, vector* p, matrix* o) {
    auto* s = static_cast<Track*>(c);
    *p = {100, 5, 100};
    *o = matrix::from_angles(0, 0, 0);
    return ++s->frames < 3;
  };
  const float fov = cam.field_of_view;
  cam.set_script_view(nullptr, nullptr);
  cam.play_track(t);
  EXPECT_TRUE(cam.flags & CAM_TRACK);
  EXPECT_NEAR(cam.field_of_view, 60.0f, 1e-3);
  EXPECT_FALSE(cam.flags & CAM_ATTACHED);
  cam.update(0.05f);
  EXPECT_NEAR(cam.view_position.x, 100.0f, 1e-4);
  cam.update(0.05f);
  cam.update(0.05f);
  EXPECT_FALSE(cam.flags & CAM_TRACK) << "the track ended";
  EXPECT_FLOAT_EQ(cam.field_of_view, fov);
  EXPECT_TRUE(cam.flags & CAM_ATTACHED) << "the saved view came back";
}

TEST_F(Camera, SaveRecordIsNineWordsInTheirOrder) {
  cam.distance = 6.5f;
  cam.heading = -1.25f;
  CameraSavedView v;
  cam.save(&v);
  uint32_t words[CAM_SAVE_WORDS];
  game_camera_record_write(v, words);
  EXPECT_EQ(words[0], cam.flags);
  EXPECT_EQ(words[1], 0x40D00000u);  // 6.5
  EXPECT_EQ(words[2], 0xBFA00000u);  // -1.25
  EXPECT_EQ(words[7], static_cast<uint32_t>(CAM_MODE_AUTO));
  const CameraSavedView back = game_camera_record_read(words);
  EXPECT_EQ(back.heading, -1.25f);
  EXPECT_EQ(back.previous_mode, cam.previous_mode);
}

}  // namespace

namespace {

TEST(Slew, DetachesTheCameraIntoFreeFlightFromWhereItStoodAndBack) {
  GameCamera& cam = game_camera;
  cam.construct();
  cam.flags = CAM_ATTACHED | CAM_ORBIT;
  cam.view_position = {1, 2, 3};
  ASSERT_EQ(console_execute("slew"), 0);
  EXPECT_TRUE(Slew_mode);
  EXPECT_EQ(cam.flags & (CAM_ATTACHED | CAM_ORBIT | CAM_FREE), CAM_FREE);
  EXPECT_EQ(cam.free_position, (vector{1, 2, 3}));
  // With no key held the free camera stays where it is.
  cam.update(0.1f);
  EXPECT_EQ(cam.view_position, (vector{1, 2, 3}));
  ASSERT_EQ(console_execute("slew"), 0);
  EXPECT_FALSE(Slew_mode);
  EXPECT_EQ(cam.flags & (CAM_ATTACHED | CAM_ORBIT), CAM_ATTACHED | CAM_ORBIT);
}

}  // namespace

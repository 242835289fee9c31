// Movable meshes on a game clock the test drives: travel on the eased
// curve, reversal, automatic closing, locks and the saved state.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Engine/s3d/level_objects.h"
#include "quarn/os/timer.h"
#include "tests/Engine/s3d/level_fixture.h"

namespace {

// Slow start, slow end: 2t^2 below one half, mirrored above.
double ease(double t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }

class Doors : public LevelTest {
 protected:
  void SetUp() override {
    LevelTest::SetUp();
    LevelBuilder b;
    b.add_floor("floor", -6, -6, 6, 6, 0, 0, 0);
    b.add_door("door", vector{-1, 0, 0}, vector{1, 2, 0.2f}, vector{2, 0, 0}, 2.0f, "Door_Key", 0);
    b.add_door("gate", vector{-1, 0, 3}, vector{1, 2, 3.2f}, vector{0, 2, 0}, 0.0f, "gate_key", 0);
    b.add_door("hatch", vector{-1, 0, -3}, vector{1, 2, -2.8f}, vector{0, 2, 0}, -1.0f, "", 0);
    b.add_box("crate", vector{3, 0, 3}, vector{4, 1, 4}, 0);
    write(b, "doors.s3d");
    ASSERT_EQ(load("doors.s3d"), 0);
    door = level_mesh_find_by_name("door");
    gate = level_mesh_find_by_name("gate");
    hatch = level_mesh_find_by_name("hatch");
    crate = level_mesh_find_by_name("crate");
    closed_x = Level.instances[door].pos.x;
    timer_game_clock = 100000;
  }
  void TearDown() override {
    level_set_services(LevelServices{});
    LevelTest::TearDown();
  }
  // Runs the door's frames from now to `until` ms in 1 ms steps.
  void run_to(int until) {
    while (timer_game_clock < until) {
      timer_game_clock++;
      level_door_update(door);
    }
  }
  // How far open the door stands, 0 closed to 1 open, from its position.
  double openness() const { return (Level.instances[door].pos.x - closed_x) / 2.0; }
  const LevelMovableMesh& rec() { return *level_mesh_movable_info(door); }
  bool saved_open(int instance) {
    bool open = false, locked = false;
    level_two_stage_get(Level.instances[instance].name, &open, &locked);
    return open;
  }

  int door = -1, gate = -1, hatch = -1, crate = -1;
  float closed_x = 0.0f;
};

TEST_F(Doors, OpeningFollowsTheEaseCurveOverTheTravelTime) {
  const int t0 = timer_game_clock;
  ASSERT_TRUE(level_door_open(door, -1.0f, false, false));
  EXPECT_TRUE(saved_open(door));  // flipped when the move starts
  struct {
    int ms;
    double open;
  } table[] = {{0, 0.0}, {250, ease(0.125)}, {500, ease(0.25)}, {1000, 0.5}, {1500, ease(0.75)}, {1999, ease(1999 / 2000.0)}, {2000, 1.0}, {2500, 1.0}};
  for (const auto& row : table) {
    run_to(t0 + row.ms);
    level_door_update(door);
    EXPECT_NEAR(openness(), row.open, 1e-5) << row.ms;
    EXPECT_EQ((rec().state & MOVABLE_MOVING) != 0, row.ms < 2000) << row.ms;
  }
}

TEST_F(Doors, AReversedDoorComesBackFromTheMirroredPoint) {
  const int t0 = timer_game_clock;
  ASSERT_TRUE(level_door_open(door, -1.0f, false, false));
  run_to(t0 + 500);
  const double at_reversal = openness();
  EXPECT_NEAR(at_reversal, ease(0.25), 1e-5);
  ASSERT_TRUE(level_door_close(door));
  EXPECT_FALSE(saved_open(door));
  level_door_update(door);
  // No jump at the reversal, and back at the start 0.5 s later.
  EXPECT_NEAR(openness(), at_reversal, 1e-5);
  run_to(t0 + 750);
  EXPECT_NEAR(openness(), ease(0.125), 1e-5);
  run_to(t0 + 999);
  EXPECT_TRUE(rec().state & MOVABLE_MOVING);
  run_to(t0 + 1000);
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  EXPECT_NEAR(openness(), 0.0, 1e-6);
}

TEST_F(Doors, ACloseDelayShutsTheDoor3001MsAfterItOpened) {
  const int t0 = timer_game_clock;
  ASSERT_TRUE(level_door_open(door, 3.0f, false, false));
  EXPECT_EQ(rec().state >> MOVABLE_DELAY_SHIFT, 3001u);
  run_to(t0 + 2000);
  EXPECT_TRUE(rec().state & MOVABLE_WAITING);
  run_to(t0 + 2000 + 3000);
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  EXPECT_TRUE(saved_open(door));
  run_to(t0 + 2000 + 3001);
  EXPECT_TRUE(rec().state & MOVABLE_MOVING);
  EXPECT_FALSE(rec().state & MOVABLE_TOWARD_OPEN);
  EXPECT_FALSE(saved_open(door));
  run_to(t0 + 2000 + 3001 + 2000);
  EXPECT_NEAR(openness(), 0.0, 1e-6);
  EXPECT_EQ(rec().state, 0u);  // the delay was used up
}

TEST_F(Doors, TravelTimesOfZeroOrBelowAreInstant) {
  for (int inst : {gate, hatch}) {
    SCOPED_TRACE(Level.instances[inst].name);
    const float y0 = Level.instances[inst].pos.y;
    ASSERT_TRUE(level_door_open(inst, -1.0f, false, false));
    level_door_update(inst);
    EXPECT_FALSE(level_mesh_movable_info(inst)->state & MOVABLE_MOVING);
    EXPECT_FLOAT_EQ(Level.instances[inst].pos.y, y0 + 2.0f);
    EXPECT_TRUE(std::isfinite(Level.instances[inst].orient.right.x));
    EXPECT_TRUE(level_door_open_fraction_above(level_mesh_movable_info(inst), 0.4f));
  }
}

TEST_F(Doors, OpenAndCloseOnlyActWhenTheyHaveTo) {
  ASSERT_TRUE(level_door_open(door, -1.0f, false, false));
  const int32_t stamp = rec().stamp.value;
  timer_game_clock += 100;
  // Already opening: nothing changes, and the answer is yes.
  EXPECT_TRUE(level_door_open(door, -1.0f, false, false));
  EXPECT_EQ(rec().stamp.value, stamp);
  run_to(timer_game_clock + 3000);
  EXPECT_TRUE(level_door_open(door, -1.0f, false, false));
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  EXPECT_TRUE(level_door_close(door));
  EXPECT_FALSE(level_door_close(door));  // already closing
  // Instances that do not move answer no.
  EXPECT_EQ(level_mesh_movable_info(crate), nullptr);
  EXPECT_FALSE(level_door_open(crate, -1.0f, true, true));
  EXPECT_FALSE(level_door_close(crate));
  EXPECT_FALSE(level_mesh_use(crate, true));
  EXPECT_FALSE(level_mesh_has_track(crate));
  EXPECT_EQ(level_mesh_movable_info(-1), nullptr);
  EXPECT_EQ(level_mesh_movable_info(999), nullptr);
}

TEST_F(Doors, LockedDoorsMoveOnlyWhenForced) {
  level_two_stage_set("DOOR", false, true);
  EXPECT_FALSE(level_door_open(door, -1.0f, false, false));
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  EXPECT_TRUE(level_door_open(door, -1.0f, true, false));
  bool open = false, locked = false;
  ASSERT_TRUE(level_two_stage_get("door", &open, &locked));
  EXPECT_TRUE(open);
  EXPECT_TRUE(locked);  // the lock is kept
  // A door the tables mark locked starts locked before anything is saved.
  level_mesh_movable_info(gate)->door_flags |= MOVABLE_LOCKED;
  EXPECT_FALSE(level_mesh_use(gate, false));
}

TEST_F(Doors, SavedStatePlacesDoorsWithoutMotion) {
  level_two_stage_set("door", true, false);
  level_door_update(door);
  EXPECT_NEAR(openness(), 1.0, 1e-6);
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  level_door_set_by_name("Door", true);  // already open: nothing to do
  EXPECT_FALSE(rec().state & MOVABLE_MOVING);
  level_door_set_by_name("door", false);
  EXPECT_TRUE(rec().state & MOVABLE_MOVING);
  EXPECT_FALSE(saved_open(door));
}

TEST_F(Doors, KeysFindTheirMovablesWithoutRegardToCase) {
  int inst = -1, record = -1;
  EXPECT_EQ(level_movable_find("DOOR_KEY", &inst, &record), 0);
  EXPECT_EQ(inst, door);
  EXPECT_EQ(Level.movables[record].instance, door);
  EXPECT_EQ(level_movable_find("gate_key", &inst, &record), 0);
  EXPECT_EQ(inst, gate);
  EXPECT_EQ(level_movable_find("nothing", &inst, &record), -1);
  EXPECT_EQ(level_movable_find(nullptr, &inst, &record), -1);
  EXPECT_TRUE(level_mesh_has_track(door));
  EXPECT_FALSE(level_mesh_has_track(hatch));
  ASSERT_NE(level_named_points_find("door_key"), nullptr);
  EXPECT_EQ(level_spline_find("door_key")->count, 2);
  EXPECT_EQ(level_spline_find("nope"), nullptr);
}

TEST_F(Doors, OpennessThresholdsWhileMovingAndStill) {
  EXPECT_FALSE(level_movable_apply_by_name("door", 0.4f));
  EXPECT_FALSE(level_movable_apply_by_name("nothing", 0.4f));
  const int t0 = timer_game_clock;
  level_door_open(door, -1.0f, false, false);
  timer_game_clock = t0 + 600;  // e(0.3) = 0.18
  EXPECT_FALSE(level_movable_apply_by_name("door", 0.4f));
  timer_game_clock = t0 + 1000;  // e(0.5) = 0.5
  EXPECT_TRUE(level_movable_apply_by_name("door", 0.4f));
  run_to(t0 + 2500);
  EXPECT_TRUE(level_movable_apply_by_name("DOOR", 0.99f));
}

TEST_F(Doors, UseAsksTheLevelScriptAndSoundsPlayAtTheDoor) {
  static std::vector<std::string> used;
  static std::vector<std::pair<int, vector>> played;
  used.clear();
  played.clear();
  LevelServices s{};
  s.use_hook = [](const char* name) {
    used.push_back(name);
    return true;
  };
  s.play_3d = [](int sound, const vector& pos) {
    played.push_back({sound, pos});
    return 1;
  };
  level_set_services(s);
  level_mesh_movable_info(door)->open_sound = 7;
  level_mesh_movable_info(door)->close_sound = 0;  // index 0 never plays
  EXPECT_TRUE(level_mesh_use(door, false));
  ASSERT_EQ(used.size(), 1u);
  EXPECT_EQ(used[0], "door");
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].first, 7);
  EXPECT_EQ(played[0].second, Level.instances[door].pos);
  EXPECT_TRUE(level_mesh_use(door, false));
  EXPECT_EQ(played.size(), 1u);
  // Without a service the game's own 3-D sound is asked; with no sound
  // table loaded it plays nothing and the door still moves.
  level_set_services(LevelServices{});
  EXPECT_TRUE(level_mesh_use(door, false));
  EXPECT_TRUE(rec().state & MOVABLE_MOVING);
}

TEST_F(Doors, ReachIsSixUnitsAcrossAndHalfAUnitUp) {
  level_movable_place(door);
  const vector p = Level.instances[door].pos;
  const float floor_y = rec().floor_point.y;
  EXPECT_NEAR(floor_y, 0.0f, 1e-4f);  // the floor under the doorway
  struct {
    vector at;
    bool reach;
  } cases[] = {{{p.x + 6.0f, floor_y, p.z}, true},
               {{p.x + 6.01f, floor_y, p.z}, false},
               {{p.x + 3.0f, floor_y + 0.5f, p.z + 3.0f}, true},
               {{p.x, floor_y + 0.6f, p.z}, false}};
  for (const auto& c : cases) EXPECT_EQ(level_mesh_within_reach(c.at, door), c.reach) << c.at.x << " " << c.at.y;
  // Without a track the height does not matter.
  EXPECT_TRUE(level_mesh_within_reach(Level.instances[hatch].pos + vector{0, 9, 0}, hatch));
  EXPECT_FALSE(level_mesh_within_reach(p, crate));
}

TEST_F(Doors, LookupsByNameIndexAndPrefix) {
  EXPECT_EQ(level_mesh_count(), 5);
  EXPECT_EQ(level_mesh_find_by_name("CRATE"), crate);
  EXPECT_EQ(level_mesh_find_by_name("crat"), -1);
  EXPECT_EQ(level_mesh_find_by_name(nullptr), -1);
  EXPECT_TRUE(level_mesh_index_invalid(5));
  EXPECT_FALSE(level_mesh_index_invalid(4));
  EXPECT_EQ(level_mesh_get(5), nullptr);
  level_mesh_flag_by_prefix("DO");
  EXPECT_TRUE(Level.instances[door].flags & MI_HIDDEN);
  EXPECT_FALSE(Level.instances[gate].flags & MI_HIDDEN);
  level_mesh_unflag_by_prefix("d");
  EXPECT_FALSE(Level.instances[door].flags & MI_HIDDEN);
  vector mn, mx, c;
  float r;
  level_mesh_bounds(crate, &mn, &mx);
  EXPECT_EQ(mn, (vector{3, 0, 3}));
  EXPECT_EQ(mx, (vector{4, 1, 4}));
  level_mesh_sphere(crate, &c, &r);
  EXPECT_EQ(c, (vector{3.5f, 0.5f, 3.5f}));
  EXPECT_NEAR(r, std::sqrt(3.0f) / 2.0f, 1e-6f);
  EXPECT_EQ(level_mesh_sector(crate), -1);
  obj_set_sector(level_mesh_get(crate), 1, 4);
  EXPECT_EQ(obj_get_sector(level_mesh_get(crate), 1), 4);
  const LevelBounds b = level_bounds();
  EXPECT_FLOAT_EQ(b.min_x, -6.0f);
  EXPECT_FLOAT_EQ(b.max_z, 6.0f);
  timed_slots_clear();
  Level_timed_slots[2].id = 9;
  timed_slot_release(9);
  EXPECT_EQ(Level_timed_slots[2].id, -1);
}

}  // namespace

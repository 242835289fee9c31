// Path following on a level with a pathfinding graph: a walker whose way
// is now crossed by a wall goes round the wall's corner or plans anew; an
// avoidance area across its way holds it until the area goes; a shut door
// ends the walk before it; nodes it already sees are dropped; the wobble
// stays near the path and never takes a walker into a wall; the probe
// ahead turns a walker back from a wall edge.
#include "Engine/ai/path_follow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_planner.h"
#include "Engine/ai/point_vis.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"
#include "tools/writers/pfg_writer.h"

namespace {

std::vector<PfgPt> box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

float flat_distance(const vector& a, const vector& b) { return std::hypot(a.x - b.x, a.z - b.z); }

// Whether the point lies inside the box grown by `grow`.
bool inside(const vector& p, float x0, float z0, float x1, float z1, float grow) {
  return p.x > x0 - grow && p.x < x1 + grow && p.z > z0 - grow && p.z < z1 + grow;
}

class PathFollow : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_init_tables();
    ai_set_driver_hooks(AiDriverHooks{});
    ai_behaviour_install();
    Ai_paused = false;
    Ai_path_wandering_enabled = true;
  }
  void TearDown() override {
    ai_set_driver_hooks(AiDriverHooks{});
    ai_set_planner(nullptr);
    path_set_door_open_hook(nullptr);
    Ai_path_wandering_enabled = true;
    Ai_wobble_on = false;
    aa_reset();
  }
  void frame(float dt = 1.0f / 30.0f) {
    kit.advance(dt);
    ai_frame(dt);
  }
  // An open field 40 by 40 in two sectors, with the given obstacles.
  static PfgLevel field(std::vector<std::vector<PfgPt>> obstacles) {
    PfgLevel level;
    level.min_x = level.min_z = -20;
    level.max_x = level.max_z = 20;
    level.sector_splits = {10.0f};
    level.obstacles = std::move(obstacles);
    for (int c = 0; c < 3; c++) level.radius[c] = Entity_size_radius[c];
    return level;
  }
  living_entity* walker(const vector& at, int object_type = OBJ_CREATURE) {
    living_entity* e = kit.spawn(kit.type("Ruvizo"), at, object_type);
    ai_set_state(&e->ai, AI_STATE_IDLE, 0);
    return e;
  }
  // Walks until the walker is idle again (or the time is up); false when
  // it ever stood inside the box grown by its radius less a hair.
  bool walk_clear_of(living_entity* e, float seconds, float x0, float z0, float x1, float z1) {
    bool clear = true;
    const float grow = e->get_radius() - 0.02f;
    for (int i = 0; i < static_cast<int>(seconds * 30) && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) {
      frame();
      if (inside(e->pos, x0, z0, x1, z1, grow)) clear = false;
    }
    return clear;
  }
};

// A path planned straight through a box (as when a walker was pushed off its
// own): the blocking test sends it round the corner of the wall it would
// cross when that corner sees the node, and plans anew when neither does.
TEST_F(PathFollow, AWallAcrossTheWayIsGoneRoundByItsCornerOrByANewPlan) {
  struct Case {
    const char* what;
    vector goal;
    bool by_corner;  // a corner of the near wall sees the goal
  };
  const Case cases[] = {
      {"goal off to the side", {-4.5f, 0, 5.0f}, true},
      {"goal right behind", {0.0f, 0, 6.0f}, false},
  };
  kit.use_graph(field({box(-1, 2, 1, 4)}));
  for (const Case& c : cases) {
    living_entity* e = walker({0, 0, 0});
    const float r = e->get_radius();
    // The straight-line planner: the first leg runs into the box.
    ai_set_planner(nullptr);
    ASSERT_GE(ai_queue_walk_to(&e->ai, c.goal, 0, false, 1000), 0);
    frame();
    ASSERT_NE(e->ai.path, nullptr);
    // Once the walk is under way, what the repair makes of the path.
    path_planner_install();
    bool corner_first = false, replanned = false;
    const vector near_corners[2] = {{-1 - r, 0, 2 - r}, {1 + r, 0, 2 - r}};
    bool clear = true;
    for (int i = 0; i < 30 * 20 && (i < 5 || e->ai.state != AI_STATE_IDLE); i++) {
      frame();
      if (inside(e->pos, -1, 2, 1, 4, r - 0.02f)) clear = false;
      const ai_path* p = e->ai.path;
      if (!p || p->count == 0) continue;
      int n = 0;
      for (const ai_path* q = p; q; q = q->next) n += q->count;
      // A detour: the corner, then the goal. A new plan: the start and its
      // bends round the box.
      for (const vector& k : near_corners)
        if (n == 2 && flat_distance(p->points[0], k) < 0.01f) corner_first = true;
      if (n >= 3) replanned = true;
    }
    EXPECT_TRUE(clear) << c.what;
    EXPECT_EQ(e->ai.state, AI_STATE_IDLE) << c.what;
    EXPECT_LT(flat_distance(e->pos, c.goal), 0.6f) << c.what;
    EXPECT_EQ(corner_first, c.by_corner) << c.what;
    EXPECT_EQ(replanned, !c.by_corner) << c.what;
    e->state |= ES_DEAD;
    e->pos = vector(30, 0, 30);
  }
}

// A barrier laid across the way after the walk began: the walker stands
// before it, and walks on at the blocking test after it is gone, which
// comes every 200 ms for a hero and every 1000 ms for others.
TEST_F(PathFollow, AnAvoidanceAreaHoldsTheWalkerUntilTheNextTestAfterItGoes) {
  struct Case {
    int object_type;
    float period;
  };
  kit.use_graph(field({}));
  path_planner_install();
  for (const Case& c : {Case{OBJ_PLAYER, 0.2f}, Case{OBJ_CREATURE, 1.0f}}) {
    living_entity* e = walker({0, 0, 0}, c.object_type);
    const vector goal(0, 0, 9);
    ASSERT_GE(ai_queue_walk_to(&e->ai, goal, 0, false, 1000), 0);
    frame();
    const vector ends[2] = {{-4, 0, 3.5f}, {4, 0, 3.5f}};
    const int area = aa_add(AvoidShape{AA_TYPE_PROHIBIT, 2, ends, 1.0f, 0.0f, 1.0f, -1});
    ASSERT_GE(area, 0);
    for (int i = 0; i < 30 * 3; i++) frame();
    const vector held = e->pos;
    for (int i = 0; i < 30 * 2; i++) frame();
    EXPECT_LT(flat_distance(held, e->pos), 0.01f) << c.object_type;
    EXPECT_LT(e->pos.z, 3.5f - 0.6f) << c.object_type;  // short of the barrier
    EXPECT_EQ(e->ai.state, AI_STATE_TRAVELING);
    // Lift it just after a blocking test: the walker stands one period more.
    const int32_t armed = e->ai.path_timers[1];
    for (int i = 0; i < 60 && e->ai.path_timers[1] == armed; i++) frame();
    ASSERT_NE(e->ai.path_timers[1], armed);
    aa_remove(area);
    float waited = 0.0f;
    while (flat_distance(held, e->pos) < 0.01f && waited < 3.0f) {
      frame();
      waited += 1.0f / 30.0f;
    }
    EXPECT_GT(waited, c.period - 0.1f) << c.object_type;
    EXPECT_LT(waited, c.period + 0.2f) << c.object_type;
    for (int i = 0; i < 30 * 10 && e->ai.state != AI_STATE_IDLE; i++) frame();
    EXPECT_LT(flat_distance(e->pos, goal), 0.6f) << c.object_type;
    e->state |= ES_DEAD;
    e->pos = vector(15, 0, -15);
  }
}

// A wall with a doorway and its door: shut, the walk ends before the door
// (the walker idle, well clear of it); open, the walker goes through; a
// walk to a point short of the shut door gets there.
TEST_F(PathFollow, AShutDoorEndsTheWalkBeforeIt) {
  PfgLevel level = field({box(-0.25f, 1.0f, 0.25f, 20.0f), box(-0.25f, -20.0f, 0.25f, -1.0f)});
  level.sector_splits = {0.0f};
  level.doors.push_back({{0.0f, -1.0f}, {0.0f, 1.0f}, 0});
  kit.use_graph(level);
  path_planner_install();
  static bool door_open;
  path_set_door_open_hook([](int, float) { return door_open; });
  for (bool open : {false, true}) {
    door_open = open;
    living_entity* e = walker({-6, 0, 0});
    const vector goal(6, 0, 0);
    ASSERT_GE(ai_queue_walk_to(&e->ai, goal, 0, false, 1000), 0);
    float nearest = 1e9f;
    for (int i = 0; i < 30 * 15 && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) {
      frame();
      nearest = std::fmin(nearest, std::fabs(e->pos.x));
    }
    EXPECT_EQ(e->ai.state, AI_STATE_IDLE) << open;
    EXPECT_EQ(e->ai.path, nullptr) << open;
    if (open) {
      EXPECT_LT(flat_distance(e->pos, goal), 0.6f);
    } else {
      EXPECT_LT(e->pos.x, -4.0f + 2.0f);  // it set off
      EXPECT_GT(e->pos.x, -5.5f);
      // Stopped by the test ahead of time, not pressed against the door.
      EXPECT_GT(nearest, 1.0f);
    }
    e->state |= ES_DEAD;
    e->pos = vector(15, 0, -15);
  }
  // A walk that ends short of the shut door is not a walk through it: the
  // walker gets to its point.
  door_open = false;
  living_entity* e = walker({-6, 0, 0});
  const vector before(-2, 0, 0);
  ASSERT_GE(ai_queue_walk_to(&e->ai, before, 0, false, 1000), 0);
  for (int i = 0; i < 30 * 15 && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) frame();
  EXPECT_EQ(e->ai.state, AI_STATE_IDLE);
  EXPECT_LT(flat_distance(e->pos, before), 0.6f) << e->pos.x << " " << e->pos.z;
}

// A path with a needless bend: once a second has passed, the walker that
// sees the node after the bend drops the bend and heads straight on; with a
// wall in the straight way it drops the bend only once the wall no longer
// hides the goal.
TEST_F(PathFollow, ANodeIsDroppedWhenTheOneAfterItCanBeSeen) {
  const vector bend(4, 0, 4), goal(0, 0, 8);
  ai_set_planner([](const vector& start, int, const vector& to, int, float, bool) {
    auto* p = new ai_path;
    p->count = 3;
    p->points[0] = start;
    p->points[1] = vector(4, 0, 4);
    p->points[2] = to;
    return p;
  });
  for (bool wall : {false, true}) {
    path_graph_free();
    const PfgLevel level = field(wall ? std::vector<std::vector<PfgPt>>{box(-1.5f, 2.0f, 1.5f, 3.0f)}
                                      : std::vector<std::vector<PfgPt>>{});
    kit.use_graph(level);
    living_entity* e = walker({0, 0, 0});
    const float r = e->get_radius();
    ASSERT_GE(ai_queue_walk_to(&e->ai, goal, 0, false, 1000), 0);
    float dropped_at = -1.0f;
    vector drop_pos;
    float nearest_bend = 1e9f;
    for (int i = 0; i < 30 * 20 && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) {
      frame();
      nearest_bend = std::fmin(nearest_bend, flat_distance(e->pos, bend));
      const ai_path* p = e->ai.path;
      if (dropped_at < 0 && p && p->count > 0 && flat_distance(p->points[0], goal) < 0.01f &&
          flat_distance(e->pos, bend) > 0.5f) {
        dropped_at = i / 30.0f;
        drop_pos = e->pos;
      }
    }
    EXPECT_LT(flat_distance(e->pos, goal), 0.6f) << wall;
    ASSERT_GE(dropped_at, 0.0f) << wall;
    EXPECT_GT(nearest_bend, 1.0f) << wall;
    // Never before the first second; then only with the goal in sight.
    EXPECT_GE(dropped_at, 0.95f) << wall;
    EXPECT_FALSE(pfg_segment_hits_obstacle(level, r - 0.01f, {drop_pos.x, drop_pos.z}, {goal.x, goal.z})) << wall;
    if (!wall) EXPECT_LT(dropped_at, 1.1f);
    else EXPECT_GT(dropped_at, 1.1f);
    e->state |= ES_DEAD;
    e->pos = vector(15, 0, -15);
  }
}

// The wobble drifts the aim two units ahead by at most 0.025 to the side;
// the look-ahead pulls the aim back to the nearest point of the path only
// when the point the walker is about to reach strays beyond the tolerance.
TEST_F(PathFollow, TheWobbleStaysBoundedAndTheLookAheadPullsBackToThePath) {
  living_entity* e = walker({0, 0, 0});
  e->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  float widest = 0.0f;
  for (int i = 0; i < 500; i++) {
    ai_wobble(&e->ai, 0.5f);
    EXPECT_LE(std::fabs(e->ai.wobble), 0.025f + 1e-6f);
    widest = std::fmax(widest, std::fabs(e->ai.wobble));
    EXPECT_NEAR(e->ai.travel_target.z, 2.0f, 1e-5f);
    EXPECT_NEAR(e->ai.travel_target.x, e->ai.wobble, 1e-5f);
  }
  EXPECT_GT(widest, 0.01f);
  // A path along x = 1 (nodes at z 5 and 10); the walker at full speed looks
  // two units ahead to (0, 2): one unit off the path.
  e->ai.path = new ai_path;
  e->ai.path->count = 2;
  e->ai.path->points[0] = vector(1, 0, 5);
  e->ai.path->points[1] = vector(1, 0, 10);
  for (float tolerance : {0.5f, 1.5f}) {
    e->ai.travel_target = vector(7, 0, 7);
    ai_wobble_look_ahead(&e->ai, vector(0, 0, 1), tolerance, 1.5f, 1.5f);
    if (tolerance < 1.0f) {
      EXPECT_NEAR(e->ai.travel_target.x, 1.0f, 1e-5f);
      EXPECT_NEAR(e->ai.travel_target.z, 2.0f, 1e-5f);
    } else {
      EXPECT_EQ(e->ai.travel_target.x, 7.0f);
    }
  }
  ai_path_free(e->ai.path);
  e->ai.path = nullptr;
}

// A wandering walker strays up to 1.2 off its path while much of the way is
// left, but keeps to its path near avoidance areas and script barriers,
// which its path may run close beside: over many random draws it never sets
// foot in one, and still arrives. With nothing near it does wander.
TEST_F(PathFollow, AWanderingWalkerNeverEntersAnAvoidanceArea) {
  struct Case {
    const char* what;
    int kind;        // the area's type bits, or -1 for a script barrier
    vector centre;   // a rectangle's centre and half sizes; a barrier runs
    float hx, hz;    // along x = centre.x for |z| < hz
  };
  const Case cases[] = {
      {"nothing near", 0, {}, 0, 0},
      {"a prohibit rectangle across the way", AA_TYPE_PROHIBIT | AA_TYPE_RECT, {0, 0, 0}, 2.5f, 0.5f},
      {"a prohibit strip beside the way", AA_TYPE_PROHIBIT | AA_TYPE_RECT, {1.0f, 0, 0}, 0.4f, 6.0f},
      {"a prohibit rectangle grazing the way", AA_TYPE_PROHIBIT | AA_TYPE_RECT, {2.6f, 0, 6}, 2.5f, 0.5f},
      {"an avoid strip beside the way", AA_TYPE_RECT, {-1.0f, 0, 0}, 0.4f, 6.0f},
      {"a script barrier beside the way", -1, {0.6f, 0, 0}, 0.0f, 6.0f},
  };
  kit.use_graph(field({}));
  path_planner_install();
  Ai_wobble_on = true;
  const vector start(0, 0, -10), goal(0, 0, 10);
  for (const Case& c : cases) {
    aa_reset();
    int area = -1;
    if (c.kind > 0) {
      area = aa_add(AvoidShape{c.kind, 1, &c.centre, 2.0f * c.hx, 2.0f * c.hz, 1.0f, -1});
      ASSERT_GE(area, 0) << c.what;
    } else if (c.kind < 0) {
      const vector line[2] = {{c.centre.x, 0, -c.hz}, {c.centre.x, 0, c.hz}};
      ASSERT_GE(aa_create_avoid_poly(AvoidShapeList{2, line, -1}), 0) << c.what;
    }
    float widest = 0.0f;
    for (int seed = 1; seed <= 12; seed++) {
      kit.seed(seed);
      living_entity* e = walker(start);
      ASSERT_GE(ai_queue_walk_to(&e->ai, goal, 0, false, 1000), 0);
      bool entered = false;
      for (int i = 0; i < 30 * 30 && (i == 0 || e->ai.state != AI_STATE_IDLE); i++) {
        const vector was = e->pos;
        frame();
        widest = std::fmax(widest, std::fabs(e->pos.x));
        if (c.kind > 0)
          entered |= std::fabs(e->pos.x - c.centre.x) < c.hx && std::fabs(e->pos.z - c.centre.z) < c.hz;
        else if (c.kind < 0)
          entered |= (was.x - c.centre.x) * (e->pos.x - c.centre.x) <= 0.0f && std::fabs(e->pos.z) < c.hz;
      }
      EXPECT_FALSE(entered) << c.what << ", seed " << seed;
      EXPECT_LT(flat_distance(e->pos, goal), 0.6f) << c.what << ", seed " << seed;
      e->state |= ES_DEAD;
      e->pos = vector(15, 0, -15);
    }
    if (c.kind == 0) EXPECT_GT(widest, 0.5f) << "the wobble is live";
  }
}

// Going round another entity: the side-step value is minus the sideways part
// of the push away from the other's predicted place (as deep as they would
// overlap within twice their radii) times the turn rate, over 0.8 x their
// radii; when the ground beside the other on the walker's own side is wall
// and the far side is open, it turns the other way and half as hard again.
TEST_F(PathFollow, SteeringRoundAnotherLooksForGroundBesideIt) {
  living_entity* e = walker({0, 0, 0});
  living_entity* x = walker({0, 0, 0});
  const float r = e->get_radius();
  ASSERT_EQ(x->get_radius(), r);
  const float rate = e->character->moving_turn_rate;
  ASSERT_GT(rate, 0.0f);
  // The other will stand half a radius to the walker's right, 1.5 radii
  // ahead; the points beside it lie 1.6 radii either side. A wall whose
  // grown face passes between the walker and the near point, another
  // between the other and the far point.
  const vector meet(0.5f * r, 0, 1.5f * r);
  const std::vector<PfgPt> near_wall = box(-5, -2, -1.5f * r, 4), far_wall = box(2.5f * r, -2, 5, 4);
  struct Case {
    const char* what;
    std::vector<std::vector<PfgPt>> walls;
    float t;  // the closest approach, with the other walking in from the right
    float factor;
  };
  const Case cases[] = {
      {"open ground", {}, 0.0f, 1.0f},
      {"a wall on the walker's side", {near_wall}, 0.0f, -1.5f},
      {"a wall on the far side", {far_wall}, 0.0f, 1.0f},
      {"walls on both sides", {near_wall, far_wall}, 0.0f, 1.0f},
      {"the other still coming, a wall on the walker's side", {near_wall}, 0.5f, -1.5f},
  };
  for (const Case& c : cases) {
    path_graph_free();
    kit.use_graph(field(c.walls));
    e->pos = vector(0, 0, 0);
    e->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));  // facing +z, its side +x
    x->velocity = vector(c.t > 0 ? -4.0f : 0.0f, 0, 0);
    x->pos = meet - x->velocity * c.t;
    e->ai.path_flags = 0;
    e->ai.avoided = -1;
    ai_steer_round(&e->ai, x, c.t);
    const float d = std::hypot(meet.x, meet.z);
    const float push_x = meet.x / d * std::fmax(0.0f, 4.0f * r - d);
    EXPECT_NEAR(e->ai.side_step, -push_x * rate / (1.6f * r) * c.factor, 1e-4f) << c.what;
    EXPECT_EQ(e->ai.avoided, x->handle) << c.what;
    EXPECT_EQ(e->ai.moving, 2) << c.what;
    // Away from the other's side, one unit.
    EXPECT_NEAR(e->ai.travel_target.x, -1.0f, 1e-5f) << c.what;
    EXPECT_NEAR(e->ai.travel_target.z, 0.0f, 1e-5f) << c.what;
    // It stands only when the other is already within 0.5 and about straight
    // ahead (within 60 degrees).
    const vector to(x->pos.x, 0, x->pos.z);
    const bool close = to.length() < 0.5f && to.z / to.length() > 0.5f;
    EXPECT_EQ((e->ai.path_flags & PF_STAND) != 0, close) << c.what;
  }
  // No graph: no ground to look for, the plain value.
  path_graph_free();
  x->velocity = vector(0, 0, 0);
  x->pos = meet;
  ai_steer_round(&e->ai, x, 0.0f);
  const float d = std::hypot(meet.x, meet.z);
  EXPECT_NEAR(e->ai.side_step, -(meet.x / d) * (4.0f * r - d) * rate / (1.6f * r), 1e-4f);
}

// The probe ahead of a moving walker: a wall edge within min(speed / max
// speed x 2.5 + 0.1, 2.0) and nearer than the distance left turns it to its
// node, standing it when nearer than 1.0; the side comes from where the node
// lies and the size falls as 1 / (1 + d^2)^2 with the distance d.
TEST_F(PathFollow, TheProbeAheadTurnsAWalkerBackFromAWallEdge) {
  kit.use_graph(field({box(-8, 2, 8, 3)}));
  struct Case {
    float gap;       // from the walker to the grown wall
    float speed;     // its speed, of a maximum of 1.5
    float node_x;    // its node along the wall, left (-x) or right
    float left;      // the distance left
    bool hit, stand;
  };
  const Case cases[] = {
      {0.5f, 1.5f, -4.0f, 10.0f, true, true},
      {0.5f, 1.5f, 4.0f, 10.0f, true, true},
      {1.5f, 1.5f, -4.0f, 10.0f, true, false},
      {1.5f, 0.3f, -4.0f, 10.0f, false, false},  // the probe is 0.6 long
      {0.5f, 1.5f, -4.0f, 0.4f, false, false},   // the node comes first
      {0.5f, 0.005f, -4.0f, 10.0f, false, false},  // standing: no probe
  };
  living_entity* e = walker({0, 0, 0});
  const float face = 2.0f - e->get_radius();
  int left_sign = 0, right_sign = 0;
  for (const Case& c : cases) {
    e->pos = vector(0, 0, face - c.gap);
    e->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));  // facing +z, the wall
    e->ai.path_flags = 0;
    e->ai.side_step_timer = 0;
    e->ai.wobble = 0.02f;
    e->ai.travel_target = vector(0, 0, 100);
    const vector node(c.node_x, 0, e->pos.z);
    EXPECT_EQ(ai_side_step_check(&e->ai, node, c.left, c.speed, 1.5f), c.hit) << c.gap << " " << c.speed;
    EXPECT_EQ((e->ai.path_flags & PF_STAND) != 0, c.stand) << c.gap << " " << c.speed;
    EXPECT_EQ((e->ai.path_flags & PF_SIDE_STEP) != 0, c.hit);
    if (!c.hit) continue;
    EXPECT_EQ(e->ai.travel_target.x, node.x);
    EXPECT_EQ(e->ai.wobble, 0.0f);
    const float k = 1.0f / (1.0f + c.gap * c.gap);
    EXPECT_NEAR(std::fabs(e->ai.side_step), k * k, 1e-4f);
    (c.node_x < 0 ? left_sign : right_sign) = e->ai.side_step > 0 ? 1 : -1;
    // No steering round others for 500 ms.
    EXPECT_FALSE(timestamp_elapsed(e->ai.side_step_timer, timer_game_clock));
    kit.advance(0.51f);
    EXPECT_TRUE(timestamp_elapsed(e->ai.side_step_timer, timer_game_clock));
  }
  // A node on the other side steps the other way.
  EXPECT_NE(left_sign, 0);
  EXPECT_EQ(left_sign, -right_sign);
}

// The clockwise order of the nodes of a sector round a point, checked
// against the angle each node makes, measured the other way: atan2 from
// straight down -z turning toward -x. Nodes on one ray come nearest first
// and carry GN_SAME_BEARING after the first.
TEST_F(PathFollow, GraphNodesSortClockwiseRoundAPoint) {
  // Boxes on the diagonal put grown corners on one ray from the origin.
  kit.use_graph(field({box(1, 1, 2, 2), box(4, 4, 5, 5), box(-6, -3, -5, 2), box(2, -7, 6, -6)}));
  const int cls = 0;
  ASSERT_TRUE(path_sector_select(cls, 0));
  PathSector* s = path_sector_current();
  ASSERT_GT(s->node_count, 8);
  std::vector<PathPoint> eyes = {{0, 0}, {-2.5f, 0.5f}};
  eyes.push_back(*s->nodes[3].point);  // a node's own point
  for (const PathPoint& eye : eyes) {
    std::vector<GraphNode*> got(s->node_count);
    const int n = sort_points_clockwise(eye, got.data(), s->node_count);
    got.resize(n);
    struct Want {
      GraphNode* node;
      double angle, dist;
    };
    std::vector<Want> want;
    for (int i = 0; i < s->node_count; i++) {
      GraphNode* g = &s->nodes[i];
      const double dx = g->point->x - eye.x, dz = g->point->z - eye.z;
      if (dx == 0 && dz == 0) continue;
      double a = std::atan2(-dx, -dz);
      if (a < 0) a += 2 * M_PI;
      want.push_back({g, a, std::hypot(dx, dz)});
    }
    std::stable_sort(want.begin(), want.end(), [](const Want& a, const Want& b) {
      if (std::fabs(a.angle - b.angle) > 1e-6) return a.angle < b.angle;
      return a.dist < b.dist;
    });
    ASSERT_EQ(got.size(), want.size());
    int same = 0;
    for (size_t i = 0; i < want.size(); i++) {
      EXPECT_EQ(got[i], want[i].node) << i << " at " << eye.x << "," << eye.z;
      const bool on_ray = i > 0 && std::fabs(want[i].angle - want[i - 1].angle) <= 1e-6;
      EXPECT_EQ((got[i]->flags & GN_SAME_BEARING) != 0, on_ray) << i;
      same += on_ray;
    }
    if (eye.x == 0 && eye.z == 0) EXPECT_GE(same, 2);  // the diagonal corners
  }
}

}  // namespace

// The party through a doorway on the world kit: the demo's indoor level
// graph (two rooms, a wall between them with a doorway 2 wide), the four
// heroes set down at the level's start points, the leader walked up to
// the doorway and then through it into the far room. The doorway lets one
// hero pass at a time, so whoever stands in it must make way: every
// follower comes through and stands near its place behind the leader.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_think.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_planner.h"
#include "Engine/ai/party_controller.h"
#include "tests/support/world_kit.h"
#include "tools/writers/pfg_writer.h"

namespace {

living_entity* Controlled = nullptr;

class PartyDoorway : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_init_tables();
    ai_set_driver_hooks(AiDriverHooks{});
    ai_behaviour_install();
    AiDriverHooks h = ai_driver_hooks();
    h.controlled = [] { return static_cast<const living_entity*>(Controlled); };
    ai_set_driver_hooks(h);
    ai_think_reset();
    party_table_reset();
    Controlled = nullptr;
    Ai_paused = false;
  }
  void TearDown() override {
    ai_set_driver_hooks(AiDriverHooks{});
    ai_set_approach(nullptr);
    ai_set_planner(nullptr);
    path_set_door_open_hook(nullptr);
    party_table_reset();
    Controlled = nullptr;
  }
  void frame(float dt = 1.0f / 30.0f) {
    kit.advance(dt);
    ai_frame(dt);
  }
  static float flat_distance(const vector& a, const vector& b) { return std::hypot(a.x - b.x, a.z - b.z); }
};

// The far room's points the leader is sent to: straight on (a follower's
// place then lies in the doorway's mouth), off to one side, and further in.
class PartyThroughDoorway : public PartyDoorway, public ::testing::WithParamInterface<vector> {};

TEST_P(PartyThroughDoorway, EveryFollowerComesThrough) {
  const vector goal = GetParam();
  PfgLevel level;
  demo_graph_indoor(level);
  kit.use_graph(level);
  path_planner_install();
  path_set_door_open_hook([](int, float) { return true; });
  const char* names[] = {"Ruvizo", "Rivud", "Rivadara", "Zazuru"};
  // demo_indoor's start points.
  const vector starts[] = {{-8, 0, 0}, {-8, 0, 1.5f}, {-9.5f, 0, 0}, {-9.5f, 0, 1.5f}};
  living_entity* party[4];
  for (int i = 0; i < 4; i++) {
    party[i] = kit.spawn(kit.type(names[i]), starts[i], OBJ_PLAYER);
    party[i]->state |= 0x100;  // in the party
    ai_set_state(&party[i]->ai, AI_STATE_IDLE, 0);
  }
  Controlled = party[0];
  // Up to the doorway, then through it.
  ASSERT_GE(ai_queue_walk_to(&party[0]->ai, vector(-2, 0, 0), 0, false, 999999), 0);
  for (int i = 0; i < 30 * 8; i++) frame();
  ASSERT_GE(ai_queue_walk_to(&party[0]->ai, goal, 0, false, 999999), 0);
  for (int i = 0; i < 30 * 20; i++) frame();
  EXPECT_LT(flat_distance(party[0]->pos, goal), 0.6f);
  for (int i = 1; i < 4; i++) {
    // Through: past the wall between the rooms (x -0.25..0.25).
    EXPECT_GT(party[i]->pos.x, 0.25f) << "member " << i << " at " << party[i]->pos.x << " " << party[i]->pos.z;
    const vector place = ai_formation_point(party[0]->pos, party[0]->orient.forward, party[i]->ai.formation);
    EXPECT_LT(flat_distance(party[i]->pos, place), 1.5f) << "member " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(FarRoom, PartyThroughDoorway,
                         ::testing::Values(vector(5, 0, 0), vector(5, 0, -0.5f), vector(6, 0, -1), vector(8, 0, -2)));

}  // namespace

// The game's script host on the world test kit: the services the story's
// hooks call that reach past the scripting library (a script's order to a
// character, the boss layer's stages, clearing away the dead, a camera shot
// from a navpoint, the snow).
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_component.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/rendering/snow.h"
#include "Engine/s3d/level_objects.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/player/party.h"
#include "levelscripts/Scripts/script_host.h"
#include "levelscripts/Scripts/script_host_game.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"
#include "tools/writers/table_writers.h"

namespace {

class GameHost : public WorldTest {
 protected:
  void SetUp() override {
    navpoints_reset(false);
    script_runner_reset();
    boss_modules_reset();
    script_host_install_game();
    Selected_entity = nullptr;
  }
  void TearDown() override {
    Selected_entity = nullptr;
    boss_modules_reset();
    snow_disable();
    if (game_camera.flags & CAM_TRACK) game_camera.end_track(false);
    level_set_services(LevelServices{});
    script_host_install(nullptr);
  }
  int load(const char* name) {
    const int i = charinfo_lookup(name);
    return i >= 0 ? i : kit.add_type(table_demo_creature(name, true));
  }
  // A script character of the level's table, played by a new entity.
  living_entity* character(const char* name, const char* type, int object_type = OBJ_CREATURE,
                           const vector& at = {0, 0, 0}) {
    living_entity* e = kit.spawn(load(type), at, object_type);
    e->set_name(name);
    script_character_add(name, e->handle, 0);
    return e;
  }
  static void dead(living_entity* e, int dead_type) {
    e->hp = 0.0f;
    e->state |= ES_DEAD;
    e->type = dead_type;
    entity_list_unlink(e);
    entity_list_append(entity_dead_list(), e);
  }
  ScriptHost& host() { return script_host(); }
};

// Order 15 is the list's goto: the villager held at its wait goes on after
// its label 2 and walks to the gathering place.
TEST_F(GameHost, OrderFifteenGoesOnAfterTheLabelOfItsValue) {
  navpoint_add(false, "$gather", NAV_LEVEL, 0, vector(5, 0, 5), identity_matrix);
  living_entity* nath = character("Nath", "Rat");
  const int c = script_character_find("Nath");
  ScriptAction wait, label, walk;
  wait.verb = SV_WAIT_FOR_GO;
  label.verb = SV_LABEL;
  label.value = 2;
  walk.verb = SV_WALK_TO;
  walk.nav = navpoint_find("$gather");
  for (const ScriptAction& a : {wait, label, walk}) script_character_add_action(c, a);
  script_character_start(c);
  host().character_order("Nath", 15, 1);  // no label 1: it keeps waiting
  EXPECT_EQ(script_character_at(c)->current, 0);
  host().character_order("Nath", 15, 2);
  EXPECT_EQ(script_character_at(c)->current, 2);
  int walks = 0;
  for (const ai_action& a : nath->ai.queue)
    if (a.type == 12 && std::fabs(a.point.x - 5.0f) < 0.01f && std::fabs(a.point.z - 5.0f) < 0.01f) walks++;
  EXPECT_EQ(walks, 1);
}

int Armed = 0;
int Done[4] = {0, 0, 0, 0};
int Stepped = 0;

// A transforming boss is at the change its module has armed, and the
// script's word goes back to that module; a rider's stage is its horse's.
TEST_F(GameHost, BossStagesComeFromTheBossLayer) {
  living_entity* sal = character("Giant Salamanka", "Giant Salamanka", OBJ_BOSS);
  ASSERT_EQ(boss_type_id(sal), BOSS_GIANT_SALAMANKA);
  EXPECT_EQ(host().boss_stage("Giant Salamanka"), 0);  // no module: no change armed
  Armed = 0;
  std::fill(std::begin(Done), std::end(Done), 0);
  BossModule m;
  m.transition_armed = [] { return Armed; };
  m.transition_done = [](int n) { Done[n]++; };
  ASSERT_TRUE(boss_register_module(BOSS_GIANT_SALAMANKA, m));
  EXPECT_EQ(host().boss_stage("Giant Salamanka"), 0);
  Armed = 1;
  EXPECT_EQ(host().boss_stage("Giant Salamanka"), 1);
  host().boss_stage_done("Giant Salamanka", 1);
  Armed = 2;
  EXPECT_EQ(host().boss_stage("Giant Salamanka"), 2);
  host().boss_stage_done("Giant Salamanka", 2);
  EXPECT_EQ(Done[1], 1);
  EXPECT_EQ(Done[2], 1);
  EXPECT_EQ(host().boss_stage("Nobody"), 0);

  living_entity* tiger = character("Tiger Rider", "Tiger Rider", OBJ_BOSS, {8, 0, 0});
  tiger->link_flags |= 1;  // on its horse
  EXPECT_EQ(host().boss_stage("Tiger Rider"), 0);
  tiger->link_flags &= ~1u;
  tiger->mount_link = -1;
  EXPECT_EQ(host().boss_stage("Tiger Rider"), 1);
}

// The step reaches the standing bosses whose module has one, and no one
// else.
TEST_F(GameHost, TheTransformationStepReachesTheBossesThatHaveOne) {
  living_entity* ruvizo = character("Evil Ruvizo", "Evil Ruvizo", OBJ_BOSS);
  character("Machival", "Machival", OBJ_BOSS, {6, 0, 0});
  Stepped = 0;
  host().boss_transform();
  EXPECT_EQ(Stepped, 0);
  BossModule m;
  m.transform_step = [](living_entity* e) { Stepped += e->get_name()[0] == 'E' ? 1 : 100; };
  boss_register_module(BOSS_DARK_RUVIZO, m);
  host().boss_transform();
  EXPECT_EQ(Stepped, 1);
  dead(ruvizo, OBJ_DEAD_BOSS);
  host().boss_transform();
  EXPECT_EQ(Stepped, 1);
}

// The dead creatures are taken away; a fallen hero stays.
TEST_F(GameHost, ClearingTheDeadTakesAwayEveryBodyButTheHeroes) {
  living_entity* a = kit.spawn(kit.type("Rat"), {1, 0, 0});
  living_entity* b = kit.spawn(kit.type("Rat"), {2, 0, 0});
  living_entity* standing = kit.spawn(kit.type("Rat"), {3, 0, 0});
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  dead(a, OBJ_DEAD_CREATURE);
  dead(b, OBJ_DEAD_CREATURE);
  dead(hero, OBJ_DEAD_PLAYER);
  const int hero_handle = hero->handle, standing_handle = standing->handle;
  host().clear_dead();
  objects_delete_pending();
  int bodies = 0;
  for (living_entity* e = entity_first(entity_dead_list()); e; e = entity_next(entity_dead_list(), e))
    if (e->flags & OF_ACTIVE) bodies++;
  EXPECT_EQ(bodies, 1);
  ASSERT_NE(entity_from_handle(hero_handle), nullptr);
  EXPECT_TRUE(entity_from_handle(hero_handle)->flags & OF_ACTIVE);
  EXPECT_NE(entity_from_handle(standing_handle), nullptr);

  // One still falling goes once its death has played; another that falls
  // after the clearing stays.
  living_entity* falling = kit.spawn(kit.type("Rat"), {4, 0, 0});
  living_entity* later = kit.spawn(kit.type("Rat"), {6, 0, 0});
  const int falling_handle = falling->handle, later_handle = later->handle;
  falling->change_hp(-1000.0f, -1);
  host().clear_dead();
  later->change_hp(-1000.0f, -1);
  kit.run(6.0f);
  EXPECT_EQ(entity_from_handle(falling_handle), nullptr);
  ASSERT_NE(entity_from_handle(later_handle), nullptr);
  EXPECT_TRUE(entity_from_handle(later_handle)->state & ES_DEAD);
}

// A shot from a camera navpoint stands at the point looking at the leader,
// and the camera's own view comes back after it.
TEST_F(GameHost, ACameraShotStandsAtItsNavpointAndLooksAtTheLeader) {
  navpoint_add(false, "$camera007", NAV_CAMERA, -1, vector(0, 6, -10), identity_matrix);
  Selected_entity = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  host().camera_at("$nowhere");
  EXPECT_FALSE(game_camera.flags & CAM_TRACK);
  host().camera_at("$camera007");
  ASSERT_TRUE(game_camera.flags & CAM_TRACK);
  game_camera.update(0.05f);
  EXPECT_NEAR(game_camera.view_position.y, 6.0f, 0.01f);
  EXPECT_NEAR(game_camera.view_position.z, -10.0f, 0.01f);
  // Looking down the line to the leader's chest: forward and down.
  const vector& f = game_camera.view_orientation.forward;
  EXPECT_GT(f.z, 0.8f);
  EXPECT_LT(f.y, -0.3f);
  kit.run(4.0f);
  game_camera.update(0.05f);
  EXPECT_TRUE(game_camera.flags & CAM_TRACK);
  kit.run(1.5f);
  game_camera.update(0.05f);
  EXPECT_FALSE(game_camera.flags & CAM_TRACK);
}

TEST_F(GameHost, TheSnowSwitchStartsAndStopsTheSnow) {
  host().snow(true);
  EXPECT_TRUE(snow_active());
  host().snow(false);
  EXPECT_FALSE(snow_active());
}

}  // namespace

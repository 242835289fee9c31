// Moves, standard animations, texts, fades, placement and queries of living
// entities on the world kit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "Engine/Objects/entity_level.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/s3d/s3d.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tests/support/world_kit.h"
#include "tools/writers/demo_level_layouts.h"

namespace {

using EntityMoves = WorldTest;

const Move_info* attack(living_entity* e, int variation) { return e->find_move(MOVE_ATTACK, variation); }

TEST_F(EntityMoves, AMovePastItsNoInterruptTagCannotBeCut) {
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  Move_info* swing = const_cast<Move_info*>(attack(hero, 1));
  ASSERT_NE(swing, nullptr);
  swing->triggers[2] = MoveTrigger{TRIGGER_NO_INTERRUPT, 0.2f};
  const int first = hero->play_move(swing, 1.0f, false, false, 0);
  ASSERT_GE(first, 0);
  kit.advance(0.1f);
  const int second = hero->play_move(attack(hero, 2), 1.0f, false, false, 0);
  EXPECT_GE(second, 0) << "before the tag the move may be cut short";
  EXPECT_NE(second, first);
  EXPECT_FLOAT_EQ(hero->get_move_progress(first), 1.0f) << "an earlier playing never matches";
  EXPECT_FLOAT_EQ(hero->get_move_remaining(first), 0.0f);
  EXPECT_FLOAT_EQ(hero->get_move_remaining(second), 1.0f);

  const int third = hero->play_move(swing, 1.0f, false, false, 0);
  kit.advance(0.25f);
  EXPECT_EQ(hero->play_move(attack(hero, 2), 1.0f, false, false, 0), -1);
  EXPECT_GE(hero->play_move(attack(hero, 2), 1.0f, true, false, 0), 0) << "a layered move still plays";
  EXPECT_NE(third, second);
}

TEST_F(EntityMoves, TagPointsAreDueOnceAndMovesEnd) {
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  const Move_info* swing = attack(hero, 1);
  const int impact = swing->triggers[0].type == TRIGGER_IMPACT_START ? 0 : 1;
  const float at = swing->triggers[impact].time;
  const int id = hero->play_move(swing, 1.0f, false, false, 0);
  EXPECT_EQ(hero->move_tag_state(TRIGGER_IMPACT_START), 0);
  EXPECT_NEAR(hero->time_to_tag(TRIGGER_IMPACT_START), at, 1e-4f);
  EXPECT_EQ(hero->move_tag_state(TRIGGER_NO_INTERRUPT), -1);
  kit.advance(at + 0.01f);
  EXPECT_EQ(hero->move_tag_state(TRIGGER_IMPACT_START), 1);
  EXPECT_EQ(hero->move_tag_state(TRIGGER_IMPACT_START), 0) << "handled once";
  float left = 0.0f;
  EXPECT_TRUE(hero->get_move_time_left(id, &left));
  kit.advance(1.0f);  // kit animations last 1 s
  EXPECT_TRUE(hero->move_finished(id));
  EXPECT_EQ(hero->get_current_move(), nullptr);
  EXPECT_EQ(hero->current_move_id, -1);
}

TEST_F(EntityMoves, StandardAnimationsFallBack) {
  CharacterRecord r = table_demo_creature("Mummy", true);
  // The creature's table has "walk"; give it "ready" and "run" only.
  for (const char* a : {"ready", "run"}) {
    MoveRecord m;
    m.list = "movement";
    m.animation = std::string(a) + ".mvf";
    m.action = a;
    r.moves.push_back(m);
  }
  const int t = kit.add_type(r);
  living_entity* e = kit.spawn(t, {0, 0, 0});
  EXPECT_GE(e->anim[SA_READY], 0);
  EXPECT_EQ(e->anim[SA_STAND], e->anim[SA_READY]);
  EXPECT_EQ(e->anim[SA_STAND_HURT], e->anim[SA_READY]);
  EXPECT_GE(e->anim[SA_WALK], 0);
  EXPECT_EQ(e->anim[SA_NORM_WALK], e->anim[SA_WALK]);
  EXPECT_EQ(e->anim[SA_NORM_RUN], e->anim[SA_RUN]);
  EXPECT_EQ(e->anim[SA_WALK_HURT], e->anim[SA_WALK]);
  EXPECT_EQ(e->anim[SA_RUN_HURT], e->anim[SA_RUN]);
  EXPECT_EQ(e->anim[SA_NORM_RUN_HURT], e->anim[SA_RUN]);
  // Stand and ready being one animation make the entity combat ready.
  EXPECT_TRUE(e->state & ES_COMBAT_READY);
  EXPECT_EQ(e->anim[SA_STATSCREEN], -1);
}

TEST_F(EntityMoves, FloatingTextKeepsTenCharacters) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->show_floating_text("+Paralyze", 2.0f, 1, 2, 3);
  EXPECT_STREQ(e->float_text, "+Paralyze");
  e->show_floating_text("A much longer text", 2.0f, 1, 2, 3);
  EXPECT_STREQ(e->float_text, "A much lon");
  EXPECT_FLOAT_EQ(e->float_time, 2.0f);
  kit.run(1.0f);
  EXPECT_NEAR(e->float_time, 1.0f, 0.01f);
}

TEST_F(EntityMoves, SpeechTextsTakeSlotsAndExpire) {
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* b = kit.spawn(kit.type("Rat"), {3, 0, 0});
  a->show_speech_text("Hello there", 2.0f);
  a->show_speech_text("Again", 3.0f);
  b->show_speech_text("Me too", 1.0f);
  int used = 0;
  for (const SpeechText& s : Speech_texts) used += s.entity != -1;
  EXPECT_EQ(used, 2) << "an entity's text reuses its slot";
  EXPECT_STREQ(Speech_texts[0].text, "\"Again\"");
  // A long text is broken into lines and cut at the last whole line.
  std::string words;
  for (int i = 0; i < 80; i++) words += "word ";
  a->show_speech_text(words.c_str(), 3.0f);
  const std::string shown = Speech_texts[0].text;
  EXPECT_LT(shown.size(), 256u);
  EXPECT_LE(std::count(shown.begin(), shown.end(), '\n'), 4);
  kit.run(1.1f);
  EXPECT_EQ(Speech_texts[1].entity, -1);
  EXPECT_EQ(Speech_texts[0].entity, a->handle);
}

TEST_F(EntityMoves, FadeHidesTheMiddleOfAMove) {
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  const int id = hero->play_move(attack(hero, 3), 1.0f, false, false, 0);
  ASSERT_TRUE(entity_add_fade(hero, id, 0.25f));
  struct Case {
    float at;
    int alpha;
  } cases[] = {{0.1f, static_cast<int>((0.25f - 0.1f) * 255 / 0.25f)}, {0.3f, 0}, {0.7f, 0},
               {0.9f, static_cast<int>((0.9f - 0.75f) * 255 / 0.25f)}};
  float t = 0.0f;
  for (const Case& c : cases) {
    kit.advance(c.at - t);
    t = c.at;
    EXPECT_NEAR(hero->get_fade_alpha(), c.alpha, 1) << c.at;
  }
  kit.advance(0.2f);
  EXPECT_EQ(hero->get_fade_alpha(), 255);
  EXPECT_EQ(Fade_records[0].entity, -1) << "the record is freed once the move ends";
}

TEST_F(EntityMoves, StandingEntitiesInTownsAnimateOneFrameInFive) {
  kit.town = true;
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  int full = 0;
  for (int i = 0; i < 10; i++) {
    e->update_animation(1.0f / 30.0f);
    full += !(e->state & ES_THROTTLED);
  }
  EXPECT_EQ(full, 2);
  kit.town = false;
  full = 0;
  for (int i = 0; i < 5; i++) {
    e->update_animation(1.0f / 30.0f);
    full += !(e->state & ES_THROTTLED);
  }
  EXPECT_EQ(full, 5);
}

TEST_F(EntityMoves, SettlingFindsTheFloorAndTheRamp) {
  const int ramp = kit.add_ramp(4, -2, 8, 2, 0.0f, 2.0f);
  living_entity* e = kit.spawn(kit.type("Rat"), {6, 4, 0});
  EXPECT_NEAR(e->pos.y, 1.0f, 1e-5f);  // halfway up
  EXPECT_EQ(e->floor_mesh, ramp);
  EXPECT_GT(e->floor_normal.y, 0.8f);
  EXPECT_LT(e->floor_normal.x, 0.0f);
  // Off the ramp the ground takes over; far above, nothing is reached.
  e->pos = vector(0, 0.5f, 0);
  e->settle_on_floor();
  EXPECT_FLOAT_EQ(e->pos.y, 0.0f);
  EXPECT_EQ(e->floor_mesh, 0);
  e->state &= ~ES_ON_FLOOR;
  e->pos = vector(0, 40.0f, 0);
  e->settle_on_floor();
  EXPECT_FLOAT_EQ(e->pos.y, 40.0f);
  EXPECT_EQ(e->floor_poly, 65535);
}

TEST_F(EntityMoves, PartyStartsPlaceAndSettle) {
  kit.set_party_start(2, {5, 3, 5}, 1.5707964f, 0);
  living_entity* hero = kit.spawn(kit.type("Rivud"), {0, 0, 0}, OBJ_PLAYER);
  EXPECT_FALSE(hero->place_at_party_start(1));
  ASSERT_TRUE(hero->place_at_party_start(2));
  EXPECT_FLOAT_EQ(hero->pos.x, 5.0f);
  EXPECT_FLOAT_EQ(hero->pos.y, 0.0f);
  EXPECT_NEAR(hero->orient.forward.x, 1.0f, 1e-5f);
  EXPECT_FLOAT_EQ(hero->last_pos.z, 5.0f);
}

// A saved member comes back placed without a layer; the view draws the
// level of the leader's layer, so the place must take the floor's.
TEST_F(EntityMoves, APlaceWithoutALayerTakesTheLayerOfItsFloor) {
  kit.add_ramp(4, -2, 8, 2, 0.0f, 2.0f);  // mesh 1, in layer 3 below
  EntityWorldHooks w = entity_world();
  w.mesh_layer = [](int mesh) { return mesh == 1 ? 3 : mesh == 0 ? 0 : -1; };
  entity_set_world_hooks(w);
  living_entity* hero = kit.spawn(kit.type("Rivud"), {0, 0, 0}, OBJ_PLAYER);
  struct Case {
    vector at;
    int given, layer;
  } cases[] = {
      {{6, 0, 0}, -1, 3},   // on the ramp's mesh
      {{0, 0, 0}, -1, 0},   // on the ground
      {{6, 0, 0}, 2, 2},    // a layer given is kept
      {{0, 40, 0}, -1, -1}, // no floor beneath: no layer to take
  };
  for (const Case& c : cases) {
    hero->state &= ~ES_ON_FLOOR;
    hero->floor_mesh = hero->floor_poly = 65535;
    hero->place_at_point(c.at, 0.0f, c.given);
    EXPECT_EQ(hero->layer, c.layer) << c.at.x << " " << c.at.y << " given " << c.given;
  }
}

TEST_F(EntityMoves, SightDistanceAndCollision) {
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0});
  living_entity* b = kit.spawn(kit.type("Rat"), {10, 0, 0});
  EXPECT_TRUE(a->can_see(b));
  kit.add_obstacle(5, 0, 1);
  EXPECT_FALSE(a->can_see(b));
  EXPECT_TRUE(a->can_see_point({0, 1, 10}));
  // Edge distance: centre distance less both radii (medium: 0.47).
  EXPECT_NEAR(a->distance_to(b, true, -1), 10.0f - 2 * 0.47f, 1e-4f);
  EXPECT_NEAR(a->distance_to(b, true, 2), 10.0f, 1e-4f);  // to a bone: plain
  // Same team: radii shrink to 0.75; a moving entity bumping the other is
  // pushed out to the edge.
  a->set_move_mode(1.5f);
  vector out;
  EXPECT_FALSE(a->collide_with_entities({9.0f, 0, 0}, &out, false));
  EXPECT_TRUE(a->collide_with_entities({9.5f, 0, 0}, &out, false));
  EXPECT_TRUE(a->collide_with_entities({9.5f, 0, 0}, &out, true));
  EXPECT_NEAR(out.x, 10.0f - 0.94f * 0.75f, 1e-4f);
  a->set_team(0);
  b->set_team(2);
  EXPECT_TRUE(a->collide_with_entities({9.1f, 0, 0}, &out, false));
  a->state |= ES_HELD;
  EXPECT_FALSE(a->collide_with_entities({9.5f, 0, 0}, &out, false));
}

}  // namespace

namespace {

// The demo's outdoor level, written by the level builder and loaded as the
// game loads it: the entity settles on the real collision meshes.
class DemoLevelFloor : public WorldTest {
 protected:
  void SetUp() override {
    dir_ = fresh_temp_dir("entity_floor");
    vfile_set_root(dir_.c_str(), false);
    type_ = vfile_add_path_type("", ".s3d .tga");
    LevelBuilder b;
    demo_level_outdoor(b);
    ASSERT_TRUE(b.write(DEMO_LEVEL_OUTDOOR, type_));
    ASSERT_EQ(s3d_load(DEMO_LEVEL_OUTDOOR, &Level), 0);
    entity_use_loaded_level();
  }
  void TearDown() override {
    living_entities_reset();
    s3d_unload(&Level);
    vfile_remove_path_type(type_);
  }
  std::string dir_;
  int type_ = -1;
};

TEST_F(DemoLevelFloor, EntitiesSettleOnTheGroundAndTheLookoutRamp) {
  // The lookout ramp rises along z from 0 at z = -2 to 3 at z = 6, over
  // x 7..11.
  struct Case {
    float x, z, height;
  } cases[] = {{0.0f, 0.0f, 0.0f}, {9.0f, -2.0f + 8.0f * 0.25f, 0.75f}, {9.0f, 2.0f, 1.5f}, {8.0f, 5.0f, 2.625f}};
  for (const Case& c : cases) {
    living_entity* e = kit.spawn(kit.type("Rat"), {c.x, c.height + 1.5f, c.z});
    EXPECT_NEAR(e->pos.y, c.height, 0.02f) << c.x << " " << c.z;
    EXPECT_NE(e->floor_poly, 65535) << c.x << " " << c.z;
    EXPECT_GT(e->floor_normal.y, 0.5f);
    // Walking on: the next settle starts from the floor it stands on.
    e->pos.z += 0.5f;
    e->settle_on_floor();
    const float expected = c.x == 0.0f ? 0.0f : std::fmin(3.0f, c.height + 0.5f * 3.0f / 8.0f);
    EXPECT_NEAR(e->pos.y, expected, 0.02f) << c.x << " " << c.z;
    e->deinit();
  }
  // The party starts of the level: 2 above the ground, settled onto it.
  living_entity* hero = kit.spawn(kit.type("Rivud"), {0, 0, 0}, OBJ_PLAYER);
  ASSERT_TRUE(hero->place_at_party_start(3));
  EXPECT_NEAR(hero->pos.x, 1.5f, 1e-4f);
  EXPECT_NEAR(hero->pos.z, 1.5f, 1e-4f);
  EXPECT_NEAR(hero->pos.y, 0.0f, 1e-3f);
}

}  // namespace

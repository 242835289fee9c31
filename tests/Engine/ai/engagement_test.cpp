// Engagement on the world kit's flat level: which slot an attacker goes
// for and at what radius, the detour round the target, the sight-range
// drop-out, the caster who fights hand to hand until others crowd in, and
// the guards who join in. Distances come from the radii and reaches of the
// demo creatures, worked out here.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_states.h"
#include "Engine/ai/engagement.h"
#include "Engine/characterinfo/characterinfo.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"
#include "tools/writers/table_writers.h"

namespace {

constexpr float kMedium = 0.47f;  // radius of a medium creature
constexpr float kReach = 1.5f;    // the demo creatures' attack radius

vector slot_dir(int i) {
  const float a = static_cast<float>(i) * 2.0f * 3.14159265f / 5.0f;
  return vector(std::cos(a), 0.0f, std::sin(a));
}

vector path_end(const ai_component& ai) {
  vector v;
  EXPECT_TRUE(ai_get_path_end(&ai, &v));
  return v;
}

void expect_near(const vector& a, const vector& b) {
  EXPECT_NEAR(a.x, b.x, 1e-3f);
  EXPECT_NEAR(a.z, b.z, 1e-3f);
}

// Tag positions at the kit skeleton's snout and left foot.
void give_two_tag_positions(int type) {
  Character_infos[type].attack_tag_count = 2;
  Character_infos[type].attack_tag_bones[0] = 3;
  Character_infos[type].attack_tag_bones[1] = 0;
}

TEST(Engagement, DetourSlotsLieBetweenSlotsTwoApart) {
  struct Case {
    int a, b, via;
  } cases[] = {{0, 2, 1}, {2, 0, 1}, {1, 3, 2}, {2, 4, 3}, {3, 0, 4}, {0, 3, 4}, {4, 1, 0}, {1, 4, 0},
               {0, 1, -1}, {4, 0, -1}, {2, 2, -1}, {3, 2, -1}};
  for (const Case& c : cases) EXPECT_EQ(ai_detour_slot(c.a, c.b), c.via) << c.a << "," << c.b;
}

TEST(Engagement, FacingSlotPointsTowardTheAttacker) {
  for (int i = 0; i < AI_ATTACK_SLOTS; i++) {
    const vector from = slot_dir(i) * 6.0f + vector(3, 0, -2);
    EXPECT_EQ(ai_facing_slot(vector(3, 0, -2), from), i);
  }
}

TEST(Engagement, ApproachTakesTheNearestSlotAtTheSlotRadius) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {10, 0, 0.5f});
  monster->ai.target = hero->handle;
  EXPECT_TRUE(ai_engage(&monster->ai, hero->handle));
  EXPECT_TRUE(ai_is_in_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_APPROACH_SLOT));
  const float R = kMedium + kMedium + kReach - 0.2f;
  EXPECT_FLOAT_EQ(ai_slot_radius(monster, hero, kReach), R);
  expect_near(path_end(monster->ai), slot_dir(0) * R);
  EXPECT_EQ(monster->ai.position_slot, 0);
  EXPECT_EQ(hero->ai.attack_slots[0].attacker, monster->handle);
  // The claim lasts 0.3 s a unit of the way, at most 2.5 s.
  const float way = std::hypot(10.0f - R, 0.5f);
  EXPECT_NEAR(hero->ai.attack_slots[0].time - timer_game_clock, std::min(0.3f * way, 2.5f) * 1000.0f, 1.0f);
  EXPECT_EQ(monster->ai.path->count, 2);  // start and slot: no detour on the near side
}

TEST(Engagement, AFarSlotIsReachedRoundTheSlotBetween) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* others[3];
  for (int i = 0; i < 3; i++) others[i] = kit.spawn(rat, {-20, 0, 5.0f * i});
  // The attacker stands off slot 0; slots 0, 1 and 4 are held.
  const int held[3] = {0, 1, 4};
  for (int i = 0; i < 3; i++) hero->ai.attack_slots[held[i]] = {others[i]->handle, timer_game_clock + 60000};
  living_entity* monster = kit.spawn(rat, {8, 0, 1.0f});
  EXPECT_TRUE(ai_engage(&monster->ai, hero->handle));
  const float R = kMedium + kMedium + kReach - 0.2f;
  // Slot 2 (nearer to z > 0) is two steps from slot 0: the path goes by slot 1.
  ASSERT_NE(monster->ai.path, nullptr);
  ASSERT_EQ(monster->ai.path->count, 3);
  expect_near(monster->ai.path->points[1], slot_dir(1) * R);
  expect_near(path_end(monster->ai), slot_dir(2) * R);
  EXPECT_EQ(monster->ai.position_slot, 2);
}

TEST(Engagement, WithEverySlotHeldTheAttackerMakesForTheTarget) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {2, 0, 3}, OBJ_PLAYER);
  for (int i = 0; i < AI_ATTACK_SLOTS; i++) {
    living_entity* o = kit.spawn(rat, {-20, 0, 4.0f * i});
    hero->ai.attack_slots[i] = {o->handle, timer_game_clock + 60000};
  }
  living_entity* monster = kit.spawn(rat, {12, 0, 3});
  EXPECT_TRUE(ai_engage(&monster->ai, hero->handle));
  EXPECT_TRUE(ai_is_in_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_APPROACH_SLOT));
  expect_near(path_end(monster->ai), hero->pos);
  EXPECT_EQ(monster->ai.position_slot, -1);
}

TEST(Engagement, TagPositionsAreTakenNearestFirstAndHeld) {
  WorldKit kit;
  const int rat = kit.type("Rat"), grub = kit.type("Golem");
  // The target's type has two tag positions: its snout (1.2 ahead, 0.5 up)
  // and its left foot (0.1 to its left).
  give_two_tag_positions(grub);
  living_entity* target = kit.spawn(grub, {0, 0, 0});
  target->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  expect_near(ai_tag_position_point(target, 0), vector(0, 0, 1.2f));
  EXPECT_NEAR(ai_tag_position_point(target, 0).y, 0.5f, 1e-4f);
  expect_near(ai_tag_position_point(target, 1), vector(-0.1f, 0, 0));
  living_entity* a = kit.spawn(rat, {0, 0, 10}, OBJ_PLAYER);
  living_entity* b = kit.spawn(rat, {0, 0, 12}, OBJ_PLAYER);
  living_entity* c = kit.spawn(rat, {0, 0, 14}, OBJ_PLAYER);
  EXPECT_TRUE(ai_engage(&a->ai, target->handle));
  EXPECT_EQ(a->ai.position_slot, 0);
  EXPECT_EQ(target->attack_tag_holders[0], a->handle);
  expect_near(path_end(a->ai), vector(0, 0, 1.2f));
  // The snout is held: the next attacker takes the foot, though farther.
  EXPECT_TRUE(ai_engage(&b->ai, target->handle));
  EXPECT_EQ(b->ai.position_slot, 1);
  EXPECT_EQ(target->attack_tag_holders[1], b->handle);
  expect_near(path_end(b->ai), vector(-0.1f, 0, 0));
  // None free: the third makes for the target and holds nothing.
  EXPECT_TRUE(ai_engage(&c->ai, target->handle));
  EXPECT_EQ(c->ai.position_slot, -1);
  expect_near(path_end(c->ai), target->pos);
  // A holder that re-engages keeps its own position.
  EXPECT_TRUE(ai_approach_slot(&a->ai, target));
  EXPECT_EQ(a->ai.position_slot, 0);
  EXPECT_EQ(target->attack_tag_holders[0], a->handle);
  // Distances are measured from the held tag: a is 10 - 1.2 from the snout.
  EXPECT_NEAR(ai_target_distance(&a->ai, target), 8.8f, 1e-3f);
  Character_infos[grub].attack_tag_count = 0;
}

TEST(Engagement, NoPathMeansNoApproach) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {10, 0, 0});
  ai_set_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  ai_set_planner([](const vector&, int, const vector&, int, float, bool) -> ai_path* { return nullptr; });
  EXPECT_FALSE(ai_engage(&monster->ai, hero->handle));
  ai_set_planner(nullptr);
  EXPECT_EQ(monster->ai.sub_state, AI_SUB_MELEE);
  EXPECT_EQ(hero->ai.attack_slots[0].attacker, -1);  // nothing claimed for a way it cannot go
}

TEST(Engagement, BeyondSightCreaturesGiveUpButHeroesNever) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* target = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {20, 0, 0});
  living_entity* hero = kit.spawn(rat, {-20, 0, 0}, OBJ_PLAYER);
  monster->character->fov_range = 10.0f;  // the type is shared by all three
  ai_queue_attack(&monster->ai, target->handle, 100);
  ai_set_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  EXPECT_TRUE(ai_engage(&monster->ai, target->handle));
  EXPECT_EQ(monster->ai.state, AI_STATE_IDLE);
  EXPECT_FALSE(ai_has_queued(&monster->ai, 1));
  EXPECT_TRUE(ai_engage(&hero->ai, target->handle));
  EXPECT_TRUE(ai_is_in_state(&hero->ai, AI_STATE_COMBAT, AI_SUB_APPROACH_SLOT));
}

TEST(Engagement, ACasterFightsHandToHandUntilOthersCrowdIn) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* target = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  // 1.0 apart at the edges: within reach.
  living_entity* caster = kit.spawn(rat, {1.0f + 2 * kMedium, 0, 0});
  caster->ap = static_cast<int16_t>(caster->get_max_points(1));
  ai_set_state(&caster->ai, AI_STATE_PATROL, 0);  // casting is wanted in patrol
  float range = 0;
  ASSERT_TRUE(caster->wants_spell(&range));
  ai_engage(&caster->ai, target->handle);
  EXPECT_TRUE(ai_is_in_state(&caster->ai, AI_STATE_COMBAT, AI_SUB_MELEE));
  EXPECT_FLOAT_EQ(caster->ai.preferred_range, kReach);

  // Two others strike the target: the caster backs off to between half and
  // all of its casting range.
  for (int i = 0; i < 2; i++) {
    living_entity* o = kit.spawn(rat, {-1.5f, 0, 2.0f * i - 1.0f});
    o->ai.target = target->handle;
    ai_set_state(&o->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  }
  ai_set_state(&caster->ai, AI_STATE_PATROL, 0);
  EXPECT_TRUE(ai_engage(&caster->ai, target->handle));
  EXPECT_TRUE(ai_is_in_state(&caster->ai, AI_STATE_COMBAT, AI_SUB_APPROACH_RANGE));
  EXPECT_FLOAT_EQ(caster->ai.preferred_range, range);
  const vector end = path_end(caster->ai);
  EXPECT_NEAR(end.z, 0.0f, 1e-4f);
  EXPECT_GE(end.x, 0.5f * range);
  EXPECT_LT(end.x, range);
}

TEST(Engagement, InRangeTheBehaviourPicksTheSubState) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* target = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  struct Case {
    int behaviour;
    uint32_t flags;
    int sub;
  } cases[] = {{0, 0, AI_SUB_MELEE}, {4, 0, AI_SUB_CHOOSE_SPELL}, {5, 0, AI_SUB_CHOOSE_SPELL},
               {5, AIF_SPELL_BLOCK, AI_SUB_MELEE}, {3, 0, AI_SUB_MELEE}};
  for (const Case& c : cases) {
    living_entity* m = kit.spawn(rat, {0, 0, 1.5f});
    m->ai.behaviour = c.behaviour;
    m->ai.flags |= c.flags;
    EXPECT_TRUE(ai_engage(&m->ai, target->handle));
    EXPECT_TRUE(ai_is_in_state(&m->ai, AI_STATE_COMBAT, c.sub)) << c.behaviour;
  }
}

TEST(Engagement, ArrivingAtTheSlotTurnsToStrike) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {6, 0, 0});
  monster->ai.target = hero->handle;
  ASSERT_TRUE(ai_engage(&monster->ai, hero->handle));
  // Walk the path frame by frame (the handler steers, the kit moves).
  for (int i = 0; i < 300 && monster->ai.sub_state == AI_SUB_APPROACH_SLOT; i++) {
    ai_combat_dispatch(&monster->ai);
    if (monster->ai.sub_state == AI_SUB_APPROACH_SLOT) monster->pos = monster->pos + monster->orient.forward * 0.05f;
    kit.advance(1.0f / 30);
  }
  EXPECT_TRUE(ai_is_in_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE));
  EXPECT_LT(monster->distance_to(hero, true, -1), kReach + 0.2f);
  for (int i = 0; i < 20 && !monster->combat.is_attacking(); i++) ai_combat_dispatch(&monster->ai);
  EXPECT_TRUE(monster->combat.is_attacking());
  EXPECT_LT(monster->orient.forward.x, -0.97f);  // facing the hero at -x
}

// A target turning on the spot counts as reached; one whose turn a move cut
// short is measured again, so its attacker walks up instead of swinging at
// the air from where it stands.
TEST(Engagement, AMoveEndsTheTurnThatLetsAttackersCountTheTargetReached) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {4, 0, 0});  // 3.06 apart, beyond the reach
  hero->orient = matrix(vector(0, 0, -1), vector(0, 1, 0), vector(1, 0, 0));  // facing the monster
  // Turning round toward a point behind him: still turning after one step.
  ASSERT_TRUE(ai_step_toward(&hero->ai, vector(-5, 0, 0.1f), 1.0f));
  monster->ai.target = hero->handle;
  ai_set_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  ai_combat_dispatch(&monster->ai);
  EXPECT_TRUE(ai_is_in_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE)) << "a turning target counts as reached";
  // A move starts across the turn: the hero no longer turns.
  hero->ai.special_move = 1;
  EXPECT_TRUE(ai_step_to_target(&hero->ai, monster));
  ai_set_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  ai_combat_dispatch(&monster->ai);
  EXPECT_TRUE(ai_is_in_state(&monster->ai, AI_STATE_COMBAT, AI_SUB_APPROACH_SLOT))
      << "sub-state " << monster->ai.sub_state << ": the monster must walk up to the hero";
}

TEST(Engagement, GuardsJoinAgainstTheAttacker) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* ward = kit.spawn(rat, {0, 0, 0});
  living_entity* guard = kit.spawn(rat, {3, 0, 0});
  living_entity* bystander = kit.spawn(rat, {-3, 0, 0});
  living_entity* hero = kit.spawn(rat, {0, 0, 2}, OBJ_PLAYER);
  hero->set_team(ward->get_team() + 1);
  ai_queue_add(&guard->ai, 8, 50, 0, ward->handle, nullptr, 0, AI_NO_SPELL, 0.0f);
  ai_alert_guards(&ward->ai, hero);
  const int g = ai_queue_find(&guard->ai, 0x5, 1, 0, hero->handle, nullptr, 0, AI_NO_SPELL);
  ASSERT_GE(g, 0);
  EXPECT_EQ(guard->ai.queue[g].priority, 2000);
  EXPECT_LT(ai_queue_find(&bystander->ai, 0x5, 1, 0, hero->handle, nullptr, 0, AI_NO_SPELL), 0);
  EXPECT_GE(ai_queue_find(&ward->ai, 0x5, 1, 0, hero->handle, nullptr, 0, AI_NO_SPELL), 0);
}

}  // namespace

namespace {

TEST(Engagement, SlotsInsideAPostAreSkippedInTheArena) {
  WorldKit kit;
  kit.add_arena(12.0f);
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {9, 0, 0.3f});
  const float R = kMedium + kMedium + kReach - 0.2f;
  kit.add_obstacle(R, 0.0f, 0.4f);  // a post where slot 0 would be
  EXPECT_TRUE(ai_engage(&monster->ai, hero->handle));
  // Slot 1 lies nearer to the attacker (z > 0) than slot 4.
  EXPECT_EQ(monster->ai.position_slot, 1);
  expect_near(path_end(monster->ai), slot_dir(1) * R);
}

TEST(Engagement, TheKitHasAWarHorse) {
  WorldKit kit;
  living_entity* horse = kit.spawn_horse({2, 0, 2});
  ASSERT_NE(horse, nullptr);
  EXPECT_EQ(horse->character->kind, 85);
  EXPECT_EQ(horse->size_class(), 2);
  EXPECT_EQ(kit.spawn_horse({4, 0, 2})->character, horse->character);  // one type for all
}

}  // namespace

namespace {

TEST(Engagement, AFirstStrikeNeedsTheTargetClose) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* hero = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  hero->set_team(0);
  living_entity* far = kit.spawn(rat, {0, 0, 2.0f + 2 * kMedium + 0.5f});
  far->ai.target = hero->handle;
  ai_set_state(&far->ai, AI_STATE_COMBAT, AI_SUB_FIRST_STRIKE);
  ai_combat_first_strike(&far->ai);
  EXPECT_EQ(far->ai.state, AI_STATE_IDLE);  // more than 2.0 away: no first strike

  living_entity* near = kit.spawn(rat, {0, 0, 1.0f + 2 * kMedium});
  near->ai.target = hero->handle;
  ai_set_state(&near->ai, AI_STATE_COMBAT, AI_SUB_FIRST_STRIKE);
  for (int i = 0; i < 20 && near->ai.state == AI_STATE_COMBAT; i++) ai_combat_first_strike(&near->ai);
  EXPECT_EQ(near->ai.state, AI_STATE_IDLE);
  EXPECT_LT(near->orient.forward.z, -0.97f);  // turned to strike
  // Then an ordinary attack order, and the target answers in kind.
  EXPECT_GE(ai_queue_find(&near->ai, 0x5, 1, 0, hero->handle, nullptr, 0, AI_NO_SPELL), 0);
  EXPECT_TRUE(hero->ai.state == AI_STATE_COMBAT ||
              ai_queue_find(&hero->ai, 0x5, 1, 0, near->handle, nullptr, 0, AI_NO_SPELL) >= 0);
}

TEST(Engagement, ChasingEndsWithinTheRange) {
  WorldKit kit;
  const int rat = kit.type("Rat");
  living_entity* target = kit.spawn(rat, {0, 0, 0}, OBJ_PLAYER);
  living_entity* chaser = kit.spawn(rat, {8, 0, 0});
  EXPECT_EQ(ai_chase_to_range(&chaser->ai, target, 3.0f), 0);
  expect_near(path_end(chaser->ai), target->pos);
  EXPECT_EQ(target->ai.attack_slots[ai_facing_slot(target->pos, chaser->pos)].attacker, chaser->handle);
  chaser->pos = vector(2 * kMedium + 2.5f, 0, 0);
  EXPECT_EQ(ai_chase_to_range(&chaser->ai, target, 3.0f), 1);
  EXPECT_EQ(chaser->ai.path, nullptr);
  ai_set_planner([](const vector&, int, const vector&, int, float, bool) -> ai_path* { return nullptr; });
  chaser->pos = vector(20, 0, 0);
  EXPECT_EQ(ai_chase_to_range(&chaser->ai, target, 3.0f), -1);
  ai_set_planner(nullptr);
}

TEST(Engagement, WithoutATransitionMoveTheStancesCrossFadeOverHalfASecond) {
  WorldKit kit;
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  rat->state &= ~ES_COMBAT_READY;
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 14);
  EXPECT_FALSE(ai_combat_stance(&rat->ai));
  // t = 0.002 x ms; the old stance weighs (cos(pi t) + 1) / 2; the stance
  // itself changes at t = 0.5 and the change ends at t = 1.
  for (int ms = 50; ms <= 500; ms += 50) {
    kit.advance(0.05f);
    const bool done = ai_combat_stance(&rat->ai);
    const float t = 0.002f * static_cast<float>(ms);
    const float old_weight = (std::cos(3.14159265f * t) + 1.0f) / 2.0f;
    EXPECT_EQ(done, t >= 1.0f) << ms;
    EXPECT_EQ((rat->state & ES_COMBAT_READY) != 0, t >= 0.5f) << ms;
    // The movement blend weighs the stance the entity is in by 1 - blend.
    const float expected = done ? 0.0f : t >= 0.5f ? old_weight : 1.0f - old_weight;
    EXPECT_NEAR(rat->stance_blend, expected, 1e-4f) << ms;
  }
  // And back, through the combat handler: laying weapons down ends the fight.
  ai_set_state(&rat->ai, AI_STATE_COMBAT, 14);
  ai_queue_attack(&rat->ai, rat->handle, 1000);
  for (int i = 0; i < 12; i++, kit.advance(0.05f)) ai_combat_handler(&rat->ai);
  EXPECT_FALSE(rat->state & ES_COMBAT_READY);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
}

TEST(Engagement, TheStanceWaitsForTheBodyAndFollowsItsTransitionMove) {
  WorldKit kit;
  CharacterRecord r = table_demo_creature("Cabbit", true);
  MoveRecord m;
  m.list = "transition";
  m.animation = "cabbit_s2r";
  m.action = "draw";
  m.variation = "stand_to_ready";
  r.moves.push_back(m);
  const int t = kit.add_type(r);
  ASSERT_GE(t, 0);
  kit.set_anim(t, "cabbit_s2r", 0.8f, 0.0f);
  living_entity* e = kit.spawn(t, {0, 0, 0});
  e->state &= ~ES_COMBAT_READY;
  ai_set_state(&e->ai, AI_STATE_COMBAT, 14);
  // Still carried by its run: nothing starts.
  e->anim_distance = 0.5f;
  EXPECT_FALSE(ai_combat_stance(&e->ai));
  EXPECT_EQ(e->ai.stance_move, AI_STANCE_UNSTARTED);
  e->anim_distance = 0.0f;
  EXPECT_FALSE(ai_combat_stance(&e->ai));
  ASSERT_GE(e->ai.stance_move, 0);
  EXPECT_EQ(e->current_move_id, e->ai.stance_move);
  // Ready from past the middle of the move, done at its end.
  kit.advance(0.3f);
  EXPECT_FALSE(ai_combat_stance(&e->ai));
  EXPECT_FALSE(e->state & ES_COMBAT_READY);
  kit.advance(0.2f);
  EXPECT_FALSE(ai_combat_stance(&e->ai));
  EXPECT_TRUE(e->state & ES_COMBAT_READY);
  kit.advance(0.35f);
  EXPECT_TRUE(ai_combat_stance(&e->ai));
  EXPECT_TRUE(e->state & ES_COMBAT_READY);
  // Asked for the stance it already holds, it is done at once.
  ai_set_state(&e->ai, AI_STATE_COMBAT, 14);
  e->ai.stance_wanted = 1;
  EXPECT_TRUE(ai_combat_stance(&e->ai));
  EXPECT_TRUE(e->state & ES_COMBAT_READY);
}

TEST(Engagement, ALeaderFacingItsTargetFreesItsTagPositionsForItsFollowers) {
  WorldKit kit;
  const int rat = kit.type("Rat"), golem = kit.type("Golem");
  give_two_tag_positions(golem);
  living_entity* leader = kit.spawn(golem, {0, 0, 0});
  leader->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  living_entity* hero = kit.spawn(rat, {0, 0, 5}, OBJ_PLAYER);
  living_entity* holder = kit.spawn(rat, {0, 0, -5}, OBJ_PLAYER);
  leader->attack_tag_holders[0] = holder->handle;
  leader->ai.target = hero->handle;
  living_entity* busy = kit.spawn(rat, {3, 0, 0});
  living_entity* idle = kit.spawn(rat, {-3, 0, 0});
  living_entity* stranger = kit.spawn(rat, {0, 0, 8});
  for (living_entity* f : {busy, idle}) f->ai.leader = leader->handle;
  busy->ai.position_slot = idle->ai.position_slot = stranger->ai.position_slot = 1;
  ai_set_state(&busy->ai, AI_STATE_COMBAT, AI_SUB_MELEE);
  busy->ai.target = hero->handle;
  EXPECT_TRUE(ai_leads_followers(leader));
  EXPECT_FALSE(ai_leads_followers(busy));
  // Facing the hero already. Idle followers re-engage only while the
  // leader's flag 0x400 is set.
  EXPECT_TRUE(ai_step_to_target(&leader->ai, hero));
  EXPECT_EQ(leader->attack_tag_holders[0], -1);
  EXPECT_EQ(busy->ai.position_slot, -1);
  EXPECT_EQ(idle->ai.position_slot, -1);
  EXPECT_EQ(stranger->ai.position_slot, 1);
  EXPECT_EQ(idle->ai.state, AI_STATE_IDLE);
  leader->state |= ES_AI_INTERRUPTED;
  EXPECT_TRUE(ai_step_to_target(&leader->ai, hero));
  EXPECT_EQ(idle->ai.state, AI_STATE_COMBAT);
  EXPECT_EQ(idle->ai.target, hero->handle);
  EXPECT_EQ(busy->ai.sub_state, AI_SUB_MELEE);
  // While it still turns nothing is freed.
  leader->attack_tag_holders[1] = holder->handle;
  leader->orient = matrix(vector(-1, 0, 0), vector(0, 1, 0), vector(0, 0, -1));
  EXPECT_FALSE(ai_step_to_target(&leader->ai, hero));
  EXPECT_EQ(leader->attack_tag_holders[1], holder->handle);
  Character_infos[golem].attack_tag_count = 0;
}

}  // namespace

// Living entities on the headless world kit: creation, set-up, teardown,
// teams, point pools and statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/skills.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/world_kit.h"

namespace {

using LivingEntity = WorldTest;

void kill_into_dead_list(living_entity* e) {
  entity_list_unlink(e);
  entity_list_append(entity_dead_list(), e);
  e->type = OBJ_DEAD_CREATURE;
  e->state |= ES_DEAD | ES_DOWN;
}

TEST_F(LivingEntity, NamesCountUpAndReuseTheNumberOfTheDead) {
  const int rat = kit.type("Rat");
  living_entity* a = kit.spawn(rat, {0, 0, 0});
  living_entity* b = kit.spawn(rat, {3, 0, 0});
  living_entity* c = kit.spawn(rat, {6, 0, 0});
  EXPECT_STREQ(a->get_name(), "Rat#1");
  EXPECT_STREQ(b->get_name(), "Rat#2");
  EXPECT_STREQ(c->get_name(), "Rat#3");
  // The dead do not hold on to their names.
  kill_into_dead_list(a);
  living_entity* d = kit.spawn(rat, {9, 0, 0});
  EXPECT_STREQ(d->get_name(), "Rat#1");
  // Names are unique without regard to case.
  d->set_name("RAT#4");
  EXPECT_STREQ(kit.spawn(rat, {12, 0, 0})->get_name(), "Rat#1");
  EXPECT_STREQ(kit.spawn(rat, {15, 0, 0})->get_name(), "Rat#5");

  char shown[32];
  c->get_display_name(shown, sizeof shown);
  EXPECT_STREQ(shown, "Rat");
  d->set_name("");
  d->get_display_name(shown, sizeof shown);
  EXPECT_STREQ(shown, "Unknown");
  d->set_name("4Rat");
  d->get_display_name(shown, sizeof shown);
  EXPECT_STREQ(shown, "4Rat");  // a name that begins with a digit is kept whole
  d->set_name("OniF#2");
  d->get_display_name(shown, sizeof shown);
  EXPECT_STREQ(shown, "Oni Female");
}

TEST_F(LivingEntity, LongNamesAreCutToTheField) {
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0});
  a->set_name(std::string(100, 'x').c_str());
  EXPECT_EQ(std::string(a->get_name()), std::string(31, 'x'));
}

TEST_F(LivingEntity, SetUpLeavesAnEquippedAndSettledEntity) {
  const int ruvizo = kit.type("Ruvizo");
  living_entity* hero = kit.spawn(ruvizo, {2, 5, 1}, OBJ_PLAYER, 1, true);
  ASSERT_NE(hero, nullptr);
  EXPECT_EQ(hero->handle % 1000, hero->handle - 1000 * (hero->handle / 1000));
  // Step 14: the default weapon ("Staff") in the main hand, nothing else.
  ASSERT_NE(hero->equipment[EQ_WEAPON], nullptr);
  EXPECT_STREQ(hero->equipment[EQ_WEAPON]->info->name, "Staff");
  for (int s = 0; s < NUM_EQUIPMENT_SLOTS; s++) {
    if (s != EQ_WEAPON) {
      EXPECT_EQ(hero->equipment[s], nullptr) << s;
    }
  }
  // Steps 8, 12, 13, 16, 17: AP regeneration armed for a player, level 1
  // with its experience, team 0, statuses cured, active, behaviour 0.
  EXPECT_EQ(hero->ap_regen_timer, timestamp_set(1000, 7500));
  EXPECT_EQ(hero->level, 1);
  EXPECT_EQ(hero->experience, xp_for_level(1));
  EXPECT_EQ(hero->team, 0);
  EXPECT_EQ(hero->hostile_mask, 12u);
  for (int id = 0; id < NUM_STATUS_EFFECTS; id++) EXPECT_FALSE(hero->has_status_effect(id)) << id;
  EXPECT_TRUE(hero->flags & OF_ACTIVE);
  EXPECT_EQ(hero->ai.behaviour, 0);
  EXPECT_EQ(hero->ai.owner, hero);
  EXPECT_EQ(hero->combat.owner, hero);
  // Step 21: the foot bones of the model.
  EXPECT_EQ(hero->foot_bones[0], 0);
  EXPECT_EQ(hero->foot_bones[1], 1);
  // Step 9: the stand animation of its moves.
  EXPECT_EQ(hero->anim[SA_STAND], charinfo_find_move_by_name(hero->character, "stand"));
  // A player character is not placed: it stays where it was made.
  EXPECT_FLOAT_EQ(hero->pos.y, 5.0f);

  // A creature is pushed out of obstacles, raised by 1 and settled.
  living_entity* rat = kit.spawn(kit.type("Rat"), {4, 5, 4});
  EXPECT_FLOAT_EQ(rat->pos.y, 0.0f);
  EXPECT_EQ(rat->floor_mesh, 0);
  EXPECT_TRUE(rat->state & ES_ON_FLOOR);
  EXPECT_EQ(rat->ap_regen_timer, -1);
  EXPECT_EQ(rat->ai.flags & AIF_SPAWNED_CREATURE, static_cast<uint32_t>(AIF_SPAWNED_CREATURE));
  EXPECT_STREQ(rat->equipment[EQ_WEAPON]->info->name, "Claws");
}

TEST_F(LivingEntity, BehaviourFollowsTheCharacterKind) {
  EXPECT_EQ(kit.spawn(kit.type("Rivud"), {0, 0, 0}, OBJ_PLAYER)->ai.behaviour, 1);     // kind 2
  EXPECT_EQ(kit.spawn(kit.type("Rivadara"), {2, 0, 0}, OBJ_PLAYER)->ai.behaviour, 5);  // kind 3
  EXPECT_EQ(kit.spawn(kit.type("Zazuru"), {4, 0, 0}, OBJ_PLAYER)->ai.behaviour, 0);
}

TEST_F(LivingEntity, TheHundredAndSeventySixthIsFatal) {
  const int rat = kit.type("Rat");
  for (int i = 0; i < MAX_LIVING_ENTIITES; i++) ASSERT_NE(kit.spawn(rat, {0, 0, 0}, OBJ_CREATURE, 1, true), nullptr);
  EXPECT_EQ(entity_count(entity_live_list()), MAX_LIVING_ENTIITES);
  CriticalErrorTrap trap;
  try {
    kit.spawn(rat, {0, 0, 0}, OBJ_CREATURE, 1, true);
    FAIL() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("No more space for living entities.  Please increase MAX_LIVING_ENTIITES"), std::string::npos);
  }
}

TEST_F(LivingEntity, TeardownKeepsTheSharedModelWhileACorpseDrawsIt) {
  const int rat = kit.type("Rat");
  living_entity* corpse = kit.spawn(rat, {0, 0, 0});
  living_entity* summon = kit.spawn(rat, {3, 0, 0});
  FakeBase* base = kit.base(rat);
  kill_into_dead_list(corpse);
  summon->state |= ES_SUMMONED;
  summon->deinit();
  EXPECT_EQ(base->releases, 0) << "released while the corpse still draws it";
  EXPECT_EQ(summon->type, OBJ_FREE);
  EXPECT_EQ(entity_count(entity_live_list()), 0);
  // The last user of a model loaded for it alone releases it.
  corpse->state |= ES_OWN_MODEL;
  corpse->deinit();
  EXPECT_EQ(base->releases, 1);
  EXPECT_EQ(entity_count(entity_dead_list()), 0);
  // A summon that keeps its model does not release it.
  living_entity* kept = kit.spawn(rat, {0, 0, 0});
  kept->state |= ES_SUMMONED | ES_KEEP_MODEL;
  kept->deinit();
  EXPECT_EQ(base->releases, 1);
}

TEST_F(LivingEntity, TeardownClearsTheStudyObjectAndTheHandle) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int h = e->handle;
  Study_object = e;
  e->deinit();
  EXPECT_EQ(Study_object, nullptr);
  EXPECT_EQ(entity_from_handle(h), nullptr);
}

TEST_F(LivingEntity, HostilityByTeam) {
  const int rat = kit.type("Rat");
  living_entity* t[4];
  for (int i = 0; i < 4; i++) {
    t[i] = kit.spawn(rat, {3.0f * i, 0, 0}, OBJ_CREATURE, 1, true);
    t[i]->set_team(i);
  }
  // {12, 0, 11, 7}: rows are the attacker, columns the other's team.
  const bool expected[4][4] = {{false, false, true, true},
                               {false, false, false, false},
                               {true, true, false, true},
                               {true, true, true, false}};
  for (int a = 0; a < 4; a++) {
    for (int b = 0; b < 4; b++) {
      if (a != b) {
        EXPECT_EQ(t[a]->is_hostile_to(t[b]), expected[a][b]) << a << " vs " << b;
      }
    }
  }
  // Team 0 turns on team 0 only while the other carries status 16.
  living_entity* friend0 = kit.spawn(rat, {20, 0, 0}, OBJ_CREATURE, 1, true);
  friend0->set_team(0);
  EXPECT_FALSE(t[0]->is_hostile_to(friend0));
  friend0->apply_status_effect(STATUS_TURNED, 5000, -1, 10.0f, -1, false);
  EXPECT_TRUE(t[0]->is_hostile_to(friend0));
  // Neutral and dead others are never hostile.
  t[3]->type = OBJ_NEUTRAL;
  EXPECT_FALSE(t[2]->is_hostile_to(t[3]));
  t[3]->type = OBJ_DEAD_CREATURE;
  EXPECT_FALSE(t[2]->is_hostile_to(t[3]));
}

TEST_F(LivingEntity, PointPoolsScaleWithTheLevelAgainstTheBaseLevel) {
  CharacterRecord r = table_demo_creature("Golem", true);
  r.hit_points = 40;
  r.ability_points = 30;
  r.level = 5;
  r.skills = "$Skill: \"sword weapons\" 3\r\n";
  const int golem = kit.add_type(r);
  Character_infos[golem].skills[10] = 20;
  Character_infos[golem].skills[2] = 50;
  struct Case {
    int level;
    float r;
  } cases[] = {{10, 2.0f}, {5, 1.0f}, {4, 0.8f}, {6, 1.2f}, {1, 0.2f}};
  for (const Case& c : cases) {
    living_entity* e = kit.spawn(golem, {0, 0, 0}, OBJ_CREATURE, c.level, true);
    const float q = c.r < 1.0f ? c.r : c.r * std::sqrt(c.r);
    EXPECT_FLOAT_EQ(e->max_hp_base, std::trunc(0.5f + 40 * c.r)) << c.level;
    EXPECT_FLOAT_EQ(e->hp, std::trunc(0.5f + 40 * c.r)) << c.level;
    EXPECT_EQ(e->max_ap_base, static_cast<int>(std::trunc(30 * q + 0.5f))) << c.level;
    EXPECT_EQ(e->stats[10], static_cast<int>(std::trunc(std::fmin(100.0f, 20 * c.r) + 0.5f))) << c.level;
    EXPECT_EQ(e->stats[2], 50) << "statistics 1 and 2 are not scaled";
    e->deinit();
  }
  // Level 10 of base level 5: r = 2, q = 2 x sqrt 2.
  living_entity* ten = kit.spawn(golem, {0, 0, 0}, OBJ_CREATURE, 10, true);
  EXPECT_FLOAT_EQ(ten->max_hp_base, 80.0f);
  EXPECT_EQ(ten->max_ap_base, 85);  // 30 x 2.83 = 84.85
  // A player character that is not a summon stays at r = 1.
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER, 9, true);
  EXPECT_FLOAT_EQ(hero->max_hp_base, static_cast<float>(hero->character->max_hit_points));
}

TEST_F(LivingEntity, ABaseLevelOfZeroCountsAsOne) {
  const int rat = kit.type("Rat");
  Character_infos[rat].level = 0;
  living_entity* e = kit.spawn(rat, {0, 0, 0}, OBJ_CREATURE, 3, true);
  EXPECT_FLOAT_EQ(e->max_hp_base, 3.0f * Character_infos[rat].max_hit_points);
  EXPECT_FALSE(std::isnan(e->hp));
}

TEST_F(LivingEntity, StatisticsRoundToStepsAndAddEquipment) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_CREATURE, 1, true);
  // Past 35 no rounding: the first such statistic that is not a summoning
  // skill (those read as statistic 27).
  int plain = 36;
  while (skill_is_summon(plain) || plain == 52) plain++;
  struct Case {
    int stat;
    uint8_t value;
    float expected;
  } cases[] = {{10, 43, 0.45f}, {10, 1, 0.05f}, {10, 0, 0.0f}, {plain, 43, 0.43f}, {52, 7, 1.0f}};
  for (const Case& c : cases) {
    e->stats[c.stat] = c.value;
    EXPECT_NEAR(e->get_stat(c.stat), c.expected, 1e-5f) << c.stat << " " << int(c.value);
  }
  // Statistic 2 is the speed: (bonus + 1) x the product of 1 / item speed.
  e->stats[2] = 100;
  const float speed = e->equipment[EQ_WEAPON]->info->weapon.speed;
  EXPECT_NEAR(e->get_stat(2), 1.0f / speed, 1e-5f);
  // An item of speed 0 does not divide by zero.
  e->equipment[EQ_WEAPON]->info->weapon.speed = 0.0f;
  EXPECT_TRUE(std::isfinite(e->get_stat(2)));
  e->equipment[EQ_WEAPON]->info->weapon.speed = speed;
}

TEST_F(LivingEntity, ResistanceIsTheTypeFactorPlusEquipment) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_CREATURE, 1, true);
  // The demo rat: fire weak, blunt strong, others standard.
  EXPECT_FLOAT_EQ(e->get_resistance(0), -1.0f);
  EXPECT_FLOAT_EQ(e->get_resistance(6), 0.5f);
  EXPECT_FLOAT_EQ(e->get_resistance(1), 0.0f);
  EXPECT_FLOAT_EQ(e->get_resistance(-1), 0.0f);
  // Magic: half statistic 35, plus 0.02 a level, less Curse, at least Faith.
  e->stats[35] = 40;
  EXPECT_NEAR(e->get_resistance(3), 0.2f + 0.02f, 1e-5f);
  e->apply_status_effect(STATUS_CURSE, 5000, -1, 0.1f, -1, false);
  EXPECT_NEAR(e->get_resistance(3), 0.12f, 1e-5f);
  e->apply_status_effect(STATUS_FAITH, 5000, -1, 0.5f, -1, false);
  EXPECT_NEAR(e->get_resistance(3), 0.5f, 1e-5f);
}

TEST_F(LivingEntity, ConsoleHealthSetsTheStudyObject) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_CREATURE, 1, true);
  console_execute("health 0.5");
  ASSERT_FALSE(kit.output.empty());
  EXPECT_EQ(kit.output.back(), "No study object selected.\n");
  Study_object = e;
  console_execute("health 0.5");
  EXPECT_FLOAT_EQ(e->hp, 0.5f * e->character->hit_points);
  console_execute("health 2");
  EXPECT_NE(kit.output.back().find("Usage: health <percentage>"), std::string::npos);
  EXPECT_FLOAT_EQ(e->hp, 0.5f * e->character->hit_points);
}

}  // namespace

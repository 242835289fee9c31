// The boss hooks on the world kit: the per-type switch with a module
// plugged in (offense ranges and variations, attack range, positions lost
// in the riders' later stages, the forced behaviour, the heading turn),
// target gathering by sight and by the tally, mounting and dismounting the
// horse, and the taunt drawn from the seeded source.
#include <gtest/gtest.h>

#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/table_words.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"
#include "tools/writers/table_writers.h"

namespace {

int Stage = 1;
const BossOffensePoint* Current = nullptr;
BossTally Tally;

struct BossHooks : ::testing::Test {
  WorldKit kit;
  void SetUp() override {
    boss_modules_reset();
    Stage = 1;
    Current = nullptr;
    Tally.clear();
  }
  void TearDown() override {
    boss_modules_reset();
    boss_set_level_name("");
  }
  BossModule module() {
    BossModule m;
    m.stage = &Stage;
    m.current_offense = &Current;
    m.tally = &Tally;
    return m;
  }
  // A type by name, loaded as a complete demo creature when the kit lacks it.
  int load(const char* name) {
    const int i = charinfo_lookup(name);
    return i >= 0 ? i : kit.add_type(table_demo_creature(name, true));
  }
  living_entity* boss(const char* type, const vector& at) { return kit.spawn(load(type), at, OBJ_BOSS); }
};

TEST_F(BossHooks, OffensePointGivesRangeVariationAndEnd) {
  living_entity* phoenix = boss("Phoenix Rider", {0, 0, 0});
  living_entity* hero = kit.spawn(kit.type("Rat"), {6, 0, 0}, OBJ_PLAYER);
  ASSERT_TRUE(boss_register_module(BOSS_PHOENIX_RIDER, module()));
  EXPECT_FALSE(boss_register_module(12, module()));
  // No attack under way: the reach decides, the variation is 0.
  EXPECT_EQ(boss_current_offense_variation(&phoenix->ai), 0);
  const float edge = 6.0f - phoenix->get_radius() - hero->get_radius();
  BossOffensePoint p{};
  p.min_range = 2.0f;
  p.max_range = edge + 0.5f;
  p.variation = 31;
  p.in_use = 1;
  Current = &p;
  float lo = -1, hi = -1;
  boss_get_offense_range(&phoenix->ai, &lo, &hi);
  EXPECT_FLOAT_EQ(lo, 2.0f);
  EXPECT_FLOAT_EQ(hi, edge + 0.5f);
  EXPECT_FLOAT_EQ(phoenix->ai.preferred_range, edge + 0.5f);
  EXPECT_EQ(boss_current_offense_variation(&phoenix->ai), 31);
  EXPECT_TRUE(boss_in_attack_range(phoenix, hero));
  p.max_range = edge - 0.5f;
  EXPECT_FALSE(boss_in_attack_range(phoenix, hero));
  boss_on_attack_end(phoenix);
  EXPECT_EQ(Current, nullptr);
  // An ordinary creature of the same type id is no boss: no variation.
  living_entity* plain = kit.spawn(load("Phoenix Rider"), {0, 0, 3});
  Current = &p;
  EXPECT_EQ(boss_current_offense_variation(&plain->ai), 0);
}

TEST_F(BossHooks, TypeRulesOfTheTable) {
  living_entity* zhorek = boss("Evil Zhorek", {0, 0, 0});
  living_entity* deviziv = boss("Deviziv", {0, 0, 10});
  living_entity* hero = kit.spawn(kit.type("Rat"), {0.5f, 0, 0}, OBJ_PLAYER);
  living_entity* near = kit.spawn(kit.type("Rat"), {0, 0, 10.3f}, OBJ_PLAYER);
  EXPECT_FALSE(boss_in_attack_range(zhorek, hero));  // never, however close
  EXPECT_TRUE(boss_in_attack_range(deviziv, near));
  struct Case {
    const char* type;
    int id;
    bool own_targeting, plain_path;
  } cases[] = {{"Deviziv", BOSS_DEVIZIV, false, true},     {"Tiger Rider", BOSS_TIGER_RIDER, true, true},
               {"Dadevoz Ivido", BOSS_SERPENT, false, true}, {"Evil Zhorek", BOSS_ZHOREK, true, true},
               {"Titus", BOSS_TITUS, true, false},          {"Pyrul", BOSS_PYRUL, true, false},
               {"Machival", BOSS_MACHIVAL, true, true},     {"Rat", 86, false, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(boss_type_has_own_targeting(c.id), c.own_targeting) << c.id;
    living_entity* e = kit.spawn(load(c.type), {20, 0, 20}, OBJ_BOSS);
    EXPECT_EQ(boss_type_id(e), c.id) << c.type;
    EXPECT_EQ(boss_uses_plain_path(e), c.plain_path) << c.id;
  }
  EXPECT_TRUE(boss_is_not_boss(hero));
  EXPECT_FALSE(boss_is_not_boss(zhorek));
}

TEST_F(BossHooks, RidersLoseTheirPositionsInLaterStages) {
  const int tiger = load("Tiger Rider"), phoenix = load("Phoenix Rider");
  Character_infos[tiger].attack_tag_count = 3;
  Character_infos[phoenix].attack_tag_count = 2;
  living_entity* t = kit.spawn(tiger, {0, 0, 0}, OBJ_BOSS);
  living_entity* p = kit.spawn(phoenix, {5, 0, 0}, OBJ_BOSS);
  living_entity* plain = kit.spawn(tiger, {0, 0, 5});
  boss_register_module(BOSS_TIGER_RIDER, module());
  struct Case {
    int stage, tiger, phoenix;
    bool tiger_forces;
  } cases[] = {{1, 3, 2, true}, {2, 3, 0, true}, {3, 0, 0, false}};
  for (const Case& c : cases) {
    Stage = c.stage;
    // The phoenix has no module of its own here: its stage is read as 0.
    EXPECT_EQ(boss_attack_position_count(t), c.tiger) << c.stage;
    EXPECT_EQ(boss_attack_position_count(plain), 3) << c.stage;
    EXPECT_EQ(boss_forces_behaviour(BOSS_TIGER_RIDER), c.tiger_forces) << c.stage;
  }
  EXPECT_EQ(boss_attack_position_count(p), 2);
  boss_register_module(BOSS_PHOENIX_RIDER, module());
  for (const Case& c : cases) {
    Stage = c.stage;
    EXPECT_EQ(boss_attack_position_count(p), c.stage > 1 ? 0 : 2) << c.stage;
  }
  EXPECT_FALSE(boss_forces_behaviour(BOSS_PHOENIX_RIDER));
  Character_infos[tiger].attack_tag_count = 0;
  Character_infos[phoenix].attack_tag_count = 0;
}

TEST_F(BossHooks, TheTigerTurnsAsideFromAStillCloseTarget) {
  living_entity* t = boss("Tiger Rider", {0, 0, 0});
  const float gap = t->get_radius() + kit.spawn(kit.type("Rat"), {30, 0, 30})->get_radius();
  living_entity* close = kit.spawn(kit.type("Rat"), {gap + 1.5f, 0, 0}, OBJ_PLAYER);
  boss_register_module(BOSS_TIGER_RIDER, module());
  t->ai.target = close->handle;
  Stage = 1;
  EXPECT_FLOAT_EQ(boss_step_heading_offset(&t->ai), 0.0f);
  Stage = 2;
  EXPECT_FLOAT_EQ(boss_step_heading_offset(&t->ai), -0.7f);
  close->pos = vector(gap + 2.5f, 0, 0);
  EXPECT_FLOAT_EQ(boss_step_heading_offset(&t->ai), 0.0f);
}

void classify(living_entity*, BossCandidate* c) { c->mask = c->entity->hp > 30 ? 2u : 1u; }

TEST_F(BossHooks, TargetsAreTheHeroesSeenOrThatHurtIt) {
  living_entity* b = boss("Phoenix Rider", {0, 0, 0});
  b->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));  // facing +z
  BossModule m = module();
  m.classify_target = classify;
  boss_register_module(BOSS_PHOENIX_RIDER, m);
  const int rat = kit.type("Rat");
  const float sight = b->character->fov_range, close = b->character->detection_range;
  ASSERT_GT(sight, close + 4.0f);
  living_entity* ahead = kit.spawn(rat, {0, 0, close + 2.0f}, OBJ_PLAYER);   // in the cone
  living_entity* behind = kit.spawn(rat, {0, 0, -(close + 2.0f)}, OBJ_PLAYER);  // outside it
  living_entity* beside = kit.spawn(rat, {close * 0.5f, 0, 0}, OBJ_PLAYER);    // within close range
  living_entity* far = kit.spawn(rat, {0, 0, sight + 5.0f}, OBJ_PLAYER);
  living_entity* monster = kit.spawn(rat, {0, 0, 2});
  ahead->hp = 40;
  BossCandidate c[8];
  int n = boss_gather_targets(b, c, 8, &Tally);
  std::vector<living_entity*> got;
  for (int i = 0; i < n; i++) got.push_back(c[i].entity);
  EXPECT_EQ(got, (std::vector<living_entity*>{ahead, beside}));
  EXPECT_EQ(c[0].mask, 2u);
  EXPECT_EQ(c[1].mask, 1u);
  EXPECT_NEAR(c[0].distance, close + 2.0f - b->get_radius() - ahead->get_radius(), 1e-4);
  EXPECT_EQ(boss_candidate_index(c, n, beside->handle), 1);
  EXPECT_EQ(boss_candidate_index(c, n, monster->handle), -1);
  // The one behind hurt it: a candidate for twenty seconds.
  boss_record_damage(b, -5.0f, behind->handle, false);
  n = boss_gather_targets(b, c, 8, &Tally);
  EXPECT_EQ(n, 3);
  EXPECT_GE(boss_candidate_index(c, n, behind->handle), 0);
  kit.advance(20.5f);
  n = boss_gather_targets(b, c, 8, &Tally);
  EXPECT_EQ(boss_candidate_index(c, n, behind->handle), -1);
  EXPECT_EQ(boss_candidate_index(c, n, far->handle), -1);
}

TEST_F(BossHooks, MountingTakesANearHorseOrBringsOne) {
  living_entity* rider = boss("Tiger Rider", {0, 0, 0});
  living_entity* horse = kit.spawn_horse({3.0f, 0, 0});
  ASSERT_NE(horse, nullptr);
  const float edge = 3.0f - rider->get_radius() - horse->get_radius();
  ASSERT_LT(edge, BOSS_HORSE_SEARCH);
  boss_set_level_name("jadeTEMPLE");
  EXPECT_FALSE(boss_mount_horse(rider));
  EXPECT_EQ(rider->get_mount(), nullptr);
  boss_set_level_name("rand-forest01");
  EXPECT_TRUE(boss_mount_horse(rider));
  EXPECT_EQ(rider->get_mount(), horse);
  EXPECT_EQ(horse->get_rider(), rider);
  EXPECT_TRUE(boss_mount_horse(rider));  // already mounted
  // Dismounted, the horse is sent off along a walk order.
  boss_dismount_and_release(rider);
  EXPECT_EQ(rider->get_mount(), nullptr);
  EXPECT_EQ(horse->get_rider(), nullptr);
  EXPECT_GE(ai_queue_find(&horse->ai, 1, AI_ACTION_WALK, 0, -1, nullptr, 0, AI_NO_SPELL), 0);
  // A free horse 4.0 or more away is not taken: a new one comes.
  horse->pos = vector(4.0f + rider->get_radius() + horse->get_radius() + 0.1f, 0, 0);
  EXPECT_TRUE(boss_mount_horse(rider));
  living_entity* brought = rider->get_mount();
  ASSERT_NE(brought, nullptr);
  EXPECT_NE(brought, horse);
  EXPECT_EQ(boss_remove_mount(rider), brought);
  EXPECT_TRUE(brought->flags & OF_DELETE);
  EXPECT_FALSE(brought->flags & OF_ACTIVE);
}

std::vector<int> Taunts;
void record_taunt(int sound, const vector&) { Taunts.push_back(sound); }

TEST_F(BossHooks, TauntsFromTheSeededDrawWhileTheLevelPlays) {
  boss_set_taunt_sound(record_taunt);
  Taunts.clear();
  const uint32_t saved = GameFlags;
  GameFlags = GF_SINGLE_PLAYER;
  boss_reset_taunt_timer();
  boss_taunt(vector(0, 0, 0));  // the level is not in play: nothing, re-armed
  EXPECT_TRUE(Taunts.empty());
  GameFlags |= GF_LEVEL_IN_PLAY;
  boss_taunt(vector(0, 0, 0));  // not yet due
  EXPECT_TRUE(Taunts.empty());
  std::vector<int> want;
  for (int i = 0; i < 12; i++) {
    kit.advance(8.1f);
    kit.seed(100 + i);
    const float r = frand();
    if (r < 0.75f) want.push_back(r < 0.25f ? 8 : r < 0.5f ? 9 : 10);
    kit.seed(100 + i);
    boss_taunt(vector(0, 0, 0));
  }
  EXPECT_EQ(Taunts, want);
  GameFlags |= GF_CUTSCENE;
  kit.advance(8.1f);
  boss_taunt(vector(0, 0, 0));
  EXPECT_EQ(Taunts, want);
  GameFlags = saved;
  boss_set_taunt_sound(nullptr);
}

}  // namespace

// The think routine, perception, the state handlers and group control on
// the world kit: who sees whom at the edges of its ranges, how a hit
// entity picks its target, where heroes spread round a foe, how a pack of
// three engages together, how the heroes follow their leader in formation,
// and how hiding, stuns and holds come and go.
#include "Engine/ai/ai_think.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_save.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_states.h"
#include "Engine/ai/party_controller.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

living_entity* Controlled = nullptr;

class AiThink : public WorldTest {
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
    party_controller_set_hooks(PartyControllerHooks{});
    Controlled = nullptr;
    Ai_paused = false;
  }
  void TearDown() override {
    ai_set_driver_hooks(AiDriverHooks{});
    ai_set_approach(nullptr);
    party_table_reset();
    Controlled = nullptr;
  }
  void frame(float dt = 1.0f / 30.0f) {
    kit.advance(dt);
    ai_frame(dt);
  }
  void run(float seconds) {
    for (int i = 0; i < static_cast<int>(seconds * 30.0f + 0.5f); i++) frame();
  }
  // A creature facing +z (the kit's spawn heading is checked, not assumed).
  living_entity* creature(const vector& at) {
    living_entity* e = kit.spawn(kit.type("Rat"), at);
    e->flags |= OF_KEEP_FLOOR;  // updated every frame, as one in combat is
    ai_set_state(&e->ai, AI_STATE_IDLE, 0);
    return e;
  }
  living_entity* hero(const char* name, const vector& at) {
    living_entity* e = kit.spawn(kit.type(name), at, OBJ_PLAYER);
    ai_set_state(&e->ai, AI_STATE_IDLE, 0);
    return e;
  }
  static float flat_distance(const vector& a, const vector& b) { return std::hypot(a.x - b.x, a.z - b.z); }
  static bool attacks(const living_entity* e, const living_entity* t) {
    if (e->ai.state == AI_STATE_COMBAT && e->ai.target == t->handle) return true;
    for (const ai_action& a : e->ai.queue)
      if (a.type == 1 && a.target == t->handle) return true;
    return false;
  }
};

// ---- perception ---------------------------------------------------------------------

TEST_F(AiThink, ACandidateIsSeenWithinSightAheadAndWithinTheNearRangeAllRound) {
  living_entity* rat = creature({0, 0, 0});
  const vector f = rat->orient.forward, side = rat->orient.right;
  const float sight = rat->character->fov_range, near = rat->character->detection_range;
  ASSERT_GT(sight, near);
  struct Case {
    const char* what;
    vector at;
    bool seen;
  } cases[] = {
      {"ahead, inside sight", f * (sight - 0.1f), true},
      {"ahead, beyond sight", f * (sight + 0.1f), false},
      {"behind, inside the near range", f * -(near - 0.1f), true},
      {"behind, beyond the near range", f * -(near + 0.1f), false},
      {"to the side beyond the near range", side * (near + 1.0f), false},
      {"in the cone's edge beyond the near range", (f * 0.75f + side * 0.66f) * (near + 1.0f), true},
  };
  living_entity* h = hero("Ruvizo", f * 5.0f);
  ASSERT_TRUE(rat->is_hostile_to(h));
  for (const Case& c : cases) {
    h->pos = c.at;
    AiCandidates cand;
    cand.seeker = rat;
    ai_score_candidate(&cand, h, false);
    EXPECT_EQ(cand.best == h, c.seen) << c.what;
  }
}

TEST_F(AiThink, ASneakingHeroIsSeenOnlyAheadAndWithinAShorterSight) {
  living_entity* rat = creature({0, 0, 0});
  const vector f = rat->orient.forward;
  const float near = rat->character->detection_range, sight = rat->character->fov_range;
  living_entity* h = hero("Ruvizo", f * -(near - 1.0f));
  auto seen = [&](const vector& at) {
    h->pos = at;
    AiCandidates c;
    c.seeker = rat;
    ai_score_candidate(&c, h, false);
    return c.best == h;
  };
  EXPECT_TRUE(seen(f * -(near - 1.0f)));  // walking, it is heard behind
  h->state |= 0x400;
  EXPECT_FALSE(seen(f * -(near - 1.0f)));  // sneaking, only in front
  EXPECT_FALSE(seen(f * -2.0f));
  h->stats[22] = 50;
  const float stealth = h->get_stat(22);
  ASSERT_GT(stealth, 0.0f);
  const float reduced = sight * (1.0f - 0.6f * stealth);
  EXPECT_TRUE(seen(f * (reduced - 0.5f)));
  EXPECT_FALSE(seen(f * (reduced + 0.5f)));
}

TEST_F(AiThink, TheTeamTableDecidesWhoAttacksOnItsOwn) {
  for (int t = 0; t < 4; t++) EXPECT_EQ(ai_team_eagerness(1, t), 0) << t;
  EXPECT_EQ(ai_team_eagerness(2, 0), 100);
  EXPECT_EQ(ai_team_eagerness(0, 3), 100);
  EXPECT_EQ(ai_team_eagerness(0, 1), 0);
  // A hostile creature that sees a hero queues an attack at 10 x 100.
  living_entity* rat = creature({0, 0, 0});
  living_entity* h = hero("Ruvizo", rat->orient.forward * 5.0f);
  ai_seek_target(&rat->ai, 2);
  const int slot = ai_queue_find(&rat->ai, 0x1, 1, 0, -1, nullptr, 0, AI_NO_SPELL);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(rat->ai.queue[slot].target, h->handle);
  EXPECT_EQ(rat->ai.queue[slot].priority, 1000);
  // Of team 1, it never does.
  living_entity* calm = creature({3, 0, 0});
  calm->set_team(1);
  ai_seek_target(&calm->ai, 2);
  EXPECT_LT(ai_queue_find(&calm->ai, 0x1, 1, 0, -1, nullptr, 0, AI_NO_SPELL), 0);
}

TEST_F(AiThink, AHitFromAFarAttackerDoesNotSwitchFromANearTarget) {
  living_entity* rat = creature({0, 0, 0});
  living_entity* near = hero("Ruvizo", {2, 0, 0});
  living_entity* far = hero("Rivud", {10, 0, 0});
  rat->ai.target = near->handle;
  ai_consider_target(&rat->ai, far->handle);
  EXPECT_LT(ai_queue_find(&rat->ai, 0x1, 1, 0, -1, nullptr, 0, AI_NO_SPELL), 0);
  // The other way round it turns on the nearer attacker at priority 1000.
  rat->ai.target = far->handle;
  ai_consider_target(&rat->ai, near->handle);
  const int slot = ai_queue_find(&rat->ai, 0x1, 1, 0, -1, nullptr, 0, AI_NO_SPELL);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(rat->ai.queue[slot].target, near->handle);
  EXPECT_EQ(rat->ai.queue[slot].priority, 1000);
}

// A monster that starts its blows on a hero makes him turn on it, as it
// makes a monster turn on a hero: a follower standing behind his leader
// fights back without being ordered to. One the player has sent off (the
// order's priority is above any reaction's) gets there first.
TEST_F(AiThink, AHeroAttackedInMeleeStrikesBackAfterAnyOrderOfThePlayers) {
  for (const bool ordered : {false, true}) {
    SCOPED_TRACE(ordered ? "walking an order" : "standing");
    living_entity* leader = hero("Ruvizo", {0, 0, 0});
    const vector place = ai_formation_point(leader->pos, leader->orient.forward, 1);
    living_entity* rivud = hero("Rivud", place);
    Controlled = leader;
    run(1.0f);
    ASSERT_TRUE(ai_is_in_state(&rivud->ai, AI_STATE_TRAVELING, 5));
    const vector goal = place - leader->orient.forward * 8.0f;
    if (ordered) {
      Controlled = rivud;  // the player's click sends him off
      ASSERT_GE(ai_queue_walk_to(&rivud->ai, goal, 0, true, 999999), 0);
    }
    living_entity* rat = creature(place + leader->orient.right * 2.0f);
    ASSERT_TRUE(rat->is_hostile_to(rivud));
    ai_queue_attack(&rat->ai, rivud->handle, 1000);
    int turned = -1, arrived = -1;
    for (int i = 0; i < 30 * 6; i++) {
      frame();
      if (turned < 0 && rivud->ai.state == AI_STATE_COMBAT && rivud->ai.target == rat->handle) turned = i;
      if (arrived < 0 && flat_distance(rivud->pos, goal) < 1.0f) arrived = i;
    }
    // He turns on the rat: in combat with it as his target.
    EXPECT_GE(turned, 0);
    if (ordered) {
      EXPECT_GE(arrived, 0);
      EXPECT_GT(turned, arrived);
    } else {
      EXPECT_EQ(rat->ai.target, rivud->handle);
      EXPECT_LT(arrived, 0);
    }
    for (living_entity* e : {leader, rivud, rat}) object_mark_deleted(e);
    objects_delete_pending();
    Controlled = nullptr;
  }
}

// ---- the heroes' spread -----------------------------------------------------------------

TEST_F(AiThink, TheBearingCountsSlotsRoundTheTarget) {
  living_entity* t = creature({0, 0, 0});
  living_entity* m = hero("Ruvizo", {3, 0, 0});
  struct Case {
    float degrees, bearing;
  } cases[] = {{0, 0.0f}, {72, 1.0f}, {36, 0.5f}, {144, 2.0f}, {324, 4.5f}, {-18, 4.75f}, {18, 0.25f}};
  for (const Case& c : cases) {
    const float a = c.degrees * 3.14159265f / 180.0f;
    m->pos = vector(3.0f * std::cos(a), 0, 3.0f * std::sin(a));
    EXPECT_NEAR(ai_bearing(m, t), c.bearing, 0.01f) << c.degrees;
  }
}

TEST_F(AiThink, TwoHeroesCrowdingOneSideOfATargetSpreadBySlot) {
  living_entity* t = creature({0, 0, 0});
  living_entity* a = hero("Ruvizo", {2.0f, 0, 0.1f});
  living_entity* b = hero("Rivud", {2.0f, 0, -0.3f});
  for (living_entity* h : {a, b}) {
    h->ai.target = t->handle;
    ai_set_state(&h->ai, AI_STATE_COMBAT, 15);
    h->ai.target = t->handle;
  }
  const float before = std::fabs(ai_bearing(a, t) - ai_bearing(b, t));
  ASSERT_LT(std::fmin(before, 5.0f - before), 0.75f);
  kit.advance(2.1f);
  ai_hero_think();
  const living_entity* moved = a->ai.sub_state == 34 ? a : b;
  ASSERT_EQ(moved->ai.sub_state, 34);
  ASSERT_NE(moved->ai.path, nullptr);
  vector end;
  ASSERT_TRUE(ai_get_path_end(&moved->ai, &end));
  // Its new place lies about one slot (72 degrees) round from where it stood.
  const float from = std::atan2(moved->pos.z, moved->pos.x), to = std::atan2(end.z, end.x);
  float turn = std::fabs(to - from) * 180.0f / 3.14159265f;
  if (turn > 180.0f) turn = 360.0f - turn;
  EXPECT_NEAR(turn, 72.0f, 15.0f);
}

// ---- groups -------------------------------------------------------------------------------

TEST_F(AiThink, APackOfThreeEngagesTogether) {
  living_entity* pack[3] = {creature({0, 0, 0}), creature({1.5f, 0, 0}), creature({-1.5f, 0, 0})};
  const int g = party_create(pack[0]);
  ASSERT_GE(g, 0);
  party_join(g, pack[1]);
  party_join(g, pack[2]);
  EXPECT_EQ(PartyController[g].member_count, 3);
  // A hero inside the pack's near range behind it, another far out of sight.
  living_entity* h = hero("Ruvizo", pack[0]->orient.forward * -(pack[0]->character->detection_range - 2.0f));
  living_entity* away = hero("Rivud", pack[0]->orient.forward * -(pack[0]->character->fov_range + 20.0f));
  frame();
  for (living_entity* m : pack) {
    EXPECT_TRUE(attacks(m, h)) << m->get_name();
    EXPECT_FALSE(attacks(m, away)) << m->get_name();
  }
  EXPECT_EQ(PartyController[g].target_count, 1);
  // Each takes up its weapons and fights.
  run(2.0f);
  for (living_entity* m : pack) {
    EXPECT_EQ(m->ai.state, AI_STATE_COMBAT) << m->get_name();
    EXPECT_EQ(m->ai.target, h->handle) << m->get_name();
  }
}

TEST_F(AiThink, GroupsKeepTheirLimitsAndPassOnTheLead) {
  living_entity* e[7];
  for (int i = 0; i < 7; i++) e[i] = creature({static_cast<float>(i) * 2.0f, 0, 0});
  const int g = party_create(e[0]);
  for (int i = 1; i < 7; i++) party_join(g, e[i]);
  EXPECT_EQ(PartyController[g].member_count, 6);
  EXPECT_EQ(e[6]->ai.group, -1);
  party_leave(e[0]);
  EXPECT_EQ(PartyController[g].leader, e[1]->handle);
  EXPECT_EQ(PartyController[g].members[0], e[1]->handle);
  EXPECT_EQ(PartyController[g].members[4], e[5]->handle);
  EXPECT_EQ(PartyController[g].members[5], -1);
  for (int i = 1; i < 5; i++) party_leave(e[i]);
  EXPECT_EQ(PartyController[g].member_count, 1);
  party_leave(e[5]);
  EXPECT_EQ(PartyController[g].member_count, 0);
  EXPECT_EQ(PartyController[g].leader, -1);
  // Ten groups at most.
  party_table_reset();
  for (int i = 0; i < MAX_PARTY_GROUPS; i++) EXPECT_GE(party_create(e[i % 7]), 0);
  EXPECT_EQ(party_create(e[0]), -1);
}

TEST_F(AiThink, CreaturesPlacedTogetherBecomePacks) {
  // Placed in this order: three close together, one far off, a friendly
  // one among them, a hero and a person, then seven more close together
  // elsewhere (six fill a group, the seventh is left on its own).
  std::vector<living_entity*> placed = {creature({0, 0, 0}), creature({5, 0, 0}), creature({-3, 0, 6}),
                                        creature({40, 0, 0})};
  living_entity* friendly = creature({1, 0, 1});
  friendly->set_team(0);
  placed.push_back(friendly);
  placed.push_back(hero("Ruvizo", {2, 0, 0}));
  placed.push_back(kit.spawn(kit.type("Golem"), {0, 0, 2}, OBJ_NEUTRAL));
  for (int i = 0; i < 7; i++) placed.push_back(creature({100.0f + static_cast<float>(i), 0, 100}));
  party_group_packs(placed.data(), static_cast<int>(placed.size()), 8.0f);

  const int g = placed[0]->ai.group;
  ASSERT_GE(g, 0);
  EXPECT_EQ(PartyController[g].leader, placed[0]->handle);
  EXPECT_EQ(PartyController[g].member_count, 3);
  EXPECT_EQ(placed[1]->ai.group, g);
  EXPECT_EQ(placed[2]->ai.group, g);
  for (int i = 3; i <= 6; i++) EXPECT_EQ(placed[i]->ai.group, -1) << placed[i]->get_name();
  const int g2 = placed[7]->ai.group;
  ASSERT_GE(g2, 0);
  EXPECT_NE(g2, g);
  EXPECT_EQ(PartyController[g2].member_count, 6);
  EXPECT_EQ(placed[13]->ai.group, -1);
  int used = 0;
  for (const party_group& r : PartyController) used += r.member_count > 0;
  EXPECT_EQ(used, 2);
}

TEST_F(AiThink, ATornDownMemberLeavesItsGroupAndAStaleLinkTouchesNothing) {
  living_entity* pack[3] = {creature({0, 0, 0}), creature({1, 0, 0}), creature({2, 0, 0})};
  party_group_packs(pack, 3, 8.0f);
  const int g = pack[0]->ai.group;
  ASSERT_GE(g, 0);
  const int32_t gone_handle = pack[0]->handle;
  pack[0]->deinit();
  EXPECT_EQ(PartyController[g].member_count, 2);
  EXPECT_EQ(PartyController[g].leader, pack[1]->handle);
  for (int32_t m : PartyController[g].members) EXPECT_NE(m, gone_handle);
  // The table is reset with the level; an old link must not empty the
  // group that took the record since.
  party_table_reset();
  living_entity* other = creature({50, 0, 0});
  ASSERT_EQ(party_create(other), g);
  party_leave(pack[1]);
  EXPECT_EQ(pack[1]->ai.group, -1);
  EXPECT_EQ(PartyController[g].member_count, 1);
  EXPECT_EQ(PartyController[g].leader, other->handle);
}

TEST_F(AiThink, AGroupWithEnemiesReplansEverySecondAndOtherwiseEveryTwoOrSo) {
  living_entity* rat = creature({0, 0, 0});
  const int g = party_create(rat);
  PartyController[g].flags |= PG_FAST_REPLAN;
  hero("Ruvizo", rat->orient.forward * 4.0f);
  party_update();
  EXPECT_EQ(PartyController[g].plan_timer - timer_game_clock, 1000);
  // Without enemies the fast flag goes and the wait is 1500-2500 ms.
  party_table_reset();
  living_entity* lone = creature({200, 0, 200});
  const int g2 = party_create(lone);
  PartyController[g2].flags |= PG_FAST_REPLAN;
  party_update();
  EXPECT_FALSE(PartyController[g2].flags & PG_FAST_REPLAN);
  const int wait = PartyController[g2].plan_timer - timer_game_clock;
  EXPECT_GE(wait, 1500);
  EXPECT_LE(wait, 2500);
}

// ---- following the leader -------------------------------------------------------------

TEST_F(AiThink, FormationPlacesLieBehindTheLeader) {
  const vector f(0, 0, 1);
  struct Case {
    int n;
    vector at;
  } cases[] = {{1, {-2, 0, -2}}, {2, {2, 0, -2}}, {3, {0, 0, -4}}, {4, {4, 0, -4}}, {5, {-4, 0, -4}}, {0, {0, 0, 0}}};
  for (const Case& c : cases) {
    const vector p = ai_formation_point(vector(0, 0, 0), f, c.n);
    EXPECT_NEAR(p.x, c.at.x, 1e-5f) << c.n;
    EXPECT_NEAR(p.z, c.at.z, 1e-5f) << c.n;
  }
}

TEST_F(AiThink, TheHeroesFollowTheirLeaderIntoFormation) {
  living_entity* party[4] = {hero("Ruvizo", {0, 0, 0}), hero("Rivud", {1.5f, 0, 0}), hero("Ruvizo", {0, 0, 1.5f}),
                             hero("Rivud", {1.5f, 0, 1.5f})};
  Controlled = party[0];
  const vector goal(4, 0, 14);
  ASSERT_GE(ai_queue_walk_to(&party[0]->ai, goal, 0, false, 999999), 0);
  float closest = 1e9f;
  for (int i = 0; i < 30 * 20; i++) {
    frame();
    for (int a = 0; a < 4; a++)
      for (int b = a + 1; b < 4; b++) closest = std::fmin(closest, flat_distance(party[a]->pos, party[b]->pos));
  }
  EXPECT_LT(flat_distance(party[0]->pos, goal), 0.6f);
  for (int i = 1; i < 4; i++) {
    EXPECT_GE(party[i]->ai.formation, 1) << i;
    const vector place = ai_formation_point(party[0]->pos, party[0]->orient.forward, party[i]->ai.formation);
    EXPECT_LT(flat_distance(party[i]->pos, place), 1.5f) << i;
  }
  EXPECT_GT(closest, 0.6f);
}

// A saved game gives back where the heroes stood and their AI state, but
// not who follows whom or which place behind the leader each one holds: the
// loaded followers learn their leader at their first think, after the
// leader has already handed out places to nobody. The one standing more than
// four back must not head for the leader himself then, nor start the others
// stepping aside.
TEST_F(AiThink, APartyStandingWhenSavedStandsWhereItStoodAfterTheLoad) {
  const char* names[4] = {"Ruvizo", "Rivud", "Zazuru", "Rivadara"};
  living_entity* saved[4];
  saved[0] = hero(names[0], {0, 0, 0});
  const vector f = saved[0]->orient.forward, side = saved[0]->orient.right;
  // Each within a step of its place; the third a little behind and aside of his.
  const vector at[4] = {saved[0]->pos, ai_formation_point(saved[0]->pos, f, 1), ai_formation_point(saved[0]->pos, f, 2),
                        ai_formation_point(saved[0]->pos, f, 3) - f * 0.6f + side * 0.3f};
  ASSERT_GT(flat_distance(at[3], at[0]), 4.2f);
  for (int i = 1; i < 4; i++) {
    saved[i] = hero(names[i], at[i]);
    ai_set_state(&saved[i]->ai, AI_STATE_TRAVELING, 5);
    saved[i]->ai.leader = saved[0]->handle;
    saved[i]->ai.formation = i;
  }
  uint8_t record[4][SAVE_ENTITY_SLOT_SIZE];
  int length[4];
  for (int i = 0; i < 4; i++) ASSERT_GT(length[i] = saved[i]->save(record[i], sizeof record[i]), 0) << i;
  for (living_entity* e : saved) object_mark_deleted(e);
  objects_delete_pending();

  // The load: the party is made afresh at the level's start points, then
  // each hero takes its record.
  living_entity* party[4];
  for (int i = 0; i < 4; i++) {
    party[i] = hero(names[i], {1.5f * static_cast<float>(i % 2), 0, 1.5f * static_cast<float>(i / 2)});
    ASSERT_EQ(party[i]->load(record[i], length[i]), length[i]) << i;
    ASSERT_LT(flat_distance(party[i]->pos, at[i]), 1e-4f) << i;
  }
  Controlled = party[0];
  float furthest[4] = {};
  for (int k = 0; k < 30 * 4; k++) {
    frame();
    for (int i = 0; i < 4; i++) furthest[i] = std::fmax(furthest[i], flat_distance(party[i]->pos, at[i]));
  }
  for (int i = 0; i < 4; i++) EXPECT_LT(furthest[i], 0.05f) << names[i] << " walked off after the load";
  for (int i = 1; i < 4; i++) EXPECT_EQ(party[i]->ai.formation, i) << names[i];
}

// ---- state handlers -------------------------------------------------------------------------

TEST_F(AiThink, HidingFadesOutAndAStateChangeFadesBackInFirst) {
  living_entity* rat = creature({0, 0, 0});
  ai_hide_toggle(&rat->ai);
  ai_queue_execute(&rat->ai);
  ASSERT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_HIDING, 9));
  run(0.25f);
  EXPECT_NEAR(kit.model(rat)->alpha(), 255 - 128 * 0.5, 6);
  run(0.4f);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_HIDING, 10));
  EXPECT_EQ(kit.model(rat)->alpha(), 127);
  EXPECT_EQ(ai_fade_alpha(1.0f), 127);
  ai_set_state(&rat->ai, AI_STATE_TRAVELING, 2);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_HIDING, 11));
  run(0.6f);
  EXPECT_EQ(kit.model(rat)->alpha(), 255);
  EXPECT_NE(rat->ai.state, AI_STATE_HIDING);
}

TEST_F(AiThink, StunsAndHoldsEndOnTheirTime) {
  living_entity* rat = creature({0, 0, 0});
  ai_stun(&rat->ai, 1000);
  ASSERT_EQ(rat->ai.state, AI_STATE_DISABLED);
  run(0.8f);
  EXPECT_EQ(rat->ai.state, AI_STATE_DISABLED);
  run(0.4f);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
  ai_hold(&rat->ai, 500);
  run(9.5f);
  EXPECT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_DISABLED, 49));
  run(0.7f);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
  // A knock-down the type has no fall for ends at once.
  ai_knock_down(&rat->ai, 2000);
  frame();
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
}

TEST_F(AiThink, AWanderThatFindsNoPlaceForTenTriesEnds) {
  living_entity* rat = creature({0, 0, 0});
  EntityWorldHooks saved = entity_world();
  EntityWorldHooks w = saved;
  w.point_walkable = [](const vector&, int) { return false; };
  entity_set_world_hooks(w);
  const vector at(0, 0, 0);
  ai_queue_add(&rat->ai, 13, 1000, 0, -1, &at, 0, AI_NO_SPELL, 5.0f);
  ai_queue_execute(&rat->ai);
  ASSERT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_TRAVELING, 8));
  frame();
  entity_set_world_hooks(saved);
  EXPECT_EQ(rat->ai.state, AI_STATE_IDLE);
  // With room it walks to a point at least 2.0 from the centre.
  ai_queue_add(&rat->ai, 13, 1000, 0, -1, &at, 0, AI_NO_SPELL, 5.0f);
  rat->ai.spare_timer = timer_game_clock;
  ai_queue_execute(&rat->ai);
  run(0.1f);
  ASSERT_TRUE(ai_is_in_state(&rat->ai, AI_STATE_TRAVELING, 8));
  vector end;
  ASSERT_TRUE(ai_get_path_end(&rat->ai, &end));
  EXPECT_GE(flat_distance(end, at), 2.0f - 1e-3f);
  EXPECT_LE(flat_distance(end, at), 5.1f + 1e-3f);
}

}  // namespace

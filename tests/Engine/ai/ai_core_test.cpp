// The AI core on the world kit: its states' entry and exit rules, the queue
// of orders, and the queue's save record.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_core.h"
#include "quarn/os/timer.h"
#include "tests/support/world_kit.h"

namespace {

const vector P1(1, 0, 0), P2(2, 0, 0), P3(1, 1, 1);

class AiCore : public WorldTest {
 protected:
  void SetUp() override {
    ai_install_core();
    ai_set_planner(nullptr);
    hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
    rat = kit.spawn(kit.type("Rat"), {3, 0, 0});
    hero->team = 0;
    rat->team = 1;
  }
  void TearDown() override { ai_set_planner(nullptr); }
  ai_component* ai() { return &hero->ai; }
  int add(int type, int priority, int target = -1) {
    return ai_queue_add(ai(), type, priority, 0, target, nullptr, 0, AI_NO_SPELL, 0.0f);
  }
  int count(int type) {
    int n = 0;
    for (const ai_action& a : ai()->queue) n += a.type == type;
    return n;
  }
  living_entity* hero = nullptr;
  living_entity* rat = nullptr;
};

TEST_F(AiCore, SetStateKeepsItsRules) {
  ai_set_state(ai(), AI_STATE_TRAVELING, 1);
  ASSERT_EQ(ai_set_state(ai(), AI_STATE_COMBAT, 15), 1);
  EXPECT_EQ(ai()->prev_state, AI_STATE_TRAVELING);
  EXPECT_EQ(ai()->prev_sub_state, 1);
  // The same state again changes nothing, not even the previous state.
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_COMBAT, 15), 0);
  EXPECT_EQ(ai()->prev_state, AI_STATE_TRAVELING);

  // Casting and stance switching refuse a knock-down.
  ai_set_state(ai(), AI_STATE_CAST_SPELL, 39);
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_DISABLED, 44), 0);
  ai_set_state(ai(), AI_STATE_COMBAT, 14);
  EXPECT_TRUE(ai()->flags & AIF_UNINTERRUPTIBLE);
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_DISABLED, 44), 0);
  ai_set_state(ai(), AI_STATE_IDLE, 0);
  EXPECT_FALSE(ai()->flags & AIF_UNINTERRUPTIBLE);
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_DISABLED, 44), 1);
  EXPECT_TRUE(ai()->flags & AIF_UNINTERRUPTIBLE);
}

TEST_F(AiCore, LeavingCastingForgetsTheSpell) {
  ai()->spell = 12;
  ai_set_state(ai(), AI_STATE_CAST_SPELL, 41);
  EXPECT_EQ(ai()->spell, 12);
  ai_set_state(ai(), AI_STATE_TRAVELING, 0);
  EXPECT_EQ(ai()->spell, -1);
}

TEST_F(AiCore, AStateAskedForWhileHidingWaitsForTheFadeIn) {
  ai_set_state(ai(), AI_STATE_HIDING, 10);
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_TRAVELING, 6), 1);
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_HIDING, 11));
  EXPECT_EQ(ai()->resume_state, AI_STATE_TRAVELING);
  EXPECT_EQ(ai()->resume_sub_state, 6);
  EXPECT_TRUE(ai()->flags & AIF_UNINTERRUPTIBLE);
  // Already fading back in: the request goes straight through.
  EXPECT_EQ(ai_set_state(ai(), AI_STATE_IDLE, 0), 1);
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_IDLE, 0));
}

TEST_F(AiCore, LeavingCombatFreesTheOffensePointAndItsFlags) {
  rat->character->offense_point_count = 8;
  ai()->target = rat->handle;
  ai_set_state(ai(), AI_STATE_COMBAT, 15);
  ai()->offense_point_index = 3;
  rat->ai.offense_points[3] = hero->handle;
  ai()->flags |= AIF_FIGHT_SLEEPER | AIF_LOW_AP;
  ai_set_state(ai(), AI_STATE_TRAVELING, 0);
  EXPECT_EQ(rat->ai.offense_points[3], -1);
  EXPECT_EQ(ai()->offense_point_index, -1);
  EXPECT_EQ(ai()->flags & (AIF_FIGHT_SLEEPER | AIF_LOW_AP), 0u);
}

// Every state's entry: what entering it sets up, and that the state before
// it is left behind as the previous one.
TEST_F(AiCore, EveryStateIsEnteredAndLeft) {
  struct Case {
    int state, sub;
    int target_after;  // -2: unchanged
    uint32_t flags_set, flags_clear;
  };
  const Case cases[] = {
      {AI_STATE_INACTIVE, 0, -2, 0, AIF_UNINTERRUPTIBLE},
      {AI_STATE_IDLE, 0, -1, 0, AIF_UNINTERRUPTIBLE},
      {AI_STATE_TRAVELING, 6, -1, 0, 0},
      {AI_STATE_TRAVELING, 1, -2, 0, 0},
      {AI_STATE_COMBAT, 15, 77, 0, AIF_LASTING_COMBAT},
      {AI_STATE_COMBAT, 14, 77, AIF_UNINTERRUPTIBLE, AIF_LASTING_COMBAT},
      {AI_STATE_COMBAT, 22, 77, AIF_LASTING_COMBAT, 0},
      {AI_STATE_COMBAT, 21, 77, 0, AIF_LASTING_COMBAT},
      {AI_STATE_CAST_SPELL, 40, -2, 0, AIF_UNINTERRUPTIBLE},
      {AI_STATE_PATROL, 0, -2, 0, 0},
      {AI_STATE_SUMMONING, 0, -2, 0, 0},
      {AI_STATE_BANISHING, 0, -2, 0, 0},
      {AI_STATE_DISABLED, 47, -2, AIF_UNINTERRUPTIBLE, 0},
      {AI_STATE_HIDING, 9, -2, 0, 0},
      {AI_STATE_SNEAKING, 12, -2, 0, 0},
      {AI_STATE_MOUNT_TRAVEL, 0, -2, 0, 0},
      {AI_STATE_MOUNT_IDLE, 0, -2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Ai_state_names[c.state]) + " " + std::to_string(c.sub));
    ai_core_reset_to_idle(ai());
    ai_set_state(ai(), AI_STATE_TRAVELING, 0);
    ai()->target = 5;
    ai()->pending_target = 77;
    ai()->moving = 1;
    ai()->path_flags = 2;
    ai()->flags = AIF_UNINTERRUPTIBLE | (c.flags_clear & AIF_LASTING_COMBAT);
    timer_game_clock += 10;
    ASSERT_EQ(ai_set_state(ai(), c.state, c.sub), 1);
    EXPECT_TRUE(ai_is_in_state(ai(), c.state, c.sub));
    EXPECT_EQ(ai()->prev_state, AI_STATE_TRAVELING);
    EXPECT_EQ(ai()->moving, 0);
    EXPECT_EQ(ai()->path_flags & 2, 0);
    if (c.state != AI_STATE_COMBAT || c.sub != 21) EXPECT_EQ(ai()->state_timer, timer_game_clock);
    if (c.target_after != -2) EXPECT_EQ(ai()->target, c.target_after);
    EXPECT_EQ(ai()->flags & c.flags_set, c.flags_set);
    EXPECT_EQ(ai()->flags & c.flags_clear, 0u);
    // Leaving it again: back to idle, which forgets the target; a hidden
    // entity fades back in first and goes idle after.
    if (c.state == AI_STATE_IDLE) continue;
    ai_core_reset_to_idle(ai());
    if (c.state == AI_STATE_HIDING) {
      EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_HIDING, 11));
      EXPECT_EQ(ai()->resume_state, AI_STATE_IDLE);
      continue;
    }
    EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_IDLE, 0));
    EXPECT_EQ(ai()->prev_state, c.state);
    EXPECT_EQ(ai()->target, -1);
  }
}

TEST_F(AiCore, CombatPauseLastsHalfToOneAndAHalfSeconds) {
  for (int i = 0; i < 20; ++i) {
    ai_core_reset_to_idle(ai());
    ai_set_state(ai(), AI_STATE_COMBAT, 21);
    const int wait = ai()->state_timer - timer_game_clock;
    EXPECT_GE(wait, 500);
    EXPECT_LE(wait, 1500);
  }
}

TEST_F(AiCore, SixthOrderReplacesOnlyTheLowestWhenHigher) {
  const int pri[] = {10, 20, 30, 40, 50};
  for (int i = 0; i < 5; ++i) {
    const vector pi(float(i), 0, 0);
    ASSERT_EQ(ai_queue_add(ai(), 13, pri[i], 0, -1, &pi, 0, AI_NO_SPELL, 0.0f), i);
  }
  const vector p(9, 0, 0);
  EXPECT_EQ(ai_queue_add(ai(), 13, 10, 0, -1, &p, 0, AI_NO_SPELL, 0.0f), -1);  // equal: not placed
  EXPECT_EQ(ai_queue_add(ai(), 13, 5, 0, -1, &p, 0, AI_NO_SPELL, 0.0f), -1);
  EXPECT_EQ(ai()->queue[0].priority, 10);
  EXPECT_EQ(ai_queue_add(ai(), 13, 11, 0, -1, &p, 0, AI_NO_SPELL, 0.0f), 0);
  EXPECT_EQ(ai()->queue[0].priority, 11);
  EXPECT_EQ(ai()->queue[0].point.x, 9.0f);
  // A locked slot is never the one replaced.
  ai()->queue[0].flags |= AIA_LOCKED;
  const vector p8(8, 0, 0);
  EXPECT_EQ(ai_queue_add(ai(), 13, 15, 0, -1, &p8, 0, AI_NO_SPELL, 0.0f), -1);
  EXPECT_EQ(ai_queue_add(ai(), 13, 25, 0, -1, &p8, 0, AI_NO_SPELL, 0.0f), 1);
  EXPECT_EQ(ai()->queue[0].priority, 11);
}

TEST_F(AiCore, ConflictingOrdersReplaceEachOther) {
  living_entity* rat2 = kit.spawn(kit.type("Rat"), {-3, 0, 0});
  rat2->team = 1;
  ASSERT_GE(ai_queue_attack(ai(), rat->handle, 100), 0);
  ai_queue_add(ai(), 14, 50, 0, rat->handle, nullptr, 0, AI_NO_SPELL, 0.0f);
  ASSERT_GE(ai_queue_attack(ai(), rat2->handle, 100), 0);
  EXPECT_EQ(count(1), 1);
  EXPECT_EQ(count(14), 0);
  EXPECT_EQ(ai()->queue[ai_queue_find(ai(), 1, 1, 0, -1, nullptr, 0, 0)].target, rat2->handle);

  // An equal spell order changes only the priority of the queued one.
  const int s = ai_queue_action3(ai(), 7, 30);
  EXPECT_EQ(ai_queue_action3(ai(), 7, 60), s);
  EXPECT_EQ(ai()->queue[s].priority, 60);
  EXPECT_EQ(count(3), 1);
  // Another spell replaces it: one cast at a time.
  ai_queue_action3(ai(), 8, 60);
  EXPECT_EQ(count(3), 1);
  EXPECT_EQ(ai()->queue[ai_queue_find(ai(), 1, 3, 0, -1, nullptr, 0, 0)].spell, 8);

  // Exclusive orders: a path order removes the attack.
  ai()->flags |= AIF_EXCLUSIVE_ORDERS;
  ai_queue_path_to(ai(), vector(5, 0, 5), 0, 10, true);
  EXPECT_EQ(count(1), 0);
  EXPECT_EQ(count(9), 1);
}

TEST_F(AiCore, AttackOrdersAreRefusedAtFriendsAndTheDead) {
  living_entity* friend_ = kit.spawn(kit.type("Rivud"), {1, 0, 0}, OBJ_PLAYER);
  friend_->team = 0;
  EXPECT_EQ(ai_queue_attack(ai(), friend_->handle, 100), -1);
  rat->state |= ES_DEAD;
  EXPECT_EQ(ai_queue_attack(ai(), rat->handle, 100), -1);
  EXPECT_EQ(ai_queue_attack(ai(), 123456, 100), -1);
  for (const ai_action& a : ai()->queue) EXPECT_EQ(a.type, AI_ACTION_NONE);
}

TEST_F(AiCore, SortOrdersByStanceThenPriorityThenAge) {
  struct Slot {
    int type, priority;
    float time;
    uint32_t flags;
  };
  struct Case {
    const char* name;
    Slot slots[5];
    int head_type, head_priority;
  };
  const Case cases[] = {
      {"higher priority first", {{12, 10, 1, 0}, {12, 30, 1, 0}, {12, 20, 1, 0}, {}, {}}, 12, 30},
      {"newer of equals first", {{12, 10, 1, 0}, {13, 10, 5, 0}, {}, {}, {}}, 13, 10},
      {"stance leads any priority", {{12, 999, 1, 0}, {6, 0, 1, 0}, {}, {}, {}}, 6, 0},
      {"sneak leads any priority", {{12, 999, 9, 0}, {15, 1, 1, 0}, {}, {}, {}}, 15, 1},
      {"suspended sorts late", {{6, 999, 1, AIA_SUSPENDED}, {12, 1, 1, 0}, {}, {}, {}}, 12, 1},
      {"marked sorts last", {{12, 999, 1, AIA_MARKED}, {12, 2, 1, AIA_SUSPENDED}, {13, 0, 1, 0}, {}, {}}, 13, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ai_queue_clear(ai());
    for (int i = 0; i < 5; ++i) {
      ai_action& a = ai()->queue[i];
      a.type = c.slots[i].type;
      a.priority = c.slots[i].type ? c.slots[i].priority : -1;
      a.time = c.slots[i].time;
      a.flags = c.slots[i].flags;
      a.serial = 100 + i;
    }
    ai_queue_sort(ai());
    EXPECT_EQ(ai()->queue[0].type, c.head_type);
    EXPECT_EQ(ai()->queue[0].priority, c.head_priority);
    // Empty slots come after every order.
    bool seen_empty = false;
    for (const ai_action& a : ai()->queue) {
      if (a.type == AI_ACTION_NONE) seen_empty = true;
      else if (!(a.flags & (AIA_MARKED | AIA_SUSPENDED))) EXPECT_FALSE(seen_empty);
    }
  }
}

// Two stance switches both claim to lead; the sort must still give one
// answer whatever order the slots start in.
TEST_F(AiCore, TwoLeadingOrdersSortTheSameFromAnyStart) {
  for (int rot = 0; rot < 5; ++rot) {
    ai_queue_clear(ai());
    const int types[5] = {6, 12, 15, 13, 6};
    for (int i = 0; i < 5; ++i) {
      ai_action& a = ai()->queue[(i + rot) % 5];
      a.type = types[i];
      a.priority = 10 * i;
      a.serial = 50 + i;
    }
    ai_queue_sort(ai());
    EXPECT_TRUE(ai()->queue[0].type == 6 || ai()->queue[0].type == 15);
    EXPECT_TRUE(ai()->queue[1].type == 6 || ai()->queue[1].type == 15);
    EXPECT_TRUE(ai()->queue[2].type == 6 || ai()->queue[2].type == 15);
    EXPECT_EQ(ai()->queue[3].priority, 30);
    EXPECT_EQ(ai()->queue[4].priority, 10);
  }
}

TEST_F(AiCore, AnAttackOrderBringsTheHeroIntoCombat) {
  hero->state |= ES_COMBAT_READY;
  ai_queue_attack(ai(), rat->handle, 999999);
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_COMBAT, 15));
  EXPECT_EQ(ai()->target, rat->handle);
  EXPECT_EQ(hero->combat.target, rat->handle);
  // The running order is not restarted on later think steps.
  const int32_t since = ai()->state_timer;
  timer_game_clock += 100;
  ai_queue_execute(ai());
  EXPECT_EQ(ai()->state_timer, since);
  // The rat dies: the attack is suspended, then gone once the body falls.
  rat->state |= ES_DEAD;
  ai_queue_execute(ai());
  const int held = ai_queue_find(ai(), 1, 1, 0, -1, nullptr, 0, 0);
  ASSERT_GE(held, 0);
  EXPECT_TRUE(ai()->queue[held].flags & AIA_SUSPENDED);
  rat->state |= ES_DOWN;
  ai_queue_execute(ai());
  EXPECT_EQ(count(1), 0);
}

TEST_F(AiCore, AWalkOrderTravelsAlongNavigationsPath) {
  static int planned = 0;
  planned = 0;
  ai_set_planner([](const vector& s, int, const vector& g, int, float, bool) {
    ++planned;
    ai_path* p = new ai_path;
    p->count = 3;
    p->points[0] = s;
    p->points[1] = vector(s.x, 0, g.z);
    p->points[2] = g;
    return p;
  });
  const vector goal(6, 0, 8);
  ai_queue_walk_to(ai(), goal, 0, true, 999999);
  ai_queue_execute(ai());
  EXPECT_EQ(planned, 1);
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_TRAVELING, 6));
  ASSERT_NE(ai()->path, nullptr);
  EXPECT_EQ(ai()->path->count, 3);
  vector end;
  ASSERT_TRUE(ai_get_path_end(ai(), &end));
  EXPECT_EQ(end.x, 6.0f);
  EXPECT_EQ(end.z, 8.0f);
  EXPECT_EQ(ai()->path_timers[0], timer_game_clock + 1000);

  // No path comes back: the order stays queued and nothing moves.
  ai_core_reset_to_idle(ai());
  ai_queue_clear(ai());
  ai_set_planner([](const vector&, int, const vector&, int, float, bool) -> ai_path* { return nullptr; });
  ai_queue_path_to(ai(), goal, 0, 10, true);
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_IDLE, 0));
  EXPECT_EQ(count(9), 1);
}

TEST_F(AiCore, AnOrderThatCompletesGivesWayToTheNext) {
  hero->state |= ES_COMBAT_READY;
  ai_queue_path_to(ai(), vector(4, 0, 0), 0, 999999, true);
  ai_queue_action3(ai(), 7, 10);
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_TRAVELING, 0));
  // The path is walked to its end.
  ai_path_free(ai()->path);
  ai()->path = nullptr;
  ai_queue_execute(ai());
  EXPECT_EQ(count(9), 0);
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_CAST_SPELL, 39));
  EXPECT_EQ(ai()->spell, 7);
}

TEST_F(AiCore, ASuspendedHeadBlocksTheQueue) {
  ai_queue_add(ai(), 12, 10, AIA_SUSPENDED, -1, &P1, 0, AI_NO_SPELL, 0.0f);
  ai_queue_add(ai(), 13, 5, 0, -1, &P2, 0, AI_NO_SPELL, 0.0f);
  ai_set_state(ai(), AI_STATE_DISABLED, 47);  // suspends every order
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_DISABLED, 47));
  for (const ai_action& a : ai()->queue)
    if (a.type) EXPECT_TRUE(a.flags & AIA_SUSPENDED);
}

TEST_F(AiCore, StanceOrdersToggleAndDrawWeapons) {
  EXPECT_GE(ai_queue_action6(ai(), 1, 999999), 0);
  EXPECT_EQ(count(6), 1);
  // Asking again while one is queued adds no second switch.
  EXPECT_EQ(ai_queue_action6(ai(), 1, 999999), -1);
  EXPECT_EQ(count(6), 1);
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_COMBAT, 14));
  EXPECT_TRUE(ai_is_uninterruptible(ai()));
}

TEST_F(AiCore, MarkedOrdersOutliveACutscene) {
  add(2, 50, rat->handle);
  ai_queue_mark_all(ai());
  add(12, 40);
  ai_queue_add(ai(), 13, 30, AIA_PASSIVE, -1, &P3, 0, AI_NO_SPELL, 0.0f);
  ai_queue_remove_unmarked(ai());
  EXPECT_EQ(count(2), 1);
  EXPECT_EQ(count(12) + count(13), 0);
  EXPECT_TRUE(ai_queue_has_active(ai()));
  EXPECT_FALSE(ai_queue_remove(ai(), 5));
  EXPECT_FALSE(ai_queue_remove(ai(), -1));
}

// ---- the save record ------------------------------------------------------------

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putf(std::vector<uint8_t>& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(b, v);
}
uint32_t name_sum(const char* s) {
  uint32_t h = 0;
  for (; *s; ++s) h = h * 31u + static_cast<unsigned char>(*s);
  return h;
}

TEST_F(AiCore, ACreatureReadsItsQueueFromTheRecordLayout) {
  rat->set_name("target_rat");
  living_entity* golem = kit.spawn(kit.type("Golem"), {8, 0, 0});
  std::vector<uint8_t> b;
  put32(b, 4);  // behaviour
  // slot 0: an attack on the rat, running
  put32(b, 1); put32(b, AIA_QUEUED); put32(b, 901); putf(b, 2.5f); put32(b, 999999);
  putf(b, 0); putf(b, 0); putf(b, 0); put32(b, 0); put32(b, AI_NO_SPELL); put32(b, name_sum("target_rat")); putf(b, 0);
  // slot 1: a timed move
  put32(b, 13); put32(b, AIA_QUEUED | AIA_RUN); put32(b, 902); putf(b, 3.0f); put32(b, 40);
  putf(b, 1.5f); putf(b, -2.0f); putf(b, 7.25f); put32(b, 3); put32(b, AI_NO_SPELL); put32(b, name_sum("")); putf(b, 0.75f);
  for (int i = 2; i < 5; ++i) {
    put32(b, 0); put32(b, 0); put32(b, 0); putf(b, 0); put32(b, 0xFFFFFFFFu);
    putf(b, 0); putf(b, 0); putf(b, 0); put32(b, 0); put32(b, AI_NO_SPELL); put32(b, 0); putf(b, 0);
  }
  ASSERT_EQ(b.size(), 244u);
  ASSERT_EQ(ai_queue_read(&golem->ai, b.data(), b.size()), 244u);
  const ai_component& g = golem->ai;
  EXPECT_EQ(g.behaviour, 4);
  EXPECT_EQ(g.queue[0].type, 1);
  EXPECT_EQ(g.queue[0].target, rat->handle);
  EXPECT_EQ(g.queue[0].priority, 999999);
  EXPECT_EQ(g.queue[0].time, 2.5f);
  EXPECT_EQ(g.queue[1].type, 13);
  EXPECT_EQ(g.queue[1].target, -1);
  EXPECT_EQ(g.queue[1].point.z, 7.25f);
  EXPECT_EQ(g.queue[1].arg, 3);
  EXPECT_EQ(g.queue[1].fvalue, 0.75f);
  EXPECT_EQ(g.queue[2].type, AI_ACTION_NONE);

  // Written back, the same bytes.
  uint8_t out[244];
  ASSERT_EQ(ai_queue_write(&golem->ai, out, sizeof out), 244u);
  EXPECT_EQ(std::memcmp(out, b.data(), 4 + 2 * 48), 0);

  // Short records and heroes' 4-byte ones.
  EXPECT_EQ(ai_queue_read(&golem->ai, b.data(), 243), 0u);
  EXPECT_EQ(g.queue[0].type, 1);
  EXPECT_EQ(ai_queue_write(ai(), out, sizeof out), 4u);
  EXPECT_LE(ai_queue_write(ai(), out, 33), 33u);
  EXPECT_EQ(ai_queue_write(&golem->ai, out, 243), 0u);
}

TEST_F(AiCore, AQueueSavedMidOrderResumesIt) {
  hero->state |= ES_COMBAT_READY;
  living_entity* golem = kit.spawn(kit.type("Golem"), {8, 0, 0});
  golem->team = 2;
  golem->state |= ES_COMBAT_READY;
  golem->set_name("golem_a");
  hero->set_name("hero_a");
  ai_queue_attack(&golem->ai, hero->handle, 500);
  ai_queue_path_to(&golem->ai, vector(1, 0, 1), 0, 100, true);
  ai_queue_execute(&golem->ai);
  ASSERT_TRUE(ai_is_in_state(&golem->ai, AI_STATE_COMBAT, 15));
  uint8_t rec[AI_QUEUE_RECORD_BYTES];
  ASSERT_EQ(ai_queue_write(&golem->ai, rec, sizeof rec), sizeof rec);

  living_entity* copy = kit.spawn(kit.type("Golem"), {8, 0, 0});
  copy->state |= ES_COMBAT_READY;
  ASSERT_EQ(ai_queue_read(&copy->ai, rec, sizeof rec), sizeof rec);
  ai_queue_execute(&copy->ai);
  EXPECT_TRUE(ai_is_in_state(&copy->ai, AI_STATE_COMBAT, 15));
  EXPECT_EQ(copy->ai.target, hero->handle);
}

TEST_F(AiCore, CloseAttacksNeedTheTargetsBackWithinReach) {
  rat->pos = vector(0, 0, 0);
  rat->orient = matrix(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  struct Case {
    vector at;
    bool queued;
  } cases[] = {{vector(0, 0, -1.2f), true}, {vector(0, 0, 1.2f), false}, {vector(1.2f, 0, 0), false},
               {vector(0, 0, -4.0f), false}};
  for (const Case& c : cases) {
    ai_queue_clear(ai());
    hero->pos = c.at;
    EXPECT_EQ(ai_queue_close_action(ai(), rat->handle, 50) >= 0, c.queued) << c.at.x << " " << c.at.z;
  }
  hero->pos = vector(0, 0, -1.2f);
  ai_queue_clear(ai());
  ai_queue_close_action(ai(), rat->handle, 50);
  ai_queue_execute(ai());
  EXPECT_TRUE(ai_is_in_state(ai(), AI_STATE_COMBAT, 17));
  EXPECT_EQ(ai()->target, rat->handle);
  EXPECT_TRUE(ai()->flags & AIF_FIGHT_SLEEPER);
}

TEST_F(AiCore, APickUpOrderTakesOnlyWhatLiesWithinReach) {
  const matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  ground_item* near = ground_item_drop(item_create_by_name("Gold"), {1.5f, 0, 1.5f}, m, 45, -1, -1);
  ground_item* far = ground_item_drop(item_create_by_name("Gold"), {3, 0, 3}, m, 45, -1, -1);
  ASSERT_TRUE(near && far);
  near->pos = vector(1.5f, 0, 1.5f);  // 2.12 away
  far->pos = vector(3, 0, 3);
  const uint32_t gold = Party_inventory.gold;
  ai_queue_pick_up(ai(), far->handle, 50);
  ai_queue_execute(ai());
  EXPECT_EQ(count(17), 0);
  EXPECT_EQ(Party_inventory.gold, gold);
  ai_queue_pick_up(ai(), near->handle, 50);
  ai_queue_execute(ai());
  EXPECT_EQ(count(17), 0);
  EXPECT_EQ(Party_inventory.gold, gold + 45);
}

}  // namespace

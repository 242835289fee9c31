#include "Orrimund/control/world_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/combat.h"
#include "Engine/ai/ai_core.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/player/party.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "tests/support/world_kit.h"

namespace {

// Keys and mouse as a test scripts them.
std::map<int, double> Keys;  // held share of the frame
int Down[3], Presses[3], Releases[3], Held_ms[3];
int Mouse_x = 320, Mouse_y = 200, Wheel = 0;
bool Over_ui = false;

const WorldInputDevices Fake{
    [](int k) { return Keys.count(k) && Keys[k] > 0; },
    [](int k) { return Keys.count(k) ? Keys[k] : 0.0; },
    [](int b) { return Down[b] != 0; },
    [](int b) { return Presses[b]; },
    [](int b) { return Releases[b]; },
    [](int b) { return Held_ms[b]; },
    [](int* x, int* y) { *x = Mouse_x, *y = Mouse_y; },
    [] { return Wheel; },
    [] { return Over_ui; }};

void reset_devices() {
  Keys.clear();
  for (int b = 0; b < 3; b++) Down[b] = Presses[b] = Releases[b] = Held_ms[b] = 0;
  Mouse_x = 320, Mouse_y = 200, Wheel = 0;
  Over_ui = false;
}

class InputRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_devices();
    world_input_set_devices(&Fake);
    World_input = WorldInputState{};
    GameFlags = GF_SINGLE_PLAYER;
  }
  void TearDown() override { world_input_set_devices(nullptr); }
  uint32_t build() {
    InputRecord r;
    input_record_build(r);
    return r.bits;
  }
  void click() { Presses[MOUSE_LEFT_BUTTON] = 1, Down[MOUSE_LEFT_BUTTON] = 1; }
};

TEST_F(InputRecordTest, AClickDropsShiftAndAltButKeepsCtrl) {
  struct Case {
    std::vector<int> keys;
    uint32_t bits;
  };
  const Case cases[] = {
      {{}, IR_CLICK},
      {{KEY_LSHIFT}, IR_CLICK},
      {{KEY_RALT}, IR_CLICK},
      {{KEY_LSHIFT, KEY_LALT}, IR_CLICK},
      {{KEY_LCTRL}, IR_CLICK | IR_CTRL},
      {{KEY_RCTRL, KEY_RSHIFT}, IR_CLICK | IR_CTRL},
      {{41}, IR_CLICK | IR_STUDY},
      {{41, KEY_LSHIFT}, IR_CLICK | IR_TELEPORT},
  };
  for (const Case& c : cases) {
    SetUp();
    for (int k : c.keys) Keys[k] = 1.0;
    click();
    EXPECT_EQ(build(), c.bits) << c.keys.size();
    EXPECT_TRUE(World_input.held_click);
    EXPECT_FALSE(World_input.walk_marker);
  }
  // Without a click the modifiers and the right button show.
  SetUp();
  Keys[KEY_LSHIFT] = Keys[KEY_LALT] = 1.0;
  Presses[MOUSE_RIGHT_BUTTON] = 1;
  EXPECT_EQ(build(), IR_SHIFT | IR_ALT | IR_RIGHT_DOWN);
}

TEST_F(InputRecordTest, OverAScreenElementThereIsNoClickAndNoRightButton) {
  Over_ui = true;
  click();
  Presses[MOUSE_RIGHT_BUTTON] = Releases[MOUSE_RIGHT_BUTTON] = 1;
  EXPECT_EQ(build(), 0u);
  EXPECT_FALSE(World_input.held_click);
}

TEST_F(InputRecordTest, HoldingTheButtonFourHundredMillisecondsTravels) {
  click();
  build();
  Presses[MOUSE_LEFT_BUTTON] = 0;
  Held_ms[MOUSE_LEFT_BUTTON] = 399;
  EXPECT_EQ(build() & IR_TRAVEL, 0u);
  Held_ms[MOUSE_LEFT_BUTTON] = 400;
  EXPECT_EQ(build() & IR_TRAVEL, IR_TRAVEL);
  // Released: the marker shows again and the hold is over.
  Down[MOUSE_LEFT_BUTTON] = 0;
  EXPECT_EQ(build() & IR_TRAVEL, 0u);
  EXPECT_TRUE(World_input.walk_marker);
  EXPECT_FALSE(World_input.held_click);
}

TEST_F(InputRecordTest, ArrowsCountOnlyWhenHeldAllFrameEdgesTurnAndTheWheelZooms) {
  struct Case {
    double left, right;
    int x, wheel;
    float turn, zoom;
  };
  const Case cases[] = {
      {1.0, 0.0, 320, 0, 1.0f, 0.0f},   {0.99, 0.0, 320, 0, 0.0f, 0.0f}, {0.0, 1.0, 320, 0, -1.0f, 0.0f},
      {0.0, 0.0, 2, 0, -1.0f, 0.0f},    {0.0, 0.0, 3, 0, 0.0f, 0.0f},    {0.0, 0.0, 637, 0, 1.0f, 0.0f},
      {0.0, 0.0, 636, 0, 0.0f, 0.0f},   {0.0, 0.0, 320, 1, 0.0f, -15.0f}, {0.0, 0.0, 320, -2, 0.0f, 15.0f},
  };
  for (const Case& c : cases) {
    Keys[KEY_LEFT] = c.left;
    Keys[KEY_RIGHT] = c.right;
    Wheel = c.wheel;
    InputRecord r;
    r.x = c.x;
    camera_input_from_mouse(r, 640);
    EXPECT_EQ(game_camera.turn_rate, c.turn) << c.left << " " << c.right << " x " << c.x;
    EXPECT_EQ(game_camera.zoom_rate, c.zoom) << c.wheel;
  }
  // A button held stops edge turning.
  Keys.clear();
  Wheel = 0;
  Down[MOUSE_LEFT_BUTTON] = 1;
  InputRecord r;
  r.x = 0;
  camera_input_from_mouse(r, 640);
  EXPECT_EQ(game_camera.turn_rate, 0.0f);
  game_camera.set_input(0, 0, 0);
}

TEST(PickObject, TakesTheCandidateNearestTheRayWithinItsRadius) {
  game_object a, b, c;
  const vector camera{0, 10, -10}, hit{0, 0, 10};
  // The segment passes (0, 5, 0); a sits on it, b beside it, c far off.
  const PickCandidate list[] = {{&a, {0, 5, 0}, 1.0f}, {&b, {0.6f, 5, 0}, 1.0f}, {&c, {5, 5, 0}, 1.0f}};
  EXPECT_EQ(pick_object_among(list, 3, camera, hit), &a);
  // Horizontally the nearest point must lie within sqrt(r / 2): 0.6 from b's
  // centre is within 1.0 but 0.36 is not below 0.5 x 1.0 ... so b is taken
  // alone, and 0.8 (0.64) is not.
  const PickCandidate near_b[] = {{&b, {0.6f, 5, 0}, 1.0f}};
  EXPECT_EQ(pick_object_among(near_b, 1, camera, hit), &b);
  const PickCandidate off_b[] = {{&b, {0.8f, 5, 0}, 1.0f}};
  EXPECT_EQ(pick_object_among(off_b, 1, camera, hit), nullptr);
  // The segment ends at the hit: a candidate beyond it is measured from the end.
  const PickCandidate beyond[] = {{&c, {0, 0, 12}, 1.0f}};
  EXPECT_EQ(pick_object_among(beyond, 1, camera, hit), nullptr);
  EXPECT_EQ(pick_object_among(list, 0, camera, hit), nullptr);
}

class Classify : public WorldTest {
 protected:
  void SetUp() override {
    GameFlags = GF_SINGLE_PLAYER;
    Hud_targeting = TARGETING_NONE;
    hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
    saved = Selected_entity;
    Selected_entity = hero;
  }
  void TearDown() override { Selected_entity = saved; }
  int classify(game_object* o) {
    bool valid;
    return target_classify(o, -1, o ? o->pos : vector{0, 0, 0}, &valid);
  }
  living_entity* hero = nullptr;
  living_entity* saved = nullptr;
};

TEST_F(Classify, GoldIsPickedUpWithinThreeUnits) {
  ground_item gold;
  gold.type = OBJ_GROUND_ITEM;
  struct Case {
    float d;
    int code;
  };
  for (const Case& c : {Case{2.0f, TC_GOLD}, Case{3.0f, TC_GOLD}, Case{3.1f, TC_NONE}}) {
    gold.pos = {c.d * 0.6f, 0, c.d * 0.8f};
    EXPECT_EQ(classify(&gold), c.code) << c.d;
  }
}

TEST_F(Classify, CreaturesByHostilityAndHeroesBySelection) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {2, 0, 0});
  living_entity* friend_hero = kit.spawn(kit.type("Rivud"), {1, 0, 1}, OBJ_PLAYER);
  hero->hostile_mask = 1u << rat->team;
  if (rat->team == hero->team) GTEST_SKIP() << "the demo rat is on the heroes' team";
  EXPECT_EQ(classify(rat), TC_ENEMY);
  hero->hostile_mask = 0;
  EXPECT_EQ(classify(rat), TC_NONE);
  EXPECT_EQ(classify(friend_hero), TC_MEMBER);
  EXPECT_EQ(classify(hero), TC_NONE) << "the selected hero itself";
  friend_hero->state |= ES_DEAD;
  EXPECT_EQ(classify(friend_hero), TC_NONE);
  // In a conversation nothing is a target and the aim is dropped.
  Hud_targeting = TARGETING_LOCK;
  game_flags_set(GF_CONVERSATION);
  EXPECT_EQ(classify(rat), TC_NONE);
  EXPECT_EQ(Hud_targeting, TARGETING_NONE);
  game_flags_clear(GF_CONVERSATION);
}

TEST_F(Classify, AttackOrderQueuesTheControlledHerosAttackOnlyOnAnEnemy) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {2, 0, 0});
  if (rat->team == hero->team) GTEST_SKIP() << "the demo rat is on the heroes' team";
  hero->hostile_mask = 0;
  ai_queue_clear(&hero->ai);
  EXPECT_FALSE(attack_order(rat)) << "not hostile";
  for (const ai_action& a : hero->ai.queue) EXPECT_EQ(a.type, AI_ACTION_NONE);
  hero->hostile_mask = 1u << rat->team;
  EXPECT_TRUE(attack_order(rat));
  bool queued = false;
  for (const ai_action& a : hero->ai.queue) queued = queued || (a.type == 1 && a.target == rat->handle);
  EXPECT_TRUE(queued);
}

}  // namespace

namespace {

int Asked_slot = -1, Asks = 0;

class Chain : public Classify {
 protected:
  void SetUp() override {
    Classify::SetUp();
    reset_devices();
    world_input_set_devices(&Fake);
    saved_hooks = combat_hooks();
    CombatHooks h = saved_hooks;
    h.chain_skill_get = [](living_entity*, int slot) {
      Asked_slot = slot;
      Asks++;
      return static_cast<int>(CS_PUSH);
    };
    combat_set_hooks(h);
    Asks = 0;
  }
  void TearDown() override {
    combat_set_hooks(saved_hooks);
    world_input_set_devices(nullptr);
    Classify::TearDown();
  }
  CombatHooks saved_hooks;
};

TEST_F(Chain, TheModifierPicksTheSlotAndOneRightClickASecondCounts) {
  struct Case {
    int key, slot;
  };
  InputRecord r;
  r.bits = IR_RIGHT_DOWN;
  for (const Case& c : {Case{KEY_LSHIFT, 1}, Case{KEY_RCTRL, 2}, Case{KEY_LALT, 3}, Case{KEY_CAPSLOCK, 0}}) {
    Keys.clear();
    Keys[c.key] = 1.0;
    const int before = Asks;
    chain_input(r);
    EXPECT_EQ(Asks, before + 1) << c.key;
    EXPECT_EQ(Asked_slot, c.slot) << c.key;
    kit.advance(0.5f);
    chain_input(r);
    EXPECT_EQ(Asks, before + 1) << "within the second";
    kit.advance(0.51f);
  }
  // Without the right button nothing is asked.
  r.bits = IR_CLICK;
  const int before = Asks;
  chain_input(r);
  EXPECT_EQ(Asks, before);
}

}  // namespace

#include "Orrimund/control/world_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/combat.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/spells.h"
#include "Orrimund/screens/popup.h"
#include "quarn/gr/gr.h"
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
  // A press on the HUD does not hide the travel marker.
  EXPECT_TRUE(World_input.walk_marker);
}

TEST_F(InputRecordTest, HoldingTheButtonFourHundredMillisecondsTravels) {
  click();
  build();
  Presses[MOUSE_LEFT_BUTTON] = 0;
  Held_ms[MOUSE_LEFT_BUTTON] = 399;
  EXPECT_EQ(build() & IR_TRAVEL, 0u);
  // Still held after the click: no travel marker yet.
  EXPECT_FALSE(World_input.walk_marker);
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

namespace {

// ---- aiming, picking up, containers and the networked branches ----------------------------

int Requests[8], Last_request_value = -1, Announced = 0, Opened = 0;
bool Host = false, In_use = false;
float Lock = 0.0f;

class Actions : public Classify {
 protected:
  void SetUp() override {
    Classify::SetUp();
    for (int& r : Requests) r = 0;
    Last_request_value = -1;
    Announced = Opened = 0;
    Host = In_use = false;
    Lock = 0.0f;
    WorldInputHooks h;
    h.net_host = [] { return Host; };
    h.net_request = [](int request, int value) {
      Requests[request]++;
      Last_request_value = value;
    };
    h.net_announce_gold = [](game_object*) { Announced++; };
    h.net_announce_container = [](game_object*) { Announced++; };
    h.net_container_in_use = [](game_object*) { return In_use; };
    h.container_lock = [](game_object*) { return Lock; };
    h.container_open = [](game_object*) { Opened++; };
    world_input_set_hooks(h);
    hud_messages_clear();
    party_inventory_forget();
  }
  void TearDown() override {
    world_input_set_hooks(WorldInputHooks{});
    hud_targeting_clear();
    Classify::TearDown();
  }
  void networked() { GameFlags = GF_NETWORKED; }
  std::string line() { return hud_message_active() ? hud_message_text() : ""; }
};

TEST_F(Actions, APickUpTakesGoldAsGoldAndAnyOtherItemIntoTheInventory) {
  const matrix m = identity_matrix;
  ground_item* gold = ground_item_drop(item_create_by_name("Gold"), {1, 0, 1}, m, 45, -1, -1);
  ASSERT_NE(gold, nullptr);
  const uint32_t before = Party_inventory.gold;
  gold_pick_up(gold);
  EXPECT_EQ(Party_inventory.gold, before + 45u);
  EXPECT_EQ(line(), "Picked up 45 Gold");
  hud_messages_clear();
  ground_item* club = ground_item_drop(item_create_by_name("Club"), {1, 0, 1}, m, 1, -1, -1);
  ASSERT_NE(club, nullptr);
  gold_pick_up(club);
  EXPECT_EQ(Party_inventory.gold, before + 45u) << "a club is no gold";
  EXPECT_GE(party_inventory_find(&Item_infos[item_lookup("Club")]), 0);
  EXPECT_EQ(line(), "");
  // A client only asks the host for the item; a host also tells the others.
  networked();
  ground_item* more = ground_item_drop(item_create_by_name("Gold"), {1, 0, 1}, m, 5, -1, -1);
  gold_pick_up(more);
  EXPECT_EQ(Requests[WI_REQ_ITEM], 1);
  EXPECT_EQ(Last_request_value, more->handle);
  EXPECT_EQ(Party_inventory.gold, before + 45u);
  Host = true;
  gold_pick_up(more);
  EXPECT_EQ(Announced, 1);
  EXPECT_EQ(Party_inventory.gold, before + 50u);
}

TEST_F(Actions, AContainerInUseLockedAskedForOrOpened) {
  game_object chest;
  chest.type = OBJ_CONTAINER;
  chest.handle = 77;
  struct Case {
    bool networked, host, in_use;
    float lock;
    const char* line;
    int request, announced, opened;
  } cases[] = {
      {false, false, false, 0.0f, "", 0, 0, 1},
      {false, false, false, 0.5f, "Locked", 0, 0, 0},
      {true, false, true, 0.0f, "Container is currently in use", 0, 0, 0},
      {true, false, false, 0.0f, "", 1, 0, 0},  // a client asks the host
      {true, true, false, 0.0f, "", 0, 1, 1},   // a host tells its player and opens it
  };
  for (const Case& c : cases) {
    SetUp();
    GameFlags = c.networked ? GF_NETWORKED : GF_SINGLE_PLAYER;
    Host = c.host;
    In_use = c.in_use;
    Lock = c.lock;
    container_use(&chest);
    EXPECT_EQ(line(), c.line) << c.networked << c.host << c.in_use << c.lock;
    EXPECT_EQ(Requests[WI_REQ_CONTAINER], c.request);
    if (c.request) {
      EXPECT_EQ(Last_request_value, 77);
    }
    EXPECT_EQ(Announced, c.announced);
    EXPECT_EQ(Opened, c.opened);
  }
}

TEST_F(Actions, AnAimedSpellFollowsItsTargetRules) {
  living_entity* rat = kit.spawn(kit.type("Rat"), {3, 0, 0});
  living_entity* friend_hero = kit.spawn(kit.type("Rivud"), {1, 0, 1}, OBJ_PLAYER);
  if (rat->team == hero->team) GTEST_SKIP() << "the demo rat is on the heroes' team";
  hero->hostile_mask = 1u << rat->team;
  const Spell_info saved[4] = {Spells[3], Spells[20], Spells[21], Spells[69]};
  Spells[20].flags = SPELL_OFFENSIVE;
  Spells[20].distance = 0.0f;
  Spells[21].flags = SPELL_BENEFICIAL;
  Spells[21].distance = 2.0f;
  Spells[3].flags = SPELL_BENEFICIAL;
  Spells[3].distance = 0.0f;
  Spells[69].flags = 0;
  Spells[69].distance = 0.0f;
  static bool consent;
  WorldInputHooks h;
  h.spell_consent = [](living_entity*, int) { return consent; };
  world_input_set_hooks(h);
  consent = false;
  struct Case {
    int spell;
    living_entity* target;
    bool valid;
  } cases[] = {
      {20, rat, true},            // offensive on a hostile creature
      {20, friend_hero, false},   // offensive on a friend
      {21, friend_hero, true},    // within its range of 2 (1.41 away)
      {21, rat, false},           // 3 away, beyond the range
      {3, friend_hero, false},    // a raising spell on the living
      {69, friend_hero, false},   // the AI does not consent
  };
  for (const Case& c : cases) EXPECT_EQ(spell_target_valid(c.spell, hero, c.target), c.valid) << c.spell;
  consent = true;
  EXPECT_TRUE(spell_target_valid(69, hero, friend_hero));
  friend_hero->state |= ES_DEAD;
  friend_hero->hp = 0;
  EXPECT_TRUE(spell_target_valid(3, hero, friend_hero));
  EXPECT_FALSE(spell_target_valid(21, hero, friend_hero)) << "the fallen take only the raising spells";
  EXPECT_FALSE(spell_target_valid(20, hero, nullptr));
  // Aimed at a creature, classification gives code 5 with the validity.
  Hud_targeting = TARGETING_CREATURE;
  Hud_pending.spell = 20;
  bool valid = false;
  EXPECT_EQ(target_classify(rat, -1, rat->pos, &valid), TC_CREATURE);
  EXPECT_TRUE(valid);
  EXPECT_EQ(target_classify(nullptr, -1, rat->pos, &valid), TC_CREATURE);
  EXPECT_FALSE(valid);
  Spells[3] = saved[0], Spells[20] = saved[1], Spells[21] = saved[2], Spells[69] = saved[3];
}

// While a spell waits for a creature, the member of a clicked portrait is
// its target; with nothing aimed the portrait's click casts nothing.
TEST_F(Actions, AClickedPortraitIsTheTargetOfTheAimedSpell) {
  static living_entity* clicked;
  living_entity* near_hero = kit.spawn(kit.type("Rivud"), {1, 0, 1}, OBJ_PLAYER);
  living_entity* far_hero = kit.spawn(kit.type("Zazuru"), {6, 0, 0}, OBJ_PLAYER);
  const Spell_info saved = Spells[21];
  Spells[21].flags = SPELL_BENEFICIAL;
  Spells[21].distance = 2.0f;
  WorldInputHooks h;
  h.portrait_clicked = [] { return clicked; };
  world_input_set_hooks(h);
  auto queued_on = [&](living_entity* target) {
    for (const ai_action& a : hero->ai.queue)
      if (a.type != AI_ACTION_NONE && a.target == target->handle) return true;
    return false;
  };
  struct Case {
    int targeting;
    living_entity* portrait;
    bool cast;
  } cases[] = {
      {TARGETING_CREATURE, near_hero, true},   // 1.41 away, within the spell's 2
      {TARGETING_CREATURE, far_hero, false},   // 6 away: refused, still aiming
      {TARGETING_NONE, near_hero, false},      // nothing aimed
      {TARGETING_POINT, near_hero, false},     // aimed at the ground
  };
  const vector camera{0, 10, -6}, ray{0, -1, 0};
  for (const Case& c : cases) {
    ai_queue_clear(&hero->ai);
    Hud_targeting = c.targeting;
    Hud_pending = HudPending{};
    Hud_pending.spell = 21;
    clicked = c.portrait;
    InputRecord r;
    world_input_actions(r, camera, ray);
    EXPECT_EQ(queued_on(c.portrait), c.cast) << c.targeting << " " << c.portrait->get_name();
    if (c.targeting == TARGETING_CREATURE) {
      EXPECT_EQ(Hud_targeting, c.cast ? TARGETING_NONE : TARGETING_CREATURE) << "the aim ends with the cast";
    }
  }
  Spells[21] = saved;
}

TEST_F(Actions, HoldingTheButtonSteersTheHeroTowardTheFloorUnderTheMouse) {
  gr_screen.offset_x = gr_screen.offset_y = 0;
  gr_screen.clip_width = 640;
  gr_screen.clip_height = 400;
  const float saved_distance = game_camera.distance;
  game_camera.distance = 10.0f;
  hero->run_speed = 4.0f;
  // From above and behind, a ray that meets the floor at (3, 0, 4).
  const vector camera{0, 10, -6};
  const vector target{3, 0, 4};
  const vector ray = (target - camera) * (1.0f / (target - camera).length());
  struct Case {
    int x, y;
    float speed;
  } cases[] = {
      {320, 200, 0.05f * 0.952381f},                                    // the middle
      {640, 200, (1.1f + 0.05f) * 0.952381f},                           // the right edge
      {640, 400, (std::sqrt(2.0f) * 1.1f + 0.05f) * 0.952381f},         // a corner
  };
  for (const Case& c : cases) {
    InputRecord r;
    r.bits = IR_TRAVEL;
    r.x = c.x;
    r.y = c.y;
    ASSERT_TRUE(hold_travel_steer(camera, ray, r));
    EXPECT_NEAR(World_input.steer_dir.x, 0.6f, 1e-4);
    EXPECT_NEAR(World_input.steer_dir.z, 0.8f, 1e-4);
    EXPECT_NEAR(World_input.steer_speed, c.speed, 1e-4) << c.x << "," << c.y;
    EXPECT_NEAR(hero->desired_speed, c.speed * 4.0f, 1e-3);
    EXPECT_TRUE(ai_is_traveling_sub1(&hero->ai));
  }
  // Close in, the distance to the floor point sets the speed (5 x 0.25, at
  // most 1).
  game_camera.distance = 3.0f;
  InputRecord r;
  r.bits = IR_TRAVEL;
  ASSERT_TRUE(hold_travel_steer(camera, ray, r));
  EXPECT_NEAR(World_input.steer_speed, 1.0f, 1e-5);
  const vector near_target{0.6f, 0, 0.8f};
  const vector near_ray = (near_target - camera) * (1.0f / (near_target - camera).length());
  ASSERT_TRUE(hold_travel_steer(camera, near_ray, r));
  EXPECT_NEAR(World_input.steer_speed, 0.25f, 1e-4);
  // A ray that never comes down meets the plane facing back along it.
  const vector level_ray{1, 0, 0};
  EXPECT_TRUE(hold_travel_steer(vector{-5, 0, 0}, level_ray, r));
  EXPECT_NEAR(World_input.steer_dir.x, 1.0f, 1e-4);
  game_camera.distance = saved_distance;
}

TEST(PickFilter, DefaultGroundAndTheGroundOfSpellThirtyEight) {
  pick_filter_clear();
  for (int surface = -1; surface <= 8; surface++)
    EXPECT_EQ(pick_filter_accepts(surface), surface >= 0 && surface <= 4) << surface;
  pick_filter_for_spell(38);
  for (int surface = 0; surface < 8; surface++)
    EXPECT_EQ(pick_filter_accepts(surface), surface == 1 || surface == 2 || surface == 5) << surface;
  pick_filter_for_spell(12);
  EXPECT_TRUE(pick_filter_accepts(0));
  EXPECT_FALSE(pick_filter_accepts(5));
  pick_filter_clear();
}

}  // namespace

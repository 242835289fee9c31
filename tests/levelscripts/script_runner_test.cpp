// The script runner on the world test kit: navpoints dropped to the kit's
// flat floor, the party's starts, the tables' readers (one fixture spelled
// out from the table grammar, the rest from the writers), script characters
// stepping through walk, wait and goto, and the triggers the party crosses.
#include <gtest/gtest.h>

#include <strings.h>

#include <cmath>
#include <string>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/items.h"
#include "Engine/ai/ai_core.h"
#include "Engine/gameflags.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_runner.h"
#include "Engine/Objects/inventory.h"
#include "Engine/rendering/levelvis.h"
#include "levelscripts/script_world.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/savegame.h"
#include "Engine/Objects/objects.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/world_kit.h"
#include "tools/writers/script_table_writers.h"

namespace {

living_entity* Hero = nullptr;
std::string Said;
std::string Used;

class Runner : public WorldTest {
 protected:
  void SetUp() override {
    saved_ = entity_game();
    EntityGameHooks g = saved_;
    g.selected = [] { return Hero; };
    entity_set_game_hooks(g);
    Hero = nullptr;
    Said.clear();
    Used.clear();
    console_set_output_hook([](const char* t) { Said += t; });
    navpoints_reset(false);
    navpoints_reset(true);
    script_runner_reset();
    level_position_set_level("demo_outdoor", "demo_outdoor");
    Level_position.entry_index = -1;
    Dont_load_fx = false;
    Level_hook_use = [](const char* name) {
      Used += name;
      Used += ";";
      return false;
    };
  }
  void TearDown() override {
    Level_hook_use = nullptr;
    console_set_output_hook(nullptr);
    entity_set_game_hooks(saved_);
    game_flags_clear(GF_NETWORKED);
    Hero = nullptr;
  }
  static void nav(const char* name, float x, float z, float heading = 0.0f) {
    const matrix m(vector(std::cos(heading), 0, -std::sin(heading)), vector(0, 1, 0),
                   vector(std::sin(heading), 0, std::cos(heading)));
    navpoint_add_from_node(name, vector(x, 0.5f, z), m);
  }
  static void data_table(const std::string& text) {
    level_data_table_read_text("demo_demo_outdoor.tbl", text.c_str(), static_cast<int>(text.size()));
  }
  living_entity* hero_at(float x, float z) {
    Hero = kit.spawn(kit.type("Ruvizo"), {x, 0, z}, OBJ_PLAYER);
    return Hero;
  }
  EntityGameHooks saved_;
};

int walk_orders(const living_entity* e, bool* run) {
  int n = 0;
  for (const ai_action& a : e->ai.queue)
    if (a.type == 12) {
      n++;
      if (run) *run = (a.flags & AIA_RUN) != 0;
    }
  return n;
}

TEST_F(Runner, NavpointsDropToTheGroundAndLevelPointsComeFirst) {
  nav("gate", 3.0f, 4.0f, 1.0f);
  const Navpoint* n = navpoint_find("GATE");
  ASSERT_NE(n, nullptr);
  // The kit's floor is at 0: the node was half a unit above it.
  EXPECT_FLOAT_EQ(n->pos.y, 0.5f);
  EXPECT_FLOAT_EQ(n->height, 0.5f);
  EXPECT_EQ(n->plane, 0);
  EXPECT_NEAR(n->heading, 1.0f, 1e-5f);
  // A point given below the ground is lifted onto it.
  const matrix id(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  Navpoint* low = navpoint_add(false, "low", NAV_LEVEL, -1, vector(1, -0.5f, 1), id);
  ASSERT_NE(low, nullptr);
  EXPECT_FLOAT_EQ(low->pos.y, 0.0f);
  EXPECT_FLOAT_EQ(low->height, 0.0f);
  // Camera points keep their place and no plane.
  Navpoint* cam = navpoint_add(false, "$camera1", NAV_CAMERA, -1, vector(0, 9, 0), id);
  EXPECT_FLOAT_EQ(cam->pos.y, 9.0f);
  EXPECT_EQ(cam->plane, -1);
  // The cutscene's point is found only where the level has none of that name.
  navpoint_add(true, "gate", NAV_CUTSCENE, -1, vector(50, 1, 50), id);
  navpoint_add(true, "only_cut", NAV_CUTSCENE, -1, vector(50, 1, 50), id);
  EXPECT_FLOAT_EQ(navpoint_find("gate")->pos.x, 3.0f);
  EXPECT_FLOAT_EQ(navpoint_find("only_cut")->pos.x, 50.0f);
  vector p;
  matrix o;
  EXPECT_FALSE(navpoint_get_position(nullptr, &p, &o));
  EXPECT_FALSE(navpoint_get_position("nowhere", &p, &o));
  ASSERT_TRUE(navpoint_get_position("gate", &p, &o));
  EXPECT_NEAR(o.forward.x, std::sin(1.0f), 1e-5f);
}

TEST_F(Runner, PlayerStartsByEntryThenByNumberElseTheLevelIsRefused) {
  struct Case {
    const char* names[4];
    int entry;
    bool found;
    float first_x;
  } cases[] = {
      {{"$player1-01", "$player1-02", "$player01", "$player02"}, -1, true, 10.0f},
      {{"$player2-01", "$player2-02", "$player01", "$player02"}, 2, true, 10.0f},
      {{"$player01", "$player02", "$player03", "$player04"}, 3, true, 10.0f},  // entry 3 missing: the plain starts
      {{"$player00", "start", "x", "y"}, -1, false, 0.0f},
  };
  for (const Case& c : cases) {
    navpoints_reset(false);
    for (int i = 0; i < 4; i++) nav(c.names[i], 10.0f + i, 0.0f);
    Level_position.entry_index = c.entry;
    Said.clear();
    EXPECT_EQ(level_find_player_starts(), c.found) << c.names[0];
    vector p;
    float h;
    int plane;
    EXPECT_EQ(level_player_start(0, &p, &h, &plane), c.found);
    if (c.found) {
      EXPECT_FLOAT_EQ(p.x, c.first_x);
      EXPECT_TRUE(level_player_start(1, &p, &h, &plane));
      EXPECT_FLOAT_EQ(p.x, 11.0f);
    } else {
      EXPECT_NE(Said.find("Unable to locate player starts for level demo_outdoor"), std::string::npos) << Said;
    }
  }
  EXPECT_EQ(Level_position.entry_index, 1);  // -1 is read as 1
}

// The demo script table spelled out from its grammar, not by our writer.
const char Demo_script[] =
    "#Navpoints\r\n"
    "$Num navpoints: 2\r\n"
    "$Name: \"west\"\r\n"
    "$Position: <-3.0, 0.0, 7.0>\r\n"
    "$Orientation: [<1.0, 0.0, 0.0>, <0.0, 1.0, 0.0>, <0.0, 0.0, 1.0>]\r\n"
    "$Name: \"east\"\r\n"
    "$Type: \"level\"\r\n"
    "+Plane: 0\r\n"
    "$Position: <5.0, 2.0, 7.0>\r\n"
    "$Orientation: [<-1.0, 0.0, 0.0>, <0.0, 1.0, 0.0>, <0.0, 0.0, -1.0>]\r\n"
    "#Objects\r\n"
    "$Name: \"Watchman\"\r\n"
    "$Start position: \"west\"\r\n"
    "$Character: \"Golem\"\r\n"
    "+Action: \"label\" 1\r\n"
    "+Action: \"walk to\" \"east\"\r\n"
    "+Action: \"wait at\" \"east\" 2\r\n"
    "+Action: \"run to\" \"west\"\r\n"
    "+Action: \"goto\" 1\r\n"
    "#End\r\n";

TEST_F(Runner, TheWatchmanWalksWaitsRunsAndLoopsThroughHisActions) {
  demo_script_table_read_text("demo_outdoor_demoscript.tbl", Demo_script, sizeof Demo_script - 1);
  const Navpoint* east = navpoint_find("east");
  ASSERT_NE(east, nullptr);
  // Above the ground the point stays where it was given, its height kept.
  EXPECT_FLOAT_EQ(east->pos.y, 2.0f);
  EXPECT_FLOAT_EQ(east->height, 2.0f);
  ASSERT_EQ(script_character_count(), 1) << Said;
  const int w = script_character_find("WATCHMAN");
  ASSERT_EQ(w, 0);
  ScriptCharacter* c = script_character_at(w);
  living_entity* e = entity_from_handle(c->entity);
  ASSERT_NE(e, nullptr);
  EXPECT_FLOAT_EQ(e->pos.x, -3.0f);
  // The label finishes at once: the walk has started, at a walk.
  EXPECT_EQ(c->current, 1);
  bool run = true;
  EXPECT_EQ(walk_orders(e, &run), 1);
  EXPECT_FALSE(run);
  // While the order is held, the walk is not done.
  script_characters_step();
  EXPECT_EQ(c->current, 1);
  // Arrival (the AI drops the order): the wait starts and holds 2 s.
  ai_queue_clear(&e->ai);
  script_characters_step();
  EXPECT_EQ(c->current, 2);
  kit.advance(1.5f);
  script_characters_step();
  EXPECT_EQ(c->current, 2);
  kit.advance(0.6f);
  script_characters_step();
  EXPECT_EQ(c->current, 3);
  ASSERT_EQ(walk_orders(e, &run), 1);
  EXPECT_TRUE(run);  // "run to" runs
  ai_queue_clear(&e->ai);
  // The goto jumps back past the label and walks east again.
  script_characters_step();
  EXPECT_EQ(c->current, 1);
  EXPECT_EQ(walk_orders(e, &run), 1);
  EXPECT_FALSE(run);
}

TEST_F(Runner, AGotoOntoItsOwnLabelStopsInsteadOfLoopingForEver) {
  nav("here", 0.0f, 0.0f);
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  const int c = script_character_add("looper", e->handle, 0);
  ScriptAction label;
  label.verb = SV_LABEL;
  label.value = 7;
  ScriptAction jump;
  jump.verb = SV_GOTO;
  jump.value = 7;
  script_character_add_action(c, label);
  script_character_add_action(c, jump);
  script_character_start(c);  // would never return without the cap
  EXPECT_NE(Said.find("Unable to start script entry"), std::string::npos) << Said;
  // A goto without its label cannot start either, and is retried after 5 s.
  const int d = script_character_add("lost", e->handle, 0);
  jump.value = 99;
  script_character_add_action(d, jump);
  script_character_start(d);
  EXPECT_TRUE(script_character_at(d)->retry);
  EXPECT_EQ(script_character_at(d)->current, -1);
}

TEST_F(Runner, WaitForGoWaitsForPassGoFromAnother) {
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0});
  a->set_name("first");
  living_entity* b = kit.spawn(kit.type("Rat"), {2, 0, 0});
  b->set_name("second");
  const int ca = script_character_add("first", a->handle, 0);
  const int cb = script_character_add("second", b->handle, 0);
  ScriptAction wait;
  wait.verb = SV_WAIT_FOR_GO;
  ScriptAction say;
  say.verb = SV_SAY;
  say.name = "Go on.";
  say.value = 2;
  script_character_add_action(ca, wait);
  script_character_add_action(ca, say);
  ScriptAction go;
  go.verb = SV_PASS_GO;
  go.name = "first";
  script_character_add_action(cb, go);
  script_character_start(ca);
  script_characters_step();
  EXPECT_EQ(script_character_at(ca)->current, 0);
  script_character_start(cb);
  script_characters_step();
  EXPECT_EQ(script_character_at(ca)->current, 1);
  // Run mode 0: idle after the last action.
  script_characters_step();
  EXPECT_EQ(script_character_at(ca)->current, -1);
  EXPECT_EQ(script_character_at(ca)->run_mode, 0);
  // Idle characters are not stepped again.
  script_characters_step();
  EXPECT_EQ(script_character_at(ca)->current, -1);
  // A restart puts both back before their first actions: the first waits
  // for go again, and the second's pass go lets it on.
  script_characters_restart();
  EXPECT_FALSE(script_character_at(ca)->go);
  script_character_start(ca);
  script_character_start(cb);
  EXPECT_EQ(script_character_at(ca)->current, 0);
  script_characters_step();
  EXPECT_EQ(script_character_at(ca)->current, 1);
}

// A script's order sends a character to a label of its list, from wherever
// it stands in it: held at a wait for go, walking elsewhere, or idle at the
// end; a number without a label changes nothing.
TEST_F(Runner, AnOrderSendsACharacterOnAfterTheLabelOfItsNumber) {
  nav("gather", 6.0f, 0.0f);
  nav("away", -6.0f, 0.0f);
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->set_name("Nath");
  const int c = script_character_add("Nath", e->handle, 0);
  auto action = [](int verb, int value = 0, const char* nav_name = nullptr) {
    ScriptAction a;
    a.verb = verb;
    a.value = value;
    a.nav = nav_name ? navpoint_find(nav_name) : nullptr;
    return a;
  };
  for (const ScriptAction& a : {action(SV_WAIT_FOR_GO), action(SV_LABEL, 1), action(SV_WALK_TO, 0, "away"),
                                action(SV_LABEL, 2), action(SV_WALK_TO, 0, "gather")})
    script_character_add_action(c, a);
  script_character_start(c);
  ScriptCharacter* sc = script_character_at(c);
  ASSERT_EQ(sc->current, 0);

  EXPECT_FALSE(script_character_goto(c, 3));
  EXPECT_EQ(sc->current, 0);
  EXPECT_EQ(walk_orders(e, nullptr), 0);

  // From the wait for go to label 1: the walk away starts.
  ASSERT_TRUE(script_character_goto(c, 1));
  EXPECT_EQ(sc->current, 2);
  ASSERT_EQ(walk_orders(e, nullptr), 1);
  // Label 2 while walking away: that walk is dropped for the one to gather.
  ASSERT_TRUE(script_character_goto(c, 2));
  EXPECT_EQ(sc->current, 4);
  ASSERT_EQ(walk_orders(e, nullptr), 1);
  for (const ai_action& a : e->ai.queue)
    if (a.type == 12) EXPECT_NEAR(a.point.x, 6.0f, 0.01f);

  // Idle at the end of its list, an order starts it again.
  sc->current = -1;
  sc->idle = true;
  ai_queue_remove_type(&e->ai, 12);
  ASSERT_TRUE(script_character_goto(c, 1));
  EXPECT_FALSE(sc->idle);
  EXPECT_EQ(sc->current, 2);
  // A record that has ended takes no orders.
  sc->run_mode = -1;
  EXPECT_FALSE(script_character_goto(c, 2));
}

LevelTriggerSpec exit_to(const char* level, const char* at, float radius) {
  LevelTriggerSpec t;
  t.name = level;
  t.location = at;
  t.radius = radius;
  t.index = 2;
  return t;
}

TEST_F(Runner, EnteringAnExitAsksOnceAndRefusingStepsBack) {
  nav("door", 10.0f, 0.0f);
  data_table(level_data_text({}, {exit_to("demo_indoor", "door", 2.0f)}, {}));
  ASSERT_EQ(level_trigger_count(), 1);
  EXPECT_EQ(level_trigger_at(0)->index, 2);
  EXPECT_STREQ(level_trigger_at(0)->script, "");
  living_entity* h = hero_at(5.0f, 0.0f);
  level_triggers_check();
  EXPECT_EQ(Level_leave.current, -1);
  h->pos = vector(8.5f, 0, 0);
  level_triggers_check();
  ASSERT_EQ(Level_leave.current, 0);
  EXPECT_EQ(Level_leave.bits, 0);
  // The step-back point: on the line from the navpoint through the hero,
  // the radius plus 0.3 out.
  EXPECT_NEAR(Level_leave.step_back.x, 10.0f - 2.3f, 1e-4f);
  level_leave_refuse();
  EXPECT_EQ(Level_leave.current, -1);
  EXPECT_NEAR(h->pos.x, 7.7f, 1e-4f);
  h->pos = vector(9.0f, 0, 0);
  level_triggers_check();
  ASSERT_EQ(Level_leave.current, 0);
  level_leave_accept();
  EXPECT_TRUE(Level_leave.confirmed);
}

TEST_F(Runner, DisabledMultiAndOtherPlaneTriggersDoNotFire) {
  nav("door", 10.0f, 0.0f);
  LevelTriggerSpec multi = exit_to("demo_indoor", "door", 2.0f);
  multi.multi = true;
  LevelTriggerSpec upstairs = exit_to("demo_indoor", "door", 2.0f);
  upstairs.plane = 2;
  LevelTriggerSpec shut = exit_to("demo_cellar", "door", 2.0f);
  shut.ref_name = "cellar_door";
  data_table(level_data_text({}, {multi, upstairs, shut}, {}));
  ASSERT_EQ(level_trigger_count(), 3);
  EXPECT_STREQ(level_trigger_at(0)->name, "demo_indoor");
  EXPECT_TRUE(level_triggers_enable_by_reference("cellar_door", false));
  hero_at(10.0f, 0.0f);
  for (int frame = 0; frame < 3; frame++) level_triggers_check();
  EXPECT_EQ(Level_leave.current, -1);
  // The disabled exit tells the use hook every frame it is crossed.
  EXPECT_EQ(Used, "cellar_door;cellar_door;cellar_door;");
  EXPECT_FALSE(level_triggers_enable("nowhere", nullptr, false));
  EXPECT_NE(Said.find("Loadarea or table file trigger missing!"), std::string::npos);
  // Networked: only the "+Multi" one fires.
  game_flags_set(GF_NETWORKED);
  level_triggers_check();
  EXPECT_EQ(Level_leave.current, 0);
}

TEST_F(Runner, APartyTooSpreadOutCannotLeaveADungeonButMayLeaveARandomLevel) {
  nav("door", 10.0f, 0.0f);
  data_table(level_data_text({}, {exit_to("demo_indoor", "door", 2.0f)}, {}));
  hero_at(9.0f, 0.0f);
  kit.spawn(kit.type("Rivud"), {-2.0f, 0, 0}, OBJ_PLAYER);  // 11 units away
  level_triggers_check();
  ASSERT_EQ(Level_leave.current, 0);
  EXPECT_EQ(Level_leave.bits, LEAVE_TOO_FAR);
  level_leave_accept();  // "Cannot Leave": only OK, which refuses
  EXPECT_EQ(Level_leave.current, -1);
  EXPECT_FALSE(Level_leave.confirmed);
  level_position_set_level("Rand-Forest01", "x");
  Hero->pos = vector(9.0f, 0, 0);
  level_triggers_check();
  ASSERT_EQ(Level_leave.current, 0);
  EXPECT_EQ(Level_leave.bits, 0);
}

TEST_F(Runner, ASplineExitIsCrossedByTheHerosStepLengthened) {
  Script_world.spline_first_segment = [](const char*, vector* a, vector* b) {
    *a = vector(10, 0, -5);
    *b = vector(10, 0, 5);
    return true;
  };
  LevelTriggerSpec line;
  line.name = "demo_indoor";
  line.shape = "spline";
  data_table(level_data_text({}, {line}, {}));
  Script_world.spline_first_segment = nullptr;
  ASSERT_EQ(level_trigger_count(), 1);
  living_entity* h = hero_at(9.0f, 0.0f);
  level_triggers_check();
  // A step that ends 0.1 short of the line reaches it once lengthened by 30%.
  h->pos = vector(9.9f, 0, 0);
  level_triggers_check();
  ASSERT_EQ(Level_leave.current, 0);
  EXPECT_NEAR(Level_leave.step_back.x, 9.0f - 0.27f, 1e-4f);
}

TEST_F(Runner, ALocationTriggerAnswersAScriptOnce) {
  nav("trap", 0.0f, 0.0f);
  LevelTriggerSpec trap;
  trap.name = "trap1";
  trap.kind = "boss";
  trap.location = "trap";
  trap.radius = 1.0f;
  trap.index = 5;
  data_table(level_data_text({}, {trap}, {}));
  int kind, index;
  level_trigger_query(vector(3, 0, 0), vector(2, 0, 0), &kind, &index);
  EXPECT_EQ(kind, -1);
  level_trigger_query(vector(2, 0, 0), vector(0.5f, 0, 0), &kind, &index);
  EXPECT_EQ(kind, TRIGGER_BOSS);
  EXPECT_EQ(index, 5);
  level_trigger_query(vector(2, 0, 0), vector(0.5f, 0, 0), &kind, &index);
  EXPECT_EQ(kind, -1);
  EXPECT_EQ(index, -1);
}

TEST_F(Runner, TablesRefuseEntriesPastTheirCapacityAndKeepTheRest) {
  nav("door", 10.0f, 0.0f);
  std::vector<LevelTriggerSpec> many;
  for (int i = 0; i < MAX_LEVEL_TRIGGERS + 3; i++) many.push_back(exit_to("demo_indoor", "door", 1.0f));
  LevelTriggerSpec lost = exit_to("demo_indoor", "nowhere", 1.0f);
  many.insert(many.begin(), lost);
  std::vector<std::string> effects;
  for (int i = 0; i < MAX_LEVEL_EFFECTS + 2; i++) effects.push_back("fx" + std::to_string(i) + ".vfx");
  data_table(level_data_text(effects, many, {}));
  EXPECT_EQ(level_trigger_count(), MAX_LEVEL_TRIGGERS);
  EXPECT_EQ(level_effect_count(), MAX_LEVEL_EFFECTS);
  EXPECT_NE(Said.find("Couldn't find level trigger: nowhere"), std::string::npos);
  EXPECT_NE(Said.find("MAX_LEVEL_TRIGGERS"), std::string::npos);
  EXPECT_NE(Said.find("MAX_LEVEL_EFFECTS"), std::string::npos);
}

TEST_F(Runner, LevelEffectsFollowTheirScriptsAndTheSwitch) {
  const char text[] =
      "#Effects\r\n"
      "$Level_fx: \"torch.vfx\" once\r\n"
      "$Level_fx: \"night.vfx\"\r\n"
      "+OnlyScript: \"other_arrival\"\r\n"
      "$Level_fx: \"day.vfx\"\r\n"
      "+OnlyScript: \"other_arrival\"\r\n"
      "+OnlyScript: \"DEMO_OUTDOOR\"\r\n"
      "#Triggers\r\n"
      "$Trigger: \"masad\"\r\n"
      "+Multi\r\n"
      "+Id: \"load level\"\r\n"
      "+Type: \"location\"\r\n"
      "+Location: \"door\"\r\n"
      "+Radius: 1.5\r\n"
      "#End\r\n";
  nav("door", 1.0f, 1.0f);
  level_data_table_read_text("demo_demo_outdoor.tbl", text, sizeof text - 1);
  ASSERT_EQ(level_effect_count(), 2);
  EXPECT_STREQ(level_effect_at(0)->file, "torch.vfx");
  EXPECT_TRUE(level_effect_at(0)->once);
  EXPECT_STREQ(level_effect_at(1)->file, "day.vfx");
  // Started as world effects; leaving the level ends all but the "once" one.
  level_effects_start();
  EXPECT_EQ(kit.effects_named("torch.vfx"), 1);
  EXPECT_EQ(kit.effects_named("day.vfx"), 1);
  const int torch = level_effect_at(0)->handle, day = level_effect_at(1)->handle;
  level_effects_kill(false);
  EXPECT_EQ(level_effect_count(), 0);
  for (const FakeEffect& f : kit.effects) {
    if (f.handle == torch) EXPECT_TRUE(f.alive);
    if (f.handle == day) EXPECT_FALSE(f.alive);
  }
  ASSERT_EQ(level_trigger_count(), 1);
  EXPECT_TRUE(level_trigger_at(0)->flags & TRIGGER_MULTI);
  EXPECT_FLOAT_EQ(level_trigger_at(0)->radius, 1.5f);
  script_runner_reset();
  Dont_load_fx = true;
  level_data_table_read_text("demo_demo_outdoor.tbl", text, sizeof text - 1);
  EXPECT_EQ(level_effect_count(), 0);
  Dont_load_fx = false;
}

TEST_F(Runner, ShopkeepersSellAtValueAndBuyForLess) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0});
  e->set_name("Trader");
  const int tonic = item_lookup("Health Tonic");
  ASSERT_GE(tonic, 0);
  const int value = Item_infos[tonic].value;
  ShopkeeperSpec shop;
  shop.character = "Trader";
  shop.sell = {"Health Tonic", "No Such Thing", "Health Tonic"};
  shop.buy = {"Health Tonic"};
  ShopkeeperSpec ghost;
  ghost.character = "Nobody";
  data_table(level_data_text({}, {}, {shop, ghost}));
  ShopkeeperRecord* s = shopkeeper_find("trader");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->sell_count, 1);  // the unknown item and the repeat are left out
  EXPECT_EQ(s->sell[0].price, value);
  ASSERT_EQ(s->buy_count, 1);
  EXPECT_EQ(s->buy[0].price, static_cast<int>(value * 0.7f));
  EXPECT_NE(Said.find("Unable to locate item No Such Thing in any table file."), std::string::npos);
  EXPECT_NE(Said.find("Unable to locate character Nobody for shopkeeper support"), std::string::npos);
  EXPECT_EQ(shopkeeper_count(), 2);
}

TEST_F(Runner, TheConsoleSwitchesAndTheDialogueCamera) {
  struct Case {
    const char* line;
    int mode;
  } cases[] = {{"dcamera 2", 2}, {"dcamera 3", 2}, {"dcamera 0", 0}, {"dcamera", 0}};
  for (const Case& c : cases) {
    console_execute(c.line);
    EXPECT_EQ(Dialogue_camera_mode, c.mode) << c.line;
  }
  console_execute("dont_load_fx");
  EXPECT_TRUE(Dont_load_fx);
  console_execute("dont_load_fx");
  EXPECT_FALSE(Dont_load_fx);
  console_execute("No_cutscenes");
  EXPECT_TRUE(No_cutscenes);
  No_cutscenes = false;
}

// The level items' bags, found by where they stand (not by what the placing
// kept).
container_object* bag_at(float x, float z) {
  for (container_object& c : Containers)
    if (c.type == OBJ_CONTAINER && std::fabs(c.pos.x - x) < 0.01f && std::fabs(c.pos.z - z) < 0.01f) return &c;
  return nullptr;
}
int bags_in_world() {
  int n = 0;
  for (const container_object& c : Containers) n += c.type == OBJ_CONTAINER;
  return n;
}
// Level items lying outside a bag.
int loose_level_items() {
  int n = 0;
  for (int i = 0; ground_item_at(i); i++) {
    const ground_item* g = ground_item_at(i);
    n += g->type == OBJ_GROUND_ITEM && g->tag >= 0 && !g->container;
  }
  return n;
}
const char* item_name(const ground_item* g) { return g && g->item && g->item->info ? g->item->info->name : ""; }
bool listed(const char* name) { return save_level_item_listed(name_checksum(name)); }

class LevelItems : public Runner {
 protected:
  void SetUp() override {
    Runner::SetUp();
    // The kit's fresh object list leaves earlier tests' ground items behind.
    for (int i = 0; ground_item_at(i); i++) {
      ground_item* g = ground_item_at(i);
      g->type = OBJ_FREE;
      g->item = nullptr;
      g->container = nullptr;
      g->tag = -1;
    }
    savegame_layout();
    nav("key_spot", 2.0f, 2.0f);
    nav("map_spot", 4.0f, 4.0f);
    InventoryHooks h;
    h.forget_level_item = [](ground_item* g) { level_item_forget(g); };
    inventory_set_hooks(h);
    Party_inventory.gold = 0;
  }
  void TearDown() override {
    inventory_set_hooks(InventoryHooks{});
    Script_world.refresh_level_items = nullptr;
    Runner::TearDown();
  }
  void read(const std::vector<LevelItemSpec>& items, std::initializer_list<const char*> still_listed) {
    const std::string text = level_items_text(items);
    level_items_read_text("level_items.tbl", text.c_str(), static_cast<int>(text.size()));
    for (const char* name : still_listed) save_level_item_add(name_checksum(name));
  }
  // What the container screen's take does with one item: out of the bag,
  // into the party's hands, the bag gone once empty.
  static void take(container_object* bag, const char* name) {
    for (int i = 0; i < bag->count; i++) {
      ground_item* g = bag->get_item(i);
      if (strcasecmp(item_name(g), name) != 0) continue;
      bag->remove_item(g);
      party_inventory_pickup(g, true);
      if (bag->count == 0) bag->deinit();
      return;
    }
    ADD_FAILURE() << "no " << name << " in the bag";
  }
  static int held(const char* name) {
    const int at = party_inventory_find(&Item_infos[item_lookup(name)]);
    return at < 0 ? 0 : static_cast<int>(Party_inventory.entries[at].count);
  }
};

TEST_F(LevelItems, ThoseOfTheScriptStillListedLieInOneBagPerNavpoint) {
  read({{"demo_outdoor", "Rusty Key", "demo_outdoor", "Health Tonic", "key_spot", 2},
        {"demo_outdoor", "Old Map", "demo_outdoor", "Health Tonic", "map_spot", 1, "sewer", "sewer_grate_open"},
        {"demo_outdoor", "Other Arrival", "from_the_sea", "Health Tonic", "key_spot"},
        {"demo_indoor", "Indoor Thing", "demo_indoor", "Health Tonic", "key_spot"},
        {"demo_outdoor", "Taken", "demo_outdoor", "Health Tonic", "key_spot"},
        {"demo_outdoor", "Purse", "demo_outdoor", "Gold", "key_spot", 20},
        {"demo_outdoor", "Band", "demo_outdoor", "Ring of Fire", "key_spot"}},
       {"Rusty Key", "Old Map", "Other Arrival", "Purse", "Band"});
  ASSERT_EQ(level_item_count(), 6);  // the indoor level's section is not this level's
  EXPECT_EQ(level_item_at(0)->count, 2);
  EXPECT_EQ(level_item_at(2)->nav, nullptr);  // another script's item: its navpoint is not looked up
  level_items_place();

  EXPECT_EQ(bags_in_world(), 2);
  EXPECT_EQ(loose_level_items(), 0);
  container_object* chest = bag_at(2.0f, 2.0f);
  ASSERT_NE(chest, nullptr);
  EXPECT_TRUE(chest->flags & OF_ACTIVE);
  // Gold leads a bag; the rest keep the table's order. "Taken" is no longer
  // listed, so it is not there.
  ASSERT_EQ(chest->count, 3);
  EXPECT_STREQ(item_name(chest->get_item(0)), "Gold");
  EXPECT_EQ(chest->get_item(0)->quantity, 20);
  EXPECT_STREQ(item_name(chest->get_item(1)), "Health Tonic");
  EXPECT_EQ(chest->get_item(1)->quantity, 2);
  EXPECT_STREQ(item_name(chest->get_item(2)), "Ring of Fire");
  EXPECT_NEAR(chest->pos.y, chest->get_item(0)->pos.y + 0.2f, 1e-4f);

  // The map waits for the sewer grate: its bag is there, hidden.
  container_object* hidden = bag_at(4.0f, 4.0f);
  ASSERT_NE(hidden, nullptr);
  EXPECT_FALSE(hidden->flags & OF_ACTIVE);
  EXPECT_EQ(hidden->count, 1);
  EXPECT_EQ(navpoint_find("map_spot")->level_item, 1);
}

TEST_F(LevelItems, WhatThePartyTakesLeavesTheListAndDoesNotComeBack) {
  read({{"demo_outdoor", "Purse", "demo_outdoor", "Gold", "key_spot", 20},
        {"demo_outdoor", "Tonics", "demo_outdoor", "Health Tonic", "key_spot", 2},
        {"demo_outdoor", "Band", "demo_outdoor", "Ring of Fire", "key_spot"},
        {"demo_outdoor", "Old Map", "demo_outdoor", "Health Tonic", "map_spot", 1, "sewer", "sewer_grate_open"}},
       {"Purse", "Tonics", "Band", "Old Map"});
  level_items_place();
  take(bag_at(2.0f, 2.0f), "Gold");
  take(bag_at(2.0f, 2.0f), "Health Tonic");
  EXPECT_EQ(Party_inventory.gold, 20u);
  EXPECT_EQ(held("Health Tonic"), 2);
  EXPECT_FALSE(listed("Purse"));
  EXPECT_FALSE(listed("Tonics"));
  EXPECT_TRUE(listed("Band"));
  EXPECT_TRUE(listed("Old Map"));

  // A saved game arrives with this list: the chest holds the ring alone, the
  // hidden bag stays hidden, nothing lies twice.
  level_items_replace();
  EXPECT_EQ(bags_in_world(), 2);
  container_object* chest = bag_at(2.0f, 2.0f);
  ASSERT_NE(chest, nullptr);
  ASSERT_EQ(chest->count, 1);
  EXPECT_STREQ(item_name(chest->get_item(0)), "Ring of Fire");
  EXPECT_FALSE(bag_at(4.0f, 4.0f)->flags & OF_ACTIVE);

  take(chest, "Ring of Fire");
  EXPECT_EQ(bag_at(2.0f, 2.0f), nullptr);
  level_items_replace();
  EXPECT_EQ(bag_at(2.0f, 2.0f), nullptr);
  EXPECT_EQ(bags_in_world(), 1);

  // An older save still lists the ring: loading it puts the ring back.
  save_level_item_add(name_checksum("Band"));
  level_items_replace();
  ASSERT_NE(bag_at(2.0f, 2.0f), nullptr);
  EXPECT_STREQ(item_name(bag_at(2.0f, 2.0f)->get_item(0)), "Ring of Fire");
  EXPECT_EQ(loose_level_items(), 0);
}

TEST_F(LevelItems, GoldOfTwoItemsInOneBagIsOnePileAndTakingItTakesBoth) {
  read({{"demo_outdoor", "Purse", "demo_outdoor", "Gold", "key_spot", 20},
        {"demo_outdoor", "Coins", "demo_outdoor", "Gold", "key_spot", 5}},
       {"Purse", "Coins"});
  level_items_place();
  container_object* chest = bag_at(2.0f, 2.0f);
  ASSERT_NE(chest, nullptr);
  ASSERT_EQ(chest->count, 1);
  EXPECT_EQ(chest->get_item(0)->quantity, 25);
  take(chest, "Gold");
  EXPECT_EQ(Party_inventory.gold, 25u);
  EXPECT_FALSE(listed("Purse"));
  EXPECT_FALSE(listed("Coins"));
  level_items_replace();
  EXPECT_EQ(bags_in_world(), 0);
}

TEST_F(LevelItems, AnEventFlagShowsAndHidesTheBag) {
  const std::string events = demo_events_text(game_event_declarations(), demo_quests());
  demo_events_load_text("demo_events.tbl", events.c_str(), static_cast<int>(events.size()));
  savegame_layout();
  Script_world.refresh_level_items = level_items_refresh;
  read({{"demo_outdoor", "Old Map", "demo_outdoor", "Health Tonic", "map_spot", 1, "sewer", "sewer_grate_open"},
        {"demo_outdoor", "Band", "demo_outdoor", "Ring of Fire", "key_spot"}},
       {"Old Map", "Band"});
  level_items_place();
  const int sewer = level_script_info_lookup("sewer");
  ASSERT_GE(sewer, 0);
  EXPECT_FALSE(bag_at(4.0f, 4.0f)->flags & OF_ACTIVE);
  level_flag_set(sewer, "sewer_grate_open", true);
  EXPECT_TRUE(bag_at(4.0f, 4.0f)->flags & OF_ACTIVE);
  EXPECT_TRUE(bag_at(2.0f, 2.0f)->flags & OF_ACTIVE);  // no event: always shown
  level_flag_set(sewer, "sewer_grate_open", false);
  EXPECT_FALSE(bag_at(4.0f, 4.0f)->flags & OF_ACTIVE);
  EXPECT_TRUE(bag_at(2.0f, 2.0f)->flags & OF_ACTIVE);
  // Placed again while the flag is set (a load after the grate opened): shown.
  level_flag_set(sewer, "sewer_grate_open", true);
  level_items_replace();
  EXPECT_TRUE(bag_at(4.0f, 4.0f)->flags & OF_ACTIVE);
}

}  // namespace

namespace {

ScriptAction act(int verb, int value) {
  ScriptAction a;
  a.verb = verb;
  a.value = value;
  return a;
}

}  // namespace

TEST_F(Runner, DieKillsTheCharacterANeutralPlayingItsMoveAndABossAsACreature) {
  struct Case {
    int object_type;
    int expect_type;
  };
  for (const Case& k : {Case{OBJ_NEUTRAL, OBJ_NEUTRAL}, Case{OBJ_CREATURE, OBJ_CREATURE}, Case{OBJ_BOSS, OBJ_CREATURE}}) {
    living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, k.object_type);
    const int c = script_character_add("victim", e->handle, 1);
    script_character_add_action(c, act(SV_DIE, 0));
    script_character_start(c);
    EXPECT_EQ(e->type, k.expect_type) << k.object_type;
    EXPECT_EQ(e->hp, 0.0f) << k.object_type;
    EXPECT_TRUE(e->state & ES_DEAD) << k.object_type;
    EXPECT_EQ(script_character_at(c)->run_mode, -1) << k.object_type;
    // The entity's next frame lays it down.
    kit.frame();
    EXPECT_TRUE(e->state & ES_DOWN) << k.object_type;
    script_runner_reset();
  }
  // A negative move cannot start: the character lives and retries.
  living_entity* e = kit.spawn(kit.type("Rat"), {3, 0, 0}, OBJ_NEUTRAL);
  const int c = script_character_add("survivor", e->handle, 1);
  script_character_add_action(c, act(SV_DIE, -1));
  script_character_start(c);
  EXPECT_GT(e->hp, 0.0f);
  EXPECT_TRUE(script_character_at(c)->retry);
}

TEST_F(Runner, ReplacedWeaponsAndArmourComeBackWithTheCutsceneUndo) {
  living_entity* e = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_NEUTRAL);
  const int sword = item_lookup("Short Sword"), long_sword = item_lookup("Long Sword");
  const int mail = item_lookup("Chain Mail"), blouse = item_lookup("Servant's Blouse"), plate = item_lookup("Plate Armour");
  ASSERT_GE(sword, 0);
  ASSERT_GE(plate, 0);
  item_instance* own = item_create(sword);
  entity_equip_item(nullptr, nullptr, e, EQ_WEAPON, own);
  item_instance* own_mail = item_create(mail);
  entity_equip_item(nullptr, nullptr, e, EQ_TORSO, own_mail);
  const int c = script_character_add("actor", e->handle, 1);
  // Long sword in, then taken off: the first displaced sword is what is kept.
  script_character_add_action(c, act(SV_REPLACE_WEAPON, long_sword));
  script_character_add_action(c, act(SV_REPLACE_WEAPON, -1));
  // Chain mail to a blouse is refused (other armour worn and a torso piece);
  // to plate it changes.
  script_character_add_action(c, act(SV_REPLACE_ARMOR, blouse));
  script_character_add_action(c, act(SV_REPLACE_ARMOR, plate));
  script_character_add_action(c, act(SV_REPLACE_ARMOR, plate));  // heavy over heavy: nothing
  for (int i = 0; i < 5; i++) script_characters_step();
  EXPECT_EQ(e->equipment[EQ_WEAPON], nullptr);
  ASSERT_NE(e->equipment[EQ_TORSO], nullptr);
  EXPECT_EQ(e->equipment[EQ_TORSO]->info, &Item_infos[plate]);
  EXPECT_EQ(script_replaced_item_count(), 2);
  script_replaced_items_restore();
  EXPECT_EQ(e->equipment[EQ_WEAPON], own);
  EXPECT_EQ(e->equipment[EQ_TORSO], own_mail);
  EXPECT_EQ(script_replaced_item_count(), 0);
  // Without armour, taking it off or a torso piece does nothing.
  living_entity* bare = kit.spawn(kit.type("Rat"), {2, 0, 0}, OBJ_NEUTRAL);
  const int d = script_character_add("bare", bare->handle, 1);
  script_character_add_action(d, act(SV_REPLACE_ARMOR, -1));
  script_character_add_action(d, act(SV_REPLACE_ARMOR, mail));
  script_character_start(d);
  script_characters_step();
  EXPECT_EQ(bare->equipment[EQ_TORSO], nullptr);
  EXPECT_EQ(script_replaced_item_count(), 0);
}

TEST_F(Runner, TheLevelTableStartsAmbientSoundsLoadsItsMapsAndSetsItsFog) {
  static std::vector<std::string> Sounds, Loaded;
  Sounds.clear();
  Loaded.clear();
  static int Released = 0;
  Released = 0;
  Script_world.ambient_emitter_create = [](const char* sound, const vector& pos) {
    Sounds.push_back(std::string(sound) + "@" + std::to_string(static_cast<int>(pos.x)));
    return static_cast<int>(Sounds.size()) + 40;
  };
  Script_world.automap_bitmap_load = [](const char* name) {
    Loaded.push_back(name);
    return std::string(name) == "missing.tga" ? -1 : static_cast<int>(Loaded.size()) + 100;
  };
  Script_world.automap_bitmap_release = [](int) { Released++; };
  nav("brook", 6.0f, 1.0f);
  // Spelled out from the table grammar.
  const std::string text =
      "#Effects\r\n#Ambient Sounds\r\n$Ambient: \"water.wav\" \"brook\"\r\n$Ambient: \"wind.wav\" \"nowhere\"\r\n"
      "#Automap\r\n$AutomapPC: \"$layer1\" 2 \"lower.tga\"\r\n$AutomapPC: \"$layer2\" 1 \"upper.tga\"\r\n"
      "$AutomapPSX: \"$layer1\" 3 \"psx.tga\"\r\n"
      "#Fog\r\n+Color: 10 300 -5\r\n+Distance: \"$layer3\" 12.0 40.0 +Color: 1 2 3 NoSnow\r\n"
      "+Fog Near: 18.0\r\n+Fog Far: 45.0\r\n+CharFog: 8.0 25.0\r\n+EAX: \"cave\"\r\n#End\r\n";
  data_table(text);
  EXPECT_EQ(Sounds, (std::vector<std::string>{"water.wav@6"}));
  EXPECT_EQ(ambient_sound_count(), 1);
  EXPECT_NE(Said.find("Ambient sound navpoint not found: nowhere"), std::string::npos);
  // Map numbers, not the order of the lines; the console's version is not loaded.
  EXPECT_EQ(level_automap_map_count(), 2);
  EXPECT_EQ(level_automap_bitmap(1), 102);
  EXPECT_EQ(level_automap_bitmap(2), 101);
  EXPECT_EQ(level_automap_bitmap(3), -1);
  EXPECT_EQ(Loaded.size(), 2u);
  EXPECT_EQ(Fog_r, 10);
  EXPECT_EQ(Fog_g, 255);
  EXPECT_EQ(Fog_b, 0);
  EXPECT_FLOAT_EQ(fog_get_near(), 18.0f);
  EXPECT_FLOAT_EQ(fog_get_far(), 45.0f);
  EXPECT_FALSE(vis_layer_has_snow(3));
  EXPECT_FLOAT_EQ(Fog_char_near, 8.0f);
  EXPECT_FLOAT_EQ(Fog_char_far, 25.0f);
  fog_apply_zone(3);
  EXPECT_FLOAT_EQ(fog_get_near(), 12.0f);
  EXPECT_FLOAT_EQ(fog_get_far(), 40.0f);
  EXPECT_EQ(Fog_b, 3);
  level_automap_release();
  EXPECT_EQ(Released, 2);
  EXPECT_EQ(level_automap_map_count(), 0);
  ambient_sounds_clear();
  // A map without its bitmap stops the level.
  CriticalErrorTrap trap;
  for (const char* table : {"#Effects\r\n#Automap\r\n$AutomapPC: \"$layer1\" 1 \"missing.tga\"\r\n#End\r\n",
                            "#Effects\r\n#Automap\r\n$AutomapPC: \"$layer1\" 2 \"upper.tga\"\r\n#End\r\n"}) {
    try {
      data_table(table);
      ADD_FAILURE() << "a map without its bitmap was taken: " << table;
    } catch (const CriticalErrorThrown& e) {
      EXPECT_NE(std::string(e.what()).find("Specified automap bitmap not found!"), std::string::npos) << e.what();
    }
  }
  Script_world.ambient_emitter_create = nullptr;
  Script_world.automap_bitmap_load = nullptr;
  Script_world.automap_bitmap_release = nullptr;
  level_automap_release();
  // The next level without "+CharFog:" has the default again.
  fog_level_reset();
  EXPECT_FLOAT_EQ(Fog_char_near, 35.0f);
  EXPECT_FLOAT_EQ(Fog_char_far, 50.0f);
  for (int l = 0; l < MAX_VIS_LAYERS; l++) fog_zone_set(l, 0, 0, 0, 0, 0), vis_layer_set_snow(l, true);
}

TEST_F(Runner, AGuardSplineLaysABarrierAcrossTheWayCutWhereTheGroundEnds) {
  vector a, b;
  // Guard at the origin, hero 4 east: the barrier runs north-south through x = 2.
  ASSERT_TRUE(guard_barrier_line({0, 0, 0}, {4, 0, 0}, &a, &b));
  EXPECT_FLOAT_EQ(a.x, 2.0f);
  EXPECT_FLOAT_EQ(b.x, 2.0f);
  EXPECT_NEAR(std::fabs(a.z - b.z), 2.0f * GUARD_BARRIER_REACH, 1e-3f);
  EXPECT_FALSE(guard_barrier_line({1, 0, 1}, {1, 5, 1}, &a, &b));
  // A cliff rising from z = 5 on: the north end stops short of it.
  kit.add_ramp(-10.0f, 5.0f, 10.0f, 30.0f, 6.0f, 6.0f);
  ASSERT_TRUE(guard_barrier_line({0, 0, 0}, {4, 0, 0}, &a, &b));
  const float north = std::max(a.z, b.z), south = std::min(a.z, b.z);
  EXPECT_LT(north, 5.0f - GUARD_BARRIER_MARGIN + 1e-3f);
  EXPECT_GT(north, 5.0f - GUARD_BARRIER_MARGIN - GUARD_BARRIER_SAMPLE - 1e-3f);
  EXPECT_NEAR(south, -GUARD_BARRIER_REACH, 1e-3f);
}

TEST_F(Runner, SkippingACutsceneJumpsEachCharacterPastItsSynch) {
  nav("start", 0.0f, 0.0f);
  nav("far", 30.0f, 0.0f);
  nav("mark", 8.0f, 4.0f, 1.0f);
  const Navpoint* far = navpoint_find("far");
  const Navpoint* mark = navpoint_find("mark");
  living_entity* a = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_NEUTRAL);
  living_entity* b = kit.spawn(kit.type("Rat"), {2, 0, 0}, OBJ_NEUTRAL);
  living_entity* other = kit.spawn(kit.type("Rat"), {4, 0, 0}, OBJ_NEUTRAL);
  const int ca = script_character_add("a", a->handle, 0);
  const int cb = script_character_add("b", b->handle, 0);
  const int co = script_character_add("other", other->handle, 0);
  ScriptAction walk = act(SV_WALK_TO, 0);
  walk.nav = far;
  ScriptAction teleport = act(SV_SYNCH_TELEPORT, 2);
  teleport.nav = mark;
  ScriptAction say = act(SV_SAY, 2);
  say.name = "Here.";
  // a: a long walk, then its synch teleport to the mark, then a wait.
  script_character_add_action(ca, walk);
  script_character_add_action(ca, act(SV_SYNCH, 1));
  script_character_add_action(ca, teleport);
  ScriptAction wait = act(SV_WAIT_AT, 30);
  wait.nav = mark;
  script_character_add_action(ca, wait);
  // b: synch 2 is a plain synch; the say after it starts.
  script_character_add_action(cb, walk);
  script_character_add_action(cb, act(SV_SYNCH, 2));
  script_character_add_action(cb, say);
  // other: no synch 2, left walking.
  script_character_add_action(co, walk);
  script_character_add_action(co, act(SV_SYNCH, 1));
  for (int c : {ca, cb, co}) script_character_start(c);
  ASSERT_EQ(walk_orders(a, nullptr), 1);
  script_characters_skip_to_synch(2);
  EXPECT_EQ(walk_orders(a, nullptr), 0);
  EXPECT_FLOAT_EQ(a->pos.x, mark->pos.x);
  EXPECT_FLOAT_EQ(a->pos.z, mark->pos.z);
  EXPECT_EQ(script_character_at(ca)->current, 3);  // the wait after the teleport
  EXPECT_EQ(walk_orders(b, nullptr), 0);
  EXPECT_EQ(script_character_at(cb)->current, 2);
  EXPECT_EQ(script_character_at(co)->current, 0);
  EXPECT_EQ(walk_orders(other, nullptr), 1);
}

// The level's characters step in the level script's frame and the cutscene
// script's in the cutscene's.
TEST_F(Runner, CutsceneCharactersStepApartFromTheLevels) {
  nav("post", 0.0f, 0.0f);
  nav("far", 30.0f, 0.0f);
  living_entity* guard = kit.spawn(kit.type("Rat"), {2, 0, 0}, OBJ_NEUTRAL);
  const int level_character = script_character_add("guard", guard->handle, 0);
  ScriptAction wait = act(SV_WAIT_AT, 0);
  script_character_add_action(level_character, wait);
  ScriptAction walk = act(SV_WALK_TO, 0);
  walk.nav = navpoint_find("far");
  script_character_add_action(level_character, walk);
  script_character_start(level_character);
  // A cutscene's actor: a moment at its place, then a walk.
  Cscript_cutscene_index = 0;
  const std::string cscript =
      "$Level: \"demo_outdoor\"\r\n#Navpoints\r\n#Objects\r\n"
      "$Name: \"Actor\"\r\n$Start position: \"post\"\r\n$Character: \"Rat\"\r\n"
      "+Action: \"wait at\" \"post\" 0\r\n+Action: \"walk to\" \"far\"\r\n#end\r\n";
  ASSERT_TRUE(cscript_table_read_text("scene", cscript.c_str(), static_cast<int>(cscript.size())));
  const int actor = script_character_find("Actor");
  ASSERT_GE(actor, 0);
  ASSERT_EQ(script_character_at(actor)->current, 0);
  cutscene_characters_step();
  EXPECT_EQ(script_character_at(actor)->current, 1);
  EXPECT_EQ(walk_orders(entity_find_by_name("Actor"), nullptr), 1);
  EXPECT_EQ(script_character_at(level_character)->current, 0);  // not the cutscene's to step
  script_characters_step();
  EXPECT_EQ(script_character_at(level_character)->current, 1);
  EXPECT_EQ(walk_orders(guard, nullptr), 1);
  cscript_restore_objects();
  Cscript_cutscene_index = -1;
}

TEST_F(Runner, CombatModeDropsTheStanceAndLeavingItTakesItBack) {
  living_entity* guard = kit.spawn(kit.type("Rat"), {0, 0, 0}, OBJ_NEUTRAL);
  guard->state &= ~ES_COMBAT_READY;
  guard->stance_anim = guard->stance_anim_saved = 7;
  const int c = script_character_add("guard", guard->handle, 0);
  script_character_add_action(c, act(SV_COMBAT_MODE, 1));
  ScriptAction wait = act(SV_WAIT_AT, 30);
  script_character_add_action(c, wait);
  script_character_add_action(c, act(SV_COMBAT_MODE, 0));
  script_character_start(c);
  EXPECT_TRUE(guard->state & ES_COMBAT_READY);
  EXPECT_EQ(guard->stance_anim, 0);
  script_characters_step();
  ASSERT_EQ(script_character_at(c)->current, 1);
  script_character_at(c)->timer = 0;  // the wait is over
  script_characters_step();
  EXPECT_FALSE(guard->state & ES_COMBAT_READY);
  EXPECT_EQ(guard->stance_anim, 7);
}

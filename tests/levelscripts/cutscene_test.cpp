// Playing and stopping cutscenes in the game: what cutscene mode changes
// (HUD, music, sounds, fog, the scale word, the entities' state) and how
// Escape, another cutscene or a failed load put it back. The game's services
// are recording hooks; the world is the shared kit, the streams and scripts
// are files of a scratch root.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Engine/rendering/snow.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "levelscripts/cutscene.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tests/support/world_kit.h"
#include "tools/writers/cutscene_writer.h"
#include "tools/writers/table_writers.h"

namespace {

struct Game {
  bool hud = true;
  int music = 3;  // the level's music, playing
  bool music_faded = false;
  int stops = 0;
  float fog_near = 20.0f, fog_far = 60.0f;
  int loading_begun = 0, loading_ended = 0;
  std::vector<std::string> log;
} G;

CutsceneGameHooks game_hooks() {
  CutsceneGameHooks h;
  h.level_name = [] { return "demo_outdoor"; };
  h.loading_begin = [](int) { G.loading_begun++; };
  h.loading_end = [] { G.loading_ended++; };
  h.hud_show = [](bool shown) { G.hud = shown; };
  h.fog_get = [](float* n, float* f) {
    *n = G.fog_near;
    *f = G.fog_far;
  };
  h.fog_set = [](float n, float f) {
    G.fog_near = n;
    G.fog_far = f;
  };
  h.music_current = [] { return G.music_faded ? -1 : G.music; };
  h.music_fade_out = [](int) { G.music_faded = true; };
  h.music_play = [](int track) {
    G.music = track;
    G.music_faded = false;
  };
  h.sounds_stop_all = [] { G.stops++; };
  h.vis_override = [](bool on) { G.log.push_back(on ? "vis on" : "vis off"); };
  h.vis_set = [](const char* const* names, int count) {
    G.log.push_back("vis set " + std::to_string(count) + " " + names[0]);
  };
  return h;
}

const char Table[] =
    "$Cutscene: \"gate\" +Level: \"demo_outdoor\" +Stream: \"gate.csc\"\n"
    "+Fog: 5 50 +Track: 0\n"
    "$VisSet: 1 $vis: \"courtyard\"\n"
    "$Cutscene: \"broken\" +Level: \"any\" +Stream: \"missing.csc\"\n"
    "$Cutscene: \"elsewhere\" +Level: \"demo_indoor\" +Stream: \"gate.csc\"\n"
    "$Cutscene: \"Nar-ThalemAct4\" +Level: \"any\" +Stream: \"gate.csc\"\n"
    "$Cutscene: \"serpent-dismount\" +Level: \"any\" +Stream: \"gate.csc\"\n"
    "$Cutscene: \"Tiger-Escape\" +Level: \"any\" +Stream: \"gate.csc\"\n"
    "$Cutscene: \"PHNX-Escape\" +Level: \"any\" +Stream: \"gate.csc\"\n";

const char Script[] =
    "$Level: \"demo_outdoor\"\r\n#Navpoints\r\n$Num navpoints: 1\r\n"
    "$Name: \"gate_stand\"\r\n$Position: <6.0, 0.0, 4.0>\r\n"
    "$Orientation: [<1.0, 0.0, 0.0>, <0.0, 1.0, 0.0>, <0.0, 0.0, 1.0>]\r\n"
    "#Objects\r\n$Name: \"Aldren\"\r\n+No create\r\n$Start position: \"gate_stand\"\r\n$Character: \"Ruvizo\"\r\n"
    "+Action: \"teleport to\" \"gate_stand\"\r\n"
    "#end\r\n";

class Cutscenes : public WorldTest {
 protected:
  void SetUp() override {
    G = Game{};
    root_ = fresh_temp_dir("cutscenes");
    vfile_shutdown();
    vfile_set_root((root_ + "/").c_str(), false);
    vfile_add_path_type("data\\scripts", ".tbl");
    std::filesystem::create_directories(root_ + "/data/cutscenes/gate");
    std::filesystem::create_directories(root_ + "/data/cutscenes/elsewhere");
    std::filesystem::create_directories(root_ + "/data/scripts");
    CscTrack a{0.0f, 1.0f}, b{1.0f, 2.0f};
    for (const char* dir : {"gate", "Nar-ThalemAct4", "serpent-dismount", "Tiger-Escape", "PHNX-Escape"}) {
      std::filesystem::create_directories(root_ + "/data/cutscenes/" + dir);
      ASSERT_TRUE(cutscene_stream_write_file(root_ + "/data/cutscenes/" + dir + "/gate.csc", {a, b}));
    }
    ASSERT_TRUE(table_write_file(root_ + "/data/scripts/gate_cscript.tbl", Script));
    cutscene_table_read_text("cutscenes.tbl", Table, sizeof Table - 1);
    navpoints_reset(false);
    navpoints_reset(true);
    script_runner_reset();
    level_position_set_level("demo_outdoor", "demo_outdoor");
    cutscene_set_game_hooks(game_hooks());
    cutscene_player_set_hooks(cutscene_default_player_hooks());
    GameFlags = GF_SINGLE_PLAYER;
    hero = kit.spawn(kit.type("Ruvizo"), {1, 0, 2}, OBJ_PLAYER);
    hero->set_name("Aldren");
    guard = kit.spawn(kit.type("Ruvizo"), {-3, 0, 0}, OBJ_NEUTRAL);
    guard->set_name("Guard");
  }
  void TearDown() override {
    cutscene_stop();
    cutscene_set_game_hooks({});
    cutscene_player_set_hooks({});
    Script_world.camera_on_hero = nullptr;
    Selected_entity = nullptr;
    cutscene_table_reset();
    vfile_shutdown();
    GameFlags = 0;
  }
  living_entity* hero = nullptr;
  living_entity* guard = nullptr;
  std::string root_;
};

TEST_F(Cutscenes, PlayingEntersCutsceneModeAndEscapeRestoresTheGame) {
  guard->state |= ES_AI_DISABLED;
  Cutscene_scale_word = 0.5f;
  cutscene_play("GATE");
  ASSERT_TRUE(cutscene_running());
  EXPECT_TRUE(game_flags_test(GF_CUTSCENE));
  EXPECT_FALSE(G.hud);
  EXPECT_TRUE(G.music_faded);
  EXPECT_EQ(G.stops, 1);
  EXPECT_FLOAT_EQ(Cutscene_scale_word, 1.0f);
  EXPECT_EQ(G.loading_begun, 1);
  EXPECT_EQ(G.loading_ended, 1);
  EXPECT_EQ(cutscene_snapshot_count(), 2);
  EXPECT_STREQ(cscript_current_name(), "gate");
  EXPECT_EQ(G.log, (std::vector<std::string>{"vis on"}));

  // The script stands the hero at the gate; the first frames play the first
  // track with its fog and visibility set.
  script_characters_step();
  EXPECT_FLOAT_EQ(hero->pos.x, 6.0f);
  cutscene_frame(5000);
  EXPECT_EQ(Cutscene_player.current_track, 0);
  EXPECT_FLOAT_EQ(G.fog_near, 5.0f);
  cutscene_frame(6000);
  EXPECT_EQ(Cutscene_player.current_track, 1);
  EXPECT_EQ(G.log.back(), "vis set 1 courtyard");

  // While it plays the guard's AI is switched back on by a script; the
  // cutscene's end gives back what the snapshot holds.
  guard->state &= ~ES_AI_DISABLED;
  hero->pos = {9, 0, 9};
  cutscene_stop();  // what Escape runs
  EXPECT_FALSE(game_flags_test(GF_CUTSCENE));
  EXPECT_TRUE(G.hud);
  EXPECT_EQ(G.music, 3);
  EXPECT_FALSE(G.music_faded);
  EXPECT_FLOAT_EQ(G.fog_near, 20.0f);
  EXPECT_FLOAT_EQ(G.fog_far, 60.0f);
  EXPECT_FLOAT_EQ(Cutscene_scale_word, 0.5f);
  EXPECT_FLOAT_EQ(hero->pos.x, 1.0f);
  EXPECT_FLOAT_EQ(hero->pos.z, 2.0f);
  EXPECT_TRUE(guard->state & ES_AI_DISABLED);
  EXPECT_EQ(G.log.back(), "vis off");
  EXPECT_EQ(Cutscene_player.record, nullptr);
  EXPECT_EQ(Cutscene_player.stream_path_type, -1);
  EXPECT_STREQ(cscript_current_name(), "");
  Cutscene_scale_word = 1.0f;
}

TEST_F(Cutscenes, TheLastTrackEndsTheCutscene) {
  cutscene_play("gate");
  cutscene_frame(1000);
  cutscene_frame(2000);
  EXPECT_TRUE(cutscene_running());
  cutscene_frame(3000);
  EXPECT_FALSE(cutscene_running());
  EXPECT_TRUE(G.hud);
}

TEST_F(Cutscenes, NamesOfNoRecordOrOfAnotherLevelChangeNothing) {
  for (const char* name : {"nowhere", "elsewhere", ""}) {
    cutscene_play(name);
    EXPECT_FALSE(cutscene_running()) << name;
    EXPECT_TRUE(G.hud) << name;
    EXPECT_FALSE(G.music_faded) << name;
    EXPECT_EQ(G.loading_begun, 0) << name;
    EXPECT_EQ(G.stops, 0) << name;
  }
}

// Left as the failed load left it, the game would keep its HUD hidden, its
// music faded and its loading screen up with nothing playing.
TEST_F(Cutscenes, AFailedLoadRollsTheGameBack) {
  Cutscene_scale_word = 0.5f;
  cutscene_play("broken");
  EXPECT_FALSE(cutscene_running());
  EXPECT_FALSE(game_flags_test(GF_CUTSCENE));
  EXPECT_TRUE(G.hud);
  EXPECT_EQ(G.music, 3);
  EXPECT_FALSE(G.music_faded);
  EXPECT_FLOAT_EQ(Cutscene_scale_word, 0.5f);
  EXPECT_EQ(G.loading_begun, 1);
  EXPECT_EQ(G.loading_ended, 1);
  EXPECT_EQ(Cutscene_player.stream_path_type, -1);
  Cutscene_scale_word = 1.0f;
}

TEST_F(Cutscenes, PlayingAnotherWhileOneRunsStopsTheFirst) {
  cutscene_play("gate");
  script_characters_step();
  hero->pos = {9, 0, 9};
  cutscene_play("gate");
  ASSERT_TRUE(cutscene_running());
  EXPECT_FLOAT_EQ(hero->pos.x, 6.0f);
  EXPECT_EQ(G.loading_begun, 1);
  // The first one's script put the hero back before the second remembered
  // where he stood.
  cutscene_stop();
  EXPECT_FLOAT_EQ(hero->pos.x, 1.0f);
  EXPECT_FLOAT_EQ(hero->pos.z, 2.0f);
  EXPECT_EQ(G.music, 3);
  EXPECT_TRUE(G.hud);
}

TEST_F(Cutscenes, TheConsoleCommandsPlayAndStop) {
  ASSERT_EQ(console_execute("play_cutscene gate"), 0);
  EXPECT_TRUE(cutscene_running());
  ASSERT_EQ(console_execute("stop_cutscene"), 0);
  EXPECT_FALSE(cutscene_running());
  EXPECT_NE(console_find_command("play_and_load_cutscene"), nullptr);
}

TEST_F(Cutscenes, PlayAndLoadWaitsForTheLevelThenPlays) {
  static std::string started;
  CutsceneGameHooks h = game_hooks();
  h.start_level = [](const char* level, const char*) {
    started = level;
    return true;
  };
  cutscene_set_game_hooks(h);
  play_and_load_cutscene("gate");
  EXPECT_EQ(started, "demo_outdoor");
  EXPECT_TRUE(game_flags_test(GF_CUTSCENE_WAITS | GF_CUTSCENE_ON_ENTRY));
  EXPECT_STREQ(cutscene_pending_name(), "gate");
  EXPECT_FALSE(cutscene_running());
  cutscene_choose_escape();
  EXPECT_TRUE(cutscene_running());
  EXPECT_FALSE(game_flags_test(GF_CUTSCENE_ON_ENTRY));
  EXPECT_STREQ(cutscene_pending_name(), "");
  // A cutscene of a level load keeps the HUD hidden after it.
  cutscene_stop();
  EXPECT_FALSE(G.hud);
  game_flags_clear(GF_CUTSCENE_WAITS);
}

// Escape: a level character waiting at the synch of the track on screen
// goes on past it, one waiting at another synch stays where it is.
TEST_F(Cutscenes, EscapeJumpsTheCharactersWaitingAtTheTracksSynch) {
  cutscene_play("gate");
  cutscene_frame(1000);
  cutscene_frame(2000);
  ASSERT_EQ(cutscene_synch_number(), 1);
  const auto add = [](const char* name, living_entity* e, int synch) {
    const int c = script_character_add(name, e->handle, 0);
    ScriptAction label;
    label.verb = SV_LABEL;
    ScriptAction synched;
    synched.verb = SV_SYNCH;
    synched.value = synch;
    ScriptAction go;
    go.verb = SV_WAIT_FOR_GO;
    go.value = 9;
    script_character_add_action(c, label);
    script_character_add_action(c, synched);
    script_character_add_action(c, go);
    script_character_start(c);
    return c;
  };
  living_entity* other = kit.spawn(kit.type("Ruvizo"), {-6, 0, 0}, OBJ_NEUTRAL);
  const int waiting = add("Guard", guard, 1);
  const int elsewhere = add("Other", other, 2);
  EXPECT_TRUE(cutscene_skip());
  EXPECT_FALSE(cutscene_running());
  EXPECT_EQ(script_character_at(waiting)->current, 2);  // waiting for go, past the synch
  EXPECT_EQ(script_character_at(elsewhere)->current, 1);  // still at its synch
  EXPECT_FALSE(cutscene_skip());
}

// What a cutscene takes away as it starts comes back as it ends: the other
// effects, the sounds' marks, the camera on the hero, the party's
// combat-ready state taken from the controlled hero.
TEST_F(Cutscenes, TheEndGivesBackWhatTheStartTookAway) {
  static std::vector<std::string> log;
  log.clear();
  CutsceneGameHooks h = game_hooks();
  h.effects_begin = [] { log.push_back("effects hidden"); };
  h.effects_end = [] { log.push_back("effects shown"); };
  h.sounds_page_in = [] { log.push_back("sounds paged in"); };
  h.sounds_clear_used = [] { log.push_back("sound marks cleared"); };
  h.effect_memory_reset = [] { log.push_back("effect memory"); };
  h.charinfo_after = [] { log.push_back("charinfo"); };
  h.summon_effects_destroy = [] { log.push_back("summon effects"); };
  h.party_combat_ready = [](bool on) { log.push_back(on ? "combat ready" : "not combat ready"); };
  cutscene_set_game_hooks(h);
  Script_world.camera_on_hero = [] { log.push_back("camera on hero"); };
  Selected_entity = hero;
  hero->state |= ES_COMBAT_READY;

  cutscene_play("gate");
  EXPECT_EQ(log, (std::vector<std::string>{"sounds paged in", "camera on hero", "effects hidden"}));
  EXPECT_TRUE(Loading_icon_shown);
  cutscene_frame(1000);  // the first track's events: the wait is over
  EXPECT_FALSE(Loading_icon_shown);

  log.clear();
  cutscene_stop();
  EXPECT_EQ(log, (std::vector<std::string>{"sound marks cleared", "camera on hero", "summon effects", "effect memory",
                                           "effects shown", "charinfo", "combat ready"}));
  EXPECT_FALSE(Loading_icon_shown);
}

TEST_F(Cutscenes, AStopBeforeTheFirstTrackTakesTheWaitBitmapAway) {
  cutscene_play("gate");
  EXPECT_TRUE(Loading_icon_shown);
  cutscene_stop();
  EXPECT_FALSE(Loading_icon_shown);
}

// Named cutscenes prepare their scene: snow off while one plays, the
// serpent rider's walk, the escaping rider bosses out of the fight.
TEST_F(Cutscenes, NamedCutscenesPrepareTheirScene) {
  static std::vector<std::string> log;
  log.clear();
  CutsceneGameHooks h = game_hooks();
  h.serpent_rider_animation = [](const char* a) { log.push_back(std::string("serpent ") + a); };
  h.rider_escape = [](int type, bool last) { log.push_back("rider " + std::to_string(type) + (last ? " last" : " first")); };
  h.start_level = [](const char*, const char*) { return true; };
  cutscene_set_game_hooks(h);

  Snow_enabled = true;
  cutscene_play("nar-thalemact4");
  ASSERT_TRUE(cutscene_running());
  EXPECT_FALSE(Snow_enabled);
  cutscene_stop();
  EXPECT_TRUE(Snow_enabled);

  cutscene_play("serpent-dismount");
  EXPECT_EQ(log, (std::vector<std::string>{"serpent ride_horse_walk"}));
  cutscene_stop();

  for (const char* name : {"Tiger-Escape", "PHNX-Escape"}) {
    play_and_load_cutscene(name);
    cutscene_choose_escape();
    EXPECT_TRUE(cutscene_running()) << name;
    cutscene_stop();
    game_flags_clear(GF_CUTSCENE_WAITS);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"serpent ride_horse_walk", "rider 87 last", "rider 88 first"}));
  // An ordinary cutscene prepares nothing.
  cutscene_play("gate");
  EXPECT_EQ(log.size(), 3u);
  Snow_enabled = false;
}

}  // namespace

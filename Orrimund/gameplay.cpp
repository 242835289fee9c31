#include "Orrimund/gameplay.h"
#include "Engine/Objects/spell_cast.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/Objects/combat.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/ai/ai_think.h"
#include "Engine/ai/obstacles.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_planner.h"
#include "Engine/Objects/entity_level.h"
#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/cutscene_services.h"
#include "Orrimund/dialogue_services.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/ground_marks.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/Scripts/front_story.h"
#include "levelscripts/conversation_state.h"
#include "levelscripts/cutscene.h"
#include "levelscripts/dialogue.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/savegame.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/mouse.h"
#include "quarn/os/timer.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

char LevelName[LEVEL_NAME_MAX] = "";
char StartName[LEVEL_NAME_MAX] = "";
uint32_t LevelStartMode = 0;
uint8_t Tutorial_opening = 0;
uint8_t Level_load_failed = 0;
float Level_time = 0.0f, Game_time = 0.0f;
bool Level_is_town = false;
float Script_effect_time = -1.0f;
int Level_load_step_ms[MAX_LEVEL_LOAD_STEPS] = {};
int Level_entry_ms = -1;
int32_t Fog_display_timer = -1;

namespace {

bool Level_loaded = false;      // the level geometry is in memory
bool Loaded_from_save = false;  // this entry resumed a saved game
bool Reset_camera_fully = false;
int Load_started_ms = 0;
int Request_ms = -1;            // when the level entry was asked for; -1 once its first frame ran
int Phase_ms = 0;               // the end of the entry's last reported phase

// One phase of a level entry, from the end of the one before.
void entry_phase(const char* name) {
  if (Request_ms < 0) return;
  const int now = timer_get(1000);
  console_printf("Load phase \"%s\": %d ms\n", name, now - Phase_ms);
  Phase_ms = now;
}
// The files a level entry reads: counted always, listed with load_report on.
bool Load_report = false;
int Load_files = 0;
long long Load_bytes = 0;
void load_file_opened(const char* disk_path, long offset, int size) {
  Load_files++;
  Load_bytes += size;
  if (Load_report) console_printf("Load file: %ld %d %s\n", offset, size, disk_path);
}
// A failed load tells the player on the title, once it shows.
std::string Pending_message;

bool copy_name(char* out, const char* in) {
  if (!in || std::strlen(in) >= LEVEL_NAME_MAX) return false;
  std::snprintf(out, LEVEL_NAME_MAX, "%s", in);
  return true;
}

void load_message(const char* text) {
  console_printf("%s\n", text);
  std::fprintf(stderr, "%s\n", text);
  // Shown on the title, once the level is left.
  Pending_message = text;
}

// --- the loading steps ------------------------------------------------------------

bool step_reset_script_record() {
  level_position_set_level(LevelName, StartName);
  return true;
}

bool step_level_file() {
  char file[LEVEL_NAME_MAX + 8];
  std::snprintf(file, sizeof file, "%s.s3d", LevelName);
  if (s3d_load(file, &Level) != 0) {
    char text[128];
    std::snprintf(text, sizeof text, "The level %s could not be loaded.", file);
    load_message(text);
    return false;
  }
  Level_loaded = true;
  std::printf("Level loaded: %s\n", file);
  std::fflush(stdout);
  s3d_preload_textures(&Level);
  // A level without a visibility file draws every group.
  if (vis_load(LevelName) != 0) vis_defaults();
  return true;
}

bool step_render_setup() {
  char file[LEVEL_NAME_MAX + 8];
  std::snprintf(file, sizeof file, "%s.s3d", LevelName);
  level_render_setup(file);
  fog_apply_zone(0);
  return true;
}

// A level without a graph file plays without paths; a damaged one stops the load.
bool step_pathfinding() {
  path_planner_install();
  if (pfg_load(LevelName) != 0) {
    char text[128];
    std::snprintf(text, sizeof text, "The pathfinding graph of %s could not be loaded.", LevelName);
    load_message(text);
    return false;
  }
  return true;
}

bool step_characters() {
  entity_use_loaded_level();
  entity_model_use_characters();
  return true;
}

bool step_party() {
  ai_think_reset();
  party_create_for_level();
  return true;
}

// The party stands at the level's start navpoints.
bool party_start_navpoint(int slot, vector* pos, float* heading, int* layer) {
  return level_player_start(slot, pos, heading, layer);
}

bool step_scripts() {
  // The level's navigation nodes become its navpoints, dropped to the
  // ground of the level now loaded.
  navpoints_reset(false);
  for (int i = 0; i < Level.node_count; i++)
    if (Level.nodes[i].name) navpoint_add_from_node(Level.nodes[i].name, Level.nodes[i].pos, Level.nodes[i].orient);
  level_script_setup();
  if (!level_player_start(0, nullptr, nullptr, nullptr)) {
    char text[128];
    std::snprintf(text, sizeof text, "Unable to locate player starts for level %s", LevelName);
    load_message(text);
    return false;
  }
  EntityWorldHooks w = entity_world();
  w.party_start = party_start_navpoint;
  entity_set_world_hooks(w);
  return true;
}

}  // namespace

LevelLoadStep Level_load_steps[] = {
    {"level script record", step_reset_script_record},
    {"level file and visibility", step_level_file},
    {"level renderer", step_render_setup},
    {"pathfinding graph", step_pathfinding},
    {"characters", step_characters},
    {"party", step_party},
    {"level script hooks", step_scripts},
};
int Num_level_load_steps = static_cast<int>(sizeof Level_load_steps / sizeof Level_load_steps[0]);

bool start_level(const char* level, const char* start) {
  char name[LEVEL_NAME_MAX], start_name[LEVEL_NAME_MAX];
  if (!copy_name(name, level)) {
    console_printf("Level name too long: %.40s...\n", level ? level : "");
    return false;
  }
  const int index = level_script_info_lookup(name);
  if (start && *start) {
    if (!copy_name(start_name, start)) return false;
  } else {
    const char* first = nullptr;
    for (int i = 0; index >= 0 && i < MAX_LEVEL_SCRIPT_ENTRIES && !first; i++) first = level_script_entry_name(index, i);
    if (!copy_name(start_name, first ? first : name)) return false;
  }
  std::memcpy(LevelName, name, LEVEL_NAME_MAX);
  std::memcpy(StartName, start_name, LEVEL_NAME_MAX);
  Level_position.entry_index = -1;
  LevelStartMode = 1;
  Request_ms = Phase_ms = timer_get(1000);
  Level_entry_ms = -1;
  Load_files = 0;
  Load_bytes = 0;
  vfile_set_open_trace_hook(load_file_opened);
  if (savegame_pending_load_length() > 0) Tutorial_opening = 1;
  else Tutorial_opening = (index == MASAD_LEVEL_INDEX && strcasecmp(StartName, "masad") == 0) ? 1 : 0;
  game_state_request(GS_NEW_GAME);
  return true;
}

void level_summary(const char* start, bool* town, int* types, int* types_to_load) {
  *town = false;
  *types = *types_to_load = 0;
  char file[LEVEL_NAME_MAX + 24];
  std::snprintf(file, sizeof file, "%s_demoscript.tbl", start ? start : "");
  ParseContext pc;
  if (pc.open(file, Scripts_path_type) != 0) return;
  *town = !game_is_networked() && pc.find_string("#Town");
  if (!pc.find_string("#Objects")) return;
  int seen[64];
  char name[128];
  while (pc.skip_to_string("$Character:", "#End")) {
    pc.require_string("$Character:");
    pc.read_string(name, sizeof name);
    int t = charinfo_lookup(name);
    if (t < 0) continue;
    bool counted = false;
    for (int i = 0; i < *types; i++) counted = counted || seen[i] == t;
    if (counted || *types >= 64) continue;
    seen[(*types)++] = t;
  }
}

void party_create_for_level() {
  if (game_is_networked()) return;  // the network game builds its party
  if (game_state_previous() != GS_NEW_GAME || savegame_pending_load_length() > 0) return;
  // A new game: the heroes of the level before are gone.
  if (party_first()) return;
  hero_create("Ruvizo", 1, true, false, -1);
  if (strcasecmp(LevelName, "masad") == 0) {
    Full_party = false;
    return;
  }
  if (Full_party) {
    hero_create("Rivadara", 1, false, false, -1);
    hero_create("Zazuru", 1, false, false, -1);
    hero_create("Rivud", 1, false, false, -1);
  }
}

bool level_load() {
  bool town = false;
  int types = 0, to_load = 0;
  level_summary(StartName, &town, &types, &to_load);
  Level_is_town = town;
  Load_started_ms = timer_get(1000);
  const int total = Num_level_load_steps + screens_level_init_count();
  std::printf("Loading steps: %d\n", total);
  std::fflush(stdout);
  int screen_ms = timer_get(1000);
  loading_screen_begin(total);
  screen_ms = timer_get(1000) - screen_ms;
  for (int i = 0; i < Num_level_load_steps; i++) {
    const int began = timer_get(1000);
    const bool ok = Level_load_steps[i].run();
    if (i < MAX_LEVEL_LOAD_STEPS) Level_load_step_ms[i] = timer_get(1000) - began;
    if (!ok) {
      console_printf("Level %s: loading stopped at \"%s\"\n", LevelName, Level_load_steps[i].name);
      return false;
    }
    console_printf("Load step %d \"%s\": %d ms\n", i, Level_load_steps[i].name, Level_load_step_ms[i]);
    const int bar = timer_get(1000);
    loading_bar_step();
    screen_ms += timer_get(1000) - bar;
  }
  console_printf("Load step %d \"%s\": %d ms\n", Num_level_load_steps, "loading screen and bar", screen_ms);
  return true;
}

void level_objects_release(bool full) {
  if (full) {
    party_free_all();
    living_entities_reset();
    objects_reset_all();
    Selected_entity = nullptr;
  } else {
    // A change of level: the heroes come along, everything else goes.
    for (game_object* o = objects_first(); o; o = objects_next(o)) {
      if (o->type == OBJ_PLAYER && !(static_cast<living_entity*>(o)->state & ES_SUMMONED)) {
        // Orders given in the old level (the walk into the exit) end here.
        ai_component* ai = &static_cast<living_entity*>(o)->ai;
        ai_queue_clear(ai);
        ai_reset_to_idle(ai);
        continue;
      }
      object_mark_deleted(o);
    }
    objects_delete_pending();
    bool town = false;
    int types = 0, to_load = 0;
    level_summary(StartName, &town, &types, &to_load);
    if (town || level_script_info_lookup(LevelName) == WORLDMAP_LEVEL_INDEX) {
      for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
        living_entity* e = member_entity(p);
        if (!e) continue;
        e->state &= ~(ES_DEAD | ES_HELD | ES_AI_INTERRUPTED);
        if (e->type == OBJ_DEAD_PLAYER) e->type = OBJ_PLAYER;
        e->hp = static_cast<float>(e->get_max_points(0));
        e->ap = static_cast<int16_t>(e->get_max_points(1));
        e->cure_all_status_effects();
      }
    }
  }
  Follow_leader = nullptr;
  Follow_target = nullptr;
}

void level_unload(bool full) {
  level_objects_release(full);
  if (Level_loaded) s3d_unload(&Level);
  Level_loaded = false;
  pfg_free();
  console_printf("Releasing from mark!\n");
}

bool dead_hero_switch() {
  living_entity* e = Selected_entity;
  const bool dead = !e || (e->state & ES_DEAD) || e->type == OBJ_DEAD_PLAYER;
  if (!dead || !party_first()) return false;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* m = member_entity(p);
    if (m && !(m->state & ES_DEAD) && m->type != OBJ_DEAD_PLAYER) {
      Scene_fade = 255;
      party_select_member_if_able(p);
      return true;
    }
  }
  if (!game_flags_test(GF_PARTY_DEAD)) {
    game_flags_set(GF_PARTY_DEAD);
    leave_ui_mode();
  }
  return false;
}

void gameplay_enter() {
  Level_load_failed = 0;
  const int previous = game_state_previous();
  if (previous == GS_HELP || previous == GS_CHARACTER_LIST) return;
  Loaded_from_save = false;
  if (previous == GS_NEW_GAME || previous == GS_LOBBY_LEVEL_SELECT) {
    party_inventory_clear();
    Game_time = 0.0f;
    Reset_camera_fully = true;
  }
  entry_phase("request to the gameplay state");
  // An exit or a level script names the next level in the script record;
  // the loading steps read the level's own name.
  if (previous == GS_GAMEPLAY && Level_position.level[0] && strcasecmp(Level_position.level, LevelName) != 0) {
    std::snprintf(LevelName, sizeof LevelName, "%s", Level_position.level);
    std::snprintf(StartName, sizeof StartName, "%s", Level_position.script[0] ? Level_position.script : Level_position.level);
  }
  Menu_cursor_shown = 1;
  spells_reset_for_level();
  spell_launch_points_reset();
  travel_decal_set_bitmap(Cursorspot_walkto);
  if (!level_load()) {
    vfile_set_open_trace_hook(nullptr);
    Request_ms = -1;
    level_unload(true);
    game_state_request(GS_TITLE);
    Level_load_failed = 1;
    input_flush();
    return;
  }
  entry_phase("loading steps");
  Level_time = 0.0f;
  party_set_combat_ready(false);
  if (savegame_pending_load_length() > 0) {
    if (!savegame_load_pending()) {
      load_message("The saved game could not be loaded.");
      vfile_set_open_trace_hook(nullptr);
      Request_ms = -1;
      level_unload(true);
      game_state_request(GS_TITLE);
      Level_load_failed = 1;
      input_flush();
      return;
    }
    Loaded_from_save = true;
    // The table was read before the saved image arrived; its state is in the image.
    conversation_load(Level_position.level, Level_position.script);
  }
  tutorial_level_start();
  elevators_reset();
  level_start_scripts(!Loaded_from_save);
  if (!Loaded_from_save) {
    int slot = 0;
    for (PlayerRecord* p = party_first(); p && slot < 4; p = party_next(p))
      if (living_entity* e = member_entity(p)) e->place_at_party_start(slot++);
    if (!game_is_networked() && Party_inventory.count == 0) party_inventory_add_by_name("Health Tonic", 3, -1, true);
    if (US_open_demo) {
      for (const char* item : {"katana", "wakasashi", "icy dagger", "sword of spirits", "heavy boots",
                               "steel gauntlets", "studded boots", "studded leather", "studded pants", "Ring of Fire",
                               "Ring of Darkness"})
        party_inventory_add_by_name(item, 1, -1, true);
      level_flag_set(level_script_info_lookup("LPalaceInt"), "got_ring_of_darkness", true);
      level_int_set(WORLDMAP_LEVEL_INDEX, "fire_ring_xp", 80000);
    }
  }
  while (game_pause_depth() > 0) game_resume();
  if (Reset_camera_fully) {
    game_camera.init_defaults();
    Reset_camera_fully = false;
  }
  game_camera.level_start();
  // The camera starts behind the hero in control, without a glide from
  // wherever it was in the level before.
  if (Selected_entity) {
    game_camera.target = Selected_entity->handle;
    game_camera.behind_target();
    game_camera.reset_view(true, true);
    game_camera.update(0.0f);
  }
  if (Selected_record) member_take_control(Selected_record);
  input_flush();
  game_flags_clear(GF_PARTY_DEAD);
  game_flags_set(GF_LEVEL_IN_PLAY);
  boss_set_level_name(LevelName);
  boss_reset_taunt_timer();
  if (!Loaded_from_save && Level_script_current >= 0) level_visit_count_increment(Level_script_current);
  entry_phase("saved game, scripts, party and camera");
  screens_level_init_all(loading_bar_step);
  loading_bar_finish();
  loading_screen_end();
  entry_phase("screens");
  console_printf("========== ENDING LOAD OF %s =======\n", LevelName);
  console_printf("Time took: %d\n", timer_get(1000) - Load_started_ms);
  cutscene_choose_escape();
}

namespace {

GameplayFrameHooks Frame_hooks;
// The listener stands still: the camera's motion is not heard as Doppler.
const vector Listener_velocity{0.0f, 0.0f, 0.0f};
float Fog_shown_near = -1.0f, Fog_shown_far = -1.0f;
constexpr int32_t FOG_DISPLAY_MS = 10000;

// The object frame: creatures think and move, the dead lie down, doors move.
void object_frame(float dt) {
  objects_delete_pending();
  ai_frame(dt);  // every live entity's AI, then its movement and upkeep
  combat_entities_frame();
  entities_footsteps_frame(dt);
  entities_dead_frame(dt);
  speech_texts_frame(dt);  // lines over heads run out
  // Doors, gates and lifts move toward where their last use sent them.
  for (int i = 0; i < Level.movable_count; i++) level_door_update(Level.movables[i].instance);
}

}  // namespace

// Clicks reach the world outside cutscenes, in a networked game only while
// its state is 5 or 6, and never through the container, game menu or assess
// screen.
bool gameplay_world_actions_allowed(bool ui) {
  if (ui || game_flags_test(GF_CUTSCENE | GF_INPUT_LOCKED) || screen_is_modal()) return false;
  if (game_is_networked()) {
    const int state = Frame_hooks.network_game_state ? Frame_hooks.network_game_state() : -1;
    if (state != 5 && state != 6) return false;
  }
  const int screen = screen_get_current();
  return screen != SCREEN_CONTAINER && screen != SCREEN_GAME_MENU && screen != SCREEN_ASSESS;
}

namespace {

void fog_readout() {
  if (Fog_display_timer < 0) return;
  if (timer_game_clock - Fog_display_timer >= FOG_DISPLAY_MS) {
    Fog_display_timer = -1;
    return;
  }
  const float near_dist = fog_get_near(), far_dist = fog_get_far();
  if (near_dist != Fog_shown_near || far_dist != Fog_shown_far) Fog_display_timer = timer_game_clock;
  Fog_shown_near = near_dist;
  Fog_shown_far = far_dist;
  char text[64];
  std::snprintf(text, sizeof text, "Fog_near = %.2f, Fog_far = %.2f", near_dist, far_dist);
  gr_set_color(250, 190, 190, 255);
  gr_string(10, 50, text);
}

}  // namespace

const GameplayFrameHooks& gameplay_frame_hooks() { return Frame_hooks; }
void gameplay_set_frame_hooks(const GameplayFrameHooks& hooks) { Frame_hooks = hooks; }

void cursor_choose() {
  const bool aiming = Hud_targeting == TARGETING_CREATURE || Hud_targeting == TARGETING_POINT;
  if (!aiming || screen_mouse_over() || Level_script_current == WORLDMAP_LEVEL_INDEX) cursor_set(Cursor_walk);
  else cursor_set(Cursor_target);
}

void gameplay_render() {
  const bool cutscene = game_flags_test(GF_CUTSCENE);
  // No marker while the left button is still held after a click into the
  // world: it shows once the button is let go (a press on the HUD does not
  // hide it).
  if (!cutscene && World_input.walk_marker) travel_decal_add(Selected_entity);
  if (!screen_is_modal()) {
    scene_render();
    if (Render_3d_obstacles && Selected_entity) obstacles_draw(Selected_entity->pos.y, Selected_entity->size_class());
  }
  gr_reset_clip();
  Menu_cursor_shown = cutscene ? 0 : 1;
  screen_render();
  fog_readout();
}

matrix gameplay_view_orientation(const matrix& camera, bool ui) {
  if (ui) return camera;
  matrix out;
  camera.multiply(out, game_camera.shake);
  return out;
}

void gameplay_frame() {
  const float dt = FrameTimer;
  const bool ui = game_flags_test(GF_UI_MODE);
  const bool cutscene = game_flags_test(GF_CUTSCENE);
  if (!ui) {
    Level_time += dt;
    Game_time += dt;
    Savegame_play_time += dt;
  }
  dead_hero_switch();
  const int key = menu_frame_input();
  screen_process_input(key);
  obstacles_frame_reset();
  cutscene_gameplay_frame();  // the cutscene's track reaches the camera before its update
  world_input_frame(ui ? 0.0f : dt);
  if (!cutscene && Frame_hooks.automap_reveal_party) Frame_hooks.automap_reveal_party();
  if (Selected_entity) fog_apply_zone(Selected_entity->layer);
  vector eye;
  matrix orient;
  float fov;
  game_camera.get_view(&eye, &orient, &fov);
  snd_set_listener(&eye, &Listener_velocity, &orient);
  const bool drawing = gr_is_initialised();
  if (drawing) {
    gr_reset_clip();
    gr_clear();
  }
  const matrix view = gameplay_view_orientation(orient, ui);
  if (!ui) path_graph_frame();
  if (drawing) {
    screen_set_view_rect();
    // The mouse ray of this frame's clicks is taken in this view.
    gr_3d_start_frame(eye, view, fov, false);
  }
  const float effect_dt = Script_effect_time >= 0.0f ? Script_effect_time : dt;
  if (ui) {
    fx_frame(effect_dt, true);
  } else if (cutscene) {
    level_script_frame();
    // The cutscene's frame steps the characters its script placed.
    if (Frame_hooks.script_timers) Frame_hooks.script_timers();
    object_frame(dt);
    fx_frame(effect_dt, false);
    dialogue_gameplay_frame();
  } else {
    if (Frame_hooks.script_timers) Frame_hooks.script_timers();
    level_script_frame();
    tutorial_triggers_frame(Level_script_current);
    elevators_frame(Level_script_current);
    object_frame(dt);
    fx_frame(effect_dt, false);
    dialogue_gameplay_frame();
  }
  cursor_choose();
  scene_set_highlight_a(0, 0, 0, 0);
  scene_set_highlight_b(0, 0, 0, 0);
  if (drawing) {
    if (gameplay_world_actions_allowed(ui)) {
      vector eye, ray;
      gr_3d_screen_to_ray(eye, ray, static_cast<float>(Input_record.x), static_cast<float>(Input_record.y));
      world_input_actions(Input_record, eye, ray);
    }
    if (!game_flags_test(GF_CUTSCENE)) selection_ring_add(Selected_entity, dt);
    gameplay_render();
  }
  if (Request_ms >= 0) {
    entry_phase("to the end of the first frame");
    Level_entry_ms = timer_get(1000) - Request_ms;
    Request_ms = -1;
    vfile_set_open_trace_hook(nullptr);
    console_printf("First gameplay frame of %s: %d ms after the request\n", LevelName, Level_entry_ms);
    console_printf("Load files: %d files, %lld bytes\n", Load_files, Load_bytes);
  }
  level_script_change();
}

void gameplay_leave() {
  const int next = game_state_requested();
  if (next == GS_HELP || next == GS_CHARACTER_LIST) return;
  popup_close();
  cutscene_stop();
  dialogue_end(false);
  set_screen(SCREEN_HUD, nullptr);
  if (!Level_load_failed) {
    conversation_store_state();
    level_script_exit();
  }
  const bool full = next != GS_GAMEPLAY;
  level_unload(full);
  if (full) party_inventory_forget();
  leave_ui_mode();
  if (!Level_load_failed) game_pause();
  game_flags_clear(GF_PARTY_DEAD | GF_LEVEL_IN_PLAY | GF_CONVERSATION);
  if (game_flags_test(GF_SOLO)) toggle_solo_mode();
  if (!Pending_message.empty()) {
    static const char* const ok[] = {"OK"};
    MessagePopup("Error", Pending_message.c_str(), -1, -1, 1, ok, nullptr, 0);
    Pending_message.clear();
  }
}

CONSOLE_BOOL_VARIABLE(cc_load_report, "load_report", "Toggles Load_report", Load_report);

// Developers watching the fog settle: the readout shows for 10 s, longer
// while the fog keeps changing.
static ConsoleCommand cc_fog_display("fog_display", "Shows the fog distances for 10 seconds", [] {
  if (!Console_run) return;
  Fog_display_timer = timer_game_clock;
});

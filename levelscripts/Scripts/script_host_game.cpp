// The game's script host: each operation forwards to the scripting library,
// the runner, the entities or the front end. Where the game has no such
// service yet, the operation does the least that keeps the story sound and
// says so beside it.
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/gameflags.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/snow.h"
#include "Engine/s3d/level_objects.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/automap_screen.h"
#include "Orrimund/screens/popup.h"
#include "levelscripts/Scripts/script_host_game.h"
#include "levelscripts/Scripts/story_common.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/gr/gr.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

namespace {
living_entity* named(const char* name) {
  if (!name) return nullptr;
  ScriptCharacter* c = script_character_at(script_character_find(name));
  if (c) return entity_from_handle(c->entity);
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = entity_from_handle(p->entity);
    if (e && strcasecmp(e->get_name(), name) == 0) return e;
  }
  return nullptr;
}

float distance(const vector& a, const vector& b) {
  vector d = a - b;
  return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

ScriptPopupDone Popup_done = nullptr;
int popup_answer(int button) {
  ScriptPopupDone d = Popup_done;
  Popup_done = nullptr;
  if (d && button >= 0) d(button);
  return 0;
}

// The level's scripted barriers: its named point lists whose names begin
// with "avoid", raised by the level's script and taken down again.
constexpr int MAX_SCRIPT_BARRIERS = AA_MAX_SCRIPT_SHAPES;
int Barriers[MAX_SCRIPT_BARRIERS];
int Barrier_count = 0;

void barriers_down() {
  for (int i = 0; i < Barrier_count; i++) aa_clear_avoid_poly(Barriers[i]);
  Barrier_count = 0;
}
void barriers_up() {
  barriers_down();
  for (int i = 0; i < Level.named_points_count && Barrier_count < MAX_SCRIPT_BARRIERS; i++) {
    const LevelNamedPoints& p = Level.named_points[i];
    if (!p.name || strncasecmp(p.name, "avoid", 5) != 0 || p.count < 2 || !p.points) continue;
    const int shape = aa_create_avoid_poly(AvoidShapeList{p.count, p.points});
    if (shape >= 0) Barriers[Barrier_count++] = shape;
  }
}

// A camera shot from a camera navpoint: the view stands at the point and
// keeps the leader in sight, then the camera takes its own view back. The
// shot lasts as long as a hero's line stays up.
constexpr int32_t CAMERA_SHOT_MS = 5000;
struct CameraShot {
  vector eye{0, 0, 0};
  int32_t end = 0;
};
CameraShot Shot;
bool sample_shot(void* context, float, vector* position, matrix* orientation) {
  const CameraShot* s = static_cast<const CameraShot*>(context);
  if (timestamp_elapsed(s->end, timer_game_clock)) return false;
  *position = s->eye;
  if (Selected_entity) {
    const vector f = Selected_entity->pos + vector(0.0f, 1.0f, 0.0f) - s->eye;
    if (f.x * f.x + f.y * f.y + f.z * f.z > 1e-4f) *orientation = matrix::from_forward(f);
  }
  return true;
}

bool every_entity(bool (*visit)(living_entity* e, void* data), void* data) {
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    if (!obj_is_living_entity(o)) continue;
    if (!visit(static_cast<living_entity*>(o), data)) return false;
  }
  return true;
}

class GameHost final : public ScriptHost {
 public:
  bool flag(int level, const char* name) override { return level_flag_get(level, name); }
  void set_flag(int level, const char* name, bool on) override { level_flag_set(level, name, on); }
  int int_value(int level, const char* name) override { return level_int_get(level, name); }
  void set_int(int level, const char* name, int value) override { level_int_set(level, name, value); }
  float float_value(int level, const char* name) override { return level_float_get(level, name); }
  void set_float(int level, const char* name, float value) override { level_float_set(level, name, value); }
  void set_game_stage(int stage) override { ::set_game_stage(stage); }
  int game_stage() override { return judge_game_stage(); }
  const char* script_variant() override { return Level_position.script; }
  const char* previous_level() override { return Level_position.previous; }
  bool networked() override { return game_is_networked(); }
  bool in_cutscene() override { return game_flags_test(GF_CUTSCENE); }
  bool in_conversation() override { return game_flags_test(GF_CONVERSATION); }
  bool ui_paused() override { return game_flags_test(GF_UI_MODE); }
  // The game has no state of its own that forbids encounters yet; a
  // conversation or a cutscene on the map stands in for it.
  bool no_encounters() override { return game_flags_test(GF_CUTSCENE | GF_CONVERSATION); }
  bool developer_mode() override { return Story_developer_mode; }

  // The game keeps no separate "level music" slot: the level's track is
  // started at once, looping, which is what the player hears either way.
  void set_level_music(const char* track) override { play_music(track, true); }
  void play_music(const char* track, bool loop) override {
    int t = music_find(track);
    if (t >= 0) music_play(t, loop);
  }

  void character_show(const char* name, bool show) override {
    script_character_show(name, !show);
    if (living_entity* e = named(name)) e->set_ai_enabled(show);
  }
  bool character_exists(const char* name) override { return named(name) != nullptr; }
  bool character_dead(const char* name) override {
    living_entity* e = named(name);
    return e && (obj_is_dead_entity(e) || e->hp <= 0.0f);
  }
  // No kill operation exists in the entity layer: the character is taken
  // out of the world (hidden, AI off) and its health set to 0, which every
  // "is dead" test of the scripts reads.
  void character_kill(const char* name) override {
    if (living_entity* e = named(name)) {
      e->hp = 0.0f;
      e->flags |= OF_HIDDEN;
      e->set_ai_enabled(false);
    }
  }
  void character_talk(const char* name) override {
    console_printf("Conversation with %s\n", name ? name : "");
  }
  void character_say(const char* name, const char* text, float seconds) override {
    script_character_say(name, text, seconds);
  }
  // A character held at a "wait for go" goes on from there (a boss kept
  // back until its intro has played); any other starts its list again.
  void character_resume(const char* name) override {
    int c = script_character_find(name);
    ScriptCharacter* sc = script_character_at(c);
    if (!sc) return;
    sc->paused = false;
    if (sc->current >= 0 && sc->current < sc->action_count && sc->actions[sc->current].verb == SV_WAIT_FOR_GO)
      script_character_pass_go(c);
    else
      script_character_start(c);
  }
  // Order 15 is the action list's own "goto": the character goes on after
  // its label of that number. The guards' step-aside orders (other
  // numbers) let a character held at a wait for go walk on.
  void character_order(const char* name, int order, int value) override {
    int c = script_character_find(name);
    if (c < 0) return;
    if (order == SV_GOTO) script_character_goto(c, value);
    else script_character_pass_go(c);
  }
  void character_hostile(const char* name) override {
    if (living_entity* e = named(name)) e->type = OBJ_CREATURE;
  }
  void character_place(const char* name, const char* navpoint) override {
    living_entity* e = named(name);
    vector pos;
    matrix orient;
    if (e && navpoint_get_position(navpoint, &pos, &orient)) {
      e->pos = e->last_pos = pos;
      e->orient = orient;
    }
  }
  bool character_near_navpoint(const char* name, const char* navpoint, float d) override {
    return script_character_near_navpoint(name, navpoint, d);
  }
  float character_leader_distance(const char* name) override {
    living_entity* e = named(name);
    if (!e || !Selected_entity) return 1e9f;
    return distance(e->pos, Selected_entity->pos);
  }
  bool character_playing_move(const char* name) override {
    living_entity* e = named(name);
    return e && e->current_move != nullptr;
  }
  void character_equip(const char* name, const char* item) override {
    living_entity* e = name ? named(name) : Selected_entity;
    int index = item_lookup(item);
    if (!e || index < 0) return;
    party_inventory_add_by_index(index, 1, -1, true);
  }
  void characters_ai_off(const char* prefix) override {
    every_entity(
        [](living_entity* e, void* p) {
          const char* pre = static_cast<const char*>(p);
          if (strncasecmp(e->get_name(), pre, std::strlen(pre)) == 0) e->set_ai_enabled(false);
          return true;
        },
        const_cast<char*>(prefix));
  }

  void party_add(const char* hero) override { party_add_member(hero); }
  void party_remove(const char* hero) override { party_remove_member(hero); }
  bool party_has(const char* hero) override {
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
      living_entity* e = entity_from_handle(p->entity);
      if (e && strcasecmp(e->get_name(), hero) == 0) return true;
    }
    return false;
  }
  void hero_say(const char* hero, const char* text, float seconds) override {
    if (game_is_networked() && !(Selected_entity && strcasecmp(Selected_entity->get_name(), hero) == 0)) return;
    script_party_member_say(hero, text, seconds);
  }
  void hero_place(const char* hero, const char* navpoint) override { character_place(hero, navpoint); }
  bool leader_near(const char* navpoint, float d) override { return script_leader_near_navpoint(navpoint, d); }
  float leader_nearest_navpoint(const char* prefix, char* name, int size) override {
    float best = 10000.0f;
    if (name && size > 0) name[0] = 0;
    if (!Selected_entity) return best;
    size_t n = std::strlen(prefix);
    for (int i = 0; i < navpoint_count(false); i++) {
      const Navpoint* p = navpoint_at(false, i);
      if (!p || strncasecmp(p->name, prefix, n) != 0) continue;
      float d = distance(p->pos, Selected_entity->pos);
      if (d >= best) continue;
      best = d;
      if (name && size > 0) std::snprintf(name, static_cast<size_t>(size), "%s", p->name);
    }
    return best;
  }
  bool leader_wields(const char* item) override { return script_hero_has_equipped(item); }
  int leader() override { return Selected_entity ? Selected_entity->handle : -1; }
  bool leader_place(ScriptPlace* place) override {
    if (!Selected_entity) return false;
    place->pos = Selected_entity->pos;
    place->heading = std::atan2(Selected_entity->orient.forward.x, Selected_entity->orient.forward.z);
    place->plane = Selected_entity->layer;
    return true;
  }
  float hero_moving_speed(int handle) override {
    living_entity* e = entity_from_handle(handle);
    return e ? e->move_speed : 0.0f;
  }
  bool hero_speeds(int handle, float* walk, float* run) override {
    living_entity* e = entity_from_handle(handle);
    if (!e) return false;
    *walk = e->walk_speed;
    *run = e->run_speed;
    return true;
  }
  void set_hero_run_speed(int handle, float run) override {
    if (living_entity* e = entity_from_handle(handle)) e->run_speed = run;
  }
  void party_show_only(int shown) override {
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
      living_entity* e = entity_from_handle(p->entity);
      if (!e) continue;
      bool on = shown < 0 || e->handle == shown;
      e->set_ai_enabled(on);
      if (on) e->flags &= ~OF_HIDDEN;
      else e->flags |= OF_HIDDEN;
    }
  }
  void party_starts_set(const ScriptPlace& place) override {
    for (int slot = 0; slot < 4; slot++) {
      Navpoint* n = navpoint_at(false, Level_position.start_navpoints[slot]);
      if (!n) continue;
      n->pos = place.pos;
      n->heading = place.heading;
      n->plane = place.plane;
    }
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
      living_entity* e = entity_from_handle(p->entity);
      if (!e) continue;
      e->place_at_point(place.pos, place.heading, place.plane);
    }
  }

  void exits_enable(const char* level, const char* except, bool on) override {
    bool any = false;
    for (int i = 0; i < level_trigger_count(); i++) {
      LevelTrigger* t = level_trigger_at(i);
      if (t->kind != TRIGGER_LOAD_LEVEL || strcasecmp(t->name, level) != 0) continue;
      if (except && t->script && strcasecmp(t->script, except) == 0) continue;
      if (on) t->flags &= ~TRIGGER_DISABLED;
      else t->flags |= TRIGGER_DISABLED;
      any = true;
    }
    if (!any && !on) console_printf("Loadarea or table file trigger missing!\n");
  }
  void trigger_enable(const char* name, bool on) override {
    if (!level_triggers_enable_by_reference(name, on) && !on)
      console_printf("Loadarea or table file trigger missing!\n");
  }

  void cutscene(const char* name, ScriptContinuation then) override { script_run_when_ready(name, then); }
  void door_set(const char* mesh, bool open) override { level_door_set_by_name(mesh, open); }
  void two_stage_set(const char* mesh, bool open) override {
    two_stage_state_set_key(Level_script_current, two_stage_key(Level_position.script, mesh), open, false);
    level_door_set_by_name(mesh, open);
  }
  void effect_show(const char* vfx, bool show) override {
    if (!show && Script_world.hide_effects_of_file) Script_world.hide_effects_of_file(vfx);
  }

  int item_count(const char* item) override {
    int index = item_lookup(item);
    int entry = index >= 0 ? party_inventory_find_by_index(index) : -1;
    return entry >= 0 ? static_cast<int>(Party_inventory.entries[entry].count) : 0;
  }
  void give_item(const char* item) override { script_party_give_item(item); }
  void remove_item(const char* item, int count) override {
    for (int i = 0; i < count; i++) script_party_remove_one(item);
  }
  int gold() override { return static_cast<int>(Party_inventory.gold); }
  void give_xp(int amount) override { script_party_give_xp(amount); }

  void topic_available(const char* person, const char* topic, bool on) override {
    if (Script_world.person_topic_set_available) Script_world.person_topic_set_available(person, topic, on);
  }
  void hud_message(const char* text) override { ::hud_message(text); }
  // The speaker panel is not built: its lines go to the console.
  void hud_text(const char* text) override { console_printf("%s\n", text); }
  void popup(const char* title, const char* text, int buttons, const char* const* labels,
             ScriptPopupDone done) override {
    Popup_done = done;
    MessagePopup(title, text, -1, -1, buttons, labels, popup_answer, POPUP_PAUSES);
  }
  bool popup_open() override { return popup_is_open(); }
  void debug(const char* text) override { console_printf("%s", text); }

  void load_level(const char* level, const char* script, int entry) override {
    std::snprintf(Level_position.previous, sizeof Level_position.previous, "%s", Level_position.level);
    if (!level_position_set_level(level, script)) return;
    Level_position.entry_index = entry;
    game_state_request(GS_GAMEPLAY);
  }
  void request_state(int state) override { game_state_request(state); }
  void leader_to_start_set(int set) override {
    Level_position.entry_index = set;
    if (!level_find_player_starts() || !Selected_entity) return;
    vector pos;
    float heading;
    int plane;
    if (!level_player_start(0, &pos, &heading, &plane)) return;
    Selected_entity->pos = Selected_entity->last_pos = pos;
    Selected_entity->layer = plane;
  }

  bool two_stage_open(const char* mesh) override {
    bool open = false, second = false;
    two_stage_state_get_key(Level_script_current, two_stage_key(Level_position.script, mesh), &open, &second);
    return open;
  }
  // The effect stands at the centre of the mesh's bounds.
  void effect_place(const char* vfx, const char* mesh) override {
    const int instance = level_mesh_find_by_name(mesh);
    if (!vfx || instance < 0) return;
    vector centre;
    float radius;
    level_mesh_sphere(instance, &centre, &radius);
    fx_add_effect(vfx, centre, identity_matrix, true);
  }
  // A horse rider's stage is its mount's: 1 once it is off its horse. Any
  // other boss is at the change of form its module has armed.
  int boss_stage(const char* boss) override {
    living_entity* e = named(boss);
    if (!e) return 0;
    if (boss_is_horse_rider_type(boss_type_id(e))) return e->is_rider() || e->mount_link >= 0 ? 0 : 1;
    return boss_transition_armed(e);
  }
  void boss_stage_done(const char* boss, int change) override {
    if (living_entity* e = named(boss)) boss_transition_done(e, change);
  }
  // Every boss on its feet whose module changes its form takes the step.
  void boss_transform() override {
    living_entity* list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->type == OBJ_BOSS) boss_transform_step(e);
  }
  void hero_strip(const char* hero, const char* keep) override {
    living_entity* e = named(hero);
    if (!e) return;
    for (int s = 0; s < NUM_EQUIPMENT_SLOTS; s++) {
      item_instance* it = e->equipment[s];
      if (!it || !it->info || strcasecmp(it->info->name, keep) == 0) continue;
      if (item_instance* off = entity_unequip_slot(e, s, true)) party_inventory_add(off, 1, true);
    }
  }
  bool party_select_first() override {
    PlayerRecord* p = party_first();
    living_entity* e = p ? entity_from_handle(p->entity) : nullptr;
    if (!e) return false;
    party_select_member(p);
    e->hp = e->max_hp_base;
    e->set_ai_enabled(true);
    return true;
  }
  // Every dead entity whose name begins with the prefix stands up again.
  void characters_resurrect(const char* prefix) override {
    if (!prefix) return;
    living_entity* list = entity_dead_list();
    living_entity* raise[64];
    int n = 0;
    for (living_entity* e = entity_first(list); e && n < 64; e = entity_next(list, e))
      if (strncasecmp(e->get_name(), prefix, std::strlen(prefix)) == 0) raise[n++] = e;
    for (int i = 0; i < n; i++) raise[i]->resurrect();
  }
  // The fallen heroes stay where they lie; every other body is taken away,
  // and one still falling once its death has played (its loot dropped).
  void clear_dead() override {
    living_entity* list = entity_dead_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->type != OBJ_PLAYER && e->type != OBJ_DEAD_PLAYER) e->retire_corpse();
    list = entity_live_list();
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
      if (e->type != OBJ_PLAYER && (e->hp <= 0.0f || (e->state & ES_DEAD))) e->state |= ES_DEATH_KIND;
  }
  void camera_mode(int mode) override { game_camera.set_mode(mode); }
  void camera_at(const char* navpoint) override {
    const Navpoint* n = navpoint_find(navpoint);
    if (!n) return;
    Shot.eye = n->pos;
    Shot.end = timestamp_set(timer_game_clock, CAMERA_SHOT_MS);
    CameraTrack t;
    t.fov = game_camera.field_of_view * 3.14159265358979f;  // the camera divides by pi
    t.context = &Shot;
    t.sample = sample_shot;
    game_camera.play_track(t);
  }
  void fade(bool out, int ms) override {
    if (!gr_is_initialised()) return;
    if (out) gr_fade_out(ms);
    else gr_fade_in(ms);
  }
  void input_lock(bool on) override {
    if (on) game_flags_set(GF_INPUT_LOCKED);
    else game_flags_clear(GF_INPUT_LOCKED);
  }
  void avoid_areas(bool on) override {
    if (on) barriers_up();
    else barriers_down();
  }
  void snow(bool on) override {
    if (on) snow_init();
    else snow_disable();
  }
  void automap_mask(bool on) override { Map_mask = on; }
  bool character_sees_leader(const char* name, float cosine) override {
    living_entity* e = named(name);
    if (!e || !Selected_entity) return false;
    vector d = Selected_entity->pos - e->pos;
    float len = std::sqrt(d.x * d.x + d.z * d.z);
    if (len <= 0.0f) return true;
    float c = (d.x * e->orient.forward.x + d.z * e->orient.forward.z) / len;
    return c >= cosine;
  }
  void status_effect(const char* hero, int id, float value) override {
    if (living_entity* e = named(hero)) e->apply_status_effect(id, -1, -1, value, -1, false);
  }
  bool hero_has_status(const char* hero, int id) override {
    living_entity* e = named(hero);
    return e && e->has_status_effect(id);
  }
  void play_sound(const char* file) override {
    const int index = file ? snd_load(file, 1.0f, 1.0f, 1.0f, 0, false) : -1;
    if (index >= 0) snd_play(index, 1.0f, 0.0f);
  }
  void hero_xp(const char* hero, int amount) override {
    (void)hero;
    script_hero_give_xp(amount);
  }
  void quest_open(const char* name) override {
    for (int i = 0; i < quest_count(); i++)
      if (const QuestRecord* q = quest_get(i); q && q->name && strcasecmp(q->name, name) == 0) quest_set_active(i, true);
  }
  bool any_hero_near(const char* navpoint, float reach) override {
    const Navpoint* n = navpoint_find(navpoint);
    if (!n) return false;
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
      living_entity* e = entity_from_handle(p->entity);
      if (e && distance(e->pos, n->pos) <= reach) return true;
    }
    return false;
  }
  void heroes_hurt_near(const char* navpoint, float reach, int hp, int status, float strength) override {
    const Navpoint* n = navpoint_find(navpoint);
    if (!n) return;
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
      living_entity* e = entity_from_handle(p->entity);
      if (!e || distance(e->pos, n->pos) > reach) continue;
      e->hp -= static_cast<float>(hp);
      if (e->hp < 1.0f) e->hp = 1.0f;
      e->apply_status_effect(status, -1, -1, strength, -1, false);
    }
  }
  void heal_party() override {
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (living_entity* e = entity_from_handle(p->entity)) e->hp = e->max_hp_base;
  }
  void cure_status(int id) override {
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (living_entity* e = entity_from_handle(p->entity)) e->cure_status_effect(id, true, true);
  }
  void hero_restore_gear(const char* hero) override {
    (void)hero;  // the stripped gear waits in the inventory; the player puts it on
  }
  bool level_started_directly() override {
    return Level_position.previous[0] == 0 && !Level_script_restarting;
  }
  void set_entry(int entry) override {
    Level_position.entry_index = entry;
  }
  void give_gold(int amount) override {
    Party_inventory.gold += static_cast<uint32_t>(amount > 0 ? amount : 0);
  }
  float frand() override { return ::frand(); }
  int32_t clock() override { return timer_game_clock; }
};
GameHost Game_host;
}  // namespace

bool Story_developer_mode = false;

bool script_door_state_get(const char* name, bool* open, bool* locked) {
  return two_stage_state_get_key(Level_script_current, two_stage_key(Level_position.script, name), open, locked);
}

bool script_door_state_set(const char* name, bool open, bool locked) {
  return two_stage_state_set_key(Level_script_current, two_stage_key(Level_position.script, name), open, locked);
}

void script_host_install_game() {
  story_scripts_install();
  script_host_install(&Game_host);
  // A movable the party uses (a lever, a ball, a tomb) is the level
  // script's to answer. A door's open and locked bits go into the saved
  // game, so that a picked lock stays picked after a load; a level the
  // saved game keeps no states for leaves them to the level's own table.
  LevelServices services{};
  services.use_hook = level_script_use_hook;
  services.two_stage_get = script_door_state_get;
  services.two_stage_set = script_door_state_set;
  level_set_services(services);
}

static ConsoleCommand cc_story_developer("story_developer", "Toggles Story_developer_mode", [] {
  console_bool_var("story_developer", "Story_developer_mode", Story_developer_mode);
});

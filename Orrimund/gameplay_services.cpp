// What the gameplay state wires together at start-up: its row of the state
// table, the front end's view of the party, the saves and the levels, the
// party's and the level scripts' hooks into the world, and the scene pass's
// view of the entities and of a follow camera behind the controlled hero.
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_death.h"
#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/entity_save.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_behaviour.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/ai_states.h"
#include "Engine/ai/ai_think.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/party_controller.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/spell_cast.h"
#include "Engine/Objects/spell_hits.h"
#include "Engine/characterinfo/table_words.h"
#include "Engine/gameflags.h"
#include "quarn/bmpman/bmpman.h"
#include "Engine/gamesound/emitter.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/decal.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/collide.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/game_fx.h"
#include "Orrimund/player/party_summon.h"
#include "Orrimund/screens/skill_use.h"
#include "Orrimund/gameplay.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/world_objects_view.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/ai/boss_layer.h"
#include "Engine/ai/engagement.h"
#include "Orrimund/player/party.h"
#include "Orrimund/player/party_save.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/popup.h"
#include "levelscripts/Scripts/script_host_game.h"
#include "levelscripts/conversation.h"
#include "levelscripts/conversation_state.h"
#include "levelscripts/cutscene.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

namespace {

// An ambient sound is heard from this far at full volume, and its emitter
// follows the listener four times a second.
constexpr float AMBIENT_MIN_DISTANCE = 5.0f;
constexpr int AMBIENT_UPDATE_MS = 250;

// --- the front end's view -----------------------------------------------------------

class GameFrontServices : public FrontServices {
 public:
  bool spell_usable(int spell) override { return spell_can_cast_from_screen(spell, Selected_entity); }
  bool cast_spell(int spell) override { return spell_cast_from_screen(spell, Selected_entity); }
  bool skill_usable(int skill) override {
    return ::skill_usable(skill, Selected_entity) && skill_ready(skill, Selected_entity);
  }
  bool use_skill(int skill) override {
    // Banishing acts on the party's summon; every other skill on what the
    // skill itself asks for.
    game_object* target = skill == SKILL_BANISH ? party_summon() : nullptr;
    return skill_use(skill, target, Selected_entity);
  }
  bool cutscene_skip() override { return ::cutscene_skip(); }
  int party_count() override {
    int n = 0;
    for (PlayerRecord* p = party_first(); p; p = party_next(p)) n++;
    return n;
  }
  FrontPartyMember party_member(int index) override {
    PlayerRecord* p = at(index);
    living_entity* e = member_entity(p);
    if (!e) return {"", 0, 0, 0, 0, 0, false, false};
    const int kind = e->character ? e->character->kind : -1;
    return {e->get_name(), kind >= 0 && kind < 16 ? kind + 1 : 0, static_cast<int>(e->hp), e->get_max_points(0),
            e->ap, e->get_max_points(1), !(e->state & (ES_DEAD | ES_HELD)), p->unspent_stat_points > 0, true};
  }
  int party_selected() override {
    int i = 0;
    for (PlayerRecord* p = party_first(); p; p = party_next(p), i++)
      if (p == Selected_record) return i;
    return -1;
  }
  void party_select(int index) override {
    if (PlayerRecord* p = at(index)) party_select_member_if_able(p);
  }
  bool party_combat_ready() override { return Party_combat_ready != 0; }
  void party_toggle_combat() override { party_set_combat_ready(!Party_combat_ready); }

  int save_allowed() override { return savegame_allowed_check(); }
  const char* level_display_name() override {
    ::level_display_name(display_, sizeof display_, level_script_info_lookup(LevelName));
    return display_;
  }
  bool save_write(const char* file_name, const char* description) override {
    return ::save_write(file_name, description);
  }
  bool save_load(const char* file_name) override {
    SaveHeaderInfo info;
    if (save_read_header(file_name, &info) < 1) return false;
    savegame_set_pending_load(file_name, 0);
    ::start_level(info.level, info.script);
    return true;
  }
  const char* save_dir() override {
    vfile_type_dir_path(Savegame_path_type, dir_);
    return dir_;
  }
  void start_level(const char* level, const char* start) override { ::start_level(level, start); }
  bool exit_pending() override { return Level_leave.current >= 0 && !Level_leave.confirmed; }
  int exit_leave_state() override {
    if (Level_leave.bits & LEAVE_HOSTILES) return LEAVE_ENEMIES;
    if (Level_leave.bits & LEAVE_TOO_FAR) return LEAVE_SPREAD_OUT;
    return LEAVE_OK;
  }
  const char* exit_target_name() override {
    const LevelTrigger* t = level_trigger_at(Level_leave.current);
    if (!t) return nullptr;
    const int index = level_script_info_lookup(t->name);
    if (index < 0) return t->name;
    ::level_display_name(display_, sizeof display_, index);
    return display_;
  }
  void exit_accept() override { level_leave_accept(); }
  void exit_refuse() override { level_leave_refuse(); }
  int level_start_names(const char* level, const char** names, int max) override {
    int index = level_script_info_lookup(level), n = 0;
    for (int i = 0; index >= 0 && i < MAX_LEVEL_SCRIPT_ENTRIES && n < max; i++)
      if (const char* s = level_script_entry_name(index, i)) names[n++] = s;
    return n;
  }

 private:
  static PlayerRecord* at(int index) {
    PlayerRecord* p = party_first();
    for (int i = 0; p && i < index; i++) p = party_next(p);
    return index >= 0 ? p : nullptr;
  }
  char display_[64] = {};
  char dir_[512] = {};
};
GameFrontServices Front_services;

// --- the scene's view ----------------------------------------------------------------

bool follow_camera(vector* eye, matrix* orient, float* fov) {
  if (!Selected_entity && !(game_camera.flags & (CAM_TRACK | CAM_FREE))) return false;
  game_camera.get_view(eye, orient, fov);
  return true;
}

// The camera's view of the world.
bool camera_target(int handle, CameraTarget* out) {
  living_entity* e = entity_from_handle(handle);
  if (!e) return false;
  out->position = e->pos + e->offset;
  out->heading = std::atan2(e->orient.forward.x, e->orient.forward.z);
  out->speed = e->get_speed();
  out->height = e->get_height();
  return true;
}

bool camera_enemies_near(int handle) {
  living_entity* hero = entity_from_handle(handle);
  if (!hero) return false;
  if (living_entity* t = entity_from_handle(hero->combat.target))
    if (hero->is_hostile_to(t) && !(t->state & ES_DEAD)) return true;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e))
    if (e != hero && e->type != OBJ_PLAYER && !(e->state & ES_DEAD) && hero->is_hostile_to(e) &&
        camera_enemy_within_reach(hero->pos, e->pos))
      return true;
  return false;
}

// The level objects a segment meets, nearest first.
int camera_ray_objects(const vector& from, const vector& to, int* out, int capacity) {
  int n = 0;
  vector start = from;
  const vector whole = to - from;
  const float length = whole.length();
  if (length <= 0) return 0;
  const vector dir = whole * (1.0f / length);
  float travelled = 0;
  while (n < capacity && travelled < length) {
    CollisionQuery q{};
    q.start = start;
    q.delta = dir * (length - travelled);
    CollisionResult r{};
    collide_level(&q, &r);
    if (r.count <= 0) break;
    bool seen = false;
    for (int i = 0; i < n; i++) seen = seen || out[i] == r.instance;
    if (!seen) out[n++] = r.instance;
    travelled += r.fraction * (length - travelled) + 0.01f;
    start = from + dir * travelled;
  }
  return n;
}

void install_camera() {
  CameraWorld w;
  w.target = camera_target;
  w.world_map = [] { return Level_script_current == WORLDMAP_LEVEL_INDEX; };
  w.enemies_near = camera_enemies_near;
  w.dialogue = [] { return game_flags_test(GF_CONVERSATION); };
  w.solo = [] { return game_flags_test(GF_SOLO); };
  w.cutscene = [] { return game_flags_test(GF_CUTSCENE); };
  // The visibility zones keep their own fog and fall back by the camera's
  // elevation (VisServices below), so the camera sets none itself.
  w.ray_objects = camera_ray_objects;
  w.mouse_delta = [](int* dx, int* dy) {
    int dz = 0;
    mouse_get_delta(dx, dy, &dz);
  };
  w.ctrl_held = [] { return key_is_down(KEY_LCTRL) || key_is_down(KEY_RCTRL); };
  game_camera_set_world(w);
  VisServices v{};
  v.camera_state = [] { return static_cast<int>(game_camera.flags); };
  v.camera_set_mode = [](int mode) { game_camera.set_mode(mode); };
  v.camera_elevation = [] { return game_camera.elevation; };
  v.camera_unlocked = [] { return game_camera.unlocked != 0; };
  v.camera_set_unlock_allowed = [](bool on) { game_camera.unlock_allowed = on ? 1 : 0; };
  vis_set_services(v);
}

void draw_entity(int handle, int, int alpha) {
  living_entity* e = entity_from_handle(handle);
  if (e && e->instance) entity_model_draw(e->instance, e->pos, e->orient, alpha);
}

int scene_characters(SceneCharacter* out, int capacity) {
  int n = 0;
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    for (living_entity* e = entity_first(list); e && n < capacity; e = entity_next(list, e)) {
      const int mesh = e->floor_mesh == 65535 ? -1 : e->floor_mesh;
      out[n] = SceneCharacter{e->handle, e->type, e->pos, 1.5f, 255, mesh, -1, e == Selected_entity, draw_entity};
      out[n].name = e->name;
      out[n].float_text = e->float_text;
      out[n].float_time = e->float_time;
      for (int k = 0; k < 3; k++) out[n].float_rgb[k] = e->float_rgb[k];
      n++;
    }
  }
  return n;
}

// --- hooks ------------------------------------------------------------------------------

int creature_list(living_entity** out, int capacity) {
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e && n < capacity; e = entity_next(list, e))
    if (e->type != OBJ_PLAYER) out[n++] = e;
  return n;
}
living_entity* creature_at(int i) {
  living_entity* all[MAX_LIVING_ENTIITES];
  int n = creature_list(all, MAX_LIVING_ENTIITES);
  return i >= 0 && i < n ? all[i] : nullptr;
}


// A blood splot lying flat on the ground, turned along `dir`, fading out
// over its two seconds.
void blood_splot(const char* bitmap, const vector& at, const vector& dir, float extent, uint8_t tint) {
  const int bm = bm_load(bitmap);
  if (bm < 0) return;
  const float len = std::sqrt(dir.x * dir.x + dir.z * dir.z);
  if (len <= 0.0f) return;
  const vector right(dir.x / len * extent, 0.0f, dir.z / len * extent);
  const vector up(right.z, 0.0f, -right.x);
  decal_add(bm, at, right, up, 2000, true, tint, 0.25f);
}

int hero_feedback_index(const living_entity* e) {
  return e && e->character && charinfo_is_hero(e->character->kind) ? e->character->kind : -1;
}

// The fight, deaths and saves see the party, the HUD, the voices and the
// saved game's named integers through these.
void install_combat_hooks() {
  CombatHooks c;
  c.hud_message = [](const char* text) { hud_message(text); };
  c.voice = [](living_entity* e, int action) { feedback_play(hero_feedback_index(e), action, &e->pos); };
  c.chain_skill_get = [](living_entity* e, int slot) { return chain_skill_get(party_chain_member(e), slot); };
  c.chain_skill_use = [](living_entity* e, int skill, int count) {
    ChainMember m = party_chain_member(e);
    chain_skill_used(m, skill, static_cast<float>(count));
    e->ap = static_cast<int16_t>(m.ap);
  };
  c.party_combat_ready = [] { party_set_combat_ready(true); };
  c.party_count_active = [] { return party_count_active(); };
  c.party_add_gold = [](int gold) { Party_inventory.gold += static_cast<uint32_t>(gold > 0 ? gold : 0); };
  // Specials ride on landed blows; effects deliver their spells' hits.
  c.struck_specials = spell_apply_on_struck_spells;
  c.hit_specials = spell_apply_on_hit_spells;
  // How a blow sounds and what it leaves on the ground.
  c.hit_sound = [](int attacker_material, int defender_material, const vector& at) {
    gamesound_play_hit(attacker_material, defender_material, &at);
  };
  c.game_sound = [](int sound, const vector&) { gamesound_play(sound, 1.0f, 0.0f); };
  c.decal = blood_splot;
  combat_set_hooks(c);
  FxHits fh;
  fh.hit = spell_fx_hit;
  fx_set_hits(fh);

  DeathHooks d;
  d.boss_damage = [](living_entity* boss, float amount, int attacker, int arg) {
    boss_record_damage(boss, amount, attacker, arg != 0);
  };
  d.party_members = [](living_entity** out, int max) {
    int n = 0;
    for (PlayerRecord* p = party_first(); p && n < max; p = party_next(p))
      if (living_entity* e = member_entity(p)) out[n++] = e;
    return n;
  };
  d.level_gained = [](living_entity* e, int stat_points, int skill_points, int) {
    if (PlayerRecord* p = party_find_member(e->handle)) {
      p->unspent_stat_points += stat_points;
      p->unspent_skill_points = skill_points;
    }
  };
  d.unspent_points = [](living_entity* e) -> int* {
    PlayerRecord* p = party_find_member(e->handle);
    return p ? &p->unspent_stat_points : nullptr;
  };
  d.named_int_get = [](const char* name) { return level_int_get(SAVED_GAME_WIDE_LEVEL, name); };
  d.named_int_set = [](const char* name, int v) { level_int_set(SAVED_GAME_WIDE_LEVEL, name, v); };
  d.party_holds_item = [](const char* name) {
    const int index = item_lookup(name);
    if (index < 0) return false;
    if (party_inventory_find(&Item_infos[index]) >= 0) return true;
    for (PlayerRecord* p = party_first(); p; p = party_next(p))
      if (living_entity* e = member_entity(p); e && entity_has_equipped(e, &Item_infos[index])) return true;
    return false;
  };
  d.hud_message = [](const char* text) { hud_message(text); };
  d.voice = [](living_entity* e, int action) { feedback_play(hero_feedback_index(e), action, &e->pos); };
  d.game_sound = [](int sound, living_entity*) { gamesound_play_default(sound, 1.0f); };
  d.level_name = [] { return static_cast<const char*>(Level_position.level); };
  d.max_skills = [] { return Max_skills; };
  party_summon_death_hooks(&d);
  // A fallen creature drops out of its pack; the heroes' group is the
  // party's own business.
  d.ai_group_leave = [](living_entity* e) {
    if (e->type != OBJ_PLAYER && e->type != OBJ_DEAD_PLAYER) party_leave(e);
  };
  death_set_hooks(d);

  EntitySaveHooks s;
  s.party_timers = [](living_entity* e) -> int32_t* {
    PlayerRecord* p = party_find_member(e->handle);
    return p ? p->cooldowns : nullptr;
  };
  entity_save_set_hooks(s);
}

void install_hooks() {
  install_combat_hooks();
  PartyHooks p;
  p.hud_message = [](const char* text) { hud_message(text); };
  p.play_feedback = [](int sound) { gamesound_play_default(sound, 1.0f); };
  p.load_pending = [] { return savegame_pending_load_length() > 0; };
  p.is_town = [] { return Level_is_town; };
  p.on_world_map = [] { return Level_script_current == WORLDMAP_LEVEL_INDEX; };
  p.camera_target = [](living_entity* e) {
    // A new hero in control aims at nothing yet.
    hud_targeting_clear();
    pick_filter_clear();
    game_camera.set_target(e ? e->handle : -1);
  };
  p.story_flag = [](int level, const char* name) { return level_flag_get(level, name); };
  p.group_new = [](living_entity* e) { party_create(e); };
  p.group_join = [](living_entity* e, living_entity* leader) {
    if (leader && leader->ai.group >= 0) party_join(leader->ai.group, e);
    else if (leader && party_create(leader) >= 0) party_join(leader->ai.group, e);
  };
  p.group_leave = [](living_entity* e) { party_leave(e); };
  p.group_make_leader = [](living_entity* e) {
    if (e->ai.group >= 0) PartyController[e->ai.group].leader = e->handle;
  };
  party_set_hooks(p);

  EntityGameHooks g = entity_game();
  g.has_party_record = [](const living_entity* e) { return party_find_member(e->handle) != nullptr; };
  g.party_forget = [](living_entity* e) { party_forget_entity(e->handle); };
  g.selected = [] { return Selected_entity; };
  entity_set_game_hooks(g);
  boss_layer_install();

  AiDriverHooks ai = ai_driver_hooks();
  ai.controlled = [] { return static_cast<const living_entity*>(Selected_entity); };
  ai.hud_message = [](const char* text) { hud_message(text); };
  ai.conversation_running = [] { return game_flags_test(GF_CONVERSATION); };
  if (!ai.handlers[AI_STATE_COMBAT]) ai.handlers[AI_STATE_COMBAT] = [](ai_component* a) { ai_combat_dispatch(a); };
  ai_set_driver_hooks(ai);
  ai_behaviour_install();
  // Experience from scripts and the console goes through the entity's own
  // rule, which raises levels and hands out their points.
  Party_hooks.add_experience = [](living_entity* e, int points) { e->add_experience(points, false, false); };
  AiStateHooks st;
  st.skill_cooldown = [](living_entity* e, int skill) { party_start_skill_cooldown(e, skill); };
  ai_set_state_hooks(st);
  AiThinkHooks th;
  th.cutscene_script_running = [] { return cscript_is_running(); };
  th.can_see = [](const living_entity* from, const living_entity* to) { return from->can_see(to); };
  ai_set_think_hooks(th);
  PartyControllerHooks pc;
  pc.party_combat_ready = [] { return Party_combat_ready != 0; };
  pc.set_party_combat_ready = [](bool on) { party_set_combat_ready(on); };
  pc.controlled = [] { return static_cast<const living_entity*>(Selected_entity); };
  pc.can_see = [](const living_entity* from, const living_entity* to) { return from->can_see(to); };
  pc.player_controlled = [](const living_entity* e) { return entity_player_controlled(e); };
  party_controller_set_hooks(pc);

  world_input_set_hooks(world_input_game_hooks());

  ScriptWorld& w = Script_world;
  w.start_level = [](const char* level, const char* script) { start_level(level, script); };
  w.hud_message = [](const char* text) { hud_message(text); };
  w.hero_join = [](int hero) {
    if (hero >= 0 && hero < NUM_HEROES) hero_create(Hero_names[hero], 1, false, true, -1);
  };
  w.party_gain_item = [](const char* name) {
    party_inventory_add_by_name(name, 1, -1, true);
    char text[96];
    std::snprintf(text, sizeof text, "Party acquired %s!", name);
    hud_message(text);
  };
  w.level_start_restoring = [] { return Tutorial_opening != 0; };
  w.selected_hero_level = [] { return Selected_entity ? static_cast<int>(Selected_entity->level) : -1; };
  w.creature_count = [] {
    living_entity* all[MAX_LIVING_ENTIITES];
    return creature_list(all, MAX_LIVING_ENTIITES);
  };
  w.creature_level = [](int i) { return creature_at(i) ? static_cast<int>(creature_at(i)->level) : 1; };
  w.creature_base_level = [](int i) {
    living_entity* e = creature_at(i);
    return e && e->character ? static_cast<int>(e->character->level) : 1;
  };
  w.creature_set_level = [](int i, int level) {
    if (living_entity* e = creature_at(i)) {
      e->level = static_cast<int16_t>(level);
      e->compute_stats();
    }
  };

  w.refresh_level_items = level_items_refresh;
  w.remove_taken_level_items = level_items_replace;
  InventoryHooks inv;
  inv.forget_level_item = [](ground_item* g) { level_item_forget(g); };
  inventory_set_hooks(inv);
  w.read_level_script_data = [] {
    script_read_level_data();
    conversation_load(Level_position.level, Level_position.script);
  };
  w.person_topic_set_available = [](const char* person, const char* topic, bool on) {
    if (dialogue_set_topic_available(person, topic, on) != 0) console_printf("No topic %s of %s.\n", topic, person);
  };
  w.topic_set_available = [](const char* topic, bool on) {
    if (const DialoguePerson* p = conversation_person(conversation_current_person()))
      dialogue_set_topic_available(p->name.c_str(), topic, on);
  };
  w.step_script_characters = script_characters_step;
  w.set_one_hand_stance = [](living_entity* e, bool one_hand) { e->refresh_hero_textures(one_hand, false); };
  w.kill_level_effects = [](bool restarting) {
    level_effects_kill(restarting);
    if (restarting) return;
    ambient_sounds_clear();
    level_automap_release();
  };
  w.update_ambient_sounds = ambient_sounds_update;
  w.avoid_barrier_add = guard_barrier_add;
  w.avoid_barrier_remove = aa_remove;
  w.ambient_emitter_create = [](const char* sound, const vector& pos) {
    const int index = snd_load(sound, AMBIENT_MIN_DISTANCE, 1.0f, 1.0f, 0, false);
    if (index < 0) return -1;
    const int emitter = snd_emitter_create(index, AMBIENT_UPDATE_MS, 0);
    static const vector still{0.0f, 0.0f, 0.0f};
    if (emitter >= 0) snd_emitter_update(emitter, &pos, &still, 1.0f);
    return emitter;
  };
  w.automap_bitmap_load = [](const char* name) { return bm_load(name); };
  w.automap_bitmap_release = [](int bitmap) { bm_release(bitmap); };
  w.stop_avoidance_splines = avoid_splines_reset;
  // A guard's barrier: a line across the way from the guard to the hero,
  // two units to each side of the guard.
  w.avoid_barrier_add = [](int entity) {
    const living_entity* e = entity_from_handle(entity);
    const living_entity* h = Selected_entity;
    if (!e || !h) return -1;
    vector d = h->pos - e->pos;
    d.y = 0;
    if (d.length() < 0.001f) return -1;
    d = d * (2.0f / d.length());
    const vector line[2] = {e->pos + vector{-d.z, 0, d.x}, e->pos + vector{d.z, 0, -d.x}};
    return aa_create_avoid_poly(AvoidShapeList{2, line});
  };
  w.avoid_barrier_remove = aa_clear_avoid_poly;
  w.restart_level_objects = [] {
    script_characters_restart();
    for (int i = 0; i < script_character_count(); i++) script_character_start(i);
  };
  w.test_exit_triggers = level_triggers_check;
  w.spline_first_segment = [](const char* name, vector* a, vector* b) {
    const LevelNamedPoints* p = level_spline_find(name);
    if (!p || p->count < 2 || !p->points) return false;
    *a = p->points[0];
    *b = p->points[1];
    return true;
  };
  w.confirmed_exit = [](const char** level, const char** script, int* index) {
    const LevelTrigger* t = level_trigger_at(Level_leave.current);
    if (!t || !Level_leave.confirmed) return false;
    *level = t->name;
    *script = t->script;
    *index = t->index;
    // The gameplay state enters the destination by these names.
    std::snprintf(LevelName, sizeof LevelName, "%s", t->name);
    std::snprintf(StartName, sizeof StartName, "%s", t->script[0] ? t->script : t->name);
    Level_leave = LevelLeave{};
    return true;
  };
  w.save_entities = party_save_members;
  w.load_entities = party_load_members;

  install_camera();
  SceneServices s{};
  s.camera = follow_camera;
  s.see_through = [](int* instances, int capacity) {
    int n = 0;
    for (int i = 0; i < game_camera.avoid_count && n < capacity; i++) instances[n++] = game_camera.avoid[i];
    return n;
  };
  s.characters = scene_characters;
  s.objects = scene_world_objects;
  s.effects = game_fx_scene_effects;
  s.light_channels = game_fx_light_channels;
  s.cutscene = [] { return game_flags_test(GF_CUTSCENE); };
  s.letterbox = [] { return true; };
  s.speech = [](SceneSpeech* out, int capacity) {
    int n = 0;
    for (const SpeechText& t : Speech_texts)
      if (t.entity >= 0 && t.time_left > 0.0f && n < capacity) out[n++] = SceneSpeech{t.entity, t.text};
    return n;
  };
  scene_set_services(s);
}

}  // namespace

void gameplay_install() {
  GameplayFrameHooks frame = gameplay_frame_hooks();
  frame.script_timers = cutscene_characters_step;
  gameplay_set_frame_hooks(frame);
  script_host_install_game();
  game_state_set_ops(GS_GAMEPLAY, {gameplay_enter, gameplay_frame, gameplay_leave});
  front_set_services(&Front_services);
  game_camera.construct();
  install_hooks();
  game_fx_install();
}

// The party's places, for developers and tests driving a running game.
static ConsoleCommand cc_party_positions("party_positions", "Prints where each party member stands", [] {
  if (!Console_run) return;
  int i = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p), i++) {
    living_entity* e = member_entity(p);
    if (!e) continue;
    const item_instance* weapon = e->equipment[5];
    const std::string held = weapon && weapon->info ? item_display_name(weapon->info) : "";
    console_printf("Member %d: %s at %.3f %.3f %.3f hp %.0f%s%s%s\n", i, e->get_name(), e->pos.x, e->pos.y, e->pos.z,
                   e->hp, p == Selected_record ? " (controlled)" : "", held.empty() ? "" : " holding ",
                   held.c_str());
  }
  console_printf("Level %s, %d members\n", LevelName, i);
});


// A status on the controlled hero, and each member's points, statuses and
// equipment: for developers and tests checking what a save keeps.
static ConsoleCommand cc_member_status("member_status", "Starts a status (id, ms) on the controlled hero", [] {
  console_get_arg(ARG_INT);
  const int id = Console_arg.int_value;
  console_get_arg(ARG_INT);
  const int ms = Console_arg.int_value;
  if (!Console_run) return;
  if (!Selected_entity || id < 0 || id >= NUM_STATUS_EFFECTS) {
    console_printf("No status %d on the controlled hero\n", id);
    return;
  }
  Selected_entity->apply_status_effect(id, ms, -1, 0.5f, -1, false);
  console_printf("Status %d on %s\n", id, Selected_entity->get_name());
});

static ConsoleCommand cc_member_state("member_state", "Prints each member's points, statuses and equipment", [] {
  if (!Console_run) return;
  int i = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p), i++) {
    living_entity* e = member_entity(p);
    if (!e) continue;
    char line[512];
    int n = std::snprintf(line, sizeof line, "State %d: %s hp %.0f ap %d level %d statuses", i, e->get_name(), e->hp,
                          e->ap, e->level);
    for (int s = 0; s < NUM_STATUS_EFFECTS && n < static_cast<int>(sizeof line) - 8; s++)
      if (e->has_status_effect(s)) n += std::snprintf(line + n, sizeof line - n, " %d", s);
    n += std::snprintf(line + n, sizeof line - n, " equipment");
    for (int s = 0; s < NUM_EQUIPMENT_SLOTS && n < static_cast<int>(sizeof line) - 40; s++) {
      const item_instance* it = e->equipment[s];
      if (it && it->info) n += std::snprintf(line + n, sizeof line - n, " %d:%s", s, it->info->name);
    }
    console_printf("%s\n", line);
  }
  console_printf("States of %d members\n", i);
});

// What a level holds in memory, for developers and tests checking that
// leaving a level gives it all back: objects, live and dead entities,
// bitmaps in use and the heap in use.
static ConsoleCommand cc_memory_marks("memory_marks", "Prints the level's memory counters", [] {
  if (!Console_run) return;
  const struct mallinfo2 m = mallinfo2();
  console_printf("Memory marks: objects %d entities %d dead %d bitmaps %d heap %zu\n", objects_count(),
                 entity_count(entity_live_list()), entity_count(entity_dead_list()), bm_count_used(), m.uordblks);
});

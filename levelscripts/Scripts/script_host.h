#pragma once
// Everything a level's hooks may do to the game, as one interface. The hooks
// call nothing else, so a test can run any hook against a fake host that
// logs each call and answers from its own tables (random draws and the clock
// included), and the game runs them against a host that forwards to the
// scripting library, the runner, the entities and the front end.
//
// Names are compared without regard to case wherever the game compares
// them. A missing character, navpoint, trigger or item makes an operation do
// nothing; a value that was never set reads as 0.
#include <cstdint>

#include "quarn/math/vector.h"

using ScriptContinuation = void (*)();
// A popup's button callback: the button pressed, 0 first.
using ScriptPopupDone = void (*)(int button);

struct ScriptPlace {
  vector pos{0, 0, 0};
  float heading = 0.0f;
  int32_t plane = -1;
};

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  // --- named flags, values and game stages (by level row) ---
  virtual bool flag(int level, const char* name) = 0;
  virtual void set_flag(int level, const char* name, bool on) = 0;
  virtual int int_value(int level, const char* name) = 0;
  virtual void set_int(int level, const char* name, int value) = 0;
  virtual float float_value(int level, const char* name) = 0;
  virtual void set_float(int level, const char* name, float value) = 0;
  virtual void set_game_stage(int stage) = 0;
  virtual int game_stage() = 0;  // judged from the flags

  // --- where the game stands ---
  virtual const char* script_variant() = 0;  // "" for the level's default script
  virtual const char* previous_level() = 0;
  virtual bool networked() = 0;
  virtual bool in_cutscene() = 0;
  virtual bool in_conversation() = 0;
  virtual bool ui_paused() = 0;        // a screen holds the single-player world still
  virtual bool no_encounters() = 0;    // the game's no-encounter state
  virtual bool developer_mode() = 0;

  // --- music ---
  virtual void set_level_music(const char* track) = 0;  // the level's own track
  virtual void play_music(const char* track, bool loop) = 0;

  // --- script characters (type#tag names of the level's script table) ---
  virtual void character_show(const char* name, bool show) = 0;
  virtual bool character_exists(const char* name) = 0;
  virtual bool character_dead(const char* name) = 0;  // false when missing
  virtual void character_kill(const char* name) = 0;
  virtual void character_talk(const char* name) = 0;
  virtual void character_say(const char* name, const char* text, float seconds) = 0;
  virtual void character_resume(const char* name) = 0;
  virtual void character_order(const char* name, int order, int value) = 0;
  virtual void character_hostile(const char* name) = 0;
  virtual void character_place(const char* name, const char* navpoint) = 0;
  virtual bool character_near_navpoint(const char* name, const char* navpoint, float distance) = 0;
  virtual float character_leader_distance(const char* name) = 0;  // 1e9 when either is missing
  virtual bool character_playing_move(const char* name) = 0;
  // A null name equips the controlled hero.
  virtual void character_equip(const char* name, const char* item) = 0;
  // Switches off the AI of every entity whose name begins with the prefix.
  virtual void characters_ai_off(const char* prefix) = 0;

  // --- the party and its leader (the controlled hero) ---
  virtual void party_add(const char* hero) = 0;
  virtual void party_remove(const char* hero) = 0;
  virtual bool party_has(const char* hero) = 0;
  // Shown only for the controlled hero or outside multiplayer.
  virtual void hero_say(const char* hero, const char* text, float seconds) = 0;
  virtual void hero_place(const char* hero, const char* navpoint) = 0;
  // A missing navpoint answers false with the debug line.
  virtual bool leader_near(const char* navpoint, float distance) = 0;
  // Distance from the leader to the nearest navpoint whose name begins with
  // the prefix (10000.0 when none); its name into `name` when given.
  virtual float leader_nearest_navpoint(const char* prefix, char* name, int name_size) = 0;
  virtual bool leader_wields(const char* item) = 0;
  virtual int leader() = 0;  // entity handle, -1 none
  virtual bool leader_place(ScriptPlace* place) = 0;
  virtual float hero_moving_speed(int handle) = 0;  // 0 standing
  virtual bool hero_speeds(int handle, float* walk, float* run) = 0;
  virtual void set_hero_run_speed(int handle, float run) = 0;
  // Party-kind entities: only `shown` visible with AI; -1 every one shown.
  virtual void party_show_only(int shown) = 0;
  virtual void party_starts_set(const ScriptPlace& place) = 0;

  // --- triggers and exits ---
  // Every load-area trigger towards the level, except those whose script is
  // `except` (null: none excepted).
  virtual void exits_enable(const char* level, const char* except, bool on) = 0;
  virtual void trigger_enable(const char* name, bool on) = 0;

  // --- cutscenes, doors and effects ---
  // Plays when the party is ready; the continuation runs once it has ended.
  virtual void cutscene(const char* name, ScriptContinuation then) = 0;
  virtual void door_set(const char* mesh, bool open) = 0;
  // Records the open state in the level's saved two-stage states and moves
  // the mesh there at once.
  virtual void two_stage_set(const char* mesh, bool open) = 0;
  virtual void effect_show(const char* vfx, bool show) = 0;

  // --- items, gold and experience ---
  virtual int item_count(const char* item) = 0;
  virtual void give_item(const char* item) = 0;  // "Party acquired %s!"
  virtual void remove_item(const char* item, int count) = 0;
  virtual int gold() = 0;
  virtual void give_xp(int amount) = 0;  // "party gained %d XP"

  // --- conversations, HUD and popups ---
  virtual void topic_available(const char* person, const char* topic, bool on) = 0;
  virtual void hud_message(const char* text) = 0;  // the HUD message line
  virtual void hud_text(const char* text) = 0;     // the speaker panel
  virtual void popup(const char* title, const char* text, int buttons, const char* const* labels,
                     ScriptPopupDone done) = 0;
  virtual bool popup_open() = 0;
  virtual void debug(const char* text) = 0;        // the console

  // --- state requests ---
  // Makes the current level the previous one and loads `level` with its
  // script variant at the entry point.
  virtual void load_level(const char* level, const char* script, int entry) = 0;
  virtual void request_state(int state) = 0;
  // Networked elevators: the party's starts of another set, the leader put
  // at its slot, the camera reset and the position sent.
  virtual void leader_to_start_set(int set) = 0;

  // --- services of the bosses, the camera and the world ---
  // The saved open state of a movable mesh (false when never recorded).
  virtual bool two_stage_open(const char* mesh) = 0;
  // Starts an effect at a mesh of the level.
  virtual void effect_place(const char* vfx, const char* mesh) = 0;
  // The boss layer's stage of a boss: a rider's mount stage (1 once off
  // its mount) or a transforming boss's form.
  virtual int boss_stage(const char* boss) = 0;
  // Tells the boss layer that the script has played the boss's change of
  // stage it armed (1 the first).
  virtual void boss_stage_done(const char* boss, int change) = 0;
  // The boss layer's transformation step of the current boss.
  virtual void boss_transform() = 0;
  // Takes off every piece of the hero's gear but `keep`, into the inventory.
  virtual void hero_strip(const char* hero, const char* keep) = 0;
  // The first party member becomes the controlled hero (raised if dead, full
  // health, AI on); false when the party is empty.
  virtual bool party_select_first() = 0;
  // Dead characters whose names begin with the prefix rise with full health.
  virtual void characters_resurrect(const char* prefix) = 0;
  // Dead creatures are cleared away.
  virtual void clear_dead() = 0;
  // Game camera modes (2 follow the leader, 3 and 4 the fight views).
  virtual void camera_mode(int mode) = 0;
  // A camera shot from a navpoint.
  virtual void camera_at(const char* navpoint) = 0;
  // Fades the picture out to black or back in.
  virtual void fade(bool out, int ms) = 0;
  // Locks the player's input.
  virtual void input_lock(bool on) = 0;
  // The level's scripted avoidance areas.
  virtual void avoid_areas(bool on) = 0;
  // The weather's snow switch.
  virtual void snow(bool on) = 0;
  // The automap's Map_mask switch.
  virtual void automap_mask(bool on) = 0;
  // A character's view test of the leader (cosine of the half angle).
  virtual bool character_sees_leader(const char* name, float cosine) = 0;
  // A status effect on a hero (until cured).
  virtual void status_effect(const char* hero, int id, float value) = 0;
  // Whether the hero carries the status.
  virtual bool hero_has_status(const char* hero, int id) = 0;
  // A sound file of the level.
  virtual void play_sound(const char* file) = 0;
  // Experience for one hero.
  virtual void hero_xp(const char* hero, int amount) = 0;
  // Opens a quest of the journal by name.
  virtual void quest_open(const char* name) = 0;
  // Whether any party member stands within reach of the navpoint.
  virtual bool any_hero_near(const char* navpoint, float reach) = 0;
  // Every party member within reach loses hit points and takes a status.
  virtual void heroes_hurt_near(const char* navpoint, float reach, int hp, int status, float strength) = 0;
  // The party's health restored.
  virtual void heal_party() = 0;
  // The status taken off every party member.
  virtual void cure_status(int id) = 0;
  // The gear a strip took off goes back on the hero.
  virtual void hero_restore_gear(const char* hero) = 0;
  // The level was started on its own (a developer's direct start), not
  // reached from a new game or a saved one.
  virtual bool level_started_directly() = 0;
  // The entry point the party's starts are read from.
  virtual void set_entry(int entry) = 0;
  // Gold for the party.
  virtual void give_gold(int amount) = 0;

  // --- random numbers and clocks ---
  virtual float frand() = 0;      // [0, 1)
  virtual int32_t clock() = 0;    // game clock, ms
};

// The host the hooks run against; the game installs its own at start-up,
// tests their fake. Never null: a host that does nothing stands in.
ScriptHost& script_host();
void script_host_install(ScriptHost* host);

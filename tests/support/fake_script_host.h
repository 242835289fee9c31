#pragma once
// A script host for scenario tests of the level hooks: every order a hook
// gives is logged as one line ("cutscene Game-Intro", "set_flag 3
// masad_intro 1"), every question is answered from the tables below, random
// draws come from a scripted queue and the clock from a number the test
// moves. Constructing it installs it (and the story's hooks); destroying it
// puts the null host back.
//
//   FakeScriptHost h;
//   h.variant = "masad_v2";
//   h.near["$cuttrig"] = 1.0f;      // the leader stands 1.0 from it
//   h.run_init(L_MASAD);
//   EXPECT_TRUE(h.logged("cutscene Barbarian-Intro"));
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "levelscripts/Scripts/script_host.h"
#include "levelscripts/Scripts/story_scripts.h"

struct ScriptEvent;

class FakeScriptHost : public ScriptHost {
 public:
  FakeScriptHost();
  ~FakeScriptHost() override;

  // --- steering ---
  std::string variant, previous;
  int stage = 0;
  bool is_networked = false, cutscene_running = false, conversation_running = false, paused = false;
  bool encounters_off = false, developer = false;
  std::set<std::string> dead;                 // characters (lower case)
  std::map<std::string, float> near;          // navpoint -> leader distance
  std::map<std::string, float> char_distance; // character -> leader distance
  std::set<std::string> moving;               // characters playing a move
  std::map<std::string, int> items;           // party inventory
  int gold_amount = 0;
  std::deque<float> draws;  // frand() answers, in order
  int draws_past_end = 0;   // draws taken when the queue was empty (answered 0.99)
  int32_t now = 1000;
  int leader_handle = 7;
  ScriptPlace leader_at;
  float leader_moving = 1.5f;
  float walk = 2.0f, run = 6.0f;
  std::set<std::string> wielded;
  std::set<std::string> party{"ruvizo"};
  // Named navpoints by prefix, for the terrain: name -> leader distance.
  std::map<std::string, float> markers;
  std::map<std::string, int> boss_stages;  // boss -> stage
  std::set<std::string> seeing;           // characters that see the leader
  std::set<std::string> statuses;         // "hero#id"
  std::map<std::string, float> hero_near;  // navpoint -> nearest party member's distance
  bool started_directly = false;

  // --- what the hooks did ---
  std::vector<std::string> log;
  std::map<std::string, bool> flags;    // "level name" (lower case) -> value
  std::map<std::string, int> ints;
  std::map<std::string, float> floats;
  std::map<int, float> run_speeds;
  std::set<std::string> hidden;         // characters hidden (lower case)
  std::map<std::string, bool> two_stage;
  // Every (level, lower-case name) a hook read or wrote.
  std::set<std::pair<int, std::string>> touched;
  // The same names with the kind each was used as: "flag", "int" or "float".
  std::set<std::pair<std::string, std::string>> touched_kinds;
  std::vector<ScriptContinuation> pending;  // continuations of cutscenes not yet ended
  ScriptPopupDone popup_done = nullptr;
  bool popup_is_open = false;

  // --- helpers ---
  bool logged(const std::string& line) const;
  int count(const std::string& line) const;
  // Lines beginning with the prefix, in order.
  std::vector<std::string> lines(const std::string& prefix) const;
  void clear_log() { log.clear(); }
  bool get(int level, const std::string& name) const;
  void put(int level, const std::string& name, bool on = true);
  // Ends every pending cutscene: their continuations run in order (and
  // those they start end too).
  void end_cutscenes();
  // Closes the open popup with the button.
  void press(int button);
  void run_init(int row);
  void run_frame(int row);
  void run_exit(int row);
  bool run_use(int row, const char* name);
  void run_event(int row, const char* name);

  // --- ScriptHost ---
  bool flag(int level, const char* name) override;
  void set_flag(int level, const char* name, bool on) override;
  int int_value(int level, const char* name) override;
  void set_int(int level, const char* name, int value) override;
  float float_value(int level, const char* name) override;
  void set_float(int level, const char* name, float value) override;
  void set_game_stage(int s) override;
  int game_stage() override { return stage; }
  const char* script_variant() override { return variant.c_str(); }
  const char* previous_level() override { return previous.c_str(); }
  bool networked() override { return is_networked; }
  bool in_cutscene() override { return cutscene_running; }
  bool in_conversation() override { return conversation_running; }
  bool ui_paused() override { return paused; }
  bool no_encounters() override { return encounters_off; }
  bool developer_mode() override { return developer; }
  void set_level_music(const char* track) override;
  void play_music(const char* track, bool loop) override;
  void character_show(const char* name, bool show) override;
  bool character_exists(const char* name) override;
  bool character_dead(const char* name) override;
  void character_kill(const char* name) override;
  void character_talk(const char* name) override;
  void character_say(const char* name, const char* text, float seconds) override;
  void character_resume(const char* name) override;
  void character_order(const char* name, int order, int value) override;
  void character_hostile(const char* name) override;
  void character_place(const char* name, const char* navpoint) override;
  bool character_near_navpoint(const char* name, const char* navpoint, float distance) override;
  float character_leader_distance(const char* name) override;
  bool character_playing_move(const char* name) override;
  void character_equip(const char* name, const char* item) override;
  void characters_ai_off(const char* prefix) override;
  void party_add(const char* hero) override;
  void party_remove(const char* hero) override;
  bool party_has(const char* hero) override;
  void hero_say(const char* hero, const char* text, float seconds) override;
  void hero_place(const char* hero, const char* navpoint) override;
  bool leader_near(const char* navpoint, float distance) override;
  float leader_nearest_navpoint(const char* prefix, char* name, int name_size) override;
  bool leader_wields(const char* item) override;
  int leader() override { return leader_handle; }
  bool leader_place(ScriptPlace* place) override;
  float hero_moving_speed(int handle) override;
  bool hero_speeds(int handle, float* w, float* r) override;
  void set_hero_run_speed(int handle, float r) override;
  void party_show_only(int shown) override;
  void party_starts_set(const ScriptPlace& place) override;
  void exits_enable(const char* level, const char* except, bool on) override;
  void trigger_enable(const char* name, bool on) override;
  void cutscene(const char* name, ScriptContinuation then) override;
  void door_set(const char* mesh, bool open) override;
  void two_stage_set(const char* mesh, bool open) override;
  void effect_show(const char* vfx, bool show) override;
  int item_count(const char* item) override;
  void give_item(const char* item) override;
  void remove_item(const char* item, int n) override;
  int gold() override { return gold_amount; }
  void give_xp(int amount) override;
  void topic_available(const char* person, const char* topic, bool on) override;
  void hud_message(const char* text) override;
  void hud_text(const char* text) override;
  void popup(const char* title, const char* text, int buttons, const char* const* labels,
             ScriptPopupDone done) override;
  bool popup_open() override { return popup_is_open; }
  void debug(const char* text) override;
  void load_level(const char* level, const char* script, int entry) override;
  void request_state(int state) override;
  void leader_to_start_set(int set) override;
  bool two_stage_open(const char* mesh) override;
  void effect_place(const char* vfx, const char* mesh) override;
  int boss_stage(const char* boss) override;
  void boss_stage_done(const char* boss, int change) override;
  void boss_transform() override;
  void hero_strip(const char* hero, const char* keep) override;
  bool party_select_first() override;
  void characters_resurrect(const char* prefix) override;
  void clear_dead() override;
  void camera_mode(int mode) override;
  void camera_at(const char* navpoint) override;
  void fade(bool out, int ms) override;
  void input_lock(bool on) override;
  void avoid_areas(bool on) override;
  void snow(bool on) override;
  void automap_mask(bool on) override;
  bool character_sees_leader(const char* name, float cosine) override;
  void status_effect(const char* hero, int id, float value) override;
  bool hero_has_status(const char* hero, int id) override;
  void play_sound(const char* file) override;
  void hero_xp(const char* hero, int amount) override;
  void quest_open(const char* name) override;
  bool any_hero_near(const char* navpoint, float reach) override;
  void heroes_hurt_near(const char* navpoint, float reach, int hp, int status, float strength) override;
  void heal_party() override;
  void cure_status(int id) override;
  void hero_restore_gear(const char* hero) override;
  bool level_started_directly() override;
  void set_entry(int entry) override;
  void give_gold(int amount) override;
  float frand() override;
  int32_t clock() override { return now; }

 private:
  void add(const std::string& line) { log.push_back(line); }
};

std::string lower(const std::string& s);

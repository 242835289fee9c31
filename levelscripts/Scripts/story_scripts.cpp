#include "levelscripts/Scripts/story_scripts.h"

#include "levelscripts/Scripts/story_common.h"
#include "quarn/os/console.h"

void worldmap_statics_reset();
void masad_statics_reset();
void thalem_statics_reset();
void temple_statics_reset();
void khosani_statics_reset();
void eastern_statics_reset();

namespace {
// Stands in until the game or a test installs its own host: every question
// answers "nothing there", every order does nothing.
class NullHost final : public ScriptHost {
 public:
  bool flag(int, const char*) override { return false; }
  void set_flag(int, const char*, bool) override {}
  int int_value(int, const char*) override { return 0; }
  void set_int(int, const char*, int) override {}
  float float_value(int, const char*) override { return 0.0f; }
  void set_float(int, const char*, float) override {}
  void set_game_stage(int) override {}
  int game_stage() override { return 0; }
  const char* script_variant() override { return ""; }
  const char* previous_level() override { return ""; }
  bool networked() override { return false; }
  bool in_cutscene() override { return false; }
  bool in_conversation() override { return false; }
  bool ui_paused() override { return false; }
  bool no_encounters() override { return true; }
  bool developer_mode() override { return false; }
  void set_level_music(const char*) override {}
  void play_music(const char*, bool) override {}
  void character_show(const char*, bool) override {}
  bool character_exists(const char*) override { return false; }
  bool character_dead(const char*) override { return false; }
  void character_kill(const char*) override {}
  void character_talk(const char*) override {}
  void character_say(const char*, const char*, float) override {}
  void character_resume(const char*) override {}
  void character_order(const char*, int, int) override {}
  void character_hostile(const char*) override {}
  void character_place(const char*, const char*) override {}
  bool character_near_navpoint(const char*, const char*, float) override { return false; }
  float character_leader_distance(const char*) override { return 1e9f; }
  bool character_playing_move(const char*) override { return false; }
  void character_equip(const char*, const char*) override {}
  void characters_ai_off(const char*) override {}
  void party_add(const char*) override {}
  void party_remove(const char*) override {}
  bool party_has(const char*) override { return false; }
  void hero_say(const char*, const char*, float) override {}
  void hero_place(const char*, const char*) override {}
  bool leader_near(const char*, float) override { return false; }
  float leader_nearest_navpoint(const char*, char* name, int size) override {
    if (name && size > 0) name[0] = 0;
    return 10000.0f;
  }
  bool leader_wields(const char*) override { return false; }
  int leader() override { return -1; }
  bool leader_place(ScriptPlace*) override { return false; }
  float hero_moving_speed(int) override { return 0.0f; }
  bool hero_speeds(int, float*, float*) override { return false; }
  void set_hero_run_speed(int, float) override {}
  void party_show_only(int) override {}
  void party_starts_set(const ScriptPlace&) override {}
  void exits_enable(const char*, const char*, bool) override {}
  void trigger_enable(const char*, bool) override {}
  void cutscene(const char*, ScriptContinuation) override {}
  void door_set(const char*, bool) override {}
  void two_stage_set(const char*, bool) override {}
  void effect_show(const char*, bool) override {}
  int item_count(const char*) override { return 0; }
  void give_item(const char*) override {}
  void remove_item(const char*, int) override {}
  int gold() override { return 0; }
  void give_xp(int) override {}
  void topic_available(const char*, const char*, bool) override {}
  void hud_message(const char*) override {}
  void hud_text(const char*) override {}
  void popup(const char*, const char*, int, const char* const*, ScriptPopupDone) override {}
  bool popup_open() override { return false; }
  void debug(const char*) override {}
  void load_level(const char*, const char*, int) override {}
  void request_state(int) override {}
  void leader_to_start_set(int) override {}
  bool two_stage_open(const char*) override { return false; }
  void effect_place(const char*, const char*) override {}
  int boss_stage(const char*) override { return 0; }
  void boss_stage_done(const char*, int) override {}
  void boss_transform() override {}
  void hero_strip(const char*, const char*) override {}
  bool party_select_first() override { return false; }
  void characters_resurrect(const char*) override {}
  void clear_dead() override {}
  void camera_mode(int) override {}
  void camera_at(const char*) override {}
  void fade(bool, int) override {}
  void input_lock(bool) override {}
  void avoid_areas(bool) override {}
  void snow(bool) override {}
  void automap_mask(bool) override {}
  bool character_sees_leader(const char*, float) override { return false; }
  void status_effect(const char*, int, float) override {}
  bool hero_has_status(const char*, int) override { return false; }
  void play_sound(const char*) override {}
  void hero_xp(const char*, int) override {}
  void quest_open(const char*) override {}
  bool any_hero_near(const char*, float) override { return false; }
  void heroes_hurt_near(const char*, float, int, int, float) override {}
  void heal_party() override {}
  void cure_status(int) override {}
  void hero_restore_gear(const char*) override {}
  bool level_started_directly() override { return false; }
  void set_entry(int) override {}
  void give_gold(int) override {}
  float frand() override { return 0.0f; }
  int32_t clock() override { return 0; }
};
NullHost Null_host;
ScriptHost* Host = &Null_host;
}  // namespace

ScriptHost& script_host() { return *Host; }
void script_host_install(ScriptHost* host) { Host = host ? host : &Null_host; }

void story_scripts_install() {
  worldmap_scripts_install();
  masad_scripts_install();
  thalem_scripts_install();
  temple_scripts_install();
  khosani_scripts_install();
  eastern_scripts_install();
}

void story_statics_reset() {
  worldmap_statics_reset();
  masad_statics_reset();
  thalem_statics_reset();
  temple_statics_reset();
  khosani_statics_reset();
  eastern_statics_reset();
}

namespace {
template <typename F>
SlotKind kind_of(F f, F empty, F falsy) {
  if (!f) return SLOT_NONE;
  if (empty && f == empty) return SLOT_EMPTY;
  if (falsy && f == falsy) return SLOT_FALSE;
  return SLOT_OWN;
}
}  // namespace

SlotKind level_slot_kind(int row, int slot) {
  if (row < 0 || row >= NUM_LEVEL_SCRIPTS) return SLOT_NONE;
  const LevelScriptInfo& r = Level_scripts[row];
  LevelHook empty = level_script_empty_hook;
  LevelUseHook falsy = level_script_false_hook;
  switch (slot) {
    case SLOT_INIT: return kind_of<LevelHook>(r.init, empty, nullptr);
    case SLOT_FRAME: return kind_of<LevelHook>(r.frame, empty, nullptr);
    case SLOT_EXIT: return kind_of<LevelHook>(r.exit, empty, nullptr);
    case SLOT_USE: return kind_of<LevelUseHook>(r.use, nullptr, falsy);
    case SLOT_SECOND: return kind_of<LevelUseHook>(r.second_check, nullptr, falsy);
    case SLOT_EVENT:
      if (!r.event) return SLOT_NONE;
      return r.event == level_script_empty_event ? SLOT_EMPTY : SLOT_OWN;
  }
  return SLOT_NONE;
}

#include "levelscripts/level_scripts.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/script_ops.h"
#include "levelscripts/script_world.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"

namespace {
constexpr LevelScriptInfo row(const char* name, int32_t steps) {
  return {name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, steps, 0, nullptr, 0, 0, nullptr, 0, nullptr};
}
}  // namespace

// The rows carry only their names and estimates here; the story's scripts
// give them their hooks at start-up (level_script_set_hooks).
LevelScriptInfo Level_scripts[NUM_LEVEL_SCRIPTS] = {
    row("Vozido", 7000),
    row("Catacombs", 4000),
    row("test", 1170),
    row("masad", 4000),
    row("worldmap1", 2300),
    row("thalem1b", 8500),
    row("thalem1c", 4300),
    row("thalem1d", 3300),
    row("thalem1e", 2500),
    row("sewer", 4700),
    row("rand-hills01", 2500),
    row("IkaemosBottomInt", 3400),
    row("IkaemosTopInt", 3200),
    row("IkaemosExt", 2700),
    row("KhosaniLab", 3050),
    row("OdrinExt", 3900),
    row("VozidoCaverns", 7600),
    row("TempleInt", 3250),
    row("rand-forest01", 2700),
    row("rand-forestnite1", 2600),
    row("Shenwu", 5600),
    row("Rand-Desert", 1600),
    row("OdrinExt02", 4700),
    row("KhosaniStrng", 3550),
    row("LPalaceInt", 6700),
    row("tancredhouse", 1500),
    row("LPalaceInt02", 2700),
    row("KhosaniLab2", 3100),
    row("Vozido2", 5800),
    row("eleh", 4800),
    row("thalem2aa", 8800),
    row("thalem2ab", 7700),
    row("thalem3a", 7000),
    row("thalem3d", 3300),
    row("jadetemple", 4100),
    row("thalem1aa", 7600),
    row("thalem1ab", 7200),
    row("TempleInt2", 3700),
    row("IkaemosExt2", 2400),
    row("IkaemosBottomInt2", 2500),
    row("Rand-HillsNite01", 2300),
    row("Rand-Iceland01", 2000),
    row("Rand-Grassland01", 1700),
    row("Rand-Kasdria01", 1400),
    row("Rand-KasdriaNite01", 1300),
    row("Rand-DesertNite01", 1500),
    row("Rand-GrasslandNite01", 1700),
    row("Rand-IcelandNite01", 1900),
    row("endgame", 10000),
    row("thalem2d", 3400),
    row("sewerboss", 1700),
};

LevelPosition Level_position = {"", "", "", 0, {-1, -1, -1, -1}, -1};
int Level_script_current = -1;
LevelHook Level_hook_init = nullptr, Level_hook_frame = nullptr, Level_hook_exit = nullptr;
LevelUseHook Level_hook_use = nullptr, Level_hook_second_check = nullptr;
LevelEventHook Level_hook_event = nullptr;
bool Do_frame_callback = true;
bool Level_script_restarting = false;

namespace {

struct ScriptEntry {
  const char* name;  // in Script_names, null when unused
  int32_t dialogue1;
  int32_t dialogue2;
  int32_t level_cap;
};
ScriptEntry Script_entries[NUM_LEVEL_SCRIPTS][MAX_LEVEL_SCRIPT_ENTRIES];
StringPool Script_names;
uint32_t Script_filenames_crc = 0;
constexpr int SCRIPT_NAME_POOL_SIZE = 16384;


bool level_valid(int level) { return level >= 0 && level < NUM_LEVEL_SCRIPTS; }

void clear_script_entries() {
  for (auto& level : Script_entries)
    for (auto& e : level) e = {nullptr, 0, 0, LEVEL_CAP_DEFAULT};
  if (Script_names.capacity() == 0) Script_names.alloc(SCRIPT_NAME_POOL_SIZE);
  Script_names.reset();
}

void read_script_filenames(ParseContext& pc) {
  clear_script_entries();
  Script_filenames_crc = pc.crc();
  char name[PARSE_MAX_NAME_LEN + 1];
  while (!pc.optional_string("#End")) {
    pc.require_string("$Level:");
    pc.read_string(name, sizeof name);
    int level = level_script_info_lookup(name);
    if (level < 0) {
      // An unknown level ends the reading; the levels before keep theirs.
      console_printf("script_filenames.tbl: unknown level %s, reading stopped\n", name);
      return;
    }
    int n = 0;
    while (pc.optional_string("+Script:")) {
      if (n == MAX_LEVEL_SCRIPT_ENTRIES) pc.error("at most 7 \"+Script:\" entries per level");
      ScriptEntry& e = Script_entries[level][n++];
      pc.read_string(name, sizeof name);
      e.name = Script_names.add(name);
      if (pc.optional_string("+Dialogue:")) {
        e.dialogue1 = pc.read_int();
        e.dialogue2 = pc.read_int();
      }
      e.level_cap = pc.optional_string("+Levelcap:") ? pc.read_int() : LEVEL_CAP_DEFAULT;
    }
  }
}

// Raises the level's creatures to the party on arrival.
void raise_creature_levels() {
  const ScriptWorld& w = Script_world;
  if (!w.creature_count || !w.creature_level || !w.creature_set_level) return;
  int level = level_script_info_lookup(Level_position.level);
  int cap = level_script_level_cap(level, level_script_name_index(level, Level_position.script));
  int n = w.creature_count();
  if (!game_is_networked()) {
    int hero = w.selected_hero_level ? w.selected_hero_level() : -1;
    float product = frand_range(0.8f, 1.2f) * static_cast<float>(hero);
    for (int i = 0; i < n; i++) {
      if (hero < 0) {
        w.creature_set_level(i, w.creature_base_level ? w.creature_base_level(i) : w.creature_level(i));
        continue;
      }
      if (w.creature_level(i) > hero) continue;
      int v = static_cast<int>(product + 0.5f);
      if (v < 1) v = 1;
      if (v > cap) v = cap;
      w.creature_set_level(i, v);
    }
    return;
  }
  int difficulty = w.mp_difficulty ? w.mp_difficulty() : 0;
  int low = 1, high = cap;
  if (difficulty == 1) low = 25, high = cap + 25;
  else if (difficulty == 2) low = 50, high = cap + 50;
  float party = w.mp_party_level ? static_cast<float>(w.mp_party_level()) : 1.0f;
  float mult = w.mp_level_multiplier ? w.mp_level_multiplier() : 1.0f;
  int v = static_cast<int>(party * mult + 0.5f);
  if (v < low) v = low;
  if (v > high) v = high;
  for (int i = 0; i < n; i++) w.creature_set_level(i, v);
}

void copy_name(char* out, const char* in) {
  std::snprintf(out, LEVEL_NAME_LEN, "%s", in ? in : "");
}

}  // namespace

void level_script_empty_hook() {}
bool level_script_false_hook(const char*) { return false; }
void level_script_empty_event(const ScriptEvent*) {}

void level_script_set_hooks(int index, LevelHook init, LevelHook frame, LevelHook exit, LevelUseHook use,
                            LevelUseHook second_check, LevelEventHook event) {
  if (!level_valid(index)) return;
  LevelScriptInfo& r = Level_scripts[index];
  r.init = init;
  r.frame = frame;
  r.exit = exit;
  r.use = use;
  r.second_check = second_check;
  r.event = event;
}

int level_script_info_lookup(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < NUM_LEVEL_SCRIPTS; i++)
    if (strcasecmp(Level_scripts[i].name, name) == 0) return i;
  return -1;
}

int level_script_load_steps(const char* name) {
  char copy[LEVEL_NAME_LEN * 4];
  std::snprintf(copy, sizeof copy, "%s", name ? name : "");
  int i = level_script_info_lookup(copy);
  return i < 0 ? LEVEL_LOAD_STEPS_UNKNOWN : Level_scripts[i].load_steps;
}

bool level_position_set_level(const char* level, const char* script) {
  if (!level || std::strlen(level) >= LEVEL_NAME_LEN) return false;
  if (script && std::strlen(script) >= LEVEL_NAME_LEN) return false;
  copy_name(Level_position.level, level);
  copy_name(Level_position.script, script);
  return true;
}

void level_script_setup() {
  Level_hook_init = Level_hook_frame = Level_hook_exit = nullptr;
  Level_hook_use = Level_hook_second_check = nullptr;
  Level_hook_event = nullptr;
  script_knife_marker_clear();
  Level_script_current = level_script_info_lookup(Level_position.level);
  const LevelScriptInfo* r = Level_script_current >= 0 ? &Level_scripts[Level_script_current] : nullptr;
  if (r && r->init && !game_is_networked()) {
    Level_hook_init = r->init;
    Level_hook_frame = r->frame;
    Level_hook_exit = r->exit;
    Level_hook_use = r->use;
    Level_hook_second_check = r->second_check;
    Level_hook_event = r->event;
  } else if (!game_is_networked()) {
    console_printf("Unable to locate level script info for %s\n", Level_position.level);
  }
  if (Script_world.read_level_script_data) Script_world.read_level_script_data();
}

void level_start_scripts(bool arriving) {
  if (Level_hook_init) Level_hook_init();
  if (Script_world.restore_click_records) Script_world.restore_click_records();
  if (arriving) raise_creature_levels();
  if (game_is_networked()) {
    int row = level_unlock_row_find(level_script_info_lookup(Level_position.level));
    if (row == 15 && Script_world.hide_effects_of_file) {
      Script_world.hide_effects_of_file("wc-trap2.vfx");
      Script_world.hide_effects_of_file("wc-ptrap.vfx");
    }
    if ((row == 20 || row == 18 || row == 24) && Script_world.set_level_script_marker)
      Script_world.set_level_script_marker(row);
  }
}

void level_script_frame() {
  const ScriptWorld& w = Script_world;
  bool cutscene = game_flags_test(GF_CUTSCENE);
  if (w.update_ambient_sounds) w.update_ambient_sounds();
  if (!cutscene && w.music_timer_step) w.music_timer_step();
  if (w.step_script_characters) w.step_script_characters();
  if (cutscene) return;
  const char* cscript = w.cutscene_script_name ? w.cutscene_script_name() : nullptr;
  if (cscript && *cscript) return;
  if (w.test_exit_triggers) w.test_exit_triggers();
  if (Level_hook_frame && Do_frame_callback) Level_hook_frame();
}

void level_script_exit() {
  if (Script_world.kill_level_effects) Script_world.kill_level_effects(Level_script_restarting);
  if (Script_world.stop_avoidance_splines) Script_world.stop_avoidance_splines();
  if (Level_hook_exit) Level_hook_exit();
}

void level_script_change() {
  const char* level = nullptr;
  const char* script = nullptr;
  int index = -1;
  if (!Script_world.confirmed_exit || !Script_world.confirmed_exit(&level, &script, &index)) return;
  if (!level || std::strlen(level) >= LEVEL_NAME_LEN || (script && std::strlen(script) >= LEVEL_NAME_LEN)) {
    console_printf("Exit trigger names a level that cannot be entered: %s\n", level ? level : "(none)");
    return;
  }
  copy_name(Level_position.previous, Level_position.level);
  copy_name(Level_position.level, level);
  copy_name(Level_position.script, script);
  Level_position.entry_index = index;
  if (game_is_networked() && Script_world.mp_level_change) {
    int row = level_unlock_row_find(level_script_info_lookup(level));
    if (Script_world.mp_level_change(row, index)) return;
  }
  game_state_request(GS_GAMEPLAY);
}

bool level_script_use_hook(const char* name) {
  return Level_hook_use ? Level_hook_use(name) : false;
}

void level_script_restart() {
  Level_script_restarting = true;
  if (Level_hook_exit) Level_hook_exit();
  if (Level_hook_init) Level_hook_init();
  Level_script_restarting = false;
  Level_position.restart_word = 0;
  if (Script_world.restart_level_objects) Script_world.restart_level_objects();
  if (Script_world.stop_avoidance_splines) Script_world.stop_avoidance_splines();
}

void script_filenames_load() {
  clear_script_entries();
  Script_filenames_crc = 0;
  ParseContext pc;
  if (pc.open("script_filenames.tbl", Tables_path_type) != 0) return;
  read_script_filenames(pc);
}

void script_filenames_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_script_filenames(pc);
}

uint32_t script_filenames_checksum() { return Script_filenames_crc; }

int level_script_name_index(int level, const char* script) {
  if (!level_valid(level) || !script) return -1;
  for (int i = 0; i < MAX_LEVEL_SCRIPT_ENTRIES; i++) {
    const char* n = Script_entries[level][i].name;
    if (!n) return -1;
    if (strcasecmp(n, script) == 0) return i;
  }
  return -1;
}

const char* level_script_entry_name(int level, int entry) {
  if (!level_valid(level) || entry < 0 || entry >= MAX_LEVEL_SCRIPT_ENTRIES) return nullptr;
  return Script_entries[level][entry].name;
}

int level_script_level_cap(int level, int entry) {
  if (!level_valid(level) || entry < 0 || entry >= MAX_LEVEL_SCRIPT_ENTRIES) return LEVEL_CAP_DEFAULT;
  if (!Script_entries[level][entry].name) return LEVEL_CAP_DEFAULT;
  return Script_entries[level][entry].level_cap;
}

void level_script_dialogue_values(int level, int entry, int* v1, int* v2) {
  int a = 0, b = 0;
  if (level_valid(level) && entry >= 0 && entry < MAX_LEVEL_SCRIPT_ENTRIES) {
    a = Script_entries[level][entry].dialogue1;
    b = Script_entries[level][entry].dialogue2;
  }
  if (v1) *v1 = a;
  if (v2) *v2 = b;
}

static ConsoleCommand cc_do_frame_callback("Do_frame_callback", "Runs the level's frame hook", [] {
  console_bool_var("Do_frame_callback", "Do_frame_callback", Do_frame_callback);
});

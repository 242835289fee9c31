#include "tests/support/fake_script_host.h"

#include <algorithm>
#include <cstdio>

#include "levelscripts/level_scripts.h"
#include "levelscripts/script_ops.h"

std::string lower(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

namespace {
std::string key(int level, const char* name) { return std::to_string(level) + " " + lower(name ? name : ""); }
std::string num(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}
std::string str(const char* s) { return s ? s : "(null)"; }
}  // namespace

FakeScriptHost::FakeScriptHost() {
  story_scripts_install();
  story_statics_reset();
  script_host_install(this);
}
FakeScriptHost::~FakeScriptHost() { script_host_install(nullptr); }

bool FakeScriptHost::logged(const std::string& line) const {
  return std::find(log.begin(), log.end(), line) != log.end();
}
int FakeScriptHost::count(const std::string& line) const {
  return static_cast<int>(std::count(log.begin(), log.end(), line));
}
std::vector<std::string> FakeScriptHost::lines(const std::string& prefix) const {
  std::vector<std::string> r;
  for (const auto& l : log)
    if (l.compare(0, prefix.size(), prefix) == 0) r.push_back(l);
  return r;
}
bool FakeScriptHost::get(int level, const std::string& name) const {
  auto it = flags.find(key(level, name.c_str()));
  return it != flags.end() && it->second;
}
void FakeScriptHost::put(int level, const std::string& name, bool on) { flags[key(level, name.c_str())] = on; }

void FakeScriptHost::end_cutscenes() {
  for (int guard = 0; guard < 32 && !pending.empty(); guard++) {
    ScriptContinuation c = pending.front();
    pending.erase(pending.begin());
    if (c) c();
  }
}
void FakeScriptHost::press(int button) {
  ScriptPopupDone d = popup_done;
  popup_is_open = false;
  popup_done = nullptr;
  if (d) d(button);
}

void FakeScriptHost::run_init(int row) {
  if (Level_scripts[row].init) Level_scripts[row].init();
}
void FakeScriptHost::run_frame(int row) {
  if (Level_scripts[row].frame) Level_scripts[row].frame();
}
void FakeScriptHost::run_exit(int row) {
  if (Level_scripts[row].exit) Level_scripts[row].exit();
}
bool FakeScriptHost::run_use(int row, const char* name) {
  return Level_scripts[row].use ? Level_scripts[row].use(name) : false;
}
void FakeScriptHost::run_event(int row, const char* name) {
  ScriptEvent e{name, "", SE_HOOK, 0, -1};
  if (Level_scripts[row].event) Level_scripts[row].event(&e);
}

bool FakeScriptHost::flag(int level, const char* name) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"flag", lower(name)});
  return get(level, name);
}
void FakeScriptHost::set_flag(int level, const char* name, bool on) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"flag", lower(name)});
  put(level, name, on);
  add("set_flag " + std::to_string(level) + " " + str(name) + " " + (on ? "1" : "0"));
}
int FakeScriptHost::int_value(int level, const char* name) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"int", lower(name)});
  return ints[key(level, name)];
}
void FakeScriptHost::set_int(int level, const char* name, int value) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"int", lower(name)});
  ints[key(level, name)] = value;
  add("set_int " + std::to_string(level) + " " + str(name) + " " + std::to_string(value));
}
float FakeScriptHost::float_value(int level, const char* name) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"float", lower(name)});
  return floats[key(level, name)];
}
void FakeScriptHost::set_float(int level, const char* name, float value) {
  touched.insert({level, lower(name)});
  touched_kinds.insert({"float", lower(name)});
  floats[key(level, name)] = value;
  add("set_float " + std::to_string(level) + " " + str(name) + " " + num(value));
}
void FakeScriptHost::set_game_stage(int s) {
  // The judge reads the furthest stage the flags reach, and setting a stage
  // only adds flags: the stage never goes back.
  stage = std::max(stage, s);
  add("stage " + std::to_string(s));
}
void FakeScriptHost::set_level_music(const char* track) { add("music " + str(track)); }
void FakeScriptHost::play_music(const char* track, bool loop) {
  add("play_music " + str(track) + (loop ? " loop" : ""));
}
void FakeScriptHost::character_show(const char* name, bool show) {
  if (show) hidden.erase(lower(name));
  else hidden.insert(lower(name));
  add(std::string(show ? "show " : "hide ") + str(name));
}
bool FakeScriptHost::character_exists(const char* name) { return !hidden.count(lower(name)); }
bool FakeScriptHost::character_dead(const char* name) { return dead.count(lower(name)) > 0; }
void FakeScriptHost::character_kill(const char* name) {
  dead.insert(lower(name));
  add("kill " + str(name));
}
void FakeScriptHost::character_talk(const char* name) { add("talk " + str(name)); }
void FakeScriptHost::character_say(const char* name, const char* text, float seconds) {
  add("say " + str(name) + " " + num(seconds) + " " + str(text));
}
void FakeScriptHost::character_resume(const char* name) { add("resume " + str(name)); }
void FakeScriptHost::character_order(const char* name, int order, int value) {
  add("order " + str(name) + " " + std::to_string(order) + " " + std::to_string(value));
}
void FakeScriptHost::character_hostile(const char* name) { add("hostile " + str(name)); }
void FakeScriptHost::character_place(const char* name, const char* navpoint) {
  add("place " + str(name) + " " + str(navpoint));
}
bool FakeScriptHost::character_near_navpoint(const char* name, const char* navpoint, float distance) {
  auto it = char_distance.find(lower(str(name)) + "@" + lower(str(navpoint)));
  return it != char_distance.end() && it->second <= distance;
}
float FakeScriptHost::character_leader_distance(const char* name) {
  auto it = char_distance.find(lower(str(name)));
  return it == char_distance.end() ? 1e9f : it->second;
}
bool FakeScriptHost::character_playing_move(const char* name) { return moving.count(lower(str(name))) > 0; }
void FakeScriptHost::character_equip(const char* name, const char* item) {
  add("equip " + (name ? std::string(name) : std::string("(leader)")) + " " + str(item));
}
void FakeScriptHost::characters_ai_off(const char* prefix) { add("ai_off " + str(prefix)); }
void FakeScriptHost::party_add(const char* hero) {
  party.insert(lower(hero));
  add("party_add " + str(hero));
}
void FakeScriptHost::party_remove(const char* hero) {
  party.erase(lower(hero));
  add("party_remove " + str(hero));
}
bool FakeScriptHost::party_has(const char* hero) { return party.count(lower(str(hero))) > 0; }
void FakeScriptHost::hero_say(const char* hero, const char* text, float seconds) {
  add("hero_say " + str(hero) + " " + num(seconds) + " " + str(text));
}
void FakeScriptHost::hero_place(const char* hero, const char* navpoint) {
  add("hero_place " + str(hero) + " " + str(navpoint));
}
bool FakeScriptHost::leader_near(const char* navpoint, float distance) {
  auto it = near.find(lower(str(navpoint)));
  return it != near.end() && it->second <= distance;
}
float FakeScriptHost::leader_nearest_navpoint(const char* prefix, char* name, int name_size) {
  std::string p = lower(str(prefix));
  float best = 10000.0f;
  std::string best_name;
  for (const auto& m : markers) {
    if (lower(m.first).compare(0, p.size(), p) != 0 || m.second >= best) continue;
    best = m.second;
    best_name = m.first;
  }
  if (name && name_size > 0) std::snprintf(name, static_cast<size_t>(name_size), "%s", best_name.c_str());
  return best;
}
bool FakeScriptHost::leader_wields(const char* item) { return wielded.count(lower(str(item))) > 0; }
bool FakeScriptHost::leader_place(ScriptPlace* place) {
  if (leader_handle < 0) return false;
  *place = leader_at;
  return true;
}
float FakeScriptHost::hero_moving_speed(int) { return leader_moving; }
bool FakeScriptHost::hero_speeds(int handle, float* w, float* r) {
  if (handle < 0) return false;
  *w = walk;
  auto it = run_speeds.find(handle);
  *r = it == run_speeds.end() ? run : it->second;
  return true;
}
void FakeScriptHost::set_hero_run_speed(int handle, float r) {
  run_speeds[handle] = r;
  add("run_speed " + std::to_string(handle) + " " + num(r));
}
void FakeScriptHost::party_show_only(int shown) { add("party_show_only " + std::to_string(shown)); }
void FakeScriptHost::party_starts_set(const ScriptPlace& p) {
  add("party_starts " + num(p.pos.x) + " " + num(p.pos.y) + " " + num(p.pos.z) + " " + num(p.heading) + " " +
      std::to_string(p.plane));
}
void FakeScriptHost::exits_enable(const char* level, const char* except, bool on) {
  add(std::string(on ? "exit_on " : "exit_off ") + str(level) + (except ? std::string(" except ") + except : ""));
}
void FakeScriptHost::trigger_enable(const char* name, bool on) {
  add(std::string(on ? "trigger_on " : "trigger_off ") + str(name));
}
void FakeScriptHost::cutscene(const char* name, ScriptContinuation then) {
  add("cutscene " + str(name));
  pending.push_back(then);
}
void FakeScriptHost::door_set(const char* mesh, bool open) { add(std::string(open ? "open " : "close ") + str(mesh)); }
void FakeScriptHost::two_stage_set(const char* mesh, bool open) {
  two_stage[lower(str(mesh))] = open;
  add(std::string(open ? "two_stage_open " : "two_stage_close ") + str(mesh));
}
void FakeScriptHost::effect_show(const char* vfx, bool show) {
  add(std::string(show ? "fx_show " : "fx_hide ") + str(vfx));
}
int FakeScriptHost::item_count(const char* item) {
  auto it = items.find(lower(str(item)));
  return it == items.end() ? 0 : it->second;
}
void FakeScriptHost::give_item(const char* item) {
  items[lower(str(item))]++;
  add("give " + str(item));
}
void FakeScriptHost::remove_item(const char* item, int n) {
  int& have = items[lower(str(item))];
  have = std::max(0, have - n);
  add("remove " + str(item) + " " + std::to_string(n));
}
void FakeScriptHost::give_xp(int amount) { add("xp " + std::to_string(amount)); }
void FakeScriptHost::topic_available(const char* person, const char* topic, bool on) {
  add(std::string(on ? "topic_on " : "topic_off ") + str(person) + " / " + str(topic));
}
void FakeScriptHost::hud_message(const char* text) { add("hud " + str(text)); }
void FakeScriptHost::hud_text(const char* text) { add("text " + str(text)); }
void FakeScriptHost::popup(const char* title, const char* text, int buttons, const char* const* labels,
                           ScriptPopupDone done) {
  std::string l = "popup " + str(title) + " | " + str(text);
  for (int i = 0; i < buttons; i++) l += std::string(" [") + labels[i] + "]";
  add(l);
  popup_is_open = true;
  popup_done = done;
}
void FakeScriptHost::debug(const char* text) {
  std::string t = str(text);
  while (!t.empty() && t.back() == '\n') t.pop_back();
  add("debug " + t);
}
void FakeScriptHost::load_level(const char* level, const char* script, int entry) {
  add("load " + str(level) + " " + str(script) + " " + std::to_string(entry));
}
void FakeScriptHost::request_state(int state) { add("state " + std::to_string(state)); }
void FakeScriptHost::leader_to_start_set(int set) { add("start_set " + std::to_string(set)); }
bool FakeScriptHost::two_stage_open(const char* mesh) {
  return two_stage.count(lower(str(mesh))) && two_stage[lower(str(mesh))];
}
void FakeScriptHost::effect_place(const char* vfx, const char* mesh) {
  add("fx_place " + str(vfx) + " " + str(mesh));
}
int FakeScriptHost::boss_stage(const char* boss) {
  auto it = boss_stages.find(lower(str(boss)));
  return it == boss_stages.end() ? 0 : it->second;
}
void FakeScriptHost::boss_stage_done(const char* boss, int change) {
  add("boss_stage_done " + str(boss) + " " + std::to_string(change));
}
void FakeScriptHost::boss_transform() {
  add("boss_transform");
}
void FakeScriptHost::hero_strip(const char* hero, const char* keep) {
  add("strip " + str(hero) + " keep " + str(keep));
}
bool FakeScriptHost::party_select_first() {
  add("select_first");
  return !party.empty();
}
void FakeScriptHost::characters_resurrect(const char* prefix) {
  add("resurrect " + str(prefix));
}
void FakeScriptHost::clear_dead() {
  add("clear_dead");
}
void FakeScriptHost::camera_mode(int mode) {
  add("camera_mode " + std::to_string(mode));
}
void FakeScriptHost::camera_at(const char* navpoint) {
  add("camera_at " + str(navpoint));
}
void FakeScriptHost::fade(bool out, int ms) {
  add(std::string(out ? "fade_out " : "fade_in ") + std::to_string(ms));
}
void FakeScriptHost::input_lock(bool on) {
  add(std::string(on ? "input_lock" : "input_unlock"));
}
void FakeScriptHost::avoid_areas(bool on) {
  add(std::string(on ? "avoid_on" : "avoid_off"));
}
void FakeScriptHost::snow(bool on) {
  add(std::string(on ? "snow_on" : "snow_off"));
}
void FakeScriptHost::automap_mask(bool on) {
  add(std::string(on ? "map_mask_on" : "map_mask_off"));
}
bool FakeScriptHost::character_sees_leader(const char* name, float) {
  return seeing.count(lower(str(name))) > 0;
}
void FakeScriptHost::status_effect(const char* hero, int id, float value) {
  add("status " + str(hero) + " " + std::to_string(id) + " " + num(value));
  statuses.insert(lower(str(hero)) + "#" + std::to_string(id));
}
bool FakeScriptHost::hero_has_status(const char* hero, int id) {
  return statuses.count(lower(str(hero)) + "#" + std::to_string(id)) > 0;
}
void FakeScriptHost::play_sound(const char* file) {
  add("sound " + str(file));
}
void FakeScriptHost::hero_xp(const char* hero, int amount) {
  add("hero_xp " + str(hero) + " " + std::to_string(amount));
}
void FakeScriptHost::quest_open(const char* name) {
  add("quest " + str(name));
}
bool FakeScriptHost::any_hero_near(const char* navpoint, float reach) {
  auto it = hero_near.find(lower(str(navpoint)));
  return it != hero_near.end() && it->second <= reach;
}
void FakeScriptHost::heroes_hurt_near(const char* navpoint, float reach, int hp, int status, float strength) {
  add("hurt " + str(navpoint) + " " + num(reach) + " " + std::to_string(hp) + " " + std::to_string(status) + " " + num(strength));
}
void FakeScriptHost::heal_party() {
  add("heal_party");
}
void FakeScriptHost::cure_status(int id) {
  add("cure " + std::to_string(id));
  for (auto it = statuses.begin(); it != statuses.end();)
    it = it->size() > 2 && it->substr(it->find('#') + 1) == std::to_string(id) ? statuses.erase(it) : std::next(it);
}
void FakeScriptHost::hero_restore_gear(const char* hero) {
  add("restore_gear " + str(hero));
}
bool FakeScriptHost::level_started_directly() {
  return started_directly;
}
void FakeScriptHost::set_entry(int entry) {
  add("entry " + std::to_string(entry));
}
void FakeScriptHost::give_gold(int amount) {
  gold_amount += amount;
  add("gold " + std::to_string(amount));
}
float FakeScriptHost::frand() {
  if (draws.empty()) {
    draws_past_end++;
    return 0.99f;
  }
  float r = draws.front();
  draws.pop_front();
  return r;
}

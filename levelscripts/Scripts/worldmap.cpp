// The world map, its encounter roll and the random-encounter levels.
#include <cstdio>
#include <cstring>
#include <string>

#include "levelscripts/Scripts/front_story.h"
#include "levelscripts/Scripts/story_common.h"
#include "levelscripts/Scripts/worldmap.h"
#include "quarn/os/console.h"

bool Random_encounters_enabled = true;

namespace {
constexpr int FIRST_ROLL_MS = 20000;
constexpr int ROLL_EVERY_MS = 10000;

const char* const Encounter_levels[NUM_ENCOUNTER_LEVELS] = {
    "Rand-Forest01",        "Rand-Grassland01",  "Rand-Iceland01",    "Rand-Hills01",
    "Rand-Desert",          "Rand-Kasdria01",    "Rand-ForestNite1",  "Rand-GrasslandNite01",
    "Rand-IcelandNite01",   "Rand-HillsNite01",  "Rand-DesertNite01", "Rand-KasdriaNite01"};

int32_t Encounter_timer = 0;
// The walker whose speed the map slowed, and what it ran at before: a hero
// switch on the map must not leave the first walker slowed for good.
int Slowed_hero = -1;
float Slowed_run = 0.0f;

bool korel_active() {
  return H().flag(L_THALEM1AA, "unhide_korel") && !H().flag(L_RAND_GRASSLAND01, "no_more_korel");
}
bool zane_active() {
  return H().flag(L_THALEM1D, "unhide_zane") && !H().flag(L_RAND_GRASSLAND01, "no_more_zane");
}

EncounterChoice pick(const char* level, const char* script = nullptr) {
  EncounterChoice c;
  std::snprintf(c.level, sizeof c.level, "%s", level);
  std::snprintf(c.script, sizeof c.script, "%s", script ? script : level);
  return c;
}

// The nearest terrain of the kinds given; ties keep the earlier kind.
int nearest_terrain(const char* const* prefixes, int n, char* name, int size) {
  int best = 0;
  float best_d = 0.0f;
  for (int i = 0; i < n; i++) {
    char found[32] = "";
    float d = H().leader_nearest_navpoint(prefixes[i], found, sizeof found);
    if (i > 0 && d >= best_d) continue;
    best = i;
    best_d = d;
    if (name) std::snprintf(name, static_cast<size_t>(size), "%s", found);
  }
  return best;
}

EncounterChoice table_a() {
  const char* const terrain[] = {"$hills", "$forest", "$grass"};
  int t = nearest_terrain(terrain, 3, nullptr, 0);
  if (t == 2) {
    bool active = false;
    if (korel_active()) {
      H().debug("Korel active.\n");
      active = true;
    } else if (zane_active()) {
      H().debug("Zane active.\n");
      active = true;
    }
    if (active && H().frand() < 0.5f) return pick("rand-grassland01", "rand-grassland01_v3");
    float r2 = H().frand();
    if (r2 < 0.45f) return pick("rand-grassland01");
    if (r2 >= 0.55f) return pick("rand-grasslandnite01");
    return pick("rand-grassland01", "rand-grassland01_v2");
  }
  if (t == 1) return H().frand() < 0.5f ? pick("rand-forestnite1") : pick("rand-forest01");
  return H().frand() < 0.5f ? pick("rand-hillsnite01") : pick("rand-hills01");
}

EncounterChoice table_b(int stage) {
  if (H().flag(L_CATACOMBS, "got_ring_of_light") && !H().flag(L_RAND_FORESTNITE1, "ghost_killed"))
    return pick("rand-forestnite1", "rand-forestnite1_v2");
  if (H().flag(L_KHOSANI_LAB, "got_ring_of_fire") && !H().flag(L_RAND_HILLS01, "phoenix_killed"))
    return pick("rand-hills01", "rand-hills01_v2");
  // The serpent rider is fought in Shenwu, and nothing ever marks him beaten
  // on the forest road: a rule waiting for that would send every roll after
  // Ikaemos to the same forest. The forest comes from the terrain instead.
  const char* const terrain[] = {"$hills", "$forest", "$grass"};
  char marker[32] = "";
  int t = nearest_terrain(terrain, 3, marker, sizeof marker);
  if (t == 2) {
    float r = H().frand();
    if (korel_active() || zane_active()) {
      if (r < 0.5f) return pick("rand-grassland01", "rand-grassland01_v3");
    }
    if (r < 0.1f) return pick("rand-grassland01", "rand-grassland01_v3");
    if (r >= 0.55f) return pick("rand-grasslandnite01");
    return pick("rand-grasslandnite01", "rand-grasslandnite012");
  }
  if (t == 1) {
    float r = H().frand();
    if (r < 0.25f) return pick("rand-forest01", "rand-forest01_v3");
    if (r < 0.5f) return pick("rand-forest01", "rand-forest01_v4");
    if (r < 0.75f && stage >= 7) return pick("rand-forestnite1", "rand-forestnite1_v3");
    return pick("rand-forestnite1");
  }
  if (same_name(marker, "$hills001") && !H().flag(L_WORLDMAP1, "found_khosani") && H().frand() < 0.7f)
    return pick("rand-hills01", "rand-hills01_v3");
  float r2 = H().frand();
  if (r2 >= 0.66f) return pick("rand-hills01");
  if (r2 >= 0.33f) return pick("rand-hillsnite01", "rand-hillsnite01_v3");
  return pick("rand-hillsnite01", "rand-hillsnite01_v2");
}

// The script of a table-C level: the level's own name, or its _v2 or _v3
// variant; the first draw keeps the plain script below the first threshold,
// the second picks _v2 below the second threshold, else _v3.
EncounterChoice variant_of(const char* level, float first, float second) {
  if (H().frand() < first) return pick(level);
  char script[LEVEL_NAME_LEN];
  std::snprintf(script, sizeof script, "%s%s", level, H().frand() < second ? "_v2" : "_v3");
  return pick(level, script);
}

EncounterChoice table_c() {
  const char* const terrain[] = {"$desert", "$kasdrian"};
  if (nearest_terrain(terrain, 2, nullptr, 0) == 0) {
    const char* level = H().frand() < 0.5f ? "rand-desertnite01" : "rand-desert";
    return variant_of(level, 0.35f, 0.65f);
  }
  const char* level = H().frand() < 0.5f ? "rand-kasdrianite01" : "rand-kasdria01";
  return variant_of(level, 0.45f, 0.55f);
}

bool holds_pages_1_to_6() {
  for (int page = 1; page <= 6; page++) {
    char item[40];
    std::snprintf(item, sizeof item, "Parchment#Tome Page %d", page);
    if (H().item_count(item) == 0) return false;
  }
  return true;
}

// Story encounters of the last act first, then the pages' forest roads, the
// final act, the one-time extras, and else the iceland by day or night.
EncounterChoice table_d() {
  bool spirit = H().flag(L_JADETEMPLE, "got_laharah_spirit");
  if (H().flag(L_RAND_FOREST01, "nhuvasarim_mq_bought_page7") && H().item_count("Parchment#Tome Page 8") == 0 &&
      !spirit)
    return pick("rand-icelandnite01", "rand-icelandnite01_v2");
  if (holds_pages_1_to_6()) {
    float r = H().frand();
    if (r < 0.2f) return pick("rand-forest01", "rand-forest01_v3");
    if (r < 0.4f) return pick("rand-forest01", "rand-forest01_v4");
    if (r < 0.6f) return pick("rand-forest01", "rand-forest01_v5");
    if (r < 0.7f) return pick("rand-forest01", "rand-forest01_v6");
  }
  if (H().flag(L_KHOSANI_STRNG, "ready_for_end") && spirit && H().frand() < 0.1f)
    return pick("rand-icelandnite01", "rand-icelandnite01_v3");
  if (!H().flag(L_TEST, "extra_1") && H().frand() < 0.5f) {
    H().set_flag(L_TEST, "extra_1", true);
    return pick("rand-iceland01", "rand-iceland01_v2");
  }
  if (H().flag(L_KHOSANI_STRNG, "khosanistrng_haenulquest") && !H().flag(L_TEST, "extra_5") &&
      H().item_count("Eraekor Gemstone") == 0) {
    H().set_flag(L_TEST, "extra_5", true);
    return pick("rand-iceland01", "rand-iceland01_v4");
  }
  float r = H().frand();
  if (r < 0.05f) return pick("rand-iceland01", "rand-iceland01_v3");
  if (r < 0.16f) return pick("rand-icelandnite01", "rand-icelandnite01_v3");
  if (r < 0.33f) return pick("rand-iceland01", "rand-iceland01_v2");
  if (r < 0.5f) return pick("rand-icelandnite01");
  if (r < 0.75f) return pick("rand-iceland01");
  return pick("rand-icelandnite01");
}

void worldmap_init() {
  H().game_stage();
  if (is_encounter_level(H().previous_level())) {
    ScriptPlace p;
    p.pos.x = H().float_value(L_WORLDMAP1, "worldmap_last_pos_x");
    p.pos.y = H().float_value(L_WORLDMAP1, "worldmap_last_pos_y");
    p.pos.z = H().float_value(L_WORLDMAP1, "worldmap_last_pos_z");
    p.heading = H().float_value(L_WORLDMAP1, "worldmap_last_pos_heading");
    p.plane = H().int_value(L_WORLDMAP1, "worldmap_last_pos_plane");
    H().party_starts_set(p);
  }
  Encounter_timer = H().clock() + FIRST_ROLL_MS;
  H().set_level_music("worldmap1");
  int hero = H().leader();
  float walk = 0.0f, run = 0.0f;
  if (hero >= 0 && H().hero_speeds(hero, &walk, &run)) {
    // Run again without an exit between ("reinits worldmap"), the walker
    // keeps the speed it had before the map, not the averaged one.
    if (hero == Slowed_hero) run = Slowed_run;
    else if (Slowed_hero >= 0) H().set_hero_run_speed(Slowed_hero, Slowed_run);
    Slowed_hero = hero;
    Slowed_run = run;
    H().set_hero_run_speed(hero, (walk + run) * 0.5f);
  }
  H().party_show_only(hero);
}

void worldmap_exit() {
  if (Slowed_hero >= 0) H().set_hero_run_speed(Slowed_hero, Slowed_run);
  Slowed_hero = -1;
  H().party_show_only(-1);
}

void worldmap_frame() {
  if (!Random_encounters_enabled || H().clock() < Encounter_timer) return;
  Encounter_timer = H().clock() + ROLL_EVERY_MS;
  int hero = H().leader();
  if (hero < 0 || H().hero_moving_speed(hero) == 0.0f || H().no_encounters()) return;
  float r = H().frand();
  // The serpent's ring forces nothing: see table_b.
  bool forced =
      (H().flag(L_CATACOMBS, "got_ring_of_light") && !H().flag(L_RAND_FORESTNITE1, "ghost_intro_played")) ||
      (H().flag(L_KHOSANI_LAB, "got_ring_of_fire") && !H().flag(L_RAND_HILLS01, "phoenix_intro_played"));
  if (!forced && r >= 0.5f) return;
  H().hud_message("Encounter!");
  ScriptPlace p;
  if (H().leader_place(&p)) {
    H().set_float(L_WORLDMAP1, "worldmap_last_pos_x", p.pos.x);
    H().set_float(L_WORLDMAP1, "worldmap_last_pos_y", p.pos.y);
    H().set_float(L_WORLDMAP1, "worldmap_last_pos_z", p.pos.z);
    H().set_float(L_WORLDMAP1, "worldmap_last_pos_heading", p.heading);
    H().set_int(L_WORLDMAP1, "worldmap_last_pos_plane", p.plane);
  }
  EncounterChoice c = encounter_choose(H().game_stage());
  char line[80];
  std::snprintf(line, sizeof line, "loading %s\n", c.level);
  H().debug(line);
  H().load_level(c.level, c.script, 1);
}

// --- the encounter levels --------------------------------------------------------------


void iceland_init() { H().set_level_music("rand-iceland01"); }
void grasslandnite_init() { H().set_level_music("rand-grassland01"); }
void desertnite_init() { H().set_level_music("Rand-Desert"); }
void desert_init() { H().set_level_music("rand-desert"); }
void hillsnite_init() { H().set_level_music("rand-hills01"); }
void kasdrianite_init() {
  H().set_level_music("rand-kasdria01");
  if (variant("rand-kasdrianite01_v3") && H().flag(L_RAND_KASDRIANITE01, "cat_quest_done"))
    H().character_show("Death", false);
}
void kasdria_init() {
  H().set_level_music("rand-kasdria01");
  if (variant("rand-kasdria01_v3") && H().flag(L_RAND_KASDRIA01, "ahlang_quest_done"))
    H().character_show("Ahlang", false);
}

const char* const Bandits[] = {"Bandit#1", "Bandit#2", "Bandit#3", "Bandit#4", "Bandit#5", "Bandit#6"};

void grassland_init() {
  H().set_level_music("rand-grassland01");
  H().set_game_stage(0);
  H().character_equip("Rivadara", "Burnt Robe");
  H().character_equip("Rivadara", "Nagitana");
  H().character_equip("Zazuru", "Bougu-Dou");
  H().character_equip("Zazuru", "Spineslicer");
  for (const char* item : {"Healing Potion", "Healing Potion", "Mana Potion"}) H().give_item(item);
  H().character_show("Traveling Merchant", false);
  H().character_show("Zane", false);
  for (const char* b : Bandits) H().character_show(b, false);
  H().character_show("Lord Korel", false);
  if (!variant("rand-grassland01_v3")) return;
  const char* leader = nullptr;
  if (korel_active()) leader = "Lord Korel";
  else if (zane_active()) leader = "Zane";
  if (!leader) return;
  H().character_show(leader, true);
  for (const char* b : Bandits) H().character_show(b, true);
}

void grassland_event(const ScriptEvent* e) {
  const char* leader = event_is(e, "KorelHostile") ? "Lord Korel" : event_is(e, "ZaneHostile") ? "Zane" : nullptr;
  if (!leader) return;
  H().character_hostile(leader);
  for (const char* b : Bandits) H().character_hostile(b);
}

// rand-forest01: the training road, with its four instructions in a chain.
const char* const Instructions[4] = {
    "Left-click an opponent to start combat.\n\nRight-click to perform chain attacks.",
    "To cast spells or use skills, click on the buttons at the bottom of the screen.",
    "The Summon skill is under the \"Creation\" tab in the skill rollout.",
    "Press F1 for more help or open readme.txt for more information."};
int Instruction_next = 0;
void instruction_closed(int) {
  if (Instruction_next >= 4) return;
  const char* ok[] = {"OK"};
  const char* text = Instructions[Instruction_next++];
  H().popup("Instructions", text, 1, ok, instruction_closed);
}

void forest_init() {
  H().set_level_music("rand-forest01");
  for (const char* item : {"Ring of Stone", "Ring of Fire", "Tome of Revive", "Leather Boots", "Leather Gloves",
                           "Leather Leggings", "Leather Armor", "Short Sword", "Short Bow"})
    H().give_item(item);
  // The instructions are the tutorial's: the switch that skips its lessons
  // skips them too.
  Instruction_next = 0;
  if (!Ignore_tutorial) instruction_closed(0);
}

// The rider encounters: a war horse under the rider; the rider dismounts
// when it falls, and the encounter ends when the rider does.
struct Rider {
  int level;
  const char* variant;
  const char* music;
  const char* rider;
  const char* prefix;     // "ghost" or "phoenix"
  const char* cutscenes;  // "Ghost" or "PHNX"
};
const Rider Ghost = {L_RAND_FORESTNITE1, "rand-forestnite1_v2", "rand-forest01", "Ghost Rider", "ghost", "Ghost"};
const Rider Phoenix = {L_RAND_HILLS01, "rand-hills01_v2", "rand-hills01", "Phoenix Rider", "phoenix", "PHNX"};
const Rider* Current_rider = nullptr;

std::string flag_of(const Rider& r, const char* what) { return std::string(r.prefix) + "_" + what; }
std::string cutscene_of(const Rider& r, const char* what) { return std::string(r.cutscenes) + "-" + what; }

void rider_remove(const Rider& r) {
  H().character_show(r.rider, false);
  H().character_show("WarHorse1", false);
}

void rider_init(const Rider& r) {
  H().set_level_music(r.music);
  Current_rider = &r;
  if (!same_name(H().script_variant(), r.variant) || H().flag(r.level, flag_of(r, "killed2").c_str())) {
    rider_remove(r);
    return;
  }
  H().exits_enable("worldmap1", nullptr, false);
}

void rider_escaped() {
  const Rider& r = *Current_rider;
  H().set_flag(r.level, flag_of(r, "killed2").c_str(), true);
  rider_remove(r);
  H().set_level_music(r.music);
  H().exits_enable("worldmap1", nullptr, true);
}
void rider_released() {
  H().play_music("Boss", true);
  H().character_resume(Current_rider->rider);
  H().character_resume("WarHorse1");
}

void rider_frame(const Rider& r) {
  Current_rider = &r;
  if (!same_name(H().script_variant(), r.variant) || H().flag(r.level, flag_of(r, "killed2").c_str())) return;
  if (!H().flag(r.level, flag_of(r, "intro_played").c_str())) {
    if (H().leader_near("$bosstrigger", 15.0f)) {
      H().set_flag(r.level, flag_of(r, "intro_played").c_str(), true);
      H().cutscene(cutscene_of(r, "Intro").c_str(), rider_released);
    }
    return;
  }
  if (!H().flag(r.level, flag_of(r, "dismount_played").c_str()) && H().character_dead("WarHorse1")) {
    H().set_flag(r.level, flag_of(r, "dismount_played").c_str(), true);
    H().cutscene(cutscene_of(r, "Dismount").c_str(), nullptr);
  }
  if (!H().flag(r.level, flag_of(r, "killed").c_str()) && H().character_dead(r.rider)) {
    H().set_flag(r.level, flag_of(r, "killed").c_str(), true);
    H().cutscene(cutscene_of(r, "Escape").c_str(), rider_escaped);
  }
}

void forestnite_init() { rider_init(Ghost); }
void forestnite_frame() { rider_frame(Ghost); }
void hills_init() { rider_init(Phoenix); }
void hills_frame() { rider_frame(Phoenix); }
void hills_event(const ScriptEvent* e) {
  if (event_is(e, "GotoKhosani")) H().set_flag(L_WORLDMAP1, "found_khosani", true);
}

ConsoleCommand cc_random_encounters("random_encounters", "Toggles Random_encounters_enabled", [] {
  console_bool_var("random_encounters", "Random_encounters_enabled", Random_encounters_enabled);
});
// "reinits worldmap": the world map's init hook again.
ConsoleCommand cc_reinits("reinits", "", [] {
  console_get_arg(ARG_STRING);
  if (Console_run && same_name(Console_arg.text, "worldmap")) worldmap_init();
});
}  // namespace

bool is_encounter_level(const char* name) {
  for (const char* l : Encounter_levels)
    if (same_name(l, name)) return true;
  return false;
}
const char* encounter_level_name(int i) { return i >= 0 && i < NUM_ENCOUNTER_LEVELS ? Encounter_levels[i] : nullptr; }

EncounterChoice encounter_choose(int stage) {
  if (stage < 4) return table_a();
  if (stage <= 8) return table_b(stage);
  if (stage <= 14) return table_c();
  return table_d();
}

void worldmap_statics_reset() {
  Encounter_timer = 0;
  Slowed_hero = -1;
  Slowed_run = 0.0f;
  Instruction_next = 0;
  Current_rider = nullptr;
  Random_encounters_enabled = true;
}

void worldmap_scripts_install() {
  LevelHook E = level_script_empty_hook;
  LevelEventHook EE = level_script_empty_event;
  level_script_set_hooks(L_WORLDMAP1, worldmap_init, worldmap_frame, worldmap_exit, nullptr, nullptr, nullptr);
  level_script_set_hooks(L_RAND_HILLS01, hills_init, hills_frame, E, nullptr, nullptr, hills_event);
  level_script_set_hooks(L_RAND_FOREST01, forest_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_FORESTNITE1, forestnite_init, forestnite_frame, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_DESERT, desert_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_HILLSNITE01, hillsnite_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_ICELAND01, iceland_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_GRASSLAND01, grassland_init, E, E, nullptr, nullptr, grassland_event);
  level_script_set_hooks(L_RAND_KASDRIA01, kasdria_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_KASDRIANITE01, kasdrianite_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_DESERTNITE01, desertnite_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_GRASSLANDNITE01, grasslandnite_init, E, E, nullptr, nullptr, EE);
  level_script_set_hooks(L_RAND_ICELANDNITE01, iceland_init, E, E, nullptr, nullptr, EE);
}

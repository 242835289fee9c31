// The Khosani stronghold and its laboratory of trials, the abbey of Odrin
// and the catacombs under it.
#include <cstdio>
#include <cstring>

#include "levelscripts/Scripts/story_common.h"
#include "levelscripts/Scripts/thalem.h"
#include <string>

namespace {

// --- KhosaniStrng ----------------------------------------------------------------------------------
void khosanistrng_init() {
  int L = L_KHOSANI_STRNG;
  H().set_level_music("KhosaniStrng");
  if (variant("khosanistrng_v6")) {
    H().set_game_stage(20);
    H().two_stage_set("door-fliplaby02", true);
    H().two_stage_set("door-fliplaby01", false);
    H().set_flag(L, "khosani_strng_dizavadi2", false);
  } else if (variant("khosanistrng_v5")) {
    H().set_game_stage(18);
    H().set_flag(L, "khosani_strng_talked_to_portal", true);
    H().set_flag(L, "khosani_strng_dizavadi2", true);
    H().two_stage_set("door-fliplaby01", false);
    H().two_stage_set("door-fliplaby02", false);
  } else if (variant("khosanistrng_v4")) {
    H().set_game_stage(17);
    H().set_flag(L, "khosani_strng_talked_to_portal", true);
    H().set_flag(L, "khosani_strng_dizavadi2", true);
    H().two_stage_set("door-fliplaby02", false);
    H().two_stage_set("door-fliplaby01", true);
    H().exits_enable("khosanilab2", nullptr, true);
    H().debug("enabled kl2\n");
  } else if (variant("khosanistrng_v3")) {
    H().set_game_stage(15);
    H().set_flag(L, "khosani_strng_talked_to_portal", false);
    H().set_flag(L, "khosani_strng_dizavadi2", false);
    H().two_stage_set("door-fliplaby02", true);
    H().two_stage_set("door-fliplaby01", false);
    H().exits_enable("khosanilab", nullptr, false);
    H().exits_enable("khosanilab2", nullptr, false);
  } else if (variant("khosanistrng_v2")) {
    H().set_flag(L_KHOSANI_LAB, "got_ring_of_fire", true);
  } else {
    H().set_game_stage(5);
    if (H().flag(L, "khosani_strng_guardian1")) {
      H().set_flag(L, "khosani_strng_gate1", true);
      H().two_stage_set("door-fliplaby02", true);
    }
    if (H().flag(L, "khosani_strng_guardian2")) {
      H().set_flag(L, "khosani_strng_gate2", true);
      H().two_stage_set("door-fliplaby01", true);
    }
    H().exits_enable("khosanilab", nullptr, true);
    H().debug("enabled kl1\n");
    H().exits_enable("khosanilab2", nullptr, false);
  }
  H().set_flag(L_WORLDMAP1, "found_khosani", true);
  if (H().flag(L_RAND_FOREST01, "crone_mq_gave_rose")) {
    H().character_show("Salamanka#1", false);
    H().character_show("Salamanka#2", false);
  }
  if (!H().flag(L, "buy_seeds")) H().character_show("Elarh the Merchant#act4", false);
  if (H().flag(L_TEST, "extra_6")) H().character_show("Saato the Priestess", false);
  if (H().flag(L_TEST, "extra_7")) H().character_show("Athodi the Priestess", false);
  if (H().flag(L_TEST, "extra_8")) H().character_show("Elarh the Merchant#act4", false);
}

const char* const Guardian = "Guardian of the Stone Portal";

void khosanistrng_frame() {
  int L = L_KHOSANI_STRNG;
  bool talking = H().in_conversation();
  if (H().flag(L_KHOSANI_LAB, "got_ring_of_fire")) {
    if (!talking && first_time(L, "khosani_strng_talked_to_portal")) H().character_talk(Guardian);
    if (variant("khosanistrng_v3")) intro(L, "act4_intro", "Act4-Intro");
  } else {
    if (intro(L, "khosani_intro", "Nar-KhosaniStronghold")) return;
    if (!talking && first_time(L, "khosani_strng_guardian1")) {
      H().character_talk(Guardian);
      return;
    }
    if (!talking && H().flag(L, "khosani_strng_dizavadi") && H().character_leader_distance(Guardian) <= 7.0f &&
        first_time(L, "khosani_strng_guardian2")) {
      H().character_talk(Guardian);
      return;
    }
    if (!H().flag(L, "khosani_strng_gate1") && H().character_near_navpoint(Guardian, "$npc059", 2.0f) &&
        H().leader_near("$npc059", 5.0f)) {
      H().set_flag(L, "khosani_strng_gate1", true);
      H().two_stage_set("door-fliplaby02", true);
    }
    if (!H().flag(L, "khosani_strng_gate2") && H().character_near_navpoint(Guardian, "$npc063", 2.0f) &&
        H().leader_near("$npc063", 5.0f)) {
      H().set_flag(L, "khosani_strng_gate2", true);
      H().two_stage_set("door-fliplaby01", true);
    }
  }
  if (!H().in_conversation() && !H().flag(L, "khosani_strng_dizavadi2") && H().leader_near("$npc064", 3.0f)) {
    H().set_flag(L, "khosani_strng_dizavadi2", true);
    H().character_talk("Dizavadi");
  }
}

void topic_if_all(const char* person, const char* topic, std::initializer_list<const char*> items) {
  bool all = true;
  for (const char* i : items) all = all && H().item_count(i) > 0;
  H().topic_available(person, topic, all);
}

void khosanistrng_event(const ScriptEvent* e) {
  if (event_is(e, "Dizavadi")) {
    auto greet = [](const std::string& person) {
      H().topic_available(person.c_str(), "\"Hail\"", false);
      H().topic_available(person.c_str(), "\"Hail\"#2", true);
    };
    for (int i = 1; i <= 7; i++) greet(fmt("Khosani Master#%d", i));
    for (int i = 1; i <= 4; i++) greet(fmt("Khosani Merchant#%d", i));
    for (int i = 1; i <= 9; i++) greet(fmt("Khosani Priestess#%d", i));
    greet("Keeper of Lore");
    H().set_flag(L_KHOSANI_STRNG, "khosani_strng_dizavadi", true);
  } else if (event_is(e, "LeadPlayer")) {
    H().character_order(Guardian, 15, 1);
  } else if (event_is(e, "LeadPlayer2")) {
    H().character_order(Guardian, 15, 2);
  } else if (event_is(e, "OpenLab2")) {
    H().two_stage_set("door-fliplaby01", true);
  } else if (event_is(e, "CheckItems")) {
    topic_if_all("Ilaru the Priestess#act4", "Give her the skull, heart, & gallbladder.",
                 {"Huk Kinar's Skull", "Udakar's Heart", "Bacite's Gallbladder"});
  } else if (event_is(e, "CheckMaps")) {
    topic_if_all("Kiva the Priestess", "Give Kiva the map and carvings.",
                 {"Umakil Carving", "Dehilos Carving", "Muhul Carving"});
  } else if (event_is(e, "HideSaato")) {
    H().set_flag(L_TEST, "extra_6", true);
  } else if (event_is(e, "HideAthodi")) {
    H().set_flag(L_TEST, "extra_7", true);
  } else if (event_is(e, "HideElarh")) {
    H().set_flag(L_TEST, "extra_8", true);
  }
}

// --- KhosaniLab, the Ordeal -----------------------------------------------------------------------
int32_t Rune_timer = 0;
uint8_t Sal_music = 0, Lab_music = 0;
constexpr int FLIPPER_COLUMNS = 7, FLIPPER_ROWS = 3, LAVA_PLATFORMS = 7;

std::string flipper(int cell) { return fmt("puzzle-flippers%02d", cell + 1); }

// The floor of the test of thought: platform c stands raised while every
// flipper of column c is turned.
void lava_platforms_set() {
  for (int c = 0; c < LAVA_PLATFORMS; c++) {
    bool up = true;
    for (int r = 0; r < FLIPPER_ROWS; r++) up = up && H().two_stage_open(flipper(r * FLIPPER_COLUMNS + c).c_str());
    H().two_stage_set(fmt("lavaplatform%02d", c + 1).c_str(), up);
  }
}

void khosanilab_init() {
  H().set_level_music("KhosaniLab");
  H().set_game_stage(5);
  H().two_stage_set("Gate-Room2", true);
  H().door_set("BOSS-GateA-Door01", true);
  Rune_timer = 0;
  Sal_music = Lab_music = 0;
  lava_platforms_set();
  H().avoid_areas(true);
  if (H().flag(L_KHOSANI_LAB, "sal_killed")) H().character_show("Giant Salamanka", false);
}
void khosanilab_exit() { H().avoid_areas(false); }

struct Room {
  const char* navpoint;
  const char* flag;
  const char* line;
};
const Room Rooms[6] = {
    {"$rm1", "room1", "Pass the test of respect, and tread not upon us."},
    {"$rm2", "room2", "In these two chambers, pass the test of insight. Here wisdom can move stones."},
    {"$rm4", "room4", "Now pass the test of might. Fight well, or the oath-breakers will destroy you!"},
    {"$rm5", "room5", "In these two chambers, pass the test of thought. Your wits must be your guide."},
    {"$rm7", "room7", "Now pass the test of memory. Those whose eyes are open shall see."},
    {"$rm8", "room8", "The final test awaits you. Heal yourselves if you are weak."},
};

bool all_dead(const char* fmt_name, int from, int to) {
  for (int i = from; i <= to; i++)
    if (!H().character_dead(fmt(fmt_name, i).c_str())) return false;
  return true;
}

void announcements() {
  int L = L_KHOSANI_LAB;
  for (const Room& r : Rooms) {
    if (H().flag(L, r.flag) || !H().leader_near(r.navpoint, 3.0f)) continue;
    if (same_name(r.flag, "room2") && !H().two_stage_open("Gate-Room2")) continue;
    H().set_flag(L, r.flag, true);
    H().character_say("Dizavadi", r.line, 5.0f);
    // The test before is rewarded here, when it was passed cleanly.
    if (same_name(r.flag, "room2") && !H().flag(L, "room1_stepped")) H().give_xp(1000);
    if (same_name(r.flag, "room4") && !H().flag(L, "room2_door4")) H().give_xp(1200);
    if (same_name(r.flag, "room8") && !H().flag(L, "room7_killed")) H().give_xp(2000);
    return;
  }
}

void sal_intro_done() { H().give_item("Ring of Fire"); }
void sal_trans1_done() { H().boss_stage_done("Giant Salamanka", 1); }
void sal_trans2_done() { H().boss_stage_done("Giant Salamanka", 2); }
void sal_death_done() { H().character_show("Giant Salamanka", false); }

void khosanilab_frame() {
  int L = L_KHOSANI_LAB;
  announcements();
  // Respect.
  if (!H().flag(L, "room1_stepped") && H().leader_near("$symbol", 5.0f)) {
    H().set_flag(L, "room1_stepped", true);
    H().two_stage_set("Gate-Room2", false);
    for (int i = 1; i <= 4; i++) {
      H().door_set(fmt("LAB-Rm1-SDoor%02d", i).c_str(), true);
      H().character_resume(fmt("Iron Golem#%d", i).c_str());
    }
  }
  if (H().flag(L, "room1_stepped") && !H().flag(L, "room1_killed") && all_dead("Iron Golem#%d", 1, 4)) {
    H().set_flag(L, "room1_killed", true);
    H().two_stage_set("Gate-Room2", true);
  }
  // Insight: the onyx golems.
  if (H().flag(L, "room2_door1") && !H().flag(L, "room2_killed") && all_dead("Onyx Golem#%d", 1, 4)) {
    H().set_flag(L, "room2_killed", true);
    for (int i = 1; i <= 6; i++) H().two_stage_set(fmt("LAB-Rm3-DoorPylon%02d", i).c_str(), true);
  }
  // Might.
  if (!H().flag(L, "room4_started") && H().leader_near("$platform", 3.0f)) {
    H().set_flag(L, "room4_started", true);
    for (int i = 1; i <= 8; i++) H().door_set(fmt("prisonlid%02d", i).c_str(), true);
    for (int i = 1; i <= 4; i++) {
      std::string p = fmt("Khosani Prisoner#%d", i);
      H().character_hostile(p.c_str());
      H().character_resume(p.c_str());
    }
  }
  if (H().flag(L, "room4_started") && !H().flag(L, "room4_finished") && all_dead("Khosani Prisoner#%d", 1, 4)) {
    H().set_flag(L, "room4_finished", true);
    H().give_xp(1000);
    H().door_set("LAB-Rm4-door01", true);
  }
  // Memory: the runes turn back when their timer ends.
  if (Rune_timer && H().clock() >= Rune_timer) {
    Rune_timer = 0;
    for (int i = 1; i <= 6; i++) H().two_stage_set(fmt("Lab-Rm7-Runenumber%02d", i).c_str(), false);
  }
  if (H().flag(L, "room7_door1") && !H().flag(L, "room7_killed") &&
      all_dead("Steel Golem#%d", 1, 4)) {
    H().set_flag(L, "room7_killed", true);
    H().set_flag(L, "room7_finished", true);
    H().door_set("LAB-Rm4-Door04", true);
  }
  // The Salamanka.
  if (!H().flag(L, "salstart") && H().leader_near("$salstart", 4.0f)) {
    H().set_flag(L, "salstart", true);
    H().door_set("BOSS-GateA-Door01", false);
    H().cutscene("GiantSalamanka-Intro", sal_intro_done);
    return;
  }
  if (H().flag(L, "salstart") && !Sal_music) {
    Sal_music = 1;
    H().play_music("Salamanka", true);
  }
  if (H().boss_stage("Giant Salamanka") >= 1 && first_time(L, "sal_trans1"))
    H().cutscene("GiantSalamanka-Trans1", sal_trans1_done);
  if (H().boss_stage("Giant Salamanka") >= 2 && first_time(L, "sal_trans2"))
    H().cutscene("GiantSalamanka-Trans2", sal_trans2_done);
  if (H().flag(L, "salstart") && H().character_dead("Giant Salamanka") && first_time(L, "sal_killed"))
    H().cutscene("GiantSalamanka-Death", sal_death_done);
  if (H().flag(L, "sal_killed") && H().item_count("Ring of Fire") > 0 && !H().flag(L, "got_ring_of_fire")) {
    ring_reward(L, "got_ring_of_fire", nullptr, "Ruvizo acquired Summon Red Minotaur!");
    H().door_set("BOSS-GateB-Door01", true);
    H().character_say("Dizavadi", "You have passed the Ordeal, Sahugani. The people of Saanavarh welcome you.", 5.0f);
  }
  if (H().flag(L, "got_ring_of_fire") && !Lab_music) {
    Lab_music = 1;
    H().play_music("KhosaniLab", true);
  }
}

// The next trap of a room: the first of its four flags not yet set.
int next_trap(const char* flag_fmt) {
  for (int i = 1; i <= 4; i++)
    if (!H().flag(L_KHOSANI_LAB, fmt(flag_fmt, i).c_str())) return i;
  return 0;
}

bool pylon_use(const char* name) {
  for (int side = 0; side < 2; side++) {
    for (int k = 1; k <= 6; k++) {
      std::string trigger = fmt(side == 0 ? "LeftPylonTrigger-%02d" : "RightPylonTrigger-%02d", k);
      if (!same_name(name, trigger.c_str())) continue;
      int pylon = 7 - k;
      bool left_opens = pylon == 1 || pylon == 2 || pylon == 5;
      bool open = side == 0 ? left_opens : !left_opens;
      std::string door = fmt("LAB-Rm3-DoorPylon%02d", pylon);
      if (H().two_stage_open(door.c_str()) != open) {
        H().two_stage_set(door.c_str(), open);
      } else if (int t = next_trap("room2_door%d")) {
        H().set_flag(L_KHOSANI_LAB, fmt("room2_door%d", t).c_str(), true);
        H().door_set(fmt("LAB-Rm2-SDoor%02d", t).c_str(), true);
        H().character_resume(fmt("Onyx Golem#%d", t).c_str());
      }
      return true;
    }
  }
  return false;
}

bool flipper_use(const char* name) {
  if (!name || strncasecmp(name, "puzzle-flippers", 15) != 0 || std::strlen(name) != 17) return false;
  int cell = (name[15] - '0') * 10 + (name[16] - '0') - 1;
  if (cell < 0 || cell >= FLIPPER_COLUMNS * FLIPPER_ROWS) return false;
  int row = cell / FLIPPER_COLUMNS, col = cell % FLIPPER_COLUMNS;
  const int dr[4] = {-1, 1, 0, 0}, dc[4] = {0, 0, -1, 1};
  for (int i = 0; i < 4; i++) {
    int r = row + dr[i], c = col + dc[i];
    if (r < 0 || r >= FLIPPER_ROWS || c < 0 || c >= FLIPPER_COLUMNS) continue;
    std::string f = flipper(r * FLIPPER_COLUMNS + c);
    H().two_stage_set(f.c_str(), !H().two_stage_open(f.c_str()));
  }
  lava_platforms_set();
  return true;
}

const int Steel_order[4] = {1, 4, 3, 2};
bool rune_use(const char* name) {
  for (int k = 1; k <= 6; k++) {
    std::string rune = fmt("Lab-Rm7-Runenumber%02d", k);
    if (!same_name(name, rune.c_str())) continue;
    bool ready = k == 1 || H().two_stage_open(fmt("Lab-Rm7-Runenumber%02d", k - 1).c_str());
    if (ready) {
      H().two_stage_set(rune.c_str(), true);
      if (k == 6) {
        H().door_set("LAB-Rm4-Door04", true);
        H().set_flag(L_KHOSANI_LAB, "room7_finished", true);
      }
    } else if (int t = next_trap("room7_door%d")) {
      H().set_flag(L_KHOSANI_LAB, fmt("room7_door%d", t).c_str(), true);
      H().door_set(fmt("LAB-Rm2-SDoor%02d", t + 4).c_str(), true);
      H().character_resume(fmt("Steel Golem#%d", Steel_order[t - 1]).c_str());
      Rune_timer = H().clock() + 2000;
    }
    return true;
  }
  return false;
}

bool khosanilab_use(const char* name) {
  if (pylon_use(name) || flipper_use(name) || rune_use(name)) return true;
  return false;
}

// --- KhosaniLab2 -------------------------------------------------------------------------------------
uint8_t Pyrul_music = 0, Lab2_music = 0;
void khosanilab2_init() {
  H().set_level_music("KhosaniLab");
  H().set_game_stage(17);
  H().door_set("BOSS-GateA-Door01", true);
  H().door_set("BOSS-GateB-Door01", false);
  Pyrul_music = Lab2_music = 0;
}
void pyrul_gone() { H().character_show("Pyrul", false); }
void khosanilab2_frame() {
  int L = L_KHOSANI_LAB2;
  if (!H().flag(L, "pyrulstart") && H().leader_near("$salstart", 4.0f)) {
    H().set_flag(L, "pyrulstart", true);
    H().door_set("BOSS-GateA-Door01", false);
    H().cutscene("Pyrul-Intro", nullptr);
    return;
  }
  if (H().flag(L, "pyrulstart") && !Pyrul_music) {
    Pyrul_music = 1;
    H().play_music("Pyrul", true);
  }
  if (H().character_dead("Pyrul") && first_time(L, "trapped_pyrul")) {
    H().character_kill("Pyrul");
    H().cutscene("Pyrul-Death", pyrul_gone);
    H().door_set("BOSS-GateB-Door01", true);
  }
  if (H().flag(L, "trapped_pyrul") && !Lab2_music) {
    Lab2_music = 1;
    H().play_music("KhosaniLab", true);
  }
}

// --- OdrinExt ------------------------------------------------------------------------------------------
// The abbey's floor moves: input locked, 500 ms, fade out over 1000 ms, the
// party moved, fade in over 1000 ms.
const char* Fade_target = nullptr;
int Fade_step = 0;
int32_t Fade_at = 0;

void odrinext_init() {
  H().set_level_music("OdrinExt");
  H().set_game_stage(2);
  if (H().flag(L_THALEM1D, "thalem1d_mq_talked_to_captain")) H().character_show("Sister Qelah", false);
  Fade_step = 0;
  Fade_target = nullptr;
}
void rivadara_met() {
  H().topic_available("Brother Ovaard", "\"Do you have a key to the crypt?\"", true);
  H().character_talk("Abbot Laurent");
}
void odrin_intro_done() { H().cutscene("OdrinIntro", nullptr); }
void fade_step() {
  if (!Fade_step || H().clock() < Fade_at) return;
  if (Fade_step == 1) {
    H().fade(true, 1000);
    Fade_step = 2;
    Fade_at = H().clock() + 1000;
  } else if (Fade_step == 2) {
    for (const char* hero : {"Ruvizo", "Zazuru", "Rivud", "Rivadara"})
      if (H().party_has(hero)) H().hero_place(hero, Fade_target);
    H().camera_mode(2);
    H().fade(false, 1000);
    Fade_step = 3;
    Fade_at = H().clock() + 1000;
  } else {
    H().input_lock(false);
    Fade_step = 0;
  }
}
void odrinext_frame() {
  int L = L_ODRIN_EXT;
  fade_step();
  if (!H().flag(L, "odrin_ext_flag_sweep") && H().leader_near("$npc036", 3.0f)) {
    H().set_flag(L, "odrin_ext_flag_sweep", true);
    H().character_order("Aspirant#broom1", 15, 2);
    H().character_order("Aspirant#broom2", 15, 2);
  }
  if (!H().flag(L, "odrin_ext_flag_chick_cam") && H().leader_near("$npc058", 3.0f)) {
    H().set_flag(L, "odrin_ext_flag_chick_cam", true);
    H().camera_at("$camera007");
    H().character_order("Aspirant#chick1", 15, 2);
    H().character_order("Aspirant#chick2", 15, 2);
  }
  if (!H().flag(L, "odrin_ext_flag_wood_cam") && H().leader_near("$npc042", 3.0f)) {
    H().set_flag(L, "odrin_ext_flag_wood_cam", true);
    H().camera_at("$camera008");
    H().character_order("Aspirant#wood1", 15, 2);
    H().character_order("Aspirant#wood2", 15, 2);
  }
  if (intro(L, "odrin_ext_played_intro", "Nar-Odrin", odrin_intro_done)) return;
  if (!H().flag(L, "odrin_ext_found_rivadara") && !H().in_cutscene() &&
      H().character_leader_distance("Abbot Laurent") <= 4.0f) {
    H().party_add("Rivadara");
    H().set_flag(L, "odrin_ext_found_rivadara", true);
    H().cutscene("RVDA-Intro", rivadara_met);
  }
}
void odrinext_event(const ScriptEvent* e) {
  const char* to = event_is(e, "GoUp") ? "$goup" : event_is(e, "GoDown") ? "$godown" : event_is(e, "GoHome") ? "$gohome" : nullptr;
  if (!to || Fade_step) return;
  Fade_target = to;
  H().input_lock(true);
  Fade_step = 1;
  Fade_at = H().clock() + 500;
}

// --- OdrinExt02 (its exit is thalem3d's too) -------------------------------------------------------
int32_t Deviziv_timer = 0;
uint8_t Deviziv_music = 0;
void odrinext02_init() {
  int L = L_ODRIN_EXT02;
  H().snow(true);
  H().set_level_music("OdrinExt2");
  Deviziv_music = 0;
  if (!variant("Odrinext02_v2")) {
    H().set_game_stage(15);
    if (!H().flag(L_KHOSANI_STRNG, "open_tessam")) H().character_show("Tessam", false);
    return;
  }
  H().set_game_stage(16);
  if (H().flag(L, "trapped_deviziv")) H().character_show("Deviziv", false);
  else H().set_flag(L, "deviziv_intro", false);
  Deviziv_timer = H().clock() + 20000;
}
void deviziv_released() {
  H().character_resume("Deviziv");
  Deviziv_timer = H().clock() + 30000;
}
void deviziv_gone() {
  H().character_show("Deviziv", false);
  H().play_music("OdrinExt2", true);
}
void odrinext02_frame() {
  int L = L_ODRIN_EXT02;
  bool trapped = H().flag(L, "trapped_deviziv");
  if (variant("Odrinext02_v2") && !trapped) {
    if (!H().flag(L, "deviziv_intro") && H().character_leader_distance("Deviziv") <= 20.0f) {
      H().set_flag(L, "deviziv_intro", true);
      H().cutscene("Deviziv-Intro", deviziv_released);
      return;
    }
    if (H().flag(L, "deviziv_intro")) {
      if (!Deviziv_music) {
        Deviziv_music = 1;
        H().play_music("Deviziv", true);
      }
      bool ring = H().item_count("Ring of Light") > 0;
      if (!ring && H().clock() >= Deviziv_timer) {
        H().hero_say("Rivadara", "We're not hurting him at all!", 5.0f);
        Deviziv_timer = H().clock() + 25000;
      }
      if (ring && H().character_dead("Deviziv")) {
        H().character_kill("Deviziv");
        H().set_flag(L, "trapped_deviziv", true);
        H().cutscene("Deviziv-Death", deviziv_gone);
      }
    }
  }
  if (H().flag(L, "found_tessam") && !H().in_cutscene()) intro(L, "rvda_gl", "RVDA-GreatLibrary");
}

// --- Catacombs -----------------------------------------------------------------------------------------
uint8_t Carados_music = 0, Catacombs_music = 0;
const char* const Kings[] = {"cry_kinga", "cry_kingb", "cry_kingc", "cry_kingd", "cry_kinge", "cry_kingf",
                             "cry_kingg", "cry_kingh", "cry_kingi", "cry_kingk", "cry_kingl", "cry_kingm"};

void ball_placed(int ball) {
  std::string mesh = fmt("Puzzle-Ball%02d", ball);
  H().two_stage_set(mesh.c_str(), true);
  H().effect_place("CatacombsEffect.vfx", mesh.c_str());
}
void catacombs_init() {
  int L = L_CATACOMBS;
  H().set_level_music("Catacombs");
  H().set_game_stage(3);
  Carados_music = Catacombs_music = 0;
  if (H().flag(L, "ball1_used")) ball_placed(1);
  if (H().flag(L, "ball2_used")) ball_placed(2);
  if (H().flag(L, "maindoor_open")) H().two_stage_set("Puzzle-SkullDoor01", true);
  if (H().flag(L, "main_crypt_open")) H().two_stage_set("cry_tombcen", true);
  if (H().flag(L, "catacombs_boss_dead")) H().character_show("Carados", false);
}
void carados_released() {
  for (const char* who : {"Carados", "Bone Mage#Guard1", "Bone Mage#Guard2"}) H().character_resume(who);
}
void catacombs_frame() {
  int L = L_CATACOMBS;
  if (intro(L, "catacombs_flag_intro_played", "cryptintro")) return;
  if (!remark(L, "catacombs_flag_statues_comment", "$npc009", 4.0f, "Rivadara",
              "The first kings of the thirteen clans are buried here."))
    if (!remark(L, "catacombs_flag_bones_comment", "$npc010", 4.0f, "Rivadara",
                "We're inside the bones of a three-headed serpent, Vadagar's last incarnation.", 6.0f))
      remark(L, "CATACOMBS_FLAG_WAY_COMMENT", "$npc011", 5.0f, nullptr, nullptr);
  if (!H().flag(L, "maindoor_open") && H().flag(L, "ball1_used") && H().flag(L, "ball2_used") &&
      H().leader_near("$doortrigger", 10.0f)) {
    H().two_stage_set("Puzzle-SkullDoor01", true);
    H().set_flag(L, "maindoor_open", true);
    if (first_time(L, "CATACOMBS_FLAG_ODRIN_COMMENT"))
      H().hero_say("Rivadara", "Here it is! The tomb of the goddess Odrin!", 6.0f);
  }
  if (H().flag(L, "maindoor_open") && !H().flag(L, "carados_cutscene") && H().leader_near("$ctrigger", 4.0f)) {
    H().set_flag(L, "carados_cutscene", true);
    H().cutscene("Carados-Intro", carados_released);
    return;
  }
  bool dead = H().flag(L, "catacombs_boss_dead");
  if (H().flag(L, "carados_cutscene") && !dead && !Carados_music) {
    Carados_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L, "carados_cutscene") && !dead && H().character_dead("Carados")) {
    H().set_flag(L, "catacombs_boss_dead", true);
    dead = true;
  }
  if (dead && !H().flag(L, "got_ring_of_light") && H().item_count("Ring of Light") > 0)
    ring_reward(L, "got_ring_of_light", nullptr, "Ruvizo acquired Summon Mist Elemental!");
  if (dead && !Catacombs_music) {
    Catacombs_music = 1;
    H().play_music("Catacombs", true);
  }
}
bool catacombs_use(const char* name) {
  int L = L_CATACOMBS;
  for (int b = 1; b <= 2; b++) {
    if (!same_name(name, fmt("Puzzle-Ball%02d", b).c_str()) && !same_name(name, fmt("Puzzle-Pedestal%02d", b).c_str()))
      continue;
    if (first_time(L, fmt("ball%d_used", b).c_str())) ball_placed(b);
    return false;
  }
  if (same_name(name, "cry_tombcen")) {
    H().set_flag(L, "main_crypt_open", true);
    return false;
  }
  bool king = false;
  for (const char* k : Kings) king = king || same_name(name, k);
  if (!king) return false;
  // The king's tomb is open from now on (the level keeps it open on reload).
  H().two_stage_set(name, true);
  bool e = same_name(name, "cry_kinge"), f = same_name(name, "cry_kingf");
  if (!e && !f) return false;
  if (!H().two_stage_open(e ? "cry_kingf" : "cry_kinge") || H().flag(L, "main_crypt_open")) return false;
  bool others = false;
  for (const char* k : Kings)
    if (!same_name(k, "cry_kinge") && !same_name(k, "cry_kingf")) others = others || H().two_stage_open(k);
  if (!others) H().give_xp(2000);
  H().two_stage_set("cry_tombcen", true);
  H().set_flag(L, "main_crypt_open", true);
  return false;
}
}  // namespace

void khosani_statics_reset() {
  Rune_timer = 0;
  Sal_music = Lab_music = 0;
  Pyrul_music = Lab2_music = 0;
  Fade_step = 0;
  Fade_target = nullptr;
  Deviziv_timer = 0;
  Deviziv_music = 0;
  Carados_music = Catacombs_music = 0;
}

void thalem3d_exit_shared() { H().snow(false); }

void khosani_scripts_install() {
  LevelHook E = level_script_empty_hook;
  LevelUseHook F = level_script_false_hook;
  LevelEventHook EE = level_script_empty_event;
  level_script_set_hooks(L_KHOSANI_STRNG, khosanistrng_init, khosanistrng_frame, E, F, nullptr, khosanistrng_event);
  level_script_set_hooks(L_KHOSANI_LAB, khosanilab_init, khosanilab_frame, khosanilab_exit, khosanilab_use, nullptr,
                         EE);
  level_script_set_hooks(L_KHOSANI_LAB2, khosanilab2_init, khosanilab2_frame, E, F, nullptr, EE);
  level_script_set_hooks(L_ODRIN_EXT, odrinext_init, odrinext_frame, E, F, F, odrinext_event);
  level_script_set_hooks(L_ODRIN_EXT02, odrinext02_init, odrinext02_frame, thalem3d_exit_shared, F, nullptr, EE);
  level_script_set_hooks(L_CATACOMBS, catacombs_init, catacombs_frame, E, catacombs_use, nullptr, EE);
}

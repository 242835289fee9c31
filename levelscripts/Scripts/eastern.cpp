// The eastern lands of the third act: Eleh, Vozido and its caverns, the
// shrine of Shenwu and the Jade Temple.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "levelscripts/Scripts/story_common.h"

namespace {

// A fade move between floors: input locked, a pause, fade out, the party
// moved to the navpoint, a pause, fade in, input back.
struct FadeMove {
  const char* target = nullptr;
  int step = 0;
  int32_t at = 0;
  int settle_ms = 0;  // the pause after the move
  void (*moved)() = nullptr;
  void start(const char* to, int settle, void (*then)() = nullptr) {
    if (step) return;
    target = to;
    settle_ms = settle;
    moved = then;
    H().input_lock(true);
    step = 1;
    at = H().clock() + 500;
  }
  void frame() {
    if (!step || H().clock() < at) return;
    switch (step) {
      case 1:
        H().fade(true, 1000);
        at = H().clock() + 1000;
        break;
      case 2:
        if (target)
          for (const char* hero : {"Ruvizo", "Zazuru", "Rivud", "Rivadara"})
            if (H().party_has(hero)) H().hero_place(hero, target);
        if (moved) moved();
        H().camera_mode(2);
        at = H().clock() + settle_ms;
        break;
      case 3:
        H().fade(false, 1000);
        at = H().clock() + 1000;
        break;
      default:
        H().input_lock(false);
        step = 0;
        return;
    }
    step++;
  }
};

// --- eleh --------------------------------------------------------------------------------------------
FadeMove Eleh_fade;
bool Ruvizo_join_pending = false;

void eleh_init() {
  H().set_level_music("eleh");
  H().set_game_stage(9);
  if (H().level_started_directly()) {
    H().hero_strip("Ruvizo", "");
    for (const char* hero : {"Ruvizo", "Zazuru", "Rivadara"}) H().party_remove(hero);
  }
  if (H().flag(L_ELEH, "found_ruvizo")) {
    H().exits_enable("worldmap1", nullptr, true);
  } else {
    H().quest_open("Find Ruvizo");
    H().exits_enable("worldmap1", nullptr, false);
    H().door_set("Portcullis", true);
  }
}
void eleh_frame() {
  Eleh_fade.frame();
  if (first_time(L_ELEH, "eleh_intro")) {
    H().character_equip("Rivud", "Springsteel Leather");
    H().give_item("Healing Potion");
    H().give_item("Mana Potion");
    H().cutscene("Nar-Eleh-Intro", nullptr);
    return;
  }
  if (H().flag(L_ELEH, "found_ruvizo") && H().leader_near("$porttrig", 20.0f) && first_time(L_TEST, "extra_4"))
    H().door_set("Portcullis", false);
  if (Ruvizo_join_pending && !H().ui_paused()) {
    Ruvizo_join_pending = false;
    H().character_show("Ruvizo#$npc", false);
    H().party_add("Ruvizo");
    H().set_flag(L_ELEH, "found_ruvizo", true);
    H().exits_enable("worldmap1", nullptr, true);
    H().character_resume("Slave Driver#$npc057");
    H().hero_place("Ruvizo", "$npc094");
  }
}
void eleh_event(const ScriptEvent* e) {
  if (event_is(e, "JoinRuvizo")) Ruvizo_join_pending = true;
  else if (event_is(e, "TopFloor")) Eleh_fade.start("$topfloor", 500);
  else if (event_is(e, "GroundFloor")) Eleh_fade.start("$groundfloor", 500);
  else if (event_is(e, "BottomFloor")) Eleh_fade.start("$bottomfloor", 500);
}
bool eleh_use(const char* name) {
  if (same_name(name, "worldmap1") && !H().flag(L_ELEH, "found_ruvizo"))
    H().hero_say("Rivud", "I must find Ruvizo. I won't leave Eleh without him.", 5.0f);
  return false;
}

// --- Vozido ------------------------------------------------------------------------------------------
bool Rivadara_join_pending = false;
void vozido_init() {
  H().set_level_music("vozido");
  H().set_game_stage(10);
  if (!H().flag(L_VOZIDO2, "got_ring_of_wind")) H().party_remove("Zazuru");
  if (H().flag(L_VOZIDO, "found_rivadara2")) H().character_show("Rivadara#npc", false);
  else H().party_remove("Rivadara");
  H().exits_enable("vozidocaverns", nullptr, H().flag(L_VOZIDO, "got_draught"));
}
void vozido_frame() {
  if (intro(L_VOZIDO, "vozido_intro", "Nar-Vozido")) return;
  if (Rivadara_join_pending && !H().ui_paused()) {
    Rivadara_join_pending = false;
    H().character_show("Rivadara#npc", false);
    H().party_add("Rivadara");
    H().set_flag(L_VOZIDO, "found_rivadara2", true);
    H().set_entry(3);
    H().hero_place("Rivadara", "$npc003");
  }
}
bool vozido_use(const char* name) {
  if (same_name(name, "vozidocaverns") && !H().flag(L_VOZIDO, "got_draught"))
    H().hero_say("Ruvizo", "I'm not ready to go down there yet.", 5.0f);
  return false;
}
void vozido_event(const ScriptEvent* e) {
  if (event_is(e, "AddRivadara")) {
    Rivadara_join_pending = true;
  } else if (event_is(e, "CheckItems")) {
    bool all = true;
    for (const char* i : {"Onyx Carp", "Gulan's Knife", "Stick of Charcoal", "Minhe's Bowl"})
      all = all && H().item_count(i) > 0;
    H().topic_available("Sizhe", "\"I brought the things you asked for.\"", all);
  } else if (event_is(e, "GotDraught")) {
    H().set_flag(L_VOZIDO, "got_draught", true);
    H().exits_enable("vozidocaverns", nullptr, true);
  }
}

// --- Vozido2, the battle ---------------------------------------------------------------------------
bool Zazuru_join_pending = false;
const char* const Jade[3] = {"Jade Temple Soldier#LT", "Jade Temple Soldier#2", "Jade Temple Soldier#3"};
struct Fight {
  const char* flag;
  std::initializer_list<const char*> enemies;
  int orders[3];
};
const Fight Fights[4] = {
    {"vozido2_fight1_won",
     {"Kasdrian Soldier#1", "Kasdrian Soldier#2", "Kasdrian Soldier#3", "Kasdrian Soldier#4"},
     {2, 1, 1}},
    {"vozido2_fight2_won",
     {"Kasdrian Samurai#1", "Kasdrian Soldier#5", "Kasdrian Archer#1", "Kasdrian Soldier#6"},
     {3, 2, 2}},
    {"vozido2_fight3_won",
     {"Kasdrian Soldier#$npc035", "Kasdrian Soldier#$npc036", "Kasdrian Soldier#$npc037", "Kasdrian Soldier#$npc038"},
     {4, 3, 3}},
    {"vozido2_fight4_won", {"Kasdrian Soldier#$npc039", "Kasdrian Soldier#$npc040", "Kasdrian Soldier#$npc041"},
     {5, 4, 4}},
};

void vozido2_init() {
  H().set_level_music("vozido");
  if (!variant("vozido2")) {
    H().set_game_stage(13);
    H().exits_enable("vozidocaverns", nullptr, true);
    if (H().flag(L_VOZIDO, "die_haidi_die")) H().character_order("Haidi", 15, 1);
    return;
  }
  H().set_flag(L_VOZIDO2, "vozido2_charge", true);
  H().set_game_stage(12);
  if (H().game_stage() >= 13) {
    H().character_show("Zazuru#npc", false);
    H().exits_enable("worldmap1", nullptr, true);
  } else {
    H().party_remove("Zazuru");
    H().exits_enable("worldmap1", nullptr, false);
    H().exits_enable("vozidocaverns", nullptr, false);
  }
}
void pijian_done() {
  H().character_show("Pijian", false);
  H().character_order("Zazuru#npc", 15, 1);
  H().character_order("Aoqi#npc", 15, 1);
  H().play_music("vozido", true);
  H().cutscene("Truth-About-Aoqi", nullptr);
}
void vozido2_frame() {
  if (!variant("vozido2")) return;
  int L = L_VOZIDO2;
  if (!H().flag(L, "vozido2_force_recruit") && !H().in_conversation() &&
      H().character_near_navpoint(Jade[0], "$npc016", 4.0f)) {
    H().set_flag(L, "vozido2_force_recruit", true);
    H().character_talk("Jade Temple Priest#leader");
  }
  if (!H().flag(L, "vozido2_force_alert") && H().leader_near("$npc004", 4.0f)) {
    H().set_flag(L, "vozido2_force_alert", true);
    H().character_talk("Jade Temple Soldier#alert");
  }
  for (const Fight& f : Fights) {
    if (H().flag(L, f.flag)) continue;
    bool won = true;
    for (const char* n : f.enemies) won = won && H().character_dead(n);
    if (won) {
      H().set_flag(L, f.flag, true);
      for (int i = 0; i < 3; i++) H().character_order(Jade[i], 15, f.orders[i]);
    }
    break;  // the fights come one after another
  }
  if (!H().flag(L, "vozido2_pijian_intro") && H().character_leader_distance("Pijian") <= 15.0f) {
    H().set_flag(L, "vozido2_pijian_intro", true);
    H().cutscene("PIJN-Intro", nullptr);
    H().play_music("Boss", true);
  }
  if (H().flag(L, "vozido2_pijian_intro") && !H().flag(L, "vozido2_pijian") && H().character_dead("Pijian")) {
    H().set_flag(L, "vozido2_pijian", true);
    H().characters_resurrect("Pijian");
    H().cutscene("PIJN-Death", pijian_done);
  }
  if (!H().flag(L, "vozido2_reinforce") && all_dead({Jade[0], Jade[1], Jade[2]})) {
    H().set_flag(L, "vozido2_reinforce", true);
    for (int i = 4; i <= 6; i++) H().character_order(fmt("Jade Temple Soldier#%d", i).c_str(), 15, 1);
  }
  if (Zazuru_join_pending && !H().ui_paused()) {
    Zazuru_join_pending = false;
    H().character_show("Zazuru#npc", false);
    H().party_add("Zazuru");
    H().hero_place("Zazuru", "$npc093");
  }
}
void vozido2_event(const ScriptEvent* e) {
  int L = L_VOZIDO2;
  if (event_is(e, "FollowMe")) {
    H().set_flag(L, "vozido2_force_alert", true);
    H().character_order("Jade Temple Soldier#alert", 15, 1);
  } else if (event_is(e, "Charge")) {
    H().set_flag(L, "vozido2_charge", false);
  } else if (event_is(e, "ZazuruJoin")) {
    H().set_flag(L, "got_ring_of_wind", true);
    H().hud_text("Ruvizo acquired Summon Celestial Samurai!");
    H().exits_enable("worldmap1", nullptr, true);
    Zazuru_join_pending = true;
  } else if (event_is(e, "CheckStatue")) {
    bool whole = true;
    for (const char* part : {"return_head", "return_arm1", "return_arm2", "return_leg1", "return_leg2"})
      whole = whole && H().flag(L_VOZIDO, part);
    H().topic_available("Caishi the Sculptor", "\"Your statue?\"", !whole);
    H().topic_available("Caishi the Sculptor", "\"How is the statue coming?\"", whole);
  }
}
bool vozido2_use(const char* name) {
  if (same_name(name, "vozidocaverns")) H().hero_say("Ruvizo", "We're not going back in there. Not yet.", 5.0f);
  if (same_name(name, "worldmap1") && !H().flag(L_VOZIDO2, "got_ring_of_wind"))
    H().hero_say("Ruvizo", "No boats are leaving Vozido now. We'll have to wait.", 5.0f);
  return false;
}

// --- VozidoCaverns ------------------------------------------------------------------------------------
constexpr float TRAP_REACH = 3.0f;
int32_t Spear1_timer = 0, Spear2_timer = 0, Poison_timer = 0;
FadeMove Maze_fade;
bool Maze_in = false;

void caverns_exits() {
  int s = H().game_stage();
  H().exits_enable("vozido2", nullptr, false);
  H().exits_enable("vozido", nullptr, s < 12);
  if (s >= 13) H().exits_enable("vozido2", "vozido2", true);  // only the "vozido2_v2" one
  else if (s == 12) H().exits_enable("vozido2", "vozido2_v2", true);
}
void vozidocaverns_init() {
  H().set_level_music("VozidoCaverns");
  H().set_game_stage(11);
  if (H().game_stage() < 13) H().party_remove("Zazuru");
  caverns_exits();
  Spear1_timer = Spear2_timer = Poison_timer = 0;
  H().character_show("Balis the Demilich#2", false);
  for (const char* fx : {"wc-trap1.vfx", "wc-trap2.vfx", "wc-ptrap.vfx"}) H().effect_show(fx, false);
  Maze_in = false;
}
// A trap fires at most once a timer, however many heroes stand in it.
bool trap_ready(int32_t& timer, int ms) {
  if (timer && H().clock() < timer) return false;
  timer = H().clock() + ms;
  return true;
}
void spear_trap(const char* const* points, int n, int32_t& timer, const char* vfx, int hp) {
  if (!trap_ready(timer, 6000)) return;
  H().effect_show(vfx, true);
  H().play_sound("vozido_caverns_speartrap_up.wav");
  for (int i = 0; i < n; i++) H().heroes_hurt_near(points[i], TRAP_REACH, hp, 13, 1.0f);
}
const char* const Spike1[3] = {"$spike1a", "$spike1b", "$spike1c"};
const char* const Spike2[3] = {"$spike2a", "$spike2b", "$spike2c"};
void maze_swapped() {
  H().character_show(Maze_in ? "Balis the Demilich#1" : "Balis the Demilich#2", false);
  H().character_show(Maze_in ? "Balis the Demilich#2" : "Balis the Demilich#1", true);
}
void vozidocaverns_frame() {
  int L = L_VOZIDO_CAVERNS;
  Maze_fade.frame();
  bool near1 = false;
  for (const char* p : Spike1) near1 = near1 || H().any_hero_near(p, TRAP_REACH);
  if (near1) spear_trap(Spike1, 3, Spear1_timer, "wc-trap1.vfx", 140);
  if (H().any_hero_near("$poisontrap", TRAP_REACH) && trap_ready(Poison_timer, 2000)) {
    H().effect_show("wc-ptrap.vfx", true);
    H().play_sound("vozido_caverns_poisonmist.wav");
    H().heroes_hurt_near("$poisontrap", TRAP_REACH, 15, 3, 0.5f);
  }
  if (H().item_count("Ring of Water") > 0 && first_time(L, "wc_picked_up_ring"))
    H().hud_text("Ruvizo acquired Summon Blue Imp!");
  if (!H().flag(L, "got_ring_of_water") && H().leader_near("$healpoint", 4.0f)) {
    if (!H().flag(L, "wc_nali_used")) {
      H().hero_say("Ruvizo", "Not yet! I must find the Tail of the Rokhul.", 5.0f);
    } else if (H().item_count("Ring of Water") == 0) {
      H().hero_say("Ruvizo", "The Ring of Water must be around here somewhere.", 5.0f);
    } else {
      H().hero_restore_gear("Ruvizo");
      H().set_flag(L, "got_ring_of_water", true);
      H().cutscene("Hand-Restoration", nullptr);
      caverns_exits();
    }
  }
  remark(L, "wc_near_plants", "$nearplants", 6.0f, "Rivadara", "These must be the plants Sizhe told us about.");
}
bool vozidocaverns_use(const char* name) {
  if (name && strncasecmp(name, "Plant01-", 8) == 0) {
    H().heal_party();
    H().set_flag(L_VOZIDO_CAVERNS, "wc_nali_used", true);
    return true;
  }
  if (same_name(name, "SkeletonOrrimund")) {
    H().character_talk("Ngaru's Ghost");
    return true;
  }
  if (same_name(name, "Switch-01") || same_name(name, "Switch-02")) H().door_set("StoreRoomDoor", true);
  if (same_name(name, "Switch-04")) H().door_set("Door01", true);
  if (same_name(name, "Switch-03")) spear_trap(Spike2, 3, Spear2_timer, "wc-trap2.vfx", 150);
  return false;
}
void vozidocaverns_event(const ScriptEvent* e) {
  if (event_is(e, "MazeStart") || event_is(e, "MazeEnd")) {
    Maze_in = event_is(e, "MazeStart");
    Maze_fade.start(Maze_in ? "$mazestart" : "$mazeend", 500, maze_swapped);
  } else if (event_is(e, "LichHostile")) {
    H().character_order("Azha the Archlich", 15, 1);
  }
}

// --- Shenwu ------------------------------------------------------------------------------------------
uint8_t Shenwu_boss_music = 0, Shenwu_level_music = 0;
const char* const Heroes[4] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};
void shenwu_init() {
  H().set_level_music("Shenwu");
  H().set_game_stage(13);
  if (H().flag(L_SHENWU, "phoenix_serpent")) {
    H().character_show("Dadevoz Ivido#1", false);
    H().character_show("Phoenix Rider#1", false);
  }
  if (H().flag(L_SHENWU, "got_ring_of_forest") && H().flag(L_SHENWU, "shenwu_flag_give_sword"))
    H().character_show("Guardian of the Shrine", false);
  if (H().flag(L_VOZIDO_CAVERNS, "wc_piaobo_human")) H().character_show("Piaobo#oni", false);
  Shenwu_boss_music = Shenwu_level_music = 0;
}
void riders_released() {
  H().character_resume("Dadevoz Ivido#1");
  H().character_resume("Phoenix Rider#1");
}
void shenwu_frame() {
  int L = L_SHENWU;
  if (intro(L, "li_intro", "Shenwu-Narrative")) return;
  // One remark a frame.
  remark(L, "shenwu_flag_lair_comment", "$lair", 3.0f, nullptr, nullptr) ||
      (!H().flag(L, "shrine_talk") &&
       remark(L, "shenwu_flag_shrine_comment", "$shrine", 3.0f, "Ruvizo", "The shrine of the forest! We made it!")) ||
      remark(L, "shenwu_flag_bones_comment", "$bones", 3.0f, "Rivud", "By the sword of Zhorek, look at those bones!") ||
      remark(L, "shenwu_flag_grave_comment", "$grave", 3.0f, "Ruvizo", "The names are faded from the stones.") ||
      remark(L, "shenwu_flag_noise_comment", "$noise", 3.0f, "Rivadara", "What was that? Did you hear something?") ||
      remark(L, "shenwu_flag_pit_comment", "$pit", 3.0f, "Ruvizo", "Looks like a pit trap. I see spikes at the bottom!") ||
      remark(L, "shenwu_flag_stone_comment", "$stone", 3.0f, "Rivadara", "What is this place? It's so cold here...") ||
      remark(L, "shenwu_flag_village_comment", "$village", 3.0f, "Rivud", "We found the old village, but where's the shrine?");
  // The waves.
  if (H().flag(L, "shenwu_flag_wave1") && !H().flag(L, "shenwu_flag_wave2") && H().character_dead("Kasdrian Soldier#w1")) {
    H().set_flag(L, "shenwu_flag_wave2", true);
    for (const char* n : {"Kasdrian Soldier#w2a", "Kasdrian Soldier#w2b", "Kasdrian Soldier#w2c"}) H().character_show(n, true);
    H().hero_say("Ruvizo", "I see three more soldiers coming!", 5.0f);
  } else if (H().flag(L, "shenwu_flag_wave2") && !H().flag(L, "shenwu_flag_wave3") &&
             all_dead({"Kasdrian Soldier#w2a", "Kasdrian Soldier#w2b", "Kasdrian Soldier#w2c"})) {
    H().set_flag(L, "shenwu_flag_wave3", true);
    for (const char* n : {"Kasdrian Samurai#w3a", "Kasdrian Samurai#w3b", "Kasdrian Mage#w3"}) H().character_show(n, true);
    H().hero_say("Rivadara", "Those are scouts. The army won't be far behind!", 5.0f);
  } else if (H().flag(L, "shenwu_flag_wave3") && !H().flag(L, "shenwu_flag_wave4") &&
             all_dead({"Kasdrian Samurai#w3b", "Kasdrian Mage#w3"})) {
    H().set_flag(L, "shenwu_flag_wave4", true);
    for (const char* n : {"Kasdrian Greater Mage#w4", "Kasdrian Soldier#w4a", "Kasdrian Soldier#w4b", "General Wentao#w4"})
      H().character_show(n, true);
    H().hero_say("Rivud", "Here comes Wentao and his soldiers!", 5.0f);
  } else if (H().flag(L, "shenwu_flag_wave4") && !H().flag(L, "shenwu_flag_finished_quest") &&
             all_dead({"Kasdrian Greater Mage#w4", "Kasdrian Soldier#w4a", "Kasdrian Soldier#w4b", "General Wentao#w4"})) {
    H().set_flag(L, "shenwu_flag_finished_quest", true);
    H().character_order("Guardian of the Shrine", 15, 2);
    H().topic_available("Guardian of the Shrine", "\"Wentao has been defeated.\"", true);
    H().hero_say("Ruvizo", "That must be the last of them.", 5.0f);
  }
  // Poison: once caught, every hero carries it until cured.
  for (int i = 1; i <= 5 && !H().flag(L, "poisoned"); i++)
    if (H().any_hero_near(fmt("$poison%d", i).c_str(), 3.0f)) H().set_flag(L, "poisoned", true);
  if (H().flag(L, "poisoned"))
    for (const char* hero : Heroes)
      if (H().party_has(hero) && !H().hero_has_status(hero, 11)) H().status_effect(hero, 11, -24.0f);
  // The riders.
  if (!H().flag(L, "phoenix_serpent") && H().leader_near("$sptrigger", 5.0f)) {
    H().set_flag(L, "phoenix_serpent", true);
    H().cutscene("SERP-PHNX-Intro", riders_released);
    return;
  }
  bool both = H().flag(L, "phoenix_dead") && H().flag(L, "serpent_dead");
  if (H().flag(L, "phoenix_serpent") && !both && !Shenwu_boss_music) {
    Shenwu_boss_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L, "phoenix_serpent") && H().character_dead("Phoenix Rider#1") && first_time(L, "phoenix_dead"))
    H().character_order("Phoenix Rider#1", 15, 2);
  if (H().flag(L, "phoenix_serpent") && H().character_dead("Dadevoz Ivido#1") && first_time(L, "serpent_dead"))
    H().character_order("Dadevoz Ivido#1", 15, 2);
  if (H().flag(L, "phoenix_dead") && H().flag(L, "serpent_dead") && !Shenwu_level_music) {
    Shenwu_level_music = 1;
    H().play_music("Shenwu", true);
  }
  if (!H().in_conversation() && !H().flag(L, "soldier_talk") &&
      H().character_leader_distance("Wounded Soldier") <= 8.0f) {
    H().set_flag(L, "soldier_talk", true);
    H().character_talk("Wounded Soldier");
  }
  if (!H().in_conversation() && !H().flag(L, "shrine_talk") &&
      H().character_leader_distance("Guardian of the Shrine") <= 5.0f) {
    H().set_flag(L, "shrine_talk", true);
    H().character_talk("Guardian of the Shrine");
  }
  if (!H().flag(L, "got_ring_of_forest") && H().character_dead("Guardian of the Shrine") &&
      H().item_count("Ring of Forest") > 0) {
    H().set_flag(L, "shenwu_flag_give_sword", true);
    H().exits_enable("worldmap1", nullptr, true);
    ring_reward(L, "got_ring_of_forest", nullptr, "Ruvizo acquired Summon Poison Elemental!");
  }
}
void shenwu_event(const ScriptEvent* e) {
  int L = L_SHENWU;
  if (event_is(e, "EnemyAttack")) {
    H().exits_enable("worldmap1", nullptr, false);
    H().set_flag(L, "shenwu_flag_wave1", true);
    H().character_show("Kasdrian Soldier#w1", true);
    H().character_order("Guardian of the Shrine", 15, 1);
  } else if (event_is(e, "CurePoison")) {
    H().set_flag(L, "poisoned", false);
    H().cure_status(11);
  } else if (event_is(e, "GotRing")) {
    H().exits_enable("worldmap1", nullptr, true);
    H().hud_text("Ruvizo acquired Summon Poison Elemental!");
  } else if (event_is(e, "OniHostile")) {
    H().character_order("Piaobo#Oni", 15, 1);
  }
}
bool shenwu_use(const char* name) {
  if (same_name(name, "worldmap1") && H().flag(L_SHENWU, "shenwu_flag_wave1") &&
      !H().flag(L_SHENWU, "shenwu_flag_finished_quest"))
    H().hero_say("Ruvizo", "We need to defend the shrine!", 5.0f);
  return false;
}

// --- jadetemple ------------------------------------------------------------------------------------
bool End_pending = false;
int32_t Spirit_timer = 0;
int Spirit_step = 0;
uint8_t Jade_boss_music = 0, Jade_level_music = 0;
const char* const Scales[4] = {"Green Dragon Scale", "Red Dragon Scale", "Gray Dragon Scale", "Blue Dragon Scale"};

void jadetemple_init() {
  H().set_level_music("jadetemple");
  Jade_boss_music = Jade_level_music = 0;
  if (variant("jadetemple_v2")) {
    Spirit_timer = 0;
    Spirit_step = 0;
    return;
  }
  H().set_game_stage(14);
  if (H().flag(L_JADETEMPLE, "calvek_dead")) {
    H().character_show("Calvek", false);
    H().character_show("Calvek Oni", false);
  }
  if (H().flag(L_JADETEMPLE, "ghost_dead")) H().character_show("Ghost Rider", false);
  if (H().flag(L_JADETEMPLE, "tiger_dead")) H().character_show("Tiger Rider", false);
}
void tg_released() {
  H().character_resume("Tiger Rider");
  H().character_resume("Ghost Rider");
}
void calvek_released() { H().character_resume("Calvek"); }
void calvek_transformed() {
  H().character_show("Calvek", false);
  H().character_order("Calvek Oni", 15, 1);
}
const char* const Three[3] = {"Zazuru", "Rivud", "Rivadara"};
void calvek_died() {
  H().character_show("Calvek Oni", false);
  ring_reward(L_JADETEMPLE, "got_ring_of_jade", "Ring of Jade", "Ruvizo acquired Summon Jade Golem!");
  for (const char* h : Three) H().party_remove(h);
  std::vector<std::string> sent = {"Qifeng", "Zazuru#npc", "Rivud#npc", "Rivadara#npc", "Jade Temple Priest#1",
                                   "Gongji", "Jade Temple Priest#3"};
  for (int i = 1; i <= 6; i++) sent.push_back(fmt("Jade Temple Soldier#%d", i));
  for (const std::string& n : sent) H().character_order(n.c_str(), 15, 1);
}
void jadetemple_frame() {
  int L = L_JADETEMPLE;
  if (variant("jadetemple_v2")) {
    struct Fall {
      const char* rider;
      const char* flag;
    } falls[4] = {{"Tiger Rider", "tiger2_dead"}, {"Ghost Rider", "ghost2_dead"},
                  {"Dadevoz Ivido", "serpent2_dead"}, {"Phoenix Rider", "phoenix2_dead"}};
    bool all = true;
    for (const Fall& f : falls) {
      if (!H().flag(L, f.flag) && H().character_dead(f.rider)) {
        H().set_flag(L, f.flag, true);
        if (same_name(f.flag, "ghost2_dead")) H().character_show("Ghost Rider", false);
      }
      all = all && H().flag(L, f.flag);
    }
    if (all && first_time(L, "got_laharah_spirit")) {
      H().hud_text("Ruvizo acquired Summon Spirit of Laharah!");
      H().fade(true, 5000);
      Spirit_timer = H().clock() + 5000;
      Spirit_step = 1;
    }
    if (Spirit_step == 1 && H().clock() >= Spirit_timer) {
      Spirit_step = 2;
      H().fade(false, 2000);
      H().load_level("worldmap1", "worldmap1", -1);
    }
    return;
  }
  if (!H().flag(L, "tg_intro") && H().leader_near("$tgtrigger", 24.0f)) {
    H().set_flag(L, "tg_intro", true);
    H().cutscene("Tiger-Ghost-Intro", tg_released);
    return;
  }
  bool riders_down = H().flag(L, "tiger_dead") && H().flag(L, "ghost_dead");
  if (H().flag(L, "tg_intro") && !riders_down && !Jade_boss_music) {
    Jade_boss_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L, "tg_intro") && H().character_dead("Tiger Rider") && first_time(L, "tiger_dead"))
    H().character_order("Tiger Rider", 15, 2);
  if (H().flag(L, "tg_intro") && H().character_dead("Ghost Rider") && first_time(L, "ghost_dead"))
    H().character_order("Ghost Rider", 15, 2);
  if (H().flag(L, "tiger_dead") && H().flag(L, "ghost_dead") && !Jade_level_music) {
    Jade_level_music = 1;
    H().door_set("FrontDoor", true);
    H().play_music("jadetemple", true);
  }
  if (!H().flag(L, "calvek_intro") && H().leader_near("$calvektrigger", 8.0f)) {
    H().set_flag(L, "calvek_intro", true);
    H().cutscene("Calvek-Intro", calvek_released);
    return;
  }
  if (H().flag(L, "calvek_intro") && H().character_dead("Calvek") && first_time(L, "calvek_xform")) {
    H().character_kill("Calvek");
    H().cutscene("Calvek-Trans", calvek_transformed);
  }
  if (H().flag(L, "calvek_xform") && H().character_dead("Calvek Oni") && first_time(L, "calvek_dead")) {
    H().character_kill("Calvek Oni");
    H().cutscene("Calvek-Death", calvek_died);
  }
  if (End_pending && !H().ui_paused()) {
    End_pending = false;
    for (const char* h : Three) H().party_add(h);
    H().load_level("khosanistrng", "khosanistrng_v3", -1);
  }
}
void jadetemple_event(const ScriptEvent* e) {
  if (event_is(e, "EndCutscene")) {
    End_pending = true;
  } else if (event_is(e, "CheckScales")) {
    int held = 0;
    for (const char* s : Scales) held += H().item_count(s) > 0 ? 1 : 0;
    H().topic_available("Gongji", "\"I found what you are seeking.\"", held > 0);
    H().topic_available("Gongji", "Keep the dragon scales", held > 0);
    const char* give[4] = {"Give him the dragon scale.#1", "Give him both dragon scales.#2",
                           "Give him the three dragon scales.#3", "Give him the four dragon scales.#4"};
    for (int i = 0; i < 4; i++) H().topic_available("Gongji", give[i], held == i + 1);
  } else if (event_is(e, "LoseScales")) {
    for (const char* s : Scales) {
      int n = H().item_count(s);
      if (n == 0) continue;
      H().remove_item(s, n);
      char line[80];
      std::snprintf(line, sizeof line, "<lost item: \"%s\">", s);
      H().hud_text(line);
    }
  }
}
}  // namespace

void eastern_statics_reset() {
  Eleh_fade = FadeMove();
  Maze_fade = FadeMove();
  Ruvizo_join_pending = Rivadara_join_pending = Zazuru_join_pending = false;
  Spear1_timer = Spear2_timer = Poison_timer = 0;
  Maze_in = false;
  Shenwu_boss_music = Shenwu_level_music = 0;
  End_pending = false;
  Spirit_timer = 0;
  Spirit_step = 0;
  Jade_boss_music = Jade_level_music = 0;
}

void eastern_scripts_install() {
  LevelHook E = level_script_empty_hook;
  LevelUseHook F = level_script_false_hook;
  level_script_set_hooks(L_ELEH, eleh_init, eleh_frame, E, eleh_use, nullptr, eleh_event);
  level_script_set_hooks(L_VOZIDO, vozido_init, vozido_frame, E, vozido_use, nullptr, vozido_event);
  level_script_set_hooks(L_VOZIDO2, vozido2_init, vozido2_frame, E, vozido2_use, nullptr, vozido2_event);
  level_script_set_hooks(L_VOZIDO_CAVERNS, vozidocaverns_init, vozidocaverns_frame, E, vozidocaverns_use, nullptr,
                         vozidocaverns_event);
  level_script_set_hooks(L_SHENWU, shenwu_init, shenwu_frame, E, shenwu_use, nullptr, shenwu_event);
  level_script_set_hooks(L_JADETEMPLE, jadetemple_init, jadetemple_frame, E, F, nullptr, jadetemple_event);
}

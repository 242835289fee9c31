// The city of Thalem: its marketplace, slums and docks, the occupied and the
// besieged city, the sewers, Tancred's house and the royal palace with
// Rivud's sneak mission.
#include <cstdio>
#include <cstring>
#include <string>

#include "levelscripts/Scripts/story_common.h"
#include "levelscripts/Scripts/thalem.h"

namespace {
// The variant's suffix: 3 for "_v3", 2 for "_v2", else 1.
int variant_period() {
  const char* v = H().script_variant();
  size_t n = v ? std::strlen(v) : 0;
  if (n >= 3 && strcasecmp(v + n - 3, "_v3") == 0) return 3;
  if (n >= 3 && strcasecmp(v + n - 3, "_v2") == 0) return 2;
  return 1;
}
int stage_of_period() {
  int p = variant_period();
  return p == 3 ? 6 : p == 2 ? 4 : 0;
}
int period_of_stage(int s) { return s >= 6 ? 3 : s >= 4 ? 2 : 1; }
void topic_by_item(const char* person, const char* without, const char* with, const char* item) {
  bool held = H().item_count(item) > 0;
  if (without) H().topic_available(person, without, !held);
  if (with) H().topic_available(person, with, held);
}

// --- sewer and sewerboss ---------------------------------------------------------------------------
void sewer_init() {
  H().set_level_music("sewer");
  H().trigger_enable("sewer01", true);
  for (int i = 2; i <= 14; i++) H().trigger_enable(fmt("sewer%02d", i).c_str(), false);
  H().two_stage_set("$GateB2", true);
  for (const char* g : {"$GateA1", "$GateA2", "$GateA3", "$GateB1", "$GateC1", "$GateC3"}) H().two_stage_set(g, false);
}
void sewer_frame() {
  if (H().in_cutscene()) return;
  int L = L_SEWER;
  bool said = remark(L, "sewers_flag_where_comment", "$npc097", 4.0f, "Rivud", "Where are all the sewer cleaners?") ||
              remark(L, "sewers_flag_passage_comment", "$npc098", 4.0f, "Rivud", "Where does this passage lead?") ||
              remark(L, "sewers_flag_smell_comment", "$npc096", 4.0f, "Rivud", "Ugh! And you thought pigs smelled bad.",
                     4.0f);
  if (!said && !H().flag(L, "sewers_flag_doll_comment") && H().character_dead("Brown Bacite#doll")) {
    H().set_flag(L, "sewers_flag_doll_comment", true);
    H().hero_say("Rivud", "What's that on the ground?", 5.0f);
    said = true;
  }
  if (!said)
    remark(L, "sewers_flag_crate_comment", "$npc100", 4.0f, "Rivud", "Hmm. What are those crates doing there?") ||
        remark(L, "sewers_flag_different_comment", "$npc099", 4.0f, "Rivud", "The architecture looks different here.");
  if (!H().flag(L, "sewer_flag_found_crate") && all_dead({"Thief#$npc092", "Thief#$npc093", "Thief#$npc094"}))
    H().set_flag(L, "sewer_flag_found_crate", true);
}

const char* const Boss_golems[5] = {"Broken Brass Golem#boss1", "Broken Brass Golem#boss2", "Brass Golem#block1",
                                    "Brass Golem#block2", "Iron Golem#boss"};
int32_t Sewerboss_timer = 0;
uint8_t Sewerboss_music = 0, Sewerboss_done = 0;
void sewerboss_exits(bool on) {
  H().exits_enable("lpalaceint", nullptr, on);
  H().exits_enable("sewer", nullptr, on);
}
void sewerboss_init() {
  H().set_level_music("sewer");
  bool fight = H().flag(L_SEWER, "sewer_found_tb") && !H().flag(L_SEWER, "tb_killed");
  if (!H().flag(L_LPALACE_INT, "got_ring_of_darkness")) sewerboss_exits(!fight);
  else H().exits_enable("lpalaceint", nullptr, false);
  if (H().flag(L_SEWER, "tb_killed"))
    for (const char* g : Boss_golems) H().character_show(g, false);
  Sewerboss_timer = 0;
  Sewerboss_music = Sewerboss_done = 0;
}
void tb_intro_done() {
  H().camera_mode(3);
  Sewerboss_timer = H().clock() + 500;
  H().avoid_areas(true);
  for (const char* g : Boss_golems) H().character_order(g, 15, 1);
}
void sewerboss_frame() {
  if (!H().flag(L_SEWER, "sewer_found_tb") && H().leader_near("$tbintro", 10.0f)) {
    H().set_flag(L_SEWER, "sewer_found_tb", true);
    sewerboss_exits(false);
    H().cutscene("TB-Intro", tb_intro_done);
    return;
  }
  if (Sewerboss_timer && H().clock() >= Sewerboss_timer && !Sewerboss_music) {
    Sewerboss_music = 1;
    H().play_music("Sewer Boss", true);
  }
  if (H().flag(L_SEWER, "sewer_found_tb") &&
      all_dead({"Broken Brass Golem#boss1", "Broken Brass Golem#boss2", "Iron Golem#boss"})) {
    if (!Sewerboss_done) {
      Sewerboss_done = 1;
      H().camera_mode(4);
      H().play_music("Sewer", true);
    }
    if (first_time(L_SEWER, "tb_killed")) {
      H().character_order("Brass Golem#block1", 15, 2);
      H().character_order("Brass Golem#block2", 15, 2);
      sewerboss_exits(true);
    }
  }
}
void sewerboss_exit() { H().avoid_areas(false); }

// --- the marketplace -----------------------------------------------------------------------------------
void thalem1ab_init() {
  H().set_level_music("thalem marketplace");
  H().set_game_stage(stage_of_period());
  if (H().flag(L_LPALACE_INT, "lpalaceint_mq_gave_lanterns")) H().character_show("Torvel", false);
  else H().character_show("Torvel#part2", false);
  int period = period_of_stage(H().game_stage());
  for (int p = 1; p <= 3; p++)
    for (int i = 1; i <= 4; i++) H().trigger_enable(fmt("v%d", p * 10 + i).c_str(), p == period);
}

void thalem1aa_init() {
  int L = L_THALEM1AA;
  H().set_level_music("thalem marketplace");
  H().set_game_stage(stage_of_period());
  int s = H().game_stage();
  int period = period_of_stage(s);
  for (int p = 2; p <= 3; p++) {
    for (const char* n : {"d1", "b1", "b2", "b3"})
      H().trigger_enable((std::string(n) + fmt("_v%d", p)).c_str(), p == period);
    for (int i = 1; i <= 4; i++) H().trigger_enable((fmt("ab%d", i) + fmt("_v%d", p)).c_str(), p == period);
  }
  H().trigger_enable("sewer", s >= 1);
  if (variant_period() == 1 &&
      (H().flag(L, "thalem1aa_zazuru_talk") || H().flag(L_LPALACE_INT, "got_ring_of_darkness"))) {
    H().character_show("Zazuru#$npc012", false);
    H().set_flag(L, "thalem1aa_zazuru_talk", true);
  }
}
void thalem1aa_frame() {
  if (variant_period() != 1) return;
  int L = L_THALEM1AA;
  if (!H().flag(L, "thalem_flag_cart_played") && H().leader_near("$apc073", 3.0f)) {
    H().set_flag(L, "thalem_flag_cart_played", true);
    H().character_resume("Apprentice#C");
    H().character_resume("Cartwright");
    H().camera_at("$camera004");
  }
  if (!H().flag(L, "thalem1aa_zazuru_talk") && !H().in_conversation() && H().leader_near("$apc012", 5.0f)) {
    H().set_flag(L, "thalem1aa_zazuru_talk", true);
    H().character_talk("Zazuru#$npc012");
  }
}
bool thalem1aa_use(const char* name) {
  return blocked(name, "sewer", "Ruvizo", "This grate is locked. I can't get in.");
}
void thalem1aa_event(const ScriptEvent* e) {
  if (!event_is(e, "CheckBlood")) return;
  int n = H().item_count("Gargoyle Blood");
  const char* person = "Krys the Lantern Maker";
  H().topic_available(person, "\"I have some gargoyle blood.\"", n >= 1 && n <= 5);
  H().topic_available(person, "\"I have six drams of gargoyle blood.\"", n >= 6);
}

// --- the slums and docks --------------------------------------------------------------------------
void thalem1b_init() {
  H().set_level_music("thalem slumdock");
  H().set_game_stage(stage_of_period());
  H().set_flag(L_SEWER, "sewer_grate_open", true);  // the stage judge reads it there
  H().trigger_enable("sewer", true);
  H().door_set("SewerGrateBarHor17", true);
  for (int p = 1; p <= 3; p++)
    for (int i = 1; i <= 3; i++) H().trigger_enable(fmt("v%d", p * 10 + i).c_str(), false);
  H().exits_enable("tancredhouse", nullptr, false);
  H().automap_mask(false);
}
void thalem1b_exit() { H().automap_mask(true); }
void thalem1b_frame() {
  struct Speaker {
    const char* name;
    const char* flag;
  } speakers[3] = {{"Prostitute#1", "thalem_slums_flag_prost1_speaks"},
                   {"Prostitute#2", "thalem_slums_flag_prost2_speaks"},
                   {"Ken", "thalem_slums_flag_ken_speaks"}};
  for (const Speaker& s : speakers)
    if (!H().flag(L_THALEM1B, s.flag) && H().character_leader_distance(s.name) <= 3.0f) {
      H().set_flag(L_THALEM1B, s.flag, true);
      H().character_order(s.name, 15, 2);
    }
}
void thalem1b_event(const ScriptEvent* e) {
  if (event_is(e, "CheckEyes")) {
    topic_by_item("A Beggar With No Eyes", "\"I'm working on it.\"", "Give him the eyes.", "Bottle with Eyes");
  } else if (event_is(e, "CheckTongue")) {
    topic_by_item("Apothecary", "\"No. Not yet.\"", "Give him the salamanka's tongue.", "Salamanka Tongue");
  } else if (event_is(e, "CheckReleaseOrder")) {
    // Only its own event touches the release order's topic.
    topic_by_item("Gorbus the Guard", "\"The Keep?\"", "Give him the release order.", "Forged Document");
  } else if (event_is(e, "CheckGold")) {
    H().topic_available("Gorbus the Guard", "Give him 20 gold.", H().gold() >= 20);
  } else if (event_is(e, "CheckGold2")) {
    H().topic_available("Dagis the Forger", "Pay 25 gold.", H().gold() >= 25);
  } else if (event_is(e, "CheckShards")) {
    bool all = H().item_count("Blue Glass Shard") > 0 && H().item_count("Green Glass Shard") > 0 &&
               H().item_count("Red Glass Shard") > 0;
    H().topic_available("Varyssa", "Give her the shards.", all);
  } else if (event_is(e, "CheckCrate")) {
    bool found = H().flag(L_SEWER, "sewer_flag_found_crate") || H().item_count("Chunk of Salt") > 0;
    H().topic_available("Pedrog", "Tell him what you found in the sewers.", found);
    H().topic_available("Pedrog", "\"Not yet.\"", !found);
  } else if (event_is(e, "CheckSalt")) {
    topic_by_item("Pedrog", "\"No.\"", "Give him the salt.", "Chunk of Salt");
  } else if (event_is(e, "CheckDoll")) {
    topic_by_item("Weeping Butcher", nullptr, "Give him the doll.", "Rag Doll");
  } else if (event_is(e, "SalamankaActive")) {
    H().set_flag(L_THALEM1B, "thalem_slums_got_salamanka_quest", true);
  } else if (event_is(e, "TradeBacite")) {
    int tails = H().item_count("Bacite Tail");
    if (tails == 0) return;
    H().remove_item("Bacite Tail", tails);
    H().hud_text("<lost items: \"Bacite Tails\">");
    char line[64];
    std::snprintf(line, sizeof line, "<party received %d gold>", 10 * tails);
    H().hud_text(line);
    H().give_gold(10 * tails);
  }
}

void period_groups(int s, bool with_v41) {
  int g = with_v41 ? (s >= 7 ? 4 : s == 6 ? 3 : s >= 4 ? 2 : 1) : (s >= 6 ? 3 : s >= 4 ? 2 : 1);
  for (int p = 1; p <= (with_v41 ? 4 : 3); p++) H().trigger_enable(fmt("v%d1", p).c_str(), p == g);
}

void thalem1c_init() {
  H().set_level_music("thalem marketplace");
  H().set_game_stage(0);
  int s = H().game_stage();
  period_groups(s, false);
  H().exits_enable("thalem1e", nullptr, false);
  if (s >= 4) {
    H().exits_enable("thalem1e", "thalem1e", true);
    for (int i = 1; i <= 4; i++) H().character_show(fmt("Palace Guard#%d", i).c_str(), false);
  } else if (s >= 2) {
    H().exits_enable("thalem1e", "thalem1e_v2", true);
  }
}
void rivud_intro2_done() { H().load_level("sewer", "sewer", -1); }
void rivud_intro_done() { H().cutscene("Rivud-Intro-p2", rivud_intro2_done); }
void thalem1c_frame() {
  if (H().in_cutscene() || !H().leader_near("$rivudintro", 6.0f)) return;
  if (!first_time(L_THALEM1C, "thalem1c_flag_found_rivud")) return;
  H().character_equip("Rivud", "Cloth Shirt");
  H().give_item("Healing Potion");
  H().cutscene("Rivud-Intro", rivud_intro_done);
  for (int i = 41; i <= 44; i++) H().character_show(fmt("Palace Guard#$npc%03d", i).c_str(), false);
}
bool thalem1c_use(const char* name) {
  if (H().game_stage() < 4) blocked(name, "thalem1e", "Ruvizo", "These guards won't let me pass.");
  return false;
}

void thalem1d_init() {
  H().set_level_music("thalem slumdock");
  H().set_game_stage(variant("thalem1d_v3") ? 6 : variant("thalem1d_v2") ? 4 : 0);
  period_groups(H().game_stage(), false);
  if (H().flag(L_THALEM1D, "thalem1d_mq_talked_to_captain")) H().character_show("Muthavi Captain", false);
}
void thalem1d_frame() {
  if (variant("thalem1d_v2")) intro(L_THALEM1D, "act2_intro", "Nar-Act2");
}
bool thalem1d_use(const char* name) {
  if (!same_name(name, "FISH-trout02")) return false;
  if (!H().flag(L_THALEM1D, "iven_quest") || H().flag(L_THALEM1D, "got_iven")) return false;
  H().set_flag(L_THALEM1D, "got_iven", true);
  H().character_order("Crazy Iven", 15, 1);
  H().give_item("Fiery Falchion");
  return false;
}

void thalem1e_init() {
  H().set_level_music("thalem marketplace");
  H().set_game_stage(0);
  int s = H().game_stage();
  H().exits_enable("lpalaceint", nullptr, false);
  if (s >= 4) H().exits_enable("lpalaceint", "lpalaceint", true);
  else if (s >= 2) H().exits_enable("lpalaceint", "lpalaceint_v2", true);
}
bool thalem1e_use(const char* name) {
  if (H().game_stage() < 2) blocked(name, "lpalaceint", "Ruvizo", "These guards won't let me pass.");
  return false;
}

// --- the palace and the sneak mission ---------------------------------------------------------------
const char* const Upstairs[4] = {"Palace Guard#3rdlvldoor2", "Palace Guard#3b", "Palace Guard#3stairs",
                                 "Palace Guard#2stairs"};
const char* const Downstairs[3] = {"Palace Guard#2ndlvldoor2", "Palace Guard#3a", "Palace Guard#3rdlvldoor1"};
const char* const Alarms[7] = {"You there! Halt! You have no business here!", "Stop! Spy! Alarum!", "Who goes there?",
                               "Halt! In the name of the king!", "Who are you? What are you doing here?",
                               "Where do you think you're going?", "Intruder! Stop her!"};
const char* const Servant_lines[5] = {"Go back. You're not allowed this way, servant.",
                                      "Back to the kitchen where you belong!",
                                      "Return to the kitchen until you're sent for!",
                                      "No servants allowed! Prince's orders!", "You don't have run of the palace!"};
const char* const Ruvizo_asks[5] = {"Did you find Tessam?", "So where's Tessam?",
                                    "You've never done this before, have you?", "Why don't I go with you this time?",
                                    "There has to be a better way."};
const char* const Rivud_answers[5] = {"I'm working on it. Just wait right here.", "I just need to get past the guards!",
                                      "Keep your mouth shut, and stay right where you are!",
                                      "Why don't I break your legs?", "Shut up!"};
constexpr float GUARD_SIGHT = 0.71f;
constexpr float GUARD_REACH = 10.0f;
int Alarm_count = 0, Servant_count = 0;
bool Servant_greeted = false, Upstairs_aside = false;
// The capture: 0 free, 1 caught (waiting 2000 ms), 2 fading out, 3 back.
int Capture_step = 0;
int32_t Capture_at = 0;
int32_t Banter_at = 0, Servant_at = 0;
bool Meeting_played = false, Audience_played = false;

void lpalaceint_init() {
  int s = H().game_stage();
  H().set_level_music("thalem palace sneak");
  Capture_step = 0;
  Banter_at = Servant_at = 0;
  Meeting_played = Audience_played = Upstairs_aside = Servant_greeted = false;
  if (variant("lpalaceint_v2")) {
    H().set_game_stage(4);
    if (H().flag(L_THALEM1B, "ivane_unhide_evien")) H().character_show("Evien", false);
    H().character_show(H().game_stage() < 5 ? "Tessam#Visit2c" : "Tessam", false);
    if (H().flag(L_IKAEMOS_TOP_INT, "got_ring_of_stone")) {
      H().topic_available("Tessam#Visit2c", "\"We have the Ring of Stone.\"", true);
      H().topic_available("Queen Galienne", "\"Yes, in the ruins of Ikaemos.\"", true);
    } else if (H().flag(L_KHOSANI_LAB, "got_ring_of_fire")) {
      H().topic_available("Tessam#Visit2c", "\"We have the Ring of Fire.\"", true);
    }
    return;
  }
  H().set_game_stage(1);
  s = H().game_stage();
  if (s < 2) {
    H().party_remove("Ruvizo");
    H().camera_mode(2);
    H().exits_enable("thalem1e", nullptr, false);
  } else {
    for (const char* who : {"Ruvizo#npc", "Tessam", "King Odovar", "Aoqi"}) H().character_show(who, false);
    H().character_resume("Tessam#2");
    H().exits_enable("thalem1e", s >= 4 ? "thalem1e" : "thalem1e_v2", true);
    if (s >= 3) H().character_show("Tessam#2", false);
  }
}

void aoqi_met() {
  H().character_show("Aoqi", false);
  H().character_order("King Odovar", 15, 1);
}
void tessam_met() {
  H().party_add("Ruvizo");
  H().character_show("Tessam", false);
  H().character_show("Ruvizo#npc", false);
  H().character_resume("Tessam#2");
  H().character_place("Palace Guard#1a", "$npc109");
  H().exits_enable("thalem1e", nullptr, true);
}
void zazuru_found() { H().set_flag(L_LPALACE_INT, "found_zazuru", true); }

void capture_frame() {
  if (Capture_step == 1 && H().clock() >= Capture_at) {
    H().fade(true, 1000);
    Capture_step = 2;
    Capture_at = H().clock() + 1000;
  } else if (Capture_step == 2 && H().clock() >= Capture_at) {
    H().hero_place("Rivud", "$player01");
    H().camera_mode(2);
    int attempts = H().int_value(L_LPALACE_INT, "lpalaceint_int_sneak_attempts") + 1;
    H().set_int(L_LPALACE_INT, "lpalaceint_int_sneak_attempts", attempts);
    if (attempts == 4) H().character_place("Palace Guard#1a", "$Teleport001");
    H().input_lock(false);
    H().fade(false, 1000);
    Capture_step = 0;
  }
}

bool guard_sees(const char* g) {
  return !H().character_dead(g) && H().character_leader_distance(g) <= GUARD_REACH &&
         H().character_sees_leader(g, GUARD_SIGHT);
}

void guard_watch() {
  if (Capture_step) return;
  bool suit = H().flag(L_LPALACE_INT, "got_suit");
  if (suit && !Upstairs_aside) {
    Upstairs_aside = true;
    for (const char* g : Upstairs) {
      H().character_order(g, 1, 0);
      H().character_order(g, 2, 0);
    }
  }
  for (int i = 0; i < 7; i++) {
    const char* g = i < 4 ? Upstairs[i] : Downstairs[i - 4];
    if (suit && i < 4) continue;
    if (!guard_sees(g)) continue;
    if (suit) {
      if (H().clock() < Servant_at) return;
      Servant_at = H().clock() + 5000;
      if (!Servant_greeted) {
        Servant_greeted = true;
        H().character_say(g, "You're not supposed to be here, servant.", 5.0f);
      } else {
        H().character_say(g, Servant_lines[Servant_count++ % 5], 5.0f);
      }
      return;
    }
    H().character_say(g, Alarms[Alarm_count++ % 7], 3.0f);
    H().character_order(g, 15, 9);  // turns to her
    H().input_lock(true);
    Capture_step = 1;
    Capture_at = H().clock() + 2000;
    return;
  }
}

void banter() {
  if (H().clock() < Banter_at || H().character_leader_distance("Ruvizo#npc") > 5.0f) return;
  Banter_at = H().clock() + 5000;
  if (H().flag(L_LPALACE_INT, "got_suit")) {
    H().character_say("Ruvizo#npc", "Having trouble?", 5.0f);
    H().hero_say("Rivud", "I'm working on it.", 5.0f);
    return;
  }
  int a = H().int_value(L_LPALACE_INT, "lpalaceint_int_sneak_attempts");
  if (a > 4) a = 4;
  H().character_say("Ruvizo#npc", Ruvizo_asks[a], 5.0f);
  H().hero_say("Rivud", Rivud_answers[a], 5.0f);
}

void lpalaceint_frame() {
  int L = L_LPALACE_INT;
  capture_frame();
  int s = H().game_stage();
  if (s < 4) {
    if (H().in_cutscene()) return;
    if (!H().flag(L, "lpalaceint_tessam_found")) {
      if (H().leader_near("$kingtrig", 3.0f) && first_time(L, "found_aoqi")) {
        H().cutscene("King-Meeting-Aoqi", aoqi_met);
        return;
      }
      guard_watch();
      banter();
      if (!H().in_conversation() && H().character_leader_distance("Ruvizo#npc") <= 3.0f &&
          first_time(L, "lpalaceint_talked_to_ruvizo"))
        H().character_talk("Ruvizo#npc");
    } else if (!Meeting_played && !H().party_has("Ruvizo")) {
      Meeting_played = true;
      H().cutscene("Meeting-With-Tessam", tessam_met);
    }
    return;
  }
  if (!H().flag(L, "talked_to_tessam") && H().character_leader_distance("Tessam") <= 10.0f) {
    H().set_flag(L, "talked_to_tessam", true);
    H().character_talk("Tessam");
  }
  if (H().flag(L, "talked_to_tessam") && !H().flag(L, "found_zazuru") && !Audience_played && !H().in_conversation() &&
      H().character_leader_distance("King Odovar") <= 8.0f) {
    Audience_played = true;
    H().character_talk("King Odovar");
    H().cutscene("King-Audience-B", zazuru_found);
  }
}

bool lpalaceint_use(const char* name) {
  if (!H().flag(L_LPALACE_INT, "lpalaceint_tessam_found") && H().game_stage() < 2)
    blocked(name, "thalem1e", "Rivud", "I'm not leaving until I find Tessam.");
  return false;
}

void lpalaceint_event(const ScriptEvent* e) {
  int L = L_LPALACE_INT;
  if (event_is(e, "StartCutscene")) {
    H().set_flag(L, "lpalaceint_tessam_found", true);
    H().hud_text("Rivud acquired skill: Sneak!");
    int xp = sneak_reward(H().flag(L, "got_suit"), H().int_value(L, "lpalaceint_int_sneak_attempts"));
    char line[48];
    std::snprintf(line, sizeof line, "<Rivud gained xp %d>", xp);
    H().hud_text(line);
    H().hero_xp("Rivud", xp);
  } else if (event_is(e, "GotRing")) {
    H().set_flag(L, "got_ring_of_darkness", true);
    H().hud_text("Ruvizo acquired skill: Summon!");
    H().hud_text("Ruvizo acquired Summon Blackfire Elemental!");
  } else if (event_is(e, "TessamGo")) {
    H().character_resume("Tessam");
  }
}

// --- Tancred's house ------------------------------------------------------------------------------------
void tancredhouse_init() {
  H().set_level_music("tancredHouse");
  H().set_game_stage(variant("tancredhouse_v3") ? 7 : 1);
  int s = H().game_stage();
  period_groups(s, true);
  if (s >= 7) H().topic_available("Mahri the Crooked", "\"A woman in white?\"", true);
}
void tancredhouse_event(const ScriptEvent* e) {
  if (event_is(e, "SpokeTessam")) {
    H().party_remove("Zazuru");
    H().party_remove("Rivadara");
    H().set_flag(L_TANCREDHOUSE, "found_galienne", true);
    H().character_order("Zazuru#npc", 15, 1);
    H().character_order("Rivadara#npc", 15, 1);
  } else if (event_is(e, "DieTancred")) {
    H().character_order("Tancred", 15, 1);
  }
}

// --- the occupied city ----------------------------------------------------------------------------------
void thalem2d_init() {
  H().set_level_music("thalem2");
  H().set_game_stage(7);
  H().exits_enable("thalem2aa", nullptr, false);
}
void thalem2d_frame() {
  if (!H().flag(L_THALEM2D, "pedrog_talk") && !H().in_conversation() &&
      H().character_leader_distance("Pedrog") <= 6.0f) {
    H().set_flag(L_THALEM2D, "pedrog_talk", true);
    H().character_talk("Pedrog");
  }
}
void thalem2d_event(const ScriptEvent* e) {
  if (event_is(e, "PedrogLead")) H().character_resume("Pedrog");
}
bool thalem2d_use(const char* name) {
  return blocked(name, "thalem2aa", "Ruvizo", "Too many soldiers guard the gate. We can't go that way.");
}

void thalem2aa_init() {
  H().set_level_music("thalem2");
  H().set_game_stage(8);
  H().exits_enable("thalem1b", nullptr, false);
  H().exits_enable("thalem2d", nullptr, false);
  H().party_remove("Rivadara");
  H().party_remove("Zazuru");
}
void thalem2aa_frame() {
  int L = L_THALEM2AA;
  if (H().character_dead("Kasdrian Soldier#victim") && first_time(L, "thalem2aa_flag_victim_dead"))
    H().character_order("Kothudin", 15, 1);
  if (H().character_dead("Sir Horum") && first_time(L, "thalem2aa_flag_vengence_done"))
    H().topic_available("Lord of Logaros", "\"You have been avenged!\"", true);
}
void thalem2aa_event(const ScriptEvent* e) {
  if (event_is(e, "psycho_chat_done")) H().character_order("Kothudin", 15, 2);
}
bool thalem2aa_use(const char* name) {
  blocked(name, "thalem1b", "Ruvizo", "Too many soldiers guard the bridge. We can't cross here.");
  return blocked(name, "thalem2d", "Ruvizo", "Too many soldiers guard the gate. We can't go that way.");
}

void thalem2ab_init() {
  H().set_game_stage(8);
  H().set_level_music("thalem2");
  H().party_remove("Zazuru");
  H().party_remove("Rivadara");
}
void thalem2ab_frame() {
  int L = L_THALEM2AB;
  if (H().flag(L, "thalem2ab_flag_escort_agree") && !H().flag(L, "thalem2ab_flag_escort_1") &&
      all_dead({"Kasdrian Soldier#kill1-1", "Kasdrian Soldier#kill1-2", "Kasdrian Samurai#kill1-3"})) {
    H().set_flag(L, "thalem2ab_flag_escort_1", true);
    H().character_order("Adeslani", 15, 2);
  }
  if (H().character_dead("Kasdrian Soldier#1alarum17") && first_time(L, "thalem2ab_flag_ask_help"))
    H().character_order("Adeslani", 15, 3);
  if (!H().flag(L, "thalem2ab_flag_escort_complete") && H().character_near_navpoint("Adeslani", "$adel2-10", 2.0f)) {
    H().set_flag(L, "thalem2ab_flag_escort_complete", true);
    H().topic_available("Adeslani", "\"We made it?\"", true);
    H().character_order("Adeslani", 15, 4);
  }
}
void thalem2ab_event(const ScriptEvent* e) {
  if (event_is(e, "payoff")) H().character_order("Canis the Mercenary", 15, 1);
  else if (event_is(e, "attack")) H().character_order("Canis the Mercenary", 15, 2);
  else if (event_is(e, "agree")) {
    H().set_flag(L_THALEM2AB, "thalem2ab_flag_escort_agree", true);
    H().character_order("Adeslani", 15, 1);
  }
}

// --- the besieged city ----------------------------------------------------------------------------------
int32_t Thalem3d_timer = 0;
// The besieged city and the abbey of the last act lie under snow; their
// exit hooks stop it again.
void thalem3d_init() {
  H().snow(true);
  H().set_level_music("thalem3");
  H().set_game_stage(15);
  int s = H().game_stage();
  if (s >= 17) {
    H().character_show("Ruvizo#npc", false);
    H().character_show("Rivud#npc", false);
    H().door_set("door01", true);
    H().effect_show("Thalem3d-forcefield.vfx", false);
    H().exits_enable("sewer", nullptr, true);
  } else if (s == 16) {
    H().party_remove("Ruvizo");
    H().party_remove("Rivud");
    H().character_resume("Ruvizo#npc");
    H().character_resume("Rivud#npc");
    H().exits_enable("sewer", nullptr, true);
    H().door_set("door01", true);
  } else {
    H().character_show("Ruvizo#npc", false);
    H().character_show("Rivud#npc", false);
    H().door_set("door01", false);
    H().exits_enable("sewer", nullptr, false);
  }
  Thalem3d_timer = H().clock() + 1000;
}
void thalem3d_frame() {
  if (H().game_stage() >= 16) intro(L_THALEM3D, "thalem3_intro", "Nar-ThalemAct4");
}
bool thalem3d_use(const char* name) {
  if (H().game_stage() < 16) blocked(name, "sewer", "Ruvizo", "A powerful magic holds me back. I can't go any farther.");
  return blocked(name, "thalem3a", "Ruvizo", "A powerful magic holds me back. I can't go any farther.");
}

void thalem3a_init() {
  H().snow(true);
  H().set_level_music("thalem3");
  int s = H().game_stage();
  if (s >= 21) {
    H().exits_enable("templeint2", nullptr, true);
    H().exits_enable("lpalaceint02", nullptr, false);
  } else {
    if (s < 17) H().set_game_stage(16);
    H().exits_enable("templeint2", nullptr, false);
    H().exits_enable("lpalaceint02", nullptr, true);
  }
}
void thalem3a_exit() {
  H().snow(false);
  if (H().game_stage() >= 16) {
    H().party_add("Ruvizo");
    H().party_add("Rivud");
  }
}
bool thalem3a_use(const char* name) {
  if (H().game_stage() < 21) blocked(name, "templeint", "Ruvizo", "We're not ready to confront Machival yet.");
  return false;
}

// --- LPalaceInt02 ----------------------------------------------------------------------------------------
uint8_t Sg_boss_music = 0, Sg_level_music = 0;
void lpalaceint02_init() {
  int L = L_LPALACE_INT02;
  H().set_level_music("LPalaceInt02");
  H().set_game_stage(16);
  if (!H().flag(L, "got_scrolls")) {
    H().party_remove("Ruvizo");
    H().party_remove("Rivud");
  }
  H().exits_enable("worldmap1", nullptr, true);
  if (H().flag(L, "sornehan_dead")) H().character_show("Sornehan", false);
  if (!H().flag(L, "sornehan_dead") || !H().flag(L, "galienne_dead")) H().exits_enable("worldmap1", nullptr, false);
  Sg_boss_music = Sg_level_music = 0;
}
void sg_released() {
  H().character_resume("Sornehan");
  H().character_resume("Galienne");
}
void lpalaceint02_frame() {
  int L = L_LPALACE_INT02;
  if (!H().flag(L, "sgintro") && H().character_leader_distance("Sornehan") <= 10.0f) {
    H().set_flag(L, "sgintro", true);
    H().cutscene("SG-Intro", sg_released);
    return;
  }
  if (H().flag(L, "sgintro") && !Sg_boss_music) {
    Sg_boss_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L, "sgintro") && H().character_dead("Sornehan")) H().set_flag(L, "sornehan_dead", true);
  if (H().flag(L, "sgintro") && H().character_dead("Galienne")) H().set_flag(L, "galienne_dead", true);
  if (H().item_count("Khosani Scrolls") > 0) H().set_flag(L, "got_scrolls", true);
  if (H().flag(L, "sornehan_dead") && H().flag(L, "galienne_dead") && H().flag(L, "got_scrolls") &&
      first_time(L, "bothdead")) {
    H().exits_enable("worldmap1", nullptr, true);
    if (!Sg_level_music) {
      Sg_level_music = 1;
      H().play_music("LPalaceInt02", true);
    }
  }
}
void lpalaceint02_exit() {
  if (H().game_stage() < 16) return;
  H().party_add("Ruvizo");
  H().party_add("Rivud");
}
bool lpalaceint02_use(const char* name) {
  if (!H().flag(L_LPALACE_INT02, "got_scrolls"))
    blocked(name, "worldmap1", "Zazuru", "We're not leaving without the Khosani scrolls.");
  return false;
}
}  // namespace

int sneak_reward(bool suit, int attempts) {
  // Attempts past four give no bonus; they never take from the base.
  int unused = 4 - attempts;
  if (unused < 0) unused = 0;
  return (suit ? 200 : 500) + 50 * unused;
}

void thalem_statics_reset() {
  Sewerboss_timer = 0;
  Sewerboss_music = Sewerboss_done = 0;
  Alarm_count = Servant_count = 0;
  Servant_greeted = Upstairs_aside = false;
  Capture_step = 0;
  Capture_at = Banter_at = Servant_at = 0;
  Meeting_played = Audience_played = false;
  Thalem3d_timer = 0;
  Sg_boss_music = Sg_level_music = 0;
}

void thalem_scripts_install() {
  LevelHook E = level_script_empty_hook;
  LevelUseHook F = level_script_false_hook;
  LevelEventHook EE = level_script_empty_event;
  level_script_set_hooks(L_SEWER, sewer_init, sewer_frame, E, F, nullptr, EE);
  level_script_set_hooks(L_SEWERBOSS, sewerboss_init, sewerboss_frame, sewerboss_exit, F, nullptr, EE);
  level_script_set_hooks(L_THALEM1AA, thalem1aa_init, thalem1aa_frame, E, thalem1aa_use, nullptr, thalem1aa_event);
  level_script_set_hooks(L_THALEM1AB, thalem1ab_init, E, E, F, nullptr, EE);
  level_script_set_hooks(L_THALEM1B, thalem1b_init, thalem1b_frame, thalem1b_exit, nullptr, nullptr, thalem1b_event);
  level_script_set_hooks(L_THALEM1C, thalem1c_init, thalem1c_frame, E, thalem1c_use, nullptr, EE);
  level_script_set_hooks(L_THALEM1D, thalem1d_init, thalem1d_frame, E, thalem1d_use, nullptr, EE);
  level_script_set_hooks(L_THALEM1E, thalem1e_init, E, E, thalem1e_use, nullptr, EE);
  level_script_set_hooks(L_LPALACE_INT, lpalaceint_init, lpalaceint_frame, E, lpalaceint_use, nullptr,
                         lpalaceint_event);
  level_script_set_hooks(L_TANCREDHOUSE, tancredhouse_init, E, E, F, nullptr, tancredhouse_event);
  level_script_set_hooks(L_THALEM2D, thalem2d_init, thalem2d_frame, E, thalem2d_use, nullptr, thalem2d_event);
  level_script_set_hooks(L_THALEM2AA, thalem2aa_init, thalem2aa_frame, E, thalem2aa_use, nullptr, thalem2aa_event);
  level_script_set_hooks(L_THALEM2AB, thalem2ab_init, thalem2ab_frame, E, F, nullptr, thalem2ab_event);
  level_script_set_hooks(L_THALEM3D, thalem3d_init, thalem3d_frame, thalem3d_exit_shared, thalem3d_use, nullptr, EE);
  level_script_set_hooks(L_THALEM3A, thalem3a_init, E, thalem3a_exit, thalem3a_use, nullptr, EE);
  level_script_set_hooks(L_LPALACE_INT02, lpalaceint02_init, lpalaceint02_frame, lpalaceint02_exit, lpalaceint02_use,
                         nullptr, EE);
}

// The temple of Zhorek (the tiger rider, the end of the second act, the
// ending) and the ruins of Ikaemos (the dagger slots, the Priest King,
// Titus).
#include <cstdio>
#include <cstring>

#include "levelscripts/Scripts/story_common.h"

namespace {
// --- TempleInt -----------------------------------------------------------------------------------
const char* const Myth_events[8] = {"WindowCutscene1", "WindowCutscene2", "WindowCutscene3", "WindowCutscene4",
                                    "MosaicCutscene1", "MosaicCutscene2", "MosaicCutscene3", "MosaicCutscene4"};
const char* const Myth_cutscenes[8] = {"ZhorekMyth1a", "ZhorekMyth1b", "ZhorekMyth1c", "ZhorekMyth1d",
                                       "ZhorekMyth2a", "ZhorekMyth2b", "ZhorekMyth2c", "ZhorekMyth2d"};
bool Myth_pending[8];
bool Eavesdrop_pending = false;
uint8_t Temple_boss_music = 0, Temple_level_music = 0;

bool temple_v2() { return same_name(H().script_variant(), "templeint_v2"); }

void templeint_init() {
  H().set_level_music("TempleInt");
  if (!temple_v2()) {
    H().set_game_stage(0);
    if (H().flag(L_LPALACE_INT, "got_dagger_quest"))
      H().topic_available("Hierophant", "\"We seek the Blade of Tarun-Khor.\"", true);
  } else {
    H().set_game_stage(8);
    H().exits_enable("thalem1c", nullptr, false);
    H().party_remove("Zazuru");
    H().party_remove("Rivadara");
  }
  H().door_set("T-Hall-Gate05", true);
  Temple_boss_music = Temple_level_music = 0;
}

void myth_done() {
  H().character_order("Hierophant", 15, 1);
  H().character_talk("Hierophant");
}
void eavesdrop_done() {
  for (const char* who : {"Heirophant", "Sornehan", "Pijian", "Sornehan's Knight"}) H().character_show(who, false);
}

// The end of the second act: Ruvizo leaves, the next hero takes over, and
// the story goes on in Eleh. With nobody to take over, nothing moves: a
// party without a hero cannot enter a level.
void act2_outro_done() {
  bool other = false;
  for (const char* hero : {"Zazuru", "Rivud", "Rivadara"}) other = other || H().party_has(hero);
  if (!other) {
    H().debug("No character!\n");
    return;
  }
  H().hero_strip("Ruvizo", "Short Sword");
  H().party_remove("Ruvizo");
  H().debug("Switching char.\n");
  if (!H().party_select_first()) {
    H().debug("No character!\n");
    return;
  }
  H().load_level("eleh", "eleh", -1);
}
void tiger_escaped() {
  if (!first_time(L_TEMPLE_INT, "act2_done")) return;
  H().character_show("Tiger Rider", false);
  H().character_show("WarHorse1#1", false);
  H().cutscene("Act2-Outro", act2_outro_done);
}
void tiger_released() { H().character_resume("Tiger Rider"); }

void templeint_frame() {
  if (H().in_cutscene()) return;
  for (int i = 0; i < 8; i++)
    if (Myth_pending[i]) {
      Myth_pending[i] = false;
      H().cutscene(Myth_cutscenes[i], myth_done);
      return;
    }
  if (!temple_v2()) return;
  if (H().flag(L_TEMPLE_INT, "tiger_intro_played") && !Temple_boss_music) {
    Temple_boss_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L_TEMPLE_INT, "tiger_killed") && !Temple_level_music) {
    Temple_level_music = 1;
    H().play_music("TempleInt", true);
  }
  if (Eavesdrop_pending && first_time(L_TEMPLE_INT, "sornehan_played")) {
    Eavesdrop_pending = false;
    H().cutscene("Eavesdropping", eavesdrop_done);
    return;
  }
  if (!H().flag(L_TEMPLE_INT, "tiger_intro_played")) {
    if (H().leader_near("$tigertrigger", 5.0f)) {
      H().set_flag(L_TEMPLE_INT, "tiger_intro_played", true);
      H().cutscene("Tiger-Intro", tiger_released);
    }
    return;
  }
  if (!H().flag(L_TEMPLE_INT, "tiger_dismount_played") && H().boss_stage("Tiger Rider") >= 1) {
    H().set_flag(L_TEMPLE_INT, "tiger_dismount_played", true);
    H().cutscene("Tiger-Dismount", nullptr);
  }
  if (!H().flag(L_TEMPLE_INT, "tiger_killed") && H().character_dead("Tiger Rider")) {
    H().set_flag(L_TEMPLE_INT, "tiger_killed", true);
    H().cutscene("Tiger-Escape", tiger_escaped);
  }
}

bool templeint_use(const char* name) { return blocked(name, "thalem1c", "Ruvizo", "We're supposed to wait for Tessam."); }

void templeint_event(const ScriptEvent* e) {
  for (int i = 0; i < 8; i++)
    if (event_is(e, Myth_events[i])) Myth_pending[i] = true;
  if (event_is(e, "Eavesdropping")) Eavesdrop_pending = true;
}

// --- TempleInt2, the ending -----------------------------------------------------------------
bool Act4_intro_started = false;
uint8_t Questions_played = 0;

void templeint2_init() {
  H().set_level_music("TempleInt2");
  H().set_game_stage(21);
  H().exits_enable("thalem3a", nullptr, false);
  Questions_played = 0;
}
void machival_intro_done() {
  H().character_order("Machival", 15, 1);
  H().character_order("Evil Zhorek", 15, 2);
  H().play_music("Machival", true);
}
void act4_done() {
  if (H().flag(L_TEMPLE_INT2, "mach_intro")) return;
  for (const char* door : {"T-BRoom-L0WoodDoor01", "T-CRoom-L0WoodDoor01", "T-CRoom-L0WoodDoor02"})
    H().door_set(door, true);
  H().set_flag(L_TEMPLE_INT2, "mach_intro", true);
  H().cutscene("Machival-intro", machival_intro_done);
}
void trans1_done() {
  H().character_kill("Evil Zhorek");
  H().character_order("Evil Zhorek", 15, 1);
  H().character_order("Evil Ruvizo", 15, 2);
}
void trans2_done() {
  H().character_kill("Evil Ruvizo");
  H().character_order("Evil Ruvizo", 15, 1);
  H().character_order("Machival", 15, 2);
}
const char* const Companions[3] = {"Zazuru", "Rivud", "Rivadara"};
void death_done() {
  H().character_order("Machival", 15, 1);
  for (const char* hero : Companions) {
    H().party_remove(hero);
    char npc[32];
    std::snprintf(npc, sizeof npc, "%s#npc", hero);
    H().character_order(npc, 15, 2);
  }
  H().clear_dead();
  H().camera_mode(2);
}
void companions_rejoin() {
  for (const char* hero : Companions) {
    H().party_add(hero);
    char npc[32];
    std::snprintf(npc, sizeof npc, "%s#npc", hero);
    H().character_order(npc, 15, 1);
  }
}
void the_end() { H().request_state(9); }
void end1_forge_done() { H().cutscene("End1-Montage", the_end); }
void end2_leave_done() { H().cutscene("End2-Montage", the_end); }
bool Ending_started = false;

void templeint2_frame() {
  if (!Act4_intro_started) {
    Act4_intro_started = true;
    H().cutscene("Nar-TempleAct4", act4_done);
    return;
  }
  bool mach_killed = H().flag(L_TEMPLE_INT2, "mach_killed");
  // The knights rise again only while Machival stands.
  if (!mach_killed) H().characters_resurrect("Black Knight");
  if (H().character_dead("Evil Zhorek") && first_time(L_TEMPLE_INT2, "zhorek_killed"))
    H().cutscene("Machival-Trans1", trans1_done);
  if (H().character_dead("Evil Ruvizo") && !H().flag(L_TEMPLE_INT2, "ruvizo_killed")) {
    H().boss_transform();
    H().set_flag(L_TEMPLE_INT2, "ruvizo_killed", true);
    H().cutscene("Machival-Trans2", trans2_done);
  }
  if (H().character_dead("Machival") && !mach_killed) {
    for (const char* k : {"Black Knight#1", "Black Knight#2", "Black Knight#5", "Black Knight#6"})
      H().character_show(k, false);
    H().set_flag(L_TEMPLE_INT2, "mach_killed", true);
    H().cutscene("Machival-Death", death_done);
    return;
  }
  if (mach_killed && !Questions_played && !H().in_cutscene()) {
    Questions_played = 1;
    H().play_music("Questions", false);
  }
  if (mach_killed && !Ending_started && !H().in_cutscene() && H().leader_near("$end2trig", 5.0f)) {
    Ending_started = true;
    companions_rejoin();
    H().cutscene("End1-EnterForge", end1_forge_done);
  }
}

bool templeint2_use(const char* name) {
  if (!same_name(name, "thalem3a")) return false;
  if (!H().flag(L_TEMPLE_INT2, "mach_killed")) {
    H().hero_say("Ruvizo", "We're not leaving until we've captured Machival!", 5.0f);
    return false;
  }
  if (H().in_cutscene() || Ending_started) return false;
  Ending_started = true;
  companions_rejoin();
  H().cutscene("End2-LeaveTemple", end2_leave_done);
  return false;
}

// --- Ikaemos ---------------------------------------------------------------------------------------
void ikaemosext_init() {
  H().set_level_music("IkaemosExt");
  H().set_game_stage(5);
}
void ikaemosext_frame() { intro(L_IKAEMOS_EXT, "ikaemos_intro", "Nar-Ikaemos"); }
void ikaemosext2_init() {
  H().set_game_stage(15);
  H().set_level_music("IkaemosExt");
}
void ikaemosext2_frame() { intro(L_IKAEMOS_EXT2, "ikaemos2_intro", "Nar-IkaemosAct4"); }
void ikaemosbottomint_init() {
  H().set_level_music("IkaemosPalace");
  H().set_game_stage(5);
}

uint8_t Ikaemos_boss_music = 0, Ikaemos_level_music = 0;
void ikaemostopint_init() {
  H().set_level_music("IkaemosPalace");
  H().set_game_stage(5);
  if (H().flag(L_IKAEMOS_TOP_INT, "ikaemos_main_door")) H().door_set("Door02-01", true);
  if (H().flag(L_IKAEMOS_TOP_INT, "ikaemos_boss_killed")) H().character_show("Ikaemos Priest King", false);
  Ikaemos_boss_music = Ikaemos_level_music = 0;
}
void priest_king_released() {
  H().character_resume("Ikaemos Priest King");
  H().exits_enable("ikaemosext", nullptr, false);
}
void ikaemostopint_frame() {
  int L = L_IKAEMOS_TOP_INT;
  bool all = true;
  for (int i = 1; i <= 4; i++) {
    char f[24];
    std::snprintf(f, sizeof f, "ikaemos_slot%d", i);
    all = all && H().flag(L, f);
  }
  if (all && first_time(L, "ikaemos_main_door")) H().door_set("Door02-01", true);
  if (H().flag(L, "ikaemos_main_door") && !H().flag(L, "ikaemos_found_boss") && H().leader_near("$ipktrigger", 3.0f)) {
    H().set_flag(L, "ikaemos_found_boss", true);
    H().cutscene("IkmsPKing-Intro", priest_king_released);
  }
  if (H().flag(L, "ikaemos_found_boss") && !Ikaemos_boss_music) {
    Ikaemos_boss_music = 1;
    H().play_music("Boss", true);
  }
  if (H().flag(L, "ikaemos_found_boss") && !H().flag(L, "ikaemos_boss_killed") &&
      H().character_dead("Ikaemos Priest King") && H().item_count("Ring of Stone") > 0) {
    H().set_flag(L, "ikaemos_boss_killed", true);
    ring_reward(L_IKAEMOS_TOP_INT, "got_ring_of_stone", nullptr, "Ruvizo acquired Summon Golem!");
    H().exits_enable("ikaemosext", nullptr, true);
  }
  if (H().flag(L, "ikaemos_boss_killed") && !Ikaemos_level_music) {
    Ikaemos_level_music = 1;
    H().play_music("IkaemosPalace", true);
  }
  if (!H().in_cutscene() && H().leader_near("$statue", 5.0f))
    H().hero_say("Ruvizo", "There's something strange about this statue.", 5.0f);
}
bool ikaemostopint_use(const char* name) {
  for (int i = 1; i <= 4; i++) {
    char slot[24], f[24];
    std::snprintf(slot, sizeof slot, "Puzzle-Slot%02d", i);
    if (!same_name(name, slot)) continue;
    std::snprintf(f, sizeof f, "ikaemos_slot%d", i);
    if (H().flag(L_IKAEMOS_TOP_INT, f)) H().hero_say("Ruvizo", "We've unlocked it already.", 5.0f);
    else H().set_flag(L_IKAEMOS_TOP_INT, f, true);
    return true;
  }
  if (same_name(name, "Odovar02") || same_name(name, "Box01")) {
    H().hero_say("Ruvizo", "There are four dagger slots at the base of this statue.", 5.0f);
    return true;
  }
  if (same_name(name, "ikaemosext") && !H().flag(L_IKAEMOS_TOP_INT, "got_ring_of_stone"))
    H().hero_say("Ruvizo", "I need to get the ring of stone!", 5.0f);
  return false;
}

// Titus: immune until the party holds the Ring of Stone.
int32_t Titus_timer = 0;
uint8_t Titus_music = 0, Titus_level_music = 0;
void ikaemosbottomint2_init() {
  H().set_level_music("IkaemosPalace");
  H().set_game_stage(15);
  Titus_timer = H().clock() + 20000;
  Titus_music = Titus_level_music = 0;
  if (H().flag(L_IKAEMOS_BOTTOM_INT2, "trapped_titus")) H().character_show("Titus", false);
  else H().set_flag(L_IKAEMOS_BOTTOM_INT2, "titus_intro", false);
}
void titus_released() {
  H().character_resume("Titus");
  Titus_timer = H().clock() + 30000;
}
void titus_gone() { H().character_show("Titus", false); }
void ikaemosbottomint2_frame() {
  int L = L_IKAEMOS_BOTTOM_INT2;
  bool trapped = H().flag(L, "trapped_titus");
  if (!trapped && first_time(L, "titus_intro")) {
    H().cutscene("Titus-Intro", titus_released);
    return;
  }
  if (!trapped && !Titus_music) {
    Titus_music = 1;
    H().play_music("Titus", true);
  }
  bool ring = H().item_count("Ring of Stone") > 0;
  if (!trapped && !ring && H().clock() >= Titus_timer) {
    H().hero_say("Zazuru", "He's immune to our attacks!", 5.0f);
    Titus_timer = H().clock() + 25000;
  }
  if (!trapped && ring && H().character_dead("Titus")) {
    H().character_kill("Titus");
    H().set_flag(L, "trapped_titus", true);
    H().cutscene("Titus-Death", titus_gone);
    trapped = true;
  }
  if (trapped && !Titus_level_music) {
    Titus_level_music = 1;
    H().play_music("IkaemosPalace", true);
  }
}
}  // namespace

void temple_statics_reset() {
  for (bool& p : Myth_pending) p = false;
  Eavesdrop_pending = false;
  Temple_boss_music = Temple_level_music = 0;
  Act4_intro_started = false;
  Ending_started = false;
  Questions_played = 0;
  Ikaemos_boss_music = Ikaemos_level_music = 0;
  Titus_timer = 0;
  Titus_music = Titus_level_music = 0;
}

void temple_scripts_install() {
  LevelHook E = level_script_empty_hook;
  LevelUseHook F = level_script_false_hook;
  LevelEventHook EE = level_script_empty_event;
  level_script_set_hooks(L_TEMPLE_INT, templeint_init, templeint_frame, E, templeint_use, nullptr, templeint_event);
  level_script_set_hooks(L_TEMPLE_INT2, templeint2_init, templeint2_frame, E, templeint2_use, nullptr, EE);
  level_script_set_hooks(L_IKAEMOS_EXT, ikaemosext_init, ikaemosext_frame, E, F, nullptr, EE);
  level_script_set_hooks(L_IKAEMOS_TOP_INT, ikaemostopint_init, ikaemostopint_frame, E, ikaemostopint_use, nullptr,
                         EE);
  level_script_set_hooks(L_IKAEMOS_BOTTOM_INT, ikaemosbottomint_init, E, E, F, nullptr, EE);
  level_script_set_hooks(L_IKAEMOS_EXT2, ikaemosext2_init, ikaemosext2_frame, E, F, nullptr, EE);
  level_script_set_hooks(L_IKAEMOS_BOTTOM_INT2, ikaemosbottomint2_init, ikaemosbottomint2_frame, E, F, nullptr, EE);
}

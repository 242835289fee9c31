// Masad, the tutorial village of a new game, and the developer's test level.
#include "levelscripts/Scripts/story_common.h"

namespace {
uint8_t Victory_music = 0;
uint8_t Boss_music = 0;

bool tutorial_variant() { return !same_name(H().script_variant(), "masad_v2"); }

void open_all_barriers() {
  for (const char* door : {"invis-door01", "invis-door02", "invis-door03"}) H().two_stage_set(door, true);
}

void masad_init() {
  Victory_music = Boss_music = 0;
  bool p2 = H().flag(L_MASAD, "masad_basic_combat_tutorial_part2");
  H().two_stage_set("invis-door01", p2);
  H().two_stage_set("invis-door02", true);
  H().two_stage_set("invis-door03", true);
  H().effect_show("masad-firedoor1.vfx", false);
  if (p2) H().effect_show("masad-firedoor2.vfx", false);
  H().set_level_music("masad");
  if (tutorial_variant()) {
    H().exits_enable("worldmap1", nullptr, false);
    return;
  }
  H().set_game_stage(0);
  for (const char* fx : {"masad-firedoor1.vfx", "masad-firedoor2.vfx", "masad-fire1.vfx"}) H().effect_show(fx, false);
  Victory_music = Boss_music = 1;
  open_all_barriers();
}

void intro_done() { H().characters_ai_off("CS#"); }
void pre_intro_done() { H().cutscene("Game-Intro", intro_done); }

void masad_frame() {
  if (!tutorial_variant()) return;
  if (!H().flag(L_MASAD, "masad_flag_gathering") && H().character_leader_distance("Nath") <= 10.0f) {
    H().set_flag(L_MASAD, "masad_flag_gathering", true);
    for (const char* who : {"Khag", "Uvala", "Nath"}) H().character_order(who, 15, 2);
  }
  if (!H().flag(L_MASAD, "masad_talked_to_nath") && !H().in_conversation() && H().leader_near("$nath_trigger", 3.0f)) {
    H().set_flag(L_MASAD, "masad_talked_to_nath", true);
    H().character_talk("Nath");
  }
  if (!H().flag(L_MASAD, "masad_intro")) {
    H().character_equip(nullptr, "Tunic");
    H().set_flag(L_MASAD, "masad_intro", true);
    H().cutscene("Game-Pre-Intro", pre_intro_done);
  }
  if (H().character_dead("Barbarian Fighter#$npc037") && Victory_music == 0) {
    Victory_music = 1;
    H().play_music("masad", true);
  }
  if (H().flag(L_MASAD, "masad_barb")) {
    if (Boss_music == 0 && !H().ui_paused()) {
      Boss_music = 1;
      H().play_music("Boss", true);
    }
  } else if (!H().in_cutscene() && H().flag(L_MASAD, "masad_talked_to_nath") && H().leader_near("$cuttrig", 2.5f)) {
    H().set_flag(L_MASAD, "masad_barb", true);
    H().cutscene("Barbarian-Intro", nullptr);
    H().character_resume("Barbarian Fighter#$npc037");
  }
}

void masad_exit() {}

void leaving_masad_done() { H().load_level("worldmap1", "worldmap1", 2); }

bool masad_use(const char* name) {
  if (same_name(name, "worldmap1") && H().character_dead("Barbarian Fighter#$npc037"))
    H().cutscene("Nar-Leaving-Masad", leaving_masad_done);
  return false;
}

void masad_event(const ScriptEvent* e) {
  if (event_is(e, "TalkNath")) H().set_flag(L_MASAD, "MASAD_TALKED_TO_NATH", true);
  else if (event_is(e, "LaekhoCall")) H().character_order("Kasdrian Scout#$npc014", 15, 1);
  else if (event_is(e, "KillAesik")) H().character_order("Aesik", 15, 1);
}

// The developer's level: a jump to the last stage, with the two debug
// switches on for the visit.
bool Test_saved[2] = {false, false};
bool Test_switch[2] = {false, false};
int Test_third = 0;

void test_init() {
  if (!H().developer_mode()) return;
  Test_saved[0] = Test_switch[0];
  Test_saved[1] = Test_switch[1];
  Test_switch[0] = Test_switch[1] = true;
  Test_third = 1;
  H().set_game_stage(22);
}
void test_exit() {
  if (!H().developer_mode()) return;
  Test_switch[0] = Test_saved[0];
  Test_switch[1] = Test_saved[1];
}
void test_frame() {
  if (!H().developer_mode()) return;
  H().hud_text("test level");
  if (H().leader_wields("Katana")) H().hero_say("Ruvizo", "I'm wielding a katana.", 0.5f);
}
}  // namespace

void masad_statics_reset() {
  Victory_music = Boss_music = 0;
  Test_switch[0] = Test_switch[1] = false;
  Test_third = 0;
}

void masad_scripts_install() {
  level_script_set_hooks(L_MASAD, masad_init, masad_frame, masad_exit, masad_use, nullptr, masad_event);
  level_script_set_hooks(L_TEST, test_init, test_frame, test_exit, level_script_false_hook, nullptr,
                         level_script_empty_event);
}

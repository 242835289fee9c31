#include "tools/writers/script_table_writers.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
}  // namespace


// Every name the level scripts read or write, under the level the scripts
// address it by (a name belongs to the first level declaring it, so each
// appears once). The hook sweep of the story's tests checks this list.
std::vector<EventLevel> story_event_declarations() {
  return {
      {"Vozido",
       {"die_haidi_die", "found_rivadara2", "got_draught", "vozido_intro"},
       {},
       {}},
      {"Catacombs",
       {"ball1_used", "ball2_used", "carados_cutscene", "catacombs_boss_dead", "catacombs_flag_bones_comment", "catacombs_flag_intro_played", "CATACOMBS_FLAG_ODRIN_COMMENT", "catacombs_flag_statues_comment", "CATACOMBS_FLAG_WAY_COMMENT", "got_ring_of_light", "main_crypt_open", "maindoor_open"},
       {},
       {}},
      {"test",
       {"extra_1", "extra_2", "extra_3", "extra_4", "extra_5", "extra_6", "extra_7", "extra_8"},
       {},
       {}},
      {"masad",
       {"masad_barb", "masad_basic_combat_tutorial_part2", "masad_flag_gathering", "masad_intro", "masad_talked_to_nath"},
       {},
       {}},
      {"worldmap1",
       {"found_khosani"},
       {"worldmap_last_pos_plane"},
       {"worldmap_last_pos_heading", "worldmap_last_pos_x", "worldmap_last_pos_y", "worldmap_last_pos_z"}},
      {"thalem1b",
       {"got_ikaemos_map", "ivane_unhide_evien", "thalem_slums_flag_ken_speaks", "thalem_slums_flag_prost1_speaks", "thalem_slums_flag_prost2_speaks", "thalem_slums_got_salamanka_quest"},
       {},
       {}},
      {"thalem1c",
       {"thalem1c_flag_found_rivud"},
       {},
       {}},
      {"thalem1d",
       {"act2_intro", "got_iven", "iven_quest", "thalem1d_mq_talked_to_captain", "unhide_zane"},
       {},
       {}},
      {"sewer",
       {"sewer_flag_found_crate", "sewer_found_tb", "sewer_grate_open", "sewers_flag_crate_comment", "sewers_flag_different_comment", "sewers_flag_doll_comment", "sewers_flag_passage_comment", "sewers_flag_smell_comment", "sewers_flag_where_comment", "tb_killed"},
       {},
       {}},
      {"rand-hills01",
       {"phoenix_dismount_played", "phoenix_intro_played", "phoenix_killed", "phoenix_killed2"},
       {},
       {}},
      {"IkaemosTopInt",
       {"got_ring_of_stone", "ikaemos_boss_killed", "ikaemos_found_boss", "ikaemos_main_door", "ikaemos_slot1", "ikaemos_slot2", "ikaemos_slot3", "ikaemos_slot4"},
       {},
       {}},
      {"IkaemosExt",
       {"ikaemos_intro"},
       {},
       {}},
      {"KhosaniLab",
       {"got_ring_of_fire", "room1", "room1_killed", "room1_stepped", "room2", "room2_door1", "room2_door2", "room2_door3", "room2_door4", "room2_killed", "room4", "room4_finished", "room4_started", "room5", "room7", "room7_door1", "room7_door2", "room7_door3", "room7_door4", "room7_finished", "room7_killed", "sal_killed", "sal_trans1", "sal_trans2", "salstart"},
       {},
       {}},
      {"OdrinExt",
       {"odrin_ext_flag_chick_cam", "odrin_ext_flag_sweep", "odrin_ext_flag_wood_cam", "odrin_ext_found_rivadara", "odrin_ext_played_intro"},
       {},
       {}},
      {"VozidoCaverns",
       {"got_ring_of_water", "wc_nali_used", "wc_near_plants", "wc_piaobo_human", "wc_picked_up_ring"},
       {},
       {}},
      {"TempleInt",
       {"act2_done", "sornehan_played", "tiger_dismount_played", "tiger_intro_played", "tiger_killed"},
       {},
       {}},
      {"rand-forest01",
       {"crone_mq_gave_rose", "nhuvasarim_mq_bought_page7"},
       {},
       {}},
      {"rand-forestnite1",
       {"ghost_dismount_played", "ghost_intro_played", "ghost_killed", "ghost_killed2"},
       {},
       {}},
      {"Shenwu",
       {"got_ring_of_forest", "li_intro", "phoenix_dead", "phoenix_serpent", "poisoned", "serpent_dead", "shenwu_flag_bones_comment", "shenwu_flag_finished_quest", "shenwu_flag_give_sword", "shenwu_flag_grave_comment", "shenwu_flag_lair_comment", "shenwu_flag_noise_comment", "shenwu_flag_pit_comment", "shenwu_flag_shrine_comment", "shenwu_flag_stone_comment", "shenwu_flag_village_comment", "shenwu_flag_wave1", "shenwu_flag_wave2", "shenwu_flag_wave3", "shenwu_flag_wave4", "shrine_talk", "soldier_talk"},
       {},
       {}},
      {"OdrinExt02",
       {"deviziv_intro", "found_tessam", "rvda_gl", "trapped_deviziv"},
       {},
       {}},
      {"KhosaniStrng",
       {"act4_intro", "buy_seeds", "khosani_intro", "khosani_strng_dizavadi", "khosani_strng_dizavadi2", "khosani_strng_gate1", "khosani_strng_gate2", "khosani_strng_guardian1", "khosani_strng_guardian2", "khosani_strng_talked_to_portal", "khosanistrng_haenulquest", "open_tessam", "ready_for_end"},
       {},
       {}},
      {"LPalaceInt",
       {"found_aoqi", "found_zazuru", "got_dagger_quest", "got_ring_of_darkness", "got_suit", "lpalaceint_mq_gave_lanterns", "lpalaceint_talked_to_ruvizo", "lpalaceint_tessam_found", "talked_to_tessam"},
       {"lpalaceint_int_sneak_attempts"},
       {}},
      {"tancredhouse",
       {"found_galienne"},
       {},
       {}},
      {"LPalaceInt02",
       {"bothdead", "galienne_dead", "got_scrolls", "sgintro", "sornehan_dead"},
       {},
       {}},
      {"KhosaniLab2",
       {"pyrulstart", "trapped_pyrul"},
       {},
       {}},
      {"Vozido2",
       {"got_ring_of_wind", "vozido2_charge", "vozido2_fight1_won", "vozido2_fight2_won", "vozido2_fight3_won", "vozido2_fight4_won", "vozido2_force_alert", "vozido2_force_recruit", "vozido2_pijian", "vozido2_pijian_intro", "vozido2_reinforce"},
       {},
       {}},
      {"eleh",
       {"eleh_intro", "found_ruvizo"},
       {},
       {}},
      {"thalem2aa",
       {"thalem2aa_flag_vengence_done", "thalem2aa_flag_victim_dead"},
       {},
       {}},
      {"thalem2ab",
       {"thalem2ab_flag_ask_help", "thalem2ab_flag_escort_1", "thalem2ab_flag_escort_agree", "thalem2ab_flag_escort_complete"},
       {},
       {}},
      {"thalem3d",
       {"thalem3_intro"},
       {},
       {}},
      {"jadetemple",
       {"calvek_dead", "calvek_intro", "calvek_xform", "ghost2_dead", "ghost_dead", "got_laharah_spirit", "got_ring_of_jade", "phoenix2_dead", "serpent2_dead", "tg_intro", "tiger2_dead", "tiger_dead"},
       {},
       {}},
      {"thalem1aa",
       {"thalem1aa_zazuru_talk", "thalem_flag_cart_played", "unhide_korel"},
       {},
       {}},
      {"TempleInt2",
       {"mach_intro", "mach_killed", "ruvizo_killed", "zhorek_killed"},
       {},
       {}},
      {"IkaemosExt2",
       {"ikaemos2_intro"},
       {},
       {}},
      {"IkaemosBottomInt2",
       {"titus_intro", "trapped_titus"},
       {},
       {}},
      {"Rand-Grassland01",
       {"no_more_korel", "no_more_zane"},
       {},
       {}},
      {"Rand-Kasdria01",
       {"ahlang_quest_done"},
       {},
       {}},
      {"Rand-KasdriaNite01",
       {"cat_quest_done"},
       {},
       {}},
      {"thalem2d",
       {"pedrog_talk"},
       {},
       {}},
  };
}

namespace {
bool declared(const std::vector<EventLevel>& levels, const std::string& name) {
  auto same = [&](const std::string& n) { return strcasecmp(n.c_str(), name.c_str()) == 0; };
  for (const EventLevel& l : levels)
    for (const auto* list : {&l.flags, &l.ints, &l.floats})
      for (const std::string& n : *list)
        if (same(n)) return true;
  return false;
}
}  // namespace

std::vector<EventLevel> game_event_declarations() {
  std::vector<EventLevel> levels = {
      {"Vozido", {"found_rivadara2"}, {}, {}},
      {"Catacombs", {"got_ring_of_light"}, {}, {}},
      {"worldmap1", {}, {}, {}},
      {"thalem1c", {"thalem1c_flag_found_rivud"}, {}, {}},
      {"sewer", {"sewer_grate_open", "sewer_found_tb"}, {}, {}},
      {"IkaemosTopInt", {"got_ring_of_stone"}, {}, {}},
      {"KhosaniLab", {"got_ring_of_fire", "room8"}, {}, {}},
      {"OdrinExt", {"odrin_ext_found_rivadara"}, {}, {}},
      {"VozidoCaverns", {"got_ring_of_water"}, {}, {}},
      {"TempleInt", {"act2_done"}, {}, {}},
      {"Shenwu", {"got_ring_of_forest"}, {}, {}},
      {"OdrinExt02", {"trapped_deviziv", "found_tessam"}, {}, {}},
      {"KhosaniStrng", {"ready_for_end"}, {}, {}},
      {"LPalaceInt", {"got_ring_of_darkness", "lpalaceint_tessam_found", "found_zazuru"}, {}, {}},
      {"tancredhouse", {"found_galienne"}, {}, {}},
      {"LPalaceInt02", {"got_scrolls"}, {}, {}},
      {"KhosaniLab2", {"trapped_pyrul", "pyrulstart"}, {}, {}},
      {"Vozido2", {"got_ring_of_wind"}, {}, {}},
      {"eleh", {"found_ruvizo"}, {}, {}},
      {"jadetemple", {"got_ring_of_jade", "got_laharah_spirit"}, {}, {}},
      {"TempleInt2", {"mach_intro"}, {}, {}},
      {"IkaemosBottomInt2", {"trapped_titus"}, {}, {}},
  };
  EventLevel& world = levels[2];
  for (const char* ring : {"dark", "light", "fire", "stone", "water", "wind", "forest", "jade"})
    world.ints.push_back(std::string(ring) + "_ring_xp");
  for (int hero = 0; hero < 4; hero++) {
    for (int i = 0; i < 4; i++) {
      char name[32];
      std::snprintf(name, sizeof name, "chainconfig%d%d", hero, i);
      world.ints.push_back(name);
      std::snprintf(name, sizeof name, "chainpts%d%d", hero, i);
      world.ints.push_back(name);
    }
  }
  for (const EventLevel& story : story_event_declarations()) {
    EventLevel* into = nullptr;
    for (EventLevel& l : levels)
      if (strcasecmp(l.level.c_str(), story.level.c_str()) == 0) into = &l;
    if (!into) {
      levels.push_back({story.level, {}, {}, {}});
      into = &levels.back();
    }
    auto add = [&](const std::vector<std::string>& from, std::vector<std::string>& to) {
      for (const std::string& n : from)
        if (!declared(levels, n)) to.push_back(n);
    };
    add(story.flags, into->flags);
    add(story.ints, into->ints);
    add(story.floats, into->floats);
  }
  return levels;
}

std::vector<EventQuest> demo_quests() {
  return {
      {"The Lost Rings", true, {{"Find the Ring of Darkness.", "got_ring_of_darkness"}, {"Find the Ring of Light.", "got_ring_of_light"}}, ""},
      {"Grate of the Sewers", false, {{"Open the sewer grate.", "sewer_grate_open"}, {"Find what lies below.", "sewer_found_tb"}}, "got_scrolls"},
  };
}

std::string demo_events_text(const std::vector<EventLevel>& levels, const std::vector<EventQuest>& quests) {
  std::string t = "// Named flags, integers and floats of each level, then the quests.\r\n";
  for (const EventLevel& l : levels) {
    t += "$Level: " + quoted(l.level) + "\r\n";
    for (const auto& f : l.flags) t += "+Flag: " + quoted(f) + "\r\n";
    for (const auto& i : l.ints) t += "+Int: " + quoted(i) + "\r\n";
    for (const auto& f : l.floats) t += "+Float: " + quoted(f) + "\r\n";
  }
  t += "#End\r\n";
  for (const EventQuest& q : quests) {
    t += "$Quest: " + quoted(q.name) + "\r\n";
    if (q.main_quest) t += "+Main quest\r\n";
    for (const auto& s : q.stages) {
      t += "+Stage: " + quoted(s.first) + "\r\n";
      if (!s.second.empty()) t += "+Flag: " + quoted(s.second) + "\r\n";
    }
    if (!q.invalidate.empty()) t += "+Invalidate: " + quoted(q.invalidate) + "\r\n";
  }
  t += "#End\r\n";
  return t;
}

std::string script_filenames_text(const std::vector<ScriptFileLevel>& levels) {
  std::string t;
  for (const ScriptFileLevel& l : levels) {
    t += "$Level: " + quoted(l.level) + "\r\n";
    for (const ScriptFileEntry& e : l.entries) {
      t += "+Script: " + quoted(e.script) + "\r\n";
      if (e.dialogue1 || e.dialogue2)
        t += "+Dialogue: " + std::to_string(e.dialogue1) + " " + std::to_string(e.dialogue2) + "\r\n";
      if (e.level_cap >= 0) t += "+Levelcap: " + std::to_string(e.level_cap) + "\r\n";
    }
  }
  t += "#End\r\n";
  return t;
}

std::string level_items_text(const std::vector<LevelItemSpec>& items) {
  std::string t = "#Level Items\r\n";
  std::vector<std::string> levels;
  for (const auto& i : items)
    if (std::find(levels.begin(), levels.end(), i.level) == levels.end()) levels.push_back(i.level);
  for (const auto& level : levels) {
    t += "#Level: " + quoted(level) + "\r\n";
    for (const auto& i : items) {
      if (i.level != level) continue;
      t += "$Name: " + quoted(i.name) + "\r\n$Script: " + quoted(i.script) + "\r\n$Item: " + quoted(i.item) +
           "\r\n$Navpoint: " + quoted(i.navpoint) + "\r\n";
      if (i.count != 1) t += "+Count: " + std::to_string(i.count) + "\r\n";
      if (!i.event_flag.empty()) t += "+Event: " + quoted(i.event_level) + " " + quoted(i.event_flag) + "\r\n";
    }
  }
  t += "#End\r\n";
  return t;
}

namespace {
std::string number(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}
}  // namespace

std::string demo_script_text(bool town, const std::vector<ScriptNavpointSpec>& navpoints,
                             const std::vector<ScriptCharacterSpec>& characters,
                             const std::vector<ScriptDoorSpec>& doors) {
  std::string t = town ? "#Town\r\n" : "";
  t += "#Navpoints\r\n$Num navpoints: " + std::to_string(navpoints.size()) + "\r\n";
  for (const auto& n : navpoints) {
    t += "$Name: " + quoted(n.name) + "\r\n";
    if (!n.type.empty()) t += "$Type: " + quoted(n.type) + "\r\n";
    t += "$Position: <" + number(n.x) + ", " + number(n.y) + ", " + number(n.z) + ">\r\n";
    const float c = std::cos(n.heading), s = std::sin(n.heading);
    t += "$Orientation: [<" + number(c) + ", 0.0, " + number(-s) + ">, <0.0, 1.0, 0.0>, <" + number(s) + ", 0.0, " +
         number(c) + ">]\r\n";
  }
  t += "#Objects\r\n";
  for (const auto& c : characters) {
    t += "$Name: " + quoted(c.name) + "\r\n$Start position: " + quoted(c.start) + "\r\n$Character: " +
         quoted(c.character) + "\r\n";
    if (c.monster) t += "+Monster\r\n";
    for (const auto& a : c.actions) t += "+Action: " + a + "\r\n";
  }
  if (!doors.empty()) t += "#Doors\r\n";
  for (const auto& d : doors) {
    t += "$Door: " + quoted(d.mesh) + "\r\n";
    if (d.locked != 0.0f || !d.key.empty()) t += "+Locked: " + number(d.locked) + "\r\n";
    if (!d.key.empty()) t += "+Key: " + quoted(d.key) + "\r\n";
  }
  t += "#End\r\n";
  return t;
}

std::string level_data_text(const std::vector<std::string>& effects, const std::vector<LevelTriggerSpec>& triggers,
                            const std::vector<ShopkeeperSpec>& shopkeepers,
                            const std::vector<AmbientSoundSpec>& ambient, const LevelFogSpec& fog) {
  std::string t = "#Effects\r\n";
  for (const auto& e : effects) t += "$Level_fx: " + quoted(e) + "\r\n";
  if (!ambient.empty()) {
    t += "#Ambient Sounds\r\n";
    for (const auto& a : ambient) t += "$Ambient: " + quoted(a.sound) + " " + quoted(a.navpoint) + "\r\n";
  }
  t += "#Triggers\r\n";
  for (const auto& g : triggers) {
    t += "$Trigger: " + quoted(g.name) + "\r\n";
    if (g.multi) t += "+Multi\r\n";
    t += "+Id: " + quoted(g.kind) + "\r\n";
    if (!g.script.empty()) t += "+Script: " + quoted(g.script) + "\r\n";
    if (!g.ref_name.empty()) t += "+RefName: " + quoted(g.ref_name) + "\r\n";
    if (g.index >= 0) t += "+Index: " + std::to_string(g.index) + "\r\n";
    t += "+Type: " + quoted(g.shape) + "\r\n";
    if (g.plane >= 0) t += "+Plane: " + std::to_string(g.plane) + "\r\n";
    if (g.shape == "location") {
      t += "+Location: " + quoted(g.location) + "\r\n+Radius: " + number(g.radius) + "\r\n";
    } else if (!g.spline.empty()) {
      t += "+Spline name: " + quoted(g.spline) + "\r\n";
    }
  }
  t += "#Shopkeepers\r\n";
  for (const auto& k : shopkeepers) {
    t += "$Shopkeeper: " + quoted(k.character) + "\r\n";
    if (!k.sell.empty()) {
      t += "+Sell List:\r\n";
      for (const auto& i : k.sell) t += "  " + quoted(i) + "\r\n";
      t += "$End\r\n";
    }
    if (!k.buy.empty()) {
      t += "+Buy List:\r\n";
      for (const auto& i : k.buy) t += "  " + quoted(i) + "\r\n";
      t += "$End\r\n";
    }
  }
  if (fog.far_dist > 0.0f) {
    t += "#Fog\r\n+Color: " + std::to_string(fog.r) + " " + std::to_string(fog.g) + " " + std::to_string(fog.b) +
         "\r\n+Fog Near: " + number(fog.near_dist) + "\r\n+Fog Far: " + number(fog.far_dist) + "\r\n";
    if (!fog.eax.empty()) t += "+EAX: " + quoted(fog.eax) + "\r\n";
  }
  t += "#End\r\n";
  return t;
}

std::string automap_section_text(const std::vector<AutomapMapSpec>& maps) {
  std::string t = "#Automap\r\n";
  for (const AutomapMapSpec& m : maps)
    t += "$AutomapPC: " + quoted("$layer" + std::to_string(m.zone)) + " " + std::to_string(m.map) + " " +
         quoted(m.bitmap) + "\r\n";
  return t;
}

std::string level_data_with_automap(const std::string& level_data, const std::vector<AutomapMapSpec>& maps) {
  const size_t end = level_data.rfind("#End");
  if (end == std::string::npos) return level_data + automap_section_text(maps) + "#End\r\n";
  return level_data.substr(0, end) + automap_section_text(maps) + level_data.substr(end);
}

std::string automap_labels_text(const std::vector<AutomapLabelSection>& sections) {
  std::string t;
  for (const AutomapLabelSection& s : sections) {
    t += "#Script: " + quoted(s.script) + "\r\n\r\n";
    for (const AutomapLabelSpec& l : s.labels) {
      char pos[96];
      std::snprintf(pos, sizeof pos, "\t$Pos:\t\t%f, %f\r\n", static_cast<double>(l.x), static_cast<double>(l.z));
      t += "\t$Label:\t" + quoted(l.text) + "\r\n\t$Type:\t" + quoted(l.type) + "\r\n" + pos + "\t$Layer:\t" +
           std::to_string(l.layer) + "\r\n\r\n";
    }
  }
  return t + "#End\r\n";
}

#include "tools/writers/script_table_writers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
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
                             const std::vector<ScriptCharacterSpec>& characters) {
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
  t += "#End\r\n";
  return t;
}

std::string level_data_text(const std::vector<std::string>& effects, const std::vector<LevelTriggerSpec>& triggers,
                            const std::vector<ShopkeeperSpec>& shopkeepers) {
  std::string t = "#Effects\r\n";
  for (const auto& e : effects) t += "$Level_fx: " + quoted(e) + "\r\n";
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
  t += "#End\r\n";
  return t;
}

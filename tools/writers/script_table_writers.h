#pragma once
// Writers of the level-scripting tables: demo_events.tbl (the story's named
// flags, integers, floats and quests, per level), script_filenames.tbl (each
// level's arrival scripts) and level_items.tbl. The game's declarations come
// from one list here, so the demo and the tests declare the same names.
#include <string>
#include <vector>

struct EventLevel {
  std::string level;
  std::vector<std::string> flags, ints, floats;
};
struct EventQuest {
  std::string name;
  bool main_quest = false;
  // Stage texts with their flag (empty: none), in order.
  std::vector<std::pair<std::string, std::string>> stages;
  std::string invalidate;  // flag name, empty: none
};

// Every name the game's code reads or writes: the story flags of the game
// stages and save rules, and the game-wide integers under "worldmap1" (ring
// experience, the heroes' chain-skill settings).
std::vector<EventLevel> game_event_declarations();
// The names of the level scripts alone, by level (merged into the above).
std::vector<EventLevel> story_event_declarations();
// A few quests of the demo world.
std::vector<EventQuest> demo_quests();
std::string demo_events_text(const std::vector<EventLevel>& levels, const std::vector<EventQuest>& quests);

struct ScriptFileEntry {
  std::string script;
  int dialogue1 = 0, dialogue2 = 0;
  int level_cap = -1;  // -1: no "+Levelcap:"
};
struct ScriptFileLevel {
  std::string level;
  std::vector<ScriptFileEntry> entries;
};
std::string script_filenames_text(const std::vector<ScriptFileLevel>& levels);

// level_items.tbl: one "#Level:" section per level, in the order first met.
struct LevelItemSpec {
  std::string level, name, script, item, navpoint;
  int count = 1;
  std::string event_level, event_flag;  // empty: no "+Event:"
};
std::string level_items_text(const std::vector<LevelItemSpec>& items);

// The per-level tables of the script runner: the demo script table
// ("<script>_demoscript.tbl": navpoints and script characters) and the level
// data table ("demo_<level>.tbl": level effects, triggers, shopkeepers).
struct ScriptNavpointSpec {
  std::string name;
  float x = 0, y = 0, z = 0;
  float heading = 0;  // about the vertical axis
  std::string type;   // empty: by the name
};
struct ScriptCharacterSpec {
  std::string name, start, character;
  bool monster = false;
  // Each "+Action:" line's text after the keyword, e.g. "\"walk to\" \"nav_b\"".
  std::vector<std::string> actions;
};
// A "#Doors" entry: the level mesh, and its lock (0: unlocked) and key item
// (empty: none).
struct ScriptDoorSpec {
  std::string mesh;
  float locked = 0;
  std::string key;
};
std::string demo_script_text(bool town, const std::vector<ScriptNavpointSpec>& navpoints,
                             const std::vector<ScriptCharacterSpec>& characters,
                             const std::vector<ScriptDoorSpec>& doors = {});
struct LevelTriggerSpec {
  std::string name;
  std::string kind = "load level";
  bool multi = false;
  std::string script;  // empty: none given
  std::string ref_name;
  int index = -1;      // -1: none given
  std::string shape = "location";
  int plane = -1;
  std::string location;  // navpoint of a location trigger
  float radius = 1.0f;
  std::string spline;    // spline of a spline trigger (empty: the name)
};
struct ShopkeeperSpec {
  std::string character;
  std::vector<std::string> sell, buy;
};
struct AmbientSoundSpec {
  std::string sound, navpoint;
};
// The level's whole fog ("+Fog Near:"/"+Fog Far:") and sound environment;
// no "#Fog" section when far is 0.
struct LevelFogSpec {
  int r = 0, g = 0, b = 0;
  float near_dist = 0, far_dist = 0;
  std::string eax;  // empty: none given
};
std::string level_data_text(const std::vector<std::string>& effects, const std::vector<LevelTriggerSpec>& triggers,
                            const std::vector<ShopkeeperSpec>& shopkeepers,
                            const std::vector<AmbientSoundSpec>& ambient = {}, const LevelFogSpec& fog = {});

// The level data table's "#Automap" section: one "$AutomapPC:" line per map
// ("$layer<zone>", the 1-based map number, its bitmap). level_data_text's
// text takes it just before its "#End" when the table has no fog.
struct AutomapMapSpec {
  int zone = 1;  // the "$layer" number
  int map = 1;
  std::string bitmap;
};
std::string automap_section_text(const std::vector<AutomapMapSpec>& maps);
std::string level_data_with_automap(const std::string& level_data, const std::vector<AutomapMapSpec>& maps);

// automap_labels.tbl: one "#Script:" section per level script with its
// labels, then "#End".
struct AutomapLabelSpec {
  std::string text;
  std::string type = "Permanent";
  float x = 0, z = 0;
  int layer = 0;
};
struct AutomapLabelSection {
  std::string script;
  std::vector<AutomapLabelSpec> labels;
};
std::string automap_labels_text(const std::vector<AutomapLabelSection>& sections);

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

std::string level_items_text(const std::vector<std::string>& names);

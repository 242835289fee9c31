#pragma once
// A world that saves: demo spells, items and quests, two levels (masad with
// the script "start", sewer with "down") and the party standing in masad.
// Header only: the test programs that use it link the game library.
#include <filesystem>
#include <fstream>
#include <string>

#include "Engine/gameflags.h"
#include "Orrimund/fs_paths.h"
#include "Orrimund/gamestate.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/game_tables.h"
#include "tests/support/test_files.h"
#include "tools/writers/script_table_writers.h"

inline void save_world_write(const std::filesystem::path& root, const std::string& rel, const std::string& text) {
  std::filesystem::create_directories((root / rel).parent_path());
  std::ofstream(root / rel, std::ios::binary) << text;
}

// Roots the file layer at `root` and writes the world's tables.
inline void save_world_setup(const std::filesystem::path& root) {
  vfile_shutdown();
  vfile_set_root(root.c_str(), false);
  fs_register_path_types();
  script_world_reset();
  GameFlags = GF_SINGLE_PLAYER;
  load_demo_spells_and_items();
  save_world_write(root, "data/tables/demo_events.tbl", demo_events_text(game_event_declarations(), demo_quests()));
  save_world_write(root, "data/tables/script_filenames.tbl",
                   script_filenames_text({{"masad", {{"start", 0, 0, 10}}}, {"sewer", {{"down", 0, 0, -1}}}}));
}

// After the caller's own tables: loads them and places the party.
inline bool save_world_start() {
  script_filenames_load();
  level_flags_init();
  savegame_init();
  return level_position_set_level("masad", "start");
}

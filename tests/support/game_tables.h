#pragma once
// Loads the demo's spell, material and item tables (the writers' own) from
// memory, so that character and item tests start from the tables the game
// ships. Header only: the test programs link the writers themselves.
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/spells.h"
#include "tools/writers/table_writers.h"

inline void load_demo_spells_and_items() {
  static const std::string spells = table_spells_text(table_demo_spells());
  static const std::string materials = table_materials_text();
  static const std::string items = table_items_text(table_demo_items());
  spells_load_text("spells.tbl", spells.data(), static_cast<int>(spells.size()));
  item_tables_init_text(materials.data(), static_cast<int>(materials.size()), items.data(),
                        static_cast<int>(items.size()));
}

// Parses a character table from text, starting from an empty character set.
inline Character_info* load_character(const std::string& text, bool reset = true) {
  if (reset) charinfo_reset();
  return charinfo_load_table_text("test.tbl", text.data(), static_cast<int>(text.size()));
}

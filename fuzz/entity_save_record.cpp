// A living entity's record as it comes from a save image: any bytes load
// whole or are refused with nothing changed, never a read past the record;
// what loads saves again within the save image's slot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_save.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/gameflags.h"
#include "tests/support/game_tables.h"
#include "tools/writers/table_writers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int types[2] = {-1, -1};
  static bool ready = [] {
    GameFlags = GF_SINGLE_PLAYER;
    objects_init();
    load_demo_spells_and_items();
    static const std::string xp = table_experience_text(table_demo_experience());
    experience_load_text("experience.tbl", xp.data(), static_cast<int>(xp.size()));
    charinfo_reset();
    const std::string rat = table_character_text(table_demo_creature("Rat", true));
    const std::string hero = table_character_text(table_demo_hero(1));
    types[0] = static_cast<int>(charinfo_load_table_text("rat.tbl", rat.data(), static_cast<int>(rat.size())) - Character_infos);
    types[1] = static_cast<int>(charinfo_load_table_text("hero.tbl", hero.data(), static_cast<int>(hero.size())) - Character_infos);
    party_inventory_init();
    return true;
  }();
  (void)ready;
  if (size < 1 || size > 4096) return 0;
  living_entities_reset();
  const bool player = data[0] & 1;
  const matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  living_entity* e = living_entity_create(player ? OBJ_PLAYER : OBJ_CREATURE, types[player ? 1 : 0],
                                          vector(0, 0, 0), m, 0, 1, true);
  if (!e) abort();
  const float hp = e->hp;
  const int n = e->load(data + 1, static_cast<int>(size - 1));
  if (n > static_cast<int>(size - 1)) abort();
  if (n < 0) {
    if (e->hp != hp) abort();
    return 0;
  }
  uint8_t out[SAVE_ENTITY_SLOT_SIZE];
  if (e->save(out, sizeof out) < 0) abort();
  living_entities_reset();
  return 0;
}

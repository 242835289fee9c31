// The tagged parts of the save that level scripting builds from the world
// systems itself: the party inventory ("INVT"). The other owners (entities,
// camera, containers) install theirs through the script world.
#include "levelscripts/save_parts.h"

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/saved_names.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"

namespace {

// Items renamed since saves were made are found under their new names.
int item_by_saved_checksum(uint32_t sum) {
  static const uint32_t brown = name_checksum("Brown Dragon Scale");
  static const uint32_t preservation = name_checksum("Ring of Preservation");
  if (sum == brown) sum = name_checksum("Gray Dragon Scale");
  else if (sum == preservation) sum = name_checksum("Preservation Ring");
  return item_lookup_by_checksum(sum);
}

bool save_inventory(SaveWriter& w) {
  w.put_tag("INVT");
  w.put_u32(Party_inventory.gold);
  int count = Party_inventory.count;
  if (count < 0) count = 0;
  if (count > SAVE_MAX_INVENTORY_ENTRIES) count = SAVE_MAX_INVENTORY_ENTRIES;
  w.put_u32(static_cast<uint32_t>(count));
  for (int i = 0; i < count; i++) {
    const InventoryEntry& e = Party_inventory.entries[i];
    const Item_info* info = e.item ? e.item->info : nullptr;
    w.put_u32(info ? name_checksum(info->name) : 0);
    w.put_u32(e.count);
    w.put_u32(static_cast<uint32_t>(e.item ? e.item->charges : 0));
  }
  w.put_u32(static_cast<uint32_t>(w.used() + 4));
  return w.ok();
}

bool load_inventory(SaveReader& r) {
  if (!r.tag_is("INVT")) return false;
  party_inventory_clear();
  Party_inventory.gold = r.get_u32();
  uint32_t count = r.get_u32();
  if (count > SAVE_MAX_INVENTORY_ENTRIES) return false;
  for (uint32_t i = 0; i < count; i++) {
    int index = item_by_saved_checksum(r.get_u32());
    uint32_t n = r.get_u32();
    int32_t charges = static_cast<int32_t>(r.get_u32());
    if (index < 0) {
      console_printf("Couldn't find item type!!!\n");
      return false;
    }
    party_inventory_add_by_index(index, static_cast<int>(n), charges, false);
  }
  uint32_t length = r.get_u32();
  return r.ok() && length == static_cast<uint32_t>(r.used());
}

}  // namespace

void save_parts_install() {
  Script_world.save_inventory = save_inventory;
  Script_world.load_inventory = load_inventory;
}

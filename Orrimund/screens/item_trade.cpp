#include "Orrimund/screens/item_trade.h"

#include <cstdio>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/objects.h"
#include "Orrimund/screens/screen_net.h"

namespace {

bool valid_item(int index) { return index >= 0 && index < Num_item_infos; }

// A use effect that can be charged again: more than one charge, or a single
// one that is not always used up.
bool rechargeable(const Item_info& info) {
  const ChargeEffect* e = info.use_effect;
  return e && (e->charges > 1 || e->disposable < 1.0f);
}

}  // namespace

BuyResult buysell_buy(const ShopPair& entry) {
  if (!valid_item(entry.item) || entry.price < 0) return BUY_BAD_ITEM;
  const uint32_t price = static_cast<uint32_t>(entry.price);
  if (Party_inventory.gold < price) return BUY_NO_GOLD;
  const Item_info& info = Item_infos[entry.item];
  const int held = party_inventory_find_by_index(entry.item);
  if (held >= 0 && rechargeable(info) && Party_inventory.entries[held].item &&
      Party_inventory.entries[held].item->charges >= info.use_effect->charges) {
    return BUY_FULLY_CHARGED;
  }
  Party_inventory.gold -= price;
  party_inventory_add_by_index(entry.item, 1, -1, true);
  return BUY_DONE;
}

bool buysell_sell(const ShopPair& entry) {
  if (entry.price < 0) return false;
  const int at = party_inventory_find_by_index(entry.item);
  if (at < 0) return false;
  const uint32_t price = static_cast<uint32_t>(entry.price);
  Party_inventory.gold = Party_inventory.gold > UINT32_MAX - price ? UINT32_MAX : Party_inventory.gold + price;
  InventoryEntry& e = Party_inventory.entries[at];
  if (e.count <= 1) party_inventory_remove(at, true, false);
  else e.count--;
  return true;
}

int buysell_sell_rows(const ShopkeeperRecord& merchant, int* rows, int capacity) {
  int n = 0;
  for (int i = 0; i < Party_inventory.count && n < capacity; i++) {
    const item_instance* item = Party_inventory.entries[i].item;
    if (!item) continue;
    for (int b = 0; b < merchant.buy_count; b++) {
      if (valid_item(merchant.buy[b].item) && &Item_infos[merchant.buy[b].item] == item->info) {
        rows[n++] = b;
        break;
      }
    }
  }
  return n;
}

int container_take(container_object* container, const uint8_t* marks, int mark_count) {
  if (!container || container->type == OBJ_FREE) return 0;
  // The marks belong to the positions shown; removing an item closes the gap
  // behind it, so the items are collected first and removed by pointer.
  ground_item* items[CONTAINER_ITEMS];
  int n = 0;
  for (int i = 0; i < container->count && i < CONTAINER_ITEMS; i++) items[n++] = container->get_item(i);
  uint8_t sent_marks[CONTAINER_ITEMS] = {};
  for (int i = 0; i < n && i < mark_count; i++) sent_marks[i] = marks[i] ? 1 : 0;
  // The others must see the same items leave, so the send comes before any
  // of them is moved.
  multi_send_container(container->handle, n, items, sent_marks);
  int total = 0;
  bool took = false;
  for (int i = 0; i < n && i < mark_count; i++) {
    ground_item* g = items[i];
    if (!marks[i] || !g) continue;
    container->remove_item(g);
    if (!g->is_gold()) total += g->quantity;
    party_inventory_pickup(g, false);
    took = true;
  }
  if (took) party_inventory_sort(Party_inventory.entries, Party_inventory.count);
  if (took && container->count == 0) container->deinit();
  return total;
}

void container_take_message(int total, char* out, int size) {
  if (size < 1) return;
  if (total <= 0) out[0] = 0;
  else if (total == 1) snprintf(out, size, "1 item picked up");
  else snprintf(out, size, "%d items picked up", total);
}

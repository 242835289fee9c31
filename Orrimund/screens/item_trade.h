#pragma once
// What the buy-and-sell and container screens do to the party inventory,
// apart from drawing: buying and selling at a merchant's fixed prices, and
// taking the marked items out of a container.
#include <cstdint>

#include "levelscripts/script_runner.h"

class container_object;

enum BuyResult { BUY_DONE, BUY_NO_GOLD, BUY_FULLY_CHARGED, BUY_BAD_ITEM };
// One of the merchant's sell-list entries into the party inventory for its
// price. A held charged item at its full charges is refused (the screen says
// "This item is fully charged."); buying one that is not full recharges it.
BuyResult buysell_buy(const ShopPair& entry);
// One held item of a buy-list entry sold for its price. False, with nothing
// changed, when the party no longer holds it (another player may have used
// the last one since the list was built).
bool buysell_sell(const ShopPair& entry);
// The sell mode's rows: indices into the merchant's buy list of the items
// the party holds, in party-inventory order. Returns the row count.
int buysell_sell_rows(const ShopkeeperRecord& merchant, int* rows, int capacity);

// Takes the container's marked items (marks by position, as shown when the
// screen opened) into the party inventory and re-sorts it once; an emptied
// container is removed. Returns the number of items picked up, gold not
// counted.
int container_take(container_object* container, const uint8_t* marks, int mark_count);
// "1 item picked up" / "%d items picked up"; empty for 0.
void container_take_message(int total, char* out, int size);

#pragma once
// The buy and sell screen (7): trade with the level's merchant at the fixed
// prices of its shopkeeper record; buy mode lists what it sells, sell mode
// what it buys that the party holds.
struct ShopkeeperRecord;

void buysell_screen_register();
// The merchant by shopkeeper record (null clears it).
void buysell_set_merchant_record(const ShopkeeperRecord* merchant);
const ShopkeeperRecord* buysell_merchant();

#pragma once
// The item info popup: a modal window over the inventory or the buy and sell
// screen with an item's name, its description in a scrolling window and its
// model. While it is open the screen under it hands it every key.
#include <string>

struct item_instance;

void item_info_level_init();
// From the bag or an equipment slot: the item stays the party's; its mesh
// is paged into the popup's paging slot and released on close.
void item_info_open_instance(item_instance* item);
// From a merchant's list: the popup makes its own instance of the
// definition and frees it on close. Nothing for an index outside the table.
void item_info_open_index(int index);
bool item_info_is_open();
void item_info_close();
void item_info_input(int key);
void item_info_render();

// For tests: the item shown, its description's line count, the first shown
// line, the window's line count at this resolution, and whether the scroll
// bar shows.
const item_instance* item_info_item();
int item_info_lines();
int item_info_scroll();
int item_info_visible_lines();
bool item_info_has_bar();

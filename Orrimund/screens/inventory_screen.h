#pragma once
// The inventory screen (screen 1): one party member's equipment in its slot
// windows and the party's shared bag as a scrolling list with category
// buttons. Drag a bag entry onto a window to equip it, drag out of a window
// to take the item off, right-click for Info, Identify, Use, Destroy. Opened
// with the identify flag it lists only the unidentified items.
#include "Orrimund/screens/screens.h"

class living_entity;

constexpr int INVENTORY_ROWS = 45;
extern const ScreenResource Inventory_rows[INVENTORY_ROWS];
extern ScreenButton Inventory_buttons[INVENTORY_ROWS];
// The row of each slot window, by InvWindow.
constexpr int INVENTORY_WINDOW_ROW0 = 18;

void inventory_screen_register();
// The member shown (null while the screen is closed).
living_entity* inventory_member();
// The party member at an in-party index (null none).
living_entity* screen_member_entity(int index);
// The bag list's rectangle of a row at this resolution, for tests and drawing.
void inventory_bag_row_rect(int visible_row, int* x, int* y, int* w, int* h);
int inventory_visible_rows();
int inventory_scroll_top();

#pragma once
// How the item screens show an item in a window and the member wearing it:
// the item's name in its window, and the member as a figure holding the
// weapon and shield it wears.
class living_entity;
struct Item_info;

void slot_view_draw(const Item_info* info, int x, int y, int w, int h);
void slot_view_draw_figure(const living_entity* e, int x, int y, int w, int h);

#pragma once
// The press rules the item, save and info screens share for their rows of
// buttons: a row's behaviour word says whether it is a click button (acts
// when released over it), a repeating one (acts on press, again after
// 500 ms and then every 100 ms while held over it) or neither. A hovered
// "Hilite" row at index i acts as action i + 1, its "Press" row. Also the
// scroll bar every list of these screens draws beside itself.
#include "Orrimund/screens/screens.h"
#include "quarn/os/timer.h"

constexpr int32_t ROW_SLOT = 0x1, ROW_CLICK = 0x2, ROW_REPEAT = 0x4, ROW_TOOLTIP = 0x8, ROW_NOT_IDENTIFY = 0x10;

struct RowPress {
  int held = -1;  // the pressed row, -1 none
  RealTimestamp repeat;
};

// Starts a press of row r: a repeating row answers its action at once and
// arms the 500 ms repeat, a click row waits for the release. Returns the
// action to run now (r + 1) or -1.
int row_press_begin(RowPress& p, const ScreenResource* rows, int r);
// One frame of a held press. The row stays lit while the mouse is over it;
// returns the action to run this frame, or -1. `done` turns true when the
// button was released (the press is over).
int row_press_frame(RowPress& p, ScreenButton* buttons, bool* done);

// A vertical scroll bar: where the thumb goes and how tall it is for `top`
// of `count` entries with `visible` shown, on a track of `length` pixels
// starting at `track_top`. False when everything fits (no bar).
bool scroll_thumb(int top, int count, int visible, int track_top, int length, int* y, int* h);
// Where a press at (x, y) takes hold of the thumb of that bar standing at
// `bar_x`, 14 scaled pixels wide: the press's offset below the thumb's top,
// or -1 when it misses the thumb or everything fits.
int scroll_thumb_grab(int top, int count, int visible, int track_top, int length, int bar_x, int x, int y);
// The top a thumb dragged to `thumb_y` stands for, clamped to the pages.
int scroll_top_from_thumb(int thumb_y, int count, int visible, int track_top, int length);
// The last top that still shows a full page (0 when all fit).
int scroll_max_top(int count, int visible);
// Draws the thumb bitmap stretched over the thumb's rectangle.
void scroll_thumb_draw(int bitmap, int x, int y, int h);
// The thumb bitmap of the art set ("ScrollBarMid640.tga" or "...1024.tga").
int scroll_thumb_bitmap();

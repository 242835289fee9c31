#include "Orrimund/screens/row_buttons.h"

#include <algorithm>
#include <cmath>

#include "Orrimund/screens/screen_ui.h"
#include "quarn/bmpman/bmpman.h"

int row_press_begin(RowPress& p, const ScreenResource* rows, int r) {
  p.held = r;
  p.repeat.invalidate();
  if (rows[r].kind & ROW_REPEAT) {
    p.repeat.set(500);
    return r + 1;
  }
  return -1;
}

int row_press_frame(RowPress& p, ScreenButton* buttons, bool* done) {
  *done = false;
  if (p.held < 0) {
    *done = true;
    return -1;
  }
  const bool over = screen_button_hit(buttons[p.held], Screen_mouse.x, Screen_mouse.y);
  if (over) buttons[p.held].flags |= SB_HIGHLIGHT;
  if (Screen_mouse.left_down) {
    if (over && p.repeat.is_valid() && p.repeat.elapsed()) {
      p.repeat.set(100);
      return p.held + 1;
    }
    return -1;
  }
  const int action = over && !p.repeat.is_valid() ? p.held + 1 : -1;
  p.held = -1;
  p.repeat.invalidate();
  *done = true;
  return action;
}

bool scroll_thumb(int top, int count, int visible, int track_top, int length, int* y, int* h) {
  if (count <= visible || count <= 0) return false;
  *y = track_top + static_cast<int>(std::lround(static_cast<double>(top) / count * length));
  *h = static_cast<int>(std::lround(static_cast<double>(visible) / count * length));
  return true;
}

int scroll_thumb_grab(int top, int count, int visible, int track_top, int length, int bar_x, int x, int y) {
  int ty = 0, th = 0;
  if (!scroll_thumb(top, count, visible, track_top, length, &ty, &th)) return -1;
  return point_in_rect(x, y, bar_x, ty, ui_scaled(14), th) ? y - ty : -1;
}

int scroll_max_top(int count, int visible) { return std::max(0, count - visible); }

int scroll_top_from_thumb(int thumb_y, int count, int visible, int track_top, int length) {
  if (length <= 0) return 0;
  const int top = static_cast<int>(std::lround(static_cast<double>(thumb_y - track_top) / length * count));
  return std::clamp(top, 0, scroll_max_top(count, visible));
}

void scroll_thumb_draw(int bitmap, int x, int y, int h) {
  if (h <= 0) return;
  if (bitmap < 0) {
    ui_fill_rect(x, y, ui_scaled(12), h, Color(150, 140, 110, 255));
    return;
  }
  int bw = 0, bh = 0;
  bm_get_size(bitmap, &bw, &bh);
  gr_set_color_rec(Ui_white);
  gr_set_bitmap(bitmap);
  gr_bitmap_scaled(bitmap, x, y, ui_scaled(bw), h, 0, 0, bw, bh, Gr_preset[1]);
}

int scroll_thumb_bitmap() {
  const int b = bm_load(ui_art_set() ? "ScrollBarMid1024.tga" : "ScrollBarMid640.tga");
  return b >= 0 && bm_is_placeholder(b) ? -1 : b;
}

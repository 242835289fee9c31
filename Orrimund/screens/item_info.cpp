#include "Orrimund/screens/item_info.h"

#include <algorithm>
#include <cstring>

#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Orrimund/screens/item_cameras.h"
#include "Orrimund/screens/model_view.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"

namespace {
constexpr int ROWS = 7;
constexpr auto row = screen_row;
const ScreenResource Rows[ROWS] = {
    row("ItemInfoPopupbkgrnd", 45, 75, 56, 94, 72, 120, 0),
    row("Icon-ArrwUPHilite", 381, 211, 476, 264, 608, 334, ROW_REPEAT),
    row("Icon-ArrwUPPress", 381, 211, 476, 264, 608, 334, 0),
    row("Icon-ArrwDNHilite", 381, 371, 476, 464, 608, 590, ROW_REPEAT),
    row("Icon-ArrwDNPress", 381, 371, 476, 464, 608, 590, 0),
    row("Icon-GrnClseHilite", 552, 96, 690, 120, 883, 155, ROW_CLICK),
    row("Icon-GrnClsePress", 552, 96, 690, 120, 883, 155, 0),
};
ScreenButton Buttons[ROWS];
constexpr int VISIBLE[3] = {12, 16, 16};
constexpr int BAR_X[3] = {383, 479, 613}, TRACK_TOP[3] = {246, 308, 394}, TRACK_LEN[3] = {116, 145, 186};
// The title and the text window inside the popup.
constexpr int TITLE_X[3] = {70, 88, 112}, TITLE_Y[3] = {100, 125, 160};
constexpr int TEXT_X[3] = {70, 88, 112}, TEXT_Y[3] = {211, 264, 334}, TEXT_W[3] = {300, 375, 480};
// The model's window, from the popup's corner.
constexpr int VIEW_DX[3] = {350, 438, 560}, VIEW_DY[3] = {60, 75, 96}, VIEW_W[3] = {160, 200, 256},
              VIEW_H[3] = {200, 250, 320};

struct Info {
  bool open = false;
  item_instance* item = nullptr;
  int ownership = 0;  // bit 0 the popup's own instance, bit 1 paging slot 18 in use
  std::string text;
  int lines = 0;
  int scroll = 0;
  int state = 0;  // 0 idle, 1 button held, 2 thumb dragged
  RowPress press;
  int grab = 0;
} g;

int visible() { return VISIBLE[ui_resolution()]; }

void prepare() {
  g.scroll = 0;
  g.state = 0;
  g.press = RowPress{};
  g.text = item_describe(g.item);
  g.lines = static_cast<int>(std::count(g.text.begin(), g.text.end(), '\n'));
  g.open = true;
}

void act(int action) {
  switch (action) {
    case 2:
      if (g.scroll > 0) g.scroll--;
      front_play_sound(37);
      break;
    case 4:
      if (g.scroll < scroll_max_top(g.lines, visible())) g.scroll++;
      front_play_sound(37);
      break;
    case 6:
      front_play_sound(36);
      item_info_close();
      break;
    default: break;
  }
}
}  // namespace

void item_info_level_init() { screen_buttons_build(Rows, ROWS, Buttons); }

void item_info_open_instance(item_instance* item) {
  if (!item || !item->info) return;
  item_info_close();
  g.item = item;
  g.ownership = 2;
  item_page_in(static_cast<int>(item->info - Item_infos), ITEM_PAGING_POPUP_SLOT);
  prepare();
}

void item_info_open_index(int index) {
  if (index < 0 || index >= Num_item_infos) return;
  item_info_close();
  g.item = item_create(index);
  if (!g.item) return;
  g.ownership = 1;
  prepare();
}

bool item_info_is_open() { return g.open; }

void item_info_close() {
  if (!g.open) return;
  if (g.ownership & 1) item_free(g.item);
  if (g.ownership & 2) item_page_out(ITEM_PAGING_POPUP_SLOT);
  g = Info{};
}

void item_info_input(int key) {
  if (!g.open) return;
  screen_buttons_clear_highlight(Buttons, ROWS);
  const int r = ui_resolution();
  const bool bar = item_info_has_bar();
  switch (g.state) {
    case 0: {
      for (int i = 1; i < ROWS; i++) {
        if (!(Rows[i].kind & (ROW_CLICK | ROW_REPEAT)) || !screen_button_hit(Buttons[i], Screen_mouse.x, Screen_mouse.y))
          continue;
        if (!bar && i < 5) break;
        Buttons[i].flags |= SB_HIGHLIGHT;
        if (Screen_mouse.left_pressed) {
          g.state = 1;
          act(row_press_begin(g.press, Rows, i));
        }
        break;
      }
      const int grab = g.state == 0 && bar && Screen_mouse.left_pressed
                           ? scroll_thumb_grab(g.scroll, g.lines, visible(), TRACK_TOP[r], TRACK_LEN[r], BAR_X[r],
                                               Screen_mouse.x, Screen_mouse.y)
                           : -1;
      if (grab >= 0) {
        g.state = 2;
        g.grab = grab;
      }
      if (key == KEY_ESC) {
        front_play_sound(36);
        item_info_close();
        return;
      }
      if (Screen_mouse.wheel > 0) g.scroll = std::max(0, g.scroll - visible());
      else if (Screen_mouse.wheel < 0) g.scroll = std::min(scroll_max_top(g.lines, visible()), g.scroll + visible());
      break;
    }
    case 1: {
      bool done = false;
      const int action = row_press_frame(g.press, Buttons, &done);
      if (done) g.state = 0;
      act(action);
      break;
    }
    case 2:
      g.scroll = scroll_top_from_thumb(Screen_mouse.y - g.grab, g.lines, visible(), TRACK_TOP[r], TRACK_LEN[r]);
      if (!Screen_mouse.left_down) g.state = 0;
      break;
    default: g.state = 0; break;
  }
}

void item_info_render() {
  if (!g.open) return;
  const int r = ui_resolution();
  ui_fill_rect(0, 0, gr_screen_width(), gr_screen_height(), Color(0, 0, 0, 140));
  const bool bar = item_info_has_bar();
  for (int i = 0; i < ROWS; i++) {
    ScreenButton& b = Buttons[i];
    const bool arrow = i >= 1 && i <= 4;
    if (arrow && !bar) continue;
    if (i == 0 || (b.flags & SB_HIGHLIGHT)) {
      gr_set_color_rec(Ui_white);
      ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
    }
  }
  if (g.state == 1 && g.press.held >= 0 && (Buttons[g.press.held].flags & SB_HIGHLIGHT))
    ui_draw_bitmap_scaled(Buttons[g.press.held + 1].bitmap, Buttons[g.press.held + 1].x, Buttons[g.press.held + 1].y);
  if (g.item && g.item->info) {
    const ModelViewRect view{Buttons[0].x + VIEW_DX[r], Buttons[0].y + VIEW_DY[r], VIEW_W[r], VIEW_H[r]};
    model_view_draw_item(Bs_cameras, g.item->info, view, model_view_spin());
  }
  gr_set_color_rec(Ui_hover_color);
  gr_string(TITLE_X[r], TITLE_Y[r], item_display_name(g.item ? g.item->info : nullptr).c_str());
  const int fh = gr_font_select(-1);
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  gr_set_clip(TEXT_X[r], TEXT_Y[r], TEXT_W[r], fh * visible());
  gr_set_color_rec(Ui_text_color);
  // The clip's origin is its corner.
  gr_string(0, -g.scroll * fh, g.text.c_str());
  gr_set_clip(cx, cy, cw, ch);
  int ty = 0, th = 0;
  if (scroll_thumb(g.scroll, g.lines, visible(), TRACK_TOP[r], TRACK_LEN[r], &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), BAR_X[r], ty, th);
}

const item_instance* item_info_item() { return g.open ? g.item : nullptr; }
int item_info_lines() { return g.lines; }
int item_info_scroll() { return g.scroll; }
int item_info_visible_lines() { return visible(); }
bool item_info_has_bar() { return g.open && g.lines > visible(); }

#include "Orrimund/screens/buysell_screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/inventory_rules.h"
#include "Orrimund/screens/inventory_screen.h"
#include "Orrimund/screens/item_cameras.h"
#include "Orrimund/screens/item_info.h"
#include "Orrimund/screens/item_trade.h"
#include "Orrimund/screens/model_view.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/screens/slot_view.h"
#include "levelscripts/script_runner.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
// The other resolutions' places grow with the art: 1.25 and 1.6 times.
constexpr ScreenResource row(const char* name, int x, int y, int kind) {
  return screen_row(name, x, y, (x * 125 + 50) / 100, (y * 125 + 50) / 100, (x * 16 + 5) / 10, (y * 16 + 5) / 10,
                    kind);
}
constexpr int ROWS = 40;
const ScreenResource Rows[ROWS] = {
    row("BuySell-Bkgrnd", 0, 0, 0),
    row("BuySell-Buy", 120, 50, 0),
    row("BuySell-Sell", 120, 50, 0),
    row("BuySell-Price", 242, 90, 0),
    row("BuySell-Offer", 242, 90, 0),
    row("Icon-ArrwLFHilite", 21, 23, ROW_SLOT),
    row("Icon-ArrwLFPress", 21, 23, 0),
    row("Icon-ArrwRTHilite", 316, 23, ROW_SLOT),
    row("Icon-ArrwRTPress", 316, 23, 0),
    row("Icon-ArrwLFHilite", 21, 61, ROW_SLOT),
    row("Icon-ArrwLFPress", 21, 61, 0),
    row("Icon-ArrwRTHilite", 316, 61, ROW_SLOT),
    row("Icon-ArrwRTPress", 316, 61, 0),
    row("Icon-ArrwUPHilite", 342, 121, ROW_CLICK),
    row("Icon-ArrwUPPress", 342, 121, 0),
    row("Icon-ArrwDNHilite", 342, 341, ROW_CLICK),
    row("Icon-ArrwDNPress", 342, 341, 0),
    row("BuySell-Weap", 80, 391, 0),
    row("BuySell-WeapHiLite", 80, 391, 5),
    row("BuySell-WeapPress", 80, 391, 0),
    row("BuySell-Armr", 120, 391, 0),
    row("BuySell-ArmrHiLite", 120, 391, 5),
    row("BuySell-ArmrPress", 120, 391, 0),
    row("Buysell-Mgk", 161, 391, 0),
    row("Buysell-MgkHiLite", 161, 391, 5),
    row("Buysell-MgkPress", 161, 391, 0),
    row("Buysell-Jwlry", 201, 391, 0),
    row("Buysell-JwlryHiLite", 201, 391, 5),
    row("Buysell-JwlryPress", 201, 391, 0),
    row("Buysell-Misc", 242, 391, 0),
    row("Buysell-MiscHiLite", 242, 391, 5),
    row("Buysell-MiscPress", 242, 391, 0),
    row("BuySell-BuyButton", 421, 352, 0),
    row("BuySell-SellButton", 421, 352, 0),
    row("LBYChat-HelpHilite", 421, 352, ROW_SLOT),
    row("LBYChat-HelpPress", 421, 352, 0),
    row("LBYChat-HelpHilite", 502, 352, ROW_SLOT),
    row("LBYChat-HelpPress", 502, 352, 0),
    row("Icon-GrnClseHilite", 599, 18, ROW_SLOT),
    row("Icon-GrnClsePress", 599, 18, 0),
};
ScreenButton B[ROWS];
constexpr int LIST_X[3] = {30, 38, 48}, LIST_Y[3] = {112, 140, 179}, LIST_W[3] = {290, 363, 464};
constexpr int LIST_ROWS[3] = {16, 20, 20};
constexpr int VIEW_X[3] = {390, 488, 624}, VIEW_Y[3] = {90, 113, 144}, VIEW_W[3] = {200, 250, 320},
              VIEW_H[3] = {240, 300, 384};
constexpr int DOUBLE_CLICK_MS = 400;

struct BuySell {
  const ShopkeeperRecord* merchant = nullptr;
  int mode = 0;  // 0 buy (its sell list), 1 sell (its buy list, held items)
  int rows[256] = {};
  int count = 0;
  int selected = -1;
  int hovered = -1;
  int top = 0;
  int state = 0;  // 0 idle, 1 button held
  RowPress press;
  bool owns_ui_mode = false;
  bool forget_on_close = true;
  const void* last_click = nullptr;
  RealTimestamp last_click_time;
} g;

int res() { return ui_resolution(); }
int visible() { return LIST_ROWS[res()]; }

const ShopPair* entry(int i) {
  if (!g.merchant || i < 0 || i >= g.count) return nullptr;
  return g.mode == 0 ? &g.merchant->sell[g.rows[i]] : &g.merchant->buy[g.rows[i]];
}

void rebuild() {
  g.count = 0;
  if (!g.merchant) return;
  if (g.mode == 0) {
    for (int i = 0; i < g.merchant->sell_count && i < 256; i++) g.rows[g.count++] = i;
  } else {
    g.count = buysell_sell_rows(*g.merchant, g.rows, 256);
  }
  if (g.selected >= g.count) g.selected = -1;
  g.top = std::clamp(g.top, 0, scroll_max_top(g.count, visible()));
}

int category_of(int item) {
  const int kind = party_item_kind(item);
  return kind == PIK_WEAPON ? 0 : kind == PIK_ARMOUR ? 1 : kind == PIK_USABLE ? 2 : kind == PIK_WEARABLE ? 3 : 4;
}

void trade() {
  const ShopPair* e = entry(g.selected);
  if (!e) return;
  if (g.mode == 0) {
    switch (buysell_buy(*e)) {
      case BUY_DONE: front_play_sound(43); break;
      case BUY_FULLY_CHARGED: {
        static const char* const ok[] = {"Ok"};
        MessagePopup("Warning", "This item is fully charged.", -1, -1, 1, ok, nullptr, 0);
        front_play_sound(36);
        break;
      }
      default: front_play_sound(36); break;
    }
  } else if (buysell_sell(*e)) {
    front_play_sound(43);
    rebuild();
    if (!entry(g.selected) || g.rows[g.selected] != static_cast<int>(e - g.merchant->buy)) {
      g.selected = -1;
      item_page_out(ITEM_PAGING_POPUP_SLOT);
    }
  }
}

void close_to_hud() { set_screen(SCREEN_HUD, nullptr); }
void go_to(int screen) {
  g.forget_on_close = false;
  static uint8_t normal = 0;
  if (!set_screen(screen, screen == SCREEN_INVENTORY ? &normal : nullptr)) g.forget_on_close = true;
  front_play_sound(39);
}

void act(int action) {
  switch (action) {
    case 6: go_to(SCREEN_STATUS); break;
    case 8: go_to(game_is_single_player() ? SCREEN_JOURNAL : SCREEN_INVENTORY); break;
    case 10: case 12:
      g.mode ^= 1;
      g.selected = -1;
      g.top = 0;
      rebuild();
      front_play_sound(40);
      break;
    case 14:
      if (g.top > 0) g.top--;
      front_play_sound(37);
      break;
    case 16:
      if (g.top < scroll_max_top(g.count, visible())) g.top++;
      front_play_sound(37);
      break;
    case 19: case 22: case 25: case 28: case 31: {
      const int c = (action - 19) / 3;
      for (int i = 0; i < g.count; i++)
        if (category_of(entry(i)->item) == c) {
          g.top = std::clamp(i, 0, scroll_max_top(g.count, visible()));
          break;
        }
      front_play_sound(37);
      break;
    }
    case 35: trade(); break;
    case 37:
      if (const ShopPair* e = entry(g.selected)) {
        item_info_open_index(e->item);
        front_play_sound(35);
      }
      break;
    case 39: close_to_hud(); front_play_sound(36); break;
    default: break;
  }
}

bool row_enabled(int r) {
  const ShopPair* e = entry(g.selected);
  if (r == 34) return e && !(g.mode == 0 && Party_inventory.gold < static_cast<uint32_t>(std::max(0, e->price)));
  if (r == 36) return e && item_info_is_identified(&Item_infos[e->item]);
  return true;
}

void row_rect(int v, int* x, int* y, int* w, int* h) {
  const int fh = gr_font_select(-1);
  *x = LIST_X[res()], *y = LIST_Y[res()] + v * fh, *w = LIST_W[res()], *h = fh;
}

int buysell_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  if (popup_is_open()) return key;
  if (item_info_is_open()) {
    item_info_input(key);
    return 0;
  }
  if (!g.merchant) {
    close_to_hud();
    return 0;
  }
  const ScreenMouse& m = Screen_mouse;
  if (g.state == 1) {
    bool done = false;
    const int action = row_press_frame(g.press, B, &done);
    if (done) g.state = 0;
    act(action);
    return 0;
  }
  for (int r = 1; r < ROWS; r++) {
    if (!(Rows[r].kind & (ROW_SLOT | ROW_CLICK)) || !row_enabled(r) || !screen_button_hit(B[r], m.x, m.y)) continue;
    B[r].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) {
      g.state = 1;
      // Word bit 1 repeats here; bit 0 acts on release.
      g.press.held = r;
      g.press.repeat.invalidate();
      if (Rows[r].kind & ROW_CLICK) {
        g.press.repeat.set(500);
        act(r + 1);
      }
    }
    break;
  }
  g.hovered = -1;
  const int shown = std::min(visible(), g.count - g.top);
  for (int v = 0; v < shown && g.state == 0; v++) {
    int x, y, w, h;
    row_rect(v, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
    g.hovered = g.top + v;
    if (m.left_pressed) {
      const void* what = entry(g.top + v);
      const bool dbl = g.last_click == what && g.last_click_time.is_valid() && !g.last_click_time.elapsed();
      g.last_click = dbl ? nullptr : what;
      g.last_click_time.set(DOUBLE_CLICK_MS);
      if (g.selected != g.top + v) {
        // The selected item's model has the view's paging slot to itself.
        item_page_out(ITEM_PAGING_POPUP_SLOT);
        item_page_in(entry(g.top + v)->item, ITEM_PAGING_POPUP_SLOT);
      }
      g.selected = g.top + v;
      if (dbl) trade();
    }
    break;
  }
  if (key == KEY_ESC || key == 48) {
    close_to_hud();
    front_play_sound(36);
    return 0;
  }
  return 0;
}

void buysell_render() {
  const int rs = res();
  for (int r : {1, 2, 3, 4, 32, 33}) B[r].flags &= ~SB_DRAWN;
  B[g.mode == 0 ? 1 : 2].flags |= SB_DRAWN;
  B[g.mode == 0 ? 3 : 4].flags |= SB_DRAWN;
  B[g.mode == 0 ? 32 : 33].flags |= SB_DRAWN;
  for (int c = 0; c < 5; c++) {
    bool any = false;
    for (int i = 0; i < g.count && !any; i++) any = category_of(entry(i)->item) == c;
    if (any) B[17 + 3 * c].flags |= SB_DRAWN;
    else B[17 + 3 * c].flags &= ~SB_DRAWN;
  }
  for (int r = 0; r < ROWS; r++) {
    const ScreenButton& b = B[r];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT)) || (b.flags & SB_HIDDEN)) continue;
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
  if (g.state == 1 && g.press.held >= 0 && (B[g.press.held].flags & SB_HIGHLIGHT))
    ui_draw_bitmap_scaled(B[g.press.held + 1].bitmap, B[g.press.held + 1].x, B[g.press.held + 1].y);
  const living_entity* e = screen_member_entity(screen_get_character());
  const int shown = std::min(visible(), g.count - g.top);
  for (int v = 0; v < shown; v++) {
    const ShopPair* p = entry(g.top + v);
    const Item_info* info = &Item_infos[p->item];
    int x, y, w, h;
    row_rect(v, &x, &y, &w, &h);
    Color c = Ui_text_color;
    if (!item_info_is_identified(info)) c = Color(130, 160, 230, 255);
    else if (info->slot != -1 && e) {
      item_instance probe{nullptr, const_cast<Item_info*>(info), 0, 0};
      if (!inv_may_equip(e, &probe)) c = Color(200, 90, 90, 255);
    }
    if (g.top + v == g.selected || g.top + v == g.hovered) c = Ui_hover_color;
    gr_set_color_rec(c);
    gr_string(x + 2, y, item_display_name(info).c_str());
    char price[16];
    std::snprintf(price, sizeof price, "%d", p->price);
    int tw = 0, th = 0;
    gr_get_string_size(&tw, &th, price);
    gr_string(x + w - tw - 2, y, price);
  }
  int ty = 0, th = 0;
  if (scroll_thumb(g.top, g.count, visible(), B[13].y + B[13].h + 4, B[15].y - B[13].y - B[13].h - 8, &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), B[13].x + 2, ty, th);
  if (const ShopPair* p = entry(g.selected)) {
    // The info popup or a sale may have taken the slot meanwhile.
    if (!Item_infos[p->item].model) item_page_in(p->item, ITEM_PAGING_POPUP_SLOT);
    const ModelViewRect view{VIEW_X[rs], VIEW_Y[rs], VIEW_W[rs], VIEW_H[rs] * 2 / 3};
    if (!model_view_draw_item(Bs_cameras, &Item_infos[p->item], view, model_view_spin()))
      slot_view_draw(&Item_infos[p->item], view.x, view.y, view.w, view.h);
  }
  char gold[32];
  std::snprintf(gold, sizeof gold, "Gold: %u", Party_inventory.gold);
  gr_set_color_rec(Ui_hover_color);
  gr_string(VIEW_X[rs], VIEW_Y[rs] + VIEW_H[rs] * 2 / 3 + 12, gold);
  item_info_render();
}

void buysell_open(void*, bool) {
  g.state = 0;
  g.selected = g.hovered = -1;
  g.top = 0;
  g.mode = 0;
  g.forget_on_close = true;
  g.owns_ui_mode = false;
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  if (!g.merchant || !screen_member_entity(screen_get_character())) {
    close_to_hud();
    return;
  }
  rebuild();
}

void buysell_close() {
  item_info_close();
  item_page_out(ITEM_PAGING_POPUP_SLOT);
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  if (g.forget_on_close) {
    g.merchant = nullptr;
    screen_set_character(-1);
  }
}

// Developer route to the screen: trade with a shopkeeper by character name.
ConsoleCommand cc_trade("trade", "Opens the buy and sell screen with a shopkeeper (character name)", [] {
  char name[CONSOLE_MAX_ARG + 1];
  console_get_name(name, sizeof name);
  if (!Console_run) return;
  const ShopkeeperRecord* s = shopkeeper_find(name);
  if (!s) {
    console_printf("No shopkeeper %s\n", name);
    return;
  }
  g.merchant = s;
  set_screen(SCREEN_BUY_SELL, nullptr);
});
}  // namespace

void buysell_set_merchant_record(const ShopkeeperRecord* merchant) { g.merchant = merchant; }
const ShopkeeperRecord* buysell_merchant() { return g.merchant; }

void buysell_screen_register() {
  ScreenOps o;
  o.level_init = [] {
    screen_buttons_build(Rows, ROWS, B);
    g.merchant = nullptr;
  };
  o.open = buysell_open;
  o.close = buysell_close;
  o.input = buysell_input;
  o.render = buysell_render;
  screen_register(SCREEN_BUY_SELL, o);
}

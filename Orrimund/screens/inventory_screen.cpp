#include "Orrimund/screens/inventory_screen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/buysell_screen.h"
#include "Orrimund/screens/inventory_rules.h"
#include "Orrimund/screens/item_cameras.h"
#include "Orrimund/screens/item_info.h"
#include "Orrimund/screens/model_view.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/skill_use.h"
#include "Orrimund/screens/slot_view.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
constexpr auto row = screen_row;
constexpr int ARROWS = ROW_CLICK | ROW_NOT_IDENTIFY, WINDOW = ROW_SLOT | ROW_TOOLTIP | ROW_NOT_IDENTIFY,
              CATEGORY = ROW_CLICK | ROW_TOOLTIP;
}  // namespace

const ScreenResource Inventory_rows[INVENTORY_ROWS] = {
    row("Inv-Bkgrnd", 0, 0, 0, 0, 0, 0, 0),
    row("Inv-Name-Ruvizo", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Zazuru", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Rivud", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Rivadara", 113, 48, 141, 60, 176, 76, 0),
    row("Icon-ArrwLFHilite", 21, 23, 26, 29, 33, 35, ARROWS),
    row("Icon-ArrwLFPress", 21, 23, 26, 29, 33, 35, 0),
    row("Icon-ArrwRTHilite", 295, 23, 369, 29, 471, 35, ARROWS),
    row("Icon-ArrwRTPress", 295, 23, 369, 29, 471, 35, 0),
    row("Icon-ArrwLFHilite", 21, 61, 26, 76, 33, 95, ARROWS),
    row("Icon-ArrwLFPress", 21, 61, 26, 76, 33, 95, 0),
    row("Icon-ArrwRTHilite", 295, 61, 369, 76, 471, 95, ARROWS),
    row("Icon-ArrwRTPress", 295, 61, 369, 76, 471, 95, 0),
    row("Icon-ArrwUPHilite", 610, 91, 763, 114, 975, 146, ROW_REPEAT),
    row("Icon-ArrwUPPress", 610, 91, 763, 114, 975, 146, 0),
    row("Icon-ArrwDNHilite", 610, 314, 763, 393, 975, 499, ROW_REPEAT),
    row("Icon-ArrwDNPress", 610, 314, 763, 393, 975, 499, 0),
    row("Wndw-HvyArmr", 18, 83, 23, 104, 15, 136, 0),
    row("Wndw-ArmrHilite", 23, 88, 29, 110, 37, 141, WINDOW),
    row("Wndw-PntsHilite", 23, 193, 29, 241, 37, 310, WINDOW),
    row("Wndw-BtsHilite", 23, 298, 29, 373, 37, 478, WINDOW),
    row("Wndw-Rng1Hilite", 23, 369, 29, 461, 37, 591, WINDOW),
    row("Wndw-Rng2Hilite", 63, 369, 79, 461, 101, 591, WINDOW),
    row("Wndw-NckHilite", 191, 88, 239, 110, 305, 141, WINDOW),
    row("Wndw-WpnHilite", 253, 88, 316, 110, 405, 142, WINDOW),
    row("Wndw-ShldHilite", 253, 230, 316, 288, 405, 369, WINDOW),
    row("Wndw-GntHilite", 253, 336, 316, 420, 405, 539, WINDOW),
    row("Wndw-HvyArmrHilite", 18, 83, 23, 104, 15, 136, WINDOW),
    row("Icon-WpnActive", 379, 349, 474, 436, 609, 568, 0),
    row("Icon-WpnHilite", 379, 349, 474, 436, 609, 568, CATEGORY),
    row("Icon-WpnPress", 379, 349, 474, 436, 609, 568, 0),
    row("Icon-ArmrActive", 420, 349, 525, 436, 674, 568, 0),
    row("Icon-ArmrHilite", 420, 349, 525, 436, 674, 568, CATEGORY),
    row("Icon-ArmrPress", 420, 349, 525, 436, 674, 568, 0),
    row("Icon-MgkActive", 461, 349, 576, 436, 739, 568, 0),
    row("Icon-MgkHilite", 461, 349, 576, 436, 739, 568, CATEGORY),
    row("Icon-MgkPress", 461, 349, 576, 436, 739, 568, 0),
    row("Icon-JwlryActive", 501, 349, 626, 436, 804, 568, 0),
    row("Icon-JwlryHilite", 501, 349, 626, 436, 804, 568, CATEGORY),
    row("Icon-JwlryPress", 501, 349, 626, 436, 804, 568, 0),
    row("Icon-MiscActive", 542, 349, 678, 436, 869, 568, 0),
    row("Icon-MiscHilite", 542, 349, 678, 436, 869, 568, CATEGORY),
    row("Icon-MiscPress", 542, 349, 678, 436, 869, 568, 0),
    row("Icon-CloseHilite", 599, 19, 749, 24, 959, 31, ROW_CLICK),
    row("Icon-ClosePress", 599, 19, 749, 24, 959, 31, 0),
};
ScreenButton Inventory_buttons[INVENTORY_ROWS];

namespace {
ScreenButton* const B = Inventory_buttons;
constexpr int LIST_X[3] = {342, 428, 547}, LIST_Y[3] = {85, 108, 136}, LIST_W[3] = {258, 323, 413};
constexpr int LIST_ROWS[3] = {17, 21, 21};
constexpr int BAR_X[3] = {612, 765, 979}, TRACK_TOP[3] = {123, 154, 197}, TRACK_LEN[3] = {183, 229, 293};
// Where the member's own figure stands, between the window columns.
constexpr int FIGURE_X[3] = {130, 162, 210}, FIGURE_Y[3] = {150, 188, 240}, FIGURE_W[3] = {118, 148, 190},
              FIGURE_H[3] = {250, 312, 400};
const char* const CATEGORY_TIPS[5] = {"Weapons", "Armor", "Magic items", "Jewelry", "Miscellaneous items"};
const char* const HERO_NAMES[4] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};
constexpr int DOUBLE_CLICK_MS = 400;

enum { IDLE, BUTTON_HELD, THUMB_DRAG, MENU_OPEN, BAG_DRAG, SLOT_DRAG };

struct Inv {
  bool identify = false;
  int top = 0;
  int count = 0;
  int hovered = -1;
  int hovered_row = -1;
  int state = IDLE;
  RowPress press;
  int grab = 0;
  bool owns_ui_mode = false;
  // Forgetting the member (and the merchant) is a close to the HUD's duty;
  // a switch to a neighbouring screen drops it.
  bool forget_on_close = true;
  // The item the menu, a drag or a pending destroy is about, by instance.
  item_instance* item = nullptr;
  int from_window = -1;  // the slot window a menu or drag came from, -1 the bag
  bool drop_ok = false;
  int drop_window = -1;
  const char* menu_items[4] = {};
  uint8_t menu_enabled[4] = {};
  int menu_actions[4] = {};
  int menu_count = 0;
  // Double clicks: what was clicked last and when.
  const void* last_click = nullptr;
  RealTimestamp last_click_time;
} g;

int res() { return ui_resolution(); }
int visible_rows() { return LIST_ROWS[res()]; }

living_entity* member() { return screen_member_entity(screen_get_character()); }

int window_of_row(int r) { return r >= INVENTORY_WINDOW_ROW0 && r < INVENTORY_WINDOW_ROW0 + INV_NUM_WINDOWS ? r - INVENTORY_WINDOW_ROW0 : -1; }
item_instance* window_item(const living_entity* e, int window) {
  const int slot = inv_window_slot(window);
  return e && slot >= 0 ? e->equipment[slot] : nullptr;
}
bool mouse_in(const ScreenButton& b) { return point_in_rect(Screen_mouse.x, Screen_mouse.y, b.x, b.y, b.w, b.h); }

bool double_click(const void* what) {
  // Both presses of a quick double click can fall within one slow frame.
  const bool dbl = (g.last_click == what && g.last_click_time.is_valid() && !g.last_click_time.elapsed()) ||
                   Screen_mouse.left_presses >= 2;
  g.last_click = dbl ? nullptr : what;
  g.last_click_time.set(DOUBLE_CLICK_MS);
  return dbl;
}

void refresh() {
  living_entity* e = member();
  // The worn items' models, for the windows and the member's hands.
  model_view_page_worn(e, screen_get_character());
  g.count = inv_list_count(g.identify);
  g.top = inv_clamp_top(g.top, g.count, visible_rows());
  const bool heavy = e && e->equipment[EQ_TORSO] && e->equipment[EQ_TORSO]->info &&
                     e->equipment[EQ_TORSO]->info->slot == SLOT_HEAVY;
  for (int w = 0; w < INV_NUM_WINDOWS; w++) {
    ScreenButton& b = B[INVENTORY_WINDOW_ROW0 + w];
    bool hide = !window_item(e, w);
    if (w == INV_WIN_HEAVY) hide = hide || !heavy;
    if ((w == INV_WIN_TORSO || w == INV_WIN_LEGS) && heavy) hide = true;
    if (hide) b.flags |= SB_HIDDEN;
    else b.flags &= ~SB_HIDDEN;
  }
  if (heavy) B[17].flags |= SB_DRAWN;
  else B[17].flags &= ~SB_DRAWN;
  // A category's "Active" art shows while it has items.
  for (int c = 0; c < 5; c++) {
    ScreenButton& b = B[28 + 3 * c];
    if (inv_category_first(c, g.identify) >= 0) b.flags |= SB_DRAWN;
    else b.flags &= ~SB_DRAWN;
  }
  const bool bar = g.count > visible_rows();
  for (int r : {13, 15}) {
    if (bar) B[r].flags &= ~SB_HIDDEN;
    else B[r].flags |= SB_HIDDEN;
  }
}

void close_to_hud() {
  set_screen(SCREEN_HUD, nullptr);
}

void go_to(int screen, int sound) {
  g.forget_on_close = false;
  if (!set_screen(screen, nullptr)) g.forget_on_close = true;
  front_play_sound(sound);
}

void after_equipment_change(living_entity* e, bool weapon) {
  if (weapon && e == Selected_entity) {
    // Reselecting lets the view pick up the new weapon.
    if (PlayerRecord* r = party_find_member(e->handle)) party_select_member(r);
  }
  refresh();
}

// ---- the context menu and its actions -------------------------------------------
enum { ACT_INFO, ACT_IDENTIFY, ACT_USE, ACT_DESTROY, ACT_CANCEL };

void identify_item(item_instance* item) {
  living_entity* members[MAX_PLAYER_RECORDS] = {};
  int n = 0;
  if (g.identify) {
    members[n++] = member();
  } else {
    for (PlayerRecord* p = party_first(); p && n < MAX_PLAYER_RECORDS; p = party_next(p)) members[n++] = member_entity(p);
  }
  InvIdentifyCooldown cooldown;
  cooldown.cooling = [](const living_entity* m) {
    const PlayerRecord* r = party_find_member(m->handle);
    const int32_t t = r ? r->cooldowns[SKILL_APPRAISE] : -1;
    return t != -1 && t != 0 && !timestamp_elapsed(t, timer_game_clock);
  };
  // The chosen member uses the appraise skill on the item: its points,
  // cooldown and level rule as they do from the roll-out.
  cooldown.appraise = [](item_instance* it, living_entity* m) { return skill_appraise(it, m); };
  const int result = inv_identify(item, members, n, cooldown);
  if (result == 1) {
    item_info_open_instance(item);
    refresh();
  } else if (result == 0) {
    static const char* const ok[] = {"Ok"};
    MessagePopup("Failure", "Couldn't identify item.", -1, -1, 1, ok, nullptr, 0);
  }
}

void use_item(item_instance* item, int from_window) {
  living_entity* e = member();
  if (!e || !item) return;
  // A spell aimed at someone or somewhere waits for the world click.
  const int target = inv_use_target(item);
  if (target != INV_USE_NOW) {
    const int entry = from_window >= 0 ? -1 : inv_entry_of(item);
    if (from_window < 0 && entry < 0) return;
    // Equipped items are used on characters only.
    if (from_window >= 0 && target != INV_USE_ON_CHARACTER) return;
    hud_targeting_clear();
    Hud_targeting = target == INV_USE_ON_CHARACTER ? TARGETING_CREATURE : TARGETING_POINT;
    Hud_pending.spell = item->info->use_effect->spell;
    Hud_pending.inventory_entry = entry;
    Hud_pending.item = from_window >= 0 ? nullptr : item;
    Hud_pending.equipped_slot = from_window >= 0 ? inv_window_slot(from_window) : -1;
    close_to_hud();
    return;
  }
  bool used = false;
  if (from_window >= 0) {
    used = entity_use_equipped_item(e, inv_window_slot(from_window), e, &e->pos, 0);
  } else {
    const int at = inv_entry_of(item);
    used = at >= 0 && party_inventory_use_item(e, at, e, &e->pos, 0);
  }
  if (used) close_to_hud();
}

void open_menu(item_instance* item, int from_window) {
  living_entity* e = member();
  g.item = item;
  g.from_window = from_window;
  g.menu_count = 0;
  auto add = [](const char* text, bool enabled, int action) {
    g.menu_items[g.menu_count] = text;
    g.menu_enabled[g.menu_count] = enabled;
    g.menu_actions[g.menu_count++] = action;
  };
  if (item_is_identified(item)) {
    add("Info", true, ACT_INFO);
  } else {
    // Someone must pass the appraise skill's own use test.
    auto can_appraise = [](living_entity* m) {
      return m && !(m->state & (ES_DEAD | ES_AI_DISABLED)) && skill_usable(SKILL_APPRAISE, m) &&
             skill_ready(SKILL_APPRAISE, m);
    };
    bool can = g.identify && can_appraise(e);
    for (PlayerRecord* p = party_first(); p && !g.identify && !can; p = party_next(p)) can = can_appraise(member_entity(p));
    add("Identify", can, ACT_IDENTIFY);
  }
  if (!g.identify && item_is_usable(item)) add("Use", true, ACT_USE);
  if (!g.identify && from_window < 0 && item_can_destroy(item)) add("Destroy", true, ACT_DESTROY);
  add("Cancel", true, ACT_CANCEL);
  choice_list_open(nullptr, Screen_mouse.x, Screen_mouse.y, g.menu_count, g.menu_items, 0, nullptr, g.menu_enabled);
  g.state = MENU_OPEN;
}

void menu_chosen(int choice) {
  item_instance* item = g.item;
  const int from = g.from_window;
  g.state = IDLE;
  if (choice < 0 || choice >= g.menu_count) return;
  switch (g.menu_actions[choice]) {
    case ACT_INFO: item_info_open_instance(item); break;
    case ACT_IDENTIFY: identify_item(item); break;
    case ACT_USE: use_item(item, from); break;
    case ACT_DESTROY: {
      static const char* const yes_no[] = {"Yes", "No"};
      MessagePopup("Warning", "Destroy item?", -1, -1, 2, yes_no, [](int b) {
        // The bag may have changed while the question stood: the entry is
        // found again by its instance.
        if (b == 0 && inv_destroy(g.item)) refresh();
        g.item = nullptr;
        return 0;
      }, 0);
      break;
    }
    default: break;
  }
}

// ---- button actions ------------------------------------------------------------------
void act(int action) {
  const int vis = visible_rows();
  switch (action) {
    case 6: go_to(game_is_single_player() ? SCREEN_JOURNAL : SCREEN_STATUS, 39); break;
    case 8: go_to(SCREEN_STATUS, 39); break;
    case 10: screen_prev_character(); front_play_sound(40); break;
    case 12: screen_next_character(); front_play_sound(40); break;
    case 14:
      if (g.top > 0) g.top--;
      front_play_sound(37);
      break;
    case 16:
      if (g.top < scroll_max_top(g.count, vis)) g.top++;
      front_play_sound(37);
      break;
    case 30: case 33: case 36: case 39: case 42: {
      const int first = inv_category_first((action - 30) / 3, g.identify);
      if (first >= 0) g.top = inv_clamp_top(first, g.count, vis);
      front_play_sound(37);
      break;
    }
    case 44: close_to_hud(); front_play_sound(36); break;
    default: break;
  }
}

void show_tooltip(int r) {
  const ScreenButton& b = B[r];
  const int w = window_of_row(r);
  std::string text;
  if (w >= 0) {
    const item_instance* it = window_item(member(), w);
    if (it && it->info) {
      const bool torso_ok = w != INV_WIN_TORSO || it->info->slot == SLOT_TORSO;
      const bool heavy_ok = w != INV_WIN_HEAVY || it->info->slot == SLOT_HEAVY;
      if (torso_ok && heavy_ok) text = item_display_name(it->info);
    }
  } else if (r >= 29 && r <= 41 && (r - 29) % 3 == 0) {
    text = CATEGORY_TIPS[(r - 29) / 3];
  }
  if (!text.empty() && tooltip_ready()) tooltip_show(b.x, b.y, b.w, b.h, text.c_str());
}

void idle_input(int key) {
  living_entity* e = member();
  const ScreenMouse& m = Screen_mouse;
  g.hovered = -1;
  for (int r = 1; r < INVENTORY_ROWS; r++) {
    const int kind = Inventory_rows[r].kind;
    if (!(kind & (ROW_SLOT | ROW_CLICK | ROW_REPEAT | ROW_TOOLTIP)) || !mouse_in(B[r])) continue;
    if (B[r].bitmap < 0) continue;
    if (kind & ROW_TOOLTIP) show_tooltip(r);
    if ((B[r].flags & SB_HIDDEN) || (g.identify && (kind & ROW_NOT_IDENTIFY))) break;
    g.hovered = r;
    B[r].flags |= SB_HIGHLIGHT;
    if (kind & ROW_SLOT) {
      const int w = window_of_row(r);
      item_instance* it = window_item(e, w);
      if (m.left_pressed && double_click(it)) {
        item_info_open_instance(it);
      } else if (m.left_pressed && w != INV_WIN_WEAPON && it) {
        g.state = SLOT_DRAG;
        g.item = it;
        g.from_window = w;
        item_page_in(static_cast<int>(it->info - Item_infos), ITEM_PAGING_POPUP_SLOT);
      } else if (m.right_pressed && it) {
        open_menu(it, w);
      }
    } else if ((kind & (ROW_CLICK | ROW_REPEAT)) && m.left_pressed) {
      g.state = BUTTON_HELD;
      act(row_press_begin(g.press, Inventory_rows, r));
    }
    break;
  }
  const int rs = res();
  const int grab = g.state == IDLE && m.left_pressed ? scroll_thumb_grab(g.top, g.count, visible_rows(), TRACK_TOP[rs],
                                                                         TRACK_LEN[rs], BAR_X[rs], m.x, m.y)
                                                      : -1;
  if (grab >= 0) {
    g.state = THUMB_DRAG;
    g.grab = grab;
  }
  g.hovered_row = -1;
  const int shown = std::min(visible_rows(), g.count - g.top);
  for (int v = 0; v < shown && g.state == IDLE; v++) {
    int x, y, w, h;
    inventory_bag_row_rect(v, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
    g.hovered_row = v;
    const int at = inv_list_entry(g.top + v, g.identify);
    item_instance* it = at >= 0 ? Party_inventory.entries[at].item : nullptr;
    if (!it) break;
    if (m.left_pressed && double_click(it)) {
      item_info_open_instance(it);
    } else if (m.left_pressed && item_is_identified(it) && it->info->slot != -1) {
      g.state = BAG_DRAG;
      g.item = it;
      g.from_window = -1;
      item_page_in(static_cast<int>(it->info - Item_infos), ITEM_PAGING_POPUP_SLOT);
    } else if (m.right_pressed) {
      open_menu(it, -1);
    }
    break;
  }
  if (g.state != IDLE) return;
  switch (key) {
    case KEY_ESC: case 23: close_to_hud(); front_play_sound(36); return;
    case 19: go_to(SCREEN_STATUS, 39); return;
    case 16:
      if (game_is_single_player()) go_to(SCREEN_JOURNAL, 39);
      return;
    case 48: go_to(SCREEN_BUY_SELL, 39); return;
    case KEY_PAGEUP: g.top = inv_page_up(g.top, visible_rows()); return;
    case KEY_PAGEDOWN: g.top = inv_page_down(g.top, g.count, visible_rows()); return;
    default: break;
  }
  if (m.wheel > 0) g.top = inv_page_up(g.top, visible_rows());
  else if (m.wheel < 0) g.top = inv_page_down(g.top, g.count, visible_rows());
}

void bag_drag_input() {
  living_entity* e = member();
  g.drop_ok = inv_may_equip(e, g.item);
  g.drop_window = -1;
  if (g.drop_ok) {
    int wins[2];
    const int n = inv_drop_windows(e, g.item->info, wins);
    for (int i = 0; i < n && g.drop_window < 0; i++) {
      ScreenButton& b = B[INVENTORY_WINDOW_ROW0 + wins[i]];
      if (mouse_in(b)) {
        g.drop_window = wins[i];
        b.flags |= SB_HIGHLIGHT;
      }
    }
  }
  if (Screen_mouse.left_down) return;
  g.state = IDLE;
  item_page_out(ITEM_PAGING_POPUP_SLOT);
  if (g.drop_ok && g.drop_window >= 0) {
    const int slot = inv_window_slot(g.drop_window);
    if (inv_equip_from_bag(e, g.item, slot)) {
      front_play_sound(40);
      after_equipment_change(e, slot == EQ_WEAPON);
    }
  }
  g.item = nullptr;
}

void slot_drag_input() {
  living_entity* e = member();
  ScreenButton& source = B[INVENTORY_WINDOW_ROW0 + g.from_window];
  source.flags |= SB_HIGHLIGHT;
  if (Screen_mouse.left_down) return;
  g.state = IDLE;
  item_page_out(ITEM_PAGING_POPUP_SLOT);
  const bool ring = g.from_window == INV_WIN_RING1 || g.from_window == INV_WIN_RING2;
  const int other = g.from_window == INV_WIN_RING1 ? INV_WIN_RING2 : INV_WIN_RING1;
  if (ring && mouse_in(B[INVENTORY_WINDOW_ROW0 + other])) {
    if (inv_swap_rings(e)) front_play_sound(40);
  } else if (!mouse_in(source)) {
    inv_unequip(e, inv_window_slot(g.from_window));
  }
  g.item = nullptr;
  refresh();
}

int inventory_input(int key) {
  screen_buttons_clear_highlight(B, INVENTORY_ROWS);
  if (popup_is_open()) return key;
  if (item_info_is_open()) {
    item_info_input(key);
    return 0;
  }
  if (!member()) {
    close_to_hud();
    return 0;
  }
  switch (g.state) {
    case IDLE: idle_input(key); break;
    case BUTTON_HELD: {
      bool done = false;
      const int action = row_press_frame(g.press, B, &done);
      if (done) g.state = IDLE;
      act(action);
      break;
    }
    case THUMB_DRAG: {
      const int rs = res();
      g.top = scroll_top_from_thumb(Screen_mouse.y - g.grab, g.count, visible_rows(), TRACK_TOP[rs], TRACK_LEN[rs]);
      if (!Screen_mouse.left_down) g.state = IDLE;
      break;
    }
    case MENU_OPEN: {
      const int choice = choice_list_input(key);
      if (choice != CHOICE_NONE) menu_chosen(choice);
      break;
    }
    case BAG_DRAG: bag_drag_input(); break;
    case SLOT_DRAG: slot_drag_input(); break;
    default: g.state = IDLE; break;
  }
  return 0;
}

// ---- drawing --------------------------------------------------------------------------
// An item's model in a window (its name when the model is not loaded).
void draw_item_view(const Item_info* info, int x, int y, int w, int h) {
  int dx = 0, dy = 0;
  model_view_item_nudge(info, res(), &dx, &dy);
  if (!model_view_draw_item(Inv_cameras, info, ModelViewRect{x + dx, y + dy, w, h}, 0.0f))
    slot_view_draw(info, x, y, w, h);
}

void draw_window_item(const item_instance* it, const ScreenButton& b) {
  if (!it || !it->info) return;
  draw_item_view(it->info, b.x, b.y, b.w, b.h);
}

void inventory_render() {
  living_entity* e = member();
  const int rs = res();
  // The member's name row.
  for (int i = 1; i <= 4; i++) B[i].flags &= ~SB_DRAWN;
  if (e)
    for (int i = 0; i < 4; i++)
      if (std::strcmp(e->get_name(), HERO_NAMES[i]) == 0) B[1 + i].flags |= SB_DRAWN;
  for (int r = 0; r < INVENTORY_ROWS; r++) {
    const ScreenButton& b = B[r];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT)) || (b.flags & SB_HIDDEN)) continue;
    if (window_of_row(r) >= 0 && !(b.flags & SB_HIGHLIGHT)) continue;
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
  if (g.state == BUTTON_HELD && g.press.held >= 0 && (B[g.press.held].flags & SB_HIGHLIGHT)) {
    const ScreenButton& p = B[g.press.held + 1];
    ui_draw_bitmap_scaled(p.bitmap, p.x, p.y);
  }
  // The member's own model, then each worn item in its window.
  if (e && !model_view_draw_member(Inv_cameras, e, ModelViewRect{FIGURE_X[rs], FIGURE_Y[rs], FIGURE_W[rs], FIGURE_H[rs]}))
    slot_view_draw_figure(e, FIGURE_X[rs], FIGURE_Y[rs], FIGURE_W[rs], FIGURE_H[rs]);
  for (int w = 0; w < INV_NUM_WINDOWS; w++) {
    const ScreenButton& b = B[INVENTORY_WINDOW_ROW0 + w];
    if (b.flags & SB_HIDDEN) continue;
    if ((g.state == SLOT_DRAG) && w == g.from_window) continue;
    draw_window_item(window_item(e, w), b);
  }
  // The bag.
  const int shown = std::min(visible_rows(), g.count - g.top);
  for (int v = 0; v < shown; v++) {
    const int at = inv_list_entry(g.top + v, g.identify);
    if (at < 0) break;
    const InventoryEntry& entry = Party_inventory.entries[at];
    if (!entry.item || !entry.item->info) continue;
    int x, y, w, h;
    inventory_bag_row_rect(v, &x, &y, &w, &h);
    const bool identified = item_is_identified(entry.item);
    Color c = Ui_text_color;
    if (!identified) c = Color(130, 160, 230, 255);
    else if (entry.item->info->slot != -1 && !inv_may_equip(e, entry.item)) c = Color(200, 90, 90, 255);
    if (v == g.hovered_row && g.state == IDLE) c = Ui_hover_color;
    if (g.state == BAG_DRAG && entry.item == g.item) c = Ui_disabled_color;
    gr_set_color_rec(c);
    gr_string(x + 2, y, item_display_name(entry.item->info).c_str());
    if (entry.count > 1) {
      char n[16];
      std::snprintf(n, sizeof n, "%u", entry.count);
      int tw = 0, th = 0;
      gr_get_string_size(&tw, &th, n);
      gr_string(x + w - tw - 2, y, n);
    }
  }
  int ty = 0, th = 0;
  if (scroll_thumb(g.top, g.count, visible_rows(), TRACK_TOP[rs], TRACK_LEN[rs], &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), BAR_X[rs], ty, th);
  // The dragged item, in a window of its own slot's shape centred on the mouse.
  if ((g.state == BAG_DRAG || g.state == SLOT_DRAG) && g.item && g.item->info) {
    int wins[2];
    const int n = g.state == SLOT_DRAG ? (wins[0] = g.from_window, 1) : inv_drop_windows(e, g.item->info, wins);
    const ScreenButton& shape = B[INVENTORY_WINDOW_ROW0 + (n > 0 ? wins[0] : INV_WIN_NECK)];
    const int w = shape.w > 0 ? shape.w : ui_scaled(56), h = shape.h > 0 ? shape.h : ui_scaled(56);
    draw_item_view(g.item->info, Screen_mouse.x - w / 2, Screen_mouse.y - h / 2, w, h);
  }
  if (g.state == MENU_OPEN) choice_list_render();
  item_info_render();
}

void inventory_open(void* argument, bool) {
  g.identify = argument && *static_cast<uint8_t*>(argument) != 0;
  g.state = IDLE;
  g.hovered = g.hovered_row = -1;
  g.top = 0;
  g.item = nullptr;
  g.forget_on_close = true;
  g.owns_ui_mode = false;
  g.press = RowPress{};
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  if (!member()) {
    // Nobody to show: back to the HUD at once.
    int found = -1;
    int i = 0;
    for (PlayerRecord* p = party_first(); p && found < 0; p = party_next(p), i++) {
      living_entity* m = member_entity(p);
      if (m && !(m->state & (ES_DEAD | ES_AI_DISABLED))) found = i;
    }
    if (found < 0) {
      close_to_hud();
      return;
    }
    screen_set_character(found);
  }
  int active = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* m = member_entity(p);
    active += m && !(m->state & (ES_DEAD | ES_AI_DISABLED));
  }
  for (int r : {9, 11}) {
    if (game_is_networked() || active < 2) B[r].flags |= SB_HIDDEN;
    else B[r].flags &= ~SB_HIDDEN;
  }
  refresh();
}

// Developer command: put an item into the bag.
ConsoleCommand cc_give_item("give_item", "Puts an item (by name, optional count) into the party inventory", [] {
  char name[CONSOLE_MAX_ARG + 1];
  console_get_name(name, sizeof name);
  console_get_arg(ARG_INT | ARG_NONE);
  const int count = (Console_arg.type & ARG_INT) && Console_arg.int_value > 0 ? Console_arg.int_value : 1;
  if (!Console_run) return;
  if (item_lookup(name) < 0) {
    console_printf("No item %s\n", name);
    return;
  }
  party_inventory_add_by_name(name, count, -1, true);
  if (screen_get_current() == SCREEN_INVENTORY) refresh();
  console_printf("Gave %d %s\n", count, name);
});

void inventory_close() {
  item_info_close();
  choice_list_close();
  if (g.state == BAG_DRAG || g.state == SLOT_DRAG) item_page_out(ITEM_PAGING_POPUP_SLOT);
  g.state = IDLE;
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  if (g.forget_on_close) {
    screen_set_character(-1);
    buysell_set_merchant_record(nullptr);
  }
}
}  // namespace

living_entity* screen_member_entity(int index) {
  if (index < 0) return nullptr;
  int i = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p), i++)
    if (i == index) return member_entity(p);
  return nullptr;
}

living_entity* inventory_member() { return screen_get_current() == SCREEN_INVENTORY ? member() : nullptr; }

void inventory_bag_row_rect(int v, int* x, int* y, int* w, int* h) {
  const int r = ui_resolution();
  const int fh = gr_font_select(-1);
  *x = LIST_X[r], *y = LIST_Y[r] + v * fh, *w = LIST_W[r], *h = fh;
}
int inventory_visible_rows() { return visible_rows(); }
int inventory_scroll_top() { return g.top; }

void inventory_screen_register() {
  ScreenOps o;
  o.level_init = [] {
    screen_buttons_build(Inventory_rows, INVENTORY_ROWS, Inventory_buttons);
    item_info_level_init();
  };
  o.open = inventory_open;
  o.close = inventory_close;
  o.input = inventory_input;
  o.render = inventory_render;
  // Reopened on another member by the member arrows.
  o.special = [] {
    if (screen_get_current() == SCREEN_INVENTORY && member()) refresh();
    return 0;
  };
  screen_register(SCREEN_INVENTORY, o);
}

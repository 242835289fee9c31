#include "Orrimund/screens/container_screen.h"

#include <cstdio>
#include <cstring>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/item_trade.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screen_net.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

namespace {
constexpr int ROWS = 5;
const ScreenResource Rows[ROWS] = {
    screen_row("Pickup", 170, 121, 213, 151, 172, 194, 0),
    screen_row("Icon-CheckHilite", 427, 302, 534, 378, 585, 484, ROW_SLOT),
    screen_row("Icon-CheckPress", 427, 302, 534, 378, 585, 484, 0),
    screen_row("Icon-GrnClseHilite", 427, 142, 534, 178, 584, 229, ROW_SLOT),
    screen_row("Icon-GrnClsePress", 427, 142, 534, 178, 584, 229, 0),
};
ScreenButton B[ROWS];
constexpr int LIST_X[3] = {190, 238, 210}, LIST_Y[3] = {183, 229, 293}, LIST_W[3] = {267, 334, 427};

struct Shown {
  // The container by handle: in a networked game another player may take
  // it away while it is shown, and a stale pointer must not be used.
  int handle = -1;
  uint8_t marks[CONTAINER_ITEMS] = {};
  int hovered_row = -1;
  int state = 0;  // 0 idle, 1 button held, 2 row pressed
  int held = -1;
  int pressed_row = -1;
  bool owns_ui_mode = false;
} g;
int Mark_bitmaps[4] = {-1, -1, -1, -1};  // marked, marked lit, unmarked, unmarked lit

container_object* shown() {
  game_object* o = g.handle >= 0 ? obj_from_handle(g.handle) : nullptr;
  return o && o->type == OBJ_CONTAINER ? static_cast<container_object*>(o) : nullptr;
}

void row_rect(int i, int* x, int* y, int* w, int* h) {
  const int r = ui_resolution();
  const int fh = gr_font_select(-1);
  *x = LIST_X[r], *y = LIST_Y[r] + i * fh, *w = LIST_W[r], *h = fh;
}

void take() {
  container_object* c = shown();
  const int total = container_take(c, g.marks, CONTAINER_ITEMS);
  front_play_sound(35);
  char text[64];
  container_take_message(total, text, sizeof text);
  if (text[0]) hud_message(text);
  set_screen(SCREEN_HUD, nullptr);
}

// The close button and Escape; a take closes on its own and sends its items.
void close_action() {
  multi_send_container_close(g.handle);
  front_play_sound(36);
  set_screen(SCREEN_HUD, nullptr);
}

int container_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  if (popup_is_open() || game_flags_test(GF_INPUT_LOCKED)) return key;
  container_object* c = shown();
  if (!c) {
    // Taken away while shown.
    set_screen(SCREEN_HUD, nullptr);
    return key;
  }
  const ScreenMouse& m = Screen_mouse;
  switch (g.state) {
    case 0: {
      for (int r = 1; r < ROWS; r++) {
        if (!(Rows[r].kind & ROW_SLOT) || !screen_button_hit(B[r], m.x, m.y)) continue;
        B[r].flags |= SB_HIGHLIGHT;
        if (m.left_pressed) g.state = 1, g.held = r;
        break;
      }
      g.hovered_row = -1;
      for (int i = 0; i < c->count && i < CONTAINER_ITEMS && g.state == 0; i++) {
        int x, y, w, h;
        row_rect(i, &x, &y, &w, &h);
        if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
        g.hovered_row = i;
        if (m.left_pressed) g.state = 2, g.pressed_row = i;
        break;
      }
      if (key == KEY_ESC) {
        close_action();
        return 0;
      }
      return key;
    }
    case 1: {
      const bool over = screen_button_hit(B[g.held], m.x, m.y);
      if (over) B[g.held].flags |= SB_HIGHLIGHT;
      if (m.left_down) return key;
      g.state = 0;
      if (over && g.held == 1) take();
      else if (over && g.held == 3) close_action();
      return key;
    }
    case 2: {
      if (m.left_down) return key;
      int x, y, w, h;
      row_rect(g.pressed_row, &x, &y, &w, &h);
      if (point_in_rect(m.x, m.y, x, y, w, h) && g.pressed_row < CONTAINER_ITEMS) {
        g.marks[g.pressed_row] ^= 1;
        front_play_sound(39);
      }
      g.state = 0;
      return key;
    }
    default: g.state = 0; return key;
  }
}

void container_render() {
  container_object* c = shown();
  if (!c) return;
  gr_set_color_rec(Ui_white);
  ui_draw_bitmap_scaled(B[0].bitmap, B[0].x, B[0].y);
  for (int r : {1, 3}) {
    const bool pressed = g.state == 1 && g.held == r && (B[r].flags & SB_HIGHLIGHT);
    if (pressed) ui_draw_bitmap_scaled(B[r + 1].bitmap, B[r + 1].x, B[r + 1].y);
    else if (B[r].flags & SB_HIGHLIGHT) ui_draw_bitmap_scaled(B[r].bitmap, B[r].x, B[r].y);
  }
  for (int i = 0; i < c->count && i < CONTAINER_ITEMS; i++) {
    const ground_item* it = c->get_item(i);
    if (!it) continue;
    int x, y, w, h;
    row_rect(i, &x, &y, &w, &h);
    const int mark = (g.marks[i] ? 0 : 2) + (i == g.hovered_row ? 1 : 0);
    gr_set_color_rec(Ui_white);
    ui_draw_bitmap_scaled(Mark_bitmaps[mark], x, y + 1);
    gr_set_color_rec(i == g.hovered_row ? Ui_hover_color : Ui_text_color);
    const std::string name = it->is_gold() ? "Gold" : item_display_name(it->item ? it->item->info : nullptr);
    gr_string(x + ui_scaled(18), y, name.c_str());
    char n[16];
    std::snprintf(n, sizeof n, "%d", it->quantity);
    int tw = 0, th = 0;
    gr_get_string_size(&tw, &th, n);
    gr_string(x + w - tw - 4, y, n);
  }
}

void container_open(void* argument, bool) {
  auto* c = static_cast<container_object*>(argument);
  g = Shown{};
  g.handle = c->handle;
  std::memset(g.marks, 1, sizeof g.marks);
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
}

void container_close() {
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  g.handle = -1;
}

// Developer route to the screen: a bag at the controlled hero's feet.
ConsoleCommand cc_drop_bag("drop_bag", "Drops a bag of items (name and count, then gold) by the controlled hero", [] {
  char name[CONSOLE_MAX_ARG + 1];
  console_get_name(name, sizeof name);
  console_get_arg(ARG_INT);
  const int count = Console_arg.int_value;
  console_get_arg(ARG_INT | ARG_NONE);
  const int gold = (Console_arg.type & ARG_INT) ? Console_arg.int_value : 0;
  if (!Console_run) return;
  if (!Selected_entity || item_lookup(name) < 0 || count < 1) {
    console_printf("No bag dropped\n");
    return;
  }
  const vector at = Selected_entity->pos + vector(1.0f, 0.0f, 0.0f);
  ground_item* first = nullptr;
  container_object* bag = ground_item_drop_in_bag(item_create_by_name(name), at, Selected_entity->orient, count, -1, -1, &first);
  if (bag && gold > 0) {
    ground_item* coins = ground_item_drop(item_create_by_name("Gold"), at, Selected_entity->orient, gold, -1, -1);
    if (coins) bag->add_item(coins);
  }
  console_printf(bag ? "Dropped bag %d\n" : "No bag dropped\n", bag ? bag->handle : -1);
});
ConsoleCommand cc_open_bag("open_bag", "Opens the container screen on a container by handle", [] {
  console_get_arg(ARG_INT);
  if (!Console_run) return;
  game_object* o = obj_from_handle(Console_arg.int_value);
  if (o && o->type == OBJ_CONTAINER) set_screen(SCREEN_CONTAINER, o);
  else console_printf("No container %d\n", Console_arg.int_value);
});
}  // namespace

container_object* container_screen_shown() { return screen_get_current() == SCREEN_CONTAINER ? shown() : nullptr; }

void container_screen_register() {
  ScreenOps o;
  o.load = [] {
    screen_buttons_build(Rows, ROWS, B);
    const char* names[4] = {"checkbox", "checkbox-hilite", "crossbox", "crossbox-hilite"};
    for (int i = 0; i < 4; i++) {
      char file[64];
      std::snprintf(file, sizeof file, "%s%s", names[i], ui_art_suffix());
      Mark_bitmaps[i] = bm_load(file);
      if (Mark_bitmaps[i] >= 0 && bm_is_placeholder(Mark_bitmaps[i])) Mark_bitmaps[i] = -1;
    }
    WorldInputHooks hooks = world_input_hooks();
    hooks.container_open = [](game_object* c) {
      if (c && c->type == OBJ_CONTAINER) set_screen(SCREEN_CONTAINER, c);
    };
    world_input_set_hooks(hooks);
  };
  o.open = container_open;
  o.close = container_close;
  o.input = container_input;
  o.render = container_render;
  o.hit_test = [](int x, int y) { return screen_button_hit(B[0], x, y); };
  screen_register(SCREEN_CONTAINER, o);
}

#include "Orrimund/screens/assess_screen.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/assess_text.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

namespace {
constexpr int ROWS = 7;
const ScreenResource Rows[ROWS] = {
    screen_row("Assess-Bkgrnd", 170, 122, 213, 153, 172, 195, 0),
    screen_row("Icon-ArrwUPHilite", 441, 178, 551, 223, 606, 286, ROW_REPEAT),
    screen_row("Icon-ArrwUPPress", 441, 178, 551, 223, 606, 286, 0),
    screen_row("Icon-ArrwDNHilite", 441, 298, 551, 373, 606, 470, ROW_REPEAT),
    screen_row("Icon-ArrwDNPress", 441, 298, 551, 373, 606, 470, 0),
    screen_row("Icon-GrnClseHilite", 427, 143, 534, 179, 583, 230, ROW_SLOT),
    screen_row("Icon-GrnClsePress", 427, 143, 534, 179, 583, 230, 0),
};
ScreenButton B[ROWS];
constexpr int TEXT_X[3] = {190, 238, 304}, TEXT_Y[3] = {181, 226, 290}, TEXT_W[3] = {239, 299, 382};
constexpr int BAR_X[3] = {444, 555, 614}, TRACK_TOP[3] = {209, 261, 338}, TRACK_LEN[3] = {80, 100, 125};

struct Assess {
  std::string text;
  int lines = 0;
  int scroll = 0;
  int state = 0;  // 0 idle, 1 button held
  RowPress press;
  bool owns_ui_mode = false;
} g;

void act(int action) {
  switch (action) {
    case 2:
      if (g.scroll > 0) g.scroll--;
      front_play_sound(37);
      break;
    case 4:
      if (g.scroll < scroll_max_top(g.lines, ASSESS_VISIBLE_LINES)) g.scroll++;
      front_play_sound(37);
      break;
    case 6: set_screen(SCREEN_HUD, nullptr); front_play_sound(36); break;
    default: break;
  }
}

int assess_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  if (popup_is_open()) return key;
  const bool bar = assess_needs_scroll(g.lines);
  if (g.state == 1) {
    bool done = false;
    const int action = row_press_frame(g.press, B, &done);
    if (done) g.state = 0;
    act(action);
    return key;
  }
  for (int r = 1; r < ROWS; r++) {
    if (!(Rows[r].kind & (ROW_SLOT | ROW_REPEAT)) || (!bar && r < 5) ||
        !screen_button_hit(B[r], Screen_mouse.x, Screen_mouse.y))
      continue;
    B[r].flags |= SB_HIGHLIGHT;
    if (Screen_mouse.left_pressed) {
      g.state = 1;
      act(row_press_begin(g.press, Rows, r));
    }
    break;
  }
  if (key == KEY_ESC) {
    set_screen(SCREEN_HUD, nullptr);
    front_play_sound(36);
    return 0;
  }
  const int page = ASSESS_VISIBLE_LINES;
  if (Screen_mouse.wheel > 0) g.scroll = std::max(0, g.scroll - page);
  else if (Screen_mouse.wheel < 0) g.scroll = std::min(scroll_max_top(g.lines, page), g.scroll + page);
  return key;
}

void assess_render() {
  const int r = ui_resolution();
  const bool bar = assess_needs_scroll(g.lines);
  gr_set_color_rec(Ui_white);
  ui_draw_bitmap_scaled(B[0].bitmap, B[0].x, B[0].y);
  for (int i = 1; i < ROWS; i++)
    if ((B[i].flags & SB_HIGHLIGHT) && (bar || i >= 5)) ui_draw_bitmap_scaled(B[i].bitmap, B[i].x, B[i].y);
  const int fh = gr_font_select(-1);
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  gr_set_clip(TEXT_X[r], TEXT_Y[r], TEXT_W[r], fh * ASSESS_VISIBLE_LINES);
  gr_set_color_rec(Ui_text_color);
  gr_string(0, -g.scroll * fh, g.text.c_str());
  gr_set_clip(cx, cy, cw, ch);
  int ty = 0, th = 0;
  if (scroll_thumb(g.scroll, g.lines, ASSESS_VISIBLE_LINES, TRACK_TOP[r], TRACK_LEN[r], &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), BAR_X[r], ty, th);
}

void assess_open(void* argument, bool) {
  const auto* e = static_cast<const living_entity*>(argument);
  g = Assess{};
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  AssessFacts f{};
  char name[64];
  assess_facts_of(e, &f, name, sizeof name);
  g.text = assess_text(f, game_is_networked());
  g.lines = assess_line_count(g.text);
}

void assess_close() {
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
}

// Developer route to the popup: the nearest creature or townsman to the
// controlled hero, as the assess skill would pick it.
ConsoleCommand cc_assess("assess", "Opens the assess popup on the creature nearest the controlled hero", [] {
  if (!Console_run) return;
  living_entity* best = nullptr;
  float best_d = 1e30f;
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    const bool other = o->type == OBJ_CREATURE || o->type == OBJ_NEUTRAL || o->type == OBJ_BOSS;
    if (!other || !Selected_entity) continue;
    const float d = (o->pos - Selected_entity->pos).length();
    if (d < best_d) best_d = d, best = static_cast<living_entity*>(o);
  }
  if (best) set_screen(SCREEN_ASSESS, best);
  else console_printf("No creature to assess\n");
});
}  // namespace

void assess_facts_of(const living_entity* e, AssessFacts* f, char* name, int name_size) {
  e->get_display_name(name, name_size);
  f->name = name;
  f->type_name = e->character ? e->character->name : "";
  f->level = e->level;
  f->hit_points = static_cast<int>(std::lround(e->hp));
  f->max_hit_points = e->get_max_points(0);
  const item_instance* weapon = e->equipment[EQ_WEAPON];
  const bool own = !weapon || !weapon->info || (e->character && (e->character->flags & 0x200));
  f->damage = own ? (e->character ? e->character->damage : 0) : weapon->info->weapon.damage;
  f->protection = static_cast<int>(std::lround(100.0f * e->combat.get_armor_rating()));
  f->magic_resist = static_cast<int>(std::lround(100.0f * e->get_resistance(3)));
  for (int c = 0; c < 7; c++) f->classes[c] = e->character ? e->character->resistances[c] : 2;
}

void assess_screen_register() {
  ScreenOps o;
  o.load = [] { screen_buttons_build(Rows, ROWS, B); };
  o.open = assess_open;
  o.close = assess_close;
  o.input = assess_input;
  o.render = assess_render;
  o.hit_test = [](int x, int y) { return screen_button_hit(B[0], x, y); };
  screen_register(SCREEN_ASSESS, o);
}

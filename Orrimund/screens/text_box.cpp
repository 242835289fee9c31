// Screen 13, the conversation text box: the speaker's name, the speaker
// panel with a "more" link while the conversation's text waits to be read,
// and the choice panel with its scroll arrows. It is not modal: the world
// and the HUD stay above and beside it.
#include "Orrimund/screens/text_box.h"

#include <cstdio>
#include <cstring>

#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/conversation.h"
#include "levelscripts/dialogue.h"
#include "levelscripts/text_panel.h"
#include "Orrimund/screens/screen_ui.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

namespace {

char Speaker[64] = "";
int Box_state = TEXT_BOX_CLOSED;
int Hovered = -1;
bool Journal_changed = false;

// The box's frame and its close box, by the screens' row rule: the frame
// loaded as named (stretched over the box's place), the close box in the
// art set's size, lit while the mouse is on it.
const ScreenResource Rows[2] = {
    screen_row("hud-dialoguebox01.tga", 0, 0, 0, 0, 0, 0, 0),
    screen_row("crossbox-hilite2", 0, 0, 0, 0, 0, 0, 2),
};
ScreenButton B[2];
enum { ROW_BOX = 0, ROW_CLOSE = 1 };

// The scroll arrows: characters 169 and 170 of the UI font.
const char ARROW_UP[] = "\xa9";
const char ARROW_DOWN[] = "\xaa";

// The box's place in the 640 layout, grown with the screen: the lower part
// of the view over the HUD bar.
struct Rect {
  int x, y, w, h;
};
Rect box() {
  const int bottom = gr_screen_height() - hud_bar_height();
  const int h = ui_layout_scaled(150);
  return {ui_layout_scaled(16), bottom - h - ui_layout_scaled(6), gr_screen_width() - ui_layout_scaled(32), h};
}
Rect close_box() {
  const Rect b = box();
  const int w = B[ROW_CLOSE].bitmap >= 0 ? B[ROW_CLOSE].w : ui_layout_scaled(14);
  const int h = B[ROW_CLOSE].bitmap >= 0 ? B[ROW_CLOSE].h : ui_layout_scaled(14);
  return {b.x + b.w - w - 4, b.y + 4, w, h};
}
bool inside(const Rect& r, int x, int y) { return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h; }

int font_h() {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, "X");
  return h > 0 ? h : 10;
}

int arrow_width() {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, ARROW_UP);
  return w > 0 ? w : 10;
}

void place_panels() {
  const Rect b = box();
  const int lines = (b.h - 2 * font_h() - 8) / font_h();
  const int split = b.w * 3 / 5;
  Speaker_panel.set_geometry(b.x + 10, b.y + font_h() + 8, split - 20, lines);
  Choice_panel.set_geometry(b.x + split + 10, b.y + font_h() + 8,
                            b.w - split - 24 - close_box().w - arrow_width(), lines);
}

// The arrows stand right of the choices, at the panel's top and bottom.
Rect arrow_rect(bool up) {
  const int x = Choice_panel.x + Choice_panel.width + 4;
  const int y = up ? Choice_panel.y : Choice_panel.y + Choice_panel.view_height() - font_h();
  return {x, y, arrow_width(), font_h()};
}

int first_visible_choice() {
  for (int k = 0; k < Choice_panel.count; k++)
    if (Choice_panel.entry_visible(Choice_panel.entry_slot(k))) return k;
  return -1;
}
bool can_scroll_up() { return Choice_panel.count > 0 && Choice_panel.target < 0; }
bool can_scroll_down() {
  return Choice_panel.count > 0 && !Choice_panel.entry_visible(Choice_panel.entry_slot(Choice_panel.count - 1));
}
// Up: the choice above the first one in view comes to the top; down: the
// first one in view scrolls out.
void scroll_choices(bool up) {
  const int k = first_visible_choice();
  if (k < 0) return;
  const int to = up ? (k > 0 ? k - 1 : 0) : k + 1;
  if (to >= Choice_panel.count) return;
  Choice_panel.target = -Choice_panel.at_slot(Choice_panel.entry_slot(to)).offset;
}

// The entry of the choice panel under the mouse, -1 none.
int choice_under(int mx, int my) {
  for (int k = 0; k < Choice_panel.count; k++) {
    const int slot = Choice_panel.entry_slot(k);
    if (!Choice_panel.entry_visible(slot)) continue;
    const TextPanelEntry& e = Choice_panel.at_slot(slot);
    const int top = Choice_panel.y + Choice_panel.entry_top(slot);
    if (mx >= Choice_panel.x && mx < Choice_panel.x + Choice_panel.width && my >= top && my < top + e.height)
      return slot;
  }
  return -1;
}

bool last_speaker_line_fits() {
  if (Speaker_panel.count == 0) return true;
  return Speaker_panel.entry_fits(Speaker_panel.entry_slot(Speaker_panel.count - 1));
}

void show_link() {
  Choice_panel.clear();
  Choice_panel.add(nullptr, TP_MORE, 0);
}

void open(void* argument, bool) {
  std::snprintf(Speaker, sizeof Speaker, "%s", argument ? static_cast<const char*>(argument) : "");
  Box_state = TEXT_BOX_SPEAKER;
  Hovered = -1;
  Journal_changed = false;
}

void close() {
  if (Journal_changed || conversation_journal_updated()) hud_message("Quest Journal Updated");
  Box_state = TEXT_BOX_CLOSED;
  if (!dialogue_is_idle()) dialogue_end(false);
}

void end_by_player() {
  if (!dialogue_may_abort()) return;
  front_play_sound(36);
  Box_state = TEXT_BOX_CLOSED;
  dialogue_end(false);
}

int input(int key) {
  if (Box_state == TEXT_BOX_CLOSED) return key;
  if (conversation_journal_updated()) Journal_changed = true;
  if (Speaker_panel.scrolling() || Choice_panel.scrolling()) {
    Box_state = Speaker_panel.scrolling() ? TEXT_BOX_SPEAKER_SCROLLING : TEXT_BOX_CHOICES_SCROLLING;
    return key;
  }
  const int mx = Screen_mouse.x, my = Screen_mouse.y;
  const bool press = Screen_mouse.left_pressed;
  if (key == KEY_ESC || (press && inside(close_box(), mx, my))) {
    end_by_player();
    return 0;
  }
  Box_state = dialogue_choices_shown() ? TEXT_BOX_CHOOSING : TEXT_BOX_SPEAKER;
  if (!press && Box_state != TEXT_BOX_CHOOSING) return key;
  if (Box_state == TEXT_BOX_SPEAKER) {
    if (Choice_panel.count == 0 || !inside(box(), mx, my)) return key;
    const int slot = Choice_panel.entry_slot(0);
    if (!Choice_panel.link_hovered(Choice_panel.at_slot(slot), mx, my)) return key;
    front_play_sound(35);
    if (last_speaker_line_fits()) dialogue_advance();
    else Speaker_panel.page_down();
    screen_flush_mouse();
    return 0;
  }
  if (press) {
    for (bool up : {true, false}) {
      if (!inside(arrow_rect(up), mx, my) || !(up ? can_scroll_up() : can_scroll_down())) continue;
      front_play_sound(37);
      scroll_choices(up);
      screen_flush_mouse();
      return 0;
    }
  }
  const int slot = choice_under(mx, my);
  if (slot != Hovered) {
    if (Hovered >= 0 && Hovered < TEXT_PANEL_ENTRIES) Choice_panel.entries[Hovered].kind = TP_CHOICE;
    if (slot >= 0) {
      Choice_panel.entries[slot].kind = TP_CHOICE_HOVER;
      front_play_sound(37);
    }
    Hovered = slot;
  }
  if (press && slot >= 0) {
    const int topic = static_cast<int>(Choice_panel.at_slot(slot).tag) - 1;
    front_play_sound(35);
    Hovered = -1;
    dialogue_choose(topic);
    screen_flush_mouse();
    return 0;
  }
  return press && inside(box(), mx, my) ? 0 : key;
}

void render() {
  if (Box_state == TEXT_BOX_CLOSED) return;
  const Rect b = box();
  if (B[ROW_BOX].bitmap >= 0) {
    int w = 0, h = 0;
    bm_get_size(B[ROW_BOX].bitmap, &w, &h);
    gr_set_color_rec(Ui_white);
    gr_set_bitmap(B[ROW_BOX].bitmap);
    gr_bitmap_scaled(B[ROW_BOX].bitmap, b.x, b.y, b.w, b.h, 0, 0, w, h, Gr_preset[1]);
  } else {  // a world without the art still shows a box
    gr_set_color(12, 10, 8, 255);
    gr_rect(b.x, b.y, b.w, b.h, Gr_preset[7]);
  }
  const Rect c = close_box();
  const bool on_close = inside(c, Screen_mouse.x, Screen_mouse.y);
  if (on_close) B[ROW_CLOSE].flags |= SB_HIGHLIGHT;
  else B[ROW_CLOSE].flags &= ~SB_HIGHLIGHT;
  if (B[ROW_CLOSE].bitmap >= 0) {
    gr_set_color_rec(on_close ? Ui_white : Ui_disabled_color);
    ui_draw_bitmap_scaled(B[ROW_CLOSE].bitmap, c.x, c.y);
  } else {
    gr_set_color(on_close ? 255 : 180, on_close ? 255 : 180, on_close ? 158 : 180, 255);
    gr_string(c.x + 3, c.y, "x");
  }
  gr_set_color(Ui_text_color.red, Ui_text_color.green, Ui_text_color.blue, 255);
  gr_string(b.x + 10, b.y + 4, Speaker);
  // Text waiting to be read shows its "more" link; read text its choices.
  if (!dialogue_choices_shown() && dialogue_state() == 2 && (Choice_panel.count == 0 || Choice_panel.at_slot(Choice_panel.entry_slot(0)).kind != TP_MORE))
    show_link();
  Speaker_panel.draw();
  Choice_panel.draw();
  if (Box_state == TEXT_BOX_CHOOSING || Box_state == TEXT_BOX_CHOICES_SCROLLING || dialogue_choices_shown()) {
    for (bool up : {true, false}) {
      if (!(up ? can_scroll_up() : can_scroll_down())) continue;
      const Rect a = arrow_rect(up);
      const Color& col = inside(a, Screen_mouse.x, Screen_mouse.y) ? Ui_hover_color : Ui_text_color;
      gr_set_color(col.red, col.green, col.blue, 255);
      gr_string(a.x, a.y, up ? ARROW_UP : ARROW_DOWN);
    }
  }
}

bool hit_test(int x, int y) { return Box_state != TEXT_BOX_CLOSED && inside(box(), x, y); }

}  // namespace

int text_box_state() { return Box_state; }

void text_box_register() {
  ScreenOps ops;
  ops.load = [] { screen_buttons_build(Rows, 2, B); };
  ops.level_init = place_panels;
  ops.open = open;
  ops.close = close;
  ops.input = input;
  ops.render = render;
  ops.hit_test = hit_test;
  screen_register(SCREEN_TEXT_BOX, ops);
  // The game registers the box after the screens have loaded their art.
  if (gr_is_initialised()) ops.load();
}

// Where the box's links and choices stand on the screen, for developers and
// tests that click them.
static ConsoleCommand cc_text_box("text_box", "Prints the conversation text box's state and choices", [] {
  if (!Console_run) return;
  console_printf("Text box state %d speaker %s\n", Box_state, Speaker);
  for (int k = 0; k < Choice_panel.count; k++) {
    const int slot = Choice_panel.entry_slot(k);
    const TextPanelEntry& e = Choice_panel.at_slot(slot);
    const int top = Choice_panel.y + Choice_panel.entry_top(slot);
    if (e.kind == TP_MORE || e.kind == TP_END)
      console_printf("Link %s at %d %d\n", e.kind == TP_MORE ? "more" : "end", Choice_panel.x + 4, top + e.height / 2);
    else if (Choice_panel.entry_visible(slot))
      console_printf("Choice %s at %d %d\n", e.text ? e.text : "", Choice_panel.x + 4, top + e.height / 2);
  }
  for (bool up : {true, false}) {
    if (!(up ? can_scroll_up() : can_scroll_down())) continue;
    const Rect a = arrow_rect(up);
    console_printf("Arrow %s at %d %d\n", up ? "up" : "down", a.x + a.w / 2, a.y + a.h / 2);
  }
  console_printf("Box bitmap %s\n", B[ROW_BOX].bitmap >= 0 ? "loaded" : "missing");
});

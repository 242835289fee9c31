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
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"

namespace {

char Speaker[64] = "";
int Box_state = TEXT_BOX_CLOSED;
int Hovered = -1;
bool Journal_changed = false;

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
  const int s = ui_layout_scaled(14);
  return {b.x + b.w - s - 4, b.y + 4, s, s};
}
bool inside(const Rect& r, int x, int y) { return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h; }

int font_h() {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, "X");
  return h > 0 ? h : 10;
}

void place_panels() {
  const Rect b = box();
  const int lines = (b.h - 2 * font_h() - 8) / font_h();
  const int split = b.w * 3 / 5;
  Speaker_panel.set_geometry(b.x + 10, b.y + font_h() + 8, split - 20, lines);
  Choice_panel.set_geometry(b.x + split + 10, b.y + font_h() + 8, b.w - split - 20 - close_box().w, lines);
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
  gr_set_color(12, 10, 8, 255);
  gr_rect(b.x, b.y, b.w, b.h, Gr_preset[7]);
  gr_set_color(120, 100, 60, 255);
  gr_rect(b.x, b.y, b.w, 2, Gr_preset[7]);
  const Rect c = close_box();
  const bool on_close = inside(c, Screen_mouse.x, Screen_mouse.y);
  gr_set_color(on_close ? 255 : 180, on_close ? 255 : 180, on_close ? 158 : 180, 255);
  gr_string(c.x + 3, c.y, "x");
  gr_set_color(Ui_text_color.red, Ui_text_color.green, Ui_text_color.blue, 255);
  gr_string(b.x + 10, b.y + 4, Speaker);
  // Text waiting to be read shows its "more" link; read text its choices.
  if (!dialogue_choices_shown() && dialogue_state() == 2 && (Choice_panel.count == 0 || Choice_panel.at_slot(Choice_panel.entry_slot(0)).kind != TP_MORE))
    show_link();
  Speaker_panel.draw();
  Choice_panel.draw();
}

bool hit_test(int x, int y) { return Box_state != TEXT_BOX_CLOSED && inside(box(), x, y); }

}  // namespace

int text_box_state() { return Box_state; }

void text_box_register() {
  ScreenOps ops;
  ops.level_init = place_panels;
  ops.open = open;
  ops.close = close;
  ops.input = input;
  ops.render = render;
  ops.hit_test = hit_test;
  screen_register(SCREEN_TEXT_BOX, ops);
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
});

// The frame of the toolkit: start-up, the routing of each frame's mouse and
// key input to the windows (top first), tooltips, the end of drag and drop,
// drawing, and the bevelled boxes every gadget is drawn with.
#include <cstring>

#include "quarn/gr/gr_font.h"
#include "quarn/os/mouse.h"
#include "quarn/ui/ui_internal.h"

UiSchemes Ui_schemes;
UiFrameMouse Ui_mouse;
int Ui_sounds[UI_NUM_SOUNDS] = {-1, -1, -1, -1, -1, -1, -1, -1};
bool Ui_page_enabled = false;

namespace {
UiMouseSource Mouse_source = nullptr;
// The frame's clicks are forgotten, not the buttons' held state: a drag the
// toolkit is following goes on in the next frame.
void (*Mouse_discard)() = mouse_clear_counts;
UiSoundPlayer Sound_player = nullptr;

void read_mouse_module(UiMouseInput* in) {
  int z = 0, dx = 0, dy = 0, dz = 0;
  mouse_get_pos(&in->x, &in->y, &z);
  mouse_get_delta(&dx, &dy, &dz);
  in->wheel = dz;
  in->moved = dx != 0 || dy != 0;
  in->left_down = mouse_down(MOUSE_LEFT_BUTTON);
  in->right_down = mouse_down(MOUSE_RIGHT_BUTTON);
  in->left_pressed = mouse_pressed(MOUSE_LEFT_BUTTON);
  in->left_released = mouse_released(MOUSE_LEFT_BUTTON);
  in->right_pressed = mouse_pressed(MOUSE_RIGHT_BUTTON);
  in->right_released = mouse_released(MOUSE_RIGHT_BUTTON);
  in->left_double = mouse_double_click(MOUSE_LEFT_BUTTON);
  in->right_double = mouse_double_click(MOUSE_RIGHT_BUTTON);
}

void set_colors(Color* out, std::initializer_list<Color> list) {
  for (const Color& c : list) *out++ = c;
}

void set_schemes() {
  UiSchemes& s = Ui_schemes;
  set_colors(s.window, {{128, 128, 128, 224}, {48, 48, 48, 224}, {96, 92, 88, 224}, {96, 92, 88, 224}});
  set_colors(s.button[0], {{128, 128, 128, 196}, {32, 32, 32, 196}, {0, 0, 0, 0}, {144, 144, 144, 255}, {0, 0, 0, 255}});
  set_colors(s.button[1],
             {{128, 128, 128, 196}, {32, 32, 32, 196}, {255, 255, 0, 24}, {160, 160, 160, 255}, {0, 0, 0, 255}});
  set_colors(s.button[2],
             {{128, 128, 128, 196}, {48, 48, 48, 196}, {0, 0, 0, 0}, {48, 48, 48, 255}, {112, 112, 112, 255}});
  set_colors(s.stat[0], {{0, 0, 0, 0}, {144, 144, 144, 255}, {0, 0, 0, 255}});
  set_colors(s.stat[1], {{0, 0, 0, 0}, {48, 48, 48, 255}, {112, 112, 112, 255}});
  set_colors(s.check[0], {{255, 255, 255, 255}, {255, 0, 0, 255}, {144, 144, 144, 255}, {0, 0, 0, 255}});
  set_colors(s.check[1], {{255, 255, 255, 255}, {255, 0, 0, 255}, {196, 196, 196, 255}, {0, 0, 0, 255}});
  set_colors(s.check[2], {{128, 128, 128, 255}, {255, 0, 0, 255}, {196, 196, 196, 255}, {0, 0, 0, 255}});
  set_colors(s.check[3], {{172, 172, 172, 255}, {255, 0, 0, 255}, {48, 48, 48, 255}, {112, 112, 112, 255}});
  set_colors(s.tooltip, {{0, 0, 0, 96}, {255, 255, 255, 255}, {0, 0, 0, 0}});
  set_colors(s.container, {{128, 128, 128, 196}, {48, 48, 48, 196}, {144, 144, 144, 255}, {0, 0, 0, 255}});
  set_colors(s.listbox, {{128, 128, 128, 128}, {24, 24, 24, 196}, {48, 48, 48, 224}, {128, 128, 128, 128},
                         {24, 24, 24, 196}, {0, 0, 0, 0}, {144, 144, 144, 255}, {24, 24, 24, 255}});
  set_colors(s.entries, {{170, 170, 170, 255}, {0, 0, 0, 255}, {170, 170, 0, 255}, {0, 0, 0, 255},
                         {140, 140, 0, 255}, {0, 0, 0, 255}});
  set_colors(s.input[0], {{128, 128, 128, 128}, {24, 24, 24, 196}, {48, 48, 48, 224}, {188, 188, 188, 255},
                          {0, 0, 0, 255}, {255, 140, 0, 160}});
  set_colors(s.input[1], {{128, 128, 128, 128}, {24, 24, 24, 196}, {0, 0, 0, 0}, {144, 144, 144, 255},
                          {24, 24, 24, 255}, {0, 0, 0, 0}});
  set_colors(s.slider, {{86, 92, 125, 255}, {22, 25, 50, 255}, {62, 66, 94, 255}, {120, 120, 120, 255},
                        {128, 128, 128, 255}});
}

// The gadget under the mouse in the first window from the top that has one.
UiGadget* clicked_gadget() {
  for (UiWindow* w = Ui.last; w; w = w->prev_window)
    if (UiGadget* g = w->gadget_at(Ui_mouse.x, Ui_mouse.y)) return g;
  return nullptr;
}

// The tooltip owner under a still mouse: the first shown window from the
// top that would take a click there (a gadget of it, or the window itself),
// so the tooltip never speaks for a gadget the click cannot reach.
UiObject* hover_owner() {
  for (UiWindow* w = Ui.last; w; w = w->prev_window) {
    if (w->is_hidden()) continue;
    if (UiGadget* g = w->gadget_at(Ui_mouse.x, Ui_mouse.y)) return g;
    if (w->contains(Ui_mouse.x, Ui_mouse.y)) return w->mask_at(Ui_mouse.x, Ui_mouse.y) != 0 ? w : nullptr;
  }
  return nullptr;
}

void set_tooltip_owner(UiObject* owner) {
  if (owner == Ui.tooltip_owner) return;
  Ui.tooltip_owner = owner;
  Ui.tooltip_shown = false;
  Ui.tooltip_timer.set(UI_TOOLTIP_DELAY_MS);
}

void end_drag() {
  UiButton* src = Ui.drag_source;
  if (!Ui.drop_handled && src) {
    UiButton* target = src->drop_target;
    if (!target) {
      if (clicked_gadget() != src) {
        src->count -= src->amount;
        src->handle_event(UI_EVENT_DRAG_ENDED, UI_ID_SELF);
      }
    } else if (target != src && (target->max_count < 0 || target->count + src->amount <= target->max_count)) {
      Ui.drop_target = target;
      if (target->max_count >= 0) target->count += src->amount;
      src->handle_event(UI_EVENT_DROPPED, UI_ID_SELF);
      if (src->max_count >= 0) src->count -= src->amount;
      src->handle_event(UI_EVENT_DRAG_ENDED, UI_ID_SELF);
    }
  }
  Ui.drop_handled = false;
  Ui.drag_source = nullptr;
  Ui.drop_target = nullptr;
}

const UiTooltip* tooltip_record() {
  UiObject* o = Ui.tooltip_owner;
  if (!o) return nullptr;
  if (o->kind == 1) {
    UiWindow* w = static_cast<UiWindow*>(o);
    if (w->mask_pixels.empty()) return nullptr;
    return o->find_tooltip(w->mask_at(Ui_mouse.x, Ui_mouse.y));
  }
  UiGadget* g = static_cast<UiGadget*>(o);
  switch (g->type) {
    case UI_TYPE_CONTAINER: {
      UiContainer* c = static_cast<UiContainer*>(g);
      if (c->mask.empty()) return nullptr;
      return o->find_tooltip(c->hit_test(Ui_mouse.x, Ui_mouse.y));
    }
    case UI_TYPE_BUTTON:
    case UI_TYPE_CHECKBOX:
    case UI_TYPE_RADIO:
    case UI_TYPE_SLIDER:
    case UI_TYPE_LISTBOX:
      return o->tooltips.empty() ? nullptr : &o->tooltips.front();
    default:
      return nullptr;
  }
}

int owner_screen_x(UiObject* o) { return o->kind == 1 ? o->x : static_cast<UiGadget*>(o)->screen_x(); }
int owner_screen_y(UiObject* o) { return o->kind == 1 ? o->y : static_cast<UiGadget*>(o)->screen_y(); }

void draw_tooltip() {
  const UiTooltip* t = tooltip_record();
  if (!t) return;
  int tw = 0, th = 0;
  ui_text_size(t->text, -1, &tw, &th);
  int bx = owner_screen_x(Ui.tooltip_owner) + t->dx, by = owner_screen_y(Ui.tooltip_owner) + t->dy;
  if (bx < 2) bx = 2;
  if (by < 2) by = 2;
  const int sw = gr_screen_width(), sh = gr_screen_height();
  if (bx + tw + 3 > sw - 2) bx = sw - 5 - tw;
  if (by + th + 3 > sh - 2) by = sh - 5 - th;
  const Color* c = t->colors ? t->colors : Ui_schemes.tooltip;
  ui_fill(bx, by, tw + 3, th + 3, c[0]);
  if (c[2].alpha) {
    gr_set_color_rec(c[2]);
    gr_string(bx + 2, by + 2, t->text, -1);
  }
  gr_set_color_rec(c[1]);
  gr_string(bx + 1, by + 1, t->text, -1);
}

void draw_dragged() {
  UiButton* b = Ui.drag_source;
  if (!b) return;
  int dx = 0, dy = 0;
  b->get_drag_offset(&dx, &dy);
  b->draw_face_at(Ui_mouse.x + dx, Ui_mouse.y + dy, Ui_schemes.button[0], false, UiButton::DRAG);
}

void draw_window_frame(UiWindow* w) {
  if (w->background_bitmap >= 0) {
    ui_draw_bitmap(w->background_bitmap, w->x, w->y);
    return;
  }
  const Color* c = w->colors ? w->colors : Ui_schemes.window;
  switch (w->flags & UI_WF_FRAME_MASK) {
    case 1:
      ui_fill(w->x, w->y, w->width, w->height, c[2]);
      break;
    case 2:
      ui_fill(w->x + 3, w->y + 3, w->width - 6, w->height - 6, c[2]);
      ui_draw_bevel(w->x, w->y, w->width, w->height, c[0], c[1], 3, 0);
      break;
    case 3:
      ui_fill(w->x + 5, w->y + 5, w->width - 10, w->height - 10, c[2]);
      ui_draw_bevel(w->x, w->y, w->width, w->height, c[0], c[1], 2, 0);
      ui_draw_bevel(w->x, w->y, w->width, w->height, c[3], c[3], 2, 2);
      ui_draw_bevel(w->x, w->y, w->width, w->height, c[1], c[0], 1, 4);
      break;
    default:
      break;
  }
}
}  // namespace

void ui_set_mouse_source(UiMouseSource source) { Mouse_source = source; }
void ui_set_mouse_discard(void (*discard)()) { Mouse_discard = discard ? discard : mouse_clear_counts; }
void ui_set_sound_player(UiSoundPlayer player) { Sound_player = player; }

void ui_init() {
  if (Ui.started) return;
  Ui = UiGlobals{};
  Ui.started = true;
  Ui_mouse = UiFrameMouse{};
  for (int& s : Ui_sounds) s = -1;
  set_schemes();
}

void ui_play_sound(int n) {
  if (n < 0 || n >= UI_NUM_SOUNDS) return;
  int handle = Ui_sounds[n];
  if (handle < 0 && n >= 2) handle = Ui_sounds[1];
  if (handle < 0 || !Sound_player) return;
  Sound_player(handle, 1.0f);
}

namespace {
bool Page_zbuffer_was_on = false;
}  // namespace

void ui_page_begin() {
  if (!Ui_page_enabled) return;
  Page_zbuffer_was_on = gr_zbuffer_is_on();
  gr_zbuffer_clear(false);
  gr_reset_clip();
}

void ui_page_end() {
  if (!Ui_page_enabled) return;
  if (Page_zbuffer_was_on) gr_zbuffer_clear(true);
}

UiObject* ui_tooltip_owner() { return Ui.tooltip_owner; }
bool ui_tooltip_shown() { return Ui.tooltip_shown; }
UiButton* ui_drag_source() { return Ui.drag_source; }

int ui_process(int key, int flush) {
  ui_init();
  Ui.key = key;
  UiMouseInput in;
  if (Mouse_source) Mouse_source(&in);
  else read_mouse_module(&in);

  UiFrameMouse& m = Ui_mouse;
  m.left_click = in.left_pressed;
  m.left_release = in.left_released;
  m.right_click = in.right_pressed && !in.left_pressed;
  m.right_release = in.right_released;
  m.left_double = in.left_double && m.left_armed;
  m.right_double = in.right_double && m.right_armed && m.right_click;
  m.left_down = in.left_down;
  m.right_down = in.right_down;
  m.prev_x = m.x;
  m.prev_y = m.y;
  m.x = in.x;
  m.y = in.y;
  m.wheel = in.wheel;
  m.moved = in.moved || m.x != m.prev_x || m.y != m.prev_y;
  const uint8_t bytes[6] = {m.left_click, m.left_release, m.right_click, m.right_release, m.left_double,
                            m.right_double};

  if (!m.left_click && !m.right_click) {
    UiObject* owner = hover_owner();
    if (owner) set_tooltip_owner(owner);
    else Ui.tooltip_owner = nullptr;
  } else {
    UiGadget* hit = clicked_gadget();
    if (m.left_double && hit != m.last_clicked) m.left_double = 0;
    if (m.right_double && hit != m.last_clicked) m.right_double = 0;
    m.last_clicked = hit;
    if (m.left_click) m.left_armed = !m.left_double;
    if (m.right_click) m.right_armed = !m.right_double;
    if (!hit) {
      UiObject* owner = hover_owner();
      if (owner) set_tooltip_owner(owner);
      else Ui.tooltip_owner = nullptr;
    } else {
      set_tooltip_owner(hit);
    }
  }

  if (Ui.focus && (Ui.focus->is_hidden() || Ui.focus->is_disabled())) Ui.focus = nullptr;

  bool took_mouse = false;
  for (UiWindow* w = Ui.last; w;) {
    UiWindow* below = w->prev_window;
    key = w->process(key);
    const bool cleared = m.left_click != bytes[0] || m.left_release != bytes[1] || m.right_click != bytes[2] ||
                         m.right_release != bytes[3] || m.left_double != bytes[4] || m.right_double != bytes[5];
    if (cleared) {
      took_mouse = true;
      // A click belongs to the window that took it; the windows below it
      // still learn that the buttons went up, so nothing stays held.
      m.left_release = bytes[1];
      m.right_release = bytes[3];
    }
    w = below;
  }

  if (!Ui.tooltip_owner) {
    Ui.tooltip_shown = false;
  } else if (m.left_down) {
    Ui.tooltip_shown = false;
    Ui.tooltip_timer.set(UI_TOOLTIP_DELAY_MS);
  } else if (!Ui.tooltip_shown) {
    if (m.x != m.prev_x || m.y != m.prev_y) Ui.tooltip_timer.set(UI_TOOLTIP_DELAY_MS);
    else if (Ui.tooltip_timer.elapsed()) Ui.tooltip_shown = true;
  }

  if (bytes[1]) {
    if (Ui.drag_source) end_drag();
    Ui.drop_handled = false;
    Ui.drop_target = nullptr;
  }
  if (took_mouse && flush == 1) Mouse_discard();
  ui_close_pending();
  return key;
}

void ui_render(void (*overlay)()) {
  ui_init();
  gr_reset_clip();
  Ui.rendering = true;
  for (UiWindow* w = Ui.first; w; w = w->next_window) w->draw();
  if (overlay) overlay();
  if (Ui.tooltip_shown && Ui.tooltip_owner) draw_tooltip();
  draw_dragged();
  Ui.rendering = false;
  ui_close_pending();
}

void UiWindow::draw() {
  if (is_hidden()) return;
  handle_event(UI_EVENT_DRAW_BEGIN, UI_ID_WINDOW_DRAW);
  draw_window_frame(this);
  for (UiGadget* g = top_gadgets; g; g = g->next_sibling) g->draw();
  handle_event(UI_EVENT_DRAW_END, UI_ID_WINDOW_DRAW);
  gr_reset_clip();
}

// ---- primitives ------------------------------------------------------------------------

void ui_draw_bitmap(int handle, int x, int y) {
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(handle, x, y, Gr_preset[1]);
}

void ui_fill(int x, int y, int w, int h, const Color& c) {
  if (w <= 0 || h <= 0 || c.alpha == 0) return;
  gr_set_color_rec(c);
  gr_rect(x, y, w, h, Gr_preset[7]);
}

void ui_draw_bevel(int x, int y, int w, int h, const Color& light, const Color& dark, int thickness, int inset) {
  for (int ring = 0; ring < thickness; ring++) {
    const int l = x + inset + ring, t = y + inset + ring;
    const int r = x + w - inset - 1 - ring, b = y + h - inset - 1 - ring;
    if (r < l || b < t) break;
    gr_set_color_rec(dark);
    gr_line(static_cast<float>(l + 1), static_cast<float>(b), static_cast<float>(r), static_cast<float>(b),
            Gr_preset[7]);
    gr_line(static_cast<float>(r), static_cast<float>(t + 1), static_cast<float>(r), static_cast<float>(b - 1),
            Gr_preset[7]);
    gr_set_color_rec(light);
    gr_line(static_cast<float>(l), static_cast<float>(t), static_cast<float>(r), static_cast<float>(t),
            Gr_preset[7]);
    gr_line(static_cast<float>(l), static_cast<float>(t + 1), static_cast<float>(l), static_cast<float>(b),
            Gr_preset[7]);
  }
}

void ui_draw_raised_box(int x, int y, int w, int h, const Color* s, int thickness) {
  ui_fill(x + thickness, y + thickness, w - 2 * thickness, h - 2 * thickness, s[2]);
  ui_draw_bevel(x, y, w, h, s[0], s[1], thickness, 0);
}

void ui_draw_sunken_box(int x, int y, int w, int h, const Color* s, int thickness) {
  ui_fill(x + thickness, y + thickness, w - 2 * thickness, h - 2 * thickness, s[2]);
  ui_draw_bevel(x, y, w, h, s[1], s[0], thickness, 0);
}

void ui_text_size(const char* text, int font, int* w, int* h, int length) {
  gr_get_string_size(w, h, text ? text : "", length, font);
}

int ui_font_height(int font) {
  const FontInfo* f = gr_font_get(font < 0 ? gr_font_get_current() : font);
  return f ? f->height : 16;
}

void ui_draw_text(int x, int y, const char* text, int font, const Color& color, const Color& shadow) {
  if (!text || !*text) return;
  if (shadow.alpha) {
    gr_set_color_rec(shadow);
    gr_string(x + 1, y + 1, text, font);
  }
  gr_set_color_rec(color);
  gr_string(x, y, text, font);
}

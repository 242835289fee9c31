// Push buttons (hotkeys, repeat, right button, double clicks, latch, drag
// and drop of counted items) and static texts.
#include <cstdio>

#include "quarn/bmpman/bmpman.h"
#include "quarn/os/key.h"
#include "quarn/ui/ui_internal.h"

namespace {
constexpr int KEY_PRESS_MS = 100;
constexpr int REPEAT_FIRST_MS = 450;
constexpr int REPEAT_NEXT_MS = 150;

bool over(const UiGadget* g) { return g->window && g->window->hover == g; }

template <size_t N>
void release_bitmaps(int (&bitmaps)[N]) {
  for (int& b : bitmaps) {
    if (b >= 0) bm_release(b);
    b = -1;
  }
}

// One arrow glyph of lines, its point on the side the bit names.
void draw_arrow(int x, int y, int w, int h, uint32_t glyph, const Color& c) {
  const int mx = (w - 4) / 4 + 2, my = (h - 4) / 4 + 2;
  const int l = x + mx, t = y + my, aw = w - 2 * mx, ah = h - 2 * my;
  if (aw <= 0 || ah <= 0) return;
  gr_set_color_rec(c);
  const bool vertical = glyph & (UI_BF_ARROW_UP | UI_BF_ARROW_DOWN);
  const int across = vertical ? aw : ah, along = vertical ? ah : aw;
  const float half = (across - 1) / 2.0f;
  for (int i = 0; i < across; i++) {
    const float d = i > half ? i - half : half - i;
    int len = static_cast<int>(along * (1.0f - d / (half + 1.0f)) + 0.5f);
    if (len < 1) len = 1;
    float x1, y1, x2, y2;
    if (vertical) {
      x1 = x2 = static_cast<float>(l + i);
      if (glyph & UI_BF_ARROW_UP) y2 = static_cast<float>(t + ah - 1), y1 = y2 - (len - 1);
      else y1 = static_cast<float>(t), y2 = y1 + (len - 1);
    } else {
      y1 = y2 = static_cast<float>(t + i);
      if (glyph & UI_BF_ARROW_LEFT) x2 = static_cast<float>(l + aw - 1), x1 = x2 - (len - 1);
      else x1 = static_cast<float>(l), x2 = x1 + (len - 1);
    }
    gr_line(x1, y1, x2, y2, Gr_preset[7]);
  }
}
}  // namespace

// ---- UiButton -------------------------------------------------------------------------

void UiButton::create(UiWindow* w, int nx, int ny, int wd, int ht, int new_id, uint32_t f, bool own) {
  UiGadget::create(w, UI_TYPE_BUTTON, nx, ny, wd, ht, new_id, own);
  flags = f;
  state = IDLE;
  caption[0] = 0;
  font = -1;
  colors = &Ui_schemes.button[0][0];
  for (int& b : bitmaps) b = -1;
  drag_types = accept_types = 0;
  count = max_count = 0;
  amount = 1;
  drag_value = 255;
  drop_target = this;
  repeat_timer.invalidate();
  press_timer.invalidate();
}

void UiButton::create_in(UiGadget* o, int nx, int ny, int wd, int ht, int new_id, uint32_t f, bool own) {
  create(o->window, nx, ny, wd, ht, new_id, f | UI_BF_REPEATS, own);
  set_owner(o);
}

void UiButton::destroy() {
  release_bitmaps(bitmaps);
  UiGadget::destroy();
}

void UiButton::set_text(const char* text) { ui_copy_text(caption, text); }

void UiButton::set_latched(bool on) { flags = on ? flags | UI_BF_LATCHED : flags & ~UI_BF_LATCHED; }
bool UiButton::is_latched() { return (flags & UI_BF_LATCHED) && !is_disabled(); }
void UiButton::set_repeats(bool on) { flags = on ? flags | UI_BF_REPEATS : flags & ~UI_BF_REPEATS; }

void UiButton::press() {
  press_timer.set(KEY_PRESS_MS);
  state = PRESSED_KEY;
}

void UiButton::set_state_bitmap(int slot, int bitmap) {
  if (slot >= 0 && slot < NUM_SLOTS) bitmaps[slot] = bitmap;
}

void UiButton::get_drag_offset(int* dx, int* dy) const {
  *dx = screen_x() - grab_x;
  *dy = screen_y() - grab_y;
}

bool UiButton::is_pressed_look() {
  switch (state) {
    case PRESSED_KEY: return true;
    case HELD_LEFT:
    case HELD_RIGHT: return over(this);
    case FIRED_LEFT:
    case FIRED_RIGHT: return (flags & UI_BF_REPEATS) != 0;
    default: return false;
  }
}

bool UiButton::is_clicked() {
  return (state == FIRED_LEFT || state == DOUBLE_LEFT) && !is_hidden() && !is_disabled();
}

bool UiButton::is_double_clicked() { return state == DOUBLE_LEFT && !is_hidden() && !is_disabled(); }

bool UiButton::can_accept_drop() {
  UiButton* src = Ui.drag_source;
  if (!src || !(flags & UI_BF_DRAG_DROP) || !(src->drag_types & accept_types)) return false;
  return max_count < 0 || count + src->amount <= max_count;
}

bool UiButton::can_take_focus() {
  return !is_disabled() && !is_hidden();
}

int UiButton::process(int key) {
  const UiFrameMouse& m = Ui_mouse;
  const bool repeats = flags & UI_BF_REPEATS;
  switch (state) {
    case FIRED_LEFT: state = m.left_down && repeats ? HELD_LEFT : IDLE; break;
    case FIRED_RIGHT: state = m.right_down && repeats ? HELD_RIGHT : IDLE; break;
    case DOUBLE_LEFT:
    case DOUBLE_RIGHT: state = IDLE; break;
    default: break;
  }
  if (is_hidden()) return key;
  if (is_disabled()) {
    const bool on = mouse_inside(m.x, m.y);
    if ((on && m.left_click) || (on && (flags & UI_BF_RIGHT_BUTTON) && m.right_click) || has_hotkey(key))
      ui_play_sound(2);
    return key;
  }
  const bool right = flags & UI_BF_RIGHT_BUTTON;
  // Each change of state is acted on at once; the fired states end the frame.
  for (int step = 0; step < 8; step++) {
    const int before = state;
    const bool is_over = over(this);
    switch (state) {
      case IDLE: {
        const bool typing = Ui.focus && Ui.focus->type == UI_TYPE_INPUT;
        if ((has_hotkey(key) && !typing) || (is_selected() && key == KEY_ENTER)) {
          press_timer.set(KEY_PRESS_MS);
          state = PRESSED_KEY;
          key = 0;
        } else if (is_over) {
          if (m.left_double) {
            state = DOUBLE_LEFT;
          } else if (right && m.right_double) {
            state = DOUBLE_RIGHT;
          } else if (m.left_click || (right && m.right_click)) {
            const bool left = m.left_click;
            grab_x = m.x;
            grab_y = m.y;
            if (repeats) {
              press_timer.set(REPEAT_FIRST_MS);
              state = left ? FIRED_LEFT : FIRED_RIGHT;
            } else {
              state = left ? HELD_LEFT : HELD_RIGHT;
            }
          } else if (can_accept_drop()) {
            state = DROP_TARGET;
          }
        }
        break;
      }
      case PRESSED_KEY:
        if (press_timer.elapsed()) state = FIRED_LEFT;
        break;
      case HELD_LEFT:
      case HELD_RIGHT: {
        const bool left = state == HELD_LEFT;
        const bool released = left ? m.left_release : m.right_release;
        const bool down = left ? m.left_down : m.right_down;
        if (!is_over) {
          if (released) state = IDLE;
          else if (left && down && (flags & UI_BF_DRAG_DROP) && drag_types && (max_count < 0 || count >= amount)) {
            Ui.drag_source = this;
            state = DRAGGING;
          }
        } else if (released) {
          state = repeats ? IDLE : (left ? FIRED_LEFT : FIRED_RIGHT);
        } else if (repeats && press_timer.elapsed()) {
          press_timer.set(REPEAT_NEXT_MS);
          state = left ? FIRED_LEFT : FIRED_RIGHT;
        }
        break;
      }
      case DRAGGING:
        if (m.left_release) state = IDLE;
        break;
      case DROP_TARGET: {
        UiButton* src = Ui.drag_source;
        if (!is_over || !src) {
          state = IDLE;
        } else if (m.left_release) {
          Ui.drop_target = this;
          if (max_count >= 0) count += src->amount;
          handle_event(UI_EVENT_DROPPED, UI_ID_SELF);
          if (src->max_count >= 0) src->count -= src->amount;
          src->handle_event(UI_EVENT_DRAG_ENDED, UI_ID_SELF);
          Ui.drop_handled = true;
          Ui.drag_source = nullptr;
          state = IDLE;
        }
        break;
      }
      case FIRED_LEFT: handle_event(UI_EVENT_CLICK, UI_ID_SELF); return key;
      case FIRED_RIGHT: handle_event(UI_EVENT_RIGHT_CLICK, UI_ID_SELF); return key;
      case DOUBLE_LEFT: handle_event(UI_EVENT_DOUBLE_CLICK, UI_ID_SELF); return key;
      case DOUBLE_RIGHT: handle_event(UI_EVENT_RIGHT_DOUBLE_CLICK, UI_ID_SELF); return key;
      default: state = IDLE; break;
    }
    if (state == before) break;
  }
  return key;
}

void UiButton::draw_face_at(int sx, int sy, const Color* set, bool sunken, int slot) {
  if (bitmaps[slot] >= 0) {
    ui_draw_bitmap(bitmaps[slot], sx, sy);
    if (flags & UI_BF_ALWAYS_FACE) ui_fill(sx, sy, width, height, set[2]);
  } else if (flags & (UI_BF_FLAT | UI_BF_FACE_ONLY)) {
    ui_fill(sx, sy, width, height, set[2]);
  } else if (sunken) {
    ui_draw_sunken_box(sx, sy, width, height, set, 2);
  } else {
    ui_draw_raised_box(sx, sy, width, height, set, 2);
  }
  if (caption[0]) {
    int tw = 0, th = 0;
    ui_text_size(caption, font, &tw, &th);
    const int shift = sunken && bitmaps[slot] < 0 ? 1 : 0;
    ui_draw_text(sx + (width - tw) / 2 + shift, sy + (height - th) / 2 + shift, caption, font, set[3], set[4]);
  }
  const uint32_t glyph = flags & (UI_BF_ARROW_UP | UI_BF_ARROW_DOWN | UI_BF_ARROW_LEFT | UI_BF_ARROW_RIGHT);
  if (glyph) draw_arrow(sx, sy, width, height, glyph, set[3]);
}

void UiButton::draw() {
  if (is_hidden()) return;
  const UiFrameMouse& m = Ui_mouse;
  const Color* set;
  int slot;
  const bool pressed = is_pressed_look();
  const bool selection_lit = is_selected() && !(m.left_down && !over(this));
  if (is_disabled()) {
    set = Ui_schemes.button[2];
    slot = DISABLED;
  } else if (pressed || Ui.drag_source == this || state == DROP_TARGET || selection_lit) {
    set = Ui_schemes.button[1];
    slot = pressed ? PRESSED : HIGHLIGHTED;
  } else {
    set = Ui_schemes.button[0];
    slot = NORMAL;
  }
  draw_face_at(screen_x(), screen_y(), set, pressed || is_latched(), slot);
  draw_children_and_report();
}

// ---- UiStatic ----------------------------------------------------------------------

void UiStatic::create(UiWindow* w, int nx, int ny, int wd, int ht, int new_id, bool own) {
  UiGadget::create(w, UI_TYPE_STATIC, nx, ny, wd, ht, new_id, own);
  text[0] = 0;
  area_w = wd;
  area_h = ht;
  src_x = src_y = 0;
  font = -1;
  colors = &Ui_schemes.stat[0][0];
  bitmaps[0] = bitmaps[1] = -1;
  hjust = 0;
  vjust = 1;
  text_x = text_y = -1;
}

void UiStatic::destroy() {
  release_bitmaps(bitmaps);
  UiGadget::destroy();
}

void UiStatic::set_text(const char* t) { ui_copy_text(text, t); }

void UiStatic::set_source_offset(int sx, int sy) {
  if (sx < 0 || sy < 0) return;
  src_x = sx;
  src_y = sy;
}

int UiStatic::process(int key) {
  if (!is_hidden() && !is_disabled() && Ui_mouse.left_click && over(this))
    handle_event(UI_EVENT_STATIC_CLICK, UI_ID_SELF);
  return key;
}

void UiStatic::draw() {
  if (is_hidden()) return;
  const bool off = is_disabled();
  const Color* set = Ui_schemes.stat[off ? 1 : 0];
  const int sx = screen_x(), sy = screen_y();
  const int bitmap = bitmaps[off ? 1 : 0];
  if (bitmap >= 0) {
    gr_set_color(255, 255, 255, 255);
    gr_bitmap_ex(bitmap, sx, sy, area_w, area_h, src_x, src_y, Gr_preset[1]);
  } else {
    ui_fill(sx, sy, width, height, set[0]);
  }
  if (text[0]) {
    int tw = 0, th = 0;
    ui_text_size(text, font, &tw, &th);
    int tx = text_x, ty = text_y;
    if (tx < 0) tx = hjust == 1 ? (width - tw) / 2 : hjust == 2 ? width - tw : 0;
    if (ty < 0) {
      const int lh = ui_font_height(font);
      ty = vjust == 1 ? (height - lh) / 2 : vjust == 2 ? height - lh : 0;
    }
    ui_draw_text(sx + tx, sy + ty, text, font, set[1], set[2]);
  }
  draw_children_and_report();
}

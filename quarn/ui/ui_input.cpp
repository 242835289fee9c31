// Check boxes, radio buttons (one group per container) and one-line text
// input with filters, a length limit and password masking.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/os/key.h"
#include "quarn/ui/ui_internal.h"

namespace {
bool over(const UiGadget* g) { return g->window && g->window->hover == g; }
}  // namespace

// ---- UiCheckbox and UiRadioButton -------------------------------------------------------

void UiCheckbox::create(UiWindow* w, int nx, int ny, int bw, int bh, const char* text, int ldx, int ldy, int f,
                        bool check, int new_id, bool own) {
  UiGadget::create(w, UI_TYPE_CHECKBOX, nx, ny, bw, bh, new_id, own);
  box_w = bw;
  box_h = bh;
  ui_copy_text(label, text);
  label_dx = ldx;
  label_dy = ldy;
  font = f;
  checked = check ? 1 : 0;
  colors = &Ui_schemes.check[0][0];
  draw_state = 0;
  for (int& b : bitmaps) b = -1;
  size_to_label();
}

void UiCheckbox::size_to_label() {
  int tw = 0, th = 0;
  ui_text_size(label, font, &tw, &th);
  width = box_w + label_dx + tw;
  height = box_h > label_dy + th ? box_h : label_dy + th;
}

void UiRadioButton::create(UiGadget* container, int nx, int ny, int bw, int bh, const char* text, int ldx, int ldy,
                           int f, int new_id, bool own) {
  const bool first = container->first_child == nullptr;
  UiCheckbox::create(container->window, nx, ny, bw, bh, text, ldx, ldy, f, first, new_id, own);
  type = UI_TYPE_RADIO;
  set_owner(container);
}

void UiRadioButton::choose() {
  if (owner)
    for (UiGadget* c = owner->first_child; c; c = c->next_sibling)
      if (c->type == UI_TYPE_RADIO) static_cast<UiRadioButton*>(c)->checked = 0;
  checked = 1;
}

int UiCheckbox::process(int key) { return run(key, false); }

int UiCheckbox::run(int key, bool radio) {
  const UiFrameMouse& m = Ui_mouse;
  const int last = draw_state;
  draw_state = 0;
  if (is_hidden()) return key;
  if (is_disabled()) {
    draw_state = 3;
    if ((m.left_click && mouse_inside(m.x, m.y)) || has_hotkey(key)) ui_play_sound(radio ? 2 : 3);
    return key;
  }
  auto act = [&] {
    if (radio) static_cast<UiRadioButton*>(this)->choose();
    else toggle();
    handle_event(UI_EVENT_TOGGLED, UI_ID_SELF);
  };
  if (has_hotkey(key) || (is_selected() && key == KEY_ENTER)) {
    act();
    return 0;
  }
  const bool is_over = over(this);
  // A press and its release can fall into one frame: the press still counts.
  const bool pressed_now = m.left_down || m.left_click;
  if (is_over && is_selected()) {
    if (!pressed_now) {
      draw_state = 1;
    } else if (!radio || !checked) {
      set_focus();
      draw_state = 2;
    }
  }
  const bool was_pressed = last == 2 || (m.left_click && draw_state == 2);
  if (m.left_release && was_pressed && is_over) act();
  return key;
}

void UiCheckbox::draw() {
  if (is_hidden()) return;
  const int s = draw_state >= 0 && draw_state < 4 ? draw_state : 0;
  const Color* set = Ui_schemes.check[s];
  const int sx = screen_x(), sy = screen_y();
  const int slot = s == 2 ? PRESSED : s == 3 ? DISABLED : (checked ? CHECKED : UNCHECKED);
  if (bitmaps[slot] >= 0) {
    ui_draw_bitmap(bitmaps[slot], sx, sy);
  } else {
    ui_fill(sx, sy, box_w, box_h, set[0]);
    if (checked) {
      gr_set_color_rec(set[1]);
      gr_line(static_cast<float>(sx), static_cast<float>(sy), static_cast<float>(sx + box_w - 1),
              static_cast<float>(sy + box_h - 1), Gr_preset[7]);
      gr_line(static_cast<float>(sx + box_w - 1), static_cast<float>(sy), static_cast<float>(sx),
              static_cast<float>(sy + box_h - 1), Gr_preset[7]);
    }
  }
  ui_draw_text(sx + box_w + label_dx, sy + label_dy, label, font, set[2], set[3]);
  draw_children_and_report();
}

// ---- UiTextInput --------------------------------------------------------------------------

namespace {
int char_kind(int c) {
  if (c >= '0' && c <= '9') return 1;
  if (c >= 'a' && c <= 'z') return 2;
  if (c >= 'A' && c <= 'Z') return 3;
  return 0;
}

// The keypad keeps its digits whatever Num Lock says.
int keypad_digit(int scan) {
  switch (scan) {
    case 71: return '7';
    case 72: return '8';
    case 73: return '9';
    case 75: return '4';
    case 76: return '5';
    case 77: return '6';
    case 79: return '1';
    case 80: return '2';
    case 81: return '3';
    case 82: return '0';
    default: return 0;
  }
}
}  // namespace

bool ui_expand_chars(const char* ranges, char* out, int size) {
  if (!out || size < 1) return false;
  std::string chars;
  auto add = [&](int c) {
    if (chars.find(static_cast<char>(c)) == std::string::npos) chars.push_back(static_cast<char>(c));
  };
  const char* p = ranges ? ranges : "";
  while (*p) {
    const int c = static_cast<unsigned char>(*p);
    if (char_kind(c) && p[1] == '-' && p[2]) {
      const int d = static_cast<unsigned char>(p[2]);
      if (char_kind(d) != char_kind(c)) return false;
      const int lo = c < d ? c : d, hi = c < d ? d : c;
      for (int k = lo; k <= hi; k++) add(k);
      p += 3;
      continue;
    }
    add(c);
    p++;
  }
  if (static_cast<int>(chars.size()) >= size) return false;
  std::memcpy(out, chars.c_str(), chars.size() + 1);
  return true;
}

void UiTextInput::create(UiWindow* w, int nx, int ny, int wd, int ht, int new_id, uint32_t f, bool own) {
  UiGadget::create(w, UI_TYPE_INPUT, nx, ny, wd, ht, new_id, own);
  input_flags = f;
  text[0] = valid[0] = invalid[0] = 0;
  font = -1;
  colors = &Ui_schemes.input[0][0];
  max_length = 80;
  password_char = '*';
  vjust = 1;
  margin = 2;
  vmargin = 0;
  cursor_dy = 1;
  cursor_w = 2;
  cursor_h = ht - 2;
  cursor_bitmap = normal_bitmap = disabled_bitmap = -1;
  filter = nullptr;
}

void UiTextInput::set_text(const char* t) { ui_copy_text(text, t); }
bool UiTextInput::set_valid_chars(const char* ranges) { return ui_expand_chars(ranges, valid, sizeof valid); }
bool UiTextInput::set_invalid_chars(const char* ranges) { return ui_expand_chars(ranges, invalid, sizeof invalid); }

void UiTextInput::set_max_length(int n) {
  max_length = n < 0 ? 0 : n > UI_TEXT_CAPACITY - 1 ? UI_TEXT_CAPACITY - 1 : n;
}

bool UiTextInput::accepts(int c) const {
  if (c <= 0 || c > 255) return false;
  if (invalid[0] && std::strchr(invalid, c)) return false;
  if (valid[0] && !std::strchr(valid, c)) return false;
  return !filter || filter(text, c);
}

int UiTextInput::process(int key) {
  const UiFrameMouse& m = Ui_mouse;
  if (is_hidden()) return key;
  if (is_disabled()) {
    if (m.left_click && mouse_inside(m.x, m.y)) ui_play_sound(4);
    return key;
  }
  if (m.left_click && over(this)) set_focus();
  if (!has_focus()) return key;
  if (!key) return 0;
  handle_event(UI_EVENT_KEY, key);
  const size_t len = std::strlen(text);
  switch (key) {
    case KEY_ESC:
      if (input_flags & UI_IF_IGNORE_ESC) return 0;
      [[fallthrough]];
    case KEY_HOME:
      text[0] = 0;
      handle_event(UI_EVENT_TEXT_CHANGED, UI_ID_SELF);
      return 0;
    case KEY_BACKSP:
    case KEY_LEFT:
    case KEY_DELETE:
      if (len == 0) {
        ui_play_sound(5);
      } else {
        text[len - 1] = 0;
        handle_event(UI_EVENT_TEXT_CHANGED, UI_ID_SELF);
      }
      return 0;
    case KEY_ENTER:
      return 0;
    default:
      break;
  }
  if (key & (KEY_ALTED | KEY_CTRLED)) return 0;
  int c = keypad_digit(key & KEY_MASK);
  if (!c) c = key_to_ascii(key);
  if (c == 0 || c == 255) return 0;
  if (!accepts(c)) return key;
  // The limit can never pass what the text array holds.
  const int limit = max_length < UI_TEXT_CAPACITY - 1 ? max_length : UI_TEXT_CAPACITY - 1;
  if (static_cast<int>(len) >= limit) {
    handle_event(UI_EVENT_TEXT_FULL, UI_ID_SELF);
    return 0;
  }
  if (input_flags & UI_IF_NO_SCROLL) {
    char wider[UI_TEXT_CAPACITY + 1];
    std::snprintf(wider, sizeof wider, "%s%c", text, c);
    int tw = 0, th = 0;
    ui_text_size(wider, font, &tw, &th);
    if (tw > width - 2 * margin - cursor_w) {
      handle_event(UI_EVENT_TEXT_FULL, UI_ID_SELF);
      return 0;
    }
  }
  text[len] = static_cast<char>(c);
  text[len + 1] = 0;
  handle_event(UI_EVENT_TEXT_CHANGED, UI_ID_SELF);
  return 0;
}

void UiTextInput::draw() {
  if (is_hidden()) return;
  const bool off = is_disabled();
  const Color* set = Ui_schemes.input[off ? 1 : 0];
  const int sx = screen_x(), sy = screen_y();
  const int bitmap = off ? disabled_bitmap : normal_bitmap;
  if (bitmap >= 0) {
    ui_draw_bitmap(bitmap, sx, sy);
  } else {
    ui_draw_sunken_box(sx, sy, width, height, set, 1);
  }
  char shown[UI_TEXT_CAPACITY];
  const size_t len = std::strlen(text);
  if (input_flags & UI_IF_PASSWORD) {
    std::memset(shown, password_char, len);
    shown[len] = 0;
  } else {
    std::memcpy(shown, text, len + 1);
  }
  const int inner = width - 2 * margin;
  const char* start = shown;
  int tw = 0, th = 0;
  ui_text_size(start, font, &tw, &th);
  while (*start && tw > inner) {
    start++;
    ui_text_size(start, font, &tw, &th);
  }
  const int lh = ui_font_height(font);
  const int ty = vjust == 0 ? vmargin : vjust == 2 ? height - lh - vmargin : (height - lh) / 2 + vmargin;
  gr_set_clip(sx + margin, sy, inner, height);
  ui_draw_text(0, ty, start, font, set[3], set[4]);
  gr_reset_clip();
  if (has_focus() && !off) {
    const int cx = sx + margin + tw;
    if (cursor_bitmap >= 0) {
      ui_draw_bitmap(cursor_bitmap, cx, sy + cursor_dy);
    } else if (set[5].alpha) {
      gr_set_color_rec(set[5]);
      for (int i = 0; i < cursor_w; i++)
        gr_line(static_cast<float>(cx + i), static_cast<float>(sy + cursor_dy), static_cast<float>(cx + i),
                static_cast<float>(sy + cursor_dy + cursor_h - 1), Gr_preset[7]);
    }
  }
  draw_children_and_report();
}

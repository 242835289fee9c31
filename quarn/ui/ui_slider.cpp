// Sliders (a marker on a track: dragged, paged with auto-repeat, stepped by
// arrow buttons) and the scrollbars list boxes keep beside themselves.
#include <cmath>

#include "quarn/ui/ui_internal.h"

namespace {
constexpr int PAGE_FIRST_MS = 450;
constexpr int PAGE_NEXT_MS = 150;
constexpr int MIN_MARKER = 7;

bool over(const UiGadget* g) { return g->window && g->window->hover == g; }

// Rounds halves away from zero.
int round_half_away(double v) { return static_cast<int>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5)); }
}  // namespace

void UiSlider::create(UiWindow* w, int nx, int ny, int wd, int ht, bool horiz, int marker, int npos, int new_id,
                      uint32_t f, bool own) {
  if (f & UI_SF_ARROWS) {
    // The track leaves room at both ends for square buttons as thick as the
    // slider.
    if (horiz) nx += ht + 1, wd -= 2 * (ht + 1);
    else ny += wd + 1, ht -= 2 * (wd + 1);
  }
  UiGadget::create(w, UI_TYPE_SLIDER, nx, ny, wd, ht, new_id, own);
  horizontal = horiz ? 1 : 0;
  marker_size = marker;
  positions = npos;
  position = 0;
  page_step = 1;
  slider_flags = f;
  drag_state = 0;
  view_size = 0;
  colors = Ui_schemes.slider;
  arrows[0] = arrows[1] = nullptr;
  repeat_timer.invalidate();
  if (f & UI_SF_ARROWS) {
    const int len = track_length();
    arrows[0] = new UiButton;
    arrows[1] = new UiButton;
    if (horiz) {
      arrows[0]->create_in(this, -(ht + 1), 0, ht, ht, -1, UI_BF_ARROW_LEFT, true);
      arrows[1]->create_in(this, len + 1, 0, ht, ht, -1, UI_BF_ARROW_RIGHT, true);
    } else {
      arrows[0]->create_in(this, 0, -(wd + 1), wd, wd, -1, UI_BF_ARROW_UP, true);
      arrows[1]->create_in(this, 0, len + 1, wd, wd, -1, UI_BF_ARROW_DOWN, true);
    }
  }
}

int UiSlider::track_length() const { return horizontal ? width : height; }
int UiSlider::track_start() const { return 0; }

int UiSlider::marker_offset() const {
  // One position (or none) leaves nothing to divide: the marker stays at the start.
  if (positions <= 1) return 0;
  const double room = track_length() - marker_size;
  return round_half_away(room * position / (positions - 1));
}

int UiSlider::process(int key) {
  const UiFrameMouse& m = Ui_mouse;
  if (is_hidden()) return key;
  if (is_disabled()) {
    if ((m.left_click && mouse_inside(m.x, m.y)) || has_hotkey(key)) ui_play_sound(6);
    return key;
  }
  if (slider_flags & UI_SF_NO_PROCESS) return key;
  for (UiGadget* c = first_child; c; c = c->next_sibling) key = c->process(key);
  auto fired = [](const UiButton* b) {
    return b && (b->state == UiButton::FIRED_LEFT || b->state == UiButton::DOUBLE_LEFT);
  };
  if (fired(arrows[0])) position--;
  if (fired(arrows[1])) position++;

  const int coord = horizontal ? m.x : m.y;
  const int start = (horizontal ? screen_x() : screen_y()) + marker_offset();
  bool page_now = false;
  if (m.left_click && over(this)) {
    repeat_timer.set(PAGE_FIRST_MS);
    if (coord >= start && coord < start + marker_size) {
      drag_state = 1;
      drag_start_pos = position;
      drag_start_coord = coord;
    } else {
      drag_state = coord >= start + marker_size ? 2 : 3;
      page_now = true;
    }
  }
  if ((drag_state == 2 || drag_state == 3) && !page_now && m.left_down && over(this) && repeat_timer.elapsed()) {
    repeat_timer.set(PAGE_NEXT_MS);
    page_now = true;
  }
  if (page_now) position += drag_state == 2 ? page_step : -page_step;
  if (drag_state == 1) {
    const int room = track_length() - marker_size;
    if (room != 0)
      position = drag_start_pos + round_half_away(static_cast<double>(coord - drag_start_coord) * (positions - 1) / room);
    if (m.right_click) {
      position = drag_start_pos;
      drag_state = 0;
    }
  }
  if (!m.left_down) drag_state = 0;
  return key;
}

void UiSlider::draw() {
  if (position > positions - 1) position = positions - 1;
  if (position < 0) position = 0;
  if (is_hidden()) return;
  if (!is_disabled()) {
    const int sx = screen_x(), sy = screen_y();
    const int len = track_length(), off = marker_offset();
    const int across = horizontal ? height : width;
    if (horizontal) {
      ui_fill(sx, sy, off, across, colors[3]);
      ui_fill(sx + off + marker_size, sy, len - off - marker_size, across, colors[4]);
      ui_draw_raised_box(sx + off, sy, marker_size, across, colors, 2);
    } else {
      ui_fill(sx, sy, across, off, colors[3]);
      ui_fill(sx, sy + off + marker_size, across, len - off - marker_size, colors[4]);
      ui_draw_raised_box(sx, sy + off, across, marker_size, colors, 2);
    }
  }
  draw_children_and_report();
}

// ---- UiScrollbar ------------------------------------------------------------------------

void UiScrollbar::attach(UiListBox* list, bool horiz, int thickness, int new_id, uint32_t f, bool own) {
  if (horiz) create(list->window, 0, list->height + 1, list->width, thickness, true, 7, 20, new_id, f, own);
  else create(list->window, list->width + 1, 0, thickness, list->height, false, 7, 20, new_id, f, own);
  set_owner(list);
  if (horiz) list->hscroll = this;
  else list->vscroll = this;
  view_size = horiz ? list->view_width() : list->view_height();
  const int content = horiz ? list->widest : list->total_height;
  positions = content + 1 - view_size;
  page_step = view_size;
  update_marker();
}

void UiScrollbar::set_positions(int n) {
  positions = n;
  update_marker();
}

void UiScrollbar::set_view_size(int n) {
  const int content = get_content_size();
  view_size = n;
  positions = content - view_size + 1;
  update_marker();
}

void UiScrollbar::set_content_size(int n) {
  positions = n - view_size + 1;
  update_marker();
}

int UiScrollbar::get_content_size() const {
  const int c = view_size + positions - 1;
  return c < 1 ? 1 : c;
}

void UiScrollbar::update_marker() {
  const int denom = positions + view_size - 1;
  // Empty content or no view leaves nothing to divide by: a full marker.
  double ratio = denom > 0 ? static_cast<double>(view_size) / denom : 1.0;
  if (ratio < 0) ratio = 0;
  if (ratio > 1) ratio = 1;
  marker_size = static_cast<int>(track_length() * ratio);
  if (marker_size < MIN_MARKER) marker_size = MIN_MARKER;
}

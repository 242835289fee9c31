// Containers (group boxes, radio groups, mask-selected hotspots) and list
// boxes (wrapped text entries, sorting, a capped log, scrolling by line,
// entry or pixel, type-ahead, scrollbars of their own).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/error.h"
#include "quarn/os/key.h"
#include "quarn/ui/ui_internal.h"

UiWrapLine Ui_wrap_lines[UI_MAX_WRAP_LINES];

namespace {
constexpr int SCROLLBAR_THICKNESS = 12;
constexpr int NO_WRAP = 999999;
constexpr const char* TOO_LONG = "text too long for pc version";

bool over(const UiGadget* g) { return g->window && g->window->hover == g; }
}  // namespace

// ---- UiContainer ------------------------------------------------------------------------

void UiContainer::create(UiWindow* w, int nx, int ny, int wd, int ht, int new_id, uint32_t f, bool own) {
  UiGadget::create(w, UI_TYPE_CONTAINER, nx, ny, wd, ht, new_id, own);
  label[0] = 0;
  container_flags = f;
  mask_bitmap = -1;
  mask.clear();
  mask_w = mask_h = 0;
  font = -1;
  colors = Ui_schemes.container;
}

void UiContainer::set_label(const char* text) { ui_copy_text(label, text); }

void UiContainer::load_mask(const char* file) {
  const int h = bm_load(file);
  if (h < 0) CRITICAL_ERROR("Could not load in \"%s\"!", file);
  if (mask_bitmap >= 0 && mask_bitmap != h) bm_release(mask_bitmap);
  mask_bitmap = h;
  mask.clear();
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  const int format = bm_lock(h, &data, &palette);
  if (format != BM_FORMAT_PAL8 && format != BM_FORMAT_ALPHA8) {
    if (format) bm_unlock(h);
    std::fprintf(stderr, "bm_lock() failed on bitmap \"%s\"\n", file);
    return;
  }
  int w = 0, ht = 0;
  bm_get_size(h, &w, &ht);
  set_mask_pixels(data, w, ht);
  bm_unlock(h);
}

void UiContainer::set_mask_pixels(const uint8_t* pixels, int w, int h) {
  mask.clear();
  mask_w = mask_h = 0;
  if (!pixels || w <= 0 || h <= 0) return;
  mask.assign(pixels, pixels + static_cast<size_t>(w) * h);
  mask_w = w;
  mask_h = h;
}

void UiContainer::destroy() {
  if (mask_bitmap >= 0) bm_release(mask_bitmap);
  mask_bitmap = -1;
  mask.clear();
  UiGadget::destroy();
}

int UiContainer::hit_test(int sx, int sy) {
  if (mask.empty() || !mouse_inside(sx, sy)) return -1;
  // The mask bitmap has its own size, which need not be the container's.
  const int mx = sx - screen_x(), my = sy - screen_y();
  if (mx >= mask_w || my >= mask_h) return -1;
  return mask[static_cast<size_t>(my) * mask_w + mx];
}

int UiContainer::process(int key) {
  if (is_disabled() || is_hidden()) return key;
  for (UiGadget* c = first_child; c; c = c->next_sibling) key = c->process(key);
  return key;
}

void UiContainer::draw() {
  if (is_hidden()) return;
  const int sx = screen_x(), sy = screen_y();
  int tw = 0, th = 0;
  if (label[0]) ui_text_size(label, font, &tw, &th);
  if (label[0] || (container_flags & 0x1)) {
    // Etched: a dark line inside a light one; the top edge runs through the
    // middle of the label and leaves a gap for it.
    const int top = sy + th / 2, bottom = sy + height - 1, right = sx + width - 1;
    const int gap_end = label[0] ? sx + tw + 4 : sx;
    auto frame = [&](int inset, const Color& c) {
      const float l = static_cast<float>(sx + inset), t = static_cast<float>(top + inset);
      const float r = static_cast<float>(right - 1 + inset), b = static_cast<float>(bottom - 1 + inset);
      gr_set_color_rec(c);
      if (gap_end < r) gr_line(static_cast<float>(std::max(gap_end, sx + inset)), t, r, t, Gr_preset[7]);
      gr_line(l, t, l, b, Gr_preset[7]);
      gr_line(l, b, r, b, Gr_preset[7]);
      gr_line(r, t, r, b, Gr_preset[7]);
    };
    frame(1, colors[0]);
    frame(0, colors[1]);
  }
  if (label[0]) ui_draw_text(sx, sy, label, font, colors[2], colors[3]);
  draw_children_and_report();
}

// ---- entries ----------------------------------------------------------------------------

void UiListTextEntry::set_text(const char* t) {
  if (!t) t = "";
  std::snprintf(storage, sizeof storage, "%s", std::strlen(t) >= UI_TEXT_CAPACITY - 1 ? TOO_LONG : t);
  text = storage;
  changed = true;
}

// ---- UiListBox --------------------------------------------------------------------------

UiListBox::~UiListBox() {
  if (created) UiListBox::destroy();
}

void UiListBox::create(UiWindow* w, int nx, int ny, int wd, int ht, int cw, int ch, int new_id, uint32_t f,
                       bool own) {
  UiGadget::create(w, UI_TYPE_LISTBOX, nx, ny, wd, ht, new_id, own);
  // Scrollbars of an earlier life went with that window.
  vscroll = hscroll = nullptr;
  clear();
  list_flags = f;
  prefix[0] = 0;
  prefix_len = 0;
  content_w = cw;
  content_h = ch;
  clicked = 0;
  background_bitmap = -1;
  margin = vmargin = 2;
  view_x = view_y = 0;
  spacing = 2;
  hstep = 10;
  colors = Ui_schemes.listbox;
  layout_fn = nullptr;
  vscroll = hscroll = nullptr;
  if (f & UI_LF_VSCROLL) (new UiScrollbar)->attach(this, false, SCROLLBAR_THICKNESS, -1, UI_SF_ARROWS, true);
  if (f & UI_LF_HSCROLL) (new UiScrollbar)->attach(this, true, SCROLLBAR_THICKNESS, -1, UI_SF_ARROWS, true);
}

void UiListBox::delete_entries() {
  while (first) {
    UiListEntry* e = first;
    first = e->next;
    delete e;
  }
  last = selection = nullptr;
}

void UiListBox::destroy() {
  delete_entries();
  vscroll = hscroll = nullptr;
  UiGadget::destroy();
}

int UiListBox::entry_count() const {
  int n = 0;
  for (UiListEntry* e = first; e; e = e->next) n++;
  return n;
}

int UiListBox::layout_entry(UiListEntry* e, int top) {
  const int fh = ui_font_height(e->font);
  const int pitch = fh + e->line_spacing;
  int wrap = NO_WRAP;
  if (list_flags & UI_LF_WRAP) wrap = content_w > 0 ? content_w : view_width();
  const char* p = e->text ? e->text : "";
  int lines = 0, widest_line = 0;
  // The line table is fixed: an entry that breaks into more lines keeps the
  // first ones.
  while (lines < UI_MAX_WRAP_LINES) {
    const int indent = lines == 0 ? e->first_indent : e->wrap_indent;
    int line_wrap = wrap;
    if (layout_fn) {
      const int r = layout_fn(this, e, top + lines * pitch, pitch);
      if (r != 0) line_wrap = r;
    }
    int len = 0;
    const char* next = gr_next_line(&len, p, line_wrap - indent, e->font);
    Ui_wrap_lines[lines].start = p;
    Ui_wrap_lines[lines].length = len;
    int lw = 0, lh = 0;
    ui_text_size(p, e->font, &lw, &lh, len);
    widest_line = std::max(widest_line, indent + lw);
    lines++;
    if (!next) break;
    p = next;
  }
  e->lines = lines;
  e->height = lines * pitch - e->line_spacing;
  e->width = widest_line;
  return lines;
}

void UiListBox::relayout() {
  int yy = 0;
  widest = 0;
  for (UiListEntry* e = first; e; e = e->next) {
    e->y = yy;
    yy += e->height + spacing;
    widest = std::max(widest, e->width);
  }
  total_height = first ? yy - spacing : 0;
  if (content_w > 0 && widest > content_w) widest = content_w;
  if (vscroll) {
    vscroll->view_size = view_height();
    vscroll->page_step = view_height();
    vscroll->set_content_size(total_height);
    vscroll->position = view_y;
  }
  if (hscroll) {
    hscroll->view_size = view_width();
    hscroll->page_step = view_width();
    hscroll->set_content_size(widest);
    hscroll->position = view_x;
  }
}

void UiListBox::layout_changed() {
  bool any = false;
  for (UiListEntry* e = first; e; e = e->next)
    if (e->changed) {
      layout_entry(e, e->y - view_y);
      e->changed = false;
      any = true;
    }
  if (any) relayout();
}

void UiListBox::unlink_entry(UiListEntry* e) {
  if (e->prev) e->prev->next = e->next;
  else first = e->next;
  if (e->next) e->next->prev = e->prev;
  else last = e->prev;
  e->next = e->prev = nullptr;
  if (selection == e) selection = nullptr;
}

void UiListBox::insert(UiListEntry* e) {
  UiListEntry* before = nullptr;
  if (list_flags & UI_LF_SORT)
    for (UiListEntry* o = first; o; o = o->next)
      if (strcasecmp(o->text, e->text) > 0) {
        before = o;
        break;
      }
  if (before) {
    e->next = before;
    e->prev = before->prev;
    if (before->prev) before->prev->next = e;
    else first = e;
    before->prev = e;
  } else {
    e->prev = last;
    e->next = nullptr;
    if (last) last->next = e;
    else first = e;
    last = e;
  }
}

UiListEntry* UiListBox::add_entry(const char* text, int font, int first_indent, int wrap_indent, int line_spacing) {
  UiListEntry* e;
  if (list_flags & UI_LF_PREALLOCATED) {
    e = new UiListEntry;
    e->text = text ? text : "";
  } else {
    UiListTextEntry* te = new UiListTextEntry;
    te->set_text(text);
    e = te;
  }
  e->font = font;
  e->first_indent = first_indent;
  e->wrap_indent = wrap_indent;
  e->line_spacing = line_spacing;
  e->colors = Ui_schemes.entries;
  layout_entry(e, 0);
  e->changed = false;
  if (first && content_h > 0) {
    total_height += e->height + spacing;
    // A log: the oldest entries go until the content fits again, and never
    // more than the list holds.
    while (total_height > content_h && first) {
      UiListEntry* old = first;
      total_height -= old->height + spacing;
      unlink_entry(old);
      delete old;
    }
  }
  insert(e);
  relayout();
  if (list_flags & UI_LF_ALIGN_BOTTOM) set_view_y(e->y + e->height - view_height());
  else set_view_y(view_y);
  return e;
}

void UiListBox::clear() {
  delete_entries();
  view_x = view_y = 0;
  relayout();
}

bool UiListBox::remove_entry(const char* text) {
  if (!text || !*text) return false;
  UiListEntry* e = first;
  while (e && std::strcmp(e->text, text) != 0) e = e->next;
  if (!e) return false;
  const bool bottom = list_flags & UI_LF_ALIGN_BOTTOM;
  const int anchor_y = bottom ? view_y + view_height() : view_y;
  UiListEntry* anchor = nullptr;
  for (UiListEntry* o = first; o; o = o->next)
    if (anchor_y >= o->y && anchor_y < o->y + o->height + spacing) {
      anchor = o;
      break;
    }
  if (anchor == e) anchor = e->next ? e->next : e->prev;
  unlink_entry(e);
  delete e;
  relayout();
  if (!anchor) set_view_y(0);
  else set_view_y(bottom ? anchor->y + anchor->height - view_height() : anchor->y);
  return true;
}

std::vector<int> UiListBox::stops(bool bottoms) const {
  std::vector<int> out;
  for (UiListEntry* e = first; e; e = e->next) {
    if ((list_flags & UI_LF_SCROLL_ENTRY) || e->lines <= 1) {
      out.push_back(bottoms ? e->y + e->height : e->y);
      continue;
    }
    const int pitch = (e->height + e->line_spacing) / e->lines;
    for (int i = 0; i < e->lines; i++)
      out.push_back(bottoms ? e->y + i * pitch + pitch - e->line_spacing : e->y + i * pitch);
  }
  return out;
}

int UiListBox::snap_view_y(int v) const {
  const int max_v = std::max(0, total_height - view_height());
  v = std::clamp(v, 0, max_v);
  if ((list_flags & UI_LF_SCROLL_PIXELS) || !first) return v;
  const bool bottom = list_flags & UI_LF_ALIGN_BOTTOM;
  const std::vector<int> s = stops(bottom);
  const int edge = bottom ? v + view_height() : v;
  int snapped = bottom ? last->y + last->height : last->y;
  for (int stop : s)
    if (stop >= edge) {
      snapped = stop;
      break;
    }
  return bottom ? std::max(0, snapped - view_height()) : snapped;
}

void UiListBox::set_view_y(int v) {
  view_y = snap_view_y(v);
  if (vscroll) vscroll->position = view_y;
}

void UiListBox::set_view_x(int v) {
  view_x = std::clamp(v, 0, std::max(0, widest - view_width()));
  if (hscroll) hscroll->position = view_x;
}

void UiListBox::scroll_up() {
  if (!first || first->y >= view_y) return;
  const bool bottom = list_flags & UI_LF_ALIGN_BOTTOM;
  const std::vector<int> s = stops(bottom);
  const int edge = bottom ? view_y + view_height() : view_y;
  int target = -1;
  for (int stop : s)
    if (stop < edge) target = stop;
  if (target < 0) target = 0;
  // Scrolling by pixels never snaps: one step is one line's worth up.
  set_view_y(bottom ? target - view_height() : target);
}

void UiListBox::scroll_down() {
  if (!last || last->y + last->height <= view_y + view_height()) return;
  if (list_flags & UI_LF_SCROLL_PIXELS) {
    const std::vector<int> s = stops(false);
    for (int stop : s)
      if (stop > view_y) {
        set_view_y(stop);
        return;
      }
  }
  set_view_y(view_y + 1);
}

void UiListBox::scroll_into_view(UiListEntry* e) {
  if (!e) return;
  if (e->y < view_y) set_view_y(e->y);
  else if (e->y + e->height > view_y + view_height()) set_view_y(e->y + e->height - view_height());
}

void UiListBox::set_selection(UiListEntry* e, bool scroll) {
  selection = e;
  if (scroll) scroll_into_view(e);
}

bool UiListBox::select_by_text(const char* text, bool scroll) {
  if (!text) return false;
  for (UiListEntry* e = first; e; e = e->next)
    if (std::strcmp(e->text, text) == 0) {
      set_selection(e, scroll);
      return true;
    }
  return false;
}

bool UiListBox::select_by_value(int value, bool scroll) {
  for (UiListEntry* e = first; e; e = e->next)
    if (e->value == value) {
      set_selection(e, scroll);
      return true;
    }
  return false;
}

void UiListBox::set_view_fraction_x(float f) {
  f = std::clamp(f, 0.0f, 1.0f);
  set_view_x(static_cast<int>(f * std::max(0, widest - view_width()) + 0.5f));
}

void UiListBox::set_view_fraction_y(float f) {
  f = std::clamp(f, 0.0f, 1.0f);
  if (!last) {
    set_view_y(0);
    return;
  }
  const bool bottom = list_flags & UI_LF_ALIGN_BOTTOM;
  const std::vector<int> s = stops(bottom);
  const int lo = bottom ? s.front() - view_height() : 0;
  const int hi = bottom ? s.back() - view_height() : s.back();
  const double v = lo + static_cast<double>(f) * (hi - lo);
  set_view_y(static_cast<int>(v < 0 ? v - 0.5 : v + 0.5));
}

UiListEntry* UiListBox::entry_at_content_y(int cy) const {
  for (UiListEntry* e = first; e; e = e->next)
    if (cy >= e->y && cy < e->y + e->height) return e;
  return nullptr;
}

namespace {
// The entry at a content height or the nearest one above it.
UiListEntry* entry_near(UiListEntry* first, int cy) {
  UiListEntry* found = first;
  for (UiListEntry* e = first; e; e = e->next)
    if (e->y <= cy) found = e;
  return found;
}
}  // namespace

int UiListBox::process(int key) {
  const UiFrameMouse& m = Ui_mouse;
  if (is_hidden()) return key;
  layout_changed();
  if (vscroll) vscroll->set_enabled(total_height > view_height());
  if (hscroll) hscroll->set_enabled(widest > view_width());
  if (is_disabled()) {
    if ((m.left_click && mouse_inside(m.x, m.y)) || has_hotkey(key)) ui_play_sound(7);
    return key;
  }
  for (UiGadget* c = first_child; c; c = c->next_sibling) key = c->process(key);
  auto fired = [](const UiButton* b) {
    return b && (b->state == UiButton::FIRED_LEFT || b->state == UiButton::DOUBLE_LEFT);
  };
  if (vscroll) {
    if (fired(vscroll->arrows[0])) scroll_up();
    else if (fired(vscroll->arrows[1])) scroll_down();
    else if (vscroll->position != view_y) set_view_y(vscroll->position);
    vscroll->position = view_y;
  }
  if (hscroll) {
    if (fired(hscroll->arrows[0])) set_view_x(view_x - hstep);
    else if (fired(hscroll->arrows[1])) set_view_x(view_x + hstep);
    else if (hscroll->position != view_x) set_view_x(hscroll->position);
    hscroll->position = view_x;
  }

  const int sx = screen_x(), sy = screen_y();
  if (m.left_click && over(this)) {
    if (!(list_flags & UI_LF_NO_SELECT) && m.x >= sx + margin && m.x < sx + width - margin &&
        m.y >= sy + vmargin && m.y < sy + height - vmargin) {
      UiListEntry* e = entry_at_content_y(m.y - sy - vmargin + view_y);
      if (e && e != selection) {
        selection = e;
        handle_event(UI_EVENT_SELECTION_CHANGED, UI_ID_SELF);
      } else if (e && m.left_double) {
        handle_event(UI_EVENT_ENTRY_CHOSEN, UI_ID_SELF);
      }
    }
    set_focus();
  }
  if (m.wheel && (over(this) || has_focus())) {
    const int steps = std::max(1, std::abs(m.wheel) / 120);
    for (int i = 0; i < steps; i++) m.wheel > 0 ? scroll_up() : scroll_down();
  }
  if (prefix_len && prefix_timer.elapsed()) {
    prefix_len = 0;
    prefix[0] = 0;
  }
  if (!has_focus() || !key) return key;

  const bool no_select = list_flags & UI_LF_NO_SELECT;
  const bool bottom = list_flags & UI_LF_ALIGN_BOTTOM;
  switch (key) {
    case KEY_UP:
    case KEY_DOWN: {
      const bool up = key == KEY_UP;
      if (no_select) {
        up ? scroll_up() : scroll_down();
        return 0;
      }
      if (!first) return 0;
      UiListEntry* target;
      if (!selection) {
        target = bottom ? entry_near(first, view_y + view_height() - 1) : entry_near(first, view_y);
        if (!bottom && target->y < view_y && target->next) target = target->next;
      } else {
        target = up ? selection->prev : selection->next;
        if (!target) return 0;
      }
      selection = target;
      scroll_into_view(target);
      handle_event(UI_EVENT_SELECTION_CHANGED, UI_ID_SELF);
      return 0;
    }
    case KEY_PAGEUP:
    case KEY_PAGEDOWN: {
      const int page = key == KEY_PAGEUP ? -view_height() : view_height();
      set_view_y(view_y + page);
      if (no_select || !first) return 0;
      UiListEntry* from = selection ? selection : entry_near(first, view_y);
      const int cy = std::clamp(from->y + page, 0, std::max(0, total_height - 1));
      UiListEntry* target = entry_near(first, cy);
      if (target != selection) {
        selection = target;
        scroll_into_view(target);
        handle_event(UI_EVENT_SELECTION_CHANGED, UI_ID_SELF);
      }
      return 0;
    }
    case KEY_LEFT:
      set_view_x(view_x - hstep);
      return 0;
    case KEY_RIGHT:
      set_view_x(view_x + hstep);
      return 0;
    case KEY_BACKSP:
    case KEY_ENTER:
      prefix_len = 0;
      prefix[0] = 0;
      return key;
    default:
      break;
  }
  const int c = key_to_ascii(key & ~KEY_SHIFTED);
  if (c == 0 || c == 255) return key;
  if (prefix_len < UI_PREFIX_LEN) {
    prefix[prefix_len++] = static_cast<char>(std::tolower(c));
    prefix[prefix_len] = 0;
  }
  prefix_timer.set(UI_PREFIX_MS);
  for (UiListEntry* e = first; e; e = e->next)
    if (strncasecmp(e->text, prefix, prefix_len) == 0) {
      selection = e;
      scroll_into_view(e);
      handle_event(UI_EVENT_SELECTION_CHANGED, UI_ID_SELF);
      break;
    }
  return key;
}

void UiListBox::draw() {
  if (is_hidden()) return;
  layout_changed();
  if (hscroll) hscroll->set_enabled(widest > view_width());
  if (vscroll) vscroll->set_enabled(total_height > view_height());
  gr_reset_clip();
  const int sx = screen_x(), sy = screen_y();
  const bool off = is_disabled();
  if (!(list_flags & UI_LF_NO_BACKGROUND)) {
    if (background_bitmap >= 0) {
      ui_draw_bitmap(background_bitmap, sx, sy);
    } else {
      ui_draw_sunken_box(sx, sy, width, height, off ? colors + 3 : colors, 1);
    }
  }
  UiListEntry* lit = nullptr;
  if ((list_flags & UI_LF_MOUSEOVER) && first) {
    const int cx = Ui_mouse.x - sx + view_x, cy = Ui_mouse.y - sy + view_y;
    if (cx >= 0 && cx < widest && cy >= 0 && cy < total_height)
      for (UiListEntry* e = first; e; e = e->next)
        if (cy >= e->y && cy < e->y + e->height) {
          lit = e;
          break;
        }
  }
  const int vw = view_width(), vh = view_height();
  gr_set_clip(sx + margin, sy + vmargin, vw, vh);
  for (UiListEntry* e = first; e; e = e->next) {
    if (!(e->y < view_y + vh && e->y + e->height > view_y)) continue;
    const int h = ui_font_height(e->font);
    const Color* pair;
    if (off) pair = colors + 6;
    else if (e == selection) pair = e->colors + 2;
    else if (e == lit) pair = e->colors + 4;
    else pair = e->colors;
    const int lines = layout_entry(e, e->y - view_y);
    for (int i = 0; i < lines; i++) {
      const int lx = (i == 0 ? e->first_indent : e->wrap_indent) - view_x;
      const int ly = e->y - view_y + i * (h + e->line_spacing);
      if ((ly < 0 || ly + h > vh) && !(list_flags & UI_LF_SCROLL_PIXELS)) continue;
      // The draw buffer is fixed; a longer line (preallocated text) is cut.
      char buffer[UI_LINE_BUFFER];
      const int n = std::min(Ui_wrap_lines[i].length, UI_LINE_BUFFER - 1);
      std::memcpy(buffer, Ui_wrap_lines[i].start, static_cast<size_t>(n));
      buffer[n] = 0;
      ui_draw_text(lx, ly, buffer, e->font, pair[0], pair[1]);
    }
  }
  gr_reset_clip();
  draw_children_and_report();
}

// Objects, windows and gadgets: creation, the window list and layers,
// events climbing to the window, focus, hit testing, arrow navigation and
// the window process.
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/os/error.h"
#include "quarn/os/key.h"
#include "quarn/ui/ui_internal.h"

UiGlobals Ui;

namespace {
int Next_auto_id = -1;

int next_auto_id() {
  const int id = Next_auto_id;
  // Starts again at -1 rather than wrapping into positive ids.
  Next_auto_id = Next_auto_id == INT_MIN ? -1 : Next_auto_id - 1;
  return id;
}
}  // namespace

// ---- UiObject ----------------------------------------------------------------------

UiObject::~UiObject() {
  if (created) UiObject::destroy();
  ui_forget_object(this);
}

void UiObject::create(int k, int nx, int ny, int w, int h, int new_id) {
  kind = k;
  x = nx;
  y = ny;
  width = w;
  height = h;
  disabled = 0;
  hidden = 0;
  name[0] = 0;
  callback = nullptr;
  id = new_id < 0 ? next_auto_id() : new_id;
  // UI_ID_SELF is never an id.
  if (id == UI_ID_SELF) id = next_auto_id();
  created = 1;
}

void UiObject::destroy() {
  tooltips.clear();
  created = 0;
}

int UiObject::handle_event(int, int) { return 0; }

void UiObject::set_hidden(bool hide) {
  if ((hidden != 0) == hide) return;
  hidden = hide ? 1 : 0;
  if (Ui.focus == this && is_hidden()) {
    Ui.focus = nullptr;
    handle_event(UI_EVENT_FOCUS_LOST, UI_ID_SELF);
  }
  handle_event(hide ? UI_EVENT_HIDDEN : UI_EVENT_SHOWN, UI_ID_SELF);
}

bool UiObject::is_hidden() { return hidden != 0; }

void UiObject::set_disabled(bool d) {
  disabled = d ? 1 : 0;
  if (Ui.focus == this && is_disabled()) {
    Ui.focus = nullptr;
    handle_event(UI_EVENT_FOCUS_LOST, UI_ID_SELF);
  }
}

void UiObject::set_tooltip(const char* text, int dx, int dy, int n) {
  tooltips.clear();
  add_tooltip(text, -1, dx, dy, n);
}

void UiObject::add_tooltip(const char* text, int key, int dx, int dy, int n) {
  UiTooltip t;
  t.owner = this;
  ui_copy_text(t.text, text);
  t.spare = n;
  t.colors = Ui_schemes.tooltip;
  t.dx = dx;
  t.dy = dy;
  t.key = key;
  tooltips.push_back(t);
}

const UiTooltip* UiObject::find_tooltip(int key) const {
  for (const UiTooltip& t : tooltips)
    if (t.key == key) return &t;
  return nullptr;
}

void ui_forget_object(UiObject* obj) {
  if (Ui.focus == obj) Ui.focus = nullptr;
  if (Ui.tooltip_owner == obj) {
    Ui.tooltip_owner = nullptr;
    Ui.tooltip_shown = false;
  }
  if (Ui.drag_source == obj) Ui.drag_source = nullptr;
  if (Ui.drop_target == obj) Ui.drop_target = nullptr;
  if (Ui_mouse.last_clicked == obj) Ui_mouse.last_clicked = nullptr;
  for (UiWindow* w = Ui.first; w; w = w->next_window) {
    if (w->hover == obj) w->hover = nullptr;
    if (w->selection == obj) w->selection = nullptr;
  }
}

// ---- UiWindow ----------------------------------------------------------------------

UiWindow::~UiWindow() {
  // A window object that goes away cannot wait for the end of a pass.
  const bool in_process = Ui.in_process, rendering = Ui.rendering;
  Ui.in_process = Ui.rendering = false;
  close();
  Ui.in_process = in_process;
  Ui.rendering = rendering;
}

void UiWindow::create(int nx, int ny, int w, int h, int new_id, uint32_t new_flags) {
  ui_init();
  if (linked) {
    const bool in_process = Ui.in_process, rendering = Ui.rendering;
    Ui.in_process = Ui.rendering = false;
    close();
    Ui.in_process = in_process;
    Ui.rendering = rendering;
  }
  UiObject::create(1, nx, ny, w, h, new_id);
  if (new_flags & UI_WF_MODAL) new_flags &= ~UI_WF_MODELESS;
  flags = new_flags & ~UI_WF_CLOSE_PENDING;
  layer = Ui.layer;
  first_gadget = last_gadget = top_gadgets = nullptr;
  UiGadget::Sibling_serial++;
  hover = selection = nullptr;
  mask_bitmap = background_bitmap = -1;
  mask_pixels.clear();
  refresh = 0;
  colors = Ui_schemes.window;
  prev_window = Ui.last;
  next_window = nullptr;
  if (Ui.last) Ui.last->next_window = this;
  else Ui.first = this;
  Ui.last = this;
  linked = true;
}

void UiWindow::close() {
  if (Ui.in_process || Ui.rendering) {
    if (linked) flags |= UI_WF_CLOSE_PENDING;
    return;
  }
  flags &= ~UI_WF_CLOSE_PENDING;
  background_bitmap = -1;
  if (mask_bitmap >= 0) bm_release(mask_bitmap);
  mask_bitmap = -1;
  mask_pixels.clear();
  while (UiGadget* g = first_gadget) {
    g->unlink_from_window();
    g->destroy();
    if (g->owned) delete g;
  }
  top_gadgets = hover = selection = nullptr;
  UiGadget::Sibling_serial++;
  if (linked) {
    if (prev_window) prev_window->next_window = next_window;
    else Ui.first = next_window;
    if (next_window) next_window->prev_window = prev_window;
    else Ui.last = prev_window;
    next_window = prev_window = nullptr;
    linked = false;
  }
  ui_forget_object(this);
  UiObject::destroy();
}

void ui_close_pending() {
  if (Ui.in_process || Ui.rendering) return;
  for (UiWindow* w = Ui.first; w;) {
    UiWindow* next = w->next_window;
    if (w->flags & UI_WF_CLOSE_PENDING) w->close();
    w = next;
  }
}

int UiWindow::handle_event(int code, int event_id) {
  if (event_id == UI_ID_SELF) event_id = id;
  return callback ? callback(code, event_id) : 0;
}

bool UiWindow::is_hidden() { return layer != Ui.layer || hidden != 0; }

bool UiWindow::is_disabled() {
  for (UiWindow* w = next_window; w; w = w->next_window)
    if ((w->flags & UI_WF_MODAL) && !w->is_hidden()) return true;
  return disabled != 0;
}

UiGadget* UiWindow::find_gadget(int gid) {
  if (gid < 0) return nullptr;
  UiGadget* found = nullptr;
  for (UiGadget* g = first_gadget; g; g = g->list_next)
    if (g->id == gid) found = g;
  return found;
}

UiGadget* UiWindow::find_gadget_by_name(const char* n) {
  if (!n) return nullptr;
  for (UiGadget* g = first_gadget; g; g = g->list_next)
    if (strcasecmp(g->name, n) == 0) return g;
  return nullptr;
}

void UiWindow::load_background(const char* file) {
  const int h = bm_load(file);
  if (h < 0) CRITICAL_ERROR("Could not load in \"%s\"!", file);
  background_bitmap = h;
}

void UiWindow::load_mask(const char* file) {
  const int h = bm_load(file);
  if (h < 0) CRITICAL_ERROR("Could not load in \"%s\"!", file);
  if (mask_bitmap >= 0 && mask_bitmap != h) bm_release(mask_bitmap);
  mask_bitmap = h;
}

int UiWindow::mask_at(int sx, int sy) {
  if (mask_pixels.empty()) return -1;
  const int mx = sx - x, my = sy - y;
  if (mx < 0 || my < 0 || mx >= width || my >= height) return -1;
  const size_t i = static_cast<size_t>(my) * width + mx;
  return i < mask_pixels.size() ? mask_pixels[i] : -1;
}

bool UiWindow::contains(int sx, int sy) {
  if (is_hidden()) return false;
  return sx >= x && sy >= y && sx < x + width && sy < y + height;
}

UiWindow* ui_first_window() { return Ui.first; }
UiWindow* ui_last_window() { return Ui.last; }
UiGadget* ui_get_focus() { return Ui.focus; }
int ui_get_layer() { return Ui.layer; }
void ui_push_layer() { Ui.layer++; }
void ui_pop_layer() { Ui.layer--; }

UiGadget* ui_find_gadget(const char* n) {
  for (UiWindow* w = Ui.first; w; w = w->next_window)
    if (UiGadget* g = w->find_gadget_by_name(n)) return g;
  return nullptr;
}

UiWindow* ui_get_modal_window() {
  for (UiWindow* w = Ui.first; w; w = w->next_window)
    if ((w->flags & UI_WF_MODAL) && !w->is_disabled() && !w->is_hidden()) return w;
  return nullptr;
}

void ui_close_all() {
  // Inside a pass a close only marks the window, so closing the first window
  // until none is left would never end: mark them all; the pass closes them.
  if (Ui.in_process || Ui.rendering) {
    for (UiWindow* w = Ui.first; w; w = w->next_window) w->flags |= UI_WF_CLOSE_PENDING;
    return;
  }
  while (Ui.first) Ui.first->close();
}

// ---- UiGadget ----------------------------------------------------------------------

UiGadget::~UiGadget() {
  if (created || window) UiGadget::destroy();
}

void UiGadget::create(UiWindow* w, int t, int nx, int ny, int wd, int ht, int new_id, bool own) {
  if (window) unlink_from_window();
  UiObject::create(0, nx, ny, wd, ht, new_id);
  window = w;
  type = t;
  owned = own ? 1 : 0;
  hotkeys[0] = hotkeys[1] = -1;
  hotspot = 0;
  owner = first_child = next_sibling = nullptr;
  Sibling_serial++;
  list_next = nullptr;
  list_prev = w->last_gadget;
  if (w->last_gadget) w->last_gadget->list_next = this;
  else w->first_gadget = this;
  w->last_gadget = this;
  push_sibling(&w->top_gadgets, this);
}

namespace {
// The head of the chain a gadget is a sibling in.
UiGadget** sibling_head(UiGadget* g) {
  if (g->owner) return &g->owner->first_child;
  return g->window ? &g->window->top_gadgets : nullptr;
}

void unlink_sibling(UiGadget* g) {
  UiGadget::Sibling_serial++;
  UiGadget** head = sibling_head(g);
  if (!head) return;
  UiGadget** p = head;
  while (*p && *p != g) p = &(*p)->next_sibling;
  if (*p) {
    UiGadget* first = *head;
    UiGadget* next = g->next_sibling;
    *p = next;
    if (g == first) {
      if (next) next->prev_sibling = g->prev_sibling;
    } else if (next) {
      next->prev_sibling = g->prev_sibling;
    } else {
      first->prev_sibling = g->prev_sibling;  // g was the oldest
    }
  }
  g->next_sibling = g->prev_sibling = nullptr;
}
}  // namespace

uint32_t UiGadget::Sibling_serial = 1;

void UiGadget::push_sibling(UiGadget** head, UiGadget* g) {
  Sibling_serial++;
  g->next_sibling = *head;
  if (*head) {
    g->prev_sibling = (*head)->prev_sibling;
    (*head)->prev_sibling = g;
  } else {
    g->prev_sibling = g;
  }
  *head = g;
}

void UiGadget::set_owner(UiGadget* new_owner) {
  unlink_sibling(this);
  owner = new_owner;
  UiGadget** head = sibling_head(this);
  if (!head) return;
  push_sibling(head, this);
}

void UiGadget::unlink_from_window() {
  if (!window) return;
  // Children outlive a gadget that goes on its own: they become top-level.
  while (first_child) first_child->set_owner(nullptr);
  unlink_sibling(this);
  owner = nullptr;
  if (list_prev) list_prev->list_next = list_next;
  else if (window->first_gadget == this) window->first_gadget = list_next;
  if (list_next) list_next->list_prev = list_prev;
  else if (window->last_gadget == this) window->last_gadget = list_prev;
  list_prev = list_next = nullptr;
  if (window->hover == this) window->hover = nullptr;
  if (window->selection == this) window->selection = nullptr;
  window = nullptr;
}

void UiGadget::destroy() {
  if (Ui.focus == this) Ui.focus = nullptr;
  unlink_from_window();
  ui_forget_object(this);
  UiObject::destroy();
}

int UiGadget::screen_x(int dx) const {
  int sx = x + dx;
  for (const UiGadget* o = owner; o; o = o->owner) sx += o->x;
  return sx + (window ? window->x : 0);
}

int UiGadget::screen_y(int dy) const {
  int sy = y + dy;
  for (const UiGadget* o = owner; o; o = o->owner) sy += o->y;
  return sy + (window ? window->y : 0);
}

void UiGadget::set_hotkey(int key, int slot) {
  if (slot == 0 || slot == 1) hotkeys[slot] = key;
}

bool UiGadget::has_hotkey(int key) const { return key >= 1 && (key == hotkeys[0] || key == hotkeys[1]); }

void UiGadget::set_focus() {
  if (Ui.focus == this) return;
  if (UiGadget* old = Ui.focus) {
    Ui.focus = nullptr;
    old->handle_event(UI_EVENT_FOCUS_LOST, UI_ID_SELF);
  }
  Ui.focus = this;
  handle_event(UI_EVENT_FOCUS_GAINED, UI_ID_SELF);
}

void UiGadget::drop_focus() {
  if (Ui.focus != this) return;
  Ui.focus = nullptr;
  handle_event(UI_EVENT_FOCUS_LOST, UI_ID_SELF);
}

bool UiGadget::is_hover() const { return window && window->hover == this; }
bool UiGadget::is_selected() const { return window && window->selection == this; }
bool UiGadget::has_focus() const { return Ui.focus == this; }

bool UiGadget::is_disabled() {
  return !window || window->is_disabled() || (owner && owner->is_disabled()) || disabled != 0;
}

bool UiGadget::is_hidden() { return !window || window->is_hidden() || (owner && owner->is_hidden()) || hidden != 0; }

void UiGadget::set_hidden(bool hide) {
  UiObject::set_hidden(hide);
  if (is_hidden() && window) {
    if (window->hover == this) window->hover = nullptr;
    if (window->selection == this) window->selection = nullptr;
  }
}

int UiGadget::handle_event(int code, int event_id) {
  if (event_id == UI_ID_SELF) event_id = id;
  if (callback) {
    const int r = callback(code, event_id);
    if (r & 0xFF) return r;
  }
  if (owner) return owner->handle_event(code, event_id);
  if (window) return window->handle_event(code, event_id);
  return 0;
}

int UiGadget::process(int key) {
  if (is_disabled()) return key;
  for (UiGadget* c = first_child; c; c = c->next_sibling) key = c->process(key);
  return key;
}

int UiGadget::hit_test(int sx, int sy) {
  if (owner) return owner->hit_test(sx, sy);
  return window ? window->mask_at(sx, sy) : -1;
}

void UiGadget::draw() {
  if (is_hidden()) return;
  draw_children_and_report();
}

void UiGadget::draw_children_and_report() {
  for (UiGadget* c = first_child; c; c = c->next_sibling) c->draw();
  handle_event(UI_EVENT_DRAWN, UI_ID_SELF);
}

bool UiGadget::mouse_inside(int sx, int sy) const {
  int left = x, top = y;
  for (const UiGadget* o = owner; o; o = o->owner) left += o->x, top += o->y;
  if (window) left += window->x, top += window->y;
  return sx >= left && sy >= top && sx < left + width && sy < top + height;
}

UiGadget* UiGadget::find_at(int sx, int sy) {
  int ox = 0, oy = 0;
  for (const UiGadget* o = owner; o; o = o->owner) ox += o->x, oy += o->y;
  if (window) ox += window->x, oy += window->y;
  return find_at_from(sx, sy, ox, oy);
}

// Siblings run newest first and the oldest hit wins, so walking them oldest
// first may stop at the first hit; the screen origin is carried down rather
// than summed again for every gadget.
UiGadget* UiGadget::find_oldest_at(UiGadget* head, int sx, int sy, int ox, int oy) {
  if (!head) return nullptr;
  for (UiGadget* c = head->prev_sibling;; c = c->prev_sibling) {
    // A gadget without children whose rectangle misses is passed over here,
    // without the call.
    const int left = ox + c->x, top = oy + c->y;
    const bool miss = sx < left || sy < top || sx >= left + c->width || sy >= top + c->height;
    if (c->first_child || !miss)
      if (UiGadget* r = c->find_at_from(sx, sy, ox, oy)) return r;
    if (c == head) return nullptr;
  }
}

UiGadget* UiGadget::find_at_from(int sx, int sy, int ox, int oy) {
  const int left = ox + x, top = oy + y;
  if (first_child)
    if (UiGadget* r = find_oldest_at(first_child, sx, sy, left, top)) return r;
  // The rectangle first: it rules out almost every gadget, and costs less
  // than asking the owners whether anything is hidden.
  if (sx < left || sy < top || sx >= left + width || sy >= top + height || is_hidden()) return nullptr;
  int v = hit_test(sx, sy);
  if (type == UI_TYPE_CONTAINER) {
    if (v >= 0) return v != 0 ? this : nullptr;
    v = owner ? owner->hit_test(sx, sy) : window->mask_at(sx, sy);
  }
  if (v == -1) return this;
  return v == hotspot ? this : nullptr;
}

bool ui_mouse_over(const UiGadget* g) { return g->window && g->window->hover == g; }

// ---- hit testing, navigation and the window process ----------------------------------

UiGadget* UiWindow::gadget_at(int sx, int sy) {
  if (top_order_serial != UiGadget::Sibling_serial) {
    top_order.clear();
    if (top_gadgets)
      for (UiGadget* c = top_gadgets->prev_sibling;; c = c->prev_sibling) {
        top_order.push_back(c);
        if (c == top_gadgets) break;
      }
    top_order_serial = UiGadget::Sibling_serial;
  }
  for (UiGadget* c : top_order) {
    // A gadget without children whose rectangle misses is passed over here,
    // without the call.
    const int left = x + c->x, top = y + c->y;
    const bool miss = sx < left || sy < top || sx >= left + c->width || sy >= top + c->height;
    if (c->first_child || !miss)
      if (UiGadget* r = c->find_at_from(sx, sy, x, y)) return r;
  }
  return nullptr;
}

namespace {
struct Probe {
  int key, x, y;
  UiGadget* best = nullptr;
  int best_score = INT_MAX;
};

// Distance across the key's axis: 0 inside the span [lo, hi).
int cross_distance(int p, int lo, int hi) {
  if (p >= lo && p < hi) return 0;
  if (lo > p) return lo - p;
  return p - hi + 1;
}

void score_candidates(UiGadget* g, Probe& pr) {
  for (; g; g = g->next_sibling) {
    if (g->can_take_focus()) {
      const int l = g->screen_x(), t = g->screen_y(), r = l + g->width, b = t + g->height;
      int along = 0, cross = 0;
      switch (pr.key) {
        case KEY_UP: along = pr.y - b; cross = cross_distance(pr.x, l, r); break;
        case KEY_DOWN: along = t - pr.y; cross = cross_distance(pr.x, l, r); break;
        case KEY_LEFT: along = pr.x - r; cross = cross_distance(pr.y, t, b); break;
        default: along = l - pr.x; cross = cross_distance(pr.y, t, b); break;
      }
      if (along >= cross && along + cross < pr.best_score) {
        pr.best_score = along + cross;
        pr.best = g;
      }
    }
    score_candidates(g->first_child, pr);
  }
}
}  // namespace

int UiWindow::navigate(int key) {
  if (!(flags & (UI_WF_ALLOW_ARROWS | UI_WF_ALLOW_WRAP))) return key;
  if (key != KEY_UP && key != KEY_DOWN && key != KEY_LEFT && key != KEY_RIGHT) return key;
  const int right = x + width, bottom = y + height;
  if (UiGadget* s = selection) {
    const int l = s->screen_x(), t = s->screen_y(), w = s->width, h = s->height;
    Probe pr{key, 0, 0};
    switch (key) {
      case KEY_UP: pr.x = l + w / 2; pr.y = t; break;
      case KEY_DOWN: pr.x = l + w / 2; pr.y = t + h; break;
      case KEY_LEFT: pr.x = l; pr.y = t + h / 2; break;
      default: pr.x = l + w; pr.y = t + h / 2; break;
    }
    score_candidates(top_gadgets, pr);
    if (!pr.best && (flags & UI_WF_ALLOW_WRAP)) {
      switch (key) {
        case KEY_UP: pr.y = bottom - 1; break;
        case KEY_DOWN: pr.y = y; break;
        case KEY_LEFT: pr.x = right - 1; break;
        default: pr.x = x; break;
      }
      score_candidates(top_gadgets, pr);
    }
    if (pr.best) selection = pr.best;
  } else {
    UiGadget* best = nullptr;
    int best_score = INT_MAX;
    for (UiGadget* g = first_gadget; g; g = g->list_next) {
      const int l = g->screen_x(), t = g->screen_y();
      int score;
      switch (key) {
        case KEY_UP: score = bottom - (t + g->height); break;
        case KEY_DOWN: score = t - y; break;
        case KEY_LEFT: score = right - (l + g->width); break;
        default: score = l - x; break;
      }
      if (score < best_score) {
        best_score = score;
        best = g;
      }
    }
    if (best) selection = best;
  }
  return 0;
}

int UiWindow::process(int key) {
  if (is_disabled() || is_hidden()) {
    for (UiGadget* g = top_gadgets; g; g = g->next_sibling) key = g->process(key);
    return key;
  }
  const bool was_in_process = Ui.in_process;
  Ui.in_process = true;
  UiFrameMouse& m = Ui_mouse;
  bool moved = m.moved || m.left_release || m.right_release;
  if (refresh) {
    moved = true;
    refresh = 0;
  }
  UiGadget* under = gadget_at(m.x, m.y);
  if ((flags & UI_WF_ALWAYS_SELECT) && !selection) {
    for (UiGadget* g = first_gadget; g; g = g->list_next)
      if (g->can_take_focus()) {
        selection = g;
        break;
      }
  }
  if (!m.left_down && !m.right_down && moved) {
    UiGadget* sel = nullptr;
    if (under && under->can_take_focus()) sel = under;
    else if (flags & UI_WF_ALWAYS_SELECT) sel = selection;
    if (sel != selection) {
      UiGadget* old = selection;
      selection = sel;
      if (old) old->handle_event(UI_EVENT_UNSELECTED, UI_ID_SELF);
      if (sel) sel->handle_event(UI_EVENT_SELECTED, UI_ID_SELF);
    }
  }
  if (under != hover) {
    UiGadget* old = hover;
    hover = under;
    if (old) old->handle_event(UI_EVENT_MOUSE_LEFT, UI_ID_SELF);
  }
  for (UiGadget* g = top_gadgets; g; g = g->next_sibling) key = g->process(key);
  const bool inside = contains(m.x, m.y);
  if (!under && inside && m.left_click) {
    if (Ui.focus) Ui.focus->drop_focus();
    m.left_click = 0;
  }
  key = navigate(key);
  if (under || inside) {
    m.left_click = m.left_release = m.right_click = m.right_release = m.left_double = m.right_double = 0;
  }
  Ui.in_process = was_in_process;
  if (!Ui.in_process && (flags & UI_WF_CLOSE_PENDING)) close();
  return key;
}

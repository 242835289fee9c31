#include "quarn/os/mouse.h"

#include <atomic>
#include <cstdlib>

#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/thread.h"
#include "quarn/platform/window.h"

namespace {
struct ButtonRecord {
  uint8_t down = 0;
  uint8_t double_click = 0;
  int32_t down_count = 0;
  int32_t up_count = 0;
  RealTimestamp press_time;
};

// Taken again by the same thread: mouse_init holds it around mouse_frame
// and mouse_flush, which take it themselves.
PlatformCriticalSection g_mouse_lock;
std::atomic<bool> g_started{false};

ButtonRecord g_live[MOUSE_NUM_BUTTONS];
ButtonRecord g_snap[MOUSE_NUM_BUTTONS];
int g_wheel_accum = 0;

int g_width = 0, g_height = 0;
int g_x = 0, g_y = 0, g_z = 0;
int g_prev_x = 0, g_prev_y = 0, g_prev_z = 0;
int g_dx = 0, g_dy = 0, g_dz = 0;

void button_event(int button, bool down) {
  if (button < 0 || button >= MOUSE_NUM_BUTTONS) return;
  PlatformLockGuard lock(g_mouse_lock);
  ButtonRecord& b = g_live[button];
  if ((b.down != 0) == down) return;
  b.down = down ? 1 : 0;
  if (down) {
    ++b.down_count;
    if (!b.press_time.elapsed()) b.double_click = 1;
    b.press_time.set(MOUSE_DBL_CLICK_MS);
  } else {
    ++b.up_count;
  }
}

// The wheel accumulator only ever grows in one direction for as long as the
// wheel is turned that way: it wraps round, and the per-frame difference is
// taken the same way, so the movement stays right across the wrap.
int wrapping_add(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int wrapping_sub(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

bool valid(int button) { return g_started && button >= 0 && button < MOUSE_NUM_BUTTONS; }
}  // namespace

void mouse_init(int width, int height) {
  if (g_started) return;
  g_started = true;
  g_width = width;
  g_height = height;
  PlatformLockGuard lock(g_mouse_lock);
  for (ButtonRecord& b : g_live) b = ButtonRecord{};
  for (ButtonRecord& b : g_snap) b = ButtonRecord{};
  g_wheel_accum = 0;
  g_x = g_prev_x = width / 2;
  g_y = g_prev_y = height / 2;
  g_z = g_prev_z = 0;
  mouse_frame();
  mouse_flush();
  static bool registered = false;
  if (!registered) {
    registered = true;
    os_add_message_hook(mouse_message_hook);
    std::atexit(mouse_close);
  }
}

void mouse_close() { g_started = false; }

void mouse_message_hook(uint32_t message, uint64_t wparam, int64_t lparam) {
  (void)lparam;
  if (!g_started) return;
  switch (message) {
    case OS_MSG_LBUTTONDOWN: button_event(MOUSE_LEFT_BUTTON, true); break;
    case OS_MSG_LBUTTONUP: button_event(MOUSE_LEFT_BUTTON, false); break;
    case OS_MSG_RBUTTONDOWN: button_event(MOUSE_RIGHT_BUTTON, true); break;
    case OS_MSG_RBUTTONUP: button_event(MOUSE_RIGHT_BUTTON, false); break;
    case OS_MSG_MBUTTONDOWN: button_event(MOUSE_MIDDLE_BUTTON, true); break;
    case OS_MSG_MBUTTONUP: button_event(MOUSE_MIDDLE_BUTTON, false); break;
    case OS_MSG_MOUSEWHEEL: {
      PlatformLockGuard lock(g_mouse_lock);
      g_wheel_accum = wrapping_add(g_wheel_accum, os_wheel_delta(wparam));
      break;
    }
    default:
      break;
  }
}

void mouse_frame() {
  g_dx = g_dy = g_dz = 0;
  if (!g_started) return;

  {
    PlatformLockGuard lock(g_mouse_lock);
    for (int i = 0; i < MOUSE_NUM_BUTTONS; ++i) {
      g_snap[i] = g_live[i];
      g_live[i].double_click = 0;
      g_live[i].down_count = 0;
      g_live[i].up_count = 0;
    }
  }

  int x = g_x, y = g_y;
  if (window_get_cursor_pos(&x, &y)) {
    int cx = x < 0 ? 0 : (x > g_width - 1 ? g_width - 1 : x);
    int cy = y < 0 ? 0 : (y > g_height - 1 ? g_height - 1 : y);
    if ((cx != x || cy != y) && os_is_active()) window_set_cursor_pos(cx, cy);
    x = cx;
    y = cy;
  }

  {
    PlatformLockGuard lock(g_mouse_lock);
    g_x = x;
    g_y = y;
    g_z = g_wheel_accum;
  }
  g_dx = g_x - g_prev_x;
  g_dy = g_y - g_prev_y;
  g_dz = wrapping_sub(g_z, g_prev_z);
  g_prev_x = g_x;
  g_prev_y = g_y;
  g_prev_z = g_z;
}

void mouse_flush() {
  mouse_frame();
  PlatformLockGuard lock(g_mouse_lock);
  for (int i = 0; i < MOUSE_NUM_BUTTONS; ++i) {
    g_snap[i].double_click = 0;
    g_snap[i].down_count = 0;
    g_snap[i].up_count = 0;
    g_live[i].down = 0;
    // So that the next press is not taken for a double click.
    g_live[i].press_time.set(0);
  }
  // What callers flush for is a still mouse: no movement carries over.
  g_dx = g_dy = g_dz = 0;
}

void mouse_clear_counts() {
  for (ButtonRecord& b : g_snap) {
    b.double_click = 0;
    b.down_count = 0;
    b.up_count = 0;
  }
}

void mouse_discard_clicks() {
  PlatformLockGuard lock(g_mouse_lock);
  for (ButtonRecord& b : g_live) {
    b.down = 0;
    b.down_count = 0;
    b.up_count = 0;
  }
}

bool mouse_down(int button) { return valid(button) && g_snap[button].down; }
bool mouse_double_click(int button) { return valid(button) && g_snap[button].double_click; }
int mouse_down_count(int button) { return valid(button) ? g_snap[button].down_count : 0; }
int mouse_up_count(int button) { return valid(button) ? g_snap[button].up_count : 0; }
bool mouse_pressed(int button) { return mouse_down_count(button) > 0; }
bool mouse_released(int button) { return mouse_up_count(button) > 0; }

int mouse_down_time(int button) {
  if (button < 0 || button >= MOUSE_NUM_BUTTONS) return 0;
  return MOUSE_DBL_CLICK_MS - g_snap[button].press_time.time_left();
}

int mouse_get_pos(int* x, int* y, int* z) {
  if (!g_started) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (z) *z = 0;
    return -1;
  }
  if (x) *x = g_x;
  if (y) *y = g_y;
  if (z) *z = g_z;
  return 0;
}

void mouse_get_delta(int* dx, int* dy, int* dz) {
  if (dx) *dx = g_dx;
  if (dy) *dy = g_dy;
  if (dz) *dz = g_dz;
}

void mouse_set_pos(int x, int y) {
  if (!os_is_active()) return;
  int cx, cy;
  if (window_get_cursor_pos(&cx, &cy) && cx == x && cy == y) return;
  window_set_cursor_pos(x, y);
}

#include "quarn/os/key.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/thread.h"

namespace {
constexpr int NUM_KEYS = 256;

struct KeyQueueSlot {
  uint16_t code;
  uint32_t time;
};

PlatformCriticalSection g_key_lock;
std::atomic<bool> g_started{false};

// Per scan code. The down flags are read without the lock by key_is_down.
std::atomic<uint8_t> g_down[NUM_KEYS];
uint32_t g_press_time[NUM_KEYS];
uint32_t g_held_time[NUM_KEYS];
uint32_t g_sample_time[NUM_KEYS];
int32_t g_down_count[NUM_KEYS];
int32_t g_up_count[NUM_KEYS];

KeyQueueSlot g_queue[KEY_QUEUE_SLOTS];
int g_head = 0;
int g_tail = 0;

int g_last_down = 0;
int g_last_up = 0;
uint32_t g_last_time = 0;

// US layout, by scan code; 255 where a key types nothing.
unsigned char g_ascii[2][128];

void build_ascii_tables() {
  std::memset(g_ascii, 255, sizeof g_ascii);
  auto row = [](int first, const char* plain, const char* shifted) {
    for (int i = 0; plain[i]; ++i) {
      g_ascii[0][first + i] = static_cast<unsigned char>(plain[i]);
      g_ascii[1][first + i] = static_cast<unsigned char>(shifted[i]);
    }
  };
  row(2, "1234567890-=", "!@#$%^&*()_+");
  row(16, "qwertyuiop[]", "QWERTYUIOP{}");
  row(30, "asdfghjkl;'`", "ASDFGHJKL:\"~");
  row(43, "\\", "|");
  row(44, "zxcvbnm,./", "ZXCVBNM<>?");
  g_ascii[0][55] = '*';
  g_ascii[0][57] = ' ';
  g_ascii[1][57] = ' ';
}

bool held(int code) { return g_down[code].load(std::memory_order_relaxed) != 0; }

void flush_locked() {
  uint32_t now = timer_get(1000);
  g_head = g_tail = 0;
  std::memset(g_queue, 0, sizeof g_queue);
  for (int i = 0; i < NUM_KEYS; ++i) {
    g_down[i].store(0, std::memory_order_relaxed);
    g_press_time[i] = now;
    g_sample_time[i] = now;
    g_held_time[i] = 0;
    g_down_count[i] = 0;
    g_up_count[i] = 0;
  }
}

void record_event(int code, bool down, uint32_t time) {
  if (code < 0 || code >= NUM_KEYS) return;
  // Pause toggles NumLock on some keyboards; the NumLock option is never
  // acted on here, so there is nothing to switch back.
  PlatformLockGuard lock(g_key_lock);
  if (down) {
    g_last_down = code;
    g_last_time = time;
    if (!held(code)) {
      g_press_time[code] = time;
      ++g_down_count[code];
      g_down[code].store(1, std::memory_order_relaxed);
    } else if (code == KEY_ESC) {
      return;  // Escape does not repeat
    }
    if (code == KEY_FAKE_SHIFT) return;
    int key = code;
    if (held(42) || held(54)) key |= KEY_SHIFTED;
    if (held(56) || held(184)) key |= KEY_ALTED;
    if (held(29) || held(157)) key |= KEY_CTRLED;
    int next = (g_tail + 1) % KEY_QUEUE_SLOTS;
    if (next != g_head) {
      g_queue[g_tail].code = static_cast<uint16_t>(key);
      g_queue[g_tail].time = time;
      g_tail = next;
    }
  } else {
    g_last_up = code;
    g_down[code].store(0, std::memory_order_relaxed);
    ++g_up_count[code];
    if (time >= g_press_time[code]) g_held_time[code] += time - g_press_time[code];
    else g_held_time[code] = 0;
  }
}

int fold_right_keys(int code) {
  if (code == KEY_RSHIFT) return KEY_LSHIFT;
  if (code == KEY_RALT) return KEY_LALT;
  return code;
}
}  // namespace

void key_init(bool numlock_option) {
  (void)numlock_option;
  if (g_started) return;
  build_ascii_tables();
  {
    PlatformLockGuard lock(g_key_lock);
    flush_locked();
    g_last_down = g_last_up = 0;
    g_last_time = timer_get(1000);
  }
  static bool registered = false;
  if (!registered) {
    registered = true;
    os_add_message_hook(key_message_hook);
    std::atexit(key_close);
  }
  g_started = true;
}

void key_close() { g_started = false; }

void key_flush() {
  PlatformLockGuard lock(g_key_lock);
  flush_locked();
}

bool key_is_down(int scan_code) {
  if (scan_code < 0 || scan_code >= NUM_KEYS) return false;
  return held(scan_code);
}

int key_down_count(int scan_code) {
  if (!g_started || scan_code < 0 || scan_code >= NUM_KEYS) return 0;
  PlatformLockGuard lock(g_key_lock);
  int n = g_down_count[scan_code];
  g_down_count[scan_code] = 0;
  return n;
}

int key_inkey() {
  PlatformLockGuard lock(g_key_lock);
  if (g_head == g_tail) return 0;
  int code = g_queue[g_head].code;
  g_head = (g_head + 1) % KEY_QUEUE_SLOTS;
  return code;
}

bool key_checkch() {
  PlatformLockGuard lock(g_key_lock);
  return g_head != g_tail;
}

int key_to_ascii(int key_code) {
  if (!g_started) return 255;
  int scan = key_code & KEY_MASK;
  if (scan >= 127) return 255;
  return g_ascii[(key_code & KEY_SHIFTED) ? 1 : 0][scan];
}

double key_down_fraction(int scan_code) {
  if (!g_started || scan_code < 0 || scan_code >= NUM_KEYS) return 0.0;
  PlatformLockGuard lock(g_key_lock);
  uint32_t now = timer_get(1000);
  uint32_t elapsed = now - g_sample_time[scan_code];
  g_sample_time[scan_code] = now;
  if (elapsed > 1) {
    uint32_t held_ms;
    if (held(scan_code)) {
      held_ms = now - g_press_time[scan_code];
      g_press_time[scan_code] = now;
    } else {
      held_ms = g_held_time[scan_code];
      g_held_time[scan_code] = 0;
    }
    double f = static_cast<double>(held_ms) / elapsed;
    // A share, whatever a step of the clock made of the two readings.
    return f > 1.0 ? 1.0 : f;
  }
  g_press_time[scan_code] = now;
  return held(scan_code) ? 1.0 : 0.0;
}

int key_get_modifiers() {
  int m = 0;
  if (held(42) || held(54)) m |= KEY_SHIFTED;
  if (held(56) || held(184)) m |= KEY_ALTED;
  if (held(29) || held(157)) m |= KEY_CTRLED;
  return m;
}

void key_message_hook(uint32_t message, uint64_t wparam, int64_t lparam) {
  if (!g_started) return;
  // Messages reach the hook as they arrive, so their age is 0.
  uint32_t time = timer_get(1000);
  int code = os_key_scan_code(lparam);
  switch (message) {
    case OS_MSG_SETFOCUS:
    case OS_MSG_KILLFOCUS:
      key_flush();
      break;
    case OS_MSG_KEYDOWN:
    case OS_MSG_SYSKEYDOWN:
      if (wparam == OS_VK_SNAPSHOT) code = KEY_PRINT_SCRN;
      record_event(fold_right_keys(code), true, time);
      break;
    case OS_MSG_KEYUP:
    case OS_MSG_SYSKEYUP:
      if (wparam == OS_VK_SNAPSHOT || code == KEY_PRINT_SCRN) {
        // Print Screen arrives as a release only.
        record_event(KEY_PRINT_SCRN, true, time);
        record_event(KEY_PRINT_SCRN, false, time);
      } else {
        record_event(fold_right_keys(code), false, time);
      }
      break;
    default:
      break;
  }
}

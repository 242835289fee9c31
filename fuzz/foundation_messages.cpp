// Window messages come from the X server; whatever arrives, the window
// procedure and the keyboard and mouse hooks must stay within their tables.
// The input is read as records of (message, wparam, lparam) plus a key code
// for the key-map look-up, and the per-frame reads run in between.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/scancodes.h"
#include "quarn/platform/window.h"

namespace {
uint64_t g_now = 0;
uint64_t fake_counter() { return g_now += 1000000; }
void fake_sleep(int ms) { g_now += static_cast<uint64_t>(ms) * 1000000ull; }

// Messages the hooks look at, so that most records mean something.
constexpr uint32_t MESSAGES[] = {
    OS_MSG_KEYDOWN,     OS_MSG_KEYUP,      OS_MSG_SYSKEYDOWN,  OS_MSG_SYSKEYUP,    OS_MSG_SETFOCUS,
    OS_MSG_KILLFOCUS,   OS_MSG_ACTIVATE,   OS_MSG_ACTIVATEAPP, OS_MSG_LBUTTONDOWN, OS_MSG_LBUTTONUP,
    OS_MSG_RBUTTONDOWN, OS_MSG_RBUTTONUP,  OS_MSG_MBUTTONDOWN, OS_MSG_MBUTTONUP,   OS_MSG_MOUSEWHEEL,
    OS_MSG_SYSCOMMAND,  OS_MSG_MOUSEMOVE,  OS_MSG_SIZE,
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    started = true;
    window_force_null_backend(true);
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    key_init(true);
    mouse_init(640, 480);  // with key_init: registers both hooks
  }
  key_flush();
  mouse_flush();

  constexpr size_t RECORD = 1 + 8 + 8 + 2;
  for (size_t at = 0; at + RECORD <= size; at += RECORD) {
    uint8_t pick = data[at];
    uint64_t wparam;
    int64_t lparam;
    uint16_t keycode;
    std::memcpy(&wparam, data + at + 1, 8);
    std::memcpy(&lparam, data + at + 9, 8);
    std::memcpy(&keycode, data + at + 17, 2);
    uint32_t message = pick < 2 * std::size(MESSAGES) ? MESSAGES[pick % std::size(MESSAGES)]
                                                      : static_cast<uint32_t>(wparam >> 32);
    os_window_proc(message, wparam, lparam);

    int scan = platform_scan_code_from_x_keycode(keycode);
    if (scan < 0 || scan > 255) __builtin_trap();
    int code = static_cast<int>(static_cast<int32_t>(lparam));
    (void)key_is_down(code);
    (void)key_down_count(code);
    (void)key_to_ascii(code);
    (void)key_down_fraction(code);
    int button = static_cast<int>(static_cast<int8_t>(keycode >> 8));
    (void)mouse_down(button);
    (void)mouse_down_time(button);
    if (pick & 1) {
      frametime_update();
      mouse_frame();
      while (key_inkey()) {
      }
    }
  }
  return 0;
}

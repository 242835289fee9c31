#pragma once
// The window messages the engine's hooks understand. The window layer turns
// native events into these; the numbering is the one the game's message
// hooks were written against, so stored constants and hooks keep working.
#include <cstdint>

enum : uint32_t {
  OS_MSG_DESTROY = 0x0002,
  OS_MSG_SIZE = 0x0005,
  OS_MSG_ACTIVATE = 0x0006,       // wparam low word: OS_WA_*
  OS_MSG_SETFOCUS = 0x0007,
  OS_MSG_KILLFOCUS = 0x0008,
  OS_MSG_CLOSE = 0x0010,
  OS_MSG_ACTIVATEAPP = 0x001C,    // wparam: non-zero when the application becomes active
  OS_MSG_DISPLAYCHANGE = 0x007E,
  OS_MSG_KEYDOWN = 0x0100,        // wparam: virtual key (only OS_VK_SNAPSHOT is used), lparam: see below
  OS_MSG_KEYUP = 0x0101,
  OS_MSG_SYSKEYDOWN = 0x0104,
  OS_MSG_SYSKEYUP = 0x0105,
  OS_MSG_TIMER = 0x0113,
  OS_MSG_SYSCOMMAND = 0x0112,     // wparam: OS_SC_*
  OS_MSG_MOUSEMOVE = 0x0200,      // lparam: x in the low word, y in the high word
  OS_MSG_LBUTTONDOWN = 0x0201,
  OS_MSG_LBUTTONUP = 0x0202,
  OS_MSG_RBUTTONDOWN = 0x0204,
  OS_MSG_RBUTTONUP = 0x0205,
  OS_MSG_MBUTTONDOWN = 0x0207,
  OS_MSG_MBUTTONUP = 0x0208,
  OS_MSG_MOUSEWHEEL = 0x020A,     // wparam high word: signed wheel delta, 120 per notch
  OS_MSG_QUERYNEWPALETTE = 0x030F,
  OS_MSG_PALETTEISCHANGING = 0x0310,
  OS_MSG_PALETTECHANGED = 0x0311,
};

// OS_MSG_ACTIVATE states.
enum : uint32_t { OS_WA_INACTIVE = 0, OS_WA_ACTIVE = 1, OS_WA_CLICKACTIVE = 2 };

// OS_MSG_SYSCOMMAND commands the window procedure looks at.
enum : uint32_t { OS_SC_SCREENSAVE = 0xF140 };

// The one virtual key the keyboard hook looks at.
enum : uint32_t { OS_VK_SNAPSHOT = 0x2C };

// Key message lparam: bits 16..23 the set-1 scan code, bit 24 set for
// extended keys (the keyboard module adds 128 for them).
constexpr int64_t os_key_lparam(int scan_code) {
  return (static_cast<int64_t>(scan_code & 0x7F) << 16) | (scan_code >= 128 ? (int64_t{1} << 24) : 0) | 1;
}
constexpr int os_key_scan_code(int64_t lparam) {
  return static_cast<int>((lparam >> 16) & 0xFF) + ((lparam >> 24) & 1 ? 128 : 0);
}
// Wheel wparam: the signed delta in the high word.
constexpr uint64_t os_wheel_wparam(int delta) {
  return static_cast<uint64_t>(static_cast<uint16_t>(static_cast<int16_t>(delta))) << 16;
}
constexpr int os_wheel_delta(uint64_t wparam) {
  return static_cast<int16_t>(static_cast<uint16_t>(wparam >> 16));
}

// A message hook sees every message the window procedure receives.
using os_message_hook = void (*)(uint32_t message, uint64_t wparam, int64_t lparam);

#include "quarn/platform/scancodes.h"

namespace {
// Linux input codes 1..88 are the set-1 scan codes of the main block, the
// function keys and the keypad. Past that the extended keys need their
// set-1 code plus 128.
struct Extended {
  unsigned short input;
  unsigned char scan;
};
constexpr Extended EXTENDED[] = {
    {96, 156},   // keypad Enter
    {97, 157},   // right Ctrl
    {98, 181},   // keypad /
    {99, 183},   // Print Screen / SysRq
    {100, 184},  // right Alt (AltGr)
    {102, 199},  // Home
    {103, 200},  // Up
    {104, 201},  // Page Up
    {105, 203},  // Left
    {106, 205},  // Right
    {107, 207},  // End
    {108, 208},  // Down
    {109, 209},  // Page Down
    {110, 210},  // Insert
    {111, 211},  // Delete
    {119, 197},  // Pause
    {125, 219},  // left Windows key
    {126, 220},  // right Windows key
    {127, 221},  // Menu
    {86, 86},    // the extra key left of Z on 102-key boards
    {117, 13},   // keypad = on some boards: treat as =
    {121, 83},   // keypad , (as keypad .)
};
}  // namespace

int platform_scan_code_from_x_keycode(unsigned int x_keycode) {
  if (x_keycode < 8) return 0;
  unsigned int input = x_keycode - 8;
  if (input >= 1 && input <= 88 && input != 84 && input != 85) return static_cast<int>(input);
  for (const Extended& e : EXTENDED)
    if (e.input == input) return e.scan;
  return 0;
}

#pragma once
// X key codes to the set-1 scan codes of a PC keyboard, with 128 added for
// extended keys (right Ctrl 157, right Alt 184, Print Screen 183, Pause 197,
// arrows 200/203/205/208 ...). The keyboard module works in this numbering.
// Keypad keys keep their codes whatever NumLock says, because the mapping
// uses the physical key, not the symbol.

// Scan code for an X key code of the evdev key map (key code = Linux input
// code + 8); 0 for keys a PC keyboard does not have.
int platform_scan_code_from_x_keycode(unsigned int x_keycode);

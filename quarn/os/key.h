#pragma once
// Keyboard input: key messages recorded on the window thread become per-key
// state and a short queue of typed key codes, all in scan codes (128 added
// for extended keys).
#include <cstdint>

// Key code bits: the scan code in the low byte plus modifiers held when the
// key went down.
constexpr int KEY_SHIFTED = 0x1000;
constexpr int KEY_ALTED = 0x2000;
constexpr int KEY_CTRLED = 0x4000;
constexpr int KEY_MASK = 0xFF;

// Scan codes the engine names.
constexpr int KEY_ESC = 1;
constexpr int KEY_BACKSP = 14;
constexpr int KEY_TAB = 15;
constexpr int KEY_ENTER = 28;
constexpr int KEY_LCTRL = 29;
constexpr int KEY_LSHIFT = 42;
constexpr int KEY_RSHIFT = 54;
constexpr int KEY_LALT = 56;
constexpr int KEY_SPACEBAR = 57;
constexpr int KEY_CAPSLOCK = 58;
constexpr int KEY_F1 = 59;
constexpr int KEY_NUMLOCK = 69;
constexpr int KEY_SCROLLOCK = 70;
constexpr int KEY_F11 = 87;
constexpr int KEY_F12 = 88;
constexpr int KEY_PADENTER = 156;
constexpr int KEY_RCTRL = 157;
constexpr int KEY_FAKE_SHIFT = 170;
constexpr int KEY_PADDIVIDE = 181;
constexpr int KEY_PRINT_SCRN = 183;
constexpr int KEY_RALT = 184;
constexpr int KEY_PAUSE = 197;
constexpr int KEY_HOME = 199;
constexpr int KEY_UP = 200;
constexpr int KEY_PAGEUP = 201;
constexpr int KEY_LEFT = 203;
constexpr int KEY_RIGHT = 205;
constexpr int KEY_END = 207;
constexpr int KEY_DOWN = 208;
constexpr int KEY_PAGEDOWN = 209;
constexpr int KEY_INSERT = 210;
constexpr int KEY_DELETE = 211;

constexpr int KEY_QUEUE_SLOTS = 16;  // holds at most 15 codes

// Once at start-up, before the mouse. The NumLock option is accepted and,
// as on every platform the game still supports, not acted on.
void key_init(bool numlock_option);
// Exit routine: stops the module (a later key_init starts it afresh).
void key_close();
// Forgets all key state and the queue.
void key_flush();
// Down flag; false for codes outside 0..255.
bool key_is_down(int scan_code);
// Presses since the last call (the call resets it); 0 outside 0..255 or when
// not started.
int key_down_count(int scan_code);
// Pops the next key code, 0 when the queue is empty.
int key_inkey();
// True when the queue is not empty.
bool key_checkch();
// Character of a key code (the Shift column when KEY_SHIFTED is set); 255
// when not started, for scan codes of 127 and above, or keys without one.
int key_to_ascii(int key_code);
// Share (0..1) of the time since the previous call for this key during
// which it was held.
double key_down_fraction(int scan_code);
// Modifier bits (KEY_SHIFTED, KEY_ALTED, KEY_CTRLED) of the keys held now.
int key_get_modifiers();

// The window-thread hook (registered by key_init); tests feed it directly.
void key_message_hook(uint32_t message, uint64_t wparam, int64_t lparam);

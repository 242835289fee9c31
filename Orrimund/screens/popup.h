#pragma once
// The three overlays every part of the game talks to the player through:
// the modal message popup (a title, a text, up to three buttons and a
// callback that hears which was pressed), the tooltip shown when the mouse
// rests, and the two HUD message lines that fade over four seconds of game
// time.
#include <cstdint>

constexpr int POPUP_TITLE_MAX = 32;
constexpr int POPUP_TEXT_MAX = 255;
constexpr int POPUP_LABEL_MAX = 31;
constexpr int POPUP_MAX_BUTTONS = 3;
constexpr int POPUP_MAX_LINES = 16;
constexpr uint32_t POPUP_PAUSES = 0x1;     // a single-player game pauses while open
constexpr uint32_t POPUP_NO_ESCAPE = 0x2;  // Escape does not close it
constexpr uint32_t POPUP_OPEN = 0x80000000u;
constexpr int POPUP_ESCAPED = -2;  // closed by Escape, no callback

using PopupCallback = int (*)(int button);

// Opens the popup over anything else; x or y below 0 centres it. Texts are
// cut to their buffers and the count to 3. A popup that could never close
// (no button while Escape is forbidden) keeps Escape.
void MessagePopup(const char* title, const char* text, int x, int y, int count, const char* const* labels,
                  PopupCallback callback, uint32_t user);
bool popup_is_open();
void popup_close();
// False when no popup is open; else the key is consumed.
bool popup_process_input(int key);
void popup_render();
// The last index the popup reported (-1 none yet), for tests.
int popup_last_result();
// Geometry of the open popup.
void popup_rect(int* x, int* y, int* w, int* h);
// Centre x of button i of n, and the y of the button row.
int popup_button_center_x(int i);
int popup_button_row_y();
const char* popup_title();
const char* popup_text();

// ---- HUD message lines ----------------------------------------------------------------
// 0 when the text is empty or longer than 63 characters (the old one stays).
int hud_message(const char* text);
void hud_message2(const char* text);  // at most 15 characters
void hud_message_render();
void hud_message2_render();
void hud_messages_clear();
bool hud_message_active();
const char* hud_message_text();
// The fade factor of line 1: milliseconds left x 0.00025, clamped to [0, 1].
float hud_message_fade();
// Clears line 1 once its time is over.
void hud_message_expire();

// ---- tooltip ---------------------------------------------------------------------------
bool tooltip_ready();
int tooltip_show(int x, int y, int w, int h, const char* text);
void tooltip_hide();
void tooltip_track(int key);
void tooltip_render();
bool tooltip_shown();

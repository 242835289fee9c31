#pragma once
// UI table files: one window and all its gadgets in the table syntax of the
// parser ("$" required fields, "+" optional ones, "#" sections). Gadgets the
// reader creates are owned by the window and deleted when it closes. A text
// that does not match the grammar ends in the parser's fatal error.
#include "quarn/ui/ui.h"

class ParseContext;

// Sections may nest (containers, sliders in list boxes) this deep.
#define UI_MAX_TABLE_NESTING 16
// Key code of a key text whose name is in no entry of the name table.
#define UI_KEY_UNKNOWN 256

// Reads the file into the window and leaves it open.
void ui_load_window(UiWindow* window, const char* filename, int path_type);
// The same from a parser that is already open (tests, tools).
void ui_load_window(UiWindow* window, ParseContext& pc);

// Reads a key text ("Ctrl+Shift+F1", quoted or up to the end of the line).
int ui_parse_hotkey(ParseContext& pc);
// The key code of a key text held in a string.
int ui_key_code_from_text(const char* text);
// The name of a scan code in the key-name table ("" for unnamed codes).
const char* ui_key_name(int scan_code);

// The section readers; the parent is the window or a container, slider or
// list box gadget. The cursor is after the section's "#" word.
UiButton* ui_read_button(ParseContext& pc, UiObject* parent);
UiCheckbox* ui_read_checkbox(ParseContext& pc, UiObject* parent);
UiContainer* ui_read_container(ParseContext& pc, UiObject* parent);
UiTextInput* ui_read_inputbox(ParseContext& pc, UiObject* parent);
UiListBox* ui_read_listbox(ParseContext& pc, UiObject* parent);
UiRadioButton* ui_read_radio_button(ParseContext& pc, UiObject* parent);
UiSlider* ui_read_slider(ParseContext& pc, UiObject* parent);
UiStatic* ui_read_static(ParseContext& pc, UiObject* parent);

#pragma once
// The developer tools' message dialogs: modal toolkit windows made on demand
// with a title, a message of at most ten lines and one to three buttons,
// each button with the caller's callback. A pressed button closes its dialog
// after the callback has run; the window itself goes at the next sweep, so
// the callback may still look at it.
#include <cstdint>

#include "quarn/ui/ui.h"

constexpr int DIALOG_MAX_LINES = 10;
constexpr int DIALOG_BUTTON_W = 50, DIALOG_BUTTON_H = 25;
// Button sets.
constexpr int DIALOG_OK = 0;
constexpr int DIALOG_OK_CANCEL = 1;
constexpr int DIALOG_RETRY_CANCEL = 2;
constexpr int DIALOG_YES_NO = 3;
constexpr int DIALOG_YES_NO_CANCEL = 4;

// Empties the list of open dialogs and restarts the button ids.
void dialog_list_init();
// Opens a dialog `width` pixels wide, centred on the screen, with the
// window flags plus UI_WF_MODAL. The title may be null. A set outside 0..4
// is taken as DIALOG_OK. Returns the dialog's window.
UiWindow* retry_dialog_open(int width, const char* title, const char* text, int button_set,
                            UiCallback callback1, UiCallback callback2, UiCallback callback3,
                            uint32_t window_flags);
// The callback of every dialog's window: runs the pressed button's callback
// and closes its dialog on a press (event 12).
int dialog_list_handle_event(int code, int id);
// Once a frame: destroys the dialogs closed since the last sweep.
void dialog_list_sweep();
int dialog_list_count();

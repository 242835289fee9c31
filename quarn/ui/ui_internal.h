#pragma once
// State shared by the toolkit's own files; nothing outside quarn/ui uses it.
#include <cstddef>
#include <cstdio>

#include "quarn/ui/ui.h"

struct UiGlobals {
  bool started = false;
  UiWindow* first = nullptr;  // bottom
  UiWindow* last = nullptr;   // top
  int layer = 0;
  UiGadget* focus = nullptr;
  UiObject* tooltip_owner = nullptr;
  bool tooltip_shown = false;
  RealTimestamp tooltip_timer;
  UiButton* drag_source = nullptr;
  UiButton* drop_target = nullptr;
  bool drop_handled = false;
  // Set while a window runs its process or while windows are drawn: a close
  // then waits for the end of that pass.
  bool in_process = false;
  bool rendering = false;
  int key = 0;
};
extern UiGlobals Ui;

// Forgets every reference the toolkit keeps to an object about to go.
void ui_forget_object(UiObject* obj);
// Closes the windows whose close waited for the end of a pass.
void ui_close_pending();
bool ui_mouse_over(const UiGadget* g);

// A bitmap as it is, untinted.
void ui_draw_bitmap(int handle, int x, int y);

// A text into a field of the object, cut to fit; none is an empty text.
template <size_t N>
void ui_copy_text(char (&dest)[N], const char* text) {
  std::snprintf(dest, N, "%s", text ? text : "");
}

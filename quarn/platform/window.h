#pragma once
// The window layer: the application window lives on a thread of its own,
// which opens its own X display connection, creates the window with a
// GLX-capable visual (on X the visual is fixed at creation) and turns X
// events into the engine's window messages (quarn/platform/messages.h).
//
// Without a display (DISPLAY unset or unreachable) a null backend stands in:
// no window, but the same message queue, so the window thread, hooks and
// posted messages behave alike for tools and unit tests.
//
// The renderer uses the window from the main thread through a second display
// connection (window_main_display); every call below that acts on the window
// from outside the window thread goes through that connection.
#include <cstdint>

#include "quarn/platform/messages.h"

struct _XDisplay;  // Xlib's Display

// Window procedure the window thread calls for every message.
using window_proc_fn = void (*)(uint32_t message, uint64_t wparam, int64_t lparam);

// Tests: pick the null backend whatever DISPLAY says. Call before
// window_thread_start.
void window_force_null_backend(bool on);
// Tests: makes the next window_create fail as a refused window would.
void window_fail_next_create(bool on);
// True when the null backend is (or will be) used.
bool window_is_null_backend();

// Called on the window thread: opens the display and creates the hidden,
// frameless 32x32 window centred on the screen, titled `title`, with class
// `class_name`; the instance tag is set as a property so that a second copy
// can find this window. Returns false when the window could not be made.
bool window_create(const char* class_name, const char* title, const char* instance_tag);

// Called on the window thread: waits for native events or posted messages
// and calls proc for each, in arrival order. `batch_begin` and `batch_end`
// (may be null) run around every batch. Returns when OS_MSG_DESTROY is
// posted (it is not given to proc, and later messages are dropped) or when
// the window goes away on the display (proc is given OS_MSG_DESTROY first).
// While the window is active, proc is given OS_MSG_SYSCOMMAND with
// OS_SC_SCREENSAVE whenever the X screen saver would otherwise start within
// half its time-out, and the saver's timer is restarted.
void window_pump(window_proc_fn proc, void (*batch_begin)(), void (*batch_end)());

// Any thread: queues a message for the window thread (the cross-thread
// post; OS_MSG_DESTROY ends the pump).
void window_post_message(uint32_t message, uint64_t wparam, int64_t lparam);

// Called on the window thread after the pump ended: destroys the window and
// closes the window thread's display connection.
void window_destroy();

// The X window id (0 with the null backend or before creation).
unsigned long window_get_xid();
// True once window_create succeeded.
bool window_exists();
// True when a window manager runs on the display (checked at creation).
bool window_manager_present();

// --- Main-thread (renderer) side -----------------------------------------

// The main thread's own display connection, opened on first use; null with
// the null backend.
_XDisplay* window_main_display();
// Visual of the window: id, depth and screen number. The renderer finds the
// matching XVisualInfo / GLXFBConfig on its own connection.
unsigned long window_get_visual_id();
int window_get_depth();
int window_get_screen();

void window_set_size(int width, int height);
void window_set_position(int x, int y);
// Maps (and raises and focuses) or unmaps the window.
void window_show(bool show);
// Sets or clears the EWMH full-screen state.
void window_set_fullscreen(bool on);
// Removes (false) or keeps (true) the frame the window manager would draw.
void window_set_decorated(bool on);
// Size of the root window (the screen); 0x0 with the null backend.
void window_get_screen_size(int* width, int* height);
// Work area (_NET_WORKAREA of the first desktop, else the whole screen).
void window_get_work_area(int* x, int* y, int* width, int* height);
// Blocks until the server has handled every request sent so far.
void window_sync();

// Cursor relative to the window's client area, as the window's events last
// reported it (outside the window: where it crossed out), so that reading
// it never waits on the server. While a picture is set (window_set_picture)
// both speak in the picture's pixels instead, and so do the positions of the
// mouse messages. With the null backend these read and write a position kept
// by the layer, which tests set.
bool window_get_cursor_pos(int* x, int* y);
void window_set_cursor_pos(int x, int y);

// The window shows a picture of width x height stretched over it with its
// shape kept (quarn/platform/picture_fit.h), as the full-screen renderers
// present it: cursor positions are mapped between the window and the
// picture. A point on the black bars maps outside the picture (the mouse
// module clamps it). 0 x 0: positions are the window's own again.
void window_set_picture(int width, int height);
// Size of the window's client area as its last configure event said
// (false before the window has one, and with the null backend).
bool window_get_client_size(int* width, int* height);

// Finds the window of another copy by its instance tag on the display and
// raises it. Returns true when one was found. Uses a short-lived connection.
bool window_raise_other_instance(const char* instance_tag);

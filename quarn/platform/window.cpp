#include "quarn/platform/window.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glx.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "quarn/platform/picture_fit.h"
#include "quarn/platform/scancodes.h"
#include "quarn/platform/thread.h"

namespace {
struct PostedMessage {
  uint32_t message;
  uint64_t wparam;
  int64_t lparam;
};

std::atomic<bool> g_force_null{false};
std::atomic<bool> g_fail_next_create{false};
std::atomic<bool> g_null_backend{false};
std::atomic<bool> g_exists{false};
std::atomic<bool> g_wm_present{false};

// Posted messages and the pipe that wakes the pump for them.
std::mutex g_post_lock;
std::deque<PostedMessage> g_posted;
int g_wake_pipe[2] = {-1, -1};

// Window-thread side.
Display* g_dpy = nullptr;
std::atomic<unsigned long> g_win{0};
std::atomic<unsigned long> g_visual_id{0};
std::atomic<int> g_depth{0};
std::atomic<int> g_screen{0};
Atom g_atom_delete = 0;
Atom g_atom_instance = 0;
Cursor g_blank_cursor = 0;

// Main-thread side.
std::mutex g_main_lock;
Display* g_main_dpy = nullptr;
bool g_main_tried = false;

// The pointer relative to the window, as the window's own events report it
// (motion and buttons inside, crossings in and out), so that reading it never
// waits on the server. Outside the window it stays where the pointer left;
// the window thread asks the server once when the window appears or moves,
// which no event would tell.
std::atomic<bool> g_ptr_inside{false};
std::atomic<int> g_ptr_x{0};
std::atomic<int> g_ptr_y{0};

// The window's client size from its configure events, and the picture the
// renderer stretches over it (0 x 0: none). Written on either thread, read
// on both; a size that is briefly stale only maps one event the old way.
std::atomic<int> g_client_w{0};
std::atomic<int> g_client_h{0};
std::atomic<int> g_picture_w{0};
std::atomic<int> g_picture_h{0};

// Null backend cursor.
std::atomic<int> g_null_cursor_x{0};
std::atomic<int> g_null_cursor_y{0};

std::atomic<int> g_last_x_error{0};

// The window has the keyboard focus (or no window manager decides it). While
// it has, the X screen saver is held off, as the engine's window procedure
// swallows every request to start it.
bool g_focused = false;
uint64_t g_saver_checked_ms = 0;
uint64_t g_saver_reset_ms = 0;

int x_error_handler(Display*, XErrorEvent* e) {
  // X errors are reported asynchronously; a failed request (focusing a
  // window that is not viewable yet, say) must not end the program.
  g_last_x_error = e->error_code;
  return 0;
}

void ensure_xlib_threads() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    XSetErrorHandler(x_error_handler);
  });
}

void ensure_wake_pipe() {
  std::lock_guard<std::mutex> lock(g_post_lock);
  if (g_wake_pipe[0] >= 0) return;
  if (pipe2(g_wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_wake_pipe[0] = g_wake_pipe[1] = -1;
  }
}

bool display_wanted() {
  if (g_force_null) return false;
  const char* d = std::getenv("DISPLAY");
  return d && *d;
}

Atom atom(Display* dpy, const char* name) { return XInternAtom(dpy, name, False); }

// One property of a window as the server hands it over (items of `format`
// bits; 32-bit items arrive as longs); no items when it is absent or of
// another type.
struct WindowProperty {
  unsigned char* data = nullptr;
  unsigned long items = 0;
  int format = 0;
  WindowProperty(Display* dpy, Window w, Atom prop, Atom type, long max_items) {
    Atom actual;
    unsigned long after = 0;
    if (XGetWindowProperty(dpy, w, prop, 0, max_items, False, type, &actual, &format, &items, &after, &data) !=
            Success ||
        !data) {
      data = nullptr;
      items = 0;
    }
  }
  ~WindowProperty() {
    if (data) XFree(data);
  }
  WindowProperty(const WindowProperty&) = delete;
  WindowProperty& operator=(const WindowProperty&) = delete;
};

bool wm_running(Display* dpy, Window root) {
  return WindowProperty(dpy, root, atom(dpy, "_NET_SUPPORTING_WM_CHECK"), XA_WINDOW, 1).items == 1;
}

// A GLX-capable visual: a double-buffered RGBA window config with a depth
// buffer, preferring the screen's own depth (a 32-bit ARGB visual would make
// the window translucent under a compositor).
bool choose_visual(Display* dpy, int screen, Visual** visual, int* depth) {
  int glx_error, glx_event;
  if (glXQueryExtension(dpy, &glx_error, &glx_event)) {
    static const int attrs[] = {GLX_X_RENDERABLE, True, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                                GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DOUBLEBUFFER, True,
                                GLX_RED_SIZE, 5, GLX_GREEN_SIZE, 5, GLX_BLUE_SIZE, 5,
                                GLX_DEPTH_SIZE, 16, None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(dpy, screen, attrs, &count);
    XVisualInfo* best = nullptr;
    int default_depth = DefaultDepth(dpy, screen);
    for (int i = 0; configs && i < count; ++i) {
      XVisualInfo* vi = glXGetVisualFromFBConfig(dpy, configs[i]);
      if (!vi) continue;
      if (!best || (best->depth != default_depth && vi->depth == default_depth)) {
        if (best) XFree(best);
        best = vi;
      } else {
        XFree(vi);
      }
      if (best && best->depth == default_depth) break;
    }
    if (configs) XFree(configs);
    if (best) {
      *visual = best->visual;
      *depth = best->depth;
      XFree(best);
      return true;
    }
  }
  // No GLX: still make the window, the renderer reports that it cannot start.
  *visual = DefaultVisual(dpy, screen);
  *depth = DefaultDepth(dpy, screen);
  return false;
}

void set_motif_decorations(Display* dpy, Window w, bool decorated) {
  struct {
    unsigned long flags, functions, decorations;
    long input_mode;
    unsigned long status;
  } hints = {2, 0, decorated ? 1ul : 0ul, 0, 0};
  Atom a = atom(dpy, "_MOTIF_WM_HINTS");
  XChangeProperty(dpy, w, a, a, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&hints), 5);
}

void dispatch_posted(window_proc_fn proc, bool* destroyed) {
  for (;;) {
    PostedMessage m;
    {
      std::lock_guard<std::mutex> lock(g_post_lock);
      if (g_posted.empty()) return;
      m = g_posted.front();
      g_posted.pop_front();
    }
    if (m.message == OS_MSG_DESTROY) {
      // A posted destroy ends the pump before it is dispatched.
      *destroyed = true;
      return;
    }
    proc(m.message, m.wparam, m.lparam);
  }
}

bool posted_pending() {
  std::lock_guard<std::mutex> lock(g_post_lock);
  return !g_posted.empty();
}

void drain_wake_pipe() {
  char buf[64];
  while (g_wake_pipe[0] >= 0 && read(g_wake_pipe[0], buf, sizeof buf) > 0) {
  }
}

// Window thread: the pointer's place when no event tells it.
void query_pointer() {
  Window w = g_win.load();
  if (!g_dpy || !w) return;
  Window root_ret, child_ret;
  int rx, ry, wx, wy;
  unsigned int mask;
  if (XQueryPointer(g_dpy, w, &root_ret, &child_ret, &rx, &ry, &wx, &wy, &mask)) {
    g_ptr_x = wx;
    g_ptr_y = wy;
  }
}

// A window position in the picture's pixels while a picture is set.
void to_picture(int* x, int* y) {
  const int pw = g_picture_w, ph = g_picture_h, cw = g_client_w, ch = g_client_h;
  if (pw <= 0 || ph <= 0 || cw <= 0 || ch <= 0) return;
  picture_fit_to_picture(picture_fit(pw, ph, cw, ch), pw, ph, *x, *y, x, y);
}

int64_t point_lparam(int x, int y) {
  to_picture(&x, &y);
  return static_cast<int64_t>(static_cast<uint16_t>(x)) | (static_cast<int64_t>(static_cast<uint16_t>(y)) << 16);
}

// Turns one X event into window messages.
void translate_event(XEvent& ev, window_proc_fn proc, bool* destroyed) {
  switch (ev.type) {
    case KeyPress:
    case KeyRelease: {
      int scan = platform_scan_code_from_x_keycode(ev.xkey.keycode);
      if (!scan) break;
      bool down = ev.type == KeyPress;
      if (!down && XEventsQueued(g_dpy, QueuedAfterReading)) {
        // Without detectable auto-repeat a repeat arrives as a release and a
        // press with the same time: keep only the press.
        XEvent next;
        XPeekEvent(g_dpy, &next);
        if (next.type == KeyPress && next.xkey.keycode == ev.xkey.keycode && next.xkey.time == ev.xkey.time)
          break;
      }
      if (scan == 183) {
        // The keyboard module expects Print Screen as a release only.
        if (down) break;
        proc(OS_MSG_KEYUP, OS_VK_SNAPSHOT, os_key_lparam(scan));
        break;
      }
      proc(down ? OS_MSG_KEYDOWN : OS_MSG_KEYUP, 0, os_key_lparam(scan));
      break;
    }
    case ButtonPress:
    case ButtonRelease: {
      bool down = ev.type == ButtonPress;
      g_ptr_x = ev.xbutton.x;
      g_ptr_y = ev.xbutton.y;
      int64_t lp = point_lparam(ev.xbutton.x, ev.xbutton.y);
      switch (ev.xbutton.button) {
        case Button1: proc(down ? OS_MSG_LBUTTONDOWN : OS_MSG_LBUTTONUP, 0, lp); break;
        case Button2: proc(down ? OS_MSG_MBUTTONDOWN : OS_MSG_MBUTTONUP, 0, lp); break;
        case Button3: proc(down ? OS_MSG_RBUTTONDOWN : OS_MSG_RBUTTONUP, 0, lp); break;
        case Button4: if (down) proc(OS_MSG_MOUSEWHEEL, os_wheel_wparam(120), lp); break;
        case Button5: if (down) proc(OS_MSG_MOUSEWHEEL, os_wheel_wparam(-120), lp); break;
        default: break;
      }
      break;
    }
    case MotionNotify:
      g_ptr_x = ev.xmotion.x;
      g_ptr_y = ev.xmotion.y;
      g_ptr_inside = ev.xmotion.same_screen != 0;
      proc(OS_MSG_MOUSEMOVE, 0, point_lparam(ev.xmotion.x, ev.xmotion.y));
      break;
    case EnterNotify:
      g_ptr_x = ev.xcrossing.x;
      g_ptr_y = ev.xcrossing.y;
      g_ptr_inside = ev.xcrossing.mode == NotifyNormal && ev.xcrossing.same_screen;
      break;
    case LeaveNotify:
      // Where it crossed out: the game pulls it back from there while active.
      g_ptr_x = ev.xcrossing.x;
      g_ptr_y = ev.xcrossing.y;
      g_ptr_inside = false;
      break;
    case MapNotify:
      if (ev.xmap.window == g_win.load() && !g_ptr_inside) query_pointer();
      break;
    case FocusIn:
    case FocusOut: {
      if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab) break;
      if (ev.xfocus.detail == NotifyPointer || ev.xfocus.detail == NotifyInferior) break;
      bool in = ev.type == FocusIn;
      g_focused = in;
      proc(in ? OS_MSG_SETFOCUS : OS_MSG_KILLFOCUS, 0, 0);
      // Without a window manager the window counts as active all the time.
      if (g_wm_present) {
        proc(OS_MSG_ACTIVATE, in ? OS_WA_ACTIVE : OS_WA_INACTIVE, 0);
        proc(OS_MSG_ACTIVATEAPP, in ? 1 : 0, 0);
      }
      break;
    }
    case ConfigureNotify:
      if (ev.xconfigure.window == g_win.load()) {
        g_client_w = ev.xconfigure.width;
        g_client_h = ev.xconfigure.height;
        // A still pointer outside is now somewhere else relative to the window.
        if (!g_ptr_inside) query_pointer();
        proc(OS_MSG_SIZE, 0, point_lparam(ev.xconfigure.width, ev.xconfigure.height));
      }
      break;
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == g_atom_delete) {
        proc(OS_MSG_CLOSE, 0, 0);
        proc(OS_MSG_DESTROY, 0, 0);
        *destroyed = true;
      }
      break;
    case DestroyNotify:
      if (ev.xdestroywindow.window == g_win.load()) {
        proc(OS_MSG_DESTROY, 0, 0);
        *destroyed = true;
        g_win = 0;
        g_exists = false;
      }
      break;
    default:
      break;
  }
}
// Once a second at most: when the server's screen saver would start within
// half its time-out while the window is active, the procedure is asked as
// with a screen-saver system command, and the server's timer is restarted.
void hold_off_screen_saver(window_proc_fn proc, void (*batch_begin)(), void (*batch_end)()) {
  if (!g_dpy) return;
  uint64_t now = platform_counter_ns() / 1000000u;
  if (now - g_saver_checked_ms < 1000) return;
  g_saver_checked_ms = now;
  if (g_wm_present && !g_focused) return;
  int timeout = 0, interval = 0, blanking = 0, exposures = 0;
  XGetScreenSaver(g_dpy, &timeout, &interval, &blanking, &exposures);
  if (timeout <= 0) return;
  uint64_t due = static_cast<uint64_t>(timeout) * 1000u / 2u;
  if (now - g_saver_reset_ms < due) return;
  g_saver_reset_ms = now;
  if (batch_begin) batch_begin();
  proc(OS_MSG_SYSCOMMAND, OS_SC_SCREENSAVE, 0);
  if (batch_end) batch_end();
  XResetScreenSaver(g_dpy);
  XFlush(g_dpy);
}
}  // namespace

void window_force_null_backend(bool on) { g_force_null = on; }
void window_fail_next_create(bool on) { g_fail_next_create = on; }
bool window_is_null_backend() { return g_null_backend || !display_wanted(); }

bool window_create(const char* class_name, const char* title, const char* instance_tag) {
  if (g_fail_next_create.exchange(false)) return false;
  ensure_wake_pipe();
  if (g_wake_pipe[0] < 0) return false;

  g_null_backend = true;
  if (display_wanted()) {
    ensure_xlib_threads();
    g_dpy = XOpenDisplay(nullptr);
    if (!g_dpy) {
      std::fprintf(stderr, "Cannot open display %s; running without a window.\n", std::getenv("DISPLAY"));
    }
  }
  if (!g_dpy) {
    g_exists = true;
    // No window manager decides about activity here: the application is
    // active from the start.
    window_post_message(OS_MSG_ACTIVATEAPP, 1, 0);
    window_post_message(OS_MSG_ACTIVATE, OS_WA_ACTIVE, 0);
    return true;
  }
  g_null_backend = false;
  g_focused = false;

  int screen = DefaultScreen(g_dpy);
  Window root = RootWindow(g_dpy, screen);
  Visual* visual = nullptr;
  int depth = 0;
  choose_visual(g_dpy, screen, &visual, &depth);

  XSetWindowAttributes wa{};
  wa.colormap = XCreateColormap(g_dpy, root, visual, AllocNone);
  wa.border_pixel = 0;
  wa.background_pixel = 0;
  wa.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                  FocusChangeMask | StructureNotifyMask | ExposureMask | EnterWindowMask | LeaveWindowMask;
  int sw = DisplayWidth(g_dpy, screen), sh = DisplayHeight(g_dpy, screen);
  g_last_x_error = 0;
  Window w = XCreateWindow(g_dpy, root, (sw - 32) / 2, (sh - 32) / 2, 32, 32, 0, depth, InputOutput, visual,
                           CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &wa);
  XSync(g_dpy, False);
  if (!w || g_last_x_error) {
    XCloseDisplay(g_dpy);
    g_dpy = nullptr;
    return false;
  }

  XStoreName(g_dpy, w, title ? title : "");
  Atom utf8 = atom(g_dpy, "UTF8_STRING");
  if (title)
    XChangeProperty(g_dpy, w, atom(g_dpy, "_NET_WM_NAME"), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
  XClassHint* ch = XAllocClassHint();
  if (ch) {
    ch->res_name = const_cast<char*>("orrimund");
    ch->res_class = const_cast<char*>(class_name ? class_name : "orrimund");
    XSetClassHint(g_dpy, w, ch);
    XFree(ch);
  }
  g_atom_delete = atom(g_dpy, "WM_DELETE_WINDOW");
  XSetWMProtocols(g_dpy, w, &g_atom_delete, 1);
  g_atom_instance = atom(g_dpy, "_ORRIMUND_INSTANCE");
  if (instance_tag)
    XChangeProperty(g_dpy, w, g_atom_instance, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(instance_tag),
                    static_cast<int>(std::strlen(instance_tag)));
  long pid = getpid();
  XChangeProperty(g_dpy, w, atom(g_dpy, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  set_motif_decorations(g_dpy, w, false);

  // The game draws its own cursor: the system one is blank over the window.
  static char blank_bits[1] = {0};
  Pixmap blank = XCreateBitmapFromData(g_dpy, w, blank_bits, 1, 1);
  XColor black{};
  g_blank_cursor = XCreatePixmapCursor(g_dpy, blank, blank, &black, &black, 0, 0);
  XFreePixmap(g_dpy, blank);
  XDefineCursor(g_dpy, w, g_blank_cursor);

  Bool supported = False;
  XkbSetDetectableAutoRepeat(g_dpy, True, &supported);

  g_wm_present = wm_running(g_dpy, root);
  g_visual_id = XVisualIDFromVisual(visual);
  g_depth = depth;
  g_screen = screen;
  g_client_w = 32;
  g_client_h = 32;
  g_win = w;
  query_pointer();
  XSync(g_dpy, False);
  g_exists = true;
  if (!g_wm_present) {
    window_post_message(OS_MSG_ACTIVATEAPP, 1, 0);
    window_post_message(OS_MSG_ACTIVATE, OS_WA_ACTIVE, 0);
  }
  return true;
}

void window_pump(window_proc_fn proc, void (*batch_begin)(), void (*batch_end)()) {
  bool destroyed = false;
  g_saver_checked_ms = g_saver_reset_ms = platform_counter_ns() / 1000000u;
  while (!destroyed) {
    hold_off_screen_saver(proc, batch_begin, batch_end);
    bool x_pending = g_dpy && XPending(g_dpy) > 0;
    if (x_pending || posted_pending()) {
      if (batch_begin) batch_begin();
      while (!destroyed && g_dpy && XPending(g_dpy) > 0) {
        XEvent ev;
        XNextEvent(g_dpy, &ev);
        translate_event(ev, proc, &destroyed);
      }
      if (!destroyed) dispatch_posted(proc, &destroyed);
      if (batch_end) batch_end();
      continue;
    }
    pollfd fds[2];
    int n = 0;
    fds[n++] = {g_wake_pipe[0], POLLIN, 0};
    if (g_dpy) fds[n++] = {ConnectionNumber(g_dpy), POLLIN, 0};
    poll(fds, n, 1000);
    drain_wake_pipe();
  }
}

void window_post_message(uint32_t message, uint64_t wparam, int64_t lparam) {
  ensure_wake_pipe();
  {
    std::lock_guard<std::mutex> lock(g_post_lock);
    g_posted.push_back({message, wparam, lparam});
  }
  if (g_wake_pipe[1] >= 0) {
    char c = 1;
    ssize_t r = write(g_wake_pipe[1], &c, 1);
    (void)r;
  }
}

void window_destroy() {
  g_exists = false;
  if (g_dpy) {
    if (g_win) XDestroyWindow(g_dpy, g_win);
    if (g_blank_cursor) XFreeCursor(g_dpy, g_blank_cursor);
    XCloseDisplay(g_dpy);
  }
  g_dpy = nullptr;
  g_blank_cursor = 0;
  g_win = 0;
  g_ptr_inside = false;
  g_client_w = g_client_h = 0;
  std::lock_guard<std::mutex> lock(g_post_lock);
  g_posted.clear();
}

unsigned long window_get_xid() { return g_win; }
bool window_exists() { return g_exists; }
bool window_manager_present() { return g_wm_present; }

_XDisplay* window_main_display() {
  std::lock_guard<std::mutex> lock(g_main_lock);
  if (g_main_dpy || g_main_tried) return g_main_dpy;
  // Only a real window needs the connection; asking before the window
  // exists must not decide for good.
  if (!g_exists || g_null_backend || !display_wanted()) return nullptr;
  g_main_tried = true;
  ensure_xlib_threads();
  g_main_dpy = XOpenDisplay(nullptr);
  return g_main_dpy;
}

unsigned long window_get_visual_id() { return g_visual_id; }
int window_get_depth() { return g_depth; }
int window_get_screen() { return g_screen; }

namespace {
// The main connection and window, or false when there is none.
bool main_side(Display** dpy, Window* w) {
  *dpy = window_main_display();
  *w = g_win;
  return *dpy && *w;
}

void send_wm_state(Display* dpy, Window w, bool add, Atom state) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = atom(dpy, "_NET_WM_STATE");
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = add ? 1 : 0;
  ev.xclient.data.l[1] = static_cast<long>(state);
  ev.xclient.data.l[3] = 1;
  XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}
}  // namespace

void window_set_size(int width, int height) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w) || width <= 0 || height <= 0) return;
  XResizeWindow(dpy, w, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(dpy);
}

void window_set_position(int x, int y) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) return;
  XMoveWindow(dpy, w, x, y);
  XFlush(dpy);
}

void window_show(bool show) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) return;
  if (!show) {
    XUnmapWindow(dpy, w);
    XFlush(dpy);
    return;
  }
  XMapRaised(dpy, w);
  XSync(dpy, False);
  // Focus needs a viewable window; a window manager may take a moment.
  for (int i = 0; i < 100; ++i) {
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy, w, &attr) && attr.map_state == IsViewable) break;
    platform_sleep_ms(10);
  }
  if (g_wm_present) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = atom(dpy, "_NET_ACTIVE_WINDOW");
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
  }
  XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
  XSync(dpy, False);
}

void window_set_fullscreen(bool on) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) return;
  Atom fs = atom(dpy, "_NET_WM_STATE_FULLSCREEN");
  if (g_wm_present) {
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy, w, &attr) && attr.map_state != IsUnmapped) {
      send_wm_state(dpy, w, on, fs);
    } else if (on) {
      XChangeProperty(dpy, w, atom(dpy, "_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&fs), 1);
    } else {
      XDeleteProperty(dpy, w, atom(dpy, "_NET_WM_STATE"));
    }
  } else if (on) {
    // Nobody to honour the state: cover the screen ourselves.
    int scr = g_screen;
    XMoveResizeWindow(dpy, w, 0, 0, static_cast<unsigned>(DisplayWidth(dpy, scr)),
                      static_cast<unsigned>(DisplayHeight(dpy, scr)));
  }
  XFlush(dpy);
}

void window_set_decorated(bool on) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) return;
  set_motif_decorations(dpy, w, on);
  XFlush(dpy);
}

void window_get_screen_size(int* width, int* height) {
  Display* dpy = window_main_display();
  if (!dpy) {
    *width = *height = 0;
    return;
  }
  int scr = DefaultScreen(dpy);
  *width = DisplayWidth(dpy, scr);
  *height = DisplayHeight(dpy, scr);
}

void window_get_work_area(int* x, int* y, int* width, int* height) {
  *x = *y = 0;
  window_get_screen_size(width, height);
  Display* dpy = window_main_display();
  if (!dpy) return;
  WindowProperty area(dpy, DefaultRootWindow(dpy), atom(dpy, "_NET_WORKAREA"), XA_CARDINAL, 4);
  if (area.items >= 4 && area.format == 32) {
    long* v = reinterpret_cast<long*>(area.data);
    if (v[2] > 0 && v[3] > 0) {
      *x = static_cast<int>(v[0]);
      *y = static_cast<int>(v[1]);
      *width = static_cast<int>(v[2]);
      *height = static_cast<int>(v[3]);
    }
  }
}

void window_sync() {
  if (Display* dpy = window_main_display()) XSync(dpy, False);
}

bool window_get_cursor_pos(int* x, int* y) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) {
    *x = g_null_cursor_x;
    *y = g_null_cursor_y;
    return true;
  }
  *x = g_ptr_x;
  *y = g_ptr_y;
  to_picture(x, y);
  return true;
}

void window_set_cursor_pos(int x, int y) {
  Display* dpy;
  Window w;
  if (!main_side(&dpy, &w)) {
    g_null_cursor_x = x;
    g_null_cursor_y = y;
    return;
  }
  const int pw = g_picture_w, ph = g_picture_h, cw = g_client_w, ch = g_client_h;
  if (pw > 0 && ph > 0 && cw > 0 && ch > 0) picture_fit_to_window(picture_fit(pw, ph, cw, ch), pw, ph, x, y, &x, &y);
  XWarpPointer(dpy, None, w, 0, 0, 0, 0, x, y);
  XFlush(dpy);
  // Until the events of the warp arrive, the next frame reads the position
  // it asked for (and does not pull the pointer back a second time).
  g_ptr_x = x;
  g_ptr_y = y;
}

void window_set_picture(int width, int height) {
  const bool on = width > 0 && height > 0;
  g_picture_w = on ? width : 0;
  g_picture_h = on ? height : 0;
}

bool window_get_client_size(int* width, int* height) {
  *width = g_client_w;
  *height = g_client_h;
  return *width > 0 && *height > 0;
}

namespace {
Window find_tagged(Display* dpy, Window w, Atom prop, const char* tag, int depth) {
  {
    WindowProperty value(dpy, w, prop, XA_STRING, 1024);
    if (value.data && std::strlen(tag) == value.items && std::memcmp(value.data, tag, value.items) == 0) return w;
  }
  if (depth <= 0) return 0;
  Window root_ret, parent_ret, *children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (XQueryTree(dpy, w, &root_ret, &parent_ret, &children, &count)) {
    for (unsigned int i = 0; i < count && !found; ++i) found = find_tagged(dpy, children[i], prop, tag, depth - 1);
    if (children) XFree(children);
  }
  return found;
}
}  // namespace

bool window_raise_other_instance(const char* instance_tag) {
  if (!display_wanted() || !instance_tag) return false;
  ensure_xlib_threads();
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return false;
  Atom prop = XInternAtom(dpy, "_ORRIMUND_INSTANCE", True);
  Window found = 0;
  if (prop != None) found = find_tagged(dpy, DefaultRootWindow(dpy), prop, instance_tag, 3);
  if (found) {
    XRaiseWindow(dpy, found);
    if (wm_running(dpy, DefaultRootWindow(dpy))) {
      XEvent ev{};
      ev.xclient.type = ClientMessage;
      ev.xclient.window = found;
      ev.xclient.message_type = atom(dpy, "_NET_ACTIVE_WINDOW");
      ev.xclient.format = 32;
      ev.xclient.data.l[0] = 1;
      XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    }
    XSync(dpy, False);
  }
  XCloseDisplay(dpy);
  return found != 0;
}

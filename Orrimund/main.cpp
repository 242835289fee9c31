// Program entry of the game: the crash filter, start-up in its fixed order,
// the main loop and shutdown.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/cmdline.h"
#include "quarn/os/console.h"
#include "Orrimund/fs_paths.h"
#include "quarn/os/crash_report.h"
#include "quarn/os/key.h"
#include "quarn/os/memory.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/registry.h"
#include "quarn/os/timer.h"
#include "quarn/platform/window.h"

namespace {
constexpr const char* COMPANY_NAME = "Quorvane";
constexpr const char* APPLICATION_NAME = "Orrimund Demo";
constexpr int DEFAULT_SCREEN_WIDTH = 640;
constexpr int DEFAULT_SCREEN_HEIGHT = 480;

std::atomic<bool> g_quit_requested{false};

// The game's switches carry no help text.
CommandLineOption Opt_800("-800", "", false);
CommandLineOption Opt_1024("-1024", "", false);
CommandLineOption Opt_direct3d("-direct3d", "", false);
CommandLineOption Opt_opengl("-opengl", "", false);
CommandLineOption Opt_window("-window", "", false);

struct Resolution {
  int width, height;
};
// The screen sizes the game offers; a registry pair that is none of them
// leaves the first.
constexpr Resolution RESOLUTIONS[] = {{640, 480}, {800, 600}, {1024, 768}};
Resolution Screen = RESOLUTIONS[0];

bool Graphics_started = false;
// The game's three fonts, in the order the screens expect them.
int Font_title = -1, Font_main = -1, Font_large = -1;

void on_quit_signal(int) { g_quit_requested = true; }

// SIGINT and SIGTERM end the main loop, so shutdown still runs in order.
void install_quit_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_quit_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void read_resolution() {
  int w = DEFAULT_SCREEN_WIDTH, h = DEFAULT_SCREEN_HEIGHT;
  os_reg_read_int(nullptr, "Resolution Width", &w, DEFAULT_SCREEN_WIDTH);
  os_reg_read_int(nullptr, "Resolution Height", &h, DEFAULT_SCREEN_HEIGHT);
  if (Opt_800.found()) w = 800, h = 600;
  else if (Opt_1024.found()) w = 1024, h = 768;
  for (const Resolution& r : RESOLUTIONS)
    if (r.width == w && r.height == h) Screen = r;
}

// The renderer from the registry's card choice and the switches. Only
// OpenGL exists on this platform, so any other choice falls back to it.
int choose_renderer(int* window_mode) {
  int renderer = GR_GLIDE;
  int card = -1;
  os_reg_read_int(nullptr, "Selected Video Card", &card, -1);
  if (card != -1) {
    char name[32], text[256];
    std::snprintf(name, sizeof name, "Video Card %d", card);
    os_reg_read_string_default(nullptr, name, text, sizeof text, "None");
    if (std::strcmp(text, "None") != 0) {
      if (std::strstr(text, "3DFX")) renderer = GR_GLIDE;
      else if (std::strstr(text, "Direct 3D")) renderer = GR_DIRECT3D;
    }
  }
  *window_mode = Opt_window.found() ? GR_WINDOWED : GR_FULLSCREEN;
  if (Opt_direct3d.found()) renderer = GR_DIRECT3D;
  if (Opt_opengl.found()) {
    renderer = GR_OPENGL;
    *window_mode = GR_WINDOWED;
  }
  if (renderer != GR_OPENGL && !gr_renderer_available(renderer)) {
    std::printf("%s is not available: drawing with OpenGL in a window\n",
                renderer == GR_DIRECT3D ? "Direct3D" : "Glide");
    renderer = GR_OPENGL;
  }
  if (renderer == GR_OPENGL) *window_mode = GR_WINDOWED;  // it runs in a window only
  return renderer;
}

void init_graphics() {
  int window_mode = GR_WINDOWED;
  const int renderer = choose_renderer(&window_mode);
  // Without a display there is nothing to draw on; the rest of the program
  // runs the same.
  if (window_is_null_backend() || !os_get_window() || !window_main_display()) {
    std::printf("No display: running without graphics\n");
    return;
  }
  gr_init(Screen.width, Screen.height, renderer, window_mode, os_get_window(), false);
  Graphics_started = true;
}

void load_fonts() {
  if (!Graphics_started) return;
  const struct {
    int* font;
    const char* name;
    int line_spacing;
  } fonts[] = {{&Font_title, "orrbones-small-pc.vf", -1},
               {&Font_main, "font-small.vf", 9},
               {&Font_large, "Orrbones-small.vf", -1}};
  for (const auto& f : fonts) {
    *f.font = gr_font_load(f.name, f.line_spacing);
    if (*f.font < 0) std::printf("Font %s could not be loaded\n", f.name);
  }
  gr_fade_in(0);  // no fade pending: the screen shows from the first frame
}

// First pass of start-up: the base services.
void init_base_services() {
  os_init(COMPANY_NAME, APPLICATION_NAME);       // single-instance guard, window thread and window
  os_reg_set_root(COMPANY_NAME, APPLICATION_NAME);  // registry root: Software\company\application
  cmdline_parse(false);                          // command line plus the registry's "CmdLineOptions"; unknown switches ignored
  read_resolution();                             // "Resolution Width"/"Resolution Height", -800, -1024
  timer_init();                                  // the high-resolution timer
  fs_init();                                     // the file layer with its search paths and packfiles
  os_random_seed(-1);                            // the shared random sequence, from the time
  key_init(true);                                // keyboard, before the mouse
  bm_init();                                     // the bitmap manager
  mouse_init(Screen.width, Screen.height);       // mouse, with the screen size
  console_init();                                // the console (its commands registered themselves)
  init_graphics();                               // the renderer and the screen
}

// Second pass of start-up: the game services.
void init_game_services() {
  load_fonts();
}

// One turn of the main loop while no game state runs yet.
void main_loop_turn() {
  os_poll();
  if (time_frozen) FrameTimer = 0.0f;
  else frametime_update();
  mouse_frame();
  if (Graphics_started) {
    gr_clear();
    gr_flip();
  }
}

int main_routine() {
  std::atexit(mem_exit);  // the base library's exit routine comes first
  install_quit_signals();
  init_base_services();
  init_game_services();
  console_run_autoexec();  // developer route: the script ORRIMUND_AUTOEXEC names, after start-up

  // The window thread ends when the window is destroyed; without a display
  // the program runs until it is told to stop.
  while (!g_quit_requested && os_window_thread_running()) main_loop_turn();

  bm_close();
  if (Graphics_started) gr_close();
  os_shutdown();
  return 0;
}
}  // namespace

int main() {
  // Faults that escape leave errorlog.txt beside the program.
  crash_report_install("Orrimund Main Thread");
  return main_routine();
}

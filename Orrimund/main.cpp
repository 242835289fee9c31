// Program entry of the game: the crash filter, start-up in its fixed order,
// the main loop and shutdown.
#include <signal.h>

#include <atomic>
#include <cstdlib>

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

namespace {
constexpr const char* COMPANY_NAME = "Quorvane";
constexpr const char* APPLICATION_NAME = "Orrimund Demo";
constexpr int DEFAULT_SCREEN_WIDTH = 640;
constexpr int DEFAULT_SCREEN_HEIGHT = 480;

std::atomic<bool> g_quit_requested{false};

void on_quit_signal(int) { g_quit_requested = true; }

// SIGINT and SIGTERM end the main loop, so shutdown still runs in order.
void install_quit_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_quit_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

// First pass of start-up: the base services.
void init_base_services() {
  os_init(COMPANY_NAME, APPLICATION_NAME);       // single-instance guard, window thread and window
  os_reg_set_root(COMPANY_NAME, APPLICATION_NAME);  // registry root: Software\company\application
  cmdline_parse(false);                          // command line plus the registry's "CmdLineOptions"; unknown switches ignored
  timer_init();                                  // the high-resolution timer
  fs_init();                                     // the file layer with its search paths and packfiles
  os_random_seed(-1);                            // the shared random sequence, from the time
  key_init(true);                                // keyboard, before the mouse
  mouse_init(DEFAULT_SCREEN_WIDTH, DEFAULT_SCREEN_HEIGHT);  // mouse, with the screen size
  console_init();                                // the console (its commands registered themselves)
}

// Second pass of start-up: the game services.
void init_game_services() {}

// One turn of the main loop while no game state runs yet.
void main_loop_turn() {
  os_poll();
  if (time_frozen) FrameTimer = 0.0f;
  else frametime_update();
  mouse_frame();
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

  os_shutdown();
  return 0;
}
}  // namespace

int main() {
  // Faults that escape leave errorlog.txt beside the program.
  crash_report_install("Orrimund Main Thread");
  return main_routine();
}

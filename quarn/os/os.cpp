#include "quarn/os/os.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "quarn/math/floatops.h"
#include "quarn/os/error.h"
#include "quarn/platform/instance_lock.h"
#include "quarn/platform/thread.h"
#include "quarn/platform/window.h"

namespace {
constexpr size_t NAME_LEN = 128;
// The usual wait for the window thread's answer, then the longest further
// wait before start-up gives up on a window that never answers.
constexpr int OS_WINDOW_WAIT_MS = 5000;
constexpr int OS_WINDOW_SLOW_WAIT_MS = 60000;
char g_class_name[NAME_LEN];
char g_title[NAME_LEN];
std::string g_instance_tag;

std::atomic<os_message_hook> g_hooks[OS_MAX_MESSAGE_HOOKS];
std::atomic<int> g_hook_count{0};

std::atomic<bool> g_active{false};
std::atomic<bool> g_started{false};
std::atomic<bool> g_thread_running{false};
std::atomic<int> g_create_result{0};  // 0 pending, 1 window made, -1 failed
std::atomic<std::thread::id> g_window_thread_id{};

// Held by the window thread while it dispatches a batch of messages.
PlatformCriticalSection g_os_lock;
PlatformEvent g_thread_finished;

void os_lock_enter() { g_os_lock.enter(); }
void os_lock_leave() { g_os_lock.leave(); }

void os_window_thread(void* arg) {
  auto* created = static_cast<PlatformEvent*>(arg);
  g_window_thread_id = std::this_thread::get_id();
  bool ok = window_create(g_class_name, g_title, g_instance_tag.c_str());
  g_create_result = ok ? 1 : -1;
  if (ok) g_thread_running = true;
  created->set();
  if (!ok) {
    g_thread_finished.set();
    return;
  }
  window_pump(os_window_proc, os_lock_enter, os_lock_leave);
  window_destroy();
  g_thread_running = false;
  g_active = false;
  g_thread_finished.set();
}

// Ends the window thread and waits a little for it, so that it is not
// still running hooks while the process tears down its statics.
void stop_window_thread() {
  if (!g_thread_running) return;
  window_post_message(OS_MSG_DESTROY, 0, 0);
  // A fatal error raised by a hook ends the process from the window thread
  // itself, which cannot wait for its own end.
  if (std::this_thread::get_id() == g_window_thread_id.load()) return;
  g_thread_finished.wait(2000);
}

void os_exit_routine() { stop_window_thread(); }
}  // namespace

void os_init(const char* class_name, const char* title) {
  if (g_started) return;
  std::snprintf(g_class_name, sizeof g_class_name, "%s", class_name ? class_name : "");
  std::snprintf(g_title, sizeof g_title, "%s", title ? title : "");

  // One copy per configuration directory: the lock lives beside the
  // registry file, so copies with their own XDG_CONFIG_HOME run side by side.
  std::string config_dir = platform_config_dir(g_class_name, g_title);
  g_instance_tag = config_dir;
  if (!platform_instance_lock_acquire(config_dir)) {
    window_raise_other_instance(g_instance_tag.c_str());
    std::exit(1);
  }

  g_started = true;
  g_create_result = 0;
  PlatformEvent created;
  std::thread t = platform_start_thread("Window Thread", os_window_thread, &created);
  t.detach();
  bool signalled = created.wait(OS_WINDOW_WAIT_MS);
  if (!signalled) {
    // The window thread always answers, made or failed; a machine under
    // heavy load can take longer than the usual wait to map the window, and
    // giving up then would end a start-up that was only slow.
    std::fprintf(stderr, "The application window is slow to appear; still waiting.\n");
    signalled = created.wait(OS_WINDOW_SLOW_WAIT_MS);
  }
  if (!signalled) critical_error(__FILE__, __LINE__, "Timed out waiting for the application window.");
  if (g_create_result != 1) critical_error(__FILE__, __LINE__, "Unable to create the application window.");

  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(os_exit_routine);
  }
}

void os_shutdown() {
  platform_instance_lock_release();
  stop_window_thread();
  g_started = false;
}

void os_poll() {}

unsigned long os_get_window() { return window_get_xid(); }

bool os_is_active() { return g_active; }

bool os_window_thread_running() { return g_thread_running; }

void os_add_message_hook(os_message_hook hook) {
  int n = g_hook_count.load();
  if (!hook || n >= OS_MAX_MESSAGE_HOOKS) return;
  g_hooks[n].store(hook);
  g_hook_count.store(n + 1);
}

bool os_syscommand_passes_on(uint64_t command) { return (command & 0xFFF0) != OS_SC_SCREENSAVE; }

void os_window_proc(uint32_t message, uint64_t wparam, int64_t lparam) {
  // Hooks see every message, also those the procedure swallows below.
  int n = g_hook_count.load();
  for (int i = 0; i < n; ++i) {
    if (os_message_hook h = g_hooks[i].load()) h(message, wparam, lparam);
  }

  switch (message) {
    case OS_MSG_ACTIVATE: {
      uint32_t state = wparam & 0xFFFF;
      g_active = state == OS_WA_ACTIVE || state == OS_WA_CLICKACTIVE;
      break;
    }
    case OS_MSG_ACTIVATEAPP:
      g_active = wparam != 0;
      break;
    default:
      // Destroy, palette, timer and display changes need nothing here; a
      // screen-saver request is swallowed and other system commands have no
      // default handling on this platform.
      break;
  }
}

void os_post_message(uint32_t message, uint64_t wparam, int64_t lparam) {
  window_post_message(message, wparam, lparam);
}

void os_sleep(int ms) { platform_sleep_ms(ms); }

void os_random_seed(int seed) {
  uint32_t s = seed == -1 ? static_cast<uint32_t>(std::time(nullptr)) : static_cast<uint32_t>(seed);
  os_srand(s);
  for (int i = 0; i < 3; ++i) (void)os_rand();
}

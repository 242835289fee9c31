#pragma once
// The operating-system layer of the base library: single-instance guard,
// the window on a thread of its own with its message pump and hooks, the
// active flag, and small services.
#include <cstdint>

#include "quarn/platform/messages.h"

constexpr int OS_MAX_MESSAGE_HOOKS = 32;

// First thing at start-up: with the company and application names that also
// root the registry ("Quorvane", "Orrimund Demo"). Exits with code 1 when
// another copy runs (after raising its window). Returns once the window
// exists; a window that cannot be made is fatal.
void os_init(const char* class_name, const char* title);
// Releases the single-instance lock and ends the window thread.
void os_shutdown();
// Once per pass of the main loop; messages are pumped on the window thread.
void os_poll();
// The X window id of the application window (0 without a display).
unsigned long os_get_window();
// True while the application is the active one.
bool os_is_active();
void os_add_message_hook(os_message_hook hook);
void os_sleep(int ms);
// Seeds the shared random generator (with the time when seed is -1) and
// draws three numbers.
void os_random_seed(int seed);

// True while the window thread runs (false once its window was destroyed).
bool os_window_thread_running();
// The window procedure: every hook, then the engine's own handling. Runs on
// the window thread; tests may call it directly.
void os_window_proc(uint32_t message, uint64_t wparam, int64_t lparam);
// Queues a message for the window thread, as if the window had received it.
void os_post_message(uint32_t message, uint64_t wparam, int64_t lparam);
// True when OS_SC_SCREENSAVE would go on to the default handling (it never
// does); other system commands do.
bool os_syscommand_passes_on(uint64_t command);

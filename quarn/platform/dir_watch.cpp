#include "quarn/platform/dir_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {
int g_fd = -1;
bool g_tried = false;
bool g_force_off = false;
// Set by the signal handler, cleared before the events are read, so that an
// event queued during the read raises it again.
std::atomic<bool> g_pending{false};

void on_signal(int) { g_pending.store(true, std::memory_order_relaxed); }

constexpr uint32_t WATCH_MASK = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                IN_MOVE_SELF | IN_ONLYDIR;
}  // namespace

bool dir_watch_start() {
  if (g_tried) return g_fd >= 0;
  g_tried = true;
  if (g_force_off) return false;
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return false;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  // Restarted calls: a change to a data folder must not make an unrelated
  // read or wait on the same thread fail.
  sa.sa_flags = SA_RESTART;
  if (sigaction(SIGIO, &sa, nullptr) != 0 || fcntl(fd, F_SETOWN, getpid()) != 0 ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_ASYNC | O_NONBLOCK) != 0) {
    close(fd);
    return false;
  }
  g_fd = fd;
  g_pending = true;  // nothing is known yet
  return true;
}

void dir_watch_force_unavailable(bool on) { g_force_off = on; }

void dir_watch_stop() {
  if (g_fd >= 0) close(g_fd);
  g_fd = -1;
  g_tried = false;
  g_pending = false;
}

int dir_watch_add(const char* path) {
  if (g_fd < 0 || !path) return -1;
  return inotify_add_watch(g_fd, path, WATCH_MASK);
}

void dir_watch_remove(int id) {
  if (g_fd >= 0 && id >= 0) inotify_rm_watch(g_fd, id);
}

bool dir_watch_pending() { return g_pending.load(std::memory_order_relaxed); }

bool dir_watch_drain(void (*fn)(void* ctx, int id, int event), void* ctx) {
  g_pending.store(false, std::memory_order_relaxed);
  if (g_fd < 0) return true;
  bool whole = true;
  alignas(inotify_event) char buf[8192];
  for (;;) {
    ssize_t n = read(g_fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event ev;
      std::memcpy(&ev, buf + off, sizeof ev);
      off += static_cast<ssize_t>(sizeof ev + ev.len);
      if (ev.mask & IN_Q_OVERFLOW) {
        whole = false;
        continue;
      }
      int kind = 0;
      if (ev.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) kind |= DIR_WATCH_ENTRIES;
      if (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) kind |= DIR_WATCH_GONE;
      if (kind) fn(ctx, ev.wd, kind);
    }
  }
  return whole;
}

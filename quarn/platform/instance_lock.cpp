#include "quarn/platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {
int g_lock_fd = -1;
pid_t g_lock_pid = 0;
std::string g_lock_path;

void make_dirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      mkdir(part.c_str(), 0755);
    }
  }
}
}  // namespace

std::string platform_config_dir(const char* company, const char* application) {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  std::string dir = base + "/" + (company ? company : "") + "/" + (application ? application : "");
  make_dirs(dir);
  return dir;
}

bool platform_instance_lock_acquire(const std::string& config_dir) {
  if (g_lock_fd >= 0) {
    if (g_lock_pid == getpid()) return true;
    // A forked child inherited the parent's descriptor: the lock is the
    // parent's, so the child must take one of its own.
    close(g_lock_fd);
    g_lock_fd = -1;
  }
  g_lock_path = config_dir + "/instance.lock";
  int fd = open(g_lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return true;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    close(fd);
    return errno != EWOULDBLOCK;
  }
  g_lock_fd = fd;
  g_lock_pid = getpid();
  return true;
}

void platform_instance_lock_release() {
  if (g_lock_fd < 0) return;
  if (g_lock_pid != getpid()) {
    close(g_lock_fd);  // the parent's lock stays the parent's
    g_lock_fd = -1;
    return;
  }
  flock(g_lock_fd, LOCK_UN);
  close(g_lock_fd);
  g_lock_fd = -1;
}

const std::string& platform_instance_lock_path() { return g_lock_path; }

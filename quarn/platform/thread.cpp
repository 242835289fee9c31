#include "quarn/platform/thread.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

void PlatformEvent::set() {
  {
    std::lock_guard<std::mutex> lock(m_);
    signalled_ = true;
  }
  cv_.notify_one();
}

bool PlatformEvent::wait(int timeout_ms) {
  std::unique_lock<std::mutex> lock(m_);
  bool ok = cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; });
  if (ok) signalled_ = false;
  return ok;
}

std::thread platform_start_thread(const char* name, void (*fn)(void*), void* arg) {
  std::string n = name ? name : "";
  return std::thread([fn, arg, n] {
    if (!n.empty()) {
      // The kernel keeps 15 characters of a thread's name.
      char shortname[16];
      std::strncpy(shortname, n.c_str(), sizeof shortname - 1);
      shortname[sizeof shortname - 1] = 0;
      pthread_setname_np(pthread_self(), shortname);
    }
    fn(arg);
  });
}

void platform_sleep_ms(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

uint64_t platform_counter_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

std::string platform_module_path() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = 0;
  return std::string(buf);
}

std::string platform_module_dir() {
  std::string p = platform_module_path();
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

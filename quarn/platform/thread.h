#pragma once
// Kernel services of the platform: locks that re-enter, auto-reset events,
// threads, sleeping, the monotonic counter and the program's path.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// A critical section: the same thread may take it again.
class PlatformCriticalSection {
 public:
  void enter() { m_.lock(); }
  void leave() { m_.unlock(); }
  bool try_enter() { return m_.try_lock(); }

 private:
  std::recursive_mutex m_;
};

// Holds a critical section for a scope.
class PlatformLockGuard {
 public:
  explicit PlatformLockGuard(PlatformCriticalSection& cs) : cs_(cs) { cs_.enter(); }
  ~PlatformLockGuard() { cs_.leave(); }
  PlatformLockGuard(const PlatformLockGuard&) = delete;
  PlatformLockGuard& operator=(const PlatformLockGuard&) = delete;

 private:
  PlatformCriticalSection& cs_;
};

// An auto-reset event: one wait consumes one signal.
class PlatformEvent {
 public:
  void set();
  // True when signalled within the time, false on time-out.
  bool wait(int timeout_ms);

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// Starts a named thread (the name shows in debuggers and crash reports).
std::thread platform_start_thread(const char* name, void (*fn)(void*), void* arg);

void platform_sleep_ms(int ms);

// Monotonic counter in nanoseconds (CLOCK_MONOTONIC).
uint64_t platform_counter_ns();

// Full path of the running program (/proc/self/exe); empty when unknown.
std::string platform_module_path();
// Directory of the running program, without the trailing slash.
std::string platform_module_dir();

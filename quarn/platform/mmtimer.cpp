#include "quarn/platform/mmtimer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Event {
  uint32_t id;
  uint32_t period;
  MmTimerCallback cb;
  uintptr_t user;
  Clock::time_point due;
};

struct Timers {
  std::mutex mx;
  std::condition_variable cv;
  std::vector<Event> events;
  std::thread thread;
  bool stop = false;
  bool manual = false;
  uint32_t next_id = 1;

  void run() {
    std::unique_lock<std::mutex> lk(mx);
    while (!stop) {
      if (events.empty() || manual) {
        cv.wait(lk);
        continue;
      }
      Clock::time_point next = events.front().due;
      for (const Event& e : events)
        if (e.due < next) next = e.due;
      if (Clock::now() < next) {
        cv.wait_until(lk, next);
        continue;
      }
      for (size_t i = 0; i < events.size(); ++i) {
        if (Clock::now() < events[i].due) continue;
        Event e = events[i];
        events[i].due += std::chrono::milliseconds(e.period);
        if (events[i].due < Clock::now())
          events[i].due = Clock::now() + std::chrono::milliseconds(e.period);
        // The callback runs without our lock: it may kill events (its own
        // too) and take locks the main thread holds while killing.
        lk.unlock();
        e.cb(e.id, e.user);
        lk.lock();
        if (stop) return;
      }
    }
  }
};

// Never destroyed: the exit path (a fatal error, for one) may still stop
// streams after static objects are gone, and a thread blocked in its wait
// needs no joining when the process ends.
Timers& timers() {
  static Timers* t = new Timers();
  return *t;
}

}  // namespace

uint32_t mm_time_begin_period(uint32_t ms) { return ms >= 1 ? 0 : 97; }
uint32_t mm_time_end_period(uint32_t ms) { return ms >= 1 ? 0 : 97; }

uint32_t mm_time_set_event(uint32_t period_ms, uint32_t, MmTimerCallback cb, uintptr_t user) {
  if (!cb || period_ms == 0) return 0;
  Timers& t = timers();
  std::lock_guard<std::mutex> lk(t.mx);
  if (t.stop) return 0;
  uint32_t id = t.next_id++;
  if (t.next_id == 0) t.next_id = 1;
  t.events.push_back({id, period_ms, cb, user, Clock::now() + std::chrono::milliseconds(period_ms)});
  if (!t.manual && !t.thread.joinable()) t.thread = std::thread([&t] { t.run(); });
  t.cv.notify_all();
  return id;
}

uint32_t mm_time_kill_event(uint32_t id) {
  Timers& t = timers();
  std::lock_guard<std::mutex> lk(t.mx);
  for (size_t i = 0; i < t.events.size(); ++i) {
    if (t.events[i].id == id) {
      t.events.erase(t.events.begin() + static_cast<long>(i));
      t.cv.notify_all();
      return 0;
    }
  }
  return 97;
}

void mm_timer_set_manual(bool manual) {
  Timers& t = timers();
  std::lock_guard<std::mutex> lk(t.mx);
  t.manual = manual;
  t.cv.notify_all();
}

void mm_timer_fire_all() {
  Timers& t = timers();
  std::vector<Event> now;
  {
    std::lock_guard<std::mutex> lk(t.mx);
    now = t.events;
  }
  for (const Event& e : now) {
    bool live = false;
    {
      std::lock_guard<std::mutex> lk(t.mx);
      for (const Event& x : t.events) live = live || x.id == e.id;
    }
    if (live) e.cb(e.id, e.user);
  }
}

int mm_timer_live_count() {
  Timers& t = timers();
  std::lock_guard<std::mutex> lk(t.mx);
  return static_cast<int>(t.events.size());
}

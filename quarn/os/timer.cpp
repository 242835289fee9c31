#include "quarn/os/timer.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "quarn/math/floatops.h"
#include "quarn/platform/thread.h"

// ---- High-resolution timer -------------------------------------------------

namespace {
constexpr uint64_t COUNTER_FREQUENCY = 1000000000ull;  // the counter runs in ns

std::atomic<timer_counter_fn> g_counter{nullptr};
std::atomic<timer_sleep_fn> g_sleep{nullptr};

std::mutex g_timer_lock;
bool g_timer_initialised = false;
uint64_t g_timer_base = 0;
uint64_t g_timer_last = 0;
std::atomic<uint64_t> g_calibration{0};

uint64_t read_counter() {
  timer_counter_fn fn = g_counter.load(std::memory_order_relaxed);
  return fn ? fn() : platform_counter_ns();
}

void source_sleep(int ms) {
  if (ms <= 0) return;
  timer_sleep_fn fn = g_sleep.load(std::memory_order_relaxed);
  if (fn) fn(ms);
  else platform_sleep_ms(ms);
}

#if defined(__x86_64__) || defined(__i386__)
uint64_t read_tsc() {
  uint32_t lo, hi;
  __asm__ __volatile__("rdtsc" : "=a"(lo), "=d"(hi));
  return (uint64_t{hi} << 32) | lo;
}
#else
uint64_t read_tsc() { return platform_counter_ns(); }
#endif
}  // namespace

void timer_set_source(timer_counter_fn counter_ns, timer_sleep_fn sleep_ms) {
  g_counter = counter_ns;
  g_sleep = sleep_ms;
  // A new source has its own zero: restart the base so time keeps counting
  // from where it is now rather than jumping.
  std::lock_guard<std::mutex> lock(g_timer_lock);
  if (g_timer_initialised) {
    g_timer_base = g_timer_last = read_counter();
  }
}

void timer_init() {
  std::lock_guard<std::mutex> lock(g_timer_lock);
  if (g_timer_initialised) return;
  g_timer_base = g_timer_last = read_counter();
  g_timer_initialised = true;
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(timer_close);
  }
}

void timer_close() {
  std::lock_guard<std::mutex> lock(g_timer_lock);
  g_timer_initialised = false;
}

uint32_t timer_get(uint32_t units) {
  uint64_t elapsed;
  {
    std::lock_guard<std::mutex> lock(g_timer_lock);
    if (!g_timer_initialised) return 0;
    uint64_t reading = read_counter();
    if (reading < g_timer_last) g_timer_base = reading;  // the counter went backwards
    elapsed = reading - g_timer_base;
    g_timer_last = reading;
  }
  // 128-bit product: a nanosecond counter times 10^6 units would overflow
  // 64 bits after about five hours.
  unsigned __int128 scaled = static_cast<unsigned __int128>(elapsed) * units / COUNTER_FREQUENCY;
  return static_cast<uint32_t>(scaled);
}

uint64_t timer_get_calibration() {
  uint64_t c = g_calibration.load();
  if (c) return c;
  uint64_t first = read_tsc();
  source_sleep(250);
  (void)read_tsc();
  source_sleep(250);
  uint64_t third = read_tsc();
  c = (third - first) / 2;
  if (c == 0) c = 1;
  g_calibration = c;
  return c;
}

// ---- Frame timer -----------------------------------------------------------

float FrameTimer = 1.0f / 30.0f;
float frametime_raw = 1.0f / 30.0f;
float frametime_fps = 30.0f;
float frametime_min = 1.0f / 120.0f;
float frametime_max = 0.25f;
int32_t frametime_count = 0;
int32_t frametime_total = 0;
int32_t timer_game_clock = 1;
int32_t timer_real_clock = 1;
int32_t timer_game_clock2 = 1;
double frame_clock = 0.0;
uint8_t time_frozen = 0;

namespace {
constexpr int RING_SIZE = 16;
float g_saved_min = 1.0f / 120.0f;
float g_saved_max = 0.25f;
bool g_frametime_started = false;
int32_t g_last_timer_value = 0;
float g_ring[RING_SIZE] = {};
int g_ring_index = -1;
float g_ring_sum = 0;
int g_total_hold = 0;
int g_game_clock_hold = 0;
int g_game_clock2_hold = 0;

void advance_clock(int32_t& clock, int32_t ms) {
  if (ms > TIMESTAMP_WRAP - clock) clock = ms - (TIMESTAMP_WRAP - clock);
  else clock += ms;
}

void frame_measure_defaults() {
  FrameTimer = 1.0f / 30.0f;
  frametime_raw = 1.0f / 30.0f;
  frametime_fps = 30.0f;
  g_ring_index = -1;
  g_ring_sum = 0;
  for (float& f : g_ring) f = 0;
}
}  // namespace

void frametime_reset() {
  frame_measure_defaults();
  g_last_timer_value = static_cast<int32_t>(timer_get(1000000));
}

void frametime_restore_limits() {
  frametime_min = g_saved_min;
  frametime_max = g_saved_max;
}

void frametime_update() {
  if (!g_frametime_started) {
    g_frametime_started = true;
    frame_measure_defaults();
    frametime_count = 0;
    frametime_total = 0;
    g_last_timer_value = 0;
  }

  int32_t now = static_cast<int32_t>(timer_get(1000000));
  int64_t delta;
  if (now >= g_last_timer_value) {
    delta = int64_t{now} - g_last_timer_value;
  } else if (now >= 0) {
    delta = now;  // the microsecond count wrapped round
  } else {
    delta = static_cast<int64_t>(FrameTimer * 1000000.0f);
  }
  g_last_timer_value = now;

  frametime_raw = static_cast<float>(delta) * 0.000001f;
  float used;
  if (frametime_raw < frametime_min) {
    // The sleep is not measured here: it falls into the next frame's delta.
    source_sleep(static_cast<int>((frametime_min - frametime_raw) * 1000.0f));
    used = frametime_min;
  } else if (frametime_raw > frametime_max) {
    used = frametime_max;
  } else {
    used = frametime_raw;
  }

  if (g_ring_index < 0) {
    for (float& f : g_ring) f = 0;
    g_ring_sum = 0;
    g_ring_index = 0;
  }
  g_ring_sum = g_ring_sum - g_ring[g_ring_index] + used;
  g_ring[g_ring_index] = used;
  g_ring_index = (g_ring_index + 1) % RING_SIZE;

  // Count this frame too: the ring already holds it, so the average over
  // the first frames is taken over the frames seen so far.
  int in_ring = frametime_count + 1 < RING_SIZE ? frametime_count + 1 : RING_SIZE;
  frametime_fps = g_ring_sum != 0 ? static_cast<float>(in_ring) / g_ring_sum : 0.0f;

  FrameTimer = used;
  ++frametime_count;
  frame_clock += used;

  int32_t ms = static_cast<int32_t>(FrameTimer * 1000.0f);
  if (g_game_clock_hold == 0) advance_clock(timer_game_clock, ms);
  if (g_game_clock2_hold == 0) advance_clock(timer_game_clock2, ms);
  advance_clock(timer_real_clock, ms);
  if (g_total_hold == 0) frametime_total += ms;
}

void frametime_hold_total() { ++g_total_hold; }
void frametime_release_total() {
  if (g_total_hold > 0) --g_total_hold;
}
void game_clock_hold() { ++g_game_clock_hold; }
void game_clock_release() {
  if (g_game_clock_hold > 0) --g_game_clock_hold;
}
void game_clock2_hold() { ++g_game_clock2_hold; }
void game_clock2_release() {
  if (g_game_clock2_hold > 0) --g_game_clock2_hold;
}

// ---- Timestamps --------------------------------------------------------------

int32_t timestamp_set(int32_t now, int32_t ms) {
  if (ms >= 0) {
    if (ms > TIMESTAMP_WRAP - now) return ms - (TIMESTAMP_WRAP - now);
    return now + ms;
  }
  int64_t v = int64_t{now} + ms;
  while (v < 0) v += TIMESTAMP_WRAP;
  return static_cast<int32_t>(v);
}

bool timestamp_elapsed(int32_t value, int32_t now) {
  if (value < 0) return false;
  if (value <= now) return now - value <= TIMESTAMP_HALF;
  return value - now > TIMESTAMP_HALF;
}

int32_t timestamp_time_left(int32_t value, int32_t now) {
  if (value < 0) return TIMESTAMP_WRAP;
  if (value <= now) {
    if (now - value > TIMESTAMP_HALF) return value - now + TIMESTAMP_WRAP;
    return value - now;
  }
  if (value - now > TIMESTAMP_HALF) return value - now - TIMESTAMP_WRAP;
  return value - now;
}

int32_t timestamp_random_ms(int32_t lo, int32_t hi) {
  int64_t span = int64_t{hi} - lo + 1;
  if (span <= 0) return lo;  // an empty range would divide by zero
  return static_cast<int32_t>(os_rand() % span + lo);
}

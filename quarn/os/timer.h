#pragma once
// Clocks: the high-resolution timer, the per-frame frame timer with the game
// and real millisecond clocks, and timestamps on those clocks.
#include <cstdint>

// ---- High-resolution timer -------------------------------------------------

void timer_init();
// Exit routine registered by timer_init.
void timer_close();
// Time since timer_init in the given units per second (1000 = ms,
// 1000000 = us), low 32 bits; 0 before timer_init.
uint32_t timer_get(uint32_t units);
// Time-stamp-counter cycles per 250 ms, measured on first request (kept for
// diagnostics only, so start-up does not wait for it).
uint64_t timer_get_calibration();

// The time source the clocks read. Tests install a fake one (counter in
// nanoseconds, sleep that advances it); nullptrs restore the real source.
using timer_counter_fn = uint64_t (*)();
using timer_sleep_fn = void (*)(int ms);
void timer_set_source(timer_counter_fn counter_ns, timer_sleep_fn sleep_ms);

// ---- Frame timer -----------------------------------------------------------

// The frame time in seconds: the limited duration of the last frame, the
// value the game steps its simulation by (1/30 before the first frame).
extern float FrameTimer;
extern float frametime_raw;        // measured duration before limiting (s)
extern float frametime_fps;        // frames per second, averaged over 16 frames
extern float frametime_min;        // shorter frames are padded by sleeping (1/120 s)
extern float frametime_max;        // longer frames count as this long (0.25 s)
extern int32_t frametime_count;    // frames timed so far
extern int32_t frametime_total;    // ms of frames while not held (bitmap animations)
extern int32_t timer_game_clock;   // ms, 1 .. 1,072,800,000, held by game_clock_hold
extern int32_t timer_real_clock;   // ms, same range, always runs
extern int32_t timer_game_clock2;  // ms, a second game clock that modal screens hold
// Seconds of frame time since the first frame: the sum of every frame time,
// so it stands still while time is frozen. Move start times and tag points
// are read against it. A double, so that hours of play keep it exact to far
// below a millisecond.
extern double frame_clock;
// While 1 the game-state driver sets the frame time to 0 instead of calling
// frametime_update.
extern uint8_t time_frozen;

constexpr int32_t TIMESTAMP_WRAP = 1072800000;
constexpr int32_t TIMESTAMP_HALF = 536400000;

// Once per frame before the frame's work: measures the last frame, sleeps up
// to the minimum frame time, clamps, averages and advances the clocks.
void frametime_update();
// Restarts frame measurement after a long pause (the frame time, rate and
// average return to their start values; the clocks keep running from where
// they are, so timestamps stay valid).
void frametime_reset();
void frametime_restore_limits();
void frametime_hold_total();
void frametime_release_total();
void game_clock_hold();
void game_clock_release();
void game_clock2_hold();
void game_clock2_release();

// ---- Timestamps --------------------------------------------------------------
// A moment on one clock; -1 means not set. Plain values, embedded in records.

// Operations on a raw timestamp value against a clock's present value.
int32_t timestamp_set(int32_t now, int32_t ms);
bool timestamp_elapsed(int32_t value, int32_t now);
int32_t timestamp_time_left(int32_t value, int32_t now);
// A random whole number of ms in [lo, hi] from the shared generator; lo when
// the range is empty.
int32_t timestamp_random_ms(int32_t lo, int32_t hi);

struct GameTimestamp {
  int32_t value = -1;

  void set(int32_t ms) { value = timestamp_set(timer_game_clock, ms); }
  void set_random(int32_t lo, int32_t hi) { set(timestamp_random_ms(lo, hi)); }
  void invalidate() { value = -1; }
  bool elapsed() const { return timestamp_elapsed(value, timer_game_clock); }
  int32_t time_left() const { return timestamp_time_left(value, timer_game_clock); }
  int32_t time_since() const { return -time_left(); }
  bool is_valid() const { return value >= 0; }
};

struct RealTimestamp {
  int32_t value = -1;

  void set(int32_t ms) { value = timestamp_set(timer_real_clock, ms); }
  void set_random(int32_t lo, int32_t hi) { set(timestamp_random_ms(lo, hi)); }
  void invalidate() { value = -1; }
  bool elapsed() const { return timestamp_elapsed(value, timer_real_clock); }
  int32_t time_left() const { return timestamp_time_left(value, timer_real_clock); }
  int32_t time_since() const { return -time_left(); }
  bool is_valid() const { return value >= 0; }
};

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {
uint64_t g_fake_ns = 0;
std::vector<int> g_sleeps;

uint64_t fake_counter() { return g_fake_ns; }
void fake_sleep(int ms) {
  g_sleeps.push_back(ms);
  g_fake_ns += static_cast<uint64_t>(ms) * 1000000ull;
}

// Every test starts with a fresh fake clock at zero, a fresh frame timer and
// both game clocks released.
struct TimerTest : ::testing::Test {
  void SetUp() override {
    g_fake_ns = 1000;
    g_sleeps.clear();
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    timer_set_source(fake_counter, fake_sleep);  // rebase an already running timer
    frametime_update();  // the first update applies the defaults
    frametime_restore_limits();
    frametime_reset();
    frametime_count = 0;
    g_sleeps.clear();
  }
  void TearDown() override { timer_set_source(nullptr, nullptr); }

  // One frame whose work took `ms` milliseconds.
  static void frame(double ms) {
    g_fake_ns += static_cast<uint64_t>(ms * 1000000.0);
    frametime_update();
  }
};
}  // namespace

TEST_F(TimerTest, TimerGetScalesUnitsWithoutOverflow) {
  timer_set_source(fake_counter, fake_sleep);  // count from here
  g_fake_ns += 1500000000ull;  // 1.5 s
  EXPECT_EQ(timer_get(1000), 1500u);
  EXPECT_EQ(timer_get(1000000), 1500000u);
  EXPECT_EQ(timer_get(1), 1u);

  // Ten hours in: a 64-bit product of nanoseconds and 10^6 would have
  // overflowed; the microsecond count is its low 32 bits.
  g_fake_ns += 36000ull * 1000000000ull - 1500000000ull;
  uint64_t us = 36000ull * 1000000ull;
  EXPECT_EQ(timer_get(1000000), static_cast<uint32_t>(us));
  EXPECT_EQ(timer_get(1000), 36000000u);
}

TEST_F(TimerTest, CounterGoingBackwardsRestartsTheBase) {
  timer_set_source(fake_counter, fake_sleep);
  g_fake_ns += 5000000000ull;
  EXPECT_EQ(timer_get(1000), 5000u);
  g_fake_ns -= 4000000000ull;
  EXPECT_EQ(timer_get(1000), 0u);
  g_fake_ns += 250000000ull;
  EXPECT_EQ(timer_get(1000), 250u);
}

TEST_F(TimerTest, ShortFrameIsPaddedByASleep) {
  frame(2.0);
  ASSERT_EQ(g_sleeps.size(), 1u);
  EXPECT_EQ(g_sleeps[0], 6);
  EXPECT_FLOAT_EQ(FrameTimer, 1.0f / 120.0f);
  EXPECT_NEAR(frametime_raw, 0.002f, 1e-6f);
}

TEST_F(TimerTest, LongFrameIsClampedAndAdvancesClocksByItsLimit) {
  int32_t game = timer_game_clock, real = timer_real_clock, total = frametime_total;
  frame(1000.0);
  EXPECT_TRUE(g_sleeps.empty());
  EXPECT_FLOAT_EQ(FrameTimer, 0.25f);
  EXPECT_NEAR(frametime_raw, 1.0f, 1e-6f);
  EXPECT_EQ(timer_game_clock - game, 250);
  EXPECT_EQ(timer_real_clock - real, 250);
  EXPECT_EQ(frametime_total - total, 250);
}

TEST_F(TimerTest, FrameRateAveragesOverTheFramesSeenThenSixteen) {
  // The very first frames already give their true rate.
  for (int i = 0; i < 15; ++i) {
    frame(20.0);
    EXPECT_NEAR(frametime_fps, 50.0f, 0.01f) << "frame " << i + 1;
  }
  frame(20.0);
  EXPECT_NEAR(frametime_fps, 50.0f, 0.01f);
  // Sixteen 10 ms frames replace the whole ring.
  for (int i = 0; i < 15; ++i) frame(10.0);
  EXPECT_NEAR(frametime_fps, 16.0f / (15 * 0.010f + 0.020f), 0.01f);
  frame(10.0);
  EXPECT_NEAR(frametime_fps, 100.0f, 0.01f);
}

TEST_F(TimerTest, HoldsStopTheirClocksOnly) {
  int32_t game = timer_game_clock, real = timer_real_clock, game2 = timer_game_clock2;
  int32_t total = frametime_total;
  game_clock_hold();
  game_clock_hold();
  frame(100.0);
  game_clock_release();
  frame(100.0);  // still held once
  EXPECT_EQ(timer_game_clock, game);
  EXPECT_EQ(timer_game_clock2 - game2, 200);
  game_clock_release();
  game_clock_release();  // an extra release does not bank a hold
  game_clock2_hold();
  frametime_hold_total();
  frame(100.0);
  frametime_release_total();
  game_clock2_release();
  EXPECT_EQ(timer_game_clock - game, 100);
  EXPECT_EQ(timer_game_clock2 - game2, 200);
  EXPECT_EQ(timer_real_clock - real, 300);
  EXPECT_EQ(frametime_total - total, 200);
}

TEST_F(TimerTest, ResetAfterAPauseDoesNotCountThePause) {
  frame(20.0);
  int32_t real = timer_real_clock;
  double seconds = frame_clock;
  g_fake_ns += 60ull * 1000000000ull;  // a minute in a cutscene
  frametime_reset();
  EXPECT_FLOAT_EQ(FrameTimer, 1.0f / 30.0f);
  EXPECT_FLOAT_EQ(frametime_fps, 30.0f);
  frame(20.0);
  EXPECT_NEAR(FrameTimer, 0.020f, 1e-5f);
  EXPECT_EQ(timer_real_clock - real, 20);
  EXPECT_NEAR(frame_clock - seconds, 0.020, 1e-6);  // the frame clock goes on, without the pause
}

TEST_F(TimerTest, FrameClockSumsTheLimitedFrameTimes) {
  double start = frame_clock;
  game_clock_hold();  // the frame clock is not the game clock
  frame(2.0);         // padded to 1/120 s by a 6 ms sleep
  frame(20.0);        // 26 ms: the sleep falls into this frame
  frame(1000.0);      // clamped to 0.25 s
  game_clock_release();
  EXPECT_NEAR(frame_clock - start, 1.0 / 120.0 + 0.026 + 0.25, 1e-6);
}

TEST_F(TimerTest, ClocksWrapRound) {
  timer_game_clock = TIMESTAMP_WRAP - 100;
  frame(250.0);
  EXPECT_EQ(timer_game_clock, 150);
}

TEST(Timestamp, OperationsAgainstAClock) {
  constexpr int32_t R = TIMESTAMP_WRAP;
  struct Case {
    int32_t value, now;
    bool elapsed;
    int32_t time_left;
  };
  const Case cases[] = {
      {-1, 1000, false, R},             // not set
      {500, 1000, true, -500},          // passed
      {1000, 1000, true, 0},            // due now
      {1500, 1000, false, 500},         // ahead
      {500, R - 500, false, 1000},      // ahead across the wrap
      {R - 500, 500, true, -1000},      // passed across the wrap
  };
  for (const Case& c : cases) {
    EXPECT_EQ(timestamp_elapsed(c.value, c.now), c.elapsed) << c.value << " at " << c.now;
    EXPECT_EQ(timestamp_time_left(c.value, c.now), c.time_left) << c.value << " at " << c.now;
  }
  EXPECT_EQ(timestamp_set(R - 500, 1000), 500);
  EXPECT_EQ(timestamp_set(1000, 1000), 2000);
  EXPECT_EQ(timestamp_set(1000, -400), 600);
  EXPECT_EQ(timestamp_set(100, -400), R - 300);
}

TEST_F(TimerTest, GameTimestampAcrossTheWrapAndWhileHeld) {
  timer_game_clock = 1072799500;
  GameTimestamp t;
  EXPECT_FALSE(t.is_valid());
  EXPECT_FALSE(t.elapsed());
  EXPECT_EQ(t.time_left(), TIMESTAMP_WRAP);
  t.set(1000);
  EXPECT_EQ(t.value, 500);
  EXPECT_EQ(t.time_left(), 1000);
  frame(250.0);
  frame(250.0);
  EXPECT_FALSE(t.elapsed());
  frame(250.0);
  frame(250.0);  // the clock reaches 500 after the wrap
  EXPECT_EQ(timer_game_clock, 500);
  EXPECT_TRUE(t.elapsed());
  EXPECT_EQ(t.time_since(), 0);

  t.set(200);
  RealTimestamp r;
  r.set(200);
  game_clock_hold();
  frame(100.0);
  game_clock_release();
  EXPECT_EQ(t.time_left(), 200);
  EXPECT_EQ(r.time_left(), 100);
  t.invalidate();
  EXPECT_FALSE(t.is_valid());
}

TEST_F(TimerTest, RandomTimestampStaysInItsRangeAndEmptyRangeIsSafe) {
  timer_game_clock = 1000;
  os_srand(7);
  GameTimestamp t;
  for (int i = 0; i < 200; ++i) {
    t.set_random(2000, 8000);
    ASSERT_GE(t.time_left(), 2000);
    ASSERT_LE(t.time_left(), 8000);
  }
  t.set_random(300, 299);  // hi = lo - 1 used to divide by zero
  EXPECT_EQ(t.time_left(), 300);
  t.set_random(5, 5);
  EXPECT_EQ(t.time_left(), 5);
}

#include <gtest/gtest.h>

#include <cstdint>

#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/messages.h"
#include "quarn/platform/window.h"

namespace {
uint64_t g_fake_ns = 0;
uint64_t fake_counter() { return g_fake_ns; }
void fake_sleep(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000ull; }

void send(uint32_t msg, uint64_t w = 0) { mouse_message_hook(msg, w, 0); }
void click_left() {
  send(OS_MSG_LBUTTONDOWN);
  send(OS_MSG_LBUTTONUP);
}

// The real clock advances by frames: `ms` of frames, 100 ms each.
void frames_of(int ms) {
  for (int t = 0; t < ms; t += 100) {
    g_fake_ns += 100000000ull;
    frametime_update();
    mouse_frame();
  }
}

struct MouseTest : ::testing::Test {
  void SetUp() override {
    window_force_null_backend(true);
    g_fake_ns = 1000000000ull;
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    frametime_update();
    frametime_reset();
    os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
    window_set_cursor_pos(320, 240);
    mouse_close();
    mouse_init(640, 480);
  }
  void TearDown() override {
    mouse_close();
    timer_set_source(nullptr, nullptr);
  }
};
}  // namespace

TEST_F(MouseTest, PressAndReleaseInOneFrame) {
  click_left();
  mouse_frame();
  EXPECT_EQ(mouse_down_count(MOUSE_LEFT_BUTTON), 1);
  EXPECT_EQ(mouse_up_count(MOUSE_LEFT_BUTTON), 1);
  EXPECT_FALSE(mouse_down(MOUSE_LEFT_BUTTON));
  EXPECT_TRUE(mouse_pressed(MOUSE_LEFT_BUTTON));
  EXPECT_TRUE(mouse_released(MOUSE_LEFT_BUTTON));
  EXPECT_FALSE(mouse_double_click(MOUSE_LEFT_BUTTON));
  mouse_frame();  // counts are per frame
  EXPECT_EQ(mouse_down_count(MOUSE_LEFT_BUTTON), 0);
  EXPECT_FALSE(mouse_pressed(MOUSE_LEFT_BUTTON));
}

TEST_F(MouseTest, ButtonsMapToTheirNumbersAndRepeatedStatesAreIgnored) {
  send(OS_MSG_RBUTTONDOWN);
  send(OS_MSG_RBUTTONDOWN);  // no change: not a second press
  send(OS_MSG_MBUTTONDOWN);
  mouse_frame();
  EXPECT_FALSE(mouse_down(MOUSE_LEFT_BUTTON));
  EXPECT_TRUE(mouse_down(MOUSE_RIGHT_BUTTON));
  EXPECT_TRUE(mouse_down(MOUSE_MIDDLE_BUTTON));
  EXPECT_EQ(mouse_down_count(MOUSE_RIGHT_BUTTON), 1);
  frames_of(300);
  EXPECT_TRUE(mouse_down(MOUSE_RIGHT_BUTTON));  // still held
  EXPECT_EQ(mouse_down_time(MOUSE_RIGHT_BUTTON), 300);
  send(OS_MSG_RBUTTONUP);
  send(OS_MSG_MBUTTONUP);
  mouse_frame();
  EXPECT_FALSE(mouse_down(MOUSE_RIGHT_BUTTON));
  EXPECT_EQ(mouse_up_count(MOUSE_MIDDLE_BUTTON), 1);
}

TEST_F(MouseTest, DoubleClickWindowRunsOnTheRealClock) {
  struct Case {
    int gap_ms;
    bool double_click;
  };
  for (const Case& c : {Case{300, true}, Case{500, false}}) {
    frames_of(1000);  // well apart from any earlier click
    click_left();
    mouse_frame();
    EXPECT_FALSE(mouse_double_click(MOUSE_LEFT_BUTTON));
    frames_of(c.gap_ms);
    click_left();
    mouse_frame();
    EXPECT_EQ(mouse_double_click(MOUSE_LEFT_BUTTON), c.double_click) << c.gap_ms << " ms";
  }
  // Wall time alone does not count: no frames, no time.
  frames_of(1000);
  click_left();
  mouse_frame();
  g_fake_ns += 2000000000ull;
  click_left();
  mouse_frame();
  EXPECT_TRUE(mouse_double_click(MOUSE_LEFT_BUTTON));
}

TEST_F(MouseTest, WheelNotchGivesDeltaForOneFrame) {
  send(OS_MSG_MOUSEWHEEL, os_wheel_wparam(120));
  mouse_frame();
  int dx, dy, dz, x, y, z;
  mouse_get_delta(&dx, &dy, &dz);
  EXPECT_EQ(dz, 120);
  EXPECT_EQ(mouse_get_pos(&x, &y, &z), 0);
  EXPECT_EQ(z, 120);
  mouse_frame();
  mouse_get_delta(&dx, &dy, &dz);
  EXPECT_EQ(dz, 0);
  send(OS_MSG_MOUSEWHEEL, os_wheel_wparam(-240));
  mouse_frame();
  mouse_get_delta(&dx, &dy, &dz);
  EXPECT_EQ(dz, -240);
}

TEST_F(MouseTest, WheelTurnedOneWayForeverKeepsItsDeltas) {
  // 32 million units a frame: the accumulated wheel passes the largest int
  // after some 66 frames and wraps round.
  for (int f = 0; f < 80; ++f) {
    for (int i = 0; i < 1000; ++i) send(OS_MSG_MOUSEWHEEL, os_wheel_wparam(32767));
    mouse_frame();
    int dx, dy, dz;
    mouse_get_delta(&dx, &dy, &dz);
    ASSERT_EQ(dz, 32767000) << "frame " << f;
  }
}

TEST_F(MouseTest, CursorIsClampedToTheScreenAndPulledBackWhileActive) {
  struct Case {
    int x, y, cx, cy;
  };
  const Case cases[] = {{100, 50, 100, 50}, {-5, 700, 0, 479}, {640, -1, 639, 0}, {9999, 240, 639, 240}};
  for (const Case& c : cases) {
    window_set_cursor_pos(c.x, c.y);
    mouse_frame();
    int x, y, z;
    mouse_get_pos(&x, &y, &z);
    EXPECT_EQ(x, c.cx);
    EXPECT_EQ(y, c.cy);
    int sx, sy;
    window_get_cursor_pos(&sx, &sy);
    EXPECT_EQ(sx, c.cx);  // the system cursor was moved back
    EXPECT_EQ(sy, c.cy);
  }
  // Inactive: reported clamped, but the cursor is left where it is.
  os_window_proc(OS_MSG_ACTIVATEAPP, 0, 0);
  window_set_cursor_pos(-20, 10);
  mouse_frame();
  int sx, sy;
  window_get_cursor_pos(&sx, &sy);
  EXPECT_EQ(sx, -20);
  mouse_set_pos(5, 5);
  window_get_cursor_pos(&sx, &sy);
  EXPECT_EQ(sx, -20);
  os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
  mouse_set_pos(5, 6);
  window_get_cursor_pos(&sx, &sy);
  EXPECT_EQ(sx, 5);
  EXPECT_EQ(sy, 6);
}

TEST_F(MouseTest, MovementDeltas) {
  window_set_cursor_pos(100, 100);
  mouse_frame();
  window_set_cursor_pos(130, 90);
  mouse_frame();
  int dx, dy, dz;
  mouse_get_delta(&dx, &dy, &dz);
  EXPECT_EQ(dx, 30);
  EXPECT_EQ(dy, -10);
  EXPECT_EQ(dz, 0);
}

TEST_F(MouseTest, FlushAndDiscardForgetPendingClicks) {
  send(OS_MSG_LBUTTONDOWN);
  mouse_flush();
  EXPECT_FALSE(mouse_pressed(MOUSE_LEFT_BUTTON));
  mouse_frame();
  EXPECT_FALSE(mouse_down(MOUSE_LEFT_BUTTON));  // the held button was forgotten
  // A press right after a flush is not a double click.
  click_left();
  mouse_frame();
  EXPECT_FALSE(mouse_double_click(MOUSE_LEFT_BUTTON));

  window_set_cursor_pos(10, 10);
  mouse_flush();
  int dx, dy, dz;
  mouse_get_delta(&dx, &dy, &dz);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);

  send(OS_MSG_RBUTTONDOWN);
  send(OS_MSG_RBUTTONUP);
  send(OS_MSG_RBUTTONDOWN);
  mouse_discard_clicks();
  mouse_frame();
  EXPECT_FALSE(mouse_down(MOUSE_RIGHT_BUTTON));
  EXPECT_EQ(mouse_down_count(MOUSE_RIGHT_BUTTON), 0);
  EXPECT_EQ(mouse_up_count(MOUSE_RIGHT_BUTTON), 0);

  click_left();
  mouse_frame();
  mouse_clear_counts();
  EXPECT_FALSE(mouse_pressed(MOUSE_LEFT_BUTTON));
  EXPECT_FALSE(mouse_released(MOUSE_LEFT_BUTTON));
}

TEST_F(MouseTest, QueriesBeforeStartAnswerNothing) {
  click_left();
  mouse_frame();
  mouse_close();
  EXPECT_FALSE(mouse_down(0));
  EXPECT_FALSE(mouse_pressed(0));
  EXPECT_EQ(mouse_down_count(0), 0);
  int x = 7, y = 7, z = 7;
  EXPECT_EQ(mouse_get_pos(&x, &y, &z), -1);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
  send(OS_MSG_LBUTTONDOWN);  // the hook ignores messages while stopped
  mouse_init(640, 480);
  mouse_frame();
  EXPECT_FALSE(mouse_down(0));
  EXPECT_EQ(mouse_get_pos(&x, &y, &z), 0);
}

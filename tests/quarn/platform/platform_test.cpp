#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "quarn/platform/dir_watch.h"
#include "quarn/platform/instance_lock.h"
#include "quarn/platform/messages.h"
#include "quarn/platform/scancodes.h"
#include "quarn/platform/thread.h"
#include "quarn/platform/window.h"
#include "tests/support/test_files.h"

TEST(ScanCodes, EvdevKeysMapToTheKeyboardNumbering) {
  struct Case {
    unsigned int x_keycode;
    int scan;
  };
  const Case cases[] = {
      {9, 1},      // Escape
      {38, 30},    // A
      {50, 42},    // left Shift
      {62, 54},    // right Shift
      {37, 29},    // left Ctrl
      {105, 157},  // right Ctrl
      {64, 56},    // left Alt
      {108, 184},  // right Alt
      {107, 183},  // Print Screen
      {127, 197},  // Pause
      {111, 200},  // Up
      {113, 203},  // Left
      {114, 205},  // Right
      {116, 208},  // Down
      {110, 199},  // Home
      {119, 211},  // Delete
      {79, 71},    // keypad 7: the same code whatever NumLock says
      {90, 82},    // keypad 0
      {91, 83},    // keypad .
      {104, 156},  // keypad Enter
      {106, 181},  // keypad /
      {63, 55},    // keypad *
      {77, 69},    // NumLock
      {95, 87},    // F11
      {96, 88},    // F12
      {0, 0},      // below the key map
      {7, 0},
      {255, 0},    // no such key on a PC keyboard
  };
  for (const Case& c : cases) EXPECT_EQ(platform_scan_code_from_x_keycode(c.x_keycode), c.scan) << c.x_keycode;
}

TEST(Messages, KeyAndWheelParametersRoundTrip) {
  for (int scan : {1, 30, 127, 156, 183, 197, 211, 255}) EXPECT_EQ(os_key_scan_code(os_key_lparam(scan)), scan);
  EXPECT_EQ((os_key_lparam(157) >> 24) & 1, 1);
  EXPECT_EQ((os_key_lparam(29) >> 24) & 1, 0);
  for (int d : {120, -120, 240, -32768, 0}) EXPECT_EQ(os_wheel_delta(os_wheel_wparam(d)), d);
}

TEST(PlatformEvent, AutoResetAndTimeOut) {
  PlatformEvent e;
  EXPECT_FALSE(e.wait(10));
  e.set();
  EXPECT_TRUE(e.wait(10));
  EXPECT_FALSE(e.wait(10));  // one signal, one wait
  std::thread t([&] { e.set(); });
  EXPECT_TRUE(e.wait(5000));
  t.join();
}

TEST(PlatformCriticalSection, ReentersOnTheSameThread) {
  PlatformCriticalSection cs;
  cs.enter();
  EXPECT_TRUE(cs.try_enter());
  cs.leave();
  bool other = true;
  std::thread([&] { other = cs.try_enter(); }).join();
  EXPECT_FALSE(other);
  cs.leave();
}

TEST(PlatformPaths, ModulePathIsThisProgram) {
  std::string path = platform_module_path();
  EXPECT_NE(path.find("test_quarn_platform"), std::string::npos) << path;
  EXPECT_EQ(platform_module_dir() + "/test_quarn_platform", path);
}

TEST(InstanceLock, SecondHolderIsRefusedUntilReleased) {
  std::string home = fresh_temp_dir("lock_test");
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  std::string dir = platform_config_dir("Quorvane", "Orrimund Demo");
  EXPECT_EQ(dir, home + "/Quorvane/Orrimund Demo");
  ASSERT_TRUE(platform_instance_lock_acquire(dir));
  EXPECT_EQ(platform_instance_lock_path(), dir + "/instance.lock");

  auto child_acquires = [&] {
    pid_t pid = fork();
    if (pid == 0) {
      // A child shares the parent's open lock, so it opens its own.
      _exit(platform_instance_lock_acquire(dir + "/") ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  EXPECT_FALSE(child_acquires());
  platform_instance_lock_release();
  EXPECT_TRUE(child_acquires());
  unsetenv("XDG_CONFIG_HOME");
}

namespace {
std::vector<uint32_t> g_pumped;
int g_batches = 0;
}  // namespace

TEST(NullWindow, PumpDeliversPostedMessagesInOrderUntilDestroy) {
  window_force_null_backend(true);
  ASSERT_TRUE(window_create("Quorvane", "Orrimund Demo", "tag"));
  EXPECT_TRUE(window_exists());
  EXPECT_EQ(window_get_xid(), 0u);
  std::thread poster([] {
    for (uint32_t m : {OS_MSG_KEYDOWN, OS_MSG_KEYUP, OS_MSG_LBUTTONDOWN}) window_post_message(m, 0, 0);
    window_post_message(OS_MSG_DESTROY, 0, 0);
    window_post_message(OS_MSG_KEYDOWN, 0, 0);  // after the end: never dispatched
  });
  window_pump([](uint32_t m, uint64_t, int64_t) { g_pumped.push_back(m); }, [] { ++g_batches; }, nullptr);
  poster.join();
  window_destroy();
  // The null backend starts active: the activation messages come first.
  std::vector<uint32_t> expected = {OS_MSG_ACTIVATEAPP, OS_MSG_ACTIVATE, OS_MSG_KEYDOWN, OS_MSG_KEYUP,
                                    OS_MSG_LBUTTONDOWN};
  EXPECT_EQ(g_pumped, expected);
  EXPECT_GE(g_batches, 1);
  EXPECT_FALSE(window_exists());

  int x, y;
  window_set_cursor_pos(12, 34);
  ASSERT_TRUE(window_get_cursor_pos(&x, &y));
  EXPECT_EQ(x, 12);
  EXPECT_EQ(y, 34);
  EXPECT_EQ(window_main_display(), nullptr);
}

namespace {
struct SeenEvents {
  std::vector<std::pair<int, int>> list;
};
void record_event(void* ctx, int id, int event) { static_cast<SeenEvents*>(ctx)->list.emplace_back(id, event); }
}  // namespace

// A change made by the main thread is known the moment the call that made it
// returns, without asking the kernel; the events then say which directory
// changed and when it went away.
TEST(DirWatch, ChangesAreKnownWhenTheCallReturns) {
  dir_watch_stop();
  ASSERT_TRUE(dir_watch_start());
  const std::string dir = fresh_temp_dir("dir_watch");
  const std::string sub = dir + "/sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  const int id = dir_watch_add(dir.c_str());
  const int sub_id = dir_watch_add(sub.c_str());
  ASSERT_GE(id, 0);
  ASSERT_GE(sub_id, 0);
  SeenEvents seen;
  EXPECT_TRUE(dir_watch_drain(record_event, &seen));
  EXPECT_FALSE(dir_watch_pending());

  FILE* f = std::fopen((dir + "/new.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(dir_watch_pending());
  std::fclose(f);
  seen.list.clear();
  EXPECT_TRUE(dir_watch_drain(record_event, &seen));
  EXPECT_EQ(seen.list, (std::vector<std::pair<int, int>>{{id, DIR_WATCH_ENTRIES}}));
  EXPECT_FALSE(dir_watch_pending());

  // Writing into a file already there changes no entry.
  f = std::fopen((dir + "/new.txt").c_str(), "a");
  ASSERT_NE(f, nullptr);
  std::fputs("more", f);
  std::fclose(f);
  EXPECT_FALSE(dir_watch_pending());

  ASSERT_EQ(rmdir(sub.c_str()), 0);
  EXPECT_TRUE(dir_watch_pending());
  seen.list.clear();
  EXPECT_TRUE(dir_watch_drain(record_event, &seen));
  bool entries = false, gone = false;
  for (auto [which, event] : seen.list) {
    entries |= which == id && (event & DIR_WATCH_ENTRIES);
    gone |= which == sub_id && (event & DIR_WATCH_GONE);
  }
  EXPECT_TRUE(entries);
  EXPECT_TRUE(gone);
  dir_watch_remove(id);
  dir_watch_stop();
  std::filesystem::remove_all(dir);
}

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "quarn/math/floatops.h"
#include "quarn/os/os.h"
#include "quarn/platform/instance_lock.h"
#include "quarn/platform/window.h"
#include "tests/support/test_files.h"

namespace {
std::vector<uint32_t> g_seen;
void recording_hook(uint32_t message, uint64_t, int64_t) { g_seen.push_back(message); }

std::string fresh_config_home(const char* name) { return fresh_temp_dir(std::string("os_test_") + name); }
}  // namespace

TEST(OsWindowProc, HooksSeeEveryMessageAndActivationFollowsThem) {
  static bool added = false;
  if (!added) {
    os_add_message_hook(recording_hook);
    added = true;
  }
  g_seen.clear();
  struct Case {
    uint32_t message;
    uint64_t wparam;
    bool active_after;
  };
  const Case cases[] = {
      {OS_MSG_ACTIVATEAPP, 1, true},
      {OS_MSG_ACTIVATE, OS_WA_INACTIVE, false},
      {OS_MSG_ACTIVATE, OS_WA_CLICKACTIVE, true},
      {OS_MSG_ACTIVATE, OS_WA_INACTIVE | 0x10000, false},  // minimised flag in the high word
      {OS_MSG_ACTIVATE, OS_WA_ACTIVE | 0x10000, true},
      {OS_MSG_SYSCOMMAND, OS_SC_SCREENSAVE, true},         // swallowed, but hooks see it
      {OS_MSG_PALETTECHANGED, 0, true},
      {OS_MSG_ACTIVATEAPP, 0, false},
  };
  for (const Case& c : cases) {
    os_window_proc(c.message, c.wparam, 0);
    EXPECT_EQ(os_is_active(), c.active_after) << std::hex << c.message << " " << c.wparam;
  }
  ASSERT_EQ(g_seen.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(g_seen[i], cases[i].message);

  EXPECT_FALSE(os_syscommand_passes_on(OS_SC_SCREENSAVE));
  EXPECT_TRUE(os_syscommand_passes_on(0xF020));  // minimise
}

TEST(OsServices, RandomSeedDrawsThreeNumbers) {
  os_random_seed(1234);
  int after_seed[2] = {os_rand(), os_rand()};
  os_srand(1234);
  for (int i = 0; i < 3; ++i) os_rand();
  EXPECT_EQ(os_rand(), after_seed[0]);
  EXPECT_EQ(os_rand(), after_seed[1]);
}

// Start-up and shutdown run in a child process each: os_init may exit, and
// the window thread is process-wide state.
TEST(OsInitDeathTest, StartsTheWindowThreadAndStopsOnShutdown) {
  std::string home = fresh_config_home("start");
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        window_force_null_backend(true);
        os_init("Quorvane", "Orrimund Demo");
        if (!os_window_thread_running()) _exit(2);
        // No window manager decides: the application is active at once.
        for (int i = 0; i < 200 && !os_is_active(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!os_is_active()) _exit(3);
        os_shutdown();
        if (os_window_thread_running()) _exit(4);
        std::fprintf(stderr, "clean\n");
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "clean");
  EXPECT_EQ(access((home + "/Quorvane/Orrimund Demo/instance.lock").c_str(), F_OK), 0);
}

TEST(OsInitDeathTest, SecondCopyExitsWithOne) {
  std::string home = fresh_config_home("second");
  std::string dir = home + "/Quorvane/Orrimund Demo";
  std::string cmd = "mkdir -p '" + dir + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(platform_instance_lock_acquire(dir));  // this process is "the first copy"
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        window_force_null_backend(true);
        os_init("Quorvane", "Orrimund Demo");
        std::fprintf(stderr, "started anyway\n");
        _exit(0);
      },
      ::testing::ExitedWithCode(1), "");
  // Another configuration directory is another copy: it starts.
  std::string other = fresh_config_home("other");
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", other.c_str(), 1);
        window_force_null_backend(true);
        os_init("Quorvane", "Orrimund Demo");
        os_shutdown();
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  platform_instance_lock_release();
}

TEST(OsInitDeathTest, PostedDestroyEndsTheWindowThreadAndMessagesArriveInOrder) {
  std::string home = fresh_config_home("post");
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        window_force_null_backend(true);
        static std::atomic<int> keys{0};
        os_add_message_hook([](uint32_t m, uint64_t, int64_t l) {
          if (m == OS_MSG_KEYDOWN && l == keys.load() + 1) keys.fetch_add(1);
        });
        os_init("Quorvane", "Orrimund Demo");
        for (int i = 1; i <= 100; ++i) os_post_message(OS_MSG_KEYDOWN, 0, i);
        os_post_message(OS_MSG_DESTROY, 0, 0);
        for (int i = 0; i < 400 && os_window_thread_running(); ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (os_window_thread_running()) _exit(2);
        std::fprintf(stderr, "keys %d\n", keys.load());
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "keys 100");
}

TEST(OsInitDeathTest, AWindowThatCannotBeMadeIsFatal) {
  std::string home = fresh_config_home("fail");
  EXPECT_EXIT(
      {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        window_force_null_backend(true);
        window_fail_next_create(true);
        os_init("Quorvane", "Orrimund Demo");
        std::fprintf(stderr, "returned without a window\n");
        _exit(0);
      },
      ::testing::ExitedWithCode(1), "Error: Unable to create the application window.\nFile: .*os.cpp - Line: ");
}

// The process core as a user sees it: a crash leaves errorlog.txt, a fatal
// error prints its message and exits with code 1, and real X input reaches
// the keyboard queue and the mouse counters.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quarn/os/crash_report.h"
#include "quarn/os/error.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/thread.h"
#include "quarn/platform/window.h"
#include "tests/support/test_files.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {
std::string scratch(const char* name) {
  const char* tmp = std::getenv("ORRIMUND_TEST_TMP");
  fs::path dir = fs::path(tmp ? tmp : "/tmp") / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

struct ChildResult {
  int status = 0;
  std::string err;
};

// Runs `program` as the child role `role` with stderr captured.
ChildResult run_child(const std::string& program, const char* role) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 2);
    close(fds[0]);
    setenv("ORRIMUND_E2E_CHILD", role, 1);
    execl(program.c_str(), program.c_str(), "--gtest_filter=FoundationChild.Role", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  ChildResult r;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  waitpid(pid, &r.status, 0);
  return r;
}

// A copy of this program in a scratch folder, so that its errorlog.txt lands
// there.
std::string copy_of_self(const std::string& dir) {
  fs::path target = fs::path(dir) / "e2e_foundation_process";
  fs::copy_file("/proc/self/exe", target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_all);
  return target.string();
}
}  // namespace

// The child roles: only active when this program is started as a child.
TEST(FoundationChild, Role) {
  const char* role = std::getenv("ORRIMUND_E2E_CHILD");
  if (!role) GTEST_SKIP() << "started by the other tests only";
  std::string r = role;
  if (r == "crash") {
    crash_report_install("Orrimund Main Thread");
    volatile int* volatile null_pointer = nullptr;  // neither may be optimised away
    *null_pointer = 1;
  } else if (r == "fatal") {
    critical_error("demo_module.cpp", 77, "The demo table is missing");
  }
  _exit(99);
}

TEST(Foundation, CrashLeavesErrorLogBesideTheProgram) {
  std::string dir = scratch("crash");
  std::string program = copy_of_self(dir);
  ChildResult r = run_child(program, "crash");
  ASSERT_TRUE(WIFSIGNALED(r.status)) << "status " << r.status << "\n" << r.err;
  EXPECT_EQ(WTERMSIG(r.status), SIGSEGV);
  std::string log = read_file(dir + "/errorlog.txt");
  ASSERT_FALSE(log.empty()) << "no errorlog.txt";
  for (const char* piece : {"\r\n\r\n\r\n\r\ne2e_foundation_process caused an Access Violation in module "
                            "e2e_foundation_process at 0033:",
                            "Exception handler called in Orrimund Main Thread.\r\n",
                            "Read from location 0000000000000000 caused an access violation.\r\n",
                            "Write to location 0000000000000000 caused an access violation.\r\n",
                            "\r\nRegisters:\r\nRAX=", " RIP=", " RSP=", "R15=", "Bytes at CS:RIP:\r\n",
                            "\r\nStack dump:\r\n",
                            "\tModule list: names, addresses, sizes, time stamps and file times:\r\n",
                            "/e2e_foundation_process, loaded at 0x", "libc.so.6, loaded at 0x"}) {
    // Either a read or a write is reported, depending on the code the
    // compiler made; the rest must all be there.
    if (std::string(piece).find("location 0000") != std::string::npos) continue;
    EXPECT_NE(log.find(piece), std::string::npos) << "missing: " << piece << "\n" << log;
  }
  EXPECT_TRUE(log.find("Write to location 0000000000000000") != std::string::npos ||
              log.find("Read from location 0000000000000000") != std::string::npos)
      << log;

  // A second crash appends a second report.
  run_child(program, "crash");
  std::string twice = read_file(dir + "/errorlog.txt");
  EXPECT_EQ(twice.substr(0, log.size()), log);
  EXPECT_GT(twice.size(), log.size() + 100);
}

TEST(Foundation, FatalErrorPrintsTheMessageAndExitsWithOne) {
  ChildResult r = run_child("/proc/self/exe", "fatal");
  ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 1) << r.err;
  EXPECT_NE(r.err.find("Error: The demo table is missing\nFile: demo_module.cpp - Line: 77\n\n"), std::string::npos)
      << r.err;
}

namespace {
struct InputSeen {
  std::vector<int> keys;
  int left_down = 0, left_up = 0, double_clicks = 0;
  std::vector<int> wheel_steps;
  int x = -1, y = -1;
};

void read_frame(InputSeen& seen) {
  frametime_update();
  mouse_frame();
  while (int k = key_inkey()) seen.keys.push_back(k);
  seen.left_down += mouse_down_count(MOUSE_LEFT_BUTTON);
  seen.left_up += mouse_up_count(MOUSE_LEFT_BUTTON);
  if (mouse_double_click(MOUSE_LEFT_BUTTON)) ++seen.double_clicks;
  int dx, dy, dz;
  mouse_get_delta(&dx, &dy, &dz);
  if (dz) seen.wheel_steps.push_back(dz);
  int z;
  mouse_get_pos(&seen.x, &seen.y, &z);
}
// Frames (a millisecond apart, at most three seconds) until the snapshot
// shows the pointer at x, y.
bool frames_until(InputSeen& seen, int x, int y) {
  for (int i = 0; i < 3000; ++i) {
    read_frame(seen);
    if (seen.x == x && seen.y == y) return true;
    platform_sleep_ms(1);
  }
  return false;
}

// Where the X server has the pointer, as "x:.. y:.. ...".
std::string pointer_on_screen() {
  FILE* p = popen("xdotool getmouselocation", "r");
  if (!p) return "";
  char line[256] = {};
  if (!fgets(line, sizeof line, p)) line[0] = 0;
  pclose(p);
  return line;
}
}  // namespace

TEST(Foundation, XInputReachesTheKeyboardQueueAndMouseCounters) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs under xvfb-run";
  os_init("Quorvane", "Orrimund Demo");
  timer_init();
  key_init(true);
  mouse_init(640, 480);
  ASSERT_NE(os_get_window(), 0u);
  window_set_position(0, 0);
  window_set_size(640, 480);
  window_show(true);
  window_sync();

  std::string wid = std::to_string(os_get_window());
  std::string script =
      "xdotool mousemove --window " + wid + " 100 100 && sleep 0.3 && "
      "xdotool keydown shift key a keyup shift && sleep 0.3 && "
      "xdotool click 1 && sleep 0.8 && "
      "xdotool click --repeat 2 --delay 150 1 && sleep 0.3 && "
      "xdotool click 4 && sleep 0.3 && "
      "xdotool key Print Pause KP_Home Right && sleep 0.3";
  pid_t pid;
  const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
  ASSERT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);

  InputSeen seen;
  int status = 0;
  for (int turns = 0; turns < 120 * 30; ++turns) {  // at most 30 s of frames
    read_frame(seen);
    if (waitpid(pid, &status, WNOHANG) == pid) break;
  }
  for (int i = 0; i < 30; ++i) read_frame(seen);  // let the last events arrive
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xdotool failed";

  bool shift_a = false;
  for (int k : seen.keys) shift_a |= k == 0x101E;
  EXPECT_TRUE(shift_a) << "Shift+A did not arrive as 0x101E";
  EXPECT_EQ(key_to_ascii(0x101E), 'A');
  // Print Screen comes once (X sends a press and a release), Pause and the
  // extended keys carry their codes, the keypad keeps its own.
  std::vector<int> tail(seen.keys.end() - std::min<size_t>(4, seen.keys.size()), seen.keys.end());
  EXPECT_EQ(tail, (std::vector<int>{183, 197, 71, 205}));
  EXPECT_EQ(seen.left_down, 3);
  EXPECT_EQ(seen.left_up, 3);
  EXPECT_EQ(seen.double_clicks, 1);
  EXPECT_EQ(seen.wheel_steps, std::vector<int>{120});
  EXPECT_EQ(seen.x, 100);
  EXPECT_EQ(seen.y, 100);
  EXPECT_TRUE(os_is_active());

  // Moved off the window, the cursor is pulled back to the nearest edge
  // pixel (the window covers 0,0 to 639,479 of the screen).
  ASSERT_EQ(std::system("xdotool mousemove 900 700"), 0);
  EXPECT_TRUE(frames_until(seen, 639, 479)) << seen.x << "," << seen.y;
  EXPECT_EQ(pointer_on_screen().rfind("x:639 y:479 ", 0), 0u) << pointer_on_screen();

  // Inactive, the game lets the pointer go: it reads the edge where the
  // pointer left, the pointer stays where it was moved, and coming back in
  // is read where it enters.
  window_post_message(OS_MSG_ACTIVATEAPP, 0, 0);
  for (int i = 0; i < 300 && os_is_active(); ++i) platform_sleep_ms(10);
  ASSERT_FALSE(os_is_active());
  ASSERT_EQ(std::system("xdotool mousemove 1000 300"), 0);
  EXPECT_TRUE(frames_until(seen, 639, 300)) << seen.x << "," << seen.y;
  for (int i = 0; i < 10; ++i) read_frame(seen);
  EXPECT_EQ(pointer_on_screen().rfind("x:1000 y:300 ", 0), 0u) << pointer_on_screen();
  ASSERT_EQ(std::system("xdotool mousemove 200 150"), 0);
  EXPECT_TRUE(frames_until(seen, 200, 150)) << seen.x << "," << seen.y;
  ASSERT_EQ(std::system("xdotool mousemove 300 200"), 0);
  EXPECT_TRUE(frames_until(seen, 300, 200)) << seen.x << "," << seen.y;
  window_post_message(OS_MSG_ACTIVATEAPP, 1, 0);

  os_shutdown();
  EXPECT_FALSE(os_window_thread_running());
}

TEST(Foundation, ActiveWindowHoldsOffTheScreenSaver) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs under xvfb-run";
  static std::atomic<int> requests{0};
  os_add_message_hook([](uint32_t message, uint64_t wparam, int64_t) {
    if (message == OS_MSG_SYSCOMMAND && wparam == OS_SC_SCREENSAVE) ++requests;
  });
  os_init("Quorvane", "Orrimund Demo");
  ASSERT_TRUE(os_window_thread_running());

  // A server whose screen saver starts after two idle seconds.
  Display* dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  XSetScreenSaver(dpy, 2, 0, DefaultBlanking, DefaultExposures);
  XSync(dpy, False);

  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(4500);
  while (std::chrono::steady_clock::now() < until) os_sleep(50);
  // The window procedure was asked (and swallowed it) before every start.
  EXPECT_GE(requests.load(), 2);
  EXPECT_TRUE(os_is_active());

  XSetScreenSaver(dpy, 0, 0, DefaultBlanking, DefaultExposures);
  XCloseDisplay(dpy);
  os_shutdown();
}

// The loading box as the player sees it: clicking Start on the title's main
// menu shows the loading box over the menu, and its green bar grows in the
// steps of the level load (a quarter of its width for each of four steps)
// until the HUD takes over, at 640x480 and at 800x600. The window is read
// straight from the X server as often as it will give it, so the steps are
// seen even on a loaded machine; ORRIMUND_LOAD_PACE_MS holds each step on
// the screen for a moment.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {
Window find_window(Display* d, Window w, const char* name) {
  char* title = nullptr;
  if (XFetchName(d, w, &title) && title) {
    const bool match = std::strcmp(title, name) == 0;
    XFree(title);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; i++) found = find_window(d, children[i], name);
  if (children) XFree(children);
  return found;
}

// Pixels of a row that show the loading bar's green (36, 121, 28).
int green_run(XImage* img, int width) {
  int n = 0;
  for (int x = 0; x < width; x++) {
    const unsigned long p = XGetPixel(img, x, 0);
    const int r = static_cast<int>((p & img->red_mask) >> 16), g = static_cast<int>((p & img->green_mask) >> 8),
              b = static_cast<int>(p & img->blue_mask);
    n += std::abs(r - 36) < 20 && std::abs(g - 121) < 20 && std::abs(b - 28) < 20;
  }
  return n;
}

struct Layout {
  int width, height;
  const char* switch_;
  int bar_x, bar_y, bar_w, start_x, start_y;
};

class FrontLoading : public ::testing::TestWithParam<Layout> {};

TEST_P(FrontLoading, StartShowsTheLoadingBarGrowingInItsSteps) {
  const Layout l = GetParam();
  const fs::path dir = test_scratch_root("front_loading") / std::to_string(l.width);
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = std::getenv("ORRIMUND_BIN_DIR");
  const fs::path root = dir / "demo";
  ASSERT_EQ(std::system((bin + "/make_demo " + root.string() + " >" + (dir / "make_demo.out").string()).c_str()), 0);

  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "no X display";
  setenv("ORRIMUND_ROOT", root.c_str(), 1);
  setenv("ORRIMUND_LOAD_PACE_MS", "400", 1);
  const fs::path out = dir / "orrimund.out";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = bin + "/orrimund";
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("-opengl")};
  if (l.switch_) argv.push_back(const_cast<char*>(l.switch_));
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);

  // The title: the window at its size and start-up finished.
  Window w = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < give_up) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) FAIL() << "the program ended early: " << read_file(out.string());
    if (!w) w = find_window(d, DefaultRootWindow(d), "Orrimund Demo");
    XWindowAttributes a;
    if (w && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && a.width == l.width &&
        read_file(out.string()).find("SYSTEM INIT TIME : ") != std::string::npos)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(w, 0u) << "no window";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // A player's click on Start.
  const std::string click = "xdotool mousemove --window " + std::to_string(w) + " " + std::to_string(l.start_x) +
                            " " + std::to_string(l.start_y) + " sleep 0.3 click 1";
  ASSERT_EQ(std::system(click.c_str()), 0);

  // Watch the bar's middle row until the bar is full.
  std::vector<int> widths;
  bool loaded = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < until) {
    XImage* img = XGetImage(d, w, l.bar_x, l.bar_y, l.bar_w, 1, AllPlanes, ZPixmap);
    if (!img) continue;
    const int run = green_run(img, l.bar_w);
    XDestroyImage(img);
    if (run > 0 && (widths.empty() || widths.back() != run)) widths.push_back(run);
    if (!loaded) loaded = read_file(out.string()).find("Level loaded: rand-forest01.s3d") != std::string::npos;
    // The full bar ends the watch: the level drawn after it is green too.
    if (!widths.empty() && std::abs(widths.back() - l.bar_w) <= 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  XCloseDisplay(d);
  EXPECT_TRUE(loaded) << read_file(out.string());
  // The loading steps (the level's, then each screen's set-up), as the
  // game reports them: the bar is round(width x done / steps) wide, and it
  // only grows.
  const std::string log = read_file(out.string());
  const size_t at = log.find("Loading steps: ");
  ASSERT_NE(at, std::string::npos) << log;
  const int steps = std::atoi(log.c_str() + at + 15);
  ASSERT_GT(steps, 1);
  ASSERT_GE(widths.size(), 2u) << "the bar never grew";
  for (size_t i = 0; i < widths.size(); i++) {
    bool a_step = false;
    for (int s = 1; s <= steps; s++)
      a_step |= std::abs(widths[i] - static_cast<int>(std::lround(l.bar_w * s / static_cast<double>(steps)))) <= 1;
    EXPECT_TRUE(a_step) << "width " << widths[i] << " is no step of " << l.bar_w;
    if (i) {
      EXPECT_GT(widths[i], widths[i - 1]);
    }
  }
  EXPECT_NEAR(widths.back(), l.bar_w, 1);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FrontLoading,
                         ::testing::Values(Layout{640, 480, nullptr, 160, 262, 320, 450, 225},
                                           Layout{800, 600, "-800", 200, 327, 400, 560, 280}),
                         [](const auto& info) { return std::to_string(info.param.width); });
}  // namespace

// The splash as the player sees it: right after the window opens, the picture
// "combined.tga" of the demo world (four coloured quarters) fills the screen
// for about half a second, fading in from black, and then the title state
// takes over. The window is read straight from the X server as often as it
// will give it, so the short splash is seen even on a loaded machine. The
// window covers the desktop; the game's 640 by 480 is stretched over it with
// its shape kept, centred.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/test_files.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {
struct Rgb {
  int r, g, b;
};

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

Rgb pixel(XImage* img, int x, int y) {
  const unsigned long p = XGetPixel(img, x, y);
  return {static_cast<int>((p & img->red_mask) >> 16), static_cast<int>((p & img->green_mask) >> 8),
          static_cast<int>(p & img->blue_mask)};
}

// Where the 640 by 480 picture is shown on a window of w x h: the largest
// 4:3 rectangle that fits, centred.
struct Place {
  int x = 0, y = 0, w = 640, h = 480;
};
Place Pic;
void place_on(int w, int h) {
  if (w * 3 <= h * 4) Pic = {0, (h - w * 3 / 4) / 2, w, w * 3 / 4};
  else Pic = {(w - h * 4 / 3) / 2, 0, h * 4 / 3, h};
}
// The window pixel showing the picture's pixel (x, y).
Rgb at(XImage* img, int x, int y) {
  return pixel(img, Pic.x + static_cast<int>((x + 0.5) * Pic.w / 640), Pic.y + static_cast<int>((y + 0.5) * Pic.h / 480));
}

// One picture pixel read on its own: four of these cost far less than the
// whole window, so a loaded machine still samples the short splash often.
Rgb read_at(Display* d, Window w, int x, int y) {
  const int wx = Pic.x + static_cast<int>((x + 0.5) * Pic.w / 640), wy = Pic.y + static_cast<int>((y + 0.5) * Pic.h / 480);
  XImage* img = XGetImage(d, w, wx, wy, 1, 1, AllPlanes, ZPixmap);
  if (!img) return {0, 0, 0};
  const Rgb p = pixel(img, 0, 0);
  XDestroyImage(img);
  return p;
}

// Red, green, blue and yellow quarters, possibly dimmed by the fade-in.
bool shows_splash(Display* d, Window w) {
  const Rgb tl = read_at(d, w, 160, 120), tr = read_at(d, w, 480, 120), bl = read_at(d, w, 160, 360),
            br = read_at(d, w, 480, 360);
  return tl.r > 20 && tl.r > 2 * tl.g && tr.g > 2 * tr.r && bl.b > 2 * bl.r && br.r > 2 * br.b && br.g > 2 * br.b;
}
}  // namespace

TEST(ShellSplash, TheSplashShowsThenTheTitleState) {
  const fs::path dir = test_scratch_root("shell_splash") / "splash";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = std::getenv("ORRIMUND_BIN_DIR");
  const fs::path root = dir / "demo";
  ASSERT_EQ(std::system((bin + "/make_demo " + root.string() + " >" + (dir / "make_demo.out").string()).c_str()), 0);

  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "no X display";
  setenv("ORRIMUND_ROOT", root.c_str(), 1);
  const fs::path out = dir / "orrimund.out";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = bin + "/orrimund";
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &fa, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&fa);

  // Look at the window until the title state has had a second on screen.
  bool splash_seen = false, title_seen = false;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  std::chrono::steady_clock::time_point started_at{};
  Window w = 0;
  while (std::chrono::steady_clock::now() < give_up && !title_seen) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) FAIL() << "the program ended early";
    if (!w) w = find_window(d, DefaultRootWindow(d), "Orrimund Demo");
    XWindowAttributes a;
    if (!w || !XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable || a.width < 640 || a.height < 480) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    place_on(a.width, a.height);
    if (!splash_seen && shows_splash(d, w)) splash_seen = true;
    if (started_at == std::chrono::steady_clock::time_point{}) {
      if (read_file(out.string()).find("SYSTEM INIT TIME : ") != std::string::npos)
        started_at = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - started_at > std::chrono::seconds(1)) {
      XImage* img = XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
      if (!img) continue;
      // The title state: the main menu's night-blue backdrop (its left edge,
      // clear of the title and the items), with the walk cursor (a yellow
      // ring) at the centre of the screen, where start-up put the mouse.
      bool top_blue = true, ring = false;
      for (int y = 0; y < 160 && top_blue; y += 4)
        for (int x = 0; x < 40 && top_blue; x += 4) {
          const Rgb p = at(img, x, y);
          top_blue = p.b >= 40 && p.b > p.r;
        }
      for (int y = 240; y < 272; y++)
        for (int x = 320; x < 352; x++) {
          const Rgb p = at(img, x, y);
          if (p.r > 150 && p.g > 150 && p.b < 120) ring = true;
        }
      title_seen = top_blue && ring;
      XDestroyImage(img);
    }
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  XCloseDisplay(d);
  EXPECT_TRUE(splash_seen) << "the splash picture was never on the screen";
  EXPECT_TRUE(title_seen) << "the title state does not show the main menu with the cursor";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

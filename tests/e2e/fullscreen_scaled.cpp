// Full screen on a display larger than the game's picture (a 1920 by 1080
// X screen): Glide (the default) and Direct3D stretch the picture over the
// whole height of the screen with its shape kept, centred between black bars
// (640 by 480 and 800 by 600 both become 1440 by 1080 at x 240), and the
// mouse is read in the picture's pixels, so a click at the display's centre
// lands at the picture's centre. Print Screen still writes the picture at the
// game's own size. The whole X screen is read as the player sees it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/platform/window.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr int SCREEN_W = 1920, SCREEN_H = 1080;

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool black() const { return r == 0 && g == 0 && b == 0; }
};

// The whole X screen, top row first.
struct Capture {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  const Rgb& at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Capture capture_screen(Display* d) {
  Capture c;
  XImage* img = XGetImage(d, DefaultRootWindow(d), 0, 0, SCREEN_W, SCREEN_H, AllPlanes, ZPixmap);
  if (!img) return c;
  c.w = SCREEN_W;
  c.h = SCREEN_H;
  c.px.resize(static_cast<size_t>(c.w) * c.h);
  for (int y = 0; y < c.h; y++)
    for (int x = 0; x < c.w; x++) {
      const unsigned long p = XGetPixel(img, x, y);
      c.px[static_cast<size_t>(y) * c.w + x] = {static_cast<int>((p & img->red_mask) >> 16),
                                                static_cast<int>((p & img->green_mask) >> 8),
                                                static_cast<int>(p & img->blue_mask)};
    }
  XDestroyImage(img);
  return c;
}

// Kept beside the test's output so that a person can look at what was seen.
void save_png(const Capture& c, const fs::path& png) {
  const fs::path ppm = fs::path(png).replace_extension(".ppm");
  {
    std::ofstream f(ppm, std::ios::binary);
    f << "P6\n" << c.w << " " << c.h << "\n255\n";
    for (const Rgb& p : c.px) f.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
  }
  std::system(("convert " + ppm.string() + " " + png.string() + " && rm -f " + ppm.string()).c_str());
}

// A picture file read through ImageMagick as 8-bit RGB.
Capture read_picture(const fs::path& file) {
  Capture c;
  const fs::path ppm = fs::path(file).replace_extension(".read.ppm");
  if (std::system(("convert " + file.string() + " -depth 8 ppm:" + ppm.string()).c_str()) != 0) return c;
  std::ifstream f(ppm, std::ios::binary);
  std::string magic;
  int max = 0;
  f >> magic >> c.w >> c.h >> max;
  f.get();
  if (magic != "P6" || c.w <= 0 || c.h <= 0 || max != 255) return Capture{};
  c.px.resize(static_cast<size_t>(c.w) * c.h);
  for (Rgb& p : c.px) {
    p.r = f.get();
    p.g = f.get();
    p.b = f.get();
  }
  return f ? c : Capture{};
}

// Where the picture goes, worked out here on its own: the height of the
// screen (the screen is wider than 4:3), the width of the same shape,
// centred.
struct Place {
  int x, y, w, h;
};
Place expected_place(int pic_w, int pic_h) {
  const int h = SCREEN_H, w = SCREEN_H * pic_w / pic_h;
  return {(SCREEN_W - w) / 2, 0, w, h};
}
// The screen pixel at the middle of the area that shows picture pixel (px, py).
void screen_of(const Place& p, int pic_w, int pic_h, int px, int py, int* sx, int* sy) {
  *sx = p.x + static_cast<int>((px + 0.5) * p.w / pic_w);
  *sy = p.y + static_cast<int>((py + 0.5) * p.h / pic_h);
}

bool red(const Rgb& p) { return p.r > 20 && p.r > 2 * p.g && p.r > 2 * p.b; }
bool green(const Rgb& p) { return p.g > 20 && p.g > 2 * p.r && p.g > 2 * p.b; }
bool blue(const Rgb& p) { return p.b > 20 && p.b > 2 * p.r && p.b > 2 * p.g; }
bool yellow(const Rgb& p) { return p.r > 20 && p.g > 20 && p.r > 2 * p.b && p.g > 2 * p.b; }

// The splash "combined.tga" (640 by 480, drawn at the picture's top left):
// red, green, blue and yellow quarters.
bool shows_splash(const Capture& c, const Place& pl) {
  const int qx[2] = {pl.x + pl.w / 4, pl.x + 3 * pl.w / 4}, qy[2] = {pl.y + pl.h / 4, pl.y + 3 * pl.h / 4};
  return red(c.at(qx[0], qy[0])) && green(c.at(qx[1], qy[0])) && blue(c.at(qx[0], qy[1])) &&
         yellow(c.at(qx[1], qy[1]));
}

bool all_black(const Capture& c, int x0, int y0, int x1, int y1, int step = 3) {
  for (int y = y0; y < y1; y += step)
    for (int x = x0; x < x1; x += step)
      if (!c.at(x, y).black()) return false;
  return true;
}

// The walk cursor (a yellow ring) anywhere in the box.
bool ring_in(const Capture& c, int x0, int y0, int x1, int y1) {
  for (int y = std::max(0, y0); y < std::min(c.h, y1); y++)
    for (int x = std::max(0, x0); x < std::min(c.w, x1); x++) {
      const Rgb& p = c.at(x, y);
      if (p.r > 150 && p.g > 150 && p.b < 120) return true;
    }
  return false;
}

void xdotool(const std::string& args) {
  ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << "xdotool " << args;
}

struct Launch {
  const char* name;
  std::vector<std::string> args;
  int w, h;
};

class FullScreenGame : public ::testing::TestWithParam<Launch> {};

// The real game, started as a player starts it.
TEST_P(FullScreenGame, FillsTheScreenHeightAndShotsKeepTheGamesSize) {
  const Launch& run = GetParam();
  const Place pl = expected_place(run.w, run.h);
  // Where the splash shows: its 640 by 480 at the picture's scale.
  const Place sp = {pl.x, pl.y, 640 * pl.w / run.w, 480 * pl.h / run.h};
  const fs::path dir = test_scratch_root("fullscreen_scaled") / run.name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = std::getenv("ORRIMUND_BIN_DIR");
  const fs::path root = dir / "demo";
  ASSERT_EQ(std::system((bin + "/make_demo " + root.string() + " >" + (dir / "make_demo.out").string()).c_str()), 0);

  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "no X display";
  ASSERT_EQ(DisplayWidth(d, DefaultScreen(d)), SCREEN_W) << "the X screen must be 1920x1080";
  ASSERT_EQ(DisplayHeight(d, DefaultScreen(d)), SCREEN_H) << "the X screen must be 1920x1080";
  // The pointer rests at the display's centre, where the title's cursor shows.
  xdotool("mousemove 960 540");

  setenv("ORRIMUND_ROOT", root.c_str(), 1);
  const fs::path out = dir / "orrimund.out";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = bin + "/orrimund";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : run.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  auto running = [&] { return waitpid(pid, nullptr, WNOHANG) == 0; };

  // The splash: the X screen is read as often as it will give it.
  bool splash_seen = false, started = false;
  Capture splash;
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < give_up && !started) {
    ASSERT_TRUE(running()) << "the program ended early: " << read_file(out.string());
    started = read_file(out.string()).find("SYSTEM INIT TIME : ") != std::string::npos;
    if (splash_seen) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    Capture c = capture_screen(d);
    if (c.w && shows_splash(c, sp)) {
      splash_seen = true;
      splash = std::move(c);
    }
  }
  ASSERT_TRUE(started) << "start-up did not finish: " << read_file(out.string());
  ASSERT_TRUE(splash_seen) << "the splash was never on the screen";
  save_png(splash, dir / "splash.png");
  // Its four quarters reach the top row and the picture's left edge (at 640
  // by 480 also the bottom row and the right edge); beyond the picture,
  // black bars.
  const int upper = sp.h / 4, lower = 3 * sp.h / 4;
  EXPECT_TRUE(red(splash.at(sp.x, upper))) << "the picture does not start at x " << sp.x;
  EXPECT_TRUE(green(splash.at(sp.x + sp.w - 1, upper))) << "the splash does not end at x " << sp.x + sp.w - 1;
  EXPECT_TRUE(blue(splash.at(sp.x, lower)));
  EXPECT_TRUE(yellow(splash.at(sp.x + sp.w - 1, lower)));
  EXPECT_TRUE(red(splash.at(sp.x + sp.w / 4, 0)) && blue(splash.at(sp.x + sp.w / 4, sp.h - 1)))
      << "the splash does not reach from the screen's top to " << sp.h;
  if (run.w == 640) {
    EXPECT_EQ(sp.h, SCREEN_H);
  }
  EXPECT_TRUE(all_black(splash, 0, 0, pl.x, SCREEN_H)) << "the left bar is not black";
  EXPECT_TRUE(all_black(splash, pl.x + pl.w, 0, SCREEN_W, SCREEN_H)) << "the right bar is not black";

  // The title state: the cursor scaled with the picture at its centre.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  int cx, cy;
  screen_of(pl, run.w, run.h, run.w / 2, run.h / 2, &cx, &cy);
  Capture title;
  give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  do {
    title = capture_screen(d);
  } while (!ring_in(title, cx - 2, cy - 2, cx + 40 * pl.h / run.h, cy + 40 * pl.h / run.h) &&
           std::chrono::steady_clock::now() < give_up);
  save_png(title, dir / "title.png");
  EXPECT_TRUE(ring_in(title, cx - 2, cy - 2, cx + 40 * pl.h / run.h, cy + 40 * pl.h / run.h))
      << "no cursor at the centre of the screen";
  EXPECT_TRUE(all_black(title, 0, 0, pl.x, SCREEN_H)) << "the left bar is not black";
  EXPECT_TRUE(all_black(title, pl.x + pl.w, 0, SCREEN_W, SCREEN_H)) << "the right bar is not black";
  EXPECT_FALSE(all_black(title, pl.x, 0, pl.x + pl.w, SCREEN_H, 7)) << "the title shows nothing";

  // Print Screen: the picture at the game's size, what the screen shows.
  for (const auto& e : fs::directory_iterator(root))
    if (e.path().filename().string().rfind("screen", 0) == 0) fs::remove(e.path());
  xdotool("key Print");
  const fs::path shot = root / "screen000.jpg";
  for (int i = 0; i < 100 && !fs::exists(shot); i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const Capture jpg = read_picture(shot);
  ASSERT_EQ(jpg.w, run.w) << "screen000.jpg";
  ASSERT_EQ(jpg.h, run.h) << "screen000.jpg";
  // The cursor is animated: one of the next frames on the screen is the
  // frame of the shot, pixel for pixel at the picture's scale.
  double best_alike = 0.0, best_ring = 0.0;
  for (int frame = 0; frame < 60 && best_ring < 0.7; frame++) {
    const Capture now = capture_screen(d);
    size_t alike = 0, in_shot = 0, on_screen = 0, both = 0;
    for (int y = 0; y < run.h; y++)
      for (int x = 0; x < run.w; x++) {
        int sx, sy;
        screen_of(pl, run.w, run.h, x, y, &sx, &sy);
        const Rgb &a = jpg.at(x, y), &b = now.at(sx, sy);
        const int diff = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        alike += diff <= 48;
        const bool ra = a.r > 100 && a.g > 100, rb = b.r > 100 && b.g > 100;
        in_shot += ra;
        on_screen += rb;
        both += ra && rb;
      }
    const double alike_share = static_cast<double>(alike) / (run.w * run.h);
    const double ring_share = in_shot > 20 ? static_cast<double>(both) / std::max(in_shot, on_screen) : 0.0;
    if (ring_share > best_ring) best_ring = ring_share, best_alike = alike_share;
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  EXPECT_GE(best_ring, 0.7) << "the shot does not show the cursor where the screen does";
  EXPECT_GE(best_alike, 0.995) << "the shot is not the picture on the screen";

  // The pointer taken to the display's corner (on the bar) holds the
  // cursor at the picture's corner, and the bar stays black.
  xdotool("mousemove 0 0");
  Capture corner;
  give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  do {
    corner = capture_screen(d);
  } while (!ring_in(corner, pl.x, 0, pl.x + 60 * pl.h / run.h, 60 * pl.h / run.h) &&
           std::chrono::steady_clock::now() < give_up);
  save_png(corner, dir / "corner.png");
  EXPECT_TRUE(ring_in(corner, pl.x, 0, pl.x + 60 * pl.h / run.h, 60 * pl.h / run.h))
      << "the cursor is not at the picture's top-left corner";
  EXPECT_TRUE(all_black(corner, 0, 0, pl.x, SCREEN_H)) << "the cursor is drawn on the bar";

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  XCloseDisplay(d);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

INSTANTIATE_TEST_SUITE_P(Renderers, FullScreenGame,
                         ::testing::Values(Launch{"glide", {}, 640, 480}, Launch{"glide_800", {"-800"}, 800, 600},
                                           Launch{"direct3d", {"-direct3d"}, 640, 480}),
                         [](const ::testing::TestParamInfo<Launch>& i) { return std::string(i.param.name); });

// The engine in this process, for what the game reads: its back buffer and
// the mouse.
class FullScreenEngine : public ::testing::TestWithParam<Launch> {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("fullscreen_scaled") / "engine";
    fs::remove_all(Tmp);
    ASSERT_TRUE(gl_screen_write_test_data(Tmp));
    fs::create_directories(Tmp / "screenshots");
    vfile_set_root(Tmp.c_str(), false);
    vfile_add_path_type("data\\fonts", ".vf");
    vfile_add_path_type("data\\interface", ".tga");
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    os_init("Quorvane", "Orrimund Full Screen Test");
    ASSERT_NE(os_get_window(), 0u) << "no X window: run under xvfb-run";
    bm_init();
    Dpy = XOpenDisplay(nullptr);
    ASSERT_NE(Dpy, nullptr);
  }
  static void TearDownTestSuite() {
    if (Dpy) XCloseDisplay(Dpy);
    bm_close();
    os_shutdown();
  }
  void SetUp() override {
    const Launch& run = GetParam();
    const int renderer = std::string(run.name).rfind("direct3d", 0) == 0 ? GR_DIRECT3D : GR_GLIDE;
    gr_init(run.w, run.h, renderer, GR_FULLSCREEN, os_get_window(), false);
    gr_fade_in(0);
    mouse_close();
    mouse_init(run.w, run.h);
    // The window reaches the screen's size when the server has moved it.
    int w = 0, h = 0;
    for (int i = 0; i < 500 && !(window_get_client_size(&w, &h) && w == SCREEN_W && h == SCREEN_H); i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(w, SCREEN_W);
    ASSERT_EQ(h, SCREEN_H);
  }
  void TearDown() override { gr_close(); }

  // The snapshot once the left button's press has come through.
  static bool wait_press() {
    for (int i = 0; i < 500; i++) {
      mouse_frame();
      if (mouse_pressed(MOUSE_LEFT_BUTTON)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // The snapshot once the mouse reads the given place (or after a while).
  static void settle_at(int x, int y, int* gx, int* gy) {
    for (int i = 0; i < 300; i++) {
      mouse_frame();
      mouse_get_pos(gx, gy, nullptr);
      if (*gx == x && *gy == y) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  static fs::path Tmp;
  static int Shots_type;
  static Display* Dpy;
};
fs::path FullScreenEngine::Tmp;
int FullScreenEngine::Shots_type = -1;
Display* FullScreenEngine::Dpy = nullptr;

TEST_P(FullScreenEngine, EachFlipStretchesTheBackBufferAndReadsKeepTheGamesSize) {
  const Launch& run = GetParam();
  const Place pl = expected_place(run.w, run.h);
  const int bm = bm_load("quads.tga");
  ASSERT_GE(bm, 0);
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  gr_bitmap_scaled(bm, 0, 0, run.w, run.h, 0, 0, 32, 32, Gr_preset[1]);
  const ScreenImage picture = gl_screen_shot(Tmp / "screenshots", run.name, Shots_type);
  ASSERT_EQ(picture.w, run.w) << "the back buffer is read at the game's size";
  ASSERT_EQ(picture.h, run.h);
  gr_flip();
  XSync(Dpy, False);
  Capture screen;
  size_t alike = 0;
  for (int attempt = 0; attempt < 50; attempt++) {
    screen = capture_screen(Dpy);
    alike = 0;
    for (int y = 0; y < run.h; y++)
      for (int x = 0; x < run.w; x++) {
        int sx, sy;
        screen_of(pl, run.w, run.h, x, y, &sx, &sy);
        const uint8_t* p = picture.at(x, y);
        const Rgb& q = screen.at(sx, sy);
        alike += std::max({std::abs(p[2] - q.r), std::abs(p[1] - q.g), std::abs(p[0] - q.b)}) <= 8;
      }
    if (alike >= static_cast<size_t>(0.97 * run.w * run.h)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  save_png(screen, Tmp / (std::string(run.name) + "_screen.png"));
  EXPECT_GE(static_cast<double>(alike) / (run.w * run.h), 0.97) << "the screen is not the stretched back buffer";
  EXPECT_TRUE(all_black(screen, 0, 0, pl.x, SCREEN_H)) << "the left bar is not black";
  EXPECT_TRUE(all_black(screen, pl.x + pl.w, 0, SCREEN_W, SCREEN_H)) << "the right bar is not black";
  bm_release(bm);
}

TEST_P(FullScreenEngine, TheMouseIsReadInThePicturesPixels) {
  const Launch& run = GetParam();
  // A click at the display's centre lands at the picture's centre.
  xdotool("mousemove 960 540 click 1");
  ASSERT_TRUE(wait_press()) << "the click never reached the game";
  int x = -1, y = -1;
  mouse_get_pos(&x, &y, nullptr);
  EXPECT_EQ(x, run.w / 2);
  EXPECT_EQ(y, run.h / 2);

  // The display's corners: the picture's first and last pixels.
  xdotool("mousemove 240 0");
  settle_at(0, 0, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  xdotool("mousemove 1679 1079");
  settle_at(run.w - 1, run.h - 1, &x, &y);
  EXPECT_EQ(x, run.w - 1);
  EXPECT_EQ(y, run.h - 1);

  // On the left bar, halfway down: held at the picture's left edge, and the
  // pointer is brought back onto the picture.
  xdotool("mousemove 100 540");
  settle_at(0, run.h / 2, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, run.h / 2);
  Window root_ret, child;
  int rx = 0, ry = 0, wx, wy;
  unsigned mask;
  for (int i = 0; i < 100 && rx < 240; i++) {
    mouse_frame();
    XQueryPointer(Dpy, DefaultRootWindow(Dpy), &root_ret, &child, &rx, &ry, &wx, &wy, &mask);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(rx, 240) << "the pointer was left on the bar";
  EXPECT_LT(rx, 240 + 1440 / run.w + 1);

  // The game moving the mouse puts the pointer where that pixel is shown.
  mouse_set_pos(run.w / 4, run.h / 4);
  int sx, sy;
  screen_of(expected_place(run.w, run.h), run.w, run.h, run.w / 4, run.h / 4, &sx, &sy);
  for (int i = 0; i < 100 && std::abs(rx - sx) > 1; i++) {
    XQueryPointer(Dpy, DefaultRootWindow(Dpy), &root_ret, &child, &rx, &ry, &wx, &wy, &mask);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NEAR(rx, sx, 1);
  EXPECT_NEAR(ry, sy, 1);
  settle_at(run.w / 4, run.h / 4, &x, &y);
  EXPECT_EQ(x, run.w / 4);
  EXPECT_EQ(y, run.h / 4);
}

INSTANTIATE_TEST_SUITE_P(Renderers, FullScreenEngine,
                         ::testing::Values(Launch{"glide", {}, 640, 480}, Launch{"glide_800", {}, 800, 600},
                                           Launch{"direct3d", {}, 640, 480}),
                         [](const ::testing::TestParamInfo<Launch>& i) { return std::string(i.param.name); });

}  // namespace

// The Direct3D renderer on a real window (Xvfb, Mesa's software OpenGL under
// our DirectDraw/Direct3D layer): the same scene drawn with OpenGL and with
// Direct3D, in a window and full screen, read back through the game's
// screenshot code. The pictures must agree: at least 99% of the pixels
// within 8 levels per channel (Direct3D textures hold 4 or 5 bits per
// channel and its read-back is 5-6-5, so small differences are expected).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/os.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

fs::path Tmp;
int Shots_type = -1;
std::vector<uint8_t> Gradient;

// A 64 by 64 5-6-5 picture: red across, green down, a blue stripe.
void make_gradient() {
  Gradient.resize(64 * 64 * 2);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      const int r = x / 2, g = y, b = (x / 8) % 2 ? 31 : 0;
      const uint16_t v = static_cast<uint16_t>((r << 11) | (g << 5) | b);
      Gradient[(y * 64 + x) * 2] = static_cast<uint8_t>(v);
      Gradient[(y * 64 + x) * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
}

void open_screen(int renderer, int mode) {
  bm_init();
  gr_init(640, 480, renderer, mode, os_get_window(), false);
  gr_fade_in(0);
  // Full screen takes the screen's shape and a window the desktop's: one
  // shape for all, so the 3D views agree.
  gr_set_aspect(1.0f);
}

void close_screen() {
  gr_close();
  bm_close();
}

// The scene: a 2D bitmap, filled rectangles (one translucent), a line, a
// fogged wall going into the distance and a translucent sprite.
ScreenImage draw_scene(const char* name) {
  const int bm = bm_create(BM_FORMAT_565, 64, 64, Gradient.data());
  EXPECT_GE(bm, 0);
  for (int frame = 0; frame < 2; frame++) {
    gr_reset_clip();
    gr_clear();
    gr_zbuffer_clear(true);
    gr_set_color(255, 255, 255, 255);
    gr_bitmap(bm, 20, 20, Gr_preset[1]);
    gr_bitmap_scaled(bm, 100, 20, 128, 64, 0, 0, 64, 64, Gr_preset[4]);
    gr_set_color(200, 40, 40, 255);
    gr_rect(260, 20, 80, 60, Gr_preset[7]);
    gr_set_color(40, 200, 40, 128);
    gr_rect(300, 50, 80, 60, Gr_preset[7]);
    gr_set_color(255, 255, 0, 255);
    gr_line(20, 120, 600, 130, Gr_preset[6]);

    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, true);
    gr_fog_set(true, 90, 90, 140, 4.0f, 30.0f);
    gr_set_bitmap(-1);
    gr_set_color(220, 160, 60, 255);
    // A floor from near to far: fog grows toward the horizon.
    const vector corners[4] = {{-6, -2, 3}, {6, -2, 3}, {6, -2, 40}, {-6, -2, 40}};
    GrVertex v[4];
    GrVertex* list[4];
    for (int i = 0; i < 4; i++) {
      gr_3d_rotate_point(v[i], corners[i]);
      list[i] = &v[i];
    }
    EXPECT_TRUE(gr_3d_draw_poly(4, list, RenderStateWord(0, 0, 0, 0, 4, 0)));
    gr_fog_set(false, 0, 0, 0, -1, -1);
    gr_set_color(0, 255, 255, 128);
    EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(1.0f, 0.0f, 5.0f), 0.0f, 1.0f, 1.0f, RenderStateWord(0, 0, 0, 3, 1, 0)));
    gr_alpha_flush();
    if (frame == 0) gr_flip();
  }
  const ScreenImage img = gl_screen_shot(Tmp / "screenshots", name, Shots_type);
  gr_flip();
  bm_release(bm);
  return img;
}

class GrD3dScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr_d3d");
    fs::create_directories(Tmp / "screenshots");
    vfile_set_root(Tmp.c_str(), false);
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    os_init("Quorvane", "Orrimund Direct3D Test");
    make_gradient();
  }
  static void TearDownTestSuite() { os_shutdown(); }
};

TEST_F(GrD3dScreen, SceneMatchesOpenGLInAWindowAndFullScreen) {
  ASSERT_NE(os_get_window(), 0u) << "no X window: run under xvfb-run";
  open_screen(GR_OPENGL, GR_WINDOWED);
  const ScreenImage gl = draw_scene("opengl");
  close_screen();

  open_screen(GR_DIRECT3D, GR_WINDOWED);
  ASSERT_NE(gr_d3d_device(), nullptr) << gr_d3d_failure();
  const ScreenImage d3d = draw_scene("d3d_window");
  close_screen();

  open_screen(GR_DIRECT3D, GR_FULLSCREEN);
  ASSERT_NE(gr_d3d_device(), nullptr) << gr_d3d_failure();
  const ScreenImage full = draw_scene("d3d_full");
  close_screen();

  ASSERT_EQ(gl.w, 640);
  ASSERT_EQ(d3d.w, 640);
  const double window_share = gl_screen_share_alike(gl, d3d, 8);
  const double full_share = gl_screen_share_alike(gl, full, 8);
  std::printf("pixels within 8 levels of OpenGL: window %.4f, full screen %.4f\n", window_share, full_share);
  EXPECT_GE(window_share, 0.99);
  EXPECT_GE(full_share, 0.99);
  // Things a user sees, independent of the OpenGL picture: the opaque red
  // rectangle, the blend of the translucent green over it, the bitmap's
  // top-left texel (black red and green, no blue stripe) and its right end.
  const uint8_t* red = d3d.at(270, 30);
  EXPECT_NEAR(red[2], 200, 8);
  EXPECT_NEAR(red[1], 40, 8);
  const uint8_t* mixed = d3d.at(320, 70);
  EXPECT_NEAR(mixed[2], 200 / 2 + 40 / 2, 10);
  EXPECT_NEAR(mixed[1], 40 / 2 + 200 / 2, 10);
  const uint8_t* corner = d3d.at(20, 20);
  EXPECT_LE(corner[2], 8);
  EXPECT_LE(corner[1], 8);
  // The floor is fogged more toward the horizon: nearer pixels are more orange.
  const uint8_t* near_floor = d3d.at(320, 440);
  const uint8_t* far_floor = d3d.at(320, 262);
  EXPECT_GT(near_floor[2] - near_floor[0], far_floor[2] - far_floor[0] + 20)
      << int(near_floor[2]) << "," << int(near_floor[0]) << " vs " << int(far_floor[2]) << "," << int(far_floor[0]);
}

}  // namespace

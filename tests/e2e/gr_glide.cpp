// The Glide renderer on our Glide library (OpenGL through Mesa under Xvfb):
// the same scenes drawn with OpenGL and with Glide give the same picture
// within the precision of the card's 16-bit textures and 5-6-5 read-back,
// and a task switch (focus out and in) keeps the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/os.h"
#include "quarn/platform/messages.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"
#include "tools/writers/image_writers.h"

namespace fs = std::filesystem;

namespace {

fs::path Tmp;
int Shots_type = -1;

class GrGlide : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr_glide");
    ASSERT_TRUE(gl_screen_write_test_data(Tmp));
    fs::create_directories(Tmp / "screenshots");
    // A sprite with a soft alpha ramp, wider than one texture section.
    const int sw = 300, sh = 64;
    std::vector<uint8_t> sprite(static_cast<size_t>(sw) * sh * 4);
    for (int y = 0; y < sh; y++)
      for (int x = 0; x < sw; x++) {
        uint8_t* p = &sprite[(static_cast<size_t>(y) * sw + x) * 4];
        p[0] = static_cast<uint8_t>(x * 255 / sw), p[1] = 160, p[2] = 240;
        p[3] = static_cast<uint8_t>(y < sh / 2 ? 255 : 96);
      }
    ASSERT_TRUE(tga_write_file((Tmp / "data" / "interface" / "sprite.tga").string(), sprite.data(), sw, sh, 32));

    vfile_set_root(Tmp.c_str(), false);
    vfile_add_path_type("data\\fonts", ".vf");
    vfile_add_path_type("data\\interface", ".tga");
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");

    os_init("Quorvane", "Orrimund Glide Test");
    ASSERT_NE(os_get_window(), 0u) << "no X window: run under xvfb-run";
    bm_init();
  }
  static void TearDownTestSuite() {
    bm_close();
    os_shutdown();
  }

  static void open(int renderer) {
    gr_init(640, 480, renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
    gr_fade_in(0);
  }
  static ScreenImage shot(const std::string& name) {
    return gl_screen_shot(Tmp / "screenshots", name.c_str(), Shots_type);
  }
  // The scene drawn with each renderer in turn.
  static void compare(const char* name, const std::function<void()>& scene, int tolerance = 8) {
    ScreenImage pics[2];
    const int renderers[2] = {GR_OPENGL, GR_GLIDE};
    for (int i = 0; i < 2; i++) {
      open(renderers[i]);
      gr_clear();
      scene();
      pics[i] = shot(std::string(name) + (i ? "_glide" : "_opengl"));
      gr_flip();
      gr_close();
    }
    ASSERT_EQ(pics[0].w, 640);
    ASSERT_EQ(pics[1].w, 640);
    int worst = 0;
    const double alike = gl_screen_share_alike(pics[0], pics[1], tolerance, &worst);
    EXPECT_GE(alike, 0.99) << name << ": " << alike * 100 << "% alike, worst difference " << worst;
  }
};

void bitmap_rect_text() {
  const int bm = bm_load("quads.tga");
  ASSERT_GE(bm, 0);
  const int font = gr_font_load("blocks.vf");
  ASSERT_GE(font, 0);
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(bm, 100, 80, Gr_preset[1]);
  gr_bitmap_scaled(bm, 200, 60, 96, 64, 0, 0, 32, 32, Gr_preset[1]);
  gr_set_color(0, 200, 50, 255);
  gr_rect(300, 200, 60, 40, Gr_preset[7]);
  gr_set_color(255, 255, 0, 255);
  gr_string(50, 400, "Hello, world", font, Gr_preset[1]);
  gr_set_color(200, 120, 40, 255);
  gr_line(20, 300, 600, 330, Gr_preset[7]);
}

TEST_F(GrGlide, BitmapRectangleTextAndLineMatchOpenGL) { compare("flat", bitmap_rect_text); }

TEST_F(GrGlide, ClippedPerspectivePolygonMatchesOpenGL) {
  compare("poly", [] {
    const int bm = bm_load("quads.tga");
    ASSERT_GE(bm, 0);
    gr_set_clip(120, 90, 300, 220);
    GrVertex v[4];
    GrVertex* list[4];
    // A floor going away: the far edge has the smaller 1/z.
    const float pos[4][3] = {{-60, 20, 0.02f}, {400, 20, 0.02f}, {520, 300, 0.08f}, {-150, 300, 0.08f}};
    const float uv[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    for (int i = 0; i < 4; i++) {
      v[i].sx = pos[i][0] + gr_screen.offset_x;
      v[i].sy = pos[i][1] + gr_screen.offset_y;
      v[i].ooz = pos[i][2];
      v[i].u = uv[i][0];
      v[i].v = uv[i][1];
      v[i].flags = GR_VERTEX_UV;
      list[i] = &v[i];
    }
    gr_set_color(255, 255, 255, 255);
    gr_set_bitmap(bm);
    gr_draw_polygon(4, list, Gr_preset[4]);
    gr_reset_clip();
  });
}

// 32-bit bitmaps reach the card as 4-4-4-4 texels, so their colours and
// alpha are within 17 levels of the 8-bit ones.
TEST_F(GrGlide, TranslucentSpriteOverAColouredFieldMatchesOpenGL) {
  compare("sprite", [] {
    const int bm = bm_load("sprite.tga");
    ASSERT_GE(bm, 0);
    gr_set_color(30, 60, 200, 255);
    gr_rect(0, 150, 640, 120, Gr_preset[7]);
    gr_set_color(255, 255, 255, 160);
    gr_bitmap(bm, 40, 170, Gr_preset[1]);
  }, 17);
}

TEST_F(GrGlide, FocusOutAndInKeepsThePicture) {
  open(GR_GLIDE);
  gr_clear();
  bitmap_rect_text();
  const ScreenImage before = shot("focus_before");
  gr_flip();
  // The window procedure hears the application lose and regain focus; the
  // card's window closes and reopens at the next flips, losing its textures.
  os_window_proc(OS_MSG_ACTIVATEAPP, 0, 0);
  gr_flip();
  EXPECT_TRUE(gr_glide_minimised());
  os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
  gr_flip();
  EXPECT_FALSE(gr_glide_minimised());
  gr_clear();
  bitmap_rect_text();
  const ScreenImage after = shot("focus_after");
  gr_flip();
  gr_close();
  int worst = 0;
  EXPECT_EQ(gl_screen_share_alike(before, after, 0, &worst), 1.0) << "worst difference " << worst;
}

}  // namespace

// The front end with the OpenGL renderer on a real window (Xvfb, Mesa's
// software OpenGL): what is drawn is read back through the game's own
// screenshot path and checked pixel by pixel.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/os.h"
#include "quarn/platform/window.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/vf_writer.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

fs::path Tmp;
int Shots_type = -1;

using Image = ScreenImage;

bool near_rgb(const uint8_t* bgr, int r, int g, int b, int tol = 6) {
  return std::abs(bgr[2] - r) <= tol && std::abs(bgr[1] - g) <= tol && std::abs(bgr[0] - b) <= tol;
}

Image screenshot(const char* base) { return gl_screen_shot(Tmp / "screenshots", base, Shots_type); }

class GrOpengl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr_opengl");
    // The bitmap and the font, made by the data builder's writers.
    ASSERT_TRUE(gl_screen_write_test_data(Tmp));
    fs::create_directories(Tmp / "screenshots");

    vfile_set_root(Tmp.c_str(), false);
    vfile_add_path_type("data\\fonts", ".vf");
    vfile_add_path_type("data\\interface", ".tga");
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");

    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Graphics Test"));
  }
  static void TearDownTestSuite() { gl_screen_close(); }
};

TEST_F(GrOpengl, WindowIsPlacedAtTheTopOfTheDesktopCentred) {
  Display* dpy = window_main_display();
  ASSERT_NE(dpy, nullptr);
  const Window win = os_get_window();
  XWindowAttributes wa;
  ASSERT_NE(XGetWindowAttributes(dpy, win, &wa), 0);
  EXPECT_EQ(wa.width, 640);
  EXPECT_EQ(wa.height, 480);
  EXPECT_EQ(wa.map_state, IsViewable);
  int sw = 0, sh = 0, wx = 0, wy = 0, ww = 0, wh = 0;
  window_get_screen_size(&sw, &sh);
  window_get_work_area(&wx, &wy, &ww, &wh);
  int rx = -1, ry = -1;
  Window child;
  XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), 0, 0, &rx, &ry, &child);
  EXPECT_EQ(rx, wx + (ww - 640) / 2);
  EXPECT_EQ(ry, wy);
  EXPECT_FLOAT_EQ(gr_get_aspect(), static_cast<float>(sw) / static_cast<float>(sh) * 0.75f);
}

TEST_F(GrOpengl, BitmapRectangleAndTextLandWhereDrawn) {
  const int bm = bm_load("quads.tga");
  ASSERT_GE(bm, 0);
  ASSERT_FALSE(bm_is_placeholder(bm));
  const int font = gr_font_load("blocks.vf");
  ASSERT_GE(font, 0);

  gr_clear();
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(bm, 100, 80, Gr_preset[1]);
  gr_set_color(0, 200, 50, 255);
  gr_rect(300, 200, 60, 40, Gr_preset[7]);
  gr_set_color(255, 255, 0, 255);
  const char* text = "Hello, world";
  gr_string(50, 400, text, font, Gr_preset[1]);
  int tw = 0, th = 0;
  gr_get_string_size(&tw, &th, text, -1, font);
  const Image img = screenshot("shot");
  gr_flip();
  ASSERT_EQ(img.w, 640);
  ASSERT_EQ(img.h, 480);

  // The bitmap, texel for texel (nearest filtering, drawn unscaled).
  int wrong = 0;
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      uint8_t want[3];
      gl_screen_quadrant_pixel(x, y, 32, want);
      if (!near_rgb(img.at(100 + x, 80 + y), want[2], want[1], want[0])) wrong++;
    }
  EXPECT_EQ(wrong, 0) << "bitmap pixels out of place";
  EXPECT_TRUE(near_rgb(img.at(99, 80), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(132, 111), 0, 0, 0));

  // The rectangle's colour inside its edges, black outside.
  for (int y = 201; y < 239; y += 4)
    for (int x = 301; x < 359; x += 4) ASSERT_TRUE(near_rgb(img.at(x, y), 0, 200, 50)) << x << "," << y;
  EXPECT_TRUE(near_rgb(img.at(300, 200), 0, 200, 50));
  EXPECT_TRUE(near_rgb(img.at(359, 239), 0, 200, 50));
  EXPECT_TRUE(near_rgb(img.at(360, 220), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(330, 240), 0, 0, 0));

  // Text: yellow pixels inside the measured box, none around it.
  EXPECT_EQ(tw, 12 * 8);
  EXPECT_EQ(th, 10);
  int inside = 0, outside = 0;
  for (int y = 380; y < 430; y++)
    for (int x = 30; x < 170; x++) {
      const bool yellow = near_rgb(img.at(x, y), 255, 255, 0, 40);
      const bool in_box = x >= 50 && x < 50 + tw && y >= 400 && y < 400 + th;
      (in_box ? inside : outside) += yellow;
    }
  EXPECT_GE(inside, 11 * 6 * 10 - 20);  // eleven printable glyphs of 6 by 10
  EXPECT_EQ(outside, 0);
}

TEST_F(GrOpengl, DemoFontTextStaysInItsMeasuredBox) {
  const char* bin = std::getenv("ORRIMUND_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  const fs::path demo = Tmp / "demo";
  const std::string cmd = std::string(bin) + "/make_demo " + demo.string() + " > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "make_demo failed";
  fs::create_directories(Tmp / "data" / "fonts");
  fs::copy_file(demo / "data" / "fonts" / "font-small.vf", Tmp / "data" / "fonts" / "font-small.vf",
                fs::copy_options::overwrite_existing);
  const int font = gr_font_load("font-small.vf", 9);
  ASSERT_GE(font, 0);

  gr_clear();
  gr_set_color(255, 255, 255, 255);
  const char* text = "The quick brown fox";
  gr_string(GR_CENTER_X, 240, text, font, Gr_preset[1]);
  int tw = 0, th = 0;
  gr_get_string_size(&tw, &th, text, -1, font);
  const int x0 = (640 - tw) / 2;
  const Image img = screenshot("demo_font");
  gr_flip();
  ASSERT_EQ(img.w, 640);
  int inside = 0, outside = 0;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++) {
      const uint8_t* p = img.at(x, y);
      if (p[0] + p[1] + p[2] < 60) continue;
      const bool in_box = x >= x0 - 1 && x <= x0 + tw && y >= 240 && y < 240 + th;
      (in_box ? inside : outside)++;
    }
  EXPECT_GT(inside, tw * th / 10);
  EXPECT_EQ(outside, 0);
}

TEST_F(GrOpengl, ReadScreenGivesRowsTopFirstInBlueGreenRed) {
  gr_clear();
  const int colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int row = 0; row < 3; row++) {
    gr_set_color(colours[row][0], colours[row][1], colours[row][2], 255);
    gr_rect(10, 50 + row, 5, 1, Gr_preset[7]);
  }
  uint8_t buf[5 * 3 * 3];
  ASSERT_EQ(gr_read_screen(10, 50, 5, 3, buf), 6);
  for (int row = 0; row < 3; row++)
    for (int x = 0; x < 5; x++) {
      const uint8_t* p = &buf[(row * 5 + x) * 3];
      EXPECT_TRUE(near_rgb(p, colours[row][0], colours[row][1], colours[row][2], 2)) << row << "," << x;
    }
  gr_flip();
}

TEST_F(GrOpengl, TextureCacheCountsAndReleases) {
  gr_opengl_flush_textures();
  ASSERT_EQ(gr_opengl_vram_in_use(), 0);
  std::vector<uint8_t> px(100 * 60 * 3, 128);
  const int bm = bm_create(BM_FORMAT_BGR24, 100, 60, px.data());
  gr_clear();
  gr_bitmap(bm, 0, 0, Gr_preset[1]);
  EXPECT_EQ(gr_opengl_vram_in_use(), 128 * 64 * 2);
  float u = 0, v = 0;
  ASSERT_EQ(gr_opengl_set_texture(bm, &u, &v, 0), 1);
  EXPECT_FLOAT_EQ(u, 0.78125f);
  EXPECT_FLOAT_EQ(v, 0.9375f);
  // Released in the frame that used it: the memory count drops at once, so
  // a later flush has nothing to complain about.
  gr_texture_release(bm);
  EXPECT_EQ(gr_opengl_vram_in_use(), 0);
  gr_flip();
  testing::internal::CaptureStdout();
  gr_flush_textures();
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("WARNING"), std::string::npos);
  EXPECT_EQ(gr_opengl_vram_in_use(), 0);
  // Uploaded again after the release, and counted again.
  gr_bitmap(bm, 0, 0, Gr_preset[1]);
  EXPECT_EQ(gr_opengl_vram_in_use(), 128 * 64 * 2);
  gr_flip();
  bm_release(bm);
  EXPECT_EQ(gr_opengl_vram_in_use(), 0);
}

TEST_F(GrOpengl, RepeatedRenderStateIsSkippedUntilABindInvalidatesIt) {
  gr_opengl_set_render_state(Gr_preset[7]);
  glBlendFunc(GL_ONE, GL_ONE);  // behind the renderer's back
  gr_opengl_set_render_state(Gr_preset[7]);
  GLint src = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  EXPECT_EQ(src, GL_ONE);  // the same word sent nothing
  std::vector<uint8_t> px(4 * 4 * 3, 0);
  const int bm = bm_create(BM_FORMAT_BGR24, 4, 4, px.data());
  float u, v;
  gr_opengl_set_texture(bm, &u, &v, 0);
  gr_opengl_set_render_state(Gr_preset[7]);
  glGetIntegerv(GL_BLEND_SRC, &src);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  gr_flip();
  bm_release(bm);
}

// What every preset word sets in OpenGL: blend factors, depth test and
// writes, texturing with its wrap and filter on unit 0, the second unit, and
// fog, which follows the screen's fog switch unless the word turns it off.
TEST_F(GrOpengl, EveryPresetMapsOntoOpenGLState) {
  struct Blend {
    GLint src, dst;
  };
  const Blend blends[] = {{GL_ONE, GL_ZERO},       {GL_ONE, GL_ONE},
                          {GL_SRC_ALPHA, GL_ONE},  {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                          {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_COLOR}, {GL_DST_COLOR, GL_ZERO}};
  struct Depth {
    bool test;
    GLint func;  // when testing
    bool write;
  };
  const Depth depths[] = {{false, 0, false}, {true, GL_LEQUAL, false}, {true, GL_EQUAL, false},
                          {false, 0, true},  {true, GL_LEQUAL, true}};
  std::vector<uint8_t> px(4 * 4 * 3, 40);
  const int bm = bm_create(BM_FORMAT_BGR24, 4, 4, px.data());
  for (const bool fog : {false, true}) {
    gr_fog_set(fog, 10, 20, 30, 10.0f, 100.0f);
    for (int p = 1; p <= GR_NUM_PRESETS; p++) {
      const RenderStateWord w = Gr_preset[p];
      SCOPED_TRACE("preset " + std::to_string(p) + (fog ? " with fog" : ""));
      float u, v;
      gr_opengl_set_texture(bm, &u, &v, 0);  // a bind makes the next word apply in full
      gr_opengl_set_render_state(w);

      GLint src = 0, dst = 0;
      glGetIntegerv(GL_BLEND_SRC, &src);
      glGetIntegerv(GL_BLEND_DST, &dst);
      EXPECT_EQ(src, blends[w.blend_mode()].src);
      EXPECT_EQ(dst, blends[w.blend_mode()].dst);

      const Depth& d = depths[w.depth_mode()];
      EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, d.test);
      GLboolean mask = GL_FALSE;
      glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
      EXPECT_EQ(mask == GL_TRUE, d.write);
      if (d.test) {
        GLint func = 0;
        glGetIntegerv(GL_DEPTH_FUNC, &func);
        EXPECT_EQ(func, d.func);
      }

      const int t = w.texture_mode();
      EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D) == GL_TRUE, t != 0);
      if (t >= 1 && t <= 4) {
        GLint wrap_s = 0, wrap_t = 0, min = 0, mag = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
        // A clamped texture samples its own edge texels, never the border.
        const GLint wrap = (t == 1 || t == 4) ? GL_REPEAT : GL_CLAMP_TO_EDGE;
        const GLint filter = t == 3 ? GL_NEAREST : GL_LINEAR;
        EXPECT_EQ(wrap_s, wrap);
        EXPECT_EQ(wrap_t, wrap);
        EXPECT_EQ(min, filter);
        EXPECT_EQ(mag, filter);
      }
      GLint env = 0;
      glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
      EXPECT_EQ(env, t >= 4 ? GL_REPLACE : GL_MODULATE);
      ASSERT_NE(Gl_active_texture_arb, nullptr);
      Gl_active_texture_arb(0x84C1);  // the second unit
      EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D) == GL_TRUE, t >= 4);
      Gl_active_texture_arb(0x84C0);

      EXPECT_EQ(glIsEnabled(GL_FOG) == GL_TRUE, fog && w.fog_mode() != 3);
    }
  }
  gr_fog_set(false, 0, 0, 0, -1.0f, -1.0f);
  gr_opengl_set_render_state(Gr_preset[1]);
  gr_flip();
  bm_release(bm);
}

// Filters live in each GL texture: a texture first bound after its state
// was applied still gets the state's filters (a fresh one would otherwise
// keep nearest-texel minification and alias), one bound later under another
// state takes that one's, and a lightmap on the second unit is bilinear and
// clamped to its edge so that no opposite edge or border bleeds into it.
TEST_F(GrOpengl, TexturesTakeTheFiltersOfTheStateWhicheverComesFirst) {
  std::vector<uint8_t> px(8 * 8 * 3, 90);
  const int a = bm_create(BM_FORMAT_BGR24, 8, 8, px.data());
  const int b = bm_create(BM_FORMAT_BGR24, 8, 8, px.data());
  const int lightmap = bm_create(BM_FORMAT_BGR24, 8, 8, px.data());
  struct Expect {
    GLint wrap, min, mag;
  };
  auto check = [](const char* what, Expect e) {
    GLint wrap_s = 0, wrap_t = 0, min = 0, mag = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    EXPECT_EQ(wrap_s, e.wrap) << what;
    EXPECT_EQ(wrap_t, e.wrap) << what;
    EXPECT_EQ(min, e.min) << what;
    EXPECT_EQ(mag, e.mag) << what;
  };
  float u, v;
  gr_opengl_set_texture(a, &u, &v, 0);
  gr_opengl_set_render_state(RenderStateWord(1, 2, 3, 3, 4, 0));  // wrapped, bilinear
  gr_opengl_set_texture(b, &u, &v, 0);                             // made and bound after it
  check("bound after a bilinear state", {GL_REPEAT, GL_LINEAR, GL_LINEAR});
  gr_opengl_set_render_state(RenderStateWord(3, 2, 3, 3, 4, 0));  // clamped, nearest
  gr_opengl_set_texture(a, &u, &v, 0);
  check("bound again under a nearest state", {GL_CLAMP_TO_EDGE, GL_NEAREST, GL_NEAREST});
  gr_opengl_set_render_state(RenderStateWord(4, 1, 3, 3, 4, 0));  // two stages
  gr_opengl_set_texture(lightmap, &u, &v, 1);
  ASSERT_NE(Gl_active_texture_arb, nullptr);
  Gl_active_texture_arb(0x84C1);
  check("the second unit's lightmap", {GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR});
  Gl_active_texture_arb(0x84C0);
  gr_opengl_set_render_state(Gr_preset[1]);
  gr_flip();
  bm_release(lightmap);
  bm_release(b);
  bm_release(a);
}

TEST_F(GrOpengl, BitmapLargerThanTheMaximumTextureIsScaledDown) {
  const int max = gr_screen.max_texture_w;
  ASSERT_GT(max, 0);
  const int w = max + 8, h = 2;
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < px.size(); i += 3) px[i] = 0, px[i + 1] = 0, px[i + 2] = 255;  // red
  const int bm = bm_create(BM_FORMAT_BGR24, w, h, px.data());
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  gr_bitmap_scaled(bm, 20, 20, 200, 10, 0, 0, w, h, Gr_preset[1]);
  EXPECT_EQ(gr_opengl_vram_in_use(), max * 2 * 2);
  uint8_t p[3];
  ASSERT_EQ(gr_read_screen(120, 25, 1, 1, p), 6);
  EXPECT_TRUE(near_rgb(p, 255, 0, 0));
  gr_flip();
  bm_release(bm);
}

TEST_F(GrOpengl, PolygonsBeyondThirtyVerticesAreDrawnWhole) {
  const int n = 48;
  std::vector<GrVertex> v(n);
  std::vector<GrVertex*> list(n);
  for (int i = 0; i < n; i++) {
    const float a = 2.0f * 3.14159265f * static_cast<float>(i) / n;
    v[i].sx = 320.0f + 100.0f * std::cos(a);
    v[i].sy = 240.0f + 100.0f * std::sin(a);
    v[i].ooz = 1.0f;
    list[i] = &v[i];
  }
  gr_clear();
  gr_set_color(40, 90, 250, 255);
  gr_set_bitmap(-1);
  gr_draw_polygon(n, list.data(), Gr_preset[7]);
  uint8_t p[3];
  // Points in the first and the last part of the fan.
  for (float angle : {0.3f, 3.0f, 5.5f}) {
    const int x = static_cast<int>(320 + 80 * std::cos(angle)), y = static_cast<int>(240 + 80 * std::sin(angle));
    ASSERT_EQ(gr_read_screen(x, y, 1, 1, p), 6);
    EXPECT_TRUE(near_rgb(p, 40, 90, 250)) << angle;
  }
  ASSERT_EQ(gr_read_screen(320, 240, 1, 1, p), 6);
  EXPECT_TRUE(near_rgb(p, 40, 90, 250));
  gr_flip();
}

TEST_F(GrOpengl, FogFollowsDepthNotDistanceFromTheScreenCorner) {
  // A screen-filling polygon at one depth half-way into the fog: with the
  // depth value as the fog distance every pixel gets the same mix of white
  // and the red fog; a radial distance would shade the corners differently.
  gr_reset_clip();
  gr_clear();
  gr_3d_set_far_plane(200.0f);
  gr_3d_start_frame(vector{0, 0, 0}, identity_matrix, 90.0f, true);
  gr_fog_set(true, 255, 0, 0, 10.0f, 100.0f);
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  const float k = frame.depth_scale * frame.zmult;
  ASSERT_GT(k, 0.0f);
  const float zoom = gr_3d_zoom_scale(1.0f);
  const float start = k / (gr_screen.fog_near * zoom), end = k / (gr_screen.fog_far * zoom * 1.01f);
  const float mid = 0.5f * (start + end);
  GrVertex v[4];
  GrVertex* list[4];
  const float corners[4][2] = {{0, 0}, {640, 0}, {640, 480}, {0, 480}};
  for (int i = 0; i < 4; i++) {
    v[i].sx = corners[i][0];
    v[i].sy = corners[i][1];
    v[i].ooz = mid / k;
    list[i] = &v[i];
  }
  gr_set_color(255, 255, 255, 255);
  gr_set_bitmap(-1);
  gr_draw_polygon(4, list, Gr_preset[10]);  // untextured, depth tested, fogged
  for (auto [x, y] : {std::pair{1, 1}, std::pair{638, 1}, std::pair{320, 240}, std::pair{1, 478}, std::pair{638, 478}}) {
    uint8_t p[3];
    ASSERT_EQ(gr_read_screen(x, y, 1, 1, p), 6);
    EXPECT_TRUE(near_rgb(p, 255, 128, 128, 8)) << x << "," << y << ": " << int(p[2]) << " " << int(p[1]) << " "
                                               << int(p[0]);
  }
  gr_fog_set(false, 0, 0, 0, -1.0f, -1.0f);
  gr_flip();
}

TEST_F(GrOpengl, RotatedBitmapMapsTheWholePictureOfANonPowerOfTwoBitmap) {
  // 24 by 24 pixels live in a 32 by 32 texture: the polygon's texture
  // coordinates must be scaled to the picture, or the transparent border
  // shows inside the drawn square.
  const int size = 24;
  std::vector<uint8_t> px(size * size * 3);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) gl_screen_quadrant_pixel(x, y, size, &px[(y * size + x) * 3]);
  const int bm = bm_create(BM_FORMAT_BGR24, size, size, px.data());
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  gr_bitmap_rotated(bm, 320, 240, 4.0f, 0.0f, Gr_preset[4]);  // 96 by 96 around the centre
  const struct {
    int x, y, r, g, b;
  } probes[] = {{320 - 30, 240 - 20, 220, 0, 0}, {320 + 20, 240 - 30, 0, 220, 0},
                {320 - 20, 240 + 30, 0, 0, 220}, {320 + 40, 240 + 20, 180, 180, 0},
                {320 + 45, 240 - 45, 0, 220, 0}};
  for (const auto& pr : probes) {
    uint8_t p[3];
    ASSERT_EQ(gr_read_screen(pr.x, pr.y, 1, 1, p), 6);
    EXPECT_TRUE(near_rgb(p, pr.r, pr.g, pr.b, 12)) << pr.x << "," << pr.y << ": " << int(p[2]) << " "
                                                    << int(p[1]) << " " << int(p[0]);
  }
  uint8_t outside[3];
  ASSERT_EQ(gr_read_screen(320 + 50, 240, 1, 1, outside), 6);
  EXPECT_TRUE(near_rgb(outside, 0, 0, 0));
  gr_flip();
  bm_release(bm);
}

TEST_F(GrOpengl, SaveScreenWritesTheTargaTheCallerNamed) {
  gr_clear();
  gr_set_color(30, 160, 90, 255);
  gr_rect(100, 50, 40, 30, Gr_preset[7]);
  const fs::path file = Tmp / "screenshots" / "saved.tga";
  fs::remove(file);
  ASSERT_TRUE(gr_save_screen("saved", 0, Shots_type));
  ASSERT_TRUE(fs::exists(file));
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TargaHeader hdr;
  ASSERT_TRUE(targa_parse_header(bytes.data(), bytes.size(), &hdr));
  EXPECT_EQ(hdr.width, 640);
  EXPECT_EQ(hdr.height, 480);
  std::vector<uint8_t> bgr(640 * 480 * 3);
  ASSERT_EQ(targa_decode(bytes.data(), bytes.size(), bgr.data(), bgr.size(), nullptr, nullptr), 0);
  EXPECT_TRUE(near_rgb(&bgr[(60 * 640 + 110) * 3], 30, 160, 90));
  EXPECT_TRUE(near_rgb(&bgr[(20 * 640 + 20) * 3], 0, 0, 0));
  gr_flip();
}

TEST_F(GrOpengl, SetWindowKeepsDrawing) {
  gr_set_window(os_get_window());
  gr_clear();
  gr_set_color(200, 100, 0, 255);
  gr_rect(5, 5, 10, 10, Gr_preset[7]);
  uint8_t p[3];
  ASSERT_EQ(gr_read_screen(8, 8, 1, 1, p), 6);
  EXPECT_TRUE(near_rgb(p, 200, 100, 0));
  gr_flip();
}

}  // namespace

namespace {
// Text in two fonts and colours, rectangles, bitmaps (whole, clipped,
// stretched, rotated, with a tint of colour), a line and a polygon with
// depth between 2D shapes of the same state, overlapping so that any change
// in the order of drawing shows.
void draw_mixed_scene(int bm, int blocks, int demo) {
  gr_clear();
  gr_zbuffer_clear(true);
  for (int row = 0; row < 12; row++) {
    gr_set_color(255, 40 + row * 18, 255 - row * 20, 255);
    gr_string(10 + row, 10 + row * 14, "Sphinx of black quartz, judge my vow 0123456789", demo, Gr_preset[1]);
  }
  gr_set_color(0, 200, 50, 255);
  gr_rect(40, 60, 200, 30, Gr_preset[7]);
  gr_set_color(255, 255, 0, 255);
  gr_string(50, 70, "Over the rectangle", blocks, Gr_preset[1]);
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < 40; i++) gr_bitmap(bm, 300 + (i % 8) * 20, 200 + (i / 8) * 20, Gr_preset[1]);
  gr_bitmap(bm, -10, 470, Gr_preset[1]);
  gr_bitmap_scaled(bm, 500, 20, 100, 60, 0, 0, 32, 32, Gr_preset[1]);
  gr_set_color(200, 100, 100, 128);
  gr_bitmap_rotated(bm, 560.0f, 300.0f, 1.5f, 0.7f, Gr_preset[1]);
  gr_set_color(20, 20, 240, 255);
  gr_rect(310, 210, 50, 50, Gr_preset[7]);
  gr_line(300, 200, 460, 300, Gr_preset[7]);
  gr_rect(330, 230, 50, 50, Gr_preset[7]);
  // A polygon with depth, drawn at once, between rectangles of one state.
  GrVertex v[4];
  GrVertex* list[4];
  const float corners[4][2] = {{100, 300}, {260, 300}, {260, 420}, {100, 420}};
  for (int i = 0; i < 4; i++) {
    v[i].sx = corners[i][0], v[i].sy = corners[i][1];
    v[i].ooz = 0.5f;
    v[i].flags = 0;
    list[i] = &v[i];
  }
  gr_set_color(250, 120, 0, 255);
  gr_rect(80, 280, 100, 60, Gr_preset[7]);
  gr_set_bitmap(-1);
  gr_set_color(120, 0, 200, 255);
  gr_draw_polygon(4, list, Gr_preset[9]);
  gr_set_color(250, 120, 0, 255);
  gr_rect(200, 380, 100, 60, Gr_preset[7]);
}
}  // namespace

// The 2D draws go to GL in batches; what the screen shows is, pixel for
// pixel, what drawing every shape on its own shows.
TEST_F(GrOpengl, BatchedTwoDDrawingShowsTheSamePixelsAsDrawingEachShapeAlone) {
  const char* bin = std::getenv("ORRIMUND_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  const fs::path demo = Tmp / "demo";
  if (!fs::exists(demo / "data" / "fonts" / "font-small.vf")) {
    const std::string cmd = std::string(bin) + "/make_demo " + demo.string() + " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "make_demo failed";
  }
  fs::copy_file(demo / "data" / "fonts" / "font-small.vf", Tmp / "data" / "fonts" / "font-small.vf",
                fs::copy_options::overwrite_existing);
  const int demo_font = gr_font_load("font-small.vf", 9);
  const int blocks = gr_font_load("blocks.vf");
  const int bm = bm_load("quads.tga");
  ASSERT_GE(demo_font, 0);
  ASSERT_GE(blocks, 0);
  ASSERT_GE(bm, 0);

  gr_opengl_batch_2d(false);
  draw_mixed_scene(bm, blocks, demo_font);
  const Image alone = screenshot("shapes_alone");
  gr_flip();
  gr_opengl_batch_2d(true);
  draw_mixed_scene(bm, blocks, demo_font);
  const Image batched = screenshot("shapes_batched");
  gr_flip();

  ASSERT_EQ(alone.w, 640);
  ASSERT_EQ(batched.w, alone.w);
  ASSERT_EQ(batched.h, alone.h);
  int differ = 0, first = -1;
  for (size_t i = 0; i < alone.bgr.size(); i++)
    if (alone.bgr[i] != batched.bgr[i]) {
      if (first < 0) first = static_cast<int>(i / 3);
      differ++;
    }
  EXPECT_EQ(differ, 0) << "first at " << first % 640 << "," << first / 640;
  // The scene is really there: text, the rectangle over it, the polygon.
  int lit = 0;
  for (size_t i = 0; i < alone.bgr.size(); i += 3) lit += alone.bgr[i] + alone.bgr[i + 1] + alone.bgr[i + 2] > 60;
  EXPECT_GT(lit, 20000);
  EXPECT_TRUE(near_rgb(batched.at(150, 350), 120, 0, 200));
  EXPECT_TRUE(near_rgb(batched.at(230, 400), 250, 120, 0));
  EXPECT_TRUE(near_rgb(batched.at(350, 250), 20, 20, 240));
}

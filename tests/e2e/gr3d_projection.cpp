// The 3D view on a real window (Xvfb, Mesa's software OpenGL): a wire box
// and a clipped polygon are rotated, clipped and projected by the view and
// drawn by the OpenGL renderer; the screenshot must show them where a plain
// pinhole camera, worked out here independently, puts them.
#include <gtest/gtest.h>

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
#include "quarn/gr/grclip.h"
#include "quarn/gr/opengl/gr_opengl.h"
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

using Image = ScreenImage;

bool near_rgb(const uint8_t* bgr, int r, int g, int b, int tol = 8) {
  return std::abs(bgr[2] - r) <= tol && std::abs(bgr[1] - g) <= tol && std::abs(bgr[0] - b) <= tol;
}

Image screenshot(const char* base) { return gl_screen_shot(Tmp / "screenshots", base, Shots_type); }

// True when the colour shows at (x, y) or one pixel around it.
bool colour_within_one(const Image& img, float fx, float fy, int r, int g, int b) {
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  for (int y = y0 - 1; y <= y0 + 1; y++)
    for (int x = x0 - 1; x <= x0 + 1; x++)
      if (x >= 0 && y >= 0 && x < img.w && y < img.h && near_rgb(img.at(x, y), r, g, b)) return true;
  return false;
}

// A pinhole camera at `eye` with orientation `m`, 90 degrees across a clip
// area of w by h at (ox, oy), square pixels: the pixel a world point lands on.
void pinhole(const vector& eye, const matrix& m, const vector& p, int ox, int oy, int w, int h, float& px,
             float& py) {
  vector c = p - eye;
  const float x = vector::dot(c, m.right), y = vector::dot(c, m.up), z = vector::dot(c, m.forward);
  // Focal length in pixels: half the width for a 90 degree view.
  const float f = w * 0.5f;
  px = ox + w * 0.5f + f * x / z;
  py = oy + h * 0.5f - f * y / z;
}

const RenderStateWord Flat = Gr_preset[7];  // untextured, no depth, no fog

class Gr3dProjection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr3d_projection");
    fs::create_directories(Tmp / "screenshots");
    vfile_set_root(Tmp.c_str(), false);
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");

    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund 3D View Test"));
    // Square pixels whatever the desktop's shape.
    gr_set_aspect(1.0f);
  }
  static void TearDownTestSuite() { gl_screen_close(); }
};

TEST_F(Gr3dProjection, WireBoxCornersLandOnPredictedPixels) {
  const vector eye{0.5f, 1.0f, -5.0f};
  const matrix cam = matrix::from_angles(0.08f, 0.0f, -0.05f);
  const vector center{1.0f, 0.5f, 4.0f};
  const matrix box = matrix::from_angles(0.0f, 0.0f, 0.5f);
  const vector half{2.0f, 1.5f, 1.0f};

  vector corners[8];
  for (int i = 0; i < 8; i++) {
    const vector local{(i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y, (i & 4) ? half.z : -half.z};
    corners[i] = local;
    corners[i].from_frame(center, box);
  }

  gr_reset_clip();
  gr_clear();
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(eye, cam, 90.0f, true);
  gr_set_color(255, 255, 0, 255);
  int drawn = 0;
  for (int i = 0; i < 8; i++)
    for (int bit = 1; bit < 8; bit <<= 1) {
      const int j = i | bit;
      if (j == i) continue;
      GrVertex va, vb;
      gr_3d_rotate_point(va, corners[i]);
      gr_3d_rotate_point(vb, corners[j]);
      ASSERT_EQ(va.codes | vb.codes, 0) << "the whole box is meant to be in view";
      gr_3d_project_point(va);
      gr_3d_project_point(vb);
      gr_opengl_line3d(&va, &vb, Flat);
      drawn++;
    }
  ASSERT_EQ(drawn, 12);
  const Image img = screenshot("wire_box");
  gr_flip();
  ASSERT_EQ(img.w, 640);
  ASSERT_EQ(img.h, 480);

  for (int i = 0; i < 8; i++) {
    float px, py;
    pinhole(eye, cam, corners[i], 0, 0, 640, 480, px, py);
    EXPECT_TRUE(colour_within_one(img, px, py, 255, 255, 0)) << "corner " << i << " at " << px << "," << py;
  }
  // Points along each edge lie on the drawn line too.
  for (int i = 0; i < 8; i++)
    for (int bit = 1; bit < 8; bit <<= 1) {
      const int j = i | bit;
      if (j == i) continue;
      const vector mid = (corners[i] + corners[j]) * 0.5f;
      float px, py;
      pinhole(eye, cam, mid, 0, 0, 640, 480, px, py);
      EXPECT_TRUE(colour_within_one(img, px, py, 255, 255, 0)) << "edge " << i << "-" << j;
    }
  // Lines, not a filled blot: yellow covers a small share of the screen.
  int yellow = 0;
  for (int y = 0; y < img.h; y++)
    for (int x = 0; x < img.w; x++) yellow += near_rgb(img.at(x, y), 255, 255, 0);
  EXPECT_GT(yellow, 300);
  EXPECT_LT(yellow, 4000);
  // Nothing where the box is not.
  EXPECT_TRUE(near_rgb(img.at(10, 10), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(630, 470), 0, 0, 0));
}

TEST_F(Gr3dProjection, PolygonIsClippedToTheViewNotSquashed) {
  // A 400 by 300 view at (100, 60): its right edge is x = 500 and its bottom
  // y = 360 on the screen.
  const int ox = 100, oy = 60, w = 400, h = 300;
  const vector eye{0, 0, 0};
  const vector a{-2, 1, 10}, b{30, 1, 10}, c{-2, -30, 10};  // b far right, c far below

  gr_reset_clip();
  gr_clear();
  gr_set_clip(ox, oy, w, h);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(eye, identity_matrix, 90.0f, true);
  GrVertex v[3];
  gr_3d_rotate_point(v[0], a);
  gr_3d_rotate_point(v[1], b);
  gr_3d_rotate_point(v[2], c);
  ASSERT_NE(v[1].codes & CLIP_RIGHT, 0);
  ASSERT_NE(v[2].codes & CLIP_BOTTOM, 0);
  GrVertex* list[8] = {&v[0], &v[1], &v[2]};
  const int n = gr_3d_clip_polygon(3, list);
  ASSERT_EQ(n, 4) << "cut by the right and the bottom planes, the far corner gone";
  for (int i = 0; i < n; i++) ASSERT_EQ(gr_3d_project_point(*list[i]) & PF_PROJECTED, PF_PROJECTED);
  gr_set_color(40, 200, 255, 255);
  gr_draw_polygon(n, list, Flat);
  gr_reset_clip();
  const Image img = screenshot("clipped_poly");
  gr_flip();
  ASSERT_EQ(img.w, 640);

  float ax, ay;
  pinhole(eye, identity_matrix, a, ox, oy, w, h, ax, ay);
  ASSERT_NEAR(ax, 260.0f, 1e-3f);
  ASSERT_NEAR(ay, 190.0f, 1e-3f);
  const int right = ox + w, bottom = oy + h;
  // The corner that stayed, and the three the clipper made on the edges.
  EXPECT_TRUE(colour_within_one(img, ax + 1, ay + 1, 40, 200, 255));
  EXPECT_TRUE(colour_within_one(img, right - 1.5f, ay + 1, 40, 200, 255));
  EXPECT_TRUE(colour_within_one(img, ax + 1, bottom - 1.5f, 40, 200, 255));
  // A triangle squashed onto the edges instead of cut would leave this
  // corner empty.
  EXPECT_TRUE(colour_within_one(img, right - 1.5f, bottom - 1.5f, 40, 200, 255));
  EXPECT_TRUE(near_rgb(img.at(right - 3, bottom - 3), 40, 200, 255));
  // Filled inside, empty outside the view and before the kept corner.
  EXPECT_TRUE(near_rgb(img.at(380, 275), 40, 200, 255));
  EXPECT_TRUE(near_rgb(img.at(right + 2, 275), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(380, bottom + 2), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(static_cast<int>(ax) - 3, 275), 0, 0, 0));
  EXPECT_TRUE(near_rgb(img.at(380, static_cast<int>(ay) - 3), 0, 0, 0));
}

TEST_F(Gr3dProjection, PickRayHitsWhatIsDrawnAtThePixel) {
  // A red square drawn on the ground; the ray through its projected centre
  // meets the ground at the square's centre.
  const vector eye{0, 5, -10};
  const matrix cam = matrix::from_angles(0.4f, 0.0f, 0.2f);
  const vector target{2.0f, 0.0f, 6.0f};

  gr_reset_clip();
  gr_clear();
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(eye, cam, 90.0f, true);
  GrVertex v[4];
  const vector q[4] = {target + vector{-1, 0, -1}, target + vector{1, 0, -1}, target + vector{1, 0, 1},
                       target + vector{-1, 0, 1}};
  GrVertex* list[9];
  for (int i = 0; i < 4; i++) {
    gr_3d_rotate_point(v[i], q[i]);
    ASSERT_EQ(v[i].codes, 0);
    gr_3d_project_point(v[i]);
    list[i] = &v[i];
  }
  gr_set_color(255, 0, 0, 255);
  gr_draw_polygon(4, list, Flat);
  const Image img = screenshot("pick");
  gr_flip();

  float px, py;
  pinhole(eye, cam, target, 0, 0, 640, 480, px, py);
  EXPECT_TRUE(colour_within_one(img, px, py, 255, 0, 0));
  vector origin, dir;
  gr_3d_screen_to_ray(origin, dir, px, py);
  ASSERT_LT(dir.y, 0.0f);
  const float t = -origin.y / dir.y;
  const vector hit = origin + dir * t;
  EXPECT_NEAR(hit.x, target.x, 1e-3f);
  EXPECT_NEAR(hit.z, target.z, 1e-3f);
}

}  // namespace

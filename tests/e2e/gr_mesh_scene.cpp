// A posed, lit hero on a real window (Xvfb, Mesa's software OpenGL): the
// demo hero, posed by a character instance six frames into its attack, stands
// in front of an opaque blue wall, lit by one orange
// point light, with a translucent green sprite and a red beam lying partly
// over it. The screenshot must show the figure inside the projected bounds
// of its skinned vertices, the lit side brighter and tinted toward the
// light, the translucent pixels blended far layer first, and the bright side
// following the light when it moves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/os/os.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"
#include "tools/writers/figure_writer.h"

namespace fs = std::filesystem;

namespace {

fs::path Tmp;
int Shots_type = -1;
BaseCharacter* Base = nullptr;
character_instance* Hero = nullptr;
VimMesh* Figure = nullptr;
std::vector<uint8_t> White(64 * 64 * 2, 0xff);

const vector Figure_pos(0.0f, -1.0f, 5.0f);
// The first demo hero's build (tools/make_demo/demo_characters.cpp).
const FigureSpec Hero_spec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}};

struct Bounds {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
};

Bounds figure_bounds() {
  Bounds b;
  for (int gi = 0; gi < Figure->group_count; gi++) {
    const VimGroup& g = Figure->groups[gi];
    for (int i = 0; i < g.vertex_count; i++) {
      vector p(0, 0, 0);
      for (int k = 0; k < 4; k++) {
        const int w = g.skin[8 * i + k];
        if (w) p += gl_screen_skin_point(Hero->skin[g.skin[8 * i + 4 + k]], g.positions[i]) * (w / 16.0f);
      }
      p += Figure_pos;
      float px, py;
      gl_screen_pinhole(p, px, py);
      b.x0 = std::min(b.x0, px), b.x1 = std::max(b.x1, px);
      b.y0 = std::min(b.y0, py), b.y1 = std::max(b.y1, py);
    }
  }
  return b;
}

bool near_rgb(const uint8_t* bgr, int r, int g, int b, int tol = 3) {
  return std::abs(bgr[2] - r) <= tol && std::abs(bgr[1] - g) <= tol && std::abs(bgr[0] - b) <= tol;
}
bool is_wall(const uint8_t* p) { return near_rgb(p, 0, 0, 255); }
bool is_black(const uint8_t* p) { return near_rgb(p, 0, 0, 0); }

// Draws the scene: the wall, the figure lit from `light_x`, and optionally
// the sprite and beam; the translucent polygons replayed as the flip does.
ScreenImage draw_scene(const char* name, float light_x, bool translucent) {
  gr_reset_clip();
  gr_clear();
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, true);

  // The wall: opaque, untextured, depth written.
  gr_set_bitmap(-1);
  gr_set_color(0, 0, 255, 255);
  GrVertex wall[4];
  const vector corners[4] = {{-9, 7, 9}, {9, 7, 9}, {9, -7, 9}, {-9, -7, 9}};  // the whole view
  GrVertex* list[4];
  for (int i = 0; i < 4; i++) {
    gr_3d_rotate_point(wall[i], corners[i]);
    list[i] = &wall[i];
  }
  EXPECT_TRUE(gr_3d_draw_poly(4, list, RenderStateWord(0, 0, 0, 0, 4, 0)));

  lights_reset();
  lights_set_ambient(0.15f, 0.15f, 0.15f);
  light_create_point(vector(light_x, 0.3f, 4.5f), 1.5f, 5.0f, 1.0f, 1.0f, 0.6f, 0.3f, false);
  gr_mesh_set_current(Figure);
  gr_mesh_set_character(Base, Hero);
  MeshDrawRecord rec;
  gr_mesh_render(Figure_pos, identity_matrix, rec);
  gr_mesh_set_character(nullptr, nullptr);

  if (translucent) {
    // The sprite is nearer and recorded first; the beam behind it must still
    // be drawn first.
    const RenderStateWord blend(0, 0, 0, 3, 1, 0);
    gr_set_color(0, 255, 0, 128);
    EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(0.9f, 0.5f, 4.0f), 0.0f, 1.6f, 1.2f, blend));
    gr_set_color(255, 0, 0, 128);
    EXPECT_TRUE(gr_3d_draw_beam(vector(0.6f, 0.9f, 5.0f), vector(3.0f, 0.9f, 5.0f), 0.6f, blend));
    EXPECT_EQ(gr_alpha_record_count(), 2);
  }
  gr_alpha_flush();
  const ScreenImage img = gl_screen_shot(Tmp / "screenshots", name, Shots_type);
  gr_flip();
  return img;
}

struct Halves {
  double left = 0, right = 0;
  double r = 0, g = 0, b = 0;
  int count = 0;
};

// Brightness of the figure's pixels in the left and right halves of its bounds.
Halves figure_halves(const ScreenImage& img, const Bounds& bb) {
  Halves h;
  int nl = 0, nr = 0;
  const float mid = (bb.x0 + bb.x1) * 0.5f;
  for (int y = static_cast<int>(bb.y0); y <= static_cast<int>(bb.y1); y++)
    for (int x = static_cast<int>(bb.x0); x <= static_cast<int>(bb.x1); x++) {
      const uint8_t* p = img.at(x, y);
      if (is_wall(p) || is_black(p)) continue;
      const double lum = p[0] + p[1] + p[2];
      if (x < mid) {
        h.left += lum;
        nl++;
      } else {
        h.right += lum;
        nr++;
      }
      h.r += p[2];
      h.g += p[1];
      h.b += p[0];
      h.count++;
    }
  if (nl) h.left /= nl;
  if (nr) h.right /= nr;
  return h;
}

// The scene drawn with another renderer, the screen given back to OpenGL
// after.
ScreenImage draw_scene_with(int renderer, int mode, const char* name) {
  const auto open = [](int r, int m) {
    gr_close();
    gr_init(640, 480, r, m, os_get_window(), false);
    gr_fade_in(0);
    gr_set_aspect(1.0f);
  };
  open(renderer, mode);
  const ScreenImage img = draw_scene(name, 2.5f, true);
  open(GR_OPENGL, GR_WINDOWED);
  return img;
}

class GrMeshScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr_mesh_scene");
    fs::create_directories(Tmp / "screenshots");
    vfile_set_root(Tmp.c_str(), false);
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Mesh Scene Test"));
    gr_set_aspect(1.0f);
    // The figure and its pose as files of the installation, loaded as the
    // game loads a character kind.
    ASSERT_TRUE(vim_write_file((Tmp / "ruvizo.vim").string(), figure_mesh(Hero_spec, 0)));
    ASSERT_TRUE(mvf_write_file((Tmp / "ruvizo_attack.mvf").string(), figure_anim(Hero_spec, FigureMotion::attack, 8)));
    character_instance_system_init(-1);
    const char* names[] = {"ruvizo"};
    Base = base_character_load(names, 1, nullptr, nullptr);
    ASSERT_NE(Base, nullptr);
    const int attack = base_character_add_skeleton(Base, "ruvizo_attack.mvf", "attack", 0, 0, 0, 0);
    ASSERT_GE(attack, 0);
    Figure = Base->current->mesh;
    const int white = bm_create(BM_FORMAT_565, 64, 64, White.data());
    Figure->bitmaps[0] = Figure->bitmaps[1] = white;
    Figure->bitmap_count = 2;
    Hero = new character_instance(Base);
    Hero->start_anim(attack, 1.0f, 1, 1.0f);
    Hero->process(0.2f, 0, 0);  // six frames: the arm raised
    Hero->setup_matrices();
    ASSERT_NE(Hero->skin, nullptr);
  }
  static void TearDownTestSuite() {
    gr_mesh_set_current(nullptr);
    delete Hero;
    Hero = nullptr;
    Figure = nullptr;
    character_instance_system_shutdown();
    gl_screen_close();
  }
};

TEST_F(GrMeshScene, FigureIsPosedLitAndOverlaidByTranslucentShapes) {
  const Bounds bb = figure_bounds();
  const ScreenImage lit_right = draw_scene("figure_right", 2.5f, false);
  ASSERT_EQ(lit_right.w, 640);

  // Every figure pixel lies inside the projected bounds of the skinned
  // vertices (one pixel of rasterising slack), and the figure fills a good
  // share of them.
  int inside = 0, outside = 0;
  for (int y = 0; y < lit_right.h; y++)
    for (int x = 0; x < lit_right.w; x++) {
      const uint8_t* p = lit_right.at(x, y);
      if (is_wall(p) || is_black(p)) continue;
      if (x >= bb.x0 - 1 && x <= bb.x1 + 1 && y >= bb.y0 - 1 && y <= bb.y1 + 1)
        inside++;
      else
        outside++;
    }
  EXPECT_EQ(outside, 0);
  EXPECT_GT(inside, static_cast<int>((bb.x1 - bb.x0) * (bb.y1 - bb.y0) * 0.4f));

  // The side toward the light is brighter, and the lit figure leans to the
  // light's orange: more red than green, more green than blue.
  const Halves h = figure_halves(lit_right, bb);
  ASSERT_GT(h.count, 100);
  EXPECT_GT(h.right, h.left * 1.3);
  EXPECT_GT(h.r, h.g * 1.2);
  EXPECT_GT(h.g, h.b * 1.2);

  // Moving the light to the other side moves the bright side.
  const ScreenImage lit_left = draw_scene("figure_left", -2.5f, false);
  const Halves hl = figure_halves(lit_left, bb);
  EXPECT_GT(hl.left, hl.right * 1.3);

  // The translucent sprite and beam: each pixel is its layers blended, the
  // beam (farther) first, then the sprite. Sample points worked out from
  // the pinhole: the sprite spans x 0.1..1.7, y -0.1..1.1 at depth 4; the
  // beam y 0.6..1.2 from x 0.6 to 3.0 at depth 5.
  const ScreenImage over = draw_scene("figure_overlaid", 2.5f, true);
  auto px = [](float x, float y, float z, int& ix, int& iy) {
    float fx, fy;
    gl_screen_pinhole(vector(x, y, z), fx, fy);
    ix = static_cast<int>(fx);
    iy = static_cast<int>(fy);
  };
  int x, y;
  // Sprite alone over the wall: half green, half blue.
  px(1.5f, 0.0f, 4.0f, x, y);
  EXPECT_TRUE(near_rgb(over.at(x, y), 0, 128, 127)) << x << "," << y;
  // Beam alone over the wall (beyond the sprite's right edge).
  px(2.8f, 0.9f, 5.0f, x, y);
  EXPECT_TRUE(near_rgb(over.at(x, y), 128, 0, 127)) << x << "," << y;
  // Both over the wall: the sprite over (the beam over the wall). Drawn the
  // other way round it would be (128, 64, 63).
  px(1.5f, 0.9f, 4.0f, x, y);
  const uint8_t* both = over.at(x, y);
  EXPECT_TRUE(near_rgb(both, 64, 128, 63)) << int(both[2]) << " " << int(both[1]) << " " << int(both[0]);
  // Over the figure, below the beam: half green over the figure's own pixel.
  int x0, y0, x1, y1;
  px(0.15f, 0.55f, 4.0f, x0, y0);  // inside the sprite, under the beam's lower edge
  px(1.65f, -0.05f, 4.0f, x1, y1);
  int on_figure = 0;
  for (int yy = y0; yy <= y1; yy++)
    for (int xx = x0; xx <= x1; xx++) {
      const uint8_t* under = lit_right.at(xx, yy);
      if (is_wall(under)) continue;
      on_figure++;
      const uint8_t* p = over.at(xx, yy);
      EXPECT_TRUE(near_rgb(p, under[2] / 2, 128 + under[1] / 2, under[0] / 2, 3))
          << xx << "," << yy << ": " << int(p[2]) << " " << int(p[1]) << " " << int(p[0]);
    }
  EXPECT_GT(on_figure, 20) << "the sprite must lie partly over the figure";
  // Away from the translucent shapes the picture is unchanged.
  px(-0.3f, -0.5f, 6.0f, x, y);
  EXPECT_TRUE(near_rgb(over.at(x, y), lit_right.at(x, y)[2], lit_right.at(x, y)[1], lit_right.at(x, y)[0], 1));
}

}  // namespace

namespace {

// The same scene with the Glide renderer on our Glide library: the lit,
// skinned figure, the wall and the translucent shapes match OpenGL's picture
// within the card's 5-6-5 read-back.
TEST_F(GrMeshScene, GlideDrawsTheSameLitFigureAsOpenGL) {
  const ScreenImage gl = draw_scene("figure_opengl", 2.5f, true);
  const ScreenImage glide = draw_scene_with(GR_GLIDE, GR_FULLSCREEN, "figure_glide");
  ASSERT_EQ(glide.w, gl.w);
  ASSERT_EQ(glide.h, gl.h);
  int worst = 0;
  const double share = gl_screen_share_alike(gl, glide, 8, &worst);
  EXPECT_GE(share, 0.99) << share * 100 << "% alike, worst difference " << worst;
}

}  // namespace

namespace {

// The same scene with the Direct3D renderer on our DirectDraw/Direct3D
// layer, in a window: matches OpenGL's picture within the 5-6-5 read-back.
TEST_F(GrMeshScene, Direct3DDrawsTheSameLitFigureAsOpenGL) {
  const ScreenImage gl = draw_scene("figure_opengl_d3d", 2.5f, true);
  const ScreenImage d3d = draw_scene_with(GR_DIRECT3D, GR_WINDOWED, "figure_d3d");
  ASSERT_EQ(d3d.w, gl.w);
  ASSERT_EQ(d3d.h, gl.h);
  int worst = 0;
  const double share = gl_screen_share_alike(gl, d3d, 8, &worst);
  std::printf("Direct3D figure: %.4f of the pixels within 8 levels of OpenGL, worst difference %d\n", share, worst);
  // The figure covers under 1% of the picture, so a bar of 99% would pass
  // with no figure drawn at all; the two pictures differ only at edges.
  EXPECT_GE(share, 0.999) << share * 100 << "% alike, worst difference " << worst;
}

}  // namespace

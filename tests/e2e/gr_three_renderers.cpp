// One scene through the three renderers on a real window (Xvfb, Mesa's
// software OpenGL): a lit, skinned hero under a point and a spot light, a
// second figure in fog, translucent quads at three depths, a polygon over a
// 300x300 bitmap, a translucent textured quad, 3D lines, and 2D bitmaps of
// 300x200 and 300x300 with a sub-rectangle of one. Direct3D runs with
// -vertexfog, so the fogged figure takes its fog from its vertices. Every
// pair of renderers must agree on nearly every pixel; the small differences
// left are the 16-bit textures and read-back of Glide and Direct3D.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/gr/gr_tile.h"
#include "quarn/os/cmdline.h"
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
std::vector<uint8_t> Wide_px, Square_px, Glass_px;
int Wide = -1, Square = -1, Glass = -1;

const FigureSpec Hero_spec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}};

// A picture in which a squashed, shifted or enlarged copy shows: smooth
// ramps across and down, a checker of 10 by 12 texels that lifts blue by 60
// levels, and a white border 3 texels wide. The checker's steps are small
// enough that Glide's snapping of positions to 1/16 pixel moves a filtered
// edge by less than the comparison's 8 levels, and large enough that a
// picture at the wrong place or scale differs everywhere.
void fill_picture(std::vector<uint8_t>& px, int w, int h, int seed) {
  px.assign(static_cast<size_t>(w) * h * 3, 0);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 3];
      const bool border = x < 3 || y < 3 || x >= w - 3 || y >= h - 3;
      const int checker = ((x / 10) + (y / 12)) & 1;
      p[0] = border ? 255 : static_cast<uint8_t>(60 + checker * 60 + seed % 60);
      p[1] = border ? 255 : static_cast<uint8_t>(y * 255 / h);
      p[2] = border ? 255 : static_cast<uint8_t>(x * 255 / w);
    }
}

GrVertex view_point(const vector& world) {
  GrVertex v;
  gr_3d_rotate_point(v, world);
  return v;
}

// A quad at depth 6 between the corners (left, top) and (right, bottom),
// showing the whole bitmap through the tiled path.
void textured_panel(int bitmap, float left, float top, float right, float bottom) {
  const vector corners[4] = {{left, top, 6}, {right, top, 6}, {right, bottom, 6}, {left, bottom, 6}};
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  GrVertex v[4];
  GrLayeredVertex lv[4];
  GrLayeredVertex* list[4];
  for (int i = 0; i < 4; i++) {
    v[i] = view_point(corners[i]);
    gr_3d_project_point(v[i]);
    lv[i].vertex = &v[i];
    lv[i].layer[0] = GrLayerVertexData{uv[i][0], uv[i][1], 255, 255, 255, 255};
    list[i] = &lv[i];
  }
  GrLayer layer = {};
  layer.state = RenderStateWord(2, 2, 3, 0, 4, 3);
  layer.bitmap = bitmap;
  layer.use_layer_uv = 1;
  layer.r = layer.g = layer.b = layer.a = 255;
  EXPECT_GT(gr_draw_polygon_tiled(4, list, 1, &layer), 0);
}

// Screen box of the panel, a few pixels inside its edges.
struct Box {
  int x0, y0, x1, y1;
};
Box panel_box(float left, float top, float right, float bottom) {
  float x0, y0, x1, y1;
  gl_screen_pinhole(vector(left, top, 6), x0, y0);
  gl_screen_pinhole(vector(right, bottom, 6), x1, y1);
  return {static_cast<int>(x0) + 3, static_cast<int>(y0) + 3, static_cast<int>(x1) - 3, static_cast<int>(y1) - 3};
}

double share_alike_in(const ScreenImage& a, const ScreenImage& b, const Box& box, int tolerance) {
  int alike = 0, total = 0;
  for (int y = box.y0; y < box.y1; y++)
    for (int x = box.x0; x < box.x1; x++) {
      const uint8_t* p = a.at(x, y);
      const uint8_t* q = b.at(x, y);
      bool ok = true;
      for (int c = 0; c < 3; c++) ok = ok && std::abs(p[c] - q[c]) <= tolerance;
      alike += ok;
      total++;
    }
  return total ? static_cast<double>(alike) / total : 0.0;
}

bool near_bgr(const uint8_t* p, int b, int g, int r, int tol) {
  return std::abs(p[0] - b) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - r) <= tol;
}

void draw_scene() {
  gr_reset_clip();
  gr_clear();
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, true);

  // The wall, opaque and untextured.
  gr_set_bitmap(-1);
  gr_set_color(40, 40, 90, 255);
  {
    const vector corners[4] = {{-13, 10, 12}, {13, 10, 12}, {13, -10, 12}, {-13, -10, 12}};
    GrVertex v[4];
    GrVertex* list[4];
    for (int i = 0; i < 4; i++) v[i] = view_point(corners[i]), list[i] = &v[i];
    EXPECT_TRUE(gr_3d_draw_poly(4, list, RenderStateWord(0, 0, 0, 0, 4, 0)));
  }

  // Polygons over the 300x300 and the 300x200 bitmap in the left column:
  // every texture section shows, cut along the section lines where a
  // renderer needs it.
  textured_panel(Square, -4.6f, 3.4f, -1.2f, 0.3f);
  textured_panel(Wide, -4.6f, -0.2f, -1.2f, -2.5f);

  // The hero, lit by an orange point light and a blue-white spot from above.
  lights_reset();
  lights_set_ambient(0.15f, 0.15f, 0.15f);
  light_create_point(vector(2.0f, 0.3f, 4.5f), 1.5f, 5.0f, 1.0f, 1.0f, 0.6f, 0.3f, false);
  light_create_spot(vector(-0.5f, 3.0f, 4.0f), vector(0.0f, -1.0f, 5.0f), 20.0f, 40.0f, 3.0f, 7.0f, 1.0f, 0.6f,
                    0.7f, 1.0f, false);
  gr_mesh_set_current(Figure);
  gr_mesh_set_character(Base, Hero);
  MeshDrawRecord rec;
  gr_mesh_render(vector(0.0f, -1.0f, 5.0f), identity_matrix, rec);

  // A second figure further off on the right, nearly lost in grey fog. The
  // renderers fog along different curves (OpenGL on the depth value, Glide
  // through its table on w, Direct3D's vertex fog on the view depth), which
  // meet towards the fog's far end.
  gr_fog_set(true, 128, 128, 128, 2.5f, 10.0f);
  gr_mesh_render(vector(6.4f, -1.2f, 9.5f), identity_matrix, rec);
  gr_fog_set(false, 0, 0, 0, -1.0f, -1.0f);
  gr_mesh_set_character(nullptr, nullptr);

  // 3D lines: a frame round the hero's feet and a diagonal.
  gr_set_color(255, 255, 0, 255);
  const RenderStateWord line_state(0, 0, 0, 0, 1, 3);
  const vector box[4] = {{-1.2f, -2.0f, 4.4f}, {1.2f, -2.0f, 4.4f}, {1.2f, -2.6f, 4.4f}, {-1.2f, -2.6f, 4.4f}};
  for (int i = 0; i < 4; i++) EXPECT_TRUE(gr_3d_draw_line_world(box[i], box[(i + 1) % 4], line_state));
  EXPECT_TRUE(gr_3d_draw_line_world(vector(1.5f, 1.5f, 6.0f), vector(4.0f, -0.5f, 6.0f), line_state));

  // Translucent quads at three depths, recorded nearest first, and a
  // translucent textured quad.
  const RenderStateWord blend(0, 0, 0, 3, 1, 0);
  gr_set_color(0, 255, 0, 110);
  EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(1.4f, 1.3f, 3.5f), 0.0f, 1.2f, 1.0f, blend));
  gr_set_color(255, 0, 0, 110);
  EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(1.9f, 1.0f, 4.5f), 0.0f, 1.6f, 1.4f, blend));
  gr_set_color(0, 80, 255, 110);
  EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(2.5f, 0.7f, 6.0f), 0.0f, 2.4f, 2.0f, blend));
  gr_set_bitmap(Glass);
  gr_set_color(255, 255, 255, 150);
  EXPECT_TRUE(gr_3d_draw_rect_sprite(vector(1.0f, 2.2f, 5.5f), 0.0f, 1.6f, 1.2f, RenderStateWord(2, 2, 0, 3, 1, 0)));
  gr_set_bitmap(-1);
  gr_alpha_flush();

  // 2D: the 300x200 and 300x300 bitmaps, one clipped by the screen's edge,
  // and a 120x100 part of the square one.
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(Wide, 10, 390, Gr_preset[1]);
  gr_bitmap(Square, 420, 300, Gr_preset[1]);
  gr_bitmap_ex(Square, 500, 10, 120, 100, 170, 190, Gr_preset[1]);
  // A vertical and a horizontal 2D line in a clear corner.
  gr_set_color(255, 255, 0, 255);
  gr_line(600, 130, 600, 200, Gr_preset[7]);
  gr_line(560, 220, 630, 220, Gr_preset[7]);
}

class GrThreeRenderers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("gr_three_renderers");
    fs::create_directories(Tmp / "screenshots");
    ASSERT_TRUE(gl_screen_write_test_data(Tmp));
    vfile_set_root(Tmp.c_str(), false);
    vfile_add_path_type("data\\fonts", ".vf");
    vfile_add_path_type("data\\interface", ".tga");
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    // Direct3D fogs from the vertices.
    cmdline_set_text("orrimund -vertexfog");
    cmdline_parse();
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Three Renderers Test"));
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
    Hero->process(0.2f, 0, 0);
    Hero->setup_matrices();
    ASSERT_NE(Hero->skin, nullptr);
    fill_picture(Wide_px, 300, 200, 11);
    fill_picture(Square_px, 300, 300, 77);
    fill_picture(Glass_px, 64, 64, 140);
    Wide = bm_create(BM_FORMAT_BGR24, 300, 200, Wide_px.data());
    Square = bm_create(BM_FORMAT_BGR24, 300, 300, Square_px.data());
    Glass = bm_create(BM_FORMAT_BGR24, 64, 64, Glass_px.data());
  }
  static void TearDownTestSuite() {
    gr_mesh_set_current(nullptr);
    delete Hero;
    Hero = nullptr;
    Figure = nullptr;
    character_instance_system_shutdown();
    gl_screen_close();
    cmdline_set_text(nullptr);
    cmdline_reset();
  }
  static void open(int renderer) {
    gr_close();
    gr_init(640, 480, renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
    gr_fade_in(0);
    gr_set_aspect(1.0f);
  }
  static ScreenImage draw_with(int renderer, const char* name) {
    gr_close();
    gr_init(640, 480, renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
    gr_fade_in(0);
    gr_set_aspect(1.0f);
    if (renderer == GR_DIRECT3D) {
      EXPECT_EQ(gr_d3d_fog_mode(), 3);
    }
    draw_scene();
    const ScreenImage img = gl_screen_shot(Tmp / "screenshots", name, Shots_type);
    gr_flip();
    gr_close();
    gr_init(640, 480, GR_OPENGL, GR_WINDOWED, os_get_window(), false);
    return img;
  }
};

TEST_F(GrThreeRenderers, EveryPairAgreesOnNearlyEveryPixel) {
  const ScreenImage gl = draw_with(GR_OPENGL, "three_opengl");
  const ScreenImage d3d = draw_with(GR_DIRECT3D, "three_direct3d");
  const ScreenImage glide = draw_with(GR_GLIDE, "three_glide");
  ASSERT_EQ(gl.w, 640);
  ASSERT_EQ(d3d.w, 640);
  ASSERT_EQ(glide.w, 640);
  struct Pair {
    const char* name;
    const ScreenImage& a;
    const ScreenImage& b;
  } pairs[] = {{"OpenGL-Direct3D", gl, d3d}, {"OpenGL-Glide", gl, glide}, {"Direct3D-Glide", d3d, glide}};
  for (const Pair& p : pairs) {
    int worst = 0;
    const double share = gl_screen_share_alike(p.a, p.b, 8, &worst);
    std::printf("%s: %.4f of the pixels within 8 levels, worst difference %d\n", p.name, share, worst);
    EXPECT_GE(share, 0.995) << p.name << ": " << share * 100 << "% alike, worst difference " << worst;
  }
  // Inside the panels over the large bitmaps, Glide (which draws them in
  // 256-texel tiles) and Direct3D (in one texture each, with the same 16-bit
  // texels) agree closely: a tile addressed at the wrong scale is a small
  // share of the screen but a large one of its panel.
  const Box boxes[2] = {panel_box(-4.6f, 3.4f, -1.2f, 0.3f), panel_box(-4.6f, -0.2f, -1.2f, -2.5f)};
  for (const Box& b : boxes) {
    const double share = share_alike_in(d3d, glide, b, 8);
    EXPECT_GE(share, 0.99) << "the panel at " << b.x0 << "," << b.y0 << ": " << share * 100 << "%";
  }
  // The 120x100 part stays inside its destination (500..620, 10..110): the
  // wall shows just beyond it, the bitmap inside it.
  for (const ScreenImage* img : {&gl, &d3d, &glide}) {
    EXPECT_TRUE(near_bgr(img->at(628, 60), 90, 40, 40, 10));
    EXPECT_TRUE(near_bgr(img->at(560, 130), 90, 40, 40, 10));
    EXPECT_FALSE(near_bgr(img->at(560, 60), 90, 40, 40, 10));
  }
  // The far figure is fogged everywhere (and faded by distance, so the wall
  // shows through): unfogged, its grey and the wall's red are both about 40;
  // the grey fog lifts its red well above that.
  for (const ScreenImage* img : {&gl, &d3d, &glide}) {
    const char* which = img == &gl ? "OpenGL" : img == &d3d ? "Direct3D" : "Glide";
    EXPECT_GE(img->at(536, 240)[2], 56) << which;
    EXPECT_LE(img->at(536, 240)[2], 90) << which;
  }
  // The 2D lines cover the same pixels everywhere: column 600 and row 220.
  for (const ScreenImage* img : {&gl, &d3d, &glide}) {
    const char* which = img == &gl ? "OpenGL" : img == &d3d ? "Direct3D" : "Glide";
    EXPECT_TRUE(near_bgr(img->at(600, 165), 0, 255, 255, 10)) << which;
    EXPECT_TRUE(near_bgr(img->at(599, 165), 90, 40, 40, 10)) << which;
    EXPECT_TRUE(near_bgr(img->at(601, 165), 90, 40, 40, 10)) << which;
    EXPECT_TRUE(near_bgr(img->at(590, 220), 0, 255, 255, 10)) << which;
    EXPECT_TRUE(near_bgr(img->at(590, 219), 90, 40, 40, 10)) << which;
    EXPECT_TRUE(near_bgr(img->at(590, 221), 90, 40, 40, 10)) << which;
  }
}


// Small pictures of 16x16, 8x24 and 24x8, each its own colour ramp.
std::vector<std::vector<uint8_t>> Small_px;
std::vector<int> Small;

void make_small_bitmaps() {
  if (!Small.empty()) return;
  const int sizes[][2] = {{16, 16}, {8, 24}, {24, 8}};
  for (int i = 0; i < 12; i++) {
    const int w = sizes[i % 3][0], h = sizes[i % 3][1];
    Small_px.emplace_back(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint8_t* p = &Small_px.back()[(static_cast<size_t>(y) * w + x) * 3];
        p[0] = static_cast<uint8_t>(i * 20), p[1] = static_cast<uint8_t>(x * 10), p[2] = static_cast<uint8_t>(y * 10);
      }
    Small.push_back(bm_create(BM_FORMAT_BGR24, w, h, Small_px.back().data()));
  }
}

// A 2D screen as the HUD draws one: text, many small bitmaps overlapping in
// a set order, rectangles between them, scaled and partial bitmaps, and a
// bitmap whose pixels change between two of its draws.
void draw_screen_2d(int font, int quads) {
  gr_reset_clip();
  gr_clear();
  for (int row = 0; row < 6; row++) {
    gr_set_color(255, 60 + row * 30, 255 - row * 30, 255);
    gr_string(10, 10 + row * 14, "Sphinx of black quartz, judge my vow", font, Gr_preset[1]);
  }
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < 300; i++) {
    gr_bitmap(Small[i % Small.size()], 20 + (i * 37) % 580, 110 + (i * 53) % 250, Gr_preset[1]);
    if (i % 50 == 25) {
      gr_set_color(0, 200, 50, 255);
      gr_rect(20 + (i * 7) % 500, 120 + (i * 11) % 200, 40, 30, Gr_preset[7]);
      gr_set_color(255, 255, 255, 255);
    }
  }
  gr_bitmap(quads, 400, 380, Gr_preset[1]);
  gr_bitmap_scaled(quads, 450, 380, 64, 48, 0, 0, 32, 32, Gr_preset[1]);
  gr_bitmap_ex(quads, 530, 380, 16, 16, 8, 8, Gr_preset[1]);
  gr_set_color(255, 255, 0, 255);
  gr_string(20, 420, "The end of the screen", font, Gr_preset[1]);
  // The same small bitmap before and after its pixels change.
  const int changing = Small[0];
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(changing, 100, 440, Gr_preset[1]);
  for (size_t i = 0; i < Small_px[0].size(); i += 3) Small_px[0][i] = 250;
  gr_texture_mark_dirty(changing);
  gr_bitmap(changing, 140, 440, Gr_preset[1]);
  for (size_t i = 0; i < Small_px[0].size(); i += 3) Small_px[0][i] = 0;
  gr_texture_mark_dirty(changing);
}

TEST_F(GrThreeRenderers, BatchedTwoDShowsThePixelsOfDrawingEachBitmapAlone) {
  make_small_bitmaps();
  const int quads = bm_load("quads.tga");
  ASSERT_GE(quads, 0);
  const struct {
    int renderer;
    const char* name;
  } renderers[] = {{GR_OPENGL, "opengl"}, {GR_DIRECT3D, "direct3d"}, {GR_GLIDE, "glide"}};
  for (const auto& r : renderers) {
    SCOPED_TRACE(r.name);
    open(r.renderer);
    const int font = gr_font_load("blocks.vf");  // fonts go with the screen
    ASSERT_GE(font, 0);
    gr_batch_2d(false);
    draw_screen_2d(font, quads);
    const ScreenImage alone = gl_screen_shot(Tmp / "screenshots", (std::string("alone_") + r.name).c_str(), Shots_type);
    gr_flip();
    gr_batch_2d(true);
    draw_screen_2d(font, quads);
    const ScreenImage batched =
        gl_screen_shot(Tmp / "screenshots", (std::string("batched_") + r.name).c_str(), Shots_type);
    gr_flip();
    ASSERT_EQ(alone.w, 640);
    ASSERT_EQ(batched.w, 640);
    int worst = 0;
    EXPECT_EQ(gl_screen_share_alike(alone, batched, 0, &worst), 1.0) << "worst difference " << worst;
    // The changed bitmap shows its old blue first and its new blue after.
    EXPECT_LE(batched.at(104, 444)[0], 10);
    EXPECT_GE(batched.at(144, 444)[0], 240);
    // The text is there: the blocky glyphs of the first line.
    int lit = 0;
    for (int x = 10; x < 300; x++) lit += batched.at(x, 14)[2] > 200;
    EXPECT_GT(lit, 100);
  }
  open(GR_OPENGL);
}

}  // namespace

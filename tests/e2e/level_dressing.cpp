// What a player sees of the world's dressing on the demo levels, under
// Xvfb: the same view of both levels drawn by OpenGL, Direct3D and Glide
// agrees; snow falls and its flakes move; a hit's blood stays for its time
// and is gone after; a lamp's glow grows while the lamp is seen and shrinks
// when a screen comes between it and the camera; the selected hero stands
// in its ring.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Engine/Objects/living_entity.h"
#include "Engine/rendering/decal.h"
#include "Engine/rendering/lampglow.h"
#include "Engine/rendering/levelrender.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/rendering/snow.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/fs_paths.h"
#include "Orrimund/ground_marks.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"
#include "tools/writers/demo_level_layouts.h"

namespace fs = std::filesystem;

namespace {

fs::path Root;
int Shots_type = -1;
vector Cam_eye;
matrix Cam_orient;

bool camera(vector* eye, matrix* orient, float* fov) {
  *eye = Cam_eye;
  *orient = Cam_orient;
  *fov = 90.0f;
  return true;
}

void look(const vector& eye, const vector& target) {
  Cam_eye = eye;
  Cam_orient = matrix::from_forward(target - eye);
}

const char* Level_file = nullptr;

void load_level(const char* file, const char* name) {
  s3d_unload(&Level);
  ASSERT_EQ(s3d_load(file, &Level), 0) << file;
  s3d_preload_textures(&Level);
  ASSERT_EQ(vis_load(name), 0);
  level_render_setup(file);
  Level_file = file;
  fog_set_colour(0, 0, 0);
  Vis_previous_layer = -1;
  fog_apply_zone(0);
}

void use_renderer(int renderer) {
  levelrender_release_vertex_buffer();
  gr_close();
  gr_init(640, 480, renderer, renderer == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
  gr_fade_in(0);
  gr_set_aspect(1.0f);
  levelrender_create_vertex_buffer();
}

ScreenImage frame(const char* shot) {
  gr_reset_clip();
  gr_clear();
  scene_render();
  const ScreenImage img = gl_screen_shot(Root / "screenshots", shot, Shots_type);
  gr_flip();
  return img;
}

// Pixels that differ by more than `tolerance` in some channel.
int pixels_changed(const ScreenImage& a, const ScreenImage& b, int tolerance) {
  int n = 0;
  for (size_t i = 0; i + 2 < a.bgr.size() && i + 2 < b.bgr.size(); i += 3)
    for (int c = 0; c < 3; c++)
      if (std::abs(a.bgr[i + c] - b.bgr[i + c]) > tolerance) {
        n++;
        break;
      }
  return n;
}

// Share of 8 x 8 blocks whose mean colours lie within `tolerance` levels.
double blocks_alike(const ScreenImage& a, const ScreenImage& b, int tolerance) {
  if (a.w != b.w || a.h != b.h || a.w < 8) return 0.0;
  int alike = 0, all = 0;
  for (int by = 0; by + 8 <= a.h; by += 8)
    for (int bx = 0; bx + 8 <= a.w; bx += 8) {
      double sum[3] = {0, 0, 0};
      for (int y = by; y < by + 8; y++)
        for (int x = bx; x < bx + 8; x++)
          for (int c = 0; c < 3; c++) sum[c] += a.at(x, y)[c] - b.at(x, y)[c];
      bool ok = true;
      for (double d : sum) ok = ok && std::fabs(d / 64.0) <= tolerance;
      alike += ok;
      all++;
    }
  return static_cast<double>(alike) / all;
}

struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb patch(const ScreenImage& img, int cx, int cy, int half = 4) {
  Rgb m;
  int n = 0;
  for (int y = cy - half; y <= cy + half; y++)
    for (int x = cx - half; x <= cx + half; x++) {
      const uint8_t* p = img.at(x, y);
      m.b += p[0], m.g += p[1], m.r += p[2];
      n++;
    }
  m.r /= n, m.g /= n, m.b /= n;
  return m;
}

class LevelDressing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = test_scratch_root("level_dressing");
    ASSERT_TRUE(write_demo_world(Root)) << "make_demo failed";
    vfile_set_root(Root.c_str(), false);
    fs_register_path_types();
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Level Dressing Test"));
    gr_set_aspect(1.0f);
    SceneServices s{};
    s.camera = camera;
    scene_set_services(s);
    Scene_options.level_detail = 0;
  }
  static void TearDownTestSuite() {
    level_render_reset();
    s3d_unload(&Level);
    gl_screen_close();
  }
  void SetUp() override {
    timer_game_clock = 1000;
    FrameTimer = 0.05f;
  }
};

// The same views through the three renderers: walls with lightmaps and
// ground with prelit colours come out alike.
TEST_F(LevelDressing, ThreeRenderersDrawTheLevelsAlike) {
  struct View {
    const char* file;
    const char* name;
    vector eye, target;
  } views[] = {{DEMO_LEVEL_INDOOR, "demo_indoor", vector(-2.0f, 2.0f, -3.0f), vector(-11.0f, 1.0f, 3.0f)},
               {DEMO_LEVEL_OUTDOOR, "demo_outdoor", vector(0.0f, 8.0f, -20.0f), vector(0.0f, 0.0f, 0.0f)}};
  for (const View& v : views) {
    ScreenImage img[3];
    const int renderers[3] = {GR_OPENGL, GR_DIRECT3D, GR_GLIDE};
    const char* names[3] = {"opengl", "direct3d", "glide"};
    for (int r = 0; r < 3; r++) {
      use_renderer(renderers[r]);
      ASSERT_NO_FATAL_FAILURE(load_level(v.file, v.name));
      // Fog on, but beginning past the level under every renderer: the
      // renderers' fog curves differ by their own rules (Glide's table runs
      // linear in distance from a quarter of the far distance, the others
      // linear in depth from half of it), for every mesh alike, and that is
      // no part of how the level paths draw.
      fog_set(500.0f, 600.0f);
      look(v.eye, v.target);
      const std::string shot = std::string(v.name) + "_" + names[r];
      img[r] = frame(shot.c_str());
      ASSERT_EQ(img[r].w, 640) << shot;
    }
    use_renderer(GR_OPENGL);
    const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& p : pairs) {
      int worst = 0;
      const double share = gl_screen_share_alike(img[p[0]], img[p[1]], 8, &worst);
      const double blocks = blocks_alike(img[p[0]], img[p[1]], 8);
      std::printf("%s %s-%s: %.4f of pixels and %.4f of 8x8 blocks within 8 levels, worst pixel %d\n", v.name,
                  names[p[0]], names[p[1]], share, blocks, worst);
      // The demo's art keeps levels every card's texture formats carry, so
      // what is left is edges: Glide's vertex snap and w-buffer, filtering
      // across a seam.
      EXPECT_GE(blocks, 0.99) << v.name << " " << names[p[0]] << "-" << names[p[1]];
      EXPECT_GE(share, 0.99) << v.name << " " << names[p[0]] << "-" << names[p[1]];
    }
    // Not an empty picture agreeing with an empty one.
    const Rgb middle = patch(img[0], 320, 300);
    EXPECT_GT(middle.r + middle.g + middle.b, 60.0) << v.name;
  }
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
}

// Snow on the outdoor level: white flakes show against the dark sky and
// move from one frame to the next.
TEST_F(LevelDressing, SnowFlakesFallBetweenTwoFrames) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(30.0f, 40.0f);
  look(vector(0.0f, 3.0f, -20.0f), vector(0.0f, 6.0f, 0.0f));
  const ScreenImage bare = frame("snow_off");
  snow_init();
  FrameTimer = 0.1f;
  for (int i = 0; i < 3; i++) frame("snow_settle");
  const ScreenImage a = frame("snow_a");
  const ScreenImage b = frame("snow_b");
  snow_disable();
  const ScreenImage gone = frame("snow_gone");
  // Bright flake pixels in the sky where the bare frame is dark.
  int flakes = 0;
  for (int y = 0; y < 200; y++)
    for (int x = 0; x < 640; x++) {
      const uint8_t* p = a.at(x, y);
      const uint8_t* q = bare.at(x, y);
      if (p[0] > 120 && p[1] > 120 && p[2] > 120 && q[0] + q[1] + q[2] < 150) flakes++;
    }
  EXPECT_GT(flakes, 20);
  EXPECT_GT(pixels_changed(a, b, 40), 20) << "the flakes moved";
  EXPECT_LT(pixels_changed(bare, gone, 40), 10) << "no snow once it stops";
}

// A hit's blood lies on the ground for its 2 seconds and is gone after.
TEST_F(LevelDressing, BloodFromAHitFadesAfterItsTime) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(60.0f, 80.0f);
  const vector spot(-4.0f, 0.0f, -10.0f);
  look(spot + vector(0.0f, 6.0f, -0.01f), spot);
  const ScreenImage before = frame("blood_before");
  const int blood = bm_load("BloodSplot-small02.tga");
  ASSERT_GE(blood, 0);
  decal_add(blood, spot, vector(1.5f, 0.0f, 0.0f), vector(0.0f, 0.0f, 1.5f), 2000, false, 0, 0.25f);
  timer_game_clock = 1100;
  const ScreenImage on = frame("blood_on");
  timer_game_clock = 3200;
  const ScreenImage after = frame("blood_after");
  const Rgb g = patch(before, 320, 240), b = patch(on, 320, 240), a = patch(after, 320, 240);
  EXPECT_GT(b.r, b.g + 40.0) << b.r << " " << b.g << " " << b.b;
  EXPECT_LT(std::fabs(a.g - g.g) + std::fabs(a.r - g.r), 6.0) << "the ground again";
  EXPECT_EQ(decal_used_count(), 0);
}

// The lamp in room A glows once seen; a small screen put before it hides
// its centre from the camera and the glow shrinks away.
TEST_F(LevelDressing, LampGlowShrinksBehindAScreen) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_INDOOR, "demo_indoor"));
  fog_set(60.0f, 80.0f);
  const vector lamp(DEMO_LAMP[0], DEMO_LAMP[1], DEMO_LAMP[2]);
  look(lamp + vector(0.0f, 0.0f, -5.0f), lamp);
  vis_override_begin();
  vis_override_add("$visRoomA");
  FrameTimer = 0.1f;
  frame("lamp_dark");
  for (int i = 0; i < 3; i++) frame("lamp_grow");
  const ScreenImage lit = frame("lamp_lit");
  ASSERT_GE(lampglow_count(), 1);
  EXPECT_EQ(lampglow_get(0)->fade, 1.0f) << "the lamp is seen";
  vis_override_add("$visLampScreen");
  for (int i = 0; i < 4; i++) frame("lamp_shrink");
  const ScreenImage hidden = frame("lamp_hidden");
  EXPECT_EQ(lampglow_get(0)->fade, 0.0f) << "the screen hides it";
  vis_override_end();
  // Warm glow around the lamp (beside the screen, which covers its middle).
  const Rgb glow = patch(lit, 320 + 70, 240, 6), dim = patch(hidden, 320 + 70, 240, 6);
  EXPECT_GT(glow.r, dim.r + 30.0) << glow.r << " -> " << dim.r;
}

// The selected hero's ring lies on the ground round its feet.
TEST_F(LevelDressing, SelectedHeroStandsInItsRing) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(60.0f, 80.0f);
  living_entity hero;
  hero.pos = vector(4.0f, 0.0f, -12.0f);
  look(hero.pos + vector(0.0f, 6.0f, -0.01f), hero.pos);
  const ScreenImage bare = frame("ring_none");
  selection_ring_add(&hero, 0.1f);
  const ScreenImage ring = frame("ring");
  EXPECT_GT(pixels_changed(bare, ring, 30), 400) << "a 3 x 3 ring seen from 6 above";
  EXPECT_EQ(decal_used_count(), 0) << "the ring lasts one frame";
}

}  // namespace

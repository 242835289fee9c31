// The demo world seen through the scene pass on a real window (Xvfb, Mesa's
// software OpenGL): make_demo writes the world, the levels load as the game
// loads them, and each picture is drawn by scene_render from a camera placed
// here. The checks sample pixels where the level builder put its colours:
// the indoor rooms' coloured lightmaps, the outdoor ground's prelit
// gradient, fog that thickens with distance, a tower that turns see-through
// when it stands between the camera and a hero, and a visibility layer that
// leaves the tower out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Engine/rendering/levelrender.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/fs_paths.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/grclip.h"
#include "quarn/os/console.h"
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
vector Hero_pos;
bool Hero_on = false;
bool Hero_hidden_by_wall = false;
bool Hero_talks = false;

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

// The game camera's part: the instances whose boxes the segment from the
// eye to the hero passes through.
int see_through(int* out, int capacity) {
  if (!Hero_on || !Hero_hidden_by_wall) return 0;
  int n = 0;
  const vector d = Hero_pos - Cam_eye;
  for (int i = 0; i < Level.instance_count && n < capacity; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if (mi.flags & MI_GROUND) continue;
    float t0 = 0.0f, t1 = 1.0f;
    bool hit = true;
    for (int a = 0; a < 3 && hit; a++) {
      const float o = (&Cam_eye.x)[a], dd = (&d.x)[a];
      const float lo = (&mi.bound_min.x)[a], hi = (&mi.bound_max.x)[a];
      if (std::fabs(dd) < 1e-6f) {
        hit = o >= lo && o <= hi;
        continue;
      }
      float a0 = (lo - o) / dd, a1 = (hi - o) / dd;
      if (a0 > a1) std::swap(a0, a1);
      t0 = std::max(t0, a0);
      t1 = std::min(t1, a1);
      hit = t0 <= t1;
    }
    if (hit) out[n++] = i;
  }
  return n;
}

// The hero: a magenta figure facing the camera.
void draw_hero(int, int, int) {
  gr_set_color(255, 0, 255, 255);
  gr_3d_draw_rect_sprite(Hero_pos, 0.0f, 3.0f, 4.0f, RenderStateWord(0, 0, 0, 0, 4, 0));
}

// An effect's red light by room A's west wall.
bool Light_on = false;
int light_channels(LevelDynLight* out, int capacity) {
  if (!Light_on || capacity < 1) return 0;
  out[0] = LevelDynLight{vector(-10.5f, 2.0f, 0.0f), 1.0f, 0.1f, 0.1f, 2.0f, 1, 1.0f, 3.0f};
  return 1;
}

int characters(SceneCharacter* out, int capacity) {
  if (!Hero_on || capacity < 1) return 0;
  out[0] = SceneCharacter{1, 7, Hero_pos, 1.5f, 255, -1, -1, true, draw_hero, nullptr};
  out[0].health = 16;
  out[0].max_health = 32;
  out[0].talk = Hero_talks;
  return 1;
}

void load_level(const char* file, const char* name) {
  ASSERT_EQ(s3d_load(file, &Level), 0) << file;
  s3d_preload_textures(&Level);
  ASSERT_EQ(vis_load(name), 0);
  level_render_setup(file);
  fog_set_colour(0, 0, 0);
  fog_apply_zone(0);
}

ScreenImage frame(const char* shot) {
  gr_reset_clip();
  gr_clear();
  scene_render();
  return gl_screen_shot(Root / "screenshots", shot, Shots_type);
}

// The mean colour of a 9 x 9 patch.
struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb patch(const ScreenImage& img, int cx, int cy) {
  Rgb m;
  int n = 0;
  for (int y = cy - 4; y <= cy + 4; y++)
    for (int x = cx - 4; x <= cx + 4; x++) {
      const uint8_t* p = img.at(x, y);
      m.b += p[0], m.g += p[1], m.r += p[2];
      n++;
    }
  m.r /= n, m.g /= n, m.b /= n;
  return m;
}

double dist(const Rgb& a, const Rgb& b) {
  return std::sqrt((a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b));
}

class LevelSight : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = test_scratch_root("level_sight");
    ASSERT_TRUE(write_demo_world(Root)) << "make_demo failed";
    vfile_set_root(Root.c_str(), false);
    fs_register_path_types();
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Level Sight Test"));
    gr_set_aspect(1.0f);
    SceneServices s{};
    s.camera = camera;
    s.see_through = see_through;
    s.characters = characters;
    s.light_channels = light_channels;
    scene_set_services(s);
    Scene_options.level_detail = 0;
  }
  static void TearDownTestSuite() {
    s3d_unload(&Level);
    gl_screen_close();
  }
  void SetUp() override {
    Hero_on = false;
    Hero_hidden_by_wall = false;
    Light_on = false;
    Hero_talks = false;
    scene_set_highlight_a(0, 0, 0, 0);
    timer_game_clock = 1000;
  }
};

// Each room's walls carry their room's lightmap: the stone's colour times
// the lightmap's tint, so the warm room's wall is red over blue and the cold
// room's blue over red, and the lit top is brighter than the bottom.
TEST_F(LevelSight, IndoorWallsShowTheirLightmapColours) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_INDOOR, "demo_indoor"));
  fog_set(60.0f, 80.0f);
  look(vector(-3.0f, 2.0f, 0.0f), vector(-12.0f, 2.0f, 0.0f));
  const ScreenImage a = frame("indoor_room_a");
  look(vector(3.0f, 2.0f, 0.0f), vector(12.0f, 2.0f, 0.0f));
  const ScreenImage b = frame("indoor_room_b");
  ASSERT_EQ(a.w, 640);
  ASSERT_EQ(b.w, 640);
  const Rgb wall_a = patch(a, 320, 240), wall_b = patch(b, 320, 240);
  // Stone (150, 145, 135) times the room's light: expected ratios of red to
  // blue from the two tints.
  const double ra = (150.0 * DEMO_ROOM_A_LIGHT[0]) / (135.0 * DEMO_ROOM_A_LIGHT[2]);
  const double rb = (150.0 * DEMO_ROOM_B_LIGHT[0]) / (135.0 * DEMO_ROOM_B_LIGHT[2]);
  ASSERT_GT(wall_a.b, 5.0);
  ASSERT_GT(wall_b.b, 5.0);
  EXPECT_NEAR(wall_a.r / wall_a.b, ra, ra * 0.3) << wall_a.r << " " << wall_a.g << " " << wall_a.b;
  EXPECT_NEAR(wall_b.r / wall_b.b, rb, rb * 0.3) << wall_b.r << " " << wall_b.g << " " << wall_b.b;
  // Not the texture alone: the lightmap darkens it.
  EXPECT_LT(wall_a.r + wall_a.g + wall_a.b, 150.0 + 145.0 + 135.0);
}

// The outdoor ground is prelit warm in the west and cold in the east; grass
// (70, 140, 60) times the prelit colour at that point.
TEST_F(LevelSight, OutdoorGroundShowsItsPrelitColours) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(200.0f, 250.0f);
  const vector west(-20.0f, 0.0f, 0.0f), east(20.0f, 0.0f, 0.0f);
  look(west + vector(0.0f, 6.0f, -0.01f), west);
  const ScreenImage w = frame("outdoor_west");
  look(east + vector(0.0f, 6.0f, -0.01f), east);
  const ScreenImage e = frame("outdoor_east");
  const Rgb gw = patch(w, 320, 240), ge = patch(e, 320, 240);
  uint8_t cw[3], ce[3];
  demo_outdoor_ground_colour(west, cw);
  demo_outdoor_ground_colour(east, ce);
  const double expect_w = (70.0 * cw[0]) / (60.0 * cw[2]), expect_e = (70.0 * ce[0]) / (60.0 * ce[2]);
  ASSERT_GT(gw.b, 3.0);
  ASSERT_GT(ge.b, 3.0);
  EXPECT_NEAR(gw.r / gw.b, expect_w, expect_w * 0.3) << gw.r << " " << gw.g << " " << gw.b;
  EXPECT_NEAR(ge.r / ge.b, expect_e, expect_e * 0.3) << ge.r << " " << ge.g << " " << ge.b;
  EXPECT_GT(gw.g, gw.r);  // still grass
}

// A zone's fog: looking across the ground, farther rows lie nearer the fog
// colour than nearer rows.
TEST_F(LevelSight, ZoneFogThickensWithDistance) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  const Rgb fog{170, 180, 220};
  fog_zone_set(1, 30.0f, 5.0f, 170, 180, 220);
  fog_apply_zone(1);
  EXPECT_FLOAT_EQ(fog_get_far(), 30.0f);
  // Low over the south-west, looking north-east across open ground.
  look(vector(-22.0f, 1.5f, -4.0f), vector(-2.0f, 0.5f, 6.0f));
  const ScreenImage img = frame("outdoor_fog");
  // Rows from the bottom (near) toward the horizon (far).
  const double near_d = dist(patch(img, 320, 460), fog), mid_d = dist(patch(img, 320, 330), fog);
  EXPECT_GT(near_d, mid_d + 10.0) << near_d << " " << mid_d;
  fog_apply_zone(0);
}

// A hero behind the tower: once the camera reports the tower in between, the
// tower fades to see-through and the hero's colour shows through it.
TEST_F(LevelSight, WallBetweenCameraAndHeroTurnsTranslucent) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  Hero_on = true;
  Hero_pos = vector(-12.0f, 2.0f, -6.0f);  // just north of the tower
  // High enough over the southern hamlet that only the tower stands between.
  look(vector(-12.0f, 8.0f, -22.0f), Hero_pos);
  const ScreenImage before = frame("seethru_before");
  const Rgb p0 = patch(before, 320, 240);
  EXPECT_LT(p0.r - p0.g, 40.0) << "the hero shows before the tower fades";
  Hero_hidden_by_wall = true;
  const int tower = level_mesh_find_by_name("tower");
  ASSERT_GE(tower, 0);
  for (int i = 0; i < 8; i++) {  // 400 ms of frames
    timer_game_clock += 50;
    gr_clear();
    scene_render();
  }
  EXPECT_EQ((scene_see_through(tower)->state >> 4) & 0xFF, 128u);
  const ScreenImage after = frame("seethru_after");
  const Rgb p1 = patch(after, 320, 240);
  // Magenta through the tower: red and blue well above green.
  EXPECT_GT(p1.r - p1.g, 40.0) << p1.r << " " << p1.g << " " << p1.b;
  EXPECT_GT(p1.b - p1.g, 40.0) << p1.r << " " << p1.g << " " << p1.b;
}

// The second layer of demo_outdoor.vis leaves the tower's group out.
TEST_F(LevelSight, SecondLayerHidesItsGroup) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  look(vector(-12.0f, 6.0f, -30.0f), vector(-12.0f, 6.0f, -12.0f));
  const ScreenImage with = frame("layer1_tower");
  fog_apply_zone(1);
  const ScreenImage without = frame("layer2_no_tower");
  const Rgb t = patch(with, 320, 200), n = patch(without, 320, 200);
  // The tower's stone against the empty sky (black).
  EXPECT_GT(t.r + t.g + t.b, 60.0);
  EXPECT_LT(n.r + n.g + n.b, 15.0) << n.r << " " << n.g << " " << n.b;
  fog_apply_zone(0);
}

// A red light from an effect near room A's west wall: the lightmapped wall
// gets its second, additive pass only where the light reaches, and turns
// redder there; without the light every batch is drawn once.
TEST_F(LevelSight, DynamicLightAddsASecondPassWhereItReaches) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_INDOOR, "demo_indoor"));
  fog_set(60.0f, 80.0f);
  look(vector(-3.0f, 2.0f, 0.0f), vector(-12.0f, 2.0f, 0.0f));
  Levelrender_stats = LevelRenderStats{};
  const ScreenImage dark = frame("dynlight_off");
  EXPECT_EQ(Levelrender_stats.second_passes, 0);
  const int single = Levelrender_stats.draw_calls;
  Light_on = true;
  Levelrender_stats = LevelRenderStats{};
  const ScreenImage lit = frame("dynlight_on");
  Light_on = false;
  EXPECT_GT(Levelrender_stats.second_passes, 0);
  EXPECT_EQ(Levelrender_stats.draw_calls, single + Levelrender_stats.second_passes);
  const Rgb a = patch(dark, 320, 240), b = patch(lit, 320, 240);
  EXPECT_GT(b.r, a.r + 30.0) << a.r << " -> " << b.r;
  EXPECT_LT(std::fabs(b.b - a.b), 0.5 * (b.r - a.r));
  // The floor by the camera, out of the light's range, is unchanged.
  const Rgb c = patch(dark, 40, 460), d = patch(lit, 40, 460);
  EXPECT_LT(dist(c, d), 6.0);
}

// The highlighted hero's health bar: 32 by 5 pixels, 16 above its head
// point, red for the health it has and dark red for the rest.
TEST_F(LevelSight, HighlightedHeroShowsItsHealthBar) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  Hero_on = true;
  Hero_pos = vector(0.0f, 2.0f, 4.0f);
  look(vector(0.0f, 4.0f, -6.0f), vector(0.0f, 3.0f, 4.0f));
  scene_set_highlight_a(1, 255, 255, 255);
  const ScreenImage img = frame("health_bar");
  GrVertex v;
  gr_3d_rotate_point(v, Hero_pos + vector(0.0f, 1.8f + 0.75f, 0.0f));
  ASSERT_TRUE(gr_3d_project_point(v) & PF_PROJECTED);
  const int x = static_cast<int>(v.sx), y = static_cast<int>(v.sy) - 16 - 3;
  const uint8_t* full = img.at(x - 12, y);
  const uint8_t* empty = img.at(x + 12, y);
  EXPECT_EQ(full[2], 255);
  EXPECT_LT(full[1], 10);
  EXPECT_NEAR(empty[2], 64, 3);
  EXPECT_LT(empty[1], 10);
  // Not highlighted: no bar.
  scene_set_highlight_a(0, 0, 0, 0);
  const ScreenImage plain = frame("health_bar_none");
  EXPECT_NE(plain.at(x - 12, y)[2], 255);
}

// A hero with something to say wears the talk marker: the bitmap centred
// over its head point, its top 25 pixels above it.
TEST_F(LevelSight, TalkMarkerOverAHeroWithSomethingToSay) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  std::vector<uint16_t> yellow(16 * 16, static_cast<uint16_t>((31 << 11) | (63 << 5)));
  const int marker = bm_create(BM_FORMAT_565, 16, 16, yellow.data());
  ASSERT_GE(marker, 0);
  Scene_talk_marker_bitmap = marker;
  Hero_on = true;
  Hero_talks = true;
  Hero_pos = vector(0.0f, 2.0f, 4.0f);
  look(vector(0.0f, 4.0f, -6.0f), vector(0.0f, 3.0f, 4.0f));
  const ScreenImage img = frame("talk_marker");
  GrVertex v;
  gr_3d_rotate_point(v, Hero_pos + vector(0.0f, 1.8f, 0.0f));
  ASSERT_TRUE(gr_3d_project_point(v) & PF_PROJECTED);
  const int x = static_cast<int>(v.sx), y = static_cast<int>(v.sy) - 25;
  for (const auto& [dx, dy] : {std::pair{0, 2}, std::pair{-6, 13}, std::pair{6, 8}}) {
    const uint8_t* p = img.at(x + dx, y + dy);
    EXPECT_GT(p[2], 240) << dx << " " << dy;
    EXPECT_GT(p[1], 240) << dx << " " << dy;
    EXPECT_LT(p[0], 20) << dx << " " << dy;
  }
  // Above the marker's top: not the marker.
  EXPECT_FALSE(img.at(x, y - 3)[2] > 240 && img.at(x, y - 3)[0] < 20);
  Scene_talk_marker_bitmap = -1;
  bm_release(marker);
}

// The banner sways: its top edge, weighted fully, moves between frames of
// the game clock, while its bottom edge, weighted 0, stays.
TEST_F(LevelSight, BannerSwaysAtItsTopOnly) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  look(vector(16.0f, 5.0f, 9.0f), vector(10.0f, 5.0f, 9.0f));
  levelrender_reset_anim_clock();
  // The banner's top and bottom rows in the middle 80 columns: the first
  // and last rows with a lit pixel against the black sky above the platform.
  auto edges = [](const ScreenImage& img, int* top, int* bottom) {
    *top = -1, *bottom = -1;
    for (int y = 0; y < 300; y++)
      for (int x = 280; x < 360; x++) {
        const uint8_t* p = img.at(x, y);
        if (p[0] + p[1] + p[2] > 90 && p[2] - p[0] > 30) {
          if (*top < 0) *top = y;
          *bottom = y;
        }
      }
  };
  int top0, bottom0;
  const ScreenImage first = frame("banner_t0");
  edges(first, &top0, &bottom0);
  ASSERT_GE(top0, 0) << "no banner in view";
  int moved = 0;
  for (int step = 1; step <= 6; step++) {
    timer_game_clock += 700;
    char name[32];
    std::snprintf(name, sizeof name, "banner_t%d", step);
    const ScreenImage img = frame(name);
    int top, bottom;
    edges(img, &top, &bottom);
    if (top != top0) moved++;
    EXPECT_NEAR(bottom, bottom0, 1) << step;
  }
  EXPECT_GE(moved, 3);
}

// The pass's console commands as a developer types them: render_level
// hides and shows the level, set_fog moves the fog in.
TEST_F(LevelSight, ConsoleCommandsTurnTheLevelAndFog) {
  ASSERT_NO_FATAL_FAILURE(load_level(DEMO_LEVEL_OUTDOOR, "demo_outdoor"));
  fog_set(100.0f, 120.0f);
  look(vector(-12.0f, 6.0f, -30.0f), vector(-12.0f, 6.0f, -12.0f));
  ASSERT_EQ(console_execute("render_level"), 0);
  const ScreenImage off = frame("console_level_off");
  ASSERT_EQ(console_execute("render_level"), 0);
  const ScreenImage on = frame("console_level_on");
  const Rgb a = patch(off, 320, 200), b = patch(on, 320, 200);
  EXPECT_LT(a.r + a.g + a.b, 15.0);
  EXPECT_GT(b.r + b.g + b.b, 60.0);
  ASSERT_EQ(console_execute("set_fog 20"), 0);
  EXPECT_FLOAT_EQ(fog_get_far(), 20.0f);
  EXPECT_FLOAT_EQ(fog_get_near(), 10.0f);
  // The tower, 18 units away, now stands in thick fog (the zone's colour is
  // black): far darker than before.
  const ScreenImage fogged = frame("console_fog_20");
  const Rgb c = patch(fogged, 320, 200);
  EXPECT_LT(c.r + c.g + c.b, 0.6 * (b.r + b.g + b.b));
}

}  // namespace

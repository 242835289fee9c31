// The scene pass on a small level written by the level builder, with the
// recording renderer in place of a display: which instances the current
// layer selects, the see-through fade that the camera's list triggers (and
// that a "$seethru" group shares), the scene fade, and the level-of-detail
// and pair-range rules for characters.
#include "Engine/rendering/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Engine/s3d/level_objects.h"
#include "quarn/gr/gr.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/level_builder.h"

namespace {

std::vector<int> Wanted;
int see_through(int* out, int capacity) {
  int n = 0;
  for (int i : Wanted)
    if (n < capacity) out[n++] = i;
  return n;
}
bool camera(vector* eye, matrix* orient, float* fov) {
  *eye = vector(0, 2, -10);
  *orient = identity_matrix;
  *fov = 90.0f;
  return true;
}

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fresh_temp_dir("scene");
    vfile_set_root(dir_.c_str(), false);
    type_ = vfile_add_path_type("", ".s3d .tga .vis .tbl");
    LevelBuilder b;
    const int stone = b.texture("stone.tga");
    b.add_box("wall", vector(-2, 0, 0), vector(2, 3, 1), stone);        // 0
    b.add_box("wall_b", vector(3, 0, 0), vector(5, 3, 1), stone);       // 1
    b.add_box("pillar", vector(-6, 0, 4), vector(-5, 3, 5), stone, MI_GROUND);  // 2
    b.add_box("tower", vector(6, 0, 6), vector(8, 9, 8), stone);        // 3
    b.add_box("behind", vector(-1, 0, -20), vector(1, 2, -18), stone);  // 4: behind the eye
    b.add_vis_group("$seethru_walls", {0, 1});
    b.add_vis_group("$visTower", {3});
    ASSERT_TRUE(b.write("scene.s3d", type_));
    ASSERT_EQ(s3d_load("scene.s3d", &Level), 0);
    const std::string vis = "$vis_set \"$layer1\" \"$visTower\"\n$vis_set \"$layer2\"\n$end\n";
    vis_parse_text("scene.vis", vis.data(), static_cast<int>(vis.size()));
    gr_screen.renderer = GR_RECORDER;
    gr_screen.clip_width = 640;
    gr_screen.clip_height = 480;
    timer_game_clock = 5000;
    level_render_setup("scene.s3d");
    SceneServices s{};
    s.camera = camera;
    s.see_through = see_through;
    scene_set_services(s);
    Wanted.clear();
    Vis_previous_layer = -1;
    scene_fade_in();
  }
  void TearDown() override {
    level_render_reset();
    s3d_unload(&Level);
    vfile_remove_path_type(type_);
    Vis_current_layer = -1;
  }
  int alpha(int instance) { return static_cast<int>((scene_see_through(instance)->state >> 4) & 0xFF); }
  void frame_at(int ms) {
    timer_game_clock = 5000 + ms;
    scene_render();
  }
  std::string dir_;
  int type_ = -1;
};

TEST_F(SceneTest, NothingIsDrawnBeforeALayerIsCurrent) {
  Vis_current_layer = -1;
  scene_render();
  EXPECT_EQ(Scene_stats.groups, 0);
  EXPECT_EQ(Scene_stats.meshes_opaque, 0);
}

TEST_F(SceneTest, TheLayerSelectsItsGroupsAndTheViewCullsTheRest) {
  fog_set(60.0f, 80.0f);
  fog_apply_zone(0);
  scene_render();
  EXPECT_EQ(Scene_stats.groups, 2);
  // $vis_base holds 0, 1, 2 and 4; 4 lies behind the eye; the tower's group
  // is in this layer.
  EXPECT_EQ(Scene_stats.meshes_opaque, 4);
  fog_apply_zone(1);
  scene_render();
  EXPECT_EQ(Scene_stats.groups, 1);
  EXPECT_EQ(Scene_stats.meshes_opaque, 3);
  // The pass leaves no marks on the instances for the next frame.
  for (int i = 0; i < Level.instance_count; i++)
    EXPECT_EQ(Level.instances[i].flags & (MI_VIS_SEEN | MI_VIS_MEMBER), 0u) << i;
  EXPECT_EQ(Vis_previous_layer, 1);
}

// The camera names the first wall: it and the wall sharing its "$seethru"
// group fade 255 to 128 over 270 ms, stay while wanted, and come back 1 s
// after they are no longer wanted.
TEST_F(SceneTest, SeeThroughFadeTriggeredByTheCameraAndSharedByItsGroup) {
  fog_apply_zone(0);
  frame_at(0);
  EXPECT_EQ(alpha(0), 255);
  Wanted = {0};
  frame_at(0);
  frame_at(135);
  EXPECT_EQ(alpha(0), 255 - 135 * 127 / 270);
  EXPECT_EQ(alpha(1), 255 - 135 * 127 / 270);
  EXPECT_EQ(alpha(2), 255);
  EXPECT_EQ(Scene_stats.meshes_translucent, 2);
  frame_at(270);
  EXPECT_EQ(alpha(0), 128);
  frame_at(2500);
  EXPECT_EQ(alpha(0), 128);
  Wanted.clear();
  frame_at(3000);
  EXPECT_EQ(alpha(0), 128);
  frame_at(3499);
  EXPECT_EQ(alpha(0), 128);
  frame_at(3501);  // 1 s after the last wanted frame
  frame_at(3636);
  EXPECT_EQ(alpha(0), 128 + 135 * 127 / 270);
  frame_at(3800);
  EXPECT_EQ(alpha(0), 255);
  EXPECT_EQ(alpha(1), 255);
  EXPECT_EQ(Scene_stats.meshes_translucent, 0);
}

struct Seen {
  int handle;
  bool tinted;
  float tint_g;
  int detail;
};
std::vector<Seen> Drawn;
void record_draw(int handle, int detail, int) {
  Drawn.push_back(Seen{handle, gr_screen.tint_on != 0, gr_screen.tint_g, detail});
}
bool cast_shadow(int handle, ShadowCaster* out) {
  *out = ShadowCaster{1, false, vector(static_cast<float>(handle), 3.0f, 0.0f), 0.0f};
  return true;
}
int characters(SceneCharacter* out, int capacity) {
  const SceneCharacter all[] = {
      {1, 7, vector(0, 1, 0), 1.0f, 255, -1, -1, true, record_draw, cast_shadow},  // the main character
      {2, 5, vector(-5, 1, 4), 1.0f, 255, 2, 0, false, record_draw, cast_shadow},  // on the pillar
      {3, 5, vector(7, 9, 7), 1.0f, 255, 3, 0, false, record_draw, cast_shadow},   // on the tower
      {4, 5, vector(1, 1, 2), 1.0f, 255, -1, 0, false, record_draw, cast_shadow},  // on nothing
      {5, 5, vector(0, 1, 70), 1.0f, 255, 2, -1, false, record_draw, cast_shadow}, // past the fog
  };
  int n = 0;
  for (const SceneCharacter& c : all)
    if (n < capacity) out[n++] = c;
  return n;
}

// Characters are drawn when they stand on a mesh the layer shows (or are the
// main character), with the tinted one under the tint, and each drawn one
// adds its blob shadow.
TEST_F(SceneTest, CharactersFollowTheirGroundWithTintAndShadows) {
  SceneServices s{};
  s.camera = camera;
  s.characters = characters;
  scene_set_services(s);
  scene_set_tint(2, 1.0f, 0.5f, 0.0f);
  creature_shadows_clear();
  fog_apply_zone(1);  // the tower's group is not shown
  Drawn.clear();
  scene_render();
  ASSERT_EQ(Drawn.size(), 2u);
  EXPECT_EQ(Drawn[0].handle, 1);
  EXPECT_FALSE(Drawn[0].tinted);
  EXPECT_EQ(Drawn[1].handle, 2);
  EXPECT_TRUE(Drawn[1].tinted);
  EXPECT_FLOAT_EQ(Drawn[1].tint_g, 0.5f);
  EXPECT_EQ(gr_screen.tint_on, 0);
  EXPECT_EQ(Scene_stats.characters, 2);
  EXPECT_EQ(Scene_stats.shadows, 2);
  EXPECT_EQ(creature_shadow_count(), 2);
  // With the tower's group shown its stander is drawn too.
  fog_apply_zone(0);
  Drawn.clear();
  scene_render();
  EXPECT_EQ(Drawn.size(), 3u);
  // The pair range leaves out what lies beyond its far distance.
  scene_set_pair_range(5.0f, 12.0f);
  Drawn.clear();
  scene_render();
  for (const Seen& d : Drawn) EXPECT_NE(d.handle, 3);
  scene_clear_pair_range();
  scene_set_tint(-1, 1, 1, 1);
  creature_shadows_clear();
}

std::vector<int> Drawn_things;
void draw_thing(int handle) { Drawn_things.push_back(handle); }
void draw_attached(int handle, int alpha) { Drawn_things.push_back(handle * 1000 + alpha); }
int objects(SceneObject* out, int capacity) {
  const SceneObject all[] = {
      {10, SCENE_ITEM, vector(-5, 1, 3), 0.3f, 2, draw_thing},     // on the pillar
      {11, SCENE_OBJECT, vector(1, 1, 2), 0.3f, -1, draw_thing},   // on nothing
      {12, SCENE_ITEM, vector(7, 1, 7), 0.3f, 3, draw_thing},      // on the hidden tower
      {13, SCENE_ITEM, vector(0, 1, 12), 0.3f, -1, draw_thing},    // 22 from the eye
      {14, SCENE_ITEM, vector(0, 1, -12), 0.3f, -1, draw_thing},   // behind the eye
  };
  int n = 0;
  for (const SceneObject& o : all)
    if (n < capacity) out[n++] = o;
  return n;
}
int attachments(int character, SceneAttachment* out, int capacity) {
  int n = 0;
  for (int k = 0; k < 2 && n < capacity; k++) out[n++] = SceneAttachment{character * 10 + k, vector(0, 1, 0), 0.5f, draw_attached};
  return n;
}
int near_and_far(SceneCharacter* out, int capacity) {
  if (capacity < 2) return 0;
  out[0] = SceneCharacter{1, 7, vector(0, 1, 0), 1.0f, 200, -1, -1, true, record_draw, nullptr};
  out[1] = SceneCharacter{2, 5, vector(0, 1, 25), 1.0f, 255, -1, -1, true, record_draw, nullptr};  // 35 away
  return 2;
}

// Items and objects within 20 of the eye, in view and on a shown mesh (or
// none) are drawn; a character within 30 brings its attached models, drawn
// with its own alpha.
TEST_F(SceneTest, ItemsObjectsAndAttachedModelsJoinTheOpaqueList) {
  SceneServices s{};
  s.camera = camera;
  s.objects = objects;
  s.attachments = attachments;
  s.characters = near_and_far;
  scene_set_services(s);
  fog_apply_zone(1);
  Drawn_things.clear();
  scene_render();
  std::vector<int> got = Drawn_things;
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<int>{10, 11, 10 * 1000 + 200, 11 * 1000 + 200}));
  EXPECT_EQ(Scene_stats.objects, 2);
  EXPECT_EQ(Scene_stats.attachments, 2);
  // In the cutscene state the ground rule is off: the tower's item shows.
  s.cutscene = [] { return true; };
  scene_set_services(s);
  Drawn_things.clear();
  scene_render();
  EXPECT_NE(std::find(Drawn_things.begin(), Drawn_things.end(), 12), Drawn_things.end());
}

// Effects show their "$vis" sets only while a group of that name is
// selected, and mark their parts again when the selection changes.
TEST_F(SceneTest, EffectsLearnTheSelectedGroupsAndWhenTheyChange) {
  fog_apply_zone(0);
  scene_render();
  scene_render();
  EXPECT_FALSE(scene_selection_changed());
  EXPECT_TRUE(scene_group_selected("$VISTOWER"));
  EXPECT_TRUE(scene_group_selected("$vis_base"));
  EXPECT_FALSE(scene_group_selected("$seethru_walls"));
  fog_apply_zone(1);
  scene_render();
  EXPECT_TRUE(scene_selection_changed());
  EXPECT_FALSE(scene_group_selected("$visTower"));
  scene_render();
  EXPECT_FALSE(scene_selection_changed());
  scene_request_reevaluation();
  scene_render();
  EXPECT_TRUE(scene_selection_changed());
}

TEST(SeeThroughStep,
 WantedAgainWhileFadingBackTurnsAroundWhereItIs) {
  SeeThroughRecord r{nullptr, 2u | (128u << 4), 1000};
  r.state |= SEE_THROUGH_WANTED;
  // 100 ms into fading back in (alpha 128 + 47): fading out again from the
  // same alpha, 170 ms from its end.
  EXPECT_EQ(see_through_step(r, 1100), 255 - 170 * 127 / 270);
  EXPECT_EQ(r.state & 3u, 3u);
  EXPECT_EQ(see_through_step(r, 1200), 128);
  EXPECT_EQ(r.state & 3u, 1u);
}

TEST_F(SceneTest, SceneFadeReachesZeroInAboutASecondAndCullsTheGround) {
  fog_apply_zone(0);
  FrameTimer = 1.0f / 30.0f;
  scene_fade_out();
  EXPECT_EQ(Scene_fade, 254);
  int frames = 0;
  while (Scene_fade > 0 && frames < 100) {
    scene_render();
    frames++;
  }
  EXPECT_GE(frames, 28);
  EXPECT_LE(frames, 36);
  EXPECT_TRUE(Cull_ground);
  // Faded out, only ground meshes (flag 0x40) stay, and only while
  // Cull_ground_too is off.
  EXPECT_EQ(Scene_stats.meshes_drawn, 0);
  Cull_ground_too = false;
  scene_render();
  EXPECT_EQ(Scene_stats.meshes_drawn, 1);
  Cull_ground_too = true;
  scene_fade_in();
  EXPECT_FALSE(Cull_ground);
  EXPECT_EQ(Scene_fade, 255);
}

// Slow frames pull the fog in by 0.02 a frame up to 0.8 of it, never nearer
// than 15; fast frames push it back out.
TEST_F(SceneTest, FrameRateFogFollowsTheFrameRate) {
  fog_apply_zone(0);
  fog_set(10.0f, 40.0f);
  Fog_framerate_on = true;
  Fog_framerate_factor = 0.0f;
  frametime_fps = 10.0f;
  scene_render();
  EXPECT_NEAR(Fog_framerate_factor, 0.02f, 1e-6);
  for (int i = 0; i < 60; i++) scene_render();
  EXPECT_FLOAT_EQ(Fog_framerate_factor, 0.8f);
  EXPECT_FLOAT_EQ(fog_get_far(), 15.0f);
  EXPECT_NEAR(fog_get_near(), 2.0f, 1e-5);
  frametime_fps = 20.0f;  // between the two marks: stays
  scene_render();
  EXPECT_FLOAT_EQ(Fog_framerate_factor, 0.8f);
  frametime_fps = 30.0f;
  scene_render();
  EXPECT_NEAR(Fog_framerate_factor, 0.78f, 1e-5);
  Fog_framerate_on = false;
  Fog_framerate_factor = 0.0f;
}

bool bones(int handle, const char* name, vector* out) {
  // Character 1 has a "BDBN-Head", character 2 only a "Head".
  if (handle == 1 && std::string(name) == "BDBN-Head") return *out = vector(0, 3, 0), true;
  if (handle == 2 && std::string(name) == "Head") return *out = vector(5, 2, 5), true;
  return false;
}

TEST(SceneMarker, HeadPointByBoneAndTheNamedCharactersRule) {
  SceneCharacter c{};
  c.pos = vector(1, 0, 1);
  c.height = 1.5f;
  c.bone = bones;
  c.handle = 1;
  EXPECT_FLOAT_EQ(scene_head_point(c).y, 3.0f);
  c.handle = 2;
  EXPECT_FLOAT_EQ(scene_head_point(c).y, 2.1f);
  c.handle = 3;
  EXPECT_FLOAT_EQ(scene_head_point(c).y, 1.5f);
  EXPECT_FLOAT_EQ(scene_head_point(c).x, 1.0f);

  SceneCharacter main{};
  main.pos = vector(0, 0, 0);
  SceneCharacter d{};
  d.name = "DIZAVADI";
  d.type = 4;
  struct Case {
    vector pos;
    uint32_t state;
    bool allowed;
  } cases[] = {
      {{10, 3, 10}, 2, true},    // near, bit 1 set
      {{10, 3, 10}, 0, false},   // bit 1 clear
      {{10, 5, 10}, 2, false},   // more than 4 above
      {{40, 0, 30}, 2, false},   // 50 away: squared 2500 is not below 2500
      {{35, 0, 35}, 2, true},
  };
  for (const Case& k : cases) {
    d.pos = k.pos;
    d.state = k.state;
    EXPECT_EQ(scene_head_marker_allowed(d, &main), k.allowed) << k.pos.x << " " << k.pos.y << " " << k.state;
  }
  EXPECT_FALSE(scene_head_marker_allowed(d, nullptr));
  d.type = 7;  // a hero of that name is not held to the rule
  d.state = 0;
  EXPECT_TRUE(scene_head_marker_allowed(d, &main));
  SceneCharacter other{};
  other.name = "Grub";
  EXPECT_TRUE(scene_head_marker_allowed(other, nullptr));
}

TEST(SceneDetail, CharacterLevelOfDetailByMode) {
  struct Case {
    int type;
    float dist;
    int mode, detail;
  } cases[] = {
      {7, 8.0f, 2, 0}, {7, 8.0f, 0, 2},  {7, 9.0f, 2, 2},   {7, 5.3f, 0, 0}, {7, 5.4f, 0, 2},
      {5, 26.9f, 2, 0}, {5, 27.0f, 2, 2}, {5, 100.0f, 1, 0}, {5, 6.0f, 0, 2}, {5, 20.0f, 3, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(scene_character_detail(c.type, c.dist, c.mode), c.detail) << c.type << " " << c.dist << " " << c.mode;
}

TEST(SceneDetail, PairRangeFadesBetweenItsDistances) {
  scene_set_pair_range(10.0f, 20.0f);
  EXPECT_FLOAT_EQ(scene_pair_range_b(), 20.0f);
  EXPECT_EQ(scene_pair_range_alpha(255, 81.0f), 255);
  EXPECT_EQ(scene_pair_range_alpha(255, 250.0f), static_cast<int>(255.0f * (400.0f - 250.0f) / 300.0f));
  EXPECT_EQ(scene_pair_range_alpha(255, 401.0f), -1);
  scene_clear_pair_range();
  EXPECT_FLOAT_EQ(scene_pair_range_b(), 0.0f);
  EXPECT_EQ(scene_pair_range_alpha(200, 401.0f), 200);
}

}  // namespace

namespace {

// The cutscene's bars leave a centred picture twice as wide as high; the
// floating values show within 4 vertically and 50 across of the main
// character.
TEST(SceneOverlay, LetterboxBarsAndFloatingValueRange) {
  struct Bars {
    int w, h, bar;
  };
  for (const Bars& b : {Bars{640, 480, 80}, Bars{1024, 768, 128}, Bars{800, 600, 100}, Bars{1000, 400, 0}})
    EXPECT_EQ(scene_letterbox_bar(b.w, b.h), b.bar) << b.w << "x" << b.h;

  SceneCharacter main{};
  main.pos = vector(10, 1, 10);
  struct Case {
    vector at;
    bool shown;
  };
  for (const Case& c : {Case{vector(10, 5, 10), true}, Case{vector(10, 5.5f, 10), false},
                        Case{vector(10, -3, 10), true}, Case{vector(59.9f, 1, 10), true},
                        Case{vector(60, 1, 10), false}, Case{vector(45, 1, 45), true},
                        Case{vector(46, 1, 46), false}}) {
    SceneCharacter other{};
    other.pos = c.at;
    EXPECT_EQ(scene_plate_in_range(other, &main), c.shown) << c.at.x << " " << c.at.y << " " << c.at.z;
  }
  SceneCharacter lone{};
  EXPECT_FALSE(scene_plate_in_range(lone, nullptr));
}

}  // namespace

// The definition-wide records of effects: material tracks seen through the
// emitters that name them, the environment the level renderer is given, the
// camera an instance may drive, and the pools a level reset rebuilds.
#include "quarn/geom/effect_tracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tools/writers/effect_demo.h"
#include "tools/writers/effect_writer.h"
#include "tools/writers/image_writers.h"

namespace {

MaterialSpec track(uint8_t r, uint8_t g, uint8_t b, std::vector<uint8_t> alpha) {
  MaterialSpec m;
  m.colour[0] = r, m.colour[1] = g, m.colour[2] = b;
  m.curve[2] = std::move(alpha);
  return m;
}

// ---- Material tracks and the emitters that name them ----

struct ItemRecorder : GrRecorder {
  struct Poly {
    int bitmap;
    Color colour;
  };
  std::vector<Poly> polys;
  void polygon(int, GrVertex** v, RenderStateWord) override {
    // The front end's own polygon at the flip carries no texture coordinates.
    if (!(v[0]->flags & GR_VERTEX_UV)) return;
    polys.push_back({gr_screen.current_bitmap, gr_screen.current_color});
  }
};

class EffectMaterialTracks : public BitmapRootTest {
 protected:
  void SetUp() override {
    BitmapRootTest::SetUp();
    effect_pools_fresh();
  }
  void TearDown() override {
    effect_instances_reset();
    BitmapRootTest::TearDown();
  }
};

// The track an emitter names (flag bits 2-15) gives its items their bitmap
// (loaded by name at the definition's reset), colour and opacity; its curve
// is sampled at the instance's frame.
TEST_F(EffectMaterialTracks, EmitterItemsTakeBitmapColourAndOpacityFromTheirTrack) {
  const auto pix = test_pattern(4, 4, 3);
  ASSERT_TRUE(tga_write_file(root() + "ember.tga", pix.data(), 4, 4, 24));
  // Materials take handle 0 as "no bitmap"; the manager hands 0 to the first
  // bitmap it loads, as the game's own start-up does long before effects.
  ASSERT_TRUE(tga_write_file(root() + "first.tga", pix.data(), 4, 4, 24));
  ASSERT_EQ(bm_load("first.tga"), 0);
  EffectDefSpec d = spell_def("embers");
  d.length = 60;
  MaterialSpec blue = track(0, 0, 255, {255});
  MaterialSpec ember = track(255, 128, 0, {200, 100});  // rate 15: one byte a frame
  ember.layer[0].name = "ember.tga";
  d.material_tracks = {blue, ember};
  EffectEmitterSpec e;
  for (auto& t : e.position) t = effect_track_constant(0);
  e.rotation[3] = effect_track_constant(16382);
  e.scalar[3] = effect_track_constant(4096);  // straight up at one unit a second
  e.scalar[4] = effect_track_constant(0);
  e.item_count = 8;
  e.flags = 1u << EMITTER_MATERIAL_SHIFT;  // the second track
  e.lifetime_ticks = 48000;
  e.scalar[2] = effect_track_constant(4096);  // item size 1
  e.rate = effect_track_constant(static_cast<int16_t>(4 * 4096 / 320), 60);  // four items a frame
  d.emitters = {e};
  Image f = make_image({d});
  char err[200];
  ASSERT_TRUE(effect_image_check(f.view, err, sizeof err)) << err;
  effect_definition_reset(f.view, f.def(0), -1);

  // Sampled straight: the curve between and past its bytes, the colour, and
  // the bitmap the reset loaded.
  const struct {
    float frame;
    float opacity;
  } rows[] = {{0.0f, 200 / 255.0f}, {0.5f, 150 / 255.0f}, {1.0f, 100 / 255.0f}, {9.0f, 100 / 255.0f}};
  for (const auto& row : rows) {
    EffectItemLook look;
    ASSERT_TRUE(effect_material_track_sample(f.view, f.def(0), 1, row.frame, false, look));
    EXPECT_NEAR(look.opacity, row.opacity, 1e-5f) << row.frame;
    EXPECT_FLOAT_EQ(look.r, 1.0f);
    EXPECT_NEAR(look.g, 128 / 255.0f, 1e-6f);
    EXPECT_FLOAT_EQ(look.b, 0.0f);
    EXPECT_STREQ(bm_get_filename(look.bitmap), "ember.tga") << look.bitmap;
  }
  // A track the definition does not have leaves the look as it was.
  EffectItemLook untouched;
  untouched.r = 0.25f;
  EXPECT_FALSE(effect_material_track_sample(f.view, f.def(0), 2, 0.0f, false, untouched));
  EXPECT_FALSE(effect_material_track_sample(f.view, f.def(0), -1, 0.0f, false, untouched));
  EXPECT_FLOAT_EQ(untouched.r, 0.25f);
  EXPECT_EQ(untouched.bitmap, -1);

  // Drawn: every item carries the track's bitmap, its colour, and its
  // opacity at the instance's frame when the emitter stepped.
  ItemRecorder rec;
  gr_set_recorder(&rec);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  lights_set_ambient(0, 0, 0);
  EffectInstance* inst = effect_create_from_def(f.view, f.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  effect_instance_start(inst, true, false);
  for (int i = 0; i < 3; i++) ASSERT_TRUE(effect_instance_update(inst, 1.0f / 15.0f, nullptr, 0));
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, -10), identity_matrix, 90.0f, false);
  rec.polys.clear();
  effect_instance_render_all(inst, 0);
  gr_flip();  // the items go out with the buffered polygons
  ASSERT_GT(inst->emitters->live, 0);
  ASSERT_FALSE(rec.polys.empty());
  for (const auto& p : rec.polys) {
    EXPECT_STREQ(bm_get_filename(p.bitmap), "ember.tga");
    EXPECT_EQ(p.colour.red, 255);
    EXPECT_EQ(p.colour.green, 128);
    EXPECT_EQ(p.colour.blue, 0);
    EXPECT_NEAR(p.colour.alpha, 100, 1);  // frame 3: past the curve, its last byte
  }
  effect_instance_release(inst);
  gr_close();
  gr_set_recorder(nullptr);
}

// A track whose bitmap is the first the manager loaded (handle 0) gives its
// items that bitmap; a "$" name and no name give none.
TEST_F(EffectMaterialTracks, ATrackWithTheFirstBitmapLoadedShowsIt) {
  const auto pix = test_pattern(4, 4, 3);
  ASSERT_TRUE(tga_write_file(root() + "ember.tga", pix.data(), 4, 4, 24));
  EffectDefSpec d = spell_def("embers");
  MaterialSpec ember = track(255, 128, 0, {200});
  ember.layer[0].name = "ember.tga";
  MaterialSpec special = track(0, 0, 255, {255});
  special.layer[0].name = "$special";
  MaterialSpec bare = track(0, 255, 0, {255});
  d.material_tracks = {ember, special, bare};
  Image f = make_image({d});
  effect_definition_reset(f.view, f.def(0), -1);
  EffectItemLook look;
  ASSERT_TRUE(effect_material_track_sample(f.view, f.def(0), 0, 0.0f, false, look));
  EXPECT_EQ(look.bitmap, 0);
  EXPECT_STREQ(bm_get_filename(look.bitmap), "ember.tga");
  for (int t : {1, 2}) {
    EffectItemLook none;
    ASSERT_TRUE(effect_material_track_sample(f.view, f.def(0), t, 0.0f, false, none));
    EXPECT_EQ(none.bitmap, -1) << t;
  }
}


// in the warm colour of their track.
TEST_F(EffectMaterialTracks, TheDemoSpellsSparksHaveTheirBitmapAndColour) {
  const auto pix = test_pattern(4, 4, 3);
  ASSERT_TRUE(tga_write_file(root() + "first.tga", pix.data(), 4, 4, 24));
  ASSERT_EQ(bm_load("first.tga"), 0);
  const std::vector<uint8_t> spark = demo_spark_pixels(16);
  EXPECT_GT(spark[(8 * 16 + 8) * 4 + 3], 240);  // a solid centre
  EXPECT_EQ(spark[3], 0);  // a clear rim
  ASSERT_TRUE(tga_write_file(root() + DEMO_SPARK_BITMAP, spark.data(), 16, 16, 32));
  Image f = make_image({demo_spell_def()});
  effect_definition_reset(f.view, f.def(0), -1);
  const EffectDefArray emitters = effect_def_array(f.view, f.def(0), EFFECT_ARRAY_EMITTER);
  ASSERT_EQ(emitters.count, 1);
  EffectEmitterDef sparks;
  ASSERT_TRUE(effect_emitter_def_at(f.view, emitters.record(0), sparks));
  EffectItemLook look;
  ASSERT_TRUE(effect_material_track_sample(f.view, f.def(0), sparks.material(), 0.0f, false, look));
  EXPECT_STREQ(bm_get_filename(look.bitmap), DEMO_SPARK_BITMAP);
  EXPECT_GT(look.r, look.b);
  EXPECT_FLOAT_EQ(look.opacity, 1.0f);
}

// ---- The environment handed to the level renderer ----

TEST(EffectEnvironmentApply, PublishesTheSelectedTrackAtTheInstancesFrame) {
  effect_pools_fresh();
  EffectDefSpec d = spell_def("dusk");
  d.length = 30;
  MaterialSpec other = track(1, 2, 3, {9});
  MaterialSpec dusk = track(255, 255, 255, {0, 255});  // white: must not read as "no colour"
  dusk.curve[0] = {10, 20};
  dusk.curve[1] = {255};
  dusk.mode = 5;
  dusk.additive = true;
  d.material_tracks = {other, dusk};
  d.environment_track = 1;
  Image f = make_image({d});
  EffectInstance* inst = effect_create_from_def(f.view, f.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  effect_instance_start(inst, true, false);
  ASSERT_TRUE(effect_instance_update(inst, 0.5f / 15.0f, nullptr, 0));  // frame 0.5

  effect_environment_clear();
  float value = 0.0f;
  ASSERT_TRUE(effect_environment_apply(&value, inst));
  EXPECT_EQ(Effect_environment.level[0], 15);   // halfway from 10 to 20
  EXPECT_EQ(Effect_environment.level[1], 255);  // one byte
  EXPECT_EQ(Effect_environment.level[2], 128);  // 127.5, rounded
  EXPECT_EQ(Effect_environment.colour, 0x00FFFFFF);
  EXPECT_EQ(Effect_environment.flag, 1);
  EXPECT_EQ(Effect_environment.mode, 5);
  EXPECT_FLOAT_EQ(value, 0.55f);
  effect_instance_release(inst);

  // No selector, or one naming a track that is not there: nothing published.
  for (int selected : {-1, 2, 1000}) {
    EffectDefSpec plain = d;
    plain.environment_track = selected;
    Image g = make_image({plain});
    EffectInstance* p = effect_create_from_def(g.view, g.def(0), -1, 0, 0, false);
    ASSERT_NE(p, nullptr);
    effect_environment_clear();
    EXPECT_FALSE(effect_environment_apply(&value, p)) << selected;
    EXPECT_EQ(Effect_environment.colour, -1) << selected;
    effect_instance_release(p);
  }
  EXPECT_FALSE(effect_environment_apply(&value, nullptr));
}

// ---- Camera hand-off ----

// A camera that sits at x = 0, 1 and 4 units over frames 0..2 and turns a
// quarter about y between frames 0 and 1.
EffectCameraSpec keyed_camera() {
  EffectCameraSpec c;
  c.name = "cam";
  c.key_count = 3;
  c.position[0] = effect_track_frames({0, 256, 1024});
  c.position[1] = effect_track_frames({512, 512, 512});  // y = 2
  c.position[2] = effect_track_frames({0, 0, 0});
  c.rotation[0] = effect_track_frames({0, 0, 0});
  c.rotation[1] = effect_track_frames({0, 11585, 11585});
  c.rotation[2] = effect_track_frames({0, 0, 0});
  c.rotation[3] = effect_track_frames({16383, 11585, 11585});
  return c;
}

class EffectCamera : public ::testing::Test {
 protected:
  void SetUp() override { effect_pools_fresh(); }
  void TearDown() override { effect_instances_reset(); }
  EffectInstance* play(const Image& f) {
    EffectInstance* inst = effect_create_from_def(f.view, f.def(0), -1, 0, 0, false);
    if (inst) effect_instance_start(inst, true, false);
    return inst;
  }
  static vector camera_pos() {
    vector p;
    effect_camera_get(&p, nullptr);
    return p;
  }
};

TEST_F(EffectCamera, ValuesAtAndBetweenKeysAndHeldPastTheLast) {
  EffectDefSpec d = spell_def("fly");
  d.length = 60;
  d.cameras = {keyed_camera()};
  Image f = make_image({d});
  EffectInstance* inst = play(f);
  ASSERT_NE(inst, nullptr);
  const float quarter = 1.5707963f;
  const struct {
    float frame;
    float x;
    float angle;  // the turn about y, radians
  } rows[] = {{0.0f, 0.0f, 0.0f},     {0.5f, 0.5f, quarter / 2}, {1.0f, 1.0f, quarter},
              {1.5f, 2.5f, quarter}, {2.0f, 4.0f, quarter},     {7.0f, 4.0f, quarter}};
  float at = 0.0f;
  for (const auto& row : rows) {
    ASSERT_TRUE(effect_instance_update(inst, (row.frame - at) / 15.0f, nullptr, 0));
    at = row.frame;
    ASSERT_EQ(effect_camera_holder(), inst);
    vector p;
    matrix m;
    effect_camera_get(&p, &m);
    EXPECT_NEAR(p.x, row.x, 1e-3f) << row.frame;
    EXPECT_NEAR(p.y, 2.0f, 1e-3f) << row.frame;
    EXPECT_NEAR(p.z, 0.0f, 1e-3f) << row.frame;
    EXPECT_NEAR(std::fabs(m.forward.x), std::sin(row.angle), 2e-3f) << row.frame;
    EXPECT_NEAR(m.forward.z, std::cos(row.angle), 2e-3f) << row.frame;
    EXPECT_NEAR(m.up.y, 1.0f, 1e-3f) << row.frame;
  }
}

TEST_F(EffectCamera, OneHolderAtATimeGivenUpOnStopAndRelease) {
  EffectDefSpec d = spell_def("fly");
  d.cameras = {keyed_camera()};
  Image f = make_image({d});
  // An element that does not drive the camera, or is switched off, takes
  // nothing.
  EffectDefSpec quiet = spell_def("quiet");
  EffectCameraSpec passive = keyed_camera(), off = keyed_camera();
  passive.drives = false;
  off.enabled = false;
  quiet.cameras = {passive, off};
  Image q = make_image({quiet});

  EffectInstance* bystander = play(q);
  ASSERT_TRUE(effect_instance_update(bystander, 0.1f, nullptr, 0));
  EXPECT_EQ(effect_camera_holder(), nullptr);
  matrix m;
  vector p(1, 1, 1);
  effect_camera_get(&p, &m);
  EXPECT_FLOAT_EQ(p.x, 0.0f);
  EXPECT_FLOAT_EQ(m.forward.z, 1.0f);

  EffectInstance* first = play(f);
  EffectInstance* second = play(f);
  ASSERT_TRUE(effect_instance_update(first, 1.0f / 15.0f, nullptr, 0));
  ASSERT_EQ(effect_camera_holder(), first);
  // The second plays a later frame but does not take the camera.
  ASSERT_TRUE(effect_instance_update(second, 2.0f / 15.0f, nullptr, 0));
  EXPECT_EQ(effect_camera_holder(), first);
  EXPECT_NEAR(camera_pos().x, 1.0f, 1e-3f);

  // Stopping gives it up at the holder's next update; then the other takes it.
  effect_instance_stop(first);
  effect_instance_update(first, 0.01f, nullptr, 0);
  EXPECT_EQ(effect_camera_holder(), nullptr);
  ASSERT_TRUE(effect_instance_update(second, 0.0f, nullptr, 0));
  EXPECT_EQ(effect_camera_holder(), second);
  EXPECT_NEAR(camera_pos().x, 4.0f, 1e-3f);
  // Release gives it up at once.
  effect_instance_release(second);
  EXPECT_EQ(effect_camera_holder(), nullptr);
  EXPECT_FLOAT_EQ(camera_pos().x, 0.0f);
  effect_instance_release(first);
  effect_instance_release(bystander);
}

// The parent transform of the update places the camera as it places emitters.
TEST_F(EffectCamera, PlacedInTheUpdatesParentFrame) {
  EffectDefSpec d = spell_def("fly");
  d.cameras = {keyed_camera()};
  Image f = make_image({d});
  EffectInstance* inst = play(f);
  transform parent;
  parent.pos = vector(10, 0, 5);
  parent.orient = identity_matrix;
  ASSERT_TRUE(effect_instance_update(inst, 1.0f / 15.0f, &parent, 0));
  const vector p = camera_pos();
  EXPECT_NEAR(p.x, 11.0f, 1e-3f);
  EXPECT_NEAR(p.y, 2.0f, 1e-3f);
  EXPECT_NEAR(p.z, 5.0f, 1e-3f);
}

// ---- Damaged records ----

// A material curve or a camera key stream that does not lie in the image
// refuses the file when it arrives, as damaged node tracks do.
TEST(EffectImageTracks, CurvesAndCameraStreamsOutsideTheImageRefuseIt) {
  EffectDefSpec d = spell_def("bad");
  d.material_tracks = {track(255, 255, 255, {1, 2, 3})};
  d.cameras = {keyed_camera()};
  const struct {
    const char* what;
    int array;
    uint32_t field;  // u32 offset of the bytes, within the record
    bool at_end;     // else 0
  } rows[] = {{"alpha curve past the end", EFFECT_ARRAY_MATERIAL, 52 + 8, true},
              {"camera x stream past the end", EFFECT_ARRAY_CAMERA, 16, true},
              {"camera w stream past the end", EFFECT_ARRAY_CAMERA, 16 + 6 * 12, true},
              {"camera x stream at 0", EFFECT_ARRAY_CAMERA, 16, false}};
  for (const auto& row : rows) {
    Image f = make_image({d});
    char err[200];
    ASSERT_TRUE(effect_image_check(f.view, err, sizeof err)) << err;
    const EffectDefArray a = effect_def_array(f.view, f.def(0), row.array);
    ASSERT_EQ(a.count, 1) << row.what;
    f.view.put_u32(a.record(0) + row.field, row.at_end ? f.view.size - 1 : 0);
    EXPECT_FALSE(effect_image_check(f.view, err, sizeof err)) << row.what;
  }
}

// ---- Level reset ----

TEST(EffectPools, ALevelResetRebuildsTheInstancePools) {
  effect_pools_fresh();
  EffectDefSpec d = spell_def("fly");
  d.cameras = {keyed_camera()};
  MeshElementSpec sprite;
  sprite.display = MESH_DISPLAY_SPRITE;
  d.meshes = {sprite, sprite};
  Image f = make_image({d});
  EffectInstance* inst = effect_create_from_def(f.view, f.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  effect_instance_start(inst, true, false);
  ASSERT_TRUE(effect_instance_update(inst, 0.1f, nullptr, 0));
  ASSERT_EQ(effect_camera_holder(), inst);
  ASSERT_EQ(effect_instance_free_count(), MAX_EFFECT_INSTANCES - 1);
  effects_level_reset();
  EXPECT_EQ(effect_instance_free_count(), MAX_EFFECT_INSTANCES);
  EXPECT_EQ(effect_mesh_record_free_count(), MAX_EFFECT_MESH_RECORDS);
  EXPECT_EQ(effect_camera_holder(), nullptr);
}

}  // namespace

// Effect instances: the life of an instance (create, start, update, loop,
// stop, finish, release), element numbering with pools that run dry, the
// transform and show recursion over parent names, and element lookups.
#include "quarn/geom/effect_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/quarn/ca/ca_test_util.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/math/floatops.h"
#include "tests/quarn/geom/recorded_screen.h"
#include "tools/writers/effect_demo.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tools/writers/effect_writer.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/effect_instance_writer.h"
#include "tools/writers/mvf_writer.h"

namespace {

bool list_shown(const EffectInstance* inst, int k) {
  const EffectMeshRecord* r = inst->meshes;
  for (int i = 0; i < k; i++) r = r->next;
  return (r->flags & EMR_SHOWN) != 0;
}

class EffectInstances : public ::testing::Test {
 protected:
  void SetUp() override {
    effect_pools_fresh();
  }
  void TearDown() override {
    effect_instances_reset();
    lights_reset();
  }
  EffectInstance* create(const Image& img, int def = 0) {
    return effect_create_from_def(img.view, img.def(def), -1, def, 0, false);
  }
};

TEST_F(EffectInstances, LoopWrapsAndAPlainInstanceStopsThenFinishes) {
  EffectDefSpec loop = spell_def("loop");
  loop.length = 30;
  const Image img = make_image({loop});
  EffectInstance* inst = create(img);
  ASSERT_NE(inst, nullptr);
  // A new instance is finished until started.
  EXPECT_TRUE(inst->flags & EI_FINISHED);
  EXPECT_FALSE(effect_instance_update(inst, 0.1f, nullptr, 0));
  EXPECT_FLOAT_EQ(effect_instance_time_left(inst), 0.0f);

  effect_instance_start(inst, true, false);
  EXPECT_FLOAT_EQ(effect_instance_time_left(inst), 2.0f);
  ASSERT_TRUE(effect_instance_update(inst, 2.5f, nullptr, 0));
  EXPECT_NEAR(inst->time, 0.5f, 1e-5f);
  EXPECT_NEAR(inst->frame, 7.5f, 1e-4f);
  EXPECT_TRUE(inst->flags & EI_WRAPPED);
  ASSERT_TRUE(effect_instance_update(inst, 0.1f, nullptr, 0));
  EXPECT_FALSE(inst->flags & EI_WRAPPED);
  // A very long frame wraps at once too.
  ASSERT_TRUE(effect_instance_update(inst, 1e6f + 0.25f, nullptr, 0));
  EXPECT_LT(inst->time, 2.0f);

  effect_instance_start(inst, false, false);
  ASSERT_TRUE(effect_instance_update(inst, 1.0f, nullptr, 0));
  EXPECT_FALSE(effect_instance_is_stopping(inst));
  EXPECT_FLOAT_EQ(effect_instance_time_left(inst), 1.0f);
  // Passing the length stops it; with no item alive it finishes at once.
  EXPECT_FALSE(effect_instance_update(inst, 1.5f, nullptr, 0));
  EXPECT_TRUE(effect_instance_is_stopping(inst));
  EXPECT_TRUE(inst->flags & EI_FINISHED);
  EXPECT_FLOAT_EQ(inst->frame, 30.0f);
  EXPECT_FALSE(effect_instance_update(inst, 0.1f, nullptr, 0));
  EXPECT_FLOAT_EQ(effect_instance_time_left(inst), 0.0f);

  // Stop while running: the next update finishes it.
  effect_instance_start(inst, true, false);
  effect_instance_stop(inst);
  EXPECT_FALSE(effect_instance_update(inst, 0.1f, nullptr, 0));
  effect_instance_release(inst);
  EXPECT_EQ(effect_instance_free_count(), MAX_EFFECT_INSTANCES);
}

TEST_F(EffectInstances, LoopingDefinitionOfLengthZeroEnds) {
  EffectDefSpec zero = spell_def("zero");
  zero.length = 0;
  const Image img = make_image({zero});
  EffectInstance* inst = create(img);
  ASSERT_NE(inst, nullptr);
  effect_instance_start(inst, true, false);
  EXPECT_FALSE(effect_instance_update(inst, 0.1f, nullptr, 0));
  EXPECT_TRUE(inst->flags & EI_FINISHED);
}

TEST_F(EffectInstances, DisabledDefinitionNeverRuns) {
  EffectDefSpec off = spell_def("off");
  off.flags = EFFECT_DEF_DISABLED | 2u;
  off.offset = vector(1, 2, 3);
  const Image img = make_image({off});
  EffectInstance* inst = create(img);
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ((inst->flags >> EI_DEF_FLAGS_SHIFT) & 3u, 1u);  // definition bit 1 copied
  EXPECT_FLOAT_EQ(inst->position.z, 3.0f);
  effect_instance_start(inst, true, false);
  EXPECT_FALSE(effect_instance_update(inst, 0.1f, nullptr, 0));
}

TEST_F(EffectInstances, AllInstancesInUseRefuseCreation) {
  EffectDefSpec d = spell_def("d");
  const Image img = make_image({d});
  std::vector<EffectInstance*> made;
  for (int i = 0; i < MAX_EFFECT_INSTANCES; i++) {
    made.push_back(create(img));
    ASSERT_NE(made.back(), nullptr);
  }
  EXPECT_EQ(create(img), nullptr);
  effect_instance_release(made[5]);
  effect_instance_release(made[5]);  // a second release does nothing
  EXPECT_EQ(effect_instance_free_count(), 1);
  EXPECT_NE(create(img), nullptr);
}

// The first motion path places a new instance: the definition's offset
// (0, 0, 3) moved by the path's frame 0, (1, 0, 0), and turned a quarter
// about y; its elements start there. A path that begins later leaves the
// instance at the offset, unturned.
TEST_F(EffectInstances, FirstMotionPathPlacesTheInstanceAndItsElements) {
  EffectDefSpec placed = spell_def("placed");
  placed.offset = vector(0, 0, 3);
  MeshElementSpec core;
  core.display = MESH_DISPLAY_SPRITE;
  core.frames = {MeshFrameSpec{}};
  placed.meshes = {core};
  MotionPathSpec path;
  path.frames.resize(2);
  path.frames[0].position = vector(1, 0, 0);
  path.frames[0].rotation[1] = std::sqrt(0.5f), path.frames[0].rotation[3] = std::sqrt(0.5f);
  path.frames[1].position = vector(2, 0, 0);
  placed.paths = {path};
  EffectDefSpec later = placed;
  later.name = "later";
  later.paths[0].first = 5;
  const Image img = make_image({placed, later});

  EffectInstance* inst = create(img, 0);
  ASSERT_NE(inst, nullptr);
  EXPECT_NEAR(inst->position.x, 1.0f, 1e-4f);
  EXPECT_NEAR(inst->position.z, 3.0f, 1e-4f);
  // A quarter turn about y: the right axis becomes +z, forward becomes -x.
  EXPECT_NEAR(inst->orient.right.z, 1.0f, 1e-3f);
  EXPECT_NEAR(inst->orient.forward.x, -1.0f, 1e-3f);
  EXPECT_NEAR(inst->orient.up.y, 1.0f, 1e-3f);
  vector at;
  matrix turn;
  effect_instance_get_element_transform(inst, 0, &at, &turn);
  EXPECT_NEAR(at.x, 1.0f, 1e-4f);
  EXPECT_NEAR(at.z, 3.0f, 1e-4f);
  EXPECT_NEAR(turn.right.z, 1.0f, 1e-3f);

  EffectInstance* late = create(img, 1);
  ASSERT_NE(late, nullptr);
  EXPECT_FLOAT_EQ(late->position.x, 0.0f);
  EXPECT_FLOAT_EQ(late->position.z, 3.0f);
  EXPECT_FLOAT_EQ(late->orient.right.x, 1.0f);
  effect_instance_release(inst);
  effect_instance_release(late);
}

// The instance's parameter-set records are sampled each frame through the
// emitters that link them: the linked set's record follows its keys (x = the
// frame), the unlinked one is never sampled.
TEST_F(EffectInstances, LinkedParameterSetsAreSampledEveryFrame) {
  EffectDefSpec d = spell_def("fields");
  d.length = 30;
  EffectParamSetSpec idle, moving;
  idle.name = "idle";
  moving.name = "moving";
  moving.key_count = 30;
  std::vector<int16_t> xs;
  for (int f = 0; f < 30; f++) xs.push_back(static_cast<int16_t>(256 * f));
  moving.position[0] = effect_track_frames(xs);
  moving.rotation[3] = effect_track_constant(16382);
  d.params = {idle, moving};
  EffectEmitterSpec e;
  e.name = "stir";
  e.links = {1};
  e.item_count = 4;
  d.emitters = {e};
  const Image img = make_image({d});
  EffectInstance* inst = create(img);
  ASSERT_NE(inst, nullptr);
  ASSERT_NE(inst->params, nullptr);
  EffectParamRecord* first = inst->params;
  EffectParamRecord* second = inst->params->next;
  ASSERT_NE(second, first);
  EXPECT_EQ(inst->emitters->params[0], &second->run);

  effect_instance_start(inst, true, false);
  for (const float at : {4.5f, 7.25f, 20.0f}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(effect_instance_update(inst, at / 15.0f - inst->time, nullptr, 0));
    EXPECT_NEAR(second->run.frame, at, 1e-3f);
    EXPECT_NEAR(second->run.position.x, at, 2e-2f);
    EXPECT_LT(first->run.frame, 0.0f);
  }
  // After the loop wraps the set starts over with it.
  ASSERT_TRUE(effect_instance_update(inst, 12.0f / 15.0f, nullptr, 0));  // frame 32 -> 2
  EXPECT_NEAR(second->run.frame, 2.0f, 1e-3f);
  EXPECT_NEAR(second->run.position.x, 2.0f, 2e-2f);
  effect_instance_release(inst);
}

TEST_F(EffectInstances, NumberingCountsOnlyTheRecordsMade) {
  EffectDefSpec big = spell_def("big");
  MeshElementSpec sprite;
  sprite.display = MESH_DISPLAY_SPRITE;
  big.meshes.assign(250, sprite);
  ChannelElementSpec ch;
  ch.keys = {{vector(0, 0, 0), 256, 255, 255, 255, true}};
  big.channels.assign(10, ch);
  EffectEmitterSpec em;
  em.item_count = 5;
  big.emitters.assign(2, em);
  const Image img = make_image({big});
  EXPECT_EQ(effect_instance_element_count(img.view, img.def(0)), 250 + 5 * 2 + 10 + 2);

  EffectInstance* a = create(img);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(effect_instance_elements(a), 250 + 10 + 10 + 2);
  // The second copy finds only 134 mesh records left.
  EffectInstance* c = create(img);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(effect_mesh_record_free_count(), 0);
  EXPECT_EQ(effect_channel_record_free_count(), MAX_EFFECT_CHANNEL_RECORDS - 20);
  EXPECT_EQ(effect_instance_elements(c), 134 + 10 + 10 + 2);
  // Numbers map in the order meshes, items, VIF, channels, nodes, emitters.
  const struct {
    int number;
    int kind, index, item;
  } cases[] = {{0, EEK_MESH, 0, 0},      {133, EEK_MESH, 133, 0},   {134, EEK_ITEM, 0, 0},
               {139, EEK_ITEM, 1, 0},    {143, EEK_ITEM, 1, 4},     {144, EEK_CHANNEL, 0, 0},
               {153, EEK_CHANNEL, 9, 0}, {154, EEK_EMITTER, 0, 0},  {155, EEK_EMITTER, 1, 0},
               {156, EEK_NONE, 0, 0},    {-1, EEK_NONE, 0, 0}};
  for (const auto& k : cases) {
    const EffectElementRef r = effect_instance_element(c, k.number);
    EXPECT_EQ(r.kind, k.kind) << k.number;
    if (k.kind != EEK_NONE) {
      EXPECT_EQ(r.index, k.index) << k.number;
      EXPECT_EQ(r.item, k.item) << k.number;
    }
  }
  // Release gives every record back.
  effect_instance_release(a);
  effect_instance_release(c);
  EXPECT_EQ(effect_mesh_record_free_count(), MAX_EFFECT_MESH_RECORDS);
  EXPECT_EQ(effect_channel_record_free_count(), MAX_EFFECT_CHANNEL_RECORDS);
  EXPECT_EQ(effect_emitter_pool_free_count(), MAX_EFFECT_EMITTER_RECORDS);
  EXPECT_EQ(effect_item_pool_free_count(), MAX_EFFECT_ITEMS);
  EXPECT_EQ(lights_used_count(), 0);  // the channels' lights went with them
}

TEST_F(EffectInstances, TransformsAndShowingFollowParentNames) {
  EffectDefSpec d = spell_def("spell");
  MeshElementSpec hand;
  hand.display = MESH_DISPLAY_SPRITE;
  hand.name = "Hand";
  MeshElementSpec flame = hand;
  flame.name = "flame";
  flame.parent = "hand";
  flame.offset = vector(0, 0, 2);
  MeshElementSpec spark = hand;
  spark.name = "spark";
  spark.parent = "FLAME";
  spark.offset = vector(1, 0, 0);
  d.meshes = {hand, flame, spark};
  ChannelElementSpec light;
  light.keys = {{vector(0, 0, 0), 256, 255, 255, 255, true}};
  light.name = "light";
  light.parent = "flame";
  light.offset = vector(0, 1, 0);
  d.channels = {light};
  const Image img = make_image({d});
  EffectInstance* inst = create(img);
  ASSERT_NE(inst, nullptr);

  EXPECT_EQ(effect_instance_find_element(inst, "HAND"), 0);
  EXPECT_EQ(effect_instance_find_element(inst, "light"), 3);
  testing::internal::CaptureStdout();
  EXPECT_EQ(effect_instance_find_element(inst, "tail"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ">>> FAILED TO GET TAG tail\n");
  EXPECT_STREQ(effect_instance_element_parent(inst, 2), "FLAME");
  EXPECT_STREQ(effect_instance_element_name(inst, 1), "flame");

  // The hand turned a quarter about y (forward becomes +x) at (10, 0, 0):
  // the flame 2 ahead of it lands at (12, 0, 0), the spark 1 to the flame's
  // right at (12, 0, -1), the light 1 above the flame at (12, 1, 0).
  const matrix quarter(vector(0, 0, -1), vector(0, 1, 0), vector(1, 0, 0));
  effect_instance_set_element_transform(inst, 0, vector(10, 0, 0), quarter);
  const struct {
    int number;
    vector want;
  } cases[] = {{0, {10, 0, 0}}, {1, {12, 0, 0}}, {2, {12, 0, -1}}, {3, {12, 1, 0}}};
  for (const auto& c : cases) {
    vector p;
    matrix m;
    effect_instance_get_element_transform(inst, c.number, &p, &m);
    EXPECT_NEAR(p.x, c.want.x, 1e-5f) << c.number;
    EXPECT_NEAR(p.y, c.want.y, 1e-5f) << c.number;
    EXPECT_NEAR(p.z, c.want.z, 1e-5f) << c.number;
    EXPECT_NEAR(m.forward.x, 1.0f, 1e-5f) << c.number;
  }
  // A number out of range answers the first mesh element's transform.
  vector p;
  effect_instance_get_element_transform(inst, 99, &p, nullptr);
  EXPECT_FLOAT_EQ(p.x, 10.0f);

  // Hiding the flame hides the spark with it, not the hand.
  effect_instance_show_element(inst, 1, false);
  EXPECT_TRUE(list_shown(inst, 0));
  EXPECT_FALSE(list_shown(inst, 1));
  EXPECT_FALSE(list_shown(inst, 2));
  effect_instance_show_element(inst, 0, true);
  EXPECT_TRUE(list_shown(inst, 2));
}

TEST_F(EffectInstances, CreateByNameLeavesTheCallersStringAlone) {
  char name[] = "NAR-Unknown";
  EXPECT_EQ(effect_create_by_name(name, 0), nullptr);
  EXPECT_STREQ(name, "NAR-Unknown");
  EXPECT_EQ(effect_create_by_name("MI-literal", 0), nullptr);
  EXPECT_EQ(effect_create_by_name(nullptr, 0), nullptr);
}

}  // namespace

namespace {

struct PolyRecorder : GrRecorder {
  int polygons = 0;
  void polygon(int, GrVertex**, RenderStateWord) override { polygons++; }
};

// A sprite element and an animated light, played, stopped and finished: the
// sprite is drawn while the effect runs and not after, and the light shines
// only while its key says on.
TEST(EffectInstanceDrawing, DrawsWhileRunningAndNothingOnceFinished) {
  effect_pools_fresh();
  PolyRecorder rec;
  const RecordingRenderer renderer(rec);

  EffectDefSpec d = spell_def("flash");
  d.length = 15;
  MeshElementSpec sprite;
  sprite.display = MESH_DISPLAY_SPRITE;
  sprite.flags = 15u << 6;
  MeshFrameSpec f;
  f.size = 2.0f, f.length = 2.0f;
  sprite.frames = {f, f};
  MaterialSpec mat;
  mat.curve[2] = {255};
  sprite.materials = {mat};
  d.meshes = {sprite};
  ChannelElementSpec light;
  light.keys = {{vector(0, 0, 0), 256, 255, 128, 0, true}, {vector(0, 0, 0), 256, 255, 128, 0, true}};
  d.channels = {light};
  const Image img = make_image({d});
  EffectInstance* inst = effect_create_from_def(img.view, img.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  effect_instance_set_element_transform(inst, 0, vector(0, 0, 20), identity_matrix);

  auto frame = [&]() {
    rec.polygons = 0;
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
    effect_instance_render_all(inst, 0);
    gr_flip();
    return rec.polygons;
  };
  // The front end's own drawing at a flip, counted with the instance idle
  // (not started: finished, nothing of it drawn).
  frame();
  const int idle = frame();
  effect_instance_start(inst, false, false);
  ASSERT_TRUE(effect_instance_update(inst, 0.05f, nullptr, 0));
  EXPECT_GT(frame(), idle);
  const int lamp = inst->channels->state.light;
  ASSERT_GE(lamp, 0);
  EXPECT_TRUE(light_get_enabled(lamp));
  EXPECT_FALSE(effect_instance_update(inst, 2.0f, nullptr, 0));  // past its length: stops and finishes
  EXPECT_EQ(frame(), idle);
  effect_instance_release(inst);
  EXPECT_FALSE(light_get_enabled(lamp));

}

}  // namespace

namespace {

// A channel bound to a bone of a character instance whose animation moves
// that bone: the light follows the bone as the character plays.
class EffectTagBinding : public CaRootTest {
 protected:
  void SetUp() override {
    CaRootTest::SetUp();
    character_instance_system_init(-1);
    effect_pools_fresh();
  }
  void TearDown() override {
    effect_instances_reset();
    lights_reset();
    character_instance_system_shutdown();
    CaRootTest::TearDown();
  }
};

TEST_F(EffectTagBinding, ABoundLightFollowsTheMovingBone) {
  ASSERT_TRUE(vim_write_file(path("body.vim"), small_mesh()));
  const char* names[] = {"body"};
  BaseCharacter* bc = base_character_load(names, 1, nullptr, nullptr);
  ASSERT_NE(bc, nullptr);
  // Bone 1 slides 8 units along x over 3200 ticks.
  MvfWriterAnim a;
  a.last_tick = 3200;
  for (int b = 0; b < 3; ++b) {
    MvfWriterBone bone;
    bone.rotations = {MvfWriterRotationKey{}};
    MvfWriterPositionKey p0, p1;
    p1.tick = 3200;
    if (b == 1) p1.value = {8, 0, 0};
    bone.positions = b == 1 ? std::vector<MvfWriterPositionKey>{p0, p1} : std::vector<MvfWriterPositionKey>{p0};
    a.bones.push_back(bone);
  }
  ASSERT_TRUE(mvf_write_file(path("slide.mvf"), a));
  const int slide = base_character_add_skeleton(bc, "slide.mvf", "slide", 1, 0, 0, 0);
  ASSERT_GE(slide, 0);
  character_instance ci(bc);
  ci.set_anim_weight(slide, 1.0f);

  EffectDefSpec d = spell_def("glow");
  d.length = 150;
  ChannelElementSpec light;
  light.keys = {{vector(0, 1, 0), 256, 255, 255, 255, true}, {vector(0, 1, 0), 256, 255, 255, 255, true}};
  light.name = "handlight";
  d.channels = {light};
  const Image img = make_image({d});
  EffectInstance* inst = effect_create_from_def(img.view, img.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  const int number = effect_instance_find_element(inst, "handlight");
  ASSERT_EQ(number, 0);
  effect_instance_bind_element(inst, number, &ci, 1);
  effect_instance_start(inst, true, false);

  std::vector<float> xs;
  for (int step = 0; step < 3; ++step) {
    if (step > 0) ci.increment_tick(1200);
    ci.process(0.0f, 0, 0);
    ASSERT_TRUE(effect_instance_update(inst, 1.0f / 30.0f, nullptr, 0));
    const int lamp = inst->channels->state.light;
    ASSERT_GE(lamp, 0);
    vector lit, want;
    ASSERT_TRUE(light_get_position(lamp, lit));
    transform bone;
    ci.get_bone_transform(&bone, 1);
    bone.apply(want, vector(0, 1, 0));
    EXPECT_NEAR(lit.x, want.x, 1e-4f) << step;
    EXPECT_NEAR(lit.y, want.y, 1e-4f) << step;
    EXPECT_NEAR(lit.z, want.z, 1e-4f) << step;
    xs.push_back(lit.x);
  }
  // The bone moved, and the light with it.
  EXPECT_GT(xs[2] - xs[0], 1.0f);
  effect_instance_release(inst);
}

}  // namespace

namespace {

class EffectDefinitionReset : public BitmapRootTest {};

// A VIF emitter's bitmap is loaded by name into the image when its
// definition is reset, as at creation; a name that does not load gives no
// bitmap of its own (none, or the bitmap manager's placeholder).
TEST_F(EffectDefinitionReset, VifEmittersLoadTheirBitmaps) {
  const auto pix = test_pattern(4, 4, 3);
  ASSERT_TRUE(tga_write_file(root() + "spark.tga", pix.data(), 4, 4, 24));
  EffectDefSpec d;
  d.name = "sparks";
  VifEmitterSpec good, missing;
  good.bitmap = "spark.tga";
  missing.bitmap = "nothing.tga";
  d.vifs = {good, missing};
  Image img = make_image({d});
  const uint32_t def = img.def(0);
  const EffectDefArray vifs = effect_def_array(img.view, def, EFFECT_ARRAY_VIF);
  ASSERT_EQ(vifs.count, 2);
  effect_definition_reset(img.view, def, -1);
  const int handle = img.view.i32(vifs.record(0) + VIF_BITMAP);
  EXPECT_GE(handle, 0);
  EXPECT_STREQ(bm_get_filename(handle), "spark.tga");
  const int other = img.view.i32(vifs.record(1) + VIF_BITMAP);
  EXPECT_TRUE(other < 0 || bm_is_placeholder(other)) << other;
}

TEST(EffectEnvironmentState, ClearGivesColourMinusOneAndZeros) {
  Effect_environment.level[1] = 9;
  Effect_environment.colour = 5;
  Effect_environment.mode = 3;
  effect_environment_clear();
  EXPECT_EQ(Effect_environment.colour, -1);
  EXPECT_EQ(Effect_environment.level[1], 0);
  EXPECT_EQ(Effect_environment.mode, 0);
}

}  // namespace

namespace {

// Mesh elements load their glow and layer bitmaps by name when their
// definition is reset; "$" names and empty names give no bitmap (-1, a
// handle the bitmap manager never hands out).
TEST_F(EffectDefinitionReset, MeshElementsLoadGlowAndLayerBitmaps) {
  const auto pix = test_pattern(4, 4, 3);
  ASSERT_TRUE(tga_write_file(root() + "glow.tga", pix.data(), 4, 4, 24));
  ASSERT_TRUE(tga_write_file(root() + "flame.tga", pix.data(), 4, 4, 24));
  EffectDefSpec d = spell_def("lit");
  MeshElementSpec m;
  m.display = MESH_DISPLAY_SPRITE;
  m.glow_name = "glow.tga";
  m.glow_size = 2.0f;
  MaterialSpec mat;
  mat.layer[0].name = "flame.tga";
  mat.layer[1].name = "$special";
  m.materials = {mat};
  d.meshes = {m};
  Image img = make_image({d});
  effect_definition_reset(img.view, img.def(0), -1);
  const EffectDefArray meshes = effect_def_array(img.view, img.def(0), EFFECT_ARRAY_MESH);
  MeshEffectElement e;
  char err[160];
  ASSERT_TRUE(mesh_effect_relocate(e, img.view.data, img.view.size, meshes.record(0), err, sizeof err)) << err;
  EXPECT_STREQ(bm_get_filename(e.glow_handle), "glow.tga");
  MeshMaterial loaded;
  ASSERT_TRUE(mesh_effect_material(e, 0, loaded));
  EXPECT_STREQ(bm_get_filename(loaded.layer[0].bitmap), "flame.tga");
  EXPECT_EQ(loaded.layer[1].bitmap, -1);
  EXPECT_EQ(loaded.environment_bitmap, -1);  // no name
}

}  // namespace

namespace {

// The demo spell held 3.5 ahead of an eye (90 degrees across 640 pixels,
// square pixels) by a hand that swings up at 6 units a second: the core is
// a square of its frame's size (size x 320 / 3.5 pixels each way) and every
// spark is a small streak, a few pixels across and short, so that the
// sparks show as dots of their own rather than one smear.
TEST(EffectInstanceDrawing, DemoSpellCoreIsSquareAndSparksAreSmallDots) {
  RecordedScreen screen;
  auto& rec = screen.rec;
  effect_pools_fresh();
  os_srand(5);
  EffectDefSpec spell = demo_spell_def();
  spell.pool_class = EFFECT_POOL_SPELL;
  const Image img = make_image({spell});
  EffectInstance* inst = effect_create_from_def(img.view, img.def(0), -1, 0, 0, false);
  ASSERT_NE(inst, nullptr);
  effect_instance_start(inst, true, false);
  transform hand;
  hand.orient = identity_matrix;
  for (int step = 1; step <= 9; step++) {
    hand.pos = vector(0, -0.5f + 0.2f * static_cast<float>(step), 3.5f);
    effect_instance_set_element_transform(inst, 0, hand.pos, hand.orient);
    ASSERT_TRUE(effect_instance_update(inst, 1.0f / 30.0f, &hand, 0));
  }
  auto draw = [&](int kind, int only = -1) {
    rec.polygons.clear();
    RecordedScreen::start_frame();
    for (int n = 0; n < effect_instance_elements(inst); n++)
      if (effect_instance_element(inst, n).kind == kind && (only < 0 || n == only)) effect_instance_render(inst, n, 0);
    gr_alpha_flush();
  };

  draw(EEK_MESH, 0);  // the core
  ASSERT_EQ(rec.polygons.size(), 1u);
  const ScreenBox core = screen_box(rec.polygons[0]);
  // Effect frame 4.5: the core's size lies between its frames 4 and 5.
  const float size = 0.25f + 0.15f * (std::sin(4 * 3.14159265f / 30) + std::sin(5 * 3.14159265f / 30)) / 2;
  EXPECT_NEAR(core.w(), size * 320.0f / 3.5f, 1.0f);
  EXPECT_NEAR(core.h(), size * 320.0f / 3.5f, 1.0f);

  draw(EEK_EMITTER);
  ASSERT_GE(rec.polygons.size(), 3u) << "sparks alive after 0.3 s";
  for (const auto& corners : rec.polygons) {
    const ScreenBox b = screen_box(corners);
    EXPECT_LE(std::min(b.w(), b.h()), 4.0f) << b.x0 << "," << b.y0;
    EXPECT_LE(std::max(b.w(), b.h()), 24.0f) << b.x0 << "," << b.y0;
  }
  effect_instance_release(inst);
  effect_instances_reset();
}

}  // namespace

// Mesh effects: material curves, texture-layer frame selection from a real
// animated bitmap, the element reader's checks (material slots, counts
// against the shared buffers) and the choice of frames over time.
#include "quarn/geom/mesh_effect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/os/console.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tests/quarn/geom/recorded_screen.h"
#include "tools/writers/effect_instance_writer.h"
#include "tools/writers/image_writers.h"

namespace {

MeshMaterial read_material(std::vector<uint8_t>& img, const MaterialSpec& spec) {
  img.assign(8, 0);
  write_effect_material(img, 8, spec);
  MeshMaterial m;
  char err[160];
  EXPECT_TRUE(mesh_material_read(m, img.data(), static_cast<uint32_t>(img.size()), 8, err, sizeof err)) << err;
  return m;
}

TEST(MeshMaterialCurves, BlendBetweenBytesAndHoldTheLast) {
  MaterialSpec spec;
  spec.rate = 1;  // one curve byte per second: s = rate x time / 15
  spec.curve[2] = {0, 255, 51};
  std::vector<uint8_t> img;
  const MeshMaterial m = read_material(img, spec);
  const struct {
    float time;  // effect frames
    float want;
  } cases[] = {
      {0.0f, 0.0f},
      {7.5f, 0.5f},                            // s = 0.5: halfway from 0 to 255
      {22.5f, (255 * 0.5f + 51 * 0.5f) / 255},  // s = 1.5
      {30.0f, 51 / 255.0f},                     // k + 1 reaches the length: the last byte
      {1e6f, 51 / 255.0f},
      {-20.0f, 0.0f},                           // before the start: the first byte
  };
  for (const auto& c : cases) EXPECT_NEAR(mesh_material_curve(m, 2, c.time), c.want, 1e-5f) << c.time;
  // Rate 2: twice as fast.
  spec.rate = 2;
  const MeshMaterial fast = read_material(img, spec);
  EXPECT_NEAR(mesh_material_curve(fast, 2, 7.5f), 1.0f, 1e-5f);
  // An empty curve answers full strength.
  EXPECT_FLOAT_EQ(mesh_material_curve(fast, 1, 3.0f), 1.0f);
}

TEST(MeshMaterialCurves, SecondLayerIntensityOnlyInModeOne) {
  MaterialSpec spec;
  spec.rate = 15;
  spec.curve[0] = {102, 102};
  std::vector<uint8_t> img;
  spec.mode = 0;
  EXPECT_FLOAT_EQ(mesh_material_layer2_intensity(read_material(img, spec), 0.0f), 0.0f);
  spec.mode = 1;
  EXPECT_NEAR(mesh_material_layer2_intensity(read_material(img, spec), 0.0f), 0.4f, 1e-6f);
  spec.additive = true;
  EXPECT_TRUE(read_material(img, spec).additive);
}

TEST(MeshMaterialCurves, ResetAndRefusals) {
  MeshMaterial m;
  mesh_material_reset(m);
  EXPECT_EQ(m.mode, 7);
  EXPECT_EQ(m.layer[0].bitmap, -1);
  EXPECT_EQ(m.layer[1].bitmap, -1);
  EXPECT_EQ(m.environment_bitmap, -1);
  EXPECT_FLOAT_EQ(m.reserved, 0.55f);

  MaterialSpec spec;
  spec.curve[1] = {1, 2, 3};
  std::vector<uint8_t> img;
  read_material(img, spec);
  image_set_u16(img, 8 + 4, 60000);  // the curve's length runs past the image
  char err[160];
  EXPECT_FALSE(mesh_material_read(m, img.data(), static_cast<uint32_t>(img.size()), 8, err, sizeof err));
  EXPECT_FALSE(mesh_material_read(m, img.data(), 40, 8, err, sizeof err));
}

class LayerFrames : public BitmapRootTest {
 protected:
  // A 10-frame animation at 20 frames per second and a still bitmap.
  int load_anim() {
    std::vector<uint8_t> data;
    for (int f = 0; f < 10; f++) {
      const auto frame = test_pattern(4, 4, 2);
      const auto with = vbm_frame_with_mips(frame.data(), 4, 4, 0);
      data.insert(data.end(), with.begin(), with.end());
    }
    VbmWriterHeader vh;
    vh.width = 4, vh.height = 4, vh.pixel_type = 2, vh.fps = 20, vh.frames = 10, vh.mips_below = 0;
    EXPECT_TRUE(vbm_write_file(root() + "glow.vbm", vh, data.data(), data.size()));
    int frames = 0, fps = 0;
    const int h = bm_load_animation("glow.vbm", &frames, &fps);
    EXPECT_EQ(frames, 10);
    return h;
  }
};

TEST_F(LayerFrames, StepAtTheBitmapRateAndHoldOrWrap) {
  const int head = load_anim();
  ASSERT_GE(head, 0);
  MeshMaterialLayer layer;
  layer.bitmap = head;
  // frame index = floor((time - start) x 20 x speed / 15); time in effect frames.
  const struct {
    float time, start, speed;
    int mode;
    int index;
  } cases[] = {
      {0.0f, 0.0f, 1.0f, 0, 0},   {3.0f, 0.0f, 1.0f, 0, 4},   {7.5f, 0.0f, 1.0f, 0, 0},  // wraps at 10
      {8.25f, 0.0f, 1.0f, 2, 1},  {15.0f, 0.0f, 1.0f, 1, 9},  {900.0f, 0.0f, 1.0f, 1, 9}, // mode 1 holds
      {3.0f, 0.0f, 0.5f, 0, 2},   {3.0f, 15.0f, 1.0f, 0, 0},  // before the layer's start: frame 0
  };
  for (const auto& c : cases) {
    layer.start = c.start, layer.speed = c.speed, layer.play_mode = c.mode;
    EXPECT_EQ(mesh_layer_frame(layer, c.time), head + c.index + 1) << c.time << " mode " << c.mode;
  }
  // Normalised time: floor(10 u) - start, negative values wrapped by 10.
  layer.start = 0;
  EXPECT_EQ(mesh_layer_frame_normalised(layer, 0.25f), head + 2 + 1);
  layer.start = 4;
  EXPECT_EQ(mesh_layer_frame_normalised(layer, 0.25f), head + 8 + 1);
}

TEST_F(LayerFrames, AStillBitmapNeverChanges) {
  auto pix = test_pattern(4, 4, 2);
  const int still = bm_create(BM_FORMAT_565, 4, 4, pix.data());
  ASSERT_GE(still, 0);
  MeshMaterialLayer layer;
  layer.bitmap = still;
  for (float t : {0.0f, 1.0f, 15.0f, 1e5f}) EXPECT_EQ(mesh_layer_frame(layer, t), still);
  EXPECT_EQ(mesh_layer_frame_normalised(layer, 0.7f), still);
}

MeshElementSpec two_faces() {
  MeshElementSpec s;
  s.vertices = 4;
  s.light_records = 4;
  MaterialSpec mat;
  mat.layer[0].bitmap = 5;
  s.materials = {mat};
  s.slots = {0, 3};  // slot 1 names a material the element does not have
  MeshFaceSpec f;
  f.slot = 0;
  s.faces = {f, f, f, f};
  s.faces[1].slot = -1;
  s.faces[2].slot = 1;
  s.faces[3].slot = 9;  // beyond the slot table
  return s;
}

bool read_element(const std::vector<uint8_t>& img, MeshEffectElement& e, char* err) {
  return mesh_effect_relocate(e, img.data(), static_cast<uint32_t>(img.size()), 4, err, 160);
}

// An element written at offset 4 of a fresh image, read back and set up.
struct Written {
  std::vector<uint8_t> img;
  MeshEffectElement e;
  MeshEffectState st;
  char err[160] = "";
  bool ok = false;
  explicit Written(const MeshElementSpec& spec) : img(4, 0) {
    write_mesh_element(img, 4, spec);
    ok = read_element(img, e, err);
    mesh_effect_init(st, e);
  }
};

TEST(MeshEffectElement, FacesWhoseSlotNamesNoMaterialGetNone) {
  std::vector<uint8_t> img(4, 0);
  write_mesh_element(img, 4, two_faces());
  MeshEffectElement e;
  char err[160];
  ASSERT_TRUE(read_element(img, e, err)) << err;
  EXPECT_EQ(e.face_material(e.face(0)), 0);
  EXPECT_EQ(e.face_material(e.face(1)), -1);  // negative slot
  EXPECT_EQ(e.face_material(e.face(2)), -1);  // slot table gives 3, one material
  EXPECT_EQ(e.face_material(e.face(3)), -1);  // slot beyond the table is never read
  MeshMaterial m;
  EXPECT_TRUE(mesh_effect_material(e, 0, m));
  EXPECT_EQ(m.layer[0].bitmap, 5);
  EXPECT_FALSE(mesh_effect_material(e, 1, m));
}

TEST(MeshEffectElement, CountsAndOffsetsThatDoNotFitAreRefused) {
  std::vector<uint8_t> good(4, 0);
  write_mesh_element(good, 4, two_faces());
  const struct {
    const char* what;
    uint32_t at;
    uint32_t value;
    int width;
  } cases[] = {
      {"vertices beyond the shared buffer", 20, 4001, 2},
      {"faces beyond the sort list", 28, 4001, 2},
      {"face list past the end", 40, 0xFFFFFF00u, 4},
      {"many faces in a short image", 28, 3000, 2},
      {"a face names a missing vertex", 20, 2, 2},
      {"a face names a missing light record", 32, 1, 2},
      {"materials past the end", 80, static_cast<uint32_t>(good.size()) - 20, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> img = good;
    if (c.width == 2)
      image_set_u16(img, 4 + c.at, static_cast<uint16_t>(c.value));
    else
      image_set_u32(img, 4 + c.at, c.value);
    MeshEffectElement e;
    char err[160] = "";
    EXPECT_FALSE(read_element(img, e, err));
    EXPECT_NE(err[0], '\0');
    EXPECT_EQ(e.image, nullptr);
  }
}

TEST(MeshEffectElement, FramesChosenOverTime) {
  MeshElementSpec s;
  s.display = MESH_DISPLAY_SPRITE;
  s.flags = 10u << 6;  // ten frames per second
  s.start = 1.0f;
  for (int i = 0; i < 5; i++) {
    MeshFrameSpec f;
    f.position = vector(static_cast<float>(i), 0, 0);
    f.size = static_cast<float>(i) * 2.0f;
    s.frames.push_back(f);
  }
  s.rest = vector(7, 8, 9);
  Written w(s);
  ASSERT_TRUE(w.ok) << w.err;
  std::vector<uint8_t>& img = w.img;
  MeshEffectElement& e = w.e;
  MeshEffectState& st = w.st;
  char* err = w.err;
  EXPECT_TRUE(st.control & MESH_STATE_UNPREPARED);
  EXPECT_FLOAT_EQ(st.position.x, 7.0f);

  // f = 10 x (t / 15 - 1).
  EXPECT_FALSE(mesh_effect_prepare(st, e, 0.0f));  // before the start
  EXPECT_TRUE(st.control & MESH_STATE_UNPREPARED);
  ASSERT_TRUE(mesh_effect_prepare(st, e, 15.0f * 1.25f));  // f = 2.5
  EXPECT_FALSE(st.control & MESH_STATE_UNPREPARED);
  EXPECT_EQ(st.frame, 2);
  EXPECT_EQ(st.next, 3);
  EXPECT_FLOAT_EQ(st.position.x, 2.5f);
  EXPECT_FLOAT_EQ(st.size, 5.0f);
  ASSERT_TRUE(mesh_effect_prepare(st, e, 15.0f * 1.5f));  // f = 5, the frame count: the last frame
  EXPECT_EQ(st.frame, 4);
  EXPECT_EQ(st.next, 4);
  EXPECT_FALSE(mesh_effect_prepare(st, e, 15.0f * 1.6f));  // past the last frame
  EXPECT_FALSE(mesh_effect_prepare(st, e, std::numeric_limits<float>::quiet_NaN()));

  // Stepped frames: no blend.
  image_set_u16(img, 4 + 26, MESH_DISPLAY_SPRITE | MESH_DISPLAY_STEPPED);
  ASSERT_TRUE(read_element(img, e, err)) << err;
  ASSERT_TRUE(mesh_effect_prepare(st, e, 15.0f * 1.25f));
  EXPECT_FLOAT_EQ(st.fraction, 0.0f);
  EXPECT_FLOAT_EQ(st.position.x, 2.0f);
}

}  // namespace

namespace {

// Faces drawn in front of an eye at the origin looking along +z: face 0 at
// depth 10, face 1 at depth 20, face 2 without a material, face 3 whose
// material has no bitmap, face 4 turned away.
TEST(MeshEffectFaces, FarthestFirstAndOnlyFacesThatCanBeDrawn) {
  GrRecorder rec;
  const RecordingRenderer renderer(rec);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);

  MeshElementSpec s;
  s.display = MESH_DISPLAY_UNLIT;
  s.flags = 15u << 6;
  s.frames = {MeshFrameSpec{}};
  s.vertex_positions = {{0, 0, 10}, {0, 1, 10}, {1, 0, 10}, {0, 0, 20}, {0, 1, 20}, {1, 0, 20}};
  s.vertices = 6;
  s.light_records = 6;
  MaterialSpec textured;
  textured.layer[0].bitmap = 5;
  textured.environment_bitmap = 7;  // an environment pass on each face
  textured.mode = 1;                 // and a second layer
  textured.layer[1].bitmap = 6;
  textured.curve[0] = {128};
  textured.environment_strength = 128;
  MaterialSpec bare;
  s.materials = {textured, bare};
  s.slots = {0, 1};
  MeshFaceSpec near_face;
  near_face.vertex[0] = 0, near_face.vertex[1] = 1, near_face.vertex[2] = 2;
  MeshFaceSpec far_face = near_face;
  far_face.vertex[0] = 3, far_face.vertex[1] = 4, far_face.vertex[2] = 5;
  far_face.light[0] = 3, far_face.light[1] = 4, far_face.light[2] = 5;
  MeshFaceSpec no_material = near_face;
  no_material.slot = -1;
  MeshFaceSpec no_bitmap = near_face;
  no_bitmap.slot = 1;
  MeshFaceSpec away = near_face;
  away.vertex[1] = 2, away.vertex[2] = 1;
  s.faces = {near_face, far_face, no_material, no_bitmap, away};
  Written w(s);
  ASSERT_TRUE(w.ok) << w.err;
  MeshEffectElement& e = w.e;
  MeshEffectState& st = w.st;
  ASSERT_TRUE(mesh_effect_prepare(st, e, 0.0f));
  EXPECT_EQ(mesh_effect_draw_faces(st, e, 0.0f), 2);
  int order[8];
  ASSERT_EQ(mesh_effect_sorted_faces(order, 8), 2);
  EXPECT_EQ(order[0], 1);  // farthest first
  EXPECT_EQ(order[1], 0);
  // Translucent instances leave the list in face order.
  st.control |= MESH_STATE_TRANSLUCENT;
  EXPECT_EQ(mesh_effect_draw_faces(st, e, 0.0f), 2);
  ASSERT_EQ(mesh_effect_sorted_faces(order, 8), 2);
  EXPECT_EQ(order[0], 0);
  EXPECT_EQ(order[1], 1);
  EXPECT_EQ(gr_3d_instance_depth(), 0);

}

}  // namespace

namespace {

// A textured, unlit triangle (0,0,0), (0,1,0), (1,0,0) whose display word
// has no per-frame vertex data, so it moves rigidly.
MeshElementSpec rigid_triangle(uint32_t flags) {
  MeshElementSpec s;
  s.flags = flags;
  s.display = MESH_DISPLAY_UNLIT;
  s.frames.resize(90);  // six seconds at 15 a second: drawn all that time
  s.vertex_positions = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
  s.vertices = 3;
  s.light_records = 3;
  MaterialSpec textured;
  textured.layer[0].bitmap = 5;
  s.materials = {textured};
  s.slots = {0};
  s.faces = {MeshFaceSpec{}};
  s.faces[0].vertex[1] = 1, s.faces[0].vertex[2] = 2;
  s.rigid = true;
  return s;
}

// A rigid element carried by its frames: frame 0 leaves its face 10 ahead of
// the eye; frame 1 moves it 40 back (behind the eye), and a half turn about
// y at frame 1 of a second element swings it behind too.
TEST(MeshEffectFaces, RigidElementsMoveAndTurnWithTheirFrames) {
  GrRecorder rec;
  const RecordingRenderer renderer(rec);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);

  for (int turning = 0; turning < 2; turning++) {
    SCOPED_TRACE(turning);
    MeshElementSpec s = rigid_triangle(15u << 6);  // frame = time in effect frames
    for (vector& v : s.vertex_positions) v.z = 10;
    MeshFrameSpec f0, f1;
    if (turning) {
      f1.rotation[1] = 1.0f, f1.rotation[3] = 0.0f;  // half turn about y
    } else {
      f1.position = vector(0, 0, -40);
    }
    s.frames = {f0, f1};
    Written w(s);
    ASSERT_TRUE(w.ok) << w.err;
    MeshEffectElement& e = w.e;
    MeshEffectState& st = w.st;
    ASSERT_TRUE(mesh_effect_prepare(st, e, 0.0f));
    EXPECT_EQ(mesh_effect_draw_faces(st, e, 0.0f), 1);
    ASSERT_TRUE(mesh_effect_prepare(st, e, 1.0f));
    EXPECT_EQ(mesh_effect_draw_faces(st, e, 1.0f), 0);
  }

}

// The bitmap manager hands out handle 0 to the first bitmap it loads: a face
// whose material has it is drawn, with its second layer and environment.
TEST(MeshEffectFaces, BitmapHandleZeroIsARealBitmap) {
  GrRecorder rec;
  const RecordingRenderer renderer(rec);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  struct Case {
    int32_t first, second, environment;
    int drawn;
  } cases[] = {{0, -1, -1, 1}, {-1, 0, -1, 1}, {-1, -1, -1, 0}, {0, 0, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << " " << c.second << " " << c.environment);
    MeshElementSpec s = rigid_triangle(15u << 6);
    for (vector& v : s.vertex_positions) v.z = 10;
    s.materials[0].layer[0].bitmap = c.first;
    s.materials[0].mode = 1;
    s.materials[0].curve[0] = {255};
    s.materials[0].layer[1].bitmap = c.second;
    s.materials[0].environment_bitmap = c.environment;
    s.materials[0].environment_strength = 255;
    Written w(s);
    ASSERT_TRUE(w.ok) << w.err;
    ASSERT_TRUE(mesh_effect_prepare(w.st, w.e, 0.0f));
    EXPECT_EQ(mesh_effect_draw_faces(w.st, w.e, 0.0f), c.drawn);
  }
}

}  // namespace

TEST(MeshEffectFaces, EnvironmentCoordinatesKeepTheShortWayRound) {
  const struct {
    float in[3], out[3];
  } cases[] = {
      {{0.9f, 0.2f, 0.9f}, {0.9f, 1.2f, 0.9f}},  // below by more than 0.5: +1
      {{0.1f, 0.7f, 0.55f}, {0.1f, -0.3f, 0.55f}},  // above by 0.5 or more: -1
      {{0.4f, 0.6f, 0.3f}, {0.4f, 0.6f, 0.3f}},   // within half: kept
  };
  for (const auto& c : cases) {
    float u[3] = {c.in[0], c.in[1], c.in[2]};
    mesh_env_wrap(u);
    for (int j = 0; j < 3; j++) EXPECT_NEAR(u[j], c.out[j], 1e-6f) << c.in[0] << " " << c.in[1] << " " << j;
  }
}

namespace {

std::string g_console_text;
void capture_console(const char* text) { g_console_text += text; }

TEST(MeshEffectConsole, DumpMeshFramesTogglesAndSets) {
  console_set_output_hook(capture_console);
  g_console_text.clear();
  Dump_mesh_frames = false;
  EXPECT_EQ(console_execute("dump_mesh_frames"), 0);
  EXPECT_TRUE(Dump_mesh_frames);
  EXPECT_EQ(console_execute("dump_mesh_frames false"), 0);
  EXPECT_FALSE(Dump_mesh_frames);
  EXPECT_EQ(g_console_text, "Dump_mesh_frames is TRUE\nDump_mesh_frames is FALSE\n");
  console_set_output_hook(nullptr);
}

}  // namespace

namespace {


// The engine's rotation matrices carry the turned axes as rows, so a key of
// +a about z takes (x, y) to (x cos a + y sin a, -x sin a + y cos a).
vector turned_about_z(const vector& v, float a) {
  return vector(v.x * std::cos(a) + v.y * std::sin(a), -v.x * std::sin(a) + v.y * std::cos(a), v.z);
}

TEST(MeshEffectFaces, KeyTracksMoveTurnAndScaleARigidElement) {
  const float quarter = 1.5707963f;
  MeshElementSpec keyed = rigid_triangle(MESH_FLAG_KEY_TRACKS | (15u << 6));
  keyed.start = 1.0f;
  // Controls equal to their values: the curve is 3s^2 - 2s^3 of the way.
  keyed.position_keys = {{0, {0, 0, 10}, {0, 0, 10}, {0, 0, 10}}, {4800, {2, 0, 10}, {2, 0, 10}, {2, 0, 10}}};
  keyed.rotation_keys.resize(2);
  keyed.rotation_keys[1].tick = 4800;
  float* turn = keyed.rotation_keys[1].rotation;
  turn[2] = std::sin(quarter / 2), turn[3] = std::cos(quarter / 2);
  keyed.third_keys = {{0, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {4800, {3, 3, 3}, {3, 3, 3}, {3, 3, 3}}};
  // No keys at all: the rest values hold.
  MeshElementSpec resting = rigid_triangle(MESH_FLAG_KEY_TRACKS | (15u << 6));
  resting.rest = vector(0, 0, 12);
  resting.rest_rotation[2] = std::sin(quarter / 2), resting.rest_rotation[3] = std::cos(quarter / 2);
  resting.rest_scale = vector(2, 2, 2);

  const struct {
    const char* what;
    const MeshElementSpec* spec;
    float seconds;  // instance time
    float along, angle, scale;  // expected pose: x = 2 along, turn, scale
    float z;
  } cases[] = {
      {"at the first key", &keyed, 1.0f, 0.0f, 0.0f, 1.0f, 10},
      {"a quarter of the way", &keyed, 1.25f, 0.15625f, quarter * 0.25f, 1.0f + 2 * 0.15625f, 10},
      {"half way", &keyed, 1.5f, 0.5f, quarter * 0.5f, 2.0f, 10},
      {"past the last key it holds", &keyed, 4.0f, 1.0f, quarter, 3.0f, 10},
      {"empty tracks give the rest values", &resting, 2.0f, 0.0f, quarter, 2.0f, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordedScreen screen;
    Written w(*c.spec);
    ASSERT_TRUE(w.ok) << w.err;
    MeshEffectElement& e = w.e;
    MeshEffectState& st = w.st;
    ASSERT_TRUE(mesh_effect_prepare(st, e, c.seconds * 15.0f));
    ASSERT_EQ(mesh_effect_draw_faces(st, e, c.seconds * 15.0f), 1);
    ASSERT_EQ(screen.rec.polygons.size(), 1u);
    const auto& got = screen.rec.polygons[0];
    ASSERT_EQ(got.size(), 3u);
    const vector corners[3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    for (int i = 0; i < 3; i++) {
      const vector local(corners[i].x * c.scale, corners[i].y * c.scale, 0);
      const vector turned = turned_about_z(local, c.angle);
      const auto want = pinhole(vector(turned.x + 2.0f * c.along, turned.y, c.z));
      EXPECT_NEAR(got[i].first, want.first, 0.05f) << "corner " << i;
      EXPECT_NEAR(got[i].second, want.second, 0.05f) << "corner " << i;
    }
  }
}

TEST(MeshEffectFaces, KeyedElementBeforeItsStartIsNotDrawn) {
  MeshElementSpec s = rigid_triangle(MESH_FLAG_KEY_TRACKS | (15u << 6));
  s.start = 1.0f;
  Written w(s);
  ASSERT_TRUE(w.ok) << w.err;
  EXPECT_FALSE(mesh_effect_prepare(w.st, w.e, 0.5f * 15.0f));
  // A key track that runs past the image is refused with the element.
  image_set_u16(w.img, w.e.key_tracks, 60000);
  EXPECT_FALSE(read_element(w.img, w.e, w.err));
  EXPECT_NE(std::string(w.err).find("key track"), std::string::npos) << w.err;
}

// A path from frame 2: (0,0,0) unturned, (1,2,0) a quarter turn about y,
// (3,2,-4) a half turn. Expected values by hand: linear positions, and the
// spherical blend of two turns about one axis turns by the blend of the
// angles.
TEST(MotionPaths, BlendBetweenFramesAndAnswerFalseOutside) {
  const float quarter = 1.5707963f;
  MotionPathSpec spec;
  spec.first = 2;
  spec.frames.resize(3);
  spec.frames[1].position = vector(1, 2, 0);
  spec.frames[1].rotation[1] = std::sin(quarter / 2), spec.frames[1].rotation[3] = std::cos(quarter / 2);
  spec.frames[2].position = vector(3, 2, -4);
  spec.frames[2].rotation[1] = 1.0f, spec.frames[2].rotation[3] = 0.0f;
  std::vector<uint8_t> img(8, 0);
  write_motion_path(img, 4, spec);
  MotionPath path;
  char err[160];
  ASSERT_TRUE(motion_path_read(path, img.data(), static_cast<uint32_t>(img.size()), 4, err, sizeof err)) << err;

  const struct {
    float t;
    bool on;
    vector at;
    float angle;  // about y
  } cases[] = {
      {1.9f, false, {}, 0},                 // floor(t) before the first frame
      {2.0f, true, {0, 0, 0}, 0},
      {2.25f, true, {0.25f, 0.5f, 0}, quarter * 0.25f},
      {3.5f, true, {2, 2, -2}, quarter * 1.5f},
      {3.99f, true, {2.98f, 2, -3.96f}, quarter * 1.99f},
      {4.0f, false, {}, 0},                 // floor(t) + 1 reaches the end (5)
      {std::numeric_limits<float>::quiet_NaN(), false, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.t);
    vector at(9, 9, 9);
    quaternion q;
    ASSERT_EQ(motion_path_sample(path, c.t, at, q), c.on);
    if (!c.on) continue;
    EXPECT_NEAR(at.x, c.at.x, 1e-3f);
    EXPECT_NEAR(at.y, c.at.y, 1e-3f);
    EXPECT_NEAR(at.z, c.at.z, 1e-3f);
    EXPECT_NEAR(std::fabs(q.y), std::sin(c.angle / 2), 1e-3f);
    EXPECT_NEAR(std::fabs(q.w), std::cos(c.angle / 2), 1e-3f);
    EXPECT_NEAR(q.x, 0.0f, 1e-4f);
    EXPECT_NEAR(q.z, 0.0f, 1e-4f);
  }

  // A path whose frames run past the image is refused; one that ends where
  // it begins reads nothing and never answers.
  std::vector<uint8_t> cut(img.begin(), img.end() - 10);
  EXPECT_FALSE(motion_path_read(path, cut.data(), static_cast<uint32_t>(cut.size()), 4, err, sizeof err));
  EXPECT_NE(std::string(err).find("motion path"), std::string::npos);
  image_set_u16(img, 6, 2);  // end = first
  image_set_u32(img, 8, 0);
  ASSERT_TRUE(motion_path_read(path, img.data(), static_cast<uint32_t>(img.size()), 4, err, sizeof err)) << err;
  vector at;
  quaternion q;
  EXPECT_FALSE(motion_path_sample(path, 2.0f, at, q));
}

}  // namespace

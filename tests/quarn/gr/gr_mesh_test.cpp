// The CPU side of mesh drawing against a plain reference computation:
// skinning with four weights, projection, the duplicate map, hide mask,
// back faces, vertices behind the eye, morph keys, lighting and the
// per-group hand-off to the renderer.
#include "quarn/gr/gr_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "quarn/ca/skeleton.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/vfile/readstream.h"
#include "tests/quarn/gr/draw3d_fixture.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/vim_writer.h"

namespace {

struct MeshCall {
  int vertex_count, bitmap, index_count;
  std::vector<std::array<uint8_t, 4>> colours;
};

class MeshRecorder : public Draw3dRecorder {
 public:
  std::vector<MeshCall> meshes;
  void mesh_group(const GrMeshScratch& s, int vertex_count, int bitmap, RenderStateWord) override {
    MeshCall c{vertex_count, bitmap, s.index_count, {}};
    for (int i = 0; i < vertex_count; i++) c.colours.push_back({s.colour[i][0], s.colour[i][1], s.colour[i][2], s.colour[i][3]});
    meshes.push_back(c);
  }
};

VimMesh* load(const VimWriterMesh& src) {
  const std::vector<uint8_t> bytes = vim_build(src);
  ReadStream s;
  s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  return vim_load_stream(s, 0);
}

// A quad in the object's x-y plane facing -z (toward an eye in front of it),
// wound clockwise as seen from the eye, plus a duplicate of vertex 0.
VimWriterMesh quad_mesh(bool skinned) {
  VimWriterMesh m;
  m.radius = 2.0f;
  VimWriterGroup g;
  g.positions = {{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {-1, 1, 0}};
  g.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
  g.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}};
  g.dup_map = {-1, -1, -1, -1, 4};
  g.faces = {{{0, 1, 2}, 0}, {{4, 2, 3}, 64}};  // the second is in hide group 1
  if (skinned) {
    g.skin = {{16, 0, 0, 0, 0, 0, 0, 0},   // all bone 0
              {8, 8, 0, 0, 0, 1, 0, 0},    // half and half
              {4, 4, 4, 4, 0, 1, 2, 3},    // four ways
              {0, 16, 0, 0, 0, 1, 0, 0},   // a zero weight first
              {16, 0, 0, 0, 0, 0, 0, 0}};
    for (int b = 0; b < 4; b++) {
      VimWriterBone bone;
      bone.name = "bone" + std::to_string(b);
      bone.parent = b - 1;
      m.bones.push_back(bone);
    }
  }
  m.groups.push_back(g);
  return m;
}

// out = M^T p + t: a transform's application, written out by hand.
vector apply_by_hand(const transform& t, const vector& p) {
  const matrix& m = t.orient;
  return vector(m.right.x * p.x + m.up.x * p.y + m.forward.x * p.z + t.pos.x,
                m.right.y * p.x + m.up.y * p.y + m.forward.y * p.z + t.pos.y,
                m.right.z * p.x + m.up.z * p.y + m.forward.z * p.z + t.pos.z);
}

class MeshTest : public Draw3dTest {
 protected:
  MeshRecorder mrec;
  void SetUp() override {
    Draw3dTest::SetUp();
    gr_set_recorder(&mrec);
    lights_reset();
    lights_set_ambient(0.25f, 0.25f, 0.25f);
    gr_mesh_set_skin(nullptr, 0);
    gr_mesh_set_morph(nullptr, 0);
    gr_mesh_set_overlay(-1, 255);
  }
  void TearDown() override {
    gr_mesh_set_current(nullptr);
    gr_mesh_set_skin(nullptr, 0);
    for (VimMesh* m : meshes_) vim_free(m);
    lights_reset();
    Draw3dTest::TearDown();
  }
  VimMesh* keep(VimMesh* m) {
    if (m) meshes_.push_back(m);
    return m;
  }
  // Prepares group 0 inside the object frame at `pos` (no turn).
  bool prepare(VimMesh* m, const vector& pos, const MeshDrawRecord& rec, bool far_limit = false) {
    gr_3d_start_instance(pos, identity_matrix, true);
    lights_gather(pos, 2.0f);
    lights_to_frame(pos, identity_matrix);
    lights_set_view_space(true);
    const bool ok = gr_mesh_prepare_group(m->groups[0], rec, far_limit);
    lights_set_view_space(false);
    lights_pop();
    gr_3d_end_instance();
    return ok;
  }

 private:
  std::vector<VimMesh*> meshes_;
};

TEST_F(MeshTest, SkinnedVerticesLandWhereTheReferenceProjectsThem) {
  VimMesh* m = keep(load(quad_mesh(true)));
  ASSERT_NE(m, nullptr);
  const transform skin[4] = {
      transform(matrix::from_angles(0.0f, 0.0f, 0.3f), vector(0.2f, 0.0f, 0.0f)),
      transform(matrix::from_angles(0.2f, 0.0f, 0.0f), vector(0.0f, 0.3f, 0.1f)),
      transform(identity_matrix, vector(0.0f, 0.0f, 0.5f)),
      transform(matrix::from_angles(0.0f, 0.4f, 0.0f), vector(-0.1f, 0.0f, 0.0f)),
  };
  gr_mesh_set_skin(skin, 4);
  const vector pos(0.5f, 0.25f, 8.0f);
  MeshDrawRecord rec;
  ASSERT_TRUE(prepare(m, pos, rec));
  const GrMeshScratch& s = gr_mesh_scratch();
  const VimGroup& g = m->groups[0];
  for (int i = 0; i < 4; i++) {
    vector ref(0, 0, 0);
    float total = 0.0f;
    for (int k = 0; k < 4; k++) {
      const uint8_t w = g.skin[8 * i + k];
      ref += apply_by_hand(skin[g.skin[8 * i + 4 + k]], g.positions[i]) * static_cast<float>(w);
      total += w;
    }
    ASSERT_EQ(total, 16.0f);
    ref = ref * (1.0f / 16.0f);
    EXPECT_NEAR(s.object[i].x, ref.x, 1e-5f) << i;
    EXPECT_NEAR(s.object[i].y, ref.y, 1e-5f) << i;
    EXPECT_NEAR(s.object[i].z, ref.z, 1e-5f) << i;
    // The eye sits at the origin looking down +z.
    const vector world = ref + pos;
    EXPECT_NEAR(s.position[i][0], 320.0f + 320.0f * world.x / world.z, 0.01f) << i;
    EXPECT_NEAR(s.position[i][1], 240.0f - 320.0f * world.y / world.z, 0.01f) << i;
    EXPECT_TRUE(s.visible[i]);
    // Texture coordinates divided by depth, for perspective.
    const float w = s.tex[i][3];
    EXPECT_NEAR(w, 1.0f / (world.z * gr_3d_zoom_scale(1.0f)), w * 1e-4f);
    EXPECT_FLOAT_EQ(s.tex[i][0], g.uvs[2 * i] * w);
    // Depth value: 1/z scaled into the depth range.
    Gr3dFrame f;
    gr_3d_get_frame(f);
    EXPECT_NEAR(s.position[i][2], std::min(f.depth_scale * f.zmult * w, f.zmax), 1e-6f);
  }
}

TEST_F(MeshTest, DuplicatesCopyTheirSourceButKeepTheirTextureCoordinates) {
  VimMesh* m = keep(load(quad_mesh(false)));
  ASSERT_NE(m, nullptr);
  MeshDrawRecord rec;
  rec.alpha = 200;
  ASSERT_TRUE(prepare(m, vector(0, 0, 6), rec));
  const GrMeshScratch& s = gr_mesh_scratch();
  EXPECT_EQ(s.position[4][0], s.position[0][0]);
  EXPECT_EQ(s.position[4][1], s.position[0][1]);
  EXPECT_EQ(s.colour[4][0], s.colour[0][0]);
  EXPECT_EQ(s.colour[4][3], 200);
  EXPECT_FLOAT_EQ(s.tex[4][0], 0.5f * s.tex[0][3]);
  EXPECT_FLOAT_EQ(s.tex[0][0], 0.0f);
}

TEST_F(MeshTest, HideMaskAndBackFacesChooseTheFaces) {
  VimWriterMesh src = quad_mesh(false);
  // A third face wound the other way (facing away), then the same two-sided.
  src.groups[0].faces.push_back({{0, 2, 1}, 0});
  src.groups[0].faces.push_back({{0, 2, 1}, 32});
  VimMesh* m = keep(load(src));
  ASSERT_NE(m, nullptr);
  struct Case {
    int hide_mask;
    std::vector<uint16_t> indices;
  } cases[] = {
      {0, {0, 1, 2, 4, 2, 3, 0, 2, 1}},
      {1, {0, 1, 2, 0, 2, 1}},  // flag bit 6 hidden
      {2, {0, 1, 2, 4, 2, 3, 0, 2, 1}},
  };
  for (const Case& c : cases) {
    MeshDrawRecord rec;
    rec.hide_mask = c.hide_mask;
    ASSERT_TRUE(prepare(m, vector(0, 0, 6), rec));
    const GrMeshScratch& s = gr_mesh_scratch();
    EXPECT_EQ(std::vector<uint16_t>(s.index, s.index + s.index_count), c.indices) << "mask " << c.hide_mask;
  }
}

TEST_F(MeshTest, VerticesBehindTheEyeOrFarOffScreenDropTheirFaces) {
  VimMesh* m = keep(load(quad_mesh(false)));
  ASSERT_NE(m, nullptr);
  MeshDrawRecord rec;
  // At z = 0 the top edge sits at the eye exactly; behind it at -0.5.
  for (float z : {0.0f, -0.5f}) {
    ASSERT_TRUE(prepare(m, vector(0, 0, z), rec));
    const GrMeshScratch& s = gr_mesh_scratch();
    EXPECT_EQ(s.index_count, 0) << z;
    for (int i = 0; i < 4; i++) {
      EXPECT_FALSE(s.visible[i]);
      EXPECT_TRUE(std::isfinite(s.w[i]));
    }
  }
  // Far to the side: x about 3000 pixels. OpenGL draws it, the others drop it.
  const vector side(9.4f, 0, 1.0f);
  ASSERT_TRUE(prepare(m, side, rec, false));
  EXPECT_EQ(gr_mesh_scratch().index_count, 6);
  EXPECT_GT(gr_mesh_scratch().position[1][0], 2048.0f);
  ASSERT_TRUE(prepare(m, side, rec, true));
  EXPECT_EQ(gr_mesh_scratch().index_count, 0);
}

TEST_F(MeshTest, GroupsWithoutFacesOrBitmapSlotAreNotDrawn) {
  VimWriterMesh src = quad_mesh(false);
  src.groups[0].bitmap_slot = -1;
  VimMesh* m = keep(load(src));
  ASSERT_NE(m, nullptr);
  MeshDrawRecord rec;
  EXPECT_FALSE(prepare(m, vector(0, 0, 6), rec));
  src = quad_mesh(false);
  src.groups[0].faces.clear();
  m = keep(load(src));
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(prepare(m, vector(0, 0, 6), rec));
}

TEST_F(MeshTest, LightsBrightenTheSideThatFacesThem) {
  VimWriterMesh src = quad_mesh(false);
  // Left half's normals face -x, right half's +x.
  src.groups[0].normals = {{-1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}};
  VimMesh* m = keep(load(src));
  ASSERT_NE(m, nullptr);
  lights_set_ambient(0.1f, 0.1f, 0.1f);
  light_create_point(vector(3, 0, 6), 5.0f, 8.0f, 1.0f, 1.0f, 0.5f, 0.25f, false);
  MeshDrawRecord rec;
  ASSERT_TRUE(prepare(m, vector(0, 0, 6), rec));
  const GrMeshScratch& s = gr_mesh_scratch();
  // Vertex 1 at (1, 1): the light 2 units along x and 1 down, inside its radius:
  // Lambert factor 2 / sqrt(5) on top of the ambient.
  const float k = 2.0f / std::sqrt(5.0f);
  EXPECT_EQ(s.colour[1][0], static_cast<int>(std::min(1.0f, 0.1f + k) * 255.0f));
  EXPECT_EQ(s.colour[1][1], static_cast<int>((0.1f + 0.5f * k) * 255.0f));
  EXPECT_EQ(s.colour[1][2], static_cast<int>((0.1f + 0.25f * k) * 255.0f));
  // Vertex 0 faces away: ambient only.
  EXPECT_EQ(s.colour[0][0], static_cast<int>(0.1f * 255.0f));

  // With the screen's tint on, the mean of the lit colour times the factors.
  const float mean = (s.colour[1][0] + s.colour[1][1] + s.colour[1][2]) / 3.0f;
  gr_set_tint(true, 0.5f, 1.0f, 0.25f);
  ASSERT_TRUE(prepare(m, vector(0, 0, 6), rec));
  gr_set_tint(false, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(s.colour[1][0], static_cast<int>(mean * 0.5f));
  EXPECT_EQ(s.colour[1][1], static_cast<int>(mean));
  EXPECT_EQ(s.colour[1][2], static_cast<int>(mean * 0.25f));
}

TEST_F(MeshTest, MorphKeysBlendBetweenFrames) {
  MorphKey keys[4] = {{0, vector(0, 0, 0)}, {1, vector(2, 0, 0)}, {2, vector(2, 4, 0)}, {3, vector(0, 4, 0)}};
  MorphTrack t{4, keys, 1};
  struct Case {
    float f;
    vector expected;
  } cases[] = {
      {0.0f, vector(0, 0, 0)}, {0.5f, vector(1, 0, 0)}, {1.5f, vector(2, 2, 0)},
      {2.9f, vector(0.2f, 4, 0)}, {3.0f, vector(0, 4, 0)}, {7.0f, vector(0, 4, 0)},
      {0.25f, vector(0.5f, 0, 0)},  // after the cursor moved on: found again from key 1
  };
  for (const Case& c : cases) {
    const vector p = gr_mesh_morph_position(t, c.f, 4);
    EXPECT_NEAR(p.x, c.expected.x, 1e-5f) << c.f;
    EXPECT_NEAR(p.y, c.expected.y, 1e-5f) << c.f;
  }
  // The fraction of the key range; equal ticks give the first key, not a
  // division by zero.
  EXPECT_FLOAT_EQ(gr_mesh_morph_fraction(2400.0f, 0.0f, 4800.0f, 4), 2.0f);
  EXPECT_EQ(gr_mesh_morph_fraction(100.0f, 160.0f, 160.0f, 4), 0.0f);
  const vector first = gr_mesh_morph_position(t, gr_mesh_morph_fraction(100.0f, 160.0f, 160.0f, 4), 4);
  EXPECT_EQ(first, keys[0].position);
}

TEST_F(MeshTest, AMorphingAnimationMovesTheGroupsMorphVertices) {
  VimWriterMesh src = quad_mesh(true);
  src.flags = 1;  // groups carry morph maps
  src.morph_vertex_count = 2;
  src.groups[0].morph_map = {-1, 2};  // mesh morph vertex 1 is the group's vertex 2
  VimMesh* m = keep(load(src));
  ASSERT_NE(m, nullptr);
  const transform skin[4] = {identity_transform, identity_transform, identity_transform, identity_transform};
  gr_mesh_set_skin(skin, 4);
  MorphKey keys[2] = {{0, vector(1, -1, 0)}, {1, vector(3, -1, 0)}};
  MorphTrack track{2, keys, 1};
  int32_t index = 1;
  skeleton anim("morph.mvf", "morph", 1, 0, 0);
  anim.first_tick = 0;
  anim.last_tick = 4800;
  anim.morph_key_count = 2;
  anim.morph_vertex_count = 1;
  anim.morph_vertex_indices = &index;
  anim.morph_tracks = &track;
  gr_mesh_set_current(m);
  gr_mesh_set_morph(&anim, 1200);  // a quarter of the span: f = 0.5
  MeshDrawRecord rec;
  ASSERT_TRUE(prepare(m, vector(0, 0, 6), rec));
  gr_mesh_set_morph(nullptr, 0);
  anim.morph_vertex_indices = nullptr;  // the test owns these arrays
  anim.morph_tracks = nullptr;
  anim.morph_vertex_count = 0;
  const GrMeshScratch& s = gr_mesh_scratch();
  EXPECT_NEAR(s.object[2].x, 2.0f, 1e-5f);
  EXPECT_NEAR(s.object[2].y, -1.0f, 1e-5f);
  EXPECT_NEAR(s.object[1].x, 1.0f, 1e-5f) << "vertices outside the morph block stay";
}

TEST_F(MeshTest, RenderHandsEachGroupToTheRendererWithTheOverlayPass) {
  VimMesh* m = keep(load(quad_mesh(false)));
  ASSERT_NE(m, nullptr);
  m->bitmaps[0] = 7;
  gr_mesh_set_current(m);
  MeshDrawRecord rec;
  rec.r = 10;
  rec.g = 20;
  rec.b = 30;
  gr_mesh_render(vector(0, 0, 6), identity_matrix, rec);
  ASSERT_EQ(mrec.meshes.size(), 1u);
  EXPECT_EQ(mrec.meshes[0].bitmap, 7);
  EXPECT_EQ(mrec.meshes[0].index_count, 6);
  // An override list and an overlay.
  mrec.meshes.clear();
  const int32_t overrides[VIM_MAX_BITMAPS] = {11, -1, -1, -1, -1, -1};
  rec.bitmaps = overrides;
  gr_mesh_set_overlay(12, 99);
  gr_mesh_render(vector(0, 0, 6), identity_matrix, rec);
  ASSERT_EQ(mrec.meshes.size(), 2u);
  EXPECT_EQ(mrec.meshes[0].bitmap, 11);
  EXPECT_EQ(mrec.meshes[1].bitmap, 12);
  EXPECT_EQ(mrec.meshes[1].colours[2], (std::array<uint8_t, 4>{10, 20, 30, 99}));
  EXPECT_EQ(lights_gather_depth(), 0);
  EXPECT_EQ(gr_3d_instance_depth(), 0);
  // A slot beyond the mesh's bitmap slots names no bitmap, override or not.
  VimWriterMesh far_slot = quad_mesh(false);
  far_slot.groups[0].bitmap_slot = 9;
  gr_mesh_set_current(keep(load(far_slot)));
  gr_mesh_set_overlay(-1, 255);
  mrec.meshes.clear();
  gr_mesh_render(vector(0, 0, 6), identity_matrix, rec);
  ASSERT_EQ(mrec.meshes.size(), 1u);
  EXPECT_EQ(mrec.meshes[0].bitmap, -1);
  // Hidden: nothing.
  mrec.meshes.clear();
  rec.flags = MESH_DRAW_HIDDEN;
  gr_mesh_render(vector(0, 0, 6), identity_matrix, rec);
  EXPECT_TRUE(mrec.meshes.empty());
}

TEST(DemoHero, EveryFaceIsWoundToPointOutOfItsBox) {
  // The drawer shows a face whose edge cross product points toward the eye.
  // A box side's vertex normals point out of the box, so its faces' cross
  // products must agree with them (caps have sideways normals: no verdict).
  for (int variant : {0, 1}) {
    const VimWriterMesh m = figure_mesh(FigureSpec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}}, variant);
    int sides = 0;
    for (const VimWriterGroup& g : m.groups)
      for (const VimWriterFace& f : g.faces) {
        const auto& a = g.positions[f.v[0]];
        const auto& b = g.positions[f.v[1]];
        const auto& c = g.positions[f.v[2]];
        const vector n = vector(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
        vector cross;
        n.cross(cross, vector(c[0] - a[0], c[1] - a[1], c[2] - a[2]));
        vector out(0, 0, 0);
        for (uint32_t v : f.v) out += vector(g.normals[v][0], g.normals[v][1], g.normals[v][2]);
        const float d = vector::dot(cross, out);
        if (std::fabs(d) < 1e-6f) continue;
        sides++;
        EXPECT_GT(d, 0.0f) << "variant " << variant;
      }
    EXPECT_GT(sides, 100);
  }
}

TEST_F(MeshTest, FogFadesAlphaBetweenItsDistances) {
  gr_screen.fog_on = 1;
  gr_screen.fog_alpha_near = 1.0f;
  gr_screen.fog_alpha_far = 3.0f;
  gr_screen.fog_alpha_scale = 0.5f;
  struct Case {
    float depth;
    int alpha;
  } cases[] = {{0.5f, 200}, {1.0f, 200}, {2.0f, 100}, {2.5f, 50}, {3.0f, 0}, {9.0f, 0}};
  for (const Case& c : cases) EXPECT_EQ(gr_fog_alpha(200, c.depth), c.alpha) << c.depth;
  gr_screen.fog_on = 0;
  EXPECT_EQ(gr_fog_alpha(200, 9.0f), 200);
  EXPECT_EQ(gr_fog_value(9.0f), 255);
}

TEST_F(MeshTest, TheLoaderRefusesGroupsBeyondTheScratchArrays) {
  VimWriterMesh src = quad_mesh(false);
  VimWriterGroup& g = src.groups[0];
  const int n = GR_MESH_MAX_VERTS + 1;
  g.positions.assign(n, {0, 0, 0});
  g.normals.assign(n, {0, 0, 1});
  g.uvs.assign(n, {0, 0});
  g.dup_map.assign(n, -1);
  EXPECT_EQ(keep(load(src)), nullptr);
  g.positions.resize(GR_MESH_MAX_VERTS);
  g.normals.resize(GR_MESH_MAX_VERTS);
  g.uvs.resize(GR_MESH_MAX_VERTS);
  g.dup_map.resize(GR_MESH_MAX_VERTS);
  EXPECT_NE(keep(load(src)), nullptr);
}

}  // namespace

// The level renderer's shared stages without a display: per-vertex dynamic
// light, the vertex stage's clip codes, projection and shared vertices, the
// triangulation of clipped polygons, face groups, the corner colours and the
// vertex animation. Expected values are worked out here from the rules.
#include "Engine/rendering/levelrender.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/grclip.h"
#include "quarn/math/noise.h"

namespace {

LevelDynLight light(const vector& pos, float r, float g, float b, float intensity, bool ranged = false,
                    float near_d = 0.0f, float far_d = 0.0f) {
  return LevelDynLight{pos, r, g, b, intensity, static_cast<uint8_t>(ranged), near_d, far_d};
}

TEST(LevelLight, VertexSumsFollowDistanceFacingAndRange) {
  const vector p(0, 0, 0), up(0, 1, 0);
  struct Case {
    const char* what;
    LevelDynLight l;
    int hits;
    float r, g, b;
  } cases[] = {
      // Straight above: f = 1, times intensity and 0.75.
      {"overhead", light({0, 4, 0}, 1.0f, 0.5f, 0.0f, 1.0f), 1, 0.75f, 0.375f, 0.0f},
      // 60 degrees off the normal: f = cos 60 = 0.5.
      {"slanted", light({4 * 0.8660254f, 2, 0}, 1, 1, 1, 1.0f), 1, 0.375f, 0.375f, 0.375f},
      // Within 1.0 the normal does not matter, even from below.
      {"at the vertex", light({0, -0.5f, 0}, 1, 1, 1, 1.0f), 1, 0.75f, 0.75f, 0.75f},
      {"behind", light({0, -4, 0}, 1, 1, 1, 1.0f), 0, 0, 0, 0},
      {"out of range", light({0, 4, 0}, 1, 1, 1, 1.0f, true, 1.0f, 3.0f), 0, 0, 0, 0},
      // Between near 2 and far 6 at 4: half strength.
      {"ranged", light({0, 4, 0}, 1, 1, 1, 1.0f, true, 2.0f, 6.0f), 1, 0.375f, 0.375f, 0.375f},
      // A bright light is capped per light and in the sum.
      {"bright", light({0, 2, 0}, 1, 1, 1, 4.0f), 1, 1.0f, 1.0f, 1.0f},
  };
  for (const Case& c : cases) {
    vector sum;
    const LevelDynLight* list[1] = {&c.l};
    EXPECT_EQ(levelrender_light_vertex(&sum, p, up, 1, list), c.hits) << c.what;
    EXPECT_NEAR(sum.x, c.r, 1e-5) << c.what;
    EXPECT_NEAR(sum.y, c.g, 1e-5) << c.what;
    EXPECT_NEAR(sum.z, c.b, 1e-5) << c.what;
  }
  // Two lights add, and the sum stays within 1.
  const LevelDynLight a = light({0, 4, 0}, 1, 0.2f, 0, 1.0f), b = light({0, 3, 0}, 1, 0.2f, 0, 1.0f);
  const LevelDynLight* both[2] = {&a, &b};
  vector sum;
  EXPECT_EQ(levelrender_light_vertex(&sum, p, up, 2, both), 2);
  EXPECT_FLOAT_EQ(sum.x, 1.0f);
  EXPECT_NEAR(sum.y, 0.3f, 1e-5);
}

// A hand-made mesh of a few vertices in front of an eye at the origin.
struct SmallMesh {
  std::vector<vector> pos, normals;
  std::vector<vector2> uvs;
  std::vector<int16_t> share;
  std::vector<LevelFace> faces;
  std::vector<InstanceFace> iface;
  std::vector<uint8_t> colours;
  LevelMesh mesh{};
  LevelMeshInstance mi{};

  void finish() {
    normals.assign(pos.size(), vector(0, 0, -1));
    uvs.assign(pos.size(), vector2{0.5f, 0.5f});
    if (share.empty()) share.assign(pos.size(), -1);
    colours.assign(pos.size() * 3, 100);
    mesh.vertex_count = static_cast<int>(pos.size());
    mesh.positions = pos.data();
    mesh.normals = normals.data();
    mesh.uvs = uvs.data();
    mesh.values = share.data();
    mesh.face_count = static_cast<int>(faces.size());
    mesh.faces = faces.data();
    mesh.radius = 1.0f;
    iface.assign(faces.size(), InstanceFace{1, 0xFFFFFF});
    mi.mesh = &mesh;
    mi.faces = iface.data();
    mi.colors = colours.data();
    mi.orient = identity_matrix;
  }
};

Gr3dFrame plain_frame(bool far = false, float far_z = 0.0f) {
  Gr3dFrame f{};
  f.cam_pos = vector(0, 0, 0);
  f.cam_orient = identity_matrix;
  f.x_scale = 320.0f;
  f.y_scale = 240.0f;
  f.x_offset = 0;
  f.y_offset = 0;
  f.far_clipping = far;
  f.far_z = far_z;
  return f;
}

TEST(LevelVertexStage, ClipCodesProjectionAndSharedVertices) {
  SmallMesh m;
  m.pos = {{1.0f, 0.5f, 4.0f}, {5.0f, 0.0f, 4.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 6.0f, 4.0f},
           {0.0f, -6.0f, 4.0f}, {-6.0f, 0.0f, 4.0f}, {0.0f, 0.0f, 12.0f}, {9.0f, 9.0f, 9.0f}};
  // The last vertex shares the first's point (7 places earlier).
  m.share = {-1, -1, -1, -1, -1, -1, 0, 7};
  m.finish();
  const int computed = levelrender_vertex_stage(m.mi, m.pos.data(), 0, 8, plain_frame(true, 10.0f), 0, nullptr);
  EXPECT_EQ(computed, 7);  // a share offset of 0 means the vertex itself
  const LevelVertexScratch& s = levelrender_scratch();
  const uint8_t expected[8] = {0,
                               CLIP_RIGHT,
                               CLIP_RIGHT | CLIP_TOP | CLIP_LEFT | CLIP_BOTTOM | CLIP_BEHIND,
                               CLIP_TOP,
                               CLIP_BOTTOM,
                               CLIP_LEFT,
                               CLIP_FAR,
                               0};
  for (int i = 0; i < 8; i++) EXPECT_EQ(s.codes[i], expected[i]) << i;
  // (x / z + 1) * 320 and (1 - y / z) * 240.
  EXPECT_FLOAT_EQ(s.sx[0], 400.0f);
  EXPECT_FLOAT_EQ(s.sy[0], 210.0f);
  EXPECT_FLOAT_EQ(s.ooz[0], 0.25f);
  EXPECT_FLOAT_EQ(s.sx[7], 400.0f);
  EXPECT_FLOAT_EQ(s.view[7].z, 4.0f);
}

TEST(LevelVertexStage, DepthBiasDrawsSlightlyNearer) {
  gr_screen.renderer = GR_RECORDER;
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  SmallMesh m;
  m.pos = {{0.0f, 0.0f, 4.0f}};
  m.finish();
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 1, plain_frame(), 0, nullptr);
  const float plain = levelrender_scratch().ooz[0];
  m.mi.flags = MI_DEPTH_BIAS;
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 1, plain_frame(), 0, nullptr);
  EXPECT_FLOAT_EQ(levelrender_scratch().ooz[0], 1.0f / (4.0f - gr_3d_zoom_scale(0.1f)));
  EXPECT_GT(levelrender_scratch().ooz[0], plain);
}

TEST(LevelVertexStage, LightsAreSummedOnlyWhenThereAreAny) {
  SmallMesh m;
  m.pos = {{0.0f, 0.0f, 4.0f}, {0.0f, 0.0f, 8.0f}};
  m.finish();
  const LevelDynLight l = light({0, 0, 2}, 1, 1, 1, 1.0f);
  const LevelDynLight* list[1] = {&l};
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 2, plain_frame(), 1, list);
  EXPECT_EQ(levelrender_scratch().hits[0], 1);
  EXPECT_NEAR(levelrender_scratch().light[0].x, 0.75f, 1e-5);
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 2, plain_frame(), 0, list);
  EXPECT_EQ(levelrender_scratch().hits[0], 0);
  EXPECT_FLOAT_EQ(levelrender_scratch().light[0].x, 0.0f);
}

// Each table entry covers the polygon exactly once: for a convex n-gon its
// triangles' areas add up to the polygon's area.
TEST(LevelTriangulation, TablesTileEveryPolygonFromThreeToEight) {
  for (int n = 3; n <= 8; n++) {
    const uint8_t(*t)[3] = levelrender_triangulation(n);
    ASSERT_NE(t, nullptr) << n;
    std::vector<vector2> p(n);
    for (int i = 0; i < n; i++)
      p[i] = vector2{std::cos(6.2831853f * i / n), std::sin(6.2831853f * i / n)};
    const float polygon = 0.5f * n * std::sin(6.2831853f / n);
    float sum = 0.0f;
    std::vector<int> used(n, 0);
    for (int k = 0; k < n - 2; k++) {
      for (int c = 0; c < 3; c++) {
        ASSERT_LT(t[k][c], n) << n;
        used[t[k][c]]++;
      }
      const vector2 &a = p[t[k][0]], &b = p[t[k][1]], &c = p[t[k][2]];
      const float area = 0.5f * ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
      EXPECT_GT(area, 0.0f) << "n " << n << " triangle " << k << " keeps the winding";
      sum += area;
    }
    EXPECT_NEAR(sum, polygon, 1e-4) << n;
    for (int i = 0; i < n; i++) EXPECT_GT(used[i], 0) << "corner " << i << " of " << n;
  }
  EXPECT_EQ(levelrender_triangulation(2), nullptr);
  EXPECT_EQ(levelrender_triangulation(9), nullptr);
}

TEST(LevelFaceGroups, RecordsThatAddUpOrOneGroup) {
  SmallMesh m;
  m.pos.assign(10, vector(0, 0, 1));
  m.faces.assign(6, LevelFace{});
  m.finish();
  int32_t words[3] = {2 | (4 << 16), 3 | (5 << 16), 1 | (1 << 16)};
  m.mesh.extra = words;
  m.mesh.extra_count = 3;
  LevelFaceGroup g[8];
  ASSERT_EQ(levelrender_groups(m.mesh, g, 8), 3);
  EXPECT_EQ(g[1].first_face, 2);
  EXPECT_EQ(g[1].face_count, 3);
  EXPECT_EQ(g[1].first_vertex, 4);
  EXPECT_EQ(g[2].first_vertex, 9);
  // Records that do not add up to the mesh, or negative ones: one group.
  words[2] = 1 | (2 << 16);
  ASSERT_EQ(levelrender_groups(m.mesh, g, 8), 1);
  EXPECT_EQ(g[0].face_count, 6);
  EXPECT_EQ(g[0].vertex_count, 10);
  words[2] = static_cast<int32_t>(0xFFFFu | (1u << 16));
  EXPECT_EQ(levelrender_groups(m.mesh, g, 8), 1);
  m.mesh.extra_count = 0;
  EXPECT_EQ(levelrender_groups(m.mesh, g, 8), 1);
}

TEST(LevelLightmaps, ChosenOncePerInstanceByTheFirstFace) {
  SmallMesh m;
  m.pos = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
  m.faces.assign(2, LevelFace{0, {0, 1, 2}, vector(0, 0, -1)});
  m.finish();
  std::vector<float> uv(12, 0.0f);
  m.mi.lightmap_uvs = uv.data();
  gr_screen.tint_on = 0;
  m.iface[1].lightmap = 0;  // a later face's lightmap does not count
  EXPECT_FALSE(levelrender_uses_lightmaps(m.mi));
  m.iface[0].lightmap = 3 | 0x5A000000;  // the high byte is not part of the index
  EXPECT_TRUE(levelrender_uses_lightmaps(m.mi));
  m.mi.flags = MI_LIGHTMAP_OFF;
  EXPECT_FALSE(levelrender_uses_lightmaps(m.mi));
  m.mi.flags = 0;
  gr_screen.tint_on = 1;
  EXPECT_FALSE(levelrender_uses_lightmaps(m.mi));
  gr_screen.tint_on = 0;
}

TEST(LevelCornerColour, TintPrelitAndLightSums) {
  SmallMesh m;
  m.pos = {{0, 0, 4}};
  m.finish();
  m.colours = {200, 20, 50};
  m.mi.colors = m.colours.data();
  uint8_t rgb[3];
  levelrender_corner_colour(m.mi, 0, 0, false, rgb);
  EXPECT_EQ(rgb[0], 200);
  EXPECT_EQ(rgb[2], 50);
  const LevelDynLight l = light({0, 0, 2}, 0.4f, 1.0f, 0.0f, 1.0f);  // f = 0.75 toward the eye
  const LevelDynLight* list[1] = {&l};
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 1, plain_frame(), 1, list);
  levelrender_corner_colour(m.mi, 0, 1, false, rgb);
  EXPECT_EQ(rgb[0], 255);  // 200 + 0.3 * 255, capped
  EXPECT_EQ(rgb[1], 20 + static_cast<int>(0.75f * 255.0f));
  EXPECT_EQ(rgb[2], 50);
  levelrender_corner_colour(m.mi, 0, 1, true, rgb);  // lightmapped: the sum alone
  EXPECT_EQ(rgb[0], static_cast<int>(0.3f * 255.0f));
  EXPECT_EQ(rgb[2], 0);
  // Tint: the sum of the channels, clamped to 255, times each factor.
  gr_screen.tint_on = 1;
  gr_screen.tint_r = 1.0f, gr_screen.tint_g = 0.5f, gr_screen.tint_b = 0.0f;
  levelrender_corner_colour(m.mi, 0, 1, false, rgb);
  EXPECT_EQ(rgb[0], 255);
  EXPECT_EQ(rgb[1], 127);
  EXPECT_EQ(rgb[2], 0);
  gr_screen.tint_on = 0;
}

// Only y moves, by the noise at the vertex's scaled world point times its
// weight and the amplitude; with Space_mult 0 every vertex reads the same
// noise, so the offsets between frames follow the weights.
TEST(LevelVertexAnim, OffsetsFollowWeightsBetweenFrames) {
  SmallMesh m;
  m.pos = {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {3, 2, 1}};
  m.finish();
  m.mi.pos = vector(5, 0, 5);
  float weights[4] = {0.0f, 0.5f, 1.0f, 0.25f};
  VertexAnimRecord rec{0, 0.5f, 0.5f, 0.4f, 2.0f, "", -1, 4, weights};
  const float saved_space = Space_mult, saved_time = Time_mult;
  Space_mult = 0.0f;
  Time_mult = 5.0f;
  vector out[4];
  for (float seconds : {0.3f, 0.7f, 1.9f}) {
    levelrender_vertex_anim_at(m.mi, rec, seconds, out);
    const float n = noise_3d(0.0f, 0.0f, Time_mult * seconds / rec.period);
    for (int i = 0; i < 4; i++) {
      EXPECT_FLOAT_EQ(out[i].x, m.pos[i].x);
      EXPECT_FLOAT_EQ(out[i].z, m.pos[i].z);
      EXPECT_NEAR(out[i].y - m.pos[i].y, n * weights[i] * rec.amplitude, 1e-6) << seconds << " " << i;
    }
  }
  // The frames differ in time, not at weight 0.
  vector a[4], b[4];
  levelrender_vertex_anim_at(m.mi, rec, 0.3f, a);
  levelrender_vertex_anim_at(m.mi, rec, 0.7f, b);
  EXPECT_FLOAT_EQ(a[0].y, b[0].y);
  EXPECT_NE(a[2].y, b[2].y);
  // Time_mult 0 freezes it.
  Time_mult = 0.0f;
  levelrender_vertex_anim_at(m.mi, rec, 0.3f, a);
  levelrender_vertex_anim_at(m.mi, rec, 5.0f, b);
  for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(a[i].y, b[i].y);
  // With space in play the noise is read at the scaled world point.
  Space_mult = 20.0f;
  Time_mult = 5.0f;
  levelrender_vertex_anim_at(m.mi, rec, 1.0f, a);
  const vector w = m.pos[3] + m.mi.pos;
  const float n3 = noise_3d(20.0f * w.x / 0.5f, 20.0f * w.y, 20.0f * w.z / 0.5f + 5.0f * 1.0f / 2.0f);
  EXPECT_NEAR(a[3].y - m.pos[3].y, n3 * 0.25f * 0.4f, 1e-6);
  // A record without period or scales gives finite positions.
  VertexAnimRecord bad{0, 0.0f, 0.0f, 0.4f, 0.0f, "", -1, 4, weights};
  levelrender_vertex_anim_at(m.mi, bad, 1.0f, a);
  for (int i = 0; i < 4; i++) EXPECT_TRUE(std::isfinite(a[i].y));
  Space_mult = saved_space;
  Time_mult = saved_time;
}

// A face across the right edge is clipped to the view and its polygon's
// corners keep the attributes of the corners they came from.
TEST(LevelClipFace, CrossingFaceIsCutAtTheViewEdge) {
  gr_screen.renderer = GR_RECORDER;
  gr_screen.clip_width = 640;
  gr_screen.clip_height = 480;
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  SmallMesh m;
  m.pos = {{0.0f, 0.0f, 4.0f}, {20.0f, 0.0f, 4.0f}, {0.0f, 1.0f, 4.0f}};
  m.faces = {LevelFace{0, {0, 1, 2}, vector(0, 0, -1)}};
  m.finish();
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 3, frame, 0, nullptr);
  ASSERT_EQ(levelrender_scratch().codes[0], 0);
  ASSERT_NE(levelrender_scratch().codes[1] & CLIP_RIGHT, 0);
  GrVertex* out[MAX_CLIP_VERTICES];
  const int n = levelrender_clip_face(m.mi, 0, nullptr, 0, false, out);
  ASSERT_GE(n, 3);
  ASSERT_LE(n, 8);
  int kept = 0;
  for (int i = 0; i < n; i++) {
    EXPECT_LE(out[i]->x, out[i]->z * 1.0001f);
    EXPECT_EQ(out[i]->r, 100);
    EXPECT_EQ(out[i]->a, 255);
    EXPECT_LE(out[i]->sx, 640.5f);
    if (!(out[i]->proj_flags & PF_TEMPORARY)) kept++;
  }
  EXPECT_EQ(kept, 2);  // corners 0 and 2 lie inside
  // All three corners behind the eye: rejected before any clipping.
  m.pos = {{0, 0, -4}, {1, 0, -4}, {0, 1, -4}};
  levelrender_vertex_stage(m.mi, m.pos.data(), 0, 3, frame, 0, nullptr);
  const LevelVertexScratch& s = levelrender_scratch();
  EXPECT_NE(s.codes[0] & s.codes[1] & s.codes[2] & CLIP_BEHIND, 0);
}

}  // namespace

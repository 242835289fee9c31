// The level file: what the builder writes loads back whole and writes out
// byte for byte the same; every damaged part of a file is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "quarn/os/console.h"
#include "quarn/vfile/vfile.h"
#include "tests/Engine/s3d/level_fixture.h"
#include "tools/writers/demo_level_layouts.h"

namespace {

using S3dFile = LevelTest;

// A small level with one of everything.
void small_level(LevelBuilder& b) {
  const int stone = b.texture("stone.tga");
  const int lm = b.lightmap(8, 240, 100);
  const int floor = b.add_floor("floor", -4.0f, -4.0f, 4.0f, 4.0f, 0.0f, stone, MI_GROUND, lm);
  const int box = b.add_box("crate", vector{1.0f, 0.0f, 1.0f}, vector{2.0f, 1.0f, 2.0f}, stone);
  const int door = b.add_door("door", vector{-1.0f, 0.0f, 3.0f}, vector{1.0f, 2.0f, 3.2f}, vector{2.0f, 0.0f, 0.0f},
                              2.0f, "door_track", stone);
  b.add_node("$player00", vector{0.0f, 1.0f, 0.0f});
  b.add_node("$npc_guard", vector{2.0f, 1.0f, 0.0f}, 3.1415927f);
  b.add_named_points("path", {{0, 0, 0}, {1, 0, 1}});
  b.add_light(0, vector{0.0f, 3.0f, 0.0f}, vector{1.0f, 1.0f, 1.0f}, 1.0f, 10.0f);
  b.add_vis_group("$visMain", {floor, box});
  b.add_vis_group("doors", {door});
  b.add_surface(0.5f, 0.25f, 0.75f, 3);
  b.add_vertex_anim(box, 1.0f, 0.5f, 0.2f, 3.0f);
}

TEST_F(S3dFile, WrittenLevelsLoadAndWriteBackTheSameBytes) {
  struct {
    const char* name;
    void (*describe)(LevelBuilder&);
  } levels[] = {{"small.s3d", small_level},
                {DEMO_LEVEL_OUTDOOR, demo_level_outdoor},
                {DEMO_LEVEL_INDOOR, demo_level_indoor}};
  for (const auto& l : levels) {
    SCOPED_TRACE(l.name);
    LevelBuilder b;
    l.describe(b);
    write(b, l.name);
    ASSERT_EQ(load(l.name), 0);
    EXPECT_EQ(Level.flags & LEVEL_LOADED, LEVEL_LOADED);
    EXPECT_EQ(Level.instance_count, static_cast<int>(b.instances.size()));
    EXPECT_EQ(Level.mesh_count, static_cast<int>(b.meshes.size()));
    EXPECT_EQ(Level.node_count, static_cast<int>(b.nodes.size()));
    EXPECT_EQ(Level.movable_count, static_cast<int>(b.doors.size()));
    EXPECT_EQ(Level.lightmap_count, static_cast<int>(b.lightmaps.size()));
    for (int i = 0; i < Level.lightmap_count; i++) EXPECT_GE(Level.lightmap_handles[i], 0);
    ASSERT_EQ(s3d_write("again.s3d", type_, &Level), 0);
    EXPECT_EQ(bytes(l.name), bytes("again.s3d"));
    s3d_unload(&Level);
    EXPECT_EQ(Level.flags, 0u);
  }
}

TEST_F(S3dFile, LoadedRecordsKeepTheirValues) {
  LevelBuilder b;
  small_level(b);
  write(b, "small.s3d");
  ASSERT_EQ(load("small.s3d"), 0);
  EXPECT_STREQ(Level.file_name, "small.s3d");
  EXPECT_STREQ(Level.instances[1].name, "crate");
  EXPECT_EQ(Level.instances[1].pos, (vector{1.5f, 0.5f, 1.5f}));
  EXPECT_EQ(Level.instances[1].bound_min, (vector{1.0f, 0.0f, 1.0f}));
  // The crate's sides face outward: the +x side's normal is +x.
  bool found_px = false;
  for (int f = 0; f < Level.instances[1].mesh->face_count; f++)
    if (Level.instances[1].mesh->faces[f].normal == vector(1.0f, 0.0f, 0.0f)) found_px = true;
  EXPECT_TRUE(found_px);
  EXPECT_EQ(Level.movables[0].instance, 2);
  EXPECT_FLOAT_EQ(Level.movables[0].travel_time, 2.0f);
  EXPECT_EQ(Level.movables[0].open_pos, (vector{2.0f, 1.0f, 3.1f}));
  EXPECT_EQ(Level.movables[0].open_sound, -1);
  EXPECT_EQ(Level.movables[0].key_item, -1);
  EXPECT_STREQ(Level.movables[0].name, "door");
  EXPECT_STREQ(Level.movable_keys[0].name, "door_track");
  vector pos;
  matrix m;
  ASSERT_TRUE(level_node_find("$NPC_GUARD", &pos, &m));
  EXPECT_EQ(pos, (vector{2.0f, 1.0f, 0.0f}));
  EXPECT_NEAR(m.right.x, -1.0f, 1e-6f);
  EXPECT_FALSE(level_node_find("nobody", &pos, &m));
  EXPECT_FALSE(level_node_find(nullptr, &pos, &m));
  // The crate sways: one weight a vertex, 0 at its foot and 1 at its top.
  const VertexAnimRecord* va = level_vertex_anim_find(1);
  ASSERT_NE(va, nullptr);
  EXPECT_EQ(va->count, static_cast<uint32_t>(Level.instances[1].mesh->vertex_count));
  EXPECT_FLOAT_EQ(va->period, 3.0f);
  EXPECT_EQ(va->texture, -1);
  for (uint32_t k = 0; k < va->count; k++)
    EXPECT_FLOAT_EQ(va->weights[k], Level.instances[1].mesh->positions[k].y + 0.5f);
  EXPECT_EQ(level_vertex_anim_find(0), nullptr);
  // The surface record is kept within its limits: a and c to [0, 1], b
  // below 0.998.
  EXPECT_FLOAT_EQ(Level.surfaces[0].b, 0.25f);
  EXPECT_EQ(Level.surfaces[0].value, 3);
  // Faces with a lightmap keep their index; all of the floor's do.
  EXPECT_EQ(instance_face_lightmap(Level.instances[0].faces[0]), 0);
  EXPECT_NE(Level.instances[0].lightmap_uvs, nullptr);
  EXPECT_EQ(instance_face_lightmap(Level.instances[1].faces[0]), -1);
  EXPECT_EQ(Level.instances[1].lightmap_uvs, nullptr);
}

TEST_F(S3dFile, EmptyLevelLoadsWithNothingInIt) {
  LevelBuilder b;
  write(b, "empty.s3d");
  ASSERT_EQ(load("empty.s3d"), 0);
  EXPECT_EQ(Level.flags, LEVEL_LOADED);
  EXPECT_EQ(Level.instance_count, 0);
  EXPECT_EQ(Level.instances, nullptr);
  EXPECT_EQ(Level.vis_base.count, 0);
  EXPECT_EQ(Level.vis_base.members, nullptr);
}

TEST_F(S3dFile, NamesAreFixedUpByTheirPrefixes) {
  struct {
    const char* name;
    bool glide, ocean;
    uint32_t in, out;
  } cases[] = {
      {"BLACKPOLY_wall", false, false, 0, MI_BLACK},
      {"shackfloor-black2", false, false, 0, MI_BLACK},
      {"shackfloor-blac", false, false, 0, 0},
      {"Sidewalk07", false, false, MI_DECALS, MI_DEPTH_BIAS},
      {"rubblepile01b", false, false, MI_DECALS | MI_GROUND, MI_DEPTH_BIAS | MI_GROUND},
      {"RubblePile03", false, false, MI_DECALS, MI_DECALS},
      {"s1-sewer-pipe", false, false, 0, MI_NEAR_DEPTH},
      {"mosaic01", false, false, 0, MI_NEAR_DEPTH},
      {"mosaic1", false, false, 0, 0},
      {"Stalag-Small01", false, false, 0, 0},
      {"Stalag-Small01", true, false, 0, MI_STALAG},
      {"OceanWave", false, false, 0, 0},
      {"oceanwave", false, true, 0, MI_OCEAN},
      {"wall", true, true, 0x20, 0x20},
  };
  for (const auto& c : cases)
    EXPECT_EQ(s3d_name_flags(c.name, c.in, c.glide, c.ocean), c.out) << c.name << " glide " << c.glide;
  EXPECT_TRUE(s3d_level_name_fixup("LPalaceInt02.s3d", "carpet01-end02"));
  EXPECT_TRUE(s3d_level_name_fixup("lpalaceint02b.s3d", "Tapestry01-08-LCF"));
  EXPECT_FALSE(s3d_level_name_fixup("lpalaceint02.s3d", "Carpet01-End03"));
  EXPECT_FALSE(s3d_level_name_fixup("lpalaceint01.s3d", "Carpet01-Tile"));
}

TEST_F(S3dFile, FixupsAndVisibilityGroupsAtLoad) {
  LevelBuilder b;
  const int t = b.texture("stone.tga");
  const int black = b.add_box("BLACKPOLY_wall", vector{0, 0, 0}, vector{1, 1, 1}, t);
  const int tower = b.add_box("tower", vector{2, 0, 0}, vector{3, 1, 1}, t);
  const int door = b.add_box("gate", vector{4, 0, 0}, vector{5, 1, 1}, 0);
  const int loose = b.add_box("rock", vector{6, 0, 0}, vector{7, 1, 1}, t);
  b.add_vis_group("$visTower", {tower});
  b.add_vis_group("doors", {door});
  write(b, "odrinext.s3d");
  ASSERT_EQ(load("odrinext.s3d"), 0);
  EXPECT_TRUE(Level.instances[black].flags & MI_BLACK);
  EXPECT_TRUE(Level.instances[door].flags & MI_UNTEXTURED);
  EXPECT_FALSE(Level.instances[tower].flags & MI_UNTEXTURED);
  // Only members of a "$vis" group stay out of the base group.
  ASSERT_EQ(Level.vis_base.count, 3);
  EXPECT_EQ(Level.vis_base.members[0], black);
  EXPECT_EQ(Level.vis_base.members[1], door);
  EXPECT_EQ(Level.vis_base.members[2], loose);
  EXPECT_EQ(vis_group_find("$VIS_BASE"), &Level.vis_base);
  ASSERT_NE(vis_group_find("$visTower"), nullptr);
  for (int i = 0; i < Level.instance_count; i++) EXPECT_FALSE(Level.instances[i].flags & (MI_VIS_MEMBER | MI_VIS_SEEN));
}

TEST_F(S3dFile, LightmapsUpToTheirLimitAndWithLoadingOff) {
  for (int w : {256, 257}) {
    LevelBuilder b;
    const int lm = b.lightmap(4, 200, 100);
    b.lightmaps[lm] = LevelBuilder::Lightmap{w, 256, std::vector<uint16_t>(w * 256, 0x1234)};
    b.add_box("lit", vector{0, 0, 0}, vector{1, 1, 1}, 0, 0, lm);
    write(b, "lit.s3d");
    S3d_load_lightmaps = true;
    testing::internal::CaptureStdout();
    const int rc = load("lit.s3d");
    const std::string out = testing::internal::GetCapturedStdout();
    if (w == 256) {
      ASSERT_EQ(rc, 0);
      EXPECT_GE(Level.lightmap_handles[0], 0);
      EXPECT_EQ(Level.lightmap_pixels[0][256 * 256 - 1], 0x1234);
    } else {
      // A lightmap too big for the renderer's staging refuses the level.
      EXPECT_EQ(rc, -1);
      EXPECT_NE(out.find("Lightmap too big to be loaded!"), std::string::npos) << out;
      EXPECT_NE(out.find("lit.s3d"), std::string::npos);
    }
    S3d_load_lightmaps = false;
    ASSERT_EQ(load("lit.s3d"), 0) << w;
    EXPECT_EQ(Level.lightmap_handles[0], -1);
    for (int f = 0; f < Level.instances[0].mesh->face_count; f++)
      EXPECT_EQ(Level.instances[0].faces[f].lightmap & 0xFFFFFF, 0xFFFFFFu);
    S3d_load_lightmaps = true;
  }
}

TEST_F(S3dFile, LongNamesAreCutAndTheNextFieldStillReads) {
  LevelBuilder b;
  const std::string longname(40, 'n');
  b.add_box(longname, vector{0, 0, 0}, vector{1, 1, 1}, 0);
  b.add_box("next", vector{2, 0, 0}, vector{3, 1, 1}, 0);
  write(b, "names.s3d");
  ASSERT_EQ(load("names.s3d"), 0);
  EXPECT_EQ(std::string(Level.instances[0].name), longname.substr(0, 31));
  EXPECT_STREQ(Level.instances[1].name, "next");
  EXPECT_EQ(Level.instances[1].pos, (vector{2.5f, 0.5f, 0.5f}));
}

TEST_F(S3dFile, SuspiciousOrientationOnlyWarns) {
  for (float len : {1.02f, 1.04f}) {
    LevelBuilder b;
    b.add_box("skewed", vector{0, 0, 0}, vector{1, 1, 1}, 0);
    b.instances[0].orient.right = vector{len, 0.0f, 0.0f};
    write(b, "skew.s3d");
    testing::internal::CaptureStdout();
    ASSERT_EQ(load("skew.s3d"), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    const bool warned = out.find("WARNING: mesh 'skewed' may have an invalid orientation matrix!") != std::string::npos;
    EXPECT_EQ(warned, len > 1.03f) << out;
  }
}

TEST_F(S3dFile, OlderFilesKeepLightmapCoordinatesBeforeEachFace) {
  LevelBuilder b;
  small_level(b);
  b.version = S3D_VERSION_LIGHTMAP_UV_AFTER - 1;
  write(b, "old.s3d");
  ASSERT_EQ(load("old.s3d"), 0);
  EXPECT_EQ(Level.version, S3D_VERSION_LIGHTMAP_UV_AFTER - 1);
  ASSERT_NE(Level.instances[0].lightmap_uvs, nullptr);
  EXPECT_EQ(Level.instances[0].lightmap_uvs[6 * 0 + 1], b.meshes[0].faces[0].lm_uv[1][0]);
  ASSERT_EQ(s3d_write("old_again.s3d", type_, &Level), 0);
  EXPECT_EQ(bytes("old.s3d"), bytes("old_again.s3d"));
}

// Damage of one kind, done to the loaded level before it is written again.
struct Damage {
  const char* what;
  const char* section;
  void (*apply)(LevelData& L);
};

TEST_F(S3dFile, DamagedRecordsRefuseTheLevelAndLeaveNothingBehind) {
  const Damage damages[] = {
      {"face vertex index", "meshes", [](LevelData& L) { L.meshes[1].faces[3].v[2] = 500; }},
      {"instance mesh index", "mesh instances", [](LevelData& L) { L.instances[2].mesh_index = 9; }},
      {"texture slot", "mesh instances", [](LevelData& L) { L.instances[1].faces[0].texture = 2; }},
      {"lightmap index", "mesh instances", [](LevelData& L) { L.instances[0].faces[4].lightmap = 1; }},
      {"group member", "visibility groups", [](LevelData& L) { L.vis_groups[1].members[0] = 3; }},
      {"negative group member", "visibility groups", [](LevelData& L) { L.vis_groups[0].members[0] = -1; }},
      {"movable instance", "movable meshes", [](LevelData& L) { L.movables[0].instance = 7; }},
      {"movable point list", "movable meshes", [](LevelData& L) { L.movables[0].named_points = 4; }},
      {"light texture", "lights", [](LevelData& L) { L.lights[0].texture = 1; }},
      {"vertex animation instance", "vertex animation", [](LevelData& L) { L.vertex_anims[0].instance = 3; }},
      {"vertex animation weights", "vertex animation", [](LevelData& L) { L.vertex_anims[0].count = 3; }},
      {"tree child", "collision trees", [](LevelData& L) { L.meshes[0].tree.nodes[0].word2 = (L.meshes[0].tree.nodes[0].word2 & ~0xFFFFu) | 0xFFF0u; }},
      {"tree child loop", "collision trees", [](LevelData& L) { L.meshes[0].tree.nodes[0].word2 &= ~0xFFFFu; }},
      // A node reached from two parents would let a walk come round again.
      {"tree node with two parents", "collision trees",
       [](LevelData& L) {
         CollisionTree& t = L.meshes[0].tree;
         for (uint32_t i = 1; i < t.node_count; i++)
           if (t.nodes[i].word0 & (CNODE_FIRST_CHILD | CNODE_SECOND_CHILD)) {
             t.nodes[i].word2 = (t.nodes[i].word2 & ~0xFFFFu) | (t.nodes[0].word2 & 0xFFFF);
             return;
           }
         FAIL() << "mesh 0's tree has no inner node below the root";
       }},
      {"tree face", "collision trees",
       [](LevelData& L) {
         CollisionNode& n = L.meshes[1].tree.nodes[0];
         n.word2 = (n.word2 & 0xFFFF) | (400u << 16);
       }},
      {"tree face list", "collision trees",
       [](LevelData& L) {
         CollisionNode& n = L.meshes[1].tree.nodes[0];
         n.word2 = (n.word2 & 0xFFFF) | (1000u << 16) | CNODE_FACE_LIST;
       }},
      {"too many vertices", "meshes",
       [](LevelData& L) {
         static vector many[S3D_MAX_MESH_VERTICES + 1] = {};
         static vector2 uv[S3D_MAX_MESH_VERTICES + 1] = {};
         static int16_t val[S3D_MAX_MESH_VERTICES + 1] = {};
         L.meshes[1].positions = many;
         L.meshes[1].normals = many;
         L.meshes[1].uvs = uv;
         L.meshes[1].values = val;
         L.meshes[1].vertex_count = S3D_MAX_MESH_VERTICES + 1;
         L.meshes[1].face_count = 0;
         L.meshes[1].tree.node_count = 0;
         L.meshes[1].tree.face_list_length = 0;
       }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    LevelBuilder b;
    small_level(b);
    write(b, "small.s3d");
    ASSERT_EQ(load("small.s3d"), 0);
    d.apply(Level);
    ASSERT_EQ(s3d_write("bad.s3d", type_, &Level), 0);
    s3d_unload(&Level);
    testing::internal::CaptureStdout();
    EXPECT_EQ(load("bad.s3d"), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bad.s3d"), std::string::npos) << out;
    EXPECT_NE(out.find(d.section), std::string::npos) << out;
    EXPECT_EQ(Level.flags, 0u);
    EXPECT_EQ(Level.instance_count, 0);
    EXPECT_EQ(Level.instances, nullptr);
    // The good file still loads after a refused one.
    EXPECT_EQ(load("small.s3d"), 0);
  }
}

// The stored normals are not trusted: each face's comes from its corners,
// a face without area gets none, and the values are those the level builder
// used for the collision trees.
TEST_F(S3dFile, FaceNormalsComeFromTheCornersNotTheFile) {
  LevelBuilder b;
  demo_level_outdoor(b);
  write(b, DEMO_LEVEL_OUTDOOR);
  ASSERT_EQ(load(DEMO_LEVEL_OUTDOOR), 0);
  // Flatten faces of the largest mesh, early, in the middle and at its end;
  // the normals in memory, and so in the file written next, are now stale.
  LevelMesh* big = &Level.meshes[0];
  for (int i = 0; i < Level.mesh_count; i++)
    if (Level.meshes[i].face_count > big->face_count) big = &Level.meshes[i];
  ASSERT_GT(big->face_count, 40);
  const int flattened[] = {1, big->face_count / 2 + 3, big->face_count - 1};
  for (int f : flattened) {
    const LevelFace& face = big->faces[f];
    big->positions[face.v[2]] = big->positions[face.v[0]] * 0.5f + big->positions[face.v[1]] * 0.5f;
  }
  ASSERT_EQ(s3d_write("flat.s3d", type_, &Level), 0);
  s3d_unload(&Level);
  ASSERT_EQ(load("flat.s3d"), 0);
  int degenerate = 0;
  for (int m = 0; m < Level.mesh_count; m++) {
    const LevelMesh& mesh = Level.meshes[m];
    for (int f = 0; f < mesh.face_count; f++) {
      const LevelFace& face = mesh.faces[f];
      const vector& a = mesh.positions[face.v[0]];
      const vector& p1 = mesh.positions[face.v[1]];
      const vector& c = mesh.positions[face.v[2]];
      const double e1[3] = {double(p1.x) - a.x, double(p1.y) - a.y, double(p1.z) - a.z};
      const double e2[3] = {double(c.x) - p1.x, double(c.y) - p1.y, double(c.z) - p1.z};
      const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                           e1[0] * e2[1] - e1[1] * e2[0]};
      const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      SCOPED_TRACE(testing::Message() << mesh.name << " face " << f);
      if (len < 1e-9) {
        degenerate++;
        EXPECT_EQ(face.normal, vector(0.0f, 0.0f, 0.0f));
        continue;
      }
      EXPECT_NEAR(face.normal.x, n[0] / len, 1e-5);
      EXPECT_NEAR(face.normal.y, n[1] / len, 1e-5);
      EXPECT_NEAR(face.normal.z, n[2] / len, 1e-5);
      const vector same = s3d_face_normal(mesh.positions, face);
      EXPECT_EQ(std::memcmp(&face.normal, &same, sizeof same), 0);
    }
  }
  EXPECT_GE(degenerate, 3);
}

// Damage anywhere in a large mesh or instance is found, not only near the
// start of its arrays; a texture name the bitmap manager would end the
// program on (no kind of image it reads, or a PCX or VBM image that is not
// there) refuses the level.
TEST_F(S3dFile, DamageDeepInLargeArraysAndUnreadableTextureNamesAreRefused) {
  const Damage damages[] = {
      {"last face's vertex", "meshes",
       [](LevelData& L) { L.meshes[0].faces[L.meshes[0].face_count - 1].v[1] = uint16_t(L.meshes[0].vertex_count); }},
      {"middle face's vertex", "meshes",
       [](LevelData& L) { L.meshes[0].faces[L.meshes[0].face_count / 2 + 5].v[0] = 0xFFFF; }},
      {"face list entry", "collision trees",
       [](LevelData& L) {
         for (int m = 0; m < L.mesh_count; m++) {
           CollisionTree& t = L.meshes[m].tree;
           for (uint32_t i = 0; i < t.node_count; i++) {
             if (!(t.nodes[i].word2 & CNODE_FACE_LIST)) continue;
             const uint32_t ref = (t.nodes[i].word2 >> 16) & 0x7FFF;
             t.face_list[ref + t.face_list[ref]] = uint16_t(L.meshes[m].face_count);
             return;
           }
         }
         FAIL() << "no face list in the level";
       }},
      {"last instance face's texture", "mesh instances",
       [](LevelData& L) {
         LevelMeshInstance& mi = L.instances[L.instance_count - 1];
         mi.faces[mi.mesh->face_count - 1].texture = uint16_t(L.texture_count + 1);
       }},
      {"last instance face's lightmap", "mesh instances",
       [](LevelData& L) {
         LevelMeshInstance& mi = L.instances[0];
         mi.faces[mi.mesh->face_count - 1].lightmap = uint32_t(L.lightmap_count);
       }},
      {"texture of an unknown kind", "textures",
       [](LevelData& L) {
         char* dot = std::strrchr(L.texture_block, '.');
         dot[1] = 'x';  // the first name: ".xga"
       }},
      {"texture without a kind", "textures",
       [](LevelData& L) {
         char* name = L.texture_block + std::strlen(L.texture_block) + 1;
         for (char* p = name; *p; p++)
           if (*p == '.') *p = '_';
       }},
      {"vertex animation texture of an unknown kind", "vertex animation",
       [](LevelData& L) {
         ASSERT_GT(L.vertex_anim_count, 0);
         L.vertex_anims[0].texture_name = "ripple.bmp";
       }},
      {"missing texture of a kind that must be there", "textures",
       [](LevelData& L) {
         char* dot = std::strrchr(L.texture_block, '.');
         std::memcpy(dot + 1, "pcx", 3);
       }},
      {"missing vertex animation texture that must be there", "vertex animation",
       [](LevelData& L) { L.vertex_anims[0].texture_name = "ripple.vbm"; }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    LevelBuilder b;
    demo_level_outdoor(b);
    write(b, DEMO_LEVEL_OUTDOOR);
    ASSERT_EQ(load(DEMO_LEVEL_OUTDOOR), 0);
    d.apply(Level);
    ASSERT_EQ(s3d_write("bad.s3d", type_, &Level), 0);
    s3d_unload(&Level);
    testing::internal::CaptureStdout();
    const int rc = load("bad.s3d");
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, -1);
    EXPECT_NE(said.find(d.section), std::string::npos) << said;
    EXPECT_EQ(Level.instance_count, 0);
  }
}

TEST_F(S3dFile, RecordsSearchedByInstanceMustComeInInstanceOrder) {
  LevelBuilder b;
  b.add_door("door_a", vector{0, 0, 0}, vector{1, 2, 0.2f}, vector{1, 0, 0}, 1.0f, "a", 0);
  const int box = b.add_box("flag", vector{3, 0, 0}, vector{4, 2, 0.2f}, 0);
  b.add_door("door_b", vector{6, 0, 0}, vector{7, 2, 0.2f}, vector{1, 0, 0}, 1.0f, "b", 0);
  b.add_vertex_anim(box, 1, 1, 1, 1);
  b.add_vertex_anim(0, 1, 1, 1, 1);
  write(b, "order.s3d");
  ASSERT_EQ(load("order.s3d"), 0);
  EXPECT_EQ(level_mesh_movable_info(2)->instance, 2);
  EXPECT_EQ(level_vertex_anim_find(1)->instance, 1);
  // Swapped, a binary search would miss them: the file is refused.
  for (int which = 0; which < 2; which++) {
    ASSERT_EQ(load("order.s3d"), 0);
    if (which == 0) std::swap(Level.movables[0], Level.movables[1]);
    else std::swap(Level.vertex_anims[0], Level.vertex_anims[1]);
    ASSERT_EQ(s3d_write("swapped.s3d", type_, &Level), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(load("swapped.s3d"), -1) << which;
    EXPECT_NE(testing::internal::GetCapturedStdout().find("out of instance order"), std::string::npos);
  }
}

TEST_F(S3dFile, HeaderTotalsThatDoNotCoverTheRecordsRefuseTheLevel) {
  LevelBuilder b;
  small_level(b);
  write(b, "small.s3d");
  const std::vector<uint8_t> good = bytes("small.s3d");
  // Header ints after the magic: 12 total faces, 13 instance faces, 14
  // vertices, 15 points, 16 int pool, 17 colour bytes, 18 texture block.
  struct {
    int field;
    int32_t value;
  } cases[] = {{12, 10}, {13, 10}, {14, 10}, {15, 10}, {16, 1}, {17, 10}, {18, 3}, {1, -1}, {12, 0x7FFFFFFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    std::vector<uint8_t> bad = good;
    std::memcpy(&bad[4 + 4 * c.field], &c.value, 4);
    put_bytes("bad.s3d", bad);
    testing::internal::CaptureStdout();
    EXPECT_EQ(load("bad.s3d"), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("bad.s3d"), std::string::npos);
    EXPECT_EQ(Level.flags, 0u);
  }
}

TEST_F(S3dFile, EveryTruncationAndAnUnterminatedNameBlockAreRefused) {
  LevelBuilder b;
  small_level(b);
  write(b, "small.s3d");
  const std::vector<uint8_t> good = bytes("small.s3d");
  testing::internal::CaptureStdout();
  for (size_t cut = 0; cut < good.size(); cut += 1 + cut / 8) {
    put_bytes("cut.s3d", std::vector<uint8_t>(good.begin(), good.begin() + cut));
    ASSERT_EQ(load("cut.s3d"), -1) << cut;
    ASSERT_EQ(Level.flags, 0u);
  }
  // The texture names end at byte 4 + 92 + 4 + 9 ("stone.tga\0").
  std::vector<uint8_t> bad = good;
  bad[4 + 92 + 4 + 9] = 'x';
  put_bytes("bad.s3d", bad);
  EXPECT_EQ(load("bad.s3d"), -1);
  bad = good;
  bad[0] = 'X';
  put_bytes("bad.s3d", bad);
  EXPECT_EQ(load("bad.s3d"), -1);
  EXPECT_EQ(load("missing.s3d"), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("textures"), std::string::npos);
}

TEST_F(S3dFile, LightmapConsoleCommandsSetAndClearTheFlag) {
  LevelBuilder b;
  small_level(b);
  write(b, "small.s3d");
  ASSERT_EQ(load("small.s3d"), 0);
  console_execute("lmap_off");
  for (int i = 0; i < Level.instance_count; i++) EXPECT_TRUE(Level.instances[i].flags & MI_LIGHTMAP_OFF);
  console_execute("lmap_reset");
  for (int i = 0; i < Level.instance_count; i++) EXPECT_FALSE(Level.instances[i].flags & MI_LIGHTMAP_OFF);
  console_execute("load_lightmaps off");
  EXPECT_FALSE(S3d_load_lightmaps);
  console_execute("load_lightmaps");
  EXPECT_TRUE(S3d_load_lightmaps);
}

}  // namespace

#pragma once
// Shared fixtures of the character tests: a scratch installation root,
// small meshes made by the .vim writer and turns about y.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/vim_writer.h"

constexpr float kPi = 3.14159265358979f;

// A turn of `degrees` about +y as the animation writer's x, y, z, w.
inline std::array<float, 4> about_y(float degrees) {
  const float h = degrees * kPi / 360.0f;
  return {0, std::sin(h), 0, std::cos(h)};
}

class CaRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fresh_temp_dir(std::string("ca_") + info->test_suite_name() + "_" + info->name());
    root_ = dir_.string() + "/";
    vfile_set_root(root_.c_str(), false);
    bm_init();
  }
  void TearDown() override {
    bm_close();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return root_ + name; }

 private:
  std::filesystem::path dir_;
  std::string root_;
};

// A mesh of two groups: a skinned quad (4 vertices, 2 faces, the last vertex
// a texture-coordinate duplicate of the first) and an unskinned triangle;
// three bones in a chain, one bone tag, two tags, two bitmaps.
inline VimWriterMesh small_mesh(bool morph = false) {
  VimWriterMesh m;
  m.flags = morph ? 1 : 0;
  m.morph_vertex_count = morph ? 3 : 0;
  m.centre = {0.5f, 1.0f, 0.0f};
  m.radius = 2.5f;
  m.spare = 0x1234;
  m.root_bone = 0;
  VimWriterGroup a;
  a.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}};
  a.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
  a.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  a.faces = {{{0, 1, 2}, 0}, {{2, 3, 0}, 32}};
  a.dup_map = {-1, -1, -1, 3};
  a.skin = {{16, 0, 0, 0, 0, 0, 0, 0}, {8, 8, 0, 0, 0, 1, 0, 0}, {16, 0, 0, 0, 2, 0, 0, 0}, {16, 0, 0, 0, 0, 0, 0, 0}};
  a.bitmap_slot = 0;
  a.morph_map = {0, 2, -1};
  VimWriterGroup b;
  b.positions = {{0, 2, 0}, {1, 2, 0}, {0, 3, 0}};
  b.normals = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
  b.uvs = {{0, 0}, {1, 0}, {0, 1}};
  b.faces = {{{0, 1, 2}, 64}};
  b.bitmap_slot = 1;
  b.morph_map = {-1, -1, 1};
  m.groups = {a, b};
  VimWriterBone root;
  root.name = "root";
  VimWriterBone spine;
  spine.name = "Spine";
  spine.parent = 0;
  spine.inverse_rest = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0};
  spine.point = {0, 0.5f, 0};
  spine.value = 7;
  VimWriterBone head;
  head.name = "BDBN-Head";
  head.parent = 1;
  head.inverse_rest = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -2, 0};
  m.bones = {root, spine, head};
  VimWriterBoneTag hand;
  hand.name = "$weapon";
  hand.parent = 2;
  hand.local = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.25f, 0, 0};
  m.bone_tags = {hand};
  VimWriterTag t1;
  t1.name = "$missile";
  t1.position = {0, 1.5f, 2};
  t1.rotation = {0, 0.70710678f, 0, 0.70710678f};
  VimWriterTag t2;
  t2.name = "hit";
  m.tags = {t1, t2};
  m.bitmaps = {"skin_a.tga", "skin_b.tga"};
  return m;
}

// Decals on the level: where each instance's faces sit in the frame's face
// mask, and what happens to a level with more decal faces than it holds.
#include "Engine/rendering/decal.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A level of bare instances whose meshes have the given face counts; only
// what the mask reads is filled.
class DecalMaskTest : public ::testing::Test {
 protected:
  void build(const std::vector<std::pair<int, uint32_t>>& faces_and_flags) {
    saved_instances_ = Level.instances;
    saved_count_ = Level.instance_count;
    meshes_.assign(faces_and_flags.size(), LevelMesh{});
    instances_.assign(faces_and_flags.size(), LevelMeshInstance{});
    for (size_t i = 0; i < faces_and_flags.size(); i++) {
      meshes_[i].face_count = faces_and_flags[i].first;
      instances_[i].mesh = &meshes_[i];
      instances_[i].flags = faces_and_flags[i].second;
    }
    Level.instances = instances_.data();
    Level.instance_count = static_cast<int>(instances_.size());
  }
  void TearDown() override {
    Level.instances = saved_instances_;
    Level.instance_count = saved_count_;
  }
  LevelMeshInstance* saved_instances_ = nullptr;
  int saved_count_ = 0;
  std::vector<LevelMesh> meshes_;
  std::vector<LevelMeshInstance> instances_;
};

TEST_F(DecalMaskTest, RunsAreWholeBytesInInstanceOrderForDecalInstancesOnly) {
  // 5 faces take one byte, 9 take two; the plain instance takes none.
  build({{5, MI_GROUND}, {100, 0}, {9, MI_DECALS}, {8, MI_GROUND | MI_DECALS}});
  EXPECT_EQ(decal_mask_layout(), 3);
  EXPECT_EQ(decal_mask_offset(0), 0);
  EXPECT_EQ(decal_mask_offset(1), -1);
  EXPECT_EQ(decal_mask_offset(2), 8);
  EXPECT_EQ(decal_mask_offset(3), 24);
  EXPECT_EQ(decal_mask_offset(4), -1);

  decal_mask_set(2, 8);
  EXPECT_TRUE(decal_mask_test(2, 8));
  EXPECT_FALSE(decal_mask_test(3, 0)) << "a face of one run never shows in the next";
  decal_mask_set(0, 5);  // past the mesh's faces
  EXPECT_FALSE(decal_mask_test(0, 5));
  decal_mask_set(1, 0);
  EXPECT_FALSE(decal_mask_test(1, 0));
  decal_mask_clear();
  EXPECT_FALSE(decal_mask_test(2, 8));
}

TEST_F(DecalMaskTest, InstancesPastTheMaskGetNoDecals) {
  // 40,000 + 24,000 faces fit in 65,536 bits; the next 2,000 do not, but a
  // later small one still does.
  build({{40000, MI_GROUND}, {24000, MI_GROUND}, {2000, MI_GROUND}, {1000, MI_DECALS}});
  EXPECT_EQ(decal_mask_layout(), 3);
  EXPECT_EQ(decal_mask_offset(1), 40000);
  EXPECT_EQ(decal_mask_offset(2), -1);
  EXPECT_EQ(decal_mask_offset(3), 64000);
  decal_mask_set(2, 1999);
  EXPECT_FALSE(decal_mask_test(2, 1999));
  decal_mask_set(3, 999);  // the mask's last bits
  EXPECT_TRUE(decal_mask_test(3, 999));
}

}  // namespace

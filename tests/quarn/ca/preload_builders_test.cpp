// The preload queue, with the character code's builders installed, turns
// animation and mesh files read in the background into the assets their
// loaders would make, and stops on a file they refuse.
#include <gtest/gtest.h>

#include <cmath>

#include "quarn/vfile/preload.h"
#include "quarn/ca/ca_preload.h"
#include "quarn/ca/skeleton.h"
#include "quarn/ca/vim.h"
#include "tests/quarn/ca/ca_test_util.h"
#include "tools/writers/mvf_writer.h"

namespace {

// One bone turning from 0 to 90 degrees about y over one second.
MvfWriterAnim turn_anim() {
  MvfWriterAnim a;
  a.first_tick = 0;
  a.last_tick = 4800;
  MvfWriterBone b;
  MvfWriterRotationKey k0, k1;
  k1.tick = 4800;
  const float h = 3.14159265f / 4.0f;
  k1.q = {0, std::sin(h), 0, std::cos(h)};
  b.rotations = {k0, k1};
  MvfWriterPositionKey p;
  p.value = {0, 1, 0};
  b.positions = {p};
  a.bones = {b};
  return a;
}

class PreloadedCharacterAssets : public CaRootTest {
 protected:
  void SetUp() override {
    CaRootTest::SetUp();
    skeleton_counters_reset();
    preload_set_builders({});
    preload_set_file(nullptr);
    preload_reset();
    preload_init();
    character_preload_install();
  }
  void TearDown() override {
    preload_reset();
    preload_set_builders({});
    skeleton_counters_reset();
    CaRootTest::TearDown();
  }
  int run_queue() {
    if (!preload_start()) return -1;
    int state = preload_state();
    for (int i = 0; i < 100000 && state == PRELOAD_LOADING; i++) state = preload_tick();
    return state;
  }
};

TEST_F(PreloadedCharacterAssets, AnimationsAndMeshesArriveAsTheirLoadersMakeThem) {
  ASSERT_TRUE(mvf_write_file(path("turn.mvf"), turn_anim()));
  ASSERT_TRUE(vim_write_file(path("figure.vim"), small_mesh()));
  skeleton sk("turn.mvf", "turn", 0, 0, 0);
  VimMesh* mesh = nullptr;
  ASSERT_TRUE(preload_add("turn.mvf", nullptr, &sk));
  ASSERT_TRUE(preload_add("figure.vim", nullptr, &mesh));
  EXPECT_EQ(run_queue(), PRELOAD_DONE);

  ASSERT_EQ(sk.bone_count, 1);
  EXPECT_EQ(sk.last_tick, 4800);
  const quaternion half = bone_track_rotation(sk.bone_tracks[0], 2400, 0);
  EXPECT_NEAR(2.0f * std::atan2(half.y, half.w) * 180.0f / 3.14159265f, 45.0f, 0.02f);

  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->group_count, 2);
  EXPECT_EQ(mesh->groups[0].vertex_count, 4);
  EXPECT_EQ(mesh->groups[1].vertex_count, 3);
  EXPECT_FLOAT_EQ(mesh->radius, 2.5f);
  EXPECT_EQ(vim_find_tag(mesh, "$missile"), 0);
  vim_free(mesh);
}

TEST_F(PreloadedCharacterAssets, ARefusedFileStopsTheQueueAndLeavesTheTargetEmpty) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> cut_anim = mvf_build(turn_anim());
  cut_anim.resize(cut_anim.size() / 2);
  std::vector<uint8_t> bad_mesh = vim_build(small_mesh());
  bad_mesh[0] = 5;  // the version word: older than the loader reads
  for (const Case& c : {Case{"cut.mvf", cut_anim}, Case{"bad.vim", bad_mesh}}) {
    SCOPED_TRACE(c.name);
    preload_reset();
    ASSERT_TRUE(writer_put_file(path(c.name), c.bytes));
    skeleton sk(c.name, "cut", 0, 0, 0);
    VimMesh* mesh = nullptr;
    const bool anim = std::string(c.name).ends_with(".mvf");
    ASSERT_TRUE(preload_add(c.name, nullptr, anim ? static_cast<void*>(&sk) : static_cast<void*>(&mesh)));
    EXPECT_EQ(run_queue(), PRELOAD_FAILED);
    EXPECT_EQ(sk.bone_count, 0);
    EXPECT_EQ(mesh, nullptr);
  }
}

}  // namespace

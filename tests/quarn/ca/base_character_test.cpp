// Base characters: loading a kind with its meshes and animations, slots that
// keep their indices, the animation pack, and the refusals.
#include "quarn/ca/base_character.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ca_test_util.h"
#include "quarn/os/memory.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/mvf_writer.h"

namespace {

MvfWriterAnim simple_anim(int bones, int version = 8) {
  MvfWriterAnim a;
  a.version = version;
  a.last_tick = 1600;
  for (int b = 0; b < bones; ++b) {
    MvfWriterBone bone;
    bone.rotations.push_back({});
    bone.positions.push_back({});
    a.bones.push_back(bone);
  }
  return a;
}

int g_type_flags = 0;
int type_lookup(const char* name) { return std::strcmp(name, "ghost") == 0 ? 1 : g_type_flags; }

class BaseCharacters : public CaRootTest {
 protected:
  void SetUp() override {
    CaRootTest::SetUp();
    character_instance_system_init(-1);
    g_type_flags = 0;
    base_character_set_type_lookup(type_lookup);
    ASSERT_TRUE(vim_write_file(path("hero.vim"), small_mesh()));
    VimWriterMesh shadow = small_mesh();
    shadow.groups.pop_back();
    shadow.bitmaps.clear();
    ASSERT_TRUE(vim_write_file(path("hero_shadow.vim"), shadow));
    VimWriterMesh alt = small_mesh();
    alt.bitmaps = {"alt_a.tga", "alt_b.tga"};
    alt.radius = 9.0f;
    ASSERT_TRUE(vim_write_file(path("hero_alt.vim"), alt));
    ASSERT_TRUE(vim_write_file(path("ghost.vim"), small_mesh()));
    ASSERT_TRUE(mvf_write_file(path("walk.mvf"), simple_anim(3)));
    ASSERT_TRUE(mvf_write_file(path("idle.mvf"), simple_anim(3, 2)));
  }
  void TearDown() override {
    character_instance_system_shutdown();
    base_character_set_type_lookup(nullptr);
    CaRootTest::TearDown();
  }
  BaseCharacter* load(const char* name) {
    const char* names[] = {name};
    return base_character_load(names, 1, nullptr, nullptr);
  }
};

TEST_F(BaseCharacters, LoadTakesMeshShadowAndBonePart) {
  testing::internal::CaptureStdout();
  BaseCharacter* bc = load("hero.tbl");
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_NE(bc, nullptr);
  EXPECT_STREQ(bc->name, "hero");
  EXPECT_EQ(character_find("HERO"), bc);
  EXPECT_EQ(base_character_counters().count, 1);
  ASSERT_NE(bc->current, nullptr);
  ASSERT_NE(bc->current->mesh, nullptr);
  EXPECT_EQ(bc->current->skeleton, &bc->current->mesh->bone_part);
  ASSERT_NE(bc->current->shadow, nullptr);
  EXPECT_EQ(bc->current->shadow->group_count, 1);
  EXPECT_TRUE(bc->flags & BC_MESHES_LOADED);
  EXPECT_NE(out.find("ATTEMPTING TO LOAD : hero_shadow.vim\n"), std::string::npos) << out;
  EXPECT_NE(out.find("SHADOW LOADED!\n"), std::string::npos);
  // A type flagged without shadow gets none.
  BaseCharacter* ghost = load("ghost");
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ(ghost->current->shadow, nullptr);
  // Bones by name, bone tags after them.
  EXPECT_EQ(character_find_bone(bc, "bdbn-head"), 2);
  EXPECT_EQ(character_find_bone(bc, "$WEAPON"), 3);
  EXPECT_EQ(character_find_bone(bc, "tail"), -1);
}

TEST_F(BaseCharacters, AMissingMeshIsAFailedLoad) {
  EXPECT_EQ(load("nobody"), nullptr);
  EXPECT_EQ(base_character_counters().count, 0);
  EXPECT_EQ(character_find("nobody"), nullptr);
  CriticalErrorTrap trap;
  const char* names[] = {"nobody"};
  try {
    character_load(names, 1, 0, 0, nullptr, nullptr);
    ADD_FAILURE() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Couldn't load character nobody in charanim.tbl file.");
  }
  // Every mesh record went back to the pool: all 200 characters still load.
  for (int i = 0; i < MAX_BASE_CHARACTERS; ++i) ASSERT_NE(load("hero"), nullptr) << i;
  try {
    load("hero");
    ADD_FAILURE() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("No more base character room"), std::string::npos);
  }
}

TEST_F(BaseCharacters, CharacterLoadFindsKeptCharactersAndReloadsFlushedBitmaps) {
  const char* names[] = {"hero"};
  BaseCharacter* bc = character_load(names, 1, 1, 0, nullptr, nullptr);
  ASSERT_NE(bc, nullptr);
  EXPECT_TRUE(bc->flags & BC_KEEP);
  VimMesh* mesh = bc->current->mesh;
  testing::internal::CaptureStdout();
  EXPECT_EQ(character_load(names, 1, 0, 0, nullptr, nullptr), bc);
  mesh->bitmaps[0] = 0;  // a valid handle, not a flushed one
  EXPECT_EQ(character_load(names, 1, 0, 0, nullptr, nullptr), bc);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("RE-LOADING"), std::string::npos);
  mesh->bitmaps[0] = -1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(character_load(names, 1, 0, 0, nullptr, nullptr), bc);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("RE-LOADING bitmaps for : hero\n"), std::string::npos);
  EXPECT_STREQ(bm_get_filename(mesh->bitmaps[0]), "skin_a.tga");

  ASSERT_NE(load("ghost"), nullptr);
  base_character_release_unkept();
  EXPECT_EQ(character_find("ghost"), nullptr);
  EXPECT_EQ(character_find("hero"), bc);
}

TEST_F(BaseCharacters, AnimationSlotsKeepTheirIndices) {
  BaseCharacter* bc = load("hero");
  ASSERT_NE(bc, nullptr);
  EXPECT_EQ(base_character_add_skeleton(bc, "walk.mvf", "walk", 1, 0, 0, 1), 0);
  EXPECT_EQ(base_character_add_skeleton(bc, "idle.mvf", "idle", 1, 0, 0, 0), 1);
  EXPECT_EQ(base_character_add_skeleton(bc, "WALK.MVF", "walk2", 0, 0, 1, 0), 0);  // reused
  EXPECT_EQ(base_character_add_skeleton(bc, "walk.mvf", "strike", 0, 0, 0, 0), 2);
  EXPECT_EQ(character_find_anim(bc, "IDLE", 1), 1);
  EXPECT_EQ(character_find_anim(bc, "idle", 0), -1);
  EXPECT_EQ(character_find_anim(bc, "strike", 0), 2);
  EXPECT_EQ(skeleton_counters().count, 3);

  base_character_remove_skeleton(bc, 1);
  EXPECT_EQ(bc->anim_count, 3);
  EXPECT_EQ(bc->anims[1], nullptr);
  EXPECT_EQ(character_find_anim(bc, "idle", 1), -1);
  EXPECT_EQ(character_find_anim(bc, "strike", 0), 2);
  base_character_remove_skeleton(bc, 2);
  EXPECT_EQ(bc->anim_count, 2);

  base_character_mark(bc);
  EXPECT_EQ(base_character_add_skeleton(bc, "idle.mvf", "extra", 0, 0, 0, 0), 2);
  EXPECT_EQ(base_character_add_skeleton(bc, "idle.mvf", "extra2", 0, 0, 0, 0), 3);
  base_character_release_to_mark(bc);
  EXPECT_EQ(bc->anim_count, 2);
  EXPECT_EQ(bc->anims[2], nullptr);
  EXPECT_FALSE(bc->flags & BC_MARKED);
  base_character_remove_skeletons(bc);
  EXPECT_EQ(bc->anim_count, 0);
  EXPECT_EQ(skeleton_counters().count, 0);
}

TEST_F(BaseCharacters, BrokenOrMissingAnimations) {
  BaseCharacter* bc = load("hero");
  ASSERT_NE(bc, nullptr);
  std::vector<uint8_t> broken = mvf_build(simple_anim(3));
  broken.resize(60);
  ASSERT_TRUE(writer_put_file(path("broken.mvf"), broken));
  EXPECT_EQ(base_character_add_skeleton(bc, "broken.mvf", "broken", 0, 0, 0, 0), -1);
  EXPECT_EQ(bc->anim_count, 0);
  EXPECT_EQ(skeleton_counters().count, 0);

  CriticalErrorTrap trap;
  try {
    base_character_add_skeleton(bc, "gone.mvf", "gone", 0, 0, 0, 0);
    ADD_FAILURE();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Error opening : gone.mvf\n");
  }
  for (int i = 0; i < MAX_CHARACTER_ANIMS; ++i) ASSERT_EQ(base_character_add_skeleton(bc, "walk.mvf", "w", 1, 0, 0, 0), i);
  try {
    base_character_add_skeleton(bc, "walk.mvf", "w", 1, 0, 0, 0);
    ADD_FAILURE();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text.rfind("No more room for skeletons in character hero", 0), 0u);
  }
}

TEST_F(BaseCharacters, SoundEvents) {
  BaseCharacter* bc = load("hero");
  ASSERT_EQ(base_character_add_skeleton(bc, "walk.mvf", "walk", 1, 0, 0, 0), 0);
  const skeleton* sk = bc->anims[0];
  base_character_add_event(bc, 0, "left-foot", 2.5f);
  EXPECT_STREQ(sk->sound_events[0].name, "left-foot");
  EXPECT_EQ(sk->sound_events[0].tick, 400);
  base_character_add_event_if_absent(bc, 0, "left-foot", 9.0f);
  EXPECT_EQ(sk->sound_events[1].name, nullptr);
  base_character_add_event_if_absent(bc, 0, "Left-foot", 9.0f);  // case counts
  EXPECT_STREQ(sk->sound_events[1].name, "Left-foot");
  base_character_set_event(bc, 0, "left-foot", 4.0f);
  EXPECT_EQ(sk->sound_events[0].tick, 640);
  for (int i = 0; i < 5; ++i) base_character_add_event(bc, 0, "more", 1.0f);
  EXPECT_STREQ(sk->sound_events[4].name, "more");
  EXPECT_EQ(sk->sound_events[0].tick, 640);
  base_character_add_event(bc, 7, "nothing", 1.0f);  // no such slot: ignored
}

TEST_F(BaseCharacters, AnimationPackServesItsEntries) {
  std::vector<uint8_t> walk = mvf_build(simple_anim(3));
  MvfWriterAnim run = simple_anim(3);
  run.last_tick = 800;
  ASSERT_TRUE(writer_put_file(path("anims.pak"), anim_pack_build({{"packed_walk.mvf", walk}, {"run.mvf", mvf_build(run)}})));
  ASSERT_TRUE(anim_pack_load("anims.pak"));
  int size = 0, offset = 0;
  ASSERT_TRUE(anim_pack_find("RUN.mvf", &size, &offset));
  EXPECT_EQ(offset, 16 + 2 * 72 + static_cast<int>(walk.size()));
  BaseCharacter* bc = load("hero");
  // Not on disk: only the pack has it.
  ASSERT_EQ(base_character_add_skeleton(bc, "run.mvf", "run", 1, 0, 0, 0), 0);
  EXPECT_EQ(bc->anims[0]->last_tick, 800);

  struct Case {
    const char* what;
    void (*edit)(std::vector<uint8_t>&);
  };
  const Case cases[] = {
      {"71 entries", [](std::vector<uint8_t>& b) { b[8] = 71; }},
      {"over 1 MB", [](std::vector<uint8_t>& b) { b[14] = 0x20; }},
      {"total beyond the file", [](std::vector<uint8_t>& b) { b[13] += 1; }},
      {"entry beyond the total", [](std::vector<uint8_t>& b) { b[16 + 72 + 69] = 0x10; }},
      {"negative size", [](std::vector<uint8_t>& b) { b[16 + 67] = 0x80; }},
      {"name without end", [](std::vector<uint8_t>& b) { std::memset(&b[16], 'a', 64); }},
      {"cut header", [](std::vector<uint8_t>& b) { b.resize(10); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = anim_pack_build({{"packed_walk.mvf", walk}, {"run.mvf", mvf_build(run)}});
    c.edit(bytes);
    ASSERT_TRUE(writer_put_file(path("bad.pak"), bytes));
    EXPECT_FALSE(anim_pack_load("bad.pak")) << c.what;
    EXPECT_FALSE(anim_pack_present()) << c.what;
  }
  EXPECT_FALSE(anim_pack_load("absent.pak"));
}

TEST_F(BaseCharacters, VariantsShareOneArenaAndCarryTheBitmaps) {
  alignas(16) static uint8_t memory[1 << 16];
  MemArena arena;
  arena.init(memory, sizeof(memory), "hero");
  const char* names[] = {"hero", "hero_alt"};
  BaseCharacter* bc = base_character_load(names, 2, &arena, nullptr);
  ASSERT_NE(bc, nullptr);
  EXPECT_FALSE(mem_arena_active());
  EXPECT_FALSE(bc->flags & BC_IN_ARENA);
  ASSERT_NE(bc->meshes[1], nullptr);
  EXPECT_STREQ(bc->meshes[1]->mesh_name, "hero_alt");
  EXPECT_EQ(bc->meshes[1]->mesh, nullptr);
  const int skin0 = bc->current->mesh->bitmaps[0];
  character_select_variant(bc, 1);
  EXPECT_EQ(bc->current, bc->meshes[1]);
  ASSERT_NE(bc->current->mesh, nullptr);
  EXPECT_FLOAT_EQ(bc->current->mesh->radius, 9.0f);
  EXPECT_EQ(bc->current->mesh->bitmaps[0], skin0);  // carried over
  EXPECT_EQ(bc->meshes[0]->mesh, nullptr);
  EXPECT_FALSE(mem_arena_active());
  character_select_variant(bc, 1);  // already current: nothing
  EXPECT_EQ(bc->current, bc->meshes[1]);
  base_character_release(bc);
  EXPECT_EQ(base_character_counters().count, 0);
}

}  // namespace

// Effect memory: the effect list, placement of images by pool class and size
// in the effects arena, eviction by reference count, the shared cutscene
// region, relocation when the read completes, and the resets. Files are
// read through the file layer and the preload queue, as the game reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "quarn/vfile/preload.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/support/critical_error_trap.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/effect_writer.h"
#include "tools/writers/vim_writer.h"

namespace {
class EffectMemTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    preload_init();
    preload_set_file(nullptr);
    mem_set_arena(nullptr);
  }
  void TearDown() override {
    preload_reset();
    effects_set_level_arena(nullptr);
    TempRootTest::TearDown();
  }
  void file(const std::string& name, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(writer_put_file(root() + name, bytes));
  }
  void list(const std::vector<EffectListEntry>& entries) {
    ASSERT_TRUE(effect_list_write(root() + "demo_effects.arr", entries));
    ASSERT_EQ(effects_init(), 0);
  }
  // A file of one definition named after the file, of the given image size.
  void sized(const std::string& name, uint32_t bytes) { file(name + ".vfx", effect_file_sized(name, bytes)); }
  int base(const std::string& name) { return effect_base_find_file((name + ".vfx").c_str()); }
  bool resident(const std::string& name) { return effect_base_at(base(name))->resident(); }
};

int parse(const char* line, char* file, int* pool, int* count, char names[][EFFECT_LIST_TOKEN_SIZE]) {
  return effect_list_parse_line(line, file, pool, count, names);
}
}  // namespace

TEST(EffectList, LinesAreSplitCommentedAndChecked) {
  char file[EFFECT_LIST_TOKEN_SIZE];
  char names[MAX_EFFECT_LIST_NAMES][EFFECT_LIST_TOKEN_SIZE];
  int pool = -1, count = 0;
  ASSERT_EQ(parse("sparks.vfx spell spark-a, spark-b ; the hero's sparks\r\n", file, &pool, &count, names), 1);
  EXPECT_STREQ(file, "sparks.vfx");
  EXPECT_EQ(pool, EFFECT_POOL_SPELL);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(names[0], "spark-a");
  EXPECT_STREQ(names[1], "spark-b");
  EXPECT_EQ(parse("x.vfx Cutscene:a", file, &pool, &count, names), 1);
  EXPECT_EQ(pool, EFFECT_POOL_CUTSCENE);

  EXPECT_EQ(parse("sparks.vfx weather spark", file, &pool, &count, names), 0);  // unknown pool
  EXPECT_EQ(parse("sparks.vfx spell", file, &pool, &count, names), 0);          // no names
  EXPECT_EQ(parse("; only a comment", file, &pool, &count, names), 0);

  const std::string name40(40, 'n'), name41(41, 'n');
  EXPECT_EQ(parse(("a.vfx level " + name40).c_str(), file, &pool, &count, names), 1);
  EXPECT_EQ(parse(("a.vfx level " + name41).c_str(), file, &pool, &count, names), -1);
  EXPECT_EQ(parse((name41 + " level a").c_str(), file, &pool, &count, names), -1);
  std::string many = "a.vfx level";
  for (int i = 0; i < 32; i++) many += " n" + std::to_string(i);
  EXPECT_EQ(parse(many.c_str(), file, &pool, &count, names), 1);
  EXPECT_EQ(count, 32);
  EXPECT_EQ(parse((many + " n32").c_str(), file, &pool, &count, names), -1);
}

TEST_F(EffectMemTest, ListMakesBasesAndNames) {
  list({{"sparks.vfx", "spell", {"Spark-A", "spark-b"}},
        {"fire.vfx", "level", {"fire"}},
        {"SPARKS.VFX", "cutscene", {"spark-c"}}});
  EXPECT_EQ(effect_base_count(), 2);
  EXPECT_EQ(effect_name_count(), 4);
  EXPECT_EQ(effect_base_at(0)->pool(), EFFECT_POOL_SPELL);  // the first pool stays
  EXPECT_EQ(effect_name_find("data\\effects\\SPARK-A"), 0);
  EXPECT_EQ(effect_name_find("spark-c"), 3);
  EXPECT_EQ(effect_name_at(3)->base, 0);
  EXPECT_EQ(effect_name_find("nothing"), -1);
  EXPECT_TRUE(effect_in_cutscene_pool("fire.vfx") == false);
}

TEST_F(EffectMemTest, MissingListAndTooManyNames) {
  EXPECT_EQ(effects_init(), -1);
  std::vector<EffectListEntry> entries;
  for (int i = 0; i < 14; i++) {
    EffectListEntry e{"f" + std::to_string(i) + ".vfx", "spell", {}};
    for (int k = 0; k < 32; k++) e.names.push_back("e" + std::to_string(i) + "_" + std::to_string(k));
    entries.push_back(e);
  }
  ASSERT_TRUE(effect_list_write(root() + "demo_effects.arr", entries));  // 448 names
  CriticalErrorTrap trap;
  try {
    effects_init();
    FAIL() << "441 names were accepted";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Too many effects! MAX_EFFECT_BASES needs to be increased!");
    EXPECT_EQ(e.line, 1767);
  }
}

TEST_F(EffectMemTest, PlacementBySize) {
  sized("small", EFFECT_SMALL_SLOT);
  sized("large", EFFECT_SMALL_SLOT + 1);
  sized("huge", EFFECT_LARGE_SLOT + 1);
  sized("scene", EFFECT_LARGE_SLOT + 1);
  list({{"small.vfx", "spell", {"small"}},
        {"large.vfx", "spell", {"large"}},
        {"huge.vfx", "spell", {"huge"}},
        {"scene.vfx", "cutscene", {"scene"}}});
  ASSERT_TRUE(effect_base_get(effect_name_find("small")));
  EXPECT_EQ(effect_small_slot(0), base("small"));
  EXPECT_EQ(effect_base_at(base("small"))->image, effects_arena_base() + EFFECT_PRELOAD_REGION);
  ASSERT_TRUE(effect_base_get(effect_name_find("large")));
  EXPECT_EQ(effect_large_slot(0), base("large"));
  EXPECT_TRUE(effect_base_at(base("large"))->flags & EFB_LARGE_SLOT);
  EXPECT_EQ(effect_base_at(base("large"))->image,
            effects_arena_base() + EFFECT_PRELOAD_REGION + 4 * EFFECT_SMALL_SLOT);
  EXPECT_FALSE(effect_base_get(effect_name_find("huge")));
  EXPECT_FALSE(resident("huge"));
  // A cutscene image takes the shared region, evicting the slots.
  ASSERT_TRUE(effect_base_get(effect_name_find("scene")));
  EXPECT_EQ(effect_base_at(base("scene"))->image, effects_arena_base() + EFFECT_PRELOAD_REGION);
  EXPECT_EQ(effect_big_region_users(), 1);
  EXPECT_FALSE(resident("small"));
  EXPECT_FALSE(resident("large"));
}

TEST_F(EffectMemTest, EvictionByReferenceRoundRobin) {
  std::vector<EffectListEntry> entries;
  for (int i = 0; i < 6; i++) {
    const std::string n = "s" + std::to_string(i);
    sized(n, 1000);
    entries.push_back({n + ".vfx", "spell", {n}});
  }
  list(entries);
  for (int i = 0; i < 4; i++) ASSERT_TRUE(effect_base_get(effect_name_find(("s" + std::to_string(i)).c_str())));
  for (int i = 0; i < 4; i++) EXPECT_EQ(effect_small_slot(i), i);
  // s0 and s1 are in use by instances; the fifth takes the first slot after
  // the cursor whose occupant has no references: slot 2.
  effect_base_add_ref(base("s0"));
  effect_base_add_ref(base("s1"));
  ASSERT_TRUE(effect_base_get(effect_name_find("s4")));
  EXPECT_EQ(effect_small_slot(2), base("s4"));
  EXPECT_FALSE(resident("s2"));
  EXPECT_TRUE(resident("s0"));
  // With every small occupant referenced the sixth goes to a large slot.
  effect_base_add_ref(base("s3"));
  effect_base_add_ref(base("s4"));
  ASSERT_TRUE(effect_base_get(effect_name_find("s5")));
  EXPECT_EQ(effect_large_slot(0), base("s5"));
  for (int i = 0; i < 4; i++) EXPECT_NE(effect_small_slot(i), base("s5"));
}

TEST_F(EffectMemTest, CutsceneRegionRefusesSlotsAndGivesThemBack) {
  sized("spell1", 1000);
  sized("spell2", 1000);
  sized("scene", 2000);
  list({{"spell1.vfx", "spell", {"spell1"}}, {"spell2.vfx", "spell", {"spell2"}}, {"scene.vfx", "cutscene", {"scene"}}});
  ASSERT_TRUE(effect_base_get(effect_name_find("spell1")));
  ASSERT_TRUE(effect_base_get(effect_name_find("scene")));
  EXPECT_FALSE(resident("spell1"));
  EXPECT_FALSE(effect_base_get(effect_name_find("spell2")));  // refused while the region is taken
  EXPECT_FALSE(resident("spell2"));
  effect_base_unload(base("scene"));
  EXPECT_EQ(effect_big_region_users(), 0);
  EXPECT_TRUE(resident("spell1"));  // read back
  EXPECT_TRUE(effect_base_get(effect_name_find("spell2")));
  // The release also serves a region held when a level ends.
  ASSERT_TRUE(effect_base_get(effect_name_find("scene")));
  effects_release_cutscene_region();
  EXPECT_FALSE(resident("scene"));
  EXPECT_EQ(effect_big_region_users(), 0);
}

TEST_F(EffectMemTest, CompletionRelocatesAndOutsideArenaGoesToTheLevel) {
  EffectDefSpec d;
  d.name = "fire";
  d.length = 45;
  EffectEmitterSpec e;
  e.name = "flames";
  e.rate = effect_track_constant(64);
  d.emitters = {e};
  file("fire.vfx", effect_file_build({d}));
  list({{"fire.vfx", "level", {"fire"}}});
  alignas(16) static uint8_t level_bytes[65536];
  MemArena level;
  level.init(level_bytes, sizeof level_bytes, "level");
  effects_set_level_arena(&level);
  int index = -1;
  EffectDefRef ref = effect_base_find("FIRE", &index);
  ASSERT_TRUE(ref);
  EXPECT_EQ(index, 0);
  const EffectBase* b = effect_base_at(ref.base);
  EXPECT_TRUE(b->flags & EFB_RESIDENT);
  EXPECT_TRUE(b->flags & EFB_FRESH);
  EXPECT_FALSE(b->flags & EFB_REQUESTED);
  EXPECT_TRUE(b->flags & EFB_OUTSIDE);
  EXPECT_TRUE(effect_base_outside_arena(index));
  EXPECT_EQ(b->image, level_bytes);
  EXPECT_EQ(effect_def_length(ref.image, ref.def), 45);
  EXPECT_EQ(ref.image.u32(ref.def + EFFECT_DEF_POOL_CLASS), static_cast<uint32_t>(EFFECT_POOL_LEVEL));
  EXPECT_STREQ(ref.image.name_at(ref.def), "fire");
  EXPECT_EQ(effect_def_array(ref.image, ref.def, EFFECT_ARRAY_EMITTER).count, 1);
  EXPECT_EQ(effect_base_refs(ref.base), 0);
}

TEST_F(EffectMemTest, ResetsOfLevelAndArena) {
  sized("preload", 3000);
  file("preload.rfx", effect_file_sized("preload", 3000));
  sized("spellA", 1000);
  list({{"preload.rfx", "preload", {"glow"}}, {"spellA.vfx", "spell", {"spellA"}}});
  ASSERT_EQ(effects_load_preload(), 0);
  EXPECT_EQ(effect_base_at(effect_base_find_file("preload.rfx"))->image, effects_arena_base());
  ASSERT_TRUE(effect_base_get(effect_name_find("spellA")));
  effects_level_reset();
  EXPECT_TRUE(effect_base_at(effect_base_find_file("preload.rfx"))->resident());
  EXPECT_FALSE(resident("spellA"));
  EXPECT_EQ(effect_small_slot(0), -1);
  ASSERT_TRUE(effect_base_get(effect_name_find("spellA")));
  effects_reset_arena();
  EXPECT_FALSE(resident("spellA"));
  EXPECT_TRUE(effect_base_at(effect_base_find_file("preload.rfx"))->resident());
  EXPECT_EQ(effects_arena()->base, effects_arena_base() + 3008);  // just past the preload image, 64-aligned
}

TEST_F(EffectMemTest, BadFilesAreNotAvailable) {
  // A definition offset past the image, a file cut short, a wrong version.
  std::vector<uint8_t> bad_offset = effect_file_sized("bad1", 200);
  bad_offset[20 + 4] = 0xF0;
  file("bad1.vfx", bad_offset);
  std::vector<uint8_t> cut = effect_file_sized("bad2", 200);
  cut.resize(cut.size() - 10);
  file("bad2.vfx", cut);
  std::vector<uint8_t> version = effect_file_sized("bad3", 200);
  version[2] = 8;
  file("bad3.vfx", version);
  sized("good", 200);
  list({{"bad1.vfx", "spell", {"bad1"}},
        {"bad2.vfx", "spell", {"bad2"}},
        {"bad3.vfx", "spell", {"bad3"}},
        {"missing.vfx", "spell", {"missing"}},
        {"good.vfx", "spell", {"good"}}});
  for (const char* n : {"bad1", "bad2", "bad3", "missing"}) {
    const int b = effect_name_at(effect_name_find(n))->base;
    EXPECT_EQ(effect_base_page_in(b), -1) << n;
    EXPECT_FALSE(effect_base_at(b)->flags & (EFB_RESIDENT | EFB_REQUESTED)) << n;
    EXPECT_FALSE(effect_base_get(effect_name_find(n))) << n;
    EXPECT_EQ(preload_state(), PRELOAD_IDLE) << n;
  }
  EXPECT_TRUE(effect_base_get(effect_name_find("good")));
  const char* names[25] = {"good.vfx", "bad1.vfx", nullptr};
  EXPECT_EQ(effects_all_loaded(names), 0);
  EXPECT_TRUE(effect_base_is_loaded("unknown.vfx"));
}

// A file refused before its read starts says which file and why, and is not
// asked for again.
TEST_F(EffectMemTest, AnUnreadableHeaderOrAnotherVersionIsReported) {
  std::vector<uint8_t> version = effect_file_sized("old", 200);
  version[2] = 8;
  version[3] = 0;
  file("old.vfx", version);
  file("stub.vfx", {9, 0, 0});
  list({{"old.vfx", "spell", {"old"}}, {"stub.vfx", "spell", {"stub"}}});
  struct Case {
    const char* name;
    const char* why;
  } cases[] = {{"old", "old.vfx is version 8, not 9"}, {"stub", "stub.vfx: its header cannot be read"}};
  for (const Case& c : cases) {
    const int b = effect_name_at(effect_name_find(c.name))->base;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(effect_base_page_in(b), -1);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(c.why), std::string::npos) << out;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(effect_base_page_in(b), -1);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find(c.why), std::string::npos) << "said twice: " << out;
  }
}

TEST_F(EffectMemTest, OversizedPreloadIsFatal) {
  file("preload.rfx", effect_file_sized("preload", EFFECT_PRELOAD_REGION + 1));
  list({{"preload.rfx", "preload", {"glow"}}});
  CriticalErrorTrap trap;
  EXPECT_THROW(effects_load_preload(), CriticalErrorThrown);
}

TEST_F(EffectMemTest, CutsceneThatCannotBeReadGivesTheRegionBack) {
  sized("spell1", 1000);
  std::vector<uint8_t> cut = effect_file_sized("scene", 2000);
  cut.resize(cut.size() - 100);  // shorter than its header says
  file("scene.vfx", cut);
  list({{"spell1.vfx", "spell", {"spell1"}}, {"scene.vfx", "cutscene", {"scene"}}});
  ASSERT_TRUE(effect_base_get(effect_name_find("spell1")));
  EXPECT_FALSE(effect_base_get(effect_name_find("scene")));
  EXPECT_EQ(effect_big_region_users(), 0);
  EXPECT_TRUE(resident("spell1"));  // evicted for the cutscene, read back when it failed
  EXPECT_TRUE(effect_base_get(effect_name_find("spell1")));
}

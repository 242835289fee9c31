// The preload queue against a file the test steps by hand: entries are read
// one at a time in order, each turned into its asset when its read completes,
// and the first failure stops the queue.
#include "quarn/vfile/preload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "quarn/os/memory.h"

namespace {

// Files by name; a read completes after `polls_needed` polls.
class FakeFile : public PreloadFile {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<std::string> opened, closed;
  int polls_needed = 1;
  bool fail_read = false;
  bool reading = false;

  bool open(const char* name) override {
    if (!files.count(name)) return false;
    current_ = name;
    pos_ = 0;
    opened.push_back(name);
    return true;
  }
  int length() override { return static_cast<int>(files[current_].size()); }
  bool seek(int offset) override {
    pos_ = offset;
    return true;
  }
  bool start_read(void* dest, int n) override {
    dest_ = static_cast<uint8_t*>(dest);
    n_ = n;
    polls_ = 0;
    reading = true;
    return true;
  }
  int poll() override {
    if (fail_read) return -1;
    if (++polls_ < polls_needed) return 0;
    if (reading) {
      const auto& bytes = files[current_];
      std::memcpy(dest_, bytes.data() + pos_, static_cast<size_t>(n_));
      reading = false;
    }
    return 1;
  }
  void close() override {
    closed.push_back(current_);
    reading = false;
  }

 private:
  std::string current_;
  int pos_ = 0;
  uint8_t* dest_ = nullptr;
  int n_ = 0;
  int polls_ = 0;
};

// What the asset code was asked to build, and in which arena.
struct Built {
  std::vector<std::string> log;
  std::vector<std::string> loaded_effects;
  std::map<int, std::vector<uint8_t>> images;
  MemArena* arena_seen = nullptr;
};
Built* g_built = nullptr;

bool effect_loaded(const char* name) {
  for (const auto& n : g_built->loaded_effects)
    if (n == name) return true;
  return false;
}
int effect_create(const char* name) {
  g_built->log.push_back(std::string("create ") + name);
  g_built->arena_seen = mem_get_arena();
  return static_cast<int>(g_built->images.size());
}
void* effect_alloc_image(int base, int size) {
  g_built->images[base].assign(static_cast<size_t>(size), 0xEE);
  return g_built->images[base].data();
}
bool effect_complete(int base) {
  g_built->log.push_back("complete " + std::to_string(base));
  return true;
}
bool animation_read(const uint8_t* data, int size, void* target) {
  g_built->log.push_back("animation " + std::to_string(size) + " " + std::to_string(data[0]));
  *static_cast<int*>(target) = size;
  return true;
}
int g_mesh;
void* mesh_read(const uint8_t* data, int size) {
  g_built->log.push_back("mesh " + std::to_string(size));
  return data[0] == 0xFF ? nullptr : &g_mesh;
}

std::vector<uint8_t> bytes(int n, uint8_t first) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) v[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
  return v;
}

struct PreloadTest : ::testing::Test {
  FakeFile file;
  Built built;
  void SetUp() override {
    g_built = &built;
    preload_set_file(&file);
    preload_set_builders({effect_loaded, effect_create, effect_alloc_image, effect_complete, animation_read,
                          mesh_read});
    preload_reset();
    preload_init();
  }
  void TearDown() override {
    preload_reset();
    preload_set_file(nullptr);
    preload_set_builders({});
    mem_set_arena(nullptr);
  }
  // Ticks until the queue stops loading; returns the ticks taken.
  int run() {
    int ticks = 0;
    while (preload_tick() == PRELOAD_LOADING && ticks < 1000) ticks++;
    return ticks;
  }
};
}  // namespace

TEST_F(PreloadTest, KindsByExtensionWithoutCase) {
  struct {
    const char* name;
    int kind;
  } cases[] = {{"a.peg", PRELOAD_KIND_PEG}, {"FIRE.RFX", PRELOAD_KIND_RFX}, {"walk.Mvf", PRELOAD_KIND_MVF},
               {"sword.vim", PRELOAD_KIND_VIM}, {"sword.vim.bak", PRELOAD_KIND_UNKNOWN},
               {"noext", PRELOAD_KIND_UNKNOWN}, {nullptr, PRELOAD_KIND_UNKNOWN}};
  for (const auto& c : cases) EXPECT_EQ(preload_kind(c.name), c.kind) << (c.name ? c.name : "null");
}

TEST_F(PreloadTest, EntriesAreReadInOrderAndBuiltOnCompletion) {
  file.files["fire.rfx"] = bytes(100, 0);
  file.files["walk.mvf"] = bytes(300, 7);
  file.files["sword.vim"] = bytes(64, 1);
  file.polls_needed = 3;
  int animation_size = 0;
  void* mesh = nullptr;
  MemArena* arena = reinterpret_cast<MemArena*>(0x1000);  // only compared, never used
  ASSERT_TRUE(preload_add("fire.rfx", arena, nullptr));
  ASSERT_TRUE(preload_add("walk.mvf", nullptr, &animation_size));
  ASSERT_TRUE(preload_add("splash.peg", nullptr, nullptr));
  ASSERT_TRUE(preload_add("sword.vim", nullptr, &mesh));
  EXPECT_TRUE(preload_contains("WALK.MVF"));
  EXPECT_FALSE(preload_contains("walk"));
  ASSERT_TRUE(preload_start());
  EXPECT_EQ(preload_state(), PRELOAD_LOADING);
  // Only the first file is open until its read completes.
  EXPECT_EQ(file.opened, (std::vector<std::string>{"fire.rfx"}));
  EXPECT_EQ(preload_tick(), PRELOAD_LOADING);
  EXPECT_TRUE(built.log == std::vector<std::string>{"create fire.rfx"});
  run();
  EXPECT_EQ(preload_state(), PRELOAD_DONE);
  EXPECT_EQ(built.log, (std::vector<std::string>{"create fire.rfx", "complete 0", "animation 300 7", "mesh 64"}));
  EXPECT_EQ(built.arena_seen, arena);  // the entry's arena was current
  EXPECT_EQ(mem_get_arena(), nullptr);  // and the old one restored
  // The effect image holds the file from byte 20 on; the image has room for
  // the whole file.
  const auto& image = built.images[0];
  ASSERT_EQ(image.size(), 100u);
  EXPECT_EQ(image[0], 20);
  EXPECT_EQ(image[79], 99);
  EXPECT_EQ(image[80], 0xEE);
  EXPECT_EQ(animation_size, 300);
  EXPECT_EQ(mesh, &g_mesh);
  EXPECT_EQ(file.closed, (std::vector<std::string>{"fire.rfx", "walk.mvf", "sword.vim"}));
  // A done queue takes nothing more until it is reset.
  EXPECT_FALSE(preload_add("more.peg", nullptr, nullptr));
  EXPECT_FALSE(preload_start());
  preload_finish_all();
  EXPECT_EQ(preload_state(), PRELOAD_IDLE);
  EXPECT_TRUE(preload_add("more.peg", nullptr, nullptr));
}

TEST_F(PreloadTest, EffectsAlreadyLoadedAreSkipped) {
  built.loaded_effects = {"a.rfx", "b.rfx"};
  ASSERT_TRUE(preload_add("a.rfx", nullptr, nullptr));
  ASSERT_TRUE(preload_add("b.rfx", nullptr, nullptr));
  ASSERT_TRUE(preload_start());
  EXPECT_EQ(preload_state(), PRELOAD_DONE);  // at once, nothing opened
  EXPECT_TRUE(file.opened.empty());
  // An empty queue is done at once too.
  preload_reset();
  ASSERT_TRUE(preload_start());
  EXPECT_EQ(preload_state(), PRELOAD_DONE);
}

TEST_F(PreloadTest, AFailureStopsTheWholeQueue) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    bool fail_read;
    bool start_ok;
    std::vector<std::string> built_log;
  } cases[] = {
      {"read error", {"walk.mvf", "sword.vim"}, true, true, {}},
      {"missing second file", {"walk.mvf", "gone.vim"}, false, true, {"animation 300 7"}},
      {"mesh refused", {"bad.vim", "walk.mvf"}, false, true, {"mesh 64"}},
      {"unknown kind first", {"notes.txt", "walk.mvf"}, false, false, {}},
      {"file too large", {"huge.mvf"}, false, false, {}},
      {"effect file shorter than its header", {"tiny.rfx"}, false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    preload_reset();
    built.log.clear();
    file.files.clear();
    file.files["walk.mvf"] = bytes(300, 7);
    file.files["sword.vim"] = bytes(64, 1);
    file.files["bad.vim"] = bytes(64, 0xFF);
    file.files["notes.txt"] = bytes(10, 0);
    file.files["tiny.rfx"] = bytes(19, 0);
    file.files["huge.mvf"] = bytes(PRELOAD_BUFFER_SIZE + 1, 0);
    file.fail_read = c.fail_read;
    for (const auto& n : c.names) ASSERT_TRUE(preload_add(n.c_str(), nullptr, &g_mesh));
    EXPECT_EQ(preload_start(), c.start_ok);
    if (!c.start_ok) {
      EXPECT_EQ(preload_state(), PRELOAD_IDLE);  // a start that fails leaves it idle
      continue;
    }
    run();
    EXPECT_EQ(preload_state(), PRELOAD_FAILED);
    EXPECT_EQ(built.log, c.built_log);
    EXPECT_EQ(preload_tick(), PRELOAD_FAILED);  // nothing retries
    EXPECT_FALSE(preload_add("more.peg", nullptr, nullptr));
  }
  file.fail_read = false;
  // A file of exactly the buffer's size still fits.
  preload_reset();
  file.files["big.mvf"] = bytes(PRELOAD_BUFFER_SIZE, 3);
  int size = 0;
  ASSERT_TRUE(preload_add("big.mvf", nullptr, &size));
  ASSERT_TRUE(preload_start());
  run();
  EXPECT_EQ(preload_state(), PRELOAD_DONE);
  EXPECT_EQ(size, PRELOAD_BUFFER_SIZE);
}

TEST_F(PreloadTest, Limits) {
  for (int i = 0; i < MAX_PRELOAD_ENTRIES; i++)
    ASSERT_TRUE(preload_add(("fx" + std::to_string(i) + ".peg").c_str(), nullptr, nullptr));
  EXPECT_FALSE(preload_add("one-too-many.peg", nullptr, nullptr));  // the 101st
  EXPECT_EQ(preload_count(), MAX_PRELOAD_ENTRIES);
  preload_reset();
  EXPECT_FALSE(preload_add(nullptr, nullptr, nullptr));
  const std::string longest(PRELOAD_NAME_SIZE - 1 - 4, 'a');
  EXPECT_TRUE(preload_add((longest + ".peg").c_str(), nullptr, nullptr));    // 39 characters
  EXPECT_FALSE(preload_add((longest + "b.peg").c_str(), nullptr, nullptr));  // 40: refused, not cut
  EXPECT_FALSE(preload_contains((longest + "b.pe").c_str()));
  EXPECT_EQ(preload_count(), 1);
}

TEST_F(PreloadTest, WithoutAssetBuildersEntriesOfThatKindFail) {
  preload_set_builders({});
  file.files["walk.mvf"] = bytes(30, 0);
  int target = 0;
  ASSERT_TRUE(preload_add("walk.mvf", nullptr, &target));
  ASSERT_TRUE(preload_start());
  run();
  EXPECT_EQ(preload_state(), PRELOAD_FAILED);
  preload_reset();
  file.files["fire.rfx"] = bytes(30, 0);
  ASSERT_TRUE(preload_add("fire.rfx", nullptr, nullptr));
  EXPECT_FALSE(preload_start());
}

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Orrimund/fs_paths.h"
#include "quarn/vfile/vfile.h"

namespace {
uint32_t g_sum = 0;
bool sum_animation(const uint8_t* data, int size, void* target) {
  uint32_t s = 0;
  for (int i = 0; i < size; i++) s = s * 31 + data[i];
  g_sum = s;
  *static_cast<int*>(target) = size;
  return true;
}
}  // namespace

TEST(PreloadFileLayer, ReadsThroughTheFileLayersBackgroundRead) {
  vfile_shutdown();
  char t[] = "/tmp/preload_testXXXXXX";
  ASSERT_NE(mkdtemp(t), nullptr);
  const std::filesystem::path root = t;
  std::filesystem::create_directories(root / "data" / "ca");
  // Large enough that the file layer reads it on its background thread.
  const auto content = bytes(200000, 5);
  {
    std::ofstream out(root / "data" / "ca" / "Walk.MVF", std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  }
  vfile_set_root(t, false);
  fs_register_path_types();
  preload_set_file(nullptr);
  preload_set_builders({nullptr, nullptr, nullptr, nullptr, sum_animation, nullptr});
  preload_reset();
  int size = 0;
  ASSERT_TRUE(preload_add("walk.mvf", nullptr, &size));
  ASSERT_TRUE(preload_start());
  preload_finish_all();
  uint32_t expected = 0;
  for (uint8_t b : content) expected = expected * 31 + b;
  EXPECT_EQ(size, 200000);
  EXPECT_EQ(g_sum, expected);
  preload_set_builders({});
  vfile_shutdown();
  std::filesystem::remove_all(root);
}

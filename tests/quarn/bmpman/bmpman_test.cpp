// The bitmap manager over files made by the writers in tools/: lazy loading,
// locking, mip files, animations, marks, low resolution, replacing files,
// failures and the loading-progress callback.
#include "quarn/bmpman/bmpman.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/platform/messages.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/image_writers.h"

namespace {

std::vector<int> g_released;
std::vector<int> g_dirty;
void record_release(int h) { g_released.push_back(h); }
void record_dirty(int h) { g_dirty.push_back(h); }

class Bitmaps : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    Load_mipmaps = true;
    frametime_total = 0;
    g_released.clear();
    g_dirty.clear();
    bm_init();
    bm_set_texture_hooks(record_release, record_dirty);
  }
  void TearDown() override {
    bm_set_low_res(false);  // the switch outlives bm_close
    bm_close();
    bm_set_texture_hooks(nullptr, nullptr);
    Load_mipmaps = true;
    TempRootTest::TearDown();
  }

  // A Targa of the given size whose pixels come from test_pattern, with
  // `levels` files in all (the top one and -mip1 ...).
  std::vector<std::vector<uint8_t>> write_tga(const std::string& base, int w, int h, int bpp, int levels = 1,
                                              const TgaWriterOptions& o = {}) {
    std::vector<std::vector<uint8_t>> out;
    auto level = test_pattern(w, h, bpp / 8);
    EXPECT_TRUE(tga_write_with_mips(root(), base, level.data(), w, h, bpp, levels, o));
    for (int i = 0; i < levels; i++) {
      out.push_back(level);
      level = image_half_size(level.data(), w, h, bpp / 8);
      w /= 2;
      h /= 2;
    }
    return out;
  }

  // A 16-bit VBM: `frames` frames, each a pattern with its frame number mixed in.
  std::vector<uint8_t> write_vbm(const std::string& name, int w, int h, int frames, int fps, int mips_below,
                                 int pixel_type = 2) {
    std::vector<uint8_t> data;
    for (int f = 0; f < frames; f++) {
      auto frame = test_pattern(w, h, 2);
      for (auto& b : frame) b = static_cast<uint8_t>(b + f * 3);
      const auto with_mips = vbm_frame_with_mips(frame.data(), w, h, mips_below);
      data.insert(data.end(), with_mips.begin(), with_mips.end());
    }
    VbmWriterHeader vh;
    vh.width = w;
    vh.height = h;
    vh.pixel_type = pixel_type;
    vh.fps = fps;
    vh.frames = frames;
    vh.mips_below = mips_below;
    EXPECT_TRUE(vbm_write_file(root() + name, vh, data.data(), data.size()));
    return data;
  }

  static std::vector<uint8_t> concat(const std::vector<std::vector<uint8_t>>& levels, size_t first = 0) {
    std::vector<uint8_t> out;
    for (size_t i = first; i < levels.size(); i++) out.insert(out.end(), levels[i].begin(), levels[i].end());
    return out;
  }
};

TEST(BitmapNames, HashTypesAndSizes) {
  EXPECT_EQ(bm_hash_name(nullptr), -1);
  EXPECT_EQ(bm_hash_name(""), 0);
  EXPECT_EQ(bm_hash_name("ABC"), bm_hash_name("abc"));
  EXPECT_NE(bm_hash_name("abc"), bm_hash_name("acb"));
  // This name's raw hash is INT_MIN, whose absolute value is not a number.
  EXPECT_GE(bm_hash_name("\x07\x7f\x16\x1a\x06\x01.tga"), 0);

  struct Ext {
    const char* name;
    int type;
  };
  for (const Ext e : {Ext{"a.pcx", 1}, Ext{"A.TGA", 2}, Ext{"x.y.Vbm", 4}, Ext{"m.m2v", 5}, Ext{"noext", 0},
                      Ext{"a.bmp", 0}, Ext{"tga", 0}}) {
    EXPECT_EQ(bm_get_type_from_ext(e.name), e.type) << e.name;
  }
  EXPECT_EQ(bm_mip_pixel_count(64, 32, 3), 64 * 32 + 32 * 16 + 16 * 8);
  EXPECT_EQ(bm_mip_pixel_count(5, 3, 2), 15 + 2);
  EXPECT_EQ(bm_mip_pixel_count(64, 32, 0), 0);
  const int bpp[] = {1, 1, 1, 2, 2, 2, 3, 4, 2, 1};
  for (int f = 0; f < 10; f++) EXPECT_EQ(bm_bytes_per_pixel(f), bpp[f]) << "format " << f;
}

TEST_F(Bitmaps, LoadReadsOnlyTheHeaderAndLockReadsThePixels) {
  struct Case {
    const char* name;
    int bpp;
    int format;
  };
  for (const Case c : {Case{"pal.tga", 8, 1}, Case{"c16.tga", 16, 5}, Case{"c24.tga", 24, 6}, Case{"c32.tga", 32, 7}}) {
    SCOPED_TRACE(c.name);
    TgaWriterOptions o;
    std::vector<uint8_t> map;
    if (c.bpp == 8) {
      for (int i = 0; i < 256; i++) map.insert(map.end(), {uint8_t(i), 7, uint8_t(255 - i)});
      o.colour_map = map;
    }
    const std::string base = std::string(c.name).substr(0, std::strlen(c.name) - 4);
    const auto levels = write_tga(base, 12, 10, c.bpp, 1, o);
    const int h = bm_load(c.name);
    ASSERT_GE(h, 0);
    const BitmapEntry* e = bm_get_entry(h);
    EXPECT_EQ(e->type, BM_TYPE_TGA);
    EXPECT_EQ(e->format, c.format);
    EXPECT_EQ(e->data, nullptr);
    int w = 0, ht = 0;
    bm_get_size(h, &w, &ht);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(ht, 10);
    EXPECT_EQ(bm_has_alpha(h), c.format == 5 || c.format == 7);

    uint8_t* data = nullptr;
    uint8_t* palette = nullptr;
    ASSERT_EQ(bm_lock(h, &data, &palette), c.format);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(data, data + levels[0].size()), levels[0]);
    if (c.bpp == 8) {
      ASSERT_NE(palette, nullptr);
      EXPECT_EQ(std::vector<uint8_t>(palette, palette + 768), map);
    }
    bm_unlock(h);
    EXPECT_EQ(e->data, nullptr) << "unlocking a file's bitmap frees its pixels";
    EXPECT_EQ(bm_load(c.name), h);
  }
}

TEST_F(Bitmaps, PcxAndVbmStillsLock) {
  const auto pixels = test_pattern(20, 6, 1);
  std::vector<uint8_t> palette(768);
  for (int i = 0; i < 768; i++) palette[i] = static_cast<uint8_t>(i / 3);
  ASSERT_TRUE(pcx_write_file(root() + "pic.pcx", pixels.data(), 20, 6, palette.data(), 21));
  const int p = bm_load("pic.pcx");
  EXPECT_EQ(bm_get_format(p), BM_FORMAT_PAL8);
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  ASSERT_EQ(bm_lock(p, &data, &pal), BM_FORMAT_PAL8);
  EXPECT_EQ(std::vector<uint8_t>(data, data + pixels.size()), pixels);
  EXPECT_EQ(std::vector<uint8_t>(pal, pal + 768), palette);
  bm_unlock(p);

  struct Vbm {
    int pixel_type;
    int format;
  };
  for (const Vbm v : {Vbm{0, 5}, Vbm{1, 4}, Vbm{2, 3}, Vbm{7, 3}}) {
    const std::string name = "still" + std::to_string(v.pixel_type) + ".vbm";
    const auto bytes = write_vbm(name, 16, 8, 1, 0, 2, v.pixel_type);
    const int h = bm_load(name.c_str());
    ASSERT_GE(h, 0);
    const BitmapEntry* e = bm_get_entry(h);
    EXPECT_EQ(e->kind, BM_KIND_STILL);
    EXPECT_EQ(e->mip_levels, 3);
    ASSERT_EQ(bm_lock(h, &data, &pal), v.format);
    EXPECT_EQ(std::vector<uint8_t>(data, data + bytes.size()), bytes);
    bm_unlock(h);
  }
}

TEST_F(Bitmaps, FindIgnoresCaseAndUserBitmapsKeepTheirPixels) {
  write_tga("Stone", 8, 8, 24);
  const int h = bm_load("Stone.tga");
  EXPECT_EQ(bm_find("stone.TGA"), h);
  EXPECT_EQ(bm_find("STONE.tga"), h);
  EXPECT_EQ(bm_load("STONE.TGA"), h);
  EXPECT_EQ(bm_find("other.tga"), -1);
  EXPECT_EQ(bm_find(nullptr), -1);

  std::vector<uint8_t> pixels(4 * 4 * 2, 0x55);
  const int u = bm_create(BM_FORMAT_565, 4, 4, pixels.data());
  EXPECT_EQ(bm_find("USERBMAP"), -1) << "made bitmaps are never entered by name";
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  EXPECT_EQ(bm_lock(u, &data, &pal), BM_FORMAT_565);
  EXPECT_EQ(data, pixels.data());
  bm_unlock(u);
  EXPECT_EQ(bm_get_entry(u)->data, pixels.data());
  EXPECT_FALSE(bm_is_placeholder(u));
  EXPECT_EQ(bm_get_memory_size(u, 4), 64);
  EXPECT_EQ(bm_get_memory_size(-1, 4), -1);
}

TEST_F(Bitmaps, NameWhoseHashIsTheMostNegativeIntIsEnteredAndFound) {
  const char* name = "\x07\x7f\x16\x1a\x06\x01.tga";
  const int h = bm_load(name);  // no such file: a placeholder under the name
  ASSERT_GE(h, 0);
  EXPECT_EQ(bm_find(name), h);
  EXPECT_GE(bm_get_entry(h)->name_slot, 0);
}

TEST_F(Bitmaps, VbmStandsInForTheTargaOfTheSameName) {
  write_tga("wall", 16, 16, 24);
  write_vbm("wall.vbm", 16, 16, 1, 0, 0);
  const int h = bm_load("wall.tga");
  EXPECT_EQ(bm_get_entry(h)->type, BM_TYPE_VBM);
  EXPECT_STREQ(bm_get_filename(h), "wall.vbm");
  EXPECT_EQ(bm_load("wall.vbm"), h);

  write_vbm("door.vbm", 8, 8, 1, 0, 0);
  write_tga("door", 8, 8, 24);
  const int d = bm_load("door.vbm");
  EXPECT_EQ(bm_load("door.tga"), d) << "a loaded VBM answers for its Targa name";
}

TEST_F(Bitmaps, MipFilesAreCountedWhileTheyMatch) {
  struct Case {
    const char* label;
    int levels_written;
    int break_level;   // a level written with a wrong size (0 for none)
    int wrong_bpp;     // a level written with other bits per pixel (0 for none)
    bool load_mipmaps;
    int expect_levels;
  };
  const Case cases[] = {
      {"three levels", 3, 0, 0, true, 3},
      {"mip2 of the wrong size", 3, 2, 0, true, 2},
      {"mip1 with other bits per pixel", 3, 0, 1, true, 1},
      {"mipmaps switched off", 3, 0, 0, false, 1},
      {"down to 2 by 1", 6, 0, 0, true, 6},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string base = "m" + std::to_string(n++);
    const auto levels = write_tga(base, 64, 32, 24, c.levels_written);
    if (c.break_level) {
      const auto wrong = test_pattern(10, 10, 3);
      tga_write_file(root() + base + "-mip" + std::to_string(c.break_level) + ".tga", wrong.data(), 10, 10, 24);
    }
    if (c.wrong_bpp) {
      const auto other = test_pattern(32, 16, 4);
      tga_write_file(root() + base + "-mip" + std::to_string(c.wrong_bpp) + ".tga", other.data(), 32, 16, 32);
    }
    Load_mipmaps = c.load_mipmaps;
    const int h = bm_load((base + ".tga").c_str());
    int w = 0, ht = 0, count = 0, mips = 0;
    bm_get_info(h, &w, &ht, &count, &mips);
    EXPECT_EQ(mips, c.expect_levels);
    EXPECT_EQ(count, bm_mip_pixel_count(64, 32, c.expect_levels));
    uint8_t* data = nullptr;
    uint8_t* pal = nullptr;
    ASSERT_EQ(bm_lock(h, &data, &pal), BM_FORMAT_BGR24);
    const std::vector<std::vector<uint8_t>> used(levels.begin(), levels.begin() + c.expect_levels);
    const auto want = concat(used);
    EXPECT_EQ(std::vector<uint8_t>(data, data + want.size()), want) << "the levels follow each other";
    bm_unlock(h);
  }
}

TEST_F(Bitmaps, OverlongMipNameStopsTheSearch) {
  const std::string base = "a_rather_long_texture_name_for_mips";  // + "-mip1.tga" is over 40
  write_tga(base, 16, 16, 24, 2);
  ::testing::internal::CaptureStdout();
  const int h = bm_load((base + ".tga").c_str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Mipmap filename exceeds maximum length: '" + base + "-mip1.tga'"), std::string::npos);
  EXPECT_EQ(bm_get_entry(h)->mip_levels, 1);
}

TEST_F(Bitmaps, LowResolutionDropsTheTopLevel) {
  const auto three = write_tga("hi", 64, 32, 24, 3);
  write_tga("flat", 64, 32, 24, 1);
  const int before = bm_load("hi.tga");

  bm_set_low_res(true);
  const int flat = bm_load("flat.tga");
  const int after = bm_load("hi.tga");
  EXPECT_EQ(after, before);
  struct Case {
    int handle;
    int w, h, levels, low;
  };
  for (const Case c : {Case{before, 32, 16, 2, 1}, Case{flat, 64, 32, 1, 0}}) {
    int w = 0, h = 0, count = 0, mips = 0;
    bm_get_info(c.handle, &w, &h, &count, &mips);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(mips, c.levels);
    EXPECT_EQ(count, bm_mip_pixel_count(c.w, c.h, c.levels));
    EXPECT_EQ(bm_get_entry(c.handle)->low_res, c.low);
  }
  EXPECT_EQ(g_dirty, std::vector<int>{before}) << "only the bitmap that changed is uploaded again";

  // The pixels come from the -mip1 and -mip2 files.
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  ASSERT_EQ(bm_lock(before, &data, &pal), BM_FORMAT_BGR24);
  const auto want = concat(three, 1);
  EXPECT_EQ(std::vector<uint8_t>(data, data + want.size()), want);
  bm_unlock(before);

  // A bitmap loaded while low is already low; a VBM skips its top level.
  write_tga("late", 32, 32, 24, 2);
  const int late = bm_load("late.tga");
  EXPECT_EQ(bm_get_entry(late)->width, 16);
  const auto vbm = write_vbm("still.vbm", 16, 8, 1, 0, 2);
  const int still = bm_load("still.vbm");
  EXPECT_EQ(bm_get_entry(still)->width, 8);
  EXPECT_EQ(bm_get_entry(still)->mip_levels, 2);
  ASSERT_EQ(bm_lock(still, &data, &pal), BM_FORMAT_565);
  EXPECT_EQ(std::vector<uint8_t>(data, data + (8 * 4 + 4 * 2) * 2),
            std::vector<uint8_t>(vbm.begin() + 16 * 8 * 2, vbm.end()));
  bm_unlock(still);

  bm_set_low_res(false);
  for (int h : {before, late}) {
    EXPECT_EQ(bm_get_entry(h)->low_res, 0);
    EXPECT_EQ(bm_get_entry(h)->mip_levels, h == before ? 3 : 2);
  }
  EXPECT_EQ(bm_get_entry(before)->width, 64);
  EXPECT_EQ(bm_get_entry(late)->width, 32);
  ASSERT_EQ(bm_lock(before, &data, &pal), BM_FORMAT_BGR24);
  EXPECT_EQ(std::vector<uint8_t>(data, data + three[0].size()), three[0]);
  bm_unlock(before);
}

TEST_F(Bitmaps, AnimationFramesFollowTheClock) {
  const auto bytes = write_vbm("fire.vbm", 8, 4, 10, 20, 0);
  int frames = 0, fps = 0;
  const int head = bm_load_animation("fire.vbm", &frames, &fps);
  ASSERT_GE(head, 0);
  EXPECT_EQ(frames, 10);
  EXPECT_EQ(fps, 20);
  EXPECT_EQ(bm_get_entry(head)->kind, BM_KIND_ANIM);
  for (int i = 1; i <= 10; i++) {
    EXPECT_EQ(bm_get_entry(head + i)->kind, BM_KIND_FRAME);
    EXPECT_EQ(bm_get_entry(head + i)->frames, i);
    EXPECT_STREQ(bm_get_filename(head + i), "fire.vbm");
  }
  float seconds = 0;
  EXPECT_EQ(bm_get_frame_info(head, &seconds), 10);
  EXPECT_FLOAT_EQ(seconds, 0.5f);

  struct Tick {
    int32_t clock;
    int frame;
  };
  for (const Tick t : {Tick{0, 1}, Tick{49, 1}, Tick{50, 2}, Tick{499, 10}, Tick{500, 1}, Tick{1234, 5}}) {
    frametime_total = t.clock;
    EXPECT_EQ(bm_get_current_frame(head), head + t.frame) << "clock " << t.clock;
  }
  frametime_total = -1;  // read as an unsigned count: 4294967295 ms
  EXPECT_EQ(bm_get_current_frame(head), head + 1 + static_cast<int>((4294967295ull * 20 / 1000) % 10));

  // Locking frames shares one block; it goes when every frame is unlocked.
  const size_t frame_bytes = 8 * 4 * 2;
  uint8_t* data[10];
  for (int i = 0; i < 10; i++) {
    uint8_t* pal = nullptr;
    ASSERT_EQ(bm_lock(head + 1 + i, &data[i], &pal), BM_FORMAT_565);
    EXPECT_EQ(std::vector<uint8_t>(data[i], data[i] + frame_bytes),
              std::vector<uint8_t>(bytes.begin() + i * frame_bytes, bytes.begin() + (i + 1) * frame_bytes));
  }
  EXPECT_EQ(bm_get_entry(head)->lock_count, 10);
  for (int i = 0; i < 9; i++) bm_unlock(head + 1 + i);
  EXPECT_NE(bm_get_entry(head)->data, nullptr);
  bm_unlock(head + 10);
  EXPECT_EQ(bm_get_entry(head)->data, nullptr);
  for (int i = 1; i <= 10; i++) EXPECT_EQ(bm_get_entry(head + i)->data, nullptr);
  bm_unlock(head + 10);  // one unlock too many does nothing
}

TEST_F(Bitmaps, AnimationFramesWithoutTheirMipLevels) {
  // Each frame in the file carries its mip levels; with Load_mipmaps off the
  // frames must still come from their own place in the file.
  const auto bytes = write_vbm("mips.vbm", 8, 8, 3, 10, 1);
  const size_t frame_in_file = (8 * 8 + 4 * 4) * 2, top = 8 * 8 * 2;
  for (bool mips : {true, false}) {
    SCOPED_TRACE(mips ? "with mip levels" : "top level only");
    Load_mipmaps = mips;
    const int head = bm_load("mips.vbm");
    EXPECT_EQ(bm_get_entry(head)->mip_levels, mips ? 2 : 1);
    for (int f = 0; f < 3; f++) {
      uint8_t* data = nullptr;
      uint8_t* pal = nullptr;
      ASSERT_EQ(bm_lock(head + 1 + f, &data, &pal), BM_FORMAT_565);
      const size_t n = mips ? frame_in_file : top;
      EXPECT_EQ(std::vector<uint8_t>(data, data + n),
                std::vector<uint8_t>(bytes.begin() + f * frame_in_file, bytes.begin() + f * frame_in_file + n));
    }
    bm_release(head);
  }
}

TEST_F(Bitmaps, ReleasingAnAnimationReleasesItsFrames) {
  write_vbm("smoke.vbm", 4, 4, 3, 10, 0);
  const int head = bm_load("smoke.vbm");
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  ASSERT_EQ(bm_lock(head + 2, &data, &pal), BM_FORMAT_565);
  const int used = bm_count_used();
  bm_release(head);
  EXPECT_EQ(bm_count_used(), used - 4);
  for (int i = 0; i <= 3; i++) EXPECT_EQ(bm_get_entry(head + i)->type, BM_TYPE_NONE) << "entry " << i;
  std::vector<int> want = {head + 1, head + 2, head + 3, head};
  EXPECT_EQ(g_released, want);
  EXPECT_EQ(bm_find("smoke.vbm"), -1);
  // The freed run is taken again by the next animation.
  EXPECT_EQ(bm_load("smoke.vbm"), head);
}

TEST_F(Bitmaps, ReleasingAHeadLeavesAnotherAnimationInItsOldFramesAlone) {
  // Frames 2..4 of the first animation are released one by one and the
  // second animation takes their entries; releasing the first head must not
  // take the second animation's frames with it.
  write_vbm("first.vbm", 4, 4, 4, 10, 0);
  write_vbm("second.vbm", 4, 4, 2, 10, 0);
  const int first = bm_load("first.vbm");
  for (int i = 2; i <= 4; i++) bm_release(first + i);
  const int second = bm_load("second.vbm");
  ASSERT_EQ(second, first + 2) << "the second animation reuses the freed run";
  bm_release(first);
  EXPECT_EQ(bm_get_entry(first)->type, BM_TYPE_NONE);
  EXPECT_EQ(bm_get_entry(first + 1)->type, BM_TYPE_NONE);
  for (int i = 0; i <= 2; i++) EXPECT_EQ(bm_get_entry(second + i)->type, BM_TYPE_VBM) << "entry " << i;
  EXPECT_EQ(bm_find("second.vbm"), second);
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  EXPECT_EQ(bm_lock(second + 2, &data, &pal), BM_FORMAT_565);
  EXPECT_NE(data, nullptr);
  bm_release(second);
}

TEST_F(Bitmaps, LockingAReleasedBitmapOrAHandleOutsideTheTableGivesNothing) {
  // The renderers may still hold a released bitmap as their current one.
  write_tga("gone", 8, 8, 24);
  const int h = bm_load("gone.tga");
  bm_release(h);
  for (int handle : {h, -1, MAX_BITMAPS, INT_MAX}) {
    uint8_t* data = reinterpret_cast<uint8_t*>(1);
    uint8_t* pal = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(bm_lock(handle, &data, &pal), 0) << handle;
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(pal, nullptr);
    bm_unlock(handle);
  }
}

TEST_F(Bitmaps, MarkReleasesWhatCameAfterIt) {
  write_tga("kept", 8, 8, 24);
  write_tga("level", 8, 8, 24);
  write_tga("swap", 8, 8, 24);
  write_vbm("anim.vbm", 4, 4, 4, 8, 0);
  const int kept = bm_load("kept.tga");
  const int renamed = bm_load("level.tga");
  const int used_before = bm_count_used();

  bm_set_mark();
  const int level = bm_load("swap.tga");
  const int anim = bm_load("anim.vbm");
  ASSERT_EQ(bm_replace_file(renamed, "swap.tga"), 0);  // its new name is stored after the mark
  bm_release_from_mark();

  EXPECT_EQ(bm_count_used(), used_before);
  EXPECT_EQ(bm_get_entry(level)->type, BM_TYPE_NONE);
  EXPECT_EQ(bm_get_entry(anim)->type, BM_TYPE_NONE);
  EXPECT_EQ(bm_find("kept.tga"), kept);
  EXPECT_STREQ(bm_get_filename(renamed), "swap.tga");
  EXPECT_EQ(bm_find("swap.tga"), renamed);
  EXPECT_EQ(bm_find("level.tga"), -1);
  EXPECT_EQ(bm_find("anim.vbm"), -1);

  // A second mark and release leave the survivors alone.
  bm_set_mark();
  bm_release_from_mark();
  EXPECT_EQ(bm_find("kept.tga"), kept);
  EXPECT_EQ(bm_find("swap.tga"), renamed);

  CriticalErrorTrap trap;
  try {
    bm_release_from_mark();
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "bm_release_from_mark without bm_set_mark not allowed!");
  }
  bm_set_mark();
  try {
    bm_set_mark();
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "bm_set_mark within bm_set_mark not allowed!");
  }
  bm_release_from_mark();
}

TEST_F(Bitmaps, ReplaceFileNeedsTheSameShape) {
  write_tga("a", 32, 32, 24, 2);
  write_tga("b", 32, 32, 32, 2);  // other format, same shape
  write_tga("small", 16, 16, 24, 2);
  write_tga("odd", 24, 24, 24, 1);
  write_tga("flat", 32, 32, 24, 1);
  write_vbm("anim.vbm", 32, 32, 2, 5, 0);
  const int h = bm_load("a.tga");
  const int anim = bm_load("anim.vbm");
  struct Case {
    int handle;
    const char* name;
    int result;
  };
  for (const Case c : {Case{h, "small.tga", -1}, Case{h, "odd.tga", -1}, Case{h, "missing.tga", -1},
                       Case{h, "flat.tga", -1}, Case{anim, "a.tga", -1}, Case{h, "b.tga", 0}}) {
    SCOPED_TRACE(c.name);
    g_dirty.clear();
    const int before_levels = bm_get_entry(c.handle)->mip_levels;
    EXPECT_EQ(bm_replace_file(c.handle, c.name), c.result);
    if (c.result == 0) {
      EXPECT_STREQ(bm_get_filename(c.handle), c.name);
      EXPECT_EQ(bm_find(c.name), c.handle);
      EXPECT_EQ(g_dirty, std::vector<int>{c.handle});
      EXPECT_EQ(bm_get_entry(c.handle)->mip_levels, before_levels);
    }
  }
  // Only the shape has to agree: the 32-bit file replaced the 24-bit one.
  EXPECT_EQ(bm_get_format(h), BM_FORMAT_BGRA32);
  EXPECT_EQ(bm_find("a.tga"), -1);
}

TEST_F(Bitmaps, ReplacedFileTakesTheEntrysLevelsAndResolution) {
  write_tga("two", 32, 32, 24, 2);
  const auto three = write_tga("three", 32, 32, 24, 3);
  write_tga("one", 32, 32, 24, 1);
  const auto small = write_tga("small", 16, 16, 24, 1);
  // A file with more levels than the entry gives only as many as the entry has.
  const int flat = bm_load("one.tga");
  ASSERT_EQ(bm_replace_file(flat, "three.tga"), 0);
  EXPECT_EQ(bm_get_entry(flat)->mip_levels, 1);
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  ASSERT_EQ(bm_lock(flat, &data, &pal), BM_FORMAT_BGR24);
  EXPECT_EQ(std::vector<uint8_t>(data, data + three[0].size()), three[0]);
  bm_unlock(flat);

  // Shown one level down: a file of the full size drops its top level, one
  // already of the shown size is read as it is.
  const int low = bm_load("two.tga");
  bm_set_low_res(true);
  ASSERT_EQ(bm_get_entry(low)->width, 16);
  struct Case {
    const char* name;
    int low_res;
    const std::vector<uint8_t>& pixels;
  };
  for (const Case c : {Case{"three.tga", 1, three[1]}, Case{"small.tga", 0, small[0]}}) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(bm_replace_file(low, c.name), 0);
    const BitmapEntry* e = bm_get_entry(low);
    EXPECT_EQ(e->low_res, c.low_res);
    EXPECT_EQ(e->width, 16);
    EXPECT_EQ(e->mip_levels, 1);
    ASSERT_EQ(bm_lock(low, &data, &pal), BM_FORMAT_BGR24);
    EXPECT_EQ(std::vector<uint8_t>(data, data + c.pixels.size()), c.pixels);
    bm_unlock(low);
  }
  EXPECT_EQ(bm_replace_file(low, "one.tga"), -1) << "a one-level file of the full size does not fit";
}

TEST_F(Bitmaps, MissingFilesBecomePlaceholdersOrFail) {
  EXPECT_FALSE(bm_is_placeholder(-1));
  const int h = bm_load("absent.tga");
  ASSERT_GE(h, 0);
  EXPECT_TRUE(bm_is_placeholder(h));
  EXPECT_TRUE(bm_is_placeholder(-1));
  EXPECT_EQ(bm_find("absent.tga"), h);
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  ASSERT_EQ(bm_lock(h, &data, &pal), BM_FORMAT_BGR24);
  int w = 0, ht = 0;
  bm_get_size(h, &w, &ht);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(ht, 32);
  const uint8_t grid[3] = {64, 64, 64}, cell[3] = {142, 121, 121};
  EXPECT_EQ(std::memcmp(data + (0 * 32 + 5) * 3, grid, 3), 0);
  EXPECT_EQ(std::memcmp(data + (5 * 32 + 8) * 3, grid, 3), 0);
  EXPECT_EQ(std::memcmp(data + (5 * 32 + 5) * 3, cell, 3), 0);
  bm_unlock(h);

  ASSERT_TRUE(image_write_bytes(root() + "tiny.m2v", {0, 0, 1}));
  EXPECT_TRUE(bm_is_placeholder(bm_load("tiny.m2v")));

  CriticalErrorTrap trap;
  struct Fatal {
    const char* name;
    const char* text;
  };
  for (const Fatal f : {Fatal{"absent.pcx", "Could not open file: absent.pcx"},
                        Fatal{"absent.vbm", "Unable to open absent.vbm.  Maybe file doesn't exist."},
                        Fatal{"picture.bmp", "Cannot determine bitmap type in bm_read_header for file picture.bmp"}}) {
    try {
      bm_load(f.name);
      ADD_FAILURE() << f.name << " loaded";
    } catch (const CriticalErrorThrown& e) {
      EXPECT_EQ(e.text, f.text);
    }
  }
}

TEST_F(Bitmaps, BadFilesAreRefusedAtLoadOrLock) {
  // A Targa whose pixel data was cut short: the header loads, the lock fails
  // and hands out no pixels.
  auto file = tga_build(test_pattern(16, 16, 3).data(), 16, 16, 24);
  file.resize(file.size() / 2);
  ASSERT_TRUE(image_write_bytes(root() + "cut.tga", file));
  const int cut = bm_load("cut.tga");
  ASSERT_GE(cut, 0);
  EXPECT_FALSE(bm_is_placeholder(cut));
  uint8_t* data = reinterpret_cast<uint8_t*>(1);
  uint8_t* pal = nullptr;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(bm_lock(cut, &data, &pal), 0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("cut.tga"), std::string::npos);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(bm_get_entry(cut)->data, nullptr);

  // VBM headers whose numbers do not fit: a placeholder under the name.
  struct BadVbm {
    const char* label;
    VbmWriterHeader h;
  };
  const BadVbm bad[] = {
      {"no frames", {8, 8, 2, 10, 0, 0}},
      {"300 frames", {8, 8, 2, 10, 300, 0}},
      {"negative width", {-8, 8, 2, 10, 1, 0}},
      {"huge", {65535, 65535, 2, 10, 255, 0}},
      {"negative mips", {8, 8, 2, 10, 1, -3}},
  };
  int n = 0;
  for (const BadVbm& b : bad) {
    SCOPED_TRACE(b.label);
    const std::string name = "bad" + std::to_string(n++) + ".vbm";
    ASSERT_TRUE(vbm_write_file(root() + name, b.h, nullptr, 0));
    const int h = bm_load(name.c_str());
    ASSERT_GE(h, 0);
    EXPECT_TRUE(bm_is_placeholder(h));
  }
  // Headers that claim more pixels than their file holds are refused before
  // anything is allocated for them.
  VbmWriterHeader vh{8, 8, 2, 10, 3, 0};
  std::vector<uint8_t> some(8 * 8 * 2);
  ASSERT_TRUE(vbm_write_file(root() + "short.vbm", vh, some.data(), some.size()));
  EXPECT_TRUE(bm_is_placeholder(bm_load("short.vbm")));
  std::vector<uint8_t> huge_tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0x7f, 0xff, 0x7f, 16, 0x20, 0xff, 1, 2};
  ASSERT_TRUE(image_write_bytes(root() + "huge.tga", huge_tga));
  EXPECT_TRUE(bm_is_placeholder(bm_load("huge.tga")));
  const std::vector<uint8_t> grey(768, 128);
  auto huge_pcx = pcx_build(test_pattern(4, 4, 1).data(), 4, 4, grey.data());
  huge_pcx[8] = huge_pcx[10] = 0xcf;  // 2000 by 2000 from a file of under 1 KB
  huge_pcx[9] = huge_pcx[11] = 0x07;
  huge_pcx[66] = 0xd0;
  huge_pcx[67] = 0x07;
  ASSERT_TRUE(image_write_bytes(root() + "huge.pcx", huge_pcx));
  EXPECT_TRUE(bm_is_placeholder(bm_load("huge.pcx")));
  auto version4 = pcx_build(test_pattern(4, 4, 1).data(), 4, 4, grey.data());
  version4[1] = 4;
  ASSERT_TRUE(image_write_bytes(root() + "old.pcx", version4));
  EXPECT_TRUE(bm_is_placeholder(bm_load("old.pcx")));
  // A lock finds a file that was cut short after it was loaded.
  VbmWriterHeader still{8, 8, 2, 0, 1, 0};
  ASSERT_TRUE(vbm_write_file(root() + "later.vbm", still, some.data(), some.size()));
  const int later = bm_load("later.vbm");
  ASSERT_FALSE(bm_is_placeholder(later));
  ASSERT_TRUE(vbm_write_file(root() + "later.vbm", still, some.data(), 10));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(bm_lock(later, &data, &pal), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(bm_get_entry(later)->data, nullptr);
}

TEST_F(Bitmaps, RunningOutOfEntriesIsFatalAndNamesTheLimit) {
  std::vector<uint8_t> pixels(4);
  while (bm_count_used() < MAX_BITMAPS) ASSERT_GE(bm_create(BM_FORMAT_ALPHA8, 2, 2, pixels.data()), 0);
  CriticalErrorTrap trap;
  try {
    bm_create(BM_FORMAT_ALPHA8, 2, 2, pixels.data());
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("MAX_BITMAPS"), std::string::npos) << e.text;
  }
  // Room for a still bitmap but not for the run an animation needs.
  write_vbm("anim.vbm", 4, 4, 3, 10, 0);
  for (int h = 0; h < MAX_BITMAPS; h += 2) bm_release(h);
  try {
    bm_load("anim.vbm");
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("MAX_BITMAPS"), std::string::npos) << e.text;
  }
}

TEST_F(Bitmaps, NameTableStaysUsableAfterManyLoadsAndReleases) {
  // Every name ever entered leaves a slot behind; more names than slots must
  // neither fill the table nor make a lookup of a missing name loop forever.
  write_tga("t", 4, 4, 24);
  Load_mipmaps = false;
  for (int i = 0; i < MAX_BITMAP_NAME_SLOTS + 200; i++) {
    const std::string name = "n" + std::to_string(i) + ".tga";
    ASSERT_TRUE(image_write_bytes(root() + name, tga_build(test_pattern(4, 4, 3).data(), 4, 4, 24)));
    const int h = bm_load(name.c_str());
    ASSERT_EQ(bm_find(name.c_str()), h);
    bm_release(h);
    std::filesystem::remove(root() + name);
  }
  EXPECT_EQ(bm_find("never-loaded.tga"), -1);
  EXPECT_GE(bm_load("t.tga"), 0);
}

TEST_F(Bitmaps, ReloadMakesAFreshEntryNotFoundByName) {
  write_tga("r", 8, 8, 24);
  const int h = bm_load("r.tga");
  const int again = bm_reload(h);
  ASSERT_GE(again, 0);
  EXPECT_NE(again, h);
  EXPECT_EQ(bm_find("r.tga"), h);
  EXPECT_EQ(bm_get_entry(again)->hash, -1);
  uint8_t* data = nullptr;
  uint8_t* pal = nullptr;
  EXPECT_EQ(bm_lock(again, &data, &pal), BM_FORMAT_BGR24);
  bm_unlock(again);
}

std::string g_console;
void capture_console(const char* text) { g_console += text; }

TEST_F(Bitmaps, ConsoleCommandsSwitchResolutionAndMipmaps) {
  console_set_output_hook(capture_console);
  g_console.clear();
  EXPECT_EQ(console_execute("change_texture_res"), 0);
  EXPECT_TRUE(bm_get_low_res());
  EXPECT_EQ(console_execute("change_texture_res"), 0);
  EXPECT_FALSE(bm_get_low_res());
  EXPECT_EQ(g_console, "Low resolution textures are now enabled!\nLow resolution textures are now disabled!\n");
  EXPECT_EQ(console_execute("load_mipmaps"), 0);
  EXPECT_FALSE(Load_mipmaps);
  EXPECT_EQ(console_execute("load_mipmaps on"), 0);
  EXPECT_TRUE(Load_mipmaps);
  console_set_output_hook(nullptr);
}

// ---- loading progress ----------------------------------------------------------

uint64_t g_fake_ns = 0;
uint64_t fake_counter() { return g_fake_ns; }
void fake_sleep(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000; }

std::vector<std::pair<int, int>> g_calls;
void record_progress(int count, int value) {
  g_calls.emplace_back(count, value);
  load_progress_tick(99);  // ticks from inside the callback are ignored
}

class LoadProgress : public Bitmaps {
 protected:
  void SetUp() override {
    Bitmaps::SetUp();
    g_fake_ns = 0;
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    g_calls.clear();
  }
  void TearDown() override {
    load_progress_set_callback(nullptr, 0, false);
    timer_set_source(nullptr, nullptr);
    Bitmaps::TearDown();
  }
  static void advance_ms(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000; }
};

TEST_F(LoadProgress, CallbackRunsEvery100MsOrAfter155Ticks) {
  EXPECT_FALSE(load_progress_tick(1)) << "no callback: nothing happens";
  EXPECT_EQ(load_progress_set_callback(record_progress, 1000, false), 0);
  EXPECT_EQ(g_calls, (std::vector<std::pair<int, int>>{{0, 0}}));

  for (int i = 0; i < 155; i++) load_progress_tick(7);
  EXPECT_EQ(g_calls.size(), 1u) << "155 ticks since the last call are not yet enough";
  load_progress_tick(8);
  EXPECT_EQ(g_calls.back(), std::make_pair(156, 8));

  advance_ms(100);
  load_progress_tick(3);
  EXPECT_EQ(g_calls.size(), 2u) << "exactly 100 ms is not past the next call time";
  advance_ms(1);
  load_progress_tick(4);
  EXPECT_EQ(g_calls.back(), std::make_pair(158, 4));

  // Without an estimated total only the clock counts.
  load_progress_set_callback(record_progress, 0, false);
  g_calls.clear();
  for (int i = 0; i < 400; i++) load_progress_tick(1);
  EXPECT_TRUE(g_calls.empty());

  // Opening files ticks through the file layer.
  write_tga("f", 4, 4, 24);
  load_progress_set_callback(record_progress, 0, false);
  advance_ms(500);
  bm_lock(bm_load("f.tga"), nullptr, nullptr);
  ASSERT_GE(g_calls.size(), 2u);
  const int last = g_calls.back().first;
  EXPECT_GE(load_progress_set_callback(nullptr, 0, false), last);
  EXPECT_EQ(g_calls.back(), std::make_pair(-1, 0));
}

TEST_F(LoadProgress, EscapeAbortsWhenAsked) {
  key_init(true);
  for (bool aborts : {false, true}) {
    SCOPED_TRACE(aborts ? "escape aborts" : "escape ignored");
    load_progress_set_callback(record_progress, 10, aborts);
    key_message_hook(OS_MSG_KEYDOWN, 0, os_key_lparam(KEY_ESC));
    key_message_hook(OS_MSG_KEYUP, 0, os_key_lparam(KEY_ESC));
    EXPECT_FALSE(load_progress_tick(0)) << "the keys are read only when the callback is due";
    advance_ms(150);
    EXPECT_EQ(load_progress_tick(0), aborts);
    key_flush();
  }
  load_progress_set_callback(record_progress, 10, true);
  EXPECT_FALSE(load_progress_tick(0)) << "a new callback clears the abort";
}

}  // namespace

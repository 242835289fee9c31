// Fonts: .vf reading and its refusals, the font table, glyph packing,
// kerning, measuring, drawing and line breaking.
#include "quarn/gr/gr_font.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/test_files.h"
#include "tools/writers/vf_writer.h"

namespace {

// A monospaced font: every character of first..first+count-1 is `advance`
// wide and drawn `advance` wide, with full coverage.
VfWriterFont mono_font(int advance = 10, int height = 12, int first = 32, int count = 95) {
  VfWriterFont f;
  f.first_char = first;
  f.height = height;
  f.default_advance = 7;
  for (int i = 0; i < count; i++) {
    VfWriterGlyph g;
    g.advance = advance;
    g.width = advance;
    g.pixels.assign(static_cast<size_t>(advance) * height, 14);
    f.glyphs.push_back(g);
  }
  return f;
}

struct BitmapCall {
  int handle, x, y, w, h, sx, sy;
};
class Recorder : public GrRecorder {
 public:
  std::vector<BitmapCall> bitmaps;
  void bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int, int, RenderStateWord) override {
    bitmaps.push_back({handle, x, y, w, h, sx, sy});
  }
};

class GrFont : public ::testing::Test {
 protected:
  std::filesystem::path root;
  Recorder rec;

  void SetUp() override {
    // A folder of this process's own: the same test run from another build
    // at the same moment must not empty it under our feet.
    root = fresh_temp_dir("gr_font_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(root / "data" / "fonts");
    vfile_set_root(root.c_str(), false);
    vfile_add_path_type("data\\fonts", ".vf");
    bm_init();
    gr_set_recorder(&rec);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
    gr_fade_in(0);
  }
  void TearDown() override {
    gr_close();  // closes the fonts too
    gr_set_recorder(nullptr);
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  std::string put(const std::string& name, const VfWriterFont& f) {
    EXPECT_TRUE(vf_write_file((root / "data" / "fonts" / name).string(), f));
    return name;
  }
  int load_mono(int advance = 10) {
    static int n = 0;
    VfWriterFont f = mono_font(advance);
    f.kerns.push_back({'A', 'V', -2});
    return gr_font_load(put("mono" + std::to_string(n++) + ".vf", f).c_str());
  }
};

TEST(VfParse, ReadsWhatTheWriterWrites) {
  for (int version : {0, 1}) {
    VfWriterFont f = mono_font(6, 9, 65, 3);
    f.version = version;
    f.id = 77;
    f.kerns = {{'B', 'A', 1}, {'A', 'C', -3}, {'A', 'B', -1}};
    const std::vector<uint8_t> bytes = vf_build(f);
    VfFont out;
    std::string why;
    ASSERT_EQ(vf_parse(bytes.data(), bytes.size(), &out, &why), 0) << why;
    EXPECT_EQ(out.id, 77);
    EXPECT_EQ(out.version, version);
    EXPECT_EQ(out.kind, VF_KIND_COVERAGE);
    EXPECT_EQ(out.first_char, 65);
    EXPECT_EQ(out.height, 9);
    EXPECT_EQ(out.default_advance, 7);
    ASSERT_EQ(out.chars.size(), 3u);
    EXPECT_EQ(out.chars[1].offset, 6 * 9);
    // Pairs sorted by first then second; 'A' owns the first two.
    ASSERT_EQ(out.kern_pairs.size(), 3u);
    EXPECT_EQ(out.kern_pairs[0].second, 1);
    EXPECT_EQ(out.kern_pairs[1].second, 2);
    EXPECT_EQ(out.chars[0].kern_first, 0);
    EXPECT_EQ(out.chars[0].kern_count, 2);
    EXPECT_EQ(out.chars[1].kern_first, 2);
    EXPECT_EQ(out.chars[2].kern_first, -1);
    EXPECT_EQ(out.pixels.size(), 3u * 6 * 9);
  }
}

// Offsets of fields in a version-1 file.
constexpr size_t KIND_AT = 8, COUNT_AT = 12, KERN_COUNT_AT = 28, HEADER_END = 36;

void poke32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

TEST(VfParse, RefusesInconsistentFiles) {
  VfWriterFont f = mono_font(4, 5, 65, 3);
  f.kerns = {{'A', 'B', -1}};
  const std::vector<uint8_t> good = vf_build(f);
  const size_t kern_at = HEADER_END, chars_at = HEADER_END + 3;
  struct Case {
    const char* what;
    void (*mutate)(std::vector<uint8_t>&, size_t, size_t);
    int want;
  } cases[] = {
      {"version 2", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, 4, 2); }, -2},
      {"negative version", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, 4, -1); }, -1},
      {"id 0", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, 0, 0); }, -1},
      {"pixel kind 7", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, KIND_AT, 7); }, -1},
      {"count past the end", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, COUNT_AT, 1000000); }, -1},
      {"negative count", [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, COUNT_AT, -1); }, -1},
      {"kern count past the end",
       [](std::vector<uint8_t>& b, size_t, size_t) { poke32(b, KERN_COUNT_AT, 0x7fffffff); }, -1},
      {"kern index outside the font", [](std::vector<uint8_t>& b, size_t k, size_t) { b[k + 1] = 3; }, -1},
      {"glyph offset past the pixels", [](std::vector<uint8_t>& b, size_t, size_t c) { poke32(b, c + 8, 41); }, -1},
      {"negative glyph offset", [](std::vector<uint8_t>& b, size_t, size_t c) { poke32(b, c + 8, -4); }, -1},
      {"glyph wider than its pixels", [](std::vector<uint8_t>& b, size_t, size_t c) { poke32(b, c + 4, 400); }, -1},
      {"kern run past the table",
       [](std::vector<uint8_t>& b, size_t, size_t c) { b[c + 14] = 5; }, -1},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> b = good;
    c.mutate(b, kern_at, chars_at);
    VfFont out;
    std::string why;
    EXPECT_EQ(vf_parse(b.data(), b.size(), &out, &why), c.want) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
  }
  // Every truncation is refused, never read past.
  for (size_t n = 0; n < good.size(); n++) {
    VfFont out;
    std::string why;
    EXPECT_EQ(vf_parse(good.data(), n, &out, &why), -1) << n;
  }
}

TEST(VfParse, TextureSideFollowsThePixelCount) {
  EXPECT_EQ(gr_font_texture_side(1500), 64);
  EXPECT_EQ(gr_font_texture_side(2047), 64);
  EXPECT_EQ(gr_font_texture_side(2048), 128);
  EXPECT_EQ(gr_font_texture_side(3000), 128);
  EXPECT_EQ(gr_font_texture_side(8192), 256);
}

TEST_F(GrFont, LoadsPacksAndBuildsTheTexture) {
  // 1500 coverage pixels: a 64 by 64 texture; 3000: 128 by 128.
  for (auto [pixels, side] : {std::pair{1500, 64}, std::pair{3000, 128}}) {
    VfWriterFont f = mono_font(10, 10, 32, pixels / 100);
    const int font = gr_font_load(put("side" + std::to_string(pixels) + ".vf", f).c_str());
    ASSERT_GE(font, 0);
    const FontInfo* fi = gr_font_get(font);
    ASSERT_NE(fi, nullptr);
    EXPECT_EQ(fi->texture_w, side);
    int w, h;
    bm_get_size(fi->bitmap, &w, &h);
    EXPECT_EQ(w, side);
    EXPECT_EQ(bm_get_format(fi->bitmap), BM_FORMAT_4444);
  }
  // Packing: glyphs go left to right and wrap when they reach the edge.
  const FontInfo* fi = gr_font_get(0);
  EXPECT_EQ(fi->glyph_x[0], 0);
  EXPECT_EQ(fi->glyph_y[0], 0);
  EXPECT_EQ(fi->glyph_x[5], 50);
  EXPECT_EQ(fi->glyph_x[6], 0);  // 60 + 10 reaches 64
  EXPECT_EQ(fi->glyph_y[6], 10);
  // Full coverage is white with alpha 15; beyond the glyphs nothing.
  EXPECT_EQ(fi->texture[0], 0xFFFF);
  EXPECT_EQ(fi->texture[63], 0x0000);
}

TEST_F(GrFont, CoverageLevelsBecomeGammaCorrectedAlpha) {
  VfWriterFont f = mono_font(1, 1, 65, 4);
  const uint8_t levels[4] = {0, 7, 14, 200};  // 200 is held at 14
  for (int i = 0; i < 4; i++) f.glyphs[i].pixels = {levels[i]};
  const FontInfo* fi = gr_font_get(gr_font_load(put("levels.vf", f).c_str()));
  ASSERT_NE(fi, nullptr);
  const int want7 = Gr_gamma_lookup[7 * 255 / 14] >> 4;
  EXPECT_EQ(fi->texture[0], 0x0FFF);
  EXPECT_EQ(fi->texture[1], (want7 << 12) | 0x0FFF);
  EXPECT_EQ(fi->texture[2], 0xFFFF);
  EXPECT_EQ(fi->texture[3], 0xFFFF);
}

TEST_F(GrFont, SameNameIsNotReadAgain) {
  const std::string name = put("twice.vf", mono_font());
  const int a = gr_font_load(name.c_str());
  ASSERT_GE(a, 0);
  std::filesystem::remove(root / "data" / "fonts" / name);
  EXPECT_EQ(gr_font_load(name.c_str()), a);
  EXPECT_EQ(gr_font_load("TWICE.vf"), -1);  // names compare with case
}

TEST_F(GrFont, FailedLoadsDoNotUseUpSlots) {
  for (int i = 0; i < 10; i++) EXPECT_EQ(gr_font_load("missing.vf"), -1);
  std::vector<uint8_t> junk(10, 0xAB);
  FILE* fp = std::fopen((root / "data" / "fonts" / "junk.vf").c_str(), "wb");
  std::fwrite(junk.data(), 1, junk.size(), fp);
  std::fclose(fp);
  EXPECT_EQ(gr_font_load("junk.vf"), -1);
  EXPECT_EQ(gr_font_load(std::string(32, 'n').c_str()), -1);  // too long for the name field
  for (int i = 0; i < MAX_FONTS; i++) EXPECT_EQ(load_mono(), i);
  CriticalErrorTrap trap;
  try {
    load_mono();
    FAIL() << "a seventh font loaded";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("MAX_FONTS"), std::string::npos);
  }
  // Closing empties the table, so it can be filled again.
  gr_font_close();
  EXPECT_EQ(load_mono(), 0);
}

TEST_F(GrFont, NewerVersionAndOversizedFontsAreFatal) {
  CriticalErrorTrap trap;
  VfWriterFont newer = mono_font();
  std::vector<uint8_t> bytes = vf_build(newer);
  poke32(bytes, 4, 2);
  FILE* fp = std::fopen((root / "data" / "fonts" / "newer.vf").c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), fp);
  std::fclose(fp);
  try {
    gr_font_load("newer.vf");
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Trying to read a newer font version than supported!!\n");
  }
  // Glyphs 200 pixels high: a 256 texture holds only one row of them.
  put("huge.vf", mono_font(40, 200, 32, 40));
  try {
    gr_font_load("huge.vf");
    FAIL();
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Font too big!\n");
  }
  // Neither took a slot.
  EXPECT_EQ(load_mono(), 0);
}

TEST_F(GrFont, SelectDefaultAndSpacing) {
  EXPECT_EQ(gr_font_select(-1), 16);  // no font yet
  const int a = gr_font_load(put("a.vf", mono_font(10, 12)).c_str());
  const int b = gr_font_load(put("b.vf", mono_font(10, 20)).c_str(), 9);
  ASSERT_EQ(b, 1);
  EXPECT_EQ(gr_font_select(b), 20);
  EXPECT_EQ(gr_font_select_spacing(b), 9);
  EXPECT_EQ(gr_font_select(-1), 12);  // the first loaded is the default
  EXPECT_EQ(gr_font_get_current(), a);
  EXPECT_EQ(gr_font_select_spacing(a), 12);
}

TEST_F(GrFont, MeasuringWithKerning) {
  const int font = load_mono();
  gr_font_select(font);
  struct Case {
    const char* text;
    int length;
    int w, lines;
  } cases[] = {
      {"AV", -1, 18, 1},       // the pair (A, V, -2)
      {"VA", -1, 20, 1},       // no pair
      {"A", -1, 10, 1},
      {"AVA", 2, 18, 1},
      {"ab\ncd", -1, 20, 2},
      {"ab\n", -1, 20, 1},     // a final line feed starts no line
      {"abc\nd\n\nefgh", -1, 40, 4},
      {"a\tb", -1, 20, 1},     // control characters are not drawn, nor measured
      {"", -1, 0, 1},
      {"abc\xC8", -1, 37, 1},  // outside the font: the default advance
  };
  for (const auto& c : cases) {
    int w = -1, h = -1;
    gr_get_string_size(&w, &h, c.text, c.length);
    EXPECT_EQ(w, c.w) << c.text;
    EXPECT_EQ(h, 12 * c.lines) << c.text;
  }
  int w = -1, h = -1;
  gr_get_string_size(&w, &h, nullptr);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  int width, advance;
  gr_font_char_metrics(font, 'A', 'V', &width, &advance);
  EXPECT_EQ(width, 10);
  EXPECT_EQ(advance, 8);
  gr_font_char_metrics(font, 10, 0, &width, &advance);  // below the first character
  EXPECT_EQ(width, 0);
  EXPECT_EQ(advance, 7);
}

TEST_F(GrFont, DrawingGoesGlyphByGlyphThroughBitmapEx) {
  const int font = load_mono();
  const FontInfo* fi = gr_font_get(font);
  gr_string(100, 50, "AV\nb\x01\xC8z", font, Gr_preset[1]);
  ASSERT_EQ(rec.bitmaps.size(), 4u);
  const int ia = 'A' - 32, ib = 'b' - 32, iz = 'z' - 32;
  EXPECT_EQ(rec.bitmaps[0].handle, fi->bitmap);
  EXPECT_EQ(rec.bitmaps[0].x, 100);
  EXPECT_EQ(rec.bitmaps[0].y, 50);
  EXPECT_EQ(rec.bitmaps[0].w, 10);
  EXPECT_EQ(rec.bitmaps[0].h, 12);
  EXPECT_EQ(rec.bitmaps[0].sx, fi->glyph_x[ia]);
  EXPECT_EQ(rec.bitmaps[0].sy, fi->glyph_y[ia]);
  EXPECT_EQ(rec.bitmaps[1].x, 108);  // kerned
  EXPECT_EQ(rec.bitmaps[2].x, 100);  // the line feed returns to the start, one height down
  EXPECT_EQ(rec.bitmaps[2].y, 62);
  EXPECT_EQ(rec.bitmaps[2].sx, fi->glyph_x[ib]);
  // \x01 is skipped; \xC8 is outside the font: nothing drawn, default advance.
  EXPECT_EQ(rec.bitmaps[3].x, 117);
  EXPECT_EQ(rec.bitmaps[3].sx, fi->glyph_x[iz]);

  rec.bitmaps.clear();
  gr_string_continue("c", font);
  ASSERT_EQ(rec.bitmaps.size(), 1u);
  EXPECT_EQ(rec.bitmaps[0].x, 127);
  EXPECT_EQ(rec.bitmaps[0].y, 62);
  rec.bitmaps.clear();
  gr_string(5, 6, nullptr, font);  // only sets the pen
  gr_string_continue("c", font);
  ASSERT_EQ(rec.bitmaps.size(), 1u);
  EXPECT_EQ(rec.bitmaps[0].x, 5);
  EXPECT_EQ(rec.bitmaps[0].y, 6);
}

TEST_F(GrFont, CentringCentresEachLine) {
  const int font = load_mono();
  gr_font_select(font);
  EXPECT_EQ(gr_string_centered_x("abcd\nxx"), (640 - 40) / 2);
  gr_string(GR_CENTER_X, 0, "abcd\nxx", font);
  ASSERT_EQ(rec.bitmaps.size(), 6u);
  EXPECT_EQ(rec.bitmaps[0].x, 300);
  EXPECT_EQ(rec.bitmaps[4].x, 310);
  EXPECT_EQ(rec.bitmaps[4].y, 12);
}

struct SplitCase {
  const char* what;
  const char* text;
  int width;
  int max_lines;
  char skip;
  std::vector<std::pair<int, int>> lines;  // start offset, length
};

TEST_F(GrFont, SplitTextBreaksLikeTheGame) {
  gr_font_select(load_mono());
  const std::string long_line(600, 'x');
  const SplitCase cases[] = {
      {"at a blank", "hello world", 60, 10, 0, {{0, 5}, {6, 5}}},
      {"after a hyphen, which stays", "well-known", 70, 10, 0, {{0, 5}, {5, 5}}},
      {"leading whitespace skipped", " \n\t ab", 100, 10, 0, {{4, 2}}},
      {"only blanks", "  \t  ", 100, 10, 0, {}},
      {"empty", "", 100, 10, 0, {}},
      {"line feeds end lines", "ab\ncd", 100, 10, 0, {{0, 2}, {3, 2}}},
      {"an empty line between", "ab\n\ncd", 100, 10, 0, {{0, 2}, {3, 0}, {4, 2}}},
      {"no break point: before the character", "abcdefgh", 30, 10, 0, {{0, 2}, {2, 2}, {4, 2}, {6, 2}}},
      {"max lines", "aa bb cc dd", 30, 2, 0, {{0, 2}, {3, 2}}},
      {"blanks at a line start skipped", "aa    bb", 30, 10, 0, {{0, 2}, {6, 2}}},
      {"skip character's word is not measured", "a^red b", 25, 10, '^', {{0, 5}, {6, 1}}},
      {"without a skip character it is", "a^red b", 25, 10, 0, {{0, 2}, {2, 2}, {4, 1}, {6, 1}}},
      {"a character wider than the line", "ab", 5, 10, 0, {{0, 1}, {1, 1}}},
      {"measured line held at 511 characters", long_line.c_str(), 1000000, 10, 0, {{0, 511}, {511, 89}}},
  };
  for (const auto& c : cases) {
    int lengths[16];
    const char* starts[16];
    const int n = gr_split_text(lengths, starts, c.text, c.width, c.max_lines, c.skip);
    ASSERT_EQ(n, static_cast<int>(c.lines.size())) << c.what;
    for (int i = 0; i < n; i++) {
      EXPECT_EQ(starts[i] - c.text, c.lines[i].first) << c.what << " line " << i;
      EXPECT_EQ(lengths[i], c.lines[i].second) << c.what << " line " << i;
    }
  }
  EXPECT_EQ(gr_split_text(nullptr, nullptr, nullptr, 100, 4), 0);
}

TEST_F(GrFont, NextLineReturnsWhatDoesNotFit) {
  gr_font_select(load_mono());
  struct Case {
    const char* what;
    const char* text;
    int width;
    int length;
    int rest;  // offset of the returned text, -1 for null
  } cases[] = {
      {"all fits", "hello world", 200, 11, -1},
      {"back to the last blank", "hello world", 70, 5, 6},
      {"blank runs skipped", "hi   there you", 70, 2, 5},
      {"no blank: at the overflow", "abcdefgh", 35, 3, 3},
      {"a line feed first", "ab\ncdefgh", 35, 2, 3},
      {"one line feed skipped after the break", "aaaa \nbb", 45, 4, 6},
      {"at least one character", "ab", 5, 1, 1},
      {"nothing left", "a", 5, 1, -1},
  };
  for (const auto& c : cases) {
    int len = -1;
    const char* rest = gr_next_line(&len, c.text, c.width);
    EXPECT_EQ(len, c.length) << c.what;
    EXPECT_EQ(rest ? rest - c.text : -1, c.rest) << c.what;
  }
  // Walking a text line by line ends.
  const char* p = "the quick brown fox jumps over the lazy dog";
  int lines = 0, len;
  while (p && lines < 100) {
    p = gr_next_line(&len, p, 60);
    lines++;
  }
  EXPECT_LT(lines, 100);
}

TEST_F(GrFont, TextWrapPutsTheLineBreaksIntoACopy) {
  gr_font_select(load_mono());
  char out[32];
  EXPECT_EQ(text_wrap(out, "hello world", 60, -1), 2);
  EXPECT_STREQ(out, "hello\nworld");
  EXPECT_EQ(text_wrap(out, "hi", 60), 1);
  EXPECT_STREQ(out, "hi");
  EXPECT_EQ(text_wrap(out, "   ", 60), 0);
  EXPECT_STREQ(out, "");
  // The copy is cut to the destination, never past it.
  char small[6];
  std::memset(small, 'z', sizeof small);
  EXPECT_EQ(text_wrap(small, "abcdefgh ijkl", 1000), 1);
  EXPECT_STREQ(small, "abcde");
}

}  // namespace

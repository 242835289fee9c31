#include "quarn/gr/glide/gr_glide.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "glide_fake.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/glide/gr_glide_mesh.h"
#include "quarn/gr/glide/gr_glide_tcache.h"
#include "quarn/platform/dynlib.h"
#include "quarn/platform/messages.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/test_files.h"

namespace {

using Calls = std::vector<std::string>;

class GlideRenderer : public ::testing::Test {
 protected:
  GlideApi api_ = fake_glide_api();
  void SetUp() override {
    Fake_glide = FakeGlide();
    bm_init();
  }
  void start(int width = 640, int window_mode = GR_FULLSCREEN) {
    gr_glide_use_api(&api_);
    gr_init(width, width * 3 / 4, GR_GLIDE, window_mode, 0, false);
    Fake_glide.reset();
  }
  void TearDown() override {
    gr_close();
    gr_glide_use_api(nullptr);
  }
  int bitmap(int format, int w, int h, int bytes_per_pixel = 2, uint8_t fill = 0x55) {
    pixels_.emplace_back(static_cast<size_t>(w) * h * bytes_per_pixel, fill);
    return bm_create(format, w, h, pixels_.back().data());
  }
  std::vector<std::vector<uint8_t>> pixels_;
};

const RenderStateWord UNLISTED(7, 7, 7, 7, 7, 7);

RenderStateWord with_field(RenderStateWord base, int field, int value) {
  int f[6];
  for (int i = 0; i < 6; i++) f[i] = base.field(i);
  f[field] = value;
  return RenderStateWord(f[0], f[1], f[2], f[3], f[4], f[5]);
}

// Glide numbers below are the published ones, written out.
struct StateCase {
  int field, value;
  bool fog_on;
  Calls expected;
};
const StateCase STATE_CASES[] = {
    {0, 0, false, {"grTexCombineFunction(0,8)"}},
    {0, 1, false, {"grTexFilterMode(0,1,1)", "grTexCombineFunction(0,1)", "grTexClampMode(0,0,0)"}},
    {0, 2, false, {"grTexFilterMode(0,1,1)", "grTexCombineFunction(0,1)", "grTexClampMode(0,1,1)"}},
    {0, 3, false, {"grTexFilterMode(0,0,0)", "grTexCombineFunction(0,1)", "grTexClampMode(0,1,1)"}},
    {0, 4, false,
     {"grTexFilterMode(0,1,1)", "grTexCombineFunction(0,4)", "grTexClampMode(0,0,0)", "grTexFilterMode(1,1,1)",
      "grTexCombineFunction(1,1)", "grTexClampMode(1,1,1)"}},
    {0, 6, false,
     {"grTexFilterMode(0,1,1)", "grTexCombineFunction(0,3)", "grTexClampMode(0,0,0)", "grTexFilterMode(1,1,1)",
      "grTexCombineFunction(1,1)", "grTexClampMode(1,0,0)"}},
    {1, 0, false, {"grColorCombine(1,0,0,2,0)"}},
    {1, 1, false, {"grColorCombine(3,8,1,1,0)"}},
    {1, 2, false, {"grColorCombine(3,1,0,1,0)"}},
    {1, 3, false, {"grColorCombine(4,8,0,1,0)"}},
    {2, 0, false, {"grAlphaCombine(1,0,0,2,0)", "grAlphaControlsITRGBLighting(0)"}},
    {2, 1, false, {"grAlphaCombine(1,0,0,2,0)", "grAlphaControlsITRGBLighting(1)", "grConstantColorValue(ffffffff)"}},
    {2, 2, false, {"grAlphaCombine(3,8,1,1,0)", "grAlphaControlsITRGBLighting(0)"}},
    {2, 3, false, {"grAlphaCombine(3,1,0,1,0)", "grAlphaControlsITRGBLighting(0)"}},
    {3, 0, false, {"grAlphaBlendFunction(4,0,0,0)"}},
    {3, 1, false, {"grAlphaBlendFunction(4,4,0,0)"}},
    {3, 2, false, {"grAlphaBlendFunction(1,4,0,0)"}},
    {3, 3, false, {"grAlphaBlendFunction(1,5,0,0)"}},
    {3, 5, false, {"grAlphaBlendFunction(2,0,4,0)"}},
    {3, 5, true, {"grAlphaBlendFunction(4,15,4,0)"}},
    {4, 0, false, {"grDepthBufferMode(0)", "grDepthMask(0)"}},
    {4, 1, false, {"grDepthBufferMode(2)", "grDepthBufferFunction(3)", "grDepthMask(0)"}},
    {4, 2, false, {"grDepthBufferMode(2)", "grDepthBufferFunction(2)", "grDepthMask(0)"}},
    {4, 3, false, {"grDepthBufferMode(2)", "grDepthBufferFunction(7)", "grDepthMask(1)"}},
    {4, 4, false, {"grDepthBufferMode(2)", "grDepthBufferFunction(3)", "grDepthMask(1)"}},
    {5, 0, true, {"grFogMode(2)"}},
    {5, 1, true, {"grFogMode(514)"}},
    {5, 2, true, {"grFogMode(258)"}},
    {5, 0, false, {"grFogMode(0)"}},
    {5, 3, true, {"grFogMode(0)"}},
};

TEST_F(GlideRenderer, EachFieldOfTheStateWordSendsItsOwnCalls) {
  start();
  for (const StateCase& c : STATE_CASES) {
    SCOPED_TRACE("field " + std::to_string(c.field) + " value " + std::to_string(c.value));
    gr_screen.fog_on = c.fog_on ? 1 : 0;
    gr_glide_set_render_state(UNLISTED);
    Fake_glide.reset();
    gr_glide_set_render_state(with_field(UNLISTED, c.field, c.value));
    EXPECT_EQ(Fake_glide.calls, c.expected);
  }
}

TEST_F(GlideRenderer, OnlyChangedFieldsAreSentAndFogResendsThemAll) {
  start();
  const RenderStateWord word(1, 1, 2, 3, 0, 3);
  gr_glide_set_render_state(word);
  Fake_glide.reset();
  gr_glide_set_render_state(word);
  EXPECT_TRUE(Fake_glide.calls.empty());
  gr_glide_set_render_state(with_field(word, 4, 4));
  EXPECT_EQ(Fake_glide.calls, (Calls{"grDepthBufferMode(2)", "grDepthBufferFunction(3)", "grDepthMask(1)"}));
  gr_glide_fog_set(false);
  Fake_glide.reset();
  gr_glide_set_render_state(with_field(word, 4, 4));
  EXPECT_EQ(Fake_glide.named("grTexCombineFunction").size(), 1u);
  EXPECT_EQ(Fake_glide.named("grColorCombine").size(), 1u);
  EXPECT_EQ(Fake_glide.named("grAlphaCombine").size(), 1u);
  EXPECT_EQ(Fake_glide.named("grAlphaBlendFunction").size(), 1u);
  EXPECT_EQ(Fake_glide.named("grDepthBufferMode").size(), 1u);
  EXPECT_EQ(Fake_glide.named("grFogMode").size(), 1u);
}

TEST_F(GlideRenderer, StartUpOpensTheCardAndRefusesWindows) {
  gr_glide_use_api(&api_);
  {
    CriticalErrorTrap trap;
    try {
      gr_init(640, 480, GR_GLIDE, GR_WINDOWED, 0, false);
      FAIL() << "a window was accepted";
    } catch (const CriticalErrorThrown& e) {
      EXPECT_EQ(e.text, "Glide can only be used in fullscreen mode for now.\n");
    }
  }
  struct {
    int width, resolution;
  } const sizes[] = {{640, 7}, {800, 8}, {1024, 12}, {1280, 7}};
  for (const auto& s : sizes) {
    Fake_glide.reset();
    gr_init(s.width, s.width * 3 / 4, GR_GLIDE, GR_FULLSCREEN, 0, false);
    EXPECT_EQ(Fake_glide.named("grSstWinOpen"), Calls{"grSstWinOpen(" + std::to_string(s.resolution) + ")"});
    // Alpha testing above 0 is on from the start; unit 1 gets its own s and t.
    EXPECT_EQ(Fake_glide.named("grAlphaTest"), (Calls{"grAlphaTestFunction(4)", "grAlphaTestReferenceValue(0)"}));
    EXPECT_EQ(Fake_glide.named("grHints"), Calls{"grHints(0,32)"});
    EXPECT_EQ(gr_screen.max_texture_w, 256);
    gr_close();
  }
}

TEST_F(GlideRenderer, OneTextureUnitRefusesTwoTextureStates) {
  Fake_glide.tmu_count = 1;
  start();
  EXPECT_TRUE(gr_render_state_supported(RenderStateWord(3, 1, 2, 3, 0, 3)));
  EXPECT_FALSE(gr_render_state_supported(RenderStateWord(4, 1, 2, 3, 0, 3)));
  EXPECT_FALSE(gr_render_state_supported(RenderStateWord(6, 1, 2, 3, 0, 3)));
  gr_close();
  Fake_glide.tmu_count = 2;
  start();
  EXPECT_TRUE(gr_render_state_supported(RenderStateWord(6, 1, 2, 3, 0, 3)));
}

TEST_F(GlideRenderer, LineEndsTakeTheHalfPixelRule) {
  start();
  gr_glide_line(10, 10, 20, 10, RenderStateWord(0, 0, 0, 0, 0, 3));
  ASSERT_EQ(Fake_glide.lines.size(), 2u);
  EXPECT_FLOAT_EQ(Fake_glide.lines[0].x, 10.5f);
  EXPECT_FLOAT_EQ(Fake_glide.lines[1].x, 21.0f);
  EXPECT_FLOAT_EQ(Fake_glide.lines[0].y, 11.0f);
  EXPECT_FLOAT_EQ(Fake_glide.lines[1].y, 10.5f);
}

TEST_F(GlideRenderer, PolygonsLargerThanTheVertexArrayGoInPieces) {
  start();
  GrVertex v[32];
  GrVertex* list[32];
  for (int i = 0; i < 32; i++) {
    v[i].sx = static_cast<float>(i);
    v[i].sy = static_cast<float>(i * i);
    v[i].ooz = 1.0f;
    list[i] = &v[i];
  }
  gr_glide_tmapper(32, list, RenderStateWord(0, 0, 0, 0, 0, 3));
  int triangles = 0;
  std::vector<bool> seen(32, false);
  for (const auto& p : Fake_glide.polygons) {
    EXPECT_LE(p.size(), 25u);
    EXPECT_FLOAT_EQ(p[0].x - 786432.0f, 0.0f);  // every part fans out from the first vertex
    triangles += static_cast<int>(p.size()) - 2;
    for (const auto& gv : p) seen[static_cast<int>(gv.x - 786432.0f + 0.5f)] = true;
  }
  EXPECT_EQ(triangles, 30);
  for (int i = 0; i < 32; i++) EXPECT_TRUE(seen[i]) << i;
}

TEST_F(GlideRenderer, SplitBitmapDrawnAtDoubleSizeInsetsEachSection) {
  start();
  const int h = bitmap(BM_FORMAT_565, 300, 200);
  gr_glide_bitmap(h, 0, 0, 600, 400, 0, 0, 300, 200, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.polygons.size(), 2u);
  const auto& a = Fake_glide.polygons[0];
  const auto& b = Fake_glide.polygons[1];
  EXPECT_FLOAT_EQ(a[0].x, 0.0f);
  EXPECT_FLOAT_EQ(a[1].x, 512.0f);
  EXPECT_FLOAT_EQ(a[2].y, 400.0f);
  EXPECT_FLOAT_EQ(a[0].tmu[0].sow, 0.25f);
  EXPECT_FLOAT_EQ(a[1].tmu[0].sow, 255.75f);
  EXPECT_FLOAT_EQ(a[2].tmu[0].tow, 199.75f);
  EXPECT_FLOAT_EQ(b[0].x, 512.0f);
  EXPECT_FLOAT_EQ(b[1].x, 600.0f);
  EXPECT_FLOAT_EQ(b[1].tmu[0].sow, 43.75f);
  // At its own size nothing is inset.
  Fake_glide.reset();
  gr_glide_bitmap(h, 0, 0, 300, 200, 0, 0, 300, 200, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.polygons.size(), 2u);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[1][0].tmu[0].sow, 0.0f);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[1][1].tmu[0].sow, 44.0f);
}

TEST_F(GlideRenderer, SectionsOfLargeAndFlatBitmaps) {
  start();
  const int wide = bitmap(BM_FORMAT_565, 300, 200);
  ASSERT_EQ(gr_glide_section_count(wide), 2);
  GlideSectionView s{};
  ASSERT_TRUE(gr_glide_section_view(wide, 0, &s));
  EXPECT_EQ(s.x, 0);
  EXPECT_EQ(s.w, 256);
  EXPECT_EQ(s.tex_w, 256);
  EXPECT_EQ(s.tex_h, 256);
  EXPECT_FLOAT_EQ(s.s_scale, 256.0f);
  EXPECT_FLOAT_EQ(s.t_scale, 200.0f);
  ASSERT_TRUE(gr_glide_section_view(wide, 1, &s));
  EXPECT_EQ(s.x, 256);
  EXPECT_EQ(s.w, 44);
  EXPECT_EQ(s.tex_w, 64);
  EXPECT_EQ(s.tex_h, 256);
  EXPECT_FLOAT_EQ(s.s_scale, 44.0f);
  EXPECT_FLOAT_EQ(s.t_scale, 200.0f);
  EXPECT_EQ(s.info.aspect, 5);  // 1x4

  const int flat = bitmap(BM_FORMAT_565, 256, 16);
  ASSERT_EQ(gr_glide_section_count(flat), 1);
  ASSERT_TRUE(gr_glide_section_view(flat, 0, &s));
  EXPECT_EQ(s.tex_w, 256);
  EXPECT_EQ(s.tex_h, 32);  // the 8 to 1 limit
  EXPECT_FLOAT_EQ(s.s_scale, 256.0f);
  EXPECT_FLOAT_EQ(s.t_scale, 16.0f);
  EXPECT_EQ(s.info.aspect, 0);
  EXPECT_EQ(s.info.large_lod, 0);
}

TEST(GlideCodes, LodAndAspectCodes) {
  const int sides[] = {256, 128, 64, 32, 16, 8, 4, 2, 1};
  for (int i = 0; i < 9; i++) EXPECT_EQ(gr_glide_lod_code(sides[i]), i);
  EXPECT_EQ(gr_glide_aspect_code(64, 8), 0);
  EXPECT_EQ(gr_glide_aspect_code(64, 16), 1);
  EXPECT_EQ(gr_glide_aspect_code(64, 32), 2);
  EXPECT_EQ(gr_glide_aspect_code(64, 64), 3);
  EXPECT_EQ(gr_glide_aspect_code(32, 64), 4);
  EXPECT_EQ(gr_glide_aspect_code(16, 64), 5);
  EXPECT_EQ(gr_glide_aspect_code(8, 64), 6);
  // Beyond the card's 8 to 1: no code, so such mip-mapped bitmaps are refused.
  EXPECT_EQ(gr_glide_aspect_code(256, 16), -1);
  EXPECT_EQ(gr_glide_aspect_code(4, 64), -1);
}

struct PixelCase {
  int format;
  std::vector<uint8_t> bytes;
  int glide_format;
  uint16_t texel;
};

TEST(GlideConversion, PixelFormatsBecomeCardTexels) {
  uint8_t palette[768] = {};
  palette[0] = 0, palette[1] = 255, palette[2] = 0;      // entry 0: pure green
  palette[3] = 255, palette[4] = 0, palette[5] = 0;      // entry 1: red
  palette[6] = 0x88, palette[7] = 0x44, palette[8] = 0x11;  // entry 2
  const PixelCase cases[] = {
      {BM_FORMAT_PAL8, {0}, GLIDE_TEXFMT_ARGB_1555, 0x0000},
      {BM_FORMAT_PAL8, {1}, GLIDE_TEXFMT_ARGB_1555, 0xFC00},
      {BM_FORMAT_PAL8, {2}, GLIDE_TEXFMT_ARGB_1555, static_cast<uint16_t>(0x8000 | (0x11 << 10) | (0x08 << 5) | 0x02)},
      {BM_FORMAT_565, {0x34, 0x12}, GLIDE_TEXFMT_RGB_565, 0x1234},
      {BM_FORMAT_4444, {0x34, 0x12}, GLIDE_TEXFMT_ARGB_4444, 0x1234},
      {BM_FORMAT_1555, {0x00, 0x80}, GLIDE_TEXFMT_ARGB_1555, 0x0000},  // transparent stays transparent
      {BM_FORMAT_1555, {0x1F, 0x00}, GLIDE_TEXFMT_ARGB_1555, 0x801F},
      {BM_FORMAT_BGR24, {0, 255, 0}, GLIDE_TEXFMT_ARGB_1555, 0x0000},
      {BM_FORMAT_BGR24, {255, 0, 0}, GLIDE_TEXFMT_ARGB_1555, 0x801F},
      {BM_FORMAT_BGRA32, {0x10, 0x20, 0x30, 0x40}, GLIDE_TEXFMT_ARGB_4444, 0x4321},
  };
  for (const PixelCase& c : cases) {
    SCOPED_TRACE(c.format);
    int gf = -1;
    ASSERT_TRUE(gr_glide_format_of(c.format, &gf));
    EXPECT_EQ(gf, c.glide_format);
    EXPECT_EQ(gr_glide_convert_pixel(c.format, c.bytes.data(), palette), c.texel);
  }
  int gf = 0;
  EXPECT_TRUE(gr_glide_format_of(BM_FORMAT_ALPHA8, &gf));
  EXPECT_EQ(gf, GLIDE_TEXFMT_ALPHA_8);
  const uint8_t a = 200;
  EXPECT_EQ(gr_glide_convert_pixel(BM_FORMAT_ALPHA8, &a, nullptr), Gr_gamma_lookup[200] & 0xFF);
  EXPECT_FALSE(gr_glide_format_of(BM_FORMAT_NONE, &gf));
  EXPECT_FALSE(gr_glide_format_of(BM_FORMAT_16BIT, &gf));
}

TEST_F(GlideRenderer, PureGreenPaletteBitmapDownloadsAsTransparentTexels) {
  start();
  static uint8_t palette[768] = {0, 255, 0};
  static uint8_t indices[16] = {};
  const int h = bm_create(BM_FORMAT_PAL8, 4, 4, indices, palette);
  float s, t;
  ASSERT_EQ(gr_glide_set_texture(0, h, 0, &s, &t, 1), 1);
  GlideSectionView v{};
  ASSERT_TRUE(gr_glide_section_view(h, 0, &v));
  const auto* texels = static_cast<const uint16_t*>(v.info.data);
  for (int i = 0; i < 16; i++) EXPECT_EQ(texels[i], 0);
  EXPECT_EQ(Fake_glide.downloads.size(), 1u);
}

TEST_F(GlideRenderer, BitmapsOfFormatsTheCardCannotTakeAreRefused) {
  start();
  const int h = bitmap(BM_FORMAT_16BIT, 8, 8);
  float s, t;
  EXPECT_EQ(gr_glide_set_texture(0, h, 0, &s, &t, 1), 0);
  EXPECT_TRUE(Fake_glide.downloads.empty());
}

TEST_F(GlideRenderer, TinyUnitWrapsEvictsTheOldestAndDownloadsAgain) {
  Fake_glide.tmu_bytes = 3 * 32768 + 100;
  start();
  int h[4];
  for (int& b : h) b = bitmap(BM_FORMAT_565, 128, 128);
  float s, t;
  for (int b : h) ASSERT_EQ(gr_glide_set_texture(0, b, 0, &s, &t, 1), 1);
  ASSERT_EQ(Fake_glide.downloads.size(), 4u);
  EXPECT_EQ(Fake_glide.downloads[0].address, 0u);
  EXPECT_EQ(Fake_glide.downloads[1].address, 32768u);
  EXPECT_EQ(Fake_glide.downloads[2].address, 65536u);
  EXPECT_EQ(Fake_glide.downloads[3].address, 0u);  // wrapped over the first
  GlideSectionView v{};
  ASSERT_TRUE(gr_glide_section_view(h[0], 0, &v));
  EXPECT_FALSE(v.resident[0]);
  ASSERT_TRUE(gr_glide_section_view(h[3], 0, &v));
  EXPECT_TRUE(v.resident[0]);
  EXPECT_EQ(gr_glide_heap_bytes_in_use(0), 3u * 32768u);

  // The evicted one comes back after the last block, over the next oldest.
  ASSERT_EQ(gr_glide_set_texture(0, h[0], 0, &s, &t, 1), 1);
  ASSERT_EQ(Fake_glide.downloads.size(), 5u);
  EXPECT_EQ(Fake_glide.downloads[4].address, 32768u);
  ASSERT_TRUE(gr_glide_section_view(h[1], 0, &v));
  EXPECT_FALSE(v.resident[0]);
  ASSERT_TRUE(gr_glide_section_view(h[2], 0, &v));
  EXPECT_TRUE(v.resident[0]);
}

TEST_F(GlideRenderer, TextureAtAddressZeroStaysResident) {
  start();
  const int a = bitmap(BM_FORMAT_565, 64, 64), b = bitmap(BM_FORMAT_565, 64, 64);
  float s, t;
  gr_glide_set_texture(0, a, 0, &s, &t, 1);
  gr_glide_set_texture(0, a, 0, &s, &t, 1);
  EXPECT_EQ(Fake_glide.named("grTexSource").size(), 1u);  // already bound: no call
  gr_glide_set_texture(0, b, 0, &s, &t, 1);
  gr_glide_set_texture(0, a, 0, &s, &t, 1);
  ASSERT_EQ(Fake_glide.downloads.size(), 2u);  // a was not downloaded again
  EXPECT_EQ(Fake_glide.downloads[0].address, 0u);
  EXPECT_EQ(Fake_glide.downloads[1].address, 8192u);
  EXPECT_EQ(Fake_glide.named("grTexSource").size(), 3u);
  EXPECT_EQ(Fake_glide.sources.back().address, 0u);
}

TEST_F(GlideRenderer, NoTextureCrossesATwoMegabyteBoundary) {
  start();
  float s, t;
  gr_glide_set_texture(0, bitmap(BM_FORMAT_565, 64, 64), 0, &s, &t, 1);
  for (int i = 0; i < 17; i++) gr_glide_set_texture(0, bitmap(BM_FORMAT_565, 256, 256), 0, &s, &t, 1);
  ASSERT_EQ(Fake_glide.downloads.size(), 18u);
  for (size_t i = 0; i < Fake_glide.downloads.size(); i++) {
    const FakeDownload& d = Fake_glide.downloads[i];
    EXPECT_EQ(d.address >> 21, (d.address + d.size - 1) >> 21) << "texture " << i << " at " << d.address;
    // Every texture starts at or after the end of the one before.
    if (i > 0) {
      EXPECT_GE(d.address, Fake_glide.downloads[i - 1].address + Fake_glide.downloads[i - 1].size);
    }
  }
  EXPECT_EQ(Fake_glide.downloads[16].address, 2u << 20);
}

TEST_F(GlideRenderer, TaskSwitchClosesAtTheNextFlipAndReloadsTextures) {
  Fake_glide.fb_mb = 16;
  start();
  const int h = bitmap(BM_FORMAT_565, 64, 64);
  gr_glide_bitmap(h, 0, 0, 64, 64, 0, 0, 64, 64, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.downloads.size(), 1u);
  Fake_glide.reset();

  gr_glide_activation_hook(OS_MSG_ACTIVATEAPP, 0, 0);
  EXPECT_TRUE(Fake_glide.calls.empty());  // the window thread only records it
  gr_glide_flip();
  EXPECT_EQ(Fake_glide.calls, Calls{"grSstWinClose"});
  EXPECT_TRUE(gr_glide_minimised());
  Fake_glide.reset();
  gr_glide_clear();
  gr_glide_bitmap(h, 0, 0, 64, 64, 0, 0, 64, 64, Gr_preset[1]);
  gr_glide_flip();
  EXPECT_TRUE(Fake_glide.calls.empty());

  gr_glide_activation_hook(OS_MSG_ACTIVATE, 1, 0);
  gr_glide_flip();
  EXPECT_EQ(Fake_glide.named("grSstWinOpen"), Calls{"grSstWinOpen(7)"});
  EXPECT_EQ(Fake_glide.named("grBufferSwap"), Calls{"grBufferSwap(0)"});
  gr_glide_bitmap(h, 0, 0, 64, 64, 0, 0, 64, 64, Gr_preset[1]);
  EXPECT_EQ(Fake_glide.downloads.size(), 1u);  // the card lost it: downloaded again
}

TEST_F(GlideRenderer, BoardsWithoutTaskSwitchKeepTheirWindow) {
  Fake_glide.fb_mb = 8;
  start();
  gr_glide_activation_hook(OS_MSG_ACTIVATEAPP, 0, 0);
  gr_glide_flip();
  EXPECT_EQ(Fake_glide.calls, Calls{"grSstControl(2)"});  // and no swap while given back
  Fake_glide.reset();
  gr_glide_activation_hook(OS_MSG_ACTIVATEAPP, 1, 0);
  gr_glide_flip();
  EXPECT_EQ(Fake_glide.calls, (Calls{"grSstControl(1)", "grBufferSwap(0)"}));
  EXPECT_FALSE(gr_glide_minimised());
}

TEST_F(GlideRenderer, ClearsClipAndReadBack) {
  start();
  gr_glide_clear();
  EXPECT_EQ(Fake_glide.named("grBufferClear"), Calls{"grBufferClear(0,0,65535)"});
  Fake_glide.reset();
  gr_glide_clear_depth();
  EXPECT_EQ(Fake_glide.named("grColorMask"), (Calls{"grColorMask(0,0)", "grColorMask(1,0)"}));
  Fake_glide.reset();
  gr_set_clip(10, 20, 100, 50);
  EXPECT_EQ(Fake_glide.named("grClipWindow"), Calls{"grClipWindow(10,20,110,70)"});
  uint16_t buf[8 * 4];
  EXPECT_EQ(gr_glide_read_screen(1, 2, 8, 4, buf), 3);
  EXPECT_EQ(Fake_glide.named("grLfbReadRegion"), Calls{"grLfbReadRegion(1,1,2,8,4,16)"});
}

TEST(GlideLoader, OurLibraryHasEveryEntryPoint) {
  const char* bin = std::getenv("ORRIMUND_BIN_DIR");
  if (!bin) GTEST_SKIP() << "ORRIMUND_BIN_DIR is not set";
  os_set_library_dir(bin);
  const char* missing = "unset";
  EXPECT_TRUE(gr_glide_load_library(&missing));
  EXPECT_EQ(missing, nullptr);
  EXPECT_NE(Glide_api.grDrawLine, nullptr);
  EXPECT_NE(Glide_api.guFogGenerateLinear, nullptr);
  gr_glide_unload_library();
  os_set_library_dir(nullptr);
  EXPECT_EQ(os_load_library("orrimund_no_such_library.dll"), nullptr);
  EXPECT_STREQ(os_library_load_error(), "");
}

TEST(GlideLoader, ADamagedLibraryIsNamedNotReportedMissing) {
  // Once our own library is loaded in this process (an earlier test of the
  // same run), the search after the damaged file finds it by its name.
  if (void* loaded = dlopen("libglide2x.so", RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(loaded);
    GTEST_SKIP() << "libglide2x.so is already loaded in this process";
  }
  const std::string dir = fresh_temp_dir("glide_damaged");
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {{"empty", ""}, {"not a library", "this is not a shared library at all, only text\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::ofstream f(dir + "/libglide2x.so", std::ios::binary | std::ios::trunc);
      f << c.bytes;
    }
    os_set_library_dir(dir.c_str());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(gr_glide_available());
    const std::string out = testing::internal::GetCapturedStdout();
    os_set_library_dir(nullptr);
    EXPECT_EQ(out.rfind("Glide: the library glide2x.dll cannot be loaded: ", 0), 0u) << out;
    EXPECT_NE(out.find(dir + "/libglide2x.so"), std::string::npos) << out;
    EXPECT_EQ(out.find("not found"), std::string::npos) << out;
  }
}

}  // namespace

namespace {

// A layered triangle: layer l's u and v are the vertex's corner numbers.
struct Layered {
  GrVertex v[3];
  GrLayeredVertex lv[3];
  GrLayeredVertex* list[3];
  Layered() {
    const float corner[3][2] = {{0, 0}, {1, 0}, {1, 1}};
    for (int i = 0; i < 3; i++) {
      v[i].sx = 10.0f * i;
      v[i].sy = 5.0f;
      v[i].ooz = 0.5f;
      lv[i].vertex = &v[i];
      for (auto& d : lv[i].layer) d = GrLayerVertexData{corner[i][0], corner[i][1], 10, 20, 30, 40};
      list[i] = &lv[i];
    }
  }
};

TEST_F(GlideRenderer, MultipassPairsTwoTextureLayersAndTilesLargeBitmaps) {
  start();
  Layered tri;
  const int a = bitmap(BM_FORMAT_565, 64, 64), b = bitmap(BM_FORMAT_565, 32, 32);
  GrLayer pair[2] = {};
  pair[0].state = RenderStateWord(4, 2, 3, 3, 4, 3);
  pair[0].bitmap = a;
  pair[0].use_layer_uv = 1;
  pair[0].r = pair[0].g = pair[0].b = 200;
  pair[0].a = 255;
  pair[1].bitmap = b;
  pair[1].use_layer_uv = 1;
  gr_glide_poly_multipass(3, tri.list, 2, pair);
  // One draw: the second layer is the first one's partner on unit 1.
  ASSERT_EQ(Fake_glide.polygons.size(), 1u);
  ASSERT_EQ(Fake_glide.sources.size(), 2u);
  EXPECT_EQ(Fake_glide.sources[0].tmu, 0);
  EXPECT_EQ(Fake_glide.sources[1].tmu, 1);
  const auto& p = Fake_glide.polygons[0];
  EXPECT_FLOAT_EQ(p[1].tmu[0].sow, 1.0f * 0.5f * 256.0f);  // u * oow * s scale
  EXPECT_FLOAT_EQ(p[1].tmu[1].sow, 1.0f * 0.5f * 256.0f);
  EXPECT_FLOAT_EQ(p[2].tmu[0].tow, 128.0f);
  EXPECT_FLOAT_EQ(p[0].r, 200.0f);
  EXPECT_FLOAT_EQ(p[0].x, 786432.0f);

  // A bitmap wider than one texture: the section under the polygon, clamped.
  Fake_glide.reset();
  const int wide = bitmap(BM_FORMAT_565, 512, 256);
  GrLayer tiled = {};
  tiled.state = RenderStateWord(1, 2, 3, 3, 4, 3);
  tiled.bitmap = wide;
  tiled.use_layer_uv = 1;
  for (auto& lv : tri.lv) lv.layer[0].u = 0.6f + 0.1f * lv.layer[0].u;  // in the right half
  gr_glide_poly_multipass(3, tri.list, 1, &tiled);
  EXPECT_EQ(Fake_glide.named("grTexClampMode"), Calls{"grTexClampMode(0,1,1)"});
  ASSERT_EQ(Fake_glide.polygons.size(), 1u);
  // u 0.6 of 512 texels is texel 307: 51 into the second tile, s = 51.2 * oow.
  EXPECT_NEAR(Fake_glide.polygons[0][0].tmu[0].sow, (0.6f * 512.0f - 256.0f) * 0.5f, 1e-3f);
  GlideSectionView second{};
  ASSERT_TRUE(gr_glide_section_view(wide, 1, &second));
  EXPECT_TRUE(second.resident[0]);
}

}  // namespace

namespace {

// One layer over a large bitmap, its vertices' u and v given.
struct TiledQuad {
  GrVertex v[4];
  GrLayeredVertex lv[4];
  GrLayeredVertex* list[4];
  TiledQuad(float u0, float v0, float u1, float v1) {
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
    for (int i = 0; i < 4; i++) {
      v[i] = GrVertex{};
      v[i].sx = 100.0f + 50.0f * (i == 1 || i == 2);
      v[i].sy = 100.0f + 50.0f * (i >= 2);
      v[i].ooz = 0.5f;
      lv[i].vertex = &v[i];
      for (auto& d : lv[i].layer) d = GrLayerVertexData{uv[i][0], uv[i][1], 255, 255, 255, 255};
      list[i] = &lv[i];
    }
  }
};

TEST_F(GlideRenderer, TilesNarrowerThan256AreAddressedByTheirOwnTexels) {
  start();
  // The card spans 0..256 over the larger side of each section's texture:
  // a texel t of a section whose texture's larger side is L is at t x 256 / L.
  struct Case {
    const char* what;
    int w, h;
    float u0, v0, u1, v1;
    int section;
    float s0, t0, s1, t1;  // card coordinates at the first and third corners
  } cases[] = {
      // 300x200: section 0 is 256x200 in a 256x256 texture; v 0..1 is texels 0..200.
      {"300x200 left", 300, 200, 0.1f, 0.0f, 0.8f, 1.0f, 0, 30.0f, 0.0f, 240.0f, 200.0f},
      // 300x300: the corner section is 44x44 in a 64x64 texture (4 units a texel);
      // u 0.9 is texel 270, 14 into the section.
      {"300x300 corner", 300, 300, 0.9f, 0.9f, 1.0f, 1.0f, 3, 56.0f, 56.0f, 176.0f, 176.0f},
      // 300x300: the right section is 44x256 in a 64x256 texture (1 unit a texel).
      {"300x300 right", 300, 300, 0.9f, 0.1f, 1.0f, 0.5f, 1, 14.0f, 30.0f, 44.0f, 150.0f},
      // 512x256: full sections, as before.
      {"512x256 right", 512, 256, 0.6f, 0.0f, 0.9f, 1.0f, 1, 51.2f, 0.0f, 204.8f, 256.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int bm = bitmap(BM_FORMAT_565, c.w, c.h);
    TiledQuad q(c.u0, c.v0, c.u1, c.v1);
    GrLayer layer = {};
    layer.state = RenderStateWord(1, 2, 3, 3, 4, 3);
    layer.bitmap = bm;
    layer.use_layer_uv = 1;
    Fake_glide.reset();
    gr_glide_poly_multipass(4, q.list, 1, &layer);
    ASSERT_EQ(Fake_glide.polygons.size(), 1u);
    GlideSectionView view{};
    ASSERT_TRUE(gr_glide_section_view(bm, c.section, &view));
    EXPECT_TRUE(view.resident[0]);
    const auto& p = Fake_glide.polygons[0];
    EXPECT_NEAR(p[0].tmu[0].sow / p[0].oow, c.s0, 1e-3f);
    EXPECT_NEAR(p[0].tmu[0].tow / p[0].oow, c.t0, 1e-3f);
    EXPECT_NEAR(p[2].tmu[0].sow / p[2].oow, c.s1, 1e-3f);
    EXPECT_NEAR(p[2].tmu[0].tow / p[2].oow, c.t1, 1e-3f);
  }
}

TEST_F(GlideRenderer, SplitBitmapSubRectangleStaysInsideItsDestination) {
  start();
  const int bm = bitmap(BM_FORMAT_565, 300, 300);
  // 120x100 from (180, 200), its bottom-right corner the bitmap's: it
  // straddles all four sections.
  gr_glide_bitmap(bm, 10, 20, 120, 100, 180, 200, 120, 100, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.polygons.size(), 4u);
  float area = 0;
  for (const auto& p : Fake_glide.polygons) {
    for (const GlideVertex& v : p) {
      EXPECT_GE(v.x, 10.0f);
      EXPECT_LE(v.x, 130.0f);
      EXPECT_GE(v.y, 20.0f);
      EXPECT_LE(v.y, 120.0f);
    }
    area += (p[2].x - p[0].x) * (p[2].y - p[0].y);
  }
  EXPECT_FLOAT_EQ(area, 120.0f * 100.0f);
  // The top-left piece: source (180..256, 200..256) of section 0 at one card
  // unit a texel; the bottom-right: all of the 44x44 corner section, in a
  // 64x64 texture at 4 units a texel.
  const auto& tl = Fake_glide.polygons[0];
  EXPECT_FLOAT_EQ(tl[0].x, 10.0f);
  EXPECT_FLOAT_EQ(tl[2].x, 86.0f);
  EXPECT_FLOAT_EQ(tl[2].y, 76.0f);
  EXPECT_FLOAT_EQ(tl[0].tmu[0].sow, 180.0f);
  EXPECT_FLOAT_EQ(tl[0].tmu[0].tow, 200.0f);
  EXPECT_FLOAT_EQ(tl[2].tmu[0].sow, 256.0f);
  const auto& br = Fake_glide.polygons[3];
  EXPECT_FLOAT_EQ(br[0].x, 86.0f);
  EXPECT_FLOAT_EQ(br[0].y, 76.0f);
  EXPECT_FLOAT_EQ(br[2].x, 130.0f);
  EXPECT_FLOAT_EQ(br[2].y, 120.0f);
  EXPECT_FLOAT_EQ(br[0].tmu[0].sow, 0.0f);
  EXPECT_FLOAT_EQ(br[2].tmu[0].sow, 44.0f * 4.0f);
  EXPECT_FLOAT_EQ(br[2].tmu[0].tow, 44.0f * 4.0f);
}

TEST_F(GlideRenderer, UnscaledSmallBitmapsShareAPageSelectedOnce) {
  start();
  const int a = bitmap(BM_FORMAT_565, 16, 16, 2, 0x11), b = bitmap(BM_FORMAT_565, 16, 8, 2, 0x22),
            c = bitmap(BM_FORMAT_565, 32, 16, 2, 0x33);
  gr_set_color(255, 255, 255, 255);
  // The first frame places each bitmap and sends the page to the card again.
  for (int h : {a, b, a, c}) gr_bitmap(h, 100, 50, Gr_preset[1]);
  EXPECT_EQ(Fake_glide.downloads.size(), 3u);
  Fake_glide.reset();
  gr_glide_flip();
  Fake_glide.reset();
  for (int h : {a, b, a, c}) gr_bitmap(h, 100, 50, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.polygons.size(), 4u);
  EXPECT_LE(Fake_glide.sources.size(), 1u);  // one page, selected at most once
  EXPECT_TRUE(Fake_glide.downloads.empty());
  // One card unit a texel in the 256-texel page: a quad spans its width in
  // texels, and two bitmaps never share a texel.
  const auto& pa = Fake_glide.polygons[0];
  const auto& pb = Fake_glide.polygons[1];
  const auto& pc = Fake_glide.polygons[3];
  EXPECT_FLOAT_EQ(pa[1].tmu[0].sow - pa[0].tmu[0].sow, 16.0f);
  EXPECT_FLOAT_EQ(pb[2].tmu[0].tow - pb[0].tmu[0].tow, 8.0f);
  EXPECT_FLOAT_EQ(pc[1].tmu[0].sow - pc[0].tmu[0].sow, 32.0f);
  EXPECT_FLOAT_EQ(pa[0].x, 100.0f);
  EXPECT_FLOAT_EQ(pc[2].x, 132.0f);
  EXPECT_TRUE(pa[1].tmu[0].sow <= pb[0].tmu[0].sow || pa[2].tmu[0].tow <= pb[0].tmu[0].tow);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[2][0].tmu[0].sow, pa[0].tmu[0].sow);  // a again, same place

  // A changed bitmap is filled in its own place: the page goes to the card
  // again, the quad's coordinates stay.
  const float a_s = pa[0].tmu[0].sow, a_t = pa[0].tmu[0].tow;
  gr_glide_texture_dirty(a);
  Fake_glide.reset();
  gr_bitmap(a, 100, 50, Gr_preset[1]);
  ASSERT_EQ(Fake_glide.polygons.size(), 1u);
  EXPECT_EQ(Fake_glide.downloads.size(), 1u);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[0][0].tmu[0].sow, a_s);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[0][0].tmu[0].tow, a_t);

  // Drawn alone, each bitmap is selected from its own texture.
  gr_batch_2d(false);
  Fake_glide.reset();
  for (int h : {a, b, a, c}) gr_bitmap(h, 100, 50, Gr_preset[1]);
  gr_batch_2d(true);
  EXPECT_EQ(Fake_glide.sources.size(), 4u);
  EXPECT_FLOAT_EQ(Fake_glide.polygons[0][1].tmu[0].sow, 256.0f);
}

TEST_F(GlideRenderer, MeshGroupsGoFaceByFaceAsPlanarTriangles) {
  start();
  static GrMeshScratch s;
  s = GrMeshScratch{};
  for (int i = 0; i < 4; i++) {
    s.position[i][0] = 100.0f + 10.0f * i;
    s.position[i][1] = 50.0f;
    s.colour[i][0] = 10, s.colour[i][1] = 20, s.colour[i][2] = 30, s.colour[i][3] = 200;
    s.w[i] = 0.25f;
    s.tex[i][0] = 0.5f * s.w[i];  // u w
    s.tex[i][1] = 1.0f * s.w[i];  // v w
    s.tex[i][3] = s.w[i];
  }
  const uint16_t faces[6] = {0, 1, 2, 0, 2, 3};
  std::copy(faces, faces + 6, s.index);
  s.index_count = 6;
  const int bm = bitmap(BM_FORMAT_565, 64, 32);  // s scale 256, t scale 128
  ASSERT_TRUE(gr_glide_mesh_draw(Gr_preset[19], bm, s, 4));
  EXPECT_EQ(Fake_glide.named("grDrawPlanarPolygon"), (Calls{"grDrawPlanarPolygon(3)", "grDrawPlanarPolygon(3)"}));
  ASSERT_EQ(Fake_glide.polygons.size(), 2u);
  const GlideVertex& v = Fake_glide.polygons[1][2];  // vertex 3
  EXPECT_FLOAT_EQ(v.x, 130.0f + 786432.0f);
  EXPECT_FLOAT_EQ(v.a, 200.0f);
  EXPECT_FLOAT_EQ(v.oow, 0.25f);
  EXPECT_FLOAT_EQ(v.tmu[0].sow, 256.0f * 0.5f * 0.25f);
  EXPECT_FLOAT_EQ(v.tmu[0].tow, 128.0f * 1.0f * 0.25f);

  // A bitmap the card cannot take: the group is skipped.
  Fake_glide.reset();
  EXPECT_FALSE(gr_glide_mesh_draw(Gr_preset[19], bitmap(BM_FORMAT_16BIT, 8, 8), s, 4));
  EXPECT_TRUE(Fake_glide.polygons.empty());
}

}  // namespace

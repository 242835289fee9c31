// The Direct3D renderer against our layer without a window: the layer
// records every state call, and its reported caps and failures are set by
// each test to reach the renderer's choices and refusals.
#include "quarn/gr/directx/gr_d3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/vim_writer.h"
#include "quarn/os/cmdline.h"
#include "quarn/platform/d3d7.h"

namespace {

using C = D3dCall;
D3dCall R(uint32_t s, uint32_t v) { return {C::RENDER, 0, s, v}; }
D3dCall T(uint32_t stage, uint32_t s, uint32_t v) { return {C::STAGE, stage, s, v}; }
D3dCall X(uint32_t stage, uint32_t bound) { return {C::TEXTURE, stage, 0, bound}; }

class GrD3d : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_layer_reset_config();
    cmdline_set_text("orrimund");
    cmdline_parse();
    bm_init();
  }
  void TearDown() override {
    gr_close();
    bm_close();
    d3d_layer_record(false);
    d3d_layer_reset_config();
    cmdline_set_text(nullptr);
    cmdline_reset();
  }
  void start() {
    gr_init(640, 480, GR_DIRECT3D, GR_WINDOWED, 0, false);
    ASSERT_NE(gr_d3d_device(), nullptr) << gr_d3d_failure();
  }
};

TEST_F(GrD3d, RenderStateWordMapsOntoRenderAndStageStates) {
  start();
  struct Case {
    RenderStateWord word;
    std::vector<D3dCall> calls;
  };
  const uint32_t M = D3DTOP_MODULATE;
  const std::vector<D3dCall> off = {R(D3DRENDERSTATE_ALPHABLENDENABLE, 0), R(D3DRENDERSTATE_ALPHATESTENABLE, 0),
                                    R(D3DRENDERSTATE_ZENABLE, 0), R(D3DRENDERSTATE_ZWRITEENABLE, 0),
                                    R(D3DRENDERSTATE_FOGENABLE, 0)};
  auto join = [](std::vector<D3dCall> a, const std::vector<D3dCall>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  auto textured = [&](uint32_t address, uint32_t filter, uint32_t op) {
    return std::vector<D3dCall>{T(0, D3DTSS_ADDRESSU, address), T(0, D3DTSS_ADDRESSV, address),
                                T(0, D3DTSS_MINFILTER, filter),  T(0, D3DTSS_MAGFILTER, filter),
                                T(0, D3DTSS_COLOROP, op),        T(0, D3DTSS_COLORARG1, D3DTA_TEXTURE),
                                T(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), T(0, D3DTSS_ALPHAOP, M),
                                T(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE), T(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE),
                                T(1, D3DTSS_COLOROP, D3DTOP_DISABLE)};
  };
  const Case cases[] = {
      // Untextured, nothing blended, no depth, fog off.
      {RenderStateWord(0, 0, 0, 0, 0, 0),
       join({X(0, 0), X(1, 0), T(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), T(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE),
             T(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1), T(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE),
             T(1, D3DTSS_COLOROP, D3DTOP_DISABLE)},
            off)},
      // Wrapped bilinear, additive colour source, additive blend, depth tested.
      {RenderStateWord(1, 3, 0, 1, 1, 3),
       join(textured(D3DTADDRESS_WRAP, D3DTFG_LINEAR, D3DTOP_ADD),
            {R(D3DRENDERSTATE_ALPHABLENDENABLE, 1), R(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE),
             R(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE), R(D3DRENDERSTATE_ALPHATESTENABLE, 0),
             R(D3DRENDERSTATE_ZENABLE, 1), R(D3DRENDERSTATE_ZWRITEENABLE, 0),
             R(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL), R(D3DRENDERSTATE_FOGENABLE, 0)})},
      // Clamped point sampling, alpha blend, depth equal, fog field 7 sets nothing.
      {RenderStateWord(3, 2, 3, 3, 2, 7),
       join(textured(D3DTADDRESS_CLAMP, D3DTFG_POINT, M),
            {R(D3DRENDERSTATE_ALPHATESTENABLE, 1), R(D3DRENDERSTATE_ALPHABLENDENABLE, 1),
             R(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA), R(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA),
             R(D3DRENDERSTATE_ZENABLE, 1), R(D3DRENDERSTATE_ZWRITEENABLE, 0), R(D3DRENDERSTATE_ZFUNC, D3DCMP_EQUAL)})},
      // Clamped bilinear, additive by alpha, depth written only, multiply-blend on a card with DESTCOLOR.
      {RenderStateWord(2, 0, 0, 5, 3, 0),
       join(textured(D3DTADDRESS_CLAMP, D3DTFG_LINEAR, M),
            {R(D3DRENDERSTATE_ALPHATESTENABLE, 1), R(D3DRENDERSTATE_ALPHABLENDENABLE, 1),
             R(D3DRENDERSTATE_SRCBLEND, D3DBLEND_DESTCOLOR), R(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO),
             R(D3DRENDERSTATE_ZENABLE, 0), R(D3DRENDERSTATE_ZWRITEENABLE, 1), R(D3DRENDERSTATE_FOGENABLE, 0)})},
      // Two textures: stage 0 selects its texture, stage 1 modulates onto it.
      {RenderStateWord(4, 0, 0, 2, 4, 0),
       {T(0, D3DTSS_MINFILTER, D3DTFG_LINEAR), T(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR),
        T(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), T(0, D3DTSS_COLORARG1, D3DTA_TEXTURE),
        T(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), T(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE),
        T(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE), T(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE),
        T(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP), T(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP),
        T(0, D3DTSS_TEXCOORDINDEX, 0), T(1, D3DTSS_MINFILTER, D3DTFG_LINEAR), T(1, D3DTSS_MAGFILTER, D3DTFG_LINEAR),
        T(1, D3DTSS_COLOROP, M), T(1, D3DTSS_COLORARG1, D3DTA_TEXTURE), T(1, D3DTSS_COLORARG2, D3DTA_CURRENT),
        T(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE), T(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE),
        T(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT), T(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP),
        T(1, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP), T(1, D3DTSS_TEXCOORDINDEX, 1),
        R(D3DRENDERSTATE_ALPHABLENDENABLE, 1), R(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA),
        R(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE), R(D3DRENDERSTATE_ALPHATESTENABLE, 1), R(D3DRENDERSTATE_ZENABLE, 1),
        R(D3DRENDERSTATE_ZWRITEENABLE, 1), R(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL),
        R(D3DRENDERSTATE_FOGENABLE, 0)}},
  };
  for (const Case& c : cases) {
    gr_d3d_set_render_state(RenderStateWord(7, 0, 0, 7, 7, 7));  // fields that set nothing
    d3d_layer_record(true);
    gr_d3d_set_render_state(c.word);
    EXPECT_EQ(d3d_layer_calls(), c.calls) << "word " << std::hex << c.word.bits;
    // The same word again sends nothing.
    d3d_layer_record(true);
    gr_d3d_set_render_state(c.word);
    EXPECT_TRUE(d3d_layer_calls().empty());
  }
}

TEST_F(GrD3d, FogModeFollowsCapsVendorAndSwitches) {
  struct Case {
    uint32_t raster;
    uint32_t vendor;
    const char* cmdline;
    int fog;
  } cases[] = {
      {D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG, 0, "orrimund", 2},
      {D3DPRASTERCAPS_FOGTABLE, 0, "orrimund", 1},
      {D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG, 0x102B, "orrimund", 1},
      {D3DPRASTERCAPS_FOGVERTEX, 0, "orrimund", 3},
      {0, 0, "orrimund", 0},
      {D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG, 0x1002, "orrimund", 3},
      {D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG, 0x5333, "orrimund", 5},
      {D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG, 0, "orrimund -fb2", 5},
      {D3DPRASTERCAPS_FOGTABLE, 0, "orrimund -vertexfog", 3},
      {D3DPRASTERCAPS_FOGTABLE, 0, "orrimund -vertexfog -fb2", 3},
  };
  for (const Case& c : cases) {
    d3d_layer_reset_config();
    d3d_layer_config().devices[0].caps.dwRasterCaps = c.raster;
    d3d_layer_config().vendor_id = c.vendor;
    cmdline_set_text(c.cmdline);
    cmdline_parse();
    start();
    EXPECT_EQ(gr_d3d_fog_mode(), c.fog) << c.raster << " " << c.vendor << " " << c.cmdline;
    gr_close();
  }
}

TEST_F(GrD3d, DeviceChoiceAndTextureLimits) {
  // A transform-and-lighting device and one without a description are never
  // chosen; of the rest the last one offered is.
  D3dLayerDevice tnl = d3d_layer_default_device();
  tnl.caps.dwDevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  tnl.caps.deviceGUID = IID_IDirect3DTnLHalDevice;
  D3dLayerDevice nameless = d3d_layer_default_device();
  nameless.description.clear();
  nameless.caps.deviceGUID = Guid{{9}};
  D3dLayerDevice first = d3d_layer_default_device();
  first.caps.deviceGUID = Guid{{5}};
  D3dLayerDevice last = d3d_layer_default_device();
  last.caps.dwMaxTextureWidth = 8;  // below 16: taken as 256
  last.caps.dwMinTextureWidth = 4;
  d3d_layer_config().devices = {first, last, tnl, nameless};
  start();
  EXPECT_EQ(gr_d3d_device()->caps.deviceGUID, IID_IDirect3DHALDevice);
  EXPECT_EQ(gr_screen.max_texture_w, 256);
  EXPECT_EQ(Gr_d3d_texture_rules.min_w, 16);
  EXPECT_EQ(gr_screen.max_texture_h, 2048);
}

TEST_F(GrD3d, MissingFeaturesEndTheProgramWithCodeOne) {
  struct Case {
    const char* what;
    void (*setup)();
  } cases[] = {
      {"no alpha texture format", [] { d3d_layer_config().texture_formats.resize(1); }},
      {"no modulate", [] { d3d_layer_config().devices[0].caps.dwTextureBlendCaps = 0; }},
      {"no source alpha", [] { d3d_layer_config().devices[0].caps.dwSrcBlendCaps = D3DPBLENDCAPS_DESTCOLOR; }},
      {"a banned card", [] { d3d_layer_config().driver_description = "Some VOODOO board"; }},
      {"one byte short", [] { d3d_layer_config().free_texture_memory = 5242879; }},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const Case& c : cases) {
    d3d_layer_reset_config();
    c.setup();
    EXPECT_EXIT(gr_init(640, 480, GR_DIRECT3D, GR_WINDOWED, 0, false), ::testing::ExitedWithCode(1), "") << c.what;
  }
  d3d_layer_reset_config();
  d3d_layer_config().free_texture_memory = 5242880;
  start();
  EXPECT_EQ(gr_d3d_get_video_memory(), 5242880);
}

TEST_F(GrD3d, AFailedCallMakesTheRendererUnavailableNamingIt) {
  for (const char* call : {"DirectDrawCreateEx", "CreateSurface", "CreateDevice", "EnumTextureFormats", "GetCaps"}) {
    d3d_layer_reset_config();
    d3d_layer_config().fail_call = call;
    d3d_layer_config().fail_result = E_OUTOFMEMORY;
    gr_screen.window_mode = GR_WINDOWED;
    EXPECT_FALSE(gr_d3d_init(0)) << call;
    EXPECT_NE(std::strstr(gr_d3d_failure(), call), nullptr) << gr_d3d_failure();
    EXPECT_NE(std::strstr(gr_d3d_failure(), "enough memory"), nullptr) << gr_d3d_failure();
    EXPECT_EQ(gr_d3d_device(), nullptr);
    EXPECT_EQ(d3d_layer_surfaces_alive(), 0) << call;
  }
}

TEST_F(GrD3d, ErrorTexts) {
  EXPECT_STREQ(gr_d3d_error_text(0), "No error.");
  EXPECT_STREQ(gr_d3d_error_text(E_FAIL), "Generic failure.");
  EXPECT_STREQ(gr_d3d_error_text(E_OUTOFMEMORY), "DirectDraw does not have enough memory to perform the operation.");
  EXPECT_STREQ(gr_d3d_error_text(dd_result(721)), "D3DERR_TEXTURE_CREATE_FAILED");
  EXPECT_STREQ(gr_d3d_error_text(dd_result(750)), "D3DERR_LIGHT_SET_FAILED");
  EXPECT_STREQ(gr_d3d_error_text(12345), "Unrecognized error value.");
}

TEST_F(GrD3d, ReadBackLockFailureKeepsTheSceneOpen) {
  start();
  std::vector<uint8_t> buf(4 * 4 * 2, 0xAB);
  EXPECT_EQ(gr_read_screen(0, 0, 4, 4, buf.data()), 3);
  d3d_layer_config().fail_call = "Lock";
  EXPECT_EQ(gr_read_screen(0, 0, 4, 4, buf.data()), 0);
  EXPECT_TRUE(gr_d3d_device()->in_scene);
}

TEST(GrD3dTexture, SidesRoundUpToPowersOfTwoWithinLimits) {
  struct Case {
    int side;
    bool pow2;
    int min, max, want;
  } cases[] = {{44, true, 16, 256, 64}, {64, true, 16, 256, 64},  {65, true, 16, 256, 128}, {4, true, 16, 256, 16},
               {300, true, 16, 256, 256}, {44, false, 16, 256, 44}, {1, true, 1, 2048, 1},  {200, true, 16, 256, 256}};
  for (const Case& c : cases) EXPECT_EQ(gr_d3d_texture_side(c.side, c.pow2, c.min, c.max), c.want) << c.side;
}

TEST(GrD3dTexture, PixelsConvertByChannelMasks) {
  // One 5-6-5 pixel of (255, 128, 0) and a transparent 1-5-5-5 one, into 4-4-4-4.
  const DDPIXELFORMAT argb4444 = d3d_layer_rgb_format(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  const uint16_t px565[2] = {static_cast<uint16_t>((31 << 11) | (32 << 5)), 0xFFFF};
  uint16_t out[4] = {1, 1, 1, 1};  // a 2 by 2 texture of which 1 by 1 is used
  gr_d3d_convert_pixels(BM_FORMAT_565, reinterpret_cast<const uint8_t*>(px565), nullptr, 2, 0, 0, 1, 1, argb4444,
                        reinterpret_cast<uint8_t*>(out), 2, 2, 4);
  // Green 32/63 widens to 129, then 129 / 17 = 7.
  EXPECT_EQ(out[0], 0xFF70);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0);
  // A palette of pure green is transparent; other entries opaque. Section at x 1.
  uint8_t pal[768] = {};
  pal[3] = 0, pal[4] = 255, pal[5] = 0;        // entry 1: pure green
  pal[6] = 255, pal[7] = 255, pal[8] = 255;    // entry 2: white
  const uint8_t idx[2] = {1, 2};
  uint16_t o2[1] = {7};
  gr_d3d_convert_pixels(BM_FORMAT_PAL8, idx, pal, 2, 0, 0, 1, 1, argb4444, reinterpret_cast<uint8_t*>(o2), 1, 1, 2);
  EXPECT_EQ(o2[0], 0);
  gr_d3d_convert_pixels(BM_FORMAT_PAL8, idx, pal, 2, 1, 0, 1, 1, argb4444, reinterpret_cast<uint8_t*>(o2), 1, 1, 2);
  EXPECT_EQ(o2[0], 0xFFFF);
}

TEST_F(GrD3d, LargeBitmapsAreCutIntoSectionsAndBindsAreNotRepeated) {
  start();
  gr_screen.max_texture_w = gr_screen.max_texture_h = 256;
  Gr_d3d_texture_rules = D3dTextureRules{};
  std::vector<uint8_t> px(300 * 200 * 2, 0x55);
  const int bm = bm_create(BM_FORMAT_565, 300, 200, px.data());
  ASSERT_GE(bm, 0);
  float u = 0, v = 0;
  d3d_layer_record(true);
  ASSERT_EQ(gr_d3d_set_texture(0, bm, 1, &u, &v, true), 1);
  EXPECT_EQ(gr_d3d_section_count(bm), 2);
  int x, y, w, h;
  gr_d3d_section_rect(bm, 1, &x, &y, &w, &h);
  EXPECT_EQ(x, 256);
  EXPECT_EQ(w, 44);
  EXPECT_EQ(h, 200);
  EXPECT_FLOAT_EQ(u, 44.0f / 64.0f);
  EXPECT_FLOAT_EQ(v, 200.0f / 256.0f);
  ASSERT_EQ(gr_d3d_set_texture(0, bm, 1, &u, &v, true), 1);
  int binds = 0;
  for (const D3dCall& c : d3d_layer_calls()) binds += c.kind == D3dCall::TEXTURE;
  EXPECT_EQ(binds, 1);
  // Marked dirty while bound on stage 1: the next bind uploads and binds again.
  gr_d3d_set_texture(1, bm, 0, &u, &v, true);
  d3d_layer_record(true);
  gr_texture_mark_dirty(bm);
  gr_d3d_set_texture(1, bm, 0, &u, &v, true);
  EXPECT_EQ(d3d_layer_calls().size(), 1u);
  // A negative handle clears that stage only.
  d3d_layer_record(true);
  gr_d3d_set_texture(1, -1, 0, &u, &v, true);
  ASSERT_EQ(d3d_layer_calls().size(), 1u);
  EXPECT_EQ(d3d_layer_calls()[0], X(1, 0));
  const int alive = d3d_layer_surfaces_alive();
  bm_release(bm);
  EXPECT_LT(d3d_layer_surfaces_alive(), alive);
}

}  // namespace

namespace {

TEST_F(GrD3d, LayerOverALargeBitmapIsDrawnWithTheSectionUnderIt) {
  start();
  gr_screen.max_texture_w = gr_screen.max_texture_h = 256;
  Gr_d3d_texture_rules = D3dTextureRules{};
  std::vector<uint8_t> px(300 * 200 * 2, 0x55);
  const int bm = bm_create(BM_FORMAT_565, 300, 200, px.data());
  // A polygon over the bitmap's right edge: u from 0.9 to 1.0 lies in the
  // second column of sections (x 256..299).
  GrVertex v[3];
  GrLayeredVertex lv[3];
  GrLayeredVertex* list[3];
  const float us[3] = {0.9f, 1.0f, 0.95f}, vs[3] = {0.1f, 0.1f, 0.5f};
  for (int i = 0; i < 3; i++) {
    v[i].sx = 10.0f * i, v[i].sy = 5.0f * i, v[i].ooz = 1.0f;
    lv[i].vertex = &v[i];
    lv[i].layer[0] = {us[i], vs[i], 255, 255, 255, 255};
    list[i] = &lv[i];
  }
  GrLayer layer{RenderStateWord(1, 0, 0, 0, 0, 0), bm, 1, 0, 0, 255, 255, 255, 255};
  d3d_layer_record(true);
  gr_draw_polygon_layers(3, list, 1, &layer);
  ASSERT_NE(gr_d3d_device()->texture[0], nullptr);
  EXPECT_EQ(gr_d3d_device()->texture[0]->desc.dwWidth, 64u);  // the 44-wide section's texture
  // Texture mode 1 becomes clamped: the section's edge must not wrap.
  bool clamped = false;
  for (const D3dCall& c : d3d_layer_calls()) clamped |= c == T(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  EXPECT_TRUE(clamped);
}

}  // namespace

namespace {

TEST_F(GrD3d, SplitBitmapsHonourTheSourceRectangleAndLargeMeshesGoInPieces) {
  start();
  gr_screen.max_texture_w = gr_screen.max_texture_h = 256;
  std::vector<uint8_t> px(300 * 200 * 2, 0x55);
  const int bm = bm_create(BM_FORMAT_565, 300, 200, px.data());
  auto draws = [] {
    std::vector<uint32_t> counts;
    for (const D3dCall& c : d3d_layer_calls())
      if (c.kind == D3dCall::DRAW) counts.push_back(c.value);
    return counts;
  };
  // The source lies wholly in the left section: only it is drawn.
  d3d_layer_record(true);
  gr_bitmap_scaled(bm, 0, 0, 50, 50, 10, 10, 100, 100, Gr_preset[1]);
  EXPECT_EQ(draws(), std::vector<uint32_t>{4});
  // Across both sections: both.
  d3d_layer_record(true);
  gr_bitmap_scaled(bm, 0, 0, 300, 200, 0, 0, 300, 200, Gr_preset[1]);
  EXPECT_EQ(draws(), (std::vector<uint32_t>{4, 4}));

  // 1,500 separate triangles' worth of vertices: above the character vertex
  // buffer's 1,000, so drawn in two pieces of whole triangles.
  const int n = 1500;
  std::vector<float> pos(n * 3, 1.0f), tex(n * 4, 1.0f);
  std::vector<uint8_t> col(n * 4, 255);
  std::vector<uint16_t> idx(n);
  for (int i = 0; i < n; i++) idx[i] = static_cast<uint16_t>(i);
  d3d_layer_record(true);
  gr_d3d_mesh_draw(reinterpret_cast<const float(*)[3]>(pos.data()), reinterpret_cast<const uint8_t(*)[4]>(col.data()),
                   reinterpret_cast<const float(*)[4]>(tex.data()), n, RenderStateWord(0, 0, 0, 0, 4, 0), -1, idx.data(),
                   n);
  EXPECT_EQ(draws(), (std::vector<uint32_t>{999, 501}));
}

TEST_F(GrD3d, ARefusedMipMapIsNeverBoundAndSaysSoOnce) {
  start();
  // Mip levels need power-of-two sides: 24x24 with two levels is refused.
  std::vector<uint8_t> px(bm_mip_pixel_count(24, 24, 2) * 2, 0x55);
  const int bm = bm_create(BM_FORMAT_565, 24, 24, px.data());
  BitmapEntry* e = const_cast<BitmapEntry*>(bm_get_entry(bm));
  e->mip_levels = 2;
  e->pixel_count = bm_mip_pixel_count(24, 24, 2);
  d3d_layer_record(true);
  testing::internal::CaptureStdout();
  float us = 0, vs = 0;
  EXPECT_EQ(gr_d3d_set_texture(0, bm, 0, &us, &vs, true), 0);
  EXPECT_EQ(gr_d3d_set_texture(0, bm, 0, &us, &vs, true), 0);  // was 1, binding nothing
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "D3D: Not drawing 24x24 bitmap 'USERBMAP'\n");
  for (const D3dCall& c : d3d_layer_calls()) EXPECT_FALSE(c.kind == D3dCall::TEXTURE && c.value == 1);
  // A bitmap the device can take still binds.
  std::vector<uint8_t> ok(16 * 16 * 2, 0x11);
  EXPECT_EQ(gr_d3d_set_texture(0, bm_create(BM_FORMAT_565, 16, 16, ok.data()), 0, &us, &vs, true), 1);
}

TEST_F(GrD3d, AFailingPresentIsNamedAndReleasesTheRenderer) {
  struct Case {
    int mode;
    const char* call;
    HRESULT result;
    const char* line;
  } cases[] = {
      {GR_WINDOWED, "Blt", DDERR_GENERIC, "Direct3D: Blt failed: Generic failure.\n"},
      // A surface that stays lost is given up after restoring it once.
      {GR_WINDOWED, "Blt", DDERR_SURFACELOST, "Direct3D: Blt failed: Access to this surface"},
      {GR_FULLSCREEN, "Flip", E_OUTOFMEMORY, "Direct3D: Flip failed: DirectDraw does not have enough memory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    d3d_layer_reset_config();
    gr_init(640, 480, GR_DIRECT3D, c.mode, 0, false);
    ASSERT_NE(gr_d3d_device(), nullptr) << gr_d3d_failure();
    gr_flip();  // a working present changes nothing
    ASSERT_NE(gr_d3d_device(), nullptr);
    d3d_layer_config().fail_call = c.call;
    d3d_layer_config().fail_result = c.result;
    testing::internal::CaptureStdout();
    gr_flip();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind(c.line, 0), 0u) << out;
    EXPECT_NE(out.find("Direct3D is not available: drawing with OpenGL in a window\n"), std::string::npos) << out;
    EXPECT_EQ(gr_d3d_device(), nullptr);
    EXPECT_EQ(d3d_layer_surfaces_alive(), 0);
    // Drawing and presenting after it do nothing, and say nothing more.
    testing::internal::CaptureStdout();
    gr_clear();
    gr_flip();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    gr_close();
  }
}

TEST_F(GrD3d, ThreeDLinesTakeThePolygonsHalfPixelShift) {
  start();
  GrVertex a{}, b{}, c{};
  a.sx = 100.25f, a.sy = 50.75f, a.ooz = 0.5f, a.z = 2.0f;
  b.sx = 300.0f, b.sy = 80.5f, b.ooz = 0.5f, b.z = 2.0f;
  c.sx = 200.0f, c.sy = 300.0f, c.ooz = 0.5f, c.z = 2.0f;
  d3d_layer_record(true);
  gr_d3d_line3d(&a, &b, RenderStateWord(0, 0, 0, 0, 1, 0));
  GrVertex* tri[3] = {&a, &b, &c};
  gr_d3d_poly(3, tri, RenderStateWord(0, 0, 0, 0, 1, 0));
  const auto& v = d3d_layer_drawn_vertices();
  ASSERT_EQ(v.size(), 5u);
  // The line's ends are where the polygon's corners at the same points are.
  EXPECT_FLOAT_EQ(v[0].x, 99.75f);
  EXPECT_FLOAT_EQ(v[0].y, 50.25f);
  EXPECT_FLOAT_EQ(v[0].x, v[2].x);
  EXPECT_FLOAT_EQ(v[0].y, v[2].y);
  EXPECT_FLOAT_EQ(v[1].x, v[3].x);
  EXPECT_FLOAT_EQ(v[1].y, v[3].y);
}

VimMesh* load_quad_mesh() {
  VimWriterMesh m;
  m.radius = 2.0f;
  VimWriterGroup g;
  g.positions = {{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}};
  g.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
  g.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  g.dup_map = {-1, -1, -1, -1};
  g.faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
  m.groups.push_back(g);
  const std::vector<uint8_t> bytes = vim_build(m);
  ReadStream s;
  s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  return vim_load_stream(s, 0);
}

TEST_F(GrD3d, MeshesAreFoggedUnderVertexFogAndCutFarOffScreen) {
  cmdline_set_text("orrimund -vertexfog");
  cmdline_parse();
  start();
  ASSERT_EQ(gr_d3d_fog_mode(), 3);
  VimMesh* mesh = load_quad_mesh();
  ASSERT_NE(mesh, nullptr);
  std::vector<uint8_t> px(16 * 16 * 2, 0x77);
  const int bm = bm_create(BM_FORMAT_565, 16, 16, px.data());
  mesh->bitmaps[0] = bm;
  lights_reset();
  lights_set_ambient(1.0f, 1.0f, 1.0f);
  gr_mesh_set_current(mesh);
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  gr_fog_set(true, 100, 110, 120, 10.0f, 50.0f);
  // Vertex fog: 255 x (fog end - depth) / (fog end - fog start), truncated.
  const float start_d = gr_3d_zoom_scale(10.0f), end_d = gr_3d_zoom_scale(50.0f);
  for (float depth : {5.0f, 20.0f, 35.0f, 60.0f}) {
    SCOPED_TRACE(depth);
    d3d_layer_record(true);
    MeshDrawRecord rec;
    rec.alpha = 255;
    gr_mesh_render(vector(0, 0, depth), identity_matrix, rec);
    const auto& v = d3d_layer_drawn_vertices();
    ASSERT_EQ(v.size(), 6u);
    const float z = gr_3d_zoom_scale(depth);  // view depth, as the fog distances are
    const float k = z <= start_d ? 1.0f : std::clamp((end_d - z) / (end_d - start_d), 0.0f, 1.0f);
    const uint32_t expected = static_cast<uint32_t>(255.0f * k);
    for (const D3dTLVertex& x : v) EXPECT_NEAR(static_cast<int>(x.specular >> 24), static_cast<int>(expected), 1);
  }
  gr_fog_set(false, 0, 0, 0, -1.0f, -1.0f);
  // A mesh whose corners project 2048 pixels or more from the origin is not
  // drawn: the face would misdraw.
  d3d_layer_record(true);
  MeshDrawRecord rec;
  gr_mesh_render(vector(40, 0, 6), identity_matrix, rec);
  EXPECT_TRUE(d3d_layer_drawn_vertices().empty());
  d3d_layer_record(true);
  gr_mesh_render(vector(0, 0, 6), identity_matrix, rec);
  EXPECT_EQ(d3d_layer_drawn_vertices().size(), 6u);
  gr_mesh_set_current(nullptr);
  vim_free(mesh);
  lights_reset();
}

TEST_F(GrD3d, UnscaledSmallBitmapsFromOnePageGoOutAsOneDrawInTheirOrder) {
  start();
  std::vector<std::vector<uint8_t>> px;
  auto small = [&](uint8_t fill) {
    px.emplace_back(16 * 16 * 2, fill);
    return bm_create(BM_FORMAT_565, 16, 16, px.back().data());
  };
  const int a = small(0x11), b = small(0x22), c = small(0x33);
  gr_fade_in(0);  // no fading rectangle at the flips
  auto draws = [] {
    std::vector<uint32_t> counts;
    for (const D3dCall& k : d3d_layer_calls())
      if (k.kind == D3dCall::DRAW) counts.push_back(k.value);
    return counts;
  };
  gr_set_color(255, 255, 255, 255);
  // The first frame places the bitmaps; it is one draw as well.
  d3d_layer_record(true);
  for (int h : {a, b, a, c}) gr_bitmap(h, 10 + h, 20, Gr_preset[1]);
  EXPECT_TRUE(draws().empty());  // queued until something else needs the device
  gr_flip();
  EXPECT_EQ(draws(), std::vector<uint32_t>{24});
  d3d_layer_record(true);
  for (int h : {a, b, a, c}) gr_bitmap(h, 10 + h, 20, Gr_preset[1]);
  gr_flip();
  EXPECT_EQ(draws(), std::vector<uint32_t>{24});
  // Each quad is the fan's two triangles at the unbatched quad's corners.
  const auto batched = d3d_layer_drawn_vertices();
  gr_batch_2d(false);
  d3d_layer_record(true);
  for (int h : {a, b, a, c}) gr_bitmap(h, 10 + h, 20, Gr_preset[1]);
  EXPECT_EQ(draws(), (std::vector<uint32_t>{4, 4, 4, 4}));
  const auto alone = d3d_layer_drawn_vertices();
  gr_batch_2d(true);
  ASSERT_EQ(batched.size(), 24u);
  ASSERT_EQ(alone.size(), 16u);
  for (int q = 0; q < 4; q++) {
    const int corner[6] = {0, 1, 2, 0, 2, 3};
    for (int k = 0; k < 6; k++) {
      EXPECT_FLOAT_EQ(batched[q * 6 + k].x, alone[q * 4 + corner[k]].x);
      EXPECT_FLOAT_EQ(batched[q * 6 + k].y, alone[q * 4 + corner[k]].y);
      EXPECT_EQ(batched[q * 6 + k].diffuse, alone[q * 4 + corner[k]].diffuse);
    }
    // 16 texels across in the page, as across the bitmap's own texture.
    EXPECT_FLOAT_EQ((batched[q * 6 + 1].u - batched[q * 6].u) * 256.0f, 16.0f);
  }
  // Anything else drawn between them keeps its place: the batch goes first.
  d3d_layer_record(true);
  gr_bitmap(a, 0, 0, Gr_preset[1]);
  gr_bitmap(b, 20, 0, Gr_preset[1]);
  gr_rect(5, 5, 10, 10, Gr_preset[7]);
  gr_bitmap(c, 40, 0, Gr_preset[1]);
  gr_bitmap_scaled(a, 60, 0, 32, 32, 0, 0, 16, 16, Gr_preset[1]);  // scaled: its own texture
  gr_flip();
  const std::vector<uint32_t> d = draws();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0], 12u);
  EXPECT_EQ(d[2], 6u);
  EXPECT_EQ(d[3], 4u);
}

}  // namespace
